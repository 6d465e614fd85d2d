#include "TBrowserUnit.h"

#include <ApplicationFramework/Classes/TDragUnit.h>
#include <Units/Classes/TArchiverUnit.h>
#include <Units/Utilities/CarbonUtilities.h>

#include <CarbonCore/CarbonEventLoop.h>
#include <HIToolbox/Menus.h>
#include <Support/Diagnostics.h>

#include <cmath>
#include <set>
#include <utility>

BRINDLET_DEFINE_CLASS(TBrowserDataSource, TObject)
BRINDLET_DEFINE_CLASS(TBrowserNode, TResponder)
BRINDLET_DEFINE_CLASS(TBrowser, TDataBrowser)

namespace {

CGRect PartBounds(TDataBrowser* browser, DataBrowserItemID item, DataBrowserPropertyID property,
                  DataBrowserPropertyPart part)
{
    ControlRef control = browser != nullptr ? browser->GetControlRef() : nullptr;
    if (control == nullptr || item == 0)
        return CGRectZero;
    if (property == kDataBrowserItemNoProperty)
        GetDataBrowserTableViewColumnProperty(control, 0, &property);
    Rect bounds{};
    Err = GetDataBrowserItemPartBounds(control, item, property, part, &bounds);
    return Err == noErr ? QDRectToCG(bounds) : CGRectZero;
}

}  // namespace

// ---- data source ----

void TBrowserDataSource::Initialize()
{
    Inherited::Initialize();
    if (browsers_ == nullptr)
        browsers_ = TWeakPointerArray::Create();
}

void TBrowserDataSource::Deallocate()
{
    ReleaseObject(browsers_);
    Inherited::Deallocate();
}

SInt32 TBrowserDataSource::CountBrowsers() const
{
    return browsers_ != nullptr ? browsers_->Count() : 0;
}

void TBrowserDataSource::SetActiveBrowser(TDataBrowser* browser)
{
    activeBrowser_ = browsers_ != nullptr ? browsers_->GetIndex(browser) : -1;
}

TDataBrowser* TBrowserDataSource::GetActiveBrowser()
{
    return activeBrowser_ < 0 ? nullptr : GetBrowser(activeBrowser_);
}

TDataBrowser* TBrowserDataSource::GetBrowser(SInt32 index)
{
    return browsers_ != nullptr ? static_cast<TDataBrowser*>(browsers_->GetValue(index)) : nullptr;
}

SInt16 TBrowserDataSource::GetBrowserLimit()
{
    return static_cast<SInt16>(CountBrowsers() - 1);
}

void TBrowserDataSource::Reload() {}
void TBrowserDataSource::RemoveAll() {}

void TBrowserDataSource::RemoveSelection()
{
    for (SInt32 b = 0; b < CountBrowsers(); ++b) {
        TDataBrowser* browser = GetBrowser(b);
        TTypeArray* selection = browser->CopySelection();
        if (selection == nullptr)
            continue;
        // The nodes first: removing one may renumber the others.
        TObjectArray* nodes = TObjectArray::Create();
        for (SInt32 i = 0; i < selection->Count(); ++i)
            nodes->AppendValue(GetNode(DataBrowserSelectionItem(selection, i)));
        selection->Release();
        browser->Retain();
        browser->BeginSelectionBatch();
        for (SInt32 i = 0; i < nodes->Count(); ++i)
            static_cast<TBrowserNode*>(nodes->GetValue(i))->Remove();
        if (nodes->Count() > 0)
            browser->Reload();
        browser->EndSelectionBatch();
        browser->Release();
        nodes->Release();
    }
}

UInt32 TBrowserDataSource::CountNodes()
{
    return 0;
}

bool TBrowserDataSource::TestDataSource()
{
    return true;
}

void TBrowserDataSource::AppendBrowser(TDataBrowser* browser)
{
    if (browsers_ == nullptr)
        browsers_ = TWeakPointerArray::Create();
    if (browser != nullptr && browsers_->GetIndex(browser) < 0)
        browsers_->AppendValue(browser);
}

void TBrowserDataSource::RemoveBrowser(TDataBrowser* browser)
{
    if (browsers_ == nullptr)
        return;
    TDataBrowser* active = GetActiveBrowser();
    browsers_->RemoveValue(browser);
    activeBrowser_ = active != nullptr && active != browser ? browsers_->GetIndex(active) : -1;
}

void TBrowserDataSource::AddItem(DataBrowserItemID container, DataBrowserItemID item)
{
    for (SInt32 b = 0; b < CountBrowsers(); ++b)
        GetBrowser(b)->AddItem(item, container, kDataBrowserItemNoProperty);
}

void TBrowserDataSource::RemoveItems(DataBrowserItemID container)
{
    for (SInt32 b = 0; b < CountBrowsers(); ++b)
        GetBrowser(b)->ClearContainer(container);
}

TBrowserNode* TBrowserDataSource::GetNode(DataBrowserItemID)
{
    return nullptr;
}

TBrowserNode* TBrowserDataSource::GetNodeAtRow(UInt32 row, SInt32 browserIndex)
{
    TDataBrowser* browser = GetBrowser(browserIndex);
    return browser != nullptr ? GetNode(browser->GetRowItem(row)) : nullptr;
}

bool TBrowserDataSource::FilterNode(TBrowserNode*, TDataBrowser*)
{
    return true;
}

// ---- node ----

