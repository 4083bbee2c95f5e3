// Full-save throughput of a large document (MB of input per second: load,
// every object written, file on disk), side by side with qpdf rewriting the
// same file ("qpdf in.pdf out.pdf"); the ratio is printed at the end.
//
// The document is made here: pages with Flate-compressed text contents, an
// image each (copied in its stored encoding), a run of small annotation
// dictionaries per page and one shared font, in a classic table file.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "bench/BenchSupport.h"
#include "core/PDWriter.h"
#include "core/tests/LoadedDocument.h"
#include "filters/Registration.h"
#include "platform/Streams.h"

namespace {

using namespace qz;
using bench::Deflate;

constexpr int kPages = 1000;
constexpr int kAnnotsPerPage = 20;
constexpr int kImageSide = 128;

// Writes the sample document and returns its path.
const std::filesystem::path& Input() {
    static const std::filesystem::path path = [] {
        const auto dir = bench::ScratchFolder("writer-bench");
        std::mt19937 rng(7);
        bench::HandMadePdf pdf;
        // 1 catalog, 2 page tree, 3 font; pages follow.
        pdf.Add("<< /Type /Catalog /Pages 2 0 R >>");
        pdf.Add("");  // the page tree, put again at the end
        pdf.Add("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
        std::string kids;
        for (int p = 0; p < kPages; ++p) {
            std::string text = "BT /F1 10 Tf 50 750 Td 12 TL\n";
            for (int line = 0; line < 60; ++line) {
                text += "(Line " + std::to_string(line) + " of page " + std::to_string(p + 1) + ": " +
                        std::to_string(rng()) + " lorem ipsum dolor sit amet) '\n";
            }
            text += "ET q 100 0 0 80 400 60 cm /Im0 Do Q\n";
            const int contents = pdf.AddStream("/Filter /FlateDecode", Deflate(text));
            // Noise: its Flate data is as large as the samples.
            std::string image(size_t{kImageSide} * kImageSide * 3, '\0');
            for (char& c : image) c = static_cast<char>(rng());
            const int picture = pdf.AddStream("/Type /XObject /Subtype /Image /Width " + std::to_string(kImageSide) +
                                                  " /Height " + std::to_string(kImageSide) +
                                                  " /ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /FlateDecode",
                                              Deflate(image));
            std::string annots;
            for (int a = 0; a < kAnnotsPerPage; ++a) {
                const int annot = pdf.Add("<< /Type /Annot /Subtype /Square /Rect [" + std::to_string(10 * a) +
                                          " 10 " + std::to_string(10 * a + 8) + " 18] /C [1 0 0] /Border [0 0 1] /NM (a" +
                                          std::to_string(p) + "-" + std::to_string(a) + ") >>");
                annots += std::to_string(annot) + " 0 R ";
            }
            const int page = pdf.Add("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents " +
                                     std::to_string(contents) + " 0 R /Resources << /Font << /F1 3 0 R >> /XObject << /Im0 " +
                                     std::to_string(picture) + " 0 R >> >> /Annots [" + annots + "] >>");
            kids += std::to_string(page) + " 0 R ";
        }
        // The page tree goes last under its reserved number.
        pdf.Put(2, "<< /Type /Pages /Count " + std::to_string(kPages) + " /Kids [" + kids + "] >>");
        const auto file = dir / "in.pdf";
        platform::WriteFileBytes(file, pdf.Finish(1));
        return file;
    }();
    return path;
}

int64_t InputSize() { return static_cast<int64_t>(std::filesystem::file_size(Input())); }

std::filesystem::path Output(const char* name) { return Input().parent_path() / name; }

void FullSave(benchmark::State& state) {
    filters::RegisterFilters();
    for (auto _ : state) {
        auto file = std::make_shared<platform::FileStream>(Input(), platform::FileMode::OpenRead);
        core::testing::LoadedDocument doc(file);
        core::TqzPDWriter writer(doc);
        writer.SaveDocument(Output("ours.pdf"));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * InputSize());
}

void QpdfRewrite(benchmark::State& state) {
    const std::string in = Input().string();
    const std::string out = Output("qpdf.pdf").string();
    for (auto _ : state) {
        const bench::RunCost run = bench::RunProgram({"qpdf", in, out}, {3});
        if (!run.ok) {
            state.SkipWithError(run.exitCode < 0 ? "qpdf cannot be started" : "qpdf failed");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * InputSize());
}

// Wall-clock time: qpdf's work happens in a child process.
BENCHMARK(FullSave)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(QpdfRewrite)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::printf("document: %d pages, %lld bytes\n", kPages, static_cast<long long>(InputSize()));
    bench::RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double ours = 0;
    double qpdf = 0;
    // With repetitions, the median speaks for each benchmark (the reporter
    // leaves the other aggregates out).
    for (const auto& [name, rate] : reporter.bytesPerSecond) {
        std::printf("%-28s %9.1f MB/s\n", name.c_str(), rate / 1e6);
        if (name.rfind("FullSave", 0) == 0) ours = rate;
        if (name.rfind("QpdfRewrite", 0) == 0) qpdf = rate;
    }
    if (ours > 0 && qpdf > 0) std::printf("full save / qpdf: %.2f\n", ours / qpdf);
    benchmark::Shutdown();
    return 0;
}
