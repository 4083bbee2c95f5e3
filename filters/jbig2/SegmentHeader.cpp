#include "filters/jbig2/SegmentHeader.h"

#include <exception>

#include "filters/jbig2/GenericRegion.h"
#include "filters/jbig2/HalftoneRegion.h"
#include "filters/jbig2/Limits.h"
#include "filters/jbig2/PatternDictionary.h"
#include "filters/jbig2/RefinementRegion.h"
#include "filters/jbig2/SymbolDictionary.h"
#include "filters/jbig2/TextRegion.h"

namespace qz::filters::jbig2 {

std::unique_ptr<TqzISegmentData> MakeSegmentData(uint32_t ASegmentType) {
    switch (ASegmentType) {
        case 0: return std::make_unique<TqzSymbolDictionary>();
        case 4:
        case 6:
        case 7: return std::make_unique<TqzTextRegion>();
        case 16: return std::make_unique<TqzPatternDictionary>();
        case 20:
        case 22:
        case 23: return std::make_unique<TqzHalftoneRegion>();
        case 36:
        case 38:
        case 39: return std::make_unique<TqzGenericRegion>();
        case 40:
        case 42:
        case 43: return std::make_unique<TqzGenericRefinementRegion>();
        case 48: return std::make_unique<TqzPageInformation>();
        case 50: return std::make_unique<TqzEndOfStripe>();
        case 52: return std::make_unique<TqzProfiles>();
        case 53: return std::make_unique<TqzTable>();
        default: return nullptr;
    }
}

TqzSegmentHeader::TqzSegmentHeader(TqzSegmentLookup* ADocument, TqzIOStream& AIOStream, int64_t AOffset,
                                   int32_t AOrganisationType)
    : FDocument(ADocument), FData(AIOStream.GetData()), FReaderOffset(AIOStream.GetOffset()) {
    try {
        ParseFile(AIOStream, AOffset, AOrganisationType);
    } catch (const std::exception&) {
        throw TqzJBIG2Error(kParseError);
    }
}

void TqzSegmentHeader::ParseFile(TqzIOStream& s, int64_t AOffset, int32_t AOrganisationType) {
    s.Seek(AOffset);
    // Reads past the end give -1; such a value is kept as all ones, the way
    // a 32-bit field holds it.
    FSegmentNr = static_cast<uint32_t>(s.ReadBits(32));
    const int64_t flags = s.ReadBits(8);
    const auto f = static_cast<uint32_t>(flags);
    FRetainFlag = ((f >> 7) & 1) != 0;
    FPageAssocoationFieldSize = ((f >> 6) & 1) != 0;
    FSEgmentType = f & 0x3F;

    int64_t count = s.ReadBits(3);
    if (count < 0) return;  // the data ended inside the header
    if (count <= 4) {
        s.ReadBits(5);
    } else {
        count = s.ReadBits(29);
        if (count < 0) return;
        // Every referred-to number takes at least a byte after the
        // retention bits: a count the rest of the data cannot hold is false.
        const int64_t retentionBytes = (count + 1 + 7) / 8;
        if (count > kMaxReferredToSegments || count + retentionBytes > s.Available()) {
            throw TqzJBIG2Error(kParseError);
        }
        for (int64_t i = 0; i < retentionBytes; ++i) s.ReadBits(8);
    }
    // Compared unsigned: segment numbers of 2^31 and more take 4 bytes.
    const int32_t numberBits = FSegmentNr <= 256 ? 8 : (FSegmentNr <= 65536 ? 16 : 32);
    FrtSegmentNumbers.reserve(static_cast<size_t>(count));
    for (int64_t i = 0; i < count; ++i) FrtSegmentNumbers.push_back(static_cast<uint32_t>(s.ReadBits(numberBits)));

    FPageAssocoation = static_cast<uint32_t>(s.ReadBits(FPageAssocoationFieldSize ? 32 : 8));

    FrtSegments.assign(FrtSegmentNumbers.size(), nullptr);
    if (FDocument != nullptr) {
        for (size_t i = 0; i < FrtSegmentNumbers.size(); ++i) {
            FrtSegments[i] = FDocument->ResolveSegment(FPageAssocoation, FrtSegmentNumbers[i]);
        }
    }

    const int64_t length = s.ReadBits(32);
    // A length that cannot be read is 0, so that the scan stops at the end.
    FsegmentDataLength = length < 0 ? 0 : length;
    if (AOrganisationType == kSequential) FsegmentDataStartOffset = s.GetStreamPos();
    FsegmentHeaderLength = s.GetStreamPos() - AOffset;
}

TqzIOStreamPtr TqzSegmentHeader::GetDataInputStream() const {
    return std::make_shared<TqzIOStream>(FData, FReaderOffset + FsegmentDataStartOffset, FsegmentDataLength);
}

TqzISegmentData* TqzSegmentHeader::GetSegmentData() {
    if (!FsegmentData) {
        auto data = MakeSegmentData(FSEgmentType);
        if (!data) return nullptr;
        data->Init(this, GetDataInputStream());
        FsegmentData = std::move(data);
    }
    return FsegmentData.get();
}

TqzPageInformation* TqzSegmentHeader::GetPageInformation() const {
    return FDocument != nullptr ? FDocument->GetPageInformation(FPageAssocoation) : nullptr;
}

}  // namespace qz::filters::jbig2
