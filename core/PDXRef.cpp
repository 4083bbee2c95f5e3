#include "core/PDXRef.h"

#include <algorithm>

#include "core/Limits.h"

namespace qz::core {

TqzPDXRefEntry TqzPDXRef::GetEntry(uint32_t index) const {
    const TqzPDXRefEntry* entry = FindEntry(index);
    return entry ? *entry : TqzPDXRefEntry();
}

const TqzPDXRefEntry* TqzPDXRef::FindEntry(uint32_t index) const {
    const auto it = FEntries.find(index);
    return it == FEntries.end() ? nullptr : &it->second;
}

bool TqzPDXRef::SetEntry(uint32_t index, const TqzPDXRefEntry& entry) {
    if (index > kMaxObjectNumber) return false;
    if (index >= FSize) FSize = static_cast<uint32_t>(std::min<uint64_t>(uint64_t{index} + kGrowth, kMaxObjectNumber + uint64_t{1}));
    FEntries[index] = entry;
    FChanged = true;
    return true;
}

void TqzPDXRef::AddDefaultEntries(uint32_t tillCount) {
    FSize = std::max(FSize, std::min(tillCount, kMaxObjectNumber + 1));
}

bool TqzPDXRef::AddEntry(const TqzPDXRefEntry& entry) {
    if (FSize > kMaxObjectNumber) return false;
    FEntries[FSize] = entry;
    ++FSize;
    return true;
}

bool TqzPDXRef::IsEntryFree(uint32_t index) const {
    const TqzPDXRefEntry* entry = FindEntry(index);
    return !entry || entry->GetEntryType() == TqzPDXRefEntrytype::xeFree;
}

}  // namespace qz::core
