// Sessions and the drawing of a document: each page is drawn into a bitmap
// through our Quartz layer and painted onto the QPrinter when it ends.
#include "PMInternal.h"

#include <CoreGraphics/CGContextQt.h>

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

using namespace PrintDetail;

namespace {

OSStatus Fail(OpaquePMPrintSession* session, OSStatus status)
{
    if (status != noErr)
        session->error = status;
    return status;
}

// ---- the file a PDF job is written to first ----

// ".<name>." and six random letters, hidden in the destination's folder so
// that the final rename stays on one file system. Made here, with the
// umask's permissions, so that Qt only writes into it.
std::string MakeTemporaryFile(const std::string& finalPath)
{
    const QFileInfo info(QString::fromStdString(finalPath));
    const std::string folder = info.absolutePath().toStdString();
    // Short enough that the temporary's name stays within NAME_MAX.
    const std::string stem = folder + "/." + info.fileName().toStdString().substr(0, 200) + ".";
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = stem;
        for (int i = 0; i < 6; ++i)
            path += kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters - 1))];
        const int fd = open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
        if (fd >= 0) {
            close(fd);
            return path;
        }
        if (errno != EEXIST)
            break;
    }
    return {};
}

// Puts the finished file in place of its final name. Replacing a file
// there is what the user asked for in choosing it; a replaced file keeps
// its permissions.
bool CommitFile(const std::string& temporary, const std::string& finalPath)
{
    const int fd = open(temporary.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = fsync(fd) == 0;
    struct stat existing {};
    if (stat(finalPath.c_str(), &existing) == 0 && S_ISREG(existing.st_mode))
        fchmod(fd, existing.st_mode & 07777);
    close(fd);
    if (!synced || rename(temporary.c_str(), finalPath.c_str()) != 0)
        return false;
    // Best effort: the new name is in place once rename has answered.
    const std::string folder = QFileInfo(QString::fromStdString(finalPath)).absolutePath().toStdString();
    const int folderFD = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFD >= 0) {
        fsync(folderFD);
        close(folderFD);
    }
    return true;
}

void RemoveTemporaryFile(OpaquePMPrintSession* session)
{
    if (!session->temporaryPath.empty())
        unlink(session->temporaryPath.c_str());
    session->temporaryPath.clear();
    session->finalPath.clear();
}

// ---- pages ----

// The part of the page that was drawn on: everything else is transparent
// and prints as nothing, so it need not travel to the printer.
QRect DrawnBounds(const QImage& image)
{
    int top = image.height(), bottom = -1, left = image.width(), right = -1;
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        int first = -1, last = -1;
        for (int x = 0, w = image.width(); x < w; ++x) {
            if (qAlpha(row[x]) != 0) {
                if (first < 0)
                    first = x;
                last = x;
            }
        }
        if (first < 0)
            continue;
        top = std::min(top, y);
        bottom = y;
        left = std::min(left, first);
        right = std::max(right, last);
    }
    if (bottom < 0)
        return QRect();
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

void ReleasePage(OpaquePMPrintSession* session)
{
    CGContextRelease(session->context);
    session->context = nullptr;
    session->surface = QImage();
}

// Stops a job that cannot finish: nothing reaches the printer or the
// destination file.
void AbandonJob(OpaquePMPrintSession* session)
{
    ReleasePage(session);
    if (session->painter && session->painter->isActive()) {
        session->printer->abort();
        session->painter->end();
    }
    session->painter.reset();
    RemoveTemporaryFile(session);
    session->state = OpaquePMPrintSession::State::Idle;
}

bool ValidFrame(const PMRect& frame)
{
    return std::isfinite(frame.top) && std::isfinite(frame.left) && std::isfinite(frame.bottom) &&
           std::isfinite(frame.right) && frame.right > frame.left && frame.bottom > frame.top;
}

}  // namespace

OpaquePMPrintSession::OpaquePMPrintSession() : CFRuntimeObject(PMPrintSessionGetTypeID()) {}

OpaquePMPrintSession::~OpaquePMPrintSession()
{
    AbandonJob(this);
}

CFStringRef OpaquePMPrintSession::CopyDescription() const
{
    return StringFromQt(QString::fromStdString(CFRuntimeDescriptionPrefix(this)) +
                        QStringLiteral("{error = %1}").arg(error));
}

OSStatus PMCreateSession(PMPrintSession* printSession)
{
    if (printSession == nullptr)
        return kPMInvalidParameter;
    *printSession = new OpaquePMPrintSession;
    return noErr;
}

