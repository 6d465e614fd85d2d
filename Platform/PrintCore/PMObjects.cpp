// Page formats, papers, print settings, and the choice of the default
// paper.
#include "PMInternal.h"

#include <QGuiApplication>
#include <QPrinterInfo>

#include <langinfo.h>
#include <locale.h>

#include <climits>
#include <cstdint>
#include <utility>

using namespace PrintDetail;

const CFStringRef kPMDocumentFormatPDF = CFSTR("application/pdf");

namespace {

template <typename Object>
Object* Checked(const void* ref, CFTypeID type)
{
    if (ref == nullptr || CFGetTypeID(ref) != type)
        return nullptr;
    return static_cast<Object*>(const_cast<void*>(ref));
}

bool IsPrintingObject(const void* ref)
{
    if (ref == nullptr)
        return false;
    const CFTypeID type = CFGetTypeID(ref);
    return type == PMPrintSessionGetTypeID() || type == PMPageFormatGetTypeID() || type == PMPrintSettingsGetTypeID() ||
           type == PMPaperGetTypeID();
}

CFStringRef Describe(const CFRuntimeObject* object, const QString& fields)
{
    return StringFromQt(QString::fromStdString(CFRuntimeDescriptionPrefix(object)) + QStringLiteral("{") + fields +
                        QStringLiteral("}"));
}

PMPaper NewDefaultPaper()
{
    return CreatePaper(DefaultPageSize());
}

// Qt rounds a size in points to whole points (A4 would be 595 × 842); the
// size as the paper is defined gives the exact figure.
QSizeF ExactPoints(const QPageSize& size)
{
    const QSizeF defined = size.definitionSize();
    switch (size.definitionUnits()) {
    case QPageSize::Millimeter:
        return defined * (72.0 / 25.4);
    case QPageSize::Inch:
        return defined * 72.0;
    case QPageSize::Point:
        return defined;
    default:
        return size.size(QPageSize::Point);
    }
}

}  // namespace

// ---- the objects ----

OpaquePMPaper::OpaquePMPaper(const QPageSize& pageSize)
    : CFRuntimeObject(PMPaperGetTypeID()), size(pageSize), width(ExactPoints(pageSize).width()),
      height(ExactPoints(pageSize).height()), name(StringFromQt(pageSize.name()))
{}

CFStringRef OpaquePMPaper::CopyDescription() const
{
    return Describe(this, QStringLiteral("%1, %2 x %3 pt").arg(size.name()).arg(width).arg(height));
}

OpaquePMPageFormat::OpaquePMPageFormat() : CFRuntimeObject(PMPageFormatGetTypeID()) {}

CFStringRef OpaquePMPageFormat::CopyDescription() const
{
    const OpaquePMPaper* p = paper.get();
    return Describe(
        this, QStringLiteral("paper = %1, orientation = %2").arg(p ? p->size.name() : QString()).arg(orientation));
}

OpaquePMPrintSettings::OpaquePMPrintSettings() : CFRuntimeObject(PMPrintSettingsGetTypeID()) {}

CFStringRef OpaquePMPrintSettings::CopyDescription() const
{
    return Describe(this, QStringLiteral("job = %1, copies = %2, destination = %3")
                              .arg(StringToQt(jobName))
                              .arg(copies)
                              .arg(destination));
}

CFTypeID PMPrintSessionGetTypeID()
{
    static const CFTypeID type = CFRuntimeRegisterType("PMPrintSession");
    return type;
}

CFTypeID PMPageFormatGetTypeID()
{
    static const CFTypeID type = CFRuntimeRegisterType("PMPageFormat");
    return type;
}

CFTypeID PMPrintSettingsGetTypeID()
{
    static const CFTypeID type = CFRuntimeRegisterType("PMPrintSettings");
    return type;
}

CFTypeID PMPaperGetTypeID()
{
    static const CFTypeID type = CFRuntimeRegisterType("PMPaper");
    return type;
}

OSStatus PMRetain(PMObject object)
{
    if (object == nullptr)
        return noErr;
    if (!IsPrintingObject(object))
        return kPMInvalidParameter;
    CFRetain(object);
    return noErr;
}

