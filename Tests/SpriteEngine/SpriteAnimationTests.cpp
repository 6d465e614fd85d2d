// Key-frame animation of sprites: the steps of each property, when a frame
// completes, the end modes, the animator's own lifetime (it frees itself
// when it stops, also from inside its own tick), filters and the window's
// backing store.
#include "SpriteTestSupport.h"

#include <SpriteEngine/SCAnimation.h>

#include <CoreGraphics/CGImageQt.h>
#include <HIToolbox/WindowBacking.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {

// Receives the animator's delegate calls and its actions, in the probe log.
class TAnimationWatcher : public TObject {
    BRINDLET_CLASS(TAnimationWatcher, TObject)

public:
    static TAnimationWatcher* Create() { return CreateInstance<TAnimationWatcher>(); }

    // Run from the "Animating" delegate call, once.
    std::function<void(TSpriteAnimator*)> onAnimating;
    int animating = 0;
    std::vector<std::string> log;

    void Initialize() override
    {
        Inherited::Initialize();
        RegisterMethod("TSpriteAnimation.Started", BRINDLET_METHOD(TAnimationWatcher, Started));
        RegisterMethod("TSpriteAnimation.Animating", BRINDLET_METHOD(TAnimationWatcher, Animating));
        RegisterMethod("TSpriteAnimation.Ended", BRINDLET_METHOD(TAnimationWatcher, Ended));
        RegisterMethod("EndedAction", BRINDLET_METHOD(TAnimationWatcher, EndedAction));
    }
    void Started(TSpriteAnimator*) { log.push_back("started"); }
    void Animating(TSpriteAnimator* animator)
    {
        ++animating;
        if (auto hook = std::exchange(onAnimating, nullptr))
            hook(animator);
    }
    void Ended(TSpriteAnimator* animator)
    {
        // The animator is still whole while it reports its end.
        log.push_back(TObject::IsLiveObject(animator) && animator->GetSprite() != nullptr ? "ended" : "ended: gone");
    }
    void EndedAction(TSpriteAnimator* animator)
    {
        log.push_back(TObject::IsLiveObject(animator) ? "ended action" : "ended action: gone");
    }

protected:
    TAnimationWatcher() = default;
};

BRINDLET_DEFINE_CLASS(TAnimationWatcher, TObject)

// An animator whose end mode is set at creation.
class TModeAnimator : public TSpriteAnimator {
    BRINDLET_CLASS(TModeAnimator, TSpriteAnimator)

public:
    static TModeAnimator* Create(SInt32 mode)
    {
        TModeAnimator* animator = Allocate();
        freed.erase(animator);
        animator->endMode_ = mode;
        animator->Initialize();
        return animator;
    }
    // The animators freed so far (an address alone could be taken again by
    // a newer object).
    static inline std::set<const void*> freed;
    void Deallocate() override
    {
        freed.insert(this);
        Inherited::Deallocate();
    }

protected:
    TModeAnimator() = default;
};

BRINDLET_DEFINE_CLASS(TModeAnimator, TSpriteAnimator)

class SpriteAnimationTest : public SpriteFixture {
protected:
    void SetUp() override
    {
        SpriteFixture::SetUp();
        MakeCanvas({400, 400});
        layer_ = AddLayer();
        sprite_ = TProbeSprite::Create(layer_, "card", CGRectMake(0, 0, 64, 32));
        watcher_.Reset(TAnimationWatcher::Create());
        TModeAnimator::freed.clear();
    }
    void TearDown() override
    {
        watcher_.Reset();
        SpriteFixture::TearDown();
    }

    // An animator between two frames set up by the callers, with the
    // watcher as delegate and ended action.
    TSpriteAnimator* MakeAnimator(SInt32 speed, const std::function<void(TSpriteAnimationFrame*)>& first,
                                  const std::function<void(TSpriteAnimationFrame*)>& second,
                                  SInt32 mode = TSpriteAnimator::kEndModeStop)
    {
        TSpriteAnimator* animator = TModeAnimator::Create(mode);
        animator->SetSpeed(speed);
        animator->SetDelegate(watcher_.get());
        ResponderActionInfo ended;
        ended.target = watcher_.get();
        ended.name = "EndedAction";
        animator->SetEndedAction(ended);
        for (const auto* fill : {&first, &second}) {
            const auto frame = TObjectRef<TSpriteAnimationFrame>::Adopt(TSpriteAnimationFrame::Create());
            (*fill)(frame.get());
            animator->AppendFrame(frame.get());
        }
        return animator;
    }

    static bool Freed(const TSpriteAnimator* animator) { return TModeAnimator::freed.count(animator) != 0; }

    // What the watcher heard since the last call.
    std::vector<std::string> Events() { return std::exchange(watcher_->log, {}); }

