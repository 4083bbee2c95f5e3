#pragma once
// TqzFlateDecode: this system's own inflate (zlib-wrapped Deflate), with an
// optional PNG or TIFF predictor behind it. It decodes in blocks of up to
// 64 KiB into a window that also serves as the Deflate history; readers take
// bytes one at a time or in blocks. The inner stream is borrowed (the filter
// stream keeps it alive); the decoder owns its predictor and its buffers,
// which exist only while data is being decoded.

#include <cstdint>
#include <memory>
#include <vector>

#include "filters/CodecDecode.h"
#include "filters/Predictor.h"

namespace qz::filters {

// One entry of a decoding table: a symbol with its code length, a link to a
// second-level table, or nothing (no code reaches it).
struct TqzFlateCode {
    uint16_t symbol = 0;  // for a link: where the second-level table starts
    uint8_t length = 0;   // for a link: how many index bits the second level takes
    uint8_t kind = 2;     // 0 symbol, 1 link, 2 empty
};

// A canonical Huffman code as a two-level lookup table indexed by the next
// bits of the input, least significant first.
struct TqzFlateHuffManTab {
    std::vector<TqzFlateCode> codes;
    uint32_t rootBits = 1;
    uint32_t rootMask = 1;

    // Builds the table from a list of code lengths (0: symbol unused).
    // False when the lengths over-subscribe the code space: no prefix code
    // has them, so the data is corrupt.
    bool Build(const uint8_t* lengths, uint32_t count, uint32_t maxRootBits);
};

class TqzFlateDecode final : public TqzCodecDecode, private TqzRawSource {
public:
    TqzFlateDecode(core::TqzStream* stream, int32_t predictor, int32_t columns, int32_t colors,
                   int32_t bits);
    ~TqzFlateDecode() override;

    int LookChar() override {
        if (FReadPos < FOutPos && !FStreamPred) return FWin[FReadPos];
        return SlowChar(false, false);
    }
    int GetChar() override {
        if (FReadPos < FOutPos && !FStreamPred) return FWin[FReadPos++];
        return SlowChar(true, false);
    }
    // The inflate output before any predictor.
    int ReadRawChar() override {
        if (FReadPos < FOutPos) return FWin[FReadPos++];
        return SlowChar(true, true);
    }
    // Restarts from the start of the inner stream and examines the zlib
    // header; a bad header gives an empty stream.
    void Reset() override;
    int32_t Read(uint8_t* buffer, uint32_t count) override;

    bool HasPredictor() const { return FStreamPred != nullptr; }

private:
    enum class Mode { Header, Stored, Coded, Done };
    struct Window;

    int32_t ReadRaw(uint8_t* buffer, uint32_t count) override;
    int SlowChar(bool consume, bool raw);
    void Start();
    // Decodes more output into the window; false at the end of the data.
    bool Produce();
    void Decode();
    bool StartBlock();
    bool ReadDynamicCodes();
    // 0: the window is full; 1: the block ended; -1: corrupt or cut short.
    int DecodeCoded();
    void CopyStored();
    void ReleaseBuffers();

    void NeedBits();
    bool GetBits(uint32_t n, uint32_t& value);
    int DecodeSymbol(const TqzFlateHuffManTab& table);

    TqzInputBuffer FInput;
    std::unique_ptr<TqzStreamPredictor> FStreamPred;
    std::unique_ptr<Window> FWindow;
    uint8_t* FWin = nullptr;
    uint32_t FReadPos = 0;
    uint32_t FOutPos = 0;
    uint64_t FCodeBuffer = 0;
    uint32_t FCodeSize = 0;
    uint32_t FBlockLength = 0;
    Mode FMode = Mode::Done;
    bool FFinal = false;
    bool FStarted = false;
    const TqzFlateHuffManTab* FLitCodeTable = nullptr;
    const TqzFlateHuffManTab* FDistCodeTable = nullptr;
};

}  // namespace qz::filters
