#include "TListBrowserUnit.h"

#include <ApplicationFramework/Classes/TDragUnit.h>
#include <Units/Classes/TArchiverUnit.h>
#include <Units/Utilities/CarbonUtilities.h>

#include <algorithm>
#include <vector>

BRINDLET_DEFINE_CLASS(TListDataSource, TBrowserDataSource)
BRINDLET_DEFINE_CLASS(TListNode, TBrowserNode)
BRINDLET_DEFINE_CLASS(TIconTextListNode, TListNode)
BRINDLET_DEFINE_CLASS(TListBrowser, TBrowser)

void InitializeTListBrowserUnit()
{
    RegisterClass(TListNode::StaticClass());
    RegisterClass(TIconTextListNode::StaticClass());
    RegisterClass(TListDataSource::StaticClass());
}

// ---- list data source ----

void TListDataSource::Initialize()
{
    Inherited::Initialize();
    if (nodes_ == nullptr)
        nodes_ = TObjectArray::Create();
}

void TListDataSource::Deallocate()
{
    ReleaseObject(nodes_);
    ReleaseObject(indexed_);
    Inherited::Deallocate();
}

void TListDataSource::EncodeData(TArchiver* archiver)
{
    Inherited::EncodeData(archiver);
    if (nodes_ == nullptr)
        return;
    for (SInt32 i = 0; i < nodes_->Count(); ++i)
        static_cast<TBrowserNode*>(nodes_->GetValue(i))->ArchiveObject(archiver);
}

void TListDataSource::DecodeData(TArchiver* archiver)
{
    Inherited::DecodeData(archiver);
    if (nodes_ == nullptr)
        nodes_ = TObjectArray::Create();
    for (SInt32 i = 0; i <= archiver->Limit(); ++i) {
        TBrowserNode* node = AllocateFromArchiveAs<TBrowserNode>(archiver, i, nullptr);
        if (node == nullptr)
            continue;
        Append(node);
        node->Release();
    }
}

void TListDataSource::Append(TBrowserNode* node)
{
    if (node == nullptr)
        return;
    if (nodes_ == nullptr)
        nodes_ = TObjectArray::Create();
    node->SetDataSource(this);
    nodes_->AppendValue(node);
    node->HandleAddedToSource();
}

void TListDataSource::InsertAtIndex(SInt32 index, TBrowserNode* node)
{
    if (node == nullptr)
        return;
    if (nodes_ == nullptr)
        nodes_ = TObjectArray::Create();
    node->SetDataSource(this);
    index = std::clamp<SInt32>(index, 0, nodes_->Count());
    if (index == nodes_->Count())
        nodes_->AppendValue(node);
    else
        nodes_->InsertValue(index, node);
    node->HandleAddedToSource();
}

void TListDataSource::RemoveAIndex(SInt32 index)
{
    if (nodes_ != nullptr)
        nodes_->Remove(index);
}

SInt32 TListDataSource::RowCount()
{
    return nodes_ != nullptr ? nodes_->Count() : 0;
}

UInt32 TListDataSource::CountNodes()
{
    return static_cast<UInt32>(RowCount());
}

TObjectArray* TListDataSource::GetNodes()
{
    return nodes_;
}

TBrowserNode* TListDataSource::GetValue(SInt32 index)
{
    return nodes_ != nullptr ? static_cast<TBrowserNode*>(nodes_->GetValue(index)) : nullptr;
}

SInt32 TListDataSource::Limit()
{
    return RowCount() - 1;
}

void TListDataSource::UpdateIndexing()
{
    if (nodes_ == nullptr)
        return;
    for (SInt32 i = 0; i < nodes_->Count(); ++i)
        static_cast<TBrowserNode*>(nodes_->GetValue(i))->SetID(static_cast<DataBrowserItemID>(i + 1));
    // IDs answer for the nodes they were given to until the next renumbering,
    // so that what the browsers still show finds its node.
    TObjectArray* indexed = TObjectArray::Create(nodes_);
    ReleaseObject(indexed_);
    indexed_ = indexed;
}

void TListDataSource::Reload()
{
    Retain();
    std::vector<TDataBrowser*> browsers;
    for (SInt32 b = 0; b < CountBrowsers(); ++b)
        browsers.push_back(GetBrowser(b));
    for (TDataBrowser* browser : browsers) {
        browser->Retain();
        browser->BeginSelectionBatch();
    }
    for (TDataBrowser* browser : browsers)
        browser->RemoveAll();
    UpdateIndexing();
    for (TDataBrowser* browser : browsers) {
        std::vector<DataBrowserItemID> items;
        for (SInt32 i = 0; i < RowCount(); ++i) {
            TBrowserNode* node = GetValue(i);
            if (FilterNode(node, browser))
                items.push_back(node->GetID());
        }
        if (!items.empty())
            Err = AddDataBrowserItems(browser->GetControlRef(), kDataBrowserNoItem, items.size(), items.data(),
                                      kDataBrowserItemNoProperty);
        if (browser->HasOption(kDataBrowserOptionAutomaticHeight))
            browser->AdjustViewHeight(0);
    }
    for (TDataBrowser* browser : browsers) {
        browser->EndSelectionBatch();
        browser->Release();
    }
    Release();
}

