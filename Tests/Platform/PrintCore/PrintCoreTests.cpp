// The Printing Manager with a widget application (offscreen): page
// formats and settings, documents printed to real PDF files and read back
// through poppler, and the dialogs, scripted and real.

#include <CFTestSupport.h>
#include <CoreGraphics/CoreGraphics.h>
#include <PdfInspection.h>
#include <PrintCore/PrintCore.h>
#include <QtTestApplication.h>
#include <Support/Diagnostics.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>
#include <string>

namespace {

testing::Environment* const gWidgetApplication = AddQtTestApplication<QApplication>("PrintCoreTests");

constexpr PMPrintScript::PaperSize kLetter{612, 792};

CFRef<CFURLRef> FileURL(const std::string& path)
{
    return CFRef<CFURLRef>(CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(path.data()),
                                                                   static_cast<CFIndex>(path.size()), false));
}

std::string ReadAll(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string("<unreadable>");
}

void WriteFile(const std::string& path, const std::string& text)
{
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.data(), static_cast<qint64>(text.size()));
}

// A session, Letter-sized page format and settings whose job goes to a PDF
// file in a fresh folder.
class PrintJob : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder_.isValid());
        script_.SetDefaultPaper(kLetter);
        ASSERT_EQ(PMCreateSession(&session_), noErr);
        ASSERT_EQ(PMCreatePageFormat(&format_), noErr);
        ASSERT_EQ(PMSessionDefaultPageFormat(session_, format_), noErr);
        ASSERT_EQ(PMCreatePrintSettings(&settings_), noErr);
        ASSERT_EQ(PMSessionDefaultPrintSettings(session_, settings_), noErr);
        pdf_ = Path("out.pdf");
        ASSERT_EQ(PMSessionSetDestination(session_, settings_, kPMDestinationFile, kPMDocumentFormatPDF, FileURL(pdf_)),
                  noErr);
    }

    void TearDown() override
    {
        PMRelease(settings_);
        PMRelease(format_);
        PMRelease(session_);
    }

    std::string Path(const char* name) const { return folder_.filePath(QString::fromUtf8(name)).toStdString(); }

    // Every name in the folder, hidden ones too.
    QStringList FolderEntries() const
    {
        return QDir(folder_.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    // Prints one page per call of `draw`, each with its own format (nil:
    // the document's).
    void PrintPages(const std::vector<std::pair<PMPageFormat, std::function<void(CGContextRef)>>>& pages)
    {
        ASSERT_EQ(PMSessionBeginCGDocumentNoDialog(session_, settings_, format_), noErr);
        for (const auto& [pageFormat, draw] : pages) {
            ASSERT_EQ(PMSessionBeginPageNoDialog(session_, pageFormat, nullptr), noErr);
            CGContextRef context = nullptr;
            ASSERT_EQ(PMSessionGetCGGraphicsContext(session_, &context), noErr);
            ASSERT_NE(context, nullptr);
            draw(context);
            ASSERT_EQ(PMSessionEndPageNoDialog(session_), noErr);
        }
        ASSERT_EQ(PMSessionEndDocumentNoDialog(session_), noErr);
    }

    static void FillRect(CGContextRef context, CGRect rect)
    {
        CGContextSetRGBFillColor(context, 1, 0, 0, 1);
        CGContextFillRect(context, rect);
    }

    QTemporaryDir folder_;
    PMPrintScript script_;
    PMPrintSession session_ = nullptr;
    PMPageFormat format_ = nullptr;
    PMPrintSettings settings_ = nullptr;
    std::string pdf_;
};

// Within a point of each other on every edge (the rasteriser may round an
// edge either way).
void ExpectNearRect(const QRect& actual, const QRect& expected)
{
    EXPECT_NEAR(actual.left(), expected.left(), 1) << "left";
    EXPECT_NEAR(actual.top(), expected.top(), 1) << "top";
    EXPECT_NEAR(actual.right(), expected.right(), 1) << "right";
    EXPECT_NEAR(actual.bottom(), expected.bottom(), 1) << "bottom";
}

}  // namespace

