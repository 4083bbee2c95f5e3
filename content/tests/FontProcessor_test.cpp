#include "content/fonts/FontProcessor.h"

#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TYPE1_TABLES_H
#include FT_TRUETYPE_TABLES_H

#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "platform/Streams.h"

using namespace qz::content;
namespace fs = std::filesystem;

namespace {

const fs::path kDejaVu = "/usr/share/fonts/truetype/dejavu";
const fs::path kSans = kDejaVu / "DejaVuSans.ttf";
const fs::path kMono = kDejaVu / "DejaVuSansMono.ttf";
const fs::path kOblique = kDejaVu / "DejaVuSans-Oblique.ttf";
const fs::path kSerif = "/usr/share/fonts/truetype/liberation2/LiberationSerif-Regular.ttf";
const fs::path kType1 = "/usr/share/fonts/type1/urw-base35";

// The same face opened straight through FreeType, to compare numbers with.
class DirectFace {
public:
    explicit DirectFace(const fs::path& file, FT_Long index = 0) {
        EXPECT_EQ(FT_Init_FreeType(&library_), 0);
        EXPECT_EQ(FT_New_Face(library_, file.c_str(), index, &face_), 0) << file;
    }
    ~DirectFace() {
        if (face_ != nullptr) FT_Done_Face(face_);
        FT_Done_FreeType(library_);
    }
    FT_Face operator->() const { return face_; }
    FT_Face get() const { return face_; }
    double U() const { return face_->units_per_EM / 1000.0; }
    // Advance of a character at `points` and 72 dpi, hinted as a default load is.
    FT_Pos Advance(FT_ULong c, int32_t points, bool vertical = false) const {
        FT_Set_Char_Size(face_, points * 64, points * 64, 72, 72);
        EXPECT_EQ(FT_Load_Char(face_, c, FT_LOAD_DEFAULT), 0);
        return vertical ? face_->glyph->metrics.vertAdvance : face_->glyph->advance.x;
    }

private:
    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
};

std::unique_ptr<TqzFontProcessor> Open(const fs::path& file, int32_t size = 12) {
    ErrorCodes error = ErrorCodes::InvalidArgument;
    auto processor = std::make_unique<TqzFontProcessor>(file, size, 96, 96, error);
    EXPECT_EQ(error, ErrorCodes::Success) << file;
    return processor;
}

struct Outline {
    ErrorCodes Error;
    TqzPointsList Points;
    double Advance = 0;
};

Outline Decompose(TqzFontProcessor& p, uint32_t code, const std::string& name, TGlyphType type, int32_t size = 12) {
    Outline o;
    double advanceHeight = 0;
    bool evenOdd = false, reverse = false;
    o.Error = p.DecomposeOutlineGlyph(code, code, name, size, o.Points, o.Advance, advanceHeight, evenOdd, reverse,
                                      type);
    return o;
}

// Splits a point list into its records, failing on a malformed one.
std::vector<std::vector<double>> Records(const TqzPointsList& points) {
    std::vector<std::vector<double>> records;
    for (size_t i = 0; i < points.size();) {
        const double op = points[i];
        EXPECT_TRUE(op == 1 || op == 2 || op == 3 || op == 4) << op;
        const size_t count = op == 3 ? 2 : op == 4 ? 3 : 1;
        EXPECT_LE(i + 1 + 2 * count, points.size());
        records.emplace_back(points.begin() + static_cast<std::ptrdiff_t>(i),
                             points.begin() + static_cast<std::ptrdiff_t>(std::min(points.size(), i + 1 + 2 * count)));
        i += 1 + 2 * count;
    }
    return records;
}

// A stream that claims a size it never holds.
class ClaimingStream final : public qz::platform::Stream {
public:
    explicit ClaimingStream(int64_t size) : size_(size) {}
    int64_t Read(void*, int64_t) override {
        ++reads;
        return 0;
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t, qz::platform::SeekOrigin) override { return 0; }
    int64_t Size() override { return size_; }
    void SetSize(int64_t) override {}
    int32_t reads = 0;

private:
    int64_t size_;
};

}  // namespace

