// Control tracking: the mouse handler every framework window installs. It
// finds the control under each mouse event of the window and hands the
// event to that control's hooks in the control's own coordinates, and it
// remembers the control under the mouse, so that controls are told when
// the mouse enters and leaves them: the control left always hears of it
// before the control entered, and a control never hears of two entries in
// a row.
#pragma once

#include <ApplicationFramework/Classes/TEventHandlerUnit.h>

class TControl;

class TControlTrackingHandler : public TMouseHandler {
    BRINDLET_CLASS(TControlTrackingHandler, TMouseHandler)

public:
    // A handler on the window's event target.
    static TControlTrackingHandler* Create(WindowRef window)
    {
        return CreateForWindow<TControlTrackingHandler>(window);
    }

    // Releases the control under the mouse, then the inherited deallocation.
    void Deallocate() override;

    void EventMouseUp(UInt16 button, UInt32 clickCount, CGPoint point, SInt32& result) override;
    void EventMouseDown(UInt16 button, UInt32 clickCount, CGPoint point, SInt32& result) override;
    void EventMouseDragged(CGPoint point, SInt32& result) override;
    void EventMouseMoved(CGPoint point, SInt32& result) override;
    void EventMouseWheelMoved(CGPoint point, SInt32 delta, UInt16 axis, SInt32& result) override;

    // Tells the control under the mouse before (exited) and `control`
    // (entered) when they differ; `control` may be nil (the mouse is over
    // no control). `point` is in window coordinates.
    virtual void TrackArea(TControl* control, CGPoint point, SInt32& result);
    // The control object of the view the event being handled hits; nil
    // when the view has none (the status of the search is in Err).
    virtual TControl* GetControlForMouseEvent();

    // The control under the mouse; nil for none.
    TControl* GetHoveredControl() const { return hovered_; }

protected:
    TControlTrackingHandler() = default;

private:
    TControl* hovered_ = nullptr;
};
