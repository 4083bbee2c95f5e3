#include "filters/CCITTDecode.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

namespace qz::filters {

namespace {

// An end-of-line code where a run code was looked for.
constexpr int16_t kEndOfLine = -2;
// What ReadRun gives besides run lengths.
constexpr int32_t kRunEnd = -1;
constexpr int32_t kRunEndOfLine = -2;

enum Mode : int16_t {
    kPass,
    kHorizontal,
    kVertical0,
    kVerticalRight1,
    kVerticalLeft1,
    kVerticalRight2,
    kVerticalLeft2,
    kVerticalRight3,
    kVerticalLeft3,
};

struct CodeText {
    const char* bits;
    int16_t value;
};

constexpr CodeText kModeCodes[] = {
    {"0001", kPass},           {"001", kHorizontal},         {"1", kVertical0},
    {"011", kVerticalRight1},  {"000011", kVerticalRight2},  {"0000011", kVerticalRight3},
    {"010", kVerticalLeft1},   {"000010", kVerticalLeft2},   {"0000010", kVerticalLeft3},
};

// Make-up codes of 1792 and above, shared by both colours, and end of line.
constexpr CodeText kSharedCodes[] = {
    {"00000001000", 1792},  {"00000001100", 1856},  {"00000001101", 1920},
    {"000000010010", 1984}, {"000000010011", 2048}, {"000000010100", 2112},
    {"000000010101", 2176}, {"000000010110", 2240}, {"000000010111", 2304},
    {"000000011100", 2368}, {"000000011101", 2432}, {"000000011110", 2496},
    {"000000011111", 2560}, {"000000000001", kEndOfLine},
};

constexpr CodeText kWhiteCodes[] = {
    {"00110101", 0},    {"000111", 1},      {"0111", 2},        {"1000", 3},
    {"1011", 4},        {"1100", 5},        {"1110", 6},        {"1111", 7},
    {"10011", 8},       {"10100", 9},       {"00111", 10},      {"01000", 11},
    {"001000", 12},     {"000011", 13},     {"110100", 14},     {"110101", 15},
    {"101010", 16},     {"101011", 17},     {"0100111", 18},    {"0001100", 19},
    {"0001000", 20},    {"0010111", 21},    {"0000011", 22},    {"0000100", 23},
    {"0101000", 24},    {"0101011", 25},    {"0010011", 26},    {"0100100", 27},
    {"0011000", 28},    {"00000010", 29},   {"00000011", 30},   {"00011010", 31},
    {"00011011", 32},   {"00010010", 33},   {"00010011", 34},   {"00010100", 35},
    {"00010101", 36},   {"00010110", 37},   {"00010111", 38},   {"00101000", 39},
    {"00101001", 40},   {"00101010", 41},   {"00101011", 42},   {"00101100", 43},
    {"00101101", 44},   {"00000100", 45},   {"00000101", 46},   {"00001010", 47},
    {"00001011", 48},   {"01010010", 49},   {"01010011", 50},   {"01010100", 51},
    {"01010101", 52},   {"00100100", 53},   {"00100101", 54},   {"01011000", 55},
    {"01011001", 56},   {"01011010", 57},   {"01011011", 58},   {"01001010", 59},
    {"01001011", 60},   {"00110010", 61},   {"00110011", 62},   {"00110100", 63},
    {"11011", 64},      {"10010", 128},     {"010111", 192},    {"0110111", 256},
    {"00110110", 320},  {"00110111", 384},  {"01100100", 448},  {"01100101", 512},
    {"01101000", 576},  {"01100111", 640},  {"011001100", 704}, {"011001101", 768},
    {"011010010", 832}, {"011010011", 896}, {"011010100", 960}, {"011010101", 1024},
    {"011010110", 1088}, {"011010111", 1152}, {"011011000", 1216}, {"011011001", 1280},
    {"011011010", 1344}, {"011011011", 1408}, {"010011000", 1472}, {"010011001", 1536},
    {"010011010", 1600}, {"011000", 1664},    {"010011011", 1728},
};

constexpr CodeText kBlackCodes[] = {
    {"0000110111", 0},     {"010", 1},            {"11", 2},             {"10", 3},
    {"011", 4},            {"0011", 5},           {"0010", 6},           {"00011", 7},
    {"000101", 8},         {"000100", 9},         {"0000100", 10},       {"0000101", 11},
    {"0000111", 12},       {"00000100", 13},      {"00000111", 14},      {"000011000", 15},
    {"0000010111", 16},    {"0000011000", 17},    {"0000001000", 18},    {"00001100111", 19},
    {"00001101000", 20},   {"00001101100", 21},   {"00000110111", 22},   {"00000101000", 23},
    {"00000010111", 24},   {"00000011000", 25},   {"000011001010", 26},  {"000011001011", 27},
    {"000011001100", 28},  {"000011001101", 29},  {"000001101000", 30},  {"000001101001", 31},
    {"000001101010", 32},  {"000001101011", 33},  {"000011010010", 34},  {"000011010011", 35},
    {"000011010100", 36},  {"000011010101", 37},  {"000011010110", 38},  {"000011010111", 39},
    {"000001101100", 40},  {"000001101101", 41},  {"000011011010", 42},  {"000011011011", 43},
    {"000001010100", 44},  {"000001010101", 45},  {"000001010110", 46},  {"000001010111", 47},
    {"000001100100", 48},  {"000001100101", 49},  {"000001010010", 50},  {"000001010011", 51},
    {"000000100100", 52},  {"000000110111", 53},  {"000000111000", 54},  {"000000100111", 55},
    {"000000101000", 56},  {"000001011000", 57},  {"000001011001", 58},  {"000000101011", 59},
    {"000000101100", 60},  {"000001011010", 61},  {"000001100110", 62},  {"000001100111", 63},
    {"0000001111", 64},    {"000011001000", 128}, {"000011001001", 192}, {"000001011011", 256},
    {"000000110011", 320}, {"000000110100", 384}, {"000000110101", 448}, {"0000001101100", 512},
    {"0000001101101", 576}, {"0000001001010", 640}, {"0000001001011", 704}, {"0000001001100", 768},
    {"0000001001101", 832}, {"0000001110010", 896}, {"0000001110011", 960}, {"0000001110100", 1024},
    {"0000001110101", 1088}, {"0000001110110", 1152}, {"0000001110111", 1216},
    {"0000001010010", 1280}, {"0000001010011", 1344}, {"0000001010100", 1408},
    {"0000001010101", 1472}, {"0000001011010", 1536}, {"0000001011011", 1600},
    {"0000001100100", 1664}, {"0000001100101", 1728},
};

struct CodeEntry {
    int16_t value;
    uint8_t bits;
};

// Lookup tables indexed by the next bits of the data. White: 12 bits whose
// first seven are zero index whiteLong, else the first 9 bits whiteShort.
// Black: 13 bits whose first six are zero index blackLong, else 12 bits
// whose first four are zero blackMid, else the first 6 bits blackShort.
struct Tables {
    CodeEntry modes[128] = {};
    CodeEntry whiteLong[32] = {};
    CodeEntry whiteShort[512] = {};
    CodeEntry blackLong[128] = {};
    CodeEntry blackMid[256] = {};
    CodeEntry blackShort[64] = {};
    bool ok = true;
};

constexpr void Place(CodeEntry* table, uint32_t size, uint32_t width, uint32_t code, uint32_t length,
                     int16_t value, bool& ok) {
    if (length > width) {
        ok = false;
        return;
    }
    const uint32_t first = code << (width - length);
    const uint32_t count = 1u << (width - length);
    for (uint32_t i = first; i < first + count; ++i) {
        if (i >= size || table[i].bits != 0) {
            ok = false;  // two codes share a prefix, or the routing is wrong
            return;
        }
        table[i] = CodeEntry{value, static_cast<uint8_t>(length)};
    }
}

constexpr void PlaceRun(Tables& t, const CodeText& c, bool black) {
    uint32_t code = 0, length = 0;
    for (const char* p = c.bits; *p; ++p, ++length) code = (code << 1) | (*p == '1' ? 1u : 0u);
    if (!black) {
        const uint32_t at12 = code << (12 - length);
        if ((at12 >> 5) == 0) Place(t.whiteLong, 32, 12, code, length, c.value, t.ok);
        else Place(t.whiteShort, 512, 9, code, length, c.value, t.ok);
    } else {
        const uint32_t at13 = code << (13 - length);
        if ((at13 >> 7) == 0) Place(t.blackLong, 128, 13, code, length, c.value, t.ok);
        else if ((at13 >> 9) == 0) Place(t.blackMid, 256, 12, code, length, c.value, t.ok);
        else Place(t.blackShort, 64, 6, code, length, c.value, t.ok);
    }
}

constexpr Tables MakeTables() {
    Tables t;
    for (const auto& c : kModeCodes) {
        uint32_t code = 0, length = 0;
        for (const char* p = c.bits; *p; ++p, ++length) code = (code << 1) | (*p == '1' ? 1u : 0u);
        Place(t.modes, 128, 7, code, length, c.value, t.ok);
    }
    for (const auto& c : kWhiteCodes) PlaceRun(t, c, false);
    for (const auto& c : kBlackCodes) PlaceRun(t, c, true);
    for (const auto& c : kSharedCodes) {
        PlaceRun(t, c, false);
        PlaceRun(t, c, true);
    }
    return t;
}

constexpr Tables kTables = MakeTables();
static_assert(kTables.ok, "the fax code tables hold overlapping codes");

inline uint64_t LoadBigEndian64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
    return v;
}

// Sets the bits of pixels [start, end) of a packed row.
inline void SetBits(uint8_t* row, uint32_t start, uint32_t end) {
    const uint32_t first = start >> 3, last = end >> 3;
    const auto headMask = static_cast<uint8_t>(0xFFu >> (start & 7));
    const auto tailMask = static_cast<uint8_t>(~(0xFFu >> (end & 7)));
    if (first == last) {
        row[first] = static_cast<uint8_t>(row[first] | (headMask & tailMask));
        return;
    }
    row[first] = static_cast<uint8_t>(row[first] | headMask);
    const uint32_t middle = last - first - 1;
    if (middle > 0) {
        if (middle <= 8) {
            for (uint32_t i = first + 1; i < last; ++i) row[i] = 0xFF;
        } else {
            std::memset(row + first + 1, 0xFF, middle);
        }
    }
    if (end & 7) row[last] = static_cast<uint8_t>(row[last] | tailMask);
}

}  // namespace

