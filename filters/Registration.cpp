#include "filters/Registration.h"

#include "core/FilterHooks.h"
#include "filters/FlateEncode.h"

namespace qz::filters {

void RegisterFilters() {
    core::FilterHooks().FlateEncode = [](core::TqzStream& source, core::TqzStream& out) {
        FlateCompress(source, out);
    };
}

}  // namespace qz::filters
