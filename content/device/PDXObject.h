#pragma once
// The external objects of a content stream: the base TqzPDXObject, form
// XObjects (TqzPDForm) with their transparency groups (TqzPDGroup), and
// PostScript XObjects (TqzPDPostScript), which are recognised and never
// drawn. Images are TqzPDImage (PDImage.h). MakeXObject chooses the class
// from the object's /Subtype.
//
// An XObject borrows the stream it wraps, the document and the element whose
// resources named it. A form owns what it reads from its dictionary (box,
// matrix, group) and its resource element, unless that was handed in with
// SetResources.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/PDMatrix.h"
#include "core/PDRect.h"
#include "document/ContentFactories.h"

namespace qz::core {
class TqzPDDictionary;
}  // namespace qz::core

namespace qz::document {
class TqzPDResource;
}  // namespace qz::document

namespace qz::content {

class TqzPDColorSpace;

enum class TqzXObjectType : uint8_t { xtImage, xtForm, xtPostScript };

class TqzPDXObject : public document::TqzPDXObject {
public:
    TqzPDXObject(document::TqzPDDocument* AParentDoc, core::TqzPDElement* AResourceElement,
                 core::TqzPDBaseObject* ABaseObject, std::string ATagName = {});

    // Images and PostScript XObjects answer False to both: callers tell
    // them apart by GetSubType.
    virtual bool IsImage() const { return false; }
    virtual bool IsPostScript() const { return false; }

    TqzXObjectType GetSubType() const { return FSubType; }
    void SetSubType(TqzXObjectType Value) { FSubType = Value; }
    const std::string& GetTagName() const { return FTag; }
    void SetTagName(std::string Value) { FTag = std::move(Value); }
    // The dictionary of the wrapped stream (or the wrapped dictionary); none
    // for anything else.
    core::TqzPDDictionary* GetDict() const;

protected:
    TqzXObjectType FSubType = TqzXObjectType::xtImage;
};

enum class TGrouptype : uint8_t { transparency, none };

class TqzPDGroup : public core::TqzPDElement {
public:
    TqzPDGroup(document::TqzPDDocument* AParentDoc, core::TqzPDElement* AResourceElement,
               core::TqzPDBaseObject* ABaseObject);

    // Becomes `transparency` once /S is the name Transparency; any other
    // value is looked at again on the next call.
    TGrouptype GetGroupSubtype();
    // The group's colour space is not read: always none.
    TqzPDColorSpace* GetColorSpace() const { return FGroupColorSpace; }
    bool IsIsolatedGroup() const { return FIsIsolatedGroup; }
    bool IsKnockoutGroup() const { return FIsKnockoutGroup; }

private:
    TGrouptype FGroupSubtype = TGrouptype::none;
    TqzPDColorSpace* FGroupColorSpace = nullptr;
    bool FIsIsolatedGroup = false;
    bool FIsKnockoutGroup = false;
};

class TqzPDForm : public TqzPDXObject {
public:
    TqzPDForm(document::TqzPDDocument* AParentDoc, core::TqzPDElement* AResourceElement,
              core::TqzPDBaseObject* ABaseObject);
    ~TqzPDForm() override;

    bool IsForm() const override { return true; }

    // Each is read from the stream's dictionary on first request and kept;
    // none (-1 for the form type) while the entry is missing or of the wrong
    // type, or the wrapped object is not a stream, and then read again on
    // the next request.
    core::TqzPDRect* GetBBox();
    int32_t GetFormType();
    core::TqzPDMatrix* GetMatrix();
    document::TqzPDResource* GetResources() override;
    TqzPDGroup* GetGroup();
    // Uses `Value` as the form's resources from now on, without owning it.
    void SetResources(document::TqzPDResource* Value) override;
    bool GetResourcesInherited() const { return FResourcesInherited; }

private:
    core::TqzPDDictionary* StreamDict() const;

    int32_t FFormType = -1;
    std::unique_ptr<core::TqzPDRect> FBBox;
    std::unique_ptr<core::TqzPDMatrix> FMatrix;
    std::unique_ptr<document::TqzPDResource> FOwnedResources;
    document::TqzPDResource* FResources = nullptr;
    bool FResourcesInherited = false;
    std::unique_ptr<TqzPDGroup> FGroup;
};

class TqzPDPostScript : public TqzPDXObject {
public:
    TqzPDPostScript(document::TqzPDDocument* AParentDoc, core::TqzPDElement* AResourceElement,
                    core::TqzPDBaseObject* ABaseObject);
};

// The XObject for `AXObjectDict` (a stream, or a dictionary): /Subtype
// Image, Form or PS, compared case-sensitively; none for any other subtype
// or object. An object without /Subtype is a form when it comes from an
// appearance stream (`FromAppearanceStream`), else none. The caller owns
// the result.
std::unique_ptr<TqzPDXObject> MakeXObject(document::TqzPDDocument* AParentDoc,
                                          core::TqzPDElement* AResourceElement, const std::string& ATagName,
                                          core::TqzPDBaseObject* AXObjectDict, bool FromAppearanceStream = false);

}  // namespace qz::content
