// Page insertion end to end: documents made by Ghostscript, qpdf and the
// fixture builder are merged through the model, saved in full and checked
// with the outside tools (structure, page count, renders, size).

#include "document/PDPageInsertion.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "core/PDArray.h"
#include "core/PDBoolean.h"
#include "core/PDDictionary.h"
#include "core/PDName.h"
#include "document/PDBaseDoc.h"
#include "document/PDCatalog.h"
#include "document/PDDocument.h"
#include "document/PDModelException.h"
#include "document/PDPage.h"
#include "document/PDPageTree.h"
#include "platform/Streams.h"
#include "testing/GTestSupport.h"
#include "testing/PdfBuilder.h"
#include "testing/PostScript.h"
#include "testing/TempDir.h"
#include "testing/Tools.h"

namespace qz::document {
namespace {

namespace fs = std::filesystem;
using qz::testing::MinimalDocument;
using qz::testing::PdfBuilder;
using qz::testing::TempDir;

TqzPDSaveFlags FullSave() {
    TqzPDSaveFlags flags;
    flags.Full = true;
    return flags;
}

// Appends every page of `source` to `target` and saves the result.
void MergeFiles(const fs::path& target, const fs::path& source, const fs::path& output) {
    TqzPDDocument merged;
    merged.LoadDocument(target);
    TqzPDDocument added;
    added.LoadDocument(source);
    merged.MergeDocs(added, TqzPageInsertFlages::InsertAll);
    merged.SaveDocument(output, FullSave());
}

// Page dictionaries written into a file of ours (the writer puts a blank
// after every key and value).
int32_t PageObjectsIn(const std::string& bytes) {
    static const std::regex page("/Type /Page[^s]");
    return static_cast<int32_t>(std::distance(std::sregex_iterator(bytes.begin(), bytes.end(), page),
                                              std::sregex_iterator()));
}

int32_t Occurrences(const std::string& bytes, const std::string& text) {
    int32_t count = 0;
    for (size_t at = bytes.find(text); at != std::string::npos; at = bytes.find(text, at + 1)) ++count;
    return count;
}

// Output no larger than the inputs together, with room for the structure
// a merge adds (a page tree, a cross-reference line per object).
void ExpectSizeWithinInputs(const fs::path& output, const fs::path& a, const fs::path& b) {
    const auto inputs = fs::file_size(a) + fs::file_size(b);
    EXPECT_LE(fs::file_size(output), inputs + inputs / 10 + 4096)
        << output << " is " << fs::file_size(output) << " bytes from inputs of " << inputs;
}

// A page tree whose intermediate nodes give their pages /MediaBox, /CropBox,
// /Rotate and /Resources (direct on one node, indirect on the other), each
// node with a different font, so a page that loses what it inherits renders
// differently.
std::string InheritingTree() {
    PdfBuilder b;
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Set(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 5 /MediaBox [0 0 612 792] "
             "/Resources << /Font << /F1 9 0 R >> >> >>");
    b.Set(3, "<< /Type /Pages /Parent 2 0 R /Kids [5 0 R 6 0 R 7 0 R] /Count 3 /MediaBox [0 0 400 500] "
             "/Rotate 90 /Resources << /Font << /F1 10 0 R >> >> >>");
    b.Set(4, "<< /Type /Pages /Parent 2 0 R /Kids [8 0 R 11 0 R] /Count 2 /Resources 12 0 R "
             "/CropBox [20 20 500 700] /Rotate 180 >>");
    b.Set(9, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    b.Set(10, "<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>");
    b.Set(12, "<< /Font << /F1 13 0 R >> >>");
    b.Set(13, "<< /Type /Font /Subtype /Type1 /BaseFont /Times-Bold >>");
    const int32_t pages[] = {5, 6, 7, 8, 11};
    const int32_t parents[] = {3, 3, 3, 4, 4};
    int32_t next = 20;
    for (int32_t i = 0; i < 5; ++i) {
        const int32_t content = next++;
        b.Set(pages[i], "<< /Type /Page /Parent " + std::to_string(parents[i]) + " 0 R /Contents " +
                            std::to_string(content) + " 0 R >>");
        b.SetStream(content, "<< >>", qz::testing::MarkerPageContent("TREE", i + 1), true);
    }
    return b.Write();
}

class PageInsertionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir("qz-insert");
        dir_->Write("builder.pdf", MinimalDocument(2, "BUILT").Write());
        dir_->Write("tree.pdf", InheritingTree());
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    // The files made by Ghostscript and qpdf, on first need only: each test
    // runs in a process of its own.
    static void MakeToolFiles() {
        if (toolFilesMade_) return;
        toolFilesMade_ = true;
        using namespace qz::testing;
        const auto text = dir_->File("text.pdf");
        MakeWithGhostscript(PsTextPages(3, "TEXT"), text);
        MakeWithGhostscript(PsImagePage(160, 120, true, true, "IMAGE"), dir_->File("image.pdf"));
        MakeWithGhostscript(PsVectorPages(2, "VECTOR"), dir_->File("vector.pdf"));
        MakeWithGhostscript(PsSizedPage(300, 500, 90, "ROTATED"), dir_->File("rotated.pdf"));
        QpdfTransform(dir_->File("vector.pdf"), dir_->File("aes.pdf"), QpdfEncryptArgs("", "owner", QpdfEncryption::Aes128));
        QpdfTransform(text, dir_->File("rc4.pdf"), QpdfEncryptArgs("", "owner", QpdfEncryption::Rc4_40));
        QpdfTransform(text, dir_->File("objstm.pdf"), {"--object-streams=generate"});
    }

    static TempDir* dir_;
    static bool toolFilesMade_;
};

TempDir* PageInsertionTest::dir_ = nullptr;
bool PageInsertionTest::toolFilesMade_ = false;

TEST_F(PageInsertionTest, MergedFilesPassCheckCountAndRenderAsTheirSources) {
    QZ_REQUIRE_TOOLS("gs", "qpdf", "pdftoppm", "pdfinfo");
    MakeToolFiles();
    const std::pair<const char*, const char*> pairs[] = {
        {"text.pdf", "image.pdf"},  {"image.pdf", "vector.pdf"}, {"builder.pdf", "tree.pdf"},
        {"tree.pdf", "text.pdf"},   {"text.pdf", "aes.pdf"},     {"vector.pdf", "rc4.pdf"},
        {"rotated.pdf", "objstm.pdf"},
    };
    for (const auto& [first, second] : pairs) {
        SCOPED_TRACE(std::string(first) + " + " + second);
        const fs::path a = dir_->File(first);
        const fs::path b = dir_->File(second);
        const fs::path out = dir_->File(std::string("merged-") + first + "-" + second);
        MergeFiles(a, b, out);
        EXPECT_TRUE(qz::testing::QpdfCheckPasses(out));
        const int32_t pagesA = qz::testing::PdfInfoPages(a);
        const int32_t pagesB = qz::testing::PdfInfoPages(b);
        ASSERT_EQ(qz::testing::PdfInfoPages(out), pagesA + pagesB);
        EXPECT_TRUE(qz::testing::SameRenders(out, a, 1, pagesA, 1));
        EXPECT_TRUE(qz::testing::SameRenders(out, b, pagesA + 1, pagesA + pagesB, 1));
        ExpectSizeWithinInputs(out, a, b);
    }
}

TEST_F(PageInsertionTest, SharedFontAndImageAreCopiedOnce) {
    QZ_REQUIRE_TOOLS("qpdf", "pdftoppm");
    // 300 pages drawing one embedded TrueType font and one image.
    const std::string font = platform::ReadFileBytes("/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf");
    std::string noise(64 * 64 * 3, '\0');
    uint32_t seed = 7;
    for (char& c : noise) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 24);
    }
    PdfBuilder b;
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.SetStream(3, "<< /Length1 " + std::to_string(font.size()) + " >>", font, true);
    b.Set(4, "<< /Type /FontDescriptor /FontName /LiberationSans /Flags 32 /FontBBox [-200 -300 1200 1000] "
             "/ItalicAngle 0 /Ascent 900 /Descent -200 /CapHeight 700 /StemV 80 /FontFile2 3 0 R >>");
    b.Set(5, "<< /Type /Font /Subtype /TrueType /BaseFont /LiberationSans /Encoding /WinAnsiEncoding "
             "/FontDescriptor 4 0 R >>");
    b.SetStream(6, "<< /Type /XObject /Subtype /Image /Width 64 /Height 64 /ColorSpace /DeviceRGB "
                   "/BitsPerComponent 8 >>", noise, true);
    constexpr int32_t kPages = 300;
    std::string kids;
    for (int32_t k = 0; k < kPages; ++k) {
        const int32_t page = 10 + 2 * k;
        kids += std::to_string(page) + " 0 R ";
        b.Set(page, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 5 0 R >> "
                    "/XObject << /Im1 6 0 R >> >> /Contents " + std::to_string(page + 1) + " 0 R >>");
        b.SetStream(page + 1, "<< >>",
                    "q 200 0 0 200 72 400 cm /Im1 Do Q BT /F1 24 Tf 72 700 Td (SHARED-" + std::to_string(k + 1) +
                        ") Tj ET");
    }
    b.Set(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(kPages) + " >>");
    const fs::path source = dir_->Write("shared.pdf", b.Write());
    const fs::path target = dir_->File("builder.pdf");
    const fs::path out = dir_->File("merged-shared.pdf");
    MergeFiles(target, source, out);

