#pragma once
// What the region and dictionary tests share: the segments of one embedded
// stream resolved by number (the page layer's part), and our bitmaps in the
// test encoder's form.

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "filters/jbig2/IOStream.h"
#include "filters/jbig2/ImageBitmap.h"
#include "filters/jbig2/SegmentHeader.h"
#include "filters/jbig2/SymbolDictionary.h"
#include "filters/tests/JBIG2TestEncoder.h"
#include "testing/Jbig2Bitmap.h"

namespace qz::filters::jbig2::test {

class Segments : public TqzSegmentLookup {
public:
    explicit Segments(const std::string& stream) : reader_(test::Data(stream), 0, static_cast<int64_t>(stream.size())) {
        int64_t offset = 0;
        while (offset + 4 < static_cast<int64_t>(stream.size())) {
            auto h = std::make_unique<TqzSegmentHeader>(this, reader_, offset, TqzSegmentHeader::kSequential);
            const int64_t next = h->GetSegmentDataStartOffset() + h->GetSegmentDataLength();
            if (next <= offset) break;
            offset = next;
            byNumber_[h->GetSegmentNumber()] = h.get();
            headers_.push_back(std::move(h));
        }
    }
    TqzSegmentHeader* ResolveSegment(uint32_t, uint32_t n) override {
        auto it = byNumber_.find(n);
        return it == byNumber_.end() ? nullptr : it->second;
    }
    // Regions are bounded by the page, as in a real document.
    TqzPageInformation* GetPageInformation(uint32_t) override {
        for (auto& h : headers_) {
            if (h->GetSegmentType() == 48) return dynamic_cast<TqzPageInformation*>(h->GetSegmentData());
        }
        return nullptr;
    }
    // The page so far, when an immediate generic region covering it is there
    // (enough for refinements of the page: it stands for the page layer).
    TqzBitmapPtr GetPageReference(uint32_t, const TqzRegionSegmentInformation&) override {
        for (auto& h : headers_) {
            if (h->GetSegmentType() == 38) return dynamic_cast<TqzIRegion*>(h->GetSegmentData())->GetRegionBitmap();
        }
        return nullptr;
    }
    TqzSegmentHeader* Header(uint32_t n) { return ResolveSegment(0, n); }
    // The segment's data; throws when there is no such segment.
    TqzISegmentData* Data(uint32_t n) {
        TqzSegmentHeader* h = Header(n);
        if (h == nullptr) throw std::runtime_error("no such segment");
        return h->GetSegmentData();
    }
    // Every region's bitmap, as the page layer would ask for them.
    void DecodeAll() {
        for (auto& h : headers_) {
            if (auto* r = dynamic_cast<TqzIRegion*>(h->GetSegmentData())) r->GetRegionBitmap();
        }
    }
    TqzBitmapPtr Region(uint32_t n) {
        auto* region = dynamic_cast<TqzIRegion*>(Header(n)->GetSegmentData());
        if (region == nullptr) throw std::runtime_error("not a region");
        return region->GetRegionBitmap();
    }
    TqzSymbolDictionary* Dictionary(uint32_t n) {
        auto* d = dynamic_cast<TqzSymbolDictionary*>(Header(n)->GetSegmentData());
        if (d == nullptr) throw std::runtime_error("not a symbol dictionary");
        return d;
    }

private:
    TqzIOStream reader_;
    std::vector<std::unique_ptr<TqzSegmentHeader>> headers_;
    std::map<uint32_t, TqzSegmentHeader*> byNumber_;
};

inline qz::testing::Jbig2Bitmap ToTest(const TqzImageBitmap& b) {
    const auto& bytes = b.GetByteArray();
    return qz::testing::Jbig2Bitmap::FromPackedRows(b.GetWidth(), b.GetHeight(), std::string(bytes.begin(), bytes.end()));
}

}  // namespace qz::filters::jbig2::test
