// The crypt stream and the key algorithms on their own: object keys, block
// reading and writing, AES framing errors, /P values, the password checks'
// side effects and the /Encrypt dictionary a save writes. Interoperation
// with qpdf is in Security_test.cpp.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <regex>

#include "core/Conversions.h"
#include "core/MemoryStream.h"
#include "core/PDArray.h"
#include "core/PDBoolean.h"
#include "core/PDString.h"
#include "core/PDBaseExceptions.h"
#include "core/PDDictionary.h"
#include "core/PDInteger.h"
#include "core/PDName.h"
#include "core/PDXRef.h"
#include "filters/CryptStream.h"
#include "filters/DocumentSecurity.h"
#include "filters/StandardSecurity.h"
#include "filters/tests/TestSupport.h"
#include "platform/Clock.h"
#include "platform/Random.h"

using namespace qz;
using namespace qz::filters;
using namespace qz::filters::test;

namespace {

std::string OpenSslMd5(const std::string& data) {
    unsigned char d[16];
    unsigned int n = 0;
    EVP_Digest(data.data(), data.size(), d, &n, EVP_md5(), nullptr);
    return std::string(reinterpret_cast<char*>(d), n);
}

std::string SavedText(core::TqzPDBaseObject& object) {
    core::TqzMemoryStream out;
    core::TqzPDXRef xref;
    object.SaveToStream(out, false, xref);
    return out.Bytes();
}

const char* MethodName(CryptMethod m) {
    return m == CryptMethod::RC4 ? "RC4" : m == CryptMethod::AESV2 ? "AESV2" : "Identity";
}

}  // namespace

TEST(ObjectKey, MaterialIsFileKeyNumberGenerationAndSaltOnceForAES) {
    const std::string fileKey40("\x01\x02\x03\x04\x05", 5);
    // Object 12, generation 0 of a 40-bit file: ten bytes of MD5(key, 0C 00 00 00 00).
    EXPECT_EQ(ObjectKey(fileKey40, CryptMethod::RC4, 12, 0),
              OpenSslMd5(fileKey40 + std::string("\x0C\x00\x00\x00\x00", 5)).substr(0, 10));
    const std::string fileKey128 = RandomBytes(16, 7);
    const std::string material = fileKey128 + std::string("\x34\x12\x00\x07\x00", 5);
    EXPECT_EQ(ObjectKey(fileKey128, CryptMethod::RC4, 0x1234, 7), OpenSslMd5(material));
    EXPECT_EQ(ObjectKey(fileKey128, CryptMethod::AESV2, 0x1234, 7), OpenSslMd5(material + "sAlT"));
    EXPECT_EQ(ObjectKey(fileKey128, CryptMethod::Identity, 1, 0), "");
}

TEST(CryptStream, ReadsInAnyPieceSizeWhatOneCallDecrypts) {
    const std::string key16 = RandomBytes(16, 3);
    for (CryptMethod method : {CryptMethod::RC4, CryptMethod::AESV2, CryptMethod::Identity}) {
        for (size_t length : {size_t{0}, size_t{1}, size_t{15}, size_t{16}, size_t{17}, size_t{200003}}) {
            SCOPED_TRACE(std::string(MethodName(method)) + " length " + std::to_string(length));
            const std::string plain = RandomBytes(length, static_cast<uint32_t>(length));
            const std::string cipher = EncryptWithObjectKey(method, key16, plain);
            ASSERT_TRUE(Same(DecryptWithObjectKey(method, key16, cipher), plain));
            TqzCryptStream stream(Mem(cipher), method, key16);
            EXPECT_EQ(stream.GetType(), core::TqzStreamType::stCrypt);
            EXPECT_EQ(stream.GetSize(), 0);
            for (uint32_t chunk : {1u, 7u, 4096u, 70000u, 300000u}) {
                stream.Reset();
                EXPECT_TRUE(Same(ReadBlocks(stream, chunk), plain)) << "chunk " << chunk;
            }
            stream.Reset();
            EXPECT_TRUE(Same(GetChars(stream), plain));
        }
    }
}

