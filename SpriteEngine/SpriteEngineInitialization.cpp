#include "SpriteEngineInitialization.h"

#include <ApplicationFramework/FrameworkInitialization.h>
#include <SpriteEngine/Additions/SCPane.h>
#include <SpriteEngine/Additions/SCTextField.h>
#include <SpriteEngine/SCAnimation.h>
#include <SpriteEngine/SCCanvasView.h>
#include <SpriteEngine/SCSpriteView.h>

#include <Support/Clock.h>

#include <cstdlib>

void InitializeSpriteEngineUnits()
{
    static bool initialized = false;
    if (initialized)
        return;
    initialized = true;
    InitializeFrameworkUnits();
    std::srand(static_cast<unsigned>(Clock::MonotonicNanoseconds()));
    RegisterClass(TSpriteView::StaticClass());
    CanvasViewRegisterClass();
    InitializeSCAnimationUnit();
    InitializeSCPaneUnit();
    InitializeSCTextFieldUnit();
}
