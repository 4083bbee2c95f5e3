// Inputs a merge cannot take end it with an exception that names the file,
// wherever the file stands in the list, and nothing is written: no new
// output, an existing output untouched, no temporary file left over.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "component/ComponentExceptions.h"
#include "integration/Fixtures.h"
#include "platform/Streams.h"
#include "testing/GTestSupport.h"
#include "testing/TempDir.h"

namespace qz::integration {
namespace {

struct BadCase {
    const char* name;
    const char* fixture;  // nullptr: a file that does not exist
};

void PrintTo(const BadCase& c, std::ostream* os) {
    *os << c.name;
}

class BadInputTest : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadInputTest, EndsTheMergeNamingTheFileAndWritesNothing) {
    QZ_REQUIRE_TOOLS("gs", "qpdf");
    testing::TempDir inputs("qz-integration-in");
    const fs::path bad = GetParam().fixture != nullptr ? GetFixture(GetParam().fixture).path
                                                       : inputs.File("missing.pdf");
    const fs::path good = GetFixture("text").path;
    const fs::path other = GetFixture("vector-rc4-40").path;

    const struct {
        const char* where;
        std::vector<fs::path> list;
    } positions[] = {
        {"alone", {bad}},
        {"first", {bad, good, other}},
        {"in the middle", {good, bad, other}},
        {"last", {good, other, bad}},
    };
    const std::string previous = "%PDF-1.4\nan earlier output the failed merge must leave alone\n";
    for (const auto& position : positions) {
        for (const bool outputExists : {false, true}) {
            SCOPED_TRACE(std::string(position.where) +
                         (outputExists ? ", output exists" : ", no output yet"));
            testing::TempDir dir("qz-integration");
            const fs::path out =
                outputExists ? dir.Write("merged.pdf", previous) : dir.File("merged.pdf");
            const std::vector<std::string> before = FolderEntries(dir.Path());
            std::optional<std::string> message;
            try {
                MergeLikeTheWindow(position.list, out);
            } catch (const component::EMergeError& e) {
                message = e.what();
                EXPECT_EQ(e.Source(), bad.string());
            } catch (const std::exception& e) {
                ADD_FAILURE() << "not a merge error: " << e.what();
                message = e.what();
            }
            ASSERT_TRUE(message.has_value()) << "the merge succeeded";
            EXPECT_NE(message->find(bad.string()), std::string::npos) << *message;
            EXPECT_EQ(FolderEntries(dir.Path()), before);
            if (outputExists) {
                EXPECT_EQ(platform::ReadFileBytes(out), previous);
            }
        }
    }
}

const BadCase kBadCases[] = {
    {"NotAPdf", "not-a-pdf"},
    {"Empty", "empty"},
    {"Truncated", "truncated"},
    {"TruncatedInTheCrossReferenceTable", "truncated-in-xref"},
    {"UserPassword", "user-password"},
    {"Aes256", "aes256"},
    {"Missing", nullptr},
};

std::string CaseName(const ::testing::TestParamInfo<BadCase>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Inputs, BadInputTest, ::testing::ValuesIn(kBadCases), CaseName);

}  // namespace
}  // namespace qz::integration
