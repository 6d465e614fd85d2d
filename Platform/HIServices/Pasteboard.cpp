// Pasteboard references, the pasteboards of this process, and the choice
// of where each call goes: the system clipboard (PasteboardClipboard.cpp)
// or a store of this process.
#include "PasteboardInternal.h"

#include <CarbonCore/MacErrors.h>
#include <CoreFoundation/CFRuntime.h>

#include <atomic>
#include <map>
#include <mutex>

using namespace PasteboardDetail;

namespace {

// A pasteboard of this process. Its lock covers every call on it, since
// background tasks may use named pasteboards too.
struct LocalStore {
    std::mutex mutex;
    std::shared_ptr<Contents> contents;
    uint64_t generation = 1;
};

std::atomic<uint64_t> gNextSerial{1};

}  // namespace

struct OpaquePasteboardRef final : CFRuntimeObject {
    OpaquePasteboardRef() : CFRuntimeObject(PasteboardGetTypeID()) {}

    CFStringRef CopyDescription() const override
    {
        const QString text = QString::fromStdString(CFRuntimeDescriptionPrefix(this)) + QStringLiteral("{name = ") +
                             (name.isEmpty() ? QStringLiteral("(unique)") : name) + QStringLiteral("}");
        return StringFromQt(text);
    }

    // Tells the references apart as owners, even when one is freed and
    // another made at the same address.
    const uint64_t serial = gNextSerial++;
    QString name;
    bool isClipboard = false;
    // The pasteboard itself; for the clipboard, the stand-in used while no
    // QGuiApplication exists.
    std::shared_ptr<LocalStore> store;
    std::atomic<uint64_t> seenGeneration{0};
};

namespace {

// Named pasteboards, the clipboard's stand-in among them, last as long as
// the process: what was copied stays to be pasted after its reference is
// gone.
std::shared_ptr<LocalStore> NamedStore(const QString& name)
{
    static auto* mutex = new std::mutex;
    static auto* stores = new std::map<QString, std::shared_ptr<LocalStore>>;
    std::lock_guard lock(*mutex);
    std::shared_ptr<LocalStore>& store = (*stores)[name];
    if (store == nullptr)
        store = std::make_shared<LocalStore>();
    return store;
}

OpaquePasteboardRef* AsPasteboard(PasteboardRef ref)
{
    if (ref == nullptr || CFGetTypeID(ref) != PasteboardGetTypeID())
        return nullptr;
    return ref;
}

enum class Route { Local, System, Unreachable };

Route RouteOf(const OpaquePasteboardRef* pasteboard)
{
    if (!pasteboard->isClipboard || !ClipboardIsSystem())
        return Route::Local;
    return ClipboardReachable() ? Route::System : Route::Unreachable;
}

uint64_t GenerationOf(const OpaquePasteboardRef* pasteboard)
{
    switch (RouteOf(pasteboard)) {
    case Route::Local: {
        std::lock_guard lock(pasteboard->store->mutex);
        return pasteboard->store->generation;
    }
    case Route::System:
        return ClipboardGeneration();
    case Route::Unreachable:
        break;
    }
    return 0;
}

// Runs `read` on the pasteboard's contents as they are now.
template <typename Read>
OSStatus WithContents(const OpaquePasteboardRef* pasteboard, Read&& read)
{
    switch (RouteOf(pasteboard)) {
    case Route::Local: {
        std::lock_guard lock(pasteboard->store->mutex);
        static const Contents empty;
        const auto& contents = pasteboard->store->contents;
        return read(contents ? *contents : empty);
    }
    case Route::System: {
        const std::shared_ptr<const Contents> contents = ClipboardContents();
        return read(*contents);
    }
    case Route::Unreachable:
        break;
    }
    return badPasteboardSyncErr;
}

const Item* FindItem(const Contents& contents, PasteboardItemID id)
{
    for (const Item& item : contents.items) {
        if (item.id == id)
            return &item;
    }
    return nullptr;
}

const Flavor* FindFlavor(const Item& item, CFStringRef type)
{
    for (const Flavor& flavor : item.flavors) {
        if (SameIdentifier(flavor.type, type))
            return &flavor;
    }
    return nullptr;
}

// Runs `read` on one flavour of one item, answering the pasteboard's error
// when the item or the flavour is not there.
template <typename Read>
OSStatus WithFlavor(const OpaquePasteboardRef* pasteboard, PasteboardItemID itemID, CFStringRef type, Read&& read)
{
    return WithContents(pasteboard, [&](const Contents& contents) -> OSStatus {
        const Item* item = FindItem(contents, itemID);
        if (item == nullptr)
            return badPasteboardItemErr;
        const Flavor* flavor = FindFlavor(*item, type);
        if (flavor == nullptr)
            return badPasteboardFlavorErr;
        return read(contents, *flavor);
    });
}

bool IsString(CFTypeRef value)
{
    return value != nullptr && CFGetTypeID(value) == CFStringGetTypeID() &&
           CFStringGetLength(static_cast<CFStringRef>(value)) > 0;
}

// Adds the flavour to the owner's contents.
OSStatus AddFlavor(Contents& contents, PasteboardItemID itemID, CFStringRef type, CFDataRef data,
                   PasteboardFlavorFlags flags)
{
    Item* item = nullptr;
    for (Item& candidate : contents.items) {
        if (candidate.id == itemID)
            item = &candidate;
    }
    if (item == nullptr) {
        contents.items.push_back(Item{itemID, {}});
        item = &contents.items.back();
    } else if (FindFlavor(*item, type) != nullptr) {
        return duplicatePasteboardFlavorErr;
    }
    Flavor flavor;
    flavor.type.Reset(CFStringCreateCopy(nullptr, type));
    // A copy: the caller may go on changing mutable data it put.
    flavor.data.Reset(CFDataCreateCopy(nullptr, data));
    flavor.flags = flags;
    item->flavors.push_back(std::move(flavor));
    return noErr;
}

}  // namespace

