#pragma once
// The one place where "8-bit text in the platform's code page" is converted.
// The code page is Windows-1252; its five unassigned bytes map to the C1
// control characters of the same value, so every byte round-trips.

#include <cstdint>
#include <string>
#include <string_view>

namespace qz::platform {

// Windows-1252 byte to its Unicode code point.
char16_t CodePageToUnicode(uint8_t byte);
// Unicode code point to a Windows-1252 byte; '?' when it has none.
uint8_t UnicodeToCodePage(char32_t codePoint);

std::u16string CodePageToUtf16(std::string_view bytes);
std::string Utf16ToCodePage(std::u16string_view text);
std::string CodePageToUtf8(std::string_view bytes);
std::string Utf8ToCodePage(std::string_view utf8);

// Plain UTF conversions; malformed input becomes U+FFFD, never an exception.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace qz::platform
