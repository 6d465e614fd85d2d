// Stretchable artwork: which files fill which pieces, and where each piece
// lands, pixel by pixel, in a view context (y down).
#include "FrameworkTestSupport.h"

#include <Units/HIToolbox/HICommonThemes.h>

#include <CGTestSupport.h>

#include <QColor>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <sstream>

namespace {

// A piece of artwork: a solid colour, or a colour over the top half and
// another over the bottom half (to see which way up it lands).
struct Piece {
    int width;
    int height;
    QColor color;
    QColor bottom = QColor();  // invalid: solid
};

// What a drawing should leave: rectangles (in view coordinates) painted
// in order, source over, onto a clear bitmap.
struct Paint {
    int x, y, width, height;
    QColor color;
};

RGBA Premultiplied(const QColor& color)
{
    const int a = color.alpha();
    return RGBA{(color.red() * a + 127) / 255, (color.green() * a + 127) / 255, (color.blue() * a + 127) / 255, a};
}

RGBA Over(const RGBA& source, const RGBA& below)
{
    RGBA out;
    for (int i = 0; i < 4; ++i)
        out[i] = source[i] + (below[i] * (255 - source[3]) + 127) / 255;
    return out;
}

std::string Describe(const RGBA& c)
{
    std::ostringstream text;
    text << "(" << c[0] << ", " << c[1] << ", " << c[2] << ", " << c[3] << ")";
    return text.str();
}

// Every pixel of the bitmap against what the paints leave, within a step
// or two of rounding. Names the first few pixels that differ.
testing::AssertionResult Shows(const TestBitmap& bitmap, const std::vector<Paint>& paints)
{
    int wrong = 0;
    std::ostringstream report;
    for (int row = 0; row < bitmap.height(); ++row)
        for (int column = 0; column < bitmap.width(); ++column) {
            RGBA expected = kClear;
            for (const Paint& paint : paints)
                if (column >= paint.x && column < paint.x + paint.width && row >= paint.y &&
                    row < paint.y + paint.height)
                    expected = Over(Premultiplied(paint.color), expected);
            const RGBA actual = bitmap.Row(column, row);
            bool close = true;
            for (int i = 0; i < 4; ++i)
                close = close && std::abs(actual[i] - expected[i]) <= 2;
            if (!close && ++wrong <= 6)
                report << " (" << column << ", " << row << ") is " << Describe(actual) << ", not " << Describe(expected)
                       << ";";
        }
    if (wrong == 0)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << wrong << " pixels differ:" << report.str();
}

// A bitmap whose context is set up as a view's: origin at the top left,
// y down.
class ViewBitmap : public TestBitmap {
public:
    ViewBitmap(int width, int height) : TestBitmap(width, height) { Flip(); }
};

const QColor kRedPiece(255, 0, 0), kGreenPiece(0, 255, 0), kBluePiece(0, 0, 255), kYellowPiece(255, 255, 0),
    kCyanPiece(0, 255, 255), kMagentaPiece(255, 0, 255), kGreyPiece(128, 128, 128), kWhitePiece(255, 255, 255),
    kBlackPiece(0, 0, 0), kOrangePiece(255, 128, 0);

class HICommonThemesTest : public testing::Test {
protected:
    // Writes a piece as "<folder>/<name>" in the scratch folder.
    void WritePiece(const std::string& folder, const std::string& name, const Piece& piece)
    {
        scratch_.MakeFolder(folder);
        QImage image(piece.width, piece.height, QImage::Format_ARGB32);
        image.fill(piece.color);
        if (piece.bottom.isValid())
            for (int y = piece.height / 2; y < piece.height; ++y)
                for (int x = 0; x < piece.width; ++x)
                    image.setPixelColor(x, y, piece.bottom);
        ASSERT_TRUE(image.save(QString::fromStdString(scratch_ / (folder + "/" + name)), "PNG"));
    }

