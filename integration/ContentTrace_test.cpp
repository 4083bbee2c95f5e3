// Our interpreter against mutool's on real files: every page of files made
// at test time by Ghostscript, pdfTeX, LuaTeX, cairo (pdftocairo and
// rsvg-convert) and ImageMagick is interpreted whole, without an error, and
// paints what `mutool trace` reports for the same page, in the same order.
//
// Each page becomes a sequence of marks, one per drawing step both sides
// show (equal sequences mean equal counts of each kind):
//   f / F  a fill by the non-zero / even-odd rule: our Fill / EvenOddFill,
//          mutool's fill_path with winding "nonzero" / "eofill";
//   s      a stroke: our Stroke, mutool's stroke_path (B, b and their
//          even-odd forms give a fill and then a stroke on both sides);
//   c / C  a clip by either rule: our Clip / EvenOddClip, mutool's
//          clip_path; a form is clipped to its bounding box on both sides
//          (mutool always does, our recording device does when it draws a
//          form);
//   i      an image: our DrawImage (image XObjects and inline images),
//          mutool's fill_image or fill_image_mask (an image with a mask
//          shows as clip_image_mask around a fill_image and counts once).
// Forms are interpreted where they are drawn, as mutool flattens them.
// Shadings (sh, fill_shade) are left out; so is text until fonts are read,
// when the glyphs shown join the comparison.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "content/ContentSetup.h"
#include "content/device/PDContentStream.h"
#include "content/device/PDContents.h"
#include "content/state/PDState.h"
#include "content/tests/RecordingDevice.h"
#include "document/PDDocument.h"
#include "document/PDPage.h"
#include "integration/Fixtures.h"
#include "testing/GTestSupport.h"
#include "testing/Tools.h"

