#include "content/device/PDContentStream.h"

#include <exception>
#include <initializer_list>
#include <unordered_set>

#include "content/colour/PDTypes.h"
#include "content/device/PDExportDevice.h"
#include "content/state/PDState.h"
#include "core/PDCommand.h"
#include "core/PDDictionary.h"
#include "core/PDLexer.h"
#include "core/PDParser.h"
#include "core/PDStream.h"
#include "document/PDBaseDoc.h"
#include "document/PDDocument.h"
#include "document/PDPage.h"

namespace qz::content {

namespace {

// Operator names order as the table is stored: letter by letter without
// regard to case, the two quote operators before everything and the
// asterisk before letters and digits; where two names differ only in case,
// the lower-case one first.
int32_t FoldedRank(char c) {
    if (c == '\'') return 1;
    if (c == '"') return 2;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 'a';
    return static_cast<unsigned char>(c);
}

int32_t CompareOperatorNames(std::string_view a, std::string_view b) {
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        const int32_t ra = FoldedRank(a[i]);
        const int32_t rb = FoldedRank(b[i]);
        if (ra != rb) return ra < rb ? -1 : 1;
    }
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    for (size_t i = 0; i < common; ++i) {
        if (a[i] != b[i]) return a[i] > b[i] ? -1 : 1;  // lower case (higher code) first
    }
    return 0;
}

using A = TqzArgCheck;
using P = TqzPDContentStream;

// The streams being interpreted on this thread, by their data, and how deep.
thread_local std::unordered_set<const void*> tActiveStreams;
thread_local int32_t tNesting = 0;

// Marks a stream as being interpreted for as long as it lives.
class ActiveStream {
public:
    explicit ActiveStream(const void* key) : FKey(key) {
        FEntered = tNesting < kMaxContentNesting && tActiveStreams.insert(key).second;
        if (FEntered) ++tNesting;
    }
    ~ActiveStream() {
        if (!FEntered) return;
        tActiveStreams.erase(FKey);
        --tNesting;
    }
    ActiveStream(const ActiveStream&) = delete;
    ActiveStream& operator=(const ActiveStream&) = delete;
    bool Entered() const { return FEntered; }

private:
    const void* FKey;
    bool FEntered;
};

}  // namespace

struct TqzOperatorTableBuilder {
    static TqzOperator Entry(std::string_view op, int32_t count, std::initializer_list<TqzArgCheck> kinds,
                             TqzOperationFunc handler) {
        TqzOperator entry;
        entry.Op = op;
        entry.NumArgs = count;
        entry.Checks.fill(TqzArgCheck::acNone);
        size_t i = 0;
        for (TqzArgCheck kind : kinds) entry.Checks[i++] = kind;
        entry.Operation = handler;
        return entry;
    }
    static TqzOperator Repeat(std::string_view op, int32_t count, TqzArgCheck kind, size_t times,
                              TqzOperationFunc handler) {
        TqzOperator entry = Entry(op, count, {}, handler);
        for (size_t i = 0; i < times; ++i) entry.Checks[i] = kind;
        return entry;
    }

