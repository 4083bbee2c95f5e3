#include "filters/FlateEncode.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

#include "core/MemoryStream.h"
#include "core/PDBaseExceptions.h"
#include "filters/LiteralBlocks.h"

namespace qz::filters {

namespace {

// Input is read in blocks of this size: the most a stored Deflate block
// holds, so that stored output needs one block header per read.
constexpr uint32_t kBlock = 65535;
// The fastest level: every stream the system compresses uses it.
constexpr int kLevel = 1;
// Level 1 must bring the first block down to 2/3 of its size for a stream to
// be compressed by zlib. Samples of photographs stay above it (three quarters
// and more of their size) and compress at about 40 MB/s, a fiftieth of the
// speed of a copy; text, drawings and scans come far below.
constexpr uint32_t kShrinkNumerator = 2;
constexpr uint32_t kShrinkDenominator = 3;
// Above that, coding the bytes as literals must save a sixteenth of the first
// block for the stream to be written so (at close to the speed of a copy);
// data that does not shrink even that much is stored.
constexpr uint64_t kLiteralNumerator = 15;
constexpr uint64_t kLiteralDenominator = 16;
// "78 01": deflate with a 32 KiB window, fastest compression; what level 1
// writes too.
constexpr uint8_t kZlibHeader[] = {0x78, 0x01};
// A stored block's header, and the Adler-32 checksum that ends the data.
constexpr uint32_t kStoredHeaderSize = 5;
constexpr uint32_t kTrailerSize = 4;

[[noreturn]] void Fail(int code) { throw core::streams::ExCompressionError(zError(code)); }

// A deflate state and its blocks, kept per thread and reset between runs: a
// save compresses thousands of small streams, and setting up zlib's state
// and buffers for each (a few hundred KiB, allocated and cleared) cost more
// than compressing them. A run started while another is alive (an output
// stream that compresses in turn) finds the state busy and makes its own.
class Compressor {
public:
    Compressor() = default;
    ~Compressor() {
        if (FReady) deflateEnd(&FZ);
    }
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;

    // The state, ready for a new run; null when it is in use.
    z_stream* Acquire() {
        if (FBusy) return nullptr;
        if (!FReady) {
            FZ = z_stream{};
            const int rc = deflateInit(&FZ, kLevel);
            if (rc != Z_OK) Fail(rc);
            FReady = true;
        } else {
            const int rc = deflateReset(&FZ);
            if (rc != Z_OK) Fail(rc);
        }
        FBusy = true;
        return &FZ;
    }
    void Release() { FBusy = false; }
    Bytef* Input() { return Block(FInput, kBlock); }
    Bytef* Trial() { return Block(FTrial, compressBound(kBlock)); }

private:
    static Bytef* Block(std::unique_ptr<Bytef[]>& block, uLong size) {
        if (!block) block = std::make_unique_for_overwrite<Bytef[]>(size);
        return block.get();
    }

