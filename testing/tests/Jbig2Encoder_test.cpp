#include "testing/Jbig2Encoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/GTestSupport.h"
#include "testing/Jbig2Coders.h"
#include "testing/TempDir.h"
#include "testing/Tools.h"
#include "platform/Streams.h"

using namespace qz::testing;

namespace {

// jbig2dec decodes the writer's streams to exactly `expected`.
::testing::AssertionResult Jbig2decGives(const Jbig2Writer& w, const Jbig2Bitmap& expected) {
    const Jbig2decResult r = DecodeWithJbig2dec(w.Bytes(), w.GlobalBytes());
    if (!r.ok) return ::testing::AssertionFailure() << "jbig2dec failed: " << r.messages;
    const std::string diff = Jbig2Bitmap::Describe(expected, r.page);
    if (!diff.empty()) {
        return ::testing::AssertionFailure() << diff << "\njbig2dec said: " << r.messages;
    }
    // jbig2dec is silent on a sound stream; any warning marks a faulty fixture.
    if (!r.messages.empty()) return ::testing::AssertionFailure() << "jbig2dec: " << r.messages;
    return ::testing::AssertionSuccess();
}

Jbig2PageInfo Page(const Jbig2Bitmap& b) {
    Jbig2PageInfo p;
    p.width = static_cast<uint32_t>(b.Width());
    p.height = static_cast<uint32_t>(b.Height());
    return p;
}

}  // namespace

TEST(Jbig2Bitmap, PackedRowsAndPbmRoundTrip) {
    const Jbig2Bitmap b = Jbig2Bitmap::Noise(13, 3, 7);
    const std::string rows = b.PackedRows();
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(static_cast<uint8_t>(rows[1]) & 0x07u, 0u);  // padding bits stay 0
    EXPECT_EQ(Jbig2Bitmap::FromPackedRows(13, 3, rows), b);
    EXPECT_EQ(Jbig2Bitmap::FromPbm(b.ToPbm()), b);
    EXPECT_EQ(Jbig2Bitmap::FromPbm("P4\n# c\n3 1\n\xA0"), Jbig2Bitmap::FromPackedRows(3, 1, "\xA0"));
    EXPECT_THROW(Jbig2Bitmap::FromPbm("P1\n1 1\n1"), std::invalid_argument);
}

struct GenericCase {
    const char* name;
    Jbig2Bitmap bitmap;
    Jbig2GenericOptions options;
};

TEST(Jbig2Encoder, GenericRegionsDecodeWithJbig2dec) {
    QZ_REQUIRE_TOOLS("jbig2dec");
    const Jbig2Bitmap text = Jbig2Bitmap::TextLike(61, 37, 1);
    const Jbig2Bitmap noise = Jbig2Bitmap::Noise(45, 19, 2, 90);
    Jbig2Bitmap striped = text;  // repeated rows for typical prediction
    for (int32_t y = 0; y < striped.Height(); ++y) {
        if (y % 3 != 0) {
            for (int32_t x = 0; x < striped.Width(); ++x) striped.Set(x, y, striped.Get(x, y - 1));
        }
    }
    std::vector<GenericCase> cases;
    for (int32_t t = 0; t < 4; ++t) {
        cases.push_back({"text, nominal AT", text, {t, false, false, false, {}}});
        cases.push_back({"noise, nominal AT", noise, {t, false, false, false, {}}});
        cases.push_back({"repeated rows, TPGDON", striped, {t, true, false, false, {}}});
    }
    cases.push_back({"moved AT, template 0", text,
                     {0, false, false, false, {{-5, -1}, {4, -2}, {-1, -3}, {-7, 0}}}});
    cases.push_back({"moved AT, template 0, noise", noise,
                     {0, true, false, false, {{1, -1}, {-8, -2}, {0, -4}, {-3, 0}}}});
    cases.push_back({"moved AT, template 1", noise, {1, false, false, false, {{-4, -2}}}});
    cases.push_back({"moved AT, template 2", text, {2, true, false, false, {{5, -3}}}});
    cases.push_back({"moved AT, template 3", noise, {3, false, false, false, {{-6, 0}}}});
    cases.push_back({"MMR text", text, {0, false, true, false, {}}});
    cases.push_back({"MMR noise, end of block", noise, {0, false, true, true, {}}});
    cases.push_back({"one row", Jbig2Bitmap::Noise(9, 1, 3), {0, false, false, false, {}}});
    cases.push_back({"all black", Jbig2Bitmap(17, 5, 1), {2, true, false, false, {}}});
    cases.push_back({"all black MMR", Jbig2Bitmap(17, 5, 1), {0, false, true, false, {}}});

    for (const GenericCase& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ", template " + std::to_string(c.options.gbTemplate));
        Jbig2Writer w;
        w.PageInformation(Page(c.bitmap));
        w.GenericRegion(c.bitmap, {}, c.options);
        EXPECT_TRUE(Jbig2decGives(w, c.bitmap));
    }
}


