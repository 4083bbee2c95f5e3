#include "platform/Fonts.h"

#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <string>

using namespace qz::platform;

namespace {

// Pixel advances and line height of a face at `points` and screen
// resolution, straight from FreeType.
struct DirectMeasure {
    int64_t advanceSum = 0;  // 26.6
    int64_t height = 0;      // 26.6
};
DirectMeasure Measure(const FontFileRef& ref, int32_t points, std::u32string_view text) {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    DirectMeasure m;
    EXPECT_EQ(FT_Init_FreeType(&library), 0);
    EXPECT_EQ(FT_New_Face(library, ref.File.c_str(), ref.Index, &face), 0);
    FT_Set_Char_Size(face, 0, points * 64, kScreenDpi, kScreenDpi);
    for (const char32_t c : text) {
        EXPECT_EQ(FT_Load_Char(face, c, FT_LOAD_DEFAULT), 0);
        m.advanceSum += face->glyph->advance.x;
    }
    m.height = face->size->metrics.ascender - face->size->metrics.descender;
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return m;
}

std::string FamilyOf(const FontFileRef& ref) {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    std::string family;
    FT_Init_FreeType(&library);
    if (FT_New_Face(library, ref.File.c_str(), ref.Index, &face) == 0) {
        family = face->family_name;
        FT_Done_Face(face);
    }
    FT_Done_FreeType(library);
    return family;
}

}  // namespace

TEST(Fonts, OfficeNamesReachMetricCompatibleFaces) {
    struct Case {
        std::string name;
        TFontStyles style;
        std::string file;
    };
    const Case cases[] = {
        {"Arial", 0, "LiberationSans-Regular.ttf"},
        {"Arial", fsBold | fsItalic, "LiberationSans-BoldItalic.ttf"},
        {"Arial", fsUnderline, "LiberationSans-Regular.ttf"},
        {"Times New Roman", fsItalic, "LiberationSerif-Italic.ttf"},
        {"Courier New", fsBold, "LiberationMono-Bold.ttf"},
    };
    for (const Case& c : cases) {
        const auto ref = FindSystemFont(PlatformFont{c.name, 10, c.style, 0});
        ASSERT_TRUE(ref) << c.name;
        EXPECT_EQ(ref->File.filename(), c.file) << c.name << " " << int{c.style};
        EXPECT_EQ(ref->Index, 0);
    }
}

// A family that lives at a later face of a collection is reported with
// that face, and the face there is the family asked for.
TEST(Fonts, CollectionFaceIndex) {
    for (const char* family : {"Noto Sans CJK SC", "Noto Sans CJK KR", "Noto Serif CJK TC"}) {
        const auto ref = FindSystemFont(PlatformFont{family, 10, 0, 0});
        ASSERT_TRUE(ref) << family;
        EXPECT_EQ(ref->File.extension(), ".ttc");
        EXPECT_NE(ref->Index, 0) << family;
        EXPECT_EQ(FamilyOf(*ref), family);
    }
}

TEST(Fonts, MeasureTextAtScreenResolution) {
    const PlatformFont font{"Arial", 11, 0, 0};
    const auto ref = FindSystemFont(font);
    ASSERT_TRUE(ref);
    const DirectMeasure m = Measure(*ref, 11, U"AV\u20AC");
    const TextExtent e = MeasureText(font, "AV\x80");  // 0x80 is the euro sign in 1252
    EXPECT_EQ(e.Width, std::lround(static_cast<double>(m.advanceSum) / 64.0));
    EXPECT_EQ(e.Height, std::lround(static_cast<double>(m.height) / 64.0));
    EXPECT_GT(e.Width, 15);  // two capitals and a euro at 11 pt, 96 dpi
    EXPECT_EQ(MeasureText(font, "").Width, 0);
    EXPECT_EQ(MeasureText(font, "").Height, e.Height);
    EXPECT_GT(MeasureText(PlatformFont{"Arial", 22, 0, 0}, "AV\x80").Width, e.Width * 19 / 10);
}

TEST(Fonts, TraitsOfTheSystemFaces) {
    struct Case {
        std::string name;
        TFontStyles style;
        bool fixed, serif, symbol, italic;
    };
    const Case cases[] = {
        {"Arial", 0, false, false, false, false},
        {"Arial", fsItalic, false, false, false, true},
        {"Times New Roman", 0, false, true, false, false},
        {"Courier New", 0, true, false, false, false},  // Liberation Mono is sans-serif
        {"DejaVu Sans Mono", fsBold, true, false, false, false},
        {"Symbol", 0, false, false, true, false},
        {"Dingbats", 0, false, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name + " " + std::to_string(c.style));
        const FontTraits t = GetFontTraits(PlatformFont{c.name, 10, c.style, 0});
        EXPECT_EQ(t.FixedPitch, c.fixed);
        EXPECT_EQ(t.Serif, c.serif);
        EXPECT_EQ(t.SymbolCharset, c.symbol);
        EXPECT_EQ(t.Italic, c.italic);
        EXPECT_FALSE(t.Script);
    }
}
