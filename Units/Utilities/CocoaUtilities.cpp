#include "CocoaUtilities.h"

#include <CarbonCore/CarbonEventLoop.h>
#include <CoreFoundation/CFRef.h>
#include <Support/Diagnostics.h>
#include <Support/Process.h>

#include <QString>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

// Pools opened through OpenPool on the main thread and not yet closed. A
// pool left open across passes of the event loop would hold every object
// autoreleased meanwhile, so a watchdog says so while one is.
int gPoolDepth = 0;
EventLoopTimerRef gWatchdog = nullptr;

bool OnMainThread()
{
    return gettid() == getpid();
}

void WatchdogCallback(EventLoopTimerRef timer, void*)
{
    if (IsPoolOpen())
        Diagnostics::WriteLine("Warning: Autorelease pool was probably left open.");
    else
        SetEventLoopTimerNextFireTime(timer, kEventDurationForever);  // asleep until the next pool
}

// The nearest whole number, halves to the even one.
double RoundHalfEven(double value)
{
    return std::nearbyint(value);
}

NSDateComponents* OneComponent(NSInteger NSDateComponents::*field, NSInteger n)
{
    NSDateComponents* components = NSDateComponents::components();
    components->*field = n;
    return components;
}

NSDate* Adding(const NSDate* date, NSInteger NSDateComponents::*field, NSInteger n)
{
    return NSCalendar::currentCalendar()->dateByAddingComponents(OneComponent(field, n), date, 0);
}

// The day classes' hours: from the start of today to the date, in whole
// hours toward zero.
double HoursSinceMidnight(const NSDate* date)
{
    return std::trunc(date->timeIntervalSinceDate(NSDateUtilities::midnight()) / 3600.0);
}

NSString* Formatted(const NSDate* date, NSDateFormatterStyle style, bool relative)
{
    NSDateFormatter* formatter = NSDateFormatter::dateFormatter();
    formatter->setDateStyle(style);
    formatter->setTimeStyle(style);
    if (formatter->respondsToSelector("setDoesRelativeDateFormatting:"))
        formatter->setDoesRelativeDateFormatting(relative);
    return formatter->stringFromDate(date);
}

CFTimeZoneRef SystemZone()
{
    static CFTimeZoneRef zone = nullptr;
    if (zone == nullptr)
        zone = CFTimeZoneCopySystem();  // the system zone is read once per process
    return zone;
}

}  // namespace

void OpenPool(NSAutoreleasePool*& pool)
{
    pool = nullptr;
    pool = NSAutoreleasePool::newPool();
    if (OnMainThread() && gPoolDepth++ == 0 && gWatchdog != nullptr)
        SetEventLoopTimerNextFireTime(gWatchdog, 1.0);
}

void ClosePool(NSAutoreleasePool* pool)
{
    if (pool == nullptr)
        return;
    pool->release();
    if (OnMainThread() && gPoolDepth > 0)
        --gPoolDepth;
}

bool IsPoolOpen()
{
    return gPoolDepth > 0;
}

void NSShow(const NSObject* object)
{
    if (object == nullptr) {
        CFShow(nullptr);
        return;
    }
    CFShow(object->description()->cfString());
}

CFGregorianDate CFDateGetGregorianDate(CFDateRef date)
{
    CFRef<CFTimeZoneRef> zone(CFTimeZoneCopyDefault());
    return CFAbsoluteTimeGetGregorianDate(CFDateGetAbsoluteTime(date), zone);
}

