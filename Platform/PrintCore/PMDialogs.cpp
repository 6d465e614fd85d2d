// The page-setup and print dialogs, and the script that answers them in
// tests.
#include "PMInternal.h"

#include <Support/Diagnostics.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QThread>

#include <algorithm>

using namespace PrintDetail;

namespace {

PMPrintScript* currentScript = nullptr;

PMPrintScript::Dialog DescribeDialog(PMPrintScript::Dialog::Kind kind, const OpaquePMPageFormat* format,
                                     const OpaquePMPrintSettings* settings)
{
    const OpaquePMPaper* paper = AsPaper(format->paper.get());
    PMPrintScript::Dialog shown{kind, format->orientation, {paper->width, paper->height}, {}};
    if (settings != nullptr)
        shown.jobName = StringToQt(settings->jobName).toStdString();
    return shown;
}

// A dialog needs widgets, on the application's own thread.
bool CanShowDialogs()
{
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    return app != nullptr && QThread::currentThread() == app->thread();
}

// Puts the settings on the printer, so that the print dialog opens on
// them.
void ApplySettingsForDialog(QPrinter* printer, const OpaquePMPrintSettings* settings)
{
    printer->setDocName(StringToQt(settings->jobName));
    printer->setCopyCount(static_cast<int>(settings->copies));
    if (settings->destination == kPMDestinationFile) {
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(QString::fromStdString(FilePathOfURL(settings->location)));
    } else {
        // Not what an earlier job left on the printer: the chosen printer,
        // else the default one.
        printer->setOutputFileName(QString());
        printer->setOutputFormat(QPrinter::NativeFormat);
        printer->setPrinterName(settings->printerName.isEmpty() ? QPrinterInfo::defaultPrinterName()
                                                                : settings->printerName);
    }
}

// The file a print to a folder goes to: named after the job, as the
// dialog itself names it on X11 (elsewhere it offers only the folder).
QString FileInFolder(const QString& folder, const QString& jobName)
{
    QString name = jobName.trimmed();
    name.replace(QLatin1Char('/'), QLatin1Char('-'));
    while (name.startsWith(QLatin1Char('.')))
        name.remove(0, 1);
    if (name.isEmpty())
        name = QStringLiteral("print");
    return QDir(folder).filePath(name + QStringLiteral(".pdf"));
}

// Reads back what the user chose in the print dialog.
void TakeSettingsFromDialog(const QPrinter* printer, OpaquePMPrintSettings* settings)
{
    if (printer->outputFormat() == QPrinter::PdfFormat) {
        QString path = printer->outputFileName();
        if (!path.isEmpty()) {
            if (path.endsWith(QLatin1Char('/')) || QFileInfo(path).isDir())
                path = FileInFolder(path, StringToQt(settings->jobName));
            settings->printerName.clear();
            SetFileDestination(settings, path.toStdString());
        }
    } else {
        settings->destination = kPMDestinationPrinter;
        settings->location.Reset();
        settings->printerName = printer->printerName();
    }
    if (!settings->copiesLocked)
        settings->copies = static_cast<UInt32>(std::max(1, printer->copyCount()));
}

}  // namespace

