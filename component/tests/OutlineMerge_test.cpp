// Merges that carry the sources' outlines (moIncludeOutlines), read back by
// pikepdf: real outlines written by pdflatex and Ghostscript, and small
// damaged or hostile ones made by the builder.

#include <gtest/gtest.h>

#include <map>

#include "platform/Streams.h"

#include "component/PDFDocument.h"
#include "component/tests/ComponentTestSupport.h"
#include "component/tests/OutlineFixtures.h"
#include "document/tests/OutlineTestSupport.h"

namespace qz::component {
namespace {

using document::OutlineDocument;
using document::OutlineItem;
using document::PageRef;

// Files with real outlines, made once for the whole suite.
class ToolOutlines : public ::testing::Test {
protected:
    void SetUp() override {
        QZ_REQUIRE_TOOLS("pdflatex", "gs", "qpdf");
        QZ_REQUIRE_PIKEPDF();
        static const Files made = Make();
        files_ = &made;
    }

    struct Files {
        std::unique_ptr<testing::TempDir> dir;
        std::map<std::string, fs::path> path;
    };
    static Files Make() {
        Files files{std::make_unique<testing::TempDir>("qz-outlines"), {}};
        // Sections, a subsection, a bold italic item and a URI; closed items.
        files.path["latexA"] = MakeLatexPdf(*files.dir, "latexA",
                                            "\\section{Alpha}A\\subsection{Alpha one}\\newpage\\section{Beta}B"
                                            "\\bookmark[page=2,bold,italic]{Styled}"
                                            "\\bookmark[uri={http://example.com/a}]{Site}");
        // Three pages, open items, the same destination names as latexA.
        files.path["latexB"] = MakeLatexPdf(*files.dir, "latexB",
                                            "\\section{Gamma}G\\newpage\\section{Delta}D\\subsection{Delta one}"
                                            "\\newpage\\section{Epsilon}E",
                                            "bookmarksopen=true");
        files.path["marks"] = MakePdfmarkPdf(*files.dir, "marks", "PM");
        files.path["plain"] = files.dir->Write("plain.pdf", testing::MinimalDocument(2, "PLAIN").Write());
        return files;
    }
    const fs::path& File(const std::string& name) const { return files_->path.at(name); }

    // The items `files` are expected to give when merged in this order
    // without a handler: each file's items as its own reader shows them,
    // their pages raised by the pages before it.
    static std::vector<std::string> Expected(const std::vector<fs::path>& files) {
        std::vector<std::string> items;
        int32_t before = 0;
        for (const fs::path& file : files) {
            const OutlineFacts facts = ReadOutline(file);
            for (const OutlineItemFact& item : facts.items) items.push_back(Line(item, before, 0));
            before += facts.pages;
        }
        return items;
    }
    static std::string Line(const OutlineItemFact& item, int32_t pagesBefore, int32_t levelsBelow) {
        std::string target = item.target;
        if (!target.empty() && std::isdigit(static_cast<unsigned char>(target[0])))
            target = std::to_string(std::stoi(target) + pagesBefore);
        return std::to_string(item.level + levelsBelow) + " " + target + " | " + item.Kept();
    }
    static std::vector<std::string> Lines(const OutlineFacts& facts) {
        std::vector<std::string> lines;
        for (OutlineItemFact item : facts.items) {
            // A file's item opens its page at the top, however high it is.
            if (item.title.rfind(kFileItem, 0) == 0 && item.view != "-") item.view = "top";
            lines.push_back(Line(item, 0, 0));
        }
        return lines;
    }
    static constexpr const char* kFileItem = "File ";

    // Merges `files` into a new component with outlines and saves the result.
    fs::path Merge(const std::vector<fs::path>& files, const std::string& out,
                   TqzCustomPDFDocument::TqzBookmarkMergeEvent handler = {}) {
        TqzPDFDocument component;
        component.SetMergeOptions({TqzMergeOptionsType::moIncludeOutlines});
        component.OnBookmarkMerge = std::move(handler);
        std::vector<std::string> list;
        for (const fs::path& file : files) list.push_back(file.string());
        component.MergeDocs(list);
        const fs::path path = dir_.File(out);
        component.SaveToFile(path, false, false);
        return path;
    }

