// Sprites on their own: geometry and its limits, clicks, focus and layer
// warnings, faces, sub-views and the helper's constructors.
#include "SpriteTestSupport.h"

#include <SpriteEngine/SCFace.h>
#include <SpriteEngine/SCSpriteView.h>

#include <Units/Utilities/CGUtilities.h>

#include <CarbonCore/DriverServices.h>
#include <CarbonCore/MacMemory.h>
#include <Support/Diagnostics.h>

namespace {

using SpriteTest = SpriteFixture;

// A new image of the size; the caller releases it.
CGImageRef MakeImage(CGFloat width, CGFloat height)
{
    Ptr buffer = nullptr;
    CGContextRef context = CGBitmapContextCreate(CGSizeMake(width, height), buffer);
    CGImageRef image = CGBitmapContextCreateImage(context);
    CGContextRelease(context);
    DisposePtr(buffer);
    return image;
}

class TProbeView : public TSpriteView {
    BRINDLET_CLASS(TProbeView, TSpriteView)

public:
    static TProbeView* Create(TSpriteProtocol* parent, const std::string& name)
    {
        TProbeView* view = Allocate();
        view->name = name;
        view->SetParent(parent);
        view->Initialize();
        return view;
    }
    std::string name;
    void HandleDrawComposite(CGContextRef, bool& again, CGRect frame) override
    {
        ProbeLog().push_back("composite " + name + " " + std::to_string(int(frame.size.width)));
        again = true;
    }

protected:
    TProbeView() = default;
};

BRINDLET_DEFINE_CLASS(TProbeView, TSpriteView)

TEST_F(SpriteTest, SizeLimitsAndConstraints)
{
    MakeCanvas();
    TSpriteLayer* layer = AddLayer();
    TProbeSprite* sprite = TProbeSprite::Create(layer, "a", CGRectMake(90, -5, 20, 30));

    sprite->SetMaximumSize(100, 0);
    sprite->SetMinimumSize(150, 40);
    const CGRect limited = sprite->ContrainLimits(CGRectMake(0, 0, 120, 10));
    EXPECT_EQ(limited.size.width, 150) << "the minimum wins over a smaller maximum";
    EXPECT_EQ(limited.size.height, 40);
    sprite->SetMinimumSize(0, 0);
    sprite->SetMaximumSize(0, 0);

    sprite->Constrain();
    EXPECT_TRUE(CGRectEqualToRect(sprite->GetFrame(), CGRectMake(80, 0, 20, 30)));

    sprite->SetMaximumSize(25, 0);
    sprite->ResizeBy(CGSizeMake(10.5f, 4.7f));
    EXPECT_TRUE(CGRectEqualToRect(sprite->GetFrame(), CGRectMake(80, 0, 25, 34)));

    sprite->SetLocationMidX(50);
    sprite->SetLocationMaxY(100);
    EXPECT_TRUE(CGRectEqualToRect(sprite->GetFrame(), CGRectMake(37, 66, 25, 34)));
    EXPECT_TRUE(sprite->HitTest(CGPointMake(37, 66)));
    EXPECT_FALSE(sprite->HitTest(CGPointMake(62, 66)));
    EXPECT_TRUE(CGPointEqualToPoint(sprite->ConvertPointToLocal(CGPointMake(40, 70)), CGPointMake(3, 4)));
}

TEST_F(SpriteTest, ActionAlignsTheVerticalAxisWhenAsked)
{
    MakeCanvas();
    TSpriteLayer* layer = AddLayer();
    TProbeSprite* sprite = TProbeSprite::Create(layer, "a", CGRectMake(0, 12, 10, 30));
    layer->Process();
    EXPECT_EQ(sprite->GetVerticalAxis(), 1.0f);
    sprite->SetOptions(kSpriteOptionAlignVerticalAxis);
    layer->Process();
    EXPECT_EQ(sprite->GetVerticalAxis(), 42.0f);
}

TEST_F(SpriteTest, ProcessTimerCountsFramesPerSecond)
{
    MakeCanvas();
    TProbeSprite* sprite = TProbeSprite::Create(AddLayer(), "a", CGRectMake(0, 0, 10, 10));
    SpriteTimer timer;
    timer.ticks = TickCount();
    for (int frame = 0; frame < 30; ++frame) {
        sprite->HandleProcessTimer(&timer);
        clock_.Advance(1.0 / 60.0);
    }
    EXPECT_EQ(timer.frames, 30U);
    clock_.Advance(31.0 / 60.0);
    sprite->HandleProcessTimer(&timer);
    EXPECT_EQ(timer.frames, 0U) << "a second has gone: counting starts again";
    EXPECT_EQ(timer.ticks, TickCount());

    struct Case {
        double seconds;
        UInt32 ticks;
    };
    for (const Case c : {Case{1.5, 1'500'000}, Case{0.0166, 16'000}, Case{0.0009, 0}, Case{-1, 0}}) {
        SCOPED_TRACE(c.seconds);
        EXPECT_EQ(MicrosecondsToTicks(c.seconds), c.ticks);
    }
}

TEST_F(SpriteTest, ReleaseAtTheDownPointIsAClick)
{
    MakeCanvas();
    TSpriteLayer* layer = AddLayer();
    TProbeSprite* sprite = TProbeSprite::Create(layer, "a", CGRectMake(0, 0, 10, 10));
    struct Case {
        CGPoint up;
        std::vector<std::string> log;
    };
    const Case cases[] = {{{3, 4}, {"clicked a"}}, {{3, 5}, {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "release at " << c.up.x << ", " << c.up.y);
        OSStatus status = kSpriteEventNotHandled;
        sprite->HandleMouseDown(CGPointMake(3, 4), 1, status);
        sprite->SetMoving(true);
        EXPECT_FALSE(sprite->IsVisible());
        TakeLog();
        sprite->HandleMouseUp(c.up, status);
        EXPECT_EQ(TakeLog(), c.log);
        EXPECT_EQ(status, c.log.empty() ? kSpriteEventNotHandled : noErr);
        EXPECT_FALSE(sprite->IsMoving());
        EXPECT_TRUE(sprite->IsVisible());
    }
}

TEST_F(SpriteTest, LayerWithoutCanvasAndFocusWithoutCanvasAreRefused)
{
    Diagnostics::Capture capture;
    const auto loose = TObjectRef<TSpriteLayer>::Adopt(TSpriteLayer::Create(0, true));
    TProbeSprite* sprite = TProbeSprite::Create(loose.get(), "loose", CGRectMake(0, 0, 10, 10));
    EXPECT_EQ(sprite->GetLayer(), nullptr);
    EXPECT_EQ(CFArrayGetCount(loose->GetTable()), 0);
    sprite->GiveFocus();
    EXPECT_FALSE(sprite->IsFocused());
    EXPECT_EQ(capture.Lines(),
              (std::vector<std::string>{"Warning: Attempting to set a sprite layer which has no canvas assigned.",
                                        "Warning: Can't give sprite focus until appended to layer."}));
    sprite->Detach();
    EXPECT_EQ(TProbeSprite::freed, 0) << "detaching a sprite on no layer frees nothing";
    sprite->Remove();
    EXPECT_EQ(TProbeSprite::freed, 1) << "removing one frees the caller's reference";
}

TEST_F(SpriteTest, FaceFramesAndTheSpritesImage)
{
    CGImageRef single = MakeImage(12, 7);
    CGImageRef second = MakeImage(3, 3);
    const auto face = TObjectRef<TSpriteFace>::Adopt(TSpriteFace::Create());
    face->SetImage(single);
    face->SetHotRect(CGRectMake(1, 1, 5, 5));
    EXPECT_EQ(face->GetImage(0), single) << "without frames, any index";
    EXPECT_EQ(face->GetImage(7), single);

    const auto framed = TObjectRef<TSpriteFace>::Adopt(TSpriteFace::Create());
    for (CGImageRef image : {single, second}) {
        const auto frame = TObjectRef<TSpriteFace>::Adopt(TSpriteFace::Create());
        frame->SetImage(image);
        framed->AppendFrame(frame.get());
    }
    EXPECT_EQ(framed->GetImage(0), nullptr);
    EXPECT_EQ(framed->GetImage(1), single);
    EXPECT_EQ(framed->GetImage(2), second);
    EXPECT_EQ(framed->GetImage(3), nullptr);

    MakeCanvas();
    TSpriteLayer* layer = AddLayer();
    TProbeSprite* sprite = TProbeSprite::Create(layer, "a", CGRectMake(4, 4, 1, 1));
    sprite->SetFace(face.get());
    EXPECT_TRUE(CGRectEqualToRect(sprite->GetFrame(), CGRectMake(4, 4, 12, 7)));
    EXPECT_TRUE(CGRectEqualToRect(sprite->GetHotRect(), CGRectMake(5, 5, 5, 5)));
    EXPECT_EQ(sprite->GetImage(), single);
    CGImageRelease(single);
    CGImageRelease(second);
}

TEST_F(SpriteTest, CompositePassReachesVisibleSubviewsOnly)
{
    MakeCanvas();
    TSpriteLayer* layer = AddLayer();
    TProbeSprite* sprite = TProbeSprite::Create(layer, "a", CGRectMake(0, 0, 10, 10));
    for (const char* name : {"shown", "hidden"}) {
        const auto view = TObjectRef<TProbeView>::Adopt(TProbeView::Create(sprite, name));
        view->SetHidden(std::string(name) == "hidden");
        sprite->AppendView(view.get());
    }
    EXPECT_EQ(sprite->CountViews(), 2);
    EXPECT_EQ(sprite->GetView(1)->GetParent(), sprite);
    bool again = false;
    TakeLog();
    sprite->HandleDrawComposite(nullptr, again, CGRectMake(0, 0, 33, 10));
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"composite shown 33"}));
    EXPECT_TRUE(again);
    sprite->RemoveViews();
    EXPECT_EQ(sprite->CountViews(), 0);
}

TEST_F(SpriteTest, DragSourceCarriesTheSpriteAndACopyOfItsImage)
{
    MakeCanvas();
    TSpriteLayer* layer = AddLayer();
    TProbeSprite* sprite = TProbeSprite::Create(layer, "a", CGRectMake(0, 0, 10, 10));
    EXPECT_EQ(sprite->CopyDragImage(), nullptr);

    DragRef drag = nullptr;
    ASSERT_EQ(NewDrag(&drag), noErr);
    sprite->AddDragFlavors(drag);
    const TSprite* carried = nullptr;
    Size size = sizeof(carried);
    ASSERT_EQ(GetFlavorData(drag, 1, kSpriteDragFlavor, &carried, &size, 0), noErr);
    EXPECT_EQ(size, Size(sizeof(carried)));
    EXPECT_EQ(carried, sprite);
    DisposeDrag(drag);

    CGImageRef image = MakeImage(6, 4);
    sprite->SetImage(image);
    CGImageRef copy = sprite->CopyDragImage();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(CGImageGetWidth(copy), 6U);
    EXPECT_EQ(CGImageGetHeight(copy), 4U);
    CGImageRelease(copy);
    CGImageRelease(image);
}

TEST_F(SpriteTest, HelperConstructors)
{
    TProbeCanvas* canvas = MakeCanvas();
    TSpriteLayer* layer = AddLayer();
    TSpriteLayer* source = AddLayer(1);
    Ptr buffer = nullptr;
    CGContextRef context = CGBitmapContextCreate(CGSizeMake(100, 100), buffer);
    canvas->SetContext(context);

    CGImageRef image = MakeImage(12, 7);
    TSprite* withImage = TSprite::CreateWithImage(CGPointMake(5.5f, 6), image, layer);
    EXPECT_TRUE(CGRectEqualToRect(withImage->GetFrame(), CGRectMake(5, 6, 12, 7)));
    EXPECT_EQ(withImage->GetImage(), image);
    EXPECT_EQ(withImage->GetLayer(), layer);

    const auto face = TObjectRef<TSpriteFace>::Adopt(TSpriteFace::Create());
    face->SetImage(image);
    TSprite* withFace = TSprite::CreateWithFace(CGPointMake(1, 2), face.get(), layer);
    EXPECT_TRUE(CGRectEqualToRect(withFace->GetFrame(), CGRectMake(1, 2, 12, 7)));
    EXPECT_EQ(withFace->GetFace(), face.get());

    TSprite* withLayer = TSprite::CreateWithLayer(CGPointMake(0, 0), layer, source);
    EXPECT_EQ(withLayer->GetSourceLayer(), source);

    TSprite* grid = TSprite::CreateWithGrid(CGPointMake(0, 0), 4, CGSizeMake(10, 10), face.get(), layer);
    ASSERT_NE(grid->GetGridLayer(), nullptr);
    const CGSize gridSize = CGLayerGetSize(grid->GetGridLayer());
    EXPECT_EQ(gridSize.width, 40);
    EXPECT_EQ(gridSize.height, 40);
    EXPECT_EQ(CFArrayGetCount(layer->GetTable()), 4);

    canvas_.Reset();
    CGContextRelease(context);
    DisposePtr(buffer);
    CGImageRelease(image);
}

}  // namespace
