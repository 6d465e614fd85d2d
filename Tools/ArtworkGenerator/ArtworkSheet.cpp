// The review sheet: every set read back from the resources through the
// theme loaders and drawn, stretched to a few sizes, the way the program
// draws it (through a view context, so upside-down pieces would show).
#include "ArtworkPainting.h"

#include <Units/HIToolbox/HICommonThemes.h>
#include <Units/Utilities/CGUtilities.h>

#include <CoreFoundation/CFBundle.h>
#include <CoreFoundation/CFRef.h>
#include <HIToolbox/HIView.h>

#include <QFont>
#include <QString>

#include <cstdio>
#include <string>
#include <vector>

namespace artwork {

namespace {

constexpr int kSheetWidth = 1120;
constexpr int kSheetHeight = 1700;

struct Caption {
    qreal x, y;
    std::string text;
    QColor color;
};

void Fill(CGContextRef context, CGRect rect, CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha)
{
    CGContextSetRGBFillColor(context, red, green, blue, alpha);
    CGContextFillRect(context, rect);
}

void AddRounded(CGContextRef context, CGRect rect, CGFloat radius)
{
    const CGFloat x0 = CGRectGetMinX(rect), x1 = CGRectGetMaxX(rect), y0 = CGRectGetMinY(rect),
                  y1 = CGRectGetMaxY(rect);
    CGContextBeginPath(context);
    CGContextMoveToPoint(context, x0 + radius, y0);
    CGContextAddArcToPoint(context, x1, y0, x1, y1, radius);
    CGContextAddArcToPoint(context, x1, y1, x0, y1, radius);
    CGContextAddArcToPoint(context, x0, y1, x0, y0, radius);
    CGContextAddArcToPoint(context, x0, y0, x1, y0, radius);
    CGContextClosePath(context);
}

void FillRounded(CGContextRef context, CGRect rect, CGFloat radius, CGFloat red, CGFloat green, CGFloat blue,
                 CGFloat alpha)
{
    AddRounded(context, rect, radius);
    CGContextSetRGBFillColor(context, red, green, blue, alpha);
    CGContextFillPath(context);
}

CGImageRef Load(const std::string& folder, const std::string& name)
{
    return CGImageLoadFromResource(ShortString(name), ShortString(folder));
}

// Draws an image at its own size.
void DrawAt(CGContextRef context, CGImageRef image, CGFloat x, CGFloat y)
{
    if (image == nullptr)
        return;
    const CGRect rect = CGRectMake(x, y, CGFloat(CGImageGetWidth(image)), CGFloat(CGImageGetHeight(image)));
    HIViewDrawCGImage(context, &rect, image);
}

// The custom buttons' background: the ends at their own widths, the
// content between them, all stretched to the height.
void DrawButtonBackground(CGContextRef context, CGImageRef left, CGImageRef content, CGImageRef right, CGRect rect)
{
    const CGFloat x = rect.origin.x, y = rect.origin.y, w = rect.size.width, h = rect.size.height;
    const CGFloat lw = CGFloat(CGImageGetWidth(left)), rw = CGFloat(CGImageGetWidth(right));
    const CGRect l = CGRectMake(x, y, lw, h), r = CGRectMake(x + w - rw, y, rw, h),
                 c = CGRectMake(x + lw, y, w - 2 * rw, h);
    HIViewDrawCGImage(context, &l, left);
    HIViewDrawCGImage(context, &r, right);
    HIViewDrawCGImage(context, &c, content);
}

class Sheet {
public:
    Sheet() : pixels_(kSheetWidth, kSheetHeight, QImage::Format_RGBA8888_Premultiplied)
    {
        pixels_.fill(Qt::transparent);
        CFRef<CGColorSpaceRef> space(CGColorSpaceCreateWithName(kCGColorSpaceGenericRGB));
        context_.Reset(CGBitmapContextCreate(pixels_.bits(), size_t(kSheetWidth), size_t(kSheetHeight), 8,
                                             size_t(pixels_.bytesPerLine()), space, kCGImageAlphaPremultipliedLast));
        CGContextTranslateCTM(context_, 0, kSheetHeight);
        CGContextScaleCTM(context_, 1, -1);
    }

