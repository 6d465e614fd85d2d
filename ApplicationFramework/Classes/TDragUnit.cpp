#include "TDragUnit.h"

#include <Units/CrossPlatform/ToolboxAll.h>
#include <Units/Utilities/CFUtilities.h>
#include <Units/Utilities/CGUtilities.h>
#include <Units/Utilities/CarbonUtilities.h>
#include <Units/Utilities/FSUtilities.h>

#include <CarbonCore/MacMemory.h>
#include <CoreFoundation/CFRef.h>
#include <CoreServices/UTCoreTypes.h>

#include <cstring>

BRINDLET_DEFINE_CLASS(TDrag, TObject)

namespace {

CGPoint PointToQuartz(Point point)
{
    return CGPointMake(point.h, point.v);
}

}  // namespace

TDrag* TDrag::Create()
{
    TDrag* object = CreateInstance<TDrag>();
    NewDrag(&object->drag_);
    object->ownsDrag_ = object->drag_ != nullptr;
    return object;
}

TDrag* TDrag::Create(DragRef drag, DragItemRef item)
{
    TDrag* object = CreateInstance<TDrag>();
    object->drag_ = drag;
    object->item_ = item;
    return object;
}

void TDrag::Deallocate()
{
    if (ownsDrag_ && drag_)
        DisposeDrag(drag_);
    drag_ = nullptr;
    Inherited::Deallocate();
}

void TDrag::Show()
{
    for (UInt16 index = 1; index <= GetCount(); ++index) {
        TPointerDictionary* flavors = CopyFlavors(index);
        flavors->Show();
        flavors->Release();
    }
}

// ---- starting a drag ----

void TDrag::Track(EventRef event)
{
    EventRecord record;
    if (!ConvertEventRefToEventRecord(event, &record))
        return;
    RgnHandle region = NewRgn();
    TrackDrag(drag_, &record, region);
    DisposeRgn(region);
}

void TDrag::SetImage(CGImageRef image, CGPoint offset)
{
    SetImage(image, offset, false);
}

void TDrag::SetImage(CGImageRef image, CGPoint offset, bool opaque)
{
    const HIPoint at = offset;
    SetDragImageWithCGImage(drag_, image, &at, opaque ? kDragOpaqueTranslucency : kDragStandardTranslucency);
}

void TDrag::SetMouse(CGPoint point)
{
    SetDragMouse(drag_, Point{SInt16(point.y), SInt16(point.x)});
}

void TDrag::AddFlavor(FlavorType type, const void* data, Size size)
{
    AddFlavor(item_, type, data, size);
}

void TDrag::AddFlavor(DragItemRef item, FlavorType type, const void* data, Size size)
{
    Err = AddDragItemFlavor(drag_, item, type, data, size, 0);
}

void TDrag::AddFSRef(const FSRef& ref)
{
    AddFSRef(item_, ref);
}

void TDrag::AddFSRef(DragItemRef item, const FSRef& ref)
{
    Ptr url = FSCreateFURL(ref);
    if (!url)
        return;
    AddFlavor(item, typeFileURL, url, GetPtrSize(url));
    ReleasePtr(url);
}

void TDrag::AddCFString(CFStringRef text)
{
    AddCFString(item_, text);
}

void TDrag::AddCFString(DragItemRef item, CFStringRef text)
{
    char* bytes = CFStringCopyCString(text, kCFStringEncodingUTF8);
    if (!bytes)
        return;
    AddFlavor(item, typeUTF8Text, bytes, Size(std::strlen(bytes)));
    Ptr block = bytes;
    ReleasePtr(block);
}

void TDrag::AddCGImage(CGImageRef image)
{
    AddCGImage(item_, image);
}

void TDrag::AddCGImage(DragItemRef item, CGImageRef image)
{
    Ptr bytes = CGImageCopyBytes(image, kUTTypeTIFF);
    if (!bytes)
        return;
    AddFlavor(item, kScrapFlavorTypeTIFF, bytes, GetPtrSize(bytes));
    ReleasePtr(bytes);
}

// ---- inspecting a drag ----

UInt16 TDrag::GetCount()
{
    UInt16 count = 0;
    Err = CountDragItems(drag_, &count);
    return count;
}

UInt16 TDrag::Limit()
{
    return GetCount();
}

CGPoint TDrag::GetMouse()
{
    Point mouse = {};
    GetDragMouse(drag_, &mouse, nullptr);
    return PointToQuartz(mouse);
}

CGPoint TDrag::GetGlobalPinnedMouse()
{
    Point pinned = {};
    GetDragMouse(drag_, nullptr, &pinned);
    return PointToQuartz(pinned);
}

CGPoint TDrag::GetOrigin()
{
    Point origin = {};
    GetDragOrigin(drag_, &origin);
    return PointToQuartz(origin);
}

DragRef TDrag::GetDragRef()
{
    return drag_;
}

SInt16 TDrag::GetModifiers()
{
    SInt16 modifiers = 0;
    GetDragModifiers(drag_, &modifiers, nullptr, nullptr);
    return modifiers;
}

CGRect TDrag::GetItemBounds(UInt16 index)
{
    Rect bounds = {};
    const DragItemRef item = ItemAt(index);
    if (Err == noErr)
        GetDragItemBounds(drag_, item, &bounds);
    return CGRectMake(bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top);
}

DragItemRef TDrag::ItemAt(UInt16 index)
{
    DragItemRef item = 0;
    Err = GetDragItemReferenceNumber(drag_, index, &item);
    return Err == noErr ? item : 0;
}

bool TDrag::ContainsFlavor(FlavorType type)
{
    const UInt16 count = GetCount();
    for (UInt16 index = 1; index <= count; ++index)
        if (ContainsFlavor(index, type))
            return true;
    return false;
}

