// Cocoa's notification centers, as the units observe them: the default
// center of the process and the workspace's, which announces volumes being
// mounted ("NSWorkspaceDidMountNotification") and unmounted
// ("NSWorkspaceDidUnmountNotification") with the volume's path under
// "NSDevicePath" in the user info.
#pragma once

#include <Foundation/NSString.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

class NSNotification : public NSObject {
public:
    // Autoreleased; `userInfo` is retained (nil allowed).
    static NSNotification* notificationWithName(NSString* name, NSObject* object, CFDictionaryRef userInfo);

    NSString* name() const { return name_; }
    NSObject* object() const { return object_; }
    CFDictionaryRef userInfo() const { return userInfo_; }

    const char* className() const override { return "NSNotification"; }

private:
    NSNotification(NSString* name, NSObject* object, CFDictionaryRef userInfo);
    ~NSNotification() override;

    NSString* name_;            // retained
    NSObject* object_;          // retained, may be nil
    CFDictionaryRef userInfo_;  // retained, may be nil
};

inline constexpr const char* NSWorkspaceDidMountNotification = "NSWorkspaceDidMountNotification";
inline constexpr const char* NSWorkspaceDidUnmountNotification = "NSWorkspaceDidUnmountNotification";

class NSNotificationCenter : public NSObject {
public:
    typedef std::function<void(NSNotification*)> Handler;

    // The process's default center, for the life of the process.
    static NSNotificationCenter* defaultCenter();
    // The workspace's center, watching the system's mounts while it has
    // observers and an application (whose loop it runs on) exists. Every
    // mount point counts, not only removable volumes; the notifications
    // come with no object.
    static NSNotificationCenter* workspaceCenter();

    // Calls `handler` on the center's thread (the main thread) for
    // notifications named `name` (nil: any) from `object` (nil: any);
    // `observer` names the registration for removal.
    void addObserver(const void* observer, Handler handler, NSString* name, NSObject* object);
    // Removes the observer's registrations for the name (nil: all) and object (nil: any).
    void removeObserver(const void* observer, NSString* name = nullptr, NSObject* object = nullptr);
    // Calls every matching observer before it returns (handlers removed
    // meanwhile are skipped).
    void postNotification(NSNotification* notification);
    void postNotificationName(NSString* name, NSObject* object, CFDictionaryRef userInfo = nullptr);

    const char* className() const override { return "NSNotificationCenter"; }

    struct Registration;

private:
    NSNotificationCenter() = default;
    ~NSNotificationCenter() override;
    void ObserversChanged();

    std::vector<Registration*> registrations_;
    bool workspace_ = false;
};

// Our own addition: what changed between two readings of the system's mount
// table (texts of /proc/self/mountinfo), as the workspace center announces
// it. Mounts are told apart by their mount ID and mount point, so a volume
// unmounted and another mounted at the same place between two readings
// counts as both. Each list keeps the order of its table.
struct NSWorkspaceMountChanges {
    std::vector<std::string> mounted;    // mount points only in `after`
    std::vector<std::string> unmounted;  // mount points only in `before`
};
NSWorkspaceMountChanges NSWorkspaceCompareMountTables(std::string_view before, std::string_view after);
