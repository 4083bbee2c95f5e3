#pragma once
// The DeviceRGB colour space: red, green and blue.

#include "content/colour/PDColorSpace.h"

namespace qz::content {

class TqzPDDeviceRGBColorSpace : public TqzPDColorSpace {
  public:
    TqzPDDeviceRGBColorSpace() : TqzPDColorSpace(nullptr) {}

    void GetDefaultColor(TqzColor& color) const override;
    int32_t GetNoOfComps() const override { return 3; }
    TqzColorSpaceMode GetMode() const override { return TqzColorSpaceMode::csDeviceRGB; }
    void GetGray(const TqzColor& color, int64_t& gray) const override;
    void GetRGB(const TqzColor& color, TqzRGB& rgb) const override;
    void GetCMYK(const TqzColor& color, TqzCMYK& cmyk) const override;
    std::unique_ptr<TqzPDColorSpace> Copy() const override;
};

}  // namespace qz::content
