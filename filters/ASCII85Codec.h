#pragma once
// The ASCII85 filter: TqzASCII85Decode and TqzASCII85Encode. Both borrow
// their stream (the filter stream keeps it alive).

#include <cstdint>

#include "filters/CodecDecode.h"

namespace qz::filters {

class TqzASCII85Decode final : public TqzCodecDecode {
public:
    explicit TqzASCII85Decode(core::TqzStream* stream) : FInput(stream) {}

    int LookChar() override {
        if (Findex < Fn) return FBinaryIn[Findex];
        return SlowChar(false);
    }
    int GetChar() override {
        if (Findex < Fn) return FBinaryIn[Findex++];
        return SlowChar(true);
    }
    int64_t GetPosition() override;
    void Reset() override;
    int32_t Read(uint8_t* buffer, uint32_t count) override;

private:
    int SlowChar(bool consume);
    int NextNonSpace();
    bool NextGroup();

    TqzInputBuffer FInput;
    uint8_t FBinaryIn[4] = {};
    uint32_t Findex = 0;
    uint32_t Fn = 0;
    bool FEof = true;
    bool FStarted = false;
};

// Encodes groups of four bytes as five characters ("z" for four zeros). A
// final group of one to three bytes stays in the encoder for the next Write;
// Flush writes it and the end marker "~>".
class TqzASCII85Encode final : public core::TqzEncode {
public:
    explicit TqzASCII85Encode(core::TqzStream* stream) : Fstream(stream) {}

    // Encodes `count` bytes read from the start of the source (0: none) into
    // `out`; returns the characters written.
    int32_t Write(core::TqzStream& out, uint32_t count) override;
    // Writes the pending partial group and "~>"; returns the characters written.
    int32_t Flush(core::TqzStream& out);

private:
    core::TqzStream* Fstream;
    uint32_t FCount = 0;
    uint8_t FInData[4] = {};
};

}  // namespace qz::filters
