// Cocoa conveniences shared by the units: autorelease pools for code that
// runs outside Cocoa's own loop, the date arithmetic and day classes that
// task dates are shown with, string operations for paths, short strings,
// truncation and commands, and one-line conveniences on graphics contexts,
// views, windows, paragraph styles, alerts, menu items, buttons, colours,
// images and the file manager. The methods a category adds to a Cocoa class are
// functions here, in a namespace named after the category, taking the
// receiver first. Objects they answer are autoreleased, except those of the
// functions whose names begin with "init", which the caller releases.
#pragma once

#include <Units/PCRERegex/PCRERegex.h>
#include <Units/Utilities/FSUtilities.h>
#include <Units/Utilities/ShortString.h>

#include <AppKit/AppKit.h>
#include <Foundation/Foundation.h>

#include <vector>

// Opens an autorelease pool into `pool` (cleared first).
void OpenPool(NSAutoreleasePool*& pool);
// Releases the pool when there is one.
void ClosePool(NSAutoreleasePool* pool);
// Whether a pool opened through OpenPool is still open.
bool IsPoolOpen();
// Prints the object's description with CFShow.
void NSShow(const NSObject* object);
// The date's absolute time broken down in the default time zone.
CFGregorianDate CFDateGetGregorianDate(CFDateRef date);

namespace NSDateUtilities {

// The start of the current day in the current time zone: its calendar
// midnight, which is not always 24 hours after the last one.
NSDate* midnight();

// Day classes: by the whole hours (toward zero) from the start of today.
bool isYesterday(const NSDate* date);
bool isToday(const NSDate* date);
bool isTomorrow(const NSDate* date);
// Hours and minutes to the date from now (rounded, halves to even) and its
// day relation: -1 yesterday, 0 today, 1 tomorrow, otherwise whole days
// from now; years, months and seconds are 0.
CFGregorianUnits unitsRelativeToDate(const NSDate* date);

NSDate* dateWithZeroSeconds(const NSDate* date);
NSDate* dateWithoutTime(const NSDate* date);

// The date as text in the short, medium or long style for both date and
// time (fullDateString uses the medium style), relative day words when asked.
NSString* shortDateString(const NSDate* date, bool relative);
NSString* mediumDateString(const NSDate* date, bool relative);
NSString* longDateString(const NSDate* date, bool relative);
NSString* fullDateString(const NSDate* date, bool relative);

bool occurredAfter(const NSDate* date, const NSDate* other);
bool occurredBefore(const NSDate* date, const NSDate* other);
bool occurredOn(const NSDate* date, const NSDate* other);
bool occurredAlready(const NSDate* date);
bool occursInFuture(const NSDate* date);
// Whether the date lies at most `minutes` minutes before `other` (whole
// minutes, rounded, halves to even).
bool occurredMinutes(const NSDate* date, NSInteger minutes, const NSDate* other);

NSDate* dateByAddingMinutes(const NSDate* date, NSInteger n);
NSDate* dateByAddingHours(const NSDate* date, NSInteger n);
NSDate* dateByAddingDays(const NSDate* date, NSInteger n);
NSDate* dateByAddingWeeks(const NSDate* date, NSInteger n);
NSDate* dateByAddingMonths(const NSDate* date, NSInteger n);
NSDate* dateByAddingYears(const NSDate* date, NSInteger n);

// date - other in all units, largest first, in the system time zone.
CFGregorianUnits differenceAsGregorianUnits(const NSDate* date, const NSDate* other);
// 1 Monday … 7 Sunday, and 1 for the first of January, in the system time zone.
NSInteger dayOfWeek(const NSDate* date);
NSInteger dayOfYear(const NSDate* date);
CFGregorianDate gregorianDate(const NSDate* date);
bool isMonthEqual(const NSDate* date, const NSDate* other);
bool isYearEqual(const NSDate* date, const NSDate* other);

}  // namespace NSDateUtilities

