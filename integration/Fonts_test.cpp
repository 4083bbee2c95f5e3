// Our font models against outside readers, on files made at test time by
// pdfLaTeX, LuaLaTeX, Ghostscript, cairo (pdftocairo, rsvg-convert) and by
// hand, read through bench/fonts:
// - every font is what pdffonts says it is: name, type, encoding, embedded,
//   subset, Unicode map, object;
// - the text our decoding gives for each page's first text objects appears,
//   in order, in what pdftotext reads from that page;
// - the width our models give each code a page shows is the advance FreeType
//   reads from the embedded program (the URW font of the same metrics for a
//   standard font that is not embedded), to one unit in a thousand;
// - fonts we write (simple and composite) pass qpdf --check, are listed
//   embedded by pdffonts and read back by pdftotext;
// - hostile font data ends with a clear line, never a crash or a hang.

#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "content/ContentSetup.h"
#include "content/fonts/PD8bitFont.h"
#include "content/fonts/PDCIDFont.h"
#include "content/fonts/qzFont.h"
#include "document/PDDocument.h"
#include "document/PDPage.h"
#include "document/PDResource.h"
#include "integration/Fixtures.h"
#include "platform/Streams.h"
#include "testing/GTestSupport.h"
#include "testing/PdfBuilder.h"
#include "testing/TempDir.h"
#include "testing/Tools.h"

#ifndef QZ_FONTS_TOOL
#error "QZ_FONTS_TOOL must name the bench/fonts program"
#endif

