#pragma once
// TqzIOStream: a bit-level reader over a window of the JBIG2 data. The data
// is held whole in memory and shared by every reader over it; a reader owns
// nothing but its position. Reads never leave the window, nor the data when
// a window claims more than the data holds: there they report -1.

#include <cstdint>
#include <memory>
#include <vector>

namespace qz::filters::jbig2 {

using TqzJBIG2Data = std::shared_ptr<const std::vector<uint8_t>>;

enum class TqzSeekOrigin : uint8_t { soBeginning, soCurrent, soEnd };

class TqzIOStream {
public:
    // A window of `ASize` bytes starting at byte `AOffset` of the data.
    TqzIOStream(TqzJBIG2Data AinputStream, int64_t AOffset, int64_t ASize);
    // A window on the same data as `AinputStream`; the offset is counted from
    // the start of the data, not from the start of that reader's window.
    TqzIOStream(const TqzIOStream& AinputStream, int64_t AsegmentDataStartOffset,
                int64_t AsegmentDataLength);

    // The next 8 bits (0-255) from the current bit, or -1 at the end.
    int32_t Read();
    int32_t ReadByte() { return Read(); }
    // The next `ANob` (0-64) bits, most significant first; -1 when the
    // position is already at the end. Bits past the end of the window read
    // as 0 and the position stops at the end.
    int64_t ReadBits(int32_t ANob);
    int32_t ReadBit();
    // Big-endian unsigned values, -1 at the end of the window.
    int64_t ReadInt16();
    int64_t ReadInt32();
    // The 64-bit read: -1 at the end; values with the top bit set read
    // as themselves, i.e. negative.
    int64_t ReadInt64();
    // Up to `Alen` bytes into `ABuff` from `AOff`; the count read, or -1 at
    // the end. The bit offset is left as it was.
    int32_t Read(uint8_t* ABuff, int32_t AOff, int32_t Alen);
    // New position `Offset` from the window's start, the current position or
    // from the end (length minus `Offset`), clamped to the window.
    int64_t Seek(int64_t Offset, TqzSeekOrigin Origin = TqzSeekOrigin::soBeginning);
    // When inside a byte, moves to the start of the next one.
    void SkipBits();

    int64_t GetStreamPos() const { return FStreamPos; }
    int64_t GetStreamPosition() const { return FStreamPos; }
    int32_t GetBitOffset() const { return FBitOffset; }
    int64_t GetLength() const { return Flength; }
    // Where the window starts in the data.
    int64_t GetOffset() const { return FOffset; }
    // Bytes of the window from the current position that the data holds.
    int64_t Available() const { return FStreamPos < FEnd ? FEnd - FStreamPos : 0; }
    bool AtEnd() const { return FStreamPos >= FEnd; }
    const TqzJBIG2Data& GetData() const { return FData; }
    // The window's bytes that exist, from window position `APos` on; used by
    // the entropy decoders, which read in blocks.
    const uint8_t* Bytes(int64_t APos) const;
    int64_t BytesAvailable(int64_t APos) const { return APos < FEnd ? FEnd - APos : 0; }

private:
    void ClampEnd();

    TqzJBIG2Data FData;
    int64_t FStreamPos = 0;
    int64_t Flength = 0;
    int64_t FOffset = 0;
    int64_t FEnd = 0;  // window position one past the last byte that exists
    int32_t FBitOffset = 0;
};

}  // namespace qz::filters::jbig2
