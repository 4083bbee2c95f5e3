#include "testing/Tools.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>

#include "testing/GTestSupport.h"
#include "testing/PdfBuilder.h"
#include "testing/PostScript.h"
#include "testing/TempDir.h"

using namespace qz::testing;
namespace fs = std::filesystem;

TEST(RunProgram, PassesArgumentsIntactWithoutAShell) {
    const std::string tricky = "two words 'single' \"double\" $HOME `id` ; | > * \\";
    const RunResult r = RunProgram({"printf", "%s|%s", tricky, ""});
    ASSERT_TRUE(r.Succeeded()) << r.Describe();
    EXPECT_EQ(r.out, tricky + "|");
    EXPECT_FALSE(fs::exists("*"));
}

TEST(RunProgram, ReportsStatusErrorsAndTimeouts) {
    const RunResult fails = RunProgram({"ls", "/no/such/path/at/all"});
    EXPECT_FALSE(fails.Succeeded());
    EXPECT_GT(fails.exitCode, 0);
    EXPECT_NE(fails.err.find("/no/such/path/at/all"), std::string::npos);

    const auto start = std::chrono::steady_clock::now();
    const RunResult slow = RunProgram({"sleep", "20"}, std::chrono::milliseconds(200));
    EXPECT_TRUE(slow.timedOut);
    EXPECT_FALSE(slow.Succeeded());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_NE(slow.Describe().find("timed out"), std::string::npos);

    EXPECT_THROW(RunProgram({"qz-no-such-program-anywhere"}), ToolError);
    EXPECT_THROW(RunProgram({}), ToolError);
    EXPECT_FALSE(HaveTool("qz-no-such-program-anywhere"));
    EXPECT_TRUE(HaveTool("sh"));
}

TEST(RunProgram, CollectsLargeOutputOnBothStreams) {
    // More than a pipe holds, on both streams at once: no deadlock.
    const RunResult r = RunProgram(
        {"sh", "-c", "head -c 300000 /dev/zero; head -c 200000 /dev/zero >&2"});
    ASSERT_TRUE(r.Succeeded()) << r.Describe();
    EXPECT_EQ(r.out.size(), 300000u);
    EXPECT_EQ(r.err.size(), 200000u);
}

TEST(TempDir, IsPrivateAndRemovedAtTheEnd) {
    fs::path kept;
    {
        TempDir a, b;
        EXPECT_NE(a.Path(), b.Path());
        kept = a.Write("x.bin", std::string("\0\1", 2));
        EXPECT_EQ(fs::file_size(kept), 2u);
        EXPECT_EQ(kept, a.File("x.bin"));
    }
    EXPECT_FALSE(fs::exists(kept));
    EXPECT_FALSE(fs::exists(kept.parent_path()));
}

TEST(Render, ParsesPgmAndMeasuresDifference) {
    const std::vector<GrayImage> two = ParsePgm(
        "P5\n# comment\n2 1\n255\n\x10\x20"
        "P5 2 1 255\n\x30\x20");
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0].width, 2);
    EXPECT_EQ(two[0].pixels, (std::vector<uint8_t>{0x10, 0x20}));
    EXPECT_DOUBLE_EQ(MeanGreyDifference(two[0], two[1]), 16.0);
    EXPECT_THROW(ParsePgm("P5 4 4 255\nab"), ToolError);
    EXPECT_THROW(ParsePgm("P6 1 1 255\nabc"), ToolError);
    GrayImage wide = two[0];
    wide.width = 1;
    try {
        MeanGreyDifference(two[0], wide);
        FAIL() << "sizes differ";
    } catch (const std::invalid_argument& e) {
        EXPECT_NE(std::string(e.what()).find("2x1 against 1x1"), std::string::npos);
    }
}

TEST(Render, EqualPagesCompareEqualAndAChangedPageDiffers) {
    QZ_REQUIRE_TOOLS("pdftoppm", "qpdf");
    TempDir dir;
    const auto a = dir.Write("a.pdf", MinimalDocument(3).Write());
    // The same pages in another file structure render the same.
    const auto b =
        dir.Write("b.pdf", MinimalDocument(3, "PAGE", true).Write({.form = XrefForm::ObjectStreams}));
    PdfBuilder changed = MinimalDocument(3);
    changed.NewRevision();
    changed.SetStream(7, "<< >>", MarkerPageContent("PAGE", 9));
    const auto c = dir.Write("c.pdf", changed.Write());

    EXPECT_TRUE(SameRenders(a, b));
    const auto ra = RenderPagesGray(a);
    ASSERT_EQ(ra.size(), 3u);
    EXPECT_GT(ra[0].width, 100);
    const GrayImage page2 = RenderPageGray(c, 2);
    EXPECT_GT(MeanGreyDifference(ra[1], page2), 3 * kRenderTolerance);
    EXPECT_LE(MeanGreyDifference(ra[0], RenderPageGray(c, 1)), kRenderTolerance);
    const auto mismatch = SameRenders(a, c);
    EXPECT_FALSE(mismatch);
    EXPECT_NE(std::string(mismatch.message()).find("page 2"), std::string::npos);
    // Pages 2..3 of a against pages 1..2 of a: different pages.
    EXPECT_FALSE(SameRenders(a, a, 2, 3, 1));
}

