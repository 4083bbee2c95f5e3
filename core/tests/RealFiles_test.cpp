// Files made at test time by Ghostscript and qpdf open; every page is
// reached and every stream decodes to what qpdf decodes it to.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/tests/ReadingSupport.h"
#include "platform/Streams.h"
#include "testing/GTestSupport.h"
#include "testing/PostScript.h"
#include "testing/TempDir.h"
#include "testing/Tools.h"

using namespace qz::core;
using qz::core::testing::ReaderDocument;
using qz::core::testing::StreamData;

namespace {

struct Fixture {
    const char* name;
    int32_t pages;
};

// The outside tools' outputs, made once for the whole suite.
class RealFiles : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (!qz::testing::FirstMissingTool({"gs", "qpdf"}).empty()) return;
        dir_ = std::make_unique<qz::testing::TempDir>("qz-reading");
        qz::testing::MakeWithGhostscript(qz::testing::PsTextPages(3, "TEXT"), File("gs-text.pdf"));
        qz::testing::MakeWithGhostscript(
            qz::testing::PsVectorPages(2, "VEC") + qz::testing::PsImagePage(40, 30, true),
            File("gs-mixed.pdf"));
        const std::vector<std::pair<const char*, std::vector<std::string>>> transforms = {
            {"qpdf-objstm.pdf", {"--object-streams=generate"}},
            {"qpdf-noobjstm.pdf", {"--object-streams=disable"}},
            {"qpdf-linearized.pdf", {"--linearize"}},
            {"qpdf-qdf.pdf", {"--qdf", "--object-streams=disable"}},
        };
        for (const auto& [name, args] : transforms)
            qz::testing::QpdfTransform(File("gs-mixed.pdf"), File(name), args);
    }
    static void TearDownTestSuite() { dir_.reset(); }
    static std::filesystem::path File(const char* name) { return dir_->File(name); }

    static std::unique_ptr<qz::testing::TempDir> dir_;
};

std::unique_ptr<qz::testing::TempDir> RealFiles::dir_;

// Filters whose decoded data both sides produce.
bool DecodedByBoth(TqzPDStream& stream) {
    TqzPDBaseObject* filter = stream.GetDict()->LookUp("Filter");
    std::vector<TqzPDBaseObject*> names;
    if (filter && filter->IsArray()) {
        auto* array = static_cast<TqzPDArray*>(filter);
        for (int32_t i = 0; i < array->GetLength(); ++i) names.push_back(array->Get(i));
    } else if (filter) {
        names.push_back(filter);
    }
    for (TqzPDBaseObject* name : names) {
        if (!name->IsName("FlateDecode") && !name->IsName("LZWDecode") &&
            !name->IsName("ASCII85Decode") && !name->IsName("ASCIIHexDecode") &&
            !name->IsName("RunLengthDecode")) {
            return false;
        }
    }
    return true;
}

}  // namespace

TEST_F(RealFiles, OpenReachEveryPageAndDecodeLikeQpdf) {
    QZ_REQUIRE_TOOLS("gs", "qpdf");
    const std::vector<Fixture> fixtures = {
        {"gs-text.pdf", 3},       {"gs-mixed.pdf", 3},        {"qpdf-objstm.pdf", 3},
        {"qpdf-noobjstm.pdf", 3}, {"qpdf-linearized.pdf", 3}, {"qpdf-qdf.pdf", 3},
    };
    for (const auto& fixture : fixtures) {
        SCOPED_TRACE(fixture.name);
        const std::filesystem::path path = File(fixture.name);
        ReaderDocument doc;
        doc.Reader().LoadFromFile(path);
        EXPECT_FALSE(doc.XRef().IsReconstructed());
        const auto pages = doc.Pages();
        EXPECT_EQ(static_cast<int32_t>(pages.size()), fixture.pages);
        for (TqzPDDictionary* page : pages) EXPECT_NE(page->LookUp("Contents"), nullptr);

        int32_t compared = 0;
        for (const auto& [number, entry] : doc.XRef().GetEntries()) {
            if (entry.GetEntryType() == TqzPDXRefEntrytype::xeFree) continue;
            TqzPDBaseObject* object = doc.GetObject(number);
            ASSERT_NE(object, nullptr) << "object " << number;
            if (!object->IsStream() || !DecodedByBoth(static_cast<TqzPDStream&>(*object))) continue;
            EXPECT_EQ(StreamData(object),
                      qz::testing::QpdfShowObjectFilteredStream(path, static_cast<int32_t>(number)))
                << "stream " << number;
            ++compared;
        }
        EXPECT_GE(compared, fixture.pages);
    }
}
