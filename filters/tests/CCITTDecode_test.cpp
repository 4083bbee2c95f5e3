// The fax decoder against libtiff and Ghostscript: bitmaps drawn here are
// compressed by tiffcp (Group 3 one- and two-dimensional, with fill bits,
// Group 4) and by Ghostscript's CCITTFaxEncode (the parameter combinations
// tiffcp cannot make), and must decode to exactly the bits drawn. Then the
// damaged and hostile inputs, built bit by bit.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "filters/CCITTDecode.h"
#include "filters/CodecStreams.h"
#include "filters/tests/TestSupport.h"
#include "testing/GTestSupport.h"
#include "testing/TempDir.h"
#include "testing/Tools.h"

using namespace qz::filters;
using namespace qz::filters::test;

namespace {

// A bilevel image, rows packed most significant bit first, 1 = black, the
// bits past the width 0.
struct Bitmap {
    int32_t width = 0;
    int32_t height = 0;
    std::string bits;

    int32_t Stride() const { return (width + 7) / 8; }
    void SetBlack(int32_t x, int32_t y) {
        auto& byte = bits[static_cast<size_t>(y * Stride() + x / 8)];
        byte = static_cast<char>(static_cast<uint8_t>(byte) | (0x80u >> (x % 8)));
    }
};

// Rows of every kind a fax coder meets: all white, all black, random runs
// short and long, a row repeated, single pixels moved by one to three.
Bitmap Draw(int32_t width, int32_t height, uint32_t seed) {
    Bitmap b{width, height, std::string(static_cast<size_t>((width + 7) / 8 * height), '\0')};
    std::mt19937 rng(seed);
    for (int32_t y = 0; y < height; ++y) {
        const int32_t kind = y % 8;
        if (kind == 1) continue;  // all white
        if (kind == 2) {
            for (int32_t x = 0; x < width; ++x) b.SetBlack(x, y);
            continue;
        }
        if (kind == 5 && y > 0) {
            std::copy_n(b.bits.begin() + (y - 1) * b.Stride(), b.Stride(), b.bits.begin() + y * b.Stride());
            continue;
        }
        if (kind == 6) {
            for (int32_t x = static_cast<int32_t>(rng() % 4); x < width; x += 5 + static_cast<int32_t>(rng() % 4))
                b.SetBlack(x, y);
            continue;
        }
        bool black = rng() % 2 == 0;
        for (int32_t x = 0; x < width;) {
            const auto r = rng();
            int32_t run = r % 3 == 0 ? 1 + static_cast<int32_t>(rng() % 5)
                          : r % 3 == 1 ? 1 + static_cast<int32_t>(rng() % 80)
                                       : 1 + static_cast<int32_t>(rng() % (static_cast<uint32_t>(width)));
            run = std::min(run, width - x);
            if (black)
                for (int32_t i = 0; i < run; ++i) b.SetBlack(x + i, y);
            x += run;
            black = !black;
        }
    }
    return b;
}

// What the decoder gives for `b`: white as 1 and black padding, all
// inverted with BlackIs1.
std::string Expected(const Bitmap& b, bool blackIs1) {
    std::string out = b.bits;
    const int32_t stride = b.Stride();
    const auto pad = static_cast<uint8_t>(b.width % 8 ? 0xFFu >> (b.width % 8) : 0);
    for (int32_t y = 0; y < b.height; ++y) {
        for (int32_t i = 0; i < stride; ++i) {
            auto& c = out[static_cast<size_t>(y * stride + i)];
            auto v = static_cast<uint8_t>(c);
            if (i == stride - 1) v = static_cast<uint8_t>(v | pad);  // black
            c = static_cast<char>(blackIs1 ? v : static_cast<uint8_t>(~v));
        }
    }
    return out;
}

struct Parameters {
    int32_t k = 0;
    bool endOfLine = false;
    bool byteAlign = false;
    int32_t columns = 1728;
    int32_t rows = 0;
    bool endOfBlock = true;
    bool blackIs1 = false;
};

std::string Decode(const std::string& data, const Parameters& p, uint32_t chunk = 4096) {
    TqzCCITTStream s(Mem(data), p.k, p.endOfLine, p.byteAlign, p.columns, p.rows, p.endOfBlock,
                     p.blackIs1);
    s.Reset();
    return chunk == 0 ? GetChars(s) : ReadBlocks(s, chunk);
}

// ---- TIFF files: an uncompressed writer and a strip reader --------------

void Put16(std::string& s, uint32_t v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string& s, uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

// One strip, no compression, photometric min-is-white (1 = black).
std::string UncompressedTiff(const Bitmap& b) {
    std::string t = "II";
    Put16(t, 42);
    Put32(t, static_cast<uint32_t>(8 + b.bits.size() + (b.bits.size() & 1)));
    t += b.bits;
    if (t.size() & 1) t.push_back('\0');
    struct Tag {
        uint16_t tag, type;
        uint32_t value;
    } tags[] = {{256, 4, static_cast<uint32_t>(b.width)}, {257, 4, static_cast<uint32_t>(b.height)},
                {258, 3, 1}, {259, 3, 1}, {262, 3, 0}, {273, 4, 8}, {277, 3, 1},
                {278, 4, static_cast<uint32_t>(b.height)}, {279, 4, static_cast<uint32_t>(b.bits.size())}};
    Put16(t, static_cast<uint32_t>(std::size(tags)));
    for (const auto& tag : tags) {
        Put16(t, tag.tag);
        Put16(t, tag.type);
        Put32(t, 1);
        if (tag.type == 3) {
            Put16(t, tag.value);
            Put16(t, 0);
        } else {
            Put32(t, tag.value);
        }
    }
    Put32(t, 0);
    return t;
}

struct Strip {
    std::string bytes;
    uint32_t photometric = 0;
    uint32_t compression = 0;
};

// The only strip of a TIFF file (either byte order).
Strip ReadStrip(const std::string& f) {
    const bool big = f.compare(0, 2, "MM") == 0;
    auto u16 = [&](size_t at) -> uint32_t {
        if (at + 2 > f.size()) throw std::runtime_error("TIFF cut short");
        const auto a = static_cast<uint8_t>(f[at]), b = static_cast<uint8_t>(f[at + 1]);
        return big ? (uint32_t{a} << 8 | b) : (uint32_t{b} << 8 | a);
    };
    auto u32 = [&](size_t at) -> uint32_t {
        return big ? (u16(at) << 16 | u16(at + 2)) : (u16(at + 2) << 16 | u16(at));
    };
    size_t ifd = u32(4);
    const uint32_t count = u16(ifd);
    uint32_t offset = 0, size = 0;
    Strip s;
    for (uint32_t i = 0; i < count; ++i) {
        const size_t e = ifd + 2 + 12 * i;
        const uint32_t tag = u16(e), type = u16(e + 2), n = u32(e + 4);
        const uint32_t value = type == 3 ? u16(e + 8) : u32(e + 8);
        if ((tag == 273 || tag == 279) && n != 1) throw std::runtime_error("more than one strip");
        if (tag == 273) offset = value;
        if (tag == 279) size = value;
        if (tag == 262) s.photometric = value;
        if (tag == 259) s.compression = value;
    }
    if (size_t{offset} + size > f.size()) throw std::runtime_error("strip outside the file");
    s.bytes = f.substr(offset, size);
    return s;
}

std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The strip tiffcp writes for `b` with compression `scheme` (g3, g3:2d,
// g3:fill, g4, none).
Strip Tiffcp(const qz::testing::TempDir& dir, const Bitmap& b, const std::string& scheme) {
    const auto in = dir.Write("in.tif", UncompressedTiff(b));
    const auto out = dir.File("out.tif");
    std::filesystem::remove(out);
    const auto r = qz::testing::RunProgram(
        {"tiffcp", "-c", scheme, "-r", std::to_string(b.height), in.string(), out.string()});
    if (!r.Succeeded()) throw std::runtime_error("tiffcp: " + r.Describe());
    return ReadStrip(ReadFile(out));
}

// What libtiff decodes from the fax strip `compressed` wrote, as raw rows.
std::string LibtiffDecoded(const qz::testing::TempDir& dir) {
    const auto out = dir.File("plain.tif");
    std::filesystem::remove(out);
    const auto r = qz::testing::RunProgram({"tiffcp", "-c", "none", dir.File("out.tif").string(), out.string()});
    if (!r.Succeeded()) throw std::runtime_error("tiffcp: " + r.Describe());
    return ReadStrip(ReadFile(out)).bytes;
}

// The data Ghostscript's CCITTFaxEncode makes of `b` with parameters `p`.
std::string Ghostscript(const qz::testing::TempDir& dir, const Bitmap& b, const Parameters& p) {
    // The encoder takes 1 as black only with BlackIs1.
    std::string input = b.bits;
    if (!p.blackIs1)
        for (auto& c : input) c = static_cast<char>(~static_cast<uint8_t>(c));
    auto flag = [](bool v) { return v ? std::string("true") : std::string("false"); };
    const auto out = dir.File("gs.bin");
    std::filesystem::remove(out);
    const std::string ps = "/f (" + out.string() + ") (w) file << /K " + std::to_string(p.k) +
                           " /Columns " + std::to_string(b.width) + " /Rows " + std::to_string(b.height) +
                           " /EndOfLine " + flag(p.endOfLine) + " /EncodedByteAlign " + flag(p.byteAlign) +
                           " /EndOfBlock " + flag(p.endOfBlock) + " /BlackIs1 " + flag(p.blackIs1) +
                           " >> /CCITTFaxEncode filter def\nf <" + Hex(input) + "> writestring f closefile\n";
    const auto script = dir.Write("enc.ps", ps);
    const auto r = qz::testing::RunProgram({"gs", "-q", "-dNOSAFER", "-dNODISPLAY", "-dBATCH", script.string()});
    if (!r.Succeeded()) throw std::runtime_error("gs: " + r.Describe());
    return ReadFile(out);
}

// ---- Hand-made bit strings ----------------------------------------------

// Bytes from '0'/'1' characters, most significant bit first, zero padded;
// other characters are ignored.
std::string Bits(const std::string& text) {
    std::string out;
    uint32_t cur = 0, used = 0;
    for (char c : text) {
        if (c != '0' && c != '1') continue;
        cur = (cur << 1) | (c == '1' ? 1u : 0u);
        if (++used == 8) {
            out.push_back(static_cast<char>(cur));
            cur = used = 0;
        }
    }
    if (used) out.push_back(static_cast<char>(cur << (8 - used)));
    return out;
}

const std::string kEol = "000000000001 ";
// Rows of ten columns: all white; white 4, black 2, white 4.
const std::string kWhite10 = "00111 ";
const std::string kWhite4Black2White4 = "1011 11 1011 ";

}  // namespace

// ---- Against libtiff ------------------------------------------------------

TEST(CCITTDecode, DecodesWhatLibtiffEncodes) {
    QZ_REQUIRE_TOOLS("tiffcp");
    qz::testing::TempDir dir("qz-ccitt");
    struct Scheme {
        const char* name;
        int32_t k;
        bool byteAlign;
    } schemes[] = {{"g3", 0, false}, {"g3:2d", 4, false}, {"g3:fill", 0, true},
                   {"g3:2d:fill", 4, true}, {"g4", -1, false}};
    const std::pair<int32_t, int32_t> sizes[] = {{10, 7}, {13, 21}, {1728, 40}, {2053, 33}, {1, 3}};
    uint32_t seed = 1;
    for (const auto& [width, height] : sizes) {
        const Bitmap b = Draw(width, height, seed++);
        for (const auto& scheme : schemes) {
            SCOPED_TRACE(std::string(scheme.name) + " " + std::to_string(width) + "x" + std::to_string(height));
            const Strip s = Tiffcp(dir, b, scheme.name);
            ASSERT_EQ(s.photometric, 0u);
            // The fixture itself: libtiff reads back what was drawn.
            ASSERT_TRUE(Same(LibtiffDecoded(dir), b.bits));
            // libtiff writes an end-of-line code before every Group 3 row.
            for (const bool endOfBlock : {true, false})
                for (const int32_t rows : {0, height}) {
                    if (!endOfBlock && rows == 0 && scheme.k >= 0) continue;
                    Parameters p{scheme.k, scheme.k >= 0, scheme.byteAlign, width, rows, endOfBlock, true};
                    SCOPED_TRACE(std::to_string(endOfBlock) + " rows " + std::to_string(rows));
                    EXPECT_TRUE(Same(Decode(s.bytes, p), Expected(b, true)));
                    p.blackIs1 = false;
                    EXPECT_TRUE(Same(Decode(s.bytes, p, 0), Expected(b, false)));
                }
            // Without the end-of-line flag the codes are still taken.
            if (!scheme.byteAlign) {
                Parameters p{scheme.k, false, false, width, height, true, true};
                EXPECT_TRUE(Same(Decode(s.bytes, p, 7), Expected(b, true)));
            }
        }
    }
}

TEST(CCITTDecode, DecodesWhatGhostscriptEncodes) {
    QZ_REQUIRE_TOOLS("gs");
    qz::testing::TempDir dir("qz-ccitt");
    const std::pair<int32_t, int32_t> sizes[] = {{13, 9}, {1728, 12}};
    uint32_t seed = 100;
    for (const auto& [width, height] : sizes) {
        const Bitmap b = Draw(width, height, seed++);
        for (const int32_t k : {-1, 0, 3})
            for (int flags = 0; flags < 16; ++flags) {
                Parameters p{k, (flags & 1) != 0, (flags & 2) != 0, width, 0, (flags & 4) != 0, (flags & 8) != 0};
                // Without end of block the data needs its row count.
                if (!p.endOfBlock) p.rows = height;
                // Without end-of-line codes Ghostscript writes no tag bits
                // and counts rows by K; we read a tag bit after every row.
                if (k > 0 && !p.endOfLine) continue;
                SCOPED_TRACE("K " + std::to_string(k) + " flags " + std::to_string(flags) + " width " +
                             std::to_string(width));
                const std::string data = Ghostscript(dir, b, p);
                EXPECT_TRUE(Same(Decode(data, p), Expected(b, p.blackIs1)));
                // The end of block alone ends the data, whatever follows.
                if (p.endOfBlock) {
                    EXPECT_TRUE(Same(Decode(data + Bits("1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1"), p),
                                     Expected(b, p.blackIs1)));
                }
            }
    }
}

// ---- What every row looks like ---------------------------------------------

TEST(CCITTDecode, RowShapes) {
    // An all-white row of 1728: one 1728 make-up code and a white 0.
    const std::string white1728 = Bits("010011011 00110101");
    Parameters p{0, false, false, 1728, 1, false, false};
    EXPECT_EQ(Decode(white1728, p), std::string(216, '\xFF'));
    p.blackIs1 = true;
    EXPECT_EQ(Decode(white1728, p), std::string(216, '\0'));
    // Ten columns: two bytes a row, the last six bits black padding.
    p = Parameters{0, false, false, 10, 2, false, false};
    EXPECT_EQ(Hex(Decode(Bits(kWhite10 + kWhite4Black2White4), p)), "ffc0f3c0");
}

TEST(CCITTDecode, LookCharTwiceGivesTheSameByte) {
    Parameters p{0, false, false, 10, 0, true, false};
    TqzCCITTStream s(Mem(Bits(kWhite4Black2White4 + kEol + kWhite10)), p.k, false, false, 10, 0, true, false);
    s.Reset();
    EXPECT_EQ(s.LookChar(), 0xF3);
    EXPECT_EQ(s.LookChar(), 0xF3);
    EXPECT_EQ(s.GetChar(), 0xF3);
    EXPECT_EQ(s.LookChar(), 0xC0);
    EXPECT_EQ(s.GetChar(), 0xC0);
    EXPECT_EQ(s.GetChar(), 0xFF);
    EXPECT_EQ(s.GetChar(), 0xC0);
    EXPECT_EQ(s.LookChar(), -1);
    EXPECT_EQ(s.GetChar(), -1);
    // Reset starts over.
    s.Reset();
    EXPECT_EQ(s.GetChar(), 0xF3);
}

// ---- Damaged and hostile data ---------------------------------------------

TEST(CCITTDecode, DamagedRowsEndWithTheRowsDecodedSoFar) {
    struct Case {
        const char* what;
        Parameters p;
        std::string data;
        std::string hex;  // what comes out
    } cases[] = {
        // Runs longer than the row are cut at its end; the next row decodes.
        {"run past the row", {0, false, false, 10, 0, true, false},
         Bits("0001000" + kEol + kWhite4Black2White4), "ffc0f3c0"},
        // Make-up codes without end: the sum stays within the row.
        {"endless make-up codes",
         {0, false, false, 10, 0, true, false},
         Bits(std::string(200, ' ') + [] {
             std::string s;
             for (int i = 0; i < 300; ++i) s += "000000011111 ";
             return s;
         }() + "00110101"),
         "ffc0"},
        // Zero-length runs never advance; the row is cut (black, the
        // colour it was in), nothing overruns, and the decoder finds the
        // next end-of-line code.
        {"zero-length runs", {0, true, false, 10, 0, true, false},
         Bits([] {
             std::string s;
             for (int i = 0; i < 64; ++i) s += "00110101 0000110111 ";
             return s + kEol + kWhite10;
         }()),
         "0000ffc0"},
        // An end-of-line code inside a row ends it in the colour it was in;
        // the next row starts after the code.
        {"end of line inside a row", {0, true, false, 10, 0, true, false},
         Bits("0111 11" + kEol + kWhite4Black2White4), "cfc0f3c0"},
        // A run past the row's end: with EndOfLine the decoder skips what
        // follows up to the next end-of-line code.
        {"resynchronised", {0, true, false, 10, 0, true, false},
         Bits(kWhite4Black2White4 + kEol + "0111 0000111 1011 1011 1011" + kEol + kWhite10),
         "f3c0" "c000" "ffc0"},
        // Vertical-left codes at the start of a Group 4 row: off the left
        // edge they are passed over, one that lands on 0 makes the row
        // start black.
        {"vertical left off the edge", {-1, false, false, 10, 0, true, false},
         Bits("001 00110101 11 1 " "0000010 010 1 1 1"), "3fc0" "3fc0"},
        {"vertical left onto 0", {-1, false, false, 10, 0, true, false},
         Bits("001 0111 11 1 " "000010 1 1"), "cfc0" "0fc0"},
        // Data ending inside a row: the rows before it only.
        {"cut inside a one-dimensional row", {0, false, false, 10, 0, true, false},
         Bits(kWhite4Black2White4 + kEol + "0111 11"), "f3c0"},
        {"cut inside a two-dimensional row", {-1, false, false, 10, 0, true, false},
         Bits("001 0111 11 1 1 001 0111"), "cfc0"},
        // Uncompressed mode is not read: the data ends there.
        {"extension code", {-1, false, false, 10, 0, true, false}, Bits("1 0000001111 1"), "ffc0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Hex(Decode(c.data, c.p)), c.hex);
        EXPECT_EQ(Hex(Decode(c.data, c.p, 0)), c.hex);
    }
}

TEST(CCITTDecode, RowsLimitTheOutput) {
    // Group 4, more rows than /Rows says: exactly /Rows come out, with or
    // without the end-of-block pattern.
    const std::string data = Bits("1 1 1 1 1 1 1 1");
    for (const bool endOfBlock : {false, true}) {
        Parameters p{-1, false, false, 10, 2, endOfBlock, false};
        EXPECT_EQ(Hex(Decode(data, p)), "ffc0" "ffc0");
    }
    Parameters p{-1, false, false, 10, 0, true, false};
    EXPECT_EQ(Decode(data, p).size(), 16u);
}

TEST(CCITTDecode, EndOfDataStaysEnded) {
    QZ_REQUIRE_TOOLS("tiffcp");
    qz::testing::TempDir dir("qz-ccitt");
    const Bitmap b = Draw(1728, 30, 7);
    const std::string g4 = Tiffcp(dir, b, "g4").bytes;
    const std::string all = Expected(b, false);
    // Cut anywhere: whole rows of the image, then nothing, for good.
    for (size_t cut = 0; cut < g4.size(); cut += 1 + cut / 3) {
        TqzCCITTStream s(Mem(g4.substr(0, cut)), -1, false, false, 1728, 0, true, false);
        s.Reset();
        const std::string got = ReadBlocks(s, 1000);
        EXPECT_EQ(got.size() % 216, 0u) << cut;
        EXPECT_EQ(got, all.substr(0, got.size())) << cut;
        EXPECT_EQ(s.LookChar(), -1);
        EXPECT_EQ(s.GetChar(), -1);
        uint8_t byte;
        EXPECT_EQ(s.Read(&byte, 1), 0);
    }
}

TEST(CCITTDecode, ColumnsBeyondTheLimitAreRefusedBeforeAnyAllocation) {
    for (const int32_t columns : {TqzCCITTDecode::kMaxCCITTColumns + 1, 2147483643, 2147483647}) {
        TqzCCITTStream s(Mem(Bits("1 1 1")), -1, false, false, columns, 0, true, false);
        EXPECT_THROW(s.Reset(), ExCCITTColumns);
        // Reading after the refusal finds no data.
        EXPECT_EQ(s.GetChar(), -1);
        TqzCCITTStream unreset(Mem(Bits("1 1 1")), -1, false, false, columns, 0, true, false);
        EXPECT_THROW(unreset.GetChar(), ExCCITTColumns);
    }
    // The widest allowed row decodes; 0 and negative widths become 1.
    Parameters p{-1, false, false, TqzCCITTDecode::kMaxCCITTColumns, 0, true, false};
    EXPECT_EQ(Decode(Bits("1 1 1"), p), std::string(3 * TqzCCITTDecode::kMaxCCITTColumns / 8, '\xFF'));
    for (const int32_t columns : {0, -5}) {
        p.columns = columns;
        EXPECT_EQ(Hex(Decode(Bits("1 1"), p)), "8080");
    }
}

TEST(CCITTDecode, NoInnerStreamIsAnInvalidStream) {
    TqzCCITTDecode d(nullptr, -1, false, false, 10, 0, true, false);
    EXPECT_THROW(d.Reset(), qz::core::streams::ExInvalidStream);
    EXPECT_EQ(d.GetChar(), -1);
}

TEST(CCITTDecode, OutputCountsAgainstTheCeiling) {
    // Each bit a whole row: the ceiling stops it.
    TqzCCITTStream s(Mem(std::string(4096, '\xFF')), -1, false, false, 8000, 0, true, false);
    s.SetOutputLimit(10000);
    s.Reset();
    uint8_t block[3000];
    int64_t total = 0;
    EXPECT_THROW(
        for (;;) {
            const int32_t got = s.Read(block, sizeof block);
            ASSERT_GT(got, 0);
            total += got;
        },
        ExDecodeLimit);
    EXPECT_EQ(total, 10000);
}
