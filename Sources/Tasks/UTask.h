// The task row: one line of a task-list card with its check box, due date,
// reminder, repeat rule, priority, status, flag, note, text style and child
// rows. The rows of a card form a tree whose invisible root belongs to the
// card's outline (UBrowser.h); the outline lays the visible rows out and
// hands them their events. Every change a user makes goes through Modify,
// which renews the time stamps and tells the screen and the helper.
//
// The keys a row writes into its archive are the keys of the sheet file
// that the helper reads too; they are listed with EncodeData.
//
// UTask.cpp holds the model, tree, archive and undo bookkeeping,
// UTaskDates.cpp the date operations and the archived date texts,
// UTaskArtwork.cpp the row artwork and the unit's initialisation,
// UTaskDrawing.cpp the row's drawing and layout, UTaskCommands.cpp the
// menu commands, clicks, text editing and drags.
#pragma once

#include <Sources/Cards/Globals.h>

#include <Units/Classes/TUndoManagerUnit.h>

#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CFUUID.h>
#include <Foundation/NSDate.h>

class NSAttributeDictionary;
class TArchiver;
class TDrag;
class TTimer;

namespace brindlet {

class TTask;

// Where a drag hovering over a row would drop.
enum TaskTracking : SInt32 {
    kTrackingNone = 0,
    kTrackingInto = 1,
    kTrackingBefore = 2,
    kTrackingAfter = 3,
    kTrackingAtEnd = 4,
};

// The text of an archived date: the date's description, "2026-12-11
// 08:30:00 +0000" (year-month-day, time, and the zone offset as a sign and
// four digits). The caller releases it; nil for nil.
CFStringRef CopyTaskDateText(const NSDate* date);
// The date of such a text, with any zone offset; nil (nothing made) for
// anything that is not a string of exactly that form with a real calendar
// date. The caller releases what is not nil.
NSDate* NewTaskDateFromText(CFTypeRef text);

// The undo manager's filter for the actions that concern one row: those
// named "Insert" or "Delete" whose sender is the row, and "Move" actions
// whose sender is a TTypeDictionary naming the row under "task". The row
// is told (Modify) that an action of its own went, except while it is
// being freed.
Boolean UndoableTaskActionCallback(TObject* target, TUndoableAction* action, void* task);

class TTask : public TTaskProtocol {
    BRINDLET_CLASS(TTask, TTaskProtocol)

public:
    // A row with a copy of `text` (an empty text for nil) shown by `owner`;
    // the date display defaults come from the application's preferences.
    static TTask* Create(CFStringRef text, TCardProtocol* owner);

    void Initialize() override;
    void Deallocate() override;
    void CopyInstanceVariables(TObject* source) override;
    // The keys, in write order: "notes" (data, when set), "text", "uuid"
    // (when there is one), "timeStamp" (a date), "priority",
    // "relativeDate", "calendarDatePicker", "notificationDate" (removed when
    // there is none), "due", "started", "ended" (dates as CopyTaskDateText
    // writes them, when set), "completed", "flag", "open", "dateStyle",
    // "dateRepeat", "dateNotify", "timerRunning", "style.bold",
    // "style.italic", "style.underline", "style.strikethrough",
    // "style.priority", "style.status". Children are nested by the outline.
    void EncodeData(TArchiver* archiver) override;
    // A key that is absent or of another kind reads as its default (false,
    // 0, nil; the creation value for the date settings and the style's
    // priority and status); the text is never nil. The archive's context is
    // the card being decoded, which becomes the owner.
    void DecodeData(TArchiver* archiver) override;
    void Show() override;

