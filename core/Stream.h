#pragma once
// TqzStream: the abstract byte stream through which the PDF layer reads and
// writes every byte; TqzBaseStream: a stream over stored bytes that can make
// windows of itself. Streams are shared with std::shared_ptr wherever more
// than one holder exists (a stream object's data, a window's file).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/Object.h"
#include "platform/Streams.h"

namespace qz::core {

enum class TqzStreamType : uint8_t {
    stFile,
    stASCIIHex,
    stASCII85,
    stLZW,
    stRunLength,
    stCCITTFax,
    stDCT,
    stFlate,
    stJBIG2,
    stJPX,
    stCrypt,
    stWeird,
};

using platform::SeekOrigin;

class TqzStream : public TqzObject {
public:
    // Writes the first `count` bytes; returns the number written.
    virtual int32_t Write(const uint8_t* bytes, uint32_t count) = 0;
    // The next byte (0..255) without consuming it, or -1 at the end.
    virtual int LookChar() = 0;
    // The next byte, consumed, or -1 at the end.
    virtual int GetChar() = 0;
    virtual int64_t GetPosition() = 0;
    // The stream holding the raw bytes (for a filter stream the innermost one).
    virtual TqzStream* GetBaseStream() = 0;
    // The stream holding the data as stored; the base stream for every stream here.
    virtual TqzStream* GetUndecodedStream() = 0;
    virtual int64_t GetSize() = 0;
    // Rewinds to the start of the data.
    virtual void Reset() = 0;
    // Positions are absolute in the underlying platform stream.
    virtual void SetPosition(int64_t position, SeekOrigin origin) = 0;

    // Reads up to `count` bytes into `buffer` (sized by the caller, at least
    // `count` bytes); returns the number read. The base form loops over
    // GetChar; streams that can hand out blocks override it, and every bulk
    // copy goes through it.
    virtual int32_t Read(uint8_t* buffer, uint32_t count);
    // Reads up to `count` bytes into `buffer`, which must already hold at
    // least `count` characters (else ExInvalidBuffer).
    int32_t Read(std::string& buffer, uint32_t count);
    // Reads up to `count` bytes and writes them into `out`.
    int32_t Read(TqzStream& out, uint32_t count);
    int32_t Write(const std::string& buffer);
    virtual int32_t Write(uint8_t value);
    // Filter streams encode `count` bytes (0: all) of their source into `out`.
    virtual int32_t Write(TqzStream& out, uint32_t count);
    // The platform stream read by a memory or file stream; none otherwise.
    virtual platform::Stream* GetTStream();
    virtual void Close();
    // Reads one line of at most `count` bytes into `buffer` from index 0
    // (LF, CR LF or the end end it; the CR of CR LF leaves the LF unread).
    // Bytes of `buffer` past the line keep their values.
    void ReadLine(std::vector<uint8_t>& buffer, int32_t count);
    virtual int ReadRawChar();
    virtual TqzStreamType GetType() = 0;

    // Copies everything `source` yields, from where it stands to its end,
    // into this stream. `count` is only a size hint.
    int32_t CopyFrom(TqzStream& source, uint32_t count);
    // Like CopyFrom, but as 64-bit, with no int32 result to overflow.
    int64_t CopyAll(TqzStream& source);
};

using TqzStreamPtr = std::shared_ptr<TqzStream>;

// A stream whose bytes are made as it is read, in blocks, from another
// stream (data compressed or encrypted on its way to the output). It is read
// once, front to back: writing, rewinding and positioning are refused.
class TqzOneWayStream : public TqzStream {
public:
    using TqzStream::Read;
    using TqzStream::Write;

    int32_t Read(uint8_t* buffer, uint32_t count) final;
    int LookChar() override;
    int GetChar() override;
    // Raises ExInvalidStream.
    int32_t Write(const uint8_t* bytes, uint32_t count) override;
    int64_t GetPosition() override { return FDelivered; }
    TqzStream* GetBaseStream() override { return this; }
    TqzStream* GetUndecodedStream() override { return this; }
    int64_t GetSize() override { return 0; }
    // Raises ExInvalidStream: what was made cannot be made again.
    void Reset() override;
    void SetPosition(int64_t, SeekOrigin) override {}
    TqzStreamType GetType() override { return TqzStreamType::stWeird; }

protected:
    // Makes up to `count` bytes into `buffer`; 0 only at the end.
    virtual int32_t Produce(uint8_t* buffer, uint32_t count) = 0;

private:
    int FPeeked = -1;  // a byte LookChar made and Read has not handed out
    int64_t FDelivered = 0;
};

class TqzBaseStream : public TqzStream {
public:
    TqzStream* GetBaseStream() override { return this; }
    TqzStream* GetUndecodedStream() override { return this; }
    // A new stream over the same stored bytes starting at absolute offset
    // `start`; when `limited`, reading stops after `length` bytes.
    virtual TqzStreamPtr MakeSubStream(int64_t start, int64_t length, bool limited) = 0;
    virtual int64_t GetStart() = 0;
    virtual void MoveStart(int64_t delta) = 0;
    // The number of bytes from the window's start to its end (its limit, or
    // the end of the stored bytes); -1 when the stream cannot tell.
    virtual int64_t GetWindowSize() { return -1; }
};

}  // namespace qz::core
