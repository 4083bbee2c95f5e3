#include "content/colour/PDDeviceGrayColorSpace.h"

namespace qz::content {

void TqzPDDeviceGrayColorSpace::GetDefaultColor(TqzColor& color) const {
    color.Comps[0] = 0;
}

void TqzPDDeviceGrayColorSpace::GetGray(const TqzColor& color, int64_t& gray) const {
    gray = Clip01(color.Comps[0]);
}

void TqzPDDeviceGrayColorSpace::GetRGB(const TqzColor& color, TqzRGB& rgb) const {
    const int64_t g = Clip01(color.Comps[0]);
    rgb = {g, g, g};
}

void TqzPDDeviceGrayColorSpace::GetCMYK(const TqzColor& color, TqzCMYK& cmyk) const {
    // 1 - clip(g) equals clip(1 - g) and cannot overflow.
    cmyk = {0, 0, 0, kColorOne - Clip01(color.Comps[0])};
}

std::unique_ptr<TqzPDColorSpace> TqzPDDeviceGrayColorSpace::Copy() const {
    return std::make_unique<TqzPDDeviceGrayColorSpace>();
}

}  // namespace qz::content
