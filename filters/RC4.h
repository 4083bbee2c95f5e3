#pragma once
// RC4 and the password padding of the standard security handler. The RC4
// state belongs to its caller.

#include <cstdint>
#include <string>

namespace qz::filters {

struct TqzRC4Data {
    uint8_t state[256];
    uint8_t initial[256];  // the permutation right after the key schedule
};

// The key schedule; a key of 0 or more than 256 bytes raises ExInvalidKeyLen.
void RC4Init(TqzRC4Data& data, const uint8_t* key, uint32_t keyLength);
// Encrypts (equally decrypts) `length` bytes; `input` and `output` may be the
// same buffer. Each call starts its indices at 0 and continues from the
// permutation left in `data`: one call per RC4Init is plain RC4. Returns
// `length`.
uint32_t RC4Crypt(TqzRC4Data& data, const uint8_t* input, uint32_t length, uint8_t* output);

// The 32-byte padding string of the standard security handler.
extern const uint8_t kPasswordPadding[32];
// The first 32 bytes of the password followed by as much of the padding
// string as makes 32 bytes.
void PasswordPadding(const std::string& password, uint8_t dest[32]);

}  // namespace qz::filters
