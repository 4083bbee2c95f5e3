#pragma once
// The key algorithms of the password-based standard security handler at
// revisions 2 to 4: padded passwords, the file key, the /O and /U values,
// the password checks, the per-object keys and the /P permission bits.
// Stateless functions over byte strings; DocumentSecurity keeps the state of
// one document.

#include <cstdint>
#include <optional>
#include <string>

#include "filters/EncryptionSettings.h"

namespace qz::filters {

// How one kind of data (strings or streams) of a document is encrypted.
enum class CryptMethod : uint8_t {
    Identity,  // stored as it is
    RC4,
    AESV2,  // AES-128, CBC, the initialisation vector in front
};

// File keys are 40 to 128 bits: what revisions 2 to 4 allow.
inline constexpr uint32_t kMinFileKeyLength = 5;
inline constexpr uint32_t kMaxFileKeyLength = 16;

// What the password algorithms read of an encryption dictionary.
struct StandardKeyValues {
    int32_t revision = 2;         // /R, 2 to 4
    uint32_t keyLength = 5;       // n, the file key length in bytes
    std::string ownerValue;       // /O, 32 bytes
    std::string userValue;        // /U, 32 bytes
    int32_t permissions = 0;      // /P
    std::string fileID;           // the first element of /ID, as bytes
    bool encryptMetadata = true;  // /EncryptMetadata (revision 4 only)
};

// The first 32 bytes of the password followed by as much of the padding
// string as makes 32 bytes.
std::string PaddedPassword(const std::string& password);

// The file key a password gives (whether or not the password is right).
std::string ComputeFileKey(const StandardKeyValues& values, const std::string& password);

// /O for these passwords; an empty owner password stands for the user's.
std::string ComputeOwnerValue(const std::string& ownerPassword, const std::string& userPassword,
                              int32_t revision, uint32_t keyLength);

// /U for a file key. From revision 3 on only the first 16 bytes count; the
// last 16 are zero here.
std::string ComputeUserValue(const std::string& fileKey, int32_t revision,
                             const std::string& fileID);

// The file key when `password` is the user password, else none.
std::optional<std::string> AuthenticateUser(const StandardKeyValues& values,
                                            const std::string& password);

// The padded user password that /O holds for `ownerPassword` (32 bytes).
// It is the user password only when `ownerPassword` is the owner's.
std::string DecryptOwnerValue(const StandardKeyValues& values, const std::string& ownerPassword);

// A padded password with its padding taken off: the shortest password that
// pads to the same 32 bytes.
std::string StripPadding(const std::string& padded);

// The key for the strings and streams of one object. RC4: the first n + 5
// bytes (at most 16) of MD5(file key, object number as 3 bytes, generation
// as 2 bytes, least significant first). AESV2: all 16 bytes of the digest of
// the same material followed by "sAlT". Identity: empty.
std::string ObjectKey(const std::string& fileKey, CryptMethod method, uint32_t objNumber,
                      uint32_t genNumber);

// The rights /P grants: a clear bit 3, 4, 5 or 6 withdraws printing,
// modifying, copying or annotating; from revision 3 on bits 9 to 12 withdraw
// form filling, accessibility, assembly and high-resolution printing, which
// revision 2 does not know and always grants.
TqzUserPermissions PermissionsFromP(int32_t permissions, int32_t revision);

// /P for a save: every reserved bit set, plus a bit for each right granted;
// high-resolution printing only together with printing, and bits 9 to 12
// only with a 16-byte key.
int32_t PermissionValue(TqzUserPermissions permissions, TqzPDFEncryptionLevel level);

}  // namespace qz::filters
