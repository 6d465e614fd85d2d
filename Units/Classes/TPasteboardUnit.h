// The clipboard as an object: flavours (typed byte blobs named by uniform
// type identifiers) written to the system clipboard and read back, finding
// the item whose flavour conforms to a wanted type. Everything this class
// puts goes onto one item, kTPasteboardItem.
//
// Nothing raises: failures answer nil or false, leave the platform status
// in Err, and write the "Warning: " lines below.
#pragma once

#include <Units/Classes/TObjectUnit.h>
#include <Units/Utilities/CarbonUtilities.h>

#include <HIServices/HIServices.h>

// The item every put goes to.
inline const PasteboardItemID kTPasteboardItem = reinterpret_cast<PasteboardItemID>(uintptr_t{1});

class TPasteboard : public TObject {
    BRINDLET_CLASS(TPasteboard, TObject)

public:
    // A reference to the system clipboard; the creation status in Err. (An
    // instance made by name gets its reference the same way.)
    static TPasteboard* CreateClipboard();

    void Initialize() override;
    void Deallocate() override;

    // The short-string forms convert the flavour and call the platform-
    // string forms. A failed put writes "Warning: PasteboardPutItemFlavor
    // error " and the status; the status also goes to Err.
    virtual void PutFlavor(const void* bytes, Size length, const ShortString& flavor, PasteboardFlavorFlags flags);
    virtual void PutFlavor(const void* bytes, Size length, CFStringRef flavor, PasteboardFlavorFlags flags);
    virtual void PutFlavor(CFDataRef data, CFStringRef flavor, PasteboardFlavorFlags flags);
    // The data of the item ContainsFlavor finds, in a new memory block
    // (caller disposes): the flavour itself when the item has it, else the
    // item's first flavour that conforms to it. Nil, with "Warning: The
    // flavor <flavour> does not exist.", when no item has one.
    virtual Ptr CopyFlavor(const ShortString& flavor);
    virtual Ptr CopyFlavor(CFStringRef flavor);
    // The flavour's data of the item at the 1-based index in a new memory
    // block of exactly its length (caller disposes), or nil; for an index
    // with no item, "Warning: The flavor <flavour> at index <index> does
    // not exist." and nil.
    virtual Ptr CopyFlavor(CFIndex index, CFStringRef flavor);
    // The same as new data (caller releases).
    virtual CFDataRef CopyFlavorData(CFIndex index, CFStringRef flavor);
    // Whether some item has a flavour conforming to `flavor`; `item` is the
    // last such item's identifier (0 when there is none).
    virtual bool ContainsFlavor(const ShortString& flavor);
    virtual bool ContainsFlavor(CFStringRef flavor);
    virtual bool ContainsFlavor(CFStringRef flavor, PasteboardItemID& item);
    // Empties the clipboard and takes ownership of it, so that puts are
    // accepted; the status in Err and answered.
    virtual OSStatus Clear();

    // Every flavour type of every item, with CFShow.
    void Show() override;

    PasteboardRef GetPasteboardRef() const { return pasteboard_; }

protected:
    TPasteboard() = default;

private:
    // The flavour of the item that stands for `flavor`: itself, or else the
    // first that conforms to it; nil when the item has neither.
    CFStringRef CopyConformingFlavor(PasteboardItemID item, CFStringRef flavor);
    // The data in a new block of exactly its length; nil for nil data.
    static Ptr NewBlockWithData(CFDataRef data);

    PasteboardRef pasteboard_ = nullptr;
};

void InitializeTPasteboardUnit();
