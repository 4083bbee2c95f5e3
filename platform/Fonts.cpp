#include "platform/Fonts.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/CodePage.h"
#include "platform/Rounding.h"

namespace qz::platform {

namespace {

// Faces kept open per thread: measuring is asked once per field or text
// run, and opening a face each time costs far more than the measurement.
constexpr size_t kMaxOpenFaces = 8;

struct FaceCache {
    FT_Library library = nullptr;
    std::map<std::pair<std::string, TFontStyles>, std::optional<FontFileRef>> matches;
    std::vector<std::pair<FontFileRef, FT_Face>> faces;  // most recently used last

    FaceCache() {
        if (FT_Init_FreeType(&library) != 0) library = nullptr;
    }
    ~FaceCache() {
        for (auto& entry : faces) FT_Done_Face(entry.second);
        if (library != nullptr) FT_Done_FreeType(library);
    }
    FaceCache(const FaceCache&) = delete;
    FaceCache& operator=(const FaceCache&) = delete;
};

FaceCache& ThreadCache() {
    thread_local FaceCache cache;
    return cache;
}

std::optional<FontFileRef> MatchFont(const PlatformFont& font) {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] { ready = FcInit() == FcTrue; });
    if (!ready) return std::nullopt;

    FcPattern* pattern = FcPatternCreate();
    if (pattern == nullptr) return std::nullopt;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(font.Name.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, (font.Style & fsBold) != 0 ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, (font.Style & fsItalic) != 0 ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (match == nullptr) return std::nullopt;

    std::optional<FontFileRef> found;
    FcChar8* file = nullptr;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file != nullptr) {
        int index = 0;
        if (FcPatternGetInteger(match, FC_INDEX, 0, &index) != FcResultMatch) index = 0;
        found = FontFileRef{std::filesystem::path(reinterpret_cast<const char*>(file)), index};
    }
    FcPatternDestroy(match);
    return found;
}

// The open face of `font`, or null; owned by the thread's cache.
FT_Face OpenFace(const PlatformFont& font) {
    FaceCache& cache = ThreadCache();
    if (cache.library == nullptr) return nullptr;
    const std::optional<FontFileRef> ref = FindSystemFont(font);
    if (!ref) return nullptr;
    for (size_t i = 0; i < cache.faces.size(); ++i) {
        if (cache.faces[i].first.File == ref->File && cache.faces[i].first.Index == ref->Index) {
            std::rotate(cache.faces.begin() + static_cast<std::ptrdiff_t>(i),
                        cache.faces.begin() + static_cast<std::ptrdiff_t>(i) + 1, cache.faces.end());
            return cache.faces.back().second;
        }
    }
    FT_Face face = nullptr;
    if (FT_New_Face(cache.library, ref->File.c_str(), ref->Index, &face) != 0) return nullptr;
    if (cache.faces.size() >= kMaxOpenFaces) {
        FT_Done_Face(cache.faces.front().second);
        cache.faces.erase(cache.faces.begin());
    }
    cache.faces.emplace_back(*ref, face);
    return face;
}


}  // namespace

std::optional<FontFileRef> FindSystemFont(const PlatformFont& font) {
    FaceCache& cache = ThreadCache();
    const auto key = std::make_pair(font.Name, static_cast<TFontStyles>(font.Style & (fsBold | fsItalic)));
    const auto it = cache.matches.find(key);
    if (it != cache.matches.end()) return it->second;
    std::optional<FontFileRef> found = MatchFont(font);
    cache.matches.emplace(key, found);
    return found;
}

TextExtent MeasureText(const PlatformFont& font, std::string_view text1252) {
    FT_Face face = OpenFace(font);
    if (face == nullptr) return {};
    // Sizes beyond what FreeType scales to are clamped rather than refused.
    constexpr int64_t kMaxPointSize = 16384;
    const int64_t points = std::min<int64_t>(std::abs(static_cast<int64_t>(font.Size)), kMaxPointSize);
    if (FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(points * 64), kScreenDpi, kScreenDpi) != 0) return {};

    int64_t width = 0;  // 26.6
    for (const char c : text1252) {
        const char16_t unicode = CodePageToUnicode(static_cast<uint8_t>(c));
        const FT_UInt glyph = FT_Get_Char_Index(face, unicode);
        if (FT_Load_Glyph(face, glyph, FT_LOAD_DEFAULT) != 0) continue;
        width += face->glyph->advance.x;
    }
    TextExtent extent;
    extent.Width = RoundHalfEven(static_cast<double>(width) / 64.0);
    extent.Height = RoundHalfEven(
        static_cast<double>(face->size->metrics.ascender - face->size->metrics.descender) / 64.0);
    return extent;
}

FontTraits GetFontTraits(const PlatformFont& font) {
    FontTraits traits;
    FT_Face face = OpenFace(font);
    if (face == nullptr) return traits;
    traits.FixedPitch = FT_IS_FIXED_WIDTH(face);
    traits.Italic = (face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;

    bool hasSymbolMap = false, hasUnicodeMap = false;
    for (FT_Int i = 0; i < face->num_charmaps; ++i) {
        const FT_CharMap map = face->charmaps[i];
        if (map->platform_id != 3) continue;
        if (map->encoding_id == 0) hasSymbolMap = true;
        if (map->encoding_id == 1 || map->encoding_id == 10) hasUnicodeMap = true;
    }
    traits.SymbolCharset = hasSymbolMap && !hasUnicodeMap;

    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 == nullptr) return traits;
    if (os2->version != 0xFFFF && (os2->ulCodePageRange1 & 0x80000000u) != 0) traits.SymbolCharset = true;
    // The IBM family class decides when it is set; PANOSE otherwise.
    const int32_t familyClass = (os2->sFamilyClass >> 8) & 0xFF;
    // Symbol faces with a Unicode map (the URW ones) say so only here.
    const uint8_t kind = os2->panose[0], serifStyle = os2->panose[1];
    if (familyClass != 0) {
        traits.Serif = (familyClass >= 1 && familyClass <= 5) || familyClass == 7;
        traits.Script = familyClass == 10;
        if (familyClass == 12) traits.SymbolCharset = true;
    } else {
        traits.Serif = kind == 2 && serifStyle >= 2 && serifStyle <= 10;
        traits.Script = kind == 3;
    }
    if (kind == 5) traits.SymbolCharset = true;
    return traits;
}

}  // namespace qz::platform

#if defined(__SANITIZE_ADDRESS__)
// fontconfig loses a few blocks while it parses its configuration, once per
// process; they are none of ours, and a leak report must point at our code.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif
