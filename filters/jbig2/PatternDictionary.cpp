#include "filters/jbig2/PatternDictionary.h"

#include <exception>

#include "filters/jbig2/GenericRegion.h"
#include "filters/jbig2/Limits.h"

namespace qz::filters::jbig2 {

uint32_t ReadHeaderBits(TqzIOStream& As, int32_t Abits) {
    if (As.Available() * 8 - As.GetBitOffset() < Abits) throw TqzJBIG2Error(kSegmentDataTruncated);
    return static_cast<uint32_t>(As.ReadBits(Abits));
}

void TqzPatternDictionary::Init(TqzSegmentHeader* /*AHeader*/, TqzIOStreamPtr Asis) {
    FsubInputStream = std::move(Asis);
    ParseHeader();
}

void TqzPatternDictionary::ParseHeader() {
    if (!FsubInputStream) throw TqzJBIG2Error(kSegmentDataTruncated);
    TqzIOStream& s = *FsubInputStream;
    ReadHeaderBits(s, 5);
    FhdTemplate = static_cast<int32_t>(ReadHeaderBits(s, 2));
    FisMMREncoded = ReadHeaderBits(s, 1) != 0;
    FhdpWidth = static_cast<int32_t>(ReadHeaderBits(s, 8));
    FhdpHeight = static_cast<int32_t>(ReadHeaderBits(s, 8));
    FgrayMax = ReadHeaderBits(s, 32);
    FdataHeaderOffset = 0;
    FdataHeaderLength = s.GetStreamPos();
    FdataOffset = FdataHeaderLength;
    FdataLength = s.GetLength() - FdataHeaderLength;
}

const std::vector<TqzBitmapPtr>* TqzPatternDictionary::GetDictionary() {
    if (!Fdecoded) {
        Fdecoded = true;
        // A dictionary that cannot be decoded holds no patterns; the regions
        // that use it see that and fail with their own message.
        try {
            DecodePatterns();
        } catch (const std::exception& e) {
            Fpatterns.clear();
            FdecodeError = e.what();
        }
    }
    return &Fpatterns;
}

void TqzPatternDictionary::DecodePatterns() {
    if (!FsubInputStream) throw TqzJBIG2Error(kSegmentDataTruncated);
    // The count and the collective width come from the file: checked in 64
    // bits before anything is sized by them.
    const int64_t count = int64_t{FgrayMax} + 1;
    if (FhdpWidth <= 0 || FhdpHeight <= 0) throw TqzJBIG2Error("JBIG2 pattern dictionary has empty patterns");
    if (count > kMaxHalftonePatterns) throw TqzJBIG2Error("JBIG2 pattern dictionary has too many patterns");
    const int64_t width = count * FhdpWidth;
    if (width > kMaxBitmapDimension || width * FhdpHeight > kMaxBitmapPixels) throw TqzJBIG2Error(kBitmapTooLarge);

    if (!FisMMREncoded) {
        // A1 sits one pattern to the left: the same pixel of the pattern
        // before predicts this one.
        FgbAtX = {static_cast<int16_t>(-FhdpWidth)};
        FgbAtY = {0};
        if (FhdTemplate == 0) {
            FgbAtX.insert(FgbAtX.end(), {-3, 2, -2});
            FgbAtY.insert(FgbAtY.end(), {-1, -2, -2});
        }
    }
    FsubInputStream->Seek(FdataOffset);
    TqzGenericRegion region(FsubInputStream);
    region.SetParameters(FisMMREncoded, FdataOffset, FdataLength, FhdpHeight, static_cast<int32_t>(width),
                         FhdTemplate, false, false, FgbAtX, FgbAtY);
    const TqzBitmapPtr collective = region.GetRegionBitmap();
    Fpatterns.reserve(static_cast<size_t>(count));
    for (int32_t g = 0; g < static_cast<int32_t>(count); ++g) {
        const TqzBitmapRect r{g * FhdpWidth, 0, (g + 1) * FhdpWidth, FhdpHeight};
        Fpatterns.push_back(collective->GetRegionOfInterest(r));
    }
}

}  // namespace qz::filters::jbig2
