#pragma once
// A test device that logs every call it receives, with its arguments, as
// one text line each ("Fill M 0 0 L 10 0 ...", "UpdateCTM 1 0 0 1 10 20",
// "DrawFormXObject Fm1"). With InterpretForms set it draws the forms it is
// handed as a renderer would: it concatenates the form's /Matrix to a copy
// of the state, clips to the /BBox (a logged Clip) and interprets the
// form's content through DispalyObject, so nested forms are logged with
// their matrices and boxes.

#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "content/colour/PDColorSpace.h"
#include "content/device/PDContentStream.h"
#include "content/device/PDExportDevice.h"
#include "content/device/PDImage.h"
#include "content/device/PDXObject.h"
#include "content/state/PDPath.h"
#include "content/state/PDState.h"
#include "core/PDDictionary.h"
#include "core/PDInteger.h"
#include "core/PDRect.h"
#include "core/PDStream.h"
#include "document/PDResource.h"

namespace qz::content::testing {

// Shortest text that reads back as the same double; -0 as 0.
inline std::string Num(double value) {
    if (value == 0) value = 0;
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

inline std::string MatrixText(const core::TqzPDMatrix& m) {
    return Num(m.FM11) + " " + Num(m.FM12) + " " + Num(m.FM21) + " " + Num(m.FM22) + " " + Num(m.FDx) + " " +
           Num(m.FDy);
}

// The components a colour space uses (at least one), as numbers of 1.0.
inline std::string ColorText(const TqzColor& color, const TqzPDColorSpace* space) {
    int32_t count = space != nullptr ? space->GetNoOfComps() : 1;
    if (count < 1) count = 1;
    std::string text;
    for (int32_t i = 0; i < count; ++i) {
        text += (i ? " " : "") + Num(static_cast<double>(color.Comps[static_cast<size_t>(i)]) / 65536.0);
    }
    return text;
}

// The state's path: "M x y", "L x y", "C x1 y1 x2 y2 x3 y3", "Z" per subpath.
std::string PathText(const TqzPDState& state);

class RecordingDevice : public TqzPDExportDevice {
public:
    std::vector<std::string> Log;
    // Draw forms by interpreting their content.
    bool InterpretForms = false;
    // Log UpdateAll as its single updates instead of one line.
    bool ExpandUpdateAll = false;
    // Painting lines end with the state's CTM (" ctm a b c d e f").
    bool LogCTM = false;
    // Resources for forms that have none of their own.
    document::TqzPDResource* FallbackResources = nullptr;

    // The lines that start with one of `names` (all lines when empty).
    std::vector<std::string> Lines(const std::vector<std::string>& names = {}) const {
        if (names.empty()) return Log;
        std::vector<std::string> out;
        for (const auto& line : Log) {
            for (const auto& name : names) {
                if (line == name || line.rfind(name + " ", 0) == 0) {
                    out.push_back(line);
                    break;
                }
            }
        }
        return out;
    }

    void SetDefaultCTM(const core::TqzPDMatrix& Matrix) override {
        TqzPDExportDevice::SetDefaultCTM(Matrix);
        Log.push_back("SetDefaultCTM " + MatrixText(Matrix));
    }
    void StartPage(int32_t nPage, TqzPDState&) override { Log.push_back("StartPage " + std::to_string(nPage)); }
    void EndPage() override { Log.push_back("EndPage"); }
    void SaveState(TqzPDState&) override { Log.push_back("SaveState"); }
    void RestoreState(TqzPDState&) override { Log.push_back("RestoreState"); }
    void UpdateAll(TqzPDState& State) override {
        if (ExpandUpdateAll) {
            TqzPDExportDevice::UpdateAll(State);
        } else {
            Log.push_back("UpdateAll");
        }
    }
    void UpdateCTM(TqzPDState&, const core::TqzPDMatrix& CTM) override { Log.push_back("UpdateCTM " + MatrixText(CTM)); }
    void UpdateLineDash(TqzPDState& State) override {
        TqzDashArray dash;
        int32_t length = 0;
        double start = 0;
        State.GetLineDash(dash, length, start);
        std::string text = "UpdateLineDash [";
        for (size_t i = 0; i < dash.size(); ++i) text += (i ? " " : "") + Num(dash[i]);
        Log.push_back(text + "] " + Num(start));
    }
    void UpdateFlatness(TqzPDState& State) override { Log.push_back("UpdateFlatness " + Num(State.GetFlatness())); }
    void UpdateLineJoin(TqzPDState& State) override {
        Log.push_back("UpdateLineJoin " + std::to_string(State.GetLineJoin()));
    }
    void UpdateLineCap(TqzPDState& State) override { Log.push_back("UpdateLineCap " + std::to_string(State.GetLineCap())); }
    void UpdateMiterLimit(TqzPDState& State) override { Log.push_back("UpdateMiterLimit " + Num(State.GetMiterLimit())); }
    void UpdateLineWidth(TqzPDState& State) override { Log.push_back("UpdateLineWidth " + Num(State.GetLineWidth())); }
    void UpdateStrokeAdjust(TqzPDState&) override { Log.push_back("UpdateStrokeAdjust"); }
    void UpdateFillColorSpace(TqzPDState& State) override {
        Log.push_back("UpdateFillColorSpace " + SpaceText(State.GetFillColorSpace()));
    }
    void UpdateStrokeColorSpace(TqzPDState& State) override {
        Log.push_back("UpdateStrokeColorSpace " + SpaceText(State.GetStrokeColorSpace()));
    }
    void UpdateFillColor(TqzPDState& State) override {
        Log.push_back("UpdateFillColor " + ColorText(FillColor(State), State.GetFillColorSpace()));
    }
    void UpdateStrokeColor(TqzPDState& State) override {
        Log.push_back("UpdateStrokeColor " + ColorText(StrokeColor(State), State.GetStrokeColorSpace()));
    }
    void UpdateBlendMode(TqzPDState&) override { Log.push_back("UpdateBlendMode"); }
    void UpdateFillOpacity(TqzPDState& State) override { Log.push_back("UpdateFillOpacity " + Num(State.GetFillOpacity())); }
    void UpdateStrokeOpacity(TqzPDState& State) override {
        Log.push_back("UpdateStrokeOpacity " + Num(State.GetStrokeOpacity()));
    }
    void UpdateFillOverPrint(TqzPDState&) override { Log.push_back("UpdateFillOverPrint"); }
    void UpdateStrokeOverPrint(TqzPDState&) override { Log.push_back("UpdateStrokeOverPrint"); }
    void UpdateTransfer(TqzPDState&) override { Log.push_back("UpdateTransfer"); }
    void UpdateExGStateforGroup(TqzPDState&) override { Log.push_back("UpdateExGStateforGroup"); }
    void EndExGState(TqzPDState&) override { Log.push_back("EndExGState"); }
    void UpdateFont(TqzPDState& State) override { Log.push_back("UpdateFont " + Num(State.GetFontSize())); }
    void UpdateTextMatrix(TqzPDState& State) override {
        Log.push_back("UpdateTextMatrix " + MatrixText(State.GetTextMatrix()));
    }
    void UpdateCharSpace(TqzPDState& State) override { Log.push_back("UpdateCharSpace " + Num(State.GetCharSpace())); }
    void UpdateRender(TqzPDState& State) override { Log.push_back("UpdateRender " + Num(State.GetRender())); }
    void UpdateRise(TqzPDState& State) override { Log.push_back("UpdateRise " + Num(State.GetRise())); }
    void UpdateWordSpace(TqzPDState& State) override { Log.push_back("UpdateWordSpace " + Num(State.GetWordSpace())); }
    void UpdateHorizScaling(TqzPDState& State) override {
        Log.push_back("UpdateHorizScaling " + Num(State.GetHorizScaling()));
    }
    void UpdateTextPos(TqzPDState& State) override {
        Log.push_back("UpdateTextPos " + Num(State.GetCurX()) + " " + Num(State.GetCurY()));
    }
    void UpdateTextShift(TqzPDState& State, double shift) override {
        Log.push_back("UpdateTextShift " + Num(shift) + " at " + Num(State.GetCurX()) + " " + Num(State.GetCurY()));
    }
    void Stroke(TqzPDState& State) override { Log.push_back(WithPath("Stroke", State)); }
    void Fill(TqzPDState& State) override { Log.push_back(WithPath("Fill", State)); }
    void EvenOddFill(TqzPDState& State) override { Log.push_back(WithPath("EvenOddFill", State)); }
    void Clip(TqzPDState& State) override { Log.push_back(WithPath("Clip", State)); }
    void EvenOddClip(TqzPDState& State) override { Log.push_back(WithPath("EvenOddClip", State)); }
    void DoPathShade(TqzPDState&) override { Log.push_back("DoPathShade"); }
    void ProcessShadingPattern(TqzPDState&, TqzPDShadingPattern*, const core::TqzPDMatrix&, bool) override {
        Log.push_back("ProcessShadingPattern");
    }
    void BeginStringOp(TqzPDState&) override { Log.push_back("BeginStringOp"); }
    void EndStringOp(TqzPDState&) override { Log.push_back("EndStringOp"); }
    void BeginString(TqzPDState&, const std::string& Str) override { Log.push_back("BeginString " + Str); }
    void EndString(TqzPDState&) override { Log.push_back("EndString"); }
    void DrawChar(TqzPDState&, double X, double Y, double Dx, double Dy, int32_t Code,
                  const std::string& CharName) override {
        Log.push_back("DrawChar " + Num(X) + " " + Num(Y) + " " + Num(Dx) + " " + Num(Dy) + " " +
                      std::to_string(Code) + " " + CharName);
    }
    void EndTextObject(TqzPDState&) override { Log.push_back("EndTextObject"); }
    void RawTextOut(TqzPDState&, double X, double Y, const std::string& AText) override {
        Log.push_back("RawTextOut " + Num(X) + " " + Num(Y) + " " + AText);
    }
    void DrawImage(TqzPDState&, TqzPDImage& Image) override {
        std::string text = "DrawImage";
        text += Image.GetIsInline() ? " inline" : " " + Image.GetTagName();
        if (core::TqzPDStream* stream = Image.GetStream()) {
            text += " " + Entry(stream->GetDict(), "Width", "W") + "x" + Entry(stream->GetDict(), "Height", "H");
            std::string data;
            stream->Reset();
            uint8_t block[4096];
            for (int32_t read; (read = stream->Read(block, sizeof block)) > 0;) {
                data.append(reinterpret_cast<const char*>(block), static_cast<size_t>(read));
            }
            text += " data " + data;
        }
        Log.push_back(text);
    }
    void DrawFormXObject(TqzPDState& State, TqzPDForm& Form) override {
        Log.push_back("DrawFormXObject " + Form.GetTagName() + (FCurrentDrawingIsSMask ? " smask" : ""));
        if (!InterpretForms) return;
        std::unique_ptr<TqzPDState> copy = State.Copy();
        if (const core::TqzPDMatrix* matrix = Form.GetMatrix()) {
            copy->ConcatCTM(*matrix);
            UpdateCTM(*copy, *matrix);
        }
        if (const core::TqzPDRect* box = Form.GetBBox()) {
            copy->MoveTo(box->GetLeft(), box->GetTop());
            copy->LineTo(box->GetRight(), box->GetTop());
            copy->LineTo(box->GetRight(), box->GetBottom());
            copy->LineTo(box->GetLeft(), box->GetBottom());
            copy->ClosePath();
            Clip(*copy);
            copy->ClearPath();
        }
        document::TqzPDResource* resources = Form.GetResources();
        if (resources == nullptr) resources = FallbackResources;
        TqzPDContentStream content(Form.GetDocument(), &Form, Form.GetBaseObject());
        content.DispalyObject(*this, *copy, resources);
        Log.push_back("EndForm " + Form.GetTagName());
    }

private:
    static TqzColor FillColor(const TqzPDState& state) {
        TqzColor color;
        state.GetFillColor(color);
        return color;
    }
    static TqzColor StrokeColor(const TqzPDState& state) {
        TqzColor color;
        state.GetStrokeColor(color);
        return color;
    }
    std::string WithPath(const char* name, const TqzPDState& state) const {
        const std::string path = PathText(state);
        std::string text = path.empty() ? name : std::string(name) + " " + path;
        if (LogCTM) text += " ctm " + MatrixText(state.GetCTM());
        return text;
    }
    static std::string SpaceText(const TqzPDColorSpace* space) {
        if (space == nullptr) return "none";
        switch (space->GetMode()) {
            case TqzColorSpaceMode::csDeviceGray: return "DeviceGray";
            case TqzColorSpaceMode::csDeviceRGB: return "DeviceRGB";
            case TqzColorSpaceMode::csDeviceCMYK: return "DeviceCMYK";
            case TqzColorSpaceMode::csPattern: return "Pattern";
            default: return "other";
        }
    }
    static std::string Entry(const core::TqzPDDictionary* dict, const char* key, const char* shortKey) {
        if (dict == nullptr) return "?";
        const core::TqzPDBaseObject* value = dict->LookUp(key);
        if (value == nullptr) value = dict->LookUp(shortKey);
        if (value == nullptr || !value->IsInteger()) return "?";
        return std::to_string(static_cast<const core::TqzPDInteger*>(value)->GetValue());
    }
};

inline std::string PathText(const TqzPDState& state) {
    std::string text;
    const TqzPDPath& path = state.GetPath();
    for (int32_t i = 0; i < path.GetSubPathCount(); ++i) {
        const TqzPDSubPath& sub = *path.GetSubPath(i);
        const auto point = [&](int32_t p) { return Num(sub.X(p)) + " " + Num(sub.Y(p)); };
        text += (text.empty() ? "M " : " M ") + point(0);
        for (int32_t p = 1; p < sub.GetPointCount();) {
            if (sub.Curve(p)) {
                text += " C " + point(p) + " " + point(p + 1) + " " + point(p + 2);
                p += 3;
            } else {
                text += " L " + point(p);
                ++p;
            }
        }
        if (sub.IsClosed()) text += " Z";
    }
    return text;
}

}  // namespace qz::content::testing
