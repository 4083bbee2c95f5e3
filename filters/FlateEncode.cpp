#include "filters/FlateEncode.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <memory>

#include "core/PDBaseExceptions.h"

namespace qz::filters {

namespace {

// Bytes moved per zlib call in each direction.
constexpr uInt kBlock = 64 * 1024;
// The fastest level: every stream the system writes is compressed with it.
constexpr int kLevel = 1;

[[noreturn]] void Fail(int code) { throw core::streams::ExCompressionError(zError(code)); }

// A deflate state and its blocks, kept per thread and reset between runs: a
// save compresses thousands of small streams, and setting up zlib's state
// and buffers for each (a few hundred KiB, allocated and cleared) cost more
// than compressing them. A nested run (an output stream that compresses in
// turn) finds the state busy and makes its own.
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
    Bytef* Output() { return Block(FOutput); }
    Bytef* Input() { return Block(FInput); }

private:
    static Bytef* Block(std::unique_ptr<Bytef[]>& block) {
        if (!block) block = std::make_unique_for_overwrite<Bytef[]>(kBlock);
        return block.get();
    }

    z_stream FZ{};
    bool FReady = false;
    bool FBusy = false;
    std::unique_ptr<Bytef[]> FOutput;
    std::unique_ptr<Bytef[]> FInput;
};

thread_local Compressor tCompressor;

// The per-thread compressor for one run, or a state of its own when that one
// is busy; the blocks likewise.
class Run {
public:
    Run() {
        FZ = tCompressor.Acquire();
        if (FZ) {
            FOutput = tCompressor.Output();
            FInput = tCompressor.Input();
            return;
        }
        FOwn = std::make_unique<z_stream>();
        const int rc = deflateInit(FOwn.get(), kLevel);
        if (rc != Z_OK) Fail(rc);
        FZ = FOwn.get();
        FOwnOutput = std::make_unique_for_overwrite<Bytef[]>(kBlock);
        FOwnInput = std::make_unique_for_overwrite<Bytef[]>(kBlock);
        FOutput = FOwnOutput.get();
        FInput = FOwnInput.get();
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
    Bytef* Output() { return FOutput; }
    Bytef* Input() { return FInput; }

private:
    z_stream* FZ = nullptr;
    std::unique_ptr<z_stream> FOwn;
    std::unique_ptr<Bytef[]> FOwnOutput;
    std::unique_ptr<Bytef[]> FOwnInput;
    Bytef* FOutput = nullptr;
    Bytef* FInput = nullptr;
};

// One deflate run: `more` supplies input blocks (nullptr/0 at the end),
// compressed blocks go to `out`.
template <typename Supplier>
int64_t Deflate(Run& run, Supplier more, core::TqzStream& out) {
    z_stream& z = run.Z();
    Bytef* const output = run.Output();
    int rc = Z_OK;
    int64_t written = 0;
    for (;;) {
        const Bytef* data = nullptr;
        const uInt size = more(data);
        const int flush = size > 0 ? Z_NO_FLUSH : Z_FINISH;
        z.next_in = const_cast<Bytef*>(data);
        z.avail_in = size;
        do {
            z.next_out = output;
            z.avail_out = kBlock;
            rc = deflate(&z, flush);
            if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) Fail(rc);
            const uInt have = kBlock - z.avail_out;
            if (have > 0) written += out.Write(output, have);
        } while (z.avail_out == 0);
        if (flush == Z_FINISH) break;
    }
    if (rc != Z_STREAM_END) Fail(rc);
    return written;
}

}  // namespace

int64_t FlateCompress(core::TqzStream& source, core::TqzStream& out) {
    Run run;
    Bytef* const input = run.Input();
    return Deflate(
        run,
        [&](const Bytef*& data) -> uInt {
            const int32_t got = source.Read(input, kBlock);
            data = input;
            return got > 0 ? static_cast<uInt>(got) : 0;
        },
        out);
}

int64_t FlateCompress(const uint8_t* data, size_t size, core::TqzStream& out) {
    Run run;
    size_t offset = 0;
    return Deflate(
        run,
        [&](const Bytef*& block) -> uInt {
            const size_t n = std::min<size_t>(size - offset, kBlock);
            block = data + offset;
            offset += n;
            return static_cast<uInt>(n);
        },
        out);
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
