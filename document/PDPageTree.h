#pragma once
// TqzPDPageTree: the document's tree of /Pages nodes as one flat, ordered
// list of page elements, read on first need, and written back on save as a
// single root node that lists every page. The catalog makes it over the root
// /Pages dictionary and owns it; it owns its page elements.
//
// TqzPDInheritedProperty: the inheritable page attributes (/MediaBox,
// /CropBox, /Rotate, /Resources) in force at one page-tree node or page.
// Each property shares ownership of the property of the node above it, so a
// node's property lives as long as the last page below it; a page owns its
// own property.
//
// Reading is iterative and visits every object at most once, so cycles end
// and trees of any depth are read without recursion. The page count is the
// number of pages found, whatever /Count claims.

#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/PDElement.h"
#include "core/PDFUtils.h"
#include "core/PDRect.h"

namespace qz::core {
class TqzPDBaseObject;
class TqzPDDictionary;
}  // namespace qz::core

namespace qz::document {

class TqzObjectCopier;
class TqzPDDocument;
class TqzPDPage;
class TqzPDPageTree;
class TqzPDResource;
enum class TqzPageInsertFlages : uint8_t;

// The inheritable attributes, in the order they are carried.
enum class TqzInheritedKey : uint8_t { MediaBox, CropBox, Rotate, Resources };
inline constexpr int kInheritedKeyCount = 4;
std::string_view InheritedKeyName(TqzInheritedKey key);

class TqzPDInheritedProperty : public core::TqzPDElement {
public:
    // The value of one attribute in force at a node: as stored (possibly a
    // reference), resolved, and the node dictionary that holds it.
    struct Value {
        core::TqzPDBaseObject* Stored = nullptr;
        core::TqzPDBaseObject* Resolved = nullptr;
        core::TqzPDDictionary* Holder = nullptr;
    };

    // The values in force at `node`: its own where it has a usable one, else
    // those in force at `parent`.
    TqzPDInheritedProperty(TqzPDDocument* document, std::shared_ptr<TqzPDInheritedProperty> parent,
                           core::TqzPDDictionary* node);
    ~TqzPDInheritedProperty() override;
    TqzPDInheritedProperty(const TqzPDInheritedProperty&) = delete;
    TqzPDInheritedProperty& operator=(const TqzPDInheritedProperty&) = delete;

    TqzPDInheritedProperty* GetParentProperty() const { return FParent.get(); }
    core::TqzPDDictionary* GetNode() const;
    const Value& GetValue(TqzInheritedKey key) const { return FValues[static_cast<int>(key)]; }

    // Rectangles over the boxes in force, made on first need; none when no
    // node above has the box.
    core::TqzPDRect* GetMediaBox();
    core::TqzPDRect* GetCropBox();
    // The rotation in force, 0 when none.
    int32_t GetRotate() const;
    // The resources in force: an element over this node's own, owned here,
    // or the one of the node that holds them; none when no node has any.
    TqzPDResource* GetResource();

    // The node's own form-field entries (/FT, /Ff, /V, /DV, /T), or none.
    core::TqzPDBaseObject* GetFormFieldType() const;
    core::TqzPDBaseObject* GetFormFieldFlag() const;
    core::TqzPDBaseObject* GetFormFieldValue();
    core::TqzPDBaseObject* GetFormFieldDefaultValue();
    core::TqzPDBaseObject* GetFormFiledName();

private:
    core::TqzPDRect* BoxAt(TqzInheritedKey key, std::unique_ptr<core::TqzPDRect>& box);

    TqzPDDocument* FDocument;
    std::shared_ptr<TqzPDInheritedProperty> FParent;
    Value FValues[kInheritedKeyCount];
    std::unique_ptr<TqzPDResource> FResource;
    std::unique_ptr<core::TqzPDRect> FMediaBox;
    std::unique_ptr<core::TqzPDRect> FCropBox;
    core::TqzPDBaseObject* FFormFieldValue = nullptr;
    core::TqzPDBaseObject* FFormFieldDefaultValu = nullptr;
    core::TqzPDBaseObject* FFormFieldName = nullptr;
};

// Tells `copier`, whose source is the document of `tree`, about the
// source's pages: those not placed already copy to null, and destinations
// that name a page by its index find it.
void MapOtherPages(TqzObjectCopier& copier, TqzPDPageTree& tree);

class TqzPDPageTree : public core::TqzPDElement {
public:
    TqzPDPageTree(TqzPDDocument* document, core::TqzPDElement* parentElement, core::TqzPDBaseObject* root);
    ~TqzPDPageTree() override;
    TqzPDPageTree(const TqzPDPageTree&) = delete;
    TqzPDPageTree& operator=(const TqzPDPageTree&) = delete;

