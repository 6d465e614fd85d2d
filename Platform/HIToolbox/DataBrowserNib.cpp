// Data browsers described in nibs (kind "datb"). Besides the common keys:
//
//   ViewStyle         "list" (default) or "column" (shown as a list, with a warning)
//   Columns           array of dictionaries, in order:
//     Property          four characters (required)
//     Type              "text" (default), "icon", "iconText", "checkbox", "custom"
//     Title             string
//     Width             integer 1…32767
//     Editable, Sortable   booleans (false when absent)
//   DisclosureColumn  four characters: the column that shows the outline
//   RowHeight         integer 1…1024
//   HeaderHeight      integer 0…1024 (0: no header)
//
// A value of the wrong type or out of range makes the view fail
// (errDataBrowserInvalidPropertyData), so a nib never half-builds a browser.
#include "DataBrowser.h"
#include "Nibs.h"

#include <CoreFoundation/CFStringUTF8.h>

#include <optional>
#include <string>

namespace {

CFTypeRef Value(CFDictionaryRef d, const char* key)
{
    CFStringRef name = CFStringCreateWithUTF8(key);
    CFTypeRef value = CFDictionaryGetValue(d, name);
    CFRelease(name);
    return value;
}

std::optional<OSType> FourChars(CFTypeRef value)
{
    if (!value || CFGetTypeID(value) != CFStringGetTypeID())
        return std::nullopt;
    const std::string text = CFStringToUTF8(value);
    if (text.size() != 4)
        return std::nullopt;
    return OSType((UInt8(text[0]) << 24) | (UInt8(text[1]) << 16) | (UInt8(text[2]) << 8) | UInt8(text[3]));
}

// An integer within bounds; `fallback` when absent, nothing when wrong.
std::optional<SInt64> Integer(CFDictionaryRef d, const char* key, SInt64 low, SInt64 high, SInt64 fallback)
{
    CFTypeRef value = Value(d, key);
    if (!value)
        return fallback;
    SInt64 n = 0;
    if (CFGetTypeID(value) != CFNumberGetTypeID() || CFNumberIsFloatType(static_cast<CFNumberRef>(value)) ||
        !CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt64Type, &n) || n < low || n > high)
        return std::nullopt;
    return n;
}

std::optional<bool> Flag(CFDictionaryRef d, const char* key)
{
    CFTypeRef value = Value(d, key);
    if (!value)
        return false;
    if (CFGetTypeID(value) != CFBooleanGetTypeID())
        return std::nullopt;
    return bool(CFBooleanGetValue(static_cast<CFBooleanRef>(value)));
}

std::optional<DataBrowserPropertyType> ColumnType(CFTypeRef value)
{
    if (!value)
        return kDataBrowserTextType;
    if (CFGetTypeID(value) != CFStringGetTypeID())
        return std::nullopt;
    const std::string name = CFStringToUTF8(value);
    if (name == "text")
        return kDataBrowserTextType;
    if (name == "icon")
        return kDataBrowserIconType;
    if (name == "iconText")
        return kDataBrowserIconAndTextType;
    if (name == "checkbox")
        return kDataBrowserCheckboxType;
    if (name == "custom")
        return kDataBrowserCustomType;
    return std::nullopt;
}

