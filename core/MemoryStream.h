#pragma once
// TqzMemoryStream: a byte stream over a platform memory stream, or a window
// of one. Windows made by MakeSubStream share the platform stream.

#include <algorithm>
#include <memory>
#include <string>

#include "core/Stream.h"

namespace qz::core {

class TqzMemoryStream final : public TqzBaseStream {
public:
    using TqzStream::Read;
    using TqzStream::Write;

    TqzMemoryStream(std::shared_ptr<platform::MemoryStream> memStream, int64_t start,
                    int64_t length, bool limited);
    // A stream over a new platform memory stream holding `bytes`.
    explicit TqzMemoryStream(std::string bytes = {});
    ~TqzMemoryStream() override;

    int32_t Write(const uint8_t* bytes, uint32_t count) override;
    int32_t Write(uint8_t value) override;
    int LookChar() override;
    int GetChar() override;
    int64_t GetPosition() override { return FMemStream->Position(); }
    int64_t GetSize() override { return FMemStream->Size(); }
    void Reset() override;
    void SetPosition(int64_t position, SeekOrigin origin) override;
    int32_t Read(uint8_t* buffer, uint32_t count) override;
    platform::Stream* GetTStream() override { return FMemStream.get(); }
    void Close() override;
    TqzStreamType GetType() override { return TqzStreamType::stFile; }

    TqzStreamPtr MakeSubStream(int64_t start, int64_t length, bool limited) override;
    int64_t GetStart() override { return FStart; }
    void MoveStart(int64_t delta) override;
    int64_t GetWindowSize() override { return std::max<int64_t>(0, Limit() - FStart); }

    platform::MemoryStream& Memory() { return *FMemStream; }
    const std::string& Bytes() const { return FMemStream->Bytes(); }

private:
    int64_t Limit() const;

    std::shared_ptr<platform::MemoryStream> FMemStream;
    int64_t FStart = 0;
    int64_t FLength = 0;
    bool FLimited = false;
    bool FisSaved = false;
};

}  // namespace qz::core
