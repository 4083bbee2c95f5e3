#include <gtest/gtest.h>

#include "filters/jbig2/HuffmanTable.h"
#include "filters/jbig2/SegmentData.h"
#include "filters/tests/JBIG2TestEncoder.h"

namespace qz::filters::jbig2 {
namespace {

using test::Data;

// A reader over a string of '0' and '1' characters.
TqzIOStream BitReader(const std::string& bits) {
    std::vector<uint8_t> bytes((bits.size() + 7) / 8, 0);
    for (size_t i = 0; i < bits.size(); ++i) {
        if (bits[i] == '1') bytes[i / 8] = static_cast<uint8_t>(bytes[i / 8] | (0x80 >> (i % 8)));
    }
    return TqzIOStream(Data(bytes), 0, static_cast<int64_t>(bytes.size()));
}

TEST(JBIG2HuffmanTable, StandardTableCodes) {
    struct Case { int table; std::string bits; int64_t want; };
    const std::string z32(32, '0');
    const std::vector<Case> cases = {
        {1, "00101", 5},
        {1, "10" "00000001", 17},
        {1, "111" + std::string(31, '0') + "1", 65809},
        {2, "111111", kOutOfBand},
        {2, "111110" + z32, 75},
        {3, "11111110" "00000000", -256},
        {3, "11111111" + z32, -257},
        {3, "11111111" + std::string(31, '0') + "1", -258},
        {4, "0", 1},
        {5, "1111110" "00000000", -255},
        {6, "00" "0000101", 5},
        {8, "01", kOutOfBand},
        {14, "0", 0},
        {15, "1111110" + z32, -25},
        {15, "1111111" + z32, 25},
    };
    for (const auto& c : cases) {
        TqzIOStream s = BitReader(c.bits);
        EXPECT_EQ(TqzStandardTables::GetTable(c.table).Decode(s), c.want) << "B." << c.table << " " << c.bits;
    }
    // Decoding changes nothing: the same bits give the same value again.
    TqzIOStream s = BitReader("00101" "00101");
    EXPECT_EQ(TqzStandardTables::GetTable(1).Decode(s), 5);
    EXPECT_EQ(TqzStandardTables::GetTable(1).Decode(s), 5);
    EXPECT_EQ(&TqzStandardTables::GetTable(4), &TqzStandardTables::GetTable(4));
    EXPECT_THROW(TqzStandardTables::GetTable(16), platform::Exception);
    EXPECT_THROW(TqzStandardTables::GetTable(0), platform::Exception);
}

TEST(JBIG2HuffmanTable, StandardTablesAreCompleteContiguousCodes) {
    for (int n = 1; n <= 15; ++n) {
        TqzCodeList lines = TqzStandardTables::Lines(n);
        double kraft = 0;
        for (const auto& c : lines) kraft += 1.0 / static_cast<double>(int64_t{1} << c.FPrefixlength);
        EXPECT_DOUBLE_EQ(kraft, 1.0) << "B." << n;
        // The ordinary lines cover one range without gaps; the lower-range
        // line sits just below it and the upper-range line just above.
        std::vector<const TqzCode*> plain;
        const TqzCode* lower = nullptr;
        const TqzCode* upper = nullptr;
        for (const auto& c : lines) {
            if (c.FRangelen < 0) continue;
            if (c.FIslowerrange) lower = &c;
            else if (c.FRangelen == 32) upper = &c;
            else plain.push_back(&c);
        }
        std::sort(plain.begin(), plain.end(), [](auto* a, auto* b) { return a->FRangelow < b->FRangelow; });
        for (size_t i = 1; i < plain.size(); ++i) {
            EXPECT_EQ(int64_t{plain[i - 1]->FRangelow} + (int64_t{1} << plain[i - 1]->FRangelen), plain[i]->FRangelow)
                << "B." << n << " line " << i;
        }
        if (lower) {
            EXPECT_EQ(lower->FRangelow, plain.front()->FRangelow - 1) << "B." << n;
        }
        if (upper) {
            EXPECT_EQ(upper->FRangelow, plain.back()->FRangelow + (1 << plain.back()->FRangelen)) << "B." << n;
        }
    }
}

TEST(JBIG2HuffmanTable, CodesAssignedAndShown) {
    TqzCodeList lines = TqzStandardTables::Lines(1);
    TqzHuffmanTable::PreprocessCodes(lines);
    EXPECT_EQ(lines[0].ToString(), "0/1/4/0");
    EXPECT_EQ(lines[1].ToString(), "10/2/8/16");
    EXPECT_EQ(lines[2].ToString(), "110/3/16/272");
    EXPECT_EQ(lines[3].ToString(), "111/3/32/65808");
    // Lines of prefix length 0 get no code and stay out of the tree.
    TqzCodeList withEmpty = {{0, 0, 7, false}, {1, 0, 1, false}, {1, 0, 2, false}};
    TqzHuffmanTable::PreprocessCodes(withEmpty);
    EXPECT_EQ(withEmpty[0].FCode, -1);
    TqzFixedSizeTable t(withEmpty);
    TqzIOStream s = BitReader("10");
    EXPECT_EQ(t.Decode(s), 2);
    EXPECT_EQ(t.Decode(s), 1);
}

TEST(JBIG2HuffmanTable, BrokenLineListsAreRefused) {
    // Three codes of length 1 cannot all exist.
    EXPECT_THROW(TqzFixedSizeTable({{1, 0, 0, false}, {1, 0, 1, false}, {1, 0, 2, false}}), platform::Exception);
    EXPECT_THROW(TqzFixedSizeTable({{33, 0, 0, false}}), platform::Exception);
    EXPECT_THROW(TqzFixedSizeTable({{1, 33, 0, false}}), platform::Exception);
    // An incomplete code: bits that lead nowhere are an error, not a crash.
    TqzFixedSizeTable sparse({{2, 0, 7, false}});
    TqzIOStream s = BitReader("01");
    EXPECT_THROW(sparse.Decode(s), platform::Exception);
    // Past the end prefix bits read as 1.
    TqzIOStream empty = BitReader("");
    EXPECT_EQ(TqzStandardTables::GetTable(2).Decode(empty), kOutOfBand);
    TqzInternalNode deep(3);
    TqzCode c(2, 0, 0, false);
    c.FCode = 1;
    try {
        deep.Append(c);
        FAIL();
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "negative shifting is not possible");
    }
}

TqzTable UserTable(int oob, int ps, int rs, int32_t low, int32_t high, const std::string& lineBits) {
    std::vector<uint8_t> bytes((lineBits.size() + 7) / 8, 0);
    for (size_t i = 0; i < lineBits.size(); ++i) {
        if (lineBits[i] == '1') bytes[i / 8] = static_cast<uint8_t>(bytes[i / 8] | (0x80 >> (i % 8)));
    }
    TqzTable t;
    t.FhtOutOfBand = oob;
    t.FhtPS = ps;
    t.FhtRS = rs;
    t.FhtLow = low;
    t.FhtHigh = high;
    t.FsubInputStream = std::make_shared<TqzIOStream>(Data(bytes), 0, static_cast<int64_t>(bytes.size()));
    return t;
}

TEST(JBIG2HuffmanTable, UserTable) {
    // Lines (1, 1) and (2, 1), then lower and upper prefix lengths 3 and 3.
    TqzTable seg = UserTable(0, 2, 1, 0, 4, "01" "1" "10" "1" "11" "11");
    TqzEncodedTable t(seg);
    const std::string z32(32, '0');
    TqzIOStream s = BitReader("0" "1" "110" + z32 + "111" + z32 + "10" "1");
    EXPECT_EQ(t.Decode(s), 1);
    EXPECT_EQ(t.Decode(s), -1);
    EXPECT_EQ(t.Decode(s), 4);
    EXPECT_EQ(t.Decode(s), 3);
    // With HTOOB one more prefix length is read for the out-of-band line.
    TqzTable withOob = UserTable(1, 2, 1, 0, 4, "10" "1" "10" "1" "10" "11" "11");
    TqzEncodedTable o(withOob);
    TqzIOStream so = BitReader("111" "01" "1" "10" + z32);
    EXPECT_EQ(o.Decode(so), kOutOfBand);
    EXPECT_EQ(o.Decode(so), 3);
    EXPECT_EQ(o.Decode(so), -1);
}

TEST(JBIG2HuffmanTable, UserTableThatCannotEndIsRefused) {
    // Data that ends: fields read -1; the parse must fail, not loop.
    TqzTable cut = UserTable(0, 2, 1, 0, 1000, "01");
    EXPECT_THROW(TqzEncodedTable{cut}, platform::Exception);
    // Range length 0 over a span of 2^32 values: far too many lines.
    TqzTable wide = UserTable(0, 1, 1, INT32_MIN, INT32_MAX, std::string(160000, '0'));
    EXPECT_THROW(TqzEncodedTable{wide}, platform::Exception);
    // A range length that does not fit the 32-bit value arithmetic.
    TqzTable big = UserTable(0, 8, 8, 0, 10, "00000001" "00100000" "00000001" "00000001");
    EXPECT_THROW(TqzEncodedTable{big}, platform::Exception);
}

}  // namespace
}  // namespace qz::filters::jbig2
