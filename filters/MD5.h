#pragma once
// MD5 (RFC 1321), for key derivation and file identifiers. The context
// belongs to its caller; nothing is kept between calls.

#include <cstddef>
#include <cstdint>

namespace qz::filters {

struct TqzMD5Context {
    uint32_t state[4];
    uint64_t bitCount;
    uint8_t buffer[64];
};

void MD5Init(TqzMD5Context& context);
void MD5Update(TqzMD5Context& context, const void* data, size_t length);
void MD5Final(TqzMD5Context& context, uint8_t digest[16]);

}  // namespace qz::filters
