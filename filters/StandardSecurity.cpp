#include "filters/StandardSecurity.h"

#include <algorithm>
#include <cstring>

#include "filters/MD5.h"
#include "filters/RC4.h"

namespace qz::filters {

namespace {

// Extra MD5 rounds and RC4 passes that revision 3 and later add to slow down
// password guessing.
constexpr int kHashRounds = 50;
constexpr int kRC4Passes = 20;

class Md5 {
public:
    Md5() { MD5Init(FContext); }
    Md5& Add(const std::string& bytes) {
        MD5Update(FContext, bytes.data(), bytes.size());
        return *this;
    }
    Md5& Add(const void* bytes, size_t length) {
        MD5Update(FContext, bytes, length);
        return *this;
    }
    std::string Digest() {
        uint8_t digest[16];
        MD5Final(FContext, digest);
        return std::string(reinterpret_cast<const char*>(digest), 16);
    }

private:
    TqzMD5Context FContext;
};

std::string Md5Of(const std::string& bytes) { return Md5().Add(bytes).Digest(); }

// RC4 of `data` under `key`, every byte of the key combined with `mask`.
void RC4Apply(const std::string& key, uint8_t mask, std::string& data) {
    std::string masked = key;
    for (char& c : masked) c = static_cast<char>(static_cast<uint8_t>(c) ^ mask);
    TqzRC4Data rc4;
    RC4Init(rc4, reinterpret_cast<const uint8_t*>(masked.data()), static_cast<uint32_t>(masked.size()));
    auto* bytes = reinterpret_cast<uint8_t*>(data.data());
    RC4Crypt(rc4, bytes, static_cast<uint32_t>(data.size()), bytes);
}

std::string LittleEndian(uint32_t value, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    return out;
}

// The first 32 bytes of a stored /O or /U value, zero-filled when shorter.
std::string Value32(const std::string& value) {
    std::string out = value.substr(0, 32);
    out.resize(32, '\0');
    return out;
}

// The RC4 key that encrypts /O: from the owner password (or the user's when
// it is empty), hashed 50 more times from revision 3 on.
std::string OwnerKey(const std::string& password, int32_t revision, uint32_t keyLength) {
    std::string digest = Md5Of(PaddedPassword(password));
    if (revision >= 3) {
        for (int i = 0; i < kHashRounds; ++i) digest = Md5Of(digest);
    }
    return digest.substr(0, revision >= 3 ? keyLength : 5);
}

}  // namespace

std::string PaddedPassword(const std::string& password) {
    uint8_t padded[32];
    filters::PasswordPadding(password, padded);
    return std::string(reinterpret_cast<const char*>(padded), 32);
}

std::string ComputeFileKey(const StandardKeyValues& values, const std::string& password) {
    const uint32_t n = values.revision >= 3 ? values.keyLength : 5;
    Md5 md5;
    md5.Add(PaddedPassword(password))
        .Add(Value32(values.ownerValue))
        .Add(LittleEndian(static_cast<uint32_t>(values.permissions), 4))
        .Add(values.fileID);
    if (values.revision >= 4 && !values.encryptMetadata) md5.Add("\xFF\xFF\xFF\xFF", 4);
    std::string digest = md5.Digest();
    if (values.revision >= 3) {
        for (int i = 0; i < kHashRounds; ++i) digest = Md5Of(digest.substr(0, n));
    }
    return digest.substr(0, n);
}

std::string ComputeOwnerValue(const std::string& ownerPassword, const std::string& userPassword,
                              int32_t revision, uint32_t keyLength) {
    const std::string key =
        OwnerKey(ownerPassword.empty() ? userPassword : ownerPassword, revision, keyLength);
    std::string value = PaddedPassword(userPassword);
    RC4Apply(key, 0, value);
    if (revision >= 3) {
        for (int i = 1; i < kRC4Passes; ++i) RC4Apply(key, static_cast<uint8_t>(i), value);
    }
    return value;
}

std::string ComputeUserValue(const std::string& fileKey, int32_t revision,
                             const std::string& fileID) {
    if (revision < 3) {
        std::string value = PaddedPassword("");
        RC4Apply(fileKey, 0, value);
        return value;
    }
    std::string value = Md5().Add(PaddedPassword("")).Add(fileID).Digest();
    for (int i = 0; i < kRC4Passes; ++i) RC4Apply(fileKey, static_cast<uint8_t>(i), value);
    value.resize(32, '\0');
    return value;
}

std::optional<std::string> AuthenticateUser(const StandardKeyValues& values,
                                            const std::string& password) {
    std::string key = ComputeFileKey(values, password);
    const std::string expected = ComputeUserValue(key, values.revision, values.fileID);
    const std::string stored = Value32(values.userValue);
    // Revision 3 on leaves the last 16 bytes of /U to the producer.
    const size_t compared = values.revision >= 3 ? 16 : 32;
    if (expected.compare(0, compared, stored, 0, compared) != 0) return std::nullopt;
    return key;
}

std::string DecryptOwnerValue(const StandardKeyValues& values, const std::string& ownerPassword) {
    const std::string key = OwnerKey(ownerPassword, values.revision, values.keyLength);
    std::string value = Value32(values.ownerValue);
    if (values.revision >= 3) {
        for (int i = kRC4Passes - 1; i >= 0; --i) RC4Apply(key, static_cast<uint8_t>(i), value);
    } else {
        RC4Apply(key, 0, value);
    }
    return value;
}

std::string StripPadding(const std::string& padded) {
    const std::string pad = PaddedPassword("");
    const size_t size = std::min<size_t>(padded.size(), 32);
    for (size_t k = 0; k < size; ++k) {
        if (padded.compare(k, size - k, pad, 0, size - k) == 0) return padded.substr(0, k);
    }
    return padded.substr(0, size);
}

std::string ObjectKey(const std::string& fileKey, CryptMethod method, uint32_t objNumber,
                      uint32_t genNumber) {
    if (method == CryptMethod::Identity) return {};
    Md5 md5;
    md5.Add(fileKey).Add(LittleEndian(objNumber, 3)).Add(LittleEndian(genNumber, 2));
    if (method == CryptMethod::AESV2) md5.Add("sAlT", 4);
    const std::string digest = md5.Digest();
    if (method == CryptMethod::AESV2) return digest;
    return digest.substr(0, std::min<size_t>(fileKey.size() + 5, 16));
}

TqzUserPermissions PermissionsFromP(int32_t permissions, int32_t revision) {
    using enum TqzUserPermissionsType;
    const auto p = static_cast<uint32_t>(permissions);
    TqzUserPermissions result = TqzUserPermissions::All();
    struct Bit {
        uint32_t value;
        TqzUserPermissionsType right;
        bool extended;  // known from revision 3 on
    };
    static constexpr Bit kBits[] = {
        {4, AllowPrint, false},         {8, AllowModify, false},
        {16, AllowCopy, false},         {32, AllowAnnotation, false},
        {256, AllowFormFill, true},     {512, AllowAccessibility, true},
        {1024, AllowDocAssembly, true}, {2048, AllowHighResPrint, true},
    };
    for (const Bit& bit : kBits) {
        if (bit.extended && revision < 3) continue;
        if ((p & bit.value) == 0) result.Exclude(bit.right);
    }
    return result;
}

int32_t PermissionValue(TqzUserPermissions permissions, TqzPDFEncryptionLevel level) {
    using enum TqzUserPermissionsType;
    const bool longKey = KeyLength(level) == 16;
    int32_t value = longKey ? -3904 : -64;
    if (permissions.Contains(AllowPrint)) value += 4;
    if (permissions.Contains(AllowModify)) value += 8;
    if (permissions.Contains(AllowCopy)) value += 16;
    if (permissions.Contains(AllowAnnotation)) value += 32;
    if (longKey) {
        if (permissions.Contains(AllowFormFill)) value += 256;
        if (permissions.Contains(AllowAccessibility)) value += 512;
        if (permissions.Contains(AllowDocAssembly)) value += 1024;
        if (permissions.Contains(AllowHighResPrint) && permissions.Contains(AllowPrint)) value += 2048;
    }
    return value;
}

}  // namespace qz::filters
