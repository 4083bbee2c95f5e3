#include "filters/RC4.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "core/PDBaseExceptions.h"

namespace qz::filters {

const uint8_t kPasswordPadding[32] = {0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41,
                                      0x64, 0x00, 0x4E, 0x56, 0xFF, 0xFA, 0x01, 0x08,
                                      0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68, 0x3E, 0x80,
                                      0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};

void RC4Init(TqzRC4Data& data, const uint8_t* key, uint32_t keyLength) {
    if (keyLength < 1 || keyLength > 256 || !key) throw core::streams::ExInvalidKeyLen();
    for (uint32_t i = 0; i < 256; ++i) data.state[i] = static_cast<uint8_t>(i);
    uint32_t j = 0;
    for (uint32_t i = 0; i < 256; ++i) {
        j = (j + data.state[i] + key[i % keyLength]) & 0xFF;
        std::swap(data.state[i], data.state[j]);
    }
    std::memcpy(data.initial, data.state, 256);
}

uint32_t RC4Crypt(TqzRC4Data& data, const uint8_t* input, uint32_t length, uint8_t* output) {
    uint8_t* s = data.state;
    uint32_t i = 0, j = 0;
    for (uint32_t n = 0; n < length; ++n) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        output[n] = static_cast<uint8_t>(input[n] ^ s[(s[i] + s[j]) & 0xFF]);
    }
    return length;
}

void PasswordPadding(const std::string& password, uint8_t dest[32]) {
    const size_t n = std::min<size_t>(password.size(), 32);
    std::memcpy(dest, password.data(), n);
    std::memcpy(dest + n, kPasswordPadding, 32 - n);
}

}  // namespace qz::filters
