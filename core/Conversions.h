#pragma once
// Free routines that turn numbers, bytes and dates into PDF text and back.
// Numbers are written and read with "." whatever the process locale: nothing
// here consults or changes the locale, so no lock is needed. 8-bit text is
// bytes; wide text is UTF-16 and goes through the platform code page only
// where a routine says so. Binary data never passes through a text
// conversion.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Streams.h"

namespace qz::core {

// Year, month, day, hour, minute, second, and a seventh word the conversions
// neither read nor write.
struct TqzDate {
    uint16_t Year = 0;
    uint16_t Month = 0;
    uint16_t Day = 0;
    uint16_t Hour = 0;
    uint16_t Minute = 0;
    uint16_t Second = 0;
    uint16_t Reserved = 0;
};

enum class TqzFloatFormat : uint8_t { ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency };

// ---- numbers ----
// The form of every real written into PDF: at most six decimals, rounded half
// away from zero on the value's 15-digit decimal form, no trailing zeros, no
// point for whole numbers, never an exponent (huge values are written out in
// full, values below 0.0000005 as 0; NaN and infinities as 0).
std::string FloatToStringLocale(double value);
// Fixed notation with four decimals.
std::string FloatToStringF(double value);
// Fixed (and number, currency) format with `digits` decimals; general format
// with at most `precision` significant digits and no exponent; exponent
// format as d.ddddE+xx. Always ".".
std::string FloatToStrFLocale(double value, TqzFloatFormat format, int32_t precision, int32_t digits);
// Raises platform::EConvertError for text that is not a number.
double StringToFloatLocale(std::string_view text);
// Decimal, or hexadecimal after "$" or "0x"; 0 for anything else.
int32_t StringToInteger(std::string_view text);
std::string IntegerToString(int64_t value);
// Each byte / 255 with four decimals, separated by single blanks.
std::string ColorToPDFColor(uint8_t red, uint8_t green, uint8_t blue);
// `angle` modulo 360 in 0..359.
int32_t AngleToPositiveAngle360(int32_t angle);

// ---- hexadecimal ----
bool IsHex(std::string_view text);
// 0 and the value of the digits kept in 8 bits; -1 and 0 for non-hex text.
int32_t HexToByteValue(std::string_view text, uint8_t& value);
// The bytes of hexadecimal digits: characters that are not digits are
// skipped, a final lone digit is the high digit of a last byte. Byte-exact:
// no UTF-16 interpretation; this is the form for binary data.
std::string HexToByteArray(std::string_view text);
// As HexToByteArray, except that text beginning with "FEFF" is read as UTF-16
// and narrowed to the 8-bit code page (a text conversion: not for binary data).
std::string HexToByteString(std::string_view text);
// As HexToByteString for "FEFF" text; otherwise each pair of characters gives
// one byte (0 for a pair that is not hexadecimal), a final lone digit the
// high digit of a last byte.
std::string HexToString(std::string_view text);
// HexToString with a wide result: one character per byte, or the UTF-16 text
// of "FEFF" digits.
std::u16string HexToStr(std::string_view text);
// "FEFF" text: groups of four digits, each one code unit; other text through
// HexToByteString, widened through the 8-bit code page.
std::u16string UnicodeHexToString(std::string_view text);
// "FEFF" and four upper-case digits per code unit.
std::string StringToHex(std::u16string_view text);
// Two upper-case digits per byte.
std::string StringToHex2(std::string_view bytes);
// Two upper-case digits for each of the first `count` bytes.
std::string GetHexOfStr(std::string_view bytes, size_t count);
// Text of a string as written in PDF (possibly with its delimiters) to wide text.
std::u16string FromUnicodeHexToStr(std::string_view text);
// UTF-16BE bytes to wide text: byte pairs FE FF are removed, the rest read two
// bytes per code unit (a last lone byte is a unit of its own).
std::u16string ReadTwoByteString(std::string_view bytes);

// ---- escapes, tokens, search ----
// The bytes a literal-string body stands for.
std::string EscapeStringToString(std::string_view text);
bool IsOctal(std::string_view text);
void OctalToByteValue(std::string_view text, uint8_t& value);
// The token starting at the first character at or after `from` (1-based)
// that is not NUL, TAB, LF, CR or blank, up to the next NUL, TAB, LF or CR.
std::string StringTokenizer(std::string_view text, int32_t from);
// 1-based position, counted from `start`, of the first `key` in the stream's
// bytes from `start` on; 0 when absent. For a key beginning with "e" the
// position moves back over a LF or CR LF just before the match (within the
// searched bytes). The stream is left at its end.
int64_t FindInStream(platform::Stream& stream, std::string_view key, int64_t start);
// The six PDF white-space codes.
bool IsSpace(int32_t c);
// Every occurrence of `oldText` (case-sensitive) replaced by `newText`.
std::string ReplaceStr(std::string_view text, std::string_view oldText, std::string_view newText);
// 1-based position of the first ">" in the whole stream, 0 when none.
int64_t ParseMemStream(platform::MemoryStream& stream);
// MurmurHash2 (32-bit) of the stream's whole content with `seed`; the
// stream's position is restored.
uint32_t GetHash(platform::Stream& stream, uint32_t seed);

// ---- dates ----
// Midnight is hour 0; fields that are absent or out of range take the
// defaults (month and day 1, hour, minute and second 0).
TqzDate PDFStringToDate(std::string_view text);
// "D:", the year, then month, day, hour, minute, second in two digits each.
std::string DateToPDFString(const TqzDate& date);

}  // namespace qz::core
