#include "core/SaveContext.h"

#include <algorithm>
#include <limits>

#include "core/Conversions.h"
#include "core/Limits.h"
#include "core/PDBaseExceptions.h"
#include "core/PDIndirectRef.h"
#include "core/PDString.h"
#include "core/ParentDocument.h"

namespace qz::core {

void TqzSaveContext::WriteThrough(std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const auto chunk = static_cast<uint32_t>(std::min<size_t>(bytes.size() - done, size_t{1} << 30));
        FStream.Write(reinterpret_cast<const uint8_t*>(bytes.data() + done), chunk);
        done += chunk;
    }
}

void TqzSaveContext::Flush() {
    // Cleared even when the write fails: the bytes are not offered again.
    struct Clear {
        std::string& bytes;
        ~Clear() { bytes.clear(); }
    } clear{FGathered};
    WriteThrough(FGathered);
}

void TqzSaveContext::Write(std::string_view bytes) {
    FWritten += static_cast<int64_t>(bytes.size());
    if (FGathered.size() + bytes.size() > kGatherSize) {
        Flush();
        // Large blocks (stream data made in memory) go straight through.
        if (bytes.size() >= kGatherSize) {
            WriteThrough(bytes);
            return;
        }
    }
    if (FGathered.capacity() < kGatherSize) FGathered.reserve(kGatherSize);
    FGathered.append(bytes);
}

int64_t TqzSaveContext::Position() const {
    return FStream.GetPosition() + static_cast<int64_t>(FGathered.size());
}

void TqzSaveContext::RewindTo(int64_t position) {
    const int64_t flushed = FStream.GetPosition();
    FWritten -= Position() - position;
    if (position >= flushed) {
        FGathered.resize(static_cast<size_t>(position - flushed));
        return;
    }
    FGathered.clear();
    FStream.SetPosition(position, SeekOrigin::Beginning);
    if (platform::Stream* output = FStream.GetTStream()) output->SetSize(position);
}

uint8_t* TqzSaveContext::Block() {
    if (!FBlock) FBlock = std::make_unique_for_overwrite<uint8_t[]>(kBlockSize);
    return FBlock.get();
}

std::string TqzSaveContext::TakeBuffer() {
    std::string buffer = std::move(FSpareBuffer);
    FSpareBuffer = std::string();
    buffer.clear();
    return buffer;
}

void TqzSaveContext::GiveBackBuffer(std::string&& buffer) {
    // A buffer that held a whole large stream (a direct one) is let go.
    if (buffer.capacity() > FSpareBuffer.capacity() && buffer.capacity() <= kMaxSpareBuffer) {
        FSpareBuffer = std::move(buffer);
    }
}

uint32_t TqzSaveContext::TakeNewNumber() {
    const uint32_t last = FXRef.GetLastObjectNumber();
    if (last >= kMaxObjectNumber) {
        throw ExLimitExceeded("Too many objects to number: the limit is " + IntegerToString(kMaxObjectNumber));
    }
    FXRef.SetLastObjectNumber(last + 1);
    return last + 1;
}

void TqzSaveContext::GiveBackNumber() {
    const uint32_t last = FXRef.GetLastObjectNumber();
    if (last > 0) FXRef.SetLastObjectNumber(last - 1);
}

void TqzSaveContext::RecordEntry(uint32_t objNumber, uint32_t genNumber, TqzPDXRefEntrytype type) {
    const int64_t position = Position();
    if (position < 0 || position >= int64_t{std::numeric_limits<uint32_t>::max()}) {
        throw ExLimitExceeded("Output beyond 4 GB: cross-reference offsets are 32-bit");
    }
    FXRef.SetEntry(objNumber, TqzPDXRefEntry(static_cast<uint32_t>(position), genNumber, type));
}

void TqzSaveContext::WriteHeader(uint32_t objNumber, uint32_t genNumber) {
    Write(IntegerToString(objNumber) + " " + IntegerToString(genNumber) + " obj\r\n");
}

void TqzSaveContext::Schedule(TqzPDBaseObject& object, TqzSaveMode mode) {
    FScheduled = &object;
    FScheduledMode = mode;
}

void TqzSaveContext::SaveScalar(TqzPDBaseObject& object) {
    TqzSaveFrame frame;
    frame.Object = &object;
    object.SaveStep(*this, frame);
}

void TqzSaveContext::Run(TqzPDBaseObject& root, TqzSaveMode mode) {
    try {
        RunSteps(root, mode);
    } catch (...) {
        // What was written before the failure reaches the stream, as it
        // would have unbuffered; the failure is what the caller hears of.
        try {
            Flush();
        } catch (...) {
        }
        throw;
    }
    Flush();
}

void TqzSaveContext::RunSteps(TqzPDBaseObject& root, TqzSaveMode mode) {
    const size_t base = FFrames.size();
    TqzSaveFrame first;
    first.Object = &root;
    first.Mode = mode;
    FFrames.push_back(std::move(first));
    while (FFrames.size() > base) {
        FScheduled = nullptr;
        TqzSaveFrame& frame = FFrames.back();
        const TqzSaveStep step = frame.Object->SaveStep(*this, frame);
        if (step == TqzSaveStep::Done || !FScheduled) {
            FFrames.pop_back();
        } else {
            TqzSaveFrame child;
            child.Object = FScheduled;
            child.Mode = FScheduledMode;
            FFrames.push_back(std::move(child));
        }
    }
}

