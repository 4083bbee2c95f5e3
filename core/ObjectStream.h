#pragma once
// TqzObjectStream: one object stream of a file (/Type /ObjStm), decoded once:
// the numbers of the objects it holds and where each begins. Objects are
// parsed from the decoded data when asked for, so fetching one object of a
// large stream parses only that object. It owns the decoded data and borrows
// the cross-reference it was fetched through.

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "core/Object.h"
#include "core/PDBaseObject.h"

namespace qz::platform {
class MemoryStream;
}

namespace qz::core {

class TqzPDXRef;

class TqzObjectStream : public TqzObject {
  public:
    // Largest decoded object stream kept; real ones are far smaller, and a
    // decompression bomb posing as one stops here instead of at the decoders'
    // general ceiling.
    static constexpr int64_t kMaxDecodedSize = int64_t{64} << 20;

    // Fetches object `objStreamNum` through `xref` and reads its header; an
    // object that is no object stream, or a header that does not follow the
    // format, leaves it holding no objects.
    TqzObjectStream(TqzPDXRef& xref, uint32_t objStreamNum);
    ~TqzObjectStream() override;

    // Object `objNumber`, a new object the caller owns: the one at
    // `objectIndex` when the stream holds that number there, else the one
    // its header lists under that number; an error token when it holds none.
    std::unique_ptr<TqzPDBaseObject> GetObject(int64_t objectIndex, uint32_t objNumber);
    uint32_t GetObjStrNum() const { return FObjStrNum; }
    // The decoded bytes it holds.
    int64_t GetDataSize() const;
    // The objects the header lists (at most /N), or 0 when the stream holds
    // no objects.
    int32_t GetNoObjects() const { return static_cast<int32_t>(FObjNumbers.size()); }
    // The object numbers in stream order; kNoObject where the header's pair
    // names no object of this stream.
    const std::vector<uint32_t>& GetObjNumbers() const { return FObjNumbers; }

    static constexpr uint32_t kNoObject = 0;

  private:
    void Load();
    // Where object `objNumber` stands (see GetObject); GetNoObjects() when
    // it is not there.
    size_t IndexOf(int64_t objectIndex, uint32_t objNumber);

    TqzPDXRef& FXRef;
    uint32_t FObjStrNum;
    std::vector<uint32_t> FObjNumbers;
    // Where each object's data begins and ends in the decoded data.
    std::vector<int64_t> FStarts;
    std::vector<int64_t> FEnds;
    // Positions by object number, made when an index does not match.
    std::unordered_map<uint32_t, size_t> FIndexByNumber;
    std::shared_ptr<platform::MemoryStream> FData;
};

}  // namespace qz::core
