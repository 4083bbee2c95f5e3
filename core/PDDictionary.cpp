#include "core/PDDictionary.h"

#include <algorithm>

#include "core/PDArray.h"
#include "core/PDIndirectRef.h"
#include "core/PDName.h"
#include "core/PDNull.h"
#include "core/PDString.h"
#include "core/ParentDocument.h"
#include "core/SaveContext.h"

namespace qz::core {

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 0x20) : c; }

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

bool LessIgnoringCase(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<uint8_t>(LowerAscii(a[i]));
        const auto cb = static_cast<uint8_t>(LowerAscii(b[i]));
        if (ca != cb) return ca < cb;
    }
    return a.size() < b.size();
}

// The strings an encrypted file stores unencrypted: the standard security
// handler's /O and /U, and a signature's /Contents.
bool IsStoredPlain(const TqzPDDictionary& dict, std::string_view key) {
    if (key == "O" || key == "U") {
        const TqzPDBaseObject* filter = dict.LookupRefObj("Filter");
        return filter != nullptr && filter->IsName("Standard");
    }
    return key == "Contents" && IsSignatureDictionary(dict);
}

}  // namespace

// ---- TqzDict ----

TqzDict::~TqzDict() {
    std::vector<std::unique_ptr<TqzPDBaseObject>> values;
    values.reserve(FEntries.size());
    for (auto& entry : FEntries) values.push_back(std::move(entry.second));
    FEntries.clear();
    DestroyObjects(values);
}

int32_t TqzDict::Find(std::string_view key) const {
    for (size_t i = FEntries.size(); i-- > 0;) {
        if (FEntries[i].first == key) return static_cast<int32_t>(i);
    }
    for (size_t i = FEntries.size(); i-- > 0;) {
        if (EqualIgnoringCase(FEntries[i].first, key)) return static_cast<int32_t>(i);
    }
    return -1;
}

void TqzDict::Sort() {
    std::stable_sort(FEntries.begin(), FEntries.end(),
                     [](const Entry& a, const Entry& b) { return LessIgnoringCase(a.first, b.first); });
}

std::unique_ptr<TqzPDBaseObject> TqzDict::Remove(std::string_view key) {
    Sort();
    auto first = std::lower_bound(FEntries.begin(), FEntries.end(), key,
                                  [](const Entry& e, std::string_view k) { return LessIgnoringCase(e.first, k); });
    auto last = first;
    while (last != FEntries.end() && EqualIgnoringCase(last->first, key)) ++last;
    if (first == last) return nullptr;
    auto victim = first;
    for (auto it = first; it != last; ++it) {
        if (it->first == key) {
            victim = it;
            break;
        }
    }
    std::unique_ptr<TqzPDBaseObject> value = std::move(victim->second);
    FEntries.erase(victim);
    return value;
}

// ---- TqzPDDictionary ----

TqzPDDictionary::TqzPDDictionary(TqzParentDocument* parentDoc, uint32_t objNumber, uint32_t genNumber)
    : TqzPDBaseObject(objNumber, genNumber), FDict(std::make_shared<TqzDict>(parentDoc)) {
    FIsChanged = true;
}

TqzPDDictionary::TqzPDDictionary(std::shared_ptr<TqzDict> dict, uint32_t objNumber, uint32_t genNumber)
    : TqzPDBaseObject(objNumber, genNumber), FDict(dict ? std::move(dict) : std::make_shared<TqzDict>()) {
    FIsChanged = true;
}

TqzPDBaseObject* TqzPDDictionary::Resolve(TqzPDBaseObject* value) const {
    if (value && value->IsIndirectRef() && GetParentDoc()) return GetParentDoc()->GetObject(value->GetObjNumber());
    return value;
}

std::string TqzPDDictionary::GetKey(int32_t index) const {
    if (index < 0 || index >= GetLength()) return {};
    return FDict->Entries()[static_cast<size_t>(index)].first;
}

TqzPDBaseObject* TqzPDDictionary::GetValueRefObj(int32_t index) const {
    if (index < 0 || index >= GetLength()) return nullptr;
    return FDict->Entries()[static_cast<size_t>(index)].second.get();
}

