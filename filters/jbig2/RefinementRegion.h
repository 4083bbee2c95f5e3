#pragma once
// TqzGenericRefinementRegion: a refinement of a reference bitmap, each
// pixel decoded under a context of decoded pixels and of reference pixels
// around the corresponding place. It serves refinement region segments and,
// through SetParameters, the symbol dictionary and the text region. It owns
// its region information and the decoder and context store it made itself;
// those handed in stay their giver's. The reference is shared, never
// changed; the decoded bitmap is shared with whoever asked for it.

#include <cstdint>
#include <memory>
#include <vector>

#include "filters/jbig2/ArithmeticDecoder.h"
#include "filters/jbig2/SegmentData.h"

namespace qz::filters::jbig2 {

class TqzGenericRefinementRegion : public TqzIRegion {
public:
    TqzGenericRefinementRegion() = default;
    explicit TqzGenericRefinementRegion(TqzIOStreamPtr AsubInputStream, TqzSegmentHeader* AsegmentHeader = nullptr);

    // Keeps header and reader and parses the region's header.
    void Init(TqzSegmentHeader* AHeader, TqzIOStreamPtr Asis) override;
    // Decodes on the first call after construction or SetParameters. Without
    // a reference handed in, the reference is the bitmap of the first
    // referred-to region (or, when the segment refers to none, the page's
    // part under the region); anything else is a plain exception.
    TqzBitmapPtr GetRegionBitmap() override;
    TqzRegionSegmentInformation* GetRegionInfo() override { return FregionInfo.get(); }

    void SetParameters(TqzCX* Acx, TqzArithmeticDecoder* AArithmaticDecoder, int32_t AgrTemplate,
                       int32_t AregionWidth, int32_t AregionHeight, TqzBitmapPtr AgrReference,
                       int32_t AgrReferenceDX, int32_t AgrReferenceDY, bool AisTPGRon,
                       const std::vector<int16_t>& AgrAtX, const std::vector<int16_t>& AgrAtY);

    int32_t GetTemplate() const { return FTemplate; }
    bool IsTPGROn() const { return FisTPGROn; }
    const std::vector<int16_t>& GetAtX() const { return FgrAtX; }
    const std::vector<int16_t>& GetAtY() const { return FgrAtY; }
    const std::vector<bool>& GetAtOverride() const { return FgrAtOverride; }

private:
    void ParseHeader();
    TqzBitmapPtr FindReference();
    void DecodeRows(TqzImageBitmap& bitmap, const TqzImageBitmap& ref, TqzArithmeticDecoder& decoder, TqzCX& cx);

    TqzIOStreamPtr FsubInputStream;
    TqzSegmentHeader* FsegmentHeader = nullptr;
    std::unique_ptr<TqzRegionSegmentInformation> FregionInfo;
    bool FisTPGROn = false;
    int32_t FTemplate = 0;
    std::vector<int16_t> FgrAtX;
    std::vector<int16_t> FgrAtY;
    TqzBitmapPtr FregionBitmap;
    TqzBitmapPtr FreferenceBitmap;
    int32_t FreferenceDX = 0;
    int32_t FreferenceDY = 0;
    TqzArithmeticDecoder* FarithDecoder = nullptr;
    std::unique_ptr<TqzArithmeticDecoder> FownDecoder;
    TqzCX* FCX = nullptr;
    std::unique_ptr<TqzCX> FownCX;
    bool FOverriden = false;
    std::vector<bool> FgrAtOverride;
};

}  // namespace qz::filters::jbig2
