#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>
#include <utility>
#include <stdexcept>

#include "core/FilterHooks.h"
#include "core/PDBaseExceptions.h"
#include "filters/CodecStreams.h"
#include "filters/FlateEncode.h"
#include "filters/LiteralBlocks.h"
#include "filters/Registration.h"
#include "filters/tests/TestSupport.h"

using namespace qz::filters;
using namespace qz::filters::test;
using qz::core::TqzMemoryStream;

TEST(FlateEncode, EmptySourceGivesTheSmallestZlibStream) {
    TqzFlateStream s(std::make_shared<TqzMemoryStream>());
    TqzMemoryStream out;
    EXPECT_EQ(s.Write(out, 0), 8);
    EXPECT_EQ(out.Bytes(), std::string("\x78\x01\x03\x00\x00\x00\x00\x01", 8));
}

TEST(FlateEncode, MatchesZlibLevelOneAndRoundTrips) {
    for (const std::string& data : {SampleText(300000), RandomBytes(200000), std::string(1 << 20, 'x')}) {
        auto src = Mem(data);
        TqzFlateStream s(src);
        src->GetChar();  // a source read part way is still compressed from its first byte
        TqzMemoryStream out;
        const int32_t size = s.Write(out, 0);
        EXPECT_EQ(static_cast<size_t>(size), out.Bytes().size());
        EXPECT_TRUE(Same(out.Bytes(), Zlib(data, 1)));
        TqzFlateStream back(Mem(out.Bytes()));
        EXPECT_TRUE(Same(ReadBlocks(back, 65536), data));
    }
}

TEST(FlateEncode, TwoWritesAppendTwoCompleteStreams) {
    TqzFlateStream s(Mem("abc"));
    TqzMemoryStream out;
    const int32_t first = s.Write(out, 0);
    const int32_t second = s.Write(out, 0);
    EXPECT_EQ(second, 2 * first);  // the size of the output afterwards
    const std::string one = Zlib("abc", 1);
    EXPECT_EQ(out.Bytes(), one + one);
}

TEST(FlateEncode, BufferFormWritesIntoTheEncodersStream) {
    const std::string random = RandomBytes(5000, 3);
    auto target = std::make_shared<TqzMemoryStream>();
    TqzFlateEncode enc(target.get());
    const int32_t written = enc.Write(random, 4000);
    EXPECT_GT(written, 4000);  // random bytes do not compress
    EXPECT_EQ(target->Bytes(), Zlib(random.substr(0, 4000), 1));
    // A count beyond the buffer stops at its end.
    auto target2 = std::make_shared<TqzMemoryStream>();
    TqzFlateEncode(target2.get()).Write(std::string("xyz"), 100);
    EXPECT_EQ(target2->Bytes(), Zlib("xyz", 1));
}

TEST(FlateEncode, RegisteredHookCompressesWhatTheSourceYields) {
    RegisterFilters();
    ASSERT_TRUE(static_cast<bool>(qz::core::FilterHooks().FlateEncoder));
    const std::string text = SampleText(100000, 8);
    // The source is itself a filter chain: the encoder reads its decoded bytes.
    auto hex = std::make_shared<TqzASCIIHexStream>(Mem(Hex(text) + ">"));
    auto encoder = qz::core::FilterHooks().FlateEncoder(hex);
    EXPECT_TRUE(Same(ReadBlocks(*encoder, 4096), Zlib(text, 1)));
}

namespace {

// zlib's own inflate, as other readers decode: raises on damaged data.
std::string Inflate(const std::string& data) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) throw std::runtime_error("inflateInit");
    std::string out, block(1 << 16, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(block.data());
        z.avail_out = static_cast<uInt>(block.size());
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(block, 0, block.size() - z.avail_out);
    }
    inflateEnd(&z);
    if (rc != Z_STREAM_END || z.avail_in != 0) throw std::runtime_error("inflate");
    return out;
}

// Samples spread over 64 values, as in photographs: level 1 saves a little.
std::string Samples(size_t n) {
    std::mt19937 rng(11);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(96 + rng() % 64);
    return s;
}

}  // namespace

