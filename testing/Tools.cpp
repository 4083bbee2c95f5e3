#include "testing/Tools.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <stdexcept>

#include "platform/Streams.h"

extern char** environ;

namespace qz::testing {

namespace {

// Closes a descriptor once, however the function that opened it ends.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { Close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return fd_; }
    void Reset(int fd) {
        Close();
        fd_ = fd;
    }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

void MakePipe(Fd& readEnd, Fd& writeEnd) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        throw ToolError(std::string("pipe failed: ") + std::strerror(errno));
    }
    readEnd.Reset(fds[0]);
    writeEnd.Reset(fds[1]);
}

std::string JoinArgs(const std::vector<std::string>& argv) {
    std::string s;
    for (const auto& a : argv) {
        if (!s.empty()) s += ' ';
        s += a;
    }
    return s;
}

RunResult RunOrThrow(const std::vector<std::string>& argv) {
    RunResult r = RunProgram(argv);
    if (!r.Succeeded()) throw ToolError(JoinArgs(argv) + " failed: " + r.Describe());
    return r;
}

std::string PageArg(int32_t page) { return std::to_string(page); }

}  // namespace

std::string RunResult::Describe() const {
    std::string s;
    if (timedOut) {
        s = "timed out";
    } else if (signal != 0) {
        s = "killed by signal " + std::to_string(signal);
    } else {
        s = "exit status " + std::to_string(exitCode);
    }
    if (!out.empty()) s += "\nstdout:\n" + out.substr(0, 4000);
    if (!err.empty()) s += "\nstderr:\n" + err.substr(0, 4000);
    return s;
}

RunResult RunProgram(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) {
    if (argv.empty()) throw ToolError("RunProgram: no program given");
    Fd outRead, outWrite, errRead, errWrite;
    MakePipe(outRead, outWrite);
    MakePipe(errRead, errWrite);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outWrite.Get(), 1);
    posix_spawn_file_actions_adddup2(&actions, errWrite.Get(), 2);

    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    pid_t pid = 0;
    const int rc = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        throw ToolError("cannot start " + argv[0] + ": " + std::strerror(rc));
    }
    outWrite.Close();
    errWrite.Close();

    RunResult result;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool outOpen = true, errOpen = true;
    char buffer[65536];
    while (outOpen || errOpen) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        pollfd fds[2];
        nfds_t n = 0;
        if (outOpen) fds[n++] = {outRead.Get(), POLLIN, 0};
        if (errOpen) fds[n++] = {errRead.Get(), POLLIN, 0};
        const int ready = ::poll(fds, n, static_cast<int>(left.count()));
        if (ready < 0) {
            if (errno == EINTR) continue;
            ::kill(pid, SIGKILL);
            break;
        }
        for (nfds_t i = 0; i < n; ++i) {
            if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
            const bool isOut = fds[i].fd == outRead.Get();
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                (isOut ? result.out : result.err).append(buffer, static_cast<size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                (isOut ? outOpen : errOpen) = false;
            }
        }
    }

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && !result.timedOut) {
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

bool HaveTool(const std::string& name) {
    static std::mutex mutex;
    static std::map<std::string, bool> known;
    std::lock_guard lock(mutex);
    if (auto it = known.find(name); it != known.end()) return it->second;
    bool found = false;
    if (name.find('/') != std::string::npos) {
        found = ::access(name.c_str(), X_OK) == 0;
    } else if (const char* path = std::getenv("PATH")) {
        std::string dirs = path;
        size_t start = 0;
        while (!found && start <= dirs.size()) {
            size_t end = dirs.find(':', start);
            if (end == std::string::npos) end = dirs.size();
            std::string dir = dirs.substr(start, end - start);
            if (dir.empty()) dir = ".";
            const std::string candidate = dir + "/" + name;
            found = ::access(candidate.c_str(), X_OK) == 0 &&
                    !std::filesystem::is_directory(candidate);
            start = end + 1;
        }
    }
    known[name] = found;
    return found;
}

QpdfCheckResult QpdfCheck(const std::filesystem::path& path) {
    const RunResult r = RunProgram({"qpdf", "--check", path.string()});
    QpdfCheckResult c;
    c.exitCode = r.exitCode;
    c.ok = r.Succeeded();
    c.output = r.out + r.err;
    if (r.timedOut) c.output += "\n(qpdf timed out)";
    return c;
}

int32_t PdfInfoPages(const std::filesystem::path& path) {
    const RunResult r = RunOrThrow({"pdfinfo", path.string()});
    const std::string key = "\nPages:";
    const size_t at = ("\n" + r.out).find(key);
    if (at == std::string::npos) throw ToolError("pdfinfo printed no page count:\n" + r.out);
    size_t p = at + key.size() - 1;  // position in r.out (the "\n" prefix cancels)
    while (p < r.out.size() && r.out[p] == ' ') ++p;
    int32_t pages = -1;
    const auto [end, ec] = std::from_chars(r.out.data() + p, r.out.data() + r.out.size(), pages);
    if (ec != std::errc()) throw ToolError("pdfinfo page count unreadable:\n" + r.out);
    (void)end;
    return pages;
}

std::string PdfToText(const std::filesystem::path& path, int32_t page) {
    std::vector<std::string> argv = {"pdftotext"};
    if (page > 0) {
        argv.insert(argv.end(), {"-f", PageArg(page), "-l", PageArg(page)});
    }
    argv.insert(argv.end(), {path.string(), "-"});
    return RunOrThrow(argv).out;
}

std::vector<GrayImage> ParsePgm(const std::string& bytes) {
    std::vector<GrayImage> images;
    size_t p = 0;
    auto skipSpaceAndComments = [&] {
        while (p < bytes.size()) {
            const char c = bytes[p];
            if (c == '#') {
                while (p < bytes.size() && bytes[p] != '\n') ++p;
            } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                ++p;
            } else {
                break;
            }
        }
    };
    auto readNumber = [&]() -> int64_t {
        skipSpaceAndComments();
        int64_t v = -1;
        const auto [end, ec] = std::from_chars(bytes.data() + p, bytes.data() + bytes.size(), v);
        if (ec != std::errc() || v < 0) throw ToolError("PGM header unreadable");
        p = static_cast<size_t>(end - bytes.data());
        return v;
    };
    // Far above any low-resolution render; stops a bad header from asking for gigabytes.
    constexpr int64_t kMaxPixels = int64_t{1} << 28;
    while (true) {
        skipSpaceAndComments();
        if (p >= bytes.size()) break;
        if (bytes.compare(p, 2, "P5") != 0) throw ToolError("not a binary PGM image");
        p += 2;
        const int64_t w = readNumber(), h = readNumber(), maxval = readNumber();
        if (maxval < 1 || maxval > 255) throw ToolError("PGM with 16-bit samples is not supported");
        if (w > kMaxPixels || h > kMaxPixels || w * h > kMaxPixels) throw ToolError("PGM too large");
        ++p;  // the single white-space byte before the raster
        const auto size = static_cast<size_t>(w * h);
        if (p > bytes.size() || bytes.size() - p < size) throw ToolError("PGM raster cut short");
        GrayImage img;
        img.width = static_cast<int32_t>(w);
        img.height = static_cast<int32_t>(h);
        img.pixels.assign(bytes.begin() + static_cast<std::ptrdiff_t>(p),
                          bytes.begin() + static_cast<std::ptrdiff_t>(p + size));
        images.push_back(std::move(img));
        p += size;
    }
    return images;
}

