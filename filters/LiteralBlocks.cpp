#include "filters/LiteralBlocks.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

namespace qz::filters {

namespace {

constexpr int kLiteralSymbols = 257;  // the 256 byte values and the end of a block
constexpr int kEndOfBlock = 256;
constexpr int kCodeLengthSymbols = 19;
// The order in which a block header gives the lengths of the code-length code.
constexpr std::array<uint8_t, kCodeLengthSymbols> kCodeLengthOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                                      11, 4,  12, 3, 13, 2, 14, 1, 15};
// The most a stored block holds.
constexpr uint32_t kMaxStoredBlock = 65535;

// Lengths of an optimal prefix code for the `n` frequencies, none longer than
// `maxBits`; an unused symbol gets 0. Two or more used symbols give a complete
// code, which every inflater accepts.
void HuffmanLengths(const uint32_t* freq, int n, int maxBits, uint8_t* lengths) {
    std::fill(lengths, lengths + n, uint8_t{0});
    std::vector<int> symbols;
    for (int s = 0; s < n; ++s) {
        if (freq[s] != 0) symbols.push_back(s);
    }
    if (symbols.empty()) return;
    if (symbols.size() == 1) {
        lengths[symbols[0]] = 1;
        return;
    }
    // Rarest first; ties by symbol, so that the code is the same every run.
    std::sort(symbols.begin(), symbols.end(),
              [freq](int a, int b) { return freq[a] != freq[b] ? freq[a] < freq[b] : a < b; });
    const size_t m = symbols.size();
    // Two queues: the leaves in order, and the joined nodes, whose weights
    // come out in order too. Nodes 0..m-1 are leaves, m.. joined ones.
    std::vector<uint64_t> weight(2 * m - 1);
    std::vector<size_t> parent(2 * m - 1, 0);
    for (size_t i = 0; i < m; ++i) weight[i] = freq[symbols[i]];
    size_t leaf = 0;
    size_t joined = m;
    const auto lightest = [&](size_t made) {
        if (leaf < m && (joined >= made || weight[leaf] <= weight[joined])) return leaf++;
        return joined++;
    };
    for (size_t made = m; made < 2 * m - 1; ++made) {
        const size_t a = lightest(made);
        const size_t b = lightest(made);
        weight[made] = weight[a] + weight[b];
        parent[a] = parent[b] = made;
    }
    // Depths from the root (the last node made) down.
    std::vector<int> depth(2 * m - 1, 0);
    for (size_t node = 2 * m - 2; node-- > 0;) depth[node] = depth[parent[node]] + 1;

    // Codes longer than allowed are shortened, then codes are lengthened from
    // the longest allowed length down until the code is complete again.
    std::array<uint32_t, 64> count{};
    for (size_t i = 0; i < m; ++i) ++count[static_cast<size_t>(std::min(depth[i], maxBits))];
    uint64_t total = 0;
    for (int bits = 1; bits <= maxBits; ++bits) total += uint64_t{count[static_cast<size_t>(bits)]} << (maxBits - bits);
    const uint64_t complete = uint64_t{1} << maxBits;
    while (total > complete) {
        --count[static_cast<size_t>(maxBits)];
        for (int bits = maxBits - 1; bits > 0; --bits) {
            if (count[static_cast<size_t>(bits)] != 0) {
                --count[static_cast<size_t>(bits)];
                count[static_cast<size_t>(bits + 1)] += 2;
                break;
            }
        }
        --total;
    }
    // The rarest symbols take the longest codes.
    size_t next = 0;
    for (int bits = maxBits; bits >= 1; --bits) {
        for (uint32_t k = 0; k < count[static_cast<size_t>(bits)]; ++k) {
            lengths[symbols[next++]] = static_cast<uint8_t>(bits);
        }
    }
}

uint16_t Reversed(uint32_t code, uint32_t length) {
    uint32_t result = 0;
    for (uint32_t i = 0; i < length; ++i) {
        result = (result << 1) | (code & 1);
        code >>= 1;
    }
    return static_cast<uint16_t>(result);
}

// Canonical codes for the lengths, bit-reversed for sending.
template <size_t N>
void CanonicalCodes(const uint8_t* lengths, std::array<uint16_t, N>& codes) {
    std::array<uint32_t, 16> count{};
    for (size_t s = 0; s < N; ++s) ++count[lengths[s]];
    count[0] = 0;
    std::array<uint32_t, 16> next{};
    uint32_t code = 0;
    for (size_t bits = 1; bits < 16; ++bits) {
        code = (code + count[bits - 1]) << 1;
        next[bits] = code;
    }
    for (size_t s = 0; s < N; ++s) {
        codes[s] = lengths[s] == 0 ? 0 : Reversed(next[lengths[s]]++, lengths[s]);
    }
}

// One symbol of the code-length alphabet, with its extra bits.
struct LengthSymbol {
    uint8_t Symbol;
    uint8_t Extra;
    uint8_t ExtraBits;
};

// The literal code and the header that describes it, for one block.
struct Plan {
    uint32_t Freq[kLiteralSymbols] = {};
    uint8_t Lengths[kLiteralSymbols] = {};
    std::vector<LengthSymbol> Header;  // the literal lengths and the one distance length, run-length coded
    uint8_t HeaderLengths[kCodeLengthSymbols] = {};
    int HeaderCodes = 4;  // code-length lengths sent, in kCodeLengthOrder
    uint64_t Bits = 0;    // the whole block
};

// The code lengths, followed by the one distance code of length 0 (a block
// of literals only), in the run-length form of a block header.
std::vector<LengthSymbol> RunLengthCoded(const uint8_t* lengths) {
    std::array<uint8_t, kLiteralSymbols + 1> all{};
    std::copy(lengths, lengths + kLiteralSymbols, all.begin());
    std::vector<LengthSymbol> out;
    size_t i = 0;
    while (i < all.size()) {
        const uint8_t value = all[i];
        size_t run = 1;
        while (i + run < all.size() && all[i + run] == value) ++run;
        i += run;
        if (value == 0) {
            while (run >= 11) {
                const size_t n = std::min<size_t>(run, 138);
                out.push_back({18, static_cast<uint8_t>(n - 11), 7});
                run -= n;
            }
            if (run >= 3) {
                out.push_back({17, static_cast<uint8_t>(run - 3), 3});
                run = 0;
            }
        } else {
            out.push_back({value, 0, 0});
            --run;
            while (run >= 3) {
                const size_t n = std::min<size_t>(run, 6);
                out.push_back({16, static_cast<uint8_t>(n - 3), 2});
                run -= n;
            }
        }
        for (; run > 0; --run) out.push_back({value, 0, 0});
    }
    return out;
}

void MakePlan(const uint8_t* data, uint32_t size, Plan& plan) {
    for (uint32_t i = 0; i < size; ++i) ++plan.Freq[data[i]];
    plan.Freq[kEndOfBlock] = 1;
    HuffmanLengths(plan.Freq, kLiteralSymbols, kMaxLiteralCodeBits, plan.Lengths);
    plan.Header = RunLengthCoded(plan.Lengths);
    uint32_t headerFreq[kCodeLengthSymbols] = {};
    for (const LengthSymbol& s : plan.Header) ++headerFreq[s.Symbol];
    HuffmanLengths(headerFreq, kCodeLengthSymbols, kMaxCodeLengthCodeBits, plan.HeaderLengths);
    plan.HeaderCodes = kCodeLengthSymbols;
    while (plan.HeaderCodes > 4 && plan.HeaderLengths[kCodeLengthOrder[static_cast<size_t>(plan.HeaderCodes - 1)]] == 0) {
        --plan.HeaderCodes;
    }
    uint64_t bits = 3 + 5 + 5 + 4 + 3 * static_cast<uint64_t>(plan.HeaderCodes);
    for (const LengthSymbol& s : plan.Header) bits += plan.HeaderLengths[s.Symbol] + s.ExtraBits;
    for (int s = 0; s < kLiteralSymbols; ++s) bits += uint64_t{plan.Freq[s]} * plan.Lengths[s];
    plan.Bits = bits;
}

}  // namespace

