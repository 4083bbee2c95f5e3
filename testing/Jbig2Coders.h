#pragma once
// The entropy coders under the test-only JBIG2 encoder: the MQ arithmetic
// encoder with its integer and symbol-ID procedures, an MSB-first bit
// writer, the Huffman tables (standard and assembled) and a two-dimensional
// (G4/MMR) encoder. Each object owns only its own state; none is thread-safe.

#include <cstdint>
#include <string>
#include <vector>

#include "testing/Jbig2Bitmap.h"

namespace qz::testing::jbig2 {

// One adaptive context: probability state index and more probable symbol.
struct MqContext {
    uint8_t index = 0;
    uint8_t mps = 0;
};
using MqContexts = std::vector<MqContext>;

class MqEncoder {
public:
    MqEncoder();
    // Codes one decision (0 or 1) in context `cx`, updating it.
    void Encode(MqContext& cx, uint32_t bit);
    // Flushes and appends the 0xFF 0xAC marker; returns the coded bytes.
    // The encoder is spent afterwards.
    std::string Finish();

private:
    void RenormE();
    void ByteOut();
    void Emit(uint32_t byte);

    uint32_t a_ = 0x8000;
    uint32_t c_ = 0;
    int32_t ct_ = 12;
    uint32_t b_ = 0;
    bool haveB_ = false;  // b_ is still the placeholder before the first byte
    std::string out_;
};

// Signed integers with out-of-band (the IAx procedures); 512 contexts each.
class IntegerEncoder {
public:
    IntegerEncoder() : cx_(512) {}
    void Encode(MqEncoder& mq, int64_t value);
    void EncodeOob(MqEncoder& mq);

private:
    void Bit(MqEncoder& mq, uint32_t& prev, uint32_t bit);
    void Code(MqEncoder& mq, uint32_t sign, uint64_t magnitude);
    MqContexts cx_;
};

// Symbol IDs of a fixed code length (the IAID procedure).
class SymbolIdEncoder {
public:
    explicit SymbolIdEncoder(int32_t codeLength = 0);
    void Encode(MqEncoder& mq, uint32_t id);
    int32_t CodeLength() const { return codeLength_; }

private:
    int32_t codeLength_;
    MqContexts cx_;
};

class BitWriter {
public:
    // The low `count` bits of `value`, most significant first (count 0 to 32).
    void Put(uint64_t value, int32_t count);
    // Pads with 0 bits to the next byte boundary.
    void Align();
    // Appends whole bytes; the writer must be at a byte boundary.
    void PutBytes(const std::string& bytes);
    bool Aligned() const { return bits_ == 0; }
    // The bytes written, the last one padded with 0 bits.
    std::string Bytes() const;

private:
    std::string out_;
    uint32_t acc_ = 0;
    int32_t bits_ = 0;
};

// One line of a Huffman table.
struct HuffmanLine {
    enum class Kind : uint8_t { Normal, Lower, Upper, Oob };
    int32_t prefixLength = 0;
    int32_t rangeLength = 0;
    int32_t rangeLow = 0;
    Kind kind = Kind::Normal;
};

class HuffmanTable {
public:
    // Assigns the canonical codes in line order.
    explicit HuffmanTable(std::vector<HuffmanLine> lines);
    // Standard table B.n, n from 1 to 15.
    static const HuffmanTable& Standard(int32_t n);
    // Codes `value`; std::invalid_argument when no line covers it.
    void Encode(BitWriter& w, int64_t value) const;
    void EncodeOob(BitWriter& w) const;
    bool Covers(int64_t value) const { return Find(value) >= 0; }

private:
    int32_t Find(int64_t value) const;
    std::vector<HuffmanLine> lines_;
    std::vector<uint32_t> codes_;
};

// Canonical code assignment for prefix lengths (0: no code).
std::vector<uint32_t> AssignPrefixCodes(const std::vector<int32_t>& lengths);

// Two-dimensional coding of the whole bitmap (1 = black) against an
// imaginary white row above it, padded to a byte boundary; with
// `endOfBlock` the end-of-block code (two end-of-line codes) follows the
// last row before the padding.
std::string EncodeMmr(const Jbig2Bitmap& bitmap, bool endOfBlock);

}  // namespace qz::testing::jbig2
