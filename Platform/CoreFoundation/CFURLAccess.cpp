// Reading, writing and removing the files that file URLs name.
#include <CoreFoundation/CFURL.h>

#include "CFDataInternal.h"
#include "CFStringInternal.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

void SetError(SInt32* errorCode, SInt32 value)
{
    if (errorCode != nullptr)
        *errorCode = value;
}

SInt32 ErrorForErrno(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return kCFURLResourceNotFoundError;
    case EACCES:
    case EPERM:
    case EROFS:
        return kCFURLResourceAccessViolationError;
    default:
        return kCFURLUnknownError;
    }
}

// Closes a descriptor on every way out of a scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() { Reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    void Reset(int fd = -1)
    {
        if (fd_ >= 0)
            close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

// The POSIX path a URL names, resolved against its base. Answers 0 or the
// CFURLError that says why the URL names no local file.
SInt32 LocalPath(CFURLRef url, std::string* path)
{
    if (url == nullptr || CFGetTypeID(url) != CFURLGetTypeID())
        return kCFURLImproperArgumentsError;
    CFURLRef absolute = CFURLCopyAbsoluteURL(url);
    if (absolute == nullptr)
        return kCFURLImproperArgumentsError;
    CFStringRef scheme = CFURLCopyScheme(absolute);
    std::string schemeText = CFStringToUTF8(scheme);
    CFRelease(scheme);
    for (char& c : schemeText)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    const bool isFile = schemeText == "file";
    // Decoding only shortens, so the URL's length bounds the path's.
    std::vector<UInt8> buffer(static_cast<size_t>(CFStringGetLength(CFURLGetString(absolute))) + 1);
    const bool ok = CFURLGetFileSystemRepresentation(absolute, true, buffer.data(), CFIndex(buffer.size()));
    CFRelease(absolute);
    if (!ok)
        return isFile ? kCFURLImproperArgumentsError : kCFURLUnknownSchemeError;
    *path = reinterpret_cast<const char*>(buffer.data());
    return 0;
}

std::string FolderOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// ---- reading ----

// Reads the whole of a regular file. Answers 0 or an errno value.
int ReadFile(const std::string& path, CFByteVector* contents)
{
    // Non-blocking so that a FIFO cannot hang the open; it is refused below.
    FileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0)
        return errno;
    struct stat status;
    if (fstat(fd.get(), &status) != 0)
        return errno;
    if (!S_ISREG(status.st_mode))
        return S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
    if (contents == nullptr)
        return 0;
    // One byte more than the file's size, so that the end shows as a read of
    // nothing without growing the buffer; files that report no size (those
    // of /proc) or grow while being read grow it.
    CFByteVector& bytes = *contents;
    bytes.resize(static_cast<size_t>(status.st_size) + 1);
    size_t used = 0;
    for (;;) {
        if (used == bytes.size())
            bytes.resize(bytes.size() + std::max<size_t>(bytes.size(), 64 * 1024));
        ssize_t n = read(fd.get(), bytes.data() + used, bytes.size() - used);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            break;
        used += static_cast<size_t>(n);
    }
    bytes.resize(used);
    if (bytes.capacity() > used + used / 4 + 64 * 1024)
        bytes.shrink_to_fit();
    return 0;
}

// ---- writing ----

int WriteAll(int fd, const UInt8* bytes, size_t count)
{
    while (count > 0) {
        ssize_t n = write(fd, bytes, count);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        bytes += n;
        count -= static_cast<size_t>(n);
    }
    return 0;
}

// The file a write to `path` lands in: a symbolic link is written through to
// its target (a link's own path would otherwise be replaced by a plain file),
// following a chain of links as the system does, dangling ones included.
int FollowLinks(std::string* path)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat status;
        if (lstat(path->c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
            return 0;
        std::string target(PATH_MAX, '\0');
        ssize_t n = readlink(path->c_str(), target.data(), target.size());
        if (n < 0)
            return errno;
        if (static_cast<size_t>(n) >= target.size())
            return ENAMETOOLONG;
        target.resize(static_cast<size_t>(n));
        *path = target[0] == '/' ? target : FolderOf(*path) + "/" + target;
    }
    return ELOOP;
}

