// How a data browser looks: its header, its rows (plain or alternating,
// the selection), the outline's disclosure triangles, and the cells of each
// kind of column, in the theme's style.
#include "ControlKindsInternal.h"
#include "DataBrowserInternal.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>

#include <algorithm>
#include <cmath>

namespace databrowser {

namespace {

using controlkinds::Look;

void Fill(CGContextRef context, const HIRect& rect, const QColor& color)
{
    CGContextSetRGBFillColor(context, CGFloat(color.redF()), CGFloat(color.greenF()), CGFloat(color.blueF()),
                             CGFloat(color.alphaF()));
    CGContextFillRect(context, rect);
}

QColor Role(const Look& look, QPalette::ColorRole role)
{
    const QPalette palette = HIThemeGetPalette(look.active);
    return palette.color(!look.enabled ? QPalette::Disabled
                         : look.active ? QPalette::Active
                                       : QPalette::Inactive,
                         role);
}

ThemeFontID FontFor(CGFloat rowHeight)
{
    return rowHeight < 18 ? kThemeSmallSystemFont : kThemeViewsFont;
}

void DrawText(CGContextRef context, CFStringRef text, const HIRect& box, CGFloat rowHeight, const Look& look,
              bool selected)
{
    if (!text || CFStringGetLength(text) == 0 || box.size.width <= 0)
        return;
    HIThemeTextInfo info{};
    info.state = look.active ? kThemeStateActive : kThemeStateInactive;
    info.fontID = FontFor(rowHeight);
    info.horizontalFlushness = kHIThemeTextHorizontalFlushLeft;
    info.verticalFlushness = kHIThemeTextVerticalFlushCenter;
    info.truncationPosition = kHIThemeTextTruncationEnd;
    info.truncationMaxLines = 1;
    CGContextSaveGState(context);
    const QColor color = Role(look, selected ? QPalette::HighlightedText : QPalette::Text);
    CGContextSetRGBFillColor(context, CGFloat(color.redF()), CGFloat(color.greenF()), CGFloat(color.blueF()),
                             CGFloat(color.alphaF()));
    HIThemeDrawTextBox(text, &box, &info, context, kHIThemeOrientationNormal);
    CGContextRestoreGState(context);
}

void DrawHeader(Browser& b, CGContextRef context, const HIRect& bounds, const Look& look)
{
    if (b.headerHeight == 0)
        return;
    const HIRect header = CGRectMake(0, 0, bounds.size.width, b.headerHeight);
    HIThemePaint(context, header, kHIThemeOrientationNormal, [&](QPainter& painter, QStyle& style) {
        CGFloat x = -CGFloat(b.scrollLeft);
        auto section = [&](const HIRect& r, const Column* column) {
            QStyleOptionHeader option;
            controlkinds::InitOption(option, look, controlkinds::QRectOf(r));
            option.state |= QStyle::State_Raised | QStyle::State_Horizontal;
            option.orientation = Qt::Horizontal;
            option.position = QStyleOptionHeader::Middle;
            if (column) {
                if (b.sortProperty == column->property && b.sortOrder != kDataBrowserOrderUndefined)
                    option.sortIndicator = b.sortOrder == kDataBrowserOrderDecreasing ? QStyleOptionHeader::SortDown
                                                                                      : QStyleOptionHeader::SortUp;
            }
            style.drawControl(QStyle::CE_Header, &option, &painter);
        };
        for (const Column& column : b.columns) {
            section(CGRectMake(x, 0, column.width, b.headerHeight), &column);
            x += column.width;
        }
        if (x < bounds.size.width)
            section(CGRectMake(x, 0, bounds.size.width - x, b.headerHeight), nullptr);
    });
}

// The titles: drawn apart from the sections so they take the theme's text path.
void DrawHeaderTitles(Browser& b, CGContextRef context, const Look& look)
{
    if (b.headerHeight == 0)
        return;
    for (const Column& column : b.columns) {
        if (!column.title)
            continue;
        const CGFloat x = ColumnLeft(b, column);
        CGFloat right = x + column.width - 6;
        if (b.sortProperty == column.property && b.sortOrder != kDataBrowserOrderUndefined)
            right -= 12;  // room for the sort arrow
        const HIRect box = CGRectMake(x + 6, 0, std::max<CGFloat>(0, right - x - 6), b.headerHeight);
        controlkinds::DrawLabel(context, column.title, box, kThemeSmallSystemFont, kHIThemeTextHorizontalFlushLeft,
                                look);
    }
}

void DrawDisclosure(CGContextRef context, const HIRect& r, bool open, const Look& look, bool selected)
{
    HIThemePaint(context, r, kHIThemeOrientationNormal, [&](QPainter& painter, QStyle& style) {
        QStyleOption option;
        controlkinds::InitOption(option, look, controlkinds::QRectOf(r));
        option.palette.setColor(QPalette::ButtonText,
                                Role(look, selected ? QPalette::HighlightedText : QPalette::Text));
        style.drawPrimitive(open ? QStyle::PE_IndicatorArrowDown : QStyle::PE_IndicatorArrowRight, &option, &painter);
    });
}

void DrawCheckBox(CGContextRef context, const HIRect& r, ThemeButtonValue value, const Look& look, bool mutableBox)
{
    HIThemePaint(context, r, kHIThemeOrientationNormal, [&](QPainter& painter, QStyle& style) {
        QStyleOptionButton option;
        Look boxLook = look;
        boxLook.enabled = look.enabled && mutableBox;
        controlkinds::InitOption(option, boxLook, controlkinds::QRectOf(r));
        option.state |= value == kThemeButtonOn      ? QStyle::State_On
                        : value == kThemeButtonMixed ? QStyle::State_NoChange
                                                     : QStyle::State_Off;
        style.drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, &painter);
    });
}

void DrawCustom(Browser& b, CGContextRef context, DataBrowserItemID item, const Column& column,
                DataBrowserItemState state, const HIRect& cell)
{
    const Rect r = {SInt16(std::floor(cell.origin.y)), SInt16(std::floor(cell.origin.x)),
                    SInt16(std::floor(CGRectGetMaxY(cell))), SInt16(std::floor(CGRectGetMaxX(cell)))};
    CGContextSaveGState(context);
    CGContextClipToRect(context, cell);
    if (b.custom.u.v1.drawItemCallback) {
        b.custom.u.v1.drawItemCallback(b.view, item, column.property, state, &r, 32, true);
    } else {
        EventRef event = nullptr;
        CreateEvent(nullptr, kEventClassHIDataBrowser, kEventDataBrowserDrawCustomItem, 0, 0, &event);
        const DataBrowserPropertyID property = column.property;
        SetEventParameter(event, kEventParamDirectObject, typeControlRef, sizeof b.view, &b.view);
        SetEventParameter(event, kEventParamDataBrowserItemID, typeUInt32, sizeof item, &item);
        SetEventParameter(event, kEventParamDataBrowserPropertyID, typeUInt32, sizeof property, &property);
        SetEventParameter(event, kEventParamDataBrowserItemState, typeUInt32, sizeof state, &state);
        SetEventParameter(event, kEventParamBounds, typeQDRectangle, sizeof r, &r);
        SetEventParameter(event, kEventParamCGContextRef, typeCGContextRef, sizeof context, &context);
        SendEventToEventTargetWithOptions(event, GetControlEventTarget(b.view), kEventTargetDontPropagate);
        ReleaseEvent(event);
    }
    CGContextRestoreGState(context);
}

void DrawCell(Browser& b, CGContextRef context, int row, const Column& column, const Look& look, bool selected)
{
    const DataBrowserItemID item = b.rows[size_t(row)].item;
    const CGFloat height = b.rows[size_t(row)].height;
    HIRect cell = CGRectZero;
    PartBounds(b, row, column, kDataBrowserPropertyEnclosingPart, &cell);
    CGContextSaveGState(context);
    CGContextClipToRect(context, cell);
    HIRect part = CGRectZero;
    if (column.property == b.disclosure && PartBounds(b, row, column, kDataBrowserPropertyDisclosurePart, &part))
        DrawDisclosure(context, part, b.items[item].open, look, selected && look.active);
    if (b.disposed || !b.items.count(item)) {
        CGContextRestoreGState(context);
        return;
    }
    const bool lit = selected && look.active && b.editItem != item;
    switch (column.type) {
    case kDataBrowserTextType:
    case kDataBrowserIconType:
    case kDataBrowserIconAndTextType: {
        OpaqueDataBrowserItemData data;
        if (Ask(b, item, column.property, data) != noErr || b.disposed)
            break;
        if (data.hasIcon && data.icon && PartBounds(b, row, column, kDataBrowserPropertyIconPart, &part)) {
            ControlButtonContentInfo content{};
            content.contentType = kControlContentIconRef;
            content.u.iconRef = data.icon;
            controlkinds::DrawContent(context, content, part, part.size.width, look, false);
        }
        const bool editing = b.editItem == item && b.editProperty == column.property;
        if (!editing && data.hasText && PartBounds(b, row, column, kDataBrowserPropertyTextPart, &part))
            DrawText(context, data.text, part, height, look, lit);
        break;
    }
    case kDataBrowserCheckboxType: {
        OpaqueDataBrowserItemData data;
        ThemeButtonValue value = kThemeButtonOff;
        if (Ask(b, item, column.property, data) == noErr)
            value = ButtonValueOf(data);
        if (!b.disposed && PartBounds(b, row, column, kDataBrowserPropertyCheckboxPart, &part))
            DrawCheckBox(context, part, value, look, column.flags & kDataBrowserPropertyIsMutable);
        break;
    }
    case kDataBrowserCustomType: {
        const DataBrowserItemState state = (selected ? DataBrowserItemState(kDataBrowserItemIsSelected) : 0) |
                                           (b.items[item].open ? DataBrowserItemState(kDataBrowserContainerIsOpen) : 0);
        DrawCustom(b, context, item, column, state, cell);
        break;
    }
    default:
        break;
    }
    CGContextRestoreGState(context);
}

}  // namespace

