#include "filters/CryptStream.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "core/PDBaseExceptions.h"

namespace qz::filters {

namespace {

// Input is read and encrypted in blocks of this size: large enough that the
// per-call costs vanish, small enough to stay in cache.
constexpr uint32_t kCryptBlock = 64 * 1024;
constexpr uint32_t kAESBlock = 16;

const uint8_t* Bytes(std::string_view s) { return reinterpret_cast<const uint8_t*>(s.data()); }

void CheckAESKey(const std::string& key) {
    // Object keys of this system are MD5 digests; anything else is misuse.
    if (key.size() != 16) throw core::streams::ExInvalidKeyLen("AES: Invalid key length");
}

}  // namespace

void RC4Keystream::Init(const std::string& key) {
    RC4Init(FData, Bytes(key), static_cast<uint32_t>(key.size()));
    FI = FJ = 0;
}

void RC4Keystream::Apply(uint8_t* bytes, size_t count) {
    uint8_t* s = FData.state;
    uint32_t i = FI, j = FJ;
    for (size_t n = 0; n < count; ++n) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        bytes[n] = static_cast<uint8_t>(bytes[n] ^ s[(s[i] + s[j]) & 0xFF]);
    }
    FI = i;
    FJ = j;
}

std::string EncryptWithObjectKey(CryptMethod method, const std::string& objectKey, std::string_view data) {
    switch (method) {
        case CryptMethod::Identity:
            return std::string(data);
        case CryptMethod::RC4: {
            std::string out(data);
            RC4Keystream rc4;
            rc4.Init(objectKey);
            rc4.Apply(reinterpret_cast<uint8_t*>(out.data()), out.size());
            return out;
        }
        case CryptMethod::AESV2:
            CheckAESKey(objectKey);
            return AESV2Encrypt(Bytes(objectKey), data);
    }
    return {};
}

std::string DecryptWithObjectKey(CryptMethod method, const std::string& objectKey, std::string_view data) {
    switch (method) {
        case CryptMethod::Identity:
        case CryptMethod::RC4:
            return EncryptWithObjectKey(method, objectKey, data);
        case CryptMethod::AESV2:
            CheckAESKey(objectKey);
            return AESV2Decrypt(Bytes(objectKey), data);
    }
    return {};
}

// ---------------------------------------------------------------------------
// TqzDecrypt

TqzDecrypt::TqzDecrypt(core::TqzStream* inner, CryptMethod method, std::string objectKey)
    : FInner(inner), FMethod(method), FKey(std::move(objectKey)) {
    if (FMethod == CryptMethod::AESV2) CheckAESKey(FKey);
    Restart();
}

void TqzDecrypt::Restart() {
    FIn.clear();
    FOut.clear();
    FPos = 0;
    FIVCount = 0;
    FHasHeld = false;
    FDone = false;
    if (FMethod == CryptMethod::RC4) FRC4.Init(FKey);
}

void TqzDecrypt::Reset() {
    if (!FInner) throw core::streams::ExInvalidStream();
    FInner->Reset();
    Restart();
}

int TqzDecrypt::LookChar() {
    if (FPos >= FOut.size() && !Fill()) return -1;
    return FOut[FPos];
}

int TqzDecrypt::GetChar() {
    if (FPos >= FOut.size() && !Fill()) return -1;
    return FOut[FPos++];
}

int32_t TqzDecrypt::Read(uint8_t* buffer, uint32_t count) {
    uint32_t n = 0;
    while (n < count) {
        if (FPos >= FOut.size()) {
            // RC4 over a large request decrypts straight into the caller's buffer.
            if (FMethod != CryptMethod::AESV2 && count - n >= kCryptBlock && !FDone && FInner) {
                const int32_t got = FInner->Read(buffer + n, count - n);
                if (got <= 0) {
                    FDone = true;
                    break;
                }
                if (FMethod == CryptMethod::RC4) FRC4.Apply(buffer + n, static_cast<size_t>(got));
                n += static_cast<uint32_t>(got);
                continue;
            }
            if (!Fill()) break;
        }
        const size_t take = std::min<size_t>(count - n, FOut.size() - FPos);
        std::memcpy(buffer + n, FOut.data() + FPos, take);
        FPos += take;
        n += static_cast<uint32_t>(take);
    }
    return static_cast<int32_t>(n);
}

