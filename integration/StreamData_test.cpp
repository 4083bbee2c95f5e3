// stream_data, the outside checkers' way into our decoders: image streams of
// a PDF file read decoded through it equal what other decoders make of the
// same data (djpeg for JPEG; for fax data, the bitmap Ghostscript encoded),
// and what it cannot read ends with a message and a non-zero exit.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "platform/Streams.h"
#include "testing/GTestSupport.h"
#include "testing/PdfBuilder.h"
#include "testing/TempDir.h"
#include "testing/Tools.h"

namespace qz::integration {
namespace {

namespace fs = std::filesystem;
using testing::PdfBuilder;
using testing::RunProgram;
using testing::RunResult;

std::string ReadFile(const fs::path& path) {
    return platform::ReadFileBytes(path);
}

// A one-page file that draws the image stream `data` (dictionary entries
// `entries`, without /Length); returns the image's object number.
int32_t WriteImagePdf(const fs::path& path, const std::string& entries, const std::string& data) {
    PdfBuilder b;
    const int32_t image = b.AddStream("<< /Type /XObject /Subtype /Image " + entries + " >>", data);
    const int32_t contents = b.AddStream("<< >>", "q 100 0 0 100 0 0 cm /Im0 Do Q");
    const int32_t page = b.Reserve();
    const int32_t pages = b.Add("<< /Type /Pages /Kids [" + std::to_string(page) + " 0 R] /Count 1 >>");
    b.Set(page, "<< /Type /Page /Parent " + std::to_string(pages) + " 0 R /MediaBox [0 0 100 100] /Contents " +
                    std::to_string(contents) + " 0 R /Resources << /XObject << /Im0 " + std::to_string(image) +
                    " 0 R >> >> >>");
    b.Add("<< /Type /Catalog /Pages " + std::to_string(pages) + " 0 R >>");
    platform::WriteFileBytes(path, b.Write());
    return image;
}

RunResult StreamData(const fs::path& pdf, const std::string& object) {
    return RunProgram({QZ_STREAM_DATA, pdf.string(), object});
}

// The samples of a binary PNM file (P4, P5 or P6), after its header.
std::string PnmSamples(const std::string& pnm) {
    size_t at = 0;
    int fields = pnm.compare(0, 2, "P4") == 0 ? 3 : 4;  // magic, width, height[, maxval]
    while (fields > 0 && at < pnm.size()) {
        while (at < pnm.size() && std::isspace(static_cast<unsigned char>(pnm[at]))) ++at;
        if (pnm[at] == '#') {
            while (at < pnm.size() && pnm[at] != '\n') ++at;
            continue;
        }
        while (at < pnm.size() && !std::isspace(static_cast<unsigned char>(pnm[at]))) ++at;
        --fields;
    }
    return pnm.substr(at + 1);
}

// Largest difference between two sample strings of equal length; -1 when
// the lengths differ.
int MaxDifference(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return -1;
    int worst = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        worst = std::max(worst, std::abs(static_cast<uint8_t>(a[i]) - static_cast<uint8_t>(b[i])));
    }
    return worst;
}

// A picture with smooth and sharp parts, as binary PNM of 1 or 3 components.
std::string DrawPnm(int32_t width, int32_t height, int32_t components) {
    std::mt19937 random(7);
    std::string pnm = (components == 1 ? "P5\n" : "P6\n") + std::to_string(width) + " " +
                      std::to_string(height) + "\n255\n";
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            for (int32_t c = 0; c < components; ++c) {
                const int32_t smooth = (x * 255 / width + y * 97 / height + c * 60) % 256;
                const int32_t value = (x / 9 + y / 7) % 3 == 0 ? smooth : static_cast<int32_t>(random() % 256);
                pnm.push_back(static_cast<char>(value));
            }
        }
    }
    return pnm;
}

struct JpegCase {
    const char* name;
    int32_t components;
    std::vector<std::string> cjpegOptions;
};

class StreamDataJpeg : public ::testing::TestWithParam<JpegCase> {};