std::vector<GrayImage> RenderPagesGray(const std::filesystem::path& path, int32_t dpi,
                                       int32_t first, int32_t last) {
    // Without an output root pdftoppm writes the images to standard output.
    std::vector<std::string> argv = {"pdftoppm", "-gray", "-r", std::to_string(dpi),
                                     "-f", PageArg(first)};
    if (last > 0) argv.insert(argv.end(), {"-l", PageArg(last)});
    argv.push_back(path.string());
    return ParsePgm(RunOrThrow(argv).out);
}

GrayImage RenderPageGray(const std::filesystem::path& path, int32_t page, int32_t dpi) {
    std::vector<GrayImage> images = RenderPagesGray(path, dpi, page, page);
    if (images.size() != 1) {
        throw ToolError("pdftoppm gave " + std::to_string(images.size()) + " images for page " +
                        std::to_string(page) + " of " + path.string());
    }
    return std::move(images[0]);
}

double MeanGreyDifference(const GrayImage& a, const GrayImage& b) {
    if (a.width != b.width || a.height != b.height || a.pixels.size() != b.pixels.size()) {
        throw std::invalid_argument("renders differ in size: " + std::to_string(a.width) + "x" +
                                    std::to_string(a.height) + " against " +
                                    std::to_string(b.width) + "x" + std::to_string(b.height));
    }
    if (a.pixels.empty()) return 0.0;
    uint64_t sum = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        sum += static_cast<uint64_t>(a.pixels[i] > b.pixels[i] ? a.pixels[i] - b.pixels[i]
                                                               : b.pixels[i] - a.pixels[i]);
    }
    return static_cast<double>(sum) / static_cast<double>(a.pixels.size());
}

std::string QpdfShowObjectFilteredStream(const std::filesystem::path& path, int32_t objectNumber,
                                         int32_t generation) {
    return RunOrThrow({"qpdf",
                       "--show-object=" + std::to_string(objectNumber) + "," +
                           std::to_string(generation),
                       "--filtered-stream-data", path.string()})
        .out;
}

void MakeWithGhostscript(const std::string& postScript, const std::filesystem::path& outPdf) {
    std::filesystem::path ps = outPdf;
    ps += ".ps";
    platform::WriteFileBytes(ps, postScript);
    // AutoRotatePages off: a page must keep the orientation its program gave it.
    RunOrThrow({"gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=pdfwrite",
                "-dAutoRotatePages=/None", "-o", outPdf.string(), ps.string()});
    std::error_code ignored;
    std::filesystem::remove(ps, ignored);
}

RunResult QpdfTransform(const std::filesystem::path& in, const std::filesystem::path& out,
                        const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"qpdf"};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back(in.string());
    argv.push_back(out.string());
    RunResult r = RunProgram(argv);
    if (r.timedOut || (r.exitCode != 0 && r.exitCode != 3)) {
        throw ToolError(JoinArgs(argv) + " failed: " + r.Describe());
    }
    return r;
}

std::vector<std::string> QpdfEncryptArgs(const std::string& userPassword,
                                         const std::string& ownerPassword, QpdfEncryption level,
                                         const std::vector<std::string>& restrictions) {
    std::vector<std::string> args;
    switch (level) {
        case QpdfEncryption::Rc4_40:
            args = {"--allow-weak-crypto", "--encrypt", userPassword, ownerPassword, "40"};
            break;
        case QpdfEncryption::Rc4_128:
            args = {"--allow-weak-crypto", "--encrypt", userPassword, ownerPassword, "128",
                    "--use-aes=n"};
            break;
        case QpdfEncryption::Aes128:
            args = {"--allow-weak-crypto", "--encrypt", userPassword, ownerPassword, "128",
                    "--use-aes=y"};
            break;
        case QpdfEncryption::Aes256:
            args = {"--encrypt", userPassword, ownerPassword, "256"};
            break;
    }
    args.insert(args.end(), restrictions.begin(), restrictions.end());
    args.push_back("--");
    return args;
}

}  // namespace qz::testing
