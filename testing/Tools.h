#pragma once
// Runs the outside programs that tests use as checkers and fixture makers
// (qpdf, poppler-utils, Ghostscript), always without a shell, and parses what
// they print. Nothing here owns state beyond the results it returns.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Exception.h"

namespace qz::testing {

// A tool that is missing, fails, times out or prints what cannot be parsed.
class ToolError : public platform::Exception {
public:
    using Exception::Exception;
};

// Long enough for Ghostscript on a loaded 2-core machine, short enough that a
// hung tool ends the test instead of the CI run.
constexpr std::chrono::milliseconds kDefaultToolTimeout{120'000};
// Low resolution keeps renders cheap; markers and shapes still show.
constexpr int32_t kDefaultRenderDpi = 24;
// Mean grey difference (0..255) under which two renders count as equal:
// anti-aliasing of the same page by the same renderer differs by far less.
constexpr double kRenderTolerance = 1.0;

struct RunResult {
    int32_t exitCode = -1;  // the program's exit status; -1 when it did not exit normally
    int32_t signal = 0;     // the signal that ended it, else 0
    bool timedOut = false;  // killed because it ran past the timeout
    std::string out;        // everything written to standard output
    std::string err;        // everything written to standard error
    bool Succeeded() const { return exitCode == 0 && !timedOut; }
    // One text for failure messages: status, then both outputs.
    std::string Describe() const;
};

// Starts argv[0] (looked up in PATH) with exactly these arguments, no shell,
// standard input from /dev/null; collects both outputs until it ends or the
// timeout kills it. Raises ToolError only when the program cannot be started.
RunResult RunProgram(const std::vector<std::string>& argv,
                     std::chrono::milliseconds timeout = kDefaultToolTimeout);

// True when `name` is an executable file in PATH (cached per name).
bool HaveTool(const std::string& name);

struct QpdfCheckResult {
    int32_t exitCode = -1;  // qpdf: 0 clean, 3 warnings, 2 errors
    bool ok = false;        // exit status 0
    std::string output;     // standard output and error together
};
// qpdf --check PATH.
QpdfCheckResult QpdfCheck(const std::filesystem::path& path);

// The page count reported by pdfinfo; ToolError when pdfinfo fails.
int32_t PdfInfoPages(const std::filesystem::path& path);

// pdftotext of one page (1-based), or of the whole document for page 0.
std::string PdfToText(const std::filesystem::path& path, int32_t page = 0);

// An 8-bit grey raster as pdftoppm renders it; row-major, top row first.
struct GrayImage {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels;
};

// One page (1-based) rendered by pdftoppm -gray.
GrayImage RenderPageGray(const std::filesystem::path& path, int32_t page,
                         int32_t dpi = kDefaultRenderDpi);
// Pages first..last (last 0: to the end) in one pdftoppm run, cheaper than
// one run per page.
std::vector<GrayImage> RenderPagesGray(const std::filesystem::path& path,
                                       int32_t dpi = kDefaultRenderDpi, int32_t first = 1,
                                       int32_t last = 0);
// Parses one or more concatenated binary PGM (P5) images.
std::vector<GrayImage> ParsePgm(const std::string& bytes);
// Mean absolute difference per pixel, 0..255. Raises std::invalid_argument
// naming both sizes when the images differ in size.
double MeanGreyDifference(const GrayImage& a, const GrayImage& b);

// The decoded data of stream object `objectNumber` as qpdf reads it
// (qpdf --show-object=N,G --filtered-stream-data).
std::string QpdfShowObjectFilteredStream(const std::filesystem::path& path, int32_t objectNumber,
                                         int32_t generation = 0);

// Writes `postScript` beside `outPdf` and converts it with Ghostscript's
// pdfwrite; ToolError with Ghostscript's messages on failure.
void MakeWithGhostscript(const std::string& postScript, const std::filesystem::path& outPdf);

// qpdf ARGS... IN OUT. Succeeds on exit 0 or 3 (warnings only) and returns the
// result; raises ToolError otherwise.
RunResult QpdfTransform(const std::filesystem::path& in, const std::filesystem::path& out,
                        const std::vector<std::string>& args);

enum class QpdfEncryption { Rc4_40, Rc4_128, Aes128, Aes256 };
// The qpdf arguments that encrypt at `level` with these passwords, ending in
// "--"; `restrictions` are qpdf's own (for example "--print=none" at 128 bits,
// "--print=n" at 40). Pass them to QpdfTransform.
std::vector<std::string> QpdfEncryptArgs(const std::string& userPassword,
                                         const std::string& ownerPassword, QpdfEncryption level,
                                         const std::vector<std::string>& restrictions = {});

}  // namespace qz::testing