namespace qz::integration {
namespace {

using testing::RunProgram;
using testing::RunResult;

// The fixtures of this suite (recipes in Fixtures.cpp, sources in
// FontFixtures.cpp) and what stands in the way of reading their text.
struct FontFile {
    std::string fixture;
    // Why our text cannot be pdftotext's; empty when it must be.
    std::string unreadable = "";
};
const std::vector<FontFile> kFontFiles = {
    {"fonts-pdftex"},
    {"fonts-lmodern"},
    // pdfTeX names the glyphs of its bitmap fonts a0 ... a255: the names
    // carry no Unicode and there is no ToUnicode map, so our decoding has
    // nothing to go by. pdftotext guesses the character from the number in
    // the name; a guess is no decoding, so we leave U+FFFD.
    {"fonts-type3", "glyph names a0 ... a255 without a ToUnicode map"},
    {"fonts-luatex"},
    {"fonts-gs"},
    {"fonts-cairo-luatex"},
    {"fonts-cairo-gs"},
    {"fonts-cjk"},
    {"fonts-cmaps"},
};

#define QZ_REQUIRE_FONT_TOOLS()                                                                   \
    QZ_REQUIRE_TOOLS("pdffonts", "pdftotext", "qpdf", "pdflatex", "lualatex", "gs", "pdftocairo", \
                     "rsvg-convert")

// ---- bench/fonts and pdffonts ----------------------------------------------

RunResult FontsTool(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {QZ_FONTS_TOOL};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv);
}

std::string FontsToolOutput(const std::vector<std::string>& args) {
    const RunResult r = FontsTool(args);
    if (!r.Succeeded()) throw testing::ToolError("bench/fonts failed: " + r.Describe());
    return r.out;
}

struct FontLine {
    std::string name, type, encoding;
    bool embedded = false, subset = false, unicode = false;
    int64_t object = -1, generation = -1;
    bool operator==(const FontLine&) const = default;
};

std::ostream& operator<<(std::ostream& os, const FontLine& f) {
    return os << f.name << " | " << f.type << " | " << f.encoding << " | emb " << f.embedded << " sub "
              << f.subset << " uni " << f.unicode << " | " << f.object << " " << f.generation;
}

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

// The table pdffonts prints (and bench/fonts in its words): two heading
// lines, then per font the name, the type (which may hold blanks), the
// encoding, three yes/no columns, object and generation.
std::vector<FontLine> ParseFontTable(const std::string& table) {
    std::vector<FontLine> fonts;
    std::istringstream in(table);
    std::string line;
    for (int32_t n = 0; std::getline(in, line); ++n) {
        if (n < 2 || line.empty()) continue;
        const std::vector<std::string> w = Words(line);
        if (w.size() < 8) throw testing::ToolError("a font line of too few columns: " + line);
        const size_t k = w.size();
        FontLine f;
        f.name = w[0];
        for (size_t i = 1; i + 6 < k; ++i) f.type += (f.type.empty() ? "" : " ") + w[i];
        f.encoding = w[k - 6];
        f.embedded = w[k - 5] == "yes";
        f.subset = w[k - 4] == "yes";
        f.unicode = w[k - 3] == "yes";
        f.object = std::stoll(w[k - 2]);
        f.generation = std::stoll(w[k - 1]);
        fonts.push_back(f);
    }
    return fonts;
}

std::vector<FontLine> PdffontsOf(const fs::path& pdf) {
    const RunResult r = RunProgram({"pdffonts", pdf.string()});
    if (!r.Succeeded()) throw testing::ToolError("pdffonts failed: " + r.Describe());
    return ParseFontTable(r.out);
}

TEST(Fonts, FixturesHoldEveryKindOfFont) {
    QZ_REQUIRE_FONT_TOOLS();
    std::set<std::string> types, encodings;
    bool embedded = false, standard = false;
    for (const auto& file : kFontFiles) {
        for (const FontLine& f : PdffontsOf(GetFixture(file.fixture).path)) {
            types.insert(f.type);
            encodings.insert(f.encoding);
            embedded |= f.embedded;
            standard |= !f.embedded;
        }
    }
    for (const char* type : {"Type 1", "Type 1C", "Type 3", "TrueType", "CID Type 0", "CID Type 0C",
                             "CID TrueType"}) {
        EXPECT_TRUE(types.count(type)) << type;
    }
    for (const char* encoding : {"Builtin", "Custom", "Standard", "WinAnsi", "Identity-H", "90ms-RKSJ-H",
                                 "UniJIS-UCS2-H"}) {
        EXPECT_TRUE(encodings.count(encoding)) << encoding;
    }
    EXPECT_TRUE(embedded && standard);
}

TEST(Fonts, EveryFontIsWhatPdffontsSays) {
    QZ_REQUIRE_FONT_TOOLS();
    for (const auto& file : kFontFiles) {
        SCOPED_TRACE(file.fixture);
        const fs::path& pdf = GetFixture(file.fixture).path;
        const std::vector<FontLine> theirs = PdffontsOf(pdf);
        const std::vector<FontLine> ours = ParseFontTable(FontsToolOutput({pdf.string()}));
        ASSERT_FALSE(theirs.empty());
        std::map<int64_t, FontLine> byObject;
        for (const FontLine& f : ours) EXPECT_TRUE(byObject.emplace(f.object, f).second) << "listed twice: " << f;
        for (const FontLine& f : theirs) {
            const auto found = byObject.find(f.object);
            if (found == byObject.end()) {
                ADD_FAILURE() << "we do not list " << f;
                continue;
            }
            EXPECT_EQ(found->second, f);
        }
        EXPECT_EQ(ours.size(), theirs.size());
    }
}

// ---- text ------------------------------------------------------------------

std::string WithoutWhitespace(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c != ' ' && c != '\n' && c != '\r' && c != '\t' && c != '\f') out += c;
    }
    return out;
}

// Our text of each page: the lines "page N: TEXT" of bench/fonts --text.
std::map<int32_t, std::vector<std::string>> OurPageTexts(const fs::path& pdf) {
    std::map<int32_t, std::vector<std::string>> pages;
    std::istringstream in(FontsToolOutput({"--text", pdf.string()}));
    for (std::string line; std::getline(in, line);) {
        int32_t page = 0;
        int consumed = 0;
        if (std::sscanf(line.c_str(), "page %d: %n", &page, &consumed) != 1 || consumed == 0) continue;
        pages[page].push_back(line.substr(static_cast<size_t>(consumed)));
    }
    return pages;
}

