// What a row does for the user directly: the menu commands the card hands
// the selected row, the clicks the outline routes to the row under the
// pointer, the canvas text field while the row's text is edited, and drags
// of rows within and between task-list cards.
#include "UTask.h"

#include <Sources/Globals.h>
#include <Sources/Tasks/UDragFlavors.h>

#include <ApplicationFramework/Classes/TApplicationUnit.h>
#include <ApplicationFramework/Classes/TDragUnit.h>
#include <SpriteEngine/Additions/SCTextField.h>
#include <Units/Classes/TObjectRef.h>
#include <Units/Classes/TTimerUnit.h>
#include <Units/Utilities/CGUtilities.h>

#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CFStringUTF8.h>
#include <HIToolbox/Drag.h>

namespace brindlet {

namespace {

constexpr UInt32 kReturnKeyCode = 36;

SInt32 EditingMode()
{
    TPreferenceHandlerApplication* prefs = TApplication::Prefs();
    return prefs != nullptr ? prefs->GetIntegerValue("TPreferences.editingMode") : 0;
}

// A text the user typed that is a web address: one of the schemes links
// are made of, then "://", at the very start (case as typed).
bool IsWebAddress(CFStringRef text)
{
    for (CFStringRef prefix : {CFSTR("http://"), CFSTR("https://"), CFSTR("ftp://"), CFSTR("file://")})
        if (CFStringHasPrefix(text, prefix))
            return true;
    return false;
}

void ToggleMember(TTask* task, Boolean TaskStyleInfo::*member)
{
    TaskStyleInfo style = task->GetStyle();
    style.*member = !(style.*member);
    task->SetStyle(style);
    task->Modify();
}

void SetMember(TTask* task, SInt32 TaskStyleInfo::*member, SInt32 value)
{
    TaskStyleInfo style = task->GetStyle();
    style.*member = value;
    task->SetStyle(style);
    task->Modify();
}

}  // namespace

// ---- menu commands ----

void TTask::ProcessCommand(const HICommandExtended& command, EventRef, OSStatus& status)
{
    switch (command.commandID) {
    case FourCC("indl"):
    case FourCC("indr"):
        if (TBrowserProtocol* browser = GetBrowser())
            browser->IndentSelection(command.commandID == FourCC("indr"));
        break;
    case FourCC("tedt"):
        BeginEditing();
        break;
    case FourCC("tgif"):
        EditInfo();
        break;
    case FourCC("todp"):
        EditDate();
        break;
    case FourCC("trmt"):
        // A row without a timer leaves the command to others.
        if (!HasTimer())
            return;
        RemoveTimer();
        break;
    case FourCC("tstt"):
        if (!HasTimer())
            return;
        if (IsTimerRunning())
            StopTimer();
        else
            StartTimer();
        break;
    case FourCC("ttcm"):
        ToggleCompleted();
        break;
    case FourCC("ttco"):
        ToggleIsContainer();
        break;
    case FourCC("ttdd"):
        ToggleDate();
        break;
    case FourCC("tsbl"):
        ToggleMember(this, &TaskStyleInfo::bold);
        break;
    case FourCC("tsit"):
        ToggleMember(this, &TaskStyleInfo::italic);
        break;
    case FourCC("tsun"):
        ToggleMember(this, &TaskStyleInfo::underline);
        break;
    case FourCC("tssr"):
        ToggleMember(this, &TaskStyleInfo::strikethrough);
        break;
    case FourCC("tpno"):
        SetMember(this, &TaskStyleInfo::priority, 0);
        break;
    case FourCC("tphs"):
        SetMember(this, &TaskStyleInfo::priority, 3);
        break;
    case FourCC("tphi"):
        SetMember(this, &TaskStyleInfo::priority, 4);
        break;
    case FourCC("tpme"):
        SetMember(this, &TaskStyleInfo::priority, 5);
        break;
    case FourCC("tplw"):
        SetMember(this, &TaskStyleInfo::priority, 6);
        break;
    case FourCC("tpls"):
        SetMember(this, &TaskStyleInfo::priority, 7);
        break;
    case FourCC("tsno"):
        SetMember(this, &TaskStyleInfo::status, 0);
        break;
    case FourCC("tsip"):
        SetMember(this, &TaskStyleInfo::status, 3);
        break;
    case FourCC("tscn"):
        SetMember(this, &TaskStyleInfo::status, 4);
        break;
    case FourCC("tsde"):
        SetMember(this, &TaskStyleInfo::status, 5);
        break;
    default:
        return;
    }
    status = noErr;
}

// ---- keys and clicks ----

void TTask::KeyDown(UInt32, UInt32, char, OSStatus&) {}

Boolean TTask::MouseDown(CGPoint point, SInt32 clickCount, Boolean& select, OSStatus& status)
{
    select = false;
    if (!ContainsPoint(point))
        return false;
    if (CGRectContainsPoint(dateFrame_, point) && !completed_) {
        EditDate();
        return true;
    }
    if (CGRectContainsPoint(bellFrame_, point)) {
        // The reminder is only shown; the click goes on to select the row.
        NSString* reminder = CopyReminderText();
        if (reminder != nullptr) {
            CardServices::ShowAlertText(reminder->cfString());
            reminder->release();
        }
    }
    if (CGRectContainsPoint(priorityFrame_, point) || CGRectContainsPoint(statusFrame_, point) ||
        CGRectContainsPoint(noteFrame_, point)) {
        EditInfo();
        return true;
    }
    if (IsEditable() && CGRectContainsPoint(GetButtonFrame(), point)) {
        if (GetChildCount() == 0) {
            SetCompleted(!completed_);
            if (owner_ != nullptr)
                owner_->UpdateFace();
        } else {
            ToggleContainer();
            if (owner_ != nullptr)
                owner_->AdjustHeight();
        }
        return true;
    }
    if (IsSelected()) {
        if (clickCount == 2 && !editing_ && CGRectContainsPoint(GetTextFrame(), point)) {
            BeginEditing();
            status = noErr;
        }
    } else {
        Select();
        TEditSession::StopEditing();
    }
    select = true;
    return true;
}

Boolean TTask::ContextualClick(CGPoint point, OSStatus& status)
{
    if (BrindletMini || !ContainsPoint(point))
        return false;
    EditInfo();
    status = noErr;
    return true;
}

// ---- toggles and panes ----

void TTask::ToggleCompleted()
{
    if (!IsEditable())
        return;
    Modify();
    SetCompleted(!completed_);
    Update();
}

void TTask::ToggleIsContainer()
{
    SetContainer(!container_);
    Update();
}

void TTask::ToggleContainer()
{
    if (!IsEditable() || !IsContainer())
        return;
    SetOpen(!open_);
    Update();
}

void TTask::EditDate()
{
    CardServices::CloseActiveContextualPane();
    Select();
    if (due_ == nullptr)
        ToggleDate();
    CardServices::OpenTaskPane(this, "TDatePickerController", "DatePicker");
}

void TTask::EditInfo()
{
    CardServices::CloseActiveContextualPane();
    Select();
    CardServices::OpenTaskPane(this, "TTaskInfoController", "TaskInfo");
}

// ---- editing the text ----

void TTask::ObserveEditing()
{
    RegisterMethod("TextFieldDelegate.KeyDown", BRINDLET_METHOD(TTask, HandleEditingKeyDown));
    ObserveNotification("TEditSession.StopEditing", BRINDLET_METHOD(TTask, HandleStoppedEditing));
}

void TTask::BeginEditing()
{
    if (editing_ || !IsEditable())
        return;
    TEditSession::StopEditing();
    editing_ = true;
    NSAttributeDictionary* attributes = CopyTextAttributes();
    UInt32 options = kEditOptionSelectAll | kEditOptionPlain;
    if (EditingMode() == 2)
        options |= kEditOptionReturnInsertsLineBreak;
    TSpriteCanvas* canvas = nullptr;
    CGRect frame = GetEditingFrame();
    if (owner_ != nullptr) {
        frame = owner_->ConvertRectToCanvas(frame);
        TSpriteCanvasProtocol* ownerCanvas = owner_->GetCanvas();
        if (MemberOfClass(ownerCanvas, TSpriteCanvas::StaticClass()))
            canvas = static_cast<TSpriteCanvas*>(ownerCanvas);
    }
    TEditSession::StartEditing(text_, attributes, frame, options, canvas);
    TEditSession::SharedSession()->SetDelegate(this);
    attributes->release();
}

void TTask::HandleEditingKeyDown(EventRef event)
{
    UInt32 keyCode = 0;
    if (event == nullptr ||
        GetEventParameter(event, kEventParamKeyCode, typeUInt32, nullptr, sizeof keyCode, nullptr, &keyCode) != noErr)
        return;
    if ((keyCode & 0xFFFF) != kReturnKeyCode)
        return;
    if (editedFromAdding_ && EditingMode() == 1) {
        ScheduleAddTask();
        return;
    }
    // The session hands its delegate the key as a Carbon event, so the
    // Command key is Carbon's bit.
    UInt32 modifiers = 0;
    GetEventParameter(event, kEventParamKeyModifiers, typeUInt32, nullptr, sizeof modifiers, nullptr, &modifiers);
    if (modifiers & cmdKey)
        ScheduleAddTask();
}

void TTask::ScheduleAddTask()
{
    if (owner_ == nullptr)
        return;
    // The session ends on the same pass the key came in; the new row comes
    // after, once the edited text is stored.
    TTimer::Terminate(addTaskTimer_);
    addTaskTimer_ = TTimer::InvokeMethod(0.0, "AddTask", owner_, nullptr);
}

void TTask::HandleStoppedEditing(TDictionary* info)
{
    if (!editing_)
        return;
    // Removing the row may let the last reference go.
    const auto hold = TObjectRef<TTask>::Retain(this);
    editing_ = false;
    CFStringRef text = nullptr;
    if (info != nullptr) {
        CFTypeRef value = info->GetValue("text");
        if (value != nullptr && CFGetTypeID(value) == CFStringGetTypeID())
            text = static_cast<CFStringRef>(value);
    }
    if (text != nullptr && !BrindletMini && IsWebAddress(text) && ReplaceWithURLAttachment(text))
        return;
    if (text != nullptr) {
        SetText(text);
        if (CFStringGetLength(text_) == 0 && EditingMode() == 1)
            RemoveFromBrowser(true);
    }
    Modify();
    Update();
    editedFromAdding_ = false;
}

Boolean TTask::ReplaceWithURLAttachment(CFStringRef text)
{
    const ClassInfo* linkClass = FindClass("TURLAttachment");
    if (linkClass == nullptr || !linkClass->InheritsFrom(TTask::StaticClass()) || parent_ == nullptr)
        return false;
    TObject* link = AllocateClass("TURLAttachment", {ParameterType::String(text), ParameterType::Object(owner_)});
    if (link == nullptr)
        return false;
    link->RequestInitialization();
    InsertAfter(static_cast<TTask*>(link));
    link->Release();
    if (owner_ != nullptr)
        owner_->RemoveTask(this);
    return true;
}

// ---- drags ----

Boolean TTask::CanDrag(CGPoint point)
{
    return CGRectContainsPoint(GetTextFrame(), point) && IsSelected() && !editing_;
}

void TTask::AddDragItems(TDrag* drag)
{
    if (drag == nullptr)
        return;
    if (text_ != nullptr && CFStringGetLength(text_) > 0)
        drag->AddCFString(text_);
    // The row's identity, not its address (see UDragFlavors.h).
    AddTaskDragFlavor(drag, this);
}

CGPoint TTask::GetDragOffset()
{
    if (owner_ == nullptr || owner_->GetCanvas() == nullptr)
        return CGPointZero;
    HIPoint mouse = CGPointZero;
    GetEventParameter(GetCurrentEvent(), kEventParamWindowMouseLocation, typeHIPoint, nullptr, sizeof mouse, nullptr,
                      &mouse);
    mouse = owner_->GetCanvas()->ConvertPointToCanvas(mouse);
    const CGPoint origin = owner_->ConvertPointToCanvas(frame_.origin);
    return CGPointMake(origin.x - mouse.x, origin.y - mouse.y);
}

CGImageRef TTask::CopyDragImage()
{
    const CGSize size = GetDragSize();
    Ptr buffer = nullptr;
    CGContextRef context = CGBitmapContextCreate(size, buffer);
    if (context == nullptr)
        return nullptr;
    DrawDragImage(CGRectMake(0, 0, size.width, size.height), context);
    CGImageRef image = CGBitmapContextCreateImage(context);
    CGContextRelease(context);
    DisposePtr(buffer);
    return image;
}

void TTask::StartDrag()
{
    if (owner_ == nullptr || !owner_->IsCanvasValid())
        return;
    const auto drag = TObjectRef<TDrag>::Adopt(TDrag::Create());
    AddDragItems(drag.get());
    if (CGImageRef image = CopyDragImage()) {
        drag->SetImage(image, GetDragOffset());
        CGImageRelease(image);
    }
    drag->Track(GetCurrentEvent());
}

Boolean TTask::AcceptDrag(SInt32, TDrag*)
{
    return true;
}

Boolean TTask::TrackDragging(CGPoint point, TTask* draggedTask, TDrag* drag)
{
    const CGFloat y0 = frame_.origin.y;
    const CGFloat h = frame_.size.height;
    SInt32 tracking = kTrackingAfter;
    if (point.y < y0 + h / 3)
        tracking = kTrackingBefore;
    else if (point.y <= y0 + h / 1.5)
        tracking = kTrackingInto;
    // Under a container row the mark would stand above its children, while
    // "after" means past the whole subtree: a container offers no "after".
    if (tracking == kTrackingAfter && IsContainer())
        tracking = kTrackingNone;
    if (draggedTask != nullptr && ContainsTask(draggedTask))
        tracking = kTrackingNone;
    tracking_ = tracking;
    switch (tracking) {
    case kTrackingInto:
        return AcceptDrag(tracking, drag);
    case kTrackingBefore:
    case kTrackingAfter:
        return parent_ != nullptr && parent_->AcceptDrag(tracking, drag);
    default:
        return false;
    }
}

}  // namespace brindlet
