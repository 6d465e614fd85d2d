#include <HIToolbox/KeyCodes.h>
#include <HIToolbox/TextInputSources.h>

#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CFRuntime.h>

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <array>
#include <cstdlib>
#include <memory>
#include <string>

const CFStringRef kTISPropertyUnicodeKeyLayoutData = CFSTR("TISPropertyUnicodeKeyLayoutData");
const CFStringRef kTISPropertyInputSourceID = CFSTR("TISPropertyInputSourceID");
const CFStringRef kTISPropertyLocalizedName = CFSTR("TISPropertyLocalizedName");

namespace {

CFTypeID InputSourceTypeID()
{
    static const CFTypeID type = CFRuntimeRegisterType("TISInputSource");
    return type;
}

}  // namespace

struct TISInputSourceObject final : CFRuntimeObject {
    TISInputSourceObject(CFStringRef identifier, CFStringRef name, CFDataRef layoutData)
        : CFRuntimeObject(InputSourceTypeID()), identifier(identifier), name(name), layoutData(layoutData)
    {}
    ~TISInputSourceObject() override
    {
        CFRelease(identifier);
        CFRelease(name);
        CFRelease(layoutData);
    }
    CFStringRef identifier;  // owned
    CFStringRef name;        // owned
    CFDataRef layoutData;    // owned
};

