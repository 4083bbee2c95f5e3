#include "document/PDDestination.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/PDArray.h"
#include "core/PDName.h"
#include "core/PDReal.h"
#include "document/PDBaseDoc.h"
#include "document/PDDocument.h"
#include "document/PDPage.h"
#include "document/tests/DocumentTestSupport.h"
#include "testing/PdfBuilder.h"

namespace qz::document {
namespace {

using Option = TqzPageDisplayOptions;

// Two pages (objects 4 and 6), page 1 800 points high, and the arrays given,
// numbered from 8 on; "P" in an array stands for a reference to page 1.
class DestinationTest : public ::testing::Test {
protected:
    void Load(const std::vector<std::string>& arrays) {
        qz::testing::PdfBuilder b = qz::testing::MinimalDocument(2);
        b.Set(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 600 800] /Contents 5 0 R >>");
        for (std::string text : arrays) {
            for (size_t at = text.find('P'); at != std::string::npos; at = text.find('P', at)) {
                text.replace(at, 1, "4 0 R");
            }
            b.Add(text);
        }
        doc_.LoadDocument(MemoryFile(b.Write()));
    }
    core::TqzPDBaseObject* Object(uint32_t number) { return doc_.GetBaseDoc()->GetObject(number); }
    TqzPDPage* Page(int32_t number) { return doc_.GetPage(number); }

