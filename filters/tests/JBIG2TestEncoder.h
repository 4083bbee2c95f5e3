#pragma once
// Test-only JBIG2 writers: the MQ arithmetic encoder, the integer and
// symbol-ID encoders, a generic-region encoder that forms its contexts pixel
// by pixel (independently of the decoder's incremental contexts), and
// segment framing. They make the coded data the decoder tests read back.

#include <cstdint>
#include <string>
#include <vector>

#include "filters/jbig2/ArithmeticDecoder.h"
#include "filters/jbig2/ImageBitmap.h"

namespace qz::filters::jbig2::test {

class MQEncoder {
public:
    // Contexts of one family are indexes into this encoder's own store.
    explicit MQEncoder(size_t contexts = 1 << 16) : state_(contexts, 0), mps_(contexts, 0) {}

    void Encode(uint32_t cx, int d) {
        if (d == mps_[cx]) CodeMps(cx);
        else CodeLps(cx);
    }
    // The coded bytes, flushed and ended by the marker FF AC.
    std::vector<uint8_t> Finish() {
        SetBits();
        c_ <<= ct_;
        ByteOut();
        c_ <<= ct_;
        ByteOut();
        if (out_.back() != 0xFF) out_.push_back(0xFF);
        out_.push_back(0xAC);
        return std::vector<uint8_t>(out_.begin() + 1, out_.end());
    }
    void ResetContexts() {
        std::fill(state_.begin(), state_.end(), 0);
        std::fill(mps_.begin(), mps_.end(), 0);
    }

private:
    void CodeMps(uint32_t cx) {
        const auto& e = kQeTable[state_[cx]];
        a_ -= e.Qe;
        if ((a_ & 0x8000) == 0) {
            if (a_ < e.Qe) a_ = e.Qe;
            else c_ += e.Qe;
            state_[cx] = e.NMPS;
            RenormE();
        } else {
            c_ += e.Qe;
        }
    }
    void CodeLps(uint32_t cx) {
        const auto& e = kQeTable[state_[cx]];
        a_ -= e.Qe;
        if (a_ < e.Qe) c_ += e.Qe;
        else a_ = e.Qe;
        if (e.SWITCH) mps_[cx] ^= 1;
        state_[cx] = e.NLPS;
        RenormE();
    }
    void RenormE() {
        do {
            a_ <<= 1;
            c_ <<= 1;
            if (--ct_ == 0) ByteOut();
        } while ((a_ & 0x8000) == 0);
    }
    void ByteOut() {
        if (out_.back() == 0xFF) {
            out_.push_back(static_cast<uint8_t>(c_ >> 20));
            c_ &= 0xFFFFF;
            ct_ = 7;
        } else if (c_ < 0x8000000) {
            out_.push_back(static_cast<uint8_t>(c_ >> 19));
            c_ &= 0x7FFFF;
            ct_ = 8;
        } else {
            ++out_.back();
            if (out_.back() == 0xFF) {
                c_ &= 0x7FFFFFF;
                out_.push_back(static_cast<uint8_t>(c_ >> 20));
                c_ &= 0xFFFFF;
                ct_ = 7;
            } else {
                out_.push_back(static_cast<uint8_t>(c_ >> 19));
                c_ &= 0x7FFFF;
                ct_ = 8;
            }
        }
    }
    void SetBits() {
        const uint32_t temp = c_ + a_;
        c_ |= 0xFFFF;
        if (c_ >= temp) c_ -= 0x8000;
    }