// The animation timer's callback.
class TBrowserNodeTimer {
public:
    static void Fire(EventLoopTimerRef, void* data)
    {
        TBrowserNode* node = static_cast<TBrowserNode*>(data);
        if (!TObject::IsLiveObject(node))
            return;
        node->Retain();
        node->HandleAnimation();
        node->Release();
    }
};

void TBrowserNode::Initialize()
{
    Inherited::Initialize();
    // A node rebuilt from an archive keeps what it read.
    if (!DidInitializeFromArchive())
        type_ = FourCC("????");
    allowsArranging_ = true;
}

void TBrowserNode::Deallocate()
{
    StopAnimation();
    Inherited::Deallocate();
}

void TBrowserNode::EncodeData(TArchiver* archiver)
{
    Inherited::EncodeData(archiver);
    archiver->SetBooleanValue("system.open", open_);
    archiver->SetStringValue("system.type", FCCToString(type_));
}

void TBrowserNode::DecodeData(TArchiver* archiver)
{
    Inherited::DecodeData(archiver);
    open_ = archiver->GetBooleanValue("system.open");
    const ShortString type = archiver->GetStringValue("system.type");
    type_ = type.IsEmpty() ? FourCC("????") : FCC(type.ToString());
}

TDataBrowser* TBrowserNode::GetBrowser()
{
    return dataSource_ != nullptr ? dataSource_->GetBrowser(0) : nullptr;
}

void TBrowserNode::OpenContainer()
{
    open_ = true;
    if (TDataBrowser* browser = GetBrowser())
        browser->OpenContainer(id_);
}

void TBrowserNode::CloseContainer()
{
    open_ = false;
    if (TDataBrowser* browser = GetBrowser())
        browser->CloseContainer(id_);
}

void TBrowserNode::ToggleContainer()
{
    if (open_)
        CloseContainer();
    else
        OpenContainer();
}

void TBrowserNode::RebuildContainer() {}

void TBrowserNode::Rebuild()
{
    if (TDataBrowser* browser = GetBrowser())
        browser->Reload();
}

UInt32 TBrowserNode::CountItems()
{
    TDataBrowser* browser = GetBrowser();
    return browser != nullptr ? browser->CountItems(id_) : 0;
}

void TBrowserNode::Select()
{
    if (TDataBrowser* browser = GetBrowser(); browser != nullptr && id_ != 0)
        browser->SetSingleSelection(id_);
}

void TBrowserNode::AppendSelection()
{
    if (TDataBrowser* browser = GetBrowser(); browser != nullptr && id_ != 0)
        browser->AppendSelection(id_);
}

void TBrowserNode::SetOpen(bool open)
{
    open_ = open;
}

void TBrowserNode::SetRowHeight(UInt16 height)
{
    if (TDataBrowser* browser = GetBrowser())
        Err = SetDataBrowserTableViewItemRowHeight(browser->GetControlRef(), id_, height);
}

void TBrowserNode::SetAllowsArranging(bool allows)
{
    allowsArranging_ = allows;
}

bool TBrowserNode::IsSelected()
{
    TDataBrowser* browser = GetBrowser();
    return browser != nullptr && id_ != 0 && IsDataBrowserItemSelected(browser->GetControlRef(), id_);
}

bool TBrowserNode::IsOpen()
{
    return open_;
}

bool TBrowserNode::IsExpandable()
{
    return false;
}

bool TBrowserNode::IsFirstChild()
{
    return false;
}

bool TBrowserNode::IsLastChild()
{
    return false;
}

bool TBrowserNode::IsSelectable()
{
    return true;
}

DataBrowserItemID TBrowserNode::GetID()
{
    return id_;
}

DataBrowserItemID TBrowserNode::GetContainerID()
{
    TBrowserNode* container = GetContainer();
    return container != nullptr ? container->GetID() : 0;
}

CFDataRef TBrowserNode::CopyFlavorData()
{
    return nullptr;
}

SInt32 TBrowserNode::GetRow()
{
    TDataBrowser* browser = GetBrowser();
    return browser != nullptr ? browser->GetItemRow(id_) : -1;
}

TBrowserNode* TBrowserNode::GetContainer()
{
    return nullptr;
}

CGFloat TBrowserNode::GetRowWidth()
{
    TDataBrowser* browser = GetBrowser();
    return browser != nullptr ? std::trunc(browser->GetFrame().size.width) : 0;
}

UInt16 TBrowserNode::GetRowHeight()
{
    TDataBrowser* browser = GetBrowser();
    UInt16 height = 0;
    if (browser != nullptr)
        Err = GetDataBrowserTableViewItemRowHeight(browser->GetControlRef(), id_, &height);
    return height;
}

CGRect TBrowserNode::GetContentBounds(DataBrowserPropertyID property)
{
    CGRect bounds = PartBounds(GetBrowser(), id_, property, kDataBrowserPropertyContentPart);
    if (!CGRectIsEmpty(bounds))
        bounds.size.width = GetRowWidth();
    return bounds;
}

CGRect TBrowserNode::GetEnclosingBounds(DataBrowserPropertyID property)
{
    CGRect bounds = PartBounds(GetBrowser(), id_, property, kDataBrowserPropertyEnclosingPart);
    if (!CGRectIsEmpty(bounds))
        bounds.size.width = GetRowWidth();
    return bounds;
}

