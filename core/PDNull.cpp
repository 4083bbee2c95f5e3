#include "core/PDNull.h"

#include "core/SaveContext.h"

namespace qz::core {

void TqzPDNull::WriteText(TqzSaveContext& context) { context.Write("null"); }

}  // namespace qz::core
