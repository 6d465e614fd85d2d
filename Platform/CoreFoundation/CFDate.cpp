#include "CFDateInternal.h"

#include "CFRuntime.h"
#include "CFStringInternal.h"

#include <Support/Clock.h>

#include <cmath>
#include <cstdio>

struct CFDateObject final : CFRuntimeObject {
    explicit CFDateObject(CFAbsoluteTime t) : CFRuntimeObject(kCFRuntimeTypeDate), at(t) {}

    bool Equals(const CFRuntimeObject& other) const override
    {
        return at == static_cast<const CFDateObject&>(other).at;
    }
    CFHashCode Hash() const override { return static_cast<CFHashCode>(static_cast<int64_t>(at)); }
    CFStringRef CopyDescription() const override { return CFStringCreateWithUTF8(CFAbsoluteTimeDescription(at)); }

    const CFAbsoluteTime at;
};

namespace {

const CFDateObject* AsDate(CFTypeRef cf)
{
    if (cf == nullptr || CFRuntimeObjectOf(cf)->TypeID() != kCFRuntimeTypeDate)
        return nullptr;
    return static_cast<const CFDateObject*>(CFRuntimeObjectOf(cf));
}

constexpr double kSecondsPerDay = 86400.0;
constexpr double kLargestSeconds = 1'000'000.0 * 366 * kSecondsPerDay;

}  // namespace

const CFTimeInterval kCFAbsoluteTimeIntervalSince1970 = 978307200.0;
const CFTimeInterval kCFAbsoluteTimeIntervalSince1904 = 3061152000.0;

int64_t CFDaysFromCivil(int64_t y, int m, int d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CFCivilFromDays(int64_t z, int64_t* year, int* month, int* day)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *year = yoe + era * 400 + (*month <= 2);
}

bool CFAbsoluteTimeToUTC(CFAbsoluteTime at, CFUTCDateTime* out)
{
    if (!std::isfinite(at) || std::fabs(at) > kLargestSeconds)
        return false;
    const double unixSeconds = at + kCFAbsoluteTimeIntervalSince1970;
    const double days = std::floor(unixSeconds / kSecondsPerDay);
    double secondOfDay = unixSeconds - days * kSecondsPerDay;
    CFCivilFromDays(static_cast<int64_t>(days), &out->year, &out->month, &out->day);
    out->hour = static_cast<int>(secondOfDay / 3600);
    secondOfDay -= out->hour * 3600.0;
    out->minute = static_cast<int>(secondOfDay / 60);
    out->second = secondOfDay - out->minute * 60.0;
    return true;
}

CFAbsoluteTime CFAbsoluteTimeFromUTC(const CFUTCDateTime& date)
{
    const double days = static_cast<double>(CFDaysFromCivil(date.year, date.month, date.day));
    return days * kSecondsPerDay + date.hour * 3600.0 + date.minute * 60.0 + date.second -
           kCFAbsoluteTimeIntervalSince1970;
}

std::string CFAbsoluteTimeDescription(CFAbsoluteTime at)
{
    CFUTCDateTime date;
    if (!CFAbsoluteTimeToUTC(at, &date))
        return "(invalid date)";
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02d-%02d %02d:%02d:%02d +0000", static_cast<long long>(date.year),
                  date.month, date.day, date.hour, date.minute, static_cast<int>(std::floor(date.second)));
    return text;
}

CFAbsoluteTime CFAbsoluteTimeGetCurrent()
{
    return Clock::WallSeconds() - kCFAbsoluteTimeIntervalSince1970;
}

CFTypeID CFDateGetTypeID()
{
    return kCFRuntimeTypeDate;
}

CFDateRef CFDateCreate(CFAllocatorRef, CFAbsoluteTime at)
{
    return new CFDateObject(at);
}

CFAbsoluteTime CFDateGetAbsoluteTime(CFDateRef theDate)
{
    const CFDateObject* d = AsDate(theDate);
    return d ? d->at : 0.0;
}

CFTimeInterval CFDateGetTimeIntervalSinceDate(CFDateRef theDate, CFDateRef otherDate)
{
    return CFDateGetAbsoluteTime(theDate) - CFDateGetAbsoluteTime(otherDate);
}

CFComparisonResult CFDateCompare(CFDateRef theDate, CFDateRef otherDate, void*)
{
    const CFAbsoluteTime a = CFDateGetAbsoluteTime(theDate), b = CFDateGetAbsoluteTime(otherDate);
    return a < b ? kCFCompareLessThan : a > b ? kCFCompareGreaterThan : kCFCompareEqualTo;
}
