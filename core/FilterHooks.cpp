#include "core/FilterHooks.h"

namespace qz::core {

TqzFilterHooks& FilterHooks() {
    static TqzFilterHooks hooks;
    return hooks;
}

}  // namespace qz::core
