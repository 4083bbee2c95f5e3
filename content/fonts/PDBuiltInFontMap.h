#pragma once
// The fourteen standard fonts: their metrics (TqzBuiltInFont, made on demand
// by the font readers and writers, owned by the caller) and the name tables
// that tie them to system fonts and to the names documents use for them.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "content/fonts/PDEncoding.h"

namespace qz::content {

// "StandardEncoding", "MacRomanEncoding", "WinAnsiEncoding", "PDFDocEncoding",
// "MacExpertEncoding", "CustomEncoding".
extern const std::array<std::string_view, 6> FontEncodingNames;
extern const std::array<std::string_view, 14> BuiltInFonts, ActualFontNames, SubstituteFontNames;

struct TqzStdFontMapEntry {
    std::string_view Alias;
    std::string_view StandardName;
};
inline constexpr int32_t StdFontCount = 49;
// Searched in order; the first row whose alias or standard name matches wins.
extern const std::array<TqzStdFontMapEntry, StdFontCount> TqzStdFontMapTable;

struct TqzBuiltInFontWidths {
    std::string_view Character;  // glyph name
    int32_t Width;               // glyph units
};

class TqzBuiltInFont {
  public:
    // None unless FontName is exactly one of the fourteen standard names.
    static std::unique_ptr<TqzBuiltInFont> MakeBuiltInFont(std::string_view FontName);

    double GetWidth(std::string_view AChar) const;  // -1 when empty or unknown
    const std::string& GetName() const { return FName; }
    double GetAscent() const { return FAscent; }
    double GetDescent() const { return FDescent; }
    std::array<double, 4> GetBBox() const { return FBBox; }  // llx lly urx ury, glyph units
    int32_t GetSize() const { return FSize; }
    const std::string& GetEncodingName() const { return FEncodingName; }
    const TqzEncodingArray& GetDefaultBaseEnc() const { return *FDefaultBaseEnc; }
    // The width list, sorted under CompareGlyphNames.
    std::span<const TqzBuiltInFontWidths> GetWidths() const { return FWidths; }

  private:
    TqzBuiltInFont() = default;

    std::string FName;
    double FAscent = 0;
    double FDescent = 0;
    std::array<double, 4> FBBox{};
    int32_t FSize = 0;
    std::span<const TqzBuiltInFontWidths> FWidths;  // static data
    std::string FEncodingName;
    const TqzEncodingArray* FDefaultBaseEnc = nullptr;  // static data
};

}  // namespace qz::content
