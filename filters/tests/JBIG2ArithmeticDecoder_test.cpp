#include <gtest/gtest.h>

#include <random>

#include "filters/jbig2/ArithmeticDecoder.h"
#include "filters/tests/JBIG2TestEncoder.h"

namespace qz::filters::jbig2 {
namespace {

using test::Data;
using test::MQEncoder;

TEST(JBIG2ArithmeticDecoder, RoundTripsRandomDecisionsInSeveralContexts) {
    // Skewed per context, so that states climb high and also switch.
    std::mt19937 rng(7);
    const int contexts = 10;
    std::vector<std::pair<uint32_t, int>> decisions;
    for (int i = 0; i < 20000; ++i) {
        const auto cx = static_cast<uint32_t>(rng() % contexts);
        const int threshold = static_cast<int>(cx) * 10 + 2;  // 2% .. 92% ones
        decisions.emplace_back(cx, static_cast<int>(rng() % 100) < threshold ? 1 : 0);
    }
    MQEncoder enc(contexts);
    for (auto [cx, d] : decisions) enc.Encode(cx, d);
    const auto coded = enc.Finish();

    TqzIOStream s(Data(coded), 0, static_cast<int64_t>(coded.size()));
    TqzArithmeticDecoder dec(&s);
    TqzCX cx(contexts, 0);
    for (size_t i = 0; i < decisions.size(); ++i) {
        cx.Setindex(static_cast<int32_t>(decisions[i].first));
        ASSERT_EQ(dec.Decode(cx), decisions[i].second) << "decision " << i;
    }
}

TEST(JBIG2ArithmeticDecoder, MarkerFeedsOnesWithoutMovingPastIt) {
    // After FF AC the decoder stays on the marker; decisions go on, and a
    // decoder that is asked for far more than its data holds stops.
    const std::vector<uint8_t> coded = {0x12, 0x34, 0xFF, 0xAC};
    TqzIOStream s(Data(coded), 0, 4);
    TqzArithmeticDecoder dec(&s);
    TqzCX cx(1, 0);
    for (int i = 0; i < 200; ++i) dec.Decode(cx);
    EXPECT_LE(dec.GetStreamPos(), 3);
    EXPECT_THROW(
        {
            for (int i = 0; i < 100000000; ++i) dec.Decode(cx);
        },
        platform::Exception);
}

TEST(JBIG2ArithmeticDecoder, IntegersOfEveryPrefixClassAndOutOfBand) {
    const std::vector<int64_t> values = {0,    1,    3,     4,     19,    20,     83,          84,
                                         339,  340,  4435,  4436,  -1,    -2,     -4436,       -4437,
                                         100000, -100000, 4294967295LL + 4436, -(4294967295LL + 4436)};
    MQEncoder enc(1024 + 8);
    for (int64_t v : values) test::EncodeInteger(enc, 0, v);
    test::EncodeInteger(enc, 0, 0, true);
    for (int64_t v : values) test::EncodeInteger(enc, 512, v);  // a second family
    test::EncodeIAID(enc, 1024, 5, 3);
    test::EncodeIAID(enc, 1024, 0, 3);
    const auto coded = enc.Finish();

    TqzIOStream s(Data(coded), 0, static_cast<int64_t>(coded.size()));
    TqzArithmeticIntegerDecoder dec(std::make_unique<TqzArithmeticDecoder>(&s));
    TqzCX iax(512, 0), iay(512, 0), iaid(8, 0);
    for (int64_t v : values) EXPECT_EQ(dec.Decode(&iax), v);
    EXPECT_EQ(dec.Decode(&iax), kOutOfBand);
    for (int64_t v : values) EXPECT_EQ(dec.Decode(&iay), v);
    EXPECT_EQ(dec.DecodeIAID(iaid, 3), 5);
    EXPECT_EQ(dec.DecodeIAID(iaid, 3), 0);
    // A symbol code longer than its context store allows is refused.
    EXPECT_THROW(dec.DecodeIAID(iaid, 4), platform::Exception);
}

TEST(JBIG2ArithmeticDecoder, ContextStoreChecksItsIndexAndState) {
    TqzCX cx(4, 3);
    EXPECT_EQ(cx.Getindex(), 3);
    EXPECT_THROW(cx.Setindex(4), platform::Exception);
    cx.Setcx(46);
    EXPECT_EQ(cx.Getcx(), 46);
    EXPECT_THROW(cx.Setcx(47), platform::Exception);
    cx.Togglemps();
    EXPECT_EQ(cx.Mps(), 1);
}

TEST(JBIG2ArithmeticDecoder, TruncatedAndFlippedDataNeverReadsOutside) {
    std::mt19937 rng(3);
    MQEncoder enc(16);
    for (int i = 0; i < 5000; ++i) enc.Encode(rng() % 16, (rng() % 5) == 0);
    const auto coded = enc.Finish();
    for (size_t cut : {size_t{0}, size_t{1}, size_t{2}, coded.size() / 2}) {
        std::vector<uint8_t> part(coded.begin(), coded.begin() + static_cast<long>(cut));
        if (!part.empty()) part[part.size() / 2] ^= 0x10;
        TqzIOStream s(Data(part), 0, static_cast<int64_t>(part.size()));
        TqzArithmeticDecoder dec(&s);
        TqzCX cx(16, 0);
        try {
            for (int i = 0; i < 5000; ++i) dec.DecodeAt(cx, static_cast<uint32_t>(i % 16));
        } catch (const platform::Exception&) {
            // Running out of data is reported; reading outside it is not possible.
        }
    }
}

}  // namespace
}  // namespace qz::filters::jbig2
