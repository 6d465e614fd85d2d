// The default preferences of a first start and the upgrade of older ones,
// read back from the preferences file as another program would read it.
#include "BrindletTestSupport.h"

#include <AppKit/NSFont.h>
#include <CoreFoundation/CFStringUTF8.h>
#include <Foundation/NSString.h>
#include <Support/MacEquivalents.h>
#include <Support/Paths.h>

#include <filesystem>
#include <variant>
#include <vector>

namespace {

struct Data4 {
    UInt8 bytes[4];
};
using Expected = std::variant<bool, SInt32, std::string, Data4>;

struct FreshRow {
    const char* key;
    Expected value;
};

// What a fresh preferences file holds once the first start is over.
std::vector<FreshRow> FreshValues()
{
    const Data4 one{{0x3F, 0x80, 0x00, 0x00}};
    return {
        {"TPreferences.dashboardActivation", true},
        {"TPreferences.showTransitions", true},
        {"TPreferences.transitionEffect", SInt32(2)},
        {"TPreferences.autoUpdate", true},
        {"TPreferences.shadows", true},
        {"TPreferences.cardOpacity", SInt32(90)},
        {"TPreferences.gradientOpacity", SInt32(35)},
        {"background-image", MacEquivalents::Equivalent("/Library/Desktop Pictures/Aqua Blue.jpg")},
        {"TPreferences.adjustColor", true},
        {"TPreferences.adjustColorLevel", SInt32(60)},
        {"TPreferences.adjustHeight", true},
        {"TPreferences.showMinimize", true},
        {"TPreferences.randomColor", true},
        {"TPreferences.sheetRatio", SInt32(14)},
        {"TPreferences.sheetLocation", SInt32(1)},
        {"TPreferences.windowBehaviorTransient", true},
        {"TPreferences.sheetOffsetX", SInt32(0)},
        {"TPreferences.sheetOffsetY", SInt32(0)},
        {"tab-font-family", std::string("DejaVu Sans Bold")},
        {"tab-font-size", SInt32(12)},
        {"TPreferences.placeOverDesktop", false},
        {"TPreferences.prefixCalendarICal", true},
        {"TPreferences.hideCompletedTasksICal", true},
        {"TPreferences.closeTabsWhenUnfocused", true},
        {"TPreferences.useRelativeDatesByDefault", true},
        {"TPreferences.editAsCalendarByDefault", false},
        {"TPreferences.copyExistingSheets", true},
        {"TPreferences.hideAfter", true},
        {"TPreferences.hideAfterDelay", std::string("30")},
        {"TPreferences.showEvery", true},
        {"TPreferences.showEveryDelay", std::string("120")},
        {"TPreferences.showMenuBarItem", true},
        {"TPreferences.launchAtStartup", true},
        {"TPreferences.alertSound", SInt32(4)},
        {"TPreferences.alertSoundPath", MacEquivalents::Equivalent("/System/Library/Sounds/Blow.aiff")},
        {"helper.fontFamily", std::string("DejaVu Sans")},
        {"helper.fontSize", SInt32(11)},
        {"TPreferences.hideTasksOlderThan", true},
        {"TPreferences.hideTasksOlderThanValue", std::string("30")},
        {"TPreferences.editingMode", SInt32(0)},
        {"PHPList.RequestJoinMailList", false},
        {"project-folder", Paths::LibraryFolder() + "/Brindlet"},
        {"projects-open", true},
        {"project-current", Paths::LibraryFolder() + "/Brindlet/Demo.brproj"},
        {"title-font-family", std::string("DejaVu Sans Bold")},
        {"title-font-size", SInt32(18)},
        {"list-font-family", std::string("DejaVu Sans")},
        {"list-font-size", SInt32(11)},
        {"titleColor.red", one},
        {"titleColor.green", one},
        {"titleColor.blue", one},
        {"listColor.red", one},
        {"listColor.green", one},
        {"listColor.blue", one},
        {"preferences.version", SInt32(8)},
    };
}

// The stored value of a key of the raw file (with its "user." prefix),
// checked for its kind and value.
void ExpectStored(CFDictionaryRef stored, const FreshRow& row)
{
    SCOPED_TRACE(row.key);
    CFStringRef key = CFStringCreateWithUTF8(std::string("user.") + row.key);
    CFTypeRef value = CFDictionaryGetValue(stored, key);
    CFRelease(key);
    ASSERT_NE(value, nullptr) << "missing";
    std::visit(
        [&](const auto& expected) {
            using T = std::decay_t<decltype(expected)>;
            if constexpr (std::is_same_v<T, bool>) {
                ASSERT_EQ(CFGetTypeID(value), CFBooleanGetTypeID());
                EXPECT_EQ(CFBooleanGetValue(static_cast<CFBooleanRef>(value)), expected);
            } else if constexpr (std::is_same_v<T, SInt32>) {
                ASSERT_EQ(CFGetTypeID(value), CFNumberGetTypeID());
                SInt32 number = -12345;
                CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt32Type, &number);
                EXPECT_EQ(number, expected);
            } else if constexpr (std::is_same_v<T, std::string>) {
                ASSERT_EQ(CFGetTypeID(value), CFStringGetTypeID());
                EXPECT_EQ(CFStringToUTF8(value), expected);
            } else {
                ASSERT_EQ(CFGetTypeID(value), CFDataGetTypeID());
                CFDataRef data = static_cast<CFDataRef>(value);
                ASSERT_EQ(CFDataGetLength(data), 4);
                EXPECT_EQ(std::memcmp(CFDataGetBytePtr(data), expected.bytes, 4), 0);
            }
        },
        row.value);
}

