#include "document/PDDocument.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "core/PDBaseExceptions.h"
#include "core/PDDictionary.h"
#include "core/PDName.h"
#include "document/PDBaseDoc.h"
#include "document/PDCatalog.h"
#include "document/PDDocInfo.h"
#include "document/PDModelException.h"
#include "document/PDViewerPref.h"
#include "document/tests/DocumentTestSupport.h"
#include "platform/Streams.h"
#include "testing/GTestSupport.h"
#include "testing/PdfBuilder.h"
#include "testing/PostScript.h"
#include "testing/TempDir.h"
#include "testing/Tools.h"

namespace qz::document {
namespace {

using qz::testing::MinimalDocument;
using qz::testing::PdfBuilder;
using qz::testing::TempDir;

// The /Producer of a saved file's information dictionary, read without the
// model (which would stamp its own).
std::string SavedProducer(const std::filesystem::path& file, const std::string& password = "") {
    TqzPDBaseDoc doc;
    doc.LoadDocument(file, password);
    const core::TqzPDBaseObject* ref = doc.GetTrailer()->LookupRefObj("Info");
    if (ref == nullptr || !ref->IsIndirectRef()) return "<no /Info reference>";
    return TextOf(doc.GetDocInfo()->LookUp("Producer"));
}

TqzPDSaveFlags FullSave() {
    TqzPDSaveFlags flags;
    flags.Full = true;
    return flags;
}

// Files made by the outside tools, each once per test process and only when
// a test asks for it (ctest runs every test in a process of its own).
class RoundTripTest : public ::testing::Test {
protected:
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }

    static std::filesystem::path Fixture(const std::string& name) {
        using namespace qz::testing;
        if (dir_ == nullptr) dir_ = new TempDir("qz-roundtrip");
        const auto path = dir_->File(name);
        if (std::filesystem::exists(path)) return path;
        if (name == "gs-text.pdf") {
            MakeWithGhostscript(PsTextPages(3, "TEXT"), path);
        } else if (name == "gs-image.pdf") {
            MakeWithGhostscript(PsImagePage(120, 90, true, false, "IMAGE"), path);
        } else if (name == "objstm.pdf") {
            QpdfTransform(Fixture("gs-text.pdf"), path, {"--object-streams=generate"});
        } else if (name == "linearized.pdf") {
            QpdfTransform(Fixture("gs-text.pdf"), path, {"--linearize"});
        } else if (name == "aes-empty-user.pdf") {
            QpdfTransform(Fixture("gs-text.pdf"), path, QpdfEncryptArgs("", "owner", QpdfEncryption::Aes128));
        } else if (name == "rc4-empty-user.pdf") {
            QpdfTransform(Fixture("gs-text.pdf"), path, QpdfEncryptArgs("", "owner", QpdfEncryption::Rc4_40));
        } else if (name == "builder-table.pdf") {
            dir_->Write(name, MinimalDocument(2, "TABLE").Write());
        }
        return path;
    }
    static std::filesystem::path Output(const std::string& name) { return dir_->File(name); }

