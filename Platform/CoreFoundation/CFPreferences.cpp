// The preferences store: see CFPreferences.h for what callers rely on.
//
// Per file, the process keeps the dictionary last read from disk and, apart
// from it, its own changes not yet synchronised (sets, and removals). A read
// looks at the changes first, then at the disk dictionary; the disk
// dictionary is refreshed when the file's identity (device, inode, size,
// modification and change times) differs from the one read. Because the
// file system's clock is coarse, a file changed within the last second of
// our reading it could be replaced again without a visible difference, so
// such a reading is not trusted and the file is read again on the next use.
#include <CoreFoundation/CFBundle.h>
#include <CoreFoundation/CFDate.h>
#include <CoreFoundation/CFDictionary.h>
#include <CoreFoundation/CFNumber.h>
#include <CoreFoundation/CFPreferences.h>
#include <CoreFoundation/CFURL.h>

#include "CFDataInternal.h"
#include "CFStringInternal.h"

#include <CoreFoundation/CFRef.h>
#include <Support/Diagnostics.h>
#include <Support/FileAccess.h>
#include <Support/Paths.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

const CFStringRef kCFPreferencesCurrentApplication = CFSTR("kCFPreferencesCurrentApplication");

namespace {

// The identifier used when the main bundle names none.
constexpr const char* kUnbundledIdentifier = "brindlet.unbundled";
// Leaves room for ".plist.unreadable-YYYYMMDD-HHMMSS-NN" within NAME_MAX.
constexpr size_t kMaximumIdentifierLength = 200;
// A preferences file is a few kilobytes; anything this large is not one,
// and reading it whole could exhaust memory. The store writes nothing
// larger either, so that it never finds its own file too large to read.
constexpr size_t kMaximumFileSize = FileAccess::kPreferencesLimit;
// What a dictionary's key and the file's own lines add to a value written
// alone, at most (estimated generously).
constexpr size_t kFileOverhead = 4096;
// How long after a file's last change its identity can be trusted.
constexpr long long kRacyWindowNanoseconds = 1'000'000'000LL;

long long Nanoseconds(const timespec& t)
{
    return static_cast<long long>(t.tv_sec) * 1'000'000'000LL + t.tv_nsec;
}

long long NowNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return Nanoseconds(now);
}

struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long modified = 0;
    long long changed = 0;

    static FileStamp Of(const struct stat& status)
    {
        return {true,
                status.st_dev,
                status.st_ino,
                status.st_size,
                Nanoseconds(status.st_mtim),
                Nanoseconds(status.st_ctim)};
    }
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

FileStamp StampOfPath(const std::string& path)
{
    struct stat status {};
    if (stat(path.c_str(), &status) != 0)
        return {};
    return FileStamp::Of(status);
}

enum class ReadOutcome {
    Missing,      // no file: the store is empty
    Read,         // a dictionary
    Unparseable,  // read, but not a property list with a dictionary at its root
    Unreadable,   // there, but it could not be read
};

struct FileContents {
    ReadOutcome outcome = ReadOutcome::Missing;
    CFRef<CFDictionaryRef> values;
    FileStamp stamp;
    std::string reason;
};

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

FileContents ReadPreferencesFile(const std::string& path)
{
    FileContents contents;
    // The identity is taken before the bytes: should the file be replaced
    // in between, the next look finds another identity and reads it again.
    struct stat status {};
    const bool identified = stat(path.c_str(), &status) == 0;
    CFByteVector bytes;
    const int readError = FileAccess::ReadRegularFile(path, kMaximumFileSize, &bytes);
    if (readError == ENOENT)
        return contents;
    if (readError != 0) {
        // Too large included: the store never writes such a file, so it is
        // someone else's, and it is left as it is.
        contents.outcome = ReadOutcome::Unreadable;
        contents.reason = FileAccess::ReadFailureReason(readError, kMaximumFileSize);
        return contents;
    }
    if (identified)
        contents.stamp = FileStamp::Of(status);
    contents.outcome = ReadOutcome::Unparseable;
    CFRef<CFDataRef> data(CFDataCreateWithVector(std::move(bytes), false));
    CFStringRef error = nullptr;
    CFRef<CFPropertyListRef> root(CFPropertyListCreateFromXMLData(nullptr, data, kCFPropertyListImmutable, &error));
    CFRef<CFStringRef> heldError(error);
    if (!root || CFGetTypeID(root) != CFDictionaryGetTypeID()) {
        contents.reason = root ? "its root is not a dictionary" : FileAccess::ForMessage(CFStringToUTF8(error));
        return contents;
    }
    contents.outcome = ReadOutcome::Read;
    contents.values.Reset(static_cast<CFDictionaryRef>(root.release()));
    return contents;
}