bool TqzDecrypt::Fill() {
    FOut.clear();
    FPos = 0;
    while (FOut.empty() && !FDone) {
        if (!FInner) throw core::streams::ExInvalidStream();
        std::vector<uint8_t> block(kCryptBlock);
        const int32_t got = FInner->Read(block.data(), kCryptBlock);
        if (got <= 0) {
            if (FMethod == CryptMethod::AESV2) FinishAES();
            FDone = true;
            break;
        }
        block.resize(static_cast<size_t>(got));
        if (FMethod == CryptMethod::RC4) {
            FRC4.Apply(block.data(), block.size());
            FOut = std::move(block);
            break;
        }
        if (FMethod == CryptMethod::Identity) {
            FOut = std::move(block);
            break;
        }
        // AESV2: the vector first, then whole blocks; the last block decrypted
        // waits until the end shows whether it is the padded one.
        size_t from = 0;
        if (FIVCount < kAESBlock) {
            const size_t take = std::min<size_t>(kAESBlock - FIVCount, block.size());
            std::memcpy(FIV + FIVCount, block.data(), take);
            FIVCount += static_cast<uint32_t>(take);
            from = take;
            if (FIVCount == kAESBlock) AES_CBC_Init_Decr(Bytes(FKey), 128, FIV, FAES);
        }
        FIn.insert(FIn.end(), block.begin() + static_cast<std::ptrdiff_t>(from), block.end());
        const size_t whole = FIn.size() / kAESBlock * kAESBlock;
        if (whole == 0) continue;
        if (FHasHeld) FOut.assign(FHeld, FHeld + kAESBlock);
        const size_t start = FOut.size();
        FOut.resize(start + whole);
        AES_CBC_Decrypt(FIn.data(), FOut.data() + start, whole, FAES);
        FIn.erase(FIn.begin(), FIn.begin() + static_cast<std::ptrdiff_t>(whole));
        std::memcpy(FHeld, FOut.data() + FOut.size() - kAESBlock, kAESBlock);
        FHasHeld = true;
        FOut.resize(FOut.size() - kAESBlock);
    }
    if (FPos < FOut.size()) return true;
    // Everything is handed out: an idle stream keeps no buffers.
    std::vector<uint8_t>().swap(FOut);
    std::vector<uint8_t>().swap(FIn);
    return false;
}

void TqzDecrypt::FinishAES() {
    // Damaged data, whose end is not a whole block, keeps what its whole
    // blocks hold, as AESV2Decrypt does: the piece of a block is dropped, and
    // the last whole block is plain data, not padding.
    const bool damaged = !FIn.empty();
    FIn.clear();
    if (!FHasHeld) return;
    const size_t keep = kAESBlock - (damaged ? 0 : AESV2PaddingLength(FHeld));
    FOut.assign(FHeld, FHeld + keep);
    FHasHeld = false;
}

// ---------------------------------------------------------------------------
// TqzEncryptingStream

TqzEncryptingStream::TqzEncryptingStream(core::TqzStreamPtr plain, CryptMethod method, std::string objectKey,
                                         uint64_t count)
    : FPlain(std::move(plain)), FMethod(method), FKey(std::move(objectKey)), FAll(count == 0), FLeft(count) {
    if (!FPlain) throw core::streams::ExInvalidStream();
    if (FMethod == CryptMethod::RC4) FRC4.Init(FKey);
    if (FMethod == CryptMethod::AESV2) {
        CheckAESKey(FKey);
        // The vector is the encryption of a zero block, as for strings.
        const uint8_t zero[kAESBlock] = {};
        uint8_t iv[kAESBlock];
        AES_Init_Encr(Bytes(FKey), 128, FAES);
        AES_Encrypt(zero, iv, FAES);
        AES_CBC_Init_Encr(Bytes(FKey), 128, iv, FAES);
        FQueue.assign(reinterpret_cast<const char*>(iv), kAESBlock);
    }
}