    // ---- the protocol ----
    // The row's menu commands (UTaskCommands.cpp): status 0 for the codes
    // the row knows, left as it was for any other.
    void ProcessCommand(const HICommandExtended& command, EventRef event, OSStatus& status) override;
    // The text as UTF-8 plain text; nothing for a row without text.
    void CopyToClipboard(TPasteboard* pasteboard) override;
    void Append(TTaskProtocol* task) override;
    void Prepend(TTaskProtocol* task) override;
    void InsertAfter(TTaskProtocol* task) override;
    void InsertBefore(TTaskProtocol* task) override;
    // An index past the end appends, a negative one inserts first; the child
    // learns the index it really got.
    void Insert(TTaskProtocol* task, SInt32 index) override;
    void Modify() override;
    TArray* CopyChildren() override;
    TArray* CopyChildrenDeep() override;
    void Update() override;
    void DateChanged() override;
    void UpdateNotificationDate() override;
    void UpdateRepeatDate() override;
    // Nil changes nothing.
    void SetText(CFStringRef text) override;
    void SetCompleted(Boolean flag) override;
    void SetFlag(SInt32 value) override { flag_ = value; }
    void SetTracking(SInt32 value) override { tracking_ = value; }
    void SetOpen(Boolean flag) override;
    void SetContainer(Boolean flag) override;
    void SetStyle(const TaskStyleInfo& style) override;
    void SetParent(TTaskProtocol* task) override;
    void SetChildID(UInt16 id) override { childID_ = id; }
    void SetRow(UInt16 row) override { row_ = row; }
    void SetNotes(CFDataRef notes) override;
    void SetDueDate(NSDate* date) override;
    void SetDateStyle(SInt32 style) override { dateStyle_ = style; }
    void SetDateRepeat(SInt32 value) override { dateRepeat_ = value; }
    void SetDateNotify(SInt32 value) override { dateNotify_ = value; }
    void SetRelativeDate(Boolean flag) override { relativeDate_ = flag; }
    void SetNotificationDate(NSDate* date) override;
    void SetCalendarDatePicker(Boolean flag) override { calendarDatePicker_ = flag; }
    Boolean IsOpen() override { return open_; }
    Boolean IsSelected() override;
    Boolean IsContainer() override;
    Boolean IsOverdue() override;
    Boolean IsCalendarDatePicker() override { return calendarDatePicker_; }
    Boolean IsDateRelative() override { return relativeDate_; }
    CGSize GetDimensions() override;
    CFStringRef GetText() override { return text_; }
    CGPoint GetConnectionPoint() override;
    SInt32 GetTracking() override { return tracking_; }
    TaskStyleInfo GetStyle() override { return style_; }
    NSDate* GetDueDate() override { return due_; }
    CFDataRef GetNotes() override { return notes_; }
    SInt32 GetDateRepeat() override { return dateRepeat_; }
    SInt32 GetDateStyle() override { return dateStyle_; }
    SInt32 GetDateNotify() override { return dateNotify_; }
    CGRect GetSelectionFrame() override { return frame_; }
    // The rectangles of the last drawing (card coordinates).
    CGRect GetTextFrame() const;
    CGRect GetButtonFrame();
    CGRect GetDateFrame() const { return dateFrame_; }
    CGRect GetEditingFrame() const;
    CGRect GetTrackingFrame() const { return GetTextFrame(); }
    CGSize GetDragSize() const { return frame_.size; }
    CGRect GetPriorityFrame() const { return priorityFrame_; }
    CGRect GetStatusFrame() const { return statusFrame_; }
    CGRect GetNoteFrame() const { return noteFrame_; }
    CGRect GetBellFrame() const { return bellFrame_; }
    CGRect GetTimerIconFrame() const { return timerIconFrame_; }
    CGRect GetOverdueBadgeFrame() const { return overdueBadgeFrame_; }
    // The width the label and icons took at the right of the row.
    Float32 GetIconsWidth() const { return iconsWidth_; }
    SInt32 GetBaseTextHeight() const { return baseTextHeight_; }
    TCardProtocol* GetOwner() override { return owner_; }
    Boolean HasNotification() override;

