#pragma once
// TqzPDContentStream: one content stream (of a page, a form XObject or a
// Type 3 glyph) as an interpreter. It reads the stream's tokens, collects
// operands, looks each operator up in a fixed table, checks the operands'
// count and kinds and runs the operator's handler, which changes the
// graphics and text state and tells the output device.
//
// The element borrows its stream object, document, parent element, device
// and resources. It owns the state it creates for a page (or is handed with
// SetOwnedState) and the states it pushes with q; a state given to
// DispalyObject is borrowed, and interpretation never pops below it.
//
// Nested interpretation (forms drawn by devices that call DispalyObject
// back, glyph procedures) is bounded: a stream already being interpreted on
// this thread is refused, and so is nesting deeper than kMaxContentNesting.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/PDElement.h"
#include "core/PDMatrix.h"

namespace qz::core {
class TqzPDBaseObject;
class TqzPDCommand;
class TqzPDParser;
class TqzPDRect;
class TqzPDStream;
}  // namespace qz::core

namespace qz::document {
class TqzPDDocument;
class TqzPDResource;
}  // namespace qz::document

namespace qz::content {

class TqzPDColorSpace;
class TqzPDExportDevice;
class TqzPDState;
struct TqzColor;

// Content streams drawn inside one another (forms in forms, glyph
// procedures, patterns); sound files nest a few levels, and a cycle through
// resources must not exhaust the stack.
inline constexpr int32_t kMaxContentNesting = 32;
// Operand slots; operands past the first 32 of one operator are dropped.
inline constexpr int32_t MAXARGS = 33;
inline constexpr int32_t kKeptArgs = 32;
inline constexpr int32_t NUMOPS = 73;
// Bytes of one inline image kept for the device; inline images are small by
// nature, and more data is skipped without being held.
inline constexpr int64_t kMaxInlineImageBytes = int64_t{16} << 20;

enum class TqzArgCheck : uint8_t { acBoolean, acInteger, acNumber, acString, acName, acArray, acProps, acSCN, acNone };

enum class TqzClip : uint8_t { clipNone, clipNormal, clipEO };

class TqzPDContentStream;

using TqzOperationFunc = void (TqzPDContentStream::*)(core::TqzPDBaseObject* const* Operands, int32_t Count);

struct TqzOperator {
    std::string_view Op;
    // n >= 0: exactly n operands; -n: at most n.
    int32_t NumArgs = 0;
    std::array<TqzArgCheck, MAXARGS> Checks{};
    TqzOperationFunc Operation = nullptr;
};

class TqzPDContentStream : public core::TqzPDElement {
public:
    TqzPDContentStream(document::TqzPDDocument* AParentDoc, core::TqzPDElement* AParentElement,
                       core::TqzPDBaseObject* ABaseObject);
    ~TqzPDContentStream() override;
    TqzPDContentStream(const TqzPDContentStream&) = delete;
    TqzPDContentStream& operator=(const TqzPDContentStream&) = delete;

    // Interprets the stream as the content of page `PageNum` (1-based):
    // the resources are that page's; without a state one is made from the
    // rotation, crop box and resolutions; the device gets SetDefaultCTM and
    // UpdateAll first. Errors of the content itself (parser, handlers, the
    // device) end the interpretation quietly.
    void Display(TqzPDExportDevice& AExportDev, double hDPI, double vDPI, int32_t PageNum, int32_t Rotate,
                 core::TqzPDRect* Box, core::TqzPDRect* CropBox);
    // Interprets the stream with a borrowed state and resources (none: every
    // name is missing); exceptions pass to the caller. A stream already
    // being interpreted, or nesting past kMaxContentNesting, draws nothing.
    void DispalyObject(TqzPDExportDevice& AExportDev, TqzPDState& aState, document::TqzPDResource* AResources);

    // The state the stream starts from and owns (the page contents hand it
    // over); replaces any state made before.
    void SetOwnedState(std::unique_ptr<TqzPDState> state);
    TqzPDState* GetCurrentState() const { return FState; }
    std::unique_ptr<TqzPDContentStream> Clone() const;

    // The table entry for `Name`, copied into `Operator`; false when the
    // table has no such operator (names compare case-sensitively).
    bool FindOperator(std::string_view Name, TqzOperator& Operator) const;
    static bool CheckArg(const core::TqzPDBaseObject* Obj, TqzArgCheck Kind);
    static void InitColorObject(TqzColor& Color);
    // The 73 entries in their search order.
    static const std::array<TqzOperator, NUMOPS>& OperatorTable();

    bool GetIsPatternStream() const { return FIsPatternStream; }
    void SetIsPatternStream(bool value) { FIsPatternStream = value; }
    document::TqzPDDocument* GetDocument() const { return FDocument; }
    document::TqzPDResource* GetPageResource() const { return FPageResource; }

private:
    friend struct TqzOperatorTableBuilder;

    void InitOpTable();
    // Runs the parse over the stream's data; false when it has none.
    void ParseStream();
    void StartContentParsing();
    void ExecuteOp(const core::TqzPDCommand& Command);
    void ClearArgs();
    void SaveState();
    void RestoreState();
    // Pops every state this stream pushed; with `tellDevice` the device
    // hears of each pop as of a Q.
    void UnwindStates(bool tellDevice);
    // Drops the top state, carrying its path and positions down.
    void PopState();

