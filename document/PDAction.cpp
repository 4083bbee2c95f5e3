#include "document/PDAction.h"

#include <algorithm>
#include <array>
#include <limits>
#include <unordered_set>

#include "core/PDArray.h"
#include "core/PDBoolean.h"
#include "core/PDDictionary.h"
#include "core/PDIndirectRef.h"
#include "core/PDInteger.h"
#include "core/PDName.h"
#include "core/PDStream.h"
#include "core/PDString.h"
#include "document/DictEntries.h"
#include "document/PDBaseDoc.h"
#include "document/PDDestination.h"
#include "document/PDDocument.h"
#include "document/PDFileSpec.h"
#include "document/PDModelException.h"

namespace qz::document {

using core::TqzPDArray;
using core::TqzPDBaseObject;
using core::TqzPDDictionary;
using Type = TqzPDActionType;

namespace {

constexpr std::array<std::string_view, 19> kActionNames = {
    "",           "GoTo",        "GoToR",     "GoToE",     "Launch",     "Thread", "URI",
    "Sound",      "Movie",       "Hide",      "Named",     "SubmitForm", "ResetForm",
    "ImportData", "JavaScript",  "SetOCGState", "Rendition", "Trans",     "GoTo3DView"};

// The longest script read from a /JS stream: scripts are a few kilobytes; a
// hostile stream could otherwise decode to any size.
constexpr uint32_t kMaxScriptBytes = 16U << 20;
constexpr uint32_t kScriptChunk = 64U << 10;

std::unique_ptr<TqzPDBaseObject> Name(std::string_view name) {
    auto object = std::make_unique<core::TqzPDName>("");
    object->SetName(name);
    return object;
}

std::unique_ptr<TqzPDBaseObject> Literal(const std::string& text) {
    return MakeString(text, TqzEntryText::Bytes);
}

std::string ReadStreamText(core::TqzPDStream& stream) {
    std::string text;
    stream.Reset();
    std::string chunk(kScriptChunk, '\0');
    while (text.size() < kMaxScriptBytes) {
        const auto want = std::min<uint32_t>(kScriptChunk, kMaxScriptBytes - static_cast<uint32_t>(text.size()));
        const int32_t read = stream.Read(chunk, want);
        if (read <= 0) break;
        text.append(chunk, 0, static_cast<size_t>(read));
    }
    return text;
}

std::unique_ptr<TqzPDAction> NewAction(Type type, TqzPDDocument* document, core::TqzPDElement* parentElement,
                                       TqzPDBaseObject* baseObject) {
    switch (type) {
        case Type::actionGoTo: return std::make_unique<TqzPDGoToAction>(document, parentElement, baseObject);
        case Type::actionGoToR: return std::make_unique<TqzPDGoToRemoteAction>(document, parentElement, baseObject);
        case Type::actionGoToE: return std::make_unique<TqzPDGoToEmbeddedAction>(document, parentElement, baseObject);
        case Type::actionLaunch: return std::make_unique<TqzPDLaunchAction>(document, parentElement, baseObject);
        case Type::actionURI: return std::make_unique<TqzPDURIAction>(document, parentElement, baseObject);
        case Type::actionSubmitForm: return std::make_unique<TqzPDSubmitFormAction>(document, parentElement, baseObject);
        case Type::actionResetForm: return std::make_unique<TqzPDResetFormAction>(document, parentElement, baseObject);
        case Type::actionJavaScript: return std::make_unique<TqzPDJavaScriptAction>(document, parentElement, baseObject);
        case Type::actionThread: return std::make_unique<TqzPDThreadAction>(document, parentElement, baseObject);
        case Type::actionSound: return std::make_unique<TqzPDSoundAction>(document, parentElement, baseObject);
        case Type::actionMovie: return std::make_unique<TqzPDMovieAction>(document, parentElement, baseObject);
        case Type::actionHide: return std::make_unique<TqzPDHideAction>(document, parentElement, baseObject);
        case Type::actionNamed: return std::make_unique<TqzPDNamedAction>(document, parentElement, baseObject);
        case Type::actionRendition: return std::make_unique<TqzPDRenditionAction>(document, parentElement, baseObject);
        case Type::actionTrans: return std::make_unique<TqzPDTransitionAction>(document, parentElement, baseObject);
        case Type::actionGoTo3DView: return std::make_unique<TqzPDGoTo3DViewAction>(document, parentElement, baseObject);
        case Type::actionNone:
        case Type::actionImportData:
        case Type::actionSetOCGState: break;
    }
    return nullptr;
}

}  // namespace

std::string_view ActionTypeName(TqzPDActionType type) { return NameAt(kActionNames, static_cast<size_t>(type)); }

TqzPDActionType ActionTypeFromName(std::string_view name) {
    return static_cast<TqzPDActionType>(NameIndex(kActionNames, name));
}

struct TqzActionChain {
    std::unordered_set<uint32_t> VisitedNumbers;
    std::unordered_set<const TqzPDBaseObject*> VisitedDirect;
    size_t Made = 0;