// Creates the folder and any missing folders above it, private to the user
// as the base-directory specification asks.
bool MakeFolders(const std::string& folder)
{
    for (size_t slash = 1; slash != std::string::npos;) {
        slash = folder.find('/', slash + 1);
        const std::string part = folder.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    struct stat status {};
    return stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// The store's advisory lock, held for one synchronisation. The lock file is
// never removed: removing it would let a late comer lock a new file while
// another process still holds the old one.
class StoreLock {
public:
    explicit StoreLock(const std::string& path)
        : fd_(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600))
    {
        if (fd_.get() < 0) {
            error_ = errno;
            return;
        }
        while (flock(fd_.get(), LOCK_EX) != 0) {
            if (errno != EINTR) {
                error_ = errno;
                return;
            }
        }
        locked_ = true;
    }
    // Closing the descriptor releases the lock.
    bool IsLocked() const { return locked_; }
    int Error() const { return error_; }

private:
    FileDescriptor fd_;
    bool locked_ = false;
    int error_ = 0;
};

std::string TimestampForName()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

struct Domain {
    std::string identifier;
    std::string path;
    bool loaded = false;
    // What the file held when last read; empty when it was missing.
    CFRef<CFDictionaryRef> disk;
    FileStamp stamp;
    // Whether `stamp` may be relied on to tell a later change (see the top).
    bool stampTrusted = false;
    // Set while the file is there but cannot be read, so the warning is
    // written once.
    bool unreadable = false;
    // This process's changes not yet in the file.
    CFRef<CFMutableDictionaryRef> pendingSets;
    CFRef<CFMutableDictionaryRef> pendingRemovals;

    bool HasPendingChanges() const
    {
        return CFDictionaryGetCount(pendingSets) > 0 || CFDictionaryGetCount(pendingRemovals) > 0;
    }
};

std::mutex& StoreMutex()
{
    static std::mutex mutex;
    return mutex;
}

// Keyed by the file's path, so a test that points the preferences folder
// elsewhere gets fresh stores.
std::map<std::string, Domain>& Domains()
{
    static auto* domains = new std::map<std::string, Domain>;
    return *domains;
}

// The pending changes keep their own copy of each key: a caller that reuses
// one mutable string for several keys would otherwise rename an entry
// already set, and the value under the first name would be lost.
CFMutableDictionaryRef NewTable()
{
    return CFDictionaryCreateMutable(nullptr, 0, &kCFCopyStringDictionaryKeyCallBacks,
                                     &kCFTypeDictionaryValueCallBacks);
}

bool IsString(CFTypeRef value)
{
    return value != nullptr && CFGetTypeID(value) == CFStringGetTypeID();
}

// Whether the value alone would make the file larger than the store reads.
bool IsTooLargeForTheFile(CFStringRef key, CFPropertyListRef value)
{
    const CFTypeID type = CFGetTypeID(value);
    if (type == CFNumberGetTypeID() || type == CFBooleanGetTypeID() || type == CFDateGetTypeID())
        return false;
    CFRef<CFDataRef> alone(CFPropertyListCreateXMLData(nullptr, value));
    const size_t keySize = static_cast<size_t>(CFStringGetLength(key)) * 6;  // escaped UTF-8, at most
    return !alone || static_cast<size_t>(CFDataGetLength(alone)) + keySize + kFileOverhead > kMaximumFileSize;
}

bool IsValidIdentifier(const std::string& identifier)
{
    if (identifier.empty() || identifier.size() > kMaximumIdentifierLength || identifier[0] == '.')
        return false;
    for (unsigned char c : identifier)
        if (c < 0x20 || c == '/' || c == 0x7F)
            return false;
    return true;
}

// The store of an identifier, or nil (with a warning) when the identifier
// cannot name a file.
Domain* FindDomain(CFStringRef applicationID)
{
    std::string identifier;
    if (applicationID == nullptr || CFEqual(applicationID, kCFPreferencesCurrentApplication)) {
        CFStringRef bundleIdentifier = CFBundleGetIdentifier(CFBundleGetMainBundle());
        identifier = bundleIdentifier ? CFStringToUTF8(bundleIdentifier) : kUnbundledIdentifier;
    } else if (IsString(applicationID)) {
        identifier = CFStringToUTF8(applicationID);
    }
    if (!IsValidIdentifier(identifier)) {
        Diagnostics::WriteLine("Warning: Preferences identifier \"" + identifier +
                               "\" cannot name a preferences file; ignored.");
        return nullptr;
    }
    const std::string path = Paths::PreferencesFolder() + "/" + identifier + ".plist";
    Domain& domain = Domains()[path];
    if (domain.path.empty()) {
        domain.identifier = identifier;
        domain.path = path;
        domain.pendingSets.Reset(NewTable());
        domain.pendingRemovals.Reset(NewTable());
    }
    return &domain;
}

void Adopt(Domain& domain, FileContents&& contents)
{
    domain.loaded = true;
    switch (contents.outcome) {
    case ReadOutcome::Read:
        domain.disk = std::move(contents.values);
        break;
    case ReadOutcome::Missing:
        domain.disk.Reset(CFDictionaryCreate(nullptr, nullptr, nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                             &kCFTypeDictionaryValueCallBacks));
        break;
    case ReadOutcome::Unreadable:
    case ReadOutcome::Unparseable:
        // Unparseable files have been moved aside before this. A file that
        // has become unreadable leaves what was read before (nothing, at
        // first), so a passing read error does not wipe the settings.
        if (!domain.disk)
            domain.disk.Reset(CFDictionaryCreate(nullptr, nullptr, nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                 &kCFTypeDictionaryValueCallBacks));
        break;
    }
    const bool unreadable = contents.outcome == ReadOutcome::Unreadable;
    if (unreadable && !domain.unreadable)
        Diagnostics::WriteLine("Warning: The preferences file " + domain.path + " cannot be read (" + contents.reason +
                               "); it is left as it is and not written.");
    domain.unreadable = unreadable;
    domain.stamp = contents.stamp;
    domain.stampTrusted = !contents.stamp.exists || NowNanoseconds() - contents.stamp.modified > kRacyWindowNanoseconds;
}

// Called with the store's lock held, for a file found unparseable: read it
// again (another process may have replaced it meanwhile) and, when it is
// still unparseable, move it aside under a name that says so. Never
// replaces anything. Answers what the store should now hold.
FileContents MoveAsideIfStillUnparseable(const Domain& domain)
{
    FileContents contents = ReadPreferencesFile(domain.path);
    if (contents.outcome != ReadOutcome::Unparseable)
        return contents;
    const std::string base = domain.path + ".unreadable-" + TimestampForName();
    int error = EEXIST;
    for (int attempt = 1; attempt < 100 && error == EEXIST; ++attempt) {
        const std::string aside = attempt == 1 ? base : base + "-" + std::to_string(attempt);
        if (renameat2(AT_FDCWD, domain.path.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0) {
            Diagnostics::WriteLine("Warning: The preferences file " + domain.path + " could not be read (" +
                                   contents.reason + "); it was moved to " + aside +
                                   " and the preferences start from their defaults.");
            return FileContents{};
        }
        error = errno;
    }
    // It cannot be moved, so it must not be written over either.
    contents.outcome = ReadOutcome::Unreadable;
    contents.reason += "; it could not be moved aside: " + std::string(std::strerror(error));
    return contents;
}

// Brings the disk dictionary up to date with the file; `force` reads it
// even when its identity is unchanged.
void Refresh(Domain& domain, bool force)
{
    if (!force && domain.loaded && domain.stampTrusted && !domain.unreadable &&
        StampOfPath(domain.path) == domain.stamp)
        return;
    FileContents contents = ReadPreferencesFile(domain.path);
    if (contents.outcome == ReadOutcome::Unparseable) {
        StoreLock lock(domain.path + ".lock");
        if (lock.IsLocked()) {
            contents = MoveAsideIfStillUnparseable(domain);
        } else {
            contents.outcome = ReadOutcome::Unreadable;
            contents.reason += "; its lock cannot be taken: " + std::string(std::strerror(lock.Error()));
        }
    }
    Adopt(domain, std::move(contents));
}

// The disk dictionary with this process's changes laid over it.
CFMutableDictionaryRef CreateMerged(const Domain& domain, CFDictionaryRef disk)
{
    CFMutableDictionaryRef merged = CFDictionaryCreateMutableCopy(nullptr, 0, disk);
    CFDictionaryApplyFunction(
        domain.pendingRemovals,
        [](const void* key, const void*, void* context) {
            CFDictionaryRemoveValue(static_cast<CFMutableDictionaryRef>(context), key);
        },
        merged);
    CFDictionaryApplyFunction(
        domain.pendingSets,
        [](const void* key, const void* value, void* context) {
            CFDictionarySetValue(static_cast<CFMutableDictionaryRef>(context), key, value);
        },
        merged);
    return merged;
}

bool WriteMerged(Domain& domain)
{
    const std::string folder = Paths::PreferencesFolder();
    if (!MakeFolders(folder)) {
        Diagnostics::WriteLine("Warning: The preferences folder " + folder +
                               " cannot be created: " + std::strerror(errno));
        return false;
    }
    StoreLock lock(domain.path + ".lock");
    if (!lock.IsLocked()) {
        Diagnostics::WriteLine("Warning: The preferences file " + domain.path +
                               " cannot be locked: " + std::strerror(lock.Error()));
        return false;
    }
    FileContents contents = ReadPreferencesFile(domain.path);
    if (contents.outcome == ReadOutcome::Unparseable)
        contents = MoveAsideIfStillUnparseable(domain);
    const bool fileExists = contents.outcome != ReadOutcome::Missing;
    Adopt(domain, std::move(contents));
    if (domain.unreadable)
        return false;

    CFRef<CFMutableDictionaryRef> merged(CreateMerged(domain, domain.disk));
    // Nothing is written when the changes are already on disk (another
    // process made the same ones, or they undo each other).
    const bool changesFile = fileExists ? !CFEqual(merged, domain.disk) : CFDictionaryGetCount(merged) > 0;
    if (changesFile) {
        CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, merged));
        if (xml && static_cast<size_t>(CFDataGetLength(xml)) > kMaximumFileSize) {
            Diagnostics::WriteLine(
                "Warning: The preferences file " + domain.path + " would be larger than the store reads (" +
                FileAccess::ReadFailureReason(EFBIG, kMaximumFileSize) + "); the changes were not written.");
            return false;
        }
        CFRef<CFURLRef> url(CFURLCreateFromFileSystemRepresentation(
            nullptr, reinterpret_cast<const UInt8*>(domain.path.data()), CFIndex(domain.path.size()), false));
        SInt32 status = 0;
        if (!xml || !url || !CFURLWriteDataAndPropertiesToResource(url, xml, nullptr, &status)) {
            Diagnostics::WriteLine("Warning: The preferences file " + domain.path + " could not be written (status " +
                                   std::to_string(status) + ").");
            return false;
        }
        FileContents written;
        written.outcome = ReadOutcome::Read;
        written.values.Reset(CFDictionaryCreateCopy(nullptr, merged));
        written.stamp = StampOfPath(domain.path);
        Adopt(domain, std::move(written));
    }
    CFDictionaryRemoveAllValues(domain.pendingSets);
    CFDictionaryRemoveAllValues(domain.pendingRemovals);
    return true;
}

}  // namespace

