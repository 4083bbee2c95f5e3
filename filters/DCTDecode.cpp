#include "filters/DCTDecode.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace qz::filters {

namespace {

// The transform's intermediates are 16-bit values: the low 16 bits of each
// 32-bit result, whatever it was (a modular conversion since C++20).
inline int32_t W16(int32_t x) { return static_cast<int16_t>(x); }

// The transform's results are 16-bit, so its samples ((x + 8) >> 4) + 128
// lie in -1920..2175: one table covers them all without a range check.
struct SampleTable {
    static constexpr int32_t kOffset = 2048;
    uint8_t entries[2 * kOffset + 256] = {};
    constexpr SampleTable() {
        for (int32_t i = 0; i < 2 * kOffset + 256; ++i) entries[i] = static_cast<uint8_t>(std::clamp(i - kOffset, 0, 255));
    }
};
constexpr SampleTable kSample;

// The sample of a transform result.
inline uint8_t Sample(int32_t x) { return kSample.entries[SampleTable::kOffset + ((x + 8) >> 4) + 128]; }


// Whether a block has no AC coefficient: it transforms to one flat value.
inline bool DCOnly(const int16_t* coef) {
    uint64_t words[16];
    std::memcpy(words, coef, sizeof words);
    uint64_t any = words[0] & ~uint64_t{0xFFFF};
    for (int32_t i = 1; i < 16; ++i) any |= words[i];
    return any == 0;
}

// What the transform makes of a block with only a DC coefficient: rows 1 to
// 7 and the columns' AC entries stay 0, so both passes take their shortcut.
inline uint8_t DCSample(int16_t dc, uint16_t quant) {
    const int32_t p0 = W16(dc * quant);
    const int32_t t = W16((dctSqrt2 * p0 + 512) >> 10);
    return Sample(W16((dctSqrt2 * t + 8192) >> 14));
}

// One pass of the transform over eight lines at once: in[8 * k + l] is entry
// k of line l, and so is out[8 * k + l]. Rows (first pass) and columns differ
// in their rounding and scaling. Written lane by lane, without branches, so
// that the compiler can run the eight lines side by side.
template <bool Rows>
[[gnu::always_inline]] inline void TransformPass(const int32_t* in, int32_t* out) {
    constexpr int32_t round = Rows ? 128 : 2048;
    constexpr int32_t shift = Rows ? 8 : 12;
    for (int32_t l = 0; l < 8; ++l) {
        const int32_t p0 = in[l], p1 = in[8 + l], p2 = in[16 + l], p3 = in[24 + l];
        const int32_t p4 = in[32 + l], p5 = in[40 + l], p6 = in[48 + l], p7 = in[56 + l];
        // A line whose entries 1 to 7 are 0 takes a shortcut of its own
        // rounding.
        const bool flat = (p1 | p2 | p3 | p4 | p5 | p6 | p7) == 0;
        const int32_t dc = Rows ? W16((dctSqrt2 * p0 + 512) >> 10) : W16((dctSqrt2 * p0 + 8192) >> 14);
        int32_t s0 = W16((dctSqrt2 * p0 + round) >> shift);
        int32_t s1 = W16((dctSqrt2 * p4 + round) >> shift);
        int32_t s2 = p2;
        int32_t s3 = p6;
        int32_t s4 = W16((dctSqrt1d2 * (p1 - p7) + round) >> shift);
        int32_t s7 = W16((dctSqrt1d2 * (p1 + p7) + round) >> shift);
        int32_t s5 = Rows ? W16(p3 * 16) : p3;
        int32_t s6 = Rows ? W16(p5 * 16) : p5;
        int32_t t = W16((s0 + s1 + 1) >> 1);
        s1 = W16((s0 - s1 + 1) >> 1);
        s0 = t;
        t = W16((s2 * dctCos6 - s3 * dctSin6 + round) >> shift);
        s3 = W16((s2 * dctSin6 + s3 * dctCos6 + round) >> shift);
        s2 = t;
        t = W16((s4 + s6 + 1) >> 1);
        s6 = W16((s4 - s6 + 1) >> 1);
        s4 = t;
        t = W16((s7 + s5 + 1) >> 1);
        s5 = W16((s7 - s5 + 1) >> 1);
        s7 = t;
        t = W16((s0 + s3 + 1) >> 1);
        s3 = W16((s0 - s3 + 1) >> 1);
        s0 = t;
        t = W16((s1 + s2 + 1) >> 1);
        s2 = W16((s1 - s2 + 1) >> 1);
        s1 = t;
        t = W16((s4 * dctCos3 - s7 * dctSin3 + 2048) >> 12);
        s7 = W16((s4 * dctSin3 + s7 * dctCos3 + 2048) >> 12);
        s4 = t;
        t = W16((s5 * dctCos1 - s6 * dctSin1 + 2048) >> 12);
        s6 = W16((s5 * dctSin1 + s6 * dctCos1 + 2048) >> 12);
        s5 = t;
        out[l] = flat ? dc : W16(s0 + s7);
        out[56 + l] = flat ? dc : W16(s0 - s7);
        out[8 + l] = flat ? dc : W16(s1 + s6);
        out[48 + l] = flat ? dc : W16(s1 - s6);
        out[16 + l] = flat ? dc : W16(s2 + s5);
        out[40 + l] = flat ? dc : W16(s2 - s5);
        out[24 + l] = flat ? dc : W16(s3 + s4);
        out[32 + l] = flat ? dc : W16(s3 - s4);
    }
}

// The inverse DCT of one block of coefficients (row-major) into 8 x 8
// samples: dequantised, rows, then columns, every intermediate 16-bit.
#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target_clones("avx2", "default")))
#endif
void InverseDCT(const int16_t* coef, const uint16_t* quant, uint8_t* out) {
    int32_t a[64], b[64];
    for (int32_t i = 0; i < 64; ++i) b[i] = W16(coef[i] * quant[i]);
    // Transposed, so that the rows become the lanes of the first pass.
    for (int32_t r = 0; r < 8; ++r)
        for (int32_t k = 0; k < 8; ++k) a[8 * k + r] = b[8 * r + k];
    TransformPass<true>(a, b);
    // b[8 * k + r] is entry k of row r; the columns become the lanes.
    for (int32_t r = 0; r < 8; ++r)
        for (int32_t k = 0; k < 8; ++k) a[8 * r + k] = b[8 * k + r];
    TransformPass<false>(a, b);
    for (int32_t i = 0; i < 64; ++i) out[i] = static_cast<uint8_t>(std::clamp(((b[i] + 8) >> 4) + 128, 0, 255));
}

// YCbCr to RGB, or YCCK to CMYK when `k` is given, for one row: in blocks
// of plain arithmetic the compiler can run side by side, then interleaved.
#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target_clones("avx2", "default")))
#endif
void ConvertRow(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, const uint8_t* k, uint8_t* out,
                size_t width) {
    constexpr size_t chunk = 64;
    uint8_t red[chunk], green[chunk], blue[chunk];
    for (size_t x0 = 0; x0 < width; x0 += chunk) {
        const size_t n = std::min(chunk, width - x0);
        for (size_t i = 0; i < n; ++i) {
            const int32_t luma = y[x0 + i] * 65536 + 32768;
            const int32_t b1 = cb[x0 + i] - 128, r1 = cr[x0 + i] - 128;
            red[i] = static_cast<uint8_t>(std::clamp((luma + dctCrToR * r1) >> 16, 0, 255));
            green[i] = static_cast<uint8_t>(std::clamp((luma + dctCbToG * b1 + dctCrToG * r1) >> 16, 0, 255));
            blue[i] = static_cast<uint8_t>(std::clamp((luma + dctCbToB * b1) >> 16, 0, 255));
        }
        if (k) {
            for (size_t i = 0; i < n; ++i, out += 4) {
                out[0] = static_cast<uint8_t>(255 - red[i]);
                out[1] = static_cast<uint8_t>(255 - green[i]);
                out[2] = static_cast<uint8_t>(255 - blue[i]);
                out[3] = k[x0 + i];
            }
        } else {
            for (size_t i = 0; i < n; ++i, out += 3) {
                out[0] = red[i];
                out[1] = green[i];
                out[2] = blue[i];
            }
        }
    }
}

// Largest coefficient store an image may ask for, all components together.
constexpr int64_t kMaxCoefficientBytes = core::kMaxFileDrivenAllocation;

}  // namespace

