#pragma once
// A font program seen through FreeType: the bytes of an installed system
// font, of a font file or of a stream. The face's names and metrics are read
// once when the processor is made; text is measured and glyph outlines are
// produced on request.
//
// A processor owns its FreeType library, one face kept open for its whole
// life (sized on demand), and the font bytes it was given; it borrows
// nothing. Not for use from two threads at once.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Fonts.h"

namespace qz::platform {
class MemoryStream;
class Stream;
}  // namespace qz::platform

struct FT_LibraryRec_;
struct FT_FaceRec_;

namespace qz::content {

// Font programs held in memory are refused beyond this: the largest CJK
// collections are a few tens of MiB, and a hostile size must not be copied.
inline constexpr int64_t kMaxFontProgramSize = int64_t{64} << 20;

// FreeType's error numbers, so that its results pass on unchanged, and four
// of our own in the gap FreeType leaves at 24..27. FreeType's 24 (an OT-SVG
// document error) never arises: colour glyphs are never asked for.
enum class ErrorCodes : uint8_t {
    Success = 0,
    CannotOpenResource = 0x01,
    UnknownFileFormat = 0x02,
    BrokenFile = 0x03,
    InvalidFreeTypeVersion = 0x04,
    ModuleVersionIsTooLow = 0x05,
    InvalidArgument = 0x06,
    UnimplementedFeature = 0x07,
    BrokenTable = 0x08,
    BrokenOffsetWithinTable = 0x09,
    ArrayTooLarge = 0x0A,
    MissingModule = 0x0B,
    MissingProperty = 0x0C,
    InvalidGlyphIndex = 0x10,
    InvalidCharacterCode = 0x11,
    UnsupportedGlyphImageFormat = 0x12,
    CannotRenderThisGlyphFormat = 0x13,
    InvalidOutline = 0x14,
    InvalidCompositeGlyph = 0x15,
    TooManyHints = 0x16,
    InvalidPixelSize = 0x17,
    InvalidFontObject = 24,           // no font data for a platform font
    NoWindowsCharacterMapFound = 25,  // no character map holds the code
    NotAnOutlineGlyph = 26,
    FaceIndexOutOfBounds = 27,
    InvalidObjectHandle = 0x20,
    InvalidLibraryHandle = 0x21,
    InvalidModuleHandle = 0x22,
    InvalidFaceHandle = 0x23,
    InvalidSizeHandle = 0x24,
    InvalidGlyphSlotHandle = 0x25,
    InvalidCharmapHandle = 0x26,
    InvalidCacheManagerHandle = 0x27,
    InvalidStreamHandle = 0x28,
    TooManyModules = 0x30,
    TooManyExtensions = 0x31,
    OutOfMemory = 0x40,
    UnlistedObject = 0x41,
    CannotOpenStream = 0x51,
    InvalidStreamSeek = 0x52,
    InvalidStreamSkip = 0x53,
    InvalidStreamRead = 0x54,
    InvalidStreamOperation = 0x55,
    InvalidFrameOperation = 0x56,
    NestedFrameAccess = 0x57,
    InvalidFrameRead = 0x58,
    RasterUninitialized = 0x60,
    RasterCorrupted = 0x61,
    RasterOverflow = 0x62,
    NegativeHeightWhileRastering = 0x63,
    TooManyRegisteredCaches = 0x70,
    InvalidOpcode = 0x80,
    TooFewArguments = 0x81,
    StackOverflow = 0x82,
    CodeOverflow = 0x83,
    BadArgument = 0x84,
    DivisionByZero = 0x85,
    InvalidReference = 0x86,
    FoundDebugOpcode = 0x87,
    FoundENDFOpcodeInExecutionStream = 0x88,
    NestedDEFS = 0x89,
    InvalidCodeRange = 0x8A,
    ExecutionContextTooLong = 0x8B,
    TooManyFunctionDefinitions = 0x8C,
    TooManyInstructionDefinitions = 0x8D,
    SFNTFontTableMissing = 0x8E,
    HorizontalHeader_hhea_TableMissing = 0x8F,
    Locations_loca_TableMissing = 0x90,
    NameTableMissing = 0x91,
    CharacterMap_cmap_TableMissing = 0x92,
    HorizontalMetrics_hmtx_TableMissing = 0x93,
    PostScript_post_TableMissing = 0x94,
    InvalidHorizontalMetrics = 0x95,
    InvalidCharacterMap_cmap_Format = 0x96,
    InvalidppemValue = 0x97,
    InvalidVerticalMetrics = 0x98,
    CouldNotFindContext = 0x99,
    InvalidPostScript_post_TableFormat = 0x9A,
    InvalidPostScript_post_Table = 0x9B,
    DEFInGlyfBytecode = 0x9C,
    MissingBitmap = 0x9D,
    MissingSVGHooks = 0x9E,
    OpcodeSyntaxError = 0xA0,
    ArgumentStackUnderflow = 0xA1,
    Ignore = 0xA2,
    NoUnicodeGlyphName = 0xA3,
    GlyphTooBig = 0xA4,
    STARTFONT_FieldMissing = 0xB0,
    FONT_FieldMissing = 0xB1,
    SIZE_FieldMissing = 0xB2,
    FONTBOUNDINGBOX_FieldMissing = 0xB3,
    CHARS_FieldMissing = 0xB4,
    STARTCHAR_FieldMissing = 0xB5,
    ENCODING_FieldMissing = 0xB6,
    BBX_FieldMissing = 0xB7,
    BBXTooBig = 0xB8,
    CorruptedFontHeader = 0xB9,
    CorruptedFontGlyphs = 0xBA,
};

struct TqzRect {
    double Left = 0, Top = 0, Right = 0, Bottom = 0;
};
inline TqzRect qzRect(double Left, double Top, double Right, double Bottom) { return {Left, Top, Right, Bottom}; }

enum class TGlyphType : uint8_t { qzCharacterCode, qzGlyphIndex, qzGlyphName };

// An outline as records: an operation (1 move, 2 line, 3 quadratic, 4 cubic)
// followed by its points as x, y pairs (1, 1, 2 and 3 points), in points at
// the drawing size, y growing downwards from the baseline.
using TqzPointsList = std::vector<double>;
using TqzOnDrawChar = std::function<void(const TqzPointsList& Points, double AdvanceWidth, double AdvanceHeight,
                                         bool EvenOddFill, bool ReverseFill)>;

class TqzFontProcessor {
public:
    // A font file: the face details are read from its first face.
    TqzFontProcessor(const std::filesystem::path& AFileName, int32_t APointSize, int32_t AHorzRes, int32_t AVertRes,
                     ErrorCodes& errorCode);
    // A font program in a stream, copied from its start. The face is opened
    // (an unusable program is reported) but its details are not read.
    TqzFontProcessor(platform::Stream& AStream, int32_t APointSize, int32_t AHorzRes, int32_t AVertRes,
                     ErrorCodes& errorCode);
    // The installed font fontconfig matches to `aFont`, with the face of a
    // collection that fontconfig names.
    TqzFontProcessor(const platform::PlatformFont* aFont, ErrorCodes& ErrorCode);
    ~TqzFontProcessor();
    TqzFontProcessor(const TqzFontProcessor&) = delete;
    TqzFontProcessor& operator=(const TqzFontProcessor&) = delete;

