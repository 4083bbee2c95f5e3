#pragma once
// A private temporary directory for one test. It owns its directory and
// everything the test leaves in it, and removes them when it goes out of scope.

#include <filesystem>
#include <string>

namespace qz::testing {

class TempDir {
public:
    // Creates a fresh directory under the system's temporary folder; the
    // prefix only makes leftovers of a crashed run recognisable.
    explicit TempDir(const std::string& prefix = "qz-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // The path of `name` inside the directory (nothing is created).
    std::filesystem::path File(const std::string& name) const { return path_ / name; }
    // Writes `bytes` to `name` inside the directory and returns its path.
    std::filesystem::path Write(const std::string& name, const std::string& bytes) const;

private:
    std::filesystem::path path_;
};

}  // namespace qz::testing
