// The DCT decoder on data of its own: byte 0 gives the ColorTransform
// parameter (-1, 0, 1 or 2), the rest is the JPEG data. Read in odd-sized
// blocks and, for a short prefix, byte by byte, so both read paths run.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "core/MemoryStream.h"
#include "filters/CodecStreams.h"
#include "fuzz/FuzzSupport.h"

namespace {

// Far above what fuzz-sized data decodes to, except for the images whose
// headers claim huge sizes, which the ceiling is there for.
constexpr int64_t kOutputLimit = int64_t{16} << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    qz::fuzz::Setup();
    const int32_t colorTransform = static_cast<int32_t>(data[0] % 4) - 1;
    const std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);
    try {
        qz::filters::TqzDCTStream stream(std::make_shared<qz::core::TqzMemoryStream>(body), colorTransform);
        stream.SetOutputLimit(kOutputLimit);
        stream.Reset();
        for (int i = 0; i < 100 && stream.LookChar() >= 0; ++i) stream.GetChar();
        uint8_t block[4099];
        uint64_t total = 0;
        for (int32_t got; total < kOutputLimit && (got = stream.Read(block, sizeof block)) > 0;)
            total += static_cast<uint64_t>(got);
    } catch (const std::exception&) {
        // Refused data: a clean end.
    }
    return 0;
}