    double get_Ascent() const { return FAscent; }
    double get_Descent() const { return FDescent; }
    int32_t get_FaceCount() const { return FFaceCount; }
    const std::string& get_FamilyName() const { return FFamilyName; }
    const TqzRect& get_GlobalBBox() const { return FBBox; }
    double get_Leading() const { return FLeading; }
    const std::string& get_PostscriptName() const { return FpsName; }
    const std::string& get_StyleName() const { return FstyleName; }
    double get_UnderscorePosition() const { return FunderscorePosition; }
    double get_UnderscoreSize() const { return FunderscoreSize; }
    double get_UnitsPerEm() const { return FunitsPerEm; }
    int32_t get_CharacterMapCount() const { return FCharMapCount; }
    uint32_t get_Flags() const { return FFlag; }
    int32_t get_ItalicAngle() const { return FItalicAngle; }
    double get_StemV() const { return FStemV; }
    double get_CapHeight() const { return FCapHeight; }
    int32_t get_MaxWidth() const { return FMaxWidth; }
    int32_t get_FirstCharCode() const { return FFirstCharCode; }
    int32_t get_LastCharCode() const { return FLastCharCode; }
    int32_t get_GlyphCount() const { return FGlyphCount; }
    int32_t get_FontSize() const { return FFontSize; }
    double get_NextXPos() const { return FNextXPos; }
    void set_NextXPos(double Value) { FNextXPos = Value; }

    double GetGlyphWidth(int32_t Code) const;  // 1/1000 em, 0 outside the computed range
    // Sum of the advances in points at the font size; a character the face
    // cannot show counts 0.
    double GetTextWidth(std::u16string_view AText);
    // Vertical advance of the first character in points at the font size;
    // 0 for an empty text.
    double GetTextHeight(std::string_view AText);
    // The font bytes as a stream (none for a processor over a file).
    platform::MemoryStream* GetFontStream();
    // Switching kerning on or off forgets the previous glyph and the kerning
    // gathered so far.
    void SetUseKerning(bool Value);
    // The glyph of a Unicode character (the Unicode map first, then every
    // map) with its unscaled advance in 1/1000 em; 0 and the missing
    // glyph's advance when no map holds it.
    ErrorCodes GetUnicodeGlyph(uint32_t ACodePoint, uint32_t& AGlyphIndex, double& AAdvance);