// ---- objects, formats and settings ----

TEST(PrintObjects, ReleaseRefusesWhatIsNotAPrintingObject)
{
    EXPECT_EQ(PMRelease(nullptr), noErr);
    CFRef<CFStringRef> text = MakeString("not a session");
    EXPECT_EQ(PMRetain(text), kPMInvalidParameter);
    EXPECT_EQ(PMRelease(text), kPMInvalidParameter);
    EXPECT_EQ(CFGetRetainCount(text), 1);

    PMPrintSession session = nullptr;
    ASSERT_EQ(PMCreateSession(&session), noErr);
    EXPECT_EQ(PMRetain(session), noErr);
    EXPECT_EQ(CFGetRetainCount(session), 2);
    EXPECT_EQ(PMRelease(session), noErr);
    EXPECT_EQ(CFGetRetainCount(session), 1);
    EXPECT_EQ(PMRelease(session), noErr);
}

TEST(PrintObjects, OrientationsTurnTheAdjustedRectanglesOnly)
{
    PMPrintScript script;
    script.SetDefaultPaper(kLetter);
    PMPageFormat format = nullptr;
    ASSERT_EQ(PMCreatePageFormat(&format), noErr);
    struct Case {
        PMOrientation orientation;
        double adjustedWidth, adjustedHeight;
    };
    for (const Case& c : {Case{kPMPortrait, 612, 792}, Case{kPMLandscape, 792, 612}, Case{kPMReversePortrait, 612, 792},
                          Case{kPMReverseLandscape, 792, 612}}) {
        SCOPED_TRACE(c.orientation);
        ASSERT_EQ(PMSetOrientation(format, c.orientation, kPMUnlocked), noErr);
        PMOrientation read = 0;
        ASSERT_EQ(PMGetOrientation(format, &read), noErr);
        EXPECT_EQ(read, c.orientation);
        PMRect adjusted{}, unadjusted{}, page{};
        ASSERT_EQ(PMGetAdjustedPaperRect(format, &adjusted), noErr);
        ASSERT_EQ(PMGetUnadjustedPaperRect(format, &unadjusted), noErr);
        ASSERT_EQ(PMGetAdjustedPageRect(format, &page), noErr);
        EXPECT_EQ(adjusted.right - adjusted.left, c.adjustedWidth);
        EXPECT_EQ(adjusted.bottom - adjusted.top, c.adjustedHeight);
        EXPECT_EQ(unadjusted.right, 612);
        EXPECT_EQ(unadjusted.bottom, 792);
        EXPECT_EQ(page.right, adjusted.right);
        EXPECT_EQ(page.bottom, adjusted.bottom);
        PMPaper paper = nullptr;
        ASSERT_EQ(PMGetPageFormatPaper(format, &paper), noErr);
        double width = 0, height = 0;
        PMPaperGetWidth(paper, &width);
        PMPaperGetHeight(paper, &height);
        EXPECT_EQ(width, 612);
        EXPECT_EQ(height, 792);
    }
    for (PMOrientation invalid : {PMOrientation(0), PMOrientation(5)}) {
        EXPECT_EQ(PMSetOrientation(format, invalid, kPMUnlocked), kPMInvalidParameter);
        PMOrientation read = 0;
        PMGetOrientation(format, &read);
        EXPECT_EQ(read, kPMReverseLandscape);
    }
    PMRelease(format);
}

TEST(PrintObjects, ScriptedPaperIsNamedAfterTheStandardSize)
{
    PMPrintScript script;
    script.SetDefaultPaper({595.28, 841.89});
    PMPageFormat format = nullptr;
    ASSERT_EQ(PMCreatePageFormat(&format), noErr);
    PMPaper paper = nullptr;
    ASSERT_EQ(PMGetPageFormatPaper(format, &paper), noErr);
    CFStringRef name = nullptr;
    ASSERT_EQ(PMPaperGetName(paper, &name), noErr);
    EXPECT_EQ(UTF8Of(name), "A4");
    double width = 0;
    PMPaperGetWidth(paper, &width);
    EXPECT_NEAR(width, 595.28, 0.01);
    PMRelease(format);
}

