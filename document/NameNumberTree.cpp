#include "document/NameNumberTree.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <optional>
#include <string_view>
#include <unordered_set>

#include "core/PDArray.h"
#include "core/PDBaseExceptions.h"
#include "core/PDDictionary.h"
#include "core/PDIndirectRef.h"
#include "core/PDInteger.h"
#include "core/PDName.h"
#include "core/PDString.h"
#include "document/PDBaseDoc.h"

namespace qz::document {

using core::TqzPDArray;
using core::TqzPDBaseObject;
using core::TqzPDDictionary;

namespace {

TqzPDDictionary* AsDict(TqzPDBaseObject* object) {
    return object && object->IsDict() ? static_cast<TqzPDDictionary*>(object) : nullptr;
}

TqzPDArray* AsArray(TqzPDBaseObject* object) {
    return object && object->IsArray() ? static_cast<TqzPDArray*>(object) : nullptr;
}

// Calls `leaf` with the key-value array (named `arrayKey`) of every node of
// the tree at `root`, in tree order.
void WalkTree(TqzPDBaseObject* root, std::string_view arrayKey,
              const std::function<void(TqzPDArray& pairs)>& leaf) {
    struct Node {
        TqzPDDictionary* Dict;
        int32_t Depth;
    };
    std::vector<Node> work;
    std::unordered_set<const TqzPDBaseObject*> visited;
    if (TqzPDDictionary* dict = AsDict(root)) work.push_back({dict, 0});
    size_t entries = 0;
    while (!work.empty()) {
        const Node node = work.back();
        work.pop_back();
        // A node reached a second time (a cycle, or a kid listed twice) adds
        // nothing new.
        if (!visited.insert(node.Dict).second) continue;
        if (node.Depth > kMaxTreeDepth) {
            throw core::ExLimitExceeded("Name or number tree nested deeper than " +
                                        std::to_string(kMaxTreeDepth) + " levels");
        }
        if (TqzPDArray* pairs = AsArray(node.Dict->LookUp(arrayKey))) {
            entries += static_cast<size_t>(pairs->GetLength() / 2);
            if (entries > kMaxTreeEntries) {
                throw core::ExLimitExceeded("Name or number tree with more than " +
                                            std::to_string(kMaxTreeEntries) + " entries");
            }
            leaf(*pairs);
        }
        if (const TqzPDArray* kids = AsArray(node.Dict->LookUp("Kids"))) {
            // Pushed last first, so that the kids are read in their order.
            for (int32_t i = kids->GetLength(); i-- > 0;) {
                if (TqzPDDictionary* kid = AsDict(kids->Get(i)))
                    work.push_back({kid, node.Depth + 1});
            }
        }
    }
}

// The key object a tree of this key type writes.
std::unique_ptr<TqzPDBaseObject> KeyObject(const std::string& key) {
    return std::make_unique<core::TqzPDString>(key, false);
}

std::unique_ptr<TqzPDBaseObject> KeyObject(int64_t key) {
    auto number = std::make_unique<core::TqzPDInteger>(0);
    number->SetValue(key);
    return number;
}

template <class Key>
std::unique_ptr<TqzPDDictionary> MakeTree(
    std::vector<std::pair<Key, std::unique_ptr<TqzPDBaseObject>>> entries,
    std::string_view arrayKey, size_t leafSize, TqzPDBaseDoc& baseDoc) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    auto* doc = static_cast<core::TqzParentDocument*>(&baseDoc);
    const auto leaf = [&](size_t first, size_t last) {
        auto dict = std::make_unique<TqzPDDictionary>(doc);
        auto pairs = std::make_unique<TqzPDArray>(doc);
        for (size_t i = first; i < last; ++i) {
            pairs->Add(KeyObject(entries[i].first));
            pairs->Add(std::move(entries[i].second));
        }
        dict->Add(arrayKey, std::move(pairs));
        return dict;
    };
    if (entries.size() <= leafSize) return leaf(0, entries.size());
    auto root = std::make_unique<TqzPDDictionary>(doc);
    auto kids = std::make_unique<TqzPDArray>(doc);
    for (size_t first = 0; first < entries.size(); first += leafSize) {
        const size_t last = std::min(entries.size(), first + leafSize);
        auto limits = std::make_unique<TqzPDArray>(doc);
        limits->Add(KeyObject(entries[first].first));
        limits->Add(KeyObject(entries[last - 1].first));
        auto node = leaf(first, last);
        node->Add("Limits", std::move(limits));
        const TqzPDBaseObject* entered = baseDoc.AddNewObject(std::move(node));
        kids->Add(std::make_unique<core::TqzPDIndirectRef>(entered->GetObjNumber(), 0));
    }
    root->Add("Kids", std::move(kids));
    return root;
}

}  // namespace

std::optional<std::string> NameText(const TqzPDBaseObject* object) {
    if (object && object->IsString())
        return static_cast<const core::TqzPDString*>(object)->GetBytes();
    if (object && object->IsName()) return static_cast<const core::TqzPDName*>(object)->GetValue();
    return std::nullopt;
}

std::vector<TqzNameTreeEntry> ReadNameTree(TqzPDBaseObject* root) {
    std::vector<TqzNameTreeEntry> entries;
    WalkTree(root, "Names", [&](TqzPDArray& pairs) {
        for (int32_t i = 0; i + 1 < pairs.GetLength(); i += 2) {
            if (auto key = NameText(pairs.Get(i)))
                entries.push_back({std::move(*key), pairs.GetRefObj(i + 1)});
        }
    });
    return entries;
}

TqzOwnedNameEntries TakeNameTree(TqzPDBaseObject* root) {
    TqzOwnedNameEntries entries;
    WalkTree(root, "Names", [&](TqzPDArray& pairs) {
        auto& elements = pairs.GetArray()->Elements();
        for (size_t i = 0; i + 1 < elements.size(); i += 2) {
            if (auto key = NameText(pairs.Get(static_cast<int32_t>(i)))) {
                entries.emplace_back(std::move(*key), std::move(elements[i + 1]));
            }
        }
        elements.clear();
    });
    return entries;
}

std::vector<TqzNumberTreeEntry> ReadNumberTree(TqzPDBaseObject* root) {
    std::vector<TqzNumberTreeEntry> entries;
    WalkTree(root, "Nums", [&](TqzPDArray& pairs) {
        for (int32_t i = 0; i + 1 < pairs.GetLength(); i += 2) {
            const TqzPDBaseObject* key = pairs.Get(i);
            if (key && key->IsInteger()) {
                entries.push_back({static_cast<const core::TqzPDInteger*>(key)->GetValue(),
                                   pairs.GetRefObj(i + 1)});
            }
        }
    });
    return entries;
}

std::unique_ptr<TqzPDDictionary> MakeNameTree(TqzOwnedNameEntries entries, TqzPDBaseDoc& baseDoc) {
    return MakeTree(std::move(entries), "Names", kTreeLeafSize, baseDoc);
}

std::unique_ptr<TqzPDDictionary> MakeNumberTree(TqzOwnedNumberEntries entries,
                                                TqzPDBaseDoc& baseDoc) {
    // One flat root: a number tree here holds one entry per run of page
    // labels, and replacing a direct root leaves no objects behind.
    return MakeTree(std::move(entries), "Nums", std::numeric_limits<size_t>::max(), baseDoc);
}

}  // namespace qz::document