// Each of `texts` appears in `theirs`, each after the one before; blanks
// are left out on both sides (extractors put them where glyphs stand apart,
// producers rarely show them).
::testing::AssertionResult AppearInOrder(const std::vector<std::string>& texts, const std::string& theirs) {
    const std::string haystack = WithoutWhitespace(theirs);
    size_t from = 0;
    for (const std::string& text : texts) {
        const std::string needle = WithoutWhitespace(text);
        const size_t at = haystack.find(needle, from);
        if (at == std::string::npos) {
            return ::testing::AssertionFailure() << "our text \"" << text << "\" is not in pdftotext's (after "
                                                 << from << " bytes): \"" << theirs << "\"";
        }
        from = at + needle.size();
    }
    return ::testing::AssertionSuccess();
}

TEST(Fonts, FirstTextObjectsReadAsPdftotextReadsThem) {
    QZ_REQUIRE_FONT_TOOLS();
    for (const auto& file : kFontFiles) {
        SCOPED_TRACE(file.fixture);
        const Fixture& fixture = GetFixture(file.fixture);
        const auto ours = OurPageTexts(fixture.path);
        for (int32_t page = 1; page <= fixture.pages; ++page) {
            SCOPED_TRACE("page " + std::to_string(page));
            const auto found = ours.find(page);
            ASSERT_NE(found, ours.end()) << "no text read";
            for (const std::string& text : found->second) EXPECT_EQ(text.find("error:"), std::string::npos) << text;
            const ::testing::AssertionResult same =
                AppearInOrder(found->second, testing::PdfToText(fixture.path, page));
            if (file.unreadable.empty()) {
                EXPECT_TRUE(same);
            } else {
                // Nothing can be decoded: every character is U+FFFD.
                EXPECT_FALSE(same) << file.unreadable << ": the text now reads, so list the file as readable";
                for (const std::string& text : found->second) {
                    EXPECT_EQ(WithoutWhitespace(text).find_first_not_of("\xEF\xBF\xBD"), std::string::npos)
                        << file.unreadable << ": " << text;
                }
            }
        }
    }
}

// ---- widths ----------------------------------------------------------------

// One code a page shows, as bench/fonts --widths lists it.
struct ShownCode {
    uint32_t raw = 0;
    uint32_t code = 0;
    std::string name;  // "" without one
    uint32_t unicode = 0;
    double width = 0;
};

struct FontWidths {
    int64_t object = -1;
    std::string type;
    uint32_t flags = 0;
    int64_t program = 0;
    std::string name;
    std::vector<ShownCode> codes;
};

std::vector<FontWidths> OurWidths(const fs::path& pdf) {
    std::vector<FontWidths> fonts;
    std::istringstream in(FontsToolOutput({"--widths", pdf.string()}));
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> w = Words(line);
        if (w.empty()) continue;
        if (w[0] == "page") throw testing::ToolError("bench/fonts --widths: " + line);
        if (w[0] == "font") {
            // font OBJ GEN TYPE... FLAGS PROGRAM NAME
            if (w.size() < 7) throw testing::ToolError("bad font line: " + line);
            FontWidths f;
            f.object = std::stoll(w[1]);
            for (size_t i = 3; i + 3 < w.size(); ++i) f.type += (f.type.empty() ? "" : " ") + w[i];
            f.flags = static_cast<uint32_t>(std::stoul(w[w.size() - 3]));
            f.program = std::stoll(w[w.size() - 2]);
            f.name = w.back();
            fonts.push_back(f);
            continue;
        }
        // OBJ GEN RAW CODE NAME UNICODE WIDTH
        if (w.size() != 7 || fonts.empty() || std::stoll(w[0]) != fonts.back().object)
            throw testing::ToolError("bad code line: " + line);
        ShownCode c;
        c.raw = static_cast<uint32_t>(std::stoul(w[2], nullptr, 16));
        c.code = static_cast<uint32_t>(std::stoul(w[3]));
        c.name = w[4] == "-" ? "" : w[4];
        c.unicode = w[5] == "-" ? 0 : static_cast<uint32_t>(std::stoul(w[5], nullptr, 16));
        c.width = std::stod(w[6]);
        fonts.back().codes.push_back(c);
    }
    return fonts;
}

