#include "TDataBrowserUnit.h"

#include <ApplicationFramework/Classes/TApplicationUnit.h>
#include <ApplicationFramework/Classes/TDragUnit.h>
#include <Units/Utilities/CGContextMore.h>
#include <Units/Utilities/CarbonUtilities.h>

#include <CarbonCore/DriverServices.h>
#include <HIToolbox/ControlKinds.h>
#include <HIToolbox/Menus.h>
#include <Support/Diagnostics.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

BRINDLET_DEFINE_CLASS(TDataBrowser, TControl)
BRINDLET_DEFINE_CLASS(TEditTextWindow, TContextualWindow)

namespace {

// The options of the browser being created, handed to its Initialize.
TDataBrowserOptions gPendingOptions = 0;

// The ticks a slow second click waits before the edit window opens, and a
// drag rests over a container before it opens.
constexpr UInt32 kEditDelayTicks = 45;
constexpr UInt32 kHoverDelayTicks = 30;
// The left part of a cell that never starts an edit (the icon).
constexpr CGFloat kEditIconInset = 18;
constexpr UInt32 kMaximumRows = 32767;

TDataBrowser* LiveBrowser(ControlRef control)
{
    TDataBrowser* browser = DataBrowserObject(control);
    return browser != nullptr && TObject::IsLiveObject(browser) ? browser : nullptr;
}

std::vector<DataBrowserItemID> SelectedItems(ControlRef control, bool deep,
                                             std::vector<DataBrowserItemState>* states = nullptr)
{
    struct Visit {
        std::vector<DataBrowserItemID> items;
        std::vector<DataBrowserItemState>* states;
    } visit{{}, states};
    if (control == nullptr)
        return {};
    Err = ForEachDataBrowserItem(
        control, kDataBrowserNoItem, deep, kDataBrowserItemIsSelected,
        [](DataBrowserItemID item, DataBrowserItemState state, void* data) {
            Visit* v = static_cast<Visit*>(data);
            v->items.push_back(item);
            if (v->states != nullptr)
                v->states->push_back(state);
        },
        &visit);
    return visit.items;
}

Point ToQDPoint(CGPoint point)
{
    return Point{static_cast<SInt16>(std::trunc(point.y)), static_cast<SInt16>(std::trunc(point.x))};
}

bool ContainsPoint(const Rect& r, CGPoint point)
{
    return point.x >= r.left && point.x < r.right && point.y >= r.top && point.y < r.bottom;
}

void FillWithBrush(CGContextRef context, ThemeBrush brush, CGRect rect)
{
    HIThemeSetFill(brush, nullptr, context, kHIThemeOrientationNormal);
    CGContextFillRect(context, rect);
}

// Keeps the options for the Initialize of the browser being made.
class PendingOptions {
public:
    explicit PendingOptions(TDataBrowserOptions options) : saved_(gPendingOptions) { gPendingOptions = options; }
    ~PendingOptions() { gPendingOptions = saved_; }
    PendingOptions(const PendingOptions&) = delete;
    PendingOptions& operator=(const PendingOptions&) = delete;

private:
    TDataBrowserOptions saved_;
};

}  // namespace

// The control's callbacks: each finds the browser object through the
// control's property and hands the call to its hook.
class TDataBrowserCallbacks {
public:
    static OSStatus ItemData(ControlRef control, DataBrowserItemID item, DataBrowserPropertyID property,
                             DataBrowserItemDataRef itemData, Boolean setValue)
    {
        TDataBrowser* browser = LiveBrowser(control);
        if (browser == nullptr || !browser->TestDataSource())
            return errDataBrowserPropertyNotSupported;
        return browser->HandleItemData(item, property, itemData, setValue);
    }

    static void ItemNotification(ControlRef control, DataBrowserItemID item, DataBrowserItemNotification message)
    {
        TDataBrowser* browser = LiveBrowser(control);
        if (browser == nullptr)
            return;
        browser->Retain();
        if (browser->TestDataSource())
            browser->HandleItemNotification(item, message);
        React(browser, item, message);
        browser->Release();
    }

    static Boolean ItemCompare(ControlRef control, DataBrowserItemID first, DataBrowserItemID second,
                               DataBrowserPropertyID property)
    {
        TDataBrowser* browser = LiveBrowser(control);
        return browser != nullptr && browser->HandleItemCompare(first, second, property);
    }

    static Boolean AddDragItem(ControlRef control, DragReference drag, DataBrowserItemID item, ItemReference* itemRef)
    {
        TDataBrowser* browser = LiveBrowser(control);
        return browser != nullptr && browser->HandleAddDragItem(drag, item, itemRef);
    }

    static Boolean AcceptDrag(ControlRef control, DragReference drag, DataBrowserItemID item)
    {
        TDataBrowser* browser = LiveBrowser(control);
        if (browser == nullptr)
            return false;
        const bool accepted = browser->HandleAcceptDrag(drag, item);
        if (accepted) {
            browser->dragHoverTick_ = TickCount();
            if (item != 0)
                browser->dragHoverItem_ = item;
        } else {
            browser->dragHoverTick_ = 0;
        }
        return accepted;
    }

    static Boolean ReceiveDrag(ControlRef control, DragReference drag, DataBrowserItemID item)
    {
        TDataBrowser* browser = LiveBrowser(control);
        if (browser == nullptr)
            return false;
        browser->Retain();
        const bool received = browser->HandleReceiveDrag(drag, item);
        browser->dragHoverTick_ = 0;
        browser->Release();
        return received;
    }

    static void PostProcessDrag(ControlRef control, DragReference drag, OSStatus result)
    {
        TDataBrowser* browser = LiveBrowser(control);
        if (browser == nullptr)
            return;
        browser->HandlePostProcessDrag(drag, result);
        browser->dragHoverTick_ = 0;
    }

    static void GetContextualMenu(ControlRef control, MenuRef* menu, UInt32* helpType, CFStringRef* helpItemString,
                                  AEDesc* selection)
    {
        if (TDataBrowser* browser = LiveBrowser(control))
            browser->HandleGetContextualMenu(menu, helpType, helpItemString, selection);
    }

    static void SelectContextualMenu(ControlRef control, MenuRef menu, UInt32 selectionType, MenuID menuID,
                                     MenuItemIndex menuItem)
    {
        if (TDataBrowser* browser = LiveBrowser(control))
            browser->HandleSelectContextualMenu(menu, selectionType, menuID, menuItem);
    }

    static DataBrowserTrackingResult Tracking(ControlRef control, DataBrowserItemID item,
                                              DataBrowserPropertyID property, const Rect* rect, Point startPoint,
                                              EventModifiers modifiers)
    {
        TDataBrowser* browser = LiveBrowser(control);
        if (browser == nullptr || rect == nullptr)
            return kDataBrowserNothingHit;
        return browser->HandleTracking(item, property, *rect, startPoint, modifiers);
    }

    static Boolean HitTest(ControlRef control, DataBrowserItemID item, DataBrowserPropertyID property, const Rect* rect,
                           const Rect* mouseRect)
    {
        TDataBrowser* browser = LiveBrowser(control);
        if (browser == nullptr || rect == nullptr || mouseRect == nullptr)
            return false;
        return browser->HandleHitTest(item, property, *rect, *mouseRect);
    }

