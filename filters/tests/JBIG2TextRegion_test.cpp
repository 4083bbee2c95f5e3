#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "filters/jbig2/SegmentHeader.h"
#include "filters/jbig2/SymbolDictionary.h"
#include "filters/jbig2/TextRegion.h"
#include "filters/tests/JBIG2TestSegments.h"
#include "testing/GTestSupport.h"
#include "testing/Jbig2Encoder.h"

namespace qz::filters::jbig2 {
namespace {

using qz::testing::Jbig2Bitmap;
using qz::testing::Jbig2Corner;
using qz::testing::Jbig2TextInstance;
using qz::testing::Jbig2TextOptions;
using qz::testing::Jbig2Writer;

using test::Data;
using test::Segments;
using test::ToTest;

std::vector<Jbig2Bitmap> Glyphs(int32_t count, uint32_t seed) {
    std::vector<Jbig2Bitmap> out;
    for (int32_t i = 0; i < count; ++i) {
        const auto u = static_cast<uint32_t>(i);
        out.push_back(Jbig2Bitmap::Glyph(5 + static_cast<int32_t>((u * 7 + seed) % 11),
                                         6 + static_cast<int32_t>((u * 5 + seed) % 9), seed + u));
    }
    // Huffman dictionaries code height and width deltas that only grow.
    std::stable_sort(out.begin(), out.end(), [](const Jbig2Bitmap& a, const Jbig2Bitmap& b) {
        return a.Height() != b.Height() ? a.Height() < b.Height() : a.Width() < b.Width();
    });
    return out;
}

// Instances in rows of a region, some overlapping, some reaching past its
// edges; refined ones (when asked) get a slightly changed copy of their
// symbol.
std::vector<Jbig2TextInstance> Instances(const std::vector<Jbig2Bitmap>& glyphs, int32_t count, uint32_t seed,
                                         bool refine) {
    std::mt19937 rng(seed);
    std::vector<Jbig2TextInstance> out;
    for (int32_t i = 0; i < count; ++i) {
        Jbig2TextInstance inst;
        inst.symbol = static_cast<int32_t>(rng() % glyphs.size());
        inst.x = static_cast<int32_t>(rng() % 150) - 4;
        inst.y = static_cast<int32_t>(rng() % 70) - 3;
        if (refine && rng() % 3 == 0) {
            const Jbig2Bitmap& g = glyphs[static_cast<size_t>(inst.symbol)];
            inst.refine = true;
            const int32_t dw = static_cast<int32_t>(rng() % 3) - 1;
            const int32_t dh = static_cast<int32_t>(rng() % 3) - 1;
            inst.refined = g.Crop(0, 0, g.Width() + dw, g.Height() + dh);
            inst.refined.Set(1, 1, 1);
            inst.rdx = static_cast<int32_t>(rng() % 3) - 1;
            inst.rdy = static_cast<int32_t>(rng() % 3) - 1;
        }
        out.push_back(inst);
    }
    return out;
}

struct TextCase {
    const char* name;
    bool huffmanDict;
    Jbig2TextOptions options;
    bool userTables = false;
};

std::vector<TextCase> TextCases() {
    std::vector<TextCase> cases;
    for (int32_t corner = 0; corner < 4; ++corner) {
        for (int32_t transposed = 0; transposed < 2; ++transposed) {
            for (int32_t huff = 0; huff < 2; ++huff) {
                TextCase c{"corner", huff != 0, {}};
                c.options.huffman = huff != 0;
                c.options.corner = static_cast<Jbig2Corner>(corner);
                c.options.transposed = transposed != 0;
                c.options.logStrips = corner % 4;
                cases.push_back(c);
            }
        }
    }
    TextCase c{"dsoffset xor default pixel", false, {}};
    c.options.dsOffset = -3;
    c.options.op = qz::testing::Jbig2Combine::Xor;
    c.options.defaultPixel = true;
    cases.push_back(c);
    c.options.huffman = true;
    c.options.dsOffset = 7;
    c.options.huffmanFs = 1;
    c.options.huffmanDs = 1;
    c.options.huffmanDt = 1;
    cases.push_back(c);
    c.options.huffmanDs = 2;
    c.options.huffmanDt = 2;
    c.options.omitUnusedSymbolCodes = false;
    cases.push_back(c);
    for (int32_t tmpl = 0; tmpl < 2; ++tmpl) {
        TextCase r{"refine", false, {}};
        r.options.refine = true;
        r.options.refineTemplate = tmpl;
        r.options.refineAt = {{{-1, -1}, {1, -1}}};
        cases.push_back(r);
        r.options.huffman = true;
        r.options.huffmanRdw = 1;
        r.options.huffmanRdx = 1;
        cases.push_back(r);
    }
    TextCase u{"user tables", true, {}, true};
    u.options.huffman = true;
    u.options.huffmanFs = 3;
    u.options.huffmanDs = 3;
    u.options.huffmanDt = 3;
    cases.push_back(u);
    return cases;
}

qz::testing::Jbig2HuffmanTableSpec WideTable(bool oob) {
    qz::testing::Jbig2HuffmanTableSpec t;
    t.low = -64;
    t.lines = {{3, 5}, {2, 6}, {2, 7}, {3, 8}, {4, 10}};
    t.lowerLength = 5;
    t.upperLength = 5;
    t.oob = oob;
    t.oobLength = 4;
    return t;
}

// A 160 x 80 page holding one dictionary of `glyphCount` glyphs (and the
// case's user tables) and a text region of `instanceCount` instances.
uint32_t WriteTextCase(Jbig2Writer& w, const TextCase& c, int32_t glyphCount, int32_t instanceCount,
                       uint32_t seed) {
    const auto glyphs = Glyphs(glyphCount, seed);
    w.PageInformation({160, 80});
    qz::testing::Jbig2SymbolDictOptions dopt;
    dopt.huffman = c.huffmanDict;
    const uint32_t dict = w.SymbolDictionary(glyphs, dopt);
    Jbig2TextOptions topt = c.options;
    if (c.userTables) {
        topt.fsTable = w.UserTable(WideTable(false));
        topt.dsTable = w.UserTable(WideTable(true));
        topt.dtTable = w.UserTable(WideTable(false));
    }
    return w.TextRegion({dict}, 160, 80, Instances(glyphs, instanceCount, seed, topt.refine), {}, topt);
}

TEST(JBIG2TextRegion, DecodesEncoderRegionsBitForBit) {
    uint32_t seed = 1;
    for (const TextCase& c : TextCases()) {
        SCOPED_TRACE(std::string(c.name) + " case " + std::to_string(seed));
        Jbig2Writer w;
        const uint32_t region = WriteTextCase(w, c, 9, 40, seed);
        Segments doc(w.Bytes());
        TqzBitmapPtr got;
        ASSERT_NO_THROW(got = doc.Region(region));
        const Jbig2Bitmap want = w.RegionBitmap(region);
        EXPECT_EQ(Jbig2Bitmap::Describe(want, ToTest(*got)), "");
        ++seed;
    }
}

// jbig2dec draws the same page for the region types it decodes correctly.
TEST(JBIG2TextRegion, AgreesWithJbig2dec) {
    QZ_REQUIRE_TOOLS("jbig2dec");
    uint32_t seed = 40;
    for (const TextCase& c : TextCases()) {
        if (c.options.refine && c.options.huffman) continue;  // jbig2dec misreads these
        SCOPED_TRACE(std::string(c.name) + " case " + std::to_string(seed));
        Jbig2Writer w;
        const uint32_t region = WriteTextCase(w, c, 6, 25, seed);
        w.EndOfPage();
        const auto dec = qz::testing::DecodeWithJbig2dec(w.Bytes());
        ASSERT_TRUE(dec.ok) << dec.messages;
        Segments doc(w.Bytes());
        EXPECT_EQ(Jbig2Bitmap::Describe(dec.page, ToTest(*doc.Region(region))), "");
        ++seed;
    }
}

TEST(JBIG2TextRegion, ParsesHeaderFlags) {
    struct FlagCase {
        uint16_t flags;
        int32_t corner, dsOffset, strips;
        FCombinationOPerator op;
        bool refine;
        int32_t rtemplate;
        size_t atBytes;
    };
    const FlagCase cases[] = {
        {0x0020, 2, 0, 1, FCombinationOPerator::OROP, false, 0, 0},
        {0x7C00, 0, -1, 1, FCombinationOPerator::OROP, false, 0, 0},
        {0x0100, 0, 0, 1, FCombinationOPerator::XOROP, false, 0, 0},
        {0x0180, 0, 0, 1, FCombinationOPerator::XNOROP, false, 0, 0},
        {0x800A, 0, 0, 4, FCombinationOPerator::OROP, true, 1, 0},
        {0x0002, 0, 0, 1, FCombinationOPerator::OROP, true, 0, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        std::string d(17, '\0');
        d[3] = 8;   // width 8
        d[7] = 4;   // height 4
        d += static_cast<char>(c.flags >> 8);
        d += static_cast<char>(c.flags & 0xFF);
        for (size_t i = 0; i < c.atBytes; ++i) d += static_cast<char>(0xFF);
        d += std::string("\0\0\0\0", 4);  // no instances
        auto s = std::make_shared<TqzIOStream>(Data(d), 0, static_cast<int64_t>(d.size()));
        TqzTextRegion r;
        r.Init(nullptr, s);
        EXPECT_EQ(r.GetReferenceCorner(), c.corner);
        EXPECT_EQ(r.GetSbdsOffset(), c.dsOffset);
        EXPECT_EQ(r.GetSbStrips(), c.strips);
        EXPECT_EQ(r.GetCombinationOperator(), c.op);
        EXPECT_EQ(r.UsesRefinement(), c.refine);
        EXPECT_EQ(r.GetSbrTemplate(), c.rtemplate);
        EXPECT_EQ(r.GetNumberOfInstances(), 0);
        EXPECT_EQ(s->GetStreamPos(), static_cast<int64_t>(d.size()));
    }
}

TEST(JBIG2TextRegion, DefaultPixelWithoutInstancesIsAllBlack) {
    Jbig2Writer w;
    w.PageInformation({20, 6});
    const uint32_t dict = w.SymbolDictionary(Glyphs(2, 3));
    Jbig2TextOptions opt;
    opt.defaultPixel = true;
    const uint32_t region = w.TextRegion({dict}, 20, 6, {}, {}, opt);
    Segments doc(w.Bytes());
    EXPECT_EQ(ToTest(*doc.Region(region)), Jbig2Bitmap(20, 6, 1));
}

// Bad and hostile input ends in a clear error (or a bitmap), never in a
// crash, a hang or a sanitizer report.
TEST(JBIG2TextRegion, BadInputFailsCleanly) {
    const auto glyphs = Glyphs(7, 11);
    for (int32_t variant = 0; variant < 4; ++variant) {
        Jbig2Writer w;
        w.PageInformation({160, 80});
        qz::testing::Jbig2SymbolDictOptions dopt;
        dopt.huffman = (variant & 1) != 0;
        const uint32_t dict = w.SymbolDictionary(glyphs, dopt);
        Jbig2TextOptions topt;
        topt.huffman = (variant & 1) != 0;
        topt.refine = (variant & 2) != 0;
        const uint32_t region = w.TextRegion({dict}, 160, 80, Instances(glyphs, 30, 5, topt.refine), {}, topt);
        const std::string good = w.Bytes();
        auto attempt = [&](const std::string& bytes) {
            try {
                Segments doc(bytes);
                if (doc.Header(region) != nullptr) doc.Region(region);
            } catch (const std::exception&) {
            }
        };
        for (size_t cut = 0; cut < good.size(); cut += 3) attempt(good.substr(0, cut));
        std::mt19937 rng(static_cast<uint32_t>(variant));
        for (int32_t i = 0; i < 300; ++i) {
            std::string bad = good;
            bad[rng() % bad.size()] ^= static_cast<char>(1 << (rng() % 8));
            attempt(bad);
        }
    }
}

// Huffman symbol-ID code lengths are run-length coded; a run must repeat a
// length already read and stay within the symbols.
TEST(JBIG2TextRegion, CodeLengthRunsStayWithinTheSymbols) {
    // A 16 x 16 region, Huffman-coded with the standard tables, one instance.
    std::string head("\0\0\0\x10\0\0\0\x10\0\0\0\0\0\0\0\0\0" "\0\x01" "\0\0" "\0\0\0\x01", 25);
    // The run-code lengths (35 nibbles) give one code, '0', to code 32
    // (repeat the previous length) or to code 34 (11 or more zeros); the
    // symbol lengths start with it.
    const std::string repeatFirst = head + std::string(16, '\0') + "\x10" + std::string(4, '\0');
    const std::string zerosPastEnd = head + std::string(17, '\0') + "\x10" + std::string(4, '\0');
    for (const std::string& data : {repeatFirst, zerosPastEnd}) {
        Jbig2Writer w;
        w.PageInformation({16, 16});
        qz::testing::Jbig2SymbolDictOptions dopt;
        dopt.huffman = true;
        const uint32_t dict = w.SymbolDictionary(Glyphs(3, 4), dopt);
        const uint32_t region = w.RawSegment(6, {dict}, data);
        Segments doc(w.Bytes());
        try {
            doc.Region(region);
            ADD_FAILURE() << "no error";
        } catch (const std::exception& e) {
            EXPECT_STREQ(e.what(), kTextRegionError);
        }
    }
}

// Counts from the header that the data does not back: a region that
// claims far more instances stops with an error once its data runs out.
TEST(JBIG2TextRegion, InstanceCountIsBoundedByData) {
    for (int32_t huff = 0; huff < 2; ++huff) {
        const auto glyphs = Glyphs(3, 2);
        Jbig2Writer w;
        w.PageInformation({64, 32});
        qz::testing::Jbig2SymbolDictOptions dopt;
        dopt.huffman = huff != 0;
        const uint32_t dict = w.SymbolDictionary(glyphs, dopt);
        Jbig2TextOptions topt;
        topt.huffman = huff != 0;
        const uint32_t region = w.TextRegion({dict}, 64, 32, Instances(glyphs, 2, 9, false), {}, topt);
        std::string bytes = w.Bytes();
        Segments probe(bytes);
        // SBNUMINSTANCES follows the region information, the flags and,
        // with Huffman coding, the table selections.
        const auto at = static_cast<size_t>(probe.Header(region)->GetSegmentDataStartOffset()) + 17 + 2 +
                        (huff != 0 ? 2 : 0);
        for (size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(0xFF);
        Segments doc(bytes);
        EXPECT_THROW(doc.Region(region), std::exception);
    }
}

}  // namespace
}  // namespace qz::filters::jbig2
