#include "testing/Jbig2Coders.h"

#include <array>
#include <stdexcept>

namespace qz::testing::jbig2 {

namespace {

struct QeRow {
    uint16_t qe;
    uint8_t nmps;
    uint8_t nlps;
    uint8_t switchMps;
};

// The probability estimation table of the MQ coder.
constexpr std::array<QeRow, 47> kQe{{
    {0x5601, 1, 1, 1},   {0x3401, 2, 6, 0},   {0x1801, 3, 9, 0},   {0x0AC1, 4, 12, 0},
    {0x0521, 5, 29, 0},  {0x0221, 38, 33, 0}, {0x5601, 7, 6, 1},   {0x5401, 8, 14, 0},
    {0x4801, 9, 14, 0},  {0x3801, 10, 14, 0}, {0x3001, 11, 17, 0}, {0x2401, 12, 18, 0},
    {0x1C01, 13, 20, 0}, {0x1601, 29, 21, 0}, {0x5601, 15, 14, 1}, {0x5401, 16, 14, 0},
    {0x5101, 17, 15, 0}, {0x4801, 18, 16, 0}, {0x3801, 19, 17, 0}, {0x3401, 20, 18, 0},
    {0x3001, 21, 19, 0}, {0x2801, 22, 19, 0}, {0x2401, 23, 20, 0}, {0x2201, 24, 21, 0},
    {0x1C01, 25, 22, 0}, {0x1801, 26, 23, 0}, {0x1601, 27, 24, 0}, {0x1401, 28, 25, 0},
    {0x1201, 29, 26, 0}, {0x1101, 30, 27, 0}, {0x0AC1, 31, 28, 0}, {0x09C1, 32, 29, 0},
    {0x08A1, 33, 30, 0}, {0x0521, 34, 31, 0}, {0x0441, 35, 32, 0}, {0x02A1, 36, 33, 0},
    {0x0221, 37, 34, 0}, {0x0141, 38, 35, 0}, {0x0111, 39, 36, 0}, {0x0085, 40, 37, 0},
    {0x0049, 41, 38, 0}, {0x0025, 42, 39, 0}, {0x0015, 43, 40, 0}, {0x0009, 44, 41, 0},
    {0x0005, 45, 42, 0}, {0x0001, 45, 43, 0}, {0x5601, 46, 46, 0},
}};

}  // namespace

MqEncoder::MqEncoder() = default;

void MqEncoder::Encode(MqContext& cx, uint32_t bit) {
    const QeRow& r = kQe[cx.index];
    a_ -= r.qe;
    if ((bit & 1u) == cx.mps) {
        if ((a_ & 0x8000u) != 0) {
            c_ += r.qe;
            return;
        }
        if (a_ < r.qe) {
            a_ = r.qe;
        } else {
            c_ += r.qe;
        }
        cx.index = r.nmps;
    } else {
        if (a_ < r.qe) {
            c_ += r.qe;
        } else {
            a_ = r.qe;
        }
        if (r.switchMps) cx.mps ^= 1u;
        cx.index = r.nlps;
    }
    RenormE();
}

void MqEncoder::RenormE() {
    do {
        a_ <<= 1;
        c_ <<= 1;
        if (--ct_ == 0) ByteOut();
    } while ((a_ & 0x8000u) == 0);
}

void MqEncoder::Emit(uint32_t byte) {
    if (haveB_) out_.push_back(static_cast<char>(b_));
    haveB_ = true;
    b_ = byte & 0xFFu;
}

void MqEncoder::ByteOut() {
    if (b_ == 0xFF && haveB_) {
        Emit(c_ >> 20);
        c_ &= 0xFFFFFu;
        ct_ = 7;
        return;
    }
    if (c_ >= 0x8000000u) {
        ++b_;  // the carry goes into the byte not yet written out
        if (b_ == 0xFF) {
            c_ &= 0x7FFFFFFu;
            Emit(c_ >> 20);
            c_ &= 0xFFFFFu;
            ct_ = 7;
            return;
        }
    }
    Emit(c_ >> 19);
    c_ &= 0x7FFFFu;
    ct_ = 8;
}

std::string MqEncoder::Finish() {
    const uint32_t top = c_ + a_;
    c_ |= 0xFFFFu;
    if (c_ >= top) c_ -= 0x8000u;
    c_ <<= ct_;
    ByteOut();
    c_ <<= ct_;
    ByteOut();
    if (b_ != 0xFF) Emit(0xFF);
    Emit(0xAC);
    out_.push_back(static_cast<char>(b_));
    haveB_ = false;
    return out_;
}

void IntegerEncoder::Bit(MqEncoder& mq, uint32_t& prev, uint32_t bit) {
    mq.Encode(cx_[prev], bit);
    prev = prev < 256 ? (prev << 1) | bit : (((prev << 1) | bit) & 511u) | 256u;
}

void IntegerEncoder::Code(MqEncoder& mq, uint32_t sign, uint64_t magnitude) {
    struct Range {
        uint64_t limit;
        int32_t prefixOnes;
        int32_t bits;
        uint64_t offset;
    };
    static constexpr std::array<Range, 6> kRanges{{{4, 0, 2, 0},
                                                   {20, 1, 4, 4},
                                                   {84, 2, 6, 20},
                                                   {340, 3, 8, 84},
                                                   {4436, 4, 12, 340},
                                                   {4436 + (1ull << 32), 5, 32, 4436}}};
    uint32_t prev = 1;
    Bit(mq, prev, sign);
    for (const Range& r : kRanges) {
        if (magnitude >= r.limit) continue;
        for (int32_t i = 0; i < r.prefixOnes; ++i) Bit(mq, prev, 1);
        if (r.prefixOnes < 5) Bit(mq, prev, 0);
        const uint64_t v = magnitude - r.offset;
        for (int32_t i = r.bits - 1; i >= 0; --i) Bit(mq, prev, static_cast<uint32_t>(v >> i) & 1u);
        return;
    }
    throw std::invalid_argument("integer too large for the arithmetic integer coder");
}

void IntegerEncoder::Encode(MqEncoder& mq, int64_t value) {
    if (value < 0) {
        Code(mq, 1, static_cast<uint64_t>(-value));
    } else {
        Code(mq, 0, static_cast<uint64_t>(value));
    }
}

void IntegerEncoder::EncodeOob(MqEncoder& mq) { Code(mq, 1, 0); }

SymbolIdEncoder::SymbolIdEncoder(int32_t codeLength)
    : codeLength_(codeLength), cx_(size_t{1} << codeLength) {}

void SymbolIdEncoder::Encode(MqEncoder& mq, uint32_t id) {
    if (codeLength_ < 32 && (id >> codeLength_) != 0) {
        throw std::invalid_argument("symbol ID does not fit its code length");
    }
    uint32_t prev = 1;
    for (int32_t i = codeLength_ - 1; i >= 0; --i) {
        const uint32_t bit = (id >> i) & 1u;
        mq.Encode(cx_[prev], bit);
        prev = (prev << 1) | bit;
    }
}

void BitWriter::Put(uint64_t value, int32_t count) {
    for (int32_t i = count - 1; i >= 0; --i) {
        acc_ = (acc_ << 1) | static_cast<uint32_t>((value >> i) & 1u);
        if (++bits_ == 8) {
            out_.push_back(static_cast<char>(acc_ & 0xFFu));
            acc_ = 0;
            bits_ = 0;
        }
    }
}

void BitWriter::Align() {
    if (bits_ != 0) Put(0, 8 - bits_);
}

void BitWriter::PutBytes(const std::string& bytes) {
    if (bits_ != 0) throw std::logic_error("BitWriter::PutBytes off a byte boundary");
    out_ += bytes;
}

std::string BitWriter::Bytes() const {
    std::string out = out_;
    if (bits_ != 0) out.push_back(static_cast<char>((acc_ << (8 - bits_)) & 0xFFu));
    return out;
}

std::vector<uint32_t> AssignPrefixCodes(const std::vector<int32_t>& lengths) {
    int32_t maxLength = 0;
    for (int32_t l : lengths) maxLength = std::max(maxLength, l);
    std::vector<uint32_t> count(static_cast<size_t>(maxLength) + 1, 0);
    for (int32_t l : lengths) ++count[static_cast<size_t>(l)];
    count[0] = 0;
    std::vector<uint32_t> codes(lengths.size(), 0);
    uint32_t first = 0;
    for (int32_t len = 1; len <= maxLength; ++len) {
        first = (first + count[static_cast<size_t>(len) - 1]) << 1;
        uint32_t cur = first;
        for (size_t i = 0; i < lengths.size(); ++i) {
            if (lengths[i] == len) codes[i] = cur++;
        }
    }
    return codes;
}

HuffmanTable::HuffmanTable(std::vector<HuffmanLine> lines) : lines_(std::move(lines)) {
    std::vector<int32_t> lengths;
    for (const HuffmanLine& l : lines_) lengths.push_back(l.prefixLength);
    codes_ = AssignPrefixCodes(lengths);
}

int32_t HuffmanTable::Find(int64_t value) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        const HuffmanLine& l = lines_[i];
        if (l.prefixLength == 0) continue;
        switch (l.kind) {
            case HuffmanLine::Kind::Normal:
                if (value >= l.rangeLow && value - l.rangeLow < (int64_t{1} << l.rangeLength)) {
                    return static_cast<int32_t>(i);
                }
                break;
            case HuffmanLine::Kind::Lower:
                if (value <= l.rangeLow && l.rangeLow - value < (int64_t{1} << 32)) {
                    return static_cast<int32_t>(i);
                }
                break;
            case HuffmanLine::Kind::Upper:
                if (value >= l.rangeLow && value - l.rangeLow < (int64_t{1} << 32)) {
                    return static_cast<int32_t>(i);
                }
                break;
            case HuffmanLine::Kind::Oob: break;
        }
    }
    return -1;
}

