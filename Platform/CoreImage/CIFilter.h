// Core Image filters by name, with key-value inputs and an output image.
// The filters known here are the ones the units use:
//
// - "CIGaussianBlur": inputImage; inputRadius (10), the blur's standard
//   deviation in pixels. The output's extent grows by three radii.
// - "CIPageCurlTransition": inputImage (the page), inputTargetImage (what
//   it uncovers), inputBacksideImage (the page's back; the page itself,
//   mirrored, without one), inputShadingImage (accepted, our own shading
//   is used), inputExtent (the page's rectangle; the image's extent by
//   default), inputTime (0 flat ... 1 gone), inputAngle (0: the curl
//   starts at the edge facing that direction and travels against it),
//   inputRadius (100, the width of the shading along the fold). The
//   page folds flat over a straight line rather than around a cylinder.
#pragma once

#include <CoreImage/CIImage.h>

#include <map>
#include <string>
#include <variant>

inline constexpr const char* kCIInputImageKey = "inputImage";
inline constexpr const char* kCIInputTargetImageKey = "inputTargetImage";
inline constexpr const char* kCIInputBacksideImageKey = "inputBacksideImage";
inline constexpr const char* kCIInputShadingImageKey = "inputShadingImage";
inline constexpr const char* kCIInputTimeKey = "inputTime";
inline constexpr const char* kCIInputRadiusKey = "inputRadius";
inline constexpr const char* kCIInputAngleKey = "inputAngle";
inline constexpr const char* kCIInputExtentKey = "inputExtent";
inline constexpr const char* kCIOutputImageKey = "outputImage";

class CIFilter : public NSObject {
public:
    // Autoreleased, with its defaults set; nil for a filter we do not have.
    static CIFilter* filterWithName(const char* name);

    void setDefaults();
    // An image input (retained); nil removes it.
    void setValue(const char* key, CIImage* image);
    // A number input.
    void setValue(const char* key, double number);
    // A rectangle input (a vector of x, y, width, height).
    void setValue(const char* key, CGRect rect);
    double numberForKey(const char* key) const;
    CIImage* imageForKey(const char* key) const;
    // The filtered image (autoreleased); nil without an input image.
    CIImage* outputImage() const;
    const std::string& name() const { return name_; }

    const char* className() const override { return "CIFilter"; }

private:
    explicit CIFilter(std::string name) : name_(std::move(name)) {}
    ~CIFilter() override;

    using Value = std::variant<double, CGRect, CIImage*>;
    std::string name_;
    std::map<std::string, Value> values_;
};
