// The task-list card: a card whose content is an outline of task rows. The
// outline (UBrowser.h) lays the rows out, keeps the selection and turns keys
// and drags into outline operations; the card adds the insertion of new
// rows, the clipboard and plain-text export and import, the undo of row
// actions, its automatic height and the overdue label, and routes its
// mouse, key and command events into the outline.
//
// The class is registered under "TCard" and "TBrindlet", so that a sheet
// whose cards say "TCard" is rebuilt with task-list cards.
#pragma once

#include <Sources/Cards/UGenericCard.h>
#include <Sources/Tasks/UBrowser.h>
#include <Sources/Tasks/UTask.h>

#include <Units/HIToolbox/HICommonThemes.h>

class TDrag;
class TDictionary;
class TTypeDictionary;

namespace brindlet {

// Where AddTask puts the new row: exactly one placement bit, with
// kInsertEdit or not.
enum TaskInsertionOptions : UInt32 {
    kInsertEdit = 1,
    kInsertFirst = 2,
    kInsertLast = 4,
    kInsertAfterSelection = 8,
    kInsertBeforeSelection = 16,
    kInsertIntoSelection = 32,
    kInsertAfterParent = 64,
    kInsertAtSelection = 128,
};

// What an arriving drag carries, as GetDragKind classifies it.
enum TaskListDragKind : SInt32 {
    kDragRefused = 0,
    kDragTask = 1,
    kDragFiles = 2,
    kDragWebAddress = 3,
    kDragMailMessage = 4,
    kDragImage = 5,
    kDragCard = 6,
};

// Opens a URL; noErr when something took it.
typedef OSStatus (*URLOpenerProc)(CFURLRef url);

class TBrindlet : public TCard {
    BRINDLET_CLASS(TBrindlet, TCard)

public:
    static TBrindlet* CreateUntitled(TSpriteLayerProtocol* layer) { return TCard::CreateUntitled<TBrindlet>(layer); }

    void Initialize() override;
    void Deallocate() override;
    // The copy's rows belong to the copy.
    void CopyInstanceVariables(TObject* source) override;
    // After the base card's keys: "hideCompletedTasks" (a boolean),
    // "showTasksFrom" (an integer) and "browser" (the outline's archive,
    // which the helper reads too).
    void EncodeData(TArchiver* archiver) override;
    void DecodeData(TArchiver* archiver) override;

    // ---- sprite hooks ----
    void HandleMouseDown(CGPoint point, SInt32 clickCount, OSStatus& status) override;
    void HandleMouseDragged(CGPoint delta, CGPoint point, OSStatus& status) override;
    void HandleFocusChanged(bool focused) override;
    void HandleContextualClick(CGPoint point, OSStatus& status) override;
    void HandleDragWithin(TDrag* drag, CGPoint point) override;
    void HandleDragLeave(TDrag* drag) override;
    bool HandleDragReceive(TDrag* drag) override;
    bool HandleDragAccept(TDrag* drag) override;
    // The modifiers come before the key code.
    void HandleKeyDown(UInt32 modifiers, UInt32 keyCode, char character, OSStatus& status) override;
    void HandleDraw(CGContextRef context) override;
    // Draws the rows and grows the card to hold them (see the source).
    void HandleDrawComposite(CGContextRef context, bool& again, CGRect frame) override;

    // ---- the protocol ----
    Boolean GetHideCompletedTasks() override { return hideCompletedTasks_; }
    SInt32 GetShowTasksFrom() override { return showTasksFrom_; }
    TBrowserProtocol* GetBrowser() override { return browser_; }
    void RemoveTask(TTaskProtocol* task) override;

