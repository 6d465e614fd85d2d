#include "Nibs.h"

#include "DataBrowser.h"
#include "HIToolboxInternal.h"

#include <CoreFoundation/CFArray.h>
#include <CoreFoundation/CFDictionary.h>
#include <CoreFoundation/CFNumber.h>
#include <CoreFoundation/CFPropertyList.h>
#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CFStringUTF8.h>
#include <CoreGraphics/CGImageQt.h>
#include <CoreGraphics/CGImageSource.h>
#include <HIToolbox/ControlKinds.h>
#include <HIToolbox/HITextViews.h>
#include <HIToolbox/HostedViews.h>
#include <Support/Diagnostics.h>
#include <Support/FileAccess.h>

#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <set>

struct OpaqueIBNibRef {
    std::string name;  // "<name>.nib", for messages
    CFRef<CFBundleRef> bundle;
    CFRef<CFDictionaryRef> top;
    CFDictionaryRef objects = nullptr;  // the top's "Objects"
};

namespace {

// ---- reading property-list values (nil or another type reads as absent) ----

bool IsOf(CFTypeRef value, CFTypeID type)
{
    return value && CFGetTypeID(value) == type;
}
CFDictionaryRef AsDictionary(CFTypeRef value)
{
    return IsOf(value, CFDictionaryGetTypeID()) ? static_cast<CFDictionaryRef>(value) : nullptr;
}
CFArrayRef AsArray(CFTypeRef value)
{
    return IsOf(value, CFArrayGetTypeID()) ? static_cast<CFArrayRef>(value) : nullptr;
}
CFStringRef AsString(CFTypeRef value)
{
    return IsOf(value, CFStringGetTypeID()) ? static_cast<CFStringRef>(value) : nullptr;
}
CFDataRef AsData(CFTypeRef value)
{
    return IsOf(value, CFDataGetTypeID()) ? static_cast<CFDataRef>(value) : nullptr;
}
std::optional<bool> BooleanOf(CFTypeRef value)
{
    if (!IsOf(value, CFBooleanGetTypeID()))
        return std::nullopt;
    return CFBooleanGetValue(static_cast<CFBooleanRef>(value)) != 0;
}
// An integer written as one (a real is not an integer here).
std::optional<SInt64> IntegerOf(CFTypeRef value)
{
    if (!IsOf(value, CFNumberGetTypeID()) || CFNumberIsFloatType(static_cast<CFNumberRef>(value)))
        return std::nullopt;
    SInt64 number = 0;
    if (!CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt64Type, &number))
        return std::nullopt;
    return number;
}
std::optional<double> NumberOf(CFTypeRef value)
{
    if (!IsOf(value, CFNumberGetTypeID()))
        return std::nullopt;
    double number = 0;
    CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberDoubleType, &number);
    if (!std::isfinite(number))
        return std::nullopt;
    return number;
}
// Four printable ASCII characters.
std::optional<OSType> FourCharsOf(CFTypeRef value)
{
    const std::u16string_view text = CFStringView(AsString(value));
    if (!AsString(value) || text.size() != 4)
        return std::nullopt;
    OSType code = 0;
    for (char16_t unit : text) {
        if (unit < 0x20 || unit > 0x7E)
            return std::nullopt;
        code = (code << 8) | UInt8(unit);
    }
    return code;
}
// A command id: four characters or an unsigned 32-bit integer.
std::optional<UInt32> CommandOf(CFTypeRef value)
{
    if (auto chars = FourCharsOf(value))
        return *chars;
    auto number = IntegerOf(value);
    if (!number || *number < 0 || *number > 0xFFFFFFFFLL)
        return std::nullopt;
    return UInt32(*number);
}

inline constexpr double kCoordinateLimit = 32767;

// [x, y, width, height]: coordinates within ±32767, sizes within 0…32767.
std::optional<HIRect> FrameOf(CFTypeRef value)
{
    CFArrayRef array = AsArray(value);
    if (!array || CFArrayGetCount(array) != 4)
        return std::nullopt;
    double n[4];
    for (CFIndex i = 0; i < 4; ++i) {
        auto number = NumberOf(CFArrayGetValueAtIndex(array, i));
        if (!number || std::fabs(*number) > kCoordinateLimit || (i >= 2 && *number < 0))
            return std::nullopt;
        n[i] = *number;
    }
    if (n[0] + n[2] > kCoordinateLimit || n[1] + n[3] > kCoordinateLimit)
        return std::nullopt;
    return CGRectMake(CGFloat(n[0]), CGFloat(n[1]), CGFloat(n[2]), CGFloat(n[3]));
}

CFTypeRef Value(CFDictionaryRef dictionary, std::string_view key)
{
    return dictionary ? CFDictionaryGetValue(dictionary, CFSTR(key)) : nullptr;
}

std::string Quoted(std::string_view text)
{
    return "\"" + FileAccess::ForMessage(text, 80) + "\"";
}

std::string FourCharsText(OSType code)
{
    std::string text(4, ' ');
    for (int i = 0; i < 4; ++i)
        text[i] = char((code >> (24 - 8 * i)) & 0xFF);
    return text;
}

// ---- names the nib uses for the toolbox's numbers ----

struct Name {
    const char* name;
    UInt32 value;
};
const Name kWindowClasses[] = {
    {"alert", kAlertWindowClass},           {"movableAlert", kMovableAlertWindowClass},
    {"modal", kModalWindowClass},           {"movableModal", kMovableModalWindowClass},
    {"floating", kFloatingWindowClass},     {"document", kDocumentWindowClass},
    {"utility", kUtilityWindowClass},       {"help", kHelpWindowClass},
    {"sheet", kSheetWindowClass},           {"toolbar", kToolbarWindowClass},
    {"plain", kPlainWindowClass},           {"overlay", kOverlayWindowClass},
    {"sheetAlert", kSheetAlertWindowClass}, {"altPlain", kAltPlainWindowClass},
    {"drawer", kDrawerWindowClass},
};
const Name kWindowAttributes[] = {
    {"closeBox", kWindowCloseBoxAttribute},
    {"horizontalZoom", kWindowHorizontalZoomAttribute},
    {"verticalZoom", kWindowVerticalZoomAttribute},
    {"fullZoom", kWindowFullZoomAttribute},
    {"collapseBox", kWindowCollapseBoxAttribute},
    {"resizable", kWindowResizableAttribute},
    {"noTitleBar", kWindowNoTitleBarAttribute},
    {"doesNotCycle", kWindowDoesNotCycleAttribute},
    {"noActivates", kWindowNoActivatesAttribute},
    {"compositing", kWindowCompositingAttribute},
    {"noShadow", kWindowNoShadowAttribute},
    {"hideOnSuspend", kWindowHideOnSuspendAttribute},
    {"standardHandler", kWindowStandardHandlerAttribute},
    {"ignoreClicks", kWindowIgnoreClicksAttribute},
    {"standardDocument", kWindowStandardDocumentAttributes},
    {"standardFloating", kWindowStandardFloatingAttributes},
};
const Name kMenuAttributes[] = {
    {"excludesMarkColumn", kMenuAttrExcludesMarkColumn},
    {"autoDisable", kMenuAttrAutoDisable},
    {"usePencilGlyph", kMenuAttrUsePencilGlyph},
    {"hidden", kMenuAttrHidden},
    {"condenseSeparators", kMenuAttrCondenseSeparators},
    {"doNotCacheImage", kMenuAttrDoNotCacheImage},
    {"doNotUseUserCommandKeys", kMenuAttrDoNotUseUserCommandKeys},
};
const Name kItemAttributes[] = {
    {"disabled", kMenuItemAttrDisabled},
    {"iconDisabled", kMenuItemAttrIconDisabled},
    {"submenuParentChoosable", kMenuItemAttrSubmenuParentChoosable},
    {"dynamic", kMenuItemAttrDynamic},
    {"notPreviousAlternate", kMenuItemAttrNotPreviousAlternate},
    {"hidden", kMenuItemAttrHidden},
    {"separator", kMenuItemAttrSeparator},
    {"sectionHeader", kMenuItemAttrSectionHeader},
    {"ignoreMeta", kMenuItemAttrIgnoreMeta},
    {"autoRepeat", kMenuItemAttrAutoRepeat},
    {"includeInCmdKeyMatching", kMenuItemAttrIncludeInCmdKeyMatching},
    {"autoDisable", kMenuItemAttrAutoDisable},
    {"updateSingleItem", kMenuItemAttrUpdateSingleItem},
    {"customDraw", kMenuItemAttrCustomDraw},
};
const Name kModifiers[] = {
    {"shift", kMenuShiftModifier},
    {"option", kMenuOptionModifier},
    {"control", kMenuControlModifier},
    {"noCommand", kMenuNoCommandModifier},
};
const Name kBevelBehaviors[] = {
    {"pushButton", kControlBehaviorPushbutton},
    {"toggles", kControlBehaviorToggles},
    {"sticky", kControlBehaviorSticky},
};
const Name kSegmentBehaviors[] = {
    {"momentary", kHISegmentBehaviorMomentary},
    {"radio", kHISegmentBehaviorRadio},
    {"toggles", kHISegmentBehaviorToggles},
    {"sticky", kHISegmentBehaviorSticky},
};
const Name kOrientations[] = {
    {"downOrRight", kControlSliderPointsDownOrRight},
    {"upOrLeft", kControlSliderPointsUpOrLeft},
    {"none", kControlSliderDoesNotPoint},
};
const Name kSearchAttributes[] = {
    {"cancel", kHISearchFieldAttributesCancel},
    {"searchIcon", kHISearchFieldAttributesSearchIcon},
};
const Name kClockTypes[] = {
    {"hourMinute", kControlClockTypeHourMinute},
    {"hourMinuteSecond", kControlClockTypeHourMinuteSecond},
    {"monthDayYear", kControlClockTypeMonthDayYear},
    {"monthYear", kControlClockTypeMonthYear},
};
const Name kStyles[] = {{"bold", bold}, {"italic", italic}, {"underline", underline}};
const Name kJustifications[] = {
    {"left", UInt32(SInt32(teFlushLeft))},
    {"center", UInt32(SInt32(teCenter))},
    {"right", UInt32(SInt32(teFlushRight))},
    {"default", UInt32(SInt32(teFlushDefault))},
};

