#include "FrameworkInitialization.h"

#include <ApplicationFramework/Classes/TControlKindsUnit.h>
#include <ApplicationFramework/Classes/TEventDispatchUnit.h>
#include <ApplicationFramework/Classes/THotKeyFieldUnit.h>
#include <ApplicationFramework/Classes/TListBrowserUnit.h>
#include <ApplicationFramework/Classes/TMenuUnit.h>
#include <Units/Cocoa/UObjectWrapper.h>
#include <Units/HIToolbox/HICustomButtons.h>
#include <Units/UnitInitialization.h>

void InitializeFrameworkUnits()
{
    static bool initialized = false;
    if (initialized)
        return;
    initialized = true;
    InitializeUnits();
    // The framework's units, in dependency order.
    InitializeEventDispatchUnit();
    InitializeTMenuUnit();
    InitializeHICustomButtonsUnit();
    InitializeTControlKindsUnit();
    InitializeTHotKeyFieldUnit();
    InitializeUObjectWrapperUnit();
    InitializeTListBrowserUnit();
}