    // Writes the tree flat: every page's Update, then the root lists every
    // page in /Kids with /Count their number. A page that inherited an
    // attribute from a node other than the root receives it as its own, since
    // the other nodes are no longer referenced. Nothing happens when the tree
    // was never read.
    void Update() override;

    TqzPDDocument* GetDocument() const { return FDocument; }
    core::TqzPDDictionary* GetRoot() const;
    // The object-table number of the root dictionary; 0 when it is direct.
    uint32_t GetRootObjectNumber();
    // Freed with the tree; the tree's own operations never set it.
    TqzPDInheritedProperty* GetInheritedProperty() const { return FInheritedProp.get(); }

    // The number of pages found in the tree.
    int32_t GetCount();
    // Page `pageNumber` (1-based), none outside 1 to GetCount.
    TqzPDPage* GetPage(int32_t pageNumber);
    core::TqzPDBaseObject* GetPageBaseObject(int32_t pageNumber);
    // The first page whose dictionary has the object number of `object`.
    TqzPDPage* GetPageByIndRef(const core::TqzPDBaseObject* object);
    // The object-table number of page `pageNumber`'s dictionary, 0 when none.
    uint32_t GetPageObjectNumber(int32_t pageNumber);

    // A new empty page with the media box, placed as page `position`
    // (1 to GetCount + 1); none for other positions.
    TqzPDPage* CreatePage(int32_t position, const core::TqzRect& mediaBox);
    // Out-of-range page numbers change nothing.
    void DeletePage(int32_t pageNumber);
    void DeletePages(int32_t firstPage, int32_t lastPage);
    void MovePage(int32_t moveToAfterPage, int32_t pageToMove);
    void ReplacePages(int32_t startPage, TqzPDDocument& sourceDoc, int32_t sourceStartPage, int32_t numOfPages,
                      bool mergeTextAnnots);
    // Reads the tree (the pages are made on reading).
    void RequestPages(int32_t startPage, int32_t numOfPages);

    // Copies `numOfPages` pages of `sourceDoc` from `sourceStartPage` to
    // follow page `afterPage` (0: in front); the fields of their widgets
    // join the form. Out-of-range arguments insert nothing. Objects the
    // pages share are copied once per call.
    void InsertPages(int32_t afterPage, TqzPDDocument& sourceDoc, int32_t sourceStartPage, int32_t numOfPages,
                     TqzPageInsertFlages insertFlags);
    // The same with `copier`, whose source is `sourceDoc`, so that what is
    // copied afterwards with it (the source's document-level data) shares
    // the pages' copies. Returns the number of pages inserted.
    int32_t InsertPages(int32_t afterPage, TqzPDDocument& sourceDoc, int32_t sourceStartPage, int32_t numOfPages,
                        TqzObjectCopier& copier);
    // Copies one page to list position `index` (0-based).
    void InsertPage(int32_t index, TqzPDPage& page, TqzPageInsertFlages insertFlags);
    // Every page numbered `pageNumber` - 1 or above moves up by one.
    void UpdatePageNumbers(int32_t pageNumber);

    // Page stitching is not part of this build (ExNotSupportedYet).
    void StitchPages(int32_t stitchToPage, int32_t stitchFromPage);
    void StitchPagesSideBySide(int32_t stitchToPage, int32_t stitchFromPage);

private:
    struct PageRef {
        uint32_t Number;
        uint32_t Generation;
    };

    void EnsureRead();
    void ReadPageTree();
    // Puts a node of our own above a page that the catalog names as the root;
    // returns the new root, none when the page cannot be given a number.
    core::TqzPDDictionary* PutRootAboveLonePage(core::TqzPDDictionary& page);
    // A new page object that repeats `page`, entered in the object table.
    core::TqzPDDictionary& DuplicatePage(const core::TqzPDDictionary& page);
    void AppendPage(core::TqzPDDictionary& dict, PageRef ref, std::shared_ptr<TqzPDInheritedProperty> parent);
    // Inserts a page made by the insertion into both lists at `index`.
    void PlacePage(int32_t index, std::unique_ptr<TqzPDPage> page, PageRef ref);
    void Renumber(size_t from);
    void WriteCount();
    void GiveRootANumber();
    void GiveInheritedValues(TqzPDPage& page,
                             std::unordered_map<const core::TqzPDBaseObject*, uint32_t>& madeIndirect);
    void InsertPage(int32_t index, TqzPDPage& page, TqzObjectCopier& copier, core::TqzPDDictionary& dict);

    TqzPDDocument* FDocument;
    std::unique_ptr<TqzPDInheritedProperty> FInheritedProp;
    bool FRead = false;
    std::vector<std::unique_ptr<TqzPDPage>> FPageList;
    std::vector<PageRef> FPageRefs;
    int32_t FPageNumber = 0;
};

}  // namespace qz::document
