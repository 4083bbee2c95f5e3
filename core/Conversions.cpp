#include "core/Conversions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>
#include <vector>

#include "core/PDFUtils.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"

namespace qz::core {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool StartsWithFEFF(std::string_view text) {
    if (text.size() < 4) return false;
    return (text[0] == 'F' || text[0] == 'f') && (text[1] == 'E' || text[1] == 'e') &&
           (text[2] == 'F' || text[2] == 'f') && (text[3] == 'F' || text[3] == 'f');
}

// The significant decimal digits of |value| and the power of ten of the
// first one: |value| = 0.d1d2d3... x 10^(exponent + 1).
struct DecimalDigits {
    std::string digits;
    int exponent = 0;
};

DecimalDigits ToDecimal(double magnitude, int significant) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, magnitude,
                                      std::chars_format::scientific, significant - 1);
    const std::string_view text(buffer, static_cast<size_t>(result.ptr - buffer));
    DecimalDigits out;
    const size_t e = text.find('e');
    for (size_t i = 0; i < e; ++i) {
        if (text[i] != '.') out.digits.push_back(text[i]);
    }
    int exponent = 0;
    std::from_chars(text.data() + e + 1 + (text[e + 1] == '+' ? 1 : 0), text.data() + text.size(), exponent);
    out.exponent = exponent;
    return out;
}

// |value| rounded half away from zero to `decimals` places on its 15-digit
// decimal form, as the digits of value x 10^decimals.
std::string ScaledDigits(double magnitude, int decimals) {
    const DecimalDigits d = ToDecimal(magnitude, 15);
    const int keep = d.exponent + decimals + 1;  // digits down to the last place kept
    if (keep < 0) return "0";
    if (keep == 0) return d.digits[0] >= '5' ? "1" : "0";
    std::string kept;
    if (keep >= static_cast<int>(d.digits.size())) {
        kept = d.digits + std::string(static_cast<size_t>(keep) - d.digits.size(), '0');
        return kept;
    }
    kept = d.digits.substr(0, static_cast<size_t>(keep));
    if (d.digits[static_cast<size_t>(keep)] >= '5') {
        int i = static_cast<int>(kept.size()) - 1;
        while (i >= 0 && kept[static_cast<size_t>(i)] == '9') kept[static_cast<size_t>(i--)] = '0';
        if (i < 0) {
            kept.insert(kept.begin(), '1');
        } else {
            ++kept[static_cast<size_t>(i)];
        }
    }
    return kept;
}

std::string FormatFixed(double value, int decimals, bool trimZeros) {
    if (!std::isfinite(value)) value = 0;
    std::string scaled = ScaledDigits(std::fabs(value), decimals);
    const size_t firstNonZero = scaled.find_first_not_of('0');
    const bool zero = firstNonZero == std::string::npos;
    if (scaled.size() <= static_cast<size_t>(decimals)) {
        scaled.insert(0, static_cast<size_t>(decimals) + 1 - scaled.size(), '0');
    }
    std::string integerPart = scaled.substr(0, scaled.size() - static_cast<size_t>(decimals));
    std::string fraction = scaled.substr(scaled.size() - static_cast<size_t>(decimals));
    const size_t lead = integerPart.find_first_not_of('0');
    integerPart = lead == std::string::npos ? "0" : integerPart.substr(lead);
    if (trimZeros) {
        const size_t last = fraction.find_last_not_of('0');
        fraction = last == std::string::npos ? "" : fraction.substr(0, last + 1);
    }
    std::string out;
    if (value < 0 && !zero) out.push_back('-');
    out += integerPart;
    if (!fraction.empty()) {
        out.push_back('.');
        out += fraction;
    }
    return out;
}

std::string FormatGeneral(double value, int precision) {
    if (!std::isfinite(value) || value == 0) return "0";
    precision = std::clamp(precision, 1, 17);
    const DecimalDigits d = ToDecimal(std::fabs(value), precision);
    const int decimals = std::max(0, precision - 1 - d.exponent);
    return FormatFixed(value, decimals, true);
}