TEST(PrintObjects, SettingsKeepTheirOwnCopyOfTheJobName)
{
    PMPrintSettings settings = nullptr;
    ASSERT_EQ(PMCreatePrintSettings(&settings), noErr);
    CFStringRef name = CFSTR("unset");
    ASSERT_EQ(PMPrintSettingsGetJobName(settings, &name), noErr);
    EXPECT_EQ(name, nullptr);

    CFRef<CFMutableStringRef> editable = MakeMutableString("Shopping");
    ASSERT_EQ(PMPrintSettingsSetJobName(settings, editable), noErr);
    CFStringAppendCString(editable, " list", kCFStringEncodingUTF8);
    ASSERT_EQ(PMPrintSettingsGetJobName(settings, &name), noErr);
    EXPECT_EQ(UTF8Of(name), "Shopping");

    UInt32 copies = 0;
    EXPECT_EQ(PMSetCopies(settings, 0, kPMUnlocked), kPMInvalidParameter);
    PMGetCopies(settings, &copies);
    EXPECT_EQ(copies, 1u);
    PMRelease(settings);
}

TEST(PrintObjects, DestinationsAcceptOnlyPrintersAndPDFFiles)
{
    PMPrintSession session = nullptr;
    PMPrintSettings settings = nullptr;
    ASSERT_EQ(PMCreateSession(&session), noErr);
    ASSERT_EQ(PMCreatePrintSettings(&settings), noErr);
    CFRef<CFURLRef> file = FileURL("/tmp/card.pdf");
    CFRef<CFURLRef> web(CFURLCreateWithString(nullptr, CFSTR("https://example.org/card.pdf"), nullptr));

    ASSERT_EQ(PMSessionSetDestination(session, settings, kPMDestinationFile, nullptr, file), noErr);
    PMDestinationType type = kPMDestinationInvalid;
    PMSessionGetDestinationType(session, settings, &type);
    EXPECT_EQ(type, kPMDestinationFile);
    CFURLRef location = nullptr;
    ASSERT_EQ(PMSessionCopyDestinationLocation(session, settings, &location), noErr);
    EXPECT_TRUE(CFEqual(location, file));
    CFRelease(location);

    struct Refused {
        PMDestinationType type;
        CFStringRef format;
        CFURLRef location;
    };
    for (const Refused& r :
         {Refused{kPMDestinationFile, nullptr, web}, Refused{kPMDestinationFile, nullptr, nullptr},
          Refused{kPMDestinationFile, CFSTR("application/postscript"), file},
          Refused{kPMDestinationFax, nullptr, nullptr}, Refused{kPMDestinationPrinter, nullptr, file}}) {
        EXPECT_EQ(PMSessionSetDestination(session, settings, r.type, r.format, r.location), kPMInvalidParameter);
        EXPECT_EQ(PMSessionError(session), kPMInvalidParameter);
        PMSessionGetDestinationType(session, settings, &type);
        EXPECT_EQ(type, kPMDestinationFile) << "a refused destination changes nothing";
    }

    ASSERT_EQ(PMSessionSetDestination(session, settings, kPMDestinationPrinter, nullptr, nullptr), noErr);
    location = file;
    EXPECT_EQ(PMSessionCopyDestinationLocation(session, settings, &location), kPMNoSuchEntry);
    EXPECT_EQ(location, nullptr);
    PMRelease(settings);
    PMRelease(session);
}

// ---- documents ----

