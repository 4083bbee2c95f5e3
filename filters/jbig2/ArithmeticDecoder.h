#pragma once
// The MQ arithmetic decoder of the JBIG2 data, its context statistics and the
// integer decoders built on it. A context store belongs to the region or
// dictionary that made it; an arithmetic decoder reads the bytes of a reader
// it does not own; an integer decoder owns its arithmetic decoder.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "filters/jbig2/Common.h"
#include "filters/jbig2/IOStream.h"

namespace qz::filters::jbig2 {

// Context statistics of one family of contexts: per context a probability
// state (0-46) and the more probable symbol, both 0 at first.
class TqzCX {
public:
    // `ASize` contexts (0 to kMaxContexts), current index `AIndex`.
    TqzCX(int32_t ASize, int32_t AIndex);

    int32_t Getcx() const { return Fcxrenamed[static_cast<size_t>(FInexRenamed)] & 0x7F; }
    // A state outside the table raises "Arguemant Out of Range".
    void Setcx(int32_t Aval);
    int32_t Mps() const { return FmpsRenamed[static_cast<size_t>(FInexRenamed)]; }
    void Togglemps() { FmpsRenamed[static_cast<size_t>(FInexRenamed)] ^= 1; }
    int32_t Getindex() const { return FInexRenamed; }
    // Raises "Arguemant Out of Range" for an index outside the store.
    void Setindex(int32_t AIndex);
    int32_t Size() const { return static_cast<int32_t>(Fcxrenamed.size()); }

    // The largest store: 2^24 contexts, the symbol-ID contexts of the
    // longest symbol code.
    static constexpr int32_t kMaxContexts = 1 << 24;

private:
    friend class TqzArithmeticDecoder;
    int32_t FInexRenamed = 0;
    std::vector<uint8_t> Fcxrenamed;
    std::vector<uint8_t> FmpsRenamed;
};

// One row of the probability estimation table.
struct TqzQeEntry {
    uint16_t Qe;
    uint8_t NMPS;
    uint8_t NLPS;
    uint8_t SWITCH;
};
extern const std::array<TqzQeEntry, 47> kQeTable;

class TqzArithmeticDecoder {
public:
    // Starts decoding at the reader's current byte. The reader must outlive
    // the decoder; its position is not moved (see GetStreamPos).
    explicit TqzArithmeticDecoder(TqzIOStream* Aiis);
    virtual ~TqzArithmeticDecoder() = default;

    // One decision (0 or 1) in the context `Acx` has selected.
    virtual int32_t Decode(TqzCX& Acx) { return DecodeAt(Acx, static_cast<uint32_t>(Acx.FInexRenamed)); }
    // The same in context `AIndex`, which must lie inside the store; the
    // region decoders call this on their hot paths.
    int32_t DecodeAt(TqzCX& Acx, uint32_t AIndex) {
        if (AIndex >= Acx.Fcxrenamed.size()) throw TqzJBIG2Error(kArgumentOutOfRange);
        uint8_t& state = Acx.Fcxrenamed[AIndex];
        uint8_t& mps = Acx.FmpsRenamed[AIndex];
        const TqzQeEntry& e = kQeTable[state];
        const uint32_t qe = e.Qe;
        Fa -= qe;
        int32_t d;
        if ((Fc >> 16) < qe) {
            d = LpsExchange(state, mps, e);
            Fa = qe;
            Renormalise();
        } else {
            Fc -= qe << 16;
            if (Fa & 0x8000) return mps;
            d = MpsExchange(state, mps, e);
            Renormalise();
        }
        return d;
    }

    // The reader position of the next byte the decoder will take.
    int64_t GetStreamPos() const { return FPos; }
    int64_t GetStartPos() const { return FstreamPos0; }

private:
    void Init();
    void ByteIn();
    int32_t NextByte();
    int32_t PeekByte() const;
    void Renormalise() {
        do {
            if (Fct == 0) ByteIn();
            Fa <<= 1;
            Fc <<= 1;
            --Fct;
        } while ((Fa & 0x8000) == 0);
    }
    int32_t LpsExchange(uint8_t& state, uint8_t& mps, const TqzQeEntry& e) {
        if (Fa < e.Qe) {
            state = e.NMPS;
            return mps;
        }
        const int32_t d = 1 - mps;
        if (e.SWITCH) mps ^= 1;
        state = e.NLPS;
        return d;
    }
    int32_t MpsExchange(uint8_t& state, uint8_t& mps, const TqzQeEntry& e) {
        if (Fa < e.Qe) {
            const int32_t d = 1 - mps;
            if (e.SWITCH) mps ^= 1;
            state = e.NLPS;
            return d;
        }
        state = e.NMPS;
        return mps;
    }

    TqzIOStream* Fiis;
    int32_t Fct = 0;
    uint32_t Fa = 0;
    uint32_t Fb = 0;
    uint32_t Fc = 0;
    int64_t FstreamPos0 = 0;
    int64_t FPos = 0;          // reader position of the next byte
    int64_t FBytesPastEnd = 0;  // bytes made up after the data ended
};

class TqzArithmeticIntegerDecoder {
public:
    explicit TqzArithmeticIntegerDecoder(std::unique_ptr<TqzArithmeticDecoder> Adecoder);
    virtual ~TqzArithmeticIntegerDecoder() = default;

    // One integer with the statistics `AcxIAX` (512 contexts; a fresh set
    // when none is given): a value of -(2^32 + 4435) to 2^32 + 4435, or
    // kOutOfBand.
    virtual int64_t Decode(TqzCX* AcxIAX);
    // One symbol ID of `AsymCodeLen` bits (0 to kMaxSymbolCodeLength); the
    // store needs 2^AsymCodeLen contexts.
    virtual int32_t DecodeIAID(TqzCX& AcxIAID, int64_t AsymCodeLen);

    TqzArithmeticDecoder& Decoder() { return *Fdecoder; }

private:
    int32_t DecodeBit(TqzCX& cx);

    std::unique_ptr<TqzArithmeticDecoder> Fdecoder;
    int32_t Fprev = 1;
};

}  // namespace qz::filters::jbig2