namespace qz::integration {
namespace {

// The marks of `mutool trace` output, one string per page in page order.
// The output is XML-like, one element per line; only element names, the
// winding rule and the page elements matter here.
std::vector<std::string> TraceMarks(const std::string& trace) {
    std::vector<std::string> pages;
    for (size_t at = trace.find('<'); at != std::string::npos; at = trace.find('<', at + 1)) {
        size_t end = at + 1;
        while (end < trace.size() && ((trace[end] >= 'a' && trace[end] <= 'z') || trace[end] == '_'))
            ++end;
        const std::string name = trace.substr(at + 1, end - at - 1);
        if (name == "page") {
            pages.emplace_back();
            continue;
        }
        if (pages.empty()) continue;
        const size_t close = trace.find('>', end);
        const bool evenOdd =
            trace.substr(end, close == std::string::npos ? std::string::npos : close - end)
                .find("winding=\"eofill\"") != std::string::npos;
        if (name == "fill_path") pages.back() += evenOdd ? 'F' : 'f';
        if (name == "stroke_path") pages.back() += 's';
        if (name == "clip_path") pages.back() += evenOdd ? 'C' : 'c';
        if (name == "fill_image" || name == "fill_image_mask") pages.back() += 'i';
        // clip_stroke_path (a clip to a stroked outline) has no operator
        // of its own in content, so it takes a mark no step of ours makes.
        if (name == "clip_stroke_path") pages.back() += '?';
    }
    return pages;
}

std::vector<std::string> MutoolMarks(const fs::path& pdf) {
    const testing::RunResult r = testing::RunProgram({"mutool", "trace", pdf.string()});
    if (!r.Succeeded()) throw testing::ToolError("mutool trace failed: " + r.Describe());
    return TraceMarks(r.out);
}

// The marks of a recording device's log, from line `first` on.
std::string LogMarks(const std::vector<std::string>& log, size_t first = 0) {
    static const std::vector<std::pair<std::string, char>> kinds = {
        {"Fill", 'f'}, {"EvenOddFill", 'F'}, {"Stroke", 's'}, {"Clip", 'c'},
        {"EvenOddClip", 'C'}, {"DrawImage", 'i'}};
    std::string marks;
    for (size_t i = first; i < log.size(); ++i) {
        for (const auto& [name, mark] : kinds) {
            if (log[i] == name || log[i].rfind(name + " ", 0) == 0) marks += mark;
        }
    }
    return marks;
}

// Every page of `pdf` interpreted by us, forms drawn where they are used.
// The page's whole content goes through DispalyObject, which passes every
// error on, so a page that cannot be read to its end fails here. The same
// page drawn through its contents' Display, which keeps errors to itself,
// must paint the same once the clip to its crop box is left aside.
std::vector<std::string> OurMarks(const fs::path& pdf) {
    content::RegisterContentFactories();
    document::TqzPDDocument doc;
    doc.LoadDocument(pdf);
    std::vector<std::string> pages;
    for (int32_t n = 1; n <= doc.GetPageCount(); ++n) {
        SCOPED_TRACE("page " + std::to_string(n));
        document::TqzPDPage* page = doc.GetPage(n);
        content::TqzPDContents* contents = content::GetContents(*page);
        if (contents == nullptr) {
            pages.emplace_back();
            continue;
        }
        content::testing::RecordingDevice strict;
        strict.InterpretForms = true;
        strict.FallbackResources = page->GetResource();
        content::TqzPDState state(72, 72, page->GetRotate(), page->GetCropBox());
        const auto whole = contents->GetCSForRendering();
        EXPECT_NO_THROW(whole->DispalyObject(strict, state, page->GetResource()));
        pages.push_back(LogMarks(strict.Log));

        content::testing::RecordingDevice shown;
        shown.InterpretForms = true;
        shown.FallbackResources = page->GetResource();
        contents->Display(shown, 72, 72, n, page->GetRotate(), page->GetMediaBox(), page->GetCropBox(),
                          false);
        const auto content = std::find(shown.Log.begin(), shown.Log.end(), "SaveState");
        EXPECT_EQ(LogMarks(shown.Log, static_cast<size_t>(content - shown.Log.begin())), pages.back());
    }
    return pages;
}

const std::vector<std::string> kProducers = {"content-gs",    "content-pdftex", "content-luatex",
                                              "content-cairo", "content-svg",    "content-magick"};
// Files of the merge suite read the same way: a rotated page, content that
// must be decrypted, and streams reached through object streams. (Pages
// with optional content are not among them: we draw hidden layers, which
// mutool leaves out.)
const std::vector<std::string> kOtherFiles = {"vector", "rotated", "text-aes128", "builder-objstm"};

#define QZ_REQUIRE_CONTENT_TOOLS()                                                                 \
    QZ_REQUIRE_TOOLS("mutool", "gs", "pdflatex", "lualatex", "pdftocairo", "rsvg-convert", "convert")

// The comparison means something only where the files hold every kind.
TEST(ContentTrace, FixturesHoldEveryKindCompared) {
    QZ_REQUIRE_CONTENT_TOOLS();
    std::string all;
    for (const auto& name : kProducers) {
        const Fixture& fixture = GetFixture(name);
        const auto pages = MutoolMarks(fixture.path);
        ASSERT_EQ(static_cast<int32_t>(pages.size()), fixture.pages) << name;
        for (const auto& page : pages) all += page;
    }
    for (const char mark : std::string("fFscCi")) {
        if (mark == 'C') continue;  // no producer here clips by the even-odd rule
        EXPECT_GE(std::count(all.begin(), all.end(), mark), 2) << "mark " << mark << " in " << all;
    }
    EXPECT_GT(all.size(), 100u);
}

TEST(ContentTrace, EveryPagePaintsWhatMutoolSees) {
    QZ_REQUIRE_CONTENT_TOOLS();
    std::vector<std::string> names = kProducers;
    names.insert(names.end(), kOtherFiles.begin(), kOtherFiles.end());
    for (const auto& name : names) {
        SCOPED_TRACE(name);
        const Fixture& fixture = GetFixture(name);
        const auto theirs = MutoolMarks(fixture.path);
        const auto ours = OurMarks(fixture.path);
        ASSERT_EQ(ours.size(), theirs.size());
        for (size_t page = 0; page < ours.size(); ++page)
            EXPECT_EQ(ours[page], theirs[page]) << "page " << page + 1;
    }
}

}  // namespace
}  // namespace qz::integration
