#include "core/PDParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/FileStream.h"
#include "core/Limits.h"
#include "core/MemoryStream.h"
#include "core/tests/ReadingSupport.h"

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
    // A key followed by ">>" takes it as its value and the dictionary goes on.
    EXPECT_EQ(Describe(first.get()), "dict 3");
    EXPECT_EQ(Entry(*first, "B"), "cmd >>");
    EXPECT_EQ(Entry(*first, "C"), "int 2");
    auto second = parser->GetObject();
    EXPECT_EQ(Describe(second.get()), "dict 1");
    EXPECT_EQ(Entry(*second, "A"), "int 1");
    // A key at the end of the data is lost.
    EXPECT_EQ(Describe(parser->GetObject().get()), "dict 0");
    EXPECT_TRUE(parser->GetObject()->IsEOF());
    EXPECT_TRUE(parser->GetObject()->IsEOF());
}

// Nesting deeper than the limit gives one error token for the whole object,
// without recursing on; the parser reads on after it.
TEST(PDParser, DeepNestingIsAnErrorToken) {
    for (const char* open : {"[", "<< /K "}) {
        std::string text;
        for (int i = 0; i < 10000; ++i) text += open;
        for (int i = 0; i < 10000; ++i) text += open[0] == '[' ? "]" : ">>";
        text += " 7 obj";
        auto parser = ParserOver(text);
        EXPECT_TRUE(parser->GetObject()->IsError()) << open;
        bool sawObj = false;
        for (int i = 0; i < 20000 && !sawObj; ++i) {
            auto object = parser->GetObject();
            if (object->IsEOF()) break;
            sawObj = object->IsCommand("obj");
        }
        EXPECT_TRUE(sawObj) << open;
    }
    std::string atLimit(static_cast<size_t>(kMaxNestingDepth), '[');
    EXPECT_EQ(Describe(ParserOver(atLimit + "]")->GetObject().get()), "array 1");
    EXPECT_TRUE(ParserOver(atLimit + "[]")->GetObject()->IsError());
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
