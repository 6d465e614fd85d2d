// The row's drawing and layout: the button, the text, the date or timer
// label and the icons at the right edge, the selection highlight, the drop
// marks and the drag image.
#include "UTask.h"

#include <ApplicationFramework/Classes/TApplicationUnit.h>
#include <Shared/BrindletShared.h>
#include <SpriteEngine/SCGlobals.h>
#include <Units/Utilities/CGContextMore.h>
#include <Units/Utilities/CocoaUtilities.h>

#include <AppKit/NSTextDrawing.h>
#include <CoreFoundation/CFRef.h>

#include <cmath>

namespace brindlet {

namespace {

// Layout of a row, in points.
constexpr CGFloat kButtonLeft = 6;
constexpr CGFloat kTextLeft = 28;
constexpr CGFloat kLabelHeight = 16;
constexpr CGFloat kLabelPadding = 8;
constexpr CGFloat kLabelGap = 4;
constexpr CGFloat kTimerRoom = 20;
constexpr CGFloat kIconSize = 16;
constexpr CGFloat kIconPitch = 18;
constexpr CGFloat kBadgeGap = 8;

TPreferenceHandlerApplication* Prefs()
{
    return TApplication::Prefs();
}

bool PrefBoolean(const ShortString& key)
{
    return Prefs() != nullptr && Prefs()->GetBooleanValue(key);
}

// The list font of the preferences, 11 points of the system font when the
// family is unset or unknown.
QFont ListFont()
{
    ShortString family;
    SInt32 size = 11;
    if (Prefs() != nullptr) {
        family = Prefs()->GetStringValue("list-font-family");
        if (Prefs()->ContainsValue("list-font-size"))
            size = Prefs()->GetIntegerValue("list-font-size");
    }
    if (size <= 0 || size > 200)
        size = 11;
    NSFont* font = nullptr;
    if (!family.IsEmpty())
        font = NSFont::fontWithName(NSStringUtilities::stringWithPascalString(family), size);
    if (font == nullptr)
        font = NSFont::systemFontOfSize(size);
    return font != nullptr ? font->qFont() : QFont();
}

CGSize ImageSize(CGImageRef image)
{
    return image != nullptr ? CGImageGetSize(image) : CGSizeZero;
}

CGFloat TextWidth(CFStringRef text, NSAttributeDictionary* attributes)
{
    return text != nullptr ? std::ceil(NSStringDrawing::sizeWithAttributes(text, attributes).width) : 0;
}

// The label text centred vertically in `box`, from its left edge.
void DrawLabelText(CGContextRef context, CFStringRef text, CGRect box, NSAttributeDictionary* attributes)
{
    const CGSize size = NSStringDrawing::sizeWithAttributes(text, attributes);
    const CGFloat height = std::ceil(size.height);
    const CGRect rect = CGRectMake(box.origin.x, box.origin.y + std::trunc((box.size.height - height) / 2),
                                   std::ceil(size.width) + 1, height);
    NSGraphicsContextOpenCGContext(context);
    CGContextDrawTextBox(context, rect, text, attributes);
    NSGraphicsContextCloseCGContext(context);
}

}  // namespace

// ---- rectangles ----

CGRect TTask::GetTextFrame() const
{
    return CGRectMake(frame_.origin.x + kTextLeft, frame_.origin.y + 2,
                      std::max<CGFloat>(0, frame_.size.width - (kTextLeft + iconsWidth_)),
                      static_cast<CGFloat>(textHeight_));
}

CGRect TTask::GetButtonFrame()
{
    const CGSize size = ImageSize(GetButtonImage());
    const CGFloat y = frame_.origin.y + std::trunc((baseTextHeight_ + 5) / 2.0 - size.height / 2);
    return CGRectMake(frame_.origin.x + kButtonLeft, y, size.width, size.height);
}

CGRect TTask::GetEditingFrame() const
{
    const CGRect text = GetTextFrame();
    return CGRectMake(text.origin.x - 5, text.origin.y + 2, text.size.width, frame_.size.height);
}

CGImageRef TTask::GetButtonImage()
{
    const bool printing = owner_ != nullptr && owner_->IsPrinting();
    SInt32 button = kRadioButtonImage;
    if (completed_)
        button = kCheckImage;
    else if (IsContainer())
        button = open_ ? kArrowOpenImage : kArrowClosedImage;
    return GetTaskButtonImage(button, printing);
}

// ---- attributes ----

NSAttributeDictionary* TTask::CopyTextAttributes()
{
    QFont font = ListFont();
    font.setBold(style_.bold);
    NSAttributeDictionary* attributes = NSAttributeDictionary::newAttributes();
    attributes->setFont(NSFont::fontWithQFont(font));
    NSColor* color = owner_ != nullptr ? owner_->GetBaseTextColor() : nullptr;
    attributes->setForegroundColor(color != nullptr ? color : NSColor::blackColor());
    return attributes;
}

NSAttributeDictionary* TTask::GetLabelAttributes()
{
    NSAttributeDictionary* attributes = NSAttributeDictionary::attributes();
    attributes->setFont(NSFont::systemFontOfSize(9));
    NSColor* color = nullptr;
    if (owner_ != nullptr && owner_->IsPrinting())
        color = NSColor::colorWithCalibratedWhite(0.25, 1);
    else if (PrefBoolean("TPreferences.adjustColor"))
        color = NSColor::whiteColor();
    else
        color = CardServices::GetListColor();
    attributes->setForegroundColor(color != nullptr ? color : NSColor::blackColor());
    return attributes;
}

// ---- layout and drawing ----

void TTask::ForgetPaintPlan()
{
    plan_.label.Reset();
    plan_.overdueCount.Reset();
    if (plan_.labelAttributes != nullptr)
        plan_.labelAttributes->release();
    if (plan_.textAttributes != nullptr)
        plan_.textAttributes->release();
    plan_ = PaintPlan();
}

void TTask::Layout(CGRect rect)
{
    frame_ = rect;
    iconsWidth_ = 0;
    dateFrame_ = priorityFrame_ = statusFrame_ = noteFrame_ = bellFrame_ = timerIconFrame_ = overdueBadgeFrame_ =
        CGRectZero;
    ForgetPaintPlan();
    const CGFloat right = CGRectGetMaxX(frame_);

    // The label: the elapsed time of a timer, else the due date.
    NSAttributeDictionary* labelAttributes = GetLabelAttributes();
    labelAttributes->retain();
    plan_.labelAttributes = labelAttributes;
    CGFloat labelWidth = 0;
    if (HasTimer()) {
        plan_.label.Reset(CopyElapsedTimeString());
        plan_.labelImage = GetTaskIconImage(IsTimerRunning() ? kTimerRunningImage : kTimerPausedImage);
        labelWidth = TextWidth(plan_.label.get(), labelAttributes) + kTimerRoom;
    } else if (HasDate()) {
        NSString* date = BrindletShared::CopyFormattedDate(due_, dateStyle_, relativeDate_);
        if (date != nullptr) {
            plan_.label.Reset(static_cast<CFStringRef>(CFRetain(date->cfString())));
            date->release();
        }
        if (IsOverdue())
            plan_.labelImage = GetTaskIconImage(kOverdueImage);
        labelWidth =
            TextWidth(plan_.label.get(), labelAttributes) + 2 * kLabelPadding + ImageSize(plan_.labelImage).width;
    }
    if (plan_.label.get() != nullptr) {
        dateFrame_ =
            CGRectMake(right + kLabelGap - (labelWidth + kLabelGap), frame_.origin.y, labelWidth, kLabelHeight);
        iconsWidth_ += static_cast<Float32>(labelWidth + kLabelGap);
        CGFloat textLeft = dateFrame_.origin.x + kLabelPadding;
        if (plan_.labelImage != nullptr) {
            const CGSize size = ImageSize(plan_.labelImage);
            plan_.labelImageFrame =
                CGRectMake(dateFrame_.origin.x + kLabelPadding / 2,
                           dateFrame_.origin.y + std::trunc((kLabelHeight - size.height) / 2), size.width, size.height);
            if (HasTimer())
                timerIconFrame_ = plan_.labelImageFrame;
            textLeft = CGRectGetMaxX(plan_.labelImageFrame) + kLabelPadding / 2;
        }
        plan_.labelTextFrame = CGRectMake(textLeft, dateFrame_.origin.y, labelWidth, kLabelHeight);
    }

    // The icons, right to left.
    const auto placeIcon = [&](CGRect& iconFrame) {
        iconsWidth_ += static_cast<Float32>(kIconPitch);
        iconFrame = CGRectMake(right - iconsWidth_, frame_.origin.y + std::trunc((kLabelHeight - kIconSize) / 2),
                               kIconSize, kIconSize);
    };
    if (HasPriority()) {
        plan_.priorityImage = GetTaskFlagImage(style_.priority - 3);
        placeIcon(priorityFrame_);
    }
    if (HasStatus() && !HasTimer()) {
        plan_.statusImage = GetTaskStatusImage(style_.status - 3);
        placeIcon(statusFrame_);
    }
    if (HasNote())
        placeIcon(noteFrame_);
    if (HasNotification())
        placeIcon(bellFrame_);
    const SInt32 overdue = CountOverdueTasks();
    if (overdue > 0) {
        CGImageRef overdueImage = GetTaskIconImage(kOverdueImage);
        plan_.overdueCount.Reset(CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%d"), static_cast<int>(overdue)));
        const CGFloat width =
            ImageSize(overdueImage).width + 4 + 8 + TextWidth(plan_.overdueCount.get(), labelAttributes);
        iconsWidth_ += static_cast<Float32>(width + kBadgeGap);
        overdueBadgeFrame_ = CGRectMake(right - iconsWidth_, frame_.origin.y, width, kLabelHeight);
        const CGSize size = ImageSize(overdueImage);
        plan_.overdueImageFrame = CGRectMake(overdueBadgeFrame_.origin.x,
                                             overdueBadgeFrame_.origin.y + std::trunc((kLabelHeight - size.height) / 2),
                                             size.width, size.height);
    }

    // The text, in what the label and icons leave: its height is the row's.
    if (text_ != nullptr && CFStringGetLength(text_) > 0) {
        plan_.textAttributes = CopyTextAttributes();
        MeasureText(plan_.textAttributes, GetTextFrame().size.width);
    }
}

void TTask::Paint(CGContextRef context)
{
    if (context == nullptr)
        return;
    const bool printing = owner_ != nullptr && owner_->IsPrinting();
    if (CGImageRef button = GetButtonImage())
        CanvasDrawImage(context, GetButtonFrame(), button);

    if (plan_.label.get() != nullptr) {
        if (!printing)
            CardServices::DrawLabelBackground(context, dateFrame_);
        if (plan_.labelImage != nullptr && (!printing || !HasTimer()))
            CanvasDrawImage(context, plan_.labelImageFrame, plan_.labelImage);
        DrawLabelText(context, plan_.label.get(), plan_.labelTextFrame, plan_.labelAttributes);
    }

    if (!printing) {
        const auto drawIcon = [&](CGRect iconFrame, CGImageRef image) {
            if (!CGRectIsEmpty(iconFrame) && image != nullptr)
                CanvasDrawImage(context, iconFrame, image);
        };
        drawIcon(priorityFrame_, plan_.priorityImage);
        drawIcon(statusFrame_, plan_.statusImage);
        drawIcon(noteFrame_, GetTaskIconImage(kNoteImage));
        drawIcon(bellFrame_, GetTaskIconImage(kNotifyImage));
        if (plan_.overdueCount.get() != nullptr) {
            drawIcon(plan_.overdueImageFrame, GetTaskIconImage(kOverdueImage));
            DrawLabelText(context, plan_.overdueCount.get(),
                          CGRectMake(CGRectGetMaxX(plan_.overdueImageFrame) + 4, overdueBadgeFrame_.origin.y,
                                     overdueBadgeFrame_.size.width, kLabelHeight),
                          plan_.labelAttributes);
        }
    }

    // Through DrawText, which a kind of row may draw its own way; the text
    // Layout measured at this width is found again, not laid out anew.
    if (plan_.textAttributes != nullptr)
        DrawText(plan_.textAttributes, GetTextFrame(), context);
    CGContextClearShadow(context);
}

void TTask::Draw(CGRect rect, CGContextRef context)
{
    Layout(rect);
    Paint(context);
}

void TTask::MeasureText(NSAttributeDictionary* attributes, CGFloat width)
{
    NSFont* font = attributes->font();
    if (font != nullptr)
        baseTextHeight_ = static_cast<SInt32>(std::lround(font->ascender() - font->descender() + font->leading()));
    const NSRect laid = NSStringDrawing::boundingRectWithSize(text_, NSMakeSize(width, 1e6),
                                                              NSStringDrawingUsesLineFragmentOrigin, attributes);
    textHeight_ = std::max(baseTextHeight_, static_cast<SInt32>(std::lround(laid.size.height)));
}

void TTask::DrawText(NSAttributeDictionary* attributes, CGRect rect, CGContextRef context)
{
    if (attributes == nullptr || text_ == nullptr)
        return;
    MeasureText(attributes, rect.size.width);
    NSAttributeDictionary* shadowed = attributes->mutableCopy();
    NSShadow* shadow = NSShadow::shadow();
    shadow->setShadowOffset(NSMakeSize(0, -1));
    shadow->setShadowBlurRadius(1);
    shadowed->setShadow(shadow);
    NSGraphicsContextOpenCGContext(context);
    CGContextDrawTextBox(context, CGRectMake(rect.origin.x, rect.origin.y, rect.size.width, textHeight_), text_,
                         shadowed);
    NSGraphicsContextCloseCGContext(context);
    shadowed->release();
    CGContextClearShadow(context);
}

void TTask::DrawSelection(CGContextRef context)
{
    if (context == nullptr)
        return;
    const CGRect selection = GetSelectionFrame();
    const bool focused = owner_ != nullptr && owner_->IsFocused();
    ATSURGBAlphaColor base = owner_ != nullptr && focused ? owner_->GetColor() : MakeCGRGB(0.6f, 0.6f, 0.6f, 1);
    const Float32 alpha = focused ? 0.4f : 0.2f;
    const auto darken = [&](Float32 amount) {
        return MakeCGRGB(base.red * (1 - amount), base.green * (1 - amount), base.blue * (1 - amount), alpha);
    };
    CGContextSaveGState(context);
    CGContextAddRoundedRect(context, selection, 2.0, 2.0, 2);
    CGContextClip(context);
    CGContextDrawRGBGradient(context, selection, darken(0.2f), darken(0.5f), false);
    drawingSelection_ = true;
    Draw(frame_, context);
    drawingSelection_ = false;
    CGContextRestoreGState(context);
}

void TTask::DrawTracking(CGContextRef context)
{
    if (context == nullptr || tracking_ == kTrackingNone)
        return;
    const CGRect text = GetTrackingFrame();
    CGContextSaveGState(context);
    CGContextSetRGBStrokeColor(context, 0.1, 0.3, 0.8, 0.9);
    CGContextSetRGBFillColor(context, 0.1, 0.3, 0.8, 0.2);
    CGContextSetLineWidth(context, 2);
    if (tracking_ == kTrackingInto) {
        CGRect into = text;
        if (owner_ != nullptr) {
            const CGFloat inset = PrefBoolean("TPreferences.shadows") ? 8 : 2;
            const CGRect interior = owner_->GetInteriorFrame();
            into.size.width = std::max<CGFloat>(0, CGRectGetMaxX(interior) - inset - into.origin.x);
        }
        into.size.height = frame_.size.height;
        into.origin.y = frame_.origin.y;
        // Corners of radius 4: arcs of 2 in a space scaled by 2.
        CGContextAddRoundedRect(context, into, 2.0, 2.0, 2);
        CGContextFillPath(context);
        CGContextAddRoundedRect(context, CGRectInset(into, 1, 1), 2.0, 2.0, 2);
        CGContextStrokePath(context);
    } else {
        CGFloat y = frame_.origin.y + 1;
        if (tracking_ != kTrackingBefore)
            y = CGRectGetMaxY(frame_) - 1;
        const CGFloat left = text.origin.x - 5;
        CGContextMoveToPoint(context, left, y);
        CGContextAddLineToPoint(context, CGRectGetMaxX(frame_), y);
        CGContextStrokePath(context);
    }
    CGContextRestoreGState(context);
}

void TTask::DrawDragImage(CGRect rect, CGContextRef context)
{
    if (context == nullptr || text_ == nullptr)
        return;
    CGContextSaveGState(context);
    CGContextFlipVertically(context, rect);
    NSAttributeDictionary* attributes = CopyTextAttributes();
    const CGRect text = CGRectMake(rect.origin.x + kTextLeft, rect.origin.y + 2,
                                   std::max<CGFloat>(0, rect.size.width - kTextLeft), rect.size.height - 2);
    NSGraphicsContextOpenCGContext(context);
    CGContextDrawTextBox(context, text, text_, attributes);
    NSGraphicsContextCloseCGContext(context);
    attributes->release();
    CGContextRestoreGState(context);
}

void TTask::SetNeedsDisplay()
{
    if (owner_ == nullptr || !owner_->IsCanvasValid())
        return;
    owner_->AppendDirtyRect(owner_->ConvertRectToCanvas(CGRectInset(GetSelectionFrame(), -1, -1)));
}

}  // namespace brindlet
