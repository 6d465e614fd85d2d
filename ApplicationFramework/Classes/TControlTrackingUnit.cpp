#include "TControlTrackingUnit.h"

#include <ApplicationFramework/Classes/TControlUnit.h>
#include <Units/Utilities/CarbonUtilities.h>

#include <HIToolbox/HIView.h>

BRINDLET_DEFINE_CLASS(TControlTrackingHandler, TMouseHandler)

void TControlTrackingHandler::Deallocate()
{
    ReleaseObject(hovered_);
    Inherited::Deallocate();
}

TControl* TControlTrackingHandler::GetControlForMouseEvent()
{
    HIViewRef view = nullptr;
    Err = HIViewGetViewForMouseEvent(HIViewGetRoot(GetWindow()), GetCurrentEvent(), &view);
    if (Err != noErr || view == nullptr)
        return nullptr;
    TControlView* object = HIViewGetObject(view);
    if (object == nullptr || !object->GetClass().InheritsFrom(TControl::StaticClass()))
        return nullptr;
    return static_cast<TControl*>(object);
}

void TControlTrackingHandler::TrackArea(TControl* control, CGPoint point, SInt32& result)
{
    if (control == hovered_)
        return;
    // The control left hears of it first; it is let go only afterwards, so
    // that its hook still runs on a live object.
    if (TControl* left = hovered_) {
        hovered_ = nullptr;
        if (TObject::IsLiveObject(left))
            left->EventMouseExited(left->ConvertPointFromWindow(point), result);
        left->Release();
    }
    if (control != nullptr) {
        RetainObject(hovered_, control);
        control->EventMouseEntered(control->ConvertPointFromWindow(point), result);
    }
}

void TControlTrackingHandler::EventMouseDown(UInt16, UInt32, CGPoint point, SInt32& result)
{
    if (TControl* control = GetControlForMouseEvent())
        control->EventMouseDown(control->ConvertPointFromWindow(point), result);
}

void TControlTrackingHandler::EventMouseUp(UInt16, UInt32, CGPoint point, SInt32& result)
{
    if (TControl* control = GetControlForMouseEvent())
        control->EventMouseUp(control->ConvertPointFromWindow(point), result);
}

void TControlTrackingHandler::EventMouseDragged(CGPoint point, SInt32& result)
{
    TControl* control = GetControlForMouseEvent();
    TrackArea(control, point, result);
    if (control != nullptr && TObject::IsLiveObject(control))
        control->EventMouseDragged(control->ConvertPointFromWindow(point), result);
}

void TControlTrackingHandler::EventMouseMoved(CGPoint point, SInt32& result)
{
    TControl* control = GetControlForMouseEvent();
    TrackArea(control, point, result);
    if (control != nullptr && TObject::IsLiveObject(control))
        control->EventMouseMoved(control->ConvertPointFromWindow(point), result);
}

void TControlTrackingHandler::EventMouseWheelMoved(CGPoint point, SInt32 delta, UInt16, SInt32& result)
{
    if (TControl* control = GetControlForMouseEvent())
        control->EventMouseWheelMoved(control->ConvertPointFromWindow(point), delta, result);
}