TqzDCTDecode::TqzDCTDecode(core::TqzStream* stream, int32_t colorXForm)
    : FInput(stream), FColorXFormParam(colorXForm), FColorXForm(colorXForm) {}

TqzDCTDecode::~TqzDCTDecode() { Close(); }

void TqzDCTDecode::Close() {
    for (int32_t c = 0; c < 4; ++c) {
        std::vector<uint8_t>().swap(FRowBuf[c]);
        std::vector<int16_t>().swap(FFrameBuf[c]);
    }
    std::vector<uint8_t>().swap(FOutBuf);
    FOutPos = FOutEnd = 0;
    FInput.Release();
    FStarted = false;
    FEof = true;
}

int64_t TqzDCTDecode::GetPosition() {
    return FInput.Stream() ? FInput.Stream()->GetPosition() : -1;
}

// ---------------------------------------------------------------- entropy bits

void TqzDCTDecode::FillBits() {
    // Eight buffered bytes none of which is 0xFF go in at once, as many as
    // fit.
    if (!FMarkerHit && FBitCount <= 56 && FInput.Available() >= 8) {
        uint64_t w;
        std::memcpy(&w, FInput.Data(), 8);
        const uint64_t x = ~w;
        if (((x - 0x0101010101010101u) & ~x & 0x8080808080808080u) == 0) {
            const int32_t n = (64 - FBitCount) / 8;
            const int32_t filled = FBitCount + 8 * n;
            uint64_t bits = __builtin_bswap64(w) >> FBitCount;
            if (filled < 64) bits &= ~(~uint64_t{0} >> filled);
            FBitBuf |= bits;
            FBitCount = filled;
            FInput.Consume(static_cast<uint32_t>(n));
            return;
        }
    }
    while (FBitCount <= 56 && !FMarkerHit) {
        const int c = FInput.Next();
        if (c < 0) {
            FMarkerHit = true;
            return;
        }
        if (c == 0xFF) {
            // 0xFF 0x00 stands for 0xFF; 0xFF before anything else starts a
            // marker, which is left (with one 0xFF) for the marker reader.
            int d;
            while ((d = FInput.Peek()) == 0xFF) FInput.Consume(1);
            if (d == 0) {
                FInput.Consume(1);
            } else {
                FInput.Unread(1);
                FMarkerHit = true;
                return;
            }
        }
        FBitBuf |= static_cast<uint64_t>(c) << (56 - FBitCount);
        FBitCount += 8;
    }
}

