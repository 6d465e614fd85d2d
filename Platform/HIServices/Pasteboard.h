// The Pasteboard Manager: named pasteboards holding items, each item a set
// of flavours (typed byte blobs named by uniform type identifiers).
//
// The clipboard (kPasteboardClipboard) is the desktop's clipboard through
// QClipboard whenever a QGuiApplication exists and the call comes from its
// thread; calls from any other thread answer badPasteboardSyncErr. With no
// QGuiApplication at all (tools, unit tests) it is a store of this process
// that lasts as long as the process, so copy and paste still work within
// it. Every other name is a pasteboard of this process shared by all
// references of that name; a nil name gives a pasteboard private to its
// reference.
//
// Reads always see the pasteboard as it is now: there is no local copy to
// go stale, so PasteboardSynchronize only reports what changed.
//
// What other programs put on the clipboard appears as one item (identifier
// kPasteboardForeignItem) whose flavours are the identifiers of its MIME
// types, in the order the owner offers them; an image Qt can read is also
// offered as public.png and public.tiff (converted, flagged
// kPasteboardFlavorSystemTranslated). A uri-list with several URLs gives one
// further item per URL after the first, each with public.file-url (file
// URLs) or public.url (any other). Within this process the items read back
// exactly as they were put.
//
// Writing takes ownership first (PasteboardClear); puts without it answer
// notPasteboardOwnerErr, and ownership is lost as soon as anything else
// (another reference, another program, QClipboard itself) replaces the
// clipboard. Other programs see the items merged into one: each MIME type
// from the first item that has a flavour of it (file URLs of every item
// joined into one uri-list). Identifiers with a MIME type travel as that
// type; any other identifier travels as "application/x-brindlet-uti;type="
// followed by the identifier, so that our own kinds cross between our
// programs unchanged.
//
// References are CF objects: released with CFRelease.
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <CoreServices/CoreServices.h>

typedef struct OpaquePasteboardRef* PasteboardRef;
typedef void* PasteboardItemID;
typedef OptionBits PasteboardFlavorFlags;
typedef OptionBits PasteboardSyncFlags;

extern const CFStringRef kPasteboardClipboard;  // "com.apple.pasteboard.clipboard"
extern const CFStringRef kPasteboardFind;       // "com.apple.pasteboard.find"
#define kPasteboardUniqueName ((CFStringRef) nullptr)

// The identifier of the item that holds what another program put on the
// clipboard (further URL items count on from it).
inline const PasteboardItemID kPasteboardForeignItem = reinterpret_cast<PasteboardItemID>(uintptr_t{1});

enum : PasteboardFlavorFlags {
    kPasteboardFlavorNoFlags = 0,
    // Seen only within this process, never offered to other programs.
    kPasteboardFlavorSenderOnly = 1u << 0,
    kPasteboardFlavorSenderTranslated = 1u << 1,
    kPasteboardFlavorNotSaved = 1u << 2,
    kPasteboardFlavorRequestOnly = 1u << 3,
    // Made by the system from another flavour of the item.
    kPasteboardFlavorSystemTranslated = 1u << 8,
    kPasteboardFlavorPromised = 1u << 9,
};

enum : PasteboardSyncFlags {
    // The pasteboard changed since this reference last synchronised (or
    // was created).
    kPasteboardModified = 1u << 0,
    // This reference owns the pasteboard: its puts are accepted.
    kPasteboardClientIsOwner = 1u << 1,
};

CFTypeID PasteboardGetTypeID();

// A new reference (caller releases) to the pasteboard of that name.
OSStatus PasteboardCreate(CFStringRef inName, PasteboardRef* outPasteboard);
// Empties the pasteboard and makes this reference its owner.
OSStatus PasteboardClear(PasteboardRef inPasteboard);
// Whether the pasteboard changed since this reference last asked, and
// whether this reference owns it; 0 for anything that is not a pasteboard.
PasteboardSyncFlags PasteboardSynchronize(PasteboardRef inPasteboard);

// Adds a flavour to the item of that identifier (a new item, after the
// others, when the pasteboard has none of it). The data is copied.
// notPasteboardOwnerErr without ownership; duplicatePasteboardFlavorErr
// when the item has that flavour already; noPasteboardPromiseKeeperErr for
// nil data (promises are not kept); paramErr for a nil item identifier or
// an empty flavour type.
OSStatus PasteboardPutItemFlavor(PasteboardRef inPasteboard, PasteboardItemID inItem, CFStringRef inFlavorType,
                                 CFDataRef inData, PasteboardFlavorFlags inFlags);

OSStatus PasteboardGetItemCount(PasteboardRef inPasteboard, ItemCount* outItemCount);
// The identifier of the item at a 1-based index; badPasteboardIndexErr
// outside 1 ... count.
OSStatus PasteboardGetItemIdentifier(PasteboardRef inPasteboard, CFIndex inIndex, PasteboardItemID* outItem);
// The item's flavour types in order, a new array of strings;
// badPasteboardItemErr when there is no such item.
OSStatus PasteboardCopyItemFlavors(PasteboardRef inPasteboard, PasteboardItemID inItem, CFArrayRef* outFlavorTypes);
OSStatus PasteboardGetItemFlavorFlags(PasteboardRef inPasteboard, PasteboardItemID inItem, CFStringRef inFlavorType,
                                      PasteboardFlavorFlags* outFlags);
// The flavour's data, new (caller releases). Flavour types compare without
// regard to case; badPasteboardFlavorErr when the item has no such flavour.
OSStatus PasteboardCopyItemFlavorData(PasteboardRef inPasteboard, PasteboardItemID inItem, CFStringRef inFlavorType,
                                      CFDataRef* outData);