    static Boolean EditText(ControlRef control, DataBrowserItemID item, DataBrowserPropertyID property,
                            CFStringRef text, Rect* maxEditTextRect, Boolean* shrinkToFit)
    {
        TDataBrowser* browser = LiveBrowser(control);
        return browser != nullptr && browser->HandleEditText(item, property, text, maxEditTextRect, shrinkToFit);
    }

    static void Timer(EventLoopTimerRef, void* data)
    {
        TDataBrowser* browser = static_cast<TDataBrowser*>(data);
        if (!TObject::IsLiveObject(browser))
            return;
        browser->Retain();
        browser->TimerFired();
        browser->Release();
    }

    // The browser's own reaction to an item notification, after the hook.
    static void React(TDataBrowser* browser, DataBrowserItemID item, DataBrowserItemNotification message)
    {
        switch (message) {
        case kDataBrowserItemAdded:
            if (browser->HasOption(kDataBrowserOptionAutomaticHeight))
                browser->AdjustViewHeight(1);
            browser->HandleItemsChanged();
            break;
        case kDataBrowserItemRemoved:
            if (browser->HasOption(kDataBrowserOptionAutomaticHeight))
                browser->ChangeViewHeight(true);
            browser->HandleItemsChanged();
            break;
        case kDataBrowserEditStarted:
            browser->editing_ = true;
            break;
        case kDataBrowserEditStopped:
            browser->editing_ = false;
            break;
        case kDataBrowserItemSelected:
        case kDataBrowserItemDeselected:
            if (browser->selectionBatch_ > 0) {
                browser->selectionChangedInBatch_ = true;
            } else {
                TTypeArray* selection = browser->CopySelection();
                browser->HandleSelectionChanged(selection);
                if (selection != nullptr)
                    selection->Release();
            }
            break;
        case kDataBrowserItemDoubleClicked:
            Err = SetDataBrowserEditItem(browser->GetControlRef(), item, browser->editColumn_);
            break;
        case kDataBrowserContainerOpened:
            browser->HandleContainerOpened(item);
            break;
        case kDataBrowserContainerClosed:
            browser->HandleContainerClosed(item);
            break;
        case kDataBrowserUserToggledContainer:
            browser->SetModified();
            break;
        default:
            break;
        }
    }
};

TDataBrowser* DataBrowserObject(ControlRef control)
{
    TDataBrowser* browser = nullptr;
    ByteCount size = 0;
    Err = GetControlProperty(control, kDataBrowserPropertyCreator, kDataBrowserPropertyTagObject, sizeof browser, &size,
                             &browser);
    if (Err != noErr || size != sizeof browser)
        return nullptr;
    return browser;
}

DataBrowserItemID DataBrowserSelectionItem(const TTypeArray* selection, SInt32 index)
{
    if (selection == nullptr || index < 0 || index >= selection->Count())
        return 0;
    return static_cast<DataBrowserItemID>(selection->GetIntegerValue(index));
}

// ---- creation ----

TDataBrowser* TDataBrowser::Create(ControlRef control, TView* owner, TDataBrowserOptions options)
{
    return CreateWithClass(StaticClass(), control, owner, options);
}

TDataBrowser* TDataBrowser::CreateWithClass(const ClassInfo& browserClass, ControlRef control, TView* owner,
                                            TDataBrowserOptions options)
{
    if (!browserClass.InheritsFrom(StaticClass()))
        return nullptr;
    PendingOptions pending(options);
    return static_cast<TDataBrowser*>(TControl::CreateWithClass(&browserClass, control, owner));
}

void TDataBrowser::Initialize()
{
    options_ = gPendingOptions;
    gPendingOptions = 0;
    Inherited::Initialize();
    ControlRef control = GetControlRef();
    if (control == nullptr)
        return;
    if (WindowRef window = GetWindow())
        SetAutomaticControlDragTrackingEnabledForWindow(window, true);
    UpdateOptions();

    DataBrowserCallbacks callbacks;
    InitDataBrowserCallbacks(&callbacks);
    callbacks.u.v1.itemDataCallback = TDataBrowserCallbacks::ItemData;
    if (HasOption(kDataBrowserOptionSortable))
        callbacks.u.v1.itemCompareCallback = TDataBrowserCallbacks::ItemCompare;
    callbacks.u.v1.itemNotificationCallback = TDataBrowserCallbacks::ItemNotification;
    callbacks.u.v1.addDragItemCallback = TDataBrowserCallbacks::AddDragItem;
    callbacks.u.v1.acceptDragCallback = TDataBrowserCallbacks::AcceptDrag;
    callbacks.u.v1.receiveDragCallback = TDataBrowserCallbacks::ReceiveDrag;
    callbacks.u.v1.postProcessDragCallback = TDataBrowserCallbacks::PostProcessDrag;
    callbacks.u.v1.getContextualMenuCallback = TDataBrowserCallbacks::GetContextualMenu;
    callbacks.u.v1.selectContextualMenuCallback = TDataBrowserCallbacks::SelectContextualMenu;
    Err = SetDataBrowserCallbacks(control, &callbacks);

    DataBrowserCustomCallbacks custom;
    InitDataBrowserCustomCallbacks(&custom);
    custom.u.v1.trackingCallback = TDataBrowserCallbacks::Tracking;
    custom.u.v1.hitTestCallback = TDataBrowserCallbacks::HitTest;
    custom.u.v1.editTextCallback = TDataBrowserCallbacks::EditText;
    Err = SetDataBrowserCustomCallbacks(control, &custom);

    editColumn_ = kDataBrowserDefaultEditColumn;
    rowHeight_ = 18;
    backgroundColor_ = kDataBrowserBackgroundColor;
    InstallEventLoopTimer(GetMainEventLoop(), 0, 0.1, TDataBrowserCallbacks::Timer, this, &timer_);
    static const EventTypeSpec kBrowserEvents[] = {
        {kEventClassCommand, kEventCommandProcess},
        {kEventClassHIDataBrowser, kEventDataBrowserDrawCustomItem},
    };
    InstallEventHandler(GetControlEventTarget(control), DataBrowserEventHandler, std::size(kBrowserEvents),
                        kBrowserEvents, this, &browserHandler_);
    TDataBrowser* self = this;
    SetControlProperty(control, kDataBrowserPropertyCreator, kDataBrowserPropertyTagObject, sizeof self, &self);
}

void TDataBrowser::Deallocate()
{
    ControlRef control = GetControlRef();
    if (control != nullptr && IsValidControlHandle(control)) {
        DataBrowserCallbacks callbacks;
        InitDataBrowserCallbacks(&callbacks);
        SetDataBrowserCallbacks(control, &callbacks);
        DataBrowserCustomCallbacks custom;
        InitDataBrowserCustomCallbacks(&custom);
        SetDataBrowserCustomCallbacks(control, &custom);
        if (DataBrowserObject(control) == this)
            RemoveControlProperty(control, kDataBrowserPropertyCreator, kDataBrowserPropertyTagObject);
    }
    if (timer_ != nullptr)
        RemoveEventLoopTimer(timer_);
    timer_ = nullptr;
    if (browserHandler_ != nullptr)
        RemoveEventHandler(browserHandler_);
    browserHandler_ = nullptr;
    Inherited::Deallocate();
}