inline int TqzDCTDecode::ReadBit() {
    if (FBitCount == 0) {
        FillBits();
        if (FBitCount == 0) return -1;
    }
    const int bit = static_cast<int>(FBitBuf >> 63);
    FBitBuf <<= 1;
    --FBitCount;
    return bit;
}

inline int32_t TqzDCTDecode::ReadBits(int32_t n) {
    if (n == 0) return 0;
    if (FBitCount < n) {
        FillBits();
        if (FBitCount < n) return -1;
    }
    const auto v = static_cast<int32_t>(FBitBuf >> (64 - n));
    FBitBuf <<= n;
    FBitCount -= n;
    return v;
}

inline int TqzDCTDecode::DecodeHuffSym(const DCTHuffTable& table) {
    constexpr int32_t look = DCTHuffTable::kLookBits;
    if (FBitCount < 16) FillBits();
    int32_t code = 0;
    int32_t length = 0;
    if (FBitCount >= look) {
        const auto prefix = static_cast<uint32_t>(FBitBuf >> (64 - look));
        const uint16_t e = table.Look[prefix];
        if (e != 0) {
            const int32_t n = e >> 8;
            FBitBuf <<= n;
            FBitCount -= n;
            return e & 0xFF;
        }
        // No code of up to `look` bits: go on from there.
        code = static_cast<int32_t>(prefix);
        length = look;
        FBitBuf <<= look;
        FBitCount -= look;
    }
    while (length < 16) {
        const int bit = ReadBit();
        if (bit < 0) return -1;
        code = code * 2 + bit;
        ++length;
        const int32_t d = code - table.FirstCode[length];
        if (d >= 0 && d < table.NumCodes[length]) return table.Sym[(table.FirstSym[length] + d) & 0xFF];
    }
    return -1;
}

inline bool TqzDCTDecode::ReadAmp(int32_t size, int32_t& value) {
    if (size == 0) {
        value = 0;
        return true;
    }
    const int32_t v = ReadBits(size);
    if (v < 0) return false;
    value = v < (1 << (size - 1)) ? v - (1 << size) + 1 : v;
    return true;
}

// ---------------------------------------------------------------- header

int TqzDCTDecode::ReadMarker() {
    for (;;) {
        int c;
        do c = FInput.Next();
        while (c >= 0 && c != 0xFF);
        if (c < 0) return -1;
        do c = FInput.Next();
        while (c == 0xFF);
        if (c < 0) return -1;
        if (c != 0) return c;
    }
}

int TqzDCTDecode::Read16() {
    const int hi = FInput.Next();
    const int lo = FInput.Next();
    if (hi < 0 || lo < 0) return -1;
    return (hi << 8) | lo;
}

bool TqzDCTDecode::SkipSegment() {
    const int length = Read16();
    if (length < 2) return false;
    for (int i = 2; i < length; ++i)
        if (FInput.Next() < 0) return false;
    return true;
}

bool TqzDCTDecode::ReadHeader() {
    for (;;) {
        const int m = ReadMarker();
        if (m < 0) return false;
        switch (m) {
            case 0xC0:
            case 0xC1:
            case 0xC2:
                // One frame per image: a second would change the buffers
                // under the scans already read.
                if (FFrameRead || !ReadFrame(m == 0xC2)) return false;
                break;
            case 0xC4:
                if (!ReadHuffmanTables()) return false;
                break;
            case 0xDB:
                if (!ReadQuantTables()) return false;
                break;
            case 0xDD:
                if (!ReadRestartInterval()) return false;
                break;
            case 0xD8:
                break;
            case 0xD9:
                return false;
            case 0xDA:
                return ReadScanInfo();
            case 0xE0:
                if (!ReadJFIFMarker()) return false;
                break;
            case 0xEE:
                if (!ReadAdobeMarker()) return false;
                break;
            default:
                if (m >= 0xE0) {
                    if (!SkipSegment()) return false;
                } else if (FScanRead && m >= 0xD0 && m <= 0xD7) {
                    // Left over from a scan that ended early: later scans
                    // are still read.
                } else {
                    return false;
                }
        }
    }
}

bool TqzDCTDecode::ReadFrame(bool progressive) {
    FNumComps = 0;
    if (Read16() < 0) return false;
    const int precision = FInput.Next();
    const int height = Read16();
    const int width = Read16();
    const int n = FInput.Next();
    if (precision != 8 || height < 0 || width < 0 || n < 1 || n > 4) return false;
    for (int i = 0; i < n; ++i) {
        const int id = FInput.Next();
        const int sampling = FInput.Next();
        const int quant = FInput.Next();
        if (quant < 0) return false;
        const int h = sampling >> 4, v = sampling & 15;
        // Sampling factors are 1 to 4; quantisation tables 0 to 3.
        if (h < 1 || h > 4 || v < 1 || v > 4 || quant > 3) return false;
        FCompInfo[i] = DCTCompInfo{id, h, v, quant, 0};
    }
    FProgressive = progressive;
    FWidth = width;
    FHeight = height;
    FNumComps = n;
    FFrameRead = true;
    return true;
}

