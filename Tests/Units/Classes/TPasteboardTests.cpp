#include <CFTestSupport.h>
#include <QtTestApplication.h>
#include <Units/Classes/TObjectRef.h>
#include <Units/Classes/TPasteboardUnit.h>

#include <Support/Diagnostics.h>

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

testing::Environment* const gGuiApplication = AddQtTestApplication<QGuiApplication>("TPasteboard");

std::string PNGBytes()
{
    QImage image(2, 2, QImage::Format_ARGB32);
    image.fill(QColor(0, 0, 255));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

// The bytes of a memory block, which must be exactly as long as they are.
std::string BlockText(Ptr block)
{
    return block ? std::string(block, static_cast<size_t>(GetPtrSize(block))) : std::string("<nil>");
}

std::vector<std::string> FlavorsOf(PasteboardRef pasteboard, PasteboardItemID item)
{
    CFArrayRef raw = nullptr;
    std::vector<std::string> flavors;
    if (PasteboardCopyItemFlavors(pasteboard, item, &raw) != noErr)
        return flavors;
    CFRef<CFArrayRef> types(raw);
    for (CFIndex i = 0; i < CFArrayGetCount(types); ++i)
        flavors.push_back(UTF8Of(static_cast<CFStringRef>(CFArrayGetValueAtIndex(types, i))));
    return flavors;
}

class PasteboardTest : public testing::Test {
protected:
    void SetUp() override
    {
        QGuiApplication::clipboard()->clear();
        Err = noErr;
        pasteboard_ = TPasteboard::CreateClipboard();
        ASSERT_EQ(Err, noErr);
        ASSERT_NE(pasteboard_->GetPasteboardRef(), nullptr);
    }
    void TearDown() override { ReleaseObject(pasteboard_); }

    ItemCount Count() const
    {
        ItemCount count = 0;
        PasteboardGetItemCount(pasteboard_->GetPasteboardRef(), &count);
        return count;
    }

    TPasteboard* pasteboard_ = nullptr;
};

TEST_F(PasteboardTest, TwoPutsMakeOneItemWithBothFlavours)
{
    const std::string text = "Einkaufsliste: Äpfel";
    const std::string card("\x01\0"
                           "card",
                           6);
    ASSERT_EQ(pasteboard_->Clear(), noErr);
    EXPECT_EQ(Err, noErr);
    Diagnostics::Capture capture;
    pasteboard_->PutFlavor(text.data(), static_cast<Size>(text.size()), ShortString("public.utf8-plain-text"), 0);
    pasteboard_->PutFlavor(MakeData(card), CFSTR("com.orvandel.brindlet.card"), 0);
    EXPECT_TRUE(capture.Lines().empty()) << capture.Text();

    ASSERT_EQ(Count(), 1u);
    PasteboardItemID item = nullptr;
    ASSERT_TRUE(pasteboard_->ContainsFlavor(CFSTR("com.orvandel.brindlet.card"), item));
    EXPECT_EQ(item, kTPasteboardItem);
    EXPECT_EQ(FlavorsOf(pasteboard_->GetPasteboardRef(), item),
              (std::vector<std::string>{"public.utf8-plain-text", "com.orvandel.brindlet.card"}));

    Ptr block = pasteboard_->CopyFlavor(1, CFSTR("com.orvandel.brindlet.card"));
    EXPECT_EQ(BlockText(block), card);
    DisposePtr(block);
    block = pasteboard_->CopyFlavor(ShortString("public.utf8-plain-text"));
    EXPECT_EQ(BlockText(block), text);
    DisposePtr(block);
    CFRef<CFDataRef> data(pasteboard_->CopyFlavorData(1, CFSTR("public.utf8-plain-text")));
    EXPECT_EQ(BytesOf(data), text);

    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), text) << "other programs read our text";
}

TEST_F(PasteboardTest, AnImageIsFoundByItsGeneralKind)
{
    const std::string png = PNGBytes();
    ASSERT_EQ(pasteboard_->Clear(), noErr);
    pasteboard_->PutFlavor(png.data(), static_cast<Size>(png.size()), CFSTR("public.png"), 0);

    EXPECT_TRUE(pasteboard_->ContainsFlavor(ShortString("public.image")));
    EXPECT_TRUE(pasteboard_->ContainsFlavor(CFSTR("public.data")));
    EXPECT_FALSE(pasteboard_->ContainsFlavor(CFSTR("public.text")));
    EXPECT_FALSE(pasteboard_->ContainsFlavor(CFSTR("public.jpeg")));

    // What was found is what is copied: the PNG stands for public.image.
    Diagnostics::Capture capture;
    Ptr block = pasteboard_->CopyFlavor(CFSTR("public.image"));
    EXPECT_EQ(BlockText(block), png);
    DisposePtr(block);
    EXPECT_TRUE(capture.Lines().empty()) << capture.Text();
    // The index form asks for exactly the flavour named.
    EXPECT_EQ(pasteboard_->CopyFlavor(1, CFSTR("public.image")), nullptr);
    EXPECT_EQ(Err, badPasteboardFlavorErr);
}

