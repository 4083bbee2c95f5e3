// The standard encodings' glyph-name tables.

#include "content/fonts/PDEncoding.h"

#include <gtest/gtest.h>

#include "content/fonts/PDAdobeGlyphList.h"

namespace qz::content {
namespace {

TEST(PDEncoding, CodesThatTellTheTablesApart) {
    struct Case {
        const TqzEncodingArray* Table;
        uint8_t Code;
        std::string_view Glyph;
    };
    const Case cases[] = {
        {&WinAnsiEncoding, 0x7F, "bullet"},
        {&WinAnsiEncoding, 0x81, "bullet"},
        {&WinAnsiEncoding, 0x8D, "bullet"},
        {&WinAnsiEncoding, 0x8F, "bullet"},
        {&WinAnsiEncoding, 0x90, "bullet"},
        {&WinAnsiEncoding, 0x9D, "bullet"},
        {&WinAnsiEncoding, 0x95, "bullet"},
        {&WinAnsiEncoding, 0x80, "Euro"},
        {&WinAnsiEncoding, 0xA0, "space"},
        {&WinAnsiEncoding, 0x27, "quotesingle"},
        {&WinAnsiEncoding, 0x60, "grave"},
        {&WinAnsiEncoding, 0x2D, "hyphen"},
        {&WinAnsiEncoding, 0xAD, "hyphen"},
        {&WinAnsiEncoding, 0xE9, "eacute"},
        {&WinAnsiEncoding, 0x1F, ""},
        {&MacRomanEncoding, 0xCA, "space"},
        {&MacRomanEncoding, 0xDB, "currency"},
        {&MacRomanEncoding, 0x7F, "UL"},
        {&MacRomanEncoding, 0xF0, "apple"},
        {&MacRomanEncoding, 0x8E, "eacute"},
        {&MacRomanEncoding, 0x27, "quotesingle"},
        {&StandardEncoding, 0x27, "quoteright"},
        {&StandardEncoding, 0x60, "quoteleft"},
        {&StandardEncoding, 0x41, "A"},
        {&StandardEncoding, 0xA4, "fraction"},
        {&StandardEncoding, 0x7F, ""},
        {&StandardEncoding, 0xE1, "AE"},
        {&MacExpertEncoding, 0x61, "Asmall"},
        {&MacExpertEncoding, 0x20, "space"},
        {&SymbolEncoding, 0x61, "alpha"},
        {&SymbolEncoding, 0xF0, ""},
        {&SymbolEncoding, 0xA0, "Euro"},
        {&ZapfDingbatsEncoding, 0x21, "a1"},
        {&ZapfDingbatsEncoding, 0x20, "space"},
        {&ZapfDingbatsEncoding, 0xFF, ""},
    };
    for (const Case& c : cases) EXPECT_EQ((*c.Table)[c.Code], c.Glyph) << std::hex << int(c.Code);
}

TEST(PDEncoding, LatinGlyphsAreInTheGlyphList) {
    struct Table {
        const TqzEncodingArray* Entries;
        int32_t Count;
    };
    for (const Table& t : {Table{&StandardEncoding, 149}, Table{&WinAnsiEncoding, 224},
                           Table{&MacRomanEncoding, 210}}) {
        int32_t count = 0;
        for (std::string_view glyph : *t.Entries) {
            if (glyph.empty()) continue;
            ++count;
            if (glyph != "UL") {  // MacRoman's one glyph without a Unicode value
                EXPECT_NE(GetScalarCode(glyph, false), 0u) << glyph;
            }
        }
        EXPECT_EQ(count, t.Count);
    }
}

}  // namespace
}  // namespace qz::content