    EXPECT_TRUE(qz::testing::QpdfCheckPasses(out));
    const std::string bytes = platform::ReadFileBytes(out);
    EXPECT_EQ(Occurrences(bytes, "/FontFile2"), 1);
    EXPECT_EQ(Occurrences(bytes, "/Subtype /Image"), 1);
    EXPECT_EQ(PageObjectsIn(bytes), 2 + kPages);
    ExpectSizeWithinInputs(out, target, source);
    EXPECT_TRUE(qz::testing::SameRenders(out, source, 3, 4, 1));
    EXPECT_TRUE(qz::testing::SameRenders(out, source, 2 + kPages, 2 + kPages, kPages));
}

TEST_F(PageInsertionTest, CyclesMergeWithoutHangingOrStrayPages) {
    QZ_REQUIRE_TOOLS("qpdf", "pdfinfo");
    constexpr int32_t kChain = 3000;
    PdfBuilder b;
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Set(2, "<< /Type /Pages /Kids [4 0 R 5 0 R] /Count 2 >>");
    b.Set(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    // Page 1: a link whose /AA action points back at its own page, then at
    // page 2, then back again (/Next cycle); a form XObject whose resources
    // name the form itself. Page 2: a /Next chain of kChain actions, the last
    // pointing at a page the merge does not copy (object 30 is not in the tree).
    b.Set(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Annots [6 0 R] /Resources << /Font << /F1 3 0 R >> "
             "/XObject << /Fx 9 0 R >> >> /Contents 10 0 R >>");
    b.Set(5, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Annots [11 0 R] /Resources << /Font << /F1 3 0 R "
             ">> >> /Contents 12 0 R >>");
    b.Set(6, "<< /Type /Annot /Subtype /Link /Rect [72 690 200 720] /Border [0 0 0] /P 4 0 R "
             "/AA << /U 7 0 R >> >>");
    b.Set(7, "<< /S /GoTo /D [4 0 R /Fit] /Next 8 0 R >>");
    b.Set(8, "<< /S /GoTo /D [5 0 R /Fit] /Next 7 0 R >>");
    b.SetStream(9, "<< /Type /XObject /Subtype /Form /BBox [0 0 100 100] /Resources << /XObject << /Fx 9 0 R >> >> >>",
                "0 0 1 rg 0 0 50 50 re f");
    b.SetStream(10, "<< >>", qz::testing::MarkerPageContent("CYCLE", 1) + " q 1 0 0 1 300 300 cm /Fx Do Q");
    b.Set(11, "<< /Type /Annot /Subtype /Link /Rect [72 690 200 720] /Border [0 0 0] /AA << /U 100 0 R >> >>");
    b.SetStream(12, "<< >>", qz::testing::MarkerPageContent("CYCLE", 2));
    for (int32_t i = 0; i < kChain; ++i) {
        const int32_t n = 100 + i;
        const bool last = i + 1 == kChain;
        const std::string next = last ? "" : " /Next " + std::to_string(n + 1) + " 0 R";
        b.Set(n, "<< /S /GoTo /D [" + std::string(last ? "30" : "5") + " 0 R /Fit]" + next + " >>");
    }
    b.Set(30, "<< /Type /Page /MediaBox [0 0 10 10] >>");
    const fs::path source = dir_->Write("cycles.pdf", b.Write());
    const fs::path target = dir_->File("builder.pdf");
    const fs::path out = dir_->File("merged-cycles.pdf");
    MergeFiles(target, source, out);

    EXPECT_TRUE(qz::testing::QpdfCheckPasses(out));
    EXPECT_EQ(qz::testing::PdfInfoPages(out), 4);
    EXPECT_EQ(PageObjectsIn(platform::ReadFileBytes(out)), 4);

    // The copied action names the copied page that holds its annotation.
    TqzPDDocument merged;
    merged.LoadDocument(out);
    TqzPDPage* page = merged.GetPage(3);
    auto* annots = static_cast<core::TqzPDArray*>(page->GetDict()->LookUp("Annots"));
    auto* annot = static_cast<core::TqzPDDictionary*>(annots->Get(0));
    auto* action = static_cast<core::TqzPDDictionary*>(static_cast<core::TqzPDDictionary*>(annot->LookUp("AA"))->LookUp("U"));
    auto* dest = static_cast<core::TqzPDArray*>(action->LookUp("D"));
    EXPECT_EQ(dest->GetRefObj(0)->GetObjNumber(), merged.GetCatalog()->GetPageTree()->GetPageObjectNumber(3));
    EXPECT_EQ(annot->LookupRefObj("P")->GetObjNumber(), merged.GetCatalog()->GetPageTree()->GetPageObjectNumber(3));
}

TEST_F(PageInsertionTest, EncryptedSourceCopiesDecryptedData) {
    QZ_REQUIRE_TOOLS("gs", "qpdf", "pdftoppm");
    MakeToolFiles();
    // The merged output is not encrypted (the first file was not): the
    // source's streams must arrive decrypted, whatever their filters.
    const fs::path out = dir_->File("merged-decrypted.pdf");
    MergeFiles(dir_->File("builder.pdf"), dir_->File("aes.pdf"), out);
    EXPECT_TRUE(qz::testing::QpdfCheckPasses(out));
    EXPECT_NE(qz::testing::PdfToText(out, 3).find("VECTOR-1"), std::string::npos);
}

TEST_F(PageInsertionTest, UnchangedStreamsGoToTheOutputAsStored) {
    // Filtered data is neither decoded nor re-encoded: its stored bytes
    // reach the output as they are, with their /Filter.
    const std::string hex = "42540A2F46312032342054660A373220373030205464202848455829205469220A4554>";
    const std::string flate = qz::testing::FlateCompress(qz::testing::MarkerPageContent("FLATE", 2), 9);
    PdfBuilder b = MinimalDocument(2, "RAW");
    b.SetRawStream(5, "<< /Length " + std::to_string(hex.size()) + " /Filter /ASCIIHexDecode >>", hex);
    b.SetRawStream(7, "<< /Length " + std::to_string(flate.size()) + " /Filter /FlateDecode >>", flate);
    const fs::path source = dir_->Write("raw.pdf", b.Write());
    const fs::path out = dir_->File("merged-raw.pdf");
    MergeFiles(dir_->File("builder.pdf"), source, out);
    const std::string bytes = platform::ReadFileBytes(out);
    EXPECT_NE(bytes.find(hex), std::string::npos);
    EXPECT_NE(bytes.find(flate), std::string::npos);
    EXPECT_NE(bytes.find("/ASCIIHexDecode"), std::string::npos);
    if (qz::testing::HaveTool("qpdf")) {
        EXPECT_TRUE(qz::testing::QpdfCheckPasses(out));
    }
}

TEST_F(PageInsertionTest, RangesAndPositions) {
    const fs::path target = dir_->Write("t2.pdf", MinimalDocument(2, "T").Write());
    const fs::path source = dir_->Write("s3.pdf", MinimalDocument(3, "S").Write());
    struct Case {
        int32_t after, start, count;
        std::vector<std::string> order;  // page contents' markers after the call
    };
    const Case cases[] = {
        {0, 1, 3, {"S-1", "S-2", "S-3", "T-1", "T-2"}},
        {2, 2, 2, {"T-1", "T-2", "S-2", "S-3"}},
        {1, 1, 1, {"T-1", "S-1", "T-2"}},
        {2, 2, 3, {"T-1", "T-2"}},  // past the source's end: nothing
        {3, 1, 1, {"T-1", "T-2"}},  // past the target's end: nothing
        {-1, 1, 1, {"T-1", "T-2"}},
        {0, 0, 1, {"T-1", "T-2"}},
        {0, 1, 0, {"T-1", "T-2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.after) + "/" + std::to_string(c.start) + "/" + std::to_string(c.count));
        TqzPDDocument doc;
        doc.LoadDocument(target);
        TqzPDDocument src;
        src.LoadDocument(source);
        const uint32_t lastBefore = static_cast<uint32_t>(doc.GetLastObjectNumber());
        doc.InsertPages(c.after, src, c.start, c.count, TqzPageInsertFlages::InsertAll);
        ASSERT_EQ(doc.GetPageCount(), static_cast<int32_t>(c.order.size()));
        for (int32_t n = 1; n <= doc.GetPageCount(); ++n) {
            TqzPDPage* page = doc.GetPage(n);
            EXPECT_EQ(page->GetPageNum(), n);
            const uint32_t number = doc.GetCatalog()->GetPageTree()->GetPageObjectNumber(n);
            if (number > lastBefore) {
                EXPECT_EQ(page->GetDict()->GetObjNumber(), number);
            }
        }
        const fs::path out = dir_->File("ranges.pdf");
        doc.SaveDocument(out, FullSave());
        TqzPDDocument saved;
        saved.LoadDocument(out);
        ASSERT_EQ(saved.GetPageCount(), static_cast<int32_t>(c.order.size()));
        if (qz::testing::HaveTool("pdftotext")) {
            for (size_t i = 0; i < c.order.size(); ++i) {
                EXPECT_NE(qz::testing::PdfToText(out, static_cast<int32_t>(i + 1)).find(c.order[i]), std::string::npos)
                    << "page " << i + 1;
            }
        }
    }
}

TEST_F(PageInsertionTest, DocumentIntoItself) {
    TqzPDDocument doc;
    doc.LoadDocument(dir_->Write("self.pdf", MinimalDocument(2, "SELF").Write()));
    doc.InsertPages(1, doc, 1, 2, TqzPageInsertFlages::InsertAll);
    ASSERT_EQ(doc.GetPageCount(), 4);
    const fs::path out = dir_->File("self-merged.pdf");
    doc.SaveDocument(out, FullSave());
    if (qz::testing::HaveTool("pdftotext") && qz::testing::HaveTool("qpdf")) {
        EXPECT_TRUE(qz::testing::QpdfCheckPasses(out));
        const char* order[] = {"SELF-1", "SELF-1", "SELF-2", "SELF-2"};
        for (int32_t n = 1; n <= 4; ++n) {
            EXPECT_NE(qz::testing::PdfToText(out, n).find(order[n - 1]), std::string::npos) << n;
        }
    }
}

TEST_F(PageInsertionTest, PagesCarryWhatTheyInherited) {
    TqzPDDocument doc;
    doc.LoadDocument(dir_->File("builder.pdf"));
    TqzPDDocument src;
    src.LoadDocument(dir_->File("tree.pdf"));
    doc.MergeDocs(src, TqzPageInsertFlages::InsertAll);
    ASSERT_EQ(doc.GetPageCount(), 7);
    struct Expect {
        int32_t page, rotate;
        double right, cropRight;
        const char* font;
    };
    const Expect expected[] = {
        {3, 90, 400, 400, "Courier"},
        {5, 90, 400, 400, "Courier"},
        {6, 180, 612, 500, "Times-Bold"},
        {7, 180, 612, 500, "Times-Bold"},
    };
    for (const Expect& e : expected) {
        SCOPED_TRACE(e.page);
        TqzPDPage* page = doc.GetPage(e.page);
        core::TqzPDDictionary* dict = page->GetDict();
        EXPECT_EQ(page->GetRotate(), e.rotate);
        ASSERT_TRUE(dict->LookupRefObj("MediaBox"));
        EXPECT_EQ(page->GetMediaBox()->GetRight(), e.right);
        EXPECT_EQ(page->GetCropBox()->GetRight(), e.cropRight);
        auto* resources = static_cast<core::TqzPDDictionary*>(dict->LookUp("Resources"));
        ASSERT_TRUE(resources);
        auto* font = static_cast<core::TqzPDDictionary*>(
            static_cast<core::TqzPDDictionary*>(resources->LookUp("Font"))->LookUp("F1"));
        EXPECT_TRUE(font->LookUp("BaseFont")->IsName(e.font));
    }
    // Pages under one node share one copy of its resources.
    EXPECT_EQ(doc.GetPage(3)->GetDict()->LookupRefObj("Resources")->GetObjNumber(),
              doc.GetPage(5)->GetDict()->LookupRefObj("Resources")->GetObjNumber());
}

TEST_F(PageInsertionTest, NeedAppearancesAndWidgetsReachTheTargetForm) {
    PdfBuilder b;
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R /AcroForm << /NeedAppearances true /Fields [6 0 R] >> >>");
    b.Set(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Set(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Annots [5 0 R 6 0 R "
             "<< /Type /Annot /Subtype /Widget /FT /Tx /T (direct) /Rect [0 0 10 10] >>] >>");
    b.Set(5, "<< /Type /Annot /Subtype /Link /Rect [0 0 10 10] /Dest [3 0 R /Fit] >>");
    b.Set(6, "<< /Type /Annot /Subtype /Widget /FT /Tx /T (name) /Rect [0 0 10 10] /P 3 0 R >>");
    const fs::path source = dir_->Write("form.pdf", b.Write());

    PdfBuilder t = MinimalDocument(1, "T");
    t.Set(1, "<< /Type /Catalog /Pages 2 0 R /AcroForm 40 0 R >>");
    t.Set(40, "<< /NeedAppearances 41 0 R >>");  // indirect, no /Fields
    t.Set(41, "false");
    const fs::path target = dir_->Write("form-target.pdf", t.Write());

    TqzPDDocument doc;
    doc.LoadDocument(target);
    TqzPDDocument src;
    src.LoadDocument(source);
    doc.MergeDocs(src, TqzPageInsertFlages::InsertAll);
    auto* form = static_cast<core::TqzPDDictionary*>(doc.GetBaseDoc()->GetDocRoot()->LookUp("AcroForm"));
    ASSERT_TRUE(form);
    const core::TqzPDBaseObject* need = form->LookupRefObj("NeedAppearances");
    ASSERT_TRUE(need && need->IsBoolean());
    EXPECT_TRUE(need->IsDirect());
    EXPECT_TRUE(static_cast<const core::TqzPDBoolean*>(need)->GetValue());
    auto* fields = static_cast<core::TqzPDArray*>(form->LookUp("Fields"));
    ASSERT_TRUE(fields);
    ASSERT_EQ(fields->GetLength(), 2);  // the two widgets; the link is no field
    for (int32_t i = 0; i < 2; ++i) {
        EXPECT_TRUE(fields->GetRefObj(i)->IsIndirectRef());
        auto* widget = static_cast<core::TqzPDDictionary*>(fields->Get(i));
        EXPECT_TRUE(widget->LookUp("Subtype")->IsName("Widget"));
    }
    // The link leads to its page's copy.
    auto* annots = static_cast<core::TqzPDArray*>(doc.GetPage(2)->GetDict()->LookUp("Annots"));
    auto* dest = static_cast<core::TqzPDArray*>(static_cast<core::TqzPDDictionary*>(annots->Get(0))->LookUp("Dest"));
    ASSERT_TRUE(dest && dest->IsArray());
    EXPECT_EQ(dest->GetRefObj(0)->GetObjNumber(), doc.GetCatalog()->GetPageTree()->GetPageObjectNumber(2));
    const fs::path out = dir_->File("merged-form.pdf");
    doc.SaveDocument(out, FullSave());
    if (qz::testing::HaveTool("qpdf")) {
        EXPECT_TRUE(qz::testing::QpdfCheckPasses(out));
    }
}

TEST_F(PageInsertionTest, BadSourcePageIsRefusedBeforeAnythingChanges) {
    PdfBuilder b = MinimalDocument(2, "BAD");
    b.Set(6, "<< /Type /Page /Parent 2 0 R /MediaBox 5 /Contents 7 0 R >>");
    const fs::path source = dir_->Write("bad-box.pdf", b.Write());
    TqzPDDocument doc;
    doc.LoadDocument(dir_->File("builder.pdf"));
    TqzPDDocument src;
    src.LoadDocument(source);
    const int32_t last = doc.GetLastObjectNumber();
    try {
        doc.MergeDocs(src, TqzPageInsertFlages::InsertAll);
        ADD_FAILURE() << "no exception";
    } catch (const ExBadPage& e) {
        EXPECT_STREQ(e.what(), "Bad Page object");
    }
    EXPECT_EQ(doc.GetPageCount(), 2);
    EXPECT_EQ(doc.GetLastObjectNumber(), last);
}

TEST_F(PageInsertionTest, EmptyTargetAndDuplicateObject) {
    // A target whose tree holds no page: nothing needs its page 1.
    PdfBuilder empty;
    empty.Set(1, "<< /Type /Catalog /Pages 2 0 R >>");
    empty.Set(2, "<< /Type /Pages /Kids [] /Count 0 >>");
    TqzPDDocument doc;
    doc.LoadDocument(dir_->Write("empty.pdf", empty.Write()));
    TqzPDDocument src;
    src.LoadDocument(dir_->File("builder.pdf"));
    TqzPDPage page(&doc, nullptr, nullptr);
    auto copy = page.DuplicateObject(src.GetPage(1)->GetDict()->LookUp("Resources"));
    ASSERT_TRUE(copy && copy->IsDict());
    doc.MergeDocs(src, TqzPageInsertFlages::InsertAll);
    EXPECT_EQ(doc.GetPageCount(), 2);
    const fs::path out = dir_->File("merged-empty.pdf");
    doc.SaveDocument(out, FullSave());
    if (qz::testing::HaveTool("qpdf")) {
        EXPECT_TRUE(qz::testing::QpdfCheckPasses(out));
    }
}

}  // namespace
}  // namespace qz::document
