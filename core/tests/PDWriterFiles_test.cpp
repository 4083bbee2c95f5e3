// The writer on real files: documents read by the reader and written in full
// or as an incremental update, checked with qpdf, pdfinfo and renders.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "core/PDArray.h"
#include "core/PDDictionary.h"
#include "core/PDInteger.h"
#include "core/PDStream.h"
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

// ---- long streams ----

std::string RandomSamples(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng() & 0xFF);
    return s;
}

// MinimalDocument(2) whose first page shows two images of random samples,
// one unfiltered (written anew in stored blocks) and one already Flate data
// (copied as it is), and whose second page's content is padded with comment
// lines to several MiB (compressed at level 1 to more than the block held
// back).
struct LongStreamsFile {
    PdfBuilder builder;
    std::string image;    // the unfiltered samples
    std::string content;  // the long page content (object 7)
    int32_t imageNumber = 0;
};

LongStreamsFile LongStreams() {
    LongStreamsFile f;
    f.builder = qz::testing::MinimalDocument(2, "LONG");
    f.image = RandomSamples(640 * 640 * 3, 1);  // just past the block held back
    const int32_t plain = f.imageNumber = f.builder.AddStream(
        "<< /Type /XObject /Subtype /Image /Width 640 /Height 640 /ColorSpace /DeviceRGB /BitsPerComponent 8 >>",
        f.image);
    const int32_t packed = f.builder.AddStream(
        "<< /Type /XObject /Subtype /Image /Width 1000 /Height 700 /ColorSpace /DeviceRGB /BitsPerComponent 8 >>",
        RandomSamples(1000 * 700 * 3, 2), true);
    f.builder.Set(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R >> "
                     "/XObject << /Im1 " + std::to_string(plain) + " 0 R /Im2 " + std::to_string(packed) +
                         " 0 R >> >> /Contents 5 0 R >>");
    f.builder.SetStream(5, "<< >>",
                        "q 200 0 0 200 72 400 cm /Im1 Do Q q 200 0 0 140 320 400 cm /Im2 Do Q\n" +
                            qz::testing::MarkerPageContent("LONG", 1));
    // Comment lines of random numbers: level 1 halves them, no more.
    f.content = qz::testing::MarkerPageContent("LONG", 2);
    std::mt19937 rng(3);
    while (f.content.size() < (size_t{4} << 20)) {
        f.content += "% " + std::to_string(rng()) + " " + std::to_string(rng()) + " " + std::to_string(rng()) + "\n";
    }
    f.builder.SetStream(7, "<< >>", f.content);
    return f;
}

// The streams of `pdf` whose /Length is an object written right after them,
// by object number, with their dictionaries, each checked: that object holds
// the number of bytes between "stream" and "endstream".
std::map<int32_t, std::string> StreamsWithTheirLengthAfter(const std::string& pdf) {
    std::map<int32_t, std::string> found;
    const std::string dictEnd = " 0 R >>\r\nstream\r\n";
    for (size_t at = pdf.find(dictEnd); at != std::string::npos; at = pdf.find(dictEnd, at + 1)) {
        // "N 0 obj\r\n<<... /Length M 0 R >>" on one line.
        const size_t lineStart = pdf.rfind("\r\n<<", at);
        const size_t lengthKey = pdf.rfind("/Length ", at);
        const size_t header = pdf.rfind("\r\n", lineStart - 1);
        if (lineStart == std::string::npos || lengthKey == std::string::npos || lengthKey < lineStart) continue;
        const std::string number = pdf.substr(header + 2, pdf.find(' ', header + 2) - header - 2);
        const std::string lengthNumber = pdf.substr(lengthKey + 8, at - lengthKey - 8);
        const size_t start = at + dictEnd.size();
        const std::string end = "\r\nendstream\r\nendobj\r\n" + lengthNumber + " 0 obj\r\n";
        const size_t stop = pdf.find(end, start);
        if (stop == std::string::npos) {
            ADD_FAILURE() << "object " << number << ": no length object right after it";
            continue;
        }
        const size_t value = stop + end.size();
        EXPECT_EQ(pdf.substr(value, pdf.find('\r', value) - value), std::to_string(stop - start)) << "object " << number;
        found[std::stoi(number)] = pdf.substr(lineStart + 2, at - lineStart);
    }
    return found;
}

// The decoded data, as qpdf reads it, of the streams whose length follows them.
// Compares without printing the data.
::testing::AssertionResult SameData(std::vector<std::string> got, std::vector<std::string> want) {
    std::sort(got.begin(), got.end());
    std::sort(want.begin(), want.end());
    if (got == want) return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure() << "got " << got.size() << " streams of";
    for (const auto& g : got) failure << " " << g.size();
    failure << " bytes, want " << want.size() << " of";
    for (const auto& w : want) failure << " " << w.size();
    return failure << " bytes";
}

