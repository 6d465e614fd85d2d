// The page-setup and print dialogs (QPageSetupDialog and QPrintDialog on
// the session's printer), and the script that stands in for the user and
// the printing system in tests.
//
// Without a widget application (a tool, a test without one) no dialog can
// be shown: a "Warning: " line goes through the diagnostics writer and the
// dialog answers cancelled. Tests drive the dialogs with a PMPrintScript.
#pragma once

#include <PrintCore/PMCore.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

// Lets the user choose the paper and orientation. When accepted, the
// format takes them (a locked orientation stays).
OSStatus PMSessionPageSetupDialog(PMPrintSession printSession, PMPageFormat pageFormat, Boolean* accepted);
// Lets the user choose the printer, or a PDF file, and the number of
// copies. When accepted, the settings take them; the page format is read,
// never changed.
OSStatus PMSessionPrintDialog(PMPrintSession printSession, PMPrintSettings printSettings, PMPageFormat constPageFormat,
                              Boolean* accepted);

// While one exists (on the main thread), the dialogs are not shown: each
// is recorded and answered from the script's queue for its kind, accepted
// unchanged when nothing is queued. A script can also pin the default
// paper, so that a test does not depend on the printers or the locale of
// the machine. Scripts nest; the innermost answers.
class PMPrintScript {
public:
    struct PaperSize {
        double width;   // points
        double height;  // points
    };
    struct PageSetupAnswer {
        bool accept = true;
        std::optional<PMOrientation> orientation;
        std::optional<PaperSize> paper;
    };
    struct PrintAnswer {
        bool accept = true;
        // A PDF file the job goes to, as if chosen in the dialog; empty
        // leaves the destination as it was.
        std::string pdfPath;
        std::optional<UInt32> copies;
    };
    // What a dialog showed when it came up.
    struct Dialog {
        enum class Kind { PageSetup, Print };
        Kind kind;
        PMOrientation orientation;
        PaperSize paper;
        std::string jobName;  // print dialogs only
    };

    PMPrintScript();
    ~PMPrintScript();
    PMPrintScript(const PMPrintScript&) = delete;
    PMPrintScript& operator=(const PMPrintScript&) = delete;

    void QueuePageSetup(const PageSetupAnswer& answer) { pageSetupAnswers_.push_back(answer); }
    void QueuePrint(const PrintAnswer& answer) { printAnswers_.push_back(answer); }
    // The paper of every default page format made while the script exists.
    void SetDefaultPaper(PaperSize paper) { defaultPaper_ = paper; }
    // The dialogs run so far, oldest first.
    const std::vector<Dialog>& Dialogs() const { return dialogs_; }

    // The innermost script, or nil.
    static PMPrintScript* Current();
    const std::optional<PaperSize>& DefaultPaper() const { return defaultPaper_; }
    // Records a dialog and takes its answer.
    PageSetupAnswer AnswerPageSetup(const Dialog& shown);
    PrintAnswer AnswerPrint(const Dialog& shown);

private:
    PMPrintScript* outer_;
    std::deque<PageSetupAnswer> pageSetupAnswers_;
    std::deque<PrintAnswer> printAnswers_;
    std::optional<PaperSize> defaultPaper_;
    std::vector<Dialog> dialogs_;
};
