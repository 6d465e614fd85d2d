#include "SCFace.h"

BRINDLET_DEFINE_CLASS(TSpriteFace, TObject)

void TSpriteFace::Deallocate()
{
    SetImage(nullptr);
    ReleaseObject(frames_);
    Inherited::Deallocate();
}

CGSize TSpriteFace::GetSize()
{
    if (image_ == nullptr)
        return CGSizeZero;
    return CGSizeMake(CGFloat(CGImageGetWidth(image_)), CGFloat(CGImageGetHeight(image_)));
}

CGImageRef TSpriteFace::GetImage(SInt32 index)
{
    if (frames_ == nullptr)
        return image_;
    if (index < 1)
        return nullptr;
    auto* frame = static_cast<TSpriteFace*>(frames_->GetValue(index - 1));
    return frame != nullptr ? frame->image_ : nullptr;
}

void TSpriteFace::SetImage(CGImageRef image)
{
    if (image != nullptr)
        CGImageRetain(image);
    if (image_ != nullptr)
        CGImageRelease(image_);
    image_ = image;
}

void TSpriteFace::AppendFrame(TSpriteFace* frame)
{
    if (frame == nullptr)
        return;
    if (frames_ == nullptr)
        frames_ = TObjectArray::Create();
    frames_->AppendValue(frame);
}