TEST(FontProcessor, FaceMetricsMatchFreeType) {
    struct Case {
        fs::path File;
        uint32_t Flags;
    };
    for (const Case& c : {Case{kSans, 34}, Case{kMono, 35}, Case{kSerif, 34}}) {
        SCOPED_TRACE(c.File);
        auto p = Open(c.File);
        DirectFace ft(c.File);
        const double u = ft.U();
        EXPECT_EQ(p->get_UnitsPerEm(), u);
        EXPECT_EQ(p->get_Ascent(), std::nearbyint(ft->ascender / u));
        EXPECT_EQ(p->get_Descent(), std::nearbyint(ft->descender / u));
        EXPECT_EQ(p->get_MaxWidth(), std::nearbyint(ft->max_advance_width / u));
        EXPECT_EQ(p->get_GlobalBBox().Bottom, std::nearbyint(static_cast<double>(ft->bbox.yMax) / u));
        EXPECT_EQ(p->get_Flags(), c.Flags);
        EXPECT_EQ(p->get_ItalicAngle(), 0);
        EXPECT_EQ(p->get_FamilyName(), ft->family_name);
        EXPECT_EQ(p->get_PostscriptName(), FT_Get_Postscript_Name(ft.get()));
        EXPECT_EQ(p->get_FaceCount(), 1);
        EXPECT_GT(p->get_CapHeight(), 0);
        // Widths of codes 32..255, unscaled; nothing outside.
        EXPECT_EQ(p->get_FirstCharCode(), 32);
        EXPECT_EQ(p->get_LastCharCode(), 255);
        for (const uint32_t code : {uint32_t{'A'}, uint32_t{'i'}, uint32_t{0xE9}}) {
            ASSERT_EQ(FT_Load_Char(ft.get(), code, FT_LOAD_NO_SCALE), 0);
            EXPECT_EQ(p->GetGlyphWidth(static_cast<int32_t>(code)),
                      std::nearbyint(static_cast<double>(ft->glyph->metrics.horiAdvance) / u));
        }
        EXPECT_EQ(p->GetGlyphWidth(31), 0);
        EXPECT_EQ(p->GetGlyphWidth(256), 0);
    }
}

// The ascent is rounded from ascender / (units per em / 1000).
TEST(FontProcessor, AscentOfDejaVuSans) {
    auto p = Open(kSans);
    EXPECT_EQ(p->get_UnitsPerEm(), 2.048);
    EXPECT_EQ(p->get_Ascent(), 928);  // 1901 / 2.048 = 928.2
}

TEST(FontProcessor, TextWidthIsTheSumOfAdvancesAndHeightTheVerticalAdvance) {
    auto p = Open(kSans, 20);
    DirectFace ft(kSans);
    const double a = std::nearbyint(static_cast<double>(ft.Advance('A', 20)) / 64.0);
    const double v = std::nearbyint(static_cast<double>(ft.Advance('V', 20)) / 64.0);
    EXPECT_EQ(p->GetTextWidth(u"AV"), a + v);
    EXPECT_EQ(p->GetTextWidth(u""), 0);
    EXPECT_EQ(p->GetTextWidth(u"\U0010FFFF"), 0);  // no glyph counts 0
    EXPECT_EQ(p->GetTextHeight(""), 0);
    // The synthesised vertical advance, not the 0 of a horizontal load.
    const double height = p->GetTextHeight("AV");
    EXPECT_GT(height, 0);
    EXPECT_EQ(height, std::nearbyint(static_cast<double>(ft.Advance('A', 20, true)) / 64.0));
}

