#include "document/PDCatalog.h"

#include <gtest/gtest.h>

#include "core/PDBoolean.h"
#include "core/PDDictionary.h"
#include "core/PDName.h"
#include "document/PDBaseDoc.h"
#include "document/PDDocument.h"
#include "document/PDModelException.h"
#include "document/PDViewerPref.h"
#include "document/tests/DocumentTestSupport.h"
#include "testing/PdfBuilder.h"
#include "testing/TempDir.h"

namespace qz::document {
namespace {

// A one-page document whose catalog carries `extra` entries.
std::string WithCatalog(const std::string& extra) {
    qz::testing::PdfBuilder b = qz::testing::MinimalDocument(1);
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R " + extra + " >>");
    return b.Write();
}

class CatalogTest : public ::testing::Test {
protected:
    TqzPDCatalog& Load(const std::string& extra) {
        doc_.LoadDocument(MemoryFile(WithCatalog(extra)));
        return *doc_.GetCatalog();
    }
    core::TqzPDDictionary& Root() { return *doc_.GetCatalog()->GetDict(); }
    std::string SaveText() {
        qz::testing::TempDir dir("qz-catalog");
        TqzPDSaveFlags flags;
        flags.Full = true;
        doc_.SaveDocument(dir.File("out.pdf"), flags);
        return platform::ReadFileBytes(dir.File("out.pdf"));
    }

    TqzPDDocument doc_;
};

TEST_F(CatalogTest, LayoutAndModeNames) {
    TqzPDCatalog& catalog = Load("/PageLayout /OneColumn /PageMode /UseThumbs");
    EXPECT_EQ(catalog.GetPageLayout(), TqzPDLayoutMode::lmOneColumn);
    EXPECT_EQ(catalog.GetPageMode(), TqzPDPageMode::pmUseThumbs);
    catalog.SetPageMode(TqzPDPageMode::pmUseBookmarks);
    catalog.SetPageLayout(TqzPDLayoutMode::lmTwoPageRight);
    EXPECT_TRUE(Root().LookUp("PageMode")->IsName("UseOutlines"));
    EXPECT_TRUE(Root().LookUp("PageLayout")->IsName("TwoPageRight"));
    EXPECT_EQ(catalog.GetPageMode(), TqzPDPageMode::pmUseBookmarks);

    TqzPDCatalog& other = Load("/PageLayout /Sideways /PageMode /usethumbs");
    EXPECT_EQ(other.GetPageLayout(), TqzPDLayoutMode::lmNone);
    EXPECT_EQ(other.GetPageMode(), TqzPDPageMode::pmNone);
    other.SetPageLayout(TqzPDLayoutMode::lmNone);
    const auto* written = Root().LookUp("PageLayout");
    ASSERT_TRUE(written->IsName());
    EXPECT_EQ(static_cast<const core::TqzPDName*>(written)->GetValue(), "");
}

TEST_F(CatalogTest, ViewerPreferencesReadCachedAndWriteDirectly) {
    TqzPDCatalog& catalog = Load("/ViewerPreferences << /CenterWindow true /FitWindow false /HideToolbar 1 >>");
    TqzPDViewerPref& prefs = *catalog.GetViewerPref();
    EXPECT_FALSE(prefs.GetFitWindow());
    EXPECT_TRUE(prefs.GetCenterWindow());
    EXPECT_FALSE(prefs.GetHideToolBar());  // an integer is not true
    prefs.SetFitWindow(true);
    prefs.SetHideMenuBar(true);
    EXPECT_FALSE(prefs.GetFitWindow());  // cached before the setter
    EXPECT_TRUE(prefs.GetHideMenuBar());
    const std::string saved = SaveText();
    EXPECT_NE(saved.find("/FitWindow true"), std::string::npos);
    EXPECT_NE(saved.find("/HideMenubar true"), std::string::npos);

    TqzPDCatalog& bare = Load("");
    TqzPDViewerPref& added = *bare.GetViewerPref();
    EXPECT_NE(Root().LookUp("ViewerPreferences"), nullptr);
    added.SetDisplayDocTitle(true);
    EXPECT_NE(SaveText().find("/ViewerPreferences <</DisplayDocTitle true >>"), std::string::npos);
}

TEST_F(CatalogTest, SaveDropsPermsAndActionsAreRemovedByTrigger) {
    TqzPDCatalog& catalog = Load("/Perms << /DocMDP 9 >> /AA << /WC << /S /JavaScript /JS (a) >> "
                                 "/WP << /S /JavaScript /JS (b) >> >> /OpenAction << /S /JavaScript /JS (c) >>");
    catalog.RemoveAction(TqzDocActionTrigger::atBeforeDocPrint);
    catalog.RemoveAction(TqzDocActionTrigger::atBeforeDocOpen);
    const std::string saved = SaveText();
    EXPECT_EQ(saved.find("/Perms"), std::string::npos);
    EXPECT_EQ(saved.find("/WP"), std::string::npos);
    EXPECT_NE(saved.find("/WC"), std::string::npos);
    EXPECT_NE(saved.find("/OpenAction"), std::string::npos);
}

TEST_F(CatalogTest, MetadataIsCopiedAndWrittenAsANewStream) {
    qz::testing::PdfBuilder b = qz::testing::MinimalDocument(1);
    const int32_t meta = b.AddStream("<< /Type /Metadata /Subtype /XML >>", "<x:xmpmeta>old</x:xmpmeta>", true);
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R /Metadata " + std::to_string(meta) + " 0 R >>");
    doc_.LoadDocument(MemoryFile(b.Write()));
    TqzPDCatalog& catalog = *doc_.GetCatalog();
    const auto copy = catalog.GetMetadata();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->Bytes(), "<x:xmpmeta>old</x:xmpmeta>");
    EXPECT_EQ(catalog.GetMetadata(), copy);

