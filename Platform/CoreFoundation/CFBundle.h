// Bundles: where a program finds its resources, its information dictionary
// and its translations. On Linux a bundle is a resource folder: programs
// install theirs in <prefix>/share/<name>/, and the build tree mirrors that
// (build/bin/<program> next to build/share/brindlet/). Translations live in
// <lang>.lproj folders inside it.
#pragma once

#include <CoreFoundation/CFArray.h>
#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFDictionary.h>
#include <CoreFoundation/CFString.h>
#include <CoreFoundation/CFURL.h>

typedef const struct CFBundleObject* CFBundleRef;

CFTypeID CFBundleGetTypeID();

// The program's own bundle, borrowed and valid for the life of the process
// (also after the resource folder is changed). Its folder is the one given
// to CFBundleSetMainBundleResourcesPath, else <folder of the executable>/
// ../share/brindlet.
CFBundleRef CFBundleGetMainBundle();

// Our addition: points the main bundle at another resource folder, for
// tests and for programs started from somewhere unusual. Nil restores the
// default. Bundles answered before keep their folder.
void CFBundleSetMainBundleResourcesPath(const char* path);

// A bundle for the folder a file URL names; nil when it is not a folder.
CFBundleRef CFBundleCreate(CFAllocatorRef allocator, CFURLRef bundleURL);

CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle);
CFURLRef CFBundleCopyResourcesDirectoryURL(CFBundleRef bundle);

// The contents of Info.plist in the resource folder; an empty dictionary
// when there is none or it cannot be read. Borrowed from the bundle.
CFDictionaryRef CFBundleGetInfoDictionary(CFBundleRef bundle);
// Its "CFBundleIdentifier", or nil.
CFStringRef CFBundleGetIdentifier(CFBundleRef bundle);
CFTypeRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundle, CFStringRef key);

// The URL of a resource file, looked for in <res>/<subDirName>/ and then in
// <res>/<lang>.lproj/<subDirName>/ for the preferred languages (English
// last). With no type, the name may carry its extension. Names that leave
// the resource folder ("..", absolute paths) answer nil, as do missing files.
CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef resourceName, CFStringRef resourceType,
                                 CFStringRef subDirName);

// The translation of `key` from <res>/<lang>.lproj/<tableName>.strings
// ("Localizable" when nil), trying the preferred languages in order, then
// English and Base, then <res>/<tableName>.strings. Without a translation:
// `value` when it is not empty, else the key itself. Always a new reference.
// Each table is read once per bundle; one that cannot be read is reported
// with a diagnostic line and treated as empty.
CFStringRef CFBundleCopyLocalizedString(CFBundleRef bundle, CFStringRef key, CFStringRef value, CFStringRef tableName);

// Of the localization names in `locArray` ("de", "en", ...), the one the user
// prefers, as a one-element array; the first name when none is preferred.
CFArrayRef CFBundleCopyPreferredLocalizationsFromArray(CFArrayRef locArray);
