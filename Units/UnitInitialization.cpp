#include "UnitInitialization.h"

#include <CocoaUtilities.h>
#include <TArrayUnit.h>
#include <THTTPUnit.h>
#include <TPasteboardUnit.h>
#include <TPrintSessionUnit.h>
#include <TResponderUnit.h>
#include <TStringUnit.h>
#include <ToolboxAll.h>

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
    InitializeTHTTPUnit();
    InitializeTPasteboardUnit();
    InitializeTPrintSessionUnit();
    InitializeCocoaUtilities();
}
