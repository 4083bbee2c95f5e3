#pragma once
// The graphics and text state that the content interpreter changes operator
// by operator and that output devices read when they stroke, fill, clip or
// draw text: the CTM for a resolution and page rotation, line parameters,
// colour spaces and colours, opacities, text parameters, the current path
// and point.
//
// Ownership: a state owns its path, its matrices, its dash array and each
// colour space whose owned flag is set; fonts, patterns and colour spaces
// from a resource dictionary are borrowed from it, and the two device-side
// references belong to the device. `Save` pushes a copy that owns the state
// below it, so the state on top owns its whole chain: freeing it frees the
// chain, and `Restore` pops one level. A copy borrows the colour spaces of
// the state it was made from, which must outlive it (the saved state below
// does).

#include <cstdint>
#include <memory>
#include <vector>

#include "content/colour/PDColorSpace.h"
#include "content/colour/PDTypes.h"
#include "content/state/PDPath.h"
#include "core/PDMatrix.h"

namespace qz::core {
class TqzPDRect;
}

namespace qz::document {
class TqzPDFont;
class TqzPDPattern;
}  // namespace qz::document

namespace qz::content {

using TqzDashArray = std::vector<float>;

// Saved states kept below the current one. Sound content nests q a few dozen
// deep; a stream of endless q must not copy the state without end. Saves
// past the limit are counted and undone by their matching restores.
inline constexpr int32_t kMaxSaveDepth = 1024;
// CTM entries are kept within ±1e10 so that products of hostile matrices stay
// finite.
inline constexpr double kMaxCTMEntry = 1e10;

class TqzPDState {
  public:
    // The initial state for a device of `hDPI` × `vDPI` dots per inch and a
    // page rotated by `rotate` degrees; `box` (the page box) may be none,
    // which stands for 0, 0, 850, 1191.
    TqzPDState(double hDPI, double vDPI, int32_t rotate, const core::TqzPDRect* box);
    ~TqzPDState();
    TqzPDState(const TqzPDState&) = delete;
    TqzPDState& operator=(const TqzPDState&) = delete;

    // A copy for a form, a glyph or a pattern: its own path and dash, the same
    // colour spaces (borrowed), font and patterns, and no saved states: a
    // restore inside it can never reach the states of its source.
    std::unique_ptr<TqzPDState> Copy() const;
    // Pushes a copy of `state`, which the copy then owns; returns the copy,
    // the new current state.
    static std::unique_ptr<TqzPDState> Save(std::unique_ptr<TqzPDState> state);
    // Pops `state`: its path and current and line positions go back to the
    // state below, which is returned; nothing else is carried back. Without
    // a saved state, `state` itself is returned.
    static std::unique_ptr<TqzPDState> Restore(std::unique_ptr<TqzPDState> state);
    bool HasSaves() const { return FSaved != nullptr; }
    int32_t GetSaveDepth() const { return FSaveDepth; }

    // Path building; MoveTo and LineTo move the current point to the
    // (adjusted) end point, CurveTo to its end point, ClosePath to where the
    // path ends. Without a current point LineTo, CurveTo and ClosePath raise
    // EPathIndexError.
    void MoveTo(double x, double y);
    void LineTo(double x, double y);
    void CurveTo(double x1, double y1, double x2, double y2, double x3, double y3);
    void ClosePath();
    // A new empty path; the current point stays.
    void ClearPath();

    void TextMoveTo(double tx, double ty);
    void TextSetPos(double tx, double ty);
    void Shift(double dx, double dy);
    void TextShift(double tx, double ty);

    // CTM := m × CTM, each entry clamped to ±kMaxCTMEntry (NaN to the low end).
    void ConcatCTM(const core::TqzPDMatrix& m);
    // The linear part of text matrix × CTM scaled by the font size.
    core::TqzPDMatrix GetFontTransMatrix() const;
    // The device length of the font's vertical unit.
    double GetTransformedFontSize() const;
    void Transform(double x1, double y1, double& x2, double& y2) const;
    void TransformDelta(double x1, double y1, double& x2, double& y2) const;

    void GetFillColor(TqzColor& color) const { color = FFillColor; }
    void SetFillColor(const TqzColor& color) { FFillColor = color; }
    void GetStrokeColor(TqzColor& color) const { color = FStrokeColor; }
    void SetStrokeColor(const TqzColor& color) { FStrokeColor = color; }
    // Through the space; zero without one.
    void GetFillGray(int64_t& gray) const;
    void GetFillCMYK(TqzCMYK& cmyk) const;
    void GetStrokeGray(int64_t& gray) const;
    void GetStrokeCMYK(TqzCMYK& cmyk) const;
    // Through the space; for a Pattern space (and, for fill, no space) the
    // colour's first three components as they stand.
    void GetFillRGB(TqzRGB& rgb) const;
    void GetStrokeRGB(TqzRGB& rgb) const;

