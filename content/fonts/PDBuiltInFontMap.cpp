#include "content/fonts/PDBuiltInFontMap.h"

#include <algorithm>

#include "content/fonts/PDAdobeGlyphList.h"

namespace qz::content {

namespace {

struct TStandardMetrics {
    std::string_view Name;
    int32_t Ascent;
    int32_t Descent;
    std::array<int32_t, 4> BBox;
    std::span<const TqzBuiltInFontWidths> Widths;
    const TqzEncodingArray* Encoding;
};

#include "content/fonts/tables/StandardFonts.inc"

}  // namespace

constexpr std::array<std::string_view, 6> FontEncodingNames = {
    "StandardEncoding", "MacRomanEncoding",  "WinAnsiEncoding",
    "PDFDocEncoding",   "MacExpertEncoding", "CustomEncoding"};

constexpr std::array<std::string_view, 14> BuiltInFonts = {
    "Courier",     "Courier-Bold",   "Courier-BoldOblique",   "Courier-Oblique",
    "Helvetica",   "Helvetica-Bold", "Helvetica-BoldOblique", "Helvetica-Oblique",
    "Symbol",      "Times-Bold",     "Times-BoldItalic",      "Times-Italic",
    "Times-Roman", "ZapfDingbats"};

constexpr std::array<std::string_view, 14> ActualFontNames = BuiltInFonts;

constexpr std::array<std::string_view, 14> SubstituteFontNames = {
    "CourierNew",    "CourierNewBold",    "CourierNewBoldItalic",    "CourierNewItalic",
    "Arial",         "ArialBold",         "ArialBoldItalic",         "ArialItalic",
    "Symbol",        "TimesNewRomanBold", "TimesNewRomanBoldItalic", "TimesNewRomanItalic",
    "TimesNewRoman", "ArialUnicodeMS"};

constexpr std::array<TqzStdFontMapEntry, StdFontCount> TqzStdFontMapTable = {{
    {"Arial", "Helvetica"},
    {"Arial,Bold", "Helvetica-Bold"},
    {"Arial,BoldItalic", "Helvetica-BoldOblique"},
    {"Arial,Italic", "Helvetica-Oblique"},
    {"Arial-Bold", "Helvetica-Bold"},
    {"Arial-BoldItalic", "Helvetica-BoldOblique"},
    {"Arial-BoldItalicMT", "Helvetica-BoldOblique"},
    {"Arial-BoldMT", "Helvetica-Bold"},
    {"Arial-Italic", "Helvetica-Oblique"},
    {"Arial-ItalicMT", "Helvetica-Oblique"},
    {"Helvetica-Compressed", "Helvetica"},
    {"ArialMT", "Helvetica"},
    {"CourierNew", "Courier"},
    {"CourierNew,Bold", "Courier-Bold"},
    {"CourierNew,BoldItalic", "Courier-BoldOblique"},
    {"CourierNew,Italic", "Courier-Oblique"},
    {"CourierNew-Bold", "Courier-Bold"},
    {"CourierNew-BoldItalic", "Courier-BoldOblique"},
    {"CourierNew-Italic", "Courier-Oblique"},
    {"CourierNewPS-BoldItalicMT", "Courier-BoldOblique"},
    {"CourierNewPS-BoldMT", "Courier-Bold"},
    {"CourierNewPS-ItalicMT", "Courier-Oblique"},
    {"CourierNewPSMT", "Courier"},
    {"Helvetica,Bold", "Helvetica-Bold"},
    {"Helvetica,BoldItalic", "Helvetica-BoldOblique"},
    {"Helvetica,Italic", "Helvetica-Oblique"},
    {"Helvetica-BoldItalic", "Helvetica-BoldOblique"},
    {"Helvetica-Italic", "Helvetica-Oblique"},
    {"Symbol,Bold", "Symbol"},
    {"Symbol,BoldItalic", "Symbol"},
    {"Symbol,Italic", "Symbol"},
    {"TimesNewRoman", "Times-Roman"},
    {"TimesNewRoman,Bold", "Times-Bold"},
    {"TimesNewRoman,BoldItalic", "Times-BoldItalic"},
    {"TimesNewRoman,Italic", "Times-Italic"},
    {"TimesNewRoman-Bold", "Times-Bold"},
    {"TimesNewRoman-BoldItalic", "Times-BoldItalic"},
    {"TimesNewRoman-Italic", "Times-Italic"},
    {"TimesNewRomanPS", "Times-Roman"},
    {"TimesNewRomanPS-Bold", "Times-Bold"},
    {"TimesNewRomanPS-BoldItalic", "Times-BoldItalic"},
    {"TimesNewRomanPS-BoldItalicMT", "Times-BoldItalic"},
    {"TimesNewRomanPS-BoldMT", "Times-Bold"},
    {"TimesNewRomanPS-Italic", "Times-Italic"},
    {"TimesNewRomanPS-ItalicMT", "Times-Italic"},
    {"TimesNewRomanPSMT", "Times-Roman"},
    {"TimesNewRomanPSMT,Bold", "Times-Bold"},
    {"TimesNewRomanPSMT,BoldItalic", "Times-BoldItalic"},
    {"TimesNewRomanPSMT,Italic", "Times-Italic"},
}};

std::unique_ptr<TqzBuiltInFont> TqzBuiltInFont::MakeBuiltInFont(std::string_view FontName) {
    for (const TStandardMetrics& m : kStandardMetrics) {
        if (m.Name != FontName) continue;
        std::unique_ptr<TqzBuiltInFont> font(new TqzBuiltInFont());
        font->FName = std::string(m.Name);
        font->FAscent = m.Ascent;
        font->FDescent = m.Descent;
        for (size_t i = 0; i < 4; ++i) font->FBBox[i] = m.BBox[i];
        font->FWidths = m.Widths;
        font->FSize = static_cast<int32_t>(m.Widths.size());
        font->FDefaultBaseEnc = m.Encoding;
        font->FEncodingName = std::string(m.Encoding == &StandardEncoding ? FontEncodingNames[0]
                                                                          : FontEncodingNames[5]);
        return font;
    }
    return nullptr;
}

double TqzBuiltInFont::GetWidth(std::string_view AChar) const {
    if (AChar.empty()) return -1;
    auto it = std::lower_bound(FWidths.begin(), FWidths.end(), AChar,
                               [](const TqzBuiltInFontWidths& e, std::string_view n) {
                                   return CompareGlyphNames(e.Character, n) < 0;
                               });
    if (it == FWidths.end() || CompareGlyphNames(it->Character, AChar) != 0) return -1;
    return it->Width;
}

}  // namespace qz::content