TqzCCITTDecode::TqzCCITTDecode(core::TqzStream* stream, int32_t k, bool endOfLine,
                               bool encodedByteAlign, int32_t columns, int32_t rows,
                               bool endOfBlock, bool blackIs1)
    : FInput(stream),
      FEncoding(k),
      FEndOfLine(endOfLine),
      FByteAlign(encodedByteAlign),
      FColumns(columns < 1 ? 1 : columns),
      FRows(rows < 0 ? 0 : rows),
      FEndOfBlock(endOfBlock),
      FBlack(blackIs1) {}

void TqzCCITTDecode::Reset() {
    FStarted = true;
    FEof = true;
    FRowPos = FRowLength = 0;
    ResetCount();
    // Refused before anything is allocated or read.
    if (FColumns > kMaxCCITTColumns) throw ExCCITTColumns();
    FInput.Restart();
    if (!FCodingLine) {
        // Room for a change at every pixel, a black first run, a repeated
        // last entry and the sentinels the reference line ends with.
        const int64_t entries = int64_t{FColumns} + 8;
        if (entries * 2 * int64_t{sizeof(int32_t)} > core::kMaxFileDrivenAllocation)
            throw ExCCITTColumns();
        try {
            // Every entry is written before it is read.
            FCodingLine = std::make_unique_for_overwrite<int32_t[]>(static_cast<size_t>(entries));
            FRefLine = std::make_unique_for_overwrite<int32_t[]>(static_cast<size_t>(entries));
            FRowSize = (static_cast<uint32_t>(FColumns) + 7) / 8;
            FRowBytes = std::make_unique_for_overwrite<uint8_t[]>(FRowSize);
        } catch (const std::bad_alloc&) {
            FCodingLine.reset();
            throw core::streams::ExOutofMemory();
        }
    }
    FEof = false;
    FRow = 0;
    FNextLine2D = FEncoding < 0;
    FInputBuf = 0;
    FInputBits = 0;
    FInputEnded = false;
    FCodingLine[0] = 0;
    FCodingLine[1] = FColumns;
    FCodingCount = 1;
    if (SkipFillToEndOfLine()) EatBits(12);
    if (FEncoding > 0 && EnsureBits()) {
        FNextLine2D = PeekBits(1) == 0;
        EatBits(1);
    }
}

