#pragma once
// Glyph name -> Unicode lists (the Adobe Glyph List and the ZapfDingbats
// list) with their lookups, and the Symbol font's code of a Unicode value.
// Static data sorted under CompareGlyphNames, searched by bisection.

#include <cstdint>
#include <span>
#include <string_view>

namespace qz::content {

struct TGlyphListEntry {
    std::string_view Name;
    uint32_t Unicode;
};
using TGlyphList = std::span<const TGlyphListEntry>;

extern const TGlyphList AdobeGlyphList;   // 4281 names
extern const TGlyphList ZapfDigBatsList;  // 201 names, a1..a206

// Case-insensitive (ASCII), and where two names differ only in case the one
// with the lower-case letter at the first such position comes first.
int CompareGlyphNames(std::string_view a, std::string_view b);

// Unicode value of a glyph name, 0 when unknown. Names absent from the list
// of the forms uniXXXX[XXXX...] and uXXXX..uXXXXXX give the value they spell.
uint32_t GetScalarCode(std::string_view GlyphName, bool IsZapfDigBats);

// Code of a Unicode value in the Symbol font's encoding, 0 when it has none.
uint8_t GetSymbolCode(uint32_t Unicode);

}  // namespace qz::content