// The mask the process creates files under; read from /proc because
// umask(2) can only be read by setting it, which races with other threads.
mode_t CurrentUmask()
{
    FILE* status = std::fopen("/proc/self/status", "re");
    if (status == nullptr)
        return 022;
    char line[256];
    unsigned mask = 022;
    while (std::fgets(line, sizeof line, status) != nullptr) {
        if (std::sscanf(line, "Umask: %o", &mask) == 1)
            break;
    }
    std::fclose(status);
    return static_cast<mode_t>(mask & 0777);
}

// ".<name>." and six random letters: hidden, in the destination's folder
// (so that the rename stays on one file system), and not a name anyone uses.
std::string TemporaryName(const std::string& folder, const std::string& name, bool randomSuffix)
{
    // Short enough that the temporary's name stays within NAME_MAX.
    std::string path = folder + "/." + name.substr(0, 200) + ".";
    if (!randomSuffix)
        return path + "XXXXXX";
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    UInt8 random[6] = {};
    if (getrandom(random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random)) {
        unsigned seed = static_cast<unsigned>(getpid()) ^ static_cast<unsigned>(reinterpret_cast<uintptr_t>(&path));
        for (UInt8& r : random)
            r = static_cast<UInt8>(seed = seed * 1103515245u + 12345u);
    }
    for (UInt8 r : random)
        path += kLetters[r % (sizeof kLetters - 1)];
    return path;
}

void SyncFolder(const std::string& folder)
{
    // The new name is in place once rename has answered; making the folder
    // durable is best effort, as failing now would misreport the write.
    FileDescriptor fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0)
        fsync(fd.get());
}

// An unnamed file in the destination's folder: a write cut short by a crash
// or a kill leaves nothing behind, as the file only gets a name once it is
// complete. Answers 0, or an errno value; EOPNOTSUPP when the file system
// cannot make unnamed files (the caller falls back to a named temporary).
int WriteThroughUnnamedFile(const std::string& target, const std::string& folder, const std::string& name,
                            const struct stat* existing, const UInt8* bytes, size_t count)
{
    // A new file gets 0666 less the umask from the kernel; a replaced one keeps its mode.
    FileDescriptor fd(open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, existing ? 0600 : 0666));
    if (fd.get() < 0)
        return errno == EISDIR || errno == EINVAL ? EOPNOTSUPP : errno;
    if (existing && fchmod(fd.get(), existing->st_mode & 07777) != 0)
        return errno;
    if (int error = WriteAll(fd.get(), bytes, count))
        return error;
    if (fsync(fd.get()) != 0)
        return errno;
    // No call links an unnamed file over an existing name, so it gets a
    // hidden name first and is then renamed over the destination.
    const std::string descriptorPath = "/proc/self/fd/" + std::to_string(fd.get());
    std::string temporary;
    for (int attempt = 0;; ++attempt) {
        temporary = TemporaryName(folder, name, true);
        if (linkat(AT_FDCWD, descriptorPath.c_str(), AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW) == 0)
            break;
        if (errno != EEXIST || attempt == 100)
            return errno == ENOENT ? EOPNOTSUPP : errno;  // ENOENT: no /proc to link from
    }
    if (rename(temporary.c_str(), target.c_str()) != 0) {
        int error = errno;
        unlink(temporary.c_str());
        return error;
    }
    return 0;
}

// The same with a named temporary, for file systems without unnamed files;
// it is removed on every way out but success.
int WriteThroughNamedFile(const std::string& target, const std::string& folder, const std::string& name,
                          const struct stat* existing, const UInt8* bytes, size_t count)
{
    std::string temporary = TemporaryName(folder, name, false);
    FileDescriptor fd(mkostemp(temporary.data(), O_CLOEXEC));
    if (fd.get() < 0)
        return errno;
    const mode_t mode = existing ? existing->st_mode & 07777 : 0666 & ~CurrentUmask();
    int error = fchmod(fd.get(), mode) != 0 ? errno : 0;
    if (error == 0)
        error = WriteAll(fd.get(), bytes, count);
    if (error == 0 && fsync(fd.get()) != 0)
        error = errno;
    fd.Reset();
    if (error == 0 && rename(temporary.c_str(), target.c_str()) != 0)
        error = errno;
    if (error != 0)
        unlink(temporary.c_str());
    return error;
}