    // ---- the row's own hooks ----
    // Whether the row may be removed (subclasses may refuse).
    virtual Boolean RequestRemove() { return true; }
    // Leaves the parent, which lets go of its reference; the row keeps its
    // parent reference until it is inserted elsewhere.
    virtual void Remove();
    // Keys the row takes for itself; a row takes none and leaves `status`.
    virtual void KeyDown(UInt32 modifiers, UInt32 keyCode, char character, OSStatus& status);
    // True when the click lies in the row; `select` asks the outline to
    // select it.
    virtual Boolean MouseDown(CGPoint point, SInt32 clickCount, Boolean& select, OSStatus& status);
    virtual Boolean ContextualClick(CGPoint point, OSStatus& status);
    virtual Boolean AcceptDrag(SInt32 tracking, TDrag* drag);
    // Where a drag at `point` would drop relative to this row (the row's
    // tracking state), and whether the row takes it there.
    virtual Boolean TrackDragging(CGPoint point, TTask* draggedTask, TDrag* drag);
    // The row's text, and the 'task' flavour that names the row.
    virtual void AddDragItems(TDrag* drag);
    // In the text frame of the selected row that is not being edited.
    virtual Boolean CanDrag(CGPoint point);
    // Drags the row from the current mouse event over the canvas, with the
    // row's text as the drag image.
    virtual void StartDrag();
    // The drag image's top-left corner from the current mouse location.
    virtual CGPoint GetDragOffset();
    // The drag image: the row's size, drawn by DrawDragImage; nil when no
    // bitmap of that size can be made. The caller releases it.
    CGImageRef CopyDragImage();
    // Lays the canvas text field over the row's text; the row becomes the
    // session's delegate until the session stops.
    virtual void BeginEditing();
    virtual Boolean ContainsPoint(CGPoint point);
    // Whether `task` is this row or one of its ancestors.
    virtual Boolean ContainsTask(const TTask* task);
    virtual void ToggleDate();
    virtual void ToggleCompleted();
    virtual void ToggleIsContainer();
    // Opens or closes an editable container.
    void ToggleContainer();
    // Selects the row and opens its date pane (giving it a due date of now
    // when it has none), or its info pane.
    virtual void EditDate();
    virtual void EditInfo();
    virtual Boolean AllowsIndenting() { return true; }
    virtual Boolean AllowsEditingText() { return true; }
    // Draws the row into its rectangle (card coordinates, y down): the
    // button, the date or timer label and the icons at the right edge, and
    // the text in what is left. The rectangles of what was drawn are kept
    // for hit testing.
    virtual void Draw(CGRect rect, CGContextRef context);
    // Draw's two halves. Layout places the label and icons in `rect` and
    // measures the text at the width they leave, so that GetDimensions
    // answers the row's height before anything is drawn; Paint draws what
    // the last Layout placed.
    void Layout(CGRect rect);
    void Paint(CGContextRef context);
    // The drop mark of the tracking state; nothing for kTrackingNone.
    virtual void DrawTracking(CGContextRef context);
    // The highlight behind the row, then the row drawn again over it.
    virtual void DrawSelection(CGContextRef context);
    // The text alone in its attributes, into a drag image of the row's
    // size (the context is flipped first).
    virtual void DrawDragImage(CGRect rect, CGContextRef context);
    // Lays the text out at the rectangle's width and draws it; renews the
    // text heights.
    virtual void DrawText(NSAttributeDictionary* attributes, CGRect rect, CGContextRef context);
    // A new dictionary for the row's text; the caller releases it.
    NSAttributeDictionary* CopyTextAttributes();
    // The attributes of the date and timer label; autoreleased.
    NSAttributeDictionary* GetLabelAttributes();
    // The check box, radio button or arrow, from the screen or the printing
    // set by the owner's state.
    CGImageRef GetButtonImage();
    // Marks the selection frame (grown by 1) for redisplay on the canvas.
    void SetNeedsDisplay();
    // A timer row (the timer's extension fills these in).
    virtual Boolean HasTimer() { return false; }
    virtual void RemoveTimer() {}
    virtual void StartTimer() {}
    virtual void StopTimer() {}
    // The elapsed time text, nil without a timer; the caller releases it.
    virtual CFStringRef CopyElapsedTimeString() { return nullptr; }
    // The base row asks its card.
    virtual Boolean IsEditable();

