// Bundles as resource folders. A bundle knows only its folder; everything
// else (the information dictionary, the strings tables) is read from it on
// first use and kept, since programs ask for the same translations over and
// over and the files do not change while they run.

#include <CoreFoundation/CFBundle.h>

#include "CFContainersInternal.h"
#include "CFDataInternal.h"
#include "CFRuntime.h"
#include "CFStringInternal.h"

#include <CoreFoundation/CFPropertyList.h>
#include <Support/Diagnostics.h>
#include <Support/FileAccess.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

CFTypeID BundleTypeID()
{
    static const CFTypeID type = CFRuntimeRegisterType("CFBundle");
    return type;
}

}  // namespace

struct CFBundleObject final : CFRuntimeObject {
    CFBundleObject(std::string folder, bool immortal)
        : CFRuntimeObject(BundleTypeID(), immortal), path(std::move(folder))
    {}
    ~CFBundleObject() override
    {
        if (info)
            CFRelease(info);
        for (auto& [file, table] : tables) {
            if (table)
                CFRelease(table);
        }
    }

    bool Equals(const CFRuntimeObject& other) const override
    {
        return path == static_cast<const CFBundleObject&>(other).path;
    }
    CFHashCode Hash() const override { return std::hash<std::string>()(path); }
    CFStringRef CopyDescription() const override
    {
        return CFStringCreateWithUTF8(CFRuntimeDescriptionPrefix(this) + "{path = " + path + "}");
    }

    // The resource folder: absolute, without a trailing slash.
    const std::string path;

    mutable std::once_flag infoOnce;
    mutable CFDictionaryRef info = nullptr;

    // Strings tables by file path; nil for a file that is missing or could
    // not be read, so that neither is looked for again.
    mutable std::mutex tablesMutex;
    mutable std::unordered_map<std::string, CFDictionaryRef> tables;
};

namespace {

const CFBundleObject* AsBundle(CFTypeRef cf)
{
    if (cf == nullptr || CFRuntimeObjectOf(cf)->TypeID() != BundleTypeID())
        return nullptr;
    return static_cast<const CFBundleObject*>(CFRuntimeObjectOf(cf));
}

bool IsDirectory(const std::string& path)
{
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// The absolute form of a path with ".", ".." and repeated slashes resolved
// by name; links are resolved too when the path exists, so that two names
// for one folder make equal bundles.
std::string NormalizedPath(const std::string& path)
{
    if (char* real = realpath(path.c_str(), nullptr)) {
        std::string resolved(real);
        std::free(real);
        return resolved;
    }
    std::string absolute = path;
    if (absolute.empty() || absolute[0] != '/') {
        char cwd[PATH_MAX];
        absolute = std::string(getcwd(cwd, sizeof cwd) ? cwd : "") + "/" + absolute;
    }
    std::vector<std::string_view> parts;
    std::string_view rest(absolute);
    while (!rest.empty()) {
        const size_t slash = rest.find('/');
        std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string normalized;
    for (std::string_view part : parts) {
        normalized += '/';
        normalized += part;
    }
    return normalized.empty() ? "/" : normalized;
}

// A path inside the resource folder: not absolute, never climbing out.
bool StaysInside(std::string_view relative)
{
    if (!relative.empty() && relative[0] == '/')
        return false;
    if (relative.find('\0') != std::string_view::npos)
        return false;
    while (!relative.empty()) {
        const size_t slash = relative.find('/');
        if (relative.substr(0, slash) == "..")
            return false;
        relative = slash == std::string_view::npos ? std::string_view() : relative.substr(slash + 1);
    }
    return true;
}

std::string Join(const std::string& folder, std::string_view relative)
{
    if (relative.empty())
        return folder;
    return folder + (folder.back() == '/' ? "" : "/") + std::string(relative);
}

CFURLRef CreateFileURL(const std::string& path, bool isDirectory)
{
    return CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(path.data()),
                                                   static_cast<CFIndex>(path.size()), isDirectory);
}

// Adds a locale name ("de_DE.UTF-8@euro") as "de_DE", then "de".
void AddLocale(std::string_view locale, std::vector<std::string>& languages)
{
    locale = locale.substr(0, locale.find_first_of(".@"));
    if (locale.empty() || locale == "C" || locale == "POSIX")
        return;
    auto add = [&](std::string_view name) {
        for (const std::string& known : languages) {
            if (known == name)
                return;
        }
        languages.emplace_back(name);
    };
    add(locale);
    const size_t underscore = locale.find('_');
    if (underscore != std::string_view::npos && underscore > 0)
        add(locale.substr(0, underscore));
}

// The user's languages, most preferred first, as the locale variables name
// them. Read at every call: a program (or a test) may change them.
std::vector<std::string> PreferredLanguages()
{
    std::vector<std::string> languages;
    if (const char* list = std::getenv("LANGUAGE"); list && *list) {
        std::string_view rest(list);
        while (!rest.empty()) {
            const size_t colon = rest.find(':');
            AddLocale(rest.substr(0, colon), languages);
            rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        }
        if (!languages.empty())
            return languages;
    }
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* locale = std::getenv(variable); locale && *locale) {
            AddLocale(locale, languages);
            break;
        }
    }
    return languages;
}

