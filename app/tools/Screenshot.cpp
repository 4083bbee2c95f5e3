// Saves a picture of the merge window as a user would see it after picking a
// folder, ticking two files and selecting one.
// Usage: costurix_screenshot <folder> <picture.png>

#include <cstdio>
#include <optional>

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "app/UnavailableMergeRunner.h"
#include "app/WindowDialogs.h"
#include "app/frm_merge.h"

namespace {

// Answers the folder dialog with the folder to show.
class ScriptedDialogs final : public qz::app::WindowDialogs {
public:
    explicit ScriptedDialogs(QString folder) : folder_(std::move(folder)) {}
    std::optional<QString> chooseFolder(QWidget*) override { return folder_; }
    std::optional<QString> chooseFile(QWidget*) override { return std::nullopt; }
    void showError(QWidget*, const QString&) override {}

private:
    QString folder_;
};

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: costurix_screenshot <folder> <picture.png>\n");
        return 2;
    }
    qz::app::UnavailableMergeRunner runner;
    ScriptedDialogs dialogs(args.at(1));
    qz::app::Tfrm_merge window(runner, dialogs);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "costurix_screenshot: the window was never shown\n");
        return 1;
    }

    window.findChild<QPushButton*>(QStringLiteral("btnfinder"))->click();
    auto* list = window.findChild<QListWidget*>(QStringLiteral("cklistfile"));
    for (int row = 0; row < list->count(); row += 2) list->item(row)->setCheckState(Qt::Checked);
    if (list->count() > 1) list->setCurrentRow(1);
    list->setFocus();
    QTest::qWait(200);

    if (!window.grab().save(args.at(2), "PNG")) {
        std::fprintf(stderr, "costurix_screenshot: cannot write %s\n", qPrintable(args.at(2)));
        return 1;
    }
    return 0;
}