    TqzPDColorSpace* GetFillColorSpace() const { return FFillColorSpace; }
    TqzPDColorSpace* GetStrokeColorSpace() const { return FStrokeColorSpace; }
    // Each frees the space held when it is owned, then holds the new one:
    // borrowed (a resource's) or owned. Setting the space already held
    // changes nothing.
    void SetFillColorSpace(TqzPDColorSpace* value);
    void SetFillColorSpace(std::unique_ptr<TqzPDColorSpace> value);
    void SetStrokeColorSpace(TqzPDColorSpace* value);
    void SetStrokeColorSpace(std::unique_ptr<TqzPDColorSpace> value);
    bool GetFillCSOwned() const { return FFillCSHolder != nullptr; }
    bool GetStrokeCSOwned() const { return FStrokeCSHolder != nullptr; }
    // Takes over (true) or gives up (false) the freeing of the space held.
    void SetFillCSOwned(bool value) { SetOwned(FFillCSHolder, FFillColorSpace, value); }
    void SetStrokeCSOwned(bool value) { SetOwned(FStrokeCSHolder, FStrokeColorSpace, value); }

    // The state's dash entries (a copy), their count and the phase.
    void GetLineDash(TqzDashArray& dash, int32_t& length, double& start) const;
    // Keeps the first `length` entries of `dash` (never more than it holds).
    void SetLineDash(const TqzDashArray& dash, int32_t length, double start);

    double GethDPI() const { return FhDPI; }
    double GetvDPI() const { return FvDPI; }
    void SethDPI(double value) { FhDPI = value; }
    void SetvDPI(double value) { FvDPI = value; }
    const core::TqzPDMatrix& GetCTM() const { return FCTM; }
    void SetCTM(const core::TqzPDMatrix& value) { FCTM = value; }
    const core::TqzPDMatrix& GetTextMatrix() const { return FTextMatrix; }
    void SetTextMatrix(const core::TqzPDMatrix& value) { FTextMatrix = value; }
    double GetX1() const { return FX1; }
    double GetY1() const { return FY1; }
    double GetX2() const { return FX2; }
    double GetY2() const { return FY2; }
    void SetX1(double value) { FX1 = value; }
    void SetY1(double value) { FY1 = value; }
    void SetX2(double value) { FX2 = value; }
    void SetY2(double value) { FY2 = value; }
    double GetPageWidth() const { return FPageWidth; }
    double GetPageHeight() const { return FPageHeight; }
    void SetPageWidth(double value) { FPageWidth = value; }
    void SetPageHeight(double value) { FPageHeight = value; }
    int32_t GetPageNumber() const { return FPageNumber; }
    void SetPageNumber(int32_t value) { FPageNumber = value; }
    document::TqzPDPattern* GetFillPattern() const { return FFillPattern; }
    document::TqzPDPattern* GetStrokePattern() const { return FStrokePattern; }
    void SetFillPattern(document::TqzPDPattern* value) { FFillPattern = value; }
    void SetStrokePattern(document::TqzPDPattern* value) { FStrokePattern = value; }
    double GetFillOpacity() const { return FFillOpacity; }
    double GetStrokeOpacity() const { return FStrokeOpacity; }
    void SetFillOpacity(double value) { FFillOpacity = value; }
    void SetStrokeOpacity(double value) { FStrokeOpacity = value; }
    bool GetFillOverprint() const { return FFillOverprint; }
    bool GetStrokeOverPrint() const { return FStrokeOverPrint; }
    void SetFillOverprint(bool value) { FFillOverprint = value; }
    void SetStrokeOverPrint(bool value) { FStrokeOverPrint = value; }
    double GetLineWidth() const { return FLineWidth; }
    double GetFlatness() const { return FFlatness; }
    int32_t GetLineJoin() const { return FLineJoin; }
    int32_t GetLineCap() const { return FLineCap; }
    double GetMiterLimit() const { return FMiterLimit; }
    bool GetStrokeAdjust() const { return FStrokeAdjust; }
    void SetLineWidth(double value) { FLineWidth = value; }
    void SetFlatness(double value) { FFlatness = value; }
    void SetLineJoin(int32_t value) { FLineJoin = value; }
    void SetLineCap(int32_t value) { FLineCap = value; }
    void SetMiterLimit(double value) { FMiterLimit = value; }
    void SetStrokeAdjust(bool value) { FStrokeAdjust = value; }
    document::TqzPDFont* GetFont() const { return FFont; }
    double GetFontSize() const { return FFontSize; }
    void SetFont(document::TqzPDFont* value) { FFont = value; }
    void SetFontSize(double value) { FFontSize = value; }
    double GetCharSpace() const { return FCharSpace; }
    double GetWordSpace() const { return FWordSpace; }
    double GetHorizScaling() const { return FHorizScaling; }
    double GetLeading() const { return FLeading; }
    double GetRise() const { return FRise; }
    double GetRender() const { return FRender; }
    void SetCharSpace(double value) { FCharSpace = value; }
    void SetWordSpace(double value) { FWordSpace = value; }
    void SetHorizScaling(double value) { FHorizScaling = value; }
    void SetLeading(double value) { FLeading = value; }
    void SetRise(double value) { FRise = value; }
    void SetRender(double value) { FRender = value; }
    double GetCurCharW() const { return FCurCharW; }
    void SetCurCharW(double value) { FCurCharW = value; }
    TqzPDPath& GetPath() const { return *FPath; }
    // Replaces the path, which the state then owns.
    void SetPath(std::unique_ptr<TqzPDPath> value);
    double GetCurX() const { return FCurX; }
    double GetCurY() const { return FCurY; }
    double GetLineX() const { return FLineX; }
    double GetLineY() const { return FLineY; }
    void SetCurX(double value) { FCurX = value; }
    void SetCurY(double value) { FCurY = value; }
    void SetLineX(double value) { FLineX = value; }
    void SetLineY(double value) { FLineY = value; }
    bool GetIsCurrentPath() const { return FPath->IsPath(); }
    bool GetIsCurrentPoint() const { return FPath->IsCurrentPoint(); }
    int32_t GetRotate() const { return FRotate; }
    void* GetPatternParentTransform() const { return FPatternParentTransform; }
    void SetPatternParentTransform(void* value) { FPatternParentTransform = value; }
    void* GetSMaskStateRef() const { return FSMaskState; }
    void SetSMaskStateRef(void* value) { FSMaskState = value; }

