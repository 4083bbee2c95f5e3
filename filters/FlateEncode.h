#pragma once
// TqzFlateEncode: compresses stream data for writing, through zlib at level 1
// with the zlib header and checksum. The source stream is borrowed (the
// filter stream keeps it alive). Data moves in blocks: nothing is copied
// whole into memory.

#include <cstdint>
#include <string>

#include "core/FilterStream.h"

namespace qz::filters {

// Compresses everything `source` yields from where it stands into `out`;
// returns the number of compressed bytes. zlib's errors raise
// ExCompressionError.
int64_t FlateCompress(core::TqzStream& source, core::TqzStream& out);
// Compresses `size` bytes into `out`; returns the sum of what out's writes
// returned.
int64_t FlateCompress(const uint8_t* data, size_t size, core::TqzStream& out);

class TqzFlateEncode final : public core::TqzEncode {
public:
    explicit TqzFlateEncode(core::TqzStream* stream) : FStream(stream) {}

    // Compresses the source's data from its start (whatever has been read of
    // it) and appends the result to `out`; `count` is not used. Returns the
    // size of out's platform stream afterwards, or the compressed size when
    // out has none.
    int32_t Write(core::TqzStream& out, uint32_t count) override;
    // Compresses the first `count` bytes of `buffer` into the source stream.
    int32_t Write(const std::string& buffer, uint32_t count) override;

private:
    core::TqzStream* FStream;
};

}  // namespace qz::filters
