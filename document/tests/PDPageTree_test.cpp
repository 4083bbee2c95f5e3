// The page tree: reading (order, cycles, /Count, depth), inherited
// attributes, list operations, and the flat write-back.

#include "document/PDPageTree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/PDArray.h"
#include "core/PDDictionary.h"
#include "core/PDInteger.h"
#include "document/PDBaseDoc.h"
#include "document/PDCatalog.h"
#include "document/PDDocument.h"
#include "document/PDPage.h"
#include "document/tests/DocumentTestSupport.h"
#include "platform/Streams.h"
#include "testing/GTestSupport.h"
#include "testing/PdfBuilder.h"
#include "testing/TempDir.h"
#include "testing/Tools.h"

namespace qz::document {
namespace {

namespace fs = std::filesystem;
using qz::testing::MarkerPageContent;
using qz::testing::MinimalDocument;
using qz::testing::PdfBuilder;

TqzPDSaveFlags FullSave() {
    TqzPDSaveFlags flags;
    flags.Full = true;
    return flags;
}

// Page k (1-based) of a builder document made here: object 100 + 2k with
// contents 101 + 2k showing "<marker>-k" in /F1 (object 9, Helvetica).
std::string Page(int32_t k, int32_t parent, const std::string& extra = "") {
    return "<< /Type /Page /Parent " + std::to_string(parent) + " 0 R /Contents " + std::to_string(101 + 2 * k) +
           " 0 R " + extra + " >>";
}
std::string PageRef(int32_t k) { return std::to_string(100 + 2 * k) + " 0 R"; }
void AddPage(PdfBuilder& b, int32_t k, int32_t parent, const std::string& marker, const std::string& extra = "") {
    b.Set(100 + 2 * k, Page(k, parent, extra));
    b.SetStream(101 + 2 * k, "<< >>", MarkerPageContent(marker, k));
}
PdfBuilder Base() {
    PdfBuilder b;
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Set(9, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    return b;
}
const char* kRootAttributes = "/MediaBox [0 0 612 792] /Resources << /Font << /F1 9 0 R >> >>";

class PageTreeTest : public ::testing::Test {
protected:
    qz::testing::TempDir dir_{"qz-pagetree"};

    std::unique_ptr<TqzPDDocument> Load(const std::string& bytes) {
        auto doc = std::make_unique<TqzPDDocument>();
        doc->LoadDocument(MemoryFile(bytes));
        return doc;
    }
    // The markers of the pages' contents, in page order.
    static std::vector<uint32_t> PageNumbers(TqzPDDocument& doc) {
        std::vector<uint32_t> numbers;
        for (int32_t n = 1; n <= doc.GetPageCount(); ++n) {
            numbers.push_back(doc.GetCatalog()->GetPageTree()->GetPageObjectNumber(n));
            EXPECT_EQ(doc.GetPage(n)->GetPageNum(), n);
        }
        return numbers;
    }
};

TEST_F(PageTreeTest, TwoLevelTreeReadsInOrderAndSavesFlatWithWhatPagesInherited) {
    PdfBuilder b = Base();
    b.Set(2, std::string("<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 5 /Rotate 180 ") + kRootAttributes + " >>");
    b.Set(3, "<< /Type /Pages /Parent 2 0 R /Kids [" + PageRef(1) + " " + PageRef(2) + " " + PageRef(3) +
                 "] /Count 3 /Rotate 90 /MediaBox [0 0 300 400] /Resources << /Font << /F1 10 0 R >> >> >>");
    b.Set(4, "<< /Type /Pages /Parent 2 0 R /Kids [" + PageRef(4) + " " + PageRef(5) + "] /Count 2 >>");
    b.Set(10, "<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>");
    for (int32_t k = 1; k <= 5; ++k) AddPage(b, k, k <= 3 ? 3 : 4, "TREE", k == 2 ? "/Rotate 270" : "");
    const fs::path input = dir_.Write("tree.pdf", b.Write());
    const fs::path output = dir_.File("tree-saved.pdf");
    {
        TqzPDDocument doc;
        doc.LoadDocument(input);
        EXPECT_EQ(PageNumbers(doc), (std::vector<uint32_t>{102, 104, 106, 108, 110}));
        // A node's own /Rotate wins over the root's; a page's own over both.
        EXPECT_EQ(doc.GetPage(1)->GetRotate(), 90);
        EXPECT_EQ(doc.GetPage(2)->GetRotate(), 270);
        EXPECT_EQ(doc.GetPage(4)->GetRotate(), 180);
        EXPECT_EQ(doc.GetPage(1)->GetMediaBox()->GetRight(), 300);
        EXPECT_TRUE(doc.GetPage(1)->IsInheritedMediaBox());
        EXPECT_EQ(doc.GetPage(4)->GetMediaBox()->GetRight(), 612);
        doc.SaveDocument(output, FullSave());
    }
    TqzPDDocument saved;
    saved.LoadDocument(output);
    auto* root = saved.GetCatalog()->GetPageTree()->GetRoot();
    ASSERT_EQ(static_cast<core::TqzPDArray*>(root->LookUp("Kids"))->GetLength(), 5);
    EXPECT_EQ(static_cast<core::TqzPDInteger*>(root->LookUp("Count"))->GetValue(), 5);
    // The intermediate nodes are gone; their attributes live in the pages.
    EXPECT_EQ(platform::ReadFileBytes(output).find("/Count 3"), std::string::npos);
    for (int32_t n = 1; n <= 5; ++n) {
        core::TqzPDDictionary* page = saved.GetPage(n)->GetDict();
        EXPECT_EQ(page->LookUp("Parent"), root);
        EXPECT_EQ(page->LookupRefObj("Rotate") != nullptr, n <= 3) << n;
        EXPECT_EQ(page->LookupRefObj("MediaBox") != nullptr, n <= 3) << n;
    }
    EXPECT_EQ(saved.GetPage(1)->GetRotate(), 90);
    EXPECT_EQ(saved.GetPage(2)->GetRotate(), 270);
    EXPECT_EQ(saved.GetPage(4)->GetRotate(), 180);
    if (qz::testing::HaveTool("pdftoppm") && qz::testing::HaveTool("qpdf")) {
        EXPECT_TRUE(qz::testing::QpdfCheckPasses(output));
        EXPECT_TRUE(qz::testing::SameRenders(input, output));
    }
}

TEST_F(PageTreeTest, CyclesEndAndRepeatedPagesAppearAgain) {
    PdfBuilder b = Base();
    b.Set(2, std::string("<< /Type /Pages /Kids [3 0 R 3 0 R 2 0 R " + PageRef(1) + "] /Count 9 ") + kRootAttributes + " >>");
    b.Set(3, "<< /Type /Pages /Parent 2 0 R /Kids [" + PageRef(2) + " 2 0 R 3 0 R " + PageRef(2) + " 4 0 R] >>");
    b.Set(4, "<< /Type /Pages /Parent 3 0 R /Kids [3 0 R " + PageRef(1) + " 2 0 R] >>");
    AddPage(b, 1, 2, "CYCLE");
    AddPage(b, 2, 3, "CYCLE");
    const std::string cyclic = b.Write();
    auto doc = Load(cyclic);
    // Nodes are entered once, so the cycles end; a page listed again is shown
    // again, as a page object of its own over the same contents.
    const std::vector<uint32_t> numbers = PageNumbers(*doc);
    ASSERT_EQ(numbers.size(), 4U);
    EXPECT_EQ(numbers[0], 104U);
    EXPECT_EQ(numbers[2], 102U);
    EXPECT_GT(numbers[1], 104U);
    EXPECT_GT(numbers[3], numbers[1]);
    EXPECT_EQ(doc->GetPage(2)->GetDict()->LookupRefObj("Contents")->GetObjNumber(), 105U);
    EXPECT_EQ(doc->GetPage(4)->GetDict()->LookupRefObj("Contents")->GetObjNumber(), 103U);
    // Saved flat, and merged into another document, it is a sound tree.
    const fs::path flat = dir_.File("cycle-flat.pdf");
    doc->SaveDocument(flat, FullSave());
    auto target = Load(MinimalDocument(1, "T").Write());
    auto source = Load(cyclic);
    target->MergeDocs(*source, TqzPageInsertFlages::InsertAll);
    const fs::path merged = dir_.File("cycle-merged.pdf");
    target->SaveDocument(merged, FullSave());
    if (qz::testing::HaveTool("qpdf") && qz::testing::HaveTool("pdfinfo")) {
        EXPECT_TRUE(qz::testing::QpdfCheckPasses(flat));
        EXPECT_TRUE(qz::testing::QpdfCheckPasses(merged));
        EXPECT_EQ(qz::testing::PdfInfoPages(flat), 4);
        EXPECT_EQ(qz::testing::PdfInfoPages(merged), 5);
    }
}

TEST_F(PageTreeTest, RepeatsCannotMultiplyWhatTheFileHolds) {
    // Cheap to list, costly to read: one /Kids array shared by many nodes,
    // and a large page listed many times. Each is read in bounded time and
    // memory, with the page shown at least once.
    struct Case {
        const char* what;
        int32_t nodes;    // nodes under the root sharing /Kids 50 0 R
        int32_t repeats;  // times 50 0 R lists the page
        int32_t bigArray; // direct integers in the page
        int32_t fewest, most;
    };
    const Case cases[] = {
        {"a /Kids array shared by 2000 nodes", 2000, 2000, 0, 2000, 2000},
        {"a page of 20000 values listed 20000 times", 1, 20000, 20000, 2, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PdfBuilder b = Base();
        std::string big;
        for (int32_t i = 0; i < c.bigArray; ++i) big += "0 ";
        b.Set(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 10 10] /Big [" + big + "] >>");
        std::string refs;
        for (int32_t i = 0; i < c.repeats; ++i) refs += "3 0 R ";
        b.Set(50, "[" + refs + "]");
        std::string nodes;
        for (int32_t i = 0; i < c.nodes; ++i) {
            b.Set(100 + i, "<< /Type /Pages /Parent 2 0 R /Kids 50 0 R >>");
            nodes += std::to_string(100 + i) + " 0 R ";
        }
        b.Set(2, "<< /Type /Pages /Kids [" + nodes + "] /Count 1 >>");
        auto doc = Load(b.Write());
        EXPECT_GE(doc->GetPageCount(), c.fewest);
        EXPECT_LE(doc->GetPageCount(), c.most);
    }
}

TEST_F(PageTreeTest, CountIsThePagesFound) {
    for (const char* claimed : {"7", "2", "0", "/Seven"}) {
        SCOPED_TRACE(claimed);
        PdfBuilder b = MinimalDocument(5, "COUNT");
        b.Set(2, "<< /Type /Pages /Kids [4 0 R 6 0 R 8 0 R 10 0 R 12 0 R] /Count " + std::string(claimed) + " >>");
        auto doc = Load(b.Write());
        EXPECT_EQ(doc->GetPageCount(), 5);
        EXPECT_NE(doc->GetPage(5), nullptr);
        EXPECT_EQ(doc->GetPage(6), nullptr);  // no wrap-around onto page 1
        EXPECT_EQ(doc->GetPage(0), nullptr);
        EXPECT_EQ(doc->GetPage(-1), nullptr);
        // Appending goes after the last page found.
        auto source = Load(MinimalDocument(2, "ADDED").Write());
        doc->MergeDocs(*source, TqzPageInsertFlages::InsertAll);
        const fs::path out = dir_.File("count.pdf");
        doc->SaveDocument(out, FullSave());
        TqzPDDocument saved;
        saved.LoadDocument(out);
        EXPECT_EQ(saved.GetPageCount(), 7);
        auto* root = saved.GetCatalog()->GetPageTree()->GetRoot();
        EXPECT_EQ(static_cast<core::TqzPDInteger*>(root->LookUp("Count"))->GetValue(), 7);
    }
}

TEST_F(PageTreeTest, RootWithoutTypeIsFlattenedWithTheInsertedPages) {
    PdfBuilder b = MinimalDocument(2, "UNTYPED");
    b.Set(2, "<< /Kids [4 0 R 6 0 R] /Count 2 >>");
    auto doc = Load(b.Write());
    auto source = Load(MinimalDocument(3, "ADDED").Write());
    doc->MergeDocs(*source, TqzPageInsertFlages::InsertAll);
    const fs::path out = dir_.File("untyped.pdf");
    doc->SaveDocument(out, FullSave());
    TqzPDDocument saved;
    saved.LoadDocument(out);
    EXPECT_EQ(saved.GetPageCount(), 5);
    if (qz::testing::HaveTool("pdfinfo")) {
        EXPECT_EQ(qz::testing::PdfInfoPages(out), 5);
    }
}

TEST_F(PageTreeTest, RootStoredInTheCatalogGetsANumberOfItsOwn) {
    PdfBuilder b = MinimalDocument(2, "DIRECT");
    b.Set(1, "<< /Type /Catalog /Pages << /Type /Pages /Kids [4 0 R 6 0 R] /Count 2 >> >>");
    auto doc = Load(b.Write());
    ASSERT_EQ(doc->GetPageCount(), 2);
    const fs::path out = dir_.File("direct-root.pdf");
    doc->SaveDocument(out, FullSave());
    TqzPDDocument saved;
    saved.LoadDocument(out);
    ASSERT_EQ(saved.GetPageCount(), 2);
    EXPECT_TRUE(saved.GetBaseDoc()->GetDocRoot()->LookupRefObj("Pages")->IsIndirectRef());
    EXPECT_EQ(saved.GetPage(1)->GetDict()->LookUp("Parent"), saved.GetCatalog()->GetPageTree()->GetRoot());
    if (qz::testing::HaveTool("qpdf")) {
        EXPECT_TRUE(qz::testing::QpdfCheckPasses(out));
    }
}

TEST_F(PageTreeTest, TenThousandLevelsDeepReadsWithoutRecursion) {
    constexpr int32_t kDepth = 10000;
    PdfBuilder b = Base();
    // Node n (object 1000 + n) holds node n + 1; the deepest holds the page.
    // One node half-way down rotates everything below it.
    b.Set(2, std::string("<< /Type /Pages /Kids [1001 0 R] /Count 1 ") + kRootAttributes + " >>");
    for (int32_t n = 1; n <= kDepth; ++n) {
        const std::string kid = n < kDepth ? std::to_string(1001 + n) + " 0 R" : PageRef(1);
        const std::string parent = n == 1 ? "2" : std::to_string(999 + n);
        b.Set(1000 + n, "<< /Type /Pages /Parent " + parent + " 0 R /Kids [" + kid + "] /Count 1" +
                            (n == kDepth / 2 ? " /Rotate 90" : "") + " >>");
    }
    AddPage(b, 1, 1000 + kDepth, "DEEP");
    const fs::path input = dir_.Write("deep.pdf", b.Write());
    const fs::path out = dir_.File("deep-merged.pdf");
    {
        TqzPDDocument doc;
        doc.LoadDocument(dir_.Write("deep-target.pdf", MinimalDocument(1, "T").Write()));
        TqzPDDocument deep;
        deep.LoadDocument(input);
        ASSERT_EQ(deep.GetPageCount(), 1);
        EXPECT_EQ(deep.GetPage(1)->GetRotate(), 90);
        doc.MergeDocs(deep, TqzPageInsertFlages::InsertAll);
        doc.SaveDocument(out, FullSave());
        // The deep document is saved too: its one page takes what the nodes gave.
        deep.SaveDocument(dir_.File("deep-saved.pdf"), FullSave());
    }
    TqzPDDocument saved;
    saved.LoadDocument(out);
    ASSERT_EQ(saved.GetPageCount(), 2);
    EXPECT_EQ(saved.GetPage(2)->GetRotate(), 90);
    TqzPDDocument flattened;
    flattened.LoadDocument(dir_.File("deep-saved.pdf"));
    EXPECT_EQ(flattened.GetPage(1)->GetRotate(), 90);
    if (qz::testing::HaveTool("qpdf")) {
        EXPECT_TRUE(qz::testing::QpdfCheckPasses(out));
        EXPECT_TRUE(qz::testing::QpdfCheckPasses(dir_.File("deep-saved.pdf")));
    }
}

TEST_F(PageTreeTest, DeleteMoveAndCreate) {
    const std::string four = MinimalDocument(4, "L").Write();  // pages are objects 4, 6, 8, 10
    {
        auto doc = Load(four);
        TqzPDPageTree& tree = *doc->GetCatalog()->GetPageTree();
        core::TqzPDDictionary* second = tree.GetPage(2)->GetDict();
        tree.DeletePages(2, 3);
        EXPECT_EQ(PageNumbers(*doc), (std::vector<uint32_t>{4, 10}));
        EXPECT_EQ(second->LookupRefObj("Parent"), nullptr);
        tree.DeletePages(3, 3);  // out of range: nothing
        tree.DeletePage(0);
        EXPECT_EQ(tree.GetCount(), 2);
        tree.DeletePage(1);
        EXPECT_EQ(PageNumbers(*doc), (std::vector<uint32_t>{10}));
    }
    {
        auto doc = Load(four);
        TqzPDPageTree& tree = *doc->GetCatalog()->GetPageTree();
        tree.MovePage(0, 3);
        EXPECT_EQ(PageNumbers(*doc), (std::vector<uint32_t>{8, 4, 6, 10}));
        tree.MovePage(3, 2);
        EXPECT_EQ(PageNumbers(*doc), (std::vector<uint32_t>{8, 6, 10, 4}));
        tree.MovePage(4, 1);  // past the end after taking the page out: last
        EXPECT_EQ(PageNumbers(*doc), (std::vector<uint32_t>{6, 10, 4, 8}));
        tree.MovePage(5, 1);  // out of range: nothing
        EXPECT_EQ(PageNumbers(*doc), (std::vector<uint32_t>{6, 10, 4, 8}));
    }
    {
        auto doc = Load(four);
        TqzPDPageTree& tree = *doc->GetCatalog()->GetPageTree();
        EXPECT_EQ(tree.CreatePage(0, {0, 0, 100, 100}), nullptr);
        EXPECT_EQ(tree.CreatePage(6, {0, 0, 100, 100}), nullptr);
        TqzPDPage* made = tree.CreatePage(5, {0, 0, 200, 300});
        ASSERT_NE(made, nullptr);
        EXPECT_EQ(tree.GetCount(), 5);
        EXPECT_EQ(made->GetPageNum(), 5);
        EXPECT_EQ(made->GetPageSize().Width, 200);
        const fs::path out = dir_.File("created.pdf");
        doc->SaveDocument(out, FullSave());
        if (qz::testing::HaveTool("qpdf")) {
            EXPECT_TRUE(qz::testing::QpdfCheckPasses(out));
            EXPECT_EQ(qz::testing::PdfInfoPages(out), 5);
        }
    }
}

}  // namespace
}  // namespace qz::document
