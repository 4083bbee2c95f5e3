#pragma once
// The standard single-byte encodings as glyph-name tables: code -> glyph
// name, an empty name where the encoding defines no glyph. Static data.

#include <array>
#include <cstdint>
#include <string_view>

namespace qz::content {

using TqzEncodingArray = std::array<std::string_view, 256>;

enum class TqzEncodingType : uint8_t {
    etMac,
    etMacExpert,
    etWinAnsi,
    etStandard,
    etExpert,
    etSymbol,
    etZapfDingbats
};

extern const TqzEncodingArray MacRomanEncoding, MacExpertEncoding, WinAnsiEncoding,
    StandardEncoding, SymbolEncoding, ZapfDingbatsEncoding;

}  // namespace qz::content
