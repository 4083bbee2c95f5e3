// The page-range parser on any text and page count: it either lists pages
// that all lie in the document, no more than its limit, or refuses the text
// with its own errors.

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "component/PageRange.h"
#include "core/PDBaseExceptions.h"

namespace {

// "-2147483648" and its newline: the longest first line that holds a count.
constexpr size_t kMaxCountLine = 12;

// The decimal number at the start of `line`, held to 32 bits; 0 for none.
int32_t PageCount(std::string_view line) {
    int64_t value = 0;
    const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range) {
        return line.starts_with('-') ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int32_t>::max();
    }
    if (error != std::errc()) return 0;
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

}  // namespace

// The input is text: its first line, when one ends within the first bytes,
// gives the page count (any 32-bit value, negative too); what follows is the
// range. Without such a line all of it is the range of a document without
// pages.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t newline = input.substr(0, kMaxCountLine).find('\n');
    const int32_t pageCount = newline == std::string_view::npos ? 0 : PageCount(input.substr(0, newline));
    const std::string text(newline == std::string_view::npos ? input : input.substr(newline + 1));
    try {
        const qz::component::TqzPageNumbers pages = qz::component::GetPages(text, pageCount);
        if (pages.empty() || pages.size() > qz::component::kMaxPageNumbers) __builtin_trap();
        for (const int32_t page : pages) {
            if (page < 1 || page > pageCount) __builtin_trap();
        }
    } catch (const qz::component::EInvalidPageError&) {
    } catch (const qz::core::ExLimitExceeded&) {
    }
    return 0;
}