namespace NSDateUtilities {

NSDate* midnight()
{
    NSCalendar* calendar = NSCalendar::calendarWithIdentifier("gregorian");
    NSDateComponents* today =
        calendar->components(NSCalendarUnitYear | NSCalendarUnitMonth | NSCalendarUnitDay, NSDate::date());
    today->hour = 0;
    today->minute = 0;
    return calendar->dateFromComponents(today);
}

bool isYesterday(const NSDate* date)
{
    const double h = HoursSinceMidnight(date);
    return h >= -23 && h <= -1;
}

bool isToday(const NSDate* date)
{
    const double h = HoursSinceMidnight(date);
    return h >= 0 && h <= 23;
}

bool isTomorrow(const NSDate* date)
{
    const double h = HoursSinceMidnight(date);
    return h >= 24 && h <= 47;
}

CFGregorianUnits unitsRelativeToDate(const NSDate* date)
{
    CFGregorianUnits units{};
    const double fromNow = date->timeIntervalSinceNow();
    units.hours = static_cast<SInt32>(RoundHalfEven(fromNow / 3600.0));
    units.minutes = static_cast<SInt32>(RoundHalfEven(fromNow / 60.0));
    const double r = RoundHalfEven(date->timeIntervalSinceDate(midnight()) / 3600.0);
    if (r >= -23 && r <= -1)
        units.days = -1;
    else if (r >= 0 && r <= 23)
        units.days = 0;
    else if (r >= 24 && r <= 47)
        units.days = 1;
    else
        units.days = static_cast<SInt32>(RoundHalfEven(fromNow / 86400.0));
    return units;
}

NSDate* dateWithZeroSeconds(const NSDate* date)
{
    NSCalendar* calendar = NSCalendar::currentCalendar();
    NSDateComponents* parts = calendar->components(NSCalendarUnitYear | NSCalendarUnitMonth | NSCalendarUnitDay |
                                                       NSCalendarUnitHour | NSCalendarUnitMinute | NSCalendarUnitSecond,
                                                   date);
    parts->second = 0;
    return calendar->dateFromComponents(parts);
}

NSDate* dateWithoutTime(const NSDate* date)
{
    NSCalendar* calendar = NSCalendar::currentCalendar();
    NSDateComponents* parts = calendar->components(NSCalendarUnitYear | NSCalendarUnitMonth | NSCalendarUnitDay |
                                                       NSCalendarUnitHour | NSCalendarUnitMinute | NSCalendarUnitSecond,
                                                   date);
    parts->hour = 0;
    parts->minute = 0;
    parts->second = 0;
    return calendar->dateFromComponents(parts);
}

NSString* shortDateString(const NSDate* date, bool relative)
{
    return Formatted(date, NSDateFormatterShortStyle, relative);
}

NSString* mediumDateString(const NSDate* date, bool relative)
{
    return Formatted(date, NSDateFormatterMediumStyle, relative);
}

NSString* longDateString(const NSDate* date, bool relative)
{
    return Formatted(date, NSDateFormatterLongStyle, relative);
}

NSString* fullDateString(const NSDate* date, bool relative)
{
    return Formatted(date, NSDateFormatterMediumStyle, relative);
}

bool occurredAfter(const NSDate* date, const NSDate* other)
{
    return date->compare(other) == NSOrderedDescending;
}

bool occurredBefore(const NSDate* date, const NSDate* other)
{
    return date->compare(other) == NSOrderedAscending;
}

bool occurredOn(const NSDate* date, const NSDate* other)
{
    return date->compare(other) == NSOrderedSame;
}

bool occurredAlready(const NSDate* date)
{
    NSDate* now = NSDate::date();
    return occurredBefore(date, now) || occurredOn(date, now);
}

bool occursInFuture(const NSDate* date)
{
    return occurredAfter(date, NSDate::date());
}

bool occurredMinutes(const NSDate* date, NSInteger minutes, const NSDate* other)
{
    const double m = RoundHalfEven(date->timeIntervalSinceDate(other) / 60.0);
    return m <= 0 && -m <= static_cast<double>(minutes);
}

NSDate* dateByAddingMinutes(const NSDate* date, NSInteger n)
{
    return Adding(date, &NSDateComponents::minute, n);
}

NSDate* dateByAddingHours(const NSDate* date, NSInteger n)
{
    return Adding(date, &NSDateComponents::hour, n);
}

NSDate* dateByAddingDays(const NSDate* date, NSInteger n)
{
    return Adding(date, &NSDateComponents::day, n);
}

NSDate* dateByAddingWeeks(const NSDate* date, NSInteger n)
{
    return Adding(date, &NSDateComponents::week, n);
}

NSDate* dateByAddingMonths(const NSDate* date, NSInteger n)
{
    return Adding(date, &NSDateComponents::month, n);
}

NSDate* dateByAddingYears(const NSDate* date, NSInteger n)
{
    return Adding(date, &NSDateComponents::year, n);
}

CFGregorianUnits differenceAsGregorianUnits(const NSDate* date, const NSDate* other)
{
    return CFAbsoluteTimeGetDifferenceAsGregorianUnits(date->timeIntervalSinceReferenceDate(),
                                                       other->timeIntervalSinceReferenceDate(), SystemZone(),
                                                       kCFGregorianAllUnits);
}

NSInteger dayOfWeek(const NSDate* date)
{
    return CFAbsoluteTimeGetDayOfWeek(date->timeIntervalSinceReferenceDate(), SystemZone());
}

NSInteger dayOfYear(const NSDate* date)
{
    return CFAbsoluteTimeGetDayOfYear(date->timeIntervalSinceReferenceDate(), SystemZone());
}

CFGregorianDate gregorianDate(const NSDate* date)
{
    CFRef<CFDateRef> platformDate(date->copyCFDate());
    return CFDateGetGregorianDate(platformDate);
}

bool isMonthEqual(const NSDate* date, const NSDate* other)
{
    const CFGregorianDate a = gregorianDate(date), b = gregorianDate(other);
    return a.year == b.year && a.month == b.month;
}

bool isYearEqual(const NSDate* date, const NSDate* other)
{
    return gregorianDate(date).year == gregorianDate(other).year;
}

}  // namespace NSDateUtilities