const CFStringRef kPasteboardClipboard = CFSTR("com.apple.pasteboard.clipboard");
const CFStringRef kPasteboardFind = CFSTR("com.apple.pasteboard.find");

CFTypeID PasteboardGetTypeID()
{
    static const CFTypeID type = CFRuntimeRegisterType("Pasteboard");
    return type;
}

OSStatus PasteboardCreate(CFStringRef inName, PasteboardRef* outPasteboard)
{
    if (outPasteboard == nullptr)
        return paramErr;
    *outPasteboard = nullptr;
    if (inName != nullptr && !IsString(inName))
        return paramErr;
    auto* pasteboard = new OpaquePasteboardRef;
    if (inName == nullptr) {
        pasteboard->store = std::make_shared<LocalStore>();
    } else {
        pasteboard->name = StringToQt(inName);
        pasteboard->isClipboard = CFEqual(inName, kPasteboardClipboard);
        pasteboard->store = NamedStore(pasteboard->name);
    }
    pasteboard->seenGeneration = GenerationOf(pasteboard);
    *outPasteboard = pasteboard;
    return noErr;
}

OSStatus PasteboardClear(PasteboardRef inPasteboard)
{
    OpaquePasteboardRef* pasteboard = AsPasteboard(inPasteboard);
    if (pasteboard == nullptr)
        return paramErr;
    switch (RouteOf(pasteboard)) {
    case Route::Local: {
        std::lock_guard lock(pasteboard->store->mutex);
        auto contents = std::make_shared<Contents>();
        contents->owner = pasteboard->serial;
        pasteboard->store->contents = std::move(contents);
        pasteboard->seenGeneration = ++pasteboard->store->generation;
        return noErr;
    }
    case Route::System:
        ClipboardTakeOwnership(pasteboard->serial);
        pasteboard->seenGeneration = ClipboardGeneration();
        return noErr;
    case Route::Unreachable:
        break;
    }
    return badPasteboardSyncErr;
}

PasteboardSyncFlags PasteboardSynchronize(PasteboardRef inPasteboard)
{
    OpaquePasteboardRef* pasteboard = AsPasteboard(inPasteboard);
    if (pasteboard == nullptr)
        return 0;
    PasteboardSyncFlags flags = 0;
    const uint64_t generation = GenerationOf(pasteboard);
    if (pasteboard->seenGeneration.exchange(generation) != generation)
        flags |= kPasteboardModified;
    switch (RouteOf(pasteboard)) {
    case Route::Local: {
        std::lock_guard lock(pasteboard->store->mutex);
        const auto& contents = pasteboard->store->contents;
        if (contents && contents->owner == pasteboard->serial)
            flags |= kPasteboardClientIsOwner;
        break;
    }
    case Route::System:
        if (ClipboardOwnedContents(pasteboard->serial))
            flags |= kPasteboardClientIsOwner;
        break;
    case Route::Unreachable:
        break;
    }
    return flags;
}

