#include "NSDateFormatter.h"

#include "NSString.h"

#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CFStringUTF8.h>
#include <CoreFoundation/CFTimeZoneInternal.h>

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>

#include <cmath>

namespace {

// The locale's long date pattern without the day of the week ("dddd, MMMM
// d, yyyy" becomes "MMMM d, yyyy"): Qt has no pattern between its short
// and long ones.
QString WithoutWeekday(const QString& pattern)
{
    QString out;
    for (qsizetype i = 0; i < pattern.size();) {
        if (pattern[i] == '\'') {  // a quoted literal stays whole
            const qsizetype end = pattern.indexOf('\'', i + 1);
            const qsizetype stop = end < 0 ? pattern.size() : end + 1;
            out += pattern.mid(i, stop - i);
            i = stop;
            continue;
        }
        qsizetype run = i;
        while (run < pattern.size() && pattern[run] == pattern[i])
            ++run;
        if (pattern[i] == 'd' && run - i >= 3) {
            // Drop the weekday and the separator that follows it.
            while (run < pattern.size() && (pattern[run] == ',' || pattern[run] == ' '))
                ++run;
        } else {
            out += pattern.mid(i, run - i);
        }
        i = run;
    }
    return out.trimmed().remove(QRegularExpression(QStringLiteral("[,\\s]+$")));
}

QString DatePattern(const QLocale& locale, NSDateFormatterStyle style)
{
    switch (style) {
    case NSDateFormatterShortStyle:
        return locale.dateFormat(QLocale::ShortFormat);
    case NSDateFormatterMediumStyle: {
        QString pattern = WithoutWeekday(locale.dateFormat(QLocale::LongFormat));
        return pattern.replace(QStringLiteral("MMMM"), QStringLiteral("MMM"));
    }
    case NSDateFormatterLongStyle:
        return WithoutWeekday(locale.dateFormat(QLocale::LongFormat));
    case NSDateFormatterFullStyle:
        return locale.dateFormat(QLocale::LongFormat);
    default:
        return {};
    }
}

QString TimePattern(const QLocale& locale, NSDateFormatterStyle style)
{
    switch (style) {
    case NSDateFormatterShortStyle:
        return locale.timeFormat(QLocale::ShortFormat);
    case NSDateFormatterMediumStyle: {
        // The long pattern without its time zone.
        QString pattern = locale.timeFormat(QLocale::LongFormat);
        pattern.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*$")));
        return pattern;
    }
    case NSDateFormatterLongStyle:
    case NSDateFormatterFullStyle:
        return locale.timeFormat(QLocale::LongFormat);
    default:
        return {};
    }
}

// Whole calendar days from today to the date, in the zone.
int64_t DaysFromToday(CFAbsoluteTime at, CFTimeZoneRef zone)
{
    auto dayNumber = [zone](CFAbsoluteTime t) {
        const CFGregorianDate d = CFAbsoluteTimeGetGregorianDate(t, zone);
        return std::floor((CFGregorianDateGetAbsoluteTime({d.year, d.month, d.day, 12, 0, 0}, nullptr)) / 86400.0);
    };
    return static_cast<int64_t>(dayNumber(at) - dayNumber(CFAbsoluteTimeGetCurrent()));
}

QString Translated(const char* key)
{
    CFRef<CFStringRef> text(CFBundleCopyLocalizedString(CFBundleGetMainBundle(), CFSTR(key), CFSTR(key), nullptr));
    return QString::fromStdString(CFStringToUTF8(text));
}

}  // namespace

NSDateFormatter* NSDateFormatter::newFormatter()
{
    return new NSDateFormatter;
}

NSDateFormatter* NSDateFormatter::dateFormatter()
{
    return NSAutorelease(newFormatter());
}

NSDateFormatter::~NSDateFormatter()
{
    if (timeZone_)
        timeZone_->release();
}

void NSDateFormatter::setTimeZone(NSTimeZone* zone)
{
    if (zone)
        zone->retain();
    if (timeZone_)
        timeZone_->release();
    timeZone_ = zone;
}

bool NSDateFormatter::respondsToSelector(std::string_view selector) const
{
    return selector == "setDoesRelativeDateFormatting:";
}

NSString* NSDateFormatter::stringFromDate(const NSDate* date) const
{
    if (date == nullptr)
        return nullptr;
    const QLocale locale = locale_.empty() ? QLocale::system() : QLocale(QString::fromStdString(locale_));
    CFRef<CFTimeZoneRef> defaultZone;
    CFTimeZoneRef zone = timeZone_ ? timeZone_->cfTimeZone() : nullptr;
    if (zone == nullptr) {
        defaultZone.Reset(CFTimeZoneCopyDefault());
        zone = defaultZone;
    }
    const CFAbsoluteTime at = date->timeIntervalSinceReferenceDate();
    const QDateTime moment = QDateTime::fromMSecsSinceEpoch(
        static_cast<qint64>(std::floor((at + kCFAbsoluteTimeIntervalSince1970) * 1000.0)),
        CFTimeZoneGetQTimeZone(zone));

    QString datePart;
    if (dateStyle_ != NSDateFormatterNoStyle) {
        const int64_t days = relative_ ? DaysFromToday(at, zone) : 2;
        if (days == 0)
            datePart = Translated("Today");
        else if (days == -1)
            datePart = Translated("Yesterday");
        else if (days == 1)
            datePart = Translated("Tomorrow");
        else
            datePart = locale.toString(moment.date(), DatePattern(locale, dateStyle_));
    }
    QString timePart;
    if (timeStyle_ != NSDateFormatterNoStyle)
        timePart = locale.toString(moment, TimePattern(locale, timeStyle_));
    QString text = datePart;
    if (!datePart.isEmpty() && !timePart.isEmpty())
        text += QStringLiteral(", ");
    text += timePart;
    return NSString::stringWithUTF8String(text.toStdString().c_str());
}
