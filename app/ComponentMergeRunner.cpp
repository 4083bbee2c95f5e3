#include "app/ComponentMergeRunner.h"

#include <string>

#include "component/ComponentExceptions.h"
#include "component/PDFDocument.h"
#include "platform/Exception.h"

namespace qz::app {

void ComponentMergeRunner::merge(const std::vector<std::filesystem::path>& inputs,
                                 const std::filesystem::path& output) {
    std::vector<std::string> list;
    list.reserve(inputs.size());
    for (const auto& input : inputs) list.push_back(input.string());

    component::TqzPDFDocument document;
    // Every file's bookmarks follow its pages, not only the first file's.
    document.SetMergeOptions({component::TqzMergeOptionsType::moIncludeOutlines});
    // The component writes beside the output and replaces it only once the
    // merged file is complete, so nothing is deleted beforehand.
    document.MergeDocs(list);
    try {
        document.SaveToFile(output, false, false);
    } catch (const component::EFileOpenError& e) {
        throw platform::Exception(std::string(e.what()) + ": " + output.string());
    }
}

}  // namespace qz::app