OSStatus AddColumn(HIViewRef view, CFTypeRef value)
{
    if (!value || CFGetTypeID(value) != CFDictionaryGetTypeID())
        return errDataBrowserInvalidPropertyData;
    auto d = static_cast<CFDictionaryRef>(value);
    const auto property = FourChars(Value(d, "Property"));
    const auto type = ColumnType(Value(d, "Type"));
    const auto width = Integer(d, "Width", 1, 32767, 100);
    const auto editable = Flag(d, "Editable");
    const auto sortable = Flag(d, "Sortable");
    CFTypeRef title = Value(d, "Title");
    if (!property || *property == 0 || !type || !width || !editable || !sortable ||
        (title && CFGetTypeID(title) != CFStringGetTypeID()))
        return errDataBrowserInvalidPropertyData;
    DataBrowserListViewColumnDesc desc{};
    desc.propertyDesc.propertyID = *property;
    desc.propertyDesc.propertyType = *type;
    desc.propertyDesc.propertyFlags = (*editable ? DataBrowserPropertyFlags(kDataBrowserPropertyIsMutable) : 0) |
                                      (*sortable ? DataBrowserPropertyFlags(kDataBrowserListViewSortableColumn) : 0);
    desc.headerBtnDesc.version = kDataBrowserListViewLatestHeaderDesc;
    desc.headerBtnDesc.minimumWidth = UInt16(*width);
    desc.headerBtnDesc.maximumWidth = UInt16(*width);
    desc.headerBtnDesc.titleString = static_cast<CFStringRef>(title);
    desc.headerBtnDesc.initialOrder = kDataBrowserOrderIncreasing;
    const OSStatus status = AddDataBrowserListViewColumn(view, &desc, kDataBrowserListViewAppendColumn);
    if (status != noErr)
        return status;
    // The nib's width is where the column starts; the user may resize it.
    return SetDataBrowserTableViewNamedColumnWidth(view, *property, UInt16(*width));
}

OSStatus Configure(HIViewRef view, CFDictionaryRef d)
{
    CFTypeRef style = Value(d, "ViewStyle");
    if (style) {
        if (CFGetTypeID(style) != CFStringGetTypeID())
            return errDataBrowserInvalidPropertyData;
        const std::string name = CFStringToUTF8(style);
        if (name == "column")
            SetDataBrowserViewStyle(view, kDataBrowserColumnView);
        else if (name != "list")
            return errDataBrowserInvalidPropertyData;
    }
    if (CFTypeRef columns = Value(d, "Columns")) {
        if (CFGetTypeID(columns) != CFArrayGetTypeID())
            return errDataBrowserInvalidPropertyData;
        auto array = static_cast<CFArrayRef>(columns);
        for (CFIndex i = 0; i < CFArrayGetCount(array); ++i) {
            const OSStatus status = AddColumn(view, CFArrayGetValueAtIndex(array, i));
            if (status != noErr)
                return status;
        }
    }
    if (CFTypeRef disclosure = Value(d, "DisclosureColumn")) {
        const auto property = FourChars(disclosure);
        if (!property || SetDataBrowserListViewDisclosureColumn(view, *property, true) != noErr)
            return errDataBrowserInvalidPropertyData;
    }
    const auto rowHeight = Integer(d, "RowHeight", 1, 1024, 18);
    const auto headerHeight = Integer(d, "HeaderHeight", 0, 1024, 17);
    if (!rowHeight || !headerHeight)
        return errDataBrowserInvalidPropertyData;
    SetDataBrowserTableViewRowHeight(view, UInt16(*rowHeight));
    SetDataBrowserListViewHeaderBtnHeight(view, UInt16(*headerHeight));
    return noErr;
}

OSStatus MakeBrowser(CFDictionaryRef description, const HIRect& frame, HIViewRef* outView)
{
    const Rect bounds = {SInt16(frame.origin.y), SInt16(frame.origin.x), SInt16(frame.origin.y + frame.size.height),
                         SInt16(frame.origin.x + frame.size.width)};
    HIViewRef view = nullptr;
    OSStatus status = CreateDataBrowserControl(nullptr, &bounds, kDataBrowserListView, &view);
    if (status != noErr)
        return status;
    status = Configure(view, description);
    if (status != noErr) {
        DisposeControl(view);
        CFRelease(view);
        return status;
    }
    *outView = view;
    return noErr;
}

}  // namespace

void HIToolboxRegisterDataBrowserNibKind()
{
    IBRegisterNibViewKind({kControlKindDataBrowser,
                           {"ViewStyle", "Columns", "DisclosureColumn", "RowHeight", "HeaderHeight"},
                           MakeBrowser});
}
