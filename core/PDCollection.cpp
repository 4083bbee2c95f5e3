#include "core/PDCollection.h"

#include "core/Limits.h"
#include "core/PDBaseExceptions.h"

namespace qz::core {

TqzPDCollection::TqzPDCollection(TqzParentDocument* parentDoc) : FParentDoc(parentDoc) {}

TqzPDCollection::~TqzPDCollection() {
    // Objects may nest deeply; they are taken apart without recursion.
    std::vector<std::unique_ptr<TqzPDBaseObject>> all = std::move(FReplaced);
    for (auto& [number, object] : FObjects) all.push_back(std::move(object));
    FObjects.clear();
    DestroyObjects(all);
}

TqzPDBaseObject* TqzPDCollection::Add(std::unique_ptr<TqzPDBaseObject> value) {
    if (!value) throw ExInvalidObject();
    // A direct object has no number to be filed under.
    const uint32_t number = value->GetObjNumber();
    if (value->IsDirect() || number > kMaxObjectNumber) throw ExInvalidObject();
    TqzPDBaseObject* raw = value.get();
    auto& slot = FObjects[number];
    if (slot && slot.get() != raw) FReplaced.push_back(std::move(slot));
    slot = std::move(value);
    return raw;
}

TqzPDBaseObject* TqzPDCollection::GetObject(uint32_t objectNumber) const {
    const auto it = FObjects.find(objectNumber);
    return it == FObjects.end() ? nullptr : it->second.get();
}

std::unique_ptr<TqzPDBaseObject> TqzPDCollection::Release(uint32_t objectNumber) {
    const auto it = FObjects.find(objectNumber);
    if (it == FObjects.end()) return nullptr;
    auto object = std::move(it->second);
    FObjects.erase(it);
    return object;
}

std::vector<uint32_t> TqzPDCollection::GetObjectNumbers() const {
    std::vector<uint32_t> numbers;
    numbers.reserve(FObjects.size());
    for (const auto& entry : FObjects) numbers.push_back(entry.first);
    return numbers;
}

}  // namespace qz::core
