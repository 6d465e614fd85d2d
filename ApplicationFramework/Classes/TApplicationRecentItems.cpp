// The application's menu of recently opened items: groups of file URLs by
// kind, newest first, kept in the preference "RecentItems" and shown as a
// submenu of an item of the application menu (menu 128).
#include "TApplicationUnit.h"

#include <Units/Utilities/CFUtilities.h>
#include <Units/Utilities/CarbonUtilities.h>
#include <Units/Utilities/FSUtilities.h>

#include <HIToolbox/Menus.h>

#include <string>

namespace {

constexpr MenuID kApplicationMenuID = 128;
const char* const kFolderKind = "-";
const char* const kDocumentKind = "*";

// The file a URL string of a group names; false when it names none.
bool FileOfEntry(CFTypeRef entry, FSRef& file)
{
    if (entry == nullptr || CFGetTypeID(entry) != CFStringGetTypeID())
        return false;
    CFURLRef url = CFURLCreateWithString(nullptr, static_cast<CFStringRef>(entry), nullptr);
    if (url == nullptr)
        return false;
    const bool found = CFURLGetFSRef(url, &file);
    CFRelease(url);
    return found;
}

CFStringRef CopyEntryOfFile(const FSRef& file)
{
    CFURLRef url = CFURLCreateFromFSRef(nullptr, &file);
    if (url == nullptr)
        return nullptr;
    CFStringRef text = CFURLGetString(url);
    CFRetain(text);
    CFRelease(url);
    return text;
}

bool IsFolder(const FSRef& file)
{
    FSCatalogInfo info{};
    return FSGetCatalogInfo(&file, kFSCatInfoNodeFlags, &info, nullptr, nullptr, nullptr) == noErr &&
           (info.nodeFlags & kFSNodeIsDirectoryMask) != 0;
}

}  // namespace

void TApplication::CreateRecentItemsMenu()
{
    MenuRef applicationMenu = GetMenuHandle(kApplicationMenuID);
    if (applicationMenu == nullptr || recentItemsIndex_ > CountMenuItems(applicationMenu))
        return;
    if (CreateNewMenu(0, 0, &recentItemsMenu_) != noErr)
        return;
    SetMenuItemHierarchicalMenu(applicationMenu, recentItemsIndex_, recentItemsMenu_);
    DisableMenuItem(applicationMenu, recentItemsIndex_);
    LoadRecentItems();
    BuildRecentItems();
}

void TApplication::LoadRecentItems()
{
    ReleaseObject(recentItemKinds_);
    recentItemKinds_ = TTypeDictionary::Create();
    recentItemKindOrder_.clear();
    ReleaseObject(recentItems_);
    // Only a dictionary of arrays of strings is a list of recent items;
    // anything else in the preferences counts as none.
    CFTypeRef stored = preferences_ != nullptr ? preferences_->GetTypeValue("RecentItems") : nullptr;
    recentItems_ = TTypeDictionary::Create();
    if (stored != nullptr && CFGetTypeID(stored) == CFDictionaryGetTypeID()) {
        CFDictionaryRef groups = static_cast<CFDictionaryRef>(stored);
        const CFIndex count = CFDictionaryGetCount(groups);
        std::vector<const void*> keys(count), values(count);
        CFDictionaryGetKeysAndValues(groups, keys.data(), values.data());
        for (CFIndex i = 0; i < count; ++i) {
            if (CFGetTypeID(keys[i]) != CFStringGetTypeID() || CFGetTypeID(values[i]) != CFArrayGetTypeID())
                continue;
            CFMutableArrayRef group = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
            CFArrayRef entries = static_cast<CFArrayRef>(values[i]);
            for (CFIndex j = 0; j < CFArrayGetCount(entries); ++j) {
                CFTypeRef entry = CFArrayGetValueAtIndex(entries, j);
                if (CFGetTypeID(entry) == CFStringGetTypeID())
                    CFArrayAppendValue(group, entry);
            }
            recentItems_->SetValue(static_cast<CFStringRef>(keys[i]), group);
            CFRelease(group);
        }
    }
    if (stored != nullptr)
        CFRelease(stored);
    AppendRecentItemGroup("Folders", kFolderKind);
    AppendRecentItemGroup("Documents", kDocumentKind);
}

void TApplication::AppendRecentItemGroup(const ShortString& title, const ShortString& kind)
{
    if (recentItems_ == nullptr || recentItemKinds_ == nullptr)
        return;
    if (recentItems_->GetValue(kind) == nullptr) {
        CFMutableArrayRef group = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
        recentItems_->SetValue(kind, group);
        CFRelease(group);
    }
    if (recentItemKinds_->GetValue(kind) == nullptr)
        recentItemKindOrder_.emplace_back(kind.View());
    recentItemKinds_->SetStringValue(kind, title);
}

