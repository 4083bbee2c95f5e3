#include "document/PDPageTree.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "core/PDArray.h"
#include "core/PDDictionary.h"
#include "core/PDIndirectRef.h"
#include "core/PDInteger.h"
#include "core/PDName.h"
#include "document/CatalogMerge.h"
#include "document/ObjectCopy.h"
#include "document/PDBaseDoc.h"
#include "document/PDCatalog.h"
#include "document/PDDocument.h"
#include "document/PDModelException.h"
#include "document/PDPage.h"
#include "document/PDResource.h"

namespace qz::document {

using core::TqzPDArray;
using core::TqzPDBaseObject;
using core::TqzPDDictionary;

namespace {

core::TqzParentDocument* BaseDocOf(TqzPDDocument* document) { return document ? document->GetBaseDoc() : nullptr; }

// Whether a resolved value can stand for the attribute.
bool Usable(TqzInheritedKey key, const TqzPDBaseObject* value) {
    if (!value) return false;
    switch (key) {
        case TqzInheritedKey::MediaBox:
        case TqzInheritedKey::CropBox: return value->IsArray();
        case TqzInheritedKey::Rotate: return value->IsInteger();
        case TqzInheritedKey::Resources: return value->IsDict();
    }
    return false;
}

}  // namespace

std::string_view InheritedKeyName(TqzInheritedKey key) {
    switch (key) {
        case TqzInheritedKey::MediaBox: return "MediaBox";
        case TqzInheritedKey::CropBox: return "CropBox";
        case TqzInheritedKey::Rotate: return "Rotate";
        case TqzInheritedKey::Resources: return "Resources";
    }
    return {};
}

// ---- TqzPDInheritedProperty ----

TqzPDInheritedProperty::TqzPDInheritedProperty(TqzPDDocument* document,
                                               std::shared_ptr<TqzPDInheritedProperty> parent,
                                               TqzPDDictionary* node)
    : core::TqzPDElement(BaseDocOf(document), parent.get(), node), FDocument(document), FParent(std::move(parent)) {
    for (int i = 0; i < kInheritedKeyCount; ++i) {
        const auto key = static_cast<TqzInheritedKey>(i);
        Value own;
        if (node) {
            own.Stored = node->LookupRefObj(InheritedKeyName(key));
            own.Resolved = node->LookUp(InheritedKeyName(key));
            own.Holder = node;
        }
        if (Usable(key, own.Resolved)) {
            FValues[i] = own;
        } else if (FParent) {
            FValues[i] = FParent->FValues[i];
        }
    }
}

TqzPDInheritedProperty::~TqzPDInheritedProperty() {
    // Release the chain of parents one by one: a tree thousands of levels
    // deep must not unwind as nested destructor calls.
    std::shared_ptr<TqzPDInheritedProperty> parent = std::move(FParent);
    while (parent && parent.use_count() == 1) {
        std::shared_ptr<TqzPDInheritedProperty> next = std::move(parent->FParent);
        parent.reset();
        parent = std::move(next);
    }
}

TqzPDDictionary* TqzPDInheritedProperty::GetNode() const {
    return FBaseObject && FBaseObject->IsDict() ? static_cast<TqzPDDictionary*>(FBaseObject) : nullptr;
}

core::TqzPDRect* TqzPDInheritedProperty::BoxAt(TqzInheritedKey key, std::unique_ptr<core::TqzPDRect>& box) {
    if (box) return box.get();
    const Value& value = GetValue(key);
    if (!value.Resolved) return nullptr;
    auto* array = static_cast<TqzPDArray*>(value.Resolved);
    if (value.Holder == GetNode()) {
        box = std::make_unique<core::TqzPDRect>(array);
    } else {
        // A value from above is this node's copy, not a view of the node
        // that holds it.
        box = std::make_unique<core::TqzPDRect>(core::TqzPDRect(array).Clone());
    }
    return box.get();
}

core::TqzPDRect* TqzPDInheritedProperty::GetMediaBox() { return BoxAt(TqzInheritedKey::MediaBox, FMediaBox); }
core::TqzPDRect* TqzPDInheritedProperty::GetCropBox() { return BoxAt(TqzInheritedKey::CropBox, FCropBox); }

int32_t TqzPDInheritedProperty::GetRotate() const {
    const Value& value = GetValue(TqzInheritedKey::Rotate);
    if (!value.Resolved) return 0;
    return static_cast<int32_t>(static_cast<const core::TqzPDInteger*>(value.Resolved)->GetValue() % 360);
}

TqzPDResource* TqzPDInheritedProperty::GetResource() {
    const Value& value = GetValue(TqzInheritedKey::Resources);
    if (!value.Resolved) return nullptr;
    if (value.Holder != GetNode()) {
        // Borrowed from the property of the node that holds the resources.
        for (TqzPDInheritedProperty* p = FParent.get(); p; p = p->FParent.get()) {
            if (p->GetNode() == value.Holder) return p->GetResource();
        }
        return nullptr;
    }
    if (!FResource) FResource = std::make_unique<TqzPDResource>(FDocument, this, value.Resolved);
    return FResource.get();
}

TqzPDBaseObject* TqzPDInheritedProperty::GetFormFieldType() const {
    const TqzPDDictionary* node = GetNode();
    return node ? node->LookUp("FT") : nullptr;
}

TqzPDBaseObject* TqzPDInheritedProperty::GetFormFieldFlag() const {
    const TqzPDDictionary* node = GetNode();
    return node ? node->LookUp("Ff") : nullptr;
}

TqzPDBaseObject* TqzPDInheritedProperty::GetFormFieldValue() {
    if (!FFormFieldValue && GetNode()) FFormFieldValue = GetNode()->LookUp("V");
    return FFormFieldValue;
}

TqzPDBaseObject* TqzPDInheritedProperty::GetFormFieldDefaultValue() {
    if (GetNode()) {
        if (TqzPDBaseObject* value = GetNode()->LookUp("DV")) FFormFieldDefaultValu = value;
    }
    return FFormFieldDefaultValu;
}

TqzPDBaseObject* TqzPDInheritedProperty::GetFormFiledName() {
    if (!FFormFieldName && GetNode()) FFormFieldName = GetNode()->LookUp("T");
    return FFormFieldName;
}

// ---- TqzPDPageTree ----

TqzPDPageTree::TqzPDPageTree(TqzPDDocument* document, core::TqzPDElement* parentElement, TqzPDBaseObject* root)
    : core::TqzPDElement(BaseDocOf(document), parentElement, root), FDocument(document) {}

TqzPDPageTree::~TqzPDPageTree() = default;

TqzPDDictionary* TqzPDPageTree::GetRoot() const {
    return FBaseObject && FBaseObject->IsDict() ? static_cast<TqzPDDictionary*>(FBaseObject) : nullptr;
}

uint32_t TqzPDPageTree::GetRootObjectNumber() {
    // The catalog's reference names the root by its table number, which a
    // save does not change (the root's own number it does).
    if (FDocument && FDocument->GetBaseDoc()) {
        const TqzPDDictionary* catalog = FDocument->GetBaseDoc()->GetDocRoot();
        const TqzPDBaseObject* stored = catalog ? catalog->LookupRefObj("Pages") : nullptr;
        if (stored && stored->IsIndirectRef() && FDocument->GetBaseDoc()->GetObject(stored->GetObjNumber()) == FBaseObject) {
            return stored->GetObjNumber();
        }
    }
    return FBaseObject && !FBaseObject->IsDirect() ? FBaseObject->GetObjNumber() : 0;
}

void TqzPDPageTree::EnsureRead() {
    if (FRead) return;
    FRead = true;
    ReadPageTree();
}

void TqzPDPageTree::AppendPage(TqzPDDictionary& dict, PageRef ref, std::shared_ptr<TqzPDInheritedProperty> parent) {
    auto page = std::make_unique<TqzPDPage>(FDocument, this, &dict);
    page->SetInheritedProperty(std::make_shared<TqzPDInheritedProperty>(FDocument, std::move(parent), &dict));
    page->SetPageNum(++FPageNumber);
    FPageList.push_back(std::move(page));
    FPageRefs.push_back(ref);
}

namespace {

TqzPDArray* KidsOf(TqzPDDictionary& node) {
    TqzPDBaseObject* kids = node.LookUp("Kids");
    return kids && kids->IsArray() ? static_cast<TqzPDArray*>(kids) : nullptr;
}

// A node is what has /Kids, whatever its /Type says; a /Pages node without
// /Kids is an empty node. Every other dictionary in a /Kids array is a page,
// as readers show it, also with a misspelled or missing /Type.
bool IsTreeNode(TqzPDDictionary& dict) { return KidsOf(dict) != nullptr || dict.IsDict("Pages"); }

// Objects that the copies of repeated pages may make in all. Each copy costs
// what the page holds directly, which a file can make large while listing
// the page cheaply many times; past this a repeated page is read once.
constexpr size_t kMaxRepeatedPageObjects = 1'000'000;

// The objects a copy of `object` makes: itself and every direct value in it.
size_t DirectObjectCount(const TqzPDBaseObject& object) {
    size_t count = 0;
    std::vector<const TqzPDBaseObject*> pending{&object};
    while (!pending.empty()) {
        const TqzPDBaseObject* current = pending.back();
        pending.pop_back();
        ++count;
        if (current->IsArray()) {
            const auto& array = static_cast<const TqzPDArray&>(*current);
            for (int32_t i = 0; i < array.GetLength(); ++i) pending.push_back(array.GetRefObj(i));
        } else if (current->IsDict()) {
            const auto& dict = static_cast<const TqzPDDictionary&>(*current);
            for (int32_t i = 0; i < dict.GetLength(); ++i) {
                if (const TqzPDBaseObject* value = dict.GetValueRefObj(i)) pending.push_back(value);
            }
        }
    }
    return count;
}

}  // namespace

TqzPDDictionary* TqzPDPageTree::PutRootAboveLonePage(TqzPDDictionary& page) {
    // The catalog names a page where the root node belongs: a node of our
    // own goes above it, so the document has its one page and a sound tree.
    TqzPDBaseDoc& baseDoc = *FDocument->GetBaseDoc();
    if (GetRootObjectNumber() == 0) GiveRootANumber();
    const uint32_t pageNumber = GetRootObjectNumber();
    TqzPDDictionary* catalog = baseDoc.GetDocRoot();
    if (pageNumber == 0 || !catalog) return nullptr;
    const TqzPDBaseObject* stored = catalog->LookupRefObj("Pages");
    const uint32_t generation = stored && stored->IsIndirectRef() ? stored->GetGenNumber() : 0;
    auto node = std::make_unique<TqzPDDictionary>(&baseDoc);
    node->Add("Type", std::make_unique<core::TqzPDName>("Pages"));
    auto kids = std::make_unique<TqzPDArray>(static_cast<core::TqzParentDocument*>(&baseDoc));
    kids->GetArray()->Elements().push_back(std::make_unique<core::TqzPDIndirectRef>(pageNumber, generation));
    node->Add("Kids", std::move(kids));
    node->Add("Count", std::make_unique<core::TqzPDInteger>(1));
    auto* entered = static_cast<TqzPDDictionary*>(baseDoc.AddNewObject(std::move(node)));
    entered->SetIsChanged(true);
    catalog->SetKeyValue("Pages", std::make_unique<core::TqzPDIndirectRef>(entered->GetObjNumber(), 0));
    catalog->SetIsChanged(true);
    page.SetIsChanged(true);
    FBaseObject = entered;
    return entered;
}

TqzPDDictionary& TqzPDPageTree::DuplicatePage(const TqzPDDictionary& page) {
    // A page listed again in /Kids is shown again: each appearance becomes a
    // page object of its own, sharing what the first one refers to.
    TqzPDBaseDoc& baseDoc = *FDocument->GetBaseDoc();
    auto copy = std::make_unique<TqzPDDictionary>(&baseDoc);
    copy->Assign(page);  // keeps the keys in their order
    auto* entered = static_cast<TqzPDDictionary*>(baseDoc.AddNewObject(std::move(copy)));
    entered->SetIsChanged(true);
    entered->SetIsWritten(false);
    return *entered;
}

void TqzPDPageTree::ReadPageTree() {
    TqzPDDictionary* root = GetRoot();
    if (!root || !FDocument || !FDocument->GetBaseDoc()) return;
    TqzPDBaseDoc& baseDoc = *FDocument->GetBaseDoc();
    if (!IsTreeNode(*root)) {
        root = PutRootAboveLonePage(*root);
        if (!root) return;
    }

    struct Frame {
        TqzPDArray* Kids;
        std::shared_ptr<TqzPDInheritedProperty> Property;
        int32_t Index;
    };

    // Every node is entered once: a node reached again (a cycle, or a node
    // listed twice) is skipped, so the walk ends on any file. A page listed
    // again is a page again; that costs one entry of the file's /Kids each.
    std::unordered_set<uint32_t> visited;
    if (const uint32_t rootNumber = GetRootObjectNumber()) visited.insert(rootNumber);
    // Each /Kids array is walked once: nodes that share one would list its
    // pages once per node, as many times over as the file has such nodes.
    std::unordered_set<const TqzPDArray*> walkedKids;
    const auto kidsToWalk = [&walkedKids](TqzPDDictionary& node) -> TqzPDArray* {
        TqzPDArray* kids = KidsOf(node);
        return kids && walkedKids.insert(kids).second ? kids : nullptr;
    };
    size_t repeatBudget = kMaxRepeatedPageObjects;
    std::unordered_map<uint32_t, size_t> pageSizes;
    // An explicit stack: trees of any depth are read without recursion.
    std::vector<Frame> stack;
    stack.push_back({kidsToWalk(*root), std::make_shared<TqzPDInheritedProperty>(FDocument, nullptr, root), 0});
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (!frame.Kids || frame.Index >= frame.Kids->GetLength()) {
            stack.pop_back();
            continue;
        }
        const int32_t index = frame.Index++;
        TqzPDBaseObject* stored = frame.Kids->GetRefObj(index);
        TqzPDBaseObject* kid = stored;
        PageRef ref{0, 0};
        bool seen = false;
        if (stored->IsIndirectRef()) {
            ref = {stored->GetObjNumber(), stored->GetGenNumber()};
            kid = baseDoc.GetObject(ref.Number);
            seen = !visited.insert(ref.Number).second;
        }
        if (!kid || !kid->IsDict()) continue;
        auto* dict = static_cast<TqzPDDictionary*>(kid);
        if (IsTreeNode(*dict)) {
            if (seen) continue;
            auto property = std::make_shared<TqzPDInheritedProperty>(FDocument, frame.Property, dict);
            TqzPDArray* kids = kidsToWalk(*dict);
            stack.push_back({kids, std::move(property), 0});  // `frame` is not used after this
            continue;
        }
        if (seen) {
            auto [size, added] = pageSizes.try_emplace(ref.Number, 0);
            if (added) size->second = DirectObjectCount(*dict);
            if (size->second > repeatBudget) continue;
            repeatBudget -= size->second;
            dict = &DuplicatePage(*dict);
            ref = {dict->GetObjNumber(), 0};
        } else if (ref.Number == 0) {
            // A page stored inside /Kids itself: give it a number of its
            // own so that the flat /Kids can refer to it.
            auto& element = frame.Kids->GetArray()->Elements()[static_cast<size_t>(index)];
            std::unique_ptr<TqzPDBaseObject> page = std::move(element);
            TqzPDBaseObject* entered = baseDoc.AddNewObject(std::move(page));
            ref = {entered->GetObjNumber(), 0};
            element = std::make_unique<core::TqzPDIndirectRef>(ref.Number, 0);
        }
        AppendPage(*dict, ref, frame.Property);
    }
}