    static std::array<TqzOperator, NUMOPS> Build() {
        return {{
            Entry("'", 1, {A::acString}, &P::OpMoveShowText),
            Entry("\"", 3, {A::acNumber, A::acNumber, A::acString}, &P::OpMoveSetShowText),
            Entry("b", 0, {}, &P::OpCloseFillStroke),
            Entry("B", 0, {}, &P::OpFillStroke),
            Entry("b*", 0, {}, &P::OpCloseEOFillStroke),
            Entry("B*", 0, {}, &P::OpEOFillStroke),
            Entry("BDC", 2, {A::acName, A::acProps}, &P::OpBeginMarkedContent),
            Entry("BI", 0, {}, &P::OpBeginImage),
            Entry("BMC", 1, {A::acName}, &P::OpBeginMarkedContent),
            Entry("BT", 0, {}, &P::OpBeginText),
            Entry("BX", 0, {}, &P::OpBeginIgnoreUndef),
            Repeat("c", 6, A::acNumber, 6, &P::OpCurveTo),
            Repeat("cm", 6, A::acNumber, 6, &P::OpConcat),
            Entry("cs", 1, {A::acName}, &P::OpSetFillColorSpace),
            Entry("CS", 1, {A::acName}, &P::OpSetStrokeColorSpace),
            Entry("d", 2, {A::acArray, A::acNumber}, &P::OpSetDash),
            Repeat("d0", 2, A::acNumber, 2, &P::OpSetCharWidth),
            Repeat("d1", 6, A::acNumber, 6, &P::OpSetCacheDevice),
            Entry("Do", 1, {A::acName}, &P::OpXObject),
            Entry("DP", 2, {A::acName, A::acProps}, &P::OpMarkPoint),
            Entry("EI", 0, {}, &P::OpEndImage),
            Entry("EMC", 0, {}, &P::OpEndMarkedContent),
            Entry("ET", 0, {}, &P::OpEndText),
            Entry("EX", 0, {}, &P::OpEndIgnoreUndef),
            Entry("f", 0, {}, &P::OpFill),
            Entry("F", 0, {}, &P::OpFill),
            Entry("f*", 0, {}, &P::OpEOFill),
            Entry("g", 1, {A::acNumber}, &P::OpSetFillGray),
            Entry("G", 1, {A::acNumber}, &P::OpSetStrokeGray),
            Entry("gs", 1, {A::acName}, &P::OpSetExtGState),
            Entry("h", 0, {}, &P::OpClosePath),
            Entry("i", 1, {A::acNumber}, &P::OpSetFlat),
            Entry("ID", 0, {}, &P::OpImageData),
            Entry("j", 1, {A::acInteger}, &P::OpSetLineJoin),
            Entry("J", 1, {A::acInteger}, &P::OpSetLineCap),
            Repeat("k", 4, A::acNumber, 4, &P::OpSetFillCMYKColor),
            Repeat("K", 4, A::acNumber, 4, &P::OpSetStrokeCMYKColor),
            Repeat("l", 2, A::acNumber, 2, &P::OpLineTo),
            Repeat("m", 2, A::acNumber, 2, &P::OpMoveTo),
            Entry("M", 1, {A::acNumber}, &P::OpSetMiterLimit),
            Entry("MP", 1, {A::acName}, &P::OpMarkPoint),
            Entry("n", 0, {}, &P::OpEndPath),
            Entry("q", 0, {}, &P::OpSave),
            Entry("Q", 0, {}, &P::OpRestore),
            Repeat("re", 4, A::acNumber, 4, &P::OpRectangle),
            Repeat("rg", 3, A::acNumber, 3, &P::OpSetFillRGBColor),
            Repeat("RG", 3, A::acNumber, 3, &P::OpSetStrokeRGBColor),
            Entry("ri", 1, {A::acName}, &P::OpSetRenderingIntent),
            Entry("s", 0, {}, &P::OpCloseStroke),
            Entry("S", 0, {}, &P::OpStroke),
            Repeat("sc", -4, A::acNumber, 4, &P::OpSetFillColor),
            Repeat("SC", -4, A::acNumber, 4, &P::OpSetStrokeColor),
            Repeat("scn", -33, A::acSCN, 33, &P::OpSetFillColorN),
            Repeat("SCN", -33, A::acSCN, 33, &P::OpSetStrokeColorN),
            Entry("sh", 1, {A::acName}, &P::OpShFill),
            Entry("T*", 0, {}, &P::OpTextNextLine),
            Entry("Tc", 1, {A::acNumber}, &P::OpSetCharSpacing),
            Repeat("Td", 2, A::acNumber, 2, &P::OpTextMove),
            Repeat("TD", 2, A::acNumber, 2, &P::OpTextMoveSet),
            Entry("Tf", 2, {A::acName, A::acNumber}, &P::OpSetFont),
            Entry("Tj", 1, {A::acString}, &P::OpShowText),
            Entry("TJ", 1, {A::acArray}, &P::OpShowSpaceText),
            Entry("TL", 1, {A::acNumber}, &P::OpSetTextLeading),
            Repeat("Tm", 6, A::acNumber, 6, &P::OpSetTextMatrix),
            Entry("Tr", 1, {A::acInteger}, &P::OpSetTextRender),
            Entry("Ts", 1, {A::acNumber}, &P::OpSetTextRise),
            Entry("Tw", 1, {A::acNumber}, &P::OpSetWordSpacing),
            Entry("Tz", 1, {A::acNumber}, &P::OpSetHorizScaling),
            Repeat("v", 4, A::acNumber, 4, &P::OpCurveTo1),
            Entry("w", 1, {A::acNumber}, &P::OpSetLineWidth),
            Entry("W", 0, {}, &P::OpClip),
            Entry("W*", 0, {}, &P::OpEOClip),
            Repeat("y", 4, A::acNumber, 4, &P::OpCurveTo2),
        }};
    }
};

const std::array<TqzOperator, NUMOPS>& TqzPDContentStream::OperatorTable() {
    static const std::array<TqzOperator, NUMOPS> table = TqzOperatorTableBuilder::Build();
    return table;
}

