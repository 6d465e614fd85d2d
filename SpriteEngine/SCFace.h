// A sprite's face: the image (or the frames of images) a sprite shows, with
// its size and collision area.
#pragma once

#include <Units/Classes/TArrayUnit.h>

#include <CoreGraphics/CoreGraphics.h>

class TSpriteFace : public TObject {
    BRINDLET_CLASS(TSpriteFace, TObject)

public:
    static TSpriteFace* Create() { return CreateInstance<TSpriteFace>(); }

    void Deallocate() override;

    // The image's pixel size.
    CGSize GetSize();
    CGRect GetHotRect() const { return hotRect_; }
    // Without frames, the image whatever the index; with frames, frame
    // `index` counted from 1, nil for an index below 1 or past the last.
    // The face keeps ownership.
    CGImageRef GetImage(SInt32 index);

    // Filling a face: the image is retained, the frames (faces) retained by
    // their list.
    void SetImage(CGImageRef image);
    void AppendFrame(TSpriteFace* frame);
    void SetHotRect(CGRect rect) { hotRect_ = rect; }

protected:
    TSpriteFace() = default;

private:
    CGImageRef image_ = nullptr;
    TObjectArray* frames_ = nullptr;
    CGRect hotRect_ = CGRectZero;
};
