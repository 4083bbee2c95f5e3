// JBIG2 images in PDF files: stream_data reads them decoded, to the page
// the test encoder drew (and jbig2dec decodes), with and without a globals
// stream; a merge copies their stored bytes unchanged, even when the
// globals stream is damaged.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "integration/Fixtures.h"
#include "platform/Streams.h"
#include "testing/GTestSupport.h"
#include "testing/Jbig2Encoder.h"
#include "testing/PdfBuilder.h"
#include "testing/TempDir.h"
#include "testing/Tools.h"

namespace qz::integration {
namespace {

namespace fs = std::filesystem;
using testing::Jbig2Bitmap;
using testing::Jbig2Writer;
using testing::PdfBuilder;
using testing::RunProgram;
using testing::RunResult;

// A one-page file drawing the JBIG2 image `page` (with `globals` as its
// /JBIG2Globals stream when not empty); returns the image's object number.
int32_t WriteJbig2Pdf(const fs::path& path, int32_t width, int32_t height, const std::string& page,
                      const std::string& globals) {
    PdfBuilder b;
    std::string parms;
    if (!globals.empty()) {
        const int32_t g = b.AddStream("<< >>", globals);
        parms = " /DecodeParms << /JBIG2Globals " + std::to_string(g) + " 0 R >>";
    }
    const int32_t image = b.AddStream("<< /Type /XObject /Subtype /Image /Width " + std::to_string(width) +
                                          " /Height " + std::to_string(height) +
                                          " /BitsPerComponent 1 /ColorSpace /DeviceGray /Filter /JBIG2Decode" +
                                          parms + " >>",
                                      page);
    const int32_t contents = b.AddStream("<< >>", "q 100 0 0 100 0 0 cm /Im0 Do Q");
    const int32_t pageObj = b.Reserve();
    const int32_t pages = b.Add("<< /Type /Pages /Kids [" + std::to_string(pageObj) + " 0 R] /Count 1 >>");
    b.Set(pageObj, "<< /Type /Page /Parent " + std::to_string(pages) + " 0 R /MediaBox [0 0 100 100] /Contents " +
                       std::to_string(contents) + " 0 R /Resources << /XObject << /Im0 " + std::to_string(image) +
                       " 0 R >> >> >>");
    b.Add("<< /Type /Catalog /Pages " + std::to_string(pages) + " 0 R >>");
    platform::WriteFileBytes(path, b.Write());
    return image;
}

// The object numbers and stored bytes (hex) of the JBIG2 streams of a file,
// as pikepdf sees them.
std::vector<std::string> StoredJbig2Streams(const fs::path& pdf) {
    const RunResult r = RunProgram(
        {"/usr/bin/python3", "-c",
         "import sys, pikepdf\n"
         "pdf = pikepdf.open(sys.argv[1])\n"
         "for o in pdf.objects:\n"
         "    if isinstance(o, pikepdf.Stream) and o.get('/Filter') == pikepdf.Name.JBIG2Decode:\n"
         "        print(o.objgen[0], o.read_raw_bytes().hex())\n",
         pdf.string()});
    if (!r.Succeeded()) return {"pikepdf failed: " + r.Describe()};
    std::vector<std::string> lines;
    size_t at = 0;
    for (size_t nl; (nl = r.out.find('\n', at)) != std::string::npos; at = nl + 1) lines.push_back(r.out.substr(at, nl - at));
    return lines;
}

std::string Bytes(const std::string& line) { return line.substr(line.find(' ') + 1); }
std::string Number(const std::string& line) { return line.substr(0, line.find(' ')); }

TEST(Jbig2StreamData, ReadsDecodedAndMergesAsStored) {
    QZ_REQUIRE_TOOLS("jbig2dec", "qpdf");
    testing::TempDir dir("qz-jbig2-data");
    const Jbig2Bitmap text = Jbig2Bitmap::TextLike(83, 45, 21);
    for (bool withGlobals : {false, true}) {
        SCOPED_TRACE(withGlobals ? "with globals" : "without globals");
        Jbig2Writer w;
        if (withGlobals) {
            // A global table segment no region uses: the page still decodes
            // with the globals read first.
            w.SetGlobal(true);
            w.UserTable({0, {{1, 2}, {2, 4}}, 3, 3, false, 0});
            w.SetGlobal(false);
        }
        testing::Jbig2PageInfo info;
        info.width = 83;
        info.height = 45;
        w.PageInformation(info);
        w.GenericRegion(text, {}, {2, true, false, false, {}});
        w.EndOfPage();
        const auto checked = testing::DecodeWithJbig2dec(w.Bytes(), w.GlobalBytes());
        ASSERT_TRUE(checked.ok) << checked.messages;
        ASSERT_EQ(checked.page, text);

        const fs::path in = dir.File(withGlobals ? "g.pdf" : "p.pdf");
        const int32_t image = WriteJbig2Pdf(in, 83, 45, w.Bytes(), w.GlobalBytes());
        std::string expected = text.PackedRows();
        for (char& c : expected) c = static_cast<char>(~c);
        const RunResult read = RunProgram({QZ_STREAM_DATA, in.string(), std::to_string(image)});
        ASSERT_TRUE(read.Succeeded()) << read.Describe();
        // Padding bits of each row come out white on both sides.
        EXPECT_EQ(read.out, expected);

        const fs::path out = dir.File(withGlobals ? "g-merged.pdf" : "p-merged.pdf");
        ASSERT_NO_THROW(MergeLikeTheWindow({in, in}, out));
        EXPECT_TRUE(RunProgram({"qpdf", "--check", out.string()}).Succeeded());
        const auto before = StoredJbig2Streams(in);
        const auto after = StoredJbig2Streams(out);
        ASSERT_EQ(before.size(), 1u) << before.front();
        ASSERT_EQ(after.size(), 2u);
        for (const std::string& line : after) {
            EXPECT_EQ(Bytes(line), Bytes(before[0]));
            // And the copy, with its copied globals, still reads decoded.
            const RunResult again = RunProgram({QZ_STREAM_DATA, out.string(), Number(line)});
            EXPECT_TRUE(again.Succeeded()) << again.Describe();
            EXPECT_EQ(again.out.size(), expected.size());
        }
    }
}

TEST(Jbig2StreamData, BrokenGlobalsStillMerge) {
    QZ_REQUIRE_TOOLS("qpdf");
    testing::TempDir dir("qz-jbig2-broken");
    Jbig2Writer w;
    testing::Jbig2PageInfo info;
    info.width = 16;
    info.height = 4;
    w.PageInformation(info);
    w.GenericRegion(Jbig2Bitmap::Noise(16, 4, 1), {});
    // Globals that are a header cut short and then noise.
    const std::string globals("\x00\x00\x00\x01\x00\xE0\xFF\xFF\xFF garbage", 18);
    const fs::path in = dir.File("broken.pdf");
    WriteJbig2Pdf(in, 16, 4, w.Bytes(), globals);
    const fs::path out = dir.File("merged.pdf");
    ASSERT_NO_THROW(MergeLikeTheWindow({in}, out));
    EXPECT_TRUE(RunProgram({"qpdf", "--check", out.string()}).Succeeded());
    const auto before = StoredJbig2Streams(in);
    const auto after = StoredJbig2Streams(out);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(Bytes(after[0]), Bytes(before.at(0)));
}

}  // namespace
}  // namespace qz::integration
