#include "filters/jbig2/HuffmanTable.h"

#include <algorithm>
#include <mutex>

#include "filters/jbig2/Limits.h"
#include "filters/jbig2/SegmentData.h"

namespace qz::filters::jbig2 {

namespace {

constexpr int32_t kOob = -1;  // range length of the out-of-band line

std::string Bits(int64_t code, int32_t length) {
    std::string s;
    for (int32_t i = length - 1; i >= 0; --i) s.push_back(((code >> i) & 1) ? '1' : '0');
    return s;
}

}  // namespace

std::string TqzCode::ToString() const {
    return (FCode >= 0 ? Bits(FCode, FPrefixlength) : std::string("?")) + "/" + std::to_string(FPrefixlength) +
           "/" + std::to_string(FRangelen) + "/" + std::to_string(FRangelow);
}

std::string CodeTableToString(const TqzCodeList& AcodeTable) {
    std::string s;
    for (const auto& c : AcodeTable) s += c.ToString() + "\\n";
    return s;
}

int64_t TqzInternalNode::Decode(TqzIOStream& Aiis) const {
    const TqzInternalNode* node = this;
    for (;;) {
        // A bit past the end of the reader reads as 1 (-1).
        const TqzNode* next = Aiis.ReadBits(1) != 0 ? node->FOne.get() : node->FZero.get();
        if (next == nullptr) throw TqzJBIG2Error("Huffman code not in table");
        const auto* inner = dynamic_cast<const TqzInternalNode*>(next);
        if (inner == nullptr) return next->Decode(Aiis);
        node = inner;
    }
}

void TqzInternalNode::Append(const TqzCode& Ac) {
    if (Ac.FPrefixlength == 0) return;
    TqzInternalNode* node = this;
    for (;;) {
        const int32_t shift = Ac.FPrefixlength - 1 - node->FDepth;
        if (shift < 0) throw TqzJBIG2Error(kNegativeShifting);
        std::unique_ptr<TqzNode>& branch = ((Ac.FCode >> shift) & 1) ? node->FOne : node->FZero;
        if (shift == 0) {
            // A line landing on an existing leaf replaces it; one landing on
            // an inner node would cut off the codes below it.
            if (dynamic_cast<TqzInternalNode*>(branch.get()) != nullptr) {
                throw TqzJBIG2Error("Huffman table is not a prefix code");
            }
            if (Ac.FRangelen == kOob) branch = std::make_unique<TqzOutOfbandNode>();
            else branch = std::make_unique<TqzValueNode>(Ac);
            return;
        }
        if (!branch) branch = std::make_unique<TqzInternalNode>(node->FDepth + 1);
        auto* inner = dynamic_cast<TqzInternalNode*>(branch.get());
        if (inner == nullptr) throw TqzJBIG2Error("Huffman table is not a prefix code");
        node = inner;
    }
}

std::string TqzInternalNode::ToString() const {
    const std::string pad(static_cast<size_t>(FDepth) * 3, ' ');
    std::string s;
    s += pad + "0: " + (FZero ? FZero->ToString() : std::string("null")) + "\\n";
    s += pad + "1: " + (FOne ? FOne->ToString() : std::string("null")) + "\\n";
    return s;
}

int64_t TqzValueNode::Decode(TqzIOStream& Aiis) const {
    // A range length of 0 reads nothing, except past the end where the
    // reader gives -1.
    const int64_t b = FRangelen == 0 ? (Aiis.AtEnd() ? -1 : 0) : Aiis.ReadBits(FRangelen);
    // 32-bit arithmetic that wraps, computed unsigned.
    const auto low = static_cast<uint32_t>(FRangelow);
    const auto bits = static_cast<uint32_t>(b);
    const uint32_t v = FIslowerrange ? low - bits : low + bits;
    return static_cast<int32_t>(v);
}

std::string TqzValueNode::ToString() const {
    return std::to_string(FRangelow) + "+" + std::to_string(FRangelen);
}

void TqzHuffmanTable::PreprocessCodes(TqzCodeList& AcodeTable) {
    if (static_cast<int64_t>(AcodeTable.size()) > kMaxHuffmanTableLines) {
        throw TqzJBIG2Error("Huffman table has too many lines");
    }
    int32_t lenMax = 0;
    for (const auto& c : AcodeTable) {
        if (c.FPrefixlength < 0 || c.FPrefixlength > kMaxHuffmanCodeLength) {
            throw TqzJBIG2Error("Huffman code length out of range");
        }
        if (c.FRangelen < kOob || c.FRangelen > kMaxHuffmanRangeLength) {
            throw TqzJBIG2Error("Huffman range length out of range");
        }
        lenMax = std::max(lenMax, c.FPrefixlength);
    }
    std::vector<int64_t> lenCount(static_cast<size_t>(lenMax) + 1, 0);
    for (const auto& c : AcodeTable) ++lenCount[static_cast<size_t>(c.FPrefixlength)];
    lenCount[0] = 0;
    int64_t firstCode = 0;
    for (int32_t curLen = 1; curLen <= lenMax; ++curLen) {
        firstCode = (firstCode + lenCount[static_cast<size_t>(curLen) - 1]) * 2;
        int64_t curCode = firstCode;
        for (auto& c : AcodeTable) {
            if (c.FPrefixlength != curLen) continue;
            // More codes of this length than the length can hold: the
            // lengths do not form a prefix code.
            if (curCode >= (int64_t{1} << curLen)) throw TqzJBIG2Error("Huffman table is not a prefix code");
            c.FCode = curCode++;
        }
    }
}

void TqzHuffmanTable::InitTree(TqzCodeList AcodeTable) {
    PreprocessCodes(AcodeTable);
    for (const auto& c : AcodeTable) FrootNode->Append(c);
}

int64_t TqzHuffmanTable::Decode(TqzIOStream& Aiis) const { return FrootNode->Decode(Aiis); }

std::string TqzHuffmanTable::ToString() const { return FrootNode->ToString() + "\\n"; }

TqzEncodedTable::TqzEncodedTable(TqzTable& ATable) : FTable(ATable) { ParseTable(); }

void TqzEncodedTable::ParseTable() {
    if (!FTable.FsubInputStream) throw TqzJBIG2Error("Huffman table segment has no data");
    TqzIOStream& s = *FTable.FsubInputStream;
    const int32_t ps = FTable.FhtPS;
    const int32_t rs = FTable.FhtRS;
    // Every field must be there: a table whose data ends is broken, not
    // padded.
    auto field = [&](int32_t bits) {
        const int64_t v = s.ReadBits(bits);
        if (v < 0) throw TqzJBIG2Error("Huffman table segment ends too early");
        return static_cast<int32_t>(v);
    };
    TqzCodeList lines;
    int64_t curRangeLow = FTable.FhtLow;
    while (curRangeLow < FTable.FhtHigh) {
        if (static_cast<int64_t>(lines.size()) >= kMaxHuffmanTableLines) {
            throw TqzJBIG2Error("Huffman table has too many lines");
        }
        const int32_t prefLen = field(ps);
        const int32_t rangeLen = field(rs);
        if (rangeLen >= kMaxHuffmanRangeLength) throw TqzJBIG2Error("Huffman range length out of range");
        lines.emplace_back(prefLen, rangeLen, static_cast<int32_t>(curRangeLow), false);
        curRangeLow += int64_t{1} << rangeLen;
    }
    lines.emplace_back(field(ps), 32, static_cast<int32_t>(static_cast<uint32_t>(FTable.FhtLow) - 1u), true);
    lines.emplace_back(field(ps), 32, FTable.FhtHigh, false);
    if (FTable.FhtOutOfBand == 1) lines.emplace_back(field(ps), kOob, -1, false);
    InitTree(std::move(lines));
}

const TqzCodeList& TqzStandardTables::Lines(int32_t ANumber) {
    if (ANumber < 1 || ANumber > 15) throw TqzJBIG2Error(kArgumentOutOfRange);
    constexpr bool L = true;  // lower-range line
    static const std::array<TqzCodeList, 15> kTables = {{
        {{1, 4, 0, false}, {2, 8, 16, false}, {3, 16, 272, false}, {3, 32, 65808, false}},
        {{1, 0, 0, false}, {2, 0, 1, false}, {3, 0, 2, false}, {4, 3, 3, false}, {5, 6, 11, false},
         {6, 32, 75, false}, {6, kOob, 0, false}},
        {{8, 8, -256, false}, {1, 0, 0, false}, {2, 0, 1, false}, {3, 0, 2, false}, {4, 3, 3, false},
         {5, 6, 11, false}, {8, 32, -257, L}, {7, 32, 75, false}, {6, kOob, 0, false}},
        {{1, 0, 1, false}, {2, 0, 2, false}, {3, 0, 3, false}, {4, 3, 4, false}, {5, 6, 12, false},
         {5, 32, 76, false}},
        {{7, 8, -255, false}, {1, 0, 1, false}, {2, 0, 2, false}, {3, 0, 3, false}, {4, 3, 4, false},
         {5, 6, 12, false}, {7, 32, -256, L}, {6, 32, 76, false}},
        {{5, 10, -2048, false}, {4, 9, -1024, false}, {4, 8, -512, false}, {4, 7, -256, false},
         {5, 6, -128, false}, {5, 5, -64, false}, {4, 5, -32, false}, {2, 7, 0, false}, {3, 7, 128, false},
         {3, 8, 256, false}, {4, 9, 512, false}, {4, 10, 1024, false}, {6, 32, -2049, L},
         {6, 32, 2048, false}},
        {{4, 9, -1024, false}, {3, 8, -512, false}, {4, 7, -256, false}, {5, 6, -128, false},
         {5, 5, -64, false}, {4, 5, -32, false}, {4, 5, 0, false}, {5, 5, 32, false}, {5, 6, 64, false},
         {4, 7, 128, false}, {3, 8, 256, false}, {3, 9, 512, false}, {3, 10, 1024, false},
         {5, 32, -1025, L}, {5, 32, 2048, false}},
        {{8, 3, -15, false}, {9, 1, -7, false}, {8, 1, -5, false}, {9, 0, -3, false}, {7, 0, -2, false},
         {4, 0, -1, false}, {2, 1, 0, false}, {5, 0, 2, false}, {6, 0, 3, false}, {3, 4, 4, false},
         {6, 1, 20, false}, {4, 4, 22, false}, {4, 5, 38, false}, {5, 6, 70, false}, {5, 7, 134, false},
         {6, 7, 262, false}, {7, 8, 390, false}, {6, 10, 646, false}, {9, 32, -16, L},
         {9, 32, 1670, false}, {2, kOob, 0, false}},
        {{8, 4, -31, false}, {9, 2, -15, false}, {8, 2, -11, false}, {9, 1, -7, false}, {7, 1, -5, false},
         {4, 1, -3, false}, {3, 1, -1, false}, {3, 1, 1, false}, {5, 1, 3, false}, {6, 1, 5, false},
         {3, 5, 7, false}, {6, 2, 39, false}, {4, 5, 43, false}, {4, 6, 75, false}, {5, 7, 139, false},
         {5, 8, 267, false}, {6, 8, 523, false}, {7, 9, 779, false}, {6, 11, 1291, false},
         {9, 32, -32, L}, {9, 32, 3339, false}, {2, kOob, 0, false}},
        {{7, 4, -21, false}, {8, 0, -5, false}, {7, 0, -4, false}, {5, 0, -3, false}, {2, 2, -2, false},
         {5, 0, 2, false}, {6, 0, 3, false}, {7, 0, 4, false}, {8, 0, 5, false}, {2, 6, 6, false},
         {5, 5, 70, false}, {6, 5, 102, false}, {6, 6, 134, false}, {6, 7, 198, false}, {6, 8, 326, false},
         {6, 9, 582, false}, {6, 10, 1094, false}, {7, 11, 2118, false}, {8, 32, -22, L},
         {8, 32, 4166, false}, {2, kOob, 0, false}},
        {{1, 0, 1, false}, {2, 1, 2, false}, {4, 0, 4, false}, {4, 1, 5, false}, {5, 1, 7, false},
         {5, 2, 9, false}, {6, 2, 13, false}, {7, 2, 17, false}, {7, 3, 21, false}, {7, 4, 29, false},
         {7, 5, 45, false}, {7, 6, 77, false}, {7, 32, 141, false}},
        {{1, 0, 1, false}, {2, 0, 2, false}, {3, 1, 3, false}, {5, 0, 5, false}, {5, 1, 6, false},
         {6, 1, 8, false}, {7, 0, 10, false}, {7, 1, 11, false}, {7, 2, 13, false}, {7, 3, 17, false},
         {7, 4, 25, false}, {8, 5, 41, false}, {8, 32, 73, false}},
        {{1, 0, 1, false}, {3, 0, 2, false}, {4, 0, 3, false}, {5, 0, 4, false}, {4, 1, 5, false},
         {3, 3, 7, false}, {6, 1, 15, false}, {6, 2, 17, false}, {6, 3, 21, false}, {6, 4, 29, false},
         {6, 5, 45, false}, {7, 6, 77, false}, {7, 32, 141, false}},
        {{3, 0, -2, false}, {3, 0, -1, false}, {1, 0, 0, false}, {3, 0, 1, false}, {3, 0, 2, false}},
        {{7, 4, -24, false}, {6, 2, -8, false}, {5, 1, -4, false}, {4, 0, -2, false}, {3, 0, -1, false},
         {1, 0, 0, false}, {3, 0, 1, false}, {4, 0, 2, false}, {5, 1, 3, false}, {6, 2, 5, false},
         {7, 4, 9, false}, {7, 32, -25, L}, {7, 32, 25, false}},
    }};
    return kTables[static_cast<size_t>(ANumber - 1)];
}

const TqzHuffmanTable& TqzStandardTables::GetTable(int32_t ANumber) {
    const TqzCodeList& lines = Lines(ANumber);
    // Built once, on first use, whatever thread asks first.
    static std::array<std::unique_ptr<TqzStandardTable>, 15> tables;
    static std::array<std::once_flag, 15> built;
    const auto i = static_cast<size_t>(ANumber - 1);
    std::call_once(built[i], [&] { tables[i] = std::make_unique<TqzStandardTable>(lines); });
    return *tables[i];
}

}  // namespace qz::filters::jbig2
