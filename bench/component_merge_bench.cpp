// Merge time and peak memory through the document component, side by side
// with qpdf ("qpdf --empty --pages IN... -- OUT") on the same inputs: 100
// files of 10 pages and 1,000 one-page files. Both run as child processes
// (our side is bench/merge_files, which merges exactly as the window does),
// so each is timed on the wall clock from start to exit and its peak memory
// is the child's own. A table of ratios follows the benchmark output.
//
// The inputs are made here: every file has its own font dictionary, an
// embedded font-like stream and Flate-compressed text pages.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "platform/Streams.h"

namespace {

namespace fs = std::filesystem;
using namespace qz;

// One PDF of `pages` text pages; `seed` varies the text and the font bytes.
std::string MakeDocument(int pages, unsigned seed) {
    std::mt19937 rng(seed);
    bench::HandMadePdf pdf;
    // A stand-in for an embedded font subset: 12 KiB of poorly compressible bytes.
    std::string program(12 * 1024, '\0');
    for (char& c : program) c = static_cast<char>(rng() & 0xFF);
    const int fontFile = pdf.AddStream("/Length1 " + std::to_string(program.size()), program);
    const int descriptor =
        pdf.Add("<< /Type /FontDescriptor /FontName /Bench /Flags 32 /FontBBox [0 -200 1000 900] /ItalicAngle 0 "
                "/Ascent 900 /Descent -200 /CapHeight 700 /StemV 80 /FontFile2 " +
                std::to_string(fontFile) + " 0 R >>");
    const int font = pdf.Add("<< /Type /Font /Subtype /TrueType /BaseFont /Bench /FirstChar 32 /LastChar 126 "
                             "/FontDescriptor " +
                             std::to_string(descriptor) + " 0 R >>");
    const int pagesObj = pdf.NextNumber() + 2 * pages;
    std::string kids;
    for (int p = 0; p < pages; ++p) {
        std::string text = "BT /F1 10 Tf 50 780 Td 12 TL\n";
        for (int line = 0; line < 60; ++line) {
            text += "(";
            for (int w = 0; w < 12; ++w) text += "word" + std::to_string(rng() % 1000) + " ";
            text += ") '\n";
        }
        text += "ET\n";
        const int contents = pdf.AddStream("/Filter /FlateDecode", bench::Deflate(text));
        const int page = pdf.Add("<< /Type /Page /Parent " + std::to_string(pagesObj) +
                                 " 0 R /MediaBox [0 0 595 842] /Resources << /Font << /F1 " + std::to_string(font) +
                                 " 0 R >> >> /Contents " + std::to_string(contents) + " 0 R >>");
        kids += std::to_string(page) + " 0 R ";
    }
    pdf.Add("<< /Type /Pages /Count " + std::to_string(pages) + " /Kids [" + kids + "] >>");
    const int catalog = pdf.Add("<< /Type /Catalog /Pages " + std::to_string(pagesObj) + " 0 R >>");
    return pdf.Finish(catalog);
}

fs::path WorkFolder() { return bench::ScratchFolder("merge-bench"); }

struct Case {
    const char* name;
    int files;
    int pages;
};
constexpr Case kCases[] = {{"100x10", 100, 10}, {"1000x1", 1000, 1}};

const std::vector<std::string>& Inputs(const Case& c) {
    static std::map<std::string, std::vector<std::string>> made;
    auto& list = made[c.name];
    if (list.empty()) {
        const fs::path dir = WorkFolder() / c.name;
        fs::create_directories(dir);
        for (int i = 0; i < c.files; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "in%04d.pdf", i);
            platform::WriteFileBytes(dir / name, MakeDocument(c.pages, static_cast<unsigned>(i + 1)));
            list.push_back((dir / name).string());
        }
    }
    return list;
}

struct Figures {
    double peakMiB = 0;
    double outMiB = 0;
};
std::map<std::string, Figures> gFigures;

void Measure(benchmark::State& state, const std::string& tool, const Case& c) {
    const auto& inputs = Inputs(c);
    const std::string out = (WorkFolder() / (tool + "-" + c.name + ".pdf")).string();
    std::vector<std::string> args;
    if (tool == "ours") {
        args = {bench::SiblingProgram("merge_files").string(), out};
        args.insert(args.end(), inputs.begin(), inputs.end());
    } else {
        args = {"qpdf", "--empty", "--pages"};
        args.insert(args.end(), inputs.begin(), inputs.end());
        args.insert(args.end(), {"--", out});
    }
    Figures& figures = gFigures[tool + "/" + c.name];
    for (auto _ : state) {
        // qpdf exits 3 for warnings only.
        const bench::RunCost run = bench::RunProgram(args, tool == "qpdf" ? std::vector<int>{3} : std::vector<int>{});
        if (!run.ok) {
            state.SkipWithError((args[0] + " failed or cannot be started").c_str());
            return;
        }
        state.SetIterationTime(run.seconds);
        figures.peakMiB = std::max(figures.peakMiB, run.PeakMiB());
    }
    figures.outMiB = static_cast<double>(fs::file_size(out)) / (1024.0 * 1024.0);
    state.counters["peak_MiB"] = figures.peakMiB;
    state.counters["out_MiB"] = figures.outMiB;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    for (const Case& c : kCases) {
        for (const std::string tool : {"ours", "qpdf"}) {
            benchmark::RegisterBenchmark((tool + "/" + c.name).c_str(),
                                         [tool, c](benchmark::State& s) { Measure(s, tool, c); })
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond)
                ->Iterations(5);
        }
    }
    bench::RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-8s %12s %10s %9s | %12s %10s %9s | %10s\n", "case", "ours ms", "peak MiB", "out MiB",
                "qpdf ms", "peak MiB", "out MiB", "ours/qpdf");
    for (const Case& c : kCases) {
        const std::string ours = std::string("ours/") + c.name;
        const std::string qpdf = std::string("qpdf/") + c.name;
        const double t1 = reporter.Seconds(ours);
        const double t2 = reporter.Seconds(qpdf);
        std::printf("%-8s %12.1f %10.1f %9.2f | %12.1f %10.1f %9.2f | %10.2f\n", c.name, t1 * 1e3,
                    gFigures[ours].peakMiB, gFigures[ours].outMiB, t2 * 1e3, gFigures[qpdf].peakMiB,
                    gFigures[qpdf].outMiB, t2 > 0 ? t1 / t2 : 0.0);
    }
    benchmark::Shutdown();
    return 0;
}