void TqzCCITTDecode::Refill() {
    while (FInputBits <= 56) {
        if (FInput.Available() >= 8) {
            // Whole bytes that fit go in; the bits of the next byte that
            // also land below them are its own, so adding it later again
            // changes nothing.
            const uint64_t v = LoadBigEndian64(FInput.Data());
            const uint32_t take = (64 - FInputBits) >> 3;
            FInputBuf |= v >> FInputBits;
            FInputBits += take * 8;
            FInput.Consume(take);
            return;
        }
        const int c = FInput.Next();
        if (c < 0) {
            FInputEnded = true;
            return;
        }
        FInputBuf |= uint64_t{static_cast<uint8_t>(c)} << (56 - FInputBits);
        FInputBits += 8;
    }
}

bool TqzCCITTDecode::SkipFillToEndOfLine() {
    for (;;) {
        if (!EnsureBits()) return false;
        const uint32_t next = PeekBits(12);
        if (next == 1) return true;
        if (next != 0) return false;
        // Keep 11 of the zeros: they may start an end-of-line code.
        const auto zeros = static_cast<uint32_t>(std::countl_zero(FInputBuf));
        EatBits(std::min(zeros - 11, FInputBits));
    }
}

inline int32_t TqzCCITTDecode::ReadRun(bool black) {
    int32_t run = 0;
    for (;;) {
        if (!EnsureBits()) return kRunEnd;
        CodeEntry e;
        if (!black) {
            const uint32_t bits = PeekBits(12);
            e = (bits >> 5) == 0 ? kTables.whiteLong[bits] : kTables.whiteShort[bits >> 3];
        } else {
            const uint32_t bits = PeekBits(13);
            e = (bits >> 7) == 0   ? kTables.blackLong[bits]
                : (bits >> 9) == 0 ? kTables.blackMid[bits >> 1]
                                   : kTables.blackShort[bits >> 7];
        }
        if (e.bits == 0) {
            if (PeekBits(12) == 0) {
                // Fill before an end-of-line code, or nothing but the zero
                // padding of the last byte.
                return FInputEnded && FInputBuf == 0 ? kRunEnd : kRunEndOfLine;
            }
            // No code: take one bit as a run of one, so decoding advances.
            EatBits(1);
            return std::min(run + 1, FColumns);
        }
        if (e.value == kEndOfLine) return kRunEndOfLine;
        EatBits(e.bits);
        // Runs past the row are cut at its end; capping here also keeps
        // endless make-up codes from overflowing the sum.
        run = std::min(run + e.value, FColumns);
        if (e.value < 64) return run;
    }
}

