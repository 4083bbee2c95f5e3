#include "document/DictEntries.h"

#include "core/PDBoolean.h"
#include "core/PDDictionary.h"
#include "core/PDName.h"
#include "core/PDString.h"

namespace qz::document {

using core::TqzPDBaseObject;
using core::TqzPDDictionary;

TqzPDDictionary* AsDictionary(TqzPDBaseObject* object) {
    return object != nullptr && object->IsDict() ? static_cast<TqzPDDictionary*>(object) : nullptr;
}

const TqzPDDictionary* AsDictionary(const TqzPDBaseObject* object) {
    return object != nullptr && object->IsDict() ? static_cast<const TqzPDDictionary*>(object) : nullptr;
}

std::string StringText(const TqzPDBaseObject& string) {
    return static_cast<const core::TqzPDString&>(string).GetHexToString();
}

bool ReadStringEntry(const TqzPDDictionary& dict, std::string_view key, std::string& value) {
    const TqzPDBaseObject* entry = dict.LookUp(key);
    if (entry == nullptr || !entry->IsString()) return false;
    value = StringText(*entry);
    return true;
}

bool ReadBoolEntry(const TqzPDDictionary& dict, std::string_view key, bool& value) {
    const TqzPDBaseObject* entry = dict.LookUp(key);
    if (entry == nullptr || !entry->IsBoolean()) return false;
    value = static_cast<const core::TqzPDBoolean*>(entry)->GetValue();
    return true;
}

const std::string* NameEntry(const TqzPDDictionary& dict, std::string_view key) {
    const TqzPDBaseObject* entry = dict.LookUp(key);
    if (entry == nullptr || !entry->IsName()) return nullptr;
    return &static_cast<const core::TqzPDName*>(entry)->GetValue();
}

void PutEntry(TqzPDDictionary& dict, std::string_view key, std::unique_ptr<TqzPDBaseObject> value) {
    const int32_t index = dict.GetDict()->Find(key);
    if (index >= 0) {
        dict.SetValue(index, std::move(value));
        dict.SetIsChanged(true);
    } else {
        dict.Add(key, std::move(value));
    }
}

std::unique_ptr<TqzPDBaseObject> MakeString(const std::string& value, TqzEntryText kind) {
    if (kind == TqzEntryText::Text) return core::TqzPDString::CreateForHex(value);
    return std::make_unique<core::TqzPDString>(value, false);
}

void WriteStringEntry(TqzPDDictionary& dict, std::string_view key, const std::string& value, TqzEntryText kind) {
    // The entry as it is reached: a string kept as an object of its own is
    // changed there, where every holder of the reference sees it.
    TqzPDBaseObject* entry = dict.LookUp(key);
    if (entry != nullptr && entry->IsString()) {
        static_cast<core::TqzPDString*>(entry)->SetHexToString(value);
        entry->SetIsChanged(true);
        dict.SetIsChanged(true);
        return;
    }
    PutEntry(dict, key, MakeString(value, kind));
}

void WriteBoolEntry(TqzPDDictionary& dict, std::string_view key, bool value) {
    TqzPDBaseObject* entry = dict.LookUp(key);
    if (entry != nullptr && entry->IsBoolean()) {
        static_cast<core::TqzPDBoolean*>(entry)->SetBool(value);
        entry->SetIsChanged(true);
        dict.SetIsChanged(true);
        return;
    }
    PutEntry(dict, key, std::make_unique<core::TqzPDBoolean>(value));
}

void WriteNameEntry(TqzPDDictionary& dict, std::string_view key, std::string_view value) {
    TqzPDBaseObject* entry = dict.LookUp(key);
    if (entry != nullptr && entry->IsName()) {
        static_cast<core::TqzPDName*>(entry)->SetName(value);
        entry->SetIsChanged(true);
        dict.SetIsChanged(true);
        return;
    }
    auto name = std::make_unique<core::TqzPDName>("");
    name->SetName(value);
    PutEntry(dict, key, std::move(name));
}

}  // namespace qz::document
