#pragma once
// The DCT filter's decoder: JPEG data with Huffman coding, sequential
// (baseline and extended) or progressive, 8-bit samples, one to four
// components. It yields the image's samples, components interleaved pixel by
// pixel, rows top to bottom, converted from YCbCr to RGB or from YCCK to CMYK
// when the colour transform asks for it.
//
// The inner stream is borrowed (the filter stream keeps it alive). A
// sequential interleaved image holds one MCU row at a time; a progressive or
// non-interleaved one holds its quantised coefficients (16 bits each) and is
// transformed one MCU row at a time as it is read.
//
// Hostile headers: a header this decoder cannot use (unsupported frame,
// precision other than 8, sampling factors outside 1-4 or not dividing the
// largest, table indexes above 3, tables a scan uses but nobody defined,
// Huffman tables with more than 256 symbols or codes that do not fit their
// lengths, a second frame) yields an image of no bytes. A progressive or
// non-interleaved image whose coefficients would pass
// kMaxFileDrivenAllocation, or whose samples would pass the output ceiling,
// is refused before anything is allocated: every read raises ExDecodeLimit.

#include <array>
#include <cstdint>
#include <vector>

#include "filters/CodecDecode.h"

namespace qz::filters {

// Fixed-point constants of the inverse DCT (scaled by 4096) and of the colour
// conversion (scaled by 65536).
inline constexpr int32_t dctCos1 = 4017;
inline constexpr int32_t dctSin1 = 799;
inline constexpr int32_t dctCos3 = 3406;
inline constexpr int32_t dctSin3 = 2276;
inline constexpr int32_t dctCos6 = 1567;
inline constexpr int32_t dctSin6 = 3784;
inline constexpr int32_t dctSqrt2 = 5793;
inline constexpr int32_t dctSqrt1d2 = 2896;
inline constexpr int32_t dctCrToR = 91881;
inline constexpr int32_t dctCbToG = -22553;
inline constexpr int32_t dctCrToG = -46802;
inline constexpr int32_t dctCbToB = 116130;

// Position in the 8 x 8 block (row-major) of the n-th coefficient in coding
// order.
inline constexpr std::array<uint8_t, 64> dctZigZag = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

struct DCTCompInfo {
    int32_t id = 0;
    int32_t hSample = 1;
    int32_t vSample = 1;
    int32_t quantTable = 0;
    int32_t prevDC = 0;
};

struct DCTScanInfo {
    bool Comp[4] = {};  // the frame's component takes part in the scan
    int32_t NumComps = 0;
    int32_t dcHuffTable[4] = {};
    int32_t acHuffTable[4] = {};
    int32_t FirstCoeff = 0;
    int32_t LastCoeff = 0;
    int32_t Ah = 0;
    int32_t AL = 0;
};

struct DCTHuffTable {
    // Bits a symbol is looked up by at once; longer codes go bit by bit.
    static constexpr int32_t kLookBits = 9;

    uint8_t FirstSym[17] = {};
    uint16_t FirstCode[17] = {};
    uint16_t NumCodes[17] = {};
    uint8_t Sym[256] = {};
    // For each kLookBits-bit prefix: (code length << 8) | symbol of the code
    // it starts with, 0 when that code is longer.
    uint16_t Look[1 << kLookBits] = {};
};

class TqzDCTDecode final : public TqzCodecDecode {
public:
    // At most this many scans of one image are read: encoders write about
    // ten, and each scan may visit every block of the image again.
    static constexpr int32_t kMaxScans = 1000;

    // colorXForm: -1 lets the image data decide, 0 none, other values convert.
    TqzDCTDecode(core::TqzStream* stream, int32_t colorXForm);
    ~TqzDCTDecode() override;

    int LookChar() override {
        if (FOutPos < FOutEnd) return FOutBuf[FOutPos];
        return SlowChar(false);
    }
    int GetChar() override {
        if (FOutPos < FOutEnd) return FOutBuf[FOutPos++];
        return SlowChar(true);
    }
    int64_t GetPosition() override;
    void Reset() override;
    int32_t Read(uint8_t* buffer, uint32_t count) override;
    // Frees the row and coefficient buffers; the next read starts over.
    void Close();