OSStatus PMSessionPageSetupDialog(PMPrintSession printSession, PMPageFormat pageFormat, Boolean* accepted)
{
    OpaquePMPrintSession* session = AsSession(printSession);
    if (session == nullptr || accepted == nullptr)
        return kPMInvalidParameter;
    *accepted = false;
    OpaquePMPageFormat* format = AsPageFormat(pageFormat);
    if (format == nullptr)
        return session->error = kPMInvalidPageFormat;
    // The printer is busy with a job until it ends.
    if (session->state != OpaquePMPrintSession::State::Idle)
        return session->error = kPMOutOfScope;

    if (PMPrintScript* script = PMPrintScript::Current()) {
        const PMPrintScript::PageSetupAnswer answer =
            script->AnswerPageSetup(DescribeDialog(PMPrintScript::Dialog::Kind::PageSetup, format, nullptr));
        if (answer.accept) {
            if (answer.paper) {
                const QPageSize size = PageSizeForPoints(answer.paper->width, answer.paper->height);
                if (size.isValid())
                    format->paper.Reset(CreatePaper(size));
            }
            if (answer.orientation && !format->orientationLocked && *answer.orientation >= kPMPortrait &&
                *answer.orientation <= kPMReverseLandscape)
                format->orientation = *answer.orientation;
        }
        *accepted = answer.accept;
        return noErr;
    }
    if (!CanShowDialogs()) {
        Diagnostics::WriteLine("Warning: The page setup dialog cannot be shown without a widget application.");
        return noErr;
    }
    QPrinter* printer = SessionPrinter(session);
    ApplyPageFormat(printer, format);
    QPageSetupDialog dialog(printer);
    if (dialog.exec() != QDialog::Accepted)
        return noErr;
    const QPageLayout layout = printer->pageLayout();
    format->paper.Reset(CreatePaper(layout.pageSize()));
    if (!format->orientationLocked)
        format->orientation = FromQtOrientation(layout.orientation(), format->orientation);
    *accepted = true;
    return noErr;
}

OSStatus PMSessionPrintDialog(PMPrintSession printSession, PMPrintSettings printSettings, PMPageFormat constPageFormat,
                              Boolean* accepted)
{
    OpaquePMPrintSession* session = AsSession(printSession);
    if (session == nullptr || accepted == nullptr)
        return kPMInvalidParameter;
    *accepted = false;
    OpaquePMPrintSettings* settings = AsPrintSettings(printSettings);
    const OpaquePMPageFormat* format = AsPageFormat(constPageFormat);
    if (settings == nullptr)
        return session->error = kPMInvalidPrintSettings;
    if (format == nullptr)
        return session->error = kPMInvalidPageFormat;
    if (session->state != OpaquePMPrintSession::State::Idle)
        return session->error = kPMOutOfScope;

    if (PMPrintScript* script = PMPrintScript::Current()) {
        const PMPrintScript::PrintAnswer answer =
            script->AnswerPrint(DescribeDialog(PMPrintScript::Dialog::Kind::Print, format, settings));
        if (answer.accept) {
            if (!answer.pdfPath.empty()) {
                settings->printerName.clear();
                SetFileDestination(settings, answer.pdfPath);
            }
            if (answer.copies && *answer.copies > 0 && !settings->copiesLocked)
                settings->copies = *answer.copies;
        }
        *accepted = answer.accept;
        return noErr;
    }
    if (!CanShowDialogs()) {
        Diagnostics::WriteLine("Warning: The print dialog cannot be shown without a widget application.");
        return noErr;
    }
    QPrinter* printer = SessionPrinter(session);
    ApplyPageFormat(printer, format);
    ApplySettingsForDialog(printer, settings);
    QPrintDialog dialog(printer);
    if (dialog.exec() != QDialog::Accepted)
        return noErr;
    TakeSettingsFromDialog(printer, settings);
    *accepted = true;
    return noErr;
}

// ---- the script ----

PMPrintScript::PMPrintScript() : outer_(currentScript)
{
    currentScript = this;
}

PMPrintScript::~PMPrintScript()
{
    currentScript = outer_;
}

PMPrintScript* PMPrintScript::Current()
{
    return currentScript;
}

PMPrintScript::PageSetupAnswer PMPrintScript::AnswerPageSetup(const Dialog& shown)
{
    dialogs_.push_back(shown);
    if (pageSetupAnswers_.empty())
        return PageSetupAnswer{};
    PageSetupAnswer answer = pageSetupAnswers_.front();
    pageSetupAnswers_.pop_front();
    return answer;
}

PMPrintScript::PrintAnswer PMPrintScript::AnswerPrint(const Dialog& shown)
{
    dialogs_.push_back(shown);
    if (printAnswers_.empty())
        return PrintAnswer{};
    PrintAnswer answer = printAnswers_.front();
    printAnswers_.pop_front();
    return answer;
}
