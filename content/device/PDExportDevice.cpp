#include "content/device/PDExportDevice.h"

#include <cmath>

namespace qz::content {

void TqzPDExportDevice::SetDefaultCTM(const core::TqzPDMatrix& Matrix) {
    if (!FDefaultCTM) FDefaultCTM = std::make_unique<core::TqzPDMatrix>();
    if (!FDefaultInverseCTM) FDefaultInverseCTM = std::make_unique<core::TqzPDMatrix>();
    *FDefaultCTM = Matrix;
    const core::TqzPDMatrix inverse = Matrix.GetInverse();
    // A nearly singular matrix gives an infinite inverse: keep the identity.
    const bool finite = std::isfinite(inverse.FM11) && std::isfinite(inverse.FM12) &&
                        std::isfinite(inverse.FM21) && std::isfinite(inverse.FM22) &&
                        std::isfinite(inverse.FDx) && std::isfinite(inverse.FDy);
    *FDefaultInverseCTM = finite ? inverse : core::TqzPDMatrix();
}

core::TqzPDStream* TqzPDExportDevice::FindGlyphStream(uint16_t /*code*/) { return nullptr; }
void TqzPDExportDevice::WriteFromStoredMetafile(int32_t /*a*/, int32_t /*b*/) {}

bool TqzPDExportDevice::CheckPageSlice(document::TqzPDPage* /*Page*/, double /*hDPI*/, double /*vDPI*/,
                                       int32_t /*Rotate*/, bool /*UseMediaBox*/, bool /*Crop*/, double /*SliceX*/,
                                       double /*SliceY*/, double /*SliceW*/, double /*SliceH*/) {
    return true;
}

void TqzPDExportDevice::StartPage(int32_t /*nPage*/, TqzPDState& /*State*/) {}
void TqzPDExportDevice::EndPage() {}
void TqzPDExportDevice::Dump() {}

void TqzPDExportDevice::ConvertDevToUser(double Dx, double Dy, double& Ux, double& Uy) {
    const core::TqzPDMatrix m = FDefaultInverseCTM ? *FDefaultInverseCTM : core::TqzPDMatrix();
    Ux = m.FM11 * Dx + m.FM21 * Dy + m.FDx;
    Uy = m.FM12 * Dx + m.FM22 * Dy + m.FDy;
}

void TqzPDExportDevice::ConvertUserToDev(double Ux, double Uy, double& Dx, double& Dy) {
    const core::TqzPDMatrix m = FDefaultCTM ? *FDefaultCTM : core::TqzPDMatrix();
    Dx = m.FM11 * Ux + m.FM21 * Uy + m.FDx + 0.5;
    Dy = m.FM12 * Ux + m.FM22 * Uy + m.FDy + 0.5;
}

void TqzPDExportDevice::SaveState(TqzPDState& /*State*/) {}
void TqzPDExportDevice::RestoreState(TqzPDState& /*State*/) {}

void TqzPDExportDevice::UpdateAll(TqzPDState& State) {
    UpdateLineDash(State);
    UpdateFlatness(State);
    UpdateLineJoin(State);
    UpdateLineCap(State);
    UpdateMiterLimit(State);
    UpdateLineWidth(State);
    UpdateStrokeAdjust(State);
    UpdateFillColorSpace(State);
    UpdateFillColor(State);
    UpdateStrokeColorSpace(State);
    UpdateStrokeColor(State);
    UpdateBlendMode(State);
    UpdateFillOpacity(State);
    UpdateStrokeOpacity(State);
    UpdateFillOverPrint(State);
    UpdateStrokeOverPrint(State);
    UpdateTransfer(State);
}

void TqzPDExportDevice::UpdateCTM(TqzPDState& /*State*/, const core::TqzPDMatrix& /*CTM*/) {}
void TqzPDExportDevice::UpdateLineDash(TqzPDState& /*State*/) {}
void TqzPDExportDevice::UpdateFlatness(TqzPDState& /*State*/) {}
void TqzPDExportDevice::UpdateLineJoin(TqzPDState& /*State*/) {}
void TqzPDExportDevice::UpdateLineCap(TqzPDState& /*State*/) {}
void TqzPDExportDevice::UpdateMiterLimit(TqzPDState& /*State*/) {}
void TqzPDExportDevice::UpdateLineWidth(TqzPDState& /*State*/) {}
void TqzPDExportDevice::UpdateStrokeAdjust(TqzPDState& /*State*/) {}
void TqzPDExportDevice::UpdateFillColorSpace(TqzPDState& /*State*/) {}
void TqzPDExportDevice::UpdateStrokeColorSpace(TqzPDState& /*State*/) {}
void TqzPDExportDevice::UpdateFillColor(TqzPDState& /*State*/) {}
void TqzPDExportDevice::UpdateStrokeColor(TqzPDState& /*State*/) {}
void TqzPDExportDevice::UpdateBlendMode(TqzPDState& /*State*/) {}
void TqzPDExportDevice::UpdateFillOpacity(TqzPDState& /*State*/) {}
void TqzPDExportDevice::UpdateStrokeOpacity(TqzPDState& /*State*/) {}
void TqzPDExportDevice::UpdateFillOverPrint(TqzPDState& /*State*/) {}
void TqzPDExportDevice::UpdateStrokeOverPrint(TqzPDState& /*State*/) {}
void TqzPDExportDevice::UpdateTransfer(TqzPDState& /*State*/) {}
void TqzPDExportDevice::ClearSoftMask(TqzPDState& /*State*/) {}
void TqzPDExportDevice::UpdateExGStateforGroup(TqzPDState& /*State*/) {}
void TqzPDExportDevice::EndExGState(TqzPDState& /*State*/) {}
void TqzPDExportDevice::UpdateFont(TqzPDState& /*State*/) {}
void TqzPDExportDevice::UpdateTextMatrix(TqzPDState& /*State*/) {}
void TqzPDExportDevice::UpdateCharSpace(TqzPDState& /*State*/) {}
void TqzPDExportDevice::UpdateRender(TqzPDState& /*State*/) {}
void TqzPDExportDevice::UpdateRise(TqzPDState& /*State*/) {}
void TqzPDExportDevice::UpdateWordSpace(TqzPDState& /*State*/) {}
void TqzPDExportDevice::UpdateHorizScaling(TqzPDState& /*State*/) {}
void TqzPDExportDevice::UpdateTextPos(TqzPDState& /*State*/) {}
void TqzPDExportDevice::UpdateTextShift(TqzPDState& /*State*/, double /*shift*/) {}
void TqzPDExportDevice::Stroke(TqzPDState& /*State*/) {}
void TqzPDExportDevice::Fill(TqzPDState& /*State*/) {}
void TqzPDExportDevice::EvenOddFill(TqzPDState& /*State*/) {}
void TqzPDExportDevice::Clip(TqzPDState& /*State*/) {}
void TqzPDExportDevice::EvenOddClip(TqzPDState& /*State*/) {}
void TqzPDExportDevice::ClipToStrokePath(TqzPDState& /*State*/) {}
void TqzPDExportDevice::DoPathShade(TqzPDState& /*State*/) {}
void TqzPDExportDevice::ProcessShadingPattern(TqzPDState& /*State*/, TqzPDShadingPattern* /*AshadingPattern*/,
                                              const core::TqzPDMatrix& /*ACTM*/, bool /*IsSCN*/) {}
void TqzPDExportDevice::BeginStringOp(TqzPDState& /*State*/) {}
void TqzPDExportDevice::EndStringOp(TqzPDState& /*State*/) {}
void TqzPDExportDevice::BeginString(TqzPDState& /*State*/, const std::string& /*Str*/) {}
void TqzPDExportDevice::EndString(TqzPDState& /*State*/) {}
void TqzPDExportDevice::DrawChar(TqzPDState& /*State*/, double /*X*/, double /*Y*/, double /*Dx*/, double /*Dy*/,
                                 int32_t /*Code*/, const std::string& /*CharName*/) {}
void TqzPDExportDevice::DrawString(const std::string& /*Str*/, TqzPDState& /*State*/) {}
void TqzPDExportDevice::BeginType3Char(TqzPDState& /*State*/, double /*X*/, double /*Y*/, double /*Dx*/,
                                       double /*Dy*/, int32_t /*Code*/, const std::vector<uint16_t>& /*Unicode*/) {}
void TqzPDExportDevice::EndType3Char(TqzPDState& /*State*/) {}
void TqzPDExportDevice::EndTextObject(TqzPDState& /*State*/) {}
void TqzPDExportDevice::DrawImage(TqzPDState& /*State*/, TqzPDImage& /*Image*/) {}
void TqzPDExportDevice::DrawFormXObject(TqzPDState& /*State*/, TqzPDForm& /*Form*/) {}
void TqzPDExportDevice::ResetDevice(TqzPDState& /*State*/) {}
void TqzPDExportDevice::RawTextOut(TqzPDState& /*State*/, double /*X*/, double /*Y*/, const std::string& /*AText*/) {}

}  // namespace qz::content
