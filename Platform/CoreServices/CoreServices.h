// Core Services as the units use it: file references and the File
// Manager, special folders, Launch Services and type identifiers, icons,
// processes and Apple events, system sounds and Gestalt.
#pragma once

#include <CarbonCore/CarbonCore.h>
#include <CoreFoundation/CoreFoundation.h>
#include <CoreServices/AppleEvents.h>
#include <CoreServices/DateTimeUtils.h>
#include <CoreServices/Files.h>
#include <CoreServices/FloatingPointMask.h>
#include <CoreServices/Folders.h>
#include <CoreServices/Gestalt.h>
#include <CoreServices/IconServices.h>
#include <CoreServices/LSSharedFileList.h>
#include <CoreServices/LaunchServices.h>
#include <CoreServices/OSTypeCodes.h>
#include <CoreServices/Processes.h>
#include <CoreServices/SingleInstance.h>
#include <CoreServices/SystemSound.h>
#include <CoreServices/UTCoreTypes.h>
#include <CoreServices/UTType.h>