  private:
    struct Uninitialised {};
    // Every field zero, none or false, for Copy to fill.
    explicit TqzPDState(Uninitialised);

    static void SetSpace(std::unique_ptr<TqzPDColorSpace>& holder, TqzPDColorSpace*& space,
                         TqzPDColorSpace* value, std::unique_ptr<TqzPDColorSpace> owned);
    static void SetOwned(std::unique_ptr<TqzPDColorSpace>& holder, TqzPDColorSpace* space,
                         bool value);
    // y moved onto a page box lying wholly below the origin.
    double AdjustY(double y) const { return (y < 0 && FY2 < 0) ? y + FY2 : y; }

    std::unique_ptr<TqzPDPath> FPath;
    int32_t FLineJoin = 0;
    TqzDashArray FLineDash;
    int32_t FLineLength = 0;
    double FLineStart = 0;
    double FLineWidth = 0;
    int32_t FLineCap = 0;
    double FMiterLimit = 0;
    double FFillOpacity = 0;
    double FFlatness = 0;
    double FvDPI = 0;
    double FhDPI = 0;
    double FPageWidth = 0;
    double FPageHeight = 0;
    double FX1 = 0;
    double FY1 = 0;
    double FX2 = 0;
    double FY2 = 0;
    double FLineX = 0;
    double FLineY = 0;
    double FCurX = 0;
    double FCurY = 0;
    core::TqzPDMatrix FCTM;
    core::TqzPDMatrix FTextMatrix;
    double FFontSize = 0;
    document::TqzPDFont* FFont = nullptr;
    double FWordSpace = 0;
    double FCharSpace = 0;
    double FCurCharW = 0;
    bool FStrokeAdjust = false;
    double FHorizScaling = 0;
    bool FFillOverprint = false;
    bool FStrokeOverPrint = false;
    double FRender = 0;
    double FLeading = 0;
    double FStrokeOpacity = 0;
    document::TqzPDPattern* FFillPattern = nullptr;
    TqzPDColorSpace* FStrokeColorSpace = nullptr;
    TqzPDColorSpace* FFillColorSpace = nullptr;
    // Set when the state frees the space of that name.
    std::unique_ptr<TqzPDColorSpace> FStrokeCSHolder;
    std::unique_ptr<TqzPDColorSpace> FFillCSHolder;
    TqzColor FFillColor;
    TqzColor FStrokeColor;
    document::TqzPDPattern* FStrokePattern = nullptr;
    double FRise = 0;
    std::unique_ptr<TqzPDState> FSaved;
    int32_t FSaveDepth = 0;
    // Saves refused at kMaxSaveDepth, each undone by one Restore.
    int32_t FIgnoredSaves = 0;
    int32_t FRotate = 0;
    void* FPatternParentTransform = nullptr;
    void* FSMaskState = nullptr;
    int32_t FPageNumber = 0;
};

}  // namespace qz::content
