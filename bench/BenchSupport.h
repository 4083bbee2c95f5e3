#pragma once
// What the benchmark programs share: running another program and measuring
// it, measuring a piece of work in a child process of its own, the folders
// the inputs are made in, hand-made PDF files and Ghostscript-made ones, and
// a reporter that keeps each benchmark's time and rate for the ratio tables
// printed after Google Benchmark's own. Nothing here is part of the product.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace qz::bench {

// What one run of a program or a piece of work cost.
struct RunCost {
    bool ok = false;      // started, and ended with an accepted exit status
    int exitCode = -1;    // the exit status; -1 when it did not exit normally
    double seconds = 0;   // wall time from start to exit
    int64_t peakKiB = 0;  // the child's peak resident memory
    double PeakMiB() const { return static_cast<double>(peakKiB) / 1024.0; }
};

// Runs `args` (the program looked up on PATH) without a shell, its output
// discarded, and waits for it. `accepted` lists the exit statuses counted as
// success besides 0 (qpdf exits 3 when it only warned).
RunCost RunProgram(const std::vector<std::string>& args, const std::vector<int>& accepted = {});

// Runs `work` in a forked child, so that its peak memory is its own and
// nothing the benchmark did before counts; ok when `work` returned.
RunCost RunInChild(const std::function<void()>& work);

// Wall-clock seconds since construction.
class Stopwatch {
public:
    double Seconds() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count(); }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// The build's cache of benchmark inputs (made once, kept between runs),
// created on first use.
std::filesystem::path CacheFolder();

// A folder for this run's files, removed when the program ends unless the
// environment sets QZ_BENCH_KEEP=1 (to profile a program on the inputs).
std::filesystem::path ScratchFolder(const std::string& name);

// The program beside this one in the build (merge_files beside the
// benchmarks).
std::filesystem::path SiblingProgram(const std::string& name);

// zlib's compress2 at `level`.
std::string Deflate(const std::string& data, int level = 6);

// A PDF file written by hand: numbered objects and a correct cross-reference
// table. Numbers may be put in any order; gaps become free entries.
class HandMadePdf {
public:
    // Puts object `number` with `body` (what goes between "obj" and "endobj").
    void Put(int number, const std::string& body);
    // Puts a stream object: `dict` holds the entries besides /Length.
    void PutStream(int number, const std::string& dict, const std::string& data);
    // Puts the next free number and returns it.
    int Add(const std::string& body);
    int AddStream(const std::string& dict, const std::string& data);
    // The next number Add would take.
    int NextNumber() const { return static_cast<int>(offsets_.size()); }
    // The file, with the catalog `root` in the trailer.
    std::string Finish(int root);

private:
    std::string pdf_ = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    std::vector<size_t> offsets_{0};
};

// A PostScript program of `pages` text pages of 41 lines each.
std::string TextPostScript(int pages);
// Ghostscript's pdfwrite output of the PostScript program in `ps`; false
// when Ghostscript is missing or fails.
bool MakeWithGhostscript(const std::filesystem::path& ps, const std::filesystem::path& pdf);

// Google Benchmark's console output, keeping for each benchmark (errors and
// the mean, deviation and variation aggregates left out) its time per
// iteration in seconds and its rate in bytes per second. Names are kept
// without the "/iterations:N", "/manual_time" and "/real_time" suffixes.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override;

    std::map<std::string, double> seconds;
    std::map<std::string, double> bytesPerSecond;

    // The recorded time of `name`, or 0.
    double Seconds(const std::string& name) const;
};

}  // namespace qz::bench
