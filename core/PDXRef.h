#pragma once
// TqzPDXRef: the cross-reference of one document: one entry per object number
// (byte offset, or object stream and index), the last object number in use,
// and the state of the section being read or written. The writer fills its
// own table while it saves. Entries are stored sparsely: the slot count only
// records how far the table reaches, so a hostile /Size or object number never
// sizes memory.
//
// A reading table is opened over a file: it finds the newest section through
// "startxref", reads every section along /Prev and /XRefStm, holds the newest
// trailer, and fetches objects by number on demand, by offset or out of an
// object stream. A table that cannot be read is rebuilt once by scanning the
// whole file. It owns the trailer, the repair state and a few parsed object
// streams; it shares the file's byte stream and borrows the document.

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <set>
#include <unordered_set>
#include <vector>

#include "core/Object.h"
#include "core/PDLexer.h"
#include "core/Stream.h"

namespace qz::core {

class TqzObjectStream;
class TqzParentDocument;
class TqzPDBaseObject;
class TqzPDDictionary;
class TqzPDFFaultTolerance;
class TqzPDParser;
class TqzPDStream;

enum class TqzPDXRefEntrytype : uint8_t { xeFree, xeUnCompressed, xeCompressed };

class TqzPDXRefEntry : public TqzObject {
  public:
    // Offset value of a slot that has not been set yet.
    static constexpr uint32_t kUnset = 0xFFFFFFFF;
    static constexpr uint32_t kMaxGeneration = 65535;

    TqzPDXRefEntry() = default;
    TqzPDXRefEntry(uint32_t offset, uint32_t genNum, TqzPDXRefEntrytype entryType)
        : FEntryType(entryType), FOffset(offset), FGenNum(genNum) {}

    // For xeUnCompressed the offset of the object's header; for xeCompressed
    // the number of the object stream; for xeFree the next free number.
    uint32_t GetOffset() const { return FOffset; }
    void SetOffset(uint32_t offset) { FOffset = offset; }
    // For xeCompressed the index within the object stream.
    uint32_t GetGenNum() const { return FGenNum > kMaxGeneration - 1 ? kMaxGeneration : FGenNum; }
    // The stored generation uncapped: for xeCompressed the index within the
    // object stream, which may pass 65535.
    uint32_t GetStreamIndex() const { return FGenNum; }
    void SetGenNum(uint32_t genNum) { FGenNum = genNum; }
    TqzPDXRefEntrytype GetEntryType() const { return FEntryType; }
    void SetEntryType(TqzPDXRefEntrytype entryType) { FEntryType = entryType; }
    bool IsSet() const { return FOffset != kUnset; }

  private:
    TqzPDXRefEntrytype FEntryType = TqzPDXRefEntrytype::xeFree;
    uint32_t FOffset = kUnset;
    uint32_t FGenNum = kMaxGeneration;
};

class TqzPDXRef : public TqzObject {
  public:
    // Slots beyond the end that SetEntry adds at once.
    static constexpr uint32_t kGrowth = 1024;

    // The writer's table: empty, over no file.
    TqzPDXRef();
    // A reading table over `stream` (the whole file, a base stream) for
    // `parentDoc`; nothing is read until GenerateTable.
    TqzPDXRef(TqzParentDocument* parentDoc, TqzStreamPtr stream);
    ~TqzPDXRef() override;
    TqzPDXRef(const TqzPDXRef&) = delete;
    TqzPDXRef& operator=(const TqzPDXRef&) = delete;

    // Number of slots (object numbers 0 .. GetSize() - 1).
    uint32_t GetSize() const { return FSize; }
    // The slot's entry; an unset entry for a slot never set or out of range.
    TqzPDXRefEntry GetEntry(uint32_t index) const;
    // The stored entry of a slot, or none.
    const TqzPDXRefEntry* FindEntry(uint32_t index) const;
    // Copies type, offset and generation into the slot, growing the table to
    // index + kGrowth slots when index is beyond its end. An index above
    // kMaxObjectNumber is refused (False) and nothing changes.
    bool SetEntry(uint32_t index, const TqzPDXRefEntry& entry);
    // Appends unset slots until there are `tillCount` (at most kMaxObjectNumber + 1).
    void AddDefaultEntries(uint32_t tillCount);
    // Appends `entry` as the next slot; False when the table is full.
    bool AddEntry(const TqzPDXRefEntry& entry);
    // The slot's type is xeFree (slots never set count as free).
    bool IsEntryFree(uint32_t index) const;
    // The entries set so far, in object-number order; a reading table keeps
    // the free entries of its sections apart (IsEntryFree).
    const std::map<uint32_t, TqzPDXRefEntry>& GetEntries() const { return FEntries; }

