#pragma once
// Huffman tables of the JBIG2 data: table lines, the code tree they build,
// the fifteen standard tables (built once and shared for the run), user
// tables read from a table segment and tables from a caller's line list. A
// table owns its tree; the tree's nodes own their branches.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "filters/jbig2/Common.h"
#include "filters/jbig2/IOStream.h"

namespace qz::filters::jbig2 {

class TqzTable;

// One table line: PREFLEN, RANGELEN (-1 for the out-of-band line), RANGELOW.
class TqzCode {
public:
    TqzCode() = default;
    TqzCode(int32_t Aprefixlength, int32_t ARangelen, int32_t ARangelow, bool AIslowerrange)
        : FPrefixlength(Aprefixlength), FRangelen(ARangelen), FRangelow(ARangelow), FIslowerrange(AIslowerrange) {}
    std::string ToString() const;

    int32_t FPrefixlength = 0;
    int32_t FRangelen = 0;
    int32_t FRangelow = 0;
    bool FIslowerrange = false;
    int64_t FCode = -1;
};

using TqzCodeList = std::vector<TqzCode>;

class TqzNode {
public:
    virtual ~TqzNode() = default;
    virtual int64_t Decode(TqzIOStream& Aiis) const = 0;
    virtual std::string ToString() const = 0;
};

class TqzInternalNode : public TqzNode {
public:
    explicit TqzInternalNode(int32_t Adepth = 0) : FDepth(Adepth) {}
    int64_t Decode(TqzIOStream& Aiis) const override;
    // Puts a line with an assigned code below this node. Raises "negative
    // shifting is not possible" at a node at least as deep as the code, and
    // a plain exception when the code would pass through a leaf.
    void Append(const TqzCode& Ac);
    std::string ToString() const override;

private:
    int32_t FDepth;
    std::unique_ptr<TqzNode> FZero;
    std::unique_ptr<TqzNode> FOne;
};

class TqzValueNode : public TqzNode {
public:
    explicit TqzValueNode(const TqzCode& Ac)
        : FRangelen(Ac.FRangelen), FRangelow(Ac.FRangelow), FIslowerrange(Ac.FIslowerrange) {}
    int64_t Decode(TqzIOStream& Aiis) const override;
    std::string ToString() const override;

private:
    int32_t FRangelen;
    int32_t FRangelow;
    bool FIslowerrange;
};

class TqzOutOfbandNode : public TqzNode {
public:
    int64_t Decode(TqzIOStream&) const override { return kOutOfBand; }
    std::string ToString() const override { return "OOB"; }
};

class TqzHuffmanTable {
public:
    virtual ~TqzHuffmanTable() = default;
    // Assigns the codes of the lines and adds them to the tree. Lines whose
    // prefix lengths cannot form a prefix code are refused.
    virtual void InitTree(TqzCodeList AcodeTable);
    // One value at the reader's bit position, or kOutOfBand. Bits that lead
    // to no line raise a plain exception.
    int64_t Decode(TqzIOStream& Aiis) const;
    std::string ToString() const;

    // Assigns the codes of a line list (the prefix-code construction).
    static void PreprocessCodes(TqzCodeList& AcodeTable);

protected:
    std::unique_ptr<TqzInternalNode> FrootNode = std::make_unique<TqzInternalNode>(0);
};

// A table from the caller's line list (the text region's symbol-ID table).
class TqzFixedSizeTable : public TqzHuffmanTable {
public:
    TqzFixedSizeTable() = default;
    explicit TqzFixedSizeTable(TqzCodeList ArunCodeTable) { InitTree(std::move(ArunCodeTable)); }
};

class TqzStandardTable : public TqzHuffmanTable {
public:
    explicit TqzStandardTable(TqzCodeList Alines) { InitTree(std::move(Alines)); }
};

// A user table read from a table segment (the segment stays its owner's;
// its reader is consumed).
class TqzEncodedTable : public TqzHuffmanTable {
public:
    explicit TqzEncodedTable(TqzTable& ATable);
    void ParseTable();

private:
    TqzTable& FTable;
};

class TqzStandardTables {
public:
    // Standard table B.n, n 1 to 15, built on its first request and shared
    // for the rest of the run. Any other number raises "Arguemant Out of
    // Range".
    static const TqzHuffmanTable& GetTable(int32_t ANumber);
    // The lines of standard table B.n.
    static const TqzCodeList& Lines(int32_t ANumber);
};

std::string CodeTableToString(const TqzCodeList& AcodeTable);

inline constexpr const char* kNegativeShifting = "negative shifting is not possible";

}  // namespace qz::filters::jbig2
