#pragma once
// TqzPDCatalog: the model element over the document catalog (the trailer's
// /Root dictionary). The document model makes it while loading and owns it.
// It hands out, each made on first use and kept, the page tree, the viewer
// preferences, the /AcroForm dictionary and the XMP metadata copy; it reads
// and writes the page layout, the page mode and the document-level actions;
// and its Update, run by the document's save, has the page tree (and the
// other sub-elements made) write themselves back. It owns the page tree,
// viewer preferences, outline root and XFA document it made.

#include <cstdint>
#include <memory>
#include <string>

#include "core/PDElement.h"
#include "platform/Streams.h"

namespace qz::core {
class TqzPDArray;
class TqzPDBaseObject;
class TqzPDDictionary;
}  // namespace qz::core

namespace qz::document {

class TqzPDAction;
class TqzPDBookmark;
class TqzPDDestination;
class TqzPDDocument;
class TqzPDPage;
class TqzPDPageTree;
class TqzPDViewerPref;
class TqzPDXFADocument;

enum class TqzPDLayoutMode : uint8_t {
    lmNone,
    lmSinglePage,
    lmOneColumn,
    lmTwoColumnLeft,
    lmTwoColumnRight,
    lmTwoPageLeft,
    lmTwoPageRight,
};

enum class TqzPDPageMode : uint8_t {
    pmNone,
    pmUseNone,
    pmUseThumbs,
    pmUseBookmarks,
    pmFullScreen,
    pmOCVisible,
    pmAttachmentsVisible,
};

enum class TqzDocActionTrigger : uint8_t {
    atBeforeDocClose,
    atBeforeDocSave,
    atAfterDocSave,
    atBeforeDocPrint,
    atAfterDocPrint,
    atBeforeDocOpen,
};

struct TqzPDOutlineFlag;

// The values a form-field node hands down to its descendants.
struct TqzFormFieldVals {
    std::string FieldName;
    std::string DAValue;
    std::string DefaultValue;
    core::TqzPDBaseObject* FontDict = nullptr;  // borrowed
    int32_t FFlag = 0;
    int32_t FfFlag = 0;
};

class TqzPDCatalog : public core::TqzPDElement {
public:
    TqzPDCatalog(TqzPDDocument* document, core::TqzPDElement* parentElement, core::TqzPDBaseObject* baseObject);
    ~TqzPDCatalog() override;
    TqzPDCatalog(const TqzPDCatalog&) = delete;
    TqzPDCatalog& operator=(const TqzPDCatalog&) = delete;

    // The page tree, then the viewer preferences and the XFA document, each
    // when made, write themselves back. The catalog dictionary itself is
    // left as it is.
    void Update() override;

    TqzPDDocument* GetDocument() const { return FDocument; }
    // The catalog dictionary; none when the catalog has no dictionary.
    core::TqzPDDictionary* GetDict() const;

    // Made on first use over /Pages; ExNoPageTreeObj when /Pages is not a
    // dictionary.
    TqzPDPageTree* GetPageTree();
    // Reads the page tree when the catalog has one, so that the next Update
    // writes it back flat with the pages really found.
    void ReadPageTree();
    TqzPDPage* GetPage(int32_t pageNumber);
    // Made on first use over /ViewerPreferences, which is added (empty,
    // direct) when missing.
    TqzPDViewerPref* GetViewerPref();

    TqzPDLayoutMode GetPageLayout();
    void SetPageLayout(TqzPDLayoutMode value);
    TqzPDPageMode GetPageMode();
    void SetPageMode(TqzPDPageMode value);

    // atBeforeDocOpen: /OpenAction := CreateActionDict(action). The other
    // triggers take only a JavaScript action (else "Java Script Action
    // required", nothing written) as << /S /JavaScript /JS (...) >> under
    // their /AA key. Nothing happens without a dictionary.
    void AddAction(TqzPDAction& action, TqzDocActionTrigger triggerType);
    // Removes the trigger's entry from /AA; /OpenAction is never removed.
    void RemoveAction(TqzDocActionTrigger triggerType);
    // A new direct action dictionary written from `action`; the caller
    // places it.
    std::unique_ptr<core::TqzPDDictionary> CreateActionDict(TqzPDAction& action);
    // The destination as a new direct array, its numbers as they stand.
    std::unique_ptr<core::TqzPDArray> CreateDestArray(TqzPDDestination& destination);
    // Removes /Perms; a save starts with it.
    void RemovePerms();

    // The /AcroForm dictionary, kept once found; none while absent.
    core::TqzPDDictionary* GetAcroFormFieldDict();
    void RemoveXFA();

    // A copy of the /Metadata stream's decoded data, made on first use and
    // kept (left positioned at its end); none without a metadata stream.
    std::shared_ptr<platform::MemoryStream> GetMetadata();
    // A new indirect /Metadata stream holding `metadata`.
    void SetXMPMetadata(const std::string& metadata);

    // The outline root, made on first use over /Outlines; without one, a
    // new empty outline dictionary becomes /Outlines.
    TqzPDBookmark* GetBookmarkRoot();
    // The outline root when it has been made; nothing is made here.
    TqzPDBookmark* GetMadeBookmarkRoot() const { return FBookmarkRoot.get(); }
    // The first outline item of a document without outlines, with the
    // destination (when given and with a display option) or else the
    // action, in a new outline dictionary; the item becomes the root handed
    // out. A document with outlines gets nothing new: its root is returned.
    TqzPDBookmark* InsertNewBookmark(const std::string& title, TqzPDDestination* destination,
                                     const TqzPDOutlineFlag& outlineFlag, TqzPDAction* action);
    TqzPDBookmark* CreateNewBookmark(const std::string& title, TqzPDAction* action, const TqzPDOutlineFlag& outlineFlag) {
        return InsertNewBookmark(title, nullptr, outlineFlag, action);
    }
    TqzPDBookmark* CreateNewBookmark(const std::string& title, TqzPDDestination* destination,
                                     const TqzPDOutlineFlag& outlineFlag) {
        return InsertNewBookmark(title, destination, outlineFlag, nullptr);
    }

    // Not available yet (ExNotSupportedYet): the form-field walk.
    core::TqzPDElement* GetAcroFormField(core::TqzPDBaseObject* formFieldObj);
    // None when the form has no /XFA array; a form with XFA packets raises
    // ExNotSupportedYet.
    TqzPDXFADocument* GetPDXFADoc();

private:
    // /Dest (written as it stands) or /A of the first outline item.
    void WriteOutlineTarget(core::TqzPDDictionary& item, TqzPDDestination* destination, TqzPDAction* action);

    TqzPDDocument* FDocument;
    std::unique_ptr<TqzPDPageTree> FPageTree;
    std::unique_ptr<TqzPDBookmark> FBookmarkRoot;
    TqzPDLayoutMode FPageLayout = TqzPDLayoutMode::lmNone;
    TqzPDPageMode FPageMode = TqzPDPageMode::pmNone;
    std::shared_ptr<platform::MemoryStream> FMetadata;
    std::unique_ptr<TqzPDViewerPref> FViewerPref;
    core::TqzPDDictionary* FAcroFormFields = nullptr;
    std::unique_ptr<TqzPDXFADocument> FPDXFADoc;
};

}  // namespace qz::document
