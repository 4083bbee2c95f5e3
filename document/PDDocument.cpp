#include "document/PDDocument.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <unistd.h>

#include "core/Conversions.h"
#include "core/PDArray.h"
#include "core/PDBaseExceptions.h"
#include "core/PDDictionary.h"
#include "core/PDInteger.h"
#include "document/CatalogMerge.h"
#include "document/DictEntries.h"
#include "document/NameNumberTree.h"
#include "document/PDBaseDoc.h"
#include "document/PDBookmark.h"
#include "document/PDCatalog.h"
#include "document/PDDocInfo.h"
#include "document/PDModelException.h"
#include "document/PDPage.h"
#include "document/PDPageInsertion.h"
#include "document/PDPageTree.h"
#include "document/PDViewerPref.h"
#include "filters/Registration.h"

namespace qz::document {

namespace {

using filters::TqzUserPermissions;
using filters::TqzUserPermissionsType;

// The blank one-page document NewDocument starts from. The producer and the
// blank line in the page leave room that the model's own writes never need;
// the cross-reference is computed from the text, so its offsets are exact.
std::string BlankDocumentTemplate() {
    const std::string eol = "\r\n";
    const std::string objects[] = {
        "1 0 obj" + eol + "<<" + eol + "/Type /Catalog" + eol + "/Pages 3 0 R" + eol + ">>" + eol + "endobj" + eol,
        "2 0 obj" + eol + "<<" + eol + "/Producer (" + std::string(50, ' ') + ")" + eol + ">>" + eol + "endobj" +
            eol,
        "3 0 obj" + eol + "<<" + eol + "/Type /Pages" + eol + "/Count 1" + eol + "/Kids [ 4 0 R ]" + eol + ">>" +
            eol + "endobj" + eol,
        "4 0 obj" + eol + "<<" + eol + "/Contents [ 5 0 R ]" + eol + std::string(25, ' ') + eol + "/Type /Page" +
            eol + "/Parent 3 0 R" + eol + ">>" + eol + "endobj" + eol,
        "5 0 obj" + eol + "<<" + eol + "/Length 3" + eol + ">>" + eol + "stream" + eol + " " + eol + eol +
            "endstream" + eol + "endobj" + eol,
    };
    std::string text = "%PDF-1.4" + eol + "%\xE2\xE3\xCF\xD3" + eol + eol;
    std::string table = "xref" + eol + "0 6" + eol + "0000000000 65535 f" + eol;
    for (const std::string& object : objects) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n", text.size());
        table += line + eol;
        text += object + eol;
    }
    const size_t xref = text.size();
    text += table + "trailer" + eol + "<<" + eol + "/Size 6" + eol + "/Root 1 0 R" + eol + "/Info 2 0 R" + eol +
            ">>" + eol + "startxref" + eol + std::to_string(xref) + eol + "%%EOF";
    return text;
}


// Creates (or replaces) the output file; the model's own creation error.
std::unique_ptr<platform::FileStream> CreateOutput(const std::filesystem::path& fileName) {
    try {
        return std::make_unique<platform::FileStream>(fileName, platform::FileMode::Create);
    } catch (const platform::EStreamError& e) {
        throw ExFileCreateError(e.what());
    }
}

// Removes what leads to pages that went (TqzPDDocument::RemoveDestinationsTo).
class DestinationPruner {
public:
    DestinationPruner(TqzPDDocument& document, const std::unordered_set<uint32_t>& pages,
                      const std::vector<int32_t>& oldIndexes)
        : FDocument(document), FPages(pages), FOldIndexes(oldIndexes), FNames(document) {}

    void PruneOutline();
    void PruneLinks();
    void PruneOpenAction();
    void PruneNames();

private:
    // Whether a destination as stored (an array, a dictionary with /D, a
    // name or a string) leads to a page that went. A page given by index
    // that stays is moved to its new index. Names the document does not
    // define, and values of other kinds, lead nowhere known: left as they are.
    bool IsDead(core::TqzPDBaseObject* destination);

