#include "UBrindlet.h"

#include <Sources/Tasks/UDragFlavors.h>

#include <ApplicationFramework/Classes/TDragUnit.h>
#include <SpriteEngine/Additions/SCTextField.h>
#include <Units/Classes/TDictionaryUnit.h>
#include <Units/Classes/TPasteboardUnit.h>
#include <Units/Classes/TUndoManagerUnit.h>
#include <Units/Utilities/CFUtilities.h>
#include <Units/Utilities/CGContextMore.h>
#include <Units/Utilities/CocoaUtilities.h>

#include <AppKit/NSColor.h>
#include <AppKit/NSFont.h>
#include <AppKit/NSTextDrawing.h>
#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CFStringUTF8.h>
#include <CoreServices/CoreServices.h>
#include <Foundation/NSString.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace brindlet {

BRINDLET_DEFINE_CLASS(TBrindlet, TCard)

namespace {

// The least height a task-list card shrinks to around its rows.
constexpr CGFloat kMinimumTaskListHeight = 150;
// The grid "TPreferences.snapToGrid" rounds heights to.
constexpr CGFloat kGridStep = 32;
constexpr UInt32 kReturnKeyCode = 36;

HITheme3PartImage gStatusLabel{};
CGImageRef gWarning = nullptr;
URLOpenerProc gURLOpener = nullptr;

bool PrefBoolean(const ShortString& key)
{
    TPreferenceHandlerApplication* prefs = TApplication::Prefs();
    return prefs != nullptr && prefs->GetBooleanValue(key);
}

SInt32 IndexInParent(const TTask* task)
{
    const TTask* parent = task->GetParent();
    return parent != nullptr ? parent->GetChildren()->GetIndex(task) : -1;
}

// The leading tabs of a line; none for a line that is not there.
CFIndex LeadingTabs(CFArrayRef lines, CFIndex index)
{
    if (index < 0 || index >= CFArrayGetCount(lines))
        return 0;
    const auto line = static_cast<CFStringRef>(CFArrayGetValueAtIndex(lines, index));
    const CFIndex length = CFStringGetLength(line);
    CFIndex tabs = 0;
    while (tabs < length && CFStringGetCharacterAtIndex(line, tabs) == '\t')
        ++tabs;
    return tabs;
}

bool IsAddTaskCommand(UInt32 command, UInt32& options)
{
    switch (command) {
    case FourCC("adtf"):
        options = kInsertFirst | kInsertEdit;
        return true;
    case FourCC("adtl"):
        options = kInsertLast | kInsertEdit;
        return true;
    case FourCC("adta"):
        options = kInsertAfterSelection | kInsertEdit;
        return true;
    case FourCC("adtb"):
        options = kInsertBeforeSelection | kInsertEdit;
        return true;
    case FourCC("adtu"):
        options = kInsertIntoSelection | kInsertEdit;
        return true;
    case FourCC("adto"):
        options = kInsertAfterParent | kInsertEdit;
        return true;
    default:
        return false;
    }
}

TPasteboard* Clipboard()
{
    return TPasteboard::CreateClipboard();
}

// The clipboard's UTF-8 text; nil when it holds none. The caller releases it.
CFStringRef CopyClipboardText(TPasteboard* pasteboard)
{
    if (!pasteboard->ContainsFlavor(kUTTypeUTF8PlainText))
        return nullptr;
    Ptr bytes = pasteboard->CopyFlavor(kUTTypeUTF8PlainText);
    if (bytes == nullptr)
        return nullptr;
    CFStringRef text = CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(bytes),
                                               CFIndex(GetPtrSize(bytes)), kCFStringEncodingUTF8, false);
    DisposePtr(bytes);
    return text;
}

}  // namespace

// ---- text helpers ----

