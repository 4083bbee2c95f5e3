#pragma once
// TqzSegmentHeader: one parsed JBIG2 segment header, the segments it refers
// to and, made on first request, the data object of its segment, which it
// owns. The document that drives the header scan owns the headers and
// resolves referred-to segment numbers through TqzSegmentLookup.

#include <cstdint>
#include <memory>
#include <vector>

#include "filters/jbig2/IOStream.h"
#include "filters/jbig2/SegmentData.h"

namespace qz::filters::jbig2 {

class TqzSegmentHeader;

// What a header needs of the document it belongs to.
class TqzSegmentLookup {
public:
    virtual ~TqzSegmentLookup() = default;
    // The segment numbered `ASegmentNr` that a header of page
    // `APageAssociation` refers to: the page's own segment of that number,
    // else the global one, else none. Only segments parsed so far count.
    virtual TqzSegmentHeader* ResolveSegment(uint32_t APageAssociation, uint32_t ASegmentNr) = 0;
    // The page information of a page, when the document has read it.
    virtual TqzPageInformation* GetPageInformation(uint32_t /*APageAssociation*/) { return nullptr; }
    // The reference of a refinement region that refers to no segment: the
    // part of the page bitmap composed so far that lies under `ARegion`.
    // None when the page cannot give it.
    virtual TqzBitmapPtr GetPageReference(uint32_t /*APageAssociation*/,
                                          const TqzRegionSegmentInformation& /*ARegion*/) {
        return nullptr;
    }
};

class TqzSegmentHeader {
public:
    // Organisation of the data: segment data after each header, or all
    // headers first.
    static constexpr int32_t kRandom = 0;
    static constexpr int32_t kSequential = 1;

    // Parses the header at `AOffset` of the reader. Any failure raises the
    // plain exception "segment rendring error".
    TqzSegmentHeader(TqzSegmentLookup* ADocument, TqzIOStream& AIOStream, int64_t AOffset,
                     int32_t AOrganisationType);
    // A header with nothing read.
    TqzSegmentHeader() = default;

    uint32_t GetSegmentNumber() const { return FSegmentNr; }
    uint32_t GetSegmentType() const { return FSEgmentType; }
    uint32_t GetPageAssocoation() const { return FPageAssocoation; }
    bool GetRetainFlag() const { return FRetainFlag; }
    int64_t GetSegmentDataLength() const { return FsegmentDataLength; }
    int64_t GetSegmentDataStartOffset() const { return FsegmentDataStartOffset; }
    void SetSegmentDataStartOffset(int64_t AValue) { FsegmentDataStartOffset = AValue; }
    int64_t GetSegmentHeaderLength() const { return FsegmentHeaderLength; }
    // The referred-to segment numbers as stored, and the headers they
    // resolved to (an entry is null when the number named no earlier
    // segment).
    const std::vector<uint32_t>& GetRTSegmentNumbers() const { return FrtSegmentNumbers; }
    const std::vector<TqzSegmentHeader*>& GetRTSegments() const { return FrtSegments; }

    // A new reader over the segment's data.
    TqzIOStreamPtr GetDataInputStream() const;
    // The data object, made and initialised on the first call; none for a
    // segment type without a data class. Errors of the data object's own
    // header parsing pass through.
    TqzISegmentData* GetSegmentData();
    // The page information of this header's page, when the document has it.
    TqzPageInformation* GetPageInformation() const;
    TqzSegmentLookup* GetDocument() const { return FDocument; }

    static constexpr const char* kParseError = "segment rendring error";

private:
    void ParseFile(TqzIOStream& s, int64_t AOffset, int32_t AOrganisationType);

    uint32_t FSegmentNr = 0;
    uint32_t FSEgmentType = 0;
    bool FRetainFlag = false;
    uint32_t FPageAssocoation = 0;
    bool FPageAssocoationFieldSize = false;
    std::vector<uint32_t> FrtSegmentNumbers;
    std::vector<TqzSegmentHeader*> FrtSegments;
    int64_t FsegmentHeaderLength = 0;
    int64_t FsegmentDataLength = 0;
    int64_t FsegmentDataStartOffset = 0;
    std::unique_ptr<TqzISegmentData> FsegmentData;
    TqzSegmentLookup* FDocument = nullptr;
    TqzJBIG2Data FData;
    int64_t FReaderOffset = 0;  // where the parsing reader's window starts in the data
};

// A new data object for a segment type, or none (the type table).
std::unique_ptr<TqzISegmentData> MakeSegmentData(uint32_t ASegmentType);

}  // namespace qz::filters::jbig2