CGRect TBrowserNode::GetEditBounds(DataBrowserPropertyID property)
{
    return GetContentBounds(property);
}

SInt16 TBrowserNode::GetTrackingPart()
{
    return trackingPart_;
}

bool TBrowserNode::GetAllowsArranging()
{
    return allowsArranging_;
}

CGPoint TBrowserNode::ConvertPointToView(CGPoint point, DataBrowserPropertyID property)
{
    const CGRect content = PartBounds(GetBrowser(), id_, property, kDataBrowserPropertyContentPart);
    return CGPointMake(point.x + content.origin.x, point.y + content.origin.y);
}

CGPoint TBrowserNode::ConvertPointToCell(CGPoint point, DataBrowserPropertyID property)
{
    const CGRect content = PartBounds(GetBrowser(), id_, property, kDataBrowserPropertyContentPart);
    return CGPointMake(point.x - content.origin.x, point.y - content.origin.y);
}

CGPoint TBrowserNode::ConvertPointToScreen(CGPoint point, DataBrowserPropertyID property)
{
    const CGPoint view = ConvertPointToView(point, property);
    TDataBrowser* browser = GetBrowser();
    return browser != nullptr ? browser->ConvertPointToScreen(view) : view;
}

// ---- drawing ----

void TBrowserNode::DrawImage(CGImageRef image)
{
    if (TDataBrowser* browser = GetBrowser())
        DrawImage(image, browser->GetDrawRect());
}

void TBrowserNode::DrawImage(CGImageRef image, CGRect rect)
{
    TDataBrowser* browser = GetBrowser();
    if (browser != nullptr && image != nullptr)
        browser->DrawImageCell(image, browser->GetDrawState(), rect, browser->GetDrawContext());
}

void TBrowserNode::DrawIcon(IconRef icon)
{
    if (TDataBrowser* browser = GetBrowser())
        DrawIcon(icon, browser->GetDrawRect());
}

void TBrowserNode::DrawIcon(IconRef icon, CGRect rect)
{
    TDataBrowser* browser = GetBrowser();
    if (browser != nullptr && icon != nullptr)
        browser->DrawIconCell(icon, browser->GetDrawState(), rect, browser->GetDrawContext());
}

void TBrowserNode::DrawText(CFStringRef text)
{
    if (TDataBrowser* browser = GetBrowser())
        DrawText(text, browser->GetDrawRect());
}

void TBrowserNode::DrawText(CFStringRef text, CGRect rect)
{
    TDataBrowser* browser = GetBrowser();
    if (browser == nullptr)
        return;
    rect.origin.x -= browser->GetTextOffset();
    browser->DrawText(text, browser->GetDrawState(), rect, browser->GetDrawContext());
}

void TBrowserNode::DrawCaptionText(CFStringRef text)
{
    if (TDataBrowser* browser = GetBrowser())
        DrawCaptionText(text, browser->GetDrawRect());
}

void TBrowserNode::DrawCaptionText(CFStringRef text, CGRect rect)
{
    TDataBrowser* browser = GetBrowser();
    if (browser == nullptr)
        return;
    rect.origin.x -= browser->GetTextOffset();
    browser->DrawCaptionText(text, browser->GetDrawState(), rect, browser->GetDrawContext());
}

void TBrowserNode::DrawIconTextCell(IconRef icon, CFStringRef text)
{
    if (TDataBrowser* browser = GetBrowser())
        browser->DrawIconTextCell(icon, text, IsExpandable(), browser->GetDrawProperty(), id_, browser->GetDrawState(),
                                  browser->GetDrawRect(), browser->GetDrawContext());
}

void TBrowserNode::DrawImageTextCell(CGImageRef image, CFStringRef text)
{
    if (TDataBrowser* browser = GetBrowser())
        browser->DrawImageTextCell(image, text, IsExpandable(), browser->GetDrawProperty(), id_,
                                   browser->GetDrawState(), browser->GetDrawRect(), browser->GetDrawContext());
}

void TBrowserNode::DrawCell()
{
    TDataBrowser* browser = GetBrowser();
    if (browser == nullptr || browser->IsDrawingDragImage())
        return;
    browser->DrawCell(browser->GetDrawProperty(), id_, browser->GetDrawRect(), browser->GetDrawContext());
    browser->DrawSelection(browser->GetDrawState(), browser->GetDrawProperty(), id_, browser->GetDrawRect(),
                           browser->GetDrawContext());
}

void TBrowserNode::Update()
{
    TDataBrowser* browser = GetBrowser();
    if (browser != nullptr && id_ != 0)
        Err = UpdateDataBrowserItems(browser->GetControlRef(), GetContainerID(), 1, &id_, kDataBrowserItemNoProperty,
                                     kDataBrowserItemNoProperty);
}

void TBrowserNode::SetNeedsDisplay()
{
    if (TDataBrowser* browser = GetBrowser())
        browser->SetNeedsDisplayInRect(GetEnclosingBounds(kDataBrowserItemNoProperty));
}

void TBrowserNode::SetNeedsDisplayInRect(CGRect rect)
{
    if (TDataBrowser* browser = GetBrowser())
        browser->SetNeedsDisplayInRect(rect);
}

// ---- animation ----

void TBrowserNode::StartAnimation(double interval)
{
    if (animationTimer_ == nullptr)
        InstallEventLoopTimer(GetMainEventLoop(), 0, interval, TBrowserNodeTimer::Fire, this, &animationTimer_);
}

