#include "TPasteboardUnit.h"

#include <CoreFoundation/CFRef.h>
#include <Support/Diagnostics.h>

#include <string>
#include <vector>

BRINDLET_DEFINE_CLASS(TPasteboard, TObject)

namespace {

// The flavour's whole text for the warnings, however long it is.
std::string FlavorText(CFStringRef flavor)
{
    if (flavor == nullptr || CFGetTypeID(flavor) != CFStringGetTypeID())
        return "(null)";
    const CFIndex size = CFStringGetMaximumSizeForEncoding(CFStringGetLength(flavor), kCFStringEncodingUTF8) + 1;
    std::vector<char> buffer(static_cast<size_t>(size), '\0');
    if (!CFStringGetCString(flavor, buffer.data(), size, kCFStringEncodingUTF8))
        return {};
    return buffer.data();
}

void WarnMissingFlavor(CFStringRef flavor)
{
    Diagnostics::WriteLine("Warning: The flavor " + FlavorText(flavor) + " does not exist.");
}

void WarnMissingFlavor(CFStringRef flavor, CFIndex index)
{
    Diagnostics::WriteLine("Warning: The flavor " + FlavorText(flavor) + " at index " + std::to_string(index) +
                           " does not exist.");
}

}  // namespace

TPasteboard* TPasteboard::CreateClipboard()
{
    TPasteboard* pasteboard = Allocate();
    pasteboard->RequestInitialization();
    return pasteboard;
}

void TPasteboard::Initialize()
{
    Inherited::Initialize();
    if (pasteboard_ == nullptr)
        Err = PasteboardCreate(kPasteboardClipboard, &pasteboard_);
}

void TPasteboard::Deallocate()
{
    if (pasteboard_ != nullptr) {
        CFRelease(pasteboard_);
        pasteboard_ = nullptr;
    }
    Inherited::Deallocate();
}

void TPasteboard::PutFlavor(const void* bytes, Size length, const ShortString& flavor, PasteboardFlavorFlags flags)
{
    PutFlavor(bytes, length, CFSTR(flavor), flags);
}

void TPasteboard::PutFlavor(const void* bytes, Size length, CFStringRef flavor, PasteboardFlavorFlags flags)
{
    // Bytes that cannot be read are refused like any other failed put,
    // rather than read from nowhere.
    if (length < 0 || (bytes == nullptr && length > 0)) {
        Err = paramErr;
        Diagnostics::WriteLine("Warning: PasteboardPutItemFlavor error " + std::to_string(Err));
        return;
    }
    CFRef<CFDataRef> data(CFDataCreate(nullptr, static_cast<const UInt8*>(bytes), length));
    PutFlavor(data.get(), flavor, flags);
}

void TPasteboard::PutFlavor(CFDataRef data, CFStringRef flavor, PasteboardFlavorFlags flags)
{
    Err = PasteboardPutItemFlavor(pasteboard_, kTPasteboardItem, flavor, data, flags);
    if (Err != noErr)
        Diagnostics::WriteLine("Warning: PasteboardPutItemFlavor error " + std::to_string(Err));
}

Ptr TPasteboard::CopyFlavor(const ShortString& flavor)
{
    return CopyFlavor(CFSTR(flavor));
}

Ptr TPasteboard::CopyFlavor(CFStringRef flavor)
{
    PasteboardItemID item = nullptr;
    if (!ContainsFlavor(flavor, item)) {
        WarnMissingFlavor(flavor);
        return nullptr;
    }
    // The item may hold a more particular kind than the one asked for (a
    // PNG for public.image): its data is what the caller wants.
    CFRef<CFStringRef> found(CopyConformingFlavor(item, flavor));
    if (!found)
        return nullptr;
    CFDataRef raw = nullptr;
    Err = PasteboardCopyItemFlavorData(pasteboard_, item, found, &raw);
    CFRef<CFDataRef> data(raw);
    return NewBlockWithData(data);
}

Ptr TPasteboard::CopyFlavor(CFIndex index, CFStringRef flavor)
{
    CFRef<CFDataRef> data(CopyFlavorData(index, flavor));
    return NewBlockWithData(data);
}

