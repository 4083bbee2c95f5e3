#pragma once
// TqzPDFOutline: the component's wrapper over one outline item of its
// document model (or, for the root, over the outline dictionary), with
// navigation, insertion, change, deletion and the title search.
//
// Every answer comes from the model: a wrapper keeps the wrappers of its
// children in a cache keyed by their model items, so a wrapper found by any
// road (first or last child, next or previous sibling, a search) is the one
// wrapper of that item, and no cache position can drift from the model's
// order. Each wrapper has one owner: its parent wrapper's cache, or the
// component for the root; freeing a wrapper frees its cached subtree. The
// destination and action wrappers an item hands out borrow the model's
// objects and stay valid until the item's target changes or it is deleted.
// Wrappers borrow their model items and the component; they never touch a
// model item in their destructor.

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "component/ActionWrappers.h"
#include "document/PDBookmark.h"

namespace qz::component {

class TqzCustomPDFDocument;

enum class TqzBookmarkTraversalType : uint8_t { bttDepthFirst };
enum class TqzBookmarkTraversalDepth : uint8_t { btdSiblingsOnly, btdChildrenOnly, btdFullSubTree };

// One outline item as a tree of plain values, for callers that show the
// outline: its title, the page it leads to (0 for none) and its children.
struct TqzBookmarkNode {
    std::string Title;
    int32_t PageNumber = 0;
    std::vector<TqzBookmarkNode> Children;
};

class TqzPDFOutline {
public:
    // Over `item` (borrowed) of `parentDoc`'s model; `parent` is none for the
    // root. Made by the component and by the parent wrapper only.
    TqzPDFOutline(TqzCustomPDFDocument* parentDoc, TqzPDFOutline* parent, document::TqzPDBookmark* item);
    ~TqzPDFOutline();
    TqzPDFOutline(const TqzPDFOutline&) = delete;
    TqzPDFOutline& operator=(const TqzPDFOutline&) = delete;

    document::TqzPDBookmark* GetPDBookmark() const { return FPDBookmark; }

    // ---- navigation (none at the ends of chains) ----
    TqzPDFOutline* GetChild() { return GetFirstChild(); }
    TqzPDFOutline* GetFirstChild();
    TqzPDFOutline* GetLastChild();
    TqzPDFOutline* GetNext();
    TqzPDFOutline* GetNextNode() { return GetNext(); }
    TqzPDFOutline* GetPrev();
    TqzPDFOutline* GetPrevNode() { return GetPrev(); }
    TqzPDFOutline* GetParent() const { return FParent; }
    // The model's level (1 for top-level items) and position among the
    // siblings; 0 without an item.
    int32_t GetLevel() const;
    int32_t GetBookmarkIndex() const;
    std::string GetTitle() const;

    // The item's destination: its /Dest, else its go-to action's. Borrowed
    // from the model, with the numbers as the file holds them (Top measured
    // up from the bottom); the page number is the page's number now. None
    // when the item has neither.
    TqzPDFDestination* GetDestination();
    // The item's action of a kind the component wraps (go-to, remote go-to,
    // launch, URI, JavaScript), borrowed from the model; none otherwise.
    TqzPDFAction* GetAction();

    // ---- insertions: the new item's wrapper, none without a document or
    // item (or next to the root) ----
    // The destination's page number is a page of this document; its Top and
    // Bottom are measured down from the top of the page. A go-to action's
    // numbers are in the component's MeasurementUnit. The caller keeps its
    // wrappers: the item is written from them, never takes them.
    TqzPDFOutline* AddChild(const std::string& Title, const TqzPDFDestination& Destination,
                            const TqzBookmarkAttribute& OutLineAttribute);
    TqzPDFOutline* AddChild(const std::string& Title, TqzPDFAction& Action,
                            const TqzBookmarkAttribute& OutLineAttribute);
    TqzPDFOutline* AppendChild(const std::string& Title, const TqzPDFDestination& Destination,
                               const TqzBookmarkAttribute& OutLineAttribute) {
        return AddChild(Title, Destination, OutLineAttribute);
    }
    TqzPDFOutline* AppendChild(const std::string& Title, TqzPDFAction& Action,
                               const TqzBookmarkAttribute& OutLineAttribute) {
        return AddChild(Title, Action, OutLineAttribute);
    }
    TqzPDFOutline* AddNext(const std::string& Title, const TqzPDFDestination& Destination,
                           const TqzBookmarkAttribute& OutLineAttribute);
    TqzPDFOutline* AddNext(const std::string& Title, TqzPDFAction& Action,
                           const TqzBookmarkAttribute& OutLineAttribute);
    TqzPDFOutline* AddPrev(const std::string& Title, const TqzPDFDestination& Destination,
                           const TqzBookmarkAttribute& OutLineAttribute);
    TqzPDFOutline* AddPrev(const std::string& Title, TqzPDFAction& Action,
                           const TqzBookmarkAttribute& OutLineAttribute);

