#pragma once
// The codecs live above the core (in filters/), yet the core's stream save
// rule compresses and its parser builds filter chains. The filters library
// fills these hooks explicitly at start-up (qz::filters::RegisterFilters);
// an unfilled hook raises instead of silently doing nothing.

#include <functional>

#include "core/Stream.h"

namespace qz::core {

struct TqzFilterHooks {
    // Compresses everything `source` yields into `out` with Flate (zlib
    // header, level 1).
    std::function<void(TqzStream& source, TqzStream& out)> FlateEncode;
};

TqzFilterHooks& FilterHooks();

}  // namespace qz::core
