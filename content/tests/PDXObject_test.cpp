// XObjects: the class chosen by /Subtype, form entries read on request,
// groups, and the resources' look-up through the registered maker.

#include "content/device/PDXObject.h"

#include <gtest/gtest.h>

#include "content/device/PDImage.h"
#include "content/tests/ContentTestSupport.h"
#include "core/PDDictionary.h"
#include "core/PDParser.h"
#include "document/PDResource.h"

namespace qz::content {
namespace {

using testing::OnePageFile;

// A stream object with dictionary `dict` (PDF text).
std::unique_ptr<core::TqzPDStream> StreamWith(const std::string& dict) {
    auto lexer = std::make_unique<core::TqzPDLexer>(std::make_shared<core::TqzMemoryStream>(dict));
    core::TqzPDParser parser(static_cast<core::TqzParentDocument*>(nullptr), std::move(lexer), false);
    auto object = parser.GetObject();
    auto* parsed = static_cast<core::TqzPDDictionary*>(object.release());
    return std::make_unique<core::TqzPDStream>(std::make_shared<core::TqzMemoryStream>(""),
                                               std::unique_ptr<core::TqzPDDictionary>(parsed));
}

TEST(PDXObject, SubtypeChoosesTheClass) {
    struct Case {
        const char* dict;
        bool appearance;
        int kind;  // -1 none, else the TqzXObjectType
    };
    const Case cases[] = {
        {"<< /Subtype /Image >>", false, 0},   {"<< /Subtype /Form >>", false, 1},
        {"<< /Subtype /PS >>", false, 2},      {"<< /Subtype /image >>", false, -1},
        {"<< /Subtype (Form) >>", false, -1},  {"<< /Subtype /Other >>", false, -1},
        {"<< >>", false, -1},                  {"<< >>", true, 1},
        {"<< /Subtype /Image >>", true, 0},
    };
    for (const Case& c : cases) {
        auto stream = StreamWith(c.dict);
        auto xObject = MakeXObject(nullptr, nullptr, "X1", stream.get(), c.appearance);
        if (c.kind < 0) {
            EXPECT_EQ(xObject, nullptr) << c.dict;
            continue;
        }
        ASSERT_NE(xObject, nullptr) << c.dict;
        EXPECT_EQ(static_cast<int>(xObject->GetSubType()), c.kind) << c.dict;
        EXPECT_EQ(xObject->IsForm(), c.kind == 1) << c.dict;
        EXPECT_FALSE(xObject->IsImage());  // images are told by their subtype
        EXPECT_FALSE(xObject->IsPostScript());
        EXPECT_TRUE(xObject->IsName(c.appearance && c.kind == 1 ? "" : "X1")) << c.dict;
    }
    EXPECT_EQ(MakeXObject(nullptr, nullptr, "X", nullptr), nullptr);
}

TEST(PDXObject, FormEntriesAreReadWhenRightlyTyped) {
    auto good = StreamWith("<< /Subtype /Form /BBox [0 0 10 20.5] /Matrix [1 0 0 1 5 6] /FormType 1 >>");
    TqzPDForm form(nullptr, nullptr, good.get());
    ASSERT_NE(form.GetBBox(), nullptr);
    EXPECT_EQ(form.GetBBox()->GetRight(), 10);
    EXPECT_EQ(form.GetBBox()->GetBottom(), 20.5);
    ASSERT_NE(form.GetMatrix(), nullptr);
    EXPECT_EQ(form.GetMatrix()->FDy, 6);
    EXPECT_EQ(form.GetFormType(), 1);
    EXPECT_EQ(form.GetGroup(), nullptr);

    auto bad = StreamWith("<< /Subtype /Form /BBox << /A 1 >> /Matrix [1 0 0] /FormType 1.0 /Group /G >>");
    TqzPDForm wrong(nullptr, nullptr, bad.get());
    EXPECT_EQ(wrong.GetBBox(), nullptr);
    EXPECT_EQ(wrong.GetMatrix(), nullptr);
    EXPECT_EQ(wrong.GetFormType(), -1);
    EXPECT_EQ(wrong.GetGroup(), nullptr);
    // Asked again, the entry is read again.
    bad->GetDict()->SetKeyValue("BBox", StreamWith("<< /A [1 2 3 4] >>")->GetDict()->LookUpClone("A"));
    ASSERT_NE(wrong.GetBBox(), nullptr);
    EXPECT_EQ(wrong.GetBBox()->GetBottom(), 4);
}

TEST(PDXObject, Groups) {
    struct Case {
        const char* dict;
        TGrouptype subtype;
        bool isolated;
        bool knockout;
    };
    const Case cases[] = {
        {"<< >>", TGrouptype::none, false, false},
        {"<< /S /Transparency /I true /K 1 >>", TGrouptype::transparency, true, false},
        {"<< /S /transparency /I (true) /K true >>", TGrouptype::none, false, true},
    };
    for (const Case& c : cases) {
        auto stream = StreamWith(std::string("<< /Group ") + c.dict + " >>");
        TqzPDForm form(nullptr, nullptr, stream.get());
        ASSERT_NE(form.GetGroup(), nullptr) << c.dict;
        EXPECT_EQ(form.GetGroup()->GetGroupSubtype(), c.subtype) << c.dict;
        EXPECT_EQ(form.GetGroup()->IsIsolatedGroup(), c.isolated) << c.dict;
        EXPECT_EQ(form.GetGroup()->IsKnockoutGroup(), c.knockout) << c.dict;
        EXPECT_EQ(form.GetGroup()->GetColorSpace(), nullptr);
    }
}

TEST(PDXObject, ResourcesMakeContentXObjects) {
    OnePageFile file("/Resources << /XObject << /Fm 4 0 R /Im 5 0 R >> >>");
    file.Builder.SetStream(4, "<< /Subtype /Form /Resources << /Font << >> >> >>", "");
    file.Builder.SetStream(5, "<< /Subtype /Image >>", "");
    file.Load();
    document::TqzPDResource& resources = *file.Page().GetResource();
    auto* form = dynamic_cast<TqzPDForm*>(resources.LookUpXObject("Fm"));
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->GetTagName(), "Fm");
    ASSERT_NE(form->GetResources(), nullptr);
    EXPECT_EQ(form->GetResources()->GetParentElement(), form);
    EXPECT_FALSE(form->GetResourcesInherited());
    form->SetResources(&resources);
    EXPECT_EQ(form->GetResources(), &resources);
    EXPECT_TRUE(form->GetResourcesInherited());
    auto* image = dynamic_cast<TqzPDImage*>(resources.LookUpXObject("Im"));
    ASSERT_NE(image, nullptr);
    EXPECT_FALSE(image->GetIsInline());
    EXPECT_EQ(image->GetStream(), image->GetBaseObject());
}

}  // namespace
}  // namespace qz::content
