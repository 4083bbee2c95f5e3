#pragma once
// TqzPDXFADocument: the template and datasets packets of an XFA form. The
// catalog makes and owns it. Reading and writing the packets is not
// available yet: the catalog raises ExNotSupportedYet instead of making one
// for a form that has packets, so an instance never carries unread packets.

#include "core/PDElement.h"

namespace qz::document {

class TqzPDXFADocument : public core::TqzPDElement {
public:
    using core::TqzPDElement::TqzPDElement;
    // Nothing read, so nothing to write back.
    void Update() override {}
};

}  // namespace qz::document
