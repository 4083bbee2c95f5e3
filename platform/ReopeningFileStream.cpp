#include "platform/ReopeningFileStream.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <list>
#include <mutex>
#include <unordered_map>

#include "platform/Exception.h"

namespace qz::platform {

namespace {

// Descriptors left to the rest of the process when the limit is comfortable:
// outputs, pipes to helper programs and libraries open their own files.
constexpr int64_t kReservedDescriptors = 256;
// The pool never shrinks below this, so that reading a few files in turn
// does not reopen them on every read.
constexpr int64_t kMinimumPoolSize = 16;

std::string SystemMessage(const std::string& what, const std::filesystem::path& path, int error) {
    return what + " \"" + path.string() + "\": " + std::strerror(error);
}

int64_t SoftOpenFileLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > static_cast<rlim_t>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    return static_cast<int64_t>(limit.rlim_cur);
}

int64_t BudgetFor(int64_t softLimit) {
    if (softLimit > 2 * kReservedDescriptors) return softLimit - kReservedDescriptors;
    return std::max(kMinimumPoolSize, softLimit / 2);
}

ReopeningFileStream::Identity IdentityOf(const struct stat& st) {
    ReopeningFileStream::Identity id;
    id.device = static_cast<uint64_t>(st.st_dev);
    id.inode = static_cast<uint64_t>(st.st_ino);
    id.size = static_cast<int64_t>(st.st_size);
    id.modifiedSeconds = static_cast<int64_t>(st.st_mtim.tv_sec);
    id.modifiedNanoseconds = static_cast<int64_t>(st.st_mtim.tv_nsec);
    return id;
}

// The process-wide set of descriptors held for reopening streams, least
// recently used last. One lock guards it; a read runs under the lock so that
// no other thread can take its descriptor away mid-read.
class DescriptorPool {
public:
    static DescriptorPool& Instance() {
        static DescriptorPool pool;
        return pool;
    }

    // Opens `path` for a new stream and returns its key.
    uint64_t Register(const std::filesystem::path& path, ReopeningFileStream::Identity& identity) {
        std::lock_guard lock(mutex_);
        const int fd = OpenLocked(path);
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            const int error = errno;
            ::close(fd);
            throw EStreamError(SystemMessage("Cannot open file", path, error));
        }
        if (!S_ISREG(st.st_mode)) {
            ::close(fd);
            throw EStreamError(SystemMessage("Cannot open file", path, S_ISDIR(st.st_mode) ? EISDIR : EINVAL));
        }
        identity = IdentityOf(st);
        const uint64_t id = ++lastId_;
        Entry& entry = entries_[id];
        entry.fd = fd;
        lru_.push_front(id);
        entry.position = lru_.begin();
        return id;
    }

    void Unregister(uint64_t id) {
        std::lock_guard lock(mutex_);
        auto it = entries_.find(id);
        if (it == entries_.end()) return;
        if (it->second.fd >= 0) {
            ::close(it->second.fd);
            lru_.erase(it->second.position);
        }
        entries_.erase(it);
    }

    int64_t Read(uint64_t id, const std::filesystem::path& path, const ReopeningFileStream::Identity& identity,
                 char* out, int64_t count, int64_t position) {
        std::lock_guard lock(mutex_);
        const int fd = DescriptorLocked(id, path, identity);
        int64_t total = 0;
        while (total < count) {
            const ssize_t n = ::pread(fd, out + total, static_cast<size_t>(count - total),
                                      static_cast<off_t>(position + total));
            if (n < 0) {
                if (errno == EINTR) continue;
                throw EStreamError(SystemMessage("Cannot read file", path, errno));
            }
            if (n == 0) break;
            total += n;
        }
        return total;
    }

    bool Holds(uint64_t id) {
        std::lock_guard lock(mutex_);
        auto it = entries_.find(id);
        return it != entries_.end() && it->second.fd >= 0;
    }

    int64_t Budget() {
        std::lock_guard lock(mutex_);
        return BudgetFor(SoftOpenFileLimit());
    }

private:
    struct Entry {
        int fd = -1;
        std::list<uint64_t>::iterator position;  // in lru_ while fd >= 0
    };