TEST(DeflatingStream, ChoosesItsFormOnTheFirstBlock) {
    const std::string text = SampleText(300000);
    const std::string noise = RandomBytes(300000, 7);
    using Form = TqzDeflateForm;
    const struct {
        const char* name;
        std::string data;
        Form form;
    } cases[] = {
        {"text", text, Form::Compressed},
        {"noise", noise, Form::Stored},
        {"samples that level 1 shrinks too little", Samples(300000), Form::Literal},
        {"samples ending on a whole block", Samples(65535 * 3), Form::Literal},
        {"text first: the first block decides", text.substr(0, 70000) + noise, Form::Compressed},
        {"noise first: the first block decides", noise.substr(0, 70000) + text, Form::Stored},
        {"samples first, then noise and text", Samples(70000) + noise.substr(0, 140000) + text.substr(0, 70000),
         Form::Literal},
        // Within one block both forms are at hand and the smaller one is kept.
        {"one block of samples", Samples(60000), Form::Compressed},
        {"one block of noise", noise.substr(0, 1000), Form::Compressed},
        {"nothing", "", Form::Compressed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TqzDeflatingStream deflater(Mem(c.data), true);
        const std::string out = ReadBlocks(deflater, 65536);
        EXPECT_EQ(deflater.GetForm(), c.form);
        EXPECT_TRUE(Same(Inflate(out), c.data));
        TqzFlateStream back(Mem(out));
        EXPECT_TRUE(Same(ReadBlocks(back, 65536), c.data));
        const size_t stored = c.data.size() + (c.data.size() / 65535 + 2) * 5 + 6;
        switch (c.form) {
            case Form::Stored:
                // The data itself, 5 bytes a block, header and checksum.
                EXPECT_LE(out.size(), stored);
                break;
            case Form::Literal:
                // Samples of 64 values take about six bits each.
                EXPECT_LT(out.size(), c.data.size() * 7 / 8);
                break;
            case Form::Compressed:
                EXPECT_TRUE(Same(out, Zlib(c.data, 1)));
                break;
        }
    }
}

TEST(LiteralBlocks, EveryByteDistributionInflatesBack) {
    // Skewed, flat, two-valued and one-valued blocks, and a block whose
    // frequencies grow like Fibonacci numbers, which needs codes longer than
    // fifteen bits before they are limited.
    std::string fibonacci;
    for (uint64_t a = 1, b = 1, v = 0; fibonacci.size() + a < 60000 && v < 40; ++v) {
        fibonacci.append(static_cast<size_t>(a), static_cast<char>(v));
        const uint64_t next = a + b;
        a = b;
        b = next;
    }
    std::string skewed;
    std::mt19937 rng(3);
    std::geometric_distribution<int> geometric(0.05);
    for (int i = 0; i < 60000; ++i) skewed.push_back(static_cast<char>(std::min(geometric(rng), 255)));
    const std::string cases[] = {skewed, fibonacci, RandomBytes(60000, 9), std::string(60000, 'a'),
                                 std::string(30000, 'a') + std::string(30000, 'b'), std::string(1, 'z')};
    // The blocks of `data` written `times` times, in a zlib frame.
    const auto stream = [](const std::string& data, int times, bool finishedByAnEmptyBlock) {
        TqzLiteralBlockWriter writer;
        std::string out("\x78\x01", 2);
        uLong adler = 1;
        for (int k = 0; k < times; ++k) {
            const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
            const bool last = k + 1 == times && !finishedByAnEmptyBlock;
            writer.WriteBlock(bytes, static_cast<uint32_t>(data.size()), last, out);
            adler = adler32(adler, bytes, static_cast<uInt>(data.size()));
        }
        if (finishedByAnEmptyBlock) writer.Finish(out);
        for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((adler >> shift) & 0xFF));
        return out;
    };
    for (const std::string& data : cases) {
        for (const auto& [times, empty] : {std::pair{1, false}, std::pair{2, false}, std::pair{2, true}}) {
            const std::string out = stream(data, times, empty);
            std::string expected;
            for (int k = 0; k < times; ++k) expected += data;
            EXPECT_TRUE(Same(Inflate(out), expected));
            TqzFlateStream back(Mem(out));
            EXPECT_TRUE(Same(ReadBlocks(back, 65536), expected));
        }
    }
}

TEST(DeflatingStream, AnyReadSizeGivesTheSameBytes) {
    for (const std::string& data : {RandomBytes(200000, 5), SampleText(200000)}) {
        TqzDeflatingStream whole(Mem(data), true);
        const std::string expected = ReadBlocks(whole, 1 << 20);
        for (uint32_t chunk : {1u, 5u, 6u, 4096u, 65535u}) {
            TqzDeflatingStream pieces(Mem(data), true);
            EXPECT_TRUE(Same(ReadBlocks(pieces, chunk), expected)) << "chunk " << chunk;
        }
        TqzDeflatingStream byChar(Mem(data), true);
        EXPECT_EQ(byChar.LookChar(), 0x78);
        EXPECT_TRUE(Same(GetChars(byChar), expected));
        EXPECT_THROW(byChar.Reset(), qz::core::streams::ExInvalidStream);
    }
}
