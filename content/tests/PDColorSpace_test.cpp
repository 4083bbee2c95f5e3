// Colour spaces: the fixed-point helpers, the device-space conversions on
// ordinary and hostile components, the factory, and the resource look-up
// through the registered maker.

#include "content/colour/PDColorSpace.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "content/ContentSetup.h"
#include "content/colour/PDDeviceCMYKColorSpace.h"
#include "content/colour/PDDeviceGrayColorSpace.h"
#include "content/colour/PDDeviceRGBColorSpace.h"
#include "content/colour/PDPatternColorSpace.h"
#include "core/FileStream.h"
#include "core/PDLexer.h"
#include "core/PDParser.h"
#include "document/PDDocument.h"
#include "document/PDPage.h"
#include "document/PDResource.h"
#include "document/tests/DocumentTestSupport.h"
#include "platform/Streams.h"
#include "testing/PdfBuilder.h"

namespace qz::content {
namespace {

constexpr int64_t kOne = kColorOne;
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// One direct object parsed from PDF syntax.
std::unique_ptr<core::TqzPDBaseObject> Parse(const std::string& text) {
    auto file = std::make_shared<platform::MemoryStream>(text);
    auto stream = std::make_shared<core::TqzFileStream>(file, 0, 0, false);
    core::TqzPDParser parser(static_cast<core::TqzParentDocument*>(nullptr),
                             std::make_unique<core::TqzPDLexer>(stream), false);
    return parser.GetObject();
}

TqzColor ColorOf(std::initializer_list<int64_t> comps) {
    TqzColor color;
    size_t i = 0;
    for (int64_t c : comps) color.Comps[i++] = c;
    return color;
}

TEST(PDColorSpace, FixedPointHelpersSaturateHostileNumbers) {
    struct Case {
        double x;
        int64_t col;
    };
    const std::vector<Case> cases = {
        {0.5, 32768},
        {-0.5, -32768},
        {1.0, kOne},
        {0.99999999, 65535},  // truncated, not rounded
        {-0.99999999, -65535},
        {1e300, kMaxColorComponent},
        {-1e300, -kMaxColorComponent},
        {kInf, kMaxColorComponent},
        {-kInf, -kMaxColorComponent},
        {kNaN, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(DblToCol(c.x), c.col) << c.x;
    EXPECT_DOUBLE_EQ(ColToDbl(98304), 1.5);

    EXPECT_EQ(Clip01(int64_t{-1}), 0);
    EXPECT_EQ(Clip01(int64_t{70000}), kOne);
    EXPECT_EQ(Clip01(kMin), 0);
    EXPECT_EQ(Clip01(int64_t{1234}), 1234);
    EXPECT_EQ(Clip01(-0.25), 0.0);
    EXPECT_EQ(Clip01(7.0), 1.0);
    EXPECT_EQ(Clip01(kNaN), 1.0);
    EXPECT_EQ(Clip01(0.25), 0.25);
}

struct Converted {
    int64_t gray;
    TqzRGB rgb;
    TqzCMYK cmyk;
};

Converted Convert(const TqzPDColorSpace& space, const TqzColor& color) {
    Converted out{-1, {-1, -1, -1}, {-1, -1, -1, -1}};
    space.GetGray(color, out.gray);
    space.GetRGB(color, out.rgb);
    space.GetCMYK(color, out.cmyk);
    return out;
}

TEST(PDColorSpace, DeviceSpaceConversions) {
    const TqzPDDeviceGrayColorSpace gray;
    const TqzPDDeviceRGBColorSpace rgb;
    const TqzPDDeviceCMYKColorSpace cmyk;
    struct Case {
        const char* what;
        const TqzPDColorSpace* space;
        TqzColor color;
        Converted expected;
    };
    const std::vector<Case> cases = {
        {"gray half", &gray, ColorOf({32768}), {32768, {32768, 32768, 32768}, {0, 0, 0, 32768}}},
        {"gray above one clips", &gray, ColorOf({70000}), {kOne, {kOne, kOne, kOne}, {0, 0, 0, 0}}},
        {"gray below zero clips", &gray, ColorOf({-5}), {0, {0, 0, 0}, {0, 0, 0, kOne}}},
        {"rgb white", &rgb, ColorOf({kOne, kOne, kOne}), {kOne, {kOne, kOne, kOne}, {0, 0, 0, 0}}},
        {"rgb red", &rgb, ColorOf({kOne, 0, 0}), {19661, {kOne, 0, 0}, {0, kOne, kOne, 0}}},
        // Gray is weighed from the components as they stand; only the result
        // is clipped.
        {"rgb above one", &rgb, ColorOf({70000, 0, 0}), {21000, {kOne, 0, 0}, {0, kOne, kOne, 0}}},
        {"rgb gray",
         &rgb,
         ColorOf({16384, 16384, 16384}),
         {16384, {16384, 16384, 16384}, {0, 0, 0, 49152}}},
        {"cmyk none", &cmyk, ColorOf({0, 0, 0, 0}), {kOne, {kOne, kOne, kOne}, {0, 0, 0, 0}}},
        {"cmyk black", &cmyk, ColorOf({0, 0, 0, kOne}), {0, {8998, 7969, 8224}, {0, 0, 0, kOne}}},
        {"cmyk all",
         &cmyk,
         ColorOf({kOne, kOne, kOne, kOne}),
         {0, {0, 0, 0}, {kOne, kOne, kOne, kOne}}},
        {"cmyk cyan", &cmyk, ColorOf({kOne, 0, 0, 0}), {45876, {0, 44459, 61426}, {kOne, 0, 0, 0}}},
        {"cmyk magenta",
         &cmyk,
         ColorOf({0, kOne, 0, 0}),
         {26870, {60653, 0, 35979}, {0, kOne, 0, 0}}},
        {"cmyk yellow",
         &cmyk,
         ColorOf({0, 0, kOne, 0}),
         {58328, {kOne, 62193, 0}, {0, 0, kOne, 0}}},
        {"cmyk cyan magenta black",
         &cmyk,
         ColorOf({kOne, kOne, 0, kOne}),
         {0, {0, 0, 511}, {kOne, kOne, 0, kOne}}},
        // Inputs beyond the cube are not clipped before blending: only the
        // results are.
        {"cmyk beyond the cube",
         &cmyk,
         ColorOf({-kOne, 0, 0, 0}),
         {kOne, {kOne, kOne, kOne}, {0, 0, 0, 0}}},
        // Components at the ends of 64 bits must neither overflow nor
        // convert out of range.
        {"gray extreme high", &gray, ColorOf({kMax}), {kOne, {kOne, kOne, kOne}, {0, 0, 0, 0}}},
        {"gray extreme low", &gray, ColorOf({kMin}), {0, {0, 0, 0}, {0, 0, 0, kOne}}},
        {"rgb extremes",
         &rgb,
         ColorOf({kMin, kMax, kMin}),
         {kOne, {0, kOne, 0}, {kOne, 0, kOne, 0}}},
        {"cmyk extremes",
         &cmyk,
         ColorOf({kMax, kMin, kMax, kMin}),
         {kOne, {0, kOne, kOne}, {kOne, 0, kOne, 0}}},
    };
    for (const Case& c : cases) {
        const Converted got = Convert(*c.space, c.color);
        EXPECT_EQ(got.gray, c.expected.gray) << c.what;
        EXPECT_EQ(got.rgb.R, c.expected.rgb.R) << c.what;
        EXPECT_EQ(got.rgb.G, c.expected.rgb.G) << c.what;
        EXPECT_EQ(got.rgb.B, c.expected.rgb.B) << c.what;
        EXPECT_EQ(got.cmyk.C, c.expected.cmyk.C) << c.what;
        EXPECT_EQ(got.cmyk.M, c.expected.cmyk.M) << c.what;
        EXPECT_EQ(got.cmyk.Y, c.expected.cmyk.Y) << c.what;
        EXPECT_EQ(got.cmyk.K, c.expected.cmyk.K) << c.what;
    }
}

TEST(PDColorSpace, CmykInsideTheCubeBlendsTheCorners) {
    // At the centre every corner weighs 1/16, so each result is the mean of
    // that channel over the sixteen corners.
    const TqzPDDeviceCMYKColorSpace cmyk;
    TqzRGB centre;
    cmyk.GetRGB(ColorOf({32768, 32768, 32768, 32768}), centre);
    const double red =
        1 + 0.1373 + 1 + 0.1098 + 0.9255 + 0.1412 + 0.9294 + 0.1333 + 0.1804 + 0.2118;
    EXPECT_NEAR(static_cast<double>(centre.R), red / 16 * 65536, 1.0);
    // Between white and full cyan the result moves along the edge.
    TqzRGB half;
    cmyk.GetRGB(ColorOf({32768, 0, 0, 0}), half);
    EXPECT_EQ(half.R, 32768);
    EXPECT_NEAR(static_cast<double>(half.G), (1 + 0.6784) / 2 * 65536, 1.0);
}

TEST(PDColorSpace, ComponentsModesAndDefaults) {
    const TqzPDDeviceGrayColorSpace gray;
    const TqzPDDeviceRGBColorSpace rgb;
    const TqzPDDeviceCMYKColorSpace cmyk;
    const TqzPDPatternColorSpace pattern(nullptr);
    struct Case {
        const TqzPDColorSpace* space;
        int32_t comps;
        TqzColorSpaceMode mode;
        std::vector<int64_t> defaults;
    };
    const std::vector<Case> cases = {
        {&gray, 1, TqzColorSpaceMode::csDeviceGray, {0, 7, 7, 7, 7}},
        {&rgb, 3, TqzColorSpaceMode::csDeviceRGB, {0, 0, 0, 7, 7}},
        {&cmyk, 4, TqzColorSpaceMode::csDeviceCMYK, {0, 0, 0, kOne, 7}},
        {&pattern, 0, TqzColorSpaceMode::csPattern, {7, 7, 7, 7, 7}},  // left untouched
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.space->GetNoOfComps(), c.comps);
        EXPECT_EQ(c.space->GetMode(), c.mode);
        TqzColor color = ColorOf({7, 7, 7, 7, 7});
        c.space->GetDefaultColor(color);
        for (size_t i = 0; i < c.defaults.size(); ++i)
            EXPECT_EQ(color.Comps[i], c.defaults[i]) << c.comps;
        TqzImageDecodeArray low{};
        TqzImageDecodeArray range{};
        low.fill(9);
        range.fill(9);
        c.space->GetDefaultRanges(low, range, 255);
        for (size_t i = 0; i < 5; ++i) {
            const bool used = i < static_cast<size_t>(c.comps);
            EXPECT_EQ(low[i], used ? 0.0 : 9.0);
            EXPECT_EQ(range[i], used ? 1.0 : 9.0);
        }
        auto copy = c.space->Copy();
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(copy->GetMode(), c.mode);
    }
    // The Pattern space paints through its pattern: every colour reads black.
    const Converted black = Convert(pattern, ColorOf({kOne, kOne, kOne}));
    EXPECT_EQ(black.gray, 0);
    EXPECT_EQ(black.rgb.R + black.rgb.G + black.rgb.B, 0);
    EXPECT_EQ(black.cmyk.K, kOne);
    EXPECT_EQ(pattern.GetUnder(), nullptr);
}

TEST(PDColorSpace, FactoryByNameAndFamily) {
    using Mode = TqzColorSpaceMode;
    struct Case {
        const char* text;
        std::optional<Mode> mode;
    };
    const std::vector<Case> cases = {
        {"/DeviceGray", Mode::csDeviceGray},
        {"/G", Mode::csDeviceGray},
        {"/DeviceRGB", Mode::csDeviceRGB},
        {"/RGB", Mode::csDeviceRGB},
        {"/DeviceCMYK", Mode::csDeviceCMYK},
        {"/CMYK", Mode::csDeviceCMYK},
        {"/Pattern", std::nullopt},  // the interpreter makes a bare Pattern space itself
        {"/Indexed", std::nullopt},
        {"/devicegray", std::nullopt},
        {"[/G]", Mode::csDeviceGray},
        {"[/DeviceRGB 1 2]", Mode::csDeviceRGB},
        {"[/CMYK]", Mode::csDeviceCMYK},
        {"[/Pattern]", Mode::csPattern},
        {"[/Pattern /DeviceRGB]", Mode::csPattern},
        // Families whose spaces are not read yet give none for now.
        {"[/I /DeviceRGB 1 <000000FFFFFF>]", std::nullopt},
        {"[/ICCBased 5 0 R]", std::nullopt},
        {"[/Separation /Spot /DeviceCMYK 7 0 R]", std::nullopt},
        {"[/Unknown]", std::nullopt},
        {"[]", std::nullopt},
        {"[1 /DeviceGray]", std::nullopt},
        {"[[/DeviceGray]]", std::nullopt},
        {"(DeviceGray)", std::nullopt},
        {"<< /DeviceGray 1 >>", std::nullopt},
        {"12", std::nullopt},
    };
    for (const Case& c : cases) {
        auto object = Parse(c.text);
        ASSERT_NE(object, nullptr) << c.text;
        auto space = MakeColorSpace(object.get(), "CS7");
        if (!c.mode) {
            EXPECT_EQ(space, nullptr) << c.text;
            continue;
        }
        ASSERT_NE(space, nullptr) << c.text;
        EXPECT_EQ(space->GetMode(), *c.mode) << c.text;
        EXPECT_TRUE(space->IsName("CS7")) << c.text;
        EXPECT_FALSE(space->IsName("cs7")) << c.text;
        EXPECT_EQ(space->GetTagName(), "CS7");
        // Only the Pattern space keeps the array it was made from.
        EXPECT_EQ(space->GetBaseObject(), *c.mode == Mode::csPattern ? object.get() : nullptr)
            << c.text;
        EXPECT_EQ(space->Copy()->GetTagName(), "") << c.text;
    }
    EXPECT_EQ(MakeColorSpace(nullptr, "CS1"), nullptr);
}

TEST(PDColorSpace, ResourceLookUpGivesContentSpaces) {
    RegisterContentFactories();
    testing::PdfBuilder b;
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Set(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Set(3,
          "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Resources << /ColorSpace << "
          "/CS0 [/Pattern] /CS1 /DeviceCMYK /CS2 4 0 R /CS3 [5 0 R] /CS4 /Lab >> >> >>");
    b.Set(4, "[/DeviceRGB]");
    b.Set(5, "/G");
    document::TqzPDDocument doc;
    doc.LoadDocument(document::MemoryFile(b.Write()));
    document::TqzPDResource& res = *doc.GetPage(1)->GetResource();
    struct Case {
        const char* name;
        std::optional<TqzColorSpaceMode> mode;
    };
    const std::vector<Case> cases = {
        {"CS0", TqzColorSpaceMode::csPattern},
        {"CS1", TqzColorSpaceMode::csDeviceCMYK},
        {"CS2", TqzColorSpaceMode::csDeviceRGB},   // through a reference
        {"CS3", TqzColorSpaceMode::csDeviceGray},  // family name behind a reference
        {"CS4", std::nullopt},
        {"CS9", std::nullopt},
    };
    for (const Case& c : cases) {
        auto* space = dynamic_cast<TqzPDColorSpace*>(res.LookUpColorSpace(c.name));
        if (!c.mode) {
            EXPECT_EQ(space, nullptr) << c.name;
            continue;
        }
        ASSERT_NE(space, nullptr) << c.name;
        EXPECT_EQ(space->GetMode(), *c.mode) << c.name;
        EXPECT_EQ(space->GetTagName(), c.name);
    }
}

}  // namespace
}  // namespace qz::content
