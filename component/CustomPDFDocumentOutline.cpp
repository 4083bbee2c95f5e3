// The document component's outline: its wrappers' root, the outline as
// titles and nodes, the destinations of go-to actions, and the copy of a
// merged source's outline onto the pages its merge copied.

#include <algorithm>
#include <limits>
#include <unordered_set>

#include "component/CustomPDFDocument.h"
#include "component/MeasurementUnits.h"
#include "core/PDArray.h"
#include "core/PDDictionary.h"
#include "core/PDIndirectRef.h"
#include "core/PDInteger.h"
#include "document/ObjectCopy.h"
#include "document/PDBaseDoc.h"
#include "document/PDCatalog.h"
#include "document/PDPage.h"
#include "document/PDPageInsertion.h"

namespace qz::component {

namespace {

using core::TqzPDBaseObject;
using core::TqzPDDictionary;
using document::TqzPDBookmark;

// The open or closed state /Count gives: open above 0, closed below; none
// when absent or 0 (readers show such an item closed).
int32_t CountSign(const TqzPDDictionary& dict) {
    const TqzPDBaseObject* count = dict.LookUp("Count");
    if (count == nullptr || !count->IsInteger()) return 0;
    const int64_t value = static_cast<const core::TqzPDInteger*>(count)->GetValue();
    return value > 0 ? 1 : (value < 0 ? -1 : 0);
}

// /Count as a 32-bit integer: a visible count beyond it is a hostile file's.
std::unique_ptr<core::TqzPDInteger> CountValue(int64_t value) {
    constexpr int64_t kLimit = std::numeric_limits<int32_t>::max();
    return std::make_unique<core::TqzPDInteger>(static_cast<int32_t>(std::clamp(value, -kLimit, kLimit)));
}

// A name or string destination.
bool IsNamed(const TqzPDBaseObject* destination) {
    return destination != nullptr && (destination->IsName() || destination->IsString());
}

// The walk of a tree of items from the model, depth first, each item before
// its children. The model loads each dictionary once per tree and no deeper
// than kMaxOutlineDepth; the walk keeps its own record of both.
template <class Visit>
void WalkOutline(TqzPDBookmark* first, Visit&& visit) {
    struct Step {
        TqzPDBookmark* Item;
        int32_t Depth;
    };
    std::vector<Step> work{{first, 0}};
    std::unordered_set<const TqzPDBookmark*> seen;
    while (!work.empty()) {
        const Step step = work.back();
        work.pop_back();
        if (step.Item == nullptr || step.Depth > document::kMaxOutlineDepth || !seen.insert(step.Item).second)
            continue;
        visit(*step.Item, step.Depth);
        // The sibling waits below the first child: the subtree comes first.
        work.push_back({step.Item->GetNext(), step.Depth});
        work.push_back({step.Item->GetFirstChild(), step.Depth + 1});
    }
}

// Whether `document` has an outline dictionary: reading one that has none
// would give it an empty one.
bool HasOutlineDictionary(const document::TqzPDDocument& document) {
    const document::TqzPDCatalog* catalog = document.GetCatalog();
    const TqzPDDictionary* dict = catalog != nullptr ? catalog->GetDict() : nullptr;
    const TqzPDBaseObject* outlines = dict != nullptr ? dict->LookUp("Outlines") : nullptr;
    return outlines != nullptr && outlines->IsDict();
}

}  // namespace

// What the copy of one source's outline needs: the copier that copied its
// pages, the source's named destinations, and where top-level copies go.
struct TqzCustomPDFDocument::OutlineCopy {
    document::TqzObjectCopier& Copier;
    document::TqzNamedDestinations SourceNames;
    // Top-level copies go before this item; none: after the last.
    TqzPDBookmark* Anchor = nullptr;
};

// ---- root, titles and nodes ----

TqzPDFOutline* TqzCustomPDFDocument::GetBookmarkRoot() {
    if (!HasUsableDocument()) return nullptr;
    // Wrappers made over another model (before a load, Reset or take-over)
    // point at items that are gone.
    if (FOutlines != nullptr && FOutlinesModel.lock() != FPDDoc) FOutlines.reset();
    if (FOutlines == nullptr) {
        document::TqzPDBookmark* root = FPDDoc->GetBookmarkRoot();
        if (root == nullptr) return nullptr;
        FOutlines = std::make_unique<TqzPDFOutline>(this, nullptr, root);
        FOutlinesModel = FPDDoc;
    }
    return FOutlines.get();
}

TqzPDFOutline* TqzCustomPDFDocument::GetBookmark(const std::string& ATitle, TqzBookmarkTraversalDepth ADepth) {
    TqzPDFOutline* root = HasUsableDocument() && HasOutlineDictionary(*FPDDoc) ? GetBookmarkRoot() : nullptr;
    return root != nullptr ? root->GetByTitle(ATitle, TqzBookmarkTraversalType::bttDepthFirst, ADepth) : nullptr;
}

std::vector<std::string> TqzCustomPDFDocument::GetBookMarkAsString() {
    std::vector<std::string> titles;
    if (TqzPDFOutline* root = HasUsableDocument() && HasOutlineDictionary(*FPDDoc) ? GetBookmarkRoot() : nullptr) {
        WalkOutline(root->GetPDBookmark()->GetFirstChild(),
                    [&](TqzPDBookmark& item, int32_t) { titles.push_back(item.GetTitle()); });
    }
    if (titles.empty()) titles.emplace_back(" ");
    return titles;
}

std::vector<TqzBookmarkNode> TqzCustomPDFDocument::GetBookMarks() {
    // Flat first, each node with its parent's position, then each moved into
    // its parent from the last: no recursion over the tree.
    std::vector<TqzBookmarkNode> flat;
    std::vector<int64_t> parentOf;
    if (TqzPDFOutline* root = HasUsableDocument() && HasOutlineDictionary(*FPDDoc) ? GetBookmarkRoot() : nullptr) {
        const document::TqzNamedDestinations names(*FPDDoc);
        std::vector<int64_t> openAtDepth;
        WalkOutline(root->GetPDBookmark()->GetFirstChild(), [&](TqzPDBookmark& item, int32_t depth) {
            openAtDepth.resize(static_cast<size_t>(depth) + 1);
            parentOf.push_back(depth == 0 ? -1 : openAtDepth[static_cast<size_t>(depth) - 1]);
            openAtDepth[static_cast<size_t>(depth)] = static_cast<int64_t>(flat.size());
            document::TqzPDPage* page = item.GetTargetPage(names);
            flat.push_back({item.GetTitle(), page != nullptr ? page->GetPageNum() : 0, {}});
        });
    }
    std::vector<TqzBookmarkNode> nodes;
    for (size_t i = flat.size(); i-- > 0;) {
        auto& siblings = parentOf[i] < 0 ? nodes : flat[static_cast<size_t>(parentOf[i])].Children;
        siblings.push_back(std::move(flat[i]));
    }
    // Gathered from the last: put back in order, level by level.
    std::vector<std::vector<TqzBookmarkNode>*> lists{&nodes};
    while (!lists.empty()) {
        std::vector<TqzBookmarkNode>* list = lists.back();
        lists.pop_back();
        std::reverse(list->begin(), list->end());
        for (TqzBookmarkNode& node : *list) lists.push_back(&node.Children);
    }
    if (nodes.empty()) nodes.push_back({" ", 0, {}});
    return nodes;
}

// ---- destinations of actions ----

document::TqzPDPage* TqzCustomPDFDocument::PageOfNumber(int32_t pageNo) {
    if (!HasUsableDocument() || pageNo < 1 || pageNo > FPDDoc->GetPageCount()) return nullptr;
    return FPDDoc->GetPage(pageNo);
}

std::unique_ptr<document::TqzPDAction> TqzCustomPDFDocument::PreparedGoTo(TqzPDFGoToAction& action,
                                                                          document::TqzPDPage* page) {
    document::TqzPDDestination* source = action.Destination();
    if (source == nullptr) return nullptr;
    const document::TqzPageDisplayOptions option = source->GetDisplayOption();
    const core::TqzPDRect* numbers = source->GetRect();
    const auto points = [&](double value) { return ConvertToPDFUnit(FMeasurementUnit, value); };
    // The zoom of XYZ is held where a right edge would be, and is no length.
    const double right =
        option == document::TqzPageDisplayOptions::FitZoom ? numbers->GetRight() : points(numbers->GetRight());
    const core::TqzPDRect rect(points(numbers->GetLeft()), points(numbers->GetTop()), right,
                               points(numbers->GetBottom()));
    if (auto* remote = dynamic_cast<document::TqzPDGoToRemoteAction*>(action.GetAction())) {
        auto prepared = std::make_unique<document::TqzPDGoToRemoteAction>(
            std::make_unique<document::TqzPDDestination>(nullptr, nullptr, option, &rect));
        prepared->SetPageNum(remote->GetPageNum());
        prepared->SetFileName(remote->GetFileName());
        prepared->SetOpenInNewWindow(remote->GetOpenInNewWindow());
        return prepared;
    }
    // A local go-to leads to a page or is not written.
    if (page == nullptr) return nullptr;
    return std::make_unique<document::TqzPDGoToAction>(
        std::make_unique<document::TqzPDDestination>(FPDDoc.get(), page, option, &rect));
}

std::unique_ptr<document::TqzPDAction> TqzCustomPDFDocument::AddDestination(TqzPDFAction& Action) {
    auto* goTo = dynamic_cast<TqzPDFGoToAction*>(&Action);
    if (goTo == nullptr || !HasUsableDocument()) return nullptr;
    return PreparedGoTo(*goTo, PageOfNumber(goTo->GetPageNo()));
}

// ---- merging outlines ----

void TqzCustomPDFDocument::InsertSource(TqzCustomPDFDocument& source, int32_t afterPage,
                                        const std::string& fileName) {
    document::TqzPDDocument& from = *source.FPDDoc;
    const int32_t count = source.GetPageCount();
    if (!FMergeOptions.Contains(TqzMergeOptionsType::moIncludeOutlines)) {
        FPDDoc->InsertPages(afterPage, from, 1, count, document::TqzPageInsertFlages::InsertAll);
        return;
    }
    // The copier that copies the pages knows which copy each page became:
    // the outline follows it to the same copies.
    document::TqzDocumentCopyTarget copyTarget(*FPDDoc);
    document::TqzObjectCopier copier(*from.GetBaseDoc(), copyTarget);
    const bool inFront = afterPage == 0 && GetPageCount() > 0;
    document::InsertDocumentPages(*FPDDoc, afterPage, from, 1, count, copier);

    std::string name = fileName;
    std::string title;
    std::unique_ptr<TqzPDFAction> action = std::make_unique<TqzPDFGoToAction>(1, TqzPDFDestinationType::dtXYZ);
    auto attribute = std::make_unique<TqzBookmarkAttribute>();
    if (OnBookmarkMerge) OnBookmarkMerge(this, name, title, action, attribute);
    MergeBookMark(source, title, action.get(), attribute.get(), copier, inFront);
}

document::TqzPDPage* TqzCustomPDFDocument::CopyOfSourcePage(TqzCustomPDFDocument& source, int32_t pageNo,
                                                            document::TqzObjectCopier& copier) {
    document::TqzPDPage* sourcePage = source.PageOfNumber(pageNo);
    const TqzPDBaseObject* pageObject = sourcePage != nullptr ? sourcePage->GetBaseObject() : nullptr;
    if (pageObject == nullptr || pageObject->IsDirect()) return nullptr;
    const uint32_t copyNumber = copier.MappedNumber(pageObject->GetObjNumber());
    if (copyNumber == 0) return nullptr;
    const core::TqzPDIndirectRef copyRef(copyNumber, 0);
    return document::DestinationPage(FPDDoc.get(), &copyRef);
}

void TqzCustomPDFDocument::MergeBookMark(TqzCustomPDFDocument& TempDoc, const std::string& Title,
                                         TqzPDFAction* APDFAction, const TqzBookmarkAttribute* ABookmarkAttribute,
                                         document::TqzObjectCopier& copier, bool inFront) {
    if (!TempDoc.HasUsableDocument() || !HasOutlineDictionary(*TempDoc.FPDDoc)) return;
    TqzPDFOutline* root = GetBookmarkRoot();
    if (root == nullptr) return;
    TqzPDBookmark* first = TempDoc.FPDDoc->GetBookmarkRoot()->GetFirstChild();
    if (first == nullptr) return;

    OutlineCopy copy{copier, document::TqzNamedDestinations(*TempDoc.FPDDoc),
                     inFront ? root->GetPDBookmark()->GetFirstChild() : nullptr};
    TqzPDFOutline* target = root;
    if (!Title.empty()) {
        // One new top-level item holding the source's outline, leading
        // where the handler's action says: a go-to to a page of the source
        // leads to that page's copy.
        document::TqzPDAction* model = APDFAction != nullptr ? APDFAction->GetAction() : nullptr;
        std::unique_ptr<document::TqzPDAction> prepared;
        if (auto* goTo = dynamic_cast<TqzPDFGoToAction*>(APDFAction)) {
            prepared = PreparedGoTo(*goTo, CopyOfSourcePage(TempDoc, goTo->GetPageNo(), copier));
            model = prepared.get();
        }
        const TqzBookmarkAttribute plain;
        document::TqzPDOutlineFlag flag;
        document::TqzPDColorValue colour;
        GetBookmarkProperties(ABookmarkAttribute != nullptr ? *ABookmarkAttribute : plain, flag, colour);
        TqzPDBookmark* made = copy.Anchor != nullptr ? copy.Anchor->InsertNewPrev(Title, nullptr, flag, model)
                                                     : root->GetPDBookmark()->InsertNewChild(Title, nullptr, flag, model);
        if (made == nullptr) return;
        made->SetColor(colour);
        target = root->WrapperOf(made);
        copy.Anchor = nullptr;
    }
    const int64_t visible = CreateTree(*first, *target, copy);
    if (target != root && visible > 0 && target->GetPDBookmark()->GetDict() != nullptr) {
        // Shown open, so that the source's items are in sight.
        target->GetPDBookmark()->GetDict()->SetKeyValue("Count", CountValue(visible));
    }
    // Counted once when the merge ends: a count per source would walk the
    // whole top level again for every file.
    FOutlineRootStale = true;
}

int64_t TqzCustomPDFDocument::CreateTree(document::TqzPDBookmark& Source, TqzPDFOutline& Target, OutlineCopy& copy) {
    // One record per copy, each after its parent: the counts are summed
    // from the last.
    struct Copied {
        TqzPDBookmark* Item;
        int64_t Parent;  // record index; -1 under Target
        int32_t Sign;    // the source's open (1) or closed (-1) state, 0 for none
        bool HasChildren = false;
        int64_t Visible = 0;
    };
    struct Chain {
        TqzPDBookmark* First;  // of the source
        TqzPDBookmark* Parent;  // of the copy
        int64_t ParentRecord;
        int32_t Depth;
    };
    std::vector<Copied> copied;
    std::vector<Chain> work{{&Source, Target.GetPDBookmark(), -1, 0}};
    // The model loads every dictionary once per tree and bounds the depth;
    // the copy keeps its own record of both, since it writes what it walks.
    std::unordered_set<const TqzPDBookmark*> seen;
    while (!work.empty()) {
        const Chain chain = work.back();
        work.pop_back();
        if (chain.Depth > document::kMaxOutlineDepth || chain.Parent == nullptr) continue;
        for (TqzPDBookmark* item = chain.First; item != nullptr; item = item->GetNext()) {
            if (!seen.insert(item).second) break;
            const TqzPDDictionary* from = item->GetDict();
            if (from == nullptr) continue;
            const document::TqzPDOutlineFlag noFlag;
            TqzPDBookmark* made = chain.ParentRecord < 0 && copy.Anchor != nullptr
                                      ? copy.Anchor->InsertNewPrev(item->GetTitle(), nullptr, noFlag, nullptr)
                                      : chain.Parent->InsertNewChild(item->GetTitle(), nullptr, noFlag, nullptr);
            // Below the depth the model loads, the copy would be lost.
            if (made == nullptr) break;
            CopyOutlineEntries(*from, *made->GetDict(), copy);
            if (chain.ParentRecord >= 0) copied[static_cast<size_t>(chain.ParentRecord)].HasChildren = true;
            copied.push_back({made, chain.ParentRecord, CountSign(*from)});
            if (TqzPDBookmark* child = item->GetFirstChild())
                work.push_back({child, made, static_cast<int64_t>(copied.size()) - 1, chain.Depth + 1});
        }
    }
    int64_t visible = 0;
    for (size_t i = copied.size(); i-- > 0;) {
        Copied& record = copied[i];
        if (record.HasChildren && record.Sign != 0)
            record.Item->GetDict()->SetKeyValue("Count", CountValue(record.Sign * record.Visible));
        const int64_t shown = 1 + (record.Sign > 0 ? record.Visible : 0);
        if (record.Parent < 0) {
            visible += shown;
        } else {
            copied[static_cast<size_t>(record.Parent)].Visible += shown;
        }
    }
    return visible;
}

void TqzCustomPDFDocument::CopyOutlineEntries(const TqzPDDictionary& from, TqzPDDictionary& to, OutlineCopy& copy) {
    document::TqzObjectCopier& copier = copy.Copier;
    // The new item's style and colour are the source item's, or none.
    to.Remove("C");
    to.Remove("F");
    if (const TqzPDBaseObject* colour = from.LookUp("C"); colour != nullptr && colour->IsArray()) {
        if (auto copied = copier.Copy(*from.LookupRefObj("C"))) to.Add("C", std::move(copied));
    }
    if (const TqzPDBaseObject* flags = from.LookUp("F"); flags != nullptr && flags->IsInteger())
        to.Add("F", std::make_unique<core::TqzPDInteger>(static_cast<const core::TqzPDInteger*>(flags)->GetValue()));

    // A target whose page was not copied is dropped, and so is a name the
    // source does not define as a destination (this document may define it
    // for another file's page) and a value that is no destination at all.
    const auto leadsIntoSource = [&](TqzPDBaseObject* destination) {
        if (IsNamed(destination)) return copy.SourceNames.Explicit(destination) != nullptr;
        return destination != nullptr && (destination->IsArray() || destination->IsDict());
    };
    if (const TqzPDBaseObject* stored = from.LookupRefObj("Dest")) {
        if (leadsIntoSource(from.LookUp("Dest")) && !copier.IsDeadDestination(*stored)) {
            if (auto copied = copier.CopyDestination(*stored)) to.Add("Dest", std::move(copied));
        }
    }
    if (const TqzPDBaseObject* stored = from.LookupRefObj("A")) {
        const TqzPDBaseObject* action = from.LookUp("A");
        const TqzPDBaseObject* kind = action != nullptr && action->IsDict()
                                          ? static_cast<const TqzPDDictionary*>(action)->LookUp("S")
                                          : nullptr;
        const bool goTo = kind != nullptr && kind->IsName("GoTo");
        const bool keep = !goTo || leadsIntoSource(static_cast<const TqzPDDictionary*>(action)->LookUp("D"));
        // Every other kind is copied as it is; a go-to to a page not copied
        // copies to nothing.
        if (keep) {
            if (auto copied = copier.Copy(*stored)) to.Add("A", std::move(copied));
        }
    }
}

void TqzCustomPDFDocument::RecountOutlineRoot() {
    if (!FOutlineRootStale) return;
    FOutlineRootStale = false;
    TqzPDFOutline* root = GetBookmarkRoot();
    TqzPDDictionary* dict = root != nullptr ? root->GetPDBookmark()->GetDict() : nullptr;
    if (dict == nullptr) return;
    int64_t visible = 0;
    // The top-level chain as the model loaded it: each item once.
    for (TqzPDBookmark* item = root->GetPDBookmark()->GetFirstChild(); item != nullptr; item = item->GetNext()) {
        visible += 1 + std::max(0, item->GetCount());
    }
    dict->SetKeyValue("Count", CountValue(visible));
}

}  // namespace qz::component