int32_t TqzPDPageTree::GetCount() {
    EnsureRead();
    return static_cast<int32_t>(FPageList.size());
}

TqzPDPage* TqzPDPageTree::GetPage(int32_t pageNumber) {
    EnsureRead();
    if (pageNumber < 1 || static_cast<size_t>(pageNumber) > FPageList.size()) return nullptr;
    return FPageList[static_cast<size_t>(pageNumber - 1)].get();
}

TqzPDBaseObject* TqzPDPageTree::GetPageBaseObject(int32_t pageNumber) {
    TqzPDPage* page = GetPage(pageNumber);
    return page ? page->GetBaseObject() : nullptr;
}

uint32_t TqzPDPageTree::GetPageObjectNumber(int32_t pageNumber) {
    EnsureRead();
    if (pageNumber < 1 || static_cast<size_t>(pageNumber) > FPageRefs.size()) return 0;
    return FPageRefs[static_cast<size_t>(pageNumber - 1)].Number;
}

TqzPDPage* TqzPDPageTree::GetPageByIndRef(const TqzPDBaseObject* object) {
    EnsureRead();
    if (!object) return nullptr;
    for (size_t i = 0; i < FPageRefs.size(); ++i) {
        if (FPageRefs[i].Number == object->GetObjNumber()) return FPageList[i].get();
    }
    return nullptr;
}

