// The compressor's state is kept per thread and reset between runs: a run
// that failed part way, or one started inside another (an output stream that
// compresses what it is given), must leave every run's output exactly what a
// fresh zlib state gives.

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "core/MemoryStream.h"
#include "filters/FlateEncode.h"
#include "filters/tests/TestSupport.h"

using namespace qz::filters;
using namespace qz::filters::test;
using qz::core::TqzMemoryStream;

namespace {

// A stream that only reads or only writes; the rest does nothing.
class TestStream : public qz::core::TqzStream {
public:
    using qz::core::TqzStream::Read;
    using qz::core::TqzStream::Write;
    int32_t Write(const uint8_t*, uint32_t) override { return 0; }
    int LookChar() override { return -1; }
    int GetChar() override { return -1; }
    int64_t GetPosition() override { return 0; }
    qz::core::TqzStream* GetBaseStream() override { return this; }
    qz::core::TqzStream* GetUndecodedStream() override { return this; }
    int64_t GetSize() override { return 0; }
    void Reset() override {}
    void SetPosition(int64_t, qz::core::SeekOrigin) override {}
    qz::core::TqzStreamType GetType() override { return qz::core::TqzStreamType::stWeird; }
};

// Gives its data, then fails on the read after it.
class FailingSource final : public TestStream {
public:
    explicit FailingSource(std::string data) : FData(std::move(data)) {}
    int32_t Read(uint8_t* buffer, uint32_t count) override {
        if (FAt >= FData.size()) throw std::runtime_error("read failed");
        const size_t n = std::min<size_t>(count, FData.size() - FAt);
        std::copy_n(FData.data() + FAt, n, reinterpret_cast<char*>(buffer));
        FAt += n;
        return static_cast<int32_t>(n);
    }

private:
    std::string FData;
    size_t FAt = 0;
};

// Keeps what is written to it, and compresses each write into `inner` as it
// arrives.
class CompressingSink final : public TestStream {
public:
    int32_t Write(const uint8_t* bytes, uint32_t count) override {
        FlateCompress(bytes, count, inner);
        written.append(reinterpret_cast<const char*>(bytes), count);
        return static_cast<int32_t>(count);
    }
    std::string written;
    TqzMemoryStream inner;
};

}  // namespace

TEST(FlateEncodeState, FailedRunLeavesNoTrace) {
    const std::string first = RandomBytes(150000);
    FailingSource failing(first);
    TqzMemoryStream lost;
    EXPECT_THROW(FlateCompress(failing, lost), std::runtime_error);

    const std::string next = SampleText(100000);
    TqzMemoryStream source(next);
    TqzMemoryStream out;
    FlateCompress(source, out);
    EXPECT_TRUE(Same(out.Bytes(), Zlib(next, 1)));
}

TEST(FlateEncodeState, RunInsideARun) {
    const std::string data = SampleText(200000);
    TqzMemoryStream source(data);
    CompressingSink sink;
    FlateCompress(source, sink);
    EXPECT_TRUE(Same(sink.written, Zlib(data, 1)));
    // The inner runs compressed each block the outer one wrote, one stream each.
    EXPECT_FALSE(sink.inner.Bytes().empty());
    TqzMemoryStream again(data);
    TqzMemoryStream out;
    FlateCompress(again, out);
    EXPECT_TRUE(Same(out.Bytes(), Zlib(data, 1)));
}
