#include "core/PDXRef.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "core/PDBaseExceptions.h"
#include "core/tests/RawPdf.h"
#include "core/tests/ReadingSupport.h"
#include "testing/PdfBuilder.h"

using namespace qz::core;
using qz::core::testing::Describe;
using qz::core::testing::RawPdf;
using qz::core::testing::ReaderDocument;
using qz::core::testing::StreamData;
using qz::testing::Damage;
using qz::testing::FlateCompress;
using qz::testing::MarkerPageContent;
using qz::testing::MinimalDocument;
using qz::testing::PdfBuilder;
using qz::testing::PdfFile;
using qz::testing::TableStart;
using qz::testing::WriteOptions;
using qz::testing::XrefForm;

namespace {

struct FormCase {
    const char* name;
    WriteOptions options;
};

std::vector<FormCase> SoundForms() {
    return {
        {"table", {}},
        {"table starting at 1", {.tableStart = TableStart::One}},
        {"table labelled 1 whose lines start at 0", {.tableStart = TableStart::OneLabelZeroLines}},
        {"table in subsections of 2", {.subsectionSize = 2}},
        {"xref stream", {.form = XrefForm::Stream}},
        {"xref stream with /Index, wide /W, predictor",
         {.form = XrefForm::Stream, .useIndex = true, .widths = {1, 4, 2}, .predictor = true}},
        {"xref stream uncompressed, no type field",
         {.form = XrefForm::Stream, .widths = {0, 3, 1}, .flateStructure = false}},
        {"object streams", {.form = XrefForm::ObjectStreams, .objectsPerStream = 2}},
        {"object streams, one stream", {.form = XrefForm::ObjectStreams}},
        {"hybrid", {.form = XrefForm::Hybrid}},
        {"hybrid, packed objects free in table",
         {.form = XrefForm::Hybrid, .hybridFreeEntries = true}},
        {"linearized", {.form = XrefForm::Linearized}},
    };
}

// Every page of a MinimalDocument is reached and shows its own content.
void ExpectPages(ReaderDocument& doc, int32_t pages, const std::string& marker = "PAGE") {
    const auto found = doc.Pages();
    ASSERT_EQ(static_cast<int32_t>(found.size()), pages);
    for (int32_t k = 1; k <= pages; ++k) {
        TqzPDDictionary* page = found[static_cast<size_t>(k - 1)];
        EXPECT_EQ(StreamData(page->LookUp("Contents")), MarkerPageContent(marker, k))
            << "page " << k;
    }
}

// Every object the file holds fetches as a value.
void ExpectEveryObject(ReaderDocument& doc, const PdfFile& file) {
    for (const auto& [number, offset] : file.offsets) {
        EXPECT_NE(doc.Reader().Fetch(static_cast<uint32_t>(number)), nullptr)
            << "object " << number;
    }
    for (const auto& [number, where] : file.packed) {
        EXPECT_NE(doc.Reader().Fetch(static_cast<uint32_t>(number)), nullptr)
            << "packed object " << number;
    }
}

// The bytes with the last "startxref" section rewritten as `tail`.
std::string WithTail(const std::string& bytes, const std::string& tail) {
    return bytes.substr(0, bytes.rfind("startxref")) + tail;
}

}  // namespace

TEST(PDXRef, EveryFormOpensWithoutRepairAndEveryObjectFetches) {
    for (const auto& form : SoundForms()) {
        SCOPED_TRACE(form.name);
        const PdfFile file = MinimalDocument(3, "PAGE", true).Build(form.options);
        ReaderDocument doc;
        doc.Load(file.bytes);
        EXPECT_FALSE(doc.XRef().IsReconstructed());
        EXPECT_TRUE(doc.XRef().GetOk());
        EXPECT_EQ(doc.XRef().GetWriteAsStream(), form.options.form != XrefForm::Table &&
                                                     form.options.form != XrefForm::Linearized);
        ExpectPages(doc, 3);
        ExpectEveryObject(doc, file);
        EXPECT_EQ(doc.Reader().Fetch(0), nullptr);
        EXPECT_EQ(doc.Reader().Fetch(10000), nullptr);
    }
}

