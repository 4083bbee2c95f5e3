#include "core/PDStream.h"

#include <vector>

#include "core/Conversions.h"
#include "core/FilterHooks.h"
#include "core/FilterStream.h"
#include "core/Limits.h"
#include "core/MemoryStream.h"
#include "core/PDArray.h"
#include "core/PDBaseExceptions.h"
#include "core/PDIndirectRef.h"
#include "core/PDInteger.h"
#include "core/PDName.h"
#include "core/ParentDocument.h"
#include "core/SaveContext.h"

namespace qz::core {

namespace {

// Data written anew is held until it ends or passes this size: a stream that
// ends within it is written with a direct /Length, as it always was; a longer
// one goes on to the output as it is made, its /Length an indirect object
// written right after it.
constexpr size_t kHeldDataLimit = size_t{1} << 20;

// What the links of a filter chain above the stored data do.
struct ChainState {
    bool decodes = false;      // some link decodes data
    bool undecodable = false;  // some link cannot be decoded here
};

ChainState InspectChain(TqzStream* data) {
    ChainState state;
    for (TqzStream* link = data; link;) {
        if (link->GetType() == TqzStreamType::stCrypt) break;  // stored data from here down
        auto* filter = dynamic_cast<TqzFilterStream*>(link);
        if (!filter) break;
        switch (link->GetType()) {
            case TqzStreamType::stDCT:
            case TqzStreamType::stJBIG2:
            case TqzStreamType::stJPX:
            case TqzStreamType::stCCITTFax:
            case TqzStreamType::stWeird:
                state.undecodable = true;
                break;
            default:
                if (filter->HasDecoder()) {
                    state.decodes = true;
                } else {
                    state.undecodable = true;
                }
        }
        link = filter->GetNextStream();
    }
    return state;
}

void ResetStream(TqzStream& stream) {
    try {
        stream.Reset();
    } catch (const std::exception&) {
        throw ExInvalidStream();
    }
}

// The file the stored bytes under `data` come from; empty when they are
// in memory.
std::string SourcePath(TqzStream* data) {
    TqzStream* base = data ? data->GetBaseStream() : nullptr;
    const platform::Stream* stored = base ? base->GetTStream() : nullptr;
    return stored ? stored->Path().string() : std::string();
}

// Rethrows the failure being handled, named with the file the stream's
// data comes from when it has one.
[[noreturn]] void RethrowNamingSource(TqzStream* data) {
    const std::string path = SourcePath(data);
    try {
        throw;
    } catch (const ExSourceDataError&) {
        throw;
    } catch (const std::exception& e) {
        if (path.empty()) throw;
        std::throw_with_nested(ExSourceDataError(path, e.what()));
    }
}

bool IsAnyName(const TqzPDBaseObject* object, std::initializer_list<std::string_view> names) {
    if (!object || !object->IsName()) return false;
    for (std::string_view name : names) {
        if (object->IsName(name)) return true;
    }
    return false;
}

}  // namespace

TqzStreamPtr StoredEncodingStream(const TqzStreamPtr& data) {
    TqzStreamPtr link = data;
    while (link) {
        if (link->GetType() == TqzStreamType::stCrypt) return link;
        const auto* filter = dynamic_cast<const TqzFilterStream*>(link.get());
        if (!filter) return link;
        link = filter->GetNextStreamPtr();
    }
    return link;
}

TqzPDStream::TqzPDStream(TqzParentDocument* parentDoc) : FParentDoc(parentDoc) {}

TqzPDStream::TqzPDStream(TqzStreamPtr stream, std::unique_ptr<TqzPDDictionary> dict, uint32_t objNumber,
                         uint32_t genNumber)
    : TqzPDBaseObject(objNumber, genNumber), FStream(std::move(stream)), FDict(std::move(dict)) {}

TqzPDStream::~TqzPDStream() = default;

std::unique_ptr<TqzPDDictionary> TqzPDStream::SetDict(std::unique_ptr<TqzPDDictionary> dict) {
    std::swap(FDict, dict);
    return dict;
}

TqzParentDocument* TqzPDStream::GetParentDoc() const {
    if (FParentDoc) return FParentDoc;
    return FDict ? FDict->GetParentDoc() : nullptr;
}

bool TqzPDStream::Isof(std::string_view dictType) const { return FDict && FDict->IsDict(dictType); }

int TqzPDStream::LookChar() { return FStream ? FStream->LookChar() : -1; }
int TqzPDStream::GetChar() { return FStream ? FStream->GetChar() : -1; }
int32_t TqzPDStream::Read(uint8_t* buffer, uint32_t count) { return FStream ? FStream->Read(buffer, count) : 0; }
int32_t TqzPDStream::Read(std::string& buffer, uint32_t count) { return FStream ? FStream->Read(buffer, count) : 0; }

std::string TqzPDStream::ReadLine(int32_t count) {
    if (count <= 0) return {};
    std::vector<uint8_t> line(static_cast<size_t>(count), 0);
    if (FStream) FStream->ReadLine(line, count);
    return std::string(line.begin(), line.end());
}

void TqzPDStream::Reset() {
    if (FStream) ResetStream(*FStream);
}

int64_t TqzPDStream::GetPosition() { return FStream ? FStream->GetPosition() : 0; }

void TqzPDStream::SetPosition(int64_t offset, SeekOrigin origin) {
    if (FStream) FStream->SetPosition(offset, origin);
}

int32_t TqzPDStream::Write(const std::string& buffer) { return FStream ? FStream->Write(buffer) : 0; }
int32_t TqzPDStream::Write(const uint8_t* buffer, uint32_t count) { return FStream ? FStream->Write(buffer, count) : 0; }

void TqzPDStream::Close() {
    if (FStream) FStream->Close();
}

int64_t TqzPDStream::GetStart() {
    auto* base = dynamic_cast<TqzBaseStream*>(FStream.get());
    return base ? base->GetStart() : 0;
}

std::unique_ptr<TqzPDStream> TqzPDStream::MakeSubStream(int64_t start, int64_t length, bool limited,
                                                         std::unique_ptr<TqzPDDictionary> dict) {
    auto* base = dynamic_cast<TqzBaseStream*>(FStream.get());
    if (!base) return nullptr;
    TqzStreamPtr window = base->MakeSubStream(start, length, limited);
    if (!window) return nullptr;
    return std::make_unique<TqzPDStream>(std::move(window), std::move(dict));
}

void TqzPDStream::MoveStart(int64_t delta) {
    if (auto* base = dynamic_cast<TqzBaseStream*>(FStream.get())) base->MoveStart(delta);
}

std::unique_ptr<TqzPDBaseObject> TqzPDStream::Clone() const {
    std::unique_ptr<TqzPDDictionary> dict;
    if (FDict) dict.reset(static_cast<TqzPDDictionary*>(FDict->Clone().release()));
    auto copy = std::make_unique<TqzPDStream>(FStream, std::move(dict), FObjNumber, FGenNumber);
    copy->FParentDoc = FParentDoc;
    return copy;
}

void TqzPDStream::Assign(const TqzPDBaseObject& source) {
    TqzPDBaseObject::Assign(source);
    const auto* stream = dynamic_cast<const TqzPDStream*>(&source);
    if (!stream) return;
    // The stored bytes, decrypted when they were read encrypted: the raw base
    // stream of an encrypted file would carry the source's encryption along.
    FStream = StoredEncodingStream(stream->FStream);
    FDict = std::make_unique<TqzPDDictionary>(FParentDoc);
    if (stream->FDict) FDict->Assign(*stream->FDict);
}

void TqzPDStream::MoveChildrenTo(std::vector<std::unique_ptr<TqzPDBaseObject>>& out) {
    if (FDict) out.push_back(std::move(FDict));
}

TqzPDDictionary& TqzPDStream::OutputDict(TqzSaveFrame& frame) {
    if (!frame.OutputDict) {
        // Assign keeps the keys in their order; Clone would sort them.
        auto copy = std::make_unique<TqzPDDictionary>(FDict->GetParentDoc());
        copy->Assign(*FDict);
        frame.OutputDict = std::move(copy);
    }
    return static_cast<TqzPDDictionary&>(*frame.OutputDict);
}

void TqzPDStream::SetLength(TqzSaveFrame& frame, int64_t length) {
    if (!FDict) return;
    TqzPDDictionary& dict = frame.OutputDict ? static_cast<TqzPDDictionary&>(*frame.OutputDict) : *FDict;
    const TqzPDBaseObject* current = dict.LookUp("Length");
    if (current && current->IsInteger() && static_cast<const TqzPDInteger*>(current)->GetValue() == length) return;
    auto value = std::make_unique<TqzPDInteger>(0);
    value->SetValue(length);
    OutputDict(frame).SetKeyValue("Length", std::move(value));
}

void TqzPDStream::TakeStored(TqzSaveFrame& frame, TqzStreamPtr source) {
    ResetStream(*source);
    frame.Decodes = false;
    frame.SourceSize = -1;
    if (auto* base = dynamic_cast<TqzBaseStream*>(source.get())) frame.SourceSize = base->GetWindowSize();
    frame.Source = std::move(source);
}

void TqzPDStream::Encode(TqzSaveFrame& frame) {
    const TqzPDBaseObject* filter = FDict ? FDict->LookUp("Filter") : nullptr;
    bool keep = IsAnyName(filter, {"CCITTFaxDecode", "JBIG2Decode", "JPXDecode", "JBIG2Globals"});
    if (filter && filter->IsArray()) {
        const auto& filters = static_cast<const TqzPDArray&>(*filter);
        for (int32_t i = 0; i < filters.GetLength() && !keep; ++i) {
            keep = IsAnyName(filters.Get(i), {"JBIG2Decode", "JPXDecode", "JBIG2Globals"});
        }
    }
    const ChainState chain = InspectChain(FStream.get());
    // The stored encoding is kept when the data cannot be decoded here, is
    // Flate or CCITT data already, must keep an image codec, or was never
    // decoded (a plain stream whose /Filter describes its bytes). Decoding
    // and writing it "as read" would leave /Filter describing other bytes.
    const bool stored = chain.undecodable || keep || IsAnyName(filter, {"FlateDecode"}) ||
                        (filter && !chain.decodes);
    if (stored) {
        if (TqzStreamPtr source = StoredEncodingStream(FStream)) TakeStored(frame, std::move(source));
        return;
    }
    ResetStream(*FStream);
    frame.Source = FStream;
    frame.SourceSize = -1;
    frame.Decodes = true;
    const TqzPDBaseObject* type = FDict ? FDict->LookUp("Type") : nullptr;
    if (IsAnyName(type, {"Metadata"})) {
        // Metadata is written decoded, so it must not claim a filter.
        TqzPDDictionary& out = OutputDict(frame);
        out.Remove("Filter");
        out.Remove("DecodeParms");
        out.Remove("DP");
        return;
    }
    const auto& flate = FilterHooks().FlateEncoder;
    if (!flate) throw ExInvalidStream("Invalid Stream: no Flate encoder is registered");
    frame.Source = flate(FStream);
    if (FDict) {
        TqzPDDictionary& out = OutputDict(frame);
        out.SetKeyValue("Filter", std::make_unique<TqzPDName>("FlateDecode"));
        // Parameters of the filters just removed no longer apply.
        out.Remove("DecodeParms");
        out.Remove("DP");
    }
}

void TqzPDStream::EncryptForOutput(TqzSaveFrame& frame) {
    TqzParentDocument* doc = GetParentDoc();
    if (!doc || !doc->EncryptsOutput()) return;
    // A stream without data is written as the encryption of nothing.
    if (!frame.Source) frame.Source = std::make_shared<TqzMemoryStream>();
    const uint32_t number = IsDirect() ? FValidObjectNumber : FObjNumber;
    const uint32_t generation = IsDirect() ? 0 : FGenNumber;
    TqzStreamPtr encrypted = doc->EncryptingStreamForOutput(frame.Source, FDict.get(), number, generation);
    if (encrypted != frame.Source) frame.SourceSize = -1;
    frame.Source = std::move(encrypted);
}

void TqzPDStream::FallBackToStored(TqzSaveFrame& frame) {
    frame.OutputDict.reset();
    frame.Source.reset();
    TqzStreamPtr stored = StoredEncodingStream(FStream);
    if (stored) TakeStored(frame, std::move(stored));
    EncryptForOutput(frame);
}

void TqzPDStream::PrepareData(TqzSaveFrame& frame) {
    TqzParentDocument* doc = GetParentDoc();
    const bool loadedEncrypted = doc && doc->GetIsEncrypted();
    const bool hasSettings = doc && doc->HasUserEncryptionSettings();
    frame.Source.reset();
    frame.SourceSize = -1;
    frame.Decodes = false;
    frame.OutputDict.reset();
    try {
        if (FStream && !FIsChanged && FDict && FDict->LookupRefObj("Filter") && !loadedEncrypted && !hasSettings) {
            // Unchanged and filtered: the stored bytes go to the output untouched.
            if (TqzStream* base = FStream->GetBaseStream()) TakeStored(frame, TqzStreamPtr(FStream, base));
            return;
        }
        if (FStream) Encode(frame);
        EncryptForOutput(frame);
    } catch (const ExLimitExceeded&) {
        if (!frame.Decodes) RethrowNamingSource(FStream.get());
        FallBackToStored(frame);
    } catch (...) {
        RethrowNamingSource(FStream.get());
    }
    SetIsChanged(true);
}

int32_t TqzPDStream::ReadData(TqzSaveFrame& frame, uint8_t* buffer, uint32_t count) {
    try {
        return frame.Source->Read(buffer, count);
    } catch (const ExLimitExceeded&) {
        // Decoded data too large: the caller falls back to the stored bytes.
        if (frame.Decodes) throw;
        RethrowNamingSource(FStream.get());
    } catch (...) {
        RethrowNamingSource(FStream.get());
    }
}

bool TqzPDStream::ReadHeld(TqzSaveContext& context, TqzSaveFrame& frame, size_t limit) {
    uint8_t* const block = context.Block();
    while (frame.Held.size() <= limit) {
        const int32_t got = ReadData(frame, block, TqzSaveContext::kBlockSize);
        if (got <= 0) return true;
        frame.Held.append(reinterpret_cast<const char*>(block), static_cast<size_t>(got));
    }
    return false;
}

TqzSaveStep TqzPDStream::BeginData(TqzSaveContext& context, TqzSaveFrame& frame) {
    frame.Held = context.TakeBuffer();
    for (;;) {
        frame.DictStart = context.Position();
        frame.Held.clear();
        frame.LengthNumber = 0;
        if (!frame.Source || frame.SourceSize >= 0) break;
        // A direct stream stands inside another object: its /Length cannot
        // follow it, so it is held whole.
        const size_t limit = IsDirect() ? std::string::npos : kHeldDataLimit;
        bool ended = false;
        try {
            ended = ReadHeld(context, frame, limit);
        } catch (const ExLimitExceeded&) {
            FallBackToStored(frame);
            continue;
        }
        if (!ended) frame.LengthNumber = context.TakeNewNumber();
        break;
    }
    int64_t length = static_cast<int64_t>(frame.Held.size());
    if (frame.SourceSize >= 0) length = frame.SourceSize;
    if (frame.LengthNumber != 0) {
        if (FDict) OutputDict(frame).SetKeyValue("Length", std::make_unique<TqzPDOutputRef>(frame.LengthNumber));
    } else {
        SetLength(frame, length);
    }
    frame.Phase = 2;
    if (FDict) {
        TqzPDDictionary& dict = frame.OutputDict ? static_cast<TqzPDDictionary&>(*frame.OutputDict) : *FDict;
        if (frame.Mode != TqzSaveMode::Plain) dict.SetValidObjectNumber(ChildValidNumber());
        dict.SetIsChanged(true);  // it is written whenever the stream is
        frame.Pending = &dict;
        context.Schedule(dict, frame.Mode);
        return TqzSaveStep::Child;
    }
    context.Write("<</Length " +
                  (frame.LengthNumber != 0 ? IntegerToString(frame.LengthNumber) + " 0 R" : IntegerToString(length)) +
                  " >>");
    return FinishData(context, frame);
}

TqzSaveStep TqzPDStream::FinishData(TqzSaveContext& context, TqzSaveFrame& frame) {
    context.Write("\r\nstream\r\n");
    context.Write(frame.Held);
    auto written = static_cast<int64_t>(frame.Held.size());
    context.GiveBackBuffer(std::move(frame.Held));
    frame.Held = std::string();
    if (frame.Source && (frame.SourceSize >= 0 || frame.LengthNumber != 0)) {
        uint8_t* const block = context.Block();
        try {
            for (int32_t got; (got = ReadData(frame, block, TqzSaveContext::kBlockSize)) > 0;) {
                context.Write(std::string_view(reinterpret_cast<const char*>(block), static_cast<size_t>(got)));
                written += got;
            }
        } catch (const ExLimitExceeded&) {
            // Too large to decode after all: what was written of it goes,
            // and the stored bytes are written instead.
            context.RewindTo(frame.DictStart);
            if (frame.LengthNumber != 0 && context.XRef().GetLastObjectNumber() == frame.LengthNumber) {
                context.GiveBackNumber();
            }
            FallBackToStored(frame);
            return BeginData(context, frame);
        }
    }
    if (frame.SourceSize >= 0 && written != frame.SourceSize) {
        // The stored bytes ended before the length written for them.
        const std::string path = SourcePath(FStream.get());
        if (path.empty()) throw ExInvalidStream();
        throw ExSourceDataError(path, ExInvalidStream::kMessage);
    }
    context.Write(IsDirect() ? "\r\nendstream" : "\r\nendstream\r\nendobj\r\n");
    if (frame.LengthNumber != 0) {
        context.RecordEntry(frame.LengthNumber, 0, TqzPDXRefEntrytype::xeUnCompressed);
        context.WriteHeader(frame.LengthNumber, 0);
        context.Write(IntegerToString(written) + "\r\nendobj\r\n");
    }
    frame.Source.reset();
    return TqzSaveStep::Done;
}

TqzSaveStep TqzPDStream::SaveStep(TqzSaveContext& context, TqzSaveFrame& frame) {
    TqzParentDocument* doc = GetParentDoc();
    switch (frame.Phase) {
        case 0:
            if (!IsDirect()) {
                frame.RememberedNumber = FObjNumber;
                FObjNumber = context.TakeNewNumber();
                FGenNumber = 0;
                FIsWritten = true;
                frame.TookNumber = true;
            }
            if (doc && FDict) FDict->GetIndirectRefs(frame.Refs);
            frame.Phase = 1;
            [[fallthrough]];
        case 1: {
            TqzPDBaseObject& markChanged = FDict ? static_cast<TqzPDBaseObject&>(*FDict) : *this;
            if (doc && SaveTargets(context, frame, *doc, *this, ChildValidNumber(), true, markChanged) ==
                           TqzSaveStep::Child) {
                return TqzSaveStep::Child;
            }
            frame.Refs.clear();  // may point into entries the save replaces
            if (FDict) FIsChanged = FDict->GetIsChanged();
            if (context.OnlyChanged() && !FIsChanged) {
                if (!IsDirect()) {
                    FObjNumber = frame.RememberedNumber;
                    if (frame.TookNumber) context.GiveBackNumber();
                }
                return TqzSaveStep::Done;
            }
            if (!IsDirect()) {
                context.RecordEntry(FObjNumber, FGenNumber, TqzPDXRefEntrytype::xeUnCompressed);
                context.WriteHeader(FObjNumber, FGenNumber);
            }
            PrepareData(frame);
            return BeginData(context, frame);
        }
        default:
            return FinishData(context, frame);
    }
}

}  // namespace qz::core