bool TBrowserNode::IsAnimating()
{
    return animationTimer_ != nullptr;
}

void TBrowserNode::StopAnimation()
{
    if (animationTimer_ != nullptr)
        RemoveEventLoopTimer(animationTimer_);
    animationTimer_ = nullptr;
}

void TBrowserNode::HandleAnimation() {}

// ---- editing and removal ----

void TBrowserNode::StartEditSession()
{
    TDataBrowser* browser = GetBrowser();
    if (browser == nullptr) {
        Diagnostics::WriteLine("Warning: StartEditSession failed because the node has not been assigned a browser.");
        return;
    }
    browser->TrackEditText(id_, true);
}

void TBrowserNode::Remove()
{
    if (TDataBrowser* browser = GetBrowser())
        browser->SetNodeBeingRemoved(this);
    HandleRemovedFromSource();
}

void TBrowserNode::HandleEditedText(CFStringRef) {}

bool TBrowserNode::EditItemText(CFStringRef&, DataBrowserPropertyID&, CGFloat&, CGPoint&)
{
    return false;
}

// ---- hooks ----

void TBrowserNode::HandleDoubleClicked() {}
void TBrowserNode::HandleSelected() {}
void TBrowserNode::HandleDeselected() {}
void TBrowserNode::HandleRemoved() {}
void TBrowserNode::HandleMoved() {}
void TBrowserNode::HandleNotification(DataBrowserItemNotification) {}
void TBrowserNode::HandleAddedToSource() {}
void TBrowserNode::HandleContainerOpened() {}
void TBrowserNode::HandleContainerClosed() {}

bool TBrowserNode::HandleRemoveItem()
{
    return true;
}

bool TBrowserNode::HandleCompareItem(TBrowserNode*, DataBrowserPropertyID)
{
    return true;
}

bool TBrowserNode::HandleHitTest(CGRect, CGRect)
{
    return false;
}

void TBrowserNode::HandleRemovedFromSource() {}
void TBrowserNode::HandleDrawItem(DataBrowserPropertyID, DataBrowserItemState, CGRect, CGContextRef) {}

void TBrowserNode::HandleDrawDragImage(DataBrowserPropertyID property, DataBrowserItemState state, CGRect rect,
                                       CGContextRef context)
{
    HandleDrawItem(property, state, rect, context);
}

void TBrowserNode::HandleDrawTracking(CGRect rect, CGContextRef context)
{
    TDataBrowser* browser = GetBrowser();
    if (browser == nullptr)
        return;
    if (trackingPart_ == kDataBrowserTrackingInto && IsExpandable())
        browser->DrawContainerIndicator(context, rect);
    else
        browser->DrawTrackingIndicator(context, rect, trackingPart_);
}

MenuRef TBrowserNode::HandleContextualMenu()
{
    return nullptr;
}

void TBrowserNode::HandleContextualMenuSelection(MenuRef, MenuID, MenuItemIndex) {}
void TBrowserNode::HandleMouseDown(CGPoint) {}
void TBrowserNode::HandleMouseUp(CGPoint) {}
void TBrowserNode::HandleMouseClicked(CGPoint) {}
void TBrowserNode::HandleMouseEntered(CGPoint) {}
void TBrowserNode::HandleMouseExited(CGPoint) {}
void TBrowserNode::HandleMouseMoved(CGPoint) {}
void TBrowserNode::HandleMouseDragged(CGPoint) {}

bool TBrowserNode::HandleReceiveDrag(TDrag*)
{
    return false;
}

bool TBrowserNode::HandleAcceptDrag(TDrag* drag)
{
    if (!allowsArranging_ || drag == nullptr)
        return false;
    TDataBrowser* browser = GetBrowser();
    bool accept = browser != nullptr && browser->HasOption(kDataBrowserOptionDragRows) &&
                  drag->ContainsFlavor(kBrowserNodeFlavor);
    const UInt16 count = drag->GetCount();
    for (UInt16 index = 1; accept && index <= count; ++index) {
        if (!drag->ContainsFlavor(index, kBrowserNodeFlavor))
            continue;
        TBrowserNode* other = BrowserNodeFromDrag(drag, index);
        if (other == nullptr || !HandleArrangeRow(other))
            accept = false;
    }
    return accept;
}

bool TBrowserNode::HandleAddDragItem(TDrag*)
{
    TDataBrowser* browser = GetBrowser();
    return browser != nullptr && browser->HasOption(kDataBrowserOptionDragRows);
}

bool TBrowserNode::HandleArrangeRow(TBrowserNode* other)
{
    return other != nullptr && other->GetBrowser() == GetBrowser();
}

void TBrowserNode::SetItemData(DataBrowserPropertyID, DataBrowserItemDataRef) {}
void TBrowserNode::SetItemText(DataBrowserPropertyID, CFStringRef) {}
void TBrowserNode::SetItemCheckBox(DataBrowserPropertyID, bool) {}

bool TBrowserNode::SetItemProperty(DataBrowserPropertyID, DataBrowserPropertyID)
{
    return true;
}

void TBrowserNode::ProcessCommand(const HICommand&, OSStatus&) {}

UInt32 TBrowserNode::SwapBytes(UInt32 value)
{
    return value;
}

void TBrowserNode::ConvertFormat(OSType, CFDataRef) {}

