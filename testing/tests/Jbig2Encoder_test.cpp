#include "testing/Jbig2Encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "testing/GTestSupport.h"
#include "testing/Jbig2Coders.h"
#include "testing/TempDir.h"
#include "testing/Tools.h"
#include "platform/Streams.h"

using namespace qz::testing;

namespace {

// jbig2dec decodes the writer's streams to exactly `expected`.
::testing::AssertionResult Jbig2decGives(const Jbig2Writer& w, const Jbig2Bitmap& expected) {
    const Jbig2decResult r = DecodeWithJbig2dec(w.Bytes(), w.GlobalBytes());
    // QZ_JBIG2_DUMP=DIR keeps every stream checked, numbered, for a look
    // with jbig2dec -v when a case fails.
    if (const char* dump = std::getenv("QZ_JBIG2_DUMP")) {
        static int32_t counter = 0;
        const std::string n = std::to_string(++counter);
        qz::platform::WriteFileBytes(std::string(dump) + "/page" + n + ".jb2", w.Bytes());
        qz::platform::WriteFileBytes(std::string(dump) + "/globals" + n + ".jb2", w.GlobalBytes());
    }
    if (!r.ok) return ::testing::AssertionFailure() << "jbig2dec failed: " << r.messages;
    const std::string diff = Jbig2Bitmap::Describe(expected, r.page);
    if (!diff.empty()) {
        return ::testing::AssertionFailure() << diff << "\njbig2dec said: " << r.messages;
    }
    // jbig2dec is silent on a sound stream; any warning marks a faulty fixture.
    if (!r.messages.empty()) return ::testing::AssertionFailure() << "jbig2dec: " << r.messages;
    return ::testing::AssertionSuccess();
}

Jbig2PageInfo Page(const Jbig2Bitmap& b) {
    Jbig2PageInfo p;
    p.width = static_cast<uint32_t>(b.Width());
    p.height = static_cast<uint32_t>(b.Height());
    return p;
}

}  // namespace

TEST(Jbig2Bitmap, PackedRowsAndPbmRoundTrip) {
    const Jbig2Bitmap b = Jbig2Bitmap::Noise(13, 3, 7);
    const std::string rows = b.PackedRows();
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(static_cast<uint8_t>(rows[1]) & 0x07u, 0u);  // padding bits stay 0
    EXPECT_EQ(Jbig2Bitmap::FromPackedRows(13, 3, rows), b);
    EXPECT_EQ(Jbig2Bitmap::FromPbm(b.ToPbm()), b);
    EXPECT_EQ(Jbig2Bitmap::FromPbm("P4\n# c\n3 1\n\xA0"), Jbig2Bitmap::FromPackedRows(3, 1, "\xA0"));
    EXPECT_THROW(Jbig2Bitmap::FromPbm("P1\n1 1\n1"), std::invalid_argument);
}

struct GenericCase {
    const char* name;
    Jbig2Bitmap bitmap;
    Jbig2GenericOptions options;
};

TEST(Jbig2Encoder, GenericRegionsDecodeWithJbig2dec) {
    QZ_REQUIRE_TOOLS("jbig2dec");
    const Jbig2Bitmap text = Jbig2Bitmap::TextLike(61, 37, 1);
    const Jbig2Bitmap noise = Jbig2Bitmap::Noise(45, 19, 2, 90);
    Jbig2Bitmap striped = text;  // repeated rows for typical prediction
    for (int32_t y = 0; y < striped.Height(); ++y) {
        if (y % 3 != 0) {
            for (int32_t x = 0; x < striped.Width(); ++x) striped.Set(x, y, striped.Get(x, y - 1));
        }
    }
    std::vector<GenericCase> cases;
    for (int32_t t = 0; t < 4; ++t) {
        cases.push_back({"text, nominal AT", text, {t, false, false, false, {}}});
        cases.push_back({"noise, nominal AT", noise, {t, false, false, false, {}}});
        cases.push_back({"repeated rows, TPGDON", striped, {t, true, false, false, {}}});
    }
    cases.push_back({"moved AT, template 0", text,
                     {0, false, false, false, {{-5, -1}, {4, -2}, {-1, -3}, {-7, 0}}}});
    cases.push_back({"moved AT, template 0, noise", noise,
                     {0, true, false, false, {{1, -1}, {-8, -2}, {0, -4}, {-3, 0}}}});
    cases.push_back({"moved AT, template 1", noise, {1, false, false, false, {{-4, -2}}}});
    cases.push_back({"moved AT, template 2", text, {2, true, false, false, {{5, -3}}}});
    cases.push_back({"moved AT, template 3", noise, {3, false, false, false, {{-6, 0}}}});
    cases.push_back({"MMR text", text, {0, false, true, false, {}}});
    cases.push_back({"MMR noise, end of block", noise, {0, false, true, true, {}}});
    cases.push_back({"one row", Jbig2Bitmap::Noise(9, 1, 3), {0, false, false, false, {}}});
    cases.push_back({"all black", Jbig2Bitmap(17, 5, 1), {2, true, false, false, {}}});
    cases.push_back({"all black MMR", Jbig2Bitmap(17, 5, 1), {0, false, true, false, {}}});

    for (const GenericCase& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ", template " + std::to_string(c.options.gbTemplate));
        Jbig2Writer w;
        w.PageInformation(Page(c.bitmap));
        w.GenericRegion(c.bitmap, {}, c.options);
        EXPECT_TRUE(Jbig2decGives(w, c.bitmap));
    }
}


