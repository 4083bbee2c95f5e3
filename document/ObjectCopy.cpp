#include "document/ObjectCopy.h"

#include <string>

#include "core/Limits.h"
#include "core/PDArray.h"
#include "core/PDBaseExceptions.h"
#include "core/PDDictionary.h"
#include "core/PDIndirectRef.h"
#include "core/PDInteger.h"
#include "core/PDNull.h"
#include "core/PDName.h"
#include "core/PDStream.h"
#include "core/PDString.h"
#include "core/ParentDocument.h"
#include "document/NameNumberTree.h"
#include "document/PDBaseDoc.h"
#include "document/PDDocument.h"

namespace qz::document {

using core::TqzPDArray;
using core::TqzPDBaseObject;
using core::TqzPDDictionary;
using core::TqzPDIndirectRef;
using core::TqzPDStream;

namespace {

// Entries that tie a page to the source's structure: its node in the page
// tree, its article beads and its document part.
bool IsPageStructureKey(std::string_view key) { return key == "Parent" || key == "B" || key == "DPart"; }

// A destination name of the same kind as `like` holding `bytes`.
std::unique_ptr<TqzPDBaseObject> MakeNameLike(const TqzPDBaseObject& like, const std::string& bytes) {
    if (like.IsString()) return std::make_unique<core::TqzPDString>(bytes, false);
    auto name = std::make_unique<core::TqzPDName>("");
    name->SetName(bytes);
    return name;
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

bool TqzObjectCopier::NeverCopied(const TqzPDBaseObject& object) {
    if (!object.IsDict()) return false;
    const auto& dict = static_cast<const TqzPDDictionary&>(object);
    // Page-tree nodes and the catalog belong to the source's structure;
    // pages are copied only where the caller placed them (MapObject).
    return dict.IsDict("Pages") || dict.IsDict("Page") || dict.IsDict("Catalog");
}

bool TqzObjectCopier::CopiesToNull(const TqzPDBaseObject& object) {
    if (object.IsToken() || object.IsNull() || object.IsIndirectRef()) return true;
    if (NeverCopied(object)) return true;
    if (object.IsDict()) {
        const auto& dict = static_cast<const TqzPDDictionary&>(object);
        // A go-to action whose page is not copied would jump nowhere.
        if (RoleOf(dict, false, false) == DictRole::GoToAction) {
            const TqzPDBaseObject* destination = dict.LookupRefObj("D");
            return destination && IsDeadDestination(*destination);
        }
    }
    return false;
}

TqzObjectCopier::DictRole TqzObjectCopier::RoleOf(const TqzPDDictionary& dict, bool isPage, bool isStreamDict) {
    if (isPage) return DictRole::Page;
    if (isStreamDict) return DictRole::Plain;
    const TqzPDBaseObject* subtype = dict.LookupRefObj("Subtype");
    if (subtype && subtype->IsName("Link")) return DictRole::Link;
    const TqzPDBaseObject* kind = dict.LookupRefObj("S");
    if (!kind || !kind->IsName()) return DictRole::Plain;
    return kind->IsName("GoTo") ? DictRole::GoToAction : DictRole::Action;
}

const TqzPDBaseObject* TqzObjectCopier::Resolve(const TqzPDBaseObject& stored) {
    if (!stored.IsIndirectRef()) return &stored;
    std::unique_ptr<TqzPDBaseObject> owned;
    const TqzPDBaseObject* object = FSource.GetObjectForCopy(stored.GetObjNumber(), owned);
    if (owned) FHeld.push_back(std::move(owned));
    return object;
}

uint32_t TqzObjectCopier::PageCopyByIndex(int64_t index) const {
    if (index < 0 || index >= static_cast<int64_t>(FSourcePages.size())) return 0;
    return MappedNumber(FSourcePages[static_cast<size_t>(index)]);
}

bool TqzObjectCopier::IsDeadPage(const TqzPDBaseObject& element) {
    if (element.IsIndirectRef()) {
        if (IsMapped(element.GetObjNumber())) return MappedNumber(element.GetObjNumber()) == 0;
        const TqzPDBaseObject* page = Resolve(element);
        return !page || NeverCopied(*page);
    }
    // A page given by its index, as some producers write local destinations.
    if (element.IsInteger() && !FSourcePages.empty()) {
        return PageCopyByIndex(static_cast<const core::TqzPDInteger&>(element).GetValue()) == 0;
    }
    return false;
}

bool TqzObjectCopier::IsDeadExplicitDestination(const TqzPDBaseObject& destination) {
    const TqzPDBaseObject* array = &destination;
    if (destination.IsDict()) {
        // The dictionary form of a named destination's value.
        const TqzPDBaseObject* inner = static_cast<const TqzPDDictionary&>(destination).LookupRefObj("D");
        array = inner ? Resolve(*inner) : nullptr;
        if (!array) return true;
    }
    if (!array->IsArray()) return false;
    const auto& elements = static_cast<const TqzPDArray&>(*array);
    return elements.GetLength() > 0 && IsDeadPage(*elements.GetRefObj(0));
}

bool TqzObjectCopier::IsDeadDestination(const TqzPDBaseObject& stored) {
    const TqzPDBaseObject* destination = Resolve(stored);
    if (!destination) return true;
    if (destination->IsString() || destination->IsName()) {
        const auto found = FNames.find(*NameText(destination));
        // A name the source does not define was broken there already; it is
        // carried as it is.
        if (found == FNames.end()) return false;
        const TqzPDBaseObject* value = found->second.Value ? Resolve(*found->second.Value) : nullptr;
        return !value || IsDeadExplicitDestination(*value);
    }
    return IsDeadExplicitDestination(*destination);
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

std::unique_ptr<TqzPDBaseObject> TqzObjectCopier::CopyDestination(const TqzPDBaseObject& stored, int32_t depth) {
    const TqzPDBaseObject* resolved = stored.IsIndirectRef() ? Resolve(stored) : &stored;
    if (resolved && (resolved->IsString() || resolved->IsName())) {
        const auto found = FNames.find(*NameText(resolved));
        if (found != FNames.end()) return MakeNameLike(*resolved, found->second.TargetName);
        return CopyDirect(stored, depth);
    }
    auto copy = CopyDirect(stored, depth);
    if (copy && copy->IsArray() && stored.IsArray()) {
        // A page given by its index becomes a reference to the page's copy:
        // its index in the target is not the one it had.
        const auto& source = static_cast<const TqzPDArray&>(stored);
        const TqzPDBaseObject* first = source.GetLength() > 0 ? source.GetRefObj(0) : nullptr;
        if (first && first->IsInteger() && !FSourcePages.empty()) {
            const uint32_t page = PageCopyByIndex(static_cast<const core::TqzPDInteger*>(first)->GetValue());
            if (page != 0) static_cast<TqzPDArray&>(*copy).SetValue(std::make_unique<TqzPDIndirectRef>(page, 0), 0);
        }
    }
    return copy;
}

std::unique_ptr<TqzPDBaseObject> TqzObjectCopier::CopyNextActions(const TqzPDBaseObject& stored, int32_t depth) {
    if (!stored.IsArray()) return CopyDirect(stored, depth);
    if (depth > core::kMaxNestingDepth) TooDeep();
    const auto& source = static_cast<const TqzPDArray&>(stored);
    auto array = std::make_unique<TqzPDArray>(FTarget.GetCopyParentDoc());
    for (int32_t i = 0; i < source.GetLength(); ++i) {
        // A dead action leaves the chain; the others still run in order.
        if (auto action = CopyDirect(*source.GetRefObj(i), depth + 1)) array->Add(std::move(action));
    }
    array->SetIsChanged(stored.GetIsChanged());
    return array;
}

void TqzObjectCopier::FillEntries(const TqzPDDictionary& source, TqzPDDictionary& target, int32_t depth, bool isPage,
                                  bool isStreamDict) {
    const DictRole role = RoleOf(source, isPage, isStreamDict);
    auto& entries = target.GetDict()->Entries();
    entries.reserve(entries.size() + static_cast<size_t>(source.GetLength()));
    for (int32_t i = 0; i < source.GetLength(); ++i) {
        const std::string key = source.GetKey(i);
        if (role == DictRole::Page && IsPageStructureKey(key)) continue;
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
        std::unique_ptr<TqzPDBaseObject> copy;
        if ((role == DictRole::Link && key == "Dest") || (role == DictRole::GoToAction && key == "D")) {
            // A dead destination is left out; the rest of the link stays.
            if (IsDeadDestination(*stored)) continue;
            copy = CopyDestination(*stored, depth);
        } else if ((role == DictRole::GoToAction || role == DictRole::Action) && key == "Next") {
            copy = CopyNextActions(*stored, depth);
        } else {
            copy = CopyDirect(*stored, depth);
        }
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

std::unique_ptr<TqzPDBaseObject> TqzObjectCopier::CopyDestination(const TqzPDBaseObject& stored) {
    if (IsDeadDestination(stored)) return nullptr;
    auto copy = CopyDestination(stored, 0);
    Drain();
    return copy;
}

void TqzObjectCopier::CopyEntries(const TqzPDDictionary& source, TqzPDDictionary& target, bool isPage) {
    FillEntries(source, target, 0, isPage, false);
    Drain();
}

}  // namespace qz::document