TEST_F(PrintJob, CallsOutOfOrderAreRefused)
{
    CGContextRef context = reinterpret_cast<CGContextRef>(this);
    EXPECT_EQ(PMSessionGetCGGraphicsContext(session_, &context), kPMOutOfScope);
    EXPECT_EQ(context, nullptr);
    EXPECT_EQ(PMSessionBeginPageNoDialog(session_, nullptr, nullptr), kPMOutOfScope);
    EXPECT_EQ(PMSessionEndDocumentNoDialog(session_), kPMOutOfScope);
    EXPECT_EQ(PMSessionError(session_), kPMOutOfScope);

    ASSERT_EQ(PMSessionBeginCGDocumentNoDialog(session_, settings_, format_), noErr);
    EXPECT_EQ(PMSessionError(session_), noErr) << "a new document starts without an error";
    EXPECT_EQ(PMSessionBeginCGDocumentNoDialog(session_, settings_, format_), kPMOutOfScope);
    EXPECT_EQ(PMSessionEndPageNoDialog(session_), kPMOutOfScope);
    const PMRect noArea{100, 100, 100, 300};
    EXPECT_EQ(PMSessionBeginPageNoDialog(session_, nullptr, &noArea), kPMInvalidParameter);
    ASSERT_EQ(PMSessionBeginPageNoDialog(session_, nullptr, nullptr), noErr);
    EXPECT_EQ(PMSessionBeginPageNoDialog(session_, nullptr, nullptr), kPMOutOfScope);
    Boolean accepted = true;
    EXPECT_EQ(PMSessionPrintDialog(session_, settings_, format_, &accepted), kPMOutOfScope);
    EXPECT_FALSE(accepted);
    // Ending the document ends the page left open.
    EXPECT_EQ(PMSessionEndDocumentNoDialog(session_), noErr);
    EXPECT_EQ(InspectPdf(pdf_).pages, 1);
}

TEST_F(PrintJob, DrawingLandsWhereItWasPlacedInPointsFromTheBottomLeft)
{
    ASSERT_TRUE(HavePopplerTools()) << "scripts/install-deps.sh installs poppler-utils";
    PrintPages({{nullptr, [](CGContextRef c) {
                     // y-up: 72 points from the bottom edge.
                     FillRect(c, CGRectMake(72, 72, 144, 36));
                 }}});
    EXPECT_TRUE(StartsAsPdf(pdf_));
    const PdfInfo info = InspectPdf(pdf_);
    EXPECT_EQ(info.pages, 1);
    EXPECT_EQ(info.width, 612);
    EXPECT_EQ(info.height, 792);
    const QImage page = RasterisePdfPage(pdf_);
    ASSERT_EQ(page.size(), QSize(612, 792));
    ExpectNearRect(InkBounds(page), QRect(72, 792 - 108, 144, 36));
    EXPECT_EQ(FolderEntries(), QStringList{"out.pdf"}) << "no temporary file is left behind";
}

TEST_F(PrintJob, EachPageHasItsOwnFormat)
{
    ASSERT_TRUE(HavePopplerTools());
    PMPageFormat landscape = nullptr, reversed = nullptr;
    ASSERT_EQ(PMCreatePageFormat(&landscape), noErr);
    ASSERT_EQ(PMSetOrientation(landscape, kPMLandscape, kPMUnlocked), noErr);
    ASSERT_EQ(PMCreatePageFormat(&reversed), noErr);
    ASSERT_EQ(PMSetOrientation(reversed, kPMReversePortrait, kPMUnlocked), noErr);
    const auto corner = [](CGContextRef c) { FillRect(c, CGRectMake(0, 0, 100, 50)); };
    PrintPages({{nullptr, corner}, {landscape, corner}, {reversed, corner}});

    ASSERT_EQ(InspectPdf(pdf_).pages, 3);
    struct Expected {
        int page;
        QSize size;
        QRect ink;
    };
    for (const Expected& e :
         {Expected{1, {612, 792}, QRect(0, 742, 100, 50)}, Expected{2, {792, 612}, QRect(0, 562, 100, 50)},
          // Turned by half a turn: the bottom-left corner is at the top right.
          Expected{3, {612, 792}, QRect(512, 0, 100, 50)}}) {
        SCOPED_TRACE(e.page);
        const PdfInfo info = InspectPdf(pdf_, e.page);
        EXPECT_EQ(QSizeF(info.width, info.height), QSizeF(e.size));
        const QImage page = RasterisePdfPage(pdf_, e.page);
        ASSERT_EQ(page.size(), e.size);
        ExpectNearRect(InkBounds(page), e.ink);
    }
    PMRelease(landscape);
    PMRelease(reversed);
}