TEST(Jbig2Encoder, CheckerSeesASinglePixel) {
    QZ_REQUIRE_TOOLS("jbig2dec");
    const Jbig2Bitmap text = Jbig2Bitmap::TextLike(40, 20, 5);
    Jbig2Writer w;
    w.PageInformation(Page(text));
    w.GenericRegion(text, {}, {});
    ASSERT_TRUE(Jbig2decGives(w, text));
    Jbig2Bitmap other = text;
    other.Set(39, 19, text.Get(39, 19) ^ 1u);
    EXPECT_FALSE(Jbig2decGives(w, other));
}

// Our two-dimensional coder writes the same bits as Ghostscript's
// CCITTFaxEncode (K -1, BlackIs1), long runs and make-up codes included.
TEST(Jbig2Encoder, MmrCodingMatchesGhostscript) {
    QZ_REQUIRE_TOOLS("gs");
    std::vector<Jbig2Bitmap> bitmaps{Jbig2Bitmap::TextLike(70, 30, 3),
                                     Jbig2Bitmap::Noise(33, 9, 4, 60)};
    // Runs of every length class up to beyond 2560 in both colours.
    Jbig2Bitmap runs(2900, 6);
    const std::vector<int32_t> lengths{1, 2, 63, 64, 65, 127, 640, 1728, 1791, 1792, 2559, 2560,
                                       2561, 2700};
    for (int32_t y = 0; y < runs.Height(); ++y) {
        int32_t x = 0;
        uint8_t colour = static_cast<uint8_t>(y % 2);
        for (size_t i = static_cast<size_t>(y); x < runs.Width(); ++i) {
            const int32_t len = lengths[(i * 7) % lengths.size()];
            for (int32_t k = 0; k < len && x < runs.Width(); ++k) runs.Set(x++, y, colour);
            colour ^= 1u;
        }
    }
    bitmaps.push_back(runs);
    for (const Jbig2Bitmap& b : bitmaps) {
        SCOPED_TRACE(std::to_string(b.Width()) + "x" + std::to_string(b.Height()));
        TempDir dir("qz-g4");
        dir.Write("in.bin", b.PackedRows());
        const std::string ps = "/in (" + dir.File("in.bin").string() + ") (r) file def\n" +
                               "/out (" + dir.File("g4.bin").string() + ") (w) file << /K -1 " +
                               "/Columns " + std::to_string(b.Width()) + " /Rows " +
                               std::to_string(b.Height()) +
                               " /BlackIs1 true /EndOfBlock false >> /CCITTFaxEncode filter def\n" +
                               "/buf 4096 string def\n" +
                               "{ in buf readstring exch out exch writestring not { exit } if } loop\n" +
                               "out closefile\n";
        const RunResult r = RunProgram({"gs", "-q", "-dNOSAFER", "-dNODISPLAY", "-dBATCH",
                                        dir.Write("g4.ps", ps).string()});
        ASSERT_TRUE(r.Succeeded()) << r.Describe();
        EXPECT_EQ(jbig2::EncodeMmr(b, false),
                  qz::platform::ReadFileBytes(dir.File("g4.bin")));
    }
}
