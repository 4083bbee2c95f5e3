// The fax decoder on data of its own, the parameters taken from the first
// bytes: byte 0 gives the sign of K and the four flags (EndOfLine,
// EncodedByteAlign, EndOfBlock, BlackIs1), bytes 1 and 2 the columns, byte
// 3 the rows. Read in blocks and again byte by byte after a reset, the
// stream must give the same bytes.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

#include "core/MemoryStream.h"
#include "filters/CodecStreams.h"
#include "fuzz/FuzzSupport.h"

namespace {

constexpr size_t kHeaderSize = 4;
// Far above what fuzz-sized data decodes to, except where one bit makes a
// whole row: there the ceiling is what is tested.
constexpr int64_t kOutputLimit = int64_t{256} << 10;
// Bytes compared one call at a time; the rest is compared in blocks.
constexpr size_t kByteByByte = 16 * 1024;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeaderSize) return 0;
    qz::fuzz::Setup();
    const uint8_t flags = data[0];
    const int32_t k = (flags & 3) == 0 ? 0 : (flags & 3) == 1 ? -1 : (flags & 3);
    // Now and then a width near or past the limit.
    int32_t columns = static_cast<int16_t>(data[1] | (data[2] << 8));
    if (flags & 0x40) columns = (1 << 17) - 64 + (columns & 127);
    const int32_t rows = data[3];
    const std::string body(reinterpret_cast<const char*>(data) + kHeaderSize, size - kHeaderSize);
    auto make = [&] {
        auto s = std::make_unique<qz::filters::TqzCCITTStream>(
            std::make_shared<qz::core::TqzMemoryStream>(body), k, (flags & 4) != 0, (flags & 8) != 0, columns,
            rows, (flags & 16) != 0, (flags & 32) != 0);
        s->SetOutputLimit(kOutputLimit);
        return s;
    };
    std::string blocks;
    try {
        auto s = make();
        s->Reset();
        blocks = qz::fuzz::ReadAll(*s);
    } catch (const std::exception&) {
        return 0;  // refused parameters, or the ceiling
    }
    // Byte by byte, after a second reset, the same bytes and then the end.
    try {
        auto s = make();
        s->Reset();
        s->Reset();
        const size_t single = std::min(blocks.size(), kByteByByte);
        for (size_t i = 0; i < single; ++i) {
            const int c = static_cast<uint8_t>(blocks[i]);
            if (s->LookChar() != c || s->GetChar() != c) std::abort();
        }
        if (blocks.compare(single, std::string::npos, qz::fuzz::ReadAll(*s)) != 0) std::abort();
        if (s->LookChar() != -1 || s->GetChar() != -1) std::abort();
    } catch (const std::exception&) {
        std::abort();  // the first pass read all this without an error
    }
    return 0;
}
