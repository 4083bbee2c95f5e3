#pragma once
// TqzPDPage: the model element of one page. It wraps the page dictionary and
// hands out, each made on first need and kept, the page's boxes, rotation,
// resources, annotation objects and contents element; it writes the page
// back on save, and it copies a page of another document into itself (page
// insertion).
//
// The page tree makes and owns the page elements. A page borrows its
// dictionary, document and tree; it owns its rectangles, its resource element,
// the additional actions it read, its contents element (made by the content
// layer's maker) and its inherited property (which shares the properties of
// the nodes above it). The drawing and annotation operations of the content
// and forms layers are not part of this build.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/PDElement.h"
#include "core/PDRect.h"

namespace qz::core {
class TqzPDBaseObject;
class TqzPDDictionary;
class TqzPDStream;
}  // namespace qz::core

namespace qz::document {

class TqzObjectCopier;
class TqzPDAction;
class TqzPDDocument;
class TqzPDInheritedProperty;
class TqzPDPageTree;
class TqzPDResource;
enum class TqzInheritedKey : uint8_t;
enum class TqzPDResourceType : uint8_t;

// A page's width and height in points.
struct TqzPageSize {
    double Width = 0;
    double Height = 0;
};

enum class TqzPageActionTrigger : uint8_t { atBeforePageOpen, atAfterPageClose };

enum class TqzPDTransitionEffect : uint8_t {
    teNone,
    teSplitHorizontalInward,
    teSplitHorizontalOutward,
    teSplitVerticalInward,
    teSplitVerticalOutward,
    teBlindsHorizontal,
    teBlindsVertical,
    teBoxInward,
    teBoxOutward,
    teWipeLeftToRight,
    teWipeBottomToTop,
    teWipeRightToLeft,
    teWipeTopToBottom,
    teDissolve,
    teGlitterLeftToRight,
    teGlitterTopToBottom,
    teGlitterTopLeftToBottomRight,
};

class TqzPDPage : public core::TqzPDElement {
public:
    // `pageDict` may be none (a page whose dictionary comes later).
    TqzPDPage(TqzPDDocument* document, core::TqzPDElement* parentElement, core::TqzPDBaseObject* pageDict);
    ~TqzPDPage() override;
    TqzPDPage(const TqzPDPage&) = delete;
    TqzPDPage& operator=(const TqzPDPage&) = delete;

    // Marks the page changed, writes its resources back and points /Parent
    // at the page tree's root.
    void Update() override;
    void FreeResources();

    TqzPDDocument* GetDocument() const { return FDocument; }
    core::TqzPDDictionary* GetDict() const;
    int32_t GetPageNum() const { return FPageNum; }
    void SetPageNum(int32_t value) { FPageNum = value; }
    TqzPDInheritedProperty* GetInheritedProperty() const { return FInheritedProp.get(); }
    void SetInheritedProperty(std::shared_ptr<TqzPDInheritedProperty> property);

    // Own box (kept), else the inherited one (not kept; the inherited flag
    // set); none when neither exists. ExBadPage for an own box that is not
    // an array.
    core::TqzPDRect* GetMediaBox();
    core::TqzPDRect* GetCropBox();
    // Own box, else an empty rectangle (all four -1). ExBadPage as above.
    core::TqzPDRect* GetBleedBox();
    core::TqzPDRect* GetTrimBox();
    // Sets the kept rectangle, or gives the page its own box of four reals.
    void SetMediaBox(double left, double top, double right, double bottom);
    void SetCropBox(double left, double top, double right, double bottom);
    bool IsInheritedMediaBox() const { return FIsInheritedMediaBox; }
    bool IsInheritedCropBox() const { return FIsInheritedCropBox; }
    // Own /Rotate, else the inherited rotation, in 0 to 359.
    int32_t GetRotate();
    // /Rotate := value mod 360, the sign kept.
    void SetRotate(int32_t value);
    // The crop box's size, else the media box's, else 612 by 792.
    TqzPageSize GetPageSize();
    double GetPageWidth() { return GetPageSize().Width; }
    double GetPageHeight() { return GetPageSize().Height; }

    // The page's own resources (element made on first need, kept), else the
    // inherited ones; none when neither exists.
    TqzPDResource* GetResource();
    // Enters `resObject` under `resName` in the resource category of
    // `resType` (ExtGState, ColorSpace, XObject or Font; other types raise
    // ExNotSupportedYet), making the page's own /Resources when it has none.
    void AddResource(TqzPDResourceType resType, const std::string& resName, core::TqzPDBaseObject* resObject);

