// The resource element: look-ups through the content factories (filled
// here with small test makers), ownership of its lists, and generated names.

#include "document/PDResource.h"

#include <gtest/gtest.h>

#include <regex>
#include <vector>

#include "core/PDDictionary.h"
#include "document/ContentFactories.h"
#include "document/PDBaseDoc.h"
#include "document/PDDocument.h"
#include "document/PDPage.h"
#include "document/tests/DocumentTestSupport.h"
#include "platform/Random.h"
#include "testing/PdfBuilder.h"

namespace qz::document {
namespace {

using qz::testing::PdfBuilder;

class TestFont : public TqzPDFont {
public:
    TestFont(TqzPDDocument* doc, TqzPDResource* res, core::TqzPDBaseObject* object, const std::string& tag)
        : TqzPDFont(doc, res, object, tag) {
        FName = "Name-" + tag;
    }
    void Update() override { ++updates; }
    static inline int32_t updates = 0;
};

class TestForm : public TqzPDXObject {
public:
    using TqzPDXObject::TqzPDXObject;
    bool IsForm() const override { return true; }
    TqzPDResource* GetResources() override { return resources; }
    void SetResources(TqzPDResource* value) override { resources = value; }
    TqzPDResource* resources = nullptr;
};

// Makers for the content layer's elements, removed again after each test.
class ResourceTest : public ::testing::Test {
protected:
    ResourceTest() {
        auto& f = ContentFactories();
        f.Font = [this](TqzPDDocument& d, TqzPDResource* r, core::TqzPDBaseObject* o, const std::string& tag) {
            ++fontsMade;
            return std::make_unique<TestFont>(&d, r, o, tag);
        };
        f.XObject = [](TqzPDDocument& d, TqzPDResource* r, const std::string& name, core::TqzPDBaseObject* o) {
            return std::unique_ptr<TqzPDXObject>(std::make_unique<TestForm>(&d, r, o, name));
        };
        f.Pattern = [](TqzPDDocument& d, TqzPDResource* r, core::TqzPDBaseObject* o, const std::string& tag) {
            return std::make_unique<TqzPDPattern>(&d, r, o, tag);
        };
        f.ShaddingPattern = f.Pattern;
        f.GState = [](TqzPDDocument& d, const std::string& name, core::TqzPDBaseObject* o, TqzPDResource* r) {
            return std::make_unique<TqzPDGState>(&d, r, o, name);
        };
        PdfBuilder b;
        b.Set(1, "<< /Type /Catalog /Pages 2 0 R >>");
        b.Set(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
        b.Set(3, "<< /Type /Page /Parent 2 0 R /Resources << "
                 "/Font << /F1 4 0 R /F2 5 0 R /F3 (not a font) >> "
                 "/XObject << /Gone 99 0 R /X1 6 0 R /X2 6 0 R >> "
                 "/ExtGState << /GS1 << /CA 0.5 >> >> "
                 "/Pattern << /P1 << /PatternType 2 >> >> /Shading << /Sh1 << /ShadingType 2 >> >> >> >>");
        b.Set(4, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
        b.Set(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>");
        b.SetStream(6, "<< /Type /XObject /Subtype /Form /BBox [0 0 1 1] >>", "");
        doc.LoadDocument(MemoryFile(b.Write()));
    }
    ~ResourceTest() override { ContentFactories() = TqzContentFactories{}; }

    TqzPDResource& Resources() { return *doc.GetPage(1)->GetResource(); }

    TqzPDDocument doc;
    int32_t fontsMade = 0;
};

TEST_F(ResourceTest, FontsByNameAndRebuiltAfterUpdate) {
    TqzPDResource& res = Resources();
    TqzPDFont* second = res.LookUpFont("F2");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->GetTag(), "F2");
    EXPECT_EQ(res.LookUpFont("F2"), second);
    EXPECT_EQ(res.GetFontCount(), 2);  // the string entry is no font
    EXPECT_EQ(res.GetFontByName("Name-F1"), res.GetFont(0));
    EXPECT_EQ(res.GetFont(2), nullptr);
    ASSERT_NE(res.GetFontList(), nullptr);
    TestFont::updates = 0;
    res.Update();
    EXPECT_EQ(TestFont::updates, 2);
    EXPECT_EQ(fontsMade, 2);
    EXPECT_EQ(res.GetFontCount(), 2);
    EXPECT_EQ(fontsMade, 4);

    // A list handed in stays its giver's.
    std::vector<std::unique_ptr<TqzPDFont>> mine;
    mine.push_back(std::make_unique<TestFont>(&doc, &res, nullptr, "M1"));
    res.SetFontResource({mine[0].get()});
    EXPECT_EQ(res.LookUpFont("M1"), mine[0].get());
    res.Update();
    EXPECT_EQ(mine[0]->GetTag(), "M1");  // still alive
}

TEST_F(ResourceTest, ResourcesWithoutFonts) {
    PdfBuilder b;
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Set(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Set(3, "<< /Type /Page /Parent 2 0 R /Resources << /ProcSet [/PDF] >> >>");
    TqzPDDocument plain;
    plain.LoadDocument(MemoryFile(b.Write()));
    TqzPDResource& res = *plain.GetPage(1)->GetResource();
    EXPECT_EQ(res.GetFontCount(), 0);
    EXPECT_EQ(res.GetFontList(), nullptr);
    EXPECT_EQ(res.LookUpFont("F1"), nullptr);
    EXPECT_EQ(res.GetXObjectCount(), 0);
}

TEST_F(ResourceTest, XObjectListHoldsEachElementOnce) {
    TqzPDResource& res = Resources();
    // The entry that does not resolve keeps an empty place.
    ASSERT_EQ(res.GetXObjectCount(), 3);
    EXPECT_EQ(res.GetXObject(0), nullptr);
    TqzPDXObject* x1 = res.LookUpXObject("X1");
    ASSERT_NE(x1, nullptr);
    EXPECT_NE(res.LookUpXObject("X2"), x1);
    // A form without resources of its own draws with its user's.
    EXPECT_EQ(static_cast<TestForm*>(x1)->resources, &res);
    EXPECT_EQ(res.AddXObject(std::unique_ptr<TqzPDXObject>(x1)), 1);
    EXPECT_EQ(res.GetXObjectCount(), 3);
    EXPECT_EQ(res.AddXObject(std::make_unique<TestForm>(&doc, &res, nullptr, "X3")), 3);
}

TEST_F(ResourceTest, GraphicsStatesAndPatterns) {
    TqzPDResource& res = Resources();
    ASSERT_NE(res.LookUpGState("GS1"), nullptr);
    EXPECT_EQ(res.GetGStateCount(), 1);
    TqzPDPattern* pattern = res.LookUpPattern("P1");
    ASSERT_NE(pattern, nullptr);
    EXPECT_EQ(res.LookUpPattern("P1"), pattern);
    ASSERT_NE(res.LookUpPattern("Sh1"), nullptr);
    EXPECT_EQ(res.LookUpPattern("Sh1")->GetTag(), "Sh1");
    EXPECT_EQ(res.AddPattern(std::make_unique<TqzPDPattern>(&doc, &res, nullptr, "P9")), 0);
    EXPECT_EQ(res.LookUpPattern("P9"), nullptr);
}

// Draws a fixed sequence, then counts up.
class ScriptedRandom : public platform::RandomSource {
public:
    explicit ScriptedRandom(std::vector<uint32_t> values) : values_(std::move(values)) {}
    void Seed(uint32_t) override {}
    uint32_t Next(uint32_t) override { return index_ < values_.size() ? values_[index_++] : 1000 + static_cast<uint32_t>(index_++); }

private:
    std::vector<uint32_t> values_;
    size_t index_ = 0;
};

TEST_F(ResourceTest, GeneratedNamesAreNewToTheirCategory) {
    TqzPDResource& res = Resources();
    ScriptedRandom random({7, 7});
    platform::SetRandomSource(&random);
    const std::string first = res.GetResourceName(TqzPDResourceType::resXObject);
    EXPECT_EQ(first, "KdXbj7");
    doc.GetPage(1)->AddResource(TqzPDResourceType::resXObject, first, doc.GetBaseDoc()->GetObject(6));
    // 7 is taken now: the next draw is used.
    EXPECT_EQ(res.GetResourceName(TqzPDResourceType::resXObject), "KdXbj1002");
    EXPECT_EQ(res.GetResourceName(TqzPDResourceType::resFont), "KdFnt1003");
    platform::SetRandomSource(nullptr);
    const std::regex form("KdGS[0-9]{1,10}");
    const std::string a = res.GetResourceName(TqzPDResourceType::resExtGState);
    EXPECT_TRUE(std::regex_match(a, form)) << a;
    EXPECT_NE(a, res.GetResourceName(TqzPDResourceType::resExtGState));
}

}  // namespace
}  // namespace qz::document
