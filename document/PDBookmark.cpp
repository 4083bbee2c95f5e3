#include "document/PDBookmark.h"

#include <algorithm>
#include <array>
#include <limits>
#include <unordered_set>

#include "core/Conversions.h"
#include "core/Limits.h"
#include "core/PDArray.h"
#include "core/PDBaseExceptions.h"
#include "core/PDDictionary.h"
#include "core/PDFUtils.h"
#include "core/PDIndirectRef.h"
#include "core/PDInteger.h"
#include "core/PDName.h"
#include "core/PDNull.h"
#include "core/PDReal.h"
#include "core/PDString.h"
#include "document/CatalogMerge.h"
#include "document/DictEntries.h"
#include "document/NameNumberTree.h"
#include "document/PDAction.h"
#include "document/PDBaseDoc.h"
#include "document/PDCatalog.h"
#include "document/PDDestination.h"
#include "document/PDDocument.h"
#include "document/PDModelException.h"
#include "document/PDPage.h"
#include "platform/CodePage.h"

namespace qz::document {

using core::TqzPDArray;
using core::TqzPDBaseObject;
using core::TqzPDDictionary;

namespace {

double NumberOf(const TqzPDBaseObject* object, double fallback) {
    if (object != nullptr && object->IsReal())
        return static_cast<const core::TqzPDReal*>(object)->GetValue();
    if (object != nullptr && object->IsInteger())
        return static_cast<double>(static_cast<const core::TqzPDInteger*>(object)->GetValue());
    return fallback;
}

// Points `key` of `dict` at `target`. Items are indirect (IndirectDict), so
// a target without a number is one that cannot be referred to: nothing is
// written for it.
void Link(TqzPDDictionary* dict, std::string_view key, const TqzPDDictionary* target) {
    if (dict == nullptr || target == nullptr || target->IsDirect()) return;
    dict->SetKeyValue(key, std::make_unique<core::TqzPDIndirectRef>(target->GetObjNumber(),
                                                                    target->GetGenNumber()));
}

void RemoveKey(TqzPDDictionary* dict, std::string_view key) {
    if (dict != nullptr) dict->Remove(key);
}

// Code points that PDFDocEncoding, Latin-1 and the 8-bit code page all
// write as the same byte: text made of them reads alike in every reader.
bool SameInEveryEightBitEncoding(char16_t unit) {
    return (unit >= 0x20 && unit <= 0x7E) || (unit >= 0xA1 && unit <= 0xFF && unit != 0xAD);
}

// RGB components of a colour: grey and CMYK converted, others as stored.
std::array<double, 3> RgbOf(const TqzPDColorValue& color) {
    switch (color.ColorSpace) {
        case TqzPDColorSpaceType::DeviceGray:
            return {color.Value[0], color.Value[0], color.Value[0]};
        case TqzPDColorSpaceType::DeviceCMYK: {
            std::array<double, 3> rgb{};
            for (size_t i = 0; i < 3; ++i)
                rgb[i] = 1.0 - std::min(1.0, color.Value[i] + color.Value[3]);
            return rgb;
        }
        default:
            return {color.Value[0], color.Value[1], color.Value[2]};
    }
}

std::unique_ptr<TqzPDArray> ColorArray(const TqzPDColorValue& color, core::TqzParentDocument* doc) {
    auto array = std::make_unique<TqzPDArray>(doc);
    for (double component : RgbOf(color)) array->Add(std::make_unique<core::TqzPDReal>(component));
    return array;
}

int32_t FlagBits(const TqzPDOutlineFlag& flag) {
    return (flag.Italic ? 1 : 0) + (flag.Bold ? 2 : 0);
}

bool IsGoTo(const TqzPDDictionary* action) {
    const TqzPDBaseObject* kind = action != nullptr ? action->LookUp("S") : nullptr;
    return kind != nullptr && kind->IsName("GoTo");
}

// The 16-bit form of text for a case-blind comparison.
std::u16string UpperCased(const std::string& utf8) {
    std::u16string text = platform::Utf8ToUtf16(utf8);
    for (char16_t& unit : text) unit = core::UpperCaseUnit(unit);
    return text;
}

}  // namespace

std::unique_ptr<core::TqzPDString> MakeTextString(const std::string& utf8) {
    const std::u16string text = platform::Utf8ToUtf16(utf8);
    if (std::all_of(text.begin(), text.end(), SameInEveryEightBitEncoding)) {
        return std::make_unique<core::TqzPDString>(platform::Utf16ToCodePage(text), false);
    }
    return std::make_unique<core::TqzPDString>(core::StringToHex(text), true);
}

TqzPDBaseObject* TargetOf(const TqzPDDictionary& dict) {
    if (TqzPDBaseObject* destination = dict.LookupRefObj("Dest")) return destination;
    TqzPDDictionary* action = AsDictionary(dict.LookUp("A"));
    return IsGoTo(action) ? action->LookupRefObj("D") : nullptr;
}

TqzPDDictionary* IndirectDict(TqzPDDocument* document, TqzPDDictionary& holder,
                              std::string_view key) {
    TqzPDDictionary* dict = AsDictionary(holder.LookUp(key));
    TqzPDBaseDoc* baseDoc = document != nullptr ? document->GetBaseDoc() : nullptr;
    if (dict == nullptr || !dict->IsDirect() || baseDoc == nullptr) return dict;
    // A document out of object numbers keeps the dictionary direct.
    if (baseDoc->GetLastObjectNumber() >= core::kMaxObjectNumber) return dict;
    const int32_t index = holder.GetDict()->Find(key);
    if (index < 0) return nullptr;
    // The dictionary moves whole into the object table: it stays the same
    // object, and the entry refers to it.
    std::unique_ptr<TqzPDBaseObject>& slot =
        holder.GetDict()->Entries()[static_cast<size_t>(index)].second;
    baseDoc->AddNewObject(std::move(slot));
    slot = std::make_unique<core::TqzPDIndirectRef>(dict->GetObjNumber(), dict->GetGenNumber());
    holder.SetIsChanged(true);
    return dict;
}

// ---- TqzBookmarkList ----

TqzBookmarkList::TqzBookmarkList() = default;
TqzBookmarkList::~TqzBookmarkList() = default;

TqzPDBookmark* TqzBookmarkList::Get(int32_t index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return FItems[static_cast<size_t>(index)].get();
}

TqzPDBookmark* TqzBookmarkList::Add(std::unique_ptr<TqzPDBookmark> item) {
    return Insert(Count(), std::move(item));
}

TqzPDBookmark* TqzBookmarkList::Insert(int32_t index, std::unique_ptr<TqzPDBookmark> item) {
    const auto at = static_cast<size_t>(std::clamp(index, 0, Count()));
    TqzPDBookmark* result = item.get();
    FItems.insert(FItems.begin() + static_cast<std::ptrdiff_t>(at), std::move(item));
    Renumber(at);
    return result;
}

void TqzBookmarkList::Delete(int32_t index) {
    if (index < 0 || index >= Count()) return;
    const auto at = static_cast<size_t>(index);
    FItems[at]->ForgetSubtree();
    FItems.erase(FItems.begin() + static_cast<std::ptrdiff_t>(at));
    Renumber(at);
}

void TqzBookmarkList::Renumber(size_t from) {
    for (size_t i = from; i < FItems.size(); ++i) FItems[i]->FIndex = static_cast<int32_t>(i);
}

// ---- TqzNamedDestinations ----

TqzNamedDestinations::TqzNamedDestinations(TqzPDDocument& document) : FDocument(document) {
    if (!document.IsLoaded()) return;
    WriteMergedNames(document);
    TqzPDDictionary* catalog = document.GetCatalog()->GetDict();
    if (catalog == nullptr) return;
    if (TqzPDDictionary* names = AsDictionary(catalog->LookUp("Names"))) {
        try {
            // The tree's values are the document's objects, which the caller
            // may change.
            for (const TqzNameTreeEntry& entry : ReadNameTree(names->LookUp("Dests")))
                FTree.insert_or_assign(entry.Key, const_cast<TqzPDBaseObject*>(entry.Value));
        } catch (const core::ExLimitExceeded&) {
            FTree.clear();
        }
    }
    if (TqzPDDictionary* dests = AsDictionary(catalog->LookUp("Dests"))) {
        for (int32_t i = 0; i < dests->GetLength(); ++i)
            FDests.insert_or_assign(dests->GetKey(i), dests->GetValueRefObj(i));
    }
}

TqzPDBaseObject* TqzNamedDestinations::Resolve(TqzPDBaseObject* stored) const {
    if (stored == nullptr || !stored->IsIndirectRef()) return stored;
    TqzPDBaseDoc* baseDoc = FDocument.GetBaseDoc();
    return baseDoc != nullptr ? baseDoc->GetObject(stored->GetObjNumber()) : nullptr;
}

TqzPDBaseObject* TqzNamedDestinations::Lookup(const TqzPDBaseObject& name) const {
    const std::optional<std::string> key = NameText(&name);
    if (!key) return nullptr;
    // A string names an entry of the tree, a name one of the older /Dests
    // dictionary; each falls back on the other, as viewers do.
    const auto& first = name.IsString() ? FTree : FDests;
    const auto& second = name.IsString() ? FDests : FTree;
    if (auto found = first.find(*key); found != first.end()) return found->second;
    if (auto found = second.find(*key); found != second.end()) return found->second;
    return nullptr;
}

TqzPDArray* TqzNamedDestinations::Explicit(TqzPDBaseObject* destination) const {
    TqzPDBaseObject* value = Resolve(destination);
    if (value != nullptr && (value->IsName() || value->IsString())) value = Resolve(Lookup(*value));
    if (TqzPDDictionary* dict = AsDictionary(value)) value = Resolve(dict->LookupRefObj("D"));
    return value != nullptr && value->IsArray() ? static_cast<TqzPDArray*>(value) : nullptr;
}

TqzPDPage* TargetPage(TqzPDDocument& document, const TqzPDArray* destination) {
    if (destination == nullptr || destination->GetLength() == 0 || !document.IsLoaded())
        return nullptr;
    TqzPDBaseObject* page = destination->GetRefObj(0);
    if (page->IsIndirectRef()) return DestinationPage(&document, page);
    // A page given by its index, as some producers write local destinations.
    if (page->IsInteger()) {
        const int64_t index = static_cast<const core::TqzPDInteger*>(page)->GetValue();
        if (index < 0 || index >= document.GetPageCount()) return nullptr;
        return document.GetPage(static_cast<int32_t>(index) + 1);
    }
    return nullptr;
}

// ---- TqzPDBookmark ----

struct TqzPDBookmark::LoadedItems {
    std::unordered_set<uint32_t> Numbers;
};

TqzPDBookmark::TqzPDBookmark(TqzPDDocument* document, core::TqzPDElement* parentElement,
                             core::TqzPDBaseObject* baseObject)
    : core::TqzPDElement(document != nullptr ? document->GetBaseDoc() : nullptr, parentElement,
                         baseObject),
      FDocument(document),
      FParent(dynamic_cast<TqzPDBookmark*>(parentElement)) {
    FLevel = FParent != nullptr ? FParent->FLevel + 1 : 0;
    FLoaded = FParent != nullptr ? FParent->FLoaded : std::make_shared<LoadedItems>();
    if (baseObject != nullptr && !baseObject->IsDirect())
        FLoaded->Numbers.insert(baseObject->GetObjNumber());
}

TqzPDBookmark::TqzPDBookmark()
    : core::TqzPDElement(nullptr, nullptr, nullptr), FLoaded(std::make_shared<LoadedItems>()) {}

TqzPDBookmark::~TqzPDBookmark() = default;

TqzPDDictionary* TqzPDBookmark::GetDict() const {
    return AsDictionary(FBaseObject);
}

TqzBookmarkList& TqzPDBookmark::Children() {
    if (FBookmarkList == nullptr) FBookmarkList = std::make_unique<TqzBookmarkList>();
    return *FBookmarkList;
}

std::unique_ptr<TqzPDBookmark> TqzPDBookmark::MakeItem(TqzPDDictionary* holder,
                                                       std::string_view key,
                                                       TqzPDBookmark* parentItem) {
    const int32_t level = parentItem != nullptr ? parentItem->FLevel + 1 : 0;
    if (holder == nullptr || level > kMaxOutlineDepth) return nullptr;
    TqzPDDictionary* dict = AsDictionary(holder->LookUp(key));
    if (dict == nullptr) return nullptr;
    // A dictionary that is an item of this tree already closes a loop.
    if (!dict->IsDirect() && FLoaded->Numbers.count(dict->GetObjNumber()) != 0) return nullptr;
    dict = IndirectDict(FDocument, *holder, key);
    return std::make_unique<TqzPDBookmark>(FDocument, parentItem, dict);
}

void TqzPDBookmark::ForgetSubtree() {
    std::vector<TqzPDBookmark*> work{this};
    while (!work.empty()) {
        TqzPDBookmark* item = work.back();
        work.pop_back();
        if (item->FBaseObject != nullptr && !item->FBaseObject->IsDirect())
            FLoaded->Numbers.erase(item->FBaseObject->GetObjNumber());
        if (item->FBookmarkList == nullptr) continue;
        for (int32_t i = 0; i < item->FBookmarkList->Count(); ++i)
            work.push_back(item->FBookmarkList->Get(i));
    }
}

// ---- navigation ----

TqzPDBookmark* TqzPDBookmark::GetFirstChild() {
    if (FBookmarkList != nullptr && FBookmarkList->Count() > 0) return FBookmarkList->Get(0);
    FBookmarkList = std::make_unique<TqzBookmarkList>();
    std::unique_ptr<TqzPDBookmark> first = MakeItem(GetDict(), "First", this);
    return first != nullptr ? FBookmarkList->Add(std::move(first)) : nullptr;
}

TqzPDBookmark* TqzPDBookmark::GetNext() {
    if (FParent == nullptr) return nullptr;
    TqzBookmarkList& siblings = FParent->Children();
    if (FIndex + 1 < siblings.Count()) return siblings.Get(FIndex + 1);
    if (siblings.Get(FIndex) != this) return nullptr;
    std::unique_ptr<TqzPDBookmark> next = MakeItem(GetDict(), "Next", FParent);
    return next != nullptr ? siblings.Add(std::move(next)) : nullptr;
}

TqzPDBookmark* TqzPDBookmark::GetPrev() const {
    if (FParent == nullptr || FIndex <= 0 || FParent->FBookmarkList == nullptr) return nullptr;
    return FParent->FBookmarkList->Get(FIndex - 1);
}

TqzPDBookmark* TqzPDBookmark::GetLastChild() {
    if (GetFirstChild() == nullptr) return nullptr;
    // Walking on from the last loaded child loads each sibling once.
    TqzPDBookmark* item = FBookmarkList->Last();
    while (TqzPDBookmark* next = item->GetNext()) item = next;
    return item;
}

TqzPDBookmark* TqzPDBookmark::GetChild(int32_t index) {
    if (index < 0 || GetFirstChild() == nullptr) return nullptr;
    if (index < FBookmarkList->Count()) return FBookmarkList->Get(index);
    TqzPDBookmark* item = FBookmarkList->Last();
    while (item != nullptr && item->FIndex < index) item = item->GetNext();
    return item;
}

bool TqzPDBookmark::IsSame(const TqzPDBookmark* bookmark) const {
    if (bookmark == nullptr || FBaseObject == nullptr || bookmark->FBaseObject == nullptr)
        return false;
    const TqzPDBaseObject& a = *FBaseObject;
    const TqzPDBaseObject& b = *bookmark->FBaseObject;
    // Direct dictionaries carry no number to tell them apart.
    if (a.IsDirect() || b.IsDirect()) return &a == &b;
    return a.GetObjNumber() == b.GetObjNumber() && a.GetGenNumber() == b.GetGenNumber();
}

TqzPDBookmark* TqzPDBookmark::GetByTitle(const std::string& name,
                                         TqzOutlineTaversalType traversalType,
                                         TqzOutlineTraversalDepth maxDepth) {
    FTitleFound = false;
    if (traversalType != TqzOutlineTaversalType::ottDepthFirst) return nullptr;
    const std::u16string wanted = UpperCased(name);
    // Depth first on a work list: an item, then its subtree (as `maxDepth`
    // allows), then its following siblings. The next sibling waits below the
    // first child, so the subtree is searched first.
    std::vector<TqzPDBookmark*> work{this};
    while (!work.empty()) {
        TqzPDBookmark* item = work.back();
        work.pop_back();
        if (UpperCased(item->GetTitle()) == wanted) {
            FTitleFound = true;
            return item;
        }
        if (TqzPDBookmark* next = item->GetNext()) work.push_back(next);
        const bool children =
            maxDepth == TqzOutlineTraversalDepth::otdFullSubtree ||
            (maxDepth == TqzOutlineTraversalDepth::otdChildrenOnly && item->FLevel <= FLevel);
        if (children) {
            if (TqzPDBookmark* child = item->GetFirstChild()) work.push_back(child);
        }
    }
    return nullptr;
}

// ---- entries ----

const std::string& TqzPDBookmark::GetTitle() {
    if (!FTitle.empty()) return FTitle;
    TqzPDDictionary* dict = GetDict();
    const TqzPDBaseObject* title = dict != nullptr ? dict->LookUp("Title") : nullptr;
    if (title == nullptr || !title->IsString()) return FTitle;
    const auto& text = static_cast<const core::TqzPDString&>(*title);
    const std::string digits =
        text.IsHexString() ? text.GetString() : core::StringToHex2(text.GetString());
    FTitle = platform::Utf16ToUtf8(core::UnicodeHexToString(digits));
    return FTitle;
}

TqzPDOutlineFlag TqzPDBookmark::GetFlags() {
    TqzPDDictionary* dict = GetDict();
    const TqzPDBaseObject* flags = dict != nullptr ? dict->LookUp("F") : nullptr;
    if (dict != nullptr && flags == nullptr) {
        FOutlineFlags.Italic = false;
        FOutlineFlags.Bold = false;
    } else if (flags != nullptr && flags->IsInteger()) {
        const int64_t bits = static_cast<const core::TqzPDInteger*>(flags)->GetValue();
        FOutlineFlags.Italic = (bits & 1) != 0;
        FOutlineFlags.Bold = (bits & 2) != 0;
    }
    return FOutlineFlags;
}

int32_t TqzPDBookmark::GetCount() {
    TqzPDDictionary* dict = GetDict();
    const TqzPDBaseObject* count = dict != nullptr ? dict->LookUp("Count") : nullptr;
    if (count != nullptr && count->IsInteger()) {
        const int64_t value = static_cast<const core::TqzPDInteger*>(count)->GetValue();
        FCount = static_cast<int32_t>(std::clamp<int64_t>(
            value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
    }
    return FCount;
}

bool TqzPDBookmark::GetColor(TqzPDColorValue& color) {
    TqzPDDictionary* dict = GetDict();
    const TqzPDBaseObject* stored = dict != nullptr ? dict->LookUp("C") : nullptr;
    const bool found = stored != nullptr && stored->IsArray();
    if (found) {
        const auto& array = static_cast<const TqzPDArray&>(*stored);
        for (int32_t i = 0; i < std::min(array.GetLength(), 4); ++i)
            FColor.Value[i] = NumberOf(array.Get(i), FColor.Value[i]);
        FColor.ColorSpace = TqzPDColorSpaceType::DeviceRGB;
    }
    color = FColor;
    return found;
}

TqzPDPage* TqzPDBookmark::GetTargetPage(const TqzNamedDestinations& names) {
    TqzPDDictionary* dict = GetDict();
    TqzPDBaseObject* destination = dict != nullptr ? TargetOf(*dict) : nullptr;
    if (destination == nullptr || FDocument == nullptr) return nullptr;
    return TargetPage(*FDocument, names.Explicit(destination));
}

void TqzPDBookmark::SetTitle(const std::string& value) {
    FTitle = value;
    TqzPDDictionary* dict = GetDict();
    if (dict == nullptr) return;
    TqzPDBaseObject* stored = dict->LookupRefObj("Title");
    const std::u16string text = platform::Utf8ToUtf16(value);
    if (stored != nullptr && stored->IsString()) {
        auto& title = static_cast<core::TqzPDString&>(*stored);
        if (title.IsHexString()) {
            title.SetString(core::StringToHex(text));
            dict->SetIsChanged(true);
            return;
        }
        if (std::all_of(text.begin(), text.end(), SameInEveryEightBitEncoding)) {
            title.SetString(platform::Utf16ToCodePage(text));
            dict->SetIsChanged(true);
            return;
        }
    }
    // Text the 8-bit form would change, and a title of another kind or
    // stored elsewhere, become a new UTF-16 string.
    dict->SetKeyValue("Title", std::make_unique<core::TqzPDString>(core::StringToHex(text), true));
}

void TqzPDBookmark::SetFlags(const TqzPDOutlineFlag& value) {
    FOutlineFlags = value;
    TqzPDDictionary* dict = GetDict();
    if (dict == nullptr) return;
    TqzPDBaseObject* stored = dict->LookupRefObj("F");
    if (stored != nullptr && stored->IsInteger()) {
        static_cast<core::TqzPDInteger*>(stored)->SetValue(FlagBits(value));
        dict->SetIsChanged(true);
        return;
    }
    dict->SetKeyValue("F", std::make_unique<core::TqzPDInteger>(FlagBits(value)));
}

void TqzPDBookmark::SetColor(const TqzPDColorValue& color) {
    FColor = color;
    TqzPDDictionary* dict = GetDict();
    if (dict != nullptr) dict->SetKeyValue("C", ColorArray(color, dict->GetParentDoc()));
}

TqzPDAction* TqzPDBookmark::GetAction() {
    TqzPDDictionary* dict = GetDict();
    if (FAction == nullptr && dict != nullptr)
        FAction = TqzPDAction::MakeAction(FDocument, this, dict->LookUp("A"));
    return FAction.get();
}

TqzPDDestination* TqzPDBookmark::GetDestination() {
    if (FDestination != nullptr) return FDestination.get();
    TqzPDDictionary* dict = GetDict();
    TqzPDBaseObject* stored = dict != nullptr ? dict->LookUp("Dest") : nullptr;
    if (stored == nullptr) return nullptr;
    if ((stored->IsName() || stored->IsString()) && FDocument != nullptr) {
        // A name the document defines is a named destination: the item leads
        // where it does.
        const TqzNamedDestinations names(*FDocument);
        if (TqzPDArray* named = names.Explicit(stored)) stored = named;
    }
    if (stored->IsArray()) {
        FDestination = std::make_unique<TqzPDDestination>(FDocument, this, stored);
    } else if (stored->IsName()) {
        FDestination = std::make_unique<TqzPDDestination>();
        FDestination->SetDisplayOption(
            DisplayOptionFromName(static_cast<core::TqzPDName*>(stored)->GetValue()));
        FDestination->SetRect(0, 0, 0, 0);
    }
    return FDestination.get();
}

void TqzPDBookmark::SetDestination(std::unique_ptr<TqzPDDestination> destination) {
    // The action goes with its entry, which may hold its dictionary.
    FAction.reset();
    FDestination = std::move(destination);
    TqzPDDictionary* dict = GetDict();
    if (dict == nullptr || FDestination == nullptr) return;
    dict->SetKeyValue("Dest", document::CreateDestArray(*FDestination, TqzDestYAxis::AsStored));
    dict->Remove("A");
}

void TqzPDBookmark::SetAction(std::unique_ptr<TqzPDAction> action) {
    // The destination goes with its entry, which may hold its array.
    FDestination.reset();
    FAction = std::move(action);
    TqzPDDictionary* dict = GetDict();
    if (dict == nullptr) return;
    dict->Remove("A");
    dict->Remove("Dest");
    if (FAction != nullptr) AddAction(*FAction, *dict);
}

void TqzPDBookmark::RemoveAction() {
    TqzPDDictionary* dict = GetDict();
    if (dict == nullptr || dict->LookupRefObj("A") == nullptr) return;
    const bool isDict = AsDictionary(dict->LookUp("A")) != nullptr;
    FAction.reset();
    dict->Remove("A");
    if (!isDict) throw ExBadAction();
}

void TqzPDBookmark::AddAction(TqzPDAction& action, TqzPDDictionary& dict) {
    if (FDocument != nullptr) AddIndirectActionDict(action, *FDocument, dict);
}

std::unique_ptr<TqzPDArray> TqzPDBookmark::CreateDestArray(TqzPDDestination& destination) {
    return document::CreateDestArray(destination, TqzDestYAxis::FromPageTop);
}

void TqzPDBookmark::RemoveTarget() {
    TqzPDDictionary* dict = GetDict();
    if (dict == nullptr) return;
    FDestination.reset();
    dict->Remove("Dest");
    if (IsGoTo(AsDictionary(dict->LookUp("A")))) {
        FAction.reset();
        dict->Remove("A");
    }
}

// ---- link operations ----

namespace {

// A /First or /Next link as a link operation is about to set it.
struct LinkChange {
    const TqzPDDictionary* From;
    std::string_view Key;
    const TqzPDDictionary* To;
};

// Whether, with `changes` made, the /First and /Next links lead from
// `item` back to it. Every link an operation adds leads into or out of the
// item it links, so any loop it closes passes through that item.
bool ClosesLoop(const TqzPDDictionary* item, std::initializer_list<LinkChange> changes) {
    const auto follow = [&](const TqzPDDictionary* dict,
                            std::string_view key) -> const TqzPDDictionary* {
        for (const LinkChange& change : changes) {
            if (change.From == dict && change.Key == key) return change.To;
        }
        return AsDictionary(dict->LookUp(key));
    };
    std::vector<const TqzPDDictionary*> work{item};
    std::unordered_set<const TqzPDDictionary*> seen{item};
    while (!work.empty()) {
        const TqzPDDictionary* dict = work.back();
        work.pop_back();
        for (const std::string_view key : {"First", "Next"}) {
            const TqzPDDictionary* to = follow(dict, key);
            if (to == item) return true;
            if (to != nullptr && seen.insert(to).second) work.push_back(to);
        }
    }
    return false;
}

void RefuseLoop(const TqzPDDictionary* item, std::initializer_list<LinkChange> changes) {
    if (ClosesLoop(item, changes)) throw core::EBrevanto(TqzPDBookmark::kLoopingLink);
}

}  // namespace

void TqzPDBookmark::AddChild(TqzPDBookmark& newChild) {
    TqzPDDictionary* dict = GetDict();
    TqzPDDictionary* child = newChild.GetDict();
    if (dict == nullptr || child == nullptr) return;
    TqzPDBookmark* last = GetLastChild();
    TqzPDDictionary* lastDict = last != nullptr ? last->GetDict() : nullptr;
    RefuseLoop(child, {{lastDict != nullptr ? lastDict : dict,
                        lastDict != nullptr ? "Next" : "First", child}});
    if (lastDict != nullptr) {
        Link(lastDict, "Next", child);
        Link(child, "Prev", lastDict);
    } else {
        Link(dict, "First", child);
    }
    Link(dict, "Last", child);
    Link(child, "Parent", dict);
}

void TqzPDBookmark::AddNext(TqzPDBookmark& newNext) {
    TqzPDDictionary* dict = GetDict();
    TqzPDDictionary* added = newNext.GetDict();
    if (dict == nullptr || added == nullptr) return;
    TqzPDBookmark* next = GetNext();
    TqzPDDictionary* nextDict = next != nullptr ? next->GetDict() : nullptr;
    if (added == dict) throw core::EBrevanto(kLoopingLink);
    RefuseLoop(added, {{dict, "Next", added}, {added, "Next", nextDict}});
    if (nextDict != nullptr) {
        Link(nextDict, "Prev", added);
        Link(added, "Next", nextDict);
    } else {
        added->SetKeyValue("Next", std::make_unique<core::TqzPDNull>());
    }
    Link(dict, "Next", added);
    Link(added, "Prev", dict);
}

void TqzPDBookmark::AddPrev(TqzPDBookmark& newPrev) {
    TqzPDDictionary* dict = GetDict();
    TqzPDDictionary* added = newPrev.GetDict();
    if (dict == nullptr || added == nullptr) return;
    TqzPDBookmark* prev = GetPrev();
    TqzPDDictionary* prevDict = prev != nullptr ? prev->GetDict() : nullptr;
    if (added == dict) throw core::EBrevanto(kLoopingLink);
    RefuseLoop(added, {{prevDict, "Next", added}, {added, "Next", dict}});
    if (prevDict != nullptr) {
        Link(prevDict, "Next", added);
        Link(added, "Prev", prevDict);
    } else {
        added->SetKeyValue("Prev", std::make_unique<core::TqzPDNull>());
    }
    Link(dict, "Prev", added);
    Link(added, "Next", dict);
}

void TqzPDBookmark::UnLink() {
    if (TqzPDDictionary* dict = GetDict()) {
        for (const char* key : {"Next", "Prev"}) {
            if (dict->LookupRefObj(key) != nullptr)
                dict->SetKeyValue(key, std::make_unique<core::TqzPDNull>());
        }
    }
    FPrev = nullptr;
    FNext = nullptr;
    FFirstChild = nullptr;
    FLastChild = nullptr;
}

bool TqzPDBookmark::DeleteChild(int32_t index) {
    TqzPDBookmark* child = GetChild(index);
    if (child == nullptr) return false;
    TqzPDDictionary* dict = GetDict();
    TqzPDBookmark* next = child->GetNext();
    if (index > 0) {
        TqzPDBookmark* prev = child->GetPrev();
        if (next != nullptr) {
            Link(next->GetDict(), "Prev", prev->GetDict());
            Link(prev->GetDict(), "Next", next->GetDict());
        } else {
            RemoveKey(prev->GetDict(), "Next");
            Link(dict, "Last", prev->GetDict());
        }
    } else if (next != nullptr) {
        Link(dict, "First", next->GetDict());
        if (next->GetNext() == nullptr) Link(dict, "Last", next->GetDict());
        RemoveKey(next->GetDict(), "Prev");
    } else {
        RemoveKey(dict, "First");
        RemoveKey(dict, "Last");
    }
    FBookmarkList->Delete(index);
    return true;
}

bool TqzPDBookmark::DeleteNext() {
    TqzPDBookmark* next = GetNext();
    if (next == nullptr) return false;
    TqzPDDictionary* dict = GetDict();
    if (TqzPDBookmark* after = next->GetNext()) {
        Link(after->GetDict(), "Prev", dict);
        Link(dict, "Next", after->GetDict());
    } else {
        RemoveKey(dict, "Next");
        Link(FParent->GetDict(), "Last", dict);
    }
    FParent->Children().Delete(next->FIndex);
    return true;
}

bool TqzPDBookmark::DeletePrev() {
    TqzPDBookmark* prev = GetPrev();
    if (prev == nullptr) return false;
    TqzPDDictionary* dict = GetDict();
    if (TqzPDBookmark* before = prev->GetPrev()) {
        Link(before->GetDict(), "Next", dict);
        Link(dict, "Prev", before->GetDict());
    } else {
        RemoveKey(dict, "Prev");
        Link(FParent->GetDict(), "First", dict);
    }
    FParent->Children().Delete(prev->FIndex);
    return true;
}

// ---- insertions ----

TqzPDDictionary* TqzPDBookmark::NewItemDict(TqzPDDictionary* parentDict, const std::string& title) {
    TqzPDBaseDoc* baseDoc = FDocument != nullptr ? FDocument->GetBaseDoc() : nullptr;
    if (baseDoc == nullptr) return nullptr;
    auto* dict = static_cast<TqzPDDictionary*>(
        baseDoc->AddNewObject(std::make_unique<TqzPDDictionary>(baseDoc)));
    Link(dict, "Parent", parentDict);
    dict->Add("Title", MakeTextString(title));
    return dict;
}

void TqzPDBookmark::FinishItemDict(TqzPDDictionary& dict, TqzPDDestination* destination,
                                   const TqzPDOutlineFlag& flag, TqzPDAction* action) {
    // The colour of the item the insertion runs on: the caller sets the new
    // item's own afterwards.
    dict.Add("C", ColorArray(FColor, dict.GetParentDoc()));
    dict.Add("F", std::make_unique<core::TqzPDInteger>(FlagBits(flag)));
    WriteTarget(dict, destination, action);
}

void TqzPDBookmark::WriteTarget(TqzPDDictionary& dict, TqzPDDestination* destination,
                                TqzPDAction* action) {
    if (destination != nullptr) {
        if (destination->GetDisplayOption() != TqzPageDisplayOptions::None)
            dict.Add("Dest", CreateDestArray(*destination));
    } else if (action != nullptr) {
        AddAction(*action, dict);
    }
}

TqzPDBookmark* TqzPDBookmark::InsertNewChild(const std::string& title,
                                             TqzPDDestination* destination,
                                             const TqzPDOutlineFlag& flag, TqzPDAction* action) {
    TqzPDDictionary* dict = GetDict();
    // A child below the depth limit could not be loaded again.
    if (dict == nullptr || FLevel + 1 > kMaxOutlineDepth) return nullptr;
    TqzPDBookmark* last = GetLastChild();
    TqzPDDictionary* made = NewItemDict(dict, title);
    if (made == nullptr) return nullptr;
    if (last != nullptr) {
        Link(made, "Prev", last->GetDict());
        Link(last->GetDict(), "Next", made);
    } else {
        Link(dict, "First", made);
    }
    Link(dict, "Last", made);
    FinishItemDict(*made, destination, flag, action);
    return Children().Add(std::make_unique<TqzPDBookmark>(FDocument, this, made));
}

TqzPDBookmark* TqzPDBookmark::InsertNewNext(const std::string& title, TqzPDDestination* destination,
                                            const TqzPDOutlineFlag& flag, TqzPDAction* action) {
    TqzPDDictionary* dict = GetDict();
    TqzPDDictionary* parentDict = FParent != nullptr ? FParent->GetDict() : nullptr;
    if (dict == nullptr || parentDict == nullptr) return nullptr;
    TqzPDBookmark* next = GetNext();
    TqzPDDictionary* made = NewItemDict(parentDict, title);
    if (made == nullptr) return nullptr;
    if (next != nullptr) {
        Link(next->GetDict(), "Prev", made);
        Link(made, "Next", next->GetDict());
    } else {
        Link(parentDict, "Last", made);
    }
    Link(made, "Prev", dict);
    Link(dict, "Next", made);
    FinishItemDict(*made, destination, flag, action);
    return FParent->Children().Insert(FIndex + 1,
                                      std::make_unique<TqzPDBookmark>(FDocument, FParent, made));
}

TqzPDBookmark* TqzPDBookmark::InsertNewPrev(const std::string& title, TqzPDDestination* destination,
                                            const TqzPDOutlineFlag& flag, TqzPDAction* action) {
    TqzPDDictionary* dict = GetDict();
    TqzPDDictionary* parentDict = FParent != nullptr ? FParent->GetDict() : nullptr;
    if (dict == nullptr || parentDict == nullptr) return nullptr;
    TqzPDBookmark* prev = GetPrev();
    TqzPDDictionary* made = NewItemDict(parentDict, title);
    if (made == nullptr) return nullptr;
    if (prev != nullptr) {
        Link(prev->GetDict(), "Next", made);
        Link(made, "Prev", prev->GetDict());
    } else {
        Link(parentDict, "First", made);
    }
    Link(made, "Next", dict);
    Link(dict, "Prev", made);
    FinishItemDict(*made, destination, flag, action);
    return FParent->Children().Insert(FIndex,
                                      std::make_unique<TqzPDBookmark>(FDocument, FParent, made));
}

}  // namespace qz::document
