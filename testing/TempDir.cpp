#include "testing/TempDir.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include "platform/Exception.h"
#include "platform/Streams.h"

namespace qz::testing {

TempDir::TempDir(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) {
        throw platform::Exception("cannot create a temporary directory from " + pattern + ": " +
                                  std::strerror(errno));
    }
    path_ = buffer.data();
}

TempDir::~TempDir() {
    std::error_code ignored;  // a destructor must not throw; a leftover is harmless
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path TempDir::Write(const std::string& name, const std::string& bytes) const {
    const std::filesystem::path p = File(name);
    platform::WriteFileBytes(p, bytes);
    return p;
}

}  // namespace qz::testing
