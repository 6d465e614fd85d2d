// Cocoa's notification centers: delivery and removal, and the workspace
// center's announcements of mounts. Mounting needs privileges a test does
// not have, except inside a user namespace of its own: the test program runs
// itself again there (the disabled test below, picked by a filter) and
// mounts a tmpfs.
#include <CFTestSupport.h>
#include <ChildProcess.h>
#include <NSObjectProbe.h>
#include <RunUntil.h>

#include <CarbonCore/CarbonEventLoop.h>
#include <Foundation/Foundation.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

const char* const kMountPeerVariable = "BRINDLET_MOUNT_PEER_DIRECTORY";

NSString* Text(const char* text)
{
    return NSString::stringWithUTF8String(text);
}

// Removes its observers from a center when the test ends.
class Observations {
public:
    explicit Observations(NSNotificationCenter* center) : center_(center), pool_(NSAutoreleasePool::newPool()) {}
    ~Observations()
    {
        for (const void* observer : observers_)
            center_->removeObserver(observer);
        pool_->drain();
    }
    // Logs `label` for each notification the registration hears.
    void Log(const void* observer, std::vector<std::string>& log, std::string label, NSString* name,
             NSObject* object = nullptr)
    {
        Add(
            observer, [&log, label](NSNotification*) { log.push_back(label); }, name, object);
    }
    void Add(const void* observer, NSNotificationCenter::Handler handler, NSString* name, NSObject* object = nullptr)
    {
        observers_.push_back(observer);
        center_->addObserver(observer, std::move(handler), name, object);
    }

private:
    NSNotificationCenter* center_;
    NSAutoreleasePool* pool_;
    std::vector<const void*> observers_;
};

TEST(NSNotification, HoldsItsNameObjectAndUserInfo)
{
    NSAutoreleasePool* pool = NSAutoreleasePool::newPool();
    Probe::alive = 0;
    Probe* object = Probe::make();
    auto info = ParsePropertyList("<plist version=\"1.0\"><dict><key>k</key><true/></dict></plist>");
    NSString* name = NSString::newWithUTF8String("Changed");
    NSNotification* notification =
        NSNotification::notificationWithName(name, object, static_cast<CFDictionaryRef>(info.get()));
    name->release();
    object->release();
    EXPECT_EQ(Probe::alive, 1) << "the notification keeps its object";
    EXPECT_EQ(notification->name()->UTF8String(), "Changed");
    EXPECT_EQ(notification->object(), object);
    EXPECT_EQ(notification->userInfo(), info.get());
    EXPECT_EQ(CFGetRetainCount(info), 2);
    pool->drain();
    EXPECT_EQ(Probe::alive, 0);
    EXPECT_EQ(CFGetRetainCount(info), 1);

    NSNotificationCenter* center = NSNotificationCenter::defaultCenter();
    EXPECT_EQ(NSNotificationCenter::defaultCenter(), center);
    EXPECT_NE(NSNotificationCenter::workspaceCenter(), center);
}

TEST(NSNotificationCenter, CallsMatchingHandlersBeforePostReturns)
{
    NSNotificationCenter* center = NSNotificationCenter::defaultCenter();
    Observations observations(center);
    NSString* x = Text("x");
    NSString* sameTextAsX = Text("x");  // another object: objects match by identity
    std::vector<std::string> log;
    int a, b, c, d;
    observations.Log(&a, log, "a", Text("A"));
    observations.Log(&b, log, "b", Text("A"), x);
    observations.Log(&c, log, "c", nullptr);
    observations.Log(&d, log, "d", nullptr, x);

    struct Case {
        const char* name;
        NSObject* object;
        std::vector<std::string> called;
    };
    const Case cases[] = {
        {"A", x, {"a", "b", "c", "d"}},
        {"A", sameTextAsX, {"a", "c"}},
        {"A", nullptr, {"a", "c"}},
        {"B", x, {"c", "d"}},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        log.clear();
        center->postNotificationName(Text(row.name), row.object);
        std::sort(log.begin(), log.end());
        EXPECT_EQ(log, row.called);
    }

    // The handler sees the notification as posted.
    auto info = ParsePropertyList("<plist version=\"1.0\"><dict/></plist>");
    NSNotification* seen = nullptr;
    int e;
    observations.Add(
        &e, [&](NSNotification* n) { seen = static_cast<NSNotification*>(n->retain()); }, Text("E"));
    center->postNotification(
        NSNotification::notificationWithName(Text("E"), x, static_cast<CFDictionaryRef>(info.get())));
    ASSERT_NE(seen, nullptr);
    EXPECT_EQ(seen->name()->UTF8String(), "E");
    EXPECT_EQ(seen->object(), x);
    EXPECT_EQ(seen->userInfo(), info.get());
    seen->release();
}