// The preferred languages followed by the ones every bundle is expected to
// have, so that a program without a German translation still reads English
// on a German system.
std::vector<std::string> LookupLanguages()
{
    std::vector<std::string> languages = PreferredLanguages();
    for (const char* fallback : {"en", "English", "Base"})
        AddLocale(fallback, languages);
    return languages;
}

// A table's bytes; false when there is none to read. A file that cannot be
// a table (a pipe, a device, a file larger than any table) is refused with
// a warning.
bool ReadFile(const std::string& path, const char* what, CFByteVector& bytes)
{
    const int error = FileAccess::ReadRegularFile(path, FileAccess::kTableLimit, &bytes);
    if (error == EINVAL || error == EFBIG)
        FileAccess::WarnNotRead(what, path, error, FileAccess::kTableLimit);
    return error == 0;
}

// Tables written in UTF-16 often have no byte-order mark. Text in UTF-8
// never holds a zero byte, while a table in UTF-16 begins with a character
// of ASCII (a quote, a comment, a blank): one zero byte in its first pair
// tells the order, and the mark is put in front for the reader.
void MarkUnmarkedUTF16(CFByteVector& bytes)
{
    if (bytes.size() < 2 || bytes.size() % 2 != 0)
        return;
    const bool marked = (bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF);
    if (marked || (bytes[0] == 0) == (bytes[1] == 0))
        return;
    const bool littleEndian = bytes[1] == 0;
    const UInt8 mark[2] = {UInt8(littleEndian ? 0xFF : 0xFE), UInt8(littleEndian ? 0xFE : 0xFF)};
    bytes.insert(bytes.begin(), mark, mark + 2);
}

// A file holding nothing but whitespace (in UTF-8 or UTF-16, after its
// byte-order mark): an empty .strings table, though no property list.
bool IsBlank(const CFByteVector& bytes)
{
    size_t start = 0;
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
        start = 3;
    else if (bytes.size() >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF)))
        start = 2;
    for (size_t i = start; i < bytes.size(); ++i) {
        const UInt8 b = bytes[i];
        if (b != ' ' && b != '\t' && b != '\n' && b != '\r' && b != 0)
            return false;
    }
    return true;
}

CFDictionaryRef NewEmptyDictionary()
{
    return CFDictionaryCreate(nullptr, nullptr, nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                              &kCFTypeDictionaryValueCallBacks);
}

// The dictionary a property-list file holds. Nil when the file is missing;
// an empty dictionary, after a diagnostic line naming `what`, when it holds
// something else or cannot be read.
CFDictionaryRef ReadDictionaryFile(const std::string& path, const char* what)
{
    CFByteVector bytes;
    if (!ReadFile(path, what, bytes))
        return nullptr;
    MarkUnmarkedUTF16(bytes);
    if (IsBlank(bytes))
        return NewEmptyDictionary();
    CFDataRef data = CFDataCreateWithVector(std::move(bytes), false);
    CFStringRef error = nullptr;
    CFPropertyListRef contents = CFPropertyListCreateFromXMLData(nullptr, data, kCFPropertyListImmutable, &error);
    CFRelease(data);
    if (contents && CFGetTypeID(contents) == CFDictionaryGetTypeID())
        return static_cast<CFDictionaryRef>(contents);
    const std::string reason =
        contents ? "it does not hold a dictionary." : FileAccess::ForMessage(CFStringToUTF8(error));
    if (contents)
        CFRelease(contents);
    if (error)
        CFRelease(error);
    Diagnostics::WriteLine("Warning: could not read the " + std::string(what) + " " + path + ": " + reason);
    return NewEmptyDictionary();
}

