// Printing one image: its placement on the page in each image mode (drawn
// into a bitmap the size of a Letter page), the page bounds, and whole
// print runs through the scripted dialogs into PDF files read back with
// poppler.
#include <PdfInspection.h>
#include <QtTestApplication.h>
#include <Units/Classes/TObjectRef.h>
#include <Units/Classes/TPrintSessionUnit.h>
#include <Units/Utilities/CGUtilities.h>

#include <CoreFoundation/CFRef.h>
#include <Support/Diagnostics.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>

namespace {

testing::Environment* const gWidgetApplication = AddQtTestApplication<QApplication>("TPrintSessionTests");

constexpr PMPrintScript::PaperSize kLetter{612, 792};

// An opaque red image of that pixel size (caller releases).
CGImageRef CreateRedImage(int width, int height)
{
    Ptr buffer = nullptr;
    CGContextRef context = CGBitmapContextCreate(CGSizeMake(width, height), buffer);
    if (context == nullptr)
        return nullptr;
    CGContextSetRGBFillColor(context, 1, 0, 0, 1);
    CGContextFillRect(context, CGRectMake(0, 0, width, height));
    CGImageRef image = CGBitmapContextCreateImage(context);
    CGContextRelease(context);
    DisposePtr(buffer);
    return image;
}

// A bitmap page; Drawn answers where something was drawn, in points from
// the bottom-left corner.
class BitmapPage {
public:
    explicit BitmapPage(CGSize size) : size_(size) { context_ = CGBitmapContextCreate(size, buffer_); }
    ~BitmapPage()
    {
        CGContextRelease(context_);
        DisposePtr(buffer_);
    }
    BitmapPage(const BitmapPage&) = delete;
    BitmapPage& operator=(const BitmapPage&) = delete;

    CGContextRef Context() const { return context_; }

    CGRect Drawn() const
    {
        const int width = int(size_.width), height = int(size_.height);
        int minX = width, maxX = -1, minRow = height, maxRow = -1;
        for (int row = 0; row < height; ++row) {
            const auto* pixels = reinterpret_cast<const UInt8*>(buffer_) + size_t(row) * size_t(width) * 4;
            for (int x = 0; x < width; ++x) {
                if (pixels[x * 4 + 3] == 0)
                    continue;
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
                minRow = std::min(minRow, row);
                maxRow = std::max(maxRow, row);
            }
        }
        if (maxX < 0)
            return CGRectNull;
        // The buffer's first row is the top of the page.
        return CGRectMake(minX, height - 1 - maxRow, maxX - minX + 1, maxRow - minRow + 1);
    }

private:
    CGSize size_;
    Ptr buffer_ = nullptr;
    CGContextRef context_ = nullptr;
};

std::string Describe(CGRect r)
{
    if (CGRectIsNull(r))
        return "nothing";
    return "(" + std::to_string(int(r.origin.x)) + ", " + std::to_string(int(r.origin.y)) + ", " +
           std::to_string(int(r.size.width)) + ", " + std::to_string(int(r.size.height)) + ")";
}

class PrintSession : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder_.isValid());
        script_.SetDefaultPaper(kLetter);
    }

    // A session printing `image` (released here) into the folder's PDF.
    static TObjectRef<TPrintSession> NewSession(CGImageRef image)
    {
        auto session = TObjectRef<TPrintSession>::Adopt(TPrintSession::Create(image));
        CGImageRelease(image);
        return session;
    }

    std::string Path(const char* name) const { return folder_.filePath(QString::fromUtf8(name)).toStdString(); }

    QTemporaryDir folder_;
    PMPrintScript script_;
};

}  // namespace

// ---- placement ----

TEST_F(PrintSession, ImageModesPlaceTheImageInWholePoints)
{
    struct Case {
        SInt16 mode;
        int imageWidth, imageHeight;
        CGSize page;
        CGRect expected;  // CGRectNull: nothing drawn
    };
    const CGSize letter = CGSizeMake(612, 792);
    const CGSize a4 = CGSizeMake(595.28f, 841.89f);
    const Case cases[] = {
        // Fitted into (36, 36, 540, 720), then centred.
        {1, 1000, 500, letter, CGRectMake(36, 261, 540, 270)},
        {1, 200, 100, letter, CGRectMake(36, 261, 540, 270)},
        // The area truncates to (36, 36, 523, 769); 261.5 high truncates.
        {1, 1000, 500, a4, CGRectMake(36, 290, 523, 261)},
        // Own size at the page's origin, the margin left aside.
        {0, 200, 100, letter, CGRectMake(0, 0, 200, 100)},
        {2, 200, 100, letter, CGRectMake(0, 0, 200, 100)},
        {3, 200, 100, letter, CGRectMake(36, 36, 540, 720)},
        // Own size centred: 36 + 339 / 2 and 36 + 619 / 2, truncated.
        {4, 201, 101, letter, CGRectMake(205, 345, 201, 101)},
        {5, 200, 100, letter, CGRectNull},
        {7, 200, 100, letter, CGRectNull},
        {-1, 200, 100, letter, CGRectNull},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.mode) + ", image " + std::to_string(c.imageWidth));
        auto session = NewSession(CreateRedImage(c.imageWidth, c.imageHeight));
        session->SetImageMode(c.mode);
        session->SetPageMargin(36);
        BitmapPage page(CGSizeMake(std::ceil(c.page.width), std::ceil(c.page.height)));
        session->DrawPage(page.Context(), CGRectMake(0, 0, c.page.width, c.page.height));
        EXPECT_EQ(Describe(page.Drawn()), Describe(c.expected));
        session.Reset();
    }
}

