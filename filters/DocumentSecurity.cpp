#include "filters/DocumentSecurity.h"

#include <cstdio>
#include <random>
#include <utility>

#include "core/Conversions.h"
#include "core/PDArray.h"
#include "core/PDBaseExceptions.h"
#include "core/PDBoolean.h"
#include "core/PDDictionary.h"
#include "core/PDInteger.h"
#include "core/PDName.h"
#include "core/PDString.h"
#include "filters/CryptStream.h"
#include "filters/MD5.h"
#include "platform/Clock.h"
#include "platform/Random.h"

namespace qz::filters {

namespace {

// The generated owner password's number is below this (a 31-bit range).
constexpr uint32_t kOwnerPasswordNumberRange = 2147483647u;
// Security handlers known by name: the standard one, read here, and the
// public-key one, refused as unsupported.
constexpr const char* kKnownSecurityHandlers[] = {"Standard", "Adobe.PubSec"};
// The name of the one crypt filter a save defines.
constexpr const char* kStandardCryptFilter = "StdCF";

[[noreturn]] void Unsupported(const std::string& what) {
    throw core::ExUnsupportedFeature("Unsupported encryption: " + what);
}

[[noreturn]] void Missing(const char* key) {
    throw core::ExInvalidPDFFile(std::string(core::ExInvalidPDFFile::kMessage) +
                                 ": the encryption dictionary has no valid /" + key);
}

std::optional<int64_t> IntegerOf(const core::TqzPDBaseObject* object) {
    if (!object || !object->IsInteger()) return std::nullopt;
    return static_cast<const core::TqzPDInteger*>(object)->GetValue();
}

std::optional<std::string> NameOf(const core::TqzPDBaseObject* object) {
    if (!object || !object->IsName()) return std::nullopt;
    return static_cast<const core::TqzPDName*>(object)->GetValue();
}

const core::TqzPDString* StringOf(const core::TqzPDBaseObject* object) {
    return object && object->IsString() ? static_cast<const core::TqzPDString*>(object) : nullptr;
}

CryptMethod MethodOfFilter(const EncryptDictionaryValues& values, const std::string& name) {
    // The reserved name needs no definition.
    if (name == "Identity") return CryptMethod::Identity;
    const auto it = values.cryptFilters.find(name);
    if (it == values.cryptFilters.end()) Unsupported("crypt filter /" + name + " is not defined");
    const std::string& method = it->second.method;
    if (method == "V2") return CryptMethod::RC4;
    if (method == "AESV2") return CryptMethod::AESV2;
    if (method == "AESV3") Unsupported("AES-256 (crypt filter /" + name + ")");
    if (method.empty()) Unsupported("crypt filter /" + name + " has no method");
    Unsupported("crypt filter method /" + method);
}

// The RC4 key length in bits the file gives: /Length, else (version 4) the
// /Length of the crypt filter in use, which producers write in bytes or
// bits; none when neither is there.
std::optional<int64_t> GivenKeyBits(const EncryptDictionaryValues& values, int64_t version) {
    if (values.length) return *values.length;
    if (version < 4) return std::nullopt;
    for (const auto& name : {values.stmF, values.strF}) {
        if (!name) continue;
        const auto it = values.cryptFilters.find(*name);
        if (it == values.cryptFilters.end() || !it->second.length) continue;
        const int64_t length = *it->second.length;
        return length <= static_cast<int64_t>(kMaxFileKeyLength) ? length * 8 : length;
    }
    return std::nullopt;
}

std::string Bracketed(const std::string& bytes, bool isHex) {
    // Appended, not prepended to a temporary string: GCC 12's optimiser
    // warns falsely (-Wrestrict) on "<" + std::string&& in a release build.
    const std::string inner = isHex ? core::StringToHex2(bytes) : bytes;
    std::string out;
    out.reserve(inner.size() + 2);
    out += isHex ? '<' : '(';
    out += inner;
    out += isHex ? '>' : ')';
    return out;
}

std::unique_ptr<core::TqzPDString> HexString(const std::string& bytes) {
    return std::make_unique<core::TqzPDString>(core::StringToHex2(bytes), true);
}

std::string GeneratedOwnerPassword(platform::RandomSource* random) {
    const platform::LocalDateTime now = platform::GetClock().LocalNow();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d%02d%02d%02d", now.year % 10000, now.month, now.day,
                  now.hour, now.minute, now.second);
    uint32_t number = 0;
    if (random) {
        number = random->Next(kOwnerPasswordNumberRange);
    } else {
        std::random_device entropy;
        number = static_cast<uint32_t>(entropy()) % kOwnerPasswordNumberRange;
    }
    return std::string("Veltrano") + stamp + std::to_string(number);
}

}  // namespace

