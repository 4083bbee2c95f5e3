// The standard security handler against qpdf: files qpdf encrypts at test
// time open with their passwords, give qpdf's file key, /O, /U and
// permissions, and decrypt string for string and stream for stream as qpdf
// does; files encrypted here open in qpdf with the same passwords and
// decrypt to the same content.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <map>
#include <regex>

#include "core/Conversions.h"
#include "core/MemoryStream.h"
#include "core/PDBaseExceptions.h"
#include "core/PDXRef.h"
#include "filters/CryptStream.h"
#include "filters/DocumentSecurity.h"
#include "filters/StandardSecurity.h"
#include "filters/tests/PdfText.h"
#include "filters/tests/TestSupport.h"
#include "testing/GTestSupport.h"
#include "testing/PdfBuilder.h"
#include "testing/TempDir.h"
#include "testing/Tools.h"

using namespace qz;
using namespace qz::filters;
using namespace qz::filters::test;
namespace fs = std::filesystem;
using qz::testing::QpdfEncryption;

namespace {

struct Level {
    QpdfEncryption qpdf;
    int32_t revision;
    TqzPDFEncryptionLevel level;
    const char* name;
};

const Level kLevels[] = {
    {QpdfEncryption::Rc4_40, 2, TqzPDFEncryptionLevel::elRC4_40Bit, "RC4-40"},
    {QpdfEncryption::Rc4_128, 3, TqzPDFEncryptionLevel::elRC4_128Bit, "RC4-128"},
    {QpdfEncryption::Aes128, 4, TqzPDFEncryptionLevel::elAES_128Bit, "AES-128"},
};

std::string Qpdf(std::vector<std::string> args) {
    args.insert(args.begin(), "qpdf");
    const qz::testing::RunResult r = qz::testing::RunProgram(args);
    if (r.exitCode != 0 && r.exitCode != 3) throw std::runtime_error(r.Describe());
    return r.out;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A plain two-page document with strings of every kind in its information
// dictionary: parentheses, binary bytes, an empty one, an 8-bit one.
fs::path PlainSource(const qz::testing::TempDir& dir) {
    qz::testing::PdfBuilder b = qz::testing::MinimalDocument(2, "SECRET", true);
    const int32_t info = b.Add("<< /Title (Secret \\(title\\)) /Subject <00FF10E9FEFF> /Author () /Keywords (caf\\351) >>");
    b.SetInfo(info);
    return dir.Write("plain.pdf", b.Write());
}

fs::path Encrypted(const qz::testing::TempDir& dir, const fs::path& source, const Level& level,
                   const std::string& user, const std::string& owner,
                   const std::vector<std::string>& restrictions = {}) {
    const fs::path out = dir.File(std::string("enc-") + std::to_string(level.revision) + "-" + user + "-" +
                                  std::to_string(restrictions.size()) + ".pdf");
    qz::testing::QpdfTransform(source, out, qz::testing::QpdfEncryptArgs(user, owner, level.qpdf, restrictions));
    return out;
}

// The /Encrypt values of a file as qpdf shows them, with the trailer's /ID.
EncryptDictionaryValues ReadValues(const fs::path& file, const std::string& password, uint32_t* encryptNumber = nullptr) {
    const auto trailer = ParsePdf(Qpdf({"--password=" + password, "--show-object=trailer", file.string()}));
    const auto& t = static_cast<const core::TqzPDDictionary&>(*trailer);
    const core::TqzPDBaseObject* ref = t.LookupRefObj("Encrypt");
    if (!ref || !ref->IsIndirectRef()) throw std::runtime_error("no /Encrypt reference");
    if (encryptNumber) *encryptNumber = ref->GetObjNumber();
    const auto encrypt = ParsePdf(
        Qpdf({"--password=" + password, "--show-object=" + std::to_string(ref->GetObjNumber()), file.string()}));
    return EncryptDictionaryValues::Read(static_cast<const core::TqzPDDictionary&>(*encrypt), t.LookupRefObj("ID"));
}

// qpdf's view of the passwords and rights: "name: allowed" lines and "K = V" lines.
std::map<std::string, std::string> ShowEncryption(const fs::path& file, const std::string& password) {
    std::map<std::string, std::string> out;
    const std::string text = Qpdf({"--password=" + password, "--show-encryption", "--show-encryption-key", file.string()});
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        size_t at = line.find(": ");
        if (at == std::string::npos) at = line.find(" = ");
        if (at == std::string::npos) {
            out[line] = "";
            continue;
        }
        out[line.substr(0, at)] = line.substr(at + (line[at] == ':' ? 2 : 3));
    }
    return out;
}

struct RawObject {
    uint32_t number = 0;
    uint32_t generation = 0;
    std::unique_ptr<core::TqzPDBaseObject> value;
    std::optional<std::string> streamData;
};

// Every uncompressed object of a qpdf-written file, read from its bytes as stored.
std::vector<RawObject> RawObjects(const fs::path& file, const std::string& password) {
    const std::string bytes = ReadFile(file);
    std::vector<RawObject> objects;
    std::istringstream xref(Qpdf({"--password=" + password, "--show-xref", file.string()}));
    const std::regex line(R"((\d+)/(\d+): uncompressed; offset = (\d+))");
    for (std::string text; std::getline(xref, text);) {
        std::smatch m;
        if (!std::regex_search(text, m, line)) continue;
        PdfText p(bytes, std::stoul(m[3]));
        RawObject o;
        o.number = static_cast<uint32_t>(std::stoul(p.Word()));
        o.generation = static_cast<uint32_t>(std::stoul(p.Word()));
        if (p.Word() != "obj") throw std::runtime_error("no obj at the offset of " + text);
        o.value = p.Object();
        p.SkipSpace();
        if (p.Starts("stream")) {
            size_t at = p.Position() + 6;
            if (bytes[at] == '\r') ++at;
            if (bytes[at] == '\n') ++at;
            const auto* length = static_cast<const core::TqzPDDictionary&>(*o.value).LookupRefObj("Length");
            if (!length || !length->IsInteger()) throw std::runtime_error("stream without a direct /Length");
            o.streamData = bytes.substr(at, static_cast<size_t>(static_cast<const core::TqzPDInteger*>(length)->GetValue()));
        }
        objects.push_back(std::move(o));
    }
    return objects;
}

std::string SavedText(core::TqzPDBaseObject& object) {
    core::TqzMemoryStream out;
    core::TqzPDXRef xref;
    object.SaveToStream(out, false, xref);
    return out.Bytes();
}

std::string HexUpper(const std::string& bytes) { return "<" + core::StringToHex2(bytes) + ">"; }

// What qpdf --show-object prints; for a stream, its dictionary.
std::unique_ptr<core::TqzPDBaseObject> ParseShown(const std::string& text) {
    const std::string streamNote = "Object is stream.";
    return ParsePdf(text.starts_with(streamNote) ? text.substr(text.find("<<")) : text);
}

}  // namespace

