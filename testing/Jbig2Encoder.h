#pragma once
// A test-only JBIG2 encoder producing the embedded organisation that PDF
// uses: no file header, each segment a header followed by its data, the
// segments with page association 0 in a separate globals stream
// (/JBIG2Globals). Tests compose segments freely through Jbig2Writer; each
// method codes one segment and returns its segment number. The writer owns
// the bytes it produced and copies of the bitmaps that later segments refer
// to (exported symbols, patterns, intermediate regions).
//
// Every stream made here is meant to be checked with jbig2dec
// (DecodeWithJbig2dec) against the bitmap the test drew. jbig2dec 0.19
// cannot check some well-formed streams this writer makes, so tests that
// need jbig2dec's word avoid them:
// - refinement in Huffman-coded text regions and dictionaries (it does not
//   decode the refinement data), Huffman-coded aggregate symbols (it reads a
//   symbol-ID code table there), and Huffman text regions with refinement
//   template 0 (it skips their AT bytes);
// - refined parts of aggregate symbols with refinement template 0 (it uses
//   AT pixels (0, 0));
// - intermediate generic regions (not implemented there): refine an
//   intermediate text region instead;
// - refinement of the page anywhere but at (0, 0) (it takes the reference
//   from the page's corner);
// - halftone regions with default pixel 1 (it fills them with 0x01 bytes);
// - more than four referred-to segments unless the count is 7, 15, 23, ...
//   (it reads floor((count + 1) / 8) retention bytes);
// - pages of unknown height: it ends them below the lowest region, not
//   after the last end-of-stripe row.

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "testing/Jbig2Bitmap.h"

