#include "FileAccess.h"

#include "Diagnostics.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace FileAccess {

namespace {

// Closes a descriptor on every way out of a scope.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { Reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

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

// ---- reading ----

template <typename Buffer>
int ReadInto(const std::string& path, size_t limit, Buffer* out, bool followLink)
{
    if (path.empty())
        return ENOENT;
    // Non-blocking, so that opening a pipe or a device cannot wait; neither
    // is read.
    Descriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (followLink ? 0 : O_NOFOLLOW)));
    if (fd.get() < 0)
        return errno;
    struct stat status {};
    if (fstat(fd.get(), &status) != 0)
        return errno;
    if (S_ISDIR(status.st_mode))
        return EISDIR;
    if (!S_ISREG(status.st_mode))
        return EINVAL;
    limit = std::min(limit, SIZE_MAX - 1);
    if (status.st_size > 0 && static_cast<uint64_t>(status.st_size) > limit)
        return EFBIG;
    if (out == nullptr)
        return 0;
    // One byte more than the file's size, so that the end shows as a read
    // of nothing without growing the buffer; files that report no size
    // (those of /proc) or grow while being read grow it, up to the limit.
    Buffer bytes;
    bytes.resize(static_cast<size_t>(status.st_size) + 1);
    size_t used = 0;
    for (;;) {
        if (used == bytes.size()) {
            if (used > limit)
                return EFBIG;
            bytes.resize(std::min(limit + 1, used + std::max<size_t>(used, 64 * 1024)));
        }
        const ssize_t n = read(fd.get(), bytes.data() + used, bytes.size() - used);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            break;
        used += static_cast<size_t>(n);
    }
    if (used > limit)
        return EFBIG;
    bytes.resize(used);
    if (bytes.capacity() > used + used / 4 + 64 * 1024)
        bytes.shrink_to_fit();
    out->swap(bytes);
    return 0;
}

std::string Megabytes(size_t bytes)
{
    if (bytes >= (size_t(1) << 20))
        return std::to_string(bytes >> 20) + " MB";
    return std::to_string(bytes >> 10) + " KB";
}

// ---- writing ----