TqzPDContentStream::TqzPDContentStream(document::TqzPDDocument* AParentDoc, core::TqzPDElement* AParentElement,
                                       core::TqzPDBaseObject* ABaseObject)
    : core::TqzPDElement(AParentDoc != nullptr ? AParentDoc->GetBaseDoc() : nullptr, AParentElement, ABaseObject),
      FDocument(AParentDoc) {}

TqzPDContentStream::~TqzPDContentStream() {
    // States pushed by an interpretation that did not finish.
    UnwindStates(false);
}

void TqzPDContentStream::SetOwnedState(std::unique_ptr<TqzPDState> state) {
    UnwindStates(false);
    FOwnedState = std::move(state);
    FBaseState = FState = FOwnedState.get();
}

std::unique_ptr<TqzPDContentStream> TqzPDContentStream::Clone() const {
    return std::make_unique<TqzPDContentStream>(FDocument, FParentElement, FBaseObject);
}

void TqzPDContentStream::InitOpTable() { FOpTable = &OperatorTable(); }

bool TqzPDContentStream::FindOperator(std::string_view Name, TqzOperator& Operator) const {
    const auto& table = FOpTable != nullptr ? *FOpTable : OperatorTable();
    int32_t low = 0;
    int32_t high = NUMOPS - 1;
    while (low <= high) {
        const int32_t middle = low + (high - low) / 2;
        const int32_t order = CompareOperatorNames(table[static_cast<size_t>(middle)].Op, Name);
        if (order < 0) {
            low = middle + 1;
        } else if (order > 0) {
            high = middle - 1;
        } else {
            Operator = table[static_cast<size_t>(middle)];
            return true;
        }
    }
    return false;
}

bool TqzPDContentStream::CheckArg(const core::TqzPDBaseObject* Obj, TqzArgCheck Kind) {
    if (Obj == nullptr) return false;
    switch (Kind) {
        case TqzArgCheck::acBoolean: return Obj->IsBoolean();
        case TqzArgCheck::acInteger: return Obj->IsInteger();
        case TqzArgCheck::acNumber: return Obj->IsNumber();
        case TqzArgCheck::acString: return Obj->IsString();
        case TqzArgCheck::acName: return Obj->IsName();
        case TqzArgCheck::acArray: return Obj->IsArray();
        case TqzArgCheck::acProps: return Obj->IsDict() || Obj->IsName();
        case TqzArgCheck::acSCN: return Obj->IsNumber() || Obj->IsName();
        case TqzArgCheck::acNone: return false;
    }
    return false;
}

void TqzPDContentStream::InitColorObject(TqzColor& Color) { Color.Comps.fill(0); }

void TqzPDContentStream::Display(TqzPDExportDevice& AExportDev, double hDPI, double vDPI, int32_t PageNum,
                                 int32_t Rotate, core::TqzPDRect* Box, core::TqzPDRect* CropBox) {
    FExportDev = &AExportDev;
    FhDPI = hDPI;
    FvDPI = vDPI;
    FRotate = Rotate;
    FBox = Box;
    FCropBox = CropBox;
    FPageNum = PageNum;
    InitOpTable();
    FPageResource = nullptr;
    if (FDocument != nullptr && FDocument->IsLoaded() && PageNum >= 1 && PageNum <= FDocument->GetPageCount()) {
        if (document::TqzPDPage* page = FDocument->GetPage(PageNum)) FPageResource = page->GetResource();
    }
    if (FBaseState == nullptr || FOwnedState == nullptr) {
        UnwindStates(false);
        FOwnedState = std::make_unique<TqzPDState>(hDPI, vDPI, Rotate, CropBox);
        FBaseState = FState = FOwnedState.get();
    }
    FState->SetPageNumber(PageNum);
    FBaseMatrix = FState->GetCTM();
    AExportDev.SetDefaultCTM(FState->GetCTM());
    AExportDev.UpdateAll(*FState);

    // Bad content ends this stream's interpretation, never the page's.
    try {
        const auto* stream = FBaseObject != nullptr && FBaseObject->IsStream()
                                 ? static_cast<core::TqzPDStream*>(FBaseObject)
                                 : nullptr;
        ActiveStream active(stream != nullptr ? static_cast<const void*>(stream->GetStream()) : this);
        if (active.Entered()) ParseStream();
    } catch (const std::exception&) {
    }
    FParser.reset();
    try {
        UnwindStates(true);
    } catch (const std::exception&) {
        UnwindStates(false);
    }
}

