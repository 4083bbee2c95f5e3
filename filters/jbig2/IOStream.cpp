#include "filters/jbig2/IOStream.h"

#include <algorithm>
#include <cstring>

namespace qz::filters::jbig2 {

TqzIOStream::TqzIOStream(TqzJBIG2Data AinputStream, int64_t AOffset, int64_t ASize)
    : FData(std::move(AinputStream)), Flength(std::max<int64_t>(ASize, 0)), FOffset(std::max<int64_t>(AOffset, 0)) {
    ClampEnd();
}

TqzIOStream::TqzIOStream(const TqzIOStream& AinputStream, int64_t AsegmentDataStartOffset,
                         int64_t AsegmentDataLength)
    : TqzIOStream(AinputStream.FData, AsegmentDataStartOffset, AsegmentDataLength) {}

void TqzIOStream::ClampEnd() {
    const int64_t dataSize = FData ? static_cast<int64_t>(FData->size()) : 0;
    const int64_t exists = FOffset < dataSize ? dataSize - FOffset : 0;
    FEnd = std::min(Flength, exists);
}

const uint8_t* TqzIOStream::Bytes(int64_t APos) const {
    if (APos < 0 || APos >= FEnd) return nullptr;
    return FData->data() + FOffset + APos;
}

int32_t TqzIOStream::Read() {
    if (FStreamPos >= FEnd) return -1;
    const uint8_t* p = FData->data() + FOffset + FStreamPos;
    if (FBitOffset == 0) {
        ++FStreamPos;
        return p[0];
    }
    // Straddles two bytes: the bits of the next byte past the end read as 0.
    uint32_t v = static_cast<uint32_t>(p[0]) << FBitOffset;
    if (FStreamPos + 1 < FEnd) v |= static_cast<uint32_t>(p[1]) >> (8 - FBitOffset);
    ++FStreamPos;
    if (FStreamPos >= FEnd) FBitOffset = 0;
    return static_cast<int32_t>(v & 0xFF);
}

int32_t TqzIOStream::ReadBit() {
    if (FStreamPos >= FEnd) return -1;
    const uint8_t b = FData->data()[FOffset + FStreamPos];
    const int32_t bit = (b >> (7 - FBitOffset)) & 1;
    if (++FBitOffset == 8) {
        FBitOffset = 0;
        ++FStreamPos;
    }
    return bit;
}

int64_t TqzIOStream::ReadBits(int32_t ANob) {
    if (FStreamPos >= FEnd) return -1;
    if (ANob <= 0) return 0;
    if (ANob > 64) ANob = 64;
    uint64_t v = 0;
    int32_t left = ANob;
    const uint8_t* base = FData->data() + FOffset;
    while (left > 0) {
        if (FStreamPos >= FEnd) {
            v <<= left;  // past the end: zeros
            break;
        }
        const int32_t avail = 8 - FBitOffset;
        const int32_t take = std::min(avail, left);
        const uint32_t bits = (static_cast<uint32_t>(base[FStreamPos]) >> (avail - take)) & ((1u << take) - 1);
        v = (v << take) | bits;
        left -= take;
        FBitOffset += take;
        if (FBitOffset == 8) {
            FBitOffset = 0;
            ++FStreamPos;
        }
    }
    return static_cast<int64_t>(v);
}

int64_t TqzIOStream::ReadInt16() {
    if (FStreamPos >= FEnd) return -1;
    int64_t v = 0;
    for (int i = 0; i < 2; ++i) v = (v << 8) | std::max(Read(), 0);
    return v;
}

int64_t TqzIOStream::ReadInt32() {
    if (FStreamPos >= FEnd) return -1;
    int64_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | std::max(Read(), 0);
    return v;
}

int64_t TqzIOStream::ReadInt64() {
    if (FStreamPos >= FEnd) return -1;
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = (v << 8) | static_cast<uint64_t>(std::max(Read(), 0));
    return static_cast<int64_t>(v);
}

int32_t TqzIOStream::Read(uint8_t* ABuff, int32_t AOff, int32_t Alen) {
    if (FStreamPos >= FEnd) return -1;
    if (Alen <= 0 || AOff < 0) return 0;
    const int64_t n = std::min<int64_t>(Alen, FEnd - FStreamPos);
    std::memcpy(ABuff + AOff, FData->data() + FOffset + FStreamPos, static_cast<size_t>(n));
    FStreamPos += n;
    return static_cast<int32_t>(n);
}

int64_t TqzIOStream::Seek(int64_t Offset, TqzSeekOrigin Origin) {
    int64_t pos = Offset;
    // Saturating: hostile offsets must not overflow.
    auto add = [](int64_t a, int64_t b) {
        if (b > 0 && a > INT64_MAX - b) return INT64_MAX;
        if (b < 0 && a < INT64_MIN - b) return INT64_MIN;
        return a + b;
    };
    if (Origin == TqzSeekOrigin::soCurrent) pos = add(FStreamPos, Offset);
    else if (Origin == TqzSeekOrigin::soEnd) pos = Offset == INT64_MIN ? INT64_MAX : add(Flength, -Offset);
    FStreamPos = std::clamp<int64_t>(pos, 0, Flength);
    return FStreamPos;
}

void TqzIOStream::SkipBits() {
    if (FBitOffset != 0) {
        FBitOffset = 0;
        ++FStreamPos;
    }
}

}  // namespace qz::filters::jbig2
