// Damaged page trees, merged as the window merges: every page a reader
// shows is carried, once per appearance, whether the file is merged alone
// (it is then the base of the merge and written back) or after another file.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "component/ComponentExceptions.h"
#include "component/PDFDocument.h"
#include "component/tests/ComponentTestSupport.h"

namespace qz::component {
namespace {

using testing::MinimalDocument;
using testing::PdfBuilder;

// MinimalDocument's page k is object 2k + 2; its contents 2k + 3.
std::string PageText(int32_t k, const std::string& type = "/Type /Page", const std::string& parent = "2") {
    return "<< " + type + " /Parent " + parent + " 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R >> >> "
           "/Contents " + std::to_string(2 * k + 3) + " 0 R >>";
}

struct TreeCase {
    const char* what;
    const char* marker;
    PdfBuilder (*make)(const std::string& marker);
    // The pages a repairing reader shows, as page numbers of an undamaged
    // MinimalDocument with the same marker.
    std::vector<int32_t> pages;
};

const TreeCase kTreeCases[] = {
    {"a page listed twice in /Kids", "TWICE",
     [](const std::string& m) {
         PdfBuilder b = MinimalDocument(2, m);
         b.Set(2, "<< /Type /Pages /Kids [4 0 R 4 0 R 6 0 R] /Count 3 >>");
         return b;
     },
     {1, 1, 2}},
    {"the catalog names a page as the root", "LONE",
     [](const std::string& m) {
         PdfBuilder b = MinimalDocument(1, m);
         b.Set(1, "<< /Type /Catalog /Pages 4 0 R >>");
         b.Set(4, PageText(1, "/Type /Page", "1"));
         return b;
     },
     {1}},
    {"nodes with a missing or wrong /Type, a page without one", "UNTYPED",
     [](const std::string& m) {
         PdfBuilder b = MinimalDocument(3, m);
         b.Set(2, "<< /Type /Pages /Kids [20 0 R 21 0 R] /Count 3 >>");
         b.Set(20, "<< /Parent 2 0 R /Kids [4 0 R 6 0 R] /Count 2 >>");
         b.Set(21, "<< /Type /Catalog /Parent 2 0 R /Kids [8 0 R] /Count 1 >>");
         b.Set(6, PageText(2, "", "20"));
         return b;
     },
     {1, 2, 3}},
    {"a direct kid and a wrong /Count", "DIRECT",
     [](const std::string& m) {
         PdfBuilder b = MinimalDocument(3, m);
         b.Set(2, "<< /Type /Pages /Kids [4 0 R " + PageText(2) + " 8 0 R] /Count 1 >>");
         return b;
     },
     {1, 2, 3}},
    {"a missing /Count", "NOCOUNT",
     [](const std::string& m) {
         PdfBuilder b = MinimalDocument(2, m);
         b.Set(2, "<< /Type /Pages /Kids [4 0 R 6 0 R] >>");
         return b;
     },
     {1, 2}},
    {"a page whose /Type is misspelled", "MISSPELT",
     [](const std::string& m) {
         PdfBuilder b = MinimalDocument(2, m);
         b.Set(6, PageText(2, "/Type /PAge"));
         return b;
     },
     {1, 2}},
    {"a /Count far above the one kid", "HUGECOUNT",
     [](const std::string& m) {
         PdfBuilder b = MinimalDocument(1, m);
         b.Set(2, "<< /Type /Pages /Kids [4 0 R] /Count 2147483647 >>");
         return b;
     },
     {1}},
    {"a page holding an array nested 100,000 deep", "DEEP",
     [](const std::string& m) {
         PdfBuilder b = MinimalDocument(2, m);
         const std::string deep = std::string(100000, '[') + std::string(100000, ']');
         b.Set(6, "<< /Type /Page /Parent 2 0 R /PieceInfo << /Deep " + deep +
                      " >> /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R >> >> /Contents 7 0 R >>");
         return b;
     },
     {1, 2}},
    {"a /Kids cycle", "CYCLE",
     [](const std::string& m) {
         PdfBuilder b = MinimalDocument(2, m);
         b.Set(2, "<< /Type /Pages /Kids [20 0 R 6 0 R] /Count 2 >>");
         b.Set(20, "<< /Type /Pages /Parent 2 0 R /Kids [4 0 R 2 0 R 20 0 R] /Count 1 >>");
         return b;
     },
     {1, 2}},
};

// The output's page tree is sound (one root listing every page, /Count
// right, so every reader counts alike) and its pages are `pages` of the
// undamaged `reference`, after `before` pages of another file.
void ExpectPages(const fs::path& pdf, const fs::path& reference, const std::vector<int32_t>& pages,
                 int32_t before) {
    EXPECT_TRUE(testing::QpdfCheckPasses(pdf));
    const auto count = static_cast<int32_t>(pages.size());
    ASSERT_EQ(testing::PdfInfoPages(pdf), before + count);
    const auto npages = testing::RunProgram({"qpdf", "--show-npages", pdf.string()});
    EXPECT_EQ(npages.out, std::to_string(before + count) + "\n") << npages.Describe();
    for (int32_t i = 0; i < count; ++i) {
        EXPECT_TRUE(testing::SameRenders(pdf, reference, before + i + 1, before + i + 1, pages[static_cast<size_t>(i)]));
    }
}

std::string CaseName(const ::testing::TestParamInfo<TreeCase>& param) {
    std::string name;
    for (const char* p = param.param.what; *p; ++p) {
        if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
    }
    return name;
}

class PageTreeMergeTest : public ::testing::TestWithParam<TreeCase> {
protected:
    testing::TempDir dir_{"qz-pagetree-merge"};
};

TEST_P(PageTreeMergeTest, EveryPageAReaderShowsIsMergedOncePerAppearance) {
    QZ_REQUIRE_TOOLS("qpdf", "pdfinfo", "pdftoppm");
    const TreeCase& c = GetParam();
    const fs::path source = dir_.Write("source.pdf", c.make(c.marker).Write());
    const int32_t highest = *std::max_element(c.pages.begin(), c.pages.end());
    const fs::path reference = WriteMarkedPdf(dir_, "reference.pdf", highest, c.marker);
    const fs::path first = WriteMarkedPdf(dir_, "first.pdf", 1, "FIRST");

    // Alone, the file is the base of the merge and is written back.
    const fs::path alone = dir_.File("alone.pdf");
    {
        TqzPDFDocument component;
        component.MergeDocs(Paths({source}));
        component.SaveToFile(alone, false, false);
    }
    ExpectPages(alone, reference, c.pages, 0);

    const fs::path second = dir_.File("second.pdf");
    {
        TqzPDFDocument component;
        component.MergeDocs(Paths({first, source}));
        component.SaveToFile(second, false, false);
    }
    ExpectPages(second, reference, c.pages, 1);
    EXPECT_TRUE(testing::SameRenders(second, first, 1, 1));
}

INSTANTIATE_TEST_SUITE_P(DamagedTrees, PageTreeMergeTest, ::testing::ValuesIn(kTreeCases), CaseName);

TEST(RepairedFileMergeTest, ARepairThatFindsNoPageIsRefusedNamingTheFile) {
    testing::TempDir dir("qz-no-page");
    // The cross-reference is unreadable and the one kid names nothing: the
    // scan finds the catalog and the root node but no page.
    PdfBuilder b = MinimalDocument(1, "LOST");
    b.Set(2, "<< /Type /Pages /Kids [40 0 R] /Count 1 >>");
    const fs::path damaged = dir.Write("damaged.pdf", b.Write({.damage = {.startxref = 7}}));
    const fs::path first = WriteMarkedPdf(dir, "first.pdf", 1, "FIRST");
    for (const auto& list : {Paths({first, damaged}), Paths({damaged, first})}) {
        TqzPDFDocument component;
        try {
            component.MergeDocs(list);
            ADD_FAILURE() << "the merge went on without the damaged file's pages";
        } catch (const EMergeError& e) {
            EXPECT_EQ(e.Source(), damaged.string());
            EXPECT_NE(std::string(e.what()).find(ENoPageFound::kMessage), std::string::npos) << e.what();
        }
    }
    // An intact file without pages is merged as the nothing it holds.
    PdfBuilder empty = MinimalDocument(1, "EMPTY");
    empty.Set(2, "<< /Type /Pages /Kids [] /Count 0 >>");
    const fs::path blank = dir.Write("blank.pdf", empty.Write());
    TqzPDFDocument component;
    component.MergeDocs(Paths({first, blank}));
    EXPECT_EQ(component.GetPageCount(), 1);
}

}  // namespace
}  // namespace qz::component