OSStatus PMSessionError(PMPrintSession printSession)
{
    OpaquePMPrintSession* session = AsSession(printSession);
    return session ? session->error : kPMInvalidParameter;
}

OSStatus PMSessionSetError(PMPrintSession printSession, OSStatus printError)
{
    OpaquePMPrintSession* session = AsSession(printSession);
    if (session == nullptr)
        return kPMInvalidParameter;
    session->error = printError;
    return noErr;
}

OSStatus PMSessionBeginCGDocumentNoDialog(PMPrintSession printSession, PMPrintSettings printSettings,
                                          PMPageFormat pageFormat)
{
    OpaquePMPrintSession* session = AsSession(printSession);
    if (session == nullptr)
        return kPMInvalidParameter;
    if (session->state != OpaquePMPrintSession::State::Idle)
        return Fail(session, kPMOutOfScope);
    session->error = noErr;
    OpaquePMPrintSettings* settings = AsPrintSettings(printSettings);
    OpaquePMPageFormat* format = AsPageFormat(pageFormat);
    if (settings == nullptr)
        return Fail(session, kPMInvalidPrintSettings);
    if (format == nullptr)
        return Fail(session, kPMInvalidPageFormat);
    QPrinter* printer = SessionPrinter(session);
    if (printer == nullptr)
        return Fail(session, kPMGeneralError);

    if (settings->destination == kPMDestinationFile) {
        const std::string path = FilePathOfURL(settings->location);
        const QFileInfo info(QString::fromStdString(path));
        if (path.empty() || info.isDir() || !QFileInfo(info.absolutePath()).isDir())
            return Fail(session, kPMInvalidParameter);
        std::string temporary = MakeTemporaryFile(path);
        if (temporary.empty())
            return Fail(session, kPMGeneralError);
        session->finalPath = path;
        session->temporaryPath = std::move(temporary);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(QString::fromStdString(session->temporaryPath));
    } else {
        const QString name =
            settings->printerName.isEmpty() ? QPrinterInfo::defaultPrinterName() : settings->printerName;
        if (name.isEmpty())
            return Fail(session, kPMNoDefaultPrinter);
        printer->setOutputFileName(QString());
        printer->setOutputFormat(QPrinter::NativeFormat);
        printer->setPrinterName(name);
        // Qt falls back to writing a PDF when the printer is gone.
        if (printer->outputFormat() != QPrinter::NativeFormat || !printer->isValid())
            return Fail(session, settings->printerName.isEmpty() ? kPMNoDefaultPrinter : kPMInvalidPrintSettings);
    }
    printer->setDocName(StringToQt(settings->jobName));
    printer->setCopyCount(static_cast<int>(settings->copies));
    if (!ApplyPageFormat(printer, format)) {
        RemoveTemporaryFile(session);
        return Fail(session, kPMInvalidPageFormat);
    }
    session->documentFormat = CFRef<PMPageFormat>();
    PMPageFormat copy = nullptr;
    PMCreatePageFormat(&copy);
    PMCopyPageFormat(format, copy);
    session->documentFormat.Reset(copy);
    session->painter = std::make_unique<QPainter>();
    session->pagesPrinted = 0;
    session->state = OpaquePMPrintSession::State::Document;
    return noErr;
}

OSStatus PMSessionBeginPageNoDialog(PMPrintSession printSession, PMPageFormat pageFormat, const PMRect* pageFrame)
{
    OpaquePMPrintSession* session = AsSession(printSession);
    if (session == nullptr)
        return kPMInvalidParameter;
    if (session->state != OpaquePMPrintSession::State::Document)
        return Fail(session, kPMOutOfScope);
    const OpaquePMPageFormat* format = AsPageFormat(pageFormat ? pageFormat : session->documentFormat.get());
    if (format == nullptr)
        return Fail(session, kPMInvalidPageFormat);
    if (pageFrame != nullptr && !ValidFrame(*pageFrame))
        return Fail(session, kPMInvalidParameter);

    QPrinter* printer = session->printer.get();
    if (!ApplyPageFormat(printer, format))
        return Fail(session, kPMInvalidPageFormat);
    // The painter starts on the first page, so that its paper is the one
    // this page asks for.
    const bool started = session->pagesPrinted == 0 ? session->painter->begin(printer) : printer->newPage();
    if (!started)
        return Fail(session, kPMGeneralError);

    const QSizeF paper = AdjustedPaperSize(format);
    session->pageScale = std::min(kPageScale, std::sqrt(kMaxPagePixels / (paper.width() * paper.height())));
    session->surface = QImage(
        QSize(int(std::ceil(paper.width() * session->pageScale)), int(std::ceil(paper.height() * session->pageScale))),
        QImage::Format_ARGB32_Premultiplied);
    if (session->surface.isNull())
        return Fail(session, kPMGeneralError);
    session->surface.fill(Qt::transparent);
    session->context = CGContextCreateWithQImage(&session->surface, false);
    if (session->context == nullptr) {
        session->surface = QImage();
        return Fail(session, kPMGeneralError);
    }
    // Callers draw in points.
    CGContextScaleCTM(session->context, CGFloat(session->pageScale), CGFloat(session->pageScale));
    if (pageFrame != nullptr) {
        CGContextClipToRect(session->context,
                            CGRectMake(CGFloat(pageFrame->left), CGFloat(paper.height() - pageFrame->bottom),
                                       CGFloat(pageFrame->right - pageFrame->left),
                                       CGFloat(pageFrame->bottom - pageFrame->top)));
    }
    session->pageOrientation = format->orientation;
    session->state = OpaquePMPrintSession::State::Page;
    return noErr;
}

