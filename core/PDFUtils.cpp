#include "core/PDFUtils.h"

#include <limits>

namespace qz::core {

namespace {

template <typename Char>
bool ParseInteger(std::basic_string_view<Char> s, int32_t& value) {
    size_t i = 0;
    while (i < s.size() && s[i] == Char(' ')) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == Char('-') || s[i] == Char('+'))) {
        negative = s[i] == Char('-');
        ++i;
    }
    unsigned base = 10;
    if (i < s.size() && s[i] == Char('$')) {
        base = 16;
        ++i;
    } else if (i + 1 < s.size() && s[i] == Char('0') && (s[i + 1] == Char('x') || s[i + 1] == Char('X'))) {
        base = 16;
        i += 2;
    }
    if (i >= s.size()) return false;
    uint64_t magnitude = 0;
    for (; i < s.size(); ++i) {
        const auto c = static_cast<uint32_t>(s[i]);
        unsigned digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            return false;
        }
        magnitude = magnitude * base + digit;
        if (magnitude > 0xFFFFFFFFull) return false;
    }
    if (base == 16) {
        // Hexadecimal text names the 32 bits themselves: $FFFFFFFF is -1.
        uint32_t bits = static_cast<uint32_t>(magnitude);
        if (negative) bits = 0u - bits;
        value = static_cast<int32_t>(bits);
        return true;
    }
    if (negative) {
        if (magnitude > uint64_t{1} << 31) return false;
        value = static_cast<int32_t>(-static_cast<int64_t>(magnitude));
    } else {
        if (magnitude > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) return false;
        value = static_cast<int32_t>(magnitude);
    }
    return true;
}

}  // namespace

EUnsupportedImage::EUnsupportedImage(const std::string& imageClassName)
    : platform::Exception("Unsupported image format (" + imageClassName + ")") {}

bool TryStrToInt(std::u16string_view s, int32_t& value) { return ParseInteger(s, value); }
bool TryStrToInt(std::string_view s, int32_t& value) { return ParseInteger(s, value); }

int32_t PosExx(std::u16string_view subStr, std::u16string_view s, uint32_t offset) {
    if (subStr.empty() || offset == 0 || subStr.size() > s.size()) return 0;
    const size_t from = offset - 1;
    if (from > s.size() - subStr.size()) return 0;
    const size_t found = s.find(subStr, from);
    return found == std::u16string_view::npos ? 0 : static_cast<int32_t>(found + 1);
}

char16_t UpperCaseUnit(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
    return c;
}

std::u16string ReplaceString(std::u16string_view s, std::u16string_view oldPattern,
                             std::u16string_view newPattern) {
    if (s.empty()) return {};
    if (oldPattern.empty()) return std::u16string(s);
    std::u16string upper(s);
    for (auto& c : upper) c = UpperCaseUnit(c);
    std::u16string upperOld(oldPattern);
    for (auto& c : upperOld) c = UpperCaseUnit(c);
    std::u16string result;
    size_t from = 0;
    for (;;) {
        const size_t found = upper.find(upperOld, from);
        if (found == std::u16string::npos) {
            result.append(s.substr(from));
            return result;
        }
        result.append(s.substr(from, found - from));
        result.append(newPattern);
        from = found + oldPattern.size();
    }
}

std::string LeftStr(std::string_view s, int32_t count) {
    if (count <= 0) return {};
    return std::string(s.substr(0, static_cast<size_t>(count)));
}

std::string RightStr(std::string_view s, int32_t count) {
    if (count <= 0) return {};
    const auto n = static_cast<size_t>(count);
    return n >= s.size() ? std::string(s) : std::string(s.substr(s.size() - n));
}

}  // namespace qz::core