std::string FormatExponent(double value, int precision, int digits) {
    if (!std::isfinite(value)) value = 0;
    precision = std::clamp(precision, 1, 17);
    const DecimalDigits d = ToDecimal(std::fabs(value), precision);
    std::string out;
    if (value < 0) out.push_back('-');
    out.push_back(d.digits[0]);
    if (d.digits.size() > 1) {
        out.push_back('.');
        out += d.digits.substr(1);
    }
    out += d.exponent < 0 ? "E-" : "E+";
    std::string exp = std::to_string(std::abs(d.exponent));
    if (static_cast<int>(exp.size()) < digits) exp.insert(0, static_cast<size_t>(digits) - exp.size(), '0');
    return out + exp;
}

void AppendHexByte(std::string& out, uint8_t byte) {
    out.push_back(kHexDigits[byte >> 4]);
    out.push_back(kHexDigits[byte & 0x0F]);
}

}  // namespace

// ---- numbers ----

std::string FloatToStringLocale(double value) { return FormatFixed(value, 6, true); }

std::string FloatToStringF(double value) { return FormatFixed(value, 4, false); }

std::string FloatToStrFLocale(double value, TqzFloatFormat format, int32_t precision, int32_t digits) {
    switch (format) {
        case TqzFloatFormat::ffGeneral:
            return FormatGeneral(value, precision);
        case TqzFloatFormat::ffExponent:
            return FormatExponent(value, precision, digits);
        case TqzFloatFormat::ffFixed:
        case TqzFloatFormat::ffNumber:
        case TqzFloatFormat::ffCurrency:
            break;
    }
    return FormatFixed(value, std::clamp(digits, 0, 18), false);
}

double StringToFloatLocale(std::string_view text) {
    std::string_view s = text;
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    double value = 0;
    const auto result = std::from_chars(s.data(), s.data() + s.size(), value, std::chars_format::general);
    // Range errors keep from_chars' rounding to infinity or zero out of it:
    // only text that is not a number is refused.
    if (s.empty() || s.front() == '+' || s.front() == '-' ||
        (result.ec != std::errc() && result.ec != std::errc::result_out_of_range) ||
        result.ptr != s.data() + s.size()) {
        throw platform::EConvertError("'" + std::string(text) + "' is not a valid floating point value");
    }
    return negative ? -value : value;
}

int32_t StringToInteger(std::string_view text) {
    int32_t value = 0;
    return TryStrToInt(text, value) ? value : 0;
}

std::string IntegerToString(int64_t value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (result.ec != std::errc()) return {};
    return std::string(buffer, result.ptr);
}

std::string ColorToPDFColor(uint8_t red, uint8_t green, uint8_t blue) {
    return FormatFixed(red / 255.0, 4, false) + " " + FormatFixed(green / 255.0, 4, false) + " " +
           FormatFixed(blue / 255.0, 4, false);
}

int32_t AngleToPositiveAngle360(int32_t angle) {
    int32_t r = angle % 360;
    if (r < 0) r += 360;
    return r;
}

// ---- hexadecimal ----

bool IsHex(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return HexValue(c) >= 0; });
}

int32_t HexToByteValue(std::string_view text, uint8_t& value) {
    value = 0;
    if (!IsHex(text)) return -1;
    unsigned v = 0;
    for (char c : text) v = ((v << 4) | static_cast<unsigned>(HexValue(c))) & 0xFF;
    value = static_cast<uint8_t>(v);
    return 0;
}

std::string HexToByteArray(std::string_view text) {
    std::string out;
    out.reserve(text.size() / 2 + 1);
    int high = -1;
    for (char c : text) {
        const int v = HexValue(c);
        if (v < 0) continue;
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<char>((high << 4) | v));
            high = -1;
        }
    }
    if (high >= 0) out.push_back(static_cast<char>(high << 4));
    return out;
}

std::string HexToByteString(std::string_view text) {
    if (StartsWithFEFF(text)) return platform::Utf16ToCodePage(UnicodeHexToString(text));
    return HexToByteArray(text);
}

std::string HexToString(std::string_view text) {
    if (StartsWithFEFF(text)) return platform::Utf16ToCodePage(UnicodeHexToString(text));
    std::string out;
    out.reserve(text.size() / 2 + 1);
    size_t i = 0;
    for (; i + 1 < text.size(); i += 2) {
        const int high = HexValue(text[i]);
        const int low = HexValue(text[i + 1]);
        out.push_back(static_cast<char>(high >= 0 && low >= 0 ? (high << 4) | low : 0));
    }
    if (i < text.size()) {
        const int high = HexValue(text[i]);
        out.push_back(static_cast<char>(high >= 0 ? high << 4 : 0));
    }
    return out;
}