    // A nine-part set of corners c by c, edges `edge` long, each piece in
    // its own colour; the top-left corner shows red over blue, so that an
    // upside-down drawing shows. `skip` names files left out.
    HITheme9PartImage NinePart(int c, int alpha, std::initializer_list<std::string> skip = {})
    {
        const int edge = 3;
        auto with = [alpha](QColor color) {
            color.setAlpha(alpha);
            return color;
        };
        const std::vector<std::pair<std::string, Piece>> pieces = {
            {"top_left.png", {c, c, with(kRedPiece), with(kBluePiece)}},
            {"top_center.png", {edge, c, with(kGreenPiece)}},
            {"top_right.png", {c, c, with(kYellowPiece)}},
            {"middle_left.png", {c, edge, with(kCyanPiece)}},
            {"middle_center.png", {edge, edge, with(kMagentaPiece)}},
            {"middle_right.png", {c, edge, with(kGreyPiece)}},
            {"bottom_left.png", {c, c, with(kWhitePiece)}},
            {"bottom_center.png", {edge, c, with(kBlackPiece)}},
            {"bottom_right.png", {c, c, with(kOrangePiece)}},
        };
        const std::string folder = "Nine" + std::to_string(sets_++);
        scratch_.MakeFolder(folder);
        for (const auto& [name, piece] : pieces)
            if (std::find(skip.begin(), skip.end(), name) == skip.end())
                WritePiece(folder, name, piece);
        return Keep(HIThemeLoad9PartImage(scratch_.Ref(folder)));
    }

    // What a nine-part set of NinePart draws into the whole rectangle
    // (x, y, w, h) of whole points, pieces left out by name.
    static std::vector<Paint> NinePartPaints(int x, int y, int w, int h, int c, int alpha,
                                             std::initializer_list<std::string> skip = {})
    {
        auto with = [alpha](QColor color) {
            color.setAlpha(alpha);
            return color;
        };
        const int inner = w - 2 * c, tall = h - 2 * c;
        const std::vector<std::pair<std::string, std::vector<Paint>>> pieces = {
            {"top_left.png", {{x, y, c, c / 2, with(kRedPiece)}, {x, y + c / 2, c, c - c / 2, with(kBluePiece)}}},
            {"top_center.png", {{x + c, y, inner, c, with(kGreenPiece)}}},
            {"top_right.png", {{x + w - c, y, c, c, with(kYellowPiece)}}},
            {"middle_left.png", {{x, y + c, c, tall, with(kCyanPiece)}}},
            {"middle_center.png", {{x + c, y + c, inner, tall, with(kMagentaPiece)}}},
            {"middle_right.png", {{x + w - c, y + c, c, tall, with(kGreyPiece)}}},
            {"bottom_left.png", {{x, y + h - c, c, c, with(kWhitePiece)}}},
            {"bottom_center.png", {{x + c, y + h - c, inner, c, with(kBlackPiece)}}},
            {"bottom_right.png", {{x + w - c, y + h - c, c, c, with(kOrangePiece)}}},
        };
        std::vector<Paint> paints;
        for (const auto& [name, parts] : pieces)
            if (std::find(skip.begin(), skip.end(), name) == skip.end())
                for (const Paint& part : parts)
                    if (part.width > 0 && part.height > 0)
                        paints.push_back(part);
        return paints;
    }

    // A three-part set whose pieces are written as given (nil: left out).
    HITheme3PartImage ThreePart(const Piece* left, const Piece* center, const Piece* right)
    {
        const std::string folder = "Three" + std::to_string(sets_++);
        scratch_.MakeFolder(folder);
        if (left)
            WritePiece(folder, "left.png", *left);
        if (center)
            WritePiece(folder, "center.png", *center);
        if (right)
            WritePiece(folder, "right.png", *right);
        return Keep(HIThemeLoad3PartImage(scratch_.Ref(folder)));
    }

    HITheme9PartImage Keep(HITheme9PartImage image)
    {
        nines_.push_back(image);
        return image;
    }
    HITheme3PartImage Keep(HITheme3PartImage image)
    {
        threes_.push_back(image);
        return image;
    }

    void TearDown() override
    {
        for (HITheme9PartImage& image : nines_)
            HIThemeRelease9PartImage(image);
        for (HITheme3PartImage& image : threes_)
            HIThemeRelease3PartImage(image);
    }

