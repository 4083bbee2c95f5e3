#pragma once
// The LZW filter: TqzLZWDecode (9- to 12-bit codes, most significant bit
// first, with an optional PNG or TIFF predictor) and TqzLZWEncode, which the
// system never calls and which writes nothing. The inner stream is borrowed
// (the filter stream keeps it alive); the code table exists only while data
// is decoded.

#include <cstdint>
#include <memory>
#include <vector>

#include "filters/CodecDecode.h"
#include "filters/Predictor.h"

namespace qz::filters {

class TqzLZWDecode final : public TqzCodecDecode, private TqzRawSource {
public:
    // Codes 0..4096: the table never grows past this.
    static constexpr uint32_t kTableSize = 4097;

    TqzLZWDecode(core::TqzStream* stream, int32_t predictor, int32_t columns, int32_t colors,
                 int32_t bits, int32_t earlyChange);
    ~TqzLZWDecode() override;

    int LookChar() override {
        if (FSeqIndex < FSeqLength && !FStreamPred) return FSeqBuf[FSeqIndex];
        return SlowChar(false, false);
    }
    int GetChar() override {
        if (FSeqIndex < FSeqLength && !FStreamPred) return FSeqBuf[FSeqIndex++];
        return SlowChar(true, false);
    }
    int ReadRawChar() override {
        if (FSeqIndex < FSeqLength) return FSeqBuf[FSeqIndex++];
        return SlowChar(true, true);
    }
    int64_t GetPosition() override;
    void Reset() override;
    int32_t Read(uint8_t* buffer, uint32_t count) override;

    bool HasPredictor() const { return FStreamPred != nullptr; }

private:
    struct Entry {
        uint16_t length;
        uint16_t head;
        uint8_t tail;
    };

    int32_t ReadRaw(uint8_t* buffer, uint32_t count) override;
    int SlowChar(bool consume, bool raw);
    void ClearTable();
    int ReadCode();
    // Decodes the next code's sequence into FSeqBuf; false at the end.
    bool NextSequence();

    TqzInputBuffer FInput;
    std::unique_ptr<TqzStreamPredictor> FStreamPred;
    int32_t FEarlyChange;
    bool FEof = true;
    bool FStarted = false;
    uint32_t FInputBuf = 0;
    uint32_t FInputBits = 0;
    std::vector<Entry> FDecodeTable;
    uint32_t FNextCode = 258;
    uint32_t FNextBits = 9;
    uint32_t FPrevCode = 0;
    uint32_t FPrevLength = 0;
    uint8_t FNewChar = 0;
    std::vector<uint8_t> FSeqBuf;
    uint32_t FSeqLength = 0;
    uint32_t FSeqIndex = 0;
    bool FFirst = true;
};

class TqzLZWEncode final : public core::TqzEncode {
public:
    explicit TqzLZWEncode(core::TqzStream*) {}
};

}  // namespace qz::filters
