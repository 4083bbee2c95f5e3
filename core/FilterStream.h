#pragma once
// The filter framework's abstract part: a decoder and an encoder role, and
// the filter stream that holds one of each over an inner byte stream. Reading
// a filter stream yields the inner stream's bytes decoded; writing through it
// encodes. The concrete codecs live in filters/; the end-of-data stream that
// stands in for an unsupported filter lives here because the core needs it.

#include <memory>

#include "core/Stream.h"

namespace qz::core {

class TqzDecodeBase : public TqzObject {
public:
    virtual int LookChar() = 0;
    virtual int GetChar() = 0;
    virtual int64_t GetPosition() = 0;
    // The next byte of the decoding proper, before any predictor stage.
    virtual int ReadRawChar() = 0;
    // Restarts decoding from the beginning of the inner stream.
    virtual void Reset() = 0;
};

class TqzDecode : public TqzDecodeBase {
public:
    int LookChar() override { return 0; }
    int GetChar() override { return 0; }
    int64_t GetPosition() override { return -1; }
    int ReadRawChar() override { return -1; }
    void Reset() override {}
    // Decodes up to `count` bytes into `buffer`; returns the number produced.
    // Decoders that work in blocks override it; the default loops over GetChar.
    virtual int32_t Read(uint8_t* buffer, uint32_t count);
};

class TqzEncodeBase : public TqzObject {
public:
    // Encodes `count` bytes (0: all) read from the encoder's source into `out`.
    virtual int32_t Write(TqzStream& out, uint32_t count) = 0;
    // Encodes the first `count` bytes of `buffer` into the encoder's own stream.
    virtual int32_t Write(const std::string& buffer, uint32_t count) = 0;
};

class TqzEncode : public TqzEncodeBase {
public:
    int32_t Write(TqzStream&, uint32_t) override { return 0; }
    int32_t Write(const std::string&, uint32_t) override { return 0; }
};

class TqzFilterStream : public TqzStream {
public:
    using TqzStream::Read;
    using TqzStream::Write;

    int32_t Write(const uint8_t* bytes, uint32_t count) override;
    int LookChar() override { return FDecoder ? FDecoder->LookChar() : -1; }
    int GetChar() override { return FDecoder ? FDecoder->GetChar() : -1; }
    int64_t GetPosition() override { return FStream ? FStream->GetPosition() : -1; }
    TqzStream* GetBaseStream() override { return FStream ? FStream->GetBaseStream() : nullptr; }
    TqzStream* GetUndecodedStream() override {
        return FStream ? FStream->GetUndecodedStream() : nullptr;
    }
    int64_t GetSize() override { return 0; }
    void Reset() override {
        if (FDecoder) FDecoder->Reset();
    }
    void SetPosition(int64_t, SeekOrigin) override {}
    int32_t Read(uint8_t* buffer, uint32_t count) override {
        return FDecoder ? FDecoder->Read(buffer, count) : 0;
    }
    int32_t Write(TqzStream& out, uint32_t count) override {
        return FEncoder ? FEncoder->Write(out, count) : 0;
    }
    platform::Stream* GetTStream() override { return FStream ? FStream->GetTStream() : nullptr; }
    void Close() override {
        if (FStream) FStream->Close();
    }
    int ReadRawChar() override { return FDecoder ? FDecoder->ReadRawChar() : -1; }

    // The inner stream.
    TqzStream* GetNextStream() const { return FStream.get(); }
    // False for a stream that stands in for a filter it cannot decode.
    bool HasDecoder() const { return FDecoder != nullptr; }
    const TqzStreamPtr& GetNextStreamPtr() const { return FStream; }

protected:
    explicit TqzFilterStream(TqzStreamPtr inner) : FStream(std::move(inner)) {}

    std::unique_ptr<TqzEncode> FEncoder;
    std::unique_ptr<TqzDecode> FDecoder;
    TqzStreamPtr FStream;
};

// Stands in for a filter this system cannot decode: it reports no data
// (LookChar -1, size 0) so nothing decodes it, while GetChar still passes the
// stored bytes through.
class TqzEOFStream final : public TqzFilterStream {
public:
    explicit TqzEOFStream(TqzStreamPtr inner) : TqzFilterStream(std::move(inner)) {}
    int LookChar() override { return -1; }
    int GetChar() override { return FStream ? FStream->GetChar() : -1; }
    int64_t GetSize() override { return 0; }
    void Reset() override {
        if (FStream) FStream->Reset();
    }
    int32_t Read(uint8_t*, uint32_t) override { return 0; }
    TqzStreamType GetType() override { return TqzStreamType::stWeird; }
};

}  // namespace qz::core