CFPropertyListRef CFPreferencesCopyAppValue(CFStringRef key, CFStringRef applicationID)
{
    if (!IsString(key))
        return nullptr;
    std::lock_guard guard(StoreMutex());
    Domain* domain = FindDomain(applicationID);
    if (domain == nullptr)
        return nullptr;
    if (CFDictionaryContainsKey(domain->pendingRemovals, key))
        return nullptr;
    if (const void* value = CFDictionaryGetValue(domain->pendingSets, key))
        return CFRetain(value);
    Refresh(*domain, false);
    const void* value = CFDictionaryGetValue(domain->disk, key);
    return value ? CFRetain(value) : nullptr;
}

void CFPreferencesSetAppValue(CFStringRef key, CFPropertyListRef value, CFStringRef applicationID)
{
    if (!IsString(key)) {
        Diagnostics::WriteLine("Warning: A preference key must be a string; the value was not set.");
        return;
    }
    // Checked here rather than when the file is written, where one bad value
    // would keep every other change from being saved.
    CFRef<CFPropertyListRef> copy;
    if (value != nullptr) {
        if (!CFPropertyListIsValid(value, kCFPropertyListXMLFormat_v1_0)) {
            Diagnostics::WriteLine("Warning: The value for the preference \"" + CFStringToUTF8(key) +
                                   "\" is not a property list; it was not set.");
            return;
        }
        // Refused here rather than when the file is written, for the same
        // reason: the file must stay one the store can read back.
        if (IsTooLargeForTheFile(key, value)) {
            Diagnostics::WriteLine("Warning: The value for the preference \"" +
                                   FileAccess::ForMessage(CFStringToUTF8(key)) +
                                   "\" is too large for the preferences file; it was not set.");
            return;
        }
        // A copy, so a caller changing its mutable value later changes nothing here.
        copy.Reset(CFPropertyListCreateDeepCopy(nullptr, value, kCFPropertyListImmutable));
    }
    std::lock_guard guard(StoreMutex());
    Domain* domain = FindDomain(applicationID);
    if (domain == nullptr)
        return;
    if (copy) {
        CFDictionaryRemoveValue(domain->pendingRemovals, key);
        CFDictionarySetValue(domain->pendingSets, key, copy);
    } else {
        CFDictionaryRemoveValue(domain->pendingSets, key);
        CFDictionarySetValue(domain->pendingRemovals, key, kCFBooleanTrue);
    }
}

Boolean CFPreferencesAppSynchronize(CFStringRef applicationID)
{
    std::lock_guard guard(StoreMutex());
    Domain* domain = FindDomain(applicationID);
    if (domain == nullptr)
        return false;
    if (!domain->HasPendingChanges()) {
        Refresh(*domain, true);
        return !domain->unreadable;
    }
    return WriteMerged(*domain);
}