    CGContextRef Context() const { return context_.get(); }
    void Caption(qreal x, qreal y, const std::string& text, QColor color = Qt::white)
    {
        captions_.push_back({x, y, text, color});
    }

    bool Save(const std::filesystem::path& output)
    {
        context_.Reset(nullptr);
        QImage image = pixels_.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&image);
        QFont font;
        font.setPixelSize(12);
        painter.setFont(font);
        for (const auto& caption : captions_) {
            painter.setPen(caption.color);
            painter.drawText(QPointF(caption.x, caption.y), QString::fromStdString(caption.text));
        }
        painter.end();
        return image.save(QString::fromStdString(output.string()), "PNG");
    }

private:
    QImage pixels_;
    CFRef<CGContextRef> context_;
    std::vector<struct Caption> captions_;
};

void DrawCards(Sheet& sheet, CGFloat& y)
{
    CGContextRef c = sheet.Context();
    const char* looks[] = {"Normal", "Focused"};
    const CGSize sizes[] = {{32, 32}, {60, 44}, {170, 110}, {300, 170}};
    for (const char* look : looks) {
        HITheme9PartImage frame = HIThemeLoad9PartImage(ShortString(std::string("/Images/CardFrame/") + look));
        sheet.Caption(16, y + 12, std::string("CardFrame/") + look + " (9 parts; the smallest is 2c x 2c)");
        CGFloat x = 16;
        for (const CGSize size : sizes) {
            const CGRect rect = CGRectMake(x, y + 20, size.width, size.height);
            FillRounded(c, CGRectInset(rect, 4, 4), 12, 1.0, 0.93, 0.55, 1.0);
            HIThemeDraw9PartImage(c, frame, rect);
            x += size.width + 24;
        }
        HITheme3PartImage strip = HIThemeLoad3PartImage(ShortString(std::string("/Images/CardFrameMinimized/") + look));
        for (const CGFloat width : {40.0f, 120.0f, 220.0f}) {
            const CGRect rect = CGRectMake(x, y + 20, width, 36);
            FillRounded(c, CGRectInset(rect, 4, 4), 14, 0.62, 0.85, 0.98, 1.0);
            HIThemeDraw3PartImage(c, strip, rect);
            x += width + 24;
        }
        sheet.Caption(x - 3 * 24 - 380, y + 74, std::string("CardFrameMinimized/") + look);
        y += 20 + 170 + 16;
        HIThemeRelease9PartImage(frame);
        HIThemeRelease3PartImage(strip);
    }
}

void DrawPanes(Sheet& sheet, CGFloat& y)
{
    CGContextRef c = sheet.Context();
    HITheme9PartImage frame = HIThemeLoad9PartImage(ShortString("/Images/ContextualWindowFrame"));
    CGImageRef arrows[] = {Load("Images/ContextualWindowFrame/Arrows", "left.png"),
                           Load("Images/ContextualWindowFrame/Arrows", "right.png"),
                           Load("Images/ContextualWindowFrame/Arrows", "up.png"),
                           Load("Images/ContextualWindowFrame/Arrows", "down.png")};
    sheet.Caption(16, y + 12, "ContextualWindowFrame (9 parts) with its arrows, shadow (5, -5) blur 5");
    CGFloat x = 16;
    const CGSize sizes[] = {{52, 52}, {150, 110}, {220, 150}, {300, 180}};
    int edge = 0;
    for (const CGSize size : sizes) {
        const CGRect rect = CGRectMake(x, y + 24, size.width, size.height);
        // Something behind the pane, as the blurred backdrop shows it:
        // inside the rectangle inset by 13, corners of radius 12.
        CGContextSaveGState(c);
        AddRounded(c, CGRectInset(rect, 13, 13), 12);
        CGContextClip(c);
        for (CGFloat stripe = 0; stripe < size.height; stripe += 12)
            Fill(c, CGRectMake(x, y + 24 + stripe, size.width, 6), 0.9, 0.5, 0.2, 0.5);
        CGContextRestoreGState(c);
        CGContextSaveGState(c);
        CGContextSetShadow(c, CGSizeMake(5, -5), 5);
        CGContextBeginTransparencyLayer(c, nullptr);
        HIThemeDrawSquareButton(c, frame, rect);
        CGImageRef arrow = arrows[edge % 4];
        if (size.width > 60 && arrow) {
            const CGFloat aw = CGFloat(CGImageGetWidth(arrow)), ah = CGFloat(CGImageGetHeight(arrow));
            CGRect place;
            switch (edge % 4) {
            case 0:
                place = CGRectMake(rect.origin.x, CGRectGetMidY(rect) - ah / 2, aw, ah);
                break;
            case 1:
                place = CGRectMake(CGRectGetMaxX(rect) - aw, CGRectGetMidY(rect) - ah / 2, aw, ah);
                break;
            case 2:
                place = CGRectMake(CGRectGetMidX(rect) - aw / 2, rect.origin.y, aw, ah);
                break;
            default:
                place = CGRectMake(CGRectGetMidX(rect) - aw / 2, CGRectGetMaxY(rect) - ah, aw, ah);
                break;
            }
            place = CGRectIntegral(place);
            CGContextClearRect(c, place);
            HIViewDrawCGImage(c, &place, arrow);
        }
        CGContextEndTransparencyLayer(c);
        CGContextRestoreGState(c);
        if (size.width > 60)
            ++edge;
        x += size.width + 24;
    }
    y += 24 + 180 + 20;
    HIThemeRelease9PartImage(frame);
    for (CGImageRef arrow : arrows)
        if (arrow)
            CGImageRelease(arrow);
}

void DrawSheetBoxes(Sheet& sheet, CGFloat& y)
{
    CGContextRef c = sheet.Context();
    const char* looks[] = {"SheetBox", "SheetBox Selected"};
    CGFloat x = 16;
    sheet.Caption(16, y + 12, "SheetBox, SheetBox Selected (9 parts) with the content frame filled");
    for (const char* look : looks) {
        HITheme9PartImage box = HIThemeLoad9PartImage(ShortString(std::string("/Images/") + look));
        const bool selected = std::string(look) != "SheetBox";
        for (const CGSize size : {CGSizeMake(60, 60), CGSizeMake(130, 100), CGSizeMake(190, 140)}) {
            const CGRect rect = CGRectMake(x, y + 24, size.width, size.height);
            HIThemeDrawSquareButton(c, box, rect);
            const CGRect content = CGRectMake(rect.origin.x + 8, rect.origin.y + 8, size.width - 23, size.height - 26);
            if (selected)
                FillRounded(c, content, 12, 0.30, 0.45, 0.62, 1.0);
            else
                FillRounded(c, content, 12, 0, 0, 0, 0.6);
            x += size.width + 20;
        }
        HIThemeRelease9PartImage(box);
    }
    y += 24 + 140 + 20;
}

void DrawLabelsAndButtons(Sheet& sheet, CGFloat& y)
{
    CGContextRef c = sheet.Context();
    sheet.Caption(16, y + 12,
                  "Label, StatusLabel (3 parts); BlackButton, PopupButton (push-button sets, plain and pressed)");
    CGFloat x = 16;
    HITheme3PartImage label = HIThemeLoad3PartImage(ShortString("/Images/Label"));
    HITheme3PartImage status = HIThemeLoad3PartImage(ShortString("/Images/StatusLabel"));
    for (const CGFloat width : {18.0f, 60.0f, 130.0f}) {
        HIThemeDraw3PartImage(c, label, CGRectMake(x, y + 24, width, 18));
        HIThemeDraw3PartImage(c, status, CGRectMake(x, y + 50, width, 18));
        x += width + 16;
    }
    sheet.Caption(x - 130 - 16 + 10, y + 37, "3 tasks");
    sheet.Caption(x - 130 - 16 + 10, y + 63, "2 tasks overdue");
    HIThemePushButtonImages black = HIThemeLoadPushButtonImages(ShortString("/Images/BlackButton"));
    HIThemePushButtonImages popup = HIThemeLoadPushButtonImages(ShortString("/Images/PopupButton"));
    for (const bool pressed : {false, true}) {
        for (const CGFloat width : {22.0f, 80.0f, 150.0f}) {
            HIThemeDrawPushButton(c, black, CGRectMake(x, y + 24, width, 22), pressed);
            HIThemeDrawPushButton(c, popup, CGRectMake(x, y + 52, width + 8, 22), pressed);
            x += width + 16;
        }
        sheet.Caption(x - 150 - 16 + 60, y + 39, "Done");
        sheet.Caption(x - 150 - 16 + 10, y + 67, "Weekly");
    }
    y += 24 + 50 + 20;
    HIThemeRelease3PartImage(label);
    HIThemeRelease3PartImage(status);
    HIThemeReleasePushButtonImages(black);
    HIThemeReleasePushButtonImages(popup);
}

void DrawCustomButtons(Sheet& sheet, CGFloat& y)
{
    CGContextRef c = sheet.Context();
    const char* classes[] = {"Bevel Corner", "Round Corner", "Silver", "Toolbar"};
    const CGFloat top = y;
    Fill(c, CGRectMake(0, top, kSheetWidth, 4 * 70 + 30), 0.91, 0.91, 0.91, 1.0);
    sheet.Caption(16, y + 14, "Custom Buttons: active, pressed, selected at 22 and 30 high; a segmented view; a pop-up",
                  Qt::black);
    y += 24;
    for (const char* name : classes) {
        const std::string folder = std::string("Images/Custom Buttons/") + name;
        sheet.Caption(16, y + 14, name, Qt::black);
        CGFloat x = 110;
        for (const char* state : {"active", "pressed", "selected"}) {
            CGImageRef left = Load(folder, std::string(state) + "_left.png");
            CGImageRef content = Load(folder, std::string(state) + "_content.png");
            CGImageRef right = Load(folder, std::string(state) + "_right.png");
            DrawButtonBackground(c, left, content, right, CGRectMake(x, y, 70, 22));
            DrawButtonBackground(c, left, content, right, CGRectMake(x, y + 28, 110, 30));
            x += 130;
            for (CGImageRef image : {left, content, right})
                if (image)
                    CGImageRelease(image);
        }
        // A segmented view of three: the active look, separators between
        // segments, the middle one selected (active darkened).
        CGImageRef left = Load(folder, "active_left.png"), content = Load(folder, "active_content.png"),
                   right = Load(folder, "active_right.png"), separator = Load(folder, "seperator.png"),
                   arrows = Load(folder, "popup arrows.png");
        const CGRect segments = CGRectMake(x, y, 180, 22);
        DrawButtonBackground(c, left, content, right, segments);
        CGContextSaveGState(c);
        CGContextClipToRect(c, CGRectMake(x + 61, y, 59, 22));
        CGContextSetAlpha(c, 0.6);
        CGContextSetBlendMode(c, kCGBlendModeMultiply);
        DrawButtonBackground(c, left, content, right, segments);
        CGContextRestoreGState(c);
        for (const CGFloat at : {60.0f, 120.0f}) {
            const CGRect line = CGRectMake(x + at, y, 1, 22);
            if (separator)
                HIViewDrawCGImage(c, &line, separator);
        }
        // A pop-up button: arrows at its right end.
        const CGRect popup = CGRectMake(x + 200, y, 120, 22);
        DrawButtonBackground(c, left, content, right, popup);
        if (arrows)
            DrawAt(c, arrows, popup.origin.x + popup.size.width - 12,
                   popup.origin.y + popup.size.height / 2 - CGFloat(CGImageGetHeight(arrows) / 2));
        for (CGImageRef image : {left, content, right, separator, arrows})
            if (image)
                CGImageRelease(image);
        y += 70;
    }
    y = top + 4 * 70 + 30 + 16;
}

void DrawTabs(Sheet& sheet, CGFloat& y)
{
    CGContextRef c = sheet.Context();
    const char* styles[] = {"standard", "glossy metal", "metallic", "toolbar"};
    sheet.Caption(16, y + 12, "Tab Images: background tiled, tabs active / inactive / pressed, the five close boxes");
    y += 20;
    for (const char* style : styles) {
        const std::string folder = std::string("Images/Tab Images/") + style;
        sheet.Caption(16, y + 16, style);
        CGImageRef background = Load(folder, "background.png");
        CGFloat x = 110;
        if (background)
            for (CGFloat tile = x; tile < x + 560; tile += CGFloat(CGImageGetWidth(background)))
                DrawAt(c, background, tile, y);
        x += 10;
        const std::pair<const char*, const char*> tabs[] = {{"active", "closebox_active.png"},
                                                            {"inactive", "closebox_inactive.png"},
                                                            {"pressed", "closebox_pressed.png"}};
        for (const auto& [state, closeBox] : tabs) {
            CGImageRef left = Load(folder, std::string("left_") + state + ".png");
            CGImageRef center = Load(folder, std::string("center_") + state + ".png");
            CGImageRef right = Load(folder, std::string("right_") + state + ".png");
            CGImageRef box = Load(folder, closeBox);
            HIThemeDrawCustomButton(c, left, center, right, CGRectMake(x, y, 120, 24));
            DrawAt(c, box, x + 6, y + 6);
            x += 124;
            for (CGImageRef image : {left, center, right, box})
                if (image)
                    CGImageRelease(image);
        }
        for (const char* name : {"closebox_active_pressed.png", "closebox_inactive_pressed.png"}) {
            CGImageRef box = Load(folder, name);
            DrawAt(c, box, x, y + 6);
            x += 20;
            if (box)
                CGImageRelease(box);
        }
        if (background)
            CGImageRelease(background);
        y += 34;
    }
}

}  // namespace