void TDataBrowser::UpdateOptions()
{
    ControlRef control = GetControlRef();
    if (control == nullptr)
        return;
    if (HasOption(kDataBrowserOptionColumnView))
        Err = SetDataBrowserViewStyle(control, kDataBrowserColumnView);
    if (HasOption(kDataBrowserOptionAlternatingRows))
        Err = DataBrowserChangeAttributes(control, kDataBrowserAttributeListViewAlternatingRowColors, 0);
    Err = SetDataBrowserListViewUsePlainBackground(control, !HasOption(kDataBrowserOptionTintedBackground));
}

// ---- the timer ----

void TDataBrowser::TimerFired()
{
    EventLoopTimer();
    if (pendingEditTick_ > 0)
        TrackEditText(pendingEditItem_, false);
    if (dragHoverTick_ > 0 && TickCount() > dragHoverTick_ + kHoverDelayTicks) {
        const DataBrowserItemID item = dragHoverItem_;
        dragHoverTick_ = 0;
        HandleTrackHover(item);
    }
}

void TDataBrowser::BeginSelectionBatch()
{
    if (selectionBatch_++ == 0)
        selectionChangedInBatch_ = false;
}

void TDataBrowser::EndSelectionBatch()
{
    if (selectionBatch_ <= 0 || --selectionBatch_ > 0 || !selectionChangedInBatch_)
        return;
    selectionChangedInBatch_ = false;
    TTypeArray* selection = CopySelection();
    HandleSelectionChanged(selection);
    if (selection != nullptr)
        selection->Release();
}

// ---- the browser's events ----

OSStatus DataBrowserEventHandler(EventHandlerCallRef, EventRef event, void* data)
{
    TDataBrowser* browser = static_cast<TDataBrowser*>(data);
    OSStatus result = eventNotHandledErr;
    if (!TObject::IsLiveObject(browser))
        return result;
    browser->Retain();
    const UInt32 eventClass = GetEventClass(event);
    const UInt32 kind = GetEventKind(event);
    if (eventClass == kEventClassCommand && kind == kEventCommandProcess) {
        HICommand command{};
        if (GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr,
                              &command) == noErr) {
            if (command.commandID == kDataBrowserCommandFocus)
                result = browser->HandleFocusEvent(event);
            else if (command.commandID == kDataBrowserCommandRemoveItems)
                browser->ClearSelection(true);
        }
    } else if (eventClass == kEventClassHIDataBrowser && kind == kEventDataBrowserDrawCustomItem) {
        DataBrowserItemID item = 0;
        DataBrowserPropertyID property = 0;
        DataBrowserItemState state = 0;
        Rect bounds{};
        CGContextRef context = nullptr;
        GetEventParameter(event, kEventParamDataBrowserItemID, typeUInt32, nullptr, sizeof item, nullptr, &item);
        GetEventParameter(event, kEventParamDataBrowserPropertyID, typeUInt32, nullptr, sizeof property, nullptr,
                          &property);
        GetEventParameter(event, kEventParamDataBrowserItemState, typeUInt32, nullptr, sizeof state, nullptr, &state);
        GetEventParameter(event, kEventParamBounds, typeQDRectangle, nullptr, sizeof bounds, nullptr, &bounds);
        GetEventParameter(event, kEventParamCGContextRef, typeCGContextRef, nullptr, sizeof context, nullptr, &context);
        if (context != nullptr) {
            const CGRect r = QDRectToCG(bounds);
            // The cell maps onto itself, y upwards, as the cell routines draw.
            CGContextSaveGState(context);
            CGContextTranslateCTM(context, 0, 2 * r.origin.y + r.size.height);
            CGContextScaleCTM(context, 1, -1);
            browser->HandleDrawItem(item, property, state, context, r);
            CGContextRestoreGState(context);
        }
    }
    browser->Release();
    return result;
}

// ---- selection and items ----

void TDataBrowser::ClearSelection(bool deep)
{
    std::vector<DataBrowserItemState> states;
    const std::vector<DataBrowserItemID> items = SelectedItems(GetControlRef(), deep, &states);
    if (items.empty())
        return;
    Retain();
    BeginSelectionBatch();
    for (size_t i = 0; i < items.size(); ++i)
        HandleRemoveItem(items[i], states[i]);
    EndSelectionBatch();
    Release();
}

void TDataBrowser::SelectRow(UInt32 row)
{
    const DataBrowserItemID item = GetRowItem(row);
    if (item != 0)
        SetSingleSelection(item);
}

UInt32 TDataBrowser::SelectedRow()
{
    DataBrowserItemID first = 0, last = 0;
    Err = GetDataBrowserSelectionAnchor(GetControlRef(), &first, &last);
    if (Err != noErr || first == 0)
        return 0;
    const SInt32 row = GetItemRow(first);
    return row < 0 ? 0 : static_cast<UInt32>(row);
}

TTypeArray* TDataBrowser::CopySelection()
{
    const std::vector<DataBrowserItemID> items = SelectedItems(GetControlRef(), true);
    if (items.empty())
        return nullptr;
    TTypeArray* selection = TTypeArray::Create();
    for (DataBrowserItemID item : items)
        selection->AppendIntegerValue(static_cast<SInt32>(item));
    return selection;
}

DataBrowserItemID TDataBrowser::GetSingleSelection()
{
    DataBrowserItemID first = 0;
    ForEachDataBrowserItem(
        GetControlRef(), kDataBrowserNoItem, true, kDataBrowserItemIsSelected,
        [](DataBrowserItemID item, DataBrowserItemState, void* data) {
            DataBrowserItemID* out = static_cast<DataBrowserItemID*>(data);
            if (*out == 0)
                *out = item;
        },
        &first);
    return first;
}

void TDataBrowser::SetSingleSelection(DataBrowserItemID item)
{
    Err = SetDataBrowserSelectedItems(GetControlRef(), 1, &item, kDataBrowserItemsAssign);
    RevealItem(item);
}

void TDataBrowser::AppendSelection(DataBrowserItemID item)
{
    Err = SetDataBrowserSelectedItems(GetControlRef(), 1, &item, kDataBrowserItemsAdd);
}

void TDataBrowser::SelectAll()
{
    BeginSelectionBatch();
    Err = SetDataBrowserSelectedItems(GetControlRef(), 0, nullptr, kDataBrowserItemsAssign);
    EndSelectionBatch();
}

UInt32 TDataBrowser::CountItems(DataBrowserItemID container)
{
    ItemCount count = 0;
    Err = GetDataBrowserItemCount(GetControlRef(), container, false, kDataBrowserItemAnyState, &count);
    return Err == noErr ? static_cast<UInt32>(count) : 0;
}

UInt32 TDataBrowser::CountItems()
{
    ItemCount count = 0;
    Err = GetDataBrowserItemCount(GetControlRef(), kDataBrowserNoItem, true, kDataBrowserItemAnyState, &count);
    return Err == noErr ? static_cast<UInt32>(count) : 0;
}

UInt32 TDataBrowser::CountSelection()
{
    ItemCount count = 0;
    Err = GetDataBrowserItemCount(GetControlRef(), kDataBrowserNoItem, true, kDataBrowserItemIsSelected, &count);
    return Err == noErr ? static_cast<UInt32>(count) : 0;
}

void TDataBrowser::UpdateItems()
{
    if (GetControlRef() != nullptr)
        Err = HIViewSetNeedsDisplay(GetControlRef(), true);
}