// The URW fonts Ghostscript and most systems stand in for the standard
// fonts with: same metrics, glyphs of the same names.
const std::map<std::string, std::string> kUrwFonts = {
    {"Courier", "NimbusMonoPS-Regular"},
    {"Courier-Bold", "NimbusMonoPS-Bold"},
    {"Courier-Oblique", "NimbusMonoPS-Italic"},
    {"Courier-BoldOblique", "NimbusMonoPS-BoldItalic"},
    {"Helvetica", "NimbusSans-Regular"},
    {"Helvetica-Bold", "NimbusSans-Bold"},
    {"Helvetica-Oblique", "NimbusSans-Italic"},
    {"Helvetica-BoldOblique", "NimbusSans-BoldItalic"},
    {"Times-Roman", "NimbusRoman-Regular"},
    {"Times-Bold", "NimbusRoman-Bold"},
    {"Times-Italic", "NimbusRoman-Italic"},
    {"Times-BoldItalic", "NimbusRoman-BoldItalic"},
    {"Symbol", "StandardSymbolsPS"},
    {"ZapfDingbats", "D050000L"},
};
const fs::path kUrwFolder = "/usr/share/fonts/type1/urw-base35";

class FreeTypeFace {
public:
    explicit FreeTypeFace(std::string program) : FProgram(std::move(program)) {
        if (FT_Init_FreeType(&FLibrary) != 0) throw testing::ToolError("FreeType does not start");
        if (FT_New_Memory_Face(FLibrary, reinterpret_cast<const FT_Byte*>(FProgram.data()),
                               static_cast<FT_Long>(FProgram.size()), 0, &FFace) != 0) {
            FFace = nullptr;
        }
    }
    ~FreeTypeFace() {
        if (FFace != nullptr) FT_Done_Face(FFace);
        FT_Done_FreeType(FLibrary);
    }
    FreeTypeFace(const FreeTypeFace&) = delete;
    FreeTypeFace& operator=(const FreeTypeFace&) = delete;

    FT_Face Face() const { return FFace; }

    // The glyph of code `raw` in the charmap (platform, encoding), or 0.
    FT_UInt InCharmap(FT_UShort platform, FT_UShort encoding, FT_ULong code) const {
        for (FT_Int i = 0; i < FFace->num_charmaps; ++i) {
            FT_CharMap map = FFace->charmaps[i];
            if (map->platform_id == platform && map->encoding_id == encoding) {
                if (FT_Set_Charmap(FFace, map) != 0) return 0;
                return FT_Get_Char_Index(FFace, code);
            }
        }
        return 0;
    }
    FT_UInt InEncoding(FT_Encoding encoding, FT_ULong code) const {
        if (FT_Select_Charmap(FFace, encoding) != 0) return 0;
        return FT_Get_Char_Index(FFace, code);
    }
    FT_UInt ByName(const std::string& name) const {
        return name.empty() ? 0 : FT_Get_Name_Index(FFace, name.c_str());
    }

    // The advance of glyph `glyph` in thousandths of an em; -1 when it
    // does not load.
    double Advance(FT_UInt glyph) const {
        if (FT_Load_Glyph(FFace, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING) != 0) return -1;
        return static_cast<double>(FFace->glyph->metrics.horiAdvance) * 1000.0 / FFace->units_per_EM;
    }

private:
    std::string FProgram;
    FT_Library FLibrary = nullptr;
    FT_Face FFace = nullptr;
};

// The glyph of a shown code in the font program, found the way viewers
// find it for each kind of font; 0 when there is none.
FT_UInt GlyphOf(const FreeTypeFace& face, const FontWidths& font, const ShownCode& c) {
    if (font.type == "CID TrueType" || font.type == "CID Type 0C" || font.type == "CID Type 0C (OT)")
        return c.code;  // the model's code is the glyph index (or the CID a bare CFF is keyed by)
    if (font.type == "TrueType") {
        const bool symbolic = (font.flags & 4u) != 0;
        if (!symbolic && c.unicode != 0) {
            if (const FT_UInt g = face.InCharmap(3, 1, c.unicode)) return g;
        }
        if (const FT_UInt g = face.InCharmap(3, 0, 0xF000u + c.raw)) return g;
        if (const FT_UInt g = face.InCharmap(3, 0, c.raw)) return g;
        return face.InCharmap(1, 0, c.raw);
    }
    if (const FT_UInt g = face.ByName(c.name)) return g;
    // A Type 1 program's own encoding.
    if (const FT_UInt g = face.InEncoding(FT_ENCODING_ADOBE_CUSTOM, c.raw)) return g;
    return face.InEncoding(FT_ENCODING_ADOBE_STANDARD, c.raw);
}

