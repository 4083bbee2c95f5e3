#pragma once
// The modal dialogs the merge window opens, behind an interface so that tests
// can answer them without entering a modal event loop.

#include <optional>

#include <QString>

class QWidget;

namespace qz::app {

class WindowDialogs {
public:
    virtual ~WindowDialogs() = default;

    // The folder the user confirmed, or nothing when the dialog was cancelled.
    // Each dialog opens in `startFolder`; an empty one leaves it to Qt.
    virtual std::optional<QString> chooseFolder(QWidget* parent, const QString& startFolder) = 0;
    // The file name the user confirmed (it need not exist), or nothing.
    virtual std::optional<QString> chooseFile(QWidget* parent, const QString& startFolder) = 0;
    // Shows an error that ended a request; returns once the user closed it.
    virtual void showError(QWidget* parent, const QString& message) = 0;
};

// The real dialogs: Qt's folder and file dialogs and a critical message box
// titled with the parent window's caption.
class QtWindowDialogs final : public WindowDialogs {
public:
    std::optional<QString> chooseFolder(QWidget* parent, const QString& startFolder) override;
    std::optional<QString> chooseFile(QWidget* parent, const QString& startFolder) override;
    void showError(QWidget* parent, const QString& message) override;
};

}  // namespace qz::app