template <size_t N>
std::optional<UInt32> Lookup(const Name (&names)[N], CFTypeRef value)
{
    if (!AsString(value))
        return std::nullopt;
    const std::string text = CFStringToUTF8(value);
    for (const Name& name : names)
        if (text == name.name)
            return name.value;
    return std::nullopt;
}
// An array of names, or-ed.
template <size_t N>
std::optional<UInt32> FlagsOf(const Name (&names)[N], CFTypeRef value)
{
    CFArrayRef array = AsArray(value);
    if (!array)
        return std::nullopt;
    UInt32 flags = 0;
    for (CFIndex i = 0; i < CFArrayGetCount(array); ++i) {
        auto flag = Lookup(names, CFArrayGetValueAtIndex(array, i));
        if (!flag)
            return std::nullopt;
        flags |= *flag;
    }
    return flags;
}
template <size_t N>
std::string NameList(const Name (&names)[N])
{
    std::string list;
    for (const Name& name : names)
        list += (list.empty() ? "" : ", ") + std::string(name.name);
    return list;
}

// ---- the kinds of views ----

const OSType kStandardKinds[] = {
    kControlKindPushButton,
    kControlKindBevelButton,
    kControlKindCheckBox,
    kControlKindRadioButton,
    kControlKindRadioGroup,
    kControlKindPopupButton,
    kControlKindStaticText,
    kControlKindUserPane,
    kControlKindPlacard,
    kControlKindHIImageView,
    kControlKindIcon,
    kControlKindImageWell,
    kControlKindPrimaryGroupBox,
    kControlKindSecondaryGroupBox,
    kControlKindTabs,
    kControlKindSegmentedView,
    kControlKindSlider,
    kControlKindScrollBar,
    kControlKindEditUnicodeText,
    kControlKindHISearchField,
    kControlKindHITextView,
    kControlKindClock,
    kControlKindHICocoaView,
};

std::map<OSType, IBNibViewKind>& ExtraKinds()
{
    static std::map<OSType, IBNibViewKind> kinds;
    return kinds;
}

bool IsStandardKind(OSType kind)
{
    return std::find(std::begin(kStandardKinds), std::end(kStandardKinds), kind) != std::end(kStandardKinds);
}

// The keys a view of the kind takes besides the common ones.
std::vector<std::string> KindKeys(OSType kind)
{
    switch (kind) {
    case kControlKindPushButton:
        return {"Default", "Cancel"};
    case kControlKindBevelButton:
        return {"Image", "Menu", "Behavior"};
    case kControlKindCheckBox:
    case kControlKindRadioButton:
        return {"AutoToggle"};
    case kControlKindPopupButton:
        return {"Menu"};
    case kControlKindStaticText:
        return {"Font"};
    case kControlKindEditUnicodeText:
        return {"Font", "Password"};
    case kControlKindHIImageView:
        return {"Image", "ScaleToFit"};
    case kControlKindIcon:
        return {"Image", "DontTrack"};
    case kControlKindImageWell:
        return {"Image"};
    case kControlKindTabs:
        return {"Tabs"};
    case kControlKindSegmentedView:
        return {"Segments"};
    case kControlKindSlider:
        return {"Orientation", "TickMarks", "LiveTracking"};
    case kControlKindScrollBar:
        return {"LiveTracking"};
    case kControlKindHISearchField:
        return {"Menu", "DescriptiveText", "SearchAttributes"};
    case kControlKindHITextView:
        return {"ReadOnly"};
    case kControlKindClock:
        return {"ClockType", "DisplayOnly", "Live"};
    default: {
        auto extra = ExtraKinds().find(kind);
        return extra == ExtraKinds().end() ? std::vector<std::string>{} : extra->second.keys;
    }
    }
}

const std::vector<std::string> kCommonViewKeys = {
    "Kind",    "Class", "Frame",    "Signature", "ID",      "Command",    "Title",       "Text",     "Minimum",
    "Maximum", "Value", "ViewSize", "Visible",   "Enabled", "Properties", "ControlData", "Subviews",
};

// ---- the checks ----

// Walks a nib's objects and writes down every problem, naming the place.
class Checker {
public:
    Checker(std::string nib, CFDictionaryRef objects) : nib_(std::move(nib)), objects_(objects) {}

    std::vector<std::string> problems;
    // Whether a menu named by a view is checked with it (when one object is
    // made; the whole nib's checks reach every menu anyway).
    bool followReferences = false;

    void Object(const std::string& name, CFTypeRef object)
    {
        CFDictionaryRef dictionary = AsDictionary(object);
        const std::string place = nib_ + ", object " + Quoted(name);
        if (!dictionary) {
            Problem(place, "is not a dictionary");
            return;
        }
        const std::string type = CFStringToUTF8(AsString(Value(dictionary, "Type")));
        if (type == "Window")
            Window(nib_ + ", window " + Quoted(name), dictionary);
        else if (type == "Menu")
            Menu(nib_ + ", menu " + Quoted(name), dictionary, 0);
        else if (type == "MenuBar")
            MenuBar(nib_ + ", menu bar " + Quoted(name), dictionary);
        else if (!AsString(Value(dictionary, "Type")))
            Problem(place, "has no \"Type\" (Window, Menu or MenuBar)");
        else
            Problem(place, "has an unknown \"Type\" " + Quoted(type) + " (Window, Menu or MenuBar)");
    }

    void Problem(const std::string& place, const std::string& what) { problems.push_back(place + ": " + what); }

private:
    using KeyCheck = std::function<void(const std::string& place, const std::string& key, CFTypeRef value)>;

    // Every key of the dictionary must be one of `allowed`; `required` ones must be there.
    bool Keys(const std::string& place, CFDictionaryRef dictionary, const std::vector<std::string>& allowed,
              const std::vector<std::string>& required = {})
    {
        bool fine = true;
        const CFIndex count = CFDictionaryGetCount(dictionary);
        std::vector<const void*> keys(count);
        CFDictionaryGetKeysAndValues(dictionary, keys.data(), nullptr);
        std::vector<std::string> names;
        for (const void* key : keys) {
            if (!AsString(key)) {
                Problem(place, "a key is not a string");
                fine = false;
                continue;
            }
            names.push_back(CFStringToUTF8(key));
        }
        std::sort(names.begin(), names.end());  // the same report for the same nib
        for (const std::string& name : names) {
            if (std::find(allowed.begin(), allowed.end(), name) == allowed.end()) {
                Problem(place, "unknown key " + Quoted(name));
                fine = false;
            }
        }
        for (const std::string& name : required) {
            if (!Value(dictionary, name)) {
                Problem(place, "missing key " + Quoted(name));
                fine = false;
            }
        }
        return fine;
    }

    void Expect(bool ok, const std::string& place, const std::string& key, const std::string& what)
    {
        if (!ok)
            Problem(place, "key " + Quoted(key) + " must be " + what);
    }