    // ---- tree ----
    SInt32 GetChildCount() const;
    TTask* GetChildAtIndex(SInt32 index) const;
    // The list itself, not retained for the caller.
    TObjectArray* GetChildren() const { return children_; }
    void RemoveChild(TTask* child);
    TTask* GetParent() const { return parent_; }
    bool IsRoot() const { return parent_ == nullptr; }
    // The topmost ancestor; nil for a root.
    TTask* GetRoot() const;
    UInt16 GetRow() const { return row_; }
    UInt16 GetChildID() const { return childID_; }
    // Gives the row and its ancestors the card (not its children).
    void SetOwner(TCardProtocol* card);
    void RemoveFromBrowser(Boolean selectPrevious);
    // Called on the row under a finished drop: moves `task` (or, with
    // `copy`, a copy of it, handed back through `task`) to where the row's
    // tracking state points.
    void InsertDrag(TTask*& task, TCardProtocol* newOwner, Boolean copy);
    // Called on the dropped row after InsertDrag with where it was before.
    void Moved(Boolean copy, TCardProtocol* previousOwner, TTask* previousParent, SInt32 previousChildID);

    // ---- values ----
    Boolean IsCompleted() const { return completed_; }
    SInt32 GetFlag() const { return flag_; }
    SInt32 GetPriority() const { return priority_; }
    // Nil for a row without parent (the root is never found from outside).
    CFUUIDRef GetUUID() const;
    CFDateRef GetTimeStamp() const { return timeStamp_; }
    NSDate* GetNotificationDate() const { return notificationDate_; }
    NSDate* GetStartedDate() const { return started_; }
    NSDate* GetEndedDate() const { return ended_; }
    // Copies for the caller, who releases them; nil when unset.
    NSDate* CopyDueDate() const;
    NSDate* CopyStartedDate() const;
    Boolean IsTimerRunning() const { return timerRunning_; }
    Boolean IsEditing() const { return editing_; }
    void SetEditedFromAdding(Boolean flag) { editedFromAdding_ = flag; }
    Boolean IsDrawingSelection() const { return drawingSelection_; }
    SInt32 GetTextHeight() const { return textHeight_; }
    CGRect GetFrame() const { return frame_; }
    void SetFrame(CGRect frame) { frame_ = frame; }
    Boolean HasNote() const;
    Boolean HasPriority() const { return style_.priority >= 3 && !completed_; }
    Boolean HasStatus() const { return style_.status >= 3 && !completed_; }
    Boolean HasDate() const { return due_ != nullptr && !completed_; }

    // ---- dates ----
    // Hidden by the owner card's date filter.
    Boolean IsHiddenByDate();
    // The text the bell shows: when the helper will remind of the row, in
    // short date and time with the day words. Nil without a reminder; the
    // caller releases what is not nil.
    NSString* CopyReminderText() const;
    // Overdue rows among the descendants.
    SInt32 CountOverdueTasks();
    // A day (date only) or an hour (date and time) forwards or backwards.
    void MoveDate(Boolean forward);

    // ---- the card's outline ----
    TBrowserProtocol* GetBrowser();
    void Select();
    void Deselect();
    void Locate();

    // Notification handlers.
    void HandleLocateTask(TDictionary* notification);
    void HandleUpdateDates(TDictionary* notification);
    void HandleTextHeightChanged(TDictionary* info);
    // The editing session's delegate message "TextFieldDelegate.KeyDown":
    // Return may ask the card for a new row after the edit.
    void HandleEditingKeyDown(EventRef event);
    // "TEditSession.StopEditing" while the row is edited: the text the
    // session ended with becomes the row's (or a web address becomes a
    // link row in its place).
    virtual void HandleStoppedEditing(TDictionary* info);

    // Writes the tree under the row to standard output, two blanks a level.
    void Show(const TTask* task, SInt32 indent);

protected:
    TTask() = default;

private:
    void SetDueDateKeepingSeconds(NSDate* date);
    // Registers the editing session's delegate message and observes its
    // end (UTaskCommands.cpp); part of Initialize.
    void ObserveEditing();
    // Asks the owner card for "AddTask" on the next pass of the event loop.
    void ScheduleAddTask();
    // Puts a link row made of `text` in the row's place; false (nothing
    // changed) when no such row can be made.
    Boolean ReplaceWithURLAttachment(CFStringRef text);

    // Renews the text heights for `width` (the font's line, and the laid
    // out text's height) without drawing.
    void MeasureText(NSAttributeDictionary* attributes, CGFloat width);
    void ForgetPaintPlan();

