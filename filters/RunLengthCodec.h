#pragma once
// The RunLength filter: TqzRunLengthDecode and TqzRunLengthEncode. Both
// borrow their stream (the filter stream keeps it alive).

#include <cstdint>
#include <vector>

#include "filters/CodecDecode.h"

namespace qz::filters {

class TqzRunLengthDecode final : public TqzCodecDecode {
public:
    explicit TqzRunLengthDecode(core::TqzStream* stream) : FInput(stream) {}

    int LookChar() override {
        if (FNextChar < FBufEnd) return FBuffer[FNextChar];
        return SlowChar(false);
    }
    int GetChar() override {
        if (FNextChar < FBufEnd) return FBuffer[FNextChar++];
        return SlowChar(true);
    }
    void Reset() override;
    int32_t Read(uint8_t* buffer, uint32_t count) override;

private:
    int SlowChar(bool consume);
    bool NextRun();

    TqzInputBuffer FInput;
    uint8_t FBuffer[128] = {};
    uint32_t FNextChar = 0;
    uint32_t FBufEnd = 0;
    bool FEof = true;
    bool FStarted = false;
};

// Produces the encoded form on demand: repeat runs of 2 to 128 bytes, literal
// runs of 1 to 128 bytes, never the end-of-data byte 128.
class TqzRunLengthEncode final : public core::TqzEncode {
public:
    explicit TqzRunLengthEncode(core::TqzStream* stream) : FStream(stream), FInput(stream) {}

    // Writes the next `count` encoded bytes (0: all that remain) into `out`;
    // returns what out's writes returned.
    int32_t Write(core::TqzStream& out, uint32_t count) override;

private:
    int NextSourceByte();
    bool EncodeNextRun();

    core::TqzStream* FStream;
    TqzInputBuffer FInput;
    std::vector<uint8_t> FBuffer;  // the encoded run being emitted
    size_t FBuffPtr = 0;
    uint8_t FAhead[2] = {};
    uint32_t FAheadCount = 0;
    bool FEof = false;
};

}  // namespace qz::filters
