#pragma once
// The DeviceGray colour space: one gray component, 0 black.

#include "content/colour/PDColorSpace.h"

namespace qz::content {

class TqzPDDeviceGrayColorSpace : public TqzPDColorSpace {
  public:
    TqzPDDeviceGrayColorSpace() : TqzPDColorSpace(nullptr) {}

    void GetDefaultColor(TqzColor& color) const override;
    int32_t GetNoOfComps() const override { return 1; }
    TqzColorSpaceMode GetMode() const override { return TqzColorSpaceMode::csDeviceGray; }
    void GetGray(const TqzColor& color, int64_t& gray) const override;
    void GetRGB(const TqzColor& color, TqzRGB& rgb) const override;
    void GetCMYK(const TqzColor& color, TqzCMYK& cmyk) const override;
    std::unique_ptr<TqzPDColorSpace> Copy() const override;
};

}  // namespace qz::content