    // What Layout worked out for Paint. The images are the row artwork,
    // which lives as long as the program; the attributes are retained.
    struct PaintPlan {
        CFRef<CFStringRef> label;
        CFRef<CFStringRef> overdueCount;
        CGImageRef labelImage = nullptr;
        CGImageRef priorityImage = nullptr;
        CGImageRef statusImage = nullptr;
        CGRect labelImageFrame = CGRectZero;
        CGRect labelTextFrame = CGRectZero;
        CGRect overdueImageFrame = CGRectZero;
        NSAttributeDictionary* labelAttributes = nullptr;
        NSAttributeDictionary* textAttributes = nullptr;
    };

    CFMutableStringRef text_ = nullptr;
    TCardProtocol* owner_ = nullptr;
    PaintPlan plan_;
    UInt16 childID_ = 0;
    UInt16 row_ = 0;
    CGRect frame_ = CGRectZero;
    CGRect dateFrame_ = CGRectZero;
    CGRect priorityFrame_ = CGRectZero;
    CGRect statusFrame_ = CGRectZero;
    CGRect noteFrame_ = CGRectZero;
    CGRect bellFrame_ = CGRectZero;
    CGRect timerIconFrame_ = CGRectZero;
    CGRect overdueBadgeFrame_ = CGRectZero;
    SInt32 tracking_ = kTrackingNone;
    Boolean editing_ = false;
    Boolean editedFromAdding_ = false;
    NSDate* due_ = nullptr;
    NSDate* started_ = nullptr;
    NSDate* ended_ = nullptr;
    CFUUIDRef uuid_ = nullptr;
    CFDateRef timeStamp_ = nullptr;
    SInt32 priority_ = 0;
    Boolean completed_ = false;
    SInt32 flag_ = 0;
    Boolean open_ = false;
    Boolean container_ = false;
    TaskStyleInfo style_;
    TTask* parent_ = nullptr;
    TObjectArray* children_ = nullptr;
    SInt32 textHeight_ = 15;
    SInt32 baseTextHeight_ = 15;
    Float32 iconsWidth_ = 0;
    Boolean drawingSelection_ = false;
    Boolean undoRemoved_ = false;
    CFDataRef notes_ = nullptr;
    SInt32 dateStyle_ = 0;
    SInt32 dateRepeat_ = 0;
    SInt32 dateNotify_ = 0;
    Boolean relativeDate_ = false;
    NSDate* notificationDate_ = nullptr;
    Boolean calendarDatePicker_ = false;
    Boolean timerRunning_ = false;
    // The last "AddTask" the row asked for; let go with the row, so that a
    // card freed meanwhile is never called.
    TTimer* addTaskTimer_ = nullptr;
    // Set while the row is being freed: its undo actions go without
    // telling it.
    Boolean deallocating_ = false;

    friend Boolean UndoableTaskActionCallback(TObject*, TUndoableAction*, void*);
};

// The row artwork, loaded once by the unit's initialisation and kept for
// the life of the program. Each getter answers nil for an index outside its
// set or an image the bundle lacks.
enum TaskButtonImage : SInt32 {
    kRadioButtonImage = 0,
    kCheckImage = 1,
    kArrowOpenImage = 2,
    kArrowClosedImage = 3,
};
enum TaskIconImage : SInt32 {
    kNoteImage = 0,
    kNotifyImage = 1,
    kOverdueImage = 2,
    kTimerRunningImage = 3,
    kTimerPausedImage = 4,
};
// The check box and disclosure buttons, for the screen or for printing.
CGImageRef GetTaskButtonImage(SInt32 button, bool printing);
CGImageRef GetTaskIconImage(SInt32 icon);
// 0 red, 1 yellow, 2 green, 3 blue, 4 gray.
CGImageRef GetTaskFlagImage(SInt32 index);
// 0 in progress, 1 canceled, 2 delayed.
CGImageRef GetTaskStatusImage(SInt32 index);

// Registers the row class under "TTask" and loads the row artwork from the
// bundle's resources.
void InitializeUTaskUnit();

}  // namespace brindlet