    z_stream FZ{};
    bool FReady = false;
    bool FBusy = false;
    std::unique_ptr<Bytef[]> FInput;
    std::unique_ptr<Bytef[]> FTrial;
};

thread_local Compressor tCompressor;

// A stored block's header: the final flag (block type 0), LEN and NLEN.
// Stored output never leaves a byte boundary, so each header is whole bytes.
void PutStoredHeader(uint8_t* out, uint32_t size, bool final) {
    out[0] = final ? 1 : 0;
    out[1] = static_cast<uint8_t>(size & 0xFF);
    out[2] = static_cast<uint8_t>((size >> 8) & 0xFF);
    out[3] = static_cast<uint8_t>(~size & 0xFF);
    out[4] = static_cast<uint8_t>((~size >> 8) & 0xFF);
}

void PutBigEndian32(std::string& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

// A stream over bytes the caller keeps alive.
core::TqzStreamPtr Borrowed(core::TqzStream& stream) { return core::TqzStreamPtr(core::TqzStreamPtr(), &stream); }

}  // namespace

// The per-thread compressor for one deflating stream, or a state of its own
// when that one is busy; its blocks likewise.
class TqzDeflatingStream::Run {
public:
    Run() {
        FZ = tCompressor.Acquire();
        if (FZ) {
            FInput = tCompressor.Input();
            FTrial = tCompressor.Trial();
            return;
        }
        FOwn = std::make_unique<z_stream>();
        const int rc = deflateInit(FOwn.get(), kLevel);
        if (rc != Z_OK) Fail(rc);
        FZ = FOwn.get();
        FOwnInput = std::make_unique_for_overwrite<Bytef[]>(kBlock);
        FOwnTrial = std::make_unique_for_overwrite<Bytef[]>(compressBound(kBlock));
        FInput = FOwnInput.get();
        FTrial = FOwnTrial.get();
    }
    ~Run() {
        if (FOwn) {
            deflateEnd(FOwn.get());
        } else {
            tCompressor.Release();
        }
    }
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    z_stream& Z() { return *FZ; }
    Bytef* Input() { return FInput; }
    Bytef* Trial() { return FTrial; }

private:
    z_stream* FZ = nullptr;
    std::unique_ptr<z_stream> FOwn;
    std::unique_ptr<Bytef[]> FOwnInput;
    std::unique_ptr<Bytef[]> FOwnTrial;
    Bytef* FInput = nullptr;
    Bytef* FTrial = nullptr;
};

TqzDeflatingStream::TqzDeflatingStream(core::TqzStreamPtr source, bool storeWhatDoesNotShrink)
    : FSource(std::move(source)), FStoreWhatDoesNotShrink(storeWhatDoesNotShrink) {
    if (!FSource) throw core::streams::ExInvalidStream();
}

TqzDeflatingStream::~TqzDeflatingStream() = default;

uint32_t TqzDeflatingStream::ReadBlock() {
    Bytef* const input = FRun->Input();
    uint32_t size = 0;
    if (FInputEnded) return 0;
    while (size < kBlock) {
        const int32_t got = FSource->Read(input + size, kBlock - size);
        if (got <= 0) {
            FInputEnded = true;
            break;
        }
        size += static_cast<uint32_t>(got);
    }
    return size;
}

void TqzDeflatingStream::QueueStoredBlock(const uint8_t* data, uint32_t size, bool final) {
    uint8_t header[kStoredHeaderSize];
    PutStoredHeader(header, size, final);
    FQueue.append(reinterpret_cast<const char*>(header), kStoredHeaderSize);
    if (data && size > 0) {
        FQueue.append(reinterpret_cast<const char*>(data), size);
        FAdler = static_cast<uint32_t>(adler32(FAdler, data, size));
    }
}

void TqzDeflatingStream::QueueTrailer() {
    PutBigEndian32(FQueue, FAdler);
    FState = State::Done;
}

void TqzDeflatingStream::Begin() {
    FRun = std::make_unique<Run>();
    FInputSize = ReadBlock();
    z_stream& z = FRun->Z();
    z.next_in = FRun->Input();
    z.avail_in = FInputSize;
    FState = State::Compressing;
    if (!FStoreWhatDoesNotShrink) return;

    // A trial of the first block at level 1, from a fresh state.
    const uLong capacity = compressBound(kBlock);
    z.next_out = FRun->Trial();
    z.avail_out = static_cast<uInt>(capacity);
    const int rc = deflate(&z, Z_FINISH);
    if (rc != Z_STREAM_END) Fail(rc == Z_OK ? Z_BUF_ERROR : rc);
    const auto trialSize = static_cast<uint32_t>(capacity - z.avail_out);
    const char* const trial = reinterpret_cast<const char*>(FRun->Trial());
    const uint32_t storedSize = sizeof kZlibHeader + kStoredHeaderSize + FInputSize + kTrailerSize;
    if (FInputEnded) {
        // The whole stream: both forms are at hand, the smaller one is kept.
        FQueue.clear();
        if (trialSize <= storedSize || FInputSize == 0) {
            FQueue.assign(trial, trialSize);
            FState = State::Done;
        } else {
            FQueue.assign(reinterpret_cast<const char*>(kZlibHeader), sizeof kZlibHeader);
            QueueStoredBlock(FRun->Input(), FInputSize, true);
            QueueTrailer();
            FForm = TqzDeflateForm::Stored;
        }
        FRun.reset();
        return;
    }
    if (uint64_t{trialSize} * kShrinkDenominator <= uint64_t{FInputSize} * kShrinkNumerator) {
        // Worth compressing: the real run starts over from the first byte.
        const int reset = deflateReset(&z);
        if (reset != Z_OK) Fail(reset);
        z.next_in = FRun->Input();
        z.avail_in = FInputSize;
        return;
    }
    FQueue.assign(reinterpret_cast<const char*>(kZlibHeader), sizeof kZlibHeader);
    const uint64_t literalBits = TqzLiteralBlockWriter::LiteralBlockBits(FRun->Input(), FInputSize);
    if (literalBits * kLiteralDenominator <= uint64_t{FInputSize} * 8 * kLiteralNumerator) {
        FLiteral = std::make_unique<TqzLiteralBlockWriter>();
        FState = State::Literal;
        FForm = TqzDeflateForm::Literal;
        QueueLiteralBlock(FInputSize);
        return;
    }
    StartStoredBlock(FInputSize);
    FState = State::Stored;
    FForm = TqzDeflateForm::Stored;
}

void TqzDeflatingStream::QueueLiteralBlock(uint32_t size) {
    FAdler = static_cast<uint32_t>(adler32(FAdler, FRun->Input(), size));
    FLiteral->WriteBlock(FRun->Input(), size, FInputEnded, FQueue);
    if (FInputEnded) QueueTrailer();
}

int32_t TqzDeflatingStream::Literal(uint8_t* buffer, uint32_t count) {
    const uint32_t size = ReadBlock();
    if (size > 0) {
        QueueLiteralBlock(size);
    } else {
        // The source ended right after a full block.
        FLiteral->Finish(FQueue);
        QueueTrailer();
    }
    if (FState == State::Done) FRun.reset();
    return Produce(buffer, count);
}

void TqzDeflatingStream::StartStoredBlock(uint32_t size) {
    PutStoredHeader(FBlockHeader, size, FInputEnded);
    FAdler = static_cast<uint32_t>(adler32(FAdler, FRun->Input(), size));
    FBlockSize = size;
    FBlockAt = 0;
}

int32_t TqzDeflatingStream::Produce(uint8_t* buffer, uint32_t count) {
    if (FState == State::Start) Begin();
    if (FQueueAt < FQueue.size()) {
        const size_t n = std::min<size_t>(count, FQueue.size() - FQueueAt);
        std::memcpy(buffer, FQueue.data() + FQueueAt, n);
        FQueueAt += n;
        if (FQueueAt == FQueue.size()) {
            FQueue.clear();
            FQueueAt = 0;
        }
        return static_cast<int32_t>(n);
    }
    switch (FState) {
        case State::Compressing: return Compress(buffer, count);
        case State::Stored: return Store(buffer, count);
        case State::Literal: return Literal(buffer, count);
        default: return 0;
    }
}

int32_t TqzDeflatingStream::Compress(uint8_t* buffer, uint32_t count) {
    z_stream& z = FRun->Z();
    z.next_out = buffer;
    z.avail_out = count;
    while (z.avail_out > 0) {
        if (z.avail_in == 0 && !FInputEnded) {
            const int32_t got = FSource->Read(FRun->Input(), kBlock);
            if (got > 0) {
                z.next_in = FRun->Input();
                z.avail_in = static_cast<uInt>(got);
            } else {
                FInputEnded = true;
            }
        }
        const int rc = deflate(&z, FInputEnded ? Z_FINISH : Z_NO_FLUSH);
        if (rc == Z_STREAM_END) {
            FState = State::Done;
            break;
        }
        if (rc != Z_OK && rc != Z_BUF_ERROR) Fail(rc);
    }
    const uint32_t made = count - z.avail_out;
    // Done: the shared state goes back for the next stream at once.
    if (FState == State::Done) FRun.reset();
    return static_cast<int32_t>(made);
}

int32_t TqzDeflatingStream::Store(uint8_t* buffer, uint32_t count) {
    if (FBlockAt == kStoredHeaderSize + FBlockSize) {
        // Blocks are always whole reads of kBlock bytes, however the data is
        // read from here: the output is the same byte for byte every time.
        const bool last = FInputEnded;
        const uint32_t size = last ? 0 : ReadBlock();
        if (size == 0) {
            // The source ended right after a full block: an empty final one.
            if (!last) QueueStoredBlock(nullptr, 0, true);
            QueueTrailer();
            FRun.reset();
            return Produce(buffer, count);
        }
        StartStoredBlock(size);
    }
    uint32_t n = 0;
    if (FBlockAt < kStoredHeaderSize) {
        n = std::min(count, kStoredHeaderSize - FBlockAt);
        std::memcpy(buffer, FBlockHeader + FBlockAt, n);
        FBlockAt += n;
    }
    const uint32_t data = std::min(count - n, kStoredHeaderSize + FBlockSize - FBlockAt);
    std::memcpy(buffer + n, FRun->Input() + (FBlockAt - kStoredHeaderSize), data);
    FBlockAt += data;
    return static_cast<int32_t>(n + data);
}

int64_t FlateCompress(core::TqzStream& source, core::TqzStream& out) {
    TqzDeflatingStream deflater(Borrowed(source), false);
    const auto block = std::make_unique_for_overwrite<uint8_t[]>(kBlock);
    int64_t written = 0;
    for (;;) {
        const int32_t got = deflater.Read(block.get(), kBlock);
        if (got <= 0) break;
        written += out.Write(block.get(), static_cast<uint32_t>(got));
    }
    return written;
}

int64_t FlateCompress(const uint8_t* data, size_t size, core::TqzStream& out) {
    core::TqzMemoryStream source(std::string(reinterpret_cast<const char*>(data), size));
    return FlateCompress(source, out);
}

int32_t TqzFlateEncode::Write(core::TqzStream& out, uint32_t /*count*/) {
    if (!FStream) throw core::streams::ExInvalidStream();
    FStream->Reset();
    const int64_t written = FlateCompress(*FStream, out);
    platform::Stream* platformOut = out.GetTStream();
    const int64_t result = platformOut ? platformOut->Size() : written;
    return static_cast<int32_t>(std::min<int64_t>(result, INT32_MAX));
}

int32_t TqzFlateEncode::Write(const std::string& buffer, uint32_t count) {
    if (!FStream) throw core::streams::ExInvalidStream();
    const size_t n = std::min<size_t>(count, buffer.size());
    const int64_t written = FlateCompress(reinterpret_cast<const uint8_t*>(buffer.data()), n, *FStream);
    return static_cast<int32_t>(std::min<int64_t>(written, INT32_MAX));
}

}  // namespace qz::filters
