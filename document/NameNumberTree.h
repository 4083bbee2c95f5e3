#pragma once
// Name trees and number trees (named destinations, page labels): every entry
// of one read in tree order, and a new tree made from entries. Reading
// borrows the tree; the entries point at the values as the tree stores them.
// A tree made here is a new direct root whose leaves are new indirect
// objects of the document, which owns them.
//
// Trees come from files and may be damaged: nodes are walked with a work
// list, each node once (a cycle ends), and the walk is bounded in depth and
// in entries.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qz::core {
class TqzPDBaseObject;
class TqzPDDictionary;
}  // namespace qz::core

namespace qz::document {

class TqzPDBaseDoc;

// Deepest tree read: balanced trees hold millions of entries within a few
// levels, so deeper ones are built to stall the reader.
inline constexpr int32_t kMaxTreeDepth = 64;
// Most entries read from one tree: far more than any document defines, and
// what a hostile tree can make a merge hold in memory.
inline constexpr size_t kMaxTreeEntries = 1'000'000;
// Entries per leaf of a tree made here: readers search a leaf entry by
// entry, and the root lists every leaf.
inline constexpr size_t kTreeLeafSize = 256;

// The bytes a name stands for, as tree keys and destination names are
// written: a string's bytes or a name's text; none for other objects.
std::optional<std::string> NameText(const core::TqzPDBaseObject* object);

struct TqzNameTreeEntry {
    std::string Key;                     // the bytes of the key string
    const core::TqzPDBaseObject* Value;  // as stored (a reference or a direct value)
};

struct TqzNumberTreeEntry {
    int64_t Key;
    const core::TqzPDBaseObject* Value;
};

// Entries that own their values, as a tree made here takes them.
using TqzOwnedNameEntries =
    std::vector<std::pair<std::string, std::unique_ptr<core::TqzPDBaseObject>>>;
using TqzOwnedNumberEntries =
    std::vector<std::pair<int64_t, std::unique_ptr<core::TqzPDBaseObject>>>;

// The entries of the name tree `root` (resolved; none gives none), in tree
// order. A key that is not a string (or a name, as some producers write) is
// skipped with its value. ExLimitExceeded beyond kMaxTreeDepth or
// kMaxTreeEntries.
std::vector<TqzNameTreeEntry> ReadNameTree(core::TqzPDBaseObject* root);
// The same, the values moved out of the tree, which is left without entries:
// for a tree about to be replaced by a new one holding them.
TqzOwnedNameEntries TakeNameTree(core::TqzPDBaseObject* root);
// The entries of a number tree; keys that are not integers are skipped.
std::vector<TqzNumberTreeEntry> ReadNumberTree(core::TqzPDBaseObject* root);

// A new tree of `entries`, sorted by key here (equal keys keep their order);
// the values become the tree's. A name tree of more than kTreeLeafSize
// entries has a root that lists leaves, each an indirect object of
// `baseDoc` with its /Limits; a number tree is one direct root.
std::unique_ptr<core::TqzPDDictionary> MakeNameTree(TqzOwnedNameEntries entries,
                                                    TqzPDBaseDoc& baseDoc);
std::unique_ptr<core::TqzPDDictionary> MakeNumberTree(TqzOwnedNumberEntries entries,
                                                      TqzPDBaseDoc& baseDoc);

}  // namespace qz::document
