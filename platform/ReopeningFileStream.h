#pragma once
// ReopeningFileStream: a read-only file stream that holds an open descriptor
// only while the process can spare one. A merge keeps every source file
// readable until the result is written, which can mean thousands of files;
// their descriptors live in one process-wide pool, and when the pool is full
// the least recently read file gives its descriptor back and is reopened by
// path on its next read. A file replaced or changed on disk in the meantime is
// refused rather than read as if it were the one first opened.
//
// The stream owns its path and its place in the pool; the pool owns the open
// descriptors and closes each when its stream is destroyed.

#include <cstdint>
#include <filesystem>

#include "platform/Streams.h"

namespace qz::platform {

class ReopeningFileStream final : public Stream {
public:
    // Opens the file once to check it and learn its identity; EStreamError
    // when it cannot be opened or is not a regular file.
    explicit ReopeningFileStream(const std::filesystem::path& path);
    ~ReopeningFileStream() override;

    int64_t Read(void* buffer, int64_t count) override;
    // Read only: both raise EStreamError.
    int64_t Write(const void* buffer, int64_t count) override;
    void SetSize(int64_t size) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    // The size found at opening; the file is not expected to change.
    int64_t Size() override { return size_; }

    const std::filesystem::path& Path() const override { return path_; }
    // Whether the stream holds a descriptor now (for tests and diagnostics).
    bool HoldsDescriptor() const;

    // Identity of the opened file, checked on every reopen.
    struct Identity {
        uint64_t device = 0;
        uint64_t inode = 0;
        int64_t size = 0;
        int64_t modifiedSeconds = 0;
        int64_t modifiedNanoseconds = 0;
        bool operator==(const Identity&) const = default;
    };

private:
    // The descriptor to read from, reopening the file when the pool took it.
    int Descriptor();

    std::filesystem::path path_;
    Identity identity_;
    int64_t size_ = 0;
    int64_t position_ = 0;
    uint64_t id_ = 0;  // key in the descriptor pool
};

// How many descriptors the pool keeps open at most, given the current soft
// limit on open files; the rest of the limit stays free for everything else
// the process opens (outputs, pipes to tools, libraries).
int64_t ReopeningFileDescriptorBudget();
// Raises the process's soft limit on open files to its hard limit; returns
// the soft limit in force afterwards.
int64_t RaiseOpenFileLimit();

}  // namespace qz::platform