CFDictionaryRef StringsTable(const CFBundleObject* bundle, const std::string& path)
{
    std::lock_guard lock(bundle->tablesMutex);
    auto found = bundle->tables.find(path);
    if (found != bundle->tables.end())
        return found->second;
    CFDictionaryRef table = ReadDictionaryFile(path, "strings table");
    bundle->tables.emplace(path, table);
    return table;
}

// The main bundle's state. Bundles once answered stay alive (they are
// immortal) because callers hold them as borrowed references.
struct MainBundleState {
    std::mutex mutex;
    std::string overridePath;
    bool overridden = false;
    std::atomic<const CFBundleObject*> current{nullptr};
    std::vector<const CFBundleObject*> made;
};

MainBundleState& MainState()
{
    static auto* state = new MainBundleState;
    return *state;
}

std::string DefaultResourcesPath()
{
    char executable[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", executable, sizeof executable - 1);
    if (length <= 0)
        return NormalizedPath("../share/brindlet");
    std::string path(executable, static_cast<size_t>(length));
    path.erase(path.rfind('/') + 1);
    return NormalizedPath(path + "../share/brindlet");
}

}  // namespace

CFTypeID CFBundleGetTypeID()
{
    return BundleTypeID();
}

CFBundleRef CFBundleGetMainBundle()
{
    MainBundleState& state = MainState();
    if (const CFBundleObject* bundle = state.current.load(std::memory_order_acquire))
        return bundle;
    std::lock_guard lock(state.mutex);
    if (const CFBundleObject* bundle = state.current.load(std::memory_order_relaxed))
        return bundle;
    const std::string path = state.overridden ? NormalizedPath(state.overridePath) : DefaultResourcesPath();
    const CFBundleObject* bundle = nullptr;
    for (const CFBundleObject* made : state.made) {
        if (made->path == path)
            bundle = made;
    }
    if (bundle == nullptr) {
        bundle = new CFBundleObject(path, true);
        state.made.push_back(bundle);
    }
    state.current.store(bundle, std::memory_order_release);
    return bundle;
}

void CFBundleSetMainBundleResourcesPath(const char* path)
{
    MainBundleState& state = MainState();
    std::lock_guard lock(state.mutex);
    state.overridden = path != nullptr;
    state.overridePath = path ? path : "";
    state.current.store(nullptr, std::memory_order_release);
}

CFBundleRef CFBundleCreate(CFAllocatorRef, CFURLRef bundleURL)
{
    if (bundleURL == nullptr || CFGetTypeID(bundleURL) != CFURLGetTypeID())
        return nullptr;
    UInt8 buffer[PATH_MAX];
    if (!CFURLGetFileSystemRepresentation(bundleURL, true, buffer, sizeof buffer))
        return nullptr;
    const std::string path = NormalizedPath(reinterpret_cast<const char*>(buffer));
    if (!IsDirectory(path))
        return nullptr;
    return new CFBundleObject(path, false);
}

CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle)
{
    const CFBundleObject* object = AsBundle(bundle);
    return object ? CreateFileURL(object->path, true) : nullptr;
}

CFURLRef CFBundleCopyResourcesDirectoryURL(CFBundleRef bundle)
{
    // A Linux bundle is its resource folder.
    return CFBundleCopyBundleURL(bundle);
}

CFDictionaryRef CFBundleGetInfoDictionary(CFBundleRef bundle)
{
    const CFBundleObject* object = AsBundle(bundle);
    if (object == nullptr)
        return nullptr;
    std::call_once(object->infoOnce, [object] {
        CFDictionaryRef info = ReadDictionaryFile(Join(object->path, "Info.plist"), "information file");
        object->info = info ? info : NewEmptyDictionary();
    });
    return object->info;
}

