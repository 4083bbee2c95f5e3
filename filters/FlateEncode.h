#pragma once
// Flate compression for writing, through zlib with the zlib header and
// checksum. TqzDeflatingStream yields a source's data compressed as it is
// read, in blocks, so that no stream is held whole; TqzFlateEncode is the
// encoder of the Flate filter stream, always at level 1.

#include <cstdint>
#include <memory>
#include <string>

#include "core/FilterStream.h"

namespace qz::filters {

class TqzLiteralBlockWriter;

// How a deflating stream writes its data, chosen on the first block.
enum class TqzDeflateForm : uint8_t {
    Compressed,  // zlib at level 1
    Literal,     // every byte a literal, Huffman-coded block by block
    Stored,      // stored blocks
};

// Yields everything `source` yields from where it stands, compressed at
// level 1. With `storeWhatDoesNotShrink`, data whose first block level 1
// does not shrink by a worthwhile share is written as literal blocks when
// coding its bytes by frequency shrinks it, else in stored blocks (both
// still Flate data, made at close to the speed of a copy); a stream that
// fits in its first block is written in whichever of level 1 and stored is
// smaller. zlib's errors raise ExCompressionError.
class TqzDeflatingStream final : public core::TqzOneWayStream {
public:
    TqzDeflatingStream(core::TqzStreamPtr source, bool storeWhatDoesNotShrink);
    ~TqzDeflatingStream() override;
    TqzDeflatingStream(const TqzDeflatingStream&) = delete;
    TqzDeflatingStream& operator=(const TqzDeflatingStream&) = delete;

    // The form chosen (known once reading began).
    TqzDeflateForm GetForm() const { return FForm; }

protected:
    int32_t Produce(uint8_t* buffer, uint32_t count) override;

private:
    enum class State : uint8_t { Start, Compressing, Stored, Literal, Done };
    class Run;

    // Reads the first block and chooses the form.
    void Begin();
    // Fills FInput from the source as far as it goes; returns the bytes read.
    uint32_t ReadBlock();
    int32_t Compress(uint8_t* buffer, uint32_t count);
    int32_t Store(uint8_t* buffer, uint32_t count);
    int32_t Literal(uint8_t* buffer, uint32_t count);
    // Queues the `size` bytes read into the input block as a literal block,
    // final (with the checksum after it) when the source has ended.
    void QueueLiteralBlock(uint32_t size);
    // Queues a stored block's header and, unless null, its data.
    void QueueStoredBlock(const uint8_t* data, uint32_t size, bool final);
    // Makes the `size` bytes read into the input block the current stored
    // block, final when the source has ended.
    void StartStoredBlock(uint32_t size);
    void QueueTrailer();

    core::TqzStreamPtr FSource;
    bool FStoreWhatDoesNotShrink;
    State FState = State::Start;
    TqzDeflateForm FForm = TqzDeflateForm::Compressed;
    std::unique_ptr<TqzLiteralBlockWriter> FLiteral;
    std::unique_ptr<Run> FRun;
    uint32_t FInputSize = 0;   // bytes of the first block
    bool FInputEnded = false;  // the source gave its last byte
    uint32_t FAdler = 1;       // checksum of the stored data so far
    // The stored block being handed out: its header, then FBlockSize bytes of
    // the input block; FBlockAt counts what has gone out of both.
    uint8_t FBlockHeader[5] = {};
    uint32_t FBlockSize = 0;
    uint32_t FBlockAt = 0;
    std::string FQueue;        // bytes made but not yet handed out, from FQueueAt
    size_t FQueueAt = 0;
};

// Compresses everything `source` yields from where it stands into `out` at
// level 1; returns the number of compressed bytes.
int64_t FlateCompress(core::TqzStream& source, core::TqzStream& out);
// Compresses `size` bytes into `out` at level 1; returns the bytes written.
int64_t FlateCompress(const uint8_t* data, size_t size, core::TqzStream& out);

class TqzFlateEncode final : public core::TqzEncode {
public:
    explicit TqzFlateEncode(core::TqzStream* stream) : FStream(stream) {}

    // Compresses the source's data from its start (whatever has been read of
    // it) and appends the result to `out`; `count` is not used. Returns the
    // size of out's platform stream afterwards, or the compressed size when
    // out has none.
    int32_t Write(core::TqzStream& out, uint32_t count) override;
    // Compresses the first `count` bytes of `buffer` into the source stream.
    int32_t Write(const std::string& buffer, uint32_t count) override;

private:
    core::TqzStream* FStream;
};

}  // namespace qz::filters
