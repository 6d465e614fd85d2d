#include "Globals.h"

#include <AppKit/NSColor.h>
#include <Support/Diagnostics.h>

#include <string>

SPRITE_DEFINE_ABSTRACT_CLASS(TCardProtocol, TSprite)
SPRITE_DEFINE_ABSTRACT_CLASS(TTaskProtocol, TResponder)
SPRITE_DEFINE_ABSTRACT_CLASS(TBrowserProtocol, TObject)
SPRITE_DEFINE_ABSTRACT_CLASS(TScreenProtocol, TSpriteCanvas)
SPRITE_DEFINE_ABSTRACT_CLASS(TBrindletApplicationProtocol, TApplication)

void ReportUnfilledOperation(const TObject* object, const char* protocol, const char* operation)
{
    std::string line = "Warning: ";
    line += protocol;
    line += '.';
    line += operation;
    line += " is not filled by ";
    line += object != nullptr ? object->ClassName() : "nil";
    line += '.';
    Diagnostics::WriteLine(line);
}

#define UNFILLED(Protocol, Operation) ReportUnfilledOperation(this, #Protocol, #Operation)

// ---- TCardProtocol ----

NSColor* TCardProtocol::GetBaseTextColor()
{
    UNFILLED(TCardProtocol, GetBaseTextColor);
    return nullptr;
}
CGRect TCardProtocol::GetInteriorFrame()
{
    UNFILLED(TCardProtocol, GetInteriorFrame);
    return CGRectZero;
}
CGRect TCardProtocol::GetContentFrame()
{
    UNFILLED(TCardProtocol, GetContentFrame);
    return CGRectZero;
}
CFStringRef TCardProtocol::GetTitle()
{
    UNFILLED(TCardProtocol, GetTitle);
    return nullptr;
}
ATSURGBAlphaColor TCardProtocol::GetColor()
{
    UNFILLED(TCardProtocol, GetColor);
    return ATSURGBAlphaColor{0, 0, 0, 0};
}
Float32 TCardProtocol::GetLuminosity()
{
    UNFILLED(TCardProtocol, GetLuminosity);
    return 0;
}
Boolean TCardProtocol::GetHideCompletedTasks()
{
    UNFILLED(TCardProtocol, GetHideCompletedTasks);
    return false;
}
SInt32 TCardProtocol::GetShowTasksFrom()
{
    UNFILLED(TCardProtocol, GetShowTasksFrom);
    return 0;
}
TBrowserProtocol* TCardProtocol::GetBrowser()
{
    UNFILLED(TCardProtocol, GetBrowser);
    return nullptr;
}
CFUUIDRef TCardProtocol::GetUUID()
{
    UNFILLED(TCardProtocol, GetUUID);
    return nullptr;
}
CFDateRef TCardProtocol::GetTimeStamp()
{
    UNFILLED(TCardProtocol, GetTimeStamp);
    return nullptr;
}
void TCardProtocol::RenewTimeStamp(CFAbsoluteTime)
{
    UNFILLED(TCardProtocol, RenewTimeStamp);
}
void TCardProtocol::SetRecentSyncTime(CFAbsoluteTime)
{
    UNFILLED(TCardProtocol, SetRecentSyncTime);
}
CFDateRef TCardProtocol::GetRecentSyncTime()
{
    UNFILLED(TCardProtocol, GetRecentSyncTime);
    return nullptr;
}
Boolean TCardProtocol::IsPrinting()
{
    UNFILLED(TCardProtocol, IsPrinting);
    return false;
}
Boolean TCardProtocol::IsEditable()
{
    UNFILLED(TCardProtocol, IsEditable);
    return false;
}
void TCardProtocol::SetNeedsAdjustHeight(Boolean)
{
    UNFILLED(TCardProtocol, SetNeedsAdjustHeight);
}
void TCardProtocol::AdjustHeight()
{
    UNFILLED(TCardProtocol, AdjustHeight);
}
void TCardProtocol::HandleTaskChanged()
{
    UNFILLED(TCardProtocol, HandleTaskChanged);
}
void TCardProtocol::RemoveTask(TTaskProtocol*)
{
    UNFILLED(TCardProtocol, RemoveTask);
}

