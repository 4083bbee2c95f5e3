#include "core/PDInteger.h"

#include "core/Conversions.h"
#include "core/SaveContext.h"

namespace qz::core {

std::unique_ptr<TqzPDBaseObject> TqzPDInteger::Clone() const {
    // Only the low 32 bits survive a clone, as the value was made from 32.
    const auto low = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(FValue) & 0xFFFFFFFFu));
    return std::make_unique<TqzPDInteger>(low, FObjNumber, FGenNumber);
}

void TqzPDInteger::Assign(const TqzPDBaseObject& source) {
    TqzPDBaseObject::Assign(source);
    if (const auto* i = dynamic_cast<const TqzPDInteger*>(&source)) FValue = i->FValue;
}

void TqzPDInteger::WriteText(TqzSaveContext& context) { context.Write(IntegerToString(FValue)); }

}  // namespace qz::core