void DrawBrowser(HIViewRef view, CGContextRef context)
{
    Browser* found = BrowserOf(view);
    if (!found)
        return;
    Browser& b = *found;
    Hold hold(&b);
    const Look look = controlkinds::LookOf(view);
    const HIRect bounds = ViewBounds(b);
    if (b.plainBackground)
        Fill(context, bounds, Role(look, QPalette::Base));
    const HIRect body =
        CGRectMake(0, b.headerHeight, bounds.size.width, std::max<CGFloat>(0, bounds.size.height - b.headerHeight));
    CGContextSaveGState(context);
    CGContextClipToRect(context, body);
    // A copy: the item-data callback may change the rows while they are drawn.
    const std::vector<Row> rows = Rows(b);
    for (size_t i = 0; i < rows.size() && hold.Alive(); ++i) {
        const CGFloat y = b.headerHeight + rows[i].top - CGFloat(b.scrollTop);
        if (y + rows[i].height <= body.origin.y)
            continue;
        if (y >= CGRectGetMaxY(body))
            break;
        auto item = b.items.find(rows[i].item);
        if (item == b.items.end())
            continue;
        const HIRect rowRect = CGRectMake(0, y, bounds.size.width, rows[i].height);
        const bool selected = item->second.selected;
        if (selected) {
            Fill(context, rowRect, Role(look, QPalette::Highlight));
        } else if ((b.attributes & kDataBrowserAttributeListViewAlternatingRowColors) && (i % 2) == 1) {
            Fill(context, rowRect, Role(look, QPalette::AlternateBase));
        }
        if (b.rowsDirty || b.rows.size() != rows.size())
            break;  // the rows changed under us: the next pass draws them
        for (const Column& column : std::vector<Column>(b.columns)) {
            if (!hold.Alive() || !ColumnOf(b, column.property) || b.rowsDirty)
                break;
            DrawCell(b, context, int(i), *ColumnOf(b, column.property), look, selected);
        }
        if (hold.Alive() && b.dropAccepted && b.dropItem == rows[i].item) {
            // The row a drop would go to.
            const QColor color = Role(look, QPalette::Highlight);
            CGContextSetRGBStrokeColor(context, CGFloat(color.redF()), CGFloat(color.greenF()), CGFloat(color.blueF()),
                                       1);
            CGContextSetLineWidth(context, 2);
            CGContextStrokeRect(context, CGRectInset(rowRect, 1, 1));
        }
        if (hold.Alive() && (b.attributes & kDataBrowserAttributeListViewDrawColumnDividers)) {
            for (const Column& column : b.columns) {
                const CGFloat x = ColumnLeft(b, column) + column.width - 1;
                Fill(context, CGRectMake(x, y, 1, rows[i].height), Role(look, QPalette::Midlight));
            }
        }
    }
    CGContextRestoreGState(context);
    if (!hold.Alive())
        return;
    DrawHeader(b, context, bounds, look);
    DrawHeaderTitles(b, context, look);
    if (b.drawsFrame) {
        HIThemePaint(context, bounds, kHIThemeOrientationNormal, [&](QPainter& painter, QStyle& style) {
            QStyleOptionFrame option;
            controlkinds::InitOption(option, look, controlkinds::QRectOf(bounds));
            option.lineWidth = 1;
            style.drawPrimitive(QStyle::PE_Frame, &option, &painter);
        });
    }
}

}  // namespace databrowser
