// Sub-views: objects a sprite shows along with its own image, each drawing
// a part of it in the sprite's drawing passes.
#pragma once

#include <SpriteEngine/SCGlobals.h>

class TSpriteView : public TObject {
    BRINDLET_CLASS(TSpriteView, TObject)

public:
    static TSpriteView* Create(TSpriteProtocol* parent);

    void SetParent(TSpriteProtocol* parent) { parent_ = parent; }
    TSpriteProtocol* GetParent() const { return parent_; }
    void SetHidden(bool hidden) { hidden_ = hidden; }

    virtual bool IsHidden() { return hidden_; }
    // Drawing hooks; the base view draws nothing.
    virtual void HandleDraw(CGContextRef) {}
    virtual void HandleDrawGrid(CGContextRef) {}
    virtual void HandleDrawComposite(CGContextRef, bool& /*again*/, CGRect /*frame*/) {}
    virtual void HandleDrawImage(CGImageRef, CGRect, CGContextRef) {}

protected:
    TSpriteView() = default;

private:
    bool hidden_ = false;
    // The sprite that shows it (not retained: the sprite owns its views).
    TSpriteProtocol* parent_ = nullptr;
};