    void String(const std::string& place, CFDictionaryRef d, const char* key)
    {
        if (CFTypeRef v = Value(d, key))
            Expect(AsString(v) != nullptr, place, key, "a string");
    }
    void Boolean(const std::string& place, CFDictionaryRef d, const char* key)
    {
        if (CFTypeRef v = Value(d, key))
            Expect(BooleanOf(v).has_value(), place, key, "a boolean");
    }
    void Integer(const std::string& place, CFDictionaryRef d, const char* key, SInt64 low, SInt64 high)
    {
        if (CFTypeRef v = Value(d, key)) {
            auto n = IntegerOf(v);
            Expect(n && *n >= low && *n <= high, place, key,
                   "an integer from " + std::to_string(low) + " to " + std::to_string(high));
        }
    }
    void FourChars(const std::string& place, CFDictionaryRef d, const char* key)
    {
        if (CFTypeRef v = Value(d, key))
            Expect(FourCharsOf(v).has_value(), place, key, "four printable ASCII characters");
    }
    void Command(const std::string& place, CFDictionaryRef d, const char* key)
    {
        if (CFTypeRef v = Value(d, key))
            Expect(CommandOf(v).has_value(), place, key, "four characters or an integer from 0 to 4294967295");
    }
    void Frame(const std::string& place, CFDictionaryRef d, const char* key)
    {
        if (CFTypeRef v = Value(d, key))
            Expect(FrameOf(v).has_value(), place, key,
                   "[x, y, width, height]: numbers within ±32767, sizes not negative");
    }
    template <size_t N>
    void OneOf(const std::string& place, CFDictionaryRef d, const char* key, const Name (&names)[N])
    {
        if (CFTypeRef v = Value(d, key))
            Expect(Lookup(names, v).has_value(), place, key, "one of " + NameList(names));
    }
    template <size_t N>
    void SomeOf(const std::string& place, CFDictionaryRef d, const char* key, const Name (&names)[N])
    {
        if (CFTypeRef v = Value(d, key))
            Expect(FlagsOf(names, v).has_value(), place, key, "an array of " + NameList(names));
    }

    void Window(const std::string& place, CFDictionaryRef window)
    {
        Keys(place, window, {"Type", "Class", "Attributes", "Bounds", "Title", "Properties", "Views"}, {"Bounds"});
        OneOf(place, window, "Class", kWindowClasses);
        SomeOf(place, window, "Attributes", kWindowAttributes);
        Frame(place, window, "Bounds");
        String(place, window, "Title");
        Properties(place, window);
        Views(place, place, Value(window, "Views"), "Views", "");
    }

    // The views of a window (`ownerPlace` is the window's) or of a view.
    void Views(const std::string& windowPlace, const std::string& ownerPlace, CFTypeRef value, const char* key,
               const std::string& path)
    {
        if (!value)
            return;
        CFArrayRef views = AsArray(value);
        if (!views) {
            Expect(false, ownerPlace, key, "an array of views");
            return;
        }
        for (CFIndex i = 0; i < CFArrayGetCount(views); ++i)
            View(windowPlace, CFArrayGetValueAtIndex(views, i),
                 path + (path.empty() ? "" : ".") + std::to_string(i + 1));
    }

    void View(const std::string& windowPlace, CFTypeRef value, const std::string& path)
    {
        std::string place = windowPlace + ", view " + path;
        CFDictionaryRef view = AsDictionary(value);
        if (!view) {
            Problem(place, "is not a dictionary");
            return;
        }
        CFTypeRef kindValue = Value(view, "Kind");
        CFTypeRef classValue = Value(view, "Class");
        OSType kind = 0;
        if (kindValue && classValue) {
            Problem(place, "has both \"Kind\" and \"Class\"");
        } else if (classValue) {
            if (!AsString(classValue) || CFStringToUTF8(classValue).empty())
                Expect(false, place, "Class", "a class id");
            else
                place += " (" + FileAccess::ForMessage(CFStringToUTF8(classValue), 80) + ")";
        } else if (!kindValue) {
            Problem(place, "has neither \"Kind\" nor \"Class\"");
        } else if (auto code = FourCharsOf(kindValue); code && (IsStandardKind(*code) || ExtraKinds().count(*code))) {
            kind = *code;
            place += " (" + FourCharsText(kind) + ")";
        } else {
            Problem(place, "unknown kind " + Quoted(CFStringToUTF8(AsString(kindValue))));
        }
        std::vector<std::string> allowed = kCommonViewKeys;
        for (const std::string& key : KindKeys(kind))
            allowed.push_back(key);
        Keys(place, view, allowed, {"Frame"});
        Frame(place, view, "Frame");
        FourChars(place, view, "Signature");
        Integer(place, view, "ID", INT32_MIN, INT32_MAX);
        Command(place, view, "Command");
        String(place, view, "Title");
        String(place, view, "Text");
        for (const char* key : {"Minimum", "Maximum", "Value", "ViewSize"})
            Integer(place, view, key, INT32_MIN, INT32_MAX);
        for (const char* key : {"Visible", "Enabled"})
            Boolean(place, view, key);
        Properties(place, view);
        ControlData(place, view);
        if (!IsStandardKind(kind) && kind != 0) {
            Views(windowPlace, place, Value(view, "Subviews"), "Subviews", path);
            return;  // the registered kind reads its own keys
        }
        for (const char* key : {"Default", "Cancel", "AutoToggle", "ScaleToFit", "DontTrack", "Password",
                                "LiveTracking", "ReadOnly", "DisplayOnly", "Live"})
            Boolean(place, view, key);
        String(place, view, "Image");
        String(place, view, "DescriptiveText");
        OneOf(place, view, "Behavior", kBevelBehaviors);
        OneOf(place, view, "Orientation", kOrientations);
        OneOf(place, view, "ClockType", kClockTypes);
        SomeOf(place, view, "SearchAttributes", kSearchAttributes);
        Integer(place, view, "TickMarks", 0, 0xFFFF);
        if (CFTypeRef font = Value(view, "Font"))
            FontStyle(place + ", key \"Font\"", font);
        if (CFTypeRef menu = Value(view, "Menu"))
            MenuReference(place + ", key \"Menu\"", menu);
        if (CFTypeRef tabs = Value(view, "Tabs")) {
            CFArrayRef array = AsArray(tabs);
            bool fine = array && CFArrayGetCount(array) <= 0xFFFF;
            for (CFIndex i = 0; fine && i < CFArrayGetCount(array); ++i)
                fine = AsString(CFArrayGetValueAtIndex(array, i)) != nullptr;
            Expect(fine, place, "Tabs", "an array of strings");
        }
        if (CFTypeRef segments = Value(view, "Segments"))
            Segments(place, segments);
        Views(windowPlace, place, Value(view, "Subviews"), "Subviews", path);
    }

    void Segments(const std::string& place, CFTypeRef value)
    {
        CFArrayRef segments = AsArray(value);
        if (!segments || CFArrayGetCount(segments) > 0xFFFF) {
            Expect(false, place, "Segments", "an array of segments");
            return;
        }
        for (CFIndex i = 0; i < CFArrayGetCount(segments); ++i) {
            const std::string at = place + ", segment " + std::to_string(i + 1);
            CFDictionaryRef segment = AsDictionary(CFArrayGetValueAtIndex(segments, i));
            if (!segment) {
                Problem(at, "is not a dictionary");
                continue;
            }
            Keys(at, segment, {"Label", "Command", "Width", "Enabled", "Behavior", "Image", "Value"});
            String(at, segment, "Label");
            Command(at, segment, "Command");
            Integer(at, segment, "Width", 0, 32767);
            Boolean(at, segment, "Enabled");
            OneOf(at, segment, "Behavior", kSegmentBehaviors);
            String(at, segment, "Image");
            Integer(at, segment, "Value", 0, 1);
        }
    }

    void FontStyle(const std::string& place, CFTypeRef value)
    {
        CFDictionaryRef style = AsDictionary(value);
        if (!style) {
            Problem(place, "must be a font style dictionary");
            return;
        }
        Keys(place, style, {"ThemeFont", "Size", "Style", "Justification", "Color", "BackColor"});
        Integer(place, style, "ThemeFont", 0, 0x7FFF);
        Integer(place, style, "Size", 0, 512);
        SomeOf(place, style, "Style", kStyles);
        OneOf(place, style, "Justification", kJustifications);
        for (const char* key : {"Color", "BackColor"}) {
            if (CFTypeRef color = Value(style, key)) {
                CFArrayRef array = AsArray(color);
                bool fine = array && CFArrayGetCount(array) == 3;
                for (CFIndex i = 0; fine && i < 3; ++i) {
                    auto n = NumberOf(CFArrayGetValueAtIndex(array, i));
                    fine = n && *n >= 0 && *n <= 1;
                }
                Expect(fine, place, key, "[red, green, blue], each from 0 to 1");
            }
        }
    }

    void MenuReference(const std::string& place, CFTypeRef value)
    {
        if (AsDictionary(value)) {
            Menu(place, AsDictionary(value), 1);
            return;
        }
        if (!AsString(value)) {
            Problem(place, "must be the name of a menu of the nib or a menu");
            return;
        }
        CFDictionaryRef object = AsDictionary(CFDictionaryGetValue(objects_, value));
        if (!object || CFStringToUTF8(AsString(Value(object, "Type"))) != "Menu")
            Problem(place, "names no menu of the nib: " + Quoted(CFStringToUTF8(value)));
        else if (followReferences)
            Menu(nib_ + ", menu " + Quoted(CFStringToUTF8(value)), object, 0);
    }