// A first subsection labelled "1 n" may list objects from 1, or (a producer
// fault) begin with object 0's line; the header its first object's line
// points at tells which, in every form and revision, without a repair.
TEST(PDXRef, TableNumberingFollowsTheHeaders) {
    struct Case {
        const char* name;
        WriteOptions options;
        bool update;
    };
    const std::vector<Case> cases = {
        {"labelled 1, lines from 0", {.tableStart = TableStart::OneLabelZeroLines}, false},
        {"labelled 1, lines from 0, in subsections",
         {.tableStart = TableStart::OneLabelZeroLines, .subsectionSize = 4}, false},
        {"labelled 1, lines from 0, updated", {.tableStart = TableStart::OneLabelZeroLines}, true},
        {"labelled 1, lines from 0, hybrid",
         {.form = XrefForm::Hybrid, .tableStart = TableStart::OneLabelZeroLines}, false},
        {"lines from 1", {.tableStart = TableStart::One}, false},
        {"lines from 1, updated", {.tableStart = TableStart::One}, true},
        {"lines from 1, hybrid", {.form = XrefForm::Hybrid, .tableStart = TableStart::One}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PdfBuilder b = MinimalDocument(3);
        if (c.update) {
            b.NewRevision();
            b.SetStream(7, "<< >>", MarkerPageContent("PAGE", 2));
        }
        const PdfFile file = b.Build(c.options);
        ReaderDocument doc;
        doc.Load(file.bytes);
        ExpectPages(doc, 3);
        ExpectEveryObject(doc, file);
        EXPECT_EQ(doc.Reader().Fetch(0), nullptr);
        EXPECT_FALSE(doc.XRef().IsReconstructed());
    }
}

// Table lines that lead to other objects than their numbers (swapped,
// pointing at another object, an overlong offset that wraps to another
// place) are caught by the header check, and objects that no line lists
// are missed; either way the table is rebuilt.
TEST(PDXRef, LinesLeadingToOtherObjectsAreRebuilt) {
    const PdfFile plain = MinimalDocument(3).Build();
    const size_t table = plain.bytes.find("xref\n");
    auto line = [&](int32_t number) {
        char text[32];
        std::snprintf(text, sizeof text, "%010lld 00000 n",
                      static_cast<long long>(plain.offsets.at(number)));
        return std::string(text);
    };
    auto replaced = [&](std::vector<std::pair<std::string, std::string>> edits) {
        std::string bytes = plain.bytes;
        for (const auto& [from, to] : edits) {
            const size_t at = bytes.find(from, table);
            EXPECT_NE(at, std::string::npos) << from;
            if (at != std::string::npos) bytes.replace(at, from.size(), to);
        }
        return bytes;
    };
    // Objects 4 and 5 (the first page and its content) left out.
    const size_t firstLine = plain.bytes.find("0 10\n", table);
    const size_t line4 = plain.bytes.find(line(4), table);
    const size_t line6 = plain.bytes.find(line(6), table);
    std::string leftOut = plain.bytes;
    leftOut.replace(line4, line6 - line4, "6 4\n");
    leftOut.replace(firstLine, 5, "0 4\n");
    struct Case {
        const char* name;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {"two objects left out", leftOut},
        {"two pages swapped", replaced({{line(4), "@"}, {line(6), line(4)}, {"@", line(6)}})},
        {"the catalog's line at the page tree", replaced({{line(1), line(2)}})},
        {"an overlong offset", replaced({{line(4), "00000004294967296 3 n"}})},
        {"an overlong offset, no type", replaced({{line(4) + " ", "00000004294967296 3"}})},
        {"the catalog's overlong offset", replaced({{line(1), "00000004294967296 3 n"}})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ReaderDocument doc;
        doc.Load(c.bytes);
        ExpectPages(doc, 3);
        EXPECT_TRUE(doc.XRef().IsReconstructed());
    }
}

TEST(PDXRef, IncrementalUpdatesNewestWins) {
    const std::vector<std::pair<XrefForm, XrefForm>> chains = {
        {XrefForm::Table, XrefForm::Table},
        {XrefForm::Stream, XrefForm::Stream},
        {XrefForm::ObjectStreams, XrefForm::ObjectStreams},
        {XrefForm::Table, XrefForm::Stream},
        {XrefForm::Hybrid, XrefForm::Hybrid},
        {XrefForm::Linearized, XrefForm::Table},
    };
    for (const auto& [base, update] : chains) {
        SCOPED_TRACE(std::to_string(static_cast<int>(base)) + " then " +
                     std::to_string(static_cast<int>(update)));
        PdfBuilder b = MinimalDocument(2);
        const int32_t extra = b.Add("(extra)");
        b.NewRevision({.form = update});
        b.SetStream(5, "<< >>", MarkerPageContent("NEW", 1));
        b.Free(extra);
        b.TrailerExtra("/Revision 2");
        const PdfFile file = b.Build({.form = base});
        ReaderDocument doc;
        doc.Load(file.bytes);
        EXPECT_FALSE(doc.XRef().IsReconstructed());
        ASSERT_NE(doc.Trailer(), nullptr);
        EXPECT_EQ(Describe(doc.Trailer()->LookUp("Revision")), "int 2");
        EXPECT_EQ(StreamData(doc.GetObject(static_cast<uint32_t>(file.Number(5)))),
                  MarkerPageContent("NEW", 1));
        EXPECT_EQ(doc.Reader().Fetch(static_cast<uint32_t>(file.Number(extra))), nullptr);
        EXPECT_EQ(StreamData(doc.GetObject(static_cast<uint32_t>(file.Number(7)))),
                  MarkerPageContent("PAGE", 2));
        EXPECT_FALSE(doc.XRef().IsReconstructed());
    }
}

// "startxref" is searched from the end: the last of two in the window (an
// update's) counts; a number that is not alone on its line gives way to the
// first "xref" of the last 1024 bytes; the keyword is found in any case.
TEST(PDXRef, FindingTheNewestSection) {
    const PdfFile file = MinimalDocument(1).Build();
    struct Case {
        const char* name;
        std::string bytes;
        uint32_t expected;
    };
    const std::vector<Case> cases = {
        {"two in the window",
         "%" + file.bytes + "startxref\n" + std::to_string(file.startxref + 1) + "\n%%EOF\n",
         static_cast<uint32_t>(file.startxref + 1)},
        {"number on the keyword's line",
         WithTail(file.bytes, "startxref " + std::to_string(file.startxref) + " %%EOF\n"),
         static_cast<uint32_t>(file.sections.back())},
        {"upper case",
         WithTail(file.bytes, "STARTXREF\n" + std::to_string(file.startxref) + "\n%%EOF\n"),
         static_cast<uint32_t>(file.startxref)},
        {"far from the end",
         WithTail(file.bytes, "startxref\n" + std::to_string(file.startxref) + "\n%%EOF\n" +
                                  std::string(5000, ' ')),
         static_cast<uint32_t>(file.startxref)},
    };
    for (const auto& c : cases) {
        ReaderDocument doc;
        doc.Load(c.bytes);
        EXPECT_EQ(doc.XRef().GetStartXref(), c.expected) << c.name;
        EXPECT_FALSE(doc.XRef().IsReconstructed()) << c.name;
        ExpectPages(doc, 1);
    }
}

// Offsets two bytes short and a "startxref" one byte into "xref" (as some
// producers write) are tolerated without a repair.
TEST(PDXRef, OffsetsSlightlyShortAreTolerated) {
    const PdfFile plain = MinimalDocument(2).Build();
    const std::string bytes = MinimalDocument(2).Write(
        {.damage = {.startxref = plain.startxref + 1, .shiftOffsets = -2}});
    ReaderDocument doc;
    doc.Load(bytes);
    ExpectPages(doc, 2);
    EXPECT_FALSE(doc.XRef().IsReconstructed());
}

TEST(PDXRef, DamagedFilesOpenByTheRepairScan) {
    const PdfFile plain = MinimalDocument(3).Build();
    const PdfFile packed = MinimalDocument(3).Build({.form = XrefForm::Stream});
    const int64_t intoAnObject = plain.offsets.at(4) + 5;
    auto at = [&](const std::string& text) {
        return static_cast<int64_t>(plain.bytes.find(text));
    };
    struct Case {
        const char* name;
        WriteOptions options;
    };
    const std::vector<Case> cases = {
        {"wrong startxref", {.damage = {.startxref = 3}}},
        {"startxref into an object", {.damage = {.startxref = intoAnObject}}},
        {"startxref beyond the file", {.damage = {.startxref = 99999999}}},
        // Neither a table nor a cross-reference stream at startxref.
        {"startxref at a page", {.damage = {.startxref = plain.offsets.at(4)}}},
        {"startxref at a content stream", {.damage = {.startxref = plain.offsets.at(5)}}},
        {"startxref at the trailer", {.damage = {.startxref = at("trailer")}}},
        {"startxref at endobj", {.damage = {.startxref = at("endobj")}}},
        {"startxref at a name", {.damage = {.startxref = at("/Type")}}},
        {"startxref at a content stream, xref streams",
         {.form = XrefForm::Stream, .damage = {.startxref = packed.offsets.at(5)}}},
        {"offsets shifted", {.damage = {.shiftOffsets = 3}}},
        {"offsets shifted, xref stream", {.form = XrefForm::Stream, .damage = {.shiftOffsets = 5}}},
        {"xref streams only, wrong startxref",
         {.form = XrefForm::Stream, .damage = {.startxref = 7}}},
        {"object streams, wrong startxref",
         {.form = XrefForm::ObjectStreams, .damage = {.startxref = 7}}},
        {"object streams, offsets shifted",
         {.form = XrefForm::ObjectStreams, .damage = {.shiftOffsets = 4}}},
        {"no trailer, xref stream present",
         {.form = XrefForm::Hybrid, .damage = {.dropTrailer = true}}},
        {"garbage before the header", {.damage = {.prepend = "garbage\n"}}},
        {"bytes injected",
         {.damage = {.inject = {{plain.offsets.at(5), "\n% injected comment\n"}}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ReaderDocument doc;
        doc.Load(MinimalDocument(3).Write(c.options));
        ASSERT_NE(doc.Trailer(), nullptr);
        ExpectPages(doc, 3);
        EXPECT_TRUE(doc.XRef().IsReconstructed());
        EXPECT_GE(doc.XRef().GetLastObjectNumber(), 9u);
    }
}

// The rebuild takes the newest trailer and, for each number, the newest
// header: an incrementally updated file keeps its last update.
TEST(PDXRef, RebuildKeepsTheLastUpdate) {
    for (const XrefForm form : {XrefForm::Table, XrefForm::Stream}) {
        PdfBuilder b = MinimalDocument(2);
        b.TrailerExtra("/Revision 1");
        b.NewRevision();
        b.SetStream(5, "<< >>", MarkerPageContent("NEW", 1));
        b.TrailerExtra("/Revision 2");
        ReaderDocument doc;
        doc.Load(b.Write({.form = form, .damage = {.startxref = 1}}));
        EXPECT_TRUE(doc.XRef().IsReconstructed());
        EXPECT_EQ(Describe(doc.Trailer()->LookUp("Revision")), "int 2");
        EXPECT_EQ(StreamData(doc.GetObject(5)), MarkerPageContent("NEW", 1));
    }
}

// The rebuild goes by file order: an object packed in an update's object
// stream wins over its older header; and of the trailers found, the newest
// whose catalog is in the file is taken.
TEST(PDXRef, RebuildTakesTheNewestObjectsAndAPresentCatalog) {
    PdfBuilder b = MinimalDocument(2);
    b.NewRevision({.form = XrefForm::ObjectStreams});
    b.Set(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Rotate 90 /Contents 5 0 R "
             "/Resources << /Font << /F1 3 0 R >> >> >>");
    ReaderDocument doc;
    doc.Load(b.Write({.damage = {.startxref = 1,
                                 .append = "trailer\n<< /Size 3 /Root 77 0 R >>\n"}}));
    EXPECT_TRUE(doc.XRef().IsReconstructed());
    ASSERT_EQ(doc.Pages().size(), 2u);
    EXPECT_EQ(Describe(doc.Pages()[0]->LookUp("Rotate")), "int 90");
    EXPECT_EQ(StreamData(doc.Pages()[1]->LookUp("Contents")), MarkerPageContent("PAGE", 2));
}

// After a rebuild the last object number covers every object found, so new
// objects cannot take a number the file uses.
TEST(PDXRef, RebuildRaisesTheLastObjectNumber) {
    RawPdf raw;
    raw.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
    raw.Obj(2, "<< /Type /Pages /Kids [] /Count 0 >>");
    raw.Obj(900, "(far)");
    raw.Raw("trailer\n<< /Size 3 /Root 1 0 R >>\n");
    ReaderDocument doc;
    doc.Load(raw.Finish(5));
    EXPECT_TRUE(doc.XRef().IsReconstructed());
    EXPECT_EQ(doc.XRef().GetLastObjectNumber(), 900u);
    EXPECT_EQ(Describe(doc.GetObject(900)), "str far");
}

// A repair during a fetch keeps the trailer held when the scan finds none
// (here an unbalanced string hides the end of the file from the scan).
TEST(PDXRef, FetchTimeRepairKeepsTheTrailer) {
    PdfBuilder b = MinimalDocument(2);
    b.Add("(unbalanced");
    ReaderDocument doc;
    doc.Load(b.Write({.damage = {.shiftOffsets = 3}}));
    EXPECT_FALSE(doc.XRef().IsReconstructed());
    ExpectPages(doc, 2);
    EXPECT_TRUE(doc.XRef().IsReconstructed());
    EXPECT_NE(doc.Trailer(), nullptr);
}

// An object lost with an older section that failed is found by the scan.
TEST(PDXRef, ObjectsOfAFailedSectionAreFoundByTheScan) {
    PdfBuilder b = MinimalDocument(2);
    b.NewRevision();
    b.SetStream(5, "<< >>", MarkerPageContent("NEW", 1));
    std::string bytes = b.Write({.subsectionSize = 3});
    const size_t table = bytes.find("xref\n");
    const size_t line = bytes.find(" n", bytes.find("\n6 ", table));
    ASSERT_NE(line, std::string::npos);
    bytes[line + 1] = 'x';  // a line ending in neither n nor f
    ReaderDocument doc;
    doc.Load(bytes);
    EXPECT_FALSE(doc.XRef().GetOk());
    EXPECT_FALSE(doc.XRef().IsReconstructed());
    ASSERT_EQ(doc.Pages().size(), 2u);
    EXPECT_EQ(StreamData(doc.Pages()[0]->LookUp("Contents")), MarkerPageContent("NEW", 1));
    EXPECT_EQ(StreamData(doc.Pages()[1]->LookUp("Contents")), MarkerPageContent("PAGE", 2));
    EXPECT_TRUE(doc.XRef().IsReconstructed());
}

TEST(PDXRef, UnrepairableFilesRaise) {
    struct Case {
        const char* name;
        std::string bytes;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"empty", "", "Invalid PDF Document"},
        {"not a PDF", "Hello, this is plain text and no PDF at all.\n",
         "Improper Cross reference Table or Stream"},
        {"no trailer anywhere",
         MinimalDocument(1).Write({.damage = {.startxref = 3, .dropTrailer = true}}),
         "Improper Cross reference Table or Stream"},
        {"cut in half", MinimalDocument(3).Write({.damage = {.truncateAt = 0.5}}),
         "Improper Cross reference Table or Stream"},
    };
    for (const auto& c : cases) {
        ReaderDocument doc;
        try {
            doc.Load(c.bytes);
            ADD_FAILURE() << c.name << ": no exception";
        } catch (const EBrevanto& e) {
            EXPECT_EQ(std::string(e.what()), c.message) << c.name;
        }
    }
}

// Loops in the chain of sections end at the first section met again.
TEST(PDXRef, SectionLoopsAreCut) {
    struct Case {
        const char* name;
        WriteOptions options;
    };
    const std::vector<Case> cases = {
        {"/Prev loop, tables", {.damage = {.prevLoop = true}}},
        {"/Prev loop, streams", {.form = XrefForm::Stream, .damage = {.prevLoop = true}}},
        {"/XRefStm loop", {.form = XrefForm::Hybrid, .damage = {.xrefStmLoop = true}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PdfBuilder b = MinimalDocument(2);
        b.NewRevision();
        b.SetStream(5, "<< >>", MarkerPageContent("NEW", 1));
        ReaderDocument doc;
        doc.Load(b.Write(c.options));
        EXPECT_EQ(StreamData(doc.GetObject(5)), MarkerPageContent("NEW", 1));
        EXPECT_EQ(doc.Pages().size(), 2u);
    }
}

// The data of a stream whose object header was lost is passed over, not
// read as tokens: an unbalanced "(" in it would swallow every object after it.
TEST(PDXRef, RebuildPassesOverTheDataOfAStreamWithoutHeader) {
    RawPdf raw;
    raw.Raw("/Filter /FlateDecode >>\nstream\n( unbalanced \x80\x81\nendstream\nendobj\n");
    raw.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
    raw.Obj(2, "<< /Type /Pages /Kids [] /Count 0 >>");
    raw.Raw("trailer\n<< /Size 3 /Root 1 0 R >>\n");
    ReaderDocument doc;
    doc.Load(raw.Finish(5));
    EXPECT_TRUE(doc.XRef().IsReconstructed());
    ASSERT_NE(doc.Trailer(), nullptr);
    EXPECT_EQ(Describe(doc.Trailer()->LookUp("Root")), Describe(doc.GetObject(1)));
    EXPECT_EQ(doc.XRef().GetLastObjectNumber(), 2u);
}

// A fetched object ends where its object ends: a last key without a value
// holds null, and neither a missing ">>" nor a missing "endobj" lets the
// next object's entries join it.
TEST(PDXRef, FetchedObjectEndsAtItsEnd) {
    RawPdf raw;
    raw.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
    raw.Obj(2, "<< /Type /Pages /Kids [] /Count 0 >>");
    raw.Obj(3, "<< /A 1 /B >>");
    raw.Obj(5, "<< /C 2");
    raw.Obj(6, "<< /D 3 >>");
    raw.Unended(7, "[1 2");
    raw.Unended(8, "<< /E 4 /F");
    raw.Obj(9, "(nine)");
    const int64_t table = raw.Table("/Root 1 0 R");
    for (const bool repaired : {false, true}) {
        SCOPED_TRACE(repaired ? "rebuilt" : "through the table");
        ReaderDocument doc;
        doc.Load(raw.Finish(repaired ? 1 : table));
        auto three = doc.Reader().Fetch(3);
        ASSERT_EQ(Describe(three.get()), "dict 2");
        EXPECT_EQ(Describe(static_cast<TqzPDDictionary&>(*three).LookUp("B")), "null");
        EXPECT_EQ(Describe(doc.Reader().Fetch(5).get()), "dict 1");
        EXPECT_EQ(Describe(doc.Reader().Fetch(6).get()), "dict 1");
        EXPECT_EQ(Describe(doc.Reader().Fetch(7).get()), "array 2");
        EXPECT_EQ(Describe(doc.Reader().Fetch(8).get()), "dict 1");
        EXPECT_EQ(Describe(doc.Reader().Fetch(9).get()), "str nine");
    }
}

// A /Prev or /XRefStm that names no section (not an integer, outside the
// file) loses the older sections: the objects only they listed are found
// by the scan, and the update's objects stay the newest.
TEST(PDXRef, DamagedPrevOpensByTheScan) {
    struct Case {
        const char* name;
        XrefForm form;
        const char* key;
        std::string value;  // "%" stands for the true offset
    };
    const std::vector<Case> cases = {
        {"/Prev in an array", XrefForm::Table, "/Prev ", "[%]"},
        {"/Prev a real", XrefForm::Table, "/Prev ", "%.0"},
        {"/Prev beyond the file", XrefForm::Table, "/Prev ", "99999999"},
        {"/Prev negative", XrefForm::Table, "/Prev ", "-5"},
        {"/Prev in an array, xref streams", XrefForm::Stream, "/Prev ", "[%]"},
        {"/XRefStm in an array", XrefForm::Hybrid, "/XRefStm ", "[%]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PdfBuilder b = MinimalDocument(3);
        b.NewRevision();
        b.SetStream(5, "<< >>", MarkerPageContent("NEW", 1));
        std::string bytes = b.Write({.form = c.form});
        const size_t key = bytes.rfind(c.key);
        ASSERT_NE(key, std::string::npos);
        const size_t from = key + std::strlen(c.key);
        const size_t to = bytes.find_first_of(" />", from);
        std::string value = c.value;
        if (const size_t mark = value.find('%'); mark != std::string::npos)
            value.replace(mark, 1, bytes.substr(from, to - from));
        bytes.replace(from, to - from, value);
        ReaderDocument doc;
        doc.Load(bytes);
        const auto pages = doc.Pages();
        ASSERT_EQ(pages.size(), 3u);
        EXPECT_EQ(StreamData(pages[0]->LookUp("Contents")), MarkerPageContent("NEW", 1));
        EXPECT_EQ(StreamData(pages[2]->LookUp("Contents")), MarkerPageContent("PAGE", 3));
        EXPECT_FALSE(doc.XRef().GetOk());
    }
}

// An object stream whose header lists the stream itself keeps its other
// objects; an entry placing an object stream inside itself is corrected by
// the scan.
TEST(PDXRef, ObjectStreamListingItself) {
    RawPdf raw;
    std::string body = "<< /Type /Catalog /Pages 2 0 R >>";
    const std::string self = "(me)";
    const std::string pages = "<< /Type /Pages /Kids [] /Count 0 >>";
    const std::string header = "1 0 5 " + std::to_string(body.size() + 1) + " 2 " +
                               std::to_string(body.size() + self.size() + 2) + "\n";
    body += " " + self + " " + pages;
    raw.Stream(5, "/Type /ObjStm /N 3 /First " + std::to_string(header.size()), header + body);
    using Row = RawPdf::Row;
    for (const bool entryInsideItself : {false, true}) {
        SCOPED_TRACE(entryInsideItself ? "entry inside itself" : "entry at its offset");
        RawPdf file = raw;
        const int64_t at = file.Size();
        const std::map<uint32_t, Row> rows = {
            {0, Row{0, 0, 65535}},
            {1, Row{2, 5, 0}},
            {2, Row{2, 5, 2}},
            {5, entryInsideItself ? Row{2, 5, 1} : Row{1, static_cast<uint32_t>(raw.Offset(5)), 0}},
            {6, Row{1, static_cast<uint32_t>(at), 0}},
        };
        file.XRefStream(6, rows, "/Size 7 /Root 1 0 R /Index [0 3 5 2]");
        ReaderDocument doc;
        doc.Load(file.Finish(at));
        ASSERT_NE(doc.Root(), nullptr);
        EXPECT_TRUE(doc.Root()->IsDict("Catalog"));
        EXPECT_EQ(Describe(doc.Root()->LookUp("Pages")), "dict 3");
        EXPECT_EQ(Describe(doc.GetObject(5)), "stream");
        EXPECT_EQ(doc.XRef().IsReconstructed(), entryInsideItself);
    }
}

// Object stream headers that bend the rules keep every object they do
// list: a /N larger than the pairs, offsets out of order, a pair naming no
// object of the stream, a cross-reference index that does not match.
TEST(PDXRef, ObjectStreamHeadersThatBendTheRules) {
    const std::string one = "<< /Type /Catalog /Pages 2 0 R >>";
    const std::string two = "<< /Type /Pages /Kids [] /Count 0 >>";
    const std::string body = one + " " + two + " (three)";
    const std::string at2 = std::to_string(one.size() + 1);
    const std::string at3 = std::to_string(one.size() + two.size() + 2);
    struct Case {
        const char* name;
        std::string header;
        int32_t count;
        std::array<uint32_t, 3> indexes;  // of objects 1, 2, 3 in the cross-reference
    };
    const std::vector<Case> cases = {
        {"/N larger than the pairs", "1 0 2 " + at2 + " 3 " + at3, 9, {0, 1, 2}},
        {"offsets out of order", "2 " + at2 + " 1 0 3 " + at3, 3, {1, 0, 2}},
        {"a pair naming no object", "1 0 99999999999 4 2 " + at2 + " 3 " + at3, 4, {0, 2, 3}},
        {"a pair past the data", "1 0 7 99999 2 " + at2 + " 3 " + at3, 4, {0, 2, 3}},
        {"indexes that do not match", "1 0 2 " + at2 + " 3 " + at3, 3, {0, 7, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string header = c.header + "\n";
        RawPdf raw;
        raw.Stream(5, "/Type /ObjStm /N " + std::to_string(c.count) + " /First " +
                          std::to_string(header.size()),
                   header + body);
        using Row = RawPdf::Row;
        const int64_t at = raw.Size();
        raw.XRefStream(6,
                       {{0, Row{0, 0, 65535}},
                        {1, Row{2, 5, c.indexes[0]}},
                        {2, Row{2, 5, c.indexes[1]}},
                        {3, Row{2, 5, c.indexes[2]}},
                        {5, Row{1, static_cast<uint32_t>(raw.Offset(5)), 0}},
                        {6, Row{1, static_cast<uint32_t>(at), 0}}},
                       "/Size 7 /Root 1 0 R /Index [0 4 5 2]");
        ReaderDocument doc;
        doc.Load(raw.Finish(at));
        ASSERT_NE(doc.Root(), nullptr);
        EXPECT_EQ(Describe(doc.Root()->LookUp("Pages")), "dict 3");
        EXPECT_EQ(Describe(doc.GetObject(3)), "str three");
        EXPECT_FALSE(doc.XRef().IsReconstructed());
    }
}

// A large object stream: tens of thousands of objects, one of them under a
// number past the largest accepted, an indirect /Length, and indexes past
// what the cross-reference stream's two-byte field holds. The catalog and
// every object are found; only the number out of range is left out.
TEST(PDXRef, LargeObjectStream) {
    constexpr int32_t kObjects = 70000;
    constexpr uint32_t kFirst = 100000;
    constexpr uint32_t kOutOfRange = 20000000;
    const uint32_t streamNumber = kFirst + kObjects;
    const uint32_t lengthNumber = streamNumber + 1;
    const uint32_t xrefNumber = streamNumber + 2;
    auto number = [&](int32_t i) {
        return i == kObjects / 2 ? kOutOfRange : kFirst + static_cast<uint32_t>(i);
    };
    std::string header;
    std::string body;
    for (int32_t i = 0; i < kObjects; ++i) {
        header += std::to_string(number(i)) + " " + std::to_string(body.size()) + " ";
        if (i == 0) {
            body += "<< /Type /Catalog /Pages " + std::to_string(kFirst + 1) + " 0 R >>";
        } else if (i == 1) {
            body += "<< /Type /Pages /Kids [" + std::to_string(kFirst + kObjects - 1) +
                    " 0 R] /Count 1 >>";
        } else if (i == kObjects - 1) {
            body += "<< /Type /Page /Parent " + std::to_string(kFirst + 1) +
                    " 0 R /MediaBox [0 0 612 792] >>";
        } else {
            body += "<< /N " + std::to_string(i) + " >>";
        }
        body += "\n";
    }
    const std::string data = FlateCompress(header + body);
    RawPdf raw;
    raw.Obj(static_cast<int32_t>(streamNumber),
            "<< /Type /ObjStm /N " + std::to_string(kObjects) + " /First " +
                std::to_string(header.size()) + " /Filter /FlateDecode /Length " +
                std::to_string(lengthNumber) + " 0 R >>\nstream\n" + data + "\nendstream");
    raw.Obj(static_cast<int32_t>(lengthNumber), std::to_string(data.size()));
    using Row = RawPdf::Row;
    std::map<uint32_t, Row> rows = {{0, Row{0, 0, 65535}}};
    for (int32_t i = 0; i < kObjects; ++i) {
        if (number(i) != kOutOfRange)
            rows[number(i)] = Row{2, streamNumber, static_cast<uint32_t>(i) & 0xFFFF};
    }
    rows[kFirst + kObjects / 2] = Row{0, 0, 0};
    rows[streamNumber] = Row{1, static_cast<uint32_t>(raw.Offset(static_cast<int32_t>(streamNumber))), 0};
    rows[lengthNumber] = Row{1, static_cast<uint32_t>(raw.Offset(static_cast<int32_t>(lengthNumber))), 0};
    const int64_t at = raw.Size();
    rows[xrefNumber] = Row{1, static_cast<uint32_t>(at), 0};
    raw.XRefStream(static_cast<int32_t>(xrefNumber), rows,
                   "/Size " + std::to_string(xrefNumber + 1) + " /Root " + std::to_string(kFirst) +
                       " 0 R /Index [0 1 " + std::to_string(kFirst) + " " +
                       std::to_string(kObjects + 3) + "]");
    ReaderDocument doc;
    doc.Load(raw.Finish(at));
    ASSERT_NE(doc.Root(), nullptr);
    ASSERT_EQ(doc.Pages().size(), 1u);
    for (const int32_t i : {2, 7000, kObjects / 2 - 1, kObjects / 2 + 1, 65535, 65536, 69998}) {
        EXPECT_EQ(Describe(static_cast<TqzPDDictionary*>(doc.GetObject(number(i)))->LookUp("N")),
                  "int " + std::to_string(i));
    }
    EXPECT_EQ(doc.GetObject(kFirst + kObjects / 2), nullptr);
    EXPECT_FALSE(doc.XRef().IsReconstructed());
}