void TDataBrowser::UpdateItem(DataBrowserItemID item, DataBrowserItemID container)
{
    Err = UpdateDataBrowserItems(GetControlRef(), container, 1, &item, kDataBrowserItemNoProperty,
                                 kDataBrowserItemNoProperty);
}

void TDataBrowser::AdjustViewHeight(SInt32 extraRows)
{
    ControlRef control = GetControlRef();
    if (control == nullptr)
        return;
    CGRect frame = GetFrame();
    const UInt32 oldHeight = static_cast<UInt32>(std::max<CGFloat>(0, std::trunc(frame.size.height)));
    const SInt64 rows = std::max<SInt64>(0, SInt64(CountItems()) + extraRows);
    const UInt32 newHeight = static_cast<UInt32>(rows * GetRowHeight());
    frame.size.height = newHeight;
    Err = HIViewSetFrame(control, &frame);
    viewHeight_ = newHeight;
    HandleHeightChanged(oldHeight, newHeight);
}

void TDataBrowser::ChangeViewHeight(bool shrink)
{
    const UInt32 oldHeight = viewHeight_;
    const UInt32 row = GetRowHeight();
    viewHeight_ = shrink ? (oldHeight > row ? oldHeight - row : 0) : oldHeight + row;
    HandleHeightChanged(oldHeight, viewHeight_);
}

void TDataBrowser::RevealItem(DataBrowserItemID item)
{
    Err = RevealDataBrowserItem(GetControlRef(), item, kDataBrowserItemNoProperty, kDataBrowserRevealOnly);
}

void TDataBrowser::OpenContainer(DataBrowserItemID item)
{
    Err = OpenDataBrowserContainer(GetControlRef(), item);
}

void TDataBrowser::CloseContainer(DataBrowserItemID item)
{
    Err = CloseDataBrowserContainer(GetControlRef(), item);
}

DataBrowserItemID TDataBrowser::GetRowItem(UInt32 row)
{
    DataBrowserItemID item = 0;
    Err = GetDataBrowserTableViewItemID(GetControlRef(), row, &item);
    return Err == noErr ? item : 0;
}

SInt32 TDataBrowser::GetItemRow(DataBrowserItemID item)
{
    DataBrowserTableViewRowIndex row = 0;
    Err = GetDataBrowserTableViewItemRow(GetControlRef(), item, &row);
    return Err == noErr ? static_cast<SInt32>(row) : -1;
}

UInt16 TDataBrowser::GetRowHeight()
{
    Boolean variableWidth = false, variableHeight = false;
    GetDataBrowserTableViewGeometry(GetControlRef(), &variableWidth, &variableHeight);
    if (variableHeight)
        return rowHeight_;
    UInt16 height = rowHeight_;
    Err = GetDataBrowserTableViewRowHeight(GetControlRef(), &height);
    return height;
}

CGRect TDataBrowser::GetItemBounds(DataBrowserItemID item, DataBrowserPropertyID property)
{
    ControlRef control = GetControlRef();
    if (property == kDataBrowserItemNoProperty)
        GetDataBrowserTableViewColumnProperty(control, 0, &property);
    Rect bounds{};
    Err = GetDataBrowserItemPartBounds(control, item, property, kDataBrowserPropertyContentPart, &bounds);
    return Err == noErr ? QDRectToCG(bounds) : CGRectZero;
}

CGRect TDataBrowser::GetEditTextBounds(DataBrowserItemID item, DataBrowserPropertyID property)
{
    return GetItemBounds(item, property);
}

void TDataBrowser::ResetScrolling()
{
    SetScrollPosition(CGPointZero);
}

CGPoint TDataBrowser::GetScrollPosition()
{
    UInt32 top = 0, left = 0;
    Err = GetDataBrowserScrollPosition(GetControlRef(), &top, &left);
    return CGPointMake(left, top);
}

void TDataBrowser::SetScrollPosition(CGPoint point)
{
    const UInt32 top = static_cast<UInt32>(std::max<CGFloat>(0, std::trunc(point.y)));
    const UInt32 left = static_cast<UInt32>(std::max<CGFloat>(0, std::trunc(point.x)));
    Err = SetDataBrowserScrollPosition(GetControlRef(), top, left);
}

void TDataBrowser::AddItem(DataBrowserItemID item, DataBrowserItemID container, DataBrowserPropertyID sortProperty)
{
    Err = AddDataBrowserItems(GetControlRef(), container, 1, &item, sortProperty);
}

void TDataBrowser::RemoveAll()
{
    Err = RemoveDataBrowserItems(GetControlRef(), kDataBrowserNoItem, 0, nullptr, kDataBrowserItemNoProperty);
}

void TDataBrowser::ClearContainer(DataBrowserItemID container)
{
    Err = RemoveDataBrowserItems(GetControlRef(), container, 0, nullptr, kDataBrowserItemNoProperty);
}

void TDataBrowser::RemoveSelection()
{
    dragHoverTick_ = 0;
    const std::vector<DataBrowserItemID> items = SelectedItems(GetControlRef(), true);
    if (items.empty())
        return;
    BeginSelectionBatch();
    Err = SetDataBrowserSelectedItems(GetControlRef(), items.size(), items.data(), kDataBrowserItemsRemove);
    EndSelectionBatch();
}

void TDataBrowser::RemoveItem(DataBrowserItemID item, DataBrowserItemID container)
{
    Err = RemoveDataBrowserItems(GetControlRef(), container, 1, &item, kDataBrowserItemNoProperty);
}

// ---- settings ----

void TDataBrowser::SetModified()
{
    ++modificationCount_;
}

void TDataBrowser::SetDataFile(const FSRef& ref, SInt16 value)
{
    dataFile_ = ref;
    dataFileValue_ = value;
}

void TDataBrowser::SetDisclosureColumn(DataBrowserPropertyID property)
{
    Err = SetDataBrowserListViewDisclosureColumn(GetControlRef(), property, true);
}

void TDataBrowser::SetDragColumn(DataBrowserPropertyID property)
{
    dragColumn_ = property;
}

void TDataBrowser::SetEditColumn(DataBrowserPropertyID property)
{
    editColumn_ = property;
}

void TDataBrowser::SetOptions(TDataBrowserOptions options)
{
    options_ = options;
    UpdateOptions();
}

void TDataBrowser::SetRowHeight(UInt16 height)
{
    rowHeight_ = height;
    Err = SetDataBrowserTableViewRowHeight(GetControlRef(), height);
}

void TDataBrowser::SetSelectionImage(CGImageRef image)
{
    selectionImage_ = image;
}

void TDataBrowser::SetMetric(DataBrowserMetric metric, SInt16 value)
{
    Err = SetDataBrowserMetric(GetControlRef(), metric, false, value);
}

void TDataBrowser::SetBackgroundColor(const ATSURGBAlphaColor& color)
{
    backgroundColor_ = color;
    UpdateItems();
}

void TDataBrowser::SetDataSourceMissing(bool missing)
{
    dataSourceMissing_ = missing;
}

void TDataBrowser::SetVariableRowHeight(bool variable)
{
    Boolean variableWidth = false, variableHeight = false;
    GetDataBrowserTableViewGeometry(GetControlRef(), &variableWidth, &variableHeight);
    Err = SetDataBrowserTableViewGeometry(GetControlRef(), variableWidth, variable);
}

