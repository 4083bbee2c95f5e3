#include "filters/jbig2/HalftoneRegion.h"

#include <algorithm>
#include <exception>

#include "filters/jbig2/GenericRegion.h"
#include "filters/jbig2/Limits.h"
#include "filters/jbig2/MMRDecompressor.h"
#include "filters/jbig2/PatternDictionary.h"
#include "filters/jbig2/SegmentHeader.h"

namespace qz::filters::jbig2 {

static_assert(kMaxHalftoneGridCells * 16 <= kMaxBitmapPixels,
              "the gray planes of the largest grid (16 planes at most) are no larger than one bitmap");
static_assert(kMaxHalftonePatterns <= int64_t{1} << 16, "gray values fit 16 planes");

TqzHalftoneRegion::TqzHalftoneRegion(TqzIOStreamPtr AsubInputStream)
    : TqzHalftoneRegion(std::move(AsubInputStream), nullptr) {}

TqzHalftoneRegion::TqzHalftoneRegion(TqzIOStreamPtr AsubInputStream, TqzSegmentHeader* AsegmentHeader)
    : FsubInputStream(std::move(AsubInputStream)),
      FsegmentHeader(AsegmentHeader),
      FregionInfo(std::make_unique<TqzRegionSegmentInformation>(FsubInputStream)) {}

void TqzHalftoneRegion::Init(TqzSegmentHeader* Ahdr, TqzIOStreamPtr Asis) {
    FsegmentHeader = Ahdr;
    FsubInputStream = std::move(Asis);
    FregionInfo = std::make_unique<TqzRegionSegmentInformation>(FsubInputStream);
    ParseHeader();
}

void TqzHalftoneRegion::ParseHeader() {
    FregionInfo->ParseHeader();
    TqzIOStream& s = *FsubInputStream;
    FhDefaultPixel = static_cast<uint8_t>(ReadHeaderBits(s, 1));
    FhCombinationOperator = TranslateOperatorCodeToEnum(static_cast<int32_t>(ReadHeaderBits(s, 3)));
    FhSkipEnabled = static_cast<uint8_t>(ReadHeaderBits(s, 1));
    FhTemplate = static_cast<int32_t>(ReadHeaderBits(s, 2));
    FisMMREncoded = static_cast<uint8_t>(ReadHeaderBits(s, 1));
    FhGridWidth = ReadHeaderBits(s, 32);
    FhGridHeight = ReadHeaderBits(s, 32);
    FhGridX = static_cast<int32_t>(ReadHeaderBits(s, 32));
    FhGridY = static_cast<int32_t>(ReadHeaderBits(s, 32));
    FhRegionX = ReadHeaderBits(s, 16);
    FhRegionY = ReadHeaderBits(s, 16);
    FdataHeaderOffset = 0;
    FdataHeaderLength = s.GetStreamPos();
    FdataOffset = FdataHeaderLength;
    FdataLength = s.GetLength() - FdataHeaderLength;
}

// In 64 bits: grid indices times a 16-bit vector overflow 32 bits long
// before the grid limit. The shift floors, as the grid origin may be left of
// or above the region.
int64_t TqzHalftoneRegion::CellX(int64_t m, int64_t n) const {
    return (int64_t{FhGridX} + m * FhRegionY + n * FhRegionX) >> 8;
}

int64_t TqzHalftoneRegion::CellY(int64_t m, int64_t n) const {
    return (int64_t{FhGridY} + m * FhRegionX - n * FhRegionY) >> 8;
}

void TqzHalftoneRegion::CollectPatterns() {
    Fpatterns.clear();
    if (FsegmentHeader == nullptr) return;
    // Only pattern dictionaries hold patterns: a symbol dictionary referred
    // to by mistake is not decoded for them. A dictionary that fails ends
    // the gathering with what was gathered.
    try {
        for (TqzSegmentHeader* h : FsegmentHeader->GetRTSegments()) {
            if (h == nullptr) continue;
            auto* dictionary = dynamic_cast<TqzPatternDictionary*>(h->GetSegmentData());
            if (dictionary == nullptr) continue;
            const std::vector<TqzBitmapPtr>* patterns = dictionary->GetDictionary();
            if (patterns == nullptr) continue;
            // Gray values past the limit could not be coded in the planes.
            const size_t room = static_cast<size_t>(kMaxHalftonePatterns) - Fpatterns.size();
            Fpatterns.insert(Fpatterns.end(), patterns->begin(),
                             patterns->begin() + static_cast<std::ptrdiff_t>(std::min(room, patterns->size())));
        }
    } catch (const std::exception&) {
    }
}

TqzBitmapPtr TqzHalftoneRegion::MakeSkipBitmap() const {
    // Cells whose pattern falls wholly outside the region are not coded.
    const int64_t pw = Fpatterns.front()->GetWidth();
    const int64_t ph = Fpatterns.front()->GetHeight();
    const int64_t bw = FregionInfo->GetBitmapWidth();
    const int64_t bh = FregionInfo->GetBitmapHeight();
    auto skip = std::make_shared<TqzImageBitmap>(FhGridWidth, FhGridHeight);
    for (int64_t m = 0; m < FhGridHeight; ++m) {
        for (int64_t n = 0; n < FhGridWidth; ++n) {
            const int64_t x = CellX(m, n);
            const int64_t y = CellY(m, n);
            if (x + pw <= 0 || x >= bw || y + ph <= 0 || y >= bh) skip->SetPixel(n, m, 1);
        }
    }
    return skip;
}

std::vector<TqzBitmapPtr> TqzHalftoneRegion::DecodeGrayScalePlanes(int32_t Abpp) {
    std::vector<TqzBitmapPtr> planes(static_cast<size_t>(Abpp));
    if (Abpp == 0) return planes;
    std::vector<int16_t> atX;
    std::vector<int16_t> atY;
    if (FisMMREncoded == 0) {
        atX = {static_cast<int16_t>(FhTemplate <= 1 ? 3 : 2)};
        atY = {-1};
        if (FhTemplate == 0) {
            atX.insert(atX.end(), {-3, 2, -2});
            atY.insert(atY.end(), {-1, -2, -2});
        }
    }
    const auto top = static_cast<size_t>(Abpp - 1);
    // The Gray code is undone by XOR with the plane above.
    auto ungray = [&](size_t j) {
        std::vector<uint8_t>& bytes = planes[j]->GetByteArray();
        const std::vector<uint8_t>& above = planes[j + 1]->GetByteArray();
        for (size_t i = 0; i < bytes.size() && i < above.size(); ++i) bytes[i] ^= above[i];
    };
    const auto gw = static_cast<int32_t>(FhGridWidth);
    const auto gh = static_cast<int32_t>(FhGridHeight);
    if (FisMMREncoded != 0) {
        // Each plane's codes end with end-of-block and are padded to a whole
        // byte; the next plane starts on the byte after. MMR codes every
        // cell, so there is nothing to skip.
        const int64_t end = FdataOffset + std::max<int64_t>(FdataLength, 0);
        int64_t offset = FdataOffset;
        for (size_t j = top + 1; j-- > 0;) {
            const TqzIOStream window(*FsubInputStream, FsubInputStream->GetOffset() + offset, end - offset);
            TqzMMRDecompressor mmr(gw, gh, window);
            planes[j] = mmr.Uncompress();
            offset = std::min(end, offset + (mmr.GetOffset() + 7) / 8);
            if (j < top) ungray(j);
        }
        return planes;
    }
    // The most significant plane first; each further plane continues the
    // same coded data with the same contexts.
    FsubInputStream->Seek(FdataOffset);
    TqzGenericRegion planeRegion(FsubInputStream);
    planeRegion.SetParameters(false, FdataOffset, FdataLength, gh, gw, FhTemplate, false, FhSkipEnabled != 0, atX,
                              atY);
    if (FhSkipEnabled != 0) planeRegion.SetSkipBitmap(MakeSkipBitmap());
    planes[top] = planeRegion.GetRegionBitmap();
    for (size_t j = top; j-- > 0;) {
        planeRegion.ResetBitmap();
        planes[j] = planeRegion.GetRegionBitmap();
        ungray(j);
    }
    return planes;
}

void TqzHalftoneRegion::RenderPatterns(TqzImageBitmap& Aregion, const std::vector<TqzBitmapPtr>& Aplanes) {
    const int64_t width = Aregion.GetWidth();
    const int64_t height = Aregion.GetHeight();
    const int64_t budget = kMaxHalftoneOverdraw * width * height;
    const size_t patternCount = Fpatterns.size();
    std::vector<const uint8_t*> rows(Aplanes.size());
    int64_t drawn = 0;
    for (int64_t m = 0; m < FhGridHeight; ++m) {
        for (size_t j = 0; j < Aplanes.size(); ++j) rows[j] = Aplanes[j]->Row(static_cast<int32_t>(m));
        for (int64_t n = 0; n < FhGridWidth; ++n) {
            size_t gray = 0;
            const auto byteIndex = static_cast<size_t>(n >> 3);
            const auto shift = static_cast<uint32_t>(7 - (n & 7));
            for (size_t j = 0; j < rows.size(); ++j) {
                gray |= static_cast<size_t>((uint32_t{rows[j][byteIndex]} >> shift) & 1u) << j;
            }
            // Corrupt planes may name a value no pattern has: the cell stays
            // as it is.
            if (gray >= patternCount) continue;
            const TqzImageBitmap& pattern = *Fpatterns[gray];
            const int64_t x = CellX(m, n);
            const int64_t y = CellY(m, n);
            const int64_t w = std::min<int64_t>(x + pattern.GetWidth(), width) - std::max<int64_t>(x, 0);
            const int64_t h = std::min<int64_t>(y + pattern.GetHeight(), height) - std::max<int64_t>(y, 0);
            if (w <= 0 || h <= 0) continue;
            drawn += w * h;
            if (drawn > budget) throw TqzJBIG2Error("JBIG2 halftone region piles too many patterns on itself");
            // Every cell lands on a whole pixel, rotated grid or not, so the
            // byte-wise blit gives exactly the pixel-by-pixel combination.
            Aregion.Blit(pattern, x, y, FhCombinationOperator);
        }
    }
}

TqzBitmapPtr TqzHalftoneRegion::GetRegionBitmap() {
    if (FhalftoneRegionBitmap) return FhalftoneRegionBitmap;
    if (!FregionInfo || !FsubInputStream) throw TqzJBIG2Error(kSegmentDataTruncated);
    FregionInfo->CheckSize(FsegmentHeader);
    // Each side alone first: the product of two 32-bit sides overflows
    // 64-bit signed arithmetic.
    const int64_t cells = FhGridWidth > kMaxHalftoneGridCells || FhGridHeight > kMaxHalftoneGridCells
                              ? kMaxHalftoneGridCells + 1
                              : int64_t{FhGridWidth} * FhGridHeight;
    if (cells > kMaxHalftoneGridCells) throw TqzJBIG2Error("JBIG2 halftone grid is too large");
    CollectPatterns();
    // Without patterns there is nothing to paint and no number of planes to
    // read: the region is refused rather than shown blank.
    if (Fpatterns.empty()) throw TqzJBIG2Error("JBIG2 halftone region has no patterns");
    auto region = std::make_shared<TqzImageBitmap>(FregionInfo->GetBitmapWidth(), FregionInfo->GetBitmapHeight());
    if (FhDefaultPixel != 0) region->SetByteArray(0xFF);
    int32_t bpp = 0;
    while ((size_t{1} << bpp) < Fpatterns.size()) ++bpp;
    const std::vector<TqzBitmapPtr> planes = cells == 0 ? std::vector<TqzBitmapPtr>{} : DecodeGrayScalePlanes(bpp);
    RenderPatterns(*region, planes);
    FhalftoneRegionBitmap = region;
    return FhalftoneRegionBitmap;
}

}  // namespace qz::filters::jbig2
