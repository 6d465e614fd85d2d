// The drawing the README lists as not done yet, one test each, beside the
// context's own tests: each skips with its reason while the gap is there,
// and fails once it is closed, so that real expectations take its place.
#include <CGTestSupport.h>

#include <CoreGraphics/CoreGraphics.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

// Orange painted over half-dark blue in `mode`, the pixel that results.
RGBA Painted(CGBlendMode mode)
{
    TestBitmap bitmap(4, 4);
    bitmap.Fill(0.1f, 0.2f, 0.5f, 1);
    CGContextSetBlendMode(bitmap.context(), mode);
    CGContextSetRGBFillColor(bitmap.context(), 1, 0.5f, 0, 1);
    CGContextFillRect(bitmap.context(), CGRectMake(0, 0, 4, 4));
    return bitmap.At(1, 1);
}

}  // namespace

TEST(CGContextKnownGaps, NonSeparableAndPlusDarkerBlendModes)
{
    const RGBA normal = Painted(kCGBlendModeNormal);
    std::string drawnAsNormal;
    for (const auto& [mode, name] : {std::pair{kCGBlendModeHue, "hue"},
                                     {kCGBlendModeSaturation, "saturation"},
                                     {kCGBlendModeColor, "colour"},
                                     {kCGBlendModeLuminosity, "luminosity"},
                                     {kCGBlendModePlusDarker, "plus-darker"}}) {
        if (Painted(mode) == normal)
            drawnAsNormal += std::string(drawnAsNormal.empty() ? "" : ", ") + name;
    }
    if (!drawnAsNormal.empty())
        GTEST_SKIP() << "Known gap: these blend modes draw as normal: " << drawnAsNormal;
    ADD_FAILURE() << "every one blends now: the gap is closed, so give each mode its expected colours here and drop "
                     "the README entry";
}

TEST(CGContextKnownGaps, PDFContexts)
{
    GTEST_SKIP() << "Known gap: there are no PDF contexts (CGPDFContextCreate); PDF is written only by printing, "
                    "through QPrinter";
}
