#pragma once
// TqzPDBookmark: one item of the document outline (a bookmark), or the
// outline dictionary itself when it is the root the catalog hands out. Items
// are loaded lazily as a program walks the tree: each item owns the items of
// its child chain visited so far, in chain order, and each child knows its
// position in that list. The catalog owns the root, so freeing the root frees
// every loaded item. An item borrows its dictionary and its document; it owns
// the destination and action it read or was given.
//
// Outline trees come from files and may be damaged or hostile. Navigation
// follows only /First and /Next (never /Parent or /Count), each dictionary
// becomes at most one item of a tree (a /Next or /First leading back to an
// item already loaded ends the chain there, so loops end), children are not
// loaded below kMaxOutlineDepth, and no operation here recurses over the
// tree: walks and the title search run on work lists.
//
// TqzNamedDestinations: a snapshot of a document's named destinations (the
// catalog's /Dests dictionary and its /Names /Dests tree), for resolving
// many destinations of one walk by name.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/PDElement.h"

namespace qz::core {
class TqzPDArray;
class TqzPDBaseObject;
class TqzPDDictionary;
class TqzPDString;
}  // namespace qz::core

namespace qz::document {

class TqzPDAction;
class TqzPDBookmark;
class TqzPDDestination;
class TqzPDDocument;
class TqzPDPage;

// Outline trees of sound files nest a few levels. Each item owns its loaded
// children, so the nesting is also how deep freeing a tree goes; deeper
// items are not loaded.
inline constexpr int32_t kMaxOutlineDepth = 256;

enum class TqzPDColorSpaceType : uint8_t { Transparent, DeviceGray, DeviceRGB, DeviceCMYK };

// A colour: its colour space and up to four components from 0 to 1.
struct TqzPDColorValue {
    TqzPDColorSpaceType ColorSpace = TqzPDColorSpaceType::Transparent;
    double Value[4] = {0, 0, 0, 0};
};

// Style of an outline item's title; only Italic and Bold reach the file.
struct TqzPDOutlineFlag {
    bool Italic = false;
    bool Bold = false;
    bool Underline = false;
    bool StrikeOut = false;
};

enum class TqzOutlineTaversalType : uint8_t { ottDepthFirst };
enum class TqzOutlineTraversalDepth : uint8_t { otdSiblingsOnly, otdChildrenOnly, otdFullSubtree };

// The loaded children of one item, in chain order; it owns them. The entry
// at position i has index i: insertions and deletions renumber the entries
// after them.
class TqzBookmarkList {
  public:
    TqzBookmarkList();
    ~TqzBookmarkList();
    TqzBookmarkList(const TqzBookmarkList&) = delete;
    TqzBookmarkList& operator=(const TqzBookmarkList&) = delete;

    int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
    // The entry at `index`, none outside the list.
    TqzPDBookmark* Get(int32_t index) const;
    TqzPDBookmark* Last() const { return FItems.empty() ? nullptr : FItems.back().get(); }
    TqzPDBookmark* Add(std::unique_ptr<TqzPDBookmark> item);
    // Inserts at `index` (clamped to the list).
    TqzPDBookmark* Insert(int32_t index, std::unique_ptr<TqzPDBookmark> item);
    // Frees the entry at `index` with its loaded children.
    void Delete(int32_t index);

  private:
    void Renumber(size_t from);

    std::vector<std::unique_ptr<TqzPDBookmark>> FItems;
};

// The named destinations of a document as they stand when it is made: each
// name with the value stored for it. Reading it writes the names that merges
// keep pending into the document's trees first. A tree too damaged to read
// (beyond the name-tree limits) counts as holding no names.
class TqzNamedDestinations {
  public:
    explicit TqzNamedDestinations(TqzPDDocument& document);

    // The explicit destination (an array) that `destination` stands for: an
    // array itself, a dictionary's /D, or what a name (/Dests first) or a
    // string (the name tree first) is defined as. None when it stands for
    // nothing.
    core::TqzPDArray* Explicit(core::TqzPDBaseObject* destination) const;

  private:
    core::TqzPDBaseObject* Resolve(core::TqzPDBaseObject* stored) const;
    core::TqzPDBaseObject* Lookup(const core::TqzPDBaseObject& name) const;

