#pragma once
// The colour records that the colour spaces, the graphics state and the
// image colour map pass around: fixed-point components with 65536 for 1.0,
// copied by value.

#include <array>
#include <cstdint>

namespace qz::content {

// The most components a colour can have (DeviceN allows 32 colourants).
inline constexpr int32_t ColorMapMaxComps = 32;
// Fixed-point one: a component of 65536 stands for 1.0.
inline constexpr int64_t kColorOne = 65536;

struct TqzColor {
    std::array<int64_t, ColorMapMaxComps> Comps{};
};

struct TqzRGB {
    int64_t R = 0;
    int64_t G = 0;
    int64_t B = 0;
};

struct TqzCMYK {
    int64_t C = 0;
    int64_t M = 0;
    int64_t Y = 0;
    int64_t K = 0;
};

// Low values and ranges of image sample decoding, one per component.
using TqzImageDecodeArray = std::array<double, 513>;

}  // namespace qz::content
