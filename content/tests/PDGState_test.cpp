// Graphics-state parameter dictionaries read through a page's resources:
// alphas, soft masks and the registered maker.

#include "content/state/PDGState.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "content/ContentSetup.h"
#include "core/PDDictionary.h"
#include "document/PDDocument.h"
#include "document/PDPage.h"
#include "document/PDResource.h"
#include "document/tests/DocumentTestSupport.h"
#include "testing/PdfBuilder.h"

namespace qz::content {
namespace {

TEST(PDGState, ParametersFromResources) {
    RegisterContentFactories();
    testing::PdfBuilder b;
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Set(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Set(3,
          "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Resources << /ExtGState << "
          "/A << /CA 0.5 >> /B << /ca 1 >> /C << /CA (x) /ca /Half >> /D << /SMask /None >> "
          "/E << /SMask << /S /Luminosity /G 5 0 R >> /CA 2 /ca -0.25 >> /F << /SMask 4 0 R /CA 6 "
          "0 R >> "
          "/G [/CA 1] >> >> >>");
    b.Set(4, "<< /S /Alpha /G 5 0 R >>");
    b.SetStream(5, "<< /Type /XObject /Subtype /Form /BBox [0 0 1 1] >>", "");
    b.Set(6, "0.75");
    document::TqzPDDocument doc;
    doc.LoadDocument(document::MemoryFile(b.Write()));
    document::TqzPDResource& res = *doc.GetPage(1)->GetResource();

    struct Case {
        const char* name;
        double stroke;
        double fill;
        const char* smaskType;  // /S of the soft mask, none without one
    };
    // /CA and /ca are told apart by case. Alphas outside 0..1 are handed on
    // as they stand.
    const std::vector<Case> cases = {
        {"A", 0.5, -1, nullptr}, {"B", -1, 1, nullptr},         {"C", -1, -1, nullptr},
        {"D", -1, -1, nullptr},  {"E", 2, -0.25, "Luminosity"}, {"F", 0.75, -1, "Alpha"},
        {"G", -1, -1, nullptr},
    };
    for (const Case& c : cases) {
        auto* state = dynamic_cast<TqzPDGState*>(res.LookUpGState(c.name));
        ASSERT_NE(state, nullptr) << c.name;
        EXPECT_TRUE(state->IsName(c.name));
        for (int32_t twice = 0; twice < 2; ++twice) {
            EXPECT_DOUBLE_EQ(state->GetStrokeAlpha(), c.stroke) << c.name;
            EXPECT_DOUBLE_EQ(state->GetNonStrokeAlpha(), c.fill) << c.name;
            core::TqzPDDictionary* smask = state->GetSMask();
            if (c.smaskType == nullptr) {
                EXPECT_EQ(smask, nullptr) << c.name;
                continue;
            }
            ASSERT_NE(smask, nullptr) << c.name;
            ASSERT_NE(smask->LookUp("S"), nullptr);
            EXPECT_TRUE(smask->LookUp("S")->IsName(c.smaskType)) << c.name;
            EXPECT_NE(smask->LookUp("G"), nullptr) << c.name;
        }
        EXPECT_EQ(state->GetLineWidth(), 0);
        EXPECT_EQ(state->GetLineCap(), 0);
    }
    EXPECT_EQ(res.LookUpGState("Z"), nullptr);
}

}  // namespace
}  // namespace qz::content