TBrowserNode* BrowserNodeFromDrag(TDrag* drag, UInt16 index)
{
    if (drag == nullptr)
        return nullptr;
    // Exactly one reference: a flavour of another size is not ours.
    TObject* object = nullptr;
    if (drag->GetFlavorSize(index, kBrowserNodeFlavor) != Size(sizeof object) ||
        !drag->GetFlavor(index, kBrowserNodeFlavor, &object, sizeof object))
        return nullptr;
    if (!TObject::IsLiveObject(object) || !MemberOfClass(object, TBrowserNode::StaticClass()))
        return nullptr;
    return static_cast<TBrowserNode*>(object);
}

// ---- browser ----

void TBrowser::Initialize()
{
    Inherited::Initialize();
    if (dataSource_ == nullptr)
        CreateDefaultSource();
    Populate();
}

void TBrowser::Deallocate()
{
    if (dataSource_ != nullptr)
        dataSource_->RemoveBrowser(this);
    ReleaseObject(dataSource_);
    trackingNode_ = nullptr;
    Inherited::Deallocate();
}

TBrowserDataSource* TBrowser::AllocateSource()
{
    return nullptr;
}

void TBrowser::CreateDefaultSource()
{
    TBrowserDataSource* source = AllocateSource();
    if (source == nullptr)
        return;
    ReleaseObject(dataSource_);
    dataSource_ = source;
    source->AppendBrowser(this);
}

void TBrowser::Populate() {}

void TBrowser::Clear()
{
    RemoveAll();
    if (dataSource_ != nullptr)
        dataSource_->RemoveAll();
}

void TBrowser::SetDataSource(TBrowserDataSource* source)
{
    if (GetControlRef() == nullptr)
        Diagnostics::WriteLine("Warning: setting data source for a browser that has not been initialized.");
    if (source == dataSource_)
        return;
    if (dataSource_ != nullptr)
        dataSource_->RemoveBrowser(this);
    RetainObject(dataSource_, source);
    trackingNode_ = nullptr;
    if (dataSource_ != nullptr) {
        dataSource_->AppendBrowser(this);
        Reload();
    }
}

TObject* TBrowser::GetFocusTarget()
{
    return nullptr;
}

TBrowserNode* TBrowser::GetNode(DataBrowserItemID item)
{
    return dataSource_ != nullptr && item != 0 ? dataSource_->GetNode(item) : nullptr;
}

TBrowserNode* TBrowser::GetSelection()
{
    return GetNode(GetSingleSelection());
}

SInt16 TBrowser::GetTrackingPart()
{
    return trackingNode_ != nullptr ? trackingNode_->GetTrackingPart() : kDataBrowserTrackingNone;
}

TBrowserNode* TBrowser::GetTrackingNode()
{
    return trackingNode_;
}

MenuRef TBrowser::HandleContextualMenu(TTypeArray*)
{
    return nullptr;
}

void TBrowser::HandleContextualMenuSelection(MenuRef menu, MenuID, MenuItemIndex menuItem)
{
    MenuCommand commandID = 0;
    if (menu == nullptr || GetMenuItemCommandID(menu, menuItem, &commandID) != noErr)
        return;
    HICommand command{};
    command.commandID = commandID;
    command.menu.menuRef = menu;
    command.menu.menuItemIndex = menuItem;
    OSStatus result = eventNotHandledErr;
    TObjectArray* nodes = CopySelectedNodes(true);
    for (SInt32 i = 0; i < nodes->Count() && result != noErr; ++i)
        static_cast<TBrowserNode*>(nodes->GetValue(i))->ProcessCommand(command, result);
    nodes->Release();
}

void TBrowser::HandleDrawDragImage(DataBrowserItemID, DataBrowserPropertyID, DataBrowserItemState, CGRect, CGContextRef)
{}

bool TBrowser::HandleAcceptDrag(TDrag*)
{
    return false;
}

bool TBrowser::HandleNodeAcceptDrag(TBrowserNode* node, TDrag* drag)
{
    return node != nullptr && node->HandleAcceptDrag(drag);
}

bool TBrowser::HandleReceiveDrag(TDrag*)
{
    return false;
}

bool TBrowser::HandleAddDragItem(TDrag*)
{
    return HasOption(kDataBrowserOptionDragRows);
}

TObjectArray* TBrowser::CopySelectedNodes(bool deep)
{
    TObjectArray* nodes = TObjectArray::Create();
    if (dataSource_ == nullptr || GetControlRef() == nullptr)
        return nodes;
    std::pair<TBrowser*, TObjectArray*> visit(this, nodes);
    ForEachDataBrowserItem(
        GetControlRef(), kDataBrowserNoItem, deep, kDataBrowserItemIsSelected,
        [](DataBrowserItemID item, DataBrowserItemState, void* data) {
            auto* v = static_cast<std::pair<TBrowser*, TObjectArray*>*>(data);
            v->second->AppendValue(v->first->GetNode(item));
        },
        &visit);
    return nodes;
}

// ---- removal ----

