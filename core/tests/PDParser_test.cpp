#include "core/PDParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/FileStream.h"
#include "core/Limits.h"
#include "core/MemoryStream.h"
#include "core/tests/ReadingSupport.h"
#include "testing/PdfBuilder.h"

using namespace qz::core;
using qz::core::testing::Describe;
using qz::core::testing::EnsureFilters;
using qz::core::testing::ReaderDocument;
using qz::core::testing::StreamData;

namespace {

std::unique_ptr<TqzPDParser> ParserOver(const std::string& text, TqzParentDocument* doc = nullptr,
                                        bool allowStreams = true) {
    EnsureFilters();
    auto file = std::make_shared<qz::platform::MemoryStream>(text);
    auto stream = std::make_shared<TqzFileStream>(file, 0, 0, false);
    return std::make_unique<TqzPDParser>(doc, std::make_unique<TqzPDLexer>(stream), allowStreams);
}

// Every object of `text`, described and joined by " | ".
std::string Objects(const std::string& text) {
    auto parser = ParserOver(text);
    std::string out;
    for (int i = 0; i < 100; ++i) {
        auto object = parser->GetObject();
        if (object->IsEOF()) return out;
        if (!out.empty()) out += " | ";
        out += Describe(object.get());
    }
    return out + " ...";
}

std::string Entry(const TqzPDBaseObject& dict, const char* key) {
    return Describe(static_cast<const TqzPDDictionary&>(dict).LookupRefObj(key));
}

}  // namespace

TEST(PDParser, ValuesReferencesAndContainerQuirks) {
    EXPECT_EQ(Objects("12 0 R"), "ref 12 0");
    EXPECT_EQ(Objects("12 0 obj"), "int 12 | int 0 | cmd obj");
    EXPECT_EQ(Objects("[1 2 R] [1 [2] 3"), "array 1 | array 3");
    EXPECT_EQ(Objects("] >> endobj"), "cmd ] | cmd >> | cmd endobj");

    auto parser = ParserOver("<< /A 1 /B >> /C 2 >> << 5 /A 1 >> << /K");
    auto first = parser->GetObject();
    // A last key without a value holds null, and ">>" ends the dictionary.
    EXPECT_EQ(Describe(first.get()), "dict 2");
    EXPECT_EQ(Entry(*first, "A"), "int 1");
    EXPECT_EQ(Entry(*first, "B"), "null");
    EXPECT_EQ(Describe(parser->GetObject().get()), "name C");
    EXPECT_EQ(Describe(parser->GetObject().get()), "int 2");
    EXPECT_EQ(Describe(parser->GetObject().get()), "cmd >>");
    auto second = parser->GetObject();
    EXPECT_EQ(Describe(second.get()), "dict 1");
    EXPECT_EQ(Entry(*second, "A"), "int 1");
    // A key at the end of the data is lost.
    EXPECT_EQ(Describe(parser->GetObject().get()), "dict 0");
    EXPECT_TRUE(parser->GetObject()->IsEOF());
    EXPECT_TRUE(parser->GetObject()->IsEOF());
}

