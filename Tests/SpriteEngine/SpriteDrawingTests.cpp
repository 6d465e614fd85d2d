// The draw pipeline: sprites drawn through the canvas view of a real
// window, compared with goldens and with what the view shows after partial
// redraws.

#include "SpriteTestSupport.h"

#include <CGTestSupport.h>

#include <SpriteEngine/SCCanvasView.h>
#include <SpriteEngine/SCFace.h>
#include <SpriteEngine/SCSpriteView.h>

#include <Units/Utilities/CGUtilities.h>

#include <CarbonCore/MacMemory.h>
#include <CoreFoundation/CFRef.h>
#include <CoreGraphics/CGImageQt.h>

#include <QFontDatabase>
#include <QImage>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>

namespace {

// Sprites that count their draws by name.
std::map<std::string, int>& DrawCounts()
{
    static std::map<std::string, int> counts;
    return counts;
}

class TDrawnSprite : public TSprite {
    BRINDLET_CLASS(TDrawnSprite, TSprite)

public:
    // On `layer` (which owns it) at the frame, showing the image.
    static TDrawnSprite* Create(TSpriteLayerProtocol* layer, const std::string& name, CGRect frame, CGImageRef image)
    {
        TDrawnSprite* sprite = Allocate();
        sprite->name = name;
        sprite->SetLayer(layer);
        sprite->Initialize();
        sprite->SetFrame(frame);
        sprite->SetImage(image);
        return sprite;
    }

    std::string name;
    void HandleDraw(CGContextRef context) override
    {
        ++DrawCounts()[name];
        Inherited::HandleDraw(context);
    }

protected:
    TDrawnSprite() = default;
};

BRINDLET_DEFINE_CLASS(TDrawnSprite, TSprite)

// A sub-view that composites a soft halo around a body: the bitmap spans
// the sprite's inset frame, the body keeps the sprite's own size.
class THaloView : public TSpriteView {
    BRINDLET_CLASS(THaloView, TSpriteView)

public:
    static THaloView* Create(TSpriteProtocol* parent)
    {
        THaloView* view = Allocate();
        view->SetParent(parent);
        view->Initialize();
        return view;
    }
    void HandleDrawComposite(CGContextRef context, bool&, CGRect frame) override
    {
        CGContextSetRGBFillColor(context, 0.1, 0.1, 0.3, 0.35);
        CGContextFillRect(context, CGRectMake(0, 0, frame.size.width + 24, frame.size.height + 24));
        CGContextSetRGBFillColor(context, 0.2, 0.55, 0.95, 1);
        CGContextFillRect(context, CGRectMake(12, 12, frame.size.width, frame.size.height));
    }

protected:
    THaloView() = default;
};

BRINDLET_DEFINE_CLASS(THaloView, TSpriteView)

// A sub-view that grows its sprite in the first composite pass.
class TGrowingView : public TSpriteView {
    BRINDLET_CLASS(TGrowingView, TSpriteView)

public:
    static TGrowingView* Create(TSprite* parent)
    {
        TGrowingView* view = Allocate();
        view->SetParent(parent);
        view->Initialize();
        return view;
    }
    std::vector<int> widths;
    void HandleDrawComposite(CGContextRef context, bool& again, CGRect frame) override
    {
        widths.push_back(int(CGBitmapContextGetWidth(context)));
        if (frame.size.width < 40) {
            static_cast<TSprite*>(GetParent())->SetSize(40, frame.size.height);
            again = true;
        }
    }

protected:
    TGrowingView() = default;
};

BRINDLET_DEFINE_CLASS(TGrowingView, TSpriteView)

// A card: a filled, outlined rectangle with a label in the bundled font.
CFRef<CGImageRef> MakeCard(int width, int height, CGFloat red, CGFloat green, CGFloat blue, const char* label)
{
    Ptr buffer = nullptr;
    CGContextRef context = CGBitmapContextCreate(CGSizeMake(width, height), buffer);
    CGContextSetRGBFillColor(context, red, green, blue, 1);
    CGContextFillRect(context, CGRectMake(0, 0, width, height));
    CGContextSetRGBStrokeColor(context, 0.1, 0.1, 0.1, 1);
    CGContextSetLineWidth(context, 2);
    CGContextStrokeRect(context, CGRectMake(1, 1, width - 2, height - 2));
    if (label != nullptr) {
        CGContextSetRGBFillColor(context, 0, 0, 0, 1);
        CGContextSelectFont(context, "DejaVu Sans", 11, kCGEncodingMacRoman);
        CGContextShowTextAtPoint(context, 6, CGFloat(height) - 16, label, std::strlen(label));
    }
    CFRef<CGImageRef> image(CGBitmapContextCreateImage(context));
    CGContextRelease(context);
    DisposePtr(buffer);
    return image;
}

// The paper under the cards: a light grid every 20 points.
CFRef<CGImageRef> MakePaper(int width, int height)
{
    Ptr buffer = nullptr;
    CGContextRef context = CGBitmapContextCreate(CGSizeMake(width, height), buffer);
    CGContextSetRGBFillColor(context, 0.95, 0.94, 0.9, 1);
    CGContextFillRect(context, CGRectMake(0, 0, width, height));
    CGContextSetRGBFillColor(context, 0.8, 0.8, 0.85, 1);
    for (int x = 0; x < width; x += 20)
        CGContextFillRect(context, CGRectMake(x, 0, 1, height));
    for (int y = 0; y < height; y += 20)
        CGContextFillRect(context, CGRectMake(0, y, width, 1));
    CFRef<CGImageRef> image(CGBitmapContextCreateImage(context));
    CGContextRelease(context);
    DisposePtr(buffer);
    return image;
}

QImage ToQImage(CGImageRef image)
{
    return CGImageGetQImage(image).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// How many pixels of two images of one size differ (any channel by more
// than `tolerance`), inside `area` or outside it.
struct Differences {
    int inside = 0;
    int outside = 0;
};
Differences Compare(const QImage& a, const QImage& b, QRect area, int tolerance = 0)
{
    Differences differences;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            const bool differs =
                std::abs(qRed(p) - qRed(q)) > tolerance || std::abs(qGreen(p) - qGreen(q)) > tolerance ||
                std::abs(qBlue(p) - qBlue(q)) > tolerance || std::abs(qAlpha(p) - qAlpha(q)) > tolerance;
            if (differs)
                ++(area.contains(x, y) ? differences.inside : differences.outside);
        }
    return differences;
}

class SpriteDrawingTest : public WindowCanvasFixture {
protected:
    static void SetUpTestSuite() { QFontDatabase::addApplicationFont(BRINDLET_FIXTURES_DIR "/Fonts/DejaVuSans.ttf"); }