TEST_F(PasteboardTest, MissingFlavoursWarnAndAnswerNil)
{
    Diagnostics::Capture capture;
    PasteboardItemID item = kTPasteboardItem;
    EXPECT_FALSE(pasteboard_->ContainsFlavor(CFSTR("public.utf8-plain-text"), item));
    EXPECT_EQ(item, nullptr);
    EXPECT_EQ(pasteboard_->CopyFlavor(CFSTR("public.utf8-plain-text")), nullptr);
    EXPECT_EQ(pasteboard_->CopyFlavor(ShortString("com.orvandel.brindlet.card")), nullptr);
    EXPECT_EQ(pasteboard_->CopyFlavor(1, CFSTR("public.png")), nullptr);
    EXPECT_EQ(Err, badPasteboardIndexErr);
    EXPECT_EQ(pasteboard_->CopyFlavorData(0, CFSTR("public.png")), nullptr);
    EXPECT_EQ(capture.Lines(), (std::vector<std::string>{
                                   "Warning: The flavor public.utf8-plain-text does not exist.",
                                   "Warning: The flavor com.orvandel.brindlet.card does not exist.",
                                   "Warning: The flavor public.png at index 1 does not exist.",
                                   "Warning: The flavor public.png at index 0 does not exist.",
                               }));

    // An item without the flavour answers nil without a warning.
    capture.Clear();
    QGuiApplication::clipboard()->setText(QStringLiteral("plain"));
    EXPECT_EQ(pasteboard_->CopyFlavorData(1, CFSTR("public.png")), nullptr);
    EXPECT_EQ(Err, badPasteboardFlavorErr);
    EXPECT_TRUE(capture.Lines().empty()) << capture.Text();
}

TEST_F(PasteboardTest, FailedPutsWarnWithTheirStatus)
{
    Diagnostics::Capture capture;
    pasteboard_->PutFlavor(CFDataRef(MakeData("x")), CFSTR("public.data"), 0);
    EXPECT_EQ(Err, notPasteboardOwnerErr) << "a put needs a Clear first";
    ASSERT_EQ(pasteboard_->Clear(), noErr);
    pasteboard_->PutFlavor("abc", 3, ShortString("public.data"), 0);
    pasteboard_->PutFlavor("def", 3, ShortString("public.data"), 0);
    EXPECT_EQ(Err, duplicatePasteboardFlavorErr);
    pasteboard_->PutFlavor(nullptr, 4, CFSTR("public.text"), 0);
    pasteboard_->PutFlavor("abc", -1, CFSTR("public.text"), 0);
    EXPECT_EQ(Err, paramErr);
    EXPECT_EQ(capture.Lines(), (std::vector<std::string>{
                                   "Warning: PasteboardPutItemFlavor error -25135",
                                   "Warning: PasteboardPutItemFlavor error -25134",
                                   "Warning: PasteboardPutItemFlavor error -50",
                                   "Warning: PasteboardPutItemFlavor error -50",
                               }));
    Ptr block = pasteboard_->CopyFlavor(CFSTR("public.data"));
    EXPECT_EQ(BlockText(block), "abc");
    DisposePtr(block);

    pasteboard_->PutFlavor("", 0, CFSTR("public.text"), 0);
    block = pasteboard_->CopyFlavor(CFSTR("public.text"));
    ASSERT_NE(block, nullptr) << "empty data is data";
    EXPECT_EQ(GetPtrSize(block), 0);
    DisposePtr(block);
}

TEST_F(PasteboardTest, TextFromQtIsFoundAsUTF8Text)
{
    QGuiApplication::clipboard()->setText(QStringLiteral("aus Qt: ✓"));
    for (const char* kind : {"public.utf8-plain-text", "public.plain-text", "public.text"})
        EXPECT_TRUE(pasteboard_->ContainsFlavor(CFSTR(kind))) << kind;
    Ptr block = pasteboard_->CopyFlavor(CFSTR("public.utf8-plain-text"));
    EXPECT_EQ(BlockText(block), "aus Qt: ✓");
    DisposePtr(block);
}

