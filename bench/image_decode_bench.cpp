// Decoding speed of the image codecs, side by side with the reference
// decoders on the same data in the same run: a 20-megapixel photo as
// baseline and as progressive JPEG against djpeg, and a 10,000-line Group 4
// fax page against libtiff (tiffcp -c none). Prints decoded MB/s of each and
// our share of theirs. The inputs are made once (cjpeg, Ghostscript) into the
// build's bench cache.
//
// Their figures include starting the program and writing its output to
// /dev/null (or a small TIFF); ours are in-process. On images this large
// the start-up is a few milliseconds of runs that take hundreds.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "core/MemoryStream.h"
#include "filters/CodecStreams.h"
#include "platform/Streams.h"

namespace {

using namespace qz;
namespace fs = std::filesystem;

constexpr int32_t kPhotoWidth = 5472;  // 20 megapixels, a common camera size
constexpr int32_t kPhotoHeight = 3648;
constexpr int32_t kFaxColumns = 2480;  // A4 width at 300 dpi
constexpr int32_t kFaxRows = 10000;
constexpr int kRuns = 3;

// A photo-like picture: smooth shading with textured patches.
std::string PhotoPpm() {
    std::string ppm = "P6\n" + std::to_string(kPhotoWidth) + " " + std::to_string(kPhotoHeight) + "\n255\n";
    ppm.reserve(ppm.size() + size_t{kPhotoWidth} * kPhotoHeight * 3);
    std::mt19937 random(5);
    for (int32_t y = 0; y < kPhotoHeight; ++y) {
        for (int32_t x = 0; x < kPhotoWidth; ++x) {
            const bool textured = ((x / 300) + (y / 200)) % 4 == 0;
            const int32_t noise = textured ? static_cast<int32_t>(random() % 64) : 0;
            ppm.push_back(static_cast<char>((x * 200 / kPhotoWidth + noise) % 256));
            ppm.push_back(static_cast<char>((y * 200 / kPhotoHeight + noise) % 256));
            ppm.push_back(static_cast<char>(((x + y) * 150 / (kPhotoWidth + kPhotoHeight) + noise) % 256));
        }
    }
    return ppm;
}

// A page of text-like marks: lines of small black blocks on white, rows
// packed eight pixels a byte, 1 white (the fax default).
std::string FaxBitmap() {
    const int32_t stride = (kFaxColumns + 7) / 8;
    std::string bits(static_cast<size_t>(stride) * kFaxRows, '\xFF');
    std::mt19937 random(9);
    for (int32_t line = 60; line + 40 < kFaxRows; line += 50) {
        for (int32_t x = 150; x + 30 < kFaxColumns - 150;) {
            const int32_t width = 8 + static_cast<int32_t>(random() % 22);
            const int32_t height = 20 + static_cast<int32_t>(random() % 12);
            for (int32_t y = line + 32 - height; y < line + 32; ++y) {
                for (int32_t i = x; i < x + width; i += 1 + static_cast<int32_t>(random() % 3)) {
                    bits[static_cast<size_t>(y) * stride + static_cast<size_t>(i / 8)] &=
                        static_cast<char>(~(0x80 >> (i % 8)));
                }
            }
            x += width + 4 + static_cast<int32_t>(random() % 12);
        }
    }
    return bits;
}

// A one-strip bilevel TIFF holding `g4` as it is.
std::string G4Tiff(const std::string& g4) {
    std::string tiff("II*\0", 4);
    auto put16 = [&](uint32_t v) {
        tiff.push_back(static_cast<char>(v & 0xFF));
        tiff.push_back(static_cast<char>((v >> 8) & 0xFF));
    };
    auto put32 = [&](uint32_t v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    const uint32_t entries = 8;
    const uint32_t dataOffset = 8 + 2 + entries * 12 + 4;
    put32(8);
    put16(entries);
    auto entry = [&](uint32_t tag, uint32_t type, uint32_t value) {
        put16(tag);
        put16(type);
        put32(1);
        if (type == 3) {
            put16(value);
            put16(0);
        } else {
            put32(value);
        }
    };
    entry(256, 4, kFaxColumns);                      // ImageWidth
    entry(257, 4, kFaxRows);                         // ImageLength
    entry(258, 3, 1);                                // BitsPerSample
    entry(259, 3, 4);                                // Compression: Group 4
    entry(262, 3, 0);                                // Photometric: white is zero
    entry(273, 4, dataOffset);                       // StripOffsets
    entry(278, 4, kFaxRows);                         // RowsPerStrip
    entry(279, 4, static_cast<uint32_t>(g4.size()));  // StripByteCounts
    put32(0);
    return tiff + g4;
}

struct Inputs {
    fs::path baseline, progressive, faxTiff;
    std::string faxData;  // the Group 4 strip
};

bool Run(const std::vector<std::string>& args) {
    const bench::RunCost cost = bench::RunProgram(args);
    if (!cost.ok) std::fprintf(stderr, "image_decode_bench: %s failed\n", args.front().c_str());
    return cost.ok;
}

bool MakeInputs(Inputs& in) {
    const fs::path cache = bench::CacheFolder() / "image-decode";
    fs::create_directories(cache);
    in.baseline = cache / "photo-baseline.jpg";
    in.progressive = cache / "photo-progressive.jpg";
    in.faxTiff = cache / "fax-g4.tif";
    const fs::path g4 = cache / "fax.g4";
    if (!fs::exists(in.baseline) || !fs::exists(in.progressive)) {
        const fs::path ppm = cache / "photo.ppm";
        platform::WriteFileBytes(ppm, PhotoPpm());
        if (!Run({"cjpeg", "-quality", "90", "-outfile", in.baseline.string(), ppm.string()}) ||
            !Run({"cjpeg", "-quality", "90", "-progressive", "-outfile", in.progressive.string(), ppm.string()})) {
            return false;
        }
        fs::remove(ppm);
    }
    if (!fs::exists(g4) || !fs::exists(in.faxTiff)) {
        const fs::path raw = cache / "fax.raw";
        platform::WriteFileBytes(raw, FaxBitmap());
        const fs::path ps = cache / "fax.ps";
        platform::WriteFileBytes(
            ps, "/in (" + raw.string() + ") (r) file def /out (" + g4.string() + ") (w) file << /K -1 /Columns " +
                    std::to_string(kFaxColumns) + " /Rows " + std::to_string(kFaxRows) +
                    " /EndOfBlock false /BlackIs1 false >> /CCITTFaxEncode filter def "
                    "/buf 65536 string def { in buf readstring exch out exch writestring not { exit } if } loop "
                    "out closefile quit\n");
        if (!Run({"gs", "-q", "-dNOSAFER", "-dNODISPLAY", "-dBATCH", ps.string()})) return false;
        platform::WriteFileBytes(in.faxTiff, G4Tiff(platform::ReadFileBytes(g4)));
        fs::remove(raw);
        fs::remove(ps);
    }
    in.faxData = platform::ReadFileBytes(g4);
    return true;
}

// Best time of a few in-process decodes; `bytes` gets the decoded size.
double OurSeconds(const std::function<std::unique_ptr<core::TqzStream>()>& make, int64_t& bytes) {
    double best = 1e9;
    std::vector<uint8_t> block(256 * 1024);
    for (int i = 0; i < kRuns; ++i) {
        auto stream = make();
        bench::Stopwatch watch;
        stream->Reset();
        int64_t total = 0;
        for (int32_t got; (got = stream->Read(block.data(), static_cast<uint32_t>(block.size()))) > 0;) total += got;
        best = std::min(best, watch.Seconds());
        bytes = total;
    }
    return best;
}

double TheirSeconds(const std::vector<std::string>& args) {
    double best = 1e9;
    for (int i = 0; i < kRuns; ++i) {
        const bench::RunCost cost = bench::RunProgram(args);
        if (!cost.ok) return -1;
        best = std::min(best, cost.seconds);
    }
    return best;
}

void Report(const char* name, int64_t bytes, double ours, const char* tool, double theirs) {
    const double mb = static_cast<double>(bytes) / 1e6;
    if (theirs <= 0) {
        std::printf("%-22s %10.1f %10.1f %12s %10s %8s\n", name, mb, mb / ours, tool, "failed", "-");
        return;
    }
    std::printf("%-22s %10.1f %10.1f %12s %10.1f %7.0f%%\n", name, mb, mb / ours, tool, mb / theirs,
                100.0 * theirs / ours);
}

}  // namespace

int main() {
    Inputs in;
    if (!MakeInputs(in)) return 1;
    const fs::path scratch = bench::ScratchFolder("image-decode");
    std::printf("%-22s %10s %10s %12s %10s %8s\n", "image", "MB out", "ours MB/s", "reference", "ref MB/s",
                "ours/ref");
    for (const auto& [name, path] : {std::pair{"photo baseline 4:2:0", in.baseline},
                                     std::pair{"photo progressive", in.progressive}}) {
        const std::string jpeg = platform::ReadFileBytes(path);
        int64_t bytes = 0;
        const double ours = OurSeconds(
            [&] { return std::make_unique<filters::TqzDCTStream>(std::make_shared<core::TqzMemoryStream>(jpeg)); },
            bytes);
        const double theirs = TheirSeconds({"djpeg", "-dct", "int", "-outfile", "/dev/null", path.string()});
        Report(name, bytes, ours, "djpeg", theirs);
    }
    int64_t bytes = 0;
    const double ours = OurSeconds(
        [&] {
            return std::make_unique<filters::TqzCCITTStream>(std::make_shared<core::TqzMemoryStream>(in.faxData), -1,
                                                              false, false, kFaxColumns, kFaxRows, false, false);
        },
        bytes);
    const double theirs =
        TheirSeconds({"tiffcp", "-c", "none", in.faxTiff.string(), (scratch / "fax-none.tif").string()});
    Report("fax Group 4 10,000 rows", bytes, ours, "tiffcp", theirs);
    std::printf("(ours/ref: our speed as a share of the reference's)\n");
    return 0;
}
