#include "filters/jbig2/TextRegion.h"

#include <algorithm>

#include "filters/jbig2/Limits.h"
#include "filters/jbig2/SegmentHeader.h"

namespace qz::filters::jbig2 {

namespace {

constexpr uint32_t kSymbolDictionaryType = 0;
constexpr uint32_t kTablesType = 53;
constexpr int32_t kIntegerContexts = 512;

int64_t Need(TqzIOStream& s, int32_t bits) {
    const int64_t v = s.ReadBits(bits);
    if (v < 0) throw TqzJBIG2Error(kSegmentDataTruncated);
    return v;
}

// Running positions stay far inside 64 bits: data that drives them past
// any region describes nothing that can be drawn.
int64_t Bounded(int64_t v) {
    if (v > kMaxTextCoordinate || v < -kMaxTextCoordinate) throw TqzJBIG2Error(kTextRegionError);
    return v;
}

int32_t CodeLengthFor(int64_t symbols) {
    int32_t len = 0;
    while ((int64_t{1} << len) < symbols) ++len;
    return len;
}

constexpr int32_t kFsTables[] = {6, 7};
constexpr int32_t kDsTables[] = {8, 9, 10};
constexpr int32_t kDtTables[] = {11, 12, 13};
constexpr int32_t kRdTables[] = {14, 15};
constexpr int32_t kRSizeTables[] = {1};

}  // namespace

std::unique_ptr<TqzHuffmanTable> GetUserTable(TqzSegmentHeader* AHeader, int32_t An) {
    if (AHeader == nullptr) return nullptr;
    int32_t seen = 0;
    for (TqzSegmentHeader* h : AHeader->GetRTSegments()) {
        if (h == nullptr || h->GetSegmentType() != kTablesType) continue;
        if (seen++ != An) continue;
        // A table segment's own reader is consumed by parsing; a fresh one
        // lets several regions use the same table.
        TqzTable table;
        table.Init(h, h->GetDataInputStream());
        return std::make_unique<TqzEncodedTable>(table);
    }
    return nullptr;
}

TqzTextRegion::TqzTextRegion(TqzIOStreamPtr AsubInputStream, TqzSegmentHeader* Asegmenthdr)
    : FsubInputStream(std::move(AsubInputStream)),
      FSegmentHdr(Asegmenthdr),
      FregionInfo(std::make_unique<TqzRegionSegmentInformation>(FsubInputStream)) {}

void TqzTextRegion::Init(TqzSegmentHeader* Asegment, TqzIOStreamPtr Aiis) {
    FSegmentHdr = Asegment;
    FsubInputStream = std::move(Aiis);
    if (!FsubInputStream) throw TqzJBIG2Error(kSegmentDataTruncated);
    FregionInfo = std::make_unique<TqzRegionSegmentInformation>(FsubInputStream);
    ParseHeader();
}

void TqzTextRegion::ParseHeader() {
    FregionInfo->ParseHeader();
    TqzIOStream& s = *FsubInputStream;
    const auto flags = static_cast<uint32_t>(Need(s, 16));
    FIsHuffmanEncoded = (flags & 1) != 0;
    FuseRefinement = ((flags >> 1) & 1) != 0;
    FlogSBStrips = static_cast<int32_t>((flags >> 2) & 3);
    FsbStrips = 1 << FlogSBStrips;
    FreferenceCorner = static_cast<int32_t>((flags >> 4) & 3);
    FisTransposed = ((flags >> 6) & 1) != 0;
    FCombinationOPerator_ = TranslateOperatorCodeToEnum(static_cast<int32_t>((flags >> 7) & 3));
    FdefaultPixel = static_cast<int32_t>((flags >> 9) & 1);
    FsbdsOffset = static_cast<int32_t>((flags >> 10) & 0x1F);
    if (FsbdsOffset > 15) FsbdsOffset -= 32;
    Fsbrtemplate = static_cast<int32_t>((flags >> 15) & 1);

    if (FIsHuffmanEncoded) {
        const auto h = static_cast<uint32_t>(Need(s, 16));
        FsbHuffFS = static_cast<int32_t>(h & 3);
        FsbHuffDS = static_cast<int32_t>((h >> 2) & 3);
        FsbHuffDT = static_cast<int32_t>((h >> 4) & 3);
        FsbHuffRDWidth = static_cast<int32_t>((h >> 6) & 3);
        FsbHuffRDHeight = static_cast<int32_t>((h >> 8) & 3);
        FsbHuffRDX = static_cast<int32_t>((h >> 10) & 3);
        FsbHuffRDY = static_cast<int32_t>((h >> 12) & 3);
        FsbHuffRSize = static_cast<int32_t>((h >> 14) & 1);
    }
    if (FuseRefinement && Fsbrtemplate == 0) ReadAtPixels(s, 2, FsbrATX, FsbrATY);
    FAmountofSymbolsInstances = Need(s, 32);
    if (FAmountofSymbolsInstances > kMaxTextInstances) throw TqzJBIG2Error(kTextRegionError);

    FOwnSymbols.clear();
    if (FSegmentHdr != nullptr) {
        for (TqzSegmentHeader* h : FSegmentHdr->GetRTSegments()) {
            if (h == nullptr || h->GetSegmentType() != kSymbolDictionaryType) continue;
            auto* dict = dynamic_cast<TqzIDictionary*>(h->GetSegmentData());
            const std::vector<TqzBitmapPtr>* list = dict != nullptr ? dict->GetDictionary() : nullptr;
            if (list == nullptr) continue;
            if (static_cast<int64_t>(FOwnSymbols.size() + list->size()) > kMaxSymbols) {
                throw TqzJBIG2Error(kTextRegionError);
            }
            FOwnSymbols.insert(FOwnSymbols.end(), list->begin(), list->end());
        }
    }
    FSymbols = &FOwnSymbols;
    FAmountofSymbols = static_cast<int32_t>(FOwnSymbols.size());
    FsymbolCodeLength = CodeLengthFor(FAmountofSymbols);
    if (FIsHuffmanEncoded) SymbolIDCodeLengths();

    if (!FuseRefinement) {
        Fsbrtemplate = 0;
        FsbHuffRSize = FsbHuffRDY = FsbHuffRDX = FsbHuffRDWidth = FsbHuffRDHeight = 0;
    }
}

void TqzTextRegion::SymbolIDCodeLengths() {
    TqzIOStream& s = *FsubInputStream;
    TqzCodeList runCodes;
    for (int32_t i = 0; i < 35; ++i) {
        const auto len = static_cast<int32_t>(Need(s, 4));
        if (len > 0) runCodes.emplace_back(len, 0, i, false);
    }
    const auto n = static_cast<size_t>(FAmountofSymbols);
    if (n == 0) {
        s.SkipBits();
        return;
    }
    if (runCodes.empty()) throw TqzJBIG2Error(kTextRegionError);
    const TqzFixedSizeTable runTable(std::move(runCodes));
    std::vector<int32_t> lengths(n, 0);
    size_t i = 0;
    while (i < n) {
        if (s.AtEnd()) throw TqzJBIG2Error(kSegmentDataTruncated);
        const int64_t code = runTable.Decode(s);
        if (code < 0 || code > 34) throw TqzJBIG2Error(kTextRegionError);
        if (code < 32) {
            lengths[i++] = static_cast<int32_t>(code);
            continue;
        }
        int32_t value = 0;
        int64_t repeat = 0;
        if (code == 32) {
            if (i == 0) throw TqzJBIG2Error(kTextRegionError);  // nothing to repeat
            value = lengths[i - 1];
            repeat = 3 + Need(s, 2);
        } else if (code == 33) {
            repeat = 3 + Need(s, 3);
        } else {
            repeat = 11 + Need(s, 7);
        }
        // A run past the last symbol would write lengths of symbols that
        // do not exist.
        if (repeat > static_cast<int64_t>(n - i)) throw TqzJBIG2Error(kTextRegionError);
        std::fill_n(lengths.begin() + static_cast<std::ptrdiff_t>(i), repeat, value);
        i += static_cast<size_t>(repeat);
    }
    s.SkipBits();
    TqzCodeList codes;
    for (size_t k = 0; k < n; ++k) {
        if (lengths[k] > 0) codes.emplace_back(lengths[k], 0, static_cast<int32_t>(k), false);
    }
    if (codes.empty()) throw TqzJBIG2Error(kTextRegionError);
    FsymbolCodeTable = std::make_unique<TqzFixedSizeTable>(std::move(codes));
}

void TqzTextRegion::SetContexts(TqzCX* Acx, TqzCX* AcxIADT, TqzCX* AcxIAFS, TqzCX* AcxIADS, TqzCX* AcxIAIT,
                                TqzCX* AcxIAID, TqzCX* AcxIARDW, TqzCX* AcxIARDH, TqzCX* AcxIARDX,
                                TqzCX* AcxIARDY) {
    FCX = Acx;
    FcxIADT = AcxIADT;
    FcxIAFS = AcxIAFS;
    FcxIADS = AcxIADS;
    FcxIAIT = AcxIAIT;
    FcxIAID = AcxIAID;
    FcxIARDW = AcxIARDW;
    FcxIARDH = AcxIARDH;
    FcxIARDX = AcxIARDX;
    FcxIARDY = AcxIARDY;
}

void TqzTextRegion::SetParameters(TqzArithmeticDecoder* AarithmeticDecoder, TqzArithmeticIntegerDecoder* AiDecoder,
                                  bool AisHuffmanEncoded, bool AsbRefine, int32_t Asbw, int32_t Asbh,
                                  int64_t AsbNumInstances, int32_t AsbStrips, int32_t AsbNumSyms,
                                  int32_t AsbDefaultPixel, int32_t AsbCombinationOperator, bool Atransposed,
                                  int32_t ArefCorner, int32_t AsbdsOffset, int32_t AsbHuffFS, int32_t AsbHuffDS,
                                  int32_t AsbHuffDT, int32_t AsbHuffRDWidth, int32_t AsbHuffRDHeight,
                                  int32_t AsbHuffRDX, int32_t AsbHuffRDY, int32_t AsbHuffRSize,
                                  int32_t AsbrTemplate, const std::vector<int16_t>& AsbrATX,
                                  const std::vector<int16_t>& AsbrATY, const std::vector<TqzBitmapPtr>* AsbSyms,
                                  int32_t AsbSymCodeLen) {
    FArithmeticDecoder = AarithmeticDecoder;
    FiDecoder = AiDecoder;
    FIsHuffmanEncoded = AisHuffmanEncoded;
    FuseRefinement = AsbRefine;
    if (!FregionInfo) FregionInfo = std::make_unique<TqzRegionSegmentInformation>(FsubInputStream);
    FregionInfo->SetBitmapWidth(static_cast<uint32_t>(std::max(Asbw, 0)));
    FregionInfo->SetBitmapHeight(static_cast<uint32_t>(std::max(Asbh, 0)));
    FAmountofSymbolsInstances = AsbNumInstances;
    FsbStrips = std::max(AsbStrips, 1);
    FlogSBStrips = CodeLengthFor(FsbStrips);
    FAmountofSymbols = AsbNumSyms;
    FdefaultPixel = AsbDefaultPixel;
    FCombinationOPerator_ = TranslateOperatorCodeToEnum(AsbCombinationOperator);
    FisTransposed = Atransposed;
    FreferenceCorner = ArefCorner & 3;
    FsbdsOffset = AsbdsOffset;
    FsbHuffFS = AsbHuffFS;
    FsbHuffDS = AsbHuffDS;
    FsbHuffDT = AsbHuffDT;
    FsbHuffRDWidth = AsbHuffRDWidth;
    FsbHuffRDHeight = AsbHuffRDHeight;
    FsbHuffRDX = AsbHuffRDX;
    FsbHuffRDY = AsbHuffRDY;
    FsbHuffRSize = AsbHuffRSize;
    Fsbrtemplate = AsbrTemplate & 1;
    FsbrATX = AsbrATX;
    FsbrATY = AsbrATY;
    FSymbols = AsbSyms != nullptr ? AsbSyms : &FOwnSymbols;
    FsymbolCodeLength = AsbSymCodeLen;
    FsymbolCodeTable.reset();
    FtablesReady = false;
    FregionBitmap.reset();
}

const TqzHuffmanTable* TqzTextRegion::TableFor(int32_t ASelection, const int32_t* AStandard, int32_t ACount,
                                               int32_t& AUserIndex) {
    const int32_t user = ACount == 1 ? 1 : 3;
    if (ASelection == user) {
        auto table = GetUserTable(FSegmentHdr, AUserIndex++);
        if (!table) throw TqzJBIG2Error("JBIG2 text region refers to a missing Huffman table");
        FuserTables.push_back(std::move(table));
        return FuserTables.back().get();
    }
    if (ASelection < 0 || ASelection >= ACount) throw TqzJBIG2Error(kTextRegionError);
    return &TqzStandardTables::GetTable(AStandard[ASelection]);
}

void TqzTextRegion::SetupHuffmanTables() {
    if (FtablesReady) return;
    FuserTables.clear();
    int32_t user = 0;
    FfsTable = TableFor(FsbHuffFS, kFsTables, 2, user);
    FdsTable = TableFor(FsbHuffDS, kDsTables, 3, user);
    FTable = TableFor(FsbHuffDT, kDtTables, 3, user);
    if (FuseRefinement) {
        FrdwTable = TableFor(FsbHuffRDWidth, kRdTables, 2, user);
        FrdhTable = TableFor(FsbHuffRDHeight, kRdTables, 2, user);
        FrdxTable = TableFor(FsbHuffRDX, kRdTables, 2, user);
        FrdyTable = TableFor(FsbHuffRDY, kRdTables, 2, user);
        FrsizeTable = TableFor(FsbHuffRSize, kRSizeTables, 1, user);
    }
    FtablesReady = true;
}

TqzBitmapPtr TqzTextRegion::GetRegionBitmap() {
    // A segment's region is placed once; a dictionary's aggregate symbols
    // each decode from where the previous one stopped.
    if (FregionBitmap && FSegmentHdr != nullptr) return FregionBitmap;
    if (!FregionInfo || !FsubInputStream) throw TqzJBIG2Error(kSegmentDataTruncated);
    FregionInfo->CheckSize(FSegmentHdr);
    FregionBitmap = Decode();
    return FregionBitmap;
}

int64_t TqzTextRegion::DecodeValue(TqzCX* Acx, const TqzHuffmanTable* Atable) {
    if (FIsHuffmanEncoded) {
        if (FsubInputStream->AtEnd()) throw TqzJBIG2Error(kSegmentDataTruncated);
        return Atable->Decode(*FsubInputStream);
    }
    return FiDecoder->Decode(Acx);
}

int64_t TqzTextRegion::DecodeID() {
    if (!FIsHuffmanEncoded) return FiDecoder->DecodeIAID(*FcxIAID, FsymbolCodeLength);
    if (FsymbolCodeTable) return FsymbolCodeTable->Decode(*FsubInputStream);
    if (FsymbolCodeLength == 0) return 0;
    return FsubInputStream->ReadBits(FsymbolCodeLength);
}

TqzBitmapPtr TqzTextRegion::DecodeInstanceBitmap(int64_t AId) {
    const bool valid = AId >= 0 && AId < static_cast<int64_t>(FSymbols->size()) && (*FSymbols)[static_cast<size_t>(AId)];
    int64_t ri = 0;
    if (FuseRefinement) {
        ri = FIsHuffmanEncoded ? FsubInputStream->ReadBit() : FiDecoder->Decode(FcxIARI);
        if (ri < 0 || ri == kOutOfBand) throw TqzJBIG2Error(kTextRegionError);
    }
    if (ri == 0) return valid ? (*FSymbols)[static_cast<size_t>(AId)] : nullptr;

    const int64_t rdw = DecodeValue(FcxIARDW, FrdwTable);
    const int64_t rdh = DecodeValue(FcxIARDH, FrdhTable);
    const int64_t rdx = DecodeValue(FcxIARDX, FrdxTable);
    const int64_t rdy = DecodeValue(FcxIARDY, FrdyTable);
    if (rdw == kOutOfBand || rdh == kOutOfBand || rdx == kOutOfBand || rdy == kOutOfBand) {
        throw TqzJBIG2Error(kTextRegionError);
    }
    int64_t bmSize = 0;
    if (FIsHuffmanEncoded) {
        bmSize = DecodeValue(nullptr, FrsizeTable);
        FsubInputStream->SkipBits();
        if (bmSize < 0 || bmSize == kOutOfBand || bmSize > FsubInputStream->Available()) {
            throw TqzJBIG2Error(kSegmentDataTruncated);
        }
    }
    // A refinement needs the symbol it refines, and its size must be one a
    // bitmap can have.
    if (!valid) throw TqzJBIG2Error("JBIG2 text region refines a symbol that does not exist");
    const TqzImageBitmap& sym = *(*FSymbols)[static_cast<size_t>(AId)];
    const int64_t w = sym.GetWidth() + rdw;
    const int64_t h = sym.GetHeight() + rdh;
    if (w <= 0 || h <= 0 || w > kMaxBitmapDimension || h > kMaxBitmapDimension) {
        throw TqzJBIG2Error(kBitmapTooLarge);
    }
    const int64_t dx = (rdw >> 1) + rdx;
    const int64_t dy = (rdh >> 1) + rdy;
    if (dx > kMaxBitmapDimension || dx < -kMaxBitmapDimension || dy > kMaxBitmapDimension ||
        dy < -kMaxBitmapDimension) {
        throw TqzJBIG2Error(kTextRegionError);
    }
    if (!FgenericRefinementRegion) FgenericRefinementRegion = std::make_unique<TqzGenericRefinementRegion>(FsubInputStream);
    TqzBitmapPtr out;
    if (FIsHuffmanEncoded) {
        // The refinement data is framed by its size: a decoder of its own,
        // and reading goes on right after it.
        TqzIOStream& s = *FsubInputStream;
        const int64_t pos = s.GetStreamPos();
        TqzIOStream window(s, s.GetOffset() + pos, bmSize);
        TqzArithmeticDecoder decoder(&window);
        FgenericRefinementRegion->SetParameters(FCX, &decoder, Fsbrtemplate, static_cast<int32_t>(w),
                                                static_cast<int32_t>(h), (*FSymbols)[static_cast<size_t>(AId)],
                                                static_cast<int32_t>(dx), static_cast<int32_t>(dy), false, FsbrATX,
                                                FsbrATY);
        out = FgenericRefinementRegion->GetRegionBitmap();
        s.Seek(pos + bmSize);
    } else {
        FgenericRefinementRegion->SetParameters(FCX, FArithmeticDecoder, Fsbrtemplate, static_cast<int32_t>(w),
                                                static_cast<int32_t>(h), (*FSymbols)[static_cast<size_t>(AId)],
                                                static_cast<int32_t>(dx), static_cast<int32_t>(dy), false, FsbrATX,
                                                FsbrATY);
        out = FgenericRefinementRegion->GetRegionBitmap();
    }
    return out;
}

TqzBitmapPtr TqzTextRegion::Decode() {
    if (FAmountofSymbolsInstances < 0 || FAmountofSymbolsInstances > kMaxTextInstances) {
        throw TqzJBIG2Error(kTextRegionError);
    }
    if (FIsHuffmanEncoded) {
        SetupHuffmanTables();
    } else {
        if (FsymbolCodeLength < 0 || FsymbolCodeLength > kMaxSymbolCodeLength) throw TqzJBIG2Error(kTextRegionError);
        auto own = [this](TqzCX*& cx, int32_t size, int32_t index) {
            if (cx != nullptr && cx->Size() >= size) return;
            FownContexts.push_back(std::make_unique<TqzCX>(size, index));
            cx = FownContexts.back().get();
        };
        for (TqzCX** cx : {&FcxIADT, &FcxIAFS, &FcxIADS, &FcxIAIT, &FcxIARI, &FcxIARDW, &FcxIARDH, &FcxIARDX,
                           &FcxIARDY}) {
            own(*cx, kIntegerContexts, 1);
        }
        own(FcxIAID, 1 << FsymbolCodeLength, 0);
        if (FiDecoder == nullptr) {
            FownIDecoder = std::make_unique<TqzArithmeticIntegerDecoder>(
                std::make_unique<TqzArithmeticDecoder>(FsubInputStream.get()));
            FiDecoder = FownIDecoder.get();
        }
        if (FArithmeticDecoder == nullptr) FArithmeticDecoder = &FiDecoder->Decoder();
    }

    auto bitmap = std::make_shared<TqzImageBitmap>(FregionInfo->GetBitmapWidth(), FregionInfo->GetBitmapHeight());
    if (FdefaultPixel != 0) bitmap->SetByteArray(0xFF);

    auto need = [](int64_t v) {
        if (v == kOutOfBand) throw TqzJBIG2Error(kTextRegionError);
        return v;
    };
    const int64_t strips = FsbStrips;
    int64_t stripT = Bounded(-need(DecodeValue(FcxIADT, FTable)) * strips);
    int64_t firstS = 0;
    int64_t instances = 0;
    while (instances < FAmountofSymbolsInstances) {
        stripT = Bounded(stripT + need(DecodeValue(FcxIADT, FTable)) * strips);
        int64_t curS = 0;
        bool first = true;
        for (;;) {
            if (first) {
                firstS = Bounded(firstS + need(DecodeValue(FcxIAFS, FfsTable)));
                curS = firstS;
                first = false;
            } else {
                const int64_t ids = DecodeValue(FcxIADS, FdsTable);
                if (ids == kOutOfBand) break;
                // A strip may only end with its out-of-band; data that goes
                // on past the declared count is not a region we can trust.
                if (instances >= FAmountofSymbolsInstances) {
                    throw TqzJBIG2Error("JBIG2 text region has more instances than it declares");
                }
                curS = Bounded(curS + ids + FsbdsOffset);
            }
            int64_t curT = 0;
            if (strips != 1) {
                curT = FIsHuffmanEncoded ? FsubInputStream->ReadBits(FlogSBStrips) : need(FiDecoder->Decode(FcxIAIT));
                if (curT < 0) throw TqzJBIG2Error(kSegmentDataTruncated);
            }
            const int64_t t = stripT + curT;
            const int64_t id = DecodeID();
            const TqzBitmapPtr ib = DecodeInstanceBitmap(id);
            if (ib) {
                const int64_t w = ib->GetWidth();
                const int64_t h = ib->GetHeight();
                const int32_t corner = FreferenceCorner;
                if (!FisTransposed && (corner == 2 || corner == 3)) curS += w - 1;
                if (FisTransposed && (corner == 0 || corner == 2)) curS += h - 1;
                int64_t x = FisTransposed ? t : curS;
                int64_t y = FisTransposed ? curS : t;
                if (corner == 0 || corner == 2) y -= h - 1;
                if (corner == 2 || corner == 3) x -= w - 1;
                bitmap->Blit(*ib, x, y, FCombinationOPerator_);
                if (!FisTransposed && (corner == 0 || corner == 1)) curS += w - 1;
                if (FisTransposed && (corner == 1 || corner == 3)) curS += h - 1;
            }
            ++instances;
        }
    }
    return bitmap;
}

}  // namespace qz::filters::jbig2