OSStatus PMRelease(PMObject object)
{
    if (object == nullptr)
        return noErr;
    if (!IsPrintingObject(object))
        return kPMInvalidParameter;
    CFRelease(object);
    return noErr;
}

// ---- page formats ----

OSStatus PMCreatePageFormat(PMPageFormat* pageFormat)
{
    if (pageFormat == nullptr)
        return kPMInvalidParameter;
    auto* format = new OpaquePMPageFormat;
    format->paper.Reset(NewDefaultPaper());
    *pageFormat = format;
    return noErr;
}

OSStatus PMSessionDefaultPageFormat(PMPrintSession printSession, PMPageFormat pageFormat)
{
    OpaquePMPrintSession* session = AsSession(printSession);
    OpaquePMPageFormat* format = AsPageFormat(pageFormat);
    if (session == nullptr)
        return kPMInvalidParameter;
    if (format == nullptr)
        return session->error = kPMInvalidPageFormat;
    format->paper.Reset(NewDefaultPaper());
    format->orientation = kPMPortrait;
    format->orientationLocked = false;
    return noErr;
}

OSStatus PMCopyPageFormat(PMPageFormat formatSrc, PMPageFormat formatDest)
{
    OpaquePMPageFormat* source = AsPageFormat(formatSrc);
    OpaquePMPageFormat* dest = AsPageFormat(formatDest);
    if (source == nullptr || dest == nullptr)
        return kPMInvalidPageFormat;
    if (source != dest) {
        dest->paper = CFRef<PMPaper>::Retained(source->paper.get());
        dest->orientation = source->orientation;
        dest->orientationLocked = source->orientationLocked;
    }
    return noErr;
}

OSStatus PMSetOrientation(PMPageFormat pageFormat, PMOrientation orientation, Boolean lock)
{
    OpaquePMPageFormat* format = AsPageFormat(pageFormat);
    if (format == nullptr)
        return kPMInvalidPageFormat;
    if (orientation < kPMPortrait || orientation > kPMReverseLandscape)
        return kPMInvalidParameter;
    format->orientation = orientation;
    format->orientationLocked = lock;
    return noErr;
}

OSStatus PMGetOrientation(PMPageFormat pageFormat, PMOrientation* orientation)
{
    OpaquePMPageFormat* format = AsPageFormat(pageFormat);
    if (orientation == nullptr)
        return kPMInvalidParameter;
    if (format == nullptr)
        return kPMInvalidPageFormat;
    *orientation = format->orientation;
    return noErr;
}

OSStatus PMGetPageFormatPaper(PMPageFormat pageFormat, PMPaper* paper)
{
    OpaquePMPageFormat* format = AsPageFormat(pageFormat);
    if (paper == nullptr)
        return kPMInvalidParameter;
    if (format == nullptr)
        return kPMInvalidPageFormat;
    *paper = format->paper.get();
    return noErr;
}

OSStatus PMPaperGetWidth(PMPaper paper, double* paperWidth)
{
    OpaquePMPaper* p = AsPaper(paper);
    if (p == nullptr || paperWidth == nullptr)
        return kPMInvalidParameter;
    *paperWidth = p->width;
    return noErr;
}

OSStatus PMPaperGetHeight(PMPaper paper, double* paperHeight)
{
    OpaquePMPaper* p = AsPaper(paper);
    if (p == nullptr || paperHeight == nullptr)
        return kPMInvalidParameter;
    *paperHeight = p->height;
    return noErr;
}

OSStatus PMPaperGetName(PMPaper paper, CFStringRef* paperName)
{
    OpaquePMPaper* p = AsPaper(paper);
    if (p == nullptr || paperName == nullptr)
        return kPMInvalidParameter;
    *paperName = p->name.get();
    return noErr;
}