TEST(CryptStream, WritesInBlocksWhatOneCallEncrypts) {
    const std::string key16 = RandomBytes(16, 4);
    for (CryptMethod method : {CryptMethod::RC4, CryptMethod::AESV2}) {
        for (size_t length : {size_t{0}, size_t{5}, size_t{16}, size_t{65536}, size_t{200003}}) {
            SCOPED_TRACE(std::string(MethodName(method)) + " length " + std::to_string(length));
            const std::string plain = RandomBytes(length, 9);
            TqzCryptStream stream(Mem(plain), method, key16);
            core::TqzMemoryStream out;
            const int32_t written = stream.Write(out, 0);
            const std::string expected = EncryptWithObjectKey(method, key16, plain);
            EXPECT_TRUE(Same(out.Bytes(), expected));
            EXPECT_EQ(written, static_cast<int32_t>(expected.size()));
            // Read as a stream in any piece size, the same bytes.
            for (uint32_t chunk : {1u, 7u, 4096u, 70000u}) {
                TqzEncryptingStream reading(Mem(plain), method, key16);
                EXPECT_TRUE(Same(ReadBlocks(reading, chunk), expected)) << "chunk " << chunk;
            }
            TqzEncryptingStream byChar(Mem(plain), method, key16);
            EXPECT_TRUE(Same(GetChars(byChar), expected));
            // RC4 keeps the length; AES adds the vector and pads to whole blocks.
            const size_t want = method == CryptMethod::RC4 ? length : 16 + (length / 16 + 1) * 16;
            EXPECT_EQ(expected.size(), want);
        }
    }
    // A count takes only that many bytes of the source, from where it stands.
    const std::string plain = RandomBytes(1000, 5);
    auto source = Mem(plain);
    source->SetPosition(100, platform::SeekOrigin::Beginning);
    TqzCryptStream stream(source, CryptMethod::AESV2, key16);
    core::TqzMemoryStream out;
    stream.Write(out, 300);
    EXPECT_TRUE(Same(out.Bytes(), EncryptWithObjectKey(CryptMethod::AESV2, key16, plain.substr(100, 300))));
    // A failure reaches the caller: nothing is written short in silence.
    TqzCryptStream orphan(nullptr, CryptMethod::RC4, key16);
    EXPECT_THROW(orphan.Write(out, 0), core::streams::ExInvalidStream);
    EXPECT_THROW(TqzCryptStream(Mem("x"), CryptMethod::AESV2, "short key"), core::streams::ExInvalidKeyLen);
}

TEST(CryptStream, DamagedAESDataReadsAsAStringOfItDecrypts) {
    // A stream read in any piece size gives what the string rule gives:
    // whole blocks kept, a piece of a block dropped, nothing raised.
    const std::string key = RandomBytes(16, 11);
    const std::string plain = RandomBytes(100003, 12);
    const std::string good = EncryptWithObjectKey(CryptMethod::AESV2, key, plain);
    for (const std::string& data : {std::string(), good.substr(0, 1), good.substr(0, 16),
                                    good.substr(0, 21), good.substr(0, 70000 + 5), good + "xyz"}) {
        SCOPED_TRACE(data.size());
        const std::string expected = DecryptWithObjectKey(CryptMethod::AESV2, key, data);
        const size_t blocks = data.size() < 16 ? 0 : (data.size() - 16) / 16 * 16;
        EXPECT_TRUE(
            Same(expected, (std::string(plain) + std::string(16, '\x0D')).substr(0, blocks)));
        TqzCryptStream stream(Mem(data), CryptMethod::AESV2, key);
        for (uint32_t chunk : {5u, 4096u, 300000u}) {
            stream.Reset();
            EXPECT_TRUE(Same(ReadBlocks(stream, chunk), expected)) << "chunk " << chunk;
        }
    }
    // 32 bytes whose block is all padding decrypt to nothing.
    const std::string padOnly = EncryptWithObjectKey(CryptMethod::AESV2, key, "");
    ASSERT_EQ(padOnly.size(), 32u);
    TqzCryptStream stream(Mem(padOnly), CryptMethod::AESV2, key);
    EXPECT_EQ(ReadBlocks(stream, 5), "");
}

