#include "filters/jbig2/SymbolDictionary.h"

#include <algorithm>
#include <cstring>

#include "filters/jbig2/Limits.h"
#include "filters/jbig2/SegmentHeader.h"

namespace qz::filters::jbig2 {

namespace {

constexpr uint32_t kSymbolDictionaryType = 0;
constexpr int32_t kIntegerContexts = 512;
constexpr int32_t kBitmapContexts = 65536;

int64_t Need(TqzIOStream& s, int32_t bits) {
    const int64_t v = s.ReadBits(bits);
    if (v < 0) throw TqzJBIG2Error(kSegmentDataTruncated);
    return v;
}

int64_t NotOutOfBand(int64_t v) {
    if (v == kOutOfBand) throw TqzJBIG2Error(kSymbolDictionaryError);
    return v;
}

std::unique_ptr<TqzCX> Contexts(int32_t size, int32_t index) { return std::make_unique<TqzCX>(size, index); }

// Dictionaries being decoded on this thread, one inside the other.
thread_local int32_t gDictionaryDepth = 0;

struct DepthGuard {
    DepthGuard() {
        if (++gDictionaryDepth > kMaxDictionaryDepth) {
            --gDictionaryDepth;
            throw TqzJBIG2Error("JBIG2 symbol dictionaries import each other too deeply");
        }
    }
    ~DepthGuard() { --gDictionaryDepth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
};

}  // namespace

void TqzSymbolDictionary::Init(TqzSegmentHeader* AHeader, TqzIOStreamPtr Asis) {
    FSegmentHdr = AHeader;
    FsubInputStream = std::move(Asis);
    if (!FsubInputStream) throw TqzJBIG2Error(kSegmentDataTruncated);
    ParseHeader();
}

void TqzSymbolDictionary::ParseHeader() {
    TqzIOStream& s = *FsubInputStream;
    const auto flags = static_cast<uint32_t>(Need(s, 16));
    FIsHuffmanEncoded = (flags & 1) != 0;
    FuserefinementAggregation = ((flags >> 1) & 1) != 0;
    FsdHuffDecodeHieghtSelection = static_cast<int32_t>((flags >> 2) & 3);
    FsdHuffDecodeWidthSelection = static_cast<int32_t>((flags >> 4) & 3);
    FsdHuffBMSizeSelection = static_cast<int32_t>((flags >> 6) & 1);
    FsdHuffAggInstanceSelection = static_cast<int32_t>((flags >> 7) & 1);
    FIsCodingContextUsed = ((flags >> 8) & 1) != 0;
    FIsCodingContextretained = ((flags >> 9) & 1) != 0;
    FsdTemplate = static_cast<int32_t>((flags >> 10) & 3);
    Fsdrtemplate = static_cast<int32_t>((flags >> 12) & 1);
    if (!FIsHuffmanEncoded) ReadAtPixels(s, FsdTemplate == 0 ? 4 : 1, FsdATX, FsdATY);
    if (FuserefinementAggregation && Fsdrtemplate == 0) ReadAtPixels(s, 2, FsdrATX, FsdrATY);
    FAmountOfExportSymbolss = static_cast<uint32_t>(Need(s, 32));
    FAmountOfNewSymbolss = Need(s, 32);

    // The imports are what the referred-to dictionaries really export; the
    // counts they store may say otherwise.
    FImportSymbols.clear();
    TqzSymbolDictionary* last = nullptr;
    if (FSegmentHdr != nullptr) {
        DepthGuard guard;
        for (TqzSegmentHeader* h : FSegmentHdr->GetRTSegments()) {
            if (h == nullptr || h->GetSegmentType() != kSymbolDictionaryType) continue;
            auto* dict = dynamic_cast<TqzSymbolDictionary*>(h->GetSegmentData());
            if (dict == nullptr) continue;
            last = dict;
            const std::vector<TqzBitmapPtr>* list = dict->GetDictionary();
            if (list == nullptr) continue;
            if (static_cast<int64_t>(FImportSymbols.size() + list->size()) > kMaxSymbols) {
                throw TqzJBIG2Error(kSymbolDictionaryError);
            }
            FImportSymbols.insert(FImportSymbols.end(), list->begin(), list->end());
        }
    }
    FAmountOfImportedSymbolss = static_cast<int64_t>(FImportSymbols.size());

    if (FIsCodingContextUsed && last != nullptr && last->FIsCodingContextretained) {
        FIsHuffmanEncoded = last->FIsHuffmanEncoded;
        FuserefinementAggregation = last->FuserefinementAggregation;
        FsdTemplate = last->FsdTemplate;
        Fsdrtemplate = last->Fsdrtemplate;
        FsdATX = last->FsdATX;
        FsdATY = last->FsdATY;
        FsdrATX = last->FsdrATX;
        FsdrATY = last->FsdrATY;
        FCX = last->FCX;
    }
    CheckInput();
}

void TqzSymbolDictionary::CheckInput() {
    if (FIsHuffmanEncoded) {
        FsdTemplate = 0;
        if (!FuserefinementAggregation) {
            FIsCodingContextretained = false;
            FIsCodingContextUsed = false;
        }
    } else {
        FsdHuffBMSizeSelection = 0;
        FsdHuffDecodeWidthSelection = 0;
        FsdHuffDecodeHieghtSelection = 0;
        if (!FuserefinementAggregation) FsdHuffAggInstanceSelection = 0;
    }
}

const std::vector<TqzBitmapPtr>* TqzSymbolDictionary::GetDictionary() {
    if (FFailed) throw TqzJBIG2Error(kSymbolDictionaryError);
    if (!FDecoded) {
        try {
            DepthGuard guard;
            Decode();
        } catch (...) {
            // Half-decoded symbols must not be used by anyone.
            FFailed = true;
            FNewSymbols.clear();
            FsbSymbols.clear();
            FExportSymbols.clear();
            throw;
        }
        FDecoded = true;
    }
    return &FExportSymbols;
}

const TqzHuffmanTable* TqzSymbolDictionary::UserTable(int32_t AIndex) {
    auto table = GetUserTable(FSegmentHdr, AIndex);
    if (!table) throw TqzJBIG2Error("JBIG2 symbol dictionary refers to a missing Huffman table");
    FuserTables.push_back(std::move(table));
    return FuserTables.back().get();
}

void TqzSymbolDictionary::SetupHuffmanTables() {
    int32_t user = 0;
    switch (FsdHuffDecodeHieghtSelection) {
        case 0: FdhTable = &TqzStandardTables::GetTable(4); break;
        case 1: FdhTable = &TqzStandardTables::GetTable(5); break;
        case 3: FdhTable = UserTable(user++); break;
        default: FdhTable = nullptr; break;  // undefined: every delta is 0
    }
    switch (FsdHuffDecodeWidthSelection) {
        case 0: FdwTable = &TqzStandardTables::GetTable(2); break;
        case 1: FdwTable = &TqzStandardTables::GetTable(3); break;
        case 3: FdwTable = UserTable(user++); break;
        default: FdwTable = nullptr; break;
    }
    FbmSizeTable = FsdHuffBMSizeSelection == 0 ? &TqzStandardTables::GetTable(1) : UserTable(user++);
    if (FuserefinementAggregation) {
        FaggInstTable = FsdHuffAggInstanceSelection == 0 ? &TqzStandardTables::GetTable(1) : UserTable(user++);
    }
}

void TqzSymbolDictionary::SetCodingStatistics() {
    if (!FcxIADT) FcxIADT = Contexts(kIntegerContexts, 1);
    if (!FcxIADH) FcxIADH = Contexts(kIntegerContexts, 1);
    if (!FcxIADW) FcxIADW = Contexts(kIntegerContexts, 1);
    if (!FcxIAAI) FcxIAAI = Contexts(kIntegerContexts, 1);
    if (!FcxIAEX) FcxIAEX = Contexts(kIntegerContexts, 1);
    if (FuserefinementAggregation) {
        if (!FcxIAID) FcxIAID = Contexts(1 << FsbSymCodeLen, 0);
        if (!FcxIARDX) FcxIARDX = Contexts(kIntegerContexts, 1);
        if (!FcxIARDY) FcxIARDY = Contexts(kIntegerContexts, 1);
    }
    if (!FiDecoder) {
        FiDecoder = std::make_unique<TqzArithmeticIntegerDecoder>(
            std::make_unique<TqzArithmeticDecoder>(FsubInputStream.get()));
        FArithmeticDecoder = &FiDecoder->Decoder();
    }
}

void TqzSymbolDictionary::Decode() {
    // Symbols are kept as they are decoded, never allocated ahead from the
    // header's count, and the count itself is bounded.
    const int64_t total = FAmountOfImportedSymbolss + FAmountOfNewSymbolss;
    if (total > kMaxSymbols) throw TqzJBIG2Error(kSymbolDictionaryError);
    if (FuserefinementAggregation) {
        FsbSymCodeLen = 0;
        while ((int64_t{1} << FsbSymCodeLen) < total) ++FsbSymCodeLen;
        if (FIsHuffmanEncoded) FsbSymCodeLen = std::max(FsbSymCodeLen, 1);
    }
    if (FIsHuffmanEncoded) {
        SetupHuffmanTables();
    } else {
        SetCodingStatistics();
    }
    if (!FCX || FCX->Size() < kBitmapContexts) FCX = std::make_shared<TqzCX>(kBitmapContexts, 0);

    FsbSymbols = FImportSymbols;
    FNewSymbols.clear();
    FAmountOfDecodedSymbols = 0;
    int64_t hcHeight = 0;
    while (FAmountOfDecodedSymbols < FAmountOfNewSymbolss) {
        hcHeight += NotOutOfBand(DecodeHeightOrWidth(FcxIADH.get(), FdhTable, FsdHuffDecodeHieghtSelection));
        if (hcHeight < 0 || hcHeight > kMaxBitmapDimension) throw TqzJBIG2Error(kSymbolDictionaryError);
        int64_t symWidth = 0;
        int64_t totWidth = 0;
        std::vector<int32_t> widths;
        for (;;) {
            const int64_t dw = DecodeHeightOrWidth(FcxIADW.get(), FdwTable, FsdHuffDecodeWidthSelection);
            if (dw == kOutOfBand) break;
            // A height class must end with out-of-band before the symbols
            // the header promised run out.
            if (FAmountOfDecodedSymbols >= FAmountOfNewSymbolss) {
                throw TqzJBIG2Error("JBIG2 symbol dictionary has more symbols than it declares");
            }
            symWidth += dw;
            if (symWidth < 0 || symWidth > kMaxBitmapDimension) throw TqzJBIG2Error(kSymbolDictionaryError);
            if (!FIsHuffmanEncoded || FuserefinementAggregation) {
                DecodeSymbol(static_cast<int32_t>(symWidth), static_cast<int32_t>(hcHeight));
            } else {
                widths.push_back(static_cast<int32_t>(symWidth));
            }
            ++FAmountOfDecodedSymbols;
            totWidth += symWidth;
            if (totWidth > kMaxBitmapDimension) throw TqzJBIG2Error(kSymbolDictionaryError);
        }
        if (FIsHuffmanEncoded && !FuserefinementAggregation) {
            DecodeHeightClassBitmap(widths, static_cast<int32_t>(hcHeight), totWidth);
        }
    }
    DecodeExports();
}

int64_t TqzSymbolDictionary::DecodeHeightOrWidth(TqzCX* Acx, const TqzHuffmanTable* Atable, int32_t ASelection) {
    if (!FIsHuffmanEncoded) return FiDecoder->Decode(Acx);
    if (ASelection == 2 || Atable == nullptr) return 0;
    if (FsubInputStream->AtEnd()) throw TqzJBIG2Error(kSegmentDataTruncated);
    return Atable->Decode(*FsubInputStream);
}

void TqzSymbolDictionary::AddNewSymbol(TqzBitmapPtr ASymbol) {
    FNewSymbols.push_back(ASymbol);
    FsbSymbols.push_back(std::move(ASymbol));
}

void TqzSymbolDictionary::DecodeSymbol(int32_t AsymWidth, int32_t AhcHeight) {
    if (!FuserefinementAggregation) {
        if (!FGenericRegion) FGenericRegion = std::make_unique<TqzGenericRegion>(FsubInputStream);
        FGenericRegion->SetParameters(false, FsdTemplate, false, false, FsdATX, FsdATY, AsymWidth, AhcHeight, FCX.get(),
                                      FArithmeticDecoder);
        AddNewSymbol(FGenericRegion->GetRegionBitmap());
        return;
    }
    int64_t instances;
    if (FIsHuffmanEncoded) {
        if (FsubInputStream->AtEnd()) throw TqzJBIG2Error(kSegmentDataTruncated);
        instances = FaggInstTable->Decode(*FsubInputStream);
    } else {
        instances = FiDecoder->Decode(FcxIAAI.get());
    }
    // A symbol made of no instance would leave the symbol list out of step
    // with the symbol numbers later symbols and regions use.
    if (instances == kOutOfBand || instances < 1 || instances > kMaxTextInstances) {
        throw TqzJBIG2Error(kSymbolDictionaryError);
    }
    if (instances == 1) {
        DecodeRefinedSymbol(AsymWidth, AhcHeight);
    } else {
        DecodeAggregateSymbol(AsymWidth, AhcHeight, instances);
    }
}

void TqzSymbolDictionary::DecodeRefinedSymbol(int32_t AsymWidth, int32_t AhcHeight) {
    TqzIOStream& s = *FsubInputStream;
    int64_t id;
    int64_t rdx;
    int64_t rdy;
    int64_t bmSize = 0;
    if (FIsHuffmanEncoded) {
        id = Need(s, FsbSymCodeLen);
        const TqzHuffmanTable& b15 = TqzStandardTables::GetTable(15);
        rdx = NotOutOfBand(b15.Decode(s));
        rdy = NotOutOfBand(b15.Decode(s));
        bmSize = NotOutOfBand(TqzStandardTables::GetTable(1).Decode(s));
        s.SkipBits();
        if (bmSize < 0 || bmSize > s.Available()) throw TqzJBIG2Error(kSegmentDataTruncated);
    } else {
        id = FiDecoder->DecodeIAID(*FcxIAID, FsbSymCodeLen);
        rdx = NotOutOfBand(FiDecoder->Decode(FcxIARDX.get()));
        rdy = NotOutOfBand(FiDecoder->Decode(FcxIARDY.get()));
    }
    if (id < 0 || id >= static_cast<int64_t>(FsbSymbols.size()) || !FsbSymbols[static_cast<size_t>(id)]) {
        throw TqzJBIG2Error("JBIG2 symbol dictionary refines a symbol that does not exist");
    }
    if (rdx > kMaxBitmapDimension || rdx < -kMaxBitmapDimension || rdy > kMaxBitmapDimension ||
        rdy < -kMaxBitmapDimension) {
        throw TqzJBIG2Error(kSymbolDictionaryError);
    }
    if (!FgenericRefinementRegion) FgenericRefinementRegion = std::make_unique<TqzGenericRefinementRegion>(FsubInputStream);
    const TqzBitmapPtr& reference = FsbSymbols[static_cast<size_t>(id)];
    if (FIsHuffmanEncoded) {
        // The refinement data is framed by its size: a decoder of its own,
        // and reading goes on right after it.
        const int64_t pos = s.GetStreamPos();
        TqzIOStream window(s, s.GetOffset() + pos, bmSize);
        TqzArithmeticDecoder decoder(&window);
        FgenericRefinementRegion->SetParameters(FCX.get(), &decoder, Fsdrtemplate, AsymWidth, AhcHeight, reference,
                                                static_cast<int32_t>(rdx), static_cast<int32_t>(rdy), false, FsdrATX,
                                                FsdrATY);
        TqzBitmapPtr symbol = FgenericRefinementRegion->GetRegionBitmap();
        FgenericRefinementRegion->SetParameters(nullptr, nullptr, 0, 0, 0, nullptr, 0, 0, false, {}, {});
        s.Seek(pos + bmSize);
        AddNewSymbol(std::move(symbol));
    } else {
        FgenericRefinementRegion->SetParameters(FCX.get(), FArithmeticDecoder, Fsdrtemplate, AsymWidth, AhcHeight,
                                                reference, static_cast<int32_t>(rdx), static_cast<int32_t>(rdy), false,
                                                FsdrATX, FsdrATY);
        AddNewSymbol(FgenericRefinementRegion->GetRegionBitmap());
    }
}

void TqzSymbolDictionary::DecodeAggregateSymbol(int32_t AsymWidth, int32_t AhcHeight, int64_t AinstanceCount) {
    if (!FTextRegion) {
        FTextRegion = std::make_unique<TqzTextRegion>(FsubInputStream, nullptr);
        if (!FIsHuffmanEncoded) {
            // One set of integer contexts serves the whole dictionary: the
            // symbol IDs and refinement offsets of single refinements and of
            // aggregate parts share their statistics.
            FcxIAFS = Contexts(kIntegerContexts, 1);
            FcxIADS = Contexts(kIntegerContexts, 1);
            FcxIAIT = Contexts(kIntegerContexts, 1);
            FcxIARDW = Contexts(kIntegerContexts, 1);
            FcxIARDH = Contexts(kIntegerContexts, 1);
            FTextRegion->SetContexts(FCX.get(), FcxIADT.get(), FcxIAFS.get(), FcxIADS.get(), FcxIAIT.get(),
                                     FcxIAID.get(), FcxIARDW.get(), FcxIARDH.get(), FcxIARDX.get(), FcxIARDY.get());
        } else {
            FTextRegion->SetContexts(FCX.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                     nullptr, nullptr);
        }
    }
    FTextRegion->SetParameters(FArithmeticDecoder, FiDecoder.get(), FIsHuffmanEncoded, true, AsymWidth, AhcHeight,
                               AinstanceCount, 1, static_cast<int32_t>(FsbSymbols.size()), 0, 0, false, 1, 0, 0, 0,
                               0, 1, 1, 1, 1, 0, Fsdrtemplate, FsdrATX, FsdrATY, &FsbSymbols, FsbSymCodeLen);
    AddNewSymbol(FTextRegion->GetRegionBitmap());
}

void TqzSymbolDictionary::DecodeHeightClassBitmap(const std::vector<int32_t>& Awidths, int32_t AhcHeight,
                                                  int64_t AtotalWidth) {
    TqzIOStream& s = *FsubInputStream;
    if (s.AtEnd()) throw TqzJBIG2Error(kSegmentDataTruncated);
    const int64_t bmSize = NotOutOfBand(FbmSizeTable->Decode(s));
    s.SkipBits();
    if (bmSize < 0 || bmSize > s.Available()) throw TqzJBIG2Error(kSegmentDataTruncated);
    const int64_t pos = s.GetStreamPos();
    TqzBitmapPtr collective;
    if (bmSize == 0) {
        const int64_t stride = (AtotalWidth + 7) / 8;
        if (stride * AhcHeight > s.Available()) throw TqzJBIG2Error(kSegmentDataTruncated);
        collective = std::make_shared<TqzImageBitmap>(AtotalWidth, AhcHeight);
        if (stride * AhcHeight > 0) {
            std::memcpy(collective->GetByteArray().data(), s.Bytes(pos), static_cast<size_t>(stride * AhcHeight));
        }
        collective->ClearPadding();
        s.Seek(pos + stride * AhcHeight);
    } else {
        if (!FGenericRegion) FGenericRegion = std::make_unique<TqzGenericRegion>(FsubInputStream);
        FGenericRegion->SetParameters(true, pos, bmSize, AhcHeight, static_cast<int32_t>(AtotalWidth));
        collective = FGenericRegion->GetRegionBitmap();
        s.Seek(pos + bmSize);
    }
    int32_t x = 0;
    for (const int32_t w : Awidths) {
        // An empty symbol has no pixels to copy.
        AddNewSymbol(w == 0 || AhcHeight == 0 ? std::make_shared<TqzImageBitmap>(w, AhcHeight)
                                              : collective->GetRegionOfInterest({x, 0, x + w, AhcHeight}));
        x += w;
    }
}

void TqzSymbolDictionary::DecodeExports() {
    const int64_t total = FAmountOfImportedSymbolss + FAmountOfNewSymbolss;
    FExportSymbols.clear();
    int64_t index = 0;
    int64_t runs = 0;
    bool exported = false;
    while (index < total) {
        // Zero-length runs only make sense one at a time; more runs than
        // symbols is data that never covers them.
        if (++runs > 2 * total + 2) throw TqzJBIG2Error(kSymbolDictionaryError);
        int64_t run;
        if (FIsHuffmanEncoded) {
            if (FsubInputStream->AtEnd()) throw TqzJBIG2Error(kSegmentDataTruncated);
            run = TqzStandardTables::GetTable(1).Decode(*FsubInputStream);
        } else {
            run = FiDecoder->Decode(FcxIAEX.get());
        }
        if (run == kOutOfBand || run < 0 || run > total - index) {
            throw TqzJBIG2Error("JBIG2 symbol dictionary export flags do not fit its symbols");
        }
        if (exported) {
            for (int64_t i = index; i < index + run; ++i) {
                FExportSymbols.push_back(i < FAmountOfImportedSymbolss
                                             ? FImportSymbols[static_cast<size_t>(i)]
                                             : FNewSymbols[static_cast<size_t>(i - FAmountOfImportedSymbolss)]);
            }
        }
        index += run;
        exported = !exported;
    }
}

}  // namespace qz::filters::jbig2
