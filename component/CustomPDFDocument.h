#pragma once
// TqzCustomPDFDocument: the non-visual document component through which an
// application loads, merges and saves PDF documents. It wraps one document
// model, made on first need.
//
// Ownership. The component owns (shares, when it took the model over from
// another component) its document model; the stream it loaded from (a file
// opened for reading, or its own memory copy of a caller's stream); the
// output file while saving; and the temporary components that hold the
// sources of a merge. Merged pages share stream data with those sources, so
// they live until Reset, the next load or destruction, also after a save:
// a second save of the same document reads them again. Linked controls,
// the settings dialog and the opener are borrowed and must outlive the
// component (or be unregistered / replaced first).
//
// States. No model; a model without a document (after Reset or a load that
// failed or was given up); loaded. Every operation that needs a document
// checks for one with a catalog, and every load first releases everything
// the previous document left.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "component/ActionWrappers.h"
#include "component/ComponentServices.h"
#include "component/ComponentTypes.h"
#include "component/OutlineWrappers.h"
#include "component/PDFBaseComponent.h"
#include "component/PageRange.h"
#include "component/PageTypes.h"
#include "core/PDFUtils.h"
#include "document/PDDocument.h"
#include "filters/EncryptionSettings.h"
#include "platform/Streams.h"

namespace qz::document {
class TqzObjectCopier;
}  // namespace qz::document

namespace qz::component {

using TqzPDFEncryptionSettings = filters::published::TqzPDFEncryptionSettings;

class TqzCustomPDFDocument;

// One entry of the object-list form of MergeDocs: a stream holding a PDF
// file, another component, or anything else (skipped). Borrowed.
using TqzMergeEntry = std::variant<std::monostate, platform::Stream*, TqzCustomPDFDocument*>;

class TqzCustomPDFDocument : public TqzPDFBaseComponent {
public:
    // ---- events (raised only when assigned) ----
    using TqzOperationProgressEvent =
        std::function<void(TqzCustomPDFDocument* sender, TqzOperation operation, int32_t currentCount,
                           int32_t totalCount)>;
    using TqzStatusMessageEvent = std::function<void(TqzCustomPDFDocument* sender, const std::string& statMsg)>;
    using TqzIOProgressEvent = std::function<void(TqzCustomPDFDocument* sender, int32_t percentage)>;
    using TqzWarningEvent = std::function<void(TqzCustomPDFDocument* sender, const std::string& warning)>;
    using TqzPasswordEvent =
        std::function<void(TqzCustomPDFDocument* sender, std::string& password, bool& continueLoading, int32_t tries)>;
    using TqzNotifyEvent = std::function<void(TqzCustomPDFDocument* sender)>;
    using TqzRenameFieldEvent =
        std::function<void(TqzCustomPDFDocument* sender, const std::string& oldFieldName, std::string& newFieldName,
                           int32_t pageNumber, bool& rename)>;

    TqzOperationProgressEvent OnOperationProgress;
    TqzStatusMessageEvent OnStatusMessage;
    TqzIOProgressEvent OnIOProgress;  // never raised
    TqzWarningEvent OnWarning;        // never raised
    TqzRenameFieldEvent OnRenameField;  // never raised
    TqzPasswordEvent OnPassword;
    TqzNotifyEvent OnBeginRead;
    TqzNotifyEvent OnEndRead;

    // A component with its default properties, no model and no document.
    TqzCustomPDFDocument();
    // Tells the linked controls (kDocumentSavedMessage), then frees the
    // model, the merge sources and the streams.
    ~TqzCustomPDFDocument() override;

    // ---- core ----
    // Releases the document, its streams and merge sources; keeps the
    // properties, events, linked controls and the Encryption settings.
    void Reset();
    // Duplicates allowed; the control is borrowed.
    void RegisterLinkedControl(TqzLinkedControl* control);
    // Removes the control's first entry; EListError when it has none.
    void UnRegisterLinkedControl(TqzLinkedControl* control);
    // Tells every linked control, the last registered first.
    void DoDocumentChanged(uint32_t message);
    // MurmurHash2 of the loaded stream, computed once per load; 0 unloaded.
    uint32_t GetDocumentHash();
    // The model's CMap folder; the default one while there is no model.
    std::string GetCMapPath() const;
    void SetCMapPath(const std::string& value);
    // Kept for callers of the original interface; they do nothing.
    void CompressDocument(TqzCompressionFilter /*compressionType*/, TqzCompressionLevel /*compressionLevel*/) {}
    void DecompressDocument() {}

