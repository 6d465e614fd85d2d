// The Carbon core services the units use: memory blocks and clocks.
#pragma once

#include <CarbonCore/DriverServices.h>
#include <CarbonCore/MacErrors.h>
#include <CarbonCore/MacMemory.h>
