#include "filters/jbig2/ArithmeticDecoder.h"

#include "filters/jbig2/Limits.h"

namespace qz::filters::jbig2 {

const std::array<TqzQeEntry, 47> kQeTable = {{
    {0x5601, 1, 1, 1},   {0x3401, 2, 6, 0},   {0x1801, 3, 9, 0},   {0x0AC1, 4, 12, 0},
    {0x0521, 5, 29, 0},  {0x0221, 38, 33, 0}, {0x5601, 7, 6, 1},   {0x5401, 8, 14, 0},
    {0x4801, 9, 14, 0},  {0x3801, 10, 14, 0}, {0x3001, 11, 17, 0}, {0x2401, 12, 18, 0},
    {0x1C01, 13, 20, 0}, {0x1601, 29, 21, 0}, {0x5601, 15, 14, 1}, {0x5401, 16, 14, 0},
    {0x5101, 17, 15, 0}, {0x4801, 18, 16, 0}, {0x3801, 19, 17, 0}, {0x3401, 20, 18, 0},
    {0x3001, 21, 19, 0}, {0x2801, 22, 19, 0}, {0x2401, 23, 20, 0}, {0x2201, 24, 21, 0},
    {0x1C01, 25, 22, 0}, {0x1801, 26, 23, 0}, {0x1601, 27, 24, 0}, {0x1401, 28, 25, 0},
    {0x1201, 29, 26, 0}, {0x1101, 30, 27, 0}, {0x0AC1, 31, 28, 0}, {0x09C1, 32, 29, 0},
    {0x08A1, 33, 30, 0}, {0x0521, 34, 31, 0}, {0x0441, 35, 32, 0}, {0x02A1, 36, 33, 0},
    {0x0221, 37, 34, 0}, {0x0141, 38, 35, 0}, {0x0111, 39, 36, 0}, {0x0085, 40, 37, 0},
    {0x0049, 41, 38, 0}, {0x0025, 42, 39, 0}, {0x0015, 43, 40, 0}, {0x0009, 44, 41, 0},
    {0x0005, 45, 42, 0}, {0x0001, 45, 43, 0}, {0x5601, 46, 46, 0},
}};

TqzCX::TqzCX(int32_t ASize, int32_t AIndex) {
    if (ASize < 0 || ASize > kMaxContexts) throw TqzJBIG2Error(kArgumentOutOfRange);
    Fcxrenamed.assign(static_cast<size_t>(ASize), 0);
    FmpsRenamed.assign(static_cast<size_t>(ASize), 0);
    Setindex(AIndex);
}

void TqzCX::Setindex(int32_t AIndex) {
    // An empty store keeps index 0 and fails at its first decode.
    if (AIndex < 0 || (AIndex >= Size() && !(AIndex == 0 && Size() == 0))) {
        throw TqzJBIG2Error(kArgumentOutOfRange);
    }
    FInexRenamed = AIndex;
}

void TqzCX::Setcx(int32_t Aval) {
    const int32_t state = Aval & 0x7F;
    if (state >= static_cast<int32_t>(kQeTable.size())) throw TqzJBIG2Error(kArgumentOutOfRange);
    Fcxrenamed[static_cast<size_t>(FInexRenamed)] = static_cast<uint8_t>(state);
}

TqzArithmeticDecoder::TqzArithmeticDecoder(TqzIOStream* Aiis) : Fiis(Aiis) {
    if (Fiis == nullptr) throw TqzJBIG2Error(kArgumentOutOfRange);
    Init();
}

void TqzArithmeticDecoder::Init() {
    FstreamPos0 = Fiis->GetStreamPos();
    FPos = FstreamPos0;
    Fb = static_cast<uint32_t>(NextByte());
    Fc = Fb << 16;
    ByteIn();
    Fc <<= 7;
    Fct -= 7;
    Fa = 0x8000;
}

// Past the end of the data the decoder reads 0xFF bytes, which act as a
// marker and feed 1 bits; a decoder that keeps asking long after its data
// ended is reading a region its data does not describe.
int32_t TqzArithmeticDecoder::NextByte() {
    const uint8_t* p = Fiis->Bytes(FPos);
    ++FPos;
    if (p != nullptr) return *p;
    if (++FBytesPastEnd > kMaxArithmeticBytesPastEnd) {
        throw TqzJBIG2Error("Arithmetic-coded data ends before the region does");
    }
    return 0xFF;
}

int32_t TqzArithmeticDecoder::PeekByte() const {
    const uint8_t* p = Fiis->Bytes(FPos);
    return p != nullptr ? *p : 0xFF;
}

void TqzArithmeticDecoder::ByteIn() {
    if (Fb == 0xFF) {
        const uint32_t b1 = static_cast<uint32_t>(PeekByte());
        if (b1 > 0x8F) {
            // A marker: 1 bits are fed and the position stays on it.
            if (++FBytesPastEnd > kMaxArithmeticBytesPastEnd) {
                throw TqzJBIG2Error("Arithmetic-coded data ends before the region does");
            }
            Fc += 0xFF00;
            Fct = 8;
        } else {
            Fb = static_cast<uint32_t>(NextByte());
            Fc += Fb << 9;
            Fct = 7;
        }
    } else {
        Fb = static_cast<uint32_t>(NextByte());
        Fc += Fb << 8;
        Fct = 8;
    }
}

TqzArithmeticIntegerDecoder::TqzArithmeticIntegerDecoder(std::unique_ptr<TqzArithmeticDecoder> Adecoder)
    : Fdecoder(std::move(Adecoder)) {
    if (!Fdecoder) throw TqzJBIG2Error(kArgumentOutOfRange);
}

int32_t TqzArithmeticIntegerDecoder::DecodeBit(TqzCX& cx) {
    const int32_t d = Fdecoder->DecodeAt(cx, static_cast<uint32_t>(Fprev));
    const uint32_t next = ((static_cast<uint32_t>(Fprev) << 1) | static_cast<uint32_t>(d)) & 511;
    Fprev = static_cast<int32_t>(Fprev < 256 ? next : (next | 256));
    return d;
}

int64_t TqzArithmeticIntegerDecoder::Decode(TqzCX* AcxIAX) {
    std::unique_ptr<TqzCX> fresh;
    if (AcxIAX == nullptr) {
        fresh = std::make_unique<TqzCX>(512, 1);
        AcxIAX = fresh.get();
    }
    TqzCX& cx = *AcxIAX;
    Fprev = 1;
    const int32_t s = DecodeBit(cx);
    int32_t bits;
    int64_t offset;
    if (DecodeBit(cx) == 0) {
        bits = 2;
        offset = 0;
    } else if (DecodeBit(cx) == 0) {
        bits = 4;
        offset = 4;
    } else if (DecodeBit(cx) == 0) {
        bits = 6;
        offset = 20;
    } else if (DecodeBit(cx) == 0) {
        bits = 8;
        offset = 84;
    } else if (DecodeBit(cx) == 0) {
        bits = 12;
        offset = 340;
    } else {
        bits = 32;
        offset = 4436;
    }
    int64_t v = 0;
    for (int32_t i = 0; i < bits; ++i) v = (v << 1) | DecodeBit(cx);
    // 64-bit: a 32-bit value plus its offset does not fit 32 bits.
    v += offset;
    if (s == 0) return v;
    if (v > 0) return -v;
    return kOutOfBand;
}

int32_t TqzArithmeticIntegerDecoder::DecodeIAID(TqzCX& AcxIAID, int64_t AsymCodeLen) {
    if (AsymCodeLen < 0 || AsymCodeLen > kMaxSymbolCodeLength ||
        (int64_t{1} << AsymCodeLen) > AcxIAID.Size()) {
        throw TqzJBIG2Error(kArgumentOutOfRange);
    }
    uint32_t prev = 1;
    for (int64_t i = 0; i < AsymCodeLen; ++i) {
        prev = (prev << 1) | static_cast<uint32_t>(Fdecoder->DecodeAt(AcxIAID, prev));
    }
    return static_cast<int32_t>(prev - (uint32_t{1} << AsymCodeLen));
}

}  // namespace qz::filters::jbig2