    TSpriteLayer* layer_ = nullptr;
    TProbeSprite* sprite_ = nullptr;
    TObjectRef<TAnimationWatcher> watcher_;
};

TEST_F(SpriteAnimationTest, EachPropertyStepsToItsTargetAndTheFrameEndsWhenAllArrived)
{
    struct Row {
        const char* name;
        SInt32 speed;
        std::function<void(TSpriteAnimationFrame*)> first, second;
        // Read off the sprite after each tick.
        std::function<CGFloat(TSprite*)> value;
        std::vector<std::pair<int, CGFloat>> expected;  // tick, value after it
        int completesAt;
    };
    const std::vector<Row> rows = {
        {"opacity up",
         32,
         [](auto* f) { f->SetOpacity(0); },
         [](auto* f) { f->SetOpacity(1); },
         [](TSprite* s) { return CGFloat(s->GetAlpha()); },
         {{1, 0.03125f}, {2, 0.0625f}, {31, 0.96875f}, {32, 1}},
         32},
        {"opacity down",
         8,
         [](auto* f) { f->SetOpacity(1); },
         [](auto* f) { f->SetOpacity(0); },
         [](TSprite* s) { return CGFloat(s->GetAlpha()); },
         {{1, 0.875f}, {7, 0.125f}, {8, 0}},
         8},
        // Width grows by a 32nd of the larger end and arrives at tick 16,
        // while the location moves linearly and takes all 32 ticks.
        {"width beside location (width)",
         32,
         [](auto* f) {
             f->SetSize({64, 32});
             f->SetLocation({0, 0});
         },
         [](auto* f) {
             f->SetSize({128, 32});
             f->SetLocation({96, 0});
         },
         [](TSprite* s) { return s->GetWidth(); },
         {{1, 68}, {15, 124}, {16, 128}, {31, 128}},
         32},
        {"width beside location (x)",
         32,
         [](auto* f) {
             f->SetSize({64, 32});
             f->SetLocation({0, 0});
         },
         [](auto* f) {
             f->SetSize({128, 32});
             f->SetLocation({96, 0});
         },
         [](TSprite* s) { return s->GetLocation().x; },
         {{1, 3}, {16, 48}, {31, 93}, {32, 96}},
         32},
        // The step of a rotation is rounded to whole degrees: 45 / 4 is 11.
        {"rotation",
         4,
         [](auto* f) { f->SetRotation(0); },
         [](auto* f) { f->SetRotation(45); },
         [](TSprite* s) { return CGFloat(s->GetRotation()); },
         {{1, 11}, {4, 44}, {5, 45}},
         5},
        // A flag set on the target frame alone animates nothing.
        {"flag on the target only",
         4,
         [](auto* f) {
             f->SetLocation({0, 0});
         },
         [](auto* f) {
             f->SetLocation({8, 0});
             f->SetOpacity(0);
         },
         [](TSprite* s) { return CGFloat(s->GetAlpha()); },
         {{1, 1}, {4, 1}},
         4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sprite_->SetFrame(CGRectMake(0, 0, 64, 32));
        sprite_->SetAlpha(1);
        sprite_->SetRotation(0);
        Events();
        TSpriteAnimator* animator = MakeAnimator(row.speed, row.first, row.second);
        animator->Start(sprite_);
        EXPECT_EQ(sprite_->GetAnimator(), animator);
        size_t next = 0;
        for (int tick = 1; tick <= row.completesAt; ++tick) {
            if (tick == 1)
                Pass();  // the first tick comes at once
            else
                Tick();
            if (next < row.expected.size() && row.expected[next].first == tick) {
                EXPECT_FLOAT_EQ(row.value(sprite_), row.expected[next].second) << "after tick " << tick;
                ++next;
            }
            if (tick < row.completesAt) {
                ASSERT_TRUE(!Freed(animator) && animator->IsRunning()) << "ended early, tick " << tick;
            }
        }
        EXPECT_EQ(next, row.expected.size());
        // The completing tick stopped it: the sprite is free, the ended
        // action ran before the delegate heard of the end, and the animator
        // is gone.
        EXPECT_EQ(sprite_->GetAnimator(), nullptr);
        EXPECT_EQ(Events(), (std::vector<std::string>{"started", "ended action", "ended"}));
        EXPECT_TRUE(Freed(animator));
        EXPECT_EQ(watcher_->animating, row.completesAt - 1);
        watcher_->animating = 0;
    }
}

TEST_F(SpriteAnimationTest, StoppingInsideItsOwnTickLeavesTheTickWhole)
{
    TSpriteAnimator* animator = MakeAnimator(
        8, [](auto* f) { f->SetOpacity(0); }, [](auto* f) { f->SetOpacity(1); });
    // The delegate stops the animation in the middle of the second tick:
    // the rest of that tick (the animating action, the redraw request)
    // still runs on a whole animator, which goes once the tick is over.
    ResponderActionInfo afterTick;
    afterTick.target = watcher_.get();
    afterTick.name = "EndedAction";
    animator->SetAnimatingAction(afterTick);
    animator->Start(sprite_);
    Pass();
    Events();
    watcher_->onAnimating = [](TSpriteAnimator* running) { running->Stop(); };
    Tick();
    EXPECT_TRUE(Freed(animator));
    EXPECT_EQ(Events(), (std::vector<std::string>{"ended action", "ended", "ended action"}));
    EXPECT_EQ(sprite_->GetAnimator(), nullptr);
    // Nothing ticks any more, and a sprite left alone is still whole.
    Tick(3);
    EXPECT_TRUE(Events().empty());
    EXPECT_FLOAT_EQ(sprite_->GetAlpha(), 0.25f);
}

TEST_F(SpriteAnimationTest, StartingTwiceKeepsTheAnimatorAndAnotherAnimatorTakesOver)
{
    TSpriteAnimator* first = MakeAnimator(
        4, [](auto* f) { f->SetOpacity(0); }, [](auto* f) { f->SetOpacity(1); });
    first->Start(sprite_);
    Pass();
    // Again on the same sprite: nothing is stopped or freed.
    first->Start(sprite_);
    EXPECT_FALSE(Freed(first));
    EXPECT_TRUE(first->IsRunning());
    EXPECT_EQ(sprite_->GetAnimator(), first);
    EXPECT_EQ(Events(), std::vector<std::string>{"started"});

    // Another animator on the sprite stops the first.
    TSpriteAnimator* second = MakeAnimator(
        2, [](auto* f) { f->SetOpacity(1); }, [](auto* f) { f->SetOpacity(0); });
    second->Start(sprite_);
    EXPECT_TRUE(Freed(first));
    EXPECT_EQ(sprite_->GetAnimator(), second);
    EXPECT_EQ(Events(), (std::vector<std::string>{"ended action", "ended", "started"}));
    Pass();
    Tick();
    EXPECT_FLOAT_EQ(sprite_->GetAlpha(), 0);
    EXPECT_TRUE(Freed(second));
}

TEST_F(SpriteAnimationTest, FewerThanTwoFramesEndAtTheFirstTick)
{
    TSpriteAnimator* animator = TModeAnimator::Create(TSpriteAnimator::kEndModeStop);
    animator->SetSpeed(4);
    animator->SetDelegate(watcher_.get());
    const auto only = TObjectRef<TSpriteAnimationFrame>::Adopt(TSpriteAnimationFrame::Create());
    only->SetOpacity(0.5f);
    animator->AppendFrame(only.get());
    animator->Start(sprite_);
    Pass();
    EXPECT_TRUE(Freed(animator));
    EXPECT_EQ(sprite_->GetAnimator(), nullptr);
    EXPECT_EQ(Events(), (std::vector<std::string>{"started", "ended"}));
}

TEST_F(SpriteAnimationTest, LoopStartsOverAndBounceComesBack)
{
    struct Row {
        const char* name;
        SInt32 mode;
        std::vector<Float32> alphas;  // after ticks 1, 2, ...
    };
    const std::vector<Row> rows = {
        {"loop", TSpriteAnimator::kEndModeLoop, {0.5f, 1, 0.5f, 1, 0.5f}},
        // Reversed, the frames lead back down by the larger end's share.
        {"bounce", TSpriteAnimator::kEndModeBounce, {0.5f, 1, 0.5f, 0, 0.5f}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sprite_->SetAlpha(0);
        TSpriteAnimator* animator = MakeAnimator(
            2, [](auto* f) { f->SetOpacity(0); }, [](auto* f) { f->SetOpacity(1); }, row.mode);
        animator->Start(sprite_);
        for (size_t i = 0; i < row.alphas.size(); ++i) {
            if (i == 0)
                Pass();
            else
                Tick();
            EXPECT_FLOAT_EQ(sprite_->GetAlpha(), row.alphas[i]) << "after tick " << i + 1;
        }
        ASSERT_TRUE(animator->IsRunning());
        animator->Stop();
        EXPECT_TRUE(Freed(animator));
    }
}

TEST_F(SpriteAnimationTest, AFilterReplacesTheImageAtEveryTick)
{
    // A picture of two halves, so the page curl shows at every step.
    QImage pixels(40, 20, QImage::Format_ARGB32_Premultiplied);
    pixels.fill(Qt::red);
    for (int y = 0; y < 20; ++y)
        for (int x = 20; x < 40; ++x)
            pixels.setPixel(x, y, qRgb(0, 0, 255));
    CGImageRef image = CGImageCreateWithQImage(pixels);
    sprite_->SetImage(image);
    CIFilter* filter = CIFilter::filterWithName("CIPageCurlTransition");
    ASSERT_NE(filter, nullptr);
    filter->setValue(kCIInputImageKey, CIImage::imageWithCGImage(image));
    CGImageRelease(image);

    TSpriteAnimator* animator = MakeAnimator(
        4,
        [filter](auto* f) {
            f->SetFilter(filter);
            f->SetFilterTime(0);
        },
        [](auto* f) { f->SetFilterTime(1); });
    animator->Start(sprite_);
    std::vector<QImage> seen;
    for (int tick = 1; tick <= 4; ++tick) {
        if (tick == 1)
            Pass();
        else
            Tick();
        const QImage now = CGImageGetQImage(sprite_->GetImage());
        ASSERT_EQ(now.size(), QSize(40, 20)) << "tick " << tick;
        for (const QImage& before : seen)
            EXPECT_NE(now, before) << "tick " << tick << " repeats an image";
        seen.push_back(now);
        if (tick < 4) {
            EXPECT_FLOAT_EQ(animator->GetCurrentProperties().filterTime, 0.25f * tick);
        }
    }
    // Time 1 completed the frame.
    EXPECT_TRUE(Freed(animator));
}

TEST_F(SpriteAnimationTest, QuartzGLAnimatorsHoldTheBackingStoreInVideoMemory)
{
    const Rect bounds = {100, 100, 300, 400};
    WindowRef window = nullptr;
    ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, kWindowStandardHandlerAttribute, &bounds, &window), noErr);
    HIViewRef content = nullptr;
    HIViewFindByID(HIViewGetRoot(window), kHIViewWindowContentID, &content);
    const HIRect frame = CGRectMake(0, 0, 200, 200);
    HIViewRef view = nullptr;
    HIViewCreatePlain(&frame, &view);
    HIViewAddSubview(content, view);
    CFRelease(view);
    canvas_->SetView(view);
    auto backing = [window] {
        HIWindowBackingLocation location = 99;
        HIWindowGetBackingLocation(window, &location);
        return location;
    };
    TProbeSprite* other = TProbeSprite::Create(layer_, "other", CGRectMake(100, 0, 10, 10));
    TSpriteAnimator* a = MakeAnimator(
        2, [](auto* f) { f->SetOpacity(0); }, [](auto* f) { f->SetOpacity(1); });
    TSpriteAnimator* b = MakeAnimator(
        4, [](auto* f) { f->SetOpacity(0); }, [](auto* f) { f->SetOpacity(1); });
    a->SetEnableQuartzGL(true);
    b->SetEnableQuartzGL(true);
    EXPECT_EQ(backing(), kHIWindowBackingLocationDefault);
    a->Start(sprite_);
    a->Start(sprite_);  // counted once
    EXPECT_EQ(TSpriteAnimator::GlobalAnimationCount, 1);
    EXPECT_EQ(backing(), kHIWindowBackingLocationVideoMemory);
    b->Start(other);
    Pass();
    Tick();  // a ends
    EXPECT_TRUE(Freed(a));
    EXPECT_EQ(TSpriteAnimator::GlobalAnimationCount, 1);
    EXPECT_EQ(backing(), kHIWindowBackingLocationVideoMemory);
    Tick(2);  // b ends
    EXPECT_TRUE(Freed(b));
    EXPECT_EQ(TSpriteAnimator::GlobalAnimationCount, 0);
    EXPECT_EQ(backing(), kHIWindowBackingLocationDefault);
    canvas_.Reset();
    DisposeWindow(window);
}

TEST(WindowBackingTest, RefusesBadWindowsAndLocationsWithoutTouchingTheOutput)
{
    HIWindowBackingLocation location = 7;
    EXPECT_EQ(HIWindowGetBackingLocation(nullptr, &location), errInvalidWindowRef);
    EXPECT_EQ(location, 7u);
    EXPECT_EQ(HIWindowSetBackingLocation(nullptr, kHIWindowBackingLocationVideoMemory), errInvalidWindowRef);
    const Rect bounds = {100, 100, 200, 200};
    WindowRef window = nullptr;
    ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, kWindowStandardHandlerAttribute, &bounds, &window), noErr);
    EXPECT_EQ(HIWindowSetBackingLocation(window, 3), paramErr);
    EXPECT_EQ(HIWindowGetBackingLocation(window, &location), noErr);
    EXPECT_EQ(location, kHIWindowBackingLocationDefault);
    EXPECT_EQ(HIWindowSetBackingLocation(window, kHIWindowBackingLocationMainMemory), noErr);
    EXPECT_EQ(HIWindowGetBackingLocation(window, &location), noErr);
    EXPECT_EQ(location, kHIWindowBackingLocationMainMemory);
    DisposeWindow(window);
}

}  // namespace
