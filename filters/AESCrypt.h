#pragma once
// AES (FIPS 197) with 128-, 192- and 256-bit keys, CBC over whole blocks, and
// the AESV2 framing of encrypted strings and streams: a 16-byte
// initialisation vector in front, CBC, padding to whole blocks. Contexts
// belong to their caller; nothing is kept between calls.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "filters/MD5.h"

namespace qz::filters {

struct TAESContext {
    enum class Direction : uint8_t { None, Encrypt, Decrypt };
    uint32_t roundKeys[60];     // encryption round keys
    uint32_t decryptKeys[60];   // decryption round keys (set by AES_Init_Decr)
    uint32_t keyBits;
    uint32_t rounds;
    uint8_t chain[16];          // the CBC chaining block
    uint8_t work[16];
    Direction direction;
    bool partialDone;           // kept for the result code; never set here
};

// Result codes of the AES routines.
inline constexpr int kAESOk = 0;
inline constexpr int kAESBadKeySize = -1;
inline constexpr int kAESWrongDirection = -2;
// The length is not a whole number of blocks. Such data is refused whole:
// nothing is read or written.
inline constexpr int kAESBadLength = -3;
inline constexpr int kAESPartialDone = -4;
inline constexpr int kAESNoBuffer = -6;

int AES_Init(const uint8_t* key, uint32_t keyBits, TAESContext& context);
int AES_Init_Encr(const uint8_t* key, uint32_t keyBits, TAESContext& context);
int AES_Init_Decr(const uint8_t* key, uint32_t keyBits, TAESContext& context);
void AES_Encrypt(const uint8_t input[16], uint8_t output[16], const TAESContext& context);
void AES_Decrypt(const uint8_t input[16], uint8_t output[16], const TAESContext& context);
void AES_XorBlock(const uint8_t a[16], const uint8_t b[16], uint8_t output[16]);
int AES_CBC_Init_Encr(const uint8_t* key, uint32_t keyBits, const uint8_t iv[16],
                      TAESContext& context);
int AES_CBC_Init_Decr(const uint8_t* key, uint32_t keyBits, const uint8_t iv[16],
                      TAESContext& context);
// CBC over `length` bytes, which must be a whole number of blocks; the
// chaining block carries over to the next call. `input` and `output` may be
// the same buffer.
int AES_CBC_Encrypt(const uint8_t* input, uint8_t* output, size_t length, TAESContext& context);
int AES_CBC_Decrypt(const uint8_t* input, uint8_t* output, size_t length, TAESContext& context);

// AESV2 with a ready 16-byte key. Encryption: the encryption of a zero block
// as the initialisation vector, then CBC of the data padded with p bytes of
// value p (1 to 16). Decryption: input shorter than 16 bytes gives nothing; a
// last byte of 1 to 16 is the padding removed. Damaged input, whose length
// after the vector is not whole blocks, gives its whole blocks decrypted, all
// of them kept: the piece of a block after them is dropped, and with it the
// padding.
std::string AESV2Encrypt(const uint8_t key[16], std::string_view data);
std::string AESV2Decrypt(const uint8_t key[16], std::string_view data);
// How many bytes at the end of the last decrypted block are padding: its
// last byte when that is 1 to 16, else none.
size_t AESV2PaddingLength(const uint8_t lastBlock[16]);

enum class TqzxAESCipherMode : uint8_t { cmCBC = 0 };

class TqzxAESCrypt {
public:
    // AESV2 with the key MD5(context material, "sAlT"): the caller has fed
    // the object key material into `context` (without the salt: it is added
    // here, once). `keyBits` must be 128.
    static void EncryptBytes(std::string_view input, std::string& output, TqzxAESCipherMode mode,
                             uint32_t keyBits, const TqzMD5Context& context);
    static void DecryptBytes(std::string_view input, std::string& output, TqzxAESCipherMode mode,
                             uint32_t keyBits, const TqzMD5Context& context);
};

}  // namespace qz::filters