    uint32_t GetLastObjectNumber() const { return FLastObjectNumber; }
    void SetLastObjectNumber(uint32_t value) { FLastObjectNumber = value; }
    int32_t GetStartObjectNumber() const { return FStartObjectNumber; }
    void SetStartObjectNumber(int32_t value) { FStartObjectNumber = value; }
    uint32_t GetStartXrefValue() const { return FStartXref; }
    void SetStartXrefValue(uint32_t value) { FStartXref = value; }
    bool GetWriteAsStream() const { return FWriteAsStream; }
    void SetWriteAsStream(bool value) { FWriteAsStream = value; }
    bool GetChanged() const { return FChanged; }

    // The writer's table: writes its entries as one cross-reference section
    // at the stream's position and records that offset (PDXRefWrite.cpp).
    // With `streamTrailer`, as a cross-reference stream whose dictionary also
    // carries the trailer entries given there.
    void SaveToStream(TqzStream& stream, const TqzPDDictionary* streamTrailer = nullptr);

    // ---- reading ----
    // Reads every section, newest first; False when any section failed (the
    // table then holds what could be read, or was rebuilt).
    bool GenerateTable();
    // The offset of the newest section, searched once ("startxref" near the
    // end, else the first "xref" of the last 1024 bytes). An empty file
    // raises ExInvalidPDFFile.
    uint32_t GetStartXref();
    // Reads the section at `pos`; True when it names an earlier section,
    // whose offset then replaces `pos`. A section already read is not read
    // again.
    bool Read(uint32_t& pos);
    bool ReadXRefTable(TqzPDParser& parser, uint32_t& pos);
    bool ReadXRefStream(TqzPDStream& stream, uint32_t& pos);
    // Reads `count` entries for objects first .. first + count - 1 from the
    // decoded data of a cross-reference stream, fields `widths` bytes wide.
    bool ReadXRefStreamSection(TqzStream& data, const int64_t (&widths)[3], int64_t count,
                               int64_t first);
    // Object `num` of the file, a new object the caller owns, or an error
    // token when it cannot be read (ExInvalidStream over no file).
    std::unique_ptr<TqzPDBaseObject> Fetch(uint32_t num);
    // Repairs the table: the last "xref" table is read again, then, once per
    // table, the whole file is scanned. A scan that finds no trailer keeps
    // the one held, and raises ExImproperCrossRefTableOrStream when none is.
    void FixPDF();

    // The trailer held (the newest), borrowed; none before one was read.
    TqzPDDictionary* GetTrailorDict() const { return FTrailerDict.get(); }
    TqzParentDocument* GetParentDoc() const { return FParentDoc; }
    const TqzStreamPtr& GetStream() const { return FStream; }
    // Every section read so far followed the format.
    bool GetOk() const { return FOk; }
    // Table subsections read; after a rebuild, the objects the scan found.
    int32_t GetXRefEntriesCount() const { return FXRefEntriesCount; }
    bool IsReconstructed() const;
    // The trailer held was found by the repair, not read where the file's
    // sections said: it may be any revision's, or another file's embedded
    // in this one.
    bool IsTrailerRepaired() const { return FTrailerRepaired; }
    // Frees the blocks of the file kept for the next fetches: a document
    // that will not be read for a while (a merge source whose pages were
    // copied) need not hold them. Fetches still work and read again.
    void ReleaseReadBlocks() { FBlockCache.Clear(); }
    // Whether object stream `number` is read for the first time: its decoded
    // bytes then count against the file's budget (ChargeObjectStreamBytes).
    bool FirstReadOfObjectStream(uint32_t number) { return FObjectStreamsCounted.insert(number).second; }
    // ExTooManyObjects once the decoded bytes of the file's object streams
    // pass its budget.
    void ChargeObjectStreamBytes(int64_t bytes);

  protected:
    std::map<uint32_t, TqzPDXRefEntry> FEntries;
    uint32_t FSize = 0;
    bool FWriteAsStream = false;
    // Reading: the offset of the newest section; writing: where the section went.
    uint32_t FStartXref = 0;
    bool FChanged = false;
    // Writing: the first number of the section written (0 when reading).
    int32_t FStartObjectNumber = 0;
    uint32_t FLastObjectNumber = 0;