TqzPDBaseObject* TqzPDDictionary::GetValue(int32_t index) const { return Resolve(GetValueRefObj(index)); }

TqzPDBaseObject* TqzPDDictionary::LookupRefObj(std::string_view key) const {
    const int32_t index = FDict->Find(key);
    return index < 0 ? nullptr : FDict->Entries()[static_cast<size_t>(index)].second.get();
}

TqzPDBaseObject* TqzPDDictionary::LookUp(std::string_view key) const { return Resolve(LookupRefObj(key)); }

std::unique_ptr<TqzPDBaseObject> TqzPDDictionary::LookUpClone(std::string_view key) const {
    const TqzPDBaseObject* value = LookUp(key);
    return value ? value->Clone() : std::make_unique<TqzPDNull>();
}

std::unique_ptr<TqzPDBaseObject> TqzPDDictionary::LookupRefObjClone(std::string_view key) const {
    const TqzPDBaseObject* value = LookupRefObj(key);
    return value ? value->Clone() : std::make_unique<TqzPDNull>();
}

bool IsSignatureDictionary(const TqzPDDictionary& dict) {
    const TqzPDBaseObject* type = dict.LookupRefObj("Type");
    if (type != nullptr && (type->IsName("Sig") || type->IsName("DocTimeStamp"))) return true;
    return dict.LookupRefObj("ByteRange") != nullptr;
}

void TqzPDDictionary::Add(std::string_view key, std::unique_ptr<TqzPDBaseObject> value) {
    if (value) FDict->Entries().emplace_back(std::string(key), std::move(value));
    SetIsChanged(true);
}

void TqzPDDictionary::Add(const TqzPDBaseObject& key, std::unique_ptr<TqzPDBaseObject> value) {
    if (const auto* name = dynamic_cast<const TqzPDName*>(&key)) {
        Add(name->GetValue(), std::move(value));
        return;
    }
    SetIsChanged(true);
}

void TqzPDDictionary::SetKeyValue(std::string_view key, std::unique_ptr<TqzPDBaseObject> value) {
    const std::string keyText(key);  // `key` may point into the entry removed
    Remove(keyText);
    Add(keyText, std::move(value));
}

void TqzPDDictionary::Remove(std::string_view key) {
    if (!LookupRefObj(key)) return;
    std::vector<std::unique_ptr<TqzPDBaseObject>> removed;
    removed.push_back(FDict->Remove(key));
    DestroyObjects(removed);
    SetIsChanged(true);
}

void TqzPDDictionary::Remove(const TqzPDBaseObject& key) {
    if (const auto* name = dynamic_cast<const TqzPDName*>(&key)) {
        const std::string text = name->GetValue();
        Remove(text);
    }
    SetIsChanged(true);
}

void TqzPDDictionary::SetKey(int32_t index, std::string_view key) {
    if (index < 0 || index >= GetLength()) return;
    FDict->Entries()[static_cast<size_t>(index)].first = key;
}

std::unique_ptr<TqzPDBaseObject> TqzPDDictionary::SetValue(int32_t index, std::unique_ptr<TqzPDBaseObject> value) {
    if (index < 0 || index >= GetLength() || !value) return value;
    auto& slot = FDict->Entries()[static_cast<size_t>(index)].second;
    std::unique_ptr<TqzPDBaseObject> previous = std::move(slot);
    slot = std::move(value);
    return previous;
}

void TqzPDDictionary::GetIndirectRefs(std::vector<TqzPDIndirectRef*>& list) const {
    CollectIndirectRefs(*this, list);
}

bool TqzPDDictionary::IsDict(std::string_view dictType) const {
    const TqzPDBaseObject* type = LookupRefObj("Type");
    if (!type) type = LookupRefObj("Types");
    return type && type->IsName(dictType);
}

std::unique_ptr<TqzPDBaseObject> TqzPDDictionary::Clone() const {
    TqzNestingGuard guard;
    auto copy = std::make_unique<TqzPDDictionary>(GetParentDoc(), FObjNumber, FGenNumber);
    auto& entries = copy->FDict->Entries();
    entries.reserve(FDict->Entries().size());
    for (const auto& [key, value] : FDict->Entries()) entries.emplace_back(key, value->Clone());
    copy->FDict->Sort();
    return copy;
}

