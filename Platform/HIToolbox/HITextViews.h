// The multi-line text view ('hitx') and its text object: the text engine's
// calls over a QTextEdit child of the window's widget (kept on the view like
// every hosted view, see HostedViews.h).
//
// Offsets are in UTF-16 code units, from 0 to the text's length; a line
// break counts one unit and reads back as "\n" (a "\r\n" pair is one
// break). kTXNEndOffset stands for the end, kTXNUseCurrentSelection for the
// selection's start or end. Changes made through these calls send no text
// events; the user's edits send kEventTextDidChange to the view.
#pragma once

#include <HIToolbox/HITheme.h>
#include <HIToolbox/HIView.h>

typedef struct OpaqueTXNObject* TXNObject;
typedef UInt32 TXNOffset;
typedef OSType TXNDataType;
typedef UInt32 TXNFrameOptions;
typedef UInt32 TXNFrameID;
typedef OSType TXNControlTag;
typedef OSType TXNTypeRunAttributes;
typedef UInt32 TXNBackgroundType;

inline constexpr TXNOffset kTXNStartOffset = 0;
inline constexpr TXNOffset kTXNEndOffset = 0x7FFFFFFF;
inline constexpr TXNOffset kTXNUseCurrentSelection = 0xFFFFFFFF;

// Data types: 'TEXT' is UTF-8 (bytes that are not valid UTF-8 read as Mac
// Roman), 'utxt' UTF-16 in the machine's byte order.
inline constexpr TXNDataType kTXNTextData = FourCC("TEXT");
inline constexpr TXNDataType kTXNUnicodeTextData = FourCC("utxt");

// Frame options (HITextViewCreate).
enum : TXNFrameOptions {
    kTXNReadOnlyMask = 1 << 5,
    kTXNNoSelectionMask = 1 << 7,
    kTXNAlwaysWrapAtViewEdgeMask = 1 << 11,
    kTXNDontDrawSelectionWhenInactiveMask = 1 << 13,
    kTXNSingleLineOnlyMask = 1 << 14,
    kTXNDisableDragAndDropMask = 1 << 15,
};

// Controls of the object.
inline constexpr TXNControlTag kTXNNoUserIOTag = FourCC("nuio");       // 1: read-only
inline constexpr TXNControlTag kTXNWordWrapStateTag = FourCC("wwrs");  // kTXNAutoWrap / kTXNNoAutoWrap
inline constexpr TXNControlTag kTXNVisibilityTag = FourCC("visb");     // 0: the text is not drawn
enum : UInt32 {
    kTXNReadWrite = 0,
    kTXNReadOnly = 1,
    kTXNAutoWrap = 0,
    kTXNNoAutoWrap = 1,
};
union TXNControlData {
    UInt32 uValue;
    SInt32 sValue;
};

// Type attributes (TXNSetTypeAttributes).
inline constexpr TXNTypeRunAttributes kTXNQDFontNameAttribute = FourCC("fntn");  // dataPtr: Str255 (UTF-8)
inline constexpr TXNTypeRunAttributes kTXNQDFontSizeAttribute = FourCC("size");  // dataValue: Fixed points
inline constexpr TXNTypeRunAttributes kTXNQDFontStyleAttribute =
    FourCC("face");  // dataValue: 1 bold, 2 italic, 4 underline
inline constexpr TXNTypeRunAttributes kTXNQDFontColorAttribute = FourCC("klor");  // dataPtr: RGBColor
inline constexpr ByteCount kTXNQDFontNameAttributeSize = sizeof(Str255);
inline constexpr ByteCount kTXNFontSizeAttributeSize = sizeof(SInt32);
inline constexpr ByteCount kTXNQDFontStyleAttributeSize = 1;
inline constexpr ByteCount kTXNQDFontColorAttributeSize = sizeof(RGBColor);
union TXNAttributeData {
    void* dataPtr;
    UInt32 dataValue;
};
struct TXNTypeAttributes {
    TXNTypeRunAttributes tag;
    ByteCount size;
    TXNAttributeData data;
};

inline constexpr TXNBackgroundType kTXNBackgroundTypeRGB = 1;
struct TXNBackground {
    TXNBackgroundType bgType;
    union {
        RGBColor color;
    } bg;
};