// The task rows' images on a card colour and, for the printing set, on
// paper: each at its own size and three times as large.
void DrawTaskImages(Sheet& sheet, CGFloat& y)
{
    CGContextRef c = sheet.Context();
    sheet.Caption(16, y + 12,
                  "Card widgets and task rows: Card, Task, Status on a card; Printing on paper (each at 1x and 3x)");
    const struct {
        const char* folder;
        std::vector<const char*> names;
    } sets[] = {
        {"/Images/Card",
         {"close", "minimize_opened", "minimize_closed", "growbox", "radio_button", "check", "arrow_closed",
          "arrow_open"}},
        {"/Images/Task",
         {"note", "notify", "overdue", "timer_running", "timer_paused", "flag_red", "flag_yellow", "flag_green",
          "flag_blue", "flag_gray"}},
        {"/Images/Status", {"status_inprogress", "status_canceled", "status_delayed"}},
        {"/Images/Printing", {"radio_button", "check", "arrow_closed", "arrow_open"}},
    };
    FillRounded(c, CGRectMake(8, y + 20, 1104, 112), 12, 0.86, 0.47, 0.20, 1.0);
    FillRounded(c, CGRectMake(8, y + 140, 216, 112), 4, 1.0, 1.0, 1.0, 1.0);
    CGFloat x = 20;
    for (const auto& set : sets) {
        CGFloat top = y;
        if (std::string(set.folder) == "/Images/Printing") {
            x = 20;
            top = y + 120;
        }
        for (const char* name : set.names) {
            CFRef<CGImageRef> image(Load(set.folder, std::string(name) + ".png"));
            if (!image)
                continue;
            const CGFloat w = CGFloat(CGImageGetWidth(image)), h = CGFloat(CGImageGetHeight(image));
            DrawAt(c, image, x + (42 - w) / 2, top + 32);
            const CGRect large = CGRectMake(x, top + 60, 3 * w, 3 * h);
            HIViewDrawCGImage(c, &large, image);
            x += 46;
        }
        x += 12;
    }
    y += 20 + 232 + 20;
}

bool WriteReviewSheet(const std::filesystem::path& resources, const std::filesystem::path& output)
{
    CFBundleSetMainBundleResourcesPath(resources.c_str());
    Sheet sheet;
    // A desktop behind the desktop's artwork.
    Fill(sheet.Context(), CGRectMake(0, 0, kSheetWidth, kSheetHeight), 0.30, 0.38, 0.50, 1.0);
    CGFloat y = 8;
    DrawCards(sheet, y);
    DrawPanes(sheet, y);
    DrawSheetBoxes(sheet, y);
    DrawLabelsAndButtons(sheet, y);
    DrawCustomButtons(sheet, y);
    DrawTabs(sheet, y);
    DrawTaskImages(sheet, y);
    CFBundleSetMainBundleResourcesPath(nullptr);
    return sheet.Save(output);
}

}  // namespace artwork
