#pragma once
// TqzPDExportDevice: the output device the content-stream interpreter drives.
// Every painting step, state change and text-showing step of a content
// stream becomes one call of a virtual operation here, with the
// interpreter's current state. The base draws nothing: each operation is
// empty (UpdateAll fans out to the single updates), so a concrete device
// overrides only what it needs. The base keeps the default transformation
// (user space to device space) and its inverse, which it owns.
//
// The interpreter borrows the device; it never creates, resets or frees it.
// States, images, forms and strings handed to an operation are borrowed for
// the duration of the call.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/Object.h"
#include "core/PDMatrix.h"

namespace qz::core {
class TqzPDStream;
}  // namespace qz::core

namespace qz::document {
class TqzPDPage;
}  // namespace qz::document

namespace qz::content {

class TqzPDForm;
class TqzPDImage;
class TqzPDShadingPattern;
class TqzPDState;

class TqzPDExportDevice : public core::TqzObject {
public:
    TqzPDExportDevice() = default;
    ~TqzPDExportDevice() override = default;
    TqzPDExportDevice(const TqzPDExportDevice&) = delete;
    TqzPDExportDevice& operator=(const TqzPDExportDevice&) = delete;

    // Stores the matrix and its inverse. A singular matrix (a zero
    // resolution) has no inverse: the inverse is then the identity, so the
    // conversions stay finite.
    virtual void SetDefaultCTM(const core::TqzPDMatrix& Matrix);
    // A stream for the glyph; the base has none.
    virtual core::TqzPDStream* FindGlyphStream(uint16_t code);
    virtual void WriteFromStoredMetafile(int32_t a, int32_t b);
    // Whether the page (slice) is to be drawn; the base draws every page.
    virtual bool CheckPageSlice(document::TqzPDPage* Page, double hDPI, double vDPI, int32_t Rotate,
                                bool UseMediaBox, bool Crop, double SliceX, double SliceY, double SliceW,
                                double SliceH);
    virtual void StartPage(int32_t nPage, TqzPDState& State);
    virtual void EndPage();
    virtual void Dump();
    // The point through the inverse default matrix (identity before
    // SetDefaultCTM).
    virtual void ConvertDevToUser(double Dx, double Dy, double& Ux, double& Uy);
    // The point through the default matrix, plus 0.5 on each axis so that a
    // truncation gives the device pixel; nothing is rounded here.
    virtual void ConvertUserToDev(double Ux, double Uy, double& Dx, double& Dy);
    virtual void SaveState(TqzPDState& State);
    virtual void RestoreState(TqzPDState& State);
    // Every single update, fill colour before the stroke colour space.
    virtual void UpdateAll(TqzPDState& State);
    virtual void UpdateCTM(TqzPDState& State, const core::TqzPDMatrix& CTM);
    virtual void UpdateLineDash(TqzPDState& State);
    virtual void UpdateFlatness(TqzPDState& State);
    virtual void UpdateLineJoin(TqzPDState& State);
    virtual void UpdateLineCap(TqzPDState& State);
    virtual void UpdateMiterLimit(TqzPDState& State);
    virtual void UpdateLineWidth(TqzPDState& State);
    virtual void UpdateStrokeAdjust(TqzPDState& State);
    virtual void UpdateFillColorSpace(TqzPDState& State);
    virtual void UpdateStrokeColorSpace(TqzPDState& State);
    virtual void UpdateFillColor(TqzPDState& State);
    virtual void UpdateStrokeColor(TqzPDState& State);
    virtual void UpdateBlendMode(TqzPDState& State);
    virtual void UpdateFillOpacity(TqzPDState& State);
    virtual void UpdateStrokeOpacity(TqzPDState& State);
    virtual void UpdateFillOverPrint(TqzPDState& State);
    virtual void UpdateStrokeOverPrint(TqzPDState& State);
    virtual void UpdateTransfer(TqzPDState& State);
    virtual void ClearSoftMask(TqzPDState& State);
    virtual void UpdateExGStateforGroup(TqzPDState& State);
    virtual void EndExGState(TqzPDState& State);
    virtual void UpdateFont(TqzPDState& State);
    virtual void UpdateTextMatrix(TqzPDState& State);
    virtual void UpdateCharSpace(TqzPDState& State);
    virtual void UpdateRender(TqzPDState& State);
    virtual void UpdateRise(TqzPDState& State);
    virtual void UpdateWordSpace(TqzPDState& State);
    virtual void UpdateHorizScaling(TqzPDState& State);
    virtual void UpdateTextPos(TqzPDState& State);
    virtual void UpdateTextShift(TqzPDState& State, double shift);
    virtual void Stroke(TqzPDState& State);
    virtual void Fill(TqzPDState& State);
    virtual void EvenOddFill(TqzPDState& State);
    virtual void Clip(TqzPDState& State);
    virtual void EvenOddClip(TqzPDState& State);
    virtual void ClipToStrokePath(TqzPDState& State);
    virtual void DoPathShade(TqzPDState& State);
    virtual void ProcessShadingPattern(TqzPDState& State, TqzPDShadingPattern* AshadingPattern,
                                       const core::TqzPDMatrix& ACTM, bool IsSCN);
    virtual void BeginStringOp(TqzPDState& State);
    virtual void EndStringOp(TqzPDState& State);
    virtual void BeginString(TqzPDState& State, const std::string& Str);
    virtual void EndString(TqzPDState& State);
    virtual void DrawChar(TqzPDState& State, double X, double Y, double Dx, double Dy, int32_t Code,
                          const std::string& CharName);
    virtual void DrawString(const std::string& Str, TqzPDState& State);
    virtual void BeginType3Char(TqzPDState& State, double X, double Y, double Dx, double Dy, int32_t Code,
                                const std::vector<uint16_t>& Unicode);
    virtual void EndType3Char(TqzPDState& State);
    virtual void EndTextObject(TqzPDState& State);
    virtual void DrawImage(TqzPDState& State, TqzPDImage& Image);
    virtual void DrawFormXObject(TqzPDState& State, TqzPDForm& Form);
    virtual void ResetDevice(TqzPDState& State);
    virtual void RawTextOut(TqzPDState& State, double X, double Y, const std::string& AText);

    // Flags a concrete device sets in its constructor; all False in the base.
    // Composite-font strings are decoded by the font before DrawChar; else
    // each byte reaches DrawChar as a code of its own.
    bool FCIDToGIDNeeded = false;
    bool FUseShadedFill = false;
    bool FNeedNonText = false;
    // Type 3 glyphs are drawn by interpreting their glyph procedures.
    bool FInterpretType3Chars = false;
    // Text reaches the device character by character (BeginString,
    // DrawChar, EndString); else each whole string reaches RawTextOut.
    bool FUseDrawChar = false;
    bool FUseDrawForm = false;
    bool FUseTillingPatternFill = false;
    // The device's y axis runs downwards.
    bool FUpsideDown = false;
    // Set by the interpreter before it hands a soft-mask form over.
    bool FCurrentDrawingIsSMask = false;

    // Absent until SetDefaultCTM.
    const core::TqzPDMatrix* GetDefaultCTM() const { return FDefaultCTM.get(); }
    const core::TqzPDMatrix* GetDefaultInverseCTM() const { return FDefaultInverseCTM.get(); }

protected:
    std::unique_ptr<core::TqzPDMatrix> FDefaultInverseCTM;
    std::unique_ptr<core::TqzPDMatrix> FDefaultCTM;
};

}  // namespace qz::content
