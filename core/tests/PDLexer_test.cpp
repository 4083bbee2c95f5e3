#include "core/PDLexer.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/FileStream.h"
#include "core/MemoryStream.h"
#include "core/PDReal.h"
#include "core/tests/ReadingSupport.h"

using namespace qz::core;
using qz::core::testing::Describe;

namespace {

// Every token of `input` up to the first end token, described and joined by " | ".
std::string Tokens(const std::string& input) {
    TqzPDLexer lexer(std::make_shared<TqzMemoryStream>(input));
    std::string out;
    for (int i = 0; i < 1000; ++i) {
        const auto token = lexer.GetObject();
        if (token->IsEOF()) return out;
        if (!out.empty()) out += " | ";
        out += Describe(token.get());
    }
    return out + " ...";
}

struct LexCase {
    const char* input;
    const char* tokens;
};

}  // namespace

TEST(PDLexer, TokensAsTheFormatReadsThem) {
    const std::string longName = "/" + std::string(127, 'n') + "xy";
    const std::string longWord = std::string(128, 'k') + "z";
    const std::vector<LexCase> cases = {
        {"%c\r\n12", "int 12"},
        {"% comment\r12 % to the end", "int 12"},
        {"-.5", "real -0.5"},
        {"1.-5", "real 1.5"},
        {"--5", "int 0 | int -5"},
        {"4294967295", "int 0"},
        {"4294967294", "int -2"},
        {"2147483648", "int -2147483648"},
        {"4294967296", "int 0"},
        {"-1", "int -1"},
        {"-", "int 0"},
        {".", "real 0"},
        {"+5", "cmd +5"},
        {"1.2.3", "real 1.2 | real 0.3"},
        {"5e3", "int 5 | cmd e3"},
        {"(a(b)c)", "str a(b)c"},
        {"(a\\)b)", "str a)b"},
        {"(\\101\\60)", "str A0"},
        {"(\\7777)",
         "str \xff"
         "7"},
        {"(x\\\r\ny\\\nz)", "str xyz"},
        {"(\\n\\q)", "str \nq"},
        {"(unterminated", "str unterminated"},
        {"<4 1 >", "hex 41"},
        {"<4Z\t1", "hex 4Z1"},
        {"<<", "cmd <<"},
        {"<< >>", "cmd << | cmd >>"},
        {">", "error"},
        {">a", "error | cmd a"},
        {"{ }", "error | error"},
        {"[1]", "cmd [ | int 1 | cmd ]"},
        {"true True false null", "bool true | cmd True | bool false | null"},
        {"/A#42 / /x", "name AB | name  | name x"},
        {")x", "cmd )x"},
        {"12 0 obj", "int 12 | int 0 | cmd obj"},
        {"\x80\xff", "cmd \x80\xff"},
    };
    for (const auto& c : cases) EXPECT_EQ(Tokens(c.input), c.tokens) << "input: " << c.input;
    // The byte after the 127th of a name or keyword is dropped; the rest of
    // the run starts the next token.
    EXPECT_EQ(Tokens(longName), "name " + std::string(127, 'n') + " | cmd y");
    EXPECT_EQ(Tokens(longWord), "cmd " + std::string(127, 'k') + " | cmd z");
}

// Reals are the nearest double to their decimal text, as a writer that
// prints them back or compares them expects.
TEST(PDLexer, RealsAreTheNearestDouble) {
    for (const auto& [text, value] : std::vector<std::pair<std::string, double>>{
             {"0.75", 0.75}, {"0.1", 0.1}, {"12.34", 12.34}, {"-3.14159", -3.14159}, {".000001", 0.000001}}) {
        TqzPDLexer lexer(std::make_shared<TqzMemoryStream>(text));
        const auto token = lexer.GetObject();
        ASSERT_TRUE(token->IsReal()) << text;
        EXPECT_EQ(static_cast<const TqzPDReal&>(*token).GetValue(), value) << text;
    }
}

TEST(PDLexer, EndTokenAfterTheLastAndOffsets) {
    TqzPDLexer lexer(std::make_shared<TqzMemoryStream>("  abc /n"));
    EXPECT_EQ(Describe(lexer.GetObject().get()), "cmd abc");
    EXPECT_EQ(lexer.GetCurrentObjOffset(), 3);  // just after the token's first byte
    EXPECT_EQ(Describe(lexer.GetObject().get()), "name n");
    EXPECT_EQ(lexer.GetCurrentObjOffset(), 7);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(lexer.GetObject()->IsEOF());
    EXPECT_EQ(lexer.GetCurrentObjOffset(), 7);
}

TEST(PDLexer, SkipToNextLine) {
    TqzPDLexer lexer(std::make_shared<TqzMemoryStream>("a\rb\r\nc\nd"));
    lexer.SkiptoNextLine();  // a lone CR does not end the line
    EXPECT_EQ(lexer.GetChar(), 'c');
    lexer.SkiptoNextLine();
    EXPECT_EQ(lexer.GetChar(), 'd');
    lexer.SkiptoNextLine();
    EXPECT_EQ(lexer.GetChar(), -1);
}

// Positions stay exact across block boundaries, after jumps inside and
// outside the buffered block, and in windows of a file, whose positions are
// absolute.
TEST(PDLexer, BlockBufferKeepsPositionsExact) {
    std::string text;
    std::vector<int64_t> starts;
    for (int i = 0; i < 40000; ++i) {
        starts.push_back(static_cast<int64_t>(text.size()));
        text += "/N" + std::to_string(i) + (i % 7 == 0 ? "\r\n" : " ");
    }
    auto file = std::make_shared<qz::platform::MemoryStream>(text);
    for (const bool window : {false, true}) {
        const int64_t origin = window ? starts[100] : 0;
        auto stream = std::make_shared<TqzFileStream>(
            file, origin, static_cast<int64_t>(text.size()) - origin, window);
        TqzPDLexer lexer(stream);
        lexer.Reset();
        for (size_t i = window ? 100 : 0; i < starts.size(); ++i) {
            const auto token = lexer.GetObject();
            ASSERT_EQ(Describe(token.get()), "name N" + std::to_string(i));
            ASSERT_EQ(lexer.GetCurrentObjOffset(), starts[i] + 1);
        }
        EXPECT_TRUE(lexer.GetObject()->IsEOF());
        for (const size_t i : {39999u, 5u + (window ? 100u : 0u), 20000u, 20001u, 150u}) {
            lexer.SetPosition(starts[i]);
            EXPECT_EQ(lexer.GetPosition(), starts[i]);
            EXPECT_EQ(Describe(lexer.GetObject().get()), "name N" + std::to_string(i));
        }
    }
}

// Bytes read after a token come from where the lexer stands, not from where
// its raw stream was read ahead to.
TEST(PDLexer, StreamViewReadsThroughTheLexer) {
    auto raw =
        std::make_shared<TqzMemoryStream>(std::string("ID ") + std::string(10000, 'x') + " EI 7");
    TqzPDLexer lexer(raw);
    EXPECT_EQ(Describe(lexer.GetObject().get()), "cmd ID");
    TqzStream* view = lexer.GetStream();
    view->GetChar();
    std::string data(10000, '\0');
    EXPECT_EQ(view->Read(data, 10000), 10000);
    EXPECT_EQ(data, std::string(10000, 'x'));
    EXPECT_EQ(Describe(lexer.GetObject().get()), "cmd EI");
    EXPECT_EQ(Describe(lexer.GetObject().get()), "int 7");
    EXPECT_EQ(view->GetBaseStream(), raw.get());
}