// ---- TTaskProtocol ----
void TTaskProtocol::CopyToClipboard(TPasteboard*)
{
    UNFILLED(TTaskProtocol, CopyToClipboard);
}
void TTaskProtocol::ProcessCommand(const HICommandExtended&, EventRef, OSStatus&)
{
    UNFILLED(TTaskProtocol, ProcessCommand);
}
void TTaskProtocol::Append(TTaskProtocol*)
{
    UNFILLED(TTaskProtocol, Append);
}
void TTaskProtocol::Prepend(TTaskProtocol*)
{
    UNFILLED(TTaskProtocol, Prepend);
}
void TTaskProtocol::InsertAfter(TTaskProtocol*)
{
    UNFILLED(TTaskProtocol, InsertAfter);
}
void TTaskProtocol::InsertBefore(TTaskProtocol*)
{
    UNFILLED(TTaskProtocol, InsertBefore);
}
void TTaskProtocol::Insert(TTaskProtocol*, SInt32)
{
    UNFILLED(TTaskProtocol, Insert);
}
void TTaskProtocol::Modify()
{
    UNFILLED(TTaskProtocol, Modify);
}
TArray* TTaskProtocol::CopyChildren()
{
    UNFILLED(TTaskProtocol, CopyChildren);
    return nullptr;
}
TArray* TTaskProtocol::CopyChildrenDeep()
{
    UNFILLED(TTaskProtocol, CopyChildrenDeep);
    return nullptr;
}
void TTaskProtocol::Update()
{
    UNFILLED(TTaskProtocol, Update);
}
void TTaskProtocol::DateChanged()
{
    UNFILLED(TTaskProtocol, DateChanged);
}
void TTaskProtocol::UpdateNotificationDate()
{
    UNFILLED(TTaskProtocol, UpdateNotificationDate);
}
void TTaskProtocol::UpdateRepeatDate()
{
    UNFILLED(TTaskProtocol, UpdateRepeatDate);
}
void TTaskProtocol::SetText(CFStringRef)
{
    UNFILLED(TTaskProtocol, SetText);
}
void TTaskProtocol::SetCompleted(Boolean)
{
    UNFILLED(TTaskProtocol, SetCompleted);
}
void TTaskProtocol::SetFlag(SInt32)
{
    UNFILLED(TTaskProtocol, SetFlag);
}
void TTaskProtocol::SetTracking(SInt32)
{
    UNFILLED(TTaskProtocol, SetTracking);
}
void TTaskProtocol::SetOpen(Boolean)
{
    UNFILLED(TTaskProtocol, SetOpen);
}
void TTaskProtocol::SetContainer(Boolean)
{
    UNFILLED(TTaskProtocol, SetContainer);
}
void TTaskProtocol::SetStyle(const TaskStyleInfo&)
{
    UNFILLED(TTaskProtocol, SetStyle);
}
void TTaskProtocol::SetParent(TTaskProtocol*)
{
    UNFILLED(TTaskProtocol, SetParent);
}
void TTaskProtocol::SetChildID(UInt16)
{
    UNFILLED(TTaskProtocol, SetChildID);
}
void TTaskProtocol::SetRow(UInt16)
{
    UNFILLED(TTaskProtocol, SetRow);
}
void TTaskProtocol::SetNotes(CFDataRef)
{
    UNFILLED(TTaskProtocol, SetNotes);
}
void TTaskProtocol::SetDueDate(NSDate*)
{
    UNFILLED(TTaskProtocol, SetDueDate);
}
void TTaskProtocol::SetDateStyle(SInt32)
{
    UNFILLED(TTaskProtocol, SetDateStyle);
}
void TTaskProtocol::SetDateRepeat(SInt32)
{
    UNFILLED(TTaskProtocol, SetDateRepeat);
}
void TTaskProtocol::SetDateNotify(SInt32)
{
    UNFILLED(TTaskProtocol, SetDateNotify);
}
void TTaskProtocol::SetRelativeDate(Boolean)
{
    UNFILLED(TTaskProtocol, SetRelativeDate);
}
void TTaskProtocol::SetNotificationDate(NSDate*)
{
    UNFILLED(TTaskProtocol, SetNotificationDate);
}
void TTaskProtocol::SetCalendarDatePicker(Boolean)
{
    UNFILLED(TTaskProtocol, SetCalendarDatePicker);
}
Boolean TTaskProtocol::IsOpen()
{
    UNFILLED(TTaskProtocol, IsOpen);
    return false;
}
Boolean TTaskProtocol::IsSelected()
{
    UNFILLED(TTaskProtocol, IsSelected);
    return false;
}
Boolean TTaskProtocol::IsContainer()
{
    UNFILLED(TTaskProtocol, IsContainer);
    return false;
}
Boolean TTaskProtocol::IsOverdue()
{
    UNFILLED(TTaskProtocol, IsOverdue);
    return false;
}
Boolean TTaskProtocol::IsCalendarDatePicker()
{
    UNFILLED(TTaskProtocol, IsCalendarDatePicker);
    return false;
}
Boolean TTaskProtocol::IsDateRelative()
{
    UNFILLED(TTaskProtocol, IsDateRelative);
    return false;
}
CGSize TTaskProtocol::GetDimensions()
{
    UNFILLED(TTaskProtocol, GetDimensions);
    return CGSizeZero;
}
CFStringRef TTaskProtocol::GetText()
{
    UNFILLED(TTaskProtocol, GetText);
    return nullptr;
}
CGPoint TTaskProtocol::GetConnectionPoint()
{
    UNFILLED(TTaskProtocol, GetConnectionPoint);
    return CGPointZero;
}
SInt32 TTaskProtocol::GetTracking()
{
    UNFILLED(TTaskProtocol, GetTracking);
    return 0;
}
TaskStyleInfo TTaskProtocol::GetStyle()
{
    UNFILLED(TTaskProtocol, GetStyle);
    return TaskStyleInfo{};
}
NSDate* TTaskProtocol::GetDueDate()
{
    UNFILLED(TTaskProtocol, GetDueDate);
    return nullptr;
}
CFDataRef TTaskProtocol::GetNotes()
{
    UNFILLED(TTaskProtocol, GetNotes);
    return nullptr;
}
SInt32 TTaskProtocol::GetDateRepeat()
{
    UNFILLED(TTaskProtocol, GetDateRepeat);
    return 0;
}
SInt32 TTaskProtocol::GetDateStyle()
{
    UNFILLED(TTaskProtocol, GetDateStyle);
    return 0;
}
SInt32 TTaskProtocol::GetDateNotify()
{
    UNFILLED(TTaskProtocol, GetDateNotify);
    return 0;
}
CGRect TTaskProtocol::GetSelectionFrame()
{
    UNFILLED(TTaskProtocol, GetSelectionFrame);
    return CGRectZero;
}
TCardProtocol* TTaskProtocol::GetOwner()
{
    UNFILLED(TTaskProtocol, GetOwner);
    return nullptr;
}
Boolean TTaskProtocol::HasNotification()
{
    UNFILLED(TTaskProtocol, HasNotification);
    return false;
}

