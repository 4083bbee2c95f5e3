#include "app/frm_merge.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "app/GradientPanel.h"
#include "app/MergeRunner.h"
#include "app/Translations.h"
#include "app/UnavailableMergeRunner.h"
#include "app/WindowDialogs.h"

namespace qz::app {
namespace {

namespace fs = std::filesystem;

// Records every request; fails when told to.
class FakeRunner final : public MergeRunner {
public:
    struct Call {
        std::vector<fs::path> inputs;
        fs::path output;
        std::string outputContentAtCall;  // empty when there was no file
    };
    void merge(const std::vector<fs::path>& inputs, const fs::path& output) override {
        std::string content;
        if (std::ifstream in(output, std::ios::binary); in) content.assign(std::istreambuf_iterator<char>(in), {});
        calls.push_back({inputs, output, content});
        if (failWith) throw std::runtime_error(*failWith);
        if (failWithNonStandard) throw 42;
    }
    std::vector<Call> calls;
    std::optional<std::string> failWith;
    bool failWithNonStandard = false;
};

// Holds every merge until the test lets it go, as a long merge does.
class SlowRunner final : public MergeRunner {
public:
    void merge(const std::vector<fs::path>& inputs, const fs::path&) override {
        std::unique_lock lock(mutex_);
        started_ = true;
        inputs_ = inputs;
        released_.wait(lock, [this] { return release_; });
    }
    bool started() {
        std::lock_guard lock(mutex_);
        return started_;
    }
    void release() {
        std::lock_guard lock(mutex_);
        release_ = true;
        released_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable released_;
    bool started_ = false;
    bool release_ = false;
    std::vector<fs::path> inputs_;
};

class FakeDialogs final : public WindowDialogs {
public:
    std::optional<QString> chooseFolder(QWidget*, const QString& start) override {
        folderStarts << start;
        return folderAnswer;
    }
    std::optional<QString> chooseFile(QWidget*, const QString& start) override {
        fileStarts << start;
        return fileAnswer;
    }
    void showError(QWidget*, const QString& message) override { errors << message; }
    std::optional<QString> folderAnswer;
    std::optional<QString> fileAnswer;
    QStringList errors;
    QStringList folderStarts;
    QStringList fileStarts;
};

void writeFile(const fs::path& path, const std::string& content = "%PDF-1.4\n") {
    std::ofstream(path, std::ios::binary) << content;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void sendMouse(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(at), QPointF(target->mapToGlobal(at)), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

class MergeWindow : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("qz_app_test_" + std::to_string(::getpid()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        window_.show();
        QApplication::setActiveWindow(&window_);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(folder_, ec);
    }

    template <class T>
    T* child(const char* name) {
        T* widget = window_.findChild<T*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QListWidget* list() { return child<QListWidget>("cklistfile"); }
    QString text(const char* labelName) { return child<QLabel>(labelName)->text(); }
    QString folderText() const { return QString::fromStdString(folder_.string()); }
    std::string pathIn(const std::string& name) const { return (folder_ / name).string(); }

    QStringList items() {
        QStringList texts;
        for (int row = 0; row < list()->count(); ++row) texts << list()->item(row)->text();
        return texts;
    }
    QStringList tickedItems() {
        QStringList texts;
        for (int row = 0; row < list()->count(); ++row)
            if (list()->item(row)->checkState() == Qt::Checked) texts << list()->item(row)->text();
        return texts;
    }
    void tick(const QString& itemText) {
        const auto found = list()->findItems(itemText, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << itemText.toStdString();
        found.first()->setCheckState(Qt::Checked);
    }

    // Picks a folder through the "..." button and its dialog.
    void chooseFolder(const QString& folder) {
        dialogs_.folderAnswer = folder;
        child<QPushButton>("btnfinder")->click();
    }
    void makeFiles(const std::vector<std::string>& names) {
        for (const auto& name : names) writeFile(folder_ / name);
    }
    void fillWith(const std::vector<std::string>& names) {
        makeFiles(names);
        chooseFolder(folderText());
    }
    // Leaves the folder field the way a user does, with Tab.
    void leaveFolderField(const QString& newText) {
        auto* field = child<QLineEdit>("edt_caminho");
        field->setFocus(Qt::MouseFocusReason);
        ASSERT_TRUE(field->hasFocus());
        field->setText(newText);
        QTest::keyClick(field, Qt::Key_Tab);
        ASSERT_FALSE(field->hasFocus());
    }
    QPoint rowCentre(int row) { return list()->visualItemRect(list()->item(row)).center(); }
    void drag(QPoint from, QPoint to) {
        QWidget* viewport = list()->viewport();
        sendMouse(viewport, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        const QPoint step = from + (to - from) / 2 + QPoint(0, QApplication::startDragDistance());
        sendMouse(viewport, QEvent::MouseMove, step, Qt::NoButton, Qt::LeftButton);
        sendMouse(viewport, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
        sendMouse(viewport, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    }
    void save() {
        child<QPushButton>("btnsalvar")->click();
        waitForMerge();
    }
    void waitForMerge() {
        ASSERT_TRUE(QTest::qWaitFor([this] { return !window_.merging(); }, 10000));
    }

    fs::path folder_;
    FakeRunner runner_;
    FakeDialogs dialogs_;
    Tfrm_merge window_{runner_, dialogs_};
};

TEST_F(MergeWindow, ShowsTheDesignedLayoutAndTexts) {
    EXPECT_EQ(window_.size(), QSize(492, 398));
    EXPECT_FALSE(window_.windowTitle().isEmpty());
    EXPECT_EQ(QApplication::focusWidget(), child<QPushButton>("btnfinder"));

    const struct {
        const char* name;
        QRect geometry;
    } layout[] = {
        {"PnTitulo", {0, 0, 492, 29}},        {"pncentral", {0, 29, 492, 328}},
        {"pnbaixo", {0, 357, 492, 41}},       {"edt_caminho", {16, 37, 425, 21}},
        {"btnfinder", {445, 36, 27, 23}},     {"cklistfile", {15, 86, 425, 161}},
        {"edtdestino", {15, 291, 425, 21}},   {"btndestino", {445, 290, 27, 23}},
        {"ckall", {102, 252, 121, 17}},       {"btnup", {446, 130, 27, 33}},
        {"btndown", {446, 169, 27, 33}},      {"btnsalvar", {314, 3, 79, 33}},
        {"BtnSair", {400, 3, 85, 33}},
    };
    for (const auto& control : layout) {
        EXPECT_EQ(child<QWidget>(control.name)->geometry(), control.geometry) << control.name;
    }

    const struct {
        const char* name;
        QString text;
    } labels[] = {
        {"lbl_caminho", QStringLiteral("Localização dos pdf")},
        {"lblmerge", QStringLiteral("Selecionar os pdf a unificar...")},
        {"lblcount", QStringLiteral("0 arquivos")},
        {"lbldestino", QStringLiteral("Salvar em ...")},
        {"lblversao", QStringLiteral("Versão")},
        {"RzVersionInfoStatus1", QStringLiteral("25.0.0.1")},
        {"lblstatus", QString()},
    };
    for (const auto& label : labels) EXPECT_EQ(text(label.name), label.text) << label.name;
    EXPECT_TRUE(text("Label1").endsWith(QLatin1String("  ")));
    EXPECT_EQ(child<QPushButton>("btnfinder")->text(), QStringLiteral("..."));
    EXPECT_EQ(child<QPushButton>("btnsalvar")->text(), QStringLiteral("Salvar..."));
    EXPECT_EQ(child<QPushButton>("BtnSair")->text(), QStringLiteral("Sair (Esc)"));
    EXPECT_EQ(child<QCheckBox>("ckall")->text(), QStringLiteral("Selecionar todos"));
    EXPECT_EQ(list()->toolTip(), QStringLiteral("Clique e arraste para ordenar"));
    EXPECT_TRUE(child<QLineEdit>("edt_caminho")->text().isEmpty());
    EXPECT_TRUE(child<QLineEdit>("edtdestino")->text().isEmpty());
    for (const char* glyphButton : {"btnup", "btndown", "btnsalvar", "BtnSair"}) {
        EXPECT_FALSE(child<QPushButton>(glyphButton)->icon().isNull()) << glyphButton;
    }

    auto* title = child<GradientPanel>("PnTitulo");
    EXPECT_EQ(title->startColor(), QColor(64, 128, 128));
    EXPECT_EQ(title->stopColor(), QColor(83, 166, 167));
    EXPECT_EQ(child<QWidget>("pncentral")->palette().color(QPalette::Window), QColor(236, 233, 216));
    EXPECT_EQ(child<QWidget>("pnbaixo")->palette().color(QPalette::Window), QColor(236, 233, 216));
    EXPECT_EQ(child<QLabel>("Label1")->palette().color(QPalette::WindowText), QColor(255, 180, 93));
}

TEST_F(MergeWindow, FillListsEveryPdfEntrySortedUntickedExceptTheMergedFile) {
    makeFiles({"b.pdf", "a.pdf", "unificado.pdf", "UNIFICADO.PDF", "D.Pdf", ".h.pdf", "c.txt",
               "e.pdf.txt", "pdf", "Unificado.pdf.bak"});
    fs::create_directory(folder_ / "x.pdf");
    fs::create_directory(folder_ / "sub");
    writeFile(folder_ / "sub" / "inner.pdf");
    chooseFolder(folderText());

    EXPECT_EQ(items(), QStringList({".h.pdf", "a.pdf", "b.pdf", "D.Pdf", "UNIFICADO.PDF", "x.pdf"}));
    EXPECT_TRUE(tickedItems().isEmpty());
    EXPECT_EQ(text("lblcount"), QStringLiteral("6 arquivos"));
    EXPECT_EQ(child<QLineEdit>("edt_caminho")->text(), folderText());
    EXPECT_EQ(child<QLineEdit>("edtdestino")->text(), folderText() + "/unificado.pdf");
}

TEST_F(MergeWindow, FolderThatCannotBeListedListsNothing) {
    makeFiles({"a.pdf", "b.pdf"});
    writeFile(folder_ / "plain-file");
    fs::create_directory(folder_ / "locked");
    writeFile(folder_ / "locked" / "z.pdf");
    fs::permissions(folder_ / "locked", fs::perms::none);
    const bool permissionsApply = ::geteuid() != 0;

    struct Case {
        const char* what;
        QString folder;
    };
    std::vector<Case> cases = {
        {"missing", folderText() + "/missing"},
        {"trailing blanks are searched as typed", folderText() + "  "},
        {"a file, not a folder", folderText() + "/plain-file"},
    };
    if (permissionsApply) cases.push_back({"unreadable", folderText() + "/locked"});
    for (const Case& c : cases) {
        chooseFolder(folderText());
        ASSERT_EQ(list()->count(), 2);
        chooseFolder(c.folder);
        EXPECT_EQ(list()->count(), 0) << c.what;
        EXPECT_EQ(text("lblcount"), QStringLiteral("0 arquivos")) << c.what;
        EXPECT_EQ(child<QLineEdit>("edtdestino")->text(), c.folder + "/unificado.pdf") << c.what;
    }
}

TEST_F(MergeWindow, CancelledFolderDialogChangesNothing) {
    fillWith({"a.pdf", "b.pdf"});
    tick("a.pdf");
    dialogs_.folderAnswer.reset();
    child<QPushButton>("btnfinder")->click();
    EXPECT_EQ(tickedItems(), QStringList({"a.pdf"}));
    EXPECT_EQ(child<QLineEdit>("edt_caminho")->text(), folderText());
}

TEST_F(MergeWindow, LeavingTheFolderFieldRefillsWhenTheFolderOrItsFilesChanged) {
    const struct {
        const char* what;
        std::string newFile;  // made before leaving; empty: none
        QString suffix;       // appended to the folder text
        QStringList items;
    } cases[] = {
        {"a file was added", "0.pdf", QString(), {"0.pdf", "a.pdf", "b.pdf", "c.pdf"}},
        {"the text names the folder otherwise", "", QStringLiteral("/"),
         {"0.pdf", "a.pdf", "b.pdf", "c.pdf"}},
    };
    fillWith({"a.pdf", "b.pdf", "c.pdf"});
    for (const auto& c : cases) {
        chooseFolder(folderText());
        tick("a.pdf");
        list()->setCurrentRow(0);
        child<QPushButton>("btndown")->click();
        child<QLineEdit>("edtdestino")->setText("/elsewhere/out.pdf");
        if (!c.newFile.empty()) makeFiles({c.newFile});

        leaveFolderField(folderText() + c.suffix);

        EXPECT_EQ(items(), c.items) << c.what;
        EXPECT_TRUE(tickedItems().isEmpty()) << c.what;
        EXPECT_EQ(text("lblcount"), QString::number(c.items.size()) + " arquivos") << c.what;
        EXPECT_EQ(child<QLineEdit>("edtdestino")->text(), folderText() + c.suffix + "/unificado.pdf")
            << c.what;
    }
}

TEST_F(MergeWindow, PassingThroughTheFolderFieldKeepsTicksOrderAndDestination) {
    fillWith({"a.pdf", "b.pdf", "c.pdf"});
    tick("a.pdf");
    tick("c.pdf");
    list()->setCurrentRow(2);
    child<QPushButton>("btnup")->click();
    child<QPushButton>("btnup")->click();
    child<QLineEdit>("edtdestino")->setText(folderText() + "/saida.pdf");

    // A click into the folder field, then straight on to "Salvar...".
    auto* field = child<QLineEdit>("edt_caminho");
    QTest::mouseClick(field, Qt::LeftButton);
    ASSERT_TRUE(field->hasFocus());
    QTest::mouseClick(child<QPushButton>("btnsalvar"), Qt::LeftButton);
    ASSERT_FALSE(field->hasFocus());
    waitForMerge();

    EXPECT_EQ(items(), QStringList({"c.pdf", "a.pdf", "b.pdf"}));
    EXPECT_EQ(tickedItems(), QStringList({"c.pdf", "a.pdf"}));
    ASSERT_EQ(runner_.calls.size(), 1u);
    EXPECT_EQ(runner_.calls[0].inputs, (std::vector<fs::path>{pathIn("c.pdf"), pathIn("a.pdf")}));
    EXPECT_EQ(runner_.calls[0].output, fs::path(pathIn("saida.pdf")));
}

TEST_F(MergeWindow, ANewListClearsSelectAllAndTheStatus) {
    fillWith({"a.pdf", "b.pdf"});
    child<QCheckBox>("ckall")->click();
    save();
    ASSERT_EQ(text("lblstatus"), QStringLiteral("PDF unificado!"));
    ASSERT_TRUE(child<QCheckBox>("ckall")->isChecked());

    chooseFolder(folderText());
    EXPECT_TRUE(tickedItems().isEmpty());
    EXPECT_FALSE(child<QCheckBox>("ckall")->isChecked());
    EXPECT_TRUE(text("lblstatus").isEmpty());
}

TEST_F(MergeWindow, BlankFolderTextChangesNothing) {
    fillWith({"a.pdf", "b.pdf"});
    tick("b.pdf");
    child<QLineEdit>("edtdestino")->setText("/elsewhere/out.pdf");
    for (const QString& blank : {QString(), QStringLiteral("   "), QStringLiteral("\t ")}) {
        leaveFolderField(blank);
        EXPECT_EQ(items(), QStringList({"a.pdf", "b.pdf"}));
        EXPECT_EQ(tickedItems(), QStringList({"b.pdf"}));
        EXPECT_EQ(text("lblcount"), QStringLiteral("2 arquivos"));
        EXPECT_EQ(child<QLineEdit>("edtdestino")->text(), QStringLiteral("/elsewhere/out.pdf"));
    }
    EXPECT_FALSE(window_.valida_pasta(QStringLiteral("  ")));
}

TEST_F(MergeWindow, SelectAllSetsEveryTickToItsOwnState) {
    fillWith({"a.pdf", "b.pdf", "c.pdf"});
    tick("b.pdf");
    auto* all = child<QCheckBox>("ckall");
    all->click();
    EXPECT_EQ(tickedItems(), QStringList({"a.pdf", "b.pdf", "c.pdf"}));
    all->click();
    EXPECT_TRUE(tickedItems().isEmpty());
}

TEST_F(MergeWindow, ArrowButtonsMoveTheSelectedItemWithinTheList) {
    fillWith({"a.pdf", "b.pdf", "c.pdf"});
    auto* up = child<QPushButton>("btnup");
    auto* down = child<QPushButton>("btndown");

    const struct {
        const char* what;
        int selectedRow;  // -1: none
        QPushButton* button;
    } noOps[] = {
        {"up with no selection", -1, up},
        {"down with no selection", -1, down},
        {"up on the first", 0, up},
        {"down on the last", 2, down},
    };
    for (const auto& c : noOps) {
        list()->clearSelection();
        if (c.selectedRow >= 0) list()->setCurrentRow(c.selectedRow);
        c.button->click();
        EXPECT_EQ(items(), QStringList({"a.pdf", "b.pdf", "c.pdf"})) << c.what;
    }

    tick("a.pdf");
    list()->setCurrentRow(0);
    down->click();
    down->click();
    EXPECT_EQ(items(), QStringList({"b.pdf", "c.pdf", "a.pdf"}));
    EXPECT_EQ(list()->currentRow(), 2);
    EXPECT_TRUE(list()->item(2)->isSelected());
    EXPECT_EQ(tickedItems(), QStringList({"a.pdf"}));
    up->click();
    EXPECT_EQ(items(), QStringList({"b.pdf", "a.pdf", "c.pdf"}));
    EXPECT_EQ(list()->currentRow(), 1);
}

TEST_F(MergeWindow, DraggingMovesTheItemKeepingTicks) {
    fillWith({"a.pdf", "b.pdf", "c.pdf"});
    tick("a.pdf");
    tick("c.pdf");
    drag(rowCentre(0), rowCentre(2));
    EXPECT_EQ(items(), QStringList({"b.pdf", "c.pdf", "a.pdf"}));
    EXPECT_EQ(tickedItems(), QStringList({"c.pdf", "a.pdf"}));

    // The list is not re-sorted after a move: a drag upwards shifts the rest.
    // Pressed and released on tick boxes, the drag ticks nothing.
    drag(QPoint(8, rowCentre(2).y()), QPoint(8, rowCentre(0).y()));
    EXPECT_EQ(items(), QStringList({"a.pdf", "b.pdf", "c.pdf"}));
    EXPECT_EQ(tickedItems(), QStringList({"a.pdf", "c.pdf"}));
}

TEST_F(MergeWindow, ClickingATickBoxTicksItsItemOnly) {
    fillWith({"a.pdf", "b.pdf", "c.pdf"});
    const QPoint tickBox(8, rowCentre(1).y());
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, tickBox);
    EXPECT_EQ(tickedItems(), QStringList({"b.pdf"}));
    EXPECT_EQ(items(), QStringList({"a.pdf", "b.pdf", "c.pdf"}));
}

TEST_F(MergeWindow, DragFromOrToNoItemDoesNothing) {
    fillWith({"a.pdf", "b.pdf", "c.pdf"});
    const QPoint belowLast = rowCentre(2) + QPoint(0, 60);
    const QPoint outside(-20, rowCentre(1).y());
    const struct {
        const char* what;
        QPoint from, to;
    } cases[] = {
        {"press below the last item", belowLast, rowCentre(0)},
        {"drop below the last item", rowCentre(0), belowLast},
        {"drop outside the list", rowCentre(0), outside},
    };
    for (const auto& c : cases) {
        drag(c.from, c.to);
        EXPECT_EQ(items(), QStringList({"a.pdf", "b.pdf", "c.pdf"})) << c.what;
        EXPECT_TRUE(tickedItems().isEmpty()) << c.what;
    }
}

TEST_F(MergeWindow, FewerThanTwoTickedTouchesNoFile) {
    fillWith({"a.pdf", "b.pdf"});
    writeFile(folder_ / "unificado.pdf", "old merged file");
    for (int ticked = 0; ticked < 2; ++ticked) {
        if (ticked == 1) tick("a.pdf");
        save();
        EXPECT_EQ(text("lblstatus"), QStringLiteral("Selecionar os arquivos!"));
        EXPECT_TRUE(child<QPushButton>("btnsalvar")->isEnabled());
    }
    EXPECT_TRUE(runner_.calls.empty());
    EXPECT_EQ(readFile(folder_ / "unificado.pdf"), "old merged file");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 3);
}

TEST_F(MergeWindow, SaveMergesTickedFilesInListOrderAndKeepsTheOldOutputUntilReplaced) {
    fillWith({"a.pdf", "b.pdf", "c.pdf", "d.pdf"});
    writeFile(folder_ / "unificado.pdf", "old merged file");
    // Ticked in the order d, a, c; then c is dragged to the top.
    tick("d.pdf");
    tick("a.pdf");
    tick("c.pdf");
    drag(rowCentre(2), rowCentre(0));
    ASSERT_EQ(items(), QStringList({"c.pdf", "a.pdf", "b.pdf", "d.pdf"}));

    save();

    ASSERT_EQ(runner_.calls.size(), 1u);
    const FakeRunner::Call& call = runner_.calls.front();
    EXPECT_EQ(call.inputs, (std::vector<fs::path>{pathIn("c.pdf"), pathIn("a.pdf"), pathIn("d.pdf")}));
    EXPECT_EQ(call.output, fs::path(pathIn("unificado.pdf")));
    EXPECT_EQ(call.outputContentAtCall, "old merged file");
    EXPECT_EQ(text("lblstatus"), QStringLiteral("PDF unificado!"));
    EXPECT_TRUE(child<QPushButton>("btnsalvar")->isEnabled());
    EXPECT_TRUE(dialogs_.errors.isEmpty());
}

TEST_F(MergeWindow, PathsComeFromTheFolderThatFilledTheList) {
    fillWith({"a.pdf", "b.pdf"});
    tick("a.pdf");
    tick("b.pdf");
    // Edited but never left: the list still shows the first folder.
    child<QLineEdit>("edt_caminho")->setText("   ");
    save();
    ASSERT_EQ(runner_.calls.size(), 1u);
    EXPECT_EQ(runner_.calls[0].inputs, (std::vector<fs::path>{pathIn("a.pdf"), pathIn("b.pdf")}));
}

TEST_F(MergeWindow, DestinationGetsPdfAppendedUnlessItsFileNameHasIt) {
    fillWith({"a.pdf", "b.pdf"});
    tick("a.pdf");
    tick("b.pdf");
    const std::string dir = folder_.string();
    const struct {
        std::string destination, output;
    } cases[] = {
        {dir + "/out", dir + "/out.pdf"},
        {dir + "/OUT.PdF", dir + "/OUT.PdF"},
        {dir + "/a.pdf.bak", dir + "/a.pdf.bak"},
        {dir + "/relatorio.PDFX", dir + "/relatorio.PDFX"},
        {dir + "/outpdf", dir + "/outpdf.pdf"},
        {dir + "/a.pdf.d/saida", dir + "/a.pdf.d/saida.pdf"},
        {"saida", "saida.pdf"},
    };
    for (const auto& c : cases) {
        child<QLineEdit>("edtdestino")->setText(QString::fromStdString(c.destination));
        save();
        ASSERT_FALSE(runner_.calls.empty());
        EXPECT_EQ(runner_.calls.back().output, fs::path(c.output)) << c.destination;
    }
    EXPECT_EQ(runner_.calls.size(), std::size(cases));
}

TEST_F(MergeWindow, DestinationComesFromTheFileDialog) {
    fillWith({"a.pdf", "b.pdf"});
    dialogs_.fileAnswer = folderText() + "/escolhido.pdf";
    child<QPushButton>("btndestino")->click();
    EXPECT_EQ(child<QLineEdit>("edtdestino")->text(), folderText() + "/escolhido.pdf");
    dialogs_.fileAnswer.reset();
    child<QPushButton>("btndestino")->click();
    EXPECT_EQ(child<QLineEdit>("edtdestino")->text(), folderText() + "/escolhido.pdf");
}

TEST_F(MergeWindow, BlankDestinationIsRefused) {
    fillWith({"a.pdf", "b.pdf"});
    tick("a.pdf");
    tick("b.pdf");
    child<QLineEdit>("edtdestino")->setText("  ");
    save();
    EXPECT_TRUE(runner_.calls.empty());
    EXPECT_EQ(text("lblstatus"), texts::kNoDestination);
    EXPECT_TRUE(child<QPushButton>("btnsalvar")->isEnabled());
}

TEST_F(MergeWindow, ADestinationThatIsATickedFileIsRefused) {
    fillWith({"a.pdf", "b.pdf"});
    writeFile(folder_ / "a.pdf", "original a");
    tick("a.pdf");
    tick("b.pdf");
    for (const QString& destination : {folderText() + "/a.pdf", folderText() + "/./b.pdf"}) {
        child<QLineEdit>("edtdestino")->setText(destination);
        save();
        EXPECT_EQ(text("lblstatus"), texts::kDestinationIsSource) << destination.toStdString();
        EXPECT_TRUE(child<QPushButton>("btnsalvar")->isEnabled());
    }
    EXPECT_TRUE(runner_.calls.empty());
    EXPECT_EQ(readFile(folder_ / "a.pdf"), "original a");
}

TEST_F(MergeWindow, FailedMergeShowsTheMessageAndLeavesTheWindowUsable) {
    fillWith({"a.pdf", "b.pdf"});
    tick("a.pdf");
    tick("b.pdf");

    runner_.failWith = "File Not Found: " + pathIn("b.pdf");
    save();
    EXPECT_EQ(dialogs_.errors, QStringList({QString::fromStdString(*runner_.failWith)}));
    EXPECT_TRUE(text("lblstatus").isEmpty());
    EXPECT_TRUE(child<QPushButton>("btnsalvar")->isEnabled());

    runner_.failWith.reset();
    runner_.failWithNonStandard = true;
    save();
    ASSERT_EQ(dialogs_.errors.size(), 2);
    EXPECT_EQ(dialogs_.errors[1], texts::kUnknownError);
    EXPECT_TRUE(child<QPushButton>("btnsalvar")->isEnabled());

    runner_.failWithNonStandard = false;
    save();
    EXPECT_EQ(text("lblstatus"), QStringLiteral("PDF unificado!"));
    EXPECT_EQ(runner_.calls.size(), 3u);
}

TEST(UnavailableMergeRunner, RefusesAndTouchesNothing) {
    UnavailableMergeRunner runner;
    const fs::path output = fs::temp_directory_path() / "qz_app_unavailable.pdf";
    fs::remove(output);
    EXPECT_THROW(runner.merge({"/a.pdf", "/b.pdf"}, output), std::exception);
    EXPECT_FALSE(fs::exists(output));
}

TEST_F(MergeWindow, EscapeAndTheExitButtonCloseTheWindow) {
    ASSERT_TRUE(window_.isVisible());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(window_.isVisible());

    window_.show();
    QApplication::setActiveWindow(&window_);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
    // Escape also works from the folder field.
    child<QLineEdit>("edt_caminho")->setFocus();
    QTest::keyClick(child<QLineEdit>("edt_caminho"), Qt::Key_Escape);
    EXPECT_FALSE(window_.isVisible());

    window_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
    child<QPushButton>("BtnSair")->click();
    EXPECT_FALSE(window_.isVisible());
}

TEST_F(MergeWindow, EnterPressesTheFocusedButton) {
    fillWith({"a.pdf", "b.pdf", "c.pdf"});
    list()->setCurrentRow(0);
    auto* down = child<QPushButton>("btndown");
    down->setFocus();
    QTest::keyClick(down, Qt::Key_Return);
    EXPECT_EQ(items(), QStringList({"b.pdf", "a.pdf", "c.pdf"}));
    QTest::keyClick(down, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(items(), QStringList({"b.pdf", "c.pdf", "a.pdf"}));

    auto* finder = child<QPushButton>("btnfinder");
    finder->setFocus();
    QTest::keyClick(finder, Qt::Key_Return);
    EXPECT_EQ(dialogs_.folderStarts.size(), 2);

    auto* exit = child<QPushButton>("BtnSair");
    exit->setFocus();
    QTest::keyClick(exit, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_FALSE(window_.isVisible());
}

TEST_F(MergeWindow, DialogsOpenInTheTypedFolderOrTheDestinationsFolder) {
    fs::create_directories(folder_ / "out");
    auto* field = child<QLineEdit>("edt_caminho");
    auto* destination = child<QLineEdit>("edtdestino");
    const QString other = folderText() + "/out";
    const struct {
        const char* what;
        QString folderField, destinationField;
        QString folderStart, fileStart;
    } cases[] = {
        {"both blank", "", "", "", ""},
        {"a typed folder", folderText(), "", folderText(), folderText()},
        {"a destination elsewhere", folderText(), other + "/x.pdf", folderText(), other},
        {"no such folder typed", folderText() + "/missing", other + "/x.pdf", other, other},
    };
    for (const auto& c : cases) {
        field->setText(c.folderField);
        destination->setText(c.destinationField);
        child<QPushButton>("btnfinder")->click();
        child<QPushButton>("btndestino")->click();
        EXPECT_EQ(dialogs_.folderStarts.back(), c.folderStart) << c.what;
        EXPECT_EQ(dialogs_.fileStarts.back(), c.fileStart) << c.what;
    }
}

TEST(PositionOnScreen, MovesAWindowOnlyAsFarAsItMustToLieOnTheScreen) {
    const QRect screen(0, 0, 853, 533);  // 1280 x 800 at a scale of 1.5
    const struct {
        const char* what;
        QRect frame;
        QPoint expected;
    } cases[] = {
        {"fits: unchanged", {137, 100, 492, 420}, {137, 100}},
        {"below the bottom edge", {137, 309, 492, 420}, {137, 113}},
        {"past the right edge", {500, 10, 492, 420}, {361, 10}},
        {"above and left of the screen", {-30, -5, 492, 420}, {0, 0}},
        {"taller than the screen: top edge", {137, 309, 492, 600}, {137, 0}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(positionOnScreen(c.frame, screen), c.expected) << c.what;
    }
    // A screen that does not start at the origin (a second monitor, a panel).
    EXPECT_EQ(positionOnScreen({0, 700, 492, 420}, {1280, 30, 1024, 738}), QPoint(1280, 348));
}

TEST_F(MergeWindow, TheWindowLiesOnTheScreenItIsShownOn) {
    const QRect available = window_.screen()->availableGeometry();
    window_.hide();
    window_.move(137, 309);
    window_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
    EXPECT_TRUE(available.contains(window_.frameGeometry()))
        << available.height() << " " << window_.frameGeometry().bottom();
    EXPECT_EQ(window_.size(), QSize(492, 398));
}

class SlowMergeWindow : public MergeWindow {
protected:
    // A failed test must not leave the window waiting for the merge forever.
    void TearDown() override {
        slow_.release();
        MergeWindow::TearDown();
    }
    SlowRunner slow_;
    Tfrm_merge slowWindow_{slow_, dialogs_};
};

TEST_F(SlowMergeWindow, TheWindowPaintsButTakesNoInputUntilTheMergeEnds) {
    window_.close();
    slowWindow_.show();
    QApplication::setActiveWindow(&slowWindow_);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&slowWindow_));
    makeFiles({"a.pdf", "b.pdf"});
    dialogs_.folderAnswer = folderText();
    auto childOf = [this](const char* name) {
        return slowWindow_.findChild<QWidget*>(QLatin1String(name));
    };
    static_cast<QPushButton*>(childOf("btnfinder"))->click();
    auto* all = static_cast<QCheckBox*>(childOf("ckall"));
    all->click();
    auto* status = static_cast<QLabel*>(childOf("lblstatus"));
    auto* save = static_cast<QPushButton*>(childOf("btnsalvar"));

    QTest::mouseClick(save, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([this] { return slow_.started(); }, 10000));
    EXPECT_TRUE(slowWindow_.merging());
    EXPECT_EQ(status->text(), QStringLiteral("Aguarde..."));
    EXPECT_FALSE(save->isEnabled());
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);

    // The window's thread is free: it paints.
    int paints = 0;
    struct PaintCounter : QObject {
        int* count;
        explicit PaintCounter(int* c) : count(c) {}
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Paint) ++*count;
            return false;
        }
    } counter(&paints);
    status->installEventFilter(&counter);
    status->update();
    ASSERT_TRUE(QTest::qWaitFor([&] { return paints > 0; }, 5000));
    status->removeEventFilter(&counter);

    // Clicks, keys and the close box do nothing now and nothing later.
    QTest::mouseClick(childOf("BtnSair"), Qt::LeftButton);
    QTest::mouseClick(all, Qt::LeftButton);
    QTest::keyClick(childOf("btnfinder"), Qt::Key_Escape);
    QTest::keyClick(childOf("BtnSair"), Qt::Key_Return);
    EXPECT_TRUE(slowWindow_.isVisible());
    EXPECT_TRUE(all->isChecked());
    EXPECT_EQ(dialogs_.folderStarts.size(), 1);

    slow_.release();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !slowWindow_.merging(); }, 10000));
    QTest::qWait(50);
    EXPECT_TRUE(slowWindow_.isVisible());
    EXPECT_EQ(status->text(), QStringLiteral("PDF unificado!"));
    EXPECT_TRUE(save->isEnabled());
    EXPECT_TRUE(all->isChecked());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // Input is taken again.
    QTest::mouseClick(all, Qt::LeftButton);
    EXPECT_FALSE(all->isChecked());
}

TEST_F(SlowMergeWindow, ClosingDuringAMergeWaitsForItsEnd) {
    window_.close();
    slowWindow_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&slowWindow_));
    makeFiles({"a.pdf", "b.pdf"});
    dialogs_.folderAnswer = folderText();
    slowWindow_.findChild<QPushButton*>(QStringLiteral("btnfinder"))->click();
    slowWindow_.findChild<QCheckBox*>(QStringLiteral("ckall"))->click();
    slowWindow_.findChild<QPushButton*>(QStringLiteral("btnsalvar"))->click();
    ASSERT_TRUE(QTest::qWaitFor([this] { return slow_.started(); }, 10000));

    EXPECT_FALSE(slowWindow_.close());
    EXPECT_TRUE(slowWindow_.isVisible());
    slow_.release();
    EXPECT_TRUE(QTest::qWaitFor([this] { return !slowWindow_.isVisible(); }, 10000));
    EXPECT_FALSE(slowWindow_.merging());
}

TEST(QtTranslations, QtsOwnDialogsSpeakPortuguese) {
    ASSERT_TRUE(installQtTranslations(*QCoreApplication::instance()));
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:").toStdString(), "Procurar em:");
}

}  // namespace
}  // namespace qz::app
