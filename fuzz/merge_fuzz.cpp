// The whole road of a merge: the input is loaded as a source, its pages are
// inserted after a small fixed document with everything they bring, the
// result is saved to memory, and what was saved is loaded again. A result
// that does not load again, or lost pages, is a fault, not a refusal.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qz::fuzz::Setup();
    qz::document::TqzPDDocument source;
    try {
        source.LoadDocument(qz::fuzz::MemoryFile(data, size));
    } catch (const std::exception&) {
        return 0;  // a clean refusal
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