uint64_t TqzLiteralBlockWriter::LiteralBlockBits(const uint8_t* data, uint32_t size) {
    Plan plan;
    MakePlan(data, size, plan);
    return plan.Bits;
}

void TqzLiteralBlockWriter::PutBits(uint32_t value, uint32_t count, std::string& out) {
    FBits |= uint64_t{value} << FCount;
    FCount += count;
    while (FCount >= 8) {
        out.push_back(static_cast<char>(FBits & 0xFF));
        FBits >>= 8;
        FCount -= 8;
    }
}

void TqzLiteralBlockWriter::Align(std::string& out) {
    if (FCount % 8 != 0) PutBits(0, 8 - FCount % 8, out);
}

void TqzLiteralBlockWriter::WriteBlock(const uint8_t* data, uint32_t size, bool final, std::string& out) {
    if (size > kMaxStoredBlock) size = kMaxStoredBlock;
    Plan plan;
    MakePlan(data, size, plan);
    const uint32_t pad = (8 - (FCount + 3) % 8) % 8;
    const uint64_t storedBits = 3 + pad + 32 + 8 * uint64_t{size};
    if (storedBits <= plan.Bits) {
        WriteStoredBlock(data, size, final, out);
    } else {
        std::array<uint16_t, kLiteralSymbols> codes{};
        CanonicalCodes(plan.Lengths, codes);
        for (int s = 0; s < kLiteralSymbols; ++s) FCodes[s] = {codes[static_cast<size_t>(s)], plan.Lengths[s]};
        std::array<uint16_t, kCodeLengthSymbols> headerCodes{};
        CanonicalCodes(plan.HeaderLengths, headerCodes);

        PutBits(final ? 1 : 0, 1, out);
        PutBits(2, 2, out);  // a block with codes of its own
        PutBits(kLiteralSymbols - 257, 5, out);
        PutBits(0, 5, out);  // one distance code, unused
        PutBits(static_cast<uint32_t>(plan.HeaderCodes - 4), 4, out);
        for (int i = 0; i < plan.HeaderCodes; ++i) PutBits(plan.HeaderLengths[kCodeLengthOrder[static_cast<size_t>(i)]], 3, out);
        for (const LengthSymbol& s : plan.Header) {
            PutBits(headerCodes[s.Symbol], plan.HeaderLengths[s.Symbol], out);
            if (s.ExtraBits != 0) PutBits(s.Extra, s.ExtraBits, out);
        }
        WriteLiteralBlock(data, size, out);
    }
    if (final) Align(out);
}

