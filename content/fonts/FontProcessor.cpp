#include "content/fonts/FontProcessor.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H
#include FT_OUTLINE_H
#include FT_TYPE1_TABLES_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "content/device/ContentOperands.h"
#include "platform/Exception.h"
#include "platform/Rounding.h"
#include "platform/Streams.h"

namespace qz::content {

namespace {

// FreeType scales to at most 65535 pixels per em; at 72 dots per inch a
// point is a pixel.
constexpr int32_t kMaxPointSize = 0xFFFF;

ErrorCodes ToErrorCode(FT_Error error) { return static_cast<ErrorCodes>(FT_ERROR_BASE(error) & 0xFF); }

// Rounds half to even, as every rounding here does.
double RoundEven(double value) { return std::nearbyint(value); }

int32_t AbsoluteSize(int32_t size) { return SaturatedInt32(std::llabs(static_cast<long long>(size))); }

// Code points of UTF-16 text; a lone surrogate stands for itself.
template <typename Visit>
void ForEachCodePoint(std::u16string_view text, Visit visit) {
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            unit = 0x10000 + ((unit - 0xD800) << 10) + (static_cast<uint32_t>(text[i + 1]) - 0xDC00);
            ++i;
        }
        visit(unit);
    }
}

std::string NameOf(std::u16string_view text) {
    std::string name;
    name.reserve(text.size());
    for (const char16_t unit : text) name.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    return name;
}

size_t PointsOfOperation(double op) {
    if (op == 3) return 2;
    if (op == 4) return 3;
    return 1;
}

struct OutlineSink {
    TqzPointsList* points;
    void Add(int32_t op, std::initializer_list<const FT_Vector*> vectors) {
        points->push_back(op);
        for (const FT_Vector* v : vectors) {
            points->push_back(static_cast<double>(v->x) / 64.0);
            points->push_back(-static_cast<double>(v->y) / 64.0);
        }
    }
};

int MoveTo(const FT_Vector* to, void* user) {
    static_cast<OutlineSink*>(user)->Add(1, {to});
    return 0;
}
int LineTo(const FT_Vector* to, void* user) {
    static_cast<OutlineSink*>(user)->Add(2, {to});
    return 0;
}
int ConicTo(const FT_Vector* control, const FT_Vector* to, void* user) {
    static_cast<OutlineSink*>(user)->Add(3, {control, to});
    return 0;
}
int CubicTo(const FT_Vector* control1, const FT_Vector* control2, const FT_Vector* to, void* user) {
    static_cast<OutlineSink*>(user)->Add(4, {control1, control2, to});
    return 0;
}

}  // namespace

TqzFontProcessor::TqzFontProcessor(const std::filesystem::path& AFileName, int32_t APointSize, int32_t AHorzRes,
                                   int32_t AVertRes, ErrorCodes& errorCode) {
    errorCode = InitLibrary();
    if (errorCode != ErrorCodes::Success) return;
    FFontFileName = AFileName;
    FFontSize = AbsoluteSize(APointSize);
    FHorzRes = AHorzRes;
    FVertRes = AVertRes;
    errorCode = InitFace(0);
}

TqzFontProcessor::TqzFontProcessor(platform::Stream& AStream, int32_t APointSize, int32_t AHorzRes,
                                   int32_t AVertRes, ErrorCodes& errorCode) {
    errorCode = InitLibrary();
    if (errorCode != ErrorCodes::Success) return;
    FFontSize = AbsoluteSize(APointSize);
    FHorzRes = AHorzRes;
    FVertRes = AVertRes;
    try {
        const int64_t size = AStream.Size();
        if (size < 0) {
            errorCode = ErrorCodes::InvalidStreamOperation;
            return;
        }
        if (size > kMaxFontProgramSize) {
            errorCode = ErrorCodes::OutOfMemory;
            return;
        }
        FFontStreamArray.resize(static_cast<size_t>(size));
        AStream.SetPosition(0);
        int64_t done = 0;
        while (done < size) {
            const int64_t got = AStream.Read(FFontStreamArray.data() + done, size - done);
            if (got <= 0) break;
            done += got;
        }
        FFontStreamArray.resize(static_cast<size_t>(done));
    } catch (const platform::Exception&) {
        FFontStreamArray.clear();
        errorCode = ErrorCodes::InvalidStreamRead;
        return;
    }
    errorCode = OpenFace(0);
}

