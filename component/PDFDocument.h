#pragma once
// TqzPDFDocument: the document component applications create, with no owner,
// and free themselves. It adds nothing to the chain below it.

#include "component/ExProPDFDocument.h"

namespace qz::component {

class TqzPDFDocument final : public TqzExProPDFDocument {};

}  // namespace qz::component
