#include "document/PDPageInsertion.h"

#include "core/PDBoolean.h"
#include "core/PDDictionary.h"
#include "document/PDBaseDoc.h"
#include "document/PDCatalog.h"
#include "document/PDPageTree.h"

namespace qz::document {

namespace {

core::TqzPDDictionary* FormOf(TqzPDDocument& document) {
    core::TqzPDDictionary* catalog = document.GetBaseDoc()->GetDocRoot();
    core::TqzPDBaseObject* form = catalog ? catalog->LookUp("AcroForm") : nullptr;
    return form && form->IsDict() ? static_cast<core::TqzPDDictionary*>(form) : nullptr;
}

// The Boolean value of /NeedAppearances; none when the form has no Boolean
// entry.
const core::TqzPDBoolean* NeedAppearances(const core::TqzPDDictionary* form) {
    const core::TqzPDBaseObject* value = form ? form->LookUp("NeedAppearances") : nullptr;
    return value && value->IsBoolean() ? static_cast<const core::TqzPDBoolean*>(value) : nullptr;
}

}  // namespace

void InsertDocumentPages(TqzPDDocument& target, int32_t afterPage, TqzPDDocument& source, int32_t sourceStartPage,
                         int32_t numOfPages, TqzPageInsertFlages insertFlags) {
    if (!target.IsLoaded() || !source.IsLoaded()) return;
    const int32_t before = target.GetPageCount();
    target.GetCatalog()->GetPageTree()->InsertPages(afterPage, source, sourceStartPage, numOfPages, insertFlags);
    if (target.GetPageCount() == before) return;
    const core::TqzPDBoolean* sourceValue = NeedAppearances(FormOf(source));
    if (!sourceValue) return;
    // A direct Boolean, the OR of both forms' values: neither document's
    // request to regenerate appearances is lost.
    core::TqzPDDictionary* form = FormOf(target);
    const core::TqzPDBoolean* targetValue = NeedAppearances(form);
    const bool need = sourceValue->GetValue() || (targetValue && targetValue->GetValue());
    if (!form) {
        TqzPDBaseDoc* baseDoc = target.GetBaseDoc();
        auto made = std::make_unique<core::TqzPDDictionary>(static_cast<core::TqzParentDocument*>(baseDoc));
        made->Add("NeedAppearances", std::make_unique<core::TqzPDBoolean>(need));
        baseDoc->GetDocRoot()->SetKeyValue("AcroForm", std::move(made));
        return;
    }
    form->SetKeyValue("NeedAppearances", std::make_unique<core::TqzPDBoolean>(need));
}

}  // namespace qz::document
