// Merges of sources whose pages depend on their catalogs, read back by
// pikepdf (pdf_facts.py) and rendered by pdftoppm: every link lands on the
// page it landed on in its source, every field keeps its value under a name
// of its own, every layer keeps its default state and every page its label.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "integration/Fixtures.h"
#include "testing/GTestSupport.h"
#include "testing/TempDir.h"
#include "testing/Tools.h"

#ifndef QZ_PDF_FACTS_SCRIPT
#error "QZ_PDF_FACTS_SCRIPT must name integration/pdf_facts.py"
#endif

namespace qz::integration {
namespace {

// What pdf_facts.py reads from a file.
struct Facts {
    int32_t pages = 0;
    std::vector<std::string> links;  // "PAGE KIND WHAT"
    std::vector<std::pair<std::string, std::string>> fields;
    std::vector<std::string> labels;
    std::map<std::string, std::string> layers;
};


Facts ReadFacts(const fs::path& path) {
    const testing::RunResult run =
        testing::RunProgram({"/usr/bin/python3", QZ_PDF_FACTS_SCRIPT, path.string()});
    if (!run.Succeeded())
        throw testing::ToolError("pdf_facts.py " + path.string() + ": " + run.Describe());
    Facts facts;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        const size_t space = line.find(' ');
        const std::string kind = line.substr(0, space);
        const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
        if (kind == "pages") {
            facts.pages = std::stoi(rest);
        } else if (kind == "link") {
            facts.links.push_back(rest);
        } else if (kind == "field") {
            const size_t tab = rest.find('\t');
            facts.fields.emplace_back(rest.substr(0, tab),
                                      tab == std::string::npos ? "" : rest.substr(tab + 1));
        } else if (kind == "label") {
            facts.labels.push_back(rest.substr(rest.find(' ') + 1));
        } else if (kind == "layer") {
            const size_t last = rest.rfind(' ');
            facts.layers[rest.substr(0, last)] = rest.substr(last + 1);
        }
    }
    return facts;
}

// A link of a source as it must read after `offset` pages came before it.
std::string Moved(const std::string& link, int32_t offset) {
    std::istringstream parts(link);
    int32_t page = 0;
    std::string kind;
    parts >> page >> kind;
    std::string what;
    std::getline(parts, what);
    what = what.empty() ? what : what.substr(1);
    if (kind == "goto" && what != "none") what = std::to_string(std::stoi(what) + offset);
    return std::to_string(page + offset) + " " + kind + " " + what;
}

struct Expected {
    std::vector<std::string> links;
    std::multiset<std::string> values;
    std::vector<std::string> labels;
    std::map<std::string, std::string> layers;
    std::vector<std::pair<std::string, std::string>> firstFields;
};

Expected FromSources(const std::vector<std::string>& sources) {
    Expected expected;
    int32_t offset = 0;
    for (const auto& name : sources) {
        const Facts facts = ReadFacts(GetFixture(name).path);
        for (const auto& link : facts.links) expected.links.push_back(Moved(link, offset));
        for (const auto& [field, value] : facts.fields) expected.values.insert(value);
        if (offset == 0) expected.firstFields = facts.fields;
        expected.labels.insert(expected.labels.end(), facts.labels.begin(), facts.labels.end());
        expected.layers.insert(facts.layers.begin(), facts.layers.end());
        offset += facts.pages;
    }
    return expected;
}

fs::path Merge(const std::vector<std::string>& sources, testing::TempDir& dir) {
    std::vector<fs::path> inputs;
    std::string name = "merged";
    for (const auto& source : sources) {
        inputs.push_back(GetFixture(source).path);
        name += "-" + source;
    }
    const fs::path out = dir.File(name + ".pdf");
    MergeLikeTheWindow(inputs, out);
    return out;
}

class LinksAndFields : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(LinksAndFields, EveryLinkLandsAsInItsSourceAndEveryFieldKeepsItsValue) {
    QZ_REQUIRE_TOOLS("qpdf");
    QZ_REQUIRE_PIKEPDF();
    testing::TempDir dir("qz-links");
    const Expected expected = FromSources(GetParam());
    // The sources themselves resolve every link.
    ASSERT_EQ(std::count_if(expected.links.begin(), expected.links.end(),
                            [](const std::string& link) {
                                return link.find("goto none") != std::string::npos;
                            }),
              0);
    const fs::path out = Merge(GetParam(), dir);
    EXPECT_TRUE(testing::QpdfCheckPasses(out));
    const Facts merged = ReadFacts(out);

    ASSERT_EQ(merged.links.size(), expected.links.size());
    int32_t wrong = 0;
    for (size_t i = 0; i < merged.links.size(); ++i) {
        if (merged.links[i] == expected.links[i]) continue;
        if (++wrong <= 10)
            ADD_FAILURE() << "link " << i << ": " << merged.links[i] << ", expected "
                          << expected.links[i];
    }
    EXPECT_EQ(wrong, 0) << "of " << merged.links.size() << " links";

    std::set<std::string> names;
    std::multiset<std::string> values;
    for (const auto& [field, value] : merged.fields) {
        EXPECT_TRUE(names.insert(field).second) << "two fields named " << field;
        values.insert(value);
    }
    EXPECT_EQ(values, expected.values);
    // The first file's fields keep their names.
    for (const auto& field : expected.firstFields) {
        EXPECT_NE(std::find(merged.fields.begin(), merged.fields.end(), field), merged.fields.end())
            << field.first << " = " << field.second;
    }
}

INSTANTIATE_TEST_SUITE_P(BothOrders, LinksAndFields,
                         ::testing::Values(std::vector<std::string>{"links-a", "links-b"},
                                           std::vector<std::string>{"links-b", "links-a"},
                                           std::vector<std::string>{"links-a", "links-b",
                                                                    "links-a"}));

class LayersAndLabels : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(LayersAndLabels, PagesShowAndAreNumberedAsInTheirSources) {
    QZ_REQUIRE_TOOLS("gs", "qpdf", "pdftoppm");
    QZ_REQUIRE_PIKEPDF();
    testing::TempDir dir("qz-layers");
    const Expected expected = FromSources(GetParam());
    const fs::path out = Merge(GetParam(), dir);
    EXPECT_TRUE(testing::QpdfCheckPasses(out));
    EXPECT_TRUE(RendersLikeItsSources(out, GetParam()));
    const Facts merged = ReadFacts(out);
    EXPECT_EQ(merged.labels, expected.labels);
    EXPECT_EQ(merged.layers, expected.layers);
}

INSTANTIATE_TEST_SUITE_P(
    Orders, LayersAndLabels,
    ::testing::Values(std::vector<std::string>{"features-a", "features-b"},
                      std::vector<std::string>{"features-b", "features-a"},
                      std::vector<std::string>{"text", "features-a"},
                      std::vector<std::string>{"features-b", "text", "features-a"},
                      std::vector<std::string>{"text", "vector", "features-b"}));

}  // namespace
}  // namespace qz::integration
