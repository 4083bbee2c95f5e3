#include "document/PDCatalog.h"

#include <array>
#include <string_view>

#include "core/PDArray.h"
#include "core/PDBaseExceptions.h"
#include "core/PDDictionary.h"
#include "core/PDIndirectRef.h"
#include "core/PDInteger.h"
#include "core/PDName.h"
#include "core/PDStream.h"
#include "core/PDString.h"
#include "core/MemoryStream.h"
#include "document/PDAction.h"
#include "document/DictEntries.h"
#include "document/PDBaseDoc.h"
#include "document/PDBookmark.h"
#include "document/PDDestination.h"
#include "document/PDDocument.h"
#include "document/PDModelException.h"
#include "document/PDPageTree.h"
#include "document/PDViewerPref.h"
#include "document/PDXFADocument.h"
#include "platform/Exception.h"

namespace qz::document {

namespace {

constexpr std::array<std::string_view, 7> kLayoutNames = {
    "", "SinglePage", "OneColumn", "TwoColumnLeft", "TwoColumnRight", "TwoPageLeft", "TwoPageRight"};
constexpr std::array<std::string_view, 7> kModeNames = {
    "", "UseNone", "UseThumbs", "UseOutlines", "FullScreen", "UseOC", "UseAttachments"};
// The message of a document action other than the open action that is not a
// script.
constexpr const char* kJavaScriptRequired = "Java Script Action required";
constexpr std::array<std::string_view, 6> kTriggerKeys = {"WC", "WS", "DS", "WP", "DP", ""};

core::TqzPDDictionary* AsDict(core::TqzPDBaseObject* object) {
    return object != nullptr && object->IsDict() ? static_cast<core::TqzPDDictionary*>(object) : nullptr;
}

// The index of the name `value` in `names` (the empty first entry excluded);
// 0 when it is not there.
template <size_t N>
size_t FindName(const core::TqzPDBaseObject* value, const std::array<std::string_view, N>& names) {
    if (value == nullptr || !value->IsName()) return 0;
    return NameIndex(names, static_cast<const core::TqzPDName*>(value)->GetValue());
}

std::unique_ptr<core::TqzPDIndirectRef> Reference(const core::TqzPDBaseObject& object) {
    return std::make_unique<core::TqzPDIndirectRef>(object.GetObjNumber(), object.GetGenNumber());
}

void PutName(core::TqzPDDictionary& dict, std::string_view key, std::string_view name) {
    auto value = std::make_unique<core::TqzPDName>("");
    value->SetName(name);
    PutEntry(dict, key, std::move(value));
}

}  // namespace

TqzPDCatalog::TqzPDCatalog(TqzPDDocument* document, core::TqzPDElement* parentElement,
                           core::TqzPDBaseObject* baseObject)
    : core::TqzPDElement(document != nullptr ? document->GetBaseDoc() : nullptr, parentElement, baseObject),
      FDocument(document) {}

TqzPDCatalog::~TqzPDCatalog() {
    FViewerPref.reset();
    FPageTree.reset();
    FBookmarkRoot.reset();
    FPDXFADoc.reset();
}

core::TqzPDDictionary* TqzPDCatalog::GetDict() const { return AsDict(FBaseObject); }

void TqzPDCatalog::Update() {
    if (FPageTree != nullptr) FPageTree->Update();
    if (FViewerPref != nullptr) FViewerPref->Update();
    if (FPDXFADoc != nullptr) FPDXFADoc->Update();
}

TqzPDPageTree* TqzPDCatalog::GetPageTree() {
    if (FPageTree == nullptr) {
        core::TqzPDDictionary* dict = GetDict();
        core::TqzPDDictionary* pages = dict != nullptr ? AsDict(dict->LookUp("Pages")) : nullptr;
        if (pages == nullptr) throw core::ExNoPageTreeObj();
        FPageTree = std::make_unique<TqzPDPageTree>(FDocument, this, pages);
    }
    return FPageTree.get();
}

void TqzPDCatalog::ReadPageTree() {
    core::TqzPDDictionary* dict = GetDict();
    if (FPageTree == nullptr && (dict == nullptr || AsDict(dict->LookUp("Pages")) == nullptr)) return;
    GetPageTree()->RequestPages(1, 0);
}

TqzPDPage* TqzPDCatalog::GetPage(int32_t pageNumber) { return GetPageTree()->GetPage(pageNumber); }

TqzPDViewerPref* TqzPDCatalog::GetViewerPref() {
    if (FViewerPref == nullptr) {
        core::TqzPDDictionary* dict = GetDict();
        core::TqzPDDictionary* prefs = dict != nullptr ? AsDict(dict->LookUp("ViewerPreferences")) : nullptr;
        if (prefs == nullptr && dict != nullptr) {
            // The preferences always get a dictionary to write into; an entry
            // of another kind is replaced by it.
            auto added = std::make_unique<core::TqzPDDictionary>(FDocument->GetBaseDoc());
            prefs = added.get();
            if (dict->LookupRefObj("ViewerPreferences") == nullptr) {
                dict->Add("ViewerPreferences", std::move(added));
            } else {
                dict->SetKeyValue("ViewerPreferences", std::move(added));
            }
        }
        FViewerPref = std::make_unique<TqzPDViewerPref>(FDocument, this, prefs);
    }
    return FViewerPref.get();
}

TqzPDLayoutMode TqzPDCatalog::GetPageLayout() {
    if (FPageLayout == TqzPDLayoutMode::lmNone) {
        if (core::TqzPDDictionary* dict = GetDict()) {
            FPageLayout = static_cast<TqzPDLayoutMode>(FindName(dict->LookUp("PageLayout"), kLayoutNames));
        }
    }
    return FPageLayout;
}

void TqzPDCatalog::SetPageLayout(TqzPDLayoutMode value) {
    core::TqzPDDictionary* dict = GetDict();
    if (dict == nullptr) return;
    FPageLayout = value;
    PutName(*dict, "PageLayout", kLayoutNames[static_cast<size_t>(value)]);
}

TqzPDPageMode TqzPDCatalog::GetPageMode() {
    if (FPageMode == TqzPDPageMode::pmNone) {
        if (core::TqzPDDictionary* dict = GetDict()) {
            FPageMode = static_cast<TqzPDPageMode>(FindName(dict->LookUp("PageMode"), kModeNames));
        }
    }
    return FPageMode;
}

void TqzPDCatalog::SetPageMode(TqzPDPageMode value) {
    core::TqzPDDictionary* dict = GetDict();
    if (dict == nullptr) return;
    FPageMode = value;
    PutName(*dict, "PageMode", kModeNames[static_cast<size_t>(value)]);
}

void TqzPDCatalog::AddAction(TqzPDAction& action, TqzDocActionTrigger triggerType) {
    if (triggerType == TqzDocActionTrigger::atBeforeDocOpen) {
        if (core::TqzPDDictionary* dict = GetDict()) dict->SetKeyValue("OpenAction", CreateActionDict(action));
        return;
    }
    auto* script = dynamic_cast<TqzPDJavaScriptAction*>(&action);
    if (script == nullptr || action.GetType() != TqzPDActionType::actionJavaScript) {
        throw platform::Exception(kJavaScriptRequired);
    }
    core::TqzPDDictionary* dict = GetDict();
    if (dict == nullptr) return;
    auto entry = std::make_unique<core::TqzPDDictionary>(FDocument->GetBaseDoc());
    entry->Add("S", std::make_unique<core::TqzPDName>("JavaScript"));
    entry->Add("JS", std::make_unique<core::TqzPDString>(script->GetJavaScript(), false));
    const std::string_view key = kTriggerKeys[static_cast<size_t>(triggerType)];
    if (core::TqzPDDictionary* actions = AsDict(dict->LookUp("AA"))) {
        actions->SetKeyValue(key, std::move(entry));
        return;
    }
    auto actions = std::make_unique<core::TqzPDDictionary>(FDocument->GetBaseDoc());
    actions->Add(key, std::move(entry));
    dict->SetKeyValue("AA", std::move(actions));
}

std::unique_ptr<core::TqzPDDictionary> TqzPDCatalog::CreateActionDict(TqzPDAction& action) {
    return document::CreateActionDict(action, *FDocument);
}

std::unique_ptr<core::TqzPDArray> TqzPDCatalog::CreateDestArray(TqzPDDestination& destination) {
    return document::CreateDestArray(destination, TqzDestYAxis::AsStored);
}

void TqzPDCatalog::RemoveAction(TqzDocActionTrigger triggerType) {
    core::TqzPDDictionary* dict = GetDict();
    if (dict == nullptr || triggerType == TqzDocActionTrigger::atBeforeDocOpen) return;
    core::TqzPDDictionary* actions = AsDict(dict->LookUp("AA"));
    if (actions == nullptr) return;
    const std::string_view key = kTriggerKeys[static_cast<size_t>(triggerType)];
    if (actions->LookupRefObj(key) != nullptr) actions->Remove(key);
}

void TqzPDCatalog::RemovePerms() {
    core::TqzPDDictionary* dict = GetDict();
    if (dict != nullptr && dict->LookupRefObj("Perms") != nullptr) dict->Remove("Perms");
}

core::TqzPDDictionary* TqzPDCatalog::GetAcroFormFieldDict() {
    // Looked up again while absent: a merge may add the form later.
    if (FAcroFormFields == nullptr) {
        core::TqzPDDictionary* dict = GetDict();
        FAcroFormFields = dict != nullptr ? AsDict(dict->LookUp("AcroForm")) : nullptr;
    }
    return FAcroFormFields;
}

void TqzPDCatalog::RemoveXFA() {
    // Looked up afresh: the form may have been added since the first look.
    core::TqzPDDictionary* dict = GetDict();
    core::TqzPDDictionary* form = dict != nullptr ? AsDict(dict->LookUp("AcroForm")) : nullptr;
    if (form != nullptr && form->LookupRefObj("XFA") != nullptr) form->Remove("XFA");
}

std::shared_ptr<platform::MemoryStream> TqzPDCatalog::GetMetadata() {
    if (FMetadata != nullptr) return FMetadata;
    core::TqzPDDictionary* dict = GetDict();
    core::TqzPDBaseObject* metadata = dict != nullptr ? dict->LookUp("Metadata") : nullptr;
    // Metadata of another kind than a stream is not metadata.
    if (metadata == nullptr || !metadata->IsStream()) return nullptr;
    auto* stream = static_cast<core::TqzPDStream*>(metadata);
    auto copy = std::make_shared<platform::MemoryStream>();
    if (stream->GetStream() != nullptr) {
        stream->Reset();
        core::TqzMemoryStream out;
        out.CopyAll(*stream->GetStream());
        copy->WriteString(out.Bytes());
    }
    FMetadata = copy;
    return FMetadata;
}

void TqzPDCatalog::SetXMPMetadata(const std::string& metadata) {
    core::TqzPDDictionary* dict = GetDict();
    if (dict == nullptr) return;
    TqzPDBaseDoc* baseDoc = FDocument->GetBaseDoc();
    auto streamDict = std::make_unique<core::TqzPDDictionary>(baseDoc);
    streamDict->Add("Type", std::make_unique<core::TqzPDName>("Metadata"));
    streamDict->Add("Subtype", std::make_unique<core::TqzPDName>("XML"));
    auto length = std::make_unique<core::TqzPDInteger>(0);
    length->SetValue(static_cast<int64_t>(metadata.size()));
    streamDict->Add("Length", std::move(length));
    auto stream = std::make_unique<core::TqzPDStream>(std::make_shared<core::TqzMemoryStream>(metadata),
                                                      std::move(streamDict));
    stream->SetIsChanged(true);
    core::TqzPDBaseObject* added = baseDoc->AddNewObject(std::move(stream));
    dict->SetKeyValue("Metadata", std::make_unique<core::TqzPDIndirectRef>(added->GetObjNumber(), 0));
}

// ---- outline ----

TqzPDBookmark* TqzPDCatalog::GetBookmarkRoot() {
    if (FBookmarkRoot != nullptr) return FBookmarkRoot.get();
    core::TqzPDDictionary* dict = GetDict();
    core::TqzPDDictionary* outlines = dict != nullptr ? IndirectDict(FDocument, *dict, "Outlines") : nullptr;
    if (outlines == nullptr) {
        // An /Outlines of another kind holds no outline: it is replaced.
        TqzPDBaseDoc* baseDoc = FDocument->GetBaseDoc();
        outlines = static_cast<core::TqzPDDictionary*>(
            baseDoc->AddNewObject(std::make_unique<core::TqzPDDictionary>(baseDoc)));
        if (dict != nullptr) dict->SetKeyValue("Outlines", Reference(*outlines));
    }
    FBookmarkRoot = std::make_unique<TqzPDBookmark>(FDocument, nullptr, outlines);
    return FBookmarkRoot.get();
}

TqzPDBookmark* TqzPDCatalog::InsertNewBookmark(const std::string& title, TqzPDDestination* destination,
                                               const TqzPDOutlineFlag& outlineFlag, TqzPDAction* action) {
    core::TqzPDDictionary* dict = GetDict();
    if (dict == nullptr) return FBookmarkRoot.get();
    if (AsDict(dict->LookUp("Outlines")) != nullptr) return GetBookmarkRoot();
    TqzPDBaseDoc* baseDoc = FDocument->GetBaseDoc();
    auto* item = static_cast<core::TqzPDDictionary*>(
        baseDoc->AddNewObject(std::make_unique<core::TqzPDDictionary>(baseDoc)));
    item->Add("Title", MakeTextString(title));
    item->Add("F", std::make_unique<core::TqzPDInteger>((outlineFlag.Bold ? 2 : 0) + (outlineFlag.Italic ? 1 : 0)));
    WriteOutlineTarget(*item, destination, action);
    auto* outlines = static_cast<core::TqzPDDictionary*>(
        baseDoc->AddNewObject(std::make_unique<core::TqzPDDictionary>(baseDoc)));
    outlines->Add("First", Reference(*item));
    outlines->Add("Last", Reference(*item));
    outlines->Add("Count", std::make_unique<core::TqzPDInteger>(1));
    // Every outline item names its parent; readers that walk up need it.
    item->Add("Parent", Reference(*outlines));
    dict->SetKeyValue("Outlines", Reference(*outlines));
    FBookmarkRoot = std::make_unique<TqzPDBookmark>(FDocument, this, item);
    return FBookmarkRoot.get();
}

void TqzPDCatalog::WriteOutlineTarget(core::TqzPDDictionary& item, TqzPDDestination* destination,
                                      TqzPDAction* action) {
    if (destination != nullptr) {
        if (destination->GetDisplayOption() != TqzPageDisplayOptions::None) {
            item.Add("Dest", CreateDestArray(*destination));
        }
    } else if (action != nullptr) {
        item.Add("A", CreateActionDict(*action));
    }
}

core::TqzPDElement* TqzPDCatalog::GetAcroFormField(core::TqzPDBaseObject* /*formFieldObj*/) {
    throw ExNotSupportedYet("Form fields");
}

TqzPDXFADocument* TqzPDCatalog::GetPDXFADoc() {
    if (FPDXFADoc != nullptr) return FPDXFADoc.get();
    core::TqzPDDictionary* form = GetAcroFormFieldDict();
    if (form == nullptr) return nullptr;
    const core::TqzPDBaseObject* xfa = form->LookUp("XFA");
    if (xfa == nullptr || !xfa->IsArray()) return nullptr;
    throw ExNotSupportedYet("XFA forms");
}

}  // namespace qz::document
