#pragma once
// TqzTextRegion: a region made by placing symbol instances, each a symbol of
// the referred-to symbol dictionaries, optionally refined, strip by strip.
// It serves text region segments and, through SetParameters, the aggregate
// symbols of a symbol dictionary. The region owns its region information,
// the contexts, user tables and refinement region it made; the symbols
// belong to their dictionaries, contexts and decoders handed in stay their
// giver's, and the region bitmap is shared with whoever asked for it.

#include <cstdint>
#include <memory>
#include <vector>

#include "filters/jbig2/ArithmeticDecoder.h"
#include "filters/jbig2/HuffmanTable.h"
#include "filters/jbig2/RefinementRegion.h"
#include "filters/jbig2/SegmentData.h"

namespace qz::filters::jbig2 {

class TqzSegmentHeader;

// User Huffman table `An` (0-based) among the table segments `AHeader`
// refers to; none when there are fewer. Each call builds a new table.
std::unique_ptr<TqzHuffmanTable> GetUserTable(TqzSegmentHeader* AHeader, int32_t An);

class TqzTextRegion : public TqzIRegion {
public:
    TqzTextRegion() = default;
    // A region driven through SetParameters over `AsubInputStream` (the
    // driving dictionary's reader); `Asegmenthdr` may be none.
    TqzTextRegion(TqzIOStreamPtr AsubInputStream, TqzSegmentHeader* Asegmenthdr);

    // Keeps header and reader and parses the region's header, collecting
    // the symbols of the referred-to dictionaries (which decodes them).
    void Init(TqzSegmentHeader* Asegment, TqzIOStreamPtr Aiis) override;
    // A segment's region is decoded on the first call and the same bitmap
    // returned afterwards; a driven region decodes anew from the reader's
    // position on every call.
    TqzBitmapPtr GetRegionBitmap() override;
    TqzRegionSegmentInformation* GetRegionInfo() override { return FregionInfo.get(); }

    // Context stores of a driving dictionary (refinement contexts first);
    // a null entry leaves the region to make its own.
    void SetContexts(TqzCX* Acx, TqzCX* AcxIADT, TqzCX* AcxIAFS, TqzCX* AcxIADS, TqzCX* AcxIAIT, TqzCX* AcxIAID,
                     TqzCX* AcxIARDW, TqzCX* AcxIARDH, TqzCX* AcxIARDX, TqzCX* AcxIARDY);
    // Every parameter of a driven decoding. Huffman symbol IDs are then read
    // as `AsbSymCodeLen` plain bits. `AsbSyms` stays the caller's and must
    // outlive the decoding.
    void SetParameters(TqzArithmeticDecoder* AarithmeticDecoder, TqzArithmeticIntegerDecoder* AiDecoder,
                       bool AisHuffmanEncoded, bool AsbRefine, int32_t Asbw, int32_t Asbh, int64_t AsbNumInstances,
                       int32_t AsbStrips, int32_t AsbNumSyms, int32_t AsbDefaultPixel,
                       int32_t AsbCombinationOperator, bool Atransposed, int32_t ArefCorner, int32_t AsbdsOffset,
                       int32_t AsbHuffFS, int32_t AsbHuffDS, int32_t AsbHuffDT, int32_t AsbHuffRDWidth,
                       int32_t AsbHuffRDHeight, int32_t AsbHuffRDX, int32_t AsbHuffRDY, int32_t AsbHuffRSize,
                       int32_t AsbrTemplate, const std::vector<int16_t>& AsbrATX,
                       const std::vector<int16_t>& AsbrATY, const std::vector<TqzBitmapPtr>* AsbSyms,
                       int32_t AsbSymCodeLen);

