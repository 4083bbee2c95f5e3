// Merging documents in the document component.

#include <exception>
#include <utility>
#include <limits>

#include "component/ComponentExceptions.h"
#include "component/CustomPDFDocument.h"
#include "core/PDBaseExceptions.h"
#include "core/PDReader.h"
#include "core/PDXRef.h"
#include "document/PDBaseDoc.h"
#include "document/PDDocument.h"
#include "document/PDModelException.h"

namespace qz::component {

namespace {

// A list longer than a page number can count is refused before anything is
// loaded; progress and page positions are 32-bit.
constexpr size_t kMaxMergeListSize = static_cast<size_t>(std::numeric_limits<int32_t>::max());

std::string FileNamePart(const std::string& path) { return std::filesystem::path(path).filename().string(); }

std::string EntryName(size_t index) { return "list entry " + std::to_string(index + 1); }

// Keeps a model's merge batch open while a list of files is inserted, so that
// names are written into its trees once; a failure closes it without writing
// (the next save writes what waits).
class MergeBatch {
public:
    explicit MergeBatch(document::TqzPDDocument& model) : FModel(model) { FModel.OpenMergeBatch(); }
    ~MergeBatch() {
        if (FOpen) FModel.CloseMergeBatch(false);
    }
    MergeBatch(const MergeBatch&) = delete;
    MergeBatch& operator=(const MergeBatch&) = delete;
    void Close() {
        FOpen = false;
        FModel.CloseMergeBatch(true);
    }

private:
    document::TqzPDDocument& FModel;
    bool FOpen = true;
};

// Counts the outline root once a merge ends, also when a source ends it
// with an exception: the items merged before it stay.
template <class Recount>
class OutlineRecount {
public:
    explicit OutlineRecount(Recount recount) : FRecount(std::move(recount)) {}
    ~OutlineRecount() {
        try {
            FRecount();
        } catch (...) {
            // Only the count of visible items is left as it was.
        }
    }
    OutlineRecount(const OutlineRecount&) = delete;
    OutlineRecount& operator=(const OutlineRecount&) = delete;

private:
    Recount FRecount;
};

}  // namespace

void TqzCustomPDFDocument::RequirePagesOfRepairedFile() {
    if (GetPageCount() > 0) return;
    core::TqzPDReader* reader = FPDDoc->GetBaseDoc()->GetReader();
    core::TqzPDXRef* xref = reader != nullptr ? reader->GetXRef() : nullptr;
    if (xref != nullptr && xref->IsReconstructed()) throw ENoPageFound();
}

void TqzCustomPDFDocument::RequireOtherComponent(const TqzCustomPDFDocument& other) const {
    if (&other == this) throw platform::Exception("A component cannot be merged into itself");
    other.RequireDocument("Merging a component");
}

template <class Step>
void TqzCustomPDFDocument::MergeSource(const std::string& source, Step&& step) {
    try {
        step();
    } catch (const EMergeError&) {
        throw;
    } catch (const std::exception& e) {
        std::throw_with_nested(EMergeError(source, e.what()));
    }
}

TqzCustomPDFDocument& TqzCustomPDFDocument::NewMergeSource() {
    // Kept whatever happens next: pages inserted before a failure share its
    // stream data.
    auto source = std::make_unique<TqzCustomPDFDocument>();
    source->OnPassword = OnPassword;
    FMergeObjectList.push_back(std::move(source));
    return *FMergeObjectList.back();
}

void TqzCustomPDFDocument::TakeOverModel(TqzCustomPDFDocument& other, bool shared) {
    FPDDoc = other.FPDDoc;
    FStream = other.FStream;
    FSharedDocumentObj = shared;
    if (!shared) {
        // A temporary component gives its model up: this component owns it.
        other.FPDDoc.reset();
        other.FStream.reset();
        other.FIsLoaded = false;
    }
    FHash = 0;
    FIsLoaded = true;
}

void TqzCustomPDFDocument::MergeDocs(const std::vector<std::string>& docList) {
    if (docList.empty()) return;
    if (docList.size() > kMaxMergeListSize) throw core::ExLimitExceeded("Too many documents to merge");
    const auto count = static_cast<int32_t>(docList.size());

    Model();
    int32_t first = 0;
    if (!FIsLoaded || !HasUsableDocument()) {
        MergeSource(docList[0], [&] {
            // A handler that gave up leaves nothing to merge into.
            if (!LoadFromFile(docList[0], "")) throw document::ExPasswordRequired();
            RequirePagesOfRepairedFile();
        });
        first = 1;
    }
    Status(FormatStatus(kStatusMergingFile, FileNamePart(docList[0])));
    Progress(TqzOperation::opMerge, 1, count);

    OutlineRecount recount([this] { RecountOutlineRoot(); });
    MergeBatch batch(*FPDDoc);
    for (int32_t i = first; i < count; ++i) {
        const std::string& path = docList[static_cast<size_t>(i)];
        Status(FormatStatus(kStatusMergingFile, FileNamePart(path)));
        TqzCustomPDFDocument& source = NewMergeSource();
        MergeSource(path, [&] {
            if (!source.LoadFromFile(path, "")) throw document::ExPasswordRequired();
            source.RequirePagesOfRepairedFile();
            InsertSource(source, GetPageCount(), source.GetFileName());
            // Its pages are copied: until the save reads its stream data, the
            // source need not keep blocks of its file in memory (a thousand
            // sources would hold a thousand blocks).
            if (core::TqzPDReader* reader = source.FPDDoc->GetBaseDoc()->GetReader()) {
                if (core::TqzPDXRef* xref = reader->GetXRef()) xref->ReleaseReadBlocks();
            }
        });
        Progress(TqzOperation::opMerge, i + 1, count);
    }
    batch.Close();
    Status(FormatStatus(kStatusDocumentsMerged, std::to_string(count)));
}

void TqzCustomPDFDocument::MergeDocs(const std::vector<TqzMergeEntry>& docList) {
    if (docList.empty()) return;
    if (docList.size() > kMaxMergeListSize) throw core::ExLimitExceeded("Too many documents to merge");
    const auto count = static_cast<int32_t>(docList.size());

    Model();
    size_t taken = 1;
    if (!FIsLoaded || !HasUsableDocument()) {
        const size_t last = docList.size() - 1;
        const TqzMergeEntry& entry = docList[last];
        if (auto* stream = std::get_if<platform::Stream*>(&entry); stream != nullptr && *stream != nullptr) {
            MergeSource(EntryName(last), [&] {
                if (LoadFromStream(**stream, "")) RequirePagesOfRepairedFile();
            });
            taken = 2;
        } else if (auto* other = std::get_if<TqzCustomPDFDocument*>(&entry); other != nullptr && *other != nullptr) {
            MergeSource(EntryName(last), [&] {
                RequireOtherComponent(**other);
                Reset();
                TakeOverModel(**other, true);
            });
            taken = 2;
        }
    }
    Status(FormatStatus(kStatusMergingFile, ""));
    Progress(TqzOperation::opMerge, 1, count);

    OutlineRecount recount([this] { RecountOutlineRoot(); });
    for (size_t index = docList.size() - taken + 1; index-- > 0;) {
        const TqzMergeEntry& entry = docList[index];
        Status(FormatStatus(kStatusMergingFile, ""));
        bool inserted = false;
        MergeSource(EntryName(index), [&] {
            if (auto* other = std::get_if<TqzCustomPDFDocument*>(&entry); other != nullptr && *other != nullptr) {
                RequireOtherComponent(**other);
                if (FIsLoaded && HasUsableDocument()) {
                    InsertSource(**other, 0, (*other)->GetFileName());
                } else {
                    Reset();
                    TakeOverModel(**other, true);
                }
                return;
            }
            auto* stream = std::get_if<platform::Stream*>(&entry);
            if (stream == nullptr || *stream == nullptr) return;
            // Held here until it is known whether its model becomes this
            // component's own (then it is dropped, empty) or is read from.
            auto source = std::make_unique<TqzCustomPDFDocument>();
            source->OnPassword = OnPassword;
            // A source whose password handler gave up is skipped.
            if (!source->LoadFromStream(**stream, "")) return;
            source->RequirePagesOfRepairedFile();
            if (!FIsLoaded || !HasUsableDocument()) {
                Reset();
                TakeOverModel(*source, false);
                return;
            }
            TqzCustomPDFDocument& kept = *source;
            FMergeObjectList.push_back(std::move(source));
            InsertSource(kept, 0, "");
            inserted = true;
        });
        if (inserted) Progress(TqzOperation::opMerge, static_cast<int32_t>(index) + 1, count);
    }
    Status(FormatStatus(kStatusDocumentsMerged, std::to_string(count)));
}

}  // namespace qz::component
