#pragma once
// The platform's font: a family name, a size in points, a style and a
// colour, as callers describe the font they want text written in. The
// system font that stands for it is found through fontconfig.

#include <cstdint>
#include <string>

namespace qz::platform {

// A set of styles, one bit each.
enum TFontStyle : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = uint8_t;

// Red in the low byte, then green, then blue.
using TColor = uint32_t;

// Text measured on screen is measured at this resolution.
inline constexpr int32_t kScreenDpi = 96;

struct PlatformFont {
    std::string Name = "Arial";
    int32_t Size = 8;  // points
    TFontStyles Style = 0;
    TColor Color = 0;
};

}  // namespace qz::platform
