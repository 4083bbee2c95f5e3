// Saves pictures of the merge window as a user sees it, over a folder of PDF
// files: after a merge of the ticked files (the real merge), and with Qt's
// folder dialog open over it, in Portuguese.
// Usage: costurix_screenshot <folder> <pictures folder>
// Writes costurix-merged.png and costurix-dialog.png.

#include <cstdio>
#include <optional>

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include "app/ComponentMergeRunner.h"
#include "app/Translations.h"
#include "app/WindowDialogs.h"
#include "app/frm_merge.h"

namespace {

// Answers the first folder dialog with the folder to show; later ones are
// Qt's own.
class ScriptedDialogs final : public qz::app::WindowDialogs {
public:
    explicit ScriptedDialogs(QString folder) : folder_(std::move(folder)) {}
    std::optional<QString> chooseFolder(QWidget* parent, const QString& start) override {
        if (!answered_) {
            answered_ = true;
            return folder_;
        }
        return real_.chooseFolder(parent, start);
    }
    std::optional<QString> chooseFile(QWidget*, const QString&) override { return std::nullopt; }
    void showError(QWidget* parent, const QString& message) override {
        std::fprintf(stderr, "costurix_screenshot: %s\n", qPrintable(message));
        real_.showError(parent, message);
    }

private:
    QString folder_;
    bool answered_ = false;
    qz::app::QtWindowDialogs real_;
};

bool save(const QPixmap& picture, const QString& path) {
    if (picture.save(path, "PNG")) return true;
    std::fprintf(stderr, "costurix_screenshot: cannot write %s\n", qPrintable(path));
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    qz::app::installQtTranslations(application);
    const QStringList args = QApplication::arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: costurix_screenshot <folder> <pictures folder>\n");
        return 2;
    }
    const QDir pictures(args.at(2));
    qz::app::ComponentMergeRunner runner;
    ScriptedDialogs dialogs(args.at(1));
    qz::app::Tfrm_merge window(runner, dialogs);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "costurix_screenshot: the window was never shown\n");
        return 1;
    }

    auto* finder = window.findChild<QPushButton*>(QStringLiteral("btnfinder"));
    finder->click();
    auto* list = window.findChild<QListWidget*>(QStringLiteral("cklistfile"));
    for (int row = 0; row < list->count(); row += 2) list->item(row)->setCheckState(Qt::Checked);
    if (list->count() > 1) list->setCurrentRow(1);
    list->setFocus();
    window.findChild<QPushButton*>(QStringLiteral("btnsalvar"))->click();
    if (!QTest::qWaitFor([&window] { return !window.merging(); }, 60000)) return 1;
    QTest::qWait(200);
    if (!save(window.grab(), pictures.filePath(QStringLiteral("costurix-merged.png")))) return 1;

    // The whole screen, window and dialog, once the dialog is up; then the
    // dialog is cancelled and the program ends.
    bool saved = false;
    QTimer::singleShot(1000, [&] {
        saved = save(QGuiApplication::primaryScreen()->grabWindow(0),
                     pictures.filePath(QStringLiteral("costurix-dialog.png")));
        if (QWidget* dialog = QApplication::activeModalWidget()) dialog->close();
    });
    finder->click();
    return saved ? 0 : 1;
}
