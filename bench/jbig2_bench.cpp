// JBIG2 decoding speed, side by side with jbig2dec on the same data in the
// same run: a 300 dpi US letter page (2550 x 3300) of text coded as a symbol
// dictionary and a text region (globals stream holding the dictionary, as
// scanners' PDF files have it), and the same kind of page as one generic
// region, arithmetic-coded (template 0 with typical prediction) and MMR.
// The streams come from the test encoder once and stay in the bench cache.
//
// jbig2dec's figures include starting the program and writing a PBM to
// /dev/null; ours are in-process. Before timing, our page is checked against
// jbig2dec's, bit for bit.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "core/MemoryStream.h"
#include "filters/JBIG2Stream.h"
#include "platform/Streams.h"
#include "testing/Jbig2Encoder.h"

namespace {

using namespace qz;
namespace fs = std::filesystem;
using testing::Jbig2Bitmap;

constexpr int32_t kPageWidth = 2550;
constexpr int32_t kPageHeight = 3300;
constexpr int32_t kMargin = 150;
constexpr int32_t kLineHeight = 50;
constexpr int32_t kGlyphCount = 90;  // about a font's worth of letters, digits, marks
constexpr int kRuns = 5;

struct Glyphs {
    std::vector<Jbig2Bitmap> bitmaps;  // in dictionary order: by height
};

Glyphs MakeGlyphs() {
    std::mt19937 random(21);
    std::vector<Jbig2Bitmap> glyphs;
    for (int32_t i = 0; i < kGlyphCount; ++i) {
        const int32_t width = 10 + static_cast<int32_t>(random() % 20);
        const int32_t height = 18 + static_cast<int32_t>(random() % 14);
        glyphs.push_back(Jbig2Bitmap::Glyph(width, height, static_cast<uint32_t>(i) + 100));
    }
    std::stable_sort(glyphs.begin(), glyphs.end(),
                     [](const Jbig2Bitmap& a, const Jbig2Bitmap& b) { return a.Height() < b.Height(); });
    return {glyphs};
}

// Lines of words across the page, each glyph standing on the line's base.
std::vector<testing::Jbig2TextInstance> PlaceText(const Glyphs& glyphs) {
    std::mt19937 random(33);
    std::vector<testing::Jbig2TextInstance> instances;
    for (int32_t base = kMargin + 40; base + 10 < kPageHeight - kMargin; base += kLineHeight) {
        for (int32_t x = kMargin;;) {
            const int32_t letters = 2 + static_cast<int32_t>(random() % 8);
            const int32_t start = x;
            for (int32_t i = 0; i < letters; ++i) {
                const int32_t symbol = static_cast<int32_t>(random() % kGlyphCount);
                const Jbig2Bitmap& glyph = glyphs.bitmaps[static_cast<size_t>(symbol)];
                if (x + glyph.Width() > kPageWidth - kMargin) break;
                testing::Jbig2TextInstance instance;
                instance.symbol = symbol;
                instance.x = x;
                instance.y = base - glyph.Height();
                instances.push_back(instance);
                x += glyph.Width() + 3;
            }
            x += 18;
            if (x == start + 18 || x + 60 > kPageWidth - kMargin) break;
        }
    }
    return instances;
}

struct Case {
    const char* name;
    std::string page;
    std::string globals;
};

std::vector<Case> MakeCases() {
    const Glyphs glyphs = MakeGlyphs();
    const std::vector<testing::Jbig2TextInstance> instances = PlaceText(glyphs);
    testing::Jbig2PageInfo info;
    info.width = kPageWidth;
    info.height = kPageHeight;
    info.xResolution = info.yResolution = 11811;  // 300 dpi

    testing::Jbig2Writer text;
    text.SetGlobal(true);
    const uint32_t dictionary = text.SymbolDictionary(glyphs.bitmaps);
    text.SetGlobal(false);
    text.PageInformation(info);
    text.TextRegion({dictionary}, kPageWidth, kPageHeight, instances, {});
    text.EndOfPage();

    // The text page drawn as it decodes, for the generic regions.
    Jbig2Bitmap drawn(kPageWidth, kPageHeight);
    for (const auto& instance : instances) {
        drawn.Combine(glyphs.bitmaps[static_cast<size_t>(instance.symbol)], instance.x, instance.y,
                      testing::Jbig2Combine::Or);
    }
    auto genericPage = [&](const testing::Jbig2GenericOptions& options) {
        testing::Jbig2Writer writer;
        writer.PageInformation(info);
        writer.GenericRegion(drawn, {}, options);
        writer.EndOfPage();
        return writer.Bytes();
    };
    testing::Jbig2GenericOptions arithmetic;
    arithmetic.tpgdon = true;
    testing::Jbig2GenericOptions mmr;
    mmr.mmr = true;
    return {{"text (symbols + text)", text.Bytes(), text.GlobalBytes()},
            {"generic arithmetic", genericPage(arithmetic), {}},
            {"generic MMR", genericPage(mmr), {}}};
}

// The cases from the cache, made on the first run.
std::vector<Case> LoadCases() {
    const fs::path cache = bench::CacheFolder() / "jbig2";
    const fs::path marker = cache / "complete";
    std::vector<Case> cases;
    if (!fs::exists(marker)) {
        fs::create_directories(cache);
        cases = MakeCases();
        for (size_t i = 0; i < cases.size(); ++i) {
            platform::WriteFileBytes(cache / (std::to_string(i) + ".page"), cases[i].page);
            platform::WriteFileBytes(cache / (std::to_string(i) + ".globals"), cases[i].globals);
        }
        platform::WriteFileBytes(marker, "");
        return cases;
    }
    const char* names[] = {"text (symbols + text)", "generic arithmetic", "generic MMR"};
    for (size_t i = 0; i < std::size(names); ++i) {
        cases.push_back({names[i], platform::ReadFileBytes(cache / (std::to_string(i) + ".page")),
                         platform::ReadFileBytes(cache / (std::to_string(i) + ".globals"))});
    }
    return cases;
}

std::string DecodeOurs(const Case& c) {
    filters::TqzJBIG2Stream stream(
        std::make_shared<core::TqzMemoryStream>(c.page),
        c.globals.empty() ? nullptr : std::make_shared<core::TqzMemoryStream>(c.globals));
    stream.Reset();
    std::string out;
    std::vector<uint8_t> block(256 * 1024);
    for (int32_t got; (got = stream.Read(block.data(), static_cast<uint32_t>(block.size()))) > 0;) {
        out.append(reinterpret_cast<const char*>(block.data()), static_cast<size_t>(got));
    }
    return out;
}

// Our decoded bytes are 0 for black (as PDF images read them); jbig2dec's
// PBM rows are 1 for black.
bool SameAsJbig2dec(const Case& c, const std::string& ours) {
    const testing::Jbig2decResult theirs = testing::DecodeWithJbig2dec(c.page, c.globals);
    if (!theirs.ok) {
        std::fprintf(stderr, "jbig2_bench: jbig2dec failed on %s: %s\n", c.name, theirs.messages.c_str());
        return false;
    }
    std::string expected = theirs.page.PackedRows();
    for (char& byte : expected) byte = static_cast<char>(~byte);
    return expected == ours;
}

double OurSeconds(const Case& c) {
    double best = 1e9;
    for (int i = 0; i < kRuns; ++i) {
        bench::Stopwatch watch;
        DecodeOurs(c);
        best = std::min(best, watch.Seconds());
    }
    return best;
}

double TheirSeconds(const fs::path& page, const fs::path& globals) {
    std::vector<std::string> args{"jbig2dec", "-e", "-t", "pbm", "-o", "/dev/null"};
    if (!globals.empty()) args.push_back(globals.string());
    args.push_back(page.string());
    double best = 1e9;
    for (int i = 0; i < kRuns; ++i) {
        const bench::RunCost cost = bench::RunProgram(args);
        if (!cost.ok) return -1;
        best = std::min(best, cost.seconds);
    }
    return best;
}

}  // namespace

