#include "SCSpriteView.h"

BRINDLET_DEFINE_CLASS(TSpriteView, TObject)

TSpriteView* TSpriteView::Create(TSpriteProtocol* parent)
{
    TSpriteView* view = Allocate();
    view->SetParent(parent);
    view->Initialize();
    return view;
}
