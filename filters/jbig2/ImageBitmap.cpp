#include "filters/jbig2/ImageBitmap.h"

#include <algorithm>
#include <cstring>

#include "filters/jbig2/Limits.h"

namespace qz::filters::jbig2 {

namespace {

// Eight pixels of a row from pixel `pos` on (pos may be negative); pixels
// outside 0..width-1 read as 0, since the padding bits are 0.
inline uint32_t BitsAt(const uint8_t* row, int64_t stride, int64_t pos) {
    const int64_t byte = pos >> 3;  // arithmetic shift: floor for negatives
    const int32_t shift = static_cast<int32_t>(pos & 7);
    const uint32_t b0 = (byte >= 0 && byte < stride) ? row[byte] : 0;
    const uint32_t b1 = (byte + 1 >= 0 && byte + 1 < stride) ? row[byte + 1] : 0;
    return (((b0 << 8) | b1) >> (8 - shift)) & 0xFF;
}

}  // namespace

TqzImageBitmap::TqzImageBitmap(int64_t Awidth, int64_t Aheight) {
    if (Awidth < 0 || Aheight < 0 || Awidth > kMaxBitmapDimension || Aheight > kMaxBitmapDimension ||
        Awidth * Aheight > kMaxBitmapPixels) {
        throw TqzJBIG2Error(kBitmapTooLarge);
    }
    const int64_t stride = (Awidth + 7) / 8;
    if (stride * Aheight > kMaxBitmapBytes) throw TqzJBIG2Error(kBitmapTooLarge);
    Fwidth = static_cast<int32_t>(Awidth);
    Fheight = static_cast<int32_t>(Aheight);
    FrowStride = static_cast<int32_t>(stride);
    FbyteArray.assign(static_cast<size_t>(stride * Aheight), 0);
}

uint8_t TqzImageBitmap::GetByte(int64_t AIndex) const {
    if (AIndex < 0 || AIndex >= static_cast<int64_t>(FbyteArray.size())) throw TqzJBIG2Error(kArgumentOutOfRange);
    return FbyteArray[static_cast<size_t>(AIndex)];
}

void TqzImageBitmap::SetByte(int64_t AIndex, uint8_t AValue) {
    if (AIndex < 0 || AIndex >= static_cast<int64_t>(FbyteArray.size())) throw TqzJBIG2Error(kArgumentOutOfRange);
    FbyteArray[static_cast<size_t>(AIndex)] = AValue;
}

void TqzImageBitmap::SetPixel(int64_t Ax, int64_t Ay, int32_t AValue) {
    if (Ax < 0 || Ay < 0 || Ax >= Fwidth || Ay >= Fheight) return;
    uint8_t& b = FbyteArray[static_cast<size_t>(Ay * FrowStride + (Ax >> 3))];
    const auto mask = static_cast<uint8_t>(0x80u >> (Ax & 7));
    b = static_cast<uint8_t>(AValue ? (b | mask) : (b & ~mask));
}

void TqzImageBitmap::SetByteArray(uint8_t AValue) {
    std::fill(FbyteArray.begin(), FbyteArray.end(), AValue);
    ClearPadding();
}

void TqzImageBitmap::ClearPadding() {
    const int32_t spare = FrowStride * 8 - Fwidth;
    if (spare == 0) return;
    const auto keep = static_cast<uint8_t>(0xFFu << spare);
    for (int32_t y = 0; y < Fheight; ++y) Row(y)[FrowStride - 1] &= keep;
}

uint8_t TqzImageBitmap::CombineBytes(uint8_t AValue1, uint8_t AValue2, FCombinationOPerator AOp) {
    switch (AOp) {
        case FCombinationOPerator::OROP: return static_cast<uint8_t>(AValue1 | AValue2);
        case FCombinationOPerator::ANDOP: return static_cast<uint8_t>(AValue1 & AValue2);
        case FCombinationOPerator::XOROP: return static_cast<uint8_t>(AValue1 ^ AValue2);
        case FCombinationOPerator::XNOROP: return static_cast<uint8_t>(~(AValue1 ^ AValue2));
        default: return AValue2;
    }
}

void TqzImageBitmap::Blit(const TqzImageBitmap& AbitmapToBlit, int64_t AtargetStartX, int64_t AtargetStartY,
                          FCombinationOPerator AcombinationOperator) {
    const TqzImageBitmap& src = AbitmapToBlit;
    // The target columns and rows the source covers, clipped.
    const int64_t x0 = std::max<int64_t>(AtargetStartX, 0);
    const int64_t x1 = std::min<int64_t>(AtargetStartX + src.Fwidth, Fwidth);
    const int64_t y0 = std::max<int64_t>(AtargetStartY, 0);
    const int64_t y1 = std::min<int64_t>(AtargetStartY + src.Fheight, Fheight);
    if (x0 >= x1 || y0 >= y1) return;
    const int64_t firstByte = x0 >> 3;
    const int64_t lastByte = (x1 - 1) >> 3;
    const auto firstMask = static_cast<uint8_t>(0xFFu >> (x0 & 7));
    const auto lastMask = static_cast<uint8_t>(0xFFu << (7 - ((x1 - 1) & 7)));
    const bool aligned = (AtargetStartX & 7) == 0;
    for (int64_t ty = y0; ty < y1; ++ty) {
        const uint8_t* srow = src.Row(static_cast<int32_t>(ty - AtargetStartY));
        uint8_t* trow = Row(static_cast<int32_t>(ty));
        for (int64_t tb = firstByte; tb <= lastByte; ++tb) {
            // Source pixel under target pixel 8*tb.
            const int64_t spos = tb * 8 - AtargetStartX;
            uint32_t s;
            if (aligned) {
                const int64_t sb = spos >> 3;
                s = (sb >= 0 && sb < src.FrowStride) ? srow[sb] : 0;
            } else {
                s = BitsAt(srow, src.FrowStride, spos);
            }
            uint8_t mask = 0xFF;
            if (tb == firstByte) mask &= firstMask;
            if (tb == lastByte) mask &= lastMask;
            const uint8_t old = trow[tb];
            const uint8_t combined = CombineBytes(old, static_cast<uint8_t>(s), AcombinationOperator);
            trow[tb] = static_cast<uint8_t>((old & ~mask) | (combined & mask));
        }
    }
}

std::shared_ptr<TqzImageBitmap> TqzImageBitmap::GetRegionOfInterest(const TqzBitmapRect& R) const {
    const int64_t w = GetRectWidth(R);
    const int64_t h = GetRectHeight(R);
    if (R.Left < 0 || R.Top < 0 || w < 0 || h < 0 || R.Right > Fwidth || R.Bottom > Fheight) {
        throw TqzJBIG2Error(kArgumentOutOfRange);
    }
    auto out = std::make_shared<TqzImageBitmap>(w, h);
    for (int32_t y = 0; y < out->Fheight; ++y) {
        const uint8_t* srow = Row(R.Top + y);
        uint8_t* drow = out->Row(y);
        if ((R.Left & 7) == 0) {
            std::memcpy(drow, srow + (R.Left >> 3), static_cast<size_t>(out->FrowStride));
        } else {
            for (int32_t b = 0; b < out->FrowStride; ++b) {
                drow[b] = static_cast<uint8_t>(BitsAt(srow, FrowStride, int64_t{R.Left} + int64_t{b} * 8));
            }
        }
    }
    out->ClearPadding();
    return out;
}

}  // namespace qz::filters::jbig2
