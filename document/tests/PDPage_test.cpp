// The page model: rotation, boxes, duration and transitions, annotation
// objects, resources added to a page, thumbnails.

#include "document/PDPage.h"

#include <gtest/gtest.h>

#include <string>

#include "core/PDArray.h"
#include "core/PDDictionary.h"
#include "core/PDIndirectRef.h"
#include "core/PDInteger.h"
#include "core/PDReal.h"
#include "core/PDStream.h"
#include "document/PDBaseDoc.h"
#include "document/PDCatalog.h"
#include "document/PDDocument.h"
#include "document/PDModelException.h"
#include "document/PDPageTree.h"
#include "document/PDResource.h"
#include "document/tests/DocumentTestSupport.h"
#include "testing/PdfBuilder.h"

namespace qz::document {
namespace {

using qz::testing::PdfBuilder;

// One page (object 3) under a root (object 2) with `root` entries; the page
// dictionary's entries are `page`.
std::unique_ptr<TqzPDDocument> OnePage(const std::string& page, const std::string& root = "") {
    PdfBuilder b;
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Set(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 " + root + " >>");
    b.Set(3, "<< /Type /Page /Parent 2 0 R " + page + " >>");
    b.Set(4, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    auto doc = std::make_unique<TqzPDDocument>();
    doc->LoadDocument(MemoryFile(b.Write()));
    return doc;
}

TEST(PageTest, RotationOwnInheritedAndNormalised) {
    struct Case {
        const char* page;
        const char* root;
        int32_t rotate;
    };
    const Case cases[] = {
        {"", "/Rotate 90", 90},         {"/Rotate 180", "/Rotate 90", 180}, {"/Rotate -90", "", 270},
        {"/Rotate 450", "", 90},        {"", "", 0},                        {"/Rotate /Ninety", "/Rotate 90", 0},
        {"/Rotate -810", "", 270},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.page) + " | " + c.root);
        auto doc = OnePage(c.page, c.root);
        EXPECT_EQ(doc->GetPage(1)->GetRotate(), c.rotate);
    }
    auto doc = OnePage("");
    TqzPDPage* page = doc->GetPage(1);
    page->SetRotate(-90);
    auto* written = page->GetDict()->LookUp("Rotate");
    ASSERT_TRUE(written && written->IsInteger());
    EXPECT_EQ(static_cast<core::TqzPDInteger*>(written)->GetValue(), -90);  // the remainder keeps its sign
    TqzPDPage fresh(doc.get(), nullptr, page->GetDict());
    EXPECT_EQ(fresh.GetRotate(), 270);
}

TEST(PageTest, Boxes) {
    {
        auto doc = OnePage("", "/MediaBox [0 0 400 600]");
        TqzPDPage* page = doc->GetPage(1);
        EXPECT_EQ(page->GetMediaBox()->GetRight(), 400);
        EXPECT_TRUE(page->IsInheritedMediaBox());
        page->SetMediaBox(0, 0, 595, 842);
        EXPECT_FALSE(page->IsInheritedMediaBox());
        auto* own = static_cast<core::TqzPDArray*>(page->GetDict()->LookUp("MediaBox"));
        ASSERT_TRUE(own && own->IsArray());
        EXPECT_EQ(static_cast<core::TqzPDReal*>(own->Get(3))->GetValue(), 842);
        // The root keeps its own box.
        auto* rootBox = static_cast<core::TqzPDArray*>(doc->GetCatalog()->GetPageTree()->GetRoot()->LookUp("MediaBox"));
        EXPECT_EQ(static_cast<core::TqzPDInteger*>(rootBox->Get(2))->GetValue(), 400);
        // The crop box when there is one, else the media box.
        EXPECT_EQ(page->GetPageSize().Height, 842);
        page->SetCropBox(10, 10, 110, 60);
        EXPECT_EQ(page->GetPageSize().Width, 100);
        EXPECT_EQ(page->GetPageSize().Height, 50);
    }
    {
        auto doc = OnePage("");
        TqzPDPage* page = doc->GetPage(1);
        EXPECT_EQ(page->GetMediaBox(), nullptr);
        EXPECT_EQ(page->GetPageSize().Width, 612);
        EXPECT_EQ(page->GetPageSize().Height, 792);
        const core::TqzPDRect* bleed = page->GetBleedBox();
        EXPECT_EQ(bleed->GetLeft(), -1);
        EXPECT_EQ(bleed->GetBottom(), -1);
    }
    {
        // A box shared by two pages through one indirect array: setting one
        // page's box leaves the other's alone and keeps fractions.
        PdfBuilder b;
        b.Set(1, "<< /Type /Catalog /Pages 2 0 R >>");
        b.Set(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>");
        b.Set(3, "<< /Type /Page /Parent 2 0 R /MediaBox 5 0 R >>");
        b.Set(4, "<< /Type /Page /Parent 2 0 R /MediaBox 5 0 R >>");
        b.Set(5, "[0 0 400 600]");
        TqzPDDocument doc;
        doc.LoadDocument(MemoryFile(b.Write()));
        const core::TqzPDRect* held = doc.GetPage(1)->GetMediaBox();
        doc.GetPage(1)->SetMediaBox(0, 0, 300.5, 500.25);
        EXPECT_EQ(held, doc.GetPage(1)->GetMediaBox());
        EXPECT_EQ(held->GetRight(), 300.5);
        EXPECT_EQ(doc.GetPage(2)->GetMediaBox()->GetRight(), 400);
        TqzPDPage fresh(&doc, nullptr, doc.GetPage(1)->GetDict());
        EXPECT_EQ(fresh.GetMediaBox()->GetRight(), 300.5);
        EXPECT_EQ(fresh.GetMediaBox()->GetBottom(), 500.25);
    }
    for (const char* bad : {"/MediaBox 5", "/CropBox /Letter", "/BleedBox (x)"}) {
        SCOPED_TRACE(bad);
        auto doc = OnePage(bad);
        TqzPDPage* page = doc->GetPage(1);
        try {
            page->GetMediaBox();
            page->GetCropBox();
            page->GetBleedBox();
            ADD_FAILURE() << "no exception";
        } catch (const ExBadPage& e) {
            EXPECT_STREQ(e.what(), "Bad Page object");
        }
    }
}

TEST(PageTest, DurationReadsWhatTheTransitionWrites) {
    auto doc = OnePage("");
    TqzPDPage* page = doc->GetPage(1);
    EXPECT_EQ(page->GetDuration(), 0);
    page->SetPageTransitionEffect(TqzPDTransitionEffect::teWipeBottomToTop, 2);
    page->SetPageTransitionEffect(TqzPDTransitionEffect::teWipeBottomToTop, 2.5f);
    core::TqzPDDictionary* dict = page->GetDict();
    int32_t durs = 0;
    for (int32_t i = 0; i < dict->GetLength(); ++i) durs += dict->GetKey(i) == "Dur" ? 1 : 0;
    EXPECT_EQ(durs, 1);
    TqzPDPage fresh(doc.get(), nullptr, dict);
    EXPECT_EQ(fresh.GetDuration(), 2.5);
    auto* trans = static_cast<core::TqzPDDictionary*>(dict->LookUp("Trans"));
    ASSERT_TRUE(trans);
    EXPECT_TRUE(trans->LookUp("Type")->IsName("Trans"));
    EXPECT_TRUE(trans->LookUp("S")->IsName("Wipe"));
    EXPECT_EQ(static_cast<core::TqzPDInteger*>(trans->LookUp("Di"))->GetValue(), 90);

    EXPECT_EQ(OnePage("/Dur 3")->GetPage(1)->GetDuration(), 3);
    EXPECT_THROW(OnePage("/Dur (long)")->GetPage(1)->GetDuration(), ExBadPage);
}

TEST(PageTest, AnnotationObjectsKeepDirectOnesApart) {
    // 5 is listed twice, two direct annotations are alike, 60 does not exist.
    PdfBuilder b;
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Set(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Set(3, "<< /Type /Page /Parent 2 0 R /Annots [5 0 R 5 0 R << /Subtype /Text /Rect [0 0 1 1] >> "
             "<< /Subtype /Text /Rect [0 0 1 1] >> 60 0 R] >>");
    b.Set(5, "<< /Type /Annot /Subtype /Link /Rect [0 0 1 1] >>");
    TqzPDDocument withAnnots;
    withAnnots.LoadDocument(MemoryFile(b.Write()));
    const auto* annots = withAnnots.GetPage(1)->GetAnnotObjects();
    ASSERT_TRUE(annots);
    EXPECT_EQ(annots->size(), 3u);
    EXPECT_EQ(OnePage("")->GetPage(1)->GetAnnotObjects(), nullptr);
    EXPECT_TRUE(OnePage("/Annots 7")->GetPage(1)->GetAnnotObjects()->empty());
}

TEST(PageTest, AddResourceGivesAPageWithoutResourcesItsOwn) {
    auto doc = OnePage("");
    TqzPDPage* page = doc->GetPage(1);
    core::TqzPDBaseObject* font = doc->GetBaseDoc()->GetObject(4);
    page->AddResource(TqzPDResourceType::resFont, "F9", font);
    const core::TqzPDBaseObject* stored = page->GetDict()->LookupRefObj("Resources");
    ASSERT_TRUE(stored && stored->IsIndirectRef());
    auto* resources = static_cast<core::TqzPDDictionary*>(doc->GetBaseDoc()->GetObject(stored->GetObjNumber()));
    ASSERT_TRUE(resources && resources->IsDict());
    auto* fonts = static_cast<core::TqzPDDictionary*>(resources->LookUp("Font"));
    ASSERT_TRUE(fonts);
    const core::TqzPDBaseObject* entry = fonts->LookupRefObj("F9");
    ASSERT_TRUE(entry && entry->IsIndirectRef());
    EXPECT_EQ(entry->GetObjNumber(), 4u);
    EXPECT_THROW(page->AddResource(TqzPDResourceType::resPattern, "P1", font), core::ExUnsupportedFeature);
}

TEST(PageTest, ThumbnailAndActionRemoval) {
    auto doc = OnePage("/AA << /O << /S /JavaScript /JS (a) >> /C << /S /JavaScript /JS (b) >> >>");
    TqzPDPage* page = doc->GetPage(1);
    page->RemoveAction(TqzPageActionTrigger::atBeforePageOpen);
    auto* actions = static_cast<core::TqzPDDictionary*>(page->GetDict()->LookUp("AA"));
    EXPECT_EQ(actions->LookupRefObj("O"), nullptr);
    EXPECT_NE(actions->LookupRefObj("C"), nullptr);
    page->AddThumbnail(std::string(2 * 3 * 3, '\x7f'), 2, 3);
    auto* thumb = page->GetDict()->LookUp("Thumb");
    ASSERT_TRUE(thumb && thumb->IsStream());
    auto* dict = static_cast<core::TqzPDStream*>(thumb)->GetDict();
    EXPECT_TRUE(dict->LookUp("Subtype")->IsName("Image"));
    EXPECT_TRUE(dict->LookUp("ColorSpace")->IsName("DeviceRGB"));
    EXPECT_EQ(static_cast<core::TqzPDInteger*>(dict->LookUp("Length"))->GetValue(), 18);
}

}  // namespace
}  // namespace qz::document