    void Properties(const std::string& place, CFDictionaryRef owner)
    {
        CFTypeRef value = Value(owner, "Properties");
        if (!value)
            return;
        CFArrayRef properties = AsArray(value);
        if (!properties) {
            Expect(false, place, "Properties", "an array of properties");
            return;
        }
        for (CFIndex i = 0; i < CFArrayGetCount(properties); ++i) {
            const std::string at = place + ", property " + std::to_string(i + 1);
            CFDictionaryRef property = AsDictionary(CFArrayGetValueAtIndex(properties, i));
            if (!property) {
                Problem(at, "is not a dictionary");
                continue;
            }
            Keys(at, property, {"Creator", "Tag", "String", "Data", "Integer", "Boolean"}, {"Creator", "Tag"});
            FourChars(at, property, "Creator");
            FourChars(at, property, "Tag");
            String(at, property, "String");
            if (CFTypeRef data = Value(property, "Data"))
                Expect(AsData(data) != nullptr, at, "Data", "data");
            Integer(at, property, "Integer", INT32_MIN, INT32_MAX);
            Boolean(at, property, "Boolean");
            OneValue(at, property, {"String", "Data", "Integer", "Boolean"});
        }
    }

    void OneValue(const std::string& place, CFDictionaryRef d, const std::vector<std::string>& keys)
    {
        int present = 0;
        for (const std::string& key : keys)
            present += Value(d, key) ? 1 : 0;
        if (present != 1) {
            std::string list;
            for (const std::string& key : keys)
                list += (list.empty() ? "" : ", ") + key;
            Problem(place, "must have exactly one value: " + list);
        }
    }

    void ControlData(const std::string& place, CFDictionaryRef view)
    {
        CFTypeRef value = Value(view, "ControlData");
        if (!value)
            return;
        CFArrayRef entries = AsArray(value);
        if (!entries) {
            Expect(false, place, "ControlData", "an array of control data");
            return;
        }
        static const std::vector<std::string> kValues = {"Boolean", "Int16", "Int32",     "Real",      "String",
                                                         "Text",    "Data",  "Selection", "FontStyle", "Image"};
        for (CFIndex i = 0; i < CFArrayGetCount(entries); ++i) {
            const std::string at = place + ", control data " + std::to_string(i + 1);
            CFDictionaryRef entry = AsDictionary(CFArrayGetValueAtIndex(entries, i));
            if (!entry) {
                Problem(at, "is not a dictionary");
                continue;
            }
            std::vector<std::string> allowed = kValues;
            allowed.insert(allowed.end(), {"Tag", "Part"});
            Keys(at, entry, allowed, {"Tag"});
            FourChars(at, entry, "Tag");
            Integer(at, entry, "Part", INT16_MIN, INT16_MAX);
            Boolean(at, entry, "Boolean");
            Integer(at, entry, "Int16", INT16_MIN, INT16_MAX);
            Integer(at, entry, "Int32", INT32_MIN, INT32_MAX);
            if (CFTypeRef real = Value(entry, "Real"))
                Expect(NumberOf(real).has_value(), at, "Real", "a number");
            String(at, entry, "String");
            String(at, entry, "Text");
            String(at, entry, "Image");
            if (CFTypeRef data = Value(entry, "Data"))
                Expect(AsData(data) != nullptr, at, "Data", "data");
            if (CFTypeRef selection = Value(entry, "Selection")) {
                CFArrayRef array = AsArray(selection);
                bool fine = array && CFArrayGetCount(array) == 2;
                for (CFIndex j = 0; fine && j < 2; ++j) {
                    auto n = IntegerOf(CFArrayGetValueAtIndex(array, j));
                    fine = n && *n >= 0 && *n <= INT16_MAX;
                }
                Expect(fine, at, "Selection", "[start, end], integers from 0 to 32767");
            }
            if (CFTypeRef style = Value(entry, "FontStyle"))
                FontStyle(at + ", key \"FontStyle\"", style);
            OneValue(at, entry, kValues);
        }
    }

    void Menu(const std::string& place, CFDictionaryRef menu, int depth)
    {
        if (depth > 32) {
            Problem(place, "submenus nest deeper than 32 levels");
            return;
        }
        std::vector<std::string> allowed = {"Title", "ID", "Attributes", "Properties", "Items"};
        if (depth == 0)
            allowed.push_back("Type");
        Keys(place, menu, allowed);
        String(place, menu, "Title");
        Integer(place, menu, "ID", INT16_MIN, INT16_MAX);
        SomeOf(place, menu, "Attributes", kMenuAttributes);
        Properties(place, menu);
        CFTypeRef value = Value(menu, "Items");
        if (!value)
            return;
        CFArrayRef items = AsArray(value);
        if (!items || CFArrayGetCount(items) > 0xFFFE) {
            Expect(false, place, "Items", "an array of items");
            return;
        }
        for (CFIndex i = 0; i < CFArrayGetCount(items); ++i) {
            const std::string at = place + ", item " + std::to_string(i + 1);
            CFDictionaryRef item = AsDictionary(CFArrayGetValueAtIndex(items, i));
            if (!item) {
                Problem(at, "is not a dictionary");
                continue;
            }
            Keys(at, item,
                 {"Text", "Command", "Attributes", "Key", "VirtualKey", "Modifiers", "KeyGlyph", "Checked", "Indent",
                  "Submenu", "Properties"});
            String(at, item, "Text");
            Command(at, item, "Command");
            SomeOf(at, item, "Attributes", kItemAttributes);
            if (CFTypeRef key = Value(item, "Key"))
                Expect(AsString(key) && CFStringView(key).size() == 1, at, "Key", "one character");
            Integer(at, item, "VirtualKey", 0, 0x7F);
            if (Value(item, "Key") && Value(item, "VirtualKey"))
                Problem(at, "has both \"Key\" and \"VirtualKey\"");
            SomeOf(at, item, "Modifiers", kModifiers);
            Integer(at, item, "KeyGlyph", 0, 0xFF);
            Boolean(at, item, "Checked");
            Integer(at, item, "Indent", 0, 15);
            Properties(at, item);
            if (CFTypeRef submenu = Value(item, "Submenu")) {
                if (AsDictionary(submenu))
                    Menu(at + ", submenu", AsDictionary(submenu), depth + 1);
                else
                    Expect(false, at, "Submenu", "a menu dictionary");
            }
        }
    }

    void MenuBar(const std::string& place, CFDictionaryRef bar)
    {
        Keys(place, bar, {"Type", "Menus"}, {"Menus"});
        CFTypeRef value = Value(bar, "Menus");
        if (!value)
            return;
        CFArrayRef menus = AsArray(value);
        if (!menus) {
            Expect(false, place, "Menus", "an array of menus");
            return;
        }
        for (CFIndex i = 0; i < CFArrayGetCount(menus); ++i) {
            const std::string at = place + ", menu " + std::to_string(i + 1);
            if (CFDictionaryRef menu = AsDictionary(CFArrayGetValueAtIndex(menus, i)))
                Menu(at, menu, 1);
            else
                Problem(at, "is not a dictionary");
        }
    }

    std::string nib_;
    CFDictionaryRef objects_;
};

// Parses a nib's bytes: its top dictionary (a new reference, its
// "Objects" a dictionary), or nil with the reason.
CFDictionaryRef ParseNib(const void* bytes, size_t length, std::string* why)
{
    CFRef<CFDataRef> data(CFDataCreate(nullptr, static_cast<const UInt8*>(bytes), CFIndex(length)));
    CFStringRef error = nullptr;
    CFRef<CFTypeRef> root(CFPropertyListCreateFromXMLData(nullptr, data, kCFPropertyListImmutable, &error));
    if (!root) {
        *why = "it is not a property list";
        if (error) {
            *why += " (" + FileAccess::ForMessage(CFStringToUTF8(error)) + ")";
            CFRelease(error);
        }
        return nullptr;
    }
    CFDictionaryRef top = AsDictionary(root);
    auto format = IntegerOf(Value(top, "Format"));
    if (!top || !format || *format != 1 || !AsDictionary(Value(top, "Objects"))) {
        *why = "it is not a nib (a dictionary with \"Format\" 1 and \"Objects\")";
        return nullptr;
    }
    return static_cast<CFDictionaryRef>(root.release());
}

