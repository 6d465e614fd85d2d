// Reading a whole pasteboard in tests: its items, each as its flavour types.
#pragma once

#include <CFTestSupport.h>

#include <HIServices/HIServices.h>

#include <string>
#include <vector>

struct PasteboardItemSummary {
    PasteboardItemID id = nullptr;
    std::vector<std::string> flavors;
};

inline std::vector<PasteboardItemSummary> ItemsOf(PasteboardRef pasteboard)
{
    std::vector<PasteboardItemSummary> items;
    ItemCount count = 0;
    if (PasteboardGetItemCount(pasteboard, &count) != noErr)
        return items;
    for (CFIndex index = 1; index <= static_cast<CFIndex>(count); ++index) {
        PasteboardItemSummary item;
        if (PasteboardGetItemIdentifier(pasteboard, index, &item.id) != noErr)
            return items;
        CFArrayRef raw = nullptr;
        if (PasteboardCopyItemFlavors(pasteboard, item.id, &raw) != noErr)
            return items;
        CFRef<CFArrayRef> types(raw);
        for (CFIndex i = 0; i < CFArrayGetCount(types); ++i)
            item.flavors.push_back(UTF8Of(static_cast<CFStringRef>(CFArrayGetValueAtIndex(types, i))));
        items.push_back(std::move(item));
    }
    return items;
}

// The flavour's bytes; `status` gets the call's status.
inline std::string FlavorBytes(PasteboardRef pasteboard, PasteboardItemID item, const char* flavor,
                               OSStatus* status = nullptr)
{
    CFDataRef raw = nullptr;
    const OSStatus result = PasteboardCopyItemFlavorData(pasteboard, item, CFSTR(flavor), &raw);
    if (status != nullptr)
        *status = result;
    CFRef<CFDataRef> data(raw);
    return BytesOf(data);
}

inline PasteboardItemID ItemID(uintptr_t n)
{
    return reinterpret_cast<PasteboardItemID>(n);
}

inline CFRef<PasteboardRef> MakePasteboard(CFStringRef name)
{
    PasteboardRef pasteboard = nullptr;
    PasteboardCreate(name, &pasteboard);
    return CFRef<PasteboardRef>(pasteboard);
}