void TqzLiteralBlockWriter::WriteLiteralBlock(const uint8_t* data, uint32_t size, std::string& out) {
    // The hot loop: whole 32-bit words go out at once. A literal takes at most
    // 15 bits, so the buffer never holds more than 46.
    if (!FScratch) FScratch = std::make_unique_for_overwrite<uint8_t[]>(kScratchSize);
    uint8_t* const begin = FScratch.get();
    uint8_t* at = begin;
    uint64_t bits = FBits;
    uint32_t count = FCount;
    for (uint32_t i = 0; i < size; ++i) {
        const Code code = FCodes[data[i]];
        bits |= uint64_t{code.Bits} << count;
        count += code.Length;
        if (count >= 32) {
            at[0] = static_cast<uint8_t>(bits);
            at[1] = static_cast<uint8_t>(bits >> 8);
            at[2] = static_cast<uint8_t>(bits >> 16);
            at[3] = static_cast<uint8_t>(bits >> 24);
            at += 4;
            bits >>= 32;
            count -= 32;
        }
    }
    out.append(reinterpret_cast<const char*>(begin), static_cast<size_t>(at - begin));
    FBits = bits;
    FCount = count;
    PutBits(FCodes[kEndOfBlock].Bits, FCodes[kEndOfBlock].Length, out);
}

void TqzLiteralBlockWriter::WriteStoredBlock(const uint8_t* data, uint32_t size, bool final, std::string& out) {
    PutBits(final ? 1 : 0, 1, out);
    PutBits(0, 2, out);
    Align(out);
    PutBits(size & 0xFFFF, 16, out);
    PutBits(~size & 0xFFFF, 16, out);
    out.append(reinterpret_cast<const char*>(data), size);
}

void TqzLiteralBlockWriter::Finish(std::string& out) {
    // A final block with the fixed codes, holding only its end (seven zero
    // bits in those codes).
    PutBits(1, 1, out);
    PutBits(1, 2, out);
    PutBits(0, 7, out);
    Align(out);
}

}  // namespace qz::filters
