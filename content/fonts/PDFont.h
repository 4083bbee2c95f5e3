#pragma once
// TqzPDFont: the base of every PDF font model (simple fonts in PD8bitFont.h,
// composite fonts in PDCIDFont.h). It wraps one font dictionary and holds
// what all font kinds share: type, names, flags, metrics, box, the embedded
// font program, the ToUnicode map and a Type 3 font's resources. MakeFont
// picks the class from the dictionary's /Subtype.
//
// A font borrows its dictionary, document and parent element. It owns its
// matrix, box, decoded font program, ToUnicode parser and the resources it
// made itself (not those handed in with SetResources).

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

#include "content/fonts/FontProcessor.h"
#include "core/PDMatrix.h"
#include "core/PDRect.h"
#include "document/ContentFactories.h"
#include "platform/Fonts.h"
#include "platform/Rounding.h"
#include "platform/Streams.h"

namespace qz::core {
class TqzPDDictionary;
}  // namespace qz::core

namespace qz::document {
class TqzPDResource;
}  // namespace qz::document

namespace qz::content {

class TqzPDCMapParser;
class TqzFont;

enum class TqzPDFontType : uint8_t {
    UnknowType,
    Type1,
    Type1C,
    Type1COT,
    Type3,
    TrueType,
    TrueTypeOT,
    CIDType0,
    CIDType0C,
    CIDType0COT,
    CIDType2,
    CIDType2OT
};
enum class TqzPDFontEncoding : uint8_t {
    feBuiltInEncoding,
    feMacRomanEncoding,
    feMacExpertEncoding,
    feWinAnsiEncoding,
    feStandardEncoding,
    fePDFDocEncoding,
    feNone
};
enum class TqzWritingMode : uint8_t { wmHorizontal, wmVertical };
enum class TqzPDFFontEmbeddingType : uint8_t { etNone, etFull, etSubset };

// Font metrics from a file (glyph units) are clamped to this magnitude: no
// real font comes near a hundred em, and positions computed from larger
// values would overflow wherever a device turns them into integers.
inline constexpr double kMaxGlyphUnits = 100000.0;

using platform::RoundHalfEven;
// A file's integer in int32_t, saturated.
int32_t SaturateInt32(int64_t value);
// A metric in glyph units from a file, NaN as 0, clamped to kMaxGlyphUnits.
double ClampGlyphUnits(double value);

class TqzPDFont : public document::TqzPDFont {
public:
    TqzPDFont(document::TqzPDDocument* AParentDoc, core::TqzPDElement* AParentElement,
              core::TqzPDBaseObject* ABaseObject, std::string ATag, std::string AName);
    ~TqzPDFont() override;
    TqzPDFont(const TqzPDFont&) = delete;
    TqzPDFont& operator=(const TqzPDFont&) = delete;

    // Writes a font made for writing into the document; nothing when the
    // font already wraps a dictionary.
    virtual void CreateFontDict() = 0;
    virtual bool IsCIDFont() const { return false; }
    virtual TqzWritingMode WritingMode() const { return TqzWritingMode::wmHorizontal; }
    // Decodes the character that starts at byte `Index` (0-based) of `aStr`:
    // `Processed` bytes used (at least 1 whenever Index is inside the
    // string), its code, glyph name, displacement per unit of font size
    // (glyph units for Type 3 fonts) and offset. 1 when a character was
    // produced.
    virtual int32_t GetNextChar(const std::string& aStr, size_t Index, int32_t& Processed, uint32_t& Code,
                                std::string& CharName, double& Dx, double& Dy, double& Ox, double& Oy) = 0;
    virtual double GetCharWidth(uint32_t /*ACharCode*/) { return 0; }

    // Reads the font descriptor of `FontDict`; descriptor values override
    // whatever the reader set before.
    void ReadFontDescriptor(core::TqzPDDictionary* FontDict);

    // The decoded embedded font program, read on first call; none without a
    // program, when it does not decode or when it exceeds kMaxFontProgramSize
    // (a few bytes of Flate must not inflate into gigabytes).
    platform::MemoryStream* GetEmbeddedFontStream();
    // Replaces the held program with all of `AValue`; the caller keeps it.
    void SetEmbeddedFontStream(platform::Stream& AValue);
    // External font files are never looked for: always none.
    platform::Stream* GetExtFontStream() const { return nullptr; }
    // A Type 3 font's /Resources, made on first call; none without them.
    document::TqzPDResource* GetResources();
    // Uses resources owned elsewhere from now on.
    void SetResources(document::TqzPDResource* Value);
    const TqzPDCMapParser* GetToUnicode() const { return FToUnicode.get(); }

    bool IsFixedWidth() const { return (FFlags & 1u) != 0; }
    bool IsSerif() const { return (FFlags & 2u) != 0; }
    bool IsSymbolic() const { return (FFlags & 4u) != 0; }
    bool IsItalic() const { return FIsItalic || (FFlags & 64u) != 0; }
    bool IsBold() const { return FIsBold || (FFlags & 262144u) != 0; }
    bool Matches(std::string_view aTag) const { return FTag == aTag; }
    void SetTag(std::string AValue) { FTag = std::move(AValue); }

