// What page deletion does to what leads to the pages: outline items, links,
// the open action and named destinations, on small documents built here.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/PDArray.h"
#include "core/PDDictionary.h"
#include "core/PDInteger.h"
#include "document/NameNumberTree.h"
#include "document/PDBaseDoc.h"
#include "document/PDBookmark.h"
#include "document/PDCatalog.h"
#include "document/PDDocument.h"
#include "document/PDPage.h"
#include "document/tests/OutlineTestSupport.h"
#include "testing/GTestSupport.h"
#include "testing/TempDir.h"

namespace qz::document {
namespace {

struct ItemCase {
    std::string entries;
    std::string after;  // "Dest", "A" or "" for what the item still has
    int32_t page;       // its target page after page 2 went; 0 for none
};

// Items of a three-page document, each with one target, before page 2 of
// three is deleted.
const std::vector<ItemCase> kItems = {
    {"/Dest [" + PageRef(2) + " /Fit]", "", 0},
    {"/Dest [" + PageRef(3) + " /Fit]", "Dest", 2},
    {"/Dest [1 /Fit]", "", 0},      // page 2 by index
    {"/Dest [2 /Fit]", "Dest", 2},  // page 3 by index: now index 1
    {"/A << /S /GoTo /D (two) >>", "", 0},
    {"/A << /S /GoTo /D (three) >>", "A", 2},
    {"/Dest /old", "", 0},
    {"/A << /S /URI /URI (http://example.com) >>", "A", 0},
    {"/Dest (undefined)", "Dest", 0},
};

std::string Catalog() {
    return "/Names << /Dests << /Names [(three) [" + PageRef(3) + " /Fit] (two) [" + PageRef(2) +
           " /Fit]] >> >> /Dests << /old << /D [" + PageRef(2) + " /Fit] >> /kept [" + PageRef(1) +
           " /Fit] >> /OpenAction [" + PageRef(2) + " /Fit]";
}

std::vector<OutlineItem> Items() {
    std::vector<OutlineItem> items;
    for (size_t i = 0; i < kItems.size(); ++i)
        items.push_back({1, "I" + std::to_string(i), kItems[i].entries});
    return items;
}

class DeletedPageTargetsTest : public ::testing::Test {
  protected:
    // A three-page document with the items and, on page 1, a direct link to
    // page 2, an indirect link to "three" and a note.
    void Load() {
        qz::testing::PdfBuilder b = OutlineDocument(3, Items(), Catalog());
        const int32_t link = b.Add(
            "<< /Type /Annot /Subtype /Link /Rect [0 0 10 10] /A << /S /GoTo /D (three) >> >>");
        const int32_t note =
            b.Add("<< /Type /Annot /Subtype /Text /Rect [0 0 10 10] /Contents (n) >>");
        b.Set(4,
              "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 5 0 R /Annots [ << "
              "/Type /Annot "
              "/Subtype /Link /Rect [0 0 10 10] /Dest [" +
                  PageRef(2) + " /Fit] >> " + std::to_string(link) + " 0 R " +
                  std::to_string(note) + " 0 R ] >>");
        doc_.LoadDocument(MemoryFile(b.Write()));
    }
    core::TqzPDDictionary& CatalogDict() { return *doc_.GetCatalog()->GetDict(); }