namespace NSScreenUtilities {

NSScreen* baseScreen()
{
    for (NSScreen* screen : NSScreen::screens()) {
        const NSRect frame = screen->frame();
        if (frame.origin.x == 0 && frame.origin.y == 0)
            return screen;
    }
    return NSScreen::mainScreen();
}

NSScreen* screenForDisplay(UInt32 displayID)
{
    for (NSScreen* screen : NSScreen::screens())
        if (screen->displayID() == displayID)
            return screen;
    return nullptr;
}

NSRect boundingFrameForDevices()
{
    NSRect bounds = CGRectZero;
    for (NSScreen* screen : NSScreen::screens())
        bounds = CGRectUnion(bounds, screen->frame());
    return bounds;
}

NSRect frameExcludingMenuBar(const NSScreen* screen)
{
    NSRect frame = screen->frame();
    if (screen->isEqual(baseScreen())) {
        frame.origin.y = 0;
        frame.size.height -= kMenuBarHeight;
    }
    return frame;
}

NSRect localFrame(const NSScreen* screen)
{
    NSRect frame = screen->frame();
    NSScreen* base = baseScreen();
    if (screen->isEqual(base)) {
        frame.origin.y += kMenuBarHeight;
        frame.size.height -= kMenuBarHeight;
    } else if (base != nullptr) {
        frame.origin.y = base->frame().size.height - frame.size.height - frame.origin.y;
    }
    return frame;
}

}  // namespace NSScreenUtilities

namespace {

// ---- strings between UTF-16, UTF-8 and NSString ----

std::u16string UnitsOf(CFStringRef s)
{
    std::u16string units(static_cast<size_t>(s ? CFStringGetLength(s) : 0), u'\0');
    if (!units.empty())
        CFStringGetCharacters(s, CFRangeMake(0, static_cast<CFIndex>(units.size())),
                              reinterpret_cast<UniChar*>(units.data()));
    return units;
}

std::u16string UnitsOf(const NSString* text)
{
    return UnitsOf(text ? text->cfString() : nullptr);
}

std::u16string_view UnitsOf(const QString& text)
{
    return std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
}

NSString* NewStringWithUnits(std::u16string_view units)
{
    CFRef<CFStringRef> s(CFStringCreateWithCharacters(nullptr, reinterpret_cast<const UniChar*>(units.data()),
                                                      static_cast<CFIndex>(units.size())));
    return NSString::newWithCFString(s);
}

NSString* StringWithUnits(std::u16string_view units)
{
    return NSAutorelease(NewStringWithUnits(units));
}

// Text from outside (a program's output, a short string's bytes) is read
// as UTF-8 whole, so that a character is never split; a byte that is not
// UTF-8 becomes U+FFFD rather than costing the rest of the text.
std::u16string UnitsOfUTF8(std::string_view bytes)
{
    return std::u16string(UnitsOf(QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()))));
}