std::vector<std::string> DecodedLongStreams(const std::filesystem::path& pdf, const std::string& bytes) {
    std::vector<std::string> decoded;
    for (const auto& [number, dict] : StreamsWithTheirLengthAfter(bytes)) {
        EXPECT_NE(dict.find("/Filter /FlateDecode"), std::string::npos) << dict;
        decoded.push_back(qz::testing::QpdfShowObjectFilteredStream(pdf, number));
    }
    return decoded;
}

TEST_F(WriterFilesTest, LongStreamsRoundTripWithTheirLengthWrittenAfterThem) {
    QZ_REQUIRE_TOOLS("qpdf", "pdftoppm");
    TempDir dir;
    const LongStreamsFile f = LongStreams();
    const std::string input = f.builder.Write();
    const std::string output = FullSave(input);
    // The same file on every run.
    EXPECT_TRUE(output == FullSave(input));
    EXPECT_TRUE(XRefOffsetsPointAtObjects(output));
    const auto in = dir.Write("long-in.pdf", input);
    const auto out = dir.Write("long-out.pdf", output);
    EXPECT_TRUE(QpdfCheckPasses(out));
    EXPECT_TRUE(SameRenders(in, out));
    EXPECT_TRUE(SameData(DecodedLongStreams(out, output), {f.image, f.content}));
    // The samples do not shrink: stored blocks ("78 01", then a block that
    // is not the last, of 65535 bytes). The Flate image keeps its bytes and
    // its direct /Length.
    const size_t image = output.find("/Width 640");
    ASSERT_NE(image, std::string::npos);
    const size_t data = output.find("stream\r\n", image) + 8;
    EXPECT_EQ(output.substr(data, 5), std::string("\x78\x01\x00\xff\xff", 5));
    EXPECT_TRUE(std::regex_search(output, std::regex(R"(/Width 1000 [^\r]*/Length \d+ >>)")));
}

TEST_F(WriterFilesTest, LongStreamsInAnIncrementalUpdate) {
    QZ_REQUIRE_TOOLS("qpdf");
    TempDir dir;
    const LongStreamsFile f = LongStreams();
    const std::string input = f.builder.Write();
    LoadedDocument doc(Input(input));
    // The long content and the unfiltered image are written again.
    for (uint32_t number : {7u, static_cast<uint32_t>(f.imageNumber)}) {
        auto* stream = doc.GetObject(number);
        ASSERT_TRUE(stream && stream->IsStream()) << number;
        static_cast<TqzPDStream*>(stream)->GetDict()->SetIsChanged(true);
    }
    doc.SetIncremental();
    const std::string output = Save(doc);
    ASSERT_EQ(output.substr(0, input.size()), input);
    EXPECT_TRUE(XRefOffsetsPointAtObjects(output));
    const auto out = dir.Write("long-update.pdf", output);
    EXPECT_TRUE(QpdfCheckPasses(out));
    EXPECT_TRUE(SameData(DecodedLongStreams(out, output), {f.image, f.content}));
}

TEST_F(WriterFilesTest, SignedSaveWithLongStreams) {
    QZ_REQUIRE_TOOLS("qpdf");
    TempDir dir;
    LongStreamsFile f = LongStreams();
    const int32_t value = f.builder.Add("<< /Veltrano true /Pad <" + std::string(16000, '0') + "> >>");
    const int32_t field = f.builder.Add("<< /FT /Sig /V " + std::to_string(value) + " 0 R >>");
    f.builder.Set(1, "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [" + std::to_string(field) + " 0 R] >> >>");
    LoadedDocument doc(Input(f.builder.Write()));
    testing::FakeSigningService service;
    service.Placeholder = static_cast<TqzPDDictionary*>(doc.GetObject(static_cast<uint32_t>(value)));
    doc.GetSignature().Filter = "Adobe.PPKLite";
    doc.GetSignature().Subfilter = "adbe.pkcs7.sha1";
    doc.SignDoc = true;
    doc.Service = &service;
    const std::string output = Save(doc);

    EXPECT_EQ(output.substr(0, 10), "%PDF-1.5\r\n");
    EXPECT_TRUE(XRefOffsetsPointAtObjects(output));
    // The byte range covers everything but the signature's digits.
    const size_t contents = output.find("/Contents<");
    ASSERT_NE(contents, std::string::npos);
    EXPECT_EQ(output.substr(contents + 10, 12), "30820100ABCD");
    EXPECT_EQ(service.SignedBytes.size(), output.size() - 15002);
    EXPECT_TRUE(service.SignedBytes == output.substr(0, contents + 9) + output.substr(contents + 9 + 15002));
    // (qpdf --check would stop at this fixture's placeholder, whose filler
    // stands after the byte range; the streams still read.)
    const auto out = dir.Write("long-signed.pdf", output);
    EXPECT_TRUE(SameData(DecodedLongStreams(out, output), {f.image, f.content}));
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
