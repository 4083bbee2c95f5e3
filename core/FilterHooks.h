#pragma once
// The codecs live above the core (in filters/), yet the core's stream save
// rule compresses and its parser builds filter chains. The filters library
// fills these hooks explicitly at start-up (qz::filters::RegisterFilters);
// an unfilled hook raises instead of silently doing nothing.

#include <functional>
#include <memory>

#include "core/PDDictionary.h"
#include "core/PDStream.h"
#include "core/Stream.h"

namespace qz::core {

struct TqzFilterHooks {
    // A stream that yields, as it is read, everything `source` yields from
    // where it stands, compressed with Flate (zlib header; level 1, or
    // stored blocks for data that level 1 would not shrink enough).
    std::function<TqzStreamPtr(TqzStreamPtr source)> FlateEncoder;
    // A new direct stream object whose data is the filter chain that `dict`'s
    // /Filter and /DecodeParms (or /F and /DP) describe over `raw`, with
    // `dict` as its dictionary; none for a malformed filter entry (`dict` is
    // then freed).
    std::function<std::unique_ptr<TqzPDStream>(std::unique_ptr<TqzPDDictionary> dict,
                                               TqzStreamPtr raw)>
        GetFilter;
};

TqzFilterHooks& FilterHooks();

}  // namespace qz::core
