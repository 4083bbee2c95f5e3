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

struct PageCase {
    const char* name;
    bool defaultPixel;
    Jbig2Combine defaultOperator;
    bool overrideAllowed;
    std::vector<Jbig2Combine> ops;
};

TEST(Jbig2Encoder, PagesComposeRegionsWithTheirOperators) {
    QZ_REQUIRE_TOOLS("jbig2dec");
    using C = Jbig2Combine;
    const std::vector<PageCase> cases{
        {"every operator over white", false, C::Or, true, {C::Or, C::Xor, C::And, C::Xnor, C::Replace}},
        {"page operator AND over black", true, C::And, false, {C::And, C::And, C::And}},
        {"page operator XOR", false, C::Xor, false, {C::Xor, C::Xor}},
        {"overrides over black", true, C::Xnor, true, {C::Or, C::Replace, C::Xor, C::And}},
    };
    // Positions and sizes chosen to overlap, to be off byte boundaries and
    // to run past the page's right and bottom edges.
    const std::vector<std::array<int32_t, 4>> rects{
        {3, 4, 30, 20}, {20, 10, 33, 25}, {9, 0, 17, 41}, {61, 38, 20, 10}, {0, 19, 70, 9}};
    uint32_t seed = 40;
    for (const PageCase& c : cases) {
        SCOPED_TRACE(c.name);
        Jbig2PageInfo info;
        info.width = 70;
        info.height = 45;
        info.defaultPixel = c.defaultPixel;
        info.defaultOperator = c.defaultOperator;
        info.operatorOverrideAllowed = c.overrideAllowed;
        Jbig2Writer w;
        w.PageInformation(info);
        Jbig2Bitmap expected(70, 45, c.defaultPixel ? 1 : 0);
        for (size_t i = 0; i < c.ops.size(); ++i) {
            const auto& [x, y, width, height] = rects[i];
            const Jbig2Bitmap region = i % 2 == 0 ? Jbig2Bitmap::TextLike(width, height, seed++)
                                                  : Jbig2Bitmap::Noise(width, height, seed++, 70);
            const Jbig2RegionUse use =
                i % 2 == 0 ? Jbig2RegionUse::Immediate : Jbig2RegionUse::ImmediateLossless;
            w.GenericRegion(region, {x, y, c.ops[i], use}, {static_cast<int32_t>(i % 4), i == 1, false, false, {}});
            expected.Combine(region, x, y, c.ops[i]);
        }
        w.EndOfPage();
        EXPECT_TRUE(Jbig2decGives(w, expected));
    }
}

