#include "filters/jbig2/SegmentData.h"

#include "filters/jbig2/Limits.h"
#include "filters/jbig2/SegmentHeader.h"

namespace qz::filters::jbig2 {

namespace {

// A read of `bits` bits that the data must hold whole.
uint32_t Need(TqzIOStream& s, int32_t bits) {
    if (s.Available() * 8 - s.GetBitOffset() < bits) throw TqzJBIG2Error(kSegmentDataTruncated);
    return static_cast<uint32_t>(s.ReadBits(bits));
}

}  // namespace

void ReadAtPixels(TqzIOStream& As, int32_t Apairs, std::vector<int16_t>& AatX, std::vector<int16_t>& AatY) {
    AatX.clear();
    AatY.clear();
    for (int32_t i = 0; i < Apairs; ++i) {
        const int64_t x = As.ReadBits(8);
        const int64_t y = As.ReadBits(8);
        if (x < 0 || y < 0) throw TqzJBIG2Error(kSegmentDataTruncated);
        AatX.push_back(static_cast<int16_t>(static_cast<int8_t>(x)));
        AatY.push_back(static_cast<int16_t>(static_cast<int8_t>(y)));
    }
}

void TqzRegionSegmentInformation::ParseHeader() {
    if (!FsubInputStream) throw TqzJBIG2Error(kSegmentDataTruncated);
    TqzIOStream& s = *FsubInputStream;
    FbitmapWidth = Need(s, 32);
    FbitmapHeight = Need(s, 32);
    FxLocation = Need(s, 32);
    FyLocation = Need(s, 32);
    Need(s, 5);
    FCombOPerator = TranslateOperatorCodeToEnum(static_cast<int32_t>(Need(s, 3)));
}

void TqzRegionSegmentInformation::CheckSize(const TqzSegmentHeader* AHeader) const {
    const int64_t w = FbitmapWidth;
    const int64_t h = FbitmapHeight;
    if (w > kMaxBitmapDimension || h > kMaxBitmapDimension || w * h > kMaxBitmapPixels) {
        throw TqzJBIG2Error(kBitmapTooLarge);
    }
    const TqzPageInformation* page = AHeader != nullptr ? AHeader->GetPageInformation() : nullptr;
    if (page == nullptr) return;
    // A region larger than its page shows nothing the page can hold; its
    // only effect would be to make the decoder work on it.
    if (w > page->GetWidth() ||
        (page->GetHeight() != TqzPageInformation::kUnknownHeight && h > page->GetHeight())) {
        throw TqzJBIG2Error("JBIG2 region is larger than its page");
    }
}

void TqzPageInformation::Init(TqzSegmentHeader* /*AHeader*/, TqzIOStreamPtr Asis) {
    FsubInputStream = std::move(Asis);
    ParseHeader();
}

void TqzPageInformation::ParseHeader() {
    if (!FsubInputStream) throw TqzJBIG2Error(kSegmentDataTruncated);
    TqzIOStream& s = *FsubInputStream;
    FbitmapWidth = Need(s, 32);
    FbitmapHieght = Need(s, 32);
    FresolutionX = Need(s, 32);
    FresolutionY = Need(s, 32);
    Need(s, 1);
    FcombinationOperatorOverrideAllowed = Need(s, 1) != 0;
    FrequiresAuxiliaryBuffer = Need(s, 1) != 0;
    FCombinationOPerator_ = TranslateOperatorCodeToEnum(static_cast<int32_t>(Need(s, 2)));
    FdefaultPixelValue = static_cast<uint16_t>(Need(s, 1));
    FmightContainRefinements = Need(s, 1) != 0;
    FisLossless = Need(s, 1) != 0;
    FisStriped = Need(s, 1) != 0;
    FmaxStripeSize = static_cast<uint16_t>(Need(s, 15));
}

void TqzEndOfStripe::Init(TqzSegmentHeader* /*Asegmenthdr*/, TqzIOStreamPtr Asis) {
    FsubInputStream = std::move(Asis);
    if (!FsubInputStream) throw TqzJBIG2Error(kSegmentDataTruncated);
    FlineNumber = Need(*FsubInputStream, 32);
}

void TqzTable::Init(TqzSegmentHeader* /*Ahdr*/, TqzIOStreamPtr Asis) {
    FsubInputStream = std::move(Asis);
    if (!FsubInputStream) throw TqzJBIG2Error(kSegmentDataTruncated);
    TqzIOStream& s = *FsubInputStream;
    Need(s, 1);
    FhtRS = static_cast<int32_t>(Need(s, 3)) + 1;
    FhtPS = static_cast<int32_t>(Need(s, 3)) + 1;
    FhtOutOfBand = static_cast<int32_t>(Need(s, 1));
    FhtLow = static_cast<int32_t>(Need(s, 32));
    FhtHigh = static_cast<int32_t>(Need(s, 32));
}

}  // namespace qz::filters::jbig2
