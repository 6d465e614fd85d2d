// Gestalt: what the system is. The platform layer implements the
// interfaces as the units knew them at system version 10.6.8, so that is
// the version it reports: units that choose by version take the newest
// path they know.
#pragma once

#include <CarbonCore/MacErrors.h>
#include <CoreServices/OSTypeCodes.h>

enum : OSType {
    gestaltSystemVersion = MakeOSType("sysv"),        // 0x1068
    gestaltSystemVersionMajor = MakeOSType("sys1"),   // 10
    gestaltSystemVersionMinor = MakeOSType("sys2"),   // 6
    gestaltSystemVersionBugFix = MakeOSType("sys3"),  // 8
};

// gestaltUndefSelectorErr for a selector not answered here.
OSErr Gestalt(OSType selector, SInt32* response);
