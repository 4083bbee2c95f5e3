#include "app/UnavailableMergeRunner.h"

#include "platform/Exception.h"

namespace qz::app {

void UnavailableMergeRunner::merge(const std::vector<std::filesystem::path>& /*inputs*/,
                                   const std::filesystem::path& /*output*/) {
    throw platform::Exception("A unificação de PDF ainda não está disponível nesta versão.");
}

}  // namespace qz::app
