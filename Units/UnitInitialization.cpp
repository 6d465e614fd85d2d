#include "UnitInitialization.h"

void InitializeUnits()
{
    static bool initialized = false;
    if (initialized)
        return;
    initialized = true;
    // The units register themselves here as they are added, in dependency
    // order: the foundation's object and container units first, then the
    // utilities, the framework, the sprite engine and the card units.
}