void TDataBrowser::Reload() {}

void TDataBrowser::SetDrawCell(DataBrowserPropertyID property, DataBrowserItemState state, CGRect rect,
                               CGContextRef context)
{
    drawProperty_ = property;
    drawState_ = state;
    drawRect_ = rect;
    drawContext_ = context;
}

// ---- cell layout ----

UInt16 TDataBrowser::GetIconSize()
{
    const UInt16 height = GetRowHeight();
    if (height < 16)
        return 12;
    if (height < 24)
        return 16;
    if (height < 32)
        return 24;
    if (height < 64)
        return 32;
    if (height < 92)
        return 64;
    if (height < 128)
        return 92;
    return 128;
}

CGRect TDataBrowser::GetIconBounds(CGRect cell)
{
    const UInt16 size = GetIconSize();
    const CGFloat down = size == 16 ? 1 : size == 32 ? 2 : 0;
    return CGRectMake(cell.origin.x, cell.origin.y + down, size, size);
}

HIThemeTextInfo TDataBrowser::GetTextTheme()
{
    HIThemeTextInfo info{};
    info.version = 0;
    info.state = kThemeStateActive;
    info.horizontalFlushness = kHIThemeTextHorizontalFlushCenter;
    info.verticalFlushness = kHIThemeTextVerticalFlushCenter;
    info.options = 0;
    info.truncationPosition = kHIThemeTextTruncationEnd;
    info.truncationMaxLines = 1;
    const UInt16 height = GetRowHeight();
    info.fontID = height <= 13 ? kThemeLabelFont : height <= 23 ? kThemeSmallSystemFont : kThemeSystemFont;
    return info;
}

CGFloat TDataBrowser::GetTextOffset()
{
    CGFloat gap = 0;
    GetDataBrowserMetric(GetControlRef(), kDataBrowserMetricIconAndTextGap, nullptr, &gap);
    DataBrowserTableViewHiliteStyle style = kDataBrowserTableViewFillHilite;
    GetDataBrowserTableViewHiliteStyle(GetControlRef(), &style);
    if (style == kDataBrowserTableViewMinimalHilite)
        gap += 3;
    return gap + GetIconSize();
}

CGRect TDataBrowser::GetTextBoundsWithInfo(const HIThemeTextInfo& info, CFStringRef text, CGRect cell)
{
    HIThemeTextInfo measure = info;
    CGFloat width = 0, height = 0;
    if (text != nullptr)
        HIThemeGetTextDimensions(text, 0, &measure, &width, &height, nullptr);
    const CGFloat offset = GetTextOffset();
    width = std::min(width, GetBounds().size.width - cell.origin.x - (offset + 18));
    CGRect bounds =
        CGRectInset(CGRectMake(cell.origin.x + offset, cell.origin.y, std::max<CGFloat>(0, width), height), -3, -3);
    bounds.origin.y = cell.origin.y + cell.size.height / 2 - height / 2;
    bounds.size.height = height;
    bounds.size.width = std::min(bounds.size.width, cell.size.width);
    return bounds;
}

CGRect TDataBrowser::GetTextBounds(CFStringRef text, CGRect cell)
{
    return GetTextBoundsWithInfo(GetTextTheme(), text, cell);
}

bool TDataBrowser::IconTextHitTest(CFStringRef text, CGRect cell, CGRect mouse)
{
    return CGRectIntersectsRect(mouse, GetTextBounds(text, cell)) || CGRectIntersectsRect(mouse, GetIconBounds(cell));
}

// ---- drawing ----

void TDataBrowser::DrawControl(CGContextRef context, CGRect rect, OSStatus& result)
{
    CallNextHandler();
    ControlRef control = GetControlRef();
    Boolean plain = true;
    GetDataBrowserListViewUsePlainBackground(control, &plain);
    if (!plain) {
        Boolean frame = false;
        GetControlData(control, 0, kControlDataBrowserIncludesFrameAndFocusTag, sizeof frame, &frame, nullptr);
        const CGFloat inset = frame ? 3 : 0;
        const UInt32 count = CountItems();
        if (count == 0) {
            DrawBackground(rect, context);
        } else {
            // The first row without an item, then the last row that has one.
            UInt32 row = count;
            DataBrowserItemID item = 0;
            while (row < kMaximumRows && GetDataBrowserTableViewItemID(control, row, &item) == noErr)
                ++row;
            DataBrowserItemID last = 0;
            DataBrowserPropertyID first = 0;
            GetDataBrowserTableViewColumnProperty(control, 0, &first);
            Rect part{};
            if (row > 0 && GetDataBrowserTableViewItemID(control, row - 1, &last) == noErr &&
                GetDataBrowserItemPartBounds(control, last, first, kDataBrowserPropertyContentPart, &part) == noErr &&
                rect.size.height >= part.top && part.bottom > 0) {
                DrawBackground(
                    CGRectMake(inset, part.bottom + 1, rect.size.width, rect.size.height - part.bottom - inset),
                    context);
            }
        }
    }
    CGContextSetRGBFillColor(context, 0, 0, 1, 0.2);
    if (dragHiliteShown_)
        DrawDragHilite(context);
    result = noErr;
}

void TDataBrowser::DrawBackground(CGRect rect, CGContextRef context)
{
    if (IsActive() && IsEnabled()) {
        CGContextSetRGBFillColor(context, backgroundColor_);
        CGContextFillRect(context, rect);
    } else {
        FillWithBrush(context, kThemeBrushDialogBackgroundInactive, rect);
    }
}

void TDataBrowser::DrawCell(DataBrowserPropertyID property, DataBrowserItemID item, CGRect rect, CGContextRef context)
{
    Rect enclosing{};
    if (GetDataBrowserItemPartBounds(GetControlRef(), item, property, kDataBrowserPropertyEnclosingPart, &enclosing) ==
        noErr)
        rect.origin.x = enclosing.left;
    const SInt32 row = GetItemRow(item);
    if (row >= 0 && (row % 2) == 1 && HasOption(kDataBrowserOptionAlternatingRows)) {
        FillWithBrush(context, kThemeBrushAlternatingRowBackground, rect);
        return;
    }
    const CGRect grown = CGRectInset(rect, 0, -1);
    CGContextSetRGBFillColor(context, 1, 1, 1, 1);
    CGContextFillRect(context, grown);
    Boolean plain = true;
    GetDataBrowserListViewUsePlainBackground(GetControlRef(), &plain);
    if (!plain) {
        if (IsActive() && IsEnabled()) {
            CGContextSetRGBFillColor(context, backgroundColor_);
            CGContextFillRect(context, grown);
        } else {
            FillWithBrush(context, kThemeBrushDialogBackgroundInactive, grown);
        }
    } else {
        CGContextFillRect(context, grown);
    }
}

