// CMap text: the input is parsed as an embedded encoding CMap (usecmap
// reaching the predefined CMaps), then decodes itself as a shown string, and
// its first codes are looked up as a ToUnicode map would be.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "content/fonts/PDCMap.h"
#include "fuzz/FuzzSupport.h"
#include "platform/Streams.h"

namespace {

// Bytes of the input decoded as a shown string: enough to reach every code
// length, few enough to stay fast.
constexpr size_t kDecodedBytes = 4096;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qz;
    fuzz::Setup();
    const std::string text(reinterpret_cast<const char*>(data), size);
    platform::MemoryStream stream(text);
    const content::TqzPDCMap cmap(stream, "Adobe-Japan1-UCS2", "Custom");
    const std::string_view shown(text.data(), std::min(text.size(), kDecodedBytes));
    for (size_t index = 0; index < shown.size();) {
        int32_t processed = 0;
        (void)cmap.GetCID(shown, index, false, processed);
        if (processed < 1 || processed > 4) std::abort();  // the caller would stand still or skip too far
        index += static_cast<size_t>(processed);
    }
    const auto* parser = cmap.GetCMapParser();
    for (int64_t code = -1; code < 300; ++code) {
        const auto unicode = parser->GetText(code);
        if (unicode.size() > content::kMaxCMapDestinationUnits) std::abort();
        (void)parser->GetCode(code);
        (void)parser->IsSingleByteCodeRange(code);
    }
    for (size_t i = 0; i + 4 <= shown.size() && i < 256; i += 4) {
        const auto code = static_cast<int64_t>(static_cast<uint32_t>(shown[i] & 0xFF) << 24 |
                                               static_cast<uint32_t>(shown[i + 1] & 0xFF) << 16 |
                                               static_cast<uint32_t>(shown[i + 2] & 0xFF) << 8 |
                                               static_cast<uint32_t>(shown[i + 3] & 0xFF));
        (void)parser->GetText(code);
        (void)parser->GetCode(code);
    }
    return 0;
}
