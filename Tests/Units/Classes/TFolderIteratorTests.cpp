#include <FileFixtures.h>
#include <Units/Classes/TFolderIteratorUnit.h>
#include <Units/Classes/TObjectRef.h>

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

// The paths of a list of FSRef blocks, relative to `root`.
std::vector<std::string> Relative(TPointerArray* files, const ScratchFolder& root)
{
    std::vector<std::string> paths;
    for (void* block : *files) {
        const auto* ref = static_cast<const FSRef*>(block);
        paths.push_back(std::string(ref->path).substr(root.Path().size() + 1));
    }
    return paths;
}

// The fixture every walk test shares: a file, a hidden file, a folder with
// a file, a hidden folder, a package, and a link back to the root.
void MakeFixture(const ScratchFolder& root)
{
    root.Write("a.txt", "a");
    root.Write(".hidden", "");
    root.Write("Sub/b.txt", "b");
    root.Write(".dot/inside.txt", "");
    root.Write("Tool.app/Contents/Info.plist", "");
    root.MakeLink("Loop", root.Path());
}

// Records every hook call as "hook name data depth path".
class TRecordingIterator : public TFolderIterator {
    BRINDLET_CLASS(TRecordingIterator, TFolderIterator)

public:
    static TRecordingIterator* Create(const FSRef& folder, SInt16 maxDepth, TPointerArray*& files,
                                      std::string cancelAfter = "")
    {
        pendingCancel = std::move(cancelAfter);
        return CreateIterator<TRecordingIterator>(folder, maxDepth, files);
    }

    SInt32 GotFolder(const FSRef& folder, SInt32 data) override { return Note("folder", folder, data); }
    SInt32 GotFile(const FSRef& file, SInt32 data) override { return Note("file", file, data); }

    std::vector<std::string> calls;

protected:
    TRecordingIterator() : cancelAfter_(pendingCancel) {}

private:
    SInt32 Note(const char* hook, const FSRef& item, SInt32 data)
    {
        const std::string name(FSGetActualName(item).View());
        calls.push_back(std::string(hook) + " " + name + " " + std::to_string(data) + " " +
                        std::to_string(State().depth) + " " + std::string(State().path.View()));
        if (name == cancelAfter_)
            SetUserCanceled(true);
        return static_cast<SInt32>(calls.size()) * 10;
    }

    static inline std::string pendingCancel;
    std::string cancelAfter_;
};

BRINDLET_DEFINE_CLASS(TRecordingIterator, TFolderIterator)

}  // namespace

TEST(TFolderIterator, ListsEveryItemInCatalogOrderAndEntersOnlyFolders)
{
    ScratchFolder root;
    MakeFixture(root);
    const auto files = TObjectRef<TPointerArray>::Adopt(FSCopyFolderFiles(root.Ref()));
    ASSERT_NE(files, nullptr);
    // Hidden items are listed but not entered; the package and the link are
    // single items; the folder's items follow its own block.
    EXPECT_EQ(Relative(files, root),
              (std::vector<std::string>{".dot", ".hidden", "a.txt", "Loop", "Sub", "Sub/b.txt", "Tool.app"}));
    for (void* block : *files)
        EXPECT_EQ(GetPtrSize(static_cast<Ptr>(block)), static_cast<Size>(sizeof(FSRef)));

    const FSRef package = root.Ref("Tool.app");
    EXPECT_FALSE(FSIsFolder(package));
    EXPECT_TRUE(FSIsApplication(package));

    for (const FSRef& notAFolder : {root.Ref("a.txt"), FSRef{}}) {
        const auto none = TObjectRef<TPointerArray>::Adopt(FSCopyFolderFiles(notAFolder));
        ASSERT_NE(none, nullptr);
        EXPECT_EQ(none->Count(), 0);
    }
}

TEST(TFolderIterator, DepthLimits)
{
    ScratchFolder root;
    root.Write("A/B/C/D/deep.txt", "");
    struct Case {
        SInt16 maxDepth;
        std::vector<std::string> paths;
    } cases[] = {
        {0, {"A"}},
        {1, {"A", "A/B", "A/B/C"}},
        {2, {"A", "A/B", "A/B/C", "A/B/C/D"}},
        {32767, {"A", "A/B", "A/B/C", "A/B/C/D", "A/B/C/D/deep.txt"}},
    };
    for (const Case& c : cases) {
        TPointerArray* filesOut = nullptr;
        auto iterator = TObjectRef<TFolderIterator>::Adopt(TFolderIterator::Create(root.Ref(), c.maxDepth, filesOut));
        const auto files = TObjectRef<TPointerArray>::Adopt(filesOut);
        EXPECT_EQ(Relative(files, root), c.paths) << c.maxDepth;
        EXPECT_EQ(iterator->State().count, static_cast<SInt16>(c.paths.size()));
        EXPECT_EQ(iterator->State().depth, 0);
        iterator.Reset();
    }
}

TEST(TFolderIterator, HooksSeeVisibleItemsWithTheirFolderData)
{
    ScratchFolder root;
    MakeFixture(root);
    TPointerArray* filesOut = nullptr;
    auto iterator = TObjectRef<TRecordingIterator>::Adopt(TRecordingIterator::Create(root.Ref(), 32767, filesOut));
    const auto files = TObjectRef<TPointerArray>::Adopt(filesOut);
    // No hook for hidden items; a folder's answer is its items' data.
    EXPECT_EQ(iterator->calls, (std::vector<std::string>{
                                   "file a.txt 0 0 ",
                                   "file Loop 0 0 ",
                                   "folder Sub 0 0 ",
                                   "file b.txt 30 1 /Sub",
                                   "file Tool.app 0 0 ",
                               }));
    EXPECT_EQ(iterator->Files(), files);
    iterator.Reset();
    // The list belongs to the caller and outlives the iterator.
    EXPECT_EQ(files->Count(), 7);
}

TEST(TFolderIterator, CancellingStopsAfterTheItemAtHand)
{
    ScratchFolder root;
    root.Write("A/x.txt", "");
    root.Write("A/y.txt", "");
    root.Write("B/z.txt", "");
    root.Write("c.txt", "");
    TPointerArray* filesOut = nullptr;
    auto iterator =
        TObjectRef<TRecordingIterator>::Adopt(TRecordingIterator::Create(root.Ref(), 32767, filesOut, "x.txt"));
    const auto files = TObjectRef<TPointerArray>::Adopt(filesOut);
    EXPECT_TRUE(iterator->UserCanceled());
    EXPECT_EQ(Relative(files, root), (std::vector<std::string>{"A", "A/x.txt"}));
    iterator.Reset();
}

TEST(TFolderIterator, WalksATreeAsDeepAsAPathCanReach)
{
    // A folder tree is outside data: one nested as deep as a path allows
    // must be walked whole, not end the program.
    ScratchFolder root;
    const size_t levels = (PATH_MAX - 1 - root.Path().size()) / 2;
    std::string path = root.Path();
    for (size_t i = 0; i < levels; ++i) {
        path += "/d";
        ASSERT_EQ(mkdir(path.c_str(), 0700), 0) << i;
    }
    const auto files = TObjectRef<TPointerArray>::Adopt(FSCopyFolderFiles(root.Ref()));
    ASSERT_NE(files, nullptr);
    EXPECT_EQ(files->Count(), static_cast<SInt32>(levels));
}
