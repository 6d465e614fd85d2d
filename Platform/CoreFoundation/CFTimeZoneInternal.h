#pragma once

#include <CoreFoundation/CFTimeZone.h>

#include <QTimeZone>

// The zone behind a reference; UTC for nil (as the platform's calendar
// functions read a nil zone) and for values of another type.
QTimeZone CFTimeZoneGetQTimeZone(CFTimeZoneRef tz);
