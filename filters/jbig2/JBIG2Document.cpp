#include "filters/jbig2/JBIG2Document.h"

#include <algorithm>
#include <string>

#include "filters/CodecDecode.h"
#include "filters/jbig2/Limits.h"

namespace qz::filters::jbig2 {

namespace {

constexpr uint32_t kPageInformationType = 48;
constexpr uint32_t kEndOfStripeType = 50;
constexpr uint32_t kEndOfFileType = 51;

bool IsRefinementType(uint32_t ASegmentType) {
    return ASegmentType == 40 || ASegmentType == 42 || ASegmentType == 43;
}

// Whether the segment header at `AOffset` lies whole inside the data. Its
// length follows from its first bytes; a header the data ends inside would
// otherwise be parsed from bits that read as 0 and stand for a segment
// that is not there.
bool HeaderFits(const std::vector<uint8_t>& AData, int64_t AOffset) {
    const auto size = static_cast<int64_t>(AData.size());
    auto at = [&](int64_t i) { return static_cast<uint32_t>(AData[static_cast<size_t>(AOffset + i)]); };
    if (AOffset + 6 > size) return false;
    const uint32_t number = at(0) << 24 | at(1) << 16 | at(2) << 8 | at(3);
    const bool longPageAssociation = (at(4) & 0x40) != 0;
    int64_t count = at(5) >> 5;
    int64_t referredLength = 1;
    if (count > 4) {
        if (AOffset + 9 > size) return false;
        count = static_cast<int64_t>((at(5) & 0x1F) << 24 | at(6) << 16 | at(7) << 8 | at(8));
        referredLength = 4 + (count + 8) / 8;
    }
    const int64_t numberBytes = number <= 256 ? 1 : (number <= 65536 ? 2 : 4);
    const int64_t length = 5 + referredLength + count * numberBytes + (longPageAssociation ? 4 : 1) + 4;
    return length <= size - AOffset;
}

}  // namespace

// ---- globals ----

TqzSegmentHeader* TqzJBIG2Globals::GetSegment(uint32_t ASgmentNr) const {
    const auto it = FglobalSegments.find(ASgmentNr);
    return it == FglobalSegments.end() ? nullptr : it->second;
}

// ---- page ----

TqzJBIG2Page::TqzJBIG2Page(TqzJBIG2Document* ADocument, uint32_t APageNumber)
    : FDocument(ADocument), FPageNumber(APageNumber) {}

void TqzJBIG2Page::Add(TqzSegmentHeader* AsegmentHeader) {
    const uint32_t number = AsegmentHeader->GetSegmentNumber();
    if (!FSegments.emplace(number, AsegmentHeader).second) {
        throw TqzJBIG2Error("JBIG2 page holds two segments numbered " + std::to_string(number));
    }
}

TqzSegmentHeader* TqzJBIG2Page::GetSegment(uint32_t Key) const {
    const auto it = FSegments.find(Key);
    if (it != FSegments.end()) return it->second;
    return FDocument != nullptr ? FDocument->GetGlobalSegment(Key) : nullptr;
}

bool TqzJBIG2Page::IsImmediateRegion(uint32_t ASegmentType) {
    switch (ASegmentType) {
        case 6:
        case 7:
        case 22:
        case 23:
        case 38:
        case 39:
        case 42:
        case 43: return true;
        default: return false;
    }
}

int32_t TqzJBIG2Page::CountRegions() const {
    int32_t count = 0;
    for (const auto& [number, header] : FSegments) {
        if (IsImmediateRegion(header->GetSegmentType())) ++count;
    }
    return count;
}

TqzSegmentHeader* TqzJBIG2Page::GetPageInformationSegment() const {
    for (const auto& [number, header] : FSegments) {
        if (header->GetSegmentType() == kPageInformationType) return header;
    }
    return nullptr;
}

TqzPageInformation* TqzJBIG2Page::GetPageInformation() const {
    TqzSegmentHeader* header = GetPageInformationSegment();
    return header != nullptr ? dynamic_cast<TqzPageInformation*>(header->GetSegmentData()) : nullptr;
}

FCombinationOPerator TqzJBIG2Page::UpdateCombinationOperator(const TqzPageInformation& APageInfo,
                                                             FCombinationOPerator ARegionOperator) {
    return APageInfo.IsCombinationOperatorOverrideAllowed() ? ARegionOperator : APageInfo.GetCombinationOperator();
}

TqzBitmapPtr TqzJBIG2Page::GetBitmap() {
    if (!FPageBitmap) ComposePageBitmap();
    return FPageBitmap;
}

uint32_t TqzJBIG2Page::GetWidth() {
    if (FFinalWidth == 0) {
        const TqzPageInformation* info = GetPageInformation();
        if (info != nullptr) FFinalWidth = info->GetWidth();
    }
    return FFinalWidth;
}

uint32_t TqzJBIG2Page::GetHeight() {
    if (FFinalHieght > 0) return static_cast<uint32_t>(FFinalHieght);
    const TqzPageInformation* info = GetPageInformation();
    if (info == nullptr) return 0;
    if (info->GetHeight() != TqzPageInformation::kUnknownHeight) return info->GetHeight();
    GetBitmap();
    return static_cast<uint32_t>(FFinalHieght);
}

TqzIRegion& TqzJBIG2Page::RegionOf(TqzSegmentHeader& AHeader) const {
    auto* region = dynamic_cast<TqzIRegion*>(AHeader.GetSegmentData());
    // A region type whose decoder this build lacks: leaving it out would
    // give a page that silently misses content.
    if (region == nullptr) {
        throw TqzJBIG2Error("JBIG2 region segment of type " + std::to_string(AHeader.GetSegmentType()) +
                            " cannot be decoded");
    }
    return *region;
}

void TqzJBIG2Page::ComposePageBitmap() {
    if (FPageNumber == 0) return;
    const TqzPageInformation* info = GetPageInformation();
    if (info == nullptr) throw TqzJBIG2Error(kNoPageInformation);
    // An unknown height is taken from the end-of-stripe segments, whether
    // or not the page says it is striped: no bitmap of 2^32 rows is made.
    if (info->GetHeight() == TqzPageInformation::kUnknownHeight) {
        CreateStripedPage(*info);
    } else {
        CreateNormalPage(*info);
    }
}

void TqzJBIG2Page::NewPageBitmap(const TqzPageInformation& APageInfo, int64_t AHeight) {
    const int64_t stride = (int64_t{APageInfo.GetWidth()} + 7) / 8;
    if (AHeight > 0 && stride > FDocument->GetMaxPageBytes() / AHeight) throw ExDecodeLimit();
    auto bitmap = std::make_shared<TqzImageBitmap>(APageInfo.GetWidth(), AHeight);
    if (APageInfo.GetDefaultPixelValue() != 0) bitmap->SetByteArray(0xFF);
    FFinalHieght = AHeight;
    FPageBitmap = std::move(bitmap);
}

void TqzJBIG2Page::CreateNormalPage(const TqzPageInformation& APageInfo) {
    std::vector<TqzSegmentHeader*> regions;
    for (const auto& [number, header] : FSegments) {
        if (IsImmediateRegion(header->GetSegmentType())) regions.push_back(header);
    }
    const int64_t stride = (int64_t{APageInfo.GetWidth()} + 7) / 8;
    const int64_t height = APageInfo.GetHeight();
    if (height > 0 && stride > FDocument->GetMaxPageBytes() / height) throw ExDecodeLimit();

    // One region covering the page exactly, on a white page, is the page:
    // its bitmap is taken as it is, without a copy. A refinement of the
    // page itself needs the page to refine, so it is composed normally.
    if (regions.size() == 1 && APageInfo.GetDefaultPixelValue() == 0 &&
        !(IsRefinementType(regions[0]->GetSegmentType()) && regions[0]->GetRTSegments().empty())) {
        TqzIRegion& region = RegionOf(*regions[0]);
        const TqzRegionSegmentInformation* ri = region.GetRegionInfo();
        if (ri != nullptr && ri->GetXLocation() == 0 && ri->GetYLocation() == 0 &&
            ri->GetBitmapWidth() == APageInfo.GetWidth() && ri->GetBitmapHeight() == APageInfo.GetHeight()) {
            const FCombinationOPerator op = UpdateCombinationOperator(APageInfo, ri->GetCombinationOperator());
            if (op == FCombinationOPerator::OROP || op == FCombinationOPerator::XOROP ||
                op == FCombinationOPerator::REPLACEOP) {
                TqzBitmapPtr bitmap = region.GetRegionBitmap();
                if (bitmap && int64_t{bitmap->GetWidth()} == ri->GetBitmapWidth() &&
                    int64_t{bitmap->GetHeight()} == ri->GetBitmapHeight()) {
                    FFinalHieght = height;
                    FPageBitmap = std::move(bitmap);
                    return;
                }
            }
        }
    }

    NewPageBitmap(APageInfo, height);
    for (TqzSegmentHeader* header : regions) PlaceRegion(*header, APageInfo);
}

void TqzJBIG2Page::PlaceRegion(TqzSegmentHeader& AHeader, const TqzPageInformation& APageInfo) {
    TqzIRegion& region = RegionOf(AHeader);
    // A region may reach past the page's bottom (a stripe's end can cut the
    // page short), but one larger than any page this stream may output is
    // refused before it is decoded.
    if (const TqzRegionSegmentInformation* info = region.GetRegionInfo()) {
        const int64_t stride = (int64_t{info->GetBitmapWidth()} + 7) / 8;
        const int64_t rows = info->GetBitmapHeight();
        if (rows > 0 && stride > FDocument->GetMaxPageBytes() / rows) throw ExDecodeLimit();
    }
    TqzBitmapPtr bitmap = region.GetRegionBitmap();
    if (!bitmap) return;
    const TqzRegionSegmentInformation* ri = region.GetRegionInfo();
    // The y location is a page row on striped pages too: several regions
    // of one stripe each keep their own place.
    const int64_t x = ri != nullptr ? ri->GetXLocation() : 0;
    const int64_t y = ri != nullptr ? ri->GetYLocation() : 0;
    const FCombinationOPerator op = UpdateCombinationOperator(
        APageInfo, ri != nullptr ? ri->GetCombinationOperator() : FCombinationOPerator::OROP);
    // Blit clips: a region running past the page's edge keeps only what
    // lies on the page.
    FPageBitmap->Blit(*bitmap, x, y, op);
}

void TqzJBIG2Page::CreateStripedPage(const TqzPageInformation& APageInfo) {
    // The page ends with the row the last end-of-stripe names. Regions of a
    // stripe whose end never came (data cut short) still count, down to
    // their last row, so that what was decoded shows.
    std::vector<TqzSegmentHeader*> regions;
    int64_t height = 0;
    int64_t unfinishedBottom = 0;
    for (const auto& [number, header] : FSegments) {
        const uint32_t type = header->GetSegmentType();
        if (type == kEndOfStripeType) {
            const auto* end = dynamic_cast<TqzEndOfStripe*>(header->GetSegmentData());
            if (end != nullptr) height = int64_t{end->GetLineNumber()} + 1;
            unfinishedBottom = 0;
        } else if (IsImmediateRegion(type)) {
            regions.push_back(header);
            const TqzRegionSegmentInformation* ri = RegionOf(*header).GetRegionInfo();
            if (ri != nullptr) {
                unfinishedBottom = std::max(unfinishedBottom, int64_t{ri->GetYLocation()} + ri->GetBitmapHeight());
            }
        }
    }
    height = std::max(height, unfinishedBottom);
    if (height > kMaxBitmapDimension) throw TqzJBIG2Error(kBitmapTooLarge);

    NewPageBitmap(APageInfo, height);
    for (TqzSegmentHeader* header : regions) PlaceRegion(*header, APageInfo);
}

TqzBitmapPtr TqzJBIG2Page::GetPageReference(const TqzRegionSegmentInformation& ARegion) const {
    if (!FPageBitmap) return nullptr;
    auto reference = std::make_shared<TqzImageBitmap>(ARegion.GetBitmapWidth(), ARegion.GetBitmapHeight());
    reference->Blit(*FPageBitmap, -int64_t{ARegion.GetXLocation()}, -int64_t{ARegion.GetYLocation()},
                    FCombinationOPerator::REPLACEOP);
    return reference;
}

// ---- document ----

TqzJBIG2Document::TqzJBIG2Document(TqzJBIG2Data AData, TqzJBIG2Globals* AGlobals)
    : FData(AData ? std::move(AData) : std::make_shared<const std::vector<uint8_t>>()),
      FIOStream(FData, 0, static_cast<int64_t>(FData->size())),
      FglobalSegments(AGlobals) {
    if (FglobalSegments == nullptr) {
        FOwnGlobals = std::make_unique<TqzJBIG2Globals>();
        FglobalSegments = FOwnGlobals.get();
    }
    StreamParse();
}

TqzJBIG2Document::~TqzJBIG2Document() = default;

void TqzJBIG2Document::StreamParse() {
    const auto size = static_cast<int64_t>(FData->size());
    int64_t offset = 0;
    // Every header takes at least 11 bytes, so the scan ends; it stops at
    // the end of the data, at the end-of-file segment, or where the data
    // ends inside a header.
    while (offset + 4 <= size && HeaderFits(*FData, offset)) {
        auto header = std::make_unique<TqzSegmentHeader>(this, FIOStream, offset, TqzSegmentHeader::kSequential);
        TqzSegmentHeader* h = header.get();
        FHeaders.push_back(std::move(header));
        const uint32_t page = h->GetPageAssocoation();
        if (page != 0) {
            auto it = FPages.find(page);
            if (it == FPages.end()) {
                it = FPages.emplace(page, std::make_unique<TqzJBIG2Page>(this, page)).first;
                FPageOrder.push_back(page);
            }
            it->second->Add(h);
        } else {
            FglobalSegments->AddSegment(h->GetSegmentNumber(), h);
        }
        if (h->GetSegmentType() == kEndOfFileType) break;
        offset = h->GetSegmentDataStartOffset() + h->GetSegmentDataLength();
    }
}

TqzJBIG2Page* TqzJBIG2Document::GetPage(uint32_t APageNumber) const {
    const auto it = FPages.find(APageNumber);
    return it == FPages.end() ? nullptr : it->second.get();
}

TqzSegmentHeader* TqzJBIG2Document::GetGlobalSegment(uint32_t ASegmentNr) const {
    return FglobalSegments != nullptr ? FglobalSegments->GetSegment(ASegmentNr) : nullptr;
}

TqzSegmentHeader* TqzJBIG2Document::ResolveSegment(uint32_t APageAssociation, uint32_t ASegmentNr) {
    if (APageAssociation != 0) {
        if (const TqzJBIG2Page* page = GetPage(APageAssociation)) return page->GetSegment(ASegmentNr);
    }
    return GetGlobalSegment(ASegmentNr);
}

TqzPageInformation* TqzJBIG2Document::GetPageInformation(uint32_t APageAssociation) {
    const TqzJBIG2Page* page = APageAssociation != 0 ? GetPage(APageAssociation) : nullptr;
    return page != nullptr ? page->GetPageInformation() : nullptr;
}

TqzBitmapPtr TqzJBIG2Document::GetPageReference(uint32_t APageAssociation, const TqzRegionSegmentInformation& ARegion) {
    const TqzJBIG2Page* page = APageAssociation != 0 ? GetPage(APageAssociation) : nullptr;
    return page != nullptr ? page->GetPageReference(ARegion) : nullptr;
}

// ---- decoding job ----

TqzJBIG2::TqzJBIG2() = default;
TqzJBIG2::~TqzJBIG2() = default;

void TqzJBIG2::Load(TqzJBIG2Data AStream) {
    FInputStream = std::move(AStream);
    FDocument.reset();
}

TqzJBIG2Document& TqzJBIG2::GetDocument() {
    if (!FDocument) {
        FDocument = std::make_unique<TqzJBIG2Document>(FInputStream, FGlobals);
        FDocument->SetMaxPageBytes(FMaxPageBytes);
    }
    return *FDocument;
}

TqzJBIG2Globals* TqzJBIG2::ProcessGlobals(TqzJBIG2Data AGlobalsInputStream) {
    FGlobalsDocument = std::make_unique<TqzJBIG2Document>(std::move(AGlobalsInputStream));
    return FGlobalsDocument->GetGlobalSegments();
}

void TqzJBIG2::SetGlobals(TqzJBIG2Globals* AGlobals) {
    FGlobals = AGlobals;
    FDocument.reset();
}

void TqzJBIG2::SetMaxPageBytes(int64_t AValue) {
    FMaxPageBytes = AValue;
    if (FDocument) FDocument->SetMaxPageBytes(AValue);
}

TqzJBIG2Page* TqzJBIG2::SelectedPage() {
    TqzJBIG2Document& doc = GetDocument();
    if (FImageindex > 0) {
        if (TqzJBIG2Page* page = doc.GetPage(static_cast<uint32_t>(FImageindex))) return page;
    }
    // PDF's streams hold one page, numbered 1; a stream that numbers it
    // otherwise still shows its page.
    if (FImageindex == 1 && !doc.GetPageNumbers().empty()) return doc.GetPage(doc.GetPageNumbers().front());
    return nullptr;
}

TqzBitmapPtr TqzJBIG2::GetDecodedData() {
    TqzJBIG2Page* page = SelectedPage();
    if (page == nullptr) throw TqzJBIG2Error(kNoPage);
    return page->GetBitmap();
}

}  // namespace qz::filters::jbig2
