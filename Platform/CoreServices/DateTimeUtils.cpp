#include "DateTimeUtils.h"

#include <cmath>

OSStatus UCConvertUTCDateTimeToCFAbsoluteTime(const UTCDateTime* iUTCDate, CFAbsoluteTime* oCFTime)
{
    if (iUTCDate == nullptr || oCFTime == nullptr)
        return paramErr;
    const double seconds =
        static_cast<double>((static_cast<UInt64>(iUTCDate->highSeconds) << 32) | iUTCDate->lowSeconds) +
        iUTCDate->fraction / 65536.0;
    *oCFTime = seconds - kCFAbsoluteTimeIntervalSince1904;
    return noErr;
}

OSStatus UCConvertCFAbsoluteTimeToUTCDateTime(CFAbsoluteTime iCFTime, UTCDateTime* oUTCDate)
{
    if (oUTCDate == nullptr)
        return paramErr;
    const double since1904 = iCFTime + kCFAbsoluteTimeIntervalSince1904;
    if (!(since1904 >= 0) || since1904 >= 281474976710656.0)
        return paramErr;
    const double whole = std::floor(since1904);
    const UInt64 seconds = static_cast<UInt64>(whole);
    UInt32 fraction = static_cast<UInt32>(std::lround((since1904 - whole) * 65536.0));
    oUTCDate->highSeconds = static_cast<UInt16>(seconds >> 32);
    oUTCDate->lowSeconds = static_cast<UInt32>(seconds & 0xFFFFFFFF);
    oUTCDate->fraction = static_cast<UInt16>(fraction > 0xFFFF ? 0xFFFF : fraction);
    return noErr;
}