TEST_F(PrintJob, APosterPageIsDrawnWhereSmallerOnesAre)
{
    ASSERT_TRUE(HavePopplerTools());
    // A0, whose bitmap would take more than half a gigabyte at full resolution.
    script_.QueuePageSetup({true, std::nullopt, PMPrintScript::PaperSize{2384, 3370}});
    Boolean accepted = false;
    ASSERT_EQ(PMSessionPageSetupDialog(session_, format_, &accepted), noErr);
    PrintPages({{nullptr, [](CGContextRef c) { FillRect(c, CGRectMake(1000, 2000, 300, 200)); }}});
    const PdfInfo info = InspectPdf(pdf_);
    // Qt writes the page's size in whole points.
    EXPECT_NEAR(info.width, 2383.94, 0.5);
    EXPECT_NEAR(info.height, 3370.39, 0.5);
    const QImage page = RasterisePdfPage(pdf_);
    ASSERT_FALSE(page.isNull());
    ExpectNearRect(InkBounds(page), QRect(1000, page.height() - 2200, 300, 200));
}

TEST_F(PrintJob, APageFrameClipsTheDrawing)
{
    ASSERT_TRUE(HavePopplerTools());
    ASSERT_EQ(PMSessionBeginCGDocumentNoDialog(session_, settings_, format_), noErr);
    // The top-left quarter, in the frame's y-down coordinates.
    const PMRect frame{0, 0, 396, 306};
    ASSERT_EQ(PMSessionBeginPageNoDialog(session_, nullptr, &frame), noErr);
    CGContextRef context = nullptr;
    ASSERT_EQ(PMSessionGetCGGraphicsContext(session_, &context), noErr);
    FillRect(context, CGRectMake(0, 0, 612, 792));
    ASSERT_EQ(PMSessionEndPageNoDialog(session_), noErr);
    ASSERT_EQ(PMSessionEndDocumentNoDialog(session_), noErr);
    ExpectNearRect(InkBounds(RasterisePdfPage(pdf_)), QRect(0, 0, 306, 396));
}

TEST_F(PrintJob, AJobThatDoesNotFinishLeavesTheFileAsItWas)
{
    WriteFile(pdf_, "the earlier print");
    ASSERT_EQ(PMSessionBeginCGDocumentNoDialog(session_, settings_, format_), noErr);
    ASSERT_EQ(PMSessionBeginPageNoDialog(session_, nullptr, nullptr), noErr);
    CGContextRef context = nullptr;
    ASSERT_EQ(PMSessionGetCGGraphicsContext(session_, &context), noErr);
    FillRect(context, CGRectMake(0, 0, 100, 100));
    // The session goes with its job still open.
    PMRelease(session_);
    session_ = nullptr;
    EXPECT_EQ(ReadAll(pdf_), "the earlier print");
    EXPECT_EQ(FolderEntries(), QStringList{"out.pdf"});
}

