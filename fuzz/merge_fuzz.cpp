// The whole road of a merge: the input is loaded as a source, its outline is
// walked item by item as a program showing it reads it, its pages are
// inserted after a small fixed document with everything they bring, the
// result is saved to memory, and what was saved is loaded again. A result
// that does not load again, or lost pages, is a fault, not a refusal.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "document/PDAction.h"
#include "document/PDBookmark.h"
#include "document/PDDestination.h"
#include "document/PDDocument.h"
#include "document/PDPage.h"
#include "fuzz/FuzzSupport.h"
#include "platform/Streams.h"
#include "testing/PdfBuilder.h"

namespace {

const std::string& FirstFile() {
    static const std::string bytes = qz::testing::MinimalDocument(1, "FIRST").Write();
    return bytes;
}

int32_t WalkPages(qz::document::TqzPDDocument& doc) {
    const int32_t pages = doc.GetPageCount();
    for (int32_t n = 1; n <= pages; ++n) doc.GetPage(n)->GetPageSize();
    return pages;
}

// Everything an outline item tells about itself; an item whose entries are
// refused (an action of no kind, say) is passed over.
void ReadItem(qz::document::TqzPDBookmark& item, const qz::document::TqzNamedDestinations& names) {
    try {
        item.GetTitle();
        item.GetFlags();
        item.GetCount();
        qz::document::TqzPDColorValue color;
        item.GetColor(color);
        item.GetTargetPage(names);
        if (qz::document::TqzPDDestination* destination = item.GetDestination()) {
            destination->GetPage();
            destination->GetDisplayOption();
            destination->GetRect();
        }
        if (qz::document::TqzPDAction* action = item.GetAction()) {
            action->GetType();
            action->GetDest();
            action->GetNextActions();
        }
    } catch (const std::exception&) {
    }
}

// The whole outline, depth first, on a work list as any walk of a file's
// tree must be.
void WalkOutline(qz::document::TqzPDDocument& doc) {
    const qz::document::TqzNamedDestinations names(doc);
    std::vector<qz::document::TqzPDBookmark*> work{doc.GetBookmarkRoot()};
    while (!work.empty()) {
        qz::document::TqzPDBookmark* item = work.back();
        work.pop_back();
        ReadItem(*item, names);
        if (qz::document::TqzPDBookmark* next = item->GetNext()) work.push_back(next);
        if (qz::document::TqzPDBookmark* child = item->GetFirstChild()) work.push_back(child);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qz::fuzz::Setup();
    qz::document::TqzPDDocument source;
    try {
        source.LoadDocument(qz::fuzz::MemoryFile(data, size));
    } catch (const std::exception&) {
        return 0;  // a clean refusal
    }
    try {
        WalkOutline(source);
    } catch (const std::exception&) {
        return 0;  // an outline refused as a whole
    }
    qz::document::TqzPDDocument target;
    target.LoadDocument(std::make_shared<qz::platform::MemoryStream>(FirstFile()));
    auto saved = std::make_shared<qz::platform::MemoryStream>();
    int32_t pages = 0;
    try {
        target.OpenMergeBatch();
        target.MergeDocs(source, qz::document::TqzPageInsertFlages::InsertAll);
        target.CloseMergeBatch(true);
        pages = target.GetPageCount();
        qz::document::TqzPDSaveFlags flags;
        flags.Full = true;
        target.SaveDocument(*saved, flags);
    } catch (const std::exception&) {
        return 0;  // refused while merging or saving: the source's fault
    }
    qz::document::TqzPDDocument again;
    try {
        saved->SetPosition(0);
        again.LoadDocument(saved);
        if (WalkPages(again) != pages) std::abort();
    } catch (const std::exception&) {
        std::abort();  // what we wrote must read back
    }
    return 0;
}