std::vector<std::string> LintTop(std::string_view nibName, const void* bytes, size_t length)
{
    HIToolboxRegisterDataBrowserKind();  // so that its kind and keys are known
    std::string why;
    CFRef<CFDictionaryRef> top(ParseNib(bytes, length, &why));
    const std::string nib = FileAccess::ForMessage(nibName);
    if (!top)
        return {nib + ": " + why};
    CFDictionaryRef objects = AsDictionary(Value(top, "Objects"));
    Checker checker(nib, objects);
    const CFIndex count = CFDictionaryGetCount(top);
    std::vector<const void*> keys(count);
    CFDictionaryGetKeysAndValues(top, keys.data(), nullptr);
    for (const void* key : keys) {
        const std::string name = CFStringToUTF8(AsString(key));
        if (name != "Format" && name != "Objects")
            checker.Problem(nib, "unknown key " + Quoted(name));
    }
    const CFIndex objectCount = CFDictionaryGetCount(objects);
    std::vector<const void*> names(objectCount), values(objectCount);
    CFDictionaryGetKeysAndValues(objects, names.data(), values.data());
    std::vector<std::pair<std::string, CFTypeRef>> sorted;
    for (CFIndex i = 0; i < objectCount; ++i) {
        if (!AsString(names[i]))
            checker.Problem(nib, "an object name is not a string");
        else
            sorted.emplace_back(CFStringToUTF8(names[i]), values[i]);
    }
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [name, value] : sorted)
        checker.Object(name, value);
    return checker.problems;
}

// ---- the live references ----

std::set<IBNibRef>& LiveNibs()
{
    static std::set<IBNibRef> nibs;
    return nibs;
}

IBNibRef AsNib(IBNibRef nib)
{
    return nib && LiveNibs().count(nib) ? nib : nullptr;
}

// The object of a type by name, checked; an error status otherwise (with
// warnings for the problems found).
OSStatus FindObject(IBNibRef nib, CFStringRef name, const char* type, CFDictionaryRef* outObject)
{
    CFDictionaryRef object = AsDictionary(CFDictionaryGetValue(nib->objects, name));
    if (!CFDictionaryContainsKey(nib->objects, name))
        return kIBCarbonRuntimeCantFindObject;
    if (!object || CFStringToUTF8(AsString(Value(object, "Type"))) != type)
        return kIBCarbonRuntimeObjectNotOfRequestedType;
    Checker checker(nib->name, nib->objects);
    checker.followReferences = true;
    checker.Object(CFStringToUTF8(name), object);
    if (!checker.problems.empty()) {
        for (const std::string& problem : checker.problems)
            Diagnostics::WriteLine("Warning: " + problem);
        return paramErr;
    }
    *outObject = object;
    return noErr;
}

// ---- building ----

class Builder {
public:
    explicit Builder(IBNibRef nib, std::string place) : nib_(nib), place_(std::move(place)) {}

    OSStatus BuildMenu(CFDictionaryRef description, MenuRef* outMenu)
    {
        MenuRef menu = nullptr;
        const MenuID id = MenuID(IntegerOf(Value(description, "ID")).value_or(0));
        OSStatus status =
            CreateNewMenu(id, FlagsOf(kMenuAttributes, Value(description, "Attributes")).value_or(0), &menu);
        if (status != noErr)
            return status;
        if (CFStringRef title = AsString(Value(description, "Title")))
            SetMenuTitleWithCFString(menu, title);
        SetProperties(Value(description, "Properties"),
                      [menu](OSType creator, OSType tag, const void* data, ByteCount size) {
                          return SetMenuItemProperty(menu, 0, creator, tag, size, data);
                      });
        CFArrayRef items = AsArray(Value(description, "Items"));
        for (CFIndex i = 0; items && i < CFArrayGetCount(items); ++i) {
            status = AddItem(menu, AsDictionary(CFArrayGetValueAtIndex(items, i)));
            if (status != noErr) {
                CFRelease(menu);
                return status;
            }
        }
        *outMenu = menu;
        return noErr;
    }

    OSStatus BuildWindow(CFDictionaryRef description, WindowRef* outWindow)
    {
        const HIRect bounds = FrameOf(Value(description, "Bounds")).value_or(CGRectZero);
        const Rect content = RectOf(bounds);
        WindowRef window = nullptr;
        OSStatus status = CreateNewWindow(
            Lookup(kWindowClasses, Value(description, "Class")).value_or(kDocumentWindowClass),
            FlagsOf(kWindowAttributes, Value(description, "Attributes")).value_or(0), &content, &window);
        if (status != noErr) {
            Warn(place_, "the window cannot be made (error " + std::to_string(status) + ")");
            return status;
        }
        if (CFStringRef title = AsString(Value(description, "Title")))
            SetWindowTitleWithCFString(window, title);
        SetProperties(Value(description, "Properties"),
                      [window](OSType creator, OSType tag, const void* data, ByteCount size) {
                          return SetWindowProperty(window, creator, tag, size, data);
                      });
        HIViewRef contentView = nullptr;
        HIViewFindByID(HIViewGetRoot(window), kHIViewWindowContentID, &contentView);
        status = AddViews(contentView, AsArray(Value(description, "Views")), "");
        if (status != noErr) {
            DisposeWindow(window);
            return status;
        }
        *outWindow = window;
        return noErr;
    }

private:
    static Rect RectOf(const HIRect& frame)
    {
        Rect r;
        r.left = short(std::lround(frame.origin.x));
        r.top = short(std::lround(frame.origin.y));
        r.right = short(std::lround(frame.origin.x + frame.size.width));
        r.bottom = short(std::lround(frame.origin.y + frame.size.height));
        return r;
    }

    void Warn(const std::string& place, const std::string& what)
    {
        Diagnostics::WriteLine("Warning: " + place + ": " + what);
    }

    template <typename Setter>
    void SetProperties(CFTypeRef value, Setter set)
    {
        CFArrayRef properties = AsArray(value);
        for (CFIndex i = 0; properties && i < CFArrayGetCount(properties); ++i) {
            CFDictionaryRef property = AsDictionary(CFArrayGetValueAtIndex(properties, i));
            const OSType creator = FourCharsOf(Value(property, "Creator")).value_or(0);
            const OSType tag = FourCharsOf(Value(property, "Tag")).value_or(0);
            if (CFStringRef text = AsString(Value(property, "String"))) {
                const std::string utf8 = CFStringToUTF8(text);
                set(creator, tag, utf8.c_str(), utf8.size() + 1);  // with its terminating zero
            } else if (CFDataRef data = AsData(Value(property, "Data"))) {
                set(creator, tag, CFDataGetBytePtr(data), ByteCount(CFDataGetLength(data)));
            } else if (auto integer = IntegerOf(Value(property, "Integer"))) {
                const SInt32 number = SInt32(*integer);
                set(creator, tag, &number, sizeof number);
            } else if (auto flag = BooleanOf(Value(property, "Boolean"))) {
                const ::Boolean byte = *flag;
                set(creator, tag, &byte, sizeof byte);
            }
        }
    }

    OSStatus AddItem(MenuRef menu, CFDictionaryRef item)
    {
        MenuItemIndex index = 0;
        const OSStatus status = AppendMenuItemTextWithCFString(
            menu, AsString(Value(item, "Text")), FlagsOf(kItemAttributes, Value(item, "Attributes")).value_or(0),
            CommandOf(Value(item, "Command")).value_or(0), &index);
        if (status != noErr)
            return status;
        if (CFStringRef key = AsString(Value(item, "Key")))
            SetMenuItemCommandKey(menu, index, false, UInt16(CFStringView(key)[0]));
        else if (auto virtualKey = IntegerOf(Value(item, "VirtualKey")))
            SetMenuItemCommandKey(menu, index, true, UInt16(*virtualKey));
        if (auto modifiers = FlagsOf(kModifiers, Value(item, "Modifiers")))
            SetMenuItemModifiers(menu, index, UInt8(*modifiers));
        if (auto glyph = IntegerOf(Value(item, "KeyGlyph")))
            SetMenuItemKeyGlyph(menu, index, SInt16(*glyph));
        if (BooleanOf(Value(item, "Checked")).value_or(false))
            CheckMenuItem(menu, index, true);
        if (auto indent = IntegerOf(Value(item, "Indent")))
            SetMenuItemIndent(menu, index, UInt32(*indent));
        SetProperties(Value(item, "Properties"),
                      [menu, index](OSType creator, OSType tag, const void* data, ByteCount size) {
                          return SetMenuItemProperty(menu, index, creator, tag, size, data);
                      });
        if (CFDictionaryRef submenuDescription = AsDictionary(Value(item, "Submenu"))) {
            MenuRef submenu = nullptr;
            const OSStatus built = BuildMenu(submenuDescription, &submenu);
            if (built != noErr)
                return built;
            SetMenuItemHierarchicalMenu(menu, index, submenu);
            CFRelease(submenu);
        }
        return noErr;
    }

    // A menu given by the name of a menu object or in place (count 1, the caller's).
    OSStatus MenuOf(CFTypeRef value, MenuRef* outMenu)
    {
        CFDictionaryRef description = AsDictionary(value);
        if (!description)
            description = AsDictionary(CFDictionaryGetValue(nib_->objects, AsString(value)));
        if (!description)
            return paramErr;
        return BuildMenu(description, outMenu);
    }

