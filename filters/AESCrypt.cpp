#include "filters/AESCrypt.h"

#include <array>
#include <cstring>

#include "core/PDBaseExceptions.h"

namespace qz::filters {

namespace {

constexpr uint8_t Mul(uint8_t a, uint8_t b) {
    uint8_t r = 0;
    while (b) {
        if (b & 1) r ^= a;
        a = static_cast<uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1B : 0));
        b >>= 1;
    }
    return r;
}

constexpr uint8_t Rotl8(uint8_t x, int n) { return static_cast<uint8_t>((x << n) | (x >> (8 - n))); }
constexpr uint32_t Rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

struct Tables {
    uint8_t sbox[256];
    uint8_t inv[256];
    uint32_t te[4][256];
    uint32_t td[4][256];
};

constexpr Tables MakeTables() {
    Tables t{};
    // The S-box from the multiplicative inverse and the affine map.
    uint8_t p = 1, q = 1;
    do {
        p = static_cast<uint8_t>(p ^ (p << 1) ^ ((p & 0x80) ? 0x1B : 0));
        q = static_cast<uint8_t>(q ^ (q << 1));
        q = static_cast<uint8_t>(q ^ (q << 2));
        q = static_cast<uint8_t>(q ^ (q << 4));
        if (q & 0x80) q ^= 0x09;
        t.sbox[p] = static_cast<uint8_t>(q ^ Rotl8(q, 1) ^ Rotl8(q, 2) ^ Rotl8(q, 3) ^ Rotl8(q, 4) ^ 0x63);
    } while (p != 1);
    t.sbox[0] = 0x63;
    for (int i = 0; i < 256; ++i) t.inv[t.sbox[i]] = static_cast<uint8_t>(i);
    for (int i = 0; i < 256; ++i) {
        const uint8_t s = t.sbox[i];
        const uint32_t e = (uint32_t{Mul(s, 2)} << 24) | (uint32_t{s} << 16) | (uint32_t{s} << 8) | Mul(s, 3);
        const uint8_t v = t.inv[i];
        const uint32_t d = (uint32_t{Mul(v, 14)} << 24) | (uint32_t{Mul(v, 9)} << 16) |
                           (uint32_t{Mul(v, 13)} << 8) | Mul(v, 11);
        for (int k = 0; k < 4; ++k) {
            t.te[k][i] = k ? Rotr(e, 8 * k) : e;
            t.td[k][i] = k ? Rotr(d, 8 * k) : d;
        }
    }
    return t;
}

constexpr Tables kTables = MakeTables();
constexpr uint8_t kRcon[10] = {1, 2, 4, 8, 16, 32, 64, 128, 27, 54};

inline uint32_t Load(const uint8_t* b) {
    return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}
inline void Store(uint32_t v, uint8_t* b) {
    b[0] = static_cast<uint8_t>(v >> 24);
    b[1] = static_cast<uint8_t>(v >> 16);
    b[2] = static_cast<uint8_t>(v >> 8);
    b[3] = static_cast<uint8_t>(v);
}
inline uint32_t SubWord(uint32_t w) {
    const auto& s = kTables.sbox;
    return (uint32_t{s[w >> 24]} << 24) | (uint32_t{s[(w >> 16) & 0xFF]} << 16) |
           (uint32_t{s[(w >> 8) & 0xFF]} << 8) | s[w & 0xFF];
}

void MakeDecrKey(TAESContext& c) {
    const uint32_t n = c.rounds;
    for (uint32_t r = 0; r <= n; ++r)
        for (uint32_t k = 0; k < 4; ++k) c.decryptKeys[4 * r + k] = c.roundKeys[4 * (n - r) + k];
    const auto& td = kTables.td;
    const auto& s = kTables.sbox;
    for (uint32_t i = 4; i < 4 * n; ++i) {
        const uint32_t w = c.decryptKeys[i];
        c.decryptKeys[i] = td[0][s[w >> 24]] ^ td[1][s[(w >> 16) & 0xFF]] ^ td[2][s[(w >> 8) & 0xFF]] ^
                           td[3][s[w & 0xFF]];
    }
}

}  // namespace