std::u16string HexToStr(std::string_view text) {
    if (StartsWithFEFF(text)) return UnicodeHexToString(text);
    const std::string bytes = HexToString(text);
    std::u16string out;
    out.reserve(bytes.size());
    for (char c : bytes) out.push_back(static_cast<char16_t>(static_cast<uint8_t>(c)));
    return out;
}

std::u16string UnicodeHexToString(std::string_view text) {
    if (!StartsWithFEFF(text)) return platform::CodePageToUtf16(HexToByteString(text));
    std::u16string out;
    size_t i = 4;
    while (i < text.size()) {
        if (text[i] == '.') {
            out.push_back(u'.');
            ++i;
            continue;
        }
        const std::string_view group = text.substr(i, 4);
        i += group.size();
        if (StartsWithFEFF(group) || !IsHex(group)) continue;
        unsigned unit = 0;
        for (char c : group) unit = (unit << 4) | static_cast<unsigned>(HexValue(c));
        out.push_back(static_cast<char16_t>(unit));
    }
    return out;
}

std::string StringToHex(std::u16string_view text) {
    std::string out = "FEFF";
    out.reserve(4 + text.size() * 4);
    for (char16_t unit : text) {
        AppendHexByte(out, static_cast<uint8_t>(unit >> 8));
        AppendHexByte(out, static_cast<uint8_t>(unit & 0xFF));
    }
    return out;
}

std::string StringToHex2(std::string_view bytes) { return GetHexOfStr(bytes, bytes.size()); }

std::string GetHexOfStr(std::string_view bytes, size_t count) {
    count = std::min(count, bytes.size());
    std::string out;
    out.reserve(count * 2);
    for (size_t i = 0; i < count; ++i) AppendHexByte(out, static_cast<uint8_t>(bytes[i]));
    return out;
}

std::u16string FromUnicodeHexToStr(std::string_view text) {
    if (text.empty() || text == "()" || text == "<>") return {};
    std::string t = EscapeStringToString(text);
    if (!t.empty() && (t.front() == '(' || t.front() == '<')) {
        t = t.size() >= 2 ? t.substr(1, t.size() - 2) : std::string();
    }
    if (t.empty() || t == "()" || t == "<>") return {};
    bool utf16 = false;
    if (t.size() >= 2 && static_cast<uint8_t>(t[0]) == 0xFE && static_cast<uint8_t>(t[1]) == 0xFF) {
        t.erase(0, 2);
        utf16 = true;
    }
    if (StartsWithFEFF(t)) return UnicodeHexToString(t);
    if (utf16 || (!t.empty() && static_cast<uint8_t>(t[0]) <= 32)) {
        std::u16string out;
        size_t i = 0;
        while (i < t.size()) {
            if (t[i] == '.') {
                ++i;
                continue;
            }
            if (i + 1 < t.size()) {
                out.push_back(static_cast<char16_t>((static_cast<uint8_t>(t[i]) << 8) |
                                                    static_cast<uint8_t>(t[i + 1])));
                i += 2;
            } else {
                out.push_back(static_cast<char16_t>(static_cast<uint8_t>(t[i])));
                ++i;
            }
        }
        return out;
    }
    return platform::CodePageToUtf16(t);
}

std::u16string ReadTwoByteString(std::string_view bytes) {
    std::string rest;
    rest.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i + 1 < bytes.size() && static_cast<uint8_t>(bytes[i]) == 0xFE &&
            static_cast<uint8_t>(bytes[i + 1]) == 0xFF) {
            ++i;
            continue;
        }
        rest.push_back(bytes[i]);
    }
    std::u16string out;
    out.reserve(rest.size() / 2 + 1);
    size_t i = 0;
    for (; i + 1 < rest.size(); i += 2) {
        out.push_back(static_cast<char16_t>((static_cast<uint8_t>(rest[i]) << 8) |
                                            static_cast<uint8_t>(rest[i + 1])));
    }
    if (i < rest.size()) out.push_back(static_cast<char16_t>(static_cast<uint8_t>(rest[i])));
    return out;
}

