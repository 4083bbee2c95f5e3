#include <gtest/gtest.h>
#include <sys/resource.h>

#include "filters/CodecStreams.h"
#include "filters/tests/TestSupport.h"

using namespace qz::filters;
using namespace qz::filters::test;

namespace {

std::string Inflate(const std::string& zdata) {
    TqzFlateStream s(Mem(zdata));
    s.Reset();
    return GetChars(s);
}

// A stream of one dynamic block, a switch to level 0 (stored blocks) in the
// middle of the data, then dynamic blocks again.
std::string MixedBlocks(const std::string& a, const std::string& b, const std::string& c) {
    z_stream z{};
    deflateInit(&z, 6);
    std::string out(a.size() + b.size() + c.size() + 4096, '\0');
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    auto feed = [&](const std::string& part, int flush) {
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(part.data()));
        z.avail_in = static_cast<uInt>(part.size());
        deflate(&z, flush);
    };
    feed(a, Z_NO_FLUSH);
    deflateParams(&z, 0, Z_DEFAULT_STRATEGY);
    feed(b, Z_NO_FLUSH);
    deflateParams(&z, 6, Z_DEFAULT_STRATEGY);
    feed(c, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

}  // namespace

TEST(FlateDecode, MatchesZlibForEveryBlockKind) {
    const std::string text = SampleText(300000);
    const std::string random = RandomBytes(100000);
    struct Case {
        const char* name;
        std::string data;
        int level;
        int strategy;
    } cases[] = {
        {"empty, default", "", Z_DEFAULT_COMPRESSION, Z_DEFAULT_STRATEGY},
        {"one byte, fixed", "x", 6, Z_FIXED},
        {"stored 70,000", text.substr(0, 70000), Z_NO_COMPRESSION, Z_DEFAULT_STRATEGY},
        {"stored random", random, Z_NO_COMPRESSION, Z_DEFAULT_STRATEGY},
        {"fixed text", text, 6, Z_FIXED},
        {"dynamic text", text, Z_DEFAULT_COMPRESSION, Z_DEFAULT_STRATEGY},
        {"dynamic text level 1", text, 1, Z_DEFAULT_STRATEGY},
        {"dynamic text level 9", text, 9, Z_DEFAULT_STRATEGY},
        {"random", random, 9, Z_DEFAULT_STRATEGY},
        {"huffman only", text, 6, Z_HUFFMAN_ONLY},
        {"run length", text + std::string(50000, 'a'), 6, Z_RLE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string z = Zlib(c.data, c.level, c.strategy);
        EXPECT_TRUE(Same(Inflate(z), c.data));
        for (uint32_t chunk : {1u, 777u, 65536u, 1u << 20}) {
            TqzFlateStream s(Mem(z));
            EXPECT_TRUE(Same(ReadBlocks(s, chunk), c.data)) << "chunk " << chunk;
        }
    }
    // A stored block after a Huffman block whose end code left a partial byte.
    const std::string a = SampleText(5000, 7), b = RandomBytes(40000, 8), c = SampleText(9000, 9);
    EXPECT_TRUE(Same(Inflate(MixedBlocks(a, b, c)), a + b + c));
}

TEST(FlateDecode, LookCharGetCharAndBlockReadsInterleave) {
    const std::string text = SampleText(200000);
    TqzFlateStream s(Mem(Zlib(text)));
    std::string out, block(5000, '\0');
    std::mt19937 rng(3);
    for (;;) {
        const int peek = s.LookChar();
        if (rng() % 2) {
            const int c = s.GetChar();
            ASSERT_EQ(c, peek);
            if (c < 0) break;
            out.push_back(static_cast<char>(c));
        } else {
            const auto n = static_cast<uint32_t>(rng() % 5000 + 1);
            const int32_t got = s.Read(reinterpret_cast<uint8_t*>(block.data()), n);
            if (got <= 0) break;
            ASSERT_EQ(static_cast<uint8_t>(block[0]), peek);
            out.append(block, 0, static_cast<size_t>(got));
        }
    }
    EXPECT_TRUE(Same(out, text));
    // Reading again after Reset gives the same bytes; so does a new stream
    // that was never reset.
    s.Reset();
    EXPECT_TRUE(Same(GetChars(s), text));
    TqzFlateStream fresh(Mem(Zlib(text)));
    EXPECT_TRUE(Same(ReadBlocks(fresh, 4096), text));
}

TEST(FlateDecode, BadHeadersGiveNoData) {
    std::string dict = "a dictionary";
    z_stream z{};
    deflateInit(&z, 6);
    deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(dict.data()), static_cast<uInt>(dict.size()));
    std::string withDict(256, '\0');
    std::string input = "a dictionary helps";
    z.next_in = reinterpret_cast<Bytef*>(input.data());
    z.avail_in = static_cast<uInt>(input.size());
    z.next_out = reinterpret_cast<Bytef*>(withDict.data());
    z.avail_out = 256;
    deflate(&z, Z_FINISH);
    withDict.resize(z.total_out);
    deflateEnd(&z);
    ASSERT_EQ(static_cast<uint8_t>(withDict[1]) & 0x20, 0x20);

    const std::string body = Zlib("hello").substr(2);
    for (const std::string& bad : {withDict, std::string("\x78\x9D") + body,  // fails the check by 31
                                   std::string("\x79\x5E") + body,            // method 9
                                   std::string("\x78\x9C"), std::string("\x78"), std::string()}) {
        EXPECT_EQ(Inflate(bad), "");
        TqzFlateStream s(Mem(bad));
        EXPECT_EQ(s.LookChar(), -1);
    }
}

TEST(FlateDecode, CutDataEndsAfterTheLastCompleteStep) {
    const std::string text = SampleText(6000, 11);
    for (int level : {0, 6}) {
        const std::string z = Zlib(text, level, level ? Z_DEFAULT_STRATEGY : Z_DEFAULT_STRATEGY);
        for (size_t cut = 0; cut < z.size(); ++cut) {
            // An exact-size copy: any read past the end shows under the sanitizer.
            const std::string got = Inflate(z.substr(0, cut));
            ASSERT_TRUE(Same(got, text.substr(0, got.size()))) << "cut at " << cut;
        }
        // Without the 4-byte checksum every byte still decodes.
        EXPECT_TRUE(Same(Inflate(z.substr(0, z.size() - 4)), text));
    }
}

TEST(FlateDecode, CorruptDataEndsQuietly) {
    const std::string z = Zlib(SampleText(20000, 5));
    std::mt19937 rng(5);
    for (int round = 0; round < 300; ++round) {
        std::string bad = z;
        for (int k = 0; k < 3; ++k) bad[2 + rng() % (bad.size() - 2)] = static_cast<char>(rng());
        TqzFlateStream s(Mem(bad));
        EXPECT_LE(ReadBlocks(s, 8192).size(), size_t{20000} * 258);
    }
    // Garbage after a valid header.
    EXPECT_NO_THROW(Inflate(std::string("\x78\x9C") + RandomBytes(5000, 6)));
}

TEST(FlateDecode, HandMadeFixedCodes) {
    // 'a'; length 258 at distance 1 (symbol 285); symbol 286, which decodes
    // as length 258 too; end of block.
    BitWriter w;
    w.Bits(1, 1);  // final
    w.Bits(1, 2);  // fixed codes
    w.FixedLit('a');
    w.FixedLit(285);
    w.Code(0, 5);
    w.FixedLit(286);
    w.Code(0, 5);
    w.FixedLit(256);
    EXPECT_TRUE(Same(Inflate("\x78\x9C" + w.Bytes()), std::string(517, 'a')));

    // Distance code 30 means nothing: the data ends before that step.
    BitWriter bad;
    bad.Bits(1, 1);
    bad.Bits(1, 2);
    bad.FixedLit('b');
    bad.FixedLit(257);
    bad.Code(30, 5);
    bad.FixedLit('c');
    bad.FixedLit(256);
    EXPECT_EQ(Inflate("\x78\x9C" + bad.Bytes()), "b");

    // A distance reaching before the first byte is corrupt, not a read of
    // stale memory.
    BitWriter early;
    early.Bits(1, 1);
    early.Bits(1, 2);
    early.FixedLit('x');
    early.FixedLit(257);
    early.Code(1, 5);  // distance 2
    early.FixedLit(256);
    EXPECT_EQ(Inflate("\x78\x9C" + early.Bytes()), "x");

    // Block type 3 is invalid.
    BitWriter type3;
    type3.Bits(1, 1);
    type3.Bits(3, 2);
    EXPECT_EQ(Inflate("\x78\x9C" + type3.Bytes()), "");
}

TEST(FlateDecode, OutputCeilingRaisesAfterExactlyTheLimit) {
    const std::string text = SampleText(100000, 12);
    TqzFlateStream s(Mem(Zlib(text)));
    s.SetOutputLimit(50000);
    std::string out, block(3000, '\0');
    bool raised = false;
    try {
        for (;;) {
            const int32_t got = s.Read(reinterpret_cast<uint8_t*>(block.data()), 3000);
            if (got <= 0) break;
            out.append(block, 0, static_cast<size_t>(got));
        }
    } catch (const ExDecodeLimit& e) {
        raised = true;
        EXPECT_STREQ(e.what(), "Decoded stream exceeds the size limit");
    }
    EXPECT_TRUE(raised);
    EXPECT_TRUE(Same(out, text.substr(0, 50000)));
    EXPECT_THROW(s.GetChar(), ExDecodeLimit);
    // Reset starts a new count.
    s.Reset();
    EXPECT_EQ(s.GetChar(), static_cast<uint8_t>(text[0]));
}

TEST(FlateDecode, NestedBombStopsAtTheCeilingWithoutGrowingMemory) {
    // Flate over Flate: a few KiB that stand for more than the 1 GiB ceiling.
    z_stream z{};
    deflateInit(&z, 9);
    std::string inner;
    std::string zeros(1 << 20, '\0'), out(1 << 16, '\0');
    const int64_t total = qz::core::kMaxDecodedStreamSize + (int64_t{1} << 20);
    for (int64_t fed = 0; fed < total; fed += static_cast<int64_t>(zeros.size())) {
        z.next_in = reinterpret_cast<Bytef*>(zeros.data());
        z.avail_in = static_cast<uInt>(zeros.size());
        const int flush = fed + static_cast<int64_t>(zeros.size()) >= total ? Z_FINISH : Z_NO_FLUSH;
        do {
            z.next_out = reinterpret_cast<Bytef*>(out.data());
            z.avail_out = static_cast<uInt>(out.size());
            deflate(&z, flush);
            inner.append(out, 0, out.size() - z.avail_out);
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    const std::string bomb = Zlib(inner, 9);
    ASSERT_LT(bomb.size(), size_t{16} * 1024);

    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    auto outer = std::make_shared<TqzFlateStream>(Mem(bomb));
    TqzFlateStream s(outer);
    std::string block(1 << 16, '\0');
    int64_t delivered = 0;
    EXPECT_THROW(
        for (;;) {
            const int32_t got = s.Read(reinterpret_cast<uint8_t*>(block.data()), 1 << 16);
            if (got <= 0) break;
            delivered += got;
        },
        ExDecodeLimit);
    EXPECT_EQ(delivered, qz::core::kMaxDecodedStreamSize);
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 200 * 1024) << "KiB of peak memory added";
}
