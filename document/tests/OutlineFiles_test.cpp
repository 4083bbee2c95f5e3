// Outlines of files that LaTeX (hyperref) and Ghostscript (pdfmark) make at
// test time, read, changed and saved by the model and read back by pikepdf
// (outline_facts.py and integration/pdf_facts.py): every item's level,
// target page and title as the model reports them is what pikepdf reads, and
// after a page is deleted nothing leads to it while every other target keeps
// its page.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "document/PDAction.h"
#include "document/PDBookmark.h"
#include "document/PDDestination.h"
#include "document/PDDocument.h"
#include "document/PDPage.h"
#include "testing/GTestSupport.h"
#include "testing/TempDir.h"
#include "testing/Tools.h"

namespace qz::document {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

const fs::path kTests = fs::path(QZ_TEST_DATA_DIR).parent_path();
const fs::path kOutlineFacts = kTests / "outline_facts.py";
const fs::path kPdfFacts = kTests.parent_path().parent_path() / "integration" / "pdf_facts.py";

// Four pages; items on each, three levels, a title in UTF-16 (the em dash)
// and one in 8-bit text; links on every page to sections on others.
constexpr const char* kLatex = R"(\documentclass{article}
\usepackage[utf8]{inputenc}
\usepackage{hyperref}
\begin{document}
\section{Introduction}\label{sec:intro}
See the results in Section~\ref{sec:results} on page~\pageref{sec:results}.
\subsection{Caf\'e au lait}
\subsubsection{Deep one}\label{sec:deep}
\newpage
\section{Methods}\label{sec:methods}
Back to \hyperref[sec:intro]{the introduction} and \ref{sec:deep}.
\subsection{Tools}
\pdfbookmark[2]{Gr\"u\ss e \textemdash{} Ende}{greeting}
\newpage
\section{Results}\label{sec:results}
Methods are in \ref{sec:methods}; see also page~\pageref{sec:conclusion}.
\subsection{Numbers}
\subsubsection{Small numbers}
\subsubsection{Large numbers}
\newpage
\section{Conclusion}\label{sec:conclusion}
Compare \ref{sec:results} and \ref{sec:methods}.
\end{document}
)";

// Four pages with explicit destinations, a named one (/Dest as a string),
// an item without destination and links between the pages.
constexpr const char* kPostScript = R"(%!PS-Adobe-3.0
<< /PageSize [612 792] >> setpagedevice
/F /NimbusSans-Regular findfont 24 scalefont def
/mark-page { F setfont 72 700 moveto (PAGE-) show 3 string cvs show } def
1 mark-page [/Rect [72 600 300 640] /Page 3 /View [/Fit] /Subtype /Link /LNK pdfmark showpage
2 mark-page [/Rect [72 600 300 640] /Page 1 /View [/Fit] /Subtype /Link /LNK pdfmark
[/Dest /second /View [/FitH 500] /DEST pdfmark showpage
3 mark-page [/Rect [72 600 300 640] /Dest /second /Subtype /Link /LNK pdfmark showpage
4 mark-page [/Rect [72 600 300 640] /Page 2 /View [/XYZ 0 700 0] /Subtype /Link /LNK pdfmark showpage
[/Count 2 /Page 1 /View [/XYZ 0 792 0] /Title (Part One) /OUT pdfmark
[/Page 1 /View [/Fit] /Title (First) /OUT pdfmark
[/Count -1 /Page 2 /View [/FitH 500] /Title (Second) /OUT pdfmark
[/Page 3 /View [/XYZ 72 400 2] /Title (Deep) /OUT pdfmark
[/Count 1 /Page 4 /Title <FEFF0043006F0074006500202713> /OUT pdfmark
[/Dest /second /Title (By name) /OUT pdfmark
[/Action /Launch /File (x.pdf) /Title (Launcher) /OUT pdfmark
)";


// The lines of `script`'s output on `path` that begin with `kind`, without it.
Lines Facts(const fs::path& script, const fs::path& path, const std::string& kind) {
    const qz::testing::RunResult run =
        qz::testing::RunProgram({"/usr/bin/python3", script.string(), path.string()});
    if (!run.Succeeded())
        throw qz::testing::ToolError(script.string() + " " + path.string() + ": " + run.Describe());
    Lines lines;
    std::istringstream text(run.out);
    for (std::string line; std::getline(text, line);) {
        if (line.rfind(kind + " ", 0) == 0) lines.push_back(line.substr(kind.size() + 1));
    }
    return lines;
}

Lines OutlineFacts(const fs::path& path) {
    return Facts(kOutlineFacts, path, "outline");
}
Lines DestFacts(const fs::path& path) {
    return Facts(kOutlineFacts, path, "dest");
}
Lines LinkFacts(const fs::path& path) {
    return Facts(kPdfFacts, path, "link");
}

// The outline as the model reports it, in outline_facts.py's form.
Lines ModelOutline(TqzPDDocument& document) {
    const TqzNamedDestinations names(document);
    Lines lines;
    TqzPDBookmark* root = document.GetBookmarkRoot();
    std::vector<TqzPDBookmark*> work;
    if (TqzPDBookmark* first = root->GetFirstChild()) work.push_back(first);
    while (!work.empty()) {
        TqzPDBookmark* item = work.back();
        work.pop_back();
        std::string target = "-";
        if (TqzPDPage* page = item->GetTargetPage(names)) {
            target = std::to_string(page->GetPageNum() - 1);
        } else if (item->GetDict() != nullptr && TargetOf(*item->GetDict()) != nullptr) {
            target = "none";
        }
        lines.push_back(std::to_string(item->GetLevel()) + " " + target + " " + item->GetTitle());
        if (TqzPDBookmark* next = item->GetNext()) work.push_back(next);
        if (TqzPDBookmark* child = item->GetFirstChild()) work.push_back(child);
    }
    return lines;
}

// A fact line's field `index` (0-based, blank separated) and the rest.
std::string Field(const std::string& line, size_t index) {
    std::istringstream words(line);
    std::string word;
    for (size_t i = 0; i <= index; ++i) words >> word;
    return word;
}

std::string AfterField(const std::string& line, size_t index) {
    size_t at = 0;
    for (size_t i = 0; i <= index; ++i) at = line.find(' ', at) + 1;
    return line.substr(at);
}

// A target after the pages `gone` (0-based, ascending) were deleted: its new
// index, or "" when it was one of them. "-" and "none" stay.
std::string Moved(const std::string& target, const std::vector<int32_t>& gone) {
    if (target == "-" || target == "none") return target;
    const int32_t index = std::stoi(target);
    if (std::binary_search(gone.begin(), gone.end(), index)) return "";
    const auto before = std::lower_bound(gone.begin(), gone.end(), index) - gone.begin();
    return std::to_string(index - static_cast<int32_t>(before));
}

class OutlineFilesTest : public ::testing::Test {
  protected:
    static void TearDownTestSuite() {
        delete fixtures_;
        fixtures_ = nullptr;
    }

    // Made once per test process, when a test first asks.
    static fs::path Latex() {
        const fs::path pdf = Fixtures().File("hyperref.pdf");
        if (fs::exists(pdf)) return pdf;
        const fs::path tex = Fixtures().Write("hyperref.tex", kLatex);
        // Twice: the first run writes what the second reads for references.
        for (int run = 0; run < 2; ++run) {
            const auto result = qz::testing::RunProgram({"pdflatex", "-interaction=nonstopmode",
                                                         "-halt-on-error", "-output-directory",
                                                         Fixtures().Path().string(), tex.string()});
            if (!result.Succeeded()) throw qz::testing::ToolError("pdflatex: " + result.Describe());
        }
        return pdf;
    }

    static fs::path Ghostscript() {
        const fs::path pdf = Fixtures().File("pdfmark.pdf");
        if (!fs::exists(pdf)) qz::testing::MakeWithGhostscript(kPostScript, pdf);
        return pdf;
    }

    static qz::testing::TempDir& Fixtures() {
        if (fixtures_ == nullptr) fixtures_ = new qz::testing::TempDir("qz-outline-files");
        return *fixtures_;
    }

    fs::path Save(TqzPDDocument& document, const std::string& name) {
        const fs::path path = dir_.File(name);
        TqzPDSaveFlags flags;
        flags.Full = true;
        document.SaveDocument(path, flags);
        EXPECT_TRUE(qz::testing::QpdfCheckPasses(path)) << name;
        return path;
    }

    static inline qz::testing::TempDir* fixtures_ = nullptr;
    qz::testing::TempDir dir_{"qz-outline-saved"};
};

TEST_F(OutlineFilesTest, TheModelReadsWhatPikepdfReads) {
    QZ_REQUIRE_TOOLS("pdflatex", "gs", "qpdf");
    QZ_REQUIRE_PIKEPDF();
    for (const fs::path& file : {Latex(), Ghostscript()}) {
        const Lines outside = OutlineFacts(file);
        ASSERT_GE(outside.size(), 7u) << file;
        TqzPDDocument document;
        document.LoadDocument(file);
        EXPECT_EQ(ModelOutline(document), outside) << file;
        // Every title is found from the root, whatever its letter case.
        for (const std::string& line : outside) {
            std::string title = AfterField(line, 1);
            std::transform(title.begin(), title.end(), title.begin(), [](char c) {
                return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            });
            TqzPDBookmark* found =
                document.GetBookmarkRoot()->GetByTitle(title, TqzOutlineTaversalType::ottDepthFirst,
                                                       TqzOutlineTraversalDepth::otdFullSubtree);
            ASSERT_NE(found, nullptr) << title;
            EXPECT_EQ(std::to_string(found->GetLevel()), Field(line, 0)) << title;
        }
    }
}

TEST_F(OutlineFilesTest, ChangesReadBackAsTheModelMadeThem) {
    QZ_REQUIRE_TOOLS("pdflatex", "gs", "qpdf");
    QZ_REQUIRE_PIKEPDF();
    int32_t saved = 0;
    for (const fs::path& file : {Latex(), Ghostscript()}) {
        TqzPDDocument document;
        document.LoadDocument(file);
        TqzPDBookmark& root = *document.GetBookmarkRoot();
        TqzPDBookmark& second = *root.GetChild(1);
        TqzPDDestination toPage3(&document, document.GetPage(3), TqzPageDisplayOptions::FitAll,
                                 nullptr);
        ASSERT_NE(second.AddNewChild("Added child", &toPage3, {}), nullptr) << file;
        TqzPDGoToAction toPage4(std::make_unique<TqzPDDestination>(
            &document, document.GetPage(4), TqzPageDisplayOptions::FitAll, nullptr));
        ASSERT_NE(root.GetChild(0)->AddNewNext("Added next", &toPage4, {}), nullptr) << file;
        ASSERT_NE(root.GetChild(0)->AddNewPrev("Added first", (TqzPDAction*)nullptr, {}), nullptr)
            << file;
        // The last top item goes, and so does the first child of the one
        // that was first (with its own children); a title takes characters
        // of no 8-bit code page.
        EXPECT_TRUE(root.DeleteChild(root.GetLastChild()->GetIndex())) << file;
        EXPECT_TRUE(root.GetChild(1)->DeleteChild(0)) << file;
        root.GetChild(1)->SetTitle("\xE2\x9C\x93 checked \xE2\x80\x94 \xC3\xA9");
        const Lines expected = ModelOutline(document);
        EXPECT_NE(std::find(expected.begin(), expected.end(), "1 - Added first"), expected.end())
            << file;
        EXPECT_NE(std::find(expected.begin(), expected.end(), "1 3 Added next"), expected.end())
            << file;
        EXPECT_NE(std::find(expected.begin(), expected.end(), "2 2 Added child"), expected.end())
            << file;
        const fs::path out = Save(document, "changed-" + std::to_string(++saved) + ".pdf");
        EXPECT_EQ(OutlineFacts(out), expected) << file;
        TqzPDDocument again;
        again.LoadDocument(out);
        EXPECT_EQ(ModelOutline(again), expected) << file;
    }
}

// Deletes `first`..`last` of `file`, saves, and checks with pikepdf that the
// outline, the named destinations and the links lead to the same pages as
// before, moved by the pages gone, and that those that led to a page gone
// lead nowhere (items) or are gone (names and links).
void CheckDeletion(const fs::path& file, int32_t first, int32_t last, const fs::path& out) {
    std::vector<int32_t> gone;
    for (int32_t n = first; n <= last; ++n) gone.push_back(n - 1);
    Lines outline;
    for (const std::string& line : OutlineFacts(file)) {
        const std::string moved = Moved(Field(line, 1), gone);
        outline.push_back(Field(line, 0) + " " + (moved.empty() ? "-" : moved) + " " +
                          AfterField(line, 1));
    }
    Lines dests;
    for (const std::string& line : DestFacts(file)) {
        const std::string moved = Moved(Field(line, 1), gone);
        if (!moved.empty()) dests.push_back(Field(line, 0) + " " + moved);
    }
    Lines links;
    for (const std::string& line : LinkFacts(file)) {
        const std::string page = Moved(Field(line, 0), gone);
        const std::string target =
            Field(line, 1) == "goto" ? Moved(Field(line, 2), gone) : Field(line, 2);
        if (!page.empty() && !target.empty())
            links.push_back(page + " " + Field(line, 1) + " " + target);
    }
    ASSERT_LT(links.size(), LinkFacts(file).size()) << "no link led to the pages deleted";

    TqzPDDocument document;
    document.LoadDocument(file);
    // Items already loaded lose their cached targets with the pages.
    ModelOutline(document);
    if (first == last) {
        document.DeletePage(first);
    } else {
        document.DeletePages(first, last);
    }
    EXPECT_EQ(ModelOutline(document), outline) << file;
    TqzPDSaveFlags flags;
    flags.Full = true;
    document.SaveDocument(out, flags);
    EXPECT_TRUE(qz::testing::QpdfCheckPasses(out));
    EXPECT_EQ(OutlineFacts(out), outline) << file;
    EXPECT_EQ(DestFacts(out), dests) << file;
    EXPECT_EQ(LinkFacts(out), links) << file;
    for (const Lines& facts : {OutlineFacts(out), DestFacts(out), LinkFacts(out)}) {
        for (const std::string& line : facts)
            EXPECT_EQ(line.find("none"), std::string::npos) << line;
    }
}

TEST_F(OutlineFilesTest, DeletedPagesLeaveNothingLeadingToThem) {
    QZ_REQUIRE_TOOLS("pdflatex", "gs", "qpdf");
    QZ_REQUIRE_PIKEPDF();
    CheckDeletion(Latex(), 2, 2, dir_.File("latex-without-2.pdf"));
    CheckDeletion(Latex(), 1, 1, dir_.File("latex-without-1.pdf"));
    CheckDeletion(Ghostscript(), 2, 3, dir_.File("gs-without-2-3.pdf"));
}

}  // namespace
}  // namespace qz::document