int WriteAll(int fd, const unsigned char* bytes, size_t count)
{
    while (count > 0) {
        const ssize_t n = write(fd, bytes, count);
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

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a write to `path` lands in: a symbolic link is written through to
// its target (a link's own path would otherwise be replaced by a plain file),
// following a chain of links as the system does, dangling ones included.
int FollowLinks(std::string* path)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat status {};
        if (lstat(path->c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
            return 0;
        std::string target(PATH_MAX, '\0');
        const ssize_t n = readlink(path->c_str(), target.data(), target.size());
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

// What marks a temporary as ours: ".<name>.brindlet-save-<pid>-<8 letters>".
// The process number tells a cleaner whether its writer may still be at
// work; the letters keep two writers of one process apart.
constexpr std::string_view kTemporaryMark = ".brindlet-save-";
constexpr size_t kRandomLetters = 8;

bool IsLetterOrDigit(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// The longest start of `text` of at most `limit` bytes that does not end
// inside a UTF-8 sequence.
size_t CharacterBoundary(std::string_view text, size_t limit)
{
    if (text.size() <= limit)
        return text.size();
    size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return cut;
}

// Hidden, in the destination's folder (so that the rename stays on one file
// system), short enough to stay within NAME_MAX.
std::string TemporaryPath(const std::string& folder, const std::string& name)
{
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char random[kRandomLetters] = {};
    if (getrandom(random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random)) {
        static unsigned counter = 0;
        unsigned seed = static_cast<unsigned>(getpid()) * 2654435761u ^ ++counter ^
                        static_cast<unsigned>(reinterpret_cast<uintptr_t>(&random));
        for (unsigned char& r : random)
            r = static_cast<unsigned char>((seed = seed * 1103515245u + 12345u) >> 16);
    }
    std::string path = folder + "/." + name.substr(0, CharacterBoundary(name, 200)) + std::string(kTemporaryMark) +
                       std::to_string(getpid()) + "-";
    for (unsigned char r : random)
        path += kLetters[r % (sizeof kLetters - 1)];
    return path;
}

// The process a temporary's name names; -1 when the name is not ours.
pid_t WriterOf(std::string_view name)
{
    if (name.size() < 2 || name[0] != '.')
        return -1;
    const size_t mark = name.rfind(kTemporaryMark);
    if (mark == std::string_view::npos || mark < 2)
        return -1;
    std::string_view rest = name.substr(mark + kTemporaryMark.size());
    const size_t dash = rest.find('-');
    if (dash == std::string_view::npos || dash == 0 || dash > 10 || rest.size() != dash + 1 + kRandomLetters)
        return -1;
    long long pid = 0;
    for (char c : rest.substr(0, dash)) {
        if (c < '0' || c > '9')
            return -1;
        pid = pid * 10 + (c - '0');
    }
    for (char c : rest.substr(dash + 1))
        if (!IsLetterOrDigit(c))
            return -1;
    return pid > 0 && pid <= INT32_MAX ? static_cast<pid_t>(pid) : -1;
}

bool ProcessIsAlive(pid_t pid)
{
    return pid == getpid() || kill(pid, 0) == 0 || errno == EPERM;
}

// Gives the new file the extended attributes a replaced one had in the
// user's name space (the type and creator live there). Best effort: the
// contents are what the caller asked to write.
void CopyUserAttributes(const std::string& from, int to)
{
    const ssize_t size = llistxattr(from.c_str(), nullptr, 0);
    if (size <= 0)
        return;
    std::vector<char> names(static_cast<size_t>(size));
    const ssize_t listed = llistxattr(from.c_str(), names.data(), names.size());
    if (listed <= 0)
        return;
    std::vector<char> value;
    for (size_t at = 0; at < static_cast<size_t>(listed);) {
        const std::string name(names.data() + at);
        at += name.size() + 1;
        if (name.rfind("user.", 0) != 0)
            continue;
        const ssize_t length = lgetxattr(from.c_str(), name.c_str(), nullptr, 0);
        if (length < 0)
            continue;
        value.resize(static_cast<size_t>(length));
        const ssize_t got = lgetxattr(from.c_str(), name.c_str(), value.data(), value.size());
        if (got >= 0)
            fsetxattr(to, name.c_str(), value.data(), static_cast<size_t>(got), 0);
    }
}

void SyncFolder(const std::string& folder)
{
    // The new name is in place once rename has answered; making the folder
    // durable is best effort, as failing now would misreport the write.
    Descriptor fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0)
        fsync(fd.get());
}

// Fills the temporary the descriptor holds: the permissions and attributes
// of the file it replaces (a new file keeps the mode it was made with), the
// bytes, on disk.
int Fill(int fd, const std::string& target, const struct stat* existing, const unsigned char* bytes, size_t count)
{
    if (existing) {
        if (fchmod(fd, existing->st_mode & 07777) != 0)
            return errno;
        CopyUserAttributes(target, fd);
    }
    if (int error = WriteAll(fd, bytes, count))
        return error;
    return fsync(fd) == 0 ? 0 : errno;
}

// An unnamed file in the destination's folder: a write cut short by a crash
// or a kill leaves nothing behind, as the file only gets a name once it is
// complete. A new file is linked under its name directly; no call links
// over an existing name, so a replacement gets a hidden name first and is
// renamed at once, the two calls apart that a kill can fall between (the
// next write removes what it leaves). Answers 0, or an errno value;
// EOPNOTSUPP when the file system cannot make unnamed files.
int WriteThroughUnnamedFile(const std::string& target, const std::string& folder, const std::string& name,
                            const struct stat* existing, const unsigned char* bytes, size_t count)
{
    // A new file gets 0666 less the umask from the kernel; a replaced one keeps its mode.
    Descriptor fd(open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, existing ? 0600 : 0666));
    if (fd.get() < 0)
        return errno == EISDIR || errno == EINVAL || errno == EOPNOTSUPP ? EOPNOTSUPP : errno;
    // Held until the descriptor closes: the temporary is never taken for a
    // dead writer's while this one lives.
    flock(fd.get(), LOCK_EX | LOCK_NB);
    if (int error = Fill(fd.get(), target, existing, bytes, count))
        return error;
    const std::string descriptorPath = "/proc/self/fd/" + std::to_string(fd.get());
    if (existing == nullptr) {
        if (linkat(AT_FDCWD, descriptorPath.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return 0;
        if (errno == ENOENT)
            return EOPNOTSUPP;  // no /proc to link from
        if (errno != EEXIST)
            return errno;
        // Made by someone else meanwhile: replaced like any other.
    }
    std::string temporary;
    for (int attempt = 0;; ++attempt) {
        temporary = TemporaryPath(folder, name);
        if (linkat(AT_FDCWD, descriptorPath.c_str(), AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW) == 0)
            break;
        if (errno != EEXIST || attempt == 100)
            return errno == ENOENT ? EOPNOTSUPP : errno;
    }
    if (rename(temporary.c_str(), target.c_str()) != 0) {
        const int error = errno;
        unlink(temporary.c_str());
        return error;
    }
    return 0;
}

// The same with a named temporary, for file systems without unnamed files;
// it is removed on every way out but success.
int WriteThroughNamedFile(const std::string& target, const std::string& folder, const std::string& name,
                          const struct stat* existing, const unsigned char* bytes, size_t count)
{
    std::string temporary;
    Descriptor fd;
    for (int attempt = 0;; ++attempt) {
        temporary = TemporaryPath(folder, name);
        fd.Reset(open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (fd.get() >= 0)
            break;
        if (errno != EEXIST || attempt == 100)
            return errno;
    }
    flock(fd.get(), LOCK_EX | LOCK_NB);
    // Made private; a new file gets the mode it would have been made with,
    // a replacing one the mode of the file it replaces.
    int error = existing || fchmod(fd.get(), 0666 & ~CurrentUmask()) == 0 ? 0 : errno;
    if (error == 0)
        error = Fill(fd.get(), target, existing, bytes, count);
    if (error == 0 && rename(temporary.c_str(), target.c_str()) != 0)
        error = errno;
    if (error != 0)
        unlink(temporary.c_str());
    return error;
}

}  // namespace

int ReadRegularFile(const std::string& path, size_t limit, std::vector<unsigned char>* bytes, bool followLink)
{
    return ReadInto(path, limit, bytes, followLink);
}

int ReadRegularFile(const std::string& path, size_t limit, std::string* bytes, bool followLink)
{
    return ReadInto(path, limit, bytes, followLink);
}

std::string ReadFailureReason(int error, size_t limit)
{
    switch (error) {
    case ENOENT:
        return "there is no such file";
    case EISDIR:
        return "it is a folder";
    case EINVAL:
        return "it is not a regular file";
    case EFBIG:
        return "it is larger than " + Megabytes(limit);
    case ELOOP:
        return "it is a symbolic link";
    case EACCES:
    case EPERM:
        return "permission was denied";
    default:
        return std::strerror(error);
    }
}

void WarnNotRead(std::string_view kind, std::string_view path, int error, size_t limit)
{
    Diagnostics::WriteLine("Warning: The " + std::string(kind) + " " + ForMessage(path, 1000) +
                           " was not read: " + ReadFailureReason(error, limit) + ".");
}

int WriteAtomically(const std::string& destination, const void* bytes, size_t count, const WriteOptions& options)
{
    std::string path = destination;
    if (int error = FollowLinks(&path))
        return error;
    const std::string folder = FolderOf(path), name = NameOf(path);
    if (name.empty() || name == "." || name == "..")
        return EISDIR;
    struct stat status {};
    const struct stat* existing = nullptr;
    if (stat(path.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode))
            return EISDIR;
        if (S_ISREG(status.st_mode))
            existing = &status;
    } else if (errno != ENOENT) {
        return errno;
    }
    RemoveStaleTemporaries(folder);
    const auto* data = static_cast<const unsigned char*>(bytes);
    int error =
        options.unnamedTemporary ? WriteThroughUnnamedFile(path, folder, name, existing, data, count) : EOPNOTSUPP;
    if (error == EOPNOTSUPP)
        error = WriteThroughNamedFile(path, folder, name, existing, data, count);
    if (error == 0)
        SyncFolder(folder);
    return error;
}

bool IsWriterTemporaryName(std::string_view name)
{
    return WriterOf(name) > 0;
}

int RemoveStaleTemporaries(const std::string& folder)
{
    DIR* listing = opendir(folder.c_str());
    if (listing == nullptr)
        return 0;
    int removed = 0;
    while (const dirent* entry = readdir(listing)) {
        const pid_t writer = WriterOf(entry->d_name);
        if (writer <= 0)
            continue;
        Descriptor fd(openat(dirfd(listing), entry->d_name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW));
        struct stat opened {};
        if (fd.get() < 0 || fstat(fd.get(), &opened) != 0 || !S_ISREG(opened.st_mode))
            continue;
        // A writer at work holds the lock; where the file system keeps no
        // locks, its process number alone tells.
        if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
            continue;
        if (ProcessIsAlive(writer))
            continue;
        // Still the file that was looked at, not one a new writer made since.
        struct stat named {};
        if (fstatat(dirfd(listing), entry->d_name, &named, AT_SYMLINK_NOFOLLOW) != 0 || named.st_dev != opened.st_dev ||
            named.st_ino != opened.st_ino)
            continue;
        if (unlinkat(dirfd(listing), entry->d_name, 0) == 0)
            ++removed;
    }
    closedir(listing);
    return removed;
}

std::string ForMessage(std::string_view text, size_t limit)
{
    const size_t cut = CharacterBoundary(text, limit);
    std::string out(text.substr(0, cut));
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    if (cut < text.size())
        out += "\u2026";
    return out;
}

}  // namespace FileAccess
