#include "testing/PdfBuilder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "testing/GTestSupport.h"
#include "testing/TempDir.h"
#include "testing/Tools.h"

using namespace qz::testing;

namespace {

struct FormCase {
    const char* name;
    WriteOptions options;
};

std::vector<FormCase> SoundForms() {
    return {
        {"table", {}},
        {"table starting at 1", {.tableStart = TableStart::One}},
        {"table in subsections of 2", {.subsectionSize = 2}},
        {"xref stream", {.form = XrefForm::Stream}},
        {"xref stream with /Index, wide /W, predictor",
         {.form = XrefForm::Stream, .useIndex = true, .widths = {1, 4, 2}, .predictor = true}},
        {"xref stream uncompressed", {.form = XrefForm::Stream, .flateStructure = false}},
        {"object streams", {.form = XrefForm::ObjectStreams, .objectsPerStream = 2}},
        {"hybrid", {.form = XrefForm::Hybrid}},
        {"hybrid, packed objects free in table",
         {.form = XrefForm::Hybrid, .hybridFreeEntries = true}},
        {"linearized", {.form = XrefForm::Linearized}},
    };
}

std::string Inflate(const std::string& data) {
    std::string out(1 << 20, '\0');
    uLongf size = static_cast<uLongf>(out.size());
    EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &size,
                         reinterpret_cast<const Bytef*>(data.data()),
                         static_cast<uLong>(data.size())),
              Z_OK);
    out.resize(size);
    return out;
}

// Every recorded offset points at the object's header.
void ExpectOffsetsPointAtHeaders(const PdfFile& f) {
    for (const auto& [num, offset] : f.offsets) {
        const std::string head = std::to_string(num) + " ";
        ASSERT_LT(static_cast<size_t>(offset), f.bytes.size());
        EXPECT_EQ(f.bytes.compare(static_cast<size_t>(offset), head.size(), head), 0)
            << "object " << num << " at " << offset;
    }
}

}  // namespace

TEST(PdfBuilder, EveryFormPassesQpdfAndShowsItsPages) {
    QZ_REQUIRE_TOOLS("qpdf", "pdfinfo", "pdftotext");
    TempDir dir;
    const PdfBuilder doc = MinimalDocument(3, "PAGE", true);
    for (const FormCase& c : SoundForms()) {
        SCOPED_TRACE(c.name);
        const PdfFile f = doc.Build(c.options);
        ExpectOffsetsPointAtHeaders(f);
        const auto path = dir.Write("form.pdf", f.bytes);
        const QpdfCheckResult check = QpdfCheck(path);
        if (c.options.form == XrefForm::Linearized) {
            // Structure is right; the hint tables are not computed.
            EXPECT_NE(check.output.find("File is linearized"), std::string::npos) << check.output;
            EXPECT_EQ(check.exitCode, 3) << check.output;
        } else {
            EXPECT_TRUE(check.ok) << check.output;
        }
        // Poppler does not let /XRefStm fill entries its table marks free;
        // qpdf does, and real producers write such files.
        if (!c.options.hybridFreeEntries) {
            EXPECT_EQ(PdfInfoPages(path), 3);
            EXPECT_NE(PdfToText(path, 2).find("PAGE-2"), std::string::npos);
        }
        // Content of page 2 (object 7), compressed by the builder, reads back.
        EXPECT_EQ(QpdfShowObjectFilteredStream(path, f.Number(7)), MarkerPageContent("PAGE", 2));
    }
}

