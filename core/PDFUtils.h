#pragma once
// Small shared helpers of the PDF units: text helpers on UTF-16 and 8-bit
// strings, the rectangle record and point, the conversion between points and
// screen pixels, and the base exceptions of the document component.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/Object.h"
#include "platform/Exception.h"

namespace qz::core {

struct TqzRect {
    double Left = 0;
    double Top = 0;
    double Right = 0;
    double Bottom = 0;
};

class TqzPoint : public TqzObject {
public:
    double FX = 0;
    double FY = 0;
};

// The screen resolution, fixed for the run: there is no monitor to ask, and
// 96 dots per inch is what the component's pixel lengths assume.
inline constexpr double CPixelsPerInch = 96.0;
inline constexpr double CPointsToPixels = CPixelsPerInch / 72.0;
inline constexpr double CInchesToPoints = 72.0;

// The base of the component's page, form-field and image exceptions; never
// raised itself.
class EPDFException : public platform::Exception {
public:
    using platform::Exception::Exception;
};

// "Unsupported image format (%s)" with the image's class name.
class EUnsupportedImage : public platform::Exception {
public:
    static constexpr const char* kFormat = "Unsupported image format (%s)";
    explicit EUnsupportedImage(const std::string& imageClassName);
};

// Converts the whole of `s` as a signed 32-bit integer (decimal, or
// hexadecimal after "$" or "0x"; leading blanks allowed); True only when every
// character was used. Never raises; `value` is meaningful only on True.
bool TryStrToInt(std::u16string_view s, int32_t& value);
bool TryStrToInt(std::string_view s, int32_t& value);

// 1-based position of the first occurrence of `subStr` in `s` starting at
// `offset` (1-based) or later; 0 when there is none or `subStr` is empty.
int32_t PosExx(std::u16string_view subStr, std::u16string_view s, uint32_t offset);

// `s` with every occurrence of `oldPattern`, found without regard to case,
// replaced by `newPattern`; the inserted text is never searched again.
std::u16string ReplaceString(std::u16string_view s, std::u16string_view oldPattern,
                             std::u16string_view newPattern);

inline TqzRect qzRect(double left, double top, double right, double bottom) {
    return TqzRect{left, top, right, bottom};
}

// The first / last `count` characters of 8-bit text. The code page is single
// byte, so characters are bytes.
std::string LeftStr(std::string_view s, int32_t count);
std::string RightStr(std::string_view s, int32_t count);

inline double PointsToPixels(double value) { return value * CPointsToPixels; }
inline double PixelsToPoints(double value) { return value / CPixelsPerInch * CInchesToPoints; }

// Simple one-to-one upper-casing of a UTF-16 code unit (ASCII and Latin-1),
// so that positions in an upper-cased copy line up with the original.
char16_t UpperCaseUnit(char16_t c);

}  // namespace qz::core