// ---------------------------------------------------------------------------
// EncryptDictionaryValues

EncryptDictionaryValues EncryptDictionaryValues::Read(const core::TqzPDDictionary& encrypt,
                                                      const core::TqzPDBaseObject* id) {
    EncryptDictionaryValues v;
    v.filter = NameOf(encrypt.LookUp("Filter")).value_or("");
    v.V = IntegerOf(encrypt.LookUp("V"));
    v.R = IntegerOf(encrypt.LookUp("R"));
    v.length = IntegerOf(encrypt.LookUp("Length"));
    v.P = IntegerOf(encrypt.LookUp("P"));
    if (const auto* o = StringOf(encrypt.LookUp("O"))) {
        v.O = o->GetBytes();
        v.ownerIsHex = o->IsHexString();
    }
    if (const auto* u = StringOf(encrypt.LookUp("U"))) {
        v.U = u->GetBytes();
        v.userIsHex = u->IsHexString();
    }
    if (const auto* m = encrypt.LookUp("EncryptMetadata"); m && m->IsBoolean()) {
        v.encryptMetadata = static_cast<const core::TqzPDBoolean*>(m)->GetValue();
    }
    if (const auto* cf = encrypt.LookUp("CF"); cf && cf->IsDict()) {
        const auto& filters = *static_cast<const core::TqzPDDictionary*>(cf);
        for (int32_t i = 0; i < filters.GetLength(); ++i) {
            const auto* entry = filters.GetValue(i);
            if (!entry || !entry->IsDict()) continue;
            const auto& filter = *static_cast<const core::TqzPDDictionary*>(entry);
            CryptFilterValues values;
            values.method = NameOf(filter.LookUp("CFM")).value_or("");
            values.length = IntegerOf(filter.LookUp("Length"));
            v.cryptFilters[filters.GetKey(i)] = values;
        }
    }
    v.stmF = NameOf(encrypt.LookUp("StmF"));
    v.strF = NameOf(encrypt.LookUp("StrF"));
    if (id && id->IsArray()) {
        const auto& ids = *static_cast<const core::TqzPDArray*>(id);
        if (ids.GetLength() > 0) {
            if (const auto* first = StringOf(ids.Get(0))) v.fileID = first->GetBytes();
        }
    }
    return v;
}

// ---------------------------------------------------------------------------
// DocumentSecurity: reading

DocumentSecurity::DocumentSecurity(const EncryptDictionaryValues& values) {
    if (values.filter != "Standard") {
        Unsupported(values.filter.empty() ? std::string("no security handler named")
                                          : "security handler /" + values.filter);
    }
    if (!values.R) Unsupported("no revision given");
    const int64_t revision = *values.R;
    if (values.V == 5 || revision == 5 || revision == 6) {
        Unsupported("AES-256 (revision " + std::to_string(revision) + ")");
    }
    if (revision < 2 || revision > 4) Unsupported("revision " + std::to_string(revision));
    // Without /V the revision tells: 2 is RC4 of 40 bits, later ones RC4 of /Length.
    const int64_t version = values.V.value_or(revision == 2 ? 1 : 2);
    if (version != 1 && version != 2 && version != 4) {
        Unsupported("algorithm version " + std::to_string(version));
    }
    if (!values.O) Missing("O");
    if (!values.U) Missing("U");
    if (!values.P) Missing("P");

    if (version == 4) {
        FStreamMethod = MethodOfFilter(values, values.stmF.value_or("Identity"));
        FStringMethod = MethodOfFilter(values, values.strF.value_or("Identity"));
    } else {
        FStreamMethod = FStringMethod = CryptMethod::RC4;
    }

    uint32_t keyLength = kMinFileKeyLength;
    const bool aes = FStreamMethod == CryptMethod::AESV2 || FStringMethod == CryptMethod::AESV2;
    if (aes) {
        // AESV2 is AES-128: its key length is the method's, whatever /Length says.
        keyLength = kMaxFileKeyLength;
    } else if (revision >= 3 && version >= 2) {
        // Revision 2 and version 1 are 40-bit by definition, whatever
        // /Length says; later ones default to 40 bits too.
        if (const std::optional<int64_t> bits = GivenKeyBits(values, version)) {
            if (*bits % 8 != 0 || *bits < kMinFileKeyLength * 8 || *bits > kMaxFileKeyLength * 8) {
                Unsupported("key length of " + std::to_string(*bits) + " bits");
            }
            keyLength = static_cast<uint32_t>(*bits / 8);
        } else {
            FKeyLengthDefaulted = true;
        }
    }

    FVersion = static_cast<int32_t>(version);
    FKeyValues.revision = static_cast<int32_t>(revision);
    SetKeyLength(keyLength);
    FKeyValues.ownerValue = *values.O;
    FKeyValues.userValue = *values.U;
    // /P is a 32-bit field; files write it signed or unsigned.
    FKeyValues.permissions = static_cast<int32_t>(static_cast<uint32_t>(*values.P & 0xFFFFFFFF));
    FKeyValues.fileID = values.fileID;
    FKeyValues.encryptMetadata = values.encryptMetadata;
    FOwnerIsHex = values.ownerIsHex;
    FUserIsHex = values.userIsHex;
}

