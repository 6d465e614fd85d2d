// File-system dates (UTCDateTime: seconds since 1904 with a 1/65536
// fraction) to and from Core Foundation's absolute time.
#pragma once

#include <CoreFoundation/CFDate.h>
#include <CoreServices/Files.h>

// paramErr for nil arguments, and for a time before 1904 or beyond what 48
// bits of seconds can hold.
OSStatus UCConvertUTCDateTimeToCFAbsoluteTime(const UTCDateTime* iUTCDate, CFAbsoluteTime* oCFTime);
OSStatus UCConvertCFAbsoluteTimeToUTCDateTime(CFAbsoluteTime iCFTime, UTCDateTime* oUTCDate);