bool TqzCCITTDecode::DecodeRow1D() {
    int32_t* coding = FCodingLine.get();
    const int32_t columns = FColumns;
    int32_t a0 = 0;
    int32_t index = 0;
    coding[0] = 0;
    bool erroneous = false;
    for (;;) {
        // Zero-length runs add entries without advancing: a row that would
        // outgrow the line is cut.
        if (index > columns) {
            erroneous = true;
            break;
        }
        const int32_t run = ReadRun((index & 1) != 0);
        if (run == kRunEnd) return false;
        if (run == kRunEndOfLine) {
            erroneous = true;
            break;
        }
        // A run past the row's end means damaged data: cut, and marked so
        // that the decoder can resynchronise.
        if (a0 + run > columns) erroneous = true;
        a0 = std::min(a0 + run, columns);
        coding[++index] = a0;
        if (a0 >= columns) break;
    }
    if (coding[index] < columns) coding[++index] = columns;
    FCodingCount = index;
    EndRow(erroneous);
    return true;
}

bool TqzCCITTDecode::DecodeRow2D() {
    int32_t* coding = FCodingLine.get();
    int32_t* ref = FRefLine.get();
    const int32_t columns = FColumns;
    const int32_t n = FCodingCount;
    std::memcpy(ref, coding, static_cast<size_t>(n + 1) * sizeof(int32_t));
    ref[n + 1] = columns;
    ref[n + 2] = columns;
    int32_t b1 = 1;
    int32_t index = 0;
    int32_t a0 = 0;
    coding[0] = 0;
    bool erroneous = false;
    bool cut = false;  // an end-of-line code inside the row
    while (coding[index] < columns) {
        if (index > columns) {
            erroneous = true;
            break;
        }
        if (!EnsureBits()) return false;
        const CodeEntry e = kTables.modes[PeekBits(7)];
        if (e.bits == 0) {
            // Where end-of-line codes belong to the data, one inside a row
            // cuts the row; otherwise the data ends here.
            if (FEncoding >= 0 && PeekBits(12) <= 1 && !(FInputEnded && FInputBuf == 0)) {
                erroneous = true;
                break;
            }
            return false;
        }
        EatBits(e.bits);
        int32_t d = 0;
        switch (e.value) {
            case kPass:
                if (ref[b1] < columns) {
                    a0 = ref[b1 + 1];
                    b1 += 2;
                }
                continue;
            case kHorizontal: {
                const bool black = (index & 1) != 0;
                const int32_t first = ReadRun(black);
                if (first == kRunEnd) return false;
                const int32_t second = first == kRunEndOfLine ? first : ReadRun(!black);
                if (second == kRunEnd) return false;
                if (second == kRunEndOfLine) {
                    cut = true;
                    break;
                }
                if (first <= 0 && second <= 0) continue;
                if (a0 + first + second > columns) erroneous = true;
                const int32_t a1 = std::min(a0 + first, columns);
                coding[++index] = a1;
                a0 = std::min(a1 + second, columns);
                coding[++index] = a0;
                while (ref[b1] <= a0 && ref[b1] < columns) b1 += 2;
                continue;
            }
            case kVertical0: d = 0; break;
            case kVerticalRight1: d = 1; break;
            case kVerticalRight2: d = 2; break;
            case kVerticalRight3: d = 3; break;
            case kVerticalLeft1: d = -1; break;
            case kVerticalLeft2: d = -2; break;
            default: d = -3; break;
        }
        if (cut) break;
        const int32_t a1 = ref[b1] + d;
        if (d >= 0) {
            if (a1 >= columns) {
                coding[++index] = columns;
                break;
            }
            ++b1;
        } else {
            // A change left of a0 cannot be; the code is passed over. At
            // the row's start a change at 0 makes the row begin black.
            if (!(a1 > a0 || (a1 == 0 && index == 0 && a0 == 0))) continue;
            if (b1 > 0) --b1;
        }
        a0 = a1;
        coding[++index] = a0;
        while (ref[b1] <= a0 && ref[b1] < columns) b1 += 2;
    }
    if (cut) erroneous = true;
    if (coding[index] < columns) coding[++index] = columns;
    FCodingCount = index;
    EndRow(erroneous);
    return true;
}

