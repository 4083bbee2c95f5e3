#pragma once
// The encryption settings: TqzEncryptionSettings, the internal record the
// base document keeps for a loaded file's /Encrypt values and for the
// settings a save encrypts with; TqzPDFEncryptionSettings, what the document
// component publishes (what the user asks for on save, what a load reports).
// Both carry the eight user permissions. Plain values, owned by whoever
// holds them.

#include <cstdint>
#include <initializer_list>
#include <string>

namespace qz::filters {

// In this order: the set's bit for each member is 1, 2, 4, ... 128.
enum class TqzUserPermissionsType : uint8_t {
    AllowCopy,
    AllowModify,
    AllowPrint,
    AllowAnnotation,
    AllowFormFill,
    AllowAccessibility,
    AllowDocAssembly,
    AllowHighResPrint,
};

// A set of TqzUserPermissionsType in one byte.
class TqzUserPermissions {
public:
    constexpr TqzUserPermissions() = default;
    constexpr TqzUserPermissions(std::initializer_list<TqzUserPermissionsType> members) {
        for (auto m : members) Include(m);
    }
    static constexpr TqzUserPermissions FromByte(uint8_t bits) {
        TqzUserPermissions p;
        p.FBits = bits;
        return p;
    }
    static constexpr TqzUserPermissions All() { return FromByte(0xFF); }

    constexpr uint8_t ToByte() const { return FBits; }
    constexpr bool Contains(TqzUserPermissionsType m) const { return (FBits & Bit(m)) != 0; }
    constexpr void Include(TqzUserPermissionsType m) { FBits = static_cast<uint8_t>(FBits | Bit(m)); }
    constexpr void Exclude(TqzUserPermissionsType m) { FBits = static_cast<uint8_t>(FBits & ~Bit(m)); }
    constexpr bool operator==(const TqzUserPermissions&) const = default;

private:
    static constexpr uint8_t Bit(TqzUserPermissionsType m) {
        return static_cast<uint8_t>(1u << static_cast<unsigned>(m));
    }
    uint8_t FBits = 0;
};

enum class TqzPDFEncryptionLevel : uint8_t { elRC4_40Bit, elRC4_128Bit, elAES_128Bit };
enum class TqzCryptAlgorithm : uint8_t { cryptRC4, cryptAES };

// Key length in bytes: 5, 16, 16.
constexpr uint32_t KeyLength(TqzPDFEncryptionLevel level) {
    return level == TqzPDFEncryptionLevel::elRC4_40Bit ? 5 : 16;
}

class TqzEncryptionSettings {
public:
    bool IsOwner() const { return FIsOwner; }
    void SetIsOwner(bool value) { FIsOwner = value; }
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value) { FEnabled = value; }
    TqzPDFEncryptionLevel Level() const { return FLevel; }
    void SetLevel(TqzPDFEncryptionLevel value) { FLevel = value; }
    // Read from a file: the text of /O and /U; for a save: the passwords.
    const std::string& OwnerPassword() const { return FOwnerPassword; }
    void SetOwnerPassword(const std::string& value) { FOwnerPassword = value; }
    const std::string& UserPassword() const { return FUserPassword; }
    void SetUserPassword(const std::string& value) { FUserPassword = value; }
    TqzUserPermissions UserPermissions() const { return FUserPermissions; }
    void SetUserPermissions(TqzUserPermissions value) { FUserPermissions = value; }
    // The first element of the file identifier.
    const std::string& FileID() const { return FFileID; }
    void SetFileID(const std::string& value) { FFileID = value; }
    // The raw /P value as read.
    int32_t Permission() const { return FPermission; }
    void SetPermission(int32_t value) { FPermission = value; }
    TqzCryptAlgorithm Algorithm() const { return FAlgorithm; }
    void SetAlgorithm(TqzCryptAlgorithm value) { FAlgorithm = value; }
    bool GetEncryptMetadata() const { return FEncryptMetadata; }
    void SetEncryptMetadata(bool value) { FEncryptMetadata = value; }

private:
    bool FIsOwner = true;
    bool FEnabled = false;
    TqzPDFEncryptionLevel FLevel = TqzPDFEncryptionLevel::elRC4_128Bit;
    std::string FOwnerPassword;
    std::string FUserPassword;
    TqzUserPermissions FUserPermissions;
    std::string FFileID;
    int32_t FPermission = 0;
    TqzCryptAlgorithm FAlgorithm = TqzCryptAlgorithm::cryptRC4;
    bool FEncryptMetadata = false;
};

// The component's published settings. Its level type shares a name with the
// one above in the original design, so it lives in its own namespace.
namespace published {

using qz::filters::TqzUserPermissions;
using qz::filters::TqzUserPermissionsType;

enum class TqzPDFEncryptionLevel : uint8_t { el40bit, el128bit };

class TqzPDFEncryptionSettings {
public:
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value) { FEnabled = value; }
    // A new object starts at el40bit.
    TqzPDFEncryptionLevel Level() const { return FLevel; }
    void SetLevel(TqzPDFEncryptionLevel value) { FLevel = value; }
    // Passwords as UTF-8 text.
    const std::string& OwnerPassword() const { return FOwnerPassword; }
    void SetOwnerPassword(const std::string& value) { FOwnerPassword = value; }
    const std::string& UserPassword() const { return FUserPassword; }
    void SetUserPassword(const std::string& value) { FUserPassword = value; }
    TqzUserPermissions UserPermissions() const { return FUserPermissions; }
    void SetUserPermissions(TqzUserPermissions value) { FUserPermissions = value; }

private:
    bool FEnabled = false;
    TqzPDFEncryptionLevel FLevel = TqzPDFEncryptionLevel::el40bit;
    std::string FOwnerPassword;
    std::string FUserPassword;
    TqzUserPermissions FUserPermissions;
};

}  // namespace published

}  // namespace qz::filters