// ---- TBrowserProtocol ----
TTaskProtocol* TBrowserProtocol::GetSelection()
{
    UNFILLED(TBrowserProtocol, GetSelection);
    return nullptr;
}
void TBrowserProtocol::SetSelection(TTaskProtocol*)
{
    UNFILLED(TBrowserProtocol, SetSelection);
}
void TBrowserProtocol::Deselect(TTaskProtocol*)
{
    UNFILLED(TBrowserProtocol, Deselect);
}
void TBrowserProtocol::RemoveTask(TTaskProtocol*, Boolean)
{
    UNFILLED(TBrowserProtocol, RemoveTask);
}
TArray* TBrowserProtocol::CopyTasks()
{
    UNFILLED(TBrowserProtocol, CopyTasks);
    return nullptr;
}
TTaskProtocol* TBrowserProtocol::GetRoot()
{
    UNFILLED(TBrowserProtocol, GetRoot);
    return nullptr;
}
void TBrowserProtocol::IndentSelection(Boolean)
{
    UNFILLED(TBrowserProtocol, IndentSelection);
}

// ---- TScreenProtocol ----
void TScreenProtocol::SetSheetFile(const FSRef&)
{
    UNFILLED(TScreenProtocol, SetSheetFile);
}
Boolean TScreenProtocol::IsPrinting()
{
    UNFILLED(TScreenProtocol, IsPrinting);
    return false;
}
void TScreenProtocol::CloseSheet()
{
    UNFILLED(TScreenProtocol, CloseSheet);
}
TSpriteLayer* TScreenProtocol::GetMainLayer()
{
    UNFILLED(TScreenProtocol, GetMainLayer);
    return nullptr;
}
Boolean TScreenProtocol::DoesCalendarCardExists(CalCalendar*)
{
    UNFILLED(TScreenProtocol, DoesCalendarCardExists);
    return false;
}
void TScreenProtocol::ProcessCommand(const HICommandExtended&, EventRef, OSStatus&)
{
    UNFILLED(TScreenProtocol, ProcessCommand);
}

