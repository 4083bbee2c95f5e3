// Standard-font metrics and the name tables of the fourteen standard fonts.

#include "content/fonts/PDBuiltInFontMap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "content/fonts/PDAdobeGlyphList.h"

namespace qz::content {
namespace {

TEST(PDBuiltInFontMap, MetricsOfEachStandardFont) {
    struct Row {
        std::string_view Name;
        double Ascent, Descent;
        std::array<double, 4> BBox;
        int32_t Count;
        const TqzEncodingArray* Encoding;
        std::string_view EncodingName;
    };
    const Row rows[] = {
        {"Courier", 629, -157, {-23, -250, 715, 805}, 315, &StandardEncoding, "StandardEncoding"},
        {"Courier-Bold",
         629,
         -157,
         {-113, -250, 749, 801},
         315,
         &StandardEncoding,
         "StandardEncoding"},
        {"Courier-BoldOblique",
         629,
         -157,
         {-57, -250, 869, 801},
         315,
         &StandardEncoding,
         "StandardEncoding"},
        {"Courier-Oblique",
         629,
         -157,
         {-27, -250, 849, 805},
         315,
         &StandardEncoding,
         "StandardEncoding"},
        {"Helvetica",
         718,
         -207,
         {-166, -225, 1000, 931},
         315,
         &StandardEncoding,
         "StandardEncoding"},
        {"Helvetica-Bold",
         718,
         -207,
         {-170, -228, 1003, 962},
         316,
         &StandardEncoding,
         "StandardEncoding"},
        {"Helvetica-BoldOblique",
         718,
         -207,
         {-174, -228, 1114, 962},
         315,
         &StandardEncoding,
         "StandardEncoding"},
        {"Helvetica-Oblique",
         718,
         -207,
         {-170, -225, 1116, 931},
         315,
         &StandardEncoding,
         "StandardEncoding"},
        {"Symbol", 1010, -293, {-180, -293, 1090, 1010}, 190, &SymbolEncoding, "CustomEncoding"},
        {"Times-Bold",
         683,
         -217,
         {-168, -218, 1000, 935},
         315,
         &StandardEncoding,
         "StandardEncoding"},
        {"Times-BoldItalic",
         683,
         -217,
         {-200, -218, 996, 921},
         315,
         &StandardEncoding,
         "StandardEncoding"},
        {"Times-Italic",
         683,
         -217,
         {-169, -217, 1010, 883},
         315,
         &StandardEncoding,
         "StandardEncoding"},
        {"Times-Roman",
         683,
         -217,
         {-168, -218, 1000, 898},
         315,
         &StandardEncoding,
         "StandardEncoding"},
        {"ZapfDingbats",
         820,
         -143,
         {-1, -143, 981, 820},
         202,
         &ZapfDingbatsEncoding,
         "CustomEncoding"},
    };
    ASSERT_EQ(std::size(rows), BuiltInFonts.size());
    std::set<std::string_view> latinNames;
    for (size_t i = 0; i < std::size(rows); ++i) {
        const Row& r = rows[i];
        SCOPED_TRACE(r.Name);
        EXPECT_EQ(BuiltInFonts[i], r.Name);
        auto font = TqzBuiltInFont::MakeBuiltInFont(r.Name);
        ASSERT_TRUE(font);
        EXPECT_EQ(font->GetName(), r.Name);
        EXPECT_EQ(font->GetAscent(), r.Ascent);
        EXPECT_EQ(font->GetDescent(), r.Descent);
        EXPECT_EQ(font->GetBBox(), r.BBox);
        EXPECT_EQ(font->GetSize(), r.Count);
        EXPECT_EQ(&font->GetDefaultBaseEnc(), r.Encoding);
        EXPECT_EQ(font->GetEncodingName(), r.EncodingName);

        // Sorted under the glyph-name order, so every entry is found by bisection.
        auto widths = font->GetWidths();
        ASSERT_EQ(widths.size(), static_cast<size_t>(r.Count));
        for (size_t k = 0; k < widths.size(); ++k) {
            if (k > 0) {
                EXPECT_LT(CompareGlyphNames(widths[k - 1].Character, widths[k].Character), 0) << k;
            }
            EXPECT_EQ(font->GetWidth(widths[k].Character), widths[k].Width) << widths[k].Character;
            if (r.Name.starts_with("Courier")) {
                EXPECT_EQ(widths[k].Width, 600);
            }
        }
        // Every code of the built-in encoding has a width.
        for (std::string_view glyph : *r.Encoding) {
            if (!glyph.empty()) {
                EXPECT_GE(font->GetWidth(glyph), 0) << glyph;
            }
        }
        // The twelve Latin fonts share one glyph set.
        if (r.Encoding == &StandardEncoding) {
            std::set<std::string_view> names;
            for (const auto& w : widths) {
                if (w.Character != "dbldaggerumlaut") names.insert(w.Character);
            }
            if (latinNames.empty()) latinNames = names;
            EXPECT_EQ(names, latinNames);
        }
    }
    EXPECT_EQ(latinNames.size(), 315u);
}

TEST(PDBuiltInFontMap, WidthsByGlyphName) {
    struct Case {
        std::string_view Font, Glyph;
        double Width;
    };
    const Case cases[] = {
        {"Helvetica", "a", 556},
        {"Helvetica", "A", 667},
        {"Helvetica", "space", 278},
        {"Times-Roman", "a", 444},
        {"Times-Roman", "A", 722},
        {"Times-Roman", "space", 250},
        {"Symbol", "alpha", 631},
        {"Symbol", "space", 250},
        {"ZapfDingbats", "a1", 974},
        {"ZapfDingbats", "space", 278},
        {"Times-BoldItalic", "Edotaccent", 667},
        {"Times-BoldItalic", "dotaccent", 333},
        {"Helvetica-Bold", "dbldaggerumlaut", 556},
        {"Helvetica", "dbldaggerumlaut", -1},
        {"Helvetica", "", -1},
        {"Helvetica", "nosuchglyph", -1},
        {"Helvetica", "AACUTE", -1},
        {"Helvetica", "zdotaccent", 500},
        {"Helvetica", "Zdotaccent", 611},
        {"Helvetica", "zero", 556},
    };
    for (const Case& c : cases) {
        auto font = TqzBuiltInFont::MakeBuiltInFont(c.Font);
        ASSERT_TRUE(font);
        EXPECT_EQ(font->GetWidth(c.Glyph), c.Width) << c.Font << " " << c.Glyph;
    }
}

TEST(PDBuiltInFontMap, OnlyTheFourteenExactNames) {
    for (std::string_view name : {"Helvetica-Narrow", "helvetica", "", "Helvetica ", "Arial"}) {
        EXPECT_FALSE(TqzBuiltInFont::MakeBuiltInFont(name)) << name;
    }
}

TEST(PDBuiltInFontMap, NameTables) {
    EXPECT_EQ(FontEncodingNames, (std::array<std::string_view, 6>{
                                     "StandardEncoding", "MacRomanEncoding", "WinAnsiEncoding",
                                     "PDFDocEncoding", "MacExpertEncoding", "CustomEncoding"}));
    EXPECT_EQ(ActualFontNames, BuiltInFonts);
    EXPECT_EQ(SubstituteFontNames[4], "Arial");
    EXPECT_EQ(SubstituteFontNames[8], "Symbol");
    EXPECT_EQ(SubstituteFontNames[12], "TimesNewRoman");
    EXPECT_EQ(SubstituteFontNames[13], "ArialUnicodeMS");

    // The first row naming a font, by alias or by standard name, gives its alias.
    auto firstAlias = [](std::string_view name) -> std::string_view {
        for (const auto& e : TqzStdFontMapTable) {
            if (e.Alias == name || e.StandardName == name) return e.Alias;
        }
        return {};
    };
    struct Case {
        std::string_view Name, Alias;
    };
    for (const Case& c :
         {Case{"Helvetica", "Arial"}, Case{"Courier", "CourierNew"}, Case{"Symbol", "Symbol,Bold"},
          Case{"Times-Roman", "TimesNewRoman"}, Case{"ZapfDingbats", ""},
          Case{"TimesNewRomanPSMT,Italic", "TimesNewRomanPSMT,Italic"}}) {
        EXPECT_EQ(firstAlias(c.Name), c.Alias) << c.Name;
    }
    // Every standard name in the table is one of the fourteen.
    for (const auto& e : TqzStdFontMapTable) {
        EXPECT_NE(std::find(BuiltInFonts.begin(), BuiltInFonts.end(), e.StandardName),
                  BuiltInFonts.end())
            << e.Alias;
    }
}

}  // namespace
}  // namespace qz::content