bool TqzDCTDecode::ReadHuffmanTables() {
    const int length = Read16();
    if (length < 2) return false;
    int32_t left = length - 2;
    while (left > 0) {
        const int b = FInput.Next();
        if (b < 0 || (b >> 4) > 1 || (b & 15) > 3) return false;
        uint8_t counts[17] = {};
        int32_t total = 0;
        for (int32_t len = 1; len <= 16; ++len) {
            const int c = FInput.Next();
            if (c < 0) return false;
            counts[len] = static_cast<uint8_t>(c);
            total += c;
        }
        // The symbol list holds 256 symbols.
        left -= 17 + total;
        if (total > 256 || left < 0) return false;
        const int32_t index = b & 15;
        DCTHuffTable& t = (b >> 4) ? FacHuffTables[index] : FdcHuffTables[index];
        int32_t code = 0, sym = 0;
        for (int32_t len = 1; len <= 16; ++len) {
            // Codes that do not fit their length would make the code
            // ambiguous and overflow the 16-bit first codes.
            if (code + counts[len] > (1 << len)) return false;
            t.FirstSym[len] = static_cast<uint8_t>(sym);
            t.FirstCode[len] = static_cast<uint16_t>(code);
            t.NumCodes[len] = counts[len];
            code = (code + counts[len]) * 2;
            sym += counts[len];
        }
        for (int32_t i = 0; i < total; ++i) {
            const int c = FInput.Next();
            if (c < 0) return false;
            t.Sym[i] = static_cast<uint8_t>(c);
        }
        constexpr int32_t look = DCTHuffTable::kLookBits;
        for (int32_t prefix = 0; prefix < (1 << look); ++prefix) {
            uint16_t entry = 0;
            for (int32_t len = 1; len <= look; ++len) {
                const int32_t d = (prefix >> (look - len)) - t.FirstCode[len];
                if (d >= 0 && d < t.NumCodes[len]) {
                    entry = static_cast<uint16_t>((len << 8) | t.Sym[(t.FirstSym[len] + d) & 0xFF]);
                    break;
                }
            }
            t.Look[prefix] = entry;
        }
        if (b >> 4) {
            FacDefined[index] = true;
            FNumACHuffTables = std::max(FNumACHuffTables, index + 1);
        } else {
            FdcDefined[index] = true;
            FNumDCHuffTables = std::max(FNumDCHuffTables, index + 1);
        }
    }
    return true;
}

bool TqzDCTDecode::ReadQuantTables() {
    const int length = Read16();
    if (length < 2) return false;
    int32_t left = length - 2;
    while (left > 0) {
        const int b = FInput.Next();
        if (b < 0 || (b >> 4) > 1 || (b & 15) > 3) return false;
        const bool wide = (b >> 4) == 1;
        const int32_t index = b & 15;
        for (int32_t i = 0; i < 64; ++i) {
            const int v = wide ? Read16() : FInput.Next();
            if (v < 0) return false;
            FQuantTables[index][dctZigZag[static_cast<size_t>(i)]] = static_cast<uint16_t>(v);
        }
        left -= wide ? 129 : 65;
        FQuantDefined[index] = true;
        FNumQuantTables = std::max(FNumQuantTables, index + 1);
    }
    return true;
}

bool TqzDCTDecode::ReadRestartInterval() {
    if (Read16() != 4) return false;
    const int interval = Read16();
    if (interval < 0) return false;
    FRestartInterval = interval;
    return true;
}

bool TqzDCTDecode::ReadScanInfo() {
    const int length = Read16();
    const int n = FInput.Next();
    if (n < 1 || n > 4 || length != 2 * n + 6 || FNumComps == 0) return false;
    DCTScanInfo scan;
    scan.NumComps = n;
    for (int i = 0; i < n; ++i) {
        const int id = FInput.Next();
        const int tables = FInput.Next();
        if (tables < 0) return false;
        int c = -1;
        if (i < FNumComps && FCompInfo[i].id == id) {
            c = i;
        } else {
            for (int j = 0; j < FNumComps && c < 0; ++j)
                if (FCompInfo[j].id == id) c = j;
        }
        // Only four tables of each kind exist.
        if (c < 0 || (tables >> 4) > 3 || (tables & 15) > 3) return false;
        scan.Comp[c] = true;
        scan.dcHuffTable[c] = tables >> 4;
        scan.acHuffTable[c] = tables & 15;
    }
    const int first = FInput.Next();
    const int last = FInput.Next();
    const int approx = FInput.Next();
    if (approx < 0) return false;
    scan.FirstCoeff = first;
    scan.LastCoeff = last;
    scan.Ah = approx >> 4;
    scan.AL = approx & 15;
    // Tables the scan uses must have been defined; undefined ones would
    // decode as nothing at all.
    const bool needDC = !FProgressive || (first == 0 && scan.Ah == 0);
    const bool needAC = !FProgressive || last > 0;
    for (int c = 0; c < FNumComps; ++c) {
        if (!scan.Comp[c]) continue;
        if (!FQuantDefined[FCompInfo[c].quantTable]) return false;
        if (needDC && !FdcDefined[scan.dcHuffTable[c]]) return false;
        if (needAC && !FacDefined[scan.acHuffTable[c]]) return false;
    }
    FScanInfo = scan;
    if (!FScanRead) FInterleaved = n == FNumComps;
    FScanRead = true;
    return true;
}

