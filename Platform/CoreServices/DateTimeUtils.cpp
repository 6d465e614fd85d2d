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
    UInt64 seconds = static_cast<UInt64>(whole);
    UInt32 fraction = static_cast<UInt32>(std::lround((since1904 - whole) * 65536.0));
    // Nearer the next second than any fraction of this one. (So close to a
    // whole second, a double has the bits only far below 2^48 seconds.)
    if (fraction > 0xFFFF) {
        seconds += 1;
        fraction = 0;
    }
    oUTCDate->highSeconds = static_cast<UInt16>(seconds >> 32);
    oUTCDate->lowSeconds = static_cast<UInt32>(seconds & 0xFFFFFFFF);
    oUTCDate->fraction = static_cast<UInt16>(fraction);
    return noErr;
}
