#pragma once
// The document-level data that copied pages depend on, carried from a
// source's catalog into the target's with the copier that copied the pages,
// so that every reference lands on the same copies: form fields, named
// destinations, optional content and page labels. The target keeps its own
// catalog; what a source brings is added beside it, renamed where names
// collide, so that every page links, fills and shows as in its source.
//
// TqzCatalogMerge borrows both documents and the copier for the length of
// one insertion and owns only its plan of destination names.

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "document/NameNumberTree.h"

namespace qz::core {
class TqzPDBaseObject;
class TqzPDDictionary;
}  // namespace qz::core

namespace qz::document {

class TqzObjectCopier;
class TqzPDDocument;

// Field hierarchies nest a few levels; a longer /Parent chain is a loop or
// built to stall the walk.
inline constexpr int32_t kMaxFieldDepth = 100;

// `base` followed by "_1", "_2", ... (the first that `taken` lacks); a
// UTF-16 text string takes the suffix in UTF-16.
std::string UniqueName(const std::string& base, const std::unordered_set<std::string>& taken);

// Names in use, each base remembering the suffix to try next, so that the
// k-th clash of one name (every file of a folder has "page.1") costs one
// look-up rather than k.
class TqzNameSet {
  public:
    bool Contains(const std::string& name) const { return FTaken.count(name) != 0; }
    void Add(const std::string& name) { FTaken.insert(name); }
    // `name` when it is free, else the first free name UniqueName would
    // give; taken either way.
    std::string Take(const std::string& name);

  private:
    std::unordered_set<std::string> FTaken;
    std::unordered_map<std::string, size_t> FNextSuffix;
};

// What the merges into one document know of its names between insertions,
// so that each insertion costs what it brings, not what the document holds
// by then: the names in use, and the named destinations and attached files
// added but not yet written into the document's name trees. The document
// owns it (TqzPDDocument::GetMergedNames); WriteMergedNames writes the
// trees and forgets it, which every save does first, and so must any code
// that reads or changes the trees or the form's /Fields outside a merge.
struct TqzMergedNames {
    bool DestinationsRead = false;
    TqzNameSet Destinations;  // of the name tree and the /Dests dictionary
    TqzOwnedNameEntries AddedDestinations;
    bool FilesRead = false;
    TqzNameSet Files;
    TqzOwnedNameEntries AddedFiles;
    bool FieldsRead = false;
    TqzNameSet FieldNames;  // of the top fields listed in /Fields
    std::unordered_set<uint32_t> ListedFields;
};

// Writes what merges added into `document`'s name trees, and forgets what
// they knew of its names.
void WriteMergedNames(TqzPDDocument& document);

// The widgets on `pages` (page dictionaries of `target`, copied from
// `source` with `copier`): the top field of each joins the target's
// /AcroForm /Fields once. A top field named like one already there is
// renamed, so that both keep their values. What the source's form gives its
// fields goes with them: its /DA and /Q to the target's form where it has
// none, else to each joined field that lacks them, its calculation order
// after the target's, and its /DR resources join the target's without
// replacing any.
void JoinFormFields(TqzPDDocument& target, TqzPDDocument& source, TqzObjectCopier& copier,
                    const std::vector<core::TqzPDDictionary*>& pages);

class TqzCatalogMerge {
  public:
    TqzCatalogMerge(TqzPDDocument& target, TqzPDDocument& source, TqzObjectCopier& copier);

    // Before the pages are copied: every named destination of the source
    // gets its name in the target (renamed when the target has it), and the
    // copier learns them, so that links are renamed as they are copied.
    void PlanDestinationNames();
    // After the pages: the source's live named destinations join the
    // target's name tree (or its /Dests dictionary, for old-style names).
    void MergeNamedDestinations();
    // The source's optional content groups join the target's, each on or
    // off by default as in the source; its order, radio-button groups,
    // locked groups and auto-state rules join the target's.
    void MergeOptionalContent();
    // Page labels after `count` source pages from `sourceStartPage` went
    // after page `afterPage` of a target that had `targetPages` pages: each
    // part is numbered as in its document, a document without labels from
    // its first page's number, and the target's pages after the inserted
    // block go on as before.
    void MergePageLabels(int32_t afterPage, int32_t sourceStartPage, int32_t count,
                         int32_t targetPages);
    // /NeedAppearances true in either form stays true.
    void MergeNeedAppearances();
    // The source's attached files join the target's, each under its own
    // name, renamed where the target has that name.
    void MergeEmbeddedFiles();

  private:
    // A run of pages numbered by one label dictionary (none: decimal), the
    // run's first page counting `Offset` pages into it.
    struct LabelRange {
        const core::TqzPDBaseObject* Value = nullptr;
        int64_t Offset = 0;
    };
    using LabelRanges = std::vector<std::pair<int64_t, LabelRange>>;

    // The ranges of a document's /PageLabels that start at one of its
    // `pages` pages, by first page.
    static LabelRanges ReadLabelRanges(TqzPDDocument& document, int32_t pages);
    // The target's runs while it has no labels (MarkUnlabelledRanges).
    LabelRanges UnlabelledRanges(int32_t afterPage, int32_t count, int32_t targetPages);
    // A new direct label dictionary of the target for the page `pagesIn`
    // pages into `range`.
    std::unique_ptr<core::TqzPDDictionary> LabelFor(const LabelRange& range, int64_t pagesIn,
                                                    bool fromSource);
    // Records on the target's pages where runs numbered from 1 (or from a
    // partial range's first page) begin, while no document has labels.
    void MarkUnlabelledRanges(int32_t afterPage, int32_t sourceStartPage, int32_t count,
                              int32_t targetPages);

    TqzPDDocument& FTarget;
    TqzPDDocument& FSource;
    TqzObjectCopier& FCopier;
    std::vector<TqzNameTreeEntry> FSourceTreeNames;
    std::vector<TqzNameTreeEntry> FSourceDictNames;
    std::unordered_map<std::string, std::string> FTargetNames;
};

}  // namespace qz::document