    // ---- loading ----
    // EFileNotFound (before anything changes) when the file does not exist;
    // otherwise releases the earlier document and loads the file, which stays
    // open for reading. True when loaded, False when the password handler
    // gave up. Without a handler a refused password raises the model's
    // ExPasswordRequired; after any exception the component holds no document.
    bool LoadFromFile(const std::filesystem::path& fileName, const std::string& password);
    // As LoadFromFile, from a copy of the whole of `stream` (from its start):
    // the caller's stream is not used again.
    bool LoadFromStream(platform::Stream& stream, const std::string& password);
    // Asks the password handler when `forDocOpen`, counts the attempt, and
    // copies the Encryption settings into the permission record used on save.
    void Authorize(bool forDocOpen);

    // ---- merging ----
    // Merges the PDF files named in `docList`, in list order, after the
    // pages already loaded; an unloaded component loads the first file
    // itself. A source that cannot be loaded or inserted ends the merge with
    // EMergeError naming it (the cause nested); the pages merged before it
    // stay. An empty list does nothing. With moIncludeOutlines the outline
    // of every merged file follows its pages (see OnBookmarkMerge).
    void MergeDocs(const std::vector<std::string>& docList);
    // The object-list form: entries are merged from the last to the first,
    // each before the pages already there, so the result is in list order
    // followed by the component's own earlier pages; with moIncludeOutlines
    // so are the outline items.
    void MergeDocs(const std::vector<TqzMergeEntry>& docList);

    // ---- saving ----
    // Writes the document to a new file beside `fileName` and puts it in
    // place only when complete (an existing file is left as it was after any
    // failure or a cancelled settings dialog). ENoDocumentError without a
    // document; EFileOpenError "Could not create file" when the folder cannot
    // take the file. With `autoReload` the saved file is loaded again.
    void SaveToFile(const std::filesystem::path& fileName, bool aIncremental, bool autoReload);
    void SaveToFile(const std::filesystem::path& fileName, TqzNeedAppearanceState needAppearance);
    void SaveToStream(platform::Stream& stream, bool aIncremental);
    void SaveToStream(platform::Stream& stream, TqzNeedAppearanceState needAppearance);
    // Writes the document back to the file it was loaded from (or, with
    // `autoReload`, reloads a stream-loaded one from its saved form).
    void SaveChanges(bool autoReload);
    // The core of every save into a stream; False when the settings dialog
    // was cancelled (nothing written).
    bool SaveDoc(platform::Stream& stream, const document::TqzPDSaveFlags& flags);
    // Shows the settings dialog; its modal result.
    int32_t InvokeSetupDialog();

