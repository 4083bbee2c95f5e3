// The writer on real files: documents read by the reader and written in full
// or as an incremental update, checked with qpdf, pdfinfo and renders.

#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "core/PDArray.h"
#include "core/PDDictionary.h"
#include "core/PDInteger.h"
#include "core/PDString.h"
#include "core/PDWriter.h"
#include "core/tests/FakeWriterDocument.h"
#include "core/tests/LoadedDocument.h"
#include "core/tests/WrittenFileCheck.h"
#include "filters/Registration.h"
#include "platform/Streams.h"
#include "testing/GTestSupport.h"
#include "testing/PdfBuilder.h"
#include "testing/PostScript.h"
#include "testing/TempDir.h"
#include "testing/Tools.h"

namespace qz::core {
namespace {

using qz::core::testing::LoadedDocument;
using qz::core::testing::WrittenSection;
using qz::core::testing::XRefOffsetsPointAtObjects;
using qz::testing::PdfBuilder;
using qz::testing::QpdfCheckPasses;
using qz::testing::SameRenders;
using qz::testing::TempDir;
using qz::testing::WriteOptions;
using qz::testing::XrefForm;

class WriterFilesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { filters::RegisterFilters(); }
};

std::shared_ptr<platform::MemoryStream> Input(const std::string& bytes) {
    return std::make_shared<platform::MemoryStream>(bytes);
}

std::string Save(LoadedDocument& doc) {
    platform::MemoryStream out;
    TqzPDWriter writer(doc);
    writer.SaveDocument(&out);
    return out.Bytes();
}

std::string FullSave(const std::string& input) {
    LoadedDocument doc(Input(input));
    return Save(doc);
}

// Written in full: one section whose offsets are right, a file qpdf finds
// clean, and pages that render as the input's.
void ExpectFullSaveKeepsTheDocument(const TempDir& dir, const std::string& name, const std::string& input) {
    SCOPED_TRACE(name);
    const std::string output = FullSave(input);
    std::vector<WrittenSection> sections;
    EXPECT_TRUE(XRefOffsetsPointAtObjects(output, &sections));
    EXPECT_EQ(sections.size(), 1u);
    const auto in = dir.Write(name + "-in.pdf", input);
    const auto out = dir.Write(name + "-out.pdf", output);
    EXPECT_TRUE(QpdfCheckPasses(out));
    EXPECT_TRUE(SameRenders(in, out));
}

TEST_F(WriterFilesTest, FullSaveOfBuiltFiles) {
    QZ_REQUIRE_TOOLS("qpdf", "pdftoppm");
    TempDir dir;
    struct Case {
        const char* name;
        XrefForm form;
        bool compress;
    };
    const Case cases[] = {
        {"table", XrefForm::Table, false},         {"table-flate", XrefForm::Table, true},
        {"stream", XrefForm::Stream, true},        {"objstm", XrefForm::ObjectStreams, false},
        {"hybrid", XrefForm::Hybrid, true},        {"linearized", XrefForm::Linearized, true},
    };
    for (const Case& c : cases) {
        PdfBuilder builder = qz::testing::MinimalDocument(3, "FULL", c.compress);
        ExpectFullSaveKeepsTheDocument(dir, c.name, builder.Write({.form = c.form}));
    }
    // An updated file: the newest version of each object is written.
    PdfBuilder updated = qz::testing::MinimalDocument(3, "OLD");
    updated.NewRevision();
    updated.SetStream(7, "<< >>", qz::testing::MarkerPageContent("NEW", 2));
    // Keeps the older "startxref" out of the last 700 bytes, where a reader
    // takes the first one it meets.
    updated.Add("<< /Pad (" + std::string(800, 'x') + ") >>");
    const std::string input = updated.Write();
    ExpectFullSaveKeepsTheDocument(dir, "updated", input);
    EXPECT_NE(qz::testing::PdfToText(dir.Write("updated-check.pdf", FullSave(input))).find("NEW-2"),
              std::string::npos);
}

TEST_F(WriterFilesTest, FullSaveOfToolMadeFiles) {
    QZ_REQUIRE_TOOLS("qpdf", "pdftoppm", "gs");
    TempDir dir;
    struct Case {
        const char* name;
        std::string postScript;
    };
    const std::vector<Case> cases = {
        {"gs-text", qz::testing::PsTextPages(3, "TEXT")},
        {"gs-vector", qz::testing::PsVectorPages(2, "VEC")},
        {"gs-image", qz::testing::PsImagePage(120, 90, true, true, "IMG")},
    };
    for (const Case& c : cases) {
        const auto made = dir.File(std::string(c.name) + ".pdf");
        qz::testing::MakeWithGhostscript(c.postScript, made);
        ExpectFullSaveKeepsTheDocument(dir, c.name, platform::ReadFileBytes(made));
    }
    // The same text rewritten by qpdf with object streams.
    const auto packed = dir.File("qpdf-objstm.pdf");
    qz::testing::QpdfTransform(dir.File("gs-text.pdf"), packed, {"--object-streams=generate"});
    ExpectFullSaveKeepsTheDocument(dir, "qpdf-objstm", platform::ReadFileBytes(packed));
}

// ---- incremental updates ----

TqzPDDictionary* PageDict(LoadedDocument& doc, int32_t index) {
    auto* pages = static_cast<TqzPDDictionary*>(doc.GetDocRoot()->LookUp("Pages"));
    auto* kids = static_cast<TqzPDArray*>(pages->LookUp("Kids"));
    return static_cast<TqzPDDictionary*>(kids->Get(index));
}

// MinimalDocument(3) with an information dictionary (object 10).
qz::testing::PdfFile BuiltWithInfo(XrefForm form) {
    PdfBuilder builder = qz::testing::MinimalDocument(3, "INC");
    builder.SetInfo(builder.Add("<< /Producer (builder) >>"));
    return builder.Build({.form = form});
}

TEST_F(WriterFilesTest, IncrementalUpdateKeepsTheFileAndShowsTheChange) {
    QZ_REQUIRE_TOOLS("qpdf", "pdfinfo");
    TempDir dir;
    struct Case {
        const char* name;
        XrefForm form;
        std::string ending;  // replaces the builder's "%%EOF\n"
        std::string separator;  // expected between the copy and the update
    };
    const Case cases[] = {
        {"lf", XrefForm::Table, "%%EOF\n", "\r\n"},
        {"crlf", XrefForm::Table, "%%EOF\r\n", ""},
        {"bare", XrefForm::Table, "%%EOF", "\r\n"},
        {"stream", XrefForm::Stream, "%%EOF\n", "\r\n"},
        {"objstm", XrefForm::ObjectStreams, "%%EOF\n", "\r\n"},
        {"hybrid", XrefForm::Hybrid, "%%EOF\n", "\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const qz::testing::PdfFile built = BuiltWithInfo(c.form);
        std::string input = built.bytes;
        ASSERT_EQ(input.substr(input.size() - 6), "%%EOF\n");
        input = input.substr(0, input.size() - 6) + c.ending;

        LoadedDocument doc(Input(input));
        const uint32_t oldLast = doc.GetReader()->GetXRef()->GetLastObjectNumber();
        doc.GetDocInfo()->SetKeyValue("Title", std::make_unique<TqzPDString>("Changed", false));
        TqzPDDictionary* page = PageDict(doc, 1);
        const uint32_t pageNumber = page->GetObjNumber();
        page->SetKeyValue("Rotate", std::make_unique<TqzPDInteger>(90));
        doc.SetIncremental();
        const std::string output = Save(doc);

        ASSERT_EQ(output.substr(0, input.size()), input);
        // The rewritten page is the first object of the update.
        const std::string pageHeader = std::to_string(pageNumber) + " 0 obj\r\n";
        EXPECT_EQ(output.substr(input.size(), c.separator.size() + pageHeader.size()), c.separator + pageHeader);
        EXPECT_EQ(output.substr(output.size() - 7), "%%EOF\r\n");

        std::vector<WrittenSection> sections;
        EXPECT_TRUE(XRefOffsetsPointAtObjects(output, &sections));
        ASSERT_FALSE(sections.empty());
        const WrittenSection& update = sections[0];
        EXPECT_EQ(update.Prev, built.startxref);
        ASSERT_EQ(update.Subsections.size(), 2u);
        // The page under its own number, then the objects numbered anew.
        EXPECT_EQ(update.Subsections[0], std::make_pair(pageNumber, 1u));
        EXPECT_EQ(update.Subsections[1].first, oldLast + 1);
        for (const auto& line : update.Lines) EXPECT_TRUE(line.InUse) << line.Number;
        EXPECT_EQ(update.Size, int64_t{update.Subsections[1].first} + update.Subsections[1].second);

        const auto out = dir.Write(std::string(c.name) + ".pdf", output);
        EXPECT_TRUE(QpdfCheckPasses(out));
        const auto info = qz::testing::RunProgram({"pdfinfo", "-f", "1", "-l", "3", out.string()});
        EXPECT_TRUE(std::regex_search(info.out, std::regex(R"(Title:\s+Changed\n)"))) << info.out;
        EXPECT_TRUE(std::regex_search(info.out, std::regex(R"(Page\s+1 rot:\s+0\n)"))) << info.out;
        EXPECT_TRUE(std::regex_search(info.out, std::regex(R"(Page\s+2 rot:\s+90\n)"))) << info.out;
    }
}

TEST_F(WriterFilesTest, IncrementalUpdateKeepsAPageGeneration) {
    // Objects the update leaves alone still refer to "4 2 R": the rewritten
    // page must stand under that generation.
    QZ_REQUIRE_TOOLS("qpdf", "pdfinfo");
    TempDir dir;
    PdfBuilder builder = qz::testing::MinimalDocument(1, "GEN");
    builder.Set(2, "<< /Type /Pages /Kids [4 2 R] /Count 1 >>");
    builder.Set(4,
                "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Resources << /Font << /F1 3 0 R >> >> "
                "/Contents 5 0 R >>",
                2);
    const std::string input = builder.Write();
    LoadedDocument doc(Input(input));
    TqzPDDictionary* page = PageDict(doc, 0);
    ASSERT_NE(page, nullptr);
    page->SetKeyValue("Rotate", std::make_unique<TqzPDInteger>(90));
    doc.SetIncremental();
    const std::string output = Save(doc);
    ASSERT_EQ(output.substr(0, input.size()), input);
    EXPECT_NE(output.find("4 2 obj", input.size()), std::string::npos);
    const auto out = dir.Write("gen.pdf", output);
    EXPECT_TRUE(QpdfCheckPasses(out));
    const auto info = qz::testing::RunProgram({"pdfinfo", "-f", "1", "-l", "1", out.string()});
    EXPECT_TRUE(std::regex_search(info.out, std::regex(R"(Page\s+1 rot:\s+90\n)"))) << info.out;
}

TEST_F(WriterFilesTest, IncrementalUpdateWithNothingChanged) {
    QZ_REQUIRE_TOOLS("qpdf");
    TempDir dir;
    const qz::testing::PdfFile built = BuiltWithInfo(XrefForm::Table);
    LoadedDocument doc(Input(built.bytes));
    doc.SetIncremental();
    const std::string output = Save(doc);
    ASSERT_EQ(output.substr(0, built.bytes.size()), built.bytes);
    const std::string update = output.substr(built.bytes.size());
    EXPECT_EQ(update.substr(0, 33), "\r\nxref\r\n0 1\r\n0000000000 65535 f\r\n");
    EXPECT_NE(update.find("trailer\r\n<</Size 11 /Prev " + std::to_string(built.startxref) + " /Root 1 0 R /Info 10 0 R"),
              std::string::npos)
        << update;
    EXPECT_EQ(update.substr(update.size() - 7), "%%EOF\r\n");
    EXPECT_TRUE(QpdfCheckPasses(dir.Write("same.pdf", output)));
}

TEST_F(WriterFilesTest, IncrementalUpdateInPlace) {
    // Updating the loaded file itself appends to it.
    const qz::testing::PdfFile built = BuiltWithInfo(XrefForm::Table);
    auto file = Input(built.bytes);
    LoadedDocument doc(file);
    doc.GetDocInfo()->SetKeyValue("Title", std::make_unique<TqzPDString>("In place", false));
    doc.SetIncremental();
    TqzPDWriter writer(doc);
    writer.SaveDocument(file.get());
    EXPECT_EQ(file->Bytes().substr(0, built.bytes.size()), built.bytes);
    EXPECT_TRUE(XRefOffsetsPointAtObjects(file->Bytes()));
    EXPECT_NE(file->Bytes().find("(In place)"), std::string::npos);

    // A full save over it would destroy objects before they are read.
    LoadedDocument full(file);
    TqzPDWriter fullWriter(full);
    try {
        fullWriter.SaveDocument(file.get());
        FAIL() << "no exception";
    } catch (const EBrevanto& e) {
        EXPECT_STREQ(e.what(), TqzPDWriter::kOverwritesLoadedFile);
    }
}

TEST_F(WriterFilesTest, SignedUpdateOfAStreamFileWritesAStreamSection) {
    // A file whose sections are streams, with a signature field whose value
    // is a placeholder; a later signature is appended as an update.
    PdfBuilder builder = qz::testing::MinimalDocument(2, "SIG");
    const int32_t value = builder.Add("<< /Veltrano true /Pad <" + std::string(16000, '0') + "> >>");
    const int32_t field = builder.Add("<< /FT /Sig /V " + std::to_string(value) + " 0 R >>");
    builder.Set(1, "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [" + std::to_string(field) + " 0 R] >> >>");
    builder.SetInfo(builder.Add("<< /Producer (builder) >>"));
    const qz::testing::PdfFile built = builder.Build({.form = XrefForm::Stream});

    LoadedDocument doc(Input(built.bytes));
    auto* placeholder = static_cast<TqzPDDictionary*>(doc.GetObject(static_cast<uint32_t>(value)));
    placeholder->SetIsChanged(true);  // the signature field prepared a new one
    testing::FakeSigningService service;
    service.Placeholder = placeholder;
    doc.GetSignature().Filter = "Adobe.PPKLite";
    doc.GetSignature().Subfilter = "adbe.pkcs7.sha1";
    doc.SignDoc = true;
    doc.Signed = true;
    doc.Service = &service;
    const std::string output = Save(doc);

    ASSERT_EQ(output.substr(0, built.bytes.size()), built.bytes);
    EXPECT_EQ(output.find("trailer", built.bytes.size()), std::string::npos);
    std::vector<WrittenSection> sections;
    ASSERT_TRUE(XRefOffsetsPointAtObjects(output, &sections));
    const WrittenSection& update = sections[0];
    ASSERT_TRUE(update.IsStream);
    EXPECT_EQ(update.Prev, built.startxref);
    // Every entry the stream lists is an object written here, itself included.
    for (const auto& line : update.Lines) EXPECT_TRUE(line.InUse) << line.Number;
    EXPECT_EQ(update.Lines.back().Offset, update.Offset);
    EXPECT_EQ(update.Size, int64_t{update.Lines.back().Number} + 1);
    // The stream's dictionary serves as the trailer: nothing of it is lost.
    EXPECT_TRUE(std::regex_search(update.Trailer, std::regex(R"(/Root \d+ 0 R)"))) << update.Trailer;
    EXPECT_TRUE(std::regex_search(update.Trailer, std::regex(R"(/Info \d+ 0 R)"))) << update.Trailer;
    EXPECT_NE(update.Trailer.find("/ID ["), std::string::npos);
    // The signature went into the placeholder written by this update.
    const size_t contents = output.find("/Contents<", built.bytes.size());
    ASSERT_NE(contents, std::string::npos);
    EXPECT_EQ(output.substr(contents + 10, 12), "30820100ABCD");
    EXPECT_EQ(service.SignedBytes.size(), output.size() - 15002);
}

}  // namespace
}  // namespace qz::core
