// Replays fuzz inputs through one target's entry point without libFuzzer, as
// ctest runs them in the normal build: every file named, and every file in
// every folder named, in name order. Fails on a crash or sanitizer report
// (the process ends), on an input that runs past the time limit, and when the
// process's peak memory passes the ceiling.
//
//   replay_<target> [--seconds N] [--max-rss-mb N] PATH...

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

// The input being run, for the message of a run that takes too long.
char gCurrent[4096];

void OnAlarm(int) {
    const char prefix[] = "replay: input ran past the time limit: ";
    (void)!write(2, prefix, sizeof prefix - 1);
    (void)!write(2, gCurrent, strlen(gCurrent));
    (void)!write(2, "\n", 1);
    _exit(3);
}

std::vector<std::filesystem::path> Inputs(const std::vector<std::string>& paths) {
    std::vector<std::filesystem::path> inputs;
    for (const std::string& path : paths) {
        // A target without regression inputs has no folder for them.
        if (!std::filesystem::exists(path)) continue;
        if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::directory_iterator(path)) {
                if (entry.is_regular_file()) inputs.push_back(entry.path());
            }
        } else {
            inputs.emplace_back(path);
        }
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

}  // namespace

// The sanitizer keeps freed memory for a while to catch late use; with its
// default of 256 MB, thousands of inputs in one process would fill it and
// hide what a single input takes. ASAN_OPTIONS still overrides this.
extern "C" __attribute__((visibility("default"), used)) const char* __asan_default_options() {
    return "quarantine_size_mb=16";
}

int main(int argc, char** argv) {
    unsigned seconds = 30;
    long maxRssMb = 0;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--seconds" && i + 1 < argc) {
            seconds = static_cast<unsigned>(std::stoul(argv[++i]));
        } else if (arg == "--max-rss-mb" && i + 1 < argc) {
            maxRssMb = std::stol(argv[++i]);
        } else {
            paths.push_back(arg);
        }
    }
    std::signal(SIGALRM, OnAlarm);
    const std::vector<std::filesystem::path> inputs = Inputs(paths);
    for (const auto& input : inputs) {
        std::ifstream file(input, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        std::snprintf(gCurrent, sizeof gCurrent, "%s", input.c_str());
        alarm(seconds);
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        alarm(0);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const long peakMb = usage.ru_maxrss / 1024;
    std::printf("replay: %zu inputs, peak memory %ld MiB\n", inputs.size(), peakMb);
    if (maxRssMb > 0 && peakMb > maxRssMb) {
        std::fprintf(stderr, "replay: peak memory %ld MiB is above the ceiling of %ld MiB\n", peakMb, maxRssMb);
        return 4;
    }
    return inputs.empty() ? 5 : 0;
}
