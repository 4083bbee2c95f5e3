#include "content/colour/PDPatternColorSpace.h"

namespace qz::content {

void TqzPDPatternColorSpace::GetGray(const TqzColor& /*color*/, int64_t& gray) const {
    gray = 0;
}

void TqzPDPatternColorSpace::GetRGB(const TqzColor& /*color*/, TqzRGB& rgb) const {
    rgb = {0, 0, 0};
}

void TqzPDPatternColorSpace::GetCMYK(const TqzColor& /*color*/, TqzCMYK& cmyk) const {
    cmyk = {0, 0, 0, kColorOne};
}

std::unique_ptr<TqzPDColorSpace> TqzPDPatternColorSpace::Copy() const {
    return std::make_unique<TqzPDPatternColorSpace>(FBaseObject);
}

}  // namespace qz::content
