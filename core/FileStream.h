#pragma once
// TqzFileStream: a buffered reader and writer over a seekable platform
// stream (the file a document was loaded from, or the output of a save), or a
// window of it. Every buffer refill positions the platform stream itself, so
// several windows over one platform stream can be read interleaved.

#include <algorithm>
#include <memory>

#include "core/Stream.h"

namespace qz::core {

class TqzFileStream final : public TqzBaseStream {
public:
    using TqzStream::Read;
    using TqzStream::Write;

    // Read-ahead per refill: large enough that lexing a file costs few reads.
    static constexpr uint32_t kBufferSize = 64 * 1024;
    // Reads of at least this many bytes go straight to the platform stream:
    // the buffer would save them no system call, only add a copy (and keep
    // a block alive for a window that is read once).
    static constexpr uint32_t kDirectReadSize = 16 * 1024;

    TqzFileStream(std::shared_ptr<platform::Stream> file, int64_t start, int64_t length,
                  bool limited);
    ~TqzFileStream() override;

    int32_t Write(const uint8_t* bytes, uint32_t count) override;
    int32_t Write(uint8_t value) override;
    int LookChar() override {
        if (FBufferIndex < FBufferCount || Refill()) return FBuffer[FBufferIndex];
        return -1;
    }
    int GetChar() override {
        if (FBufferIndex < FBufferCount || Refill()) return FBuffer[FBufferIndex++];
        return -1;
    }
    int64_t GetPosition() override { return FPosition + FBufferIndex; }
    int64_t GetSize() override { return FFile->Size(); }
    void Reset() override;
    void SetPosition(int64_t position, SeekOrigin origin) override;
    int32_t Read(uint8_t* buffer, uint32_t count) override;
    platform::Stream* GetTStream() override { return FFile.get(); }
    const std::shared_ptr<platform::Stream>& GetTStreamPtr() const { return FFile; }
    void Close() override;
    TqzStreamType GetType() override { return TqzStreamType::stFile; }

    TqzStreamPtr MakeSubStream(int64_t start, int64_t length, bool limited) override;
    int64_t GetStart() override { return FStart; }
    void MoveStart(int64_t delta) override;
    // The absolute offset where a limited window ends; the file size otherwise.
    int64_t GetLimit();
    int64_t GetWindowSize() override { return std::max<int64_t>(0, GetLimit() - FStart); }

private:
    bool Refill();
    void DropBuffer(int64_t absolutePosition);

    std::shared_ptr<platform::Stream> FFile;
    int64_t FStart = 0;
    int64_t FLength = 0;
    bool FLimited = false;
    // Allocated at the first refill, no larger than that refill needs, and
    // grown when a later one needs more: a window over a small stream, or the
    // tail of a small file, never pays for a full block. Not zero-filled.
    std::unique_ptr<uint8_t[]> FBuffer;
    uint32_t FBufferCapacity = 0;
    uint32_t FBufferIndex = 0;
    uint32_t FBufferCount = 0;
    int64_t FPosition = 0;  // absolute offset of FBuffer[0]
    int64_t FAbsPos = 0;    // absolute offset at which the next fill reads
};

}  // namespace qz::core
