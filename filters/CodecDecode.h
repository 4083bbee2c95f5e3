#pragma once
// What every decoder of this folder shares: a ceiling on the bytes it may
// produce, and a block reader over its inner stream so that decoding never
// pulls its input one virtual call per byte.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "core/FilterStream.h"
#include "core/Limits.h"
#include "core/PDBaseExceptions.h"

namespace qz::filters {

// Raised when a stream decodes to more than its ceiling: a few KiB of hostile
// data could otherwise stand for gigabytes. The data up to the ceiling has
// been handed out; the stream is not silently cut short.
class ExDecodeLimit : public core::ExLimitExceeded {
public:
    static constexpr const char* kMessage = "Decoded stream exceeds the size limit";
    ExDecodeLimit() : core::ExLimitExceeded(kMessage) {}
};

// PDF white space: NUL, TAB, LF, FF, CR and SPACE.
inline bool IsPdfSpace(int c) {
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == 0;
}

// A decoder that counts what it produces against a ceiling
// (kMaxDecodedStreamSize unless lowered).
class TqzCodecDecode : public core::TqzDecode {
public:
    void SetOutputLimit(int64_t limit) { FOutputLimit = limit; }
    int64_t OutputLimit() const { return FOutputLimit; }

protected:
    // How many of `count` new bytes may still be produced; the caller keeps
    // only those and marks the limit reached when fewer than `count` fit.
    int64_t Allowance(int64_t count) const {
        const int64_t room = FOutputLimit - FProduced;
        return room < count ? (room > 0 ? room : 0) : count;
    }

    // Counts `count` new bytes; raises ExDecodeLimit when they would pass
    // the ceiling (they are then not handed out).
    void Charge(int64_t count) {
        if (FLimitHit || count > FOutputLimit - FProduced) {
            FLimitHit = true;
            throw ExDecodeLimit();
        }
        FProduced += count;
    }
    // Once the ceiling is reached every further read raises, whatever state
    // the interrupted step left behind.
    void CheckLimit() const {
        if (FLimitHit) throw ExDecodeLimit();
    }
    // Starts a new count (on Reset).
    void ResetCount() {
        FProduced = 0;
        FLimitHit = false;
    }

    bool FLimitHit = false;
    int64_t FProduced = 0;
    int64_t FOutputLimit = core::kMaxDecodedStreamSize;
};

// The bulk read of a decoder that hands out a window of decoded bytes at a
// time: copies up to `count` bytes into `buffer` from `data()` between `pos`
// and `end`, calling `refill` (which makes a new window and resets both, or
// answers false at the end of the data) whenever the window is used up.
// Bytes decoded before the ceiling was reached are handed out; the next
// read then raises.
template <typename Data, typename Refill>
int32_t ReadWindows(uint8_t* buffer, uint32_t count, uint32_t& pos, const uint32_t& end, Data data,
                    Refill refill) {
    uint32_t done = 0;
    try {
        while (done < count) {
            if (pos >= end && !refill()) break;
            const uint32_t n = std::min(count - done, end - pos);
            std::memcpy(buffer + done, data() + pos, n);
            pos += n;
            done += n;
        }
    } catch (const ExDecodeLimit&) {
        if (done == 0) throw;
    }
    return static_cast<int32_t>(done);
}

// Reads an inner stream through a block buffer. The buffer is allocated on
// first use and can be released once the data has been consumed, so that
// thousands of idle filter streams hold no buffers. The last kKeep bytes
// read stay addressable, so a decoder that read ahead into its bit buffer can
// give whole bytes back.
class TqzInputBuffer {
public:
    static constexpr uint32_t kBlock = 16 * 1024;
    static constexpr uint32_t kKeep = 8;

    explicit TqzInputBuffer(core::TqzStream* stream) : FStream(stream) {}

    core::TqzStream* Stream() const { return FStream; }

    // Rewinds the inner stream and drops buffered bytes; raises
    // ExInvalidStream without an inner stream.
    void Restart();
    void Release() {
        FData.reset();
        FPos = FEnd = kKeep;
    }

    int Next() {
        if (FPos < FEnd) return FData[FPos++];
        return Fill() ? FData[FPos++] : -1;
    }
    int Peek() {
        if (FPos < FEnd) return FData[FPos];
        return Fill() ? FData[FPos] : -1;
    }
    // Bytes buffered and not yet consumed.
    const uint8_t* Data() const { return FData.get() + FPos; }
    uint32_t Available() const { return FEnd - FPos; }
    void Consume(uint32_t n) { FPos += n; }
    // Gives back up to kKeep bytes most recently consumed.
    void Unread(uint32_t n) { FPos -= n; }
    // Reads the next block from the inner stream when everything buffered has
    // been consumed; false at the end of the inner data.
    bool Fill();

private:
    core::TqzStream* FStream;
    std::unique_ptr<uint8_t[]> FData;
    uint32_t FPos = kKeep;
    uint32_t FEnd = kKeep;
};

}  // namespace qz::filters
