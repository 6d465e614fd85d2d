#pragma once

// What the engine's tests share: probes that write down which hooks ran
// (in one log, so the order across objects shows), and a fixture with a
// stopped clock, a plain view and a canvas bound to it.

#include <SpriteEngine/SCCanvas.h>
#include <SpriteEngine/SCLayer.h>
#include <SpriteEngine/SCSprite.h>
#include <SpriteEngine/SpriteEngineInitialization.h>
#include <Units/Classes/TObjectRef.h>

#include <CarbonCore/CarbonEventLoop.h>
#include <Support/Clock.h>

#include <QImage>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

std::vector<std::string>& ProbeLog();

// Names of the sprites of a table, in table order.
std::vector<std::string> Names(CFArrayRef table);

class TProbeCanvas : public TSpriteCanvas {
    BRINDLET_CLASS(TProbeCanvas, TSpriteCanvas)

public:
    static TProbeCanvas* Create(CGSize size, CanvasOptions options);

    int frames = 0;
    bool reenter = false;
    // Where the mouse is, in screen coordinates (origin bottom left).
    CGPoint mouse = {0, 0};
    int movedOverEmptyCanvas = 0;

    void HandleProcessLoop() override;
    void HandleMouseMoved(CGPoint, TSpriteLayerProtocol*, TSpriteProtocol* sprite, OSStatus&) override;

protected:
    TProbeCanvas() = default;
    CGPoint GetMouseLocation() override { return mouse; }
};

class TProbeSprite : public TSprite {
    BRINDLET_CLASS(TProbeSprite, TSprite)

public:
    // A probe on `layer` (which takes it over) with the frame.
    static TProbeSprite* Create(TSpriteLayerProtocol* layer, const std::string& name, CGRect frame);

    std::string name;
    int processed = 0;
    // One-shot hooks of the next HandleProcess and HandleMouseEntered.
    std::function<void(TProbeSprite*)> onProcess;
    std::function<void(TProbeSprite*)> onEntered;
    static inline int freed = 0;

    void Initialize() override;
    void Deallocate() override;
    void HandleProcess() override;
    void HandleMouseEntered(CGPoint) override;
    void HandleMouseHover(CGPoint, OSStatus&) override;
    void HandleMouseExited(CGPoint) override;
    void HandleMouseClicked(CGPoint, OSStatus&) override;
    void HandleFocusChanged(bool focused) override;
    void HandleCollision(TSprite* other) override;
    void HandleHitTesting(TSprite* other) override;
    void Ping();

protected:
    TProbeSprite() = default;
    template <typename T>
    static T* Make(TSpriteLayerProtocol* layer, const std::string& name, CGRect frame)
    {
        T* sprite = AllocateInstance<T>();
        sprite->name = name;
        sprite->SetLayer(layer);
        sprite->Initialize();
        sprite->SetFrame(frame);
        return sprite;
    }
};

class TProbeSubSprite : public TProbeSprite {
    BRINDLET_CLASS(TProbeSubSprite, TProbeSprite)

public:
    static TProbeSubSprite* Create(TSpriteLayerProtocol* layer, const std::string& name, CGRect frame)
    {
        return Make<TProbeSubSprite>(layer, name, frame);
    }

protected:
    TProbeSubSprite() = default;
};

class SpriteFixture : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A canvas bound to the fixture's 100 × 100 view.
    TProbeCanvas* MakeCanvas(CGSize size = {100, 100}, CanvasOptions options = 0);
    // A layer the canvas owns.
    TSpriteLayer* AddLayer(SInt32 kind = 0, bool transformable = true);
    // One tick of 1/60 s and the timers that came due.
    void Tick(int count = 1);
    void Pass();
    std::vector<std::string> TakeLog();

    Clock::Fake clock_{1e9};
    HIViewRef view_ = nullptr;
    TObjectRef<TProbeCanvas> canvas_;
};

// A shown window whose content holds a canvas view (at (10, 10) in the
// window) bound to the fixture's canvas.
class WindowCanvasFixture : public SpriteFixture {
protected:
    void TearDown() override;

    TProbeCanvas* MakeWindowCanvas(CGSize size, CanvasOptions options = 0);
    // What the canvas view shows now (after drawing what is invalid).
    QImage Screen();
    // One frame (its display request goes to the window), then the window's
    // draw pass.
    QImage Frame();
    // A point of the canvas in the window's content, and on the screen.
    static HIPoint InWindow(CGFloat x, CGFloat y) { return CGPointMake(x + 10, y + 10); }
    static HIPoint OnScreen(CGFloat x, CGFloat y) { return CGPointMake(x + 110, y + 110); }

    WindowRef window_ = nullptr;
    HIViewRef canvasView_ = nullptr;
};
