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
// insert nothing. What the pages depend on in the source's catalog comes
// with them: form fields, named destinations (renamed where the target has
// the name, and the links that use them with them), optional content
// groups with their default states, page labels, and the form's request to
// regenerate appearances.
void InsertDocumentPages(TqzPDDocument& target, int32_t afterPage, TqzPDDocument& source, int32_t sourceStartPage,
                         int32_t numOfPages, TqzPageInsertFlages insertFlags);

class TqzObjectCopier;

// The same with the caller's `copier` (over `source`'s base document into a
// TqzDocumentCopyTarget of `target`), which records the copy each source page
// and object became: the caller can carry more of the source with it
// afterwards (its outline), onto the same copies. Returns the number of
// pages inserted.
int32_t InsertDocumentPages(TqzPDDocument& target, int32_t afterPage, TqzPDDocument& source, int32_t sourceStartPage,
                            int32_t numOfPages, TqzObjectCopier& copier);

}  // namespace qz::document
