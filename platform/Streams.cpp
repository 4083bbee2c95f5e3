#include "platform/Streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/Exception.h"

namespace qz::platform {

namespace {

// Large enough that a writer's many small writes become few system calls.
constexpr size_t kFileWriteBufferSize = 256 * 1024;
// Chunk of a stream-to-stream copy.
constexpr int64_t kCopyChunk = 256 * 1024;

std::string SystemMessage(const std::string& what, const std::filesystem::path& path) {
    return what + " \"" + path.string() + "\": " + std::strerror(errno);
}

}  // namespace

const std::filesystem::path& Stream::Path() const {
    static const std::filesystem::path none;
    return none;
}

void Stream::ReadBuffer(void* buffer, int64_t count) {
    if (count < 0 || Read(buffer, count) != count) throw EStreamError("Stream read error");
}

void Stream::WriteBuffer(const void* buffer, int64_t count) {
    if (count < 0 || Write(buffer, count) != count) throw EStreamError("Stream write error");
}

int64_t Stream::CopyFrom(Stream& source, int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    std::vector<char> chunk(static_cast<size_t>(std::min(std::max<int64_t>(count, 1), kCopyChunk)));
    int64_t copied = 0;
    while (copied < count) {
        const int64_t want = std::min<int64_t>(count - copied, static_cast<int64_t>(chunk.size()));
        source.ReadBuffer(chunk.data(), want);
        WriteBuffer(chunk.data(), want);
        copied += want;
    }
    return copied;
}

int64_t MemoryStream::Read(void* buffer, int64_t count) {
    const auto size = static_cast<int64_t>(data_.size());
    if (count <= 0 || position_ >= size) return 0;
    const int64_t n = std::min(count, size - position_);
    std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int64_t MemoryStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    const auto end = static_cast<size_t>(position_ + count);
    if (end > data_.size()) {
        if (end > data_.capacity()) data_.reserve(std::max(end, data_.capacity() * 2));
        data_.resize(end);
    }
    std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
    position_ += count;
    return count;
}

int64_t MemoryStream::Seek(int64_t offset, SeekOrigin origin) {
    int64_t base = 0;
    if (origin == SeekOrigin::Current) base = position_;
    if (origin == SeekOrigin::End) base = static_cast<int64_t>(data_.size());
    position_ = std::max<int64_t>(0, base + offset);
    return position_;
}

void MemoryStream::SetSize(int64_t size) {
    data_.resize(static_cast<size_t>(std::max<int64_t>(0, size)));
    position_ = std::min(position_, static_cast<int64_t>(data_.size()));
}

FileStream::FileStream(const std::filesystem::path& path, FileMode mode) : path_(path) {
    int flags = O_CLOEXEC;
    switch (mode) {
        case FileMode::OpenRead: flags |= O_RDONLY; break;
        case FileMode::OpenReadWrite: flags |= O_RDWR; break;
        case FileMode::Create: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    }
    fd_ = ::open(path.c_str(), flags, 0666);
    if (fd_ < 0)
        throw EStreamError(SystemMessage(
            mode == FileMode::Create ? "Cannot create file" : "Cannot open file", path));
    struct stat st {};
    const bool known = ::fstat(fd_, &st) == 0;
    if (known && S_ISDIR(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        errno = EISDIR;
        throw EStreamError(SystemMessage("Cannot open file", path));
    }
    if (known && mode == FileMode::OpenRead) readOnlySize_ = static_cast<int64_t>(st.st_size);
}

FileStream::~FileStream() {
    try {
        Flush();
    } catch (...) {
        // A destructor cannot report; callers that care call Flush first.
    }
    if (fd_ >= 0) ::close(fd_);
}

void FileStream::WriteAt(const char* bytes, int64_t count, int64_t offset) {
    int64_t done = 0;
    while (done < count) {
        const ssize_t n = ::pwrite(fd_, bytes + done, static_cast<size_t>(count - done), static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw EStreamError(SystemMessage("Cannot write file", path_));
        }
        done += n;
    }
}

void FileStream::Flush() {
    if (writeBuffer_.empty()) return;
    try {
        WriteAt(writeBuffer_.data(), static_cast<int64_t>(writeBuffer_.size()), writeStart_);
    } catch (...) {
        // The bytes are not offered again.
        writeBuffer_.clear();
        throw;
    }
    writeBuffer_.clear();
}

void FileStream::Sync() {
    Flush();
    if (::fsync(fd_) != 0) throw EStreamError(SystemMessage("Cannot write file", path_));
}

int64_t FileStream::Read(void* buffer, int64_t count) {
    if (count <= 0) return 0;
    Flush();
    int64_t total = 0;
    auto* out = static_cast<char*>(buffer);
    while (total < count) {
        const ssize_t n = ::pread(fd_, out + total, static_cast<size_t>(count - total),
                                  static_cast<off_t>(position_));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw EStreamError(SystemMessage("Cannot read file", path_));
        }
        if (n == 0) break;
        total += n;
        position_ += n;
    }
    return total;
}

int64_t FileStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    const auto* in = static_cast<const char*>(buffer);
    const bool contiguous =
        !writeBuffer_.empty() && writeStart_ + static_cast<int64_t>(writeBuffer_.size()) == position_;
    if (!contiguous) {
        Flush();
        writeStart_ = position_;
    }
    if (writeBuffer_.capacity() < kFileWriteBufferSize) writeBuffer_.reserve(kFileWriteBufferSize);
    if (writeBuffer_.size() + static_cast<size_t>(count) > kFileWriteBufferSize) {
        Flush();
        writeStart_ = position_;
        if (static_cast<size_t>(count) >= kFileWriteBufferSize) {
            // Large enough to go to the file as it is, without a copy.
            WriteAt(in, count, position_);
            position_ += count;
            return count;
        }
    }
    writeBuffer_.insert(writeBuffer_.end(), in, in + count);
    position_ += count;
    return count;
}

int64_t FileStream::Seek(int64_t offset, SeekOrigin origin) {
    int64_t base = 0;
    if (origin == SeekOrigin::Current) base = position_;
    if (origin == SeekOrigin::End) base = Size();
    position_ = std::max<int64_t>(0, base + offset);
    return position_;
}

int64_t FileStream::Size() {
    if (readOnlySize_ >= 0) return readOnlySize_;
    Flush();
    struct stat st {};
    if (::fstat(fd_, &st) != 0) throw EStreamError(SystemMessage("Cannot read file", path_));
    return static_cast<int64_t>(st.st_size);
}

void FileStream::SetSize(int64_t size) {
    Flush();
    if (::ftruncate(fd_, static_cast<off_t>(std::max<int64_t>(0, size))) != 0)
        throw EStreamError(SystemMessage("Cannot write file", path_));
    position_ = std::min(position_, size);
}

std::string ReadFileBytes(const std::filesystem::path& path) {
    FileStream file(path, FileMode::OpenRead);
    std::string bytes(static_cast<size_t>(file.Size()), '\0');
    file.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    return bytes;
}

void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes) {
    FileStream file(path, FileMode::Create);
    file.WriteString(bytes);
    file.Flush();
}

}  // namespace qz::platform
