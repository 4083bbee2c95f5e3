#pragma once
// TqzPDCIDFont: a composite (Type 0) font. The reader resolves the first
// descendant's encoding CMap, widths, CID-to-glyph map and ToUnicode map
// and decodes shown strings; the writer writes a Type 0 font with the
// Identity-H encoding, one descendant carrying the font program, a
// descriptor and a ToUnicode stream. Glyphs recorded for text written with
// such a font (ProcessUniscribe) complete its /W and ToUnicode map at save
// (Update).
//
// Ownership as TqzPDFont; the reader also owns its CMap and glyph map. The
// glyphs recorded for a font written into a document belong to that
// document (TqzFontRecordings), so that every font object over the same
// dictionary, whichever resources made it, records into and writes from
// one place.

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "content/fonts/PDFont.h"

namespace qz::content {

class TqzFont;
class TqzPDCMap;

struct TCIDWidthExcep {
    // CIDs are kept whole: a CID above 65535 must not land on another.
    uint32_t First = 0;
    uint32_t Last = 0;
    double Width = 0;
};

struct TCIDWidths {
    double DefWidth = 1;
    // Default vertical advance (positive: down the line, as the widths).
    double DefHeight = 1;
    double DefVY = 0;
    std::vector<TCIDWidthExcep> Exceps;
};

// Most width exceptions read from one /W array; a font has at most 65536
// CIDs, so more only serve to slow every width look-up.
inline constexpr size_t kMaxCIDWidthExceptions = 65536;

// One glyph of a shaped text run.
struct TqzCIDGlyph {
    uint16_t GlyphIndex = 0;
    // Advance in glyph units (1/1000 em), the unit of /W.
    int32_t Advance = 0;
    // Index in the run's text of the first UTF-16 unit of the glyph's
    // cluster.
    int32_t Cluster = 0;
};

// What one written font used: per glyph index its width and text.
struct TqzCIDGlyphUse {
    int32_t Width = 0;
    std::u16string Text;
};
using TqzCIDGlyphRecord = std::map<uint16_t, TqzCIDGlyphUse>;

// The glyph records of the composite fonts written into one document, by
// the object number of their Type 0 dictionary; held by the document.
class TqzFontRecordings : public core::TqzObject {
public:
    std::unordered_map<uint32_t, TqzCIDGlyphRecord> Fonts;
};

// Screen pixels to points, rounded half to even.
int32_t ConvertPixelToPoints(double Value);

class TqzPDCIDFont : public TqzPDFont {
public:
    // The reader over the Type 0 dictionary `ABaseObject`.
    TqzPDCIDFont(document::TqzPDDocument* AParentDoc, core::TqzPDElement* AParentElement,
                 core::TqzPDBaseObject* ABaseObject, std::string ATag, std::string AName);
    // The writer from `AObject`, which stays the caller's.
    TqzPDCIDFont(document::TqzPDDocument* AParentDoc, core::TqzPDElement* AParentElement, const TqzFont& AObject);
    ~TqzPDCIDFont() override;

    bool IsCIDFont() const override { return true; }
    TqzWritingMode WritingMode() const override;
    int32_t GetNextChar(const std::string& aStr, size_t Index, int32_t& Processed, uint32_t& Code,
                        std::string& CharName, double& Dx, double& Dy, double& Ox, double& Oy) override;
    double GetCharWidth(uint32_t ACharCode) override;
    void CreateFontDict() override;
    // Writes the recorded glyphs' ToUnicode map and widths into the font's
    // dictionaries; nothing when none were recorded.
    void Update() override;

    // Records the glyphs of one shaped run of `AText`: each glyph index
    // once, with its width and the text of its cluster.
    void ProcessUniscribe(std::u16string_view AText, const platform::PlatformFont& AFont,
                          std::span<const TqzCIDGlyph> ACIDGlyphList);
    // Shapes `AText` one character to one glyph through the font's embedded
    // program (no ligatures, no reordering), records the glyphs and returns
    // the string of two-byte glyph indices to show; empty without a
    // program.
    std::string RecordText(std::u16string_view AText);

    const TqzPDCMap* GetCMap() const { return FCMap.get(); }
    const std::vector<uint16_t>& GetCIDToGID() const { return FCIDToGID; }
    const TCIDWidths& GetWidths() const { return FWidths; }
    std::string GetCollection() const { return {}; }
    // The glyphs recorded for this font; none before the first.
    const TqzCIDGlyphRecord* GetRecord() const;

private:
    double WidthOf(uint32_t cid, double fallback) const;
    void ReadWidths(const core::TqzPDBaseObject* w);
    TqzCIDGlyphRecord& Record();

    std::unique_ptr<TqzPDCMap> FCMap;
    TCIDWidths FWidths;
    std::vector<uint16_t> FCIDToGID;
    // The record of a font outside a document, or not yet written.
    TqzCIDGlyphRecord FOwnRecord;
};

}  // namespace qz::content