void TBrowser::ClearSelection(bool deep)
{
    TObjectArray* nodes = CopySelectedNodes(deep);
    if (nodes->Count() == 0) {
        nodes->Release();
        return;
    }
    Retain();
    BeginSelectionBatch();
    // Containers whose children went, each rebuilt once; the top level by a reload.
    std::set<TBrowserNode*> containers;
    bool topLevel = false;
    TObjectArray* kept = TObjectArray::Create();
    for (SInt32 i = 0; i < nodes->Count(); ++i) {
        TBrowserNode* node = static_cast<TBrowserNode*>(nodes->GetValue(i));
        if (!node->HandleRemoveItem())
            continue;
        if (TBrowserNode* container = node->GetContainer()) {
            if (containers.insert(container).second)
                kept->AppendValue(container);
        } else {
            topLevel = true;
        }
        node->Remove();
        SetModified();
    }
    if (topLevel)
        Reload();
    else
        for (SInt32 i = 0; i < kept->Count(); ++i)
            static_cast<TBrowserNode*>(kept->GetValue(i))->Rebuild();
    kept->Release();
    nodes->Release();
    EndSelectionBatch();
    Release();
}

void TBrowser::HandleRemoveItem(DataBrowserItemID item, DataBrowserItemState)
{
    TBrowserNode* node = GetNode(item);
    if (node == nullptr || !node->HandleRemoveItem())
        return;
    node->Retain();
    TBrowserNode* container = node->GetContainer();
    if (container != nullptr)
        container->Retain();
    node->Remove();
    if (container != nullptr) {
        container->Rebuild();
        container->Release();
    } else {
        Reload();
    }
    SetModified();
    node->Release();
}

// ---- routing to the nodes ----

bool TBrowser::TestDataSource()
{
    return dataSource_ != nullptr && dataSource_->TestDataSource();
}

CGRect TBrowser::GetItemBounds(DataBrowserItemID item, DataBrowserPropertyID property)
{
    TBrowserNode* node = GetNode(item);
    return node != nullptr ? node->GetContentBounds(property) : CGRectZero;
}

CGRect TBrowser::GetEditTextBounds(DataBrowserItemID item, DataBrowserPropertyID property)
{
    TBrowserNode* node = GetNode(item);
    return node != nullptr ? node->GetEditBounds(property) : CGRectZero;
}

OSStatus TBrowser::HandleItemData(DataBrowserItemID item, DataBrowserPropertyID property,
                                  DataBrowserItemDataRef itemData, bool setValue)
{
    TBrowserNode* node = GetNode(item);
    if (node == nullptr)
        return noErr;
    if (setValue) {
        Boolean flag = false;
        CFStringRef text = nullptr;
        if (GetDataBrowserItemDataBooleanValue(itemData, &flag) == noErr) {
            node->SetItemCheckBox(property, flag);
        } else if (GetDataBrowserItemDataText(itemData, &text) == noErr) {
            node->SetItemText(property, text);
            SetThemeCursor(kThemeArrowCursor);
            if (text != nullptr)
                CFRelease(text);
        }
        return noErr;
    }
    switch (property) {
    case kDataBrowserItemIsSelectableProperty:
        SetDataBrowserItemDataBooleanValue(itemData, node->IsSelectable());
        break;
    case kDataBrowserItemIsActiveProperty:
    case kDataBrowserItemIsEditableProperty: {
        DataBrowserPropertyID column = 0;
        GetDataBrowserItemDataProperty(itemData, &column);
        SetDataBrowserItemDataBooleanValue(itemData, node->SetItemProperty(column, property));
        break;
    }
    case kDataBrowserItemIsContainerProperty:
        SetDataBrowserItemDataBooleanValue(itemData, node->IsExpandable());
        break;
    default:
        node->SetItemData(property, itemData);
        break;
    }
    return noErr;
}

void TBrowser::HandleItemNotification(DataBrowserItemID item, DataBrowserItemNotification message)
{
    Inherited::HandleItemNotification(item, message);
    TBrowserNode* node = GetNode(item);
    if (node == nullptr)
        return;
    node->Retain();
    switch (message) {
    case kDataBrowserItemRemoved:
        node->HandleRemoved();
        break;
    case kDataBrowserItemSelected:
        node->HandleSelected();
        break;
    case kDataBrowserItemDeselected:
        node->HandleDeselected();
        break;
    case kDataBrowserItemDoubleClicked:
        node->HandleDoubleClicked();
        break;
    case kDataBrowserContainerOpened:
        node->HandleContainerOpened();
        node->SetOpen(true);
        break;
    case kDataBrowserContainerClosed:
        node->HandleContainerClosed();
        break;
    case kDataBrowserUserToggledContainer: {
        DataBrowserItemState state = 0;
        GetDataBrowserItemState(GetControlRef(), item, &state);
        node->SetOpen(!(state == 2 || state == 3));
        break;
    }
    default:
        break;
    }
    node->HandleNotification(message);
    node->Release();
}

bool TBrowser::HandleItemCompare(DataBrowserItemID first, DataBrowserItemID second, DataBrowserPropertyID property)
{
    TBrowserNode* node = GetNode(first);
    return node != nullptr && node->HandleCompareItem(GetNode(second), property);
}

void TBrowser::HandleDrawItem(DataBrowserItemID item, DataBrowserPropertyID property, DataBrowserItemState state,
                              CGContextRef context, CGRect rect)
{
    SetDrawCell(property, state, rect, context);
    if (!TestDataSource()) {
        DrawBackground(GetBounds(), context);
        return;
    }
    if (TBrowserNode* node = GetNode(item))
        node->HandleDrawItem(property, state, rect, context);
}

