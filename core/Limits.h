#pragma once
// Limits that keep hostile files from exhausting the stack, memory or time.
// Each is a ceiling no sound file comes near.

#include <cstdint>

namespace qz::core {

// Largest decoded stream any decoder will produce; a few KiB of Flate can
// otherwise inflate to gigabytes.
inline constexpr int64_t kMaxDecodedStreamSize = int64_t{1} << 30;  // 1 GiB
// Largest single allocation a size read from a file may ask for.
inline constexpr int64_t kMaxFileDrivenAllocation = int64_t{1} << 30;
// Files of 4 GiB and more are refused: offsets in the format's tables and in
// stream windows are 32-bit.
inline constexpr int64_t kMaxFileSize = (int64_t{1} << 32) - 1;
// Highest object number accepted from a file or handed out by a writer; far
// above what real files use, and cross-reference storage is sparse anyway.
inline constexpr uint32_t kMaxObjectNumber = (uint32_t{1} << 24) - 1;
// Deepest nesting of arrays and dictionaries inside one another that is read,
// copied or assigned; sound files nest a few levels, and recursive copies
// must not exhaust the stack.
inline constexpr int32_t kMaxNestingDepth = 1000;

}  // namespace qz::core