    TqzPDDocument doc_;
};

struct Numbers {
    double left, top, right, bottom;
};

void ExpectRect(const core::TqzPDRect& rect, Numbers want, const std::string& what) {
    EXPECT_DOUBLE_EQ(rect.GetLeft(), want.left) << what;
    EXPECT_DOUBLE_EQ(rect.GetTop(), want.top) << what;
    EXPECT_DOUBLE_EQ(rect.GetRight(), want.right) << what;
    EXPECT_DOUBLE_EQ(rect.GetBottom(), want.bottom) << what;
}

struct ReadCase {
    std::string array;
    Option option;
    Numbers numbers;
};

// Every option, reals and integers, null and missing entries, entries of
// other kinds and numbers too large for arithmetic.
const std::vector<ReadCase> kReadCases = {
    {"[P /XYZ 100 700 0]", Option::FitZoom, {100, 700, 0, 0}},
    {"[P /XYZ null null 0]", Option::FitZoom, {0, 0, 0, 0}},
    {"[P /XYZ 1.5 (top) 2.25]", Option::FitZoom, {1.5, 0, 2.25, 0}},
    {"[P /Fit]", Option::FitAll, {0, 0, 0, 0}},
    {"[P /FitH 500]", Option::FitHeight, {0, 500, 0, 0}},
    {"[P /FitH]", Option::FitHeight, {0, 0, 0, 0}},
    {"[P /FitV -72.5]", Option::FitWidth, {-72.5, 0, 0, 0}},
    {"[P /FitR 10 20 30 40]", Option::FitRect, {10, 40, 30, 20}},
    {"[P /FitB]", Option::FitBoundingBox, {0, 0, 0, 0}},
    {"[P /FitBH 300.5]", Option::FitBoundingBoxHeight, {0, 300.5, 0, 0}},
    {"[P /FitBV 12]", Option::FitBoundingBoxWidth, {12, 0, 0, 0}},
    // Numbers no page has: whatever the lexer makes of them, finite.
    {"[P /XYZ 99999999999999999999999 -9999999999999999999999999999999999999999.5 1e400]", Option::FitZoom,
     {NAN, NAN, NAN, NAN}},
};

TEST_F(DestinationTest, ReadsEveryOptionAndWritesTheSameArrayBack) {
    std::vector<std::string> arrays;
    for (const ReadCase& c : kReadCases) arrays.push_back(c.array);
    Load(arrays);
    for (size_t i = 0; i < kReadCases.size(); ++i) {
        const ReadCase& c = kReadCases[i];
        TqzPDDestination destination(&doc_, nullptr, Object(static_cast<uint32_t>(8 + i)));
        EXPECT_EQ(destination.GetDisplayOption(), c.option) << c.array;
        EXPECT_EQ(destination.GetPage(), Page(1)) << c.array;
        const core::TqzPDRect& rect = *destination.GetRect();
        if (std::isnan(c.numbers.left)) {
            for (double value : {rect.GetLeft(), rect.GetTop(), rect.GetRight(), rect.GetBottom()}) {
                EXPECT_TRUE(std::isfinite(value)) << c.array;
            }
        } else {
            ExpectRect(rect, c.numbers, c.array);
        }

        std::unique_ptr<core::TqzPDArray> written = CreateDestArray(destination, TqzDestYAxis::AsStored);
        const core::TqzPDBaseObject* pageEntry = written->GetRefObj(0);
        ASSERT_TRUE(pageEntry->IsIndirectRef()) << c.array;
        EXPECT_EQ(pageEntry->GetObjNumber(), 4U) << c.array;
        TqzPDDestination reread(&doc_, nullptr, written.get());
        EXPECT_EQ(reread.GetDisplayOption(), c.option) << c.array;
        ExpectRect(*reread.GetRect(), {rect.GetLeft(), rect.GetTop(), rect.GetRight(), rect.GetBottom()}, c.array);
    }
}

TEST_F(DestinationTest, FitRectIsWrittenLeftBottomRightTopAsRead) {
    Load({"[P /FitR 10 20 30 40]"});
    TqzPDDestination destination(&doc_, nullptr, Object(8));
    std::unique_ptr<core::TqzPDArray> written = CreateDestArray(destination, TqzDestYAxis::AsStored);
    ASSERT_EQ(written->GetLength(), 6);
    EXPECT_TRUE(written->Get(1)->IsName("FitR"));
    for (int32_t i = 2; i < 6; ++i) {
        EXPECT_DOUBLE_EQ(static_cast<const core::TqzPDReal*>(written->Get(i))->GetValue(), 10.0 * (i - 1));
    }
}

TEST_F(DestinationTest, AnUnknownOrMissingOptionLeavesNoneAndTheRectangleAsMade) {
    Load({"[P /Zoom 1 2 3]", "[P 42 1 2]", "[P]", "[]"});
    for (uint32_t number = 8; number < 12; ++number) {
        TqzPDDestination destination(&doc_, nullptr, Object(number));
        EXPECT_EQ(destination.GetDisplayOption(), Option::None) << number;
        const core::TqzPDRect& rect = *destination.GetRect();
        EXPECT_FALSE(rect.GetIsValid()) << number;
        ExpectRect(rect, {-1, -1, -1, -1}, std::to_string(number));
    }
}

// Entry 0 finds a page only as a reference to one of the document's pages:
// never the page tree, the catalog, a missing object, a number or a direct
// dictionary (whose absent object number a page could seem to share).
TEST_F(DestinationTest, EntryZeroNamesAPageOrNone) {
    Load({"[6 0 R /Fit]", "[1 0 R /Fit]", "[2 0 R /Fit]", "[99 0 R /Fit]", "[0 /Fit]", "[<< /Type /Page >> /Fit]",
          "[null /Fit]", "[/Fit]"});
    const std::vector<TqzPDPage*> want = {Page(2), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    for (size_t i = 0; i < want.size(); ++i) {
        TqzPDDestination destination(&doc_, nullptr, Object(static_cast<uint32_t>(8 + i)));
        EXPECT_EQ(destination.GetPage(), want[i]) << "array " << 8 + i;
    }
}

TEST_F(DestinationTest, MadeDestinationsWriteTheirPageOptionAndNumbers) {
    Load({});
    TqzPDDestination fit(&doc_, Page(1), Option::FitAll, nullptr);
    std::unique_ptr<core::TqzPDArray> written = CreateDestArray(fit, TqzDestYAxis::AsStored);
    ASSERT_EQ(written->GetLength(), 2);
    EXPECT_EQ(written->GetRefObj(0)->GetObjNumber(), 4U);
    EXPECT_TRUE(written->Get(1)->IsName("Fit"));

    TqzPDDestination none(&doc_, Page(2), Option::None, nullptr);
    written = CreateDestArray(none, TqzDestYAxis::AsStored);
    ASSERT_EQ(written->GetLength(), 1);
    EXPECT_EQ(written->GetRefObj(0)->GetObjNumber(), 6U);

    // No page: a null, never a reference to something else.
    TqzPDDestination empty;
    empty.SetDisplayOption(Option::FitHeight);
    written = CreateDestArray(empty, TqzDestYAxis::FromPageTop);
    EXPECT_TRUE(written->GetRefObj(0)->IsNull());
}

// Measured from the top of an 800-point page, a rectangle from 20 to 120
// down is 680 to 780 up; the destination itself keeps its numbers, so
// writing it again gives the same array.
TEST_F(DestinationTest, WritingFromThePageTopConvertsACopy) {
    Load({});
    const core::TqzPDRect rect(10, 20, 110, 120);
    TqzPDDestination destination(&doc_, Page(1), Option::FitRect, &rect);
    for (int pass = 0; pass < 2; ++pass) {
        std::unique_ptr<core::TqzPDArray> written = CreateDestArray(destination, TqzDestYAxis::FromPageTop);
        ASSERT_EQ(written->GetLength(), 6);
        const std::vector<double> want = {10, 680, 110, 780};
        for (int32_t i = 0; i < 4; ++i) {
            EXPECT_DOUBLE_EQ(static_cast<const core::TqzPDReal*>(written->Get(i + 2))->GetValue(),
                             want[static_cast<size_t>(i)])
                << "pass " << pass << " entry " << i + 2;
        }
    }
    ExpectRect(*destination.GetRect(), {10, 20, 110, 120}, "held");
}

TEST(DisplayOptionNames, EveryOptionRoundTripsItsName) {
    for (int i = 1; i <= static_cast<int>(Option::FitBoundingBoxWidth); ++i) {
        const auto option = static_cast<Option>(i);
        EXPECT_EQ(DisplayOptionFromName(DisplayOptionName(option)), option) << i;
    }
    EXPECT_EQ(DisplayOptionFromName("fit"), Option::None);
    EXPECT_EQ(DisplayOptionFromName(""), Option::None);
}

}  // namespace
}  // namespace qz::document