int AES_Init(const uint8_t* key, uint32_t keyBits, TAESContext& c) {
    if (keyBits != 128 && keyBits != 192 && keyBits != 256) return kAESBadKeySize;
    if (!key) return kAESNoBuffer;
    const uint32_t nk = keyBits / 32;
    c.keyBits = keyBits;
    c.rounds = nk + 6;
    c.direction = TAESContext::Direction::None;
    c.partialDone = false;
    std::memset(c.chain, 0, 16);
    const uint32_t total = 4 * (c.rounds + 1);
    for (uint32_t i = 0; i < nk; ++i) c.roundKeys[i] = Load(key + 4 * i);
    for (uint32_t i = nk; i < total; ++i) {
        uint32_t t = c.roundKeys[i - 1];
        if (i % nk == 0)
            t = SubWord((t << 8) | (t >> 24)) ^ (uint32_t{kRcon[i / nk - 1]} << 24);
        else if (nk > 6 && i % nk == 4)
            t = SubWord(t);
        c.roundKeys[i] = c.roundKeys[i - nk] ^ t;
    }
    return kAESOk;
}

int AES_Init_Encr(const uint8_t* key, uint32_t keyBits, TAESContext& c) {
    const int r = AES_Init(key, keyBits, c);
    if (r == kAESOk) c.direction = TAESContext::Direction::Encrypt;
    return r;
}

int AES_Init_Decr(const uint8_t* key, uint32_t keyBits, TAESContext& c) {
    const int r = AES_Init(key, keyBits, c);
    if (r != kAESOk) return r;
    MakeDecrKey(c);
    c.direction = TAESContext::Direction::Decrypt;
    return kAESOk;
}

void AES_Encrypt(const uint8_t input[16], uint8_t output[16], const TAESContext& c) {
    const uint32_t* rk = c.roundKeys;
    const auto& te = kTables.te;
    const auto& s = kTables.sbox;
    uint32_t s0 = Load(input) ^ rk[0], s1 = Load(input + 4) ^ rk[1];
    uint32_t s2 = Load(input + 8) ^ rk[2], s3 = Load(input + 12) ^ rk[3];
    for (uint32_t r = 1; r < c.rounds; ++r) {
        rk += 4;
        const uint32_t t0 = te[0][s0 >> 24] ^ te[1][(s1 >> 16) & 0xFF] ^ te[2][(s2 >> 8) & 0xFF] ^ te[3][s3 & 0xFF] ^ rk[0];
        const uint32_t t1 = te[0][s1 >> 24] ^ te[1][(s2 >> 16) & 0xFF] ^ te[2][(s3 >> 8) & 0xFF] ^ te[3][s0 & 0xFF] ^ rk[1];
        const uint32_t t2 = te[0][s2 >> 24] ^ te[1][(s3 >> 16) & 0xFF] ^ te[2][(s0 >> 8) & 0xFF] ^ te[3][s1 & 0xFF] ^ rk[2];
        const uint32_t t3 = te[0][s3 >> 24] ^ te[1][(s0 >> 16) & 0xFF] ^ te[2][(s1 >> 8) & 0xFF] ^ te[3][s2 & 0xFF] ^ rk[3];
        s0 = t0, s1 = t1, s2 = t2, s3 = t3;
    }
    rk += 4;
    auto last = [&](uint32_t a, uint32_t b, uint32_t d, uint32_t e, uint32_t k) {
        return ((uint32_t{s[a >> 24]} << 24) | (uint32_t{s[(b >> 16) & 0xFF]} << 16) |
                (uint32_t{s[(d >> 8) & 0xFF]} << 8) | s[e & 0xFF]) ^ k;
    };
    Store(last(s0, s1, s2, s3, rk[0]), output);
    Store(last(s1, s2, s3, s0, rk[1]), output + 4);
    Store(last(s2, s3, s0, s1, rk[2]), output + 8);
    Store(last(s3, s0, s1, s2, rk[3]), output + 12);
}