TEST(CryptStream, CiphertextBeginningFeFfIsDecryptedAsBytes) {
    // A ciphertext that looks like a UTF-16 marker must still decrypt byte for byte.
    const std::string key = RandomBytes(10, 12);
    const std::string keystream = EncryptWithObjectKey(CryptMethod::RC4, key, std::string(8, '\0'));
    std::string plain = "AB\x01\x02xyz!";
    plain[0] = static_cast<char>(keystream[0] ^ '\xFE');
    plain[1] = static_cast<char>(keystream[1] ^ '\xFF');
    const std::string cipher = EncryptWithObjectKey(CryptMethod::RC4, key, plain);
    ASSERT_EQ(cipher.substr(0, 2), "\xFE\xFF");
    EXPECT_EQ(DecryptWithObjectKey(CryptMethod::RC4, key, cipher), plain);
}

TEST(Permissions, PValueAndRightsFromP) {
    using enum TqzUserPermissionsType;
    struct Case {
        TqzUserPermissions rights;
        TqzPDFEncryptionLevel level;
        int32_t p;
    };
    const Case cases[] = {
        {{AllowPrint}, TqzPDFEncryptionLevel::elRC4_40Bit, -60},
        {{}, TqzPDFEncryptionLevel::elRC4_40Bit, -64},
        {TqzUserPermissions::All(), TqzPDFEncryptionLevel::elRC4_40Bit, -4},
        {TqzUserPermissions::All(), TqzPDFEncryptionLevel::elAES_128Bit, -4},
        {{}, TqzPDFEncryptionLevel::elRC4_128Bit, -3904},
        // High-resolution printing needs printing.
        {{AllowHighResPrint}, TqzPDFEncryptionLevel::elRC4_128Bit, -3904},
        {{AllowPrint, AllowHighResPrint}, TqzPDFEncryptionLevel::elRC4_128Bit, -3904 + 4 + 2048},
        {{AllowFormFill, AllowDocAssembly}, TqzPDFEncryptionLevel::elAES_128Bit, -3904 + 256 + 1024},
    };
    for (const Case& c : cases) EXPECT_EQ(PermissionValue(c.rights, c.level), c.p) << int(c.rights.ToByte());

    // Revision 2 knows only the four low rights and grants the others.
    EXPECT_EQ(PermissionsFromP(-64, 2).ToByte(), (TqzUserPermissions{AllowFormFill, AllowAccessibility, AllowDocAssembly,
                                                                     AllowHighResPrint})
                                                    .ToByte());
    EXPECT_EQ(PermissionsFromP(-3904, 3), TqzUserPermissions{});
    // An AES file whose /P clears 2048 withholds high-resolution printing only.
    TqzUserPermissions allButHighRes = TqzUserPermissions::All();
    allButHighRes.Exclude(AllowHighResPrint);
    EXPECT_EQ(PermissionsFromP(-4 - 2048, 4), allButHighRes);
}

TEST(StandardSecurity, PaddingComesOffExactly) {
    for (const std::string& pw : {std::string(), std::string("user"), std::string("x\x28"),
                                  std::string("\x28\xBF"), std::string(32, 'q')}) {
        EXPECT_EQ(StripPadding(PaddedPassword(pw)), pw);
    }
}

namespace {

// Counts every use of the process-wide generator.
class WatchedRandom final : public platform::RandomSource {
public:
    void Seed(uint32_t) override { ++uses; }
    uint32_t Next(uint32_t) override {
        ++uses;
        return 0;
    }
    int uses = 0;
};

TqzEncryptionSettings OutputSettings(TqzPDFEncryptionLevel level, const std::string& user, const std::string& owner,
                                     TqzUserPermissions rights) {
    TqzEncryptionSettings s;
    s.SetEnabled(true);
    s.SetLevel(level);
    s.SetUserPassword(user);
    s.SetOwnerPassword(owner);
    s.SetUserPermissions(rights);
    return s;
}

// The values of a file written with `output`'s dictionary.
EncryptDictionaryValues ValuesOf(const DocumentSecurity& output) {
    auto dict = output.MakeEncryptDictionary(nullptr);
    core::TqzPDArray id;
    id.Add(std::make_unique<core::TqzPDString>(core::StringToHex2(output.GetFileID()), true));
    return EncryptDictionaryValues::Read(*dict, &id);
}

}  // namespace