NSString* NewStringWithUTF8(std::string_view bytes)
{
    return NewStringWithUnits(UnitsOfUTF8(bytes));
}

// The receiver itself, for operations that answer it unchanged.
NSString* Same(const NSString* text)
{
    return text ? NSAutorelease(static_cast<NSString*>(const_cast<NSString*>(text)->retain())) : nullptr;
}

bool IsHighSurrogate(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(char16_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Whether a cut before unit `at` would part the halves of a surrogate pair.
bool SplitsPair(std::u16string_view units, size_t at)
{
    return at > 0 && at < units.size() && IsHighSurrogate(units[at - 1]) && IsLowSurrogate(units[at]);
}

// What follows the separator when the text holds it exactly once.
std::optional<std::u16string_view> AfterOnlySeparator(std::u16string_view text, std::u16string_view separator)
{
    if (separator.empty())
        return std::nullopt;
    const size_t at = text.find(separator);
    if (at == std::u16string_view::npos)
        return std::nullopt;
    const size_t rest = at + separator.size();
    if (text.find(separator, rest) != std::u16string_view::npos)
        return std::nullopt;
    return text.substr(rest);
}

constexpr std::u16string_view kEllipsis = u"...";

// The longest beginning of `text` that fits with "..." after it, for a text
// that does not fit whole, and at least its first character with "...";
// empty for a text of one character, which has no shorter beginning.
QString TruncatedToWidth(const QString& text, const NSFont* font, CGFloat maximumWidth)
{
    const std::u16string_view units = UnitsOf(text);
    const auto fits = [&](const QString& candidate) { return font->widthOfString(candidate) <= maximumWidth; };
    // The bare beginnings grow with their length, so halving finds where
    // they stop fitting; the candidates with "..." are then tried downwards
    // from a little past that point, which keeps the answer the longest one
    // even where kerning makes a longer beginning no wider.
    qsizetype low = 0, high = text.size();
    while (low < high) {
        const qsizetype middle = (low + high + 1) / 2;
        if (fits(text.left(middle)))
            low = middle;
        else
            high = middle - 1;
    }
    constexpr qsizetype kSlack = 8;
    QString candidate;
    for (qsizetype n = std::min(text.size() - 1, low + kSlack); n >= 1; --n) {
        if (SplitsPair(units, static_cast<size_t>(n)))
            continue;
        candidate = text.left(n) + QString::fromUtf16(kEllipsis.data(), static_cast<qsizetype>(kEllipsis.size()));
        if (fits(candidate))
            break;
    }
    return candidate;
}

}  // namespace

namespace NSStringUtilities {

NSString* execute(const NSString* command)
{
    if (command == nullptr)
        return nullptr;
    std::vector<std::string> words;
    std::string output;
    if (Process::SplitCommandLine(command->UTF8String(), &words) && !words.empty())
        Process::Run(words, &output);
    return NSAutorelease(NewStringWithUTF8(output));
}

bool regex(const NSString* subject, const ShortString& pattern)
{
    return subject != nullptr && Regex(pattern, subject->cfString());
}

bool regexMatches(const NSString* subject, const ShortString& pattern, PCREMatchesArray& matches)
{
    return Regex(pattern, subject ? subject->cfString() : nullptr, matches);
}

NSString* stringWithFloat(float value)
{
    char text[32];
    const std::to_chars_result written = std::to_chars(text, text + sizeof text, value);
    return stringWithPascalString(std::string_view(text, static_cast<size_t>(written.ptr - text)));
}

NSString* stringWithInteger(SInt32 value)
{
    const std::string digits = std::to_string(value);
    return stringWithPascalString(std::string_view(digits));
}

CFStringRef cfType(const NSString* text)
{
    return text ? text->cfString() : nullptr;
}

bool hasExtension(const NSString* text)
{
    return UnitsOf(text).find(u'.') != std::u16string::npos;
}

NSString* extension(const NSString* text)
{
    const std::u16string units = UnitsOf(text);
    const std::optional<std::u16string_view> after = AfterOnlySeparator(units, u".");
    return after ? StringWithUnits(*after) : nullptr;
}

ShortString pascalExtension(const NSString* text)
{
    return hasExtension(text) ? pascalString(extension(text)) : ShortString();
}

NSString* stringByTrimmingExtension(const NSString* text)
{
    if (text == nullptr)
        return nullptr;
    // Only the last extension goes: "archive.tar.gz" keeps "archive.tar".
    const std::u16string units = UnitsOf(text);
    const size_t point = units.rfind(u'.');
    return StringWithUnits(std::u16string_view(units).substr(0, point));
}

NSString* component(const NSString* text, const ShortString& separator)
{
    const std::u16string units = UnitsOf(text);
    const std::u16string split = UnitsOfUTF8(separator.View());
    const std::optional<std::u16string_view> after = AfterOnlySeparator(units, split);
    return after ? StringWithUnits(*after) : nullptr;
}

bool isReturnKey(const NSString* text)
{
    return UnitsOf(text) == u"\n";
}

NSString* stringByTrimmingSuffix(const NSString* text, const NSString* suffix)
{
    if (text == nullptr)
        return nullptr;
    const std::u16string units = UnitsOf(text);
    const size_t cut = suffix ? suffix->length() : 0;
    if (cut > units.size())
        return NSString::string();
    size_t keep = units.size() - cut;
    if (SplitsPair(units, keep))
        --keep;
    return StringWithUnits(std::u16string_view(units).substr(0, keep));
}

NSString* stringByTrimmingPrefix(const NSString* text, const NSString* prefix)
{
    if (text == nullptr)
        return nullptr;
    const std::u16string units = UnitsOf(text);
    size_t cut = prefix ? prefix->length() : 0;
    if (cut > units.size())
        return NSString::string();
    if (SplitsPair(units, cut))
        ++cut;
    return StringWithUnits(std::u16string_view(units).substr(cut));
}

NSString* stringByTruncating(const NSString* text, const NSFont* font, CGFloat maximumWidth)
{
    if (text == nullptr)
        return nullptr;
    if (font == nullptr)
        font = NSFont::systemFontOfSize(12);
    if (font == nullptr)
        return Same(text);  // without the GUI application there is nothing to measure with
    const std::u16string units = UnitsOf(text);
    const QString whole = QString::fromUtf16(units.data(), static_cast<qsizetype>(units.size()));
    if (font->widthOfString(whole) <= maximumWidth)
        return Same(text);
    const QString truncated = TruncatedToWidth(whole, font, maximumWidth);
    if (truncated.isEmpty())
        return Same(text);
    return StringWithUnits(UnitsOf(truncated));
}

NSString* stringByTruncatingWithFont(const NSString* text, const NSFont* font, CGFloat maximumWidth)
{
    return stringByTruncating(text, font, maximumWidth);
}

NSString* stringByTruncatingCharacters(const NSString* text, NSInteger count)
{
    if (text == nullptr)
        return nullptr;
    const std::u16string units = UnitsOf(text);
    size_t keep = static_cast<size_t>(std::max<NSInteger>(count, 0));
    if (keep >= units.size())
        return Same(text);
    if (SplitsPair(units, keep))
        --keep;
    return StringWithUnits(units.substr(0, keep) + std::u16string(kEllipsis));
}

NSString* stringWithPascalString(const ShortString& text)
{
    return NSAutorelease(initWithPascalString(text));
}

NSString* initWithPascalString(const ShortString& text)
{
    return NewStringWithUTF8(text.View());
}

bool compareWithPascal(const NSString* text, const ShortString& other)
{
    return text != nullptr && text->compare(stringWithPascalString(other)) == NSOrderedSame;
}

bool isEmpty(const NSString* text)
{
    return text != nullptr && text->compare(NSString::string()) == NSOrderedSame;
}

ShortString pascalString(const NSString* text)
{
    return text ? ShortString(text->UTF8String()) : ShortString();
}

bool isDirectory(const NSString* path)
{
    bool folder = false;
    return NSFileManager::defaultManager()->fileExistsAtPath(path, &folder) && folder;
}

bool isPackage(const NSString* path)
{
    return NSWorkspace::sharedWorkspace()->isFilePackageAtPath(path);
}

NSString* stringWithFSObjectName(const FSRef& ref)
{
    CFRef<CFStringRef> name(FSCopyName(ref));
    return name ? NSString::stringWithCFString(name) : nullptr;
}

NSString* stringWithFSRef(const FSRef& ref)
{
    return NSAutorelease(initWithFSRef(ref));
}

NSString* initWithFSRef(const FSRef& ref)
{
    CFRef<CFStringRef> path(FSCopyPath(ref));
    return path ? NSString::newWithCFString(path) : nullptr;
}

FSRef fsRef(const NSString* path)
{
    return FSGetPathRef(path ? path->cfString() : nullptr);
}

}  // namespace NSStringUtilities

namespace NSObjectUtilities {

ShortString pascalDescription(const NSObject* object)
{
    return object ? NSStringUtilities::pascalString(object->description()) : ShortString();
}

}  // namespace NSObjectUtilities

namespace NSColorUtilities {

NSColor* colorWithCGRB(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha)
{
    return NSColor::colorWithCalibratedRed(red, green, blue, alpha);
}

NSColor* blackColorWithAlpha(CGFloat alpha)
{
    return NSColor::colorWithCalibratedRed(0, 0, 0, alpha);
}

NSColor* whiteColorWithAlpha(CGFloat alpha)
{
    return NSColor::colorWithCalibratedRed(1, 1, 1, alpha);
}

bool isWhite(const NSColor* color)
{
    return color != nullptr && color->isEqual(NSColor::whiteColor());
}

}  // namespace NSColorUtilities

namespace NSImageUtilities {

NSImage* imageWithResource(const ShortString& name, const ShortString& type)
{
    if (name.IsEmpty())
        return nullptr;
    NSString* resourceName = NSStringUtilities::stringWithPascalString(name);
    NSString* resourceType = type.IsEmpty() ? nullptr : NSStringUtilities::stringWithPascalString(type);
    CFRef<CFURLRef> url(CFBundleCopyResourceURL(CFBundleGetMainBundle(), resourceName->cfString(),
                                                NSStringUtilities::cfType(resourceType), nullptr));
    if (!url)
        return nullptr;
    CFRef<CFStringRef> path(CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle));
    return NSImage::imageWithContentsOfFile(NSString::stringWithCFString(path));
}

NSImage* imageWithResource(const ShortString& fileName)
{
    CFRef<CFURLRef> folder(CFBundleCopyResourcesDirectoryURL(CFBundleGetMainBundle()));
    if (!folder)
        return nullptr;
    CFRef<CFStringRef> folderPath(CFURLCopyFileSystemPath(folder, kCFURLPOSIXPathStyle));
    const std::u16string path = UnitsOf(folderPath.get()) + u"/" + UnitsOfUTF8(fileName.View());
    return NSImage::imageWithContentsOfFile(StringWithUnits(path));
}

NSImage* imageWithCGImage(CGImageRef image)
{
    return NSAutorelease(NSImage::newWithCGImage(image, NSZeroSize));
}

void drawInRect(const NSImage* image, NSRect rect)
{
    NSGraphicsContext* context = NSGraphicsContext::currentContext();
    if (image == nullptr || context == nullptr)
        return;
    CGContextRef port = context->CGContext();
    CGContextSaveGState(port);
    CGContextSetBlendMode(port, kCGBlendModeCopy);
    CGContextSetAlpha(port, 1.0f);
    CGContextDrawImage(port, rect, image->CGImage());
    CGContextRestoreGState(port);
}

}  // namespace NSImageUtilities