void TqzPDDictionary::Assign(const TqzPDBaseObject& source) {
    TqzPDBaseObject::Assign(source);
    const auto* dict = dynamic_cast<const TqzPDDictionary*>(&source);
    if (!dict) return;
    TqzNestingGuard guard;
    const int32_t count = dict->GetLength();
    for (int32_t i = 0; i < count; ++i) {
        const auto& entry = dict->FDict->Entries()[static_cast<size_t>(i)];
        auto copy = CopyByKind(*entry.second, GetParentDoc());
        FDict->Entries().emplace_back(entry.first, std::move(copy));
    }
}

void TqzPDDictionary::MoveChildrenTo(std::vector<std::unique_ptr<TqzPDBaseObject>>& out) {
    if (FDict.use_count() != 1) return;
    for (auto& entry : FDict->Entries()) out.push_back(std::move(entry.second));
    FDict->Entries().clear();
}

TqzSaveStep TqzPDDictionary::SaveStep(TqzSaveContext& context, TqzSaveFrame& frame) {
    TqzParentDocument* doc = GetParentDoc();
    const bool plain = frame.Mode == TqzSaveMode::Plain;
    switch (frame.Phase) {
        case 0:
            // A page-tree node counts as changed only when an object it refers
            // to is written changed.
            if (context.OnlyChanged() && IsDict("Pages")) SetIsChanged(false);
            if (!IsDirect()) {
                frame.RememberedNumber = FObjNumber;
                FIsWritten = true;
                if (context.OnlyChanged() && IsDict("Page")) {
                    // A page keeps its number and generation in an incremental
                    // save, so references to it elsewhere in the file still
                    // hold; the entry stands provisionally until it is written.
                    context.RecordEntry(FObjNumber, FGenNumber, TqzPDXRefEntrytype::xeCompressed);
                    frame.TookNumber = false;
                } else {
                    FObjNumber = context.TakeNewNumber();
                    FGenNumber = 0;
                    frame.TookNumber = true;
                }
            }
            if (doc) GetIndirectRefs(frame.Refs);
            frame.Phase = 1;
            [[fallthrough]];
        case 1:
            if (doc && SaveTargets(context, frame, *doc, *this, ChildValidNumber(), true, *this) ==
                           TqzSaveStep::Child) {
                return TqzSaveStep::Child;
            }
            if (!OpenContainer(context, frame, *this, true, "<<")) return TqzSaveStep::Done;
            [[fallthrough]];
        default:
            break;
    }
    if (frame.Pending) {
        context.Write(" ");
        frame.Pending = nullptr;
    }
    const bool encrypts = !plain && doc && doc->EncryptsOutput();
    auto& entries = FDict->Entries();
    while (frame.Index < entries.size()) {
        const auto& [key, valuePtr] = entries[frame.Index++];
        TqzPDBaseObject& value = *valuePtr;
        // A token left by malformed input is no value: the key goes with it,
        // so the pairs after it stay paired.
        if (value.IsToken()) continue;
        context.Write("/");
        context.Write(EncodeName(key));
        context.Write(" ");
        if (FIsChanged) value.SetIsChanged(true);
        if (value.IsIndirectRef()) {
            WriteReference(context, static_cast<const TqzPDIndirectRef&>(value), doc);
        } else if (value.IsString() && encrypts && !IsStoredPlain(*this, key)) {
            WriteEncryptedString(context, static_cast<TqzPDString&>(value), *this, *doc);
        } else if (value.IsArray() && key == "ID") {
            // The trailer's file identifiers stay unencrypted.
            frame.Pending = &value;
            context.Schedule(value, TqzSaveMode::Plain);
            return TqzSaveStep::Child;
        } else {
            if (!plain) value.SetValidObjectNumber(ChildValidNumber());
            if (value.IsArray() || value.IsDict() || value.IsStream()) {
                frame.Pending = &value;
                context.Schedule(value, frame.Mode);
                return TqzSaveStep::Child;
            }
            context.SaveScalar(value);
        }
        context.Write(" ");
    }
    context.Write(IsDirect() ? ">>" : ">>\r\nendobj\r\n");
    return TqzSaveStep::Done;
}

}  // namespace qz::core
