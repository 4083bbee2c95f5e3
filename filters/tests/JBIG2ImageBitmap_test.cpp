#include <gtest/gtest.h>

#include <random>

#include "filters/jbig2/ImageBitmap.h"
#include "filters/jbig2/Limits.h"

namespace qz::filters::jbig2 {
namespace {

using Op = FCombinationOPerator;

TqzImageBitmap Bytes(int32_t w, int32_t h, std::vector<uint8_t> bytes) {
    TqzImageBitmap b(w, h);
    b.GetByteArray() = std::move(bytes);
    return b;
}

TEST(JBIG2ImageBitmap, LayoutAndSizeLimits) {
    TqzImageBitmap b(9, 2);
    EXPECT_EQ(b.GetRowStride(), 2);
    EXPECT_EQ(b.GetByteArray().size(), 4u);
    b.SetPixel(8, 1, 1);
    EXPECT_EQ(b.GetByte(3), 0x80);
    EXPECT_EQ(b.GetPixel(8, 1), 1);
    EXPECT_EQ(b.GetPixel(9, 1), 0);
    EXPECT_EQ(b.GetPixel(-1, 0), 0);
    EXPECT_THROW(b.GetByte(4), platform::Exception);
    b.SetByteArray(0xFF);
    EXPECT_EQ(b.GetByte(1), 0x80);  // padding stays 0
    TqzImageBitmap empty(0, 5);
    EXPECT_EQ(empty.GetByteArray().size(), 0u);
    // Sizes from hostile data are refused before anything is allocated.
    for (auto [w, h] : std::vector<std::pair<int64_t, int64_t>>{
             {-1, 1}, {1, -1}, {int64_t{1} << 31, 1}, {100000, 100000}, {kMaxBitmapDimension + 1, 1}}) {
        EXPECT_THROW(TqzImageBitmap(w, h), platform::Exception) << w << "x" << h;
    }
}

TEST(JBIG2ImageBitmap, CombineBytes) {
    EXPECT_EQ(TqzImageBitmap::CombineBytes(0x0F, 0x3C, Op::XNOROP), 0xCC);
    EXPECT_EQ(TqzImageBitmap::CombineBytes(0x0F, 0x3C, Op::OROP), 0x3F);
    EXPECT_EQ(TqzImageBitmap::CombineBytes(0x0F, 0x3C, Op::ANDOP), 0x0C);
    EXPECT_EQ(TqzImageBitmap::CombineBytes(0x0F, 0x3C, Op::XOROP), 0x33);
    EXPECT_EQ(TqzImageBitmap::CombineBytes(0x0F, 0x3C, Op::REPLACEOP), 0x3C);
    EXPECT_EQ(TqzImageBitmap::RemoveBytePadding(0xFF, 3), 0xF8);
}

TEST(JBIG2ImageBitmap, BlitCases) {
    struct Case {
        int32_t sw; std::vector<uint8_t> src; int32_t tw; std::vector<uint8_t> dst; int x; Op op;
        std::vector<uint8_t> want;
    };
    const std::vector<Case> cases = {
        {8, {0xFF}, 16, {0x00, 0x00}, 4, Op::OROP, {0x0F, 0xF0}},
        {8, {0x00}, 16, {0xFF, 0xFF}, 4, Op::REPLACEOP, {0xF0, 0x0F}},
        {3, {0xE0}, 8, {0x1F}, 0, Op::ANDOP, {0x1F}},
        {3, {0xE0}, 8, {0x1F}, 0, Op::OROP, {0xFF}},
        {3, {0xE0}, 8, {0x1F}, 0, Op::REPLACEOP, {0xFF}},
        {8, {0x10}, 8, {0x00}, -3, Op::OROP, {0x80}},  // source column 3 on target column 0
    };
    for (const auto& c : cases) {
        TqzImageBitmap t = Bytes(c.tw, 1, c.dst);
        t.Blit(Bytes(c.sw, 1, c.src), c.x, 0, c.op);
        EXPECT_EQ(t.GetByteArray(), c.want);
    }
    // A source hanging below the target loses its lower rows.
    TqzImageBitmap t(8, 2);
    t.Blit(Bytes(8, 3, {0x01, 0x02, 0x04}), 0, 1, Op::OROP);
    EXPECT_EQ(t.GetByteArray(), (std::vector<uint8_t>{0x00, 0x01}));
}

TqzImageBitmap RandomBitmap(std::mt19937& rng, int32_t w, int32_t h) {
    TqzImageBitmap b(w, h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) b.SetPixel(x, y, static_cast<int32_t>(rng() & 1));
    return b;
}

TEST(JBIG2ImageBitmap, BlitMatchesPixelByPixelReference) {
    std::mt19937 rng(11);
    for (int iter = 0; iter < 600; ++iter) {
        const auto tw = static_cast<int32_t>(1 + rng() % 40), th = static_cast<int32_t>(1 + rng() % 6);
        const auto sw = static_cast<int32_t>(1 + rng() % 40), sh = static_cast<int32_t>(1 + rng() % 6);
        const int x = static_cast<int>(rng() % 90) - 45, y = static_cast<int>(rng() % 14) - 7;
        const auto op = static_cast<Op>(rng() % 5);
        const TqzImageBitmap target = RandomBitmap(rng, tw, th);
        const TqzImageBitmap source = RandomBitmap(rng, sw, sh);
        TqzImageBitmap got = target;
        got.Blit(source, x, y, op);
        for (int32_t ty = 0; ty < th; ++ty) {
            for (int32_t tx = 0; tx < tw; ++tx) {
                int32_t want = target.GetPixel(tx, ty);
                const int sx = tx - x, sy = ty - y;
                if (sx >= 0 && sy >= 0 && sx < sw && sy < sh) {
                    const uint8_t t = want ? 0xFF : 0, s = source.GetPixel(sx, sy) ? 0xFF : 0;
                    want = TqzImageBitmap::CombineBytes(t, s, op) & 1;
                }
                ASSERT_EQ(got.GetPixel(tx, ty), want) << "iter " << iter << " at " << tx << "," << ty;
            }
        }
        // Padding bits stay 0.
        const int32_t spare = got.GetRowStride() * 8 - tw;
        for (int32_t ty = 0; ty < th && spare > 0; ++ty) {
            ASSERT_EQ(got.Row(ty)[got.GetRowStride() - 1] & ((1 << spare) - 1), 0);
        }
    }
}

TEST(JBIG2ImageBitmap, RegionOfInterest) {
    const TqzImageBitmap b = Bytes(24, 1, {0x5A, 0xC3, 0x81});
    EXPECT_EQ(b.GetRegionOfInterest({8, 0, 16, 1})->GetByteArray(), std::vector<uint8_t>{0xC3});
    // Pixels 3-7 of 0x5A (0101 1010) are 1 1010.
    EXPECT_EQ(b.GetRegionOfInterest({3, 0, 8, 1})->GetByteArray(), std::vector<uint8_t>{0xD0});
    const auto wide = b.GetRegionOfInterest({5, 0, 24, 1});
    for (int x = 0; x < 19; ++x) EXPECT_EQ(wide->GetPixel(x, 0), b.GetPixel(x + 5, 0));
    EXPECT_EQ(wide->GetByteArray()[2] & 0x1F, 0);
    // A rectangle reaching outside the bitmap is refused.
    EXPECT_THROW(b.GetRegionOfInterest({20, 0, 25, 1}), platform::Exception);
    EXPECT_THROW(b.GetRegionOfInterest({-1, 0, 4, 1}), platform::Exception);
    EXPECT_THROW(b.GetRegionOfInterest({4, 0, 3, 1}), platform::Exception);
}

}  // namespace
}  // namespace qz::filters::jbig2