TqzFontProcessor::TqzFontProcessor(const platform::PlatformFont* aFont, ErrorCodes& ErrorCode) {
    ErrorCode = ErrorCodes::InvalidFontObject;
    if (aFont == nullptr) return;
    const std::optional<platform::FontFileRef> ref = platform::FindSystemFont(*aFont);
    if (!ref) return;
    try {
        if (std::filesystem::file_size(ref->File) > static_cast<uintmax_t>(kMaxFontProgramSize)) {
            ErrorCode = ErrorCodes::OutOfMemory;
            return;
        }
        FFontStreamArray = platform::ReadFileBytes(ref->File);
    } catch (const std::exception&) {
        return;
    }
    if (FFontStreamArray.empty()) return;
    ErrorCode = InitLibrary();
    if (ErrorCode != ErrorCodes::Success) return;
    FFontSize = AbsoluteSize(aFont->Size);
    ErrorCode = InitFace(ref->Index);
}

TqzFontProcessor::~TqzFontProcessor() {
    if (face_ != nullptr) FT_Done_Face(face_);
    if (FlibPtr != nullptr) FT_Done_FreeType(FlibPtr);
}

ErrorCodes TqzFontProcessor::InitLibrary() {
    if (FT_Init_FreeType(&FlibPtr) != 0) {
        FlibPtr = nullptr;
        return ErrorCodes::InvalidLibraryHandle;
    }
    return ErrorCodes::Success;
}

ErrorCodes TqzFontProcessor::OpenFace(int32_t faceIndex) {
    if (face_ != nullptr) {
        FT_Done_Face(face_);
        face_ = nullptr;
        faceSize_ = -1;
    }
    if (faceIndex < 0) return ErrorCodes::FaceIndexOutOfBounds;
    const bool fromFile = FFontStreamArray.empty();
    if (fromFile && FFontFileName.empty()) return ErrorCodes::CannotOpenResource;
    auto open = [&](FT_Long index, FT_Face* face) {
        if (fromFile) return FT_New_Face(FlibPtr, FFontFileName.c_str(), index, face);
        return FT_New_Memory_Face(FlibPtr, reinterpret_cast<const FT_Byte*>(FFontStreamArray.data()),
                                  static_cast<FT_Long>(FFontStreamArray.size()), index, face);
    };
    // A negative index only counts the faces.
    FT_Face probe = nullptr;
    FT_Error error = open(-1, &probe);
    if (error != 0) return ToErrorCode(error);
    const FT_Long faceCount = probe->num_faces;
    FT_Done_Face(probe);
    // The high half of an index names an instance of a variable font.
    if ((faceIndex & 0xFFFF) >= faceCount) return ErrorCodes::FaceIndexOutOfBounds;
    error = open(faceIndex, &face_);
    if (error != 0) {
        face_ = nullptr;
        return ToErrorCode(error);
    }
    return ErrorCodes::Success;
}

ErrorCodes TqzFontProcessor::InitFace(int32_t faceIndex) {
    ClearFontDetails();
    const ErrorCodes opened = OpenFace(faceIndex);
    if (opened != ErrorCodes::Success) return opened;
    LoadFontDetails();
    return ErrorCodes::Success;
}

void TqzFontProcessor::ClearFontDetails() {
    FFamilyName.clear();
    FpsName.clear();
    FstyleName.clear();
    FAscent = FDescent = FunitsPerEm = FLeading = 0;
    FunderscorePosition = FunderscoreSize = 0;
}