void TqzCCITTDecode::EndRow(bool erroneous) {
    if (FByteAlign) {
        // Fill bits stand before an end-of-line code, so that the code ends
        // on a byte boundary; without one the next row starts on it.
        if (!(FEndOfLine && SkipFillToEndOfLine())) EatBits(FInputBits & 7);
    }
    // A stream gives no more rows than it says it has.
    if (FRows > 0 && FRow + 1 >= FRows) {
        FEof = true;
        return;
    }
    bool gotEndOfLine = false;
    if (SkipFillToEndOfLine()) {
        EatBits(12);
        gotEndOfLine = true;
    } else if (!EnsureBits()) {
        FEof = true;
        return;
    }
    if (FEncoding > 0) {
        if (!EnsureBits()) {
            FEof = true;
            return;
        }
        FNextLine2D = PeekBits(1) == 0;
        EatBits(1);
    }
    if (FEndOfBlock && gotEndOfLine && EnsureBits() && PeekBits(12) == 1) {
        // The end-of-block pattern: two end-of-line codes for K < 0, six
        // (each with its tag bit for K > 0) otherwise.
        EatBits(12);
        if (FEncoding > 0) EatBits(1);
        if (FEncoding >= 0) {
            for (int i = 0; i < 4; ++i) {
                EnsureBits();
                EatBits(FEncoding > 0 ? 13 : 12);
            }
        }
        FEof = true;
        return;
    }
    if (erroneous && FEndOfLine && !gotEndOfLine) {
        // Resynchronise on the next end-of-line code.
        for (;;) {
            if (!EnsureBits()) {
                FEof = true;
                return;
            }
            if (PeekBits(12) == 1) break;
            EatBits(1);
        }
        EatBits(12);
        if (FEncoding > 0 && EnsureBits()) {
            FNextLine2D = PeekBits(1) == 0;
            EatBits(1);
        }
    }
}