void TDataBrowser::DrawSelection(DataBrowserItemState state, DataBrowserPropertyID, DataBrowserItemID, CGRect rect,
                                 CGContextRef context)
{
    if (state != kDataBrowserItemIsSelected)
        return;
    rect.origin.x = 0;
    const bool live = IsActive() && IsEnabled();
    if (selectionImage_ != nullptr) {
        const CGFloat width = CGImageGetWidth(selectionImage_);
        if (width <= 0)
            return;
        CGContextSaveGState(context);
        if (!live) {
            CGContextSetAlpha(context, 0.6);
            CGContextSetBlendMode(context, kCGBlendModeLuminosity);
        }
        const CGFloat limit = GetBounds().size.width;
        for (CGFloat x = 0; x <= limit; x += width)
            CGContextDrawImage(context, CGRectMake(x, rect.origin.y, width, GetRowHeight() - 1), selectionImage_);
        CGContextRestoreGState(context);
        return;
    }
    HIThemeSetFill(live ? kThemeBrushAlternatePrimaryHighlightColor : kThemeBrushSecondaryHighlightColor, nullptr,
                   context, kHIThemeOrientationNormal);
    DataBrowserTableViewHiliteStyle style = kDataBrowserTableViewFillHilite;
    GetDataBrowserTableViewHiliteStyle(GetControlRef(), &style);
    if (style == kDataBrowserTableViewMinimalHilite)
        CGContextFillRoundedRect(context, rect, 4, 4);
    else
        CGContextFillRect(context, rect);
}

namespace {

ThemeFontID EmphasizedFont(ThemeFontID font)
{
    if (font == kThemeSystemFont)
        return kThemeEmphasizedSystemFont;
    if (font == kThemeSmallSystemFont)
        return kThemeSmallEmphasizedSystemFont;
    return font;
}

void DrawTextIn(CGContextRef context, CFStringRef text, CGRect bounds, HIThemeTextInfo info, CGFloat red, CGFloat green,
                CGFloat blue, CGFloat alpha)
{
    CGContextSetRGBFillColor(context, red, green, blue, alpha);
    HIThemeDrawTextBox(text, &bounds, &info, context, kHIThemeOrientationInverted);
}

}  // namespace

void TDataBrowser::DrawText(CFStringRef text, DataBrowserItemState state, CGRect rect, CGContextRef context)
{
    if (text == nullptr)
        return;
    if (!(IsActive() && IsEnabled()) && selectionImage_ == nullptr)
        state = 0;
    HIThemeTextInfo info = GetTextTheme();
    const bool selected = state == kDataBrowserItemIsSelected;
    if (selected)
        info.fontID = EmphasizedFont(info.fontID);
    const CGRect bounds = GetTextBoundsWithInfo(info, text, rect);
    if (selected && selectionImage_ != nullptr)
        DrawTextIn(context, text, CGRectOffset(bounds, 0, -1), info, 0, 0, 0, 0.5);
    if (selected)
        DrawTextIn(context, text, bounds, info, 1, 1, 1, 1);
    else
        DrawTextIn(context, text, bounds, info, 0, 0, 0, 1);
}

void TDataBrowser::DrawCaptionText(CFStringRef text, DataBrowserItemState state, CGRect rect, CGContextRef context)
{
    if (text == nullptr)
        return;
    HIThemeTextInfo info = GetTextTheme();
    info.fontID = kThemeSmallEmphasizedSystemFont;
    CGRect bounds = GetTextBoundsWithInfo(info, text, rect);
    bounds.origin.y = rect.origin.y + (rect.size.height - bounds.size.height) / 2;
    const bool selected = state == kDataBrowserItemIsSelected;
    if (selected)
        DrawTextIn(context, text, CGRectOffset(bounds, 0, -1), info, 0.341176, 0.341176, 0.341176, 0.8);
    else
        DrawTextIn(context, text, CGRectOffset(bounds, 0, -1), info, 1, 1, 1, 0.8);
    if (selected)
        DrawTextIn(context, text, bounds, info, 1, 1, 1, 1);
    else
        DrawTextIn(context, text, bounds, info, 0.303654, 0.367819, 0.435630, 1.0);
}

void TDataBrowser::DrawIconCell(IconRef icon, DataBrowserItemState, CGRect rect, CGContextRef context)
{
    const CGRect bounds = GetIconBounds(rect);
    PlotIconRefInContext(context, &bounds, kAlignNone, kTransformNone, nullptr, kPlotIconRefNormalFlags, icon);
}

void TDataBrowser::DrawImageCell(CGImageRef image, DataBrowserItemState, CGRect rect, CGContextRef context)
{
    if (image != nullptr)
        CGContextDrawImage(context, GetIconBounds(rect), image);
}

void TDataBrowser::DrawCellBackground(DataBrowserPropertyID property, DataBrowserItemID item,
                                      DataBrowserItemState state, CGRect rect, CGContextRef context)
{
    if (drawingDragImage_)
        return;
    DrawCell(property, item, rect, context);
    DrawSelection(state, property, item, rect, context);
}

void TDataBrowser::DrawCaptionCell(CFStringRef text, DataBrowserPropertyID property, DataBrowserItemID item,
                                   DataBrowserItemState state, CGRect rect, CGContextRef context)
{
    DrawCellBackground(property, item, state, rect, context);
    rect.origin.x -= GetTextOffset();
    DrawCaptionText(text, state, rect, context);
}

void TDataBrowser::DrawIconTextCell(IconRef icon, CFStringRef text, bool, DataBrowserPropertyID property,
                                    DataBrowserItemID item, DataBrowserItemState state, CGRect rect,
                                    CGContextRef context)
{
    DrawCellBackground(property, item, state, rect, context);
    if (icon != nullptr)
        DrawIconCell(icon, state, rect, context);
    else
        rect.origin.x -= GetTextOffset();
    DrawText(text, state, rect, context);
}

void TDataBrowser::DrawImageTextCell(CGImageRef image, CFStringRef text, bool, DataBrowserPropertyID property,
                                     DataBrowserItemID item, DataBrowserItemState state, CGRect rect,
                                     CGContextRef context)
{
    DrawCellBackground(property, item, state, rect, context);
    if (image != nullptr)
        DrawImageCell(image, state, rect, context);
    else
        rect.origin.x -= GetTextOffset();
    DrawText(text, state, rect, context);
}

void TDataBrowser::DrawTrackingIndicator(CGContextRef context, CGRect rect, SInt16 part)
{
    CGContextSetLineWidth(context, 2);
    const CGFloat y = part == kDataBrowserTrackingAfter ? rect.origin.y + rect.size.height : rect.origin.y - 1;
    CGContextBeginPath(context);
    CGContextMoveToPoint(context, rect.origin.x - 3, y);
    CGContextAddLineToPoint(context, GetBounds().size.width - 15, y);
    CGContextStrokePath(context);
    CGContextStrokeEllipseInRect(context, CGRectMake(rect.origin.x - 8, y - 2, 5, 5));
}

void TDataBrowser::DrawContainerIndicator(CGContextRef context, CGRect rect)
{
    const CGFloat left = rect.origin.x - 8;
    const CGRect frame = CGRectMake(left, rect.origin.y, GetBounds().size.width - 20 - left, rect.size.height);
    CGContextSaveGState(context);
    HIThemeSetFill(kThemeBrushAlternatePrimaryHighlightColor, nullptr, context, kHIThemeOrientationNormal);
    CGContextSetAlpha(context, 0.2);
    CGContextFillRoundedRect(context, frame, 4, 4);
    CGContextRestoreGState(context);
    HIThemeSetStroke(kThemeBrushAlternatePrimaryHighlightColor, nullptr, context, kHIThemeOrientationNormal);
    CGContextSetLineWidth(context, 2);
    CGContextStrokeRoundedRect(context, frame, 4, 4);
}

