// One merge as users wait for it: a 2,000-page file and a 10-page file are
// loaded into the document model, the pages of one are appended to the
// other, and the result is saved in full; both orders. Side by side with
// "qpdf --empty --pages A B -- OUT". Besides the time, the peak memory of
// each merge (measured in a child process of its own) and the output's size
// against the inputs' are printed at the end.
//
// The inputs are made once into the build's bench cache: Ghostscript's
// pdfwrite output of a 2,000-page text document (a hand-made file of the same
// shape without Ghostscript), and a hand-made 10-page file whose pages share
// one font and one image.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "document/PDDocument.h"
#include "platform/Streams.h"

extern char** environ;

namespace {

using namespace qz;
namespace fs = std::filesystem;

constexpr int kBigPages = 2000;
constexpr int kSmallPages = 10;

#ifndef QZ_BENCH_CACHE
#define QZ_BENCH_CACHE "bench-cache"
#endif

// What one run of a merge cost.
struct Cost {
    double seconds = -1;
    long peakKiB = -1;
};

// Runs a program without a shell, its output discarded, and measures it.
Cost Run(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return {};
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), usage.ru_maxrss};
}

// A PDF file of numbered objects with a correct cross-reference table.
class HandWriter {
public:
    void Put(int number, const std::string& body) {
        if (offsets_.size() <= static_cast<size_t>(number)) offsets_.resize(static_cast<size_t>(number) + 1, 0);
        offsets_[static_cast<size_t>(number)] = pdf_.size();
        pdf_ += std::to_string(number) + " 0 obj\n" + body + "\nendobj\n";
    }
    void PutStream(int number, const std::string& dict, const std::string& data) {
        Put(number, "<< " + dict + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream");
    }
    std::string Finish(int root) {
        const size_t xref = pdf_.size();
        pdf_ += "xref\n0 " + std::to_string(offsets_.size()) + "\n0000000000 65535 f \n";
        for (size_t i = 1; i < offsets_.size(); ++i) {
            char line[32];
            std::snprintf(line, sizeof line, "%010zu 00000 n \n", offsets_[i]);
            pdf_ += line;
        }
        pdf_ += "trailer\n<< /Size " + std::to_string(offsets_.size()) + " /Root " + std::to_string(root) +
                " 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
        return pdf_;
    }

private:
    std::string pdf_ = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    std::vector<size_t> offsets_{0};
};

// `pages` pages under intermediate nodes of 100, each drawing one shared
// font and, when `image`, one shared 128x128 grey image.
std::string HandMade(int pages, bool image) {
    HandWriter w;
    w.Put(1, "<< /Type /Catalog /Pages 2 0 R >>");
    w.Put(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    std::string samples(128 * 128, '\0');
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<char>((i * 7 + i / 128) & 0xFF);
    w.PutStream(4, "/Type /XObject /Subtype /Image /Width 128 /Height 128 /ColorSpace /DeviceGray /BitsPerComponent 8",
                samples);
    const int nodes = (pages + 99) / 100;
    int next = 5 + nodes;
    std::string rootKids;
    for (int n = 0; n < nodes; ++n) {
        std::string kids;
        const int inNode = std::min(100, pages - n * 100);
        for (int p = 0; p < inNode; ++p) {
            const int page = next++;
            const int content = next++;
            std::string text = "BT /F1 11 Tf 60 760 Td (Page " + std::to_string(n * 100 + p + 1) + ") Tj ET";
            if (image) text += " q 200 0 0 200 100 300 cm /Im1 Do Q";
            w.Put(page, "<< /Type /Page /Parent " + std::to_string(5 + n) + " 0 R /Contents " + std::to_string(content) +
                            " 0 R >>");
            w.PutStream(content, "", text);
            kids += std::to_string(page) + " 0 R ";
        }
        w.Put(5 + n, "<< /Type /Pages /Parent 2 0 R /Count " + std::to_string(inNode) + " /Kids [" + kids +
                         "] /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R >> /XObject << /Im1 4 0 R >> >> >>");
        rootKids += std::to_string(5 + n) + " 0 R ";
    }
    w.Put(2, "<< /Type /Pages /Count " + std::to_string(pages) + " /Kids [" + rootKids + "] >>");
    return w.Finish(1);
}

std::string BigPostScript() {
    std::string ps = "%!PS\n/Helvetica findfont 11 scalefont setfont\n";
    ps += "1 1 " + std::to_string(kBigPages) + " { /n exch def\n";
    ps += "  0 1 40 { /l exch def 60 760 l 17 mul sub moveto (Page ) show n 8 string cvs show\n";
    ps += "    (, line ) show l 4 string cvs show (: lorem ipsum dolor sit amet, consectetur) show } for\n";
    ps += "  showpage } for\n";
    return ps;
}

struct Inputs {
    fs::path big;
    fs::path small;
    fs::path out;
};

const Inputs& Files() {
    static const Inputs inputs = [] {
        const fs::path cache = QZ_BENCH_CACHE;
        fs::create_directories(cache);
        Inputs in{cache / "merge-2000.pdf", cache / "merge-10.pdf", cache / "merge-out.pdf"};
        if (!fs::exists(in.big)) {
            const auto ps = cache / "merge-2000.ps";
            platform::WriteFileBytes(ps, BigPostScript());
            const Cost made = Run({"gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=pdfwrite", "-o",
                                   in.big.string(), ps.string()});
            if (made.seconds < 0) platform::WriteFileBytes(in.big, HandMade(kBigPages, false));
        }
        if (!fs::exists(in.small)) platform::WriteFileBytes(in.small, HandMade(kSmallPages, true));
        return in;
    }();
    return inputs;
}

// The merge as the application runs it: load the first, append the second,
// save in full.
void MergeOnce(const fs::path& first, const fs::path& second, const fs::path& out) {
    document::TqzPDDocument target;
    target.LoadDocument(first);
    document::TqzPDDocument source;
    source.LoadDocument(second);
    target.MergeDocs(source, document::TqzPageInsertFlages::InsertAll);
    document::TqzPDSaveFlags flags;
    flags.Full = true;
    target.SaveDocument(out, flags);
}

void Merge(benchmark::State& state, bool bigFirst) {
    const Inputs& in = Files();
    const fs::path& first = bigFirst ? in.big : in.small;
    const fs::path& second = bigFirst ? in.small : in.big;
    for (auto _ : state) MergeOnce(first, second, in.out);
    state.counters["pages"] = kBigPages + kSmallPages;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(fs::file_size(first) + fs::file_size(second)));
}

// The peak memory of one merge, run in a child so that nothing else the
// benchmark did counts.
Cost MeasuredMerge(bool bigFirst) {
    const Inputs& in = Files();
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        try {
            MergeOnce(bigFirst ? in.big : in.small, bigFirst ? in.small : in.big, in.out);
        } catch (...) {
            _exit(1);
        }
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), usage.ru_maxrss};
}

