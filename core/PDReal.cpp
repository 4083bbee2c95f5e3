#include "core/PDReal.h"

#include "core/Conversions.h"
#include "core/SaveContext.h"

namespace qz::core {

void TqzPDReal::Assign(const TqzPDBaseObject& source) {
    TqzPDBaseObject::Assign(source);
    if (const auto* r = dynamic_cast<const TqzPDReal*>(&source)) FValue = r->FValue;
}

void TqzPDReal::WriteText(TqzSaveContext& context) { context.Write(FloatToStringLocale(FValue)); }

}  // namespace qz::core
