#pragma once
// The JBIG2 filter: TqzJBIG2Stream is the filter stream the filter manager
// makes for /JBIG2Decode; its decoder TqzJBIG2Decoder yields the bytes of
// page 1's bitmap, inverted (a black JBIG2 pixel is a 0 bit in PDF).
//
// Nothing is read or parsed when the stream is made: the filter chain of
// every stream object is built while a file loads, and a merge copies JBIG2
// data as stored, so a damaged page or globals stream must not fail there.
// The first read copies the encoded data and the globals stream into
// memory, parses both and composes the page; a failure then is raised by
// that read and by every later one. The stream shares ownership of its
// inner stream and of the globals stream; the decoder borrows the inner
// one and owns the decoding job and the decoded page.

#include <cstdint>
#include <exception>
#include <memory>

#include "core/PDArray.h"
#include "filters/CodecStreams.h"
#include "filters/jbig2/JBIG2Document.h"

namespace qz::filters {

class TqzJBIG2Decoder final : public TqzCodecDecode {
public:
    // `AGlobals` may be none.
    TqzJBIG2Decoder(core::TqzStream* AJBIG2Stream, core::TqzStreamPtr AGlobals);
    ~TqzJBIG2Decoder() override;

    int LookChar() override;
    int GetChar() override;
    int64_t GetPosition() override { return FBytePos; }
    // The next byte of the encoded data, -1 at its end.
    int ReadRawChar() override;
    // Back to the first byte; nothing is decoded again.
    void Reset() override;
    int32_t Read(uint8_t* buffer, uint32_t count) override;

    // Decodes now, when not yet done; raises what decoding raised.
    void Decode();
    bool IsDecoded() const { return FIsDecoded; }
    // The composed page (after Decode).
    const jbig2::TqzBitmapPtr& GetPageBitmap() const { return FPage; }

private:
    jbig2::TqzJBIG2Data CopyStream(core::TqzStream& AStream) const;

    core::TqzStream* FJBIG2Stream;
    core::TqzStreamPtr FGlobalCTX;
    bool FIsBlackHigh = false;
    bool FIsDecoded = false;
    std::exception_ptr FFailure;
    std::unique_ptr<jbig2::TqzJBIG2> Fjbig;
    jbig2::TqzBitmapPtr FPage;
    int64_t FBytePos = 0;
    jbig2::TqzJBIG2Data FRawData;
    int64_t FRawPos = 0;
};

class TqzJBIG2Stream final : public TqzCodecStream {
public:
    // The filter manager's constructor: data stream and globals stream (or
    // none).
    TqzJBIG2Stream(core::TqzStreamPtr Astream, core::TqzStreamPtr globalCtx, bool isWhiteHigh = true);
    // Without a decoder: reads as end of data.
    explicit TqzJBIG2Stream(core::TqzStreamPtr Astream);

    core::TqzStreamType GetType() override { return core::TqzStreamType::stJBIG2; }
    int64_t GetSize() override { return 0; }

    // Plain accessors; none of them changes decoding.
    void SetDecodeArray(const core::TqzPDArray* ADecodeArray);
    bool IsWhiteHigh() const { return FIsWhiteHigh; }
    const core::TqzStreamPtr& GetGlobalCtx() const { return FGlobals; }

    TqzJBIG2Decoder* GetJBIG2Decoder() const { return FJBIG2Decoder; }

private:
    core::TqzStreamPtr FGlobals;
    bool FIsWhiteHigh = true;
    TqzJBIG2Decoder* FJBIG2Decoder = nullptr;
};

// Raised when the encoded data or the globals stream passes this size.
inline constexpr const char* kJBIG2DataTooLarge = "JBIG2 data exceeds the size limit";

}  // namespace qz::filters