void TqzPDPageTree::Renumber(size_t from) {
    for (size_t i = from; i < FPageList.size(); ++i) FPageList[i]->SetPageNum(static_cast<int32_t>(i + 1));
}

void TqzPDPageTree::UpdatePageNumbers(int32_t pageNumber) {
    for (const auto& page : FPageList) {
        if (page->GetPageNum() >= pageNumber - 1) page->SetPageNum(page->GetPageNum() + 1);
    }
}

void TqzPDPageTree::WriteCount() {
    // /Count always states the pages listed; nothing keeps a pointer to it.
    if (TqzPDDictionary* root = GetRoot()) {
        root->SetKeyValue("Count", std::make_unique<core::TqzPDInteger>(static_cast<int32_t>(FPageList.size())));
    }
}

void TqzPDPageTree::PlacePage(int32_t index, std::unique_ptr<TqzPDPage> page, PageRef ref) {
    const auto at = static_cast<size_t>(std::clamp<int64_t>(index, 0, static_cast<int64_t>(FPageList.size())));
    FPageList.insert(FPageList.begin() + static_cast<std::ptrdiff_t>(at), std::move(page));
    FPageRefs.insert(FPageRefs.begin() + static_cast<std::ptrdiff_t>(at), ref);
    Renumber(at);
    FIsChanged = true;
}

