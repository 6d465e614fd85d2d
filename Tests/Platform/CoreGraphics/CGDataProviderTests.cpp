// Data providers: the caller's block read in place and given back once,
// data objects copied, files read whole and only when they can be images.
#include <CFTestSupport.h>
#include <FileFixtures.h>
#include <StalledFifo.h>

#include <CoreGraphics/CoreGraphics.h>
#include <Support/Diagnostics.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Released {
    int calls = 0;
    const void* data = nullptr;
    size_t size = 0;
};

void NoteRelease(void* info, const void* data, size_t size)
{
    auto* released = static_cast<Released*>(info);
    ++released->calls;
    released->data = data;
    released->size = size;
}

std::string CopiedBytes(CGDataProviderRef provider)
{
    CFRef<CFDataRef> data(CGDataProviderCopyData(provider));
    return data ? BytesOf(data) : "<nil>";
}

}  // namespace

TEST(CGDataProvider, TheCallersBlockIsReadInPlaceAndGivenBackOnce)
{
    static const char bytes[] = "PNG\r\n";
    Released released;
    CGDataProviderRef provider = CGDataProviderCreateWithData(&released, bytes, 5, NoteRelease);
    ASSERT_NE(provider, nullptr);
    EXPECT_EQ(CFGetTypeID(provider), CGDataProviderGetTypeID());
    EXPECT_EQ(CopiedBytes(provider), std::string(bytes, 5));

    EXPECT_EQ(CGDataProviderRetain(provider), provider);
    CGDataProviderRelease(provider);
    EXPECT_EQ(released.calls, 0) << "still held";
    CGDataProviderRelease(provider);
    EXPECT_EQ(released.calls, 1);
    EXPECT_EQ(released.data, bytes);
    EXPECT_EQ(released.size, 5u);

    // Without a block there is nothing to read, and without a callback
    // nothing to call.
    CFRef<CGDataProviderRef> empty(CGDataProviderCreateWithData(nullptr, nullptr, 10, nullptr));
    ASSERT_TRUE(empty);
    EXPECT_EQ(CopiedBytes(empty), "");
}

TEST(CGDataProvider, DataObjectsAreCopiedSoLaterEditsDoNotReachTheImage)
{
    CFRef<CFMutableDataRef> data(CFDataCreateMutable(nullptr, 0));
    CFDataAppendBytes(data, reinterpret_cast<const UInt8*>("abc"), 3);
    CFRef<CGDataProviderRef> provider(CGDataProviderCreateWithCFData(data));
    ASSERT_TRUE(provider);
    CFDataAppendBytes(data, reinterpret_cast<const UInt8*>("def"), 3);
    CFDataGetMutableBytePtr(data)[0] = 'X';
    EXPECT_EQ(CopiedBytes(provider), "abc");

    EXPECT_EQ(CGDataProviderCreateWithCFData(nullptr), nullptr);
    EXPECT_EQ(CGDataProviderCreateWithCFData(static_cast<CFDataRef>(static_cast<const void*>(CFSTR("abc")))), nullptr);
}

TEST(CGDataProvider, FilesAreReadWholeOnlyWhenTheyCanBeImages)
{
    ScratchFolder folder;
    folder.Write("image.png", std::string("\x89PNG\0\x01", 6));
    folder.MakeFolder("Folder");
    StalledFifo fifo(folder / "pipe.png");
    ASSERT_TRUE(fifo.Made());
    {
        // Larger than any image we read; sparse, so it costs no disk.
        std::ofstream(folder / "huge.png");
        std::filesystem::resize_file(folder / "huge.png", (size_t(64) << 20) + 1);
    }
    struct Row {
        const char* label;
        std::string path;
        bool read;
        bool warns;
    };
    const Row rows[] = {
        {"a file", folder / "image.png", true, false},
        {"a missing file", folder / "none.png", false, false},
        {"a folder", folder / "Folder", false, false},
        {"a named pipe, refused at once", fifo.Path(), false, true},
        {"a file larger than any image", folder / "huge.png", false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        for (bool byURL : {false, true}) {
            SCOPED_TRACE(byURL ? "by URL" : "by name");
            Diagnostics::Capture capture;
            CFRef<CGDataProviderRef> provider;
            if (byURL) {
                CFRef<CFURLRef> url(CFURLCreateFromFileSystemRepresentation(
                    nullptr, reinterpret_cast<const UInt8*>(row.path.c_str()), CFIndex(row.path.size()), false));
                provider.Reset(CGDataProviderCreateWithURL(url));
            } else {
                provider.Reset(CGDataProviderCreateWithFilename(row.path.c_str()));
            }
            EXPECT_EQ(bool(provider), row.read);
            if (row.read) {
                EXPECT_EQ(CopiedBytes(provider), std::string("\x89PNG\0\x01", 6));
            }
            ASSERT_EQ(capture.Lines().size(), row.warns ? 1u : 0u);
            if (row.warns) {
                EXPECT_NE(capture.Lines()[0].find(row.path), std::string::npos) << capture.Lines()[0];
            }
        }
    }

    EXPECT_EQ(CGDataProviderCreateWithFilename(nullptr), nullptr);
    EXPECT_EQ(CGDataProviderCreateWithURL(nullptr), nullptr);
    CFRef<CFURLRef> web(CFURLCreateWithString(nullptr, CFSTR("https://example.org/image.png"), nullptr));
    EXPECT_EQ(CGDataProviderCreateWithURL(web), nullptr);
}

TEST(CGDataProvider, NilAndForeignValuesCopyNothing)
{
    EXPECT_EQ(CGDataProviderCopyData(nullptr), nullptr);
    EXPECT_EQ(CGDataProviderCopyData(static_cast<CGDataProviderRef>(static_cast<const void*>(CFSTR("x")))), nullptr);
    CGDataProviderRelease(nullptr);
    EXPECT_EQ(CGDataProviderRetain(nullptr), nullptr);
}
