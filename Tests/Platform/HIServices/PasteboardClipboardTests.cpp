// The clipboard pasteboard over QClipboard (offscreen: the clipboard of
// this process). "Another program" is played by QClipboard itself: data set
// through it is foreign to the pasteboard, exactly as what another program
// offers arrives as a QMimeData of formats.
#include "PasteboardTestSupport.h"
#include <QtTestApplication.h>

#include <CarbonCore/MacErrors.h>

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace {

testing::Environment* const gGuiApplication = AddQtTestApplication<QGuiApplication>("Pasteboard");

using Summary = std::vector<std::string>;

std::string PNGOf(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

QImage RedImage()
{
    QImage image(4, 3, QImage::Format_ARGB32);
    image.fill(QColor(255, 0, 0));
    return image;
}

// What another program would receive: every offered format, as bytes.
QMimeData* CopyAsOtherProgramSees(const QMimeData* source)
{
    auto* copy = new QMimeData;
    for (const QString& format : source->formats())
        copy->setData(format, source->data(format));
    return copy;
}

class Clipboard : public testing::Test {
protected:
    void SetUp() override
    {
        clipboard_ = QGuiApplication::clipboard();
        clipboard_->clear();
        pasteboard_ = MakePasteboard(kPasteboardClipboard);
        ASSERT_TRUE(pasteboard_);
    }

    void Put(uintptr_t item, const char* flavor, const std::string& bytes, PasteboardFlavorFlags flags = 0)
    {
        ASSERT_EQ(PasteboardPutItemFlavor(pasteboard_, ItemID(item), CFSTR(flavor), MakeData(bytes), flags), noErr)
            << flavor;
    }

    QClipboard* clipboard_ = nullptr;
    CFRef<PasteboardRef> pasteboard_;
};

TEST_F(Clipboard, EmptyClipboardHasNoItems)
{
    EXPECT_TRUE(ItemsOf(pasteboard_).empty());
    PasteboardItemID item = nullptr;
    EXPECT_EQ(PasteboardGetItemIdentifier(pasteboard_, 1, &item), badPasteboardIndexErr);
}

TEST_F(Clipboard, OurTextIsQtsText)
{
    ASSERT_EQ(PasteboardClear(pasteboard_), noErr);
    Put(1, "public.utf8-plain-text", "Grüße ✓");
    EXPECT_EQ(clipboard_->text(), QStringLiteral("Grüße ✓"));
    const QStringList formats = clipboard_->mimeData()->formats();
    EXPECT_TRUE(formats.contains("text/plain;charset=utf-8")) << formats.join(' ').toStdString();
    EXPECT_TRUE(formats.contains("text/plain")) << "the type X11's UTF8_STRING stands for";
    EXPECT_EQ(clipboard_->mimeData()->data("text/plain").toStdString(), "Grüße ✓");
}

TEST_F(Clipboard, QtsTextIsOneItemOfUTF8Text)
{
    ASSERT_EQ(PasteboardClear(pasteboard_), noErr);
    clipboard_->setText(QStringLiteral("Grüße ✓"));
    const auto items = ItemsOf(pasteboard_);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].id, kPasteboardForeignItem);
    EXPECT_EQ(items[0].flavors, Summary{"public.utf8-plain-text"});
    EXPECT_EQ(FlavorBytes(pasteboard_, kPasteboardForeignItem, "public.utf8-plain-text"), "Grüße ✓");

    EXPECT_EQ(PasteboardSynchronize(pasteboard_), kPasteboardModified) << "modified, and no longer ours";
    EXPECT_EQ(PasteboardPutItemFlavor(pasteboard_, ItemID(1), CFSTR("public.png"), MakeData("x"), 0),
              notPasteboardOwnerErr);
}

