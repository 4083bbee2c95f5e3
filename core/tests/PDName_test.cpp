// Names whose "#" starts no escape keep it: the resource key we write and
// the content that still names it read as the same name, for our reader and
// for others.

#include "core/PDName.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/FileStream.h"
#include "core/PDParser.h"
#include "core/PDWriter.h"
#include "core/tests/LoadedDocument.h"
#include "core/tests/ReadingSupport.h"
#include "platform/Streams.h"
#include "testing/GTestSupport.h"
#include "testing/PdfBuilder.h"
#include "testing/TempDir.h"

namespace qz::core {
namespace {

using qz::core::testing::LoadedDocument;
using qz::core::testing::StreamData;
using qz::testing::PdfBuilder;
using qz::testing::TempDir;

// One page drawing three forms, each filling a third of the page, under
// names that hold a "#" starting no escape.
std::string PageWithOddNames() {
    PdfBuilder b;
    b.Add("<< /Type /Catalog /Pages 2 0 R >>");
    b.Add("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Add("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 90 90] /Contents 4 0 R /Resources "
          "<< /XObject << /Im#1 5 0 R /A#zz 6 0 R /B# 7 0 R >> >> >>");
    b.AddStream("<< >>", "/Im#1 Do /A#zz Do /B# Do");
    for (const char* rect : {"0 0 30 90", "30 0 30 90", "60 0 30 90"}) {
        b.AddStream("<< /Type /XObject /Subtype /Form /BBox [0 0 90 90] >>",
                    std::string("0 g ") + rect + " re f");
    }
    return b.Write();
}

// The names before each "Do" of a content stream, as our parser reads them.
std::set<std::string> DrawnNames(const std::string& content) {
    auto parser = std::make_unique<TqzPDParser>(
        static_cast<TqzParentDocument*>(nullptr),
        std::make_unique<TqzPDLexer>(std::make_shared<TqzMemoryStream>(content)), false);
    std::set<std::string> names;
    std::string last;
    for (auto token = parser->GetObject(); !token->IsEOF(); token = parser->GetObject()) {
        if (token->IsCommand("Do")) names.insert(last);
        last = token->IsName() ? static_cast<TqzPDName&>(*token).GetValue() : "";
    }
    return names;
}

TEST(PDName, LiteralHashSurvivesWriteAndRead) {
    QZ_REQUIRE_TOOLS("pdftoppm", "qpdf");
    qz::core::testing::EnsureFilters();
    const std::string input = PageWithOddNames();
    LoadedDocument doc(std::make_shared<platform::MemoryStream>(input));
    platform::MemoryStream out;
    TqzPDWriter(doc).SaveDocument(&out);
    const std::string written = out.Bytes();
    // Our keys are written escaped, so they read back as themselves.
    EXPECT_NE(written.find("/Im#231"), std::string::npos);
    EXPECT_NE(written.find("/A#23zz"), std::string::npos);

    LoadedDocument again(std::make_shared<platform::MemoryStream>(written));
    auto* pages = static_cast<TqzPDDictionary*>(again.GetDocRoot()->LookUp("Pages"));
    auto* page = static_cast<TqzPDDictionary*>(static_cast<TqzPDArray*>(pages->LookUp("Kids"))->Get(0));
    auto* resources = static_cast<TqzPDDictionary*>(page->LookUp("Resources"));
    auto* forms = static_cast<TqzPDDictionary*>(resources->LookUp("XObject"));
    const std::set<std::string> drawn = DrawnNames(StreamData(page->LookUp("Contents")));
    EXPECT_EQ(drawn, (std::set<std::string>{"Im#1", "A#zz", "B#"}));
    for (const std::string& name : drawn) EXPECT_NE(forms->LookUp(name), nullptr) << name;

    // Other readers find the forms the content names in our output as in
    // the input (qpdf warns about the content's names in both).
    TempDir dir;
    const auto in = dir.Write("in.pdf", input);
    const auto saved = dir.Write("out.pdf", written);
    EXPECT_EQ(qz::testing::QpdfCheck(saved).exitCode, qz::testing::QpdfCheck(in).exitCode);
    EXPECT_TRUE(qz::testing::SameRenders(in, saved));
}

}  // namespace
}  // namespace qz::core
