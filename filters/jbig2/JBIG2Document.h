#pragma once
// The JBIG2 layer above the segments: a document (the segment headers of
// one data stream, embedded organisation as PDF stores it), its pages and
// globals, the composition of a page bitmap from its regions, and the
// decoding job that puts a page stream and a globals stream together.
//
// A document owns every segment header it parsed; its pages and its
// globals table only index them. A document made over a globals stream
// lends its globals table to the page documents that use it, and the job
// keeps that globals document alive as long as itself.

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "core/Limits.h"
#include "filters/jbig2/IOStream.h"
#include "filters/jbig2/ImageBitmap.h"
#include "filters/jbig2/SegmentHeader.h"

namespace qz::filters::jbig2 {

class TqzJBIG2Document;

// The global segments (page association 0) by segment number.
class TqzJBIG2Globals {
public:
    TqzSegmentHeader* GetSegment(uint32_t ASgmentNr) const;
    // Adds or replaces the entry.
    void AddSegment(uint32_t ASegmentNr, TqzSegmentHeader* Asegment) { FglobalSegments[ASegmentNr] = Asegment; }
    size_t Count() const { return FglobalSegments.size(); }

private:
    std::map<uint32_t, TqzSegmentHeader*> FglobalSegments;
};

// The segments of one page and the composition of its bitmap.
class TqzJBIG2Page {
public:
    TqzJBIG2Page(TqzJBIG2Document* ADocument, uint32_t APageNumber);

    // Raises a plain exception for a second segment of the same number.
    void Add(TqzSegmentHeader* AsegmentHeader);
    // The page's own segment of that number, else the global one, else none.
    TqzSegmentHeader* GetSegment(uint32_t Key) const;
    // Composes the page on the first call.
    TqzBitmapPtr GetBitmap();
    uint32_t GetWidth();
    uint32_t GetHeight();
    // The page's (first) page information segment, or none.
    TqzSegmentHeader* GetPageInformationSegment() const;
    TqzPageInformation* GetPageInformation() const;
    int32_t CountRegions() const;
    uint32_t GetPageNumber() const { return FPageNumber; }
    // The part of the page composed so far under `ARegion` (pixels off the
    // page read as 0); none before composition has begun.
    TqzBitmapPtr GetPageReference(const TqzRegionSegmentInformation& ARegion) const;

    static FCombinationOPerator UpdateCombinationOperator(const TqzPageInformation& APageInfo,
                                                          FCombinationOPerator ARegionOperator);
    static bool IsImmediateRegion(uint32_t ASegmentType);

private:
    void ComposePageBitmap();
    void CreateNormalPage(const TqzPageInformation& APageInfo);
    void CreateStripedPage(const TqzPageInformation& APageInfo);
    void NewPageBitmap(const TqzPageInformation& APageInfo, int64_t AHeight);
    TqzIRegion& RegionOf(TqzSegmentHeader& AHeader) const;
    // Decodes the region and combines it into the page.
    void PlaceRegion(TqzSegmentHeader& AHeader, const TqzPageInformation& APageInfo);

    std::map<uint32_t, TqzSegmentHeader*> FSegments;
    TqzJBIG2Document* FDocument;
    uint32_t FPageNumber;
    TqzBitmapPtr FPageBitmap;
    int64_t FFinalHieght = 0;
    uint32_t FFinalWidth = 0;
};

class TqzJBIG2Document final : public TqzSegmentLookup {
public:
    // Parses every segment header of `AData` (embedded organisation). The
    // globals, when given, stay their owner's and must outlive the document.
    explicit TqzJBIG2Document(TqzJBIG2Data AData, TqzJBIG2Globals* AGlobals = nullptr);
    ~TqzJBIG2Document() override;

    // The page of that number, or none.
    TqzJBIG2Page* GetPage(uint32_t APageNumber) const;
    // The page numbers in order of first appearance.
    const std::vector<uint32_t>& GetPageNumbers() const { return FPageOrder; }
    TqzSegmentHeader* GetGlobalSegment(uint32_t ASegmentNr) const;
    uint32_t GetAmountOfPages() const { return static_cast<uint32_t>(FPages.size()); }
    TqzJBIG2Globals* GetGlobalSegments() const { return FglobalSegments; }
    size_t GetSegmentCount() const { return FHeaders.size(); }

    // Pages whose bitmap would take more bytes are refused (ExDecodeLimit)
    // before anything is allocated.
    void SetMaxPageBytes(int64_t AValue) { FMaxPageBytes = AValue; }
    int64_t GetMaxPageBytes() const { return FMaxPageBytes; }

    TqzSegmentHeader* ResolveSegment(uint32_t APageAssociation, uint32_t ASegmentNr) override;
    TqzPageInformation* GetPageInformation(uint32_t APageAssociation) override;
    TqzBitmapPtr GetPageReference(uint32_t APageAssociation, const TqzRegionSegmentInformation& ARegion) override;

private:
    void StreamParse();

    TqzJBIG2Data FData;
    TqzIOStream FIOStream;
    std::vector<std::unique_ptr<TqzSegmentHeader>> FHeaders;
    std::map<uint32_t, std::unique_ptr<TqzJBIG2Page>> FPages;
    std::vector<uint32_t> FPageOrder;
    std::unique_ptr<TqzJBIG2Globals> FOwnGlobals;
    TqzJBIG2Globals* FglobalSegments = nullptr;
    int64_t FMaxPageBytes = core::kMaxDecodedStreamSize;
};

// One decoding job: a page stream, optional globals, and the page it
// delivers (1, else the first page of the data).
class TqzJBIG2 {
public:
    TqzJBIG2();
    ~TqzJBIG2();

    void Load(TqzJBIG2Data AStream);
    // Made on first need, over the loaded data and the globals.
    TqzJBIG2Document& GetDocument();
    // Parses a globals stream; the job keeps its document.
    TqzJBIG2Globals* ProcessGlobals(TqzJBIG2Data AGlobalsInputStream);
    // Drops the current document, so the next one uses these globals.
    void SetGlobals(TqzJBIG2Globals* AGlobals);
    // The composed bitmap of the selected page; a plain exception when the
    // data holds no page.
    TqzBitmapPtr GetDecodedData();
    uint32_t GetPageCount() { return GetDocument().GetAmountOfPages(); }
    int32_t GetImageIndex() const { return FImageindex; }
    void SetImageIndex(int32_t AValue) { FImageindex = AValue; }
    void SetMaxPageBytes(int64_t AValue);

private:
    TqzJBIG2Page* SelectedPage();

    std::unique_ptr<TqzJBIG2Document> FDocument;
    std::unique_ptr<TqzJBIG2Document> FGlobalsDocument;
    TqzJBIG2Globals* FGlobals = nullptr;
    TqzJBIG2Data FInputStream;
    int32_t FImageindex = 1;
    int64_t FMaxPageBytes = core::kMaxDecodedStreamSize;
};

inline constexpr const char* kNoPage = "JBIG2 data holds no page";
inline constexpr const char* kNoPageInformation = "JBIG2 page has no page information";

}  // namespace qz::filters::jbig2