    // ---- reading state ----
    friend class TqzPDFFaultTolerance;

    // The object through its entry (`generation` set to the one it was read
    // under), or none.
    std::unique_ptr<TqzPDBaseObject> FetchEntry(uint32_t num, bool mayRepair, uint32_t& generation);
    // Parses the object at `offset` when its header says "num gen obj";
    // none otherwise.
    std::unique_ptr<TqzPDBaseObject> FetchAt(uint32_t offset, uint32_t num, uint32_t gen);
    // Object `num` out of the object stream its entry names, or none;
    // `wrongEntry` tells whether the entry named the wrong stream.
    std::unique_ptr<TqzPDBaseObject> FetchPacked(uint32_t num, const TqzPDXRefEntry& entry,
                                                 bool& wrongEntry);
    // Reads the header "N G obj" where `parser` stands (one keyword before
    // it is passed over, for offsets a little short); False when none is.
    static bool ReadHeader(TqzPDParser& parser, uint32_t& number, uint32_t& generation);
    // Whether the in-use line `k` of a subsection labelled `first`, whose
    // first line is object 0's, points at object first + k - 1: the lines
    // then begin at object 0, as some producers write them.
    bool LinesBeginBelowLabel(int64_t first, int64_t k, uint32_t offset);
    // An offset named by /Prev or /XRefStm of `dict`. An entry that is there
    // but names no offset marks the table damaged: the sections it should
    // have led to are missing.
    bool SectionOffset(const TqzPDDictionary& dict, const char* key, uint32_t& offset);
    // Whether the held trailer's /Root names an object the table lists.
    bool RootListed() const;
    // The parsed object stream of that number, from the cache or made now;
    // none while that stream is itself being fetched.
    TqzObjectStream* GetObjectStream(uint32_t objStreamNum);
    // Whether a section already gave `slot` an entry (free ones included).
    bool IsSlotSet(uint32_t slot) const;
    // Stores `entry` in `slot` unless a newer section set it already;
    // False when it was set.
    bool StoreEntry(uint32_t slot, const TqzPDXRefEntry& entry);
    void GrowTo(int64_t count);
    void SetTrailer(std::unique_ptr<TqzPDDictionary> trailer);
    int64_t FileSize();
    // A lexer over the file that reads through the table's block cache.
    std::unique_ptr<TqzPDLexer> FileLexer();

    std::unique_ptr<TqzPDFFaultTolerance> FPDFFixer;
    TqzStreamPtr FStream;
    TqzFileBlockCache FBlockCache;
    std::unique_ptr<TqzPDDictionary> FTrailerDict;
    bool FOk = true;
    int32_t FXRefEntriesCount = 0;
    // Parsed object streams, most recently used first.
    std::list<std::unique_ptr<TqzObjectStream>> FObjectStreams;
    TqzParentDocument* FParentDoc = nullptr;
    bool FEncrypted = false;
    bool FStartXrefFound = false;
    // Reading: the slots sections marked free, a bit each: free entries
    // carry nothing a reader uses but their precedence over older sections,
    // and long free ranges must cost no memory per entry.
    std::vector<bool> FFreeSlots;
    // Cross-reference stream rows read so far, bounded by the file's size.
    int64_t FStreamRows = 0;
    // The highest number the sections list, kept apart from the last object
    // number, which the document raises as it numbers new objects.
    uint32_t FHighestListed = 0;
    // Offsets of sections read: a /Prev or /XRefStm chain that comes back to
    // one of them ends there.
    std::set<uint32_t> FSectionsRead;
    // Slots the table section being read marked free: its /XRefStm stream may
    // still give them (hybrid files list packed objects as free).
    std::unordered_set<uint32_t> FHybridFree;
    // Objects being fetched: a fetch that needs one of them again (a /Length
    // naming its own object, an object stream inside itself) gives none.
    std::unordered_set<uint32_t> FFetching;
    int32_t FFetchDepth = 0;
    std::unordered_set<uint32_t> FObjectStreamsCounted;
    int64_t FObjectStreamBytes = 0;
    bool FRepairing = false;
    bool FTrailerRepaired = false;
    int64_t FFileSize = -1;
};

}  // namespace qz::core