// Replaces the file at `path` with `bytes` so that, whatever happens on the
// way, the file holds either its old contents or the new ones in full.
int WriteAtomically(std::string path, const UInt8* bytes, size_t count)
{
    if (int error = FollowLinks(&path))
        return error;
    const std::string folder = FolderOf(path), name = NameOf(path);
    if (name.empty() || name == "." || name == "..")
        return EISDIR;
    struct stat status;
    const struct stat* existing = nullptr;
    if (stat(path.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode))
            return EISDIR;
        if (S_ISREG(status.st_mode))
            existing = &status;
    } else if (errno != ENOENT) {
        return errno;
    }
    int error = WriteThroughUnnamedFile(path, folder, name, existing, bytes, count);
    if (error == EOPNOTSUPP)
        error = WriteThroughNamedFile(path, folder, name, existing, bytes, count);
    if (error == 0)
        SyncFolder(folder);
    return error;
}

}  // namespace

Boolean CFURLCreateDataAndPropertiesFromResource(CFAllocatorRef, CFURLRef url, CFDataRef* resourceData,
                                                 CFDictionaryRef* properties, CFArrayRef, SInt32* errorCode)
{
    // No resource properties are kept on this platform: the answer is always nil.
    if (properties != nullptr)
        *properties = nullptr;
    if (resourceData != nullptr)
        *resourceData = nullptr;
    std::string path;
    if (SInt32 error = LocalPath(url, &path)) {
        SetError(errorCode, error);
        return false;
    }
    CFByteVector contents;
    if (int error = ReadFile(path, resourceData ? &contents : nullptr)) {
        SetError(errorCode, ErrorForErrno(error));
        return false;
    }
    if (resourceData != nullptr)
        *resourceData = CFDataCreateWithVector(std::move(contents), false);
    SetError(errorCode, 0);
    return true;
}

// A directory URL ("file:///a/b/") makes the folder; the data, if any, is
// not used. Properties cannot be written on this platform and are ignored.
Boolean CFURLWriteDataAndPropertiesToResource(CFURLRef url, CFDataRef dataToWrite, CFDictionaryRef, SInt32* errorCode)
{
    std::string path;
    if (SInt32 error = LocalPath(url, &path)) {
        SetError(errorCode, error);
        return false;
    }
    int error;
    if (CFURLHasDirectoryPath(url)) {
        error = mkdir(path.c_str(), 0777) == 0 ? 0 : errno;
        struct stat status;
        if (error == EEXIST && stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
            error = 0;
    } else {
        const CFDataObject* data = CFDataObjectOf(dataToWrite);
        if (data == nullptr) {
            SetError(errorCode, kCFURLImproperArgumentsError);
            return false;
        }
        error = WriteAtomically(path, data->bytes.data(), data->bytes.size());
    }
    SetError(errorCode, error == 0 ? 0 : ErrorForErrno(error));
    return error == 0;
}

// Removes a file, or a folder when it is empty.
Boolean CFURLDestroyResource(CFURLRef url, SInt32* errorCode)
{
    std::string path;
    if (SInt32 error = LocalPath(url, &path)) {
        SetError(errorCode, error);
        return false;
    }
    struct stat status;
    int error = 0;
    if (lstat(path.c_str(), &status) != 0)
        error = errno;
    else if (S_ISDIR(status.st_mode) ? rmdir(path.c_str()) != 0 : unlink(path.c_str()) != 0)
        error = errno;
    SetError(errorCode, error == 0 ? 0 : ErrorForErrno(error));
    return error == 0;
}
