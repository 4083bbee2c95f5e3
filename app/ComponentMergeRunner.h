#pragma once
// The merge runner over the PDF layer: each request makes a document
// component, merges the inputs into it and saves it, as the original window
// did, and frees it again. Holds nothing between requests.

#include "app/MergeRunner.h"

namespace qz::app {

class ComponentMergeRunner final : public MergeRunner {
public:
    // The component names the input that failed; a failure to write the
    // output is reported with the output's path.
    void merge(const std::vector<std::filesystem::path>& inputs,
               const std::filesystem::path& output) override;
};

}  // namespace qz::app