TEST_P(StreamDataJpeg, GivesTheSamplesDjpegGives) {
    QZ_REQUIRE_TOOLS("cjpeg", "djpeg");
    const JpegCase& c = GetParam();
    testing::TempDir dir("qz-stream-data");
    const int32_t width = 61, height = 45;
    const fs::path source = dir.Write("in.pnm", DrawPnm(width, height, c.components));
    std::vector<std::string> cjpeg{"cjpeg"};
    cjpeg.insert(cjpeg.end(), c.cjpegOptions.begin(), c.cjpegOptions.end());
    cjpeg.insert(cjpeg.end(), {"-outfile", dir.File("x.jpg").string(), source.string()});
    const RunResult made = RunProgram(cjpeg);
    ASSERT_TRUE(made.Succeeded()) << made.Describe();
    const RunResult reference = RunProgram(
        {"djpeg", "-dct", "int", "-nosmooth", "-pnm", dir.File("x.jpg").string()});
    ASSERT_TRUE(reference.Succeeded()) << reference.Describe();

    const std::string entries = "/Width " + std::to_string(width) + " /Height " + std::to_string(height) +
                                " /BitsPerComponent 8 /ColorSpace " +
                                (c.components == 1 ? "/DeviceGray" : "/DeviceRGB") + " /Filter /DCTDecode";
    const int32_t image = WriteImagePdf(dir.File("x.pdf"), entries, ReadFile(dir.File("x.jpg")));
    const RunResult ours = StreamData(dir.File("x.pdf"), std::to_string(image));
    ASSERT_TRUE(ours.Succeeded()) << ours.Describe();
    const int difference = MaxDifference(ours.out, PnmSamples(reference.out));
    EXPECT_GE(difference, 0) << "got " << ours.out.size() << " bytes, want "
                             << PnmSamples(reference.out).size();
    // The transform's rounding, within 2 in each of Y, Cb and Cr, grows by
    // up to 1.772 in the conversion to RGB.
    EXPECT_LE(difference, c.components == 1 ? 2 : 3);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, StreamDataJpeg,
    ::testing::Values(JpegCase{"BaselineGrey", 1, {"-quality", "90"}},
                      JpegCase{"Baseline420", 3, {"-quality", "85", "-sample", "2x2,1x1,1x1"}},
                      JpegCase{"Progressive444Restart", 3,
                               {"-quality", "95", "-sample", "1x1,1x1,1x1", "-progressive", "-restart", "1"}}),
    [](const auto& test) { return std::string(test.param.name); });

struct FaxCase {
    const char* name;
    int32_t k;
    bool byteAlign;
    bool blackIs1;
    bool endOfBlock;
    bool endOfLine;
};

// Ghostscript's fax encoder over `bits` (rows of packed pixels).
std::string GhostscriptFax(const testing::TempDir& dir, const std::string& bits, const std::string& params) {
    const fs::path raw = dir.Write("bits.raw", bits);
    const fs::path fax = dir.File("x.fax");
    const std::string script = "/in (" + raw.string() + ") (r) file def /out (" + fax.string() +
                               ") (w) file " + params +
                               " /CCITTFaxEncode filter def "
                               "/buf 4096 string def { in buf readstring exch out exch writestring not { exit } if } loop "
                               "out closefile quit\n";
    const fs::path ps = dir.Write("encode.ps", script);
    const RunResult run = RunProgram({"gs", "-q", "-dNOSAFER", "-dNODISPLAY", "-dBATCH", ps.string()});
    if (!run.Succeeded()) throw testing::ToolError("gs failed: " + run.Describe());
    return ReadFile(fax);
}

class StreamDataFax : public ::testing::TestWithParam<FaxCase> {};