void TListDataSource::RemoveAll()
{
    if (nodes_ != nullptr)
        nodes_->RemoveAll();
}

bool TListDataSource::TestDataSource()
{
    if (nodes_ == nullptr)
        return false;
    for (SInt32 b = 0; b < CountBrowsers(); ++b)
        if (GetBrowser(b)->IsDataSourceMissing())
            return false;
    return true;
}

TBrowserNode* TListDataSource::GetNode(DataBrowserItemID id)
{
    if (id == 0 || indexed_ == nullptr)
        return nullptr;
    return static_cast<TBrowserNode*>(indexed_->GetValue(static_cast<SInt32>(id - 1)));
}

// ---- list node ----

namespace {

TListDataSource* ListSourceOf(TBrowserNode* node)
{
    TBrowserDataSource* source = node->GetDataSource();
    return MemberOfClass(source, TListDataSource::StaticClass()) ? static_cast<TListDataSource*>(source) : nullptr;
}

SInt32 PositionOf(TListDataSource* source, TBrowserNode* node)
{
    return source != nullptr && source->GetNodes() != nullptr ? source->GetNodes()->GetIndex(node) : -1;
}

}  // namespace

void TListNode::Update()
{
    if (TDataBrowser* browser = GetBrowser())
        browser->UpdateItem(GetID(), kDataBrowserNoItem);
}

void TListNode::Remove()
{
    Retain();
    Inherited::Remove();
    // By identity: the node's ID may be stale once others went before it.
    TListDataSource* source = ListSourceOf(this);
    const SInt32 position = PositionOf(source, this);
    if (position >= 0)
        source->RemoveAIndex(position);
    Release();
}

bool TListNode::HandleArrangeRow(TBrowserNode* other)
{
    if (!Inherited::HandleArrangeRow(other) || other == this)
        return false;
    TListDataSource* source = ListSourceOf(this);
    const SInt32 position = PositionOf(source, this);
    if (position < 0)
        return true;
    if (GetTrackingPart() == kDataBrowserTrackingAfter && source->GetValue(position + 1) == other)
        return false;
    if (GetTrackingPart() == kDataBrowserTrackingBefore && position > 0 && source->GetValue(position - 1) == other)
        return false;
    return true;
}

// ---- icon-and-text node ----

void TIconTextListNode::Deallocate()
{
    if (text_ != nullptr)
        CFRelease(text_);
    text_ = nullptr;
    if (icon_ != nullptr)
        ReleaseIconRef(icon_);
    icon_ = nullptr;
    if (image_ != nullptr)
        CGImageRelease(image_);
    image_ = nullptr;
    Inherited::Deallocate();
}

void TIconTextListNode::EncodeData(TArchiver* archiver)
{
    Inherited::EncodeData(archiver);
    archiver->SetValue("node.text", text_ != nullptr ? text_ : CFSTR(""));
}

void TIconTextListNode::DecodeData(TArchiver* archiver)
{
    Inherited::DecodeData(archiver);
    CFStringRef text = archiver->CopyStringValue("node.text");
    SetText(text);
    if (text != nullptr)
        CFRelease(text);
}

CFStringRef TIconTextListNode::GetText()
{
    return text_;
}

IconRef TIconTextListNode::GetIcon()
{
    return icon_;
}

void TIconTextListNode::SetText(CFStringRef text)
{
    CFStringRef copy = text != nullptr ? CFStringCreateCopy(nullptr, text) : nullptr;
    if (text_ != nullptr)
        CFRelease(text_);
    text_ = copy;
}

void TIconTextListNode::SetIcon(IconRef icon)
{
    if (icon != nullptr)
        AcquireIconRef(icon);
    if (icon_ != nullptr)
        ReleaseIconRef(icon_);
    icon_ = icon;
}

void TIconTextListNode::SetImage(CGImageRef image)
{
    if (image != nullptr)
        CGImageRetain(image);
    if (image_ != nullptr)
        CGImageRelease(image_);
    image_ = image;
}

void TIconTextListNode::HandleEditedText(CFStringRef text)
{
    SetText(text);
}

void TIconTextListNode::SetItemData(DataBrowserPropertyID, DataBrowserItemDataRef itemData)
{
    SetDataBrowserItemDataText(itemData, text_ != nullptr ? text_ : CFSTR(""));
    if (icon_ != nullptr)
        SetDataBrowserItemDataIcon(itemData, icon_);
}

