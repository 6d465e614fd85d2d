// The one reader of outside files and the one atomic writer.
#include <FileFixtures.h>
#include <StalledFifo.h>
#include <Support/Diagnostics.h>
#include <Support/FileAccess.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace {

// A process number nobody has: one that has just ended.
pid_t EndedProcess()
{
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    int status = 0;
    waitpid(child, &status, 0);
    return child;
}

std::string TemporaryName(const std::string& name, pid_t writer, const std::string& letters = "abcdEFGH")
{
    return "." + name + ".brindlet-save-" + std::to_string(writer) + "-" + letters;
}

}  // namespace

// ---- reading ----

TEST(FileAccessReading, ReadsRegularFilesWithinTheLimitOnly)
{
    ScratchFolder folder;
    folder.Write("note", "twelve bytes");
    folder.Write("empty", "");
    folder.MakeFolder("folder");
    folder.MakeLink("link", folder / "note");
    StalledFifo pipe(folder / "pipe");
    ASSERT_TRUE(pipe.Made());
    const struct {
        std::string path;
        size_t limit;
        bool followLink;
        int error;
    } cases[] = {
        {folder / "note", 12, true, 0},
        {folder / "empty", 0, true, 0},
        {folder / "link", 100, true, 0},
        {folder / "note", 11, true, EFBIG},
        {folder / "link", 100, false, ELOOP},
        {folder / "folder", 100, true, EISDIR},
        {folder / "pipe", 100, true, EINVAL},
        {"/dev/zero", 100, true, EINVAL},
        {folder / "missing", 100, true, ENOENT},
        {"", 100, true, ENOENT},
        // Files that tell no size are cut off at the limit too.
        {"/proc/self/status", 16, true, EFBIG},
        {"/proc/self/status", 1 << 20, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path + " limit " + std::to_string(c.limit));
        std::string bytes = "untouched";
        const auto took =
            TimeOf([&] { EXPECT_EQ(FileAccess::ReadRegularFile(c.path, c.limit, &bytes, c.followLink), c.error); });
        EXPECT_LT(took.count(), 1000);
        if (c.error != 0) {
            EXPECT_EQ(bytes, "untouched");
        } else if (c.path == folder / "note" || c.path == folder / "link") {
            EXPECT_EQ(bytes, "twelve bytes");
        } else if (c.path == folder / "empty") {
            EXPECT_EQ(bytes, "");
        } else {
            EXPECT_EQ(bytes.rfind("Name:", 0), 0u);
        }
    }
    std::vector<unsigned char> vector;
    EXPECT_EQ(FileAccess::ReadRegularFile(folder / "note", 100, &vector), 0);
    EXPECT_EQ(std::string(vector.begin(), vector.end()), "twelve bytes");
    EXPECT_EQ(FileAccess::ReadRegularFile(folder / "note", 100, static_cast<std::string*>(nullptr)), 0);
    EXPECT_EQ(FileAccess::ReadRegularFile(folder / "pipe", 100, static_cast<std::string*>(nullptr)), EINVAL);
}

TEST(FileAccessReading, RefusalsAreToldInOneShortLine)
{
    Diagnostics::Capture capture;
    FileAccess::WarnNotRead("image file", "/tmp/a\nb.png", EFBIG, 64 << 20);
    FileAccess::WarnNotRead("note", "/tmp/pipe", EINVAL, 1 << 20);
    EXPECT_EQ(capture.Lines(), (std::vector<std::string>{
                                   "Warning: The image file /tmp/a?b.png was not read: it is larger than 64 MB.",
                                   "Warning: The note /tmp/pipe was not read: it is not a regular file.",
                               }));
    // Quoted text is cut at a character boundary.
    EXPECT_EQ(FileAccess::ForMessage("ab\u00E9cd", 3), "ab\u2026");
    EXPECT_EQ(FileAccess::ForMessage("ab\u00E9cd", 4), "ab\u00E9\u2026");
    EXPECT_EQ(FileAccess::ForMessage(std::string(1 << 20, 'x')).size(), 200u + 3);
    EXPECT_EQ(FileAccess::ForMessage("tab\there"), "tab?here");
}

// ---- writing ----