TqzPDPage* TqzPDPageTree::CreatePage(int32_t position, const core::TqzRect& mediaBox) {
    EnsureRead();
    if (position < 1 || static_cast<size_t>(position) > FPageList.size() + 1 || !FDocument ||
        !FDocument->GetBaseDoc()) {
        return nullptr;
    }
    TqzPDBaseDoc& baseDoc = *FDocument->GetBaseDoc();
    auto dict = std::make_unique<TqzPDDictionary>(&baseDoc);
    dict->Add("Type", std::make_unique<core::TqzPDName>("Page"));
    dict->Add("Contents", std::make_unique<TqzPDArray>(static_cast<core::TqzParentDocument*>(&baseDoc)));
    if (const uint32_t root = GetRootObjectNumber()) {
        dict->Add("Parent", std::make_unique<core::TqzPDIndirectRef>(root, 0));
    }
    auto* entered = static_cast<TqzPDDictionary*>(baseDoc.AddNewObject(std::move(dict)));
    entered->SetIsChanged(true);
    entered->SetIsWritten(false);
    auto page = std::make_unique<TqzPDPage>(FDocument, this, entered);
    page->SetMediaBox(mediaBox.Left, mediaBox.Top, mediaBox.Right, mediaBox.Bottom);
    TqzPDPage* result = page.get();
    PlacePage(position - 1, std::move(page), {entered->GetObjNumber(), 0});
    WriteCount();
    return result;
}

