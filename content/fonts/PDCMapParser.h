#pragma once
// Reads CMap text: the tokenizer splits PostScript-style text into tokens, the
// parser turns code ranges and single codes into lookups of CIDs (encoding
// CMaps) or Unicode values (ToUnicode and CID-to-Unicode maps). The parser
// reads its stream once in the constructor and keeps nothing of it; bad text
// never raises, a malformed entry is skipped.

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Streams.h"

namespace qz::content {

// Longest token kept; the rest of a longer token is read and dropped. Sound
// CMaps have tokens of a few dozen characters.
inline constexpr size_t kMaxCMapTokenLength = size_t{64} << 10;
// Ranges, single codes and code spaces one CMap may add, those of the CMaps it
// uses included: the largest predefined CMap has under 20 000 entries, and a
// hostile one must not exhaust memory.
inline constexpr int64_t kMaxCMapEntries = int64_t{1} << 18;
// UTF-16 units of multi-character destinations in one CMap; a ligature takes
// a few, the largest predefined map a few thousand.
inline constexpr int64_t kMaxCMapTextUnits = int64_t{1} << 20;
// UTF-16 units one destination may hold: longer ones are cut.
inline constexpr size_t kMaxCMapDestinationUnits = 256;
// CMaps a CMap may use one through another; real chains have two links.
inline constexpr int32_t kMaxUseCMapDepth = 8;
// CMaps one CMap may use in all, however many `usecmap`s it repeats: each is
// read from disk and parsed.
inline constexpr int32_t kMaxUseCMaps = 16;

class TqzPSTokenizer {
public:
    explicit TqzPSTokenizer(platform::Stream& Stream);
    TqzPSTokenizer(const TqzPSTokenizer&) = delete;
    TqzPSTokenizer& operator=(const TqzPSTokenizer&) = delete;

    // True with the next token; false at the end of data.
    bool GetNextToken(std::string& Token);

private:
    static constexpr int64_t kBufferSize = 1024;

    bool Fill();          // reads the next block; false at the end of data
    int32_t GetChar();    // -1 at the end of data
    // The byte GetChar would return next. A NUL followed by another byte is
    // stepped over, so text stored as 16-bit little-endian characters
    // tokenizes as 8-bit text.
    int32_t LookChar();
    void Append(std::string& Token, int32_t c) const;

    platform::Stream& FStream;
    char FBuffer[kBufferSize];
    int64_t FCurrentIndex = 0;
    int64_t FCount = 0;
    bool FAtEnd = false;
};

// A run of codes, FCIDStart..FCIDEnd, whose first code gives FCode and each
// next code one more. A destination written with more than one UTF-16 unit
// (a ligature or a surrogate pair) keeps its units in the parser's text pool;
// FCode is then its first code point and codes after the first add to the
// last unit.
struct TqzCIDRange {
    int64_t FCIDEnd = 0;
    int64_t FCIDStart = 0;
    int64_t FCode = 0;
    uint32_t FTextOffset = 0;
    uint32_t FTextLength = 0;  // 0: FCode alone
};

struct TqzCIDCode {
    int64_t FCode = 0;  // destination
    int64_t FSource = 0;
    uint32_t FTextOffset = 0;
    uint32_t FTextLength = 0;
};

// A code space: codes of FBytes bytes whose every byte lies between the
// matching bytes of FLow and FHigh.
struct TqzCodeSpaceRange {
    uint32_t FLow = 0;
    uint32_t FHigh = 0;
    int32_t FBytes = 0;
};

// Where `usecmap` finds the CMaps a CMap names: the folders are searched in
// order. Without folders `usecmap` is not followed.
struct TqzCMapSearch {
    std::vector<std::filesystem::path> Folders;
    std::string Name;  // the CMap being read, when it has one: using it again is a loop
};

// A name fit to join to a folder: letters, digits, ".", "_" and "-" only,
// never "..". Names come from files and must not reach outside the folder.
bool IsSafeCMapName(std::string_view Name);

// The file named `Name` in the first of `Folders` that holds it; empty when
// none does or the name is unsafe.
std::filesystem::path FindCMapFile(const std::vector<std::filesystem::path>& Folders, std::string_view Name);

class TqzPDCMapParser {
public:
    explicit TqzPDCMapParser(platform::Stream& Stream);  // never throws on bad text
    // As above, following `usecmap` through `Search`'s folders.
    TqzPDCMapParser(platform::Stream& Stream, const TqzCMapSearch& Search);