    // ---- card operations ----
    // The rows as indented plain text ("√ " or "- " before each row, a tab
    // per level, the short due date after " - "); a new string the caller
    // releases, empty without rows.
    virtual CFStringRef CopyExportText();
    // Each line a row, its leading tabs its depth (see InsertLinesAsTasks).
    virtual void ImportText(CFStringRef text);
    // A mail draft of the card: a mailto: URL with the title as subject and
    // the exported text as body, opened by the URL opener.
    virtual void Email();
    virtual void Cut();
    virtual void Paste();
    virtual void CopyToClipboard() { CopySelection(); }
    virtual void CopyCard();
    virtual Boolean WillAcceptClipboard();
    virtual Boolean CanCopy();
    // The rows as the card shows them inside another card: drawn into
    // `rect` moved by (14, 18) and 20 narrower; `height` is their height
    // plus 6.
    void DrawEmbeddedRepresentation(CGContextRef context, CGRect rect, CGFloat& height);
    using TCard::DrawEmbeddedRepresentation;
    // Sets status to noErr when handled: the add-row commands ('adtf',
    // 'adtl', 'adta', 'adtb', 'adtu', 'adto'), else the selected row's
    // commands.
    virtual void ProcessCommand(const HICommandExtended& command, EventRef event, OSStatus& status);
    // Whether the card's own drop tracking applies: the drag is outside
    // the rows (`point` in canvas coordinates).
    virtual Boolean HandleDragTracking(TDrag* drag, CGPoint point);
    void HandleDrawWidgets(CGContextRef context) override;
    void DrawPrinting(CGContextRef context) override;

    // ---- rows ----
    // A new row of the native task class with `text`, placed as `options`
    // say and selected; nil (nothing changed) when the card is not
    // editable. Borrowed: its parent holds it.
    TTask* AddTask(CFStringRef text, UInt32 options);
    // A row with no text at the insertion point, being edited (129): the
    // method "AddTask" called by name, and Return.
    void AddTaskAtInsertionPoint();
    // Each line of the clipboard's text a row at the insertion point; a
    // beep without text.
    void PasteAsTasks();
    void CopySelection();
    void ClearSelection();
    TTask* GetSelectedTask() const;
    TTask* GetRootTask() const;
    TTaskOutline* GetOutline() const { return browser_; }
    // The content frame less 12 points on each side.
    CGRect GetBrowserFrame();
    // False for a closed tab.
    Boolean TasksAvailable();
    void SetShowTasksFrom(SInt32 value);
    void SetHideCompletedTasks(Boolean flag);
    // Rows overdue, shown (not hidden by the date filter) and not completed.
    SInt32 CountOverdueTasks();
    // The overdue label at the bottom of the interior; nothing for none.
    void DrawStatus(CGContextRef context);
    SInt32 GetDragKind(TDrag* drag);
    // Appends the children of `task` (recursively) to `text`.
    void CopyBrowserText(TTask* task, CFStringRef indent, CFMutableStringRef text);
    // Makes rows of `lines` under `parent` from line `index` on, for the
    // level of `indent` leading tabs; returns at a shallower line.
    void InsertLinesAsTasks(CFArrayRef lines, TTask* parent, CFIndex& index, CFIndex indent);

    // ---- handlers (by name) ----
    void HandleUndoAction(TTypeDictionary* info);
    void HandleRedoAction(TTypeDictionary* info);
    void DeleteFocusedTask(TDictionary* info);
    void HandleUpdateDates(TDictionary* info);

    // The mailto: URL Email opens; the caller releases it.
    CFURLRef CopyMailURL();
    // Who opens URLs (the platform's opener, or a test's recorder); nil
    // restores the platform's.
    static void SetURLOpener(URLOpenerProc opener);

protected:
    TBrindlet() = default;

    // A new row of the native task class, owned by this card; the caller
    // releases it.
    TTask* NewNativeTask(CFStringRef text);

private:
    TTaskOutline* browser_ = nullptr;
    Boolean hideCompletedTasks_ = false;
    SInt32 showTasksFrom_ = 0;
};

// The lines of a text, broken at LF, CR LF and CR alike, without their
// endings (a final line ending makes no empty last line). A new array of
// strings the caller releases; nil for nil.
CFArrayRef CopyTextLines(CFStringRef text);

// A new string: `text` percent-encoded as a mailto: header value (RFC 6068):
// every byte of its UTF-8 but the unreserved characters, line breaks as
// "%0D%0A".
CFStringRef CreateMailtoValue(CFStringRef text);

// The artwork of the overdue label.
CGImageRef GetWarningImage();
const HITheme3PartImage& GetStatusLabelImage();

// Registers the card under "TCard" and "TBrindlet" and loads its artwork.
void InitializeUBrindletUnit();

}  // namespace brindlet
