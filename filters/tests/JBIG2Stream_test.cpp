// The JBIG2 filter end to end: streams of the test encoder decode to the
// page it drew, bit for bit, and to what jbig2dec makes of them; bad data
// gives an error or a partial page, never more.

#include "filters/JBIG2Stream.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/MemoryStream.h"
#include "filters/CodecDecode.h"
#include "filters/jbig2/SegmentHeader.h"
#include "testing/GTestSupport.h"
#include "testing/Jbig2Encoder.h"

namespace qz::filters {
namespace {

using testing::Jbig2Bitmap;
using testing::Jbig2Combine;
using testing::Jbig2PageInfo;
using testing::Jbig2Placement;
using testing::Jbig2RegionUse;
using testing::Jbig2Writer;

std::shared_ptr<TqzJBIG2Stream> MakeStream(const std::string& page, const std::string& globals = {}) {
    return std::make_shared<TqzJBIG2Stream>(std::make_shared<core::TqzMemoryStream>(page),
                                            globals.empty() ? nullptr : std::make_shared<core::TqzMemoryStream>(globals));
}

// What our filter makes of the streams, as JBIG2 pixels (1 black).
Jbig2Bitmap Ours(const std::string& page, const std::string& globals = {}) {
    auto s = MakeStream(page, globals);
    std::string bytes;
    uint8_t block[777];
    for (int32_t got; (got = s->Read(block, sizeof block)) > 0;) {
        for (int32_t i = 0; i < got; ++i) bytes.push_back(static_cast<char>(~block[i]));
    }
    const auto& bitmap = s->GetJBIG2Decoder()->GetPageBitmap();
    // Padding bits come out white (set) and are cleared back by the inversion.
    return Jbig2Bitmap::FromPackedRows(bitmap->GetWidth(), bitmap->GetHeight(), bytes);
}

Jbig2PageInfo Page(uint32_t w, uint32_t h) {
    Jbig2PageInfo p;
    p.width = w;
    p.height = h;
    return p;
}

// Ours gives `expected`, and so does jbig2dec unless it cannot check it.
::testing::AssertionResult Decodes(const Jbig2Writer& w, const Jbig2Bitmap& expected, bool jbig2dec = true) {
    if (jbig2dec) {
        const auto r = testing::DecodeWithJbig2dec(w.Bytes(), w.GlobalBytes());
        if (!r.ok) return ::testing::AssertionFailure() << "jbig2dec failed: " << r.messages;
        const std::string diff = Jbig2Bitmap::Describe(expected, r.page);
        if (!diff.empty()) return ::testing::AssertionFailure() << "jbig2dec: " << diff;
    }
    Jbig2Bitmap ours;
    try {
        ours = Ours(w.Bytes(), w.GlobalBytes());
    } catch (const std::exception& e) {
        return ::testing::AssertionFailure() << "ours raised: " << e.what();
    }
    const std::string diff = Jbig2Bitmap::Describe(expected, ours);
    if (!diff.empty()) return ::testing::AssertionFailure() << "ours: " << diff;
    return ::testing::AssertionSuccess();
}

TEST(JBIG2Stream, GenericRegionPagesMatchJbig2dec) {
    QZ_REQUIRE_TOOLS("jbig2dec");
    const Jbig2Bitmap text = Jbig2Bitmap::TextLike(67, 41, 11);
    for (int32_t t = 0; t < 4; ++t) {
        for (int32_t mode = 0; mode < 3; ++mode) {  // plain, TPGDON, MMR
            SCOPED_TRACE("template " + std::to_string(t) + " mode " + std::to_string(mode));
            Jbig2Writer w;
            w.PageInformation(Page(67, 41));
            w.GenericRegion(text, {}, {t, mode == 1, mode == 2, false, {}});
            w.EndOfPage();
            EXPECT_TRUE(Decodes(w, text));
        }
    }
}

TEST(JBIG2Stream, RegionsCombineOnThePage) {
    QZ_REQUIRE_TOOLS("jbig2dec");
    const Jbig2Bitmap a = Jbig2Bitmap::Noise(40, 20, 1, 100);
    const Jbig2Bitmap b = Jbig2Bitmap::TextLike(30, 16, 2);
    struct Case {
        const char* name;
        bool defaultPixel;
        bool override;
        Jbig2Combine pageOp;
        Jbig2Placement first, second;
    };
    const std::vector<Case> cases = {
        {"region at (16, 8)", false, false, Jbig2Combine::Or, {16, 8}, {100, 100}},
        {"past the right and bottom edge", false, false, Jbig2Combine::Or, {50, 30}, {60, 28}},
        {"override AND, XOR", true, true, Jbig2Combine::Or, {3, 2, Jbig2Combine::And}, {10, 9, Jbig2Combine::Xor}},
        {"override XNOR, REPLACE", false, true, Jbig2Combine::Or, {0, 0, Jbig2Combine::Xnor},
         {20, 12, Jbig2Combine::Replace}},
        {"page operator XOR", true, false, Jbig2Combine::Xor, {5, 5, Jbig2Combine::Xor}, {9, 7, Jbig2Combine::Xor}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Jbig2PageInfo info = Page(72, 40);
        info.defaultPixel = c.defaultPixel;
        info.operatorOverrideAllowed = c.override;
        info.defaultOperator = c.pageOp;
        Jbig2Writer w;
        w.PageInformation(info);
        Jbig2Bitmap page(72, 40, c.defaultPixel ? 1 : 0);
        w.GenericRegion(a, c.first, {1, false, false, false, {}});
        page.Combine(a, c.first.x, c.first.y, c.first.op);
        if (c.second.x < 72) {
            w.GenericRegion(b, c.second, {0, false, true, false, {}});
            page.Combine(b, c.second.x, c.second.y, c.second.op);
        }
        w.EndOfPage();
        EXPECT_TRUE(Decodes(w, page));
    }
}

TEST(JBIG2Stream, RefinementRegions) {
    QZ_REQUIRE_TOOLS("jbig2dec");
    const Jbig2Bitmap base = Jbig2Bitmap::TextLike(36, 20, 4);
    Jbig2Bitmap target = base;
    for (int32_t i = 0; i < 30; ++i) target.Set((i * 7) % 36, (i * 5) % 20, 1);
    for (int32_t t = 0; t < 2; ++t) {
        for (bool tpgron : {false, true}) {
            SCOPED_TRACE(std::to_string(t) + (tpgron ? " TPGRON" : ""));
            testing::Jbig2RefinementOptions options;
            options.grTemplate = t;
            options.tpgron = tpgron;
            // Of an intermediate region, placed at (4, 6); jbig2dec does not
            // decode intermediate generic regions, so the drawn page decides.
            Jbig2Writer w;
            w.PageInformation(Page(48, 30));
            const uint32_t ref = w.GenericRegion(base, {0, 0, Jbig2Combine::Or, Jbig2RegionUse::Intermediate});
            w.RefinementRegion(target, ref, {4, 6}, options);
            w.EndOfPage();
            Jbig2Bitmap page(48, 30);
            page.Combine(target, 4, 6, Jbig2Combine::Or);
            EXPECT_TRUE(Decodes(w, page, false));
            // Of the page itself, at (0, 0), after a generic region.
            Jbig2Writer p;
            Jbig2PageInfo info = Page(36, 20);
            info.operatorOverrideAllowed = true;
            p.PageInformation(info);
            p.GenericRegion(base, {});
            p.PageRefinementRegion(target, base, {0, 0, Jbig2Combine::Replace}, options);
            p.EndOfPage();
            EXPECT_TRUE(Decodes(p, target, t == 0 || !tpgron));
        }
    }
}

TEST(JBIG2Stream, StripedPages) {
    QZ_REQUIRE_TOOLS("jbig2dec");
    const Jbig2Bitmap top = Jbig2Bitmap::Noise(50, 16, 3, 70);
    const Jbig2Bitmap left = Jbig2Bitmap::TextLike(20, 8, 5);
    const Jbig2Bitmap right = Jbig2Bitmap::TextLike(24, 10, 6);
    for (bool known : {true, false}) {
        for (bool stripedFlag : {true, false}) {
            if (known && !stripedFlag) continue;
            SCOPED_TRACE(std::string(known ? "known" : "unknown") + (stripedFlag ? "" : " height, not striped"));
            Jbig2PageInfo info = Page(50, known ? 30 : testing::kJbig2UnknownHeight);
            info.striped = stripedFlag;
            info.maxStripeSize = 16;
            Jbig2Writer w;
            w.PageInformation(info);
            w.GenericRegion(top, {0, 0});
            w.EndOfStripe(15);
            // Two regions of one stripe, each at its own row.
            w.GenericRegion(left, {2, 16});
            w.GenericRegion(right, {26, 19});
            w.EndOfStripe(29);
            w.EndOfPage();
            Jbig2Bitmap page(50, 30);
            page.Combine(top, 0, 0, Jbig2Combine::Or);
            page.Combine(left, 2, 16, Jbig2Combine::Or);
            page.Combine(right, 26, 19, Jbig2Combine::Or);
            // jbig2dec ends pages of unknown height at their lowest region.
            EXPECT_TRUE(Decodes(w, page, known));
        }
    }
}

TEST(JBIG2Stream, GlobalsInASeparateStream) {
    const Jbig2Bitmap g1 = Jbig2Bitmap::Glyph(7, 9, 1), g2 = Jbig2Bitmap::Glyph(6, 9, 2);
    Jbig2Writer w;
    w.SetGlobal(true);
    const uint32_t dict = w.SymbolDictionary(std::vector<Jbig2Bitmap>{g1, g2});
    w.SetGlobal(false);
    w.PageInformation(Page(40, 20));
    std::vector<testing::Jbig2TextInstance> instances(3);
    const int32_t at[3][3] = {{0, 2, 3}, {1, 12, 5}, {0, 25, 9}};
    for (size_t i = 0; i < 3; ++i) {
        instances[i].symbol = at[i][0];
        instances[i].x = at[i][1];
        instances[i].y = at[i][2];
    }
    w.TextRegion({dict}, 40, 20, instances, {});
    w.EndOfPage();
    Jbig2Bitmap page(40, 20);
    page.Combine(g1, 2, 3, Jbig2Combine::Or);
    page.Combine(g2, 12, 5, Jbig2Combine::Or);
    page.Combine(g1, 25, 9, Jbig2Combine::Or);
    if (jbig2::MakeSegmentData(0) && jbig2::MakeSegmentData(6)) {
        EXPECT_TRUE(Decodes(w, page, testing::HaveTool("jbig2dec")));
        // Without the globals the text region has no symbols.
        EXPECT_THROW(Ours(w.Bytes()), std::exception);
    } else {
        // Until this build decodes text regions, the page says so.
        try {
            Ours(w.Bytes(), w.GlobalBytes());
            ADD_FAILURE() << "a text region without a decoder passed";
        } catch (const std::exception& e) {
            EXPECT_NE(std::string(e.what()).find("cannot be decoded"), std::string::npos) << e.what();
        }
    }
}

TEST(JBIG2Stream, ReadsInvertedBytesAndResets) {
    // Row 0 all white, row 1 all black, 16 pixels wide.
    Jbig2Bitmap b(16, 2);
    for (int32_t x = 0; x < 16; ++x) b.Set(x, 1, 1);
    Jbig2Writer w;
    w.PageInformation(Page(16, 2));
    w.GenericRegion(b, {});
    auto s = MakeStream(w.Bytes());
    EXPECT_EQ(s->GetType(), core::TqzStreamType::stJBIG2);
    EXPECT_EQ(s->LookChar(), 255);  // white is 255, not the end
    for (int expected : {255, 255, 0, 0}) EXPECT_EQ(s->GetChar(), expected);
    EXPECT_EQ(s->LookChar(), -1);
    EXPECT_EQ(s->GetChar(), -1);
    const jbig2::TqzImageBitmap* decoded = s->GetJBIG2Decoder()->GetPageBitmap().get();
    s->Reset();
    uint8_t block[8];
    ASSERT_EQ(s->Read(block, sizeof block), 4);
    EXPECT_EQ(std::vector<uint8_t>(block, block + 4), (std::vector<uint8_t>{255, 255, 0, 0}));
    EXPECT_EQ(s->GetJBIG2Decoder()->GetPageBitmap().get(), decoded);  // not decoded again

    // Default pixel 1 and no region: all black, every byte 0.
    Jbig2Writer black;
    Jbig2PageInfo info = Page(20, 3);
    info.defaultPixel = true;
    black.PageInformation(info);
    black.EndOfPage();
    EXPECT_EQ(Ours(black.Bytes()), Jbig2Bitmap(20, 3, 1));

    // A stream without a decoder is empty.
    TqzJBIG2Stream bare(std::make_shared<core::TqzMemoryStream>(w.Bytes()));
    EXPECT_EQ(bare.GetChar(), -1);
    EXPECT_FALSE(bare.HasDecoder());
}

TEST(JBIG2Stream, NothingIsReadUntilTheFirstRead) {
    Jbig2Writer w;
    w.PageInformation(Page(16, 2));
    w.GenericRegion(Jbig2Bitmap(16, 2, 1), {});
    // A globals stream that cannot be read: making the filter (as every
    // load does) succeeds; reading fails, every time.
    struct Unreadable final : core::TqzOneWayStream {
        int32_t Produce(uint8_t*, uint32_t) override { throw core::ExInvalidStream(); }
    };
    std::shared_ptr<TqzJBIG2Stream> s;
    ASSERT_NO_THROW(s = std::make_shared<TqzJBIG2Stream>(std::make_shared<core::TqzMemoryStream>(w.Bytes()),
                                                         std::make_shared<Unreadable>()));
    EXPECT_THROW(s->GetChar(), std::exception);
    EXPECT_THROW(s->LookChar(), std::exception);
    // A page stream with no page, and a page without page information.
    for (const std::string& data : {std::string(), std::string("\x00\x00\x00\x00\x26\x00\x01\x00\x00\x00\x00", 11)}) {
        auto bad = MakeStream(data);
        EXPECT_THROW(bad->GetChar(), platform::Exception);
    }
}

TEST(JBIG2Stream, HostilePageSizesAreBounded) {
    struct Case {
        uint32_t w, h;
        bool striped;
    };
    // Too large for the output ceiling, or the bitmap limits; an unknown
    // height without end of stripe is no page at all.
    for (const Case& c : {Case{0x40000000u, 0x40000000u, false}, Case{100000, 100000, false},
                          Case{0x7FFFFFFFu, testing::kJbig2UnknownHeight, false}}) {
        Jbig2PageInfo info = Page(c.w, c.h);
        info.striped = c.striped;
        Jbig2Writer w;
        w.PageInformation(info);
        w.EndOfStripe(0x7FFFFFF0u);
        auto s = MakeStream(w.Bytes());
        s->SetOutputLimit(1 << 20);
        EXPECT_THROW(s->GetChar(), std::exception) << c.w << "x" << c.h;
    }
    Jbig2Writer w;
    w.PageInformation(Page(4000, 4000));
    auto s = MakeStream(w.Bytes());
    s->SetOutputLimit(1000);
    EXPECT_THROW(s->GetChar(), ExDecodeLimit);

    // A stripe's end cuts a page of unknown height short, under a region of
    // two million rows (MMR, no data): the region is larger than any page the
    // ceiling allows and is refused before it is decoded.
    Jbig2Writer striped;
    Jbig2PageInfo info = Page(64, testing::kJbig2UnknownHeight);
    info.striped = true;
    info.maxStripeSize = 16;
    striped.PageInformation(info);
    striped.RawSegment(38, {}, std::string("\0\0\0\x40\0\x1E\x84\x80\0\0\0\0\0\0\0\0\0\x01", 18));
    striped.EndOfStripe(9);
    auto tall = MakeStream(striped.Bytes());
    tall->SetOutputLimit(1 << 20);
    EXPECT_THROW(tall->GetChar(), ExDecodeLimit);
}

TEST(JBIG2Stream, CutAndDamagedStreamsFailCleanly) {
    // Boundaries of the segments as the writer adds them.
    Jbig2Writer w;
    std::vector<size_t> cuts;
    Jbig2PageInfo info = Page(60, 40);
    info.operatorOverrideAllowed = true;
    w.PageInformation(info);
    cuts.push_back(w.Bytes().size());
    const Jbig2Bitmap first = Jbig2Bitmap::TextLike(60, 20, 8);
    w.GenericRegion(first, {0, 0}, {0, true, false, false, {}});
    cuts.push_back(w.Bytes().size());
    const uint32_t ref = w.GenericRegion(Jbig2Bitmap::Noise(30, 15, 2), {0, 0, Jbig2Combine::Or,
                                                                           Jbig2RegionUse::Intermediate});
    cuts.push_back(w.Bytes().size());
    w.RefinementRegion(Jbig2Bitmap::Noise(30, 15, 3), ref, {40, 30, Jbig2Combine::Xor});
    cuts.push_back(w.Bytes().size());
    w.GenericRegion(Jbig2Bitmap::Noise(33, 12, 4), {5, 25}, {2, false, true, false, {}});
    cuts.push_back(w.Bytes().size());
    w.EndOfPage();
    const std::string data = w.Bytes();

    // Cut after the first region: the page with that region alone.
    Jbig2Bitmap partial(60, 40);
    partial.Combine(first, 0, 0, Jbig2Combine::Or);
    EXPECT_EQ(Ours(data.substr(0, cuts[1])), partial);

    std::mt19937 random(5);
    std::vector<std::string> inputs;
    for (size_t c : cuts) inputs.push_back(data.substr(0, c));
    for (size_t i = 0; i < data.size(); i += 3) inputs.push_back(data.substr(0, i));
    for (int32_t i = 0; i < 300; ++i) {
        std::string d = data;
        for (int32_t f = 0; f < 1 + i % 4; ++f) d[random() % d.size()] ^= static_cast<char>(1 << (random() % 8));
        inputs.push_back(d);
    }
    for (const std::string& input : inputs) {
        auto s = MakeStream(input);
        s->SetOutputLimit(1 << 20);
        try {
            uint8_t block[256];
            while (s->Read(block, sizeof block) > 0) {
            }
        } catch (const std::exception&) {
        }
    }
}

}  // namespace
}  // namespace qz::filters
