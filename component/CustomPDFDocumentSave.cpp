// Saving in the document component.

#include "component/ComponentExceptions.h"
#include "component/CustomPDFDocument.h"
#include "component/OutputFile.h"
#include "platform/CodePage.h"

namespace qz::component {

namespace {

// Restores a value when the scope ends, however it ends.
template <class T>
class Restore {
public:
    Restore(T& place, T value) : FPlace(place), FSaved(place) { FPlace = value; }
    ~Restore() { FPlace = FSaved; }
    Restore(const Restore&) = delete;
    Restore& operator=(const Restore&) = delete;

private:
    T& FPlace;
    T FSaved;
};

}  // namespace

document::TqzPDSaveFlags TqzCustomPDFDocument::SaveFlags(bool aIncremental) {
    document::TqzPDSaveFlags flags;
    flags.Incremental = aIncremental;
    flags.Full = !aIncremental;
    return flags;
}

int32_t TqzCustomPDFDocument::InvokeSetupDialog() {
    TqzSettingsDialog& dialog = FSetupDialog != nullptr ? *FSetupDialog : DefaultSettingsDialog();
    return dialog.ShowModal(*this);
}

bool TqzCustomPDFDocument::WriteDocument(platform::Stream& stream, const document::TqzPDSaveFlags& flags) {
    if (FShowSetupDialog && InvokeSetupDialog() == kModalResultCancel) return false;
    // The dialog may have changed anything; the document must still be there.
    RequireDocument("Saving");
    Status(FormatStatus(kStatusSavingFile, FOutputFilename));
    Authorize(false);
    FPDDoc->Authorize(FPermissions, platform::Utf8ToCodePage(FPassword));
    FPDDoc->SaveDocument(stream, flags);
    return true;
}

void TqzCustomPDFDocument::FinishSave() {
    // The merge sources stay: the written model still shares their stream
    // data, and a second save reads it again. Reset or the next load frees them.
    // The files pages were appended or inserted from go: those pages hold
    // the stream data they share.
    FIsLoaded = false;
    FAppendPagesObjList.clear();
    FInsertDocObjList.clear();
    Status(kStatusSaveComplete);
}

bool TqzCustomPDFDocument::SaveDoc(platform::Stream& stream, const document::TqzPDSaveFlags& flags) {
    RequireDocument("Saving");
    if (!WriteDocument(stream, flags)) return false;
    FinishSave();
    return true;
}

void TqzCustomPDFDocument::SaveToFile(const std::filesystem::path& fileName, bool aIncremental, bool autoReload) {
    // Checked before anything is created: no empty file is ever left behind.
    RequireDocument("Saving");
    bool saved = false;
    {
        TqzOutputFile output(fileName);
        const std::string previousOutput = FOutputFilename;
        FOutputFilename = fileName.string();
        try {
            saved = WriteDocument(output.Stream(), SaveFlags(aIncremental));
            // The sources have been read; only now is the destination replaced.
            if (saved) output.Commit();
        } catch (...) {
            FOutputFilename = previousOutput;
            throw;
        }
        if (!saved) FOutputFilename = previousOutput;
    }
    // A cancelled dialog leaves nothing behind and the component as it was.
    if (!saved) return;
    FinishSave();
    if (autoReload) {
        Reset();
        LoadFromFile(fileName, "");
        DoDocumentChanged(kDocumentLoadedMessage);
    } else {
        DoDocumentChanged(kDocumentSavedMessage);
    }
    if (FOpenAfterSave) {
        try {
            (FOpener != nullptr ? *FOpener : DefaultDocumentOpener()).Open(fileName);
        } catch (...) {
            // Whether a viewer starts is not the save's concern.
        }
    }
}

void TqzCustomPDFDocument::SaveToFile(const std::filesystem::path& fileName,
                                      TqzNeedAppearanceState /*needAppearance*/) {
    DoDocumentChanged(kDocumentSavedMessage);
    SaveToFile(fileName, false, false);
}

void TqzCustomPDFDocument::SaveToStream(platform::Stream& stream, bool aIncremental) {
    SaveDoc(stream, SaveFlags(aIncremental));
    if (!FAutoReload) DoDocumentChanged(kDocumentSavedMessage);
}

void TqzCustomPDFDocument::SaveToStream(platform::Stream& stream, TqzNeedAppearanceState /*needAppearance*/) {
    SaveToStream(stream, false);
}

void TqzCustomPDFDocument::SaveChanges(bool autoReload) {
    Restore<bool> reloading(FAutoReload, autoReload);
    Restore<bool> noDialog(FShowSetupDialog, false);
    if (!FFilename.empty()) {
        platform::MemoryStream saved;
        SaveToStream(saved, false);
        const std::filesystem::path fileName = FFilename;
        // Written beside the loaded file and renamed over it: the file is
        // replaced whole or not at all, and the document is let go only
        // once its new form is on disk.
        TqzOutputFile::WriteReplacing(fileName, saved.Bytes());
        Reset();
        if (autoReload) {
            LoadFromFile(fileName, "");
            DoDocumentChanged(kDocumentLoadedMessage);
        } else {
            DoDocumentChanged(kDocumentSavedMessage);
        }
        return;
    }
    if (!autoReload) return;
    RequireDocument("Saving");
    platform::MemoryStream saved;
    SaveToStream(saved, false);
    Reset();
    saved.SetPosition(0);
    LoadFromStream(saved, "");
    DoDocumentChanged(kDocumentLoadedMessage);
}

}  // namespace qz::component
