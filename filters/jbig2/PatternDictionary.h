#pragma once
// TqzPatternDictionary: the patterns of a pattern dictionary segment, equal
// bitmaps coded side by side as one generic-region bitmap and cut apart on
// the first request. The dictionary owns its patterns and shares them with
// the halftone regions that refer to it.

#include <cstdint>
#include <string>
#include <vector>

#include "filters/jbig2/SegmentData.h"

namespace qz::filters::jbig2 {

class TqzPatternDictionary : public TqzIDictionary {
public:
    // Keeps the reader and parses the 7-byte header; a header the data
    // does not hold whole raises a plain exception.
    void Init(TqzSegmentHeader* AHeader, TqzIOStreamPtr Asis) override;
    // The patterns, index = gray value, decoded on the first call. Data that
    // fails to decode leaves the list empty (the halftone regions that need
    // it then fail); GetDecodeError says why.
    const std::vector<TqzBitmapPtr>* GetDictionary() override;

    int32_t GetHdTemplate() const { return FhdTemplate; }
    bool IsMMREncoded() const { return FisMMREncoded; }
    int32_t GetHdpWidth() const { return FhdpWidth; }
    int32_t GetHdpHeight() const { return FhdpHeight; }
    uint32_t GetGrayMax() const { return FgrayMax; }
    const std::string& GetDecodeError() const { return FdecodeError; }

private:
    void ParseHeader();
    void DecodePatterns();

    TqzIOStreamPtr FsubInputStream;
    int64_t FdataHeaderOffset = 0;
    int64_t FdataHeaderLength = 0;
    int64_t FdataOffset = 0;
    int64_t FdataLength = 0;
    std::vector<int16_t> FgbAtX;
    std::vector<int16_t> FgbAtY;
    int32_t FhdTemplate = 0;
    bool FisMMREncoded = false;
    int32_t FhdpWidth = 0;
    int32_t FhdpHeight = 0;
    // Stored unsigned: the count GRAYMAX + 1 is checked in 64 bits.
    uint32_t FgrayMax = 0;
    bool Fdecoded = false;
    std::vector<TqzBitmapPtr> Fpatterns;
    std::string FdecodeError;
};

// The next `Abits` bits of a segment header, which the data must hold
// whole; raises a plain exception otherwise.
uint32_t ReadHeaderBits(TqzIOStream& As, int32_t Abits);

}  // namespace qz::filters::jbig2