    catalog.SetXMPMetadata("<x:xmpmeta>new</x:xmpmeta>");
    const std::string saved = SaveText();
    // Metadata is written as it is, uncompressed.
    EXPECT_NE(saved.find("/Type /Metadata /Subtype /XML /Length 26 >>\r\nstream\r\n<x:xmpmeta>new</x:xmpmeta>"),
              std::string::npos)
        << saved;
    EXPECT_EQ(saved.find("old</x:xmpmeta>"), std::string::npos);

    TqzPDCatalog& none = Load("/Metadata 5");
    EXPECT_EQ(none.GetMetadata(), nullptr);
}

TEST_F(CatalogTest, FormsAndOutlinesAreNotPretended) {
    TqzPDCatalog& plain = Load("");
    EXPECT_EQ(plain.GetAcroFormFieldDict(), nullptr);
    EXPECT_EQ(plain.GetPDXFADoc(), nullptr);
    // A form added later (by a merge) is found.
    Root().Add("AcroForm", std::make_unique<core::TqzPDDictionary>(doc_.GetBaseDoc()));
    EXPECT_NE(plain.GetAcroFormFieldDict(), nullptr);
    TqzPDCatalog& xfaStream = Load("/AcroForm << /Fields [] /XFA 3 0 R >>");
    EXPECT_NE(xfaStream.GetAcroFormFieldDict(), nullptr);
    EXPECT_EQ(xfaStream.GetPDXFADoc(), nullptr);
    TqzPDCatalog& xfa = Load("/AcroForm << /Fields [] /XFA [(template) 3 0 R] >>");
    EXPECT_THROW(xfa.GetPDXFADoc(), ExNotSupportedYet);
    EXPECT_THROW(xfa.GetAcroFormField(nullptr), ExNotSupportedYet);
    xfa.RemoveXFA();
    EXPECT_EQ(xfa.GetAcroFormFieldDict()->LookupRefObj("XFA"), nullptr);
}

}  // namespace
}  // namespace qz::document