bool TqzDCTDecode::ReadJFIFMarker() {
    const int length = Read16();
    if (length < 2) return false;
    int32_t left = length - 2;
    if (left >= 5) {
        uint8_t b[5];
        for (auto& x : b) {
            const int c = FInput.Next();
            if (c < 0) return false;
            x = static_cast<uint8_t>(c);
        }
        if (std::memcmp(b, "JFIF\0", 5) == 0) FGotJFIFMarker = true;
        left -= 5;
    }
    for (; left > 0; --left)
        if (FInput.Next() < 0) return false;
    return true;
}

bool TqzDCTDecode::ReadAdobeMarker() {
    const int length = Read16();
    if (length < 14) return false;
    uint8_t b[12];
    for (auto& x : b) {
        const int c = FInput.Next();
        if (c < 0) return false;
        x = static_cast<uint8_t>(c);
    }
    bool adobe = false;
    for (size_t i = 0; i + 5 <= sizeof b && !adobe; ++i) adobe = std::memcmp(b + i, "Adobe", 5) == 0;
    if (!adobe) return false;
    FColorXForm = b[11];
    FGotAdobeMarker = true;
    for (int i = 14; i < length; ++i)
        if (FInput.Next() < 0) return false;
    return true;
}

// Derived sizes and buffers of the frame; false for a frame this decoder
// cannot use.
bool TqzDCTDecode::SetUpFrame() {
    if (FNumComps == 1) FCompInfo[0].hSample = FCompInfo[0].vSample = 1;
    int32_t hMax = 1, vMax = 1;
    for (int32_t c = 0; c < FNumComps; ++c) {
        hMax = std::max(hMax, FCompInfo[c].hSample);
        vMax = std::max(vMax, FCompInfo[c].vSample);
    }
    // Only whole upsampling steps: a component's blocks must tile the MCU.
    for (int32_t c = 0; c < FNumComps; ++c)
        if (hMax % FCompInfo[c].hSample != 0 || vMax % FCompInfo[c].vSample != 0) return false;
    if (FWidth == 0 || FHeight == 0) return false;
    FMCUWidth = 8 * hMax;
    FMCUHeight = 8 * vMax;
    FMCUsX = (FWidth + FMCUWidth - 1) / FMCUWidth;
    FMCUsY = (FHeight + FMCUHeight - 1) / FMCUHeight;
    FBufWidth = FMCUsX * FMCUWidth;
    FBufHeight = FMCUsY * FMCUHeight;
    if (FColorXForm == -1) {
        if (FNumComps != 3) FColorXForm = 0;
        else if (FGotJFIFMarker) FColorXForm = 1;
        else if (FCompInfo[0].id == 82 && FCompInfo[1].id == 71 && FCompInfo[2].id == 66) FColorXForm = 0;
        else FColorXForm = 1;
    }
    const bool whole = FProgressive || !FInterleaved;
    if (whole) {
        int64_t bytes = 0;
        for (int32_t c = 0; c < FNumComps; ++c)
            bytes += int64_t{FMCUsX} * FCompInfo[c].hSample * FMCUsY * FCompInfo[c].vSample * 64 * 2;
        // The coefficients of a huge image would be held whole; the samples
        // could not all be handed out either.
        const int64_t samples = int64_t{FWidth} * FHeight * FNumComps;
        if (bytes > kMaxCoefficientBytes || samples > FOutputLimit) {
            FLimitHit = true;
            return false;
        }
    }
    try {
        for (int32_t c = 0; c < FNumComps; ++c) {
            FRowBuf[c].assign(static_cast<size_t>(FMCUHeight) * static_cast<size_t>(FBufWidth), 0);
            FBlocksWide[c] = FMCUsX * FCompInfo[c].hSample;
            if (whole) {
                const int64_t blocks = int64_t{FBlocksWide[c]} * FMCUsY * FCompInfo[c].vSample;
                FFrameBuf[c].assign(static_cast<size_t>(blocks * 64), 0);
            }
        }
        FOutBuf.resize(static_cast<size_t>(FMCUHeight) * static_cast<size_t>(FWidth) *
                       static_cast<size_t>(FNumComps));
    } catch (const std::bad_alloc&) {
        throw core::streams::ExOutofMemory();
    }
    return true;
}

// ---------------------------------------------------------------- decoding