// Segment numbers that widen the referred-to fields, a four-byte page
// association, more than four referred-to segments (the long count form),
// end of page and end of file. Seven referred-to segments: jbig2dec 0.19
// reads floor((count + 1) / 8) bytes of retention bits in the long form
// instead of rounding up, which agrees with the format only for counts of
// 7, 15, 23, ...
TEST(Jbig2Encoder, SegmentHeaderFormsDecodeWithJbig2dec) {
    QZ_REQUIRE_TOOLS("jbig2dec");
    for (uint32_t firstNumber : {0u, 250u, 300u, 65530u, 70000u}) {
        for (bool huffman : {false, true}) {
            SCOPED_TRACE("first segment " + std::to_string(firstNumber) +
                         (huffman ? ", Huffman" : ", arithmetic"));
            Jbig2Writer w;
            w.SetNextSegmentNumber(firstNumber);
            w.SetLongPageAssociation(firstNumber % 4 == 0);
            std::vector<uint32_t> dictionaries;
            std::vector<Jbig2Bitmap> symbols;
            for (uint32_t k = 0; k < 7; ++k) {
                // Many symbols in few dictionaries used: long runs of unused codes.
                std::vector<Jbig2Bitmap> glyphs;
                for (uint32_t g = 0; g < (k == 2 ? 15u : 3u); ++g) {
                    glyphs.push_back(Jbig2Bitmap::Glyph(5 + static_cast<int32_t>(g / 4),
                                                        7 + static_cast<int32_t>(k), 100 * k + g));
                }
                Jbig2SymbolDictOptions d;
                d.huffman = huffman;
                w.SetGlobal(k < 2);
                dictionaries.push_back(w.SymbolDictionary(glyphs, d));
                symbols.insert(symbols.end(), glyphs.begin(), glyphs.end());
            }
            w.SetGlobal(false);
            Jbig2PageInfo info;
            info.width = 60;
            info.height = 30;
            w.PageInformation(info);
            std::vector<Jbig2TextInstance> instances;
            int32_t x = 1;
            for (int32_t s : {0, 4, 25, 26, 27, 27, 5, 31}) {
                Jbig2TextInstance in;
                in.symbol = s;
                in.x = x;
                in.y = 3;
                instances.push_back(in);
                x += symbols[static_cast<size_t>(s)].Width() + 1;
            }
            Jbig2TextOptions t;
            t.huffman = huffman;
            w.TextRegion(dictionaries, 60, 20, instances, {0, 5}, t);
            w.EndOfPage();
            w.EndOfFile();
            Jbig2Bitmap expected(60, 30);
            expected.Combine(Draw(60, 20, instances, symbols), 0, 5, Jbig2Combine::Or);
            EXPECT_TRUE(Jbig2decGives(w, expected));
        }
    }
}

TEST(Jbig2Encoder, StripedPagesOfUnknownHeightDecodeWithJbig2dec) {
    QZ_REQUIRE_TOOLS("jbig2dec");
    for (bool endOfPage : {false, true}) {
        SCOPED_TRACE(endOfPage ? "with end of page" : "without end of page");
        Jbig2PageInfo info;
        info.width = 53;
        info.height = kJbig2UnknownHeight;
        info.striped = true;
        info.maxStripeSize = 16;
        Jbig2Writer w;
        w.PageInformation(info);
        Jbig2Bitmap expected(53, 37);
        // Each region starts at its stripe's first row, where both a decoder
        // that places by the region's own y and one that places by the
        // stripe put it. The last region reaches the last stripe's end:
        // jbig2dec 0.19 ends such a page below its lowest region, not after
        // the last end-of-stripe row.
        const std::vector<std::array<int32_t, 3>> stripes{{0, 16, 15}, {16, 9, 27}, {28, 9, 36}};
        uint32_t seed = 60;
        for (const auto& [top, height, lastRow] : stripes) {
            const Jbig2Bitmap region = Jbig2Bitmap::TextLike(53, height, seed++);
            w.GenericRegion(region, {0, top}, {1, true, false, false, {}});
            expected.Combine(region, 0, top, Jbig2Combine::Or);
            w.EndOfStripe(static_cast<uint32_t>(lastRow));
        }
        if (endOfPage) w.EndOfPage();
        EXPECT_TRUE(Jbig2decGives(w, expected));
    }
}

struct RefinementCase {
    const char* name;
    Jbig2RefinementOptions options;
    bool refinePage;
};