void DocumentSecurity::SetKeyLength(uint32_t keyLength) {
    FKeyValues.keyLength = keyLength;
    if (FStreamMethod == CryptMethod::AESV2 || FStringMethod == CryptMethod::AESV2) {
        FLevel = TqzPDFEncryptionLevel::elAES_128Bit;
    } else {
        FLevel = keyLength == 5 ? TqzPDFEncryptionLevel::elRC4_40Bit : TqzPDFEncryptionLevel::elRC4_128Bit;
    }
}

bool DocumentSecurity::IsKnownHandlerDictionary(const core::TqzPDDictionary& encrypt) {
    const std::optional<std::string> filter = NameOf(encrypt.LookUp("Filter"));
    if (!filter) return false;
    for (const char* known : kKnownSecurityHandlers) {
        if (*filter == known) return true;
    }
    return false;
}

std::unique_ptr<DocumentSecurity> DocumentSecurity::FromDictionary(const core::TqzPDDictionary& encrypt,
                                                                   const core::TqzPDBaseObject* id) {
    return std::make_unique<DocumentSecurity>(EncryptDictionaryValues::Read(encrypt, id));
}

int32_t DocumentSecurity::CheckOwnerPassword(const std::string& password, std::string& userPassword) {
    // /O holds the padded user password; checking it whole avoids guessing
    // where the password ends.
    const std::string padded = DecryptOwnerValue(FKeyValues, password);
    auto key = AuthenticateUser(FKeyValues, padded);
    if (!key) return -1;
    FFileKey = std::move(key);
    FIsOwner = true;
    FLastKey.reset();
    userPassword = StripPadding(padded);
    return 0;
}

int32_t DocumentSecurity::CheckUserPassword(const std::string& password) {
    auto key = AuthenticateUser(FKeyValues, password);
    if (!key) return -1;
    FFileKey = std::move(key);
    FIsOwner = false;
    FLastKey.reset();
    return 0;
}

bool DocumentSecurity::CheckPassword(TqzEncryptionSettings& settings, const std::string& password) {
    if (TryPassword(settings, password)) return true;
    if (!FKeyLengthDefaulted) return false;
    // Without a key length the key is 40 bits, but some producers leave
    // /Length out of 128-bit files: the password check tells which.
    SetKeyLength(kMaxFileKeyLength);
    if (TryPassword(settings, password)) return true;
    SetKeyLength(kMinFileKeyLength);
    return false;
}

bool DocumentSecurity::TryPassword(TqzEncryptionSettings& settings, const std::string& password) {
    std::string userPassword;
    if (CheckOwnerPassword(password, userPassword) == 0) {
        settings.SetEnabled(true);
        settings.SetOwnerPassword(password);
        settings.SetUserPassword(userPassword);
        settings.SetUserPermissions(TqzUserPermissions::All());
        settings.SetLevel(FLevel);
        settings.SetAlgorithm(GetAlgorithm());
        return true;
    }
    if (CheckUserPassword(password) != 0) return false;
    settings.SetEnabled(true);
    settings.SetUserPassword(password);
    settings.SetUserPermissions(GetUserPermissions());
    settings.SetLevel(FLevel);
    settings.SetAlgorithm(GetAlgorithm());
    settings.SetIsOwner(false);
    settings.SetOwnerPassword(GeneratedOwnerPassword(FRandom));
    return true;
}

