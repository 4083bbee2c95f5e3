#pragma once
// The CCITTFaxDecode filter: TqzCCITTDecode turns Group 3 one-dimensional
// (K = 0), Group 3 mixed (K > 0) and Group 4 (K < 0) fax data into packed
// 1-bit rows, most significant bit first, each row padded to whole bytes
// with black. Rows are decoded one at a time as they are read. The inner
// stream is borrowed (the filter stream keeps it alive); the line arrays
// and the row buffer are the decoder's own and exist once reading starts.

#include <cstdint>
#include <memory>

#include "filters/CodecDecode.h"

namespace qz::filters {

// Raised when a stream asks for rows wider than kMaxCCITTColumns.
class ExCCITTColumns : public core::ExLimitExceeded {
public:
    static constexpr const char* kMessage = "CCITT fax image is wider than the column limit";
    ExCCITTColumns() : core::ExLimitExceeded(kMessage) {}
};

class TqzCCITTDecode final : public TqzCodecDecode {
public:
    // Widest row decoded: 54 inches at 2400 dpi, beyond any fax or scanner.
    // The line arrays are sized from /Columns before any data is read, so
    // a hostile value must not reach the allocator.
    static constexpr int32_t kMaxCCITTColumns = 1 << 17;

    TqzCCITTDecode(core::TqzStream* stream, int32_t k, bool endOfLine, bool encodedByteAlign,
                   int32_t columns, int32_t rows, bool endOfBlock, bool blackIs1);

    int LookChar() override {
        if (FRowPos < FRowLength) return FRowBytes[FRowPos];
        return SlowChar(false);
    }
    int GetChar() override {
        if (FRowPos < FRowLength) return FRowBytes[FRowPos++];
        return SlowChar(true);
    }
    void Reset() override;
    int32_t Read(uint8_t* buffer, uint32_t count) override;

private:
    // A code table entry: the code's length in bits (0: no code) and its
    // value (a run length, a mode, or kEndOfLine).
    struct Code {
        int16_t value;
        uint8_t bits;
    };

    int SlowChar(bool consume);
    // Decodes and renders the next row into FRowBytes; false once the data
    // has ended.
    bool NextRow();
    bool DecodeRow2D();
    bool DecodeRow1D();
    // Reads a white or black run; kRunEnd when the data is exhausted,
    // kRunEndOfLine when an end-of-line code (or fill) stands where a code
    // should.
    int32_t ReadRun(bool black);
    // The steps between two rows: alignment, end-of-line, tag bit, end of
    // block, resynchronisation.
    void EndRow(bool erroneous);
    void RenderRow();

    // The bit reader: FInputBuf holds FInputBits valid bits at its top.
    void Refill();
    bool EnsureBits() {
        if (FInputBits < 32) Refill();
        return FInputBits > 0;
    }
    uint32_t PeekBits(uint32_t n) const { return static_cast<uint32_t>(FInputBuf >> (64 - n)); }
    // Consuming more bits than are buffered (the zero padding at the end)
    // leaves none.
    void EatBits(uint32_t n) {
        if (n < FInputBits) {
            FInputBuf <<= n;
            FInputBits -= n;
        } else {
            FInputBuf = 0;
            FInputBits = 0;
        }
    }
    // Drops zero bits while the next 12 are all zero; true when an
    // end-of-line code then follows (not consumed).
    bool SkipFillToEndOfLine();

    TqzInputBuffer FInput;  // over the inner stream
    int32_t FEncoding;
    bool FEndOfLine;
    bool FByteAlign;
    int32_t FColumns;
    int32_t FRows;
    bool FEndOfBlock;
    bool FBlack;
    bool FEof = true;
    bool FStarted = false;
    bool FNextLine2D = false;
    int64_t FRow = 0;  // rows decoded so far
    uint64_t FInputBuf = 0;
    uint32_t FInputBits = 0;
    bool FInputEnded = false;
    // Changing elements: entry 0 is 0, runs alternate white (even index)
    // and black (odd index), the last entry is FColumns. 32-bit entries so
    // that every width up to kMaxCCITTColumns fits.
    std::unique_ptr<int32_t[]> FRefLine;
    std::unique_ptr<int32_t[]> FCodingLine;
    int32_t FCodingCount = 0;  // index of the coding line's last entry
    // The rendered row and how much of it has been handed out.
    std::unique_ptr<uint8_t[]> FRowBytes;
    uint32_t FRowPos = 0;
    uint32_t FRowLength = 0;
    uint32_t FRowSize = 0;
};

}  // namespace qz::filters