void HuffmanTable::Encode(BitWriter& w, int64_t value) const {
    const int32_t i = Find(value);
    if (i < 0) {
        throw std::invalid_argument("value " + std::to_string(value) +
                                    " has no line in the Huffman table");
    }
    const HuffmanLine& l = lines_[static_cast<size_t>(i)];
    w.Put(codes_[static_cast<size_t>(i)], l.prefixLength);
    const int64_t offset = l.kind == HuffmanLine::Kind::Lower ? l.rangeLow - value : value - l.rangeLow;
    w.Put(static_cast<uint64_t>(offset), l.rangeLength);
}

void HuffmanTable::EncodeOob(BitWriter& w) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind == HuffmanLine::Kind::Oob) {
            w.Put(codes_[i], lines_[i].prefixLength);
            return;
        }
    }
    throw std::invalid_argument("the Huffman table has no out-of-band line");
}

const HuffmanTable& HuffmanTable::Standard(int32_t n) {
    using K = HuffmanLine::Kind;
    static const std::array<HuffmanTable, 15> tables{{
        HuffmanTable({{1, 4, 0}, {2, 8, 16}, {3, 16, 272}, {3, 32, 65808, K::Upper}}),
        HuffmanTable({{1, 0, 0},
                      {2, 0, 1},
                      {3, 0, 2},
                      {4, 3, 3},
                      {5, 6, 11},
                      {6, 32, 75, K::Upper},
                      {6, 0, 0, K::Oob}}),
        HuffmanTable({{8, 8, -256},
                      {1, 0, 0},
                      {2, 0, 1},
                      {3, 0, 2},
                      {4, 3, 3},
                      {5, 6, 11},
                      {8, 32, -257, K::Lower},
                      {7, 32, 75, K::Upper},
                      {6, 0, 0, K::Oob}}),
        HuffmanTable({{1, 0, 1}, {2, 0, 2}, {3, 0, 3}, {4, 3, 4}, {5, 6, 12}, {5, 32, 76, K::Upper}}),
        HuffmanTable({{7, 8, -255},
                      {1, 0, 1},
                      {2, 0, 2},
                      {3, 0, 3},
                      {4, 3, 4},
                      {5, 6, 12},
                      {7, 32, -256, K::Lower},
                      {6, 32, 76, K::Upper}}),
        HuffmanTable({{5, 10, -2048},
                      {4, 9, -1024},
                      {4, 8, -512},
                      {4, 7, -256},
                      {5, 6, -128},
                      {5, 5, -64},
                      {4, 5, -32},
                      {2, 7, 0},
                      {3, 7, 128},
                      {3, 8, 256},
                      {4, 9, 512},
                      {4, 10, 1024},
                      {6, 32, -2049, K::Lower},
                      {6, 32, 2048, K::Upper}}),
        HuffmanTable({{4, 9, -1024},
                      {3, 8, -512},
                      {4, 7, -256},
                      {5, 6, -128},
                      {5, 5, -64},
                      {4, 5, -32},
                      {4, 5, 0},
                      {5, 5, 32},
                      {5, 6, 64},
                      {4, 7, 128},
                      {3, 8, 256},
                      {3, 9, 512},
                      {3, 10, 1024},
                      {5, 32, -1025, K::Lower},
                      {5, 32, 2048, K::Upper}}),
        HuffmanTable({{8, 3, -15},
                      {9, 1, -7},
                      {8, 1, -5},
                      {9, 0, -3},
                      {7, 0, -2},
                      {4, 0, -1},
                      {2, 1, 0},
                      {5, 0, 2},
                      {6, 0, 3},
                      {3, 4, 4},
                      {6, 1, 20},
                      {4, 4, 22},
                      {4, 5, 38},
                      {5, 6, 70},
                      {5, 7, 134},
                      {6, 7, 262},
                      {7, 8, 390},
                      {6, 10, 646},
                      {9, 32, -16, K::Lower},
                      {9, 32, 1670, K::Upper},
                      {2, 0, 0, K::Oob}}),
        HuffmanTable({{8, 4, -31},
                      {9, 2, -15},
                      {8, 2, -11},
                      {9, 1, -7},
                      {7, 1, -5},
                      {4, 1, -3},
                      {3, 1, -1},
                      {3, 1, 1},
                      {5, 1, 3},
                      {6, 1, 5},
                      {3, 5, 7},
                      {6, 2, 39},
                      {4, 5, 43},
                      {4, 6, 75},
                      {5, 7, 139},
                      {5, 8, 267},
                      {6, 8, 523},
                      {7, 9, 779},
                      {6, 11, 1291},
                      {9, 32, -32, K::Lower},
                      {9, 32, 3339, K::Upper},
                      {2, 0, 0, K::Oob}}),
        HuffmanTable({{7, 4, -21},
                      {8, 0, -5},
                      {7, 0, -4},
                      {5, 0, -3},
                      {2, 2, -2},
                      {5, 0, 2},
                      {6, 0, 3},
                      {7, 0, 4},
                      {8, 0, 5},
                      {2, 6, 6},
                      {5, 5, 70},
                      {6, 5, 102},
                      {6, 6, 134},
                      {6, 7, 198},
                      {6, 8, 326},
                      {6, 9, 582},
                      {6, 10, 1094},
                      {7, 11, 2118},
                      {8, 32, -22, K::Lower},
                      {8, 32, 4166, K::Upper},
                      {2, 0, 0, K::Oob}}),
        HuffmanTable({{1, 0, 1},
                      {2, 1, 2},
                      {4, 0, 4},
                      {4, 1, 5},
                      {5, 1, 7},
                      {5, 2, 9},
                      {6, 2, 13},
                      {7, 2, 17},
                      {7, 3, 21},
                      {7, 4, 29},
                      {7, 5, 45},
                      {7, 6, 77},
                      {7, 32, 141, K::Upper}}),
        HuffmanTable({{1, 0, 1},
                      {2, 0, 2},
                      {3, 1, 3},
                      {5, 0, 5},
                      {5, 1, 6},
                      {6, 1, 8},
                      {7, 0, 10},
                      {7, 1, 11},
                      {7, 2, 13},
                      {7, 3, 17},
                      {7, 4, 25},
                      {8, 5, 41},
                      {8, 32, 73, K::Upper}}),
        HuffmanTable({{1, 0, 1},
                      {3, 0, 2},
                      {4, 0, 3},
                      {5, 0, 4},
                      {4, 1, 5},
                      {3, 3, 7},
                      {6, 1, 15},
                      {6, 2, 17},
                      {6, 3, 21},
                      {6, 4, 29},
                      {6, 5, 45},
                      {7, 6, 77},
                      {7, 32, 141, K::Upper}}),
        HuffmanTable({{3, 0, -2}, {3, 0, -1}, {1, 0, 0}, {3, 0, 1}, {3, 0, 2}}),
        HuffmanTable({{7, 4, -24},
                      {6, 2, -8},
                      {5, 1, -4},
                      {4, 0, -2},
                      {3, 0, -1},
                      {1, 0, 0},
                      {3, 0, 1},
                      {4, 0, 2},
                      {5, 1, 3},
                      {6, 2, 5},
                      {7, 4, 9},
                      {7, 32, -25, K::Lower},
                      {7, 32, 25, K::Upper}}),
    }};
    if (n < 1 || n > 15) throw std::invalid_argument("standard Huffman tables are B.1 to B.15");
    return tables[static_cast<size_t>(n) - 1];
}

