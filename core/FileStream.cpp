#include "core/FileStream.h"

#include <algorithm>
#include <cstring>

namespace qz::core {

TqzFileStream::TqzFileStream(std::shared_ptr<platform::Stream> file, int64_t start, int64_t length,
                             bool limited)
    : FFile(std::move(file)),
      FStart(std::max<int64_t>(0, start)),
      FLength(std::max<int64_t>(0, length)),
      FLimited(limited),
      FPosition(FStart),
      FAbsPos(FStart) {}

TqzFileStream::~TqzFileStream() = default;

int64_t TqzFileStream::GetLimit() {
    const int64_t size = FFile->Size();
    return FLimited ? std::min(size, FStart + FLength) : size;
}

void TqzFileStream::DropBuffer(int64_t absolutePosition) {
    FBufferIndex = 0;
    FBufferCount = 0;
    FPosition = absolutePosition;
    FAbsPos = absolutePosition;
}

bool TqzFileStream::Refill() {
    // The buffer start moves past what was consumed.
    FPosition += FBufferIndex;
    FBufferIndex = 0;
    FBufferCount = 0;
    FAbsPos = FPosition;
    int64_t amount = kBufferSize;
    if (FLimited) {
        const int64_t limit = FStart + FLength;
        if (FAbsPos >= limit) return false;
        amount = std::min(amount, limit - FAbsPos);
    }
    if (!FLimited && FBufferCapacity < kBufferSize) {
        // Until the buffer is full-sized, only what the file still holds is
        // read (and allocated).
        amount = std::min(amount, std::max<int64_t>(1, FFile->Size() - FAbsPos));
    }
    if (FBufferCapacity < amount) {
        // Grown straight to a full block once a stream needs more than its
        // first refill: a stream read on is likely to be read further.
        const auto capacity = static_cast<uint32_t>(FBufferCapacity == 0 ? amount : kBufferSize);
        FBuffer = std::make_unique_for_overwrite<uint8_t[]>(capacity);
        FBufferCapacity = capacity;
    }
    FFile->SetPosition(FAbsPos);
    const int64_t got = FFile->Read(FBuffer.get(), amount);
    if (got <= 0) return false;
    FAbsPos += got;
    FBufferCount = static_cast<uint32_t>(got);
    return true;
}

int32_t TqzFileStream::Read(uint8_t* buffer, uint32_t count) {
    uint32_t done = 0;
    // First what the buffer already holds.
    const uint32_t buffered = std::min(count, FBufferCount - FBufferIndex);
    if (buffered > 0) {
        std::memcpy(buffer, FBuffer.get() + FBufferIndex, buffered);
        FBufferIndex += buffered;
        done = buffered;
    }
    if (done == count) return static_cast<int32_t>(done);
    // Large reads go straight to the file; small ones through the buffer.
    if (count - done >= kDirectReadSize) {
        const int64_t from = FPosition + FBufferIndex;
        int64_t want = count - done;
        if (FLimited) want = std::min(want, std::max<int64_t>(0, FStart + FLength - from));
        FFile->SetPosition(from);
        const int64_t got = want > 0 ? FFile->Read(buffer + done, want) : 0;
        DropBuffer(from + std::max<int64_t>(got, 0));
        return static_cast<int32_t>(done + static_cast<uint32_t>(std::max<int64_t>(got, 0)));
    }
    while (done < count && (FBufferIndex < FBufferCount || Refill())) {
        const uint32_t n = std::min(count - done, FBufferCount - FBufferIndex);
        std::memcpy(buffer + done, FBuffer.get() + FBufferIndex, n);
        FBufferIndex += n;
        done += n;
    }
    return static_cast<int32_t>(done);
}

int32_t TqzFileStream::Write(const uint8_t* bytes, uint32_t count) {
    // Writes go at the stream's logical position, which then moves past them,
    // so that positions taken while writing are the offsets of the bytes.
    const int64_t at = GetPosition();
    FFile->SetPosition(at);
    const int64_t written = FFile->Write(bytes, count);
    DropBuffer(at + written);
    return static_cast<int32_t>(written);
}

int32_t TqzFileStream::Write(uint8_t value) { return Write(&value, 1); }

void TqzFileStream::Reset() {
    DropBuffer(FStart);
    FFile->SetPosition(FStart);
}

void TqzFileStream::SetPosition(int64_t position, SeekOrigin origin) {
    if (origin == SeekOrigin::Current) {
        position += GetPosition();
        origin = SeekOrigin::Beginning;
    }
    DropBuffer(FFile->Seek(position, origin));
}

void TqzFileStream::Close() { FFile->SetPosition(FStart); }

TqzStreamPtr TqzFileStream::MakeSubStream(int64_t start, int64_t length, bool limited) {
    return std::make_shared<TqzFileStream>(FFile, start, length, limited);
}

void TqzFileStream::MoveStart(int64_t delta) {
    FStart = std::max<int64_t>(0, FStart + delta);
    DropBuffer(FStart);
}

}  // namespace qz::core
