#include "NSWorkspace.h"

#include <CoreServices/LaunchServices.h>

NSWorkspace* NSWorkspace::sharedWorkspace()
{
    static NSWorkspace* workspace = new NSWorkspace;
    return workspace;
}

bool NSWorkspace::isFilePackageAtPath(const NSString* path) const
{
    if (path == nullptr)
        return false;
    FSRef ref;
    const std::string utf8 = path->UTF8String();
    if (FSPathMakeRef(reinterpret_cast<const UInt8*>(utf8.c_str()), &ref, nullptr) != noErr)
        return false;
    LSItemInfoRecord info;
    if (LSCopyItemInfoForRef(&ref, kLSRequestBasicFlagsOnly, &info) != noErr)
        return false;
    if (info.extension)
        CFRelease(info.extension);
    return (info.flags & kLSItemInfoIsPackage) != 0;
}

NSNotificationCenter* NSWorkspace::notificationCenter() const
{
    return NSNotificationCenter::workspaceCenter();
}
