#include "core/MemoryStream.h"

#include <algorithm>
#include <cstring>

namespace qz::core {

TqzMemoryStream::TqzMemoryStream(std::shared_ptr<platform::MemoryStream> memStream, int64_t start,
                                 int64_t length, bool limited)
    : FMemStream(std::move(memStream)),
      FStart(std::max<int64_t>(0, start)),
      FLength(std::max<int64_t>(0, length)),
      FLimited(limited) {
    FMemStream->SetPosition(FStart);
}

TqzMemoryStream::TqzMemoryStream(std::string bytes)
    : TqzMemoryStream(std::make_shared<platform::MemoryStream>(std::move(bytes)), 0, 0, false) {}

TqzMemoryStream::~TqzMemoryStream() { Close(); }

int64_t TqzMemoryStream::Limit() const {
    const int64_t size = FMemStream->Size();
    return FLimited ? std::min(size, FStart + FLength) : size;
}

int32_t TqzMemoryStream::Write(const uint8_t* bytes, uint32_t count) {
    return static_cast<int32_t>(FMemStream->Write(bytes, count));
}

int32_t TqzMemoryStream::Write(uint8_t value) {
    return static_cast<int32_t>(FMemStream->Write(&value, 1));
}

int TqzMemoryStream::LookChar() {
    const int64_t pos = FMemStream->Position();
    if (pos >= Limit()) return -1;
    return static_cast<uint8_t>(FMemStream->Bytes()[static_cast<size_t>(pos)]);
}

int TqzMemoryStream::GetChar() {
    const int64_t pos = FMemStream->Position();
    if (pos >= Limit()) return -1;
    FMemStream->SetPosition(pos + 1);
    return static_cast<uint8_t>(FMemStream->Bytes()[static_cast<size_t>(pos)]);
}

int32_t TqzMemoryStream::Read(uint8_t* buffer, uint32_t count) {
    const int64_t pos = FMemStream->Position();
    const int64_t n = std::min<int64_t>(count, std::max<int64_t>(0, Limit() - pos));
    if (n <= 0) return 0;
    std::memcpy(buffer, FMemStream->Bytes().data() + pos, static_cast<size_t>(n));
    FMemStream->SetPosition(pos + n);
    return static_cast<int32_t>(n);
}

void TqzMemoryStream::Reset() {
    FMemStream->SetPosition(FStart);
    FisSaved = true;
}

void TqzMemoryStream::SetPosition(int64_t position, SeekOrigin origin) {
    FMemStream->Seek(position, origin);
}

void TqzMemoryStream::Close() {
    if (FisSaved) {
        FMemStream->SetPosition(FStart);
        FisSaved = false;
    }
}

TqzStreamPtr TqzMemoryStream::MakeSubStream(int64_t start, int64_t length, bool limited) {
    return std::make_shared<TqzMemoryStream>(FMemStream, start, length, limited);
}

void TqzMemoryStream::MoveStart(int64_t delta) {
    FStart = std::max<int64_t>(0, FStart + delta);
    FMemStream->SetPosition(FStart);
}

}  // namespace qz::core