    // One glyph, named by code, index or name, into AGlyphPoints; on an
    // error the list is left empty.
    ErrorCodes DecomposeOutlineGlyph(uint32_t ACharCode, uint32_t AGlyphIndex, const std::string& AGlyphName,
                                     int32_t APointSize, TqzPointsList& AGlyphPoints, double& AdvanceWidth,
                                     double& AdvanceHeight, bool& EvenOddFill, bool& ReverseFill,
                                     TGlyphType AGlyphType);
    // The first glyph of AText drawn at (X, Y); X becomes the pen x after it.
    // Codes and indices are the text's UTF-16 units; a name is the whole text.
    ErrorCodes DecomposeOutlineGlyph(std::u16string_view AText, int32_t APointSize, double& X, double Y,
                                     TGlyphType AGlyphType, const TqzOnDrawChar& OnDrawChar);
    // Every glyph of AText, the pen starting and ending in get_NextXPos, y 0.
    // Glyphs that fail are skipped; the first failure is returned.
    ErrorCodes DecomposeOutlineGlyph(std::u16string_view AText, int32_t APointSize, TGlyphType AGlyphType,
                                     const TqzOnDrawChar& OnDrawChar);
    // Every glyph of AText by character code, the pen starting at (X, Y).
    ErrorCodes DecomposeOutlineGlyph(std::u16string_view AText, int32_t APointSize, double X, double Y,
                                     const TqzOnDrawChar& OnDrawChar);

private:
    struct GlyphOutline {
        TqzPointsList Points;
        double AdvanceWidth = 0, AdvanceHeight = 0;
        bool EvenOddFill = false, ReverseFill = false;
    };

    ErrorCodes InitLibrary();
    ErrorCodes InitFace(int32_t faceIndex);
    ErrorCodes OpenFace(int32_t faceIndex);
    void ClearFontDetails();
    void LoadFontDetails();
    void GetGlyphWidths();
    ErrorCodes SetSize(int32_t pointSize);
    ErrorCodes SetCharmap(uint32_t ACharCode, uint32_t& AGlyphIndex);
    ErrorCodes GlyphIndexOf(uint32_t code, uint32_t index, const std::string& name, TGlyphType type,
                            uint32_t& glyphIndex);
    ErrorCodes DecomposeIndex(uint32_t glyphIndex, GlyphOutline& outline);
    ErrorCodes DecomposeAt(uint32_t code, uint32_t index, const std::string& name, TGlyphType type,
                           int32_t pointSize, GlyphOutline& outline);
    double GetCharSize(uint32_t code, bool vertical);
    void ShiftAndDraw(GlyphOutline& outline, double x, double y, bool moveY, const TqzOnDrawChar& OnDrawChar) const;

    double FAscent = 0, FDescent = 0;
    int32_t FCharMapCount = 0;
    int32_t FFaceCount = 0;
    std::filesystem::path FFontFileName;
    std::string FFamilyName, FpsName, FstyleName;
    std::string FFontStreamArray;
    std::unique_ptr<platform::MemoryStream> FFontStream;
    TqzRect FBBox;
    int32_t FGlyphCount = 0;
    double FLeading = 0;
    bool FUseKerning = false;
    double FunderscorePosition = 0, FunderscoreSize = 0;
    double FunitsPerEm = 0;
    int32_t FEncodingType = 0;
    uint32_t FPreviousGlyphIndex = 0;
    std::vector<double> FGlyphWidths;
    int32_t FFirstCharCode = 0, FLastCharCode = 0;
    int32_t FHorzRes = 0, FVertRes = 0;
    double FCapHeight = 0;
    double FStemV = 0;
    int32_t FMaxWidth = 0;
    int32_t FItalicAngle = 0;
    uint32_t FFlag = 0;
    int32_t FFontSize = 0;
    int64_t FCBoxXMin = 0, FCBoxYMin = 0, FCBoxXMax = 0, FCBoxYMax = 0;  // last glyph, whole pixels
    double FNextXPos = 0, FKerningValue = 0;
    FT_LibraryRec_* FlibPtr = nullptr;
    // The one face every question uses, and the size it is set to (-1: none).
    FT_FaceRec_* face_ = nullptr;
    int32_t faceSize_ = -1;
};

}  // namespace qz::content