// ---- escapes, tokens, search ----

std::string EscapeStringToString(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i++];
        if (c != '\\') {
            out.push_back(c);
            continue;
        }
        if (i >= text.size()) break;  // a final lone backslash stands for nothing
        const char e = text[i++];
        switch (e) {
            case 'n': out.push_back('\n'); break;
            case 'r': out.push_back('\r'); break;
            case 't': out.push_back('\t'); break;
            case 'b': out.push_back('\b'); break;
            case 'f': out.push_back('\f'); break;
            case '\n': break;
            case '\r':
                if (i < text.size() && text[i] == '\n') ++i;
                break;
            default:
                if (e >= '0' && e <= '7') {
                    unsigned v = static_cast<unsigned>(e - '0');
                    for (int k = 0; k < 2 && i < text.size() && text[i] >= '0' && text[i] <= '7'; ++k) {
                        v = v * 8 + static_cast<unsigned>(text[i++] - '0');
                    }
                    out.push_back(static_cast<char>(v & 0xFF));
                } else {
                    out.push_back(e);  // "\(", "\)", "\\" and any other character
                }
        }
    }
    return out;
}

bool IsOctal(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '7'; });
}

void OctalToByteValue(std::string_view text, uint8_t& value) {
    value = 0;
    if (!IsOctal(text)) return;
    unsigned v = 0;
    for (char c : text) v = (v * 8 + static_cast<unsigned>(c - '0')) & 0xFF;
    value = static_cast<uint8_t>(v);
}

std::string StringTokenizer(std::string_view text, int32_t from) {
    const auto isBreak = [](char c) { return c == '\0' || c == '\t' || c == '\n' || c == '\r'; };
    size_t i = from > 1 ? static_cast<size_t>(from - 1) : 0;
    while (i < text.size() && (isBreak(text[i]) || text[i] == ' ')) ++i;
    const size_t begin = i;
    while (i < text.size() && !isBreak(text[i])) ++i;
    return begin < text.size() ? std::string(text.substr(begin, i - begin)) : std::string();
}

int64_t FindInStream(platform::Stream& stream, std::string_view key, int64_t start) {
    constexpr int64_t kBlock = 64 * 1024;
    start = std::max<int64_t>(start, 0);
    int64_t result = 0;
    if (!key.empty()) {
        stream.SetPosition(start);
        std::string buffer;        // bytes from bufferStart on, still of interest
        int64_t bufferStart = start;
        size_t searchFrom = 0;
        std::vector<char> block(static_cast<size_t>(kBlock));
        for (;;) {
            const int64_t got = stream.Read(block.data(), kBlock);
            if (got <= 0) break;
            buffer.append(block.data(), static_cast<size_t>(got));
            const size_t found = buffer.find(key, searchFrom);
            if (found != std::string::npos) {
                result = bufferStart + static_cast<int64_t>(found) - start + 1;
                // A keyword such as "endstream" counts from the line end before it.
                if (key.front() == 'e' && found >= 1 && buffer[found - 1] == '\n') {
                    --result;
                    if (found >= 2 && buffer[found - 2] == '\r') --result;
                }
                break;
            }
            // Keep what a later match could still start in, plus two bytes
            // for the line-end look-back.
            const size_t next = buffer.size() >= key.size() ? buffer.size() - key.size() + 1 : 0;
            const size_t drop = next > 2 ? next - 2 : 0;
            buffer.erase(0, drop);
            bufferStart += static_cast<int64_t>(drop);
            searchFrom = next - drop;
        }
    }
    stream.Seek(0, platform::SeekOrigin::End);
    return result;
}

bool IsSpace(int32_t c) { return c == 0 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32; }

std::string ReplaceStr(std::string_view text, std::string_view oldText, std::string_view newText) {
    if (oldText.empty()) return std::string(text);
    std::string out;
    size_t from = 0;
    for (;;) {
        const size_t found = text.find(oldText, from);
        if (found == std::string_view::npos) break;
        out.append(text.substr(from, found - from));
        out.append(newText);
        from = found + oldText.size();
    }
    out.append(text.substr(from));
    return out;
}

int64_t ParseMemStream(platform::MemoryStream& stream) {
    const size_t found = stream.Bytes().find('>');
    return found == std::string::npos ? 0 : static_cast<int64_t>(found) + 1;
}

