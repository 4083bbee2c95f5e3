#pragma once
// The platform's font: a family name, a size in points, a style and a
// colour, as callers describe the font they want text written in. The
// system font that stands for it is found through fontconfig.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

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

// A face in a font file; Index picks the face of a collection.
struct FontFileRef {
    std::filesystem::path File;
    int32_t Index = 0;
};

// The installed font that fontconfig matches to the family, bold and italic
// of `font` (its aliases lead the usual office names to metric-compatible
// faces); none when fontconfig finds no font file at all.
std::optional<FontFileRef> FindSystemFont(const PlatformFont& font);

struct TextExtent {
    int32_t Width = 0;
    int32_t Height = 0;
};

// Pixel extent of 8-bit (Windows-1252) text at kScreenDpi: the sum of the
// characters' advances, and the face's ascender minus descender. Zero when
// no font can be opened.
TextExtent MeasureText(const PlatformFont& font, std::string_view text1252);

// What the system font behind a platform font says of itself.
struct FontTraits {
    bool FixedPitch = false, Serif = false, Script = false, SymbolCharset = false, Italic = false;
};
FontTraits GetFontTraits(const PlatformFont& font);

}  // namespace qz::platform
