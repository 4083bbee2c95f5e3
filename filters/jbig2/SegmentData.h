#pragma once
// The data objects of JBIG2 segments: the base classes the region and
// dictionary decoders derive from, and the small segment kinds (page
// information, end of stripe, tables, profiles) with the region segment
// information every region begins with. A data object belongs to its
// segment header; it shares the reader over its data with the objects it
// makes.

#include <cstdint>
#include <memory>
#include <vector>

#include "filters/jbig2/Common.h"
#include "filters/jbig2/IOStream.h"
#include "filters/jbig2/ImageBitmap.h"

namespace qz::filters::jbig2 {

class TqzSegmentHeader;
class TqzRegionSegmentInformation;

using TqzIOStreamPtr = std::shared_ptr<TqzIOStream>;

class TqzISegmentData {
public:
    virtual ~TqzISegmentData() = default;
    // Keeps what the object needs of its header and reader and parses the
    // segment's own header. The header outlives its data object.
    virtual void Init(TqzSegmentHeader* /*AHeader*/, TqzIOStreamPtr /*AIOStream*/) {}
};

class TqzIDictionary : public TqzISegmentData {
public:
    // The bitmaps the dictionary exports, or none.
    virtual const std::vector<TqzBitmapPtr>* GetDictionary() { return nullptr; }
};

class TqzIRegion : public TqzISegmentData {
public:
    // The decoded region, shared with whoever asked for it.
    virtual TqzBitmapPtr GetRegionBitmap() = 0;
    virtual TqzRegionSegmentInformation* GetRegionInfo() { return nullptr; }
};

// The 17 bytes every region segment begins with.
class TqzRegionSegmentInformation : public TqzISegmentData {
public:
    TqzRegionSegmentInformation() = default;
    explicit TqzRegionSegmentInformation(TqzIOStreamPtr AsubInputStream)
        : FsubInputStream(std::move(AsubInputStream)) {}

    // Width, height, x and y location, then the external combination
    // operator in the low 3 bits of a flags byte. Raises a plain exception
    // when the data ends inside it.
    void ParseHeader();
    // Raises a plain exception when the region is larger than the bitmap
    // limits or than the page of `AHeader` (when its size is known).
    void CheckSize(const TqzSegmentHeader* AHeader) const;

    void SetBitmapWidth(uint32_t AValue) { FbitmapWidth = AValue; }
    void SetBitmapHeight(uint32_t AValue) { FbitmapHeight = AValue; }
    uint32_t GetBitmapWidth() const { return FbitmapWidth; }
    uint32_t GetBitmapHeight() const { return FbitmapHeight; }
    // Stored unsigned; read as signed 32-bit page coordinates, so that a
    // region may start left of or above the page.
    int32_t GetXLocation() const { return static_cast<int32_t>(FxLocation); }
    int32_t GetYLocation() const { return static_cast<int32_t>(FyLocation); }
    FCombinationOPerator GetCombinationOperator() const { return FCombOPerator; }

    TqzIOStreamPtr FsubInputStream;
    FCombinationOPerator FCombOPerator = FCombinationOPerator::OROP;
    uint32_t FbitmapWidth = 0;
    uint32_t FbitmapHeight = 0;
    uint32_t FxLocation = 0;
    uint32_t FyLocation = 0;
};

// Page information (type 48).
class TqzPageInformation : public TqzISegmentData {
public:
    void Init(TqzSegmentHeader* AHeader, TqzIOStreamPtr Asis) override;
    void ParseHeader();

    // Height of a striped page whose height is not known in advance.
    static constexpr uint32_t kUnknownHeight = 0xFFFFFFFFu;

    uint32_t GetWidth() const { return FbitmapWidth; }
    uint32_t GetBitmapWidth() const { return FbitmapWidth; }
    uint32_t GetHeight() const { return FbitmapHieght; }
    uint32_t GetBitmapHeight() const { return FbitmapHieght; }
    uint32_t GetResolutionX() const { return FresolutionX; }
    uint32_t GetResolutionY() const { return FresolutionY; }
    uint16_t GetDefaultPixelValue() const { return FdefaultPixelValue; }
    bool IsCombinationOperatorOverrideAllowed() const { return FcombinationOperatorOverrideAllowed; }
    FCombinationOPerator GetCombinationOperator() const { return FCombinationOPerator_; }
    bool IsStriped() const { return FisStriped; }
    uint16_t GetMaxStripeSize() const { return FmaxStripeSize; }
    bool IsAuxiliaryBufferRequired() const { return FrequiresAuxiliaryBuffer; }
    bool MightContainRefinements() const { return FmightContainRefinements; }
    bool IsLossless() const { return FisLossless; }

private:
    TqzIOStreamPtr FsubInputStream;
    uint32_t FbitmapWidth = 0;
    uint32_t FbitmapHieght = 0;
    uint32_t FresolutionX = 0;
    uint32_t FresolutionY = 0;
    bool FcombinationOperatorOverrideAllowed = false;
    FCombinationOPerator FCombinationOPerator_ = FCombinationOPerator::OROP;
    bool FrequiresAuxiliaryBuffer = false;
    uint16_t FdefaultPixelValue = 0;
    bool FmightContainRefinements = false;
    bool FisLossless = false;
    bool FisStriped = false;
    uint16_t FmaxStripeSize = 0;
};

// End of stripe (type 50): the last row of the stripe.
class TqzEndOfStripe : public TqzISegmentData {
public:
    void Init(TqzSegmentHeader* Asegmenthdr, TqzIOStreamPtr Asis) override;
    uint32_t GetLineNumber() const { return FlineNumber; }

private:
    TqzIOStreamPtr FsubInputStream;
    uint32_t FlineNumber = 0;
};

// A table segment (type 53): the header of a user Huffman table, with the
// reader left at its first table line.
class TqzTable : public TqzISegmentData {
public:
    void Init(TqzSegmentHeader* Ahdr, TqzIOStreamPtr Asis) override;

    TqzIOStreamPtr FsubInputStream;
    int32_t FhtOutOfBand = 0;
    int32_t FhtPS = 0;
    int32_t FhtRS = 0;
    int32_t FhtLow = 0;
    int32_t FhtHigh = 0;
};

// Profiles (type 52): nothing is read.
class TqzProfiles : public TqzISegmentData {};

// Reads `Apairs` adaptive-pixel offsets (signed bytes x, then y) into the
// two arrays, replacing what they held; data that ends raises.
void ReadAtPixels(TqzIOStream& As, int32_t Apairs, std::vector<int16_t>& AatX, std::vector<int16_t>& AatY);

inline constexpr const char* kSegmentDataTruncated = "JBIG2 segment data ends too early";

}  // namespace qz::filters::jbig2
