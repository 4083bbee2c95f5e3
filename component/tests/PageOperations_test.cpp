#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <map>

#include "component/ComponentExceptions.h"
#include "component/OnePageTemplate.h"
#include "component/PDFDocument.h"
#include "component/tests/ComponentTestSupport.h"
#include "platform/Streams.h"

namespace qz::component {
namespace {

// Page `page` of `file`.
struct SourcePage {
    fs::path file;
    int32_t page;
};

// Renders and markers of files, made once per file.
class PageLook {
public:
    const testing::GrayImage& Render(const fs::path& file, int32_t page) {
        auto& renders = renders_[file];
        if (renders.empty()) renders = testing::RenderPagesGray(file);
        return renders.at(static_cast<size_t>(page - 1));
    }
    const std::string& Marker(const fs::path& file, int32_t page) {
        auto& markers = markers_[file];
        if (markers.empty()) markers = PageMarkers(file);
        return markers.at(static_cast<size_t>(page - 1));
    }

private:
    std::map<fs::path, std::vector<testing::GrayImage>> renders_;
    std::map<fs::path, std::vector<std::string>> markers_;
};

// `out` passes qpdf --check, pdfinfo counts exactly the expected pages, and
// each page shows the marker of its source page and renders as it does.
::testing::AssertionResult HasPages(const fs::path& out, const std::vector<SourcePage>& expected) {
    if (auto check = testing::QpdfCheckPasses(out); !check) return check;
    const int32_t count = testing::PdfInfoPages(out);
    if (count != static_cast<int32_t>(expected.size())) {
        return ::testing::AssertionFailure() << out << " has " << count << " pages, not " << expected.size();
    }
    PageLook look;
    std::vector<std::string> wanted;
    for (const SourcePage& p : expected) wanted.push_back(look.Marker(p.file, p.page));
    const std::vector<std::string> got = PageMarkers(out);
    if (got != wanted) {
        auto failure = ::testing::AssertionFailure() << "markers of " << out << ":";
        for (const auto& m : got) failure << " " << m;
        failure << "; wanted:";
        for (const auto& m : wanted) failure << " " << m;
        return failure;
    }
    const auto renders = testing::RenderPagesGray(out);
    for (size_t i = 0; i < expected.size(); ++i) {
        const double d = testing::MeanGreyDifference(renders[i], look.Render(expected[i].file, expected[i].page));
        if (d > testing::kRenderTolerance) {
            return ::testing::AssertionFailure() << "page " << i + 1 << " of " << out << " differs from page "
                                                 << expected[i].page << " of " << expected[i].file << " by " << d;
        }
    }
    return ::testing::AssertionSuccess();
}

// The value of `key` in each page dictionary, read by pikepdf: numbers in
// %g form, arrays in brackets, dictionaries with sorted keys, "none" where
// the page lacks the key.
std::vector<std::string> PageEntries(const fs::path& pdf, const std::string& key) {
    static const char* kScript = R"(
import sys, pikepdf
def fmt(v):
    if v is None: return 'none'
    if isinstance(v, pikepdf.Array): return '[' + ' '.join(fmt(x) for x in v) + ']'
    if isinstance(v, pikepdf.Dictionary): return '<<' + ' '.join(k + ' ' + fmt(v[k]) for k in sorted(v.keys())) + '>>'
    if isinstance(v, pikepdf.Name): return str(v)
    return '%g' % float(v)
with pikepdf.open(sys.argv[1]) as pdf:
    for page in pdf.pages:
        print(fmt(page.obj.get(sys.argv[2])))
)";
    const testing::RunResult r = testing::RunProgram({"/usr/bin/python3", "-c", kScript, pdf.string(), key});
    if (!r.Succeeded()) throw testing::ToolError("pikepdf: " + r.Describe());
    std::vector<std::string> lines;
    std::string line;
    for (const char c : r.out) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    return lines;
}


// A five-page document P-1..P-5 and a two-page one S-1, S-2.
class PageOperationsTest : public ::testing::Test {
protected:
    void SetUp() override {
        five_ = WriteMarkedPdf(dir_, "five.pdf", 5, "P");
        two_ = WriteMarkedPdf(dir_, "two.pdf", 2, "S");
    }
    std::vector<SourcePage> Five(std::initializer_list<int32_t> pages) const { return From(five_, pages); }
    std::vector<SourcePage> Two(std::initializer_list<int32_t> pages) const { return From(two_, pages); }
    static std::vector<SourcePage> From(const fs::path& file, std::initializer_list<int32_t> pages) {
        std::vector<SourcePage> result;
        for (const int32_t p : pages) result.push_back({file, p});
        return result;
    }
    static std::vector<SourcePage> Join(std::initializer_list<std::vector<SourcePage>> parts) {
        std::vector<SourcePage> result;
        for (const auto& part : parts) result.insert(result.end(), part.begin(), part.end());
        return result;
    }
    fs::path Save(TqzCustomPDFDocument& component, const std::string& name) const {
        const fs::path out = dir_.File(name);
        component.SaveToFile(out, false, false);
        return out;
    }

