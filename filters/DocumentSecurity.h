#pragma once
// DocumentSecurity: the standard security handler as one document uses it.
//
// Reading: made from a loaded file's /Encrypt values, it checks a password
// once (owner first, then user), keeps the file key, and decrypts strings
// and streams object by object, deriving only the object key each time.
// Writing: made from the user encryption settings of a save, it derives the
// file identifier, /O, /U, /P and the file key once, builds a fresh /Encrypt
// dictionary for the level asked for, and encrypts object by object. A
// handler read from a file encrypts with the key it was loaded with, for a
// save that keeps the file's encryption.
//
// The base document owns it. The crypt streams it makes hold their own object
// key and share the stream they read, never the handler.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "core/Stream.h"
#include "filters/EncryptionSettings.h"
#include "filters/StandardSecurity.h"

namespace qz::core {
class TqzPDBaseObject;
class TqzPDDictionary;
class TqzParentDocument;
}  // namespace qz::core

namespace qz::platform {
class RandomSource;
}

namespace qz::filters {

// One entry of /CF: the method name (/CFM) and the key length as written.
struct CryptFilterValues {
    std::string method;             // "V2", "AESV2", "None", ...; empty when /CFM is absent
    std::optional<int64_t> length;  // /Length
};

// The entries of an /Encrypt dictionary and the file identifier that the
// handler reads, strings as their exact bytes.
struct EncryptDictionaryValues {
    std::string filter;  // /Filter
    std::optional<int64_t> V, R, length, P;
    std::optional<std::string> O, U;
    bool ownerIsHex = false;  // how /O and /U were written (for the settings' text form)
    bool userIsHex = false;
    bool encryptMetadata = true;                          // /EncryptMetadata
    std::map<std::string, CryptFilterValues> cryptFilters;  // /CF
    std::optional<std::string> stmF, strF;                // /StmF, /StrF
    std::string fileID;  // the first string of the trailer's /ID, as bytes; empty without one

    // Reads `encrypt` (references resolved through its document) and the
    // trailer's /ID value `id` (none when the trailer has none). Entries of
    // the wrong type count as absent. The strings must be read as stored:
    // the encryption dictionary is never encrypted.
    static EncryptDictionaryValues Read(const core::TqzPDDictionary& encrypt,
                                        const core::TqzPDBaseObject* id);
};

class DocumentSecurity {
public:
    // Reading. Raises core::ExUnsupportedFeature ("Unsupported encryption:
    // ...") for encryption this system does not read (another security
    // handler, AES-256, revisions other than 2 to 4, unknown crypt filters,
    // odd key lengths), and core::ExInvalidPDFFile when /O, /U or /P is
    // missing.
    explicit DocumentSecurity(const EncryptDictionaryValues& values);
    static std::unique_ptr<DocumentSecurity> FromDictionary(const core::TqzPDDictionary& encrypt,
                                                            const core::TqzPDBaseObject* id);
    // Whether /Filter names a security handler known here: the standard one,
    // or the public-key one this system refuses.
    static bool IsKnownHandlerDictionary(const core::TqzPDDictionary& encrypt);

    // Writing new encryption at `settings.Level()` with its passwords and
    // permissions. The file identifier is the MD5 of "Output1.pdf" followed
    // by `creationDate` (the document information's /CreationDate text, empty
    // when absent), so equal documents get equal identifiers.
    static std::unique_ptr<DocumentSecurity> ForOutput(const TqzEncryptionSettings& settings,
                                                       const std::string& creationDate);

    // The password check: the owner password first, then the user password.
    // A file that gives no RC4 key length is read with 40 bits, the
    // default, or with 128 when only that length opens it.
    // On success the file key is kept and `settings` get Enabled, the level
    // and algorithm, and the passwords and permissions: as owner, all rights
    // and the user password found in /O; as user, the rights of /P, IsOwner
    // False and a generated owner password ("Veltrano", the local date and
    // time as 14 digits, a random number below 2147483647). On failure
    // nothing changes and the result is false.
    bool CheckPassword(TqzEncryptionSettings& settings, const std::string& password);
    // CheckPassword, raising core::ExInvalidPassword "Invalid password" on failure.
    void Authenticate(TqzEncryptionSettings& settings, const std::string& password);
    // 0 when the password is the owner's (the user password found in /O goes
    // to `userPassword`), -1 otherwise. A match keeps the file key.
    int32_t CheckOwnerPassword(const std::string& password, std::string& userPassword);
    // 0 when the password is the user's, -1 otherwise. A match keeps the file key.
    int32_t CheckUserPassword(const std::string& password);

    // The source of the generated owner password's random number (not
    // owned); none: the system's entropy. Never the process-wide generator,
    // whose sequence other modules rely on.
    void SetOwnerPasswordRandom(platform::RandomSource* random) { FRandom = random; }

