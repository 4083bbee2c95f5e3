#pragma once
// TqzPDCollection: the document's table of indirect objects by object number,
// so that each object is read from the file at most once and every reference
// to it resolves to the same instance. Storage is sparse: memory follows the
// objects held, never a size or number read from the file.
//
// The table owns every object in it. An object stays under the number it had
// when added (a save renumbers objects, not slots). An object that is to
// become a direct value of a container is taken out with Release first, so
// that it always has exactly one owner. An object replaced by a later Add
// under the same number stays alive, owned by the table, until the table is
// destroyed: whoever still holds it must not be left with a dangling pointer.

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "core/Object.h"
#include "core/PDBaseObject.h"

namespace qz::core {

class TqzParentDocument;

class TqzPDCollection : public TqzObject {
  public:
    explicit TqzPDCollection(TqzParentDocument* parentDoc);
    ~TqzPDCollection() override;
    TqzPDCollection(const TqzPDCollection&) = delete;
    TqzPDCollection& operator=(const TqzPDCollection&) = delete;

    // Files `value` under its object number and returns it (borrowed). No
    // object, and a direct one (which has no number), raise ExInvalidObject;
    // so does a number above kMaxObjectNumber.
    TqzPDBaseObject* Add(std::unique_ptr<TqzPDBaseObject> value);
    // The object filed under that number, borrowed, or none.
    TqzPDBaseObject* GetObject(uint32_t objectNumber) const;
    // Takes the object filed under that number out of the table; the caller
    // becomes its owner. None when the number holds nothing.
    std::unique_ptr<TqzPDBaseObject> Release(uint32_t objectNumber);
    // Number of objects filed.
    size_t GetCount() const { return FObjects.size(); }
    // The numbers filed, in no particular order.
    std::vector<uint32_t> GetObjectNumbers() const;
    TqzParentDocument* GetParentDoc() const { return FParentDoc; }

  private:
    std::unordered_map<uint32_t, std::unique_ptr<TqzPDBaseObject>> FObjects;
    // Objects replaced under their number, kept alive for their holders.
    std::vector<std::unique_ptr<TqzPDBaseObject>> FReplaced;
    TqzParentDocument* FParentDoc;
};

}  // namespace qz::core