TEST(FontProcessor, OutlinesByCodeIndexAndName) {
    auto p = Open(kSans);
    const Outline byCode = Decompose(*p, 'O', {}, TGlyphType::qzCharacterCode);
    ASSERT_EQ(byCode.Error, ErrorCodes::Success);
    const auto records = Records(byCode.Points);
    ASSERT_GE(records.size(), 3u);
    EXPECT_EQ(records.front()[0], 1);  // starts with a move
    // Above the baseline y is negative; nothing is far outside the em.
    double minY = 0;
    for (const auto& r : records)
        for (size_t i = 2; i < r.size(); i += 2) minY = std::min(minY, r[i]);
    EXPECT_LT(minY, -5);
    EXPECT_GT(minY, -12);

    DirectFace ft(kSans);
    const uint32_t index = FT_Get_Char_Index(ft.get(), 'O');
    const Outline byIndex = Decompose(*p, index, {}, TGlyphType::qzGlyphIndex);
    const Outline byName = Decompose(*p, 0, "O", TGlyphType::qzGlyphName);
    EXPECT_EQ(byIndex.Points, byCode.Points);
    EXPECT_EQ(byName.Points, byCode.Points);
    EXPECT_EQ(byCode.Advance, static_cast<double>(ft.Advance('O', 12)) / 64.0);

    struct Missing {
        uint32_t Code;
        std::string Name;
        TGlyphType Type;
    };
    for (const Missing& m : {Missing{0, "no.such.glyph", TGlyphType::qzGlyphName},
                             Missing{0x10FFFF, {}, TGlyphType::qzCharacterCode}}) {
        const Outline o = Decompose(*p, m.Code, m.Name, m.Type);
        EXPECT_EQ(o.Error, ErrorCodes::NoWindowsCharacterMapFound);
        EXPECT_TRUE(o.Points.empty());
    }
    const Outline beyond = Decompose(*p, 1u << 30, {}, TGlyphType::qzGlyphIndex);
    EXPECT_NE(beyond.Error, ErrorCodes::Success);
    EXPECT_TRUE(beyond.Points.empty());
}

TEST(FontProcessor, KerningMovesTheSecondGlyphOfAPair) {
    // Large enough that FreeType does not shrink the kerning to nothing.
    constexpr int32_t kSize = 40;
    auto p = Open(kSans, kSize);
    DirectFace ft(kSans);
    FT_Set_Char_Size(ft.get(), kSize * 64, kSize * 64, 72, 72);
    FT_Vector kern{};
    ASSERT_EQ(FT_Get_Kerning(ft.get(), FT_Get_Char_Index(ft.get(), 'A'), FT_Get_Char_Index(ft.get(), 'V'),
                             FT_KERNING_DEFAULT, &kern),
              0);
    ASSERT_NE(kern.x, 0);

    const Outline plain = Decompose(*p, 'V', {}, TGlyphType::qzCharacterCode, kSize);
    p->SetUseKerning(true);
    Decompose(*p, 'A', {}, TGlyphType::qzCharacterCode, kSize);
    const Outline kerned = Decompose(*p, 'V', {}, TGlyphType::qzCharacterCode, kSize);
    const auto a = Records(plain.Points), b = Records(kerned.Points);
    ASSERT_EQ(a.size(), b.size());
    for (size_t r = 0; r < a.size(); ++r)
        for (size_t i = 1; i < a[r].size(); i += 2) {
            EXPECT_DOUBLE_EQ(b[r][i], a[r][i] + static_cast<double>(kern.x) / 64.0);
            EXPECT_EQ(b[r][i + 1], a[r][i + 1]);
        }
}

