#include "UnitInitialization.h"

#include <Units/Classes/TArrayUnit.h>
#include <Units/Classes/THTTPUnit.h>
#include <Units/Classes/TPasteboardUnit.h>
#include <Units/Classes/TPrintSessionUnit.h>
#include <Units/Classes/TResponderUnit.h>
#include <Units/Classes/TStringUnit.h>
#include <Units/Classes/TUndoManagerUnit.h>
#include <Units/CrossPlatform/ToolboxAll.h>
#include <Units/Utilities/CocoaUtilities.h>

void InitializeUnits()
{
    static bool initialized = false;
    if (initialized)
        return;
    initialized = true;
    // In dependency order: the toolbox helpers first, then the foundation's
    // object and container units, the utilities, the framework, the sprite
    // engine and the card units as they are added.
    InitializeToolboxAll();
    InitializeTArrayUnit();
    InitializeTResponderUnit();
    InitializeTStringUnit();
    InitializeTUndoManagerUnit();
    InitializeTHTTPUnit();
    InitializeTPasteboardUnit();
    InitializeTPrintSessionUnit();
    InitializeCocoaUtilities();
}
