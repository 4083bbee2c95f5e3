#include "core/PDBoolean.h"

#include "core/SaveContext.h"

namespace qz::core {

void TqzPDBoolean::Assign(const TqzPDBaseObject& source) {
    if (const auto* b = dynamic_cast<const TqzPDBoolean*>(&source)) FValue = b->FValue;
}

void TqzPDBoolean::WriteText(TqzSaveContext& context) { context.Write(FValue ? "true" : "false"); }

}  // namespace qz::core
