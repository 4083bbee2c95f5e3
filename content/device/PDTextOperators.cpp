// The interpreter's handlers for text objects, the text state, text
// positioning and text showing.

#include <cmath>

#include "content/device/ContentOperands.h"
#include "content/device/PDContentStream.h"
#include "content/device/PDExportDevice.h"
#include "content/state/PDState.h"
#include "core/Conversions.h"
#include "core/PDArray.h"
#include "core/PDString.h"
#include "document/ContentFactories.h"
#include "document/PDResource.h"

namespace qz::content {

using core::TqzPDBaseObject;

// ---- text objects and text state ----

void TqzPDContentStream::OpBeginText(TqzPDBaseObject* const*, int32_t) {
    FState->SetTextMatrix(core::TqzPDMatrix());
    FState->TextMoveTo(0, 0);
    FExportDev->UpdateTextMatrix(*FState);
    FExportDev->UpdateTextPos(*FState);
    FFontChanged = true;
}

void TqzPDContentStream::OpEndText(TqzPDBaseObject* const*, int32_t) { FExportDev->EndTextObject(*FState); }

void TqzPDContentStream::OpSetCharSpacing(TqzPDBaseObject* const* Operands, int32_t /*Count*/) {
    FState->SetCharSpace(OperandNumber(Operands[0]));
    FExportDev->UpdateCharSpace(*FState);
}

void TqzPDContentStream::OpSetWordSpacing(TqzPDBaseObject* const* Operands, int32_t /*Count*/) {
    FState->SetWordSpace(OperandNumber(Operands[0]));
    FExportDev->UpdateWordSpace(*FState);
}

void TqzPDContentStream::OpSetHorizScaling(TqzPDBaseObject* const* Operands, int32_t /*Count*/) {
    FState->SetHorizScaling(OperandNumber(Operands[0]) / 100);
    FExportDev->UpdateHorizScaling(*FState);
    FFontChanged = true;
}

void TqzPDContentStream::OpSetTextLeading(TqzPDBaseObject* const* Operands, int32_t /*Count*/) {
    FState->SetLeading(OperandNumber(Operands[0]));
}

void TqzPDContentStream::OpSetTextRise(TqzPDBaseObject* const* Operands, int32_t /*Count*/) {
    FState->SetRise(OperandNumber(Operands[0]));
    FExportDev->UpdateRise(*FState);
}

void TqzPDContentStream::OpSetTextRender(TqzPDBaseObject* const* Operands, int32_t /*Count*/) {
    FState->SetRender(OperandNumber(Operands[0]));
    FExportDev->UpdateRender(*FState);
}

void TqzPDContentStream::OpSetFont(TqzPDBaseObject* const* Operands, int32_t /*Count*/) {
    if (FPageResource == nullptr) return;
    document::TqzPDFont* font = FPageResource->LookUpFont(OperandName(Operands[0]));
    if (font == nullptr) return;
    FState->SetFont(font);
    FState->SetFontSize(OperandNumber(Operands[1]));
    // The device hears of the font at the next text shown.
    FFontChanged = true;
}

void TqzPDContentStream::OpSetTextMatrix(TqzPDBaseObject* const* Operands, int32_t /*Count*/) {
    FState->SetTextMatrix(core::TqzPDMatrix(OperandNumber(Operands[0]), OperandNumber(Operands[1]), OperandNumber(Operands[2]),
                                            OperandNumber(Operands[3]), OperandNumber(Operands[4]), OperandNumber(Operands[5])));
    FState->TextMoveTo(0, 0);
    FExportDev->UpdateTextMatrix(*FState);
    FExportDev->UpdateTextPos(*FState);
    FFontChanged = true;
}

// ---- text positioning ----

bool TqzPDContentStream::IsVerticalFont() const {
    // The writing mode is the font's; until fonts are read every font
    // writes horizontally.
    return false;
}

void TqzPDContentStream::OpTextMove(TqzPDBaseObject* const* Operands, int32_t /*Count*/) {
    const double tx = OperandNumber(Operands[0]);
    const double ty = OperandNumber(Operands[1]);
    if (IsVerticalFont()) {
        FState->TextMoveTo(FState->GetLineX() + tx, FState->GetLineY() - ty);
    } else {
        FState->TextMoveTo(FState->GetLineX() + tx, FState->GetLineY() + ty);
    }
    FExportDev->UpdateTextPos(*FState);
}

void TqzPDContentStream::OpTextMoveSet(TqzPDBaseObject* const* Operands, int32_t /*Count*/) {
    const double tx = OperandNumber(Operands[0]);
    const double ty = OperandNumber(Operands[1]);
    FState->SetLeading(-ty);
    FState->TextMoveTo(FState->GetLineX() + tx, FState->GetLineY() + ty);
    FExportDev->UpdateTextPos(*FState);
}

void TqzPDContentStream::MoveToNextLine() {
    FState->TextMoveTo(FState->GetLineX(), FState->GetLineY() - FState->GetLeading());
}

void TqzPDContentStream::OpTextNextLine(TqzPDBaseObject* const*, int32_t) {
    MoveToNextLine();
    FExportDev->UpdateTextPos(*FState);
}

// ---- text showing ----

bool TqzPDContentStream::PrepareFont() {
    if (FState->GetFont() == nullptr) return false;
    if (FFontChanged) {
        FExportDev->UpdateFont(*FState);
        FFontChanged = false;
    }
    return true;
}

void TqzPDContentStream::ShowString(const TqzPDBaseObject* Str) {
    const auto& string = static_cast<const core::TqzPDString&>(*Str);
    DoShowText(string.IsHexString() ? core::HexToByteArray(string.GetString()) : string.GetString());
}

void TqzPDContentStream::DoShowText(const std::string& Str) {
    // Type 3 glyph procedures are interpreted once fonts tell their type;
    // until then every font takes the path below.
    if (!FExportDev->FUseDrawChar) {
        FExportDev->RawTextOut(*FState, FState->GetCurX(), FState->GetCurY(), Str);
        FIsCapitalTJ = false;
        return;
    }
    FExportDev->BeginString(*FState, Str);
    ShowGlyphs(Str);
    FExportDev->EndString(*FState);
    FIsCapitalTJ = false;
}

void TqzPDContentStream::ShowGlyphs(const std::string& /*Str*/) {
    // To be completed with fonts: the walk over the string's characters
    // (the font's GetNextChar gives each code, name and advance), with
    // DrawChar and the shift of the current point per character. Without a
    // font model no character is decoded, so none is drawn and the current
    // point stays.
}

void TqzPDContentStream::OpShowText(TqzPDBaseObject* const* Operands, int32_t /*Count*/) {
    if (!PrepareFont()) return;
    FExportDev->BeginStringOp(*FState);
    ShowString(Operands[0]);
    FExportDev->EndStringOp(*FState);
}

void TqzPDContentStream::OpMoveShowText(TqzPDBaseObject* const* Operands, int32_t /*Count*/) {
    if (!PrepareFont()) return;
    MoveToNextLine();
    FExportDev->UpdateTextPos(*FState);
    FExportDev->BeginStringOp(*FState);
    ShowString(Operands[0]);
    FExportDev->EndStringOp(*FState);
}

void TqzPDContentStream::OpMoveSetShowText(TqzPDBaseObject* const* Operands, int32_t /*Count*/) {
    if (!PrepareFont()) return;
    FState->SetWordSpace(OperandNumber(Operands[0]));
    FState->SetCharSpace(OperandNumber(Operands[1]));
    MoveToNextLine();
    FExportDev->UpdateWordSpace(*FState);
    FExportDev->UpdateCharSpace(*FState);
    FExportDev->UpdateTextPos(*FState);
    FExportDev->BeginStringOp(*FState);
    ShowString(Operands[2]);
    FExportDev->EndStringOp(*FState);
}

void TqzPDContentStream::OpShowSpaceText(TqzPDBaseObject* const* Operands, int32_t /*Count*/) {
    if (!PrepareFont()) return;
    FExportDev->BeginStringOp(*FState);
    const bool vertical = IsVerticalFont();
    SaveState();
    const auto& array = static_cast<const core::TqzPDArray&>(*Operands[0]);
    for (int32_t i = 0; i < array.GetLength(); ++i) {
        const TqzPDBaseObject* element = array.Get(i);
        if (element == nullptr) continue;
        if (element->IsNumber()) {
            const double n = OperandNumber(element);
            const double shift = -n * 0.001 * std::fabs(FState->GetFontSize());
            if (vertical) {
                FState->Shift(0, shift);
            } else {
                FState->Shift(shift, 0);
            }
            FExportDev->UpdateTextShift(*FState, n);
        } else if (element->IsString()) {
            FIsCapitalTJ = true;
            ShowString(element);
        }
    }
    RestoreState();
    FExportDev->EndStringOp(*FState);
}

}  // namespace qz::content