    // ---- changes: title, style, colour and target; the item keeps copies ----
    void Modify(const std::string& Title, const TqzPDFDestination& Destination,
                const TqzBookmarkAttribute& OutLineAttribute);
    void Modify(const std::string& Title, TqzPDFAction& Action, const TqzBookmarkAttribute& OutLineAttribute);
    // Modify on the next or previous sibling; nothing without one.
    void ModifyNext(const std::string& Title, const TqzPDFDestination& Destination,
                    const TqzBookmarkAttribute& OutLineAttribute);
    void ModifyNext(const std::string& Title, TqzPDFAction& Action, const TqzBookmarkAttribute& OutLineAttribute);
    void ModifyPrev(const std::string& Title, const TqzPDFDestination& Destination,
                    const TqzBookmarkAttribute& OutLineAttribute);
    void ModifyPrev(const std::string& Title, TqzPDFAction& Action, const TqzBookmarkAttribute& OutLineAttribute);

    // ---- deletions: true when an item went; its wrapper (and those of its
    // subtree) are freed with it ----
    bool DeleteChild();
    bool DeleteNext();
    bool DeletePrev();

    // The first item, depth first from this one, titled `ATitle` ignoring
    // case: among this item's following siblings and, by `AMaxDepth`, their
    // children or whole subtrees. Each search starts afresh.
    TqzPDFOutline* GetByTitle(const std::string& ATitle, TqzBookmarkTraversalType ATraversalType,
                              TqzBookmarkTraversalDepth AMaxDepth);
    bool GetTitleFound() const { return FTitleFound; }

    // The wrapper of `item`, one of this wrapper's item's children, made
    // and cached when missing.
    TqzPDFOutline* WrapperOf(document::TqzPDBookmark* item);
    // The wrapper of any item of the tree this wrapper belongs to; none for
    // an item of another tree.
    TqzPDFOutline* WrapperOfDescendant(document::TqzPDBookmark* item);

private:
    // Where an insertion puts the new item, relative to this one.
    enum class Place : uint8_t { Child, Next, Prev };

    TqzPDFOutline* Insert(Place place, const std::string& title, document::TqzPDDestination* destination,
                          document::TqzPDAction* action, const TqzBookmarkAttribute& attribute);
    TqzPDFOutline* Insert(Place place, const std::string& title, const TqzPDFDestination& destination,
                          const TqzBookmarkAttribute& attribute);
    TqzPDFOutline* Insert(Place place, const std::string& title, TqzPDFAction& action,
                          const TqzBookmarkAttribute& attribute);
    // The title, style and colour of Modify; the target is the caller's.
    void ModifyEntries(const std::string& title, const TqzBookmarkAttribute& attribute);
    // Forgets the destination and action wrappers after the item's target
    // changed.
    void ForgetTarget();
    // Frees the cached wrapper of `item` (and its subtree).
    void Drop(document::TqzPDBookmark* item);
    TqzPDFOutline* Root();

    document::TqzPDBookmark* FPDBookmark;
    std::unordered_map<document::TqzPDBookmark*, std::unique_ptr<TqzPDFOutline>> FBookmarkList;
    TqzPDFOutline* FParent;
    TqzCustomPDFDocument* FParentDoc;
    std::unique_ptr<TqzPDFDestination> FDestination;
    std::unique_ptr<TqzPDFAction> FOutlineAction;
    bool FTitleFound = false;
};

// The model's outline flag and colour for an attribute: bold, italic,
// underline and strike-out; the colour as DeviceRGB components of 0 to 1.
void GetBookmarkProperties(const TqzBookmarkAttribute& OutLineAttribute, document::TqzPDOutlineFlag& flag,
                           document::TqzPDColorValue& colour);

}  // namespace qz::component