TEST(SecurityInterop, QpdfFilesOpenWithEveryPasswordAndGiveQpdfsKeys) {
    QZ_REQUIRE_TOOLS("qpdf");
    qz::testing::TempDir dir;
    const fs::path source = PlainSource(dir);
    for (const Level& level : kLevels) {
        for (const std::string user : {"user", ""}) {
            SCOPED_TRACE(std::string(level.name) + " user password \"" + user + "\"");
            const std::string owner = "owner";
            const fs::path file = Encrypted(dir, source, level, user, owner);
            const EncryptDictionaryValues values = ReadValues(file, owner);
            const std::string qpdfKey = ShowEncryption(file, user)["Encryption key"];

            DocumentSecurity asUser(values);
            EXPECT_EQ(asUser.GetRevision(), level.revision);
            EXPECT_EQ(asUser.GetLevel(), level.level);
            TqzEncryptionSettings userSettings;
            ASSERT_TRUE(asUser.CheckPassword(userSettings, user));
            EXPECT_FALSE(asUser.IsOwner());
            EXPECT_FALSE(userSettings.IsOwner());
            EXPECT_TRUE(userSettings.Enabled());
            EXPECT_EQ(userSettings.UserPassword(), user);
            EXPECT_EQ(userSettings.Level(), level.level);
            EXPECT_TRUE(std::regex_match(userSettings.OwnerPassword(), std::regex("Veltrano[0-9]{14}[0-9]{1,10}")));
            EXPECT_EQ(Hex(asUser.GetFileKey()), qpdfKey);

            // /O and /U are what the algorithms give for these passwords.
            const uint32_t n = asUser.GetKeyLength();
            EXPECT_EQ(*values.O, ComputeOwnerValue(owner, user, level.revision, n));
            const std::string u = ComputeUserValue(asUser.GetFileKey(), level.revision, values.fileID);
            const size_t compared = level.revision >= 3 ? 16 : 32;
            EXPECT_EQ(Hex(values.U->substr(0, compared)), Hex(u.substr(0, compared)));

            DocumentSecurity asOwner(values);
            TqzEncryptionSettings ownerSettings;
            ASSERT_TRUE(asOwner.CheckPassword(ownerSettings, owner));
            EXPECT_TRUE(asOwner.IsOwner());
            EXPECT_EQ(ownerSettings.UserPassword(), user);
            EXPECT_EQ(ownerSettings.OwnerPassword(), owner);
            EXPECT_EQ(ownerSettings.UserPermissions(), TqzUserPermissions::All());
            EXPECT_EQ(Hex(asOwner.GetFileKey()), qpdfKey);

            DocumentSecurity wrong(values);
            TqzEncryptionSettings untouched;
            EXPECT_FALSE(wrong.CheckPassword(untouched, "wrong"));
            EXPECT_THROW(wrong.Authenticate(untouched, "wrong"), core::ExInvalidPassword);
        }
    }
}