void TqzPDPageTree::DeletePage(int32_t pageNumber) {
    EnsureRead();
    if (pageNumber < 1 || static_cast<size_t>(pageNumber) > FPageList.size()) return;
    const auto at = static_cast<size_t>(pageNumber - 1);
    FPageList.erase(FPageList.begin() + static_cast<std::ptrdiff_t>(at));
    FPageRefs.erase(FPageRefs.begin() + static_cast<std::ptrdiff_t>(at));
    Renumber(at);
    WriteCount();
    FIsChanged = true;
}

void TqzPDPageTree::DeletePages(int32_t firstPage, int32_t lastPage) {
    EnsureRead();
    const auto count = static_cast<int32_t>(FPageList.size());
    if (firstPage < 1 || firstPage > count || lastPage < 1 || lastPage > count) return;
    for (int32_t n = lastPage; n >= firstPage; --n) {
        const auto at = static_cast<size_t>(n - 1);
        if (TqzPDDictionary* dict = FPageList[at]->GetDict()) dict->Remove("Parent");
        FPageList.erase(FPageList.begin() + static_cast<std::ptrdiff_t>(at));
        FPageRefs.erase(FPageRefs.begin() + static_cast<std::ptrdiff_t>(at));
    }
    Renumber(0);
    WriteCount();
    FIsChanged = true;
}

