#pragma once
// TqzHalftoneRegion: a halftone region segment (intermediate, immediate or
// lossless): a grid of gray values, coded as Gray-coded bit planes, each
// cell painted with the pattern of its value. The region owns its region
// information; the patterns belong to the pattern dictionaries it refers
// to, and the decoded bitmap is shared with whoever asked for it.

#include <cstdint>
#include <memory>
#include <vector>

#include "filters/jbig2/SegmentData.h"

namespace qz::filters::jbig2 {

class TqzHalftoneRegion : public TqzIRegion {
public:
    TqzHalftoneRegion() = default;
    explicit TqzHalftoneRegion(TqzIOStreamPtr AsubInputStream);
    TqzHalftoneRegion(TqzIOStreamPtr AsubInputStream, TqzSegmentHeader* AsegmentHeader);

    // Keeps header and reader and parses the region's header; a header the
    // data does not hold whole raises a plain exception.
    void Init(TqzSegmentHeader* Ahdr, TqzIOStreamPtr Asis) override;
    // Decodes on the first call; the same bitmap afterwards. Raises a plain
    // exception when the region or its grid is past the limits, when no
    // referred-to pattern dictionary gives patterns, or when the coded data
    // cannot be decoded.
    TqzBitmapPtr GetRegionBitmap() override;
    TqzRegionSegmentInformation* GetRegionInfo() override { return FregionInfo.get(); }

    uint8_t GetDefaultPixel() const { return FhDefaultPixel; }
    FCombinationOPerator GetCombinationOperator() const { return FhCombinationOperator; }
    bool IsSkipEnabled() const { return FhSkipEnabled != 0; }
    int32_t GetTemplate() const { return FhTemplate; }
    bool IsMMREncoded() const { return FisMMREncoded != 0; }
    uint32_t GetGridWidth() const { return FhGridWidth; }
    uint32_t GetGridHeight() const { return FhGridHeight; }
    int32_t GetGridX() const { return FhGridX; }
    int32_t GetGridY() const { return FhGridY; }
    uint32_t GetRegionX() const { return FhRegionX; }
    uint32_t GetRegionY() const { return FhRegionY; }

private:
    void ParseHeader();
    void CollectPatterns();
    // Where the top-left pixel of grid cell (m, n) lands in the region.
    int64_t CellX(int64_t m, int64_t n) const;
    int64_t CellY(int64_t m, int64_t n) const;
    TqzBitmapPtr MakeSkipBitmap() const;
    std::vector<TqzBitmapPtr> DecodeGrayScalePlanes(int32_t Abpp);
    void RenderPatterns(TqzImageBitmap& Aregion, const std::vector<TqzBitmapPtr>& Aplanes);

    TqzIOStreamPtr FsubInputStream;
    TqzSegmentHeader* FsegmentHeader = nullptr;
    int64_t FdataHeaderOffset = 0;
    int64_t FdataHeaderLength = 0;
    int64_t FdataOffset = 0;
    int64_t FdataLength = 0;
    std::unique_ptr<TqzRegionSegmentInformation> FregionInfo;
    uint8_t FhDefaultPixel = 0;
    FCombinationOPerator FhCombinationOperator = FCombinationOPerator::OROP;
    uint8_t FhSkipEnabled = 0;
    int32_t FhTemplate = 0;
    uint8_t FisMMREncoded = 0;
    uint32_t FhGridWidth = 0;
    uint32_t FhGridHeight = 0;
    int32_t FhGridX = 0;
    int32_t FhGridY = 0;
    uint32_t FhRegionX = 0;
    uint32_t FhRegionY = 0;
    TqzBitmapPtr FhalftoneRegionBitmap;
    std::vector<TqzBitmapPtr> Fpatterns;
};

}  // namespace qz::filters::jbig2
