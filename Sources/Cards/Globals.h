// The abstract classes through which cards, task rows, the task outline, the
// screen and the application reach one another without naming each other's
// concrete classes. Each derives from the framework class its concrete class
// needs and adds no fields: a task knows its card as a TCardProtocol, a card
// knows its outline as a TBrowserProtocol, everybody reaches the screen as a
// TScreenProtocol.
//
// Every operation here is a virtual with a neutral answer (nil, false, 0,
// nothing done) that writes one "Warning: " line naming the class and the
// operation: a concrete class fills what its callers use, and a call that
// reaches an unfilled operation shows up in the output instead of crashing.
//
// The unit also keeps the small interfaces of the parts that are built later
// (list colour of the preferences, the screen's thumbnail refresh and the
// like, see CardServices below): each answers a default that changes
// nothing visible until its owner installs the real one.
#pragma once

#include <SpriteEngine/SCCanvas.h>
#include <SpriteEngine/SCGlobals.h>
#include <SpriteEngine/SCSprite.h>

#include <ApplicationFramework/Classes/TApplicationUnit.h>
#include <Units/Classes/TArrayUnit.h>
#include <Units/Classes/TResponderUnit.h>
#include <Units/Utilities/CGUtilities.h>

#include <CoreFoundation/CFUUID.h>
#include <CoreServices/CoreServices.h>

class NSColor;
class NSDate;
class TPasteboard;
class TSpriteLayer;
// A calendar of the calendar store (built with the calendar bridge).
class CalCalendar;

class TCardProtocol;
class TTaskProtocol;
class TBrowserProtocol;
class TScreenProtocol;

// The style record of a task row: four text styles, the priority (0 none, 3
// highest ... 7 lowest), a word kept with the record but neither archived
// nor shown, and the status (0 none, 3 in progress, 4 canceled, 5 delayed).
struct TaskStyleInfo {
    Boolean bold = false;
    Boolean italic = false;
    Boolean underline = false;
    Boolean strikethrough = false;
    SInt32 priority = 0;
    UInt32 reserved = 0;
    SInt32 status = 0;
};

inline bool operator==(const TaskStyleInfo& a, const TaskStyleInfo& b)
{
    return a.bold == b.bold && a.italic == b.italic && a.underline == b.underline &&
           a.strikethrough == b.strikethrough && a.priority == b.priority && a.reserved == b.reserved &&
           a.status == b.status;
}

// Writes the line for a call that reached an operation no class filled.
void ReportUnfilledOperation(const TObject* object, const char* protocol, const char* operation);

// ---- cards ----

class TCardProtocol : public TSprite {
    SPRITE_ABSTRACT_CLASS(TCardProtocol, TSprite)

public:
    // The colour of content text (rows, pages) on this card.
    virtual NSColor* GetBaseTextColor();
    // The card's inner rectangle, in card coordinates.
    virtual CGRect GetInteriorFrame();
    // The rectangle under the title where rows or pages are laid out.
    virtual CGRect GetContentFrame();
    // The card's own title (not a copy).
    virtual CFStringRef GetTitle();
    virtual ATSURGBAlphaColor GetColor();
    // 0.2126 red + 0.7152 green + 0.0722 blue of the card colour.
    virtual Float32 GetLuminosity();
    // Task-list cards only.
    virtual Boolean GetHideCompletedTasks();
    virtual SInt32 GetShowTasksFrom();
    virtual TBrowserProtocol* GetBrowser();
    // Owned by the card.
    virtual CFUUIDRef GetUUID();
    virtual CFDateRef GetTimeStamp();
    // Absolute times in seconds of the platform's reference date.
    virtual void RenewTimeStamp(CFAbsoluteTime time);
    virtual void SetRecentSyncTime(CFAbsoluteTime time);
    // Nil when never synchronised.
    virtual CFDateRef GetRecentSyncTime();
    virtual Boolean IsPrinting();
    virtual Boolean IsEditable();
    virtual void SetNeedsAdjustHeight(Boolean flag);
    virtual void AdjustHeight();
    virtual void HandleTaskChanged();
    // Task-list cards only.
    virtual void RemoveTask(TTaskProtocol* task);
    // A menu command for the focused card; status set to 0 when handled,
    // left as it is otherwise (nothing here).
    virtual void ProcessCommand(const HICommandExtended&, EventRef, OSStatus&) {}

protected:
    TCardProtocol() = default;
};

// ---- task rows ----