    // A password has been accepted (or the handler was made for output).
    bool HasFileKey() const { return FFileKey.has_value(); }
    bool IsOwner() const { return FIsOwner; }
    // The rights /P gives the user (revision 2 grants the four extended
    // rights it does not know), all eight for the owner.
    TqzUserPermissions GetUserPermissions() const;
    TqzPDFEncryptionLevel GetLevel() const { return FLevel; }
    TqzCryptAlgorithm GetAlgorithm() const;
    int32_t GetRevision() const { return FKeyValues.revision; }
    int32_t GetVersion() const { return FVersion; }
    // The file key length in bytes (5 to 16).
    uint32_t GetKeyLength() const { return FKeyValues.keyLength; }
    // The file key; raises core::ExInvalidPassword before a password was accepted.
    const std::string& GetFileKey() const;
    // False when /EncryptMetadata is false: metadata streams are stored plain.
    bool GetEncryptMetadata() const { return FKeyValues.encryptMetadata; }
    CryptMethod StringMethod() const { return FStringMethod; }
    CryptMethod StreamMethod() const { return FStreamMethod; }
    // Fills the settings the base document keeps of the file: level,
    // algorithm, /P, file identifier, EncryptMetadata, and /O and /U as text
    // ("<" hex digits ">" or "(" bytes ")").
    void FillFileSettings(TqzEncryptionSettings& settings) const;

    // Decrypting, after a password was accepted (else core::ExInvalidPassword).
    // `bytes` are the stored bytes of a string (a hexadecimal string's digits
    // decoded, never read as text).
    std::string DecryptString(const std::string& bytes, uint32_t objNumber, uint32_t genNumber);
    // Whether the data of a stream with this dictionary is encrypted: not for
    // cross-reference streams, nor for metadata streams when
    // /EncryptMetadata is false, nor under /StmF /Identity.
    bool IsStreamEncrypted(const core::TqzPDDictionary& streamDict) const;
    // A crypt stream (TqzCryptStream) over the stored data of a stream
    // object; `raw` itself when streams are not encrypted (/StmF /Identity).
    core::TqzStreamPtr MakeDecryptStream(core::TqzStreamPtr raw, uint32_t objNumber, uint32_t genNumber);

    // Encrypting for output, under the output's object numbers.
    std::string EncryptString(const std::string& bytes, uint32_t objNumber, uint32_t genNumber);
    std::string EncryptStreamData(const std::string& bytes, uint32_t objNumber, uint32_t genNumber);
    // A crypt stream whose Write(out, count) encrypts what it reads from
    // `plain`; `plain` itself when streams are not encrypted.
    core::TqzStreamPtr MakeEncryptStream(core::TqzStreamPtr plain, uint32_t objNumber, uint32_t genNumber);

    // The values of a handler made for output.
    // The 16 identifier bytes; both elements of the trailer's /ID.
    const std::string& GetFileID() const { return FKeyValues.fileID; }
    // /O and /U, 32 bytes each.
    const std::string& GetOwnerKey() const { return FKeyValues.ownerValue; }
    const std::string& GetUserKey() const { return FKeyValues.userValue; }
    // /P.
    int32_t GetPermissionValue() const { return FKeyValues.permissions; }
    // A fresh direct /Encrypt dictionary for this handler's level: /Filter
    // /Standard, /U, /O (hexadecimal), /P, /V, /R, for AES /CF << /StdCF <<
    // /Length 16 /AuthEvent /DocOpen /CFM /AESV2 >> >> /StmF /StdCF /StrF
    // /StdCF, and /Length in bits.
    std::unique_ptr<core::TqzPDDictionary> MakeEncryptDictionary(core::TqzParentDocument* doc) const;
    // Replaces every entry of an existing dictionary with those above, so no
    // entry of an earlier encryption survives.
    void FillEncryptDictionary(core::TqzPDDictionary& dict) const;

private:
    DocumentSecurity() = default;
    // The file key length in bytes, and the level that follows from it.
    void SetKeyLength(uint32_t keyLength);
    // CheckPassword at the key length held now.
    bool TryPassword(TqzEncryptionSettings& settings, const std::string& password);
    const std::string& ObjectKeyFor(CryptMethod method, uint32_t objNumber, uint32_t genNumber);

    StandardKeyValues FKeyValues;
    int32_t FVersion = 1;
    TqzPDFEncryptionLevel FLevel = TqzPDFEncryptionLevel::elRC4_40Bit;
    CryptMethod FStringMethod = CryptMethod::RC4;
    CryptMethod FStreamMethod = CryptMethod::RC4;
    bool FOwnerIsHex = true;
    bool FUserIsHex = true;
    std::optional<std::string> FFileKey;
    bool FIsOwner = false;
    // RC4 whose key length the file does not give: 40 bits, else 128 when
    // only that opens it.
    bool FKeyLengthDefaulted = false;
    platform::RandomSource* FRandom = nullptr;

    // The last object key made: strings and streams of one object come in a row.
    struct CachedKey {
        CryptMethod method;
        uint32_t objNumber;
        uint32_t genNumber;
        std::string key;
    };
    std::optional<CachedKey> FLastKey;
};

}  // namespace qz::filters
