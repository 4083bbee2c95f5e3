// Glyph-name order, the glyph lists and their lookups, and the Symbol code
// of a Unicode value.

#include "content/fonts/PDAdobeGlyphList.h"

#include <gtest/gtest.h>

#include "content/fonts/PDEncoding.h"

namespace qz::content {
namespace {

TEST(PDAdobeGlyphList, NameOrder) {
    struct Case {
        std::string_view A, B;
        int Order;
    };
    const Case cases[] = {
        {"a", "A", -1},
        {"aacute", "Aacute", -1},
        {"zdotaccent", "Zdotaccent", -1},
        {"Zdotaccent", "zero", -1},
        {"Aacute", "abreve", -1},
        {"a", "a", 0},
        {"a", "ab", -1},
        {"AB", "ab", 1},
        {"aB", "Ab", -1},
        {"a1", "a10", -1},
        {"a2", "a10", 1},
        {"", "a", -1},
        {"z", "\xE9", -1},  // bytes above 0x7F sort after letters
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CompareGlyphNames(c.A, c.B), c.Order) << c.A << " " << c.B;
        EXPECT_EQ(CompareGlyphNames(c.B, c.A), -c.Order) << c.B << " " << c.A;
    }
}

TEST(PDAdobeGlyphList, ListsAreSortedAndEveryNameIsFound) {
    struct List {
        TGlyphList Entries;
        size_t Size;
        bool Zapf;
    };
    for (const List& l : {List{AdobeGlyphList, 4281, false}, List{ZapfDigBatsList, 201, true}}) {
        ASSERT_EQ(l.Entries.size(), l.Size);
        for (size_t i = 0; i < l.Entries.size(); ++i) {
            if (i > 0) {
                EXPECT_LT(CompareGlyphNames(l.Entries[i - 1].Name, l.Entries[i].Name), 0)
                    << l.Entries[i].Name;
            }
            EXPECT_EQ(GetScalarCode(l.Entries[i].Name, l.Zapf), l.Entries[i].Unicode)
                << l.Entries[i].Name;
        }
    }
    // Each ZapfDingbats glyph of the built-in encoding is in the list.
    for (std::string_view glyph : ZapfDingbatsEncoding) {
        if (!glyph.empty() && glyph != "space") {
            EXPECT_NE(GetScalarCode(glyph, true), 0u) << glyph;
        }
    }
}

TEST(PDAdobeGlyphList, ScalarCodes) {
    struct Case {
        std::string_view Name;
        bool Zapf;
        uint32_t Unicode;
    };
    const Case cases[] = {
        {"a20", true, 0x2714},
        {"four", true, 0x2714},
        {"l", true, 0x25CF},
        {"four", false, 0x34},
        {"a1", true, 0x2701},
        {"a89", true, 0x2768},
        {"a96", true, 0x2775},
        {"A", false, 0x41},
        {"a", false, 0x61},
        {"Euro", false, 0x20AC},
        {"Delta", false, 0x2206},
        {"arrowvertex", false, 0xF8E6},
        {"nosuchglyph", false, 0},
        {"nosuchglyph", true, 0},
        {"", false, 0},
        {"", true, 0},
        {"a1", false, 0},
        {"A", true, 0},
        // Names spelling their value, when the lists lack them.
        {"uni0041", false, 0x41},
        {"uni20AC", true, 0x20AC},
        {"uni00410042", false, 0x41},
        {"uni0041.sc", false, 0x41},
        {"uni00e9", false, 0xE9},
        {"u1F600", false, 0x1F600},
        {"u0041", false, 0x41},
        {"u10FFFF", false, 0x10FFFF},
        {"uniD800", false, 0},
        {"uDFFF", false, 0},
        {"u110000", false, 0},
        {"uni004", false, 0},
        {"uni00410", false, 0},
        {"uniGGGG", false, 0},
        {"u12", false, 0},
        {"u1234567", false, 0},
        {"uni0000", false, 0},
        {"uni", false, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GetScalarCode(c.Name, c.Zapf), c.Unicode) << c.Name << (c.Zapf ? " (zapf)" : "");
    }
}

TEST(PDAdobeGlyphList, SymbolCodes) {
    struct Case {
        uint32_t Unicode;
        uint8_t Code;
    };
    const Case cases[] = {
        {0x03B1, 97},  {0x2211, 229}, {0x0041, 0},   {0x4E00, 0},   {0x0000, 0},   {0xFFFFFFFF, 0},
        {0x0020, 32},  {0x00A0, 32},  {0x0394, 68},  {0x2206, 68},  {0x03A9, 87},  {0x2126, 87},
        {0x03BC, 109}, {0x00B5, 109}, {0x2044, 164}, {0x2215, 164}, {0x20AC, 160}, {0xF8E5, 96},
        {0xF8E6, 189}, {0xF8FE, 254}, {0xF6D9, 211}, {0xF6DB, 212}, {0xF8FF, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GetSymbolCode(c.Unicode), c.Code) << std::hex << c.Unicode;

    // Every glyph of the Symbol font's encoding maps back to its code.
    int32_t codes = 0;
    for (uint32_t code = 0; code < 256; ++code) {
        std::string_view glyph = SymbolEncoding[code];
        const bool expected =
            (code >= 32 && code <= 126) || (code >= 160 && code <= 254 && code != 240);
        EXPECT_EQ(!glyph.empty(), expected) << code;
        if (glyph.empty()) continue;
        ++codes;
        EXPECT_EQ(GetSymbolCode(GetScalarCode(glyph, false)), code) << glyph;
    }
    EXPECT_EQ(codes, 189);
}

}  // namespace
}  // namespace qz::content
