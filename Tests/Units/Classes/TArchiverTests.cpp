#include <CFTestSupport.h>
#include <FileFixtures.h>
#include <Units/Classes/TArchiverUnit.h>
#include <Units/Classes/TObjectRef.h>

#include <CoreGraphics/CGImageQt.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>

namespace {

using Archiver = TObjectRef<TArchiver>;

class TArchiverTest : public testing::Test {
protected:
    void SetUp() override
    {
        folder_ = scratch_.Path();
        ASSERT_FALSE(folder_.empty());
    }

    // A file with the given contents, and a reference to it.
    FSRef File(const std::string& name, const std::string& contents)
    {
        const std::string path = folder_ + "/" + name;
        std::ofstream(path, std::ios::binary) << contents;
        FSRef ref{};
        EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &ref, nullptr), noErr);
        return ref;
    }

    std::string Contents(const std::string& name)
    {
        std::ifstream in(folder_ + "/" + name, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }

    ScratchFolder scratch_;
    std::string folder_;
};

// A sheet-like archive with three children titled "one", "two", "three".
Archiver SheetWithChildren()
{
    Archiver sheet = Archiver::Adopt(TArchiver::Create());
    sheet->SetStringValue("system.class", "TSheet");
    for (const char* title : {"one", "two", "three"}) {
        Archiver child = Archiver::Adopt(TArchiver::Create());
        child->SetStringValue("system.class", "TTask");
        child->SetStringValue("title", title);
        sheet->AppendArchive(child.get());
    }
    return sheet;
}

}  // namespace

TEST_F(TArchiverTest, TypedValuesAndTheirDefaults)
{
    Archiver archive = Archiver::Adopt(TArchiver::Create());
    archive->SetBooleanValue("flag", true);
    archive->SetIntegerValue("count", -7);
    archive->SetFloatValue("scale", 1.5f);
    archive->SetStringValue("title", "日本語 — Grüße");
    const double stored = 2.25;
    archive->SetDataValue("bytes", sizeof stored, &stored);
    archive->SetRangeValue("selection", CFRangeMake(3, 4));
    archive->SetValue("nothing", nullptr);

    EXPECT_TRUE(archive->GetBooleanValue("flag"));
    EXPECT_EQ(archive->GetIntegerValue("count"), -7);
    EXPECT_FLOAT_EQ(archive->GetFloatValue("scale"), 1.5f);
    EXPECT_EQ(archive->GetStringValue("title"), "日本語 — Grüße");
    double read = 0;
    EXPECT_TRUE(archive->GetDataValue("bytes", &read));
    EXPECT_EQ(read, 2.25);
    CFRange range = archive->GetRangeValue("selection");
    EXPECT_EQ(range.location, 3);
    EXPECT_EQ(range.length, 4);
    EXPECT_FALSE(archive->ContainsKey("nothing"));

    // Absent keys read as the defaults.
    EXPECT_FALSE(archive->GetBooleanValue("missing"));
    EXPECT_EQ(archive->GetIntegerValue("missing"), 0);
    EXPECT_EQ(archive->GetFloatValue("missing"), 0.0f);
    EXPECT_TRUE(archive->GetStringValue("missing").IsEmpty());
    EXPECT_FALSE(archive->GetDataValue("missing", &read));
    EXPECT_EQ(archive->CopyValue("missing"), nullptr);

    // A data value is copied only into a destination of its exact size.
    char small[4];
    EXPECT_FALSE(archive->GetDataValue("bytes", small, sizeof small));
    char large[16];
    EXPECT_FALSE(archive->GetDataValue("bytes", large, sizeof large));

    // Values of the wrong kind read as absent.
    EXPECT_EQ(archive->GetIntegerValue("title"), 0);
    EXPECT_EQ(archive->GetFloatValue("title"), 0.0f);
    EXPECT_TRUE(archive->GetStringValue("count").IsEmpty());
    EXPECT_FALSE(archive->GetDataValue("title", &read));
    EXPECT_EQ(archive->CopyStringValue("count"), nullptr);
    EXPECT_TRUE(archive->GetBooleanValue("count")) << "any value but false reads true";
}