void TqzCCITTDecode::RenderRow() {
    uint8_t* row = FRowBytes.get();
    std::memset(row, 0, FRowSize);
    const int32_t* coding = FCodingLine.get();
    const int32_t last = FCodingCount;
    // White runs (even indexes) are 1 bits; black runs and the padding 0.
    for (int32_t i = 0; i + 1 <= last; i += 2) {
        const int32_t start = coding[i], end = coding[i + 1];
        if (end > start) SetBits(row, static_cast<uint32_t>(start), static_cast<uint32_t>(end));
    }
    if (FBlack) {
        for (uint32_t i = 0; i < FRowSize; ++i) row[i] = static_cast<uint8_t>(~row[i]);
    }
}

bool TqzCCITTDecode::NextRow() {
    CheckLimit();
    if (FEof) return false;
    const bool decoded = FNextLine2D ? DecodeRow2D() : DecodeRow1D();
    if (!decoded) {
        // The data ended inside a row: the rows before it stand, this one
        // is dropped.
        FEof = true;
    }
    if (FEof) FInput.Release();
    if (!decoded) return false;
    Charge(FRowSize);
    RenderRow();
    FRowPos = 0;
    FRowLength = FRowSize;
    ++FRow;
    return true;
}

int TqzCCITTDecode::SlowChar(bool consume) {
    if (!FStarted) Reset();
    while (FRowPos >= FRowLength)
        if (!NextRow()) return -1;
    return consume ? FRowBytes[FRowPos++] : FRowBytes[FRowPos];
}

int32_t TqzCCITTDecode::Read(uint8_t* buffer, uint32_t count) {
    if (!FStarted) Reset();
    return ReadWindows(buffer, count, FRowPos, FRowLength, [this] { return FRowBytes.get(); }, [this] { return NextRow(); });
}

}  // namespace qz::filters
