#pragma once
// Rounding of reals that may come from a file: to the nearest integer with
// halves to the even neighbour, saturated to 32 bits, NaN giving 0.

#include <cmath>
#include <cstdint>
#include <limits>

namespace qz::platform {

inline int32_t RoundHalfEven(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(std::nearbyint(value));  // the default rounding mode: halves to even
}

}  // namespace qz::platform
