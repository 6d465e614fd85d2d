// The card's face as the sprite engine composites it: the body in each
// background mode, minimised, as a tab, on paper, and its widgets.
#include "CardTestSupport.h"

#include <CGTestSupport.h>

#include <CarbonCore/CarbonEventLoop.h>
#include <CoreGraphics/CGImageQt.h>
#include <Support/Clock.h>

#include <Units/Utilities/FSUtilities.h>

#include <QColor>
#include <QImage>
#include <QPainter>

#include <fstream>

namespace {

// The face the card composites now.
QImage Face(TCard* card)
{
    card->CompositeImage();
    CGImageRef image = card->GetImage();
    return image != nullptr ? CGImageGetQImage(image).convertToFormat(QImage::Format_ARGB32_Premultiplied) : QImage();
}

// A background picture of 40 × 30 points: four coloured quarters, so that
// its placement shows.
CGImageRef CreateQuarters()
{
    QImage pixels(40, 30, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&pixels);
    painter.fillRect(0, 0, 20, 15, QColor(230, 60, 50));
    painter.fillRect(20, 0, 20, 15, QColor(250, 200, 40));
    painter.fillRect(0, 15, 20, 15, QColor(60, 170, 80));
    painter.fillRect(20, 15, 20, 15, QColor(250, 250, 250));
    painter.end();
    return CGImageCreateWithQImage(pixels);
}

class CardDrawingTest : public CardFixture {
protected:
    // The card of the goldens: a blue card titled "Errands", with the focus.
    TTestCard* Errands()
    {
        TTestCard* card = NewCard();
        card->SetTitle(CFSTR("Errands"));
        card->SetColor(0.25f, 0.45f, 0.85f, 0.9f);
        return card;
    }
};

}  // namespace