TEST(FontProcessor, TextFormsMoveThePen) {
    auto p = Open(kSans);
    std::vector<TqzPointsList> drawn;
    const TqzOnDrawChar collect = [&](const TqzPointsList& points, double, double, bool, bool) {
        drawn.push_back(points);
    };
    const Outline o = Decompose(*p, 'O', {}, TGlyphType::qzCharacterCode);

    double x = 10;
    ASSERT_EQ(p->DecomposeOutlineGlyph(u"OA", 12, x, 5, TGlyphType::qzCharacterCode, collect), ErrorCodes::Success);
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(x, 10 + o.Advance);
    EXPECT_EQ(drawn[0][1], o.Points[1] + 10);
    EXPECT_EQ(drawn[0][2], o.Points[2] + 5);

    drawn.clear();
    p->set_NextXPos(0);
    EXPECT_EQ(p->DecomposeOutlineGlyph(u"OO", 12, TGlyphType::qzCharacterCode, collect), ErrorCodes::Success);
    ASSERT_EQ(drawn.size(), 2u);
    EXPECT_EQ(drawn[1][1], o.Points[1] + o.Advance);
    EXPECT_EQ(drawn[1][2], o.Points[2]);
    EXPECT_EQ(p->get_NextXPos(), 2 * o.Advance);

    drawn.clear();
    EXPECT_EQ(p->DecomposeOutlineGlyph(u"O\U0010FFFFO", 12, 1, 2, collect), ErrorCodes::NoWindowsCharacterMapFound);
    ASSERT_EQ(drawn.size(), 2u);  // the missing one is skipped
    EXPECT_EQ(drawn[1][1], o.Points[1] + 1 + o.Advance);
}

// Type 1 faces have a private dictionary and font info; reading them must
// fill records of ours, and the angle comes from there.
TEST(FontProcessor, Type1FacesGiveTheirItalicAngleAndForceBold) {
    for (const char* name : {"NimbusRoman-Italic.t1", "NimbusSans-Regular.t1", "NimbusSans-Bold.t1"}) {
        SCOPED_TRACE(name);
        auto p = Open(kType1 / name);
        DirectFace ft(kType1 / name);
        PS_FontInfoRec info{};
        PS_PrivateRec priv{};
        ASSERT_EQ(FT_Get_PS_Font_Info(ft.get(), &info), 0);
        ASSERT_EQ(FT_Get_PS_Font_Private(ft.get(), &priv), 0);
        EXPECT_EQ(p->get_ItalicAngle(), info.italic_angle);
        EXPECT_EQ((p->get_Flags() & 64) != 0, info.italic_angle != 0);
        EXPECT_EQ((p->get_Flags() & 262144) != 0, priv.force_bold != 0);
        EXPECT_GT(p->GetTextWidth(u"Hi"), 0);
    }
    auto italic = Open(kType1 / "NimbusRoman-Italic.t1");
    EXPECT_LT(italic->get_ItalicAngle(), 0);
}

TEST(FontProcessor, TrueTypeItalicAngleFromPostTable) {
    auto p = Open(kOblique);
    DirectFace ft(kOblique);
    const auto* post = static_cast<const TT_Postscript*>(FT_Get_Sfnt_Table(ft.get(), FT_SFNT_POST));
    ASSERT_NE(post, nullptr);
    EXPECT_EQ(p->get_ItalicAngle(), std::lround(static_cast<double>(post->italicAngle) / 65536.0));
    EXPECT_LT(p->get_ItalicAngle(), 0);
    EXPECT_EQ(p->get_Flags(), 34u + 64u);
}