TEST(Jbig2Encoder, RefinementRegionsDecodeWithJbig2dec) {
    QZ_REQUIRE_TOOLS("jbig2dec");
    const std::vector<RefinementCase> cases{
        {"template 0", {0, false, {{{-1, -1}, {-1, -1}}}}, false},
        {"template 0, TPGRON, moved AT", {0, true, {{{-3, -1}, {2, 1}}}}, false},
        {"template 1", {1, false, {}}, false},
        {"template 1, TPGRON", {1, true, {}}, false},
        {"template 0, refining the page", {0, false, {{{-1, -1}, {-1, -1}}}}, true},
        {"template 1, TPGRON, refining the page", {1, true, {}}, true},
    };
    uint32_t seed = 80;
    for (const RefinementCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Jbig2Bitmap reference = Jbig2Bitmap::TextLike(45, 27, seed++);
        // The refined bitmap: the reference with noise and a moved line.
        Jbig2Bitmap target = reference;
        const Jbig2Bitmap noise = Jbig2Bitmap::Noise(45, 27, seed++, 8);
        target.Combine(noise, 0, 0, Jbig2Combine::Xor);
        target.Combine(reference.Crop(0, 14, 45, 12), 1, 15, Jbig2Combine::Replace);
        Jbig2PageInfo info;
        info.width = 50;
        info.height = 31;
        info.mightContainRefinements = true;
        info.operatorOverrideAllowed = true;
        Jbig2Writer w;
        w.PageInformation(info);
        Jbig2Bitmap expected(50, 31);
        // jbig2dec 0.19 refines the page from its top-left corner wherever
        // the region lies, and keeps intermediate generic regions as not
        // implemented, so the page is refined at (0, 0) and the referred-to
        // region is an intermediate text region of one symbol.
        const int32_t x = c.refinePage ? 0 : 3, y = c.refinePage ? 0 : 2;
        if (c.refinePage) {
            w.GenericRegion(reference, {x, y}, {});
            w.PageRefinementRegion(target, reference, {x, y, Jbig2Combine::Replace}, c.options);
        } else {
            const uint32_t d = w.SymbolDictionary(std::vector<Jbig2Bitmap>{reference}, {});
            const uint32_t r = w.TextRegion({d}, reference.Width(), reference.Height(),
                                            {{0, 0, 0, false, {}, 0, 0}},
                                            {x, y, Jbig2Combine::Or, Jbig2RegionUse::Intermediate});
            w.RefinementRegion(target, r, {x, y}, c.options);
        }
        expected.Combine(target, x, y, Jbig2Combine::Or);
        EXPECT_TRUE(Jbig2decGives(w, expected));
    }
    // Refinement of a refinement: an intermediate refinement region refers
    // to an intermediate text region and is refined again onto the page.
    const Jbig2Bitmap base = Jbig2Bitmap::TextLike(37, 22, seed++);
    Jbig2Bitmap middle = base;
    middle.Combine(Jbig2Bitmap::Noise(37, 22, seed++, 10), 0, 0, Jbig2Combine::Xor);
    Jbig2Bitmap last = middle;
    last.Combine(Jbig2Bitmap::Noise(37, 22, seed++, 10), 0, 0, Jbig2Combine::Or);
    Jbig2PageInfo info;
    info.width = 44;
    info.height = 25;
    info.mightContainRefinements = true;
    Jbig2Writer w;
    w.PageInformation(info);
    const Jbig2Placement keep{5, 1, Jbig2Combine::Or, Jbig2RegionUse::Intermediate};
    const uint32_t d = w.SymbolDictionary(std::vector<Jbig2Bitmap>{base}, {});
    const uint32_t t = w.TextRegion({d}, 37, 22, {{0, 0, 0, false, {}, 0, 0}}, keep);
    const uint32_t r = w.RefinementRegion(middle, t, keep, {1, true, {}});
    w.RefinementRegion(last, r, {5, 1, Jbig2Combine::Or, Jbig2RegionUse::ImmediateLossless},
                       {0, true, {{{-2, -1}, {0, 1}}}});
    Jbig2Bitmap expected(44, 25);
    expected.Combine(last, 5, 1, Jbig2Combine::Or);
    EXPECT_TRUE(Jbig2decGives(w, expected));
}

struct RefAggCase {
    const char* name;
    bool huffman;
    int32_t refineTemplate;
    bool aggregates;    // besides single refinements
    bool refinedParts;  // aggregates with a refined instance
};

