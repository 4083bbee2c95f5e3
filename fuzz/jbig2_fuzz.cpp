// The JBIG2 filter on data of its own: the first two bytes give the length
// of the globals stream (little-endian; 0 for none), which follows them;
// the rest is the page stream. Read in blocks and again byte by byte after
// a reset, the stream must give the same bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

#include "core/MemoryStream.h"
#include "filters/JBIG2Stream.h"
#include "fuzz/FuzzSupport.h"

namespace {

constexpr size_t kHeaderSize = 2;
// Far above the pages fuzz-sized data makes, except where a page
// information segment asks for a huge page: there the ceiling is what is
// tested.
constexpr int64_t kOutputLimit = int64_t{256} << 10;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeaderSize) return 0;
    qz::fuzz::Setup();
    size_t globalsSize = static_cast<size_t>(data[0] | (data[1] << 8));
    if (globalsSize > size - kHeaderSize) globalsSize = size - kHeaderSize;
    const char* text = reinterpret_cast<const char*>(data) + kHeaderSize;
    const std::string globals(text, globalsSize);
    const std::string page(text + globalsSize, size - kHeaderSize - globalsSize);
    auto make = [&] {
        auto s = std::make_unique<qz::filters::TqzJBIG2Stream>(
            std::make_shared<qz::core::TqzMemoryStream>(page),
            globalsSize > 0 ? std::make_shared<qz::core::TqzMemoryStream>(globals) : nullptr);
        s->SetOutputLimit(kOutputLimit);
        return s;
    };
    std::string blocks;
    try {
        auto s = make();
        s->Reset();
        blocks = qz::fuzz::ReadAll(*s);
    } catch (const std::exception&) {
        return 0;
    }
    try {
        auto s = make();
        for (size_t i = 0; i < blocks.size(); ++i) {
            const int c = static_cast<uint8_t>(blocks[i]);
            if (s->LookChar() != c || s->GetChar() != c) std::abort();
        }
        if (s->LookChar() != -1 || s->GetChar() != -1) std::abort();
        s->Reset();
        if (qz::fuzz::ReadAll(*s) != blocks) std::abort();
    } catch (const std::exception&) {
        std::abort();  // the first pass read all this without an error
    }
    return 0;
}
