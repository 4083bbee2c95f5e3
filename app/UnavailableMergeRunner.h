#pragma once
// A runner for builds without the PDF layer: every request fails with a
// message saying so, and no file is touched.

#include "app/MergeRunner.h"

namespace qz::app {

class UnavailableMergeRunner final : public MergeRunner {
public:
    void merge(const std::vector<std::filesystem::path>& inputs,
               const std::filesystem::path& output) override;
};

}  // namespace qz::app
