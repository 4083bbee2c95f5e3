#pragma once
// TqzSaveContext: one save of one object graph into an output stream. It runs
// the objects' save steps on an explicit stack: a step that must first save
// another object (a target its references name, or a nested value) schedules
// it and returns; the context saves that object completely and then resumes
// the step. It also owns the numbering: new object numbers and cross-reference
// entries come from the writer's table.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/PDBaseObject.h"
#include "core/PDIndirectRef.h"
#include "core/PDXRef.h"
#include "core/Stream.h"

namespace qz::core {

class TqzParentDocument;
class TqzPDString;
class TqzPDDictionary;

enum class TqzSaveMode : uint8_t {
    Normal,
    // Nothing goes through the encrypted path and no valid numbers are set:
    // the trailer's /ID array.
    Plain,
};

// The resumable state of one object's save.
struct TqzSaveFrame {
    TqzPDBaseObject* Object = nullptr;
    TqzSaveMode Mode = TqzSaveMode::Normal;
    int Phase = 0;
    size_t Index = 0;
    // The references whose targets are saved first.
    std::vector<TqzPDIndirectRef*> Refs;
    // The object saved just before this step resumes (a target or a value).
    TqzPDBaseObject* Pending = nullptr;
    uint32_t RememberedNumber = kDirectObject;
    bool TookNumber = false;
    // Stream data: read from Source in blocks. SourceSize is its length
    // when known before reading (stored bytes copied as they are), else -1.
    TqzStreamPtr Source;
    int64_t SourceSize = -1;
    // The data read before the dictionary is written: all of a short stream.
    std::string Held;
    // Source decodes the stored data, so a decoder may find it too large.
    bool Decodes = false;
    // The number of the /Length object written after the data, or 0.
    uint32_t LengthNumber = 0;
    // Where the stream's dictionary starts in the output.
    int64_t DictStart = 0;
    // What a stream writes as its dictionary when the output's /Filter or
    // /Length differ from the object's own: the object itself is left as it
    // was, so that its dictionary keeps describing the data it holds.
    std::unique_ptr<TqzPDBaseObject> OutputDict;
};

class TqzSaveContext {
public:
    TqzSaveContext(TqzStream& stream, bool onlyChanged, TqzPDXRef& xref)
        : FStream(stream), FOnlyChanged(onlyChanged), FXRef(xref) {}

    bool OnlyChanged() const { return FOnlyChanged; }
    TqzPDXRef& XRef() { return FXRef; }
    int64_t GetWritten() const { return FWritten; }

    void Write(std::string_view bytes);
    // The offset in the output of the next byte written.
    int64_t Position() const;
    // Drops everything written from `position` on (a position this save
    // reached): the output is cut back there and goes on from there.
    void RewindTo(int64_t position);
    // A block of kBlockSize bytes for data on its way to the output, shared
    // by the save's streams: a save copies thousands of small streams, and a
    // fresh block for each cost more than the copying.
    static constexpr uint32_t kBlockSize = 64 * 1024;
    uint8_t* Block();
    // An empty buffer for data held before its dictionary is written, with
    // the capacity of the last one given back: fresh memory for every stream
    // cost more in page faults than copying the data into it.
    std::string TakeBuffer();
    void GiveBackBuffer(std::string&& buffer);

    // The writer's last number plus one, which becomes the last number.
    uint32_t TakeNewNumber();
    // Lowers the writer's last number by one.
    void GiveBackNumber();
    // Records a cross-reference entry at the output's current position.
    void RecordEntry(uint32_t objNumber, uint32_t genNumber, TqzPDXRefEntrytype type);
    // "N G obj" and CR LF.
    void WriteHeader(uint32_t objNumber, uint32_t genNumber);

    // Saves `object` completely before the current step resumes.
    void Schedule(TqzPDBaseObject& object, TqzSaveMode mode);
    // Saves a scalar at once (scalars never schedule anything).
    void SaveScalar(TqzPDBaseObject& object);
    // Saves `root` and everything it schedules.
    void Run(TqzPDBaseObject& root, TqzSaveMode mode = TqzSaveMode::Normal);

private:
    // Pushes the gathered bytes to the output stream.
    void Flush();
    void WriteThrough(std::string_view bytes);
    void RunSteps(TqzPDBaseObject& root, TqzSaveMode mode);

    // Objects are written a few bytes at a time (a name, a number, a
    // blank); they are gathered here and reach the stream in blocks of about
    // this size, one virtual write per block instead of one per token.
    static constexpr size_t kGatherSize = 64 * 1024;
    // The largest buffer kept from one stream for the next: room for what a
    // stream holds before its dictionary is written, not a whole large one.
    static constexpr size_t kMaxSpareBuffer = 4 * 1024 * 1024;

    TqzStream& FStream;
    std::string FGathered;
    std::unique_ptr<uint8_t[]> FBlock;
    std::string FSpareBuffer;
    const bool FOnlyChanged;
    TqzPDXRef& FXRef;
    int64_t FWritten = 0;
    std::vector<TqzSaveFrame> FFrames;
    TqzPDBaseObject* FScheduled = nullptr;
    TqzSaveMode FScheduledMode = TqzSaveMode::Normal;
};

// ---- steps shared by arrays, dictionaries and streams ----

// Targets first: saves, one at a time, the objects named by frame.Refs that
// the document does not report as written (null targets only when
// `includeNullTargets`), each after its valid number is set to `validNumber`.
// A target that is changed after its save marks `markChanged` changed.
// Returns Child while a target is being saved.
TqzSaveStep SaveTargets(TqzSaveContext& context, TqzSaveFrame& frame, TqzParentDocument& doc,
                        const TqzPDBaseObject& container, uint32_t validNumber, bool includeNullTargets,
                        TqzPDBaseObject& markChanged);

// After the targets of a container: in an incremental save an unchanged
// container is not written (false); its remembered number comes back and,
// with `giveBackNumber`, the writer's last number too. Otherwise its entry,
// header and `opener` are written and the frame is set to walk its values.
bool OpenContainer(TqzSaveContext& context, TqzSaveFrame& frame, TqzPDBaseObject& container, bool giveBackNumber,
                   std::string_view opener);

// A reference to an object that the save writes itself under this number
// of the output (a stream's /Length, known only after its data): written as
// it stands, never looked up in the document.
class TqzPDOutputRef final : public TqzPDIndirectRef {
public:
    explicit TqzPDOutputRef(uint32_t objNumber) : TqzPDIndirectRef(objNumber, 0) {}
    std::unique_ptr<TqzPDBaseObject> Clone() const override { return std::make_unique<TqzPDOutputRef>(FObjNumber); }
};

// Writes a reference under the number its target now carries. A target that
// was not written keeps the old number in an incremental save; in a full save
// the reference is written as null, since the old number would name an
// unrelated object of the new file.
void WriteReference(TqzSaveContext& context, const TqzPDIndirectRef& ref, TqzParentDocument* doc);

// Writes a string encrypted for the output as "<hex>": under its own new
// number when indirect, else under the container's number (or valid number).
void WriteEncryptedString(TqzSaveContext& context, TqzPDString& string, const TqzPDBaseObject& container,
                          TqzParentDocument& doc);

}  // namespace qz::core