namespace NSGraphicsContextUtilities {

CGContextRef flippedContext(NSRect rect)
{
    NSGraphicsContext* context = NSGraphicsContext::currentContext();
    if (context == nullptr)
        return nullptr;
    CGContextRef port = context->CGContext();
    CGContextTranslateCTM(port, 0, 2 * rect.origin.y + rect.size.height);
    CGContextScaleCTM(port, 1, -1);
    return port;
}

}  // namespace NSGraphicsContextUtilities

namespace NSViewUtilities {

CGContextRef flippedContext(const NSView* view)
{
    return view ? NSGraphicsContextUtilities::flippedContext(view->bounds()) : nullptr;
}

CGContextRef CGContext(const NSView*)
{
    NSGraphicsContext* context = NSGraphicsContext::currentContext();
    return context ? context->CGContext() : nullptr;
}

void setNeedsDisplay(NSView* view)
{
    if (view)
        view->setNeedsDisplay(true);
}

}  // namespace NSViewUtilities

namespace NSWindowUtilities {

namespace {

void FillScreen(NSWindow* window, NSScreen* screen)
{
    if (window && screen)
        window->setFrame(NSScreenUtilities::frameExcludingMenuBar(screen), true);
}

}  // namespace

void makeFullScreen(NSWindow* window)
{
    FillScreen(window, NSScreen::mainScreen());
}

void makeFullScreenInDisplay(NSWindow* window, UInt32 displayID)
{
    NSScreen* screen = NSScreenUtilities::screenForDisplay(displayID);
    FillScreen(window, screen ? screen : NSScreen::mainScreen());
}

}  // namespace NSWindowUtilities

