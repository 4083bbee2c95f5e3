#include "core/PDIndirectRef.h"

#include "core/Conversions.h"
#include "core/SaveContext.h"

namespace qz::core {

TqzSaveStep TqzPDIndirectRef::SaveStep(TqzSaveContext& context, TqzSaveFrame& /*frame*/) {
    if (context.OnlyChanged() && !FIsChanged) return TqzSaveStep::Done;
    context.Write(IntegerToString(FObjNumber) + " 0 R");
    return TqzSaveStep::Done;
}

}  // namespace qz::core
