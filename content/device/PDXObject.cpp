#include "content/device/PDXObject.h"

#include <algorithm>
#include <cstdint>

#include "content/device/PDImage.h"
#include "core/PDArray.h"
#include "core/PDBoolean.h"
#include "core/PDDictionary.h"
#include "core/PDInteger.h"
#include "core/PDReal.h"
#include "core/PDStream.h"
#include "document/PDBaseDoc.h"
#include "document/PDDocument.h"
#include "document/PDResource.h"

namespace qz::content {

namespace {

core::TqzPDDictionary* DictOf(core::TqzPDBaseObject* object) {
    if (object == nullptr) return nullptr;
    if (object->IsStream()) return static_cast<core::TqzPDStream*>(object)->GetDict();
    if (object->IsDict()) return static_cast<core::TqzPDDictionary*>(object);
    return nullptr;
}

bool BooleanEntry(const core::TqzPDDictionary* dict, std::string_view key) {
    const core::TqzPDBaseObject* value = dict != nullptr ? dict->LookUp(key) : nullptr;
    return value != nullptr && value->IsBoolean() && static_cast<const core::TqzPDBoolean*>(value)->GetValue();
}

// The numbers of an array of at least `count` numbers; false otherwise.
bool Numbers(const core::TqzPDBaseObject* object, double* out, int32_t count) {
    if (object == nullptr || !object->IsArray()) return false;
    const auto& array = static_cast<const core::TqzPDArray&>(*object);
    if (array.GetLength() < count) return false;
    for (int32_t i = 0; i < count; ++i) {
        const core::TqzPDBaseObject* entry = array.Get(i);
        if (entry == nullptr) return false;
        if (entry->IsInteger()) {
            out[i] = static_cast<double>(static_cast<const core::TqzPDInteger*>(entry)->GetValue());
        } else if (entry->IsReal()) {
            out[i] = static_cast<const core::TqzPDReal*>(entry)->GetValue();
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

TqzPDXObject::TqzPDXObject(document::TqzPDDocument* AParentDoc, core::TqzPDElement* AResourceElement,
                           core::TqzPDBaseObject* ABaseObject, std::string ATagName)
    : document::TqzPDXObject(AParentDoc, AResourceElement, ABaseObject, std::move(ATagName)) {}

core::TqzPDDictionary* TqzPDXObject::GetDict() const { return DictOf(FBaseObject); }

TqzPDGroup::TqzPDGroup(document::TqzPDDocument* AParentDoc, core::TqzPDElement* AResourceElement,
                       core::TqzPDBaseObject* ABaseObject)
    : core::TqzPDElement(AParentDoc != nullptr ? AParentDoc->GetBaseDoc() : nullptr, AResourceElement,
                         ABaseObject) {
    const core::TqzPDDictionary* dict = DictOf(ABaseObject);
    FIsIsolatedGroup = BooleanEntry(dict, "I");
    FIsKnockoutGroup = BooleanEntry(dict, "K");
}

TGrouptype TqzPDGroup::GetGroupSubtype() {
    if (FGroupSubtype == TGrouptype::none) {
        const core::TqzPDDictionary* dict = DictOf(FBaseObject);
        const core::TqzPDBaseObject* subtype = dict != nullptr ? dict->LookUp("S") : nullptr;
        if (subtype != nullptr && subtype->IsName("Transparency")) FGroupSubtype = TGrouptype::transparency;
    }
    return FGroupSubtype;
}

TqzPDForm::TqzPDForm(document::TqzPDDocument* AParentDoc, core::TqzPDElement* AResourceElement,
                     core::TqzPDBaseObject* ABaseObject)
    : TqzPDXObject(AParentDoc, AResourceElement, ABaseObject) {
    SetSubType(TqzXObjectType::xtForm);
}

TqzPDForm::~TqzPDForm() = default;

core::TqzPDDictionary* TqzPDForm::StreamDict() const {
    if (FBaseObject == nullptr || !FBaseObject->IsStream()) return nullptr;
    return static_cast<core::TqzPDStream*>(FBaseObject)->GetDict();
}

core::TqzPDRect* TqzPDForm::GetBBox() {
    if (!FBBox) {
        const core::TqzPDDictionary* dict = StreamDict();
        double v[4];
        if (dict != nullptr && Numbers(dict->LookUp("BBox"), v, 4)) {
            FBBox = std::make_unique<core::TqzPDRect>(v[0], v[1], v[2], v[3]);
        }
    }
    return FBBox.get();
}

int32_t TqzPDForm::GetFormType() {
    if (FFormType == -1) {
        const core::TqzPDDictionary* dict = StreamDict();
        const core::TqzPDBaseObject* value = dict != nullptr ? dict->LookUp("FormType") : nullptr;
        if (value != nullptr && value->IsInteger()) {
            const int64_t number = static_cast<const core::TqzPDInteger*>(value)->GetValue();
            // Saturated: the type only ever matters as 1.
            FFormType = static_cast<int32_t>(std::clamp<int64_t>(number, INT32_MIN, INT32_MAX));
        }
    }
    return FFormType;
}

core::TqzPDMatrix* TqzPDForm::GetMatrix() {
    if (!FMatrix) {
        const core::TqzPDDictionary* dict = StreamDict();
        double v[6];
        if (dict != nullptr && Numbers(dict->LookUp("Matrix"), v, 6)) {
            FMatrix = std::make_unique<core::TqzPDMatrix>(v[0], v[1], v[2], v[3], v[4], v[5]);
        }
    }
    return FMatrix.get();
}

document::TqzPDResource* TqzPDForm::GetResources() {
    if (FResources == nullptr) {
        const core::TqzPDDictionary* dict = StreamDict();
        core::TqzPDBaseObject* value = dict != nullptr ? dict->LookUp("Resources") : nullptr;
        if (value != nullptr) {
            FOwnedResources = std::make_unique<document::TqzPDResource>(FDocument, this, value);
            FResources = FOwnedResources.get();
        }
    }
    return FResources;
}

void TqzPDForm::SetResources(document::TqzPDResource* Value) {
    FResources = Value;
    FResourcesInherited = true;
}

TqzPDGroup* TqzPDForm::GetGroup() {
    if (!FGroup) {
        const core::TqzPDDictionary* dict = StreamDict();
        core::TqzPDBaseObject* value = dict != nullptr ? dict->LookUp("Group") : nullptr;
        if (value != nullptr && value->IsDict()) FGroup = std::make_unique<TqzPDGroup>(FDocument, FParentElement, value);
    }
    return FGroup.get();
}

TqzPDPostScript::TqzPDPostScript(document::TqzPDDocument* AParentDoc, core::TqzPDElement* AResourceElement,
                                 core::TqzPDBaseObject* ABaseObject)
    : TqzPDXObject(AParentDoc, AResourceElement, ABaseObject) {
    SetSubType(TqzXObjectType::xtPostScript);
}

std::unique_ptr<TqzPDXObject> MakeXObject(document::TqzPDDocument* AParentDoc,
                                          core::TqzPDElement* AResourceElement, const std::string& ATagName,
                                          core::TqzPDBaseObject* AXObjectDict, bool FromAppearanceStream) {
    const core::TqzPDDictionary* dict = DictOf(AXObjectDict);
    const core::TqzPDBaseObject* subtype = dict != nullptr ? dict->LookUp("Subtype") : nullptr;
    std::unique_ptr<TqzPDXObject> result;
    if (subtype == nullptr) {
        // An appearance stream is a form whether it says so or not.
        if (FromAppearanceStream && AXObjectDict != nullptr) {
            return std::make_unique<TqzPDForm>(AParentDoc, AResourceElement, AXObjectDict);
        }
        return nullptr;
    }
    if (subtype->IsName("Image")) {
        result = std::make_unique<TqzPDImage>(AParentDoc, AResourceElement, AXObjectDict);
    } else if (subtype->IsName("Form")) {
        result = std::make_unique<TqzPDForm>(AParentDoc, AResourceElement, AXObjectDict);
    } else if (subtype->IsName("PS")) {
        result = std::make_unique<TqzPDPostScript>(AParentDoc, AResourceElement, AXObjectDict);
    } else {
        return nullptr;
    }
    result->SetTagName(ATagName);
    return result;
}

}  // namespace qz::content
