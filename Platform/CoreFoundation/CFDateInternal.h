// Proleptic Gregorian calendar arithmetic in UTC, for descriptions and the
// dates of property lists.
#pragma once

#include <CoreFoundation/CFDate.h>

#include <cstdint>
#include <string>

struct CFUTCDateTime {
    int64_t year;
    int month;   // 1...12
    int day;     // 1...31
    int hour;    // 0...23
    int minute;  // 0...59
    double second;
};

// Days since 1970-01-01 of a civil date, and back.
int64_t CFDaysFromCivil(int64_t year, int month, int day);
void CFCivilFromDays(int64_t days, int64_t* year, int* month, int* day);

// False for a time that is not finite or lies beyond the year ±1,000,000.
bool CFAbsoluteTimeToUTC(CFAbsoluteTime at, CFUTCDateTime* out);
CFAbsoluteTime CFAbsoluteTimeFromUTC(const CFUTCDateTime& date);

// "2001-01-01 00:00:00 +0000" (whole seconds, rounded down).
std::string CFAbsoluteTimeDescription(CFAbsoluteTime at);
