#include "content/colour/PDDeviceRGBColorSpace.h"

#include <algorithm>

namespace qz::content {

void TqzPDDeviceRGBColorSpace::GetDefaultColor(TqzColor& color) const {
    color.Comps[0] = 0;
    color.Comps[1] = 0;
    color.Comps[2] = 0;
}

void TqzPDDeviceRGBColorSpace::GetGray(const TqzColor& color, int64_t& gray) const {
    const double r = static_cast<double>(color.Comps[0]);
    const double g = static_cast<double>(color.Comps[1]);
    const double b = static_cast<double>(color.Comps[2]);
    gray = Clip01(RoundToCol(0.3 * r + 0.59 * g + 0.11 * b + 0.5));
}

void TqzPDDeviceRGBColorSpace::GetRGB(const TqzColor& color, TqzRGB& rgb) const {
    rgb = {Clip01(color.Comps[0]), Clip01(color.Comps[1]), Clip01(color.Comps[2])};
}

void TqzPDDeviceRGBColorSpace::GetCMYK(const TqzColor& color, TqzCMYK& cmyk) const {
    // 1 - clip(x) equals clip(1 - x) and cannot overflow.
    const int64_t c = kColorOne - Clip01(color.Comps[0]);
    const int64_t m = kColorOne - Clip01(color.Comps[1]);
    const int64_t y = kColorOne - Clip01(color.Comps[2]);
    const int64_t k = std::min({c, m, y});
    cmyk = {c - k, m - k, y - k, k};
}

std::unique_ptr<TqzPDColorSpace> TqzPDDeviceRGBColorSpace::Copy() const {
    return std::make_unique<TqzPDDeviceRGBColorSpace>();
}

}  // namespace qz::content