bool OpenContainer(TqzSaveContext& context, TqzSaveFrame& frame, TqzPDBaseObject& container, bool giveBackNumber,
                   std::string_view opener) {
    if (context.OnlyChanged() && !container.GetIsChanged()) {
        if (!container.IsDirect()) {
            container.SetObjNumber(frame.RememberedNumber);
            if (giveBackNumber && frame.TookNumber) context.GiveBackNumber();
        }
        return false;
    }
    if (!container.IsDirect()) {
        context.RecordEntry(container.GetObjNumber(), container.GetGenNumber(), TqzPDXRefEntrytype::xeUnCompressed);
        context.WriteHeader(container.GetObjNumber(), container.GetGenNumber());
    }
    context.Write(opener);
    frame.Phase = 2;
    frame.Index = 0;
    frame.Pending = nullptr;
    return true;
}

TqzSaveStep SaveTargets(TqzSaveContext& context, TqzSaveFrame& frame, TqzParentDocument& doc,
                        const TqzPDBaseObject& container, uint32_t validNumber, bool includeNullTargets,
                        TqzPDBaseObject& markChanged) {
    if (frame.Pending) {
        if (frame.Pending->GetIsChanged()) markChanged.SetIsChanged(true);
        frame.Pending = nullptr;
    }
    const bool plain = frame.Mode == TqzSaveMode::Plain;
    while (frame.Index < frame.Refs.size()) {
        const TqzPDIndirectRef* ref = frame.Refs[frame.Index++];
        // Its target is not the document's: the save writes it itself.
        if (dynamic_cast<const TqzPDOutputRef*>(ref)) continue;
        const uint32_t number = ref->GetObjNumber();
        if (doc.IsObjectWritten(number)) continue;
        TqzPDBaseObject* target = doc.GetObject(number);
        if (!target || (target->IsNull() && !includeNullTargets) || target->IsToken()) continue;
        if (!plain) target->SetValidObjectNumber(validNumber);
        if (target->IsString() && !plain && doc.EncryptsOutput()) {
            WriteEncryptedString(context, static_cast<TqzPDString&>(*target), container, doc);
            if (target->GetIsChanged()) markChanged.SetIsChanged(true);
            continue;
        }
        if (target->IsArray() || target->IsDict() || target->IsStream()) {
            frame.Pending = target;
            context.Schedule(*target, frame.Mode);
            return TqzSaveStep::Child;
        }
        context.SaveScalar(*target);
        if (target->GetIsChanged()) markChanged.SetIsChanged(true);
    }
    return TqzSaveStep::Done;
}

void WriteReference(TqzSaveContext& context, const TqzPDIndirectRef& ref, TqzParentDocument* doc) {
    const uint32_t number = ref.GetObjNumber();
    if (dynamic_cast<const TqzPDOutputRef*>(&ref)) {
        context.Write(IntegerToString(number) + " 0 R");
        return;
    }
    if (doc && doc->IsObjectWritten(number)) {
        const TqzPDBaseObject* target = doc->GetObject(number);
        if (target && !target->IsDirect()) {
            context.Write(IntegerToString(target->GetObjNumber()) + " " +
                          IntegerToString(target->GetGenNumber()) + " R");
            return;
        }
    }
    if (doc && !context.OnlyChanged()) {
        context.Write("null");
        return;
    }
    // An object left as it stands in the file keeps its generation too.
    context.Write(IntegerToString(number) + " " + IntegerToString(ref.GetGenNumber()) + " R");
}

void WriteEncryptedString(TqzSaveContext& context, TqzPDString& string, const TqzPDBaseObject& container,
                          TqzParentDocument& doc) {
    if (context.OnlyChanged() && !string.GetIsChanged()) return;
    if (string.GetString().empty()) string.SetString(" ");
    const bool indirect = !string.IsDirect();
    uint32_t keyNumber;
    uint32_t keyGeneration = 0;
    if (indirect) {
        string.SetObjNumber(context.TakeNewNumber());
        string.SetGenNumber(0);
        context.RecordEntry(string.GetObjNumber(), 0, TqzPDXRefEntrytype::xeUnCompressed);
        context.WriteHeader(string.GetObjNumber(), 0);
        keyNumber = string.GetObjNumber();
    } else if (!container.IsDirect()) {
        keyNumber = container.GetObjNumber();
        keyGeneration = container.GetGenNumber();
    } else {
        keyNumber = container.GetValidObjectNumber();
    }
    string.SetIsWritten(true);
    const std::string encrypted = doc.EncryptForOutput(string.GetBytes(), keyNumber, keyGeneration);
    context.Write("<");
    context.Write(StringToHex2(encrypted));
    context.Write(">");
    if (indirect) context.Write("\r\nendobj\r\n");
}

}  // namespace qz::core
