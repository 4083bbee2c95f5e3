#pragma once
// TqzExPDFDocument: the component level that adds forms, annotations,
// attachments, signatures, metadata and text output. None of these is part of
// this build yet; the level stands so that the class chain is complete.

#include "component/CustomPDFDocument.h"

namespace qz::component {

class TqzExPDFDocument : public TqzCustomPDFDocument {};

}  // namespace qz::component
