#include "platform/CodePage.h"

#include <gtest/gtest.h>

using namespace qz::platform;

TEST(CodePage, EveryByteRoundTripsThroughUtf8AndUtf16) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    EXPECT_EQ(Utf8ToCodePage(CodePageToUtf8(all)), all);
    EXPECT_EQ(Utf16ToCodePage(CodePageToUtf16(all)), all);
}

TEST(CodePage, HighBytesAreWindows1252) {
    EXPECT_EQ(CodePageToUtf8("\x80"), "\xE2\x82\xAC");  // euro sign
    EXPECT_EQ(CodePageToUtf8("\xE9"), "\xC3\xA9");      // e acute
    EXPECT_EQ(CodePageToUtf16("\x93"), u"\u201C");
    EXPECT_EQ(Utf8ToCodePage("\xE2\x80\x94"), "\x97");  // em dash
}

TEST(CodePage, UnmappableAndMalformedInput) {
    EXPECT_EQ(Utf8ToCodePage("\xE4\xB8\xAD"), "?");     // a CJK character has no byte
    EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");   // a stray byte
    EXPECT_EQ(Utf8ToUtf16("\xC3"), u"\uFFFD");          // cut sequence
    EXPECT_EQ(Utf16ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx"); // lone surrogate
}

TEST(CodePage, Utf8AndUtf16IncludingSurrogatePairs) {
    const std::string utf8 = "Localiza\xC3\xA7\xC3\xA3o \xF0\x9F\x98\x80";
    const std::u16string utf16 = Utf8ToUtf16(utf8);
    EXPECT_EQ(utf16.size(), 14u);
    EXPECT_EQ(Utf16ToUtf8(utf16), utf8);
}
