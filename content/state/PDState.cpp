#include "content/state/PDState.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "content/colour/PDDeviceGrayColorSpace.h"
#include "core/PDRect.h"

namespace qz::content {

namespace {

double ClampCTMEntry(double value) {
    if (std::isnan(value)) return -kMaxCTMEntry;
    return std::clamp(value, -kMaxCTMEntry, kMaxCTMEntry);
}

bool IsPatternSpace(const TqzPDColorSpace* space) {
    return space->GetMode() == TqzColorSpaceMode::csPattern;
}

}  // namespace

TqzPDState::TqzPDState(Uninitialised) {}

TqzPDState::TqzPDState(double hDPI, double vDPI, int32_t rotate, const core::TqzPDRect* box)
    : FPath(std::make_unique<TqzPDPath>()),
      FLineWidth(1.0),
      FMiterLimit(10.0),
      FFillOpacity(1.0),
      FFlatness(1.0),
      FvDPI(vDPI),
      FhDPI(hDPI),
      FX2(850),
      FY2(1191),
      FHorizScaling(1.0),
      FStrokeOpacity(1.0),
      FRotate(rotate) {
    if (box != nullptr) {
        FX1 = box->GetLeft();
        FY1 = box->GetTop();
        FX2 = box->GetRight();
        FY2 = box->GetBottom();
        if (FX1 > FX2) std::swap(FX1, FX2);
        if (FY1 > FY2) std::swap(FY1, FY2);
    }
    const double sx = hDPI / 72.0;
    const double sy = vDPI / 72.0;
    // Device y grows with page y; the devices turn it over themselves.
    switch (rotate) {
        case 90:
            FCTM.SetValues(0, -sy, sx, 0, -sx * FY1, sy * FX2);
            FPageWidth = sx * (FY2 - FY1);
            FPageHeight = sy * (FX2 - FX1);
            break;
        case 180:
            FCTM.SetValues(-sx, 0, 0, -sy, sx * FX2, sy * FY2);
            FPageWidth = sx * (FX2 - FX1);
            FPageHeight = sy * (FY2 - FY1);
            break;
        case 270:
            FCTM.SetValues(0, sy, -sx, 0, sx * FY2, -sy * FX1);
            FPageWidth = sx * (FY2 - FY1);
            FPageHeight = sy * (FX2 - FX1);
            break;
        default:
            FCTM.SetValues(sx, 0, 0, sy, -sx * FX1, -sy * FY1);
            FPageWidth = sx * (FX2 - FX1);
            FPageHeight = sy * (FY2 - FY1);
            break;
    }
    SetFillColorSpace(std::make_unique<TqzPDDeviceGrayColorSpace>());
    SetStrokeColorSpace(std::make_unique<TqzPDDeviceGrayColorSpace>());
}

TqzPDState::~TqzPDState() {
    // Frees the saved chain one state at a time rather than by recursion.
    std::unique_ptr<TqzPDState> next = std::move(FSaved);
    while (next) next = std::move(next->FSaved);
}

std::unique_ptr<TqzPDState> TqzPDState::Copy() const {
    std::unique_ptr<TqzPDState> copy(new TqzPDState(Uninitialised{}));
    copy->FPath = FPath->Copy();
    copy->FLineJoin = FLineJoin;
    if (FLineLength > 0) copy->FLineDash = FLineDash;
    copy->FLineLength = FLineLength;
    copy->FLineStart = FLineStart;
    copy->FLineWidth = FLineWidth;
    copy->FLineCap = FLineCap;
    copy->FMiterLimit = FMiterLimit;
    copy->FFillOpacity = FFillOpacity;
    copy->FFlatness = FFlatness;
    copy->FvDPI = FvDPI;
    copy->FhDPI = FhDPI;
    copy->FPageWidth = FPageWidth;
    copy->FPageHeight = FPageHeight;
    copy->FX1 = FX1;
    copy->FY1 = FY1;
    copy->FX2 = FX2;
    copy->FY2 = FY2;
    copy->FLineX = FLineX;
    copy->FLineY = FLineY;
    copy->FCurX = FCurX;
    copy->FCurY = FCurY;
    copy->FCTM = FCTM;
    copy->FTextMatrix = FTextMatrix;
    copy->FFontSize = FFontSize;
    copy->FFont = FFont;
    copy->FWordSpace = FWordSpace;
    copy->FCharSpace = FCharSpace;
    copy->FStrokeAdjust = FStrokeAdjust;
    copy->FHorizScaling = FHorizScaling;
    copy->FFillOverprint = FFillOverprint;
    copy->FStrokeOverPrint = FStrokeOverPrint;
    copy->FRender = FRender;
    copy->FLeading = FLeading;
    copy->FStrokeOpacity = FStrokeOpacity;
    copy->FFillPattern = FFillPattern;
    copy->FStrokeColorSpace = FStrokeColorSpace;
    copy->FFillColorSpace = FFillColorSpace;
    copy->FFillColor = FFillColor;
    copy->FStrokeColor = FStrokeColor;
    copy->FStrokePattern = FStrokePattern;
    copy->FRise = FRise;
    copy->FRotate = FRotate;
    copy->FPatternParentTransform = FPatternParentTransform;
    copy->FSMaskState = FSMaskState;
    copy->FPageNumber = FPageNumber;
    return copy;
}

std::unique_ptr<TqzPDState> TqzPDState::Save(std::unique_ptr<TqzPDState> state) {
    if (!state) return state;
    if (state->FSaveDepth >= kMaxSaveDepth) {
        ++state->FIgnoredSaves;
        return state;
    }
    // The path goes up rather than being copied: Restore hands the top's
    // path back anyway, and copying a long path on every q costs quadratic
    // time.
    auto path = std::move(state->FPath);
    state->FPath = std::make_unique<TqzPDPath>();
    auto copy = state->Copy();
    copy->FPath = std::move(path);
    copy->FSaveDepth = state->FSaveDepth + 1;
    copy->FSaved = std::move(state);
    return copy;
}

std::unique_ptr<TqzPDState> TqzPDState::Restore(std::unique_ptr<TqzPDState> state) {
    if (!state) return state;
    if (state->FIgnoredSaves > 0) {
        --state->FIgnoredSaves;
        return state;
    }
    if (!state->FSaved) return state;
    auto below = std::move(state->FSaved);
    below->FPath = std::move(state->FPath);
    state->FPath = std::make_unique<TqzPDPath>();
    below->FCurX = state->FCurX;
    below->FCurY = state->FCurY;
    below->FLineX = state->FLineX;
    below->FLineY = state->FLineY;
    return below;
}

void TqzPDState::MoveTo(double x, double y) {
    const double adjusted = AdjustY(y);
    FPath->MoveTo(x, adjusted);
    FCurX = x;
    FCurY = adjusted;
}

void TqzPDState::LineTo(double x, double y) {
    const double adjusted = AdjustY(y);
    FPath->LineTo(x, adjusted);
    FCurX = x;
    FCurY = adjusted;
}

void TqzPDState::CurveTo(double x1, double y1, double x2, double y2, double x3, double y3) {
    FPath->CurveTo(x1, y1, x2, y2, x3, y3);
    FCurX = x3;
    FCurY = y3;
}

void TqzPDState::ClosePath() {
    FPath->Close();
    FCurX = FPath->LastX();
    FCurY = FPath->LastY();
}

void TqzPDState::ClearPath() {
    FPath = std::make_unique<TqzPDPath>();
}

void TqzPDState::SetPath(std::unique_ptr<TqzPDPath> value) {
    FPath = value ? std::move(value) : std::make_unique<TqzPDPath>();
}

void TqzPDState::TextMoveTo(double tx, double ty) {
    FLineX = tx;
    FLineY = AdjustY(ty);
    FCurX = FLineX;
    FCurY = FLineY;
}

void TqzPDState::TextSetPos(double tx, double ty) {
    FLineX = tx;
    FLineY = ty;
}

void TqzPDState::Shift(double dx, double dy) {
    FCurX += dx;
    FCurY += dy;
}

void TqzPDState::TextShift(double tx, double ty) {
    Shift(tx, ty);
}

void TqzPDState::ConcatCTM(const core::TqzPDMatrix& m) {
    const core::TqzPDMatrix& t = FCTM;
    FCTM.SetValues(ClampCTMEntry(m.FM11 * t.FM11 + m.FM12 * t.FM21),
                   ClampCTMEntry(m.FM11 * t.FM12 + m.FM12 * t.FM22),
                   ClampCTMEntry(m.FM21 * t.FM11 + m.FM22 * t.FM21),
                   ClampCTMEntry(m.FM21 * t.FM12 + m.FM22 * t.FM22),
                   ClampCTMEntry(m.FDx * t.FM11 + m.FDy * t.FM21 + t.FDx),
                   ClampCTMEntry(m.FDx * t.FM12 + m.FDy * t.FM22 + t.FDy));
}

core::TqzPDMatrix TqzPDState::GetFontTransMatrix() const {
    const core::TqzPDMatrix& tm = FTextMatrix;
    const core::TqzPDMatrix& c = FCTM;
    return core::TqzPDMatrix((tm.FM11 * c.FM11 + tm.FM12 * c.FM21) * FFontSize,
                             (tm.FM11 * c.FM12 + tm.FM12 * c.FM22) * FFontSize,
                             (tm.FM21 * c.FM11 + tm.FM22 * c.FM21) * FFontSize,
                             (tm.FM21 * c.FM12 + tm.FM22 * c.FM22) * FFontSize, 0, 0);
}

double TqzPDState::GetTransformedFontSize() const {
    const double ux = FTextMatrix.FM21 * FFontSize;
    const double uy = FTextMatrix.FM22 * FFontSize;
    const double vx = FCTM.FM11 * ux + FCTM.FM21 * uy;
    const double vy = FCTM.FM12 * ux + FCTM.FM22 * uy;
    return std::pow(vx * vx + vy * vy, 0.5);
}

void TqzPDState::Transform(double x1, double y1, double& x2, double& y2) const {
    x2 = FCTM.FM11 * x1 + FCTM.FM21 * y1 + FCTM.FDx;
    y2 = FCTM.FM12 * x1 + FCTM.FM22 * y1 + FCTM.FDy;
}

void TqzPDState::TransformDelta(double x1, double y1, double& x2, double& y2) const {
    x2 = FCTM.FM11 * x1 + FCTM.FM21 * y1;
    y2 = FCTM.FM12 * x1 + FCTM.FM22 * y1;
}

void TqzPDState::GetFillGray(int64_t& gray) const {
    gray = 0;
    if (FFillColorSpace != nullptr) FFillColorSpace->GetGray(FFillColor, gray);
}

void TqzPDState::GetFillCMYK(TqzCMYK& cmyk) const {
    cmyk = {};
    if (FFillColorSpace != nullptr) FFillColorSpace->GetCMYK(FFillColor, cmyk);
}

void TqzPDState::GetStrokeGray(int64_t& gray) const {
    gray = 0;
    if (FStrokeColorSpace != nullptr) FStrokeColorSpace->GetGray(FStrokeColor, gray);
}

void TqzPDState::GetStrokeCMYK(TqzCMYK& cmyk) const {
    cmyk = {};
    if (FStrokeColorSpace != nullptr) FStrokeColorSpace->GetCMYK(FStrokeColor, cmyk);
}

void TqzPDState::GetFillRGB(TqzRGB& rgb) const {
    if (FFillColorSpace != nullptr && !IsPatternSpace(FFillColorSpace)) {
        FFillColorSpace->GetRGB(FFillColor, rgb);
        return;
    }
    rgb = {FFillColor.Comps[0], FFillColor.Comps[1], FFillColor.Comps[2]};
}

void TqzPDState::GetStrokeRGB(TqzRGB& rgb) const {
    if (FStrokeColorSpace == nullptr) {
        rgb = {};
    } else if (IsPatternSpace(FStrokeColorSpace)) {
        rgb = {FStrokeColor.Comps[0], FStrokeColor.Comps[1], FStrokeColor.Comps[2]};
    } else {
        FStrokeColorSpace->GetRGB(FStrokeColor, rgb);
    }
}

void TqzPDState::SetSpace(std::unique_ptr<TqzPDColorSpace>& holder, TqzPDColorSpace*& space,
                          TqzPDColorSpace* value, std::unique_ptr<TqzPDColorSpace> owned) {
    if (value == space) {
        // The same space again: freeing it first would leave it dangling.
        if (owned && !holder) holder = std::move(owned);
        (void)owned.release();
        return;
    }
    holder.reset();
    space = value;
    holder = std::move(owned);
}

void TqzPDState::SetOwned(std::unique_ptr<TqzPDColorSpace>& holder, TqzPDColorSpace* space,
                          bool value) {
    if (value) {
        if (!holder && space != nullptr) holder.reset(space);
    } else {
        (void)holder.release();
    }
}

void TqzPDState::SetFillColorSpace(TqzPDColorSpace* value) {
    SetSpace(FFillCSHolder, FFillColorSpace, value, nullptr);
}

void TqzPDState::SetFillColorSpace(std::unique_ptr<TqzPDColorSpace> value) {
    TqzPDColorSpace* raw = value.get();
    SetSpace(FFillCSHolder, FFillColorSpace, raw, std::move(value));
}

void TqzPDState::SetStrokeColorSpace(TqzPDColorSpace* value) {
    SetSpace(FStrokeCSHolder, FStrokeColorSpace, value, nullptr);
}

void TqzPDState::SetStrokeColorSpace(std::unique_ptr<TqzPDColorSpace> value) {
    TqzPDColorSpace* raw = value.get();
    SetSpace(FStrokeCSHolder, FStrokeColorSpace, raw, std::move(value));
}

void TqzPDState::GetLineDash(TqzDashArray& dash, int32_t& length, double& start) const {
    dash = FLineDash;
    length = FLineLength;
    start = FLineStart;
}

void TqzPDState::SetLineDash(const TqzDashArray& dash, int32_t length, double start) {
    // A count beyond the entries given would read past them.
    const auto count = std::clamp<int64_t>(length, 0, static_cast<int64_t>(dash.size()));
    FLineDash.assign(dash.begin(), dash.begin() + count);
    FLineLength = static_cast<int32_t>(count);
    FLineStart = start;
}

}  // namespace qz::content