// A dictionary whose symbols refine and aggregate the symbols of the
// dictionary it imports, re-exports some of those, and a text region over
// it. Left out because jbig2dec 0.19 cannot decode them: Huffman-coded
// refinement/aggregate dictionaries (it ignores the arithmetic-coded data of
// a refinement there, and reads a symbol-ID code table in an aggregate
// instead of plain symbol-ID bits) and refined aggregate parts with
// refinement template 0 (it refines them with AT pixels (0, 0)).
TEST(Jbig2Encoder, RefinementAndAggregateSymbolsDecodeWithJbig2dec) {
    QZ_REQUIRE_TOOLS("jbig2dec");
    const std::vector<RefAggCase> cases{
        {"arithmetic, template 0, moved AT", false, 0, true, false},
        {"arithmetic, template 1, refined parts", false, 1, true, true},
        {"arithmetic, template 0, refinements only", false, 0, false, false},
    };
    uint32_t seed = 120;
    for (const RefAggCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Jbig2Bitmap> base = SortedForHuffman(Glyphs(seed++));
        Jbig2Writer w;
        Jbig2SymbolDictOptions a;
        a.huffman = c.huffman;
        const uint32_t first = w.SymbolDictionary(base, a);

        // Symbol 7 (after the 7 imported): base 1 refined, offsets (1, 0);
        // symbol 8: base 3 refined into another size, offsets (0, -1).
        std::vector<Jbig2NewSymbol> news;
        news.push_back({Altered(base[1], 0, 0, seed++), {{1, 0, 0, false, {}, 1, 0}}});
        news.push_back({Altered(base[3], 1, 0, seed++), {{3, 0, 0, false, {}, 0, -1}}});
        if (c.aggregates) {
            // Symbol 9: base 0 and base 2 side by side.
            Jbig2NewSymbol pair;
            pair.parts = {{0, 0, 2, false, {}, 0, 0}, {2, base[0].Width() + 1, 0, false, {}, 0, 0}};
            pair.bitmap =
                Draw(base[0].Width() + base[2].Width() + 1, base[2].Height(), pair.parts, base);
            news.push_back(pair);
            // Symbol 10: symbol 7 (new here) and base 4, refined or not.
            std::vector<Jbig2Bitmap> all = base;
            all.push_back(news[0].bitmap);
            Jbig2TextInstance second{4, all[7].Width(), 0, c.refinedParts,
                                     c.refinedParts ? Altered(base[4], 0, -1, seed++) : Jbig2Bitmap{},
                                     0, 0};
            Jbig2NewSymbol mixed;
            mixed.parts = {{7, 0, 1, false, {}, 0, 0}, second};
            mixed.bitmap = Draw(all[7].Width() + base[4].Width(), 12, mixed.parts, all);
            news.push_back(mixed);
        } else {
            news.push_back({Altered(base[5], -1, 1, seed++), {{5, 0, 0, false, {}, -1, 1}}});
            news.push_back({Altered(news[1].bitmap, 0, 0, seed++), {{8, 0, 0, false, {}, 0, 0}}});
        }

        Jbig2SymbolDictOptions b;
        b.huffman = c.huffman;
        b.refineAggregate = true;
        b.refineTemplate = c.refineTemplate;
        b.huffmanDh = 1;  // tables B.5 and B.3: heights and widths go down too
        b.huffmanDw = 1;
        if (c.refineTemplate == 0) b.refineAt = {{{-2, -1}, {1, 1}}};
        b.imports = {first};
        // Re-export base 2 and 5; export every new symbol but 8.
        b.exportFlags = {false, false, true, false, false, true, false, true, false, true, true};
        const uint32_t second = w.SymbolDictionary(news, b);
        const std::vector<Jbig2Bitmap>& exported = w.Exported(second);
        ASSERT_EQ(exported.size(), 5u);

        Jbig2PageInfo info;
        info.width = 80;
        info.height = 40;
        w.PageInformation(info);
        const std::vector<Jbig2TextInstance> instances = Layout(exported, 80, 40, seed++, false);
        Jbig2TextOptions t;
        t.huffman = c.huffman;
        w.TextRegion({second}, 80, 40, instances, {}, t);
        EXPECT_TRUE(Jbig2decGives(w, Draw(80, 40, instances, exported)));
    }
}

