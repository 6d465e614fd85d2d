#include "LSSharedFileList.h"

#include "FilesInternal.h"

#include <CoreFoundation/CFRuntime.h>
#include <CoreFoundation/CoreFoundation.h>
#include <Support/FileAccess.h>
#include <Support/Paths.h>

#include <QString>

#include <algorithm>
#include <dirent.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

struct OpaqueLSSharedFileListRef final : CFRuntimeObject {
    OpaqueLSSharedFileListRef() : CFRuntimeObject(LSSharedFileListGetTypeID()) {}
};

struct OpaqueLSSharedFileListItemRef final : CFRuntimeObject {
    explicit OpaqueLSSharedFileListItemRef(bool immortal = false)
        : CFRuntimeObject(LSSharedFileListItemGetTypeID(), immortal)
    {}
    std::string entryPath;   // the .desktop file
    std::string name;        // its Name=
    std::string targetPath;  // what it starts
};

namespace {

// Entries are small; anything larger is not one of ours and is not read.
constexpr size_t kLargestEntry = FileAccess::kSmallTextLimit;

const OpaqueLSSharedFileListItemRef* AsItem(LSSharedFileListItemRef item)
{
    if (item == nullptr || CFGetTypeID(item) != LSSharedFileListItemGetTypeID())
        return nullptr;
    return item;
}

std::string UTF8Of(CFStringRef s)
{
    if (s == nullptr || CFGetTypeID(s) != CFStringGetTypeID())
        return {};
    const CFIndex length = CFStringGetLength(s);
    std::u16string units(static_cast<size_t>(length), u'\0');
    CFStringGetCharacters(s, CFRangeMake(0, length), reinterpret_cast<UniChar*>(units.data()));
    return QString::fromStdU16String(units).toStdString();
}

CFStringRef NewString(const std::string& utf8)
{
    const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    return CFStringCreateWithCharacters(nullptr, reinterpret_cast<const UniChar*>(text.utf16()), text.size());
}

bool HasControlCharacters(const std::string& text)
{
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// A string value of a desktop entry.
std::string EscapeValue(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\')
            out += "\\\\";
        else if (c == ' ' && i == 0)
            out += "\\s";
        else
            out.push_back(c);
    }
    return out;
}

std::string UnescapeValue(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out.push_back(text[i]);
            continue;
        }
        const char next = text[++i];
        out.push_back(next == 's' ? ' ' : next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next);
    }
    return out;
}

// One argument of an Exec line: quoted, with the characters that are
// special inside the quotes escaped, and "%" doubled, since field codes
// begin with it.
std::string QuoteArgument(const std::string& argument)
{
    std::string out = "\"";
    for (char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            out.push_back('\\');
        if (c == '%')
            out.push_back('%');
        out.push_back(c);
    }
    return out + "\"";
}

// The first argument of an Exec line (already unescaped as a value).
std::string FirstArgument(const std::string& exec)
{
    std::string out;
    if (!exec.empty() && exec[0] == '"') {
        for (size_t i = 1; i < exec.size() && exec[i] != '"'; ++i) {
            if (exec[i] == '\\' && i + 1 < exec.size())
                ++i;
            out.push_back(exec[i]);
        }
        return out;
    }
    return exec.substr(0, exec.find(' '));
}

