#include "component/CustomPDFDocument.h"

#include <algorithm>
#include <mutex>

#include "component/ComponentExceptions.h"
#include "content/ContentSetup.h"
#include "core/Conversions.h"

namespace qz::component {

namespace {

// The seed of the document hash.
constexpr uint32_t kDocumentHashSeed = 0x9747B28C;
// The CMap folder a model starts with.
constexpr const char* kDefaultCMapPath = "./CMAPS/";

document::TqzPDPermissions ClearedPermissions(filters::TqzPDFEncryptionLevel level) {
    document::TqzPDPermissions permissions;
    permissions.Level = level;
    return permissions;
}

}  // namespace

TqzCustomPDFDocument::TqzCustomPDFDocument()
    : FPermissions(ClearedPermissions(filters::TqzPDFEncryptionLevel::elRC4_40Bit)) {
    // The document model makes fonts, XObjects, colour spaces and page
    // contents through the content layer's makers; filled once per process.
    static std::once_flag registered;
    std::call_once(registered, content::RegisterContentFactories);
}

TqzCustomPDFDocument::~TqzCustomPDFDocument() {
    try {
        DoDocumentChanged(kDocumentSavedMessage);
    } catch (...) {
        // A control's failure cannot stop the component from going away.
    }
    FLinkedControls.clear();
    // The model first: it shares stream data with the merge sources.
    FPDDoc.reset();
    FMergeObjectList.clear();
    FStream.reset();
}

document::TqzPDDocument& TqzCustomPDFDocument::Model() {
    if (FPDDoc == nullptr) {
        FPDDoc = std::make_shared<document::TqzPDDocument>();
        FSharedDocumentObj = false;
    }
    return *FPDDoc;
}

bool TqzCustomPDFDocument::HasUsableDocument() const { return FPDDoc != nullptr && FPDDoc->IsLoaded(); }

void TqzCustomPDFDocument::RequireDocument(const char* operation) const {
    if (!HasUsableDocument()) throw ENoDocumentError(operation);
}

void TqzCustomPDFDocument::Reset() {
    // A model taken over from another component is only let go: the other
    // one keeps its share. The model goes before the merge sources it reads.
    if (FPDDoc != nullptr) {
        FPDDoc = std::make_shared<document::TqzPDDocument>();
        FSharedDocumentObj = false;
    }
    FHash = 0;
    FLoadedFromFile = false;
    FStream.reset();
    FIsLoaded = false;
    FTries = 0;
    FPassword.clear();
    FFormFieldCount = 0;
    FOutputFilename.clear();
    FFilename.clear();
    FWorkFilename.clear();
    FPermissions = ClearedPermissions(filters::TqzPDFEncryptionLevel::elRC4_128Bit);
    FMergeObjectList.clear();
    FAppendPagesObjList.clear();
    FInsertDocObjList.clear();
}

void TqzCustomPDFDocument::RegisterLinkedControl(TqzLinkedControl* control) { FLinkedControls.push_back(control); }

void TqzCustomPDFDocument::UnRegisterLinkedControl(TqzLinkedControl* control) {
    auto it = std::find(FLinkedControls.begin(), FLinkedControls.end(), control);
    if (it == FLinkedControls.end()) throw EListError();
    FLinkedControls.erase(it);
}

void TqzCustomPDFDocument::DoDocumentChanged(uint32_t message) {
    // By index, checked on every step: a control may unregister itself.
    for (size_t i = FLinkedControls.size(); i > 0; --i) {
        if (i > FLinkedControls.size()) continue;
        TqzLinkedControl* control = FLinkedControls[i - 1];
        if (control != nullptr) control->Perform(message, *this);
    }
}

uint32_t TqzCustomPDFDocument::GetDocumentHash() {
    if (FIsLoaded && FHash == 0 && FStream != nullptr) FHash = core::GetHash(*FStream, kDocumentHashSeed);
    return FHash;
}

std::string TqzCustomPDFDocument::GetCMapPath() const {
    return FPDDoc != nullptr ? FPDDoc->GetCMapPath() : std::string(kDefaultCMapPath);
}

void TqzCustomPDFDocument::SetCMapPath(const std::string& value) { Model().SetCMapPath(value); }

void TqzCustomPDFDocument::SetFileName(const std::string& value) {
    if (value.empty()) {
        FFilename.clear();
        return;
    }
    // The load stores the name once the file is found; a missing file leaves
    // the component, and its name, as they were.
    LoadFromFile(value, "");
}

bool TqzCustomPDFDocument::GetIsOwner() const { return FIsLoaded && FPDDoc != nullptr && FPDDoc->GetIsOwner(); }

int32_t TqzCustomPDFDocument::GetPageCount() {
    if (!FIsLoaded || !HasUsableDocument()) return 0;
    return FPDDoc->GetPageCount();
}

void TqzCustomPDFDocument::Status(const std::string& text) {
    if (OnStatusMessage) OnStatusMessage(this, text);
}

void TqzCustomPDFDocument::Progress(TqzOperation operation, int32_t current, int32_t total) {
    if (OnOperationProgress) OnOperationProgress(this, operation, current, total);
}

}  // namespace qz::component