TEST(PreferenceDefaults, FirstStartStoresTheFreshSetUnderTheUserPrefix)
{
    BrindletScope scope;
    Diagnostics::Capture capture;
    {
        StartedBrindlet application;
        ASSERT_EQ(application.Status(), 0);
        EXPECT_TRUE(application->DidLaunchFirstTime());
    }
    EXPECT_TRUE(HasLine(capture, "Created default preferences."));
    EXPECT_TRUE(HasLine(capture, "Updated preferences to version 8"));

    CFDictionaryRef stored = scope.CopyStoredPreferences();
    ASSERT_NE(stored, nullptr);
    for (const FreshRow& row : FreshValues())
        ExpectStored(stored, row);
    // Every key of the file carries the handler's prefix.
    const CFIndex count = CFDictionaryGetCount(stored);
    std::vector<const void*> keys(size_t(count), nullptr);
    CFDictionaryGetKeysAndValues(stored, keys.data(), nullptr);
    for (const void* key : keys)
        EXPECT_EQ(CFStringToUTF8(static_cast<CFStringRef>(key)).rfind("user.", 0), 0u) << CFStringToUTF8(key);
    CFRelease(stored);
}

TEST(PreferenceDefaults, MappedValuesNameWhatIsThere)
{
    BrindletScope scope;
    Diagnostics::Capture capture;
    StartedBrindlet application;
    TPreferenceHandlerApplication* preferences = TApplication::Prefs();
    // The picture ships with the program; the fonts are installed faces.
    EXPECT_TRUE(std::filesystem::is_regular_file(std::string(preferences->GetStringValue("background-image").View())));
    for (const char* key : {"title-font-family", "list-font-family", "tab-font-family", "helper.fontFamily"}) {
        SCOPED_TRACE(key);
        const std::string name(preferences->GetStringValue(key).View());
        EXPECT_NE(NSFont::fontWithName(NSString::stringWithUTF8String(name.c_str()), 12), nullptr) << name;
    }
    EXPECT_EQ(MacEquivalents::Equivalent("/System/Library/Sounds/Blow.aiff").rfind(Paths::SystemSoundsFolder(), 0), 0u);
}