namespace {

// Run-length codes of the two-dimensional coder, as strings of bits.
constexpr std::array<const char*, 64> kWhiteTerminating{
    "00110101", "000111",   "0111",     "1000",     "1011",     "1100",     "1110",
    "1111",     "10011",    "10100",    "00111",    "01000",    "001000",   "000011",
    "110100",   "110101",   "101010",   "101011",   "0100111",  "0001100",  "0001000",
    "0010111",  "0000011",  "0000100",  "0101000",  "0101011",  "0010011",  "0100100",
    "0011000",  "00000010", "00000011", "00011010", "00011011", "00010010", "00010011",
    "00010100", "00010101", "00010110", "00010111", "00101000", "00101001", "00101010",
    "00101011", "00101100", "00101101", "00000100", "00000101", "00001010", "00001011",
    "01010010", "01010011", "01010100", "01010101", "00100100", "00100101", "01011000",
    "01011001", "01011010", "01011011", "01001010", "01001011", "00110010", "00110011",
    "00110100"};
constexpr std::array<const char*, 27> kWhiteMakeUp{
    "11011",     "10010",     "010111",    "0110111",   "00110110",  "00110111",  "01100100",
    "01100101",  "01101000",  "01100111",  "011001100", "011001101", "011010010", "011010011",
    "011010100", "011010101", "011010110", "011010111", "011011000", "011011001", "011011010",
    "011011011", "010011000", "010011001", "010011010", "011000",    "010011011"};
constexpr std::array<const char*, 64> kBlackTerminating{
    "0000110111",   "010",          "11",           "10",           "011",
    "0011",         "0010",         "00011",        "000101",       "000100",
    "0000100",      "0000101",      "0000111",      "00000100",     "00000111",
    "000011000",    "0000010111",   "0000011000",   "0000001000",   "00001100111",
    "00001101000",  "00001101100",  "00000110111",  "00000101000",  "00000010111",
    "00000011000",  "000011001010", "000011001011", "000011001100", "000011001101",
    "000001101000", "000001101001", "000001101010", "000001101011", "000011010010",
    "000011010011", "000011010100", "000011010101", "000011010110", "000011010111",
    "000001101100", "000001101101", "000011011010", "000011011011", "000001010100",
    "000001010101", "000001010110", "000001010111", "000001100100", "000001100101",
    "000001010010", "000001010011", "000000100100", "000000110111", "000000111000",
    "000000100111", "000000101000", "000001011000", "000001011001", "000000101011",
    "000000101100", "000001011010", "000001100110", "000001100111"};
constexpr std::array<const char*, 27> kBlackMakeUp{
    "0000001111",    "000011001000",  "000011001001",  "000001011011",  "000000110011",
    "000000110100",  "000000110101",  "0000001101100", "0000001101101", "0000001001010",
    "0000001001011", "0000001001100", "0000001001101", "0000001110010", "0000001110011",
    "0000001110100", "0000001110101", "0000001110110", "0000001110111", "0000001010010",
    "0000001010011", "0000001010100", "0000001010101", "0000001011010", "0000001011011",
    "0000001100100", "0000001100101"};
// Make-up codes 1792 to 2560, the same for both colours.
constexpr std::array<const char*, 13> kExtendedMakeUp{
    "00000001000",  "00000001100",  "00000001101",  "000000010010", "000000010011",
    "000000010100", "000000010101", "000000010110", "000000010111", "000000011100",
    "000000011101", "000000011110", "000000011111"};

void PutCode(BitWriter& w, const char* bits) {
    for (const char* p = bits; *p != '\0'; ++p) w.Put(*p == '1' ? 1u : 0u, 1);
}

void PutRun(BitWriter& w, int32_t run, bool black) {
    while (run >= 2560) {
        PutCode(w, kExtendedMakeUp[12]);
        run -= 2560;
    }
    if (run >= 64) {
        const int32_t makeUp = run / 64;  // 1 to 39
        if (makeUp <= 27) {
            PutCode(w, (black ? kBlackMakeUp : kWhiteMakeUp)[static_cast<size_t>(makeUp) - 1]);
        } else {
            PutCode(w, kExtendedMakeUp[static_cast<size_t>(makeUp) - 28]);
        }
        run %= 64;
    }
    PutCode(w, (black ? kBlackTerminating : kWhiteTerminating)[static_cast<size_t>(run)]);
}

// The first changing element after `after` (a pixel whose colour differs
// from the one before it, the pixel before column 0 being white), or width.
int32_t NextChange(const std::vector<uint8_t>& row, int32_t after) {
    const auto width = static_cast<int32_t>(row.size());
    for (int32_t p = std::max(after + 1, 0); p < width; ++p) {
        const uint8_t before = p == 0 ? 0 : row[static_cast<size_t>(p) - 1];
        if (row[static_cast<size_t>(p)] != before) return p;
    }
    return width;
}

// The first changing element after `after` whose pixel has `colour`.
int32_t NextChangeTo(const std::vector<uint8_t>& row, int32_t after, uint8_t colour) {
    const auto width = static_cast<int32_t>(row.size());
    int32_t p = NextChange(row, after);
    while (p < width && row[static_cast<size_t>(p)] != colour) p = NextChange(row, p);
    return p;
}

}  // namespace