TEST_F(PrintSession, AMarginWiderThanThePageDrawsOnlyTheModesThatIgnoreIt)
{
    for (SInt16 mode : {0, 1, 3, 4}) {
        SCOPED_TRACE(mode);
        auto session = NewSession(CreateRedImage(50, 50));
        session->SetImageMode(mode);
        session->SetPageMargin(400);
        BitmapPage page(CGSizeMake(612, 792));
        session->DrawPage(page.Context(), CGRectMake(0, 0, 612, 792));
        EXPECT_EQ(Describe(page.Drawn()), mode == 0 ? "(0, 0, 50, 50)" : "nothing");
        session.Reset();
    }
}

TEST_F(PrintSession, LandscapeBoundsAreWiderThanHigh)
{
    auto session = NewSession(nullptr);
    struct Case {
        UInt16 orientation;
        CGRect bounds;
    };
    for (const Case& c : {Case{kPMPortrait, CGRectMake(0, 0, 612, 792)}, Case{kPMLandscape, CGRectMake(0, 0, 792, 612)},
                          Case{kPMReversePortrait, CGRectMake(0, 0, 612, 792)},
                          Case{kPMReverseLandscape, CGRectMake(0, 0, 792, 612)}}) {
        session->SetOrientation(c.orientation);
        EXPECT_EQ(Err, noErr);
        EXPECT_EQ(Describe(session->GetPageBounds()), Describe(c.bounds)) << c.orientation;
    }
    session.Reset();
}

TEST_F(PrintSession, TheImageIsHeldWhileTheSessionLives)
{
    CGImageRef image = CreateRedImage(10, 10);
    ASSERT_EQ(CFGetRetainCount(image), 1);
    auto session = TObjectRef<TPrintSession>::Adopt(TPrintSession::Create(image));
    EXPECT_EQ(CFGetRetainCount(image), 2);
    session.Reset();
    EXPECT_EQ(CFGetRetainCount(image), 1);

    // Made by name, the image comes as the first parameter.
    auto byName = TObjectRef<TObject>::Adopt(AllocateClass("TPrintSession", {ParameterType::Pointer(image)}));
    ASSERT_NE(byName, nullptr);
    byName->RequestInitialization();
    auto* named = static_cast<TPrintSession*>(byName.get());
    EXPECT_EQ(named->GetImage(), image);
    EXPECT_NE(named->GetSession(), nullptr);
    EXPECT_NE(named->GetPageFormat(), nullptr);
    EXPECT_NE(named->GetPrintSettings(), nullptr);
    byName.Reset();
    EXPECT_EQ(CFGetRetainCount(image), 1);
    CGImageRelease(image);
}

// ---- printing ----

TEST_F(PrintSession, PrintsTheImageFittedOnAPDFPage)
{
    ASSERT_TRUE(HavePopplerTools()) << "scripts/install-deps.sh installs poppler-utils";
    const std::string pdf = Path("card.pdf");
    script_.QueuePrint({true, pdf, std::nullopt});
    auto session = NewSession(CreateRedImage(1000, 500));
    session->SetJobName(CFSTR("Card"));
    session->SetImageMode(1);
    session->SetPageMargin(36);
    session->Print();
    EXPECT_EQ(Err, noErr);
    session.Reset();

    ASSERT_EQ(script_.Dialogs().size(), 1u);
    EXPECT_EQ(script_.Dialogs()[0].jobName, "Card");
    EXPECT_TRUE(StartsAsPdf(pdf));
    const PdfInfo info = InspectPdf(pdf);
    EXPECT_EQ(info.pages, 1);
    EXPECT_EQ(info.width, 612);
    EXPECT_EQ(info.height, 792);
    EXPECT_EQ(info.title, "Card");
    const QImage page = RasterisePdfPage(pdf);
    ASSERT_EQ(page.size(), QSize(612, 792));
    // (36, 261, 540, 270) from the bottom: rows 261 ... 530 from the top.
    const QRect ink = InkBounds(page);
    EXPECT_NEAR(ink.left(), 36, 1);
    EXPECT_NEAR(ink.right(), 575, 1);
    EXPECT_NEAR(ink.top(), 261, 1);
    EXPECT_NEAR(ink.bottom(), 530, 1);
    const QRgb middle = page.pixel(306, 396);
    EXPECT_GT(qRed(middle), 200);
    EXPECT_LT(qGreen(middle), 50);
}