TEST(NSNotificationCenter, RemovalDuringAndBetweenDeliveries)
{
    NSNotificationCenter* center = NSNotificationCenter::defaultCenter();
    Observations observations(center);
    NSString* name = Text("org.brindlet.test.Removal");
    std::vector<std::string> log;
    int remover, removed, kept, late;
    observations.Add(
        &remover,
        [&](NSNotification*) {
            log.push_back("remover");
            center->removeObserver(&removed);
            center->removeObserver(&remover, name);
            observations.Log(&late, log, "late", name);
        },
        name);
    observations.Log(&removed, log, "removed", name);
    observations.Log(&kept, log, "kept", name);

    center->postNotificationName(name, nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"remover", "kept"}));
    log.clear();
    center->postNotificationName(name, nullptr);
    std::sort(log.begin(), log.end());
    EXPECT_EQ(log, (std::vector<std::string>{"kept", "late"}));

    // Removal by name and object leaves the observer's other registrations.
    NSString* x = Text("x");
    struct Case {
        NSString* name;
        NSObject* object;
        std::vector<std::string> left;  // of one, two and any, for ("One", x)
    };
    const Case cases[] = {
        {Text("One"), nullptr, {"any"}},
        {nullptr, x, {"one"}},
        {Text("Two"), x, {"any", "one"}},
        {nullptr, nullptr, {}},
    };
    int observer;
    for (const Case& row : cases) {
        log.clear();
        observations.Log(&observer, log, "one", Text("One"));
        observations.Log(&observer, log, "two", Text("Two"), x);
        observations.Log(&observer, log, "any", nullptr, x);
        center->removeObserver(&observer, row.name, row.object);
        center->postNotificationName(Text("One"), x);
        std::sort(log.begin(), log.end());
        EXPECT_EQ(log, row.left);
        center->removeObserver(&observer);
    }
}

TEST(NSWorkspace, MountTablesCompareByMountAndPlace)
{
    const std::string root = "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n";
    const std::string usb = "97 22 8:17 / /media/me/USB\\040STICK rw,nosuid shared:52 - vfat /dev/sdb1 rw\n";
    const std::string usbAgain = "98 22 8:17 / /media/me/USB\\040STICK rw,nosuid shared:52 - vfat /dev/sdb1 rw\n";
    const std::string disk = "99 22 8:33 / /mnt/back\\134slash\\011tab rw shared:60 - ext4 /dev/sdc1 rw\n";
    const std::string stacked = "100 97 0:50 / /media/me/USB\\040STICK rw - tmpfs none rw\n";
    struct Case {
        const char* what;
        std::string before;
        std::string after;
        std::vector<std::string> mounted;
        std::vector<std::string> unmounted;
    };
    const Case cases[] = {
        {"nothing changed", root + usb, root + usb, {}, {}},
        {"a stick plugged in", root, root + usb, {"/media/me/USB STICK"}, {}},
        {"a stick pulled out", root + usb + disk, root + disk, {}, {"/media/me/USB STICK"}},
        {"escapes", root, root + disk, {"/mnt/back\\slash\ttab"}, {}},
        {"pulled out and in again", root + usb, root + usbAgain, {"/media/me/USB STICK"}, {"/media/me/USB STICK"}},
        {"mounted over", root + usb, root + usb + stacked, {"/media/me/USB STICK"}, {}},
        {"several, in table order",
         root + disk,
         root + usb + stacked,
         {"/media/me/USB STICK", "/media/me/USB STICK"},
         {"/mnt/back\\slash\ttab"}},
        {"unreadable lines", root + "garbage\n\nx 1 2 3 /nope\n", root + "7 1\n", {}, {}},
        {"no final newline", root, root + usb.substr(0, usb.size() - 1), {"/media/me/USB STICK"}, {}},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.what);
        const NSWorkspaceMountChanges changes = NSWorkspaceCompareMountTables(row.before, row.after);
        EXPECT_EQ(changes.mounted, row.mounted);
        EXPECT_EQ(changes.unmounted, row.unmounted);
    }
}

