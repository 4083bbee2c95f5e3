#pragma once
// Page insertion between documents, the core of every merge: the pages of a
// source document are copied, with everything they reach, into a target
// document's page tree. Objects the inserted pages share are copied once;
// stream data is shared with the source, which must therefore stay loaded
// until the target has been saved.

#include <cstdint>

#include "document/PDDocument.h"

namespace qz::document {

// Inserts `numOfPages` pages of `source`, from its page `sourceStartPage`,
// after page `afterPage` of `target` (0: in front); out-of-range arguments
// insert nothing. When the source's form asks for appearances to be
// regenerated (/NeedAppearances true), so does the target's afterwards.
void InsertDocumentPages(TqzPDDocument& target, int32_t afterPage, TqzPDDocument& source, int32_t sourceStartPage,
                         int32_t numOfPages, TqzPageInsertFlages insertFlags);

}  // namespace qz::document
