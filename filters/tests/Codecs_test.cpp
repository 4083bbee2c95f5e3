#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <unistd.h>

#include "filters/ASCII85Codec.h"
#include "filters/CodecStreams.h"
#include "filters/RunLengthCodec.h"
#include "filters/tests/TestSupport.h"
#include "platform/Streams.h"

using namespace qz::filters;
using namespace qz::filters::test;
using qz::core::TqzMemoryStream;
using namespace std::string_literals;

namespace {

template <typename Stream, typename... Args>
std::string Decode(const std::string& data, Args... args) {
    Stream s(Mem(data), args...);
    const std::string bytes = GetChars(s);
    s.Reset();
    EXPECT_TRUE(Same(ReadBlocks(s, 7), bytes)) << "block reads differ from byte reads";
    return bytes;
}

// Codes most significant bit first, as the LZW filter packs them.
class CodeWriter {
public:
    void Put(uint32_t code, uint32_t width) {
        for (uint32_t i = width; i-- > 0;) {
            cur_ = static_cast<uint8_t>((uint32_t{cur_} << 1) | ((code >> i) & 1));
            if (++used_ == 8) {
                out_.push_back(static_cast<char>(cur_));
                cur_ = 0;
                used_ = 0;
            }
        }
    }
    std::string Bytes() const {
        std::string s = out_;
        if (used_) s.push_back(static_cast<char>(cur_ << (8 - used_)));
        return s;
    }

private:
    std::string out_;
    uint8_t cur_ = 0;
    int used_ = 0;
};

// A plain LZW encoder for the tests. With clearWhenFull false it never
// sends a clear code and stops defining codes once 4095 is taken.
std::string LzwEncode(const std::string& data, int earlyChange, bool clearWhenFull = true) {
    CodeWriter w;
    std::map<std::pair<uint32_t, uint8_t>, uint32_t> dict;
    uint32_t next = 258, decoderNext = 258;
    bool first = true;
    auto width = [&] {
        const int64_t n = int64_t{decoderNext} + earlyChange;
        return n >= 2048 ? 12u : n >= 1024 ? 11u : n >= 512 ? 10u : 9u;
    };
    auto emit = [&](uint32_t code) {
        w.Put(code, width());
        if (!first && decoderNext < 4097) ++decoderNext;
        first = false;
    };
    auto clear = [&] {
        w.Put(256, width());
        dict.clear();
        next = 258;
        decoderNext = 258;
        first = true;
    };
    clear();
    int64_t prefix = -1;
    for (char ch : data) {
        const auto c = static_cast<uint8_t>(ch);
        if (prefix < 0) {
            prefix = c;
            continue;
        }
        auto it = dict.find({static_cast<uint32_t>(prefix), c});
        if (it != dict.end()) {
            prefix = it->second;
            continue;
        }
        emit(static_cast<uint32_t>(prefix));
        if (next < 4096) dict[{static_cast<uint32_t>(prefix), c}] = next++;
        if (clearWhenFull && next >= 4094) clear();
        prefix = c;
    }
    if (prefix >= 0) emit(static_cast<uint32_t>(prefix));
    w.Put(257, width());
    return w.Bytes();
}

std::string Mixed(size_t n) { return SampleText(n / 2, 21) + RandomBytes(n / 4, 22) + std::string(n / 4, 'q'); }

}  // namespace

