#include "filters/JBIG2Stream.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "core/PDInteger.h"
#include "core/PDReal.h"

namespace qz::filters {

namespace {

// Encoded data is copied whole before it is parsed; more than the largest
// allocation a file may ask for is not JBIG2 a page could hold.
constexpr int64_t kMaxEncodedBytes = core::kMaxFileDrivenAllocation;

}  // namespace

TqzJBIG2Decoder::TqzJBIG2Decoder(core::TqzStream* AJBIG2Stream, core::TqzStreamPtr AGlobals)
    : FJBIG2Stream(AJBIG2Stream), FGlobalCTX(std::move(AGlobals)) {}

TqzJBIG2Decoder::~TqzJBIG2Decoder() = default;

jbig2::TqzJBIG2Data TqzJBIG2Decoder::CopyStream(core::TqzStream& AStream) const {
    auto data = std::make_shared<std::vector<uint8_t>>();
    AStream.Reset();
    uint8_t block[16 * 1024];
    for (int32_t got; (got = AStream.Read(block, sizeof block)) > 0;) {
        if (static_cast<int64_t>(data->size()) + got > kMaxEncodedBytes) throw jbig2::TqzJBIG2Error(kJBIG2DataTooLarge);
        data->insert(data->end(), block, block + got);
    }
    return data;
}

void TqzJBIG2Decoder::Decode() {
    if (FIsDecoded) return;
    if (FFailure) std::rethrow_exception(FFailure);
    try {
        CheckLimit();
        if (FJBIG2Stream == nullptr) throw core::ExInvalidStream();
        if (!FRawData) FRawData = CopyStream(*FJBIG2Stream);
        auto job = std::make_unique<jbig2::TqzJBIG2>();
        job->SetMaxPageBytes(FOutputLimit - FProduced);
        if (FGlobalCTX) job->SetGlobals(job->ProcessGlobals(CopyStream(*FGlobalCTX)));
        job->Load(FRawData);
        jbig2::TqzBitmapPtr page = job->GetDecodedData();
        if (!page) page = std::make_shared<jbig2::TqzImageBitmap>(0, 0);
        Charge(static_cast<int64_t>(page->GetByteArray().size()));
        Fjbig = std::move(job);
        FPage = std::move(page);
        FIsDecoded = true;
    } catch (...) {
        // Decoding again would fail the same way, at the cost of the whole
        // page each time.
        FFailure = std::current_exception();
        throw;
    }
}

int TqzJBIG2Decoder::LookChar() {
    Decode();
    const auto& bytes = FPage->GetByteArray();
    if (FBytePos >= static_cast<int64_t>(bytes.size())) return -1;
    const uint8_t b = bytes[static_cast<size_t>(FBytePos)];
    return FIsBlackHigh ? b : 255 - b;
}

int TqzJBIG2Decoder::GetChar() {
    const int c = LookChar();
    if (c >= 0) ++FBytePos;
    return c;
}

int32_t TqzJBIG2Decoder::Read(uint8_t* buffer, uint32_t count) {
    Decode();
    const auto& bytes = FPage->GetByteArray();
    const int64_t left = static_cast<int64_t>(bytes.size()) - FBytePos;
    const auto n = static_cast<int32_t>(std::clamp<int64_t>(left, 0, std::min<int64_t>(count, std::numeric_limits<int32_t>::max())));
    const uint8_t* from = bytes.data() + FBytePos;
    if (FIsBlackHigh) {
        std::copy(from, from + n, buffer);
    } else {
        for (int32_t i = 0; i < n; ++i) buffer[i] = static_cast<uint8_t>(~from[i]);
    }
    FBytePos += n;
    return n;
}

int TqzJBIG2Decoder::ReadRawChar() {
    if (!FRawData) {
        if (FJBIG2Stream == nullptr) return -1;
        FRawData = CopyStream(*FJBIG2Stream);
    }
    if (FRawPos >= static_cast<int64_t>(FRawData->size())) return -1;
    return (*FRawData)[static_cast<size_t>(FRawPos++)];
}

void TqzJBIG2Decoder::Reset() {
    FBytePos = 0;
    FRawPos = 0;
}

TqzJBIG2Stream::TqzJBIG2Stream(core::TqzStreamPtr Astream, core::TqzStreamPtr globalCtx, bool isWhiteHigh)
    : TqzCodecStream(std::move(Astream)), FGlobals(std::move(globalCtx)), FIsWhiteHigh(isWhiteHigh) {
    FJBIG2Decoder = Install(std::make_unique<TqzJBIG2Decoder>(FStream.get(), FGlobals));
}

TqzJBIG2Stream::TqzJBIG2Stream(core::TqzStreamPtr Astream) : TqzCodecStream(std::move(Astream)) {}

void TqzJBIG2Stream::SetDecodeArray(const core::TqzPDArray* ADecodeArray) {
    if (ADecodeArray == nullptr || ADecodeArray->GetLength() == 0) return;
    const core::TqzPDBaseObject* first = ADecodeArray->Get(0);
    double value = 0;
    if (first != nullptr && first->IsReal()) value = static_cast<const core::TqzPDReal*>(first)->GetValue();
    if (first != nullptr && first->IsInteger()) {
        value = static_cast<double>(static_cast<const core::TqzPDInteger*>(first)->GetValue());
    }
    if (value == 1.0) FIsWhiteHigh = false;
}

}  // namespace qz::filters
