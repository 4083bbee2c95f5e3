#pragma once
// TqzPD8bitFont: a simple font, one byte per character. The reader works
// out a font dictionary's name, standard metrics, encoding, widths and
// ToUnicode map and decodes shown strings character by character; the
// writer takes a TqzFont's metrics from the standard tables or from a font
// processor and writes a TrueType font dictionary with its descriptor.
//
// Ownership as TqzPDFont; the writer also owns its font processor.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "content/fonts/PDFont.h"

namespace qz::content {

class TqzBuiltInFont;
class TqzFont;

class TqzPD8bitFont : public TqzPDFont {
public:
    // The reader over the font dictionary `ABaseObject`.
    TqzPD8bitFont(document::TqzPDDocument* AParentDoc, core::TqzPDElement* AParentElement,
                  core::TqzPDBaseObject* ABaseObject, std::string ATag, std::string AName, TqzPDFontType AFontType);
    // The writer from `AObject`, which stays the caller's.
    TqzPD8bitFont(document::TqzPDDocument* AParentDoc, core::TqzPDElement* AParentElement, const TqzFont& AObject);
    ~TqzPD8bitFont() override;

    // A new reader over the same dictionary.
    std::unique_ptr<TqzPD8bitFont> Clone() const;

    void CreateFontDict() override;
    // Writes `AStream` as the /FontFile2 program of the descriptor `AFDDict`
    // and keeps a copy as the embedded program.
    void EmbedFontFile(core::TqzPDDictionary& AFDDict, platform::Stream& AStream);

    int32_t GetNextChar(const std::string& aStr, size_t Index, int32_t& Processed, uint32_t& Code,
                        std::string& CharName, double& Dx, double& Dy, double& Ox, double& Oy) override;
    double GetCharWidth(uint32_t ACharCode) override { return GetWidth(static_cast<int32_t>(ACharCode)); }
    // Reader: the width of a code in text-space units (0 outside 0..255).
    double GetWidth(int32_t Code) const;
    using TqzPDFont::GetWidth;
    // The glyph name of a code, empty for none.
    const std::string& GetEncoding(int32_t Index) const;
    bool IsMacRomanEnc() const { return FUsesMacRomanEnc; }
    bool HasEncoding() const { return FHasEncoding; }
    bool HasDifferences() const { return FHasDifferences; }
    std::string GetCharName() const { return {}; }
    // The character spacing that makes `AText` written with the table widths
    // as wide as measured; 0 when it already is.
    double GetPDFCharSpacing(std::string_view AText, const platform::PlatformFont& AFont);

private:
    void ReadEncoding(const core::TqzPDDictionary& dict, const TqzBuiltInFont* standard);
    void ReadWidths(const core::TqzPDDictionary& dict, const TqzBuiltInFont* standard);

    bool FHasEncoding = false;
    bool FHasDifferences = false;
    bool FUsesMacRomanEnc = false;
    std::array<double, 256> FWidths{};
};

}  // namespace qz::content