// Status codes of the text engine.
inline constexpr OSStatus kTXNSomeOrAllTagsInvalidForRunErr = -22010;
inline constexpr OSStatus kTXNDataTypeNotAllowedErr = -22015;

// A new text view (count 1, the caller's) in no window yet.
OSStatus HITextViewCreate(const HIRect* inBoundsRect, OptionBits inOptions, TXNFrameOptions inTXNFrameOptions,
                          HIViewRef* outTextView);
// The view's text object (lives as long as the view); nil for another view.
TXNObject HITextViewGetTXNObject(HIViewRef inTextView);

// Replaces the range with the data (size 0: deletes it) and puts the
// insertion point after it. paramErr for an object that is gone, nil data
// with a size, or a start after the end; kTXNDataTypeNotAllowedErr for
// another type or UTF-16 of an odd size.
OSStatus TXNSetData(TXNObject iTXNObject, TXNDataType iDataType, const void* iDataPtr, ByteCount iDataSize,
                    TXNOffset iStartOffset, TXNOffset iEndOffset);
// Selects from start to end (clamped to the text; the other way round
// when start is after end).
OSStatus TXNSetSelection(TXNObject iTXNObject, TXNOffset iStartOffset, TXNOffset iEndOffset);
// The selection, start first; both left untouched for a gone object.
void TXNGetSelection(TXNObject iTXNObject, TXNOffset* oStartOffset, TXNOffset* oEndOffset);
void TXNSelectAll(TXNObject iTXNObject);
// The size of the text in bytes of UTF-16 (twice its length); 0 for a gone object.
ByteCount TXNDataSize(TXNObject iTXNObject);

// Sets controls (read-only, wrapping, visibility); `iClearAll` first
// returns every control to its default. paramErr for an unknown tag (the
// controls before it are set).
OSStatus TXNSetTXNObjectControls(TXNObject iTXNObject, Boolean iClearAll, ItemCount iControlCount,
                                 const TXNControlTag iControlTags[], const TXNControlData iControlData[]);
OSStatus TXNGetTXNObjectControls(TXNObject iTXNObject, ItemCount iControlCount, const TXNControlTag iControlTags[],
                                 TXNControlData oControlData[]);
// Font name, size, style and colour on the range; on the whole text they
// also become the look of text typed or set later.
// kTXNSomeOrAllTagsInvalidForRunErr for an unknown tag (nothing changed).
OSStatus TXNSetTypeAttributes(TXNObject iTXNObject, ItemCount iAttrCount, const TXNTypeAttributes iAttributes[],
                              TXNOffset iStartOffset, TXNOffset iEndOffset);
// An RGB background colour (the only type).
OSStatus TXNSetBackground(TXNObject iTXNObject, const TXNBackground* iBackgroundInfo);
// Rich text files (RTF): font family, size, bold, italic, underline,
// strike-out, colours, alignment and any Unicode text go both ways.
// Writing puts the range (the whole text: kTXNStartOffset to
// kTXNEndOffset) into the file at the URL atomically; a file there that
// cannot be read (not a regular file, no permission) is never written
// over. Reading replaces the whole text with the file's, and sends no text
// events; the range must be the whole text. `iDataOptions` and the
// document attributes are not used (outputs set to nil). paramErr for a
// gone object, a URL that names no local file or another range; fnfErr
// for a missing file; notAFileErr for a folder or anything but a plain
// file; kTXNDataTypeNotAllowedErr for a file that is not RTF (the text is
// left as it was); ioErr or afpAccessDenied when the file system refused.
OSStatus TXNWriteRangeToCFURL(TXNObject iTXNObject, TXNOffset iStartOffset, TXNOffset iEndOffset,
                              CFDictionaryRef iDataOptions, CFDictionaryRef iDocumentAttributes, CFURLRef iFileURL);
OSStatus TXNReadFromCFURL(TXNObject iTXNObject, TXNOffset iStartOffset, TXNOffset iEndOffset,
                          CFDictionaryRef iDataOptions, CFURLRef iFileURL, CFDictionaryRef* oDocumentAttributes);
// Moves the view to the rectangle, in its window's coordinates.
void TXNSetFrameBounds(TXNObject iTXNObject, SInt32 iTop, SInt32 iLeft, SInt32 iBottom, SInt32 iRight,
                       TXNFrameID iTXNFrameID);