TEST_F(PasteboardTest, TheLastItemWithTheFlavourIsReported)
{
    ASSERT_EQ(pasteboard_->Clear(), noErr);
    PasteboardRef ref = pasteboard_->GetPasteboardRef();
    pasteboard_->PutFlavor("one", 3, CFSTR("public.utf8-plain-text"), 0);
    auto item = [](uintptr_t n) { return reinterpret_cast<PasteboardItemID>(n); };
    ASSERT_EQ(PasteboardPutItemFlavor(ref, item(2), CFSTR("public.html"), MakeData("<p>two</p>"), 0), noErr);
    ASSERT_EQ(PasteboardPutItemFlavor(ref, item(3), CFSTR("public.png"), MakeData("png"), 0), noErr);

    PasteboardItemID found = nullptr;
    ASSERT_TRUE(pasteboard_->ContainsFlavor(CFSTR("public.text"), found));
    EXPECT_EQ(found, item(2)) << "both text items match; the later one counts";
    Ptr block = pasteboard_->CopyFlavor(CFSTR("public.text"));
    EXPECT_EQ(BlockText(block), "<p>two</p>");
    DisposePtr(block);
    block = pasteboard_->CopyFlavor(2, CFSTR("public.html"));
    EXPECT_EQ(BlockText(block), "<p>two</p>");
    DisposePtr(block);
}

// The short-string forms go through the virtual table, so a subclass that
// overrides the platform-string forms sees every call.
class RecordingPasteboard : public TPasteboard {
    BRINDLET_CLASS(RecordingPasteboard, TPasteboard)

public:
    static RecordingPasteboard* Create()
    {
        RecordingPasteboard* pasteboard = Allocate();
        pasteboard->RequestInitialization();
        return pasteboard;
    }

    using TPasteboard::ContainsFlavor;
    using TPasteboard::CopyFlavor;
    using TPasteboard::PutFlavor;
    void PutFlavor(const void*, Size, CFStringRef flavor, PasteboardFlavorFlags) override { Record("put", flavor); }
    Ptr CopyFlavor(CFStringRef flavor) override
    {
        Record("copy", flavor);
        return nullptr;
    }
    bool ContainsFlavor(CFStringRef flavor) override
    {
        Record("contains", flavor);
        return false;
    }

    std::vector<std::string> calls;

protected:
    RecordingPasteboard() = default;

private:
    void Record(const char* what, CFStringRef flavor) { calls.push_back(std::string(what) + " " + UTF8Of(flavor)); }
};
BRINDLET_DEFINE_CLASS(RecordingPasteboard, TPasteboard)

TEST(TPasteboardClass, ShortStringFormsCallThePlatformStringForms)
{
    const auto pasteboard = TObjectRef<RecordingPasteboard>::Adopt(RecordingPasteboard::Create());
    pasteboard->PutFlavor("x", 1, ShortString("public.data"), 0);
    pasteboard->CopyFlavor(ShortString("public.png"));
    pasteboard->ContainsFlavor(ShortString("public.tiff"));
    EXPECT_EQ(pasteboard->calls,
              (std::vector<std::string>{"put public.data", "copy public.png", "contains public.tiff"}));
}

TEST(TPasteboardClass, IsRegisteredAndShowsEveryFlavour)
{
    EXPECT_EQ(FindClass("TPasteboard"), &TPasteboard::StaticClass());
    const auto byName = TObjectRef<TObject>::Adopt(AllocateClass("TPasteboard"));
    ASSERT_NE(byName, nullptr);
    byName->RequestInitialization();
    EXPECT_NE(static_cast<TPasteboard*>(byName.get())->GetPasteboardRef(), nullptr) << "made by name, it works too";

    QGuiApplication::clipboard()->clear();
    const auto pasteboard = TObjectRef<TPasteboard>::Adopt(TPasteboard::CreateClipboard());
    ASSERT_EQ(pasteboard->Clear(), noErr);
    pasteboard->PutFlavor("a", 1, CFSTR("public.utf8-plain-text"), 0);
    pasteboard->PutFlavor("b", 1, CFSTR("com.orvandel.brindlet.card"), 0);
    testing::internal::CaptureStderr();
    pasteboard->Show();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "public.utf8-plain-text\ncom.orvandel.brindlet.card\n");
}

}  // namespace
