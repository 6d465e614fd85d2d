// File references. An FSRef names one file or folder that existed when it
// was made: it holds the file's absolute path, and its device and inode so
// that two references to one file compare equal however they were reached.
// It is plain data (copied freely; all zero means no file) and is never
// written to files: paths are.
#pragma once

#include <CarbonCore/MacErrors.h>
#include <CoreFoundation/CFURL.h>

#include <climits>

struct FSRef {
    UInt64 device;
    UInt64 inode;
    char path[PATH_MAX];  // absolute, NUL-terminated; empty for no file
};

// Makes a reference to an existing file or folder (the final symbolic link
// followed). `isDirectory` may be nil.
OSStatus FSPathMakeRef(const UInt8* path, FSRef* ref, Boolean* isDirectory);
// The absolute path of the reference, NUL-terminated.
OSStatus FSRefMakePath(const FSRef* ref, UInt8* path, UInt32 maxPathSize);
// noErr when both name the same file, errFSRefsDifferent when not,
// paramErr for a reference to no file.
OSErr FSCompareFSRefs(const FSRef* ref1, const FSRef* ref2);

CFURLRef CFURLCreateFromFSRef(CFAllocatorRef allocator, const FSRef* fsRef);
Boolean CFURLGetFSRef(CFURLRef url, FSRef* fsRef);