TEST(Ghostscript, ProgramsMakeTheirPagesAndQpdfVariantsStayReadable) {
    QZ_REQUIRE_TOOLS("gs", "qpdf", "pdfinfo", "pdftotext", "pdftoppm");
    TempDir dir;
    const fs::path text = dir.File("text.pdf");
    MakeWithGhostscript(PsTextPages(3, "DOC(A)"), text);
    EXPECT_EQ(PdfInfoPages(text), 3);
    EXPECT_NE(PdfToText(text, 3).find("DOC(A)-3"), std::string::npos);
    EXPECT_TRUE(QpdfCheckPasses(text));
    // The default font is not a standard one, so a subset is embedded.
    EXPECT_NE(RunProgram({"pdffonts", text.string()}).out.find("yes yes"), std::string::npos);

    const fs::path vector = dir.File("vector.pdf");
    MakeWithGhostscript(PsVectorPages(2), vector);
    EXPECT_EQ(PdfInfoPages(vector), 2);
    const fs::path gray = dir.File("gray.pdf"), rgb = dir.File("rgb.pdf");
    MakeWithGhostscript(PsImagePage(64, 48), gray);
    MakeWithGhostscript(PsImagePage(40, 40, true, true, "NOISE"), rgb);
    EXPECT_NE(PdfToText(rgb).find("NOISE-1"), std::string::npos);
    EXPECT_NE(RunProgram({"pdfimages", "-list", gray.string()}).out.find("64    48  gray"),
              std::string::npos);
    EXPECT_FALSE(SameRenders(gray, rgb));

    const fs::path rotated = dir.File("rotated.pdf");
    MakeWithGhostscript(PsSizedPage(300, 500, 90), rotated);
    const std::string info = RunProgram({"pdfinfo", rotated.string()}).out;
    EXPECT_NE(info.find("300 x 500 pts"), std::string::npos) << info;
    EXPECT_NE(info.find("Page rot:        90"), std::string::npos) << info;

    EXPECT_THROW(MakeWithGhostscript("this is not postscript", dir.File("bad.pdf")), ToolError);

    struct Variant {
        const char* name;
        std::vector<std::string> args;
        const char* password;  // user password to read it back
    };
    const std::vector<Variant> variants = {
        {"object streams", {"--object-streams=generate"}, ""},
        {"no object streams", {"--object-streams=disable"}, ""},
        {"linearized", {"--linearize"}, ""},
        {"qdf", {"--qdf"}, ""},
        {"rc4 40", QpdfEncryptArgs("", "owner", QpdfEncryption::Rc4_40), ""},
        {"rc4 128", QpdfEncryptArgs("user", "owner", QpdfEncryption::Rc4_128, {"--print=none"}),
         "user"},
        {"aes 128", QpdfEncryptArgs("", "owner", QpdfEncryption::Aes128), ""},
        {"aes 256", QpdfEncryptArgs("", "owner", QpdfEncryption::Aes256), ""},
    };
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.name);
        const fs::path out = dir.File("variant.pdf");
        QpdfTransform(text, out, v.args);
        const RunResult check =
            RunProgram({"qpdf", "--check", std::string("--password=") + v.password, out.string()});
        EXPECT_TRUE(check.Succeeded()) << check.Describe();
        if (*v.password == '\0') {
            EXPECT_NE(PdfToText(out, 2).find("DOC(A)-2"), std::string::npos);
            EXPECT_TRUE(SameRenders(text, out));
        }
    }
    EXPECT_THROW(QpdfTransform(dir.File("missing.pdf"), dir.File("x.pdf"), {}), ToolError);
}

TEST(Tools, QpdfHelpersReadBuilderFiles) {
    QZ_REQUIRE_TOOLS("qpdf");
    TempDir dir;
    const auto path = dir.Write("doc.pdf", MinimalDocument(1).Write());
    EXPECT_EQ(QpdfShowObjectFilteredStream(path, 5), MarkerPageContent("PAGE", 1));
    // qpdf shows a missing object as null and succeeds.
    EXPECT_EQ(QpdfShowObjectFilteredStream(path, 77), "null\n");
    const auto bad = dir.Write("bad.pdf", "not a pdf at all");
    const QpdfCheckResult r = QpdfCheck(bad);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_FALSE(r.output.empty());
    EXPECT_THROW(PdfInfoPages(bad), ToolError);
}