std::string FileNameFor(const std::string& displayName)
{
    std::string name;
    for (char c : displayName)
        name.push_back(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.' ? c : '-');
    if (name.empty() || name[0] == '.')
        name.insert(0, "item");
    return name.substr(0, 200);
}

bool ReadEntry(const std::string& path, OpaqueLSSharedFileListItemRef* item)
{
    // A link, a pipe or anything larger is not one of ours, and is never opened
    // the way that could wait.
    std::string text;
    if (FileAccess::ReadRegularFile(path, kLargestEntry, &text, false) != 0)
        return false;
    std::istringstream file(text);
    std::string exec;
    std::string line;
    bool inEntry = false;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntry)
            continue;
        const size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        std::string key = line.substr(0, equals);
        while (!key.empty() && key.back() == ' ')
            key.pop_back();
        const std::string value = UnescapeValue(line.substr(line.find_first_not_of(' ', equals + 1) == std::string::npos
                                                                ? line.size()
                                                                : line.find_first_not_of(' ', equals + 1)));
        if (key == "Name")
            item->name = value;
        else if (key == "Exec")
            exec = value;
        else if (key == "X-Brindlet-Path")
            item->targetPath = value;
    }
    if (item->targetPath.empty()) {
        const std::string first = FirstArgument(exec);
        if (!first.empty() && first[0] == '/')
            item->targetPath = first;
    }
    item->entryPath = path;
    if (item->name.empty())
        item->name = FilesInternal::LastComponent(path);
    return true;
}

std::vector<OpaqueLSSharedFileListItemRef*> ReadEntries()
{
    std::vector<OpaqueLSSharedFileListItemRef*> items;
    const std::string folder = Paths::AutostartFolder();
    DIR* listing = opendir(folder.c_str());
    if (listing == nullptr)
        return items;
    std::vector<std::string> names;
    while (const dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name.size() > 8 && name.compare(name.size() - 8, 8, ".desktop") == 0)
            names.push_back(name);
    }
    closedir(listing);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        auto* item = new OpaqueLSSharedFileListItemRef;
        if (ReadEntry(folder + "/" + name, item))
            items.push_back(item);
        else
            CFRelease(item);
    }
    return items;
}

bool WriteEntry(const std::string& path, const std::string& text)
{
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(path.c_str()),
                                                           static_cast<CFIndex>(path.size()), false);
    CFDataRef data =
        CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(text.data()), static_cast<CFIndex>(text.size()));
    SInt32 error = 0;
    const bool written = url && data && CFURLWriteDataAndPropertiesToResource(url, data, nullptr, &error);
    if (data)
        CFRelease(data);
    if (url)
        CFRelease(url);
    return written;
}

}  // namespace

const CFStringRef kLSSharedFileListSessionLoginItems = CFSTR("com.apple.LSSharedFileList.SessionLoginItems");

namespace {

OpaqueLSSharedFileListItemRef gBeforeFirst(true);
OpaqueLSSharedFileListItemRef gLast(true);

}  // namespace

const LSSharedFileListItemRef kLSSharedFileListItemBeforeFirst = &gBeforeFirst;
const LSSharedFileListItemRef kLSSharedFileListItemLast = &gLast;

CFTypeID LSSharedFileListGetTypeID()
{
    static const CFTypeID type = CFRuntimeRegisterType("LSSharedFileList");
    return type;
}

CFTypeID LSSharedFileListItemGetTypeID()
{
    static const CFTypeID type = CFRuntimeRegisterType("LSSharedFileListItem");
    return type;
}

LSSharedFileListRef LSSharedFileListCreate(CFAllocatorRef, CFStringRef inListType, CFTypeRef)
{
    if (inListType == nullptr || !CFEqual(inListType, kLSSharedFileListSessionLoginItems))
        return nullptr;
    return new OpaqueLSSharedFileListRef;
}

CFArrayRef LSSharedFileListCopySnapshot(LSSharedFileListRef inList, UInt32* outSnapshotSeed)
{
    if (outSnapshotSeed)
        *outSnapshotSeed = 0;
    if (inList == nullptr || CFGetTypeID(inList) != LSSharedFileListGetTypeID())
        return nullptr;
    CFMutableArrayRef snapshot = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    for (OpaqueLSSharedFileListItemRef* item : ReadEntries()) {
        CFArrayAppendValue(snapshot, item);
        CFRelease(item);
    }
    return snapshot;
}