struct HalftoneCase {
    const char* name;
    int32_t patternCount;
    int32_t patternWidth;
    int32_t patternHeight;
    Jbig2PatternOptions patterns;
    Jbig2HalftoneOptions halftone;
};

TEST(Jbig2Encoder, PatternDictionariesAndHalftoneRegionsDecodeWithJbig2dec) {
    QZ_REQUIRE_TOOLS("jbig2dec");
    auto grid = [](int32_t t, bool mmr) {
        Jbig2HalftoneOptions h;
        h.hTemplate = t;
        h.mmr = mmr;
        h.vectorX = 4 * 256;
        return h;
    };
    std::vector<HalftoneCase> cases;
    for (int32_t t = 0; t < 4; ++t) {
        cases.push_back({"axis grid", 16, 4, 4, {t, false}, grid(t, false)});
    }
    cases.push_back({"MMR patterns and gray planes", 16, 4, 4, {0, true}, grid(0, true)});
    HalftoneCase rotated{"rotated grid, 5 patterns of 3x5", 5, 3, 5, {1, false}, grid(2, false)};
    rotated.halftone.gridX = 2 * 256 + 77;
    rotated.halftone.gridY = -3 * 256;
    rotated.halftone.vectorX = 3 * 256 + 100;
    rotated.halftone.vectorY = 256 + 40;
    rotated.halftone.op = Jbig2Combine::Xor;
    cases.push_back(rotated);
    // Overlapping cells. (jbig2dec 0.19 fills a region whose default pixel
    // is 1 with the byte 0x01 instead of 0xFF, so that case goes unchecked.)
    HalftoneCase two{"2 patterns in overlapping cells", 2, 6, 6, {3, false}, grid(1, false)};
    two.halftone.vectorX = 5 * 256;
    cases.push_back(two);
    HalftoneCase replaced{"REPLACE, MMR planes, 9 patterns", 9, 5, 3, {2, false}, grid(0, true)};
    replaced.halftone.vectorX = 4 * 256 + 128;
    replaced.halftone.op = Jbig2Combine::Replace;
    cases.push_back(replaced);

    uint32_t seed = 200;
    for (const HalftoneCase& c : cases) {
        SCOPED_TRACE(c.name);
        // Pattern g has about g / (count - 1) of its pixels black.
        std::vector<Jbig2Bitmap> patterns;
        for (int32_t g = 0; g < c.patternCount; ++g) {
            patterns.push_back(Jbig2Bitmap::Noise(c.patternWidth, c.patternHeight, seed++,
                                                  g * 256 / std::max(1, c.patternCount - 1)));
        }
        constexpr uint32_t kGridWidth = 12, kGridHeight = 9;
        std::vector<uint32_t> gray;
        Lcg rng{seed++};
        for (uint32_t m = 0; m < kGridHeight; ++m) {
            for (uint32_t n = 0; n < kGridWidth; ++n) {
                const auto ramp = static_cast<int32_t>((m + n) * static_cast<uint32_t>(c.patternCount) /
                                                       (kGridWidth + kGridHeight));
                gray.push_back(static_cast<uint32_t>(
                    std::clamp(ramp + rng.Below(3) - 1, 0, c.patternCount - 1)));
            }
        }
        constexpr int32_t kWidth = 45, kHeight = 38;
        const Jbig2HalftoneOptions& h = c.halftone;
        Jbig2Bitmap region(kWidth, kHeight, h.defaultPixel ? 1 : 0);
        for (uint32_t m = 0; m < kGridHeight; ++m) {
            for (uint32_t n = 0; n < kGridWidth; ++n) {
                const int64_t x = (h.gridX + int64_t{m} * h.vectorY + int64_t{n} * h.vectorX) >> 8;
                const int64_t y = (h.gridY + int64_t{m} * h.vectorX - int64_t{n} * h.vectorY) >> 8;
                region.Combine(patterns[gray[m * kGridWidth + n]], static_cast<int32_t>(x),
                               static_cast<int32_t>(y), h.op);
            }
        }
        Jbig2Writer w;
        const uint32_t d = w.PatternDictionary(patterns, c.patterns);
        Jbig2PageInfo info;
        info.width = kWidth + 7;
        info.height = kHeight + 2;
        w.PageInformation(info);
        w.HalftoneRegion(d, kWidth, kHeight, kGridWidth, kGridHeight, gray, {7, 1}, h);
        Jbig2Bitmap expected(kWidth + 7, kHeight + 2);
        expected.Combine(region, 7, 1, Jbig2Combine::Or);
        EXPECT_TRUE(Jbig2decGives(w, expected));
    }
}