class TestApplication {
public:
    TestApplication() : app_(argc_, argv_) {}

private:
    int argc_ = 1;
    char name_[16] = "FoundationTests";
    char* argv_[2] = {name_, nullptr};
    QCoreApplication app_;
};

// Whether this process has the mount table open.
bool ReadingTheMountTable()
{
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const auto target = std::filesystem::read_symlink(entry.path(), error);
        if (!error && target.filename() == "mountinfo")
            return true;
    }
    return false;
}

TEST(NSWorkspace, WatchesTheMountsOnlyWhileObserved)
{
    TestApplication app;
    NSNotificationCenter* workspace = NSNotificationCenter::workspaceCenter();
    EXPECT_FALSE(ReadingTheMountTable());
    std::vector<std::string> log;
    {
        Observations observations(workspace);
        int first, second;
        observations.Log(&first, log, "first", Text(NSWorkspaceDidMountNotification));
        observations.Log(&second, log, "second", Text(NSWorkspaceDidUnmountNotification));
        EXPECT_TRUE(ReadingTheMountTable());
        workspace->removeObserver(&first);
        EXPECT_TRUE(ReadingTheMountTable()) << "one observer is left";
    }
    EXPECT_FALSE(ReadingTheMountTable());
    EXPECT_TRUE(log.empty());
}

TEST(NSWorkspace, AnnouncesAMountAndAnUnmount)
{
    TestApplication app;
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    ChildProcess::Options options;
    options.environment = {{kMountPeerVariable, directory.path().toStdString()}};
    ChildProcess peer("NSWorkspacePeer.DISABLED_MountsAndUnmounts", std::move(options));
    ASSERT_TRUE(peer.Wait(60));
    const std::string output = peer.Output();
    if (output.find("[  SKIPPED ]") != std::string::npos)
        GTEST_SKIP() << "no user namespaces here to mount in:\n" << output;
    EXPECT_TRUE(peer.Exited());
    EXPECT_EQ(peer.ExitCode(), 0) << peer.Report();
    EXPECT_NE(output.find("[       OK ] NSWorkspacePeer.DISABLED_MountsAndUnmounts"), std::string::npos) << output;
}

void WriteProcFile(const char* path, const std::string& text)
{
    std::ofstream(path) << text;
}

TEST(NSWorkspacePeer, DISABLED_MountsAndUnmounts)
{
    const char* directory = std::getenv(kMountPeerVariable);
    ASSERT_NE(directory, nullptr);
    // A mount namespace of our own, in a user namespace where we may mount.
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
        GTEST_SKIP() << "unshare: " << std::strerror(errno);
    WriteProcFile("/proc/self/setgroups", "deny");
    WriteProcFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1");
    WriteProcFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
    ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0) << std::strerror(errno);

    TestApplication app;
    NSNotificationCenter* workspace = NSNotificationCenter::workspaceCenter();
    Observations observations(workspace);
    std::vector<std::string> log;
    auto logPath = [&log](const char* what) {
        return [&log, what](NSNotification* n) {
            CFStringRef path = static_cast<CFStringRef>(CFDictionaryGetValue(n->userInfo(), CFSTR("NSDevicePath")));
            log.push_back(std::string(what) + UTF8Of(path));
        };
    };
    int observer;
    observations.Add(&observer, logPath("mounted "), Text(NSWorkspaceDidMountNotification));
    observations.Add(&observer, logPath("unmounted "), Text(NSWorkspaceDidUnmountNotification));

    ASSERT_EQ(mount("brindlet-test", directory, "tmpfs", 0, nullptr), 0) << std::strerror(errno);
    const std::string mounted = std::string("mounted ") + directory;
    EXPECT_TRUE(RunUntil([&] { return !log.empty(); }));
    EXPECT_EQ(log, std::vector<std::string>{mounted});

    ASSERT_EQ(umount(directory), 0) << std::strerror(errno);
    EXPECT_TRUE(RunUntil([&] { return log.size() >= 2; }));
    EXPECT_EQ(log, (std::vector<std::string>{mounted, std::string("unmounted ") + directory}));
}

}  // namespace
