#include "content/state/PDGState.h"

#include <string_view>

#include "core/PDDictionary.h"
#include "core/PDInteger.h"
#include "core/PDReal.h"

namespace qz::content {

namespace {

core::TqzPDDictionary* AsDict(core::TqzPDBaseObject* object) {
    return object != nullptr && object->IsDict() ? static_cast<core::TqzPDDictionary*>(object)
                                                 : nullptr;
}

// The entry whose key is exactly `key`, the last of several. Dictionary
// look-ups fall back to keys equal but for case, which would read /CA for /ca
// and the other way round.
core::TqzPDBaseObject* LookUpExact(const core::TqzPDDictionary& dict, std::string_view key) {
    for (int32_t i = dict.GetLength(); i-- > 0;) {
        if (dict.GetKey(i) == key) return dict.GetValue(i);
    }
    return nullptr;
}

}  // namespace

TqzPDGState::TqzPDGState(document::TqzPDDocument* parentDoc, core::TqzPDElement* parentElement,
                         core::TqzPDBaseObject* baseObject, std::string tag)
    : document::TqzPDGState(parentDoc, parentElement, baseObject, std::move(tag)) {}

double TqzPDGState::ReadAlpha(std::string_view key) const {
    const core::TqzPDDictionary* dict = AsDict(FBaseObject);
    const core::TqzPDBaseObject* value = dict != nullptr ? LookUpExact(*dict, key) : nullptr;
    if (value == nullptr) return -1;
    if (value->IsInteger())
        return static_cast<double>(static_cast<const core::TqzPDInteger*>(value)->GetValue());
    if (value->IsReal()) return static_cast<const core::TqzPDReal*>(value)->GetValue();
    return -1;
}

double TqzPDGState::GetStrokeAlpha() {
    if (FStrokeAlpha == -1) FStrokeAlpha = ReadAlpha("CA");
    return FStrokeAlpha;
}

double TqzPDGState::GetNonStrokeAlpha() {
    if (FNonStrokeAlpha == -1) FNonStrokeAlpha = ReadAlpha("ca");
    return FNonStrokeAlpha;
}

core::TqzPDDictionary* TqzPDGState::GetSMask() {
    if (FSMask == nullptr) {
        const core::TqzPDDictionary* dict = AsDict(FBaseObject);
        if (dict != nullptr) FSMask = AsDict(dict->LookUp("SMask"));
    }
    return FSMask;
}

}  // namespace qz::content
