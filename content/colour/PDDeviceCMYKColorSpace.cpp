#include "content/colour/PDDeviceCMYKColorSpace.h"

#include <array>

namespace qz::content {

namespace {

// RGB of the sixteen corners of the CMYK cube, indexed by C·8 + M·4 + Y·2 + K.
// Blending the inside of the cube from measured corners looks like printed
// ink, which 1 - x does not.
constexpr std::array<std::array<double, 3>, 16> kCornerRGB{{
    {1, 1, 1},
    {0.1373, 0.1216, 0.1255},
    {1, 0.9490, 0},
    {0.1098, 0.1020, 0},
    {0.9255, 0, 0.5490},
    {0.1412, 0, 0},
    {0.9294, 0.1098, 0.1412},
    {0.1333, 0, 0},
    {0, 0.6784, 0.9373},
    {0, 0.0588, 0.1412},
    {0, 0.6510, 0.3137},
    {0, 0.0745, 0},
    {0.1804, 0.1922, 0.5725},
    {0, 0, 0.0078},
    {0.2118, 0.2119, 0.2235},
    {0, 0, 0},
}};

}  // namespace

void TqzPDDeviceCMYKColorSpace::GetDefaultColor(TqzColor& color) const {
    color.Comps[0] = 0;
    color.Comps[1] = 0;
    color.Comps[2] = 0;
    color.Comps[3] = kColorOne;
}

void TqzPDDeviceCMYKColorSpace::GetGray(const TqzColor& color, int64_t& gray) const {
    const double c = static_cast<double>(color.Comps[0]);
    const double m = static_cast<double>(color.Comps[1]);
    const double y = static_cast<double>(color.Comps[2]);
    const double k = static_cast<double>(color.Comps[3]);
    gray = Clip01(
        RoundToCol((static_cast<double>(kColorOne) - k) - 0.3 * c - 0.59 * m - 0.11 * y + 0.5));
}

void TqzPDDeviceCMYKColorSpace::GetRGB(const TqzColor& color, TqzRGB& rgb) const {
    // The inputs are not clipped first; only the results are.
    std::array<double, 4> value{};
    for (size_t i = 0; i < 4; ++i) value[i] = ColToDbl(color.Comps[i]);
    double r = 0, g = 0, b = 0;
    for (size_t corner = 0; corner < kCornerRGB.size(); ++corner) {
        double weight = 1.0;
        for (size_t axis = 0; axis < 4; ++axis) {
            const bool high = ((corner >> (3 - axis)) & 1U) != 0;
            weight *= high ? value[axis] : 1.0 - value[axis];
        }
        r += weight * kCornerRGB[corner][0];
        g += weight * kCornerRGB[corner][1];
        b += weight * kCornerRGB[corner][2];
    }
    rgb = {Clip01(DblToCol(r)), Clip01(DblToCol(g)), Clip01(DblToCol(b))};
}

void TqzPDDeviceCMYKColorSpace::GetCMYK(const TqzColor& color, TqzCMYK& cmyk) const {
    cmyk = {Clip01(color.Comps[0]), Clip01(color.Comps[1]), Clip01(color.Comps[2]),
            Clip01(color.Comps[3])};
}

std::unique_ptr<TqzPDColorSpace> TqzPDDeviceCMYKColorSpace::Copy() const {
    return std::make_unique<TqzPDDeviceCMYKColorSpace>();
}

}  // namespace qz::content
