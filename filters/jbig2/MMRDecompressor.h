#pragma once
// TqzMMRDecompressor: the two-dimensional fax (G4) coding of generic regions,
// collective symbol bitmaps and halftone planes. It reads the whole window
// of a reader it does not own, keeps its bit position between calls (the
// planes of a halftone region follow one another) and hands out new bitmaps
// that the caller owns.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "filters/jbig2/IOStream.h"
#include "filters/jbig2/ImageBitmap.h"

namespace qz::filters::jbig2 {

// One code of the lookup tables: bit length, code word and run length (for
// a mode code, the mode number). A first-level entry of a code longer than
// 8 bits leads to a 32-entry second level.
struct TqzCodei {
    int32_t FbitLength = 0;
    int32_t FcodeWord = 0;
    int32_t FrunLength = 0;
    std::unique_ptr<std::array<TqzCodei, 32>> FsubTable;

    bool Empty() const { return FbitLength == 0 && !FsubTable; }
    std::string ToString() const;
    bool Equals(const TqzCodei& other) const {
        return FbitLength == other.FbitLength && FcodeWord == other.FcodeWord && FrunLength == other.FrunLength;
    }
};

using TqzCodeiTable = std::array<TqzCodei, 256>;

class TqzMMRDecompressor {
public:
    // The coded data is the reader's whole window from its byte 0. The size
    // is checked against the bitmap limits here, before anything is made.
    TqzMMRDecompressor(int32_t Awidth, int32_t Aheight, const TqzIOStream& Astream);

    // Decodes the next `Fheight` rows into a new bitmap. Data that ends
    // early leaves the remaining rows 0.
    TqzBitmapPtr Uncompress();

    // Bit position of the next code in the data.
    int64_t GetOffset() const { return FOffset; }
    // The changing elements of the last row decoded (for tests).
    std::vector<int32_t> LastChangingElements() const;

    // Mode numbers of the mode table.
    static constexpr int32_t kPass = 0, kHorizontal = 1, kV0 = 2, kVR1 = 3, kVR2 = 4, kVR3 = 5, kVL1 = 6,
                             kVL2 = 7, kVL3 = 8, kExt2D = 9, kExt1D = 10, kEOL = -1;

private:
    const TqzCodei* UncompressGetCode(const TqzCodeiTable& ATable) const;
    uint32_t CodeWindow() const;
    int32_t Uncompress2D(int32_t ArefRunLength);
    int32_t Uncompress2DRow(int32_t ArefRunLength, bool& whiteRun, const TqzCodei*& code, int64_t& refOff,
                            int32_t& curOff, int64_t& bitPos);
    int32_t Uncompress1D(std::vector<int64_t>& target);
    void FillBitmap(TqzImageBitmap& bitmap, int32_t Aline, int32_t count) const;
    void DetectAndSkipEOL();
    int64_t Ref(int64_t k) const;
    bool Exhausted() const { return FOffset >= FDataBits; }

    int32_t Fwidth;
    int32_t Fheight;
    std::vector<int64_t> FreferenceOffsets;
    std::vector<int64_t> FrunOffsets;
    int32_t FLastCount = 0;
    // The coded data: shared with the reader, read in place.
    TqzJBIG2Data FData;
    const uint8_t* FBytes = nullptr;
    int64_t FLength = 0;
    int64_t FDataBits = 0;
    int64_t FOffset = 0;
};

inline constexpr const char* kMMRCodeTableOverflow = "code table overflow MMrDecompressor";

}  // namespace qz::filters::jbig2