TEST(PreferenceDefaults, ASecondStartWritesNothingAgain)
{
    BrindletScope scope;
    {
        Diagnostics::Capture first;
        StartedBrindlet application;
    }
    const auto modified = std::filesystem::last_write_time(scope.PreferencesPath());
    TPreferenceHandlerApplication* preferences = nullptr;
    Diagnostics::Capture capture;
    {
        StartedBrindlet application;
        EXPECT_FALSE(application->DidLaunchFirstTime());
        preferences = TApplication::Prefs();
        EXPECT_EQ(preferences->GetIntegerValue("TPreferences.sheetRatio"), 14);
    }
    EXPECT_FALSE(HasLine(capture, "Created default preferences."));
    for (const std::string& line : capture.Lines())
        EXPECT_EQ(line.rfind("Updated preferences", 0), std::string::npos) << line;
    EXPECT_EQ(std::filesystem::last_write_time(scope.PreferencesPath()), modified);
}

// Older preference sets: the blocks above the stored version run, lowest
// first; keys of lower blocks keep what the user chose.
TEST(PreferenceDefaults, UpgradesRunTheBlocksAboveTheStoredVersion)
{
    struct Case {
        const char* name;
        const char* version;   // the XML entry, empty for none
        SInt32 sheetLocation;  // block 5
        SInt32 cardOpacity;    // block 1
    };
    const Case cases[] = {
        {"version 6", "<key>user.preferences.version</key><integer>6</integer>\n", 3, 50},
        {"version 4", "<key>user.preferences.version</key><integer>4</integer>\n", 1, 50},
        {"no version", "", 1, 90},
        {"version as text", "<key>user.preferences.version</key><string>6</string>\n", 3, 50},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        BrindletScope scope;
        scope.WritePreferences(std::string(row.version) +
                               "<key>user.TPreferences.sheetRatio</key><integer>10</integer>\n"
                               "<key>user.TPreferences.gradientOpacity</key><integer>70</integer>\n"
                               "<key>user.TPreferences.sheetLocation</key><integer>3</integer>\n"
                               "<key>user.TPreferences.cardOpacity</key><integer>50</integer>\n"
                               "<key>user.title-font-family</key><string>DejaVu Sans</string>\n"
                               "<key>user.list-font-family</key><string>DejaVu Sans</string>\n"
                               "<key>user.tab-font-family</key><string>DejaVu Sans</string>\n");
        Diagnostics::Capture capture;
        {
            StartedBrindlet application;
            EXPECT_FALSE(application->DidLaunchFirstTime());
        }
        EXPECT_FALSE(HasLine(capture, "Created default preferences."));
        EXPECT_TRUE(HasLine(capture, "Updated preferences to version 8"));
        CFDictionaryRef stored = scope.CopyStoredPreferences();
        ASSERT_NE(stored, nullptr);
        ExpectStored(stored, {"TPreferences.sheetRatio", SInt32(14)});
        ExpectStored(stored, {"TPreferences.gradientOpacity", SInt32(35)});
        ExpectStored(stored, {"TPreferences.sheetLocation", row.sheetLocation});
        ExpectStored(stored, {"TPreferences.cardOpacity", row.cardOpacity});
        ExpectStored(stored, {"TPreferences.hideAfterDelay", std::string("30")});
        ExpectStored(stored, {"preferences.version", SInt32(8)});
        CFRelease(stored);
    }
}

TEST(PreferenceDefaults, ANewerVersionIsLeftAlone)
{
    BrindletScope scope;
    scope.WritePreferences("<key>user.preferences.version</key><integer>9</integer>\n"
                           "<key>user.TPreferences.sheetRatio</key><integer>10</integer>\n");
    Diagnostics::Capture capture;
    {
        StartedBrindlet application;
    }
    for (const std::string& line : capture.Lines())
        EXPECT_EQ(line.rfind("Updated preferences", 0), std::string::npos) << line;
    CFDictionaryRef stored = scope.CopyStoredPreferences();
    ASSERT_NE(stored, nullptr);
    ExpectStored(stored, {"TPreferences.sheetRatio", SInt32(10)});
    ExpectStored(stored, {"preferences.version", SInt32(9)});
    CFRelease(stored);
}

}  // namespace