namespace NSParagraphStyleUtilities {

NSMutableParagraphStyle* paragraphWithAlignment(NSTextAlignment alignment)
{
    NSMutableParagraphStyle* style = NSMutableParagraphStyle::paragraphStyle();
    style->setAlignment(alignment);
    return style;
}

}  // namespace NSParagraphStyleUtilities

namespace NSAlertUtilities {

NSAlert* alertWithMessage(const NSString* message, NSWindow* window)
{
    NSAlert* alert = NSAlert::alert();
    alert->setMessageText(message);
    if (window)
        alert->beginSheetModalForWindow(window, nullptr);
    else
        alert->runModal();
    return alert;
}

}  // namespace NSAlertUtilities

namespace NSMenuItemUtilities {

void setChecked(NSMenuItem* item, bool checked)
{
    if (item)
        item->setState(checked ? NSOnState : NSOffState);
}

bool checkedState(const NSMenuItem* item)
{
    return item && item->state() == NSOnState;
}

}  // namespace NSMenuItemUtilities

namespace NSButtonUtilities {

void setChecked(NSButton* button, bool checked)
{
    if (button)
        button->setState(checked ? NSOnState : NSOffState);
}

bool checkedState(const NSButton* button)
{
    return button && button->state() == NSOnState;
}

}  // namespace NSButtonUtilities

namespace NSFileManagerUtilities {

std::vector<NSString*> subpathsOfFolder(const NSFileManager* manager, const FSRef& folder)
{
    std::vector<NSString*> paths;
    CFRef<CFStringRef> path(FSCopyPath(folder));
    if (manager == nullptr || !path)
        return paths;
    std::u16string prefix = UnitsOf(path.get());
    if (prefix.empty() || prefix.back() != u'/')
        prefix.push_back(u'/');
    for (NSString* name : manager->contentsOfDirectoryAtPath(NSString::stringWithCFString(path)))
        paths.push_back(StringWithUnits(prefix + UnitsOf(name)));
    return paths;
}

}  // namespace NSFileManagerUtilities

void InitializeCocoaUtilities()
{
    // The watchdog sleeps until a pool is opened.
    if (gWatchdog == nullptr)
        InstallEventLoopTimer(GetMainEventLoop(), kEventDurationForever, 1.0, WatchdogCallback, nullptr, &gWatchdog);
}