    // ---- pages ----
    // The model's page count while loaded, else 0.
    int32_t GetPageCount();
    // Page ranges are texts for GetPages (PageRange.h). Every operation
    // parses its range and checks its page numbers before it changes
    // anything: a bad one raises EInvalidPageError and leaves every document
    // as it was. Those that change this document raise ENoDocumentError
    // while it holds none (never loaded, reset, or saved).
    //
    // Deletes the listed pages: each once, whatever the order or repeats of
    // the list; "%d pages deleted" with their number.
    void DeletePages(const std::string& pageRange);
    // Moves page `pageToMove` so that it becomes page `moveToPageNumber`.
    void MovePage(int32_t pageToMove, int32_t moveToPageNumber);
    // Sets (does not add to) the rotation of the listed pages.
    void RotatePages(const std::string& pageRange, TqzRotationAngle angle);
    // Empties `document` and gives it copies of the listed pages of this
    // one, in list order. The copies hold the stream data they share with
    // this document: either component may go first.
    void ExtractPagesTo(TqzCustomPDFDocument& document, const std::string& pageRange);
    // The same into a new file, written at once.
    void ExtractPagesTo(const std::filesystem::path& fileName, const std::string& pageRange);
    // Appends copies of the listed pages of `document`, or of a file (kept
    // open until the next save). A component without a document starts from
    // an empty one.
    void AppendPagesFrom(TqzCustomPDFDocument& document, const std::string& pageRange);
    void AppendPagesFrom(const std::filesystem::path& fileName, const std::string& pageRange);
    // Inserts copies of the listed pages, in list order, after page
    // `insertAfterPage` (0: in front); sources kept as for AppendPagesFrom.
    void InsertPagesFrom(TqzCustomPDFDocument& document, const std::string& pages, int32_t insertAfterPage);
    void InsertPagesFrom(const std::filesystem::path& fileName, const std::string& pages, int32_t insertAfterPage);
    // Page geometry. Page numbers outside 1 to the page count raise
    // EInvalidPageError; without a document the getters give zeros (the
    // rotation -1). A page without the box gives a zero rectangle.
    core::TqzRect GetPageMediaBox(int32_t pageNo);
    core::TqzRect GetPageMediaBox(TqzMeasurementUnit unit, int32_t pageNo);
    core::TqzRect GetPageCropBox(int32_t pageNo, TqzMeasurementUnit unit);
    // In degrees, 0 to 359.
    int32_t GetPageRotate(int32_t pageNo);
    // The visible size (crop box, else media box, else Letter), width and
    // height swapped on pages turned a quarter.
    TqzPageSize GetPageSize(int32_t pageNo, TqzMeasurementUnit unit);
    // Rectangles in MeasurementUnit. A page without the box is given one.
    void SetPageCropBox(const std::string& pageRange, const core::TqzRect& cropRect);
    void SetPageMediaBox(const std::string& pageRange, const core::TqzRect& pageRect);
    // `duration` in seconds.
    void SetPageTransitionEffect(const std::string& pageRange, float duration, TqzTransitionEffect effect);

    // ---- outlines (OutlineWrappers.h) ----
    // Raised for each merged source while MergeOptions holds
    // moIncludeOutlines, before its outline is merged. The handler may change
    // the four: a non-empty title puts the source's outline under one new
    // top-level item with that title, action (a go-to action's page number
    // is a page of that source) and attribute. Whatever the two pointers
    // hold afterwards is the component's and freed after the source.
    using TqzBookmarkMergeEvent =
        std::function<void(TqzCustomPDFDocument* sender, std::string& FileName, std::string& BookmarkTitle,
                           std::unique_ptr<TqzPDFAction>& PDFAction,
                           std::unique_ptr<TqzBookmarkAttribute>& BookMarkAttribute)>;
    TqzBookmarkMergeEvent OnBookmarkMerge;

    // The wrapper of the outline root, kept until the document changes;
    // none without a document. A document without outline gets an empty one.
    TqzPDFOutline* GetBookmarkRoot();
    // The first item titled `ATitle` (ignoring case), depth first from the
    // root as far as `ADepth` reaches.
    TqzPDFOutline* GetBookmark(const std::string& ATitle, TqzBookmarkTraversalDepth ADepth);
    // Every title, depth first, each item before its children; one entry of
    // a single blank when the outline has no item.
    std::vector<std::string> GetBookMarkAsString();
    // The outline as plain nodes; one node titled with a single blank when it
    // has no item.
    std::vector<TqzBookmarkNode> GetBookMarks();
    // What a go-to action is written as: a new model action whose
    // destination has the action's numbers in points (the zoom of dtXYZ
    // kept) and, for a local one, the page of its page number. The caller's
    // action is left as it is, so adding it again gives the same. None for
    // other kinds, without a document, and for a page that does not exist.
    std::unique_ptr<document::TqzPDAction> AddDestination(TqzPDFAction& Action);
    // Kept for callers of the original interface; it does nothing.
    void RemoveBookmark() {}
    // Page `pageNo` of the document; none outside it or without a document.
    document::TqzPDPage* PageOfNumber(int32_t pageNo);

