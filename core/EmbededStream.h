#pragma once
// TqzEmbededStream: a view of the next bytes of another byte stream, used for
// the members of an object stream and for inline image data. It does not own
// the inner stream unless given a shared pointer to keep it alive.

#include <algorithm>

#include "core/Stream.h"

namespace qz::core {

class TqzEmbededStream final : public TqzBaseStream {
public:
    using TqzStream::Read;
    using TqzStream::Write;

    TqzEmbededStream(TqzStream* stream, int64_t length, bool limited)
        : FStream(stream), FLength(length), FLimited(limited) {}
    TqzEmbededStream(TqzStreamPtr stream, int64_t length, bool limited)
        : FStream(stream.get()), FKeepAlive(std::move(stream)), FLength(length), FLimited(limited) {}

    int32_t Write(const uint8_t*, uint32_t) override { return 0; }
    int LookChar() override {
        if (FLimited && FLength <= 0) return -1;
        return FStream->LookChar();
    }
    int GetChar() override {
        if (FLimited && FLength <= 0) return -1;
        --FLength;
        return FStream->GetChar();
    }
    int32_t Read(uint8_t* buffer, uint32_t count) override {
        if (FLimited) count = static_cast<uint32_t>(std::min<int64_t>(count, std::max<int64_t>(FLength, 0)));
        const int32_t got = FStream->Read(buffer, count);
        FLength -= got;
        return got;
    }
    int64_t GetPosition() override { return FStream->GetPosition(); }
    // The bytes still allowed.
    int64_t GetSize() override { return FLength; }
    void Reset() override {}
    void SetPosition(int64_t, SeekOrigin) override {}
    TqzStreamType GetType() override { return TqzStreamType::stWeird; }

    TqzStreamPtr MakeSubStream(int64_t, int64_t, bool) override { return nullptr; }
    int64_t GetStart() override { return 0; }
    void MoveStart(int64_t) override {}

private:
    TqzStream* FStream;
    TqzStreamPtr FKeepAlive;
    int64_t FLength;
    bool FLimited;
};

}  // namespace qz::core
