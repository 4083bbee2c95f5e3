#include "filters/FlateDecode.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

namespace qz::filters {

namespace {

// Deflate's history reaches back 32 KiB.
constexpr uint32_t kHistory = 32768;
// Output decoded per step before the reader takes it.
constexpr uint32_t kChunk = 65536;
constexpr uint32_t kMaxMatch = 258;
constexpr uint32_t kOutLimit = kHistory + kChunk;
constexpr uint32_t kWindowSize = kOutLimit + kMaxMatch;
// First-level index widths: most codes resolve in one lookup.
constexpr uint32_t kLitRootBits = 10;
constexpr uint32_t kDistRootBits = 8;

constexpr uint8_t kSymbol = 0;
constexpr uint8_t kLink = 1;  // and 2: empty, the default of a table entry

struct DecodeRec {
    uint16_t bits;
    uint16_t first;
};

// Length symbols 257..287; 286 and 287 (reachable through the fixed code)
// decode as length 258.
constexpr DecodeRec kLengthDecode[31] = {
    {0, 3},  {0, 4},  {0, 5},  {0, 6},   {0, 7},   {0, 8},   {0, 9},   {0, 10},
    {1, 11}, {1, 13}, {1, 15}, {1, 17},  {2, 19},  {2, 23},  {2, 27},  {2, 31},
    {3, 35}, {3, 43}, {3, 51}, {3, 59},  {4, 67},  {4, 83},  {4, 99},  {4, 115},
    {5, 131}, {5, 163}, {5, 195}, {5, 227}, {0, 258}, {0, 258}, {0, 258}};

constexpr DecodeRec kDistDecode[30] = {
    {0, 1},     {0, 2},     {0, 3},      {0, 4},      {1, 5},      {1, 7},
    {2, 9},     {2, 13},    {3, 17},     {3, 25},     {4, 33},     {4, 49},
    {5, 65},    {5, 97},    {6, 129},    {6, 193},    {7, 257},    {7, 385},
    {8, 513},   {8, 769},   {9, 1025},   {9, 1537},   {10, 2049},  {10, 3073},
    {11, 4097}, {11, 6145}, {12, 8193},  {12, 12289}, {13, 16385}, {13, 24577}};

// The order in which code-length code lengths are sent.
constexpr uint8_t kCodeLenCodeMap[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5,
                                         11, 4, 12, 3, 13, 2, 14, 1, 15};

uint32_t Reverse(uint32_t code, uint32_t length) {
    uint32_t r = 0;
    for (uint32_t i = 0; i < length; ++i) {
        r = (r << 1) | (code & 1);
        code >>= 1;
    }
    return r;
}

struct FixedTables {
    TqzFlateHuffManTab lit;
    TqzFlateHuffManTab dist;
    FixedTables() {
        uint8_t lengths[288];
        std::fill(lengths, lengths + 144, 8);
        std::fill(lengths + 144, lengths + 256, 9);
        std::fill(lengths + 256, lengths + 280, 7);
        std::fill(lengths + 280, lengths + 288, 8);
        lit.Build(lengths, 288, 9);
        std::fill(lengths, lengths + 32, 5);
        dist.Build(lengths, 32, 5);
        // Distance codes 30 and 31 exist in the fixed code but mean nothing.
        for (auto& c : dist.codes)
            if (c.kind == kSymbol && c.symbol >= 30) c = TqzFlateCode{};
    }
};

const FixedTables& Fixed() {
    static const FixedTables tables;
    return tables;
}

}  // namespace

bool TqzFlateHuffManTab::Build(const uint8_t* lengths, uint32_t count, uint32_t maxRootBits) {
    uint32_t counts[16] = {};
    uint32_t maxLen = 0;
    for (uint32_t i = 0; i < count; ++i) {
        ++counts[lengths[i]];
        maxLen = std::max<uint32_t>(maxLen, lengths[i]);
    }
    counts[0] = 0;
    int64_t left = 1;
    for (uint32_t len = 1; len <= 15; ++len) {
        left = (left << 1) - counts[len];
        if (left < 0) return false;
    }
    uint32_t next[16] = {};
    uint32_t code = 0;
    for (uint32_t len = 1; len <= 15; ++len) {
        code = (code + counts[len - 1]) << 1;
        next[len] = code;
    }
    rootBits = std::clamp<uint32_t>(maxLen, 1, maxRootBits);
    rootMask = (1u << rootBits) - 1;
    codes.assign(size_t{1} << rootBits, TqzFlateCode{});

    if (maxLen > rootBits) {
        // Size each second-level table by the longest code under its prefix.
        std::vector<uint8_t> longest(size_t{1} << rootBits, 0);
        uint32_t probe[16];
        std::copy(next, next + 16, probe);
        for (uint32_t s = 0; s < count; ++s) {
            const uint32_t len = lengths[s];
            if (len <= rootBits) continue;
            const uint32_t prefix = Reverse(probe[len]++, len) & rootMask;
            longest[prefix] = static_cast<uint8_t>(std::max<uint32_t>(longest[prefix], len));
        }
        for (uint32_t p = 0; p <= rootMask; ++p) {
            if (!longest[p]) continue;
            const uint32_t bits = longest[p] - rootBits;
            codes[p] = TqzFlateCode{static_cast<uint16_t>(codes.size()), static_cast<uint8_t>(bits), kLink};
            codes.resize(codes.size() + (size_t{1} << bits));
        }
    }
    for (uint32_t s = 0; s < count; ++s) {
        const uint32_t len = lengths[s];
        if (len == 0) continue;
        const uint32_t rev = Reverse(next[len]++, len);
        const TqzFlateCode entry{static_cast<uint16_t>(s), static_cast<uint8_t>(len), kSymbol};
        if (len <= rootBits) {
            for (uint32_t i = rev; i <= rootMask; i += 1u << len) codes[i] = entry;
        } else {
            const TqzFlateCode link = codes[rev & rootMask];
            const uint32_t size = 1u << link.length;
            for (uint32_t i = rev >> rootBits; i < size; i += 1u << (len - rootBits))
                codes[link.symbol + i] = entry;
        }
    }
    return true;
}

struct TqzFlateDecode::Window {
    std::unique_ptr<uint8_t[]> bytes{new uint8_t[kWindowSize]};
    TqzFlateHuffManTab lit;
    TqzFlateHuffManTab dist;
    TqzFlateHuffManTab codeLen;
    uint8_t lengths[320] = {};
};

TqzFlateDecode::TqzFlateDecode(core::TqzStream* stream, int32_t predictor, int32_t columns,
                               int32_t colors, int32_t bits)
    : FInput(stream) {
    if (predictor != 1) {
        FStreamPred = std::make_unique<TqzStreamPredictor>(static_cast<TqzRawSource*>(this), predictor, colors, columns, bits);
        if (!FStreamPred->IsOk()) FStreamPred.reset();
    }
}

TqzFlateDecode::~TqzFlateDecode() = default;

void TqzFlateDecode::Reset() {
    FStarted = true;
    FInput.Restart();
    FReadPos = FOutPos = 0;
    FCodeBuffer = 0;
    FCodeSize = 0;
    FBlockLength = 0;
    FFinal = false;
    ResetCount();
    FLitCodeTable = FDistCodeTable = nullptr;
    FMode = Mode::Done;
    if (FStreamPred) FStreamPred->Reset();

    const int cmf = FInput.Next();
    const int flg = FInput.Next();
    if (cmf < 0 || flg < 0) return;
    if ((cmf & 0x0F) != 8 || (cmf * 256 + flg) % 31 != 0 || (flg & 0x20) != 0) return;
    if (!FWindow) {
        try {
            FWindow = std::make_unique<Window>();
        } catch (const std::bad_alloc&) {
            throw core::streams::ExOutofMemory();
        }
    }
    FWin = FWindow->bytes.get();
    FMode = Mode::Header;
}

void TqzFlateDecode::Start() {
    if (!FStarted) Reset();
}

void TqzFlateDecode::ReleaseBuffers() {
    FWindow.reset();
    FWin = nullptr;
    FReadPos = FOutPos = 0;
    FInput.Release();
}

int TqzFlateDecode::SlowChar(bool consume, bool raw) {
    Start();
    if (FStreamPred && !raw) return consume ? FStreamPred->ReadChar() : FStreamPred->LookChar();
    while (FReadPos >= FOutPos)
        if (!Produce()) return -1;
    return consume ? FWin[FReadPos++] : FWin[FReadPos];
}

int32_t TqzFlateDecode::Read(uint8_t* buffer, uint32_t count) {
    Start();
    if (FStreamPred) return FStreamPred->Read(buffer, count);
    return ReadRaw(buffer, count);
}

int32_t TqzFlateDecode::ReadRaw(uint8_t* buffer, uint32_t count) {
    Start();
    uint32_t done = 0;
    while (done < count) {
        if (FReadPos >= FOutPos) {
            // The bytes up to the ceiling go out first; the next read raises.
            if (FLimitHit && done > 0) break;
            if (!Produce()) break;
        }
        const uint32_t n = std::min(count - done, FOutPos - FReadPos);
        std::memcpy(buffer + done, FWin + FReadPos, n);
        FReadPos += n;
        done += n;
    }
    return static_cast<int32_t>(done);
}

bool TqzFlateDecode::Produce() {
    for (;;) {
        if (FLimitHit) throw ExDecodeLimit();
        if (FMode == Mode::Done) {
            ReleaseBuffers();
            return false;
        }
        if (FOutPos >= kOutLimit) {
            std::memmove(FWin, FWin + FOutPos - kHistory, kHistory);
            FOutPos = FReadPos = kHistory;
        }
        const uint32_t start = FOutPos;
        Decode();
        const uint32_t produced = FOutPos - start;
        if (produced == 0) continue;
        const int64_t allowed = Allowance(produced);
        if (allowed < produced) {
            FOutPos = start + static_cast<uint32_t>(allowed);
            FLimitHit = true;
        }
        FProduced += allowed;
        if (allowed > 0) return true;
    }
}

void TqzFlateDecode::Decode() {
    while (FOutPos < kOutLimit) {
        switch (FMode) {
            case Mode::Header:
                if (!StartBlock()) {
                    FMode = Mode::Done;
                    return;
                }
                break;
            case Mode::Stored:
                CopyStored();
                break;
            case Mode::Coded: {
                const int r = DecodeCoded();
                if (r < 0) {
                    FMode = Mode::Done;
                    return;
                }
                if (r > 0) FMode = FFinal ? Mode::Done : Mode::Header;
                break;
            }
            case Mode::Done:
                return;
        }
        if (FMode == Mode::Done) return;
    }
}

void TqzFlateDecode::NeedBits() {
    if (FCodeSize > 56) return;
    if (FInput.Available() >= 8) {
        uint64_t word;
        std::memcpy(&word, FInput.Data(), 8);
        if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
        // Bits above the counted ones hold the next bytes as they will be
        // counted later, so or-ing them in again changes nothing.
        FCodeBuffer |= word << FCodeSize;
        const uint32_t n = (63 - FCodeSize) >> 3;
        FInput.Consume(n);
        FCodeSize += n * 8;
        return;
    }
    while (FCodeSize <= 56) {
        const int c = FInput.Next();
        if (c < 0) break;
        FCodeBuffer |= static_cast<uint64_t>(c) << FCodeSize;
        FCodeSize += 8;
    }
}

bool TqzFlateDecode::GetBits(uint32_t n, uint32_t& value) {
    if (FCodeSize < n) NeedBits();
    if (FCodeSize < n) return false;
    value = static_cast<uint32_t>(FCodeBuffer & ((uint64_t{1} << n) - 1));
    FCodeBuffer >>= n;
    FCodeSize -= n;
    return true;
}

int TqzFlateDecode::DecodeSymbol(const TqzFlateHuffManTab& table) {
    // A code is taken as soon as the bits held cover it: near the end of
    // data (a missing checksum) the last short codes still decode.
    TqzFlateCode e = table.codes[FCodeBuffer & table.rootMask];
    if (e.kind == kLink)
        e = table.codes[e.symbol + ((FCodeBuffer >> table.rootBits) & ((1u << e.length) - 1))];
    if (e.kind != kSymbol || e.length > FCodeSize) return -1;
    FCodeBuffer >>= e.length;
    FCodeSize -= e.length;
    return e.symbol;
}

bool TqzFlateDecode::StartBlock() {
    uint32_t header;
    if (!GetBits(3, header)) return false;
    if (header & 1) FFinal = true;
    switch (header >> 1) {
        case 0: {
            // Stored: back to whole bytes; the bytes already taken into the
            // bit buffer go back to the input.
            FCodeSize -= FCodeSize & 7;
            FInput.Unread(FCodeSize >> 3);
            FCodeBuffer = 0;
            FCodeSize = 0;
            const int b0 = FInput.Next(), b1 = FInput.Next(), b2 = FInput.Next(), b3 = FInput.Next();
            if (b0 < 0 || b1 < 0 || b2 < 0 || b3 < 0) return false;
            FBlockLength = static_cast<uint32_t>(b0 | (b1 << 8));  // NLEN is not checked
            FMode = Mode::Stored;
            return true;
        }
        case 1:
            FLitCodeTable = &Fixed().lit;
            FDistCodeTable = &Fixed().dist;
            FMode = Mode::Coded;
            return true;
        case 2:
            if (!ReadDynamicCodes()) return false;
            FLitCodeTable = &FWindow->lit;
            FDistCodeTable = &FWindow->dist;
            FMode = Mode::Coded;
            return true;
        default:
            return false;
    }
}

bool TqzFlateDecode::ReadDynamicCodes() {
    uint32_t hlit, hdist, hclen;
    if (!GetBits(5, hlit) || !GetBits(5, hdist) || !GetBits(4, hclen)) return false;
    hlit += 257;
    hdist += 1;
    hclen += 4;
    if (hlit > 288 || hdist > 30) return false;
    uint8_t codeLenLengths[19] = {};
    for (uint32_t i = 0; i < hclen; ++i) {
        uint32_t v;
        if (!GetBits(3, v)) return false;
        codeLenLengths[kCodeLenCodeMap[i]] = static_cast<uint8_t>(v);
    }
    Window& w = *FWindow;
    if (!w.codeLen.Build(codeLenLengths, 19, 7)) return false;
    const uint32_t total = hlit + hdist;
    uint32_t n = 0;
    uint8_t previous = 0;
    while (n < total) {
        NeedBits();
        const int sym = DecodeSymbol(w.codeLen);
        if (sym < 0) return false;
        if (sym < 16) {
            previous = static_cast<uint8_t>(sym);
            w.lengths[n++] = previous;
            continue;
        }
        uint32_t extra, repeat;
        uint8_t value = 0;
        if (sym == 16) {
            if (!GetBits(2, extra)) return false;
            repeat = 3 + extra;
            value = previous;
        } else if (sym == 17) {
            if (!GetBits(3, extra)) return false;
            repeat = 3 + extra;
            previous = 0;
        } else {
            if (!GetBits(7, extra)) return false;
            repeat = 11 + extra;
            previous = 0;
        }
        if (n + repeat > total) return false;
        std::memset(w.lengths + n, value, repeat);
        n += repeat;
    }
    return w.lit.Build(w.lengths, hlit, kLitRootBits) &&
           w.dist.Build(w.lengths + hlit, hdist, kDistRootBits);
}

int TqzFlateDecode::DecodeCoded() {
    const TqzFlateHuffManTab& lit = *FLitCodeTable;
    const TqzFlateHuffManTab& dist = *FDistCodeTable;
    uint8_t* const win = FWin;
    uint32_t out = FOutPos;
    int result = 0;
    while (out < kOutLimit) {
        // One refill covers a whole step: 15 + 5 + 15 + 13 bits at most.
        NeedBits();
        const int sym = DecodeSymbol(lit);
        if (sym < 0) {
            result = -1;
            break;
        }
        if (sym < 256) {
            win[out++] = static_cast<uint8_t>(sym);
            continue;
        }
        if (sym == 256) {
            result = 1;
            break;
        }
        const DecodeRec& lr = kLengthDecode[sym - 257];
        if (FCodeSize < lr.bits) {
            result = -1;
            break;
        }
        const uint32_t length = lr.first + static_cast<uint32_t>(FCodeBuffer & ((1u << lr.bits) - 1));
        FCodeBuffer >>= lr.bits;
        FCodeSize -= lr.bits;
        const int dsym = DecodeSymbol(dist);
        if (dsym < 0 || dsym >= 30) {
            result = -1;
            break;
        }
        const DecodeRec& dr = kDistDecode[dsym];
        if (FCodeSize < dr.bits) {
            result = -1;
            break;
        }
        const uint32_t distance = dr.first + static_cast<uint32_t>(FCodeBuffer & ((1u << dr.bits) - 1));
        FCodeBuffer >>= dr.bits;
        FCodeSize -= dr.bits;
        // A distance before the first byte of output refers to nothing.
        if (distance > out) {
            result = -1;
            break;
        }
        uint8_t* dst = win + out;
        const uint8_t* src = dst - distance;
        if (distance >= length) {
            std::memcpy(dst, src, length);
        } else if (distance == 1) {
            std::memset(dst, *src, length);
        } else {
            for (uint32_t i = 0; i < length; ++i) dst[i] = src[i];
        }
        out += length;
    }
    FOutPos = out;
    return result;
}

void TqzFlateDecode::CopyStored() {
    while (FBlockLength > 0 && FOutPos < kOutLimit) {
        if (FInput.Available() == 0 && !FInput.Fill()) {
            // The data ends inside the block: what was stored is kept.
            FMode = Mode::Done;
            return;
        }
        const uint32_t n = std::min({FBlockLength, FInput.Available(), kOutLimit - FOutPos});
        std::memcpy(FWin + FOutPos, FInput.Data(), n);
        FInput.Consume(n);
        FOutPos += n;
        FBlockLength -= n;
    }
    if (FBlockLength == 0) FMode = FFinal ? Mode::Done : Mode::Header;
}

}  // namespace qz::filters
