// The readers behind CFPropertyListCreateFromXMLData.
#pragma once

#include <CoreFoundation/CFPropertyList.h>

#include <string>
#include <string_view>

// Parses the old text format ("{ key = value; }", "( a, b )", "<0fbd>",
// quoted and bare strings) that .strings files are written in; a document
// of "key = value;" pairs without braces is read as a dictionary, as
// .strings files are. `text` is UTF-8, or Mac Roman when it is not valid
// UTF-8. Nil with a reason in `error` when malformed.
CFPropertyListRef CFOpenStepPropertyListCreate(std::string_view text, CFOptionFlags mutabilityOption,
                                               std::string* error);
