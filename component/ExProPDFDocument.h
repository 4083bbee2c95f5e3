#pragma once
// TqzExProPDFDocument: the component level that adds rendering, image
// export, text search and page elements. None of these is part of this build
// yet; the level stands so that the class chain is complete.

#include "component/ExPDFDocument.h"

namespace qz::component {

class TqzExProPDFDocument : public TqzExPDFDocument {};

}  // namespace qz::component