void TqzFontProcessor::LoadFontDetails() {
    FT_Face face = face_;
    if (const char* ps = FT_Get_Postscript_Name(face)) FpsName = ps;
    if (face->style_name != nullptr) FstyleName = face->style_name;
    if (face->family_name != nullptr) FFamilyName = face->family_name;
    FFaceCount = SaturatedInt32(face->num_faces);
    FCharMapCount = face->num_charmaps;

    if (FT_IS_SCALABLE(face) && face->units_per_EM != 0) {
        FunitsPerEm = face->units_per_EM / 1000.0;
        const double u = FunitsPerEm;
        FAscent = RoundEven(face->ascender / u);
        FDescent = RoundEven(face->descender / u);
        FMaxWidth = platform::RoundHalfEven(face->max_advance_width / u);
        FBBox = qzRect(RoundEven(static_cast<double>(face->bbox.xMin) / u),
                       RoundEven(static_cast<double>(face->bbox.yMin) / u),
                       RoundEven(static_cast<double>(face->bbox.xMax) / u),
                       RoundEven(static_cast<double>(face->bbox.yMax) / u));
        FLeading = face->height;
        FunderscorePosition = face->underline_position / 64.0;
        FunderscoreSize = face->underline_thickness / 64.0;
    }

    if (face->charmap == nullptr && face->num_charmaps > 0) FT_Set_Charmap(face, face->charmaps[0]);
    if (face->charmap != nullptr) FEncodingType = static_cast<int32_t>(face->charmap->encoding);
    FGlyphCount = SaturatedInt32(face->num_glyphs);

    GlyphOutline outline;
    FCapHeight = 0;
    if (DecomposeAt('H', 0, {}, TGlyphType::qzCharacterCode, FFontSize, outline) == ErrorCodes::Success)
        FCapHeight = static_cast<double>(FCBoxYMax - FCBoxYMin);
    FStemV = 0;
    if (FunitsPerEm > 0) {
        if (DecomposeAt('1', 0, {}, TGlyphType::qzCharacterCode, FFontSize, outline) == ErrorCodes::Success)
            FStemV = RoundEven(static_cast<double>(FCBoxXMax) / FunitsPerEm -
                               static_cast<double>(FCBoxXMin) / FunitsPerEm);
        else
            FStemV = RoundEven(static_cast<double>(face->bbox.xMax) * 0.15 / FunitsPerEm);
    }

    // Type 1 faces carry the angle in their font info, sfnt faces in `post`.
    PS_FontInfoRec info{};
    if (FT_Get_PS_Font_Info(face, &info) == 0) {
        FItalicAngle = SaturatedInt32(info.italic_angle);
    } else if (const auto* post = static_cast<const TT_Postscript*>(FT_Get_Sfnt_Table(face, FT_SFNT_POST))) {
        FItalicAngle = platform::RoundHalfEven(static_cast<double>(post->italicAngle) / 65536.0);
    }

    FFlag = 2 | 32;
    if (FT_IS_FIXED_WIDTH(face)) FFlag |= 1;
    // Italic faces lean right, which their angle gives as negative.
    if (FItalicAngle != 0) FFlag |= 64;
    PS_PrivateRec priv{};
    if (FT_Get_PS_Font_Private(face, &priv) == 0 && priv.force_bold != 0) FFlag |= 262144;

    GetGlyphWidths();
}

void TqzFontProcessor::GetGlyphWidths() {
    FFirstCharCode = 32;
    FLastCharCode = 255;
    FGlyphWidths.assign(32, 0.0);
    if (FunitsPerEm <= 0) return;
    uint32_t glyph = 0;
    if (SetCharmap(32, glyph) != ErrorCodes::Success) return;
    for (uint32_t code = 32; code <= 255; ++code) {
        if (FT_Load_Glyph(face_, glyph, FT_LOAD_NO_SCALE) == 0) {
            FGlyphWidths.resize(code + 1, 0.0);
            FGlyphWidths[code] = RoundEven(static_cast<double>(face_->glyph->metrics.horiAdvance) / FunitsPerEm);
        }
        // A code that no map holds takes glyph 0, the missing glyph.
        SetCharmap(code + 1, glyph);
    }
}

double TqzFontProcessor::GetGlyphWidth(int32_t Code) const {
    if (Code < FFirstCharCode || Code > FLastCharCode || Code < 0) return 0;
    const auto index = static_cast<size_t>(Code);
    return index < FGlyphWidths.size() ? FGlyphWidths[index] : 0;
}

ErrorCodes TqzFontProcessor::SetSize(int32_t pointSize) {
    if (face_ == nullptr) return ErrorCodes::InvalidFaceHandle;
    if (pointSize > kMaxPointSize) return ErrorCodes::InvalidPixelSize;
    if (pointSize == faceSize_) return ErrorCodes::Success;
    const FT_Error error =
        FT_Set_Char_Size(face_, static_cast<FT_F26Dot6>(pointSize) * 64, static_cast<FT_F26Dot6>(pointSize) * 64, 72, 72);
    if (error != 0) {
        faceSize_ = -1;
        return ToErrorCode(error);
    }
    faceSize_ = pointSize;
    return ErrorCodes::Success;
}