    int64_t GetCID(int64_t Index) const;   // -1 when no range maps it
    int64_t GetCode(int64_t Index) const;  // single codes first, then GetCID
    // Every Unicode code point a code stands for (a ligature gives several; a
    // UTF-16 surrogate pair one); empty when nothing maps the code.
    std::u32string GetText(int64_t Index) const;
    bool IsSingleByteCodeRange(int64_t Code) const;
    int32_t getCIDCount() const;
    int32_t getCodeCount() const;
    int32_t GetWMode() const { return FWMode; }
    const std::string& GetRegistry() const { return FRegistry; }
    const std::string& GetOrdering() const { return FOrdering; }
    const std::string& GetSupplement() const { return FSupplement; }

    // How many bytes the code at the start of `Bytes` has by the CMap's code
    // spaces (1 to 4); 0 when the CMap declares none or none holds the code.
    int32_t GetCodeLength(std::string_view Bytes) const;
    // True when a `usecmap` could not be followed: a loop, too deep a chain,
    // too many CMaps used, or a CMap not found.
    bool HasUnresolvedUseCMap() const { return FUnresolvedUseCMap; }

private:
    struct Context {
        const TqzCMapSearch* Search = nullptr;
        std::vector<std::string> Chain;  // names of the CMaps being read, outermost first
        int64_t EntryBudget = kMaxCMapEntries;
        int64_t TextBudget = kMaxCMapTextUnits;
        int32_t UseCMapBudget = kMaxUseCMaps;
    };
    TqzPDCMapParser(platform::Stream& Stream, Context& Ctx, bool BuildIndex);

    void Parse(platform::Stream& Stream, Context& Ctx);
    void ReadRanges(TqzPSTokenizer& Tokens, Context& Ctx);
    void ReadCodes(TqzPSTokenizer& Tokens, Context& Ctx);
    void ReadCodeSpaces(TqzPSTokenizer& Tokens, Context& Ctx);
    void UseCMap(const std::string& Name, Context& Ctx);
    bool TakeEntry(Context& Ctx);
    bool StoreText(const std::u16string& Text, Context& Ctx, uint32_t& Offset, uint32_t& Length);
    void BuildIndex();
    int64_t RangeValue(const TqzCIDRange& Range, int64_t Index) const;
    int32_t MaxCodeBytes() const;

    std::string FOrdering;
    std::string FRegistry;
    std::string FSupplement;
    int32_t FWMode = 0;
    std::vector<TqzCIDRange> FCIDList;
    std::vector<TqzCIDRange> FCodeSpaceRangeList;  // single-byte ranges
    std::vector<TqzCIDCode> FCodeList;
    bool FEndCMAP = false;

    std::vector<TqzCodeSpaceRange> FCodeSpaces;
    std::u16string FTextPool;
    bool FWModeSet = false;
    bool FUnresolvedUseCMap = false;

    // Lookups: the ranges cut into sorted pieces that do not overlap, each
    // naming the range that decides it (the last in list order), and the
    // single codes sorted by source with the last of equal sources kept.
    struct Piece {
        int64_t Low;
        int64_t High;
        size_t Range;
    };
    std::vector<Piece> FPieces;
    std::vector<size_t> FCodeIndex;
    std::bitset<256> FSingleByteCodes;  // the single-byte ranges hold only codes below 256
};

}  // namespace qz::content