namespace qz::testing {

// How a region segment is used: placed on the page now (types 38/39,
// 6/7, ...) or kept for a later refinement region (36, 4, ...).
enum class Jbig2RegionUse : uint8_t { Immediate, ImmediateLossless, Intermediate };

// An adaptive template pixel, as an offset from the pixel being coded.
struct Jbig2At {
    int32_t x = 0;
    int32_t y = 0;
};

// Reference corners of text regions, numbered by their stored codes.
enum class Jbig2Corner : uint8_t { BottomLeft = 0, TopLeft = 1, BottomRight = 2, TopRight = 3 };

constexpr uint32_t kJbig2UnknownHeight = 0xFFFFFFFFu;

struct Jbig2PageInfo {
    uint32_t width = 0;
    uint32_t height = 0;  // kJbig2UnknownHeight: ended by the last end-of-stripe
    uint32_t xResolution = 0;  // pixels per metre; 0 unknown
    uint32_t yResolution = 0;
    bool defaultPixel = false;
    Jbig2Combine defaultOperator = Jbig2Combine::Or;  // Or to Xnor
    bool operatorOverrideAllowed = false;  // needed for region operators other than the default
    bool auxiliaryBuffers = false;
    bool mightContainRefinements = false;
    bool lossless = true;
    bool striped = false;
    uint16_t maxStripeSize = 0;  // 0 to 32767
};

// Where and how a region lands on the page.
struct Jbig2Placement {
    int32_t x = 0;
    int32_t y = 0;
    Jbig2Combine op = Jbig2Combine::Or;  // the region's external operator
    Jbig2RegionUse use = Jbig2RegionUse::Immediate;
};

struct Jbig2GenericOptions {
    int32_t gbTemplate = 0;  // 0 to 3
    bool tpgdon = false;     // typical prediction: rows equal to the one above cost one decision
    bool mmr = false;        // two-dimensional (G4) coding instead of arithmetic
    bool mmrEndOfBlock = false;  // end the MMR data with an end-of-block code
    // AT pixels A1.. (4 for template 0, 1 otherwise); empty: nominal positions.
    // Each must point at a pixel coded before: y < 0, or y == 0 and x < 0.
    std::vector<Jbig2At> at;
};

struct Jbig2RefinementOptions {
    int32_t grTemplate = 0;  // 0 or 1
    bool tpgron = false;     // typical prediction against the reference
    // Template 0 only: A1 on the new bitmap, A2 on the reference.
    std::array<Jbig2At, 2> at{{{-1, -1}, {-1, -1}}};
};

// One symbol instance of a text region (or of an aggregate symbol).
struct Jbig2TextInstance {
    int32_t symbol = 0;  // index into the symbols the region sees
    int32_t x = 0;       // top-left corner of the instance bitmap in the region
    int32_t y = 0;
    // Refined instance: `refined` (any size) is coded as a refinement of the
    // symbol; rdx/rdy are the stored offsets RDX/RDY (the reference sits at
    // floor((refined width - symbol width) / 2) + rdx, likewise for y).
    bool refine = false;
    Jbig2Bitmap refined;
    int32_t rdx = 0;
    int32_t rdy = 0;
};

// A new symbol of a symbol dictionary. Without refinement/aggregate coding
// only `bitmap` counts. With it, `parts` says how the symbol is made: one
// part refines parts[0].symbol into `bitmap` with reference offsets
// (parts[0].rdx, parts[0].rdy) (x/y unused); several parts are an aggregate
// whose instances (top-left placed, optionally refined) OR together into
// `bitmap`. Symbol indices count the imported symbols first, then the new
// symbols before this one.
struct Jbig2NewSymbol {
    Jbig2Bitmap bitmap;
    std::vector<Jbig2TextInstance> parts;
};

struct Jbig2SymbolDictOptions {
    bool huffman = false;  // standard Huffman tables instead of arithmetic coding
    int32_t sdTemplate = 0;  // arithmetic: generic template of each symbol
    std::vector<Jbig2At> at;  // empty: nominal positions
    bool refineAggregate = false;  // every new symbol comes from `parts`
    int32_t refineTemplate = 0;
    std::array<Jbig2At, 2> refineAt{{{-1, -1}, {-1, -1}}};
    int32_t huffmanDh = 0;  // height deltas: 0 table B.4 (> 0 only), 1 B.5, 3 user dhTable
    int32_t huffmanDw = 0;  // width deltas: 0 table B.2 (>= 0 only), 1 B.3, 3 user dwTable
    bool mmrCollective = false;  // Huffman: height-class bitmaps MMR-coded, else uncompressed
    bool userBmSize = false;     // collective bitmap sizes from bmSizeTable instead of B.1
    // User tables (segments made by UserTable); referred to after the
    // imports, in the order DH, DW, BMSIZE.
    uint32_t dhTable = 0;
    uint32_t dwTable = 0;
    uint32_t bmSizeTable = 0;
    std::vector<uint32_t> imports;  // symbol dictionaries whose exports come first
    // Export flags over imported then new symbols; empty exports the new ones.
    std::vector<bool> exportFlags;
};

struct Jbig2TextOptions {
    bool huffman = false;
    bool refine = false;  // SBREFINE: each instance carries a refinement flag
    int32_t logStrips = 0;  // strips of 1, 2, 4 or 8 rows
    Jbig2Corner corner = Jbig2Corner::TopLeft;
    bool transposed = false;
    int32_t dsOffset = 0;  // -16 to 15
    Jbig2Combine op = Jbig2Combine::Or;  // how instances combine (Or to Xnor)
    bool defaultPixel = false;
    int32_t refineTemplate = 0;
    std::array<Jbig2At, 2> refineAt{{{-1, -1}, {-1, -1}}};
    // Huffman table selections: FS 0 B.6, 1 B.7; DS 0 B.8, 1 B.9, 2 B.10;
    // DT 0 B.11, 1 B.12, 2 B.13; RDW/RDH/RDX/RDY 0 B.14, 1 B.15; RSIZE B.1.
    // FS, DS and DT 3: the user tables below (segments made by
    // UserTable), referred to after the dictionaries in that order.
    int32_t huffmanFs = 0;
    int32_t huffmanDs = 0;
    int32_t huffmanDt = 0;
    uint32_t fsTable = 0;
    uint32_t dsTable = 0;
    uint32_t dtTable = 0;
    int32_t huffmanRdw = 0;
    int32_t huffmanRdh = 0;
    int32_t huffmanRdx = 0;
    int32_t huffmanRdy = 0;
    // Huffman: symbols used by no instance get no code (exercises the
    // zero-length runs of the symbol code table); used ones get code
    // lengths by frequency.
    bool omitUnusedSymbolCodes = true;
};

// A user Huffman table: consecutive value ranges from `low` up, each a
// (code length, range length) pair covering 2^range length values, then
// the code lengths of the lower-range line (values below low), of the
// upper-range line (values from the end of the last range) and, with oob,
// of the out-of-band line. Code lengths are 1 to 255 here, range lengths 0
// to 255 (both fields are sized to the largest).
struct Jbig2HuffmanTableSpec {
    int32_t low = 0;
    std::vector<std::pair<int32_t, int32_t>> lines;
    int32_t lowerLength = 0;
    int32_t upperLength = 0;
    bool oob = false;
    int32_t oobLength = 0;
};

struct Jbig2PatternOptions {
    int32_t hdTemplate = 0;
    bool mmr = false;
};

struct Jbig2HalftoneOptions {
    int32_t hTemplate = 0;
    bool mmr = false;
    bool defaultPixel = false;
    Jbig2Combine op = Jbig2Combine::Or;  // how patterns combine into the region
    // Grid origin and vector in 1/256 pixel: cell (m, n) (row m, column n)
    // lands at ((gridX + m*vectorY + n*vectorX) >> 8, (gridY + m*vectorX - n*vectorY) >> 8).
    int32_t gridX = 0;
    int32_t gridY = 0;
    uint16_t vectorX = 256;
    uint16_t vectorY = 0;
    // HENABLESKIP: cells whose pattern lies wholly outside the region are
    // not coded in any plane (arithmetic coding only).
    bool enableSkip = false;
};

class Jbig2Writer {
public:
    // Segments made while global is set get page association 0 and go to
    // GlobalBytes(); otherwise they belong to the current page (1 at first).
    void SetGlobal(bool global) { global_ = global; }
    void SetPage(uint32_t page) { page_ = page; }
    // Always store the page association in 4 bytes (else only above 255).
    void SetLongPageAssociation(bool on) { longPageAssociation_ = on; }
    // Numbers the next segment; later ones count on from it (numbers above
    // 256 and 65536 widen the referred-to fields).
    void SetNextSegmentNumber(uint32_t number) { next_ = number; }