    TqzPDDocument doc_;
    qz::testing::TempDir dir_{"qz-deleted-targets"};
};

TEST_F(DeletedPageTargetsTest, EverythingLeadingToTheDeletedPageGoes) {
    Load();
    // Read before the deletion: the item keeps nothing of the page.
    ASSERT_EQ(doc_.GetPage(1)->GetAnnotObjects()->size(), 3u);
    TqzPDBookmark& root = *doc_.GetBookmarkRoot();
    ASSERT_NE(root.GetChild(0)->GetDestination(), nullptr);
    doc_.DeletePage(2);
    const TqzNamedDestinations names(doc_);
    for (size_t i = 0; i < kItems.size(); ++i) {
        const ItemCase& c = kItems[i];
        TqzPDBookmark& item = *root.GetChild(static_cast<int32_t>(i));
        EXPECT_EQ(item.GetTitle(), "I" + std::to_string(i)) << c.entries;
        core::TqzPDDictionary& dict = *item.GetDict();
        EXPECT_EQ(dict.LookupRefObj("Dest") != nullptr, c.after == "Dest") << c.entries;
        EXPECT_EQ(dict.LookupRefObj("A") != nullptr, c.after == "A") << c.entries;
        TqzPDPage* page = item.GetTargetPage(names);
        EXPECT_EQ(page != nullptr ? page->GetPageNum() : 0, c.page) << c.entries;
    }
    EXPECT_EQ(root.GetChild(0)->GetDestination(), nullptr);
    // A page given by index moves with the pages.
    auto* byIndex = static_cast<core::TqzPDArray*>(root.GetChild(3)->GetDict()->LookUp("Dest"));
    EXPECT_EQ(static_cast<core::TqzPDInteger*>(byIndex->Get(0))->GetValue(), 1);

    EXPECT_EQ(CatalogDict().LookupRefObj("OpenAction"), nullptr);
    auto* dests = static_cast<core::TqzPDDictionary*>(CatalogDict().LookUp("Dests"));
    EXPECT_EQ(dests->LookupRefObj("old"), nullptr);
    EXPECT_NE(dests->LookupRefObj("kept"), nullptr);
    const core::TqzPDBaseObject* two = nullptr;
    const core::TqzPDBaseObject* three = nullptr;
    auto* tree = static_cast<core::TqzPDDictionary*>(CatalogDict().LookUp("Names"));
    for (const TqzNameTreeEntry& entry : ReadNameTree(tree->LookUp("Dests"))) {
        if (entry.Key == "two") two = entry.Value;
        if (entry.Key == "three") three = entry.Value;
    }
    EXPECT_EQ(two, nullptr);
    EXPECT_NE(three, nullptr);

    // The direct link to page 2 went; the link to "three" and the note stay.
    const std::vector<core::TqzPDBaseObject*>* annots = doc_.GetPage(1)->GetAnnotObjects();
    ASSERT_EQ(annots->size(), 2u);
    EXPECT_TRUE(
        static_cast<core::TqzPDDictionary*>((*annots)[0])->LookUp("Subtype")->IsName("Link"));
    EXPECT_TRUE(
        static_cast<core::TqzPDDictionary*>((*annots)[1])->LookUp("Subtype")->IsName("Text"));

    const auto out = dir_.File("out.pdf");
    TqzPDSaveFlags flags;
    flags.Full = true;
    doc_.SaveDocument(out, flags);
    if (qz::testing::HaveTool("qpdf")) {
        EXPECT_TRUE(qz::testing::QpdfCheckPasses(out));
    } else {
        EXPECT_FALSE(qz::testing::MissingToolsMustFail()) << "qpdf is not installed";
    }
    TqzPDDocument again;
    again.LoadDocument(out);
    EXPECT_EQ(again.GetPageCount(), 2);
    const TqzNamedDestinations savedNames(again);
    EXPECT_EQ(again.GetBookmarkRoot()->GetChild(5)->GetTargetPage(savedNames), again.GetPage(2));
    EXPECT_EQ(again.GetBookmarkRoot()->GetChild(3)->GetTargetPage(savedNames), again.GetPage(2));
}

TEST_F(DeletedPageTargetsTest, NothingChangesWhenNoPageGoes) {
    Load();
    const uint32_t last = doc_.GetBaseDoc()->GetLastObjectNumber();
    doc_.DeletePage(9);
    doc_.DeletePages(3, 2);
    EXPECT_EQ(doc_.GetPageCount(), 3);
    EXPECT_NE(CatalogDict().LookupRefObj("OpenAction"), nullptr);
    EXPECT_NE(doc_.GetBookmarkRoot()->GetChild(0)->GetDict()->LookupRefObj("Dest"), nullptr);
    EXPECT_EQ(doc_.GetPage(1)->GetAnnotObjects()->size(), 3u);
    // Only the outline root's element was made; no object was added.
    EXPECT_EQ(doc_.GetBaseDoc()->GetLastObjectNumber(), last);
}

TEST_F(DeletedPageTargetsTest, ADocumentWithoutOutlinesIsGivenNone) {
    qz::testing::PdfBuilder b = qz::testing::MinimalDocument(3);
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R /OpenAction << /S /GoTo /D [" + PageRef(3) +
                 " /Fit] >> >>");
    doc_.LoadDocument(MemoryFile(b.Write()));
    doc_.DeletePages(1, 2);
    EXPECT_EQ(CatalogDict().LookupRefObj("Outlines"), nullptr);
    EXPECT_NE(CatalogDict().LookupRefObj("OpenAction"), nullptr);
    doc_.DeletePage(1);
    EXPECT_EQ(CatalogDict().LookupRefObj("OpenAction"), nullptr);
}

}  // namespace
}  // namespace qz::document
