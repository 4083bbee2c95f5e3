#pragma once
// TqzGenericRegion: a generic region, coded with MMR or pixel by pixel with
// the MQ decoder under one of four context templates. It serves generic
// region segments and, through SetParameters, the symbol and pattern
// dictionaries and the halftone region. The region owns its region
// information and whatever decoder, context store and MMR decompressor it
// made itself; those handed in stay their giver's. The decoded bitmap is
// shared with whoever asked for it.

#include <cstdint>
#include <memory>
#include <vector>

#include "filters/jbig2/ArithmeticDecoder.h"
#include "filters/jbig2/MMRDecompressor.h"
#include "filters/jbig2/SegmentData.h"

namespace qz::filters::jbig2 {

class TqzGenericRegion : public TqzIRegion {
public:
    TqzGenericRegion() = default;
    explicit TqzGenericRegion(TqzIOStreamPtr AsubInputStream);

    // Keeps header and reader and parses the region's header.
    void Init(TqzSegmentHeader* AHeader, TqzIOStreamPtr AIOStream) override;
    // Decodes on the first call; the same bitmap afterwards. A region larger
    // than the bitmap limits or than its page raises a plain exception.
    TqzBitmapPtr GetRegionBitmap() override;
    TqzRegionSegmentInformation* GetRegionInfo() override { return FregionInfo.get(); }

    // MMR collective bitmap of a symbol dictionary: data offset and length
    // relative to the reader.
    void SetParameters(bool AisMMREncoded, int64_t AdataOffset, int64_t AdataLength, int32_t Agbh,
                       int32_t Agbw);
    // One symbol of a symbol dictionary; `Acx` and `AarithmeticDecoder`,
    // when given, are shared by all symbols and stay the caller's.
    void SetParameters(bool AisMMREncoded, int32_t AsdTemplate, bool AisTPGDon, bool AuseSkip,
                       const std::vector<int16_t>& AsdATX, const std::vector<int16_t>& AsdATY, int32_t AsymWidth,
                       int32_t AhcHeight, TqzCX* Acx, TqzArithmeticDecoder* AarithmeticDecoder);
    // Pattern dictionary and halftone planes. The bitmap is not forgotten:
    // the caller calls ResetBitmap before each new decoding.
    void SetParameters(bool AisMMREncoded, int64_t AdataOffset, int64_t AdataLength, int32_t Agbh, int32_t Agbw,
                       int32_t AgbTemplate, bool AisTPGDon, bool AuseSkip, const std::vector<int16_t>& AgbATX,
                       const std::vector<int16_t>& AgbATY);
    void ResetBitmap() { FregionBitmap.reset(); }
    // With skipping asked for by SetParameters, the pixels set in `Askip`
    // (a bitmap of the region's size) are not decoded and read 0. MMR data
    // codes every pixel and ignores it.
    void SetSkipBitmap(TqzBitmapPtr Askip) { FskipBitmap = std::move(Askip); }

    bool IsMMREncoded() const { return FisMMREncoded; }
    int32_t GetTemplate() const { return FgbTemplate; }
    bool IsTPGDon() const { return FisTPGDon; }
    bool UsesExtTemplate() const { return FuseExtTemplates; }
    const std::vector<int16_t>& GetAtX() const { return FgbAtX; }
    const std::vector<int16_t>& GetAtY() const { return FgbAtY; }
    // After decoding: which AT pixels were away from their nominal place.
    const std::vector<bool>& GetAtOverride() const { return FgbAtOverride; }
    int64_t GetDataOffset() const { return FdataOffset; }
    int64_t GetDataLength() const { return FdataLength; }

private:
    void ParseHeader();
    void UpdateOverrideFlags();
    TqzBitmapPtr DecodeArithmetic(int64_t width, int64_t height);
    void DecodeRows(TqzImageBitmap& bitmap, TqzArithmeticDecoder& decoder, TqzCX& cx);

    TqzIOStreamPtr FsubInputStream;
    TqzSegmentHeader* FsegmentHeader = nullptr;
    int64_t FdataHeaderOffset = 0;
    int64_t FdataHeaderLength = 0;
    int64_t FdataOffset = 0;
    int64_t FdataLength = 0;
    bool FuseExtTemplates = false;
    bool FisTPGDon = false;
    int32_t FgbTemplate = 0;
    bool FisMMREncoded = false;
    bool FuseSkip = false;
    TqzBitmapPtr FskipBitmap;
    std::vector<int16_t> FgbAtX;
    std::vector<int16_t> FgbAtY;
    std::vector<bool> FgbAtOverride;
    bool Foverrides = false;
    TqzBitmapPtr FregionBitmap;
    TqzArithmeticDecoder* FarithDecoder = nullptr;
    std::unique_ptr<TqzArithmeticDecoder> FownDecoder;
    TqzCX* FCX = nullptr;
    std::unique_ptr<TqzCX> FownCX;
    std::unique_ptr<TqzMMRDecompressor> FmmrDecompressor;
    std::unique_ptr<TqzRegionSegmentInformation> FregionInfo;
};

}  // namespace qz::filters::jbig2
