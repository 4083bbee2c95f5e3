#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

#include "filters/jbig2/GenericRegion.h"
#include "filters/jbig2/SegmentHeader.h"
#include "filters/tests/JBIG2TestEncoder.h"
#include "testing/GTestSupport.h"
#include "testing/TempDir.h"
#include "testing/Tools.h"

namespace qz::filters::jbig2 {
namespace {

using namespace test;

// A bitmap with structure (blocks, strokes, repeated rows) and noise, so
// that contexts vary and TPGDON finds repeated rows.
TqzImageBitmap Sample(int32_t w, int32_t h, uint32_t seed) {
    std::mt19937 rng(seed);
    TqzImageBitmap b(w, h);
    for (int32_t y = 0; y < h; ++y) {
        if (y > 0 && rng() % 4 == 0) {
            for (int32_t x = 0; x < w; ++x) b.SetPixel(x, y, b.GetPixel(x, y - 1));
            continue;
        }
        for (int32_t x = 0; x < w; ++x) {
            const bool stroke = ((x / 5 + y / 7) % 3) == 0;
            b.SetPixel(x, y, (stroke ? rng() % 8 != 0 : rng() % 9 == 0) ? 1 : 0);
        }
    }
    return b;
}

// The data of an immediate generic region segment: region information,
// flags, AT pixels, coded data.
std::string GenericSegmentData(const TqzImageBitmap& b, int tmpl, bool tpgdon, const std::vector<AtPixel>& at,
                               bool ext = false) {
    std::string d = RegionInfoBytes(static_cast<uint32_t>(b.GetWidth()), static_cast<uint32_t>(b.GetHeight()));
    Put8(d, static_cast<uint32_t>((ext ? 16 : 0) | (tpgdon ? 8 : 0) | (tmpl << 1)));
    for (const auto& p : at) {
        Put8(d, static_cast<uint32_t>(static_cast<uint8_t>(static_cast<int8_t>(p.dx))));
        Put8(d, static_cast<uint32_t>(static_cast<uint8_t>(static_cast<int8_t>(p.dy))));
    }
    MQEncoder enc;
    EncodeGeneric(enc, b, tmpl, tpgdon, at, ext);
    const auto coded = enc.Finish();
    d.append(coded.begin(), coded.end());
    return d;
}

std::unique_ptr<TqzGenericRegion> Region(const std::string& data, TqzSegmentHeader* header = nullptr) {
    auto r = std::make_unique<TqzGenericRegion>();
    r->Init(header, std::make_shared<TqzIOStream>(Data(data), 0, static_cast<int64_t>(data.size())));
    return r;
}

struct Variant {
    int tmpl;
    bool tpgdon;
    bool ext;
    std::vector<AtPixel> at;
};

std::vector<Variant> Variants() {
    return {
        {0, false, false, NominalAt(0)},
        {0, true, false, NominalAt(0)},
        {0, false, false, {{-1, 0}, {-3, -1}, {4, -2}, {-5, -1}}},  // A1 reads the pixel just left
        {0, true, true, NominalAt(0, true)},
        {0, false, true, {{-5, 0}, {0, -3}, {-2, -1}, {-1, -2}, {1, -2}, {2, -1},
                          {-3, 0}, {-4, 0}, {6, -2}, {3, -1}, {-2, -2}, {-3, -1}}},
        {1, false, false, NominalAt(1)},
        {1, true, false, {{-6, -3}}},
        {2, false, false, NominalAt(2)},
        {2, true, false, {{5, -1}}},
        {3, false, false, NominalAt(3)},
        {3, true, false, {{-2, 0}}},
    };
}

TEST(JBIG2GenericRegion, HeaderFlagsAndAtPixels) {
    struct Case { uint8_t flags; int tmpl; bool mmr; size_t pairs; };
    for (const Case& c : {Case{0x06, 3, false, 1}, Case{0x04, 2, false, 1}, Case{0x01, 0, true, 0},
                          Case{0x00, 0, false, 4}, Case{0x10, 0, false, 12}, Case{0x0A, 1, false, 1}}) {
        std::string d = RegionInfoBytes(8, 1);
        Put8(d, c.flags);
        for (size_t i = 0; i < c.pairs; ++i) {
            Put8(d, 0xFD);
            Put8(d, 0xFF);
        }
        const auto r = Region(d + std::string(4, '\0'));
        EXPECT_EQ(r->GetTemplate(), c.tmpl);
        EXPECT_EQ(r->IsMMREncoded(), c.mmr);
        ASSERT_EQ(r->GetAtX().size(), c.pairs);
        if (c.pairs > 0) {
            EXPECT_EQ(r->GetAtX()[0], -3);
            EXPECT_EQ(r->GetAtY()[0], -1);
        }
        EXPECT_EQ(r->GetDataOffset(), static_cast<int64_t>(d.size()));
        EXPECT_EQ(r->GetDataLength(), 4);
    }
    // A header cut short is an error.
    std::string d = RegionInfoBytes(8, 1);
    Put8(d, 0);
    EXPECT_THROW(Region(d + "\x03"), platform::Exception);
}

TEST(JBIG2GenericRegion, RoundTripsEveryTemplate) {
    // Width 13 leaves three padding bits per row; 77 spans several bytes.
    for (int32_t w : {13, 77}) {
        const TqzImageBitmap b = Sample(w, 31, static_cast<uint32_t>(w));
        for (const Variant& v : Variants()) {
            const auto r = Region(GenericSegmentData(b, v.tmpl, v.tpgdon, v.at, v.ext));
            const auto got = r->GetRegionBitmap();
            EXPECT_EQ(got->GetByteArray(), b.GetByteArray())
                << "width " << w << " template " << v.tmpl << " tpgdon " << v.tpgdon << " ext " << v.ext
                << " A1 " << v.at[0].dx << "," << v.at[0].dy;
            EXPECT_EQ(r->GetRegionBitmap(), got);  // decoded once
        }
    }
}

TEST(JBIG2GenericRegion, MovedAtPixelsAreMarked) {
    const TqzImageBitmap b = Sample(9, 3, 1);
    const auto nominal = Region(GenericSegmentData(b, 0, false, NominalAt(0)));
    nominal->GetRegionBitmap();
    EXPECT_EQ(nominal->GetAtOverride(), std::vector<bool>(4, false));
    const auto moved = Region(GenericSegmentData(b, 0, false, {{-1, 0}, {-3, -1}, {2, -2}, {-2, -2}}));
    moved->GetRegionBitmap();
    EXPECT_EQ(moved->GetAtOverride(), (std::vector<bool>{true, false, false, false}));
}

TEST(JBIG2GenericRegion, TypicalPredictionCopiesRows) {
    // All rows alike: row 0 is predicted (all 0), a 1 switches copying off.
    TqzImageBitmap b(16, 4);
    const auto r = Region(GenericSegmentData(b, 0, true, NominalAt(0)));
    EXPECT_EQ(r->GetRegionBitmap()->GetByteArray(), b.GetByteArray());
}

TEST(JBIG2GenericRegion, SharedDecoderAndContextsForSymbols) {
    // Two symbols coded one after the other with one coder and one set of
    // contexts, as a symbol dictionary does.
    const TqzImageBitmap s1 = Sample(11, 7, 3), s2 = Sample(5, 7, 4);
    MQEncoder enc;
    EncodeGeneric(enc, s1, 1, false, NominalAt(1));
    EncodeGeneric(enc, s2, 1, false, NominalAt(1));
    const auto coded = enc.Finish();
    auto reader = std::make_shared<TqzIOStream>(Data(coded), 0, static_cast<int64_t>(coded.size()));
    TqzArithmeticDecoder decoder(reader.get());
    TqzCX cx(65536, 0);
    TqzGenericRegion region(reader);
    const std::vector<int16_t> atx = {3}, aty = {-1};
    region.SetParameters(false, 1, false, false, atx, aty, 11, 7, &cx, &decoder);
    EXPECT_EQ(region.GetRegionBitmap()->GetByteArray(), s1.GetByteArray());
    region.SetParameters(false, 1, false, false, atx, aty, 5, 7, &cx, &decoder);
    EXPECT_EQ(region.GetRegionBitmap()->GetByteArray(), s2.GetByteArray());
}

TEST(JBIG2GenericRegion, MMRRegion) {
    std::string d = RegionInfoBytes(8, 2);
    Put8(d, 0x01);
    d += std::string("\x2F\x40", 2);  // H 2 3, V0; then nothing: row 1 stays 0
    const auto r = Region(d);
    EXPECT_EQ(r->GetRegionBitmap()->GetByteArray(), (std::vector<uint8_t>{0x38, 0x00}));
}

class PageLookup : public TqzSegmentLookup {
public:
    TqzSegmentHeader* ResolveSegment(uint32_t, uint32_t) override { return nullptr; }
    TqzPageInformation* GetPageInformation(uint32_t) override { return page; }
    TqzPageInformation* page = nullptr;
};

TEST(JBIG2GenericRegion, OversizedRegionsAreRefusedWithoutDecoding) {
    // A region larger than its page.
    PageLookup doc;
    const std::string pageBytes = SegmentHeaderBytes(1, 48, 1, 19) + PageInfoBytes(64, 32);
    std::string regionData = RegionInfoBytes(65, 10);
    Put8(regionData, 0);
    regionData += std::string(8, '\0') + std::string("\x12\x34", 2);
    const std::string all = pageBytes + SegmentHeaderBytes(2, 38, 1, static_cast<uint32_t>(regionData.size())) + regionData;
    TqzIOStream s(Data(all), 0, static_cast<int64_t>(all.size()));
    TqzSegmentHeader page(&doc, s, 0, TqzSegmentHeader::kSequential);
    doc.page = dynamic_cast<TqzPageInformation*>(page.GetSegmentData());
    TqzSegmentHeader region(&doc, s, static_cast<int64_t>(pageBytes.size()), TqzSegmentHeader::kSequential);
    auto* generic = dynamic_cast<TqzGenericRegion*>(region.GetSegmentData());
    ASSERT_NE(generic, nullptr);
    EXPECT_THROW(generic->GetRegionBitmap(), platform::Exception);

    // A region past the pixel limit, and a large region whose few coded
    // bytes run out: both end with an error, quickly.
    for (uint32_t side : {60000u, 3000u}) {
        std::string d = RegionInfoBytes(side, side);
        Put8(d, 0);
        d += std::string(8, '\0') + std::string("\x12\x34\x56", 3);
        EXPECT_THROW(Region(d)->GetRegionBitmap(), platform::Exception) << side;
    }
}

TEST(JBIG2GenericRegion, TruncatedAndFlippedSegmentsFailCleanly) {
    const TqzImageBitmap b = Sample(40, 20, 8);
    std::mt19937 rng(2);
    for (const Variant& v : Variants()) {
        const std::string good = GenericSegmentData(b, v.tmpl, v.tpgdon, v.at, v.ext);
        for (int i = 0; i < 8; ++i) {
            std::string bad = good.substr(0, rng() % good.size());
            if (!bad.empty() && (i & 1)) bad[rng() % bad.size()] = static_cast<char>(rng());
            try {
                Region(bad)->GetRegionBitmap();
            } catch (const platform::Exception&) {
            }
        }
    }
}

// jbig2dec's view of an embedded stream holding one page of the region's
// size and one immediate generic region covering it.
std::vector<uint8_t> Jbig2decRegion(const std::string& regionData, uint32_t w, uint32_t h,
                                    const qz::testing::TempDir& dir) {
    std::string stream = SegmentHeaderBytes(0, 48, 1, 19) + PageInfoBytes(w, h);
    stream += SegmentHeaderBytes(1, 38, 1, static_cast<uint32_t>(regionData.size())) + regionData;
    stream += SegmentHeaderBytes(2, 49, 1, 0);
    const auto in = dir.Write("region.jb2", stream);
    const auto out = dir.File("region.pbm");
    const auto r = qz::testing::RunProgram({"jbig2dec", "-e", "-t", "pbm", "-o", out.string(), in.string()});
    EXPECT_TRUE(r.Succeeded()) << r.Describe();
    std::ifstream f(out, std::ios::binary);
    std::string pbm((std::istreambuf_iterator<char>(f)), {});
    // "P4\n<w> <h>\n" then the rows.
    size_t pos = 0;
    for (int fields = 0; fields < 3 && pos < pbm.size(); ++fields) {
        while (pos < pbm.size() && !std::isspace(static_cast<unsigned char>(pbm[pos]))) ++pos;
        ++pos;
    }
    return std::vector<uint8_t>(pbm.begin() + static_cast<long>(std::min(pos, pbm.size())), pbm.end());
}

TEST(JBIG2GenericRegion, AgreesWithJbig2dec) {
    QZ_REQUIRE_TOOLS("jbig2dec");
    qz::testing::TempDir dir("qz-jbig2-generic");
    const TqzImageBitmap b = Sample(45, 19, 5);
    for (const Variant& v : Variants()) {
        if (v.ext) continue;  // jbig2dec has no extended template
        const std::string data = GenericSegmentData(b, v.tmpl, v.tpgdon, v.at);
        const auto ours = Region(data)->GetRegionBitmap();
        EXPECT_EQ(Jbig2decRegion(data, 45, 19, dir), ours->GetByteArray())
            << "template " << v.tmpl << " tpgdon " << v.tpgdon << " A1 " << v.at[0].dx << "," << v.at[0].dy;
    }
}

}  // namespace
}  // namespace qz::filters::jbig2
