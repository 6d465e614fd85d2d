#include "UnitInitialization.h"

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
}