TEST_P(StreamDataFax, GivesTheBitmapGhostscriptEncoded) {
    QZ_REQUIRE_TOOLS("gs");
    const FaxCase& c = GetParam();
    testing::TempDir dir("qz-stream-data");
    const int32_t columns = 203, rows = 37, stride = (columns + 7) / 8;
    std::mt19937 random(11);
    std::string bits(static_cast<size_t>(stride * rows), '\0');
    for (int32_t y = 0; y < rows; ++y) {
        bool black = false;
        for (int32_t x = 0; x < columns;) {
            const int32_t run = 1 + static_cast<int32_t>(random() % (y % 5 == 0 ? 90 : 12));
            for (int32_t i = x; i < std::min(columns, x + run); ++i) {
                // 0 is black unless BlackIs1.
                if (black == c.blackIs1) bits[static_cast<size_t>(y * stride + i / 8)] |= static_cast<char>(0x80 >> (i % 8));
            }
            x += run;
            black = !black;
        }
    }
    const std::string params = "/K " + std::to_string(c.k) + " /Columns " + std::to_string(columns) +
                               " /Rows " + std::to_string(rows) + " /EncodedByteAlign " +
                               (c.byteAlign ? "true" : "false") + " /BlackIs1 " + (c.blackIs1 ? "true" : "false") +
                               " /EndOfBlock " + (c.endOfBlock ? "true" : "false") +
                               " /EndOfLine " + (c.endOfLine ? "true" : "false");
    const std::string fax = GhostscriptFax(dir, bits, "<< " + params + " >>");
    const int32_t image = WriteImagePdf(
        dir.File("x.pdf"),
        "/Width " + std::to_string(columns) + " /Height " + std::to_string(rows) +
            " /BitsPerComponent 1 /ColorSpace /DeviceGray /Filter /CCITTFaxDecode /DecodeParms << " + params + " >>",
        fax);

    const RunResult ours = StreamData(dir.File("x.pdf"), std::to_string(image));
    ASSERT_TRUE(ours.Succeeded()) << ours.Describe();
    ASSERT_EQ(ours.out.size(), bits.size());
    // The bits that pad a row to whole bytes are no pixels.
    std::string got = ours.out;
    const auto padding = static_cast<char>(columns % 8 == 0 ? 0 : 0xFF >> (columns % 8));
    for (int32_t y = 0; y < rows; ++y) got[static_cast<size_t>(y * stride + stride - 1)] &= static_cast<char>(~padding);
    EXPECT_TRUE(got == bits);
}

INSTANTIATE_TEST_SUITE_P(Kinds, StreamDataFax,
                         // Ghostscript writes two-dimensional Group 3 rows without their
                         // tag bits unless each row has its end-of-line code, as fax
                         // data always has.
                         ::testing::Values(FaxCase{"Group4", -1, false, false, false, false},
                                           FaxCase{"Group3OneDimensionalAligned", 0, true, false, true, false},
                                           FaxCase{"Group3TwoDimensionalBlackIs1", 2, false, true, true, true}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(StreamData, EndsWithAMessageWhereItCannotRead) {
    testing::TempDir dir("qz-stream-data");
    PdfBuilder b;
    const int32_t flate = b.AddStream("<< >>", "plain data, Flate-compressed", true);
    const int32_t unknown = b.AddStream("<< /Filter /NoSuchDecode >>", "xyz");
    const int32_t jpx = b.AddStream("<< /Filter /JPXDecode >>", "xyz");
    const int32_t number = b.Add("42");
    const int32_t pages = b.Add("<< /Type /Pages /Kids [] /Count 0 >>");
    b.Add("<< /Type /Catalog /Pages " + std::to_string(pages) + " 0 R >>");
    const fs::path pdf = dir.Write("x.pdf", b.Write());

    const RunResult good = StreamData(pdf, std::to_string(flate));
    EXPECT_TRUE(good.Succeeded()) << good.Describe();
    EXPECT_EQ(good.out, "plain data, Flate-compressed");

    const struct {
        fs::path file;
        std::string object;
        int32_t exitCode;
        const char* message;
    } failures[] = {
        {pdf, std::to_string(number), 1, "is not a stream"},
        {pdf, "999", 1, "is not in the file"},
        {pdf, std::to_string(unknown), 1, "filter that is not known"},
        {pdf, std::to_string(jpx), 1, "JPEG 2000"},
        {dir.File("missing.pdf"), "1", 1, "stream_data: "},
        {pdf, "x", 2, "not an object number"},
    };
    for (const auto& f : failures) {
        const RunResult run = StreamData(f.file, f.object);
        EXPECT_EQ(run.exitCode, f.exitCode) << f.object << ": " << run.Describe();
        EXPECT_NE(run.err.find(f.message), std::string::npos) << f.object << ": " << run.err;
        EXPECT_TRUE(run.out.empty()) << f.object;
    }
}

}  // namespace
}  // namespace qz::integration