    testing::TempDir dir_{"qz-pages"};
    fs::path five_, two_;
};

TEST_F(PageOperationsTest, TheOnePageTemplateIsAnExactFile) {
    QZ_REQUIRE_TOOLS("qpdf", "pdfinfo");
    const std::string& text = OnePageTemplate();
    EXPECT_EQ(text.size(), 330u);
    // Readers forgive offsets that are a little off; a loader that trusts
    // them must find each object, and the table, right where they say.
    EXPECT_EQ(text.substr(10, 7), "1 0 obj");
    EXPECT_EQ(text.substr(59, 7), "2 0 obj");
    EXPECT_EQ(text.substr(138, 7), "3 0 obj");
    EXPECT_EQ(text.substr(185, 4), "xref");
    const fs::path file = dir_.Write("template.pdf", text);
    EXPECT_TRUE(testing::QpdfCheckPasses(file));
    EXPECT_EQ(testing::PdfInfoPages(file), 1);
}

TEST_F(PageOperationsTest, DeleteRemovesEachListedPageOnce) {
    QZ_REQUIRE_TOOLS("qpdf", "pdfinfo", "pdftotext", "pdftoppm");
    struct Case {
        std::string range;
        std::vector<SourcePage> left;
        std::string status;
    };
    const std::vector<Case> cases = {
        {"2,4", Five({1, 3, 5}), "2 pages deleted"},
        // Whatever the order and repeats, the listed pages go.
        {"4,2", Five({1, 3, 5}), "2 pages deleted"},
        {"2,2", Five({1, 3, 4, 5}), "1 pages deleted"},
        {"5,1-2", Five({3, 4}), "3 pages deleted"},
        {"-2,4-", Five({3}), "4 pages deleted"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.range);
        TqzPDFDocument component;
        EventLog log;
        log.Attach(component);
        ASSERT_TRUE(component.LoadFromFile(five_, ""));
        component.DeletePages(c.range);
        EXPECT_EQ(component.GetPageCount(), static_cast<int32_t>(c.left.size()));
        EXPECT_EQ(log.Only("status"), std::vector<std::string>{"status: " + c.status});
        EXPECT_TRUE(HasPages(Save(component, "deleted.pdf"), c.left));
    }
}

TEST_F(PageOperationsTest, MoveTakesAPageToTheNumberGiven) {
    QZ_REQUIRE_TOOLS("qpdf", "pdfinfo", "pdftotext", "pdftoppm");
    struct Case {
        int32_t from, to;
        std::vector<SourcePage> pages;
    };
    const std::vector<Case> cases = {
        {1, 3, Five({2, 3, 1, 4, 5})},
        {5, 1, Five({5, 1, 2, 3, 4})},
        {2, 5, Five({1, 3, 4, 5, 2})},
        {3, 3, Five({1, 2, 3, 4, 5})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + " to " + std::to_string(c.to));
        TqzPDFDocument component;
        ASSERT_TRUE(component.LoadFromFile(five_, ""));
        component.MovePage(c.from, c.to);
        EXPECT_TRUE(HasPages(Save(component, "moved.pdf"), c.pages));
    }
}

TEST_F(PageOperationsTest, RotateSetsTheAngleInsteadOfAddingToIt) {
    QZ_REQUIRE_TOOLS("qpdf", "pdfinfo", "pdftotext", "pdftoppm");
    QZ_REQUIRE_PIKEPDF();
    // Page 1 already turned a quarter; qpdf sets absolute angles for the
    // expected renders.
    const fs::path turned = dir_.File("turned.pdf");
    testing::QpdfTransform(five_, turned, {"--rotate=90:1"});
    struct Case {
        TqzRotationAngle angle;
        int32_t degrees;
    };
    const std::vector<Case> cases = {
        {TqzRotationAngle::raACW90, 270}, {TqzRotationAngle::raCW270, 270}, {TqzRotationAngle::raCW90, 90},
        {TqzRotationAngle::raACW270, 90}, {TqzRotationAngle::raCW180, 180}, {TqzRotationAngle::raACW180, 180},
        {TqzRotationAngle::ra0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.degrees);
        TqzPDFDocument component;
        ASSERT_TRUE(component.LoadFromFile(turned, ""));
        component.RotatePages("1,3", c.angle);
        EXPECT_EQ(component.GetPageRotate(1), c.degrees);
        EXPECT_EQ(component.GetPageRotate(2), 0);
        const fs::path out = Save(component, "rotated.pdf");
        const std::string d = std::to_string(c.degrees);
        EXPECT_EQ(PageEntries(out, "/Rotate"), (std::vector<std::string>{d, "none", d, "none", "none"}));
        const fs::path expected = dir_.File("expected.pdf");
        testing::QpdfTransform(turned, expected, {"--rotate=" + d + ":1,3"});
        EXPECT_TRUE(HasPages(out, From(expected, {1, 2, 3, 4, 5})));
    }
}

TEST_F(PageOperationsTest, ExtractCopiesTheListedPagesInListOrder) {
    QZ_REQUIRE_TOOLS("qpdf", "pdfinfo", "pdftotext", "pdftoppm");
    // A loaded target is emptied first; it may outlive the source.
    TqzPDFDocument target;
    ASSERT_TRUE(target.LoadFromFile(two_, ""));
    {
        TqzPDFDocument component;
        ASSERT_TRUE(component.LoadFromFile(five_, ""));
        EventLog log;
        log.Attach(component);

        const fs::path toFile = dir_.File("extract.pdf");
        component.ExtractPagesTo(toFile, "4,2");
        EXPECT_TRUE(HasPages(toFile, Five({4, 2})));

        log.events.clear();
        component.ExtractPagesTo(target, "5,1-2");
        EXPECT_EQ(log.events, (std::vector<std::string>{"status: Extracting Pages...", "progress 3: 1/3",
                                                        "progress 3: 2/3", "progress 3: 3/3"}));
        EXPECT_EQ(target.GetPageCount(), 3);
        // The source is left as it was.
        EXPECT_TRUE(HasPages(Save(component, "source.pdf"), Five({1, 2, 3, 4, 5})));
    }
    EXPECT_TRUE(HasPages(Save(target, "target.pdf"), Five({5, 1, 2})));
}

TEST_F(PageOperationsTest, AppendAddsTheListedPagesAtTheEnd) {
    QZ_REQUIRE_TOOLS("qpdf", "pdfinfo", "pdftotext", "pdftoppm");
    TqzPDFDocument component;
    ASSERT_TRUE(component.LoadFromFile(two_, ""));
    EventLog log;
    log.Attach(component);
    component.AppendPagesFrom(five_, "2-3");
    {
        TqzPDFDocument source;
        ASSERT_TRUE(source.LoadFromFile(five_, ""));
        component.AppendPagesFrom(source, "5,1");
    }
    EXPECT_EQ(log.events, (std::vector<std::string>{"status: Appending Pages...", "progress 1: 1/2",
                                                    "progress 1: 2/2", "status: Appending Pages...",
                                                    "progress 1: 1/2", "progress 1: 2/2"}));
    const std::vector<SourcePage> expected = Join({Two({1, 2}), Five({2, 3, 5, 1})});
    EXPECT_TRUE(HasPages(Save(component, "appended.pdf"), expected));
}

TEST_F(PageOperationsTest, PagesFromFilesOutliveTheirSourcesAfterASave) {
    QZ_REQUIRE_TOOLS("qpdf", "pdfinfo", "pdftotext", "pdftoppm");
    // Compressed contents in object streams, encrypted: the pages' data is
    // read through the source's decryption at every save.
    const fs::path packed = dir_.Write(
        "packed.pdf", testing::MinimalDocument(3, "E", true).Write({.form = testing::XrefForm::ObjectStreams}));
    for (const auto level : {testing::QpdfEncryption::Rc4_40, testing::QpdfEncryption::Aes128}) {
        SCOPED_TRACE(static_cast<int>(level));
        const fs::path encrypted = Encrypted(dir_, packed, "encrypted.pdf", level);
        TqzPDFDocument component;
        ASSERT_TRUE(component.LoadFromFile(two_, ""));
        component.AppendPagesFrom(encrypted, "3,1");
        component.InsertPagesFrom(encrypted, "2", 0);
        const std::vector<SourcePage> expected = Join({From(packed, {2}), Two({1, 2}), From(packed, {3, 1})});
        EXPECT_TRUE(HasPages(Save(component, "first.pdf"), expected));
        // The sources were let go by the first save.
        EXPECT_TRUE(HasPages(Save(component, "second.pdf"), expected));
    }
}

TEST_F(PageOperationsTest, AppendToAComponentWithoutADocumentGivesExactlyTheSourcePages) {
    QZ_REQUIRE_TOOLS("qpdf", "pdfinfo", "pdftotext", "pdftoppm");
    TqzPDFDocument source;
    ASSERT_TRUE(source.LoadFromFile(five_, ""));
    {
        TqzPDFDocument fresh;
        fresh.AppendPagesFrom(source, "");
        EXPECT_TRUE(fresh.GetIsLoaded());
        EXPECT_TRUE(HasPages(Save(fresh, "from-component.pdf"), Five({1, 2, 3, 4, 5})));
    }
    {
        TqzPDFDocument fresh;
        fresh.AppendPagesFrom(two_, "");
        EXPECT_TRUE(HasPages(Save(fresh, "from-file.pdf"), Two({1, 2})));
    }
    {
        // A saved component is not loaded: it starts afresh.
        TqzPDFDocument saved;
        ASSERT_TRUE(saved.LoadFromFile(five_, ""));
        Save(saved, "saved.pdf");
        saved.AppendPagesFrom(two_, "2");
        EXPECT_TRUE(HasPages(Save(saved, "after-save.pdf"), Two({2})));
    }
    {
        TqzPDFDocument fresh;
        fresh.InsertPagesFrom(source, "4", 0);
        EXPECT_TRUE(HasPages(Save(fresh, "inserted.pdf"), Five({4})));
    }
}

TEST_F(PageOperationsTest, InsertPutsTheListedPagesAfterThePageGiven) {
    QZ_REQUIRE_TOOLS("qpdf", "pdfinfo", "pdftotext", "pdftoppm");
    TqzPDFDocument source;
    ASSERT_TRUE(source.LoadFromFile(five_, ""));
    TqzPDFDocument component;
    ASSERT_TRUE(component.LoadFromFile(two_, ""));
    EventLog log;
    log.Attach(component);
    component.InsertPagesFrom(source, "3,1", 0);
    EXPECT_EQ(log.events, (std::vector<std::string>{"status: Inserting Pages...", "progress 2: 1/2",
                                                    "progress 2: 2/2"}));
    component.InsertPagesFrom(five_, "5,4-5", 3);
    component.InsertPagesFrom(five_, "2", 7);
    EXPECT_TRUE(HasPages(Save(component, "inserted.pdf"),
                         Join({Five({3, 1}), Two({1}), Five({5, 4, 5}), Two({2}), Five({2})})));
}

TEST_F(PageOperationsTest, PagesOfTheDocumentItselfAreCopiedFromWhereTheyWere) {
    QZ_REQUIRE_TOOLS("qpdf", "pdfinfo", "pdftotext", "pdftoppm");
    TqzPDFDocument component;
    ASSERT_TRUE(component.LoadFromFile(five_, ""));
    // Copies going in after page 1 move pages 2 to 5 along; each listed
    // page is still the one the range named.
    component.InsertPagesFrom(component, "1,5,2-3", 1);
    component.AppendPagesFrom(component, "2,1");
    EXPECT_TRUE(HasPages(Save(component, "itself.pdf"), Five({1, 1, 5, 2, 3, 2, 3, 4, 5, 1, 1})));
    EXPECT_THROW(component.ExtractPagesTo(component, "1"), platform::Exception);
}

TEST_F(PageOperationsTest, GeometryIsReadInTheUnitAskedFor) {
    testing::PdfBuilder b;
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Set(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R 6 0 R] /Count 4 /MediaBox [0 0 612 792] "
             "/CropBox [36 72 576 720] >>");
    b.Set(3, "<< /Type /Page /Parent 2 0 R >>");
    b.Set(4, "<< /Type /Page /Parent 2 0 R /Rotate 450 /MediaBox [0 0 300 500] >>");
    b.Set(5, "<< /Type /Page /Parent 2 0 R /Rotate -90 /CropBox [0 0 100 200] >>");
    b.Set(6, "<< /Type /Page /Parent 2 0 R /Rotate 45 /CropBox [0 0 100 200] >>");
    const fs::path file = dir_.Write("boxes.pdf", b.Write());
    TqzPDFDocument component;
    ASSERT_TRUE(component.LoadFromFile(file, ""));

