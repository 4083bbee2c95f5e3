// Full-save throughput of a large document (MB of input per second: load,
// every object written, file on disk), side by side with qpdf rewriting the
// same file ("qpdf in.pdf out.pdf"); the ratio is printed at the end.
//
// The document is made here: pages with Flate-compressed text contents, an
// image each (copied in its stored encoding), a run of small annotation
// dictionaries per page and one shared font, in a classic table file.

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/PDWriter.h"
#include "core/tests/LoadedDocument.h"
#include "filters/Registration.h"
#include "platform/Streams.h"

extern char** environ;

namespace {

using namespace qz;

constexpr int kPages = 1000;
constexpr int kAnnotsPerPage = 20;
constexpr int kImageSide = 128;

std::string Deflate(const std::string& data) {
    uLongf size = compressBound(data.size());
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()), data.size(), 6);
    out.resize(size);
    return out;
}

// Writes the sample document and returns its path.
const std::filesystem::path& Input() {
    static const std::filesystem::path path = [] {
        const auto dir = std::filesystem::temp_directory_path() / ("qz-writer-bench-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        std::mt19937 rng(7);
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
        // 1 catalog, 2 page tree, 3 font; pages follow.
        add("<< /Type /Catalog /Pages 2 0 R >>");
        add("");  // the page tree, filled in at the end
        add("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
        std::string kids;
        for (int p = 0; p < kPages; ++p) {
            std::string text = "BT /F1 10 Tf 50 750 Td 12 TL\n";
            for (int line = 0; line < 60; ++line) {
                text += "(Line " + std::to_string(line) + " of page " + std::to_string(p + 1) + ": " +
                        std::to_string(rng()) + " lorem ipsum dolor sit amet) '\n";
            }
            text += "ET q 100 0 0 80 400 60 cm /Im0 Do Q\n";
            const int contents = add(stream("/Filter /FlateDecode", Deflate(text)));
            // Noise: its Flate data is as large as the samples.
            std::string image(size_t{kImageSide} * kImageSide * 3, '\0');
            for (char& c : image) c = static_cast<char>(rng());
            const int picture = add(stream("/Type /XObject /Subtype /Image /Width " + std::to_string(kImageSide) +
                                               " /Height " + std::to_string(kImageSide) +
                                               " /ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /FlateDecode",
                                           Deflate(image)));
            std::string annots;
            for (int a = 0; a < kAnnotsPerPage; ++a) {
                const int annot = add("<< /Type /Annot /Subtype /Square /Rect [" + std::to_string(10 * a) + " 10 " +
                                      std::to_string(10 * a + 8) + " 18] /C [1 0 0] /Border [0 0 1] /NM (a" +
                                      std::to_string(p) + "-" + std::to_string(a) + ") >>");
                annots += std::to_string(annot) + " 0 R ";
            }
            const int page = add("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents " +
                                 std::to_string(contents) + " 0 R /Resources << /Font << /F1 3 0 R >> /XObject << /Im0 " +
                                 std::to_string(picture) + " 0 R >> >> /Annots [" + annots + "] >>");
            kids += std::to_string(page) + " 0 R ";
        }
        // The page tree goes last under its reserved number.
        offsets[2] = pdf.size();
        pdf += "2 0 obj\n<< /Type /Pages /Count " + std::to_string(kPages) + " /Kids [" + kids + "] >>\nendobj\n";
        const size_t xref = pdf.size();
        pdf += "xref\n0 " + std::to_string(offsets.size()) + "\n0000000000 65535 f \n";
        char line[32];
        for (size_t n = 1; n < offsets.size(); ++n) {
            std::snprintf(line, sizeof line, "%010zu 00000 n \n", offsets[n]);
            pdf += line;
        }
        pdf += "trailer\n<< /Size " + std::to_string(offsets.size()) + " /Root 1 0 R >>\nstartxref\n" +
               std::to_string(xref) + "\n%%EOF\n";
        const auto file = dir / "in.pdf";
        platform::WriteFileBytes(file, pdf);
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
        std::vector<char*> argv = {const_cast<char*>("qpdf"), const_cast<char*>(in.c_str()),
                                   const_cast<char*>(out.c_str()), nullptr};
        pid_t pid = 0;
        if (posix_spawnp(&pid, "qpdf", nullptr, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("qpdf cannot be started");
            return;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || (WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != 3)) {
            state.SkipWithError("qpdf failed");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * InputSize());
}

// Wall-clock time: qpdf's work happens in a child process.
BENCHMARK(FullSave)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(QpdfRewrite)->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps each run's throughput so the ratio can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& r : runs) {
            auto it = r.counters.find("bytes_per_second");
            if (it != r.counters.end()) rates[r.benchmark_name()] = it->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> rates;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::printf("document: %d pages, %lld bytes\n", kPages, static_cast<long long>(InputSize()));
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double ours = 0;
    double qpdf = 0;
    for (const auto& [name, rate] : reporter.rates) {
        // With repetitions, the median speaks for each benchmark.
        if (name.find("_mean") != std::string::npos || name.find("_stddev") != std::string::npos ||
            name.find("_cv") != std::string::npos) {
            continue;
        }
        std::printf("%-28s %9.1f MB/s\n", name.c_str(), rate / 1e6);
        if (name.rfind("FullSave", 0) == 0) ours = rate;
        if (name.rfind("QpdfRewrite", 0) == 0) qpdf = rate;
    }
    if (ours > 0 && qpdf > 0) std::printf("full save / qpdf: %.2f\n", ours / qpdf);
    std::error_code ignored;
    std::filesystem::remove_all(Input().parent_path(), ignored);
    benchmark::Shutdown();
    return 0;
}