// Compares the width of every code `pdf` shows with FreeType's advance of
// its glyph; returns the count compared and adds the kinds of font met.
int32_t CompareWidths(const fs::path& pdf, std::set<std::string>& kinds) {
    int32_t compared = 0;
    for (const FontWidths& font : OurWidths(pdf)) {
        SCOPED_TRACE(font.name + " (" + font.type + ", object " + std::to_string(font.object) + ")");
        std::string program;
        if (font.program > 0) {
            program = testing::QpdfShowObjectFilteredStream(pdf, static_cast<int32_t>(font.program));
        } else if (const auto urw = kUrwFonts.find(font.name); urw != kUrwFonts.end()) {
            program = platform::ReadFileBytes(kUrwFolder / (urw->second + ".t1"));
        } else {
            continue;  // no program to measure (Type 3, a composite font that is not embedded)
        }
        const FreeTypeFace face(program);
        if (face.Face() == nullptr) {
            ADD_FAILURE() << "FreeType does not read the program";
            continue;
        }
        for (const ShownCode& c : font.codes) {
            const FT_UInt glyph = GlyphOf(face, font, c);
            // A code without a glyph shows .notdef, whose width files
            // rarely agree on.
            if (glyph == 0) continue;
            const double advance = face.Advance(glyph);
            EXPECT_NEAR(c.width, advance, 1.0)
                << "code " << std::hex << c.raw << std::dec << " " << c.name << " glyph " << glyph;
            ++compared;
            kinds.insert(font.program > 0 ? font.type : "standard " + font.type);
        }
    }
    return compared;
}

TEST(Fonts, WidthsAreTheFontProgramsAdvances) {
    QZ_REQUIRE_FONT_TOOLS();
    int32_t compared = 0;
    std::set<std::string> kinds;
    for (const auto& file : kFontFiles) {
        SCOPED_TRACE(file.fixture);
        compared += CompareWidths(GetFixture(file.fixture).path, kinds);
    }
    EXPECT_GT(compared, 300);
    for (const char* kind : {"Type 1", "Type 1C", "TrueType", "CID TrueType", "CID Type 0C", "standard Type 1"})
        EXPECT_TRUE(kinds.count(kind)) << kind;
}

// ---- fonts we write ---------------------------------------------------------

const fs::path kTrueTypeFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// Glyph index and advance (glyph units) of each UTF-16 unit of `text` in the
// TrueType program `program`, one glyph per character as FreeType maps it.
std::vector<content::TqzCIDGlyph> GlyphsOf(const FreeTypeFace& face, const std::u16string& text) {
    std::vector<content::TqzCIDGlyph> glyphs;
    for (size_t i = 0; i < text.size(); ++i) {
        const FT_UInt glyph = face.InCharmap(3, 1, text[i]);
        content::TqzCIDGlyph g;
        g.GlyphIndex = static_cast<uint16_t>(glyph);
        g.Advance = static_cast<int32_t>(std::lround(face.Advance(glyph)));
        g.Cluster = static_cast<int32_t>(i);
        glyphs.push_back(g);
    }
    return glyphs;
}

std::string HexGlyphs(const std::vector<content::TqzCIDGlyph>& glyphs) {
    std::string hex;
    char buffer[8];
    for (const auto& g : glyphs) {
        std::snprintf(buffer, sizeof buffer, "%04X", g.GlyphIndex);
        hex += buffer;
    }
    return hex;
}

