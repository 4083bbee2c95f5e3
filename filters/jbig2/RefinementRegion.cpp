#include "filters/jbig2/RefinementRegion.h"

#include <algorithm>

#include "filters/jbig2/Limits.h"
#include "filters/jbig2/SegmentHeader.h"

namespace qz::filters::jbig2 {

namespace {

// 16 pixels of a row from pixel `pos` on (pos may be negative), the first
// at bit 15; pixels outside the row read as 0.
inline uint32_t Window16(const uint8_t* row, int32_t stride, int64_t pos) {
    if (row == nullptr) return 0;
    const int64_t byte = pos >> 3;
    uint32_t v = 0;
    for (int64_t i = 0; i < 3; ++i) {
        v <<= 8;
        const int64_t b = byte + i;
        if (b >= 0 && b < stride) v |= row[b];
    }
    return ((v << (pos & 7)) >> 8) & 0xFFFF;
}

// Refinement regions being decoded on this thread, one inside another.
thread_local int32_t gReferenceDepth = 0;

struct DepthGuard {
    DepthGuard() {
        if (++gReferenceDepth > kMaxRegionReferenceDepth) {
            --gReferenceDepth;
            throw TqzJBIG2Error("JBIG2 refinement regions nest too deep");
        }
    }
    ~DepthGuard() { --gReferenceDepth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
};

}  // namespace

TqzGenericRefinementRegion::TqzGenericRefinementRegion(TqzIOStreamPtr AsubInputStream,
                                                       TqzSegmentHeader* AsegmentHeader)
    : FsubInputStream(std::move(AsubInputStream)),
      FsegmentHeader(AsegmentHeader),
      FregionInfo(std::make_unique<TqzRegionSegmentInformation>(FsubInputStream)) {}

void TqzGenericRefinementRegion::Init(TqzSegmentHeader* AHeader, TqzIOStreamPtr Asis) {
    FsegmentHeader = AHeader;
    FsubInputStream = std::move(Asis);
    FregionInfo = std::make_unique<TqzRegionSegmentInformation>(FsubInputStream);
    ParseHeader();
}

void TqzGenericRefinementRegion::ParseHeader() {
    FregionInfo->ParseHeader();
    TqzIOStream& s = *FsubInputStream;
    const int64_t flags = s.ReadBits(8);
    if (flags < 0) throw TqzJBIG2Error(kSegmentDataTruncated);
    FisTPGROn = ((flags >> 1) & 1) != 0;
    FTemplate = static_cast<int32_t>(flags & 1);
    ReadAtPixels(s, FTemplate == 0 ? 2 : 0, FgrAtX, FgrAtY);
}

void TqzGenericRefinementRegion::SetParameters(TqzCX* Acx, TqzArithmeticDecoder* AArithmaticDecoder,
                                               int32_t AgrTemplate, int32_t AregionWidth, int32_t AregionHeight,
                                               TqzBitmapPtr AgrReference, int32_t AgrReferenceDX,
                                               int32_t AgrReferenceDY, bool AisTPGRon,
                                               const std::vector<int16_t>& AgrAtX,
                                               const std::vector<int16_t>& AgrAtY) {
    if (Acx != nullptr) {
        FCX = Acx;
        FownCX.reset();
    }
    if (AArithmaticDecoder != nullptr) {
        FarithDecoder = AArithmaticDecoder;
        FownDecoder.reset();
    }
    FTemplate = AgrTemplate & 1;
    if (!FregionInfo) FregionInfo = std::make_unique<TqzRegionSegmentInformation>(FsubInputStream);
    FregionInfo->SetBitmapWidth(static_cast<uint32_t>(std::max(AregionWidth, 0)));
    FregionInfo->SetBitmapHeight(static_cast<uint32_t>(std::max(AregionHeight, 0)));
    FreferenceBitmap = std::move(AgrReference);
    FreferenceDX = AgrReferenceDX;
    FreferenceDY = AgrReferenceDY;
    FisTPGROn = AisTPGRon;
    FgrAtX = AgrAtX;
    FgrAtY = AgrAtY;
    FregionBitmap.reset();
}

TqzBitmapPtr TqzGenericRefinementRegion::FindReference() {
    constexpr const char* kNoReference = "JBIG2 refinement region has no reference bitmap";
    if (FsegmentHeader == nullptr) throw TqzJBIG2Error(kNoReference);
    const auto& referred = FsegmentHeader->GetRTSegments();
    if (referred.empty()) {
        // Refining the page itself: only the page layer can give it.
        TqzSegmentLookup* doc = FsegmentHeader->GetDocument();
        TqzBitmapPtr page = doc != nullptr ? doc->GetPageReference(FsegmentHeader->GetPageAssocoation(), *FregionInfo)
                                           : nullptr;
        if (!page) throw TqzJBIG2Error(kNoReference);
        return page;
    }
    // The first referred-to segment must be a region; a number that named
    // nothing, or a dictionary or table, gives no reference.
    TqzSegmentHeader* first = referred.front();
    auto* region = first != nullptr ? dynamic_cast<TqzIRegion*>(first->GetSegmentData()) : nullptr;
    if (region == nullptr) throw TqzJBIG2Error(kNoReference);
    DepthGuard guard;
    TqzBitmapPtr bitmap = region->GetRegionBitmap();
    if (!bitmap) throw TqzJBIG2Error(kNoReference);
    return bitmap;
}

TqzBitmapPtr TqzGenericRefinementRegion::GetRegionBitmap() {
    if (FregionBitmap) return FregionBitmap;
    if (!FregionInfo || !FsubInputStream) throw TqzJBIG2Error(kSegmentDataTruncated);
    FregionInfo->CheckSize(FsegmentHeader);
    if (!FreferenceBitmap) {
        FreferenceBitmap = FindReference();
        FreferenceDX = 0;
        FreferenceDY = 0;
    }
    if (FarithDecoder == nullptr) {
        FownDecoder = std::make_unique<TqzArithmeticDecoder>(FsubInputStream.get());
        FarithDecoder = FownDecoder.get();
    }
    if (FCX == nullptr) {
        FownCX = std::make_unique<TqzCX>(8192, 0);
        FCX = FownCX.get();
    }
    auto bitmap = std::make_shared<TqzImageBitmap>(FregionInfo->GetBitmapWidth(), FregionInfo->GetBitmapHeight());
    FOverriden = false;
    FgrAtOverride.assign(2, false);
    if (FTemplate == 0 && FgrAtX.size() >= 2 && FgrAtY.size() >= 2) {
        for (size_t i = 0; i < 2; ++i) {
            FgrAtOverride[i] = FgrAtX[i] != -1 || FgrAtY[i] != -1;
            FOverriden = FOverriden || FgrAtOverride[i];
        }
    }
    DecodeRows(*bitmap, *FreferenceBitmap, *FarithDecoder, *FCX);
    FregionBitmap = bitmap;
    return FregionBitmap;
}

void TqzGenericRefinementRegion::DecodeRows(TqzImageBitmap& bitmap, const TqzImageBitmap& ref,
                                            TqzArithmeticDecoder& decoder, TqzCX& cx) {
    const bool t0 = FTemplate == 0;
    const int32_t width = bitmap.GetWidth();
    const int32_t height = bitmap.GetHeight();
    if (width == 0) return;  // no pixels, however many rows
    const int32_t stride = bitmap.GetRowStride();
    const int32_t refStride = ref.GetRowStride();
    const int64_t dx = FreferenceDX;
    const int64_t dy = FreferenceDY;
    // Bits that survive the shift to the next pixel: each group's older
    // pixels; the newest pixel of every group enters afresh.
    const uint32_t keep = t0 ? 0x1B6C : 0x01AC;
    const bool movedA1 = FOverriden && FgrAtOverride[0];
    const bool movedA2 = FOverriden && FgrAtOverride[1];
    const int64_t a1x = movedA1 ? FgrAtX[0] : 0, a1y = movedA1 ? FgrAtY[0] : 0;
    const int64_t a2x = movedA2 ? FgrAtX[1] : 0, a2y = movedA2 ? FgrAtY[1] : 0;

    auto refRow = [&](int64_t r) -> const uint8_t* {
        return (r >= 0 && r < ref.GetHeight()) ? ref.Row(static_cast<int32_t>(r)) : nullptr;
    };
    // The context of pixel (x, y) with nominal adaptive pixels, read pixel
    // by pixel; used where a row starts.
    auto contextAt = [&](int64_t x, int64_t y) {
        auto n = [&](int64_t px, int64_t py) { return static_cast<uint32_t>(bitmap.GetPixel(px, py)); };
        auto r = [&](int64_t px, int64_t py) { return static_cast<uint32_t>(ref.GetPixel(px - dx, py - dy)); };
        if (t0) {
            return n(x - 1, y) | n(x + 1, y - 1) << 1 | n(x, y - 1) << 2 | n(x - 1, y - 1) << 3 |
                   r(x + 1, y + 1) << 4 | r(x, y + 1) << 5 | r(x - 1, y + 1) << 6 | r(x + 1, y) << 7 |
                   r(x, y) << 8 | r(x - 1, y) << 9 | r(x + 1, y - 1) << 10 | r(x, y - 1) << 11 |
                   r(x - 1, y - 1) << 12;
        }
        return n(x - 1, y) | n(x + 1, y - 1) << 1 | n(x, y - 1) << 2 | n(x - 1, y - 1) << 3 |
               r(x + 1, y + 1) << 4 | r(x, y + 1) << 5 | r(x + 1, y) << 6 | r(x, y) << 7 | r(x - 1, y) << 8 |
               r(x, y - 1) << 9;
    };

    int32_t ltp = 0;
    for (int32_t y = 0; y < height; ++y) {
        if (FisTPGROn) ltp ^= decoder.DecodeAt(cx, t0 ? 0x100u : 0x080u);
        uint8_t* row = bitmap.Row(y);
        const uint8_t* above = y >= 1 ? bitmap.Row(y - 1) : nullptr;
        const int64_t ry = y - dy;
        const uint8_t* refUp = refRow(ry - 1);
        const uint8_t* refMid = refRow(ry);
        const uint8_t* refDown = refRow(ry + 1);
        uint32_t ctx = contextAt(0, y);
        for (int32_t byteIndex = 0; byteIndex < stride; ++byteIndex) {
            const int64_t x0 = int64_t{byteIndex} * 8;
            const uint32_t wN = Window16(above, stride, x0 + 2);
            const uint32_t wUp = Window16(refUp, refStride, x0 + (t0 ? 2 : 1) - dx);
            const uint32_t wMid = Window16(refMid, refStride, x0 + 2 - dx);
            const uint32_t wDown = Window16(refDown, refStride, x0 + 2 - dx);
            const int32_t count = std::min<int32_t>(8, width - byteIndex * 8);
            uint32_t out = 0;
            for (int32_t j = 0; j < count; ++j) {
                const int64_t x = x0 + j;
                int32_t pixel = -1;
                if (ltp) {
                    // A reference neighbourhood of one colour predicts the
                    // pixel. Template 0's context holds all nine reference
                    // pixels; template 1's six of them.
                    if (t0) {
                        const uint32_t n = (ctx >> 4) & 0x1FF;
                        if (n == 0) pixel = 0;
                        else if (n == 0x1FF) pixel = 1;
                    } else {
                        const uint32_t n = (ctx >> 4) & 0x3F;
                        if (n == 0 || n == 0x3F) {
                            const int32_t v = n == 0 ? 0 : 1;
                            const int64_t rx = x - dx;
                            if (ref.GetPixel(rx - 1, ry + 1) == v && ref.GetPixel(rx + 1, ry - 1) == v &&
                                ref.GetPixel(rx - 1, ry - 1) == v) {
                                pixel = v;
                            }
                        }
                    }
                }
                if (pixel < 0) {
                    uint32_t used = ctx;
                    if (movedA1) {
                        used = (used & ~(1u << 3)) | static_cast<uint32_t>(bitmap.GetPixel(x + a1x, y + a1y)) << 3;
                    }
                    if (movedA2) {
                        used = (used & ~(1u << 12)) |
                               static_cast<uint32_t>(ref.GetPixel(x - dx + a2x, ry + a2y)) << 12;
                    }
                    pixel = decoder.DecodeAt(cx, used);
                }
                const auto p = static_cast<uint32_t>(pixel);
                out |= p << (7 - j);
                if (movedA1 && p) row[byteIndex] = static_cast<uint8_t>(row[byteIndex] | (0x80u >> j));
                const int32_t bit = 15 - j;
                ctx = ((ctx << 1) & keep) | p | ((wN >> bit) & 1) << 1 | ((wDown >> bit) & 1) << 4;
                if (t0) ctx |= ((wMid >> bit) & 1) << 7 | ((wUp >> bit) & 1) << 10;
                else ctx |= ((wMid >> bit) & 1) << 6 | ((wUp >> bit) & 1) << 9;
            }
            row[byteIndex] = static_cast<uint8_t>(out);
        }
    }
}

}  // namespace qz::filters::jbig2
