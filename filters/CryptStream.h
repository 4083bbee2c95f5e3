#pragma once
// TqzCryptStream: the filter stream that decrypts the data of one encrypted
// object as it is read, or encrypts it as it is written, under that object's
// key. It holds the object key itself, not the document's security handler,
// so it may outlive the document that made it. It shares ownership of its
// inner stream; its decoder TqzDecrypt and encoder TqzEncrypt borrow it.
//
// Both work in blocks: RC4 carries one keystream across blocks; AESV2 takes
// the first 16 bytes as the initialisation vector, decrypts whole blocks and
// holds the last one back until the end, where its padding is removed.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/FilterStream.h"
#include "filters/AESCrypt.h"
#include "filters/RC4.h"
#include "filters/StandardSecurity.h"

namespace qz::filters {

// RC4 over data that arrives in pieces: one keystream from the key schedule
// on. (RC4Crypt restarts its indices on every call, so it serves only data
// encrypted in one piece.)
class RC4Keystream {
public:
    void Init(const std::string& key);
    void Apply(uint8_t* bytes, size_t count);

private:
    TqzRC4Data FData;
    uint32_t FI = 0;
    uint32_t FJ = 0;
};

// The plain bytes of `data` encrypted under an object key: RC4 output has the
// input's length; AESV2 output is 16 bytes longer plus 1 to 16 bytes of
// padding; Identity returns the data.
std::string EncryptWithObjectKey(CryptMethod method, const std::string& objectKey, std::string_view data);
// The reverse. AESV2: input shorter than the initialisation vector gives
// nothing; damaged input keeps its whole blocks (AESV2Decrypt).
std::string DecryptWithObjectKey(CryptMethod method, const std::string& objectKey, std::string_view data);

class TqzDecrypt final : public core::TqzDecode {
public:
    TqzDecrypt(core::TqzStream* inner, CryptMethod method, std::string objectKey);

    int LookChar() override;
    int GetChar() override;
    int32_t Read(uint8_t* buffer, uint32_t count) override;
    // Rewinds the inner stream and starts decrypting from its beginning.
    void Reset() override;

private:
    // Decrypts the next block of input; false when the input is used up and
    // everything decrypted has been handed out.
    bool Fill();
    void Restart();
    void FinishAES();

    core::TqzStream* FInner;
    CryptMethod FMethod;
    std::string FKey;
    RC4Keystream FRC4;
    TAESContext FAES{};
    uint8_t FIV[16] = {};
    uint32_t FIVCount = 0;
    std::vector<uint8_t> FIn;   // raw bytes of an incomplete block carried to the next fill
    std::vector<uint8_t> FOut;  // decrypted bytes not yet handed out, from FPos
    size_t FPos = 0;
    uint8_t FHeld[16] = {};     // the last whole block decrypted, held back for its padding
    bool FHasHeld = false;
    bool FDone = false;
};

// Yields `count` bytes (0: all) of `plain`, read from where it stands,
// encrypted under one object key as they are read, in blocks: RC4 carries its
// keystream across blocks; AESV2 starts with the initialisation vector,
// holds an incomplete block back and pads the last one.
class TqzEncryptingStream final : public core::TqzOneWayStream {
public:
    TqzEncryptingStream(core::TqzStreamPtr plain, CryptMethod method, std::string objectKey, uint64_t count = 0);

protected:
    int32_t Produce(uint8_t* buffer, uint32_t count) override;

private:
    // Reads up to `want` plain bytes into `buffer`; 0 at the end or the count.
    uint32_t ReadPlain(uint8_t* buffer, uint32_t want);
    // AESV2: encrypts the next block of input into FQueue.
    void FillAES();

    core::TqzStreamPtr FPlain;
    CryptMethod FMethod;
    std::string FKey;
    bool FAll;
    uint64_t FLeft;
    bool FEnded = false;
    RC4Keystream FRC4;
    TAESContext FAES{};
    std::vector<uint8_t> FBlock;  // AESV2: an incomplete block carried, then new input
    size_t FCarry = 0;
    std::string FQueue;  // AESV2: encrypted bytes not yet handed out, from FQueueAt
    size_t FQueueAt = 0;
};

class TqzEncrypt final : public core::TqzEncode {
public:
    TqzEncrypt(core::TqzStream* source, CryptMethod method, std::string objectKey);

    // Encrypts `count` bytes (0: all) read from the source from where it
    // stands, in blocks (TqzEncryptingStream), and writes them to `out`.
    // Returns the number of bytes written. Errors propagate: a stream is
    // never written short in silence.
    int32_t Write(core::TqzStream& out, uint32_t count) override;
    // Encrypts the first `count` bytes of `buffer` (0: all) and writes them
    // into the source stream after rewinding it; returns the bytes written.
    int32_t Write(const std::string& buffer, uint32_t count) override;

private:
    core::TqzStream* FSource;
    CryptMethod FMethod;
    std::string FKey;
};

class TqzCryptStream final : public core::TqzFilterStream {
public:
    // Decrypts (reading) or encrypts (writing) `inner` for one object with its
    // key (ObjectKey of the document's file key).
    TqzCryptStream(core::TqzStreamPtr inner, CryptMethod method, std::string objectKey);

    core::TqzStreamType GetType() override { return core::TqzStreamType::stCrypt; }
    CryptMethod Method() const { return FMethod; }

private:
    CryptMethod FMethod;
};

}  // namespace qz::filters
