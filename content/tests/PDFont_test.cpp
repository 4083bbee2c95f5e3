// The font base: the maker's choice of class, the font descriptor, the
// embedded program and the conversions that keep hostile numbers bounded.

#include "content/fonts/PDFont.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "content/fonts/PD8bitFont.h"
#include "content/fonts/PDCIDFont.h"
#include "content/tests/FontTestSupport.h"

namespace qz::content {
namespace {

using testing::FontFile;

TEST(PDFont, MakerChoosesClassAndTypeBySubtype) {
    struct Case {
        const char* subtype;  // PDF text of the /Subtype entry, "" for none
        int kind;             // -1 none, 0 simple, 1 composite
        TqzPDFontType type;
    };
    const Case cases[] = {
        {"", -1, TqzPDFontType::UnknowType},
        {"/Subtype (Type1)", -1, TqzPDFontType::UnknowType},
        {"/Subtype /Type1", 0, TqzPDFontType::Type1},
        {"/Subtype /MMType1", 0, TqzPDFontType::Type1},
        {"/Subtype /Type1C", 0, TqzPDFontType::Type1C},
        {"/Subtype /Type3", 0, TqzPDFontType::Type3},
        {"/Subtype /TrueType", 0, TqzPDFontType::TrueType},
        {"/Subtype /Type42", 0, TqzPDFontType::UnknowType},
        {"/Subtype /Type0", 1, TqzPDFontType::UnknowType},
    };
    for (const Case& c : cases) {
        FontFile file(std::string("<< /Type /Font /BaseFont /Foo ") + c.subtype + " >>");
        TqzPDFont* font = file.Font();
        if (c.kind < 0) {
            EXPECT_EQ(font, nullptr) << c.subtype;
            continue;
        }
        ASSERT_NE(font, nullptr) << c.subtype;
        EXPECT_EQ(font->IsCIDFont(), c.kind == 1) << c.subtype;
        EXPECT_EQ(dynamic_cast<TqzPD8bitFont*>(font) != nullptr, c.kind == 0) << c.subtype;
        EXPECT_EQ(font->GetFontType(), c.type) << c.subtype;
        EXPECT_TRUE(font->Matches("F1"));
        EXPECT_EQ(font->GetOrginalName(), "Foo");
    }
}

TEST(PDFont, DescriptorTellsProgramTypeAndEmbedding) {
    struct Case {
        const char* subtype;
        const char* baseFont;
        const char* programs;  // descriptor entries
        TqzPDFontType type;
        TqzPDFFontEmbeddingType embedding;
        bool program;  // a program stream is referenced
    };
    using T = TqzPDFontType;
    using E = TqzPDFFontEmbeddingType;
    const Case cases[] = {
        {"TrueType", "ABCDEF+Foo", "/FontFile2 5 0 R", T::TrueType, E::etSubset, true},
        {"TrueType", "Foo", "/FontFile2 5 0 R", T::TrueType, E::etFull, true},
        {"TrueType", "AB+Foo", "/FontFile2 5 0 R", T::TrueType, E::etFull, true},
        {"Type1", "Foo", "/FontFile2 5 0 R", T::TrueType, E::etFull, true},
        {"TrueType", "Foo", "/FontFile2 << >>", T::TrueType, E::etNone, false},
        {"Type1", "Foo", "/FontFile 5 0 R /FontFile2 6 0 R", T::Type1, E::etFull, true},
        {"TrueType", "Foo", "/FontFile3 6 0 R", T::TrueTypeOT, E::etFull, true},
        {"Type1", "Foo", "/FontFile3 7 0 R", T::Type1C, E::etFull, true},
        // Present, but of a kind not read: no program, type kept.
        {"Type1", "Foo", "/FontFile3 8 0 R", T::Type1, E::etFull, false},
        {"Type1", "Foo", "", T::Type1, E::etNone, false},
    };
    for (const Case& c : cases) {
        FontFile file(std::string("<< /Type /Font /Subtype /") + c.subtype + " /BaseFont /" + c.baseFont +
                      " /FontDescriptor << /Type /FontDescriptor /Flags 32 " + c.programs + " >> >>");
        file.WithStream(5, "<< >>", "program").WithStream(6, "<< /Subtype /OpenType >>", "otf");
        file.WithStream(7, "<< /Subtype /Type1C >>", "cff").WithStream(8, "<< /Subtype /Other >>", "x");
        TqzPDFont* font = file.Font();
        ASSERT_NE(font, nullptr);
        EXPECT_EQ(font->GetFontType(), c.type) << c.baseFont << " " << c.programs;
        EXPECT_EQ(font->GetEmbeddingType(), c.embedding) << c.baseFont << " " << c.programs;
        EXPECT_EQ(font->HasEmbeddedProgram(), c.program) << c.programs;
        EXPECT_EQ(font->GetEmbeddedFontStream() != nullptr, c.program) << c.programs;
    }
}

TEST(PDFont, DescriptorMetricsAreRoundedAndBounded) {
    struct Case {
        const char* entries;
        int32_t missingWidth;
        double ascent, descent;
        uint32_t flags;
    };
    const Case cases[] = {
        {"/Descent 200", 0, 0.95, -0.2, 2},
        {"/Descent -300 /Ascent 800", 0, 0.8, -0.3, 2},
        {"/Descent 0 /Ascent 0", 0, 0.95, -0.35, 2},  // zero keeps what was there
        {"/MissingWidth 250.6", 251, 0.95, -0.35, 2},
        {"/MissingWidth 250.5", 250, 0.95, -0.35, 2},
        {"/MissingWidth 251.5", 252, 0.95, -0.35, 2},
        {"/MissingWidth BIG /Ascent BIG /Descent -BIG", 100000, 100, -100, 2},
        {"/MissingWidth -99999999999999 /Flags 4", -100000, 0.95, -0.35, 4},
    };
    for (const Case& c : cases) {
        std::string entries = c.entries;
        for (size_t at = entries.find("BIG"); at != std::string::npos; at = entries.find("BIG")) {
            entries.replace(at, 3, "99999999999999.5");
        }
        FontFile file("<< /Type /Font /Subtype /TrueType /BaseFont /Foo /FontDescriptor << " + entries + " >> >>");
        TqzPDFont* font = file.Font();
        ASSERT_NE(font, nullptr);
        EXPECT_EQ(font->GetMissingWidth(), c.missingWidth) << c.entries;
        EXPECT_DOUBLE_EQ(font->GetAscent(), c.ascent) << c.entries;
        EXPECT_DOUBLE_EQ(font->GetDescent(), c.descent) << c.entries;
        EXPECT_EQ(font->GetFlags(), c.flags) << c.entries;
    }
    // Without a descriptor the flags say serif, proportional.
    FontFile bare("<< /Type /Font /Subtype /TrueType /BaseFont /Foo >>");
    ASSERT_NE(bare.Font(), nullptr);
    EXPECT_TRUE(bare.Font()->IsSerif());
    EXPECT_FALSE(bare.Font()->IsFixedWidth());
    EXPECT_FALSE(bare.Font()->IsSymbolic());
}

TEST(PDFont, EmbeddedProgramIsDecodedUpToTheCap) {
    FontFile file("<< /Type /Font /Subtype /TrueType /BaseFont /Foo /FontDescriptor << /FontFile2 5 0 R >> >>");
    file.WithStream(5, "<< >>", "font program bytes", true);
    TqzPDFont* font = file.Font();
    ASSERT_NE(font, nullptr);
    ASSERT_NE(font->GetEmbeddedFontStream(), nullptr);
    EXPECT_EQ(font->GetEmbeddedFontStream()->Bytes(), "font program bytes");

    FontFile bomb("<< /Type /Font /Subtype /TrueType /BaseFont /Foo /FontDescriptor << /FontFile2 5 0 R >> >>");
    bomb.Builder.SetRawStream(5, "<< /Filter /FlateDecode /Length " +
                                     std::to_string(qz::testing::FlateZeros(kMaxFontProgramSize + 1).size()) + " >>",
                              qz::testing::FlateZeros(kMaxFontProgramSize + 1));
    ASSERT_NE(bomb.Font(), nullptr);
    EXPECT_EQ(bomb.Font()->GetEmbeddedFontStream(), nullptr);
}

TEST(PDFont, ConversionsOfFileNumbersSaturate) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, int32_t> rounded[] = {
        {0.5, 0},      {1.5, 2},       {2.5, 2},         {-2.5, -2},     {250.6, 251},
        {nan, 0},      {inf, INT32_MAX}, {-inf, INT32_MIN}, {1e20, INT32_MAX}, {-1e20, INT32_MIN},
    };
    for (const auto& [value, expected] : rounded) EXPECT_EQ(RoundHalfEven(value), expected) << value;
    EXPECT_EQ(ClampGlyphUnits(nan), 0);
    EXPECT_EQ(ClampGlyphUnits(-inf), -kMaxGlyphUnits);
    EXPECT_EQ(SaturateInt32(int64_t{1} << 40), INT32_MAX);
    EXPECT_EQ(ConvertPixelToPoints(4), 3);
    EXPECT_EQ(ConvertPixelToPoints(nan), 0);
}

TEST(PDFont, Type3FontHasItsResources) {
    FontFile file(
        "<< /Type /Font /Subtype /Type3 /FontMatrix [0.002 0 0 0.002 0 0] /FontBBox [0 0 500 500] "
        "/CharProcs << >> /Encoding << /Differences [65 /a] >> /FirstChar 65 /LastChar 65 /Widths [500] "
        "/Resources << /Font << /G1 4 0 R >> >> >>");
    TqzPDFont* font = file.Font();
    ASSERT_NE(font, nullptr);
    ASSERT_NE(font->GetResources(), nullptr);
    EXPECT_EQ(font->GetResources(), font->GetResources());
    ASSERT_NE(font->GetFontMatrix(), nullptr);
    EXPECT_DOUBLE_EQ(font->GetFontMatrix()->FM11, 0.002);
    EXPECT_DOUBLE_EQ(font->GetCharWidth(65), 500);  // glyph units
}

}  // namespace
}  // namespace qz::content
