#include "content/fonts/PDEncoding.h"

namespace qz::content {

#include "content/fonts/tables/Encodings.inc"

}  // namespace qz::content