    std::vector<uint8_t> state_, mps_;
    std::vector<uint8_t> out_{0};  // first byte stands before the data and is dropped
    uint32_t a_ = 0x8000, c_ = 0;
    int ct_ = 12;
};

// Integers of the integer decoder; `oob` writes the out-of-band value.
// `base` offsets the 512 contexts of this family in the encoder's store.
inline void EncodeInteger(MQEncoder& enc, uint32_t base, int64_t v, bool oob = false) {
    uint32_t prev = 1;
    auto bit = [&](int d) {
        enc.Encode(base + prev, d);
        const uint32_t next = ((prev << 1) | static_cast<uint32_t>(d)) & 511;
        prev = prev < 256 ? next : (next | 256);
    };
    const int s = (oob || v < 0) ? 1 : 0;
    const uint64_t a = oob ? 0 : static_cast<uint64_t>(v < 0 ? -v : v);
    bit(s);
    struct Class { int prefixOnes; int bits; uint64_t offset; };
    static const Class classes[] = {{0, 2, 0}, {1, 4, 4}, {2, 6, 20}, {3, 8, 84}, {4, 12, 340}, {5, 32, 4436}};
    const Class* c = &classes[5];
    for (const auto& k : classes) {
        if (a < k.offset + (uint64_t{1} << k.bits)) { c = &k; break; }
    }
    for (int i = 0; i < c->prefixOnes; ++i) bit(1);
    if (c->prefixOnes < 5) bit(0);
    const uint64_t r = a - c->offset;
    for (int i = c->bits - 1; i >= 0; --i) bit(static_cast<int>((r >> i) & 1));
}

inline void EncodeIAID(MQEncoder& enc, uint32_t base, uint32_t id, int len) {
    uint32_t prev = 1;
    for (int i = len - 1; i >= 0; --i) {
        const int d = static_cast<int>((id >> i) & 1);
        enc.Encode(base + prev, d);
        prev = (prev << 1) | static_cast<uint32_t>(d);
    }
}

struct AtPixel { int dx, dy; };

// The generic-region context of pixel (x, y), formed pixel by pixel; `at`
// holds the template's adaptive pixels (4, 1, 1, 1 of them, or 12 for the
// extended template) in the order A1, A2, ...
inline uint32_t GenericContext(const TqzImageBitmap& b, int tmpl, bool ext, const std::vector<AtPixel>& at,
                               int x, int y) {
    auto p = [&](int dx, int dy) { return static_cast<uint32_t>(b.GetPixel(x + dx, y + dy)); };
    struct Bit { int bit; int dx, dy; };
    std::vector<Bit> bits;
    auto group = [&](int firstBit, int dy, int firstDx, int count) {
        for (int k = 0; k < count; ++k) bits.push_back({firstBit + k, firstDx - k, dy});
    };
    switch (tmpl) {
        case 0: group(0, 0, -1, 4); group(4, -1, 3, 7); group(11, -2, 2, 5); break;
        case 1: group(0, 0, -1, 3); group(3, -1, 3, 6); group(9, -2, 2, 4); break;
        case 2: group(0, 0, -1, 2); group(2, -1, 2, 5); group(7, -2, 1, 3); break;
        default: group(0, 0, -1, 4); group(4, -1, 2, 6); break;
    }
    static const int atBits0[] = {4, 10, 11, 15};
    static const int atBitsExt[] = {1, 13, 9, 14, 12, 5, 2, 3, 11, 4, 15, 10};
    std::vector<int> atBits;
    if (tmpl == 0 && ext) atBits.assign(std::begin(atBitsExt), std::end(atBitsExt));
    else if (tmpl == 0) atBits.assign(std::begin(atBits0), std::end(atBits0));
    else atBits = {tmpl == 1 ? 3 : (tmpl == 2 ? 2 : 4)};
    for (size_t i = 0; i < atBits.size() && i < at.size(); ++i) {
        for (auto& bb : bits) {
            if (bb.bit == atBits[i]) { bb.dx = at[i].dx; bb.dy = at[i].dy; }
        }
    }
    uint32_t ctx = 0;
    for (const auto& bb : bits) {
        // Pixels of the current row at or right of x are not yet known.
        const bool unknown = bb.dy > 0 || (bb.dy == 0 && bb.dx >= 0);
        if (!unknown) ctx |= p(bb.dx, bb.dy) << bb.bit;
    }
    return ctx;
}

inline std::vector<AtPixel> NominalAt(int tmpl, bool ext = false) {
    if (tmpl == 0 && ext) {
        return {{-2, 0}, {0, -2}, {-2, -1}, {-1, -2}, {1, -2}, {2, -1},
                {-3, 0}, {-4, 0}, {2, -2}, {3, -1}, {-2, -2}, {-3, -1}};
    }
    if (tmpl == 0) return {{3, -1}, {-3, -1}, {2, -2}, {-2, -2}};
    if (tmpl == 1) return {{3, -1}};
    return {{2, -1}};
}

// Codes `b` as a generic region with the MQ coder into `enc`.
inline void EncodeGeneric(MQEncoder& enc, const TqzImageBitmap& b, int tmpl, bool tpgdon,
                          const std::vector<AtPixel>& at, bool ext = false) {
    static const uint32_t sltp[] = {0x9B25, 0x0795, 0x00E5, 0x0195};
    int ltp = 0;
    for (int y = 0; y < b.GetHeight(); ++y) {
        if (tpgdon) {
            bool same = true;
            for (int x = 0; x < b.GetWidth() && same; ++x) same = b.GetPixel(x, y) == b.GetPixel(x, y - 1);
            const int want = same ? 1 : 0;
            enc.Encode(sltp[tmpl], want ^ ltp);
            ltp = want;
            if (ltp) continue;
        }
        for (int x = 0; x < b.GetWidth(); ++x) {
            enc.Encode(GenericContext(b, tmpl, ext, at, x, y), b.GetPixel(x, y));
        }
    }
}

// Big-endian writers for segment framing.
inline void Put32(std::string& s, uint32_t v) {
    for (int i = 3; i >= 0; --i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
inline void Put16(std::string& s, uint32_t v) {
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
    s.push_back(static_cast<char>(v & 0xFF));
}
inline void Put8(std::string& s, uint32_t v) { s.push_back(static_cast<char>(v & 0xFF)); }

// A segment header with short-form referred-to segments (at most 4, each
// one byte: segment numbers up to 256), page association in one byte.
inline std::string SegmentHeaderBytes(uint32_t number, uint32_t type, uint32_t page, uint32_t dataLength,
                                      const std::vector<uint32_t>& referred = {}) {
    std::string s;
    Put32(s, number);
    Put8(s, type & 0x3F);
    Put8(s, static_cast<uint32_t>(referred.size()) << 5);
    for (uint32_t r : referred) Put8(s, r);
    Put8(s, page);
    Put32(s, dataLength);
    return s;
}

// Region segment information: size, location, operator.
inline std::string RegionInfoBytes(uint32_t w, uint32_t h, uint32_t x = 0, uint32_t y = 0, uint32_t op = 0) {
    std::string s;
    Put32(s, w);
    Put32(s, h);
    Put32(s, x);
    Put32(s, y);
    Put8(s, op & 7);
    return s;
}

inline std::string PageInfoBytes(uint32_t w, uint32_t h, uint32_t flags = 0, uint32_t striping = 0) {
    std::string s;
    Put32(s, w);
    Put32(s, h);
    Put32(s, 0);
    Put32(s, 0);
    Put8(s, flags);
    Put16(s, striping);
    return s;
}

inline TqzJBIG2Data Data(const std::string& s) {
    return std::make_shared<const std::vector<uint8_t>>(s.begin(), s.end());
}
inline TqzJBIG2Data Data(const std::vector<uint8_t>& v) { return std::make_shared<const std::vector<uint8_t>>(v); }

}  // namespace qz::filters::jbig2::test
