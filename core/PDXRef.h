#pragma once
// TqzPDXRef: the cross-reference of one document: one entry per object number
// (byte offset, or object stream and index), the last object number in use,
// and the state of the section being read or written. The writer fills its
// own table while it saves. Entries are stored sparsely: the slot count only
// records how far the table reaches, so a hostile /Size or object number never
// sizes memory.

#include <cstdint>
#include <map>

#include "core/Object.h"

namespace qz::core {

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

    TqzPDXRef() = default;

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
    // The entries set so far, in object-number order.
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

protected:
    std::map<uint32_t, TqzPDXRefEntry> FEntries;
    uint32_t FSize = 0;
    bool FWriteAsStream = false;
    // Reading: the offset of the newest section; writing: where the section went.
    uint32_t FStartXref = 0;
    bool FChanged = false;
    // Reading: the slot shift; writing: the first number of the section written.
    int32_t FStartObjectNumber = 0;
    uint32_t FLastObjectNumber = 0;
};

}  // namespace qz::core