bool TDrag::ContainsFlavor(UInt16 index, FlavorType type)
{
    const DragItemRef item = ItemAt(index);
    if (Err != noErr)
        return false;
    FlavorFlags flags = 0;
    return GetFlavorFlags(drag_, item, type, &flags) == noErr;
}

Size TDrag::GetFlavorSize(UInt16 index, FlavorType type)
{
    const DragItemRef item = ItemAt(index);
    if (Err != noErr)
        return 0;
    Size size = 0;
    return GetFlavorDataSize(drag_, item, type, &size) == noErr ? size : 0;
}

bool TDrag::GetFlavor(UInt16 index, FlavorType type, void* buffer, Size bufferSize)
{
    const Size size = GetFlavorSize(index, type);
    if (!buffer || bufferSize < 0 || size > bufferSize || (size == 0 && !ContainsFlavor(index, type)))
        return false;
    Size copied = size;
    return GetFlavorData(drag_, ItemAt(index), type, buffer, &copied, 0) == noErr && copied == size;
}

Ptr TDrag::CopyFlavor(UInt16 index, FlavorType type)
{
    const DragItemRef item = ItemAt(index);
    if (Err != noErr)
        return nullptr;
    UInt16 count = 0;
    Err = CountDragItemFlavors(drag_, item, &count);
    if (Err != noErr)
        return nullptr;
    for (UInt16 flavor = 1; flavor <= count; ++flavor) {
        FlavorType found = 0;
        Size size = 0;
        if (GetFlavorType(drag_, item, flavor, &found) != noErr || (type != 0 && found != type))
            continue;
        if (GetFlavorDataSize(drag_, item, found, &size) != noErr)
            continue;
        Ptr block = NewPtr(size);
        Size copied = size;
        if (block && GetFlavorData(drag_, item, found, block, &copied, 0) == noErr && copied == size)
            return block;
        if (block)
            ReleasePtr(block);
    }
    return nullptr;
}

TPointerDictionary* TDrag::CopyFlavors(UInt16 index)
{
    TPointerDictionary* flavors = TPointerDictionary::Create();
    const DragItemRef item = ItemAt(index);
    if (Err != noErr)
        return flavors;
    UInt16 count = 0;
    Err = CountDragItemFlavors(drag_, item, &count);
    if (Err != noErr)
        return flavors;
    for (UInt16 flavor = 1; flavor <= count; ++flavor) {
        FlavorType type = 0;
        if (GetFlavorType(drag_, item, flavor, &type) != noErr)
            continue;
        Size size = 0;
        if (GetFlavorDataSize(drag_, item, type, &size) != noErr)
            continue;
        Ptr block = NewPtr(size);
        Size copied = size;
        if (!block || GetFlavorData(drag_, item, type, block, &copied, 0) != noErr || copied != size) {
            if (block)
                ReleasePtr(block);
            continue;
        }
        const UInt8 code[4] = {UInt8(type >> 24), UInt8(type >> 16), UInt8(type >> 8), UInt8(type)};
        CFRef<CFStringRef> key(CFStringCreateWithBytes(nullptr, code, 4, kCFStringEncodingMacRoman, false));
        flavors->SetValue(static_cast<CFStringRef>(key), block);  // the dictionary owns the block
    }
    return flavors;
}

TPointerArray* TDrag::CopyFlavorArray(FlavorType type)
{
    TPointerArray* list = TPointerArray::Create();
    const UInt16 count = GetCount();
    for (UInt16 index = 1; index <= count; ++index) {
        // An item without the flavour keeps its place as a nil entry, so that
        // entry i − 1 is item i (AppendValue leaves nil out).
        Ptr block = CopyFlavor(index, type);
        CFArrayAppendValue(const_cast<CFMutableArrayRef>(list->CFType()), block);
    }
    return list;
}

// ---- the program's values ----

bool TDrag::GetFSRefFlavor(UInt16 index, FSRef& ref)
{
    HFSFlavor record;
    if (GetFlavorSize(index, kDragFlavorTypeHFS) != Size(sizeof record) ||
        !GetFlavor(index, kDragFlavorTypeHFS, &record, sizeof record))
        return false;
    record.fileRef.path[sizeof record.fileRef.path - 1] = 0;
    // The file must still be where the record says.
    FSRef made;
    if (FSPathMakeRef(reinterpret_cast<const UInt8*>(record.fileRef.path), &made, nullptr) != noErr)
        return false;
    ref = made;
    return true;
}

CFStringRef TDrag::CopyCFStringFlavor(UInt16 index)
{
    return CopyCFStringFlavor(index, typeUTF8Text);
}

CFStringRef TDrag::CopyCFStringFlavor(UInt16 index, FlavorType type)
{
    Ptr bytes = CopyFlavor(index, type);
    if (!bytes)
        return nullptr;
    // The text is exactly the flavour's bytes: no terminator is looked for.
    CFStringRef text = CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(bytes),
                                               CFIndex(GetPtrSize(bytes)), kCFStringEncodingUTF8, false);
    ReleasePtr(bytes);
    return text;
}

CGImageRef TDrag::CopyCGImageFlavor(UInt16 index)
{
    for (FlavorType type : {kScrapFlavorTypeTIFF, kScrapFlavorTypePNG}) {
        if (!ContainsFlavor(index, type))
            continue;
        Ptr bytes = CopyFlavor(index, type);
        CGImageRef image = bytes ? CGImageCreateWithBytes(bytes) : nullptr;
        if (bytes)
            ReleasePtr(bytes);
        return image;
    }
    return nullptr;
}