TEST_F(Clipboard, QtsImageIsOfferedAsPNGAndTIFF)
{
    clipboard_->setImage(RedImage());
    const auto items = ItemsOf(pasteboard_);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].flavors, (Summary{"public.png", "public.tiff"}));
    for (const char* flavor : {"public.png", "public.tiff"}) {
        PasteboardFlavorFlags flags = 0;
        EXPECT_EQ(PasteboardGetItemFlavorFlags(pasteboard_, kPasteboardForeignItem, CFSTR(flavor), &flags), noErr);
        EXPECT_EQ(flags, kPasteboardFlavorSystemTranslated);
        const std::string bytes = FlavorBytes(pasteboard_, kPasteboardForeignItem, flavor);
        const QImage decoded = QImage::fromData(QByteArray::fromStdString(bytes));
        ASSERT_FALSE(decoded.isNull()) << flavor;
        EXPECT_EQ(decoded.size(), QSize(4, 3));
        EXPECT_EQ(decoded.pixelColor(2, 1), QColor(255, 0, 0));
    }
}

// Our flavours leave as MIME types and come back as the same flavours in
// another program, our own kinds included.
TEST_F(Clipboard, FlavoursCrossToAnotherProgramAndBack)
{
    const std::string png = PNGOf(RedImage());
    const std::string card("card\0bytes", 10);
    ASSERT_EQ(PasteboardClear(pasteboard_), noErr);
    Put(1, "public.utf8-plain-text", "a note");
    Put(1, "public.png", png);
    Put(1, "com.orvandel.brindlet.card", card);
    Put(1, "com.example.private-kind", "private");
    Put(1, "com.example.secret", "only here", kPasteboardFlavorSenderOnly);
    Put(2, "public.html", "<b>second item</b>");

    const QMimeData* offered = clipboard_->mimeData();
    const QStringList formats = offered->formats();
    for (const char* expected : {"text/plain;charset=utf-8", "text/plain", "image/png", "application/x-brindlet-card",
                                 "application/x-brindlet-uti;type=com.example.private-kind", "text/html"})
        EXPECT_TRUE(formats.contains(expected)) << expected << " in " << formats.join(", ").toStdString();
    EXPECT_FALSE(formats.join(' ').contains("secret")) << "sender-only flavours stay in this process";
    EXPECT_EQ(offered->data("image/png").toStdString(), png);
    EXPECT_TRUE(offered->hasImage()) << "Qt readers here see our PNG as an image";
    EXPECT_EQ(clipboard_->image().size(), QSize(4, 3));

    // Within this process the items read back exactly as put.
    auto items = ItemsOf(pasteboard_);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].flavors.size(), 5u);
    EXPECT_EQ(FlavorBytes(pasteboard_, ItemID(1), "com.example.secret"), "only here");

    clipboard_->setMimeData(CopyAsOtherProgramSees(offered));
    items = ItemsOf(pasteboard_);
    ASSERT_EQ(items.size(), 1u) << "another program sees one item";
    EXPECT_EQ(items[0].flavors, (Summary{"public.utf8-plain-text", "public.png", "com.orvandel.brindlet.card",
                                         "com.example.private-kind", "public.html"}));
    EXPECT_EQ(FlavorBytes(pasteboard_, kPasteboardForeignItem, "public.utf8-plain-text"), "a note");
    EXPECT_EQ(FlavorBytes(pasteboard_, kPasteboardForeignItem, "public.png"), png);
    EXPECT_EQ(FlavorBytes(pasteboard_, kPasteboardForeignItem, "com.orvandel.brindlet.card"), card);
    EXPECT_EQ(FlavorBytes(pasteboard_, kPasteboardForeignItem, "com.example.private-kind"), "private");
    EXPECT_EQ(FlavorBytes(pasteboard_, kPasteboardForeignItem, "public.html"), "<b>second item</b>");
}

TEST_F(Clipboard, FileURLsTravelAsOneURIListAndComeBackOneItemEach)
{
    ASSERT_EQ(PasteboardClear(pasteboard_), noErr);
    Put(1, "public.file-url", "file:///tmp/a%20b.txt");
    Put(2, "public.file-url", "file:///tmp/c");
    EXPECT_EQ(clipboard_->mimeData()->data("text/uri-list").toStdString(),
              "file:///tmp/a%20b.txt\r\nfile:///tmp/c\r\n");

    auto* urls = new QMimeData;
    urls->setUrls({QUrl("file:///tmp/a b.txt"), QUrl("https://example.org/x"), QUrl("file:///tmp/c")});
    urls->setText(QStringLiteral("three links"));
    clipboard_->setMimeData(urls);
    const auto items = ItemsOf(pasteboard_);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].flavors, (Summary{"public.file-url", "public.utf8-plain-text"}));
    EXPECT_EQ(items[1].flavors, Summary{"public.url"});
    EXPECT_EQ(items[2].flavors, Summary{"public.file-url"});
    EXPECT_EQ(FlavorBytes(pasteboard_, items[0].id, "public.file-url"), "file:///tmp/a%20b.txt");
    EXPECT_EQ(FlavorBytes(pasteboard_, items[1].id, "public.url"), "https://example.org/x");
    EXPECT_EQ(FlavorBytes(pasteboard_, items[2].id, "public.file-url"), "file:///tmp/c");
    EXPECT_EQ(FlavorBytes(pasteboard_, items[0].id, "public.utf8-plain-text"), "three links");
}

