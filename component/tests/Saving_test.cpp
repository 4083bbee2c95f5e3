#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include "component/ComponentExceptions.h"
#include "component/PDFDocument.h"
#include "component/tests/ComponentTestSupport.h"

namespace qz::component {
namespace {

using SavingTest = ThreeMarkedFiles;

class AnsweringDialog final : public TqzSettingsDialog {
public:
    explicit AnsweringDialog(int32_t answer) : answer_(answer) {}
    int32_t ShowModal(TqzCustomPDFDocument&) override {
        ++shown;
        return answer_;
    }
    int shown = 0;

private:
    int32_t answer_;
};

class RecordingOpener final : public TqzDocumentOpener {
public:
    void Open(const fs::path& file) override { opened.push_back(file); }
    std::vector<fs::path> opened;
};

TEST_F(SavingTest, SaveOntoTheLoadedFileOrAMergeSourceReadsItFirst) {
    QZ_REQUIRE_TOOLS("qpdf", "pdftotext", "pdfinfo");
    {
        TqzPDFDocument component;
        ASSERT_TRUE(component.LoadFromFile(b_, ""));
        component.SaveToFile(b_, false, false);
    }
    EXPECT_TRUE(testing::QpdfCheckPasses(b_));
    EXPECT_EQ(PageMarkers(b_), Markers("B", 2));
    {
        TqzPDFDocument component;
        component.MergeDocs(Paths({a_, b_, c_}));
        component.SaveToFile(c_, false, false);
    }
    EXPECT_TRUE(testing::QpdfCheckPasses(c_));
    EXPECT_EQ(PageMarkers(c_), Concat({Markers("A", 1), Markers("B", 2), Markers("C", 3)}));
    EXPECT_EQ(FolderEntries(dir_.Path()), (std::vector<std::string>{"a.pdf", "b.pdf", "c.pdf"}));
}

// Runs in a child process whose files may not grow past `limit` bytes, so
// that the write of the merged file fails half-way; gives 0 when the old
// destination and the folder are as they were and the component still
// holds its document.
int SaveBeyondFileSizeLimit(const std::vector<std::string>& list, const fs::path& destination, rlim_t limit) {
    std::signal(SIGXFSZ, SIG_IGN);
    TqzPDFDocument component;
    component.MergeDocs(list);
    const auto before = FolderEntries(destination.parent_path());
    const rlimit lowered{limit, limit};
    if (::setrlimit(RLIMIT_FSIZE, &lowered) != 0) return 2;
    try {
        component.SaveToFile(destination, false, false);
        return 3;
    } catch (const std::exception&) {
    }
    if (platform::ReadFileBytes(destination) != "old merged file") return 4;
    if (FolderEntries(destination.parent_path()) != before) return 5;
    if (!component.GetIsLoaded() || component.GetPageCount() != 6) return 6;
    return 0;
}

TEST_F(SavingTest, FailedSaveLeavesTheOldDestinationAndNoStrayFile) {
    const fs::path destination = dir_.Write("merged.pdf", "old merged file");
    EXPECT_EXIT(std::_Exit(SaveBeyondFileSizeLimit(Paths({a_, b_, c_}), destination, 1500)),
                ::testing::ExitedWithCode(0), "");
}

TEST_F(SavingTest, OutputThatCannotBeCreatedRaisesCouldNotCreateFile) {
    const fs::path aFile = dir_.Write("plain.txt", "x");
    fs::create_directory(dir_.File("folder"));
    std::vector<fs::path> places = {dir_.File("missing") / "out.pdf", aFile / "out.pdf", dir_.File("folder"),
                                    dir_.Path() / ""};
    if (::geteuid() != 0) {
        // Permissions do not stop the superuser.
        fs::create_directory(dir_.File("locked"));
        fs::permissions(dir_.File("locked"), fs::perms::owner_read | fs::perms::owner_exec);
        places.push_back(dir_.File("locked") / "out.pdf");
    }
    const auto before = FolderEntries(dir_.Path());
    TqzPDFDocument component;
    ASSERT_TRUE(component.LoadFromFile(a_, ""));
    for (const fs::path& place : places) {
        try {
            component.SaveToFile(place, false, false);
            ADD_FAILURE() << place << " was written";
        } catch (const EFileOpenError& e) {
            EXPECT_STREQ(e.what(), "Could not create file") << place;
        }
        EXPECT_TRUE(component.GetIsLoaded()) << place;
    }
    EXPECT_EQ(FolderEntries(dir_.Path()), before);
    EXPECT_TRUE(fs::is_empty(dir_.File("folder")));
    if (::geteuid() != 0) fs::permissions(dir_.File("locked"), fs::perms::owner_all);
}

TEST_F(SavingTest, SaveWithoutADocumentWritesNothing) {
    const fs::path out = dir_.File("out.pdf");
    TqzPDFDocument component;
    EXPECT_THROW(component.SaveToFile(out, false, false), ENoDocumentError);
    platform::MemoryStream stream;
    EXPECT_THROW(component.SaveToStream(stream, false), ENoDocumentError);
    EXPECT_THROW(component.SaveChanges(true), ENoDocumentError);
    ASSERT_TRUE(component.LoadFromFile(a_, ""));
    component.Reset();
    EXPECT_THROW(component.SaveToFile(out, false, false), ENoDocumentError);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(stream.Size(), 0);
}

TEST_F(SavingTest, CancelledSettingsDialogLeavesNothingBehind) {
    const fs::path out = dir_.Write("out.pdf", "old merged file");
    const auto before = FolderEntries(dir_.Path());
    TqzPDFDocument component;
    ASSERT_TRUE(component.LoadFromFile(b_, ""));
    AnsweringDialog cancel(kModalResultCancel);
    component.SetSettingsDialog(&cancel);
    component.SetShowSetupDialog(true);
    EventLog log;
    log.Attach(component);
    RecordingControl control;
    component.RegisterLinkedControl(&control);

    component.SaveToFile(out, false, false);
    EXPECT_EQ(cancel.shown, 1);
    EXPECT_EQ(platform::ReadFileBytes(out), "old merged file");
    EXPECT_EQ(FolderEntries(dir_.Path()), before);
    EXPECT_TRUE(log.events.empty());
    EXPECT_TRUE(control.messages.empty());
    EXPECT_TRUE(component.GetIsLoaded());

    // Without ShowSetupDialog the dialog is not asked.
    component.SetShowSetupDialog(false);
    component.SaveToFile(out, false, false);
    EXPECT_EQ(cancel.shown, 1);
    EXPECT_NE(platform::ReadFileBytes(out), "old merged file");
    component.UnRegisterLinkedControl(&control);
}

TEST_F(SavingTest, SaveReportsStatusTellsControlsAndOpensWhenAsked) {
    const fs::path out = dir_.File("out.pdf");
    RecordingControl control;
    RecordingOpener opener;
    {
        TqzPDFDocument component;
        ASSERT_TRUE(component.LoadFromFile(b_, ""));
        component.RegisterLinkedControl(&control);
        component.SetDocumentOpener(&opener);
        EventLog log;
        log.Attach(component);

        component.SaveToFile(out, false, false);
        EXPECT_EQ(log.events,
                  (std::vector<std::string>{"status: Saving File " + out.string(), "status: Save Complete"}));
        EXPECT_EQ(control.messages, std::vector<uint32_t>{kDocumentSavedMessage});
        EXPECT_FALSE(component.GetIsLoaded());
        EXPECT_TRUE(opener.opened.empty());

        control.messages.clear();
        component.SetOpenAfterSave(true);
        component.SaveToFile(out, TqzNeedAppearanceState::naNoChange);
        EXPECT_EQ(control.messages, (std::vector<uint32_t>{kDocumentSavedMessage, kDocumentSavedMessage}));
        EXPECT_EQ(opener.opened, std::vector<fs::path>{out});
        control.messages.clear();
    }
    // Destruction tells the controls once more.
    EXPECT_EQ(control.messages, std::vector<uint32_t>{kDocumentSavedMessage});
}

TEST_F(SavingTest, ReloadAfterSaveAndSaveChanges) {
    QZ_REQUIRE_TOOLS("qpdf", "pdftotext", "pdfinfo");
    const fs::path out = dir_.File("out.pdf");
    TqzPDFDocument component;
    RecordingControl control;
    component.RegisterLinkedControl(&control);
    component.MergeDocs(Paths({a_, b_}));
    control.messages.clear();

    component.SaveToFile(out, false, true);
    EXPECT_TRUE(component.GetIsLoaded());
    EXPECT_EQ(component.GetFileName(), out.string());
    EXPECT_EQ(component.GetMergeObjectCount(), 0);
    EXPECT_EQ(control.messages, (std::vector<uint32_t>{kDocumentLoadedMessage, kDocumentLoadedMessage}));

    // Written back where it came from, and loaded from there again.
    component.SetShowSetupDialog(true);
    AnsweringDialog cancel(kModalResultCancel);
    component.SetSettingsDialog(&cancel);
    component.SaveChanges(true);
    EXPECT_EQ(cancel.shown, 0);
    EXPECT_TRUE(component.GetShowSetupDialog());
    EXPECT_TRUE(component.GetIsLoaded());
    EXPECT_EQ(component.GetFileName(), out.string());
    EXPECT_EQ(component.GetPageCount(), 3);
    EXPECT_TRUE(testing::QpdfCheckPasses(out));
    EXPECT_EQ(PageMarkers(out), Concat({Markers("A", 1), Markers("B", 2)}));
    EXPECT_EQ(FolderEntries(dir_.Path()), (std::vector<std::string>{"a.pdf", "b.pdf", "c.pdf", "out.pdf"}));
    component.UnRegisterLinkedControl(&control);
}

TEST_F(SavingTest, ASavedDocumentCanBeSavedAgain) {
    QZ_REQUIRE_TOOLS("qpdf", "pdftotext", "pdfinfo");
    TqzPDFDocument component;
    ASSERT_TRUE(component.LoadFromFile(c_, ""));
    const fs::path first = dir_.File("first.pdf");
    const fs::path second = dir_.File("second.pdf");
    component.SaveToFile(first, false, false);
    component.SaveToFile(second, false, false);
    for (const fs::path& out : {first, second}) {
        EXPECT_TRUE(testing::QpdfCheckPasses(out));
        EXPECT_EQ(PageMarkers(out), Markers("C", 3)) << out;
    }
}

TEST_F(SavingTest, SaveToStreamWritesALoadableDocument) {
    TqzPDFDocument component;
    ASSERT_TRUE(component.LoadFromFile(c_, ""));
    platform::MemoryStream saved;
    component.SaveToStream(saved, false);
    EXPECT_EQ(saved.Bytes().rfind("%PDF-1.", 0), 0u);
    TqzPDFDocument reader;
    saved.SetPosition(0);
    ASSERT_TRUE(reader.LoadFromStream(saved, ""));
    EXPECT_EQ(reader.GetPageCount(), 3);
}

TEST_F(SavingTest, EncryptedSourceGivesAnOutputEncryptedTheSameWay) {
    QZ_REQUIRE_TOOLS("qpdf", "pdftotext", "pdfinfo");
    const fs::path encrypted = Encrypted(dir_, b_, "locked.pdf", testing::QpdfEncryption::Rc4_128);
    const fs::path out = dir_.File("out.pdf");
    {
        TqzPDFDocument component;
        component.MergeDocs(Paths({encrypted, a_}));
        component.SaveToFile(out, false, false);
    }
    EXPECT_TRUE(testing::QpdfCheckPasses(out));
    const testing::RunResult shown = testing::RunProgram({"qpdf", "--show-encryption", out.string()});
    EXPECT_NE(shown.out.find("R = 2"), std::string::npos) << shown.Describe();
    EXPECT_NE(shown.out.find("User password = \n"), std::string::npos) << shown.Describe();
    EXPECT_EQ(PageMarkers(out), Concat({Markers("B", 2), Markers("A", 1)}));
}

}  // namespace
}  // namespace qz::component