TEST(SecurityInterop, EveryStringAndStreamDecryptsAsQpdfDecryptsIt) {
    QZ_REQUIRE_TOOLS("qpdf");
    qz::testing::TempDir dir;
    const fs::path source = PlainSource(dir);
    for (const Level& level : kLevels) {
        SCOPED_TRACE(level.name);
        const fs::path file = Encrypted(dir, source, level, "user", "owner");
        uint32_t encryptNumber = 0;
        DocumentSecurity security(ReadValues(file, "user", &encryptNumber));
        TqzEncryptionSettings settings;
        ASSERT_TRUE(security.CheckPassword(settings, "user"));
        int strings = 0, streams = 0;
        for (const RawObject& raw : RawObjects(file, "user")) {
            if (raw.number == encryptNumber) continue;  // never encrypted
            const std::string number = std::to_string(raw.number);
            const auto shown = ParseShown(Qpdf({"--password=user", "--show-object=" + number, file.string()}));
            std::vector<const core::TqzPDString*> stored, decrypted;
            CollectStrings(*raw.value, stored);
            CollectStrings(*shown, decrypted);
            ASSERT_EQ(stored.size(), decrypted.size()) << "object " << number;
            for (size_t i = 0; i < stored.size(); ++i, ++strings) {
                EXPECT_TRUE(Same(security.DecryptString(stored[i]->GetBytes(), raw.number, raw.generation),
                                 decrypted[i]->GetBytes()))
                    << "object " << number << " string " << i;
            }
            if (raw.streamData) {
                ++streams;
                const std::string expected =
                    Qpdf({"--password=user", "--show-object=" + number, "--raw-stream-data", file.string()});
                auto stream = security.MakeDecryptStream(Mem(*raw.streamData), raw.number, raw.generation);
                EXPECT_EQ(stream->GetType(), core::TqzStreamType::stCrypt);
                stream->Reset();
                EXPECT_TRUE(Same(ReadBlocks(*stream, 4096), expected)) << "stream " << number;
            }
        }
        EXPECT_GE(strings, 4);
        EXPECT_GE(streams, 2);
    }
}

