#pragma once
// TqzPDDocument: the document model the component drives. It loads a PDF
// from a file or a stream, or makes a blank one-page document, reports the
// file's version and permissions, takes the encryption wanted for the next
// save and saves the model back through its base document. It owns the base
// document, the catalog element (which owns the page tree) and the document
// information element, and the file stream it opened. Whenever the base
// document is replaced, the catalog and information elements made over the
// old one are dropped with it; a load that fails leaves the model unloaded.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/Object.h"
#include "filters/EncryptionSettings.h"
#include "platform/Streams.h"

namespace qz::core {
class TqzPDBaseObject;
class TqzPDDictionary;
}  // namespace qz::core

namespace qz::document {

class TqzPDAction;
class TqzPDBaseDoc;
class TqzPDBookmark;
class TqzPDCatalog;
class TqzPDDestination;
struct TqzPDOutlineFlag;
class TqzPDDocInfo;
class TqzPDPage;
struct TqzMergedNames;
class TqzPDViewerPref;
enum class TqzPDLayoutMode : uint8_t;
enum class TqzPDPageMode : uint8_t;
enum class TqzDocActionTrigger : uint8_t;

// The minor version of the "%PDF-1." header.
enum class TqzPDVersion : uint8_t { v10, v11, v12, v13, v14, v15, v16, v17 };

// The flag every page insertion passes along; none acts on it.
enum class TqzPageInsertFlages : uint8_t { InsertBookmarks, InsertThreads, InsertAll };

// What a save is asked to do. The first eight go to the base document's save
// options; the last eight are carried and not read.
struct TqzPDSaveFlags {
    bool Incremental = false;
    bool Full = false;
    bool Copy = false;
    bool Linearize = false;
    bool UniDirectional = false;
    bool KeepModDate = false;
    bool UnCompressed = false;
    bool Compressed = false;
    bool CompressStructureOnly = false;
    bool RemoveASCIIFilters = false;
    bool AddFlate = false;
    bool ReplaceLZW = false;
    bool OptimizeXObjects = false;
    bool OptimizeContentStreams = false;
    bool OptimizeFonts = false;
    bool OptimizeMarkedJBIG2Dictionaries = false;
};

// The permission record passed between the component and the model: the
// rights of a loaded file, and the encryption wanted for the next save.
struct TqzPDPermissions {
    bool Print = false;
    bool PrintHighQuality = false;
    bool ModifyContents = false;
    bool CopyText = false;
    bool ModifyTextAnnots = false;
    bool FillForms = false;
    bool AssmbleDoc = false;
    bool PrintToDigitalCopy = false;
    std::string OwnerPassword;
    std::string UserPassword;
    filters::TqzPDFEncryptionLevel Level = filters::TqzPDFEncryptionLevel::elAES_128Bit;
    bool Enable = false;
};

enum class TqzPDTrapped : uint8_t { trapFalse, trapTrue, trapUnknown };

// "%PDF-1." followed by the version digit and CR LF.
std::string GetPDFHeader(TqzPDVersion version);

class TqzPDDocument : public core::TqzObject {
public:
    // Registers the stream filters (idempotent), so every user of the model
    // can load and save.
    TqzPDDocument();
    // Adopts `baseDoc`; nothing else is set.
    explicit TqzPDDocument(std::unique_ptr<TqzPDBaseDoc> baseDoc);
    ~TqzPDDocument() override;
    TqzPDDocument(const TqzPDDocument&) = delete;
    TqzPDDocument& operator=(const TqzPDDocument&) = delete;

    // Drops the base document, catalog, information element and the file
    // stream; the model is unloaded afterwards.
    void CloseDocument();
    // The graphics library needs no start or stop here.
    static void StartGDIPlus(uint32_t& token) { token = 0; }
    static void StopGDIPlus(uint32_t /*token*/) {}

    // ---- loading, new document, saving ----
    // ExFileNotFound, ExFileOpenError; then loads from the opened file.
    void LoadDocument(const std::filesystem::path& fileName, bool repair = false);
    // Loads with the password set by SetPassword. ExPasswordRequired when the
    // file refuses it; ExBadRootObj, ExNoPageTreeObj for a file without a
    // usable catalog. On any failure the model is left unloaded.
    void LoadDocument(std::shared_ptr<platform::Stream> stream, bool repair = false, bool freeStream = false);
    // A blank one-page document whose page has this media box.
    void NewDocument(double left, double top, double right, double bottom);
    // Nothing happens without a loaded document.
    void SaveDocument(platform::Stream& stream, const TqzPDSaveFlags& flags);
    // ExInvalidFileName for an empty name, ExFileCreateError when the file
    // cannot be created.
    void SaveDocument(const std::filesystem::path& fileName, const TqzPDSaveFlags& flags);
    // With `saveChanges` a full save; else a byte copy of the loaded file.
    void CopyToFile(const std::filesystem::path& fileName, bool saveChanges);
    bool IsLoaded() const { return FBaseDoc != nullptr && FCatalog != nullptr; }

