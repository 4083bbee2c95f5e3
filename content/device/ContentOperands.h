#pragma once
// Reading operand values for the interpreter's handlers. Every conversion of
// a file's number to an integer saturates, and a NaN reads as 0.

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "core/PDBaseObject.h"
#include "core/PDInteger.h"
#include "core/PDName.h"
#include "core/PDReal.h"

namespace qz::content {

// An integer or real operand as a double; anything else is 0.
inline double OperandNumber(const core::TqzPDBaseObject* object) {
    if (object == nullptr) return 0;
    if (object->IsInteger()) return static_cast<double>(static_cast<const core::TqzPDInteger*>(object)->GetValue());
    if (object->IsReal()) return static_cast<const core::TqzPDReal*>(object)->GetValue();
    return 0;
}

inline std::string OperandName(const core::TqzPDBaseObject* object) {
    if (object == nullptr || !object->IsName()) return {};
    return static_cast<const core::TqzPDName*>(object)->GetValue();
}

inline int32_t SaturatedInt32(int64_t value) {
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

// A colour operand as a fixed-point component (65536 = 1.0): an integer
// times 65536, a real times 65536 rounded to the nearest (ties to even).
// Far out-of-range values saturate; colours are clipped to 0..1 later anyway.
inline int64_t OperandComponent(const core::TqzPDBaseObject* object) {
    constexpr double kLimit = 4.0e18;  // below 2^63
    if (object == nullptr) return 0;
    if (object->IsInteger()) {
        const int64_t value = static_cast<const core::TqzPDInteger*>(object)->GetValue();
        constexpr int64_t kMaxWhole = std::numeric_limits<int64_t>::max() / 65536;
        if (value > kMaxWhole) return kMaxWhole * 65536;
        if (value < -kMaxWhole) return -kMaxWhole * 65536;
        return value * 65536;
    }
    if (!object->IsReal()) return 0;
    const double scaled = std::nearbyint(static_cast<const core::TqzPDReal*>(object)->GetValue() * 65536.0);
    if (std::isnan(scaled)) return 0;
    if (scaled >= kLimit) return static_cast<int64_t>(kLimit);
    if (scaled <= -kLimit) return -static_cast<int64_t>(kLimit);
    return static_cast<int64_t>(scaled);
}

}  // namespace qz::content
