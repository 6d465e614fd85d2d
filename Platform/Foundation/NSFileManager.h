// The file manager, as far as the units ask it about paths: whether
// something is there, and what a folder holds.
#pragma once

#include <Foundation/NSString.h>

#include <vector>

class NSFileManager : public NSObject {
public:
    // The process's one file manager, for the life of the process.
    static NSFileManager* defaultManager();

    // Whether anything is at the path, a final symbolic link followed;
    // `isDirectory` (may be nil) tells whether it is a folder.
    bool fileExistsAtPath(const NSString* path, bool* isDirectory = nullptr) const;
    // The names of the folder's entries (not "." and ".."), autoreleased, in
    // the order the File Manager lists them: by name, ignoring case. Empty
    // when the path is no folder or cannot be read.
    std::vector<NSString*> contentsOfDirectoryAtPath(const NSString* path) const;

    const char* className() const override { return "NSFileManager"; }

private:
    NSFileManager() = default;
};