TEST(SecurityInterop, PermissionsMatchQpdf) {
    QZ_REQUIRE_TOOLS("qpdf");
    using enum TqzUserPermissionsType;
    qz::testing::TempDir dir;
    const fs::path source = PlainSource(dir);
    // qpdf's words for each right, and the rights revision 2 has.
    const std::pair<const char*, TqzUserPermissionsType> kWords[] = {
        {"print low resolution", AllowPrint},         {"modify other", AllowModify},
        {"extract for any purpose", AllowCopy},       {"modify annotations", AllowAnnotation},
        {"modify forms", AllowFormFill},              {"extract for accessibility", AllowAccessibility},
        {"modify document assembly", AllowDocAssembly}, {"print high resolution", AllowHighResPrint},
    };
    const std::vector<std::vector<std::string>> restrictions40 = {
        {"--print=n"}, {"--modify=n", "--annotate=n"}, {"--extract=n"}};
    const std::vector<std::vector<std::string>> restrictions128 = {
        {"--print=low"}, {"--print=none"}, {"--modify=none"},
        {"--extract=n", "--annotate=n", "--form=n", "--assemble=n", "--accessibility=n"}};
    for (const Level& level : kLevels) {
        for (const auto& r : level.revision == 2 ? restrictions40 : restrictions128) {
            SCOPED_TRACE(std::string(level.name) + " " + r.front());
            const fs::path file = Encrypted(dir, source, level, "u", "o", r);
            DocumentSecurity security(ReadValues(file, "o"));
            TqzEncryptionSettings settings;
            ASSERT_TRUE(security.CheckPassword(settings, "u"));
            auto qpdf = ShowEncryption(file, "u");
            EXPECT_EQ(std::to_string(security.GetPermissionValue()), qpdf["P"]);
            for (const auto& [words, right] : kWords) {
                const bool extended = right >= AllowFormFill;
                if (level.revision == 2 && extended) {
                    // Unknown to revision 2, so granted.
                    EXPECT_TRUE(settings.UserPermissions().Contains(right)) << words;
                    continue;
                }
                EXPECT_EQ(settings.UserPermissions().Contains(right), qpdf[words] == "allowed") << words;
            }
        }
    }
}

TEST(SecurityInterop, Aes256IsRefusedAsUnsupported) {
    QZ_REQUIRE_TOOLS("qpdf");
    qz::testing::TempDir dir;
    const fs::path file = dir.File("aes256.pdf");
    qz::testing::QpdfTransform(PlainSource(dir), file,
                               qz::testing::QpdfEncryptArgs("u", "o", QpdfEncryption::Aes256));
    const EncryptDictionaryValues values = ReadValues(file, "o");
    try {
        DocumentSecurity security(values);
        FAIL() << "AES-256 accepted";
    } catch (const core::ExUnsupportedFeature& e) {
        EXPECT_TRUE(std::string(e.what()).starts_with("Unsupported encryption: AES-256 (revision 6)")) << e.what();
    }
}

