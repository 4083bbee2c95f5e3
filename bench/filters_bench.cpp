// Throughput (MB/s) of what users wait for on every merge: copying stream
// data through block reads, Flate compression, and inflate; inflate runs
// side by side with zlib's own and the ratio is printed at the end.

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>

#include "bench/BenchSupport.h"
#include "core/FileStream.h"
#include "core/MemoryStream.h"
#include "filters/CodecStreams.h"
#include "filters/FlateEncode.h"
#include "platform/Streams.h"

namespace {

using namespace qz;

// Discards what it is given: the copy's cost, not the destination's.
class NullSink final : public core::TqzStream {
public:
    using core::TqzStream::Read;
    using core::TqzStream::Write;
    int32_t Write(const uint8_t*, uint32_t count) override { return static_cast<int32_t>(count); }
    int LookChar() override { return -1; }
    int GetChar() override { return -1; }
    int64_t GetPosition() override { return 0; }
    core::TqzStream* GetBaseStream() override { return this; }
    core::TqzStream* GetUndecodedStream() override { return this; }
    int64_t GetSize() override { return 0; }
    void Reset() override {}
    void SetPosition(int64_t, core::SeekOrigin) override {}
    core::TqzStreamType GetType() override { return core::TqzStreamType::stWeird; }
};

// Page-content-like text with numbers, 32 MiB.
const std::string& Sample() {
    static const std::string data = [] {
        std::mt19937 rng(1);
        static const char* words[] = {"BT", "ET", "Tf", "Td", "Tj", "re", "f", "q", "Q", "cm",
                                      "/F1", "12", "0", "1", "(Hello, world)", "(Lorem ipsum)"};
        std::string s;
        s.reserve(32 << 20);
        while (s.size() < (32u << 20)) {
            s += words[rng() % 16];
            s += (rng() % 7 == 0) ? "\n" : " ";
            if (rng() % 5 == 0) s += std::to_string(rng() % 1000) + "." + std::to_string(rng() % 100) + " ";
        }
        s.resize(32u << 20);
        return s;
    }();
    return data;
}

const std::string& Compressed() {
    static const std::string z = bench::Deflate(Sample());
    return z;
}

void CopyMemory(benchmark::State& state) {
    auto src = std::make_shared<core::TqzMemoryStream>(Sample());
    NullSink sink;
    for (auto _ : state) {
        src->Reset();
        benchmark::DoNotOptimize(sink.CopyAll(*src));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(Sample().size()));
}

void CopyFile(benchmark::State& state) {
    const auto path = bench::ScratchFolder("filters-bench") / "copy.bin";
    platform::WriteFileBytes(path, Sample());
    auto file = std::make_shared<platform::FileStream>(path, platform::FileMode::OpenRead);
    core::TqzFileStream src(file, 0, 0, false);
    NullSink sink;
    for (auto _ : state) {
        src.Reset();
        benchmark::DoNotOptimize(sink.CopyAll(src));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(Sample().size()));
}

void FlateCompress(benchmark::State& state) {
    auto src = std::make_shared<core::TqzMemoryStream>(Sample());
    NullSink sink;
    for (auto _ : state) {
        src->Reset();
        benchmark::DoNotOptimize(filters::FlateCompress(*src, sink));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(Sample().size()));
}

// MB/s counted on the decoded bytes.
void Inflate(benchmark::State& state) {
    filters::TqzFlateStream s(std::make_shared<core::TqzMemoryStream>(Compressed()));
    std::string block(64 * 1024, '\0');
    for (auto _ : state) {
        s.Reset();
        int64_t total = 0;
        for (int32_t got; (got = s.Read(reinterpret_cast<uint8_t*>(block.data()), 64 * 1024)) > 0;) total += got;
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(Sample().size()));
}

// The byte-at-a-time road a lexer takes through a content stream.
void InflateByteByByte(benchmark::State& state) {
    filters::TqzFlateStream s(std::make_shared<core::TqzMemoryStream>(Compressed()));
    core::TqzStream& stream = s;
    for (auto _ : state) {
        stream.Reset();
        int64_t sum = 0;
        for (int c; (c = stream.GetChar()) >= 0;) sum += c;
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(Sample().size()));
}

void InflateZlib(benchmark::State& state) {
    const std::string& z = Compressed();
    std::string block(64 * 1024, '\0');
    for (auto _ : state) {
        z_stream zs{};
        inflateInit(&zs);
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(z.data()));
        zs.avail_in = static_cast<uInt>(z.size());
        int rc;
        do {
            zs.next_out = reinterpret_cast<Bytef*>(block.data());
            zs.avail_out = static_cast<uInt>(block.size());
            rc = inflate(&zs, Z_NO_FLUSH);
        } while (rc == Z_OK);
        benchmark::DoNotOptimize(zs.total_out);
        inflateEnd(&zs);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(Sample().size()));
}

BENCHMARK(CopyMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(CopyFile)->Unit(benchmark::kMillisecond);
BENCHMARK(FlateCompress)->Unit(benchmark::kMillisecond);
BENCHMARK(Inflate)->Unit(benchmark::kMillisecond);
BENCHMARK(InflateByteByByte)->Unit(benchmark::kMillisecond);
BENCHMARK(InflateZlib)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& r = reporter.bytesPerSecond;
    auto mbps = [](double v) { return v / 1e6; };
    for (const auto& [name, rate] : r) std::printf("%-22s %9.1f MB/s\n", name.c_str(), mbps(rate));
    if (r.count("Inflate") && r.count("InflateZlib") && r["InflateZlib"] > 0)
        std::printf("inflate / zlib inflate: %.2f\n", r["Inflate"] / r["InflateZlib"]);
    if (r.count("InflateByteByByte") && r.count("InflateZlib") && r["InflateZlib"] > 0)
        std::printf("inflate byte by byte / zlib inflate: %.2f\n", r["InflateByteByByte"] / r["InflateZlib"]);
    benchmark::Shutdown();
    return 0;
}
