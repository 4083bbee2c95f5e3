// Bad input never crashes, hangs or exhausts memory: each case opens (by
// repair where that can work) or fails with the format's own exception.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ObjectStream.h"
#include "core/PDBaseExceptions.h"
#include "core/tests/RawPdf.h"
#include "core/tests/ReadingSupport.h"
#include "testing/PdfBuilder.h"

using namespace qz::core;
using qz::core::testing::Describe;
using qz::core::testing::RawPdf;
using qz::core::testing::ReaderDocument;
using qz::core::testing::StreamData;
using qz::testing::FlateCompress;
using qz::testing::FlateZeros;
using qz::testing::MarkerPageContent;
using qz::testing::MinimalDocument;
using qz::testing::WriteOptions;
using qz::testing::XrefForm;

namespace {

// A catalog (1) with one page (3) whose content is object 4; object 2 is
// the page tree. The content stream's dictionary and data are the test's.
RawPdf OnePage(const std::string& contentDict, const std::string& contentData) {
    RawPdf raw;
    raw.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
    raw.Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    raw.Obj(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>");
    raw.Obj(4, contentDict + "\nstream\n" + contentData + "\nendstream");
    return raw;
}

std::string WithTable(RawPdf raw) {
    const int64_t table = raw.Table("/Root 1 0 R");
    return raw.Finish(table);
}

}  // namespace

// Every cut of every form either opens or raises the format's exception.
TEST(HostileInput, FilesCutAnywhere) {
    for (const XrefForm form :
         {XrefForm::Table, XrefForm::Stream, XrefForm::ObjectStreams, XrefForm::Linearized}) {
        for (const double keep : {0.05, 0.3, 0.5, 0.7, 0.9, 0.97, 0.995}) {
            ReaderDocument doc;
            try {
                doc.Load(MinimalDocument(3).Write({.form = form, .damage = {.truncateAt = keep}}));
                for (TqzPDDictionary* page : doc.Pages()) StreamData(page->LookUp("Contents"));
            } catch (const ExImproperCrossRefTableOrStream&) {
            }
        }
    }
}

// A value nested too deep reads as null and the rest of its object stays:
// a page holding one is still a page, found through the table and by the
// repair scan alike.
TEST(HostileInput, DeepNestingInAnObject) {
    const std::string deepArray = std::string(100000, '[') + std::string(100000, ']');
    std::string deepMixed;
    for (int i = 0; i < 10000; ++i) deepMixed += "[<< /K ";
    for (int i = 0; i < 10000; ++i) deepMixed += ">>]";
    RawPdf raw;
    raw.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
    raw.Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    raw.Obj(3, "<< /Type /Page /Parent 2 0 R /Deep " + deepArray +
                   " /MediaBox [0 0 612 792] /Contents 4 0 R >>");
    raw.Stream(4, "", "q Q");
    raw.Obj(5, deepMixed);
    // Unbalanced: the fetch ends the array at the object's end.
    raw.Obj(6, "[ 1 0 R << /A [");
    const int64_t table = raw.Table("/Root 1 0 R");
    for (const bool repaired : {false, true}) {
        SCOPED_TRACE(repaired ? "rebuilt" : "through the table");
        ReaderDocument doc;
        doc.Load(raw.Finish(repaired ? 1 : table));
        EXPECT_EQ(doc.XRef().IsReconstructed(), repaired);
        ASSERT_EQ(doc.Pages().size(), 1u);
        EXPECT_EQ(StreamData(doc.Pages()[0]->LookUp("Contents")), "q Q");
        EXPECT_EQ(Describe(doc.Pages()[0]->LookUp("MediaBox")), "array 4");
        EXPECT_EQ(Describe(doc.GetObject(5)), "array 1");
        EXPECT_EQ(Describe(doc.GetObject(6)), "array 2");
    }
}

// Stream data after "stream" and a lone CR (files with CR line ends) starts
// right after the CR: the page's compressed content inflates.
TEST(HostileInput, StreamLineEndingInALoneCR) {
    const std::string content = "0 g 0 0 10 10 re f";
    const std::string packed = FlateCompress(content);
    const std::pair<const char*, const char*> lineEnds[] = {
        {"lone CR", "\r"}, {"CR LF", "\r\n"}, {"LF", "\n"}};
    for (const auto& [name, lineEnd] : lineEnds) {
        SCOPED_TRACE(name);
        RawPdf raw;
        raw.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
        raw.Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
        raw.Obj(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>");
        raw.Obj(4, "<< /Filter /FlateDecode /Length " + std::to_string(packed.size()) + " >>\nstream" +
                       lineEnd + packed + lineEnd + "endstream");
        ReaderDocument doc;
        doc.Load(WithTable(raw));
        ASSERT_EQ(doc.Pages().size(), 1u);
        EXPECT_EQ(StreamData(doc.Pages()[0]->LookUp("Contents")), content);
    }
}

// A /Length naming its own object, or a cycle of two, is not fetched again
// while it is being read: the data is found by searching "endstream".
TEST(HostileInput, LengthReferringToItsOwnObject) {
    RawPdf raw = OnePage("<< /Length 4 0 R >>", "0 g 0 0 10 10 re f");
    raw.Obj(5, "<< /Length 6 0 R >>\nstream\nfive\nendstream");
    raw.Obj(6, "<< /Length 5 0 R >>\nstream\nsix\nendstream");
    ReaderDocument doc;
    doc.Load(WithTable(raw));
    EXPECT_EQ(StreamData(doc.Pages().at(0)->LookUp("Contents")), "0 g 0 0 10 10 re f");
    EXPECT_EQ(StreamData(doc.GetObject(5)), "five");
    EXPECT_EQ(StreamData(doc.GetObject(6)), "six");
}

// Entries placing object streams inside themselves, directly or in a cycle
// of two, are not followed round: the scan finds where the streams stand,
// and every object the file holds reads; one that it does not hold stays
// missing.
TEST(HostileInput, ObjectStreamContainingItself) {
    RawPdf raw;
    raw.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
    raw.Obj(2, "<< /Type /Pages /Kids [] /Count 0 >>");
    const std::string packed = "7 0 8 8 (seven) (eight)";
    raw.Stream(5, "/Type /ObjStm /N 2 /First 8", packed);
    raw.Stream(6, "/Type /ObjStm /N 1 /First 4", "9 0 (nine)");
    using Row = RawPdf::Row;
    std::map<uint32_t, Row> rows = {
        {0, Row{0, 0, 65535}},
        {1, Row{1, static_cast<uint32_t>(raw.Offset(1)), 0}},
        {2, Row{1, static_cast<uint32_t>(raw.Offset(2)), 0}},
        {5, Row{2, 5, 0}},  // object stream 5 lies inside object stream 5
        {6, Row{2, 10, 0}},
        {7, Row{2, 5, 0}},
        {8, Row{2, 5, 1}},
        {9, Row{2, 6, 0}},
        {10, Row{2, 6, 0}},  // and 6 inside 10, 10 inside 6
    };
    std::string index;
    for (const auto& [number, row] : rows) index += std::to_string(number) + " 1 ";
    const int64_t at = raw.Size();
    rows[11] = Row{1, static_cast<uint32_t>(at), 0};
    index += "11 1";
    raw.XRefStream(11, rows, "/Size 12 /Root 1 0 R /Index [" + index + "]");
    ReaderDocument doc;
    doc.Load(raw.Finish(at));
    EXPECT_EQ(Describe(doc.GetObject(5)), "stream");
    EXPECT_EQ(Describe(doc.GetObject(6)), "stream");
    EXPECT_EQ(Describe(doc.GetObject(7)), "str seven");
    EXPECT_EQ(Describe(doc.GetObject(8)), "str eight");
    EXPECT_EQ(Describe(doc.GetObject(9)), "str nine");
    EXPECT_EQ(doc.Reader().Fetch(10), nullptr);
    EXPECT_NE(doc.Root(), nullptr);
    EXPECT_TRUE(doc.XRef().IsReconstructed());
}

// Sizes and counts from the file never size memory: /Size of four billion,
// a subsection of a billion entries, an /Index of the largest range whose
// data is a decompression bomb of free entries. Each section fails and the
// scan opens the file.
TEST(HostileInput, HugeSizesAndCounts) {
    const std::string body = MinimalDocument(2).Write();
    const std::string head = body.substr(0, body.find("xref\n"));
    const int64_t tableAt = static_cast<int64_t>(head.size());
    struct Case {
        const char* name;
        std::string tail;
    };
    const std::vector<Case> cases = {
        {"subsection of a billion",
         "xref\n0 1000000000\n0000000000 65535 f \ntrailer\n<< /Root 1 0 R >>\n"},
        {"subsection past the largest number",
         "xref\n16777200 100\n0000000000 65535 f \ntrailer\n<< /Root 1 0 R >>\n"},
        {"xref stream /Size of four billion",
         "99 0 obj\n<< /Type /XRef /Size 4000000000 /W [1 2 1] /Root 1 0 R /Length 4 "
         ">>\nstream\n\x01\x00\x0f\x00"
         "\nendstream\nendobj\n"},
        {"xref stream bomb of free entries",
         [] {
             const std::string bomb = FlateCompress(FlateZeros(uint64_t{1} << 24));
             return "99 0 obj\n<< /Type /XRef /Size 16777216 /W [1 1 1] /Root 1 0 R /Filter "
                    "[/FlateDecode "
                    "/FlateDecode] /Length " +
                    std::to_string(bomb.size()) + " >>\nstream\n" + bomb + "\nendstream\nendobj\n";
         }()},
        {"xref stream with fields of no width",
         "99 0 obj\n<< /Type /XRef /Size 16777216 /W [0 0 0] /Root 1 0 R /Length 0 "
         ">>\nstream\n\nendstream\nendobj\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ReaderDocument doc;
        const std::string bytes =
            head + c.tail + "startxref\n" + std::to_string(tableAt) + "\n%%EOF\n";
        doc.Load(bytes);
        EXPECT_EQ(doc.Pages().size(), 2u);
        // Entries are paid for by the file's bytes.
        EXPECT_LE(doc.XRef().GetEntries().size(), bytes.size() + 4096);
    }
}

// An object stream that inflates to gigabytes stops at its own limit and
// holds no objects; the limit is far below the decoders' general one.
TEST(HostileInput, ObjectStreamBomb) {
    RawPdf raw;
    raw.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
    raw.Obj(2, "<< /Type /Pages /Kids [] /Count 0 >>");
    // Inflates to four times the limit.
    const std::string bomb =
        FlateCompress(FlateZeros(uint64_t{4} * TqzObjectStream::kMaxDecodedSize));
    raw.Stream(5, "/Type /ObjStm /N 1 /First 4 /Filter [/FlateDecode /FlateDecode]", bomb);
    using Row = RawPdf::Row;
    const int64_t at = raw.Size();
    raw.XRefStream(6,
                   {{0, Row{0, 0, 65535}},
                    {1, Row{1, static_cast<uint32_t>(raw.Offset(1)), 0}},
                    {2, Row{1, static_cast<uint32_t>(raw.Offset(2)), 0}},
                    {5, Row{1, static_cast<uint32_t>(raw.Offset(5)), 0}},
                    {6, Row{1, static_cast<uint32_t>(at), 0}},
                    {7, Row{2, 5, 0}}},
                   "/Size 8 /Root 1 0 R /Index [0 3 5 3]");
    ReaderDocument doc;
    doc.Load(raw.Finish(at));
    EXPECT_LT(bomb.size(), 16u * 1024);
    EXPECT_NE(doc.Root(), nullptr);
    // Decoding stops at the file's budget, far below the stream's ceiling.
    EXPECT_THROW(doc.Reader().Fetch(7), ExTooManyObjects);
}

// Absurd predictor parameters neither crash nor allocate what they ask for:
// a content stream reads as what can be decoded, a cross-reference stream
// that uses them fails and the file opens by the scan.
TEST(HostileInput, AbsurdPredictorParameters) {
    const std::string data = FlateCompress(std::string(64, 'x'));
    for (const char* parms :
         {"/Predictor 12 /Columns 2147483647 /Colors 4 /BitsPerComponent 16",
          "/Predictor 2 /Columns 1000000 /Colors 1000000 /BitsPerComponent 64",
          "/Predictor 15 /Columns -5 /BitsPerComponent 3", "/Predictor 2 /Columns 0 /Colors 0"}) {
        SCOPED_TRACE(parms);
        const std::string dict = "<< /Filter /FlateDecode /DecodeParms << " + std::string(parms) +
                                 " >> /Length " + std::to_string(data.size()) + " >>";
        ReaderDocument doc;
        doc.Load(WithTable(OnePage(dict, data)));
        try {
            EXPECT_LE(StreamData(doc.Pages().at(0)->LookUp("Contents")).size(), 64u);
        } catch (const ExLimitExceeded&) {
        }
    }
    const std::string bytes =
        MinimalDocument(2).Write({.form = XrefForm::Stream, .predictor = true});
    const std::string hostile = [&] {
        std::string b = bytes;
        const size_t at = b.find("/Columns ");
        b.replace(at, b.find(' ', at + 9) - at, "/Columns 99999999");
        return b;
    }();
    ReaderDocument doc;
    doc.Load(hostile);
    EXPECT_EQ(doc.Pages().size(), 2u);
}

// Compressed object streams can decode to millions of tiny values from a few
// KiB: what a file's object streams decode to is bounded by its size, and
// past the bound the whole file is refused rather than the memory filled.
TEST(HostileInput, ObjectStreamsDecodingBeyondWhatTheFileSizeAccountsForRefuseTheFile) {
    qz::testing::PdfBuilder b = MinimalDocument(1);
    std::string zeros;
    for (int i = 0; i < 2'500'000; ++i) zeros += "0 ";
    const int32_t many = b.Add("[" + zeros + "]");
    const std::string file = b.Write({.form = XrefForm::ObjectStreams});
    ASSERT_LT(file.size(), 64u * 1024);
    ReaderDocument doc;
    doc.Load(file);
    EXPECT_THROW(doc.GetObject(static_cast<uint32_t>(many)), ExTooManyObjects);
    // A sound file of the same size reads every object.
    ReaderDocument sound;
    sound.Load(MinimalDocument(200).Write({.form = XrefForm::ObjectStreams}));
    EXPECT_EQ(sound.Pages().size(), 200u);
}
