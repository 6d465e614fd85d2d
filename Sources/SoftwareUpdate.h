// The software update: the three entry points the application calls. The
// updates are described by an appcast (an RSS feed whose items carry
// "sparkle:version") at the address of the preference "SUFeedURL". Without
// an address (the default) nothing is checked, and one line says so. A
// check writes one line: the newer version found, that the program is up
// to date, or that the appcast could not be read.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <string>
#include <string_view>

void SUSparkleInitializeForCarbon();
// A check now; `background` is false when the user asked for it.
void SUSparkleCheckForUpdates(Boolean background);
// A check every `seconds` from now on (replacing an earlier interval).
void SUSparkleCheckWithInterval(double seconds);

namespace brindlet {

// The highest version the appcast's items name; empty for none.
std::string NewestAppcastVersion(std::string_view appcast);
// Whether version text `a` names a later version than `b` (numbers
// separated by points, compared number by number).
bool IsLaterVersion(std::string_view a, std::string_view b);

}  // namespace brindlet