TEST(PdfBuilder, FormsHaveTheirStructure) {
    const PdfBuilder doc = MinimalDocument(2);
    {
        const std::string s = doc.Write({.tableStart = TableStart::One});
        EXPECT_NE(s.find("xref\n1 7\n"), std::string::npos);
        EXPECT_EQ(s.find("65535 f"), std::string::npos);
    }
    {
        const std::string s = doc.Write({.tableStart = TableStart::OneLabelZeroLines});
        EXPECT_NE(s.find("xref\n1 8\n0000000000 65535 f \n"), std::string::npos);
    }
    {
        const std::string s = doc.Write({.subsectionSize = 3});
        EXPECT_NE(s.find("\n0 3\n"), std::string::npos);
        EXPECT_NE(s.find("\n3 3\n"), std::string::npos);
        EXPECT_NE(s.find("\n6 2\n"), std::string::npos);
    }
    {
        const PdfFile f = doc.Build({.form = XrefForm::Stream, .flateStructure = false});
        EXPECT_EQ(f.bytes.find("trailer"), std::string::npos);
        EXPECT_NE(f.bytes.find("/Type /XRef /Size 9"), std::string::npos);
        EXPECT_EQ(f.bytes.find("/Index"), std::string::npos);
        EXPECT_EQ(f.bytes.compare(static_cast<size_t>(f.startxref), 6, "8 0 ob"), 0);
    }
    {
        const PdfFile f = doc.Build({.form = XrefForm::ObjectStreams});
        // Pages, catalog and font are packed; streams and pages' content are not.
        EXPECT_EQ(f.packed.count(1), 1u);
        EXPECT_EQ(f.packed.count(4), 1u);
        EXPECT_EQ(f.offsets.count(5), 1u);
        EXPECT_EQ(f.packed.at(3).second, 2);
    }
    {
        const PdfFile f = doc.Build({.form = XrefForm::Hybrid});
        EXPECT_NE(f.bytes.find("/XRefStm "), std::string::npos);
        EXPECT_NE(f.bytes.find("trailer"), std::string::npos);
        EXPECT_EQ(f.packed.size(), 5u);
    }
    {
        const PdfFile f = doc.Build({.form = XrefForm::Linearized});
        // The linearization dictionary is the first object; the file's last
        // startxref names the first-page section, whose trailer links the main one.
        EXPECT_EQ(f.bytes.find("obj\n<< /Linearized 1 /L " + std::to_string(f.bytes.size())),
                  f.bytes.find("obj"));
        ASSERT_EQ(f.sections.size(), 2u);
        EXPECT_EQ(f.startxref, f.sections[0]);
        EXPECT_LT(f.sections[0], 200);
        EXPECT_NE(f.bytes.find("/Prev " + std::to_string(f.sections[1])), std::string::npos);
        // Pages 2, 6, 7 stay in the main part as 1..3; the linearization
        // dictionary (4) comes before the catalog.
        EXPECT_EQ(f.Number(2), 1);
        EXPECT_EQ(f.Number(1), 5);
        EXPECT_NE(f.bytes.find("4 0 obj\n<< /Linearized"), std::string::npos);
        EXPECT_NE(f.bytes.find("/Root 5 0 R"), std::string::npos);
        ExpectOffsetsPointAtHeaders(f);
    }
}