TEST(DocumentSecurity, OpensWhatItWroteAtEveryLevel) {
    using enum TqzUserPermissionsType;
    for (auto level : {TqzPDFEncryptionLevel::elRC4_40Bit, TqzPDFEncryptionLevel::elRC4_128Bit,
                       TqzPDFEncryptionLevel::elAES_128Bit}) {
        SCOPED_TRACE(int(level));
        auto output = DocumentSecurity::ForOutput(OutputSettings(level, "us", "ow", {AllowPrint, AllowCopy}), "D:2024");
        DocumentSecurity input(ValuesOf(*output));
        EXPECT_EQ(input.GetLevel(), level);
        TqzEncryptionSettings settings;
        ASSERT_TRUE(input.CheckPassword(settings, "us"));
        EXPECT_EQ(input.GetFileKey(), output->GetFileKey());
        EXPECT_EQ(settings.UserPermissions(), input.GetUserPermissions());
        EXPECT_TRUE(settings.UserPermissions().Contains(AllowPrint));
        EXPECT_FALSE(settings.UserPermissions().Contains(AllowModify));
        const std::string cipher = output->EncryptString("text", 4, 0);
        EXPECT_EQ(input.DecryptString(cipher, 4, 0), "text");
        EXPECT_NE(input.DecryptString(cipher, 5, 0), "text");
    }
}

TEST(DocumentSecurity, UserPasswordCheckLeavesTheSharedGeneratorAlone) {
    auto output = DocumentSecurity::ForOutput(
        OutputSettings(TqzPDFEncryptionLevel::elRC4_40Bit, "", "owner", {}), "");
    WatchedRandom shared;
    platform::SetRandomSource(&shared);
    platform::FixedClock clock(std::chrono::system_clock::time_point(std::chrono::seconds(1704164645)));  // 2024-01-02 03:04:05 UTC
    platform::SetClock(&clock);
    platform::LinearRandom own(42);
    DocumentSecurity input(ValuesOf(*output));
    input.SetOwnerPasswordRandom(&own);
    TqzEncryptionSettings settings;
    const bool opened = input.CheckPassword(settings, "");
    platform::SetClock(nullptr);
    platform::SetRandomSource(nullptr);
    ASSERT_TRUE(opened);
    EXPECT_EQ(shared.uses, 0);
    EXPECT_FALSE(settings.IsOwner());
    EXPECT_TRUE(settings.Enabled());
    platform::LinearRandom replay(42);
    EXPECT_EQ(settings.OwnerPassword(), "Veltrano20240102030405" + std::to_string(replay.Next(2147483647u)));
    // Without a source of its own the number comes from the system's entropy.
    DocumentSecurity again(ValuesOf(*output));
    TqzEncryptionSettings other;
    ASSERT_TRUE(again.CheckPassword(other, ""));
    EXPECT_TRUE(std::regex_match(other.OwnerPassword(), std::regex("Veltrano[0-9]{14}[0-9]{1,10}")));
}

TEST(DocumentSecurity, NothingDecryptsBeforeAPasswordIsAccepted) {
    auto output = DocumentSecurity::ForOutput(OutputSettings(TqzPDFEncryptionLevel::elRC4_128Bit, "u", "o", {}), "");
    DocumentSecurity input(ValuesOf(*output));
    EXPECT_THROW(input.DecryptString("abc", 1, 0), core::ExInvalidPassword);
    EXPECT_THROW(input.MakeDecryptStream(Mem("abc"), 1, 0), core::ExInvalidPassword);
    TqzEncryptionSettings settings;
    settings.SetLevel(TqzPDFEncryptionLevel::elAES_128Bit);
    EXPECT_FALSE(input.CheckPassword(settings, "wrong"));
    EXPECT_FALSE(settings.Enabled());  // untouched
    EXPECT_EQ(settings.Level(), TqzPDFEncryptionLevel::elAES_128Bit);
    try {
        input.Authenticate(settings, "wrong");
        FAIL() << "no exception";
    } catch (const core::ExInvalidPassword& e) {
        EXPECT_STREQ(e.what(), "Invalid password");
    }
}

