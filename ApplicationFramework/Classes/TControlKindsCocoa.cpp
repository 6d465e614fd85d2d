// A view showing a Cocoa view made from a nib.
#include "TControlKindsUnit.h"

#include <ApplicationFramework/Classes/TCocoaViewUnit.h>

BRINDLET_DEFINE_CLASS(TCocoaControl, TControl)

void TCocoaControl::Initialize()
{
    Inherited::Initialize();
    const ShortString nibName = GetStringProperty(kControlPropertyTagNib);
    if (!nibName.IsEmpty())
        cocoaView_ = TCocoaView::Create(GetHIView(), nibName);
}

void TCocoaControl::Deallocate()
{
    ReleaseObject(cocoaView_);
    Inherited::Deallocate();
}

NSView* TCocoaControl::GetSubView(NSInteger tag)
{
    return cocoaView_ != nullptr ? cocoaView_->GetSubView(tag) : nullptr;
}

NSView* TCocoaControl::GetNSView()
{
    return cocoaView_ != nullptr ? cocoaView_->GetNSView() : nullptr;
}