TEST(Jbig2Encoder, CheckerSeesASinglePixel) {
    QZ_REQUIRE_TOOLS("jbig2dec");
    const Jbig2Bitmap text = Jbig2Bitmap::TextLike(40, 20, 5);
    Jbig2Writer w;
    w.PageInformation(Page(text));
    w.GenericRegion(text, {}, {});
    ASSERT_TRUE(Jbig2decGives(w, text));
    Jbig2Bitmap other = text;
    other.Set(39, 19, text.Get(39, 19) ^ 1u);
    EXPECT_FALSE(Jbig2decGives(w, other));
}

// Our two-dimensional coder writes the same bits as Ghostscript's
// CCITTFaxEncode (K -1, BlackIs1), long runs and make-up codes included.
TEST(Jbig2Encoder, MmrCodingMatchesGhostscript) {
    QZ_REQUIRE_TOOLS("gs");
    std::vector<Jbig2Bitmap> bitmaps{Jbig2Bitmap::TextLike(70, 30, 3),
                                     Jbig2Bitmap::Noise(33, 9, 4, 60)};
    // Runs of every length class up to beyond 2560 in both colours.
    Jbig2Bitmap runs(2900, 6);
    const std::vector<int32_t> lengths{1, 2, 63, 64, 65, 127, 640, 1728, 1791, 1792, 2559, 2560,
                                       2561, 2700};
    for (int32_t y = 0; y < runs.Height(); ++y) {
        int32_t x = 0;
        uint8_t colour = static_cast<uint8_t>(y % 2);
        for (size_t i = static_cast<size_t>(y); x < runs.Width(); ++i) {
            const int32_t len = lengths[(i * 7) % lengths.size()];
            for (int32_t k = 0; k < len && x < runs.Width(); ++k) runs.Set(x++, y, colour);
            colour ^= 1u;
        }
    }
    bitmaps.push_back(runs);
    for (const Jbig2Bitmap& b : bitmaps) {
        SCOPED_TRACE(std::to_string(b.Width()) + "x" + std::to_string(b.Height()));
        TempDir dir("qz-g4");
        dir.Write("in.bin", b.PackedRows());
        const std::string ps = "/in (" + dir.File("in.bin").string() + ") (r) file def\n" +
                               "/out (" + dir.File("g4.bin").string() + ") (w) file << /K -1 " +
                               "/Columns " + std::to_string(b.Width()) + " /Rows " +
                               std::to_string(b.Height()) +
                               " /BlackIs1 true /EndOfBlock false >> /CCITTFaxEncode filter def\n" +
                               "/buf 4096 string def\n" +
                               "{ in buf readstring exch out exch writestring not { exit } if } loop\n" +
                               "out closefile\n";
        const RunResult r = RunProgram({"gs", "-q", "-dNOSAFER", "-dNODISPLAY", "-dBATCH",
                                        dir.Write("g4.ps", ps).string()});
        ASSERT_TRUE(r.Succeeded()) << r.Describe();
        EXPECT_EQ(jbig2::EncodeMmr(b, false),
                  qz::platform::ReadFileBytes(dir.File("g4.bin")));
    }
}

