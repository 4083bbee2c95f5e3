#pragma once
// Reads the whole decoded data of a stream object into memory, for the
// resources that are only usable whole (content streams, font programs,
// CMaps, glyph maps).

#include <cstdint>
#include <string>

namespace qz::core {
class TqzPDStream;
}

namespace qz::content {

// Appends the decoded bytes of `stream` to `out`, at most `limit` of them.
// Returns false when decoding failed or the data was longer than `limit`;
// what was read before stays in `out`.
bool AppendDecoded(core::TqzPDStream& stream, std::string& out, int64_t limit);

}  // namespace qz::content