    // An image resource of the nib's bundle (a new reference), or nil with a warning.
    CGImageRef ImageOf(const std::string& place, CFTypeRef value)
    {
        CFStringRef name = AsString(value);
        if (!name)
            return nullptr;
        CFRef<CFURLRef> url(CFBundleCopyResourceURL(nib_->bundle, name, nullptr, nullptr));
        CFRef<CGImageSourceRef> source(url ? CGImageSourceCreateWithURL(url, nullptr) : nullptr);
        CGImageRef image = source ? CGImageSourceCreateImageAtIndex(source, 0, nullptr) : nullptr;
        if (!image)
            Warn(place, "the image " + Quoted(CFStringToUTF8(name)) + " was not found or cannot be read");
        return image;
    }

    static ControlButtonContentInfo ContentOf(CGImageRef image)
    {
        ControlButtonContentInfo info{};
        info.contentType = image ? kControlContentCGImageRef : kControlNoContent;
        info.u.imageRef = image;
        return info;
    }

    static ControlFontStyleRec FontStyleOf(CFDictionaryRef style)
    {
        ControlFontStyleRec rec{};
        if (auto font = IntegerOf(Value(style, "ThemeFont"))) {
            rec.flags |= kControlUseThemeFontIDMask;
            rec.font = SInt16(*font);
        }
        if (auto size = IntegerOf(Value(style, "Size"))) {
            rec.flags |= kControlUseSizeMask;
            rec.size = SInt16(*size);
        }
        if (auto face = FlagsOf(kStyles, Value(style, "Style"))) {
            rec.flags |= kControlUseFaceMask;
            rec.style = SInt16(*face);
        }
        if (auto just = Lookup(kJustifications, Value(style, "Justification"))) {
            rec.flags |= kControlUseJustMask;
            rec.just = SInt16(SInt32(*just));
        }
        auto color = [style](const char* key, RGBColor* out) {
            CFArrayRef array = AsArray(Value(style, key));
            if (!array || CFArrayGetCount(array) != 3)
                return false;
            UInt16 c[3];
            for (CFIndex i = 0; i < 3; ++i)
                c[i] = UInt16(
                    std::lround(std::clamp(NumberOf(CFArrayGetValueAtIndex(array, i)).value_or(0), 0.0, 1.0) * 65535));
            *out = {c[0], c[1], c[2]};
            return true;
        };
        if (color("Color", &rec.foreColor))
            rec.flags |= kControlUseForeColorMask;
        if (color("BackColor", &rec.backColor))
            rec.flags |= kControlUseBackColorMask;
        return rec;
    }

    OSStatus AddViews(HIViewRef parent, CFArrayRef views, const std::string& path)
    {
        for (CFIndex i = 0; views && i < CFArrayGetCount(views); ++i) {
            const std::string at = path + (path.empty() ? "" : ".") + std::to_string(i + 1);
            const OSStatus status = AddView(parent, AsDictionary(CFArrayGetValueAtIndex(views, i)), at);
            if (status != noErr)
                return status;
        }
        return noErr;
    }

    // Keeps a menu the view does not hold itself until the view goes.
    static OSStatus ReleaseMenuOnDispose(EventHandlerCallRef, EventRef, void* menu)
    {
        CFRelease(static_cast<MenuRef>(menu));
        return eventNotHandledErr;
    }

    OSStatus MakeView(const std::string& place, CFDictionaryRef d, OSType kind, const HIRect& frame, HIViewRef* outView)
    {
        const Rect r = RectOf(frame);
        auto flag = [d](const char* key, bool otherwise) { return BooleanOf(Value(d, key)).value_or(otherwise); };
        auto integer = [d](const char* key, SInt64 otherwise) { return IntegerOf(Value(d, key)).value_or(otherwise); };
        switch (kind) {
        case kControlKindPushButton: {
            OSStatus status = CreatePushButtonControl(nullptr, &r, nullptr, outView);
            for (auto [key, tag] : {std::pair{"Default", kControlPushButtonDefaultTag},
                                    std::pair{"Cancel", kControlPushButtonCancelTag}}) {
                if (status == noErr && Value(d, key)) {
                    const ::Boolean on = flag(key, false);
                    SetControlData(*outView, 0, tag, sizeof on, &on);
                }
            }
            return status;
        }
        case kControlKindBevelButton: {
            CFRef<CGImageRef> image(ImageOf(place, Value(d, "Image")));
            ControlButtonContentInfo info = ContentOf(image);
            const auto behavior = ControlBevelButtonBehavior(
                Lookup(kBevelBehaviors, Value(d, "Behavior")).value_or(kControlBehaviorPushbutton));
            OSStatus status = CreateBevelButtonControl(nullptr, &r, nullptr, kControlBevelButtonNormalBevel, behavior,
                                                       &info, 0, 0, kControlBevelButtonMenuOnBottom, outView);
            if (status == noErr && Value(d, "Menu"))
                status = SetMenuData(*outView, kControlBevelButtonMenuRefTag, Value(d, "Menu"));
            return status;
        }
        case kControlKindCheckBox:
            return CreateCheckBoxControl(nullptr, &r, nullptr, 0, flag("AutoToggle", true), outView);
        case kControlKindRadioButton:
            return CreateRadioButtonControl(nullptr, &r, nullptr, 0, flag("AutoToggle", true), outView);
        case kControlKindRadioGroup:
            return CreateRadioGroupControl(nullptr, &r, outView);
        case kControlKindPopupButton: {
            OSStatus status = CreatePopupButtonControl(nullptr, &r, nullptr, 0, false, 0, 0, 0, outView);
            if (status == noErr && Value(d, "Menu"))
                status = SetMenuData(*outView, kControlPopupButtonMenuRefTag, Value(d, "Menu"));
            return status;
        }
        case kControlKindStaticText: {
            const ControlFontStyleRec style = FontStyleOf(AsDictionary(Value(d, "Font")));
            return CreateStaticTextControl(nullptr, &r, nullptr, Value(d, "Font") ? &style : nullptr, outView);
        }
        case kControlKindUserPane:
            return CreateUserPaneControl(nullptr, &r, kControlSupportsEmbedding, outView);
        case kControlKindPlacard:
            return CreatePlacardControl(nullptr, &r, outView);
        case kControlKindHIImageView: {
            CFRef<CGImageRef> image(ImageOf(place, Value(d, "Image")));
            OSStatus status = HIImageViewCreate(image, outView);
            if (status == noErr && Value(d, "ScaleToFit"))
                HIImageViewSetScaleToFit(*outView, flag("ScaleToFit", true));
            return status;
        }
        case kControlKindIcon: {
            CFRef<CGImageRef> image(ImageOf(place, Value(d, "Image")));
            const ControlButtonContentInfo info = ContentOf(image);
            return CreateIconControl(nullptr, &r, &info, flag("DontTrack", false), outView);
        }
        case kControlKindImageWell: {
            CFRef<CGImageRef> image(ImageOf(place, Value(d, "Image")));
            const ControlButtonContentInfo info = ContentOf(image);
            return CreateImageWellControl(nullptr, &r, &info, outView);
        }
        case kControlKindPrimaryGroupBox:
        case kControlKindSecondaryGroupBox:
            return CreateGroupBoxControl(nullptr, &r, nullptr, kind == kControlKindPrimaryGroupBox, outView);
        case kControlKindTabs: {
            CFArrayRef titles = AsArray(Value(d, "Tabs"));
            std::vector<ControlTabEntry> tabs;
            for (CFIndex i = 0; titles && i < CFArrayGetCount(titles); ++i)
                tabs.push_back({nullptr, AsString(CFArrayGetValueAtIndex(titles, i)), true});
            return CreateTabsControl(nullptr, &r, kControlTabSizeLarge, kControlTabDirectionNorth, UInt16(tabs.size()),
                                     tabs.data(), outView);
        }
        case kControlKindSegmentedView:
            return MakeSegments(place, d, frame, outView);
        case kControlKindSlider:
            return CreateSliderControl(
                nullptr, &r, SInt32(integer("Value", 0)), SInt32(integer("Minimum", 0)),
                SInt32(integer("Maximum", 100)),
                ControlSliderOrientation(
                    Lookup(kOrientations, Value(d, "Orientation")).value_or(kControlSliderPointsDownOrRight)),
                UInt16(integer("TickMarks", 0)), flag("LiveTracking", false), nullptr, outView);
        case kControlKindScrollBar:
            return CreateScrollBarControl(nullptr, &r, SInt32(integer("Value", 0)), SInt32(integer("Minimum", 0)),
                                          SInt32(integer("Maximum", 100)), SInt32(integer("ViewSize", 0)),
                                          flag("LiveTracking", false), nullptr, outView);
        case kControlKindEditUnicodeText: {
            const ControlFontStyleRec style = FontStyleOf(AsDictionary(Value(d, "Font")));
            return CreateEditUnicodeTextControl(nullptr, &r, nullptr, flag("Password", false),
                                                Value(d, "Font") ? &style : nullptr, outView);
        }
        case kControlKindHISearchField: {
            MenuRef menu = nullptr;
            if (Value(d, "Menu")) {
                const OSStatus built = MenuOf(Value(d, "Menu"), &menu);
                if (built != noErr)
                    return built;
            }
            const OSStatus status =
                HISearchFieldCreate(&frame, FlagsOf(kSearchAttributes, Value(d, "SearchAttributes")).value_or(0), menu,
                                    AsString(Value(d, "DescriptiveText")), outView);
            if (menu && status == noErr) {
                // The field keeps the menu without holding it.
                const EventTypeSpec dispose = {kEventClassControl, kEventControlDispose};
                InstallEventHandler(GetControlEventTarget(*outView), ReleaseMenuOnDispose, 1, &dispose, menu, nullptr);
            } else if (menu) {
                CFRelease(menu);
            }
            return status;
        }
        case kControlKindHITextView:
            return HITextViewCreate(
                &frame, 0, flag("ReadOnly", false) ? TXNFrameOptions(kTXNReadOnlyMask) : TXNFrameOptions(0), outView);
        case kControlKindClock: {
            ControlClockFlags flags = kControlClockNoFlags;
            if (flag("DisplayOnly", false))
                flags |= kControlClockFlagDisplayOnly;
            if (flag("Live", false))
                flags |= kControlClockFlagLive;
            return CreateClockControl(
                nullptr, &r,
                ControlClockType(Lookup(kClockTypes, Value(d, "ClockType")).value_or(kControlClockTypeHourMinute)),
                flags, outView);
        }
        case kControlKindHICocoaView:
            return HICocoaViewCreate(nullptr, 0, outView);
        default: {
            auto extra = ExtraKinds().find(kind);
            if (extra == ExtraKinds().end() || !extra->second.make)
                return errUnknownControl;
            return extra->second.make(d, frame, outView);
        }
        }
    }