void TqzPDContentStream::DispalyObject(TqzPDExportDevice& AExportDev, TqzPDState& aState,
                                       document::TqzPDResource* AResources) {
    const core::TqzPDStream* stream =
        FBaseObject != nullptr && FBaseObject->IsStream() ? static_cast<core::TqzPDStream*>(FBaseObject) : nullptr;
    if (stream == nullptr || stream->GetStream() == nullptr) return;
    // A form drawing itself, directly or through others, is drawn once.
    ActiveStream active(stream->GetStream());
    if (!active.Entered()) return;

    UnwindStates(false);
    FOwnedState.reset();
    FPageResource = AResources;
    FBaseState = FState = &aState;
    FExportDev = &AExportDev;
    InitOpTable();
    try {
        ParseStream();
    } catch (...) {
        FParser.reset();
        UnwindStates(false);
        FBaseState = FState = nullptr;
        throw;
    }
    FParser.reset();
    try {
        UnwindStates(true);
    } catch (...) {
        UnwindStates(false);
        FBaseState = FState = nullptr;
        throw;
    }
    FBaseState = FState = nullptr;
}

void TqzPDContentStream::ParseStream() {
    if (FBaseObject == nullptr || !FBaseObject->IsStream()) return;
    auto* stream = static_cast<core::TqzPDStream*>(FBaseObject);
    if (stream->GetStreamPtr() == nullptr) return;
    auto lexer = std::make_unique<core::TqzPDLexer>(stream->GetStreamPtr());
    FParser = std::make_unique<core::TqzPDParser>(GetParentDoc(), std::move(lexer), false);
    FUpdateLevel = 0;
    StartContentParsing();
}

void TqzPDContentStream::StartContentParsing() {
    for (;;) {
        std::unique_ptr<core::TqzPDBaseObject> object = FParser->GetObject();
        if (object->IsEOF()) break;
        if (object->IsCommand()) {
            ExecuteOp(static_cast<const core::TqzPDCommand&>(*object));
            ClearArgs();
        } else if (NumArgs < kKeptArgs) {
            Args[static_cast<size_t>(NumArgs++)] = std::move(object);
        }
    }
    ClearArgs();
}

void TqzPDContentStream::ClearArgs() {
    for (int32_t i = 0; i < NumArgs; ++i) Args[static_cast<size_t>(i)].reset();
    NumArgs = 0;
}

void TqzPDContentStream::ExecuteOp(const core::TqzPDCommand& Command) {
    TqzOperator op;
    if (!FindOperator(Command.Value(), op)) return;
    int32_t count = NumArgs;
    if (op.NumArgs >= 0) {
        if (count < op.NumArgs) return;
        count = op.NumArgs;  // the first ones are kept
    } else if (count > -op.NumArgs) {
        return;
    }
    std::array<core::TqzPDBaseObject*, MAXARGS> args{};
    for (int32_t i = 0; i < count; ++i) {
        args[static_cast<size_t>(i)] = Args[static_cast<size_t>(i)].get();
        if (!CheckArg(args[static_cast<size_t>(i)], op.Checks[static_cast<size_t>(i)])) return;
    }
    (this->*op.Operation)(args.data(), count);
}

void TqzPDContentStream::SaveState() {
    if (static_cast<int64_t>(FSavedStates.size()) >= kMaxSaveDepth) {
        ++FIgnoredSaves;
        return;
    }
    FExportDev->SaveState(*FState);
    FSavedStates.push_back(FState->Copy());
    FState = FSavedStates.back().get();
}

void TqzPDContentStream::RestoreState() {
    if (FIgnoredSaves > 0) {
        --FIgnoredSaves;
        return;
    }
    // The state this stream started from is the caller's (or the page's):
    // an unbalanced Q leaves it in place.
    if (FSavedStates.empty()) return;
    FExportDev->EndExGState(*FState);
    PopState();
    FExportDev->RestoreState(*FState);
}

void TqzPDContentStream::PopState() {
    std::unique_ptr<TqzPDState> top = std::move(FSavedStates.back());
    FSavedStates.pop_back();
    TqzPDState* below = FSavedStates.empty() ? FBaseState : FSavedStates.back().get();
    // The path and the current and line positions go back down; nothing else.
    below->SetPath(top->GetPath().Copy());
    below->SetCurX(top->GetCurX());
    below->SetCurY(top->GetCurY());
    below->SetLineX(top->GetLineX());
    below->SetLineY(top->GetLineY());
    FState = below;
}

void TqzPDContentStream::UnwindStates(bool tellDevice) {
    FIgnoredSaves = 0;
    while (!FSavedStates.empty()) {
        if (tellDevice && FExportDev != nullptr) {
            RestoreState();
        } else {
            FSavedStates.pop_back();
            FState = FSavedStates.empty() ? FBaseState : FSavedStates.back().get();
        }
    }
}

}  // namespace qz::content