namespace {

const TISInputSourceObject* AsInputSource(TISInputSourceRef source)
{
    if (source == nullptr || CFRuntimeObjectOf(source)->TypeID() != InputSourceTypeID())
        return nullptr;
    return static_cast<const TISInputSourceObject*>(CFRuntimeObjectOf(source));
}

// A new string of the text; empty when the text is not UTF-8.
CFStringRef CreateText(const std::string& text)
{
    CFStringRef string = CFStringCreateWithCString(nullptr, text.c_str(), kCFStringEncodingUTF8);
    return string ? string : CFStringCreateWithCString(nullptr, "", kCFStringEncodingUTF8);
}

// Takes the layout data over.
TISInputSourceRef NewSource(const std::string& identifier, const std::string& name, CFDataRef layoutData)
{
    return new TISInputSourceObject(CreateText(identifier), CreateText(name), layoutData);
}

// The keys typed by a layout rather than given the toolbox's codes: the
// letters, digits and punctuation of the main block.
bool IsTypedKey(const MacKeyInfo& key)
{
    return !key.keypad && key.charCode > 0x20 && key.charCode < 0x7F;
}

// Every key as the toolbox types it on any layout; the typed keys as a US
// keyboard types them without option.
UCKeyboardLayoutBuilder BuilderWithToolboxKeys()
{
    UCKeyboardLayoutBuilder builder;
    for (const MacKeyInfo& key : MacKeyTable()) {
        if (key.charCode == 0) {
            builder.SetKeyTypesNothing(key.keyCode);
            continue;
        }
        builder.SetCharacter(key.keyCode, UCKeyboardLayoutBuilder::kPlain, key.charCode);
        builder.SetCharacter(key.keyCode, UCKeyboardLayoutBuilder::kShift, key.shiftedCharCode);
    }
    return builder;
}

// What option and shift-option type on the US layout. Zero: as without option.
struct OptionKey {
    UInt16 keyCode;
    UTF32Char option;
    UTF32Char shiftOption;
};

constexpr std::array kUSOptionKeys = {
    OptionKey{0, 0xE5, 0xC5},      OptionKey{1, 0xDF, 0xCD},      OptionKey{2, 0x2202, 0xCE},
    OptionKey{3, 0x192, 0xCF},     OptionKey{4, 0x2D9, 0xD3},     OptionKey{5, 0xA9, 0x2DD},
    OptionKey{6, 0x3A9, 0xB8},     OptionKey{7, 0x2248, 0x2DB},   OptionKey{8, 0xE7, 0xC7},
    OptionKey{9, 0x221A, 0x25CA},  OptionKey{11, 0x222B, 0x131},  OptionKey{12, 0x153, 0x152},
    OptionKey{13, 0x2211, 0x201E}, OptionKey{14, 0, 0xB4},        OptionKey{15, 0xAE, 0x2030},
    OptionKey{16, 0xA5, 0xC1},     OptionKey{17, 0x2020, 0x2C7},  OptionKey{18, 0xA1, 0x2044},
    OptionKey{19, 0x2122, 0x20AC}, OptionKey{20, 0xA3, 0x2039},   OptionKey{21, 0xA2, 0x203A},
    OptionKey{22, 0xA7, 0xFB02},   OptionKey{23, 0x221E, 0xFB01}, OptionKey{24, 0x2260, 0xB1},
    OptionKey{25, 0xAA, 0xB7},     OptionKey{26, 0xB6, 0x2021},   OptionKey{27, 0x2013, 0x2014},
    OptionKey{28, 0x2022, 0xB0},   OptionKey{29, 0xBA, 0x201A},   OptionKey{30, 0x2018, 0x2019},
    OptionKey{31, 0xF8, 0xD8},     OptionKey{32, 0, 0xA8},        OptionKey{33, 0x201C, 0x201D},
    OptionKey{34, 0, 0x2C6},       OptionKey{35, 0x3C0, 0x220F},  OptionKey{37, 0xAC, 0xD2},
    OptionKey{38, 0x2206, 0xD4},   OptionKey{39, 0xE6, 0xC6},     OptionKey{40, 0x2DA, 0},
    OptionKey{41, 0x2026, 0xDA},   OptionKey{42, 0xAB, 0xBB},     OptionKey{43, 0x2264, 0xAF},
    OptionKey{44, 0xF7, 0xBF},     OptionKey{45, 0, 0x2DC},       OptionKey{46, 0xB5, 0xC2},
    OptionKey{47, 0x2265, 0x2D8},  OptionKey{49, 0xA0, 0xA0},     OptionKey{50, 0, 0x60},
};

// The dead keys of the US option layer: the accent and its combining mark.
struct USDeadKey {
    UInt16 keyCode;
    UTF32Char accent;
    UTF32Char mark;
};

constexpr std::array kUSDeadKeys = {
    USDeadKey{50, 0x60, 0x300},   // grave
    USDeadKey{14, 0xB4, 0x301},   // acute
    USDeadKey{34, 0x2C6, 0x302},  // circumflex
    USDeadKey{45, 0x2DC, 0x303},  // tilde
    USDeadKey{32, 0xA8, 0x308},   // diaeresis
};

CFDataRef CreateUSLayoutData()
{
    UCKeyboardLayoutBuilder builder = BuilderWithToolboxKeys();
    for (const OptionKey& key : kUSOptionKeys) {
        if (key.option)
            builder.SetCharacter(key.keyCode, UCKeyboardLayoutBuilder::kOption, key.option);
        if (key.shiftOption)
            builder.SetCharacter(key.keyCode, UCKeyboardLayoutBuilder::kShiftOption, key.shiftOption);
    }
    for (const USDeadKey& key : kUSDeadKeys)
        builder.SetDeadKey(key.keyCode, UCKeyboardLayoutBuilder::kOption, key.accent, key.mark);
    return builder.CreateData();
}

// Where each typed key sits: its X key code on a US keyboard (evdev).
struct KeyPlace {
    UInt16 keyCode;
    xkb_keycode_t xkbKeycode;
};

constexpr std::array kUSPlaces = {
    KeyPlace{0, 38},  KeyPlace{1, 39},  KeyPlace{2, 40},  KeyPlace{3, 41},  KeyPlace{4, 43},  KeyPlace{5, 42},
    KeyPlace{6, 52},  KeyPlace{7, 53},  KeyPlace{8, 54},  KeyPlace{9, 55},  KeyPlace{11, 56}, KeyPlace{12, 24},
    KeyPlace{13, 25}, KeyPlace{14, 26}, KeyPlace{15, 27}, KeyPlace{16, 29}, KeyPlace{17, 28}, KeyPlace{18, 10},
    KeyPlace{19, 11}, KeyPlace{20, 12}, KeyPlace{21, 13}, KeyPlace{22, 15}, KeyPlace{23, 14}, KeyPlace{24, 21},
    KeyPlace{25, 18}, KeyPlace{26, 16}, KeyPlace{27, 20}, KeyPlace{28, 17}, KeyPlace{29, 19}, KeyPlace{30, 35},
    KeyPlace{31, 32}, KeyPlace{32, 30}, KeyPlace{33, 34}, KeyPlace{34, 31}, KeyPlace{35, 33}, KeyPlace{37, 46},
    KeyPlace{38, 44}, KeyPlace{39, 48}, KeyPlace{40, 45}, KeyPlace{41, 47}, KeyPlace{42, 51}, KeyPlace{43, 59},
    KeyPlace{44, 61}, KeyPlace{45, 57}, KeyPlace{46, 58}, KeyPlace{47, 60}, KeyPlace{50, 49},
};

// The dead keysyms we know: the accent typed alone and the combining mark.
struct DeadKeysym {
    xkb_keysym_t keysym;
    UTF32Char accent;
    UTF32Char mark;
};

constexpr std::array kDeadKeysyms = {
    DeadKeysym{XKB_KEY_dead_grave, 0x60, 0x300},      DeadKeysym{XKB_KEY_dead_acute, 0xB4, 0x301},
    DeadKeysym{XKB_KEY_dead_circumflex, 0x5E, 0x302}, DeadKeysym{XKB_KEY_dead_tilde, 0x7E, 0x303},
    DeadKeysym{XKB_KEY_dead_macron, 0xAF, 0x304},     DeadKeysym{XKB_KEY_dead_breve, 0x2D8, 0x306},
    DeadKeysym{XKB_KEY_dead_abovedot, 0x2D9, 0x307},  DeadKeysym{XKB_KEY_dead_diaeresis, 0xA8, 0x308},
    DeadKeysym{XKB_KEY_dead_abovering, 0x2DA, 0x30A}, DeadKeysym{XKB_KEY_dead_doubleacute, 0x2DD, 0x30B},
    DeadKeysym{XKB_KEY_dead_caron, 0x2C7, 0x30C},     DeadKeysym{XKB_KEY_dead_cedilla, 0xB8, 0x327},
    DeadKeysym{XKB_KEY_dead_ogonek, 0x2DB, 0x328},
};

struct ContextDeleter {
    void operator()(xkb_context* context) const { xkb_context_unref(context); }
};
struct KeymapDeleter {
    void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
};
using XKBContext = std::unique_ptr<xkb_context, ContextDeleter>;
using XKBKeymap = std::unique_ptr<xkb_keymap, KeymapDeleter>;

// One layout (group) of a keymap.
class XKBLayout {
public:
    XKBLayout(xkb_keymap* keymap, xkb_layout_index_t layout) : keymap_(keymap), layout_(layout) {}