OSStatus PMSessionGetCGGraphicsContext(PMPrintSession printSession, CGContextRef* context)
{
    OpaquePMPrintSession* session = AsSession(printSession);
    if (session == nullptr || context == nullptr)
        return kPMInvalidParameter;
    *context = nullptr;
    if (session->state != OpaquePMPrintSession::State::Page)
        return Fail(session, kPMOutOfScope);
    *context = session->context;
    return noErr;
}

OSStatus PMSessionEndPageNoDialog(PMPrintSession printSession)
{
    OpaquePMPrintSession* session = AsSession(printSession);
    if (session == nullptr)
        return kPMInvalidParameter;
    if (session->state != OpaquePMPrintSession::State::Page)
        return Fail(session, kPMOutOfScope);
    CGContextRelease(session->context);
    session->context = nullptr;

    const QRect drawn = DrawnBounds(session->surface);
    if (!drawn.isEmpty()) {
        QPainter& painter = *session->painter;
        QPrinter& printer = *session->printer;
        painter.save();
        if (session->pageOrientation == kPMReversePortrait || session->pageOrientation == kPMReverseLandscape) {
            const QRectF paper = printer.paperRect(QPrinter::DevicePixel);
            painter.translate(paper.width(), paper.height());
            painter.rotate(180);
        }
        const double devicePixelsPerPixel = printer.resolution() / 72.0 / session->pageScale;
        painter.scale(devicePixelsPerPixel, devicePixelsPerPixel);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(drawn.topLeft(), session->surface.copy(drawn));
        painter.restore();
    }
    session->surface = QImage();
    ++session->pagesPrinted;
    session->state = OpaquePMPrintSession::State::Document;
    return noErr;
}

OSStatus PMSessionEndDocumentNoDialog(PMPrintSession printSession)
{
    OpaquePMPrintSession* session = AsSession(printSession);
    if (session == nullptr)
        return kPMInvalidParameter;
    if (session->state == OpaquePMPrintSession::State::Idle)
        return Fail(session, kPMOutOfScope);
    if (session->state == OpaquePMPrintSession::State::Page)
        PMSessionEndPageNoDialog(printSession);

    OSStatus status = noErr;
    // A document without pages prints nothing: no job, no file.
    if (session->pagesPrinted > 0 && !session->painter->end())
        status = kPMGeneralError;
    session->painter.reset();
    if (!session->temporaryPath.empty()) {
        if (status == noErr && session->pagesPrinted > 0) {
            if (CommitFile(session->temporaryPath, session->finalPath))
                session->temporaryPath.clear();
            else
                status = kPMGeneralError;
        }
        RemoveTemporaryFile(session);
    }
    session->documentFormat.Reset();
    session->state = OpaquePMPrintSession::State::Idle;
    return Fail(session, status);
}

// ---- shared with the dialogs ----

namespace PrintDetail {

QPrinter* SessionPrinter(OpaquePMPrintSession* session)
{
    if (!session->printer) {
        if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr)
            return nullptr;
        session->printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    }
    return session->printer.get();
}

bool ApplyPageFormat(QPrinter* printer, const OpaquePMPageFormat* format)
{
    const OpaquePMPaper* paper = AsPaper(format->paper.get());
    // The page is the whole paper, its origin the paper's corner; what the
    // printer cannot reach it leaves out.
    printer->setFullPage(true);
    const bool sized = printer->setPageSize(paper->size);
    const bool turned = printer->setPageOrientation(ToQtOrientation(format->orientation));
    return sized && turned;
}

}  // namespace PrintDetail
