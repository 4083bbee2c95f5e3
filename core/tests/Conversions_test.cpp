#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <cstring>
#include <limits>
#include <string>

using namespace std::string_literals;

#include "core/Conversions.h"
#include "platform/Exception.h"
#include "platform/Streams.h"

using namespace qz::core;
namespace fs = std::filesystem;

namespace {

// Switches LC_NUMERIC to a locale whose decimal separator is a comma for the
// life of the object: one installed on the machine, else one compiled into a
// temporary folder with localedef. Empty name when neither is possible.
class CommaLocale {
public:
    CommaLocale() {
        const char* current = std::setlocale(LC_NUMERIC, nullptr);
        previous_ = current ? current : "C";
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "pt_BR.UTF-8", "pt_BR.utf8", "fr_FR.UTF-8"}) {
            if (TrySet(name)) return;
        }
        const fs::path dir = fs::temp_directory_path() / "qz-comma-locale";
        fs::create_directories(dir);
        // localedef may warn yet succeed; TrySet tells.
        const std::string command = "localedef -i de_DE -f UTF-8 '" + (dir / "de_DE.UTF-8").string() +
                                    "' >/dev/null 2>&1";
        if (!fs::exists(dir / "de_DE.UTF-8") && std::system(command.c_str()) == -1) return;
        ::setenv("LOCPATH", dir.c_str(), 1);
        TrySet("de_DE.UTF-8");
    }
    ~CommaLocale() { std::setlocale(LC_NUMERIC, previous_.c_str()); }
    const std::string& Name() const { return name_; }

private:
    bool TrySet(const char* name) {
        if (!std::setlocale(LC_NUMERIC, name)) return false;
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "%.1f", 1.5);
        if (std::string(buffer) != "1,5") {
            std::setlocale(LC_NUMERIC, previous_.c_str());
            return false;
        }
        name_ = name;
        return true;
    }
    std::string previous_;
    std::string name_;
};

}  // namespace

TEST(Conversions, RealsAsZeroPointSixHashes) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {1.5, "1.5"},
        {2, "2"},
        {1.0 / 3, "0.333333"},
        {-0.25, "-0.25"},
        {0, "0"},
        {-0.0, "0"},
        {1e-7, "0"},
        {-1e-7, "0"},  // no "-0"
        {0.0000005, "0.000001"},
        {2.0000005, "2.000001"},    // half away from zero on the decimal form
        {0.1234565, "0.123457"},
        {999999.9999996, "1000000"},
        {612.0, "612"},
        {-2147483648.0, "-2147483648"},
        {1e20, "100000000000000000000"},
        {123456789012345678.0, "123456789012346000"},
        {3.4e38, "340000000000000000000000000000000000000"},
        {std::numeric_limits<double>::quiet_NaN(), "0"},
        {std::numeric_limits<double>::infinity(), "0"},
    };
    for (const auto& c : cases) EXPECT_EQ(FloatToStringLocale(c.value), c.text) << c.value;
    const std::string huge = FloatToStringLocale(1e300);
    EXPECT_EQ(huge.size(), 301u);
    EXPECT_EQ(huge.find_first_not_of('0', 1), std::string::npos);
    EXPECT_EQ(FloatToStringLocale(-1e300).substr(0, 2), "-1");
    EXPECT_EQ(FloatToStringLocale(5e-324), "0");
}

TEST(Conversions, FixedFormats) {
    EXPECT_EQ(FloatToStringF(1.5), "1.5000");
    EXPECT_EQ(FloatToStringF(-0.00004), "0.0000");
    EXPECT_EQ(FloatToStrFLocale(0, TqzFloatFormat::ffFixed, 18, 8), "0.00000000");
    EXPECT_EQ(FloatToStrFLocale(0.70710678, TqzFloatFormat::ffFixed, 10, 3), "0.707");
    EXPECT_EQ(FloatToStrFLocale(-12.5, TqzFloatFormat::ffFixed, 10, 0), "-13");
    EXPECT_EQ(FloatToStrFLocale(1234.5678, TqzFloatFormat::ffGeneral, 6, 0), "1234.57");
    EXPECT_EQ(ColorToPDFColor(255, 0, 128), "1.0000 0.0000 0.5020");
}