OSStatus PasteboardPutItemFlavor(PasteboardRef inPasteboard, PasteboardItemID inItem, CFStringRef inFlavorType,
                                 CFDataRef inData, PasteboardFlavorFlags inFlags)
{
    OpaquePasteboardRef* pasteboard = AsPasteboard(inPasteboard);
    if (pasteboard == nullptr || inItem == nullptr || !IsString(inFlavorType))
        return paramErr;
    if (inData == nullptr)
        return noPasteboardPromiseKeeperErr;
    if (CFGetTypeID(inData) != CFDataGetTypeID())
        return paramErr;
    switch (RouteOf(pasteboard)) {
    case Route::Local: {
        std::lock_guard lock(pasteboard->store->mutex);
        const auto& contents = pasteboard->store->contents;
        if (contents == nullptr || contents->owner != pasteboard->serial)
            return notPasteboardOwnerErr;
        const OSStatus status = AddFlavor(*contents, inItem, inFlavorType, inData, inFlags);
        if (status == noErr)
            pasteboard->seenGeneration = ++pasteboard->store->generation;
        return status;
    }
    case Route::System: {
        const std::shared_ptr<Contents> contents = ClipboardOwnedContents(pasteboard->serial);
        if (contents == nullptr)
            return notPasteboardOwnerErr;
        const OSStatus status = AddFlavor(*contents, inItem, inFlavorType, inData, inFlags);
        if (status == noErr) {
            ClipboardAnnounce(contents);
            pasteboard->seenGeneration = ClipboardGeneration();
        }
        return status;
    }
    case Route::Unreachable:
        break;
    }
    return badPasteboardSyncErr;
}

OSStatus PasteboardGetItemCount(PasteboardRef inPasteboard, ItemCount* outItemCount)
{
    if (outItemCount != nullptr)
        *outItemCount = 0;
    const OpaquePasteboardRef* pasteboard = AsPasteboard(inPasteboard);
    if (pasteboard == nullptr || outItemCount == nullptr)
        return paramErr;
    return WithContents(pasteboard, [&](const Contents& contents) {
        *outItemCount = contents.items.size();
        return noErr;
    });
}

OSStatus PasteboardGetItemIdentifier(PasteboardRef inPasteboard, CFIndex inIndex, PasteboardItemID* outItem)
{
    if (outItem != nullptr)
        *outItem = nullptr;
    const OpaquePasteboardRef* pasteboard = AsPasteboard(inPasteboard);
    if (pasteboard == nullptr || outItem == nullptr)
        return paramErr;
    return WithContents(pasteboard, [&](const Contents& contents) -> OSStatus {
        if (inIndex < 1 || static_cast<size_t>(inIndex) > contents.items.size())
            return badPasteboardIndexErr;
        *outItem = contents.items[static_cast<size_t>(inIndex - 1)].id;
        return noErr;
    });
}

OSStatus PasteboardCopyItemFlavors(PasteboardRef inPasteboard, PasteboardItemID inItem, CFArrayRef* outFlavorTypes)
{
    if (outFlavorTypes != nullptr)
        *outFlavorTypes = nullptr;
    const OpaquePasteboardRef* pasteboard = AsPasteboard(inPasteboard);
    if (pasteboard == nullptr || outFlavorTypes == nullptr)
        return paramErr;
    return WithContents(pasteboard, [&](const Contents& contents) -> OSStatus {
        const Item* item = FindItem(contents, inItem);
        if (item == nullptr)
            return badPasteboardItemErr;
        CFMutableArrayRef types = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
        for (const Flavor& flavor : item->flavors)
            CFArrayAppendValue(types, flavor.type.get());
        *outFlavorTypes = types;
        return noErr;
    });
}

OSStatus PasteboardGetItemFlavorFlags(PasteboardRef inPasteboard, PasteboardItemID inItem, CFStringRef inFlavorType,
                                      PasteboardFlavorFlags* outFlags)
{
    if (outFlags != nullptr)
        *outFlags = kPasteboardFlavorNoFlags;
    const OpaquePasteboardRef* pasteboard = AsPasteboard(inPasteboard);
    if (pasteboard == nullptr || outFlags == nullptr || !IsString(inFlavorType))
        return paramErr;
    return WithFlavor(pasteboard, inItem, inFlavorType, [&](const Contents&, const Flavor& flavor) -> OSStatus {
        *outFlags = flavor.flags;
        return noErr;
    });
}

OSStatus PasteboardCopyItemFlavorData(PasteboardRef inPasteboard, PasteboardItemID inItem, CFStringRef inFlavorType,
                                      CFDataRef* outData)
{
    if (outData != nullptr)
        *outData = nullptr;
    const OpaquePasteboardRef* pasteboard = AsPasteboard(inPasteboard);
    if (pasteboard == nullptr || outData == nullptr || !IsString(inFlavorType))
        return paramErr;
    return WithFlavor(pasteboard, inItem, inFlavorType,
                      [&](const Contents& contents, const Flavor& flavor) -> OSStatus {
                          CFDataRef data = flavor.data ? static_cast<CFDataRef>(CFRetain(flavor.data))
                                                       : ClipboardCopyForeignData(contents, flavor);
                          // The program that offered it may have gone since.
                          if (data == nullptr)
                              return badPasteboardFlavorErr;
                          *outData = data;
                          return noErr;
                      });
}
