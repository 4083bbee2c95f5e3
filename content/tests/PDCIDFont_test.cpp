// Composite fonts: the reader's CMap, widths and glyph map, and the writer's
// dictionaries, embedded program and the glyphs recorded for a save.

#include "content/fonts/PDCIDFont.h"

#include <gtest/gtest.h>

#include <iterator>
#include <sstream>

#include "content/DecodedBytes.h"
#include "content/fonts/FontProcessor.h"
#include "content/fonts/qzFont.h"
#include "content/tests/FontTestSupport.h"
#include "core/PDArray.h"
#include "core/PDDictionary.h"
#include "core/PDIndirectRef.h"
#include "core/PDInteger.h"
#include "core/PDName.h"
#include "core/PDStream.h"
#include "document/PDBaseDoc.h"
#include "document/PDPage.h"
#include "testing/TempDir.h"
#include "testing/Tools.h"

namespace qz::content {
namespace {

using testing::Decode;
using testing::FontFile;
using testing::Num;

// A Type 0 font over object 5, its descendant with `descendant` entries.
std::unique_ptr<FontFile> CompositeFile(const std::string& encoding, const std::string& descendant,
                                        const std::string& subtype = "CIDFontType2") {
    auto file = std::make_unique<FontFile>("<< /Type /Font /Subtype /Type0 /BaseFont /Foo /Encoding " + encoding +
                                           " /DescendantFonts [5 0 R] >>");
    file->With(5, "<< /Type /Font /Subtype /" + subtype +
                     " /BaseFont /Foo /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> "
                     "/FontDescriptor << /Flags 4 >> " +
                     descendant + " >>");
    return file;
}

TEST(PDCIDFont, WidthsFromWAndDW) {
    struct Case {
        const char* entries;
        uint32_t cid;
        double width;
    };
    const Case cases[] = {
        {"/W [1 [500 600] 10 20 1000]", 1, 0.5},  {"/W [1 [500 600] 10 20 1000]", 2, 0.6},
        {"/W [1 [500 600] 10 20 1000]", 15, 1},   {"/W [1 [500 600] 10 20 1000]", 21, 1},
        {"/W [5 [500 /x 700]]", 5, 0.5},          {"/W [5 [500 /x 700]]", 6, 0.7},
        {"/DW 500", 7, 0.5},                      {"", 7, 1},
        // A CID beyond 16 bits is not folded onto a small one.
        {"/W [70000 [250] 65537 65537 300]", 4464, 1}, {"/W [70000 [250] 65537 65537 300]", 1, 1},
        {"/W [-5 -1 300 0 [400] 3]", 0, 0.4},     {"/W [2 3]", 2, 1},
    };
    for (const Case& c : cases) {
        auto file = CompositeFile("/Identity-H", c.entries);
        TqzPDFont* font = file->Font();
        ASSERT_NE(font, nullptr);
        EXPECT_DOUBLE_EQ(font->GetCharWidth(c.cid), c.width) << c.entries << " cid " << c.cid;
    }
}

TEST(PDCIDFont, WidthExceptionsAreBounded) {
    std::string widths = "/W [0 [";
    for (size_t i = 0; i < kMaxCIDWidthExceptions + 100; ++i) widths += "1 ";
    auto file = CompositeFile("/Identity-H", widths + "] 7 7 500]");
    auto* font = file->Font<TqzPDCIDFont>();
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->GetWidths().Exceps.size(), kMaxCIDWidthExceptions);
}

TEST(PDCIDFont, DecodingThroughCMapAndGlyphMap) {
    struct Case {
        const char* encoding;
        const char* descendant;
        const char* subtype;
        std::string text;
        const char* decoded;
        bool vertical;
    };
    const Case cases[] = {
        {"/Identity-H", "/W [1 [500]]", "CIDFontType2", std::string("\0\1\0\12", 4), "1::0.5:0 10::1:0", false},
        {"/Identity-V", "/W [1 [500]]", "CIDFontType2", std::string("\0\1\0\12", 4), "1::0:0.5 10::0:1", true},
        // Any vertical CMap writes vertically, not Identity-V alone (A is
        // CID 34 there, given as its Unicode value without a program).
        {"/90ms-RKSJ-V", "/W [1 [500]]", "CIDFontType2", "A", "65::0:1", true},
        // A CID beyond the glyph map is its own glyph index.
        {"/Identity-H", "/CIDToGIDMap 6 0 R", "CIDFontType2", std::string("\0\1\0\5", 4), "8::1:0 5::1:0", false},
        // A descendant of another kind is not read: nothing decodes.
        {"/Identity-H", "", "CIDFontType0C", std::string("\0\1", 2), "- -", false},
        {"/NoSuchCMap", "", "CIDFontType2", std::string("\0\1", 2), "- -", false},
    };
    for (const Case& c : cases) {
        auto file = CompositeFile(c.encoding, c.descendant, c.subtype);
        file->WithStream(6, "<< >>", std::string("\0\7\0\10\0", 5));
        auto* font = file->Font<TqzPDCIDFont>();
        ASSERT_NE(font, nullptr);
        EXPECT_EQ(Decode(*font, c.text), c.decoded) << c.encoding << " " << c.descendant;
        EXPECT_EQ(font->WritingMode() == TqzWritingMode::wmVertical, c.vertical) << c.encoding;
    }
}

// ---- writing ----

std::string Text(const core::TqzPDBaseObject* object) {
    if (object == nullptr) return "none";
    if (object->IsInteger()) return std::to_string(static_cast<const core::TqzPDInteger*>(object)->GetValue());
    if (object->IsArray()) {
        const auto& array = static_cast<const core::TqzPDArray&>(*object);
        std::string out = "[";
        for (int32_t i = 0; i < array.GetLength(); ++i) out += (i ? " " : "") + Text(array.Get(i));
        return out + "]";
    }
    if (object->IsName()) return "/" + static_cast<const core::TqzPDName*>(object)->GetValue();
    return "?";
}

core::TqzPDDictionary* DictAt(core::TqzPDBaseObject* object) {
    return object != nullptr && object->IsDict() ? static_cast<core::TqzPDDictionary*>(object) : nullptr;
}

core::TqzPDDictionary* DescendantOf(TqzPDFont& font) {
    const core::TqzPDBaseObject* array = font.GetFontDict()->LookUp("DescendantFonts");
    return DictAt(static_cast<const core::TqzPDArray*>(array)->Get(0));
}

std::string ToUnicodeText(TqzPDFont& font) {
    core::TqzPDBaseObject* stream = font.GetFontDict()->LookUp("ToUnicode");
    std::string text;
    if (stream != nullptr && stream->IsStream()) AppendDecoded(*static_cast<core::TqzPDStream*>(stream), text, 1 << 20);
    return text;
}

TqzFont SystemFont() { return TqzFont("Liberation Sans", 12, 0, 0); }

TEST(PDCIDFont, WriterWritesFourObjectsAndTheProgram) {
    document::TqzPDDocument document;
    document.NewDocument(0, 0, 612, 792);
    const int32_t last = document.GetLastObjectNumber();
    TqzPDCIDFont font(&document, nullptr, SystemFont());
    font.SetTag("F7");
    font.CreateFontDict();
    core::TqzPDDictionary* type0 = font.GetFontDict();
    ASSERT_NE(type0, nullptr);
    EXPECT_EQ(static_cast<int32_t>(type0->GetObjNumber()), last + 1);
    EXPECT_EQ(Text(type0->LookUp("Encoding")), "/Identity-H");
    core::TqzPDDictionary* descendant = DescendantOf(font);
    ASSERT_NE(descendant, nullptr);
    EXPECT_EQ(static_cast<int32_t>(descendant->GetObjNumber()), last + 2);
    EXPECT_EQ(Text(descendant->LookUp("Subtype")), "/CIDFontType2");
    EXPECT_EQ(Text(descendant->LookUp("CIDToGIDMap")), "/Identity");
    EXPECT_EQ(Text(descendant->LookUp("W")), "[]");
    core::TqzPDDictionary* descriptor = DictAt(descendant->LookUp("FontDescriptor"));
    ASSERT_NE(descriptor, nullptr);
    EXPECT_EQ(static_cast<int32_t>(descriptor->GetObjNumber()), last + 3);
    EXPECT_FALSE(font.GetFontName().empty());
    EXPECT_EQ(Text(descriptor->LookUp("FontName")), "/" + font.GetFontName());
    // The whole program of the system font, so that glyph indices are its own.
    const core::TqzPDBaseObject* program = descriptor->LookUp("FontFile2");
    ASSERT_TRUE(program != nullptr && program->IsStream());
    ASSERT_NE(font.GetEmbeddedFontStream(), nullptr);
    EXPECT_EQ(font.GetEmbeddedFontStream()->Bytes().substr(0, 4), std::string("\0\1\0\0", 4));
    EXPECT_EQ(ToUnicodeText(font), "");
}

TEST(PDCIDFont, RecordedGlyphsCompleteWidthsAndToUnicode) {
    document::TqzPDDocument document;
    document.NewDocument(0, 0, 612, 792);
    TqzPDCIDFont writer(&document, nullptr, SystemFont());
    writer.CreateFontDict();
    // The font the resources make over the written dictionary records; a
    // second object over it writes what the first recorded.
    auto reader = MakeFont(&document, nullptr, "F1", writer.GetFontDict());
    auto other = MakeFont(&document, nullptr, "F1", writer.GetFontDict());
    auto* recording = dynamic_cast<TqzPDCIDFont*>(reader.get());
    ASSERT_NE(recording, nullptr);
    const platform::PlatformFont platformFont;
    const std::u16string text = u"abcd";
    const TqzCIDGlyph glyphs[] = {{5, 500, 0}, {3, 300, 1}, {4, 400, 2}, {9, 900, 3}, {5, 555, 3}};
    recording->ProcessUniscribe(text, platformFont, glyphs);
    EXPECT_EQ(writer.GetRecord(), recording->GetRecord());
    // A ligature and a character beyond the basic plane, each one glyph;
    // clusters outside the text give no text.
    const TqzCIDGlyph ligature[] = {{7, 700, 0}, {11, 1100, 2}, {12, 1200, 7}, {13, 1300, -1}};
    recording->ProcessUniscribe(u"fi\U0001F600", platformFont, ligature);
    other->Update();

    EXPECT_EQ(Text(DescendantOf(*other)->LookUp("W")), "[3 [300 400 500] 7 [700] 9 [900] 11 [1100 1200 1300]]");
    const std::string cmap = ToUnicodeText(*other);
    EXPECT_NE(cmap.find("1 begincodespacerange\r\n<0000><FFFF>\r\nendcodespacerange\r\n"), std::string::npos);
    EXPECT_NE(cmap.find("4 beginbfrange\r\n<0003><0003><0062>\r\n<0004><0004><0063>\r\n"
                        "<0005><0005><0061>\r\n<0009><0009><0064>\r\nendbfrange\r\n"),
              std::string::npos)
        << cmap;
    EXPECT_NE(cmap.find("2 beginbfchar\r\n<0007> <00660069>\r\n<000B> <D83DDE00>\r\nendbfchar"), std::string::npos)
        << cmap;
    EXPECT_EQ(cmap.find("<000C>"), std::string::npos);
    // A font nothing was recorded on changes nothing.
    auto plain = CompositeFile("/Identity-H", "/W [1 [500]]");
    ASSERT_NE(plain->Font(), nullptr);
    plain->Font()->Update();
    EXPECT_EQ(Text(DescendantOf(*plain->Font())->LookUp("W")), "[1 [500]]");
}

TEST(PDCIDFont, WrittenTextSurvivesTheSaveForOtherReaders) {
    RegisterContentFactories();
    document::TqzPDDocument document;
    document.NewDocument(0, 0, 612, 792);
    document::TqzPDBaseDoc& baseDoc = *document.GetBaseDoc();
    TqzPDCIDFont writer(&document, nullptr, SystemFont());
    writer.CreateFontDict();
    document::TqzPDPage& page = *document.GetPage(1);
    auto fonts = std::make_unique<core::TqzPDDictionary>(&baseDoc);
    fonts->Add("F1", std::make_unique<core::TqzPDIndirectRef>(writer.GetFontDict()->GetObjNumber(), 0));
    auto resources = std::make_unique<core::TqzPDDictionary>(&baseDoc);
    resources->Add("Font", std::move(fonts));
    page.GetDict()->SetKeyValue("Resources", std::move(resources));
    // Glyphs recorded on the resources' own font object, as the page writer
    // will; the save completes that font.
    auto* font = dynamic_cast<TqzPDCIDFont*>(page.GetResource()->LookUpFont("F1"));
    ASSERT_NE(font, nullptr);
    const std::string shown = font->RecordText(u"Hello fonts");
    ASSERT_EQ(shown.size(), 22u);
    std::string hex;
    for (const char c : shown) {
        hex += "0123456789ABCDEF"[static_cast<uint8_t>(c) >> 4];
        hex += "0123456789ABCDEF"[static_cast<uint8_t>(c) & 15];
    }
    core::TqzPDBaseObject* contents = baseDoc.AddNewObject(std::make_unique<core::TqzPDStream>(
        std::make_shared<core::TqzMemoryStream>("BT /F1 24 Tf 72 700 Td <" + hex + "> Tj ET"),
        std::make_unique<core::TqzPDDictionary>(&baseDoc)));
    page.GetDict()->SetKeyValue("Contents", std::make_unique<core::TqzPDIndirectRef>(contents->GetObjNumber(), 0));

    qz::testing::TempDir dir;
    const auto path = dir.File("written.pdf");
    document.SaveDocument(path, document::TqzPDSaveFlags{});
    EXPECT_TRUE(qz::testing::QpdfCheck(path).ok) << qz::testing::QpdfCheck(path).output;
    const auto fontsOut = qz::testing::RunProgram({"pdffonts", path.string()});
    ASSERT_TRUE(fontsOut.Succeeded()) << fontsOut.Describe();
    // type "CID TrueType", encoding Identity-H, embedded, not a subset, with a ToUnicode map
    ASSERT_NE(fontsOut.out.find("CID TrueType"), std::string::npos) << fontsOut.out;
    const std::string line = fontsOut.out.substr(fontsOut.out.find("CID TrueType"));
    std::istringstream words(line.substr(0, line.find('\n')));
    std::vector<std::string> columns{std::istream_iterator<std::string>(words), {}};
    ASSERT_GE(columns.size(), 6u) << fontsOut.out;
    EXPECT_EQ(columns[2], "Identity-H");
    EXPECT_EQ(columns[3], "yes");
    EXPECT_EQ(columns[5], "yes");
    const auto textOut = qz::testing::RunProgram({"pdftotext", path.string(), "-"});
    ASSERT_TRUE(textOut.Succeeded()) << textOut.Describe();
    EXPECT_NE(textOut.out.find("Hello fonts"), std::string::npos) << textOut.out;
}

}  // namespace
}  // namespace qz::content