    const auto rect = [](const core::TqzRect& r) {
        return std::vector<double>{r.Left, r.Top, r.Right, r.Bottom};
    };
    // Pixels by default.
    EXPECT_EQ(rect(component.GetPageMediaBox(1)), (std::vector<double>{0, 0, 816, 1056}));
    EXPECT_EQ(rect(component.GetPageMediaBox(TqzMeasurementUnit::muInches, 1)),
              (std::vector<double>{0, 0, 8.5, 11}));
    component.SetMeasurementUnit(TqzMeasurementUnit::muPoints);
    EXPECT_EQ(rect(component.GetPageMediaBox(2)), (std::vector<double>{0, 0, 300, 500}));
    EXPECT_EQ(rect(component.GetPageCropBox(1, TqzMeasurementUnit::muInches)),
              (std::vector<double>{0.5, 1, 8, 10}));

    struct SizeCase {
        int32_t page;
        int32_t rotate;
        double width, height;
    };
    // Rotations are read modulo a full turn; a page turned a quarter shows
    // its height as width; a rotation that is no quarter turn shows upright.
    const std::vector<SizeCase> sizes = {{1, 0, 540, 648}, {2, 90, 648, 540}, {3, 270, 200, 100}, {4, 45, 100, 200}};
    for (const SizeCase& c : sizes) {
        SCOPED_TRACE(c.page);
        EXPECT_EQ(component.GetPageRotate(c.page), c.rotate);
        const TqzPageSize size = component.GetPageSize(c.page, TqzMeasurementUnit::muPoints);
        EXPECT_EQ(size.Width, c.width);
        EXPECT_EQ(size.Height, c.height);
    }
    EXPECT_DOUBLE_EQ(component.GetPageSize(2, TqzMeasurementUnit::muMM).Width, 648 / 2.83464);