ErrorCodes TqzFontProcessor::SetCharmap(uint32_t ACharCode, uint32_t& AGlyphIndex) {
    AGlyphIndex = 0;
    if (face_ == nullptr) return ErrorCodes::InvalidFaceHandle;
    if (face_->num_charmaps == 0) {
        if (const FT_Error error = FT_Select_Charmap(face_, FT_ENCODING_UNICODE)) return ToErrorCode(error);
    }
    for (FT_Int i = 0; i < face_->num_charmaps; ++i) {
        if (const FT_Error error = FT_Set_Charmap(face_, face_->charmaps[i])) return ToErrorCode(error);
        const FT_UInt index = FT_Get_Char_Index(face_, ACharCode);
        if (index != 0) {
            AGlyphIndex = index;
            return ErrorCodes::Success;
        }
    }
    return ErrorCodes::NoWindowsCharacterMapFound;
}

ErrorCodes TqzFontProcessor::GetUnicodeGlyph(uint32_t ACodePoint, uint32_t& AGlyphIndex, double& AAdvance) {
    AGlyphIndex = 0;
    AAdvance = 0;
    if (face_ == nullptr) return ErrorCodes::InvalidFaceHandle;
    if (FT_Select_Charmap(face_, FT_ENCODING_UNICODE) == 0) AGlyphIndex = FT_Get_Char_Index(face_, ACodePoint);
    ErrorCodes result = ErrorCodes::Success;
    if (AGlyphIndex == 0) result = SetCharmap(ACodePoint, AGlyphIndex);
    if (const FT_Error error = FT_Load_Glyph(face_, AGlyphIndex, FT_LOAD_NO_SCALE)) return ToErrorCode(error);
    const double unitsPerEm = face_->units_per_EM > 0 ? face_->units_per_EM : 1000;
    AAdvance = RoundEven(static_cast<double>(face_->glyph->metrics.horiAdvance) * 1000.0 / unitsPerEm);
    return result;
}

double TqzFontProcessor::GetCharSize(uint32_t code, bool vertical) {
    if (SetSize(FFontSize) != ErrorCodes::Success) return 0;
    uint32_t glyph = 0;
    if (SetCharmap(code, glyph) != ErrorCodes::Success) return 0;
    if (FT_Load_Glyph(face_, glyph, FT_LOAD_DEFAULT) != 0) return 0;
    // The vertical advance is the synthesised one: the slot's advance.y is
    // 0 for a horizontal load.
    const FT_Pos advance = vertical ? face_->glyph->metrics.vertAdvance : face_->glyph->advance.x;
    return RoundEven(static_cast<double>(advance) / 64.0);
}

double TqzFontProcessor::GetTextWidth(std::u16string_view AText) {
    double width = 0;
    ForEachCodePoint(AText, [&](uint32_t code) { width += GetCharSize(code, false); });
    return width;
}

double TqzFontProcessor::GetTextHeight(std::string_view AText) {
    if (AText.empty()) return 0;
    return GetCharSize(static_cast<uint8_t>(AText.front()), true);
}

platform::MemoryStream* TqzFontProcessor::GetFontStream() {
    if (FFontStreamArray.empty()) return nullptr;
    if (!FFontStream) FFontStream = std::make_unique<platform::MemoryStream>(FFontStreamArray);
    return FFontStream.get();
}

void TqzFontProcessor::SetUseKerning(bool Value) {
    FUseKerning = Value;
    FKerningValue = 0;
    FPreviousGlyphIndex = 0;
}

ErrorCodes TqzFontProcessor::GlyphIndexOf(uint32_t code, uint32_t index, const std::string& name, TGlyphType type,
                                          uint32_t& glyphIndex) {
    glyphIndex = 0;
    switch (type) {
        case TGlyphType::qzCharacterCode:
            return SetCharmap(code, glyphIndex);
        case TGlyphType::qzGlyphIndex:
            glyphIndex = index;
            return ErrorCodes::Success;
        case TGlyphType::qzGlyphName:
            glyphIndex = FT_Get_Name_Index(face_, name.c_str());
            return glyphIndex == 0 ? ErrorCodes::NoWindowsCharacterMapFound : ErrorCodes::Success;
    }
    return ErrorCodes::InvalidArgument;
}