TEST_F(Clipboard, UnknownFormatsKeepTheirMIMEType)
{
    auto* other = new QMimeData;
    other->setData("application/x-other-program", "raw");
    clipboard_->setMimeData(other);
    auto items = ItemsOf(pasteboard_);
    ASSERT_EQ(items.size(), 1u);
    ASSERT_EQ(items[0].flavors, Summary{"dyn.mime.application/x-other-program"});

    ASSERT_EQ(PasteboardClear(pasteboard_), noErr);
    Put(1, "dyn.mime.application/x-other-program", "back");
    EXPECT_EQ(clipboard_->mimeData()->data("application/x-other-program").toStdString(), "back");
}

TEST_F(Clipboard, OwnershipIsPerReference)
{
    CFRef<PasteboardRef> other = MakePasteboard(kPasteboardClipboard);
    ASSERT_EQ(PasteboardClear(pasteboard_), noErr);
    EXPECT_EQ(PasteboardSynchronize(pasteboard_), kPasteboardClientIsOwner);
    Put(1, "public.utf8-plain-text", "mine");
    EXPECT_EQ(PasteboardPutItemFlavor(other, ItemID(1), CFSTR("public.rtf"), MakeData("{\\rtf1}"), 0),
              notPasteboardOwnerErr);
    EXPECT_EQ(FlavorBytes(other, ItemID(1), "public.utf8-plain-text"), "mine");

    ASSERT_EQ(PasteboardClear(other), noErr);
    EXPECT_EQ(PasteboardPutItemFlavor(pasteboard_, ItemID(1), CFSTR("public.rtf"), MakeData("{\\rtf1}"), 0),
              notPasteboardOwnerErr);
    EXPECT_EQ(PasteboardSynchronize(pasteboard_), kPasteboardModified);
    EXPECT_TRUE(clipboard_->text().isEmpty());
}

TEST_F(Clipboard, WhatWasCopiedOutlivesItsReference)
{
    ASSERT_EQ(PasteboardClear(pasteboard_), noErr);
    Put(1, "public.utf8-plain-text", "kept");
    pasteboard_.Reset();
    CFRef<PasteboardRef> later = MakePasteboard(kPasteboardClipboard);
    EXPECT_EQ(FlavorBytes(later, ItemID(1), "public.utf8-plain-text"), "kept");
    EXPECT_EQ(clipboard_->text(), QStringLiteral("kept"));
}

TEST_F(Clipboard, OtherThreadsAreRefusedButNamedPasteboardsServeThem)
{
    clipboard_->setText(QStringLiteral("main thread only"));
    OSStatus clipboardStatus = noErr, namedStatus = -1;
    std::thread([&] {
        ItemCount count = 0;
        clipboardStatus = PasteboardGetItemCount(pasteboard_, &count);
        CFRef<PasteboardRef> named = MakePasteboard(CFSTR("com.example.pasteboard.worker"));
        namedStatus = PasteboardClear(named);
    }).join();
    EXPECT_EQ(clipboardStatus, badPasteboardSyncErr);
    EXPECT_EQ(namedStatus, noErr);
    EXPECT_EQ(clipboard_->text(), QStringLiteral("main thread only"));
}

}  // namespace

// ---- known gaps ----

TEST_F(Clipboard, ThePrimarySelection)
{
    GTEST_SKIP() << "Known gap: the pasteboard does not use the X11 primary selection; only the clipboard "
                    "(QClipboard::Clipboard) is read and written";
}