namespace NSScreenUtilities {

// The height of the menu bar the base screen keeps free.
inline constexpr CGFloat kMenuBarHeight = 22;

// The first screen whose frame begins at the origin (the one with the menu
// bar); the main screen when none does.
NSScreen* baseScreen();
// The screen of a display identifier ("NSScreenNumber"); nil when none.
NSScreen* screenForDisplay(UInt32 displayID);
// The union of every screen's frame (and the origin).
NSRect boundingFrameForDevices();
// The frame; for the base screen, less the menu bar at its top.
NSRect frameExcludingMenuBar(const NSScreen* screen);
// The frame in coordinates whose origin is the base screen's top-left
// corner, y growing downwards; for the base screen, below its menu bar.
NSRect localFrame(const NSScreen* screen);

}  // namespace NSScreenUtilities

// Lengths and positions in NSString texts count UTF-16 units, as the
// platform's do. No operation here leaves half of a surrogate pair behind:
// a cut that would fall between the halves leaves the whole character out.
namespace NSStringUtilities {

// Runs the text as a command and answers everything it wrote to its
// standard output, read as UTF-8 (bytes that are not become U+FFFD). No
// shell is involved: the text is split into words as a shell splits a
// simple command, and the first word names the program, so pipes,
// redirections and "$(...)" reach it as plain text. An empty text, or one
// with an unterminated quote, runs nothing and answers the empty string.
NSString* execute(const NSString* command);
// Whether the text matches the pattern (caseless, UTF-8).
bool regex(const NSString* subject, const ShortString& pattern);
// The same, collecting the captured groups as Regex does.
bool regexMatches(const NSString* subject, const ShortString& pattern, PCREMatchesArray& matches);

// The shortest decimal text that reads back as the same number.
NSString* stringWithFloat(float value);
NSString* stringWithInteger(SInt32 value);
// The same object as a platform string, borrowed.
CFStringRef cfType(const NSString* text);

// The text holds a "." anywhere.
bool hasExtension(const NSString* text);
// What follows the one "." of a text that holds exactly one; nil otherwise
// ("archive.tar.gz" has none).
NSString* extension(const NSString* text);
// `extension` as a short string; empty when there is none.
ShortString pascalExtension(const NSString* text);
// The text before its last "." ("archive.tar.gz" gives "archive.tar"); the
// whole text when it has none.
NSString* stringByTrimmingExtension(const NSString* text);
// What follows the separator in a text that holds it exactly once; nil
// otherwise.
NSString* component(const NSString* text, const ShortString& separator);
// The text is one line feed: what a text field's Return leaves behind.
bool isReturnKey(const NSString* text);
// The text less as many units at its end (start) as the suffix (prefix)
// has; the characters are not compared. The empty string when the suffix
// (prefix) is longer than the text.
NSString* stringByTrimmingSuffix(const NSString* text, const NSString* suffix);
NSString* stringByTrimmingPrefix(const NSString* text, const NSString* prefix);

// The text when it fits `maximumWidth` points in the font (nil: the
// system font of size 12); otherwise its longest beginning that fits with
// "..." after it, and never less than its first character and "...".
NSString* stringByTruncating(const NSString* text, const NSFont* font, CGFloat maximumWidth);
NSString* stringByTruncatingWithFont(const NSString* text, const NSFont* font, CGFloat maximumWidth);
// The text when it has at most `count` units; otherwise its first `count`
// followed by "..." (a negative count counts as 0).
NSString* stringByTruncatingCharacters(const NSString* text, NSInteger count);

// A string of the short string's UTF-8 text (bytes that are not UTF-8
// become U+FFFD).
NSString* stringWithPascalString(const ShortString& text);
NSString* initWithPascalString(const ShortString& text);
// The text equals the short string's (compared literally).
bool compareWithPascal(const NSString* text, const ShortString& other);
bool isEmpty(const NSString* text);
// The UTF-8 text, cut to 255 bytes at a character boundary.
ShortString pascalString(const NSString* text);

// A folder is at the path (a final symbolic link followed).
bool isDirectory(const NSString* path);
// The workspace shows the path as one document (a package).
bool isPackage(const NSString* path);

// The object's name; nil when it cannot be read.
NSString* stringWithFSObjectName(const FSRef& ref);
// The object's POSIX path; nil for no file.
NSString* stringWithFSRef(const FSRef& ref);
NSString* initWithFSRef(const FSRef& ref);
// The object at the text taken as a POSIX path; all zero when nothing is
// there.
FSRef fsRef(const NSString* path);

}  // namespace NSStringUtilities

