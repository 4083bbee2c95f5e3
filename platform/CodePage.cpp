#include "platform/CodePage.h"

#include <array>

namespace qz::platform {

namespace {

// 0x80..0x9F of Windows-1252; unassigned slots keep their C1 value.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Decodes one code point from UTF-8 at `i`, advancing it; U+FFFD on error.
char32_t NextUtf8(std::string_view s, size_t& i) {
    const auto b0 = static_cast<uint8_t>(s[i++]);
    if (b0 < 0x80) return b0;
    int extra = 0;
    char32_t cp = 0;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1;
        cp = b0 & 0x1Fu;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2;
        cp = b0 & 0x0Fu;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3;
        cp = b0 & 0x07u;
    } else {
        return 0xFFFD;
    }
    for (int k = 0; k < extra; ++k) {
        if (i >= s.size() || (static_cast<uint8_t>(s[i]) & 0xC0) != 0x80) return 0xFFFD;
        cp = (cp << 6) | (static_cast<uint8_t>(s[i++]) & 0x3Fu);
    }
    const char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
    if (cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0xFFFD;
    return cp;
}

// Decodes one code point from UTF-16 at `i`, advancing it; U+FFFD for a lone surrogate.
char32_t NextUtf16(std::u16string_view s, size_t& i) {
    const char16_t u = s[i++];
    if (u >= 0xD800 && u <= 0xDBFF) {
        if (i < s.size() && s[i] >= 0xDC00 && s[i] <= 0xDFFF) {
            const char16_t low = s[i++];
            return 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (low - 0xDC00u);
        }
        return 0xFFFD;
    }
    if (u >= 0xDC00 && u <= 0xDFFF) return 0xFFFD;
    return u;
}

void AppendUtf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

}  // namespace

char16_t CodePageToUnicode(uint8_t byte) {
    if (byte >= 0x80 && byte <= 0x9F) return kHighControls[byte - 0x80u];
    return byte;
}

uint8_t UnicodeToCodePage(char32_t codePoint) {
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF))
        return static_cast<uint8_t>(codePoint);
    for (size_t k = 0; k < kHighControls.size(); ++k)
        if (kHighControls[k] == codePoint) return static_cast<uint8_t>(0x80 + k);
    return '?';
}

std::u16string CodePageToUtf16(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (char c : bytes) out.push_back(CodePageToUnicode(static_cast<uint8_t>(c)));
    return out;
}

std::string Utf16ToCodePage(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();)
        out.push_back(static_cast<char>(UnicodeToCodePage(NextUtf16(text, i))));
    return out;
}

std::string CodePageToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) AppendUtf8(out, CodePageToUnicode(static_cast<uint8_t>(c)));
    return out;
}

std::string Utf8ToCodePage(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();)
        out.push_back(static_cast<char>(UnicodeToCodePage(NextUtf8(utf8, i))));
    return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) AppendUtf16(out, NextUtf8(utf8, i));
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) AppendUtf8(out, NextUtf16(text, i));
    return out;
}

}  // namespace qz::platform