TEST(DocumentSecurity, SaveValuesAndDictionary) {
    using enum TqzUserPermissionsType;
    auto rc4 = DocumentSecurity::ForOutput(OutputSettings(TqzPDFEncryptionLevel::elRC4_40Bit, "", "", {AllowPrint}), "");
    EXPECT_EQ(rc4->GetPermissionValue(), -60);
    // No creation date: the identifier is the MD5 of "Output1.pdf" alone.
    EXPECT_EQ(Hex(rc4->GetFileID()), "91c46192d01bc5ef2a13e101cf4ccf84");
    auto dict = rc4->MakeEncryptDictionary(nullptr);
    const std::string text = SavedText(*dict);
    EXPECT_TRUE(std::regex_match(text, std::regex("<</Filter /Standard /U <[0-9A-F]{64}> /O <[0-9A-F]{64}> /P -60 "
                                                  "/V 1 /R 2 /Length 40 >>")))
        << text;

    // Same date, same identifier; another date, another one.
    auto a = DocumentSecurity::ForOutput(OutputSettings(TqzPDFEncryptionLevel::elAES_128Bit, "u", "o", {}), "D:2020");
    auto b = DocumentSecurity::ForOutput(OutputSettings(TqzPDFEncryptionLevel::elAES_128Bit, "u", "o", {}), "D:2020");
    auto c = DocumentSecurity::ForOutput(OutputSettings(TqzPDFEncryptionLevel::elAES_128Bit, "u", "o", {}), "D:2021");
    EXPECT_EQ(a->GetFileID(), b->GetFileID());
    EXPECT_NE(a->GetFileID(), c->GetFileID());

    // An existing dictionary keeps nothing of an earlier encryption.
    core::TqzPDDictionary old;
    old.Add("Filter", std::make_unique<core::TqzPDName>("Standard"));
    old.Add("EncryptMetadata", std::make_unique<core::TqzPDBoolean>(false));
    old.Add("V", std::make_unique<core::TqzPDInteger>(1));
    old.Add("Foo", std::make_unique<core::TqzPDInteger>(7));
    a->FillEncryptDictionary(old);
    EXPECT_TRUE(std::regex_match(SavedText(old),
                                 std::regex("<</Filter /Standard /U <[0-9A-F]{64}> /O <[0-9A-F]{64}> /P -3904 /V 4 /R 4 "
                                            "/CF <</StdCF <</Length 16 /AuthEvent /DocOpen /CFM /AESV2 >> >> "
                                            "/StmF /StdCF /StrF /StdCF /Length 128 >>")))
        << SavedText(old);
}