CFArrayRef CopyTextLines(CFStringRef text)
{
    if (text == nullptr)
        return nullptr;
    CFMutableArrayRef lines = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    const std::string utf8 = CFStringToUTF8(text);
    size_t start = 0;
    // Texts come from every system: a Windows text breaks its lines with
    // CR LF, an old Mac text with CR alone. Each is one line break.
    while (start < utf8.size()) {
        const size_t end = utf8.find_first_of("\r\n", start);
        const size_t stop = end == std::string::npos ? utf8.size() : end;
        CFRef<CFStringRef> line(CFStringCreateWithUTF8(std::string_view(utf8).substr(start, stop - start)));
        CFArrayAppendValue(lines, line.get());
        if (end == std::string::npos)
            break;
        start = end + 1;
        if (utf8[end] == '\r' && start < utf8.size() && utf8[start] == '\n')
            ++start;
    }
    return lines;
}

CFStringRef CreateMailtoValue(CFStringRef text)
{
    std::string encoded;
    if (text != nullptr) {
        static const char kHex[] = "0123456789ABCDEF";
        const std::string utf8 = CFStringToUTF8(text);
        for (size_t i = 0; i < utf8.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(utf8[i]);
            // Mail bodies break lines with CR LF whatever the text used.
            if (c == '\n' || c == '\r') {
                encoded += "%0D%0A";
                if (c == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n')
                    ++i;
                continue;
            }
            const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                                    c == '-' || c == '.' || c == '_' || c == '~';
            if (unreserved) {
                encoded += static_cast<char>(c);
            } else {
                encoded += '%';
                encoded += kHex[c >> 4];
                encoded += kHex[c & 0xF];
            }
        }
    }
    return CFStringCreateWithUTF8(encoded);
}

// ---- artwork ----

CGImageRef GetWarningImage()
{
    return gWarning;
}

const HITheme3PartImage& GetStatusLabelImage()
{
    return gStatusLabel;
}

void InitializeUBrindletUnit()
{
    RegisterClass("TCard", TBrindlet::StaticClass());
    RegisterClass("TBrindlet", TBrindlet::StaticClass());
    // A second call (a test that moved the bundle's resources) loads them
    // afresh.
    HIThemeRelease3PartImage(gStatusLabel);
    CGImageRelease(gWarning);
    gWarning = CGImageLoadFromResource("warning.png", "Images");
    gStatusLabel = HIThemeLoad3PartImage("/Images/StatusLabel");
}

// ---- life cycle ----

void TBrindlet::Initialize()
{
    Inherited::Initialize();
    TUndoManager* undo = TUndoManager::SharedManager();
    if (browser_ == nullptr) {
        TTask* root = TTask::Create(nullptr, this);
        browser_ = TTaskOutline::Create(root, this);
        root->Release();
        // Making the root is no step a user could undo.
        if (undo != nullptr && undo->GetUndoStack()->Count() > 0) {
            auto* last = static_cast<TUndoableAction*>(undo->GetUndoStack()->GetValue(undo->GetUndoStack()->Limit()));
            if (last != nullptr && last->Compare(root))
                undo->RemovePreviousUndo();
        }
    } else if (undo != nullptr) {
        // Rows read from a file or copied were not inserted by the user:
        // undoing their making would empty a card just opened.
        undo->RemoveAllActions(this);
    }
    RegisterMethod("HandleUndoAction", BRINDLET_METHOD(TBrindlet, HandleUndoAction));
    RegisterMethod("HandleRedoAction", BRINDLET_METHOD(TBrindlet, HandleRedoAction));
    RegisterMethod("AddTask", BRINDLET_METHOD(TBrindlet, AddTaskAtInsertionPoint));
    // The base card observes the look and editing notifications itself.
    ObserveNotification("TEditSession.DeleteTarget", BRINDLET_METHOD(TBrindlet, DeleteFocusedTask));
    ObserveNotification("TDateTimer.UpdateDates", BRINDLET_METHOD(TBrindlet, HandleUpdateDates));
    RegisterDragCard(this);
}

void TBrindlet::Deallocate()
{
    // A row being edited is held by the editing session, which would tell
    // it the final text after its card is gone: the editing ends now.
    if (TEditSession::IsEditing()) {
        TObject* session = TEditSession::SharedSession();
        TObject* edited = session != nullptr ? session->GetDelegate() : nullptr;
        if (MemberOfClass(edited, TTask::StaticClass()) && static_cast<TTask*>(edited)->GetOwner() == this)
            TEditSession::StopEditing();
    }
    UnregisterDragCard(this);
    if (TUndoManager* undo = TUndoManager::SharedManager())
        undo->RemoveAllActions(this);
    ReleaseObject(browser_);
    Inherited::Deallocate();
}

void TBrindlet::CopyInstanceVariables(TObject* source)
{
    Inherited::CopyInstanceVariables(source);
    auto* other = dynamic_cast<TBrindlet*>(source);
    if (other == nullptr)
        return;
    hideCompletedTasks_ = other->hideCompletedTasks_;
    showTasksFrom_ = other->showTasksFrom_;
    ReleaseObject(browser_);
    if (other->browser_ != nullptr) {
        browser_ = static_cast<TTaskOutline*>(other->browser_->Copy(this));
        // The copied rows answer to this card from now on, not only once
        // they are first laid out.
        if (TTask* root = browser_->GetRootTask()) {
            root->SetOwner(this);
            TArray* tasks = browser_->CopyTasks();
            for (void* value : *tasks)
                static_cast<TTask*>(value)->SetOwner(this);
            tasks->Release();
        }
    }
}

// ---- archive ----

void TBrindlet::EncodeData(TArchiver* archiver)
{
    Inherited::EncodeData(archiver);
    archiver->SetBooleanValue("hideCompletedTasks", GetHideCompletedTasks());
    archiver->SetIntegerValue("showTasksFrom", showTasksFrom_);
    if (browser_ != nullptr) {
        TArchiver* outline = browser_->CopyArchive();
        archiver->SetArchive("browser", outline);
        outline->Release();
    }
}

void TBrindlet::DecodeData(TArchiver* archiver)
{
    Inherited::DecodeData(archiver);
    hideCompletedTasks_ = archiver->GetBooleanValue("hideCompletedTasks");
    showTasksFrom_ = archiver->GetIntegerValue("showTasksFrom");
    // Only the filters the rows know; another value would hide rows by a
    // rule nobody can choose again.
    if (showTasksFrom_ < 0 || showTasksFrom_ > 4)
        showTasksFrom_ = 0;
    // Every row decoded below takes this card as its owner.
    void* previousContext = archiver->GetContext();
    archiver->SetContext(this);
    ReleaseObject(browser_);
    browser_ = AllocateFromArchiveAs<TTaskOutline>(archiver, ShortString("browser"), static_cast<void*>(nullptr));
    archiver->SetContext(previousContext);
}

// ---- accessors ----

TTask* TBrindlet::GetRootTask() const
{
    return browser_ != nullptr ? browser_->GetRootTask() : nullptr;
}

TTask* TBrindlet::GetSelectedTask() const
{
    if (browser_ == nullptr)
        return nullptr;
    TTask* selection = browser_->GetSelectedTask();
    // A selection left over from a row taken out elsewhere is no selection.
    return browser_->HoldsTask(selection) ? selection : nullptr;
}

void TBrindlet::ClearSelection()
{
    if (browser_ != nullptr)
        browser_->ClearSelection();
}

Boolean TBrindlet::TasksAvailable()
{
    return !(IsTab() && !IsTabOpen());
}

CGRect TBrindlet::GetBrowserFrame()
{
    const CGRect content = GetContentFrame();
    return CGRectMake(content.origin.x + 12, content.origin.y, std::max<CGFloat>(0, content.size.width - 24),
                      content.size.height);
}

void TBrindlet::SetShowTasksFrom(SInt32 value)
{
    showTasksFrom_ = value;
    ClearSelection();
    UpdateFace();
    AdjustHeight();
}

void TBrindlet::SetHideCompletedTasks(Boolean flag)
{
    hideCompletedTasks_ = flag;
    ClearSelection();
    UpdateFace();
    AdjustHeight();
}

// ---- rows ----

TTask* TBrindlet::NewNativeTask(CFStringRef text)
{
    const ClassInfo* native = GetNativeTaskClass();
    TTask* task = nullptr;
    if (native != nullptr && native != &TTask::StaticClass() && native->allocate != nullptr &&
        native->InheritsFrom(TTask::StaticClass())) {
        task = static_cast<TTask*>(native->allocate());
        task->SetOwner(this);
        task->Initialize();
    } else {
        task = TTask::Create(nullptr, this);
    }
    if (text != nullptr)
        task->SetText(text);
    return task;
}

TTask* TBrindlet::AddTask(CFStringRef text, UInt32 options)
{
    TTask* root = GetRootTask();
    if (!IsEditable() || root == nullptr)
        return nullptr;
    TTask* selection = GetSelectedTask();
    TTask* task = NewNativeTask(text);
    const auto appendToRoot = [&] {
        root->Append(task);
        root->SetOpen(true);
    };
    const auto prependToRoot = [&] {
        root->Prepend(task);
        root->SetOpen(true);
    };
    // One placement bit is meant; should several come, the first of this
    // order wins.
    if (options & kInsertAtSelection) {
        browser_->InsertTask(task);
    } else if (options & kInsertLast) {
        appendToRoot();
    } else if (options & kInsertFirst) {
        prependToRoot();
    } else if (options & kInsertAfterSelection) {
        if (selection != nullptr)
            selection->GetParent()->Insert(task, IndexInParent(selection) + 1);
        else
            appendToRoot();
    } else if (options & kInsertAfterParent) {
        if (selection == nullptr) {
            appendToRoot();
        } else if (TTask* parent = selection->GetParent(); parent != root && parent->GetParent() != nullptr) {
            parent->GetParent()->Insert(task, IndexInParent(parent) + 1);
        } else {
            selection->GetParent()->Insert(task, IndexInParent(selection) + 1);
        }
    } else if (options & kInsertBeforeSelection) {
        if (selection != nullptr)
            selection->GetParent()->Insert(task, IndexInParent(selection));
        else
            prependToRoot();
    } else if (options & kInsertIntoSelection) {
        if (selection != nullptr) {
            selection->SetOpen(true);
            selection->Append(task);
        } else {
            appendToRoot();
        }
    } else {
        appendToRoot();
    }
    browser_->SetSelection(task);
    task->Release();
    UpdateFace();
    if (options & kInsertEdit) {
        task->SetEditedFromAdding(true);
        task->BeginEditing();
    }
    UpdateFace();
    PostNotification("SyncSheetChanged");
    return task;
}

void TBrindlet::AddTaskAtInsertionPoint()
{
    AddTask(nullptr, kInsertAtSelection | kInsertEdit);
}

void TBrindlet::RemoveTask(TTaskProtocol* object)
{
    ClearSelection();
    if (MemberOfClass(object, TTask::StaticClass()))
        static_cast<TTask*>(object)->Remove();
    AdjustHeight();
}

void TBrindlet::ProcessCommand(const HICommandExtended& command, EventRef event, OSStatus& status)
{
    UInt32 options = 0;
    if (IsAddTaskCommand(command.commandID, options)) {
        AddTask(CFSTR(""), options);
        status = noErr;
        return;
    }
    if (status != noErr) {
        if (TTask* selection = GetSelectedTask())
            selection->ProcessCommand(command, event, status);
    }
}

// ---- clipboard ----

void TBrindlet::PasteAsTasks()
{
    TPasteboard* pasteboard = Clipboard();
    CFRef<CFStringRef> text(CopyClipboardText(pasteboard));
    pasteboard->Release();
    CFRef<CFArrayRef> lines(text ? CopyTextLines(text.get()) : nullptr);
    if (!lines || browser_ == nullptr) {
        SysBeep(1);
        return;
    }
    for (CFIndex i = 0; i < CFArrayGetCount(lines.get()); ++i) {
        const auto line = static_cast<CFStringRef>(CFArrayGetValueAtIndex(lines.get(), i));
        if (CFStringGetLength(line) == 0)
            continue;
        TTask* task = NewNativeTask(line);
        browser_->InsertTask(task);
        task->Release();
    }
    UpdateFace();
}

void TBrindlet::Paste()
{
    TPasteboard* pasteboard = Clipboard();
    CFRef<CFStringRef> text(CopyClipboardText(pasteboard));
    pasteboard->Release();
    if (!text)
        return;
    // A web address is meant to become a link row; until link rows exist it
    // is kept as the row's text rather than dropped.
    AddTask(text.get(), kInsertAtSelection);
}

Boolean TBrindlet::WillAcceptClipboard()
{
    // Only text can be pasted so far: files, images and links need the
    // attachment rows.
    TPasteboard* pasteboard = Clipboard();
    const bool text = pasteboard->ContainsFlavor(kUTTypeUTF8PlainText);
    pasteboard->Release();
    return text;
}

void TBrindlet::CopySelection()
{
    TPasteboard* pasteboard = Clipboard();
    pasteboard->Clear();
    if (TTask* selection = GetSelectedTask())
        selection->CopyToClipboard(pasteboard);
    pasteboard->Release();
}

void TBrindlet::Cut()
{
    CopySelection();
    if (browser_ != nullptr && GetSelectedTask() != nullptr)
        browser_->RemoveSelection();
}

Boolean TBrindlet::CanCopy()
{
    return GetSelectedTask() != nullptr;
}

void TBrindlet::CopyCard()
{
    TPasteboard* pasteboard = Clipboard();
    pasteboard->Clear();
    CFRef<CFStringRef> text(CopyExportText());
    if (text && CFStringGetLength(text.get()) > 0) {
        const std::string utf8 = CFStringToUTF8(text.get());
        pasteboard->PutFlavor(utf8.data(), static_cast<Size>(utf8.size()), CFSTR("public.utf8-plain-text"), 0);
    }
    pasteboard->Release();
}

// ---- text ----

CFStringRef TBrindlet::CopyExportText()
{
    CFMutableStringRef text = CFStringCreateMutable(nullptr, 0);
    TTask* root = GetRootTask();
    if (root != nullptr && root->GetChildCount() > 0)
        CopyBrowserText(root, CFSTR(""), text);
    return text;
}

void TBrindlet::CopyBrowserText(TTask* task, CFStringRef indent, CFMutableStringRef text)
{
    for (SInt32 i = 0; i < task->GetChildCount(); ++i) {
        TTask* child = task->GetChildAtIndex(i);
        CFStringRef own = child->GetText();
        if (own != nullptr && CFStringGetLength(own) > 0) {
            CFStringAppend(text, indent);
            CFStringAppend(text, child->IsCompleted() ? CFSTR("\u221A ") : CFSTR("- "));
            CFStringAppend(text, own);
            if (NSDate* due = child->GetDueDate()) {
                CFStringAppend(text, CFSTR(" - "));
                if (NSString* date = NSDateUtilities::shortDateString(due, false))
                    CFStringAppend(text, date->cfString());
            }
            CFStringAppend(text, CFSTR("\n"));
        }
        if (child->GetChildCount() > 0) {
            CFMutableStringRef deeper = CFStringCreateMutableCopy(nullptr, 0, indent);
            CFStringAppend(deeper, CFSTR("\t"));
            CopyBrowserText(child, deeper, text);
            CFRelease(deeper);
        }
    }
}

void TBrindlet::ImportText(CFStringRef text)
{
    TTask* root = GetRootTask();
    CFRef<CFArrayRef> lines(CopyTextLines(text));
    if (root == nullptr || !lines)
        return;
    CFIndex index = 0;
    InsertLinesAsTasks(lines.get(), root, index, 0);
}

void TBrindlet::InsertLinesAsTasks(CFArrayRef lines, TTask* parent, CFIndex& index, CFIndex indent)
{
    TTask* last = nullptr;
    while (index < CFArrayGetCount(lines)) {
        const auto line = static_cast<CFStringRef>(CFArrayGetValueAtIndex(lines, index));
        if (CFStringGetLength(line) == 0) {
            ++index;
            continue;
        }
        CFMutableStringRef trimmed = CFStringCreateMutableCopy(nullptr, 0, line);
        CFStringTrimWhitespace(trimmed);
        if (CFStringGetLength(trimmed) > 0) {
            TTask* task = NewNativeTask(trimmed);
            parent->Append(task);
            task->Release();
            last = task;
        }
        CFRelease(trimmed);
        const CFIndex next = LeadingTabs(lines, index + 1);
        ++index;
        if (next > indent) {
            InsertLinesAsTasks(lines, last != nullptr ? last : parent, index, next);
            // The deeper levels stopped at a line that may be shallower than
            // this one too (a list that goes back two levels at once): that
            // line belongs to a level further up.
            if (index < CFArrayGetCount(lines) && LeadingTabs(lines, index) < indent)
                return;
        } else if (next < indent) {
            return;
        }
    }
}

// ---- mail ----

namespace {

OSStatus OpenWithPlatform(CFURLRef url)
{
    return LSOpenCFURLRef(url, nullptr);
}

}  // namespace

void TBrindlet::SetURLOpener(URLOpenerProc opener)
{
    gURLOpener = opener;
}

CFURLRef TBrindlet::CopyMailURL()
{
    CFRef<CFStringRef> body(CopyExportText());
    CFRef<CFStringRef> subject(CreateMailtoValue(GetTitle()));
    CFRef<CFStringRef> content(CreateMailtoValue(body.get()));
    const std::string url =
        "mailto:?subject=" + CFStringToUTF8(subject.get()) + "&body=" + CFStringToUTF8(content.get());
    CFRef<CFStringRef> text(CFStringCreateWithUTF8(url));
    return CFURLCreateWithString(nullptr, text.get(), nullptr);
}

void TBrindlet::Email()
{
    CFRef<CFURLRef> url(CopyMailURL());
    if (!url)
        return;
    (gURLOpener != nullptr ? gURLOpener : OpenWithPlatform)(url.get());
}

// ---- undo ----

void TBrindlet::HandleUndoAction(TTypeDictionary* info)
{
    if (browser_ != nullptr)
        browser_->PerformTaskAction(info, false);
}

void TBrindlet::HandleRedoAction(TTypeDictionary* info)
{
    if (browser_ != nullptr)
        browser_->PerformTaskAction(info, true);
}

void TBrindlet::DeleteFocusedTask(TDictionary*)
{
    if (browser_ != nullptr && IsCanvasValid() && IsFocused())
        browser_->RemoveSelection();
}

void TBrindlet::HandleUpdateDates(TDictionary*)
{
    SetNeedsComposite();
}

// ---- overdue rows ----

SInt32 TBrindlet::CountOverdueTasks()
{
    if (browser_ == nullptr)
        return 0;
    SInt32 count = 0;
    TArray* tasks = browser_->CopyTasks();
    for (void* value : *tasks) {
        auto* task = static_cast<TTask*>(value);
        if (task->IsOverdue() && !task->IsHiddenByDate() && !task->IsCompleted())
            ++count;
    }
    tasks->Release();
    return count;
}

// ---- drags ----

SInt32 TBrindlet::GetDragKind(TDrag* drag)
{
    if (drag == nullptr)
        return kDragRefused;
    if (drag->ContainsFlavor(kCardDragFlavor))
        return kDragCard;
    if (drag->ContainsFlavor(1, kTaskDragFlavor)) {
        // A row may only move between cards of one kind (a calendar row is
        // no task-list row).
        TTask* task = ResolveTaskDragFlavor(drag, 1);
        TCardProtocol* owner = task != nullptr ? task->GetOwner() : nullptr;
        if (owner != nullptr && &owner->GetClass() == &GetClass())
            return kDragTask;
    }
    if (drag->ContainsFlavor(kScrapFlavorTypeTIFF) || drag->ContainsFlavor(kScrapFlavorTypePNG))
        return kDragImage;
    const bool files = drag->ContainsFlavor(FourCC("hfs "));
    if (drag->ContainsFlavor(FourCC("url ")) && !files) {
        CFRef<CFStringRef> url(drag->CopyCFStringFlavor(1, FourCC("url ")));
        return url && CFStringHasPrefix(url.get(), CFSTR("message:")) ? kDragMailMessage : kDragWebAddress;
    }
    if (files)
        return kDragFiles;
    return kDragRefused;
}

bool TBrindlet::HandleDragAccept(TDrag* drag)
{
    // Rows are the only drop this card can take so far: files, links,
    // images and cards need the attachment rows, and accepting what would
    // then be dropped on the floor misleads the user.
    return GetDragKind(drag) == kDragTask;
}

bool TBrindlet::HandleDragReceive(TDrag* drag)
{
    if (IsTransitioning() || browser_ == nullptr || IsMinimized())
        return false;
    bool received = false;
    switch (GetDragKind(drag)) {
    case kDragTask:
        if (TTask* task = ResolveTaskDragFlavor(drag, 1))
            received = browser_->ReceiveDrag(task, drag);
        break;
    default:
        // Files, links, mail messages, images and cards become attachment
        // rows, which this build does not have.
        break;
    }
    browser_->ClearTracking();
    if (received)
        PostNotification("SyncSheetChanged");
    return received;
}

void TBrindlet::HandleDragWithin(TDrag* drag, CGPoint point)
{
    Inherited::HandleDragWithin(drag, point);
    if (browser_ != nullptr)
        browser_->TrackDrag(drag, point);
}

void TBrindlet::HandleDragLeave(TDrag* drag)
{
    Inherited::HandleDragLeave(drag);
    if (browser_ != nullptr)
        browser_->ClearTracking();
}

Boolean TBrindlet::HandleDragTracking(TDrag* drag, CGPoint point)
{
    if (browser_ == nullptr || drag == nullptr)
        return false;
    return !CGRectContainsPoint(browser_->GetFrame(), point) && !IsMinimized() && !IsTransitioning();
}

// ---- events ----

void TBrindlet::HandleMouseDown(CGPoint point, SInt32 clickCount, OSStatus& status)
{
    if (TasksAvailable() && !IsMinimized() && browser_ != nullptr)
        browser_->MouseDown(point, clickCount, status);
    if (status != noErr)
        Inherited::HandleMouseDown(point, clickCount, status);
}

void TBrindlet::HandleMouseDragged(CGPoint delta, CGPoint point, OSStatus& status)
{
    if (!IsMoving() && browser_ != nullptr && !IsMinimized() && IsEditable())
        browser_->MouseDragged(point, status);
    if (status != noErr)
        Inherited::HandleMouseDragged(delta, point, status);
}

void TBrindlet::HandleFocusChanged(bool focused)
{
    Inherited::HandleFocusChanged(focused);
}

void TBrindlet::HandleContextualClick(CGPoint point, OSStatus& status)
{
    Inherited::HandleContextualClick(point, status);
    if (status != noErr && browser_ != nullptr)
        browser_->ContextualClick(point, status);
}

void TBrindlet::HandleKeyDown(UInt32 modifiers, UInt32 keyCode, char character, OSStatus& status)
{
    Inherited::HandleKeyDown(modifiers, keyCode, character, status);
    if (status != noErr && browser_ != nullptr)
        browser_->KeyDown(modifiers, keyCode, character, status);
    if (keyCode == kReturnKeyCode && modifiers == 0 && status != noErr && IsEditable()) {
        AddTaskAtInsertionPoint();
        status = noErr;
    }
}

// ---- drawing ----

void TBrindlet::HandleDraw(CGContextRef context)
{
    Inherited::HandleDraw(context);
    if (IsTransitioning() || browser_ == nullptr)
        return;
    if (IsMoving() || IsMinimized() || IsPrinting() || IsObscured() || !TasksAvailable())
        return;
    browser_->DrawSelection(context);
    if (browser_->IsTracking())
        browser_->DrawTracking(context);
}

void TBrindlet::HandleDrawComposite(CGContextRef context, bool& again, CGRect frame)
{
    Inherited::HandleDrawComposite(context, again, frame);
    if (TasksAvailable() && browser_ != nullptr && !IsMinimized()) {
        const CGRect content = GetContentFrame();
        // On paper DrawPrinting has drawn the rows already: measured only.
        const UInt32 rowsHeight = browser_->Draw(GetBrowserFrame(), IsPrinting() ? nullptr : context);
        const CGFloat needed = std::max<CGFloat>(kMinimumTaskListHeight,
                                                 std::trunc(content.origin.y + rowsHeight + GetContentMargin().bottom));
        SetMinimumSize(GetMinimumSize().width, needed);
        if (GetHeight() < needed) {
            CGFloat height = needed;
            // The grid wins over the rows: rounded to the nearest step (halves
            // to even), the card may end a little short of them.
            if (PrefBoolean("TPreferences.snapToGrid"))
                height = std::nearbyint(needed / kGridStep) * kGridStep;
            if (height != GetHeight()) {
                SetSize(GetWidth(), height);
                again = true;
            }
        }
        if (IsWaitingForHeightAdjustment() && PrefBoolean("TPreferences.adjustHeight") && GetHeight() > needed) {
            SetSize(GetWidth(), needed);
            again = true;
        }
        SetNeedsAdjustHeight(false);
    }
    if (!IsTab() && !IsPrinting())
        DrawStatus(context);
}

void TBrindlet::DrawStatus(CGContextRef context)
{
    const SInt32 count = CountOverdueTasks();
    if (count < 1 || IsMinimized())
        return;
    CFRef<CFStringRef> number(CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%d"), int(count)));
    CFRef<CFMutableStringRef> text(
        CFCopyLocalizedString(count == 1 ? "OneOrLessTaskOverdue" : "MoreThanOneTaskOverdue", {number.get()}));
    if (!text)
        return;
    NSAttributeDictionary* attributes = NSAttributeDictionary::newAttributes();
    attributes->setFont(NSFont::boldSystemFontOfSize(11));
    const CGSize size = NSStringDrawing::sizeWithAttributes(text.get(), attributes);
    const HITheme3PartImage& art = GetStatusLabelImage();
    const CGFloat height = art.center != nullptr ? CGImageGetSize(art.center).height : 18;
    const CGRect interior = GetInteriorFrame();
    CGRect label = CGRectMake(0, CGRectGetMaxY(interior) - height, size.width + 24, height);
    label = CGRectCenterX(label, interior);
    if (art.center != nullptr)
        HIThemeDraw3PartImage(context, art, label);
    CGRect textBox = CGRectCenter(CGRectMake(0, 0, size.width, size.height), label);
    textBox.origin.y += 1;
    NSGraphicsContextOpenCGContext(context);
    attributes->setForegroundColor(NSColor::colorWithCalibratedWhite(0.0, 0.3));
    CGContextDrawTextBox(context, CGRectOffset(textBox, 0, -1), text.get(), attributes);
    attributes->setForegroundColor(NSColor::colorWithCalibratedWhite(1.0, 0.9));
    CGContextDrawTextBox(context, textBox, text.get(), attributes);
    NSGraphicsContextCloseCGContext(context);
    attributes->release();
}

void TBrindlet::HandleDrawWidgets(CGContextRef context)
{
    Inherited::HandleDrawWidgets(context);
    // A minimised card shows the count alone beside its title.
    if (!IsMinimized())
        return;
    const SInt32 count = CountOverdueTasks();
    if (count < 1)
        return;
    CFRef<CFStringRef> number(CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%d"), int(count)));
    DrawLabel(number.get(), context);
}

void TBrindlet::DrawPrinting(CGContextRef context)
{
    Inherited::DrawPrinting(context);
    if (browser_ != nullptr)
        browser_->Draw(GetBrowserFrame(), context);
}

void TBrindlet::DrawEmbeddedRepresentation(CGContextRef context, CGRect rect, CGFloat& height)
{
    if (browser_ == nullptr)
        return;
    CGRect rows = CGRectOffset(rect, 14, 18);
    rows.size.width = std::max<CGFloat>(0, rows.size.width - 20);
    height = browser_->Draw(rows, context) + 6;
}

}  // namespace brindlet
