#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

#include "filters/jbig2/MMRDecompressor.h"
#include "filters/tests/JBIG2TestEncoder.h"
#include "testing/GTestSupport.h"
#include "testing/TempDir.h"
#include "testing/Tools.h"

namespace qz::filters::jbig2 {
namespace {

using test::Data;

TqzIOStream Reader(const std::vector<uint8_t>& bytes) {
    return TqzIOStream(Data(bytes), 0, static_cast<int64_t>(bytes.size()));
}

TEST(JBIG2MMRDecompressor, HandMadeRows) {
    // Horizontal mode (white 2, black 3), then V0.
    TqzIOStream s = Reader({0x2F, 0x40});
    TqzMMRDecompressor mmr(8, 1, s);
    const auto b = mmr.Uncompress();
    EXPECT_EQ(b->GetByteArray(), std::vector<uint8_t>{0x38});
    EXPECT_EQ(mmr.LastChangingElements(), (std::vector<int32_t>{2, 5, 8}));
    EXPECT_EQ(mmr.GetOffset(), 10);

    // A first row coded as V0 alone is white.
    TqzIOStream v0 = Reader({0x80});
    TqzMMRDecompressor white(8, 1, v0);
    EXPECT_EQ(white.Uncompress()->GetByteArray(), std::vector<uint8_t>{0x00});
    EXPECT_EQ(white.LastChangingElements(), std::vector<int32_t>{8});

    // Thirteen bits of no mode code skip one bit; an end of line follows.
    TqzIOStream skip = Reader({0x00, 0x08});
    TqzMMRDecompressor skipper(8, 1, skip);
    skipper.Uncompress();
    EXPECT_EQ(skipper.GetOffset(), 13);

    // Two planes from one decompressor: the second starts after the first.
    TqzIOStream planes = Reader({0x2F, 0x60});
    TqzMMRDecompressor two(8, 1, planes);
    EXPECT_EQ(two.Uncompress()->GetByteArray(), std::vector<uint8_t>{0x38});
    EXPECT_EQ(two.Uncompress()->GetByteArray(), std::vector<uint8_t>{0x00});
    EXPECT_EQ(two.GetOffset(), 11);
}

TEST(JBIG2MMRDecompressor, DataThatEndsLeavesRowsZeroAndReturns) {
    // One black row, then nothing: the other rows of a large bitmap stay 0
    // and decoding ends at once instead of skipping zero bits for ever.
    TqzIOStream s = Reader({0x2F, 0x40});
    TqzMMRDecompressor mmr(8, 100000, s);
    const auto b = mmr.Uncompress();
    EXPECT_EQ(b->GetByte(0), 0x38);
    for (int64_t i = 1; i < 100000; ++i) ASSERT_EQ(b->GetByte(i), 0);
    TqzIOStream none = Reader({});
    EXPECT_EQ(TqzMMRDecompressor(16, 4, none).Uncompress()->GetByteArray(), std::vector<uint8_t>(8, 0));
    EXPECT_THROW(TqzMMRDecompressor(1 << 20, 1 << 20, none), platform::Exception);
}

TEST(JBIG2MMRDecompressor, CorruptDataStaysInsideItsArrays) {
    std::mt19937 rng(5);
    for (int iter = 0; iter < 300; ++iter) {
        std::vector<uint8_t> bytes(1 + rng() % 64);
        for (auto& b : bytes) b = static_cast<uint8_t>(rng());
        TqzIOStream s = Reader(bytes);
        const auto w = static_cast<int32_t>(1 + rng() % 70);
        TqzMMRDecompressor mmr(w, static_cast<int32_t>(1 + rng() % 30), s);
        try {
            const auto b = mmr.Uncompress();
            // Padding bits stay 0.
            const int32_t spare = b->GetRowStride() * 8 - w;
            for (int32_t y = 0; y < b->GetHeight() && spare > 0; ++y) {
                ASSERT_EQ(b->Row(y)[b->GetRowStride() - 1] & ((1 << spare) - 1), 0);
            }
        } catch (const platform::Exception&) {
            // A row too corrupt to decode is reported.
        }
    }
}

// G4 data of `b` made by Ghostscript's CCITTFax encoder.
std::vector<uint8_t> GhostscriptG4(const TqzImageBitmap& b, const qz::testing::TempDir& dir) {
    std::string hex;
    static const char* digits = "0123456789abcdef";
    for (uint8_t c : b.GetByteArray()) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    const auto out = dir.File("g4.bin");
    const std::string ps = "/out (" + out.string() + ") (w) file << /K -1 /Columns " +
                           std::to_string(b.GetWidth()) + " /Rows " + std::to_string(b.GetHeight()) +
                           " /BlackIs1 true /EndOfBlock false >> /CCITTFaxEncode filter def\n"
                           "out <" + hex + "> writestring out closefile\n";
    const auto script = dir.Write("g4.ps", ps);
    const auto r = qz::testing::RunProgram({"gs", "-q", "-dNOSAFER", "-dNODISPLAY", "-dBATCH", script.string()});
    EXPECT_TRUE(r.Succeeded()) << r.Describe();
    std::ifstream in(out, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

TEST(JBIG2MMRDecompressor, DecodesGhostscriptG4) {
    QZ_REQUIRE_TOOLS("gs");
    qz::testing::TempDir dir("qz-jbig2-mmr");
    std::mt19937 rng(9);
    struct Shape { int32_t w, h; int runScale; };
    // Short runs, text-like runs, and long runs on a wide row that need the
    // make-up codes up to 2560 and their repetition.
    for (const Shape& shape : {Shape{37, 23, 3}, Shape{200, 40, 12}, Shape{6000, 12, 2500}}) {
        TqzImageBitmap b(shape.w, shape.h);
        for (int32_t y = 0; y < shape.h; ++y) {
            int32_t x = 0;
            int colour = static_cast<int>(rng() & 1);
            // Rows often repeat the one above, as in text, for the vertical modes.
            if (y > 0 && rng() % 3 == 0) {
                for (int32_t xx = 0; xx < shape.w; ++xx) b.SetPixel(xx, y, b.GetPixel(xx + static_cast<int32_t>(rng() % 3) - 1, y - 1));
                continue;
            }
            while (x < shape.w) {
                const auto run = static_cast<int32_t>(1 + rng() % static_cast<uint32_t>(shape.runScale));
                for (int32_t i = 0; i < run && x < shape.w; ++i, ++x) b.SetPixel(x, y, colour);
                colour ^= 1;
            }
        }
        const auto coded = GhostscriptG4(b, dir);
        ASSERT_FALSE(coded.empty());
        TqzIOStream s = Reader(coded);
        TqzMMRDecompressor mmr(shape.w, shape.h, s);
        const auto got = mmr.Uncompress();
        EXPECT_EQ(got->GetByteArray(), b.GetByteArray()) << shape.w << "x" << shape.h;
        EXPECT_LE((mmr.GetOffset() + 7) / 8, static_cast<int64_t>(coded.size()));
    }
}

}  // namespace
}  // namespace qz::filters::jbig2
