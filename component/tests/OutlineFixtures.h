#pragma once
// Outline fixtures of the component tests, made at test time by the tools
// that write real outlines (pdflatex with hyperref and bookmark, Ghostscript's
// pdfmark), and the reader of a file's outline items through pikepdf
// (data/outline_items.py).

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "component/tests/LatexFixture.h"
#include "testing/GTestSupport.h"
#include "testing/TempDir.h"
#include "testing/Tools.h"

#ifndef QZ_TEST_DATA_DIR
#error "QZ_TEST_DATA_DIR must name component/tests/data"
#endif

namespace qz::component {

namespace fs = std::filesystem;


// One outline item as outline_items.py prints it.
struct OutlineItemFact {
    int32_t level = 0;
    std::string target;  // 0-based page index, "none" or "-"
    std::string view;    // "XYZ 36 500 1.5", "-"
    std::string flags;
    std::string colour;
    std::string state;   // "open", "closed", "-"
    std::string action;  // "URI ...", "-"
    std::string title;

    // Everything but the level and the target, which a merge changes.
    std::string Kept() const {
        return view + " | " + flags + " | " + colour + " | " + state + " | " + action + " | " + title;
    }
};

struct OutlineFacts {
    int32_t pages = 0;
    std::vector<OutlineItemFact> items;
    // The outline root's /Count ("-" without one) and the items a viewer
    // shows, as "STORED SHOWN".
    std::string count;
};

inline OutlineFacts ReadOutline(const fs::path& pdf) {
    const testing::RunResult run = testing::RunProgram(
        {"/usr/bin/python3", std::string(QZ_TEST_DATA_DIR) + "/outline_items.py", pdf.string()});
    if (!run.Succeeded()) throw testing::ToolError("outline_items.py " + pdf.string() + ": " + run.Describe());
    OutlineFacts facts;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("pages ", 0) == 0) {
            facts.pages = std::stoi(line.substr(6));
            continue;
        }
        if (line.rfind("count ", 0) == 0) {
            facts.count = line.substr(6);
            continue;
        }
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, '\t');) fields.push_back(field);
        if (fields.size() != 8) throw testing::ToolError("outline_items.py printed: " + line);
        facts.items.push_back(
            {std::stoi(fields[0]), fields[1], fields[2], fields[3], fields[4], fields[5], fields[6], fields[7]});
    }
    return facts;
}

// Three pages "<marker>-k" and an outline written with pdfmark: a red, bold,
// closed item with an XYZ view and a child, a URI, a launch and a named
// action.
inline fs::path MakePdfmarkPdf(const testing::TempDir& dir, const std::string& name, const std::string& marker) {
    const std::string ps = "%!PS\n/Helvetica findfont 20 scalefont setfont\n"
                           "1 1 3 { 72 700 moveto (" + marker + "-) show 3 string cvs show showpage } for\n"
                           "[/Title (" + marker + " red bold) /Page 2 /View [/XYZ 36 500 1.5] /C [1 0 0] /F 2 "
                           "/Count -1 /OUT pdfmark\n"
                           "[/Title (" + marker + " child) /Page 3 /View [/FitH 400] /OUT pdfmark\n"
                           "[/Title (" + marker + " web) /Action << /Subtype /URI /URI (http://example.com/" +
                           marker + ") >> /OUT pdfmark\n"
                           "[/Title (" + marker + " launch) /Action /Launch /File (other.pdf) /OUT pdfmark\n"
                           "[/Title (" + marker + " next) /Action << /Subtype /Named /N /NextPage >> /OUT pdfmark\n";
    const fs::path out = dir.File(name + ".pdf");
    testing::MakeWithGhostscript(ps, out);
    return out;
}

}  // namespace qz::component