ErrorCodes TqzFontProcessor::DecomposeIndex(uint32_t glyphIndex, GlyphOutline& outline) {
    outline = {};
    if (FUseKerning && FPreviousGlyphIndex != 0 && glyphIndex != 0) {
        FT_Vector delta{};
        if (const FT_Error error = FT_Get_Kerning(face_, FPreviousGlyphIndex, glyphIndex, FT_KERNING_DEFAULT, &delta))
            return ToErrorCode(error);
        FKerningValue += static_cast<double>(delta.x) / 64.0;
    }
    FPreviousGlyphIndex = glyphIndex;

    // Outlines are wanted even where a scalable face has bitmaps for this size.
    const FT_Int32 loadFlags = FT_IS_SCALABLE(face_) ? FT_LOAD_NO_BITMAP : FT_LOAD_DEFAULT;
    if (const FT_Error error = FT_Load_Glyph(face_, glyphIndex, loadFlags)) return ToErrorCode(error);
    FT_Glyph glyph = nullptr;
    if (const FT_Error error = FT_Get_Glyph(face_->glyph, &glyph)) return ToErrorCode(error);
    if (glyph->format != FT_GLYPH_FORMAT_OUTLINE) {
        FT_Done_Glyph(glyph);
        return ErrorCodes::NotAnOutlineGlyph;
    }
    FT_BBox box{};
    FT_Glyph_Get_CBox(glyph, FT_GLYPH_BBOX_PIXELS, &box);
    FCBoxXMin = box.xMin;
    FCBoxYMin = box.yMin;
    FCBoxXMax = box.xMax;
    FCBoxYMax = box.yMax;

    FT_Outline* source = &reinterpret_cast<FT_OutlineGlyph>(glyph)->outline;
    FT_Outline_Funcs funcs{};
    funcs.move_to = MoveTo;
    funcs.line_to = LineTo;
    funcs.conic_to = ConicTo;
    funcs.cubic_to = CubicTo;
    OutlineSink sink{&outline.Points};
    const FT_Error error = FT_Outline_Decompose(source, &funcs, &sink);
    const int flags = source->flags;
    FT_Done_Glyph(glyph);
    if (error != 0) {
        outline.Points.clear();
        return ToErrorCode(error);
    }

    if (FKerningValue != 0) {
        for (size_t i = 0; i < outline.Points.size();) {
            const size_t count = PointsOfOperation(outline.Points[i]);
            for (size_t p = 0; p < count && i + 1 + 2 * p < outline.Points.size(); ++p)
                outline.Points[i + 1 + 2 * p] += FKerningValue;
            i += 1 + 2 * count;
        }
    }
    outline.AdvanceWidth = static_cast<double>(face_->glyph->advance.x) / 64.0;
    outline.AdvanceHeight = static_cast<double>(face_->glyph->advance.y) / 64.0;
    outline.EvenOddFill = (flags & FT_OUTLINE_EVEN_ODD_FILL) != 0;
    outline.ReverseFill = (flags & FT_OUTLINE_REVERSE_FILL) != 0;
    return ErrorCodes::Success;
}

ErrorCodes TqzFontProcessor::DecomposeAt(uint32_t code, uint32_t index, const std::string& name, TGlyphType type,
                                         int32_t pointSize, GlyphOutline& outline) {
    outline = {};
    if (const ErrorCodes sized = SetSize(AbsoluteSize(pointSize)); sized != ErrorCodes::Success) return sized;
    uint32_t glyphIndex = 0;
    if (const ErrorCodes found = GlyphIndexOf(code, index, name, type, glyphIndex); found != ErrorCodes::Success)
        return found;
    return DecomposeIndex(glyphIndex, outline);
}