    TqzPDDocument& FDocument;
    const std::unordered_set<uint32_t>& FPages;
    const std::vector<int32_t>& FOldIndexes;
    TqzNamedDestinations FNames;
    // Arrays whose page index was moved already (a named value is shared).
    std::unordered_set<const core::TqzPDArray*> FMoved;
};

bool DestinationPruner::IsDead(core::TqzPDBaseObject* destination) {
    core::TqzPDArray* array = FNames.Explicit(destination);
    if (array == nullptr || array->GetLength() == 0) return false;
    core::TqzPDBaseObject* page = array->GetRefObj(0);
    if (page->IsIndirectRef()) return FPages.count(page->GetObjNumber()) != 0;
    if (!page->IsInteger()) return false;
    auto& index = static_cast<core::TqzPDInteger&>(*page);
    const int64_t old = index.GetValue();
    const auto before = std::lower_bound(FOldIndexes.begin(), FOldIndexes.end(), old);
    if (before != FOldIndexes.end() && *before == old) return true;
    if (before != FOldIndexes.begin() && FMoved.insert(array).second) {
        index.SetValue(old - (before - FOldIndexes.begin()));
        array->SetIsChanged(true);
    }
    return false;
}

void DestinationPruner::PruneOutline() {
    TqzPDCatalog& catalog = *FDocument.GetCatalog();
    core::TqzPDDictionary* dict = catalog.GetDict();
    TqzPDBookmark* root = catalog.GetMadeBookmarkRoot();
    // A document without outlines is given none.
    if (root == nullptr && (dict == nullptr || AsDictionary(dict->LookUp("Outlines")) == nullptr)) return;
    if (root == nullptr) root = catalog.GetBookmarkRoot();
    std::vector<TqzPDBookmark*> work{root};
    while (!work.empty()) {
        TqzPDBookmark* item = work.back();
        work.pop_back();
        core::TqzPDDictionary* itemDict = item->GetDict();
        core::TqzPDBaseObject* target = itemDict != nullptr ? TargetOf(*itemDict) : nullptr;
        if (target != nullptr && IsDead(target)) item->RemoveTarget();
        if (TqzPDBookmark* next = item->GetNext()) work.push_back(next);
        if (TqzPDBookmark* child = item->GetFirstChild()) work.push_back(child);
    }
}

void DestinationPruner::PruneLinks() {
    for (int32_t n = 1; n <= FDocument.GetPageCount(); ++n) {
        TqzPDPage* page = FDocument.GetPage(n);
        core::TqzPDDictionary* dict = page != nullptr ? page->GetDict() : nullptr;
        core::TqzPDBaseObject* stored = dict != nullptr ? dict->LookUp("Annots") : nullptr;
        if (stored == nullptr || !stored->IsArray()) continue;
        auto& annots = static_cast<core::TqzPDArray&>(*stored);
        bool removed = false;
        for (int32_t i = annots.GetLength(); i-- > 0;) {
            core::TqzPDDictionary* annot = AsDictionary(annots.Get(i));
            const core::TqzPDBaseObject* subtype = annot != nullptr ? annot->LookUp("Subtype") : nullptr;
            if (subtype == nullptr || !subtype->IsName("Link")) continue;
            core::TqzPDBaseObject* target = TargetOf(*annot);
            if (target == nullptr || !IsDead(target)) continue;
            // What else still reaches the link (a structure tree) must not
            // reach the page through it.
            annot->Remove("Dest");
            annot->Remove("A");
            annots.Remove(i);
            removed = true;
        }
        if (removed) {
            annots.SetIsChanged(true);
            dict->SetIsChanged(true);
            // The page's list of annotation objects is read again.
            page->FreeResources();
        }
    }
}

void DestinationPruner::PruneOpenAction() {
    core::TqzPDDictionary* catalog = FDocument.GetCatalog()->GetDict();
    core::TqzPDBaseObject* open = catalog != nullptr ? catalog->LookUp("OpenAction") : nullptr;
    if (open == nullptr) return;
    core::TqzPDBaseObject* target = catalog->LookupRefObj("OpenAction");
    if (core::TqzPDDictionary* action = AsDictionary(open)) {
        const core::TqzPDBaseObject* kind = action->LookUp("S");
        target = kind != nullptr && kind->IsName("GoTo") ? action->LookupRefObj("D") : nullptr;
    }
    if (target != nullptr && IsDead(target)) catalog->Remove("OpenAction");
}

void DestinationPruner::PruneNames() {
    core::TqzPDDictionary* catalog = FDocument.GetCatalog()->GetDict();
    if (catalog == nullptr) return;
    if (core::TqzPDDictionary* dests = AsDictionary(catalog->LookUp("Dests"))) {
        auto& entries = dests->GetDict()->Entries();
        const size_t count = entries.size();
        std::erase_if(entries, [&](const core::TqzDict::Entry& entry) { return IsDead(entry.second.get()); });
        if (entries.size() != count) dests->SetIsChanged(true);
    }
    core::TqzPDDictionary* names = AsDictionary(catalog->LookUp("Names"));
    if (names == nullptr) return;
    try {
        bool dead = false;
        for (const TqzNameTreeEntry& entry : ReadNameTree(names->LookUp("Dests")))
            dead = IsDead(const_cast<core::TqzPDBaseObject*>(entry.Value)) || dead;
        if (!dead) return;
        TqzOwnedNameEntries kept = TakeNameTree(names->LookUp("Dests"));
        std::erase_if(kept, [&](const auto& entry) { return IsDead(entry.second.get()); });
        names->SetKeyValue("Dests", MakeNameTree(std::move(kept), *FDocument.GetBaseDoc()));
    } catch (const core::ExLimitExceeded&) {
        // A tree beyond the limits is read by no one here; it is left as it is.
    }
}

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code error;
    return !a.empty() && !b.empty() && std::filesystem::equivalent(a, b, error);
}

}  // namespace

std::string GetPDFHeader(TqzPDVersion version) {
    return std::string("%PDF-1.") + static_cast<char>('0' + static_cast<int>(version)) + "\r\n";
}

TqzPDDocument::TqzPDDocument() { filters::RegisterFilters(); }

TqzPDDocument::TqzPDDocument(std::unique_ptr<TqzPDBaseDoc> baseDoc) : FBaseDoc(std::move(baseDoc)) {
    filters::RegisterFilters();
}

TqzPDDocument::~TqzPDDocument() { CloseDocument(); }

TqzMergedNames& TqzPDDocument::GetMergedNames() {
    if (FMergedNames == nullptr) FMergedNames = std::make_unique<TqzMergedNames>();
    return *FMergedNames;
}

void TqzPDDocument::ForgetMergedNames() { FMergedNames.reset(); }

void TqzPDDocument::CloseMergeBatch(bool write) {
    if (FMergeBatches > 0) --FMergeBatches;
    if (write && FMergeBatches == 0) WriteMergedNames(*this);
}

void TqzPDDocument::DropModel() {
    // Elements first: they borrow objects of the base document.
    FContentState.reset();
    FMergedNames.reset();
    FDocInfo.reset();
    FCatalog.reset();
    FBaseDoc.reset();
}

void TqzPDDocument::CloseDocument() {
    DropModel();
    FStream.reset();
    FBlankDocStrm.reset();
}

// ---- loading, new document, saving ----

void TqzPDDocument::LoadDocument(const std::filesystem::path& fileName, bool /*repair*/) {
    FStream.reset();
    std::error_code error;
    if (fileName.empty() || !std::filesystem::is_regular_file(fileName, error)) throw core::ExFileNotFound();
    FFileName = fileName.string();
    std::shared_ptr<platform::Stream> file;
    try {
        file = std::make_shared<platform::FileStream>(fileName, platform::FileMode::OpenRead);
    } catch (const platform::EStreamError&) {
        throw core::ExFileOpenError();
    }
    LoadFromStream(std::move(file), true);
}

void TqzPDDocument::LoadDocument(std::shared_ptr<platform::Stream> stream, bool /*repair*/, bool freeStream) {
    LoadFromStream(std::move(stream), freeStream);
}