    TqzPDFontType GetFontType() const { return FFontType; }
    TqzPDFFontEmbeddingType GetEmbeddingType() const { return FEmbeddingType; }
    uint32_t GetFlags() const { return FFlags; }
    double GetAscent() const { return FAscent; }
    double GetDescent() const { return FDescent; }
    int32_t GetMissingWidth() const { return FMissingWidth; }
    int32_t GetItalicAngle() const { return FItalicAngle; }
    // Absent until a reader or writer made them.
    const core::TqzPDRect* GetFontBox() const { return FFontBox.get(); }
    const core::TqzPDMatrix* GetFontMatrix() const { return FFontMatrix.get(); }
    const std::string& GetName() const { return FName; }
    const std::string& GetEmbeddedFontName() const { return FEmbeddedFontName; }
    const std::string& GetOrginalName() const { return FOrginalName; }
    const std::string& GetBaseEncoding() const { return FBaseEncoding; }
    bool HasEmbeddedProgram() const { return FEmbeddedFontObjNumber != 0; }
    // The wrapped dictionary, or none.
    core::TqzPDDictionary* GetFontDict() const;

    // Pixel extent of the 8-bit `Text` in the platform font `AFont` at
    // screen resolution; the writers measure with it when no font program
    // can.
    static platform::TextExtent TextSize(std::string_view Text, const platform::PlatformFont& AFont);

    // ---- measuring for the writers ----
    // Descriptor flags of the system font that stands for `AFont`: 1 fixed
    // pitch, 2 serif, 4 symbolic (else 32), 8 script, 64 italic.
    static uint32_t GetFontFlag(const platform::PlatformFont& AFont);
    // Width and height of the 8-bit `AText` in points: through this font's
    // processor when it was made without error, else from the screen extent.
    double GetWidth(std::string_view AText, const platform::PlatformFont& AFont);
    double GetHeight(std::string_view AText, const platform::PlatformFont& AFont);
    // The result of making this font's processor (each font keeps its own).
    ErrorCodes GetErrorCode() const { return FErrorCode; }
    TqzFontProcessor* GetFontProcessor() const { return FFontProcObj.get(); }
    const std::string& GetFontEncoding() const { return FFontEncoding; }
    // Writer: width of each code in glyph units.
    double GetCharWidthInGlyphUnits(int32_t Code) const;
    int32_t GetFirstCharCode() const { return FFirstCharCode; }
    int32_t GetLastCharCode() const { return FLastCharCode; }

protected:
    // Steps a writer of either kind takes from the font record: the font
    // program, the encoding name, and metrics from the standard tables or
    // from a font processor (per-code widths only with `glyphWidths`).
    void SetUpWriter(const TqzFont& AObject, bool glyphWidths);
    // Enters `object` in the base document's table under the next object
    // number; borrowed back. None without a document.
    core::TqzPDBaseObject* AddNewObject(std::unique_ptr<core::TqzPDBaseObject> object) const;
    // Writes `program` as a new stream object (/Length1 its size) and
    // puts a reference to it under `key` of the descriptor.
    void WriteFontProgram(core::TqzPDDictionary& descriptor, std::string_view key, const std::string& program,
                          std::string_view subtype = {}) const;
    // The descriptor entries both writers write.
    std::unique_ptr<core::TqzPDDictionary> MakeDescriptor() const;

    // Parses a /ToUnicode stream of `dict` into FToUnicode.
    void ReadToUnicode(const core::TqzPDDictionary& dict);
    // The base document's object of that number, or none.
    core::TqzPDBaseObject* DocumentObject(uint32_t objNumber) const;

    bool FResourcesInherited = false;
    std::unique_ptr<document::TqzPDResource> FOwnedResources;
    document::TqzPDResource* FResources = nullptr;
    std::string FBaseEncoding;
    TqzPDFontType FFontType = TqzPDFontType::UnknowType;
    std::unique_ptr<core::TqzPDMatrix> FFontMatrix;
    double FDescent = 0;
    std::unique_ptr<core::TqzPDRect> FFontBox;
    std::string FEmbeddedFontName;
    std::unique_ptr<platform::MemoryStream> FEmbeddedFontStream;
    bool FEmbeddedFontRead = false;
    double FAscent = 0;
    std::string FOrginalName;
    uint32_t FFlags = 0;
    int32_t FMissingWidth = 0;
    // Object number of the embedded program's stream; 0 without one.
    uint32_t FEmbeddedFontObjNumber = 0;
    bool FIsBold = false;
    bool FIsItalic = false;
    int32_t FItalicAngle = 0;
    TqzPDFFontEmbeddingType FEmbeddingType = TqzPDFFontEmbeddingType::etNone;
    std::unique_ptr<TqzPDCMapParser> FToUnicode;

    // Writer fields.
    platform::PlatformFont FPlatformFont;
    std::array<std::string, 256> FEncoding;
    double FStemV = 0;
    double FUnderscorePosition = 0;
    double FUnderscoreSize = 0;
    std::string FFontEncoding;
    std::unique_ptr<TqzFontProcessor> FFontProcObj;
    ErrorCodes FErrorCode{};
    std::array<double, 256> FCharWidths{};
    int32_t FFirstCharCode = 0;
    int32_t FLastCharCode = 0;
};

// The font model for `AFontDict`, owned by the caller; none for no
// dictionary or one without a /Subtype name.
std::unique_ptr<TqzPDFont> MakeFont(document::TqzPDDocument* AParentDoc, document::TqzPDResource* AResource,
                                    const std::string& ATag, core::TqzPDBaseObject* AFontDict);

}  // namespace qz::content
