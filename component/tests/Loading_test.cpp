#include <gtest/gtest.h>

#include <cctype>

#include "component/ComponentExceptions.h"
#include "component/PDFDocument.h"
#include "component/tests/ComponentTestSupport.h"
#include "core/Conversions.h"
#include "document/PDModelException.h"
#include "platform/Streams.h"

namespace qz::component {
namespace {

using filters::TqzUserPermissions;
using filters::TqzUserPermissionsType;

class LoadingTest : public ::testing::Test {
protected:
    void SetUp() override {
        a_ = WriteMarkedPdf(dir_, "a.pdf", 1, "A");
        b_ = WriteMarkedPdf(dir_, "b.pdf", 2, "B");
    }
    testing::TempDir dir_{"qz-component"};
    fs::path a_, b_;
};

TEST_F(LoadingTest, NewComponentDefaults) {
    TqzPDFDocument component;
    EXPECT_FALSE(component.GetIsLoaded());
    EXPECT_EQ(component.GetFileSize(), 0);
    EXPECT_EQ(component.GetMeasurementUnit(), TqzMeasurementUnit::muPixels);
    EXPECT_EQ(component.GetVersion(), "5.0.0.625");
    EXPECT_FALSE(component.GetEncryption().Enabled());
    EXPECT_EQ(component.GetEncryption().Level(), filters::published::TqzPDFEncryptionLevel::el40bit);
    EXPECT_EQ(component.GetDocumentHash(), 0u);
    EXPECT_EQ(component.GetPageCount(), 0);
    EXPECT_EQ(component.GetEMailInfo().Port, 25);
    // No model is made to answer these.
    EXPECT_EQ(component.GetCMapPath(), "./CMAPS/");
    EXPECT_EQ(component.GetPDDocument(), nullptr);
}

TEST_F(LoadingTest, LoadRaisesEventsAndMessagesAndHashesTheFile) {
    TqzPDFDocument component;
    RecordingControl control;
    component.RegisterLinkedControl(&control);
    int begin = 0, end = 0;
    component.OnBeginRead = [&](TqzCustomPDFDocument*) { ++begin; };
    component.OnEndRead = [&](TqzCustomPDFDocument*) { ++end; };
    ASSERT_TRUE(component.LoadFromFile(b_, ""));
    EXPECT_EQ(begin, 1);
    EXPECT_EQ(end, 1);
    EXPECT_EQ(control.messages, std::vector<uint32_t>{kDocumentLoadedMessage});
    EXPECT_EQ(component.GetPageCount(), 2);
    EXPECT_EQ(component.GetFileName(), b_.string());
    EXPECT_EQ(component.GetWorkFileName(), b_.string());
    EXPECT_EQ(component.GetFileSize(), static_cast<int64_t>(fs::file_size(b_)));
    EXPECT_FALSE(component.GetIsEncrypted());
    platform::MemoryStream bytes(platform::ReadFileBytes(b_));
    EXPECT_EQ(component.GetDocumentHash(), core::GetHash(bytes, 0x9747B28C));
    component.UnRegisterLinkedControl(&control);
    EXPECT_THROW(component.UnRegisterLinkedControl(&control), EListError);
}

TEST_F(LoadingTest, MissingFileRaisesFileNotFoundAndLeavesTheLoadedDocument) {
    TqzPDFDocument component;
    ASSERT_TRUE(component.LoadFromFile(b_, ""));
    try {
        component.LoadFromFile(dir_.File("nothing.pdf"), "");
        FAIL() << "no exception";
    } catch (const EFileNotFound& e) {
        EXPECT_STREQ(e.what(), "File Not Found");
    }
    EXPECT_THROW(component.SetFileName(dir_.File("nothing.pdf").string()), EFileNotFound);
    EXPECT_TRUE(component.GetIsLoaded());
    EXPECT_EQ(component.GetPageCount(), 2);
    EXPECT_EQ(component.GetFileName(), b_.string());
}

TEST_F(LoadingTest, EveryLoadStartsFromNothing) {
    QZ_REQUIRE_TOOLS("pdftotext", "pdfinfo");
    // Loaded from a file, saved (unloaded, model kept), then loaded from a
    // stream: the stream is what is read, not the earlier file.
    TqzPDFDocument component;
    ASSERT_TRUE(component.LoadFromFile(a_, ""));
    component.SaveToFile(dir_.File("saved.pdf"), false, false);
    platform::MemoryStream other(platform::ReadFileBytes(b_));
    ASSERT_TRUE(component.LoadFromStream(other, ""));
    EXPECT_EQ(component.GetPageCount(), 2);
    EXPECT_TRUE(component.GetFileName().empty());
    const fs::path out = dir_.File("out.pdf");
    component.SaveToFile(out, false, false);
    EXPECT_EQ(PageMarkers(out), Markers("B", 2));
}

TEST_F(LoadingTest, LoadFromStreamCopiesTheCallersStream) {
    QZ_REQUIRE_TOOLS("pdftotext", "pdfinfo");
    TqzPDFDocument component;
    {
        auto caller = std::make_unique<platform::MemoryStream>(platform::ReadFileBytes(b_));
        caller->SetPosition(40);  // copied from its start whatever its position
        ASSERT_TRUE(component.LoadFromStream(*caller, ""));
        caller->Clear();
    }
    const fs::path out = dir_.File("out.pdf");
    component.SaveToFile(out, false, false);
    EXPECT_EQ(PageMarkers(out), Markers("B", 2));
}

TEST_F(LoadingTest, EmptyUserPasswordFilesLoadAndMergeWithoutAHandler) {
    QZ_REQUIRE_TOOLS("qpdf", "pdftotext", "pdfinfo");
    const struct {
        testing::QpdfEncryption level;
        const char* name;
        uint8_t rights;  // qpdf grants all; 40-bit files know only the first four
    } levels[] = {{testing::QpdfEncryption::Rc4_40, "rc4-40.pdf", 0x0F},
                  {testing::QpdfEncryption::Rc4_128, "rc4-128.pdf", 0xFF},
                  {testing::QpdfEncryption::Aes128, "aes-128.pdf", 0xFF}};
    for (const auto& l : levels) {
        SCOPED_TRACE(l.name);
        const fs::path encrypted = Encrypted(dir_, b_, l.name, l.level);
        TqzPDFDocument component;
        ASSERT_TRUE(component.LoadFromFile(encrypted, ""));
        EXPECT_TRUE(component.GetIsEncrypted());
        EXPECT_TRUE(component.GetEncryption().Enabled());
        EXPECT_EQ(component.GetEncryption().UserPermissions().ToByte(), l.rights);
        EXPECT_EQ(component.GetPageCount(), 2);

        TqzPDFDocument merger;
        merger.MergeDocs(Paths({a_, encrypted}));
        const fs::path out = dir_.File(std::string("merged-") + l.name);
        merger.SaveToFile(out, false, false);
        EXPECT_TRUE(testing::QpdfCheckPasses(out));
        EXPECT_EQ(PageMarkers(out), Concat({Markers("A", 1), Markers("B", 2)}));
    }
}

TEST_F(LoadingTest, PermissionsOfAFileAreAddedToTheSettings) {
    QZ_REQUIRE_TOOLS("qpdf");
    const fs::path restricted = dir_.File("restricted.pdf");
    // At 40 bits qpdf's restrictions are --print, --modify, --extract, --annotate.
    testing::QpdfTransform(b_, restricted,
                           testing::QpdfEncryptArgs("", "owner", testing::QpdfEncryption::Rc4_40,
                                                    {"--print=n", "--modify=n"}));
    TqzPDFDocument component;
    ASSERT_TRUE(component.LoadFromFile(restricted, ""));
    const TqzUserPermissions rights = component.GetEncryption().UserPermissions();
    EXPECT_FALSE(rights.Contains(TqzUserPermissionsType::AllowPrint));
    EXPECT_FALSE(rights.Contains(TqzUserPermissionsType::AllowModify));
    EXPECT_TRUE(rights.Contains(TqzUserPermissionsType::AllowCopy));
    const document::TqzPDPermissions record = component.GetPermissions();
    EXPECT_TRUE(record.Enable);
    EXPECT_TRUE(record.CopyText);
    EXPECT_FALSE(record.Print);
    EXPECT_EQ(record.Level, filters::TqzPDFEncryptionLevel::elRC4_40Bit);

    // Bits are only added; a plain file turns encryption off but keeps them.
    ASSERT_TRUE(component.LoadFromFile(a_, ""));
    EXPECT_FALSE(component.GetEncryption().Enabled());
    EXPECT_EQ(component.GetEncryption().UserPermissions(), rights);
    // Reset keeps the settings for the next save.
    component.Reset();
    EXPECT_EQ(component.GetEncryption().UserPermissions(), rights);
}

TEST_F(LoadingTest, PasswordHandlerIsAskedUntilItsAnswerOpensTheFile) {
    QZ_REQUIRE_TOOLS("qpdf");
    const fs::path locked = Encrypted(dir_, b_, "locked.pdf", testing::QpdfEncryption::Aes128, "secret");
    TqzPDFDocument component;
    std::vector<int32_t> tries;
    std::vector<std::string> offered;
    int begin = 0, end = 0;
    component.OnBeginRead = [&](TqzCustomPDFDocument*) { ++begin; };
    component.OnEndRead = [&](TqzCustomPDFDocument*) { ++end; };
    component.OnPassword = [&](TqzCustomPDFDocument*, std::string& password, bool&, int32_t tryCount) {
        offered.push_back(password);
        tries.push_back(tryCount);
        password = tryCount == 0 ? "wrong" : "secret";
    };
    EXPECT_TRUE(component.LoadFromFile(locked, "also wrong"));
    EXPECT_EQ(tries, (std::vector<int32_t>{0, 1}));
    // The first prompt starts empty: the load's own argument is not shown.
    EXPECT_EQ(offered, (std::vector<std::string>{"", "wrong"}));
    EXPECT_EQ(begin, 3);
    EXPECT_EQ(end, 1);
    EXPECT_EQ(component.GetPageCount(), 2);
}

TEST_F(LoadingTest, PasswordHandlerThatGivesUpLeavesTheComponentUnloadedAndUsable) {
    QZ_REQUIRE_TOOLS("qpdf");
    const fs::path locked = Encrypted(dir_, b_, "locked.pdf", testing::QpdfEncryption::Rc4_128, "secret");
    TqzPDFDocument component;
    int asked = 0;
    component.OnPassword = [&](TqzCustomPDFDocument*, std::string&, bool& continueLoading, int32_t) {
        ++asked;
        continueLoading = false;
    };
    EXPECT_FALSE(component.LoadFromFile(locked, ""));
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(component.GetIsLoaded());
    EXPECT_EQ(component.GetPageCount(), 0);
    EXPECT_THROW(component.SaveToFile(dir_.File("out.pdf"), false, false), ENoDocumentError);
    EXPECT_FALSE(fs::exists(dir_.File("out.pdf")));
    // A merge that meets the given-up file ends naming it.
    EXPECT_THROW(component.MergeDocs(Paths({locked, a_})), EMergeError);
    // The continue flag is set again for the next load.
    component.OnPassword = [&](TqzCustomPDFDocument*, std::string& password, bool&, int32_t) { password = "secret"; };
    EXPECT_TRUE(component.LoadFromFile(locked, ""));
    EXPECT_EQ(component.GetPageCount(), 2);
}

TEST_F(LoadingTest, RefusedPasswordWithoutAHandlerRaisesAndLoadsNothing) {
    QZ_REQUIRE_TOOLS("qpdf");
    const fs::path locked = Encrypted(dir_, b_, "locked.pdf", testing::QpdfEncryption::Rc4_40, "secret");
    TqzPDFDocument component;
    ASSERT_TRUE(component.LoadFromFile(a_, ""));
    EXPECT_THROW(component.LoadFromFile(locked, ""), document::ExPasswordRequired);
    EXPECT_FALSE(component.GetIsLoaded());
    EXPECT_EQ(component.GetPageCount(), 0);
    EXPECT_THROW(component.SaveToFile(dir_.File("out.pdf"), false, false), ENoDocumentError);
    EXPECT_FALSE(fs::exists(dir_.File("out.pdf")));
    EXPECT_TRUE(component.LoadFromFile(locked, "secret"));
    EXPECT_EQ(component.GetPageCount(), 2);
}

// `bytes` of a file qpdf wrote with uncompressed streams, damaged as AES data
// is when a piece of a block is lost: the last `count` bytes of every
// stream's data and of the hexadecimal /Title are blanked and the /Length
// lowered, so every offset stays where it was. Returns how many streams it cut.
int32_t CutBlockPieces(std::string& bytes, size_t count) {
    int32_t streams = 0;
    for (size_t at = bytes.find("stream\n"); at != std::string::npos;
         at = bytes.find("stream\n", at + 1)) {
        if (at >= 3 && bytes.compare(at - 3, 3, "end") == 0) continue;
        const size_t digits = bytes.rfind("/Length ", at) + 8;
        const size_t end = bytes.find_first_not_of("0123456789", digits);
        const size_t length = std::stoul(bytes.substr(digits, end - digits));
        std::string shorter = std::to_string(length - count);
        shorter.resize(end - digits, ' ');
        bytes.replace(digits, end - digits, shorter);
        const size_t data = at + 7;
        bytes.replace(data + length - count, count, count, ' ');
        ++streams;
    }
    const size_t close = bytes.find('>', bytes.find("/Title <"));
    bytes.replace(close - 2 * count, 2 * count, 2 * count, ' ');
    return streams;
}

TEST_F(LoadingTest, DamagedAESDataKeepsItsWholeBlocksAndTheMergeGoesOn) {
    // Every stream and the title of an AES file lose the end of their last
    // block. What their whole blocks hold is kept, as other readers keep it,
    // and the merge goes on.
    QZ_REQUIRE_TOOLS("qpdf", "pdftotext", "pdfinfo");
    testing::PdfBuilder b = testing::MinimalDocument(2, "D");
    const std::string title = "A title that fills three AES blocks.....";
    ASSERT_EQ(title.size(), 40u);
    b.SetInfo(b.Add("<< /Title (" + title + ") >>"));
    const fs::path plain = dir_.Write("plain.pdf", b.Write());
    std::vector<std::string> args =
        testing::QpdfEncryptArgs("", "owner", testing::QpdfEncryption::Aes128);
    args.insert(args.begin(), "--compress-streams=n");
    const fs::path intact = dir_.File("intact.pdf");
    testing::QpdfTransform(plain, intact, args);
    std::string bytes = platform::ReadFileBytes(intact);
    ASSERT_EQ(CutBlockPieces(bytes, 7), 2);
    const fs::path damaged = dir_.Write("damaged.pdf", bytes);
    // Poppler reads the damaged file's pages.
    ASSERT_EQ(PageMarkers(damaged), Markers("D", 2));

    const fs::path out = dir_.File("out.pdf");
    {
        TqzPDFDocument component;
        component.MergeDocs(Paths({damaged, a_}));
        component.SaveToFile(out, false, false);
    }
    EXPECT_TRUE(testing::QpdfCheckPasses(out));
    EXPECT_EQ(PageMarkers(out), Concat({Markers("D", 2), Markers("A", 1)}));
    // The title keeps its two whole blocks.
    const testing::RunResult info = testing::RunProgram({"pdfinfo", out.string()});
    EXPECT_NE(info.out.find("Title:           " + title.substr(0, 32) + "\n"), std::string::npos)
        << info.Describe();
}

TEST_F(LoadingTest, SignedThenEncryptedFileMergesWithItsSignatureContentsAsStored) {
    // A signature's /Contents is never encrypted: read as stored, and written
    // so into the encrypted output. 37 bytes are no whole number of AES blocks.
    QZ_REQUIRE_TOOLS("qpdf", "pdftotext", "pdfinfo");
    const std::string signature =
        std::string("\x30\x82\x05\xF1\x06\x09\x2A\x86\x48", 9) + std::string(28, '\0');
    std::string hex = core::StringToHex2(signature);
    for (char& c : hex) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const fs::path plain = dir_.Write("signed.pdf", testing::SignedDocument(signature).Write());
    for (const auto level : {testing::QpdfEncryption::Rc4_128, testing::QpdfEncryption::Aes128}) {
        SCOPED_TRACE(static_cast<int>(level));
        const fs::path encrypted = Encrypted(dir_, plain, "signed-encrypted.pdf", level);
        const fs::path out = dir_.File("out.pdf");
        {
            TqzPDFDocument component;
            component.MergeDocs(Paths({encrypted, a_}));
            component.SaveToFile(out, false, false);
        }
        EXPECT_TRUE(testing::QpdfCheckPasses(out));
        EXPECT_EQ(PageMarkers(out), Concat({Markers("S", 1), Markers("A", 1)}));
        const testing::RunResult decrypted =
            testing::RunProgram({"qpdf", "--decrypt", "--qdf", out.string(), "-"});
        EXPECT_NE(decrypted.out.find("/Type /Sig"), std::string::npos);
        EXPECT_NE(decrypted.out.find("/Contents <" + hex + ">"), std::string::npos)
            << decrypted.Describe();
    }
}

}  // namespace
}  // namespace qz::component
