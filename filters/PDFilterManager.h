#pragma once
// TqzPDFilterManager: the one place where a stream dictionary's filter
// entries (/Filter or /F, /DecodeParms or /DP) become a chain of filter
// streams over the raw data. Each link of the chain shares ownership of the
// link below it; the stream object returned owns its dictionary and shares
// the chain. Never instantiated.
//
// Image filters (CCITT fax, DCT, JBIG2, JPX) make streams of their own kind,
// so the save rule knows their data and copies it as stored; JPX data is
// not decoded. A filter this system does not know at all reads through
// an end-of-data stream.

#include <memory>
#include <string_view>

#include "core/Object.h"
#include "core/PDDictionary.h"
#include "core/PDStream.h"
#include "core/Stream.h"

namespace qz::filters {

class TqzPDFilterManager : public core::TqzObject {
  public:
    TqzPDFilterManager() = delete;

    // A new direct stream object over the chain `dict` describes on
    // `stream`, with `dict` as its dictionary; none for a malformed filter
    // entry (a filter that is neither a name nor an array, or parameters
    // without a filter), `dict` being freed then. No dictionary raises
    // ExInvalidObject, no data stream ExInvalidStream.
    static std::unique_ptr<core::TqzPDStream> GetFilter(std::unique_ptr<core::TqzPDDictionary> dict,
                                                        core::TqzStreamPtr stream);
    // One filter stream named `name` over `stream`, with the parameter object
    // `params` (may be none); `dict` is the stream dictionary.
    static core::TqzStreamPtr MakeFilter(std::string_view name, const core::TqzPDBaseObject* params,
                                         const core::TqzPDDictionary& dict,
                                         core::TqzStreamPtr stream);
};

}  // namespace qz::filters