void TDataBrowser::DrawDragHilite(CGContextRef context)
{
    const CGFloat narrow = GetSize() == kControlSizeSmall ? 10 : 15;
    CGRect bounds = GetBounds();
    bounds.size.width -= narrow;
    CGContextSaveGState(context);
    CGContextSetShouldAntialias(context, false);
    HIThemeSetStroke(kThemeBrushPrimaryHighlightColor, nullptr, context, kHIThemeOrientationNormal);
    CGContextSetLineWidth(context, 5);
    CGContextStrokeRect(context, bounds);
    CGContextRestoreGState(context);
}

void TDataBrowser::CreateDragImage(DataBrowserItemID, DragRef) {}

// ---- inline editing ----

void TDataBrowser::TrackEditText(DataBrowserItemID item, bool immediate)
{
    if (!immediate) {
        if (lastMousePoint_.h != clickPoint_.h || lastMousePoint_.v != clickPoint_.v) {
            pendingEditTick_ = 0;
            return;
        }
        if (TickCount() - pendingEditTick_ <= kEditDelayTicks)
            return;
    }
    pendingEditTick_ = 0;
    ControlRef control = GetControlRef();
    if (control == nullptr || item == 0)
        return;
    const DataBrowserPropertyID column = HandleEditTextColumn(item);
    Rect part{};
    if (GetDataBrowserItemPartBounds(control, item, column, kDataBrowserPropertyContentPart, &part) != noErr)
        return;
    part.left += static_cast<SInt16>(kEditIconInset);
    CGPoint anchor = ConvertPointToScreen(CGPointMake(part.left, part.top));
    CGFloat width = std::min<CGFloat>(part.right - part.left, GetBounds().size.width - part.left - 8);
    CFStringRef text = nullptr;
    Retain();
    if (HandleEditTextWindow(item, column, anchor, width, text)) {
        if (ApplicationNib == nullptr) {
            Diagnostics::WriteLine("Warning: no application nib to edit the browser's text in.");
        } else {
            TEditTextWindow* window = TEditTextWindow::Create(ApplicationNib, this, item);
            if (window->GetWindowRef() != nullptr) {
                window->SetText(text);
                window->SetSize(static_cast<SInt16>(width), 28);
                window->ShowAtPoint(anchor);
            } else {
                window->Release();
            }
        }
    }
    if (text != nullptr)
        CFRelease(text);
    Release();
}

// ---- hooks ----

void TDataBrowser::HandleRemoveItem(DataBrowserItemID, DataBrowserItemState) {}
void TDataBrowser::HandleFocusMenuItem(UInt32) {}
void TDataBrowser::EventLoopTimer() {}
void TDataBrowser::HandleDrawItem(DataBrowserItemID, DataBrowserPropertyID, DataBrowserItemState, CGContextRef, CGRect)
{}

DataBrowserTrackingResult TDataBrowser::HandleTracking(DataBrowserItemID, DataBrowserPropertyID, const Rect&, Point,
                                                       EventModifiers)
{
    return kDataBrowserNothingHit;
}

bool TDataBrowser::HandleHitTest(DataBrowserItemID, DataBrowserPropertyID, const Rect&, const Rect&)
{
    return true;
}

bool TDataBrowser::HandleEditText(DataBrowserItemID, DataBrowserPropertyID, CFStringRef, Rect*, Boolean*)
{
    return false;
}

bool TDataBrowser::HandleEditHitTest(DataBrowserItemID, CGRect rect, CGPoint point)
{
    rect.origin.x += kEditIconInset;
    rect.size.width -= kEditIconInset;
    return rect.size.width > 0 && CGRectContainsPoint(rect, point);
}

void TDataBrowser::HandleItemNotification(DataBrowserItemID, DataBrowserItemNotification) {}

OSStatus TDataBrowser::HandleItemData(DataBrowserItemID, DataBrowserPropertyID, DataBrowserItemDataRef, bool)
{
    return errDataBrowserPropertyNotSupported;
}

bool TDataBrowser::HandleItemCompare(DataBrowserItemID, DataBrowserItemID, DataBrowserPropertyID)
{
    return false;
}

void TDataBrowser::HandleGetContextualMenu(MenuRef*, UInt32*, CFStringRef*, AEDesc*) {}
void TDataBrowser::HandleSelectContextualMenu(MenuRef, UInt32, MenuID, MenuItemIndex) {}
void TDataBrowser::HandleContainerOpened(DataBrowserItemID) {}
void TDataBrowser::HandleContainerClosed(DataBrowserItemID) {}
void TDataBrowser::HandleSelectionChanged(TTypeArray*) {}
void TDataBrowser::HandleItemsChanged() {}
void TDataBrowser::HandleHeightChanged(UInt32, UInt32) {}

bool TDataBrowser::HandleEditTextWindow(DataBrowserItemID, DataBrowserPropertyID, CGPoint&, CGFloat&, CFStringRef&)
{
    return false;
}

DataBrowserPropertyID TDataBrowser::HandleEditTextColumn(DataBrowserItemID)
{
    return 0;
}

void TDataBrowser::HandleEditTextFinished(DataBrowserItemID, CFStringRef) {}

bool TDataBrowser::HandleAddDragItem(DragRef, DataBrowserItemID, ItemReference*)
{
    return false;
}

bool TDataBrowser::HandleAcceptDrag(DragRef, DataBrowserItemID)
{
    return false;
}

void TDataBrowser::HandlePostProcessDrag(DragRef, OSStatus) {}

bool TDataBrowser::HandleReceiveDrag(DragRef, DataBrowserItemID)
{
    return false;
}

void TDataBrowser::HandleTrackingDrag(DataBrowserItemID, TDrag*, CGPoint) {}

void TDataBrowser::HandleTrackHover(DataBrowserItemID item)
{
    OpenContainer(item);
}

bool TDataBrowser::HandleAcceptDrag(TDrag*, DataBrowserItemID)
{
    return false;
}

bool TDataBrowser::HandleReceiveDrag(TDrag*, DataBrowserItemID)
{
    return false;
}

void TDataBrowser::HandleMouseDown(DataBrowserItemID, CGPoint) {}
void TDataBrowser::HandleMouseUp(DataBrowserItemID, CGPoint) {}
void TDataBrowser::HandleMouseEntered(DataBrowserItemID, CGPoint) {}
void TDataBrowser::HandleMouseExited(DataBrowserItemID, CGPoint) {}
void TDataBrowser::HandleMouseMoved(DataBrowserItemID, CGPoint) {}
void TDataBrowser::HandleMouseDragged(DataBrowserItemID, CGPoint) {}

OSStatus TDataBrowser::HandleFocusEvent(EventRef event)
{
    HICommand command{};
    if (GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr, &command) !=
        noErr)
        return eventNotHandledErr;
    MenuRef menu = command.menu.menuRef;
    const MenuItemIndex chosen = command.menu.menuItemIndex;
    UInt32 value = 0;
    ByteCount size = 0;
    if (menu == nullptr ||
        GetMenuItemProperty(menu, chosen, kDataBrowserPropertyCreator, kDataBrowserPropertyTagFocusValue, sizeof value,
                            &size, &value) != noErr ||
        size != sizeof value)
        return eventNotHandledErr;
    HandleFocusMenuItem(value);
    for (MenuItemIndex i = 1; i < chosen; ++i)
        DeleteMenuItem(menu, 1);
    const UInt16 count = CountMenuItems(menu);
    for (UInt16 i = 1; i <= count; ++i)
        SetMenuItemIndent(menu, i, i - 1);
    ToggleMenuItem(1, menu);
    return noErr;
}