void TqzDCTDecode::Reset() {
    FStarted = true;
    Close();
    FStarted = true;
    FInput.Restart();
    ResetCount();
    FEof = true;
    FProgressive = FInterleaved = FFrameRead = FScanRead = false;
    FWidth = FHeight = FNumComps = 0;
    FNumQuantTables = FNumDCHuffTables = FNumACHuffTables = 0;
    std::fill(std::begin(FQuantDefined), std::end(FQuantDefined), false);
    std::fill(std::begin(FdcDefined), std::end(FdcDefined), false);
    std::fill(std::begin(FacDefined), std::end(FacDefined), false);
    FGotJFIFMarker = FGotAdobeMarker = false;
    FRestartInterval = 0;
    FColorXForm = FColorXFormParam;
    FMCURow = 0;
    ClearBits();

    if (!ReadHeader() || !SetUpFrame()) {
        if (!FLimitHit) FWidth = FHeight = FNumComps = 0;
        return;
    }
    FEof = false;
    FRestartMarker = 0xD0;
    Restart();
    if (FProgressive || !FInterleaved) {
        int32_t scans = 0;
        do {
            FRestartMarker = 0xD0;
            Restart();
            // A band that holds no coefficient reads nothing: not worth a
            // visit of every block.
            const bool empty = FProgressive && FScanInfo.FirstCoeff > std::min(FScanInfo.LastCoeff, 63);
            if (!empty) DecodeScan();
            ClearBits();
        } while (++scans < kMaxScans && ReadHeader());
        FInput.Release();
    }
}

void TqzDCTDecode::Restart() {
    ClearBits();
    FRestartCtr = FRestartInterval;
    for (auto& comp : FCompInfo) comp.prevDC = 0;
    FEobRun = 0;
}

bool TqzDCTDecode::ReadRestartMarker() {
    ClearBits();
    if (ReadMarker() != FRestartMarker) return false;
    FRestartMarker = FRestartMarker == 0xD7 ? 0xD0 : FRestartMarker + 1;
    Restart();
    return true;
}

bool TqzDCTDecode::DecodeSequentialUnit(int32_t comp, int16_t* coef) {
    const int s = DecodeHuffSym(FdcHuffTables[FScanInfo.dcHuffTable[comp]]);
    // 8-bit data has differences of at most 11 bits; past 16 the value
    // would not fit the arithmetic.
    if (s < 0 || s > 16) return false;
    int32_t amp;
    if (!ReadAmp(s, amp)) return false;
    int32_t& prev = FCompInfo[comp].prevDC;
    prev = static_cast<int32_t>(static_cast<uint32_t>(prev) + static_cast<uint32_t>(amp));
    coef[0] = static_cast<int16_t>(prev);
    std::memset(coef + 1, 0, 63 * sizeof(int16_t));
    const DCTHuffTable& ac = FacHuffTables[FScanInfo.acHuffTable[comp]];
    int32_t i = 1;
    while (i < 64) {
        int32_t run = 0;
        int sym;
        while ((sym = DecodeHuffSym(ac)) == 0xF0 && run < 0x30) run += 0x10;
        if (sym < 0) return false;
        if (sym == 0) break;
        run += sym >> 4;
        if (!ReadAmp(sym & 15, amp)) return false;
        i += run;
        if (i < 64) coef[dctZigZag[static_cast<size_t>(i++)]] = static_cast<int16_t>(amp);
    }
    return true;
}

bool TqzDCTDecode::Correct(int16_t& coef) {
    const int bit = ReadBit();
    if (bit < 0) return false;
    if (bit) {
        const int32_t step = 1 << FScanInfo.AL;
        coef = static_cast<int16_t>(coef >= 0 ? coef + step : coef - step);
    }
    return true;
}

bool TqzDCTDecode::DecodeProgressiveUnit(int32_t comp, int16_t* coef) {
    const DCTScanInfo& scan = FScanInfo;
    const auto scale = static_cast<uint32_t>(1) << scan.AL;
    if (scan.FirstCoeff == 0) {
        if (scan.Ah == 0) {
            const int s = DecodeHuffSym(FdcHuffTables[scan.dcHuffTable[comp]]);
            if (s < 0 || s > 16) return false;
            int32_t amp;
            if (!ReadAmp(s, amp)) return false;
            int32_t& prev = FCompInfo[comp].prevDC;
            prev = static_cast<int32_t>(static_cast<uint32_t>(prev) + static_cast<uint32_t>(amp));
            coef[0] = static_cast<int16_t>(static_cast<uint32_t>(coef[0]) + static_cast<uint32_t>(prev) * scale);
        } else {
            const int bit = ReadBit();
            if (bit < 0) return false;
            coef[0] = static_cast<int16_t>(static_cast<uint32_t>(coef[0]) + static_cast<uint32_t>(bit) * scale);
        }
    }
    if (scan.LastCoeff == 0) return true;
    const int32_t last = std::min(scan.LastCoeff, 63);
    int32_t i = std::max(scan.FirstCoeff, 1);
    if (FEobRun > 0) {
        for (; i <= last; ++i) {
            int16_t& c = coef[dctZigZag[static_cast<size_t>(i)]];
            if (c != 0 && !Correct(c)) return false;
        }
        --FEobRun;
        return true;
    }
    const DCTHuffTable& ac = FacHuffTables[scan.acHuffTable[comp]];
    while (i <= last) {
        const int s = DecodeHuffSym(ac);
        if (s < 0) return false;
        const int32_t run = s >> 4;
        const int32_t size = s & 15;
        if (s == 0xF0) {
            for (int32_t zeros = 0; zeros < 16 && i <= last; ++i) {
                int16_t& c = coef[dctZigZag[static_cast<size_t>(i)]];
                if (c == 0) ++zeros;
                else if (!Correct(c)) return false;
            }
        } else if (size == 0) {
            const int32_t bits = ReadBits(run);
            if (bits < 0) return false;
            FEobRun = (1 << run) + bits;
            for (; i <= last; ++i) {
                int16_t& c = coef[dctZigZag[static_cast<size_t>(i)]];
                if (c != 0 && !Correct(c)) return false;
            }
            --FEobRun;
            break;
        } else {
            int32_t amp;
            if (!ReadAmp(size, amp)) return false;
            int32_t zeros = run;
            for (; i <= last; ++i) {
                int16_t& c = coef[dctZigZag[static_cast<size_t>(i)]];
                if (c != 0) {
                    if (!Correct(c)) return false;
                } else if (zeros > 0) {
                    --zeros;
                } else {
                    c = static_cast<int16_t>(static_cast<uint32_t>(amp) * scale);
                    ++i;
                    break;
                }
            }
        }
    }
    return true;
}

