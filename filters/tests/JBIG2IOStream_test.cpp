#include <gtest/gtest.h>

#include "filters/jbig2/Common.h"
#include "filters/jbig2/IOStream.h"
#include "filters/tests/JBIG2TestEncoder.h"

namespace qz::filters::jbig2 {
namespace {

using test::Data;

TEST(JBIG2IOStream, EmptyWindowReadsEnd) {
    TqzIOStream s(Data(std::string("\x01\x02", 2)), 2, 0);
    EXPECT_EQ(s.Read(), -1);
    EXPECT_EQ(s.ReadBits(3), -1);
    EXPECT_EQ(s.ReadInt16(), -1);
    EXPECT_EQ(s.ReadInt32(), -1);
    uint8_t buf[4];
    EXPECT_EQ(s.Read(buf, 0, 4), -1);
}

TEST(JBIG2IOStream, BitsAndIntegers) {
    TqzIOStream s(Data(std::string("\xB4\x01\x02\x03\x04", 5)), 0, 5);
    EXPECT_EQ(s.ReadBits(3), 5);
    EXPECT_EQ(s.ReadBits(3), 5);
    EXPECT_EQ(s.GetStreamPos(), 0);
    EXPECT_EQ(s.ReadBits(2), 0);
    EXPECT_EQ(s.GetStreamPos(), 1);
    EXPECT_EQ(s.ReadInt32(), 16909060);
    EXPECT_EQ(s.ReadBits(1), -1);
}

TEST(JBIG2IOStream, ReadsStopAtTheWindowAndTheData) {
    // A window that claims more than the data holds reads only what exists.
    TqzIOStream s(Data(std::string("\xFF\x80", 2)), 1, 100);
    EXPECT_EQ(s.ReadBits(4), 8);
    // A read running past the end: the missing bits are 0.
    EXPECT_EQ(s.ReadBits(12), 0);
    EXPECT_EQ(s.Read(), -1);
    EXPECT_EQ(s.Seek(1000), 100);
    EXPECT_EQ(s.Seek(-5), 0);
    EXPECT_EQ(s.Seek(3, TqzSeekOrigin::soEnd), 97);
    EXPECT_EQ(s.Seek(INT64_MAX, TqzSeekOrigin::soCurrent), 100);
}

TEST(JBIG2IOStream, LongReadsAcrossAnyBoundaryAgree) {
    std::string bytes(9000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 37 + 11);
    const auto data = Data(bytes);
    for (int64_t start : {int64_t{4093}, int64_t{4094}, int64_t{100}}) {
        TqzIOStream s(data, 0, 9000);
        s.Seek(start);
        s.ReadBits(3);
        const int64_t v = s.ReadBits(32);
        uint64_t want = 0;
        for (int64_t bit = start * 8 + 3; bit < start * 8 + 35; ++bit) {
            want = (want << 1) | ((static_cast<uint8_t>(bytes[static_cast<size_t>(bit / 8)]) >> (7 - bit % 8)) & 1);
        }
        EXPECT_EQ(static_cast<uint64_t>(v), want) << start;
    }
}

TEST(JBIG2IOStream, SubWindowOffsetIsAbsolute) {
    const auto data = Data(std::string("\x00\x11\x22\x33\x44\x55", 6));
    TqzIOStream parent(data, 2, 4);
    TqzIOStream child(parent, 1, 2);
    EXPECT_EQ(child.Read(), 0x11);
    EXPECT_EQ(child.Read(), 0x22);
    EXPECT_EQ(child.Read(), -1);
}

TEST(JBIG2IOStream, Helpers) {
    EXPECT_TRUE(GetBit(0x80, 7));
    EXPECT_FALSE(GetBit(0x80, 0));
    try {
        GetBit(0x80, 8);
        FAIL();
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "Arguemant Out of Range");
    }
    EXPECT_EQ(TranslateOperatorCodeToEnum(7), FCombinationOPerator::REPLACEOP);
    EXPECT_EQ(TranslateOperatorCodeToEnum(3), FCombinationOPerator::XNOROP);
    EXPECT_EQ(GetRectWidth({2, 3, 10, 4}), 8);
    EXPECT_EQ(GetRectHeight({2, 3, 10, 4}), 1);
}

}  // namespace
}  // namespace qz::filters::jbig2
