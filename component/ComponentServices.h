#pragma once
// What the document component asks of its surroundings, as interfaces a
// caller can replace: controls told when the document changes (in place of
// window messages), the settings dialog a save may show, and the program
// that opens a saved file. Each comes with the default the component uses
// when none is given: no dialog shown (it answers OK and changes nothing),
// and `xdg-open` started without a shell.

#include <cstdint>
#include <filesystem>

namespace qz::component {

class TqzCustomPDFDocument;

// A control registered with a component; told synchronously, on the
// component's thread, with one of the messages of ComponentTypes.h.
class TqzLinkedControl {
public:
    virtual ~TqzLinkedControl() = default;
    virtual void Perform(uint32_t message, TqzCustomPDFDocument& component) = 0;
};

// The "Document Settings and Preferences" dialog: reads and may change the
// component's published settings; returns kModalResultOK or
// kModalResultCancel.
class TqzSettingsDialog {
public:
    virtual ~TqzSettingsDialog() = default;
    virtual int32_t ShowModal(TqzCustomPDFDocument& component) = 0;
};

// Answers OK and changes nothing: there is no window to show on a server.
class TqzHeadlessSettingsDialog final : public TqzSettingsDialog {
public:
    int32_t ShowModal(TqzCustomPDFDocument& component) override;
};

// Opens a saved file with the user's preferred program. Failures are the
// opener's to swallow: a save never fails because a viewer did not start.
class TqzDocumentOpener {
public:
    virtual ~TqzDocumentOpener() = default;
    virtual void Open(const std::filesystem::path& file) = 0;
};

// Starts `xdg-open FILE` with posix_spawnp (no shell, so no quoting issues)
// and does not wait for it; finished children are reaped on later calls.
class TqzXdgDocumentOpener final : public TqzDocumentOpener {
public:
    void Open(const std::filesystem::path& file) override;
};

// The process-wide defaults the component falls back on.
TqzSettingsDialog& DefaultSettingsDialog();
TqzDocumentOpener& DefaultDocumentOpener();

}  // namespace qz::component
