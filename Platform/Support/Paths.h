// Where things live on disk. Every place the system reads or writes outside
// its own resources is named here and nowhere else, so that the Mac places
// the units were written for map to the freedesktop ones in one table:
//
//   user Preferences folder   $XDG_CONFIG_HOME/brindlet
//   user Library folder       $XDG_DATA_HOME
//   Caches                    $XDG_CACHE_HOME/brindlet
//   temporary items           $TMPDIR (else /tmp)
//   Trash                     $XDG_DATA_HOME/Trash (the freedesktop trash)
//   login items               $XDG_CONFIG_HOME/autostart
//   bundle resources          <prefix>/share/brindlet
//   system sounds             /usr/share/sounds
//   user sounds               $XDG_DATA_HOME/sounds
//
// The XDG variables are read on every call (tests set them), and, as the
// base-directory specification asks, a value that is empty or not an
// absolute path is ignored in favour of the default under $HOME. No
// function creates anything.
#pragma once

#include <string>

namespace Paths {

// $HOME, else the home folder of the user's account entry.
std::string Home();
// $XDG_CONFIG_HOME, else ~/.config.
std::string ConfigHome();
// $XDG_DATA_HOME, else ~/.local/share.
std::string DataHome();
// $XDG_CACHE_HOME, else ~/.cache.
std::string CacheHome();

std::string PreferencesFolder();
std::string LibraryFolder();
std::string CachesFolder();
std::string TemporaryFolder();
std::string TrashFolder();
std::string AutostartFolder();
std::string SystemSoundsFolder();
std::string UserSoundsFolder();
// The desktop and documents folders of the user (~/Desktop, ~/Documents).
std::string DesktopFolder();
std::string DocumentsFolder();
// <folder of the running program>/../share/brindlet, normalised.
std::string ApplicationResourcesFolder();

}  // namespace Paths
