// The Printing Manager's types, constants and status codes.
#pragma once

#include <CarbonCore/MacErrors.h>
#include <CoreFoundation/CoreFoundation.h>

// Printing Manager objects are CF objects: PMRetain and PMRelease (or
// CFRetain and CFRelease) manage them.
typedef struct OpaquePMPrintSession* PMPrintSession;
typedef struct OpaquePMPageFormat* PMPageFormat;
typedef struct OpaquePMPrintSettings* PMPrintSettings;
typedef struct OpaquePMPaper* PMPaper;
typedef const void* PMObject;

typedef UInt16 PMOrientation;
enum : PMOrientation {
    kPMPortrait = 1,
    kPMLandscape = 2,
    kPMReversePortrait = 3,
    kPMReverseLandscape = 4,
};

typedef UInt16 PMDestinationType;
enum : PMDestinationType {
    kPMDestinationInvalid = 0,
    kPMDestinationPrinter = 1,
    kPMDestinationFile = 2,
    kPMDestinationFax = 3,
    kPMDestinationPreview = 4,
    kPMDestinationProcessPDF = 5,
};

// The lock argument of the setters: a locked value is one the user may not
// change in the dialogs.
inline constexpr Boolean kPMLocked = true;
inline constexpr Boolean kPMUnlocked = false;

// A rectangle in points, y growing downwards from the top-left corner of
// the paper as it lies in its orientation.
struct PMRect {
    double top;
    double left;
    double bottom;
    double right;
};

// The one document format a file destination can have.
extern const CFStringRef kPMDocumentFormatPDF;  // "application/pdf"

inline constexpr OSStatus kPMNoError = noErr;
inline constexpr OSStatus kPMGeneralError = -30870;
// A call out of order: a page outside a document, a second document, ...
inline constexpr OSStatus kPMOutOfScope = -30871;
inline constexpr OSStatus kPMInvalidParameter = paramErr;
inline constexpr OSStatus kPMNoDefaultPrinter = -30872;
inline constexpr OSStatus kPMNotImplemented = -30873;
inline constexpr OSStatus kPMNoSuchEntry = -30874;
inline constexpr OSStatus kPMInvalidPrintSettings = -30875;
inline constexpr OSStatus kPMInvalidPageFormat = -30876;
inline constexpr OSStatus kPMValueOutOfRange = -30877;
inline constexpr OSStatus kPMLockIgnored = -30878;
// The user cancelled the job.
inline constexpr OSStatus kPMCancel = 0x80;
