#include "platform/Streams.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Exception.h"

using namespace qz::platform;
namespace fs = std::filesystem;

namespace {

fs::path TempPath(const std::string& name) {
    return fs::temp_directory_path() / ("qz_platform_" + std::to_string(::getpid()) + "_" + name);
}

}  // namespace

TEST(MemoryStream, ReadWriteSeek) {
    MemoryStream m;
    m.WriteString("hello world");
    EXPECT_EQ(m.Size(), 11);
    EXPECT_EQ(m.Seek(-5, SeekOrigin::End), 6);
    char buf[8] = {};
    EXPECT_EQ(m.Read(buf, 8), 5);
    EXPECT_EQ(std::string(buf, 5), "world");
    EXPECT_EQ(m.Read(buf, 8), 0);
    m.SetPosition(0);
    m.WriteString("J");
    EXPECT_EQ(m.Bytes(), "Jello world");
    EXPECT_EQ(m.Seek(-100, SeekOrigin::Current), 0);
}

TEST(FileStream, WritesAreBufferedButVisibleToReadsAndSize) {
    const fs::path p = TempPath("buffered");
    {
        FileStream f(p, FileMode::Create);
        for (int i = 0; i < 1000; ++i) f.WriteString("0123456789");
        EXPECT_EQ(f.Position(), 10000);
        EXPECT_EQ(f.Size(), 10000);
        f.SetPosition(9995);
        char buf[5];
        f.ReadBuffer(buf, 5);
        EXPECT_EQ(std::string(buf, 5), "56789");
        f.SetPosition(0);
        f.WriteString("X");
    }
    const std::string bytes = ReadFileBytes(p);
    EXPECT_EQ(bytes.size(), 10000u);
    EXPECT_EQ(bytes.substr(0, 3), "X12");
    fs::remove(p);
}

TEST(FileStream, LargeWriteAndPositionsBeyond4GiBArithmetic) {
    const fs::path p = TempPath("large");
    {
        FileStream f(p, FileMode::Create);
        std::string big(1 << 20, 'a');
        f.WriteString(big);
        EXPECT_EQ(f.Size(), 1 << 20);
        // Positions are 64-bit: seeking far past the end is allowed and reads nothing.
        EXPECT_EQ(f.Seek(int64_t{5} << 32, SeekOrigin::Beginning), int64_t{5} << 32);
        char c;
        EXPECT_EQ(f.Read(&c, 1), 0);
    }
    fs::remove(p);
}

TEST(FileStream, MissingFileAndDirectoryRaise) {
    EXPECT_THROW(FileStream(TempPath("does-not-exist"), FileMode::OpenRead), EStreamError);
    EXPECT_THROW(FileStream(fs::temp_directory_path(), FileMode::OpenRead), EStreamError);
    try {
        FileStream(TempPath("nope/inner.pdf"), FileMode::Create);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_NE(std::string(e.what()).find("Cannot create file"), std::string::npos);
    }
}

TEST(Stream, CopyFromWholeSourceWithZero) {
    MemoryStream src("abcdef");
    src.SetPosition(3);
    MemoryStream dst;
    EXPECT_EQ(dst.CopyFrom(src, 0), 6);
    EXPECT_EQ(dst.Bytes(), "abcdef");
    src.SetPosition(2);
    MemoryStream part;
    EXPECT_EQ(part.CopyFrom(src, 2), 2);
    EXPECT_EQ(part.Bytes(), "cd");
    EXPECT_THROW(part.CopyFrom(src, 50), EStreamError);
}
