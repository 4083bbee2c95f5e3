#include "core/PDBaseObject.h"

#include "core/Conversions.h"
#include "core/Limits.h"
#include "core/PDBaseExceptions.h"
#include "core/SaveContext.h"

namespace qz::core {

TqzPDObjTypes TqzPDBaseObject::GetType() const {
    if (IsBoolean()) return TqzPDObjTypes::otBoolean;
    if (IsInteger()) return TqzPDObjTypes::otInteger;
    if (IsReal()) return TqzPDObjTypes::otReal;
    if (IsString()) return TqzPDObjTypes::otString;
    if (IsName()) return TqzPDObjTypes::otName;
    if (IsNull()) return TqzPDObjTypes::otNull;
    if (IsArray()) return TqzPDObjTypes::otArray;
    if (IsDict()) return TqzPDObjTypes::otDict;
    if (IsStream()) return TqzPDObjTypes::otStream;
    if (IsIndirectRef()) return TqzPDObjTypes::otIndirectRef;
    if (IsCommand()) return TqzPDObjTypes::otCommand;
    if (IsError()) return TqzPDObjTypes::otError;
    if (IsEOF()) return TqzPDObjTypes::otEOF;
    return TqzPDObjTypes::otNone;
}

void TqzPDBaseObject::Assign(const TqzPDBaseObject& source) {
    FObjNumber = source.FObjNumber;
    FGenNumber = source.FGenNumber;
}

int64_t TqzPDBaseObject::SaveToStream(TqzStream& stream, bool onlyChanged, TqzPDXRef& xref) {
    TqzSaveContext context(stream, onlyChanged, xref);
    context.Run(*this);
    return context.GetWritten();
}

TqzSaveStep TqzPDBaseObject::SaveStep(TqzSaveContext& context, TqzSaveFrame& /*frame*/) {
    if (context.OnlyChanged() && !FIsChanged) return TqzSaveStep::Done;
    const bool indirect = !IsDirect();
    if (indirect) {
        FObjNumber = context.TakeNewNumber();
        FGenNumber = 0;
        context.RecordEntry(FObjNumber, 0, TqzPDXRefEntrytype::xeUnCompressed);
        context.WriteHeader(FObjNumber, 0);
    }
    FIsWritten = true;
    WriteText(context);
    if (indirect) context.Write("\r\nendobj\r\n");
    return TqzSaveStep::Done;
}

namespace {
thread_local int32_t gNestingDepth = 0;
}  // namespace

TqzNestingGuard::TqzNestingGuard() {
    if (gNestingDepth >= kMaxNestingDepth) {
        throw ExLimitExceeded("Objects nested deeper than " + IntegerToString(kMaxNestingDepth) + " levels");
    }
    ++gNestingDepth;
}

TqzNestingGuard::~TqzNestingGuard() { --gNestingDepth; }

void DestroyObjects(std::vector<std::unique_ptr<TqzPDBaseObject>>& objects) {
    std::vector<std::unique_ptr<TqzPDBaseObject>> work;
    work.swap(objects);
    while (!work.empty()) {
        std::unique_ptr<TqzPDBaseObject> object = std::move(work.back());
        work.pop_back();
        if (object) object->MoveChildrenTo(work);
        // `object` now owns nothing that could recurse; it goes here.
    }
}

}  // namespace qz::core
