#define OPENSSL_SUPPRESS_DEPRECATED  // RC4 is deprecated in OpenSSL; it is only the reference here
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/md5.h>
#include <openssl/rc4.h>

#include <cstring>
#include <vector>

#include "core/PDBaseExceptions.h"
#include "filters/AESCrypt.h"
#include "filters/EncryptionSettings.h"
#include "filters/MD5.h"
#include "filters/RC4.h"
#include "filters/tests/TestSupport.h"

using namespace qz::filters;
using namespace qz::filters::test;

namespace {

const uint8_t* U(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

std::string Md5(const std::string& data, size_t piece) {
    TqzMD5Context c;
    MD5Init(c);
    for (size_t i = 0; i < data.size(); i += piece) MD5Update(c, data.data() + i, std::min(piece, data.size() - i));
    uint8_t d[16];
    MD5Final(c, d);
    return std::string(reinterpret_cast<char*>(d), 16);
}

std::string OpenSslMd5(const std::string& data) {
    unsigned char d[16];
    unsigned int n = 0;
    EVP_Digest(data.data(), data.size(), d, &n, EVP_md5(), nullptr);
    return std::string(reinterpret_cast<char*>(d), n);
}

// AES through OpenSSL without padding: ECB or CBC.
std::string OpenSslAes(const std::string& key, const std::string& iv, const std::string& data, bool encrypt) {
    const EVP_CIPHER* cipher = nullptr;
    const bool cbc = !iv.empty();
    switch (key.size()) {
        case 16: cipher = cbc ? EVP_aes_128_cbc() : EVP_aes_128_ecb(); break;
        case 24: cipher = cbc ? EVP_aes_192_cbc() : EVP_aes_192_ecb(); break;
        default: cipher = cbc ? EVP_aes_256_cbc() : EVP_aes_256_ecb(); break;
    }
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_CipherInit_ex(ctx, cipher, nullptr, U(key), cbc ? U(iv) : nullptr, encrypt ? 1 : 0);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    std::string out(data.size() + 32, '\0');
    int n = 0, m = 0;
    EVP_CipherUpdate(ctx, reinterpret_cast<uint8_t*>(out.data()), &n, U(data), static_cast<int>(data.size()));
    EVP_CipherFinal_ex(ctx, reinterpret_cast<uint8_t*>(out.data()) + n, &m);
    EVP_CIPHER_CTX_free(ctx);
    out.resize(static_cast<size_t>(n + m));
    return out;
}

std::string FromHex(const std::string& h) {
    std::string out;
    for (size_t i = 0; i + 1 < h.size(); i += 2) out.push_back(static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16)));
    return out;
}

}  // namespace

TEST(MD5, AgreesWithOpenSsl) {
    EXPECT_EQ(Hex(Md5("", 1)), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Hex(Md5("abc", 1)), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Hex(Md5("Output1.pdf", 64)), "91c46192d01bc5ef2a13e101cf4ccf84");
    for (size_t n : {1u, 55u, 56u, 63u, 64u, 65u, 119u, 120u, 128u, 1000u, 1u << 20}) {
        const std::string data = RandomBytes(n, static_cast<uint32_t>(n));
        for (size_t piece : {size_t{1}, size_t{7}, size_t{64}, n})
            EXPECT_EQ(Md5(data, piece), OpenSslMd5(data)) << n << " bytes in pieces of " << piece;
    }
}

TEST(RC4, AgreesWithOpenSslAndPublishedVectors) {
    // RFC 6229, 40-bit key 0102030405: the first keystream bytes.
    TqzRC4Data d;
    const uint8_t key[5] = {1, 2, 3, 4, 5};
    RC4Init(d, key, 5);
    uint8_t zeros[16] = {}, out[16];
    EXPECT_EQ(RC4Crypt(d, zeros, 16, out), 16u);
    EXPECT_EQ(Hex(std::string(reinterpret_cast<char*>(out), 16)), "b2396305f03dc027ccc3524a0a1118a8");

    for (uint32_t keyLen : {1u, 5u, 10u, 16u, 256u}) {
        const std::string k = RandomBytes(keyLen, keyLen), data = RandomBytes(5000, keyLen + 1);
        TqzRC4Data ours;
        RC4Init(ours, U(k), keyLen);
        std::string mine(data.size(), '\0');
        RC4Crypt(ours, U(data), static_cast<uint32_t>(data.size()), reinterpret_cast<uint8_t*>(mine.data()));
        RC4_KEY ref;
        RC4_set_key(&ref, static_cast<int>(keyLen), U(k));
        std::string theirs(data.size(), '\0');
        RC4(&ref, data.size(), U(data), reinterpret_cast<uint8_t*>(theirs.data()));
        EXPECT_EQ(mine, theirs) << keyLen;
    }
    TqzRC4Data bad;
    EXPECT_THROW(RC4Init(bad, key, 0), qz::core::streams::ExInvalidKeyLen);
    std::vector<uint8_t> longKey(257, 1);
    try {
        RC4Init(bad, longKey.data(), 257);
        ADD_FAILURE();
    } catch (const qz::core::streams::ExInvalidKeyLen& e) {
        EXPECT_STREQ(e.what(), "RC4: Invalid key length");
    }
}