void TqzPDPageTree::MovePage(int32_t moveToAfterPage, int32_t pageToMove) {
    EnsureRead();
    const auto count = static_cast<int32_t>(FPageList.size());
    if (moveToAfterPage < 0 || moveToAfterPage > count || pageToMove < 1 || pageToMove > count) return;
    const auto from = static_cast<size_t>(pageToMove - 1);
    std::unique_ptr<TqzPDPage> page = std::move(FPageList[from]);
    const PageRef ref = FPageRefs[from];
    FPageList.erase(FPageList.begin() + static_cast<std::ptrdiff_t>(from));
    FPageRefs.erase(FPageRefs.begin() + static_cast<std::ptrdiff_t>(from));
    // Counted after taking the page out; past the end means last.
    const auto to = std::min(static_cast<size_t>(moveToAfterPage), FPageList.size());
    FPageList.insert(FPageList.begin() + static_cast<std::ptrdiff_t>(to), std::move(page));
    FPageRefs.insert(FPageRefs.begin() + static_cast<std::ptrdiff_t>(to), ref);
    Renumber(0);
    FIsChanged = true;
}

void TqzPDPageTree::ReplacePages(int32_t startPage, TqzPDDocument& sourceDoc, int32_t sourceStartPage,
                                 int32_t numOfPages, bool /*mergeTextAnnots*/) {
    DeletePages(startPage, startPage + numOfPages - 1);
    InsertPages(startPage - 1, sourceDoc, sourceStartPage, numOfPages, TqzPageInsertFlages::InsertAll);
}

void TqzPDPageTree::RequestPages(int32_t /*startPage*/, int32_t /*numOfPages*/) { EnsureRead(); }

void TqzPDPageTree::StitchPages(int32_t /*stitchToPage*/, int32_t /*stitchFromPage*/) {
    throw ExNotSupportedYet("Page stitching");
}

void TqzPDPageTree::StitchPagesSideBySide(int32_t /*stitchToPage*/, int32_t /*stitchFromPage*/) {
    throw ExNotSupportedYet("Page stitching");
}

// ---- insertion ----

void MapOtherPages(TqzObjectCopier& copier, TqzPDPageTree& tree) {
    std::vector<uint32_t> numbers;
    numbers.reserve(static_cast<size_t>(tree.GetCount()));
    for (int32_t n = 1; n <= tree.GetCount(); ++n) {
        const uint32_t number = tree.GetPageObjectNumber(n);
        numbers.push_back(number);
        if (number != 0 && !copier.IsMapped(number)) copier.MapObject(number, 0);
    }
    copier.SetSourcePages(std::move(numbers));
}

namespace {

TqzPDDictionary& NewPageDict(TqzPDDocument& document) {
    TqzPDBaseDoc& baseDoc = *document.GetBaseDoc();
    return static_cast<TqzPDDictionary&>(*baseDoc.AddNewObject(std::make_unique<TqzPDDictionary>(&baseDoc)));
}

}  // namespace

void TqzPDPageTree::InsertPage(int32_t index, TqzPDPage& page, TqzObjectCopier& copier, TqzPDDictionary& dict) {
    auto copy = std::make_unique<TqzPDPage>(FDocument, this, &dict);
    copy->Assign(page, copier);
    // The rotation in force for the source page, its own or inherited.
    copy->SetRotate(page.GetRotate());
    PlacePage(index, std::move(copy), {dict.GetObjNumber(), 0});
}

