#pragma once
// The ASCIIHex filter: TqzASCIIHexDecode and TqzASCIIHexEncode. Both borrow
// their stream (the filter stream keeps it alive and lets go of it when it is
// destroyed).

#include <cstdint>

#include "filters/CodecDecode.h"

namespace qz::filters {

class TqzASCIIHexDecode final : public TqzCodecDecode {
public:
    explicit TqzASCIIHexDecode(core::TqzStream* stream) : FInput(stream) {}

    int LookChar() override;
    int GetChar() override;
    void Reset() override;
    int32_t Read(uint8_t* buffer, uint32_t count) override;

private:
    int NextByte();
    int NextNonSpace();

    TqzInputBuffer FInput;
    // The byte looked at and not yet consumed, -1 for none.
    int FBuffer = -1;
    bool FEof = true;
    bool FStarted = false;
};

// Writes each byte as two upper-case hexadecimal digits, a carriage return
// after every 64 bytes, and ">" at the end.
class TqzASCIIHexEncode final : public core::TqzEncode {
public:
    explicit TqzASCIIHexEncode(core::TqzStream* stream) : FStream(stream) {}

    // Encodes up to `count` bytes (0: all) from where the source stands.
    int32_t Write(core::TqzStream& out, uint32_t count) override;

private:
    core::TqzStream* FStream;
};

}  // namespace qz::filters