void TqzPDDocument::LoadFromStream(std::shared_ptr<platform::Stream> stream, bool freeStream) {
    filters::RegisterFilters();
    FFreeStream = freeStream;
    // Whatever happens below, nothing made over the previous base document
    // survives it.
    DropModel();
    FStream = stream;
    auto baseDoc = std::make_unique<TqzPDBaseDoc>();
    try {
        baseDoc->LoadDocument(std::move(stream), FPassword);
    } catch (const core::ExInvalidPassword&) {
        throw ExPasswordRequired();
    }
    FBaseDoc = std::move(baseDoc);
    try {
        FIsEncrypted = FBaseDoc->GetIsEncrypted();
        if (FIsEncrypted) FPermissions = GetPermissions();
        core::TqzPDDictionary* root = FBaseDoc->GetDocRoot();
        FCatalog = std::make_unique<TqzPDCatalog>(this, nullptr, root);
        FDocInfo = std::make_unique<TqzPDDocInfo>(this, FCatalog.get());
        GetPDFVersion();
    } catch (...) {
        DropModel();
        throw;
    }
}

void TqzPDDocument::NewDocument(double left, double top, double right, double bottom) {
    if (FBlankDocStrm == nullptr) FBlankDocStrm = std::make_shared<platform::MemoryStream>(BlankDocumentTemplate());
    FBlankDocStrm->SetPosition(0);
    FFileName.clear();
    LoadFromStream(FBlankDocStrm, false);
    GetPage(1)->SetMediaBox(left, top, right, bottom);
}

void TqzPDDocument::SaveDocument(platform::Stream& stream, const TqzPDSaveFlags& flags) {
    if (FBaseDoc == nullptr || FCatalog == nullptr) return;
    FCatalog->RemovePerms();
    FBaseDoc->SetSaveOptions(GetPDFHeader(FVersion), flags.Incremental, flags.Full, flags.Copy, flags.Linearize,
                             flags.UniDirectional, flags.UnCompressed, flags.Compressed, flags.KeepModDate);
    WriteMergedNames(*this);
    // A full save writes a sound page tree whatever the file held (a wrong
    // /Count, a cycle, a misnamed page); an update leaves an unread tree alone.
    if (!flags.Incremental) FCatalog->ReadPageTree();
    FCatalog->Update();
    // The base document gets its own copy: the model keeps what Authorize
    // made for the saves after a reload.
    if (FUserEncryptionSettings != nullptr) {
        FBaseDoc->SetUserEncryptionSettings(std::make_unique<filters::TqzEncryptionSettings>(*FUserEncryptionSettings));
    }
    FBaseDoc->SaveDocument(stream);
}

void TqzPDDocument::SaveDocument(const std::filesystem::path& fileName, const TqzPDSaveFlags& flags) {
    if (fileName.empty()) throw core::ExInvalidFileName();
    if (!SameFile(fileName, FFileName)) {
        auto file = CreateOutput(fileName);
        SaveDocument(*file, flags);
        file->Flush();
        return;
    }
    // The loaded file is still read while the new one is written: write
    // beside it and put the result in its place at the end.
    std::filesystem::path temporary = fileName;
    temporary += ".saving-" + std::to_string(::getpid());
    try {
        {
            auto file = CreateOutput(temporary);
            SaveDocument(*file, flags);
            file->Flush();
        }
        std::filesystem::rename(temporary, fileName);
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        throw;
    }
}

void TqzPDDocument::CopyToFile(const std::filesystem::path& fileName, bool saveChanges) {
    if (saveChanges) {
        TqzPDSaveFlags flags;
        flags.Full = true;
        SaveDocument(fileName, flags);
        return;
    }
    if (fileName.empty()) throw core::ExInvalidFileName();
    // A copy onto the loaded file itself is that file already.
    if (SameFile(fileName, FFileName)) return;
    auto file = CreateOutput(fileName);
    if (FStream != nullptr) {
        const int64_t position = FStream->Position();
        FStream->SetPosition(0);
        file->CopyFrom(*FStream, FStream->Size());
        FStream->SetPosition(position);
    }
    file->Flush();
}

// ---- version, permissions, encryption ----

TqzPDVersion TqzPDDocument::GetPDFVersion() {
    if (FStream == nullptr) return FVersion;
    const int64_t position = FStream->Position();
    uint8_t digit = 0;
    FStream->SetPosition(7);
    const int64_t read = FStream->Read(&digit, 1);
    FStream->SetPosition(position);
    if (read == 1 && digit >= '0' && digit <= '7') FVersion = static_cast<TqzPDVersion>(digit - '0');
    return FVersion;
}

