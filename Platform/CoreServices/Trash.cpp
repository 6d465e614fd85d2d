// The freedesktop trash: an object goes into the trash of its own volume
// (the home trash, or the top-directory trash of another mount) by a
// rename, after a .trashinfo file naming where it came from has been
// written under the same free name. A rename never crosses volumes, so
// trashing never copies.
#include "FilesInternal.h"

#include <Support/Clock.h>
#include <Support/Paths.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace FilesInternal {

namespace {

// Makes a folder that only its owner may enter, unless it is there; then
// checks that what is there is a real folder of ours, not a link planted in
// its place.
OSErr MakePrivateFolder(const std::string& path)
{
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return StatusFromErrno(errno);
    struct stat info;
    if (lstat(path.c_str(), &info) != 0)
        return StatusFromErrno(errno);
    if (!S_ISDIR(info.st_mode) || info.st_uid != getuid())
        return afpAccessDenied;
    return noErr;
}

OSErr PrepareTrash(const std::string& root)
{
    if (const OSErr status = MakePrivateFolder(root))
        return status;
    if (const OSErr status = MakePrivateFolder(root + "/files"))
        return status;
    return MakePrivateFolder(root + "/info");
}

std::string Resolved(const std::string& path)
{
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

// The mount point of the volume that holds `path`.
std::string TopDirectory(const std::string& path, dev_t device)
{
    std::string top = ParentPath(path);
    while (top != "/") {
        const std::string up = ParentPath(top);
        struct stat info;
        if (stat(up.c_str(), &info) != 0 || info.st_dev != device)
            break;
        top = up;
    }
    return top;
}

// The trash of another volume: $topdir/.Trash/$uid when the administrator
// made a shared, sticky .Trash there; else $topdir/.Trash-$uid.
OSErr TopDirectoryTrash(const std::string& top, std::string* root)
{
    const std::string uid = std::to_string(getuid());
    const std::string base = top == "/" ? "" : top;
    struct stat shared;
    if (lstat((base + "/.Trash").c_str(), &shared) == 0 && S_ISDIR(shared.st_mode) && (shared.st_mode & S_ISVTX)) {
        *root = base + "/.Trash/" + uid;
        if (PrepareTrash(*root) == noErr)
            return noErr;
    }
    *root = base + "/.Trash-" + uid;
    return PrepareTrash(*root);
}

// The path as a trash information file holds it: percent-escaped except
// for the characters a URI path may hold as they are.
std::string EscapedPath(const std::string& path)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            std::string_view("/-_.!~*'()").find(static_cast<char>(c)) != std::string_view::npos) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

std::string DeletionDate()
{
    const time_t now = static_cast<time_t>(Clock::WallSeconds());
    tm local{};
    tzset();
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

// The n-th candidate name: the name itself, then "name.2.ext", "name.3.ext"...
std::string Candidate(const std::string& name, int n)
{
    if (n == 1)
        return name;
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return name + "." + std::to_string(n);
    return name.substr(0, dot) + "." + std::to_string(n) + name.substr(dot);
}

OSErr WriteInfo(const std::string& infoPath, const std::string& originalPath)
{
    const int fd = open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return StatusFromErrno(errno);
    const std::string text =
        "[Trash Info]\nPath=" + EscapedPath(originalPath) + "\nDeletionDate=" + DeletionDate() + "\n";
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            close(fd);
            unlink(infoPath.c_str());
            return StatusFromErrno(error);
        }
        written += static_cast<size_t>(n);
    }
    const bool synced = fsync(fd) == 0;
    const int error = errno;
    close(fd);
    if (!synced) {
        unlink(infoPath.c_str());
        return StatusFromErrno(error);
    }
    return noErr;
}

}  // namespace

OSErr HomeTrashFilesFolder(std::string* folder)
{
    const std::string root = Paths::TrashFolder();
    if (const OSErr status = MakeFolders(ParentPath(root)))
        return status;
    if (const OSErr status = PrepareTrash(root))
        return status;
    *folder = Resolved(root + "/files");
    return folder->empty() ? fnfErr : noErr;
}

bool IsHomeTrashFilesFolder(const std::string& folder)
{
    const std::string files = Resolved(Paths::TrashFolder() + "/files");
    return !files.empty() && files == Resolved(folder);
}

OSErr MoveToTrash(const FSRef* item, FSRef* newRef)
{
    struct stat info;
    if (const OSErr status = StatRef(item, &info))
        return status;
    const std::string path(item->path);
    if (path == "/")
        return paramErr;
    std::string homeFiles;
    if (const OSErr status = HomeTrashFilesFolder(&homeFiles))
        return status;
    struct stat home;
    if (stat(homeFiles.c_str(), &home) != 0)
        return StatusFromErrno(errno);

    std::string root = ParentPath(homeFiles);
    std::string recordedPath = path;
    if (home.st_dev != info.st_dev) {
        const std::string top = TopDirectory(path, info.st_dev);
        if (const OSErr status = TopDirectoryTrash(top, &root))
            return status;
        // A top-directory trash records paths relative to its volume.
        recordedPath = top == "/" ? path.substr(1) : path.substr(top.size() + 1);
    }
    // The trash itself, or a folder holding it, cannot go into it.
    if (root == path || root.compare(0, path.size() + 1, path + "/") == 0)
        return paramErr;

    const std::string name = LastComponent(path);
    for (int n = 1; n < 10000; ++n) {
        const std::string candidate = Candidate(name, n);
        const std::string infoPath = root + "/info/" + candidate + ".trashinfo";
        const OSErr written = WriteInfo(infoPath, recordedPath);
        if (written == dupFNErr)
            continue;
        if (written != noErr)
            return written;
        const std::string target = root + "/files/" + candidate;
        const OSErr moved = RenameNoReplace(path, target);
        if (moved == noErr)
            return newRef ? MakeRef(target, false, newRef) : noErr;
        unlink(infoPath.c_str());
        // A name taken in files/ without its information file: try the next.
        if (moved != dupFNErr)
            return moved;
    }
    return dupFNErr;
}

}  // namespace FilesInternal
