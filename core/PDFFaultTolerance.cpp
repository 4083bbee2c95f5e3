#include "core/PDFFaultTolerance.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/Conversions.h"
#include "core/Limits.h"
#include "core/ObjectStream.h"
#include "core/PDDictionary.h"
#include "core/PDInteger.h"
#include "core/PDLexer.h"
#include "core/PDParser.h"
#include "core/PDStream.h"
#include "core/PDXRef.h"

namespace qz::core {

namespace {

// The repair looks for the last table's "xref" in this many last bytes.
constexpr int64_t kXrefTail = 1024;
// Generation numbers stop here; a larger one is no object header.
constexpr int64_t kMaxGenerationNumber = 65535;
// Trailers naming a catalog that the scan keeps to choose from, newest
// last; an update chain longer than this keeps its newest ones.
constexpr size_t kTrailerCandidates = 16;

// A number the scan saw at the top level, with the offset of its first byte.
struct ScannedNumber {
    bool valid = false;
    int64_t value = 0;
    int64_t offset = 0;
};

}  // namespace

TqzPDFFaultTolerance::TqzPDFFaultTolerance() = default;
TqzPDFFaultTolerance::~TqzPDFFaultTolerance() = default;

std::unique_ptr<TqzPDDictionary> TqzPDFFaultTolerance::TakeTrailer() {
    return std::move(FTrailerDict);
}

int64_t TqzPDFFaultTolerance::FindStartXRef(TqzStream& stream) {
    platform::Stream* platformStream = stream.GetTStream();
    if (!platformStream) return 0;
    const int64_t from = std::max<int64_t>(0, stream.GetBaseStream()->GetSize() - kXrefTail);
    const int64_t at = FindInStream(*platformStream, "xref", from);
    return at > 0 ? from + at : 0;
}

void TqzPDFFaultTolerance::ReConstructXRefTable(TqzStream& stream, TqzPDXRef& xref) {
    FIsXRefTableReConstructed = true;
    FTrailerDict.reset();
    xref.FXRefEntriesCount = 0;

    // Stream data is passed over by /Length when it is given directly, else
    // by searching "endstream": the offsets an indirect /Length would be
    // fetched through are the ones being repaired.
    auto startParser = [&stream, &xref](int64_t start) {
        auto parser =
            std::make_unique<TqzPDParser>(&xref, std::make_unique<TqzPDLexer>(stream), true, start);
        parser->SetDecryptStreams(false);
        parser->SetResolveLength(false);
        parser->SetStopAtObjects(true);
        return parser;
    };
    std::unique_ptr<TqzPDParser> parser = startParser(TqzPDParser::kRewind);

    ScannedNumber older;
    ScannedNumber newer;
    int64_t header = -1;  // number of the object whose header came last
    bool trailerNext = false;
    // Where the newest header of each number stands, and each object stream.
    std::unordered_map<uint32_t, int64_t> headersFound;
    std::unordered_map<uint32_t, int64_t> objectStreams;
    uint32_t highest = 0;
    int32_t found = 0;

    // Trailers are chosen once the objects are known: the newest (the last
    // incremental update's) whose catalog is there.
    std::vector<std::unique_ptr<TqzPDDictionary>> withRoot;
    std::unique_ptr<TqzPDDictionary> lastWithoutRoot;
    auto consider = [&](std::unique_ptr<TqzPDDictionary> dict) {
        if (!dict) return;
        if (dict->LookupRefObj("Root") == nullptr) {
            lastWithoutRoot = std::move(dict);
            return;
        }
        if (withRoot.size() == kTrailerCandidates) withRoot.erase(withRoot.begin());
        withRoot.push_back(std::move(dict));
    };

    for (;;) {
        auto object = parser->GetObject();
        if (object->IsEOF()) break;
        const int64_t valueOf = header;
        header = -1;
        if (trailerNext) {
            trailerNext = false;
            if (object->IsDict()) {
                consider(std::unique_ptr<TqzPDDictionary>(
                    static_cast<TqzPDDictionary*>(object.release())));
                older = newer = ScannedNumber();
                continue;
            }
        }
        if (object->IsInteger()) {
            older = newer;
            newer = {true, static_cast<TqzPDInteger&>(*object).GetValue(),
                     parser->GetOffset1() - 1};
            continue;
        }
        if (object->IsCommand("obj")) {
            // The two objects right before "obj" are its number and generation.
            if (older.valid && newer.valid && older.value >= 1 && older.value <= kMaxObjectNumber &&
                newer.value >= 0 && newer.value <= kMaxGenerationNumber && older.offset >= 0) {
                const auto number = static_cast<uint32_t>(older.value);
                const TqzPDXRefEntry entry(static_cast<uint32_t>(older.offset),
                                           static_cast<uint32_t>(newer.value),
                                           TqzPDXRefEntrytype::xeUnCompressed);
                if (xref.SetEntry(number, entry)) {
                    headersFound[number] = older.offset;
                    highest = std::max(highest, number);
                    ++found;
                    header = number;
                }
            }
        } else if (object->IsCommand("trailer")) {
            trailerNext = true;
        } else if (object->IsCommand("stream")) {
            // The data of a stream whose dictionary was lost: read as tokens,
            // an unbalanced "(" in it would swallow the objects after it. The
            // scan goes on at its "endstream", as for a stream without /Length.
            constexpr auto kKeywordLength = static_cast<int64_t>(std::string_view("stream").size());
            const int64_t dataStart = parser->GetOffset1() - 1 + kKeywordLength;
            platform::Stream* platformStream = stream.GetTStream();
            const int64_t end =
                platformStream ? FindInStream(*platformStream, "endstream", dataStart) : 0;
            if (end > 0) parser = startParser(dataStart + end - 1);
        } else if (object->IsStream()) {
            auto& streamObject = static_cast<TqzPDStream&>(*object);
            const TqzPDDictionary* dict = streamObject.GetDict();
            if (dict && dict->IsDict("XRef")) {
                // Files whose cross-reference is in streams have no "trailer".
                consider(streamObject.SetDict(nullptr));
            } else if (dict && dict->IsDict("ObjStm") && valueOf >= 0) {
                const auto number = static_cast<uint32_t>(valueOf);
                objectStreams[number] = headersFound.at(number);
            }
        }
        older = newer = ScannedNumber();
    }

    // Objects packed in object streams have no header of their own: the
    // streams found say where they are, in file order, so that a header or
    // a stream of a later update wins over what came before it. Each
    // stream is read through its newest header.
    std::vector<std::pair<int64_t, uint32_t>> streamsInOrder;
    for (const auto& [number, offset] : objectStreams) {
        if (headersFound.at(number) == offset) streamsInOrder.emplace_back(offset, number);
    }
    std::sort(streamsInOrder.begin(), streamsInOrder.end());
    for (const auto& [streamOffset, streamNumber] : streamsInOrder) {
        TqzObjectStream objectStream(xref, streamNumber);
        const auto& numbers = objectStream.GetObjNumbers();
        for (size_t index = 0; index < numbers.size(); ++index) {
            const uint32_t number = numbers[index];
            const auto newest = headersFound.find(number);
            if (number == 0 || (newest != headersFound.end() && newest->second > streamOffset))
                continue;
            const TqzPDXRefEntry entry(streamNumber, static_cast<uint32_t>(index),
                                       TqzPDXRefEntrytype::xeCompressed);
            if (xref.SetEntry(number, entry)) {
                highest = std::max(highest, number);
                ++found;
            }
        }
    }

    for (auto it = withRoot.rbegin(); it != withRoot.rend() && !FTrailerDict; ++it) {
        const TqzPDBaseObject* root = (*it)->LookupRefObj("Root");
        if (root->IsIndirectRef() && !xref.IsEntryFree(root->GetObjNumber()))
            FTrailerDict = std::move(*it);
    }
    if (!FTrailerDict && !withRoot.empty()) FTrailerDict = std::move(withRoot.back());
    if (!FTrailerDict) FTrailerDict = std::move(lastWithoutRoot);
    xref.FXRefEntriesCount = found;
    // New objects of the document must not take numbers the file uses.
    xref.FLastObjectNumber = std::max(xref.FLastObjectNumber, highest);
}

}  // namespace qz::core