// ---- TBrindletApplicationProtocol ----
void TBrindletApplicationProtocol::UpdatePreferenceVersion()
{
    UNFILLED(TBrindletApplicationProtocol, UpdatePreferenceVersion);
}
void TBrindletApplicationProtocol::ProtectRequiredFonts()
{
    UNFILLED(TBrindletApplicationProtocol, ProtectRequiredFonts);
}
void TBrindletApplicationProtocol::CreateDefaultSheets()
{
    UNFILLED(TBrindletApplicationProtocol, CreateDefaultSheets);
}

namespace {
TScreenProtocol* sharedScreen = nullptr;
}

void TScreenProtocol::SetSharedScreen(TScreenProtocol* screen)
{
    sharedScreen = screen;
}

TScreenProtocol* TScreenProtocol::SharedScreen()
{
    return sharedScreen;
}

// ---- services of the parts built later ----

namespace CardServices {

namespace {
ListColorProc listColorProc = nullptr;
LabelBackgroundProc labelBackgroundProc = nullptr;
PickerColorProc pickerColorProc = nullptr;
TitleEditingProc titleEditingProc = nullptr;
}  // namespace

void SetListColorProc(ListColorProc proc)
{
    listColorProc = proc;
}

NSColor* GetListColor()
{
    return listColorProc != nullptr ? listColorProc() : NSColor::blackColor();
}

void SetLabelBackgroundProc(LabelBackgroundProc proc)
{
    labelBackgroundProc = proc;
}

void DrawLabelBackground(CGContextRef context, CGRect rect)
{
    if (labelBackgroundProc != nullptr)
        labelBackgroundProc(context, rect);
}

void SetPickerColorProc(PickerColorProc proc)
{
    pickerColorProc = proc;
}

bool GetPickerColor(ATSURGBAlphaColor& color)
{
    return pickerColorProc != nullptr && pickerColorProc(color);
}

void SetTitleEditingProc(TitleEditingProc proc)
{
    titleEditingProc = proc;
}

bool StartTitleEditing(TCardProtocol* card, CGRect frame, CFStringRef title)
{
    return titleEditingProc != nullptr && titleEditingProc(card, frame, title);
}

namespace {
AlertTextProc alertTextProc = nullptr;
CloseContextualPaneProc closeContextualPaneProc = nullptr;
TaskPaneProc taskPaneProc = nullptr;
}  // namespace

void SetAlertTextProc(AlertTextProc proc)
{
    alertTextProc = proc;
}

void ShowAlertText(CFStringRef text)
{
    if (alertTextProc != nullptr)
        alertTextProc(text);
}

void SetCloseContextualPaneProc(CloseContextualPaneProc proc)
{
    closeContextualPaneProc = proc;
}

void CloseActiveContextualPane()
{
    if (closeContextualPaneProc != nullptr)
        closeContextualPaneProc();
}

void SetTaskPaneProc(TaskPaneProc proc)
{
    taskPaneProc = proc;
}

void OpenTaskPane(TTaskProtocol* task, const char* controllerClass, const char* nibName)
{
    if (taskPaneProc != nullptr)
        taskPaneProc(task, controllerClass, nibName);
}

}  // namespace CardServices