// A value nested deeper than the limit reads as null, passed over without
// recursing; the rest of the object, and what follows it, reads as usual.
TEST(PDParser, TooDeepValueReadsAsNull) {
    struct Case {
        const char* open;
        const char* close;
    };
    for (const Case c : {Case{"[", "]"}, Case{"<< /K ", ">>"}}) {
        SCOPED_TRACE(c.open);
        std::string deep;
        for (int i = 0; i < 100000; ++i) deep += c.open;
        for (int i = 0; i < 100000; ++i) deep += c.close;
        auto parser = ParserOver("<< /Type /Page /Deep " + deep + " /Contents 4 0 R >> 7 obj");
        auto page = parser->GetObject();
        ASSERT_EQ(Describe(page.get()), "dict 3");
        EXPECT_EQ(Entry(*page, "Contents"), "ref 4 0");
        // Containers down to the limit are kept; the one below it is null.
        TqzPDBaseObject* value = static_cast<TqzPDDictionary&>(*page).LookUp("Deep");
        int32_t depth = 1;
        for (; value && (value->IsArray() || value->IsDict()); ++depth) {
            value = value->IsArray() ? static_cast<TqzPDArray*>(value)->Get(0)
                                     : static_cast<TqzPDDictionary*>(value)->LookUp("K");
        }
        EXPECT_EQ(depth, kMaxNestingDepth);
        EXPECT_EQ(Describe(value), "null");
        EXPECT_EQ(Describe(parser->GetObject().get()), "int 7");
        EXPECT_EQ(Describe(parser->GetObject().get()), "cmd obj");
    }
    std::string atLimit(static_cast<size_t>(kMaxNestingDepth - 1), '[');
    EXPECT_EQ(Describe(ParserOver("[" + atLimit + "]")->GetObject().get()), "array 1");
    // Unbalanced: passed over to the end of the data.
    EXPECT_EQ(Describe(ParserOver(atLimit + "[[[ 1")->GetObject().get()), "array 1");
}

// The window is /Length long when "endstream" follows it, else 5000 bytes
// longer (clamped to the file); without /Length it runs to the line end
// before "endstream"; a hostile /Length cannot reach past the file.
TEST(PDParser, StreamDataWindows) {
    struct Case {
        std::string dict;
        std::string data;
        std::string decoded;
        const char* next;
    };
    const std::string data = "0123456789";
    const std::string tail = "\r\nendstream\r\nendobj 5";
    const std::vector<Case> cases = {
        {"<< /Length 10 >>", data, data, "cmd endobj"},
        {"<< /Length 4 >>", data, data + tail, "int 456789"},
        {"<< >>", data, data, "cmd endobj"},
        {"<< /Length -4 >>", data, data, "cmd endobj"},
        {"<< /Length 2147483647 >>", data, data + tail, "eof"},
        {"<< /Length (x) >>", data, data, "cmd endobj"},
    };
    for (const auto& c : cases) {
        auto parser = ParserOver(c.dict + " stream\r\n" + c.data + tail);
        auto object = parser->GetObject();
        ASSERT_TRUE(object->IsStream()) << c.dict;
        EXPECT_EQ(StreamData(object.get()), c.decoded) << c.dict;
        EXPECT_EQ(Describe(parser->GetObject().get()), c.next) << c.dict;
    }
    // The data begins after the line end of "stream": LF, CR LF, a CR
    // alone, or CR CR LF as some producers write; right after the first CR
    // of the last two only when /Length says so.
    struct LineCase {
        const char* name;
        std::string text;
        std::string decoded;
    };
    const std::vector<LineCase> lines = {
        {"LF", "<< /Length 4 >> stream\nabcd\nendstream", "abcd"},
        {"CR LF", "<< /Length 4 >> stream\r\nabcd\r\nendstream", "abcd"},
        {"blanks, CR LF", "<< /Length 4 >> stream  \r\nabcd\r\nendstream", "abcd"},
        {"lone CR", "<< /Length 5 >> stream\rab\ncd\rendstream", "ab\ncd"},
        {"lone CR, no /Length", "<< >> stream\rab\ncd\nendstream", "ab\ncd"},
        {"lone CR, data begins with LF", "<< /Length 4 >> stream\r\nabcendstream", "\nabc"},
        {"CR LF, ambiguous", "<< /Length 4 >> stream\r\nabc\rendstream", "abc\r"},
        {"CR CR LF", "<< /Length 4 >> stream\r\r\nabcd\r\nendstream", "abcd"},
        {"CR CR LF, no /Length", "<< >> stream\r\r\nabcd\r\nendstream", "abcd"},
        {"lone CR, data begins with CR LF", "<< /Length 4 >> stream\r\r\nabendstream", "\r\nab"},
    };
    for (const auto& c : lines) {
        auto object = ParserOver(c.text)->GetObject();
        EXPECT_EQ(StreamData(object.get()), c.decoded) << c.name;
    }
    // Flate data after a lone CR inflates.
    const std::string packed = qz::testing::FlateCompress("q 1 0 0 1 0 0 cm Q");
    auto flate = ParserOver("<< /Filter /FlateDecode /Length " + std::to_string(packed.size()) +
                            " >> stream\r" + packed + "\rendstream")
                     ->GetObject();
    EXPECT_EQ(StreamData(flate.get()), "q 1 0 0 1 0 0 cm Q");

    // Without streams allowed the dictionary comes back alone.
    auto parser = ParserOver("<< /Length 10 >> stream\r\n" + data + tail, nullptr, false);
    EXPECT_EQ(Describe(parser->GetObject().get()), "dict 1");
    EXPECT_EQ(Describe(parser->GetObject().get()), "cmd stream");
}

