// Colour gradients: colours at locations from 0 to 1 along an axis.
#pragma once

#include <CoreFoundation/CFArray.h>
#include <CoreGraphics/CGColor.h>
#include <CoreGraphics/CGContext.h>

CFTypeID CGGradientGetTypeID();
// `components` holds `count` colours of the space's components plus alpha;
// nil locations spread them evenly from 0 to 1. Nil without a space,
// components or colours.
CGGradientRef CGGradientCreateWithColorComponents(CGColorSpaceRef space, const CGFloat components[],
                                                  const CGFloat locations[], size_t count);
// An array of CGColors.
CGGradientRef CGGradientCreateWithColors(CGColorSpaceRef space, CFArrayRef colors, const CGFloat locations[]);
CGGradientRef CGGradientRetain(CGGradientRef gradient);
void CGGradientRelease(CGGradientRef gradient);