namespace NSObjectUtilities {

// The description, cut to a short string.
ShortString pascalDescription(const NSObject* object);

}  // namespace NSObjectUtilities

namespace NSColorUtilities {

// The calibrated RGB colour of the components.
NSColor* colorWithCGRB(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha);
NSColor* blackColorWithAlpha(CGFloat alpha);
NSColor* whiteColorWithAlpha(CGFloat alpha);
// Equal to the opaque white colour.
bool isWhite(const NSColor* color);

}  // namespace NSColorUtilities

namespace NSImageUtilities {

// The image of the main bundle's resource of that name and type (the type
// may be empty when the name carries it); nil when there is none.
NSImage* imageWithResource(const ShortString& name, const ShortString& type);
// The image at that path inside the main bundle's resource folder; nil
// when there is none.
NSImage* imageWithResource(const ShortString& fileName);
// An image over the Quartz image, sized to its pixels; nil for nil.
NSImage* imageWithCGImage(CGImageRef image);
// Draws the whole image into the rectangle of the current Cocoa context,
// replacing what was there (the copy operation, fully opaque). Nothing
// without a context or an image.
void drawInRect(const NSImage* image, NSRect rect);

}  // namespace NSImageUtilities

namespace NSGraphicsContextUtilities {

// The current Cocoa context's Quartz context, its user space turned upside
// down within `rect` (translated by (0, 2·y + height), then scaled by
// (1, −1)): for drawing y-down in a y-up context. Nil without a current
// context.
CGContextRef flippedContext(NSRect rect);

}  // namespace NSGraphicsContextUtilities

namespace NSViewUtilities {

// flippedContext over the view's bounds.
CGContextRef flippedContext(const NSView* view);
// The current Cocoa context's Quartz context; nil without one.
CGContextRef CGContext(const NSView* view);
void setNeedsDisplay(NSView* view);

}  // namespace NSViewUtilities

namespace NSWindowUtilities {

// Gives the window the main screen's frame less the menu bar, drawn at once.
void makeFullScreen(NSWindow* window);
// The same on the screen of the display, or the main screen when no
// screen has that identifier.
void makeFullScreenInDisplay(NSWindow* window, UInt32 displayID);

}  // namespace NSWindowUtilities

namespace NSParagraphStyleUtilities {

NSMutableParagraphStyle* paragraphWithAlignment(NSTextAlignment alignment);

}  // namespace NSParagraphStyleUtilities

namespace NSAlertUtilities {

// An alert with the message: begun as a sheet on the window, or run
// modally without one. Answers the alert.
NSAlert* alertWithMessage(const NSString* message, NSWindow* window);

}  // namespace NSAlertUtilities

// Checked is the on state; the mixed state does not count as checked.
namespace NSMenuItemUtilities {

void setChecked(NSMenuItem* item, bool checked);
bool checkedState(const NSMenuItem* item);

}  // namespace NSMenuItemUtilities

namespace NSButtonUtilities {

void setChecked(NSButton* button, bool checked);
bool checkedState(const NSButton* button);

}  // namespace NSButtonUtilities

namespace NSFileManagerUtilities {

// The full paths of the folder's entries (no deeper), in the order the
// file manager lists them; empty when the folder cannot be listed.
std::vector<NSString*> subpathsOfFolder(const NSFileManager* manager, const FSRef& folder);

}  // namespace NSFileManagerUtilities

void InitializeCocoaUtilities();