CFStringRef CFBundleGetIdentifier(CFBundleRef bundle)
{
    CFTypeRef identifier = CFBundleGetValueForInfoDictionaryKey(bundle, CFSTR("CFBundleIdentifier"));
    return CFStringObjectOf(identifier) ? static_cast<CFStringRef>(identifier) : nullptr;
}

CFTypeRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundle, CFStringRef key)
{
    CFDictionaryRef info = CFBundleGetInfoDictionary(bundle);
    if (info == nullptr || key == nullptr)
        return nullptr;
    return CFDictionaryGetValue(info, key);
}

CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef resourceName, CFStringRef resourceType,
                                 CFStringRef subDirName)
{
    const CFBundleObject* object = AsBundle(bundle);
    if (object == nullptr || CFStringObjectOf(resourceName) == nullptr)
        return nullptr;
    std::string name = CFStringToUTF8(resourceName);
    std::string type = CFStringToUTF8(resourceType);
    if (!type.empty() && type[0] == '.')
        type.erase(0, 1);
    if (!type.empty())
        name += "." + type;
    // A sub-folder is always one of the resource folder, also when written
    // with a leading slash ("/Images/Status" is "Images/Status").
    std::string subdirectory = CFStringToUTF8(subDirName);
    subdirectory.erase(0, std::min(subdirectory.find_first_not_of('/'), subdirectory.size()));
    if (name.empty() || !StaysInside(name) || !StaysInside(subdirectory))
        return nullptr;

    const std::string relative = subdirectory.empty() ? name : Join(subdirectory, name);
    std::vector<std::string> candidates{Join(object->path, relative)};
    for (const std::string& language : LookupLanguages())
        candidates.push_back(Join(object->path, language + ".lproj/" + relative));
    for (const std::string& candidate : candidates) {
        struct stat status;
        if (stat(candidate.c_str(), &status) == 0)
            return CreateFileURL(candidate, S_ISDIR(status.st_mode));
    }
    return nullptr;
}

CFStringRef CFBundleCopyLocalizedString(CFBundleRef bundle, CFStringRef key, CFStringRef value, CFStringRef tableName)
{
    const CFBundleObject* object = AsBundle(bundle);
    const std::string table = tableName && CFStringGetLength(tableName) > 0 ? CFStringToUTF8(tableName) : "Localizable";
    if (object && CFStringObjectOf(key) && table.find('/') == std::string::npos && StaysInside(table)) {
        const std::string file = table + ".strings";
        std::vector<std::string> paths;
        for (const std::string& language : LookupLanguages())
            paths.push_back(Join(object->path, language + ".lproj/" + file));
        paths.push_back(Join(object->path, file));
        for (const std::string& path : paths) {
            CFDictionaryRef strings = StringsTable(object, path);
            CFTypeRef translation = strings ? CFDictionaryGetValue(strings, key) : nullptr;
            if (CFStringObjectOf(translation))
                return static_cast<CFStringRef>(CFRetain(translation));
        }
    }
    // The key is its own fallback: programs write their English text as keys.
    if (CFStringObjectOf(value) && CFStringGetLength(value) > 0)
        return CFStringCreateCopy(nullptr, value);
    return CFStringObjectOf(key) ? CFStringCreateCopy(nullptr, key) : nullptr;
}

CFArrayRef CFBundleCopyPreferredLocalizationsFromArray(CFArrayRef locArray)
{
    const CFArrayObject* available = CFArrayObjectOf(locArray);
    const void* chosen = nullptr;
    if (available) {
        for (const std::string& language : LookupLanguages()) {
            for (const void* name : available->values) {
                if (CFStringObjectOf(name) && CFStringToUTF8(name) == language) {
                    chosen = name;
                    break;
                }
            }
            if (chosen)
                break;
        }
        if (chosen == nullptr && !available->values.empty())
            chosen = available->values.front();
    }
    return CFArrayCreate(nullptr, &chosen, chosen ? 1 : 0, &kCFTypeArrayCallBacks);
}