// Either way of writing gives a new file the umask's mode, and keeps the
// mode and user attributes of a file it replaces.
TEST(FileAccessWriting, NewFilesGetTheUmasksModeAndReplacedOnesKeepTheirs)
{
    const mode_t mask = umask(022);
    umask(mask);
    for (const bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed ? "unnamed temporary" : "named temporary");
        FileAccess::WriteOptions options;
        options.unnamedTemporary = unnamed;
        ScratchFolder folder;
        const std::string path = folder / "sheet";
        ASSERT_EQ(FileAccess::WriteAtomically(path, "new", 3, options), 0);
        struct stat status {};
        ASSERT_EQ(stat(path.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0666 & ~mask);

        ASSERT_EQ(chmod(path.c_str(), 0640), 0);
        const bool attributes = setxattr(path.c_str(), "user.brindlet.test", "kept", 4, 0) == 0;
        ASSERT_EQ(FileAccess::WriteAtomically(path, "newer", 5, options), 0);
        ASSERT_EQ(stat(path.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0640u);
        EXPECT_EQ(ReadWhole(path), "newer");
        if (attributes) {
            char value[8] = {};
            EXPECT_EQ(getxattr(path.c_str(), "user.brindlet.test", value, sizeof value), 4);
            EXPECT_STREQ(value, "kept");
        }
        EXPECT_EQ(folder.Names(), std::vector<std::string>{"sheet"});
    }
}

// A writer killed at any moment leaves the file whole, the old version or
// a new one; what it left in the folder is gone after the next write. The
// same with the named temporary of file systems without unnamed files.
TEST(FileAccessWriting, AWriterKilledAnywhereLeavesAWholeFileAndNothingAfterTheNextWrite)
{
    std::vector<std::string> versions;
    for (char letter = 'a'; letter <= 'z'; ++letter)
        versions.emplace_back(size_t(96) << 10, letter);
    std::mt19937 random(20261210);
    for (const bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed ? "unnamed temporary" : "named temporary");
        FileAccess::WriteOptions options;
        options.unnamedTemporary = unnamed;
        ScratchFolder folder;
        const std::string path = folder / "sheet";
        ASSERT_EQ(FileAccess::WriteAtomically(path, versions[0].data(), versions[0].size(), options), 0);
        int leftBehind = 0;
        for (int round = 0; round < 125; ++round) {
            SCOPED_TRACE(round);
            const pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                for (size_t n = 1;; ++n)
                    FileAccess::WriteAtomically(path, versions[n % 26].data(), versions[n % 26].size(), options);
            }
            usleep(std::uniform_int_distribution<useconds_t>(0, 4000)(random));
            kill(child, SIGKILL);
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);

            const std::string contents = ReadWhole(path);
            ASSERT_EQ(contents.size(), versions[0].size());
            ASSERT_EQ(contents.find_first_not_of(contents[0]), std::string::npos) << "a torn file";
            for (const std::string& name : folder.Names())
                leftBehind += FileAccess::IsWriterTemporaryName(name);

            ASSERT_EQ(FileAccess::WriteAtomically(path, versions[0].data(), versions[0].size(), options), 0);
            ASSERT_EQ(folder.Names(), std::vector<std::string>{"sheet"});
        }
        if (!unnamed) {
            EXPECT_GT(leftBehind, 0) << "no kill fell inside a write";
        }
    }
}

// Only our own names are ever removed, and of those only the ones whose
// writer is gone: its lock released and its process ended.
TEST(FileAccessWriting, RemovesOnlyTemporariesOfWritersThatAreGone)
{
    ScratchFolder folder;
    const pid_t ended = EndedProcess();
    const std::string stale = TemporaryName("sheet", ended);
    const std::string locked = TemporaryName("notes", ended, "12345678");
    const std::string living = TemporaryName("sheet", getpid(), "zzzzzzzz");
    const std::vector<std::string> others = {
        ".sheet.abcdef",                                               // another program's
        "sheet.brindlet-save-" + std::to_string(ended) + "-abcdEFGH",  // not hidden
        "." + std::string("sheet.brindlet-save-") + "12-abc",          // not our letters
        TemporaryName("sheet", ended, "abcd-FGH"),                     // not our letters
        ".brindlet-save-" + std::to_string(ended) + "-abcdEFGH",       // no name
    };
    for (const std::string& name : others) {
        EXPECT_FALSE(FileAccess::IsWriterTemporaryName(name)) << name;
    }
    for (const std::string& name : {stale, locked, living}) {
        EXPECT_TRUE(FileAccess::IsWriterTemporaryName(name)) << name;
    }

    for (const std::string& name : others)
        folder.Write(name, "x");
    folder.Write(stale, "x");
    folder.Write(living, "x");
    folder.Write(locked, "x");
    folder.MakeFolder(TemporaryName("folder", ended));
    const int held = open((folder / locked).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);

    ASSERT_EQ(FileAccess::WriteAtomically(folder / "sheet", "new", 3), 0);
    std::vector<std::string> expected = others;
    expected.insert(expected.end(), {locked, living, TemporaryName("folder", ended), "sheet"});
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(folder.Names(), expected);

    // Once the writer lets go, its temporary goes with the next write.
    close(held);
    ASSERT_EQ(FileAccess::WriteAtomically(folder / "other", "new", 3), 0);
    expected.erase(std::find(expected.begin(), expected.end(), locked));
    expected.insert(std::upper_bound(expected.begin(), expected.end(), "other"), "other");
    EXPECT_EQ(folder.Names(), expected);
    EXPECT_EQ(ReadWhole(folder / "sheet"), "new");
}
