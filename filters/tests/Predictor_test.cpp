#include <gtest/gtest.h>

#include <cstdlib>

#include "filters/CodecStreams.h"
#include "filters/tests/TestSupport.h"

using namespace qz::filters;
using namespace qz::filters::test;

namespace {

std::string Decode(const std::string& predicted, int predictor, int columns, int colors, int bits) {
    TqzFlateStream s(Mem(Zlib(predicted)), predictor, columns, colors, bits);
    return ReadBlocks(s, 1000);
}

uint8_t PaethOf(int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return static_cast<uint8_t>(pa <= pb && pa <= pc ? a : (pb <= pc ? b : c));
}

// PNG prediction, row r with filter type tags[r % tags.size()].
std::string PngEncode(const std::string& image, size_t rowBytes, size_t bpp, const std::vector<int>& tags) {
    std::string out;
    std::string prev(rowBytes, '\0');
    for (size_t r = 0; r * rowBytes < image.size(); ++r) {
        const std::string row = image.substr(r * rowBytes, rowBytes);
        const int tag = tags[r % tags.size()];
        out.push_back(static_cast<char>(tag));
        for (size_t i = 0; i < row.size(); ++i) {
            const int x = static_cast<uint8_t>(row[i]);
            const int a = i >= bpp ? static_cast<uint8_t>(row[i - bpp]) : 0;
            const int b = static_cast<uint8_t>(prev[i]);
            const int c = i >= bpp ? static_cast<uint8_t>(prev[i - bpp]) : 0;
            int pred = 0;
            switch (tag) {
                case 1: pred = a; break;
                case 2: pred = b; break;
                case 3: pred = (a + b) / 2; break;
                case 4: pred = PaethOf(a, b, c); break;
                default: break;
            }
            out.push_back(static_cast<char>(x - pred));
        }
        prev = row;
    }
    return out;
}

// TIFF predictor 2: each sample minus the same component one pixel earlier.
std::string TiffEncode(const std::string& image, size_t columns, size_t colors, size_t bits) {
    const size_t rowBytes = (columns * colors * bits + 7) / 8;
    std::string out = image;
    const uint32_t modMask = bits == 16 ? 0xFFFFu : (1u << bits) - 1;
    for (size_t start = 0; start + rowBytes <= image.size(); start += rowBytes) {
        auto byteAt = [&](const std::string& s, size_t i) { return uint32_t{static_cast<uint8_t>(s[start + i])}; };
        auto sample = [&](const std::string& s, size_t k) -> uint32_t {
            if (bits == 16) return (byteAt(s, 2 * k) << 8) | byteAt(s, 2 * k + 1);
            const size_t bit = k * bits;
            return (byteAt(s, bit / 8) >> (8 - bits - bit % 8)) & modMask;
        };
        auto put = [&](size_t k, uint32_t v) {
            if (bits == 16) {
                out[start + 2 * k] = static_cast<char>(v >> 8);
                out[start + 2 * k + 1] = static_cast<char>(v);
                return;
            }
            const size_t bit = k * bits;
            const size_t shift = 8 - bits - bit % 8;
            const uint32_t mask = modMask << shift;
            out[start + bit / 8] = static_cast<char>((byteAt(out, bit / 8) & ~mask) | (v << shift));
        };
        for (size_t k = colors; k < columns * colors; ++k)
            put(k, (sample(image, k) - sample(image, k - colors)) & modMask);
    }
    return out;
}

}  // namespace

TEST(Predictor, EveryPngFilterTypeRowByRow) {
    for (size_t colors : {1u, 3u, 4u})
        for (size_t bits : {1u, 8u, 16u})
            for (size_t columns : {1u, 5u, 33u}) {
                SCOPED_TRACE(testing::Message() << colors << " colors, " << bits << " bits, " << columns << " columns");
                const size_t rowBytes = (columns * colors * bits + 7) / 8;
                const size_t bpp = (colors * bits + 7) / 8;
                const std::string image = SampleText(rowBytes * 11, static_cast<uint32_t>(colors * bits + columns));
                const std::string predicted = PngEncode(image, rowBytes, bpp, {0, 1, 2, 3, 4, 4, 3, 2, 1});
                for (int predictor : {10, 12, 15})
                    EXPECT_TRUE(Same(Decode(predicted, predictor, static_cast<int>(columns),
                                            static_cast<int>(colors), static_cast<int>(bits)),
                                     image));
            }
}