namespace {

OSStatus GetPaperRect(PMPageFormat pageFormat, PMRect* rect, bool adjusted)
{
    OpaquePMPageFormat* format = AsPageFormat(pageFormat);
    if (rect == nullptr)
        return kPMInvalidParameter;
    if (format == nullptr)
        return kPMInvalidPageFormat;
    const OpaquePMPaper* paper = AsPaper(format->paper.get());
    const QSizeF size = adjusted ? AdjustedPaperSize(format) : QSizeF(paper->width, paper->height);
    *rect = PMRect{0, 0, size.height(), size.width()};
    return noErr;
}

}  // namespace

OSStatus PMGetAdjustedPaperRect(PMPageFormat pageFormat, PMRect* paperRect)
{
    return GetPaperRect(pageFormat, paperRect, true);
}

OSStatus PMGetAdjustedPageRect(PMPageFormat pageFormat, PMRect* pageRect)
{
    return GetPaperRect(pageFormat, pageRect, true);
}

OSStatus PMGetUnadjustedPaperRect(PMPageFormat pageFormat, PMRect* paperRect)
{
    return GetPaperRect(pageFormat, paperRect, false);
}

OSStatus PMGetUnadjustedPageRect(PMPageFormat pageFormat, PMRect* pageRect)
{
    return GetPaperRect(pageFormat, pageRect, false);
}

// ---- print settings ----

OSStatus PMCreatePrintSettings(PMPrintSettings* printSettings)
{
    if (printSettings == nullptr)
        return kPMInvalidParameter;
    *printSettings = new OpaquePMPrintSettings;
    return noErr;
}

OSStatus PMSessionDefaultPrintSettings(PMPrintSession printSession, PMPrintSettings printSettings)
{
    OpaquePMPrintSession* session = AsSession(printSession);
    OpaquePMPrintSettings* settings = AsPrintSettings(printSettings);
    if (session == nullptr)
        return kPMInvalidParameter;
    if (settings == nullptr)
        return session->error = kPMInvalidPrintSettings;
    settings->jobName.Reset();
    settings->copies = 1;
    settings->copiesLocked = false;
    settings->printerName.clear();
    settings->destination = kPMDestinationPrinter;
    settings->location.Reset();
    return noErr;
}

OSStatus PMCopyPrintSettings(PMPrintSettings source, PMPrintSettings dest)
{
    OpaquePMPrintSettings* from = AsPrintSettings(source);
    OpaquePMPrintSettings* to = AsPrintSettings(dest);
    if (from == nullptr || to == nullptr)
        return kPMInvalidPrintSettings;
    if (from != to) {
        to->jobName = CFRef<CFStringRef>::Retained(from->jobName.get());
        to->copies = from->copies;
        to->copiesLocked = from->copiesLocked;
        to->printerName = from->printerName;
        to->destination = from->destination;
        to->location = CFRef<CFURLRef>::Retained(from->location.get());
    }
    return noErr;
}

OSStatus PMPrintSettingsSetJobName(PMPrintSettings printSettings, CFStringRef name)
{
    OpaquePMPrintSettings* settings = AsPrintSettings(printSettings);
    if (settings == nullptr)
        return kPMInvalidPrintSettings;
    if (name != nullptr && CFGetTypeID(name) != CFStringGetTypeID())
        return kPMInvalidParameter;
    // A copy: the caller may go on editing a mutable string it handed in.
    settings->jobName.Reset(name ? CFStringCreateCopy(nullptr, name) : nullptr);
    return noErr;
}

OSStatus PMPrintSettingsGetJobName(PMPrintSettings printSettings, CFStringRef* name)
{
    OpaquePMPrintSettings* settings = AsPrintSettings(printSettings);
    if (name == nullptr)
        return kPMInvalidParameter;
    if (settings == nullptr)
        return kPMInvalidPrintSettings;
    *name = settings->jobName.get();
    return noErr;
}

OSStatus PMSetCopies(PMPrintSettings printSettings, UInt32 copies, Boolean lock)
{
    OpaquePMPrintSettings* settings = AsPrintSettings(printSettings);
    if (settings == nullptr)
        return kPMInvalidPrintSettings;
    if (copies == 0 || copies > static_cast<UInt32>(INT_MAX))
        return kPMInvalidParameter;
    settings->copies = copies;
    settings->copiesLocked = lock;
    return noErr;
}