TEST_F(PrintSession, PageSetupToLandscapePrintsALandscapePage)
{
    ASSERT_TRUE(HavePopplerTools());
    const std::string pdf = Path("wide.pdf");
    script_.QueuePageSetup({true, kPMLandscape, std::nullopt});
    script_.QueuePrint({true, pdf, std::nullopt});
    auto session = NewSession(CreateRedImage(100, 100));
    session->Setup();
    EXPECT_EQ(Describe(session->GetPageBounds()), "(0, 0, 792, 612)");
    session->SetImageMode(3);
    session->Print();
    session.Reset();
    const PdfInfo info = InspectPdf(pdf);
    EXPECT_EQ(info.pages, 1);
    EXPECT_EQ(info.width, 792);
    EXPECT_EQ(info.height, 612);
    const QRect ink = InkBounds(RasterisePdfPage(pdf));
    EXPECT_NEAR(ink.width(), 792, 1);
    EXPECT_NEAR(ink.height(), 612, 1);
}

TEST_F(PrintSession, AnUnknownModePrintsAnEmptyPage)
{
    ASSERT_TRUE(HavePopplerTools());
    const std::string pdf = Path("empty.pdf");
    script_.QueuePrint({true, pdf, std::nullopt});
    auto session = NewSession(CreateRedImage(100, 100));
    session->SetImageMode(7);
    session->Print();
    EXPECT_EQ(Err, noErr);
    session.Reset();
    EXPECT_EQ(InspectPdf(pdf).pages, 1);
    const QImage page = RasterisePdfPage(pdf);
    ASSERT_FALSE(page.isNull());
    EXPECT_TRUE(InkBounds(page).isEmpty());
}

TEST_F(PrintSession, CancellingThePrintDialogPrintsNothing)
{
    const std::string pdf = Path("never.pdf");
    // Even with the dialog switched off, Print asks.
    script_.QueuePrint({false, pdf, std::nullopt});
    auto session = NewSession(CreateRedImage(100, 100));
    session->SetShowDialog(false);
    Diagnostics::Capture capture;
    session->Print();
    session.Reset();
    EXPECT_EQ(script_.Dialogs().size(), 1u);
    EXPECT_TRUE(capture.Lines().empty());
    EXPECT_TRUE(QDir(folder_.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
}

TEST_F(PrintSession, AFailedJobIsReportedAndEnded)
{
    // The destination is a folder: the job cannot begin.
    script_.QueuePrint({true, folder_.path().toStdString(), std::nullopt});
    auto session = NewSession(CreateRedImage(100, 100));
    Diagnostics::Capture capture;
    session->Print();
    EXPECT_EQ(Err, kPMInvalidParameter);
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_EQ(capture.Lines()[0], "Warning: Printing failed with error -50.");

    // The session is free for the next job.
    const std::string pdf = Path("second.pdf");
    script_.QueuePrint({true, pdf, std::nullopt});
    session->Print();
    EXPECT_EQ(Err, noErr);
    EXPECT_TRUE(StartsAsPdf(pdf));
    session.Reset();
}

namespace {

// A session whose drawing fails half-way.
class FailingPrintSession : public TPrintSession {
public:
    static FailingPrintSession* Make()
    {
        auto* session = AllocateInstance<FailingPrintSession>();
        session->RequestInitialization();
        return session;
    }
    void DrawPage(CGContextRef context, CGRect) override
    {
        CGContextSetRGBFillColor(context, 0, 0, 1, 1);
        CGContextFillRect(context, CGRectMake(0, 0, 72, 72));
        throw std::runtime_error("out of ink");
    }
};

}  // namespace

TEST_F(PrintSession, AnExceptionWhileDrawingIsReportedAndThePageStillPrints)
{
    ASSERT_TRUE(HavePopplerTools());
    const std::string pdf = Path("partial.pdf");
    script_.QueuePrint({true, pdf, std::nullopt});
    auto session = TObjectRef<FailingPrintSession>::Adopt(FailingPrintSession::Make());
    Diagnostics::Capture capture;
    session->Print();
    session.Reset();
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_EQ(capture.Lines()[0].rfind("TPrintSession.DrawPage:out of ink:", 0), 0u) << capture.Lines()[0];
    EXPECT_EQ(InspectPdf(pdf).pages, 1);
    const QRect ink = InkBounds(RasterisePdfPage(pdf));
    EXPECT_NEAR(ink.left(), 0, 1);
    EXPECT_NEAR(ink.bottom(), 791, 1);
    EXPECT_NEAR(ink.width(), 72, 1);
}
