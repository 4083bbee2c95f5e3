#include <gtest/gtest.h>

#include "core/Logger.h"
#include "core/PDFUtils.h"
#include "core/WideStrings.h"
#include "platform/Streams.h"

using namespace qz::core;

TEST(PDFUtils, PosExxAndReplaceString) {
    EXPECT_EQ(PosExx(u"ab", u"xxabab", 4), 5);
    EXPECT_EQ(PosExx(u"ab", u"xxabab", 1), 3);
    EXPECT_EQ(PosExx(u"", u"xxabab", 1), 0);
    EXPECT_EQ(PosExx(u"ab", u"xxabab", 6), 0);
    EXPECT_EQ(PosExx(u"ab", u"xxabab", 100), 0);
    EXPECT_EQ(ReplaceString(u"aXbxc", u"x", u"-"), u"a-b-c");
    EXPECT_EQ(ReplaceString(u"", u"x", u"-"), u"");
    EXPECT_EQ(ReplaceString(u"abc", u"", u"-"), u"abc");
    EXPECT_EQ(ReplaceString(u"aaa", u"a", u"aa"), u"aaaaaa");
    EXPECT_EQ(ReplaceString(u"\u00e9t\u00c9", u"\u00e9", u"e"), u"ete");  // Latin-1 letters fold too
}

TEST(PDFUtils, TryStrToIntAcceptsWholeNumbersOnly) {
    int32_t v = 0;
    EXPECT_FALSE(TryStrToInt(u"12a", v));
    EXPECT_TRUE(TryStrToInt(u"-7", v));
    EXPECT_EQ(v, -7);
    EXPECT_TRUE(TryStrToInt("2147483647", v));
    EXPECT_EQ(v, 2147483647);
    EXPECT_TRUE(TryStrToInt("-2147483648", v));
    EXPECT_EQ(v, INT32_MIN);
    EXPECT_FALSE(TryStrToInt("2147483648", v));
    EXPECT_FALSE(TryStrToInt("", v));
    EXPECT_FALSE(TryStrToInt("-", v));
    EXPECT_TRUE(TryStrToInt("$FF", v));
    EXPECT_EQ(v, 255);
    EXPECT_FALSE(TryStrToInt("99999999999999999999999", v));
}

TEST(PDFUtils, LeftRightAndPixels) {
    EXPECT_EQ(RightStr("abc", 5), "abc");
    EXPECT_EQ(RightStr("abc", 2), "bc");
    EXPECT_EQ(LeftStr("abc", 0), "");
    EXPECT_EQ(LeftStr("abc", -3), "");
    EXPECT_EQ(LeftStr("a\xE9z", 2), "a\xE9");
    EXPECT_DOUBLE_EQ(PointsToPixels(72), 96);
    EXPECT_DOUBLE_EQ(PixelsToPoints(96), 72);
    EXPECT_STREQ(EUnsupportedImage("TPicture").what(), "Unsupported image format (TPicture)");
    const TqzRect r = qzRect(1, 2, 3, 4);
    EXPECT_EQ(r.Left + r.Top + r.Right + r.Bottom, 10);
    TqzLogger::LogError("ignored");
}

namespace {

struct Counted : TqzObject {
    explicit Counted(int* counter) : counter_(counter) {}
    ~Counted() override { ++*counter_; }
    int* counter_;
};

}  // namespace

TEST(WideStringList, InsertPutGetAndRanges) {
    TqzWideStringList list;
    list.Add(u"a");
    list.Add(u"b");
    list.Insert(5, u"S");
    ASSERT_EQ(list.GetCount(), 6);
    EXPECT_EQ(list.Get(5), u"S");
    EXPECT_EQ(list.Get(3), u"");

    TqzWideStringList two;
    two.Add(u"a");
    two.Add(u"b");
    two.Insert(0, u"S");
    EXPECT_EQ(two.Get(0), u"S");
    EXPECT_EQ(two.Get(1), u"a");
    EXPECT_EQ(two.Get(2), u"b");
    two.Insert(3, u"end");
    EXPECT_EQ(two.Get(3), u"end");
    two.Put(two.GetCount(), u"appended");
    EXPECT_EQ(two.GetCount(), 5);
    two.Put(two.GetCount() + 1, u"ignored");
    EXPECT_EQ(two.GetCount(), 5);
    EXPECT_EQ(two.Get(-1), u"");
    EXPECT_EQ(two.qzGetObject(two.GetCount()), nullptr);
    two.Swap(0, 99);  // out of range: nothing
    EXPECT_EQ(two.Get(0), u"S");
    EXPECT_EQ(two.IndexOfIgnoreCase(u"APPENDED"), 4);
    EXPECT_EQ(two.IndexOf(u"APPENDED"), -1);
    EXPECT_EQ(two.IndexOf(u"appended"), 4);
}

TEST(WideStringList, OwnedObjectsDieOnceBorrowedOnesLive) {
    int destroyed = 0;
    Counted borrowed(&destroyed);
    {
        TqzWideStringList list;
        list.AddObject(u"a", std::make_unique<Counted>(&destroyed));
        list.AddObject(u"b", std::make_unique<Counted>(&destroyed));
        list.AddObject(u"c", &borrowed);
        list.Delete(0);
        EXPECT_EQ(destroyed, 1);
        EXPECT_EQ(list.Get(0), u"b");
        EXPECT_EQ(list.Get(1), u"c");
        list.Delete(3);  // out of range
        EXPECT_EQ(list.GetCount(), 2);
        // Replacing an owned object destroys it; putting the same one back does nothing.
        TqzObject* second = list.qzGetObject(0);
        list.qzPutObject(0, second);
        EXPECT_EQ(destroyed, 1);
        list.qzPutObject(0, std::make_unique<Counted>(&destroyed));
        EXPECT_EQ(destroyed, 2);
    }
    EXPECT_EQ(destroyed, 3);  // the list's last owned object; the borrowed one lives
}

TEST(WideStringList, SavesUtf16AndCodePageLines) {
    TqzWideStringList list;
    list.Add(u"a");
    list.Add(u"");
    qz::platform::MemoryStream wide;
    list.SaveToStream(wide);
    EXPECT_EQ(wide.Bytes(), std::string("\x61\x00\x0D\x00\x0A\x00\x0D\x00\x0A\x00", 10));
    qz::platform::MemoryStream narrow;
    list.SaveToStreamA(narrow);
    EXPECT_EQ(narrow.Bytes(), "a\r\n\r\n");
    TqzWideStringList empty;
    qz::platform::MemoryStream none;
    empty.SaveToStream(none);
    EXPECT_EQ(none.Size(), 0);
}

TEST(WideStringList, CustomSortOrdersAndSurvivesSortedInput) {
    TqzWideStringList list;
    for (const char16_t* s : {u"pear", u"apple", u"fig", u"kiwi", u"banana"}) list.Add(s);
    const auto byText = [](TqzWideStringList& l, int32_t a, int32_t b) {
        return l.Get(a).compare(l.Get(b));
    };
    list.CustomSort(byText);
    EXPECT_EQ(list.Get(0), u"apple");
    EXPECT_EQ(list.Get(4), u"pear");
    // A long run of equal and sorted items must not deepen the recursion.
    TqzWideStringList big;
    for (int i = 0; i < 100000; ++i) big.Add(i % 2 ? u"b" : u"a");
    big.CustomSort(byText);
    EXPECT_EQ(big.Get(0), u"a");
    EXPECT_EQ(big.Get(99999), u"b");
}
