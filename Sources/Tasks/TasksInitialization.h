// Start-up of the task units: the row and outline classes are registered
// under the names sheet files carry ("TTask", "TBrowser").
#pragma once

namespace brindlet {

// Runs once, after the sprite engine's units; later calls do nothing.
void InitializeTaskUnits();

}  // namespace brindlet
