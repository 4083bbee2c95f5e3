#include "filters/CodecStreams.h"

#include "filters/ASCII85Codec.h"
#include "filters/ASCIIHexCodec.h"
#include "filters/CCITTDecode.h"
#include "filters/DCTDecode.h"
#include "filters/FlateEncode.h"
#include "filters/JPXDecode.h"
#include "filters/LZWCodec.h"
#include "filters/RunLengthCodec.h"

namespace qz::filters {

TqzFlateStream::TqzFlateStream(core::TqzStreamPtr inner, int32_t predictor, int32_t columns,
                               int32_t colors, int32_t bitsPerComponent)
    : TqzCodecStream(std::move(inner)) {
    FFlate = Install(std::make_unique<TqzFlateDecode>(FStream.get(), predictor, columns, colors,
                                                      bitsPerComponent));
    FEncoder = std::make_unique<TqzFlateEncode>(FStream.get());
}

TqzLZWStream::TqzLZWStream(core::TqzStreamPtr inner, int32_t predictor, int32_t columns,
                           int32_t colors, int32_t bitsPerComponent, int32_t earlyChange)
    : TqzCodecStream(std::move(inner)) {
    Install(std::make_unique<TqzLZWDecode>(FStream.get(), predictor, columns, colors,
                                           bitsPerComponent, earlyChange));
    FEncoder = std::make_unique<TqzLZWEncode>(FStream.get());
}

TqzASCII85Stream::TqzASCII85Stream(core::TqzStreamPtr inner) : TqzCodecStream(std::move(inner)) {
    Install(std::make_unique<TqzASCII85Decode>(FStream.get()));
    FEncoder = std::make_unique<TqzASCII85Encode>(FStream.get());
}

TqzASCIIHexStream::TqzASCIIHexStream(core::TqzStreamPtr inner) : TqzCodecStream(std::move(inner)) {
    Install(std::make_unique<TqzASCIIHexDecode>(FStream.get()));
    FEncoder = std::make_unique<TqzASCIIHexEncode>(FStream.get());
}

TqzRunLengthStream::TqzRunLengthStream(core::TqzStreamPtr inner)
    : TqzCodecStream(std::move(inner)) {
    Install(std::make_unique<TqzRunLengthDecode>(FStream.get()));
    FEncoder = std::make_unique<TqzRunLengthEncode>(FStream.get());
}

TqzJPXStream::TqzJPXStream(core::TqzStreamPtr inner) : TqzCodecStream(std::move(inner)) {
    Install(std::make_unique<TqzJPXDecode>(FStream.get()));
}

TqzCCITTStream::TqzCCITTStream(core::TqzStreamPtr inner, int32_t k, bool endOfLine,
                               bool encodedByteAlign, int32_t columns, int32_t rows,
                               bool endOfBlock, bool blackIs1)
    : TqzCodecStream(std::move(inner)),
      FK(k),
      FEndOfLine(endOfLine),
      FEncodedByteAlign(encodedByteAlign),
      FColumns(columns),
      FRows(rows),
      FEndOfBlock(endOfBlock),
      FBlackIs1(blackIs1) {
    Install(std::make_unique<TqzCCITTDecode>(FStream.get(), k, endOfLine, encodedByteAlign, columns,
                                             rows, endOfBlock, blackIs1));
    FEncoder = std::make_unique<core::TqzEncode>();
}

TqzDCTStream::TqzDCTStream(core::TqzStreamPtr inner, int32_t colorTransform)
    : TqzCodecStream(std::move(inner)), FColorTransform(colorTransform) {
    Install(std::make_unique<TqzDCTDecode>(FStream.get(), colorTransform));
    FEncoder = std::make_unique<core::TqzEncode>();
}

}  // namespace qz::filters