LSSharedFileListItemRef LSSharedFileListInsertItemFSRef(LSSharedFileListRef inList, LSSharedFileListItemRef,
                                                        CFStringRef inDisplayName, IconRef, const FSRef* inFSRef,
                                                        CFDictionaryRef, CFArrayRef)
{
    if (inList == nullptr || CFGetTypeID(inList) != LSSharedFileListGetTypeID())
        return nullptr;
    struct stat info;
    if (FilesInternal::StatRef(inFSRef, &info) != noErr)
        return nullptr;
    const std::string target(inFSRef->path);
    std::string name = UTF8Of(inDisplayName);
    if (name.empty())
        name = FilesInternal::LastComponent(target);
    // A desktop entry holds one line per key: a path or name that would
    // break its line cannot be written into one.
    if (HasControlCharacters(target) || HasControlCharacters(name))
        return nullptr;

    const std::string folder = Paths::AutostartFolder();
    std::string entryPath;
    std::vector<std::string> taken;
    for (OpaqueLSSharedFileListItemRef* existing : ReadEntries()) {
        if (existing->targetPath == target && entryPath.empty())
            entryPath = existing->entryPath;
        taken.push_back(existing->entryPath);
        CFRelease(existing);
    }
    if (entryPath.empty()) {
        const std::string base = folder + "/" + FileNameFor(name);
        entryPath = base + ".desktop";
        for (int n = 2;
             std::find(taken.begin(), taken.end(), entryPath) != taken.end() || access(entryPath.c_str(), F_OK) == 0;
             ++n)
            entryPath = base + "-" + std::to_string(n) + ".desktop";
    }

    struct stat resolved;
    const bool program =
        stat(target.c_str(), &resolved) == 0 && S_ISREG(resolved.st_mode) && access(target.c_str(), X_OK) == 0;
    const std::string exec = program ? QuoteArgument(target) : "xdg-open " + QuoteArgument(target);
    const std::string text = "[Desktop Entry]\nType=Application\nName=" + EscapeValue(name) +
                             "\nExec=" + EscapeValue(exec) + "\nX-Brindlet-Path=" + EscapeValue(target) +
                             "\nX-GNOME-Autostart-enabled=true\n";
    if (FilesInternal::MakeFolders(folder) != noErr || !WriteEntry(entryPath, text))
        return nullptr;
    auto* item = new OpaqueLSSharedFileListItemRef;
    item->entryPath = entryPath;
    item->name = name;
    item->targetPath = target;
    return item;
}

OSStatus LSSharedFileListItemRemove(LSSharedFileListRef inList, LSSharedFileListItemRef inItem)
{
    const OpaqueLSSharedFileListItemRef* item = AsItem(inItem);
    if (inList == nullptr || CFGetTypeID(inList) != LSSharedFileListGetTypeID() || item == nullptr ||
        item->entryPath.empty())
        return paramErr;
    // Only entries of the autostart folder are ever removed.
    if (FilesInternal::ParentPath(item->entryPath) != Paths::AutostartFolder())
        return paramErr;
    return unlink(item->entryPath.c_str()) == 0 ? noErr : FilesInternal::StatusFromErrno(errno);
}

CFStringRef LSSharedFileListItemCopyDisplayName(LSSharedFileListItemRef inItem)
{
    const OpaqueLSSharedFileListItemRef* item = AsItem(inItem);
    return item ? NewString(item->name) : nullptr;
}

OSStatus LSSharedFileListItemResolve(LSSharedFileListItemRef inItem, UInt32, CFURLRef* outURL, FSRef* outRef)
{
    if (outURL)
        *outURL = nullptr;
    const OpaqueLSSharedFileListItemRef* item = AsItem(inItem);
    if (item == nullptr)
        return paramErr;
    FSRef ref;
    if (item->targetPath.empty() ||
        FSPathMakeRef(reinterpret_cast<const UInt8*>(item->targetPath.c_str()), &ref, nullptr) != noErr)
        return fnfErr;
    if (outRef)
        *outRef = ref;
    if (outURL)
        *outURL = CFURLCreateFromFSRef(nullptr, &ref);
    return noErr;
}
