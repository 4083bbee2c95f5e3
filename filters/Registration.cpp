#include "filters/Registration.h"

#include "core/FilterHooks.h"
#include "filters/FlateEncode.h"
#include "filters/PDFilterManager.h"

namespace qz::filters {

void RegisterFilters() {
    core::FilterHooks().FlateEncode = [](core::TqzStream& source, core::TqzStream& out) {
        FlateCompress(source, out);
    };
    core::FilterHooks().GetFilter = &TqzPDFilterManager::GetFilter;
}

}  // namespace qz::filters
