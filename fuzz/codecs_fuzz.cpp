// Every codec of the filters on data of its own, the parameters taken from
// the first bytes: byte 0 picks the codec, bytes 1 to 6 give the predictor,
// columns, colours, bits per component and the LZW early change. Two more
// choices check the Flate writer: what it writes, in each of its forms, must
// inflate back to what it was given.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

#include "core/MemoryStream.h"
#include "filters/CodecStreams.h"
#include "filters/FlateEncode.h"
#include "filters/LiteralBlocks.h"
#include "fuzz/FuzzSupport.h"

namespace {

constexpr size_t kHeaderSize = 7;
// The most a decoder is let produce for one input: far above what fuzz-sized
// data decodes to, except for the bombs the ceiling is there for.
constexpr int64_t kOutputLimit = int64_t{16} << 20;

struct Parameters {
    int32_t predictor;
    int32_t columns;
    int32_t colors;
    int32_t bitsPerComponent;
    int32_t earlyChange;
};

Parameters ParametersOf(const uint8_t* header) {
    // The predictors the format knows, and now and then any number at all.
    static constexpr int32_t kPredictors[] = {1, 2, 10, 11, 12, 13, 14, 15};
    const int32_t predictor = header[1] < 240 ? kPredictors[header[1] % 8] : static_cast<int8_t>(header[1]);
    return {predictor, static_cast<int16_t>(header[2] | (header[3] << 8)), static_cast<int8_t>(header[4]),
            static_cast<int8_t>(header[5]), header[6] & 1};
}

std::unique_ptr<qz::filters::TqzCodecStream> MakeDecoder(uint8_t codec, const Parameters& p, qz::core::TqzStreamPtr inner) {
    using namespace qz::filters;
    switch (codec) {
        case 0: return std::make_unique<TqzFlateStream>(inner, p.predictor, p.columns, p.colors, p.bitsPerComponent);
        case 1:
            return std::make_unique<TqzLZWStream>(inner, p.predictor, p.columns, p.colors, p.bitsPerComponent,
                                                  p.earlyChange);
        case 2: return std::make_unique<TqzASCII85Stream>(inner);
        case 3: return std::make_unique<TqzASCIIHexStream>(inner);
        case 4: return std::make_unique<TqzRunLengthStream>(inner);
        case 5: return std::make_unique<TqzJPXStream>(inner);
        case 6: return std::make_unique<TqzCCITTStream>(inner, p.predictor, p.earlyChange != 0, p.colors < 0, p.columns);
        default: return std::make_unique<TqzDCTStream>(inner, p.colors);
    }
}

// What Flate data inflates to through our decoder.
std::string Inflated(const std::string& flate) {
    qz::filters::TqzFlateStream stream(std::make_shared<qz::core::TqzMemoryStream>(flate));
    stream.Reset();
    return qz::fuzz::ReadAll(stream);
}

// What the Flate writer makes of `data` inflates back to `data`.
void CheckDeflateRoundTrip(const std::string& data) {
    qz::filters::TqzDeflatingStream deflater(std::make_shared<qz::core::TqzMemoryStream>(data), true);
    if (Inflated(qz::fuzz::ReadAll(deflater)) != data) std::abort();
}

// Literal blocks of the data cut at the places the header gives inflate back.
void CheckLiteralBlocks(const std::string& data, const uint8_t* header) {
    qz::filters::TqzLiteralBlockWriter writer;
    std::string written("\x78\x01", 2);
    size_t at = 0;
    uint32_t adler = 1;
    for (size_t k = 1; at < data.size(); ++k) {
        const size_t cut = 1 + (size_t{header[k % kHeaderSize]} * 97 + k) % 65535;
        const size_t size = std::min(cut, data.size() - at);
        const auto* bytes = reinterpret_cast<const uint8_t*>(data.data() + at);
        writer.WriteBlock(bytes, static_cast<uint32_t>(size), at + size == data.size(), written);
        uint32_t a = adler & 0xFFFF, b = adler >> 16;
        for (size_t i = 0; i < size; ++i) {
            a = (a + bytes[i]) % 65521;
            b = (b + a) % 65521;
        }
        adler = (b << 16) | a;
        at += size;
    }
    if (data.empty()) writer.Finish(written);
    for (int shift = 24; shift >= 0; shift -= 8) written.push_back(static_cast<char>((adler >> shift) & 0xFF));
    if (Inflated(written) != data) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeaderSize) return 0;
    qz::fuzz::Setup();
    const std::string body(reinterpret_cast<const char*>(data) + kHeaderSize, size - kHeaderSize);
    const uint8_t codec = data[0] % 10;
    if (codec == 8) {
        CheckDeflateRoundTrip(body);
        return 0;
    }
    if (codec == 9) {
        CheckLiteralBlocks(body, data);
        return 0;
    }
    try {
        auto decoder = MakeDecoder(codec, ParametersOf(data), std::make_shared<qz::core::TqzMemoryStream>(body));
        decoder->SetOutputLimit(kOutputLimit);
        qz::fuzz::ReadBounded(*decoder, static_cast<uint32_t>(kOutputLimit));
    } catch (const std::exception&) {
        // Refused data or parameters: a clean end.
    }
    return 0;
}