    // ---- properties ----
    bool GetOpenAfterSave() const { return FOpenAfterSave; }
    void SetOpenAfterSave(bool value) { FOpenAfterSave = value; }
    TqzMergeOptions GetMergeOptions() const { return FMergeOptions; }
    void SetMergeOptions(TqzMergeOptions value) { FMergeOptions = value; }
    TqzMeasurementUnit GetMeasurementUnit() const { return FMeasurementUnit; }
    void SetMeasurementUnit(TqzMeasurementUnit value) { FMeasurementUnit = value; }
    bool GetIsLoaded() const { return FIsLoaded; }
    bool GetIsEncrypted() const { return FIsEncrypted; }
    const std::string& GetFileName() const { return FFilename; }
    // A non-empty name is stored and loaded with an empty password; an empty
    // one only clears the name.
    void SetFileName(const std::string& value);
    int64_t GetFileSize() const { return FFileSize; }
    const std::string& GetWorkFileName() const { return FWorkFilename; }
    void SetWorkFileName(const std::string& value) { FWorkFilename = value; }
    // The model's owner flag while loaded, else False.
    bool GetIsOwner() const;
    TqzPDFEncryptionSettings& GetEncryption() { return FEncryption; }
    const TqzPDFEncryptionSettings& GetEncryption() const { return FEncryption; }
    bool GetEMailAfterSave() const { return FEmailAfterSave; }
    void SetEMailAfterSave(bool value) { FEmailAfterSave = value; }
    TqzEMailInfo& GetEMailInfo() { return FEmailInfo; }
    // Copies the given settings.
    void SetEMailInfo(const TqzEMailInfo& value) { FEmailInfo = value; }
    bool GetShowSetupDialog() const { return FShowSetupDialog; }
    void SetShowSetupDialog(bool value) { FShowSetupDialog = value; }

    // ---- replaceable services (borrowed; null restores the default) ----
    void SetSettingsDialog(TqzSettingsDialog* dialog) { FSetupDialog = dialog; }
    void SetDocumentOpener(TqzDocumentOpener* opener) { FOpener = opener; }

    // ---- inspection ----
    // The model; none before an operation needed one.
    document::TqzPDDocument* GetPDDocument() const { return FPDDoc.get(); }
    // The temporary components holding merge sources.
    int32_t GetMergeObjectCount() const { return static_cast<int32_t>(FMergeObjectList.size()); }
    // The permission record the next save passes to the model.
    const document::TqzPDPermissions& GetPermissions() const { return FPermissions; }

private:
    // The model, made when missing.
    document::TqzPDDocument& Model();
    // A model that holds a document with a catalog.
    bool HasUsableDocument() const;
    // ENoDocumentError naming `operation` unless HasUsableDocument.
    void RequireDocument(const char* operation) const;
    // Loads FStream into the model, asking the password handler while it
    // lets the component try again. Releases FStream on any exception.
    bool LoadLoadedStream(const std::string& password);
    // Takes over another component's model (and its loaded stream).
    void TakeOverModel(TqzCustomPDFDocument& other, bool shared);
    // Runs one source of a merge; any failure becomes EMergeError naming it.
    template <class Step>
    void MergeSource(const std::string& source, Step&& step);
    TqzCustomPDFDocument& NewMergeSource();
    // A component entry of a merge must be another one, holding a document.
    void RequireOtherComponent(const TqzCustomPDFDocument& other) const;
    // Raises ENoPageFound when the loaded file opened only through the repair
    // scan and no page was found.
    void RequirePagesOfRepairedFile();
    // Steps of a save into `stream` up to the model's write; False when the
    // settings dialog was cancelled.
    bool WriteDocument(platform::Stream& stream, const document::TqzPDSaveFlags& flags);
    // What follows every successful save.
    void FinishSave();
    static document::TqzPDSaveFlags SaveFlags(bool aIncremental);

    void Status(const std::string& text);
    void Progress(TqzOperation operation, int32_t current, int32_t total);

