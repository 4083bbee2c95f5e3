#include "component/OutlineWrappers.h"

#include "component/CustomPDFDocument.h"
#include "core/PDDictionary.h"
#include "document/PDAction.h"
#include "document/PDDestination.h"
#include "document/PDPage.h"

namespace qz::component {

namespace {

using document::TqzPDBookmark;

// A copy of the caller's destination bound to page `pageNo` of the
// component's document, with its Top and Bottom turned from the page's top
// into the file's upward measure, as the insertions write them. None when
// the page does not exist: an item without target rather than one that
// leads nowhere.
std::unique_ptr<document::TqzPDDestination> BoundCopy(TqzCustomPDFDocument& component,
                                                      const TqzPDFDestination& destination) {
    document::TqzPDPage* page = component.PageOfNumber(destination.GetPageNo());
    if (page == nullptr) return nullptr;
    std::unique_ptr<document::TqzPDDestination> copy = destination.CopyModel();
    copy->SetPage(page);
    return copy;
}

}  // namespace

void GetBookmarkProperties(const TqzBookmarkAttribute& OutLineAttribute, document::TqzPDOutlineFlag& flag,
                           document::TqzPDColorValue& colour) {
    const TqzFontStyles styles = OutLineAttribute.GetFontStyles();
    flag.Bold = styles.Contains(TqzFontStyle::fsBold);
    flag.Italic = styles.Contains(TqzFontStyle::fsItalic);
    flag.Underline = styles.Contains(TqzFontStyle::fsUnderline);
    flag.StrikeOut = styles.Contains(TqzFontStyle::fsStrikeOut);
    const TqzColor packed = OutLineAttribute.GetOutlineColor();
    colour.ColorSpace = document::TqzPDColorSpaceType::DeviceRGB;
    colour.Value[0] = static_cast<double>(packed & 0xFF) / 255.0;
    colour.Value[1] = static_cast<double>((packed >> 8) & 0xFF) / 255.0;
    colour.Value[2] = static_cast<double>((packed >> 16) & 0xFF) / 255.0;
    colour.Value[3] = 0;
}

TqzPDFOutline::TqzPDFOutline(TqzCustomPDFDocument* parentDoc, TqzPDFOutline* parent, TqzPDBookmark* item)
    : FPDBookmark(item), FParent(parent), FParentDoc(parentDoc) {}

TqzPDFOutline::~TqzPDFOutline() = default;

// ---- navigation ----

TqzPDFOutline* TqzPDFOutline::WrapperOf(TqzPDBookmark* item) {
    if (item == nullptr) return nullptr;
    auto& cached = FBookmarkList[item];
    if (cached == nullptr) cached = std::make_unique<TqzPDFOutline>(FParentDoc, this, item);
    return cached.get();
}

void TqzPDFOutline::Drop(TqzPDBookmark* item) { FBookmarkList.erase(item); }

TqzPDFOutline* TqzPDFOutline::Root() {
    TqzPDFOutline* root = this;
    while (root->FParent != nullptr) root = root->FParent;
    return root;
}

TqzPDFOutline* TqzPDFOutline::WrapperOfDescendant(TqzPDBookmark* item) {
    if (item == nullptr) return nullptr;
    // The model's parent chain is as long as the item's level, which the
    // model bounds (kMaxOutlineDepth).
    std::vector<TqzPDBookmark*> chain;
    for (TqzPDBookmark* at = item; at != nullptr; at = at->GetParent()) chain.push_back(at);
    TqzPDFOutline* wrapper = Root();
    if (chain.back() != wrapper->FPDBookmark) return nullptr;
    for (size_t i = chain.size() - 1; i-- > 0;) wrapper = wrapper->WrapperOf(chain[i]);
    return wrapper;
}

TqzPDFOutline* TqzPDFOutline::GetFirstChild() {
    return FPDBookmark != nullptr ? WrapperOf(FPDBookmark->GetFirstChild()) : nullptr;
}

TqzPDFOutline* TqzPDFOutline::GetLastChild() {
    return FPDBookmark != nullptr ? WrapperOf(FPDBookmark->GetLastChild()) : nullptr;
}

TqzPDFOutline* TqzPDFOutline::GetNext() {
    if (FParent == nullptr || FPDBookmark == nullptr) return nullptr;
    return FParent->WrapperOf(FPDBookmark->GetNext());
}

TqzPDFOutline* TqzPDFOutline::GetPrev() {
    if (FParent == nullptr || FPDBookmark == nullptr) return nullptr;
    return FParent->WrapperOf(FPDBookmark->GetPrev());
}

int32_t TqzPDFOutline::GetLevel() const { return FPDBookmark != nullptr ? FPDBookmark->GetLevel() : 0; }

int32_t TqzPDFOutline::GetBookmarkIndex() const { return FPDBookmark != nullptr ? FPDBookmark->GetIndex() : 0; }

std::string TqzPDFOutline::GetTitle() const { return FPDBookmark != nullptr ? FPDBookmark->GetTitle() : ""; }

// ---- target ----

void TqzPDFOutline::ForgetTarget() {
    FDestination.reset();
    FOutlineAction.reset();
}

TqzPDFDestination* TqzPDFOutline::GetDestination() {
    if (FPDBookmark == nullptr) return nullptr;
    document::TqzPDDestination* model = FPDBookmark->GetDestination();
    if (model == nullptr) {
        document::TqzPDAction* action = FPDBookmark->GetAction();
        if (action != nullptr && action->GetType() == document::TqzPDActionType::actionGoTo) model = action->GetDest();
    }
    if (model == nullptr) {
        FDestination.reset();
        return nullptr;
    }
    // Made anew when the model's object changed, so the wrapper never holds
    // one the model has freed.
    if (FDestination == nullptr || FDestination->GetDestination() != model) {
        FDestination = std::make_unique<TqzPDFDestination>(0, TqzPDFDestinationType::dtXYZ);
        FDestination->SetDestination(model);
    }
    document::TqzPDPage* page = model->GetPage();
    FDestination->SetPageNo(page != nullptr ? page->GetPageNum() : 0);
    return FDestination.get();
}

TqzPDFAction* TqzPDFOutline::GetAction() {
    document::TqzPDAction* model = FPDBookmark != nullptr ? FPDBookmark->GetAction() : nullptr;
    if (model == nullptr) {
        FOutlineAction.reset();
        return nullptr;
    }
    if (FOutlineAction == nullptr || FOutlineAction->GetAction() != model) FOutlineAction = TqzPDFAction::Wrap(*model);
    return FOutlineAction.get();
}

// ---- insertions ----

TqzPDFOutline* TqzPDFOutline::Insert(Place place, const std::string& title, document::TqzPDDestination* destination,
                                     document::TqzPDAction* action, const TqzBookmarkAttribute& attribute) {
    document::TqzPDOutlineFlag flag;
    document::TqzPDColorValue colour;
    GetBookmarkProperties(attribute, flag, colour);
    TqzPDBookmark* made = nullptr;
    TqzPDFOutline* owner = place == Place::Child ? this : FParent;
    if (owner == nullptr) return nullptr;
    switch (place) {
        case Place::Child: made = FPDBookmark->InsertNewChild(title, destination, flag, action); break;
        case Place::Next: made = FPDBookmark->InsertNewNext(title, destination, flag, action); break;
        case Place::Prev: made = FPDBookmark->InsertNewPrev(title, destination, flag, action); break;
    }
    if (made == nullptr) return nullptr;
    made->SetColor(colour);
    return owner->WrapperOf(made);
}

TqzPDFOutline* TqzPDFOutline::Insert(Place place, const std::string& title, const TqzPDFDestination& destination,
                                     const TqzBookmarkAttribute& attribute) {
    if (FPDBookmark == nullptr || FParentDoc == nullptr || !FParentDoc->HasOutlineDocument()) return nullptr;
    std::unique_ptr<document::TqzPDDestination> bound = BoundCopy(*FParentDoc, destination);
    return Insert(place, title, bound.get(), nullptr, attribute);
}

TqzPDFOutline* TqzPDFOutline::Insert(Place place, const std::string& title, TqzPDFAction& action,
                                     const TqzBookmarkAttribute& attribute) {
    if (FPDBookmark == nullptr || FParentDoc == nullptr || !FParentDoc->HasOutlineDocument()) return nullptr;
    document::TqzPDAction* model = action.GetAction();
    // A go-to action is written from a copy in points bound to its page:
    // the caller's numbers stay as given, however often it is added.
    std::unique_ptr<document::TqzPDAction> prepared;
    if (dynamic_cast<TqzPDFGoToAction*>(&action) != nullptr) {
        prepared = FParentDoc->AddDestination(action);
        model = prepared.get();
    }
    return Insert(place, title, nullptr, model, attribute);
}

TqzPDFOutline* TqzPDFOutline::AddChild(const std::string& Title, const TqzPDFDestination& Destination,
                                       const TqzBookmarkAttribute& OutLineAttribute) {
    return Insert(Place::Child, Title, Destination, OutLineAttribute);
}
TqzPDFOutline* TqzPDFOutline::AddChild(const std::string& Title, TqzPDFAction& Action,
                                       const TqzBookmarkAttribute& OutLineAttribute) {
    return Insert(Place::Child, Title, Action, OutLineAttribute);
}
TqzPDFOutline* TqzPDFOutline::AddNext(const std::string& Title, const TqzPDFDestination& Destination,
                                      const TqzBookmarkAttribute& OutLineAttribute) {
    return Insert(Place::Next, Title, Destination, OutLineAttribute);
}
TqzPDFOutline* TqzPDFOutline::AddNext(const std::string& Title, TqzPDFAction& Action,
                                      const TqzBookmarkAttribute& OutLineAttribute) {
    return Insert(Place::Next, Title, Action, OutLineAttribute);
}
TqzPDFOutline* TqzPDFOutline::AddPrev(const std::string& Title, const TqzPDFDestination& Destination,
                                      const TqzBookmarkAttribute& OutLineAttribute) {
    return Insert(Place::Prev, Title, Destination, OutLineAttribute);
}
TqzPDFOutline* TqzPDFOutline::AddPrev(const std::string& Title, TqzPDFAction& Action,
                                      const TqzBookmarkAttribute& OutLineAttribute) {
    return Insert(Place::Prev, Title, Action, OutLineAttribute);
}

// ---- changes ----

void TqzPDFOutline::ModifyEntries(const std::string& title, const TqzBookmarkAttribute& attribute) {
    document::TqzPDOutlineFlag flag;
    document::TqzPDColorValue colour;
    GetBookmarkProperties(attribute, flag, colour);
    FPDBookmark->SetTitle(title);
    FPDBookmark->SetColor(colour);
    FPDBookmark->SetFlags(flag);
}

void TqzPDFOutline::Modify(const std::string& Title, const TqzPDFDestination& Destination,
                           const TqzBookmarkAttribute& OutLineAttribute) {
    if (FPDBookmark == nullptr || FParentDoc == nullptr || !FParentDoc->HasOutlineDocument()) return;
    // Copied before anything changes: `Destination` may be this item's own.
    std::unique_ptr<document::TqzPDDestination> bound = BoundCopy(*FParentDoc, Destination);
    ForgetTarget();
    ModifyEntries(Title, OutLineAttribute);
    if (bound == nullptr) {
        // A page that does not exist: the item keeps no target.
        FPDBookmark->SetAction(nullptr);
        return;
    }
    // The item keeps what it is given and writes its numbers as they
    // stand: it gets its own copy, measured like the insertions' targets.
    const core::TqzPDRect written = document::WrittenRect(*bound, document::TqzDestYAxis::FromPageTop);
    bound->SetRect(written.GetLeft(), written.GetTop(), written.GetRight(), written.GetBottom());
    FPDBookmark->SetDestination(std::move(bound));
}

void TqzPDFOutline::Modify(const std::string& Title, TqzPDFAction& Action,
                           const TqzBookmarkAttribute& OutLineAttribute) {
    core::TqzPDDictionary* dict = FPDBookmark != nullptr ? FPDBookmark->GetDict() : nullptr;
    if (dict == nullptr || FParentDoc == nullptr || !FParentDoc->HasOutlineDocument()) return;
    document::TqzPDAction* model = Action.GetAction();
    std::unique_ptr<document::TqzPDAction> prepared;
    if (dynamic_cast<TqzPDFGoToAction*>(&Action) != nullptr) {
        prepared = FParentDoc->AddDestination(Action);
        model = prepared.get();
    }
    // Written before the old target goes, since `Action` may be this item's
    // own; the item keeps the written dictionary, not the caller's action.
    core::TqzPDDictionary written(dict->GetParentDoc());
    if (model != nullptr) FPDBookmark->AddAction(*model, written);
    ForgetTarget();
    ModifyEntries(Title, OutLineAttribute);
    FPDBookmark->SetAction(nullptr);
    if (std::unique_ptr<core::TqzPDBaseObject> reference = written.GetDict()->Remove("A"))
        dict->SetKeyValue("A", std::move(reference));
}

void TqzPDFOutline::ModifyNext(const std::string& Title, const TqzPDFDestination& Destination,
                               const TqzBookmarkAttribute& OutLineAttribute) {
    if (TqzPDFOutline* next = GetNext()) next->Modify(Title, Destination, OutLineAttribute);
}
void TqzPDFOutline::ModifyNext(const std::string& Title, TqzPDFAction& Action,
                               const TqzBookmarkAttribute& OutLineAttribute) {
    if (TqzPDFOutline* next = GetNext()) next->Modify(Title, Action, OutLineAttribute);
}
void TqzPDFOutline::ModifyPrev(const std::string& Title, const TqzPDFDestination& Destination,
                               const TqzBookmarkAttribute& OutLineAttribute) {
    if (TqzPDFOutline* prev = GetPrev()) prev->Modify(Title, Destination, OutLineAttribute);
}
void TqzPDFOutline::ModifyPrev(const std::string& Title, TqzPDFAction& Action,
                               const TqzBookmarkAttribute& OutLineAttribute) {
    if (TqzPDFOutline* prev = GetPrev()) prev->Modify(Title, Action, OutLineAttribute);
}

// ---- deletions ----

bool TqzPDFOutline::DeleteChild() {
    if (FPDBookmark == nullptr) return false;
    TqzPDBookmark* child = FPDBookmark->GetFirstChild();
    if (child == nullptr || !FPDBookmark->DeleteChild(0)) return false;
    Drop(child);
    return true;
}

bool TqzPDFOutline::DeleteNext() {
    if (FPDBookmark == nullptr || FParent == nullptr) return false;
    TqzPDBookmark* next = FPDBookmark->GetNext();
    if (next == nullptr || !FPDBookmark->DeleteNext()) return false;
    FParent->Drop(next);
    return true;
}

bool TqzPDFOutline::DeletePrev() {
    if (FPDBookmark == nullptr || FParent == nullptr) return false;
    TqzPDBookmark* prev = FPDBookmark->GetPrev();
    if (prev == nullptr || !FPDBookmark->DeletePrev()) return false;
    FParent->Drop(prev);
    return true;
}

// ---- search ----

TqzPDFOutline* TqzPDFOutline::GetByTitle(const std::string& ATitle, TqzBookmarkTraversalType ATraversalType,
                                         TqzBookmarkTraversalDepth AMaxDepth) {
    FTitleFound = false;
    if (FPDBookmark == nullptr || ATraversalType != TqzBookmarkTraversalType::bttDepthFirst) return nullptr;
    document::TqzOutlineTraversalDepth depth = document::TqzOutlineTraversalDepth::otdFullSubtree;
    if (AMaxDepth == TqzBookmarkTraversalDepth::btdSiblingsOnly) depth = document::TqzOutlineTraversalDepth::otdSiblingsOnly;
    if (AMaxDepth == TqzBookmarkTraversalDepth::btdChildrenOnly) depth = document::TqzOutlineTraversalDepth::otdChildrenOnly;
    // The model searches on a work list, bounded by its loaded tree.
    TqzPDBookmark* found = FPDBookmark->GetByTitle(ATitle, document::TqzOutlineTaversalType::ottDepthFirst, depth);
    TqzPDFOutline* wrapper = WrapperOfDescendant(found);
    FTitleFound = wrapper != nullptr;
    return wrapper;
}

}  // namespace qz::component
