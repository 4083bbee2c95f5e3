// CMap text: tokens, ranges and single codes, the last entry winning, text
// destinations (ligatures, surrogate pairs), code spaces, usecmap chains and
// loops, and text that is malformed or hostile.

#include "content/fonts/PDCMapParser.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "platform/Streams.h"
#include "testing/TempDir.h"

namespace qz::content {
namespace {

TqzPDCMapParser Parse(const std::string& text) {
    platform::MemoryStream stream(text);
    return TqzPDCMapParser(stream);
}

std::string CidRanges(const std::string& entries) { return "begincidrange\n" + entries + "\nendcidrange\n"; }

TEST(PSTokenizer, SplitsTokensAsTheCMapTextWritesThem) {
    platform::MemoryStream stream(
        "%comment begincidrange\n/Registry (Ad\\)obe) def <0 0\n1f> [<41>]<<x>> {a}/b%c\r\nend");
    TqzPSTokenizer tokens(stream);
    std::vector<std::string> got;
    for (std::string t; tokens.GetNextToken(t);) got.push_back(t);
    const std::vector<std::string> want = {"/Registry", "(Ad\\)obe)", "def", "<001f>", "[", "<41>",
                                           "]",         "<<x>",      ">",   "{a",     "}",  "/b", "end"};
    EXPECT_EQ(got, want);
}

TEST(PDCMapParser, RangesAndCodesMapAsWritten) {
    struct Case {
        const char* what;
        std::string text;
        std::vector<std::pair<int64_t, int64_t>> codes;  // code, GetCode
    };
    const Case cases[] = {
        {"one range", CidRanges("<8140> <817e> 633"), {{0x8140, 633}, {0x817E, 695}, {0x817F, -1}, {0x813F, -1}}},
        {"later overlapping ranges win",
         CidRanges("<00> <64> 1000\n<0a> <14> 2000\n<0f> <32> 3000\n<12> <12> 4000"),
         {{5, 1005}, {12, 2002}, {16, 3001}, {18, 4000}, {19, 3004}, {60, 1060}, {101, -1}}},
        {"a later wide range hides earlier ones", CidRanges("<0a> <14> 2000\n<00> <64> 1000"), {{12, 1012}}},
        {"decimal codes", CidRanges("32 126 1"), {{65, 34}}},
        {"bfchar, six-digit source keeps four digits",
         "beginbfchar\n<41> <0061>\n<123456> <0062>\nendbfchar",
         {{0x41, 0x61}, {0x1234, 0x62}, {0x123456, -1}}},
        {"single codes before ranges, last code wins",
         CidRanges("<00> <ff> 0") + "begincidchar\n<41> 7\n<41> 9\nendcidchar",
         {{0x41, 9}, {0x42, 0x42}}},
        {"bfrange array, values past the high code ignored",
         "beginbfrange\n<0003> <0005> [<0041> <0042> <0043>]\n<0007> <0007> [<0050> <0051>]\nendbfrange",
         {{3, 0x41}, {4, 0x42}, {5, 0x43}, {7, 0x50}, {8, -1}}},
        {"keyword in a comment", "%begincidrange\n<00> <10> 5\n", {{3, -1}}},
        {"text that is not a number skips its entry",
         CidRanges("<00> <10> x12\n<20> <30> 7\nabc <40> 1\n<50> <60> 2") + "begincidchar\nabc 5\n<41> 66 endcidchar",
         {{5, -1}, {0x21, 8}, {0x55, 7}, {0x41, 66}}},
        {"reversed range maps nothing", CidRanges("<20> <10> 5"), {{0x15, -1}}},
        {"values saturate",
         CidRanges("<00> <ff> 9223372036854775807\n<fffffffffffffffffffff> <ffffffffffffffffffffff> 1\n"
                   "<0100> <0100> 99999999999999999999999"),
         {{0x10, std::numeric_limits<int64_t>::max()}, {0x100, std::numeric_limits<int64_t>::max()}}},
        {"huge range stays a range", CidRanges("<00000000> <ffffffff> 0"), {{0xFFFFFFFF, 0xFFFFFFFF}}},
        {"end of cmap ends the text", CidRanges("<00> <10> 1") + "endcmap\n" + CidRanges("<20> <30> 1"),
         {{1, 2}, {0x21, -1}}},
    };
    for (const Case& c : cases) {
        const auto parser = Parse(c.text);
        for (const auto& [code, want] : c.codes) EXPECT_EQ(parser.GetCode(code), want) << c.what << " code " << code;
    }
}

TEST(PDCMapParser, HeaderFieldsAndSingleByteRanges) {
    const std::string text =
        "/CIDSystemInfo 3 dict dup begin /Registry (Adobe) def /Ordering (Japan1) def /Supplement 2 def end def\n"
        "/WMode 1 def\n" +
        CidRanges("<20> <7e> 1\n<8140> <817e> 633");
    for (const bool wide : {false, true}) {
        // Text stored as 16-bit little-endian characters reads the same.
        std::string input;
        for (char ch : text) {
            input.push_back(ch);
            if (wide) input.push_back('\0');
        }
        const auto parser = Parse(input);
        EXPECT_EQ(parser.GetRegistry(), "Adobe");
        EXPECT_EQ(parser.GetOrdering(), "Japan1");
        EXPECT_EQ(parser.GetSupplement(), "2");
        EXPECT_EQ(parser.GetWMode(), 1);
        EXPECT_EQ(parser.getCIDCount(), 2);
        EXPECT_EQ(parser.GetCID(0x41), 34);
        EXPECT_EQ(parser.GetCID(0x8141), 634);
        EXPECT_TRUE(parser.IsSingleByteCodeRange(0x41));
        EXPECT_FALSE(parser.IsSingleByteCodeRange(0x81));
        EXPECT_FALSE(parser.IsSingleByteCodeRange(0x8141));
    }
}

TEST(PDCMapParser, TextDestinationsKeepEveryCharacter) {
    const auto parser = Parse(
        "beginbfchar\n<0010> <00660069>\n<0011> <D835DC00>\n<0012> <D835>\n<0013> <0041D835DC000042>\nendbfchar\n"
        "beginbfrange\n<0020> <0021> <00660069>\n<0030> <0032> <D835DFFE>\n"
        "<0040> <0041> [<00660066> <006600660069>]\n<0050> <0052> <0041>\nendbfrange\n");
    struct Case {
        int64_t code;
        std::u32string text;
        int64_t first;  // GetCode
    };
    const Case cases[] = {
        {0x10, U"fi", 'f'},           {0x11, U"\U0001D400", 0x1D400}, {0x12, U"\uFFFD", 0xD835},
        {0x13, U"A\U0001D400B", 'A'}, {0x20, U"fi", 'f'},             {0x21, U"fj", 'f'},
        {0x30, U"\U0001D7FE", 0x1D7FE}, {0x32, U"\U0001D800", 0x1D800}, {0x40, U"ff", 'f'},
        {0x41, U"ffi", 'f'},          {0x52, U"C", 0x43},             {0x60, U"", -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parser.GetText(c.code), c.text) << "code " << c.code;
        EXPECT_EQ(parser.GetCode(c.code), c.first) << "code " << c.code;
    }
}

TEST(PDCMapParser, CodeSpacesGiveTheCodeLength) {
    const auto mixed = Parse(
        "4 begincodespacerange <00> <80> <8140> <9ffc> <a0> <df> <e040> <fcfc> endcodespacerange\n" +
        CidRanges("<20> <7d> 231"));
    const auto utf16 = Parse(
        "begincodespacerange <0000> <d7ff> <e000> <ffff> <d800dc00> <dbffdfff> endcodespacerange\n"
        "begincidchar <d840dc0b> 13839 endcidchar");
    const auto none = Parse(CidRanges("<20> <7e> 1"));
    struct Case {
        const TqzPDCMapParser* parser;
        std::string bytes;
        int32_t length;
    };
    const Case cases[] = {
        {&mixed, "A", 1},           {&mixed, "\x81\x40", 2},         {&mixed, "\xa1\x40", 1},
        {&mixed, "\x81", 0},        {&mixed, "\x81\x3f", 0},         {&utf16, std::string("\0A", 2), 2},
        {&utf16, "\xd8\x40\xdc\x0b", 4}, {&utf16, "\xd8\x40", 0},    {&none, "A", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(c.parser->GetCodeLength(c.bytes), c.length) << c.bytes.size();
    // With four-byte codes, single-code sources keep all their digits.
    EXPECT_EQ(utf16.GetCode(0xD840DC0B), 13839);
}

TEST(PDCMapParser, UseCMapFollowsChainsAndStopsLoops) {
    qz::testing::TempDir dir;
    dir.Write("Base", "/WMode 0 def /Registry (Adobe) def\n" + CidRanges("<00> <ff> 100\n<0100> <01ff> 500"));
    dir.Write("Middle", "/Base usecmap\n/WMode 1 def\n" + CidRanges("<10> <10> 7"));
    dir.Write("LoopA", "/LoopB usecmap\n" + CidRanges("<01> <01> 1"));
    dir.Write("LoopB", "/LoopA usecmap\n" + CidRanges("<02> <02> 2"));
    dir.Write("Self", "/Self usecmap\n" + CidRanges("<03> <03> 3"));
    for (int32_t i = 0; i < 20; ++i) {
        const std::string n = std::to_string(i);
        dir.Write("Deep" + n, "/Deep" + std::to_string(i + 1) + " usecmap\n" + CidRanges(n + " " + n + " " + n));
    }
    const TqzCMapSearch search{{dir.Path()}, {}};
    std::string repeated;
    for (int32_t i = 0; i <= kMaxUseCMaps; ++i) repeated += "/Base usecmap ";
    struct Case {
        std::string text;
        bool unresolved;
        std::vector<std::pair<int64_t, int64_t>> codes;
    };
    const Case cases[] = {
        {"/Middle usecmap " + CidRanges("<11> <11> 8"), false, {{0x10, 7}, {0x11, 8}, {0x12, 118}, {0x100, 500}}},
        {"/LoopA usecmap", true, {{1, 1}, {2, 2}}},
        {"/Self usecmap", true, {{3, 3}}},
        {"/Deep0 usecmap", true, {{0, 0}, {kMaxUseCMapDepth - 1, kMaxUseCMapDepth - 1}, {kMaxUseCMapDepth, -1}}},
        {repeated, true, {{0x12, 118}}},
        {"/Missing usecmap " + CidRanges("<05> <05> 5"), true, {{5, 5}}},
        {"/..#2Fetc#2Fpasswd usecmap /.. usecmap", true, {{0x20, -1}}},
    };
    for (const Case& c : cases) {
        platform::MemoryStream stream(c.text);
        const TqzPDCMapParser parser(stream, search);
        EXPECT_EQ(parser.HasUnresolvedUseCMap(), c.unresolved) << c.text;
        for (const auto& [code, want] : c.codes) EXPECT_EQ(parser.GetCID(code), want) << c.text << " " << code;
    }
    platform::MemoryStream middle("/Middle usecmap");
    const TqzPDCMapParser parser(middle, search);
    EXPECT_EQ(parser.GetWMode(), 1);  // the using CMap's own mode
    EXPECT_EQ(parser.GetRegistry(), "Adobe");
    // Without folders usecmap is not followed.
    EXPECT_EQ(Parse("/Base usecmap").GetCID(0x10), -1);
}

TEST(PDCMapParser, HostileTextStaysBounded) {
    // More entries than a CMap may add: the rest is not read.
    std::string many = "begincidchar\n";
    for (int64_t i = 0; i < kMaxCMapEntries + 10; ++i) many += std::to_string(i) + " 1\n";
    const auto capped = Parse(many);
    EXPECT_EQ(capped.getCodeCount(), kMaxCMapEntries);
    EXPECT_EQ(capped.GetCode(kMaxCMapEntries + 5), -1);

    // A token longer than the cap is cut, and what follows still reads.
    const auto longToken = Parse(std::string(kMaxCMapTokenLength * 2, 'x') + " " + CidRanges("<00> <10> 1") +
                                 "beginbfchar <41> <" + std::string(1 << 16, 'a') + "> endbfchar");
    EXPECT_EQ(longToken.GetCID(5), 6);
    EXPECT_EQ(longToken.GetText(0x41).size(), kMaxCMapDestinationUnits);

    for (const char* text : {"begincidrange", "begincidrange <00>", "beginbfrange <00> <01> [<41>", "beginbfchar <41>",
                             "/Registry", "/WMode", "/WMode x", "begincodespacerange <00>", "(unclosed", "<unclosed"})
        EXPECT_NO_THROW(Parse(text)) << text;
}

}  // namespace
}  // namespace qz::content