    // What the header said (after Reset); all 0 for an image of no bytes.
    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }
    int32_t NumComps() const { return FNumComps; }
    int32_t ColorXForm() const { return FColorXForm; }
    bool Progressive() const { return FProgressive; }

private:
    int SlowChar(bool consume);
    // Produces the next MCU row's samples in FOutBuf; false at the end.
    bool NextMCURow();
    bool DecodeMCURowSequential();
    void TransformMCURow();
    void ConvertMCURow(int32_t rows);

    bool ReadHeader();
    bool ReadFrame(bool progressive);
    bool ReadHuffmanTables();
    bool ReadQuantTables();
    bool ReadRestartInterval();
    bool ReadScanInfo();
    bool ReadAdobeMarker();
    bool ReadJFIFMarker();
    bool SkipSegment();
    bool SetUpFrame();
    int ReadMarker();
    int Read16();

    void Restart();
    bool ReadRestartMarker();
    void DecodeScan();
    bool DecodeSequentialUnit(int32_t comp, int16_t* coef);
    bool DecodeProgressiveUnit(int32_t comp, int16_t* coef);
    bool Correct(int16_t& coef);
    void TransformDataUnit(const int16_t* coef, const uint16_t* quant, uint8_t* out) const;
    void StoreBlock(int32_t comp, const uint8_t* samples, int32_t x0, int32_t y0);
    void StoreFlat(int32_t comp, uint8_t sample, int32_t x0, int32_t y0);
    void TransformAndStore(int32_t comp, const int16_t* coef, const uint16_t* quant, int32_t x0, int32_t y0);

    void FillBits();
    void ClearBits() {
        FBitBuf = 0;
        FBitCount = 0;
        FMarkerHit = false;
    }
    int ReadBit();
    int32_t ReadBits(int32_t n);
    int DecodeHuffSym(const DCTHuffTable& table);
    bool ReadAmp(int32_t size, int32_t& value);

    TqzInputBuffer FInput;
    int32_t FColorXFormParam;
    bool FStarted = false;
    bool FEof = true;

    bool FProgressive = false;
    bool FInterleaved = false;
    bool FFrameRead = false;
    bool FScanRead = false;
    int32_t FWidth = 0;
    int32_t FHeight = 0;
    int32_t FMCUWidth = 8;
    int32_t FMCUHeight = 8;
    int32_t FBufWidth = 0;
    int32_t FBufHeight = 0;
    int32_t FMCUsX = 0;
    int32_t FMCUsY = 0;
    DCTCompInfo FCompInfo[4];
    DCTScanInfo FScanInfo;
    int32_t FNumComps = 0;
    int32_t FColorXForm = -1;
    bool FGotJFIFMarker = false;
    bool FGotAdobeMarker = false;
    int32_t FRestartInterval = 0;
    uint16_t FQuantTables[4][64] = {};
    bool FQuantDefined[4] = {};
    int32_t FNumQuantTables = 0;
    DCTHuffTable FdcHuffTables[4];
    DCTHuffTable FacHuffTables[4];
    bool FdcDefined[4] = {};
    bool FacDefined[4] = {};
    int32_t FNumDCHuffTables = 0;
    int32_t FNumACHuffTables = 0;

    // Per component: FMCUHeight rows of FBufWidth samples, one MCU row.
    std::vector<uint8_t> FRowBuf[4];
    // Per component, progressive or non-interleaved images: the quantised
    // coefficients of every block, 64 to a block, blocks row by row.
    std::vector<int16_t> FFrameBuf[4];
    int32_t FBlocksWide[4] = {};
    // The current MCU row's output, interleaved.
    std::vector<uint8_t> FOutBuf;
    uint32_t FOutPos = 0;
    uint32_t FOutEnd = 0;
    int32_t FMCURow = 0;  // next MCU row to produce

    int32_t FRestartCtr = 0;
    int32_t FRestartMarker = 0xD0;
    int32_t FEobRun = 0;
    // Entropy bits, most significant first, left-aligned.
    uint64_t FBitBuf = 0;
    int32_t FBitCount = 0;
    // A marker or the end of the data stands next in the input: no more bits.
    bool FMarkerHit = false;
};

}  // namespace qz::filters
