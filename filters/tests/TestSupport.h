#pragma once
// Helpers shared by the filter tests: zlib-made data, readers that drain a
// stream byte by byte or in blocks, deterministic sample data.

#include <gtest/gtest.h>
#include <zlib.h>

#include <memory>
#include <random>
#include <stdexcept>
#include <string>

#include "core/MemoryStream.h"

namespace qz::filters::test {

// Compares byte strings, reporting sizes and the first difference rather
// than both strings whole.
inline ::testing::AssertionResult Same(const std::string& got, const std::string& want) {
    if (got == want) return ::testing::AssertionSuccess();
    size_t i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
    return ::testing::AssertionFailure() << "got " << got.size() << " bytes, want " << want.size()
                                         << ", first difference at " << i;
}

inline core::TqzStreamPtr Mem(const std::string& bytes) {
    return std::make_shared<core::TqzMemoryStream>(bytes);
}

// zlib data with the given level and strategy (windowBits 15, zlib header).
inline std::string Zlib(const std::string& data, int level = Z_DEFAULT_COMPRESSION,
                        int strategy = Z_DEFAULT_STRATEGY) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, 15, 8, strategy) != Z_OK) throw std::runtime_error("zlib");
    std::string out(deflateBound(&z, data.size()) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("zlib");
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// Lower-case hexadecimal digits of `bytes`.
inline std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string h;
    for (char ch : bytes) {
        const auto c = static_cast<uint8_t>(ch);
        h += digits[c >> 4];
        h += digits[c & 15];
    }
    return h;
}

inline std::string GetChars(core::TqzStream& s) {
    std::string out;
    for (int c; (c = s.GetChar()) >= 0;) out.push_back(static_cast<char>(c));
    return out;
}

inline std::string ReadBlocks(core::TqzStream& s, uint32_t chunk) {
    std::string out, block(chunk, '\0');
    for (;;) {
        const int32_t got = s.Read(reinterpret_cast<uint8_t*>(block.data()), chunk);
        if (got <= 0) break;
        out.append(block, 0, static_cast<size_t>(got));
    }
    return out;
}

inline std::string RandomBytes(size_t n, uint32_t seed = 1) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng() & 0xFF);
    return s;
}

// Text much like page content: operators, numbers, repeated phrases.
inline std::string SampleText(size_t n, uint32_t seed = 2) {
    std::mt19937 rng(seed);
    static const char* words[] = {"BT", "ET", "Tf", "Td", "Tj", "re", "f", "q", "Q", "cm",
                                  "/F1", "12", "0", "1", "(Hello, world)", "(Lorem ipsum)"};
    std::string s;
    while (s.size() < n) {
        s += words[rng() % 16];
        s += (rng() % 7 == 0) ? "\n" : " ";
        if (rng() % 5 == 0) s += std::to_string(rng() % 1000) + "." + std::to_string(rng() % 100) + " ";
    }
    s.resize(n);
    return s;
}

// Writes a Deflate bit stream: values least significant bit first, Huffman
// codes most significant bit first.
class BitWriter {
public:
    void Bits(uint32_t value, int count) {
        for (int i = 0; i < count; ++i) Bit((value >> i) & 1);
    }
    void Code(uint32_t code, int length) {
        for (int i = length - 1; i >= 0; --i) Bit((code >> i) & 1);
    }
    // A symbol of the fixed literal/length code.
    void FixedLit(uint32_t sym) {
        if (sym < 144) Code(0x30 + sym, 8);
        else if (sym < 256) Code(0x190 + sym - 144, 9);
        else if (sym < 280) Code(sym - 256, 7);
        else Code(0xC0 + sym - 280, 8);
    }
    std::string Bytes() const {
        std::string out = bytes_;
        if (used_) out.push_back(static_cast<char>(cur_));
        return out;
    }

private:
    void Bit(uint32_t b) {
        cur_ = static_cast<uint8_t>(cur_ | (b << used_));
        if (++used_ == 8) {
            bytes_.push_back(static_cast<char>(cur_));
            cur_ = 0;
            used_ = 0;
        }
    }
    std::string bytes_;
    uint8_t cur_ = 0;
    int used_ = 0;
};

}  // namespace qz::filters::test
