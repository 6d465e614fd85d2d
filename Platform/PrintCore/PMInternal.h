// The Printing Manager's objects, shared by its source files. Not part of
// the public interface.
#pragma once

#include "PMApplication.h"

#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CFRuntime.h>

#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QString>

#include <memory>
#include <string>

class QPainter;
class QPrinter;

namespace PrintDetail {

// How many bitmap pixels a point is on a printed page (288 dots per
// inch), unless the page would need more than kMaxPagePixels: posters get
// fewer, so that a page's bitmap stays under 160 megabytes.
inline constexpr double kPageScale = 4;
inline constexpr double kMaxPagePixels = 40e6;

}  // namespace PrintDetail

struct OpaquePMPaper final : CFRuntimeObject {
    explicit OpaquePMPaper(const QPageSize& pageSize);
    CFStringRef CopyDescription() const override;

    const QPageSize size;
    const double width;   // points
    const double height;  // points
    CFRef<CFStringRef> name;
};

struct OpaquePMPageFormat final : CFRuntimeObject {
    OpaquePMPageFormat();
    CFStringRef CopyDescription() const override;

    CFRef<PMPaper> paper;
    PMOrientation orientation = kPMPortrait;
    bool orientationLocked = false;
};

struct OpaquePMPrintSettings final : CFRuntimeObject {
    OpaquePMPrintSettings();
    CFStringRef CopyDescription() const override;

    CFRef<CFStringRef> jobName;
    UInt32 copies = 1;
    bool copiesLocked = false;
    // Chosen in the print dialog; empty for the default printer.
    QString printerName;
    PMDestinationType destination = kPMDestinationPrinter;
    CFRef<CFURLRef> location;  // file destinations
};

struct OpaquePMPrintSession final : CFRuntimeObject {
    OpaquePMPrintSession();
    ~OpaquePMPrintSession() override;
    CFStringRef CopyDescription() const override;

    enum class State { Idle, Document, Page };

    OSStatus error = noErr;
    State state = State::Idle;
    // Made when first needed: QPrinter wants a QGuiApplication.
    std::unique_ptr<QPrinter> printer;
    std::unique_ptr<QPainter> painter;
    int pagesPrinted = 0;
    // The document's own format, for pages that name none.
    CFRef<PMPageFormat> documentFormat;

    // The open page.
    QImage surface;
    double pageScale = PrintDetail::kPageScale;  // surface pixels per point
    CGContextRef context = nullptr;
    PMOrientation pageOrientation = kPMPortrait;

    // A PDF job: where it goes and the hidden file it is written to first.
    std::string finalPath;
    std::string temporaryPath;
};

namespace PrintDetail {

OpaquePMPrintSession* AsSession(PMPrintSession session);
OpaquePMPageFormat* AsPageFormat(PMPageFormat format);
OpaquePMPrintSettings* AsPrintSettings(PMPrintSettings settings);
OpaquePMPaper* AsPaper(PMPaper paper);

// A new paper (caller releases).
PMPaper CreatePaper(const QPageSize& size);
// The paper a new format gets (see PMCore.h); a script's pinned paper
// first.
QPageSize DefaultPageSize();
// The page size of the locale's paper, from LC_PAPER; invalid when the
// locale does not say.
QPageSize LocalePageSize();
// The page size closest to the size in points: a named one when it is
// within a point of one, else a custom size.
QPageSize PageSizeForPoints(double width, double height);

bool IsLandscape(PMOrientation orientation);
QPageLayout::Orientation ToQtOrientation(PMOrientation orientation);
// What a dialog's choice makes of the format's orientation: the reverse
// kind is kept when the dialog left the page turned the same way.
PMOrientation FromQtOrientation(QPageLayout::Orientation chosen, PMOrientation current);
// The paper's width and height in the format's orientation.
QSizeF AdjustedPaperSize(const OpaquePMPageFormat* format);

QString StringToQt(CFStringRef s);
// A new string.
CFStringRef StringFromQt(const QString& text);
// The file-system path of a file URL; empty for anything else.
std::string FilePathOfURL(CFURLRef url);

// Whether widgets (and so the dialogs) can be shown.
bool HaveWidgetApplication();
// The session's printer, made on first use; nil without a QGuiApplication.
QPrinter* SessionPrinter(OpaquePMPrintSession* session);
// Puts the format's paper and orientation on the printer.
bool ApplyPageFormat(QPrinter* printer, const OpaquePMPageFormat* format);
// Sets the settings' destination to a PDF file at `path`.
void SetFileDestination(OpaquePMPrintSettings* settings, const std::string& path);

}  // namespace PrintDetail