TEST(Conversions, NumbersUseAPointUnderACommaLocale) {
    CommaLocale locale;
    if (locale.Name().empty()) GTEST_SKIP() << "no locale with a decimal comma could be set or built";
    EXPECT_EQ(FloatToStringLocale(1.5), "1.5");
    EXPECT_EQ(FloatToStringLocale(2), "2");
    EXPECT_EQ(FloatToStringF(0.25), "0.2500");
    EXPECT_EQ(ColorToPDFColor(255, 255, 255), "1.0000 1.0000 1.0000");
    EXPECT_DOUBLE_EQ(StringToFloatLocale("1.5"), 1.5);
    EXPECT_DOUBLE_EQ(StringToFloatLocale(" -2.25e1 "), -22.5);
    EXPECT_THROW(StringToFloatLocale("1,5"), qz::platform::EConvertError);
    EXPECT_THROW(StringToFloatLocale("abc"), qz::platform::EConvertError);
    // The process locale is left as it was.
    EXPECT_EQ(std::string(std::setlocale(LC_NUMERIC, nullptr)), locale.Name());
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%.1f", 1.5);
    EXPECT_STREQ(buffer, "1,5");
}

TEST(Conversions, IntegersAndAngles) {
    EXPECT_EQ(StringToInteger("12"), 12);
    EXPECT_EQ(StringToInteger("$ff"), 255);
    EXPECT_EQ(StringToInteger("x1"), 0);
    EXPECT_EQ(StringToInteger("2147483648"), 0);
    EXPECT_EQ(IntegerToString(-2147483648LL), "-2147483648");
    EXPECT_EQ(IntegerToString(INT64_MIN), "-9223372036854775808");
    EXPECT_EQ(AngleToPositiveAngle360(-90), 270);
    EXPECT_EQ(AngleToPositiveAngle360(720), 0);
    EXPECT_EQ(AngleToPositiveAngle360(INT32_MIN), 232);
    EXPECT_THROW(StringToFloatLocale(""), qz::platform::EConvertError);
    EXPECT_THROW(StringToFloatLocale("+-1"), qz::platform::EConvertError);
}

TEST(Conversions, Hexadecimal) {
    uint8_t b = 7;
    EXPECT_EQ(HexToByteValue("1G", b), -1);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(HexToByteValue("1ff", b), 0);
    EXPECT_EQ(b, 0xFF);
    EXPECT_TRUE(IsHex("12ab"));
    EXPECT_FALSE(IsHex("12gh"));
    EXPECT_EQ(StringToHex(u"AB"), "FEFF00410042");
    EXPECT_EQ(HexToString("FEFF00410042"), "AB");
    EXPECT_EQ(HexToString("41424"), "AB\x40");
    EXPECT_EQ(HexToString("41zz42"), std::string("A\0B", 3));
    EXPECT_EQ(HexToStr("41424"), u"AB\x40");
    EXPECT_EQ(HexToStr("feff00e9"), u"\u00e9");
    EXPECT_EQ(HexToByteString("41 42\n4"), "AB\x40");
    // Binary data is never read as text: FE FF digits stay bytes.
    EXPECT_EQ(HexToByteArray("FEFF0041"), "\xFE\xFF\x00\x41"s);
    EXPECT_EQ(UnicodeHexToString("FEFF0041.FEFF0042"), u"A.B");
    EXPECT_EQ(UnicodeHexToString("4142"), u"AB");
    EXPECT_EQ(StringToHex2("\x00\xAB"s), "00AB");
    EXPECT_EQ(GetHexOfStr("abc", 2), "6162");
    EXPECT_EQ(GetHexOfStr("abc", 99), "616263");
}

TEST(Conversions, EscapesAndUtf16Text) {
    EXPECT_EQ(EscapeStringToString("\\101\\12\\9"), "A\n9");
    EXPECT_EQ(EscapeStringToString("\\777\\1234"), "\xFF" "S4");
    EXPECT_EQ(EscapeStringToString("a\\\r\nb\\\nc\\(\\)\\\\\\q\\"), "abc()\\q");
    EXPECT_EQ(EscapeStringToString(""), "");
    EXPECT_TRUE(IsOctal("0717"));
    EXPECT_FALSE(IsOctal("78"));
    uint8_t b = 1;
    OctalToByteValue("777", b);
    EXPECT_EQ(b, 0xFF);
    EXPECT_EQ(FromUnicodeHexToStr("(\xFE\xFF\x00\x41\x00\x42)"s), u"AB");
    EXPECT_EQ(FromUnicodeHexToStr("<FEFF00410042>"), u"AB");
    EXPECT_EQ(FromUnicodeHexToStr("(Caf\xE9)"), u"Caf\u00e9");
    EXPECT_EQ(FromUnicodeHexToStr("()"), u"");
    // Two bytes per code unit, whatever the bytes (0x91 would widen to U+2018
    // through the code page and shift every unit after it).
    EXPECT_EQ(ReadTwoByteString("\xFE\xFF\x04\x1F\x04\x40"s), u"\u041F\u0440");
    EXPECT_EQ(ReadTwoByteString("\x00\x91\x00\x41"s), u"\u0091A");
    EXPECT_EQ(ReadTwoByteString("\x91\x20\x41"s), u"\u9120\u0041");
}

