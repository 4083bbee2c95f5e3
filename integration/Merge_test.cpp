// Merges of realistic files through the component, each output checked by
// outside readers: qpdf's structure check, pdfinfo's page count, and every
// page rendered by pdftoppm against the same page of its source.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "integration/Fixtures.h"
#include "testing/GTestSupport.h"
#include "testing/TempDir.h"

namespace qz::integration {
namespace {

struct MergeCase {
    const char* name;
    std::vector<std::string> sources;
};

void PrintTo(const MergeCase& c, std::ostream* os) {
    *os << c.name;
}

// Merges `sources` into `out` and checks the output with the readers.
void MergeAndCheck(const std::vector<std::string>& sources, const fs::path& out) {
    std::vector<fs::path> inputs;
    int32_t pages = 0;
    for (const auto& name : sources) {
        const Fixture& fixture = GetFixture(name);
        inputs.push_back(fixture.path);
        pages += fixture.pages;
    }
    ASSERT_NO_THROW(MergeLikeTheWindow(inputs, out));
    EXPECT_TRUE(testing::QpdfCheckPasses(out));
    EXPECT_EQ(testing::PdfInfoPages(out), pages);
    EXPECT_TRUE(RendersLikeItsSources(out, sources));
}

class MergeTest : public ::testing::TestWithParam<MergeCase> {};

TEST_P(MergeTest, ReadersTakeTheOutputPageForPage) {
    QZ_REQUIRE_TOOLS("gs", "qpdf", "pdfinfo", "pdftoppm");
    testing::TempDir dir("qz-integration");
    const fs::path out = dir.File("merged.pdf");
    MergeAndCheck(GetParam().sources, out);
    // Nothing is left beside the output.
    EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"merged.pdf"});
}

// The same single file merged twice into one name: each merge replaces what
// was there whole.
TEST(MergeReplacing, OneFileAloneTwiceIntoTheSameOutput) {
    QZ_REQUIRE_TOOLS("gs", "qpdf", "pdfinfo", "pdftoppm");
    testing::TempDir dir("qz-integration");
    const fs::path out = dir.Write("merged.pdf", "an older file that the merge replaces\n");
    MergeAndCheck({"rotated"}, out);
    MergeAndCheck({"rotated"}, out);
    EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"merged.pdf"});
}

const MergeCase kCases[] = {
    {"PlainInOrder", {"text", "vector", "image"}},
    {"PlainReversed", {"image", "vector", "text"}},
    {"OneFileAlone", {"vector"}},
    {"EncryptedFileAlone", {"text-aes128"}},
    {"FileWithItself", {"text", "text"}},
    {"FileAroundAnother", {"image", "vector", "image"}},
    {"EveryStructureOfTheSamePages",
     {"text", "text-objstm", "text-xref", "text-linear", "text-aes128"}},
    {"EncryptedAndPlainMixed",
     {"vector-rc4-40", "text", "image-rc4-128", "text-aes128", "vector", "rotated-aes128-objstm"}},
    {"EncryptedFirst", {"text-aes128", "image", "vector-rc4-40"}},
    {"DamagedInTheMiddle",
     {"text", "text-bad-startxref", "vector-shifted", "builder-bad-startxref", "builder-shifted",
      "image"}},
    {"DamagedFirst", {"vector-shifted", "text"}},
    {"HeaderOfTheFirstObjectLost", {"vector", "text-header-lost", "image"}},
    {"UpdatedAndHybrid", {"builder-updated", "text-linear", "builder-hybrid", "builder-updated"}},
    {"LinearizedAndPacked",
     {"vector-linear-objstm", "noise", "text-linear", "rotated", "builder-objstm"}},
    {"BrokenCrossReferenceStream", {"text-objstm", "builder-objstm-shifted", "vector"}},
    {"EverySourceTogether",
     {"text",
      "vector",
      "image",
      "noise",
      "rotated",
      "text-objstm",
      "text-xref",
      "text-linear",
      "vector-linear-objstm",
      "vector-rc4-40",
      "image-rc4-128",
      "text-aes128",
      "rotated-aes128-objstm",
      "text-bad-startxref",
      "vector-shifted",
      "text-header-lost",
      "builder-bad-startxref",
      "builder-shifted",
      "builder-updated",
      "builder-hybrid",
      "builder-objstm",
      "builder-objstm-shifted"}},
};

std::string CaseName(const ::testing::TestParamInfo<MergeCase>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Combinations, MergeTest, ::testing::ValuesIn(kCases), CaseName);

}  // namespace
}  // namespace qz::integration
