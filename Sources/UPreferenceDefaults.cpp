// The default preferences of a first start and the numbered upgrade
// blocks that bring an older preference set up to the current version.
#include "UBrindletApplication.h"

#include <Units/Utilities/CFUtilities.h>

#include <CoreFoundation/CFStringUTF8.h>
#include <Support/Diagnostics.h>
#include <Support/MacEquivalents.h>

#include <array>
#include <span>
#include <string>
#include <variant>

namespace brindlet {

namespace {

constexpr SInt32 kPreferencesVersion = 8;
constexpr const char* kVersionKey = "preferences.version";

// A value that names a Mac file or font; it is stored as what stands for
// it here.
struct MacName {
    const char* value;
};

struct Default {
    const char* key;
    std::variant<bool, SInt32, const char*, MacName> value;
};

constexpr std::array kBlock1{
    Default{"TPreferences.dashboardActivation", true},
    Default{"TPreferences.showTransitions", true},
    Default{"TPreferences.transitionEffect", SInt32(2)},
    Default{"TPreferences.autoUpdate", true},
    Default{"TPreferences.shadows", true},
    Default{"TPreferences.cardOpacity", SInt32(90)},
    Default{"TPreferences.gradientOpacity", SInt32(80)},
    Default{"background-image", MacName{"/Library/Desktop Pictures/Aqua Blue.jpg"}},
};
constexpr std::array kBlock2{
    Default{"TPreferences.adjustColor", true},
    Default{"TPreferences.adjustColorLevel", SInt32(60)},
    Default{"TPreferences.adjustHeight", true},
    Default{"TPreferences.showMinimize", true},
};
constexpr std::array kBlock3{
    Default{"TPreferences.randomColor", true},
};
constexpr std::array kBlock4{
    Default{"TPreferences.sheetRatio", SInt32(8)},
};
constexpr std::array kBlock5{
    Default{"TPreferences.sheetLocation", SInt32(1)},
};
constexpr std::array kBlock6{
    Default{"TPreferences.windowBehaviorTransient", true},
    Default{"TPreferences.sheetOffsetX", SInt32(0)},
    Default{"TPreferences.sheetOffsetY", SInt32(0)},
};
constexpr std::array kBlock7{
    Default{"tab-font-family", MacName{"Arial Bold"}},
    Default{"tab-font-size", SInt32(12)},
    Default{"TPreferences.placeOverDesktop", false},
    Default{"TPreferences.prefixCalendarICal", true},
    Default{"TPreferences.hideCompletedTasksICal", true},
    Default{"TPreferences.closeTabsWhenUnfocused", true},
    Default{"TPreferences.useRelativeDatesByDefault", true},
    Default{"TPreferences.editAsCalendarByDefault", false},
    Default{"TPreferences.sheetRatio", SInt32(14)},
    Default{"TPreferences.copyExistingSheets", true},
    Default{"TPreferences.hideAfter", true},
    Default{"TPreferences.hideAfterDelay", "30"},
    Default{"TPreferences.showEvery", true},
    Default{"TPreferences.showEveryDelay", "120"},
    Default{"TPreferences.showMenuBarItem", true},
    Default{"TPreferences.launchAtStartup", true},
    Default{"TPreferences.alertSound", SInt32(4)},
    Default{"TPreferences.alertSoundPath", MacName{"/System/Library/Sounds/Blow.aiff"}},
    Default{"helper.fontFamily", MacName{"Helvetica"}},
    Default{"helper.fontSize", SInt32(11)},
    Default{"TPreferences.hideTasksOlderThan", true},
    Default{"TPreferences.hideTasksOlderThanValue", "30"},
};
constexpr std::array kBlock8{
    Default{"TPreferences.gradientOpacity", SInt32(35)},
    Default{"TPreferences.editingMode", SInt32(0)},
    Default{"PHPList.RequestJoinMailList", false},
    Default{"PHPList.MailingListScriptURL", "http://www.orvandel.com/lists/LCsub.php"},
};

// Block N is kBlocks[N - 1].
const std::array<std::span<const Default>, kPreferencesVersion> kBlocks{
    kBlock1, kBlock2, kBlock3, kBlock4, kBlock5, kBlock6, kBlock7, kBlock8,
};

void WriteBlock(TPreferenceHandlerApplication* preferences, std::span<const Default> block)
{
    for (const Default& entry : block) {
        std::visit(
            [&](const auto& value) {
                using T = std::decay_t<decltype(value)>;
                if constexpr (std::is_same_v<T, bool>)
                    preferences->SetBooleanValue(entry.key, value);
                else if constexpr (std::is_same_v<T, SInt32>)
                    preferences->SetIntegerValue(entry.key, value);
                else if constexpr (std::is_same_v<T, const char*>)
                    preferences->SetStringValue(entry.key, ShortString(value));
                else
                    preferences->SetStringValue(entry.key, ShortString(MacEquivalents::Equivalent(value.value)));
            },
            entry.value);
    }
}

void SetStringObject(TPreferenceHandlerApplication* preferences, const char* key, const std::string& text)
{
    CFStringRef value = CFStringCreateWithUTF8(text);
    preferences->SetTypeValue(key, value);
    CFRelease(value);
}

}  // namespace

std::string DefaultSheetFolderPath()
{
    return MacEquivalents::Equivalent("~/Library/Brindlet");
}

std::string DefaultSheetPath()
{
    return MacEquivalents::Equivalent("~/Library/Brindlet/Demo.brproj");
}

void TBrindletApplication::PopulateDefaultPreferences()
{
    TPreferenceHandlerApplication* preferences = Prefs();
    if (preferences == nullptr)
        return;
    Diagnostics::WriteLine("Created default preferences.");
    // From the newest block down: the oldest value of a key written twice
    // stays, and the upgrade pass that follows brings it up to date.
    for (auto block = kBlocks.rbegin(); block != kBlocks.rend(); ++block)
        WriteBlock(preferences, *block);

    SetStringObject(preferences, "project-folder", DefaultSheetFolderPath());
    preferences->SetBooleanValue("projects-open", true);
    SetStringObject(preferences, "project-current", DefaultSheetPath());
    preferences->SetStringValue("title-font-family", ShortString(MacEquivalents::Equivalent("Chalkboard Bold")));
    preferences->SetIntegerValue("title-font-size", 18);
    preferences->SetStringValue("list-font-family", ShortString(MacEquivalents::Equivalent("Verdana")));
    preferences->SetIntegerValue("list-font-size", 11);
    // 1.0 as a big-endian single-precision number.
    constexpr UInt8 kOne[4] = {0x3F, 0x80, 0x00, 0x00};
    for (const char* key : {"titleColor.red", "titleColor.green", "titleColor.blue", "listColor.red", "listColor.green",
                            "listColor.blue"})
        preferences->SetDataValue(key, kOne, sizeof kOne);
    preferences->Synchronize();
}

void TBrindletApplication::UpdatePreferenceVersion()
{
    TPreferenceHandlerApplication* preferences = Prefs();
    if (preferences == nullptr)
        return;
    SInt32 version = 0;
    for (SInt32 block = 1; block <= kPreferencesVersion; ++block) {
        // The stored version stays as it was until every block has run.
        if (preferences->GetIntegerValue(kVersionKey) < block) {
            WriteBlock(preferences, kBlocks[size_t(block - 1)]);
            version = block;
        }
    }
    if (version == 0)
        return;
    preferences->SetIntegerValue(kVersionKey, version);
    SynchronizePreferences();
    Diagnostics::WriteLine("Updated preferences to version " +
                           std::to_string(preferences->GetIntegerValue(kVersionKey)));
}

}  // namespace brindlet
