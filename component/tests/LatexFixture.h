#pragma once
// PDF files with a real outline made by pdflatex (hyperref and bookmark), for
// the component's and the window's tests.

#include <filesystem>
#include <string>

#include "testing/TempDir.h"
#include "testing/Tools.h"

namespace qz::component {

// `body` between \begin{document} and \end{document}, with hyperref's and
// bookmark's outline, made by pdflatex (twice: the outline is written on the
// second run) into `dir`/`name`.pdf, beside its .tex, .aux and .log.
inline std::filesystem::path MakeLatexPdf(const testing::TempDir& dir, const std::string& name,
                                          const std::string& body, const std::string& options = "") {
    const std::string source = "\\documentclass{article}\n\\usepackage[" + options +
                               "]{hyperref}\n\\usepackage{bookmark}\n\\begin{document}\n" + body +
                               "\n\\end{document}\n";
    const std::filesystem::path tex = dir.Write(name + ".tex", source);
    for (int run = 0; run < 2; ++run) {
        const testing::RunResult result =
            testing::RunProgram({"pdflatex", "-interaction=batchmode", "-halt-on-error", "-no-shell-escape",
                                 "-output-directory=" + dir.Path().string(), tex.string()});
        if (!result.Succeeded()) throw testing::ToolError("pdflatex " + name + ": " + result.Describe());
    }
    return dir.File(name + ".pdf");
}

}  // namespace qz::component
