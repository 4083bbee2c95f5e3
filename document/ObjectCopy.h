#pragma once
// TqzObjectCopier: copies objects of one source document into one target
// document, as page insertion needs. Every indirect source object is copied
// at most once per copier: the first time it is reached it takes a target
// number and is recorded, before anything it refers to is copied, so objects
// shared by many pages stay shared and reference cycles end. References are
// followed through a work list, never by recursion; direct nesting is bounded
// by kMaxNestingDepth.
//
// What a copy is depends only on the object copied, never on the path that
// reached it first, since every later path shares that copy. Not carried:
// page-tree nodes, the catalog, pages other than those the caller maps (they
// copy to null), and the entries that tie a page to the source's structure
// (/Parent, /B, /DPart). Everything else is user data and carried as it is,
// whatever its keys are called: links keep their actions, annotations their
// /P, widgets their field chain. Destinations are followed to the copies of
// their pages: one whose page is not copied is dead, and the /Dest or go-to
// action holding it is left out; named destinations take the names the
// caller gave them (SetDestinationNames). The source is only read.
//
// Stream data is shared, not copied: a copied stream reads the source's data
// stream, so the source document must outlive the target's next save. A copy
// is unchanged when its source is, so an unchanged filtered stream is written
// byte for byte; data that was read through decryption is marked changed so
// that the save writes it decrypted (still encoded) rather than the raw bytes.
//
// The copier borrows both documents and the destination values it is given;
// it owns only its record of copies.

#include <cstdint>
#include <memory>
#include <string>
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
    // A named destination of the source and what it becomes in the target.
    struct DestinationName {
        std::string TargetName;
        // The source's destination (an array, or a dictionary with /D), as
        // stored; borrowed.
        const core::TqzPDBaseObject* Value = nullptr;
    };

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
    // The object numbers of the source's pages in page order: a destination
    // that names its page by index reaches that page's copy.
    void SetSourcePages(std::vector<uint32_t> pageNumbers) { FSourcePages = std::move(pageNumbers); }
    // The source's named destinations, by name: a link or go-to action that
    // uses one takes its target name, and is left out when its page is not
    // copied. Names not listed are copied as they are.
    void SetDestinationNames(std::unordered_map<std::string, DestinationName> names) {
        FNames = std::move(names);
    }

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

    // Whether a destination (an array, a name or a dictionary with /D, as
    // stored) leads to a page that copies to null, or to nothing.
    bool IsDeadDestination(const core::TqzPDBaseObject& stored);
    // The copy of a live destination: its page the page's copy, a name the
    // target name given for it.
    std::unique_ptr<core::TqzPDBaseObject> CopyDestination(const core::TqzPDBaseObject& stored);

    // Indirect objects made in the target so far.
    size_t GetCopiedCount() const { return FCopied; }

private:
    struct Pending;
    // What a dictionary is, as far as the copy treats it apart.
    enum class DictRole : uint8_t { Plain, Page, Link, GoToAction, Action };

    static DictRole RoleOf(const core::TqzPDDictionary& dict, bool isPage, bool isStreamDict);
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
    std::unique_ptr<core::TqzPDBaseObject> CopyDestination(const core::TqzPDBaseObject& stored, int32_t depth);
    // An action's /Next: one action, or an array of them from which those
    // that copy to null are left out.
    std::unique_ptr<core::TqzPDBaseObject> CopyNextActions(const core::TqzPDBaseObject& stored, int32_t depth);
    void FillEntries(const core::TqzPDDictionary& source, core::TqzPDDictionary& target, int32_t depth,
                     bool isPage, bool isStreamDict);
    void Drain();
    // The object a stored value stands for in the source (a reference
    // resolved); none when it leads nowhere.
    const core::TqzPDBaseObject* Resolve(const core::TqzPDBaseObject& stored);
    // Objects that copy to null whatever refers to them.
    bool CopiesToNull(const core::TqzPDBaseObject& object);
    // Page-tree nodes, the catalog and pages the caller did not map.
    static bool NeverCopied(const core::TqzPDBaseObject& object);
    // The page of an explicit destination (its first element) copies to null.
    bool IsDeadPage(const core::TqzPDBaseObject& element);
    bool IsDeadExplicitDestination(const core::TqzPDBaseObject& destination);
    // The target number of the copy of the source's page with this 0-based
    // index; 0 when there is none.
    uint32_t PageCopyByIndex(int64_t index) const;

    core::TqzParentDocument& FSource;
    TqzCopyTarget& FTarget;
    std::unordered_map<uint32_t, uint32_t> FMap;
    std::unordered_map<const core::TqzPDBaseObject*, uint32_t> FSharedDirect;
    std::vector<uint32_t> FSourcePages;
    std::unordered_map<std::string, DestinationName> FNames;
    std::vector<Pending> FWork;
    // Source objects read for this copy alone (not kept by the source): held
    // while the work list and FSharedDirect may still point into them.
    std::vector<std::unique_ptr<core::TqzPDBaseObject>> FHeld;
    size_t FCopied = 0;
};

}  // namespace qz::document
