#include "platform/ReopeningFileStream.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "platform/Exception.h"

using namespace qz::platform;
namespace fs = std::filesystem;

namespace {

class ReopeningFileStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("qz_reopening_" + std::to_string(::getpid()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }
    fs::path Write(const std::string& name, const std::string& bytes) {
        const fs::path path = folder_ / name;
        WriteFileBytes(path, bytes);
        return path;
    }
    fs::path folder_;
};

std::string ReadAt(Stream& stream, int64_t position, int64_t count) {
    std::string bytes(static_cast<size_t>(count), '\0');
    stream.SetPosition(position);
    bytes.resize(static_cast<size_t>(stream.Read(bytes.data(), count)));
    return bytes;
}

TEST_F(ReopeningFileStreamTest, ReadsSeeksAndRefusesWrites) {
    ReopeningFileStream stream(Write("a", "0123456789"));
    EXPECT_EQ(stream.Size(), 10);
    EXPECT_EQ(ReadAt(stream, 3, 4), "3456");
    EXPECT_EQ(ReadAt(stream, 8, 10), "89");
    EXPECT_EQ(stream.Seek(-3, SeekOrigin::End), 7);
    EXPECT_EQ(ReadAt(stream, 20, 4), "");
    EXPECT_THROW(stream.Write("x", 1), EStreamError);
    EXPECT_THROW(stream.SetSize(0), EStreamError);
    EXPECT_TRUE(stream.HoldsDescriptor());
}

TEST_F(ReopeningFileStreamTest, AFileCutShortSinceItWasOpenedIsRefusedNamingIt) {
    const fs::path path = Write("cut", std::string(1000, 'x'));
    ReopeningFileStream stream(path);
    EXPECT_EQ(stream.Path(), path);
    fs::resize_file(path, 600);
    EXPECT_EQ(ReadAt(stream, 0, 600), std::string(600, 'x'));
    try {
        ReadAt(stream, 500, 200);
        FAIL() << "no exception";
    } catch (const EStreamError& e) {
        EXPECT_NE(std::string(e.what()).find(path.string()), std::string::npos) << e.what();
    }
    // Streams in memory have no file to name.
    EXPECT_TRUE(MemoryStream("abc").Path().empty());
}

TEST_F(ReopeningFileStreamTest, WhatIsNotARegularFileIsRefusedWithoutWaiting) {
    EXPECT_THROW(ReopeningFileStream(folder_ / "missing"), EStreamError);
    EXPECT_THROW(ReopeningFileStream{folder_}, EStreamError);
    const fs::path fifo = folder_ / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_THROW(ReopeningFileStream{fifo}, EStreamError);
}

// Runs in a child process with a small limit on open files: many streams
// stay readable, at most the pool's budget hold a descriptor, and a file
// replaced while its stream had let go of its descriptor is refused.
int ManyStreamsUnderALowLimit(const fs::path& folder) {
    const rlimit lowered{64, 64};
    if (::setrlimit(RLIMIT_NOFILE, &lowered) != 0) return 2;
    const int64_t budget = ReopeningFileDescriptorBudget();
    if (budget <= 0 || budget >= 64) return 3;
    std::vector<std::unique_ptr<ReopeningFileStream>> streams;
    constexpr int kStreams = 200;
    for (int i = 0; i < kStreams; ++i) {
        const fs::path path = folder / ("f" + std::to_string(i));
        WriteFileBytes(path, "file " + std::to_string(i));
        streams.push_back(std::make_unique<ReopeningFileStream>(path));
    }
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < kStreams; ++i) {
            if (ReadAt(*streams[static_cast<size_t>(i)], 0, 100) != "file " + std::to_string(i)) return 4;
        }
    }
    int64_t holding = 0;
    for (const auto& s : streams) holding += s->HoldsDescriptor() ? 1 : 0;
    if (holding > budget) return 5;
    // Stream 0 was read first and has long given its descriptor back.
    if (streams[0]->HoldsDescriptor()) return 6;
    WriteFileBytes(folder / "replacement", "other bytes");
    fs::rename(folder / "replacement", folder / "f0");
    try {
        ReadAt(*streams[0], 0, 10);
        return 7;
    } catch (const EStreamError&) {
    }
    return 0;
}

TEST_F(ReopeningFileStreamTest, ManyStreamsShareAFewDescriptors) {
    EXPECT_EXIT(std::_Exit(ManyStreamsUnderALowLimit(folder_)), ::testing::ExitedWithCode(0), "");
}

}  // namespace