namespace {

// Small deterministic generator for layouts.
struct Lcg {
    uint32_t state;
    int32_t Below(int32_t n) {
        state = state * 1664525u + 1013904223u;
        return static_cast<int32_t>((state >> 8) % static_cast<uint32_t>(n));
    }
};

std::vector<Jbig2Bitmap> Glyphs(uint32_t seed) {
    const std::vector<std::pair<int32_t, int32_t>> sizes{{5, 7}, {7, 7}, {6, 9}, {9, 9},
                                                         {4, 11}, {8, 11}, {11, 6}};
    std::vector<Jbig2Bitmap> glyphs;
    for (const auto& [w, h] : sizes) glyphs.push_back(Jbig2Bitmap::Glyph(w, h, seed++));
    return glyphs;
}

// Flips a few pixels of `b` and changes its size by (dw, dh).
Jbig2Bitmap Altered(const Jbig2Bitmap& b, int32_t dw, int32_t dh, uint32_t seed) {
    Jbig2Bitmap out = b.Crop(0, 0, b.Width() + dw, b.Height() + dh);
    Lcg rng{seed};
    for (int32_t k = 0; k < 3; ++k) {
        const int32_t x = rng.Below(out.Width()), y = rng.Below(out.Height());
        out.Set(x, y, out.Get(x, y) ^ 1u);
    }
    return out;
}

// Instances in lines of text over a width x height region, glyphs chosen
// at random, some touching or overlapping; every third one refined when
// `refine`, with size changes of at most 1 and offsets of at most 1.
std::vector<Jbig2TextInstance> Layout(const std::vector<Jbig2Bitmap>& symbols, int32_t width,
                                      int32_t height, uint32_t seed, bool refine) {
    Lcg rng{seed};
    std::vector<Jbig2TextInstance> out;
    for (int32_t line = 1; line + 12 <= height; line += 13) {
        int32_t x = rng.Below(3);
        while (true) {
            Jbig2TextInstance in;
            in.symbol = rng.Below(static_cast<int32_t>(symbols.size()));
            Jbig2Bitmap b = symbols[static_cast<size_t>(in.symbol)];
            if (refine && out.size() % 3 == 1) {
                in.refine = true;
                in.refined = Altered(b, rng.Below(3) - 1, rng.Below(3) - 1, rng.state);
                in.rdx = rng.Below(3) - 1;
                in.rdy = rng.Below(3) - 1;
                b = in.refined;
            }
            if (x + b.Width() > width) break;
            in.x = x;
            in.y = line + (11 - b.Height()) + rng.Below(2);
            out.push_back(in);
            x += b.Width() + rng.Below(5) - 1;
        }
    }
    return out;
}

Jbig2Bitmap Draw(int32_t width, int32_t height, const std::vector<Jbig2TextInstance>& instances,
                 const std::vector<Jbig2Bitmap>& symbols, Jbig2Combine op = Jbig2Combine::Or,
                 bool defaultPixel = false) {
    Jbig2Bitmap region(width, height, defaultPixel ? 1 : 0);
    for (const Jbig2TextInstance& in : instances) {
        region.Combine(in.refine ? in.refined : symbols[static_cast<size_t>(in.symbol)], in.x,
                       in.y, op);
    }
    return region;
}

// Glyphs sorted by height, then width: the order Huffman height and width
// deltas of tables B.4 and B.2 need.
std::vector<Jbig2Bitmap> SortedForHuffman(std::vector<Jbig2Bitmap> glyphs) {
    std::stable_sort(glyphs.begin(), glyphs.end(), [](const Jbig2Bitmap& a, const Jbig2Bitmap& b) {
        return a.Height() != b.Height() ? a.Height() < b.Height() : a.Width() < b.Width();
    });
    return glyphs;
}

}  // namespace

struct TextCase {
    const char* name;
    Jbig2SymbolDictOptions dict;
    Jbig2TextOptions text;
    bool globals = false;
};