uint32_t TqzEncryptingStream::ReadPlain(uint8_t* buffer, uint32_t want) {
    if (!FAll) want = static_cast<uint32_t>(std::min<uint64_t>(want, FLeft));
    if (FEnded || want == 0) return 0;
    const int32_t got = FPlain->Read(buffer, want);
    if (got <= 0) {
        FEnded = true;
        return 0;
    }
    if (!FAll) FLeft -= static_cast<uint64_t>(got);
    return static_cast<uint32_t>(got);
}

void TqzEncryptingStream::FillAES() {
    // Room for one extra block: the padding is added to the last piece.
    if (FBlock.empty()) FBlock.resize(kCryptBlock + kAESBlock);
    const uint32_t got = ReadPlain(FBlock.data() + FCarry, kCryptBlock);
    size_t size = FCarry + got;
    if (got == 0) {
        const size_t pad = kAESBlock - size % kAESBlock;
        std::memset(FBlock.data() + size, static_cast<int>(pad), pad);
        size += pad;
        FCarry = 0;
        FEnded = true;
    } else {
        FCarry = size % kAESBlock;
        size -= FCarry;
    }
    AES_CBC_Encrypt(FBlock.data(), FBlock.data(), size, FAES);
    FQueue.assign(reinterpret_cast<const char*>(FBlock.data()), size);
    FQueueAt = 0;
    if (FCarry > 0) std::memmove(FBlock.data(), FBlock.data() + size, FCarry);
}

int32_t TqzEncryptingStream::Produce(uint8_t* buffer, uint32_t count) {
    if (FMethod != CryptMethod::AESV2) {
        const uint32_t got = ReadPlain(buffer, count);
        if (FMethod == CryptMethod::RC4) FRC4.Apply(buffer, got);
        return static_cast<int32_t>(got);
    }
    while (FQueueAt >= FQueue.size()) {
        if (FEnded) return 0;
        FillAES();
    }
    const size_t n = std::min<size_t>(count, FQueue.size() - FQueueAt);
    std::memcpy(buffer, FQueue.data() + FQueueAt, n);
    FQueueAt += n;
    return static_cast<int32_t>(n);
}

// ---------------------------------------------------------------------------
// TqzEncrypt

TqzEncrypt::TqzEncrypt(core::TqzStream* source, CryptMethod method, std::string objectKey)
    : FSource(source), FMethod(method), FKey(std::move(objectKey)) {
    if (FMethod == CryptMethod::AESV2) CheckAESKey(FKey);
}

int32_t TqzEncrypt::Write(core::TqzStream& out, uint32_t count) {
    if (!FSource) throw core::streams::ExInvalidStream();
    // The source is the caller's; the encrypting stream only borrows it.
    TqzEncryptingStream encrypted(core::TqzStreamPtr(core::TqzStreamPtr(), FSource), FMethod, FKey, count);
    const auto block = std::make_unique_for_overwrite<uint8_t[]>(kCryptBlock);
    uint64_t written = 0;
    for (;;) {
        const int32_t got = encrypted.Read(block.get(), kCryptBlock);
        if (got <= 0) break;
        out.Write(block.get(), static_cast<uint32_t>(got));
        written += static_cast<uint64_t>(got);
    }
    return static_cast<int32_t>(std::min<uint64_t>(written, INT32_MAX));
}

int32_t TqzEncrypt::Write(const std::string& buffer, uint32_t count) {
    if (!FSource) throw core::streams::ExInvalidStream();
    const size_t size = count == 0 ? buffer.size() : std::min<size_t>(count, buffer.size());
    const std::string encrypted = EncryptWithObjectKey(FMethod, FKey, std::string_view(buffer).substr(0, size));
    FSource->Reset();
    return FSource->Write(Bytes(encrypted), static_cast<uint32_t>(encrypted.size()));
}

// ---------------------------------------------------------------------------
// TqzCryptStream

TqzCryptStream::TqzCryptStream(core::TqzStreamPtr inner, CryptMethod method, std::string objectKey)
    : core::TqzFilterStream(std::move(inner)), FMethod(method) {
    FDecoder = std::make_unique<TqzDecrypt>(FStream.get(), method, objectKey);
    FEncoder = std::make_unique<TqzEncrypt>(FStream.get(), method, std::move(objectKey));
}

}  // namespace qz::filters
