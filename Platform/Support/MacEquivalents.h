// The one table of Mac file, folder and font names that the units' values
// carry (default preferences, substitutes) and what stands for each here.
// The places themselves come from Paths; fonts are families that Debian's
// default fonts provide.
//
//   ~/Library/…                               Paths::LibraryFolder()/…
//   /Library/Desktop Pictures/Aqua Blue.jpg   <resources>/Images/Desktop.png
//   /System/Library/Sounds/Blow.aiff          <system sounds>/freedesktop/stereo/bell.oga
//   Chalkboard Bold, Verdana, Arial Bold,
//   Helvetica, Helvetica Bold, Helvetica Neue,
//   Lucida Grande Bold                        DejaVu Sans
#pragma once

#include <string>
#include <string_view>

namespace MacEquivalents {

// The value that stands for `macValue` here; the value itself when the
// table has no row for it. A path under "~/Library/" keeps its tail.
std::string Equivalent(std::string_view macValue);

}  // namespace MacEquivalents