CFMutableArrayRef TApplication::RecentItemGroup(const FSRef& file)
{
    if (recentItems_ == nullptr)
        return nullptr;
    const std::string extension = FSGetExtension(file).ToString();
    if (extension.empty() && IsFolder(file))
        return static_cast<CFMutableArrayRef>(recentItems_->GetValue(kFolderKind));
    if (!extension.empty()) {
        if (void* group = recentItems_->GetValue(ShortString(extension)))
            return static_cast<CFMutableArrayRef>(group);
    }
    return static_cast<CFMutableArrayRef>(recentItems_->GetValue(kDocumentKind));
}

SInt32 TApplication::ContainsRecentItem(const FSRef& file)
{
    CFArrayRef group = RecentItemGroup(file);
    if (group == nullptr)
        return -1;
    for (CFIndex i = 0; i < CFArrayGetCount(group); ++i) {
        FSRef entry{};
        if (FileOfEntry(CFArrayGetValueAtIndex(group, i), entry) && FSCompareFSRefs(&entry, &file) == noErr)
            return static_cast<SInt32>(i);
    }
    return -1;
}

void TApplication::AppendRecentItems(const FSRef& file, bool add)
{
    if (recentItemsIndex_ == 0)
        return;
    CFMutableArrayRef group = RecentItemGroup(file);
    if (group == nullptr)
        return;
    if (add) {
        const SInt32 existing = ContainsRecentItem(file);
        if (existing >= 0)
            CFArrayRemoveValueAtIndex(group, existing);
        if (CFStringRef entry = CopyEntryOfFile(file)) {
            CFArrayInsertValueAtIndex(group, 0, entry);
            CFRelease(entry);
        }
    }
    if (add && recentItemsMaximum_ > 0 && CFArrayGetCount(group) == recentItemsMaximum_)
        CFArrayRemoveValueAtIndex(group, CFArrayGetCount(group) - 1);
}

bool TApplication::AcceptRecentItem(const FSRef&)
{
    return true;
}

void TApplication::BuildRecentItems()
{
    if (recentItemsMenu_ == nullptr || recentItems_ == nullptr)
        return;
    DeleteMenuItems(recentItemsMenu_, 1, CountMenuItems(recentItemsMenu_));
    for (const std::string& kind : recentItemKindOrder_) {
        CFArrayRef group = static_cast<CFArrayRef>(recentItems_->GetValue(ShortString(kind)));
        if (group == nullptr || CFArrayGetCount(group) == 0)
            continue;
        MenuItemIndex index = 0;
        AppendMenuItemTextWithCFString(recentItemsMenu_, CFSTR(recentItemKinds_->GetStringValue(ShortString(kind))),
                                       kMenuItemAttrSectionHeader, 0, &index);
        for (CFIndex i = 0; i < CFArrayGetCount(group); ++i) {
            FSRef file{};
            // An entry whose file went away stays in the list, unshown.
            if (!FileOfEntry(CFArrayGetValueAtIndex(group, i), file) || !FSRefExists(file))
                continue;
            CFStringRef name = nullptr;
            if (LSCopyDisplayNameForRef(&file, &name) != noErr || name == nullptr)
                continue;
            AppendMenuItemTextWithCFString(recentItemsMenu_, name, 0, kOpenDocumentCommand, &index);
            CFRelease(name);
            SetMenuItemIndent(recentItemsMenu_, index, 1);
            SetMenuItemProperty(recentItemsMenu_, index, kEventParamOpenItem, typeFSRef, sizeof file, &file);
            IconRef icon = nullptr;
            if (GetIconRefFromFileInfo(&file, 0, nullptr, 0, nullptr, 0, &icon, nullptr) == noErr && icon) {
                SetMenuItemIconHandle(recentItemsMenu_, index, kMenuIconRefType, reinterpret_cast<Handle>(icon));
                ReleaseIconRef(icon);
            }
        }
    }
    MenuItemIndex index = 0;
    AppendMenuItemTextWithCFString(recentItemsMenu_, CFSTR(""), kMenuItemAttrSeparator, 0, &index);
    AppendMenuItemTextWithCFString(recentItemsMenu_, CFSTR("Clear Menu"), 0, FourCC("cler"), &index);
    if (MenuRef applicationMenu = GetMenuHandle(kApplicationMenuID))
        EnableMenuItem(applicationMenu, recentItemsIndex_);
}

void TApplication::ClearRecentItems()
{
    if (MenuRef applicationMenu = GetMenuHandle(kApplicationMenuID))
        DisableMenuItem(applicationMenu, recentItemsIndex_);
    if (recentItemsMenu_ != nullptr)
        DeleteMenuItems(recentItemsMenu_, 1, CountMenuItems(recentItemsMenu_));
    for (const std::string& kind : recentItemKindOrder_) {
        if (void* group = recentItems_->GetValue(ShortString(kind)))
            CFArrayRemoveAllValues(static_cast<CFMutableArrayRef>(group));
    }
}