TEST_F(CardDrawingTest, FacesMatchTheirGoldens)
{
    const struct {
        const char* golden;
        void (*set)(TTestCard* card, TCardProtocol* other);
    } rows[] = {
        {"card-focused.png", [](TTestCard*, TCardProtocol*) {}},
        {"card-unfocused.png", [](TTestCard*, TCardProtocol* other) { other->GiveFocus(); }},
        {"card-yellow.png", [](TTestCard* card, TCardProtocol*) { card->SetColor(1.0f, 0.9f, 0.35f, 0.9f); }},
        {"card-minimized.png", [](TTestCard* card, TCardProtocol*) { card->SetMinimized(true); }},
        {"card-without-minimize.png",
         [](TTestCard*, TCardProtocol*) {
             TApplication::Prefs()->SetBooleanValue("TPreferences.showMinimize", false);
         }},
        {"card-background-fill.png",
         [](TTestCard* card, TCardProtocol*) {
             card->SetCardImage(CreateQuarters(), kCardImageBackground);
             card->SetBackgroundImageMode(kBackgroundScaleToFill);
         }},
        {"card-background-stretch.png",
         [](TTestCard* card, TCardProtocol*) {
             card->SetCardImage(CreateQuarters(), kCardImageBackground);
             card->SetBackgroundImageMode(kBackgroundStretch);
         }},
        {"card-background-center.png",
         [](TTestCard* card, TCardProtocol*) {
             card->SetCardImage(CreateQuarters(), kCardImageBackground);
             card->SetBackgroundImageMode(kBackgroundCenter);
         }},
        {"card-background-tile.png",
         [](TTestCard* card, TCardProtocol*) {
             card->SetCardImage(CreateQuarters(), kCardImageBackground);
             card->SetBackgroundImageMode(kBackgroundTile);
         }},
        {"card-title-image.png",
         [](TTestCard* card, TCardProtocol*) { card->SetCardImage(CreateQuarters(), kCardImageTitle); }},
        {"card-tab-left.png", [](TTestCard* card, TCardProtocol*) { card->SetTabEdge(2, false); }},
        {"card-tab-top.png", [](TTestCard* card, TCardProtocol*) { card->SetTabEdge(1, false); }},
        {"card-tab-open.png", [](TTestCard* card, TCardProtocol*) { card->SetTabEdge(3, true); }},
        // The screen prints this one (see below).
        {"card-printing.png", [](TTestCard*, TCardProtocol*) {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.golden);
        Prefs()->SetBooleanValue("TPreferences.showMinimize", true);
        TTestCard* other = NewCard();
        TTestCard* card = Errands();
        screen_->printing = std::string(row.golden) == "card-printing.png";
        row.set(card, other);
        EXPECT_TRUE(MatchesGolden(Face(card), std::string("Cards/") + row.golden));
        screen_->printing = false;
        card->Remove();
        other->Remove();
    }
}

TEST_F(CardDrawingTest, PaperShowsOnlyFullSizeCards)
{
    screen_->printing = true;
    const struct {
        const char* name;
        void (*set)(TTestCard* card);
        bool drawn;
    } rows[] = {
        {"full size", [](TTestCard*) {}, true},
        {"minimised", [](TTestCard* card) { card->SetMinimized(true); }, false},
        {"shut tab", [](TTestCard* card) { card->SetTabEdge(2, false); }, false},
        {"open tab", [](TTestCard* card) { card->SetTabEdge(4, true); }, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TTestCard* card = Errands();
        row.set(card);
        const QImage face = Face(card);
        ASSERT_FALSE(face.isNull());
        bool anyPixel = false;
        for (int y = 0; y < face.height() && !anyPixel; ++y)
            for (int x = 0; x < face.width() && !anyPixel; ++x)
                anyPixel = qAlpha(face.pixel(x, y)) != 0;
        EXPECT_EQ(anyPixel, row.drawn);
        if (row.drawn) {
            EXPECT_EQ(face.pixel(150, 150), qRgba(255, 255, 255, 255)) << "white paper, no colour";
            EXPECT_EQ(qAlpha(face.pixel(310, 150)), 0) << "no shadow";
        }
        card->Remove();
    }
}

TEST_F(CardDrawingTest, BackgroundImagesArePlacedByTheMode)
{
    TTestCard* card = Errands();
    card->SetCardImage(CreateQuarters(), kCardImageBackground);

    // Tiled at the natural size from the body's corner (4, 4): the picture
    // repeats every 40 points across and every 30 down.
    card->SetBackgroundImageMode(kBackgroundTile);
    QImage face = Face(card);
    const int y = 150;
    for (int x : {14, 34, 54, 74}) {
        SCOPED_TRACE(x);
        EXPECT_EQ(face.pixel(x, y), face.pixel(x + 40, y));
    }
    EXPECT_NE(face.pixel(14, y), face.pixel(34, y)) << "two quarters side by side";
    // Down the card the gradient shades the tiles a little.
    const auto near = [](QRgb a, QRgb b) {
        return std::abs(qRed(a) - qRed(b)) <= 12 && std::abs(qGreen(a) - qGreen(b)) <= 12 &&
               std::abs(qBlue(a) - qBlue(b)) <= 12;
    };
    EXPECT_TRUE(near(face.pixel(14, 40), face.pixel(14, 70))) << "a row of tiles below the other";
    EXPECT_FALSE(near(face.pixel(14, 40), face.pixel(14, 55))) << "the lower quarter between them";

    // Centred at its natural size: the quarters meet at the body's centre,
    // 20 points from the picture's left and right edges.
    card->SetBackgroundImageMode(kBackgroundCenter);
    face = Face(card);
    const QColor topLeft = face.pixelColor(140, 145), topRight = face.pixelColor(160, 145);
    const QColor outside = face.pixelColor(110, 145);
    EXPECT_GT(topLeft.red(), topLeft.blue()) << "red quarter";
    EXPECT_GT(topRight.green(), topRight.blue()) << "yellow quarter";
    EXPECT_GT(outside.blue(), outside.red()) << "the card's blue beside the picture: not scaled";
}

TEST_F(CardDrawingTest, WidgetsAndContentKeepToTheInteriorFrame)
{
    TTestCard* card = Errands();
    Face(card);
    const CGRect interior = card->GetInteriorFrame();
    EXPECT_TRUE(CGRectEqualToRect(interior, CGRectMake(4, 4, 292, 292)));
    EXPECT_TRUE(CGRectEqualToRect(card->GetCloseButtonFrame(), CGRectMake(8, 8, 16, 16)));
    EXPECT_TRUE(CGRectEqualToRect(card->GetGrowBoxFrame(), CGRectMake(280, 280, 12, 12)));
    EXPECT_TRUE(CGRectEqualToRect(card->GetMinimizeFrame(), CGRectMake(274, 10, 16, 16)));
    const CGRect title = card->GetTitleFrame();
    EXPECT_EQ(title.origin.y, 8) << "4 below the interior's top";
    EXPECT_NEAR(CGRectGetMidX(title), CGRectGetMidX(interior), 1);
    const CGRect content = card->GetContentFrame();
    const CGFloat top = std::trunc(title.size.height) + 4;
    EXPECT_TRUE(CGRectEqualToRect(content, CGRectMake(4, 4 + top, 292, 292 - top - 28)));
    EXPECT_EQ(card->GetTitleMaximumWidth(), 236u);

    // Minimised: the strip's interior, 24 in on each side, no margins; the
    // title centred on the strip.
    card->SetMinimized(true);
    Face(card);
    const CGRect strip = card->GetInteriorFrame();
    EXPECT_TRUE(CGRectEqualToRect(strip, CGRectMake(4, 4, 292, 28)));
    EXPECT_TRUE(CGRectEqualToRect(card->GetContentFrame(), CGRectMake(28, 4, 244, 28)));
    EXPECT_NEAR(CGRectGetMidY(card->GetTitleFrame()), CGRectGetMidY(strip), 1);

    // Without a title there is no title frame.
    card->SetTitle(CFSTR(""));
    EXPECT_TRUE(CGRectIsEmpty(card->CalculateTitleBoundingFrame()));
    card->Remove();
}

TEST_F(CardDrawingTest, AnEmbeddedCardIsARoundedChipWithItsTitle)
{
    Prefs()->SetStringValue("list-font-family", "DejaVu Sans");
    Prefs()->SetIntegerValue("list-font-size", 11);
    TTestCard* card = Errands();
    Ptr buffer = nullptr;
    CGContextRef context = CanvasBitmapContextCreate(CGSizeMake(180, 70), buffer);
    ASSERT_NE(context, nullptr);
    CanvasFlipContext(context, 70);
    CGContextClearRect(context, CGRectMake(0, 0, 180, 70));
    // Drawn at half size into a rectangle of 140 by 40.
    card->DrawEmbeddedRepresentation(context, CGRectMake(10, 10, 140, 40), 0.5, false);
    CGImageRef image = CGBitmapContextCreateImage(context);
    EXPECT_TRUE(MatchesGolden(CGImageGetQImage(image), "Cards/card-embedded.png"));
    CGImageRelease(image);
    CGContextRelease(context);
    DisposePtr(buffer);
    card->Remove();
}

TEST_F(CardDrawingTest, ANewCardCurlsInAndAClosingCardCurlsAway)
{
    Clock::Fake clock(1e9);
    const auto tick = [&](int ticks) {
        for (int i = 0; i < ticks; ++i) {
            clock.Advance(1.0 / 60);
            FireDueEventLoopTimers(GetMainEventLoop());
        }
    };
    Prefs()->SetBooleanValue("TPreferences.showTransitions", true);
    TTestCard* card = Errands();
    EXPECT_TRUE(card->IsWaitingForInitialState());
    Ptr buffer = nullptr;
    CGContextRef context = CanvasBitmapContextCreate(CGSizeMake(400, 400), buffer);
    ASSERT_NE(context, nullptr);
    card->HandleDraw(context);  // the first appearance starts the curl
    EXPECT_TRUE(card->IsTransitioning());
    tick(10);
    // Half way: the clear page has curled off part of the card.
    ASSERT_NE(card->GetImage(), nullptr);
    EXPECT_TRUE(MatchesGolden(CGImageGetQImage(card->GetImage()), "Cards/card-curl-opening.png", 6, 0.01));
    tick(40);
    EXPECT_FALSE(card->IsTransitioning());
    EXPECT_FALSE(card->IsWaitingForInitialState());
    EXPECT_GT(qAlpha(Face(card).pixel(150, 150)), 200) << "the whole card after the curl";

    // Closing: the card stays until its curl ends, then leaves its layer.
    const auto held = TObjectRef<TTestCard>::Retain(card);
    card->CloseWithTransition();
    EXPECT_TRUE(card->IsClosing());
    EXPECT_TRUE(card->IsTransitioning());
    EXPECT_FALSE(card->IsDestroying()) << "still there while it curls";
    tick(50);
    EXPECT_FALSE(card->IsTransitioning());
    EXPECT_TRUE(card->IsDestroying()) << "removed once the curl ended";

    // A card released while it curls is not called when the curl stops.
    TTestCard* other = Errands();
    other->Transition(false);
    EXPECT_TRUE(other->IsTransitioning());
    other->Remove();
    tick(50);
    CGContextRelease(context);
    DisposePtr(buffer);
}

TEST_F(CardDrawingTest, ChosenImagesBecomeTitleOrBackground)
{
    const auto changes = TObjectRef<TNotificationCounter>::Adopt(TNotificationCounter::Create("SyncSheetChanged"));
    TTestCard* card = Errands();
    Face(card);
    const std::string picture = scope_.Home() / "picture.png";
    QImage pixels(80, 40, QImage::Format_ARGB32_Premultiplied);
    pixels.fill(QColor(200, 40, 40));
    ASSERT_TRUE(pixels.save(QString::fromStdString(picture), "PNG"));
    const std::string text = scope_.Home() / "notes.txt";
    std::ofstream(text) << "not a picture";

    const auto choose = [&](void (TCard::*handler)(TDictionary*), const std::string& path) {
        const auto parameters = TObjectRef<TTypeDictionary>::Adopt(TTypeDictionary::Create());
        CFRef<CFStringRef> cfPath(CFStringCreateWithCString(nullptr, path.c_str(), kCFStringEncodingUTF8));
        const FSRef file = FSGetPathRef(cfPath.get());
        parameters->SetDataValue("file", sizeof file, &file);
        (card->*handler)(parameters.get());
    };

    const int before = changes->count;
    choose(&TCard::HandleAddBackgroundImage, text);
    EXPECT_EQ(card->GetCardImage(), nullptr) << "a file that is no picture changes nothing";
    EXPECT_EQ(changes->count, before);

    choose(&TCard::HandleAddBackgroundImage, picture);
    ASSERT_TRUE(card->HasBackgroundImage());
    EXPECT_EQ(CGImageGetWidth(card->GetCardImage()), 300u) << "scaled to the card";
    EXPECT_EQ(CGImageGetHeight(card->GetCardImage()), 300u);
    EXPECT_EQ(changes->count, before + 1);

    choose(&TCard::HandleAddTitleImage, picture);
    ASSERT_TRUE(card->HasTitleImage());
    const CGSize frame = card->GetTitleImageFrame().size;
    const CGSize size = CGImageGetSize(card->GetCardImage());
    EXPECT_LE(size.width, frame.width);
    EXPECT_LE(size.height, frame.height);
    EXPECT_NEAR(size.width / size.height, 2.0, 0.1) << "its proportions kept";
    EXPECT_LT(card->GetTitleMaximumWidth(), 236u) << "the title makes room for it";
    card->RemoveCardImage();
    EXPECT_EQ(card->GetCardImageKind(), kCardImageNone);
}
