// The interpreter's handlers for paths, painting, clipping, the graphics
// state, colours, XObjects, shadings, inline images and marked content.

#include <algorithm>

#include "content/colour/PDColorSpace.h"
#include "content/colour/PDDeviceCMYKColorSpace.h"
#include "content/colour/PDDeviceGrayColorSpace.h"
#include "content/colour/PDDeviceRGBColorSpace.h"
#include "content/colour/PDPatternColorSpace.h"
#include "content/device/ContentOperands.h"
#include "content/device/PDContentStream.h"
#include "content/device/PDContents.h"
#include "content/device/PDExportDevice.h"
#include "content/device/PDImage.h"
#include "content/device/PDXObject.h"
#include "content/state/PDGState.h"
#include "content/state/PDState.h"
#include "core/FilterHooks.h"
#include "core/MemoryStream.h"
#include "core/PDArray.h"
#include "core/PDBoolean.h"
#include "core/PDDictionary.h"
#include "core/PDLexer.h"
#include "core/PDParser.h"
#include "core/PDStream.h"
#include "document/PDResource.h"

namespace qz::content {

using core::TqzPDBaseObject;

// ---- paths ----

void TqzPDContentStream::OpMoveTo(TqzPDBaseObject* const* Operands, int32_t /*Count*/) {
    FState->MoveTo(OperandNumber(Operands[0]), OperandNumber(Operands[1]));
}

void TqzPDContentStream::OpLineTo(TqzPDBaseObject* const* Operands, int32_t /*Count*/) {
    if (!FState->GetIsCurrentPoint()) return;
    FState->LineTo(OperandNumber(Operands[0]), OperandNumber(Operands[1]));
}

void TqzPDContentStream::OpCurveTo(TqzPDBaseObject* const* Operands, int32_t /*Count*/) {
    if (!FState->GetIsCurrentPoint()) return;
    FState->CurveTo(OperandNumber(Operands[0]), OperandNumber(Operands[1]), OperandNumber(Operands[2]), OperandNumber(Operands[3]),
                    OperandNumber(Operands[4]), OperandNumber(Operands[5]));
}

void TqzPDContentStream::OpCurveTo1(TqzPDBaseObject* const* Operands, int32_t /*Count*/) {
    if (!FState->GetIsCurrentPoint()) return;
    FState->CurveTo(FState->GetCurX(), FState->GetCurY(), OperandNumber(Operands[0]), OperandNumber(Operands[1]),
                    OperandNumber(Operands[2]), OperandNumber(Operands[3]));
}

void TqzPDContentStream::OpCurveTo2(TqzPDBaseObject* const* Operands, int32_t /*Count*/) {
    if (!FState->GetIsCurrentPoint()) return;
    const double x3 = OperandNumber(Operands[2]);
    const double y3 = OperandNumber(Operands[3]);
    FState->CurveTo(OperandNumber(Operands[0]), OperandNumber(Operands[1]), x3, y3, x3, y3);
}

void TqzPDContentStream::OpClosePath(TqzPDBaseObject* const* /*Operands*/, int32_t /*Count*/) {
    if (!FState->GetIsCurrentPoint()) return;
    FState->ClosePath();
}

void TqzPDContentStream::OpRectangle(TqzPDBaseObject* const* Operands, int32_t /*Count*/) {
    const double x = OperandNumber(Operands[0]);
    const double y = OperandNumber(Operands[1]);
    double w = OperandNumber(Operands[2]);
    double h = OperandNumber(Operands[3]);
    // Sizes below one unit are drawn one unit wide; negative ones stay.
    if (w >= 0 && w < 1) w = 1;
    if (h >= 0 && h < 1) h = 1;
    FState->MoveTo(x, y);
    FState->LineTo(x + w, y);
    FState->LineTo(x + w, y + h);
    FState->LineTo(x, y + h);
    FState->ClosePath();
}

// ---- painting and clipping ----

void TqzPDContentStream::DoEndPath() {
    if (FState->GetIsCurrentPoint()) {
        if (FClip == TqzClip::clipNormal) {
            FExportDev->Clip(*FState);
        } else if (FClip == TqzClip::clipEO) {
            FExportDev->EvenOddClip(*FState);
        }
    }
    FClip = TqzClip::clipNone;
    FState->ClearPath();
}

void TqzPDContentStream::PaintPath(bool close, bool fill, bool evenOdd, bool stroke) {
    // Without a current point nothing happens, and a pending clip waits.
    if (!FState->GetIsCurrentPoint()) return;
    if (FState->GetIsCurrentPath()) {
        if (close) FState->ClosePath();
        if (fill) {
            if (evenOdd) {
                FExportDev->EvenOddFill(*FState);
            } else {
                FExportDev->Fill(*FState);
            }
        }
        if (stroke) FExportDev->Stroke(*FState);
    }
    DoEndPath();
}

void TqzPDContentStream::OpStroke(TqzPDBaseObject* const*, int32_t) { PaintPath(false, false, false, true); }
void TqzPDContentStream::OpCloseStroke(TqzPDBaseObject* const*, int32_t) { PaintPath(true, false, false, true); }
void TqzPDContentStream::OpFill(TqzPDBaseObject* const*, int32_t) { PaintPath(false, true, false, false); }
void TqzPDContentStream::OpEOFill(TqzPDBaseObject* const*, int32_t) { PaintPath(false, true, true, false); }
void TqzPDContentStream::OpFillStroke(TqzPDBaseObject* const*, int32_t) { PaintPath(false, true, false, true); }
void TqzPDContentStream::OpEOFillStroke(TqzPDBaseObject* const*, int32_t) { PaintPath(false, true, true, true); }
void TqzPDContentStream::OpCloseFillStroke(TqzPDBaseObject* const*, int32_t) { PaintPath(true, true, false, true); }
void TqzPDContentStream::OpCloseEOFillStroke(TqzPDBaseObject* const*, int32_t) { PaintPath(true, true, true, true); }
void TqzPDContentStream::OpEndPath(TqzPDBaseObject* const*, int32_t) { PaintPath(false, false, false, false); }
void TqzPDContentStream::OpClip(TqzPDBaseObject* const*, int32_t) { FClip = TqzClip::clipNormal; }
void TqzPDContentStream::OpEOClip(TqzPDBaseObject* const*, int32_t) { FClip = TqzClip::clipEO; }

// ---- graphics state ----

void TqzPDContentStream::OpSave(TqzPDBaseObject* const*, int32_t) { SaveState(); }
void TqzPDContentStream::OpRestore(TqzPDBaseObject* const*, int32_t) { RestoreState(); }

void TqzPDContentStream::OpConcat(TqzPDBaseObject* const* Operands, int32_t /*Count*/) {
    const core::TqzPDMatrix matrix(OperandNumber(Operands[0]), OperandNumber(Operands[1]), OperandNumber(Operands[2]),
                                   OperandNumber(Operands[3]), OperandNumber(Operands[4]), OperandNumber(Operands[5]));
    FState->ConcatCTM(matrix);
    FExportDev->UpdateCTM(*FState, matrix);
    FFontChanged = true;
}

void TqzPDContentStream::OpSetLineWidth(TqzPDBaseObject* const* Operands, int32_t /*Count*/) {
    FState->SetLineWidth(OperandNumber(Operands[0]));
    FExportDev->UpdateLineWidth(*FState);
}

void TqzPDContentStream::OpSetLineCap(TqzPDBaseObject* const* Operands, int32_t /*Count*/) {
    FState->SetLineCap(SaturatedInt32(static_cast<const core::TqzPDInteger*>(Operands[0])->GetValue()));
    FExportDev->UpdateLineCap(*FState);
}

void TqzPDContentStream::OpSetLineJoin(TqzPDBaseObject* const* Operands, int32_t /*Count*/) {
    FState->SetLineJoin(SaturatedInt32(static_cast<const core::TqzPDInteger*>(Operands[0])->GetValue()));
    FExportDev->UpdateLineJoin(*FState);
}

void TqzPDContentStream::OpSetMiterLimit(TqzPDBaseObject* const* Operands, int32_t /*Count*/) {
    FState->SetMiterLimit(OperandNumber(Operands[0]));
    FExportDev->UpdateMiterLimit(*FState);
}

void TqzPDContentStream::OpSetFlat(TqzPDBaseObject* const* Operands, int32_t /*Count*/) {
    FState->SetFlatness(OperandNumber(Operands[0]));
    FExportDev->UpdateFlatness(*FState);
}

void TqzPDContentStream::OpSetDash(TqzPDBaseObject* const* Operands, int32_t /*Count*/) {
    const auto& array = static_cast<const core::TqzPDArray&>(*Operands[0]);
    TqzDashArray dash;
    dash.reserve(static_cast<size_t>(array.GetLength()));
    for (int32_t i = 0; i < array.GetLength(); ++i) {
        // An entry that is not a number counts as 0.
        dash.push_back(static_cast<float>(OperandNumber(array.Get(i))));
    }
    FState->SetLineDash(dash, static_cast<int32_t>(dash.size()), OperandNumber(Operands[1]));
    FExportDev->UpdateLineDash(*FState);
}

void TqzPDContentStream::OpSetExtGState(TqzPDBaseObject* const* Operands, int32_t /*Count*/) {
    FExportDev->EndExGState(*FState);
    if (FPageResource == nullptr) return;
    auto* gState = dynamic_cast<TqzPDGState*>(FPageResource->LookUpGState(OperandName(Operands[0])));
    if (gState == nullptr) return;
    const double strokeAlpha = gState->GetStrokeAlpha();
    if (strokeAlpha != -1) FState->SetStrokeOpacity(strokeAlpha);
    FExportDev->UpdateStrokeOpacity(*FState);
    const double fillAlpha = gState->GetNonStrokeAlpha();
    if (fillAlpha != -1) FState->SetFillOpacity(fillAlpha);
    FExportDev->UpdateFillOpacity(*FState);

    const core::TqzPDDictionary* mask = gState->GetSMask();
    core::TqzPDBaseObject* group = mask != nullptr ? mask->LookUp("G") : nullptr;
    if (group == nullptr) return;
    // The form lives only for the device's call.
    std::unique_ptr<TqzPDXObject> xObject = MakeXObject(FDocument, FPageResource, "Tag", group);
    auto* form = dynamic_cast<TqzPDForm*>(xObject.get());
    if (form == nullptr) return;
    FExportDev->FCurrentDrawingIsSMask = true;
    try {
        FExportDev->DrawFormXObject(*FState, *form);
    } catch (...) {
        FExportDev->FCurrentDrawingIsSMask = false;
        throw;
    }
    // Cleared again so that later forms are not taken for soft masks.
    FExportDev->FCurrentDrawingIsSMask = false;
    FExportDev->UpdateExGStateforGroup(*FState);
}

void TqzPDContentStream::OpSetRenderingIntent(TqzPDBaseObject* const*, int32_t) {}

// ---- colour ----

void TqzPDContentStream::ColorFromArgs(TqzPDBaseObject* const* Operands, int32_t Count, TqzColor& Color) const {
    InitColorObject(Color);
    const int32_t count = std::min(Count, ColorMapMaxComps);
    for (int32_t i = 0; i < count; ++i) Color.Comps[static_cast<size_t>(i)] = OperandComponent(Operands[i]);
}

void TqzPDContentStream::SetFillSpace(std::unique_ptr<TqzPDColorSpace> owned, TqzPDColorSpace* borrowed) {
    if (owned) {
        FState->SetFillColorSpace(std::move(owned));
    } else {
        FState->SetFillColorSpace(borrowed);
    }
}

void TqzPDContentStream::SetStrokeSpace(std::unique_ptr<TqzPDColorSpace> owned, TqzPDColorSpace* borrowed) {
    if (owned) {
        FState->SetStrokeColorSpace(std::move(owned));
    } else {
        FState->SetStrokeColorSpace(borrowed);
    }
}

namespace {

bool IsPatternSpace(const TqzPDColorSpace* space) {
    return space != nullptr && space->GetMode() == TqzColorSpaceMode::csPattern;
}

}  // namespace

// g, rg, k and their stroking twins: a new device space of their own and the
// operands as its colour; only the fill side drops its pattern.
void TqzPDContentStream::SetDeviceColor(bool fill, std::unique_ptr<TqzPDColorSpace> space,
                                        TqzPDBaseObject* const* Operands, int32_t Count) {
    TqzColor color;
    ColorFromArgs(Operands, Count, color);
    if (fill) {
        FState->SetFillPattern(nullptr);
        SetFillSpace(std::move(space), nullptr);
        FExportDev->UpdateFillColorSpace(*FState);
        FState->SetFillColor(color);
        FExportDev->UpdateFillColor(*FState);
    } else {
        SetStrokeSpace(std::move(space), nullptr);
        FExportDev->UpdateStrokeColorSpace(*FState);
        FState->SetStrokeColor(color);
        FExportDev->UpdateStrokeColor(*FState);
    }
}

void TqzPDContentStream::OpSetFillGray(TqzPDBaseObject* const* Operands, int32_t Count) {
    SetDeviceColor(true, std::make_unique<TqzPDDeviceGrayColorSpace>(), Operands, Count);
}

void TqzPDContentStream::OpSetFillRGBColor(TqzPDBaseObject* const* Operands, int32_t Count) {
    SetDeviceColor(true, std::make_unique<TqzPDDeviceRGBColorSpace>(), Operands, Count);
}

void TqzPDContentStream::OpSetFillCMYKColor(TqzPDBaseObject* const* Operands, int32_t Count) {
    SetDeviceColor(true, std::make_unique<TqzPDDeviceCMYKColorSpace>(), Operands, Count);
}

void TqzPDContentStream::OpSetStrokeGray(TqzPDBaseObject* const* Operands, int32_t Count) {
    SetDeviceColor(false, std::make_unique<TqzPDDeviceGrayColorSpace>(), Operands, Count);
}

void TqzPDContentStream::OpSetStrokeRGBColor(TqzPDBaseObject* const* Operands, int32_t Count) {
    SetDeviceColor(false, std::make_unique<TqzPDDeviceRGBColorSpace>(), Operands, Count);
}

void TqzPDContentStream::OpSetStrokeCMYKColor(TqzPDBaseObject* const* Operands, int32_t Count) {
    SetDeviceColor(false, std::make_unique<TqzPDDeviceCMYKColorSpace>(), Operands, Count);
}

TqzPDColorSpace* TqzPDContentStream::ColorSpaceByName(const std::string& name,
                                                      std::unique_ptr<TqzPDColorSpace>& owned) const {
    if (FPageResource != nullptr) {
        if (auto* found = dynamic_cast<TqzPDColorSpace*>(FPageResource->LookUpColorSpace(name))) return found;
    }
    if (name == "DeviceRGB") {
        owned = std::make_unique<TqzPDDeviceRGBColorSpace>();
    } else if (name == "DeviceGray") {
        owned = std::make_unique<TqzPDDeviceGrayColorSpace>();
    } else if (name == "DeviceCMYK") {
        owned = std::make_unique<TqzPDDeviceCMYKColorSpace>();
    } else if (name == "Pattern") {
        owned = std::make_unique<TqzPDPatternColorSpace>(nullptr);
    }
    return owned.get();
}

void TqzPDContentStream::OpSetFillColorSpace(TqzPDBaseObject* const* Operands, int32_t /*Count*/) {
    std::unique_ptr<TqzPDColorSpace> owned;
    TqzPDColorSpace* space = ColorSpaceByName(OperandName(Operands[0]), owned);
    if (space == nullptr) return;
    SetFillSpace(std::move(owned), space);
    FExportDev->UpdateFillColorSpace(*FState);
    TqzColor color;
    InitColorObject(color);
    space->GetDefaultColor(color);
    if (IsPatternSpace(space)) return;
    FState->SetFillColor(color);
    FExportDev->UpdateFillColor(*FState);
}

void TqzPDContentStream::OpSetStrokeColorSpace(TqzPDBaseObject* const* Operands, int32_t /*Count*/) {
    std::unique_ptr<TqzPDColorSpace> owned;
    TqzPDColorSpace* space = ColorSpaceByName(OperandName(Operands[0]), owned);
    if (space == nullptr) return;
    SetStrokeSpace(std::move(owned), space);
    FExportDev->UpdateStrokeColorSpace(*FState);
    TqzColor color;
    InitColorObject(color);
    space->GetDefaultColor(color);
    FState->SetStrokeColor(color);
    FExportDev->UpdateStrokeColor(*FState);
}

void TqzPDContentStream::OpSetFillColor(TqzPDBaseObject* const* Operands, int32_t Count) {
    FState->SetFillPattern(nullptr);
    TqzColor color;
    ColorFromArgs(Operands, Count, color);
    FState->SetFillColor(color);
    FExportDev->UpdateFillColor(*FState);
}

void TqzPDContentStream::OpSetStrokeColor(TqzPDBaseObject* const* Operands, int32_t Count) {
    const TqzPDColorSpace* space = FState->GetStrokeColorSpace();
    if (space != nullptr && Count != space->GetNoOfComps()) return;
    FState->SetStrokePattern(nullptr);
    TqzColor color;
    ColorFromArgs(Operands, Count, color);
    FState->SetStrokeColor(color);
    FExportDev->UpdateStrokeColor(*FState);
}

void TqzPDContentStream::OpSetFillColorN(TqzPDBaseObject* const* Operands, int32_t Count) {
    const TqzPDColorSpace* space = FState->GetFillColorSpace();
    if (IsPatternSpace(space)) {
        // No pattern element is made yet (the resources' pattern maker is
        // not filled), so the look-up finds none and the fill pattern is
        // cleared; the components and the inner-pattern mark go to the
        // pattern found once patterns exist.
        document::TqzPDPattern* pattern = nullptr;
        if (Count >= 1 && FPageResource != nullptr && Operands[Count - 1]->IsName()) {
            pattern = FPageResource->LookUpPattern(OperandName(Operands[Count - 1]), 1);
        }
        FState->SetFillPattern(pattern);
        return;
    }
    FState->SetFillPattern(nullptr);
    if (space != nullptr && Count != space->GetNoOfComps()) return;
    TqzColor color;
    ColorFromArgs(Operands, Count, color);
    FState->SetFillColor(color);
    FExportDev->UpdateFillColor(*FState);
}

void TqzPDContentStream::OpSetStrokeColorN(TqzPDBaseObject* const* Operands, int32_t Count) {
    const TqzPDColorSpace* space = FState->GetStrokeColorSpace();
    if (IsPatternSpace(space)) {
        if (Count > 1) {
            const TqzPDColorSpace* under = static_cast<const TqzPDPatternColorSpace*>(space)->GetUnder();
            if (under == nullptr || Count != under->GetNoOfComps() + 1) return;
            TqzColor color;
            ColorFromArgs(Operands, Count - 1, color);
            FState->SetStrokeColor(color);
            FExportDev->UpdateStrokeColor(*FState);
        }
        if (Count >= 1 && FPageResource != nullptr && Operands[Count - 1]->IsName()) {
            // None until patterns are made (see scn).
            if (auto* pattern = FPageResource->LookUpPattern(OperandName(Operands[Count - 1]), 1)) {
                FState->SetStrokePattern(pattern);
            }
        }
        return;
    }
    if (space != nullptr && Count != space->GetNoOfComps()) return;
    FState->SetStrokePattern(nullptr);
    TqzColor color;
    ColorFromArgs(Operands, Count, color);
    FState->SetStrokeColor(color);
    FExportDev->UpdateStrokeColor(*FState);
}

// ---- XObjects and shadings ----

void TqzPDContentStream::OpXObject(TqzPDBaseObject* const* Operands, int32_t /*Count*/) {
    if (FPageResource == nullptr) return;
    auto* xObject = dynamic_cast<TqzPDXObject*>(FPageResource->LookUpXObject(OperandName(Operands[0])));
    if (xObject == nullptr) return;
    // The device draws a form itself, calling DispalyObject back if it
    // wants its content.
    if (xObject->GetSubType() == TqzXObjectType::xtImage) {
        if (auto* image = dynamic_cast<TqzPDImage*>(xObject)) FExportDev->DrawImage(*FState, *image);
    } else if (auto* form = dynamic_cast<TqzPDForm*>(xObject)) {
        FExportDev->DrawFormXObject(*FState, *form);
    }
}

void TqzPDContentStream::OpShFill(TqzPDBaseObject* const* Operands, int32_t /*Count*/) {
    if (FPageResource == nullptr) return;
    // Shadings are not modelled yet: the resources make no shading element,
    // so the look-up finds none and nothing is painted. With shadings, the
    // device gets ProcessShadingPattern, the shading becomes the fill
    // pattern, then DoPathShade.
    if (FPageResource->LookUpPattern(OperandName(Operands[0])) == nullptr) return;
}

// ---- inline images ----

namespace {

bool IsWhite(int c) { return c == 0 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32; }

bool IsDelimiterOrWhite(int c) {
    return c < 0 || IsWhite(c) || c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' ||
           c == '{' || c == '}' || c == '/' || c == '%';
}

const core::TqzPDBaseObject* Entry(const core::TqzPDDictionary& dict, std::string_view longKey,
                                   std::string_view shortKey) {
    const core::TqzPDBaseObject* value = dict.LookUp(longKey);
    return value != nullptr ? value : dict.LookUp(shortKey);
}

// The byte count of unfiltered image data, or -1 when it cannot be told
// (filtered data, a colour space named in the resources, missing sizes).
int64_t ExpectedImageBytes(const core::TqzPDDictionary& dict) {
    if (Entry(dict, "Filter", "F") != nullptr) return -1;
    const core::TqzPDBaseObject* width = Entry(dict, "Width", "W");
    const core::TqzPDBaseObject* height = Entry(dict, "Height", "H");
    if (width == nullptr || height == nullptr || !width->IsInteger() || !height->IsInteger()) return -1;
    const core::TqzPDBaseObject* mask = Entry(dict, "ImageMask", "IM");
    const bool isMask = mask != nullptr && mask->IsBoolean() && static_cast<const core::TqzPDBoolean*>(mask)->GetValue();
    int64_t bits = 1;
    int64_t comps = 1;
    if (!isMask) {
        const core::TqzPDBaseObject* bpc = Entry(dict, "BitsPerComponent", "BPC");
        if (bpc == nullptr || !bpc->IsInteger()) return -1;
        bits = static_cast<const core::TqzPDInteger*>(bpc)->GetValue();
        const core::TqzPDBaseObject* space = Entry(dict, "ColorSpace", "CS");
        if (space == nullptr) return -1;
        if (space->IsName("DeviceGray") || space->IsName("G")) {
            comps = 1;
        } else if (space->IsName("DeviceRGB") || space->IsName("RGB")) {
            comps = 3;
        } else if (space->IsName("DeviceCMYK") || space->IsName("CMYK")) {
            comps = 4;
        } else if (space->IsArray() && static_cast<const core::TqzPDArray*>(space)->GetLength() > 0 &&
                   (static_cast<const core::TqzPDArray*>(space)->Get(0)->IsName("Indexed") ||
                    static_cast<const core::TqzPDArray*>(space)->Get(0)->IsName("I"))) {
            comps = 1;
        } else {
            return -1;
        }
    }
    const int64_t w = static_cast<const core::TqzPDInteger*>(width)->GetValue();
    const int64_t h = static_cast<const core::TqzPDInteger*>(height)->GetValue();
    if (w <= 0 || h <= 0 || bits <= 0 || bits > 16 || w > (int64_t{1} << 24) || h > (int64_t{1} << 24)) return -1;
    const int64_t rowBytes = (w * comps * bits + 7) / 8;
    return rowBytes * h;
}

}  // namespace

std::string TqzPDContentStream::ReadInlineImageData(const core::TqzPDBaseObject* dictObject) {
    // Binary data may hold "EI" anywhere. Unfiltered data has a known size
    // and ends after it; otherwise EI counts only between white space (or
    // the end of ASCII data) and a delimiter, white space or the end.
    const auto& dict = static_cast<const core::TqzPDDictionary&>(*dictObject);
    const int64_t expected = ExpectedImageBytes(dict);
    core::TqzPDLexer& lexer = FParser->GetLexer();
    std::string data;
    int64_t count = 0;  // bytes read so far, kept or not
    int previous = ' ';
    for (;;) {
        const int c = lexer.GetChar();
        if (c < 0) return data;
        const bool boundary = IsWhite(previous) || previous == '>' || count == expected;
        if (c == 'E' && boundary && lexer.LookChar() == 'I' && (expected < 0 || count >= expected)) {
            lexer.GetChar();
            if (IsDelimiterOrWhite(lexer.LookChar())) {
                // The white space before EI belongs to the operator.
                if (expected >= 0) {
                    if (static_cast<int64_t>(data.size()) > expected) data.resize(static_cast<size_t>(expected));
                } else if (!data.empty() && IsWhite(previous)) {
                    data.pop_back();
                }
                return data;
            }
            // Not the end: both bytes are data.
            for (const int b : {c, static_cast<int>('I')}) {
                if (count < kMaxInlineImageBytes) data.push_back(static_cast<char>(b));
                ++count;
            }
            previous = 'I';
            continue;
        }
        if (count < kMaxInlineImageBytes) data.push_back(static_cast<char>(c));
        ++count;
        previous = c;
    }
}

core::TqzPDElement* TqzPDContentStream::ImageParentElement() const {
    // A page's content belongs to its contents list; the image to the page.
    if (dynamic_cast<const TqzPDContents*>(FParentElement) != nullptr) return FParentElement->GetParentElement();
    return FParentElement;
}

void TqzPDContentStream::OpBeginImage(TqzPDBaseObject* const* /*Operands*/, int32_t /*Count*/) {
    auto dict = std::make_unique<core::TqzPDDictionary>(GetParentDoc());
    bool ended = false;
    for (;;) {
        std::unique_ptr<TqzPDBaseObject> key = FParser->GetObject();
        if (key->IsEOF()) return;  // no image
        if (key->IsCommand("ID")) break;
        if (!key->IsName()) continue;
        std::unique_ptr<TqzPDBaseObject> value = FParser->GetObject();
        if (value->IsCommand("ID")) break;
        if (value->IsEOF() || value->IsError()) {
            ended = value->IsEOF();
            break;
        }
        dict->Add(static_cast<const core::TqzPDName&>(*key).GetValue(), std::move(value));
    }
    std::string data = ended ? std::string() : ReadInlineImageData(dict.get());

    auto raw = std::make_shared<core::TqzMemoryStream>(std::move(data));
    std::unique_ptr<core::TqzPDStream> stream;
    const auto& getFilter = core::FilterHooks().GetFilter;
    if (getFilter && (dict->LookUp("Filter") != nullptr || dict->LookUp("F") != nullptr)) {
        stream = getFilter(std::move(dict), raw);
    } else {
        stream = std::make_unique<core::TqzPDStream>(raw, std::move(dict));
    }
    if (!stream) return;  // a malformed filter entry
    // The image keeps its data, so it stays valid after the device call.
    TqzPDImage image(FDocument, ImageParentElement(), std::move(stream));
    FExportDev->DrawImage(*FState, image);
}

void TqzPDContentStream::OpImageData(TqzPDBaseObject* const*, int32_t) {}
void TqzPDContentStream::OpEndImage(TqzPDBaseObject* const*, int32_t) {}

// ---- compatibility, marked content, glyph metrics ----

void TqzPDContentStream::OpBeginIgnoreUndef(TqzPDBaseObject* const*, int32_t) { ++FIgnoreUndef; }

void TqzPDContentStream::OpEndIgnoreUndef(TqzPDBaseObject* const*, int32_t) {
    if (FIgnoreUndef > 0) --FIgnoreUndef;
}

void TqzPDContentStream::OpBeginMarkedContent(TqzPDBaseObject* const*, int32_t) {}
void TqzPDContentStream::OpMarkPoint(TqzPDBaseObject* const*, int32_t) {}
void TqzPDContentStream::OpEndMarkedContent(TqzPDBaseObject* const*, int32_t) {}
void TqzPDContentStream::OpSetCharWidth(TqzPDBaseObject* const*, int32_t) {}
void TqzPDContentStream::OpSetCacheDevice(TqzPDBaseObject* const*, int32_t) {}

}  // namespace qz::content