filters::TqzUserPermissions TqzPDDocument::MapUserpermissions(const TqzPDPermissions& permissions) {
    TqzUserPermissions result;
    if (permissions.Print) result.Include(TqzUserPermissionsType::AllowPrint);
    if (permissions.PrintHighQuality) result.Include(TqzUserPermissionsType::AllowHighResPrint);
    if (permissions.ModifyContents) result.Include(TqzUserPermissionsType::AllowModify);
    if (permissions.CopyText) result.Include(TqzUserPermissionsType::AllowCopy);
    if (permissions.ModifyTextAnnots) result.Include(TqzUserPermissionsType::AllowAnnotation);
    if (permissions.FillForms) result.Include(TqzUserPermissionsType::AllowFormFill);
    if (permissions.AssmbleDoc) result.Include(TqzUserPermissionsType::AllowDocAssembly);
    if (permissions.PrintToDigitalCopy) result.Include(TqzUserPermissionsType::AllowAccessibility);
    return result;
}

TqzPDPermissions TqzPDDocument::GetPermissions() {
    TqzPDPermissions result;
    result.Level = filters::TqzPDFEncryptionLevel::elRC4_40Bit;
    if (FBaseDoc == nullptr) return result;
    const TqzUserPermissions rights = FBaseDoc->GetPermissions(MapUserpermissions(FPermissions));
    result.Print = rights.Contains(TqzUserPermissionsType::AllowPrint);
    result.PrintHighQuality = rights.Contains(TqzUserPermissionsType::AllowHighResPrint);
    result.ModifyContents = rights.Contains(TqzUserPermissionsType::AllowModify);
    result.CopyText = rights.Contains(TqzUserPermissionsType::AllowCopy);
    result.ModifyTextAnnots = rights.Contains(TqzUserPermissionsType::AllowAnnotation);
    result.FillForms = rights.Contains(TqzUserPermissionsType::AllowFormFill);
    result.AssmbleDoc = rights.Contains(TqzUserPermissionsType::AllowDocAssembly);
    result.PrintToDigitalCopy = rights.Contains(TqzUserPermissionsType::AllowAccessibility);
    return result;
}

void TqzPDDocument::Authorize(const TqzPDPermissions& wanted, const std::string& password) {
    FPassword = password;
    if (!wanted.Enable) return;
    auto settings = std::make_unique<filters::TqzEncryptionSettings>();
    settings->SetEnabled(true);
    settings->SetOwnerPassword(wanted.OwnerPassword);
    settings->SetUserPassword(wanted.UserPassword);
    settings->SetLevel(wanted.Level);
    settings->SetUserPermissions(MapUserpermissions(wanted));
    FPermissions.Level = wanted.Level;
    FUserEncryptionSettings = std::move(settings);
}

bool TqzPDDocument::GetIsOwner() const { return FBaseDoc != nullptr && FBaseDoc->GetIsOwner(); }

int32_t TqzPDDocument::GetLastObjectNumber() const {
    return FBaseDoc != nullptr ? static_cast<int32_t>(FBaseDoc->GetLastObjectNumber()) : 0;
}

void TqzPDDocument::SetLastObjectNumber(int32_t value) {
    if (FBaseDoc == nullptr) throw core::ExBadRootObj();
    if (value < 0) throw core::ExLimitExceeded("Object numbers are never negative");
    FBaseDoc->SetLastObjectNumber(static_cast<uint32_t>(value));
}

// ---- pages ----

TqzPDCatalog& TqzPDDocument::RequireCatalog() const {
    if (FCatalog == nullptr) throw core::ExBadRootObj();
    return *FCatalog;
}

TqzPDCatalog* TqzPDDocument::GetCatalog() const { return FCatalog.get(); }

TqzPDPage* TqzPDDocument::GetPage(int32_t index) { return RequireCatalog().GetPageTree()->GetPage(index); }

int32_t TqzPDDocument::GetPageCount() { return RequireCatalog().GetPageTree()->GetCount(); }