void TqzPDPageTree::InsertPage(int32_t index, TqzPDPage& page, TqzPageInsertFlages /*insertFlags*/) {
    EnsureRead();
    TqzPDDocument* source = page.GetDocument();
    if (!FDocument || !FDocument->GetBaseDoc() || !source || !source->GetBaseDoc() || !page.GetDict()) return;
    page.GetMediaBox();  // a bad box refuses the page before anything changes
    page.GetCropBox();
    TqzDocumentCopyTarget target(*FDocument);
    TqzObjectCopier copier(*source->GetBaseDoc(), target);
    TqzPDDictionary& dict = NewPageDict(*FDocument);
    if (!page.GetDict()->IsDirect()) copier.MapObject(page.GetDict()->GetObjNumber(), dict.GetObjNumber());
    if (source->IsLoaded()) MapOtherPages(copier, *source->GetCatalog()->GetPageTree());
    InsertPage(index, page, copier, dict);
    WriteCount();
    JoinFormFields(*FDocument, *source, copier, {&dict});
}

void TqzPDPageTree::InsertPages(int32_t afterPage, TqzPDDocument& sourceDoc, int32_t sourceStartPage,
                                int32_t numOfPages, TqzPageInsertFlages /*insertFlags*/) {
    if (!FDocument || !FDocument->GetBaseDoc() || !sourceDoc.GetBaseDoc()) return;
    TqzDocumentCopyTarget target(*FDocument);
    TqzObjectCopier copier(*sourceDoc.GetBaseDoc(), target);
    InsertPages(afterPage, sourceDoc, sourceStartPage, numOfPages, copier);
}

int32_t TqzPDPageTree::InsertPages(int32_t afterPage, TqzPDDocument& sourceDoc, int32_t sourceStartPage,
                                   int32_t numOfPages, TqzObjectCopier& copier) {
    EnsureRead();
    if (numOfPages <= 0 || !FDocument || !FDocument->GetBaseDoc() || !sourceDoc.IsLoaded()) return 0;
    TqzPDPageTree& sourceTree = *sourceDoc.GetCatalog()->GetPageTree();
    const int64_t sourceCount = sourceTree.GetCount();
    if (afterPage < 0 || afterPage > GetCount() || sourceStartPage <= 0 || sourceStartPage > sourceCount ||
        sourceCount < int64_t{sourceStartPage} + numOfPages - 1) {
        return 0;
    }
    // The source pages as they stand now: inserting a document into itself
    // moves its pages while they are copied.
    std::vector<TqzPDPage*> pages;
    pages.reserve(static_cast<size_t>(numOfPages));
    for (int32_t i = 0; i < numOfPages; ++i) {
        TqzPDPage* page = sourceTree.GetPage(sourceStartPage + i);
        // A page with a box that is not an array is refused before anything
        // changes in the target.
        page->GetMediaBox();
        page->GetCropBox();
        pages.push_back(page);
    }
    // Every page dictionary is placed first, so that references among the
    // inserted pages (actions, destinations) reach their copies; references
    // to the source's other pages copy to null.
    std::vector<TqzPDDictionary*> dicts;
    dicts.reserve(pages.size());
    for (int32_t i = 0; i < numOfPages; ++i) {
        TqzPDDictionary& dict = NewPageDict(*FDocument);
        dicts.push_back(&dict);
        const uint32_t number = sourceTree.GetPageObjectNumber(sourceStartPage + i);
        if (number != 0) copier.MapObject(number, dict.GetObjNumber());
    }
    MapOtherPages(copier, sourceTree);
    try {
        for (int32_t i = 0; i < numOfPages; ++i) {
            InsertPage(afterPage + i, *pages[static_cast<size_t>(i)], copier, *dicts[static_cast<size_t>(i)]);
        }
    } catch (...) {
        // The pages inserted before a failure stay, and /Count states them.
        WriteCount();
        throw;
    }
    WriteCount();
    JoinFormFields(*FDocument, sourceDoc, copier, dicts);
    return numOfPages;
}

// ---- write-back ----