TEST_F(PrintJob, AFinishedJobReplacesTheFileAndKeepsItsPermissions)
{
    WriteFile(pdf_, "the earlier print");
    ASSERT_EQ(chmod(pdf_.c_str(), 0600), 0);
    PrintPages({{nullptr, [](CGContextRef c) { FillRect(c, CGRectMake(0, 0, 10, 10)); }}});
    EXPECT_TRUE(StartsAsPdf(pdf_));
    struct stat info {};
    ASSERT_EQ(stat(pdf_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
}

TEST_F(PrintJob, ADocumentWithoutPagesWritesNothing)
{
    ASSERT_EQ(PMSessionBeginCGDocumentNoDialog(session_, settings_, format_), noErr);
    EXPECT_EQ(PMSessionEndDocumentNoDialog(session_), noErr);
    EXPECT_TRUE(FolderEntries().isEmpty());
}

TEST_F(PrintJob, FileDestinationsThatCannotBeWrittenAreRefusedBeforeDrawing)
{
    for (const std::string& path : {folder_.path().toStdString(), Path("missing/out.pdf")}) {
        SCOPED_TRACE(path);
        ASSERT_EQ(PMSessionSetDestination(session_, settings_, kPMDestinationFile, nullptr, FileURL(path)), noErr);
        EXPECT_EQ(PMSessionBeginCGDocumentNoDialog(session_, settings_, format_), kPMInvalidParameter);
        EXPECT_EQ(PMSessionError(session_), kPMInvalidParameter);
        EXPECT_EQ(PMSessionBeginPageNoDialog(session_, nullptr, nullptr), kPMOutOfScope);
    }
    EXPECT_TRUE(FolderEntries().isEmpty());
}

// ---- the dialogs ----

TEST_F(PrintJob, ScriptedPageSetupChangesTheFormatOnlyWhenAccepted)
{
    struct Case {
        PMPrintScript::PageSetupAnswer answer;
        bool lockedBefore;
        PMOrientation expected;
        double expectedPaperWidth;
    };
    const PMPrintScript::PaperSize a4{595.28, 841.89};
    const Case cases[] = {
        {{true, kPMLandscape, std::nullopt}, false, kPMLandscape, 612},
        {{false, kPMLandscape, a4}, false, kPMPortrait, 612},
        {{true, kPMLandscape, a4}, true, kPMPortrait, 595.28},
        {{true, std::nullopt, a4}, false, kPMPortrait, 595.28},
    };
    for (const Case& c : cases) {
        PMSessionDefaultPageFormat(session_, format_);
        PMSetOrientation(format_, kPMPortrait, c.lockedBefore);
        script_.QueuePageSetup(c.answer);
        Boolean accepted = !c.answer.accept;
        ASSERT_EQ(PMSessionPageSetupDialog(session_, format_, &accepted), noErr);
        EXPECT_EQ(bool(accepted), c.answer.accept);
        PMOrientation orientation = 0;
        PMGetOrientation(format_, &orientation);
        EXPECT_EQ(orientation, c.expected);
        PMPaper paper = nullptr;
        PMGetPageFormatPaper(format_, &paper);
        double width = 0;
        PMPaperGetWidth(paper, &width);
        EXPECT_NEAR(width, c.expectedPaperWidth, 0.01);
    }
    ASSERT_EQ(script_.Dialogs().size(), std::size(cases));
    EXPECT_EQ(script_.Dialogs()[0].kind, PMPrintScript::Dialog::Kind::PageSetup);
    EXPECT_EQ(script_.Dialogs()[0].paper.width, 612);
}

TEST_F(PrintJob, ScriptedPrintDialogSetsTheDestinationWhenAccepted)
{
    PMPrintSettingsSetJobName(settings_, CFSTR("Groceries"));
    const std::string chosen = Path("chosen.pdf");
    script_.QueuePrint({false, chosen, 3});
    script_.QueuePrint({true, chosen, 3});
    Boolean accepted = true;
    ASSERT_EQ(PMSessionPrintDialog(session_, settings_, format_, &accepted), noErr);
    EXPECT_FALSE(accepted);
    CFURLRef location = nullptr;
    ASSERT_EQ(PMSessionCopyDestinationLocation(session_, settings_, &location), noErr);
    EXPECT_TRUE(CFEqual(location, FileURL(pdf_))) << "a cancelled dialog changes nothing";
    CFRelease(location);

    ASSERT_EQ(PMSessionPrintDialog(session_, settings_, format_, &accepted), noErr);
    EXPECT_TRUE(accepted);
    ASSERT_EQ(PMSessionCopyDestinationLocation(session_, settings_, &location), noErr);
    EXPECT_TRUE(CFEqual(location, FileURL(chosen)));
    CFRelease(location);
    UInt32 copies = 0;
    PMGetCopies(settings_, &copies);
    EXPECT_EQ(copies, 3u);
    ASSERT_EQ(script_.Dialogs().size(), 2u);
    EXPECT_EQ(script_.Dialogs()[1].kind, PMPrintScript::Dialog::Kind::Print);
    EXPECT_EQ(script_.Dialogs()[1].jobName, "Groceries");
}

// The real dialogs, answered by a timer once they are up.
class RealDialog : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(PMCreateSession(&session_), noErr);
        ASSERT_EQ(PMCreatePageFormat(&format_), noErr);
        ASSERT_EQ(PMCreatePrintSettings(&settings_), noErr);
    }
    void TearDown() override
    {
        PMRelease(settings_);
        PMRelease(format_);
        PMRelease(session_);
    }

    // Once a modal dialog is up: `answer` runs on it.
    static void WhenShown(std::function<void(QDialog*)> answer)
    {
        QTimer::singleShot(10, [answer]() {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) {
                WhenShown(answer);
                return;
            }
            answer(dialog);
        });
    }

    PMPrintSession session_ = nullptr;
    PMPageFormat format_ = nullptr;
    PMPrintSettings settings_ = nullptr;
};

