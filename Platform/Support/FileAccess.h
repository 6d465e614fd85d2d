// Reading and writing the files users own: the one reader of outside files
// (regular files only, never more than a limit suited to what they hold)
// and the one writer (atomic: a file holds its old contents or the new ones
// in full, whatever happens on the way, and no temporary outlives its
// writer for long). Statuses are errno values; 0 is success.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace FileAccess {

// How much of each kind of file is ever read whole. A file larger than its
// kind's limit is not one of its kind (or not one anybody could use), and
// reading it would take its size in memory.
inline constexpr size_t kNoteLimit = size_t(32) << 20;         // a note's text, plain or RTF
inline constexpr size_t kImageLimit = size_t(64) << 20;        // an encoded image
inline constexpr size_t kDocumentLimit = size_t(256) << 20;    // a sheet; anything read whole by URL
inline constexpr size_t kPreferencesLimit = size_t(32) << 20;  // a preferences file
inline constexpr size_t kTableLimit = size_t(8) << 20;         // a bundle's strings table or Info.plist
inline constexpr size_t kSmallTextLimit = size_t(64) << 10;    // a desktop entry and the like

// Reads the whole of the regular file at `path` into `bytes`. The open
// never waits (a pipe or a device is refused at once, without reading),
// and no more than `limit` bytes are ever held, however the file grows
// while it is read. Answers 0, or an errno value: EISDIR for a folder,
// EINVAL for anything else that is not a regular file, EFBIG for a file
// larger than `limit`, ELOOP for a final symbolic link when `followLink`
// is false, or what the system said. `bytes` is left alone on failure;
// when it is nil, nothing is read and the answer says whether it would be.
int ReadRegularFile(const std::string& path, size_t limit, std::vector<unsigned char>* bytes, bool followLink = true);
int ReadRegularFile(const std::string& path, size_t limit, std::string* bytes, bool followLink = true);

// Why a read failed, for a message: "it is not a regular file", "it is
// larger than 32 MB", ...
std::string ReadFailureReason(int error, size_t limit);

// Writes the one line that tells a file was refused:
// "Warning: The <kind> <path> was not read: <reason>."
void WarnNotRead(std::string_view kind, std::string_view path, int error, size_t limit);

struct WriteOptions {
    // Whether the new contents are first written into a file without a name
    // (which a crash leaves nothing of). Where the file system cannot make
    // one, a named temporary is used anyway; tests turn this off to use
    // that way on any file system.
    bool unnamedTemporary = true;
};

// Replaces the file at `path` (a symbolic link is written through to its
// target) with `count` bytes, so that whatever happens on the way it holds
// either its old contents or the new ones in full: the new contents go to a
// temporary in the same folder, are synced, and renamed over the file; the
// folder is synced after. A replaced file keeps its permissions and its
// extended "user." attributes (type and creator among them); a new one gets
// 0666 less the umask. Temporaries that writers killed on the way left in
// the folder are removed first. Answers 0 or an errno value.
int WriteAtomically(const std::string& path, const void* bytes, size_t count, const WriteOptions& options = {});

// Whether `name` is the name of one of our writers' temporaries.
bool IsWriterTemporaryName(std::string_view name);

// Removes from `folder` the temporaries of writers that are gone: names
// only our writer makes, held by no live writer (each writer holds a lock
// on its temporary while it writes, and the process named in the name has
// ended). Answers how many were removed.
int RemoveStaleTemporaries(const std::string& folder);

// Text from outside (a path, a name quoted in a reason) made fit for one
// line of a message: control characters become '?', and text longer than
// `limit` bytes is cut at a character boundary and ends in "…".
std::string ForMessage(std::string_view text, size_t limit = 200);

}  // namespace FileAccess