    const Files* files_ = nullptr;
    testing::TempDir dir_{"qz-outline-merge"};
};

TEST_F(ToolOutlines, EveryFilesItemsAreTopLevelAndLeadToTheirOwnPages) {
    const std::vector<std::vector<std::string>> orders = {
        {"latexA", "marks", "latexB"},
        {"latexB", "latexA", "plain", "marks"},
    };
    for (const auto& order : orders) {
        std::vector<fs::path> files;
        for (const std::string& name : order) files.push_back(File(name));
        const fs::path out = Merge(files, "merged.pdf");
        EXPECT_TRUE(testing::QpdfCheckPasses(out));
        const OutlineFacts facts = ReadOutline(out);
        EXPECT_EQ(Lines(facts), Expected(files)) << order.front();
        // The root counts what a viewer shows.
        const std::string shown = facts.count.substr(facts.count.find(' ') + 1);
        EXPECT_EQ(facts.count, shown + " " + shown) << order.front();
    }
}

TEST_F(ToolOutlines, AHandlersTitleActionAndAttributeMakeOneItemPerFileWithAnOutline) {
    struct Case {
        const char* what;
        std::function<void(std::string&, std::unique_ptr<TqzPDFAction>&, std::unique_ptr<TqzBookmarkAttribute>&)>
            handle;
        std::string target;  // of the file's item, relative to the file's first page; "-" for none
        std::string action;
    };
    const std::vector<Case> cases = {
        {"the go-to action made for the file",
         [](std::string& title, auto&, auto& attribute) {
             title = "File " + title;
             attribute = std::make_unique<TqzBookmarkAttribute>(TqzFontStyles{TqzFontStyle::fsBold},
                                                                RGBColor(255, 0, 0));
         },
         "0", "-"},
        {"its page number moved to the file's second page",
         [](std::string& title, auto& action, auto&) {
             title = "File " + title;
             static_cast<TqzPDFGoToAction&>(*action).SetPageNo(2);
         },
         "1", "-"},
        {"a URI action in its place",
         [](std::string& title, auto& action, auto&) {
             title = "File " + title;
             auto uri = std::make_unique<TqzPDFURIAction>();
             uri->SetURI("http://example.com/file");
             action = std::move(uri);
         },
         "-", "URI http://example.com/file"},
    };
    const std::vector<fs::path> files = {File("latexA"), File("marks"), File("plain"), File("latexB")};
    for (const Case& c : cases) {
        std::vector<std::string> names;
        const fs::path out = Merge(files, "handled.pdf",
                                   [&](TqzCustomPDFDocument*, std::string& fileName, std::string& title,
                                       std::unique_ptr<TqzPDFAction>& action,
                                       std::unique_ptr<TqzBookmarkAttribute>& attribute) {
                                       names.push_back(fileName);
                                       title = fs::path(fileName).stem().string();
                                       c.handle(title, action, attribute);
                                   });
        EXPECT_EQ(names, (std::vector<std::string>{files[1].string(), files[2].string(), files[3].string()}));
        // The first file is the base: its outline stays as it is; the file
        // without outline adds nothing.
        std::vector<std::string> expected = Expected({files[0]});
        int32_t before = ReadOutline(files[0]).pages;
        for (size_t i = 1; i < files.size(); ++i) {
            const OutlineFacts facts = ReadOutline(files[i]);
            if (!facts.items.empty()) {
                const std::string target = c.target == "-" ? "-" : std::to_string(std::stoi(c.target) + before);
                const bool first = c.target != "-" && c.action == "-";
                const std::string style = c.what == cases[0].what ? "2 | 1 0 0" : "0 | 0 0 0";
                expected.push_back("1 " + target + " | " + (first ? "top" : "-") + " | " + style +
                                   " | open | " + c.action + " | File " + files[i].stem().string());
                for (const OutlineItemFact& item : facts.items) expected.push_back(Line(item, before, 1));
            }
            before += facts.pages;
        }
        EXPECT_EQ(Lines(ReadOutline(out)), expected) << c.what;
    }
}

// ---- the object-list form ----

// Each item as "TITLE PAGE", depth first.
std::vector<std::string> ItemPages(TqzCustomPDFDocument& component) {
    std::vector<std::string> items;
    std::vector<const TqzBookmarkNode*> work;
    const std::vector<TqzBookmarkNode> nodes = component.GetBookMarks();
    for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) work.push_back(&*it);
    while (!work.empty()) {
        const TqzBookmarkNode* node = work.back();
        work.pop_back();
        items.push_back(node->Title + " " + std::to_string(node->PageNumber));
        for (auto it = node->Children.rbegin(); it != node->Children.rend(); ++it) work.push_back(&*it);
    }
    return items;
}

TEST(OutlineMergeOfEntries, ItemsComeInListOrderBeforeTheComponentsOwn) {
    const std::string first = OutlineDocument(2, {{1, "S0 a", "/Dest [" + PageRef(1) + " /Fit]"},
                                                  {2, "S0 b", "/Dest [" + PageRef(2) + " /Fit]"}})
                                  .Write();
    const std::string second = OutlineDocument(1, {{1, "S1", "/Dest [" + PageRef(1) + " /Fit]"}}).Write();
    const std::string own = OutlineDocument(1, {{1, "Own", "/Dest [" + PageRef(1) + " /Fit]"}}).Write();
    for (const bool loaded : {false, true}) {
        platform::MemoryStream a(first);
        platform::MemoryStream b(second);
        TqzPDFDocument component;
        component.SetMergeOptions({TqzMergeOptionsType::moIncludeOutlines});
        if (loaded) {
            platform::MemoryStream start(own);
            ASSERT_TRUE(component.LoadFromStream(start, ""));
        }
        component.MergeDocs(std::vector<TqzMergeEntry>{&a, &b});
        std::vector<std::string> expected = {"S0 a 1", "S0 b 2", "S1 3"};
        if (loaded) expected.push_back("Own 4");
        EXPECT_EQ(ItemPages(component), expected) << loaded;
    }
}

// ---- damaged and hostile outlines ----

class HostileOutlines : public ::testing::Test {
protected:
    void SetUp() override {
        QZ_REQUIRE_TOOLS("qpdf");
        QZ_REQUIRE_PIKEPDF();
    }
    testing::TempDir dir_{"qz-outline-hostile"};
};

TEST_F(HostileOutlines, EndWithoutHangAndNoItemLeadsIntoAnotherFile) {
    // The base defines names the sources define too (theirs are renamed)
    // and names they use without defining: such an item must not lead here.
    const fs::path base = dir_.Write(
        "base.pdf", testing::MinimalDocument(1, "BASE")
                        .Set(1, "<< /Type /Catalog /Pages 2 0 R /Dests << /old [" + PageRef(1) + " /Fit] /old2 [" +
                                    PageRef(1) + " /Fit] >> /Names << /Dests << /Names [(chap) [" + PageRef(1) +
                                    " /Fit] (chap2) [" + PageRef(1) + " /Fit]] >> >> >>")
                        .Write());
    struct Case {
        const char* what;
        std::function<testing::PdfBuilder()> source;
        // "LEVEL TARGET TITLE" of the copies, pages counted in the output
        // (the base's page is 0).
        std::vector<std::string> items;
    };
    const auto three = [](int32_t& root) {
        return OutlineDocument(3, {{1, "A", "/Dest [" + PageRef(1) + " /Fit]"}, {1, "B", ""}, {1, "C", ""}}, "",
                               &root);
    };
    const std::vector<Case> cases = {
        {"a /Next loop",
         [&] {
             int32_t root = 0;
             testing::PdfBuilder b = three(root);
             b.Set(root + 3, "<< /Title (C) /Parent " + std::to_string(root) + " 0 R /Prev " +
                                 std::to_string(root + 2) + " 0 R /Next " + std::to_string(root + 1) + " 0 R >>");
             return b;
         },
         {"1 1 A", "1 - B", "1 - C"}},
        {"/First back to an ancestor and to the outline itself",
         [&] {
             int32_t root = 0;
             testing::PdfBuilder b = OutlineDocument(2, {{1, "A", ""}, {2, "A1", ""}}, "", &root);
             b.Set(root + 2, "<< /Title (A1) /Parent " + std::to_string(root + 1) + " 0 R /First " +
                                 std::to_string(root + 1) + " 0 R /Next " + std::to_string(root) + " 0 R >>");
             return b;
         },
         {"1 - A", "2 - A1"}},
        {"a /Count that lies",
         [&] {
             int32_t root = 0;
             testing::PdfBuilder b = OutlineDocument(2, {{1, "A", "/Count -99999"}, {2, "A1", ""}}, "", &root);
             b.Set(root, "<< /Type /Outlines /First " + std::to_string(root + 1) + " 0 R /Last " +
                             std::to_string(root + 1) + " 0 R /Count 2147483647 >>");
             return b;
         },
         {"1 - A", "2 - A1"}},
        {"targets that are missing or on pages not copied",
         [&] {
             testing::PdfBuilder b = OutlineDocument(
                 2, {{1, "gone", "/Dest [999 0 R /Fit]"},
                     {1, "catalog", "/Dest [1 0 R /Fit]"},
                     {1, "orphan", "/Dest [50 0 R /Fit]"},
                     {1, "orphan go-to", "/A << /S /GoTo /D [50 0 R /XYZ 0 0 0] >>"},
                     {1, "index", "/Dest [1 /Fit]"},
                     {1, "number", "/Dest 7"}});
             // A page that no page-tree node lists: it is not copied.
             b.Set(50, "<< /Type /Page /MediaBox [0 0 100 100] >>");
             return b;
         },
         {"1 - gone", "1 - catalog", "1 - orphan", "1 - orphan go-to", "1 2 index", "1 - number"}},
        {"named destinations the source defines or not",
         [&] {
             return OutlineDocument(2,
                                    {{1, "defined", "/Dest (chap)"},
                                     {1, "defined go-to", "/A << /S /GoTo /D /old >>"},
                                     {1, "undefined", "/Dest (nowhere)"},
                                     {1, "the base's name", "/Dest (chap2)"},
                                     {1, "the base's old name", "/A << /S /GoTo /D /old2 >>"}},
                                    "/Dests << /old [" + PageRef(2) + " /Fit] >> /Names << /Dests << /Names "
                                    "[(chap) [" + PageRef(1) + " /FitH 10]] >> >>");
         },
         {"1 1 defined", "1 2 defined go-to", "1 - undefined", "1 - the base's name", "1 - the base's old name"}},
    };
    for (const Case& c : cases) {
        const fs::path source = dir_.Write("source.pdf", c.source().Write());
        TqzPDFDocument component;
        component.SetMergeOptions({TqzMergeOptionsType::moIncludeOutlines});
        component.MergeDocs(Paths({base, source}));
        const fs::path out = dir_.File("out.pdf");
        component.SaveToFile(out, false, false);
        EXPECT_TRUE(testing::QpdfCheckPasses(out)) << c.what;
        std::vector<std::string> items;
        for (const OutlineItemFact& item : ReadOutline(out).items)
            items.push_back(std::to_string(item.level) + " " + item.target + " " + item.title);
        EXPECT_EQ(items, c.items) << c.what;
    }
}

TEST_F(HostileOutlines, AnOutlineDeeperThanTheModelKeepsIsCutAtItsDepth) {
    // One chain of nested items, far deeper than real outlines go.
    constexpr int32_t kDepth = document::kMaxOutlineDepth + 40;
    std::vector<OutlineItem> items;
    for (int32_t level = 1; level <= kDepth; ++level) items.push_back({level, "L" + std::to_string(level), ""});
    const fs::path source = dir_.Write("deep.pdf", OutlineDocument(1, items).Write());
    const fs::path base = dir_.Write("base.pdf", testing::MinimalDocument(1, "BASE").Write());
    TqzPDFDocument component;
    component.SetMergeOptions({TqzMergeOptionsType::moIncludeOutlines});
    component.MergeDocs(Paths({base, source}));
    const fs::path out = dir_.File("out.pdf");
    component.SaveToFile(out, false, false);
    const OutlineFacts facts = ReadOutline(out);
    ASSERT_FALSE(facts.items.empty());
    EXPECT_EQ(facts.items.front().title, "L1");
    EXPECT_LE(facts.items.size(), static_cast<size_t>(document::kMaxOutlineDepth));
    for (size_t i = 0; i < facts.items.size(); ++i)
        EXPECT_EQ(facts.items[i].level, static_cast<int32_t>(i) + 1);
}

}  // namespace
}  // namespace qz::component