ErrorCodes TqzFontProcessor::DecomposeOutlineGlyph(uint32_t ACharCode, uint32_t AGlyphIndex,
                                                   const std::string& AGlyphName, int32_t APointSize,
                                                   TqzPointsList& AGlyphPoints, double& AdvanceWidth,
                                                   double& AdvanceHeight, bool& EvenOddFill, bool& ReverseFill,
                                                   TGlyphType AGlyphType) {
    GlyphOutline outline;
    const ErrorCodes result = DecomposeAt(ACharCode, AGlyphIndex, AGlyphName, AGlyphType, APointSize, outline);
    AGlyphPoints = std::move(outline.Points);
    if (result != ErrorCodes::Success) AGlyphPoints.clear();
    AdvanceWidth = outline.AdvanceWidth;
    AdvanceHeight = outline.AdvanceHeight;
    EvenOddFill = outline.EvenOddFill;
    ReverseFill = outline.ReverseFill;
    return result;
}

void TqzFontProcessor::ShiftAndDraw(GlyphOutline& outline, double x, double y, bool moveY,
                                    const TqzOnDrawChar& OnDrawChar) const {
    TqzPointsList& points = outline.Points;
    for (size_t i = 0; i < points.size();) {
        const size_t count = PointsOfOperation(points[i]);
        for (size_t p = 0; p < count && i + 2 + 2 * p < points.size(); ++p) {
            points[i + 1 + 2 * p] += x;
            if (moveY) points[i + 2 + 2 * p] += y;
        }
        i += 1 + 2 * count;
    }
    if (OnDrawChar)
        OnDrawChar(points, outline.AdvanceWidth, outline.AdvanceHeight, outline.EvenOddFill, outline.ReverseFill);
}

ErrorCodes TqzFontProcessor::DecomposeOutlineGlyph(std::u16string_view AText, int32_t APointSize, double& X, double Y,
                                                   TGlyphType AGlyphType, const TqzOnDrawChar& OnDrawChar) {
    if (AText.empty()) return ErrorCodes::Success;
    uint32_t first = AText.front();
    if (AGlyphType == TGlyphType::qzCharacterCode) {
        bool seen = false;
        ForEachCodePoint(AText.substr(0, 2), [&](uint32_t code) {
            if (!seen) first = code;
            seen = true;
        });
    }
    GlyphOutline outline;
    const ErrorCodes result = DecomposeAt(first, first, NameOf(AText), AGlyphType, APointSize, outline);
    if (result != ErrorCodes::Success) return result;
    ShiftAndDraw(outline, X, Y, true, OnDrawChar);
    X += outline.AdvanceWidth;
    return ErrorCodes::Success;
}

ErrorCodes TqzFontProcessor::DecomposeOutlineGlyph(std::u16string_view AText, int32_t APointSize,
                                                   TGlyphType AGlyphType, const TqzOnDrawChar& OnDrawChar) {
    ErrorCodes firstError = ErrorCodes::Success;
    auto draw = [&](uint32_t code) {
        GlyphOutline outline;
        const ErrorCodes result = DecomposeAt(code, code, NameOf(AText), AGlyphType, APointSize, outline);
        if (result != ErrorCodes::Success) {
            if (firstError == ErrorCodes::Success) firstError = result;
            return;
        }
        ShiftAndDraw(outline, FNextXPos, 0, false, OnDrawChar);
        FNextXPos += outline.AdvanceWidth;
    };
    if (AGlyphType == TGlyphType::qzGlyphName) {
        if (!AText.empty()) draw(0);
    } else if (AGlyphType == TGlyphType::qzGlyphIndex) {
        for (const char16_t unit : AText) draw(unit);
    } else {
        ForEachCodePoint(AText, draw);
    }
    return firstError;
}

ErrorCodes TqzFontProcessor::DecomposeOutlineGlyph(std::u16string_view AText, int32_t APointSize, double X, double Y,
                                                   const TqzOnDrawChar& OnDrawChar) {
    ErrorCodes firstError = ErrorCodes::Success;
    ForEachCodePoint(AText, [&](uint32_t code) {
        GlyphOutline outline;
        const ErrorCodes result = DecomposeAt(code, 0, {}, TGlyphType::qzCharacterCode, APointSize, outline);
        if (result != ErrorCodes::Success) {
            if (firstError == ErrorCodes::Success) firstError = result;
            return;
        }
        ShiftAndDraw(outline, X, Y, true, OnDrawChar);
        X += outline.AdvanceWidth;
    });
    return firstError;
}

}  // namespace qz::content