// One scan of a progressive or non-interleaved image into the coefficient
// store. Corrupt data ends the scan and leaves the rest as it was.
void TqzDCTDecode::DecodeScan() {
    const DCTScanInfo& scan = FScanInfo;
    auto unit = [&](int32_t c, int32_t bx, int32_t by) {
        int16_t* coef = FFrameBuf[c].data() + (static_cast<size_t>(by) * static_cast<size_t>(FBlocksWide[c]) +
                                               static_cast<size_t>(bx)) * 64;
        return FProgressive ? DecodeProgressiveUnit(c, coef) : DecodeSequentialUnit(c, coef);
    };
    auto restartDue = [&]() { return FRestartInterval > 0 && FRestartCtr == 0 && !ReadRestartMarker(); };
    if (scan.NumComps == 1) {
        int32_t c = 0;
        while (!scan.Comp[c]) ++c;
        // The component's own blocks only, as many as its samples need.
        const int32_t dx = FMCUWidth / FCompInfo[c].hSample;
        const int32_t dy = FMCUHeight / FCompInfo[c].vSample;
        const int32_t wide = (FWidth + dx - 1) / dx;
        const int32_t high = (FHeight + dy - 1) / dy;
        for (int32_t by = 0; by < high; ++by) {
            for (int32_t bx = 0; bx < wide; ++bx) {
                if (restartDue() || !unit(c, bx, by)) return;
                --FRestartCtr;
            }
        }
        return;
    }
    for (int32_t my = 0; my < FMCUsY; ++my) {
        for (int32_t mx = 0; mx < FMCUsX; ++mx) {
            if (restartDue()) return;
            for (int32_t c = 0; c < FNumComps; ++c) {
                if (!scan.Comp[c]) continue;
                const int32_t h = FCompInfo[c].hSample, v = FCompInfo[c].vSample;
                for (int32_t y = 0; y < v; ++y)
                    for (int32_t x = 0; x < h; ++x)
                        if (!unit(c, mx * h + x, my * v + y)) return;
            }
            --FRestartCtr;
        }
    }
}

void TqzDCTDecode::TransformDataUnit(const int16_t* coef, const uint16_t* quant, uint8_t* out) const {
    InverseDCT(coef, quant, out);
}

void TqzDCTDecode::StoreBlock(int32_t comp, const uint8_t* samples, int32_t x0, int32_t y0) {
    const int32_t h = FMCUWidth / FCompInfo[comp].hSample / 8;
    const int32_t v = FMCUHeight / FCompInfo[comp].vSample / 8;
    const auto stride = static_cast<size_t>(FBufWidth);
    uint8_t* dst = FRowBuf[comp].data() + static_cast<size_t>(y0) * stride + static_cast<size_t>(x0);
    if (h == 1 && v == 1) {
        for (int32_t r = 0; r < 8; ++r) std::memcpy(dst + static_cast<size_t>(r) * stride, samples + 8 * r, 8);
        return;
    }
    for (int32_t r = 0; r < 8; ++r) {
        uint8_t* row = dst + static_cast<size_t>(r * v) * stride;
        const uint8_t* src = samples + 8 * r;
        if (h == 2) {
            for (int32_t k = 0; k < 8; ++k) row[2 * k] = row[2 * k + 1] = src[k];
        } else {
            for (int32_t k = 0; k < 8; ++k)
                for (int32_t d = 0; d < h; ++d) row[k * h + d] = src[k];
        }
        for (int32_t d = 1; d < v; ++d)
            std::memcpy(row + static_cast<size_t>(d) * stride, row, static_cast<size_t>(8 * h));
    }
}

void TqzDCTDecode::StoreFlat(int32_t comp, uint8_t sample, int32_t x0, int32_t y0) {
    const int32_t w = FMCUWidth / FCompInfo[comp].hSample;
    const int32_t h = FMCUHeight / FCompInfo[comp].vSample;
    const auto stride = static_cast<size_t>(FBufWidth);
    uint8_t* dst = FRowBuf[comp].data() + static_cast<size_t>(y0) * stride + static_cast<size_t>(x0);
    for (int32_t r = 0; r < h; ++r) std::memset(dst + static_cast<size_t>(r) * stride, sample, static_cast<size_t>(w));
}

