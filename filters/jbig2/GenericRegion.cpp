#include "filters/jbig2/GenericRegion.h"

#include <algorithm>
#include <cstring>

#include "filters/jbig2/Limits.h"
#include "filters/jbig2/SegmentHeader.h"

namespace qz::filters::jbig2 {

namespace {

// How a template's context moves from pixel x to x + 1: shifted left by
// one, the bits that leave each row's group cleared (`keep`), the decoded
// pixel entering at bit 0 and the next pixel of each row above entering at
// the low end of its group.
struct TemplateShape {
    uint32_t keep;
    int32_t lead1, bit1;  // row y - 1: rightmost offset and its bit
    int32_t lead2, bit2;  // row y - 2 (lead2 < 0: the template has none)
    int32_t width1, width2, width0;  // pixels of each group
    uint32_t typicalContext;
};

constexpr TemplateShape kShapes[4] = {
    {0xF7EE, 3, 4, 2, 11, 7, 5, 4, 0x9B25},
    {0x1DF6, 3, 3, 2, 9, 6, 4, 3, 0x0795},
    {0x037A, 2, 2, 1, 7, 5, 3, 2, 0x00E5},
    {0x03EE, 2, 4, -1, 0, 6, 0, 4, 0x0195},
};

struct AtNominal {
    int16_t dx, dy;
    int32_t bit;
};
// Nominal AT positions and the context bit each occupies.
constexpr AtNominal kAt0[] = {{3, -1, 4}, {-3, -1, 10}, {2, -2, 11}, {-2, -2, 15}};
constexpr AtNominal kAtExt[] = {{-2, 0, 1},  {0, -2, 13}, {-2, -1, 9}, {-1, -2, 14}, {1, -2, 12}, {2, -1, 5},
                                {-3, 0, 2},  {-4, 0, 3},  {2, -2, 11}, {3, -1, 4},   {-2, -2, 15}, {-3, -1, 10}};
constexpr AtNominal kAt1[] = {{3, -1, 3}};
constexpr AtNominal kAt23[] = {{2, -1, 2}};
constexpr AtNominal kAt3[] = {{2, -1, 4}};

std::vector<AtNominal> Nominal(int32_t tmpl, bool ext) {
    switch (tmpl) {
        case 0: return ext ? std::vector<AtNominal>(std::begin(kAtExt), std::end(kAtExt))
                           : std::vector<AtNominal>(std::begin(kAt0), std::end(kAt0));
        case 1: return {std::begin(kAt1), std::end(kAt1)};
        case 2: return {std::begin(kAt23), std::end(kAt23)};
        default: return {std::begin(kAt3), std::end(kAt3)};
    }
}

// 24 pixels of a row from pixel 8 * byteIndex on, the first at bit 23;
// bytes past the row read as 0 (the padding bits are 0 too).
inline uint32_t RowWindow(const uint8_t* row, int32_t stride, int32_t byteIndex) {
    if (row == nullptr) return 0;
    uint32_t w = 0;
    for (int32_t i = 0; i < 3; ++i) {
        w <<= 8;
        if (byteIndex + i < stride) w |= row[byteIndex + i];
    }
    return w;
}

}  // namespace

TqzGenericRegion::TqzGenericRegion(TqzIOStreamPtr AsubInputStream)
    : FsubInputStream(std::move(AsubInputStream)),
      FregionInfo(std::make_unique<TqzRegionSegmentInformation>(FsubInputStream)) {}

void TqzGenericRegion::Init(TqzSegmentHeader* AHeader, TqzIOStreamPtr AIOStream) {
    FsegmentHeader = AHeader;
    FsubInputStream = std::move(AIOStream);
    FregionInfo = std::make_unique<TqzRegionSegmentInformation>(FsubInputStream);
    ParseHeader();
}

void TqzGenericRegion::ParseHeader() {
    FregionInfo->ParseHeader();
    TqzIOStream& s = *FsubInputStream;
    const int64_t flags = s.ReadBits(8);
    if (flags < 0) throw TqzJBIG2Error(kSegmentDataTruncated);
    FisMMREncoded = (flags & 1) != 0;
    FgbTemplate = static_cast<int32_t>((flags >> 1) & 3);
    FisTPGDon = ((flags >> 3) & 1) != 0;
    FuseExtTemplates = ((flags >> 4) & 1) != 0;
    const int32_t pairs = FisMMREncoded ? 0 : (FgbTemplate == 0 ? (FuseExtTemplates ? 12 : 4) : 1);
    ReadAtPixels(s, pairs, FgbAtX, FgbAtY);
    FdataHeaderOffset = 0;
    FdataHeaderLength = s.GetStreamPos();
    FdataOffset = FdataHeaderLength;
    FdataLength = s.GetLength() - FdataHeaderLength;
}

void TqzGenericRegion::SetParameters(bool AisMMREncoded, int64_t AdataOffset, int64_t AdataLength, int32_t Agbh,
                                     int32_t Agbw) {
    FisMMREncoded = AisMMREncoded;
    FdataOffset = AdataOffset;
    FdataLength = AdataLength;
    if (!FregionInfo) FregionInfo = std::make_unique<TqzRegionSegmentInformation>(FsubInputStream);
    FregionInfo->SetBitmapHeight(static_cast<uint32_t>(std::max(Agbh, 0)));
    FregionInfo->SetBitmapWidth(static_cast<uint32_t>(std::max(Agbw, 0)));
    FmmrDecompressor.reset();
    ResetBitmap();
}

void TqzGenericRegion::SetParameters(bool AisMMREncoded, int32_t AsdTemplate, bool AisTPGDon, bool /*AuseSkip*/,
                                     const std::vector<int16_t>& AsdATX, const std::vector<int16_t>& AsdATY,
                                     int32_t AsymWidth, int32_t AhcHeight, TqzCX* Acx,
                                     TqzArithmeticDecoder* AarithmeticDecoder) {
    FisMMREncoded = AisMMREncoded;
    FgbTemplate = AsdTemplate & 3;
    FisTPGDon = AisTPGDon;
    FuseExtTemplates = false;
    FgbAtX = AsdATX;
    FgbAtY = AsdATY;
    if (!FregionInfo) FregionInfo = std::make_unique<TqzRegionSegmentInformation>(FsubInputStream);
    FregionInfo->SetBitmapWidth(static_cast<uint32_t>(std::max(AsymWidth, 0)));
    FregionInfo->SetBitmapHeight(static_cast<uint32_t>(std::max(AhcHeight, 0)));
    if (Acx != nullptr) {
        FCX = Acx;
        FownCX.reset();
    }
    if (AarithmeticDecoder != nullptr) {
        FarithDecoder = AarithmeticDecoder;
        FownDecoder.reset();
    }
    FmmrDecompressor.reset();
    ResetBitmap();
}

void TqzGenericRegion::SetParameters(bool AisMMREncoded, int64_t AdataOffset, int64_t AdataLength, int32_t Agbh,
                                     int32_t Agbw, int32_t AgbTemplate, bool AisTPGDon, bool AuseSkip,
                                     const std::vector<int16_t>& AgbATX, const std::vector<int16_t>& AgbATY) {
    FisMMREncoded = AisMMREncoded;
    FuseSkip = AuseSkip;
    FdataOffset = AdataOffset;
    FdataLength = AdataLength;
    FgbTemplate = AgbTemplate & 3;
    FisTPGDon = AisTPGDon;
    FuseExtTemplates = false;
    FgbAtX = AgbATX;
    FgbAtY = AgbATY;
    FregionInfo = std::make_unique<TqzRegionSegmentInformation>(FsubInputStream);
    FregionInfo->SetBitmapHeight(static_cast<uint32_t>(std::max(Agbh, 0)));
    FregionInfo->SetBitmapWidth(static_cast<uint32_t>(std::max(Agbw, 0)));
}

void TqzGenericRegion::UpdateOverrideFlags() {
    Foverrides = false;
    FgbAtOverride.assign(FgbAtX.size(), false);
    if (FgbAtX.size() != FgbAtY.size()) return;
    const auto nominal = Nominal(FgbTemplate, FuseExtTemplates);
    for (size_t i = 0; i < FgbAtX.size() && i < nominal.size(); ++i) {
        if (FgbAtX[i] != nominal[i].dx || FgbAtY[i] != nominal[i].dy) {
            FgbAtOverride[i] = true;
            Foverrides = true;
        }
    }
}

TqzBitmapPtr TqzGenericRegion::GetRegionBitmap() {
    if (FregionBitmap) return FregionBitmap;
    if (!FregionInfo || !FsubInputStream) throw TqzJBIG2Error(kSegmentDataTruncated);
    FregionInfo->CheckSize(FsegmentHeader);
    const int64_t width = FregionInfo->GetBitmapWidth();
    const int64_t height = FregionInfo->GetBitmapHeight();
    if (FisMMREncoded) {
        if (!FmmrDecompressor) {
            const TqzIOStream data(*FsubInputStream, FsubInputStream->GetOffset() + std::max<int64_t>(FdataOffset, 0),
                                   FdataLength);
            FmmrDecompressor = std::make_unique<TqzMMRDecompressor>(static_cast<int32_t>(width),
                                                                    static_cast<int32_t>(height), data);
        }
        FregionBitmap = FmmrDecompressor->Uncompress();
    } else {
        FregionBitmap = DecodeArithmetic(width, height);
    }
    return FregionBitmap;
}

TqzBitmapPtr TqzGenericRegion::DecodeArithmetic(int64_t width, int64_t height) {
    UpdateOverrideFlags();
    auto bitmap = std::make_shared<TqzImageBitmap>(width, height);
    if (FarithDecoder == nullptr) {
        FownDecoder = std::make_unique<TqzArithmeticDecoder>(FsubInputStream.get());
        FarithDecoder = FownDecoder.get();
    }
    if (FCX == nullptr) {
        FownCX = std::make_unique<TqzCX>(65536, 0);
        FCX = FownCX.get();
    }
    DecodeRows(*bitmap, *FarithDecoder, *FCX);
    return bitmap;
}

void TqzGenericRegion::DecodeRows(TqzImageBitmap& bitmap, TqzArithmeticDecoder& decoder, TqzCX& cx) {
    const TemplateShape& t = kShapes[FgbTemplate & 3];
    const int32_t width = bitmap.GetWidth();
    const int32_t height = bitmap.GetHeight();
    const int32_t stride = bitmap.GetRowStride();
    // No pixels, nothing to decode, however many rows of nothing the region
    // claims: a billion of them would spin for minutes.
    if (width == 0) return;

    // The AT pixels away from their nominal place: their bits are replaced
    // by the pixel they name, read from the bitmap.
    struct Moved {
        int32_t dx, dy;
        uint32_t bit;
    };
    std::vector<Moved> moved;
    uint32_t movedMask = 0;
    if (Foverrides) {
        const auto nominal = Nominal(FgbTemplate, FuseExtTemplates);
        for (size_t i = 0; i < FgbAtOverride.size() && i < nominal.size(); ++i) {
            if (!FgbAtOverride[i]) continue;
            moved.push_back({FgbAtX[i], FgbAtY[i], static_cast<uint32_t>(nominal[i].bit)});
            movedMask |= 1u << nominal[i].bit;
        }
    }

    // Only a skip bitmap of the region's own size can say which pixels to skip.
    const TqzImageBitmap* skip = FuseSkip && FskipBitmap && FskipBitmap->GetWidth() == width &&
                                         FskipBitmap->GetHeight() == height
                                     ? FskipBitmap.get()
                                     : nullptr;

    int32_t ltp = 0;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = bitmap.Row(y);
        const uint8_t* skipRow = skip != nullptr ? skip->Row(y) : nullptr;
        if (FisTPGDon) {
            ltp ^= decoder.DecodeAt(cx, t.typicalContext);
            if (ltp) {
                if (y > 0 && stride > 0) std::memcpy(row, bitmap.Row(y - 1), static_cast<size_t>(stride));
                continue;
            }
        }
        const uint8_t* row1 = y >= 1 ? bitmap.Row(y - 1) : nullptr;
        const uint8_t* row2 = (y >= 2 && t.lead2 >= 0) ? bitmap.Row(y - 2) : nullptr;

        // The context of pixel 0: only pixels at offsets 0 and right of the
        // rows above are inside the bitmap.
        uint32_t ctx = 0;
        for (int32_t k = 0; k < t.width1 && t.lead1 - k >= 0; ++k) {
            ctx |= static_cast<uint32_t>(bitmap.GetPixel(t.lead1 - k, y - 1)) << (t.bit1 + k);
        }
        for (int32_t k = 0; t.lead2 >= 0 && k < t.width2 && t.lead2 - k >= 0; ++k) {
            ctx |= static_cast<uint32_t>(bitmap.GetPixel(t.lead2 - k, y - 2)) << (t.bit2 + k);
        }

        for (int32_t byteIndex = 0; byteIndex < stride; ++byteIndex) {
            const uint32_t w1 = RowWindow(row1, stride, byteIndex);
            const uint32_t w2 = RowWindow(row2, stride, byteIndex);
            const int32_t x0 = byteIndex * 8;
            const int32_t count = std::min(8, width - x0);
            const uint32_t skipped = skipRow != nullptr ? skipRow[byteIndex] : 0u;
            uint32_t out = 0;
            for (int32_t j = 0; j < count; ++j) {
                uint32_t used = ctx;
                if (!moved.empty()) {
                    used &= ~movedMask;
                    for (const Moved& m : moved) {
                        used |= static_cast<uint32_t>(bitmap.GetPixel(int64_t{x0} + j + m.dx, int64_t{y} + m.dy))
                                << m.bit;
                    }
                }
                const auto pixel =
                    (skipped & (0x80u >> j)) != 0 ? 0u : static_cast<uint32_t>(decoder.DecodeAt(cx, used));
                out |= pixel << (7 - j);
                // Moved AT pixels may read this row: keep it current.
                if (!moved.empty() && pixel) row[byteIndex] = static_cast<uint8_t>(row[byteIndex] | (0x80u >> j));
                // Pixel x + 1 + lead of each row above sits at bit 23 - (j + 1 + lead).
                ctx = ((ctx << 1) & t.keep) | pixel |
                      (((w1 >> (22 - j - t.lead1)) & 1) << t.bit1);
                if (t.lead2 >= 0) ctx |= ((w2 >> (22 - j - t.lead2)) & 1) << t.bit2;
            }
            row[byteIndex] = static_cast<uint8_t>(out);
        }
    }
}

}  // namespace qz::filters::jbig2