    // The annotation dictionaries of /Annots, resolved, in order: an indirect
    // annotation listed twice appears once; direct ones are never merged.
    // Made on first need; none without /Annots.
    const std::vector<core::TqzPDBaseObject*>* GetAnnotObjects();
    // The page's contents element (the content layer's), made on first need
    // and kept; none without /Contents or before that layer's maker is
    // registered.
    core::TqzPDElement* GetContents();

    // /Dur: an integer or a real; 0 without one; ExBadPage otherwise.
    double GetDuration();
    // /Dur and /Trans, replacing earlier ones.
    void SetPageTransitionEffect(TqzPDTransitionEffect effect, float duration);
    // A new direct transition dictionary.
    std::unique_ptr<core::TqzPDDictionary> GetTransitionDict(TqzPDTransitionEffect effect, double duration);
    // The page's additional action for the trigger (/AA /O or /C), made by
    // MakeAction on first need and kept; none when absent or not an action.
    TqzPDAction* GetAction(TqzPageActionTrigger trigger);
    // Both additional actions that exist, open before close.
    std::vector<TqzPDAction*> GetActions();
    // /AA's /O or /C := CreateActionDict(action), /AA added when missing.
    void AddAction(TqzPDAction& action, TqzPageActionTrigger trigger);
    // A new direct action dictionary written from `action`.
    std::unique_ptr<core::TqzPDDictionary> CreateActionDict(TqzPDAction& action);
    // Removes /O or /C from an /AA dictionary.
    void RemoveAction(TqzPageActionTrigger trigger);
    // A new indirect image stream (8-bit RGB, unfiltered) as /Thumb.
    void AddThumbnail(const std::string& imageData, double imageWidth, double imageHeight);

    // Copies the source page (of another document, or this one) into this
    // page, whose dictionary must exist: the page dictionary and everything
    // it reaches, then the attributes the source inherited that the copy
    // lacks (media box, crop box, resources). `copier` records what was
    // copied, so that objects shared between pages are copied once; the
    // caller joins the page's fields to the form (JoinFormFields).
    void Assign(TqzPDPage& page, TqzObjectCopier& copier);
    // The same with a copier of its own (this page's document as target);
    // the fields of the page's widgets join the target's form.
    void Assign(TqzPDPage& page);
    // Where the document has no page labels yet, the number this page's run
    // of pages begins with (an inserted document's first page, or the page
    // after it); 0 when the page just follows the one before. A later
    // insertion that brings labels numbers the runs from it.
    int32_t GetLabelRangeStart() const { return FLabelRangeStart; }
    void SetLabelRangeStart(int32_t first) { FLabelRangeStart = first; }

    // A copy of `source` (an object of another document) in this page's
    // document: a reference to the copy for an indirect object.
    std::unique_ptr<core::TqzPDBaseObject> DuplicateObject(core::TqzPDBaseObject* source);

private:
    // Drops the action read for the trigger, before its entry changes.
    void ForgetAction(TqzPageActionTrigger trigger);
    core::TqzPDRect* OwnOrInheritedBox(const char* key, std::unique_ptr<core::TqzPDRect>& own, bool& inherited,
                                       bool media);
    core::TqzPDRect* OwnBoxOrEmpty(const char* key, std::unique_ptr<core::TqzPDRect>& own);
    void SetBox(const char* key, std::unique_ptr<core::TqzPDRect>& own, bool& inherited, double left, double top,
                double right, double bottom);
    // The attribute in force for this page, as stored (possibly a
    // reference), from its own dictionary up: its inherited property, or its
    // /Parent chain when it has none.
    core::TqzPDBaseObject* InheritedStored(TqzInheritedKey key);

    TqzPDDocument* FDocument;
    std::unique_ptr<core::TqzPDRect> FMediaBox;
    std::unique_ptr<core::TqzPDRect> FCropBox;
    std::unique_ptr<core::TqzPDRect> FBleedBox;
    std::unique_ptr<core::TqzPDRect> FTrimBox;
    std::unique_ptr<TqzPDResource> FResource;
    std::shared_ptr<TqzPDInheritedProperty> FInheritedProp;
    // The additional actions read, by trigger; kept until the page is freed.
    std::unique_ptr<TqzPDAction> FAdditionalAction[2];
    bool FAdditionalActionRead[2] = {false, false};
    bool FHasAnnots = false;
    std::vector<core::TqzPDBaseObject*> FAnnotObjects;
    std::unique_ptr<core::TqzPDElement> FContents;
    int32_t FPageNum = 0;
    int32_t FLabelRangeStart = 0;
    bool FIsInheritedMediaBox = false;
    bool FIsInheritedCropBox = false;
};

}  // namespace qz::document