CFDataRef TPasteboard::CopyFlavorData(CFIndex index, CFStringRef flavor)
{
    PasteboardItemID item = nullptr;
    Err = PasteboardGetItemIdentifier(pasteboard_, index, &item);
    if (Err != noErr) {
        WarnMissingFlavor(flavor, index);
        return nullptr;
    }
    CFDataRef data = nullptr;
    Err = PasteboardCopyItemFlavorData(pasteboard_, item, flavor, &data);
    return data;
}

bool TPasteboard::ContainsFlavor(const ShortString& flavor)
{
    return ContainsFlavor(CFSTR(flavor));
}

bool TPasteboard::ContainsFlavor(CFStringRef flavor)
{
    PasteboardItemID item = nullptr;
    return ContainsFlavor(flavor, item);
}

bool TPasteboard::ContainsFlavor(CFStringRef flavor, PasteboardItemID& item)
{
    item = nullptr;
    bool found = false;
    ItemCount count = 0;
    Err = PasteboardGetItemCount(pasteboard_, &count);
    for (CFIndex index = 1; index <= static_cast<CFIndex>(count); ++index) {
        PasteboardItemID candidate = nullptr;
        Err = PasteboardGetItemIdentifier(pasteboard_, index, &candidate);
        if (Err != noErr)
            continue;
        CFArrayRef raw = nullptr;
        Err = PasteboardCopyItemFlavors(pasteboard_, candidate, &raw);
        CFRef<CFArrayRef> types(raw);
        if (Err != noErr || !types)
            continue;
        for (CFIndex i = 0; i < CFArrayGetCount(types); ++i) {
            if (UTTypeConformsTo(static_cast<CFStringRef>(CFArrayGetValueAtIndex(types, i)), flavor)) {
                // Go on: when several items carry the type, the last one counts.
                item = candidate;
                found = true;
                break;
            }
        }
    }
    return found;
}

OSStatus TPasteboard::Clear()
{
    Err = PasteboardClear(pasteboard_);
    return Err;
}

void TPasteboard::Show()
{
    ItemCount count = 0;
    if (PasteboardGetItemCount(pasteboard_, &count) != noErr)
        return;
    for (CFIndex index = 1; index <= static_cast<CFIndex>(count); ++index) {
        PasteboardItemID item = nullptr;
        if (PasteboardGetItemIdentifier(pasteboard_, index, &item) != noErr)
            continue;
        CFArrayRef raw = nullptr;
        if (PasteboardCopyItemFlavors(pasteboard_, item, &raw) != noErr)
            continue;
        CFRef<CFArrayRef> types(raw);
        for (CFIndex i = 0; i < CFArrayGetCount(types); ++i)
            CFShow(CFArrayGetValueAtIndex(types, i));
    }
}

CFStringRef TPasteboard::CopyConformingFlavor(PasteboardItemID item, CFStringRef flavor)
{
    CFArrayRef raw = nullptr;
    Err = PasteboardCopyItemFlavors(pasteboard_, item, &raw);
    CFRef<CFArrayRef> types(raw);
    if (!types)
        return nullptr;
    CFStringRef conforming = nullptr;
    for (CFIndex i = 0; i < CFArrayGetCount(types); ++i) {
        auto type = static_cast<CFStringRef>(CFArrayGetValueAtIndex(types, i));
        if (UTTypeEqual(type, flavor))
            return static_cast<CFStringRef>(CFRetain(type));
        if (conforming == nullptr && UTTypeConformsTo(type, flavor))
            conforming = type;
    }
    return conforming ? static_cast<CFStringRef>(CFRetain(conforming)) : nullptr;
}

Ptr TPasteboard::NewBlockWithData(CFDataRef data)
{
    if (data == nullptr)
        return nullptr;
    const Size length = CFDataGetLength(data);
    Ptr block = NewPtr(length);
    if (block == nullptr) {
        Err = MemError();
        return nullptr;
    }
    BlockMoveData(CFDataGetBytePtr(data), block, length);
    return block;
}

void InitializeTPasteboardUnit()
{
    RegisterClass(TPasteboard::StaticClass());
}
