#include "component/PageRange.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "component/MeasurementUnits.h"
#include "core/PDBaseExceptions.h"

namespace qz::component {
namespace {

constexpr int32_t kMaxInt = std::numeric_limits<int32_t>::max();

struct RangeCase {
    std::string text;
    int32_t pageCount;
    // The pages listed, or the exact message of the EInvalidPageError.
    std::variant<TqzPageNumbers, std::string> expected;
};

TqzPageNumbers Pages(std::initializer_list<int32_t> pages) { return pages; }

TEST(PageRangeTest, ParsesRangesAndNamesWhatIsWrong) {
    const std::string withNul("1\0", 2);
    const std::vector<RangeCase> cases = {
        // Valid texts: order and repeats kept.
        {"", 5, Pages({1, 2, 3, 4, 5})},
        {"2-", 5, Pages({2, 3, 4, 5})},
        {"-3", 5, Pages({1, 2, 3})},
        {"-", 5, Pages({1, 2, 3, 4, 5})},
        {"4,2", 5, Pages({4, 2})},
        {"1,3,5-5", 5, Pages({1, 3, 5})},
        {"2,2,1-2", 5, Pages({2, 2, 1, 2})},
        {"3-4,1-4", 5, Pages({3, 4, 1, 2, 3, 4})},
        {"  3  ", 5, Pages({3})},
        {"1\t2\n3", 5, Pages({1, 2, 3})},
        {"+2", 5, Pages({2})},
        // Blanks split a range into entries; a lone dash is every page.
        {"1 - 3", 5, Pages({1, 1, 2, 3, 4, 5, 3})},
        // Quotes keep blanks inside one entry.
        {"\"1 - 3\"", 5, Pages({1, 2, 3})},
        {"\"2\",4", 5, Pages({2, 4})},
        {"\"5", 5, Pages({5})},
        // Not numbers: the whole text is named.
        {"x", 5, std::string("Invalid page range (x)")},
        {"2,x", 5, std::string("Invalid page range (2,x)")},
        {"1-a", 5, std::string("Invalid page range (1-a)")},
        {"a-2", 5, std::string("Invalid page range (a-2)")},
        {"1;2", 5, std::string("Invalid page range (1;2)")},
        {"1,,2", 5, std::string("Invalid page range (1,,2)")},
        {",", 5, std::string("Invalid page range (,)")},
        {"1,", 5, std::string("Invalid page range (1,)")},
        {"\"\"", 5, std::string("Invalid page range (\"\")")},
        {"\"1\"\"2\"", 5, std::string("Invalid page range (\"1\"\"2\")")},
        {"\"2 \"", 5, std::string("Invalid page range (\"2 \")")},
        {"-3-", 5, std::string("Invalid page range (-3-)")},
        // A NUL does not cut the text short (what() ends at it).
        {withNul, 5, std::string("Invalid page range (1")},
        {"99999999999999999999", 5, std::string("Invalid page range (99999999999999999999)")},
        {"1-99999999999999999999", 5, std::string("Invalid page range (1-99999999999999999999)")},
        {"-2147483648", 5, std::string("Invalid page range (-2147483648)")},
        // Nothing listed: blanks alone are not "every page".
        {"   ", 5, std::string("Invalid page range (   )")},
        // Bounds out of order or past the document: the entry is named.
        {"3-2", 5, std::string("Invalid page range (3-2)")},
        {"0-2", 5, std::string("Invalid page range (0-2)")},
        {"2-6", 5, std::string("Invalid page range (2-6)")},
        {"1,4-9", 5, std::string("Invalid page range (4-9)")},
        {"1--3", 5, std::string("Invalid page range (1--3)")},
        // Single pages outside the document.
        {"0", 5, std::string("Invalid page number (0)")},
        {"6", 5, std::string("Invalid page number (6)")},
        {"2147483647", 5, std::string("Invalid page number (2147483647)")},
        // A document without pages has no page to list, not even "all".
        {"", 0, std::string("Invalid page range ()")},
        {"-", 0, std::string("Invalid page range (-)")},
        {"1", 0, std::string("Invalid page number (1)")},
        // The last page of the largest document a count can name.
        {"2147483647", kMaxInt, Pages({kMaxInt})},
        {"2147483646-", kMaxInt, Pages({kMaxInt - 1, kMaxInt})},
    };
    for (const RangeCase& c : cases) {
        SCOPED_TRACE("range \"" + c.text + "\" of " + std::to_string(c.pageCount) + " pages");
        if (const auto* pages = std::get_if<TqzPageNumbers>(&c.expected)) {
            EXPECT_EQ(GetPages(c.text, c.pageCount), *pages);
            continue;
        }
        try {
            const TqzPageNumbers got = GetPages(c.text, c.pageCount);
            ADD_FAILURE() << "accepted, " << got.size() << " pages";
        } catch (const EInvalidPageError& e) {
            EXPECT_EQ(std::string(e.what()), std::get<std::string>(c.expected));
        }
    }
}

TEST(PageRangeTest, RangesListingTooManyPagesAreRefusedBeforeAllocating) {
    // Each "1-" of a document of the largest page count lists two thousand
    // million pages: the count is checked before any of them is stored.
    std::string repeated;
    for (int i = 0; i < 100000; ++i) repeated += "1-,";
    repeated += "1";
    EXPECT_THROW(GetPages(repeated, kMaxInt), core::ExLimitExceeded);
    EXPECT_THROW(GetPages("", kMaxInt), core::ExLimitExceeded);
    const auto half = static_cast<int32_t>(kMaxPageNumbers / 2);
    EXPECT_THROW(GetPages("1-,1-,1", half), core::ExLimitExceeded);
    EXPECT_EQ(GetPages("1-,1-", half).size(), kMaxPageNumbers);
}

TEST(PageRangeTest, CheckPageNumberNamesTheNumber) {
    EXPECT_NO_THROW(CheckPageNumber(0, 0, 3));
    EXPECT_NO_THROW(CheckPageNumber(3, 0, 3));
    for (const int32_t bad : {-1, 4, std::numeric_limits<int32_t>::min()}) {
        try {
            CheckPageNumber(bad, 0, 3);
            ADD_FAILURE() << bad << " accepted";
        } catch (const EInvalidPageError& e) {
            EXPECT_EQ(std::string(e.what()), "Invalid page number (" + std::to_string(bad) + ")");
        }
    }
}

struct UnitCase {
    TqzMeasurementUnit unit;
    double points;
    double inUnit;
};

TEST(MeasurementUnitTest, LengthsConvertBothWays) {
    const std::vector<UnitCase> cases = {
        {TqzMeasurementUnit::muPoints, 72, 72},   {TqzMeasurementUnit::muInches, 72, 1},
        {TqzMeasurementUnit::muInches, 612, 8.5}, {TqzMeasurementUnit::muMM, 2.83464, 1},
        {TqzMeasurementUnit::muMM, 0, 0},         {TqzMeasurementUnit::muTwips, 1, 20},
        {TqzMeasurementUnit::muTwips, 72, 1440},  {TqzMeasurementUnit::muPixels, 72, 96},
        {TqzMeasurementUnit::muPixels, 612, 816}, {TqzMeasurementUnit::muPixels, -3, -4},
    };
    for (const UnitCase& c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.unit)) + ": " + std::to_string(c.points) + " points");
        EXPECT_DOUBLE_EQ(ConvertToMU(c.unit, c.points), c.inUnit);
        EXPECT_DOUBLE_EQ(ConvertToPDFUnit(c.unit, c.inUnit), c.points);
    }
    // Without a display the screen is taken at 96 dots per inch, the rate
    // pixels are read at: a length in pixels comes back unchanged.
    for (const double pixels : {1.0, 37.0, 1055.5}) {
        EXPECT_DOUBLE_EQ(ConvertToMU(TqzMeasurementUnit::muPixels,
                                     ConvertToPDFUnit(TqzMeasurementUnit::muPixels, pixels)),
                         pixels);
    }
}

}  // namespace
}  // namespace qz::component