class TTaskProtocol : public TResponder {
    SPRITE_ABSTRACT_CLASS(TTaskProtocol, TResponder)

public:
    virtual void CopyToClipboard(TPasteboard* pasteboard);
    virtual void ProcessCommand(const HICommandExtended& command, EventRef event, OSStatus& status);
    virtual void Append(TTaskProtocol* task);
    virtual void Prepend(TTaskProtocol* task);
    virtual void InsertAfter(TTaskProtocol* task);
    virtual void InsertBefore(TTaskProtocol* task);
    virtual void Insert(TTaskProtocol* task, SInt32 index);
    virtual void Modify();
    // New arrays the caller releases.
    virtual TArray* CopyChildren();
    virtual TArray* CopyChildrenDeep();
    virtual void Update();
    virtual void DateChanged();
    virtual void UpdateNotificationDate();
    virtual void UpdateRepeatDate();
    virtual void SetText(CFStringRef text);
    virtual void SetCompleted(Boolean flag);
    virtual void SetFlag(SInt32 value);
    virtual void SetTracking(SInt32 value);
    virtual void SetOpen(Boolean flag);
    virtual void SetContainer(Boolean flag);
    virtual void SetStyle(const TaskStyleInfo& style);
    virtual void SetParent(TTaskProtocol* task);
    virtual void SetChildID(UInt16 id);
    virtual void SetRow(UInt16 row);
    virtual void SetNotes(CFDataRef notes);
    virtual void SetDueDate(NSDate* date);
    virtual void SetDateStyle(SInt32 style);
    virtual void SetDateRepeat(SInt32 value);
    virtual void SetDateNotify(SInt32 value);
    virtual void SetRelativeDate(Boolean flag);
    virtual void SetNotificationDate(NSDate* date);
    virtual void SetCalendarDatePicker(Boolean flag);
    virtual Boolean IsOpen();
    virtual Boolean IsSelected();
    virtual Boolean IsContainer();
    virtual Boolean IsOverdue();
    virtual Boolean IsCalendarDatePicker();
    virtual Boolean IsDateRelative();
    virtual CGSize GetDimensions();
    virtual CFStringRef GetText();
    virtual CGPoint GetConnectionPoint();
    virtual SInt32 GetTracking();
    virtual TaskStyleInfo GetStyle();
    virtual NSDate* GetDueDate();
    virtual CFDataRef GetNotes();
    virtual SInt32 GetDateRepeat();
    virtual SInt32 GetDateStyle();
    virtual SInt32 GetDateNotify();
    virtual CGRect GetSelectionFrame();
    // The card that holds the task.
    virtual TCardProtocol* GetOwner();
    virtual Boolean HasNotification();

protected:
    TTaskProtocol() = default;
};

// ---- the task outline ----

class TBrowserProtocol : public TObject {
    SPRITE_ABSTRACT_CLASS(TBrowserProtocol, TObject)

public:
    virtual TTaskProtocol* GetSelection();
    virtual void SetSelection(TTaskProtocol* task);
    virtual void Deselect(TTaskProtocol* task);
    virtual void RemoveTask(TTaskProtocol* task, Boolean flag);
    // A new array the caller releases.
    virtual TArray* CopyTasks();
    // The invisible root whose children are the top-level rows.
    virtual TTaskProtocol* GetRoot();
    virtual void IndentSelection(Boolean flag);

protected:
    TBrowserProtocol() = default;
};

// ---- the screen ----

class TScreenProtocol : public TSpriteCanvas {
    SPRITE_ABSTRACT_CLASS(TScreenProtocol, TSpriteCanvas)

public:
    virtual void SetSheetFile(const FSRef& file);
    virtual Boolean IsPrinting();
    virtual void CloseSheet();
    virtual TSpriteLayer* GetMainLayer();
    virtual Boolean DoesCalendarCardExists(CalCalendar* calendar);
    // Sets status to 0 when handled; leaves it otherwise.
    virtual void ProcessCommand(const HICommandExtended& command, EventRef event, OSStatus& status);

    // The one screen; nil until the screen has initialised. Not retained
    // (the desktop window owns the screen); the screen clears it when it
    // goes.
    static void SetSharedScreen(TScreenProtocol* screen);
    static TScreenProtocol* SharedScreen();

protected:
    TScreenProtocol() = default;
};

// ---- the application ----

class TBrindletApplicationProtocol : public TApplication {
    SPRITE_ABSTRACT_CLASS(TBrindletApplicationProtocol, TApplication)

public:
    virtual void UpdatePreferenceVersion();
    virtual void ProtectRequiredFonts();
    virtual void CreateDefaultSheets();

protected:
    TBrindletApplicationProtocol() = default;
};

// ---- services of the parts built later ----

// Each is a plain function the owning part installs at its start-up; until
// then the default answers without changing anything visible.
namespace CardServices {

// The list text colour of the preferences (default: black). Borrowed.
typedef NSColor* (*ListColorProc)();
void SetListColorProc(ListColorProc proc);
NSColor* GetListColor();

// The floating panes' label background behind a card's label (default:
// nothing drawn).
typedef void (*LabelBackgroundProc)(CGContextRef context, CGRect rect);
void SetLabelBackgroundProc(LabelBackgroundProc proc);
void DrawLabelBackground(CGContextRef context, CGRect rect);

// The colour picker's current colour; false (colour untouched) while there
// is no picker (default).
typedef bool (*PickerColorProc)(ATSURGBAlphaColor& color);
void SetPickerColorProc(PickerColorProc proc);
bool GetPickerColor(ATSURGBAlphaColor& color);

// Starts editing a card's title in the canvas text field over `frame`
// (canvas coordinates); false when no editing session exists (default).
typedef bool (*TitleEditingProc)(TCardProtocol* card, CGRect frame, CFStringRef title);
void SetTitleEditingProc(TitleEditingProc proc);
bool StartTitleEditing(TCardProtocol* card, CGRect frame, CFStringRef title);

// The alert pane over the shared screen, showing `text` (default: nothing
// shown).
typedef void (*AlertTextProc)(CFStringRef text);
void SetAlertTextProc(AlertTextProc proc);
void ShowAlertText(CFStringRef text);

// Closes the contextual pane that is open, if any (default: there is none).
typedef void (*CloseContextualPaneProc)();
void SetCloseContextualPaneProc(CloseContextualPaneProc proc);
void CloseActiveContextualPane();

// Opens a task pane for `task` on its card's canvas, with a view controller
// of the class `controllerClass` loaded from the nib `nibName` (default:
// nothing opens).
typedef void (*TaskPaneProc)(TTaskProtocol* task, const char* controllerClass, const char* nibName);
void SetTaskPaneProc(TaskPaneProc proc);
void OpenTaskPane(TTaskProtocol* task, const char* controllerClass, const char* nibName);

}  // namespace CardServices
