#pragma once
// The seam between the merge window and the PDF layer: one operation that
// joins PDF files into one. The window borrows a runner for its whole life
// and calls it once per save request, off the window's thread and never
// twice at once; a runner makes and frees whatever it needs inside each call.

#include <filesystem>
#include <vector>

namespace qz::app {

class MergeRunner {
public:
    virtual ~MergeRunner() = default;

    // Writes to `output` one PDF made of all pages of `inputs`, in that order
    // (the window passes two or more). Throws a std::exception whose message
    // is fit to show the user, naming the input that failed where one did.
    // An existing `output` is replaced only once the new file is complete:
    // after a failure it is left as it was.
    virtual void merge(const std::vector<std::filesystem::path>& inputs,
                       const std::filesystem::path& output) = 0;
};

}  // namespace qz::app