    OSStatus SetMenuData(HIViewRef view, ResType tag, CFTypeRef value)
    {
        MenuRef menu = nullptr;
        OSStatus status = MenuOf(value, &menu);
        if (status != noErr)
            return status;
        status = SetControlData(view, 0, tag, sizeof menu, &menu);  // the view holds it
        CFRelease(menu);
        return status;
    }

    OSStatus MakeSegments(const std::string& place, CFDictionaryRef d, const HIRect& frame, HIViewRef* outView)
    {
        OSStatus status = HISegmentedViewCreate(&frame, outView);
        if (status != noErr)
            return status;
        CFArrayRef segments = AsArray(Value(d, "Segments"));
        const UInt32 count = segments ? UInt32(CFArrayGetCount(segments)) : 0;
        HISegmentedViewSetSegmentCount(*outView, count);
        for (UInt32 i = 1; i <= count; ++i) {
            CFDictionaryRef segment = AsDictionary(CFArrayGetValueAtIndex(segments, i - 1));
            if (auto behavior = Lookup(kSegmentBehaviors, Value(segment, "Behavior")))
                HISegmentedViewSetSegmentBehavior(*outView, i, *behavior);
            if (CFStringRef label = AsString(Value(segment, "Label")))
                HISegmentedViewSetSegmentLabel(*outView, i, label);
            if (auto command = CommandOf(Value(segment, "Command")))
                HISegmentedViewSetSegmentCommand(*outView, i, *command);
            const SInt64 width = IntegerOf(Value(segment, "Width")).value_or(0);
            HISegmentedViewSetSegmentContentWidth(*outView, i, width == 0, CGFloat(width));
            if (Value(segment, "Image")) {
                CFRef<CGImageRef> image(ImageOf(place + ", segment " + std::to_string(i), Value(segment, "Image")));
                if (image) {
                    const HIViewImageContentInfo info = ContentOf(image);
                    HISegmentedViewSetSegmentImage(*outView, i, &info);
                }
            }
            if (auto enabled = BooleanOf(Value(segment, "Enabled")))
                HISegmentedViewSetSegmentEnabled(*outView, i, *enabled);
            if (auto value = IntegerOf(Value(segment, "Value")))
                HISegmentedViewSetSegmentValue(*outView, i, SInt32(*value));
        }
        return noErr;
    }

    void SetData(const std::string& place, HIViewRef view, CFArrayRef entries)
    {
        for (CFIndex i = 0; entries && i < CFArrayGetCount(entries); ++i) {
            CFDictionaryRef entry = AsDictionary(CFArrayGetValueAtIndex(entries, i));
            const OSType tag = FourCharsOf(Value(entry, "Tag")).value_or(0);
            const auto part = ControlPartCode(IntegerOf(Value(entry, "Part")).value_or(0));
            std::vector<UInt8> bytes;
            auto put = [&bytes](const void* data, size_t size) {
                bytes.assign(static_cast<const UInt8*>(data), static_cast<const UInt8*>(data) + size);
            };
            CFRef<CGImageRef> image;
            if (auto flag = BooleanOf(Value(entry, "Boolean"))) {
                const ::Boolean b = *flag;
                put(&b, sizeof b);
            } else if (auto n16 = IntegerOf(Value(entry, "Int16"))) {
                const SInt16 n = SInt16(*n16);
                put(&n, sizeof n);
            } else if (auto n32 = IntegerOf(Value(entry, "Int32"))) {
                const SInt32 n = SInt32(*n32);
                put(&n, sizeof n);
            } else if (auto real = NumberOf(Value(entry, "Real"))) {
                const double n = *real;
                put(&n, sizeof n);
            } else if (CFStringRef string = AsString(Value(entry, "String"))) {
                put(&string, sizeof string);
            } else if (CFStringRef text = AsString(Value(entry, "Text"))) {
                const std::string utf8 = CFStringToUTF8(text);
                put(utf8.data(), utf8.size());
            } else if (CFDataRef data = AsData(Value(entry, "Data"))) {
                put(CFDataGetBytePtr(data), size_t(CFDataGetLength(data)));
            } else if (CFArrayRef selection = AsArray(Value(entry, "Selection"))) {
                const ControlEditTextSelectionRec rec = {
                    SInt16(IntegerOf(CFArrayGetValueAtIndex(selection, 0)).value_or(0)),
                    SInt16(IntegerOf(CFArrayGetValueAtIndex(selection, 1)).value_or(0))};
                put(&rec, sizeof rec);
            } else if (CFDictionaryRef style = AsDictionary(Value(entry, "FontStyle"))) {
                const ControlFontStyleRec rec = FontStyleOf(style);
                put(&rec, sizeof rec);
            } else if (Value(entry, "Image")) {
                image.Reset(ImageOf(place, Value(entry, "Image")));
                const ControlButtonContentInfo info = ContentOf(image);
                put(&info, sizeof info);
            }
            const OSStatus status = SetControlData(view, part, tag, Size(bytes.size()), bytes.data());
            if (status != noErr)
                Warn(place, "the control data " + Quoted(FourCharsText(tag)) + " was not taken (error " +
                                std::to_string(status) + ")");
        }
    }