    // False when the dictionary was met before in this chain.
    bool Visit(const TqzPDBaseObject& dict) {
        if (dict.IsDirect()) return VisitedDirect.insert(&dict).second;
        return VisitedNumbers.insert(dict.GetObjNumber()).second;
    }
};

// ---- base class ----

TqzPDAction::TqzPDAction(TqzPDDocument* document, core::TqzPDElement* parentElement, TqzPDBaseObject* baseObject)
    : core::TqzPDElement(document != nullptr ? document->GetBaseDoc() : nullptr, parentElement, baseObject),
      FDocument(document) {}

TqzPDAction::TqzPDAction(TqzPDActionType type, TqzPDDocument* document, core::TqzPDElement* parentElement,
                         TqzPDBaseObject* baseObject)
    : TqzPDAction(document, parentElement, baseObject) {
    FActionType = type;
}

TqzPDAction::~TqzPDAction() = default;

TqzPDDictionary* TqzPDAction::GetDict() const { return AsDictionary(FBaseObject); }

TqzPDActionType TqzPDAction::GetType() {
    const TqzPDDictionary* dict = GetDict();
    if (FActionType == Type::actionNone && dict != nullptr) {
        const TqzPDBaseObject* kind = dict->LookUp("S");
        if (kind != nullptr) {
            if (!kind->IsName()) throw ExBadAction();
            FActionType = ActionTypeFromName(static_cast<const core::TqzPDName*>(kind)->GetValue());
        }
    }
    return FActionType;
}

TqzPDDestination* TqzPDAction::GetDest() {
    const TqzPDDictionary* dict = GetDict();
    const TqzPDBaseObject* target = dict != nullptr ? dict->LookUp("D") : nullptr;
    if (target == nullptr) return FViewDestination.get();
    if (target->IsArray()) {
        if (FViewDestination == nullptr) FViewDestination = std::make_unique<TqzPDDestination>();
        FViewDestination->ReadFrom(FDocument, *static_cast<const TqzPDArray*>(target));
    } else if (target->IsName()) {
        if (FViewDestination == nullptr) FViewDestination = std::make_unique<TqzPDDestination>();
        FViewDestination->SetDisplayOption(
            DisplayOptionFromName(static_cast<const core::TqzPDName*>(target)->GetValue()));
        FViewDestination->SetPage(nullptr);
        FViewDestination->SetRect(0, 0, 0, 0);
    }
    return FViewDestination.get();
}

const std::vector<std::unique_ptr<TqzPDAction>>& TqzPDAction::GetNextActions() {
    if (FNextActionsRead) return FNextActions;
    FNextActionsRead = true;
    TqzPDDictionary* dict = GetDict();
    if (dict == nullptr || FChainDepth >= kMaxActionChainDepth) return FNextActions;
    if (FChain == nullptr) {
        FChain = std::make_shared<TqzActionChain>();
        FChain->Visit(*dict);
    }
    TqzPDBaseObject* next = dict->LookUp("Next");
    if (next == nullptr) return FNextActions;
    std::vector<TqzPDBaseObject*> candidates;
    if (next->IsArray()) {
        const auto* array = static_cast<const TqzPDArray*>(next);
        const int32_t count = std::min<int32_t>(array->GetLength(), static_cast<int32_t>(kMaxActionChainActions));
        for (int32_t i = 0; i < count; ++i) candidates.push_back(array->Get(i));
    } else {
        candidates.push_back(next);
    }
    for (TqzPDBaseObject* candidate : candidates) {
        if (FChain->Made >= kMaxActionChainActions) break;
        if (candidate == nullptr || !candidate->IsDict() || !FChain->Visit(*candidate)) continue;
        std::unique_ptr<TqzPDAction> action = MakeAction(FDocument, this, candidate);
        if (action == nullptr) continue;
        ++FChain->Made;
        action->FChain = FChain;
        action->FChainDepth = FChainDepth + 1;
        FNextActions.push_back(std::move(action));
    }
    return FNextActions;
}

std::unique_ptr<TqzPDAction> TqzPDAction::MakeAction(TqzPDDocument* document, core::TqzPDElement* parentElement,
                                                     TqzPDBaseObject* baseObject) {
    const TqzPDDictionary* dict = AsDictionary(baseObject);
    if (dict == nullptr) return nullptr;
    const std::string* kind = NameEntry(*dict, "S");
    if (kind == nullptr) return nullptr;
    return NewAction(ActionTypeFromName(*kind), document, parentElement, baseObject);
}

std::unique_ptr<TqzPDAction> TqzPDAction::MakeAction(TqzPDDocument* document, core::TqzPDElement* parentElement,
                                                     TqzPDActionType actionType) {
    return NewAction(actionType, document, parentElement, nullptr);
}

void TqzPDAction::SetFileSpec(std::unique_ptr<TqzPDFileSpec> value) { FFileSpec = std::move(value); }

bool TqzPDAction::ReadString(std::string_view key, std::string& value) const {
    const TqzPDDictionary* dict = GetDict();
    return dict != nullptr && ReadStringEntry(*dict, key, value);
}

bool TqzPDAction::ReadBool(std::string_view key, bool& value) const {
    const TqzPDDictionary* dict = GetDict();
    return dict != nullptr && ReadBoolEntry(*dict, key, value);
}

void TqzPDAction::WriteString(std::string_view key, const std::string& value, bool asText) {
    if (TqzPDDictionary* dict = GetDict()) {
        WriteStringEntry(*dict, key, value, asText ? TqzEntryText::Text : TqzEntryText::Bytes);
    }
}

void TqzPDAction::WriteBool(std::string_view key, bool value) {
    if (TqzPDDictionary* dict = GetDict()) WriteBoolEntry(*dict, key, value);
}

bool TqzPDAction::ReadField(std::string_view key, bool& field) const {
    ReadBool(key, field);
    return field;
}

void TqzPDAction::WriteField(std::string_view key, bool& field, bool value) {
    WriteBool(key, value);
    field = value;
}

TqzPDFileSpec* TqzPDAction::FileSpecFromF(bool fresh) {
    if (FFileSpec != nullptr && !fresh) return FFileSpec.get();
    TqzPDDictionary* dict = GetDict();
    TqzPDBaseObject* file = dict != nullptr ? dict->LookUp("F") : nullptr;
    if (file == nullptr) return FFileSpec.get();
    if (file->IsString()) {
        // The name alone: the file spec keeps it with no dictionary behind it.
        if (FFileSpec == nullptr || FFileSpec->GetBaseObject() != nullptr) FFileSpec = std::make_unique<TqzPDFileSpec>();
        FFileSpec->SetFileName(StringText(*file));
    } else if (file->IsDict() && (FFileSpec == nullptr || FFileSpec->GetBaseObject() != file)) {
        FFileSpec = std::make_unique<TqzPDFileSpec>(file);
    }
    return FFileSpec.get();
}

void TqzPDAction::WriteFileName(const std::string& value, bool addMissing) {
    if (TqzPDDictionary* dict = GetDict()) {
        TqzPDBaseObject* file = dict->LookUp("F");
        if (file == nullptr ? addMissing : file->IsString()) {
            WriteStringEntry(*dict, "F", value, TqzEntryText::Bytes);
        } else if (file != nullptr && file->IsDict() &&
                   (FFileSpec == nullptr || FFileSpec->GetBaseObject() != file)) {
            FFileSpec = std::make_unique<TqzPDFileSpec>(file);
        }
    }
    if (FFileSpec == nullptr) FFileSpec = std::make_unique<TqzPDFileSpec>();
    FFileSpec->SetFileName(value);
}

// ---- GoTo ----

TqzPDGoToAction::TqzPDGoToAction(TqzPDDocument* document, core::TqzPDElement* parentElement,
                                 TqzPDBaseObject* baseObject)
    : TqzPDAction(Type::actionGoTo, document, parentElement, baseObject) {}

TqzPDGoToAction::TqzPDGoToAction(std::unique_ptr<TqzPDDestination> destination)
    : TqzPDAction(Type::actionGoTo, nullptr, nullptr, nullptr) {
    FViewDestination = std::move(destination);
}

TqzPDGoToAction::TqzPDGoToAction() : TqzPDGoToAction(std::make_unique<TqzPDDestination>()) {}

// ---- GoToR ----

TqzPDGoToRemoteAction::TqzPDGoToRemoteAction(TqzPDDocument* document, core::TqzPDElement* parentElement,
                                             TqzPDBaseObject* baseObject)
    : TqzPDAction(Type::actionGoToR, document, parentElement, baseObject) {}

TqzPDGoToRemoteAction::TqzPDGoToRemoteAction(std::unique_ptr<TqzPDDestination> destination)
    : TqzPDAction(Type::actionGoToR, nullptr, nullptr, nullptr) {
    FViewDestination = std::move(destination);
    FFileSpec = std::make_unique<TqzPDFileSpec>();
}

TqzPDGoToRemoteAction::TqzPDGoToRemoteAction()
    : TqzPDGoToRemoteAction(std::make_unique<TqzPDDestination>()) {}

bool TqzPDGoToRemoteAction::GetOpenInNewWindow() { return ReadField("NewWindow", FOpenInNewWindow); }

void TqzPDGoToRemoteAction::SetOpenInNewWindow(bool value) { WriteField("NewWindow", FOpenInNewWindow, value); }

std::string TqzPDGoToRemoteAction::GetFileName() {
    TqzPDFileSpec* spec = FileSpecFromF(false);
    return spec != nullptr ? spec->GetFileName() : std::string();
}

void TqzPDGoToRemoteAction::SetFileName(const std::string& value) { WriteFileName(value, true); }

int32_t TqzPDGoToRemoteAction::GetPageNum() {
    const TqzPDDictionary* dict = GetDict();
    const TqzPDBaseObject* target = dict != nullptr ? dict->LookUp("D") : nullptr;
    if (target != nullptr && target->IsArray()) {
        const TqzPDBaseObject* page = static_cast<const TqzPDArray*>(target)->Get(0);
        if (page != nullptr && page->IsInteger()) {
            const int64_t number = static_cast<const core::TqzPDInteger*>(page)->GetValue();
            FPAgeNum = static_cast<int32_t>(std::clamp<int64_t>(number, 0, std::numeric_limits<int32_t>::max()));
        }
    }
    return FPAgeNum;
}

// ---- GoToE ----

TqzPDGoToEmbeddedAction::TqzPDGoToEmbeddedAction(TqzPDDocument* document, core::TqzPDElement* parentElement,
                                                 TqzPDBaseObject* baseObject)
    : TqzPDAction(Type::actionGoToE, document, parentElement, baseObject) {}

TqzPDGoToEmbeddedAction::TqzPDGoToEmbeddedAction() : TqzPDAction(Type::actionGoToE, nullptr, nullptr, nullptr) {}

bool TqzPDGoToEmbeddedAction::GetOpenInNewWindow() { return ReadField("NewWindow", FOpenInNewWindow); }

void TqzPDGoToEmbeddedAction::SetOpenInNewWindow(bool value) { WriteField("NewWindow", FOpenInNewWindow, value); }

TqzTargetType TqzPDGoToEmbeddedAction::GetTargetType() {
    const TqzPDDictionary* dict = GetDict();
    const TqzPDDictionary* target = dict != nullptr ? AsDictionary(dict->LookUp("T")) : nullptr;
    const std::string* relation = target != nullptr ? NameEntry(*target, "R") : nullptr;
    if (relation != nullptr && *relation == "C") FTargetType = TqzTargetType::ttChild;
    if (relation != nullptr && *relation == "P") FTargetType = TqzTargetType::ttParent;
    return FTargetType;
}

void TqzPDGoToEmbeddedAction::SetTargetType(TqzTargetType value) {
    if (TqzPDDictionary* dict = GetDict()) {
        TqzPDDictionary* target = AsDictionary(dict->LookUp("T"));
        if (target == nullptr) {
            auto added = std::make_unique<TqzPDDictionary>(dict->GetParentDoc());
            target = added.get();
            PutEntry(*dict, "T", std::move(added));
        }
        WriteNameEntry(*target, "R", value == TqzTargetType::ttChild ? "C" : "P");
    }
    FTargetType = value;
}

std::string TqzPDGoToEmbeddedAction::GetFileName() {
    TqzPDFileSpec* spec = FileSpecFromF(true);
    return spec != nullptr ? spec->GetFileName() : std::string();
}

void TqzPDGoToEmbeddedAction::SetFileName(const std::string& value) { WriteFileName(value, false); }

// ---- Launch ----

TqzPDLaunchAction::TqzPDLaunchAction(TqzPDDocument* document, core::TqzPDElement* parentElement,
                                     TqzPDBaseObject* baseObject)
    : TqzPDAction(Type::actionLaunch, document, parentElement, baseObject) {}

TqzPDLaunchAction::TqzPDLaunchAction() : TqzPDAction(Type::actionLaunch, nullptr, nullptr, nullptr) {
    FFileSpec = std::make_unique<TqzPDFileSpec>();
}

bool TqzPDLaunchAction::GetOpenInNewWindow() { return ReadField("NewWindow", FOpenInNewWindow); }

void TqzPDLaunchAction::SetOpenInNewWindow(bool value) { WriteField("NewWindow", FOpenInNewWindow, value); }

TqzPDDictionary* TqzPDLaunchAction::WinDict(bool add) {
    TqzPDDictionary* dict = GetDict();
    if (dict == nullptr) return nullptr;
    TqzPDDictionary* win = AsDictionary(dict->LookUp("Win"));
    if (win == nullptr && add) {
        auto added = std::make_unique<TqzPDDictionary>(dict->GetParentDoc());
        win = added.get();
        PutEntry(*dict, "Win", std::move(added));
    }
    return win;
}

std::string TqzPDLaunchAction::ReadWinString(std::string_view key, std::string& field) {
    if (const TqzPDDictionary* win = WinDict(false)) ReadStringEntry(*win, key, field);
    return field;
}

void TqzPDLaunchAction::WriteWinString(std::string_view key, const std::string& value) {
    if (TqzPDDictionary* win = WinDict(true)) WriteStringEntry(*win, key, value, TqzEntryText::Bytes);
}

std::string TqzPDLaunchAction::GetApplicationParameter() { return ReadWinString("P", FApplicationParameter); }

void TqzPDLaunchAction::SetApplicationParameter(const std::string& value) {
    WriteWinString("P", value);
    FApplicationParameter = value;
}

std::string TqzPDLaunchAction::GetDefaultDirectory() { return ReadWinString("D", FDefaultDirectory); }

void TqzPDLaunchAction::SetDefaultDirectory(const std::string& value) {
    WriteWinString("D", value);
    FDefaultDirectory = value;
}

TqzLaunchActionType TqzPDLaunchAction::GetLaunchActionType() {
    std::string operation;
    ReadWinString("O", operation);
    if (operation == "open") FLaunchActionType = TqzLaunchActionType::ltOpen;
    if (operation == "print") FLaunchActionType = TqzLaunchActionType::ltPrint;
    return FLaunchActionType;
}

void TqzPDLaunchAction::SetLaunchActionType(TqzLaunchActionType value) {
    WriteWinString("O", value == TqzLaunchActionType::ltPrint ? "print" : "open");
    FLaunchActionType = value;
}

std::string TqzPDLaunchAction::GetApplicationToLaunch() {
    // The writer puts the application under /Win /F; an action without a
    // top-level /F reads it back from there.
    if (TqzPDFileSpec* spec = FileSpecFromF(true); spec != nullptr && GetDict() != nullptr &&
                                                  GetDict()->LookupRefObj("F") != nullptr) {
        return spec->GetFileName();
    }
    std::string name;
    if (const TqzPDDictionary* win = WinDict(false); win != nullptr && ReadStringEntry(*win, "F", name)) return name;
    return FFileSpec != nullptr ? FFileSpec->GetFileName() : std::string();
}

void TqzPDLaunchAction::SetApplicationToLaunch(const std::string& value) { WriteFileName(value, false); }

// ---- URI ----

TqzPDURIAction::TqzPDURIAction(TqzPDDocument* document, core::TqzPDElement* parentElement,
                               TqzPDBaseObject* baseObject)
    : TqzPDAction(Type::actionURI, document, parentElement, baseObject) {}

TqzPDURIAction::TqzPDURIAction() : TqzPDAction(Type::actionURI, nullptr, nullptr, nullptr) {}

TqzPDURIAction::TqzPDURIAction(std::string uri) : TqzPDURIAction() { FURI = std::move(uri); }

bool TqzPDURIAction::GetTrackMousePointer() { return ReadField("IsMap", FTrackMousePointer); }

void TqzPDURIAction::SetTrackMousePointer(bool value) { WriteField("IsMap", FTrackMousePointer, value); }

std::string TqzPDURIAction::GetURI() {
    ReadString("URI", FURI);
    return FURI;
}

void TqzPDURIAction::SetURI(const std::string& value) {
    WriteString("URI", value, false);
    FURI = value;
}

// ---- SubmitForm ----

TqzPDSubmitFormAction::TqzPDSubmitFormAction(TqzPDDocument* document, core::TqzPDElement* parentElement,
                                             TqzPDBaseObject* baseObject)
    : TqzPDAction(Type::actionSubmitForm, document, parentElement, baseObject) {}

TqzPDSubmitFormAction::TqzPDSubmitFormAction() : TqzPDAction(Type::actionSubmitForm, nullptr, nullptr, nullptr) {}

TqzPDSubmitFormAction::~TqzPDSubmitFormAction() = default;

std::string TqzPDSubmitFormAction::GetURL() {
    if (FFileSpec == nullptr) {
        TqzPDDictionary* dict = GetDict();
        TqzPDBaseObject* file = dict != nullptr ? dict->LookUp("F") : nullptr;
        if (file != nullptr && (file->IsString() || file->IsDict())) FFileSpec = std::make_unique<TqzPDFileSpec>(file);
    }
    if (FFileSpec != nullptr) FURL = FFileSpec->GetFileName();
    return FURL;
}

void TqzPDSubmitFormAction::SetURL(const std::string& value) {
    TqzPDDictionary* dict = GetDict();
    if (dict != nullptr && FFileSpec == nullptr) {
        // A form without /F gets one, so the address reaches the file.
        if (dict->LookUp("F") == nullptr) WriteStringEntry(*dict, "F", value, TqzEntryText::Bytes);
        TqzPDBaseObject* file = dict->LookUp("F");
        FFileSpec = std::make_unique<TqzPDFileSpec>(file != nullptr && (file->IsString() || file->IsDict()) ? file
                                                                                                          : nullptr);
    }
    if (FFileSpec != nullptr) FFileSpec->SetFileName(value);
    FURL = value;
}

// ---- ResetForm, JavaScript ----

TqzPDResetFormAction::TqzPDResetFormAction(TqzPDDocument* document, core::TqzPDElement* parentElement,
                                           TqzPDBaseObject* baseObject)
    : TqzPDAction(Type::actionResetForm, document, parentElement, baseObject) {}

// A reset action made new is one too, so that its writer names it.
TqzPDResetFormAction::TqzPDResetFormAction() : TqzPDAction(Type::actionResetForm, nullptr, nullptr, nullptr) {}

TqzPDJavaScriptAction::TqzPDJavaScriptAction(TqzPDDocument* document, core::TqzPDElement* parentElement,
                                             TqzPDBaseObject* baseObject)
    : TqzPDAction(Type::actionJavaScript, document, parentElement, baseObject) {}

TqzPDJavaScriptAction::TqzPDJavaScriptAction() : TqzPDAction(Type::actionJavaScript, nullptr, nullptr, nullptr) {}

std::string TqzPDJavaScriptAction::GetJavaScript() {
    const TqzPDDictionary* dict = GetDict();
    TqzPDBaseObject* script = dict != nullptr ? dict->LookUp("JS") : nullptr;
    if (script != nullptr && script->IsString()) FJavaScript = StringText(*script);
    if (script != nullptr && script->IsStream()) FJavaScript = ReadStreamText(*static_cast<core::TqzPDStream*>(script));
    return FJavaScript;
}

void TqzPDJavaScriptAction::SetJavaScript(const std::string& value) {
    WriteString("JS", value, true);
    FJavaScript = value;
}

// ---- the writer ----

namespace {

// The array joins the dictionary's document, whose writer numbers its page
// reference.
void AddDest(TqzPDDictionary& dict, std::unique_ptr<TqzPDArray> array) {
    array->SetParentDoc(dict.GetParentDoc());
    dict.Add("D", std::move(array));
}

void WriteGoTo(TqzPDAction& action, TqzPDDictionary& dict) {
    // A destination without a page of this document (a named one) is left to
    // the copy of the action's own /D below.
    TqzPDDestination* destination = action.GetDest();
    if (destination != nullptr && destination->GetPage() != nullptr) {
        AddDest(dict, CreateDestArray(*destination, TqzDestYAxis::FromPageTop));
    }
}

// /F: the held file spec's dictionary when it belongs to the target
// (by reference when it is an object of its own), so that an embedded file
// stays attached; else the file name as a literal string.
void WriteFileEntry(const TqzPDAction& action, const std::string& fileName, TqzPDDictionary& dict) {
    const TqzPDFileSpec* spec = action.GetFileSpec();
    const TqzPDDictionary* specDict = spec != nullptr ? spec->GetDict() : nullptr;
    if (specDict != nullptr && specDict->GetParentDoc() == dict.GetParentDoc()) {
        if (specDict->IsDirect()) {
            dict.Add("F", core::CopyByKind(*specDict, dict.GetParentDoc()));
        } else {
            dict.Add("F", std::make_unique<core::TqzPDIndirectRef>(specDict->GetObjNumber(), specDict->GetGenNumber()));
        }
        return;
    }
    dict.Add("F", Literal(fileName));
}

void WriteGoToRemote(TqzPDGoToRemoteAction& action, TqzPDDictionary& dict, TqzActionDictVariant variant) {
    if (TqzPDDestination* destination = action.GetDest()) {
        const TqzDestYAxis yAxis =
            variant == TqzActionDictVariant::Direct ? TqzDestYAxis::FromPageTop : TqzDestYAxis::AsStored;
        AddDest(dict, MakeDestArray(dict.GetParentDoc(), std::make_unique<core::TqzPDInteger>(action.GetPageNum()),
                                    destination->GetDisplayOption(), WrittenRect(*destination, yAxis)));
    }
    WriteFileEntry(action, action.GetFileName(), dict);
    dict.Add("NewWindow", std::make_unique<core::TqzPDBoolean>(action.GetOpenInNewWindow()));
}

void WriteLaunch(TqzPDLaunchAction& action, TqzPDDictionary& dict) {
    const std::string application = action.GetApplicationToLaunch();
    // The file as a file spec only where it is more than its name.
    if (action.GetFileSpec() != nullptr && action.GetFileSpec()->GetDict() != nullptr) {
        WriteFileEntry(action, application, dict);
    }
    dict.Add("NewWindow", std::make_unique<core::TqzPDBoolean>(action.GetOpenInNewWindow()));
    auto win = std::make_unique<TqzPDDictionary>(dict.GetParentDoc());
    win->Add("F", Literal(application));
    win->Add("O", Literal(action.GetLaunchActionType() == TqzLaunchActionType::ltPrint ? "print" : "open"));
    dict.Add("Win", std::move(win));
}

void WriteKind(TqzPDAction& action, TqzPDDictionary& dict, TqzActionDictVariant variant) {
    switch (action.GetType()) {
        case Type::actionGoTo: WriteGoTo(action, dict); break;
        case Type::actionGoToR:
            if (auto* remote = dynamic_cast<TqzPDGoToRemoteAction*>(&action)) WriteGoToRemote(*remote, dict, variant);
            break;
        case Type::actionLaunch:
            if (auto* launch = dynamic_cast<TqzPDLaunchAction*>(&action)) WriteLaunch(*launch, dict);
            break;
        case Type::actionURI:
            if (auto* uri = dynamic_cast<TqzPDURIAction*>(&action)) {
                dict.Add("URI", Literal(uri->GetURI()));
                dict.Add("IsMap", std::make_unique<core::TqzPDBoolean>(uri->GetTrackMousePointer()));
            }
            break;
        case Type::actionJavaScript:
            if (auto* script = dynamic_cast<TqzPDJavaScriptAction*>(&action)) {
                dict.Add("JS", Literal(script->GetJavaScript()));
            }
            break;
        case Type::actionGoToE:
            if (auto* embedded = dynamic_cast<TqzPDGoToEmbeddedAction*>(&action)) {
                if (const std::string file = embedded->GetFileName(); !file.empty() || embedded->GetFileSpec()) {
                    WriteFileEntry(action, file, dict);
                }
                dict.Add("NewWindow", std::make_unique<core::TqzPDBoolean>(embedded->GetOpenInNewWindow()));
            }
            break;
        case Type::actionSubmitForm:
            if (auto* submit = dynamic_cast<TqzPDSubmitFormAction*>(&action); submit != nullptr) {
                if (const std::string url = submit->GetURL(); !url.empty()) dict.Add("F", Literal(url));
            }
            break;
        default: break;
    }
}

// The entries of the action's own dictionary that the writer did not write:
// /Next, the fields of a reset or hide action, a named action's /N. Only
// within one document, where the references they hold mean the same objects.
void CopyStoredEntries(const TqzPDAction& action, TqzPDDictionary& dict, const TqzPDDocument& document) {
    const TqzPDDictionary* stored = action.GetDict();
    if (stored == nullptr || action.GetDocument() != &document) return;
    for (int32_t i = 0; i < stored->GetLength(); ++i) {
        const std::string key = stored->GetKey(i);
        const TqzPDBaseObject* value = stored->GetValueRefObj(i);
        if (value == nullptr || key == "Type" || dict.GetDict()->Find(key) >= 0) continue;
        dict.Add(key, core::CopyByKind(*value, dict.GetParentDoc()));
    }
}

}  // namespace

std::unique_ptr<TqzPDDictionary> CreateActionDict(TqzPDAction& action, TqzPDDocument& document,
                                                  TqzActionDictVariant variant) {
    auto dict = std::make_unique<TqzPDDictionary>(document.GetBaseDoc());
    dict->Add("Type", Name("Action"));
    const std::string_view kind = ActionTypeName(action.GetType());
    if (!kind.empty()) dict->Add("S", Name(kind));
    WriteKind(action, *dict, variant);
    CopyStoredEntries(action, *dict, document);
    return dict;
}

void AddIndirectActionDict(TqzPDAction& action, TqzPDDocument& document, TqzPDDictionary& target) {
    TqzPDBaseDoc* baseDoc = document.GetBaseDoc();
    if (baseDoc == nullptr) throw core::ExBadRootObj();
    const TqzPDBaseObject* added =
        baseDoc->AddNewObject(CreateActionDict(action, document, TqzActionDictVariant::OutlineItem));
    PutEntry(target, "A", std::make_unique<core::TqzPDIndirectRef>(added->GetObjNumber(), added->GetGenNumber()));
}

}  // namespace qz::document