void DocumentSecurity::Authenticate(TqzEncryptionSettings& settings, const std::string& password) {
    if (!CheckPassword(settings, password)) throw core::ExInvalidPassword();
}

TqzUserPermissions DocumentSecurity::GetUserPermissions() const {
    if (FIsOwner) return TqzUserPermissions::All();
    return PermissionsFromP(FKeyValues.permissions, FKeyValues.revision);
}

TqzCryptAlgorithm DocumentSecurity::GetAlgorithm() const {
    return FLevel == TqzPDFEncryptionLevel::elAES_128Bit ? TqzCryptAlgorithm::cryptAES : TqzCryptAlgorithm::cryptRC4;
}

const std::string& DocumentSecurity::GetFileKey() const {
    if (!FFileKey) throw core::ExInvalidPassword();
    return *FFileKey;
}

void DocumentSecurity::FillFileSettings(TqzEncryptionSettings& settings) const {
    settings.SetLevel(FLevel);
    settings.SetAlgorithm(GetAlgorithm());
    settings.SetPermission(FKeyValues.permissions);
    settings.SetFileID(FKeyValues.fileID);
    settings.SetEncryptMetadata(FKeyValues.encryptMetadata);
    settings.SetOwnerPassword(Bracketed(FKeyValues.ownerValue, FOwnerIsHex));
    settings.SetUserPassword(Bracketed(FKeyValues.userValue, FUserIsHex));
}

const std::string& DocumentSecurity::ObjectKeyFor(CryptMethod method, uint32_t objNumber, uint32_t genNumber) {
    const std::string& fileKey = GetFileKey();
    if (!FLastKey || FLastKey->method != method || FLastKey->objNumber != objNumber ||
        FLastKey->genNumber != genNumber) {
        FLastKey = CachedKey{method, objNumber, genNumber, ObjectKey(fileKey, method, objNumber, genNumber)};
    }
    return FLastKey->key;
}

std::string DocumentSecurity::DecryptString(const std::string& bytes, uint32_t objNumber, uint32_t genNumber) {
    return DecryptWithObjectKey(FStringMethod, ObjectKeyFor(FStringMethod, objNumber, genNumber), bytes);
}

bool DocumentSecurity::IsStreamEncrypted(const core::TqzPDDictionary& streamDict) const {
    if (FStreamMethod == CryptMethod::Identity) return false;
    const core::TqzPDBaseObject* type = streamDict.LookUp("Type");
    if (type && type->IsName("XRef")) return false;
    if (type && type->IsName("Metadata") && !FKeyValues.encryptMetadata) return false;
    return true;
}

core::TqzStreamPtr DocumentSecurity::MakeDecryptStream(core::TqzStreamPtr raw, uint32_t objNumber,
                                                       uint32_t genNumber) {
    GetFileKey();
    if (FStreamMethod == CryptMethod::Identity) return raw;
    return std::make_shared<TqzCryptStream>(std::move(raw), FStreamMethod,
                                            ObjectKeyFor(FStreamMethod, objNumber, genNumber));
}

std::string DocumentSecurity::EncryptString(const std::string& bytes, uint32_t objNumber, uint32_t genNumber) {
    return EncryptWithObjectKey(FStringMethod, ObjectKeyFor(FStringMethod, objNumber, genNumber), bytes);
}

std::string DocumentSecurity::EncryptStreamData(const std::string& bytes, uint32_t objNumber,
                                                uint32_t genNumber) {
    return EncryptWithObjectKey(FStreamMethod, ObjectKeyFor(FStreamMethod, objNumber, genNumber), bytes);
}

core::TqzStreamPtr DocumentSecurity::MakeEncryptStream(core::TqzStreamPtr plain, uint32_t objNumber,
                                                       uint32_t genNumber) {
    GetFileKey();
    if (FStreamMethod == CryptMethod::Identity) return plain;
    return std::make_shared<TqzCryptStream>(std::move(plain), FStreamMethod,
                                            ObjectKeyFor(FStreamMethod, objNumber, genNumber));
}

// ---------------------------------------------------------------------------
// DocumentSecurity: writing

