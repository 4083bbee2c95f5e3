#pragma once
// TqzObjectCopier: copies objects of one source document into one target
// document, as page insertion needs. Every indirect source object is copied
// at most once per copier: the first time it is reached it takes a target
// number and is recorded, before anything it refers to is copied, so objects
// shared by many pages stay shared and reference cycles end. References are
// followed through a work list, never by recursion; direct nesting is bounded
// by kMaxNestingDepth.
//
// What is not carried: page-tree nodes, pages other than those the caller
// maps (they copy to null), empty dictionaries, and the entries that tie an
// object to its old place (/Parent, /P, a page's /B) or jump into the source
// (/Dest, /DPart, /A). The source is only read, never changed.
//
// Stream data is shared, not copied: a copied stream reads the source's data
// stream, so the source document must outlive the target's next save. A copy
// is unchanged when its source is, so an unchanged filtered stream is written
// byte for byte; data that was read through decryption is marked changed so
// that the save writes it decrypted (still encoded) rather than the raw bytes.
//
// The copier borrows both documents; it owns only its record of copies.

#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qz::core {
class TqzParentDocument;
class TqzPDBaseObject;
class TqzPDDictionary;
}  // namespace qz::core

namespace qz::document {

// What a copy needs of the document it copies into.
class TqzCopyTarget {
public:
    virtual ~TqzCopyTarget() = default;
    // The resolver the copied containers hold.
    virtual core::TqzParentDocument* GetCopyParentDoc() = 0;
    // The document's last object number plus one, which becomes the last.
    virtual uint32_t TakeObjectNumber() = 0;
    // Enters an indirect object in the object table, which owns it from then
    // on; returns it, borrowed.
    virtual core::TqzPDBaseObject* AddObject(std::unique_ptr<core::TqzPDBaseObject> object) = 0;
};

class TqzPDDocument;

// The copy target over a document model: its base document resolves, and
// numbers and owns the copies.
class TqzDocumentCopyTarget final : public TqzCopyTarget {
public:
    explicit TqzDocumentCopyTarget(TqzPDDocument& document) : FDocument(document) {}
    core::TqzParentDocument* GetCopyParentDoc() override;
    uint32_t TakeObjectNumber() override;
    core::TqzPDBaseObject* AddObject(std::unique_ptr<core::TqzPDBaseObject> object) override;

private:
    TqzPDDocument& FDocument;
};

class TqzObjectCopier {
public:
    TqzObjectCopier(core::TqzParentDocument& source, TqzCopyTarget& target);
    ~TqzObjectCopier();
    TqzObjectCopier(const TqzObjectCopier&) = delete;
    TqzObjectCopier& operator=(const TqzObjectCopier&) = delete;

    // Records source object `sourceNumber` as already placed: references to
    // it become references to `targetNumber`, or copy to null for 0. The
    // object itself is never copied.
    void MapObject(uint32_t sourceNumber, uint32_t targetNumber);
    // The target number recorded for a source object; 0 when it copies to
    // null or has not been reached.
    uint32_t MappedNumber(uint32_t sourceNumber) const;
    bool IsMapped(uint32_t sourceNumber) const { return FMap.count(sourceNumber) != 0; }

    // The copy of a stored value (a reference or a direct value): a reference
    // to the copied object, a direct copy, or none when it copies to null.
    // Everything the value reaches has been copied when it returns.
    std::unique_ptr<core::TqzPDBaseObject> Copy(const core::TqzPDBaseObject& stored);
    // The copy of a resolved object: for an indirect one a reference to its
    // copy, for a direct one a direct copy; none when it copies to null.
    std::unique_ptr<core::TqzPDBaseObject> Duplicate(const core::TqzPDBaseObject& object);
    // A reference to an indirect copy of `object`; a direct object is made
    // indirect in the target, once however often it is asked for, so that
    // target objects can share it. None when it copies to null.
    std::unique_ptr<core::TqzPDBaseObject> DuplicateShared(const core::TqzPDBaseObject& object);
    // Appends copies of `source`'s entries to `target` (a dictionary of the
    // target document), leaving out what is never carried. `source` is a
    // page when `isPage`.
    void CopyEntries(const core::TqzPDDictionary& source, core::TqzPDDictionary& target, bool isPage);

    // Indirect objects made in the target so far.
    size_t GetCopiedCount() const { return FCopied; }

private:
    struct Pending;

    // The target number for source object `number`, copying it (as an empty
    // shell whose contents wait in the work list) on first reach; 0 for null.
    uint32_t Reach(uint32_t number);
    // The target number of the indirect copy of a direct object, made on
    // first reach; 0 for null.
    uint32_t ReachShared(const core::TqzPDBaseObject& object);
    // A copy of `object` under a new target number, entered in the target's
    // table; a container's contents are queued in the work list.
    uint32_t MakeShell(const core::TqzPDBaseObject& object);
    std::unique_ptr<core::TqzPDBaseObject> CopyDirect(const core::TqzPDBaseObject& stored, int32_t depth);
    void FillEntries(const core::TqzPDDictionary& source, core::TqzPDDictionary& target, int32_t depth,
                     bool isPage, bool isStreamDict);
    void Drain();
    // Objects that copy to null whatever refers to them.
    bool CopiesToNull(const core::TqzPDBaseObject& object) const;

    core::TqzParentDocument& FSource;
    TqzCopyTarget& FTarget;
    std::unordered_map<uint32_t, uint32_t> FMap;
    std::unordered_map<const core::TqzPDBaseObject*, uint32_t> FSharedDirect;
    std::vector<Pending> FWork;
    // Source objects read for this copy alone (not kept by the source): held
    // while the work list and FSharedDirect may still point into them.
    std::vector<std::unique_ptr<core::TqzPDBaseObject>> FHeld;
    size_t FCopied = 0;
};

}  // namespace qz::document