TEST(PDParser, FiltersOfStreamsAndMalformedFilterEntries) {
    auto parser = ParserOver(
        "<< /Length 7 /Filter /ASCIIHexDecode >> stream\n414243>\nendstream "
        "<< /DecodeParms << /Columns 4 >> /Length 3 >> stream\nabc\nendstream 9");
    EXPECT_EQ(StreamData(parser->GetObject().get()), "ABC");
    EXPECT_TRUE(parser->GetObject()->IsError());
    EXPECT_EQ(Describe(parser->GetObject().get()), "int 9");
}

TEST(PDParser, EncryptedStringsAndStreams) {
    ReaderDocument doc;
    doc.Encrypted = true;
    const std::string text = "[(abc) <616263>] << /Length 3 >> stream\nxyz\nendstream";
    auto parser = ParserOver(text, &doc);
    // Without a key strings stay as read; stream data is decrypted anyway.
    auto array = parser->GetObject();
    EXPECT_EQ(Describe(static_cast<TqzPDArray&>(*array).GetRefObj(0)), "str abc");
    EXPECT_EQ(Describe(static_cast<TqzPDArray&>(*array).GetRefObj(1)), "hex 616263");
    EXPECT_EQ(StreamData(parser->GetObject().get()), "zyx");

    parser = ParserOver(text, &doc);
    array = parser->GetObject("key", 7, 2);
    // With a key both come back decrypted for their object, as literal strings.
    EXPECT_EQ(Describe(static_cast<TqzPDArray&>(*array).GetRefObj(0)), "str [7,2]ABC");
    EXPECT_EQ(Describe(static_cast<TqzPDArray&>(*array).GetRefObj(1)), "str [7,2]ABC");

    doc.Encrypted = false;
    parser = ParserOver(text, &doc);
    array = parser->GetObject("key", 7, 2);
    EXPECT_EQ(Describe(static_cast<TqzPDArray&>(*array).GetRefObj(1)), "hex 616263");
}

// After ID the parser stops lexing; the caller reads the image data from the
// parser's stream, and the next object is the token after the data.
TEST(PDParser, InlineImageData) {
    auto parser = ParserOver("BI /W 4 /H 1 ID \x01\x02)(<<\x03 EI Q", nullptr, false);
    EXPECT_EQ(Describe(parser->GetObject().get()), "cmd BI");
    EXPECT_EQ(Describe(parser->GetObject().get()), "name W");
    EXPECT_EQ(Describe(parser->GetObject().get()), "int 4");
    EXPECT_EQ(Describe(parser->GetObject().get()), "name H");
    EXPECT_EQ(Describe(parser->GetObject().get()), "int 1");
    EXPECT_EQ(Describe(parser->GetObject().get()), "cmd ID");
    std::string image(6, '\0');
    EXPECT_EQ(parser->GetStream()->Read(image, 6), 6);
    EXPECT_EQ(image, "\x01\x02)(<<");
    parser->GetStream()->GetChar();
    EXPECT_EQ(Describe(parser->GetObject().get()), "cmd EI");
    EXPECT_EQ(Describe(parser->GetObject().get()), "cmd Q");
}
