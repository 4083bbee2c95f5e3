#include "filters/jbig2/MMRDecompressor.h"

#include <algorithm>
#include <exception>

#include "filters/jbig2/Common.h"
#include "filters/jbig2/Limits.h"

namespace qz::filters::jbig2 {

namespace {

struct Triple {
    int32_t bits;
    int32_t code;
    int32_t run;
};

// Mode codes.
constexpr Triple kModeCodes[] = {
    {4, 0x1, TqzMMRDecompressor::kPass},   {3, 0x1, TqzMMRDecompressor::kHorizontal},
    {1, 0x1, TqzMMRDecompressor::kV0},     {3, 0x3, TqzMMRDecompressor::kVR1},
    {6, 0x3, TqzMMRDecompressor::kVR2},    {7, 0x3, TqzMMRDecompressor::kVR3},
    {3, 0x2, TqzMMRDecompressor::kVL1},    {6, 0x2, TqzMMRDecompressor::kVL2},
    {7, 0x2, TqzMMRDecompressor::kVL3},    {10, 0xF, TqzMMRDecompressor::kExt2D},
    {12, 0xF, TqzMMRDecompressor::kExt1D}, {12, 0x1, TqzMMRDecompressor::kEOL},
};

// Run codes shared by both colours: the long make-up codes, and the parts
// of an end of line (-2), end of data (-3) and end of line (-1).
constexpr Triple kCommonCodes[] = {
    {11, 0x08, 1792}, {11, 0x0C, 1856}, {11, 0x0D, 1920}, {12, 0x12, 1984}, {12, 0x13, 2048},
    {12, 0x14, 2112}, {12, 0x15, 2176}, {12, 0x16, 2240}, {12, 0x17, 2304}, {12, 0x1C, 2368},
    {12, 0x1D, 2432}, {12, 0x1E, 2496}, {12, 0x1F, 2560}, {9, 0x1, -2},     {10, 0x1, -2},
    {11, 0x1, -2},    {12, 0x0, -3},    {12, 0x1, -1},
};

constexpr Triple kWhiteCodes[] = {
    {8, 0x35, 0},    {6, 0x7, 1},     {4, 0x7, 2},     {4, 0x8, 3},     {4, 0xB, 4},     {4, 0xC, 5},
    {4, 0xE, 6},     {4, 0xF, 7},     {5, 0x13, 8},    {5, 0x14, 9},    {5, 0x7, 10},    {5, 0x8, 11},
    {6, 0x8, 12},    {6, 0x3, 13},    {6, 0x34, 14},   {6, 0x35, 15},   {6, 0x2A, 16},   {6, 0x2B, 17},
    {7, 0x27, 18},   {7, 0xC, 19},    {7, 0x8, 20},    {7, 0x17, 21},   {7, 0x3, 22},    {7, 0x4, 23},
    {7, 0x28, 24},   {7, 0x2B, 25},   {7, 0x13, 26},   {7, 0x24, 27},   {7, 0x18, 28},   {8, 0x2, 29},
    {8, 0x3, 30},    {8, 0x1A, 31},   {8, 0x1B, 32},   {8, 0x12, 33},   {8, 0x13, 34},   {8, 0x14, 35},
    {8, 0x15, 36},   {8, 0x16, 37},   {8, 0x17, 38},   {8, 0x28, 39},   {8, 0x29, 40},   {8, 0x2A, 41},
    {8, 0x2B, 42},   {8, 0x2C, 43},   {8, 0x2D, 44},   {8, 0x4, 45},    {8, 0x5, 46},    {8, 0xA, 47},
    {8, 0xB, 48},    {8, 0x52, 49},   {8, 0x53, 50},   {8, 0x54, 51},   {8, 0x55, 52},   {8, 0x24, 53},
    {8, 0x25, 54},   {8, 0x58, 55},   {8, 0x59, 56},   {8, 0x5A, 57},   {8, 0x5B, 58},   {8, 0x4A, 59},
    {8, 0x4B, 60},   {8, 0x32, 61},   {8, 0x33, 62},   {8, 0x34, 63},   {5, 0x1B, 64},   {5, 0x12, 128},
    {6, 0x17, 192},  {7, 0x37, 256},  {8, 0x36, 320},  {8, 0x37, 384},  {8, 0x64, 448},  {8, 0x65, 512},
    {8, 0x68, 576},  {8, 0x67, 640},  {9, 0xCC, 704},  {9, 0xCD, 768},  {9, 0xD2, 832},  {9, 0xD3, 896},
    {9, 0xD4, 960},  {9, 0xD5, 1024}, {9, 0xD6, 1088}, {9, 0xD7, 1152}, {9, 0xD8, 1216}, {9, 0xD9, 1280},
    {9, 0xDA, 1344}, {9, 0xDB, 1408}, {9, 0x98, 1472}, {9, 0x99, 1536}, {9, 0x9A, 1600}, {6, 0x18, 1664},
    {9, 0x9B, 1728},
};

constexpr Triple kBlackCodes[] = {
    {10, 0x37, 0},   {3, 0x2, 1},     {2, 0x3, 2},     {2, 0x2, 3},     {3, 0x3, 4},     {4, 0x3, 5},
    {4, 0x2, 6},     {5, 0x3, 7},     {6, 0x5, 8},     {6, 0x4, 9},     {7, 0x4, 10},    {7, 0x5, 11},
    {7, 0x7, 12},    {8, 0x4, 13},    {8, 0x7, 14},    {9, 0x18, 15},   {10, 0x17, 16},  {10, 0x18, 17},
    {10, 0x8, 18},   {11, 0x67, 19},  {11, 0x68, 20},  {11, 0x6C, 21},  {11, 0x37, 22},  {11, 0x28, 23},
    {11, 0x17, 24},  {11, 0x18, 25},  {12, 0xCA, 26},  {12, 0xCB, 27},  {12, 0xCC, 28},  {12, 0xCD, 29},
    {12, 0x68, 30},  {12, 0x69, 31},  {12, 0x6A, 32},  {12, 0x6B, 33},  {12, 0xD2, 34},  {12, 0xD3, 35},
    {12, 0xD4, 36},  {12, 0xD5, 37},  {12, 0xD6, 38},  {12, 0xD7, 39},  {12, 0x6C, 40},  {12, 0x6D, 41},
    {12, 0xDA, 42},  {12, 0xDB, 43},  {12, 0x54, 44},  {12, 0x55, 45},  {12, 0x56, 46},  {12, 0x57, 47},
    {12, 0x64, 48},  {12, 0x65, 49},  {12, 0x52, 50},  {12, 0x53, 51},  {12, 0x24, 52},  {12, 0x37, 53},
    {12, 0x38, 54},  {12, 0x27, 55},  {12, 0x28, 56},  {12, 0x58, 57},  {12, 0x59, 58},  {12, 0x2B, 59},
    {12, 0x2C, 60},  {12, 0x5A, 61},  {12, 0x66, 62},  {12, 0x67, 63},  {10, 0xF, 64},   {12, 0xC8, 128},
    {12, 0xC9, 192}, {12, 0x5B, 256}, {12, 0x33, 320}, {12, 0x34, 384}, {12, 0x35, 448}, {13, 0x6C, 512},
    {13, 0x6D, 576}, {13, 0x4A, 640}, {13, 0x4B, 704}, {13, 0x4C, 768}, {13, 0x4D, 832}, {13, 0x72, 896},
    {13, 0x73, 960}, {13, 0x74, 1024}, {13, 0x75, 1088}, {13, 0x76, 1152}, {13, 0x77, 1216},
    {13, 0x52, 1280}, {13, 0x53, 1344}, {13, 0x54, 1408}, {13, 0x55, 1472}, {13, 0x5A, 1536},
    {13, 0x5B, 1600}, {13, 0x64, 1664}, {13, 0x65, 1728},
};

void Place(TqzCodeiTable& table, const Triple& t) {
    auto fill = [&](TqzCodei& e) {
        e.FbitLength = t.bits;
        e.FcodeWord = t.code;
        e.FrunLength = t.run;
    };
    if (t.bits <= 8) {
        const int32_t span = 1 << (8 - t.bits);
        for (int32_t i = 0; i < span; ++i) fill(table[static_cast<size_t>((t.code << (8 - t.bits)) + i)]);
    } else if (t.bits <= 13) {
        TqzCodei& first = table[static_cast<size_t>(t.code >> (t.bits - 8))];
        if (!first.FsubTable) first.FsubTable = std::make_unique<std::array<TqzCodei, 32>>();
        const int32_t span = 1 << (13 - t.bits);
        const int32_t start = (t.code << (13 - t.bits)) & 31;
        for (int32_t i = 0; i < span; ++i) fill((*first.FsubTable)[static_cast<size_t>(start + i)]);
    } else {
        throw TqzJBIG2Error(kMMRCodeTableOverflow);
    }
}

struct Tables {
    TqzCodeiTable white, black, mode;
    Tables() {
        for (const auto& t : kModeCodes) Place(mode, t);
        for (const auto& t : kWhiteCodes) Place(white, t);
        for (const auto& t : kBlackCodes) Place(black, t);
        for (const auto& t : kCommonCodes) {
            Place(white, t);
            Place(black, t);
        }
    }
};

const Tables& LookupTables() {
    static const Tables tables;
    return tables;
}

// A row whose changing elements would overrun their arrays is corrupt.
struct RowOverrun : std::exception {};

}  // namespace

std::string TqzCodei::ToString() const {
    return std::to_string(FbitLength) + "/" + std::to_string(FcodeWord) + "/" + std::to_string(FrunLength);
}

TqzMMRDecompressor::TqzMMRDecompressor(int32_t Awidth, int32_t Aheight, const TqzIOStream& Astream)
    : Fwidth(Awidth), Fheight(Aheight), FData(Astream.GetData()) {
    if (Awidth < 0 || Aheight < 0 || Awidth > kMaxBitmapDimension || int64_t{Awidth} * Aheight > kMaxBitmapPixels) {
        throw TqzJBIG2Error(kBitmapTooLarge);
    }
    FBytes = Astream.Bytes(0);
    FLength = FBytes != nullptr ? Astream.BytesAvailable(0) : 0;
    FDataBits = FLength * 8;
    // Terminators behind at most width + 1 changing elements.
    FreferenceOffsets.assign(static_cast<size_t>(Awidth) + 8, 0);
    FrunOffsets.assign(static_cast<size_t>(Awidth) + 8, 0);
    LookupTables();
}

uint32_t TqzMMRDecompressor::CodeWindow() const {
    // 24 bits from FOffset on, most significant first; past the data 0.
    const int64_t byte = FOffset >> 3;
    uint32_t v = 0;
    for (int64_t i = 0; i < 4; ++i) {
        v <<= 8;
        if (byte + i < FLength) v |= FBytes[byte + i];
    }
    return (v << (FOffset & 7)) >> 8;
}

const TqzCodei* TqzMMRDecompressor::UncompressGetCode(const TqzCodeiTable& ATable) const {
    const uint32_t w = CodeWindow();
    const TqzCodei& e = ATable[w >> 16];
    if (e.FsubTable) {
        const TqzCodei& s = (*e.FsubTable)[(w >> 11) & 31];
        return s.Empty() ? nullptr : &s;
    }
    return e.Empty() ? nullptr : &e;
}

int64_t TqzMMRDecompressor::Ref(int64_t k) const {
    // Past the terminators every element lies beyond the row.
    return k >= 0 && k < static_cast<int64_t>(FreferenceOffsets.size()) ? FreferenceOffsets[static_cast<size_t>(k)]
                                                                          : int64_t{Fwidth} + 1;
}

TqzBitmapPtr TqzMMRDecompressor::Uncompress() {
    auto bitmap = std::make_shared<TqzImageBitmap>(Fwidth, Fheight);
    if (Fwidth == 0) return bitmap;  // no pixels, however many rows
    FreferenceOffsets[0] = Fwidth;
    int32_t refCount = 1;
    for (int32_t y = 0; y < Fheight; ++y) {
        // Once the data has run out no code can follow: the remaining rows
        // stay 0 instead of skipping zero bits for ever.
        if (Exhausted()) break;
        const int32_t count = Uncompress2D(refCount);
        if (count > 0) FillBitmap(*bitmap, y, count);
        std::swap(FreferenceOffsets, FrunOffsets);
        refCount = count;
        FLastCount = count;
    }
    DetectAndSkipEOL();
    return bitmap;
}

std::vector<int32_t> TqzMMRDecompressor::LastChangingElements() const {
    // After a row the arrays have swapped: the row's elements are the
    // reference now.
    std::vector<int32_t> out;
    for (int32_t i = 0; i < FLastCount; ++i) out.push_back(static_cast<int32_t>(FreferenceOffsets[static_cast<size_t>(i)]));
    return out;
}

int32_t TqzMMRDecompressor::Uncompress2D(int32_t ArefRunLength) {
    bool whiteRun = true;
    const TqzCodei* code = nullptr;
    int64_t refOff = 0;
    int32_t curOff = 0;
    int64_t bitPos = 0;
    try {
        return Uncompress2DRow(ArefRunLength, whiteRun, code, refOff, curOff, bitPos);
    } catch (const std::exception&) {
        const std::string nl = "\n";
        throw TqzJBIG2Error("whiterun         =" + std::string(whiteRun ? "True" : "False") + nl +
                            "code             =" + (code != nullptr ? code->ToString() : std::string()) + nl +
                            "refOffset        =" + std::to_string(refOff) + nl +
                            "curOffset        =" + std::to_string(curOff) + nl +
                            "bitPos           =" + std::to_string(bitPos) + nl +
                            "Arundata.Foffset =" + std::to_string(FOffset) + nl + "byte =" +
                            std::to_string(FOffset / 8) + ",bit =" + std::to_string(FOffset % 8) + ")");
    }
}

int32_t TqzMMRDecompressor::Uncompress2DRow(int32_t ArefRunLength, bool& whiteRun, const TqzCodei*& code,
                                            int64_t& refOff, int32_t& curOff, int64_t& bitPos) {
    const auto& tables = LookupTables();
    const int64_t width = Fwidth;
    std::vector<int64_t>& ref = FreferenceOffsets;
    std::vector<int64_t>& cur = FrunOffsets;
    const auto n = static_cast<size_t>(std::max(ArefRunLength, 0));
    ref[n] = ref[n + 1] = width;
    ref[n + 2] = ref[n + 3] = width + 1;
    auto put = [&](int64_t value) {
        if (curOff > Fwidth + 1) throw RowOverrun();
        cur[static_cast<size_t>(curOff++)] = value;
    };
    auto advanceRef = [&] {
        while (bitPos < width && Ref(refOff) <= bitPos) refOff += 2;
    };
    while (bitPos < width) {
        if (Exhausted()) break;
        code = UncompressGetCode(tables.mode);
        if (code == nullptr) {
            ++FOffset;  // a bit pattern of no mode code: skip one bit
            continue;
        }
        FOffset += code->FbitLength;
        int64_t delta = 0;
        switch (code->FrunLength) {
            case kPass:
                bitPos = Ref(refOff + 1);
                refOff += 2;
                continue;
            case kHorizontal: {
                bool ended = false;
                for (int half = 0; half < 2 && !ended; ++half) {
                    const bool white = (half == 0) == whiteRun;
                    const int64_t firstHalf = bitPos;
                    for (;;) {
                        code = UncompressGetCode(white ? tables.white : tables.black);
                        if (code == nullptr) {
                            ended = true;
                            break;
                        }
                        FOffset += code->FbitLength;
                        if (code->FrunLength < 64) {
                            if (code->FrunLength < 0) {
                                put(bitPos);
                                if (half == 0) code = nullptr;
                                ended = true;
                                break;
                            }
                            bitPos += code->FrunLength;
                            // A second run of 0 at the row's end is not an element.
                            if (half == 0 || bitPos < width || bitPos != firstHalf) put(bitPos);
                            break;
                        }
                        bitPos += code->FrunLength;
                    }
                }
                if (!ended) advanceRef();
                continue;
            }
            case kV0: delta = 0; break;
            case kVR1: delta = 1; break;
            case kVR2: delta = 2; break;
            case kVR3: delta = 3; break;
            case kVL1: delta = -1; break;
            case kVL2: delta = -2; break;
            case kVL3: delta = -3; break;
            default:
                // End of line or an extension code.
                if (FOffset == 12 && code->FrunLength == kEOL) {
                    FOffset = 0;
                    Uncompress1D(ref);
                    ++FOffset;
                    Uncompress1D(cur);
                    const int32_t ret = Uncompress1D(ref);
                    ++FOffset;
                    return ret;
                }
                bitPos = width;
                continue;
        }
        bitPos = Ref(refOff) + delta;
        if (bitPos <= width) {
            whiteRun = !whiteRun;
            put(bitPos);
            if (refOff > 0) --refOff;
            else ++refOff;
            advanceRef();
        }
    }
    if (cur[static_cast<size_t>(curOff)] != width) cur[static_cast<size_t>(curOff)] = width;
    return code == nullptr ? kEOL : curOff;
}

int32_t TqzMMRDecompressor::Uncompress1D(std::vector<int64_t>& target) {
    const auto& tables = LookupTables();
    const int64_t width = Fwidth;
    // Works on a copy that is copied back, as a row may end half-written.
    std::vector<int64_t> work = target;
    bool white = true;
    int32_t i = 0;
    int64_t sum = 0;
    const TqzCodei* code = nullptr;
    while (sum < width) {
        code = UncompressGetCode(white ? tables.white : tables.black);
        if (code == nullptr) break;
        FOffset += code->FbitLength;
        if (code->FrunLength < 0) break;
        sum += code->FrunLength;
        if (code->FrunLength >= 64) continue;
        if (i > Fwidth + 1) throw TqzJBIG2Error("MMR row has more changing elements than pixels");
        work[static_cast<size_t>(i++)] = sum;
        if (sum >= width) break;
        white = !white;
    }
    if (work[static_cast<size_t>(i)] != width) work[static_cast<size_t>(i)] = width;
    target = std::move(work);
    return (code == nullptr || code->FrunLength == -1) ? kEOL : i;
}

void TqzMMRDecompressor::FillBitmap(TqzImageBitmap& bitmap, int32_t Aline, int32_t count) const {
    uint8_t* row = bitmap.Row(Aline);
    int64_t x = 0;
    for (int32_t k = 0; k < count && x < Fwidth; ++k) {
        const int64_t end = std::min<int64_t>(FrunOffsets[static_cast<size_t>(k)], Fwidth);
        if (end <= x) continue;
        if (k & 1) {
            // Black run [x, end): whole bytes at once.
            int64_t p = x;
            while (p < end && (p & 7) != 0) {
                row[p >> 3] = static_cast<uint8_t>(row[p >> 3] | (0x80u >> (p & 7)));
                ++p;
            }
            while (p + 8 <= end) {
                row[p >> 3] = 0xFF;
                p += 8;
            }
            while (p < end) {
                row[p >> 3] = static_cast<uint8_t>(row[p >> 3] | (0x80u >> (p & 7)));
                ++p;
            }
        }
        x = end;
    }
}

void TqzMMRDecompressor::DetectAndSkipEOL() {
    const auto& tables = LookupTables();
    for (;;) {
        const TqzCodei* code = UncompressGetCode(tables.mode);
        if (code == nullptr || code->FrunLength != kEOL) return;
        FOffset += code->FbitLength;
    }
}

}  // namespace qz::filters::jbig2