    // ---- version, permissions, encryption ----
    TqzPDVersion GetPDFVersion();
    TqzPDVersion GetVersion() const { return FVersion; }
    void SetVersion(TqzPDVersion version) { FVersion = version; }
    TqzPDPermissions GetPermission() const { return FPermissions; }
    TqzPDPermissions GetPermissions();
    static filters::TqzUserPermissions MapUserpermissions(const TqzPDPermissions& permissions);
    void Authorize(const TqzPDPermissions& wanted, const std::string& password);
    bool GetIsEncrypted() const { return FIsEncrypted; }
    void SetIsEncrypted(bool value) { FIsEncrypted = value; }
    bool GetIsOwner() const;
    // The base document; none while unloaded.
    TqzPDBaseDoc* GetBaseDoc() const { return FBaseDoc.get(); }
    // The last object number in use; every new indirect object of the model
    // takes this plus one and stores it back.
    int32_t GetLastObjectNumber() const;
    void SetLastObjectNumber(int32_t value);
    const std::string& GetPassword() const { return FPassword; }
    void SetPassword(const std::string& value) { FPassword = value; }
    int32_t GetTries() const { return FTries; }
    void SetTries(int32_t value) { FTries = value; }

    // ---- pages (through the catalog's page tree; ExBadRootObj while unloaded) ----
    TqzPDPage* GetPage(int32_t index);
    int32_t GetPageCount();
    core::TqzPDBaseObject* GetPageBaseObject(int32_t pageNumber);
    TqzPDPage* GetPageByIndRef(core::TqzPDBaseObject* pageRef);
    // Deleting pages also removes what led to them (RemoveDestinationsTo).
    void DeletePage(int32_t pageNumber);
    void DeletePages(int32_t firstPage, int32_t lastPage);
    // After pages went, nothing is left pointing at them: outline items keep
    // their place and title but lose a destination (/Dest, or a go-to /A)
    // that leads to one; link annotations that lead to one are removed from
    // the remaining pages, and so is an /OpenAction; named destinations of
    // them are removed from /Dests and the /Names tree. A destination that
    // gives its page by index is moved to the page's new index. `pages` are
    // the object numbers of the pages gone, `oldIndexes` their 0-based
    // positions before, in ascending order. Names a document does not define
    // are left as they are.
    void RemoveDestinationsTo(const std::unordered_set<uint32_t>& pages, const std::vector<int32_t>& oldIndexes);
    void MovePage(int32_t moveToAfterPage, int32_t pageToMove);
    void ReplacePages(int32_t startPage, TqzPDDocument& sourceDoc, int32_t sourceStartPage,
                      int32_t numOfPages, bool mergeTextAnnots);
    void RequestPages(int32_t startPage, int32_t numOfPages);
    void InsertPages(int32_t afterPage, TqzPDDocument& sourceDoc, int32_t sourceStartPage,
                     int32_t numOfPages, TqzPageInsertFlages insertFlags);
    void AppendPages(TqzPDDocument& sourceDoc, int32_t sourceStartPage, int32_t numOfPages,
                     TqzPageInsertFlages insertFlags);
    void MergeDocs(TqzPDDocument& sourceDoc, TqzPageInsertFlages insertFlags);
    void Stitch(int32_t stitchToPage, int32_t stitchFromPage);
    void StitchPagesSideBySide(int32_t stitchToPage, int32_t stitchFromPage);
    // What merges into this document know of its names between insertions
    // (CatalogMerge), made on first need; owned here until forgotten.
    TqzMergedNames& GetMergedNames();
    bool HasMergedNames() const { return FMergedNames != nullptr; }
    void ForgetMergedNames();
    // Each insertion leaves the document whole: the named destinations and
    // attached files it brings are in the name trees when it returns. While a
    // batch is open they wait (GetMergedNames) and the trees are written once,
    // when the last batch closes with `write` or the document is saved, so
    // that merging many files costs what each brings.
    void OpenMergeBatch() { ++FMergeBatches; }
    void CloseMergeBatch(bool write);
    bool InMergeBatch() const { return FMergeBatches > 0; }

