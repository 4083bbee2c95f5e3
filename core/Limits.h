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

}  // namespace qz::core