void AES_Decrypt(const uint8_t input[16], uint8_t output[16], const TAESContext& c) {
    const uint32_t* rk = c.decryptKeys;
    const auto& td = kTables.td;
    const auto& s = kTables.inv;
    uint32_t s0 = Load(input) ^ rk[0], s1 = Load(input + 4) ^ rk[1];
    uint32_t s2 = Load(input + 8) ^ rk[2], s3 = Load(input + 12) ^ rk[3];
    for (uint32_t r = 1; r < c.rounds; ++r) {
        rk += 4;
        const uint32_t t0 = td[0][s0 >> 24] ^ td[1][(s3 >> 16) & 0xFF] ^ td[2][(s2 >> 8) & 0xFF] ^ td[3][s1 & 0xFF] ^ rk[0];
        const uint32_t t1 = td[0][s1 >> 24] ^ td[1][(s0 >> 16) & 0xFF] ^ td[2][(s3 >> 8) & 0xFF] ^ td[3][s2 & 0xFF] ^ rk[1];
        const uint32_t t2 = td[0][s2 >> 24] ^ td[1][(s1 >> 16) & 0xFF] ^ td[2][(s0 >> 8) & 0xFF] ^ td[3][s3 & 0xFF] ^ rk[2];
        const uint32_t t3 = td[0][s3 >> 24] ^ td[1][(s2 >> 16) & 0xFF] ^ td[2][(s1 >> 8) & 0xFF] ^ td[3][s0 & 0xFF] ^ rk[3];
        s0 = t0, s1 = t1, s2 = t2, s3 = t3;
    }
    rk += 4;
    auto last = [&](uint32_t a, uint32_t b, uint32_t d, uint32_t e, uint32_t k) {
        return ((uint32_t{s[a >> 24]} << 24) | (uint32_t{s[(b >> 16) & 0xFF]} << 16) |
                (uint32_t{s[(d >> 8) & 0xFF]} << 8) | s[e & 0xFF]) ^ k;
    };
    Store(last(s0, s3, s2, s1, rk[0]), output);
    Store(last(s1, s0, s3, s2, rk[1]), output + 4);
    Store(last(s2, s1, s0, s3, rk[2]), output + 8);
    Store(last(s3, s2, s1, s0, rk[3]), output + 12);
}

void AES_XorBlock(const uint8_t a[16], const uint8_t b[16], uint8_t output[16]) {
    for (int i = 0; i < 16; ++i) output[i] = static_cast<uint8_t>(a[i] ^ b[i]);
}

int AES_CBC_Init_Encr(const uint8_t* key, uint32_t keyBits, const uint8_t iv[16], TAESContext& c) {
    const int r = AES_Init_Encr(key, keyBits, c);
    if (r == kAESOk) std::memcpy(c.chain, iv, 16);
    return r;
}

int AES_CBC_Init_Decr(const uint8_t* key, uint32_t keyBits, const uint8_t iv[16], TAESContext& c) {
    const int r = AES_Init_Decr(key, keyBits, c);
    if (r == kAESOk) std::memcpy(c.chain, iv, 16);
    return r;
}

int AES_CBC_Encrypt(const uint8_t* input, uint8_t* output, size_t length, TAESContext& c) {
    if (c.direction != TAESContext::Direction::Encrypt) return kAESWrongDirection;
    if (length > 0 && (!input || !output)) return kAESNoBuffer;
    if (length % 16 != 0) return kAESBadLength;
    for (size_t off = 0; off < length; off += 16) {
        AES_XorBlock(input + off, c.chain, c.work);
        AES_Encrypt(c.work, c.chain, c);
        std::memcpy(output + off, c.chain, 16);
    }
    return kAESOk;
}

