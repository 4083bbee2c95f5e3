#include "core/ObjectStream.h"

#include <algorithm>
#include <string>

#include "core/Limits.h"
#include "core/MemoryStream.h"
#include "core/PDBaseExceptions.h"
#include "core/PDDictionary.h"
#include "core/PDError.h"
#include "core/PDInteger.h"
#include "core/PDLexer.h"
#include "core/PDParser.h"
#include "core/PDStream.h"
#include "core/PDXRef.h"
#include "platform/Streams.h"

namespace qz::core {

namespace {

// The fewest header bytes one object takes: its number, a blank, its offset,
// a blank ("1 0 ").
constexpr int64_t kMinHeaderBytesPerObject = 4;
constexpr uint32_t kReadBlock = 64 * 1024;

bool IntegerValue(const TqzPDBaseObject* object, int64_t& value) {
    if (!object || !object->IsInteger()) return false;
    value = static_cast<const TqzPDInteger*>(object)->GetValue();
    return true;
}

}  // namespace

TqzObjectStream::TqzObjectStream(TqzPDXRef& xref, uint32_t objStreamNum)
    : FXRef(xref), FObjStrNum(objStreamNum) {
    try {
        Load();
    } catch (const ExLimitExceeded&) {
        FObjNumbers.clear();
        FStarts.clear();
        FEnds.clear();
        FData.reset();
    }
}

TqzObjectStream::~TqzObjectStream() = default;

int64_t TqzObjectStream::GetDataSize() const { return FData ? FData->Size() : 0; }

void TqzObjectStream::Load() {
    auto object = FXRef.Fetch(FObjStrNum);
    if (!object || !object->IsStream()) return;
    auto& stream = static_cast<TqzPDStream&>(*object);
    const TqzPDDictionary* dict = stream.GetDict();
    int64_t count = 0;
    int64_t first = 0;
    if (!dict || !IntegerValue(dict->LookUp("N"), count) ||
        !IntegerValue(dict->LookUp("First"), first))
        return;
    if (count <= 0 || first < 0) return;
    // /N is bounded by what the header before /First can hold; a larger
    // one reads the pairs there are.
    count = std::min(count, (first + 1) / kMinHeaderBytesPerObject + 1);

    std::string data;
    std::string block(kReadBlock, '\0');
    // Charged as it is decoded, so a bomb stops at the file's budget.
    const bool charged = FXRef.FirstReadOfObjectStream(FObjStrNum);
    stream.Reset();
    for (;;) {
        const int32_t got = stream.Read(reinterpret_cast<uint8_t*>(block.data()), kReadBlock);
        if (got <= 0) break;
        if (charged) FXRef.ChargeObjectStreamBytes(got);
        if (static_cast<int64_t>(data.size()) + got > kMaxDecodedSize) return;
        data.append(block, 0, static_cast<size_t>(got));
    }
    const auto size = static_cast<int64_t>(data.size());
    if (first > size) return;
    FData = std::make_shared<platform::MemoryStream>(std::move(data));

    TqzPDParser header(
        &FXRef,
        std::make_unique<TqzPDLexer>(std::make_shared<TqzMemoryStream>(FData, 0, first, true)),
        false);
    for (int64_t j = 0; j < count; ++j) {
        int64_t number = 0;
        int64_t offset = 0;
        // A header shorter than /N says keeps the objects it lists.
        if (!IntegerValue(header.GetObject().get(), number) ||
            !IntegerValue(header.GetObject().get(), offset))
            break;
        // A pair that names no object of this stream (a number out of range,
        // the stream itself, an offset outside the data) is passed over; the
        // other objects keep their places.
        const bool usable = number > 0 && number <= kMaxObjectNumber && number != FObjStrNum &&
                            offset >= 0 && first + offset <= size;
        FObjNumbers.push_back(usable ? static_cast<uint32_t>(number) : kNoObject);
        FStarts.push_back(usable ? first + offset : size);
    }
    // Each object's data runs to the next object's start above its own (the
    // offsets need not rise in order), or to the end of the data.
    std::vector<int64_t> sorted = FStarts;
    std::sort(sorted.begin(), sorted.end());
    FEnds.reserve(FStarts.size());
    for (const int64_t start : FStarts) {
        const auto next = std::upper_bound(sorted.begin(), sorted.end(), start);
        FEnds.push_back(next == sorted.end() ? size : *next);
    }
}

size_t TqzObjectStream::IndexOf(int64_t objectIndex, uint32_t objNumber) {
    if (objNumber == kNoObject) return FObjNumbers.size();
    if (objectIndex >= 0 && objectIndex < static_cast<int64_t>(FObjNumbers.size()) &&
        FObjNumbers[static_cast<size_t>(objectIndex)] == objNumber)
        return static_cast<size_t>(objectIndex);
    // An index that does not match (wrapped in a narrow field, or off by
    // one) is not trusted: the header says where the object is.
    if (FIndexByNumber.empty()) {
        for (size_t i = FObjNumbers.size(); i-- > 0;) FIndexByNumber[FObjNumbers[i]] = i;
    }
    const auto it = FIndexByNumber.find(objNumber);
    return it == FIndexByNumber.end() ? FObjNumbers.size() : it->second;
}

std::unique_ptr<TqzPDBaseObject> TqzObjectStream::GetObject(int64_t objectIndex,
                                                            uint32_t objNumber) {
    const size_t index = IndexOf(objectIndex, objNumber);
    if (index >= FObjNumbers.size()) return std::make_unique<TqzPDError>();
    // One object is taken from the object's own view of the data; streams
    // cannot stand in an object stream, and its strings are not encrypted on
    // their own.
    auto view = std::make_shared<TqzMemoryStream>(FData, FStarts[index],
                                                  FEnds[index] - FStarts[index], true);
    TqzPDParser parser(&FXRef, std::make_unique<TqzPDLexer>(std::move(view)), false);
    return parser.GetObject();
}

}  // namespace qz::core
