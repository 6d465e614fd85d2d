// Icons of files and of the system. An IconRef names a freedesktop theme
// icon (chosen through the MIME database for files, through a table for
// the system's icon types); its image comes from the Qt icon theme when a
// GUI application runs and the theme has the icon, and is a drawn
// placeholder (a page, or a folder) otherwise, so that an icon always has
// pixels, headless too.
#pragma once

#include <CoreGraphics/CGImage.h>
#include <CoreServices/Files.h>
#include <CoreServices/OSTypeCodes.h>

typedef struct OpaqueIconRef* IconRef;
typedef UInt32 IconServicesUsageFlags;

inline constexpr IconServicesUsageFlags kIconServicesNormalUsageFlag = 0;
inline constexpr OSType kSystemIconsCreator = MakeOSType("macs");

enum : OSType {
    kGenericDocumentIcon = MakeOSType("docu"),
    kGenericFolderIcon = MakeOSType("fldr"),
    kGenericApplicationIcon = MakeOSType("APPL"),
    kGenericURLIcon = MakeOSType("gurl"),
    kInternetLocationHTTPIcon = MakeOSType("ilht"),
    kTrashIcon = MakeOSType("trsh"),
    kFullTrashIcon = MakeOSType("ftrh"),
    kAlertCautionIcon = MakeOSType("caut"),
    kAlertNoteIcon = MakeOSType("note"),
    kAlertStopIcon = MakeOSType("stop"),
    kNoWriteIcon = MakeOSType("nwrt"),
    kLockedIcon = MakeOSType("lock"),
    kHelpIcon = MakeOSType("help"),
    kClipboardIcon = MakeOSType("CLIP"),
};

inline constexpr OSStatus invalidIconRefErr = -2580;
inline constexpr OSStatus noSuchIconErr = -2582;

// The icon registered for the creator and type (RegisterIconRefFromFSRef);
// otherwise a system icon by type (any volume, creator kSystemIconsCreator
// or 0), a type without an icon of its own answering the generic document
// icon; noSuchIconErr for another creator's unregistered type. The caller
// releases the icon.
OSErr GetIconRef(SInt16 vRefNum, OSType creator, OSType iconType, IconRef* theIconRef);
// The icon of a file or folder, by what the MIME database makes of it (its
// name and, for files, its first bytes). The name and catalog arguments
// are optional and ignored. fnfErr when the item does not exist.
OSStatus GetIconRefFromFileInfo(const FSRef* inRef, UniCharCount inFileNameLength, const UniChar* inFileName,
                                FSCatalogInfoBitmap inWhichInfo, const FSCatalogInfo* inCatalogInfo,
                                IconServicesUsageFlags inUsageFlags, IconRef* outIconRef, SInt16* outLabel);
// Makes the image file the icon of the creator and type (GetIconRef then
// answers it), replacing what was registered for them. The caller releases
// the icon it gets.
OSStatus RegisterIconRefFromFSRef(OSType creator, OSType iconType, const FSRef* iconFile, IconRef* theIconRef);
OSErr AcquireIconRef(IconRef theIconRef);
OSErr ReleaseIconRef(IconRef theIconRef);
Boolean IsValidIconRef(IconRef theIconRef);

// Our additions, for drawing. The theme name of the icon ("image-png",
// "folder"), a new string; nil for nil.
CFStringRef IconRefCopyThemeName(IconRef icon);
// A new square image `pixels` wide: the theme's icon, else the drawn
// placeholder (then `isPlaceholder`, which may be nil, is set). Nil for a
// nil icon or a size of 0.
CGImageRef IconRefCreateCGImage(IconRef icon, size_t pixels, Boolean* isPlaceholder);
