#pragma once
// The codec streams: one filter stream per filter of the format, each a
// TqzFilterStream holding its decoder and encoder over an inner stream.
// A codec stream shares ownership of its inner stream (the link below it in
// a chain); its decoder and encoder borrow it. GetSize is 0 for all of them.
//
// CCITT fax and DCT data read decoded, for the page content that draws
// them; the writer still copies their stored bytes (GetType tells it which
// they are), since an image is never decoded just to be written again.

#include <cstdint>

#include "core/FilterStream.h"
#include "filters/CodecDecode.h"
#include "filters/FlateDecode.h"

namespace qz::filters {

// What every codec stream adds to the filter stream: a way to lower the
// ceiling on the bytes its decoder may produce.
class TqzCodecStream : public core::TqzFilterStream {
public:
    void SetOutputLimit(int64_t limit) {
        if (FCodec) FCodec->SetOutputLimit(limit);
    }

protected:
    explicit TqzCodecStream(core::TqzStreamPtr inner) : core::TqzFilterStream(std::move(inner)) {}
    // Installs the decoder (owned by the filter stream) and remembers its type.
    template <typename Decoder>
    Decoder* Install(std::unique_ptr<Decoder> decoder) {
        Decoder* raw = decoder.get();
        FCodec = raw;
        FDecoder = std::move(decoder);
        return raw;
    }

    TqzCodecDecode* FCodec = nullptr;
};

class TqzFlateStream final : public TqzCodecStream {
public:
    explicit TqzFlateStream(core::TqzStreamPtr inner, int32_t predictor = 1, int32_t columns = 1,
                            int32_t colors = 1, int32_t bitsPerComponent = 8);

    // Reads go straight to the inflate, one virtual call per byte.
    int LookChar() override { return FFlate->LookChar(); }
    int GetChar() override { return FFlate->GetChar(); }
    core::TqzStreamType GetType() override { return core::TqzStreamType::stFlate; }

    // Whether a predictor stands behind the inflate (false when the
    // parameters asked for none or were refused).
    bool HasPredictor() const { return FFlate->HasPredictor(); }

private:
    TqzFlateDecode* FFlate;
};

class TqzLZWStream final : public TqzCodecStream {
public:
    explicit TqzLZWStream(core::TqzStreamPtr inner, int32_t predictor = 1, int32_t columns = 1,
                          int32_t colors = 1, int32_t bitsPerComponent = 8,
                          int32_t earlyChange = 1);
    core::TqzStreamType GetType() override { return core::TqzStreamType::stLZW; }
};

class TqzASCII85Stream final : public TqzCodecStream {
public:
    explicit TqzASCII85Stream(core::TqzStreamPtr inner);
    core::TqzStreamType GetType() override { return core::TqzStreamType::stASCII85; }
};

class TqzASCIIHexStream final : public TqzCodecStream {
public:
    explicit TqzASCIIHexStream(core::TqzStreamPtr inner);
    core::TqzStreamType GetType() override { return core::TqzStreamType::stASCIIHex; }
};

class TqzRunLengthStream final : public TqzCodecStream {
public:
    explicit TqzRunLengthStream(core::TqzStreamPtr inner);
    core::TqzStreamType GetType() override { return core::TqzStreamType::stRunLength; }
};

// JPEG 2000 data passed through unchanged; there is no encoder.
class TqzJPXStream final : public TqzCodecStream {
public:
    explicit TqzJPXStream(core::TqzStreamPtr inner);
    core::TqzStreamType GetType() override { return core::TqzStreamType::stJPX; }
};

class TqzCCITTStream final : public TqzCodecStream {
public:
    explicit TqzCCITTStream(core::TqzStreamPtr inner, int32_t k = 0, bool endOfLine = false,
                            bool encodedByteAlign = false, int32_t columns = 1728,
                            int32_t rows = 0, bool endOfBlock = true, bool blackIs1 = false);
    core::TqzStreamType GetType() override { return core::TqzStreamType::stCCITTFax; }

    int32_t K() const { return FK; }
    bool EndOfLine() const { return FEndOfLine; }
    bool EncodedByteAlign() const { return FEncodedByteAlign; }
    int32_t Columns() const { return FColumns; }
    int32_t Rows() const { return FRows; }
    bool EndOfBlock() const { return FEndOfBlock; }
    bool BlackIs1() const { return FBlackIs1; }

private:
    int32_t FK;
    bool FEndOfLine;
    bool FEncodedByteAlign;
    int32_t FColumns;
    int32_t FRows;
    bool FEndOfBlock;
    bool FBlackIs1;
};

class TqzDCTStream final : public TqzCodecStream {
public:
    // -1: the decoder decides from the image data.
    explicit TqzDCTStream(core::TqzStreamPtr inner, int32_t colorTransform = -1);
    core::TqzStreamType GetType() override { return core::TqzStreamType::stDCT; }

    int32_t ColorTransform() const { return FColorTransform; }

private:
    int32_t FColorTransform;
};

}  // namespace qz::filters