TEST(FontProcessor, StreamCopiesTheProgramAndReportsUnusableOnes) {
    const std::string bytes = qz::platform::ReadFileBytes(kSans);
    {
        qz::platform::MemoryStream stream(bytes);
        stream.SetPosition(100);
        ErrorCodes error = ErrorCodes::InvalidArgument;
        TqzFontProcessor p(stream, 12, 96, 96, error);
        EXPECT_EQ(error, ErrorCodes::Success);
        EXPECT_EQ(p.get_FamilyName(), "");  // details are not read from a stream
        ASSERT_NE(p.GetFontStream(), nullptr);
        EXPECT_EQ(p.GetFontStream()->Bytes(), bytes);
        EXPECT_EQ(Decompose(p, 'O', {}, TGlyphType::qzCharacterCode).Error, ErrorCodes::Success);
    }
    EXPECT_EQ(Open(kSans)->GetFontStream(), nullptr);

    const std::string broken[] = {"", "garbage, not a font", bytes.substr(0, 12), bytes.substr(0, 400),
                                  "\x00\x01\x00\x00" + std::string(300, '\xFF')};
    for (const std::string& b : broken) {
        SCOPED_TRACE(b.size());
        qz::platform::MemoryStream stream(b);
        ErrorCodes error = ErrorCodes::Success;
        TqzFontProcessor p(stream, 12, 96, 96, error);
        EXPECT_NE(error, ErrorCodes::Success);
        EXPECT_EQ(p.GetTextWidth(u"AV"), 0);
        EXPECT_EQ(p.GetTextHeight("A"), 0);
        EXPECT_NE(Decompose(p, 'O', {}, TGlyphType::qzCharacterCode).Error, ErrorCodes::Success);
    }

    // A program cut after its tables' directory opens or fails, but every
    // question still answers.
    for (const size_t cut : {bytes.size() / 2, bytes.size() / 10}) {
        qz::platform::MemoryStream stream(bytes.substr(0, cut));
        ErrorCodes error = ErrorCodes::Success;
        TqzFontProcessor p(stream, 12, 96, 96, error);
        for (uint32_t code = 32; code < 0x300; code += 7) Decompose(p, code, {}, TGlyphType::qzCharacterCode);
        p.GetTextWidth(u"the quick brown fox");
    }
}

TEST(FontProcessor, ImpossibleSizesAreRefusedBeforeCopying) {
    const std::pair<int64_t, ErrorCodes> cases[] = {{int64_t{1} << 40, ErrorCodes::OutOfMemory},
                                                    {kMaxFontProgramSize + 1, ErrorCodes::OutOfMemory},
                                                    {-1, ErrorCodes::InvalidStreamOperation}};
    for (const auto& [size, expected] : cases) {
        ClaimingStream stream(size);
        ErrorCodes error = ErrorCodes::Success;
        TqzFontProcessor p(stream, 12, 96, 96, error);
        EXPECT_EQ(error, expected) << size;
        EXPECT_EQ(stream.reads, 0);
    }
}

TEST(FontProcessor, FilesThatCannotBeOpened) {
    const fs::path empty = fs::temp_directory_path() / ("qz_fontprocessor_empty_" + std::to_string(::getpid()));
    qz::platform::WriteFileBytes(empty, "");
    for (const fs::path& file : {empty, fs::path("/nonexistent/font.ttf"), fs::path()}) {
        SCOPED_TRACE(file);
        ErrorCodes error = ErrorCodes::Success;
        TqzFontProcessor p(file, 12, 96, 96, error);
        EXPECT_NE(error, ErrorCodes::Success);
        EXPECT_EQ(p.GetTextWidth(u"A"), 0);
    }
    fs::remove(empty);
}

TEST(FontProcessor, PlatformFontFromACollectionUsesFontconfigsFace) {
    const qz::platform::PlatformFont font{"Noto Sans CJK SC", 10, 0, 0};
    const auto ref = qz::platform::FindSystemFont(font);
    ASSERT_TRUE(ref);
    ASSERT_NE(ref->Index, 0) << "fonts-noto-cjk gives a collection with SC after other faces";
    ErrorCodes error = ErrorCodes::InvalidArgument;
    TqzFontProcessor p(&font, error);
    ASSERT_EQ(error, ErrorCodes::Success);
    EXPECT_EQ(p.get_FamilyName(), "Noto Sans CJK SC");
    EXPECT_GT(p.get_FaceCount(), ref->Index);
    ASSERT_NE(p.GetFontStream(), nullptr);
    EXPECT_EQ(p.GetFontStream()->Size(), static_cast<int64_t>(fs::file_size(ref->File)));  // the whole collection
    EXPECT_GT(p.GetTextWidth(u"\u4E2D"), 0);

    ErrorCodes none = ErrorCodes::Success;
    TqzFontProcessor missing(nullptr, none);
    EXPECT_EQ(none, ErrorCodes::InvalidFontObject);
}