    // Helpers of the handlers.
    void DoEndPath();
    void PaintPath(bool close, bool fill, bool evenOdd, bool stroke);
    void ColorFromArgs(core::TqzPDBaseObject* const* Operands, int32_t Count, TqzColor& Color) const;
    void SetFillSpace(std::unique_ptr<TqzPDColorSpace> owned, TqzPDColorSpace* borrowed);
    void SetStrokeSpace(std::unique_ptr<TqzPDColorSpace> owned, TqzPDColorSpace* borrowed);
    void SetDeviceColor(bool fill, std::unique_ptr<TqzPDColorSpace> space, core::TqzPDBaseObject* const* Operands,
                        int32_t Count);
    // The space a cs or CS operand names: from the resources (borrowed),
    // else a device or Pattern space (owned); none for other names.
    TqzPDColorSpace* ColorSpaceByName(const std::string& name, std::unique_ptr<TqzPDColorSpace>& owned) const;
    core::TqzPDElement* ImageParentElement() const;
    // Reads the inline image's data after ID up to its EI; returns the data.
    std::string ReadInlineImageData(const core::TqzPDBaseObject* dict);
    void MoveToNextLine();
    // Shows a string operand (hexadecimal or literal).
    void ShowString(const core::TqzPDBaseObject* Str);
    void DoShowText(const std::string& Str);
    // The character walk of a string: each character the font decodes
    // reaches DrawChar and moves the current point by its advance.
    void ShowGlyphs(const std::string& Str);
    // Whether the current font writes vertically.
    bool IsVerticalFont() const;
    // The device hears of a changed font before text is shown; false when
    // there is no font (nothing is shown).
    bool PrepareFont();

    // Handlers, in the table's names.
    void OpMoveShowText(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpMoveSetShowText(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpCloseFillStroke(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpFillStroke(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpCloseEOFillStroke(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpEOFillStroke(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpBeginMarkedContent(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpBeginImage(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpBeginText(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpBeginIgnoreUndef(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpCurveTo(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpConcat(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpSetFillColorSpace(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpSetStrokeColorSpace(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpSetDash(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpSetCharWidth(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpSetCacheDevice(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpXObject(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpMarkPoint(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpEndImage(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpEndMarkedContent(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpEndText(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpEndIgnoreUndef(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpFill(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpEOFill(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpSetFillGray(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpSetStrokeGray(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpSetExtGState(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpClosePath(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpSetFlat(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpImageData(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpSetLineJoin(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpSetLineCap(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpSetFillCMYKColor(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpSetStrokeCMYKColor(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpLineTo(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpMoveTo(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpSetMiterLimit(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpEndPath(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpSave(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpRestore(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpRectangle(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpSetFillRGBColor(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpSetStrokeRGBColor(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpSetRenderingIntent(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpCloseStroke(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpStroke(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpSetFillColor(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpSetStrokeColor(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpSetFillColorN(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpSetStrokeColorN(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpShFill(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpTextNextLine(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpSetCharSpacing(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpTextMove(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpTextMoveSet(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpSetFont(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpShowText(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpShowSpaceText(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpSetTextLeading(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpSetTextMatrix(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpSetTextRender(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpSetTextRise(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpSetWordSpacing(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpSetHorizScaling(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpCurveTo1(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpSetLineWidth(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpClip(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpEOClip(core::TqzPDBaseObject* const* Operands, int32_t Count);
    void OpCurveTo2(core::TqzPDBaseObject* const* Operands, int32_t Count);

    document::TqzPDDocument* FDocument;
    TqzPDExportDevice* FExportDev = nullptr;
    // The current state: the top of FSavedStates, else the state the
    // interpretation started from (FOwnedState, or the caller's).
    TqzPDState* FState = nullptr;
    TqzPDState* FBaseState = nullptr;
    std::unique_ptr<TqzPDState> FOwnedState;
    // The states pushed by q above the base, each a copy of the one below.
    std::vector<std::unique_ptr<TqzPDState>> FSavedStates;
    // q refused beyond kMaxSaveDepth, each undone by one Q.
    int32_t FIgnoredSaves = 0;
    double FhDPI = 0;
    double FvDPI = 0;
    int32_t FRotate = 0;
    core::TqzPDRect* FBox = nullptr;
    core::TqzPDRect* FCropBox = nullptr;
    int32_t FPageNum = 0;
    core::TqzPDMatrix FBaseMatrix;
    std::unique_ptr<core::TqzPDParser> FParser;
    int32_t FUpdateLevel = 0;
    document::TqzPDResource* FPageResource = nullptr;
    TqzClip FClip = TqzClip::clipNone;
    int32_t FIgnoreUndef = 0;
    const std::array<TqzOperator, NUMOPS>* FOpTable = nullptr;
    double LLDx = 0;
    bool FIsNestedCall = false;
    bool FIsCapitalTJ = false;
    bool FIsPatternStream = false;
    std::array<std::unique_ptr<core::TqzPDBaseObject>, MAXARGS> Args;
    int32_t NumArgs = 0;
    bool FFontChanged = false;
};

}  // namespace qz::content