TEST(ASCII85, DecodingRules) {
    struct Case {
        const char* in;
        std::string out;
    } cases[] = {
        {"z~>", std::string(4, '\0')},
        {"!!~>", std::string(1, '\0')},
        {"!~>", ""},                                   // a lone digit gives nothing
        {"87cURD]i,\"Ebo80~>", "Hello World!"},
        {"87c\nUR D]i,\r\"E\tbo80~>", "Hello World!"},  // white space anywhere
        {"87cURD]i,\"Ebo80", "Hello World!"},          // no end marker
        {"87cURD]i,\"Ebo8", "Hello World"},            // partial group without "~>"
        {"87cURD]i,\"Ebo8~>", "Hello World"},          // the same with it
        {"!!z!!!~>", std::string("\0\x09\xCF\xD1", 4)},  // "z" inside a group is a digit
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(Decode<TqzASCII85Stream>(c.in), c.out) << c.in;
}

TEST(ASCIIHex, DecodingRules) {
    struct Case {
        const char* in;
        std::string out;
    } cases[] = {
        {"48656C6C6F>", "Hello"},
        {"48 65\n6c 6c\t6f>", "Hello"},
        {"7>", "\x70"},
        {"4865", std::string("\x48\x65\x00", 3)},  // no ">": one last 0 byte, as documented
        {"4G>", "\x40"},
        {">", ""},
        {"", std::string(1, '\0')},
    };
    for (const auto& c : cases) EXPECT_EQ(Decode<TqzASCIIHexStream>(c.in), c.out) << c.in;
}

TEST(RunLength, DecodingRules) {
    EXPECT_EQ(Decode<TqzRunLengthStream>("\x02\x41\x42\x43\xFE\x44\x80"), "ABCDDD");
    EXPECT_EQ(Decode<TqzRunLengthStream>("\x02\x41\x42\x43\xFE\x44"), "ABCDDD");      // no EOD
    EXPECT_EQ(Decode<TqzRunLengthStream>("\x03\x41"), "A\xFF\xFF\xFF");              // cut literal
    EXPECT_EQ(Decode<TqzRunLengthStream>("\xFE"), "\xFF\xFF\xFF");                   // cut repeat
    EXPECT_EQ(Decode<TqzRunLengthStream>(std::string("\x80\x00\x41", 3)), "");       // EOD first
    EXPECT_EQ(Decode<TqzRunLengthStream>("\x81\x5A"), std::string(128, 'Z'));
}

TEST(LZW, HandMadeCodesAndWidths) {
    CodeWriter w;
    for (uint32_t code : {256u, 65u, 66u, 258u, 257u}) w.Put(code, 9);
    EXPECT_EQ(Decode<TqzLZWStream>(w.Bytes()), "ABAB");

    // A code beyond the next free one ends the data.
    CodeWriter bad;
    for (uint32_t code : {256u, 65u, 300u, 66u, 257u}) bad.Put(code, 9);
    EXPECT_EQ(Decode<TqzLZWStream>(bad.Bytes()), "A");

    // EarlyChange 1 widens when the next free code reaches 511, 0 at 512:
    // data that defines exactly 253 codes round-trips only with the right switch.
    for (int early : {0, 1}) {
        std::string data;
        for (int i = 0; i < 2000; ++i) data.push_back(static_cast<char>((i * 7 + i / 3) % 256));
        EXPECT_TRUE(Same(Decode<TqzLZWStream>(LzwEncode(data, early), 1, 1, 1, 8, early), data)) << early;
    }
}

TEST(LZW, RoundTripsAndAFullTable) {
    const std::string data = Mixed(200000);
    for (int early : {0, 1}) {
        EXPECT_TRUE(Same(Decode<TqzLZWStream>(LzwEncode(data, early), 1, 1, 1, 8, early), data));
        // No clear code at all: the table fills and stops growing.
        EXPECT_TRUE(Same(Decode<TqzLZWStream>(LzwEncode(data, early, false), 1, 1, 1, 8, early), data));
    }
    // With a PNG predictor, as for Flate.
    const std::string rows = std::string("\2\1\1\1\2\1\1\1", 8);
    EXPECT_EQ(Decode<TqzLZWStream>(LzwEncode(rows, 1), 12, 3, 1, 8), std::string("\1\1\1\2\2\2", 6));
    // Corrupt data: never a crash, never more than the codes can say.
    std::mt19937 rng(9);
    for (int i = 0; i < 100; ++i) {
        const std::string junk = RandomBytes(3000, static_cast<uint32_t>(i));
        EXPECT_LE(Decode<TqzLZWStream>(junk).size(), size_t{3000} * 8 / 9 * 4097);
    }
}

TEST(JPX, PassesBytesThroughAndRewinds) {
    const std::string data = RandomBytes(5000, 30);
    TqzJPXStream s(Mem(data));
    EXPECT_EQ(s.LookChar(), static_cast<uint8_t>(data[0]));
    EXPECT_TRUE(Same(GetChars(s), data));
    s.Reset();
    EXPECT_TRUE(Same(ReadBlocks(s, 999), data));
    EXPECT_EQ(s.Write(*std::make_shared<TqzMemoryStream>(), 0), 0);  // no encoder
}

TEST(Encoders, RoundTripThroughTheirDecoders) {
    const std::string data = Mixed(100000) + std::string("\0\0\0\0", 4);

    // ASCII85: "z" for four zeros; a final partial group waits for Flush.
    {
        auto src = Mem("\0\0\0\0abcde"s);
        TqzASCII85Stream enc(src);
        TqzMemoryStream out;
        EXPECT_EQ(enc.Write(out, 9), 6);
        EXPECT_EQ(out.Bytes(), "z@:E_W");
        TqzASCII85Encode flushing(src.get());
        TqzMemoryStream out2;
        flushing.Write(out2, 9);
        flushing.Flush(out2);
        EXPECT_EQ(Decode<TqzASCII85Stream>(out2.Bytes()), std::string("\0\0\0\0abcde", 9));
        auto dataStream = Mem(data);
        TqzASCII85Encode enc2(dataStream.get());
        TqzMemoryStream out3;
        enc2.Write(out3, static_cast<uint32_t>(data.size()));
        enc2.Flush(out3);
        EXPECT_TRUE(Same(Decode<TqzASCII85Stream>(out3.Bytes()), data));
        // A count of 0 encodes nothing.
        TqzMemoryStream none;
        EXPECT_EQ(TqzASCII85Encode(dataStream.get()).Write(none, 0), 0);
    }
    // ASCIIHex: upper-case pairs, a CR after every 64 bytes, ">" at the end;
    // a count covers exactly that many bytes.
    {
        auto src = Mem(std::string(70, '\xAB'));
        TqzASCIIHexStream enc(src);
        TqzMemoryStream out;
        enc.Write(out, 0);
        EXPECT_EQ(out.Bytes(), [] {
            std::string s;
            for (int i = 0; i < 70; ++i) s += (i == 64 ? "\rAB" : "AB");
            return s + ">";
        }());
        src->Reset();
        TqzMemoryStream three;
        enc.Write(three, 3);
        EXPECT_EQ(three.Bytes(), "ABABAB>");
        TqzMemoryStream full;
        TqzASCIIHexStream(Mem(data)).Write(full, 0);
        EXPECT_TRUE(Same(Decode<TqzASCIIHexStream>(full.Bytes()), data));
    }
    // RunLength: FD 41 00 42 for AAAAB, no EOD byte; output by count.
    {
        TqzRunLengthStream enc(Mem("AAAAB"));
        TqzMemoryStream out;
        EXPECT_EQ(enc.Write(out, 0), 4);
        EXPECT_EQ(out.Bytes(), "\xFD\x41\x00\x42"s);
        TqzRunLengthStream byParts(Mem(data));
        TqzMemoryStream parts;
        while (byParts.Write(parts, 1000) > 0) {
        }
        EXPECT_TRUE(Same(Decode<TqzRunLengthStream>(parts.Bytes()), data));
        for (const std::string& s : {"AB"s, "ABB"s, "ABCC"s, std::string(300, 'x'), "A"s, ""s}) {
            TqzMemoryStream o;
            TqzRunLengthStream(Mem(s)).Write(o, 0);
            EXPECT_EQ(Decode<TqzRunLengthStream>(o.Bytes()), s);
        }
    }
    // LZW: the encoder writes nothing.
    TqzMemoryStream lzwOut;
    EXPECT_EQ(TqzLZWStream(Mem(data)).Write(lzwOut, 0), 0);
    EXPECT_EQ(lzwOut.Bytes(), "");
}

TEST(Codecs, GhostscriptEncodedDataDecodes) {
    if (!std::filesystem::exists("/usr/bin/gs")) GTEST_SKIP() << "ghostscript not installed";
    const auto dir = std::filesystem::temp_directory_path() / ("qz_filters_gs_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string data = Mixed(120000);
    qz::platform::WriteFileBytes(dir / "in.bin", data);
    const std::string script = R"(
/copyto { /out exch def /in (in.bin) (r) file def /buf 65536 string def
  { in buf readstring exch out exch writestring not { exit } if } loop
  out closefile in closefile } def
(lzw0.bin) (w) file << /EarlyChange 0 >> /LZWEncode filter copyto
(lzw1.bin) (w) file << /EarlyChange 1 >> /LZWEncode filter copyto
(rl.bin) (w) file 128 /RunLengthEncode filter copyto
(a85.bin) (w) file /ASCII85Encode filter copyto
(ahx.bin) (w) file /ASCIIHexEncode filter copyto
)";
    qz::platform::WriteFileBytes(dir / "enc.ps", script);
    const std::string cmd = "cd '" + dir.string() + "' && gs -q -dNOSAFER -dNODISPLAY -dBATCH enc.ps > gs.log 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    auto file = [&](const char* name) { return qz::platform::ReadFileBytes(dir / name); };
    EXPECT_TRUE(Same(Decode<TqzLZWStream>(file("lzw0.bin"), 1, 1, 1, 8, 0), data));
    EXPECT_TRUE(Same(Decode<TqzLZWStream>(file("lzw1.bin"), 1, 1, 1, 8, 1), data));
    EXPECT_TRUE(Same(Decode<TqzRunLengthStream>(file("rl.bin")), data));
    EXPECT_TRUE(Same(Decode<TqzASCII85Stream>(file("a85.bin")), data));
    EXPECT_TRUE(Same(Decode<TqzASCIIHexStream>(file("ahx.bin")), data));
    std::filesystem::remove_all(dir);
}

TEST(Codecs, OutputCeilingAppliesToEveryDecoder) {
    // A few bytes that stand for far more: the ceiling stops each decoder.
    auto limited = [](TqzCodecStream& s) {
        s.SetOutputLimit(1000);
        std::string got;
        try {
            got = ReadBlocks(s, 300);
        } catch (const ExDecodeLimit&) {
            return got.size() <= 1000;
        }
        return false;
    };
    std::string rl;
    for (int i = 0; i < 100; ++i) rl += "\x81\x00"s;
    TqzRunLengthStream r(Mem(rl));
    EXPECT_TRUE(limited(r));
    TqzASCII85Stream a(Mem(std::string(400, 'z')));
    EXPECT_TRUE(limited(a));
    const std::string runs = LzwEncode(std::string(100000, 'a'), 1);
    TqzLZWStream whole(Mem(runs));
    EXPECT_EQ(ReadBlocks(whole, 300).size(), 100000u);
    TqzLZWStream l(Mem(runs));
    EXPECT_TRUE(limited(l));
    TqzASCIIHexStream h(Mem(std::string(4000, 'A')));
    EXPECT_TRUE(limited(h));
}