// A dictionary with no new symbols that passes on every other symbol of
// the one it imports.
TEST(Jbig2Encoder, DictionariesReexportingImportedSymbolsDecodeWithJbig2dec) {
    QZ_REQUIRE_TOOLS("jbig2dec");
    for (bool huffman : {false, true}) {
        SCOPED_TRACE(huffman ? "Huffman" : "arithmetic");
        const std::vector<Jbig2Bitmap> glyphs = SortedForHuffman(Glyphs(300));
        Jbig2Writer w;
        Jbig2SymbolDictOptions d;
        d.huffman = huffman;
        const uint32_t first = w.SymbolDictionary(glyphs, d);
        d.imports = {first};
        for (size_t i = 0; i < glyphs.size(); ++i) d.exportFlags.push_back(i % 2 == 1);
        const uint32_t second = w.SymbolDictionary(std::vector<Jbig2Bitmap>{}, d);
        const std::vector<Jbig2Bitmap>& exported = w.Exported(second);
        ASSERT_EQ(exported.size(), glyphs.size() / 2);
        Jbig2PageInfo info;
        info.width = 64;
        info.height = 30;
        w.PageInformation(info);
        const std::vector<Jbig2TextInstance> instances = Layout(exported, 64, 30, 301, false);
        Jbig2TextOptions t;
        t.huffman = huffman;
        w.TextRegion({second}, 64, 30, instances, {}, t);
        EXPECT_TRUE(Jbig2decGives(w, Draw(64, 30, instances, exported)));
    }
}

