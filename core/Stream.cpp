#include "core/Stream.h"

#include <algorithm>
#include <new>

#include "core/PDBaseExceptions.h"

namespace qz::core {

namespace {
// Bulk copies move data in blocks of this size.
constexpr uint32_t kCopyBlock = 64 * 1024;
}  // namespace

int32_t TqzStream::Read(uint8_t* buffer, uint32_t count) {
    uint32_t n = 0;
    while (n < count) {
        const int c = GetChar();
        if (c < 0) break;
        buffer[n++] = static_cast<uint8_t>(c);
    }
    return static_cast<int32_t>(n);
}

int32_t TqzStream::Read(std::string& buffer, uint32_t count) {
    if (count == 0) return 0;
    if (buffer.size() < count) throw streams::ExInvalidBuffer();
    return Read(reinterpret_cast<uint8_t*>(buffer.data()), count);
}

int32_t TqzStream::Read(TqzStream& out, uint32_t count) {
    auto block = std::make_unique_for_overwrite<uint8_t[]>(std::min(count, kCopyBlock));
    uint32_t total = 0;
    while (total < count) {
        const uint32_t want = std::min<uint32_t>(count - total, kCopyBlock);
        const int32_t got = Read(block.get(), want);
        if (got <= 0) break;
        out.Write(block.get(), static_cast<uint32_t>(got));
        total += static_cast<uint32_t>(got);
        if (static_cast<uint32_t>(got) < want) break;
    }
    return static_cast<int32_t>(total);
}

int32_t TqzStream::Write(const std::string& buffer) {
    return Write(reinterpret_cast<const uint8_t*>(buffer.data()), static_cast<uint32_t>(buffer.size()));
}

int32_t TqzStream::Write(uint8_t) { return 0; }
int32_t TqzStream::Write(TqzStream&, uint32_t) { return 0; }
platform::Stream* TqzStream::GetTStream() { return nullptr; }
void TqzStream::Close() {}
int TqzStream::ReadRawChar() { return -1; }

void TqzStream::ReadLine(std::vector<uint8_t>& buffer, int32_t count) {
    if (LookChar() < 0) return;
    size_t index = 0;
    for (int32_t k = 0; k < count; ++k) {
        const int c = GetChar();
        if (c < 0 || c == '\n') return;
        if (c == '\r' && LookChar() == '\n') return;
        if (index >= buffer.size()) throw streams::ExInvalidBuffer();
        buffer[index++] = static_cast<uint8_t>(c);
    }
}

int64_t TqzStream::CopyAll(TqzStream& source) {
    // Not zero-filled: a save copies thousands of small streams, and clearing
    // a whole block for each cost more than the copies themselves.
    std::unique_ptr<uint8_t[]> block;
    try {
        block = std::make_unique_for_overwrite<uint8_t[]>(kCopyBlock);
    } catch (const std::bad_alloc&) {
        throw streams::ExOutofMemory();
    }
    int64_t total = 0;
    for (;;) {
        const int32_t got = source.Read(block.get(), kCopyBlock);
        if (got <= 0) break;
        Write(block.get(), static_cast<uint32_t>(got));
        total += got;
    }
    return total;
}

int32_t TqzStream::CopyFrom(TqzStream& source, uint32_t /*count*/) {
    // The count was a first allocation in the original design; copying in
    // blocks makes it irrelevant and keeps a hostile /Length from sizing memory.
    return static_cast<int32_t>(std::min<int64_t>(CopyAll(source), INT32_MAX));
}

int32_t TqzOneWayStream::Read(uint8_t* buffer, uint32_t count) {
    if (count == 0) return 0;
    uint32_t n = 0;
    if (FPeeked >= 0) {
        buffer[n++] = static_cast<uint8_t>(FPeeked);
        FPeeked = -1;
    }
    while (n < count) {
        const int32_t got = Produce(buffer + n, count - n);
        if (got <= 0) break;
        n += static_cast<uint32_t>(got);
    }
    FDelivered += n;
    return static_cast<int32_t>(n);
}

int TqzOneWayStream::LookChar() {
    if (FPeeked < 0) {
        uint8_t byte = 0;
        if (Produce(&byte, 1) <= 0) return -1;
        FPeeked = byte;
    }
    return FPeeked;
}

int TqzOneWayStream::GetChar() {
    uint8_t byte = 0;
    return Read(&byte, 1) == 1 ? byte : -1;
}

int32_t TqzOneWayStream::Write(const uint8_t*, uint32_t) { throw streams::ExInvalidStream(); }

void TqzOneWayStream::Reset() { throw streams::ExInvalidStream(); }

}  // namespace qz::core
