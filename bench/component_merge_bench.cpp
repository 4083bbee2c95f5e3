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
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/Streams.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace qz;

std::string Deflate(const std::string& data) {
    uLongf size = compressBound(data.size());
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()), data.size(),
              6);
    out.resize(size);
    return out;
}

// One PDF of `pages` text pages; `seed` varies the text and the font bytes.
std::string MakeDocument(int pages, unsigned seed) {
    std::mt19937 rng(seed);
    std::string pdf = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    std::vector<size_t> offsets(1, 0);
    auto add = [&](const std::string& body) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(offsets.size() - 1) + " 0 obj\n" + body + "\nendobj\n";
        return static_cast<int>(offsets.size() - 1);
    };
    auto stream = [](const std::string& dict, const std::string& data) {
        return "<< " + dict + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
    };
    // A stand-in for an embedded font subset: 12 KiB of poorly compressible bytes.
    std::string program(12 * 1024, '\0');
    for (char& c : program) c = static_cast<char>(rng() & 0xFF);
    const int fontFile = add(stream("/Length1 " + std::to_string(program.size()), program));
    const int descriptor =
        add("<< /Type /FontDescriptor /FontName /Bench /Flags 32 /FontBBox [0 -200 1000 900] /ItalicAngle 0 "
            "/Ascent 900 /Descent -200 /CapHeight 700 /StemV 80 /FontFile2 " +
            std::to_string(fontFile) + " 0 R >>");
    const int font = add("<< /Type /Font /Subtype /TrueType /BaseFont /Bench /FirstChar 32 /LastChar 126 "
                         "/FontDescriptor " +
                         std::to_string(descriptor) + " 0 R >>");
    const int pagesObj = static_cast<int>(offsets.size()) + 2 * pages;
    std::string kids;
    for (int p = 0; p < pages; ++p) {
        std::string text = "BT /F1 10 Tf 50 780 Td 12 TL\n";
        for (int line = 0; line < 60; ++line) {
            text += "(";
            for (int w = 0; w < 12; ++w) text += "word" + std::to_string(rng() % 1000) + " ";
            text += ") '\n";
        }
        text += "ET\n";
        const int contents = add(stream("/Filter /FlateDecode", Deflate(text)));
        const int page = add("<< /Type /Page /Parent " + std::to_string(pagesObj) +
                             " 0 R /MediaBox [0 0 595 842] /Resources << /Font << /F1 " + std::to_string(font) +
                             " 0 R >> >> /Contents " + std::to_string(contents) + " 0 R >>");
        kids += std::to_string(page) + " 0 R ";
    }
    add("<< /Type /Pages /Count " + std::to_string(pages) + " /Kids [" + kids + "] >>");
    const int catalog = add("<< /Type /Catalog /Pages " + std::to_string(pagesObj) + " 0 R >>");
    const size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(offsets.size()) + "\n0000000000 65535 f \n";
    for (size_t n = 1; n < offsets.size(); ++n) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offsets[n]);
        pdf += line;
    }
    pdf += "trailer\n<< /Size " + std::to_string(offsets.size()) + " /Root " + std::to_string(catalog) +
           " 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

fs::path WorkFolder() {
    static const fs::path dir = [] {
        auto d = fs::temp_directory_path() / ("qz-merge-bench-" + std::to_string(::getpid()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

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

fs::path MergeFilesProgram() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return self.parent_path() / "merge_files";
}

struct ChildRun {
    bool ok = false;
    double seconds = 0;
    double peakMiB = 0;
};

ChildRun Run(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ChildRun run;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return run;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    // qpdf exits 3 for warnings only.
    run.ok = WIFEXITED(status) && (WEXITSTATUS(status) == 0 || (args[0] == "qpdf" && WEXITSTATUS(status) == 3));
    return run;
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
        args = {MergeFilesProgram().string(), out};
        args.insert(args.end(), inputs.begin(), inputs.end());
    } else {
        args = {"qpdf", "--empty", "--pages"};
        args.insert(args.end(), inputs.begin(), inputs.end());
        args.insert(args.end(), {"--", out});
    }
    Figures& figures = gFigures[tool + "/" + c.name];
    for (auto _ : state) {
        const ChildRun run = Run(args);
        if (!run.ok) {
            state.SkipWithError((args[0] + " failed or cannot be started").c_str());
            return;
        }
        state.SetIterationTime(run.seconds);
        figures.peakMiB = std::max(figures.peakMiB, run.peakMiB);
    }
    figures.outMiB = static_cast<double>(fs::file_size(out)) / (1024.0 * 1024.0);
    state.counters["peak_MiB"] = figures.peakMiB;
    state.counters["out_MiB"] = figures.outMiB;
}

// Keeps each run's median time so the ratios can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& r : runs) {
            const std::string name = r.benchmark_name();
            if (r.error_occurred || name.find("_mean") != std::string::npos ||
                name.find("_stddev") != std::string::npos || name.find("_cv") != std::string::npos)
                continue;
            seconds[name.substr(0, name.find("/iterations"))] = r.GetAdjustedRealTime() / 1e3;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};

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
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-8s %12s %10s %9s | %12s %10s %9s | %10s\n", "case", "ours ms", "peak MiB", "out MiB",
                "qpdf ms", "peak MiB", "out MiB", "ours/qpdf");
    for (const Case& c : kCases) {
        const std::string ours = std::string("ours/") + c.name;
        const std::string qpdf = std::string("qpdf/") + c.name;
        const double t1 = reporter.seconds.count(ours) ? reporter.seconds[ours] : 0;
        const double t2 = reporter.seconds.count(qpdf) ? reporter.seconds[qpdf] : 0;
        std::printf("%-8s %12.1f %10.1f %9.2f | %12.1f %10.1f %9.2f | %10.2f\n", c.name, t1 * 1e3,
                    gFigures[ours].peakMiB, gFigures[ours].outMiB, t2 * 1e3, gFigures[qpdf].peakMiB,
                    gFigures[qpdf].outMiB, t2 > 0 ? t1 / t2 : 0.0);
    }
    // QZ_MERGE_BENCH_KEEP=1 keeps the inputs, for profiling merge_files on them.
    if (const char* keep = std::getenv("QZ_MERGE_BENCH_KEEP"); keep != nullptr && *keep == '1') {
        std::printf("inputs kept in %s\n", WorkFolder().c_str());
    } else {
        std::error_code ignored;
        fs::remove_all(WorkFolder(), ignored);
    }
    benchmark::Shutdown();
    return 0;
}
