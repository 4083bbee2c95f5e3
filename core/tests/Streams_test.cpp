#include <gtest/gtest.h>

#include <filesystem>

#include "core/EmbededStream.h"
#include "core/FileStream.h"
#include "core/FilterStream.h"
#include "core/MemoryStream.h"
#include "core/PDBaseExceptions.h"

using namespace qz::core;
namespace fs = std::filesystem;

namespace {

std::shared_ptr<qz::platform::MemoryStream> Mem(const std::string& s) {
    return std::make_shared<qz::platform::MemoryStream>(s);
}

std::string Drain(TqzStream& s) {
    std::string out;
    for (int c; (c = s.GetChar()) >= 0;) out.push_back(static_cast<char>(c));
    return out;
}

std::string Lines(TqzStream& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) {
        std::vector<uint8_t> line(16, 0);
        s.ReadLine(line, 16);
        out += std::string(reinterpret_cast<char*>(line.data())) + "|";
    }
    return out;
}

}  // namespace

TEST(MemoryStream, LimitedWindowsAndAbsolutePositions) {
    auto mem = Mem("0123456789");
    TqzMemoryStream empty(mem, 4, 0, true);
    EXPECT_EQ(empty.LookChar(), -1);
    TqzMemoryStream window(mem, 2, 3, true);
    EXPECT_EQ(Drain(window), "234");
    window.Reset();
    EXPECT_EQ(window.GetChar(), '2');
    window.SetPosition(7, SeekOrigin::Beginning);  // absolute, not relative to the window
    EXPECT_EQ(window.GetChar(), -1);                // past the window's limit
    window.SetPosition(3, SeekOrigin::Beginning);
    EXPECT_EQ(window.GetChar(), '3');
    auto sub = window.MakeSubStream(8, 5, true);
    EXPECT_EQ(Drain(*sub), "89");
}

TEST(FileStream, WindowEndingMidBlockAndInterleavedReads) {
    std::string data(300000, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('a' + i % 26);
    auto file = Mem(data);
    TqzFileStream whole(file, 0, 0, false);
    EXPECT_EQ(whole.GetPosition(), 0);
    EXPECT_EQ(whole.LookChar(), 'a');
    EXPECT_EQ(whole.GetPosition(), 0);
    EXPECT_EQ(whole.GetChar(), 'a');
    EXPECT_EQ(whole.GetPosition(), 1);

    TqzFileStream window(file, 100, 70000, true);
    auto other = whole.MakeSubStream(5, 3, true);
    EXPECT_EQ(window.GetChar(), data[100]);
    EXPECT_EQ(Drain(*other), data.substr(5, 3));  // moves the shared platform stream
    std::string rest(80000, '\0');
    EXPECT_EQ(window.Read(reinterpret_cast<uint8_t*>(rest.data()), 80000), 69999);
    EXPECT_EQ(rest.substr(0, 69999), data.substr(101, 69999));
    EXPECT_EQ(window.GetChar(), -1);
    window.Reset();
    EXPECT_EQ(window.GetPosition(), 100);
    window.MoveStart(-50);
    EXPECT_EQ(window.GetChar(), data[50]);
}

TEST(FileStream, PositionAdvancesOnWriteSoOffsetsAreTrue) {
    auto out = std::make_shared<qz::platform::MemoryStream>();
    TqzFileStream w(out, 0, 0, false);
    EXPECT_EQ(w.GetPosition(), 0);
    w.Write(std::string("1 0 obj\r\n"));
    EXPECT_EQ(w.GetPosition(), 9);
    w.Write(static_cast<uint8_t>('x'));
    EXPECT_EQ(w.GetPosition(), 10);
    EXPECT_EQ(out->Bytes(), "1 0 obj\r\nx");
}

TEST(Stream, ReadLineRules) {
    TqzMemoryStream crlf("ab\r\ncd");
    EXPECT_EQ(Lines(crlf, 3), "ab||cd|");
    TqzMemoryStream loneCr("a\rb\n");
    std::vector<uint8_t> line(8, 0);
    loneCr.ReadLine(line, 8);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(line.data())), "a\rb");
    TqzMemoryStream tooLong("abcdef");
    std::vector<uint8_t> tiny(2, 0);
    EXPECT_THROW(tooLong.ReadLine(tiny, 6), streams::ExInvalidBuffer);
}

TEST(Stream, CopyFromRunsToTheEndWhateverTheCount) {
    const std::string data(250, 'z');
    TqzMemoryStream src(data);
    TqzMemoryStream dst;
    EXPECT_EQ(dst.CopyFrom(src, 10), 250);
    EXPECT_EQ(dst.Bytes(), data);
    // A hostile count does not size any allocation.
    TqzMemoryStream src2("abc");
    TqzMemoryStream dst2;
    EXPECT_EQ(dst2.CopyFrom(src2, 0xFFFFFFF0u), 3);
}

TEST(Stream, ReadIntoTooSmallStringRaises) {
    TqzMemoryStream s("abcdef");
    std::string buf(3, '\0');
    EXPECT_THROW(s.Read(buf, 4), streams::ExInvalidBuffer);
    EXPECT_EQ(s.Read(buf, 3), 3);
    EXPECT_EQ(buf, "abc");
}

TEST(EmbededStream, LimitedCountsDownUnlimitedPassesThrough) {
    auto inner = std::make_shared<TqzMemoryStream>("abcdef");
    TqzEmbededStream limited(inner, 3, true);
    EXPECT_EQ(limited.GetSize(), 3);
    EXPECT_EQ(limited.GetChar(), 'a');
    EXPECT_EQ(limited.GetSize(), 2);
    EXPECT_EQ(Drain(limited), "bc");
    EXPECT_EQ(limited.GetSize(), 0);
    TqzEmbededStream unlimited(inner.get(), 0, false);
    EXPECT_EQ(Drain(unlimited), "def");
}

TEST(EOFStream, ReportsNoDataButPassesBytes) {
    auto inner = std::make_shared<TqzMemoryStream>("xyz");
    TqzEOFStream eof(inner);
    EXPECT_EQ(eof.LookChar(), -1);
    EXPECT_EQ(eof.GetSize(), 0);
    EXPECT_EQ(eof.GetChar(), 'x');
    EXPECT_EQ(eof.GetType(), TqzStreamType::stWeird);
    EXPECT_EQ(eof.GetBaseStream(), inner.get());
}

TEST(SharedStreams, ALastHolderKeepsTheDataAlive) {
    std::weak_ptr<TqzStream> watch;
    {
        auto s = std::make_shared<TqzMemoryStream>("data");
        watch = s;
        auto second = s;
        s.reset();
        EXPECT_FALSE(watch.expired());
    }
    EXPECT_TRUE(watch.expired());
}
