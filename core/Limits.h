#pragma once
// Limits that keep hostile files from exhausting the stack, memory or time.
// Each is a ceiling no sound file comes near.

#include <cstddef>
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
// must not exhaust the stack. Kept well below where other readers give up on
// an object (qpdf near 500, mupdf below 400), so that what we write stays
// readable.
inline constexpr int32_t kMaxNestingDepth = 256;

// Decoded bytes of a file's object streams, each stream counted once: the
// larger of this and 64 bytes per byte of the file. Parsed, a byte of object
// text becomes up to some 35 bytes of objects, so a small file stays within
// a few hundred MB however far its object streams decompress; object text
// of sound files compresses a few times, not sixty-four.
inline constexpr int64_t kMinObjectStreamBudget = int64_t{4} << 20;
inline constexpr int64_t kObjectStreamBytesPerFileByte = 64;
// Decoded bytes of all object streams of one file held in the cache at once.
inline constexpr int64_t kObjectStreamCacheBytes = int64_t{64} << 20;

// Objects fetched inside the fetch of another (an indirect /Length, the
// object stream holding an object, that stream's /Length, ...); sound files
// need three levels, hostile chains would otherwise recurse without bound.
inline constexpr int32_t kMaxFetchDepth = 32;
// Object streams kept parsed at once: pages spread over a few object streams
// must not make them decode in turn.
inline constexpr size_t kObjectStreamCacheSize = 8;
// The fewest bytes a cross-reference table line can take ("0 0 n" and a
// separator); a subsection claiming more lines than the rest of the file
// could hold is refused before anything is read.
inline constexpr int64_t kMinXRefLineBytes = 6;
// Widest field of a cross-reference stream entry; real files use at most 4
// (offsets of 4 GiB files), wider fields only serve to stall the reader.
inline constexpr int64_t kMaxXRefFieldWidth = 8;

}  // namespace qz::core
