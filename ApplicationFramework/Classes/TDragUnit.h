// A drag of the Drag Manager as an object: a drag the program starts (a
// card, a task row, a sprite carried out) or one arriving at a control or
// the canvas. Items are addressed by index from 1 to GetCount, flavours by
// type; the program's values (files, texts, images) are packed into
// flavours and read back. Points are Quartz points in global coordinates.
//
// Flavours that carry object references are meaningful only inside the
// process that made the drag; the Drag Manager never shows another
// process's, so what GetFlavor reads here was written here.
#pragma once

#include <Units/Classes/TArrayUnit.h>
#include <Units/Classes/TDictionaryUnit.h>
#include <Units/Classes/TObjectUnit.h>

#include <CoreGraphics/CGImage.h>
#include <CoreServices/Files.h>
#include <HIToolbox/Drag.h>

class TDrag : public TObject {
    BRINDLET_CLASS(TDrag, TObject)

public:
    // A new drag (NewDrag), owned: disposed with the object.
    static TDrag* Create();
    // An arriving drag, not owned; the one-argument adders add to `item`.
    static TDrag* Create(DragRef drag, DragItemRef item = 0);

    void Show() override;
    void Deallocate() override;

    // Runs the drag from a mouse event (nothing happens for an event that
    // is not one); the Drag Manager's status is not returned.
    virtual void Track(EventRef event);
    // The drag image, its top-left corner at `offset` from the mouse.
    virtual void SetImage(CGImageRef image, CGPoint offset);
    virtual void SetImage(CGImageRef image, CGPoint offset, bool opaque);
    virtual void SetMouse(CGPoint point);

    virtual UInt16 GetCount();
    virtual CGPoint GetMouse();
    virtual CGPoint GetGlobalPinnedMouse();
    virtual DragRef GetDragRef();
    virtual SInt16 GetModifiers();
    virtual CGRect GetItemBounds(UInt16 index);
    virtual CGPoint GetOrigin();
    virtual UInt16 Limit();

    // 'furl': the file's URL; 'utf8': the text; 'TIFF': the image. Nothing
    // is added when the content cannot be made.
    virtual void AddFSRef(const FSRef& ref);
    virtual void AddFSRef(DragItemRef item, const FSRef& ref);
    virtual void AddCFString(CFStringRef text);
    virtual void AddCFString(DragItemRef item, CFStringRef text);
    virtual void AddCGImage(CGImageRef image);
    virtual void AddCGImage(DragItemRef item, CGImageRef image);

    // The file of item `index`'s 'hfs ' flavour; false (ref untouched) when
    // the item has none or the file is gone.
    virtual bool GetFSRefFlavor(UInt16 index, FSRef& ref);
    // The flavour's bytes as UTF-8 text (new; nil when absent or not UTF-8).
    virtual CFStringRef CopyCFStringFlavor(UInt16 index);
    virtual CFStringRef CopyCFStringFlavor(UInt16 index, FlavorType type);
    // The item's 'TIFF' image, else its 'PNGf' one (new; nil for neither).
    virtual CGImageRef CopyCGImageFlavor(UInt16 index);

    virtual void AddFlavor(FlavorType type, const void* data, Size size);
    virtual void AddFlavor(DragItemRef item, FlavorType type, const void* data, Size size);
    virtual bool ContainsFlavor(FlavorType type);
    virtual bool ContainsFlavor(UInt16 index, FlavorType type);
    // Copies the flavour into `buffer`, which holds `bufferSize` bytes;
    // true only when the whole flavour fit (the buffer untouched otherwise).
    virtual bool GetFlavor(UInt16 index, FlavorType type, void* buffer, Size bufferSize);
    virtual Size GetFlavorSize(UInt16 index, FlavorType type);
    // New pointer array: CopyFlavor(i, type) for every item, nil entries included.
    virtual TPointerArray* CopyFlavorArray(FlavorType type);
    // New pointer dictionary: flavour type (four characters) → a copy of its data.
    virtual TPointerDictionary* CopyFlavors(UInt16 index);
    // A new memory block (ReleasePtr) with the first flavour of the type
    // (any type for 0) whose copy succeeds; nil otherwise.
    virtual Ptr CopyFlavor(UInt16 index, FlavorType type);

protected:
    TDrag() = default;

private:
    // The reference of item `index`; 0 (the status in Err) when there is none.
    DragItemRef ItemAt(UInt16 index);

    DragRef drag_ = nullptr;
    DragItemRef item_ = 0;
    bool ownsDrag_ = false;
};
