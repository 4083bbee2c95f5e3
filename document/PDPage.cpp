#include "document/PDPage.h"

#include <cmath>
#include <unordered_set>

#include "core/Conversions.h"
#include "core/MemoryStream.h"
#include "core/PDArray.h"
#include "core/PDDictionary.h"
#include "core/PDIndirectRef.h"
#include "core/PDInteger.h"
#include "core/PDName.h"
#include "core/PDReal.h"
#include "core/PDStream.h"
#include "core/ParentDocument.h"
#include "document/CatalogMerge.h"
#include "document/ContentFactories.h"
#include "document/ObjectCopy.h"
#include "document/PDAction.h"
#include "document/PDBaseDoc.h"
#include "document/PDCatalog.h"
#include "document/PDDocument.h"
#include "document/PDModelException.h"
#include "document/PDPageTree.h"
#include "document/PDResource.h"

namespace qz::document {

using core::TqzPDArray;
using core::TqzPDBaseObject;
using core::TqzPDDictionary;

namespace {

// The size given to a page that has no box anywhere (US Letter, as the page
// size getter reports for such a page).
constexpr double kDefaultPageWidth = 612.0;
constexpr double kDefaultPageHeight = 792.0;

std::unique_ptr<TqzPDArray> RealArray(core::TqzParentDocument* doc, double left, double top, double right,
                                      double bottom) {
    auto array = std::make_unique<TqzPDArray>(doc);
    for (double value : {left, top, right, bottom}) array->Add(std::make_unique<core::TqzPDReal>(value));
    return array;
}

// Answers nothing: the resolver for copying an object that has no document.
class NoDocument final : public core::TqzParentDocument {
public:
    TqzPDBaseObject* GetObject(uint32_t) override { return nullptr; }
    bool IsObjectWritten(uint32_t) override { return false; }
    bool GetIsEncrypted() override { return false; }
    bool HasUserEncryptionSettings() override { return false; }
    bool IsUserEncryptionEnabled() override { return false; }
    TqzPDDictionary* GetDocInfo() override { return nullptr; }
    std::string EncryptForOutput(const std::string& bytes, uint32_t, uint32_t) override { return bytes; }
};

core::TqzParentDocument* DocumentOf(const TqzPDBaseObject& object) {
    if (object.IsDict()) return static_cast<const TqzPDDictionary&>(object).GetParentDoc();
    if (object.IsArray()) return static_cast<const TqzPDArray&>(object).GetParentDoc();
    if (object.IsStream()) return static_cast<const core::TqzPDStream&>(object).GetParentDoc();
    return nullptr;
}

}  // namespace

TqzPDPage::TqzPDPage(TqzPDDocument* document, core::TqzPDElement* parentElement, TqzPDBaseObject* pageDict)
    : core::TqzPDElement(document ? document->GetBaseDoc() : nullptr, parentElement, pageDict),
      FDocument(document) {}

TqzPDPage::~TqzPDPage() { FreeResources(); }

void TqzPDPage::FreeResources() {
    ForgetAction(TqzPageActionTrigger::atBeforePageOpen);
    ForgetAction(TqzPageActionTrigger::atAfterPageClose);
    FAnnotObjects.clear();
    FHasAnnots = false;
    FMediaBox.reset();
    FCropBox.reset();
    FBleedBox.reset();
    FTrimBox.reset();
    FResource.reset();
    FInheritedProp.reset();
}

TqzPDDictionary* TqzPDPage::GetDict() const {
    return FBaseObject && FBaseObject->IsDict() ? static_cast<TqzPDDictionary*>(FBaseObject) : nullptr;
}

void TqzPDPage::SetInheritedProperty(std::shared_ptr<TqzPDInheritedProperty> property) {
    FInheritedProp = std::move(property);
}

TqzPDBaseObject* TqzPDPage::InheritedStored(TqzInheritedKey key) {
    TqzPDDictionary* dict = GetDict();
    if (!dict) return nullptr;
    if (FInheritedProp) return FInheritedProp->GetValue(key).Stored;
    // A page made outside the tree reading: its /Parent chain, each node
    // entered once, so a loop ends.
    const std::string_view name = InheritedKeyName(key);
    std::unordered_set<const TqzPDBaseObject*> seen;
    for (TqzPDDictionary* node = dict; node && seen.insert(node).second;) {
        if (TqzPDBaseObject* stored = node->LookupRefObj(name)) {
            if (node->LookUp(name)) return stored;
        }
        TqzPDBaseObject* parent = node->LookUp("Parent");
        node = parent && parent->IsDict() ? static_cast<TqzPDDictionary*>(parent) : nullptr;
    }
    return nullptr;
}

// ---- boxes and rotation ----

core::TqzPDRect* TqzPDPage::OwnOrInheritedBox(const char* key, std::unique_ptr<core::TqzPDRect>& own, bool& inherited,
                                              bool media) {
    if (own) return own.get();
    TqzPDDictionary* dict = GetDict();
    if (!dict) return nullptr;
    if (dict->LookupRefObj(key)) {
        TqzPDBaseObject* value = dict->LookUp(key);
        if (value) {
            if (!value->IsArray()) throw ExBadPage();
            own = std::make_unique<core::TqzPDRect>(static_cast<TqzPDArray*>(value));
            inherited = false;
            return own.get();
        }
    }
    inherited = true;
    if (FInheritedProp) return media ? FInheritedProp->GetMediaBox() : FInheritedProp->GetCropBox();
    TqzPDBaseObject* stored = InheritedStored(media ? TqzInheritedKey::MediaBox : TqzInheritedKey::CropBox);
    if (!stored) return nullptr;
    TqzPDBaseObject* value = stored->IsIndirectRef() ? dict->GetParentDoc()->GetObject(stored->GetObjNumber()) : stored;
    if (!value || !value->IsArray()) return nullptr;
    // Kept as the own box would be: the value has no property to live in.
    own = std::make_unique<core::TqzPDRect>(core::TqzPDRect(static_cast<TqzPDArray*>(value)).Clone());
    return own.get();
}

core::TqzPDRect* TqzPDPage::GetMediaBox() {
    return OwnOrInheritedBox("MediaBox", FMediaBox, FIsInheritedMediaBox, true);
}

core::TqzPDRect* TqzPDPage::GetCropBox() { return OwnOrInheritedBox("CropBox", FCropBox, FIsInheritedCropBox, false); }

core::TqzPDRect* TqzPDPage::OwnBoxOrEmpty(const char* key, std::unique_ptr<core::TqzPDRect>& own) {
    if (own) return own.get();
    TqzPDDictionary* dict = GetDict();
    TqzPDBaseObject* value = dict ? dict->LookUp(key) : nullptr;
    if (value) {
        if (!value->IsArray()) throw ExBadPage();
        own = std::make_unique<core::TqzPDRect>(static_cast<TqzPDArray*>(value));
    } else {
        own = std::make_unique<core::TqzPDRect>();
    }
    return own.get();
}

core::TqzPDRect* TqzPDPage::GetBleedBox() { return OwnBoxOrEmpty("BleedBox", FBleedBox); }
core::TqzPDRect* TqzPDPage::GetTrimBox() { return OwnBoxOrEmpty("TrimBox", FTrimBox); }

void TqzPDPage::SetBox(const char* key, std::unique_ptr<core::TqzPDRect>& own, bool& inherited, double left,
                       double top, double right, double bottom) {
    // Always a new array of reals: the stored one may be shared with other
    // pages (an indirect box), and its integer entries would round the values.
    TqzPDDictionary* dict = GetDict();
    if (!dict) return;
    auto array = RealArray(dict->GetParentDoc(), left, top, right, bottom);
    TqzPDArray* entered = array.get();
    dict->SetKeyValue(key, std::move(array));
    // The rectangle object stays the same for whoever holds it.
    if (own) {
        *own = core::TqzPDRect(entered);
    } else {
        own = std::make_unique<core::TqzPDRect>(entered);
    }
    inherited = false;
}

void TqzPDPage::SetMediaBox(double left, double top, double right, double bottom) {
    SetBox("MediaBox", FMediaBox, FIsInheritedMediaBox, left, top, right, bottom);
}

void TqzPDPage::SetCropBox(double left, double top, double right, double bottom) {
    SetBox("CropBox", FCropBox, FIsInheritedCropBox, left, top, right, bottom);
}

int32_t TqzPDPage::GetRotate() {
    TqzPDDictionary* dict = GetDict();
    if (!dict) return 0;
    int64_t rotate = 0;
    if (dict->LookupRefObj("Rotate")) {
        const TqzPDBaseObject* own = dict->LookUp("Rotate");
        if (own && own->IsInteger()) rotate = static_cast<const core::TqzPDInteger*>(own)->GetValue();
    } else if (TqzPDBaseObject* stored = InheritedStored(TqzInheritedKey::Rotate)) {
        const TqzPDBaseObject* value =
            stored->IsIndirectRef() ? dict->GetParentDoc()->GetObject(stored->GetObjNumber()) : stored;
        if (value && value->IsInteger()) rotate = static_cast<const core::TqzPDInteger*>(value)->GetValue();
    }
    return core::AngleToPositiveAngle360(static_cast<int32_t>(rotate % 360));
}

void TqzPDPage::SetRotate(int32_t value) {
    TqzPDDictionary* dict = GetDict();
    if (!dict) return;
    // A new integer: an existing one may be an object other pages share.
    dict->SetKeyValue("Rotate", std::make_unique<core::TqzPDInteger>(value % 360));
}

TqzPageSize TqzPDPage::GetPageSize() {
    const core::TqzPDRect* box = GetCropBox();
    if (!box) box = GetMediaBox();
    if (!box) return {kDefaultPageWidth, kDefaultPageHeight};
    return {std::fabs(box->GetRight() - box->GetLeft()), std::fabs(box->GetBottom() - box->GetTop())};
}

// ---- resources ----

TqzPDResource* TqzPDPage::GetResource() {
    if (FResource) return FResource.get();
    TqzPDDictionary* dict = GetDict();
    if (!dict) return nullptr;
    TqzPDBaseObject* own = dict->LookUp("Resources");
    if (own && own->IsDict()) {
        FResource = std::make_unique<TqzPDResource>(FDocument, this, own);
        return FResource.get();
    }
    if (FInheritedProp) return FInheritedProp->GetResource();
    return nullptr;
}

void TqzPDPage::AddResource(TqzPDResourceType resType, const std::string& resName, TqzPDBaseObject* resObject) {
    TqzPDDictionary* dict = GetDict();
    if (!dict || !resObject || !FDocument || !FDocument->GetBaseDoc()) return;
    switch (resType) {
        case TqzPDResourceType::resExtGState:
        case TqzPDResourceType::resColorSpace:
        case TqzPDResourceType::resXObject:
        case TqzPDResourceType::resFont: break;
        default: throw core::ExUnsupportedFeature("AddResource: no resource category for this type");
    }
    TqzPDBaseDoc& baseDoc = *FDocument->GetBaseDoc();
    TqzPDResource* resource = GetResource();
    if (!resource) {
        auto* entered = static_cast<TqzPDDictionary*>(baseDoc.AddNewObject(std::make_unique<TqzPDDictionary>(&baseDoc)));
        FResource = std::make_unique<TqzPDResource>(FDocument, this, entered);
        dict->SetKeyValue("Resources", std::make_unique<core::TqzPDIndirectRef>(entered->GetObjNumber(), 0));
        resource = FResource.get();
    }
    TqzPDDictionary* resources = resource->GetDict();
    if (!resources) return;
    const std::string_view key = ResourceCategoryKey(resType);
    TqzPDBaseObject* category = resources->LookUp(key);
    if (!category || !category->IsDict()) {
        auto made = std::make_unique<TqzPDDictionary>(&baseDoc);
        category = made.get();
        resources->SetKeyValue(key, std::move(made));
    }
    switch (resType) {
        case TqzPDResourceType::resExtGState:
            resource->LookUpGState(resName);
            resource->AddExtGState(MakeGState(*FDocument, resName, resObject, resource));
            break;
        case TqzPDResourceType::resColorSpace:
            resource->LookUpColorSpace(resName);
            resource->AddColorSpace(MakeColorSpace(resObject, resName));
            break;
        case TqzPDResourceType::resXObject:
            resource->LookUpXObject(resName);
            resource->AddXObject(MakeXObject(*FDocument, resource, resName, resObject));
            break;
        default:
            resource->LookUpFont(resName);
            resource->AddFont(MakeFont(*FDocument, resource, resObject, resName));
            break;
    }
    std::unique_ptr<TqzPDBaseObject> entry;
    if (resObject->IsDirect()) {
        entry = core::CopyByKind(*resObject, &baseDoc);
    } else {
        entry = std::make_unique<core::TqzPDIndirectRef>(resObject->GetObjNumber(), resObject->GetGenNumber());
    }
    static_cast<TqzPDDictionary*>(category)->SetKeyValue(resName, std::move(entry));
}

// ---- annotations ----

core::TqzPDElement* TqzPDPage::GetContents() {
    if (FContents) return FContents.get();
    TqzPDDictionary* dict = GetDict();
    TqzPDBaseObject* contents = dict != nullptr ? dict->LookUp("Contents") : nullptr;
    const auto& maker = ContentFactories().Contents;
    if (contents == nullptr || contents->IsNull() || !maker || FDocument == nullptr) return nullptr;
    FContents = maker(*FDocument, *this, contents);
    return FContents.get();
}

const std::vector<TqzPDBaseObject*>* TqzPDPage::GetAnnotObjects() {
    if (FHasAnnots) return &FAnnotObjects;
    TqzPDDictionary* dict = GetDict();
    if (!dict || !dict->LookupRefObj("Annots")) return nullptr;
    FHasAnnots = true;
    const TqzPDBaseObject* annots = dict->LookUp("Annots");
    if (!annots || !annots->IsArray()) return &FAnnotObjects;
    const auto& array = static_cast<const TqzPDArray&>(*annots);
    std::unordered_set<uint32_t> seen;
    for (int32_t i = 0; i < array.GetLength(); ++i) {
        const TqzPDBaseObject* stored = array.GetRefObj(i);
        TqzPDBaseObject* annot = array.Get(i);
        if (!annot || !annot->IsDict()) continue;
        // The same indirect annotation listed twice counts once; direct
        // annotations have no number to compare and are all kept.
        if (stored->IsIndirectRef() && !seen.insert(stored->GetObjNumber()).second) continue;
        FAnnotObjects.push_back(annot);
    }
    return &FAnnotObjects;
}

// ---- page-level entries ----

double TqzPDPage::GetDuration() {
    TqzPDDictionary* dict = GetDict();
    const TqzPDBaseObject* value = dict ? dict->LookUp("Dur") : nullptr;
    if (!value) return 0;
    if (value->IsInteger()) return static_cast<double>(static_cast<const core::TqzPDInteger*>(value)->GetValue());
    if (value->IsReal()) return static_cast<const core::TqzPDReal*>(value)->GetValue();
    throw ExBadPage();
}

std::unique_ptr<TqzPDDictionary> TqzPDPage::GetTransitionDict(TqzPDTransitionEffect effect, double duration) {
    auto dict = std::make_unique<TqzPDDictionary>(FDocument ? FDocument->GetBaseDoc() : nullptr);
    const auto name = [&dict](const char* key, const char* value) {
        dict->Add(key, std::make_unique<core::TqzPDName>(value));
    };
    const auto integer = [&dict](const char* key, int32_t value) {
        dict->Add(key, std::make_unique<core::TqzPDInteger>(value));
    };
    name("Type", "Trans");
    dict->Add("D", std::make_unique<core::TqzPDReal>(duration));
    using E = TqzPDTransitionEffect;
    switch (effect) {
        case E::teNone: name("S", "R"); break;
        case E::teSplitHorizontalInward: name("S", "Split"); name("Dm", "H"); name("M", "I"); break;
        case E::teSplitHorizontalOutward: name("S", "Split"); name("Dm", "H"); name("M", "O"); break;
        case E::teSplitVerticalInward: name("S", "Split"); name("Dm", "V"); name("M", "I"); break;
        case E::teSplitVerticalOutward: name("S", "Split"); name("Dm", "V"); name("M", "O"); break;
        case E::teBlindsHorizontal: name("S", "Blinds"); name("Dm", "H"); break;
        case E::teBlindsVertical: name("S", "Blinds"); name("Dm", "V"); break;
        case E::teBoxInward: name("S", "Box"); name("M", "I"); break;
        case E::teBoxOutward: name("S", "Box"); name("M", "O"); break;
        case E::teWipeLeftToRight: name("S", "Wipe"); integer("Di", 0); break;
        case E::teWipeBottomToTop: name("S", "Wipe"); integer("Di", 90); break;
        case E::teWipeRightToLeft: name("S", "Wipe"); integer("Di", 180); break;
        case E::teWipeTopToBottom: name("S", "Wipe"); integer("Di", 270); break;
        case E::teDissolve: name("S", "Dissolve"); break;
        case E::teGlitterLeftToRight: name("S", "Glitter"); integer("Di", 0); break;
        case E::teGlitterTopToBottom: name("S", "Glitter"); integer("Di", 270); break;
        case E::teGlitterTopLeftToBottomRight: name("S", "Glitter"); integer("Di", 315); break;
    }
    return dict;
}

void TqzPDPage::SetPageTransitionEffect(TqzPDTransitionEffect effect, float duration) {
    TqzPDDictionary* dict = GetDict();
    if (!dict) return;
    // Replaced, so that a second call leaves one entry of each.
    dict->SetKeyValue("Dur", std::make_unique<core::TqzPDReal>(duration));
    dict->SetKeyValue("Trans", GetTransitionDict(effect, duration));
}

namespace {

const char* TriggerKey(TqzPageActionTrigger trigger) {
    return trigger == TqzPageActionTrigger::atBeforePageOpen ? "O" : "C";
}

}  // namespace

TqzPDAction* TqzPDPage::GetAction(TqzPageActionTrigger trigger) {
    const auto index = static_cast<size_t>(trigger);
    if (!FAdditionalActionRead[index]) {
        FAdditionalActionRead[index] = true;
        const TqzPDDictionary* dict = GetDict();
        TqzPDBaseObject* actions = dict ? dict->LookUp("AA") : nullptr;
        if (actions && actions->IsDict()) {
            FAdditionalAction[index] = TqzPDAction::MakeAction(
                FDocument, this, static_cast<TqzPDDictionary*>(actions)->LookUp(TriggerKey(trigger)));
        }
    }
    return FAdditionalAction[index].get();
}

std::vector<TqzPDAction*> TqzPDPage::GetActions() {
    std::vector<TqzPDAction*> actions;
    for (TqzPageActionTrigger trigger : {TqzPageActionTrigger::atBeforePageOpen, TqzPageActionTrigger::atAfterPageClose}) {
        if (TqzPDAction* action = GetAction(trigger)) actions.push_back(action);
    }
    return actions;
}

std::unique_ptr<TqzPDDictionary> TqzPDPage::CreateActionDict(TqzPDAction& action) {
    if (!FDocument) throw core::ExBadRootObj();
    return document::CreateActionDict(action, *FDocument);
}

void TqzPDPage::ForgetAction(TqzPageActionTrigger trigger) {
    // The action read before wraps the entry about to be replaced or freed.
    const auto index = static_cast<size_t>(trigger);
    FAdditionalAction[index].reset();
    FAdditionalActionRead[index] = false;
}

void TqzPDPage::AddAction(TqzPDAction& action, TqzPageActionTrigger trigger) {
    TqzPDDictionary* dict = GetDict();
    if (!dict) return;
    std::unique_ptr<TqzPDDictionary> entry = CreateActionDict(action);
    ForgetAction(trigger);
    TqzPDBaseObject* actions = dict->LookUp("AA");
    if (actions && actions->IsDict()) {
        static_cast<TqzPDDictionary*>(actions)->SetKeyValue(TriggerKey(trigger), std::move(entry));
        return;
    }
    auto added = std::make_unique<TqzPDDictionary>(dict->GetParentDoc());
    added->Add(TriggerKey(trigger), std::move(entry));
    dict->SetKeyValue("AA", std::move(added));
}

void TqzPDPage::RemoveAction(TqzPageActionTrigger trigger) {
    TqzPDDictionary* dict = GetDict();
    TqzPDBaseObject* actions = dict ? dict->LookUp("AA") : nullptr;
    if (!actions || !actions->IsDict()) return;
    ForgetAction(trigger);
    static_cast<TqzPDDictionary*>(actions)->Remove(TriggerKey(trigger));
}

void TqzPDPage::AddThumbnail(const std::string& imageData, double imageWidth, double imageHeight) {
    TqzPDDictionary* dict = GetDict();
    if (!dict || !FDocument || !FDocument->GetBaseDoc()) return;
    TqzPDBaseDoc& baseDoc = *FDocument->GetBaseDoc();
    auto streamDict = std::make_unique<TqzPDDictionary>(&baseDoc);
    streamDict->Add("Length", std::make_unique<core::TqzPDInteger>(static_cast<int32_t>(imageData.size())));
    streamDict->Add("Type", std::make_unique<core::TqzPDName>("XObject"));
    streamDict->Add("Subtype", std::make_unique<core::TqzPDName>("Image"));
    streamDict->Add("Width", std::make_unique<core::TqzPDReal>(imageWidth));
    streamDict->Add("Height", std::make_unique<core::TqzPDReal>(imageHeight));
    streamDict->Add("BitsPerComponent", std::make_unique<core::TqzPDInteger>(8));
    streamDict->Add("ColorSpace", std::make_unique<core::TqzPDName>("DeviceRGB"));
    auto data = std::make_shared<core::TqzMemoryStream>(imageData);
    TqzPDBaseObject* entered =
        baseDoc.AddNewObject(std::make_unique<core::TqzPDStream>(std::move(data), std::move(streamDict)));
    entered->SetIsChanged(true);
    dict->SetKeyValue("Thumb", std::make_unique<core::TqzPDIndirectRef>(entered->GetObjNumber(), 0));
}

// ---- write-back ----

void TqzPDPage::Update() {
    TqzPDDictionary* dict = GetDict();
    if (!dict) return;
    dict->SetIsChanged(true);
    dict->SetIsWritten(false);
    if (TqzPDResource* resource = GetResource()) resource->Update();
    auto* tree = dynamic_cast<TqzPDPageTree*>(FParentElement);
    const uint32_t root = tree ? tree->GetRootObjectNumber() : 0;
    if (root != 0) dict->SetKeyValue("Parent", std::make_unique<core::TqzPDIndirectRef>(root, 0));
}

// ---- copying ----

void TqzPDPage::Assign(TqzPDPage& page, TqzObjectCopier& copier) {
    TqzPDDictionary* source = page.GetDict();
    TqzPDDictionary* dict = GetDict();
    if (!source || !dict) return;
    // The source's boxes are read first: a box that is not an array refuses
    // the page before anything is copied.
    const core::TqzPDRect* media = page.GetMediaBox();
    const core::TqzPDRect* crop = page.GetCropBox();
    const double box[4] = {media ? media->GetLeft() : 0, media ? media->GetTop() : 0,
                           media ? media->GetRight() : kDefaultPageWidth,
                           media ? media->GetBottom() : kDefaultPageHeight};
    copier.CopyEntries(*source, *dict, true);
    core::TqzParentDocument* doc = dict->GetParentDoc();
    if (!dict->LookupRefObj("MediaBox")) dict->Add("MediaBox", RealArray(doc, box[0], box[1], box[2], box[3]));
    if (!dict->LookupRefObj("CropBox")) {
        if (crop) {
            dict->Add("CropBox", RealArray(doc, crop->GetLeft(), crop->GetTop(), crop->GetRight(), crop->GetBottom()));
        } else {
            dict->Add("CropBox", RealArray(doc, box[0], box[1], box[2], box[3]));
        }
    }
    if (!dict->LookupRefObj("Resources")) {
        // The resources in force for the source page, from whichever node
        // gave them: copied once however many pages share them.
        if (TqzPDBaseObject* stored = page.InheritedStored(TqzInheritedKey::Resources)) {
            auto resources = stored->IsIndirectRef() ? copier.Copy(*stored) : copier.DuplicateShared(*stored);
            if (resources) dict->Add("Resources", std::move(resources));
        }
    }
    dict->SetIsChanged(true);
    FMediaBox.reset();
    FCropBox.reset();
    FResource.reset();
    FHasAnnots = false;
    FAnnotObjects.clear();
}

void TqzPDPage::Assign(TqzPDPage& page) {
    TqzPDDocument* source = page.GetDocument();
    if (!FDocument || !FDocument->GetBaseDoc() || !source || !source->GetBaseDoc() || !page.GetDict() || !GetDict()) {
        return;
    }
    TqzDocumentCopyTarget target(*FDocument);
    TqzObjectCopier copier(*source->GetBaseDoc(), target);
    if (!page.GetDict()->IsDirect()) copier.MapObject(page.GetDict()->GetObjNumber(), GetDict()->GetObjNumber());
    if (source->IsLoaded()) MapOtherPages(copier, *source->GetCatalog()->GetPageTree());
    Assign(page, copier);
    JoinFormFields(*FDocument, *source, copier, {GetDict()});
}

std::unique_ptr<TqzPDBaseObject> TqzPDPage::DuplicateObject(TqzPDBaseObject* source) {
    if (!source || !FDocument || !FDocument->GetBaseDoc()) return nullptr;
    // Only the target document is needed: an empty target works as well.
    TqzDocumentCopyTarget target(*FDocument);
    NoDocument none;
    core::TqzParentDocument* sourceDoc = DocumentOf(*source);
    TqzObjectCopier copier(sourceDoc ? *sourceDoc : static_cast<core::TqzParentDocument&>(none), target);
    return copier.Duplicate(*source);
}

}  // namespace qz::document