core::TqzPDBaseObject* TqzPDDocument::GetPageBaseObject(int32_t pageNumber) {
    return RequireCatalog().GetPageTree()->GetPageBaseObject(pageNumber);
}

TqzPDPage* TqzPDDocument::GetPageByIndRef(core::TqzPDBaseObject* pageRef) {
    return RequireCatalog().GetPageTree()->GetPageByIndRef(pageRef);
}

void TqzPDDocument::DeletePage(int32_t pageNumber) {
    TqzPDPageTree& tree = *RequireCatalog().GetPageTree();
    DeleteAndPrune([&] { tree.DeletePage(pageNumber); });
}

void TqzPDDocument::DeletePages(int32_t firstPage, int32_t lastPage) {
    TqzPDPageTree& tree = *RequireCatalog().GetPageTree();
    DeleteAndPrune([&] { tree.DeletePages(firstPage, lastPage); });
}

std::vector<uint32_t> TqzPDDocument::PageObjectNumbers() {
    TqzPDPageTree& tree = *RequireCatalog().GetPageTree();
    std::vector<uint32_t> numbers;
    numbers.reserve(static_cast<size_t>(tree.GetCount()));
    for (int32_t n = 1; n <= tree.GetCount(); ++n) numbers.push_back(tree.GetPageObjectNumber(n));
    return numbers;
}

void TqzPDDocument::DeleteAndPrune(const std::function<void()>& deletion) {
    const std::vector<uint32_t> before = PageObjectNumbers();
    deletion();
    const std::vector<uint32_t> after = PageObjectNumbers();
    if (after.size() == before.size()) return;
    // A page object listed twice is gone only when no listing is left.
    const std::unordered_set<uint32_t> kept(after.begin(), after.end());
    std::unordered_set<uint32_t> gone;
    std::vector<int32_t> oldIndexes;
    size_t next = 0;
    for (size_t i = 0; i < before.size(); ++i) {
        // Pages keep their order, so the remaining ones match in turn.
        if (next < after.size() && after[next] == before[i]) {
            ++next;
            continue;
        }
        oldIndexes.push_back(static_cast<int32_t>(i));
        if (before[i] != 0 && kept.count(before[i]) == 0) gone.insert(before[i]);
    }
    RemoveDestinationsTo(gone, oldIndexes);
}

void TqzPDDocument::MovePage(int32_t moveToAfterPage, int32_t pageToMove) {
    RequireCatalog().GetPageTree()->MovePage(moveToAfterPage, pageToMove);
}

void TqzPDDocument::ReplacePages(int32_t startPage, TqzPDDocument& sourceDoc, int32_t sourceStartPage,
                                 int32_t numOfPages, bool /*mergeTextAnnots*/) {
    DeletePages(startPage, startPage + numOfPages - 1);
    InsertPages(startPage - 1, sourceDoc, sourceStartPage, numOfPages, TqzPageInsertFlages::InsertAll);
}

void TqzPDDocument::RequestPages(int32_t startPage, int32_t numOfPages) {
    RequireCatalog().GetPageTree()->RequestPages(startPage, numOfPages);
}

void TqzPDDocument::InsertPages(int32_t afterPage, TqzPDDocument& sourceDoc, int32_t sourceStartPage,
                                int32_t numOfPages, TqzPageInsertFlages insertFlags) {
    RequireCatalog();
    InsertDocumentPages(*this, afterPage, sourceDoc, sourceStartPage, numOfPages, insertFlags);
}

void TqzPDDocument::AppendPages(TqzPDDocument& sourceDoc, int32_t sourceStartPage, int32_t numOfPages,
                                TqzPageInsertFlages insertFlags) {
    InsertPages(GetPageCount(), sourceDoc, sourceStartPage, numOfPages, insertFlags);
}

void TqzPDDocument::MergeDocs(TqzPDDocument& sourceDoc, TqzPageInsertFlages insertFlags) {
    InsertPages(GetPageCount(), sourceDoc, 1, sourceDoc.GetPageCount(), insertFlags);
}

void TqzPDDocument::Stitch(int32_t /*stitchToPage*/, int32_t /*stitchFromPage*/) {
    throw ExNotSupportedYet("Page stitching");
}

