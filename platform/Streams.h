#pragma once
// The platform streams: a seekable byte store with 64-bit positions, in two
// forms, memory and file. The PDF layer's byte streams read and write through
// them; several of its windows may share one platform stream, repositioning
// it on every access.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace qz::platform {

enum class SeekOrigin { Beginning, Current, End };

class Stream {
public:
    virtual ~Stream() = default;
    Stream() = default;
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    // Reads up to `count` bytes; returns how many were read (0 at the end).
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    // Writes `count` bytes; returns how many were written or raises EStreamError.
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    // Moves the position and returns the new one; negative results are clamped to 0.
    virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;
    virtual int64_t Size() = 0;
    virtual void SetSize(int64_t size) = 0;
    // The file the stream reads or writes; empty for a stream in memory.
    // Failures found while reading data long after it was opened name it.
    virtual const std::filesystem::path& Path() const;

    int64_t Position() { return Seek(0, SeekOrigin::Current); }
    void SetPosition(int64_t position) { Seek(position, SeekOrigin::Beginning); }
    // Reads exactly `count` bytes or raises EStreamError.
    void ReadBuffer(void* buffer, int64_t count);
    void WriteBuffer(const void* buffer, int64_t count);
    void WriteString(const std::string& bytes) {
        WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    }
    // Copies `count` bytes from the source's position; 0 copies the whole
    // source from its start. Returns the bytes copied.
    int64_t CopyFrom(Stream& source, int64_t count);
};

class MemoryStream final : public Stream {
public:
    MemoryStream() = default;
    explicit MemoryStream(std::string bytes) : data_(std::move(bytes)) {}

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    int64_t Size() override { return static_cast<int64_t>(data_.size()); }
    void SetSize(int64_t size) override;

    const std::string& Bytes() const { return data_; }
    std::string& Bytes() { return data_; }
    void Clear() {
        data_.clear();
        position_ = 0;
    }

private:
    std::string data_;
    int64_t position_ = 0;
};

enum class FileMode {
    OpenRead,       // an existing file, read only
    OpenReadWrite,  // an existing file, read and write
    Create,         // a new or truncated file, read and write
};

// A file through a POSIX descriptor. Writes are gathered in a large buffer,
// flushed before any read, seek, size query and on destruction. A file
// opened for reading only is assumed not to change while it is open.
class FileStream final : public Stream {
public:
    FileStream(const std::filesystem::path& path, FileMode mode);
    ~FileStream() override;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    int64_t Size() override;
    void SetSize(int64_t size) override;

    // Pushes buffered bytes to the file; raises EStreamError on failure.
    void Flush();
    // Flushes and asks the system to put the data on disk.
    void Sync();
    const std::filesystem::path& Path() const override { return path_; }

private:
    // Writes all `count` bytes at `offset`; raises EStreamError on failure.
    void WriteAt(const char* bytes, int64_t count, int64_t offset);

    std::filesystem::path path_;
    int fd_ = -1;
    // The size of a file opened for reading only, asked once: readers ask
    // for it on every object they fetch, and such a file is taken not to
    // change while it is read (the PDF reader relies on that anyway). -1
    // for files opened for writing, whose size is asked every time.
    int64_t readOnlySize_ = -1;
    int64_t position_ = 0;
    std::vector<char> writeBuffer_;
    int64_t writeStart_ = 0;  // file offset of writeBuffer_[0]
};

// Reads a whole file into memory; raises EStreamError when it cannot be read.
std::string ReadFileBytes(const std::filesystem::path& path);
// Creates or replaces a file with these bytes.
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);

}  // namespace qz::platform