    for (const int32_t bad : {0, 5, -1}) {
        const std::string message = "Invalid page number (" + std::to_string(bad) + ")";
        const std::vector<std::function<void()>> calls = {
            [&] { component.GetPageMediaBox(bad); },
            [&] { component.GetPageMediaBox(TqzMeasurementUnit::muMM, bad); },
            [&] { component.GetPageCropBox(bad, TqzMeasurementUnit::muMM); },
            [&] { component.GetPageRotate(bad); },
            [&] { component.GetPageSize(bad, TqzMeasurementUnit::muMM); },
        };
        for (const auto& call : calls) {
            try {
                call();
                ADD_FAILURE() << "page " << bad << " accepted";
            } catch (const EInvalidPageError& e) {
                EXPECT_EQ(std::string(e.what()), message);
            }
        }
    }
}

TEST_F(PageOperationsTest, BoxesAndTransitionsAreWrittenInPoints) {
    QZ_REQUIRE_TOOLS("qpdf");
    QZ_REQUIRE_PIKEPDF();
    testing::PdfBuilder b;
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Set(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 /CropBox [0 0 400 400] >>");
    b.Set(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /CropBox [1 1 2 2] >>");
    // No media box anywhere: setting one makes the page whole.
    b.Set(4, "<< /Type /Page /Parent 2 0 R >>");
    b.Set(5, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>");
    const fs::path file = dir_.Write("plain.pdf", b.Write());
    TqzPDFDocument component;
    ASSERT_TRUE(component.LoadFromFile(file, ""));
    component.SetMeasurementUnit(TqzMeasurementUnit::muMM);
    component.SetPageCropBox("1-2", {10, 20, 100, 200});
    component.SetMeasurementUnit(TqzMeasurementUnit::muPixels);
    component.SetPageMediaBox("2-3", {0, 0, 96, 192});
    component.SetPageTransitionEffect("3", 2.5f, TqzTransitionEffect::teDissolve);
    component.SetPageTransitionEffect("1", 1, TqzTransitionEffect::teWipeTopToBottom);
    const fs::path out = Save(component, "boxes.pdf");
    EXPECT_TRUE(testing::QpdfCheckPasses(out));
    EXPECT_EQ(PageEntries(out, "/CropBox"),
              (std::vector<std::string>{"[28.3464 56.6928 283.464 566.928]", "[28.3464 56.6928 283.464 566.928]",
                                        "[0 0 400 400]"}));
    EXPECT_EQ(PageEntries(out, "/MediaBox"), (std::vector<std::string>{"[0 0 612 792]", "[0 0 72 144]", "[0 0 72 144]"}));
    EXPECT_EQ(PageEntries(out, "/Dur"), (std::vector<std::string>{"1", "none", "2.5"}));
    EXPECT_EQ(PageEntries(out, "/Trans"),
              (std::vector<std::string>{"<</D 1 /Di 270 /S /Wipe /Type /Trans>>", "none",
                                        "<</D 2.5 /S /Dissolve /Type /Trans>>"}));
}

TEST_F(PageOperationsTest, ABadRangeOrPageNumberChangesNothing) {
    QZ_REQUIRE_TOOLS("qpdf", "pdfinfo", "pdftotext", "pdftoppm");
    TqzPDFDocument component;
    ASSERT_TRUE(component.LoadFromFile(five_, ""));
    TqzPDFDocument other;
    ASSERT_TRUE(other.LoadFromFile(two_, ""));
    const fs::path extracted = dir_.File("extracted.pdf");
    struct Case {
        std::string name;
        std::function<void()> call;
        std::string message;
    };
    const core::TqzRect box{0, 0, 10, 10};
    const std::vector<Case> cases = {
        {"delete", [&] { component.DeletePages("2,x"); }, "Invalid page range (2,x)"},
        {"delete past the end", [&] { component.DeletePages("1,6"); }, "Invalid page number (6)"},
        {"move from", [&] { component.MovePage(0, 1); }, "Invalid page number (0)"},
        {"move to", [&] { component.MovePage(1, 6); }, "Invalid page number (6)"},
        {"move to far", [&] { component.MovePage(1, std::numeric_limits<int32_t>::min()); },
         "Invalid page number (-2147483648)"},
        {"rotate", [&] { component.RotatePages("1,3-1", TqzRotationAngle::raCW90); }, "Invalid page range (3-1)"},
        {"crop", [&] { component.SetPageCropBox("1 6", box); }, "Invalid page number (6)"},
        {"media", [&] { component.SetPageMediaBox(",", box); }, "Invalid page range (,)"},
        {"transition", [&] { component.SetPageTransitionEffect("0", 1, TqzTransitionEffect::teDissolve); },
         "Invalid page number (0)"},
        {"extract to a component", [&] { component.ExtractPagesTo(other, "2,9"); }, "Invalid page number (9)"},
        {"extract to a file", [&] { component.ExtractPagesTo(extracted, "1--2"); }, "Invalid page range (1--2)"},
        {"append a component", [&] { component.AppendPagesFrom(other, "3"); }, "Invalid page number (3)"},
        {"append a file", [&] { component.AppendPagesFrom(two_, "1-a"); }, "Invalid page range (1-a)"},
        {"insert a component", [&] { component.InsertPagesFrom(other, "", 6); }, "Invalid page number (6)"},
        {"insert before the front", [&] { component.InsertPagesFrom(other, "1", -1); }, "Invalid page number (-1)"},
        {"insert a file", [&] { component.InsertPagesFrom(two_, "2-1", 0); }, "Invalid page range (2-1)"},
        {"append from nothing", [&] { other.AppendPagesFrom(component, "   "); }, "Invalid page range (   )"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            c.call();
            ADD_FAILURE() << "accepted";
        } catch (const EInvalidPageError& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
    EXPECT_FALSE(fs::exists(extracted));
    EXPECT_TRUE(HasPages(Save(component, "unchanged.pdf"), Five({1, 2, 3, 4, 5})));
    EXPECT_TRUE(HasPages(Save(other, "other.pdf"), Two({1, 2})));
}

TEST_F(PageOperationsTest, OperationsNeedADocument) {
    const fs::path out = dir_.File("out.pdf");
    TqzPDFDocument loaded;
    ASSERT_TRUE(loaded.LoadFromFile(two_, ""));
    TqzPDFDocument saved;
    ASSERT_TRUE(saved.LoadFromFile(two_, ""));
    Save(saved, "saved.pdf");
    TqzPDFDocument reset;
    ASSERT_TRUE(reset.LoadFromFile(two_, ""));
    reset.Reset();
    TqzPDFDocument fresh;
    for (TqzPDFDocument* empty : {&fresh, &saved, &reset}) {
        TqzPDFDocument& c = *empty;
        const core::TqzRect box{0, 0, 1, 1};
        EXPECT_THROW(c.DeletePages("1"), ENoDocumentError);
        EXPECT_THROW(c.MovePage(1, 1), ENoDocumentError);
        EXPECT_THROW(c.RotatePages("1", TqzRotationAngle::raCW90), ENoDocumentError);
        EXPECT_THROW(c.SetPageCropBox("1", box), ENoDocumentError);
        EXPECT_THROW(c.SetPageMediaBox("1", box), ENoDocumentError);
        EXPECT_THROW(c.SetPageTransitionEffect("1", 1, TqzTransitionEffect::teNone), ENoDocumentError);
        EXPECT_THROW(c.ExtractPagesTo(out, "1"), ENoDocumentError);
        EXPECT_THROW(c.ExtractPagesTo(loaded, "1"), ENoDocumentError);
        // Pages are not taken from a component without a document.
        EXPECT_THROW(loaded.AppendPagesFrom(c, ""), ENoDocumentError);
        EXPECT_THROW(loaded.InsertPagesFrom(c, "", 0), ENoDocumentError);
        EXPECT_EQ(c.GetPageRotate(1), -1);
        EXPECT_EQ(c.GetPageMediaBox(1).Right, 0);
        EXPECT_EQ(c.GetPageCropBox(1, TqzMeasurementUnit::muPoints).Right, 0);
        EXPECT_EQ(c.GetPageSize(1, TqzMeasurementUnit::muPoints).Width, 0);
    }
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(loaded.GetPageCount(), 2);
}

}  // namespace
}  // namespace qz::component
