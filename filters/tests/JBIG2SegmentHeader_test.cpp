#include <gtest/gtest.h>

#include <map>

#include "filters/jbig2/SegmentHeader.h"
#include "filters/tests/JBIG2TestEncoder.h"

namespace qz::filters::jbig2 {
namespace {

using namespace test;

// Headers of a data stream, resolved by number (page and global alike).
class Lookup : public TqzSegmentLookup {
public:
    TqzSegmentHeader* ResolveSegment(uint32_t, uint32_t n) override {
        auto it = segments.find(n);
        return it == segments.end() ? nullptr : it->second;
    }
    TqzPageInformation* GetPageInformation(uint32_t) override { return page; }
    std::map<uint32_t, TqzSegmentHeader*> segments;
    TqzPageInformation* page = nullptr;
};

TqzSegmentHeader Parse(const std::string& bytes, TqzSegmentLookup* doc = nullptr) {
    TqzIOStream s(Data(bytes), 0, static_cast<int64_t>(bytes.size()));
    return TqzSegmentHeader(doc, s, 0, TqzSegmentHeader::kSequential);
}

TEST(JBIG2SegmentHeader, ReferredToNumberWidthFollowsTheSegmentNumber) {
    struct Case { uint32_t number; int width; };
    for (const Case& c : {Case{300, 2}, Case{256, 1}, Case{65536, 2}, Case{65537, 4}, Case{0x80000000u, 4}}) {
        std::string h;
        Put32(h, c.number);
        Put8(h, 38);
        Put8(h, 3 << 5);
        for (int i = 1; i <= 3; ++i) {
            for (int b = c.width - 1; b >= 0; --b) Put8(h, b == 0 ? static_cast<uint32_t>(i) : 0);
        }
        Put8(h, 1);
        Put32(h, 7);
        const TqzSegmentHeader hdr = Parse(h);
        EXPECT_EQ(hdr.GetRTSegmentNumbers(), (std::vector<uint32_t>{1, 2, 3})) << c.number;
        EXPECT_EQ(hdr.GetPageAssocoation(), 1u);
        EXPECT_EQ(hdr.GetSegmentDataLength(), 7);
        EXPECT_EQ(hdr.GetSegmentType(), 38u);
        EXPECT_EQ(hdr.GetSegmentHeaderLength(), static_cast<int64_t>(h.size()));
        EXPECT_EQ(hdr.GetSegmentDataStartOffset(), static_cast<int64_t>(h.size()));
    }
}

TEST(JBIG2SegmentHeader, ShortAndLongFormCountsAndWidePageAssociation) {
    std::string shortForm = SegmentHeaderBytes(10, 48, 1, 0, {1, 2, 3, 4});
    EXPECT_EQ(Parse(shortForm).GetRTSegmentNumbers().size(), 4u);

    std::string h;
    Put32(h, 10);
    Put8(h, 0x40 | 38);                  // four-byte page association
    Put32(h, (7u << 29) | 9u);           // long form, nine segments
    Put16(h, 0);                         // ceil(10 / 8) = 2 retention bytes
    for (int i = 0; i < 9; ++i) Put8(h, static_cast<uint32_t>(i));
    Put32(h, 1);
    Put32(h, 0);
    const TqzSegmentHeader hdr = Parse(h);
    EXPECT_EQ(hdr.GetRTSegmentNumbers().size(), 9u);
    EXPECT_EQ(hdr.GetRTSegmentNumbers()[8], 8u);
    EXPECT_EQ(hdr.GetPageAssocoation(), 1u);
}

TEST(JBIG2SegmentHeader, HugeReferredToCountIsRefusedBeforeAllocating) {
    std::string h;
    Put32(h, 10);
    Put8(h, 38);
    Put32(h, (7u << 29) | ((1u << 29) - 1));  // 2^29 - 1 referred-to segments
    h += std::string(64, '\0');
    try {
        Parse(h);
        FAIL();
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "segment rendring error");
    }
}

TEST(JBIG2SegmentHeader, TruncatedHeaderStopsAfterTheCount) {
    const std::string full = SegmentHeaderBytes(3, 38, 1, 20, {1});
    for (size_t cut = 0; cut < full.size(); ++cut) {
        const TqzSegmentHeader hdr = Parse(full.substr(0, cut));
        EXPECT_GE(hdr.GetSegmentDataLength(), 0);
        if (cut <= 5) {
            EXPECT_TRUE(hdr.GetRTSegmentNumbers().empty());
            EXPECT_EQ(hdr.GetSegmentDataLength(), 0);
        }
    }
}

TEST(JBIG2SegmentHeader, ResolvesReferencesAndMakesDataOnce) {
    Lookup doc;
    const std::string pageBytes = SegmentHeaderBytes(1, 48, 1, 19) + PageInfoBytes(64, 32, 0x58, 0x8010);
    TqzIOStream s(Data(pageBytes + SegmentHeaderBytes(2, 62, 1, 0, {1, 9})), 0, 1000);
    TqzSegmentHeader page(&doc, s, 0, TqzSegmentHeader::kSequential);
    doc.segments[1] = &page;
    auto* info = dynamic_cast<TqzPageInformation*>(page.GetSegmentData());
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(page.GetSegmentData(), info);
    EXPECT_EQ(info->GetWidth(), 64u);
    EXPECT_EQ(info->GetHeight(), 32u);
    EXPECT_TRUE(info->IsStriped());
    EXPECT_EQ(info->GetMaxStripeSize(), 16);
    // 0x58: override allowed, operator code 3, no default pixel.
    EXPECT_TRUE(info->IsCombinationOperatorOverrideAllowed());
    EXPECT_EQ(info->GetCombinationOperator(), FCombinationOPerator::XNOROP);
    EXPECT_EQ(info->GetDefaultPixelValue(), 0);

    TqzSegmentHeader ext(&doc, s, static_cast<int64_t>(pageBytes.size()), TqzSegmentHeader::kSequential);
    ASSERT_EQ(ext.GetRTSegments().size(), 2u);
    EXPECT_EQ(ext.GetRTSegments()[0], &page);
    EXPECT_EQ(ext.GetRTSegments()[1], nullptr);
    EXPECT_EQ(ext.GetSegmentData(), nullptr);  // an extension has no data class
}

TEST(JBIG2SegmentHeader, RegionInformationAndTables) {
    auto region = std::make_shared<TqzIOStream>(Data(RegionInfoBytes(20, 10, 16, 8, 4)), 0, 17);
    TqzRegionSegmentInformation info(region);
    info.ParseHeader();
    EXPECT_EQ(info.GetBitmapWidth(), 20u);
    EXPECT_EQ(info.GetBitmapHeight(), 10u);
    EXPECT_EQ(info.GetXLocation(), 16);
    EXPECT_EQ(info.GetYLocation(), 8);
    EXPECT_EQ(info.GetCombinationOperator(), FCombinationOPerator::REPLACEOP);
    auto cut = std::make_shared<TqzIOStream>(Data(RegionInfoBytes(20, 10).substr(0, 16)), 0, 16);
    EXPECT_THROW(TqzRegionSegmentInformation(cut).ParseHeader(), platform::Exception);

    std::string t;
    Put8(t, 0x80 | (2u << 4) | (1u << 1) | 1u);  // HTRS 3, HTPS 2, out-of-band
    Put32(t, static_cast<uint32_t>(-5));
    Put32(t, 100);
    TqzTable table;
    table.Init(nullptr, std::make_shared<TqzIOStream>(Data(t), 0, 9));
    EXPECT_EQ(table.FhtOutOfBand, 1);
    EXPECT_EQ(table.FhtPS, 2);
    EXPECT_EQ(table.FhtRS, 3);
    EXPECT_EQ(table.FhtLow, -5);
    EXPECT_EQ(table.FhtHigh, 100);
}

TEST(JBIG2SegmentHeader, RegionLargerThanItsPageIsRefused) {
    Lookup doc;
    const std::string pageBytes = SegmentHeaderBytes(1, 48, 1, 19) + PageInfoBytes(64, 32);
    TqzIOStream s(Data(pageBytes + SegmentHeaderBytes(2, 38, 1, 0)), 0, 1000);
    TqzSegmentHeader page(&doc, s, 0, TqzSegmentHeader::kSequential);
    doc.page = dynamic_cast<TqzPageInformation*>(page.GetSegmentData());
    TqzSegmentHeader region(&doc, s, static_cast<int64_t>(pageBytes.size()), TqzSegmentHeader::kSequential);
    TqzRegionSegmentInformation info;
    info.SetBitmapWidth(64);
    info.SetBitmapHeight(32);
    EXPECT_NO_THROW(info.CheckSize(&region));
    info.SetBitmapHeight(33);
    EXPECT_THROW(info.CheckSize(&region), platform::Exception);
    info.SetBitmapWidth(60000);
    info.SetBitmapHeight(60000);
    EXPECT_THROW(info.CheckSize(nullptr), platform::Exception);
}

}  // namespace
}  // namespace qz::filters::jbig2