TEST_F(RealDialog, CancellingThePrintDialogKeepsTheSettings)
{
    bool sawPrintDialog = false;
    WhenShown([&](QDialog* dialog) {
        sawPrintDialog = qobject_cast<QPrintDialog*>(dialog) != nullptr;
        dialog->reject();
    });
    Boolean accepted = true;
    ASSERT_EQ(PMSessionPrintDialog(session_, settings_, format_, &accepted), noErr);
    EXPECT_TRUE(sawPrintDialog);
    EXPECT_FALSE(accepted);
    PMDestinationType type = kPMDestinationInvalid;
    PMSessionGetDestinationType(session_, settings_, &type);
    EXPECT_EQ(type, kPMDestinationPrinter);
}

TEST_F(RealDialog, PrintingToAFolderNamesTheFileAfterTheJob)
{
    // With no printer, the offscreen dialog offers a PDF file in a folder.
    if (!QPrinterInfo::availablePrinterNames().isEmpty())
        GTEST_SKIP() << "this machine has printers";
    ASSERT_EQ(PMPrintSettingsSetJobName(settings_, CFSTR("Week/plan")), noErr);
    WhenShown([](QDialog* dialog) { dialog->accept(); });
    Boolean accepted = false;
    ASSERT_EQ(PMSessionPrintDialog(session_, settings_, format_, &accepted), noErr);
    EXPECT_TRUE(accepted);
    CFURLRef location = nullptr;
    ASSERT_EQ(PMSessionCopyDestinationLocation(session_, settings_, &location), noErr);
    CFRef<CFURLRef> held(location);
    CFRef<CFStringRef> name(CFURLCopyLastPathComponent(location));
    EXPECT_EQ(UTF8Of(name), "Week-plan.pdf");
}

TEST_F(RealDialog, AcceptedPageSetupKeepsTheReverseOrientationItShowed)
{
    ASSERT_EQ(PMSetOrientation(format_, kPMReverseLandscape, kPMUnlocked), noErr);
    WhenShown([](QDialog* dialog) { dialog->accept(); });
    Boolean accepted = false;
    ASSERT_EQ(PMSessionPageSetupDialog(session_, format_, &accepted), noErr);
    EXPECT_TRUE(accepted);
    PMOrientation orientation = 0;
    PMGetOrientation(format_, &orientation);
    EXPECT_EQ(orientation, kPMReverseLandscape);
}
