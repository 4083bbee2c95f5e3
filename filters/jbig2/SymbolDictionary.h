#pragma once
// TqzSymbolDictionary: the data object of symbol dictionary segments. It
// decodes the dictionary's new symbols height class by height class (each
// symbol through a generic region, by refinement or aggregation through a
// text region, or as Huffman-coded collective bitmaps), adds the symbols it
// imports from the dictionaries it refers to and exports the flagged ones.
// Decoding happens on the first GetDictionary. The dictionary owns its
// decoders, contexts, regions and user tables; the symbol bitmaps are
// shared with the text regions and dictionaries that use them.

#include <cstdint>
#include <memory>
#include <vector>

#include "filters/jbig2/ArithmeticDecoder.h"
#include "filters/jbig2/GenericRegion.h"
#include "filters/jbig2/HuffmanTable.h"
#include "filters/jbig2/RefinementRegion.h"
#include "filters/jbig2/SegmentData.h"
#include "filters/jbig2/TextRegion.h"

namespace qz::filters::jbig2 {

class TqzSymbolDictionary : public TqzIDictionary {
public:
    // Keeps reader and header and parses the dictionary's header (which
    // decodes the dictionaries it imports from).
    void Init(TqzSegmentHeader* AHeader, TqzIOStreamPtr Asis) override;
    // The exported symbols, decoded on the first call; the same list after.
    // Bad data raises a plain exception (and so does every later call).
    const std::vector<TqzBitmapPtr>* GetDictionary() override;

    // The header as parsed (after the consistency rules).
    bool IsHuffmanEncoded() const { return FIsHuffmanEncoded; }
    bool UsesRefinementAggregation() const { return FuserefinementAggregation; }
    int32_t GetSdTemplate() const { return FsdTemplate; }
    int32_t GetSdrTemplate() const { return Fsdrtemplate; }
    bool IsCodingContextRetained() const { return FIsCodingContextretained; }
    bool IsCodingContextUsed() const { return FIsCodingContextUsed; }
    int32_t GetHuffDH() const { return FsdHuffDecodeHieghtSelection; }
    int32_t GetHuffDW() const { return FsdHuffDecodeWidthSelection; }
    int32_t GetHuffBMSize() const { return FsdHuffBMSizeSelection; }
    int32_t GetHuffAggInst() const { return FsdHuffAggInstanceSelection; }
    uint32_t GetNumberOfExportedSymbols() const { return FAmountOfExportSymbolss; }
    int64_t GetNumberOfNewSymbols() const { return FAmountOfNewSymbolss; }
    int64_t GetNumberOfImportedSymbols() const { return FAmountOfImportedSymbolss; }
    const std::vector<int16_t>& GetAtX() const { return FsdATX; }
    const std::vector<int16_t>& GetAtY() const { return FsdATY; }
    const std::vector<int16_t>& GetRAtX() const { return FsdrATX; }
    const std::vector<int16_t>& GetRAtY() const { return FsdrATY; }
    // The generic or refinement contexts, for a later dictionary that
    // takes them over.
    std::shared_ptr<TqzCX> GetContexts() const { return FCX; }

private:
    void ParseHeader();
    void Decode();
    void CheckInput();
    void SetCodingStatistics();
    int64_t DecodeHeightOrWidth(TqzCX* Acx, const TqzHuffmanTable* Atable, int32_t ASelection);
    void DecodeSymbol(int32_t AsymWidth, int32_t AhcHeight);
    void DecodeRefinedSymbol(int32_t AsymWidth, int32_t AhcHeight);
    void DecodeAggregateSymbol(int32_t AsymWidth, int32_t AhcHeight, int64_t AinstanceCount);
    void DecodeHeightClassBitmap(const std::vector<int32_t>& Awidths, int32_t AhcHeight, int64_t AtotalWidth);
    void AddNewSymbol(TqzBitmapPtr ASymbol);
    void DecodeExports();
    const TqzHuffmanTable* UserTable(int32_t AIndex);
    void SetupHuffmanTables();

    TqzIOStreamPtr FsubInputStream;
    TqzSegmentHeader* FSegmentHdr = nullptr;
    int32_t Fsdrtemplate = 0;
    int32_t FsdTemplate = 0;
    bool FIsCodingContextretained = false;
    bool FIsCodingContextUsed = false;
    int32_t FsdHuffAggInstanceSelection = 0;
    int32_t FsdHuffBMSizeSelection = 0;
    int32_t FsdHuffDecodeWidthSelection = 0;
    int32_t FsdHuffDecodeHieghtSelection = 0;
    bool FuserefinementAggregation = false;
    bool FIsHuffmanEncoded = false;
    std::vector<int16_t> FsdATX, FsdATY, FsdrATX, FsdrATY;
    uint32_t FAmountOfExportSymbolss = 0;
    int64_t FAmountOfNewSymbolss = 0;
    int64_t FAmountOfImportedSymbolss = 0;
    std::vector<TqzBitmapPtr> FImportSymbols;
    int64_t FAmountOfDecodedSymbols = 0;
    std::vector<TqzBitmapPtr> FNewSymbols;
    std::vector<TqzBitmapPtr> FsbSymbols;
    std::vector<TqzBitmapPtr> FExportSymbols;
    bool FDecoded = false;
    bool FFailed = false;
    int32_t FsbSymCodeLen = 0;

    std::unique_ptr<TqzArithmeticIntegerDecoder> FiDecoder;
    TqzArithmeticDecoder* FArithmeticDecoder = nullptr;
    std::unique_ptr<TqzGenericRegion> FGenericRegion;
    std::unique_ptr<TqzGenericRefinementRegion> FgenericRefinementRegion;
    std::unique_ptr<TqzTextRegion> FTextRegion;
    std::shared_ptr<TqzCX> FCX;
    std::unique_ptr<TqzCX> FcxIADH, FcxIADW, FcxIAAI, FcxIAEX, FcxIARDX, FcxIARDY, FcxIADT, FcxIAID;
    std::unique_ptr<TqzCX> FcxIAFS, FcxIADS, FcxIAIT, FcxIARDW, FcxIARDH;  // the aggregate text region's

    const TqzHuffmanTable* FdhTable = nullptr;
    const TqzHuffmanTable* FdwTable = nullptr;
    const TqzHuffmanTable* FbmSizeTable = nullptr;
    const TqzHuffmanTable* FaggInstTable = nullptr;
    std::vector<std::unique_ptr<TqzHuffmanTable>> FuserTables;
};

inline constexpr const char* kSymbolDictionaryError = "JBIG2 symbol dictionary data is invalid";

}  // namespace qz::filters::jbig2