TEST(DocumentSecurity, EncryptionItDoesNotReadIsRefusedClearly) {
    auto base = [] {
        EncryptDictionaryValues v;
        v.filter = "Standard";
        v.V = 2;
        v.R = 3;
        v.length = 128;
        v.P = -4;
        v.O = std::string(32, 'o');
        v.U = std::string(32, 'u');
        return v;
    };
    auto v4 = [&](const std::string& cfm) {
        EncryptDictionaryValues v = base();
        v.V = 4;
        v.R = 4;
        v.length.reset();
        v.cryptFilters["StdCF"] = {cfm, 16};
        v.stmF = v.strF = "StdCF";
        return v;
    };
    struct Case {
        EncryptDictionaryValues values;
        const char* message;
    };
    std::vector<Case> cases;
    cases.push_back({base(), nullptr});
    {
        auto v = base();
        v.filter = "Adobe.PubSec";
        cases.push_back({v, "Unsupported encryption: security handler /Adobe.PubSec"});
    }
    {
        auto v = base();
        v.V = 5;
        v.R = 6;
        cases.push_back({v, "Unsupported encryption: AES-256 (revision 6)"});
    }
    {
        auto v = base();
        v.R = 5;
        cases.push_back({v, "Unsupported encryption: AES-256 (revision 5)"});
    }
    {
        auto v = base();
        v.R = 7;
        cases.push_back({v, "Unsupported encryption: revision 7"});
    }
    {
        auto v = base();
        v.V = 3;
        cases.push_back({v, "Unsupported encryption: algorithm version 3"});
    }
    {
        auto v = base();
        v.length = 41;
        cases.push_back({v, "Unsupported encryption: key length of 41 bits"});
    }
    {
        auto v = base();
        v.length = 256;
        cases.push_back({v, "Unsupported encryption: key length of 256 bits"});
    }
    cases.push_back({v4("AESV2"), nullptr});
    cases.push_back({v4("V2"), nullptr});
    cases.push_back({v4("AESV3"), "Unsupported encryption: AES-256 (crypt filter /StdCF)"});
    cases.push_back({v4("None"), "Unsupported encryption: crypt filter method /None"});
    {
        auto v = v4("AESV2");
        v.stmF = "Other";
        cases.push_back({v, "Unsupported encryption: crypt filter /Other is not defined"});
    }
    for (const Case& c : cases) {
        if (!c.message) {
            EXPECT_NO_THROW(DocumentSecurity{c.values});
            continue;
        }
        try {
            DocumentSecurity s(c.values);
            ADD_FAILURE() << "accepted; expected " << c.message;
        } catch (const core::ExUnsupportedFeature& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }
    auto noO = base();
    noO.O.reset();
    EXPECT_THROW(DocumentSecurity{noO}, core::ExInvalidPDFFile);
}

TEST(DocumentSecurity, KeyLengthAndMethodsFollowTheDictionary) {
    EncryptDictionaryValues v;
    v.filter = "Standard";
    v.P = -4;
    v.O = std::string(32, 'o');
    v.U = std::string(32, 'u');
    struct Case {
        int64_t V, R;
        std::optional<int64_t> length, cfLength;
        std::string cfm;
        uint32_t keyLength;
        TqzPDFEncryptionLevel level;
    };
    const Case cases[] = {
        {1, 2, std::nullopt, std::nullopt, "", 5, TqzPDFEncryptionLevel::elRC4_40Bit},
        // Revision 2 is 40-bit whatever /Length says.
        {2, 2, 128, std::nullopt, "", 5, TqzPDFEncryptionLevel::elRC4_40Bit},
        // Revision 3 with a 40-bit key (the variant follows /R, not the key length).
        {2, 3, 40, std::nullopt, "", 5, TqzPDFEncryptionLevel::elRC4_40Bit},
        {2, 3, 56, std::nullopt, "", 7, TqzPDFEncryptionLevel::elRC4_128Bit},
        // Without /Length, 40 bits, whatever the version.
        {2, 3, std::nullopt, std::nullopt, "", 5, TqzPDFEncryptionLevel::elRC4_40Bit},
        {4, 4, std::nullopt, std::nullopt, "V2", 5, TqzPDFEncryptionLevel::elRC4_40Bit},
        // AESV2 is 128 bits whatever /Length says; a crypt filter's length in bytes or bits.
        {4, 4, std::nullopt, std::nullopt, "AESV2", 16, TqzPDFEncryptionLevel::elAES_128Bit},
        {4, 4, 40, 5, "AESV2", 16, TqzPDFEncryptionLevel::elAES_128Bit},
        {4, 4, std::nullopt, 16, "AESV2", 16, TqzPDFEncryptionLevel::elAES_128Bit},
        {4, 4, std::nullopt, 128, "V2", 16, TqzPDFEncryptionLevel::elRC4_128Bit},
        {4, 4, 128, 5, "V2", 16, TqzPDFEncryptionLevel::elRC4_128Bit},
    };
    for (const Case& c : cases) {
        v.V = c.V;
        v.R = c.R;
        v.length = c.length;
        v.cryptFilters.clear();
        v.stmF = v.strF = std::nullopt;
        if (c.V == 4) {
            v.cryptFilters["StdCF"] = {c.cfm, c.cfLength};
            v.stmF = v.strF = "StdCF";
        }
        DocumentSecurity s(v);
        EXPECT_EQ(s.GetKeyLength(), c.keyLength) << c.V << " " << c.R;
        EXPECT_EQ(s.GetLevel(), c.level) << c.V << " " << c.R;
    }
    // Strings and streams may differ; /Identity needs no definition.
    v.V = 4;
    v.R = 4;
    v.length.reset();
    v.cryptFilters.clear();
    v.cryptFilters["StdCF"] = {"AESV2", 16};
    v.stmF = "StdCF";
    v.strF = "Identity";
    DocumentSecurity mixed(v);
    EXPECT_EQ(mixed.StreamMethod(), CryptMethod::AESV2);
    EXPECT_EQ(mixed.StringMethod(), CryptMethod::Identity);
    v.stmF.reset();
    v.strF.reset();
    DocumentSecurity identity(v);
    EXPECT_EQ(identity.StreamMethod(), CryptMethod::Identity);
}

TEST(EncryptDictionaryValues, ReadTakesStringsByTheirOwnForm) {
    core::TqzPDDictionary encrypt;
    encrypt.Add("Filter", std::make_unique<core::TqzPDName>("Standard"));
    encrypt.Add("V", std::make_unique<core::TqzPDInteger>(4));
    encrypt.Add("R", std::make_unique<core::TqzPDInteger>(4));
    encrypt.Add("O", std::make_unique<core::TqzPDString>("41FE", true));
    encrypt.Add("U", std::make_unique<core::TqzPDString>("(u)", false));
    encrypt.Add("P", std::make_unique<core::TqzPDInteger>(-1028));
    encrypt.Add("EncryptMetadata", std::make_unique<core::TqzPDBoolean>(false));
    auto filters = std::make_unique<core::TqzPDDictionary>();
    auto stdcf = std::make_unique<core::TqzPDDictionary>();
    stdcf->Add("CFM", std::make_unique<core::TqzPDName>("AESV2"));
    stdcf->Add("Length", std::make_unique<core::TqzPDInteger>(16));
    filters->Add("StdCF", std::move(stdcf));
    encrypt.Add("CF", std::move(filters));
    encrypt.Add("StmF", std::make_unique<core::TqzPDName>("StdCF"));
    // Identifiers: a literal one of 32 characters is 32 bytes, a short
    // hexadecimal one its decoded bytes; no length rule decides.
    core::TqzPDArray literalId;
    literalId.Add(std::make_unique<core::TqzPDString>("0123456789ABCDEF0123456789ABCDEF", false));
    core::TqzPDArray hexId;
    hexId.Add(std::make_unique<core::TqzPDString>("0A0B", true));

    const auto v = EncryptDictionaryValues::Read(encrypt, &literalId);
    EXPECT_EQ(v.fileID, "0123456789ABCDEF0123456789ABCDEF");
    EXPECT_EQ(EncryptDictionaryValues::Read(encrypt, &hexId).fileID, "\x0A\x0B");
    EXPECT_EQ(EncryptDictionaryValues::Read(encrypt, nullptr).fileID, "");
    EXPECT_EQ(*v.O, "\x41\xFE");
    EXPECT_TRUE(v.ownerIsHex);
    EXPECT_EQ(*v.U, "(u)");
    EXPECT_FALSE(v.userIsHex);
    EXPECT_EQ(*v.P, -1028);
    EXPECT_FALSE(v.encryptMetadata);
    EXPECT_EQ(v.cryptFilters.at("StdCF").method, "AESV2");
    EXPECT_EQ(v.stmF, "StdCF");
    EXPECT_FALSE(v.strF.has_value());

    DocumentSecurity security(v);
    EXPECT_EQ(security.StreamMethod(), CryptMethod::AESV2);
    EXPECT_EQ(security.StringMethod(), CryptMethod::Identity);
    TqzEncryptionSettings read;
    security.FillFileSettings(read);
    EXPECT_EQ(read.OwnerPassword(), "<41FE>");
    EXPECT_EQ(read.UserPassword(), "((u))");
    EXPECT_EQ(read.Level(), TqzPDFEncryptionLevel::elAES_128Bit);
    EXPECT_EQ(read.Algorithm(), TqzCryptAlgorithm::cryptAES);
    EXPECT_EQ(read.Permission(), -1028);
    EXPECT_FALSE(read.GetEncryptMetadata());

    // Metadata stays plain when /EncryptMetadata is false; cross-reference
    // streams always do.
    core::TqzPDDictionary metadata, xref, page;
    metadata.Add("Type", std::make_unique<core::TqzPDName>("Metadata"));
    xref.Add("Type", std::make_unique<core::TqzPDName>("XRef"));
    EXPECT_FALSE(security.IsStreamEncrypted(metadata));
    EXPECT_FALSE(security.IsStreamEncrypted(xref));
    EXPECT_TRUE(security.IsStreamEncrypted(page));

    // A fresh dictionary for this handler reads back as the same encryption.
    const auto again = EncryptDictionaryValues::Read(*security.MakeEncryptDictionary(nullptr), &literalId);
    DocumentSecurity reread(again);
    EXPECT_EQ(reread.StreamMethod(), CryptMethod::AESV2);
    EXPECT_EQ(reread.StringMethod(), CryptMethod::Identity);
    EXPECT_EQ(reread.GetKeyLength(), 16u);
    EXPECT_FALSE(reread.GetEncryptMetadata());
}