TEST_F(TArchiverTest, RectanglesAreFourFloatKeys)
{
    Archiver archive = Archiver::Adopt(TArchiver::Create());
    archive->SetRectValue("frame", CGRectMake(10.5f, -20, 300, 150.25f));
    FSRef file = File("frame.plist", "");
    ASSERT_EQ(archive->Save(file), 0);
    const std::string xml = Contents("frame.plist");
    for (const char* key : {"frame.origin.x", "frame.origin.y", "frame.size.width", "frame.size.height"})
        EXPECT_NE(xml.find(std::string("<key>") + key + "</key>"), std::string::npos) << key;

    Archiver loaded = Archiver::Adopt(TArchiver::CreateWithFile(file));
    ASSERT_EQ(loaded->Load(), 0);
    EXPECT_TRUE(CGRectEqualToRect(loaded->GetRectValue("frame"), CGRectMake(10.5f, -20, 300, 150.25f)));
    EXPECT_TRUE(CGRectEqualToRect(loaded->GetRectValue("missing"), CGRectZero));
    EXPECT_TRUE(CGPointEqualToPoint(loaded->GetPointValue("frame.origin"), CGPointMake(10.5f, -20)));
}

TEST_F(TArchiverTest, PathsReachIntoChildren)
{
    Archiver sheet = SheetWithChildren();
    EXPECT_EQ(sheet->Limit(), 2);
    auto title = static_cast<CFStringRef>(sheet->GetValue("/system.objects/0/title"));
    EXPECT_EQ(UTF8Of(title), "one");
    EXPECT_EQ(UTF8Of(static_cast<CFStringRef>(sheet->GetValue("/system.objects/2/title"))), "three");
    EXPECT_EQ(sheet->GetValue("/system.objects/5/title"), nullptr);
    EXPECT_EQ(sheet->GetValue("/system.objects/x/title"), nullptr);
    EXPECT_EQ(UTF8Of(static_cast<CFStringRef>(sheet->GetValue("/system.class"))), "TSheet");
    EXPECT_EQ(CFGetTypeID(sheet->GetValue("/system.objects/1")), CFDictionaryGetTypeID());

    // A key that begins with "/" is written as it is and read as a path.
    sheet->SetStringValue("/literal", "value");
    EXPECT_TRUE(sheet->ContainsKey("/literal"));
    EXPECT_EQ(sheet->GetValue("/literal"), nullptr);

    Archiver child = Archiver::Adopt(sheet->CopyArchive("/system.objects/1"));
    ASSERT_TRUE(child);
    EXPECT_EQ(child->GetStringValue("title"), "two");
}

TEST_F(TArchiverTest, ChildArchivesAreIndependentCopiesWithTheContext)
{
    Archiver sheet = SheetWithChildren();
    int context = 0;
    sheet->SetContext(&context);
    Archiver child = Archiver::Adopt(sheet->CopyArchive(1));
    ASSERT_TRUE(child);
    EXPECT_EQ(child->GetContext(), &context);
    child->SetStringValue("title", "changed");
    EXPECT_EQ(UTF8Of(static_cast<CFStringRef>(sheet->GetValue("/system.objects/1/title"))), "two");
    EXPECT_EQ(sheet->CopyArchive(3), nullptr);
    EXPECT_EQ(sheet->CopyArchive(-1), nullptr);

    Archiver empty = Archiver::Adopt(TArchiver::Create());
    EXPECT_EQ(empty->Limit(), -1);
    EXPECT_EQ(empty->CopyArchive(0), nullptr);
}

