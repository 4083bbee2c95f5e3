// The interpreter's handlers for text objects, the text state, text
// positioning and text showing.

#include <algorithm>
#include <cmath>

#include "content/device/ContentOperands.h"
#include "content/device/PDContentStream.h"
#include "content/device/PDExportDevice.h"
#include "content/fonts/PDFont.h"
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
    const auto* font = dynamic_cast<const TqzPDFont*>(FState->GetFont());
    return font != nullptr && font->WritingMode() == TqzWritingMode::wmVertical;
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
    // Type 3 glyph procedures are not interpreted yet: whatever the device
    // asks for, a Type 3 font's characters reach it through the walk below
    // (or RawTextOut) like those of any other font.
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

void TqzPDContentStream::ShowGlyphs(const std::string& Str) {
    auto* font = dynamic_cast<TqzPDFont*>(FState->GetFont());
    if (font == nullptr) return;
    const bool vertical = font->WritingMode() == TqzWritingMode::wmVertical;
    // Composite strings reach a device that does not want them decoded one
    // byte per DrawChar; the font still decodes them so that the advance
    // is right, given with the last byte of each character.
    const bool bytesOnly = !FExportDev->FCIDToGIDNeeded && font->IsCIDFont();
    // Type 3 widths are glyph units; the font matrix takes them to text space.
    double widthScale = 1;
    if (font->GetFontType() == TqzPDFontType::Type3) {
        const core::TqzPDMatrix* matrix = font->GetFontMatrix();
        widthScale = matrix != nullptr ? matrix->FM11 : 0.001;
    }
    const double fontSize = FState->GetFontSize();
    std::string charName;
    size_t position = 0;
    while (position < Str.size()) {
        int32_t nextLen = 1;
        uint32_t code = 0;
        double dx = 0, dy = 0, ox = 0, oy = 0;
        font->GetNextChar(Str, position, nextLen, code, charName, dx, dy, ox, oy);
        const size_t length = std::clamp<size_t>(static_cast<size_t>(std::max(nextLen, 1)), 1, Str.size() - position);
        const auto firstByte = static_cast<uint8_t>(Str[position]);
        if (bytesOnly) charName.clear();
        if (code == 0 && charName.empty()) code = firstByte;
        dx *= widthScale;
        dy *= widthScale;
        if (code == 0 && charName.empty()) {
            // A zero byte draws nothing.
            position += length;
            continue;
        }
        const double spacing = FState->GetCharSpace() + (code == 32 ? FState->GetWordSpace() : 0);
        if (vertical) {
            FState->SetCurCharW(dy * fontSize);
            dx = 0;
            dy = -(dy * fontSize + spacing);
        } else {
            FState->SetCurCharW(dx * fontSize);
            dx = (dx * fontSize + spacing) * FState->GetHorizScaling();
            dy = 0;
        }
        if (bytesOnly) {
            for (size_t k = 0; k < length; ++k) {
                const auto byte = static_cast<uint8_t>(Str[position + k]);
                const bool last = k + 1 == length;
                if (byte != 0) {
                    FExportDev->DrawChar(*FState, FState->GetCurX(), FState->GetCurY(), last ? dx : 0, last ? dy : 0,
                                         byte, charName);
                }
            }
        } else {
            FExportDev->DrawChar(*FState, FState->GetCurX(), FState->GetCurY(), dx, dy, static_cast<int32_t>(code),
                                 charName);
        }
        FState->Shift(dx, dy);
        position += length;
    }
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
