// Page operations of the component and the outline: items keep leading to
// their pages when pages move or come in front of them, and lose (never keep
// dangling) the targets of pages that are deleted. Read through the wrappers
// and, after a save, by pikepdf.

#include <gtest/gtest.h>

#include "component/PDFDocument.h"
#include "component/tests/ComponentTestSupport.h"
#include "component/tests/OutlineFixtures.h"
#include "document/tests/OutlineTestSupport.h"

namespace qz::component {
namespace {

using document::OutlineDocument;
using document::PageRef;

TEST(OutlinePages, TargetsFollowMovedAndInsertedPagesAndGoWithDeletedOnes) {
    QZ_REQUIRE_TOOLS("qpdf");
    QZ_REQUIRE_PIKEPDF();
    testing::TempDir dir("qz-outline-pages");
    const fs::path file = dir.Write(
        "in.pdf", OutlineDocument(4,
                                  {{1, "P1", "/Dest [" + PageRef(1) + " /Fit]"},
                                   {1, "P2", "/Dest [" + PageRef(2) + " /FitH 100]"},
                                   {2, "P2 go-to", "/A << /S /GoTo /D [" + PageRef(2) + " /Fit] >>"},
                                   {1, "P3 named", "/Dest (three)"},
                                   {1, "P4", "/Dest [" + PageRef(4) + " /Fit]"}},
                                  "/Names << /Dests << /Names [(three) [" + PageRef(3) + " /Fit]] >> >>")
                      .Write());
    const fs::path other = WriteMarkedPdf(dir, "other.pdf", 2, "O");
    struct Case {
        const char* what;
        std::function<void(TqzCustomPDFDocument&)> change;
        // Each item's page after the change, 1-based as the wrappers count
        // (0: no target).
        std::vector<int32_t> pages;
    };
    const std::vector<Case> cases = {
        {"deleting page 2", [](TqzCustomPDFDocument& c) { c.DeletePages("2"); }, {1, 0, 0, 2, 3}},
        {"deleting pages 1 and 4", [](TqzCustomPDFDocument& c) { c.DeletePages("4,1"); }, {0, 1, 1, 2, 0}},
        {"moving page 4 to the front", [](TqzCustomPDFDocument& c) { c.MovePage(4, 1); }, {2, 3, 3, 4, 1}},
        {"moving page 1 to the end", [](TqzCustomPDFDocument& c) { c.MovePage(1, 4); }, {4, 1, 1, 2, 3}},
        {"inserting two pages in front",
         [&](TqzCustomPDFDocument& c) { c.InsertPagesFrom(other, "", 0); },
         {3, 4, 4, 5, 6}},
        {"inserting two pages after page 2",
         [&](TqzCustomPDFDocument& c) { c.InsertPagesFrom(other, "", 2); },
         {1, 2, 2, 5, 6}},
    };
    for (const Case& c : cases) {
        TqzPDFDocument component;
        ASSERT_TRUE(component.LoadFromFile(file, ""));
        // Every item's target read before the change: the wrappers must not
        // hold on to what the change frees.
        std::vector<TqzPDFOutline*> items;
        for (const std::string& title : component.GetBookMarkAsString()) {
            items.push_back(component.GetBookmark(title, TqzBookmarkTraversalDepth::btdFullSubTree));
            ASSERT_NE(items.back(), nullptr) << title;
            ASSERT_NE(items.back()->GetDestination(), nullptr) << title;
        }
        c.change(component);

        std::vector<int32_t> pages;
        for (TqzPDFOutline* item : items) {
            TqzPDFDestination* destination = item->GetDestination();
            pages.push_back(destination != nullptr ? destination->GetPageNo() : 0);
        }
        EXPECT_EQ(pages, c.pages) << c.what;

        const fs::path out = dir.File("out.pdf");
        component.SaveToFile(out, false, false);
        EXPECT_TRUE(testing::QpdfCheckPasses(out)) << c.what;
        std::vector<int32_t> saved;
        for (const OutlineItemFact& item : ReadOutline(out).items)
            saved.push_back(item.target == "-" ? 0 : (item.target == "none" ? -1 : std::stoi(item.target) + 1));
        EXPECT_EQ(saved, c.pages) << c.what;
    }
}

}  // namespace
}  // namespace qz::component