    OSStatus AddView(HIViewRef parent, CFDictionaryRef d, const std::string& path)
    {
        const HIRect frame = FrameOf(Value(d, "Frame")).value_or(CGRectZero);
        std::string place = place_ + ", view " + path;
        HIViewRef view = nullptr;
        OSStatus status;
        if (CFStringRef classID = AsString(Value(d, "Class"))) {
            EventRef initialize = nullptr;
            CreateEvent(nullptr, kEventClassHIObject, kEventHIObjectInitialize, 0, 0, &initialize);
            SetEventParameter(initialize, kEventParamBounds, typeHIRect, sizeof frame, &frame);
            status = HIObjectCreate(classID, initialize, &view);
            ReleaseEvent(initialize);
            if (status != noErr)
                Warn(place, "the class " + Quoted(CFStringToUTF8(classID)) + " cannot make a view (error " +
                                std::to_string(status) + "; is it registered?)");
        } else {
            const OSType kind = FourCharsOf(Value(d, "Kind")).value_or(0);
            place += " (" + FourCharsText(kind) + ")";
            status = MakeView(place, d, kind, frame, &view);
            if (status != noErr)
                Warn(place, "the view cannot be made (error " + std::to_string(status) + ")");
        }
        if (status != noErr)
            return status;
        HIViewSetFrame(view, &frame);
        if (auto signature = FourCharsOf(Value(d, "Signature")); signature || Value(d, "ID")) {
            const ControlID id = {signature.value_or(0), SInt32(IntegerOf(Value(d, "ID")).value_or(0))};
            SetControlID(view, &id);
        }
        if (auto command = CommandOf(Value(d, "Command")))
            SetControlCommandID(view, *command);
        if (auto minimum = IntegerOf(Value(d, "Minimum")))
            SetControl32BitMinimum(view, SInt32(*minimum));
        if (auto maximum = IntegerOf(Value(d, "Maximum")))
            SetControl32BitMaximum(view, SInt32(*maximum));
        if (auto viewSize = IntegerOf(Value(d, "ViewSize")))
            SetControlViewSize(view, SInt32(*viewSize));
        if (CFStringRef title = AsString(Value(d, "Title")))
            SetControlTitleWithCFString(view, title);
        if (CFStringRef text = AsString(Value(d, "Text"))) {
            if (TXNObject object = HITextViewGetTXNObject(view)) {
                const std::u16string_view units = CFStringView(text);
                TXNSetData(object, kTXNUnicodeTextData, units.data(), units.size() * sizeof(char16_t), kTXNStartOffset,
                           kTXNEndOffset);
            } else {
                HIViewSetText(view, text);
            }
        }
        SetProperties(Value(d, "Properties"), [view](OSType creator, OSType tag, const void* data, ByteCount size) {
            return SetControlProperty(view, creator, tag, size, data);
        });
        SetData(place, view, AsArray(Value(d, "ControlData")));
        HIViewAddSubview(parent, view);
        CFRelease(view);  // the parent holds it
        status = AddViews(view, AsArray(Value(d, "Subviews")), path);
        if (status != noErr)
            return status;
        if (auto value = IntegerOf(Value(d, "Value")))
            SetControl32BitValue(view, SInt32(*value));
        if (!BooleanOf(Value(d, "Visible")).value_or(true))
            HIViewSetVisible(view, false);
        if (!BooleanOf(Value(d, "Enabled")).value_or(true))
            HIViewSetEnabled(view, false);
        return noErr;
    }

    IBNibRef nib_;
    std::string place_;
};

}  // namespace

// ---- references ----

OSStatus CreateNibReferenceWithCFBundle(CFBundleRef inBundle, CFStringRef inNibName, IBNibRef* outNibRef)
{
    if (!outNibRef || !AsString(inNibName) || !IsOf(inBundle, CFBundleGetTypeID()))
        return paramErr;
    CFRef<CFURLRef> url(CFBundleCopyResourceURL(inBundle, inNibName, CFSTR("nib"), nullptr));
    UInt8 path[4096];
    if (!url || !CFURLGetFileSystemRepresentation(url, true, path, sizeof path))
        return kIBCarbonRuntimeCantFindNibFile;
    const std::string file = reinterpret_cast<const char*>(path);
    std::vector<unsigned char> bytes;
    const int error = FileAccess::ReadRegularFile(file, FileAccess::kTableLimit, &bytes);
    if (error != 0) {
        FileAccess::WarnNotRead("nib", file, error, FileAccess::kTableLimit);
        return kIBCarbonRuntimeCantFindNibFile;
    }
    std::string why;
    CFDictionaryRef top = ParseNib(bytes.data(), bytes.size(), &why);
    if (!top) {
        Diagnostics::WriteLine("Warning: The nib " + FileAccess::ForMessage(file) + " was not read: " + why + ".");
        return kIBCarbonRuntimeCantFindNibFile;
    }
    auto* nib = new OpaqueIBNibRef;
    nib->name = FileAccess::ForMessage(CFStringToUTF8(inNibName) + ".nib");
    nib->bundle = CFRef<CFBundleRef>::Retained(inBundle);
    nib->top.Reset(top);
    nib->objects = AsDictionary(Value(top, "Objects"));
    LiveNibs().insert(nib);
    *outNibRef = nib;
    return noErr;
}

OSStatus CreateNibReference(CFStringRef inNibName, IBNibRef* outNibRef)
{
    return CreateNibReferenceWithCFBundle(CFBundleGetMainBundle(), inNibName, outNibRef);
}

void DisposeNibReference(IBNibRef inNibRef)
{
    if (IBNibRef nib = AsNib(inNibRef)) {
        LiveNibs().erase(nib);
        delete nib;
    }
}

// ---- objects ----

OSStatus CreateWindowFromNib(IBNibRef inNibRef, CFStringRef inName, WindowRef* outWindow)
{
    IBNibRef nib = AsNib(inNibRef);
    if (!nib || !AsString(inName) || !outWindow)
        return paramErr;
    CFDictionaryRef description = nullptr;
    const OSStatus found = FindObject(nib, inName, "Window", &description);
    if (found != noErr)
        return found;
    HIToolboxRegisterControlKinds();
    HIToolboxRegisterHostedViewKinds();
    HIToolboxRegisterDataBrowserKind();
    Builder builder(nib, nib->name + ", window " + Quoted(CFStringToUTF8(inName)));
    return builder.BuildWindow(description, outWindow);
}

OSStatus CreateMenuFromNib(IBNibRef inNibRef, CFStringRef inName, MenuRef* outMenuRef)
{
    IBNibRef nib = AsNib(inNibRef);
    if (!nib || !AsString(inName) || !outMenuRef)
        return paramErr;
    CFDictionaryRef description = nullptr;
    const OSStatus found = FindObject(nib, inName, "Menu", &description);
    if (found != noErr)
        return found;
    Builder builder(nib, nib->name + ", menu " + Quoted(CFStringToUTF8(inName)));
    return builder.BuildMenu(description, outMenuRef);
}

OSStatus SetMenuBarFromNib(IBNibRef inNibRef, CFStringRef inName)
{
    IBNibRef nib = AsNib(inNibRef);
    if (!nib || !AsString(inName))
        return paramErr;
    CFDictionaryRef description = nullptr;
    const OSStatus found = FindObject(nib, inName, "MenuBar", &description);
    if (found != noErr)
        return found;
    Builder builder(nib, nib->name + ", menu bar " + Quoted(CFStringToUTF8(inName)));
    MenuRef root = nullptr;
    OSStatus status = CreateNewMenu(0, 0, &root);
    if (status != noErr)
        return status;
    CFArrayRef menus = AsArray(Value(description, "Menus"));
    for (CFIndex i = 0; menus && i < CFArrayGetCount(menus); ++i) {
        CFDictionaryRef menuDescription = AsDictionary(CFArrayGetValueAtIndex(menus, i));
        MenuRef menu = nullptr;
        status = builder.BuildMenu(menuDescription, &menu);
        if (status != noErr) {
            CFRelease(root);
            return status;
        }
        MenuItemIndex index = 0;
        AppendMenuItemTextWithCFString(root, AsString(Value(menuDescription, "Title")), 0, 0, &index);
        SetMenuItemHierarchicalMenu(root, index, menu);
        CFRelease(menu);
    }
    status = SetRootMenu(root);
    CFRelease(root);
    return status;
}

// ---- our additions ----

std::vector<std::string> IBLintNibData(std::string_view nibName, const void* bytes, size_t length)
{
    if (!bytes && length > 0)
        return {std::string(nibName) + ": no bytes"};
    return LintTop(nibName, bytes ? bytes : "", length);
}

std::vector<std::string> IBLintNibFile(const std::string& path)
{
    std::vector<unsigned char> bytes;
    const int error = FileAccess::ReadRegularFile(path, FileAccess::kTableLimit, &bytes);
    const std::string name = path.substr(path.find_last_of('/') + 1);
    if (error != 0)
        return {FileAccess::ForMessage(name) + ": " + FileAccess::ReadFailureReason(error, FileAccess::kTableLimit)};
    return IBLintNibData(name, bytes.data(), bytes.size());
}

std::vector<std::string> IBCopyNibObjectNames(IBNibRef inNibRef, std::string_view type)
{
    IBNibRef nib = AsNib(inNibRef);
    if (!nib)
        return {};
    const CFIndex count = CFDictionaryGetCount(nib->objects);
    std::vector<const void*> names(count), values(count);
    CFDictionaryGetKeysAndValues(nib->objects, names.data(), values.data());
    std::vector<std::string> found;
    for (CFIndex i = 0; i < count; ++i) {
        if (AsString(names[i]) && CFStringToUTF8(AsString(Value(AsDictionary(values[i]), "Type"))) == type)
            found.push_back(CFStringToUTF8(names[i]));
    }
    std::sort(found.begin(), found.end());
    return found;
}

CGImageRef IBCopyWindowImage(WindowRef window)
{
    if (!IsValidWindowPtr(window))
        return nullptr;
    HIWindowFlush(window);
    QWidget* widget = HIWindowGetWidget(window);
    if (!widget)
        return HIWindowCopyContentImage(window);
    return CGImageCreateWithQImage(widget->grab().toImage());
}

void IBRegisterNibViewKind(const IBNibViewKind& kind)
{
    if (IsStandardKind(kind.kind))
        return;
    ExtraKinds()[kind.kind] = kind;
}
