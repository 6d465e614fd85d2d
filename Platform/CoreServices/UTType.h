// Uniform type identifiers: what kind of thing a file or a piece of data
// is ("public.png"), which more general kinds it belongs to ("public.png"
// conforms to "public.image", which conforms to "public.data" and
// "public.content"), and the file-name extensions and MIME types that name
// it. One table in UTType.cpp holds every kind the system knows; a tag
// that no kind claims gets a dynamic identifier ("dyn.ext.<tag>" or
// "dyn.mime.<tag>") that conforms to "public.data" and "public.item".
// Identifiers and tags compare without regard to case.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

extern const CFStringRef kUTTagClassFilenameExtension;  // "public.filename-extension"
extern const CFStringRef kUTTagClassMIMEType;           // "public.mime-type"

// The identifier of the kind the tag names, preferring one that conforms
// to `conformingToUTI` when that is given; a new string. Nil for a nil or
// empty tag, or an unknown tag class.
CFStringRef UTTypeCreatePreferredIdentifierForTag(CFStringRef inTagClass, CFStringRef inTag,
                                                  CFStringRef inConformingToUTI);
// The first tag of the class the kind is known by; a new string, nil when
// it has none.
CFStringRef UTTypeCopyPreferredTagWithClass(CFStringRef inUTI, CFStringRef inTagClass);
// Whether `inUTI` is `inConformsToUTI` or belongs to it, directly or
// through more general kinds.
Boolean UTTypeConformsTo(CFStringRef inUTI, CFStringRef inConformsToUTI);
Boolean UTTypeEqual(CFStringRef inUTI1, CFStringRef inUTI2);
// Whether the identifier is a dynamic one (no kind of the table claims it).
Boolean UTTypeIsDynamic(CFStringRef inUTI);
