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

// One deflate run: `more` supplies input blocks (nullptr/0 at the end),
// compressed blocks go to `out`.
template <typename Supplier>
int64_t Deflate(Supplier more, core::TqzStream& out) {
    z_stream z{};
    int rc = deflateInit(&z, kLevel);
    if (rc != Z_OK) Fail(rc);
    struct End {
        z_stream* z;
        ~End() { deflateEnd(z); }
    } end{&z};

    auto output = std::make_unique<Bytef[]>(kBlock);
    int64_t written = 0;
    for (;;) {
        const Bytef* data = nullptr;
        const uInt size = more(data);
        const int flush = size > 0 ? Z_NO_FLUSH : Z_FINISH;
        z.next_in = const_cast<Bytef*>(data);
        z.avail_in = size;
        do {
            z.next_out = output.get();
            z.avail_out = kBlock;
            rc = deflate(&z, flush);
            if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) Fail(rc);
            const uInt have = kBlock - z.avail_out;
            if (have > 0) written += out.Write(output.get(), have);
        } while (z.avail_out == 0);
        if (flush == Z_FINISH) break;
    }
    if (rc != Z_STREAM_END) Fail(rc);
    return written;
}

}  // namespace

int64_t FlateCompress(core::TqzStream& source, core::TqzStream& out) {
    auto input = std::make_unique<Bytef[]>(kBlock);
    return Deflate(
        [&](const Bytef*& data) -> uInt {
            const int32_t got = source.Read(input.get(), kBlock);
            data = input.get();
            return got > 0 ? static_cast<uInt>(got) : 0;
        },
        out);
}

int64_t FlateCompress(const uint8_t* data, size_t size, core::TqzStream& out) {
    size_t offset = 0;
    return Deflate(
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
