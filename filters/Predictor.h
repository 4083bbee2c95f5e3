#pragma once
// TqzStreamPredictor: undoes PNG or TIFF prediction row by row between a
// decoder's raw output (Flate or LZW) and the reader. It pulls the raw bytes
// in whole rows from its source, which outlives it (the decoder owns the
// predictor). Parameters a sound file never uses are refused (IsOk false) so
// that the decoder reads its data unpredicted.

#include <cstdint>
#include <vector>

namespace qz::filters {

// The decoder output before prediction, read in blocks.
class TqzRawSource {
public:
    // Fills `buffer` with up to `count` bytes; fewer only at the end of data.
    virtual int32_t ReadRaw(uint8_t* buffer, uint32_t count) = 0;

protected:
    ~TqzRawSource() = default;
};

// Components per pixel beyond what any colour space of the format has.
inline constexpr int32_t kMaxPredictorColors = 32;
// Largest row (bytes) a predictor will buffer; image rows of sound files stay
// far below it, and a hostile /Columns cannot size an allocation past it.
inline constexpr int64_t kMaxPredictorRowBytes = int64_t{8} << 20;

class TqzStreamPredictor {
public:
    TqzStreamPredictor(TqzRawSource* source, int32_t predictor, int32_t colors, int32_t columns,
                       int32_t bits);

    bool IsOk() const { return FOk; }
    // Returns to the start state: the next read decodes a first row.
    void Reset();
    int ReadChar() {
        if (FLineIndex < FRowBytes || ReadNextLine()) return FLine[FLineIndex++];
        return -1;
    }
    int LookChar() {
        if (FLineIndex < FRowBytes || ReadNextLine()) return FLine[FLineIndex];
        return -1;
    }
    int32_t Read(uint8_t* buffer, uint32_t count);
    // Decodes one row; false at the end of the data.
    bool ReadNextLine();
    // Frees the row buffers (they come back after Reset).
    void Release();

private:
    void UndoTiff();
    // Marks the end of the data and frees the row buffers.
    bool End();

    TqzRawSource* FSource;
    int32_t FPredictor;
    int32_t FWidth;
    int32_t FComps;
    int32_t FBits;
    uint32_t FPixBytes = 0;
    // Bytes of FLine, FPixBytes zero bytes in front of the row's data.
    uint32_t FRowBytes = 0;
    uint32_t FLineIndex = 0;
    bool FOk = false;
    bool FEnded = false;
    std::vector<uint8_t> FLine;
    std::vector<uint8_t> FPrev;
    std::vector<uint8_t> FRaw;
};

}  // namespace qz::filters