    // The keysym at `level` of the key; 0 when the key has no such level
    // or gives more than one keysym there.
    xkb_keysym_t Keysym(xkb_keycode_t keycode, xkb_level_index_t level) const
    {
        const xkb_layout_index_t layouts = xkb_keymap_num_layouts_for_key(keymap_, keycode);
        if (layouts == 0)
            return 0;
        const xkb_layout_index_t layout = layout_ < layouts ? layout_ : 0;
        if (level >= xkb_keymap_num_levels_for_key(keymap_, keycode, layout))
            return 0;
        const xkb_keysym_t* syms = nullptr;
        return xkb_keymap_key_get_syms_by_level(keymap_, keycode, layout, level, &syms) == 1 ? syms[0] : 0;
    }

    // The key that types `keysym` without modifiers; 0 for none. (A key
    // that gives it only with shift is another key's place: the 1 of a
    // French keyboard is not where a US keyboard has it.)
    xkb_keycode_t KeycodeOf(xkb_keysym_t keysym) const
    {
        for (xkb_keycode_t keycode = xkb_keymap_min_keycode(keymap_); keycode <= xkb_keymap_max_keycode(keymap_);
             ++keycode) {
            if (Keysym(keycode, 0) == keysym)
                return keycode;
        }
        return 0;
    }

    std::string Name() const
    {
        const char* name = xkb_keymap_layout_get_name(keymap_, layout_);
        return name ? name : "";
    }

    // The layout's data: the typed keys from the keymap, the rest as the
    // toolbox types them.
    CFDataRef CreateLayoutData() const
    {
        UCKeyboardLayoutBuilder builder = BuilderWithToolboxKeys();
        for (const MacKeyInfo& key : MacKeyTable()) {
            if (!IsTypedKey(key))
                continue;
            xkb_keycode_t keycode = KeycodeOf(key.keysym);
            if (keycode == 0) {
                for (const KeyPlace& place : kUSPlaces) {
                    if (place.keyCode == key.keyCode)
                        keycode = place.xkbKeycode;
                }
            }
            if (keycode == 0 || Keysym(keycode, 0) == 0)
                continue;
            for (int column = UCKeyboardLayoutBuilder::kPlain; column < UCKeyboardLayoutBuilder::kColumnCount; ++column)
                SetColumn(&builder, key.keyCode, UCKeyboardLayoutBuilder::Column(column), Keysym(keycode, column));
        }
        return builder.CreateData();
    }

private:
    static void SetColumn(UCKeyboardLayoutBuilder* builder, UInt16 keyCode, UCKeyboardLayoutBuilder::Column column,
                          xkb_keysym_t keysym)
    {
        if (keysym == 0)
            return;
        for (const DeadKeysym& dead : kDeadKeysyms) {
            if (dead.keysym == keysym) {
                builder->SetDeadKey(keyCode, column, dead.accent, dead.mark);
                return;
            }
        }
        const UTF32Char character = xkb_keysym_to_utf32(keysym);
        if (character >= 0x20 && character != 0x7F)
            builder->SetCharacter(keyCode, column, character);
    }

