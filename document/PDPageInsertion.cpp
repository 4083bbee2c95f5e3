#include "document/PDPageInsertion.h"

#include "document/CatalogMerge.h"
#include "document/ObjectCopy.h"
#include "document/PDBaseDoc.h"
#include "document/PDCatalog.h"
#include "document/PDPageTree.h"

namespace qz::document {

void InsertDocumentPages(TqzPDDocument& target, int32_t afterPage, TqzPDDocument& source, int32_t sourceStartPage,
                         int32_t numOfPages, TqzPageInsertFlages /*insertFlags*/) {
    if (!target.IsLoaded() || !source.IsLoaded()) return;
    // One copier for the pages and the document-level data, so that both
    // reach the same copies.
    TqzDocumentCopyTarget copyTarget(target);
    TqzObjectCopier copier(*source.GetBaseDoc(), copyTarget);
    InsertDocumentPages(target, afterPage, source, sourceStartPage, numOfPages, copier);
}

int32_t InsertDocumentPages(TqzPDDocument& target, int32_t afterPage, TqzPDDocument& source, int32_t sourceStartPage,
                            int32_t numOfPages, TqzObjectCopier& copier) {
    if (!target.IsLoaded() || !source.IsLoaded()) return 0;
    // A source that was itself merged into is read with everything it got.
    WriteMergedNames(source);
    TqzCatalogMerge merge(target, source, copier);
    const int32_t before = target.GetPageCount();
    merge.PlanDestinationNames();
    const int32_t inserted =
        target.GetCatalog()->GetPageTree()->InsertPages(afterPage, source, sourceStartPage, numOfPages, copier);
    if (inserted != 0) {
        merge.MergeNamedDestinations();
        merge.MergeOptionalContent();
        merge.MergePageLabels(afterPage, sourceStartPage, inserted, before);
        merge.MergeNeedAppearances();
        merge.MergeEmbeddedFiles();
    }
    if (!target.InMergeBatch()) WriteMergedNames(target);
    return inserted;
}

}  // namespace qz::document
