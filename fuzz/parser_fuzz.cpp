// The lexer and the parser on the bytes of one or more objects, as a fetch,
// an object stream or a content stream hands them over.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/FileStream.h"
#include "core/PDBaseObject.h"
#include "core/PDLexer.h"
#include "core/PDParser.h"
#include "core/ParentDocument.h"
#include "fuzz/FuzzSupport.h"

namespace {

// Objects parsed from one input at most: the parser makes progress on every
// call, so this only bounds the work of long inputs.
constexpr int kMaxObjects = 10000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qz::fuzz::Setup();
    auto stream = std::make_shared<qz::core::TqzFileStream>(qz::fuzz::MemoryFile(data, size), 0, 0, false);
    // With streams allowed, as a fetch reads; the first byte turns them off,
    // as an object stream reads.
    const bool allowStreams = size == 0 || (data[0] & 1) == 0;
    qz::core::TqzPDParser parser(static_cast<qz::core::TqzParentDocument*>(nullptr), std::make_unique<qz::core::TqzPDLexer>(stream), allowStreams);
    for (int i = 0; i < kMaxObjects; ++i) {
        std::unique_ptr<qz::core::TqzPDBaseObject> object = parser.GetObject();
        if (object->IsEOF()) break;
        // A copy walks every value the parser made.
        const std::unique_ptr<qz::core::TqzPDBaseObject> copy = object->Clone();
        (void)copy;
    }
    return 0;
}
