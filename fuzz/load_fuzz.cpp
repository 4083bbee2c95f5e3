// Cross-reference reading and repair on a whole file: the load, every page
// with its boxes, rotation, resources and actions (its own and its
// annotations', with their /Next chains), and every object the tables name,
// stream data read through its filters.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>

#include "core/PDBaseObject.h"
#include "core/PDDictionary.h"
#include "core/PDStream.h"
#include "document/PDAction.h"
#include "document/PDBaseDoc.h"
#include "document/PDDestination.h"
#include "document/PDDocument.h"
#include "document/PDFileSpec.h"
#include "document/PDPage.h"
#include "fuzz/FuzzSupport.h"

namespace {

// Objects fetched from one input at most, and stream data decoded in all:
// enough to reach every object of a fuzz-sized file.
constexpr uint32_t kMaxObjects = 20000;
constexpr uint64_t kMaxDecoded = uint64_t{32} << 20;

// The type, destination and file of an action and of the actions after it.
void ReadAction(qz::document::TqzPDAction& action) {
    using namespace qz::document;
    try {
        action.GetType();
        if (TqzPDDestination* destination = action.GetDest()) {
            destination->GetPage();
            destination->GetRect();
        }
        if (auto* remote = dynamic_cast<TqzPDGoToRemoteAction*>(&action)) remote->GetFileName();
        if (auto* embedded = dynamic_cast<TqzPDGoToEmbeddedAction*>(&action)) embedded->GetFileName();
        if (auto* launch = dynamic_cast<TqzPDLaunchAction*>(&action)) launch->GetApplicationToLaunch();
        if (TqzPDFileSpec* spec = action.GetFileSpec()) spec->GetEmbeddedFileStream();
    } catch (const std::exception&) {
        // A bad action is refused; the chain goes on.
    }
    for (const auto& next : action.GetNextActions()) ReadAction(*next);
}

void ReadActions(qz::document::TqzPDDocument& doc, qz::document::TqzPDPage& page) {
    for (qz::document::TqzPDAction* action : page.GetActions()) ReadAction(*action);
    const auto* annots = page.GetAnnotObjects();
    if (annots == nullptr) return;
    for (qz::core::TqzPDBaseObject* annot : *annots) {
        if (annot == nullptr || !annot->IsDict()) continue;
        auto action = qz::document::TqzPDAction::MakeAction(
            &doc, &page, static_cast<qz::core::TqzPDDictionary*>(annot)->LookUp("A"));
        if (action != nullptr) ReadAction(*action);
    }
}

void WalkPages(qz::document::TqzPDDocument& doc) {
    const int32_t pages = doc.GetPageCount();
    for (int32_t n = 1; n <= pages; ++n) {
        try {
            qz::document::TqzPDPage* page = doc.GetPage(n);
            page->GetMediaBox();
            page->GetCropBox();
            page->GetRotate();
            page->GetPageSize();
            page->GetResource();
            ReadActions(doc, *page);
        } catch (const std::exception&) {
            // A bad page is refused; the next one is read all the same.
        }
    }
}

void FetchEveryObject(qz::document::TqzPDBaseDoc& base) {
    const uint32_t last = std::min(base.GetLastObjectNumber(), kMaxObjects);
    uint64_t decoded = 0;
    for (uint32_t n = 1; n <= last && decoded < kMaxDecoded; ++n) {
        try {
            qz::core::TqzPDBaseObject* object = base.GetObject(n);
            if (object == nullptr || !object->IsStream()) continue;
            qz::core::TqzStream* data = static_cast<qz::core::TqzPDStream*>(object)->GetStream();
            if (data != nullptr) decoded += qz::fuzz::ReadBounded(*data);
        } catch (const std::exception&) {
            // Damaged data of one object leaves the others readable.
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qz::fuzz::Setup();
    qz::document::TqzPDDocument doc;
    try {
        doc.LoadDocument(qz::fuzz::MemoryFile(data, size));
    } catch (const std::exception&) {
        return 0;  // a clean refusal
    }
    try {
        WalkPages(doc);
    } catch (const std::exception&) {
    }
    if (doc.GetBaseDoc() != nullptr) FetchEveryObject(*doc.GetBaseDoc());
    return 0;
}