void TqzDCTDecode::TransformAndStore(int32_t comp, const int16_t* coef, const uint16_t* quant, int32_t x0, int32_t y0) {
    if (DCOnly(coef)) {
        StoreFlat(comp, DCSample(coef[0], quant[0]), x0, y0);
        return;
    }
    uint8_t samples[64];
    TransformDataUnit(coef, quant, samples);
    StoreBlock(comp, samples, x0, y0);
}

bool TqzDCTDecode::DecodeMCURowSequential() {
    int16_t coef[64];
    for (int32_t mx = 0; mx < FMCUsX; ++mx) {
        if (FRestartInterval > 0 && FRestartCtr == 0 && !ReadRestartMarker()) return false;
        for (int32_t c = 0; c < FNumComps; ++c) {
            if (!FScanInfo.Comp[c]) continue;
            const int32_t h = FCompInfo[c].hSample, v = FCompInfo[c].vSample;
            const int32_t bw = FMCUWidth / h, bh = FMCUHeight / v;
            const uint16_t* quant = FQuantTables[FCompInfo[c].quantTable];
            for (int32_t y = 0; y < v; ++y) {
                for (int32_t x = 0; x < h; ++x) {
                    if (!DecodeSequentialUnit(c, coef)) return false;
                    TransformAndStore(c, coef, quant, (mx * h + x) * bw, y * bh);
                }
            }
        }
        --FRestartCtr;
    }
    return true;
}

void TqzDCTDecode::TransformMCURow() {
    for (int32_t c = 0; c < FNumComps; ++c) {
        const int32_t h = FCompInfo[c].hSample, v = FCompInfo[c].vSample;
        const int32_t bw = FMCUWidth / h, bh = FMCUHeight / v;
        const uint16_t* quant = FQuantTables[FCompInfo[c].quantTable];
        for (int32_t y = 0; y < v; ++y) {
            const int16_t* coef = FFrameBuf[c].data() + static_cast<size_t>(FMCURow * v + y) *
                                                            static_cast<size_t>(FBlocksWide[c]) * 64;
            for (int32_t bx = 0; bx < FBlocksWide[c]; ++bx, coef += 64) TransformAndStore(c, coef, quant, bx * bw, y * bh);
        }
    }
}

void TqzDCTDecode::ConvertMCURow(int32_t rows) {
    const auto n = static_cast<size_t>(FNumComps);
    const auto width = static_cast<size_t>(FWidth);
    const auto stride = static_cast<size_t>(FBufWidth);
    for (int32_t r = 0; r < rows; ++r) {
        uint8_t* out = FOutBuf.data() + static_cast<size_t>(r) * width * n;
        const size_t at = static_cast<size_t>(r) * stride;
        if (n == 1) {
            std::memcpy(out, FRowBuf[0].data() + at, width);
            continue;
        }
        const uint8_t* c0 = FRowBuf[0].data() + at;
        const uint8_t* c1 = FRowBuf[1].data() + at;
        const uint8_t* c2 = n > 2 ? FRowBuf[2].data() + at : nullptr;
        const uint8_t* c3 = n > 3 ? FRowBuf[3].data() + at : nullptr;
        if (FColorXForm == 0 || n == 2) {
            for (size_t x = 0; x < width; ++x) {
                *out++ = c0[x];
                *out++ = c1[x];
                if (c2) *out++ = c2[x];
                if (c3) *out++ = c3[x];
            }
            continue;
        }
        ConvertRow(c0, c1, c2, c3, out, width);
    }
}

bool TqzDCTDecode::NextMCURow() {
    CheckLimit();
    if (FEof) return false;
    if (FMCURow >= FMCUsY) {
        FEof = true;
        Close();
        FStarted = true;
        return false;
    }
    if (FProgressive || !FInterleaved) {
        TransformMCURow();
    } else if (!DecodeMCURowSequential()) {
        // Corrupt data ends the image after the last complete MCU row.
        FEof = true;
        return false;
    }
    const int32_t rows = std::min(FMCUHeight, FHeight - FMCURow * FMCUHeight);
    const int64_t bytes = int64_t{rows} * FWidth * FNumComps;
    Charge(bytes);
    ConvertMCURow(rows);
    ++FMCURow;
    FOutPos = 0;
    FOutEnd = static_cast<uint32_t>(bytes);
    return true;
}

int TqzDCTDecode::SlowChar(bool consume) {
    if (!FStarted) Reset();
    while (FOutPos >= FOutEnd)
        if (!NextMCURow()) return -1;
    return consume ? FOutBuf[FOutPos++] : FOutBuf[FOutPos];
}

int32_t TqzDCTDecode::Read(uint8_t* buffer, uint32_t count) {
    if (!FStarted) Reset();
    return ReadWindows(buffer, count, FOutPos, FOutEnd, [this] { return FOutBuf.data(); }, [this] { return NextMCURow(); });
}

}  // namespace qz::filters
