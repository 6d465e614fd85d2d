// Start-up of the framework's units: the foundation's units first, then the
// framework's own, in one fixed order. Programs call it from main after
// choosing their runtime profile; framework tests from their environment.
#pragma once

// Runs every framework unit's initialisation once (after InitializeUnits);
// later calls do nothing.
void InitializeFrameworkUnits();
