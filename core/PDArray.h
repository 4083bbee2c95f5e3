#pragma once
// TqzArray: the body of a PDF array: its elements, which it owns, and the
// document through which references among them are resolved (borrowed).
// TqzPDArray: the array object over a body. Clones share the body, so a
// change through one is seen by all; the last holder frees it.

#include <memory>
#include <vector>

#include "core/PDBaseObject.h"

namespace qz::core {

class TqzParentDocument;
class TqzPDIndirectRef;

class TqzArray : public TqzObject {
public:
    explicit TqzArray(TqzParentDocument* parentDoc = nullptr) : FParentDoc(parentDoc) {}
    ~TqzArray() override { DestroyObjects(FElements); }
    TqzArray(const TqzArray&) = delete;
    TqzArray& operator=(const TqzArray&) = delete;

    TqzParentDocument* GetParentDoc() const { return FParentDoc; }
    void SetParentDoc(TqzParentDocument* doc) { FParentDoc = doc; }
    std::vector<std::unique_ptr<TqzPDBaseObject>>& Elements() { return FElements; }
    const std::vector<std::unique_ptr<TqzPDBaseObject>>& Elements() const { return FElements; }

private:
    TqzParentDocument* FParentDoc;
    std::vector<std::unique_ptr<TqzPDBaseObject>> FElements;
};

class TqzPDArray : public TqzPDBaseObject {
public:
    // A new empty body of `parentDoc`.
    explicit TqzPDArray(TqzParentDocument* parentDoc = nullptr, uint32_t objNumber = kDirectObject,
                        uint32_t genNumber = kDirectObject);
    // An array object over an existing body.
    explicit TqzPDArray(std::shared_ptr<TqzArray> array, uint32_t objNumber = kDirectObject,
                        uint32_t genNumber = kDirectObject);

    int32_t GetLength() const { return static_cast<int32_t>(FArray->Elements().size()); }
    // The element, borrowed, a reference resolved through the document (none
    // when it cannot be resolved); the reference itself without a document.
    TqzPDBaseObject* Get(int32_t index) const;
    // The stored element, borrowed, references unresolved.
    TqzPDBaseObject* GetRefObj(int32_t index) const;
    // Caller-owned copies of the above, or a new null when there is none.
    std::unique_ptr<TqzPDBaseObject> GetClone(int32_t index) const;
    std::unique_ptr<TqzPDBaseObject> GetRefObjClone(int32_t index) const;
    void Add(std::unique_ptr<TqzPDBaseObject> element);
    // Inserts before `index` (clamped to 0 .. length).
    void Insert(std::unique_ptr<TqzPDBaseObject> element, int32_t index);
    void Remove(int32_t index);
    // Replaces (and frees) the element at `index`; nothing happens out of
    // range. Does not mark the array changed.
    void SetValue(std::unique_ptr<TqzPDBaseObject> element, int32_t index);
    TqzParentDocument* GetParentDoc() const { return FArray->GetParentDoc(); }
    void SetParentDoc(TqzParentDocument* doc) { FArray->SetParentDoc(doc); }
    const std::shared_ptr<TqzArray>& GetArray() const { return FArray; }
    // Appends every reference held by the array and by the direct arrays and
    // dictionaries inside it, depth first in element order.
    void GetIndirectRefs(std::vector<TqzPDIndirectRef*>& list) const;

    bool IsArray() const override { return true; }
    // Same numbers and changed flag, over the same body.
    std::unique_ptr<TqzPDBaseObject> Clone() const override;
    // Takes the source's numbers and appends copies of its elements.
    void Assign(const TqzPDBaseObject& source) override;
    void MoveChildrenTo(std::vector<std::unique_ptr<TqzPDBaseObject>>& out) override;

protected:
    TqzSaveStep SaveStep(TqzSaveContext& context, TqzSaveFrame& frame) override;

private:
    uint32_t ChildValidNumber() const { return IsDirect() ? FValidObjectNumber : FObjNumber; }

    std::shared_ptr<TqzArray> FArray;
};

// Appends the references held by `root` (an array or dictionary) and by the
// direct arrays and dictionaries inside it, depth first in element order.
void CollectIndirectRefs(const TqzPDBaseObject& root, std::vector<TqzPDIndirectRef*>& list);

// A new direct value of the same kind as `source` (unresolved), made with
// `parentDoc` where it holds one and assigned from `source`; a token becomes
// null. Nesting deeper than kMaxNestingDepth raises ExLimitExceeded.
std::unique_ptr<TqzPDBaseObject> CopyByKind(const TqzPDBaseObject& source, TqzParentDocument* parentDoc);

}  // namespace qz::core