    int DescriptorLocked(uint64_t id, const std::filesystem::path& path,
                         const ReopeningFileStream::Identity& identity) {
        Entry& entry = entries_.at(id);
        if (entry.fd >= 0) {
            lru_.splice(lru_.begin(), lru_, entry.position);
            return entry.fd;
        }
        const int fd = OpenLocked(path);
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !(IdentityOf(st) == identity)) {
            ::close(fd);
            throw EStreamError("Cannot read file \"" + path.string() +
                               "\": it was replaced or changed since it was opened");
        }
        entry.fd = fd;
        lru_.push_front(id);
        entry.position = lru_.begin();
        return fd;
    }

    // Opens read-only, first making room in the pool, and giving descriptors
    // back when the system still says the process holds too many.
    int OpenLocked(const std::filesystem::path& path) {
        MakeRoomLocked();
        for (;;) {
            // Non-blocking, so that a named pipe given as a file cannot hang
            // the open; it is refused as not a regular file right after.
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
            if (fd >= 0) return fd;
            const int error = errno;
            if (error == EINTR) continue;
            if ((error == EMFILE || error == ENFILE) && !lru_.empty()) {
                EvictLocked();
                continue;
            }
            throw EStreamError(SystemMessage("Cannot open file", path, error));
        }
    }

    void MakeRoomLocked() {
        auto held = static_cast<int64_t>(lru_.size());
        if (held < BudgetFor(SoftOpenFileLimit())) return;
        if (!raised_) {
            raised_ = true;
            RaiseOpenFileLimit();
        }
        const int64_t budget = BudgetFor(SoftOpenFileLimit());
        while (held >= budget && !lru_.empty()) {
            EvictLocked();
            --held;
        }
    }

    void EvictLocked() {
        const uint64_t victim = lru_.back();
        lru_.pop_back();
        Entry& entry = entries_.at(victim);
        ::close(entry.fd);
        entry.fd = -1;
    }

    std::mutex mutex_;
    std::unordered_map<uint64_t, Entry> entries_;
    std::list<uint64_t> lru_;
    uint64_t lastId_ = 0;
    bool raised_ = false;
};

}  // namespace

int64_t RaiseOpenFileLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        // Refused only in unusual sandboxes; the pool then works within the old limit.
        (void)::setrlimit(RLIMIT_NOFILE, &limit);
    }
    return SoftOpenFileLimit();
}

int64_t ReopeningFileDescriptorBudget() { return DescriptorPool::Instance().Budget(); }

ReopeningFileStream::ReopeningFileStream(const std::filesystem::path& path) : path_(path) {
    id_ = DescriptorPool::Instance().Register(path_, identity_);
    size_ = identity_.size;
}

ReopeningFileStream::~ReopeningFileStream() { DescriptorPool::Instance().Unregister(id_); }

int64_t ReopeningFileStream::Read(void* buffer, int64_t count) {
    if (count <= 0 || position_ >= size_) return 0;
    count = std::min(count, size_ - position_);
    const int64_t n =
        DescriptorPool::Instance().Read(id_, path_, identity_, static_cast<char*>(buffer), count, position_);
    // The file ends before the size it had when opened: cut short since, its
    // data would otherwise end early without a word.
    if (n < count) {
        throw EStreamError("Cannot read file \"" + path_.string() + "\": it is shorter than when it was opened");
    }
    position_ += n;
    return n;
}

int64_t ReopeningFileStream::Write(const void* /*buffer*/, int64_t /*count*/) {
    throw EStreamError("Cannot write file \"" + path_.string() + "\": opened for reading only");
}

void ReopeningFileStream::SetSize(int64_t /*size*/) {
    throw EStreamError("Cannot write file \"" + path_.string() + "\": opened for reading only");
}

int64_t ReopeningFileStream::Seek(int64_t offset, SeekOrigin origin) {
    int64_t base = 0;
    if (origin == SeekOrigin::Current) base = position_;
    if (origin == SeekOrigin::End) base = size_;
    position_ = std::max<int64_t>(0, base + offset);
    return position_;
}

bool ReopeningFileStream::HoldsDescriptor() const { return DescriptorPool::Instance().Holds(id_); }

}  // namespace qz::platform
