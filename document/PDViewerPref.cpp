#include "document/PDViewerPref.h"

#include "core/PDBoolean.h"
#include "core/PDDictionary.h"
#include "document/PDBaseDoc.h"
#include "document/PDDocument.h"

namespace qz::document {

TqzPDViewerPref::TqzPDViewerPref(TqzPDDocument* document, core::TqzPDElement* parentElement,
                                 core::TqzPDBaseObject* baseObject)
    : core::TqzPDElement(document != nullptr ? document->GetBaseDoc() : nullptr, parentElement, baseObject),
      FDocument(document) {}

core::TqzPDDictionary* TqzPDViewerPref::Dict() const {
    return FBaseObject != nullptr && FBaseObject->IsDict() ? static_cast<core::TqzPDDictionary*>(FBaseObject)
                                                           : nullptr;
}

bool TqzPDViewerPref::Get(int32_t& cache, std::string_view key) {
    if (cache == -1) {
        cache = 0;
        if (const core::TqzPDDictionary* dict = Dict()) {
            // An entry of another kind than Boolean reads as false.
            const core::TqzPDBaseObject* value = dict->LookUp(key);
            if (value != nullptr && value->IsBoolean() && static_cast<const core::TqzPDBoolean*>(value)->GetValue()) {
                cache = 1;
            }
        }
    }
    return cache == 1;
}

void TqzPDViewerPref::Set(std::string_view key, bool value) {
    core::TqzPDDictionary* dict = Dict();
    if (dict == nullptr) return;
    core::TqzPDBaseObject* present = dict->LookUp(key);
    if (present != nullptr && present->IsBoolean()) {
        static_cast<core::TqzPDBoolean*>(present)->SetBool(value);
        present->SetIsChanged(true);
        dict->SetIsChanged(true);
        return;
    }
    if (present == nullptr && dict->LookupRefObj(key) == nullptr) {
        dict->Add(key, std::make_unique<core::TqzPDBoolean>(value));
    } else {
        // An entry of another kind is replaced by a Boolean.
        dict->SetKeyValue(key, std::make_unique<core::TqzPDBoolean>(value));
    }
}

}  // namespace qz::document
