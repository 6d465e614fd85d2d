// The Printing Manager in a program without any Qt application (a tool, a
// unit test): formats take the locale's paper, dialogs answer cancelled
// with a warning, and documents cannot begin.
#include <PrintCore/PrintCore.h>
#include <Support/Diagnostics.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

// Sets LC_PAPER for the test's lifetime.
class PaperLocale {
public:
    explicit PaperLocale(const char* locale)
    {
        if (const char* old = std::getenv("LC_PAPER"))
            old_ = old;
        setenv("LC_PAPER", locale, 1);
    }
    ~PaperLocale()
    {
        if (old_)
            setenv("LC_PAPER", old_->c_str(), 1);
        else
            unsetenv("LC_PAPER");
    }

private:
    std::optional<std::string> old_;
};

struct PaperOf {
    double width = 0;
    double height = 0;
};

PaperOf DefaultPaper()
{
    PMPageFormat format = nullptr;
    PaperOf size;
    if (PMCreatePageFormat(&format) != noErr)
        return size;
    PMPaper paper = nullptr;
    PMGetPageFormatPaper(format, &paper);
    PMPaperGetWidth(paper, &size.width);
    PMPaperGetHeight(paper, &size.height);
    PMRelease(format);
    return size;
}

}  // namespace

TEST(PrintingWithoutApplication, TheDefaultPaperIsTheLocalesPaper)
{
    struct Case {
        const char* locale;
        double width, height;
    };
    // scripts/install-deps.sh makes both locales.
    for (const Case& c : {Case{"en_US.UTF-8", 612, 792}, Case{"de_DE.UTF-8", 595.28, 841.89}}) {
        SCOPED_TRACE(c.locale);
        PaperLocale locale(c.locale);
        const PaperOf paper = DefaultPaper();
        EXPECT_NEAR(paper.width, c.width, 0.01);
        EXPECT_NEAR(paper.height, c.height, 0.01);
    }
}

TEST(PrintingWithoutApplication, DialogsAnswerCancelledWithAWarning)
{
    PMPrintSession session = nullptr;
    PMPageFormat format = nullptr;
    PMPrintSettings settings = nullptr;
    ASSERT_EQ(PMCreateSession(&session), noErr);
    ASSERT_EQ(PMCreatePageFormat(&format), noErr);
    ASSERT_EQ(PMCreatePrintSettings(&settings), noErr);
    ASSERT_EQ(PMSetOrientation(format, kPMLandscape, kPMUnlocked), noErr);

    Diagnostics::Capture capture;
    Boolean accepted = true;
    EXPECT_EQ(PMSessionPageSetupDialog(session, format, &accepted), noErr);
    EXPECT_FALSE(accepted);
    accepted = true;
    EXPECT_EQ(PMSessionPrintDialog(session, settings, format, &accepted), noErr);
    EXPECT_FALSE(accepted);
    const auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Warning: The page setup dialog cannot be shown without a widget application.");
    EXPECT_EQ(lines[1], "Warning: The print dialog cannot be shown without a widget application.");
    PMOrientation orientation = 0;
    PMGetOrientation(format, &orientation);
    EXPECT_EQ(orientation, kPMLandscape);

    // A script answers even here.
    {
        PMPrintScript script;
        script.QueuePageSetup({true, kPMPortrait, std::nullopt});
        EXPECT_EQ(PMSessionPageSetupDialog(session, format, &accepted), noErr);
        EXPECT_TRUE(accepted);
        PMGetOrientation(format, &orientation);
        EXPECT_EQ(orientation, kPMPortrait);
    }

    EXPECT_EQ(PMSessionBeginCGDocumentNoDialog(session, settings, format), kPMGeneralError);
    EXPECT_EQ(PMSessionError(session), kPMGeneralError);
    EXPECT_EQ(PMSessionBeginPageNoDialog(session, nullptr, nullptr), kPMOutOfScope);
    EXPECT_EQ(capture.Lines().size(), 2u);
    PMRelease(settings);
    PMRelease(format);
    PMRelease(session);
}

// ---- known gaps ----

TEST(PrintingWithoutApplication, PrinterMargins)
{
    PMPageFormat format = nullptr;
    ASSERT_EQ(PMCreatePageFormat(&format), noErr);
    PMRect page{}, paper{};
    const OSStatus pageStatus = PMGetAdjustedPageRect(format, &page);
    const OSStatus paperStatus = PMGetAdjustedPaperRect(format, &paper);
    PMRelease(format);
    ASSERT_EQ(pageStatus, noErr);
    ASSERT_EQ(paperStatus, noErr);
    if (page.top == 0 && page.left == 0 && page.bottom == paper.bottom - paper.top &&
        page.right == paper.right - paper.left)
        GTEST_SKIP() << "Known gap: printer margins are not modelled; the page rectangle is the whole paper";
    ADD_FAILURE() << "the page lies inside the paper now: the gap is closed, so test the margins here and drop the "
                     "README entry";
}
