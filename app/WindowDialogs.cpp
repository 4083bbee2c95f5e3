#include "app/WindowDialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QWidget>

namespace qz::app {

std::optional<QString> QtWindowDialogs::chooseFolder(QWidget* parent, const QString& startFolder) {
    const QString folder = QFileDialog::getExistingDirectory(parent, QString(), startFolder);
    if (folder.isEmpty()) return std::nullopt;
    return folder;
}

std::optional<QString> QtWindowDialogs::chooseFile(QWidget* parent, const QString& startFolder) {
    // An open dialog that still lets the user type a name that does not
    // exist yet: the destination is usually a new file.
    QFileDialog dialog(parent, QString(), startFolder);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return std::nullopt;
    return files.first();
}

void QtWindowDialogs::showError(QWidget* parent, const QString& message) {
    const QString title = parent ? parent->window()->windowTitle() : QString();
    QMessageBox::critical(parent, title, message);
}

}  // namespace qz::app