TEST(PasswordPadding, PadsAndCuts) {
    uint8_t p[32];
    PasswordPadding("", p);
    EXPECT_EQ(0, std::memcmp(p, kPasswordPadding, 32));
    PasswordPadding("user", p);
    EXPECT_EQ(0, std::memcmp(p, "user", 4));
    EXPECT_EQ(0, std::memcmp(p + 4, kPasswordPadding, 28));
    PasswordPadding(std::string(40, 'x'), p);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(p), 32), std::string(32, 'x'));
}

TEST(AES, AgreesWithOpenSslAndFips197) {
    // FIPS 197 appendix C.
    const std::string plain = FromHex("00112233445566778899aabbccddeeff");
    const struct {
        const char* key;
        const char* cipher;
    } fips[] = {
        {"000102030405060708090a0b0c0d0e0f", "69c4e0d86a7b0430d8cdb78070b4c55a"},
        {"000102030405060708090a0b0c0d0e0f1011121314151617", "dda97ca4864cdfe06eaf70a0ec0d7191"},
        {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", "8ea2b7ca516745bfeafc49904b496089"},
    };
    for (const auto& f : fips) {
        const std::string key = FromHex(f.key);
        const uint32_t bits = static_cast<uint32_t>(key.size() * 8);
        TAESContext enc, dec;
        ASSERT_EQ(AES_Init_Encr(U(key), bits, enc), kAESOk);
        ASSERT_EQ(AES_Init_Decr(U(key), bits, dec), kAESOk);
        uint8_t out[16], back[16];
        AES_Encrypt(U(plain), out, enc);
        EXPECT_EQ(Hex(std::string(reinterpret_cast<char*>(out), 16)), f.cipher);
        AES_Decrypt(out, back, dec);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(back), 16), plain);
    }
    // CBC over many blocks, every key size, both directions.
    for (size_t keyLen : {16u, 24u, 32u})
        for (size_t blocks : {1u, 2u, 17u, 1000u}) {
            const std::string key = RandomBytes(keyLen, static_cast<uint32_t>(keyLen)), iv = RandomBytes(16, 5);
            const std::string data = RandomBytes(16 * blocks, static_cast<uint32_t>(blocks));
            const uint32_t bits = static_cast<uint32_t>(keyLen * 8);
            TAESContext c;
            AES_CBC_Init_Encr(U(key), bits, U(iv), c);
            std::string mine(data.size(), '\0');
            // In two calls: the chaining block carries over.
            const size_t half = 16 * (blocks / 2);
            ASSERT_EQ(AES_CBC_Encrypt(U(data), reinterpret_cast<uint8_t*>(mine.data()), half, c), kAESOk);
            ASSERT_EQ(AES_CBC_Encrypt(U(data) + half, reinterpret_cast<uint8_t*>(mine.data()) + half, data.size() - half, c), kAESOk);
            EXPECT_EQ(mine, OpenSslAes(key, iv, data, true));
            TAESContext d;
            AES_CBC_Init_Decr(U(key), bits, U(iv), d);
            std::string back = mine;  // in place
            ASSERT_EQ(AES_CBC_Decrypt(U(back), reinterpret_cast<uint8_t*>(back.data()), back.size(), d), kAESOk);
            EXPECT_EQ(back, data);
        }
}

TEST(AES, MisuseAndPartialBlocksAreRefusedWithoutTouchingMemory) {
    const std::string key(16, 'k'), iv(16, 'i');
    TAESContext c;
    EXPECT_EQ(AES_Init(U(key), 100, c), kAESBadKeySize);
    AES_CBC_Init_Encr(U(key), 128, U(iv), c);
    // Exact-size heap buffers: any read or write past them shows under the sanitizer.
    for (size_t n : {1u, 15u, 17u, 20u, 33u}) {
        std::vector<uint8_t> in(n, 1), out(n, 0);
        EXPECT_EQ(AES_CBC_Encrypt(in.data(), out.data(), n, c), kAESBadLength) << n;
        EXPECT_EQ(AES_CBC_Decrypt(in.data(), out.data(), n, c), kAESWrongDirection);
        TAESContext d;
        AES_CBC_Init_Decr(U(key), 128, U(iv), d);
        EXPECT_EQ(AES_CBC_Decrypt(in.data(), out.data(), n, d), kAESBadLength) << n;
        EXPECT_EQ(out, std::vector<uint8_t>(n, 0));
    }
    EXPECT_EQ(AES_CBC_Encrypt(nullptr, nullptr, 16, c), kAESNoBuffer);
    EXPECT_EQ(AES_CBC_Encrypt(nullptr, nullptr, 0, c), kAESOk);
}