uint32_t GetHash(platform::Stream& stream, uint32_t seed) {
    constexpr uint32_t m = 0x5bd1e995;
    constexpr int r = 24;
    const int64_t saved = stream.Position();
    const int64_t size = stream.Size();
    uint32_t h = seed ^ static_cast<uint32_t>(size);
    stream.SetPosition(0);
    constexpr int64_t kBlock = 64 * 1024;  // a multiple of 4
    std::vector<uint8_t> block(static_cast<size_t>(kBlock));
    int64_t remaining = size;
    while (remaining > 0) {
        int64_t filled = 0;
        const int64_t want = std::min(kBlock, remaining);
        while (filled < want) {
            const int64_t got = stream.Read(block.data() + filled, want - filled);
            if (got <= 0) break;
            filled += got;
        }
        if (filled < want) remaining = filled;  // the stream ended early
        remaining -= filled;
        const auto n = static_cast<size_t>(filled);
        size_t i = 0;
        for (; i + 4 <= n; i += 4) {
            uint32_t k = static_cast<uint32_t>(block[i]) | static_cast<uint32_t>(block[i + 1]) << 8 |
                         static_cast<uint32_t>(block[i + 2]) << 16 | static_cast<uint32_t>(block[i + 3]) << 24;
            k *= m;
            k ^= k >> r;
            k *= m;
            h *= m;
            h ^= k;
        }
        switch (n - i) {
            case 3:
                h ^= static_cast<uint32_t>(block[i + 2]) << 16;
                [[fallthrough]];
            case 2:
                h ^= static_cast<uint32_t>(block[i + 1]) << 8;
                [[fallthrough]];
            case 1:
                h ^= block[i];
                h *= m;
                break;
            default:
                break;
        }
        if (n - i != 0) break;  // only the last block can have a tail
    }
    h ^= h >> 13;
    h *= m;
    h ^= h >> 15;
    stream.SetPosition(saved);
    return h;
}

// ---- dates ----

TqzDate PDFStringToDate(std::string_view text) {
    TqzDate date;
    const size_t marker = text.find("D:");
    if (marker == std::string_view::npos) return date;
    std::string t(text.substr(0, marker));
    t += text.substr(marker + 2);
    const auto field = [&](size_t from1) { return StringToInteger(std::string_view(t).substr(from1 - 1, 2)); };
    const auto position = [&](char c) {
        const size_t p = t.find(c);
        return p == std::string::npos ? size_t{0} : p + 1;
    };
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (t.size() >= 4) year = StringToInteger(std::string_view(t).substr(0, 4));
    if (t.size() >= 6) month = field(5);
    if (t.size() >= 8) day = field(7);
    if (t.size() >= 10) hour = field(9);
    if (month <= 0 || month > 12) month = 1;
    if (day <= 0 || day > 31) day = 1;
    if (hour < 0 || hour > 23) hour = 0;  // hour 0 is midnight
    const size_t plus = position('+'), minus = position('-'), zulu = position('Z');
    const bool anyMark = plus != 0 || minus != 0 || zulu != 0;
    if (t.size() >= 12 && plus != 11 && minus != 11 && zulu != 11) minute = field(11);
    if (minute < 0 || minute >= 60) minute = 0;
    if (t.size() >= 14 && ((!anyMark && t.size() == 14) || plus == 15 || minus == 15 || zulu == 15)) {
        second = field(13);
    }
    if (second < 0 || second >= 60) second = 0;
    date.Year = static_cast<uint16_t>(year);
    date.Month = static_cast<uint16_t>(month);
    date.Day = static_cast<uint16_t>(day);
    date.Hour = static_cast<uint16_t>(hour);
    date.Minute = static_cast<uint16_t>(minute);
    date.Second = static_cast<uint16_t>(second);
    return date;
}

std::string DateToPDFString(const TqzDate& date) {
    const auto two = [](uint16_t v) {
        std::string s = std::to_string(v);
        return v < 10 ? "0" + s : s;
    };
    return "D:" + std::to_string(date.Year) + two(date.Month) + two(date.Day) + two(date.Hour) +
           two(date.Minute) + two(date.Second);
}

}  // namespace qz::core
