#include <gtest/gtest.h>

#include <sys/resource.h>

#include <exception>

#include "component/ComponentExceptions.h"
#include "component/PDFDocument.h"
#include "component/tests/ComponentTestSupport.h"
#include "document/PDModelException.h"
#include "platform/ReopeningFileStream.h"

namespace qz::component {
namespace {

using testing::PdfBuilder;

using MergeDocsTest = ThreeMarkedFiles;

TEST_F(MergeDocsTest, ThreeFilesGiveTheirPagesInListOrderCheckedByOutsideTools) {
    QZ_REQUIRE_TOOLS("qpdf", "pdftotext", "pdfinfo", "pdftoppm");
    const fs::path out = dir_.File("out.pdf");
    {
        TqzPDFDocument component;
        component.MergeDocs(Paths({b_, c_, a_}));
        EXPECT_TRUE(component.GetIsLoaded());
        EXPECT_EQ(component.GetPageCount(), 6);
        EXPECT_EQ(component.GetMergeObjectCount(), 2);
        component.SaveToFile(out, false, false);
        EXPECT_FALSE(component.GetIsLoaded());
    }
    EXPECT_TRUE(testing::QpdfCheckPasses(out));
    EXPECT_EQ(PageMarkers(out), Concat({Markers("B", 2), Markers("C", 3), Markers("A", 1)}));
    EXPECT_TRUE(testing::SameRenders(out, b_, 1, 2, 1));
    EXPECT_TRUE(testing::SameRenders(out, c_, 3, 5, 1));
    EXPECT_TRUE(testing::SameRenders(out, a_, 6, 6, 1));
}

TEST_F(MergeDocsTest, StatusAndProgressFollowTheSteps) {
    const struct {
        const char* what;
        bool loadCFirst;
        std::vector<fs::path> list;
        std::vector<std::string> events;
        int32_t pages;
        int32_t sources;
    } cases[] = {
        {"three files into a new component",
         false,
         {a_, b_, c_},
         {"status: Merging File: a.pdf", "progress 0: 1/3", "status: Merging File: b.pdf", "progress 0: 2/3",
          "status: Merging File: c.pdf", "progress 0: 3/3", "status: 3 documents merged successfully"},
         6,
         2},
        {"two files into a loaded component: the first is merged too",
         true,
         {a_, b_},
         {"status: Merging File: a.pdf", "progress 0: 1/2", "status: Merging File: a.pdf", "progress 0: 1/2",
          "status: Merging File: b.pdf", "progress 0: 2/2", "status: 2 documents merged successfully"},
         6,
         2},
        {"one file into a new component just loads it",
         false,
         {a_},
         {"status: Merging File: a.pdf", "progress 0: 1/1", "status: 1 documents merged successfully"},
         1,
         0},
    };
    for (const auto& c : cases) {
        TqzPDFDocument component;
        if (c.loadCFirst) {
            ASSERT_TRUE(component.LoadFromFile(c_, ""));
        }
        EventLog log;
        log.Attach(component);
        std::vector<std::string> list;
        for (const auto& p : c.list) list.push_back(p.string());
        component.MergeDocs(list);
        EXPECT_EQ(log.events, c.events) << c.what;
        EXPECT_EQ(component.GetPageCount(), c.pages) << c.what;
        EXPECT_EQ(component.GetMergeObjectCount(), c.sources) << c.what;
    }
}

TEST_F(MergeDocsTest, MergingIntoALoadedComponentAppendsEveryFile) {
    QZ_REQUIRE_TOOLS("pdftotext", "pdfinfo");
    const fs::path out = dir_.File("out.pdf");
    TqzPDFDocument component;
    ASSERT_TRUE(component.LoadFromFile(c_, ""));
    component.MergeDocs(Paths({a_, b_}));
    component.SaveToFile(out, false, false);
    EXPECT_EQ(PageMarkers(out), Concat({Markers("C", 3), Markers("A", 1), Markers("B", 2)}));
}

TEST_F(MergeDocsTest, EmptyListDoesNothingAndFilesWithoutOutlineGiveNoItems) {
    TqzPDFDocument component;
    EventLog log;
    log.Attach(component);
    component.MergeDocs(std::vector<std::string>{});
    EXPECT_TRUE(log.events.empty());
    EXPECT_FALSE(component.GetIsLoaded());
    EXPECT_EQ(component.GetPDDocument(), nullptr);

    component.SetMergeOptions({TqzMergeOptionsType::moIncludeOutlines});
    int32_t bookmarkEvents = 0;
    component.OnBookmarkMerge = [&](TqzCustomPDFDocument*, std::string&, std::string& title, auto&, auto&) {
        ++bookmarkEvents;
        title = "Not made: the file has no outline";
    };
    component.MergeDocs(Paths({a_, b_}));
    EXPECT_TRUE(component.GetIsLoaded());
    EXPECT_EQ(component.GetPageCount(), 3);
    EXPECT_EQ(bookmarkEvents, 1);
    EXPECT_EQ(component.GetBookMarkAsString(), std::vector<std::string>{" "});
}

// The cause nested in a merge error, rethrown.
std::exception_ptr NestedCause(const EMergeError& e) {
    try {
        std::rethrow_if_nested(e);
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

TEST_F(MergeDocsTest, ASourceThatDoesNotOpenEndsTheMergeNamingItAndTheComponentStaysUsable) {
    QZ_REQUIRE_TOOLS("qpdf");
    const fs::path notPdf = dir_.Write("notes.pdf", "These are not the bytes of a PDF file.\n");
    const fs::path damaged = dir_.Write("damaged.pdf", "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n1 0 obj\n<< /Type");
    const fs::path empty = dir_.Write("empty.pdf", "");
    const fs::path locked = Encrypted(dir_, a_, "locked.pdf", testing::QpdfEncryption::Rc4_128, "secret");
    const fs::path aes256 = Encrypted(dir_, a_, "aes256.pdf", testing::QpdfEncryption::Aes256);
    const fs::path missing = dir_.File("vanished.pdf");
    const auto before = FolderEntries(dir_.Path());

    for (const fs::path& bad : {notPdf, damaged, empty, locked, aes256, missing}) {
        for (const bool first : {true, false}) {
            SCOPED_TRACE(bad.filename().string() + (first ? " first" : " second"));
            TqzPDFDocument component;
            const auto list = first ? Paths({bad, b_}) : Paths({a_, bad, b_});
            try {
                component.MergeDocs(list);
                ADD_FAILURE() << "the merge went on";
            } catch (const EMergeError& e) {
                EXPECT_EQ(e.Source(), bad.string());
                EXPECT_NE(std::string(e.what()).find(bad.string()), std::string::npos) << e.what();
                EXPECT_NE(NestedCause(e), nullptr);
            }
            // The pages merged before the failure stay; the component goes on.
            EXPECT_EQ(component.GetIsLoaded(), !first);
            EXPECT_EQ(component.GetPageCount(), first ? 0 : 1);
            component.MergeDocs(Paths({c_}));
            EXPECT_EQ(component.GetPageCount(), first ? 3 : 4);
        }
    }
    EXPECT_EQ(FolderEntries(dir_.Path()), before);

    TqzPDFDocument component;
    try {
        component.MergeDocs(Paths({a_, missing}));
    } catch (const EMergeError& e) {
        EXPECT_EQ(std::string(e.what()), "Could not merge " + missing.string() + ": File Not Found");
        EXPECT_THROW(std::rethrow_exception(NestedCause(e)), EFileNotFound);
    }
}

TEST_F(MergeDocsTest, ASourceWhoseDataFailsWhileTheResultIsWrittenIsNamed) {
    // A source's stream data is read only when the result is saved. Here the
    // second file is cut short after the merge, in the middle of its page's
    // long content, which stands last before its cross-reference table.
    PdfBuilder builder = testing::MinimalDocument(1, "CUT");
    std::string content = testing::MarkerPageContent("CUT", 1);
    for (int line = 0; line < 20000; ++line) content += "% line " + std::to_string(line) + "\n";
    const int32_t longContent = builder.AddStream("<< >>", content);
    builder.Set(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R >> >> "
                   "/Contents " + std::to_string(longContent) + " 0 R >>");
    const testing::PdfFile built = builder.Build();
    const fs::path cut = dir_.Write("cut.pdf", built.bytes);
    const fs::path out = dir_.File("out.pdf");
    const auto before = FolderEntries(dir_.Path());

    TqzPDFDocument component;
    component.MergeDocs(Paths({a_, cut}));
    fs::resize_file(cut, static_cast<uintmax_t>(built.offsets.at(longContent) + 1000));
    try {
        component.SaveToFile(out, false, false);
        FAIL() << "the save went on";
    } catch (const std::exception& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Could not merge " + cut.string() + ": ", 0), 0u) << e.what();
    }
    // Nothing was written.
    EXPECT_EQ(FolderEntries(dir_.Path()), before);
}

TEST_F(MergeDocsTest, ASecondSaveAfterAMergeReadsTheSourcesAgain) {
    QZ_REQUIRE_TOOLS("qpdf", "pdftotext", "pdfinfo");
    const fs::path first = dir_.File("first.pdf");
    const fs::path second = dir_.File("second.pdf");
    TqzPDFDocument component;
    component.MergeDocs(Paths({a_, b_, c_}));
    component.SaveToFile(first, false, false);
    EXPECT_EQ(component.GetMergeObjectCount(), 2);
    component.SaveToFile(second, false, false);
    const auto expected = Concat({Markers("A", 1), Markers("B", 2), Markers("C", 3)});
    for (const fs::path& out : {first, second}) {
        EXPECT_TRUE(testing::QpdfCheckPasses(out));
        EXPECT_EQ(PageMarkers(out), expected) << out;
    }
    component.Reset();
    EXPECT_EQ(component.GetMergeObjectCount(), 0);
}

TEST_F(MergeDocsTest, ObjectListMergesFromTheEndAndKeepsListOrder) {
    QZ_REQUIRE_TOOLS("qpdf", "pdftotext", "pdfinfo");
    platform::MemoryStream streamA(platform::ReadFileBytes(a_));
    platform::MemoryStream streamB(platform::ReadFileBytes(b_));

    // Two streams into an unloaded component: the last is the base.
    {
        TqzPDFDocument component;
        EventLog log;
        log.Attach(component);
        component.MergeDocs(std::vector<TqzMergeEntry>{&streamA, &streamB});
        EXPECT_EQ(log.events, (std::vector<std::string>{"status: Merging File: ", "progress 0: 1/2",
                                                        "status: Merging File: ", "progress 0: 1/2",
                                                        "status: 2 documents merged successfully"}));
        const fs::path out = dir_.File("streams.pdf");
        component.SaveToFile(out, false, false);
        EXPECT_EQ(PageMarkers(out), Concat({Markers("A", 1), Markers("B", 2)}));
    }

    // The base taken over from a temporary component is owned here: saving
    // twice after the temporary one is gone reads a live model.
    {
        TqzPDFDocument component;
        component.MergeDocs(std::vector<TqzMergeEntry>{&streamA, &streamB, std::monostate{}});
        const fs::path once = dir_.File("once.pdf");
        const fs::path twice = dir_.File("twice.pdf");
        component.SaveToFile(once, false, false);
        component.SaveToFile(twice, false, false);
        for (const fs::path& out : {once, twice}) {
            EXPECT_TRUE(testing::QpdfCheckPasses(out));
            EXPECT_EQ(PageMarkers(out), Concat({Markers("A", 1), Markers("B", 2)})) << out;
        }
    }

    // Component entries: inserted when this one is loaded, taken over (and
    // shared, surviving their owner) when it is not.
    {
        TqzPDFDocument component;
        {
            auto other = std::make_unique<TqzPDFDocument>();
            ASSERT_TRUE(other->LoadFromFile(c_, ""));
            component.MergeDocs(std::vector<TqzMergeEntry>{&streamA, other.get()});
            EXPECT_TRUE(other->GetIsLoaded());
        }
        const fs::path out = dir_.File("components.pdf");
        component.SaveToFile(out, false, false);
        EXPECT_TRUE(testing::QpdfCheckPasses(out));
        EXPECT_EQ(PageMarkers(out), Concat({Markers("A", 1), Markers("C", 3)}));
    }
    {
        TqzPDFDocument component;
        EXPECT_THROW(component.MergeDocs(std::vector<TqzMergeEntry>{&component}), EMergeError);
        TqzPDFDocument unloaded;
        EXPECT_THROW(component.MergeDocs(std::vector<TqzMergeEntry>{&unloaded}), EMergeError);
        EXPECT_FALSE(component.GetIsLoaded());
    }
}

// Writes `count` one-page files "f<i>.pdf", page marked "F<i>-1".
std::vector<std::string> ManyFiles(const testing::TempDir& dir, int32_t count) {
    std::vector<std::string> list;
    const std::string bytes = testing::MinimalDocument(1, "F").Write();
    for (int32_t i = 0; i < count; ++i) {
        // Same page in every file: the order is read from the file names.
        list.push_back(dir.Write("f" + std::to_string(i) + ".pdf",
                                 i % 2 == 0 ? bytes : testing::MinimalDocument(1, "G").Write())
                           .string());
    }
    return list;
}

TEST_F(MergeDocsTest, TwoThousandFilesMergeInOneCall) {
    QZ_REQUIRE_TOOLS("qpdf", "pdftotext", "pdfinfo");
    constexpr int32_t kFiles = 2000;
    const auto list = ManyFiles(dir_, kFiles);
    const fs::path out = dir_.File("many.pdf");
    {
        TqzPDFDocument component;
        component.MergeDocs(list);
        EXPECT_EQ(component.GetPageCount(), kFiles);
        component.SaveToFile(out, false, false);
    }
    EXPECT_TRUE(testing::QpdfCheckPasses(out));
    EXPECT_EQ(testing::PdfInfoPages(out), kFiles);
    EXPECT_NE(testing::PdfToText(out, 1).find("F-1"), std::string::npos);
    EXPECT_NE(testing::PdfToText(out, 2).find("G-1"), std::string::npos);
    EXPECT_NE(testing::PdfToText(out, kFiles).find("G-1"), std::string::npos);
}

// Runs in a child process: merges `list` into `out` under a hard limit of
// `limit` open files and gives 0 when the output reads back whole.
int MergeUnderOpenFileLimit(const std::vector<std::string>& list, const fs::path& out, rlim_t limit) {
    const rlimit lowered{limit, limit};
    if (::setrlimit(RLIMIT_NOFILE, &lowered) != 0) return 2;
    try {
        TqzPDFDocument component;
        component.MergeDocs(list);
        component.SaveToFile(out, false, false);
        TqzPDFDocument check;
        check.LoadFromFile(out, "");
        return check.GetPageCount() == static_cast<int32_t>(list.size()) ? 0 : 3;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 4;
    }
}

// With a hard limit on open files far below the number of sources, the
// sources give their descriptors back while idle and the merge completes.
TEST_F(MergeDocsTest, SourcesBeyondTheHardLimitOnOpenFilesStillMerge) {
    QZ_REQUIRE_TOOLS("qpdf", "pdfinfo");
    constexpr int32_t kFiles = 600;
    const auto list = ManyFiles(dir_, kFiles);
    const fs::path out = dir_.File("limited.pdf");
    EXPECT_EXIT(std::_Exit(MergeUnderOpenFileLimit(list, out, 200)), ::testing::ExitedWithCode(0), "");
    EXPECT_TRUE(testing::QpdfCheckPasses(out));
    EXPECT_EQ(testing::PdfInfoPages(out), kFiles);
}

}  // namespace
}  // namespace qz::component
