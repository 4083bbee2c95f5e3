#pragma once
// The source files of the integration suite, made at test time with
// Ghostscript, qpdf and the PDF builder, and the renders of their pages.
//
// ctest runs every test in its own process, so each fixture and its renders
// are made once per build tree, in a cache folder under it, and reused by
// later processes. A fixture's cache name carries a hash of its recipe (and
// of the recipes it is made from), so an edited recipe makes a new file.
// Within a process the fixtures and renders are kept after first use; the
// functions hand out references that live until the process ends.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "testing/Tools.h"

namespace qz::integration {

namespace fs = std::filesystem;

// One source file of the suite.
struct Fixture {
    std::string name;
    fs::path path;
    int32_t pages = 0;  // 0 for inputs that no reader takes as a PDF
};

// The fixture named `name` (the table is in Fixtures.cpp), made on first use.
// std::out_of_range for a name not in the table.
const Fixture& GetFixture(const std::string& name);

// Every page of a fixture rendered by pdftoppm at the default low resolution.
// ToolError when the renderer does not give the fixture's page count.
const std::vector<testing::GrayImage>& FixtureRenders(const std::string& name);

// Every page of `merged` against the page of the source fixture it came
// from, in list order: the counts agree and each page renders alike.
::testing::AssertionResult RendersLikeItsSources(const fs::path& merged, const std::vector<std::string>& sources);

// Merges `inputs` into `output` through the component, the way the window
// does it: MergeDocs of the whole list, then a full save.
void MergeLikeTheWindow(const std::vector<fs::path>& inputs, const fs::path& output);

// The names in `folder`, sorted.
std::vector<std::string> FolderEntries(const fs::path& folder);

}  // namespace qz::integration