    // ---- catalog and document information ----
    // The catalog element; none while unloaded.
    TqzPDCatalog* GetCatalog() const;
    // The outline root, and a new first outline item (TqzPDCatalog).
    TqzPDBookmark* GetBookmarkRoot();
    TqzPDBookmark* CreateBookmarkRoot(const std::string& title, TqzPDDestination* destination,
                                      const TqzPDOutlineFlag& outlineFlag);
    TqzPDBookmark* CreateBookmarkRoot(const std::string& title, TqzPDAction* action,
                                      const TqzPDOutlineFlag& outlineFlag);
    // Document-level actions through the catalog; nothing without one.
    void AddAction(TqzPDAction& action, TqzDocActionTrigger triggerType);
    void RemoveAction(TqzDocActionTrigger triggerType);
    TqzPDLayoutMode GetLayoutMode();
    void SetLayoutMode(TqzPDLayoutMode mode);
    TqzPDPageMode GetPageMode();
    void SetPageMode(TqzPDPageMode mode);
    TqzPDViewerPref* GetViewerPref();
    void SetXMPMetadata(const std::string& metadata);
    // Made on first request over this model and its catalog.
    TqzPDDocInfo* GetDocInfo();
    const std::string& GetFileName() const { return FFileName; }
    const std::string& GetCMapPath() const { return FCMapPath; }
    void SetCMapPath(const std::string& value) { FCMapPath = value; }
    // What the content layer keeps for the whole loaded model (the glyphs
    // recorded for the fonts it wrote); dropped with the model.
    core::TqzObject* GetContentState() const { return FContentState.get(); }
    void SetContentState(std::unique_ptr<core::TqzObject> value) { FContentState = std::move(value); }
    bool GetUseDualEMFPlus() const { return FUseDualEMFPlus; }
    void SetUseDualEMFPlus(bool value) { FUseDualEMFPlus = value; }

    // ---- services of later subsystems: raise ExNotSupportedYet ----
    std::string GetXMPMetadata();
    bool ExportToFDF(const std::filesystem::path& fdfDocumentPath);
    void EnumFonts(int32_t firstPage, int32_t lastPage);
    void EmbedUsedTrueTypeFonts();
    int32_t GetSignatureCount();
    int32_t GetSignatureFieldCount();
    bool GetIsSigned();
    void SaveEmbeddedFiles(const std::string& directory);
    void SaveAttachments(const std::string& directory);

    // ---- operations with a fixed answer ----
    void AddThread() {}
    void RemoveThread() {}
    void AddThumbnails() {}
    void DeleteThumbs() {}
    void RemoveOpenAction() {}
    void RemovePageLabel() {}
    void SetTrapped(TqzPDTrapped /*value*/) {}
    TqzPDTrapped GetTrapped() const { return TqzPDTrapped::trapUnknown; }
    int32_t GetNumOCGs() const { return 0; }
    int32_t GetNumThreads() const { return 0; }
    int32_t FindPageNumForLabel(const std::string& /*label*/) const { return 0; }
    bool FlattenOC() const { return false; }
    bool HasOC() const { return false; }

private:
    void LoadFromStream(std::shared_ptr<platform::Stream> stream, bool freeStream);
    // Drops everything made over the base document.
    void DropModel();
    TqzPDCatalog& RequireCatalog() const;
    // The object numbers of the pages, in page order.
    std::vector<uint32_t> PageObjectNumbers();
    // Runs a deletion of pages, then removes what led to the pages it took.
    void DeleteAndPrune(const std::function<void()>& deletion);

    std::unique_ptr<TqzPDBaseDoc> FBaseDoc;
    std::unique_ptr<TqzPDCatalog> FCatalog;
    TqzPDVersion FVersion = TqzPDVersion::v10;
    std::string FFileName;
    std::shared_ptr<platform::Stream> FStream;
    std::unique_ptr<TqzPDDocInfo> FDocInfo;
    bool FFreeStream = false;
    std::string FPassword;
    int32_t FTries = 1;
    TqzPDPermissions FPermissions;
    std::unique_ptr<filters::TqzEncryptionSettings> FUserEncryptionSettings;
    bool FIsEncrypted = false;
    std::string FCMapPath = "./CMAPS/";
    bool FUseDualEMFPlus = true;
    std::shared_ptr<platform::MemoryStream> FBlankDocStrm;
    std::unique_ptr<TqzMergedNames> FMergedNames;
    int32_t FMergeBatches = 0;
    std::unique_ptr<core::TqzObject> FContentState;
};

}  // namespace qz::document
