// Layers: who owns a sprite and when it goes, draw order, removal during a
// frame, dirty rects, collisions, queries by class.
#include "SpriteTestSupport.h"

namespace {

using SpriteLayerTest = SpriteFixture;

bool TableHolds(CFArrayRef table, const void* sprite)
{
    return CFArrayGetFirstIndexOfValue(table, CFRangeMake(0, CFArrayGetCount(table)), sprite) >= 0;
}

TEST_F(SpriteLayerTest, RemovedSpriteIsReleasedWhenTheFramePurgesIt)
{
    MakeCanvas();
    TSpriteLayer* layer = AddLayer();
    TProbeSprite* sprite = TProbeSprite::Create(layer, "a", CGRectMake(0, 0, 10, 10));
    EXPECT_EQ(sprite->GetRetainCount(), 1) << "the table took over the creator's reference";
    sprite->Remove();
    sprite->Remove();  // again in the same frame: nothing more
    EXPECT_TRUE(sprite->IsDestroying());
    EXPECT_EQ(CFArrayGetCount(layer->GetDestroyTable()), 1);
    EXPECT_TRUE(TableHolds(layer->GetTable(), sprite)) << "kept to the end of the frame";
    EXPECT_EQ(TProbeSprite::freed, 0);
    Tick();
    EXPECT_EQ(TProbeSprite::freed, 1);
    EXPECT_EQ(CFArrayGetCount(layer->GetTable()), 0);
    EXPECT_EQ(CFArrayGetCount(layer->GetViewTable()), 0);
    EXPECT_EQ(CFArrayGetCount(layer->GetDestroyTable()), 0);
}

TEST_F(SpriteLayerTest, DetachedSpriteMovesToAnotherLayerAsTheSameObject)
{
    struct Case {
        const char* name;
        bool paused;  // a paused canvas purges at once
    };
    for (const Case c : {Case{"running canvas", false}, Case{"paused canvas", true}}) {
        SCOPED_TRACE(c.name);
        TProbeCanvas* canvas = MakeCanvas();
        TSpriteLayer* first = AddLayer();
        TSpriteLayer* second = AddLayer();
        TProbeSprite* sprite = TProbeSprite::Create(first, "moving", CGRectMake(0, 0, 10, 10));
        canvas->SetPaused(c.paused);
        sprite->Detach();
        sprite->SetLayer(second);
        canvas->SetPaused(false);
        Tick(2);
        EXPECT_EQ(TProbeSprite::freed, 0);
        EXPECT_EQ(sprite->GetLayer(), second);
        EXPECT_FALSE(sprite->IsDestroying());
        EXPECT_EQ(sprite->GetRetainCount(), 1) << "one owner: the second table";
        EXPECT_FALSE(TableHolds(first->GetTable(), sprite));
        EXPECT_TRUE(TableHolds(second->GetTable(), sprite));
        EXPECT_GT(sprite->processed, 0) << "processed on its new layer";
        canvas_.Reset();
        EXPECT_EQ(TProbeSprite::freed, 1);
        TProbeSprite::freed = 0;
    }
}

TEST_F(SpriteLayerTest, SettingAnotherLayerWithoutDetachingMovesTheReferenceToo)
{
    TProbeCanvas* canvas = MakeCanvas();
    TSpriteLayer* first = AddLayer();
    TSpriteLayer* second = AddLayer();
    TProbeSprite* sprite = TProbeSprite::Create(first, "moving", CGRectMake(0, 0, 10, 10));
    sprite->SetLayer(second);
    Tick();
    EXPECT_FALSE(TableHolds(first->GetTable(), sprite));
    EXPECT_TRUE(TableHolds(second->GetTable(), sprite));
    EXPECT_EQ(sprite->GetRetainCount(), 1);
    (void)canvas;
}

TEST_F(SpriteLayerTest, ViewTableIsSortedByVerticalAxisStably)
{
    MakeCanvas();
    TSpriteLayer* layer = AddLayer();
    const std::pair<const char*, Float32> sprites[] = {
        {"five", 5}, {"one", 1}, {"three", 3}, {"two-a", 2}, {"two-b", 2}};
    for (const auto& [name, axis] : sprites)
        TProbeSprite::Create(layer, name, CGRectMake(0, 0, 10, 10))->SetVerticalAxis(axis);
    layer->Process();
    EXPECT_EQ(Names(layer->GetViewTable()), (std::vector<std::string>{"one", "two-a", "two-b", "three", "five"}));
    EXPECT_EQ(Names(layer->GetTable()), (std::vector<std::string>{"five", "one", "three", "two-a", "two-b"}))
        << "the sprite table keeps insertion order";
}

TEST_F(SpriteLayerTest, SpriteRemovedDuringProcessing)
{
    struct Case {
        const char* how;
        bool throughLayer;  // the layer's RemoveSprite instead of the sprite's Remove
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {"Remove", false, {"process first", "process last", "freed second"}},
        {"layer RemoveSprite", true, {"process first", "process second", "process last", "freed second"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        MakeCanvas();
        TSpriteLayer* layer = AddLayer();
        TProbeSprite* first = TProbeSprite::Create(layer, "first", CGRectMake(0, 0, 10, 10));
        TProbeSprite* second = TProbeSprite::Create(layer, "second", CGRectMake(0, 0, 10, 10));
        TProbeSprite::Create(layer, "last", CGRectMake(0, 0, 10, 10));
        first->onProcess = [second, c, layer](TProbeSprite* self) {
            (void)self;
            if (c.throughLayer)
                layer->RemoveSprite(second);
            else
                second->Remove();
        };
        TakeLog();
        layer->Process();
        EXPECT_EQ(TakeLog(), c.log);
        EXPECT_EQ(Names(layer->GetTable()), (std::vector<std::string>{"first", "last"}));
    }
}

TEST_F(SpriteLayerTest, SpritesRemovingOneAnotherInOneFrameArePurgedOnce)
{
    MakeCanvas();
    TSpriteLayer* layer = AddLayer();
    TProbeSprite* a = TProbeSprite::Create(layer, "a", CGRectMake(0, 0, 10, 10));
    TProbeSprite* b = TProbeSprite::Create(layer, "b", CGRectMake(0, 0, 10, 10));
    a->onProcess = [b](TProbeSprite* self) {
        b->Remove();
        self->Remove();
        b->Remove();
    };
    Tick();
    EXPECT_EQ(TProbeSprite::freed, 2);
    EXPECT_EQ(CFArrayGetCount(layer->GetTable()), 0);
}

TEST_F(SpriteLayerTest, DirtyRectsAreClippedToTheVisibleBounds)
{
    struct Case {
        CGRect rect;
        bool kept;
        CGRect stored;
    };
    const Case cases[] = {
        {CGRectMake(10, 10, 20, 20), true, CGRectMake(10, 10, 20, 20)},
        {CGRectMake(90, -5, 20, 20), true, CGRectMake(90, 0, 10, 15)},
        {CGRectMake(150, 150, 20, 20), false, CGRectZero},
        {CGRectMake(100, 0, 10, 10), false, CGRectZero},
    };
    MakeCanvas();
    TSpriteLayer* layer = AddLayer();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rect.origin.x << ", " << c.rect.origin.y);
        layer->ClearDirtyRects();
        layer->AppendDirtyRect(c.rect);
        ASSERT_EQ(layer->GetDirtyRectCount(), c.kept ? 1 : 0);
        if (c.kept) {
            EXPECT_TRUE(CGRectEqualToRect(layer->GetDirtyRect(0), c.stored));
        }
    }
    layer->SetAcceptsDirtyRects(false);
    layer->ClearDirtyRects();
    layer->AppendDirtyRect(CGRectMake(10, 10, 20, 20));
    EXPECT_EQ(layer->GetDirtyRectCount(), 0);
}

TEST_F(SpriteLayerTest, FrameChangesAppendWholePointDirtyRects)
{
    MakeCanvas({200, 200});
    TSpriteLayer* layer = AddLayer();
    TProbeSprite* sprite = TProbeSprite::Create(layer, "a", CGRectZero);
    layer->ClearDirtyRects();

    sprite->SetFrame(CGRectMake(10.7f, 20.2f, 30.9f, 40.5f));
    EXPECT_TRUE(CGRectEqualToRect(sprite->GetFrame(), CGRectMake(10, 20, 30, 40)));
    ASSERT_EQ(layer->GetDirtyRectCount(), 1);
    EXPECT_TRUE(CGRectEqualToRect(layer->GetDirtyRect(0), CGRectMake(0, 0, 40, 60)))
        << "the union with the old (empty, at the origin) frame";

    layer->ClearDirtyRects();
    sprite->SetFrame(CGRectMake(10.2f, 20.9f, 30.1f, 40.9f));
    EXPECT_EQ(layer->GetDirtyRectCount(), 0) << "the same whole-point frame: nothing to redraw";

    sprite->SetFrameInset(CGSizeMake(-5, -5));
    sprite->MoveBy(50, 60);
    EXPECT_TRUE(CGRectEqualToRect(sprite->GetFrame(), CGRectMake(60, 80, 30, 40)));
    ASSERT_EQ(layer->GetDirtyRectCount(), 1);
    EXPECT_TRUE(
        CGRectEqualToRect(layer->GetDirtyRect(0), CGRectUnion(CGRectMake(60, 80, 30, 40), CGRectMake(5, 15, 40, 50))));
}

TEST_F(SpriteLayerTest, DirtyRectsOfATransformableLayerAreInViewSpace)
{
    TProbeCanvas* canvas = MakeCanvas({400, 400});
    TSpriteLayer* transformed = AddLayer(0, true);
    TSpriteLayer* fixed = AddLayer(0, false);
    canvas->SetZoomFactor(2);
    canvas->ScrollTo(10, 20);
    TProbeSprite* a = TProbeSprite::Create(transformed, "a", CGRectZero);
    TProbeSprite* b = TProbeSprite::Create(fixed, "b", CGRectZero);
    transformed->ClearDirtyRects();
    fixed->ClearDirtyRects();
    a->SetFrame(CGRectMake(20, 30, 10, 10));
    b->SetFrame(CGRectMake(20, 30, 10, 10));
    ASSERT_EQ(transformed->GetDirtyRectCount(), 1);
    ASSERT_EQ(fixed->GetDirtyRectCount(), 1);
    EXPECT_TRUE(CGRectEqualToRect(transformed->GetDirtyRect(0), CGRectMake(0, 0, 50, 60)));
    EXPECT_TRUE(CGRectEqualToRect(fixed->GetDirtyRect(0), CGRectMake(0, 0, 30, 40)));
}

TEST_F(SpriteLayerTest, CollisionsNeedOneGroupAndHotRects)
{
    struct Case {
        const char* name;
        SInt32 otherGroup;
        CGSize otherHot;
        CGFloat otherX;
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {"overlapping", 1, {10, 10}, 5, {"hit a b", "collision a b", "hit b a", "collision b a"}},
        {"apart", 1, {10, 10}, 50, {"hit a b", "hit b a"}},
        {"other group", 2, {10, 10}, 5, {}},
        {"no hot rect", 1, {0, 10}, 5, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MakeCanvas();
        TSpriteLayer* layer = AddLayer();
        TProbeSprite* a = TProbeSprite::Create(layer, "a", CGRectMake(0, 0, 10, 10));
        TProbeSprite* b = TProbeSprite::Create(layer, "b", CGRectMake(c.otherX, 0, 10, 10));
        a->SetHotRect(CGSizeMake(10, 10));
        b->SetHotRect(c.otherHot);
        b->SetCollisionGroup(c.otherGroup);
        layer->Process();  // both enter the view table
        TakeLog();
        layer->Process();
        std::vector<std::string> log;
        for (const std::string& line : TakeLog()) {
            if (line.rfind("process", 0) != 0)
                log.push_back(line);
        }
        EXPECT_EQ(log, c.log);
    }
}

TEST_F(SpriteLayerTest, ViewTableMembershipFollowsTheVisibleBoundsOnKindZeroOnly)
{
    MakeCanvas();
    TSpriteLayer* direct = AddLayer(0);
    TSpriteLayer* cached = AddLayer(1);
    TProbeSprite* a = TProbeSprite::Create(direct, "a", CGRectMake(10, 10, 10, 10));
    TProbeSprite* b = TProbeSprite::Create(cached, "b", CGRectMake(10, 10, 10, 10));
    Tick();
    EXPECT_TRUE(a->IsInViewTable());
    EXPECT_TRUE(b->IsInViewTable());
    a->SetLocation(300, 300);
    b->SetLocation(300, 300);
    Tick();
    EXPECT_FALSE(a->IsInViewTable());
    EXPECT_EQ(CFArrayGetCount(direct->GetViewTable()), 0);
    EXPECT_TRUE(b->IsInViewTable()) << "a cached layer keeps every sprite";
    a->SetLocation(95, 95);
    Tick();
    EXPECT_EQ(Names(direct->GetViewTable()), (std::vector<std::string>{"a"}));
}

TEST_F(SpriteLayerTest, QueriesAndRemovalByClass)
{
    TProbeCanvas* canvas = MakeCanvas();
    TSpriteLayer* layer = AddLayer();
    TProbeSprite::Create(layer, "base", CGRectMake(0, 0, 10, 10));
    TProbeSubSprite::Create(layer, "sub", CGRectMake(0, 0, 10, 10));
    TProbeSprite::Create(layer, "high", CGRectMake(0, 0, 50, 50))->SetVerticalAxis(9);

    EXPECT_EQ(layer->GetCountOfClass(TProbeSprite::StaticClass()), 3U);
    EXPECT_EQ(layer->GetCountOfClass(TProbeSubSprite::StaticClass()), 1U);
    auto subs = TObjectRef<TObjectArray>::Adopt(layer->CopySpritesWithClass(TProbeSubSprite::StaticClass()));
    ASSERT_EQ(subs->Count(), 1);
    EXPECT_EQ(static_cast<TProbeSprite*>(subs->GetValue(0))->name, "sub");
    const auto none = TObjectRef<TObjectArray>::Adopt(layer->CopySpritesWithClass(TSpriteView::StaticClass()));
    EXPECT_EQ(none->Count(), 0) << "always an array";

    EXPECT_TRUE(layer->IsPointObscured(CGPointMake(30, 30), 1));
    EXPECT_FALSE(layer->IsPointObscured(CGPointMake(30, 30), 9));
    EXPECT_EQ(layer->CopySpritesObscuringPoint(CGPointMake(60, 60), 0), nullptr);

    TakeLog();
    layer->ApplyFunction(TProbeSprite::StaticClass(), "Ping");
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"ping base", "ping high"})) << "exactly the class";

    subs.Reset();
    const int framesBefore = canvas->frames;
    layer->RemoveWithClass(TProbeSprite::StaticClass());
    EXPECT_EQ(canvas->frames, framesBefore + 1) << "one frame for all of them";
    EXPECT_EQ(TProbeSprite::freed, 3) << "subclass instances too";
}

}  // namespace
