#include <gtest/gtest.h>

#include "core/FilterHooks.h"
#include "filters/CodecStreams.h"
#include "filters/FlateEncode.h"
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
    ASSERT_TRUE(static_cast<bool>(qz::core::FilterHooks().FlateEncode));
    const std::string text = SampleText(100000, 8);
    // The source is itself a filter chain: the hook reads its decoded bytes.
    TqzASCIIHexStream hex(Mem(Hex(text) + ">"));
    TqzMemoryStream out;
    qz::core::FilterHooks().FlateEncode(hex, out);
    EXPECT_TRUE(Same(out.Bytes(), Zlib(text, 1)));
}
