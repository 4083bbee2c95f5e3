#pragma once
// The DeviceCMYK colour space: cyan, magenta, yellow and black; the default colour is black.

#include "content/colour/PDColorSpace.h"

namespace qz::content {

class TqzPDDeviceCMYKColorSpace : public TqzPDColorSpace {
  public:
    TqzPDDeviceCMYKColorSpace() : TqzPDColorSpace(nullptr) {}

    void GetDefaultColor(TqzColor& color) const override;
    int32_t GetNoOfComps() const override { return 4; }
    TqzColorSpaceMode GetMode() const override { return TqzColorSpaceMode::csDeviceCMYK; }
    void GetGray(const TqzColor& color, int64_t& gray) const override;
    void GetRGB(const TqzColor& color, TqzRGB& rgb) const override;
    void GetCMYK(const TqzColor& color, TqzCMYK& cmyk) const override;
    std::unique_ptr<TqzPDColorSpace> Copy() const override;
};

}  // namespace qz::content