bool TDataBrowser::TestDataSource()
{
    return true;
}

DataBrowserItemID TDataBrowser::FindItemAtPoint(CGPoint point)
{
    ControlRef control = GetControlRef();
    if (control == nullptr)
        return 0;
    DataBrowserPropertyID first = 0;
    GetDataBrowserTableViewColumnProperty(control, 0, &first);
    if (CountItems() == 0)
        return 0;
    for (UInt32 row = 0; row <= kMaximumRows; ++row) {
        DataBrowserItemID item = 0;
        if (GetDataBrowserTableViewItemID(control, row, &item) != noErr)
            return 0;
        Rect part{};
        if (GetDataBrowserItemPartBounds(control, item, first, kDataBrowserPropertyEnclosingPart, &part) == noErr &&
            ContainsPoint(part, point))
            return item;
    }
    return 0;
}

// ---- events ----

void TDataBrowser::EventMouseDown(CGPoint point, OSStatus&)
{
    lastMousePoint_ = ToQDPoint(ConvertPointToWindow(point));
    if (const DataBrowserItemID item = FindItemAtPoint(point))
        HandleMouseDown(item, point);
}

void TDataBrowser::EventMouseUp(CGPoint point, OSStatus&)
{
    lastMousePoint_ = ToQDPoint(ConvertPointToWindow(point));
    if (const DataBrowserItemID item = FindItemAtPoint(point))
        HandleMouseUp(item, point);
}

void TDataBrowser::EventMouseEntered(CGPoint point, OSStatus&)
{
    if (const DataBrowserItemID item = FindItemAtPoint(point))
        HandleMouseEntered(item, point);
}

void TDataBrowser::EventMouseExited(CGPoint point, OSStatus&)
{
    if (const DataBrowserItemID item = FindItemAtPoint(point))
        HandleMouseExited(item, point);
    if (hoverItem_ != 0)
        HandleMouseExited(hoverItem_, point);
    hoverItem_ = 0;
}

void TDataBrowser::EventMouseMoved(CGPoint point, OSStatus&)
{
    lastMousePoint_ = ToQDPoint(ConvertPointToWindow(point));
    const DataBrowserItemID item = FindItemAtPoint(point);
    if (item != hoverItem_) {
        HandleMouseExited(hoverItem_, point);
        HandleMouseEntered(item, point);
    }
    HandleMouseMoved(item, point);
    hoverItem_ = item;
}

void TDataBrowser::EventMouseDragged(CGPoint point, OSStatus&)
{
    lastMousePoint_ = ToQDPoint(ConvertPointToWindow(point));
    const DataBrowserItemID item = FindItemAtPoint(point);
    if (item != hoverItem_) {
        HandleMouseExited(hoverItem_, point);
        HandleMouseEntered(item, point);
    }
    HandleMouseDragged(item, point);
    hoverItem_ = item;
}

void TDataBrowser::EventClick(CGPoint point, UInt16 clickCount, UInt16 button, UInt32, OSStatus&)
{
    if (clickCount != 1) {
        // A double click cancels; the control's own editor takes over.
        pendingEditTick_ = 0;
        return;
    }
    pendingEditItem_ = FindItemAtPoint(point);
    const DataBrowserItemID item = pendingEditItem_;
    if (button == kEventMouseButtonPrimary && item != 0 && GetSingleSelection() == item) {
        const DataBrowserPropertyID column = HandleEditTextColumn(item);
        if (HandleEditHitTest(item, GetEditTextBounds(item, column), point))
            pendingEditTick_ = std::max<UInt32>(1, TickCount());
    }
    clickPoint_ = ToQDPoint(ConvertPointToWindow(point));
    lastMousePoint_ = clickPoint_;
}

void TDataBrowser::EventKeyDown(UInt32 code, char, OSStatus& result)
{
    if (editing_)
        return;
    constexpr UInt32 kReturnKey = 36, kDeleteKey = 51, kClearKey = 71, kForwardDeleteKey = 117;
    if (code == kReturnKey) {
        if (const DataBrowserItemID item = GetSingleSelection()) {
            result = noErr;
            TrackEditText(item, true);
        }
    } else if ((code == kDeleteKey || code == kClearKey || code == kForwardDeleteKey) &&
               HasOption(kDataBrowserOptionDeleteKeyRemoves)) {
        ClearSelection(true);
    }
}

void TDataBrowser::EventDragEnter(DragRef drag, OSStatus& result)
{
    EventDragWithin(drag, result);
}

void TDataBrowser::EventDragWithin(DragRef drag, OSStatus&)
{
    TDrag* object = TDrag::Create(drag);
    const CGPoint point = ConvertPointFromScreen(object->GetMouse());
    HandleTrackingDrag(FindItemAtPoint(point), object, point);
    object->Release();
}

void TDataBrowser::EventDragLeave(DragRef, OSStatus&)
{
    hoverItem_ = 0;
    dragHoverItem_ = 0;
    dragHiliteShown_ = false;
    UpdateItems();
}

void TDataBrowser::EventDragReceive(DragRef, OSStatus&)
{
    hoverItem_ = 0;
    dragHoverItem_ = 0;
    UpdateItems();
}

void TDataBrowser::EventActivationChanged(bool, OSStatus&)
{
    SetNeedsDisplay(true);
}

// ---- the edit window ----

TEditTextWindow* TEditTextWindow::Create(IBNibRef nib, TDataBrowser* browser, DataBrowserItemID item)
{
    TEditTextWindow* window = Allocate();
    window->browser_ = browser;
    window->item_ = item;
    window->SetNibWindow("EditBrowserText", nib);
    window->Initialize();
    window->GetField();
    return window;
}

ControlRef TEditTextWindow::GetField()
{
    if (field_ == nullptr) {
        if (WindowRef window = GetWindowRef())
            GetControlByID(window, &kEditBrowserTextFieldID, &field_);
    }
    return field_ != nullptr && IsValidControlHandle(field_) ? field_ : nullptr;
}

void TEditTextWindow::ShowAtPoint(CGPoint point)
{
    Inherited::ShowAtPoint(CGPointMake(point.x - 4, point.y - 4));
    if (ControlRef field = GetField())
        HIViewFocusEditText(field);
    SetThemeCursor(kThemeIBeamCursor);
}

void TEditTextWindow::SetText(CFStringRef text)
{
    if (ControlRef field = GetField())
        HIViewSetText(field, text != nullptr ? text : CFSTR(""));
}

CFStringRef TEditTextWindow::CopyText()
{
    ControlRef field = GetField();
    return field != nullptr ? HIViewCopyText(field) : nullptr;
}

void TEditTextWindow::Deallocate()
{
    CFStringRef text = CopyText();
    if (browser_ != nullptr && TObject::IsLiveObject(browser_))
        browser_->HandleEditTextFinished(item_, text != nullptr ? text : CFSTR(""));
    if (text != nullptr)
        CFRelease(text);
    browser_ = nullptr;
    Inherited::Deallocate();
}