std::string EncodeMmr(const Jbig2Bitmap& bitmap, bool endOfBlock) {
    BitWriter w;
    const int32_t width = bitmap.Width();
    std::vector<uint8_t> reference(static_cast<size_t>(width), 0);
    for (int32_t y = 0; y < bitmap.Height(); ++y) {
        const std::vector<uint8_t> coding = bitmap.Row(y);
        int32_t a0 = -1;
        uint8_t colour = 0;
        while (a0 < width) {
            const int32_t a1 = NextChange(coding, a0);
            const int32_t b1 = NextChangeTo(reference, a0, colour ^ 1u);
            const int32_t b2 = NextChange(reference, b1);
            if (b2 < a1) {
                PutCode(w, "0001");  // pass
                a0 = b2;
            } else if (a1 - b1 >= -3 && a1 - b1 <= 3) {
                static constexpr std::array<const char*, 7> kVertical{
                    "0000010", "000010", "010", "1", "011", "000011", "0000011"};
                PutCode(w, kVertical[static_cast<size_t>(a1 - b1 + 3)]);
                a0 = a1;
                colour ^= 1u;
            } else {
                const int32_t a2 = NextChange(coding, a1);
                PutCode(w, "001");  // horizontal
                PutRun(w, a1 - std::max(a0, 0), colour != 0);
                PutRun(w, a2 - a1, colour == 0);
                a0 = a2;
            }
        }
        reference = coding;
    }
    if (endOfBlock) {
        PutCode(w, "000000000001");
        PutCode(w, "000000000001");
    }
    w.Align();
    return w.Bytes();
}

}  // namespace qz::testing::jbig2