    static TempDir* dir_;
};

TempDir* RoundTripTest::dir_ = nullptr;

TEST_F(RoundTripTest, ToolMadeFilesSaveInFullAndRenderTheSame) {
    QZ_REQUIRE_TOOLS("gs", "qpdf", "pdftoppm");
    const char* inputs[] = {"gs-text.pdf",        "gs-image.pdf",         "objstm.pdf",       "linearized.pdf",
                            "aes-empty-user.pdf", "rc4-empty-user.pdf", "builder-table.pdf"};
    for (const char* name : inputs) {
        SCOPED_TRACE(name);
        const auto input = Fixture(name);
        const auto output = Output(std::string("saved-") + name);
        std::string loadedProducer;
        {
            TqzPDDocument doc;
            doc.LoadDocument(input);
            loadedProducer = doc.GetDocInfo()->GetProducer();
            doc.SaveDocument(output, FullSave());
        }
        EXPECT_TRUE(qz::testing::QpdfCheckPasses(output));
        EXPECT_TRUE(qz::testing::SameRenders(input, output));
        EXPECT_EQ(SavedProducer(output), kProducer);
        if (std::string(name).rfind("gs-", 0) == 0) {
            // The producer read while loading is kept by the element.
            EXPECT_NE(loadedProducer.find("Ghostscript"), std::string::npos) << loadedProducer;
        }
    }
}

TEST_F(RoundTripTest, EncryptedInputKeepsItsEncryption) {
    QZ_REQUIRE_TOOLS("gs", "qpdf");
    const auto input = Fixture("aes-empty-user.pdf");
    const auto output = Output("saved-enc-check.pdf");
    {
        TqzPDDocument doc;
        doc.LoadDocument(input);
        EXPECT_TRUE(doc.GetIsEncrypted());
        doc.SaveDocument(output, FullSave());
    }
    TqzPDBaseDoc saved;
    saved.LoadDocument(output, "");
    EXPECT_TRUE(saved.GetIsEncrypted());
    EXPECT_EQ(saved.GetEncryptSettings()->Level(), filters::TqzPDFEncryptionLevel::elAES_128Bit);
    // The owner password of the input still opens it as owner.
    TqzPDBaseDoc asOwner;
    asOwner.LoadDocument(output, "owner");
    EXPECT_TRUE(asOwner.GetIsOwner());
}

TEST_F(RoundTripTest, CleartextMetadataStaysPlainWhileTheRestIsEncrypted) {
    QZ_REQUIRE_TOOLS("qpdf");
    const std::string xmp = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">plain-metadata</x:xmpmeta>";
    PdfBuilder builder = MinimalDocument(1, "META");
    const int32_t meta = builder.AddStream("<< /Type /Metadata /Subtype /XML >>", xmp);
    builder.Set(1, "<< /Type /Catalog /Pages 2 0 R /Metadata " + std::to_string(meta) + " 0 R >>");
    Fixture("builder-table.pdf");  // makes the fixture folder
    const auto plain = dir_->Write("meta-plain.pdf", builder.Write());
    const auto encrypted = Output("meta-encrypted.pdf");
    qz::testing::QpdfTransform(plain, encrypted,
                               {"--encrypt", "", "owner", "128", "--use-aes=y", "--cleartext-metadata", "--"});
    const auto output = Output("meta-saved.pdf");
    {
        TqzPDDocument doc;
        doc.LoadDocument(encrypted);
        doc.SaveDocument(output, FullSave());
    }
    EXPECT_TRUE(qz::testing::QpdfCheckPasses(output));
    // Read plainly by us and by any reader that does not decrypt metadata.
    EXPECT_NE(qz::platform::ReadFileBytes(output).find("plain-metadata"), std::string::npos);
    const auto decrypted = Output("meta-decrypted.pdf");
    qz::testing::QpdfTransform(output, decrypted, {"--decrypt", "--object-streams=disable"});
    EXPECT_NE(qz::testing::PdfToText(decrypted).find("META-1"), std::string::npos);
}

TEST_F(RoundTripTest, AuthorizedSaveIsEncryptedWithTheNewSettings) {
    QZ_REQUIRE_TOOLS("gs", "qpdf", "pdftoppm");
    const auto input = Fixture("gs-text.pdf");
    const auto output = Output("saved-authorized.pdf");
    {
        TqzPDDocument doc;
        doc.LoadDocument(input);
        TqzPDPermissions wanted;
        wanted.Enable = true;
        wanted.Level = filters::TqzPDFEncryptionLevel::elRC4_40Bit;
        wanted.Print = true;
        wanted.OwnerPassword = "boss";
        doc.Authorize(wanted, "");
        doc.SaveDocument(output, FullSave());
    }
    EXPECT_TRUE(qz::testing::QpdfCheckPasses(output));
    EXPECT_TRUE(qz::testing::SameRenders(input, output));
    TqzPDBaseDoc saved;
    saved.LoadDocument(output, "");
    ASSERT_TRUE(saved.GetIsEncrypted());
    EXPECT_EQ(saved.GetEncryptSettings()->Level(), filters::TqzPDFEncryptionLevel::elRC4_40Bit);
    EXPECT_FALSE(saved.GetIsOwner());
}

TEST_F(RoundTripTest, AnUpdateCannotReencryptAnEncryptedFile) {
    QZ_REQUIRE_TOOLS("gs", "qpdf");
    const auto input = Fixture("rc4-empty-user.pdf");
    const auto output = Output("saved-reencrypted-update.pdf");
    TqzPDDocument doc;
    doc.LoadDocument(input);
    TqzPDPermissions wanted;
    wanted.Enable = true;
    wanted.Level = filters::TqzPDFEncryptionLevel::elAES_128Bit;
    wanted.OwnerPassword = "other";
    doc.Authorize(wanted, "");
    TqzPDSaveFlags update;
    update.Incremental = true;
    try {
        doc.SaveDocument(output, update);
        FAIL() << "no exception";
    } catch (const core::ExUnsupportedFeature& e) {
        EXPECT_STREQ(e.what(), TqzPDBaseDoc::kIncrementalReencryption);
    }
}

// The object number of the stream whose dictionary holds `key` in a written
// file; 0 when there is none. Dictionaries stay readable in encrypted files.
int32_t StreamNumberWith(const std::string& pdf, const std::string& key) {
    const size_t at = pdf.find(key);
    if (at == std::string::npos) return 0;
    const size_t header = pdf.rfind(" 0 obj\r\n", at);
    const size_t line = pdf.rfind('\n', header);
    return header == std::string::npos ? 0 : std::stoi(pdf.substr(line + 1, header - line - 1));
}

TEST_F(RoundTripTest, LongStreamsOfEncryptedOutputsReadBack) {
    QZ_REQUIRE_TOOLS("qpdf");
    // An unfiltered image of random samples past the block held back: written
    // in stored blocks, encrypted as it goes, its /Length after it.
    std::string samples(700 * 700 * 3, '\0');
    uint32_t seed = 7;
    for (char& c : samples) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
    PdfBuilder builder = MinimalDocument(1, "LONG");
    const int32_t image = builder.AddStream(
        "<< /Type /XObject /Subtype /Image /Width 700 /Height 700 /ColorSpace /DeviceRGB /BitsPerComponent 8 >>",
        samples);
    builder.Set(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R >> "
                   "/XObject << /Im1 " + std::to_string(image) + " 0 R >> >> /Contents 5 0 R >>");
    Fixture("builder-table.pdf");  // makes the fixture folder
    const auto plain = dir_->Write("long-plain.pdf", builder.Write());
    using qz::testing::QpdfEncryption;
    const struct {
        const char* name;
        // qpdf's encryption of the input, or none (the output's own settings then).
        std::optional<QpdfEncryption> input;
        filters::TqzPDFEncryptionLevel output;
    } cases[] = {
        {"AES input", QpdfEncryption::Aes128, filters::TqzPDFEncryptionLevel::elAES_128Bit},
        {"RC4 input", QpdfEncryption::Rc4_40, filters::TqzPDFEncryptionLevel::elRC4_40Bit},
        {"AES settings", std::nullopt, filters::TqzPDFEncryptionLevel::elAES_128Bit},
        {"RC4 settings", std::nullopt, filters::TqzPDFEncryptionLevel::elRC4_128Bit},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto input = plain;
        if (c.input) {
            input = Output(std::string(c.name) + "-in.pdf");
            std::vector<std::string> args = {"--compress-streams=n"};
            for (const std::string& a : qz::testing::QpdfEncryptArgs("", "owner", *c.input)) args.push_back(a);
            qz::testing::QpdfTransform(plain, input, args);
        }
        const auto output = Output(std::string(c.name) + "-out.pdf");
        {
            TqzPDDocument doc;
            doc.LoadDocument(input);
            if (!c.input) {
                TqzPDPermissions wanted;
                wanted.Enable = true;
                wanted.Level = c.output;
                wanted.OwnerPassword = "boss";
                doc.Authorize(wanted, "");
            }
            doc.SaveDocument(output, FullSave());
        }
        EXPECT_TRUE(qz::testing::QpdfCheckPasses(output));
        TqzPDBaseDoc saved;
        saved.LoadDocument(output, "");
        ASSERT_TRUE(saved.GetIsEncrypted());
        EXPECT_EQ(saved.GetEncryptSettings()->Level(), c.output);
        const std::string bytes = platform::ReadFileBytes(output);
        const int32_t number = StreamNumberWith(bytes, "/Width 700");
        ASSERT_GT(number, 0);
        EXPECT_NE(bytes.find("/Length " + std::to_string(number + 1) + " 0 R >>"), std::string::npos);
        EXPECT_TRUE(qz::testing::QpdfShowObjectFilteredStream(output, number) == samples);
    }
}

class DocumentTest : public ::testing::Test {
protected:
    TempDir dir_{"qz-document"};