    ScratchFolder scratch_;

private:
    int sets_ = 0;
    std::vector<HITheme9PartImage> nines_;
    std::vector<HITheme3PartImage> threes_;
};

// ---- loading ----

TEST_F(HICommonThemesTest, LoadersFillEachPieceFromItsFileAndNilForMissingOnes)
{
    // Pieces of distinct widths show which file went where.
    const std::vector<std::string> nineNames = {"top_left.png",    "top_center.png",    "top_right.png",
                                                "middle_left.png", "middle_center.png", "middle_right.png",
                                                "bottom_left.png", "bottom_center.png", "bottom_right.png"};
    for (size_t i = 0; i < nineNames.size(); ++i)
        if (nineNames[i] != "middle_center.png")
            WritePiece("Nine", nineNames[i], {int(i) + 1, 2, kRedPiece});
    scratch_.Write("Nine/middle_center.png", "not a picture");
    HITheme9PartImage nine = Keep(HIThemeLoad9PartImage(scratch_.Ref("Nine")));
    const CGImageRef nineSlots[] = {nine.topLeft,    nine.topCenter,    nine.topRight,
                                    nine.middleLeft, nine.middleCenter, nine.middleRight,
                                    nine.bottomLeft, nine.bottomCenter, nine.bottomRight};
    for (size_t i = 0; i < nineNames.size(); ++i) {
        SCOPED_TRACE(nineNames[i]);
        if (nineNames[i] == "middle_center.png")
            EXPECT_EQ(nineSlots[i], nullptr);
        else
            EXPECT_EQ(CGImageGetWidth(nineSlots[i]), i + 1);  // 0 for nil
    }

    const std::vector<std::string> pushNames = {"left.png",         "center.png",         "right.png",
                                                "left_pressed.png", "center_pressed.png", "right_pressed.png"};
    for (size_t i = 0; i < pushNames.size(); ++i)
        if (i != 4)
            WritePiece("Push", pushNames[i], {int(i) + 1, 2, kRedPiece});
    HIThemePushButtonImages push = HIThemeLoadPushButtonImages(scratch_.Ref("Push"));
    const CGImageRef pushSlots[] = {push.left,        push.center,        push.right,
                                    push.leftPressed, push.centerPressed, push.rightPressed};
    for (size_t i = 0; i < pushNames.size(); ++i) {
        SCOPED_TRACE(pushNames[i]);
        if (i == 4)
            EXPECT_EQ(pushSlots[i], nullptr);
        else
            EXPECT_EQ(CGImageGetWidth(pushSlots[i]), i + 1);
    }
    // The three-part loader reads the same folder's first three names.
    HITheme3PartImage three = Keep(HIThemeLoad3PartImage(scratch_.Ref("Push")));
    ASSERT_NE(three.center, nullptr);
    EXPECT_EQ(CGImageGetWidth(three.center), 2u);
    HIThemeReleasePushButtonImages(push);
    EXPECT_EQ(push.leftPressed, nullptr);
}

TEST_F(HICommonThemesTest, LoadingFromNoFolderFillsTheRecordWithNil)
{
    scratch_.Write("plain.png", "a file, not a folder");
    scratch_.MakeFolder("Empty");
    const struct {
        const char* name;
        FSRef folder;
    } rows[] = {
        {"all-zero reference", FSRef{}},
        {"a file", scratch_.Ref("plain.png")},
        {"an empty folder", scratch_.Ref("Empty")},
    };
    const CGImageRef sentinel = reinterpret_cast<CGImageRef>(0x1);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        HITheme9PartImage nine;
        nine.topLeft = nine.middleCenter = nine.bottomRight = sentinel;
        HIThemeLoad9PartImage(row.folder, nine);
        EXPECT_EQ(nine.topLeft, nullptr);
        EXPECT_EQ(nine.middleCenter, nullptr);
        EXPECT_EQ(nine.bottomRight, nullptr);
        HITheme3PartImage three{sentinel, sentinel, sentinel};
        HIThemeLoad3PartImage(row.folder, three);
        EXPECT_EQ(three.left, nullptr);
        EXPECT_EQ(three.center, nullptr);
        EXPECT_EQ(three.right, nullptr);
    }
}

TEST_F(HICommonThemesTest, ResourceFoldersAreFoundWithOrWithoutALeadingSlash)
{
    WritePiece("Resources/Images/Label", "left.png", {3, 5, kRedPiece});
    WritePiece("Resources/Images/Label", "center.png", {1, 5, kGreenPiece});
    FrameworkScope scope(scratch_ / "Resources");
    for (const char* path : {"/Images/Label", "Images/Label"}) {
        SCOPED_TRACE(path);
        HITheme3PartImage label = Keep(HIThemeLoad3PartImage(ShortString(path)));
        ASSERT_NE(label.left, nullptr);
        EXPECT_EQ(CGImageGetWidth(label.left), 3u);
        EXPECT_NE(label.center, nullptr);
        EXPECT_EQ(label.right, nullptr);
    }
    HITheme3PartImage none = Keep(HIThemeLoad3PartImage(ShortString("/Images/Nothing")));
    EXPECT_EQ(none.left, nullptr);
}

// ---- nine parts ----

