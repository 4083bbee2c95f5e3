#pragma once
// TqzPDElement: the base of every model element (catalog, page tree, page,
// annotation, font, ...). An element wraps one PDF object of the document's
// object table or of a container, and writes the model's state back into it
// with Update. It borrows the object, the document and its parent element;
// it frees nothing.

#include "core/Object.h"

namespace qz::core {

class TqzParentDocument;
class TqzPDBaseObject;

class TqzPDElement : public TqzObject {
  public:
    TqzPDElement(TqzParentDocument* parentDoc, TqzPDElement* parentElement,
                 TqzPDBaseObject* baseObject)
        : FBaseObject(baseObject), FParentDoc(parentDoc), FParentElement(parentElement) {}

    // Writes the element's state into its base object; the base element has
    // nothing to write.
    virtual void Update() {}

    TqzPDBaseObject* GetBaseObject() const { return FBaseObject; }
    TqzParentDocument* GetParentDoc() const { return FParentDoc; }
    TqzPDElement* GetParentElement() const { return FParentElement; }
    bool GetIsChanged() const { return FIsChanged; }
    void SetIsChanged(bool value) { FIsChanged = value; }

  protected:
    TqzPDBaseObject* FBaseObject;
    TqzParentDocument* FParentDoc;
    TqzPDElement* FParentElement;
    bool FIsChanged = false;
};

}  // namespace qz::core
