#include "document/ObjectCopy.h"

#include <string>

#include "core/Limits.h"
#include "core/PDArray.h"
#include "core/PDBaseExceptions.h"
#include "core/PDDictionary.h"
#include "core/PDIndirectRef.h"
#include "core/PDInteger.h"
#include "core/PDNull.h"
#include "core/PDStream.h"
#include "core/ParentDocument.h"
#include "document/PDBaseDoc.h"
#include "document/PDDocument.h"

namespace qz::document {

using core::TqzPDArray;
using core::TqzPDBaseObject;
using core::TqzPDDictionary;
using core::TqzPDIndirectRef;
using core::TqzPDStream;

namespace {

// Keys never carried into a copy: they tie an object to its old place in the
// source (its parent, its page) or jump into the source's structure.
bool IsDroppedKey(std::string_view key, bool isPage) {
    return key == "Parent" || key == "P" || key == "Dest" || key == "DPart" || key == "A" ||
           (isPage && key == "B");
}

// The data was read through decryption: the stored bytes are not what the
// output may carry.
bool ReadsDecrypted(const core::TqzStreamPtr& data) {
    const core::TqzStreamPtr stored = core::StoredEncodingStream(data);
    return stored && stored->GetType() == core::TqzStreamType::stCrypt;
}

[[noreturn]] void TooDeep() {
    throw core::ExLimitExceeded("Object nested deeper than " + std::to_string(core::kMaxNestingDepth) +
                                " levels");
}

}  // namespace

core::TqzParentDocument* TqzDocumentCopyTarget::GetCopyParentDoc() { return FDocument.GetBaseDoc(); }

uint32_t TqzDocumentCopyTarget::TakeObjectNumber() {
    TqzPDBaseDoc& baseDoc = *FDocument.GetBaseDoc();
    const uint32_t number = baseDoc.GetLastObjectNumber() + 1;
    baseDoc.SetLastObjectNumber(number);  // raises beyond the largest object number
    return number;
}

TqzPDBaseObject* TqzDocumentCopyTarget::AddObject(std::unique_ptr<TqzPDBaseObject> object) {
    return FDocument.GetBaseDoc()->AddToCollection(std::move(object));
}

// One copied container whose contents are still to be copied.
struct TqzObjectCopier::Pending {
    const TqzPDBaseObject* Source;  // a dictionary, an array, or a stream's dictionary
    TqzPDBaseObject* Target;        // its shell in the target
    bool IsStreamDict;
    bool Changed;                   // the changed flag the filled copy takes
};

TqzObjectCopier::TqzObjectCopier(core::TqzParentDocument& source, TqzCopyTarget& target)
    : FSource(source), FTarget(target) {}

TqzObjectCopier::~TqzObjectCopier() = default;

void TqzObjectCopier::MapObject(uint32_t sourceNumber, uint32_t targetNumber) { FMap[sourceNumber] = targetNumber; }

uint32_t TqzObjectCopier::MappedNumber(uint32_t sourceNumber) const {
    const auto it = FMap.find(sourceNumber);
    return it == FMap.end() ? 0 : it->second;
}

bool TqzObjectCopier::CopiesToNull(const TqzPDBaseObject& object) const {
    if (object.IsToken() || object.IsNull() || object.IsIndirectRef()) return true;
    if (object.IsDict()) {
        const auto& dict = static_cast<const TqzPDDictionary&>(object);
        // Page-tree nodes are never copied; pages only where the caller
        // placed them (MapObject); an empty dictionary carries nothing.
        return dict.GetLength() == 0 || dict.IsDict("Pages") || dict.IsDict("Page");
    }
    return false;
}

uint32_t TqzObjectCopier::MakeShell(const TqzPDBaseObject& object) {
    core::TqzParentDocument* doc = FTarget.GetCopyParentDoc();
    const uint32_t number = FTarget.TakeObjectNumber();
    std::unique_ptr<TqzPDBaseObject> shell;
    Pending pending{&object, nullptr, false, object.GetIsChanged()};
    if (object.IsDict()) {
        shell = std::make_unique<TqzPDDictionary>(doc, number, 0);
        pending.Target = shell.get();
    } else if (object.IsArray()) {
        shell = std::make_unique<TqzPDArray>(doc, number, 0);
        pending.Target = shell.get();
    } else if (object.IsStream()) {
        const auto& stream = static_cast<const TqzPDStream&>(object);
        auto dict = std::make_unique<TqzPDDictionary>(doc);
        pending.Target = dict.get();
        pending.IsStreamDict = true;
        pending.Source = stream.GetDict();
        pending.Changed = stream.GetIsChanged() || (stream.GetDict() && stream.GetDict()->GetIsChanged()) ||
                          ReadsDecrypted(stream.GetStreamPtr());
        // The data stream is shared with the source: nothing is read now.
        shell = std::make_unique<TqzPDStream>(stream.GetStreamPtr(), std::move(dict), number, 0);
    } else {
        shell = object.Clone();
        shell->SetObjNumber(number);
        shell->SetGenNumber(0);
        shell->SetIsChanged(object.GetIsChanged());
    }
    shell->SetIsWritten(false);
    FTarget.AddObject(std::move(shell));
    ++FCopied;
    if (pending.Target && pending.Source) FWork.push_back(pending);
    return number;
}

uint32_t TqzObjectCopier::Reach(uint32_t number) {
    if (const auto it = FMap.find(number); it != FMap.end()) return it->second;
    std::unique_ptr<TqzPDBaseObject> owned;
    const TqzPDBaseObject* object = FSource.GetObjectForCopy(number, owned);
    if (owned) FHeld.push_back(std::move(owned));
    if (!object || CopiesToNull(*object)) {
        FMap[number] = 0;
        return 0;
    }
    // Recorded before anything the object refers to is reached: a cycle back
    // to it finds this entry.
    const uint32_t copy = MakeShell(*object);
    FMap[number] = copy;
    return copy;
}

std::unique_ptr<TqzPDBaseObject> TqzObjectCopier::CopyDirect(const TqzPDBaseObject& stored, int32_t depth) {
    if (stored.IsIndirectRef()) {
        const uint32_t copy = Reach(stored.GetObjNumber());
        if (copy == 0) return nullptr;
        return std::make_unique<TqzPDIndirectRef>(copy, 0);
    }
    if (stored.IsToken()) return nullptr;
    if (depth > core::kMaxNestingDepth) TooDeep();
    core::TqzParentDocument* doc = FTarget.GetCopyParentDoc();
    if (stored.IsDict()) {
        if (CopiesToNull(stored)) return nullptr;
        auto dict = std::make_unique<TqzPDDictionary>(doc);
        FillEntries(static_cast<const TqzPDDictionary&>(stored), *dict, depth + 1, false, false);
        dict->SetIsChanged(stored.GetIsChanged());
        return dict;
    }
    if (stored.IsArray()) {
        const auto& source = static_cast<const TqzPDArray&>(stored);
        auto array = std::make_unique<TqzPDArray>(doc);
        auto& elements = array->GetArray()->Elements();
        elements.reserve(static_cast<size_t>(source.GetLength()));
        for (int32_t i = 0; i < source.GetLength(); ++i) {
            auto element = CopyDirect(*source.GetRefObj(i), depth + 1);
            // An element that copies to null keeps its place as null.
            elements.push_back(element ? std::move(element) : std::make_unique<core::TqzPDNull>());
        }
        array->SetIsChanged(stored.GetIsChanged());
        return array;
    }
    if (stored.IsStream()) {
        // A stream stored inside a container is made indirect.
        const uint32_t copy = ReachShared(stored);
        if (copy == 0) return nullptr;
        return std::make_unique<TqzPDIndirectRef>(copy, 0);
    }
    auto copy = stored.Clone();
    copy->SetObjNumber(core::kDirectObject);
    copy->SetGenNumber(core::kDirectObject);
    copy->SetIsChanged(stored.GetIsChanged());
    return copy;
}

void TqzObjectCopier::FillEntries(const TqzPDDictionary& source, TqzPDDictionary& target, int32_t depth, bool isPage,
                                  bool isStreamDict) {
    auto& entries = target.GetDict()->Entries();
    entries.reserve(entries.size() + static_cast<size_t>(source.GetLength()));
    for (int32_t i = 0; i < source.GetLength(); ++i) {
        const std::string key = source.GetKey(i);
        if (IsDroppedKey(key, isPage)) continue;
        const TqzPDBaseObject* stored = source.GetValueRefObj(i);
        if (!stored) continue;
        if (isStreamDict && key == "Length" && stored->IsIndirectRef()) {
            // The save writes the length it writes; no object for it.
            std::unique_ptr<TqzPDBaseObject> owned;
            const TqzPDBaseObject* length = FSource.GetObjectForCopy(stored->GetObjNumber(), owned);
            if (length && length->IsInteger()) {
                auto value = std::make_unique<core::TqzPDInteger>(0);
                value->SetValue(static_cast<const core::TqzPDInteger*>(length)->GetValue());
                entries.emplace_back(key, std::move(value));
            }
            continue;
        }
        auto copy = CopyDirect(*stored, depth);
        if (copy) entries.emplace_back(key, std::move(copy));
    }
}

void TqzObjectCopier::Drain() {
    while (!FWork.empty()) {
        const Pending item = FWork.back();
        FWork.pop_back();
        if (item.Source->IsDict()) {
            auto& target = static_cast<TqzPDDictionary&>(*item.Target);
            FillEntries(static_cast<const TqzPDDictionary&>(*item.Source), target, 0, false, item.IsStreamDict);
        } else {
            const auto& source = static_cast<const TqzPDArray&>(*item.Source);
            auto& elements = static_cast<TqzPDArray&>(*item.Target).GetArray()->Elements();
            elements.reserve(static_cast<size_t>(source.GetLength()));
            for (int32_t i = 0; i < source.GetLength(); ++i) {
                auto element = CopyDirect(*source.GetRefObj(i), 0);
                elements.push_back(element ? std::move(element) : std::make_unique<core::TqzPDNull>());
            }
        }
        item.Target->SetIsChanged(item.Changed);
    }
}

std::unique_ptr<TqzPDBaseObject> TqzObjectCopier::Copy(const TqzPDBaseObject& stored) {
    auto copy = CopyDirect(stored, 0);
    Drain();
    return copy;
}

std::unique_ptr<TqzPDBaseObject> TqzObjectCopier::Duplicate(const TqzPDBaseObject& object) {
    if (object.IsDirect()) return Copy(object);
    const uint32_t copy = Reach(object.GetObjNumber());
    Drain();
    if (copy == 0) return nullptr;
    return std::make_unique<TqzPDIndirectRef>(copy, 0);
}

uint32_t TqzObjectCopier::ReachShared(const TqzPDBaseObject& object) {
    if (const auto it = FSharedDirect.find(&object); it != FSharedDirect.end()) return it->second;
    const uint32_t copy = CopiesToNull(object) ? 0 : MakeShell(object);
    FSharedDirect[&object] = copy;
    return copy;
}

std::unique_ptr<TqzPDBaseObject> TqzObjectCopier::DuplicateShared(const TqzPDBaseObject& object) {
    if (!object.IsDirect()) return Duplicate(object);
    const uint32_t copy = ReachShared(object);
    Drain();
    if (copy == 0) return nullptr;
    return std::make_unique<TqzPDIndirectRef>(copy, 0);
}

void TqzObjectCopier::CopyEntries(const TqzPDDictionary& source, TqzPDDictionary& target, bool isPage) {
    FillEntries(source, target, 0, isPage, false);
    Drain();
}

}  // namespace qz::document
