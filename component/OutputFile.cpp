#include "component/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <system_error>

#include "component/ComponentExceptions.h"
#include "platform/Exception.h"

namespace qz::component {

namespace {

namespace fs = std::filesystem;

// Attempts at a free temporary name; names carry the process, a counter and
// the clock, so a clash means something else is wrong.
constexpr int kTemporaryNameAttempts = 100;

std::atomic<uint64_t> gTemporaryCounter{0};

std::string TemporaryName(const fs::path& destination) {
    char suffix[64];
    const auto ticks = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    std::snprintf(suffix, sizeof suffix, ".%d-%llu-%llx.tmp", static_cast<int>(::getpid()),
                  static_cast<unsigned long long>(++gTemporaryCounter), ticks);
    // Hidden, and not ending in ".pdf", so that no folder listing of PDF
    // files picks it up while it is being written.
    std::string name = ".";
    name += destination.filename().string();
    name += suffix;
    return name;
}

void SyncFolder(const fs::path& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    // Only makes the rename durable sooner; the data itself was synced.
    (void)::fsync(fd);
    ::close(fd);
}

}  // namespace

TqzOutputFile::TqzOutputFile(const fs::path& destination) : FDestination(destination) {
    std::error_code error;
    if (fs::is_symlink(FDestination, error)) {
        const fs::path target = fs::weakly_canonical(FDestination, error);
        if (!error) FDestination = target;
    }
    if (FDestination.filename().empty() || fs::is_directory(FDestination, error)) throw EFileOpenError();
    const fs::path folder = FDestination.parent_path();
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        const fs::path candidate = (folder.empty() ? fs::path(".") : folder) / TemporaryName(FDestination);
        const int fd = ::open(candidate.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST || errno == EINTR) continue;
            throw EFileOpenError();
        }
        ::close(fd);
        FTemporary = candidate;
        try {
            FStream = std::make_unique<platform::FileStream>(FTemporary, platform::FileMode::OpenReadWrite);
        } catch (const platform::EStreamError&) {
            fs::remove(FTemporary, error);
            throw EFileOpenError();
        }
        return;
    }
    throw EFileOpenError();
}

TqzOutputFile::~TqzOutputFile() {
    FStream.reset();
    if (!FCommitted && !FTemporary.empty()) {
        std::error_code ignored;
        fs::remove(FTemporary, ignored);
    }
}

void TqzOutputFile::Commit() {
    FStream->Sync();
    FStream.reset();
    struct stat existing {};
    if (::stat(FDestination.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        // The replaced file's permissions stay with its name; if they cannot
        // be given, the new file keeps the usual ones.
        (void)::chmod(FTemporary.c_str(), existing.st_mode & 07777);
    }
    if (::rename(FTemporary.c_str(), FDestination.c_str()) != 0) throw EFileOpenError();
    FCommitted = true;
    SyncFolder(FDestination.parent_path());
}

void TqzOutputFile::WriteReplacing(const fs::path& destination, const std::string& bytes) {
    TqzOutputFile file(destination);
    file.Stream().WriteString(bytes);
    file.Commit();
}

}  // namespace qz::component
