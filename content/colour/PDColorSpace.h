#pragma once
// The colour-space family: how many components a colour has, its initial
// colour, its default decode ranges and how it turns into gray, RGB and
// CMYK. A space made for a resource belongs to the resource dictionary that
// made it and is lent to the graphics state; a space the interpreter makes
// itself belongs to the state holding it. A space borrows the object it was
// made from and is immutable after construction.

#include <cstdint>
#include <memory>
#include <string>

#include "content/colour/PDTypes.h"
#include "document/ContentFactories.h"

namespace qz::core {
class TqzPDBaseObject;
}

namespace qz::content {

// Components are kept within this many units either side of zero, far
// beyond any colour (the values are clipped to 0..1 when used), so that sums
// and differences of a few components never overflow 64 bits.
inline constexpr int64_t kMaxColorComponent = int64_t{1} << 48;

// x × 65536 truncated toward zero, saturated to ±kMaxColorComponent; a
// value that is not a number gives 0 (operands come straight from files).
int64_t DblToCol(double x);
double ColToDbl(int64_t c);
// Clipped to 0..65536.
int64_t Clip01(int64_t c);
// Clipped to 0..1; a value that is not a number gives 1.
double Clip01(double x);
// Nearest integer, halves to even, saturated like DblToCol's result; NaN
// gives 0.
int64_t RoundToCol(double x);

enum class TqzColorSpaceMode : int32_t {
    csDeviceGray = 0,
    csCalGray = 1,
    csDeviceRGB = 2,
    csCalRGB = 3,
    csDeviceCMYK = 4,
    csLab = 5,
    csICCBased = 6,
    csIndexed = 7,
    csSeparation = 8,
    csDeviceN = 9,
    csPattern = 10,
};

class TqzPDColorSpace : public document::TqzPDColorSpace {
  public:
    // Parent document and element stay none; `baseObject` is the
    // colour-space array or name, none for device spaces made without one.
    explicit TqzPDColorSpace(core::TqzPDBaseObject* baseObject, std::string tagName = {});

    // The initial colour after the space is selected; the base leaves the
    // record untouched.
    virtual void GetDefaultColor(TqzColor& color) const;
    virtual int32_t GetNoOfComps() const = 0;
    virtual TqzColorSpaceMode GetMode() const = 0;
    // Low value and range per component for decoding image samples; the
    // base gives 0 and 1 for each component.
    virtual void GetDefaultRanges(TqzImageDecodeArray& decodeLow, TqzImageDecodeArray& decodeRange,
                                  double maxImgPixel) const;
    virtual void GetGray(const TqzColor& color, int64_t& gray) const = 0;
    virtual void GetRGB(const TqzColor& color, TqzRGB& rgb) const = 0;
    virtual void GetCMYK(const TqzColor& color, TqzCMYK& cmyk) const = 0;
    // A new independent space of the same kind, without the tag.
    virtual std::unique_ptr<TqzPDColorSpace> Copy() const = 0;

    // The resource name the space was found under ("" without one).
    const std::string& GetTagName() const { return FTag; }
    void SetTagName(std::string tagName) { FTag = std::move(tagName); }
};

// The factory: a device-space name, or an array naming its family first.
// None for names and families not supported and for malformed objects. The
// caller owns the result, which carries `tagName`.
std::unique_ptr<TqzPDColorSpace> MakeColorSpace(core::TqzPDBaseObject* baseObject,
                                                const std::string& tagName);

}  // namespace qz::content
