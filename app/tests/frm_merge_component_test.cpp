// The merge window end to end over the real document component: real PDF
// files in a folder, ticked and ordered in the window, merged by "Salvar...".

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "app/ComponentMergeRunner.h"
#include "app/WindowDialogs.h"
#include "app/frm_merge.h"
#include "component/tests/LatexFixture.h"
#include "platform/Streams.h"
#include "testing/GTestSupport.h"
#include "testing/PdfBuilder.h"
#include "testing/TempDir.h"
#include "testing/Tools.h"

namespace qz::app {
namespace {

namespace fs = std::filesystem;

class AnsweringDialogs final : public WindowDialogs {
public:
    std::optional<QString> chooseFolder(QWidget*, const QString&) override { return folder; }
    std::optional<QString> chooseFile(QWidget*, const QString&) override { return std::nullopt; }
    void showError(QWidget*, const QString& message) override { errors << message; }
    std::optional<QString> folder;
    QStringList errors;
};

// The text of every page of `pdf`, trimmed.
std::vector<std::string> PageTexts(const fs::path& pdf) {
    std::vector<std::string> texts;
    const int32_t pages = testing::PdfInfoPages(pdf);
    for (int32_t page = 1; page <= pages; ++page) {
        const std::string text = testing::PdfToText(pdf, page);
        const auto first = text.find_first_not_of(" \t\r\n\f");
        const auto last = text.find_last_not_of(" \t\r\n\f");
        texts.push_back(first == std::string::npos ? "" : text.substr(first, last - first + 1));
    }
    return texts;
}

class MergeWindowWithComponent : public ::testing::Test {
protected:
    void SetUp() override {
        const struct {
            const char* name;
            int32_t pages;
            const char* marker;
        } files[] = {{"a.pdf", 1, "A"}, {"b.pdf", 2, "B"}, {"c.pdf", 3, "C"}, {"d.pdf", 1, "D"}};
        for (const auto& f : files) dir_.Write(f.name, testing::MinimalDocument(f.pages, f.marker).Write());
        window_.show();
        QApplication::setActiveWindow(&window_);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
        dialogs_.folder = QString::fromStdString(dir_.Path().string());
        child<QPushButton>("btnfinder")->click();
    }

    template <class T>
    T* child(const char* name) {
        T* widget = window_.findChild<T*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QListWidget* list() { return child<QListWidget>("cklistfile"); }
    void tick(const QString& itemText) {
        const auto found = list()->findItems(itemText, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << itemText.toStdString();
        found.first()->setCheckState(Qt::Checked);
    }
    QString status() { return child<QLabel>("lblstatus")->text(); }
    void save() {
        child<QPushButton>("btnsalvar")->click();
        ASSERT_TRUE(QTest::qWaitFor([this] { return !window_.merging(); }, 60000));
    }

    testing::TempDir dir_{"qz-app-e2e"};
    ComponentMergeRunner runner_;
    AnsweringDialogs dialogs_;
    Tfrm_merge window_{runner_, dialogs_};
};

TEST_F(MergeWindowWithComponent, TickedFilesAreMergedInListOrder) {
    QZ_REQUIRE_TOOLS("qpdf", "pdftotext", "pdfinfo");
    const fs::path out = dir_.File("unificado.pdf");
    platform::WriteFileBytes(out, "old merged file");
    tick("d.pdf");
    tick("a.pdf");
    tick("c.pdf");
    // c goes to the top: the list order, not the order of ticking, counts.
    list()->setCurrentRow(2);
    child<QPushButton>("btnup")->click();
    child<QPushButton>("btnup")->click();
    ASSERT_EQ(list()->item(0)->text(), QStringLiteral("c.pdf"));

    save();

    EXPECT_TRUE(dialogs_.errors.isEmpty()) << dialogs_.errors.join("\n").toStdString();
    EXPECT_EQ(status(), QStringLiteral("PDF unificado!"));
    EXPECT_TRUE(child<QPushButton>("btnsalvar")->isEnabled());
    EXPECT_TRUE(testing::QpdfCheckPasses(out));
    EXPECT_EQ(PageTexts(out), (std::vector<std::string>{"C-1", "C-2", "C-3", "A-1", "D-1"}));
}

TEST_F(MergeWindowWithComponent, AFileThatIsNotAPdfIsNamedAndNothingIsWritten) {
    const fs::path out = dir_.File("unificado.pdf");
    platform::WriteFileBytes(out, "old merged file");
    dir_.Write("broken.pdf", "not a PDF at all");
    child<QPushButton>("btnfinder")->click();
    tick("a.pdf");
    tick("broken.pdf");
    tick("c.pdf");

    save();

    ASSERT_EQ(dialogs_.errors.size(), 1);
    EXPECT_TRUE(dialogs_.errors[0].contains(QStringLiteral("broken.pdf"))) << dialogs_.errors[0].toStdString();
    EXPECT_TRUE(status().isEmpty());
    EXPECT_TRUE(child<QPushButton>("btnsalvar")->isEnabled());
    EXPECT_EQ(platform::ReadFileBytes(out), "old merged file");
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_.Path())) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.pdf", "b.pdf", "broken.pdf", "c.pdf", "d.pdf", "unificado.pdf"}));
}

// Every outline item of `pdf`, depth first, as "LEVEL TARGET TITLE"
// (TARGET the 0-based page index), read by pikepdf.
std::vector<std::string> OutlineItems(const fs::path& pdf) {
    // The component tests' reader, found beside this file's folder.
    const fs::path reader = fs::path(__FILE__).parent_path() / "../../component/tests/data/outline_items.py";
    const testing::RunResult run = testing::RunProgram({"/usr/bin/python3", reader.string(), pdf.string()});
    if (!run.Succeeded()) throw testing::ToolError("outline of " + pdf.string() + ": " + run.Describe());
    std::vector<std::string> items;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("pages ", 0) == 0 || line.rfind("count ", 0) == 0) continue;
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, '\t');) fields.push_back(field);
        items.push_back(fields.at(0) + " " + fields.at(1) + " " + fields.at(7));
    }
    return items;
}

TEST_F(MergeWindowWithComponent, TheBookmarksOfEveryFileAreKept) {
    QZ_REQUIRE_TOOLS("pdflatex", "qpdf");
    if (!testing::RunProgram({"/usr/bin/python3", "-c", "import pikepdf"}).Succeeded()) {
        if (testing::MissingToolsMustFail()) FAIL() << "python3-pikepdf is missing";
        GTEST_SKIP() << "python3-pikepdf is not installed";
    }
    testing::TempDir latex("qz-app-latex");
    fs::copy_file(component::MakeLatexPdf(latex, "x", "\\section{Xa}\\subsection{Xa one}\\newpage\\section{Xb}"),
                  dir_.File("x.pdf"));
    fs::copy_file(component::MakeLatexPdf(latex, "y", "\\section{Ya}\\newpage\\section{Yb}\\newpage\\section{Yc}"),
                  dir_.File("y.pdf"));
    child<QPushButton>("btnfinder")->click();
    tick("x.pdf");
    tick("y.pdf");

    save();

    EXPECT_TRUE(dialogs_.errors.isEmpty()) << dialogs_.errors.join("\n").toStdString();
    const fs::path out = dir_.File("unificado.pdf");
    EXPECT_TRUE(testing::QpdfCheckPasses(out));
    EXPECT_EQ(OutlineItems(out),
              (std::vector<std::string>{"1 0 Xa", "2 0 Xa one", "1 1 Xb", "1 2 Ya", "1 3 Yb", "1 4 Yc"}));
}

}  // namespace
}  // namespace qz::app
