#include "component/ComponentServices.h"

#include <spawn.h>
#include <sys/wait.h>

#include <mutex>
#include <string>
#include <vector>

#include "component/ComponentTypes.h"

extern char** environ;

namespace qz::component {

int32_t TqzHeadlessSettingsDialog::ShowModal(TqzCustomPDFDocument& /*component*/) { return kModalResultOK; }

namespace {

// Children started by the opener that have not been reaped yet.
std::mutex gChildrenMutex;
std::vector<pid_t> gChildren;

void ReapFinishedChildren() {
    for (auto it = gChildren.begin(); it != gChildren.end();) {
        int status = 0;
        const pid_t r = ::waitpid(*it, &status, WNOHANG);
        it = (r == 0) ? it + 1 : gChildren.erase(it);
    }
}

}  // namespace

void TqzXdgDocumentOpener::Open(const std::filesystem::path& file) {
    std::lock_guard lock(gChildrenMutex);
    ReapFinishedChildren();
    std::string program = "xdg-open";
    // Absolute, so that a name starting with "-" is not taken for an option.
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(file, error);
    std::string argument = (error ? file : absolute).string();
    char* argv[] = {program.data(), argument.data(), nullptr};
    pid_t pid = 0;
    if (::posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv, environ) == 0) gChildren.push_back(pid);
}

TqzSettingsDialog& DefaultSettingsDialog() {
    static TqzHeadlessSettingsDialog dialog;
    return dialog;
}

TqzDocumentOpener& DefaultDocumentOpener() {
    static TqzXdgDocumentOpener opener;
    return opener;
}

}  // namespace qz::component