// The fastest of three qpdf runs, with its peak memory.
Cost QpdfMerge(bool bigFirst) {
    const Inputs& in = Files();
    Cost best;
    for (int i = 0; i < 3; ++i) {
        const Cost c = Run({"qpdf", "--empty", "--pages", (bigFirst ? in.big : in.small).string(),
                            (bigFirst ? in.small : in.big).string(), "--", (in.out.string() + ".qpdf")});
        if (c.seconds < 0) return {};
        if (best.seconds < 0 || c.seconds < best.seconds) best = c;
    }
    return best;
}

class Collector : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            if (run.iterations > 0) {
                seconds[run.benchmark_name()] = run.real_accumulated_time / static_cast<double>(run.iterations);
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::RegisterBenchmark("Merge/2000+10", Merge, true)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Merge/10+2000", Merge, false)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    Collector reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const Inputs& in = Files();
    const double inputs = static_cast<double>(fs::file_size(in.big) + fs::file_size(in.small));
    std::printf("\n%-14s %10s %10s %12s %12s %10s %10s\n", "merge", "ours ms", "ours MiB", "qpdf ms", "qpdf MiB",
                "time ratio", "out/in");
    for (const bool bigFirst : {true, false}) {
        const std::string name = bigFirst ? "Merge/2000+10" : "Merge/10+2000";
        const Cost peak = MeasuredMerge(bigFirst);
        const auto it = reporter.seconds.find(name);
        const double ours = it != reporter.seconds.end() ? it->second : peak.seconds;
        const double outSize = fs::exists(in.out) ? static_cast<double>(fs::file_size(in.out)) : 0;
        const Cost qpdf = QpdfMerge(bigFirst);
        std::printf("%-14s %10.1f %10.1f %12.1f %12.1f %9.2fx %10.2f\n", name.c_str() + 6, ours * 1e3,
                    static_cast<double>(peak.peakKiB) / 1024.0, qpdf.seconds * 1e3,
                    static_cast<double>(qpdf.peakKiB) / 1024.0, qpdf.seconds > 0 ? qpdf.seconds / ours : 0.0,
                    outSize / inputs);
    }
    std::printf("(time ratio: qpdf's time over ours, above 1 means faster than qpdf; out/in: our output's size "
                "over the inputs' together)\n");
    benchmark::Shutdown();
    return 0;
}
