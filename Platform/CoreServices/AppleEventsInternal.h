// What the single-instance launch shares with the launch events.
#pragma once

#include <string>
#include <vector>

namespace AppleEventsInternal {

// The files of a command line: the arguments after argv[0] that do not
// start with "-" (all of them after a "--"), as absolute resolved paths of
// files that exist; each that does not is left out with the line
// "Warning: The file <path> does not exist and is not opened."
std::vector<std::string> LaunchFiles(int argc, const char* const* argv);

}  // namespace AppleEventsInternal