OSStatus PMGetCopies(PMPrintSettings printSettings, UInt32* copies)
{
    OpaquePMPrintSettings* settings = AsPrintSettings(printSettings);
    if (copies == nullptr)
        return kPMInvalidParameter;
    if (settings == nullptr)
        return kPMInvalidPrintSettings;
    *copies = settings->copies;
    return noErr;
}

OSStatus PMSessionSetDestination(PMPrintSession printSession, PMPrintSettings printSettings, PMDestinationType destType,
                                 CFStringRef destFormat, CFURLRef destLocation)
{
    OpaquePMPrintSession* session = AsSession(printSession);
    OpaquePMPrintSettings* settings = AsPrintSettings(printSettings);
    if (session == nullptr)
        return kPMInvalidParameter;
    if (settings == nullptr)
        return session->error = kPMInvalidPrintSettings;
    const bool pdf = destFormat == nullptr ||
                     (CFGetTypeID(destFormat) == CFStringGetTypeID() && CFEqual(destFormat, kPMDocumentFormatPDF));
    switch (destType) {
    case kPMDestinationPrinter:
        if (destLocation != nullptr || !pdf)
            return session->error = kPMInvalidParameter;
        settings->destination = kPMDestinationPrinter;
        settings->location.Reset();
        return noErr;
    case kPMDestinationFile: {
        const std::string path = FilePathOfURL(destLocation);
        if (path.empty() || !pdf)
            return session->error = kPMInvalidParameter;
        SetFileDestination(settings, path);
        return noErr;
    }
    default:
        return session->error = kPMInvalidParameter;
    }
}

OSStatus PMSessionGetDestinationType(PMPrintSession printSession, PMPrintSettings printSettings,
                                     PMDestinationType* destTypeP)
{
    OpaquePMPrintSettings* settings = AsPrintSettings(printSettings);
    if (AsSession(printSession) == nullptr || destTypeP == nullptr)
        return kPMInvalidParameter;
    if (settings == nullptr)
        return kPMInvalidPrintSettings;
    *destTypeP = settings->destination;
    return noErr;
}

OSStatus PMSessionCopyDestinationLocation(PMPrintSession printSession, PMPrintSettings printSettings,
                                          CFURLRef* destLocationP)
{
    OpaquePMPrintSettings* settings = AsPrintSettings(printSettings);
    if (AsSession(printSession) == nullptr || destLocationP == nullptr)
        return kPMInvalidParameter;
    *destLocationP = nullptr;
    if (settings == nullptr)
        return kPMInvalidPrintSettings;
    if (settings->destination != kPMDestinationFile || !settings->location)
        return kPMNoSuchEntry;
    *destLocationP = static_cast<CFURLRef>(CFRetain(settings->location.get()));
    return noErr;
}

// ---- shared helpers ----

namespace PrintDetail {

OpaquePMPrintSession* AsSession(PMPrintSession session)
{
    return Checked<OpaquePMPrintSession>(session, PMPrintSessionGetTypeID());
}

OpaquePMPageFormat* AsPageFormat(PMPageFormat format)
{
    return Checked<OpaquePMPageFormat>(format, PMPageFormatGetTypeID());
}

OpaquePMPrintSettings* AsPrintSettings(PMPrintSettings settings)
{
    return Checked<OpaquePMPrintSettings>(settings, PMPrintSettingsGetTypeID());
}

OpaquePMPaper* AsPaper(PMPaper paper)
{
    return Checked<OpaquePMPaper>(paper, PMPaperGetTypeID());
}

PMPaper CreatePaper(const QPageSize& size)
{
    return new OpaquePMPaper(size.isValid() ? size : QPageSize(QPageSize::A4));
}

QPageSize DefaultPageSize()
{
    if (PMPrintScript* script = PMPrintScript::Current(); script && script->DefaultPaper())
        return PageSizeForPoints(script->DefaultPaper()->width, script->DefaultPaper()->height);
    // Asking for printers loads the printing system's plugin, which wants
    // the application's platform.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
        const QPrinterInfo printer = QPrinterInfo::defaultPrinter();
        if (!printer.isNull()) {
            const QPageSize size = printer.defaultPageSize();
            if (size.isValid())
                return size;
        }
    }
    const QPageSize size = LocalePageSize();
    return size.isValid() ? size : QPageSize(QPageSize::A4);
}

