// The workspace: what the desktop makes of files, and its notification
// center.
#pragma once

#include <Foundation/NSNotification.h>

class NSWorkspace : public NSObject {
public:
    // The process's one workspace, for the life of the process.
    static NSWorkspace* sharedWorkspace();

    // Whether the path names a folder the desktop shows as one document
    // (an application, a rich-text document with attachments, ...): a
    // folder whose extension is of a package kind.
    bool isFilePackageAtPath(const NSString* path) const;
    NSNotificationCenter* notificationCenter() const;

    const char* className() const override { return "NSWorkspace"; }

private:
    NSWorkspace() = default;
};