int AES_CBC_Decrypt(const uint8_t* input, uint8_t* output, size_t length, TAESContext& c) {
    if (c.direction != TAESContext::Direction::Decrypt) return kAESWrongDirection;
    if (length > 0 && (!input || !output)) return kAESNoBuffer;
    if (length % 16 != 0) return kAESBadLength;
    for (size_t off = 0; off < length; off += 16) {
        uint8_t cipher[16];
        std::memcpy(cipher, input + off, 16);
        AES_Decrypt(cipher, c.work, c);
        AES_XorBlock(c.work, c.chain, output + off);
        std::memcpy(c.chain, cipher, 16);
    }
    return kAESOk;
}

size_t AESV2PaddingLength(const uint8_t lastBlock[16]) {
    const size_t pad = lastBlock[15];
    return pad >= 1 && pad <= 16 ? pad : 0;
}

std::string AESV2Encrypt(const uint8_t key[16], std::string_view data) {
    TAESContext c;
    AES_Init_Encr(key, 128, c);
    // The vector is the encryption of a zero block: it depends on the key
    // alone, so equal data under one key encrypts equally.
    const uint8_t zero[16] = {};
    uint8_t iv[16];
    AES_Encrypt(zero, iv, c);
    const size_t pad = 16 - data.size() % 16;
    std::string out;
    out.reserve(16 + data.size() + pad);
    out.append(reinterpret_cast<const char*>(iv), 16);
    out.append(data);
    out.append(pad, static_cast<char>(pad));
    auto* bytes = reinterpret_cast<uint8_t*>(out.data());
    std::memcpy(c.chain, iv, 16);
    AES_CBC_Encrypt(bytes + 16, bytes + 16, data.size() + pad, c);
    return out;
}

std::string AESV2Decrypt(const uint8_t key[16], std::string_view data) {
    if (data.size() < 16) return {};
    // A damaged value keeps what its whole blocks hold; the piece of a block
    // after them cannot be decrypted.
    const size_t length = (data.size() - 16) / 16 * 16;
    const bool damaged = length != data.size() - 16;
    TAESContext c;
    AES_CBC_Init_Decr(key, 128, reinterpret_cast<const uint8_t*>(data.data()), c);
    std::string out(length, '\0');
    auto* bytes = reinterpret_cast<uint8_t*>(out.data());
    AES_CBC_Decrypt(reinterpret_cast<const uint8_t*>(data.data()) + 16, bytes, length, c);
    // The padding ends the data: when its end is lost, the last whole block
    // is plain data and is kept.
    if (length > 0 && !damaged) out.resize(length - AESV2PaddingLength(bytes + length - 16));
    return out;
}

namespace {

void SaltedKey(const TqzMD5Context& context, uint32_t keyBits, uint8_t key[16]) {
    if (keyBits != 128) throw core::streams::ExInvalidKeyLen("AES: Invalid key length");
    TqzMD5Context copy = context;
    MD5Update(copy, "sAlT", 4);
    MD5Final(copy, key);
}

}  // namespace

void TqzxAESCrypt::EncryptBytes(std::string_view input, std::string& output, TqzxAESCipherMode mode,
                                uint32_t keyBits, const TqzMD5Context& context) {
    if (mode != TqzxAESCipherMode::cmCBC) return;
    uint8_t key[16];
    SaltedKey(context, keyBits, key);
    output = AESV2Encrypt(key, input);
}

void TqzxAESCrypt::DecryptBytes(std::string_view input, std::string& output, TqzxAESCipherMode mode,
                                uint32_t keyBits, const TqzMD5Context& context) {
    if (mode != TqzxAESCipherMode::cmCBC) return;
    uint8_t key[16];
    SaltedKey(context, keyBits, key);
    output = AESV2Decrypt(key, input);
}

}  // namespace qz::filters
