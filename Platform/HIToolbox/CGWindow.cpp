#include "CGWindow.h"

#include <CoreGraphics/CGImageQt.h>

#include <QPainter>

#include <cmath>
#include <vector>

CGImageRef CGWindowListCreateImage(CGRect screenBounds, CGWindowListOption listOption, CGWindowID windowID,
                                   CGWindowImageOption imageOption)
{
    const CGWindowListOption whole = kCGWindowListOptionOnScreenOnly | kCGWindowListExcludeDesktopElements;
    if (windowID != kCGNullWindowID || (listOption & ~whole) != 0)
        return nullptr;
    // Back to front, so that front windows paint last.
    std::vector<std::pair<WindowRef, CGRect>> windows;
    CGRect covered = CGRectNull;
    for (WindowRef window = GetWindowList(); window; window = GetNextWindow(window)) {
        if (!IsWindowVisible(window))
            continue;
        HIRect content = CGRectZero;
        if (HIWindowGetBounds(window, kWindowContentRgn, &content) != noErr || CGRectIsEmpty(content))
            continue;
        windows.insert(windows.begin(), {window, content});
        covered = CGRectUnion(covered, content);
    }
    CGRect area = CGRectIsNull(screenBounds) || CGRectIsInfinite(screenBounds) ? covered : screenBounds;
    area = CGRectIntegral(CGRectStandardize(area));
    if (CGRectIsNull(area) || CGRectIsEmpty(area) || area.size.width > 16384 || area.size.height > 16384)
        return nullptr;
    QImage pixels(int(area.size.width), int(area.size.height), QImage::Format_ARGB32_Premultiplied);
    pixels.fill(imageOption & kCGWindowImageShouldBeOpaque ? Qt::white : Qt::transparent);
    {
        QPainter painter(&pixels);
        for (const auto& [window, content] : windows) {
            CGImageRef image = HIWindowCopyContentImage(window);
            const QImage shown = CGImageGetQImage(image);
            if (!shown.isNull())
                painter.drawImage(QRectF(content.origin.x - area.origin.x, content.origin.y - area.origin.y,
                                         content.size.width, content.size.height),
                                  shown);
            CGImageRelease(image);
        }
    }
    return CGImageCreateWithQImage(pixels);
}