TEST(Predictor, TiffAtEveryDepth) {
    for (size_t bits : {1u, 2u, 4u, 8u, 16u})
        for (size_t colors : {1u, 3u})
            for (size_t columns : {1u, 7u, 16u, 33u}) {
                SCOPED_TRACE(testing::Message() << bits << " bits, " << colors << " colors, " << columns << " columns");
                const size_t rowBytes = (columns * colors * bits + 7) / 8;
                const std::string image = RandomBytes(rowBytes * 9, static_cast<uint32_t>(bits * 100 + colors * 10 + columns));
                EXPECT_TRUE(Same(Decode(TiffEncode(image, columns, colors, bits), 2, static_cast<int>(columns),
                                        static_cast<int>(colors), static_cast<int>(bits)),
                                 image));
            }
    // 1 bit: each bit follows the decoded bit before it, not the raw one.
    EXPECT_EQ(Decode("\x88\x88", 2, 16, 1, 1), "\xF0\xF0");
}

TEST(Predictor, RowShapesAndOddTags) {
    // /Columns 4: rows of tag plus four bytes; tag 2 adds the row above.
    EXPECT_EQ(Decode(std::string("\0\1\2\3\4\2\1\1\1\1", 10), 12, 4, 1, 8), std::string("\1\2\3\4\2\3\4\5", 8));
    // Tags above 4 copy the row as it stands.
    EXPECT_EQ(Decode(std::string("\x07\x09\x09", 3), 15, 2, 1, 8), "\x09\x09");
    // TIFF, 3 colours of 8 bits: each byte adds the one three places back.
    EXPECT_EQ(Decode(std::string("\1\2\3\1\1\1", 6), 2, 2, 3, 8), std::string("\1\2\3\2\3\4", 6));
    // Data ending at a row boundary ends there; a row cut short keeps the
    // previous row's bytes after the cut.
    EXPECT_EQ(Decode(std::string("\0\1\2\3", 4), 12, 3, 1, 8), std::string("\1\2\3", 3));
    EXPECT_EQ(Decode(std::string("\0\1\2\3\0\7", 6), 12, 3, 1, 8), std::string("\1\2\3\7\2\3", 6));
    // A tag with no row after it ends the data.
    EXPECT_EQ(Decode(std::string("\0\1\2\3\2", 5), 12, 3, 1, 8), std::string("\1\2\3", 3));

    // LookChar shows the byte GetChar then takes.
    const std::string image = SampleText(5 * 40, 4);
    TqzFlateStream s(Mem(Zlib(PngEncode(image, 40, 1, {4, 1}))), 12, 40, 1, 8);
    std::string out;
    for (;;) {
        const int peek = s.LookChar();
        const int c = s.GetChar();
        ASSERT_EQ(peek, c);
        if (c < 0) break;
        out.push_back(static_cast<char>(c));
    }
    EXPECT_EQ(out, image);
    s.Reset();
    EXPECT_EQ(GetChars(s), image);
}

TEST(Predictor, UnusableParametersLeaveTheDataUnpredicted) {
    const std::string raw = std::string("\2\1\2\3\4", 5);
    struct Case {
        int columns, colors, bits;
    } cases[] = {
        {0, 1, 8},           {4, 0, 8},           {4, 1, 0},         {4, 1, 3},
        {4, 1, 32},          {4, 33, 8},          {4, 1000, 8},      {-5, 1, 8},
        {1 << 30, 1, 8},     {0x7FFFFFFF, 32, 16}, {(1 << 26) + 8, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.columns << " columns, " << c.colors << " colors, " << c.bits << " bits");
        TqzFlateStream s(Mem(Zlib(raw)), 12, c.columns, c.colors, c.bits);
        EXPECT_FALSE(s.HasPredictor());
        EXPECT_TRUE(Same(ReadBlocks(s, 64), raw));
    }
    // The largest row still accepted.
    TqzFlateStream wide(Mem(Zlib(raw)), 12, 1 << 23, 1, 8);
    EXPECT_TRUE(wide.HasPredictor());
}
