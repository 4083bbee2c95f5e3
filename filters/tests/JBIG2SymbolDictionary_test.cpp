#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "filters/jbig2/SegmentHeader.h"
#include "filters/jbig2/SymbolDictionary.h"
#include "filters/tests/JBIG2TestSegments.h"
#include "testing/GTestSupport.h"
#include "testing/Jbig2Encoder.h"

namespace qz::filters::jbig2 {
namespace {

using qz::testing::Jbig2Bitmap;
using qz::testing::Jbig2NewSymbol;
using qz::testing::Jbig2SymbolDictOptions;
using qz::testing::Jbig2TextInstance;
using qz::testing::Jbig2Writer;

using test::Data;
using test::Segments;
using test::ToTest;

std::string Compare(const std::vector<Jbig2Bitmap>& want, const std::vector<TqzBitmapPtr>& got) {
    if (want.size() != got.size()) {
        return "count " + std::to_string(got.size()) + " instead of " + std::to_string(want.size());
    }
    for (size_t i = 0; i < want.size(); ++i) {
        const std::string d = Jbig2Bitmap::Describe(want[i], ToTest(*got[i]));
        if (!d.empty()) return "symbol " + std::to_string(i) + ": " + d;
    }
    return "";
}

// Glyphs in height classes of growing heights and widths, as Huffman
// coding of the deltas needs.
std::vector<Jbig2Bitmap> Glyphs(int32_t count, uint32_t seed) {
    std::vector<Jbig2Bitmap> out;
    for (int32_t i = 0; i < count; ++i) {
        const auto u = static_cast<uint32_t>(i);
        out.push_back(Jbig2Bitmap::Glyph(3 + static_cast<int32_t>((u * 7 + seed) % 13),
                                         4 + static_cast<int32_t>((u * 3 + seed) % 5), seed + u));
    }
    std::stable_sort(out.begin(), out.end(), [](const Jbig2Bitmap& a, const Jbig2Bitmap& b) {
        return a.Height() != b.Height() ? a.Height() < b.Height() : a.Width() < b.Width();
    });
    return out;
}

// New symbols made from `base` (the symbols the dictionary sees first):
// refinements of one of them and aggregates of two or three, some parts
// refined.
std::vector<Jbig2NewSymbol> Composed(const std::vector<Jbig2Bitmap>& base, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<Jbig2NewSymbol> out;
    std::vector<Jbig2Bitmap> seen = base;
    for (int32_t i = 0; i < 8; ++i) {
        Jbig2NewSymbol s;
        if (i % 2 == 0) {
            Jbig2TextInstance part;
            part.symbol = static_cast<int32_t>(rng() % seen.size());
            part.rdx = static_cast<int32_t>(rng() % 3) - 1;
            part.rdy = static_cast<int32_t>(rng() % 3) - 1;
            const Jbig2Bitmap& ref = seen[static_cast<size_t>(part.symbol)];
            s.bitmap = ref.Crop(0, 0, ref.Width() + 1, ref.Height());
            s.bitmap.Set(0, 0, 1);
            s.parts.push_back(part);
        } else {
            s.bitmap = Jbig2Bitmap(24, 12 + i);
            const int32_t parts = 2 + static_cast<int32_t>(rng() % 2);
            for (int32_t p = 0; p < parts; ++p) {
                Jbig2TextInstance part;
                part.symbol = static_cast<int32_t>(rng() % seen.size());
                part.x = p * 7;
                part.y = static_cast<int32_t>(rng() % 4);
                const Jbig2Bitmap& ref = seen[static_cast<size_t>(part.symbol)];
                Jbig2Bitmap placed = ref;
                if (p == 1) {
                    part.refine = true;
                    part.refined = ref.Crop(0, 0, ref.Width(), ref.Height() + 1);
                    part.refined.Set(2, 0, 1);
                    placed = part.refined;
                }
                s.bitmap.Combine(placed, part.x, part.y, qz::testing::Jbig2Combine::Or);
                s.parts.push_back(part);
            }
        }
        seen.push_back(s.bitmap);
        out.push_back(s);
    }
    return out;
}

struct DictCase {
    const char* name;
    Jbig2SymbolDictOptions options;
    bool userTables = false;
};

std::vector<DictCase> PlainCases() {
    std::vector<DictCase> cases;
    for (int32_t t = 0; t < 4; ++t) {
        DictCase c{"arithmetic template", {}};
        c.options.sdTemplate = t;
        if (t == 0) c.options.at = {{2, -1}, {-3, -1}, {1, -2}, {-2, -2}};
        cases.push_back(c);
    }
    DictCase h{"huffman uncompressed", {}};
    h.options.huffman = true;
    cases.push_back(h);
    h.name = "huffman mmr";
    h.options.mmrCollective = true;
    cases.push_back(h);
    h.name = "huffman B.5 B.3";
    h.options.huffmanDh = 1;
    h.options.huffmanDw = 1;
    cases.push_back(h);
    DictCase u{"huffman user tables", {}, true};
    u.options.huffman = true;
    u.options.huffmanDh = 3;
    u.options.huffmanDw = 3;
    u.options.userBmSize = true;
    u.options.mmrCollective = true;
    cases.push_back(u);
    return cases;
}

qz::testing::Jbig2HuffmanTableSpec Table(bool oob) {
    qz::testing::Jbig2HuffmanTableSpec t;
    t.low = -16;
    t.lines = {{3, 4}, {2, 4}, {2, 5}, {3, 8}, {4, 12}};
    t.lowerLength = 5;
    t.upperLength = 5;
    t.oob = oob;
    t.oobLength = 4;
    return t;
}

TEST(JBIG2SymbolDictionary, DecodesEncoderDictionariesBitForBit) {
    uint32_t seed = 3;
    for (const DictCase& c : PlainCases()) {
        SCOPED_TRACE(c.name);
        const auto glyphs = Glyphs(14, seed++);
        Jbig2Writer w;
        Jbig2SymbolDictOptions opt = c.options;
        if (c.userTables) {
            opt.dhTable = w.UserTable(Table(false));
            opt.dwTable = w.UserTable(Table(true));
            opt.bmSizeTable = w.UserTable(Table(false));
        }
        const uint32_t dict = w.SymbolDictionary(glyphs, opt);
        Segments doc(w.Bytes());
        TqzSymbolDictionary* d = doc.Dictionary(dict);
        const std::vector<TqzBitmapPtr>* got = nullptr;
        ASSERT_NO_THROW(got = d->GetDictionary());
        EXPECT_EQ(Compare(w.Exported(dict), *got), "");
        EXPECT_EQ(d->GetDictionary(), got);  // decoded once
        EXPECT_EQ(d->IsHuffmanEncoded(), opt.huffman);
    }
}

// Refined and aggregate symbols over imported and earlier new symbols,
// with export flags over both, in a chain of three dictionaries.
TEST(JBIG2SymbolDictionary, RefinesAggregatesImportsAndExports) {
    for (int32_t huff = 0; huff < 2; ++huff) {
        for (int32_t tmpl = 0; tmpl < 2; ++tmpl) {
            SCOPED_TRACE("huffman " + std::to_string(huff) + " template " + std::to_string(tmpl));
            Jbig2Writer w;
            const auto glyphs = Glyphs(6, 20 + static_cast<uint32_t>(tmpl));
            Jbig2SymbolDictOptions base;
            base.huffman = huff != 0;
            const uint32_t first = w.SymbolDictionary(glyphs, base);

            Jbig2SymbolDictOptions opt;
            opt.huffman = huff != 0;
            opt.refineAggregate = true;
            // Composed symbols come in no order of size: tables with
            // negative deltas.
            opt.huffmanDh = huff;
            opt.huffmanDw = huff;
            opt.refineTemplate = tmpl;
            opt.refineAt = {{{-1, -1}, {1, 1}}};
            opt.imports = {first};
            const auto composed = Composed(glyphs, 7);
            std::vector<bool> flags(glyphs.size() + composed.size());
            for (size_t i = 0; i < flags.size(); ++i) flags[i] = i % 3 != 1;
            opt.exportFlags = flags;
            const uint32_t second = w.SymbolDictionary(composed, opt);

            // No new symbols: everything imported is exported again.
            Jbig2SymbolDictOptions pass;
            pass.huffman = huff != 0;
            pass.imports = {second};
            pass.exportFlags = std::vector<bool>(w.Exported(second).size(), true);
            const uint32_t third = w.SymbolDictionary(std::vector<Jbig2Bitmap>{}, pass);

            Segments doc(w.Bytes());
            for (uint32_t n : {first, second, third}) {
                const std::vector<TqzBitmapPtr>* got = nullptr;
                ASSERT_NO_THROW(got = doc.Dictionary(n)->GetDictionary()) << n;
                EXPECT_EQ(Compare(w.Exported(n), *got), "") << n;
            }
        }
    }
}

// jbig2dec sees the same symbols: a page that shows every exported symbol
// of an arithmetic refinement/aggregate dictionary (template 1, the one it
// decodes as we do) matches our text region over it.
TEST(JBIG2SymbolDictionary, AgreesWithJbig2dec) {
    QZ_REQUIRE_TOOLS("jbig2dec");
    Jbig2Writer w;
    w.PageInformation({400, 40});
    const auto glyphs = Glyphs(6, 31);
    const uint32_t first = w.SymbolDictionary(glyphs);
    Jbig2SymbolDictOptions opt;
    opt.refineAggregate = true;
    opt.refineTemplate = 1;
    opt.imports = {first};
    const uint32_t second = w.SymbolDictionary(Composed(glyphs, 12), opt);
    std::vector<Jbig2TextInstance> row;
    int32_t x = 0;
    const auto& shown = w.Exported(second);
    for (size_t i = 0; i < shown.size(); ++i) {
        Jbig2TextInstance inst;
        inst.symbol = static_cast<int32_t>(i);
        inst.x = x;
        inst.y = 2;
        x += shown[i].Width() + 2;
        row.push_back(inst);
    }
    const uint32_t region = w.TextRegion({second}, 400, 40, row, {});
    w.EndOfPage();
    const auto dec = qz::testing::DecodeWithJbig2dec(w.Bytes());
    ASSERT_TRUE(dec.ok) << dec.messages;
    Segments doc(w.Bytes());
    auto* text = dynamic_cast<TqzIRegion*>(doc.ResolveSegment(0, region)->GetSegmentData());
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(Jbig2Bitmap::Describe(dec.page, ToTest(*text->GetRegionBitmap())), "");
}

std::string RawDictionary(uint16_t flags, uint32_t exported, uint32_t added, const std::string& tail) {
    std::string d;
    d += static_cast<char>(flags >> 8);
    d += static_cast<char>(flags & 0xFF);
    for (uint32_t v : {exported, added}) {
        for (int32_t shift = 24; shift >= 0; shift -= 8) d += static_cast<char>((v >> shift) & 0xFF);
    }
    return d + tail;
}

const std::vector<TqzBitmapPtr>* DecodeRaw(const std::string& data) {
    static std::vector<std::unique_ptr<TqzSymbolDictionary>> keep;
    keep.push_back(std::make_unique<TqzSymbolDictionary>());
    keep.back()->Init(nullptr, std::make_shared<TqzIOStream>(Data(data), 0, static_cast<int64_t>(data.size())));
    return keep.back()->GetDictionary();
}

// Header counts and IDs the data does not back end in an error, without
// allocating for them or running past them.
TEST(JBIG2SymbolDictionary, RejectsCountsAndIDsOutOfRange) {
    struct Bad {
        const char* name;
        std::string data;
        const char* message;
    };
    const Bad cases[] = {
        // Four billion new symbols in a handful of bytes.
        {"symbol count", RawDictionary(0x0001, 0, 0xFFFFFFFFu, std::string(8, '\0')), "invalid"},
        // Huffman widths of the undefined table are all 0: the height class
        // never ends with out-of-band.
        {"class without out-of-band", RawDictionary(0x0021, 0, 2, std::string(4, '\0')), "more symbols"},
        // A refinement of symbol 1 in a dictionary that has none yet.
        {"refined ID", RawDictionary(0x1003, 0, 1, std::string("\x41\x80") + std::string(8, '\0')),
         "does not exist"},
        // Arithmetic data that ends at once.
        {"truncated", RawDictionary(0x0C00, 0, 1, "\x02\xFF"), ""},
        // One 1 x 1 symbol (Huffman: height 1, width 1, out-of-band, an
        // uncompressed bitmap), then export runs 0 and 7 of its one symbol.
        {"export run", RawDictionary(0x0001, 1, 1, std::string("\x5F\x80\x80\x01\xC0", 5)), "do not fit"},
    };
    // The same dictionary with the sound export runs 0 and 1.
    EXPECT_EQ(DecodeRaw(RawDictionary(0x0001, 1, 1, std::string("\x5F\x80\x80\x00\x40", 5)))->size(), 1u);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            DecodeRaw(c.data);
            ADD_FAILURE() << "no error";
        } catch (const std::exception& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

TEST(JBIG2SymbolDictionary, BadInputFailsCleanly) {
    for (int32_t variant = 0; variant < 4; ++variant) {
        Jbig2Writer w;
        const auto glyphs = Glyphs(8, 50);
        Jbig2SymbolDictOptions base;
        base.huffman = (variant & 1) != 0;
        base.mmrCollective = variant == 3;
        const uint32_t first = w.SymbolDictionary(glyphs, base);
        Jbig2SymbolDictOptions opt = base;
        opt.mmrCollective = false;
        opt.refineAggregate = (variant & 2) != 0;
        opt.huffmanDh = variant & 1;
        opt.huffmanDw = variant & 1;
        opt.imports = {first};
        const uint32_t second = opt.refineAggregate ? w.SymbolDictionary(Composed(glyphs, 3), opt)
                                                    : w.SymbolDictionary(Glyphs(5, 9), opt);
        const std::string good = w.Bytes();
        auto attempt = [&](const std::string& bytes) {
            try {
                Segments doc(bytes);
                if (doc.ResolveSegment(0, second) != nullptr) doc.Dictionary(second)->GetDictionary();
            } catch (const std::exception&) {
            }
        };
        for (size_t cut = 0; cut < good.size(); cut += 2) attempt(good.substr(0, cut));
        std::mt19937 rng(static_cast<uint32_t>(variant) + 100);
        for (int32_t i = 0; i < 400; ++i) {
            std::string bad = good;
            bad[rng() % bad.size()] ^= static_cast<char>(1 << (rng() % 8));
            attempt(bad);
        }
    }
}

}  // namespace
}  // namespace qz::filters::jbig2
