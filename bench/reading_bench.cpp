// Opening a 2,000-page file and fetching every page dictionary (what a merge
// does before it copies anything), side by side with qpdf on the same file:
// "qpdf --check" (its own open and full check) and "qpdf --show-npages" (an
// open and a walk of the page tree, the closest match). The ratios are printed
// at the end.
//
// The files are made once into the build's bench cache: Ghostscript's
// pdfwrite output of a 2,000-page text document (a classic table), and qpdf's
// rewrite of it with object streams. Without Ghostscript a hand-made file of
// the same shape stands in.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "core/PDArray.h"
#include "core/PDCollection.h"
#include "core/PDDictionary.h"
#include "core/PDReader.h"
#include "core/ParentDocument.h"
#include "filters/Registration.h"
#include "platform/Streams.h"

namespace {

using namespace qz;

constexpr int kPages = 2000;

// A stand-in of the same shape when Ghostscript is missing: a catalog, a
// page tree of 20 nodes of 100 pages, and pages with a content stream each.
std::string HandMade() {
    bench::HandMadePdf pdf;
    const int nodes = kPages / 100;
    int next = 3 + nodes;
    std::string rootKids;
    for (int n = 0; n < nodes; ++n) {
        std::string kids;
        for (int p = 0; p < 100; ++p) {
            const int page = next++;
            const int content = next++;
            const std::string text =
                "BT /F1 11 Tf 60 760 Td (Page " + std::to_string(n * 100 + p + 1) + ") Tj ET";
            pdf.Put(page, "<< /Type /Page /Parent " + std::to_string(3 + n) +
                              " 0 R /MediaBox [0 0 612 792] /Contents " + std::to_string(content) +
                              " 0 R /Resources << /Font << /F1 2 0 R >> >> >>");
            pdf.PutStream(content, "", text);
            kids += std::to_string(page) + " 0 R ";
        }
        pdf.Put(3 + n, "<< /Type /Pages /Parent 1 0 R /Count 100 /Kids [" + kids + "] >>");
        rootKids += std::to_string(3 + n) + " 0 R ";
    }
    pdf.Put(next, "<< /Type /Catalog /Pages 1 0 R >>");
    pdf.Put(1, "<< /Type /Pages /Count " + std::to_string(kPages) + " /Kids [" + rootKids + "] >>");
    pdf.Put(2, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    return pdf.Finish(next);
}

// The files measured, made once: name -> path.
const std::map<std::string, std::filesystem::path>& Files() {
    static const std::map<std::string, std::filesystem::path> files = [] {
        const std::filesystem::path cache = bench::CacheFolder();
        const auto table = cache / "pages-2000.pdf";
        const auto packed = cache / "pages-2000-objstm.pdf";
        if (!std::filesystem::exists(table)) {
            const auto ps = cache / "pages-2000.ps";
            platform::WriteFileBytes(ps, bench::TextPostScript(kPages));
            if (!bench::MakeWithGhostscript(ps, table)) platform::WriteFileBytes(table, HandMade());
        }
        if (!std::filesystem::exists(packed))
            bench::RunProgram({"qpdf", "--object-streams=generate", table.string(), packed.string()}, {3});
        std::map<std::string, std::filesystem::path> out{{"table", table}};
        if (std::filesystem::exists(packed)) out.emplace("object streams", packed);
        return out;
    }();
    return files;
}

// The base document's part in a load: the reader and an object table that
// keeps what it fetched.
class Document final : public core::TqzParentDocument {
  public:
    Document() : FReader(this), FCollection(this) {}
    core::TqzPDBaseObject* GetObject(uint32_t number) override {
        if (auto* held = FCollection.GetObject(number)) return held;
        auto fetched = FReader.Fetch(number);
        return fetched ? FCollection.Add(std::move(fetched)) : nullptr;
    }
    bool IsObjectWritten(uint32_t) override { return false; }
    bool GetIsEncrypted() override { return false; }
    bool HasUserEncryptionSettings() override { return false; }
    bool IsUserEncryptionEnabled() override { return false; }
    core::TqzPDDictionary* GetDocInfo() override { return nullptr; }
    std::string EncryptForOutput(const std::string& bytes, uint32_t, uint32_t) override {
        return bytes;
    }

    core::TqzPDReader FReader;
    core::TqzPDCollection FCollection;
};

// Opens the file and fetches every page dictionary; returns the page count.
int OpenAndWalk(const std::filesystem::path& path) {
    Document doc;
    doc.FReader.LoadFromFile(path);
    auto* trailer = doc.FReader.GetXRef()->GetTrailorDict();
    auto* root = trailer ? trailer->LookUp("Root") : nullptr;
    if (!root || !root->IsDict()) return 0;
    std::vector<core::TqzPDBaseObject*> stack{
        static_cast<core::TqzPDDictionary*>(root)->LookUp("Pages")};
    std::set<core::TqzPDBaseObject*> seen;
    int pages = 0;
    while (!stack.empty()) {
        auto* node = stack.back();
        stack.pop_back();
        if (!node || !node->IsDict() || !seen.insert(node).second) continue;
        auto* dict = static_cast<core::TqzPDDictionary*>(node);
        if (dict->IsDict("Page")) {
            ++pages;
            continue;
        }
        auto* kids = dict->LookUp("Kids");
        if (!kids || !kids->IsArray()) continue;
        auto* array = static_cast<core::TqzPDArray*>(kids);
        for (int32_t i = array->GetLength() - 1; i >= 0; --i) stack.push_back(array->Get(i));
    }
    return pages;
}

void OpenAndFetchPages(benchmark::State& state, const std::filesystem::path& path) {
    int pages = 0;
    for (auto _ : state) pages = OpenAndWalk(path);
    state.counters["pages"] = pages;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(std::filesystem::file_size(path)));
}

// Seconds of the fastest of a few runs of qpdf with `args` on `path`; -1
// when qpdf cannot run.
double QpdfSeconds(const std::vector<std::string>& args, const std::filesystem::path& path) {
    double best = 1e9;
    for (int i = 0; i < 5; ++i) {
        std::vector<std::string> argv{"qpdf"};
        argv.insert(argv.end(), args.begin(), args.end());
        argv.push_back(path.string());
        // Any exit status counts: --check reports findings through it.
        const bench::RunCost run = bench::RunProgram(argv, {1, 2, 3});
        if (run.exitCode < 0) return -1;
        best = std::min(best, run.seconds);
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    filters::RegisterFilters();
    for (const auto& [name, path] : Files()) {
        benchmark::RegisterBenchmark(("OpenAndFetchPages/" + name).c_str(), OpenAndFetchPages, path)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    bench::RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-16s %8s %10s %14s %10s %16s %10s\n", "file", "pages", "ours ms",
                "qpdf --check", "ratio", "qpdf --show-npages", "ratio");
    for (const auto& [name, path] : Files()) {
        const double ours = reporter.Seconds("OpenAndFetchPages/" + name);
        if (ours <= 0) continue;
        const double check = QpdfSeconds({"--check"}, path);
        const double npages = QpdfSeconds({"--show-npages"}, path);
        std::printf("%-16s %8d %10.2f %11.2f ms %9.1fx %13.2f ms %9.1fx\n", name.c_str(),
                    OpenAndWalk(path), ours * 1e3, check * 1e3, check / ours, npages * 1e3,
                    npages / ours);
    }
    std::printf("(ratio: qpdf's time over ours; above 1 means faster than qpdf)\n");
    benchmark::Shutdown();
    return 0;
}