    // The header as parsed.
    int32_t GetSbrTemplate() const { return Fsbrtemplate; }
    int32_t GetSbdsOffset() const { return FsbdsOffset; }
    int32_t GetDefaultPixel() const { return FdefaultPixel; }
    FCombinationOPerator GetCombinationOperator() const { return FCombinationOPerator_; }
    bool IsTransposed() const { return FisTransposed; }
    int32_t GetReferenceCorner() const { return FreferenceCorner; }
    int32_t GetSbStrips() const { return FsbStrips; }
    bool UsesRefinement() const { return FuseRefinement; }
    bool IsHuffmanEncoded() const { return FIsHuffmanEncoded; }
    int64_t GetNumberOfInstances() const { return FAmountofSymbolsInstances; }
    int32_t GetNumberOfSymbols() const { return FAmountofSymbols; }
    int32_t GetSymbolCodeLength() const { return FsymbolCodeLength; }
    const std::vector<int16_t>& GetSbrAtX() const { return FsbrATX; }
    const std::vector<int16_t>& GetSbrAtY() const { return FsbrATY; }

private:
    void ParseHeader();
    void SymbolIDCodeLengths();
    void SetupHuffmanTables();
    TqzBitmapPtr Decode();
    int64_t DecodeValue(TqzCX* Acx, const TqzHuffmanTable* Atable);
    int64_t DecodeID();
    TqzBitmapPtr DecodeInstanceBitmap(int64_t AId);
    const TqzHuffmanTable* TableFor(int32_t ASelection, const int32_t* AStandard, int32_t ACount,
                                    int32_t& AUserIndex);

    TqzIOStreamPtr FsubInputStream;
    TqzSegmentHeader* FSegmentHdr = nullptr;
    std::unique_ptr<TqzRegionSegmentInformation> FregionInfo;

    std::vector<TqzBitmapPtr> FOwnSymbols;  // a segment's symbols
    const std::vector<TqzBitmapPtr>* FSymbols = &FOwnSymbols;
    int32_t FAmountofSymbols = 0;
    int64_t FAmountofSymbolsInstances = 0;
    int32_t FsymbolCodeLength = 0;

    TqzArithmeticDecoder* FArithmeticDecoder = nullptr;
    TqzArithmeticIntegerDecoder* FiDecoder = nullptr;
    std::unique_ptr<TqzArithmeticIntegerDecoder> FownIDecoder;
    std::unique_ptr<TqzGenericRefinementRegion> FgenericRefinementRegion;
    TqzBitmapPtr FregionBitmap;

    int32_t Fsbrtemplate = 0;
    int32_t FsbdsOffset = 0;
    int32_t FdefaultPixel = 0;
    FCombinationOPerator FCombinationOPerator_ = FCombinationOPerator::OROP;
    bool FisTransposed = false;
    int32_t FreferenceCorner = 0;
    int32_t FlogSBStrips = 0;
    int32_t FsbStrips = 1;
    bool FuseRefinement = false;
    bool FIsHuffmanEncoded = false;
    int32_t FsbHuffRSize = 0, FsbHuffRDY = 0, FsbHuffRDX = 0, FsbHuffRDHeight = 0, FsbHuffRDWidth = 0;
    int32_t FsbHuffDT = 0, FsbHuffDS = 0, FsbHuffFS = 0;
    std::vector<int16_t> FsbrATX;
    std::vector<int16_t> FsbrATY;

    // Integer contexts: handed in, or made here (the own ones).
    TqzCX* FcxIADT = nullptr;
    TqzCX* FcxIAFS = nullptr;
    TqzCX* FcxIADS = nullptr;
    TqzCX* FcxIAIT = nullptr;
    TqzCX* FcxIARI = nullptr;
    TqzCX* FcxIARDW = nullptr;
    TqzCX* FcxIARDH = nullptr;
    TqzCX* FcxIARDX = nullptr;
    TqzCX* FcxIARDY = nullptr;
    TqzCX* FcxIAID = nullptr;
    TqzCX* FCX = nullptr;
    std::vector<std::unique_ptr<TqzCX>> FownContexts;

    std::unique_ptr<TqzFixedSizeTable> FsymbolCodeTable;
    // Tables in use (standard ones are shared, user ones owned below).
    const TqzHuffmanTable* FfsTable = nullptr;
    const TqzHuffmanTable* FdsTable = nullptr;
    const TqzHuffmanTable* FTable = nullptr;
    const TqzHuffmanTable* FrdwTable = nullptr;
    const TqzHuffmanTable* FrdhTable = nullptr;
    const TqzHuffmanTable* FrdxTable = nullptr;
    const TqzHuffmanTable* FrdyTable = nullptr;
    const TqzHuffmanTable* FrsizeTable = nullptr;
    std::vector<std::unique_ptr<TqzHuffmanTable>> FuserTables;
    bool FtablesReady = false;
};

inline constexpr const char* kTextRegionError = "JBIG2 text region data is invalid";

}  // namespace qz::filters::jbig2