int main() {
    const std::vector<Case> cases = LoadCases();
    const fs::path scratch = bench::ScratchFolder("jbig2");
    std::printf("%-24s %10s %10s %12s %8s\n", "page 2550x3300", "KB coded", "ours ms", "jbig2dec ms", "ours/ref");
    bool allSame = true;
    for (const Case& c : cases) {
        if (!SameAsJbig2dec(c, DecodeOurs(c))) {
            std::fprintf(stderr, "jbig2_bench: our page differs from jbig2dec's on %s\n", c.name);
            allSame = false;
            continue;
        }
        const fs::path page = scratch / "page.jb2";
        platform::WriteFileBytes(page, c.page);
        fs::path globals;
        if (!c.globals.empty()) {
            globals = scratch / "globals.jb2";
            platform::WriteFileBytes(globals, c.globals);
        }
        const double ours = OurSeconds(c);
        const double theirs = TheirSeconds(page, globals);
        const double kb = static_cast<double>(c.page.size() + c.globals.size()) / 1024.0;
        if (theirs <= 0) {
            std::printf("%-24s %10.1f %10.1f %12s %8s\n", c.name, kb, ours * 1e3, "failed", "-");
            continue;
        }
        std::printf("%-24s %10.1f %10.1f %12.1f %7.0f%%\n", c.name, kb, ours * 1e3, theirs * 1e3,
                    100.0 * ours / theirs);
    }
    std::printf("(ours/ref: our time as a share of jbig2dec's; under 100%% is faster)\n");
    return allSame ? 0 : 1;
}