std::unique_ptr<DocumentSecurity> DocumentSecurity::ForOutput(const TqzEncryptionSettings& settings,
                                                              const std::string& creationDate) {
    std::unique_ptr<DocumentSecurity> s(new DocumentSecurity());
    const TqzPDFEncryptionLevel level = settings.Level();
    s->FLevel = level;
    switch (level) {
        case TqzPDFEncryptionLevel::elRC4_40Bit:
            s->FVersion = 1;
            s->FKeyValues.revision = 2;
            break;
        case TqzPDFEncryptionLevel::elRC4_128Bit:
            s->FVersion = 2;
            s->FKeyValues.revision = 3;
            break;
        case TqzPDFEncryptionLevel::elAES_128Bit:
            s->FVersion = 4;
            s->FKeyValues.revision = 4;
            break;
    }
    const CryptMethod method =
        level == TqzPDFEncryptionLevel::elAES_128Bit ? CryptMethod::AESV2 : CryptMethod::RC4;
    s->FStreamMethod = s->FStringMethod = method;

    StandardKeyValues& kv = s->FKeyValues;
    kv.keyLength = KeyLength(level);
    const std::string seed = "Output1.pdf" + creationDate;
    TqzMD5Context md5;
    MD5Init(md5);
    MD5Update(md5, seed.data(), seed.size());
    uint8_t id[16];
    MD5Final(md5, id);
    kv.fileID.assign(reinterpret_cast<const char*>(id), 16);
    kv.permissions = PermissionValue(settings.UserPermissions(), level);
    // Written documents always encrypt their metadata.
    kv.encryptMetadata = true;
    kv.ownerValue = ComputeOwnerValue(settings.OwnerPassword(), settings.UserPassword(), kv.revision,
                                      kv.keyLength);
    s->FFileKey = ComputeFileKey(kv, settings.UserPassword());
    kv.userValue = ComputeUserValue(*s->FFileKey, kv.revision, kv.fileID);
    s->FIsOwner = true;
    return s;
}

std::unique_ptr<core::TqzPDDictionary> DocumentSecurity::MakeEncryptDictionary(core::TqzParentDocument* doc) const {
    auto dict = std::make_unique<core::TqzPDDictionary>(doc);
    FillEncryptDictionary(*dict);
    return dict;
}

void DocumentSecurity::FillEncryptDictionary(core::TqzPDDictionary& dict) const {
    dict.GetDict()->Entries().clear();
    dict.Add("Filter", std::make_unique<core::TqzPDName>("Standard"));
    dict.Add("U", HexString(FKeyValues.userValue));
    dict.Add("O", HexString(FKeyValues.ownerValue));
    dict.Add("P", std::make_unique<core::TqzPDInteger>(FKeyValues.permissions));
    dict.Add("V", std::make_unique<core::TqzPDInteger>(FVersion));
    dict.Add("R", std::make_unique<core::TqzPDInteger>(FKeyValues.revision));
    if (FVersion == 4) {
        // One crypt filter serves both kinds of data unless a loaded file
        // encrypted them differently.
        auto filterFor = [&](CryptMethod method) {
            auto filter = std::make_unique<core::TqzPDDictionary>(dict.GetParentDoc());
            filter->Add("Length", std::make_unique<core::TqzPDInteger>(static_cast<int32_t>(FKeyValues.keyLength)));
            filter->Add("AuthEvent", std::make_unique<core::TqzPDName>("DocOpen"));
            filter->Add("CFM", std::make_unique<core::TqzPDName>(method == CryptMethod::AESV2 ? "AESV2" : "V2"));
            return filter;
        };
        const CryptMethod main = FStreamMethod != CryptMethod::Identity ? FStreamMethod : FStringMethod;
        const bool second = FStringMethod != CryptMethod::Identity && FStringMethod != main;
        auto filters = std::make_unique<core::TqzPDDictionary>(dict.GetParentDoc());
        if (main != CryptMethod::Identity) filters->Add(kStandardCryptFilter, filterFor(main));
        if (second) filters->Add("StrCF", filterFor(FStringMethod));
        auto nameFor = [&](CryptMethod method, bool isString) -> std::string {
            if (method == CryptMethod::Identity) return "Identity";
            return isString && second ? "StrCF" : kStandardCryptFilter;
        };
        dict.Add("CF", std::move(filters));
        dict.Add("StmF", std::make_unique<core::TqzPDName>(nameFor(FStreamMethod, false)));
        dict.Add("StrF", std::make_unique<core::TqzPDName>(nameFor(FStringMethod, true)));
        if (!FKeyValues.encryptMetadata) dict.Add("EncryptMetadata", std::make_unique<core::TqzPDBoolean>(false));
    }
    dict.Add("Length", std::make_unique<core::TqzPDInteger>(static_cast<int32_t>(FKeyValues.keyLength * 8)));
}

}  // namespace qz::filters
