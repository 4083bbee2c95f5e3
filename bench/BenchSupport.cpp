#include "bench/BenchSupport.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>

extern char** environ;

namespace qz::bench {

namespace fs = std::filesystem;

#ifndef QZ_BENCH_CACHE
#define QZ_BENCH_CACHE "bench-cache"
#endif

namespace {

RunCost Finish(pid_t pid, const Stopwatch& clock, const std::vector<int>& accepted) {
    RunCost cost;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return cost;
    cost.seconds = clock.Seconds();
    cost.peakKiB = usage.ru_maxrss;
    if (WIFEXITED(status)) {
        cost.exitCode = WEXITSTATUS(status);
        cost.ok = cost.exitCode == 0 || std::find(accepted.begin(), accepted.end(), cost.exitCode) != accepted.end();
    }
    return cost;
}

bool Keeping() {
    for (const char* name : {"QZ_BENCH_KEEP", "QZ_MERGE_BENCH_KEEP"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value == '1') return true;
    }
    return false;
}

// Removes the scratch folders when the program ends normally (children
// measured by RunInChild leave through _exit and remove nothing).
class ScratchFolders {
public:
    ~ScratchFolders() {
        const bool keep = Keeping();
        for (const auto& folder : folders_) {
            if (keep) {
                std::printf("inputs kept in %s\n", folder.c_str());
            } else {
                std::error_code ignored;
                fs::remove_all(folder, ignored);
            }
        }
    }
    fs::path Make(const std::string& name) {
        const std::lock_guard lock(mutex_);
        const fs::path folder = fs::temp_directory_path() / ("qz-" + name + "-" + std::to_string(::getpid()));
        if (std::find(folders_.begin(), folders_.end(), folder) == folders_.end()) {
            fs::create_directories(folder);
            folders_.push_back(folder);
        }
        return folder;
    }

private:
    std::mutex mutex_;
    std::vector<fs::path> folders_;
};

ScratchFolders& Scratch() {
    static ScratchFolders folders;
    return folders;
}

}  // namespace

RunCost RunProgram(const std::vector<std::string>& args, const std::vector<int>& accepted) {
    if (args.empty()) return {};
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const Stopwatch clock;
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return {};
    return Finish(pid, clock, accepted);
}

RunCost RunInChild(const std::function<void()>& work) {
    std::fflush(nullptr);
    const Stopwatch clock;
    const pid_t pid = fork();
    if (pid < 0) return {};
    if (pid == 0) {
        int code = 0;
        try {
            work();
        } catch (...) {
            code = 1;
        }
        _exit(code);
    }
    return Finish(pid, clock, {});
}

fs::path CacheFolder() {
    static const fs::path folder = [] {
        fs::path path = QZ_BENCH_CACHE;
        fs::create_directories(path);
        return path;
    }();
    return folder;
}

fs::path ScratchFolder(const std::string& name) { return Scratch().Make(name); }

fs::path SiblingProgram(const std::string& name) {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return self.parent_path() / name;
}

std::string Deflate(const std::string& data, int level) {
    uLongf size = compressBound(data.size());
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()), data.size(),
              level);
    out.resize(size);
    return out;
}

void HandMadePdf::Put(int number, const std::string& body) {
    const auto index = static_cast<size_t>(number);
    if (offsets_.size() <= index) offsets_.resize(index + 1, 0);
    offsets_[index] = pdf_.size();
    pdf_ += std::to_string(number) + " 0 obj\n" + body + "\nendobj\n";
}

void HandMadePdf::PutStream(int number, const std::string& dict, const std::string& data) {
    Put(number, "<< " + dict + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream");
}

int HandMadePdf::Add(const std::string& body) {
    const int number = NextNumber();
    Put(number, body);
    return number;
}

int HandMadePdf::AddStream(const std::string& dict, const std::string& data) {
    const int number = NextNumber();
    PutStream(number, dict, data);
    return number;
}

std::string HandMadePdf::Finish(int root) {
    const size_t xref = pdf_.size();
    pdf_ += "xref\n0 " + std::to_string(offsets_.size()) + "\n0000000000 65535 f \n";
    for (size_t i = 1; i < offsets_.size(); ++i) {
        char line[32];
        if (offsets_[i] == 0) {
            std::snprintf(line, sizeof line, "0000000000 00001 f \n");
        } else {
            std::snprintf(line, sizeof line, "%010zu 00000 n \n", offsets_[i]);
        }
        pdf_ += line;
    }
    pdf_ += "trailer\n<< /Size " + std::to_string(offsets_.size()) + " /Root " + std::to_string(root) +
            " 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return pdf_;
}

std::string TextPostScript(int pages) {
    std::string ps = "%!PS\n/Helvetica findfont 11 scalefont setfont\n";
    ps += "1 1 " + std::to_string(pages) + " { /n exch def\n";
    ps += "  0 1 40 { /l exch def 60 760 l 17 mul sub moveto (Page ) show n 8 string cvs show\n";
    ps += "    (, line ) show l 4 string cvs show (: lorem ipsum dolor sit amet, consectetur) show } for\n";
    ps += "  showpage } for\n";
    return ps;
}

bool MakeWithGhostscript(const fs::path& ps, const fs::path& pdf) {
    return RunProgram({"gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=pdfwrite", "-o", pdf.string(),
                       ps.string()})
        .ok;
}

namespace {

std::string BaseName(std::string name) {
    for (const char* suffix : {"/iterations:", "/manual_time", "/real_time"}) {
        const size_t at = name.find(suffix);
        if (at != std::string::npos) name.erase(at);
    }
    return name;
}

bool IsSpreadAggregate(const std::string& name) {
    for (const char* suffix : {"_mean", "_stddev", "_cv"}) {
        if (name.find(suffix) != std::string::npos) return true;
    }
    return false;
}

}  // namespace

void RecordingReporter::ReportRuns(const std::vector<Run>& runs) {
    for (const auto& run : runs) {
        const std::string full = run.benchmark_name();
        if (run.error_occurred || run.iterations <= 0 || IsSpreadAggregate(full)) continue;
        const std::string name = BaseName(full);
        seconds[name] = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        const auto rate = run.counters.find("bytes_per_second");
        if (rate != run.counters.end()) bytesPerSecond[name] = rate->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
}

double RecordingReporter::Seconds(const std::string& name) const {
    const auto it = seconds.find(name);
    return it != seconds.end() ? it->second : 0.0;
}

}  // namespace qz::bench
