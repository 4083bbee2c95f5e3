#include "document/PDBaseDoc.h"

#include <gtest/gtest.h>

#include <cctype>

#include "core/Conversions.h"
#include "core/Limits.h"
#include "core/PDArray.h"
#include "core/PDBaseExceptions.h"
#include "core/PDDictionary.h"
#include "core/PDIndirectRef.h"
#include "core/PDInteger.h"
#include "core/PDName.h"
#include "core/PDReader.h"
#include "core/PDString.h"
#include "core/PDXRef.h"
#include "document/tests/DocumentTestSupport.h"
#include "filters/Registration.h"
#include "testing/GTestSupport.h"
#include "testing/PdfBuilder.h"
#include "testing/TempDir.h"
#include "testing/Tools.h"

namespace qz::document {
namespace {

using qz::testing::MinimalDocument;
using qz::testing::PdfBuilder;

class BaseDocTest : public ::testing::Test {
protected:
    void SetUp() override { filters::RegisterFilters(); }

    // A base document loaded from `bytes` with `password`.
    static std::unique_ptr<TqzPDBaseDoc> Load(const std::string& bytes, const std::string& password = "") {
        auto doc = std::make_unique<TqzPDBaseDoc>();
        doc->LoadDocument(MemoryFile(bytes), password);
        return doc;
    }
};

TEST_F(BaseDocTest, CatalogErrorsNameTheirCause) {
    struct Case {
        const char* name;
        std::string bytes;
        std::string message;
    };
    PdfBuilder noRoot;
    noRoot.Set(1, "<< /Type /Pages /Kids [] /Count 0 >>");
    noRoot.SetRoot(99);  // a reference to nothing
    PdfBuilder integerRoot;
    integerRoot.Set(1, "42");
    integerRoot.SetRoot(1);
    PdfBuilder noPages;
    noPages.Set(1, "<< /Type /Catalog >>");
    PdfBuilder pagesNotDict;
    pagesNotDict.Set(1, "<< /Type /Catalog /Pages 7 >>");
    const Case cases[] = {
        {"no root object", noRoot.Write(), core::ExBadRootObj::kMessage},
        {"root is an integer", integerRoot.Write(), core::ExBadRootObj::kMessage},
        {"catalog without /Pages", noPages.Write(), core::ExNoPageTreeObj::kMessage},
        {"/Pages not a dictionary", pagesNotDict.Write(), core::ExNoPageTreeObj::kMessage},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto doc = Load(c.bytes);
        try {
            doc->GetDocRoot();
            ADD_FAILURE() << "no exception";
        } catch (const core::EBrevanto& e) {
            EXPECT_EQ(e.what(), c.message);
        }
    }
}

TEST_F(BaseDocTest, OnlyTheTrailersRootIsTheCatalog) {
    // Object 5 looks like a catalog and is reached through a reference; it
    // must not replace the real one.
    PdfBuilder b = MinimalDocument(1);
    b.Set(5, "<< /Type /Catalog /Pages 2 0 R /Stale true >>");
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R /Other 5 0 R >>");
    auto doc = Load(b.Write());
    core::TqzPDDictionary* root = doc->GetDocRoot();
    ASSERT_NE(root, nullptr);
    core::TqzPDBaseObject* stale = root->LookUp("Other");
    ASSERT_NE(stale, nullptr);
    EXPECT_NE(stale, root);
    EXPECT_EQ(doc->GetDocRoot(), root);
    EXPECT_EQ(doc->GetObject(1), root);
    EXPECT_EQ(doc->GetObject(5), stale);
    EXPECT_EQ(root->LookUp("Stale"), nullptr);
}

TEST_F(BaseDocTest, ObjectsAreFetchedOnceAndMissingOnesAreNone) {
    auto doc = Load(MinimalDocument(2).Write());
    doc->GetDocRoot();
    core::TqzPDBaseObject* font = doc->GetObject(3);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(doc->GetObject(3), font);
    EXPECT_EQ(doc->GetObject(0), nullptr);
    EXPECT_EQ(doc->GetObject(500), nullptr);
    EXPECT_EQ(doc->GetObject(core::kMaxObjectNumber + 10), nullptr);
}

TEST_F(BaseDocTest, MissingInfoIsMadeAboveTheLastNumberAndReferenced) {
    auto doc = Load(MinimalDocument(1).Write());  // objects 1 to 5, no /Info
    const uint32_t last = doc->GetLastObjectNumber();
    core::TqzPDDictionary* info = doc->GetDocInfo();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->GetObjNumber(), last + 1);
    EXPECT_EQ(info->GetGenNumber(), 0u);
    EXPECT_EQ(doc->GetLastObjectNumber(), last + 1);
    EXPECT_EQ(TextOf(info->LookUp("Producer")), kBaseDocProducer);
    const core::TqzPDBaseObject* ref = doc->GetTrailer()->LookupRefObj("Info");
    ASSERT_NE(ref, nullptr);
    ASSERT_TRUE(ref->IsIndirectRef());
    EXPECT_EQ(ref->GetObjNumber(), last + 1);
    EXPECT_EQ(doc->GetObject(last + 1), info);
    EXPECT_EQ(doc->GetDocInfo(), info);
}

TEST_F(BaseDocTest, HexCreationDateBecomesLiteral) {
    PdfBuilder b = MinimalDocument(1);
    const int32_t info = b.Add("<< /CreationDate <443A3230323130333034> /Title (T) >>");
    b.SetInfo(info);
    auto doc = Load(b.Write());
    const auto* date = doc->GetDocInfo()->LookUp("CreationDate");
    ASSERT_NE(date, nullptr);
    ASSERT_TRUE(date->IsString());
    EXPECT_FALSE(static_cast<const core::TqzPDString*>(date)->IsHexString());
    EXPECT_EQ(static_cast<const core::TqzPDString*>(date)->GetString(), "D:20210304");
}

TEST_F(BaseDocTest, TrailerDropsPrevOnlyForFullSaves) {
    auto doc = Load(MinimalDocument(1).Write());
    doc->GetTrailer()->Add("Prev", std::make_unique<core::TqzPDInteger>(1234));
    EXPECT_NE(doc->GetTrailer()->LookupRefObj("Prev"), nullptr);
    core::TqzPDSaveOptions options;
    options.Full = true;
    doc->SetSaveOptions(options);
    EXPECT_EQ(doc->GetTrailer()->LookupRefObj("Prev"), nullptr);
}

TEST_F(BaseDocTest, UserSettingsNoneKeepsTheEarlierOnes) {
    auto doc = Load(MinimalDocument(1).Write());
    auto settings = std::make_unique<filters::TqzEncryptionSettings>();
    settings->SetOwnerPassword("o");
    doc->SetUserEncryptionSettings(std::move(settings));
    doc->SetUserEncryptionSettings(nullptr);
    ASSERT_NE(doc->GetUserEncryptionSettings(), nullptr);
    EXPECT_EQ(doc->GetUserEncryptionSettings()->OwnerPassword(), "o");
}

TEST_F(BaseDocTest, DocIdIsReadAndReplacedInPlace) {
    auto doc = Load(MinimalDocument(1).Write());  // the builder writes an /ID
    std::string instance = "unchanged";
    std::string permanent = "unchanged";
    doc->GetDocID(instance, permanent);
    EXPECT_NE(instance, "unchanged");
    doc->SetDocID("0011", "AABB");
    instance.clear();
    permanent.clear();
    doc->GetDocID(instance, permanent);
    EXPECT_EQ(instance, "0011");
    EXPECT_EQ(permanent, "AABB");
}

TEST_F(BaseDocTest, ObjectTableSurvivesSavesAndASecondSaveIsComplete) {
    qz::testing::TempDir dir("qz-basedoc");
    auto doc = Load(MinimalDocument(2).Write());
    core::TqzPDDictionary* root = doc->GetDocRoot();
    core::TqzPDBaseObject* font = doc->GetObject(3);
    // An object made by the model lives only in the table.
    auto made = std::make_unique<core::TqzPDDictionary>(doc.get());
    made->Add("Made", std::make_unique<core::TqzPDName>("Here"));
    core::TqzPDBaseObject* added = doc->AddNewObject(std::move(made));
    root->Add("Extra", std::make_unique<core::TqzPDIndirectRef>(added->GetObjNumber(), 0));

    core::TqzPDSaveOptions options;
    options.Full = true;
    options.Header = "%PDF-1.4\r\n";
    doc->SetSaveOptions(options);
    doc->SaveDocument(dir.File("first.pdf"));
    // The pointers are still good and the second save writes everything again.
    EXPECT_EQ(doc->GetObject(3), font);
    EXPECT_TRUE(font->IsDict());
    doc->SaveDocument(dir.File("second.pdf"));
    const std::string first = platform::ReadFileBytes(dir.File("first.pdf"));
    const std::string second = platform::ReadFileBytes(dir.File("second.pdf"));
    // The same objects under the same numbers and the same trailer (stream
    // data is not compared here).
    const auto objects = [](const std::string& text) {
        int32_t count = 0;
        for (size_t p = text.find(" 0 obj"); p != std::string::npos; p = text.find(" 0 obj", p + 1)) ++count;
        return count;
    };
    const auto trailer = [](const std::string& text) {
        const size_t start = text.find("trailer");
        return text.substr(start, text.find("startxref") - start);
    };
    EXPECT_EQ(objects(first), 9);
    EXPECT_EQ(objects(second), objects(first));
    EXPECT_EQ(trailer(second), trailer(first));

    auto again = std::make_unique<TqzPDBaseDoc>();
    again->LoadDocument(dir.File("second.pdf"), "");
    const auto* extra = again->GetDocRoot()->LookUp("Extra");
    ASSERT_NE(extra, nullptr);
    ASSERT_TRUE(extra->IsDict());
    EXPECT_TRUE(static_cast<const core::TqzPDDictionary*>(extra)->LookUp("Made")->IsName("Here"));
}

TEST_F(BaseDocTest, LinearizationDictionaryIsFoundOnlyFirst) {
    auto linearized = Load(MinimalDocument(2).Write({.form = qz::testing::XrefForm::Linearized}));
    core::TqzPDDictionary* dict = linearized->GetLinearized();
    ASSERT_NE(dict, nullptr);
    EXPECT_NE(dict->LookUp("Linearized"), nullptr);
    EXPECT_EQ(linearized->GetLinearized(), dict);
    EXPECT_EQ(Load(MinimalDocument(2).Write())->GetLinearized(), nullptr);
}

TEST_F(BaseDocTest, SaveToEmptyNameIsRefused) {
    auto doc = Load(MinimalDocument(1).Write());
    EXPECT_THROW(doc->SaveDocument(std::filesystem::path()), core::ExInvalidFileName);
}

TEST_F(BaseDocTest, MissingFileIsReported) {
    TqzPDBaseDoc doc;
    EXPECT_THROW(doc.LoadDocument(std::filesystem::path("/nonexistent/x.pdf"), ""), core::ExFileNotFound);
    EXPECT_THROW(doc.LoadDocument(std::shared_ptr<platform::Stream>(), ""), core::ExInvalidStream);
    EXPECT_THROW(doc.LoadDocument(MemoryFile(""), ""), core::ExInvalidPDFFile);
}

TEST_F(BaseDocTest, RepairedTrailerNamingNoSecurityHandlerLeavesTheFileUnencrypted) {
    // A trailer the repair found may belong to an older revision or to a file
    // embedded in this one: when its /Encrypt leads to no security handler's
    // dictionary, the file is read as it is. An intact trailer naming the same
    // is refused clearly.
    const struct {
        const char* what;
        std::string encrypt;
        std::string object6;
        bool intactRefused;
    } cases[] = {
        {"a missing object", "/Encrypt 40 0 R", "null", false},
        {"an integer", "/Encrypt 6 0 R", "42", true},
        {"a font", "/Encrypt 3 0 R", "null", true},
        {"a dictionary of no handler", "/Encrypt 6 0 R", "<< /Filter /FlateDecode /V 1 >>", true},
        {"a direct dictionary of no handler", "/Encrypt << /Length 40 >>", "null", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PdfBuilder b = MinimalDocument(1);
        b.Set(6, c.object6);
        b.TrailerExtra(c.encrypt);
        qz::testing::WriteOptions damaged;
        // A startxref that leads to an object, not a section: the
        // cross-reference is rebuilt.
        damaged.damage.startxref = b.Build().offsets.at(1);
        auto repaired = Load(b.Write(damaged));
        ASSERT_TRUE(repaired->GetReader()->GetXRef()->IsTrailerRepaired());
        EXPECT_FALSE(repaired->GetIsEncrypted());
        EXPECT_EQ(repaired->GetEncrypt(), nullptr);
        EXPECT_EQ(repaired->GetTrailer()->LookupRefObj("Encrypt"), nullptr);
        ASSERT_NE(repaired->GetDocRoot(), nullptr);
        // What /Encrypt named is an ordinary object of the file.
        EXPECT_TRUE(repaired->GetObject(3)->IsDict());

        if (c.intactRefused) {
            try {
                Load(b.Write());
                ADD_FAILURE() << "intact file loaded";
            } catch (const core::ExUnsupportedFeature& e) {
                EXPECT_TRUE(std::string(e.what()).starts_with("Unsupported encryption: "))
                    << e.what();
            }
        } else {
            EXPECT_FALSE(Load(b.Write())->GetIsEncrypted());
        }
    }
}

class EncryptedBaseDocTest : public BaseDocTest {
protected:
    static void SetUpTestSuite() {
        if (!qz::testing::HaveTool("qpdf")) return;
        dir_ = new qz::testing::TempDir("qz-basedoc-enc");
        const auto plain = dir_->Write("plain.pdf", MinimalDocument(2).Write());
        using qz::testing::QpdfEncryption;
        qz::testing::QpdfTransform(plain, dir_->File("rc4-40.pdf"),
                                   qz::testing::QpdfEncryptArgs("", "owner", QpdfEncryption::Rc4_40, {"--print=n"}));
        qz::testing::QpdfTransform(plain, dir_->File("rc4-128.pdf"),
                                   qz::testing::QpdfEncryptArgs("user", "owner", QpdfEncryption::Rc4_128,
                                                                {"--print=low"}));
        qz::testing::QpdfTransform(plain, dir_->File("aes-128.pdf"),
                                   qz::testing::QpdfEncryptArgs("", "owner", QpdfEncryption::Aes128));
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static std::string Bytes(const char* name) { return platform::ReadFileBytes(dir_->File(name)); }

    static qz::testing::TempDir* dir_;
};

qz::testing::TempDir* EncryptedBaseDocTest::dir_ = nullptr;

TEST_F(EncryptedBaseDocTest, SettingsAndPermissionsComeFromTheFile) {
    QZ_REQUIRE_TOOLS("qpdf");
    using filters::TqzPDFEncryptionLevel;
    using filters::TqzUserPermissionsType;
    {
        auto doc = Load(Bytes("rc4-40.pdf"));
        ASSERT_TRUE(doc->GetIsEncrypted());
        EXPECT_FALSE(doc->GetIsOwner());
        EXPECT_EQ(doc->GetEncryptSettings()->Level(), TqzPDFEncryptionLevel::elRC4_40Bit);
        const auto rights = doc->GetPermissions({});
        EXPECT_FALSE(rights.Contains(TqzUserPermissionsType::AllowPrint));
        EXPECT_TRUE(rights.Contains(TqzUserPermissionsType::AllowCopy));
        // 40-bit keys know only the first four rights.
        EXPECT_FALSE(rights.Contains(TqzUserPermissionsType::AllowDocAssembly));
        // An argument right is added to what /P grants.
        EXPECT_TRUE(doc->GetPermissions({TqzUserPermissionsType::AllowPrint}).Contains(TqzUserPermissionsType::AllowPrint));
    }
    {
        auto doc = Load(Bytes("rc4-128.pdf"), "user");
        EXPECT_EQ(doc->GetEncryptSettings()->Level(), TqzPDFEncryptionLevel::elRC4_128Bit);
        const auto rights = doc->GetPermissions({});
        EXPECT_TRUE(rights.Contains(TqzUserPermissionsType::AllowPrint));
        EXPECT_FALSE(rights.Contains(TqzUserPermissionsType::AllowHighResPrint));
        EXPECT_TRUE(rights.Contains(TqzUserPermissionsType::AllowDocAssembly));
    }
    {
        auto doc = Load(Bytes("rc4-128.pdf"), "owner");
        EXPECT_TRUE(doc->GetIsOwner());
        EXPECT_EQ(doc->GetPassword(), "owner");
    }
    {
        auto doc = Load(Bytes("aes-128.pdf"));
        EXPECT_EQ(doc->GetEncryptSettings()->Level(), TqzPDFEncryptionLevel::elAES_128Bit);
        EXPECT_EQ(doc->GetEncryptSettings()->Algorithm(), filters::TqzCryptAlgorithm::cryptAES);
        // Strings and streams read decrypted.
        ASSERT_NE(doc->GetDocRoot(), nullptr);
        EXPECT_TRUE(doc->GetObject(3)->IsDict());
    }
}

TEST_F(EncryptedBaseDocTest, RepairedTrailerOfAnEncryptedFileKeepsItsEncryption) {
    QZ_REQUIRE_TOOLS("qpdf");
    std::string bytes = Bytes("rc4-128.pdf");
    // A startxref that leads nowhere: the cross-reference is rebuilt.
    const size_t digits = bytes.find_first_of("0123456789", bytes.rfind("startxref"));
    ASSERT_NE(digits, std::string::npos);
    bytes[digits] = '9';
    bytes.insert(digits, "9");
    EXPECT_THROW(Load(bytes, "wrong"), core::ExInvalidPassword);
    auto doc = Load(bytes, "user");
    ASSERT_TRUE(doc->GetReader()->GetXRef()->IsTrailerRepaired());
    EXPECT_TRUE(doc->GetIsEncrypted());
    EXPECT_EQ(doc->GetEncryptSettings()->Level(), filters::TqzPDFEncryptionLevel::elRC4_128Bit);
    ASSERT_NE(doc->GetDocRoot(), nullptr);
}

TEST_F(EncryptedBaseDocTest, KeyLengthLeftOutIsSettledByThePassword) {
    // Without /Length the key is 40 bits; a 128-bit file that leaves it out
    // opens all the same and reports its level after the check.
    QZ_REQUIRE_TOOLS("qpdf");
    std::string bytes = Bytes("rc4-128.pdf");
    // qpdf writes the keys in order: /Length follows /Filter.
    const size_t length = bytes.find("/Length 128", bytes.find("/Filter /Standard"));
    ASSERT_NE(length, std::string::npos);
    bytes.replace(length, 11, 11, ' ');
    auto doc = Load(bytes, "user");
    EXPECT_EQ(doc->GetEncryptSettings()->Level(), filters::TqzPDFEncryptionLevel::elRC4_128Bit);
    EXPECT_EQ(doc->GetUserEncryptionSettings()->Level(),
              filters::TqzPDFEncryptionLevel::elRC4_128Bit);
    EXPECT_TRUE(
        doc->GetPermissions({}).Contains(filters::TqzUserPermissionsType::AllowDocAssembly));
    EXPECT_TRUE(doc->GetObject(3)->IsDict());
}

TEST_F(EncryptedBaseDocTest, WrongPasswordIsInvalidPassword) {
    QZ_REQUIRE_TOOLS("qpdf");
    try {
        Load(Bytes("rc4-128.pdf"), "wrong");
        FAIL() << "no exception";
    } catch (const core::ExInvalidPassword& e) {
        EXPECT_STREQ(e.what(), "Invalid password");
    }
}

// The stored /Contents of every signature dictionary below: DER-like bytes
// and the zeros a signer leaves unused.
const std::string kSignatureBytes =
    std::string("\x30\x82\x01\x0A\x06\x09\x2A\x86\x48\xFF\x00\x7F", 12) + std::string(25, '\0');

// The signature dictionaries the form's fields hold, in field order.
std::vector<core::TqzPDDictionary*> SignatureValues(TqzPDBaseDoc& doc) {
    std::vector<core::TqzPDDictionary*> values;
    const auto* form = static_cast<core::TqzPDDictionary*>(doc.GetDocRoot()->LookUp("AcroForm"));
    const auto* fields = static_cast<core::TqzPDArray*>(form->LookUp("Fields"));
    for (int32_t i = 0; i < fields->GetLength(); ++i) {
        const auto* field = static_cast<core::TqzPDDictionary*>(fields->Get(i));
        values.push_back(static_cast<core::TqzPDDictionary*>(field->LookUp("V")));
    }
    return values;
}

// The /Contents of the text annotation: an ordinary string.
std::string NoteContents(TqzPDBaseDoc& doc) {
    const auto* pages = static_cast<core::TqzPDDictionary*>(doc.GetDocRoot()->LookUp("Pages"));
    const auto* page = static_cast<core::TqzPDDictionary*>(
        static_cast<core::TqzPDArray*>(pages->LookUp("Kids"))->Get(0));
    const auto* annots = static_cast<core::TqzPDArray*>(page->LookUp("Annots"));
    return TextOf(static_cast<core::TqzPDDictionary*>(annots->Get(3))->LookUp("Contents"));
}

TEST_F(EncryptedBaseDocTest, SignatureContentsAreReadAsStored) {
    // qpdf leaves the /Contents of /Type /Sig dictionaries unencrypted, as
    // signers do; every other string is encrypted.
    QZ_REQUIRE_TOOLS("qpdf");
    const auto plain =
        dir_->Write("signed.pdf", qz::testing::SignedDocument(kSignatureBytes).Write());
    using qz::testing::QpdfEncryption;
    for (const QpdfEncryption level :
         {QpdfEncryption::Rc4_40, QpdfEncryption::Rc4_128, QpdfEncryption::Aes128}) {
        SCOPED_TRACE(static_cast<int>(level));
        const auto encrypted = dir_->File("signed-encrypted.pdf");
        qz::testing::QpdfTransform(plain, encrypted,
                                   qz::testing::QpdfEncryptArgs("", "owner", level));
        auto doc = Load(platform::ReadFileBytes(encrypted));
        const auto values = SignatureValues(*doc);
        ASSERT_EQ(values.size(), 3u);
        EXPECT_EQ(TextOf(values[0]->LookUp("Contents")), kSignatureBytes);
        EXPECT_EQ(TextOf(values[0]->LookUp("Reason")), "Approved");
        EXPECT_EQ(NoteContents(*doc), "A note");
    }
}

TEST_F(EncryptedBaseDocTest, SignatureContentsAreWrittenUnencrypted) {
    // Every kind of signature dictionary keeps its /Contents as stored in an
    // encrypted output, and reads back so.
    QZ_REQUIRE_TOOLS("qpdf");
    using filters::TqzPDFEncryptionLevel;
    const std::string hex = core::StringToHex2(kSignatureBytes);
    for (const TqzPDFEncryptionLevel level :
         {TqzPDFEncryptionLevel::elRC4_40Bit, TqzPDFEncryptionLevel::elAES_128Bit}) {
        SCOPED_TRACE(static_cast<int>(level));
        auto doc = Load(qz::testing::SignedDocument(kSignatureBytes).Write());
        auto settings = std::make_unique<filters::TqzEncryptionSettings>();
        settings->SetEnabled(true);
        settings->SetLevel(level);
        doc->SetUserEncryptionSettings(std::move(settings));
        doc->SetSaveOptions("%PDF-1.6\r\n", false, true, false, false, false, false, false, false);
        const auto out = dir_->File("signed-out.pdf");
        doc->SaveDocument(out);
        EXPECT_TRUE(qz::testing::QpdfCheckPasses(out));
        std::string stored = platform::ReadFileBytes(out);
        for (char& c : stored) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        size_t plainCopies = 0;
        for (size_t at = stored.find(hex); at != std::string::npos; at = stored.find(hex, at + 1))
            ++plainCopies;
        EXPECT_EQ(plainCopies, 3u);
        // qpdf reads the /Type /Sig one as stored too.
        const auto decrypted =
            qz::testing::RunProgram({"qpdf", "--decrypt", "--qdf", out.string(), "-"});
        std::string lowerHex = hex;
        for (char& c : lowerHex) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_NE(decrypted.out.find("/Contents <" + lowerHex + ">"), std::string::npos)
            << decrypted.Describe();

        auto again = Load(platform::ReadFileBytes(out));
        ASSERT_TRUE(again->GetIsEncrypted());
        for (core::TqzPDDictionary* value : SignatureValues(*again)) {
            EXPECT_EQ(TextOf(value->LookUp("Contents")), kSignatureBytes);
            EXPECT_EQ(TextOf(value->LookUp("Reason")), "Approved");
        }
        EXPECT_EQ(NoteContents(*again), "A note");
    }
}

TEST_F(BaseDocTest, OrdinaryStringsUnderOAndUAreEncrypted) {
    // Only the security handler's own /O and /U stay unencrypted: any other
    // dictionary's strings under those keys read back as they were.
    PdfBuilder b = MinimalDocument(1);
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R /Extra 6 0 R >>");
    b.Set(6, "<< /O (owner text) /U (user text) /Filter /NotAHandler >>");
    auto doc = Load(b.Write());
    auto settings = std::make_unique<filters::TqzEncryptionSettings>();
    settings->SetEnabled(true);
    settings->SetLevel(filters::TqzPDFEncryptionLevel::elRC4_128Bit);
    doc->SetUserEncryptionSettings(std::move(settings));
    doc->SetSaveOptions("%PDF-1.6\r\n", false, true, false, false, false, false, false, false);
    auto out = std::make_shared<platform::MemoryStream>();
    doc->SaveDocument(*out);

    auto again = Load(out->Bytes());
    ASSERT_TRUE(again->GetIsEncrypted());
    const auto* extra = static_cast<core::TqzPDDictionary*>(again->GetDocRoot()->LookUp("Extra"));
    EXPECT_EQ(TextOf(extra->LookUp("O")), "owner text");
    EXPECT_EQ(TextOf(extra->LookUp("U")), "user text");
}

}  // namespace
}  // namespace qz::document
