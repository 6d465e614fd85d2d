#include "UTask.h"

#include <ApplicationFramework/Classes/TApplicationUnit.h>
#include <Units/Classes/TArchiverUnit.h>
#include <Units/Classes/TPasteboardUnit.h>
#include <Units/Classes/TTimerUnit.h>
#include <Units/Utilities/CFUtilities.h>
#include <Units/Utilities/CarbonUtilities.h>

#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CFStringUTF8.h>
#include <CoreServices/UTCoreTypes.h>
#include <HIToolbox/HITheme.h>
#include <Support/Diagnostics.h>

#include <string>

namespace brindlet {

BRINDLET_DEFINE_CLASS(TTask, TTaskProtocol)

namespace {

TTask* AsTask(TTaskProtocol* task)
{
    return MemberOfClass(task, TTask::StaticClass()) ? static_cast<TTask*>(task) : nullptr;
}

TUndoManager* UndoManager()
{
    return TUndoManager::SharedManager();
}

void ReplaceDate(NSDate*& field, NSDate* date)
{
    if (field == date)
        return;
    if (date != nullptr)
        date->retain();
    if (field != nullptr)
        field->release();
    field = date;
}

// A date of the archive under `key`, as its text; absent when unset.
void SetDateValue(TArchiver* archiver, const ShortString& key, const NSDate* date)
{
    if (date == nullptr)
        return;
    CFRef<CFStringRef> text(CopyTaskDateText(date));
    archiver->SetValue(key, text);
}

NSDate* NewDateValue(TArchiver* archiver, const ShortString& key)
{
    return NewTaskDateFromText(archiver->GetValue(key));
}

bool HasNumber(TArchiver* archiver, const ShortString& key)
{
    CFTypeRef value = archiver->GetValue(key);
    return value != nullptr && CFGetTypeID(value) == CFNumberGetTypeID();
}

}  // namespace

// ---- undo bookkeeping ----

Boolean UndoableTaskActionCallback(TObject*, TUndoableAction* action, void* data)
{
    auto* task = static_cast<TTask*>(data);
    if (action == nullptr || task == nullptr)
        return false;
    const ShortString name = action->GetName();
    bool concerns = false;
    if (name == "Insert" || name == "Delete") {
        concerns = action->GetSender() == task;
    } else if (name == "Move") {
        TObject* sender = action->GetSender();
        concerns = MemberOfClass(sender, TTypeDictionary::StaticClass()) &&
                   static_cast<TTypeDictionary*>(sender)->GetPointerValue("task") == task;
    }
    if (concerns && !task->deallocating_)
        task->Modify();
    return concerns;
}

// ---- creation and life cycle ----

TTask* TTask::Create(CFStringRef text, TCardProtocol* owner)
{
    TTask* task = AllocateInstance<TTask>();
    task->text_ = text != nullptr ? CFStringCreateMutableCopy(nullptr, 0, text) : CFStringCreateMutable(nullptr, 0);
    task->owner_ = owner;
    if (TPreferenceHandlerApplication* prefs = TApplication::Prefs()) {
        task->SetRelativeDate(prefs->GetBooleanValue("TPreferences.useRelativeDatesByDefault"));
        task->SetCalendarDatePicker(prefs->GetBooleanValue("TPreferences.editAsCalendarByDefault"));
    }
    task->Initialize();
    return task;
}

void TTask::Initialize()
{
    Inherited::Initialize();
    textHeight_ = 15;
    baseTextHeight_ = 15;
    if (text_ == nullptr)
        text_ = CFStringCreateMutable(nullptr, 0);
    if (children_ == nullptr)
        children_ = TObjectArray::Create();
    if (uuid_ == nullptr)
        uuid_ = CFUUIDCreate(nullptr);
    if (timeStamp_ == nullptr)
        timeStamp_ = CFDateCreate(nullptr, CFAbsoluteTimeGetCurrent());
    if (owner_ != nullptr && UndoManager() != nullptr)
        UndoManager()->AppendAction("Insert", owner_, this);
    if (DidInitializeFromArchive())
        UpdateRepeatDate();
    ObserveNotification("TTextField.HeightChanged", BRINDLET_METHOD(TTask, HandleTextHeightChanged));
    ObserveNotification("TTask.Locate", BRINDLET_METHOD(TTask, HandleLocateTask));
    ObserveNotification("TDateTimer.UpdateDates", BRINDLET_METHOD(TTask, HandleUpdateDates));
    ObserveEditing();
}

void TTask::Deallocate()
{
    deallocating_ = true;
    ForgetPaintPlan();
    TTimer::Terminate(addTaskTimer_);
    if (!undoRemoved_ && UndoManager() != nullptr) {
        undoRemoved_ = true;
        UndoManager()->RemoveAllActions(owner_, UndoableTaskActionCallback, this);
    }
    if (uuid_ != nullptr)
        CFRelease(uuid_);
    if (text_ != nullptr)
        CFRelease(text_);
    if (timeStamp_ != nullptr)
        CFRelease(timeStamp_);
    uuid_ = nullptr;
    text_ = nullptr;
    timeStamp_ = nullptr;
    ReplaceDate(due_, nullptr);
    ReplaceDate(started_, nullptr);
    ReplaceDate(ended_, nullptr);
    ReplaceDate(notificationDate_, nullptr);
    if (notes_ != nullptr)
        CFRelease(notes_);
    notes_ = nullptr;
    if (children_ != nullptr) {
        // A child that lives on elsewhere (an undo action holds it) must not
        // keep pointing at this row.
        for (void* value : *children_)
            if (static_cast<TTask*>(value)->parent_ == this)
                static_cast<TTask*>(value)->parent_ = nullptr;
        ReleaseObject(children_);
    }
    Inherited::Deallocate();
}

void TTask::CopyInstanceVariables(TObject* object)
{
    Inherited::CopyInstanceVariables(object);
    TTask* source = static_cast<TTask*>(object);
    children_ = static_cast<TObjectArray*>(source->CopyChildren());
    SInt32 index = 0;
    for (void* value : *children_) {
        TTask* child = static_cast<TTask*>(value);
        child->parent_ = this;
        child->childID_ = static_cast<UInt16>(index++);
    }
    text_ = source->text_ != nullptr ? CFStringCreateMutableCopy(nullptr, 0, source->text_)
                                     : CFStringCreateMutable(nullptr, 0);
    notes_ = source->notes_ != nullptr ? CFDataCreateCopy(nullptr, source->notes_) : nullptr;
    priority_ = source->priority_;
    ReplaceDate(due_, source->due_);
    ReplaceDate(started_, source->started_);
    completed_ = source->completed_;
    open_ = source->IsOpen();
    container_ = source->IsContainer();
    flag_ = source->flag_;
    style_ = source->style_;
    dateStyle_ = source->dateStyle_;
    dateRepeat_ = source->dateRepeat_;
    dateNotify_ = source->dateNotify_;
    relativeDate_ = source->relativeDate_;
    calendarDatePicker_ = source->calendarDatePicker_;
    UpdateNotificationDate();
}

// ---- archive ----

void TTask::EncodeData(TArchiver* archiver)
{
    Inherited::EncodeData(archiver);
    if (notes_ != nullptr)
        archiver->SetValue("notes", notes_);
    if (text_ != nullptr)
        archiver->SetValue("text", text_);
    if (uuid_ != nullptr) {
        CFRef<CFStringRef> uuid(CFUUIDCreateString(nullptr, uuid_));
        archiver->SetValue("uuid", uuid);
    }
    archiver->SetValue("timeStamp", timeStamp_);
    archiver->SetIntegerValue("priority", priority_);
    archiver->SetBooleanValue("relativeDate", relativeDate_);
    archiver->SetBooleanValue("calendarDatePicker", calendarDatePicker_);
    if (notificationDate_ != nullptr)
        SetDateValue(archiver, "notificationDate", notificationDate_);
    else
        archiver->Remove("notificationDate");
    SetDateValue(archiver, "due", due_);
    SetDateValue(archiver, "started", started_);
    SetDateValue(archiver, "ended", ended_);
    archiver->SetBooleanValue("completed", completed_);
    archiver->SetIntegerValue("flag", flag_);
    archiver->SetBooleanValue("open", open_);
    archiver->SetIntegerValue("dateStyle", dateStyle_);
    archiver->SetIntegerValue("dateRepeat", dateRepeat_);
    archiver->SetIntegerValue("dateNotify", dateNotify_);
    archiver->SetBooleanValue("timerRunning", timerRunning_);
    archiver->SetBooleanValue("style.bold", style_.bold);
    archiver->SetBooleanValue("style.italic", style_.italic);
    archiver->SetBooleanValue("style.underline", style_.underline);
    archiver->SetBooleanValue("style.strikethrough", style_.strikethrough);
    archiver->SetIntegerValue("style.priority", style_.priority);
    archiver->SetIntegerValue("style.status", style_.status);
}

void TTask::DecodeData(TArchiver* archiver)
{
    Inherited::DecodeData(archiver);
    CFTypeRef notes = archiver->GetValue("notes");
    if (notes != nullptr && CFGetTypeID(notes) == CFDataGetTypeID())
        notes_ = CFDataCreateCopy(nullptr, static_cast<CFDataRef>(notes));
    // A row always has a text, however the file was written.
    text_ = archiver->CopyMutableStringValue("text");
    if (text_ == nullptr)
        text_ = CFStringCreateMutable(nullptr, 0);
    CFTypeRef uuid = archiver->GetValue("uuid");
    if (uuid != nullptr && CFGetTypeID(uuid) == CFStringGetTypeID())
        uuid_ = CFUUIDCreateFromString(nullptr, static_cast<CFStringRef>(uuid));
    CFTypeRef timeStamp = archiver->GetValue("timeStamp");
    if (timeStamp != nullptr && CFGetTypeID(timeStamp) == CFDateGetTypeID())
        timeStamp_ = static_cast<CFDateRef>(CFRetain(timeStamp));
    priority_ = archiver->GetIntegerValue("priority");
    relativeDate_ = archiver->GetBooleanValue("relativeDate");
    calendarDatePicker_ = archiver->GetBooleanValue("calendarDatePicker");
    notificationDate_ = NewDateValue(archiver, "notificationDate");
    due_ = NewDateValue(archiver, "due");
    started_ = NewDateValue(archiver, "started");
    ended_ = NewDateValue(archiver, "ended");
    completed_ = archiver->GetBooleanValue("completed");
    flag_ = archiver->GetIntegerValue("flag");
    open_ = archiver->GetBooleanValue("open");
    if (HasNumber(archiver, "dateStyle"))
        dateStyle_ = archiver->GetIntegerValue("dateStyle");
    if (HasNumber(archiver, "dateRepeat"))
        dateRepeat_ = archiver->GetIntegerValue("dateRepeat");
    if (HasNumber(archiver, "dateNotify"))
        dateNotify_ = archiver->GetIntegerValue("dateNotify");
    timerRunning_ = archiver->GetBooleanValue("timerRunning");
    style_.bold = archiver->GetBooleanValue("style.bold");
    style_.italic = archiver->GetBooleanValue("style.italic");
    style_.underline = archiver->GetBooleanValue("style.underline");
    style_.strikethrough = archiver->GetBooleanValue("style.strikethrough");
    if (HasNumber(archiver, "style.priority"))
        style_.priority = archiver->GetIntegerValue("style.priority");
    if (HasNumber(archiver, "style.status"))
        style_.status = archiver->GetIntegerValue("style.status");
    // The card being decoded set itself as the archive's context.
    owner_ = static_cast<TCardProtocol*>(archiver->GetContext());
}

// ---- tree ----

void TTask::Append(TTaskProtocol* object)
{
    TTask* child = AsTask(object);
    if (child == nullptr || children_ == nullptr)
        return;
    child->SetParent(this);
    child->SetChildID(static_cast<UInt16>(children_->Count()));
    children_->AppendValue(child);
}

void TTask::Prepend(TTaskProtocol* task)
{
    Insert(task, 0);
}

void TTask::Insert(TTaskProtocol* object, SInt32 index)
{
    TTask* child = AsTask(object);
    if (child == nullptr || children_ == nullptr)
        return;
    if (index < 0)
        index = 0;
    child->SetParent(this);
    if (index <= children_->Limit()) {
        child->SetChildID(static_cast<UInt16>(index));
        children_->InsertValue(index, child);
    } else {
        child->SetChildID(static_cast<UInt16>(children_->Count()));
        children_->AppendValue(child);
    }
}

void TTask::InsertAfter(TTaskProtocol* task)
{
    if (parent_ != nullptr)
        parent_->Insert(task, childID_ + 1);
}

void TTask::InsertBefore(TTaskProtocol* task)
{
    if (parent_ != nullptr)
        parent_->Insert(task, childID_);
}

void TTask::Remove()
{
    if (parent_ != nullptr)
        parent_->RemoveChild(this);
}

void TTask::RemoveChild(TTask* child)
{
    if (children_ != nullptr)
        children_->RemoveValue(child);
}

SInt32 TTask::GetChildCount() const
{
    return children_ != nullptr ? children_->Count() : 0;
}

TTask* TTask::GetChildAtIndex(SInt32 index) const
{
    return children_ != nullptr ? static_cast<TTask*>(children_->GetValue(index)) : nullptr;
}

void TTask::SetParent(TTaskProtocol* task)
{
    parent_ = AsTask(task);
}

TTask* TTask::GetRoot() const
{
    if (parent_ == nullptr)
        return nullptr;
    TTask* root = parent_;
    while (root->parent_ != nullptr)
        root = root->parent_;
    return root;
}

void TTask::SetOwner(TCardProtocol* card)
{
    for (TTask* task = this; task != nullptr; task = task->parent_)
        task->owner_ = card;
}

TArray* TTask::CopyChildren()
{
    TObjectArray* copies = TObjectArray::Create();
    if (children_ != nullptr)
        for (void* value : *children_) {
            TObject* copy = static_cast<TTask*>(value)->Copy();
            copies->AppendValue(copy);
            copy->Release();
        }
    return copies;
}

TArray* TTask::CopyChildrenDeep()
{
    TObjectArray* all = TObjectArray::Create();
    if (children_ != nullptr)
        for (void* value : *children_) {
            TTask* child = static_cast<TTask*>(value);
            all->AppendValue(child);
            TArray* below = child->CopyChildrenDeep();
            all->AppendArray(below);
            below->Release();
        }
    return all;
}

Boolean TTask::ContainsTask(const TTask* task)
{
    for (const TTask* row = this; row != nullptr; row = row->parent_)
        if (row == task)
            return true;
    return false;
}

Boolean TTask::IsContainer()
{
    return container_ || GetChildCount() > 0;
}

void TTask::SetOpen(Boolean flag)
{
    open_ = flag;
    if (flag)
        return;
    // The selection never hides inside a closed container.
    TArray* below = CopyChildrenDeep();
    for (void* value : *below) {
        TTask* task = static_cast<TTask*>(value);
        if (task->IsSelected()) {
            task->Deselect();
            break;
        }
    }
    below->Release();
}

void TTask::RemoveFromBrowser(Boolean selectPrevious)
{
    if (TBrowserProtocol* browser = GetBrowser())
        browser->RemoveTask(this, selectPrevious);
}

void TTask::InsertDrag(TTask*& task, TCardProtocol* newOwner, Boolean copy)
{
    if (task == nullptr)
        return;
    TCardProtocol* oldOwner = task->owner_;
    // Our own reference while the row is between two parents (or, for a
    // copy, until its new parent holds it).
    TTask* held = nullptr;
    if (copy) {
        held = static_cast<TTask*>(task->Copy());
        task = held;
    } else {
        held = task;
        held->Retain();
        if (task->parent_ != nullptr)
            task->Remove();
    }
    task->SetOwner(newOwner);
    switch (tracking_) {
    case kTrackingInto:
        Append(task);
        SetOpen(true);
        break;
    case kTrackingBefore:
        if (parent_ != nullptr)
            parent_->Insert(task, childID_);
        else
            Append(task);
        break;
    case kTrackingAfter:
        if (parent_ != nullptr)
            parent_->Insert(task, childID_ + 1);
        else
            Append(task);
        break;
    case kTrackingAtEnd: {
        TTask* root = GetRoot();
        (root != nullptr ? root : this)->Append(task);
        break;
    }
    default:
        Append(task);
        break;
    }
    held->Release();
    if (oldOwner != nullptr)
        oldOwner->HandleTaskChanged();
    if (newOwner != nullptr)
        newOwner->HandleTaskChanged();
}

void TTask::Moved(Boolean copy, TCardProtocol* previousOwner, TTask* previousParent, SInt32 previousChildID)
{
    if (TBrowserProtocol* browser = GetBrowser())
        browser->Deselect(this);
    tracking_ = kTrackingNone;
    if (UndoManager() != nullptr)
        UndoManager()->RemoveAllActions(owner_, UndoableTaskActionCallback, this);
    if (previousOwner != owner_) {
        if (previousOwner != nullptr) {
            // The card the row left must not keep it as its selection.
            if (TBrowserProtocol* previousBrowser = previousOwner->GetBrowser())
                previousBrowser->Deselect(this);
            previousOwner->AdjustHeight();
        }
    } else if (!copy && owner_ != nullptr && UndoManager() != nullptr) {
        if (previousParent == nullptr) {
            // A row that had no place before (made for the drop) has nowhere
            // to go back to: undoing the drop takes it out again.
            UndoManager()->AppendAction("Insert", owner_, this);
        } else {
            TTypeDictionary* move = TTypeDictionary::Create();
            move->SetPointerValue("task", this);
            move->SetPointerValue("newParent", parent_);
            move->SetIntegerValue("newChildID", childID_);
            move->SetPointerValue("previousParent", previousParent);
            move->SetIntegerValue("previousChildID", previousChildID);
            UndoManager()->AppendAction("Move", owner_, move);
            move->Release();
        }
    }
    if (copy) {
        Deselect();
        SetThemeCursor(kThemeArrowCursor);
    }
    if (owner_ != nullptr)
        owner_->AdjustHeight();
    Modify();
}

// ---- change notification ----

void TTask::Modify()
{
    const CFAbsoluteTime now = CFAbsoluteTimeGetCurrent();
    if (owner_ != nullptr)
        owner_->RenewTimeStamp(now);
    if (timeStamp_ != nullptr)
        CFRelease(timeStamp_);
    timeStamp_ = CFDateCreate(nullptr, now);
    TSystemResponder::PostNotification("com.orvandel.Brindlet.taskChanged");
    TResponder::PostNotification("SyncSheetChanged");
}

void TTask::Update()
{
    if (owner_ != nullptr)
        owner_->UpdateFace();
}

// ---- values ----

void TTask::SetText(CFStringRef text)
{
    if (text == nullptr)
        return;
    CFMutableStringRef copy = CFStringCreateMutableCopy(nullptr, 0, text);
    if (text_ != nullptr)
        CFRelease(text_);
    text_ = copy;
}

void TTask::SetCompleted(Boolean flag)
{
    completed_ = flag;
    Update();
    Modify();
}

void TTask::SetStyle(const TaskStyleInfo& style)
{
    style_ = style;
    Update();
}

void TTask::SetContainer(Boolean flag)
{
    container_ = flag;
    Update();
}

void TTask::SetNotes(CFDataRef notes)
{
    CFDataRef copy = notes != nullptr ? CFDataCreateCopy(nullptr, notes) : nullptr;
    if (notes_ != nullptr)
        CFRelease(notes_);
    notes_ = copy;
}

void TTask::SetNotificationDate(NSDate* date)
{
    ReplaceDate(notificationDate_, date);
}

Boolean TTask::HasNote() const
{
    return notes_ != nullptr && CFDataGetLength(notes_) > 0;
}

CFUUIDRef TTask::GetUUID() const
{
    return parent_ != nullptr ? uuid_ : nullptr;
}

NSDate* TTask::CopyDueDate() const
{
    return due_ != nullptr ? NSDate::newWithTimeIntervalSinceReferenceDate(due_->timeIntervalSinceReferenceDate())
                           : nullptr;
}

NSDate* TTask::CopyStartedDate() const
{
    return started_ != nullptr
               ? NSDate::newWithTimeIntervalSinceReferenceDate(started_->timeIntervalSinceReferenceDate())
               : nullptr;
}

CGSize TTask::GetDimensions()
{
    return CGSizeMake(owner_ != nullptr ? owner_->GetWidth() : 0, static_cast<CGFloat>(textHeight_ + 5));
}

CGPoint TTask::GetConnectionPoint()
{
    // Where the outline attaches the line that connects a row.
    return CGPointMake(frame_.origin.x + 4, frame_.origin.y + 8);
}

void TTask::CopyToClipboard(TPasteboard* pasteboard)
{
    if (pasteboard == nullptr || text_ == nullptr || CFStringGetLength(text_) == 0)
        return;
    const std::string utf8 = CFStringToUTF8(text_);
    pasteboard->PutFlavor(utf8.data(), static_cast<Size>(utf8.size()), kUTTypeUTF8PlainText, 0);
}

// ---- row hooks ----

Boolean TTask::ContainsPoint(CGPoint point)
{
    return CGRectContainsPoint(frame_, point);
}

Boolean TTask::IsEditable()
{
    return owner_ == nullptr || owner_->IsEditable();
}

// ---- the card's outline ----

TBrowserProtocol* TTask::GetBrowser()
{
    return owner_ != nullptr ? owner_->GetBrowser() : nullptr;
}

Boolean TTask::IsSelected()
{
    TBrowserProtocol* browser = GetBrowser();
    return browser != nullptr && browser->GetSelection() == this;
}

void TTask::Select()
{
    if (TBrowserProtocol* browser = GetBrowser())
        browser->SetSelection(this);
    tracking_ = kTrackingNone;
    Update();
}

void TTask::Deselect()
{
    if (TBrowserProtocol* browser = GetBrowser())
        browser->Deselect(this);
    tracking_ = kTrackingNone;
    Update();
}

void TTask::Locate()
{
    Beep();
    if (owner_ != nullptr)
        owner_->GiveFocus();
    Select();
}

void TTask::HandleLocateTask(TDictionary* notification)
{
    CFUUIDRef uuid = GetUUID();
    if (uuid == nullptr || notification == nullptr)
        return;
    CFTypeRef wanted = notification->GetValue("task");
    if (wanted == nullptr || CFGetTypeID(wanted) != CFStringGetTypeID())
        return;
    CFRef<CFStringRef> text(CFUUIDCreateString(nullptr, uuid));
    if (CFStringCompare(text, static_cast<CFStringRef>(wanted), 0) == kCFCompareEqualTo)
        Locate();
}

void TTask::HandleUpdateDates(TDictionary*)
{
    UpdateRepeatDate();
}

void TTask::HandleTextHeightChanged(TDictionary* info)
{
    if (!editing_ || info == nullptr)
        return;
    Modify();
    const SInt32 height = MemberOfClass(info, TTypeDictionary::StaticClass())
                              ? static_cast<TTypeDictionary*>(info)->GetIntegerValue("height")
                              : 0;
    textHeight_ = baseTextHeight_ + height;
    Update();
}

// ---- diagnostics ----

void TTask::Show()
{
    Show(this, 0);
}

void TTask::Show(const TTask* task, SInt32 indent)
{
    if (task == nullptr)
        return;
    std::string line(static_cast<size_t>(indent) * 2, ' ');
    line += task->text_ != nullptr ? CFStringToUTF8(task->text_) : std::string();
    Diagnostics::WriteLine(line);
    for (SInt32 i = 0; i < task->GetChildCount(); ++i)
        Show(task->GetChildAtIndex(i), indent + 1);
}

}  // namespace brindlet