TEST(PdfBuilder, IncrementalUpdatesReplaceObjectsAndKeepThePreviousBytes) {
    QZ_REQUIRE_TOOLS("qpdf", "pdftotext");
    TempDir dir;
    for (XrefForm base : {XrefForm::Table, XrefForm::ObjectStreams, XrefForm::Linearized}) {
        SCOPED_TRACE(static_cast<int>(base));
        PdfBuilder b = MinimalDocument(3);
        // A stream, so that it is never packed: qpdf mishandles freeing a packed object.
        const int32_t spare = b.AddStream("<< >>", "spare");
        const std::string original = b.Write({.form = base});
        b.NewRevision(WriteOptions{.form = XrefForm::Stream});
        b.SetStream(7, "<< >>", MarkerPageContent("CHANGED", 2));
        b.NewRevision();  // in the form given to Write (a table after a linearized base)
        b.Set(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>").Free(spare);
        const PdfFile f = b.Build({.form = base});

        EXPECT_EQ(f.bytes.compare(0, original.size(), original), 0);
        EXPECT_NE(f.bytes.find("/Prev " + std::to_string(f.sections[f.sections.size() - 2])),
                  std::string::npos);
        EXPECT_EQ(f.offsets.count(f.Number(spare)), 0u);
        ExpectOffsetsPointAtHeaders(f);
        const auto path = dir.Write("update.pdf", f.bytes);
        EXPECT_TRUE(QpdfCheckPasses(path));
        const std::string text = PdfToText(path);
        EXPECT_NE(text.find("CHANGED-2"), std::string::npos);
        EXPECT_EQ(text.find("PAGE-2"), std::string::npos);
    }
}

// What qpdf reports for each damage shows that the damage is the one asked for.
TEST(PdfBuilder, DamageKnobsGiveTheDamageQpdfReports) {
    QZ_REQUIRE_TOOLS("qpdf");
    TempDir dir;
    PdfBuilder doc = MinimalDocument(2);
    const PdfFile clean = doc.Build();
    PdfBuilder updated = MinimalDocument(2);
    updated.NewRevision();
    updated.Set(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>");

    struct DamageCase {
        const char* name;
        const PdfBuilder& builder;
        WriteOptions options;
        int32_t exitCode;
        const char* expected;
    };
    const std::vector<DamageCase> cases = {
        {"wrong startxref", doc, {.damage = {.startxref = 5}}, 3, "(offset 5): xref not found"},
        {"offsets shifted", doc, {.damage = {.shiftOffsets = 3}}, 3, "expected n n obj"},
        {"stream offsets shifted", doc,
         {.form = XrefForm::Stream, .damage = {.shiftOffsets = 3}}, 3, "expected n n obj"},
        // qpdf cannot rebuild a file whose only trailer is an xref stream.
        {"xref streams only, startxref wrong", doc,
         {.form = XrefForm::Stream, .damage = {.startxref = 9}}, 2,
         "unable to find trailer dictionary"},
        {"missing trailer, xref stream present", doc,
         {.form = XrefForm::Hybrid, .damage = {.dropTrailer = true}}, 2,
         "unable to find trailer dictionary"},
        {"truncated", doc, {.damage = {.truncateAt = 0.5}}, 2, "can't find startxref"},
        {"/Prev loop", updated, {.damage = {.prevLoop = true}}, 3,
         "loop detected following xref tables"},
        {"/Prev loop on itself", doc, {.damage = {.prevLoop = true}}, 3,
         "loop detected following xref tables"},
        {"/XRefStm loop", doc, {.form = XrefForm::Hybrid, .damage = {.xrefStmLoop = true}}, 2,
         "xref not found"},
        {"bytes injected before object 5", doc,
         {.damage = {.inject = {{clean.offsets.at(5), "% injected\n"}}}}, 3,
         "Attempting to reconstruct"},
        {"first subsection labelled 1, lines from 0", doc,
         {.tableStart = TableStart::OneLabelZeroLines}, 2, "unable to find /Root dictionary"},
        {"garbage prepended", doc, {.damage = {.prepend = "garbage\n"}}, 0, "No syntax"},
        {"junk appended", doc, {.damage = {.append = "junk\n"}}, 0, "No syntax"},
    };
    for (const DamageCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto path = dir.Write("damaged.pdf", c.builder.Write(c.options));
        const QpdfCheckResult r = QpdfCheck(path);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
        EXPECT_NE(r.output.find(c.expected), std::string::npos) << r.output;
    }
}

TEST(PdfBuilder, ByteLevelDamageLandsWhereAsked) {
    const PdfBuilder doc = MinimalDocument(1);
    const PdfFile clean = doc.Build();
    const std::string cut = doc.Write({.damage = {.truncateAt = 0.25}});
    EXPECT_EQ(cut, clean.bytes.substr(0, clean.bytes.size() / 4));
    const std::string injected =
        doc.Write({.damage = {.prepend = "JUNK", .append = "TAIL",
                              .inject = {{10, "<A>"}, {clean.offsets.at(4), "<B>"}}}});
    EXPECT_EQ(injected, "JUNK" + clean.bytes.substr(0, 10) + "<A>" +
                            clean.bytes.substr(10, static_cast<size_t>(clean.offsets.at(4)) - 10) +
                            "<B>" + clean.bytes.substr(static_cast<size_t>(clean.offsets.at(4))) +
                            "TAIL");
    const std::string wrong = doc.Write({.damage = {.startxref = 123456}});
    EXPECT_NE(wrong.find("startxref\n123456\n%%EOF\n"), std::string::npos);
}

TEST(PdfBuilder, StreamsGetLengthAndFilterUnlessGivenOrRaw) {
    PdfBuilder b;
    const int32_t plain = b.AddStream("<< /Type /XObject >>", "abc");
    const int32_t packed = b.AddStream("<< >>", std::string(1000, 'x'), true);
    const int32_t font = b.AddStream("<< /Length1 3 >>", "abc");
    b.SetRawStream(9, "<< /Length 9 0 R >>", "abc");
    const PdfFile f = b.Build();
    auto objectText = [&](int32_t n) {
        const auto at = static_cast<size_t>(f.offsets.at(n));
        return f.bytes.substr(at, f.bytes.find("endobj", at) - at);
    };
    EXPECT_NE(objectText(plain).find("<< /Type /XObject /Length 3 >>\nstream\nabc\nendstream"),
              std::string::npos);
    EXPECT_NE(objectText(packed).find("/Filter /FlateDecode /Length "), std::string::npos);
    const std::string packedText = objectText(packed);
    const size_t data = packedText.find("stream\n") + 7;
    EXPECT_EQ(Inflate(packedText.substr(data, packedText.rfind("\nendstream") - data)),
              std::string(1000, 'x'));
    EXPECT_NE(objectText(font).find("/Length1 3 /Length 3"), std::string::npos);
    EXPECT_NE(objectText(9).find("<< /Length 9 0 R >>\nstream\nabc"), std::string::npos);
    EXPECT_THROW(b.SetStream(10, "<< /Filter /ASCIIHexDecode >>", "", true),
                 std::invalid_argument);
    EXPECT_THROW(b.Set(0, "null"), std::invalid_argument);
}

TEST(PdfBuilder, CompressionHelpers) {
    const std::string bomb = FlateZeros(10'000'000);
    EXPECT_LT(bomb.size(), 20'000u);
    z_stream z{};
    ASSERT_EQ(inflateInit(&z), Z_OK);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bomb.data()));
    z.avail_in = static_cast<uInt>(bomb.size());
    std::string chunk(1 << 16, '\1');
    uint64_t total = 0;
    bool allZero = true;
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(chunk.data());
        z.avail_out = static_cast<uInt>(chunk.size());
        rc = inflate(&z, Z_NO_FLUSH);
        const size_t got = chunk.size() - z.avail_out;
        allZero = allZero && chunk.find_first_not_of('\0') >= got;
        total += got;
    }
    inflateEnd(&z);
    EXPECT_EQ(rc, Z_STREAM_END);
    EXPECT_EQ(total, 10'000'000u);
    EXPECT_TRUE(allZero);

    // Two rows of 3 bytes, one byte per pixel.
    const std::string rows = "\x01\x02\x03\x05\x07\x09";
    EXPECT_EQ(PngPredictEncode(rows, 3, 1, 0), std::string("\0\x01\x02\x03\0\x05\x07\x09", 8));
    EXPECT_EQ(PngPredictEncode(rows, 3, 1, 1), std::string("\1\x01\x01\x01\1\x05\x02\x02", 8));
    EXPECT_EQ(PngPredictEncode(rows, 3, 1, 2), std::string("\2\x01\x02\x03\2\x04\x05\x06", 8));
    EXPECT_EQ(PngPredictEncode(rows, 3, 1, 3), std::string("\3\x01\x02\x02\3\x05\x04\x04", 8));
    EXPECT_EQ(PngPredictEncode(rows, 3, 1, 4), std::string("\4\x01\x01\x01\4\x04\x02\x02", 8));
}