void TIconTextListNode::SetItemText(DataBrowserPropertyID, CFStringRef text)
{
    SetText(text);
}

bool TIconTextListNode::HandleHitTest(CGRect rect, CGRect mouseRect)
{
    TDataBrowser* browser = GetBrowser();
    return browser != nullptr && browser->IconTextHitTest(text_ != nullptr ? text_ : CFSTR(""), rect, mouseRect);
}

void TIconTextListNode::HandleDrawItem(DataBrowserPropertyID property, DataBrowserItemState state, CGRect rect,
                                       CGContextRef context)
{
    TDataBrowser* browser = GetBrowser();
    if (browser == nullptr)
        return;
    if (icon_ != nullptr)
        browser->DrawIconTextCell(icon_, text_, false, property, GetID(), state, rect, context);
    else
        browser->DrawImageTextCell(image_, text_, false, property, GetID(), state, rect, context);
}

// ---- list browser ----

void TListBrowser::Initialize()
{
    Inherited::Initialize();
    if (HasOption(kDataBrowserOptionListSource)) {
        TListDataSource* source = TListDataSource::Create();
        SetDataSource(source);
        source->Release();
    }
    SetDisclosureColumn(kDataBrowserItemNoProperty);
}

void TListBrowser::Reload()
{
    TBrowserDataSource* source = GetSource();
    if (source == nullptr)
        return;
    source->SetActiveBrowser(this);
    source->Reload();
}

void TListBrowser::Append(TBrowserNode* node)
{
    if (TListDataSource* source = GetDataSource())
        source->Append(node);
}

TListDataSource* TListBrowser::GetDataSource()
{
    TBrowserDataSource* source = GetSource();
    return MemberOfClass(source, TListDataSource::StaticClass()) ? static_cast<TListDataSource*>(source) : nullptr;
}

TObjectArray* TListBrowser::GetList()
{
    TListDataSource* source = GetDataSource();
    return source != nullptr ? source->GetNodes() : nullptr;
}

void TListBrowser::InsertDrag(TBrowserNode* node)
{
    TListDataSource* source = GetDataSource();
    if (source == nullptr || node == nullptr)
        return;
    node->Retain();
    TBrowserNode* tracking = GetTrackingNode();
    const SInt32 at = tracking != nullptr ? PositionOf(source, tracking) : -1;
    if (at >= 0)
        source->InsertAtIndex(tracking->GetTrackingPart() == kDataBrowserTrackingBefore ? at : at + 1, node);
    else
        source->Append(node);
    Reload();
    node->HandleMoved();
    node->Select();
    node->Release();
}

bool TListBrowser::ReceiveDrag(TDrag* drag)
{
    bool answer = Inherited::ReceiveDrag(drag);
    TListDataSource* source = GetDataSource();
    if (source == nullptr || drag == nullptr)
        return answer;
    TBrowserNode* tracking = GetTrackingNode();
    const SInt16 part = tracking != nullptr ? tracking->GetTrackingPart() : kDataBrowserTrackingNone;
    // Rows dropped after a row follow one another in drag order.
    TBrowserNode* anchor = tracking;
    TObjectArray* moved = TObjectArray::Create();
    const UInt16 count = drag->GetCount();
    for (UInt16 index = 1; index <= count; ++index) {
        if (!drag->ContainsFlavor(index, kBrowserNodeFlavor))
            continue;
        // Only nodes of this list move; the reference is checked before use.
        TBrowserNode* node = BrowserNodeFromDrag(drag, index);
        if (node == nullptr || node == tracking || PositionOf(source, node) < 0)
            continue;
        moved->AppendValue(node);
        node->Remove();
        const SInt32 at = anchor != nullptr ? PositionOf(source, anchor) : -1;
        if (at < 0) {
            source->Append(node);
        } else if (part == kDataBrowserTrackingBefore) {
            source->InsertAtIndex(at, node);
        } else {
            source->InsertAtIndex(at + 1, node);
            anchor = node;
        }
        source->UpdateIndexing();
    }
    if (moved->Count() > 0) {
        static_cast<TBrowserNode*>(moved->GetLastValue())->HandleMoved();
        Reload();
        std::vector<DataBrowserItemID> items;
        for (SInt32 i = 0; i < moved->Count(); ++i)
            items.push_back(static_cast<TBrowserNode*>(moved->GetValue(i))->GetID());
        BeginSelectionBatch();
        Err = SetDataBrowserSelectedItems(GetControlRef(), items.size(), items.data(), kDataBrowserItemsAdd);
        EndSelectionBatch();
        answer = true;
    }
    moved->Release();
    return answer;
}