    TqzPDDocument& FDocument;
    // By the bytes of the name; the values as stored.
    std::unordered_map<std::string, core::TqzPDBaseObject*> FTree;
    std::unordered_map<std::string, core::TqzPDBaseObject*> FDests;
};

// A text string holding `utf8`: literal where its bytes read alike in every
// 8-bit encoding a reader may apply, else UTF-16 with a byte-order mark, so
// that no character is lost or read as another.
std::unique_ptr<core::TqzPDString> MakeTextString(const std::string& utf8);

// The destination an outline item or a link leads to, as stored: its /Dest,
// else the /D of its go-to /A; none when it has neither.
core::TqzPDBaseObject* TargetOf(const core::TqzPDDictionary& dict);

// The dictionary `holder` keeps under `key`, made an indirect object of the
// document when it is stored direct: outline items refer to one another, and
// a direct dictionary would be freed under its item by the next change of
// the entry that holds it. None when there is no dictionary.
core::TqzPDDictionary* IndirectDict(TqzPDDocument* document, core::TqzPDDictionary& holder,
                                    std::string_view key);

// The page an explicit destination array leads to: its first element a
// page object of `document`, or a 0-based page index; none otherwise.
TqzPDPage* TargetPage(TqzPDDocument& document, const core::TqzPDArray* destination);

class TqzPDBookmark : public core::TqzPDElement {
  public:
    // `document` and `baseObject` may be none. The level is 0 unless the
    // parent element is an item.
    TqzPDBookmark(TqzPDDocument* document, core::TqzPDElement* parentElement,
                  core::TqzPDBaseObject* baseObject);
    TqzPDBookmark();
    ~TqzPDBookmark() override;
    TqzPDBookmark(const TqzPDBookmark&) = delete;
    TqzPDBookmark& operator=(const TqzPDBookmark&) = delete;

    // Items write their entries when they are set.
    void Update() override {}

    TqzPDDocument* GetDocument() const { return FDocument; }
    // The item's dictionary; none without one.
    core::TqzPDDictionary* GetDict() const;

    // ---- navigation ----
    // The parent element when it is an item, else none.
    TqzPDBookmark* GetParent() const { return FParent; }
    TqzPDBookmark* GetFirstChild();
    bool HasChildren() { return GetFirstChild() != nullptr; }
    TqzPDBookmark* GetNext();
    TqzPDBookmark* GetPrev() const;
    // Loads the whole child chain.
    TqzPDBookmark* GetLastChild();
    // Loads the chain up to `index`; none past its end.
    TqzPDBookmark* GetChild(int32_t index);
    int32_t GetIndent() const { return FLevel; }
    int32_t GetLevel() const { return FLevel; }
    // Position in the parent's child list.
    int32_t GetIndex() const { return FIndex; }
    // The children loaded so far; none before the first GetFirstChild.
    const TqzBookmarkList* GetBookmarkList() const { return FBookmarkList.get(); }
    // Both items stand for the same dictionary.
    bool IsSame(const TqzPDBookmark* bookmark) const;
    // The first item, depth first from this one, whose title equals `name`
    // ignoring case: among this item's following siblings (and, by
    // `maxDepth`, their children or whole subtrees). Sets GetTitleFound.
    TqzPDBookmark* GetByTitle(const std::string& name, TqzOutlineTaversalType traversalType,
                              TqzOutlineTraversalDepth maxDepth);
    bool GetTitleFound() const { return FTitleFound; }

    // ---- entries ----
    // /Title as UTF-8, read while the cached title is empty.
    const std::string& GetTitle();
    TqzPDOutlineFlag GetFlags();
    // The last integer /Count read.
    int32_t GetCount();
    // False without a /C array; `color` receives the cached colour in any case.
    bool GetColor(TqzPDColorValue& color);
    // The action of /A, made on first use; none without /A or for a kind
    // MakeAction makes nothing of. Owned by the item.
    TqzPDAction* GetAction();
    // The destination of /Dest, made on first use: over an array; for a name
    // or string the document defines as a named destination, over the array
    // it stands for; for another name, the display option it names with no
    // page and a rectangle of zeros. None otherwise. Owned by the item.
    TqzPDDestination* GetDestination();
    // The page the item leads to, through /Dest or a go-to /A, named
    // destinations resolved through `names`; none when it leads nowhere.
    TqzPDPage* GetTargetPage(const TqzNamedDestinations& names);

    // Each setter updates its cached field even when the item has no
    // dictionary to write to.
    void SetTitle(const std::string& value);
    void SetFlags(const TqzPDOutlineFlag& value);
    // /C as three reals; a grey or CMYK colour is written as its RGB.
    void SetColor(const TqzPDColorValue& color);
    // /Dest := the destination's array, its numbers as they stand; /A goes.
    // The item keeps the destination.
    void SetDestination(std::unique_ptr<TqzPDDestination> destination);
    // /A := a new indirect dictionary written from the action; /Dest goes.
    // The item keeps the action.
    void SetAction(std::unique_ptr<TqzPDAction> action);
    // Removes /A; ExBadAction when what it removed was not a dictionary.
    void RemoveAction();
    // Adds to `dict` /A, a reference to a new indirect dictionary written
    // from `action` (the outline item's form).
    void AddAction(TqzPDAction& action, core::TqzPDDictionary& dict);
    // The destination as a new array, its Top and Bottom taken as measured
    // down from the top of its page; the destination itself is left as it is.
    std::unique_ptr<core::TqzPDArray> CreateDestArray(TqzPDDestination& destination);
    // Removes what the item leads to: /Dest, and /A when it is a go-to
    // action. Title and place stay.
    void RemoveTarget();

