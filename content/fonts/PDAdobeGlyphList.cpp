#include "content/fonts/PDAdobeGlyphList.h"

#include <algorithm>
#include <optional>

namespace qz::content {

namespace {

struct TSymbolCode {
    uint32_t Unicode;
    uint8_t Code;
};

#include "content/fonts/tables/GlyphLists.inc"

constexpr uint32_t kMaxUnicode = 0x10FFFF;

constexpr unsigned char FoldCase(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

std::optional<uint32_t> HexValue(std::string_view digits) {
    uint32_t value = 0;
    for (char ch : digits) {
        uint32_t d = 0;
        if (ch >= '0' && ch <= '9') {
            d = static_cast<uint32_t>(ch - '0');
        } else if (ch >= 'A' && ch <= 'F') {
            d = static_cast<uint32_t>(ch - 'A' + 10);
        } else if (ch >= 'a' && ch <= 'f') {
            d = static_cast<uint32_t>(ch - 'a' + 10);
        } else {
            return std::nullopt;
        }
        value = value * 16 + d;  // at most 6 digits: no overflow
    }
    return value;
}

bool IsScalar(uint32_t v) {
    return v != 0 && v <= kMaxUnicode && (v < 0xD800 || v > 0xDFFF);
}

// Fonts that name glyphs by their Unicode value: "uni" with one or more groups
// of four hex digits (the first group is taken), or "u" with four to six.
// A suffix after '.' (uni0041.sc) names a variant of the same character.
uint32_t UnicodeFromName(std::string_view name) {
    name = name.substr(0, name.find('.'));
    if (name.size() >= 7 && name.substr(0, 3) == "uni" && (name.size() - 3) % 4 == 0) {
        for (size_t pos = 3; pos < name.size(); pos += 4) {
            if (!HexValue(name.substr(pos, 4))) return 0;
        }
        auto v = HexValue(name.substr(3, 4));
        return IsScalar(*v) ? *v : 0;
    }
    if (name.size() >= 5 && name.size() <= 7 && name[0] == 'u') {
        auto v = HexValue(name.substr(1));
        return (v && IsScalar(*v)) ? *v : 0;
    }
    return 0;
}

const TGlyphListEntry* Find(TGlyphList list, std::string_view name) {
    auto it = std::lower_bound(list.begin(), list.end(), name,
                               [](const TGlyphListEntry& e, std::string_view n) {
                                   return CompareGlyphNames(e.Name, n) < 0;
                               });
    return (it != list.end() && CompareGlyphNames(it->Name, name) == 0) ? &*it : nullptr;
}

}  // namespace

constexpr TGlyphList AdobeGlyphList{kAdobeGlyphListData};
constexpr TGlyphList ZapfDigBatsList{kZapfDingbatsListData};

int CompareGlyphNames(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    int caseOrder = 0;
    for (size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        const unsigned char fa = FoldCase(ca), fb = FoldCase(cb);
        if (fa != fb) return fa < fb ? -1 : 1;
        if (caseOrder == 0 && ca != cb)
            caseOrder = ca > cb ? -1 : 1;  // lower case (larger byte) first
    }
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return caseOrder;
}

uint32_t GetScalarCode(std::string_view GlyphName, bool IsZapfDigBats) {
    if (GlyphName.empty()) return 0;
    if (const TGlyphListEntry* e =
            Find(IsZapfDigBats ? ZapfDigBatsList : AdobeGlyphList, GlyphName)) {
        return e->Unicode;
    }
    if (IsZapfDigBats) {
        // Names that some ZapfDingbats fonts use for two of their glyphs.
        if (GlyphName == "four") return 0x2714;
        if (GlyphName == "l") return 0x25CF;
    }
    return UnicodeFromName(GlyphName);
}

uint8_t GetSymbolCode(uint32_t Unicode) {
    const auto* begin = std::begin(kSymbolCodes);
    const auto* end = std::end(kSymbolCodes);
    const auto* it = std::lower_bound(
        begin, end, Unicode, [](const TSymbolCode& e, uint32_t u) { return e.Unicode < u; });
    return (it != end && it->Unicode == Unicode) ? it->Code : uint8_t{0};
}

}  // namespace qz::content