void TqzPDDocument::StitchPagesSideBySide(int32_t /*stitchToPage*/, int32_t /*stitchFromPage*/) {
    throw ExNotSupportedYet("Page stitching");
}

void TqzPDDocument::RemoveDestinationsTo(const std::unordered_set<uint32_t>& pages,
                                         const std::vector<int32_t>& oldIndexes) {
    if ((pages.empty() && oldIndexes.empty()) || !IsLoaded()) return;
    DestinationPruner pruner(*this, pages, oldIndexes);
    pruner.PruneOutline();
    pruner.PruneLinks();
    pruner.PruneOpenAction();
    // Last: the outline and the links are judged by the names as they were.
    pruner.PruneNames();
}

// ---- catalog and document information ----

TqzPDBookmark* TqzPDDocument::GetBookmarkRoot() { return RequireCatalog().GetBookmarkRoot(); }

TqzPDBookmark* TqzPDDocument::CreateBookmarkRoot(const std::string& title, TqzPDDestination* destination,
                                                 const TqzPDOutlineFlag& outlineFlag) {
    return RequireCatalog().CreateNewBookmark(title, destination, outlineFlag);
}

TqzPDBookmark* TqzPDDocument::CreateBookmarkRoot(const std::string& title, TqzPDAction* action,
                                                 const TqzPDOutlineFlag& outlineFlag) {
    return RequireCatalog().CreateNewBookmark(title, action, outlineFlag);
}

void TqzPDDocument::AddAction(TqzPDAction& action, TqzDocActionTrigger triggerType) {
    if (FCatalog != nullptr) FCatalog->AddAction(action, triggerType);
}

void TqzPDDocument::RemoveAction(TqzDocActionTrigger triggerType) {
    if (FCatalog != nullptr) FCatalog->RemoveAction(triggerType);
}

TqzPDLayoutMode TqzPDDocument::GetLayoutMode() { return RequireCatalog().GetPageLayout(); }
void TqzPDDocument::SetLayoutMode(TqzPDLayoutMode mode) { RequireCatalog().SetPageLayout(mode); }
TqzPDPageMode TqzPDDocument::GetPageMode() { return RequireCatalog().GetPageMode(); }
void TqzPDDocument::SetPageMode(TqzPDPageMode mode) { RequireCatalog().SetPageMode(mode); }
TqzPDViewerPref* TqzPDDocument::GetViewerPref() { return RequireCatalog().GetViewerPref(); }
void TqzPDDocument::SetXMPMetadata(const std::string& metadata) { RequireCatalog().SetXMPMetadata(metadata); }

TqzPDDocInfo* TqzPDDocument::GetDocInfo() {
    if (FDocInfo == nullptr) FDocInfo = std::make_unique<TqzPDDocInfo>(this, &RequireCatalog());
    return FDocInfo.get();
}

// ---- services of later subsystems ----

std::string TqzPDDocument::GetXMPMetadata() { throw ExNotSupportedYet("XMP metadata"); }
bool TqzPDDocument::ExportToFDF(const std::filesystem::path& /*fdfDocumentPath*/) {
    throw ExNotSupportedYet("FDF export");
}
void TqzPDDocument::EnumFonts(int32_t /*firstPage*/, int32_t /*lastPage*/) { throw ExNotSupportedYet("Fonts"); }
void TqzPDDocument::EmbedUsedTrueTypeFonts() { throw ExNotSupportedYet("Fonts"); }
int32_t TqzPDDocument::GetSignatureCount() { throw ExNotSupportedYet("Signatures"); }
int32_t TqzPDDocument::GetSignatureFieldCount() { throw ExNotSupportedYet("Signatures"); }
bool TqzPDDocument::GetIsSigned() { throw ExNotSupportedYet("Signatures"); }
void TqzPDDocument::SaveEmbeddedFiles(const std::string& /*directory*/) {
    throw ExNotSupportedYet("Embedded files");
}
void TqzPDDocument::SaveAttachments(const std::string& /*directory*/) { throw ExNotSupportedYet("Attachments"); }

}  // namespace qz::document
