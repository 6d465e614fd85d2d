// Core Services as the units use it: file references.
#pragma once

#include <CarbonCore/CarbonCore.h>
#include <CoreFoundation/CoreFoundation.h>
#include <CoreServices/Files.h>
