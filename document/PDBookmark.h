#pragma once
// TqzPDBookmark: one item of the document outline, or the outline dictionary
// itself as its root. The catalog makes and owns the root. Only the element
// itself exists here so far: reading and editing outlines is not available
// yet, and the catalog raises ExNotSupportedYet where it would need them.

#include "core/PDElement.h"

namespace qz::document {

class TqzPDBookmark : public core::TqzPDElement {
public:
    using core::TqzPDElement::TqzPDElement;
    // Outline items write their entries when they are set.
    void Update() override {}
};

}  // namespace qz::document
