#pragma once
// TqzImageBitmap: the one bitmap type of the JBIG2 decoder (pages, regions,
// symbols, patterns). 1-bit pixels, rows of whole bytes, most significant
// bit first, a set bit black; the bits of each row's last byte beyond the
// width are always 0. The bitmap owns its bytes; regions and dictionaries
// share bitmaps through shared_ptr.

#include <cstdint>
#include <memory>
#include <vector>

#include "filters/jbig2/Common.h"

namespace qz::filters::jbig2 {

class TqzImageBitmap {
public:
    // All pixels 0. Sizes come from the data: a negative size, or one past
    // the bitmap limits, raises a plain exception before anything is
    // allocated. A size of 0 makes an empty bitmap.
    TqzImageBitmap(int64_t Awidth, int64_t Aheight);

    int32_t GetWidth() const { return Fwidth; }
    int32_t GetHeight() const { return Fheight; }
    int32_t GetRowStride() const { return FrowStride; }

    int64_t GetByteIndex(int32_t Ax, int32_t Ay) const { return int64_t{Ay} * FrowStride + (Ax >> 3); }
    static int32_t GetBitOffset(int32_t Ax) { return Ax & 7; }

    // Byte access, bounds-checked ("Arguemant Out of Range" outside).
    uint8_t GetByte(int64_t AIndex) const;
    int32_t GetByteAsInteger(int64_t AIndex) const { return GetByte(AIndex); }
    void SetByte(int64_t AIndex, uint8_t AValue);
    // 0 or 1; pixels outside the bitmap read as 0.
    int32_t GetPixel(int64_t Ax, int64_t Ay) const {
        if (Ax < 0 || Ay < 0 || Ax >= Fwidth || Ay >= Fheight) return 0;
        return (FbyteArray[static_cast<size_t>(Ay * FrowStride + (Ax >> 3))] >> (7 - (Ax & 7))) & 1;
    }
    // Pixels outside the bitmap are ignored.
    void SetPixel(int64_t Ax, int64_t Ay, int32_t AValue);

    // The bytes themselves, FrowStride per row.
    std::vector<uint8_t>& GetByteArray() { return FbyteArray; }
    const std::vector<uint8_t>& GetByteArray() const { return FbyteArray; }
    std::vector<uint8_t> GetFbyteArray() const { return FbyteArray; }
    uint8_t* Row(int32_t Ay) { return FbyteArray.data() + static_cast<size_t>(Ay) * static_cast<size_t>(FrowStride); }
    const uint8_t* Row(int32_t Ay) const {
        return FbyteArray.data() + static_cast<size_t>(Ay) * static_cast<size_t>(FrowStride);
    }
    // Every byte set to `AValue`; the padding bits beyond the width stay 0.
    void SetByteArray(uint8_t AValue);

    // The byte with its `AShift` low bits cleared.
    static uint8_t RemoveBytePadding(uint8_t AValue, int32_t AShift) {
        if (AShift <= 0) return AValue;
        if (AShift >= 8) return 0;
        return static_cast<uint8_t>((AValue >> AShift) << AShift);
    }
    // `AValue1` is the old byte, `AValue2` the new one.
    static uint8_t CombineBytes(uint8_t AValue1, uint8_t AValue2, FCombinationOPerator AOp);

    // Combines `AbitmapToBlit` into this bitmap with its top-left pixel at
    // (`AtargetStartX`, `AtargetStartY`); what falls outside is dropped and
    // only the pixels under the source change.
    void Blit(const TqzImageBitmap& AbitmapToBlit, int64_t AtargetStartX, int64_t AtargetStartY,
              FCombinationOPerator AcombinationOperator);
    // A copy of a rectangle of this bitmap; a rectangle reaching outside the
    // bitmap raises a plain exception.
    std::shared_ptr<TqzImageBitmap> GetRegionOfInterest(const TqzBitmapRect& AregionofInterest) const;

    // Clears the bits beyond the width in the last byte of every row.
    void ClearPadding();

private:
    int32_t Fheight = 0;
    int32_t Fwidth = 0;
    int32_t FrowStride = 0;
    std::vector<uint8_t> FbyteArray;
};

using TqzBitmapPtr = std::shared_ptr<TqzImageBitmap>;

// Raised for sizes past the bitmap limits.
inline constexpr const char* kBitmapTooLarge = "JBIG2 bitmap size out of range";

}  // namespace qz::filters::jbig2