    void SetUp() override
    {
        WindowCanvasFixture::SetUp();
        DrawCounts().clear();
    }
};

// The display properties, compositing with an inset and a face with frames,
// as the view shows them.
TEST_F(SpriteDrawingTest, DisplayPropertiesCompositesAndFacesMatchTheGolden)
{
    TProbeCanvas* canvas = MakeWindowCanvas({320, 200});
    TSpriteLayer* layer = AddLayer();
    const auto paper = MakePaper(320, 200);
    TDrawnSprite::Create(layer, "paper", CGRectMake(0, 0, 320, 200), paper.get())->SetVerticalAxis(0);

    const auto red = MakeCard(80, 50, 0.9, 0.2, 0.2, "alpha");
    const auto cyan = MakeCard(70, 50, 0.2, 0.8, 0.85, "under");
    const auto yellow = MakeCard(70, 50, 1, 0.85, 0.2, "darken");
    const auto white = MakeCard(70, 50, 1, 1, 1, "difference");
    const auto green = MakeCard(70, 40, 0.4, 0.8, 0.3, "rotated");
    const auto violet = MakeCard(60, 40, 0.6, 0.45, 0.85, "scaled");

    TDrawnSprite* alpha = TDrawnSprite::Create(layer, "alpha", CGRectMake(10, 10, 80, 50), red.get());
    alpha->SetAlpha(0.5f);
    TDrawnSprite::Create(layer, "under", CGRectMake(110, 10, 70, 50), cyan.get());
    TDrawnSprite* darken = TDrawnSprite::Create(layer, "darken", CGRectMake(140, 30, 70, 50), yellow.get());
    darken->SetBlendMode(kCGBlendModeDarken);
    TDrawnSprite* difference = TDrawnSprite::Create(layer, "difference", CGRectMake(230, 10, 70, 50), white.get());
    difference->SetBlendMode(kCGBlendModeDifference);
    TDrawnSprite::Create(layer, "under2", CGRectMake(250, 35, 60, 40), cyan.get())->SetVerticalAxis(0.5f);
    TDrawnSprite* rotated = TDrawnSprite::Create(layer, "rotated", CGRectMake(20, 110, 70, 40), green.get());
    rotated->SetRotation(30);
    rotated->SetRotationCenterOffset(CGPointMake(20, -10));
    TDrawnSprite* scaled = TDrawnSprite::Create(layer, "scaled", CGRectMake(110, 100, 60, 40), violet.get());
    scaled->SetScale(CGSizeMake(1.5, 0.75));

    // A composite spanning the frame grown by 12 on every side, drawn from
    // the sprite's origin.
    TDrawnSprite* halo = TDrawnSprite::Create(layer, "halo", CGRectMake(200, 110, 40, 30), nullptr);
    halo->SetFrameInset(CGSizeMake(-12, -12));
    halo->AppendView(TObjectRef<THaloView>::Adopt(THaloView::Create(halo)).get());
    halo->SetNeedsComposite();

    // A face of two frames shows the first.
    const auto first = MakeCard(40, 30, 0.3, 0.7, 0.3, "1");
    const auto second = MakeCard(40, 30, 0.9, 0.5, 0.1, "2");
    const auto face = TObjectRef<TSpriteFace>::Adopt(TSpriteFace::Create());
    for (CGImageRef image : {first.get(), second.get()}) {
        const auto frame = TObjectRef<TSpriteFace>::Adopt(TSpriteFace::Create());
        frame->SetImage(image);
        face->AppendFrame(frame.get());
    }
    TSprite* faced = TSprite::CreateWithFace(CGPointMake(270, 150), face.get(), layer);
    faced->SetFrame(CGRectMake(270, 150, 40, 30));

    const QImage screen = Frame();
    EXPECT_TRUE(MatchesGolden(screen, "SpriteEngine/display-properties.png"));
    ASSERT_NE(halo->GetImage(), nullptr);
    EXPECT_EQ(CGImageGetWidth(halo->GetImage()), 64U) << "the composite spans the inset frame";
    EXPECT_EQ(faced->GetImage(), first.get());

    // The copy of the view's rect at scale 1 is what the view shows.
    CFRef<CGImageRef> copy(canvas->CopyImage(canvas->GetViewRect(), 1));
    ASSERT_TRUE(copy);
    const Differences same = Compare(ToQImage(copy.get()), screen, QRect(), 2);
    EXPECT_EQ(same.outside, 0);
}

// A copy of a rect away from the origin at another scale: the rect's
// content, the bitmap sized by the scale.
TEST_F(SpriteDrawingTest, CopyImageMapsTheRectAndSizesTheBitmapByTheScale)
{
    TProbeCanvas* canvas = MakeWindowCanvas({200, 160});
    TSpriteLayer* layer = AddLayer();
    const auto paper = MakePaper(200, 160);
    const auto red = MakeCard(20, 20, 1, 0, 0, nullptr);
    TDrawnSprite::Create(layer, "paper", CGRectMake(0, 0, 200, 160), paper.get())->SetVerticalAxis(0);
    TDrawnSprite::Create(layer, "red", CGRectMake(60, 50, 20, 20), red.get());
    Frame();

    CFRef<CGImageRef> copy(canvas->CopyImage(CGRectMake(50, 40, 60, 40), 2));
    ASSERT_TRUE(copy);
    EXPECT_EQ(CGImageGetWidth(copy.get()), 120U);
    EXPECT_EQ(CGImageGetHeight(copy.get()), 80U);
    const QImage image = ToQImage(copy.get());
    // The red card's inside: canvas (65..75, 55..65) → copy (30..50, 30..50).
    EXPECT_EQ(image.pixel(40, 40), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(10, 10), qRgb(242, 240, 230)) << "paper outside the card";
    EXPECT_EQ(image.pixel(70, 70), qRgb(242, 240, 230));
    EXPECT_EQ(canvas->CopyImage(CGRectMake(0, 0, 10, 10), 0), nullptr);
}

// Redrawing a small area draws the sprites meeting it, and no pixel
// outside it changes.
TEST_F(SpriteDrawingTest, ASmallInvalidAreaRedrawsOnlyWhatMeetsIt)
{
    TProbeCanvas* canvas = MakeWindowCanvas({200, 200});
    TSpriteLayer* layer = AddLayer();
    const auto paper = MakePaper(200, 200);
    const auto card = MakeCard(30, 30, 0.2, 0.4, 0.9, nullptr);
    TDrawnSprite::Create(layer, "paper", CGRectMake(0, 0, 200, 200), paper.get())->SetVerticalAxis(0);
    std::vector<TDrawnSprite*> cards;
    for (int row = 0; row < 5; ++row)
        for (int column = 0; column < 5; ++column)
            cards.push_back(TDrawnSprite::Create(layer, std::to_string(row) + "," + std::to_string(column),
                                                 CGRectMake(5 + 40 * column, 5 + 40 * row, 30, 30), card.get()));
    const QImage before = Frame();
    DrawCounts().clear();

    // Changed behind the canvas's back: any card drawn again shows it.
    for (TDrawnSprite* sprite : cards)
        sprite->SetAlpha(0.3f);
    canvas->SetNeedsDisplayInRect(CGRectMake(30, 70, 10, 10));
    const QImage after = Screen();

    EXPECT_EQ(DrawCounts(), (std::map<std::string, int>{{"paper", 1}, {"1,0", 1}}));
    const Differences differences = Compare(before, after, QRect(30, 70, 10, 10));
    EXPECT_EQ(differences.outside, 0);
    EXPECT_GT(differences.inside, 0) << "the card's corner in the area was drawn again";
}

// A cached layer: made when it first composites (the canvas has no context
// when the layer is appended), cleared where sprites moved, painted in the
// pass that composites.
TEST_F(SpriteDrawingTest, ACachedLayerFollowsMovesWithoutTrails)
{
    MakeWindowCanvas({200, 160});
    TSpriteLayer* ground = AddLayer();
    TSpriteLayer* cached = AddLayer(1);
    EXPECT_EQ(cached->GetLayer(), nullptr) << "no context yet";
    const auto paper = MakePaper(200, 160);
    const auto red = MakeCard(30, 30, 1, 0, 0, nullptr);
    TDrawnSprite::Create(ground, "paper", CGRectMake(0, 0, 200, 160), paper.get());
    TDrawnSprite* sprite = TDrawnSprite::Create(cached, "red", CGRectMake(20, 20, 30, 30), red.get());

    QImage screen = Frame();
    ASSERT_NE(cached->GetLayer(), nullptr);
    EXPECT_EQ(screen.pixel(35, 35), qRgb(255, 0, 0)) << "painted in the pass that composited";

    sprite->SetLocation(100, 90);
    screen = Frame();
    EXPECT_EQ(screen.pixel(115, 105), qRgb(255, 0, 0));
    EXPECT_EQ(screen.pixel(35, 35), qRgb(242, 240, 230)) << "no trail where the sprite was";
    EXPECT_EQ(screen.pixel(25, 25), qRgb(242, 240, 230));
}

// The display request hands the frame's dirty rects to the view; rects
// added after it wait for the next one instead of being dropped by the
// draw pass.
TEST_F(SpriteDrawingTest, RectsAddedAfterTheDisplayRequestSurviveTheDraw)
{
    TProbeCanvas* canvas = MakeWindowCanvas({200, 160});
    TSpriteLayer* layer = AddLayer();
    const auto paper = MakePaper(200, 160);
    const auto red = MakeCard(20, 20, 1, 0, 0, nullptr);
    TDrawnSprite::Create(layer, "paper", CGRectMake(0, 0, 200, 160), paper.get())->SetVerticalAxis(0);
    TDrawnSprite* sprite = TDrawnSprite::Create(layer, "red", CGRectMake(10, 10, 20, 20), red.get());
    Frame();

    layer->SetNeedsDisplayInRect(CGRectMake(0, 0, 5, 5));
    sprite->SetLocation(120, 100);  // after the request
    QImage screen = Screen();
    ASSERT_EQ(layer->GetDirtyRectCount(), 1) << "the move is still to be drawn";
    EXPECT_TRUE(CGRectEqualToRect(layer->GetDirtyRect(0), CGRectMake(10, 10, 130, 110)));
    EXPECT_EQ(screen.pixel(130, 110), qRgb(242, 240, 230)) << "not drawn yet";
    screen = Frame();
    EXPECT_EQ(screen.pixel(130, 110), qRgb(255, 0, 0));
    EXPECT_EQ(screen.pixel(25, 25), qRgb(242, 240, 230));
    EXPECT_FALSE(canvas->IsDirty());
}

// With zoom and scroll, dirty rects are converted to the view once: the
// moved sprite shows where the view puts it, and its old place is cleared.
TEST_F(SpriteDrawingTest, ZoomedAndScrolledMovesRedrawTheRightArea)
{
    TProbeCanvas* canvas = MakeWindowCanvas({200, 160});
    canvas->SetDestRect(CGRectMake(0, 0, 400, 400));
    TSpriteLayer* layer = AddLayer();
    const auto red = MakeCard(10, 10, 1, 0, 0, nullptr);
    TDrawnSprite* sprite = TDrawnSprite::Create(layer, "red", CGRectMake(20, 30, 10, 10), red.get());
    canvas->SetZoomFactor(2);
    canvas->ScrollTo(10, 20);
    QImage screen = Frame();
    EXPECT_EQ(screen.pixel(40, 50), qRgb(255, 0, 0)) << "canvas (20, 30) × 2 − (10, 20)";

    sprite->SetLocation(60, 40);
    screen = Frame();
    EXPECT_EQ(screen.pixel(120, 70), qRgb(255, 0, 0));
    EXPECT_EQ(screen.pixel(40, 50), qRgb(255, 255, 255)) << "the old place is cleared";
}

// The window keeps its pixels: a transparent child updating over the canvas
// leaves the sprites under it drawn.
TEST_F(SpriteDrawingTest, AnOverlayUpdatingOverTheCanvasLeavesTheSpritesIntact)
{
    MakeWindowCanvas({200, 160});
    TSpriteLayer* layer = AddLayer();
    const auto paper = MakePaper(200, 160);
    const auto card = MakeCard(60, 40, 0.2, 0.4, 0.9, "card");
    TDrawnSprite::Create(layer, "paper", CGRectMake(0, 0, 200, 160), paper.get())->SetVerticalAxis(0);
    TDrawnSprite* translucent = TDrawnSprite::Create(layer, "card", CGRectMake(30, 30, 60, 40), card.get());
    translucent->SetAlpha(0.6f);
    const QImage before = Frame();

    HIViewRef overlay = nullptr;
    const HIRect frame = CGRectMake(20, 20, 50, 30);
    HIViewCreatePlain(&frame, &overlay);
    HIViewAddSubview(canvasView_, overlay);
    CFRelease(overlay);
    for (int i = 0; i < 3; ++i) {
        HIViewSetNeedsDisplay(overlay, true);
        const QImage after = Screen();
        SCOPED_TRACE(i);
        EXPECT_EQ(Compare(before, after, QRect()).outside, 0);
    }
}

// A composite hook that resizes its sprite gets a second pass at the size
// it set.
TEST_F(SpriteDrawingTest, ACompositePassThatResizesRunsAgainAtTheNewSize)
{
    MakeCanvas();
    TSpriteLayer* layer = AddLayer();
    TDrawnSprite* sprite = TDrawnSprite::Create(layer, "grower", CGRectMake(0, 0, 20, 10), nullptr);
    const auto view = TObjectRef<TGrowingView>::Adopt(TGrowingView::Create(sprite));
    sprite->AppendView(view.get());
    sprite->CompositeImage();
    EXPECT_EQ(view->widths, (std::vector<int>{20, 40}));
    ASSERT_NE(sprite->GetImage(), nullptr);
    EXPECT_EQ(CGImageGetWidth(sprite->GetImage()), 40U);
    EXPECT_EQ(sprite->GetWidth(), 40);

    CFRef<CGImageRef> copy(sprite->CopyImage(CGSizeMake(16, 8)));
    ASSERT_TRUE(copy);
    EXPECT_EQ(CGImageGetWidth(copy.get()), 16U);
    EXPECT_EQ(sprite->GetWidth(), 40) << "the frame is restored after the copy";
}

TEST(CanvasDrawImageTest, TruncatesTheRectAndDrawsUpright)
{
    Ptr buffer = nullptr;
    CGContextRef context = CanvasBitmapContextCreate(CGSizeMake(20, 20), buffer);
    ASSERT_NE(context, nullptr);
    CanvasFlipContext(context, 20);
    // Top half red, bottom half blue, as an image (first row on top).
    QImage pixels(2, 2, QImage::Format_ARGB32);
    pixels.setPixelColor(0, 0, Qt::red);
    pixels.setPixelColor(1, 0, Qt::red);
    pixels.setPixelColor(0, 1, Qt::blue);
    pixels.setPixelColor(1, 1, Qt::blue);
    CFRef<CGImageRef> image(CGImageCreateWithQImage(pixels));
    CGContextSetInterpolationQuality(context, kCGInterpolationNone);
    CanvasDrawImage(context, CGRectMake(0.5, 0.5, 10.7, 10.7), image.get());
    CFRef<CGImageRef> drawn(CGBitmapContextCreateImage(context));
    const QImage result = ToQImage(drawn.get());
    EXPECT_EQ(result.pixel(0, 0), qRgb(255, 0, 0)) << "the rect starts at (0, 0), top row red";
    EXPECT_EQ(result.pixel(9, 9), qRgb(0, 0, 255));
    EXPECT_EQ(qAlpha(result.pixel(10, 10)), 0) << "and is 10 × 10";
    EXPECT_EQ(qAlpha(result.pixel(10, 0)), 0);
    CGContextRelease(context);
    DisposePtr(buffer);
}

}  // namespace
