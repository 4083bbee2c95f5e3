#include "core/PDWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include <unistd.h>

#include "core/Conversions.h"
#include "core/MemoryStream.h"
#include "core/PDArray.h"
#include "core/PDBaseExceptions.h"
#include "core/PDBoolean.h"
#include "core/PDDictionary.h"
#include "core/PDIndirectRef.h"
#include "core/PDInteger.h"
#include "core/PDName.h"
#include "core/PDStream.h"
#include "core/PDString.h"
#include "core/tests/FakeWriterDocument.h"
#include "core/tests/WrittenFileCheck.h"
#include "platform/Streams.h"

namespace qz::core {
namespace {

using testing::FakeSigningService;
using testing::FakeWriterDocument;
using testing::WrittenSection;

std::unique_ptr<TqzPDIndirectRef> Ref(uint32_t number) { return std::make_unique<TqzPDIndirectRef>(number, 0); }
std::unique_ptr<TqzPDName> Name(const char* name) { return std::make_unique<TqzPDName>(name); }

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// A one-page document under deliberately high numbers, so that renumbering
// shows: catalog 10, pages 11, page 12, contents 13, font 14 (referred to
// from the page's resources and from the catalog), information 20.
void BuildSmallDocument(FakeWriterDocument& doc) {
    TqzPDDictionary* catalog = doc.NewDict(10);
    catalog->Add("Type", Name("Catalog"));
    catalog->Add("Pages", Ref(11));
    catalog->Add("Extra", Ref(14));
    TqzPDDictionary* pages = doc.NewDict(11);
    pages->Add("Type", Name("Pages"));
    auto kids = std::make_unique<TqzPDArray>(&doc);
    kids->Add(Ref(12));
    pages->Add("Kids", std::move(kids));
    pages->Add("Count", std::make_unique<TqzPDInteger>(1));
    TqzPDDictionary* page = doc.NewDict(12);
    page->Add("Type", Name("Page"));
    page->Add("Parent", Ref(11));
    page->Add("Contents", Ref(13));
    auto fonts = std::make_unique<TqzPDDictionary>(&doc);
    fonts->Add("F1", Ref(14));
    auto resources = std::make_unique<TqzPDDictionary>(&doc);
    resources->Add("Font", std::move(fonts));
    page->Add("Resources", std::move(resources));
    auto streamDict = std::make_unique<TqzPDDictionary>(&doc);
    streamDict->Add("Filter", Name("FlateDecode"));
    doc.Put(std::make_unique<TqzPDStream>(std::make_shared<TqzMemoryStream>(std::string("stored bytes")),
                                          std::move(streamDict), 13, 0));
    TqzPDDictionary* font = doc.NewDict(14);
    font->Add("Type", Name("Font"));
    font->Add("BaseFont", Name("Helvetica"));
    TqzPDDictionary* info = doc.NewDict(20);
    info->Add("Producer", std::make_unique<TqzPDString>("test", false));
    doc.SetTrailerRef("Root", 10);
    doc.SetTrailerRef("Info", 20);
    auto id = std::make_unique<TqzPDArray>(&doc);
    id->Add(std::make_unique<TqzPDString>("0123ABCD", true));
    id->Add(std::make_unique<TqzPDString>("0123ABCD", true));
    doc.GetTrailer()->Add("ID", std::move(id));
}

std::string SaveToMemory(FakeWriterDocument& doc) {
    platform::MemoryStream out;
    TqzPDWriter writer(doc);
    writer.SaveDocument(&out);
    return out.Bytes();
}

TEST(PDWriterTest, FullSaveLayout) {
    FakeWriterDocument doc;
    BuildSmallDocument(doc);
    const std::string pdf = SaveToMemory(doc);

    EXPECT_EQ(pdf.substr(0, 19), "%PDF-1.4\r\n%\xE2\xE3\xCF\xD3\r\n\r\n");
    // Numbers are given in the order writing starts; texts follow the
    // objects they refer to, so the catalog is object 1 and comes last of its
    // tree, and the font reached twice is written once.
    for (int n = 2; n <= 5; ++n) {
        EXPECT_LT(pdf.find(std::to_string(n) + " 0 obj\r\n"), pdf.find("1 0 obj\r\n")) << n;
    }
    EXPECT_NE(pdf.find("1 0 obj\r\n<</Type /Catalog /Pages 2 0 R /Extra 5 0 R >>\r\nendobj\r\n"), std::string::npos);
    EXPECT_EQ(Count(pdf, "/Type /Font"), 1u);
    EXPECT_NE(pdf.find("/F1 5 0 R"), std::string::npos);
    EXPECT_NE(pdf.find("4 0 obj\r\n<</Filter /FlateDecode /Length 12 >>\r\nstream\r\nstored bytes\r\nendstream"),
              std::string::npos);
    EXPECT_NE(pdf.find("6 0 obj\r\n<</Producer (test) >>"), std::string::npos);
    EXPECT_GT(pdf.find("6 0 obj"), pdf.find("1 0 obj"));

    std::vector<WrittenSection> sections;
    ASSERT_TRUE(testing::XRefOffsetsPointAtObjects(pdf, &sections));
    ASSERT_EQ(sections.size(), 1u);
    const WrittenSection& section = sections[0];
    EXPECT_EQ(pdf.substr(static_cast<size_t>(section.Offset), 31), "xref\r\n0 7\r\n0000000000 65535 f\r\n");
    ASSERT_EQ(section.Lines.size(), 7u);
    for (size_t n = 1; n < 7; ++n) EXPECT_TRUE(section.Lines[n].InUse) << n;
    EXPECT_EQ(section.Size, 7);
    EXPECT_FALSE(section.Prev);
    EXPECT_NE(section.Trailer.find("trailer\r\n<</Size 7 /Root 1 0 R /Info 6 0 R /ID [ <0123ABCD> <0123ABCD> ] >>\r\n"),
              std::string::npos)
        << section.Trailer;
    const std::string tail = "startxref\r\n" + std::to_string(section.Offset) + "\r\n%%EOF\r\n";
    EXPECT_EQ(pdf.substr(pdf.size() - tail.size()), tail);

    // Every written object carries its new number and is marked written.
    EXPECT_EQ(doc.GetObject(10)->GetObjNumber(), 1u);
    EXPECT_TRUE(doc.GetObject(14)->GetIsWritten());
}

TEST(PDWriterTest, OptionsThatNameNoFormStillWriteAWholeFile) {
    FakeWriterDocument doc;
    BuildSmallDocument(doc);
    doc.Options() = {};
    const std::string pdf = SaveToMemory(doc);
    EXPECT_EQ(pdf.substr(0, 10), "%PDF-1.7\r\n");
    EXPECT_TRUE(testing::XRefOffsetsPointAtObjects(pdf));

    FakeWriterDocument bare;
    BuildSmallDocument(bare);
    bare.Options().Header = "%PDF-1.3";  // no line break of its own
    EXPECT_EQ(SaveToMemory(bare).substr(0, 11), "%PDF-1.3\r\n%");
}

TEST(PDWriterTest, FullSaveReplacesWhatTheStreamHeld) {
    FakeWriterDocument doc;
    BuildSmallDocument(doc);
    platform::MemoryStream out(std::string(100000, 'x'));
    TqzPDWriter writer(doc);
    writer.SaveDocument(&out);
    EXPECT_EQ(out.Bytes().find('x' + std::string(10, 'x')), std::string::npos);
    EXPECT_EQ(out.Bytes().substr(out.Bytes().size() - 7), "%%EOF\r\n");
}

TEST(PDWriterTest, EncryptionDictionary) {
    // The document's dictionary for the output is referenced from the trailer
    // and written; the one the file was loaded with counts as written.
    FakeWriterDocument doc;
    BuildSmallDocument(doc);
    TqzPDDictionary* loaded = doc.NewDict(30);
    loaded->Add("Filter", Name("Standard"));
    doc.SetTrailerRef("Encrypt", 30);
    TqzPDDictionary* fresh = doc.NewDict(31);
    fresh->Add("Filter", Name("Standard"));
    fresh->Add("O", std::make_unique<TqzPDString>("owner", false));
    doc.EncryptionDict = fresh;
    doc.Encrypted = true;
    std::string pdf = SaveToMemory(doc);
    EXPECT_NE(pdf.find("7 0 obj\r\n<</Filter /Standard /O (owner) >>"), std::string::npos) << pdf;
    EXPECT_NE(pdf.find("/Encrypt 7 0 R"), std::string::npos);
    EXPECT_TRUE(loaded->GetIsWritten());
    EXPECT_EQ(Count(pdf, "/Filter /Standard"), 1u);

    // Without one, the dictionary the file was loaded with is written as it is.
    FakeWriterDocument kept;
    BuildSmallDocument(kept);
    kept.NewDict(30)->Add("Filter", Name("Standard"));
    kept.SetTrailerRef("Encrypt", 30);
    pdf = SaveToMemory(kept);
    EXPECT_NE(pdf.find("7 0 obj\r\n<</Filter /Standard >>"), std::string::npos);
    EXPECT_NE(pdf.find("/Encrypt 7 0 R"), std::string::npos);
    EXPECT_TRUE(testing::XRefOffsetsPointAtObjects(pdf));
}

TEST(PDWriterTest, DirectTrailerEntries) {
    // A malformed trailer may hold its dictionaries directly: the catalog and
    // the information dictionary become objects, the encryption dictionary
    // stays in the trailer.
    FakeWriterDocument doc;
    BuildSmallDocument(doc);
    auto catalog = static_cast<TqzPDDictionary&>(*doc.GetObject(10)).Clone();
    catalog->SetObjNumber(kDirectObject);
    catalog->SetGenNumber(kDirectObject);
    doc.GetTrailer()->SetKeyValue("Root", std::move(catalog));
    auto info = std::make_unique<TqzPDDictionary>(&doc);
    info->Add("Title", std::make_unique<TqzPDString>("direct", false));
    doc.GetTrailer()->SetKeyValue("Info", std::move(info));
    auto encrypt = std::make_unique<TqzPDDictionary>(&doc);
    encrypt->Add("Filter", Name("Standard"));
    doc.GetTrailer()->SetKeyValue("Encrypt", std::move(encrypt));
    const std::string pdf = SaveToMemory(doc);
    EXPECT_TRUE(testing::XRefOffsetsPointAtObjects(pdf));
    EXPECT_NE(pdf.find("1 0 obj\r\n<</Extra 2 0 R /Pages 3 0 R /Type /Catalog >>"), std::string::npos);
    EXPECT_NE(pdf.find("6 0 obj\r\n<</Title (direct) >>"), std::string::npos);
    EXPECT_NE(pdf.find("/Root 1 0 R /Info 6 0 R /Encrypt <</Filter /Standard >>"), std::string::npos);
}

TEST(PDWriterTest, Errors) {
    FakeWriterDocument doc;
    BuildSmallDocument(doc);
    TqzPDWriter writer(doc);
    EXPECT_THROW(writer.SaveDocument(static_cast<platform::Stream*>(nullptr)), ExInvalidStream);
    EXPECT_THROW(writer.SaveDocument(std::filesystem::path()), ExInvalidFileName);
    try {
        writer.SaveDocument(std::filesystem::path("/nonexistent-folder/out.pdf"));
        FAIL() << "no exception";
    } catch (const ExFileCreateError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("File create error: ", 0), 0u) << e.what();
        EXPECT_GT(std::string(e.what()).size(), std::string("File create error: ").size());
    }
}

TEST(PDWriterTest, SavesToAFile) {
    FakeWriterDocument doc;
    BuildSmallDocument(doc);
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("qz-writer-" + std::to_string(::getpid()) + ".pdf");
    TqzPDWriter writer(doc);
    writer.SaveDocument(path);
    const std::string pdf = platform::ReadFileBytes(path);
    std::filesystem::remove(path);
    EXPECT_TRUE(testing::XRefOffsetsPointAtObjects(pdf));
    EXPECT_EQ(pdf.substr(pdf.size() - 7), "%%EOF\r\n");
}

// ---- the writer's cross-reference section ----

std::unique_ptr<TqzPDXRef> WriterTable(int32_t start, uint32_t last) {
    auto xref = std::make_unique<TqzPDXRef>();
    xref->SetStartObjectNumber(start);
    xref->SetLastObjectNumber(last);
    return xref;
}

TEST(PDXRefWriteTest, IncrementalTableListsRewrittenPagesAndFreesUnusedNumbers) {
    const auto table = WriterTable(10, 13);
    TqzPDXRef& xref = *table;
    xref.SetEntry(3, TqzPDXRefEntry(100, 0, TqzPDXRefEntrytype::xeUnCompressed));  // a page rewritten
    xref.SetEntry(4, TqzPDXRefEntry(150, 0, TqzPDXRefEntrytype::xeUnCompressed));  // the next page too
    xref.SetEntry(6, TqzPDXRefEntry(170, 0, TqzPDXRefEntrytype::xeCompressed));    // provisional, not written
    xref.SetEntry(10, TqzPDXRefEntry(200, 0, TqzPDXRefEntrytype::xeUnCompressed));
    xref.SetEntry(12, TqzPDXRefEntry(300, 0, TqzPDXRefEntrytype::xeUnCompressed));
    xref.SetEntry(13, TqzPDXRefEntry(400, 0, TqzPDXRefEntrytype::xeUnCompressed));
    TqzMemoryStream out(std::string(50, ' '));
    out.SetPosition(0, SeekOrigin::End);
    xref.SaveToStream(out);
    EXPECT_EQ(xref.GetStartXrefValue(), 50u);
    EXPECT_EQ(out.Bytes().substr(50),
              "xref\r\n"
              "3 2\r\n"
              "0000000100 00000 n\r\n"
              "0000000150 00000 n\r\n"
              "10 4\r\n"
              "0000000200 00000 n\r\n"
              "4294967295 65535 f\r\n"
              "0000000300 00000 n\r\n"
              "0000000400 00000 n\r\n");
}

TEST(PDXRefWriteTest, SectionWithNothingWrittenListsTheFreeHead) {
    const auto table = WriterTable(10, 9);
    TqzPDXRef& xref = *table;
    xref.SetEntry(3, TqzPDXRefEntry(170, 0, TqzPDXRefEntrytype::xeCompressed));  // an unchanged page
    TqzMemoryStream out;
    xref.SaveToStream(out);
    EXPECT_EQ(out.Bytes(), "xref\r\n0 1\r\n0000000000 65535 f\r\n");
}

TEST(PDXRefWriteTest, StreamSectionListsOnlyWrittenObjects) {
    const auto table = WriterTable(10, 12);
    TqzPDXRef& xref = *table;
    xref.SetEntry(3, TqzPDXRefEntry(100, 0, TqzPDXRefEntrytype::xeUnCompressed));
    xref.SetEntry(6, TqzPDXRefEntry(170, 0, TqzPDXRefEntrytype::xeCompressed));
    xref.SetEntry(10, TqzPDXRefEntry(200, 0, TqzPDXRefEntrytype::xeUnCompressed));
    xref.SetEntry(12, TqzPDXRefEntry(300, 0, TqzPDXRefEntrytype::xeUnCompressed));
    TqzPDDictionary trailer;
    trailer.Add("Root", Ref(1));
    trailer.Add("Prev", std::make_unique<TqzPDInteger>(555));
    TqzMemoryStream out(std::string(500, ' '));
    out.SetPosition(0, SeekOrigin::End);
    xref.SaveToStream(out, &trailer);
    const std::string& bytes = out.Bytes();
    EXPECT_EQ(bytes.substr(500, 11), "13 0 obj\r\n<");
    WrittenSection section;
    std::string error;
    ASSERT_TRUE(testing::ParseSection(bytes, 500, section, error)) << error;
    EXPECT_EQ(section.Subsections, (std::vector<std::pair<uint32_t, uint32_t>>{{3, 1}, {10, 4}}));
    ASSERT_EQ(section.Lines.size(), 5u);
    EXPECT_TRUE(section.Lines[0].InUse);
    EXPECT_EQ(section.Lines[0].Offset, 100u);
    EXPECT_FALSE(section.Lines[2].InUse);  // 11: a number never used
    EXPECT_EQ(section.Lines[2].Offset, 0u);
    EXPECT_TRUE(section.Lines[4].InUse);  // 13: the stream itself
    EXPECT_EQ(section.Lines[4].Offset, 500u);
    EXPECT_EQ(section.Size, 14);
    EXPECT_EQ(section.Prev, 555);
    EXPECT_NE(section.Trailer.find("/Root 1 0 R"), std::string::npos);
    EXPECT_NE(section.Trailer.find("/W [ 1 4 1 ]"), std::string::npos);
    EXPECT_NE(section.Trailer.find("/Length 30"), std::string::npos);
    EXPECT_EQ(xref.GetStartXrefValue(), 500u);
}

// ---- signing ----

TEST(PDWriterTest, SigningWithoutSignatureServicesWritesNothing) {
    FakeWriterDocument doc;
    BuildSmallDocument(doc);
    doc.SignDoc = true;
    platform::MemoryStream out;
    TqzPDWriter writer(doc);
    try {
        writer.SaveDocument(&out);
        FAIL() << "no exception";
    } catch (const ExUnsupportedFeature& e) {
        EXPECT_STREQ(e.what(), TqzPDWriter::kSigningUnavailable);
    }
    EXPECT_EQ(out.Size(), 0);
}

// The small document with a signature field whose /V is a placeholder of
// `fillerDigits` hexadecimal digits.
TqzPDDictionary* AddPlaceholder(FakeWriterDocument& doc, size_t fillerDigits = 16000) {
    TqzPDDictionary* value = doc.NewDict(40);
    value->Add("Veltrano", std::make_unique<TqzPDBoolean>(true));
    value->Add("Pad", std::make_unique<TqzPDString>(std::string(fillerDigits, '0'), true));
    TqzPDDictionary* field = doc.NewDict(41);
    field->Add("FT", Name("Sig"));
    field->Add("V", Ref(40));
    auto fields = std::make_unique<TqzPDArray>(&doc);
    fields->Add(Ref(41));
    auto form = std::make_unique<TqzPDDictionary>(&doc);
    form->Add("Fields", std::move(fields));
    static_cast<TqzPDDictionary*>(doc.GetObject(10))->Add("AcroForm", std::move(form));
    return value;
}

struct SignedSave {
    std::string Pdf;
    int64_t B = 0;
    int64_t C = 0;
};

SignedSave SaveSigned(FakeWriterDocument& doc, FakeSigningService& service) {
    doc.SignDoc = true;
    doc.Service = &service;
    SignedSave save;
    save.Pdf = SaveToMemory(doc);
    save.B = static_cast<int64_t>(save.Pdf.find("/Contents<")) + 9;
    save.C = save.B + 15002;
    return save;
}

TEST(PDWriterTest, SignatureFill) {
    FakeWriterDocument doc;
    BuildSmallDocument(doc);
    FakeSigningService service;
    service.Placeholder = AddPlaceholder(doc);
    TqzSignature& settings = doc.GetSignature();
    settings.Filter = "Adobe.PPKLite";
    settings.Subfilter = "adbe.pkcs7.sha1";
    settings.Reason = "ok (final";  // unbalanced: must not swallow what follows
    settings.Location = "C:\\office";
    settings.DateTime = 45000.5;  // 2023-03-15 12:00
    const SignedSave save = SaveSigned(doc, service);
    const std::string& pdf = save.Pdf;

    EXPECT_EQ(pdf.substr(0, 10), "%PDF-1.5\r\n");
    EXPECT_TRUE(doc.GetSaveOptions().Full);
    const size_t at = pdf.find("<</Type /Sig");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(pdf.substr(at, static_cast<size_t>(save.B) + 1 - at),
              "<</Type /Sig /Filter /Adobe.PPKLite /SubFilter /adbe.pkcs7.sha1 /Reason (ok \\(final) "
              "/Location (C:\\\\office)/M (D:20230315120000) /Contents<");
    EXPECT_EQ(pdf.substr(static_cast<size_t>(save.B) + 1, 12), "30820100ABCD");
    EXPECT_EQ(pdf.substr(static_cast<size_t>(save.B) + 13, 14988), std::string(14988, '0'));
    EXPECT_EQ(pdf[static_cast<size_t>(save.C) - 1], '>');
    const int64_t d = static_cast<int64_t>(pdf.size()) - save.C;
    EXPECT_EQ(pdf.substr(static_cast<size_t>(save.C), 64).rfind(
                  "/ByteRange [0 " + std::to_string(save.B) + " " + std::to_string(save.C) + " " +
                      std::to_string(d) + "]",
                  0),
              0u);
    EXPECT_EQ(service.Password, "secret");
    // The signed bytes are everything but the hexadecimal value and its brackets.
    EXPECT_EQ(service.SignedBytes, pdf.substr(0, static_cast<size_t>(save.B)) + pdf.substr(static_cast<size_t>(save.C)));
    // Nothing else moved.
    EXPECT_TRUE(testing::XRefOffsetsPointAtObjects(pdf));
}

TEST(PDWriterTest, SignatureTextsOfAnEncryptedFileAreEncrypted) {
    FakeWriterDocument full;
    BuildSmallDocument(full);
    full.Encrypted = true;
    FakeSigningService fullService;
    fullService.Placeholder = AddPlaceholder(full);
    full.GetSignature().Author = "me";
    const SignedSave save = SaveSigned(full, fullService);
    const std::string number = std::to_string(fullService.Placeholder->GetObjNumber());
    EXPECT_NE(save.Pdf.find("/Name <" + StringToHex2("{" + number + ",0:me}") + ">"), std::string::npos);
}

TEST(PDWriterTest, SigningFailuresRaise) {
    struct Case {
        const char* name;
        std::string result;
        size_t filler;
        std::string reason;
        bool placeholder;
    };
    const Case cases[] = {
        {"empty signature", "", 16000, "", true},
        {"signature over 15000 digits", std::string(7501, 'x'), 16000, "", true},
        {"settings that overflow the placeholder", "sig", 16000, std::string(2000, 'r'), true},
        {"placeholder too small", "sig", 15000, "", true},
        {"no placeholder", "sig", 16000, "", false},
    };
    for (const Case& c : cases) {
        FakeWriterDocument doc;
        BuildSmallDocument(doc);
        FakeSigningService service;
        TqzPDDictionary* placeholder = AddPlaceholder(doc, c.filler);
        if (c.placeholder) service.Placeholder = placeholder;
        service.Result = c.result;
        doc.GetSignature().Reason = c.reason;
        doc.SignDoc = true;
        doc.Service = &service;
        platform::MemoryStream out;
        TqzPDWriter writer(doc);
        try {
            writer.SaveDocument(&out);
            ADD_FAILURE() << c.name << ": no exception";
        } catch (const EBrevanto& e) {
            EXPECT_EQ(std::string(e.what()).rfind("Signing failed", 0), 0u) << c.name << ": " << e.what();
        }
    }
}

}  // namespace
}  // namespace qz::core