TEST_F(TArchiverTest, LoadAppendAndSaveKeepsTheOrder)
{
    FSRef file = File("sheet.brproj", "");
    ASSERT_EQ(SheetWithChildren()->Save(file), 0);

    Archiver sheet = Archiver::Adopt(TArchiver::CreateWithFile(file));
    ASSERT_EQ(sheet->Load(), 0);
    Archiver added = Archiver::Adopt(TArchiver::Create());
    added->SetStringValue("title", "four");
    sheet->AppendArchive(added.get());
    ASSERT_EQ(sheet->Save(), 0);

    Archiver reloaded = Archiver::Adopt(TArchiver::CreateWithFile(file));
    ASSERT_EQ(reloaded->Load(), 0);
    ASSERT_EQ(reloaded->Limit(), 3);
    const char* titles[] = {"one", "two", "three", "four"};
    for (SInt32 i = 0; i <= reloaded->Limit(); ++i) {
        Archiver child = Archiver::Adopt(reloaded->CopyArchive(i));
        EXPECT_EQ(child->GetStringValue("title"), titles[i]);
    }
}

// Replacing the child list by hand (a list read from elsewhere, an
// immutable one) never lets a later append land in a list that is gone or
// go missing: the allocator is free to put the new list where the old one was.
TEST_F(TArchiverTest, AppendingAfterTheChildListWasReplacedKeepsTheChild)
{
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        Archiver parent = Archiver::Adopt(TArchiver::Create()), child = Archiver::Adopt(TArchiver::Create());
        parent->AppendArchive(child.get());
        CFRef<CFArrayRef> replacement(CFArrayCreate(nullptr, nullptr, 0, &kCFTypeArrayCallBacks));
        parent->SetValue("system.objects", replacement);
        replacement = CFRef<CFArrayRef>();
        CFRef<CFArrayRef> sameSize(CFArrayCreate(nullptr, nullptr, 0, &kCFTypeArrayCallBacks));
        parent->SetValue("system.objects", sameSize);
        parent->AppendArchive(child.get());
        EXPECT_EQ(parent->Limit(), 0);
        EXPECT_EQ(CFArrayGetCount(sameSize), 0) << "the caller's list is not changed";
    }
}

TEST_F(TArchiverTest, FilesThatAreNotArchives)
{
    struct Case {
        const char* name;
        std::string contents;
    } cases[] = {
        {"not a property list", "\x89PNG\r\n garbage <<<"},
        {"an array at the root", "<plist><array><string>x</string></array></plist>"},
        {"a string at the root", "<plist><string>x</string></plist>"},
        {"cut short", "<plist><dict><key>a</key><string>x"},
    };
    for (const Case& c : cases) {
        FSRef file = File("broken.brproj", c.contents);
        Archiver archive = Archiver::Adopt(TArchiver::CreateWithFile(file));
        archive->SetStringValue("before", "load");
        EXPECT_EQ(archive->Load(), -43) << c.name;
        EXPECT_EQ(archive->Count(), 0) << c.name;
        // The empty archive can be filled and saved.
        archive->SetStringValue("title", "fresh");
        EXPECT_EQ(archive->Save(), 0) << c.name;
        Archiver again = Archiver::Adopt(TArchiver::CreateWithFile(file));
        EXPECT_EQ(again->Load(), 0) << c.name;
        EXPECT_EQ(again->GetStringValue("title"), "fresh") << c.name;
    }
}

