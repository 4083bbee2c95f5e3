// merge_files OUT IN...: merges the PDF files IN, in order, into OUT through
// the document component exactly as the merge window does (a new component,
// MergeDocs with the list, SaveToFile without incremental save or reload; a
// failure to write the output is reported with the output's path).
// Used by the benchmarks to time our merge against other tools; exits 1 with
// the message when the merge fails, 2 on wrong usage.

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "component/ComponentExceptions.h"
#include "component/PDFDocument.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUT IN...\n", argc > 0 ? argv[0] : "merge_files");
        return 2;
    }
    try {
        std::vector<std::string> inputs(argv + 2, argv + argc);
        qz::component::TqzPDFDocument component;
        component.MergeDocs(inputs);
        try {
            component.SaveToFile(argv[1], false, false);
        } catch (const qz::component::EFileOpenError& e) {
            // Named with the output, as the window reports it.
            std::fprintf(stderr, "merge_files: %s: %s\n", e.what(), argv[1]);
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "merge_files: %s\n", e.what());
        return 1;
    }
    return 0;
}
