#include "SpriteTestSupport.h"

#include <SpriteEngine/SCCanvasView.h>

#include <CoreFoundation/CFRef.h>
#include <CoreGraphics/CGImageQt.h>

#include <utility>

BRINDLET_DEFINE_CLASS(TProbeCanvas, TSpriteCanvas)
BRINDLET_DEFINE_CLASS(TProbeSprite, TSprite)
BRINDLET_DEFINE_CLASS(TProbeSubSprite, TProbeSprite)

std::vector<std::string>& ProbeLog()
{
    static std::vector<std::string> log;
    return log;
}

std::vector<std::string> Names(CFArrayRef table)
{
    std::vector<std::string> names;
    for (CFIndex i = 0; i < CFArrayGetCount(table); ++i)
        names.push_back(static_cast<const TProbeSprite*>(CFArrayGetValueAtIndex(table, i))->name);
    return names;
}

TProbeCanvas* TProbeCanvas::Create(CGSize size, CanvasOptions options)
{
    TProbeCanvas* canvas = Allocate();
    canvas->SetUpCanvas(size, options);
    canvas->Initialize();
    return canvas;
}

void TProbeCanvas::HandleProcessLoop()
{
    ++frames;
    if (reenter)
        ProcessLoop();
}

void TProbeCanvas::HandleMouseMoved(CGPoint, TSpriteLayerProtocol*, TSpriteProtocol* sprite, OSStatus&)
{
    if (sprite == nullptr)
        ++movedOverEmptyCanvas;
}

TProbeSprite* TProbeSprite::Create(TSpriteLayerProtocol* layer, const std::string& name, CGRect frame)
{
    return Make<TProbeSprite>(layer, name, frame);
}

void TProbeSprite::Initialize()
{
    Inherited::Initialize();
    RegisterMethod("Ping", BRINDLET_METHOD(TProbeSprite, Ping));
}

void TProbeSprite::Deallocate()
{
    ++freed;
    ProbeLog().push_back("freed " + name);
    Inherited::Deallocate();
}

void TProbeSprite::HandleProcess()
{
    ++processed;
    ProbeLog().push_back("process " + name);
    // Hooks run once: they may replace themselves.
    if (auto hook = std::exchange(onProcess, nullptr))
        hook(this);
    Inherited::HandleProcess();
}

void TProbeSprite::HandleMouseEntered(CGPoint)
{
    ProbeLog().push_back("entered " + name);
    if (auto hook = std::exchange(onEntered, nullptr))
        hook(this);
}

void TProbeSprite::HandleMouseHover(CGPoint, OSStatus&)
{
    ProbeLog().push_back("hover " + name);
}

void TProbeSprite::HandleMouseExited(CGPoint)
{
    ProbeLog().push_back("exited " + name);
}

void TProbeSprite::HandleMouseClicked(CGPoint, OSStatus& status)
{
    ProbeLog().push_back("clicked " + name);
    status = noErr;
}

void TProbeSprite::HandleFocusChanged(bool focused)
{
    const bool stillSelected = GetCanvas() != nullptr && GetCanvas()->GetCursor().selectedSprite == this;
    ProbeLog().push_back("focus " + name + (focused ? " on" : " off") + (stillSelected ? " selected" : ""));
}

void TProbeSprite::HandleCollision(TSprite* other)
{
    ProbeLog().push_back("collision " + name + " " + static_cast<TProbeSprite*>(other)->name);
}

void TProbeSprite::HandleHitTesting(TSprite* other)
{
    ProbeLog().push_back("hit " + name + " " + static_cast<TProbeSprite*>(other)->name);
}

void TProbeSprite::Ping()
{
    ProbeLog().push_back("ping " + name);
}

void SpriteFixture::SetUp()
{
    InitializeSpriteEngineUnits();
    ProbeLog().clear();
    TProbeSprite::freed = 0;
    const HIRect frame = CGRectMake(0, 0, 100, 100);
    HIViewCreatePlain(&frame, &view_);
}

void SpriteFixture::TearDown()
{
    canvas_.Reset();
    DisposeControl(view_);
}

TProbeCanvas* SpriteFixture::MakeCanvas(CGSize size, CanvasOptions options)
{
    canvas_.Reset(TProbeCanvas::Create(size, options));
    canvas_->SetView(view_);
    return canvas_.get();
}

TSpriteLayer* SpriteFixture::AddLayer(SInt32 kind, bool transformable)
{
    const auto layer = TObjectRef<TSpriteLayer>::Adopt(TSpriteLayer::Create(kind, transformable));
    canvas_->AppendLayer(layer.get());
    return layer.get();
}

void SpriteFixture::Tick(int count)
{
    for (int i = 0; i < count; ++i) {
        clock_.Advance(1.0 / 60.0);
        Pass();
    }
}

void SpriteFixture::Pass()
{
    FireDueEventLoopTimers(GetMainEventLoop());
}

std::vector<std::string> SpriteFixture::TakeLog()
{
    std::vector<std::string> log;
    log.swap(ProbeLog());
    return log;
}

void WindowCanvasFixture::TearDown()
{
    canvas_.Reset();
    if (window_ != nullptr)
        DisposeWindow(window_);
    window_ = nullptr;
    SpriteFixture::TearDown();
}

TProbeCanvas* WindowCanvasFixture::MakeWindowCanvas(CGSize size, CanvasOptions options)
{
    // Content at (100, 100) on the screen, the canvas view 10 points in.
    const Rect bounds = {100, 100, short(100 + size.height + 20), short(100 + size.width + 20)};
    EXPECT_EQ(CreateNewWindow(kDocumentWindowClass, kWindowStandardHandlerAttribute, &bounds, &window_), noErr);
    HIViewRef content = nullptr;
    HIViewFindByID(HIViewGetRoot(window_), kHIViewWindowContentID, &content);
    const HIRect frame = CGRectMake(10, 10, size.width, size.height);
    EXPECT_EQ(CanvasViewCreate(frame, &canvasView_), noErr);
    HIViewAddSubview(content, canvasView_);
    CFRelease(canvasView_);
    canvas_.Reset(TProbeCanvas::Create(size, options));
    canvas_->SetView(canvasView_);
    ShowWindow(window_);
    return canvas_.get();
}

QImage WindowCanvasFixture::Screen()
{
    CFRef<CGImageRef> content(HIWindowCopyContentImage(window_));
    const CGRect frame = canvas_->GetViewRect();
    return CGImageGetQImage(content.get())
        .convertToFormat(QImage::Format_ARGB32_Premultiplied)
        .copy(10, 10, int(frame.size.width), int(frame.size.height));
}

QImage WindowCanvasFixture::Frame()
{
    Tick();
    return Screen();
}
