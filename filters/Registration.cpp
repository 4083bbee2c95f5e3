#include "filters/Registration.h"

#include "core/FilterHooks.h"
#include "filters/FlateEncode.h"
#include "filters/PDFilterManager.h"

namespace qz::filters {

void RegisterFilters() {
    core::FilterHooks().FlateEncoder = [](core::TqzStreamPtr source) -> core::TqzStreamPtr {
        return std::make_shared<TqzDeflatingStream>(std::move(source), true);
    };
    core::FilterHooks().GetFilter = &TqzPDFilterManager::GetFilter;
}

}  // namespace qz::filters