    xkb_keymap* keymap_;
    xkb_layout_index_t layout_;
};

std::string KeymapIdentifier(const char* layout, const char* variant)
{
    std::string identifier = std::string("xkb.") + layout;
    if (variant && *variant)
        identifier += std::string("(") + variant + ")";
    return identifier;
}

// The X server's keyboard in its active group, or nil.
TISInputSourceRef CreateX11Source(xcb_connection_t* connection)
{
    if (!xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                     XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr))
        return nullptr;
    const int32_t device = xkb_x11_get_core_keyboard_device_id(connection);
    if (device < 0)
        return nullptr;
    XKBContext context{xkb_context_new(XKB_CONTEXT_NO_FLAGS)};
    if (!context)
        return nullptr;
    XKBKeymap keymap{xkb_x11_keymap_new_from_device(context.get(), connection, device, XKB_KEYMAP_COMPILE_NO_FLAGS)};
    if (!keymap)
        return nullptr;
    xkb_layout_index_t active = 0;
    if (xkb_state* state = xkb_x11_state_new_from_device(keymap.get(), connection, device)) {
        active = xkb_state_serialize_layout(state, XKB_STATE_LAYOUT_EFFECTIVE);
        xkb_state_unref(state);
    }
    const XKBLayout layout(keymap.get(), active);
    const std::string name = layout.Name();
    return NewSource("xkb.x11." + std::to_string(active), name.empty() ? "X11 keyboard" : name,
                     layout.CreateLayoutData());
}

TISInputSourceRef CreateCurrentX11Source()
{
    auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (application && QGuiApplication::platformName() == QLatin1String("xcb")) {
        auto* x11 = application->nativeInterface<QNativeInterface::QX11Application>();
        return x11 && x11->connection() ? CreateX11Source(x11->connection()) : nullptr;
    }
    // Not shown through X, but one may be there to ask.
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0')
        return nullptr;
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    TISInputSourceRef source = xcb_connection_has_error(connection) ? nullptr : CreateX11Source(connection);
    xcb_disconnect(connection);
    return source;
}

}  // namespace

CFTypeID TISInputSourceGetTypeID()
{
    return InputSourceTypeID();
}

TISInputSourceRef TISCopyUSKeyboardLayoutInputSource()
{
    static const CFDataRef usData = CreateUSLayoutData();  // kept for the life of the program
    return NewSource("builtin.US", "U.S.", CFDataCreateCopy(nullptr, usData));
}

TISInputSourceRef TISCreateXKBKeyboardLayoutInputSource(const char* layout, const char* variant)
{
    if (layout == nullptr || *layout == '\0')
        return nullptr;
    XKBContext context{xkb_context_new(XKB_CONTEXT_NO_FLAGS)};
    if (!context)
        return nullptr;
    // A layout xkb does not know is answered with nil, not with its log.
    xkb_context_set_log_level(context.get(), XKB_LOG_LEVEL_CRITICAL);
    const xkb_rule_names names{nullptr, nullptr, layout, variant && *variant ? variant : nullptr, nullptr};
    XKBKeymap keymap{xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS)};
    if (!keymap || xkb_keymap_num_layouts(keymap.get()) == 0)
        return nullptr;
    const XKBLayout xkbLayout(keymap.get(), 0);
    return NewSource(KeymapIdentifier(layout, variant), xkbLayout.Name(), xkbLayout.CreateLayoutData());
}

TISInputSourceRef TISCopyCurrentKeyboardLayoutInputSource()
{
    if (TISInputSourceRef source = CreateCurrentX11Source())
        return source;
    return TISCopyUSKeyboardLayoutInputSource();
}

TISInputSourceRef TISCopyCurrentKeyboardInputSource()
{
    return TISCopyCurrentKeyboardLayoutInputSource();
}

void* TISGetInputSourceProperty(TISInputSourceRef inputSource, CFStringRef propertyKey)
{
    const TISInputSourceObject* source = AsInputSource(inputSource);
    if (source == nullptr || propertyKey == nullptr || CFGetTypeID(propertyKey) != CFStringGetTypeID())
        return nullptr;
    CFTypeRef value = nullptr;
    if (CFEqual(propertyKey, kTISPropertyUnicodeKeyLayoutData))
        value = source->layoutData;
    else if (CFEqual(propertyKey, kTISPropertyInputSourceID))
        value = source->identifier;
    else if (CFEqual(propertyKey, kTISPropertyLocalizedName))
        value = source->name;
    return const_cast<void*>(value);
}
