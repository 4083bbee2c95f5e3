// Simple fonts: the reader's names, encodings, widths and character
// decoding, and the writer's dictionaries and measuring.

#include "content/fonts/PD8bitFont.h"

#include <gtest/gtest.h>

#include <cmath>

#include "content/fonts/FontProcessor.h"
#include "content/fonts/qzFont.h"
#include "content/tests/FontTestSupport.h"
#include "core/PDArray.h"
#include "core/PDDictionary.h"
#include "core/PDInteger.h"
#include "core/PDName.h"
#include "core/PDReal.h"
#include "platform/Fonts.h"
#include "testing/TempDir.h"
#include "testing/Tools.h"

namespace qz::content {
namespace {

using testing::Decode;
using testing::FontFile;

TqzPD8bitFont* Simple(FontFile& file) { return file.Font<TqzPD8bitFont>(); }

TEST(PD8bitFont, StandardFontsTakeAliasEncodingAndWidths) {
    FontFile helvetica("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    TqzPD8bitFont* font = Simple(helvetica);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->GetFontName(), "Arial");
    EXPECT_EQ(font->GetBaseFont(), "Arial");
    EXPECT_EQ(font->GetEncodingName(), "StandardEncoding");
    EXPECT_EQ(font->GetEncoding(65), "A");
    EXPECT_DOUBLE_EQ(font->GetWidth(65), 0.667);
    // A code without a glyph keeps the missing width, never a negative one.
    EXPECT_DOUBLE_EQ(font->GetWidth(0), 0);
    EXPECT_DOUBLE_EQ(font->GetWidth(300), 0);
    EXPECT_EQ(Decode(*font, "A "), "65:A:0.667:0 32:space:0.278:0");

    FontFile symbol("<< /Type /Font /Subtype /Type1 /BaseFont /Symbol >>");
    ASSERT_NE(Simple(symbol), nullptr);
    EXPECT_EQ(Simple(symbol)->GetFontName(), "Symbol,Bold");
    EXPECT_EQ(Decode(*Simple(symbol), "a"), "97:alpha:0.631:0");

    // The explicit encoding replaces the ZapfDingbats table.
    FontFile zapf("<< /Type /Font /Subtype /Type1 /BaseFont /ZapfDingbats /Encoding /WinAnsiEncoding >>");
    ASSERT_NE(Simple(zapf), nullptr);
    EXPECT_EQ(Simple(zapf)->GetEncodingName(), "WinAnsiEncoding");
    EXPECT_EQ(Simple(zapf)->GetEncoding(0x80), "Euro");
}

TEST(PD8bitFont, WidthsFollowFirstAndLastChar) {
    struct Case {
        const char* entries;
        int32_t code;
        double width;
        bool fixed;
    };
    const Case cases[] = {
        // Without /LastChar no width is read: the missing width stays.
        {"/FirstChar 32 /Widths [600 600]", 32, 0.3, true},
        {"/FirstChar 32 /LastChar 33 /Widths [600 600]", 33, 0.6, true},
        {"/FirstChar 32 /LastChar 34 /Widths [600 500 600]", 33, 0.5, false},
        {"/FirstChar 32 /LastChar 40 /Widths [600 700]", 33, 0.7, false},
        {"/FirstChar 32 /LastChar 40 /Widths [600 700]", 34, 0.3, false},
        {"/FirstChar 32 /LastChar 33 /Widths [600 (x)]", 33, 0.3, true},
        // Past the last code the walk stops at 255.
        {"/FirstChar 250 /LastChar 300 /Widths [1 2 3 4 5 6 7 8 9 10 11 12]", 255, 0.006, false},
        {"/FirstChar 300 /LastChar 1 /Widths [100 200]", 1, 0.2, false},
    };
    for (const Case& c : cases) {
        FontFile file(std::string("<< /Type /Font /Subtype /TrueType /BaseFont /Foo /FontDescriptor << /Flags 32 "
                                  "/MissingWidth 300 >> ") +
                      c.entries + " >>");
        TqzPD8bitFont* font = Simple(file);
        ASSERT_NE(font, nullptr);
        EXPECT_DOUBLE_EQ(font->GetWidth(c.code), c.width) << c.entries;
        EXPECT_EQ(font->IsFixedWidth(), c.fixed) << c.entries;
    }
}

TEST(PD8bitFont, DifferencesWalkWithARunningCode) {
    FontFile file(
        "<< /Type /Font /Subtype /Type1 /BaseFont /Foo /FontDescriptor << /Flags 32 >> "
        "/Encoding << /BaseEncoding /WinAnsiEncoding /Differences [65 /Alpha /Beta 300 /x /y 255 /z "
        "9223372036854775807 /big /bigger] >> >>");
    TqzPD8bitFont* font = Simple(file);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->GetEncoding(65), "Alpha");
    EXPECT_EQ(font->GetEncoding(66), "Beta");
    EXPECT_EQ(font->GetEncoding(67), "C");
    EXPECT_EQ(font->GetEncoding(255), "z");
    EXPECT_EQ(font->GetEncoding(44), "comma");  // 300 and 301 are not 44 and 45
    EXPECT_EQ(font->GetEncodingName(), "CustomEncoding");
    EXPECT_EQ(font->GetBaseEncoding(), "WinAnsiEncoding");
    EXPECT_TRUE(font->HasDifferences());
    EXPECT_EQ(Decode(*font, "AC"), "913:Alpha:0:0 67:C:0.722:0");
}

TEST(PD8bitFont, CodesFollowTheFontKind) {
    struct Case {
        const char* font;
        const char* text;
        const char* decoded;
    };
    const Case cases[] = {
        // TrueType without an encoding reads WinAnsi: 0x80 is the euro sign.
        {"/Subtype /TrueType /BaseFont /Foo /FontDescriptor << /Flags 32 >> /Encoding /WinAnsiEncoding /Widths [0]",
         "\x80", "8364::0:0"},
        {"/Subtype /TrueType /BaseFont /Foo /FontDescriptor << /Flags 32 >> /Widths [0]", "\x80", "128::0:0"},
        // Symbolic fonts keep the byte.
        {"/Subtype /TrueType /BaseFont /Foo /FontDescriptor << /Flags 4 >> /Widths [0]", "\x80", "128::0:0"},
        {"/Subtype /Type1 /BaseFont /Foo /FontDescriptor << /Flags 4 >> /Widths [0]", "A", "65::0:0"},
        {"/Subtype /Type1 /BaseFont /Foo /FontDescriptor << /Flags 32 >> /Widths [0]", "A\x80", "65:A:0:0 0::0:0"},
        // Symbol without a program maps its glyph's Unicode back to the byte.
        {"/Subtype /Type1 /BaseFont /Symbol /Encoding << /Differences [97 /alpha] >>", "a", "97:alpha:0.631:0"},
    };
    for (const Case& c : cases) {
        FontFile file(std::string("<< /Type /Font ") + c.font + " >>");
        ASSERT_NE(Simple(file), nullptr) << c.font;
        EXPECT_EQ(Decode(*Simple(file), c.text), c.decoded) << c.font;
    }
}

// ---- the writer ----

core::TqzPDDictionary* Dict(core::TqzPDBaseObject* object) {
    return object != nullptr && object->IsDict() ? static_cast<core::TqzPDDictionary*>(object) : nullptr;
}

double NumberOf(const core::TqzPDDictionary& dict, const char* key) {
    const core::TqzPDBaseObject* value = dict.LookUp(key);
    if (value == nullptr) return -12345;
    if (value->IsInteger()) return static_cast<double>(static_cast<const core::TqzPDInteger*>(value)->GetValue());
    if (value->IsReal()) return static_cast<const core::TqzPDReal*>(value)->GetValue();
    return -12345;
}

std::string NameOf(const core::TqzPDDictionary& dict, const char* key) {
    const core::TqzPDBaseObject* value = dict.LookUp(key);
    return value != nullptr && value->IsName() ? static_cast<const core::TqzPDName*>(value)->GetValue() : "";
}

TEST(PD8bitFont, WriterOfAStandardFontWritesItsMetrics) {
    document::TqzPDDocument document;
    document.NewDocument(0, 0, 612, 792);
    TqzPD8bitFont font(&document, nullptr, TqzFont("Helvetica", 12, 0, 0));
    font.SetTag("F9");
    font.CreateFontDict();
    core::TqzPDDictionary* dict = font.GetFontDict();
    ASSERT_NE(dict, nullptr);
    EXPECT_EQ(NameOf(*dict, "Subtype"), "TrueType");
    EXPECT_EQ(NameOf(*dict, "BaseFont"), "Helvetica");
    EXPECT_EQ(NameOf(*dict, "Name"), "F9");
    EXPECT_EQ(NumberOf(*dict, "FirstChar"), 32);
    EXPECT_EQ(NumberOf(*dict, "LastChar"), 255);
    const core::TqzPDBaseObject* widths = dict->LookUp("Widths");
    ASSERT_TRUE(widths != nullptr && widths->IsArray());
    EXPECT_EQ(static_cast<const core::TqzPDArray*>(widths)->GetLength(), 224);
    core::TqzPDDictionary* descriptor = Dict(dict->LookUp("FontDescriptor"));
    ASSERT_NE(descriptor, nullptr);
    EXPECT_EQ(NumberOf(*descriptor, "Ascent"), 718);
    EXPECT_EQ(descriptor->LookUp("FontFile2"), nullptr);
    // A second call writes nothing more.
    const int32_t last = document.GetLastObjectNumber();
    font.CreateFontDict();
    EXPECT_EQ(document.GetLastObjectNumber(), last);
}

// A TrueType program of the system: a font file of the installed set.
std::string SystemFontFile() {
    const auto found = platform::FindSystemFont(platform::PlatformFont{"Liberation Sans", 12, 0, 0});
    return found.has_value() ? found->File.string() : std::string();
}

TEST(PD8bitFont, EachWriterKeepsItsOwnProcessorResult) {
    document::TqzPDDocument document;
    document.NewDocument(0, 0, 612, 792);
    // A font whose program does not load falls back to the screen extent,
    // and does not take any other font with it.
    qz::testing::TempDir dir;
    TqzFont broken("Broken", 12, 0, 0);
    broken.SetFileName(dir.Write("broken.ttf", std::string(64, 'x')).string());
    TqzPD8bitFont bad(&document, nullptr, broken);
    EXPECT_NE(bad.GetErrorCode(), ErrorCodes::Success);
    EXPECT_FALSE(bad.GetFontName().empty());

    TqzFont good("Liberation Sans", 12, 0, 0);
    good.SetFileName(SystemFontFile());
    TqzPD8bitFont font(&document, nullptr, good);
    ASSERT_EQ(font.GetErrorCode(), ErrorCodes::Success);
    ASSERT_NE(font.GetFontProcessor(), nullptr);
    const platform::PlatformFont platformFont = good.GetPlatformFont();
    EXPECT_DOUBLE_EQ(font.GetWidth("Hello", platformFont), font.GetFontProcessor()->GetTextWidth(u"Hello"));
    // The table's widths and the measured text differ by hinting at most.
    EXPECT_LT(std::fabs(font.GetPDFCharSpacing("Hello", platformFont)), 0.5);
    EXPECT_EQ(font.GetPDFCharSpacing("", platformFont), 0);

    // A family the system lacks stands in as fontconfig's substitute, named.
    TqzPD8bitFont missing(&document, nullptr, TqzFont("No Such Family Qz", 12, 0, 0));
    EXPECT_EQ(missing.GetErrorCode(), ErrorCodes::Success);
    missing.CreateFontDict();
    ASSERT_NE(missing.GetFontDict(), nullptr);
    EXPECT_FALSE(NameOf(*missing.GetFontDict(), "BaseFont").empty());
}

TEST(PD8bitFont, WrittenFontFileIsEmbedded) {
    const std::string file = SystemFontFile();
    ASSERT_FALSE(file.empty());
    document::TqzPDDocument document;
    document.NewDocument(0, 0, 612, 792);
    TqzFont record("Liberation Sans", 12, 0, 0);
    record.SetFileName(file);
    TqzPD8bitFont font(&document, nullptr, record);
    font.CreateFontDict();
    core::TqzPDDictionary* dict = font.GetFontDict();
    ASSERT_NE(dict, nullptr);
    core::TqzPDDictionary* descriptor = Dict(dict->LookUp("FontDescriptor"));
    ASSERT_NE(descriptor, nullptr);
    const core::TqzPDBaseObject* program = descriptor->LookUp("FontFile2");
    ASSERT_TRUE(program != nullptr && program->IsStream());
    const auto* programDict = static_cast<const core::TqzPDStream*>(program)->GetDict();
    EXPECT_EQ(NumberOf(*programDict, "Length1"), static_cast<double>(font.GetEmbeddedFontStream()->Size()));
    EXPECT_GT(NumberOf(*dict, "LastChar"), NumberOf(*dict, "FirstChar"));
}

}  // namespace
}  // namespace qz::content