    // ---- tree changes ----
    // A new item with `title`, `flag` and, when given, the destination
    // (written with its Top and Bottom measured down from the page's top)
    // or else the action: as last child, next sibling or previous sibling.
    // None, and nothing written, next to an item without a parent item.
    TqzPDBookmark* InsertNewChild(const std::string& title, TqzPDDestination* destination,
                                  const TqzPDOutlineFlag& flag, TqzPDAction* action);
    TqzPDBookmark* InsertNewNext(const std::string& title, TqzPDDestination* destination,
                                 const TqzPDOutlineFlag& flag, TqzPDAction* action);
    TqzPDBookmark* InsertNewPrev(const std::string& title, TqzPDDestination* destination,
                                 const TqzPDOutlineFlag& flag, TqzPDAction* action);
    TqzPDBookmark* AddNewChild(const std::string& title, TqzPDDestination* destination,
                               const TqzPDOutlineFlag& flag) {
        return InsertNewChild(title, destination, flag, nullptr);
    }
    TqzPDBookmark* AddNewChild(const std::string& title, TqzPDAction* action,
                               const TqzPDOutlineFlag& flag) {
        return InsertNewChild(title, nullptr, flag, action);
    }
    TqzPDBookmark* AddNewNext(const std::string& title, TqzPDDestination* destination,
                              const TqzPDOutlineFlag& flag) {
        return InsertNewNext(title, destination, flag, nullptr);
    }
    TqzPDBookmark* AddNewNext(const std::string& title, TqzPDAction* action,
                              const TqzPDOutlineFlag& flag) {
        return InsertNewNext(title, nullptr, flag, action);
    }
    TqzPDBookmark* AddNewPrev(const std::string& title, TqzPDDestination* destination,
                              const TqzPDOutlineFlag& flag) {
        return InsertNewPrev(title, destination, flag, nullptr);
    }
    TqzPDBookmark* AddNewPrev(const std::string& title, TqzPDAction* action,
                              const TqzPDOutlineFlag& flag) {
        return InsertNewPrev(title, nullptr, flag, action);
    }
    TqzPDBookmark* AddNewSibling(const std::string& /*initialText*/) { return nullptr; }
    void AddSubTree(TqzPDBookmark* /*source*/, const std::string& /*sourceTitle*/) {}

    // Link operations on existing items: they change dictionaries only. A
    // link after which the /First and /Next links would lead from the item
    // linked back to itself (the item itself, an ancestor, an item already in
    // the chain it joins) raises kLoopingLink and changes nothing.
    static constexpr const char* kLoopingLink = "An outline item cannot be linked into a loop";
    void AddChild(TqzPDBookmark& newChild);
    void AddNext(TqzPDBookmark& newNext);
    void AddPrev(TqzPDBookmark& newPrev);
    void UnLink();
    // Each frees the removed item and its loaded children; false when there
    // is nothing to remove.
    bool DeleteChild(int32_t index);
    bool DeleteNext();
    bool DeletePrev();

  private:
    friend class TqzBookmarkList;
    struct LoadedItems;

    // A new item under `parentItem` over the dictionary `holder` keeps under
    // `key`, or none when that is no dictionary, is an item of this tree
    // already, or lies below the depth limit.
    std::unique_ptr<TqzPDBookmark> MakeItem(core::TqzPDDictionary* holder, std::string_view key,
                                            TqzPDBookmark* parentItem);
    TqzBookmarkList& Children();
    // Forgets the loaded items of this subtree, so that their dictionaries
    // can be loaded again elsewhere.
    void ForgetSubtree();
    // A new indirect item dictionary with /Parent and /Title.
    core::TqzPDDictionary* NewItemDict(core::TqzPDDictionary* parentDict, const std::string& title);
    // /C, /F and the target of a new item dictionary.
    void FinishItemDict(core::TqzPDDictionary& dict, TqzPDDestination* destination,
                        const TqzPDOutlineFlag& flag, TqzPDAction* action);
    void WriteTarget(core::TqzPDDictionary& dict, TqzPDDestination* destination,
                     TqzPDAction* action);

    TqzPDDocument* FDocument = nullptr;
    TqzPDBookmark* FParent = nullptr;
    TqzPDBookmark* FPrev = nullptr;
    TqzPDBookmark* FNext = nullptr;
    TqzPDBookmark* FFirstChild = nullptr;
    TqzPDBookmark* FLastChild = nullptr;
    int32_t FCount = 0;
    std::unique_ptr<TqzPDAction> FAction;
    TqzPDOutlineFlag FOutlineFlags;
    TqzPDColorValue FColor;
    std::string FTitle;
    std::unique_ptr<TqzPDDestination> FDestination;
    int32_t FLevel = 0;
    int32_t FIndex = 0;
    std::unique_ptr<TqzBookmarkList> FBookmarkList;
    bool FTitleFound = false;
    // The dictionaries loaded as items of this tree, shared by its items.
    std::shared_ptr<LoadedItems> FLoaded;
};

}  // namespace qz::document