TEST_F(TArchiverTest, WrongKindsInAFileReadAsDefaults)
{
    FSRef file = File("odd.brproj", "<plist><dict>"
                                    "<key>system.objects</key><string>not a list</string>"
                                    "<key>frame.origin.x</key><string>12</string>"
                                    "<key>frame.origin.y</key><real>4.5</real>"
                                    "<key>count</key><real>3.75</real>"
                                    "</dict></plist>");
    Archiver archive = Archiver::Adopt(TArchiver::CreateWithFile(file));
    ASSERT_EQ(archive->Load(), 0);
    EXPECT_EQ(archive->Limit(), -1);
    EXPECT_EQ(archive->CopyArchive(0), nullptr);
    EXPECT_EQ(archive->GetValue("/system.objects/0/title"), nullptr);
    CGPoint origin = archive->GetPointValue("frame.origin");
    EXPECT_EQ(origin.x, 0.0f);
    EXPECT_EQ(origin.y, 4.5f);
    EXPECT_EQ(archive->GetIntegerValue("count"), 3) << "a real read as an integer is truncated";

    // Appending replaces the bad list with a real one.
    Archiver child = Archiver::Adopt(TArchiver::Create());
    archive->AppendArchive(child.get());
    EXPECT_EQ(archive->Limit(), 0);

    FSRef mixed =
        File("mixed.brproj", "<plist><dict><key>system.objects</key><array>"
                             "<string>not a child</string><dict><key>title</key><string>real child</string></dict>"
                             "</array></dict></plist>");
    Archiver children = Archiver::Adopt(TArchiver::CreateWithFile(mixed));
    ASSERT_EQ(children->Load(), 0);
    EXPECT_EQ(children->Limit(), 1);
    EXPECT_EQ(children->CopyArchive(0), nullptr);
    Archiver second = Archiver::Adopt(children->CopyArchive(1));
    ASSERT_TRUE(second);
    EXPECT_EQ(second->GetStringValue("title"), "real child");
}

TEST_F(TArchiverTest, MissingFilesAndFolders)
{
    FSRef none{};
    Archiver archive = Archiver::Adopt(TArchiver::CreateWithFile(none));
    EXPECT_EQ(archive->Load(), -43);
    testing::internal::CaptureStdout();
    EXPECT_EQ(archive->Save(), -43);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Warning: TArchiver.Save failed to find property list.\n");

    // A file whose folder has gone since the reference was made.
    FSRef file = File("gone.brproj", "");
    std::filesystem::remove_all(folder_);
    Archiver sheet = SheetWithChildren();
    EXPECT_NE(sheet->Save(file), 0);
    Archiver reader = Archiver::Adopt(TArchiver::CreateWithFile(file));
    reader->SetStringValue("kept", "yes");
    EXPECT_EQ(reader->Load(), -43);
    EXPECT_EQ(reader->GetStringValue("kept"), "yes") << "an unreadable file keeps the current contents";
}

TEST_F(TArchiverTest, SavingWhereAFolderIsFails)
{
    const std::string path = folder_ + "/sheet.brproj";
    ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
    FSRef ref{};
    ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &ref, nullptr), noErr);
    EXPECT_NE(SheetWithChildren()->Save(ref), 0) << "nothing was written";
}

TEST_F(TArchiverTest, ImagesAreStoredAsPNG)
{
    QImage pixels(4, 3, QImage::Format_RGBA8888);
    pixels.fill(QColor(10, 200, 30, 255));
    CFRef<CGImageRef> image(CGImageCreateWithQImage(pixels));
    Archiver archive = Archiver::Adopt(TArchiver::Create());
    archive->SetImageValue("image", image);
    auto data = static_cast<CFDataRef>(archive->GetValue("image"));
    ASSERT_EQ(CFGetTypeID(data), CFDataGetTypeID());
    EXPECT_EQ(BytesOf(data).substr(0, 4), "\x89PNG");
    CFRef<CGImageRef> back(archive->CopyImageValue("image"));
    ASSERT_TRUE(back);
    EXPECT_EQ(CGImageGetWidth(back), 4u);
    EXPECT_EQ(CGImageGetQImage(back).pixelColor(1, 1), QColor(10, 200, 30, 255));

    archive->SetDataValue("not an image", 5, "hello");
    EXPECT_EQ(archive->CopyImageValue("not an image"), nullptr);
    EXPECT_EQ(archive->CopyImageValue("missing"), nullptr);
}