QPageSize LocalePageSize()
{
    // The locale the user's environment names, whatever this process has
    // set with setlocale.
    locale_t paperLocale = newlocale(LC_PAPER_MASK, "", static_cast<locale_t>(nullptr));
    if (paperLocale == static_cast<locale_t>(nullptr))
        return QPageSize();
    // glibc answers these two as numbers (millimetres) in the pointer.
    const auto width = static_cast<int>(reinterpret_cast<intptr_t>(nl_langinfo_l(_NL_PAPER_WIDTH, paperLocale)));
    const auto height = static_cast<int>(reinterpret_cast<intptr_t>(nl_langinfo_l(_NL_PAPER_HEIGHT, paperLocale)));
    freelocale(paperLocale);
    if (width <= 0 || height <= 0 || width > 10000 || height > 10000)
        return QPageSize();
    return QPageSize(QSizeF(width, height), QPageSize::Millimeter);
}

QPageSize PageSizeForPoints(double width, double height)
{
    if (!(width > 0) || !(height > 0))
        return QPageSize();
    return QPageSize(QSizeF(width, height), QPageSize::Point);
}

bool IsLandscape(PMOrientation orientation)
{
    return orientation == kPMLandscape || orientation == kPMReverseLandscape;
}

QPageLayout::Orientation ToQtOrientation(PMOrientation orientation)
{
    return IsLandscape(orientation) ? QPageLayout::Landscape : QPageLayout::Portrait;
}

PMOrientation FromQtOrientation(QPageLayout::Orientation chosen, PMOrientation current)
{
    if (ToQtOrientation(current) == chosen)
        return current;
    return chosen == QPageLayout::Landscape ? kPMLandscape : kPMPortrait;
}

QSizeF AdjustedPaperSize(const OpaquePMPageFormat* format)
{
    const OpaquePMPaper* paper = AsPaper(format->paper.get());
    if (IsLandscape(format->orientation))
        return QSizeF(paper->height, paper->width);
    return QSizeF(paper->width, paper->height);
}

QString StringToQt(CFStringRef s)
{
    if (s == nullptr || CFGetTypeID(s) != CFStringGetTypeID())
        return QString();
    const CFIndex length = CFStringGetLength(s);
    QString text(static_cast<qsizetype>(length), Qt::Uninitialized);
    CFStringGetCharacters(s, CFRangeMake(0, length), reinterpret_cast<UniChar*>(text.data()));
    return text;
}

CFStringRef StringFromQt(const QString& text)
{
    return CFStringCreateWithCharacters(nullptr, reinterpret_cast<const UniChar*>(text.utf16()), text.size());
}

std::string FilePathOfURL(CFURLRef url)
{
    if (url == nullptr || CFGetTypeID(url) != CFURLGetTypeID())
        return {};
    CFRef<CFStringRef> scheme(CFURLCopyScheme(url));
    if (!scheme || CFStringCompare(scheme, CFSTR("file"), kCFCompareCaseInsensitive) != kCFCompareEqualTo)
        return {};
    UInt8 buffer[PATH_MAX + 1] = {};
    if (!CFURLGetFileSystemRepresentation(url, true, buffer, sizeof buffer))
        return {};
    return reinterpret_cast<const char*>(buffer);
}

void SetFileDestination(OpaquePMPrintSettings* settings, const std::string& path)
{
    settings->destination = kPMDestinationFile;
    settings->location.Reset(CFURLCreateFromFileSystemRepresentation(
        nullptr, reinterpret_cast<const UInt8*>(path.data()), static_cast<CFIndex>(path.size()), false));
}

}  // namespace PrintDetail