TEST(Conversions, TokensAndSearch) {
    EXPECT_EQ(StringTokenizer("startxref\r\n398", 10), "398");
    EXPECT_EQ(StringTokenizer("startxref\r\n398\r\n%%EOF", 10), "398");
    EXPECT_EQ(StringTokenizer("a", 5), "");
    EXPECT_EQ(ReplaceStr("aaa", "a", "aa"), "aaaaaa");
    EXPECT_EQ(ReplaceStr("abc", "", "x"), "abc");
    EXPECT_TRUE(IsSpace(0));
    EXPECT_TRUE(IsSpace(12));
    EXPECT_FALSE(IsSpace(11));
    EXPECT_FALSE(IsSpace(256 + 32));

    qz::platform::MemoryStream small("abc\r\nendstream");
    EXPECT_EQ(FindInStream(small, "endstream", 0), 4);  // three data bytes before the line end
    EXPECT_EQ(small.Position(), small.Size());
    qz::platform::MemoryStream none("abc");
    EXPECT_EQ(FindInStream(none, "endstream", -5), 0);
    // A match straddling read blocks, counted from the start offset.
    std::string big(200000, 'x');
    big += "\nendstream";
    qz::platform::MemoryStream large(big);
    EXPECT_EQ(FindInStream(large, "endstream", 1000), 200000 - 1000 + 1);
    EXPECT_EQ(FindInStream(large, "xref", 0), 0);

    qz::platform::MemoryStream xml("<?xml version?><x/>");
    EXPECT_EQ(ParseMemStream(xml), 15);
}

namespace {

uint32_t ReferenceMurmur2(const std::string& data, uint32_t seed) {
    const uint32_t m = 0x5bd1e995;
    uint32_t h = seed ^ static_cast<uint32_t>(data.size());
    size_t i = 0;
    for (; i + 4 <= data.size(); i += 4) {
        uint32_t k;
        std::memcpy(&k, data.data() + i, 4);
        k *= m;
        k ^= k >> 24;
        k *= m;
        h *= m;
        h ^= k;
    }
    switch (data.size() - i) {
        case 3: h ^= static_cast<uint32_t>(static_cast<uint8_t>(data[i + 2])) << 16; [[fallthrough]];
        case 2: h ^= static_cast<uint32_t>(static_cast<uint8_t>(data[i + 1])) << 8; [[fallthrough]];
        case 1: h ^= static_cast<uint8_t>(data[i]); h *= m;
    }
    h ^= h >> 13;
    h *= m;
    h ^= h >> 15;
    return h;
}

}  // namespace

TEST(Conversions, HashOfWholeStreamKeepsPosition) {
    qz::platform::MemoryStream empty;
    EXPECT_EQ(GetHash(empty, 0), 0u);
    std::string data(150003, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 31 + 7);
    qz::platform::MemoryStream stream(data);
    stream.SetPosition(42);
    EXPECT_EQ(GetHash(stream, 0x9747B28C), ReferenceMurmur2(data, 0x9747B28C));
    EXPECT_EQ(stream.Position(), 42);
}

TEST(Conversions, PdfDates) {
    const struct {
        const char* text;
        TqzDate date;
    } cases[] = {
        {"D:20240131", {2024, 1, 31, 0, 0, 0, 0}},
        {"D:2024", {2024, 1, 1, 0, 0, 0, 0}},
        {"D:20241301235960Z", {2024, 1, 1, 23, 59, 0, 0}},
        {"D:20240305000000", {2024, 3, 5, 0, 0, 0, 0}},  // hour 00 is midnight
        {"D:20240305070809+01'00'", {2024, 3, 5, 7, 8, 9, 0}},
        {"D:20240305072", {2024, 3, 5, 7, 0, 0, 0}},
        {"D:2024033299", {2024, 3, 1, 0, 0, 0, 0}},
        {"no date", {0, 0, 0, 0, 0, 0, 0}},
        {"D:", {0, 1, 1, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        const TqzDate d = PDFStringToDate(c.text);
        EXPECT_EQ(d.Year, c.date.Year) << c.text;
        EXPECT_EQ(d.Month, c.date.Month) << c.text;
        EXPECT_EQ(d.Day, c.date.Day) << c.text;
        EXPECT_EQ(d.Hour, c.date.Hour) << c.text;
        EXPECT_EQ(d.Minute, c.date.Minute) << c.text;
        EXPECT_EQ(d.Second, c.date.Second) << c.text;
    }
    EXPECT_EQ(DateToPDFString(TqzDate{2024, 3, 5, 7, 8, 9, 0}), "D:20240305070809");
    EXPECT_EQ(DateToPDFString(TqzDate{999, 12, 31, 23, 59, 59, 0}), "D:999123123595" "9");
}
