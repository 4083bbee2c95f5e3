#include "core/FilterStream.h"

#include "core/PDBaseExceptions.h"

namespace qz::core {

int32_t TqzDecode::Read(uint8_t* buffer, uint32_t count) {
    uint32_t n = 0;
    while (n < count) {
        const int c = GetChar();
        if (c < 0) break;
        buffer[n++] = static_cast<uint8_t>(c);
    }
    return static_cast<int32_t>(n);
}

int32_t TqzFilterStream::Write(const uint8_t*, uint32_t) {
    // No filter stream writes raw bytes; encoding goes through Write(out, count).
    throw streams::ExInvalidStream();
}

}  // namespace qz::core