TEST(FontProcessor, PlatformFontOfTheOfficeNames) {
    const qz::platform::PlatformFont font{"Arial", -11, qz::platform::fsBold, 0};
    ErrorCodes error = ErrorCodes::InvalidArgument;
    TqzFontProcessor p(&font, error);
    ASSERT_EQ(error, ErrorCodes::Success);
    EXPECT_EQ(p.get_FamilyName(), "Liberation Sans");
    EXPECT_EQ(p.get_StyleName(), "Bold");
}

// Sizes are taken as absolute values; the extremes neither overflow nor
// reach FreeType beyond what it scales to.
TEST(FontProcessor, PointSizesAtTheExtremes) {
    const double width12 = Open(kSans, 12)->GetTextWidth(u"AV");
    EXPECT_EQ(Open(kSans, -12)->GetTextWidth(u"AV"), width12);
    for (const int32_t size : {0, 1, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()}) {
        SCOPED_TRACE(size);
        auto p = Open(kSans, size);
        EXPECT_EQ(p->get_Ascent(), 928);  // unscaled details do not depend on the size
        EXPECT_GE(p->GetTextWidth(u"AV"), 0);
        EXPECT_LT(p->GetTextWidth(u"AV"), width12);
        const Outline o = Decompose(*p, 'O', {}, TGlyphType::qzCharacterCode, size);
        EXPECT_TRUE(o.Error == ErrorCodes::Success || o.Points.empty());
    }
    EXPECT_EQ(Decompose(*Open(kSans), 'O', {}, TGlyphType::qzCharacterCode, 1 << 20).Error,
              ErrorCodes::InvalidPixelSize);
}

// A bitmap font has no units per em to scale by: its widths and stem stay 0
// instead of dividing by zero, and its glyphs are no outlines.
TEST(FontProcessor, BitmapFaceHasNoScaledDetails) {
    const std::string glyphRows = "84\n84\n84\nFC\n84\n84\n84\n00\n";
    std::string bdf =
        "STARTFONT 2.1\nFONT -qz-test-medium-r-normal--8-80-75-75-c-60-iso10646-1\nSIZE 8 75 75\n"
        "FONTBOUNDINGBOX 6 8 0 -1\nSTARTPROPERTIES 4\nFONT_ASCENT 7\nFONT_DESCENT 1\n"
        "CHARSET_REGISTRY \"ISO10646\"\nCHARSET_ENCODING \"1\"\nENDPROPERTIES\nCHARS 2\n";
    for (const char* glyph : {"H\nENCODING 72\n", "one\nENCODING 49\n"})
        bdf += std::string("STARTCHAR ") + glyph + "SWIDTH 750 0\nDWIDTH 6 0\nBBX 6 8 0 -1\nBITMAP\n" + glyphRows + "ENDCHAR\n";
    bdf += "ENDFONT\n";
    const fs::path file = fs::temp_directory_path() / ("qz_fontprocessor_" + std::to_string(::getpid()) + ".bdf");
    qz::platform::WriteFileBytes(file, bdf);
    {
        auto p = Open(file, 8);
        EXPECT_EQ(p->get_UnitsPerEm(), 0);
        EXPECT_EQ(p->get_StemV(), 0);
        EXPECT_EQ(p->GetGlyphWidth('H'), 0);
        EXPECT_EQ(p->get_CapHeight(), 0);
        EXPECT_EQ(Decompose(*p, 'H', {}, TGlyphType::qzCharacterCode, 8).Error, ErrorCodes::NotAnOutlineGlyph);
    }
    fs::remove(file);
}