// Table segments with user Huffman tables for the dictionary's height and
// width deltas and bitmap sizes and the text region's S and T deltas, in the
// page stream or among the globals.
TEST(Jbig2Encoder, UserHuffmanTablesDecodeWithJbig2dec) {
    QZ_REQUIRE_TOOLS("jbig2dec");
    // Every table has lower and upper lines, two an out-of-band line; the
    // width deltas reach the lower and upper lines of theirs.
    const Jbig2HuffmanTableSpec dh{0, {{2, 2}, {2, 3}, {3, 4}}, 4, 3, false, 0};
    const Jbig2HuffmanTableSpec dw{-2, {{2, 2}, {2, 3}, {3, 3}}, 4, 4, true, 3};
    const Jbig2HuffmanTableSpec bmSize{0, {{1, 5}, {2, 8}}, 3, 3, false, 0};
    const Jbig2HuffmanTableSpec fs{-8, {{2, 3}, {1, 5}, {3, 6}}, 4, 4, false, 0};
    const Jbig2HuffmanTableSpec ds{-3, {{2, 2}, {2, 3}, {3, 4}}, 4, 5, true, 5};
    const Jbig2HuffmanTableSpec dt{0, {{2, 1}, {1, 2}, {3, 4}}, 4, 4, false, 0};
    for (bool globals : {false, true}) {
        for (bool mmr : {false, true}) {
            SCOPED_TRACE(std::string(globals ? "tables among the globals" : "tables on the page") +
                         (mmr ? ", MMR height classes" : ""));
            // Heights 7 to 11 in any order, some repeated: deltas of both signs.
            std::vector<Jbig2Bitmap> glyphs;
            for (const auto& [w, h] : std::vector<std::pair<int32_t, int32_t>>{
                     {5, 9}, {3, 9}, {24, 9}, {2, 9}, {6, 7}, {4, 11}, {9, 11}, {5, 8}}) {
                glyphs.push_back(Jbig2Bitmap::Glyph(w, h, static_cast<uint32_t>(w * 31 + h)));
            }
            Jbig2Writer w;
            w.SetGlobal(globals);
            Jbig2SymbolDictOptions d;
            d.huffman = true;
            d.huffmanDh = 3;
            d.dhTable = w.UserTable(dh);
            d.huffmanDw = 3;
            d.dwTable = w.UserTable(dw);
            d.userBmSize = true;
            d.bmSizeTable = w.UserTable(bmSize);
            d.mmrCollective = mmr;
            // Height deltas must be positive to fit this DH table; widths
            // go down within a class, which the DW table allows.
            std::stable_sort(glyphs.begin(), glyphs.end(), [](const Jbig2Bitmap& a, const Jbig2Bitmap& b) {
                return a.Height() < b.Height();
            });
            const uint32_t dict = w.SymbolDictionary(glyphs, d);
            Jbig2TextOptions t;
            t.huffman = true;
            t.logStrips = 1;
            t.dsOffset = 2;
            t.huffmanFs = t.huffmanDs = t.huffmanDt = 3;
            t.fsTable = w.UserTable(fs);
            t.dsTable = w.UserTable(ds);
            t.dtTable = w.UserTable(dt);
            w.SetGlobal(false);
            Jbig2PageInfo info;
            info.width = 90;
            info.height = 44;
            w.PageInformation(info);
            const std::vector<Jbig2TextInstance> instances = Layout(glyphs, 90, 44, 400, false);
            w.TextRegion({dict}, 90, 44, instances, {}, t);
            EXPECT_TRUE(Jbig2decGives(w, Draw(90, 44, instances, glyphs)));
        }
    }
}

// A fixture the encoder cannot make faithfully is refused, not written wrong.
TEST(Jbig2Encoder, RefusesWhatItCannotCode) {
    const Jbig2Bitmap b = Jbig2Bitmap::Noise(9, 5, 1);
    Jbig2Writer w;
    Jbig2GenericOptions ahead;
    ahead.gbTemplate = 1;
    ahead.at = {{1, 0}};  // not yet coded when the pixel is
    EXPECT_THROW(w.GenericRegion(b, {}, ahead), std::invalid_argument);
    Jbig2SymbolDictOptions huffman;
    huffman.huffman = true;  // table B.4 has no height delta below 1
    EXPECT_THROW(w.SymbolDictionary({Jbig2Bitmap(3, 5, 1), Jbig2Bitmap(3, 4, 1)}, huffman),
                 std::invalid_argument);
    Jbig2SymbolDictOptions refAgg;
    refAgg.refineAggregate = true;
    const uint32_t d = w.SymbolDictionary({b}, {});
    refAgg.imports = {d};
    Jbig2NewSymbol wrong{Jbig2Bitmap(20, 5), {{0, 0, 0, false, {}, 0, 0}, {0, 10, 0, false, {}, 0, 0}}};
    EXPECT_THROW(w.SymbolDictionary(std::vector<Jbig2NewSymbol>{wrong}, refAgg),
                 std::invalid_argument);
    EXPECT_THROW(w.Exported(99), std::invalid_argument);
    EXPECT_THROW(w.TextRegion({d}, 10, 10, {{1, 0, 0, false, {}, 0, 0}}, {}), std::invalid_argument);
}
