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

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/BenchSupport.h"
#include "document/PDDocument.h"
#include "platform/Streams.h"

namespace {

using namespace qz;
using bench::RunCost;
namespace fs = std::filesystem;

constexpr int kBigPages = 2000;
constexpr int kSmallPages = 10;

// `pages` pages under intermediate nodes of 100, each drawing one shared
// font and, when `image`, one shared 128x128 grey image.
std::string HandMade(int pages, bool image) {
    bench::HandMadePdf w;
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

struct Inputs {
    fs::path big;
    fs::path small;
    fs::path out;
};

const Inputs& Files() {
    static const Inputs inputs = [] {
        const fs::path cache = bench::CacheFolder();
        Inputs in{cache / "merge-2000.pdf", cache / "merge-10.pdf", cache / "merge-out.pdf"};
        if (!fs::exists(in.big)) {
            const auto ps = cache / "merge-2000.ps";
            platform::WriteFileBytes(ps, bench::TextPostScript(kBigPages));
            if (!bench::MakeWithGhostscript(ps, in.big)) platform::WriteFileBytes(in.big, HandMade(kBigPages, false));
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
RunCost MeasuredMerge(bool bigFirst) {
    const Inputs& in = Files();
    return bench::RunInChild([&] { MergeOnce(bigFirst ? in.big : in.small, bigFirst ? in.small : in.big, in.out); });
}

// The fastest of three qpdf runs, with its peak memory.
RunCost QpdfMerge(bool bigFirst) {
    const Inputs& in = Files();
    RunCost best;
    for (int i = 0; i < 3; ++i) {
        const RunCost c = bench::RunProgram({"qpdf", "--empty", "--pages", (bigFirst ? in.big : in.small).string(),
                                             (bigFirst ? in.small : in.big).string(), "--", (in.out.string() + ".qpdf")},
                                            {3});
        if (!c.ok) return {};
        if (!best.ok || c.seconds < best.seconds) best = c;
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::RegisterBenchmark("Merge/2000+10", Merge, true)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Merge/10+2000", Merge, false)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    bench::RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const Inputs& in = Files();
    const double inputs = static_cast<double>(fs::file_size(in.big) + fs::file_size(in.small));
    std::printf("\n%-14s %10s %10s %12s %12s %10s %10s\n", "merge", "ours ms", "ours MiB", "qpdf ms", "qpdf MiB",
                "time ratio", "out/in");
    for (const bool bigFirst : {true, false}) {
        const std::string name = bigFirst ? "Merge/2000+10" : "Merge/10+2000";
        const RunCost peak = MeasuredMerge(bigFirst);
        const double ours = reporter.Seconds(name) > 0 ? reporter.Seconds(name) : peak.seconds;
        const double outSize = fs::exists(in.out) ? static_cast<double>(fs::file_size(in.out)) : 0;
        const RunCost qpdf = QpdfMerge(bigFirst);
        std::printf("%-14s %10.1f %10.1f %12.1f %12.1f %9.2fx %10.2f\n", name.c_str() + 6, ours * 1e3, peak.PeakMiB(),
                    qpdf.seconds * 1e3, qpdf.PeakMiB(), qpdf.seconds > 0 ? qpdf.seconds / ours : 0.0,
                    outSize / inputs);
    }
    std::printf("(time ratio: qpdf's time over ours, above 1 means faster than qpdf; out/in: our output's size "
                "over the inputs' together)\n");
    benchmark::Shutdown();
    return 0;
}