    uint32_t PageInformation(const Jbig2PageInfo& info);
    // The bitmap as a generic region at placement.x/y.
    uint32_t GenericRegion(const Jbig2Bitmap& bitmap, const Jbig2Placement& placement,
                           const Jbig2GenericOptions& options = {});
    // `target` coded as a refinement of the intermediate region `reference`
    // (a segment made here with Jbig2RegionUse::Intermediate).
    uint32_t RefinementRegion(const Jbig2Bitmap& target, uint32_t reference,
                              const Jbig2Placement& placement,
                              const Jbig2RefinementOptions& options = {});
    // `target` coded as a refinement of the page itself: `pageArea` is the
    // page's content under the region (same size as target) when it is coded.
    uint32_t PageRefinementRegion(const Jbig2Bitmap& target, const Jbig2Bitmap& pageArea,
                                  const Jbig2Placement& placement,
                                  const Jbig2RefinementOptions& options = {});
    // New symbols in decoding order; consecutive symbols of equal height
    // form a height class. Exports as options.exportFlags say.
    uint32_t SymbolDictionary(const std::vector<Jbig2NewSymbol>& symbols,
                              const Jbig2SymbolDictOptions& options = {});
    uint32_t SymbolDictionary(const std::vector<Jbig2Bitmap>& symbols,
                              const Jbig2SymbolDictOptions& options = {});
    // A width x height text region with symbols from `dictionaries` (their
    // exports concatenated in this order).
    uint32_t TextRegion(const std::vector<uint32_t>& dictionaries, int32_t width, int32_t height,
                        const std::vector<Jbig2TextInstance>& instances,
                        const Jbig2Placement& placement, const Jbig2TextOptions& options = {});
    // Patterns of one size (width at most 128), indexed by gray value.
    uint32_t PatternDictionary(const std::vector<Jbig2Bitmap>& patterns,
                               const Jbig2PatternOptions& options = {});
    // A width x height halftone region: gridWidth x gridHeight gray values
    // (row by row) into the patterns of `patternDictionary`.
    uint32_t HalftoneRegion(uint32_t patternDictionary, int32_t width, int32_t height,
                            uint32_t gridWidth, uint32_t gridHeight,
                            const std::vector<uint32_t>& grayValues,
                            const Jbig2Placement& placement,
                            const Jbig2HalftoneOptions& options = {});
    // A table segment holding a user Huffman table.
    uint32_t UserTable(const Jbig2HuffmanTableSpec& table);
    uint32_t EndOfStripe(uint32_t lastRow);
    uint32_t EndOfPage();
    uint32_t EndOfFile();
    // Any segment as given: type, referred-to segments, data.
    uint32_t RawSegment(uint8_t type, const std::vector<uint32_t>& referredTo,
                        const std::string& data);

    // The page stream and the globals stream.
    const std::string& Bytes() const { return page_stream_; }
    const std::string& GlobalBytes() const { return globals_; }
    // What a dictionary exports (symbols or patterns), and the bitmap a
    // region segment decodes to (before it is placed on the page).
    const std::vector<Jbig2Bitmap>& Exported(uint32_t dictionary) const;
    const Jbig2Bitmap& RegionBitmap(uint32_t region) const;

private:
    uint32_t AddSegment(uint8_t type, const std::vector<uint32_t>& referredTo,
                        const std::string& data);
    uint32_t Refinement(const Jbig2Bitmap& target, const Jbig2Bitmap& reference,
                        const std::vector<uint32_t>& referredTo, const Jbig2Placement& placement,
                        const Jbig2RefinementOptions& options);
    const Jbig2HuffmanTableSpec& Spec(uint32_t table) const;

    bool global_ = false;
    uint32_t page_ = 1;
    bool longPageAssociation_ = false;
    uint32_t next_ = 0;
    std::string page_stream_;
    std::string globals_;
    std::map<uint32_t, std::vector<Jbig2Bitmap>> exported_;
    std::map<uint32_t, Jbig2Bitmap> regions_;
    std::map<uint32_t, Jbig2HuffmanTableSpec> tables_;
};

// What jbig2dec made of a stream: the page (when it wrote one) and its
// messages.
struct Jbig2decResult {
    bool ok = false;  // exit status 0 and a PBM written
    Jbig2Bitmap page;
    std::string messages;  // standard output and error
};
// Runs jbig2dec -e -t pbm on the page stream (with the globals stream
// first when not empty). ToolError when jbig2dec cannot be started.
Jbig2decResult DecodeWithJbig2dec(const std::string& page, const std::string& globals = {});

}  // namespace qz::testing
