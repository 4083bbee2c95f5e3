// Page operations of the document component: deleting, moving, rotating,
// extracting, appending and inserting pages, and page geometry.

#include <algorithm>
#include <functional>

#include "component/ComponentExceptions.h"
#include "component/CustomPDFDocument.h"
#include "component/MeasurementUnits.h"
#include "component/OnePageTemplate.h"
#include "core/PDRect.h"
#include "document/PDModelException.h"
#include "document/PDPage.h"

namespace qz::component {

namespace {

int32_t RotationDegrees(TqzRotationAngle angle) {
    switch (angle) {
        case TqzRotationAngle::ra0: return 0;
        case TqzRotationAngle::raCW90:
        case TqzRotationAngle::raACW270: return 90;
        case TqzRotationAngle::raCW180:
        case TqzRotationAngle::raACW180: return 180;
        case TqzRotationAngle::raCW270:
        case TqzRotationAngle::raACW90: return 270;
    }
    return 0;
}

core::TqzRect BoxInUnit(const core::TqzPDRect* box, TqzMeasurementUnit unit) {
    if (box == nullptr) return {};
    return {ConvertToMU(unit, box->GetLeft()), ConvertToMU(unit, box->GetTop()), ConvertToMU(unit, box->GetRight()),
            ConvertToMU(unit, box->GetBottom())};
}

core::TqzRect RectInPoints(const core::TqzRect& rect, TqzMeasurementUnit unit) {
    return {ConvertToPDFUnit(unit, rect.Left), ConvertToPDFUnit(unit, rect.Top), ConvertToPDFUnit(unit, rect.Right),
            ConvertToPDFUnit(unit, rect.Bottom)};
}

}  // namespace

// ---- state and helpers ----

bool TqzCustomPDFDocument::HasLoadedDocument() const { return FIsLoaded && HasUsableDocument(); }

document::TqzPDDocument& TqzCustomPDFDocument::RequireLoadedDocument(const char* operation) {
    if (!HasLoadedDocument()) throw ENoDocumentError(operation);
    return *FPDDoc;
}

void TqzCustomPDFDocument::StartEmptyDocument() {
    if (FBlankDoc == nullptr) FBlankDoc = std::make_unique<platform::MemoryStream>(OnePageTemplate());
    LoadFromStream(*FBlankDoc, "");
    FPDDoc->DeletePage(1);
}

std::unique_ptr<TqzCustomPDFDocument> TqzCustomPDFDocument::LoadPageSource(const std::filesystem::path& fileName) {
    auto source = std::make_unique<TqzCustomPDFDocument>();
    source->OnPassword = OnPassword;
    // A handler that gave up leaves no pages to take.
    if (!source->LoadFromFile(fileName, "")) throw document::ExPasswordRequired();
    source->RequirePagesOfRepairedFile();
    return source;
}

void TqzCustomPDFDocument::CopyPages(document::TqzPDDocument& source, const TqzPageNumbers& pages,
                                     int32_t afterPage, TqzCustomPDFDocument& reporter, TqzOperation operation) {
    document::TqzPDDocument& target = *FPDDoc;
    const bool fromItself = &source == &target;
    const auto total = static_cast<int32_t>(pages.size());
    int32_t done = 0;
    while (done < total) {
        // Consecutive pages go in one insertion, so that what they share is
        // copied once. Pages of this very document move as copies go in
        // before them: those are taken one at a time, from where they are now.
        int32_t end = done + 1;
        if (!fromItself) {
            while (end < total && pages[static_cast<size_t>(end)] - 1 == pages[static_cast<size_t>(end) - 1]) ++end;
        }
        int32_t first = pages[static_cast<size_t>(done)];
        if (fromItself && first > afterPage) first += done;
        target.InsertPages(afterPage + done, source, first, end - done, document::TqzPageInsertFlages::InsertAll);
        for (int32_t k = done; k < end; ++k) reporter.Progress(operation, k + 1, total);
        done = end;
    }
}

template <class Change>
void TqzCustomPDFDocument::ChangePages(const char* operation, const std::string& pageRange, Change&& change) {
    document::TqzPDDocument& model = RequireLoadedDocument(operation);
    for (const int32_t number : GetPages(pageRange, model.GetPageCount())) {
        if (document::TqzPDPage* page = model.GetPage(number)) change(*page);
    }
}

// ---- deleting, moving, rotating ----

void TqzCustomPDFDocument::DeletePages(const std::string& pageRange) {
    document::TqzPDDocument& model = RequireLoadedDocument("Deleting pages");
    TqzPageNumbers pages = GetPages(pageRange, model.GetPageCount());
    // Highest first, each once: deleting a page renumbers those after it,
    // and a page listed twice is still one page.
    std::sort(pages.begin(), pages.end(), std::greater<>());
    pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
    for (size_t i = 0; i < pages.size();) {
        size_t end = i + 1;
        while (end < pages.size() && pages[end] + 1 == pages[end - 1]) ++end;
        model.DeletePages(pages[end - 1], pages[i]);
        i = end;
    }
    Status(FormatStatus(kStatusPagesDeleted, std::to_string(pages.size())));
}

void TqzCustomPDFDocument::MovePage(int32_t pageToMove, int32_t moveToPageNumber) {
    document::TqzPDDocument& model = RequireLoadedDocument("Moving a page");
    const int32_t count = model.GetPageCount();
    CheckPageNumber(pageToMove, 1, count);
    CheckPageNumber(moveToPageNumber, 1, count);
    model.MovePage(moveToPageNumber - 1, pageToMove);
}

void TqzCustomPDFDocument::RotatePages(const std::string& pageRange, TqzRotationAngle angle) {
    const int32_t degrees = RotationDegrees(angle);
    ChangePages("Rotating pages", pageRange, [degrees](document::TqzPDPage& page) { page.SetRotate(degrees); });
}

// ---- extracting, appending, inserting ----

void TqzCustomPDFDocument::ExtractPagesTo(TqzCustomPDFDocument& target, const std::string& pageRange) {
    if (&target == this) throw platform::Exception("A component cannot extract pages into itself");
    document::TqzPDDocument& model = RequireLoadedDocument("Extracting pages");
    const TqzPageNumbers pages = GetPages(pageRange, model.GetPageCount());
    Status(kStatusExtractingPages);
    target.StartEmptyDocument();
    target.CopyPages(model, pages, 0, *this, TqzOperation::opExtract);
}

void TqzCustomPDFDocument::ExtractPagesTo(const std::filesystem::path& fileName, const std::string& pageRange) {
    // Checked here too, so that no file is written for nothing.
    RequireLoadedDocument("Extracting pages");
    TqzCustomPDFDocument extract;
    ExtractPagesTo(extract, pageRange);
    extract.SaveToFile(fileName, false, false);
}

void TqzCustomPDFDocument::AppendPagesFrom(TqzCustomPDFDocument& other, const std::string& pageRange) {
    document::TqzPDDocument& source = other.RequireLoadedDocument("Appending pages from a component");
    Status(kStatusAppendingPages);
    const TqzPageNumbers pages = GetPages(pageRange, source.GetPageCount());
    if (!HasLoadedDocument()) StartEmptyDocument();
    CopyPages(source, pages, FPDDoc->GetPageCount(), *this, TqzOperation::opAppend);
}

void TqzCustomPDFDocument::AppendPagesFrom(const std::filesystem::path& fileName, const std::string& pageRange) {
    Status(kStatusAppendingPages);
    std::unique_ptr<TqzCustomPDFDocument> source = LoadPageSource(fileName);
    const TqzPageNumbers pages = GetPages(pageRange, source->GetPageCount());
    // Before the source is kept: starting afresh releases the kept sources.
    if (!HasLoadedDocument()) StartEmptyDocument();
    FAppendPagesObjList.push_back(std::move(source));
    CopyPages(*FAppendPagesObjList.back()->FPDDoc, pages, FPDDoc->GetPageCount(), *this, TqzOperation::opAppend);
}

void TqzCustomPDFDocument::InsertPagesFrom(TqzCustomPDFDocument& other, const std::string& pages,
                                           int32_t insertAfterPage) {
    document::TqzPDDocument& source = other.RequireLoadedDocument("Inserting pages from a component");
    Status(kStatusInsertingPages);
    const TqzPageNumbers listed = GetPages(pages, source.GetPageCount());
    CheckPageNumber(insertAfterPage, 0, GetPageCount());
    if (!HasLoadedDocument()) StartEmptyDocument();
    CopyPages(source, listed, insertAfterPage, *this, TqzOperation::opInsert);
}

void TqzCustomPDFDocument::InsertPagesFrom(const std::filesystem::path& fileName, const std::string& pages,
                                           int32_t insertAfterPage) {
    Status(kStatusInsertingPages);
    std::unique_ptr<TqzCustomPDFDocument> source = LoadPageSource(fileName);
    const TqzPageNumbers listed = GetPages(pages, source->GetPageCount());
    CheckPageNumber(insertAfterPage, 0, GetPageCount());
    if (!HasLoadedDocument()) StartEmptyDocument();
    FInsertDocObjList.push_back(std::move(source));
    CopyPages(*FInsertDocObjList.back()->FPDDoc, listed, insertAfterPage, *this, TqzOperation::opInsert);
}

// ---- geometry ----

core::TqzRect TqzCustomPDFDocument::GetPageMediaBox(int32_t pageNo) {
    return GetPageMediaBox(FMeasurementUnit, pageNo);
}

core::TqzRect TqzCustomPDFDocument::GetPageMediaBox(TqzMeasurementUnit unit, int32_t pageNo) {
    if (!HasLoadedDocument()) return {};
    CheckPageNumber(pageNo, 1, FPDDoc->GetPageCount());
    return BoxInUnit(FPDDoc->GetPage(pageNo)->GetMediaBox(), unit);
}

core::TqzRect TqzCustomPDFDocument::GetPageCropBox(int32_t pageNo, TqzMeasurementUnit unit) {
    if (!HasLoadedDocument()) return {};
    CheckPageNumber(pageNo, 1, FPDDoc->GetPageCount());
    return BoxInUnit(FPDDoc->GetPage(pageNo)->GetCropBox(), unit);
}

int32_t TqzCustomPDFDocument::GetPageRotate(int32_t pageNo) {
    if (!HasLoadedDocument()) return -1;
    CheckPageNumber(pageNo, 1, FPDDoc->GetPageCount());
    return FPDDoc->GetPage(pageNo)->GetRotate();
}

TqzPageSize TqzCustomPDFDocument::GetPageSize(int32_t pageNo, TqzMeasurementUnit unit) {
    if (!HasLoadedDocument()) return {};
    CheckPageNumber(pageNo, 1, FPDDoc->GetPageCount());
    document::TqzPDPage& page = *FPDDoc->GetPage(pageNo);
    const document::TqzPageSize size = page.GetPageSize();
    // A rotation that is not a quarter turn is not one readers apply; the
    // page shows upright.
    const bool quarterTurn = page.GetRotate() % 180 == 90;
    const double width = quarterTurn ? size.Height : size.Width;
    const double height = quarterTurn ? size.Width : size.Height;
    return {ConvertToMU(unit, width), ConvertToMU(unit, height)};
}

void TqzCustomPDFDocument::SetPageCropBox(const std::string& pageRange, const core::TqzRect& cropRect) {
    const core::TqzRect r = RectInPoints(cropRect, FMeasurementUnit);
    ChangePages("Setting crop boxes", pageRange,
                [&r](document::TqzPDPage& page) { page.SetCropBox(r.Left, r.Top, r.Right, r.Bottom); });
}

void TqzCustomPDFDocument::SetPageMediaBox(const std::string& pageRange, const core::TqzRect& pageRect) {
    const core::TqzRect r = RectInPoints(pageRect, FMeasurementUnit);
    // A page without a media box gets one too: it needs one to be shown.
    ChangePages("Setting media boxes", pageRange,
                [&r](document::TqzPDPage& page) { page.SetMediaBox(r.Left, r.Top, r.Right, r.Bottom); });
}

void TqzCustomPDFDocument::SetPageTransitionEffect(const std::string& pageRange, float duration,
                                                   TqzTransitionEffect effect) {
    ChangePages("Setting transition effects", pageRange,
                [&](document::TqzPDPage& page) { page.SetPageTransitionEffect(effect, duration); });
}

}  // namespace qz::component
