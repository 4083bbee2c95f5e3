#include "filters/LZWCodec.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace qz::filters {

TqzLZWDecode::TqzLZWDecode(core::TqzStream* stream, int32_t predictor, int32_t columns,
                           int32_t colors, int32_t bits, int32_t earlyChange)
    : FInput(stream), FEarlyChange(earlyChange) {
    if (predictor != 1) {
        FStreamPred = std::make_unique<TqzStreamPredictor>(static_cast<TqzRawSource*>(this),
                                                           predictor, colors, columns, bits);
        if (!FStreamPred->IsOk()) FStreamPred.reset();
    }
}

TqzLZWDecode::~TqzLZWDecode() = default;

int64_t TqzLZWDecode::GetPosition() {
    return FInput.Stream() ? FInput.Stream()->GetPosition() : -1;
}

void TqzLZWDecode::Reset() {
    FStarted = true;
    FInput.Restart();
    FInputBuf = 0;
    FInputBits = 0;
    FEof = false;
    ResetCount();
    if (FDecodeTable.empty()) {
        try {
            FDecodeTable.resize(kTableSize);
            FSeqBuf.resize(kTableSize);
        } catch (const std::bad_alloc&) {
            throw core::streams::ExOutofMemory();
        }
    }
    ClearTable();
    FSeqIndex = 0;
    FNewChar = 0;
    FPrevCode = 0;
    if (FStreamPred) FStreamPred->Reset();
}

void TqzLZWDecode::ClearTable() {
    FNextCode = 258;
    FNextBits = 9;
    FSeqLength = 0;
    FSeqIndex = 0;
    FPrevLength = 0;
    FFirst = true;
}

int TqzLZWDecode::ReadCode() {
    while (FInputBits < FNextBits) {
        const int c = FInput.Next();
        if (c < 0) return -1;
        FInputBuf = (FInputBuf << 8) | static_cast<uint32_t>(c);
        FInputBits += 8;
    }
    FInputBits -= FNextBits;
    return static_cast<int>((FInputBuf >> FInputBits) & ((1u << FNextBits) - 1));
}

bool TqzLZWDecode::NextSequence() {
    CheckLimit();
    if (FEof) return false;
    int code;
    for (;;) {
        code = ReadCode();
        if (code == 256) {
            ClearTable();
            continue;
        }
        if (code < 0 || code == 257) {
            FEof = true;
            return false;
        }
        break;
    }
    const uint32_t c = static_cast<uint32_t>(code);
    uint8_t* seq = FSeqBuf.data();
    uint32_t length;
    if (c < 256) {
        length = 1;
        Charge(length);
        seq[0] = static_cast<uint8_t>(c);
    } else if (c < FNextCode) {
        length = FDecodeTable[c].length;
        Charge(length);
        uint32_t j = c;
        for (uint32_t i = length; i-- > 1;) {
            seq[i] = FDecodeTable[j].tail;
            j = FDecodeTable[j].head;
        }
        seq[0] = static_cast<uint8_t>(j);
    } else if (c == FNextCode && FSeqLength < kTableSize) {
        // The code being defined: the previous sequence and its first byte.
        length = FSeqLength + 1;
        Charge(length);
        seq[FSeqLength] = FNewChar;
    } else {
        FEof = true;
        return false;
    }
    FSeqLength = length;
    FSeqIndex = 0;
    FNewChar = seq[0];
    if (FFirst) {
        FFirst = false;
    } else if (FNextCode < kTableSize) {
        // A full table stops growing until the next clear code.
        FDecodeTable[FNextCode] = Entry{static_cast<uint16_t>(FPrevLength + 1),
                                        static_cast<uint16_t>(FPrevCode), FNewChar};
        ++FNextCode;
        const int64_t reach = int64_t{FNextCode} + FEarlyChange;
        if (reach == 512) FNextBits = 10;
        else if (reach == 1024) FNextBits = 11;
        else if (reach == 2048) FNextBits = 12;
    }
    FPrevCode = c;
    FPrevLength = FSeqLength;
    return true;
}

int TqzLZWDecode::SlowChar(bool consume, bool raw) {
    if (!FStarted) Reset();
    if (FStreamPred && !raw) return consume ? FStreamPred->ReadChar() : FStreamPred->LookChar();
    while (FSeqIndex >= FSeqLength)
        if (!NextSequence()) return -1;
    return consume ? FSeqBuf[FSeqIndex++] : FSeqBuf[FSeqIndex];
}

int32_t TqzLZWDecode::Read(uint8_t* buffer, uint32_t count) {
    if (!FStarted) Reset();
    if (FStreamPred) return FStreamPred->Read(buffer, count);
    return ReadRaw(buffer, count);
}

int32_t TqzLZWDecode::ReadRaw(uint8_t* buffer, uint32_t count) {
    if (!FStarted) Reset();
    return ReadWindows(buffer, count, FSeqIndex, FSeqLength, [this] { return FSeqBuf.data(); }, [this] { return NextSequence(); });
}

}  // namespace qz::filters
