// The Carbon core services the units use: memory blocks, clocks and keyboard layouts.
#pragma once

#include <CarbonCore/DriverServices.h>
#include <CarbonCore/MacErrors.h>
#include <CarbonCore/MacMemory.h>
#include <CarbonCore/UnicodeUtilities.h>