TEST(AESV2, FramingLengthsAndRoundTrips) {
    TqzMD5Context material;
    MD5Init(material);
    MD5Update(material, "\x01\x02\x03\x04\x05\x0C\x00\x00\x00\x00", 10);
    // The key is MD5(material, "sAlT"): the salt is added exactly once.
    TqzMD5Context salted = material;
    MD5Update(salted, "sAlT", 4);
    uint8_t key[16];
    MD5Final(salted, key);
    const std::string keyText(reinterpret_cast<char*>(key), 16);

    std::string firstBlock;
    for (size_t n = 0; n <= 33; ++n) {
        const std::string data = RandomBytes(n, static_cast<uint32_t>(n + 100));
        std::string enc, dec;
        TqzxAESCrypt::EncryptBytes(data, enc, TqzxAESCipherMode::cmCBC, 128, material);
        EXPECT_EQ(enc.size(), 16 + (n / 16 + 1) * 16) << n;
        // The vector is the encryption of a zero block: it depends on the key alone.
        if (n == 0) firstBlock = enc.substr(0, 16);
        EXPECT_EQ(enc.substr(0, 16), firstBlock);
        EXPECT_EQ(firstBlock, OpenSslAes(keyText, "", std::string(16, '\0'), true));
        // The rest is standard CBC with PKCS #5 padding under that vector.
        const std::string pad(16 - n % 16, static_cast<char>(16 - n % 16));
        EXPECT_EQ(enc.substr(16), OpenSslAes(keyText, firstBlock, data + pad, true)) << n;
        TqzxAESCrypt::DecryptBytes(enc, dec, TqzxAESCipherMode::cmCBC, 128, material);
        EXPECT_EQ(dec, data) << n;
    }
    std::string zero, one, seventeen;
    TqzxAESCrypt::EncryptBytes("", zero, TqzxAESCipherMode::cmCBC, 128, material);
    TqzxAESCrypt::EncryptBytes(std::string(16, 'a'), one, TqzxAESCipherMode::cmCBC, 128, material);
    TqzxAESCrypt::EncryptBytes(std::string(17, 'a'), seventeen, TqzxAESCipherMode::cmCBC, 128, material);
    EXPECT_EQ(zero.size(), 32u);
    EXPECT_EQ(one.size(), 48u);
    EXPECT_EQ(seventeen.size(), 48u);
}

TEST(AESV2, DamagedDataKeepsItsWholeBlocks) {
    const uint8_t key[16] = {9};
    const std::string keyText(reinterpret_cast<const char*>(key), 16);
    const std::string plain = "a value that ends inside its third block";  // 40 bytes, 8 of padding
    const std::string enc = AESV2Encrypt(key, plain);
    ASSERT_EQ(enc.size(), 16u + 48u);
    const struct {
        const char* what;
        std::string data;
        std::string expected;
    } cases[] = {
        {"shorter than the vector", enc.substr(0, 5), ""},
        {"the vector alone", enc.substr(0, 16), ""},
        {"a piece of the first block", enc.substr(0, 16 + 9), ""},
        // The end is lost: the last whole block is data, not padding.
        {"one block and a piece", enc.substr(0, 16 + 16 + 4), plain.substr(0, 16)},
        {"two blocks and a piece", enc.substr(0, 16 + 32 + 15), plain.substr(0, 32)},
        // Bytes after the padded block: the padding stays, nothing is lost.
        {"whole data and a piece", enc + "\r\n", plain + std::string(8, '\x08')},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AESV2Decrypt(key, c.data), c.expected) << c.what;
    }
    // A last byte outside 1..16 is not padding: nothing is removed.
    const std::string iv(16, '\0');
    std::string block(16, 'p');
    block[15] = 0;
    EXPECT_EQ(AESV2Decrypt(key, iv + OpenSslAes(keyText, iv, block, true)), block);
    // A padding of sixteen 16s leaves nothing.
    EXPECT_EQ(AESV2Decrypt(key, iv + OpenSslAes(keyText, iv, std::string(16, '\x10'), true)), "");
}

TEST(EncryptionSettings, DefaultsAndPermissionBytes) {
    TqzEncryptionSettings s;
    EXPECT_TRUE(s.IsOwner());
    EXPECT_FALSE(s.Enabled());
    EXPECT_EQ(s.Level(), TqzPDFEncryptionLevel::elRC4_128Bit);
    EXPECT_FALSE(s.GetEncryptMetadata());
    EXPECT_EQ(s.Algorithm(), TqzCryptAlgorithm::cryptRC4);
    EXPECT_EQ(s.UserPermissions().ToByte(), 0);
    EXPECT_EQ(KeyLength(TqzPDFEncryptionLevel::elRC4_40Bit), 5u);
    EXPECT_EQ(KeyLength(TqzPDFEncryptionLevel::elAES_128Bit), 16u);

    published::TqzPDFEncryptionSettings p;
    EXPECT_EQ(p.Level(), published::TqzPDFEncryptionLevel::el40bit);
    EXPECT_FALSE(p.Enabled());

    EXPECT_EQ(TqzUserPermissions{TqzUserPermissionsType::AllowPrint}.ToByte(), 4);
    TqzUserPermissions all = TqzUserPermissions::All();
    EXPECT_EQ(all.ToByte(), 255);
    all.Exclude(TqzUserPermissionsType::AllowHighResPrint);
    EXPECT_EQ(all.ToByte(), 127);
    EXPECT_FALSE(all.Contains(TqzUserPermissionsType::AllowHighResPrint));
}