TEST_F(HICommonThemesTest, NinePartImageLandsOnWholePointsWithoutSeams)
{
    // Translucent pieces: a piece drawn twice over a seam, or a seam left
    // open, changes the alpha there.
    const int c = 4;
    const struct {
        const char* name;
        int alpha;
        CGRect rect;
        int x, y, w, h;  // the rectangle in whole points
    } rows[] = {
        {"exactly 2c by 2c: the corners only", 255, CGRectMake(3, 2, 8, 8), 3, 2, 8, 8},
        {"whole rectangle", 128, CGRectMake(2, 1, 17, 13), 2, 1, 17, 13},
        {"fractional origin and size", 128, CGRectMake(2.7, 1.2, 17.9, 13.6), 2, 1, 17, 13},
        {"one point of centre", 128, CGRectMake(5.5, 4.99, 9.99, 9), 5, 4, 9, 9},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        HITheme9PartImage image = NinePart(c, row.alpha);
        ViewBitmap bitmap(24, 20);
        HIThemeDraw9PartImage(bitmap.context(), image, row.rect);
        EXPECT_TRUE(Shows(bitmap, NinePartPaints(row.x, row.y, row.w, row.h, c, row.alpha)));
    }
}

TEST_F(HICommonThemesTest, MissingPiecesLeaveTheirPlaceEmpty)
{
    const int c = 4;
    const struct {
        const char* name;
        std::initializer_list<std::string> missing;
    } rows[] = {
        {"centre", {"middle_center.png"}},
        {"top edge and a corner", {"top_center.png", "bottom_right.png"}},
        // The corner size then comes from another corner.
        {"top-left corner", {"top_left.png"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        HITheme9PartImage image = NinePart(c, 255, row.missing);
        ViewBitmap bitmap(20, 16);
        HIThemeDrawSquareButton(bitmap.context(), image, CGRectMake(1, 2, 15, 12));
        EXPECT_TRUE(Shows(bitmap, NinePartPaints(1, 2, 15, 12, c, 255, row.missing)));
    }
}

TEST_F(HICommonThemesTest, DegenerateRectanglesDrawNoMirroredPieces)
{
    const int c = 4;
    HITheme9PartImage image = NinePart(c, 128);
    // Smaller than two corners: the edges and centre would be negative
    // (mirrored, under the corners); only the corners show, the right and
    // bottom ones over the others.
    {
        ViewBitmap bitmap(16, 16);
        HIThemeDraw9PartImage(bitmap.context(), image, CGRectMake(2, 3, 6, 7));
        EXPECT_TRUE(Shows(bitmap, NinePartPaints(2, 3, 6, 7, c, 128)));
    }
    const struct {
        const char* name;
        CGRect rect;
    } empty[] = {
        {"negative width", CGRectMake(12, 2, -10, 12)},
        {"negative height", CGRectMake(2, 14, 12, -12)},
        {"zero size", CGRectMake(4, 4, 0, 0)},
        {"less than a point", CGRectMake(4, 4, 0.9, 12)},
        {"not a number", CGRectMake(2, 2, std::nan(""), 12)},
        {"infinite", CGRectMake(2, 2, INFINITY, 12)},
    };
    for (const auto& row : empty) {
        SCOPED_TRACE(row.name);
        ViewBitmap bitmap(16, 16);
        HIThemeDraw9PartImage(bitmap.context(), image, row.rect);
        EXPECT_TRUE(Shows(bitmap, {}));
        HIThemeDraw3PartImage(bitmap.context(), HITheme3PartImage{image.topLeft, image.topCenter, image.topRight},
                              row.rect);
        if (row.rect.size.width < 1 || !std::isfinite(row.rect.size.width)) {
            EXPECT_TRUE(Shows(bitmap, {}));
        }
    }
    // No context, no images: nothing happens.
    HIThemeDraw9PartImage(nullptr, image, CGRectMake(0, 0, 10, 10));
    ViewBitmap bitmap(8, 8);
    HIThemeDraw9PartImage(bitmap.context(), HITheme9PartImage{}, CGRectMake(0, 0, 8, 8));
    HIThemeDrawCustomButton(bitmap.context(), nullptr, nullptr, nullptr, CGRectMake(0, 0, 8, 8));
    EXPECT_TRUE(Shows(bitmap, {}));
}

TEST_F(HICommonThemesTest, TheContextsShadowFallsOnceFromTheWholePicture)
{
    // Drawn piece by piece, each piece would cast its own shadow, and the
    // shadows of later pieces would fall over the earlier ones. In one
    // layer the picture casts one shadow under all of it, so its inside
    // is even.
    const int c = 4;
    HITheme9PartImage image = NinePart(c, 128);
    // One colour for the whole picture: an even inside then means one
    // shadow under one picture.
    const CGImageRef grey = image.middleRight;
    const HITheme9PartImage even{grey, grey, grey, grey, grey, grey, grey, grey, grey};
    ViewBitmap bitmap(32, 32);
    CGContextSaveGState(bitmap.context());
    CGContextSetShadow(bitmap.context(), CGSizeMake(-3, 3), 0);  // 3 left and 3 up
    HIThemeDraw9PartImage(bitmap.context(), even, CGRectMake(4, 4, 20, 20));
    CGContextRestoreGState(bitmap.context());
    // The picture covers [4, 24) both ways, its shadow [1, 21).
    const RGBA inside = bitmap.Row(12, 12);
    EXPECT_GT(inside[3], 128);  // the shadow shows through the translucent grey
    int uneven = 0;
    for (int row = 4; row < 21; ++row)
        for (int column = 4; column < 21; ++column)
            if (bitmap.Row(column, row) != inside)
                ++uneven;
    EXPECT_EQ(uneven, 0);
    // Beside the picture, the shadow alone.
    EXPECT_EQ(bitmap.Row(2, 12)[0], 0);
    EXPECT_GT(bitmap.Row(2, 12)[3], 0);
}

// ---- three parts ----

TEST_F(HICommonThemesTest, ThreePartImageKeepsEachPiecesOwnHeight)
{
    const QColor redHalf(255, 0, 0, 128), greenHalf(0, 255, 0, 128), blueHalf(0, 0, 255, 128);
    const Piece left{3, 10, redHalf}, center{1, 6, greenHalf}, right{5, 10, blueHalf};
    const struct {
        const char* name;
        const Piece *l, *m, *r;
        CGRect rect;
        std::vector<Paint> paints;
    } rows[] = {
        {"centre shorter than the ends, rectangle fractional and low",
         &left,
         &center,
         &right,
         CGRectMake(1.5, 2.9, 20.2, 3),
         {{1, 2, 3, 10, redHalf}, {4, 2, 12, 6, greenHalf}, {16, 2, 5, 10, blueHalf}}},
        {"no centre: its place stays empty, the right end stays put",
         &left,
         nullptr,
         &right,
         CGRectMake(1, 2, 20, 10),
         {{1, 2, 3, 10, redHalf}, {16, 2, 5, 10, blueHalf}}},
        {"no left end: the centre starts at the left edge",
         nullptr,
         &center,
         &right,
         CGRectMake(1, 2, 20, 10),
         {{1, 2, 15, 6, greenHalf}, {16, 2, 5, 10, blueHalf}}},
        {"just the two ends",
         &left,
         &center,
         &right,
         CGRectMake(1, 2, 8, 10),
         {{1, 2, 3, 10, redHalf}, {4, 2, 5, 10, blueHalf}}},
        {"narrower than its ends: the right end lies over the left one",
         &left,
         &center,
         &right,
         CGRectMake(1, 2, 6, 10),
         {{1, 2, 3, 10, redHalf}, {2, 2, 5, 10, blueHalf}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        HITheme3PartImage image = ThreePart(row.l, row.m, row.r);
        ViewBitmap bitmap(24, 16);
        HIThemeDraw3PartImage(bitmap.context(), image, row.rect);
        EXPECT_TRUE(Shows(bitmap, row.paints));
    }
}

TEST_F(HICommonThemesTest, PushButtonDrawsThePressedSetWhenPressed)
{
    const Piece plain{2, 4, kRedPiece}, pressed{2, 4, kBluePiece};
    for (const char* name : {"left", "center", "right"}) {
        WritePiece("Push", std::string(name) + ".png", plain);
        WritePiece("Push", std::string(name) + "_pressed.png", pressed);
    }
    HIThemePushButtonImages images = HIThemeLoadPushButtonImages(scratch_.Ref("Push"));
    for (const bool down : {false, true}) {
        SCOPED_TRACE(down ? "pressed" : "plain");
        ViewBitmap bitmap(12, 6);
        HIThemeDrawPushButton(bitmap.context(), images, CGRectMake(1, 1, 10, 4), down);
        EXPECT_TRUE(Shows(bitmap, {{1, 1, 10, 4, down ? kBluePiece : kRedPiece}}));
    }
    HIThemeReleasePushButtonImages(images);
}

}  // namespace