TEST(Fonts, WrittenFontsAreReadBackByOutsideReaders) {
    QZ_REQUIRE_TOOLS("qpdf", "pdffonts", "pdftotext");
    const std::string simpleText = "Simple TrueType text";
    const std::string standardText = "Standard font text";
    const std::u16string compositeText = u"Composite \u0391\u0392\u0393 \u0416 text";
    const std::string compositeUtf8 = "Composite \u0391\u0392\u0393 \u0416 text";
    const FreeTypeFace face(platform::ReadFileBytes(kTrueTypeFile));
    ASSERT_NE(face.Face(), nullptr);
    const auto glyphs = GlyphsOf(face, compositeText);
    for (const auto& g : glyphs) ASSERT_NE(g.GlyphIndex, 0) << "DejaVu Sans lacks a glyph of the text";

    // A page whose content shows the three texts with fonts F1 to F3, which
    // the file does not have yet: the page-content writer comes later, so
    // the operators are written here by hand.
    testing::PdfBuilder b;
    b.Add("<< /Type /Catalog /Pages 2 0 R >>");
    b.Add("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Add("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 400 200] /Contents 4 0 R /Resources << >> >>");
    b.AddStream("<< >>", "BT /F1 14 Tf 20 160 Td (" + simpleText + ") Tj ET\n"
                         "BT /F2 14 Tf 20 120 Td (" + standardText + ") Tj ET\n"
                         "BT /F3 14 Tf 20 80 Td <" + HexGlyphs(glyphs) + "> Tj ET\n");
    const testing::TempDir dir("qz-fonts");
    const fs::path in = dir.Write("in.pdf", b.Write());
    const fs::path out = dir.File("out.pdf");
    {
        content::RegisterContentFactories();
        document::TqzPDDocument doc;
        doc.LoadDocument(in);
        document::TqzPDPage* page = doc.GetPage(1);
        ASSERT_NE(page, nullptr);

        content::TqzFont trueType("DejaVu Sans", 14, 0, 0);
        trueType.SetFileName(kTrueTypeFile.string());
        content::TqzPD8bitFont simple(&doc, page, trueType);
        simple.CreateFontDict();
        content::TqzPD8bitFont standard(&doc, page, content::TqzFont("Helvetica", 14, 0, 0));
        standard.CreateFontDict();
        content::TqzPDCIDFont composite(&doc, page, trueType);
        composite.CreateFontDict();
        for (auto [tag, font] : {std::pair<const char*, content::TqzPDFont*>{"F1", &simple}, {"F2", &standard},
                                 {"F3", &composite}}) {
            ASSERT_NE(font->GetBaseObject(), nullptr) << tag;
            page->AddResource(document::TqzPDResourceType::resFont, tag, font->GetBaseObject());
        }
        // The glyphs are recorded on the font the page's resources read
        // back from the written dictionary, as the content writer will.
        auto* shown = dynamic_cast<content::TqzPDCIDFont*>(page->GetResource()->LookUpFont("F3"));
        ASSERT_NE(shown, nullptr);
        shown->ProcessUniscribe(compositeText, trueType.GetPlatformFont(), glyphs);
        doc.SaveDocument(out, document::TqzPDSaveFlags{});
    }
    EXPECT_TRUE(testing::QpdfCheckPasses(out));

    const std::vector<FontLine> fonts = PdffontsOf(out);
    ASSERT_EQ(fonts.size(), 3u);
    std::map<std::string, FontLine> byType;
    for (const FontLine& f : fonts) byType[f.type] = f;
    ASSERT_TRUE(byType.count("TrueType") && byType.count("CID TrueType")) << fonts[0] << "\n" << fonts[1];
    EXPECT_TRUE(byType["CID TrueType"].embedded);
    EXPECT_TRUE(byType["CID TrueType"].unicode);
    EXPECT_EQ(byType["CID TrueType"].encoding, "Identity-H");
    int32_t embeddedTrueType = 0;
    for (const FontLine& f : fonts) {
        if (f.type == "TrueType" && f.embedded) ++embeddedTrueType;
        // The standard font has no program to embed.
        if (f.name == "Helvetica") {
            EXPECT_FALSE(f.embedded);
        }
    }
    EXPECT_EQ(embeddedTrueType, 1);

    const std::string text = WithoutWhitespace(testing::PdfToText(out, 1));
    for (const std::string& expected : {simpleText, standardText, compositeUtf8})
        EXPECT_NE(text.find(WithoutWhitespace(expected)), std::string::npos) << expected << " in " << text;

    // The widths written are the program's advances, the standard font's
    // those of its URW stand-in.
    std::set<std::string> kinds;
    EXPECT_GE(CompareWidths(out, kinds), 30);
    EXPECT_EQ(kinds, (std::set<std::string>{"TrueType", "CID TrueType", "standard TrueType"}));

    // Our own reading of the file agrees with pdffonts too.
    const std::vector<FontLine> ours = ParseFontTable(FontsToolOutput({out.string()}));
    EXPECT_EQ(ours.size(), fonts.size());
    for (const FontLine& f : fonts) {
        EXPECT_TRUE(std::find(ours.begin(), ours.end(), f) != ours.end()) << f;
    }
}