    std::filesystem::path Write(const std::string& name, const std::string& bytes) { return dir_.Write(name, bytes); }
};

TEST_F(DocumentTest, BadCatalogsAreReportedAndLeaveTheModelUnloaded) {
    PdfBuilder noRoot;
    noRoot.Set(1, "<< /Type /Pages /Kids [] /Count 0 >>");
    noRoot.SetRoot(40);
    PdfBuilder noPages;
    noPages.Set(1, "<< /Type /Catalog >>");
    const std::pair<std::string, std::string> cases[] = {
        {noRoot.Write(), "Catalog not found"},
        {noPages.Write(), "No Page Entry in Catalog"},
    };
    for (const auto& [bytes, message] : cases) {
        SCOPED_TRACE(message);
        TqzPDDocument doc;
        doc.LoadDocument(Write("good.pdf", MinimalDocument(1).Write()));
        ASSERT_TRUE(doc.IsLoaded());
        try {
            doc.LoadDocument(Write("bad.pdf", bytes));
            ADD_FAILURE() << "no exception";
        } catch (const core::EBrevanto& e) {
            EXPECT_EQ(e.what(), message);
        }
        EXPECT_FALSE(doc.IsLoaded());
        EXPECT_EQ(doc.GetBaseDoc(), nullptr);
        EXPECT_THROW(doc.GetPageCount(), core::ExBadRootObj);
        // A save of an unloaded model writes nothing.
        const auto out = dir_.File("unloaded.pdf");
        doc.SaveDocument(out, FullSave());
        EXPECT_EQ(std::filesystem::file_size(out), 0u);
    }
}

TEST_F(DocumentTest, VersionComesFromTheHeaderDigit) {
    struct Case {
        std::string version;
        TqzPDVersion expected;
        const char* header;
    };
    const Case cases[] = {
        {"1.7", TqzPDVersion::v17, "%PDF-1.7\r\n"},
        {"1.3", TqzPDVersion::v13, "%PDF-1.3\r\n"},
        {"2.0", TqzPDVersion::v10, "%PDF-1.0\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        TqzPDDocument doc;
        doc.LoadDocument(Write("v.pdf", MinimalDocument(1).Write({.version = c.version})));
        EXPECT_EQ(doc.GetVersion(), c.expected);
        const auto out = dir_.File("v-out.pdf");
        doc.SaveDocument(out, FullSave());
        EXPECT_EQ(platform::ReadFileBytes(out).substr(0, 10), c.header);
    }
    // A digit beyond 7 keeps the version held before.
    TqzPDDocument doc;
    doc.LoadDocument(Write("a.pdf", MinimalDocument(1).Write({.version = "1.5"})));
    doc.LoadDocument(Write("b.pdf", MinimalDocument(1).Write({.version = "1.9"})));
    EXPECT_EQ(doc.GetVersion(), TqzPDVersion::v15);
    EXPECT_EQ(GetPDFHeader(TqzPDVersion::v14), "%PDF-1.4\r\n");
}

TEST_F(DocumentTest, ReloadStampsTheNewDocumentAndDropsTheOldElements) {
    PdfBuilder first = MinimalDocument(1);
    first.SetInfo(first.Add("<< /Producer (First) >>"));
    PdfBuilder second = MinimalDocument(2);
    second.SetInfo(second.Add("<< /Producer (Second) >>"));
    TqzPDDocument doc;
    doc.LoadDocument(Write("first.pdf", first.Write()));
    EXPECT_EQ(doc.GetDocInfo()->GetProducer(), "First");
    doc.GetViewerPref();
    doc.LoadDocument(Write("second.pdf", second.Write()));
    EXPECT_EQ(doc.GetDocInfo()->GetProducer(), "Second");
    EXPECT_EQ(TextOf(doc.GetBaseDoc()->GetDocInfo()->LookUp("Producer")), kProducer);
    EXPECT_FALSE(doc.GetViewerPref()->GetFitWindow());
    EXPECT_EQ(doc.GetPageCount(), 2);
}

TEST_F(DocumentTest, MissingInfoGetsOneWithOurProducer) {
    TqzPDDocument doc;
    doc.LoadDocument(Write("noinfo.pdf", MinimalDocument(1).Write()));
    // The value read while the element was made: the base document's own.
    EXPECT_EQ(doc.GetDocInfo()->GetProducer(), kBaseDocProducer);
    const auto out = dir_.File("noinfo-out.pdf");
    doc.SaveDocument(out, FullSave());
    EXPECT_EQ(SavedProducer(out), kProducer);
    EXPECT_NE(platform::ReadFileBytes(out).find("/Producer (Veltrano Folhex 5.0.0.625)"), std::string::npos);
}

TEST_F(DocumentTest, FileNamesAreChecked) {
    TqzPDDocument doc;
    EXPECT_THROW(doc.LoadDocument(dir_.File("missing.pdf")), core::ExFileNotFound);
    doc.LoadDocument(Write("in.pdf", MinimalDocument(1).Write()));
    EXPECT_THROW(doc.SaveDocument(std::filesystem::path(), FullSave()), core::ExInvalidFileName);
    EXPECT_THROW(doc.CopyToFile(std::filesystem::path(), false), core::ExInvalidFileName);
    try {
        doc.SaveDocument(dir_.File("no-such-dir/out.pdf"), FullSave());
        FAIL() << "no exception";
    } catch (const ExFileCreateError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Error occured when creating the File", 0), 0u);
    }
}

TEST_F(DocumentTest, CopyWithoutChangesIsTheLoadedBytes) {
    const std::string bytes = MinimalDocument(2).Write();
    TqzPDDocument doc;
    doc.LoadDocument(Write("in.pdf", bytes));
    doc.SetPageMode(TqzPDPageMode::pmUseThumbs);
    doc.CopyToFile(dir_.File("copy.pdf"), false);
    EXPECT_EQ(platform::ReadFileBytes(dir_.File("copy.pdf")), bytes);
    doc.CopyToFile(dir_.File("saved.pdf"), true);
    EXPECT_NE(platform::ReadFileBytes(dir_.File("saved.pdf")).find("/PageMode /UseThumbs"), std::string::npos);
}

TEST_F(DocumentTest, SavingOverTheLoadedFileKeepsItsData) {
    QZ_REQUIRE_TOOLS("qpdf", "pdftoppm");
    const auto original = Write("original.pdf", MinimalDocument(3, "SELF").Write());
    const auto path = Write("self.pdf", platform::ReadFileBytes(original));
    TqzPDDocument doc;
    doc.LoadDocument(path);
    doc.SaveDocument(path, FullSave());
    EXPECT_TRUE(qz::testing::QpdfCheckPasses(path));
    EXPECT_TRUE(qz::testing::SameRenders(original, path));
}

TEST_F(DocumentTest, NewDocumentIsOnePageWithTheGivenBox) {
    QZ_REQUIRE_TOOLS("qpdf");
    TqzPDDocument doc;
    doc.NewDocument(0, 0, 612, 792);
    EXPECT_EQ(doc.GetPageCount(), 1);
    EXPECT_EQ(doc.GetVersion(), TqzPDVersion::v14);
    const auto out = dir_.File("new.pdf");
    doc.SaveDocument(out, FullSave());
    EXPECT_TRUE(qz::testing::QpdfCheckPasses(out));
    const std::string bytes = platform::ReadFileBytes(out);
    EXPECT_NE(bytes.find("/MediaBox [ 0 0 612 792 ]"), std::string::npos);
    EXPECT_EQ(SavedProducer(out), kProducer);
    // The template itself is a sound file: qpdf reads it without repair.
    doc.CopyToFile(dir_.File("template.pdf"), false);
    EXPECT_EQ(platform::ReadFileBytes(dir_.File("template.pdf")).substr(0, 8), "%PDF-1.4");
    EXPECT_TRUE(qz::testing::QpdfCheckPasses(dir_.File("template.pdf")));
    TqzPDDocument again;
    again.NewDocument(0, 0, 100, 100);
    again.NewDocument(0, 0, 200, 300);
    EXPECT_EQ(again.GetPageCount(), 1);
}

TEST_F(DocumentTest, PasswordIsRequiredAndASecondLoadWithTheRightOneSucceeds) {
    QZ_REQUIRE_TOOLS("qpdf");
    const auto plain = Write("plain.pdf", MinimalDocument(2).Write());
    const auto encrypted = dir_.File("secret.pdf");
    qz::testing::QpdfTransform(plain, encrypted,
                               qz::testing::QpdfEncryptArgs("user", "owner", qz::testing::QpdfEncryption::Rc4_128,
                                                            {"--print=none"}));
    TqzPDDocument doc;
    doc.LoadDocument(plain);
    try {
        doc.LoadDocument(encrypted);
        FAIL() << "no exception";
    } catch (const ExPasswordRequired& e) {
        EXPECT_STREQ(e.what(), "Encrypted PDF: Password required for loading");
    }
    EXPECT_FALSE(doc.IsLoaded());
    EXPECT_THROW(doc.GetPage(1), core::ExBadRootObj);

    doc.SetPassword("user");
    doc.LoadDocument(encrypted);
    EXPECT_TRUE(doc.IsLoaded());
    EXPECT_TRUE(doc.GetIsEncrypted());
    EXPECT_EQ(doc.GetPageCount(), 2);
    const TqzPDPermissions permissions = doc.GetPermission();
    EXPECT_FALSE(permissions.Print);
    EXPECT_TRUE(permissions.CopyText);
    EXPECT_TRUE(permissions.AssmbleDoc);
    EXPECT_EQ(permissions.Level, filters::TqzPDFEncryptionLevel::elRC4_40Bit);
    EXPECT_FALSE(permissions.Enable);
}

TEST_F(DocumentTest, UnbuiltServicesRaise) {
    TqzPDDocument doc;
    doc.LoadDocument(Write("in.pdf", MinimalDocument(1).Write()));
    EXPECT_THROW(doc.GetXMPMetadata(), ExNotSupportedYet);
    EXPECT_THROW(doc.Stitch(1, 1), ExNotSupportedYet);
    EXPECT_THROW(doc.GetSignatureCount(), ExNotSupportedYet);
    EXPECT_THROW(doc.GetDocInfo()->GetXMLMetaData(), ExNotSupportedYet);
}

}  // namespace
}  // namespace qz::document
