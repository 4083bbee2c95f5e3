#include "filters/PDFilterManager.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "core/FilterStream.h"
#include "core/PDArray.h"
#include "core/PDBaseExceptions.h"
#include "core/PDBoolean.h"
#include "core/PDInteger.h"
#include "core/PDName.h"
#include "filters/CodecStreams.h"
#include "filters/JBIG2Stream.h"

namespace qz::filters {

namespace {

using core::TqzPDArray;
using core::TqzPDBaseObject;
using core::TqzPDDictionary;
using core::TqzStreamPtr;

// The value of `key`, matched exactly (keys here are case-sensitive), with a
// reference resolved; none when absent.
const TqzPDBaseObject* Exact(const TqzPDDictionary& dict, std::string_view key) {
    for (int32_t i = dict.GetLength() - 1; i >= 0; --i) {
        if (dict.GetKey(i) == key) return dict.GetValue(i);
    }
    return nullptr;
}

bool IsNone(const TqzPDBaseObject* value) {
    return !value || value->IsNull();
}

// `key`, or `alternative` when `key` is absent or null.
const TqzPDBaseObject* Entry(const TqzPDDictionary& dict, std::string_view key,
                             std::string_view alternative) {
    const TqzPDBaseObject* value = Exact(dict, key);
    return IsNone(value) ? Exact(dict, alternative) : value;
}

const TqzPDDictionary* AsDict(const TqzPDBaseObject* value) {
    return value && value->IsDict() ? static_cast<const TqzPDDictionary*>(value) : nullptr;
}

// Parameters are taken only with their exact type; anything else keeps the
// default.
int32_t IntParam(const TqzPDDictionary* params, std::string_view key, int32_t fallback) {
    const TqzPDBaseObject* value = params ? Exact(*params, key) : nullptr;
    if (!value || !value->IsInteger()) return fallback;
    const int64_t v = static_cast<const core::TqzPDInteger*>(value)->GetValue();
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

bool BoolParam(const TqzPDDictionary* params, std::string_view key, bool fallback) {
    const TqzPDBaseObject* value = params ? Exact(*params, key) : nullptr;
    if (!value || !value->IsBoolean()) return fallback;
    return static_cast<const core::TqzPDBoolean*>(value)->GetValue();
}

// The data stream of the JBIG2Globals stream named in the stream
// dictionary's own /DecodeParms (a dictionary, or the first of an array).
TqzStreamPtr JBIG2Globals(const TqzPDDictionary& dict) {
    const TqzPDBaseObject* parms = Exact(dict, "DecodeParms");
    if (parms && parms->IsArray()) {
        const auto* array = static_cast<const TqzPDArray*>(parms);
        parms = array->GetLength() > 0 ? array->Get(0) : nullptr;
    }
    const TqzPDDictionary* params = AsDict(parms);
    const TqzPDBaseObject* globals = params ? Exact(*params, "JBIG2Globals") : nullptr;
    if (!globals || !globals->IsStream()) return nullptr;
    return static_cast<const core::TqzPDStream*>(globals)->GetStreamPtr();
}

}  // namespace

std::unique_ptr<core::TqzPDStream> TqzPDFilterManager::GetFilter(
    std::unique_ptr<TqzPDDictionary> dict, TqzStreamPtr stream) {
    if (!dict) throw core::ExInvalidObject();
    if (!stream) throw core::ExInvalidStream();
    const TqzPDBaseObject* filter = Entry(*dict, "Filter", "F");
    const TqzPDBaseObject* params = Entry(*dict, "DecodeParms", "DP");
    // An empty parameter array, or one that starts with an empty
    // dictionary, stands for no parameters.
    if (params && params->IsArray()) {
        const auto* array = static_cast<const TqzPDArray*>(params);
        const TqzPDDictionary* first = array->GetLength() > 0 ? AsDict(array->Get(0)) : nullptr;
        if (array->GetLength() == 0 || (first && first->GetLength() == 0)) params = nullptr;
    }

    TqzStreamPtr data;
    if (IsNone(filter) && IsNone(params)) {
        data = std::move(stream);
    } else if (filter && filter->IsName()) {
        data = MakeFilter(static_cast<const core::TqzPDName*>(filter)->GetValue(), params, *dict,
                          std::move(stream));
    } else if (filter && filter->IsArray()) {
        const auto* filters = static_cast<const TqzPDArray*>(filter);
        const auto* paramArray =
            params && params->IsArray() ? static_cast<const TqzPDArray*>(params) : nullptr;
        data = std::move(stream);
        for (int32_t i = 0; i < filters->GetLength(); ++i) {
            const TqzPDBaseObject* name = filters->Get(i);
            if (!name || !name->IsName()) {
                // The chain ends here: what follows cannot be decoded.
                data = std::make_shared<core::TqzEOFStream>(std::move(data));
                break;
            }
            // A single parameter dictionary is not used with an array of filters.
            const TqzPDBaseObject* elementParams =
                paramArray && i < paramArray->GetLength() ? paramArray->Get(i) : nullptr;
            data = MakeFilter(static_cast<const core::TqzPDName*>(name)->GetValue(), elementParams,
                              *dict, std::move(data));
        }
    } else {
        return nullptr;
    }
    return std::make_unique<core::TqzPDStream>(std::move(data), std::move(dict));
}

TqzStreamPtr TqzPDFilterManager::MakeFilter(std::string_view name, const TqzPDBaseObject* params,
                                            const TqzPDDictionary& dict, TqzStreamPtr stream) {
    const TqzPDDictionary* p = AsDict(params);
    if (name == "FlateDecode" || name == "Fl") {
        return std::make_shared<TqzFlateStream>(std::move(stream), IntParam(p, "Predictor", 1),
                                                IntParam(p, "Columns", 1), IntParam(p, "Colors", 1),
                                                IntParam(p, "BitsPerComponent", 8));
    }
    if (name == "ASCIIHexDecode" || name == "AHx")
        return std::make_shared<TqzASCIIHexStream>(std::move(stream));
    if (name == "ASCII85Decode" || name == "A85")
        return std::make_shared<TqzASCII85Stream>(std::move(stream));
    if (name == "LZWDecode" || name == "LZW") {
        return std::make_shared<TqzLZWStream>(std::move(stream), IntParam(p, "Predictor", 1),
                                              IntParam(p, "Columns", 1), IntParam(p, "Colors", 1),
                                              IntParam(p, "BitsPerComponent", 8),
                                              IntParam(p, "EarlyChange", 1));
    }
    if (name == "RunLengthDecode" || name == "RL")
        return std::make_shared<TqzRunLengthStream>(std::move(stream));
    if (name == "CCITTFaxDecode" || name == "CCF") {
        return std::make_shared<TqzCCITTStream>(
            std::move(stream), IntParam(p, "K", 0), BoolParam(p, "EndOfLine", false),
            BoolParam(p, "EncodedByteAlign", false), IntParam(p, "Columns", 1728),
            IntParam(p, "Rows", 0), BoolParam(p, "EndOfBlock", true),
            BoolParam(p, "BlackIs1", false));
    }
    if (name == "DCTDecode" || name == "DCT") {
        // -1 lets the decoder decide from the image data.
        return std::make_shared<TqzDCTStream>(std::move(stream), IntParam(p, "ColorTransform", -1));
    }
    if (name == "JPXDecode") return std::make_shared<TqzJPXStream>(std::move(stream));
    if (name == "JBIG2Decode")
        return std::make_shared<TqzJBIG2Stream>(std::move(stream), JBIG2Globals(dict));
    // Unknown filters, "Crypt" included: the data cannot be decoded here.
    return std::make_shared<core::TqzEOFStream>(std::move(stream));
}

}  // namespace qz::filters