namespace {

struct OurFile {
    fs::path path;
    std::string content;
    std::map<std::string, std::string> info;  // key -> plain bytes
};

// A one-page document whose content stream and information strings are
// encrypted by `security`, with its /Encrypt dictionary and `id` (PDF text)
// in the trailer.
OurFile BuildEncrypted(const qz::testing::TempDir& dir, DocumentSecurity& security, const std::string& id,
                       const std::string& name) {
    OurFile f;
    f.content = "BT /F1 24 Tf 20 100 Td (Encrypted here) Tj ET\n0.5 g 20 20 100 40 re f\n";
    f.info["Title"] = "Title (with parentheses) and \\ backslash";
    f.info["Subject"] = std::string("\x00\xFF\x10" "binary\xE9", 10);
    f.info["Author"] = "";
    std::string feff = "UTF-16 look-alike ciphertext";
    if (security.StringMethod() == CryptMethod::RC4) {
        // Its ciphertext begins FE FF: it must be decrypted, not read as text.
        const std::string keystream = security.EncryptString(std::string(2, '\0'), 6, 0);
        feff[0] = static_cast<char>(keystream[0] ^ '\xFE');
        feff[1] = static_cast<char>(keystream[1] ^ '\xFF');
        EXPECT_EQ(security.EncryptString(feff, 6, 0).substr(0, 2), "\xFE\xFF");
    }
    f.info["Keywords"] = feff;

    qz::testing::PdfBuilder b;
    for (int i = 1; i <= 7; ++i) b.Reserve();
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Set(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Set(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Resources << /Font << /F1 5 0 R >> >> "
             "/Contents 4 0 R >>");
    // The stream goes through the crypt stream's encoder, in blocks.
    core::TqzMemoryStream data;
    security.MakeEncryptStream(Mem(f.content), 4, 0)->Write(data, 0);
    b.SetRawStream(4, "<< /Length " + std::to_string(data.Bytes().size()) + " >>", data.Bytes());
    b.Set(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    std::string info = "<<";
    for (const auto& [key, plain] : f.info) info += " /" + key + " " + HexUpper(security.EncryptString(plain, 6, 0));
    b.Set(6, info + " >>");
    b.SetInfo(6);
    auto dict = security.MakeEncryptDictionary(nullptr);
    b.Set(7, SavedText(*dict));
    b.TrailerExtra("/Encrypt 7 0 R /ID [" + id + " " + id + "]");
    qz::testing::WriteOptions options;
    options.writeId = false;
    options.version = "1.6";
    f.path = dir.Write(name, b.Write(options));
    return f;
}

// qpdf opens `f` with `password`, reports it as that kind of password, and
// decrypts it to the content and strings it was made from.
void ExpectQpdfReads(const OurFile& f, const std::string& password, const char* kind, int32_t p,
                     const qz::testing::TempDir& dir) {
    SCOPED_TRACE(std::string(kind) + " password \"" + password + "\"");
    const qz::testing::RunResult check =
        qz::testing::RunProgram({"qpdf", "--check", "--password=" + password, f.path.string()});
    EXPECT_EQ(check.exitCode, 0) << check.Describe();
    auto shown = ShowEncryption(f.path, password);
    EXPECT_TRUE(shown.count(std::string("Supplied password is ") + kind + " password")) << kind;
    EXPECT_EQ(shown["P"], std::to_string(p));
    const std::string pw = "--password=" + password;
    EXPECT_TRUE(Same(Qpdf({pw, "--show-object=4", "--filtered-stream-data", f.path.string()}), f.content));
    const auto info = ParsePdf(Qpdf({pw, "--show-object=6", f.path.string()}));
    for (const auto& [key, bytes] : f.info) {
        const auto* s = static_cast<const core::TqzPDDictionary&>(*info).LookUp(key);
        ASSERT_TRUE(s && s->IsString()) << key;
        EXPECT_TRUE(Same(static_cast<const core::TqzPDString*>(s)->GetBytes(), bytes)) << key;
    }
    const fs::path plain = dir.File("decrypted.pdf");
    qz::testing::QpdfTransform(f.path, plain, {pw, "--decrypt"});
    EXPECT_TRUE(qz::testing::QpdfCheckPasses(plain));
    EXPECT_NE(qz::testing::PdfToText(plain).find("Encrypted here"), std::string::npos);
}

}  // namespace

TEST(SecurityInterop, QpdfOpensWhatWeEncryptAtEveryLevel) {
    QZ_REQUIRE_TOOLS("qpdf", "pdftotext");
    using enum TqzUserPermissionsType;
    qz::testing::TempDir dir;
    for (const Level& level : kLevels) {
        for (const std::string user : {"user", ""}) {
            SCOPED_TRACE(std::string(level.name) + " user \"" + user + "\"");
            TqzEncryptionSettings settings;
            settings.SetEnabled(true);
            settings.SetLevel(level.level);
            settings.SetUserPassword(user);
            settings.SetOwnerPassword("owner");
            settings.SetUserPermissions({AllowPrint, AllowCopy, AllowFormFill});
            auto security = DocumentSecurity::ForOutput(settings, "D:20240102030405Z");
            const OurFile f = BuildEncrypted(dir, *security, HexUpper(security->GetFileID()),
                                             std::string(level.name) + user + ".pdf");
            ExpectQpdfReads(f, user, "user", security->GetPermissionValue(), dir);
            ExpectQpdfReads(f, "owner", "owner", security->GetPermissionValue(), dir);
            const qz::testing::RunResult wrong =
                qz::testing::RunProgram({"qpdf", "--check", "--password=wrong", f.path.string()});
            if (!user.empty()) {
                EXPECT_NE(wrong.exitCode, 0);
            }

            // And this handler reads the file back.
            DocumentSecurity reread(ReadValues(f.path, "owner"));
            TqzEncryptionSettings opened;
            ASSERT_TRUE(reread.CheckPassword(opened, user));
            EXPECT_EQ(reread.GetFileKey(), security->GetFileKey());
            EXPECT_EQ(opened.UserPermissions(), PermissionsFromP(security->GetPermissionValue(), level.revision));
        }
    }
}

TEST(SecurityInterop, Revision3With40BitKeyAndLiteralIdentifier) {
    // No tool writes revision 3 with a 40-bit key, though producers do; qpdf
    // reads it, so a file made here with the revision-3 steps over a 5-byte
    // key proves the variant follows /R. The identifier is a literal string
    // of 32 characters: its bytes count, not a hexadecimal reading of them.
    QZ_REQUIRE_TOOLS("qpdf", "pdftotext");
    qz::testing::TempDir dir;
    const std::string id = "0123456789ABCDEF0123456789ABCDEF";
    EncryptDictionaryValues v;
    v.filter = "Standard";
    v.V = 2;
    v.R = 3;
    v.length = 40;
    v.P = -3904 + 4;
    v.fileID = id;
    v.O = ComputeOwnerValue("owner", "user", 3, 5);
    StandardKeyValues kv{3, 5, *v.O, "", static_cast<int32_t>(*v.P), id, true};
    v.U = ComputeUserValue(ComputeFileKey(kv, "user"), 3, id);
    DocumentSecurity security(v);
    TqzEncryptionSettings settings;
    ASSERT_TRUE(security.CheckPassword(settings, "user"));
    EXPECT_EQ(security.GetKeyLength(), 5u);
    EXPECT_EQ(settings.Level(), TqzPDFEncryptionLevel::elRC4_40Bit);
    const OurFile f = BuildEncrypted(dir, security, "(" + id + ")", "r3-40.pdf");
    EXPECT_EQ(ShowEncryption(f.path, "user")["R"], "3");
    ExpectQpdfReads(f, "user", "user", kv.permissions, dir);
    // Read back through the trailer as qpdf shows it. (qpdf itself refuses
    // the owner password of such files: it hashes the owner key's 50 rounds
    // over 5 bytes where the standard hashes the whole digest, so the owner
    // side is checked here alone.)
    DocumentSecurity reread(ReadValues(f.path, "user"));
    EXPECT_EQ(reread.CheckUserPassword("user"), 0);
    EXPECT_EQ(reread.GetFileKey(), security.GetFileKey());
    std::string recovered;
    EXPECT_EQ(reread.CheckOwnerPassword("owner", recovered), 0);
    EXPECT_EQ(recovered, "user");
    EXPECT_EQ(reread.GetFileKey(), security.GetFileKey());
}

TEST(SecurityInterop, KeyLengthLeftOutIsFortyBitsUnlessOnly128Opens) {
    // Without /Length (nor a crypt filter's) a key is 40 bits; producers
    // that leave it out of 128-bit files are read at 128 once the password
    // shows that only that length opens them.
    QZ_REQUIRE_TOOLS("qpdf");
    qz::testing::TempDir dir;
    const fs::path source = PlainSource(dir);
    const fs::path v2 = Encrypted(dir, source, kLevels[1], "user", "owner");
    const fs::path v4 = Encrypted(dir, source, kLevels[1], "user", "owner", {"--force-V4"});

    EncryptDictionaryValues forty;
    forty.filter = "Standard";
    forty.V = 2;
    forty.R = 3;
    forty.P = -3904;
    forty.fileID = std::string(16, '\x21');
    forty.O = ComputeOwnerValue("owner", "user", 3, 5);
    const StandardKeyValues kv{3, 5, *forty.O, "", -3904, forty.fileID, true};
    forty.U = ComputeUserValue(ComputeFileKey(kv, "user"), 3, forty.fileID);

    const struct {
        const char* what;
        EncryptDictionaryValues values;
        uint32_t keyLength;
    } cases[] = {
        {"40-bit revision 3", forty, 5},
        {"128-bit revision 3", ReadValues(v2, "owner"), 16},
        {"128-bit crypt filter", ReadValues(v4, "owner"), 16},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EncryptDictionaryValues values = c.values;
        values.length.reset();
        for (auto& [name, filter] : values.cryptFilters) filter.length.reset();
        for (const std::string password : {"user", "owner"}) {
            DocumentSecurity security(values);
            EXPECT_EQ(security.GetKeyLength(), 5u);
            TqzEncryptionSettings settings;
            ASSERT_TRUE(security.CheckPassword(settings, password)) << password;
            EXPECT_EQ(security.GetKeyLength(), c.keyLength);
            const auto level = c.keyLength == 5 ? TqzPDFEncryptionLevel::elRC4_40Bit
                                                : TqzPDFEncryptionLevel::elRC4_128Bit;
            EXPECT_EQ(security.GetLevel(), level);
            EXPECT_EQ(settings.Level(), level);
        }
        DocumentSecurity refused(values);
        TqzEncryptionSettings untouched;
        EXPECT_FALSE(refused.CheckPassword(untouched, "wrong"));
        EXPECT_EQ(refused.GetKeyLength(), 5u);
    }
}