bool TBrowser::HandleHitTest(DataBrowserItemID item, DataBrowserPropertyID, const Rect& rect, const Rect& mouseRect)
{
    if (HasOption(kDataBrowserOptionDragRows))
        return true;
    TBrowserNode* node = GetNode(item);
    return node != nullptr && node->HandleHitTest(QDRectToCG(rect), QDRectToCG(mouseRect));
}

DataBrowserTrackingResult TBrowser::HandleTracking(DataBrowserItemID item, DataBrowserPropertyID, const Rect& rect,
                                                   Point startPoint, EventModifiers)
{
    if (!TestDataSource())
        return kDataBrowserNothingHit;
    TBrowserNode* node = GetNode(item);
    if (node == nullptr)
        return kDataBrowserNothingHit;
    return node->HandleHitTest(QDRectToCG(rect), CGRectMake(startPoint.h, startPoint.v, 1, 1)) ? kDataBrowserContentHit
                                                                                               : kDataBrowserNothingHit;
}

void TBrowser::HandleMouseDown(DataBrowserItemID item, CGPoint point)
{
    mouseDownPoint_ = point;
    if (TBrowserNode* node = GetNode(item))
        node->HandleMouseDown(node->ConvertPointToCell(point, kDataBrowserItemNoProperty));
}

void TBrowser::HandleMouseUp(DataBrowserItemID item, CGPoint point)
{
    TBrowserNode* node = GetNode(item);
    if (node == nullptr)
        return;
    node->Retain();
    const CGPoint cell = node->ConvertPointToCell(point, kDataBrowserItemNoProperty);
    node->HandleMouseUp(cell);
    if (point.x == mouseDownPoint_.x && point.y == mouseDownPoint_.y && GetNodeBeingRemoved() != node)
        node->HandleMouseClicked(cell);
    node->Release();
}

void TBrowser::HandleMouseEntered(DataBrowserItemID item, CGPoint point)
{
    if (TBrowserNode* node = GetNode(item))
        node->HandleMouseEntered(node->ConvertPointToCell(point, kDataBrowserItemNoProperty));
}

void TBrowser::HandleMouseExited(DataBrowserItemID item, CGPoint point)
{
    if (TBrowserNode* node = GetNode(item))
        node->HandleMouseExited(node->ConvertPointToCell(point, kDataBrowserItemNoProperty));
}

void TBrowser::HandleMouseMoved(DataBrowserItemID item, CGPoint point)
{
    if (TBrowserNode* node = GetNode(item))
        node->HandleMouseMoved(node->ConvertPointToCell(point, kDataBrowserItemNoProperty));
}

void TBrowser::HandleMouseDragged(DataBrowserItemID item, CGPoint point)
{
    if (TBrowserNode* node = GetNode(item))
        node->HandleMouseDragged(node->ConvertPointToCell(point, kDataBrowserItemNoProperty));
}

DataBrowserPropertyID TBrowser::HandleEditTextColumn(DataBrowserItemID item)
{
    TBrowserNode* node = GetNode(item);
    if (node == nullptr)
        return 0;
    CFStringRef text = nullptr;
    DataBrowserPropertyID column = GetEditColumn();
    CGFloat width = 0;
    CGPoint anchor = CGPointZero;
    node->EditItemText(text, column, width, anchor);
    if (text != nullptr)
        CFRelease(text);
    return column;
}

bool TBrowser::HandleEditTextWindow(DataBrowserItemID item, DataBrowserPropertyID column, CGPoint& anchor,
                                    CGFloat& width, CFStringRef& text)
{
    TBrowserNode* node = GetNode(item);
    return node != nullptr && node->EditItemText(text, column, width, anchor);
}

void TBrowser::HandleEditTextFinished(DataBrowserItemID item, CFStringRef text)
{
    if (TBrowserNode* node = GetNode(item))
        node->HandleEditedText(text);
}

void TBrowser::HandleGetContextualMenu(MenuRef* menu, UInt32* helpType, CFStringRef*, AEDesc*)
{
    if (helpType != nullptr)
        *helpType = 0;
    if (menu == nullptr)
        return;
    TTypeArray* selection = CopySelection();
    if (selection == nullptr)
        return;
    if (selection->Count() > 1) {
        *menu = HandleContextualMenu(selection);
    } else if (TBrowserNode* node = GetNode(DataBrowserSelectionItem(selection, 0))) {
        *menu = node->HandleContextualMenu();
    }
    selection->Release();
}

void TBrowser::HandleSelectContextualMenu(MenuRef menu, UInt32, MenuID menuID, MenuItemIndex menuItem)
{
    HandleContextualMenuSelection(menu, menuID, menuItem);
    TObjectArray* nodes = CopySelectedNodes(true);
    for (SInt32 i = 0; i < nodes->Count(); ++i)
        static_cast<TBrowserNode*>(nodes->GetValue(i))->HandleContextualMenuSelection(menu, menuID, menuItem);
    nodes->Release();
    if (menu != nullptr)
        ReleaseMenu(menu);
}

// ---- drag and drop ----

