#include "filters/CodecDecode.h"

#include <cstring>

namespace qz::filters {

void TqzInputBuffer::Restart() {
    if (!FStream) throw core::streams::ExInvalidStream();
    FStream->Reset();
    FPos = FEnd = kKeep;
}

bool TqzInputBuffer::Fill() {
    if (FPos < FEnd) return true;
    if (!FStream) throw core::streams::ExInvalidStream();
    if (!FData) {
        FData = std::make_unique<uint8_t[]>(kKeep + kBlock);
        std::memset(FData.get(), 0, kKeep);
    } else {
        std::memmove(FData.get(), FData.get() + FEnd - kKeep, kKeep);
    }
    const int32_t got = FStream->Read(FData.get() + kKeep, kBlock);
    FPos = kKeep;
    FEnd = kKeep + static_cast<uint32_t>(got > 0 ? got : 0);
    return FEnd > FPos;
}

}  // namespace qz::filters
