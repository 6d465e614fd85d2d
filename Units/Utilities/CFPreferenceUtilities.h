// Writing a property list to a file.
#pragma once

#include <CoreServices/CoreServices.h>

// Writes the XML property list of `plist` to the file, atomically. -1 when
// the file cannot be named by a URL or the value is not a property list;
// otherwise the status of the write (0 on success).
SInt32 CFPreferencesSavePropertyList(const FSRef& file, CFTypeRef plist);
// The same for a file named by a URL (-1 when `url` is nil).
SInt32 CFPreferencesSavePropertyList(CFURLRef url, CFTypeRef plist);

// The URL of the file a reference names, always as a file: the URL of a
// folder standing where the file should be would make a write create that
// folder and pass for done, where it must fail. Nil for no file.
CFURLRef CFURLCreateFileURLFromFSRef(const FSRef& file);
