// Program start-up of the units. Each unit that keeps process-wide state or
// registers archivable classes has an initialisation function; they run here,
// in one fixed order, from the programs' main and from the test main, never
// from static constructors (whose order across libraries is unspecified).
#pragma once

// Runs every unit's initialisation once, in order; later calls do nothing.
void InitializeUnits();