void TBrowser::HandleTrackingDrag(DataBrowserItemID item, TDrag* drag, CGPoint point)
{
    trackingNode_ = nullptr;
    if (TBrowserNode* node = GetNode(item)) {
        const CGRect b = node->GetEnclosingBounds(kDataBrowserItemNoProperty);
        SInt16 part;
        if (node->IsExpandable()) {
            if (point.y < b.origin.y + 5)
                part = kDataBrowserTrackingBefore;
            else if (point.y > b.origin.y + b.size.height - 5)
                part = kDataBrowserTrackingAfter;
            else
                part = kDataBrowserTrackingInto;
        } else {
            part = point.y < b.origin.y + b.size.height / 2 ? kDataBrowserTrackingBefore : kDataBrowserTrackingAfter;
        }
        node->SetTrackingPart(part);
        if (HandleNodeAcceptDrag(node, drag))
            trackingNode_ = node;
    }
    UpdateItems();
}

void TBrowser::DrawControl(CGContextRef context, CGRect bounds, OSStatus& result)
{
    Inherited::DrawControl(context, bounds, result);
    if (trackingNode_ == nullptr || !TObject::IsLiveObject(trackingNode_))
        return;
    CGContextSaveGState(context);
    CGContextClipToRect(context, GetBounds());
    HIThemeSetStroke(kThemeBrushAlternatePrimaryHighlightColor, nullptr, context, kHIThemeOrientationNormal);
    trackingNode_->HandleDrawTracking(trackingNode_->GetContentBounds(kDataBrowserItemNoProperty), context);
    CGContextRestoreGState(context);
}

void TBrowser::EventDragLeave(DragRef drag, OSStatus& result)
{
    Inherited::EventDragLeave(drag, result);
    trackingNode_ = nullptr;
}

bool TBrowser::HandleAcceptDrag(DragRef dragRef, DataBrowserItemID)
{
    TDrag* drag = TDrag::Create(dragRef);
    const bool accepted = trackingNode_ != nullptr ? true : HandleAcceptDrag(drag);
    drag->Release();
    return accepted;
}

bool TBrowser::HandleReceiveDrag(DragRef dragRef, DataBrowserItemID)
{
    TDrag* drag = TDrag::Create(dragRef);
    bool received;
    if (trackingNode_ == nullptr) {
        received = HandleReceiveDrag(drag);
    } else {
        TBrowserNode* node = trackingNode_;
        node->Retain();
        if (node->IsExpandable())
            node->HandleReceiveDrag(drag);
        else if (TBrowserNode* container = node->GetContainer())
            container->HandleReceiveDrag(drag);
        else
            ReceiveDrag(drag);
        node->Release();
        trackingNode_ = nullptr;
        received = true;
    }
    drag->Release();
    return received;
}

bool TBrowser::HandleAddDragItem(DragRef dragRef, DataBrowserItemID item, ItemReference* itemRef)
{
    TBrowserNode* node = GetNode(item);
    if (node == nullptr || itemRef == nullptr)
        return false;
    TDrag* drag = TDrag::Create(dragRef, *itemRef);
    bool added = false;
    if (node->HandleAddDragItem(drag)) {
        drag->AddFlavor(kBrowserItemFlavor, &item, sizeof item);
        TBrowserNode* reference = node;
        drag->AddFlavor(kBrowserNodeFlavor, &reference, sizeof reference);
        if (drag->GetCount() == CountSelection())
            CreateDragImage(item, dragRef);
        added = true;
    }
    drag->Release();
    return added;
}

void TBrowser::CreateDragImage(DataBrowserItemID, DragRef dragRef)
{
    const CGRect frame = GetFrame();
    SetDrawingDragImage(true);
    if (GetDragColumn() == 0)
        Diagnostics::WriteLine("Warning: the drag column has not been set which will affect drawing.");
    TTypeArray* selection = CopySelection();
    if (selection != nullptr) {
        Ptr buffer = nullptr;
        CGContextRef context = CGBitmapContextCreate(frame.size, buffer);
        if (context != nullptr) {
            const CGFloat width = std::trunc(frame.size.width), height = std::trunc(frame.size.height);
            CGContextClearRect(context, CGRectMake(0, 0, width, height));
            if (HasOption(kDataBrowserOptionWholeDragImage)) {
                HandleDrawDragImage(0, 0, 0, CGRectMake(0, 0, width, height), context);
            } else {
                const UInt16 rowHeight = GetRowHeight();
                for (SInt32 i = 0; i < selection->Count(); ++i) {
                    const DataBrowserItemID item = DataBrowserSelectionItem(selection, i);
                    TBrowserNode* node = GetNode(item);
                    if (node == nullptr)
                        continue;
                    const CGRect enclosing = PartBounds(this, item, GetDragColumn(), kDataBrowserPropertyEnclosingPart);
                    const CGRect content = PartBounds(this, item, GetDragColumn(), kDataBrowserPropertyContentPart);
                    const CGRect cell =
                        CGRectMake(content.origin.x, height - rowHeight - enclosing.origin.y, width, rowHeight);
                    SetDrawCell(0, 0, cell, context);
                    node->HandleDrawDragImage(0, 0, cell, context);
                }
            }
            CGImageRef image = CGBitmapContextCreateImage(context);
            const Point click = GetClickPoint();
            const CGPoint inControl = ConvertPointFromWindow(CGPointMake(click.h, click.v));
            const HIPoint offset = {-inControl.x, -inControl.y};
            if (image != nullptr) {
                SetDragImageWithCGImage(dragRef, image, &offset, kDragStandardTranslucency);
                CGImageRelease(image);
            }
            CGContextRelease(context);
        }
        if (buffer != nullptr)
            DisposePtr(buffer);
        selection->Release();
    }
    SetDrawingDragImage(false);
}
