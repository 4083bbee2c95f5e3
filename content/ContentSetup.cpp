#include "content/ContentSetup.h"

namespace qz::content {

void RegisterContentFactories() {}

}  // namespace qz::content