// ---- hostile font data -------------------------------------------------------

// A one-page file that shows `shown` (a string operand) with font F1,
// the font dictionary `font` (object 5) and `extra` objects 6, 7, ...
// (text, or streams "<<dict>>stream" as a pair).
struct HostileObject {
    std::string text;
    std::string data = "";  // stream data; a stream when not empty
};

std::string HostileFile(const std::string& shown, const std::vector<HostileObject>& objects) {
    testing::PdfBuilder b;
    b.Add("<< /Type /Catalog /Pages 2 0 R >>");
    b.Add("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Add("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R"
          " /Resources << /Font << /F1 5 0 R >> >> >>");
    b.AddStream("<< >>", "BT /F1 12 Tf 10 100 Td " + shown + " Tj ET\n");
    for (const HostileObject& o : objects) {
        if (o.data.empty()) {
            b.Add(o.text);
        } else {
            b.AddStream(o.text, o.data);
        }
    }
    return b.Write();
}

TEST(Fonts, HostileFontDataEndsWithAClearLine) {
    const std::string trueType = platform::ReadFileBytes(kTrueTypeFile);
    const std::string type0 = "<< /Type /Font /Subtype /Type0 /BaseFont /Bad /Encoding /Identity-H"
                              " /DescendantFonts [6 0 R] >>";
    const std::string cidSystemInfo = " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >>";
    struct Case {
        std::string name;
        std::string shown;
        std::vector<HostileObject> objects;
    };
    const std::vector<Case> cases = {
        {"absurd descriptor and widths", "(ABC)",
         {{"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /FirstChar -5 /LastChar 4000000000"
           " /Widths [1e308 -1e308 1e40 NaN 99999999999999999999] /FontDescriptor 6 0 R"
           " /Encoding << /Differences [4000000000 /A -7 /B 65 /C] >> >>"},
          {"<< /Type /FontDescriptor /FontName /Helvetica /Flags 4294967295 /Ascent 1e300 /Descent -1e300"
           " /MissingWidth 1e40 /FontBBox [1e300 -1e300 1e300 1e300] /ItalicAngle 1e50 /StemV -1e300 >>"}}},
        {"/W over every CID and beyond", "<0000FFFF4141>",
         {{type0},
          {"<< /Type /Font /Subtype /CIDFontType2 /BaseFont /Bad" + cidSystemInfo +
           " /W [0 4294967295 500 4294967290 [1e300 2 3] -5 -1 7 0 99999999999 1] /DW 1e300 >>"}}},
        {"an embedded CMap that uses itself", "<41424344>",
         {{"<< /Type /Font /Subtype /Type0 /BaseFont /Bad /Encoding 7 0 R /DescendantFonts [6 0 R] >>"},
          {"<< /Type /Font /Subtype /CIDFontType0 /BaseFont /Bad" + cidSystemInfo + " >>"},
          {"<< /Type /CMap /CMapName /Loop /UseCMap 7 0 R >>",
           "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /Loop def\n"
           "/Loop usecmap\n1 begincodespacerange <00> <FF> endcodespacerange\n"
           "1 begincidrange <00> <FF> 1 endcidrange\nendcmap CMapName currentdict /CMap defineresource pop end end\n"}}},
        {"a CMap with a range of every four-byte code", "<00000000FFFFFFFF>",
         {{"<< /Type /Font /Subtype /Type0 /BaseFont /Bad /Encoding 7 0 R /DescendantFonts [6 0 R] >>"},
          {"<< /Type /Font /Subtype /CIDFontType0 /BaseFont /Bad" + cidSystemInfo + " >>"},
          {"<< /Type /CMap /CMapName /Huge >>",
           "begincmap\n1 begincodespacerange <00000000> <FFFFFFFF> endcodespacerange\n"
           "1 begincidrange <00000000> <FFFFFFFF> 0 endcidrange\n"
           "1 beginbfrange <00000000> <FFFFFFFF> <0041> endbfrange\nendcmap\n"}}},
        {"a TrueType program of garbage", "(ABC)",
         {{"<< /Type /Font /Subtype /TrueType /BaseFont /Bad /FirstChar 65 /LastChar 67 /Widths [500 500 500]"
           " /FontDescriptor 6 0 R >>"},
          {"<< /Type /FontDescriptor /FontName /Bad /Flags 32 /FontFile2 7 0 R >>"},
          {"<< >>", std::string(4096, '\x5A')}}},
        {"a truncated TrueType program in a composite font", "<00240025>",
         {{type0},
          {"<< /Type /Font /Subtype /CIDFontType2 /BaseFont /Bad" + cidSystemInfo +
           " /FontDescriptor 7 0 R /CIDToGIDMap 8 0 R >>"},
          {"<< /Type /FontDescriptor /FontName /Bad /Flags 4 /FontFile2 9 0 R >>"},
          {"<< >>", std::string("\x00\x01", 2)},
          {"<< >>", trueType.substr(0, 1000)}}},
        {"a Type 3 glyph that shows itself", "(AAA)",
         {{"<< /Type /Font /Subtype /Type3 /FontBBox [0 0 1000 1000] /FontMatrix [0.001 0 0 0.001 0 0]"
           " /CharProcs << /A 6 0 R >> /Encoding << /Differences [65 /A] >> /FirstChar 65 /LastChar 65"
           " /Widths [1000] /Resources << /Font << /F1 5 0 R >> >> >>"},
          {"<< >>", "1000 0 d0 BT /F1 12 Tf (A) Tj ET"}}},
        {"a CFF program of garbage", "(ABC)",
         {{"<< /Type /Font /Subtype /Type1 /BaseFont /ABCDEF+Bad /FontDescriptor 6 0 R >>"},
          {"<< /Type /FontDescriptor /FontName /ABCDEF+Bad /Flags 4 /FontFile3 7 0 R >>"},
          {"<< /Subtype /Type1C >>", "\x01\x00\x04\x01garbage"}}},
    };
    const testing::TempDir dir("qz-fonts-bad");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path pdf = dir.Write("bad.pdf", HostileFile(c.shown, c.objects));
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{pdf.string()}, {"--text", pdf.string()}, {"--widths", pdf.string()}}) {
            SCOPED_TRACE(args.front());
            const RunResult r = FontsTool(args);
            ASSERT_EQ(r.exitCode, 0) << r.Describe();
            EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << r.err;
            EXPECT_FALSE(r.out.empty());
        }
        // The font has its line.
        const std::vector<FontLine> listed = ParseFontTable(FontsToolOutput({pdf.string()}));
        ASSERT_EQ(listed.size(), 1u);
        EXPECT_EQ(listed[0].object, 5);
    }
}

TEST(Fonts, ToolRefusesWhatItCannotRead) {
    const testing::TempDir dir("qz-fonts-usage");
    const fs::path notPdf = dir.Write("letter.pdf", "This is a letter, not a PDF file.\n");
    const struct {
        std::vector<std::string> args;
        int32_t exit;
    } cases[] = {
        {{}, 2},
        {{"--text"}, 2},
        {{"--bogus", notPdf.string()}, 2},
        {{notPdf.string(), notPdf.string()}, 2},
        {{notPdf.string()}, 1},
        {{"--widths", (dir.Path() / "missing.pdf").string()}, 1},
    };
    for (const auto& c : cases) {
        const RunResult r = FontsTool(c.args);
        EXPECT_EQ(r.exitCode, c.exit) << r.Describe();
        EXPECT_FALSE(r.err.empty());
    }
}

}  // namespace
}  // namespace qz::integration
