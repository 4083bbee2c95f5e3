#pragma once
// What the fuzz targets share: the filters registered once, fuzz data as a
// file in memory, and stream data read with a ceiling. Each target is one
// entry point, LLVMFuzzerTestOneInput, built either with libFuzzer (clang,
// the fuzz preset) or with the replay driver that ctest runs.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "core/Stream.h"
#include "filters/Registration.h"
#include "platform/Streams.h"

namespace qz::fuzz {

// Data read from one stream at most: enough to run a decoder through every
// state, little enough that thousands of inputs a second stay possible.
inline constexpr uint32_t kMaxReadPerStream = 1u << 20;

inline void Setup() {
    static const bool done = [] {
        filters::RegisterFilters();
        return true;
    }();
    (void)done;
}

inline std::shared_ptr<platform::Stream> MemoryFile(const uint8_t* data, size_t size) {
    return std::make_shared<platform::MemoryStream>(std::string(reinterpret_cast<const char*>(data), size));
}

// Reads `stream` from its start, in blocks, up to `limit` bytes; returns what
// was read. Errors the stream raises are the caller's to catch.
inline uint64_t ReadBounded(core::TqzStream& stream, uint32_t limit = kMaxReadPerStream) {
    stream.Reset();
    uint8_t block[4096];
    uint64_t total = 0;
    while (total < limit) {
        const int32_t got = stream.Read(block, sizeof block);
        if (got <= 0) break;
        total += static_cast<uint64_t>(got);
    }
    return total;
}

// Everything `stream` yields from where it stands, read in blocks.
inline std::string ReadAll(core::TqzStream& stream) {
    std::string out;
    uint8_t block[1000];
    for (int32_t got; (got = stream.Read(block, sizeof block)) > 0;)
        out.append(reinterpret_cast<char*>(block), static_cast<size_t>(got));
    return out;
}

}  // namespace qz::fuzz