    // ---- outlines ----
    friend class TqzPDFOutline;
    struct OutlineCopy;
    // A document with a catalog to hold an outline.
    bool HasOutlineDocument() const { return HasUsableDocument(); }
    // `action` (go-to kind) prepared as AddDestination describes, leading to
    // `page` when it is a local one.
    std::unique_ptr<document::TqzPDAction> PreparedGoTo(TqzPDFGoToAction& action, document::TqzPDPage* page);
    // Inserts every page of `source` after page `afterPage`; with
    // moIncludeOutlines its outline follows (MergeBookMark), its event
    // naming `fileName`.
    void InsertSource(TqzCustomPDFDocument& source, int32_t afterPage, const std::string& fileName);
    // Copies TempDoc's outline into this one: its top-level items after the
    // existing ones (before them when `inFront`), or under one new item
    // titled `Title` when that is not empty. `copier` copied its pages.
    void MergeBookMark(TqzCustomPDFDocument& TempDoc, const std::string& Title, TqzPDFAction* APDFAction,
                       const TqzBookmarkAttribute* ABookmarkAttribute, document::TqzObjectCopier& copier,
                       bool inFront);
    // Copies the item chain from `Source` with its subtrees under `Target`
    // (before `copy`'s anchor when it has one); returns how many items of
    // the copy are visible under it.
    int64_t CreateTree(document::TqzPDBookmark& Source, TqzPDFOutline& Target, OutlineCopy& copy);
    // The entries of the source item `from` that the copy `to` takes: style,
    // colour and its target on the copied pages.
    static void CopyOutlineEntries(const core::TqzPDDictionary& from, core::TqzPDDictionary& to, OutlineCopy& copy);
    // The copy in this document of page `pageNo` of `source`, made by
    // `copier`; none when it was not copied.
    document::TqzPDPage* CopyOfSourcePage(TqzCustomPDFDocument& source, int32_t pageNo,
                                          document::TqzObjectCopier& copier);
    // /Count of the outline root, its visible items, after a merge added
    // items to it.
    void RecountOutlineRoot();

    std::unique_ptr<TqzPDFOutline> FOutlines;
    // The model FOutlines wraps: wrappers of another model are dropped.
    std::weak_ptr<document::TqzPDDocument> FOutlinesModel;
    // A merge added top-level items since the root was last counted.
    bool FOutlineRootStale = false;

    // Declared before the model: destroyed after it, since the merged model
    // shares their stream data.
    std::vector<std::unique_ptr<TqzCustomPDFDocument>> FMergeObjectList;
    std::shared_ptr<platform::Stream> FStream;

    // ---- pages: the sources of file appends and inserts (until the next
    // save, Reset, load or destruction), the template of an empty document,
    // and helpers ----
    std::vector<std::unique_ptr<TqzCustomPDFDocument>> FAppendPagesObjList;
    std::vector<std::unique_ptr<TqzCustomPDFDocument>> FInsertDocObjList;
    std::unique_ptr<platform::MemoryStream> FBlankDoc;
    // Loaded, with a catalog: what GetPageCount counts.
    bool HasLoadedDocument() const;
    // The model, or ENoDocumentError naming `operation`.
    document::TqzPDDocument& RequireLoadedDocument(const char* operation);
    // Loads the one-page template and deletes its page.
    void StartEmptyDocument();
    // A component holding `fileName`, asking this one's password handler.
    std::unique_ptr<TqzCustomPDFDocument> LoadPageSource(const std::filesystem::path& fileName);
    // Copies the listed pages of `source` after page `afterPage`, in list
    // order, reporting each listed page as `operation` progress of `reporter`.
    void CopyPages(document::TqzPDDocument& source, const TqzPageNumbers& pages, int32_t afterPage,
                   TqzCustomPDFDocument& reporter, TqzOperation operation);
    // Parses the range, then applies `change` to each listed page.
    template <class Change>
    void ChangePages(const char* operation, const std::string& pageRange, Change&& change);

    bool FSharedDocumentObj = false;
    bool FAutoReload = false;
    std::vector<TqzLinkedControl*> FLinkedControls;
    uint32_t FHash = 0;
    bool FOpenAfterSave = false;
    TqzMergeOptions FMergeOptions;
    TqzMeasurementUnit FMeasurementUnit = TqzMeasurementUnit::muPixels;
    std::string FFilename;
    std::string FWorkFilename;
    bool FIsEncrypted = false;
    bool FIsLoaded = false;
    int64_t FFileSize = 0;
    TqzPDFEncryptionSettings FEncryption;
    TqzEMailInfo FEmailInfo;
    bool FEmailAfterSave = false;
    int32_t FFormFieldCount = 0;
    TqzSettingsDialog* FSetupDialog = nullptr;
    bool FShowSetupDialog = false;
    document::TqzPDPermissions FPermissions;
    std::string FPassword;
    int32_t FTries = 0;
    bool FContinue = true;
    bool FLoadedFromFile = false;
    std::string FOutputFilename;
    TqzDocumentOpener* FOpener = nullptr;

    std::shared_ptr<document::TqzPDDocument> FPDDoc;
};

}  // namespace qz::component