void TqzPDPageTree::GiveInheritedValues(TqzPDPage& page, std::unordered_map<const TqzPDBaseObject*, uint32_t>& madeIndirect) {
    TqzPDDictionary* dict = page.GetDict();
    TqzPDInheritedProperty* property = page.GetInheritedProperty();
    TqzPDDictionary* root = GetRoot();
    if (!dict || !property || !FDocument || !FDocument->GetBaseDoc()) return;
    TqzPDBaseDoc& baseDoc = *FDocument->GetBaseDoc();
    for (int i = 0; i < kInheritedKeyCount; ++i) {
        const auto key = static_cast<TqzInheritedKey>(i);
        const std::string_view name = InheritedKeyName(key);
        if (dict->LookupRefObj(name)) continue;
        const TqzPDInheritedProperty::Value& value = property->GetValue(key);
        // The root stays the root: what it gives, it still gives.
        if (!value.Holder || value.Holder == root || value.Holder == dict) continue;
        std::unique_ptr<TqzPDBaseObject> given;
        if (value.Stored->IsIndirectRef()) {
            given = std::make_unique<core::TqzPDIndirectRef>(value.Stored->GetObjNumber(), value.Stored->GetGenNumber());
        } else if (key == TqzInheritedKey::Resources) {
            // A node's direct resources become one indirect object that all
            // its pages refer to, rather than a copy in each page.
            uint32_t number = 0;
            if (const auto it = madeIndirect.find(value.Stored); it != madeIndirect.end()) {
                number = it->second;
            } else {
                const int32_t index = value.Holder->GetDict()->Find(name);
                if (index < 0) continue;
                std::unique_ptr<TqzPDBaseObject> resources =
                    value.Holder->SetValue(index, std::make_unique<core::TqzPDIndirectRef>(0, 0));
                TqzPDBaseObject* entered = baseDoc.AddNewObject(std::move(resources));
                number = entered->GetObjNumber();
                value.Holder->SetValue(index, std::make_unique<core::TqzPDIndirectRef>(number, 0));
                madeIndirect[value.Stored] = number;
            }
            given = std::make_unique<core::TqzPDIndirectRef>(number, 0);
        } else {
            given = core::CopyByKind(*value.Resolved, &baseDoc);
        }
        dict->Add(name, std::move(given));
    }
}

void TqzPDPageTree::GiveRootANumber() {
    // Pages name their parent by reference, so a root stored inside the
    // catalog becomes an object of its own (the same object: elements that
    // hold it stay valid).
    TqzPDBaseDoc& baseDoc = *FDocument->GetBaseDoc();
    TqzPDDictionary* catalog = baseDoc.GetDocRoot();
    const int32_t index = catalog ? catalog->GetDict()->Find("Pages") : -1;
    if (index < 0 || catalog->GetValueRefObj(index) != FBaseObject) return;
    std::unique_ptr<TqzPDBaseObject> root = catalog->SetValue(index, std::make_unique<core::TqzPDIndirectRef>(0, 0));
    TqzPDBaseObject* entered = baseDoc.AddNewObject(std::move(root));
    catalog->SetValue(index, std::make_unique<core::TqzPDIndirectRef>(entered->GetObjNumber(), 0));
    catalog->SetIsChanged(true);
}

void TqzPDPageTree::Update() {
    if (!FRead) return;
    TqzPDDictionary* root = GetRoot();
    if (!root || !FDocument || !FDocument->GetBaseDoc()) return;
    if (GetRootObjectNumber() == 0) GiveRootANumber();
    // Attributes from the intermediate nodes go into the pages first: once
    // the tree is flat, only the root still hands anything down.
    std::unordered_map<const TqzPDBaseObject*, uint32_t> madeIndirect;
    for (const auto& page : FPageList) GiveInheritedValues(*page, madeIndirect);
    for (const auto& page : FPageList) {
        // Read as a page whatever its /Type said; written as one.
        TqzPDDictionary* dict = page->GetDict();
        if (dict && !dict->IsDict("Page")) dict->SetKeyValue("Type", std::make_unique<core::TqzPDName>("Page"));
        page->Update();
    }
    FIsChanged = true;
    // Flattened whenever the list was read, whatever the root's /Type says.
    auto kids = std::make_unique<TqzPDArray>(static_cast<core::TqzParentDocument*>(FDocument->GetBaseDoc()));
    auto& elements = kids->GetArray()->Elements();
    elements.reserve(FPageRefs.size());
    for (const PageRef& ref : FPageRefs) elements.push_back(std::make_unique<core::TqzPDIndirectRef>(ref.Number, ref.Generation));
    if (!root->IsDict("Pages")) root->SetKeyValue("Type", std::make_unique<core::TqzPDName>("Pages"));
    root->SetKeyValue("Kids", std::move(kids));
    WriteCount();
    root->SetIsChanged(true);
}

}  // namespace qz::document