TEST(Jbig2Encoder, SymbolDictionariesAndTextRegionsDecodeWithJbig2dec) {
    QZ_REQUIRE_TOOLS("jbig2dec");
    constexpr int32_t kWidth = 83, kHeight = 41;
    auto text = [](bool huffman, Jbig2Corner corner, bool transposed, int32_t logStrips,
                   int32_t dsOffset) {
        Jbig2TextOptions o;
        o.huffman = huffman;
        o.corner = corner;
        o.transposed = transposed;
        o.logStrips = logStrips;
        o.dsOffset = dsOffset;
        return o;
    };
    auto dict = [](bool huffman) {
        Jbig2SymbolDictOptions d;
        d.huffman = huffman;
        return d;
    };
    std::vector<TextCase> cases;
    for (bool huffman : {false, true}) {
        for (int32_t corner = 0; corner < 4; ++corner) {
            for (bool transposed : {false, true}) {
                cases.push_back({"corner", dict(huffman),
                                 text(huffman, static_cast<Jbig2Corner>(corner), transposed,
                                      corner, corner - 2)});
            }
        }
        // jbig2dec 0.19 decodes no refined instance of a Huffman text region
        // from the data that follows it, so only arithmetic ones are checked.
        if (!huffman) {
            Jbig2TextOptions refined = text(huffman, Jbig2Corner::BottomLeft, false, 1, 0);
            refined.refine = true;
            cases.push_back({"refined instances, template 0", dict(huffman), refined});
            refined.refineTemplate = 1;
            refined.corner = Jbig2Corner::TopRight;
            refined.transposed = true;
            cases.push_back({"refined instances, template 1, transposed", dict(huffman), refined});
            refined = text(huffman, Jbig2Corner::TopLeft, false, 2, 0);
            refined.refine = true;
            refined.refineAt = {{{-2, -1}, {1, 1}}};
            cases.push_back({"refined instances, moved AT", dict(huffman), refined});
        }
        Jbig2TextOptions xored = text(huffman, Jbig2Corner::TopLeft, false, 0, 1);
        xored.op = Jbig2Combine::Xor;
        cases.push_back({"XOR instances, dictionary in globals", dict(huffman), xored, true});
        Jbig2TextOptions anded = text(huffman, Jbig2Corner::BottomRight, false, 3, -16);
        anded.op = Jbig2Combine::And;
        anded.defaultPixel = true;
        cases.push_back({"AND on a black region", dict(huffman), anded});
    }
    Jbig2SymbolDictOptions moved = dict(false);
    moved.sdTemplate = 0;
    moved.at = {{-3, 0}, {2, -2}, {-1, -2}, {4, -1}};
    cases.push_back({"arithmetic dictionary, moved AT", moved, text(false, Jbig2Corner::TopLeft, false, 0, 0)});
    for (int32_t t = 1; t < 4; ++t) {
        Jbig2SymbolDictOptions d = dict(false);
        d.sdTemplate = t;
        cases.push_back({"arithmetic dictionary template", d, text(false, Jbig2Corner::TopLeft, false, 0, 0)});
    }
    Jbig2SymbolDictOptions mmr = dict(true);
    mmr.mmrCollective = true;
    cases.push_back({"Huffman dictionary, MMR height classes", mmr, text(true, Jbig2Corner::TopLeft, false, 0, 0)});
    Jbig2SymbolDictOptions b5 = dict(true);
    b5.huffmanDh = 1;
    b5.huffmanDw = 1;
    cases.push_back({"Huffman dictionary, tables B.5 and B.3", b5, text(true, Jbig2Corner::TopLeft, false, 0, 0)});
    Jbig2TextOptions otherTables = text(true, Jbig2Corner::TopLeft, false, 1, 0);
    otherTables.huffmanFs = 1;
    for (int32_t ds = 0; ds < 3; ++ds) {
        otherTables.huffmanDs = ds;
        otherTables.huffmanDt = ds;
        cases.push_back({"Huffman text, other tables", dict(true), otherTables});
    }
    Jbig2TextOptions allCodes = text(true, Jbig2Corner::TopLeft, false, 0, 0);
    allCodes.omitUnusedSymbolCodes = false;
    cases.push_back({"Huffman text, every symbol coded", dict(true), allCodes});

    uint32_t seed = 1;
    for (const TextCase& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.text.huffman ? ", Huffman" : ", arithmetic") +
                     ", corner " + std::to_string(static_cast<int32_t>(c.text.corner)) +
                     (c.text.transposed ? ", transposed" : "") + ", seed " + std::to_string(seed));
        std::vector<Jbig2Bitmap> glyphs = Glyphs(seed);
        if (c.dict.huffman && c.dict.huffmanDh == 0) glyphs = SortedForHuffman(glyphs);
        // Fewer instances than glyphs in one case leaves symbols unused.
        const std::vector<Jbig2TextInstance> instances =
            Layout(glyphs, kWidth, kHeight, seed++, c.text.refine);
        Jbig2Writer w;
        w.SetGlobal(c.globals);
        const uint32_t d = w.SymbolDictionary(glyphs, c.dict);
        w.SetGlobal(false);
        Jbig2PageInfo page;
        page.width = kWidth + 6;
        page.height = kHeight + 3;
        w.PageInformation(page);
        w.TextRegion({d}, kWidth, kHeight, instances, {5, 2}, c.text);
        Jbig2Bitmap expected(kWidth + 6, kHeight + 3);
        expected.Combine(Draw(kWidth, kHeight, instances, glyphs, c.text.op, c.text.defaultPixel),
                         5, 2, Jbig2Combine::Or);
        EXPECT_TRUE(Jbig2decGives(w, expected));
        EXPECT_EQ(w.GlobalBytes().empty(), !c.globals);
    }
}
