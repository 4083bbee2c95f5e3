#pragma once
// Ceilings for the sizes and counts a JBIG2 data stream may ask for. Each
// lies far above what sound files use; hostile data must not make the
// decoder allocate or loop beyond them.

#include <cstdint>

#include "core/Limits.h"

namespace qz::filters::jbig2 {

// Pixels of one bitmap (page, region, symbol, pattern): a 600 dpi A0 page
// has some 650 million; anything larger is not an image a PDF shows.
inline constexpr int64_t kMaxBitmapPixels = int64_t{1} << 30;
// Bytes of one bitmap, the shared ceiling on allocations a file may ask for.
inline constexpr int64_t kMaxBitmapBytes = core::kMaxFileDrivenAllocation;
// Width or height of a bitmap: kept below 2^31 so that every pixel
// coordinate and every coordinate plus a small offset fits in 32 bits.
inline constexpr int64_t kMaxBitmapDimension = (int64_t{1} << 30) - 1;
// Referred-to segments of one header; real files refer to a handful (a text
// region to its dictionaries and tables).
inline constexpr int64_t kMaxReferredToSegments = 1 << 16;
// Lines of one Huffman table; the standard tables have at most 21 and a
// user table that covers its range with 2^16 lines is already absurd.
inline constexpr int64_t kMaxHuffmanTableLines = 1 << 16;
// Longest Huffman code; the standard tables stop at 9 bits and the symbol-ID
// code lengths at 31, and longer codes would overflow the code arithmetic.
inline constexpr int32_t kMaxHuffmanCodeLength = 32;
// Largest range length of a Huffman line: the value bits must fit the 32-bit
// value arithmetic.
inline constexpr int32_t kMaxHuffmanRangeLength = 32;
// Bytes the MQ decoder may invent after its data ended (markers and the end
// of the window read as 0xFF). Sound data needs at most a few; past this
// the data is exhausted and decoding stops instead of running on forever.
inline constexpr int64_t kMaxArithmeticBytesPastEnd = 256;
// Regions decoded inside the decoding of another (a refinement of a
// refinement of ...); sound files go one or two deep, and a chain of
// thousands must not exhaust the stack.
inline constexpr int32_t kMaxRegionReferenceDepth = 32;
// Bits of one symbol ID read by the integer decoder: the context store has
// 2^n entries.
inline constexpr int32_t kMaxSymbolCodeLength = 24;
// Patterns of one halftone region (and of one pattern dictionary): gray
// values of 16 bits; halftones use 8 bits at most, and each pattern is a
// bitmap of its own.
inline constexpr int64_t kMaxHalftonePatterns = int64_t{1} << 16;
// Cells of one halftone grid: an A0 page at 600 dpi in 3 x 3 cells. Each
// cell costs a pattern placement, and its gray value a pixel in every plane.
inline constexpr int64_t kMaxHalftoneGridCells = int64_t{1} << 26;
// Pattern pixels one halftone region may draw per pixel of its own, after
// clipping: overlapping cells of sound grids cover a pixel a few times,
// while cells piled on one spot would make a small region draw for ever.
inline constexpr int64_t kMaxHalftoneOverdraw = 64;

// Symbols one dictionary or text region may see (imported plus new); a
// real page uses a few thousand, and the symbol-ID contexts grow with it.
inline constexpr int64_t kMaxSymbols = int64_t{1} << 20;
// Symbol instances of one text region: a dense 600 dpi page holds some
// tens of thousands of glyphs.
inline constexpr int64_t kMaxTextInstances = int64_t{1} << 24;
// Dictionaries decoded inside the decoding of another (imports of imports);
// real files go one or two deep and the recursion must not exhaust the stack.
inline constexpr int32_t kMaxDictionaryDepth = 64;
// Text positions (strip, first and current S) beyond this lie far outside
// any region; stopping there keeps their sums clear of 64-bit overflow.
inline constexpr int64_t kMaxTextCoordinate = int64_t{1} << 40;
}  // namespace qz::filters::jbig2
