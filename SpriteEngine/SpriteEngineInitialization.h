// Start-up of the sprite engine's units, after the framework's.
#pragma once

// Runs the framework's initialisation, then the engine's (the random
// generator is seeded and archivable engine classes are registered); later
// calls do nothing.
void InitializeSpriteEngineUnits();
