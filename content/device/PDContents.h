#pragma once
// TqzPDContents: a page's /Contents, one content stream or an array of them.
// It hands out the page's content streams as content-stream elements, adds
// streams to the page, and displays the page's whole content on a device.
//
// The page makes and owns it (document::TqzPDPage::GetContents). It borrows
// the /Contents object, the document and the page; it owns its
// content-stream elements.

#include <cstdint>
#include <memory>
#include <vector>

#include "core/PDElement.h"

namespace qz::core {
class TqzPDRect;
class TqzPDStream;
}  // namespace qz::core

namespace qz::document {
class TqzPDDocument;
class TqzPDPage;
}  // namespace qz::document

namespace qz::content {

class TqzPDContentStream;
class TqzPDExportDevice;

class TqzPDContents : public core::TqzPDElement {
public:
    // `ABaseObject` is the resolved /Contents value (or none); the parent
    // element is the page.
    TqzPDContents(document::TqzPDDocument* AParentDoc, core::TqzPDElement* AParentElement,
                  core::TqzPDBaseObject* ABaseObject);
    ~TqzPDContents() override;
    TqzPDContents(const TqzPDContents&) = delete;
    TqzPDContents& operator=(const TqzPDContents&) = delete;

    // The array's length for an array, else 1 (also when absent).
    int32_t GetStreamCount();
    // The element of stream `Index` (0-based; entries that are not streams
    // are skipped, so indexes count the streams); none past the last.
    TqzPDContentStream* GetStream(int32_t Index);
    // Puts `Stream` (whose stream object is an indirect object of the
    // document) into the page's contents: first, last, or at `Index` (>= 0,
    // clamped to the end). One stream becomes a new indirect array; absent
    // contents take nothing.
    void AddStream(std::unique_ptr<TqzPDContentStream> Stream, bool AtFirst, int32_t Index);
    // A new content stream over the whole content: an array's streams are
    // decoded and joined, each followed by a line end so that tokens never
    // run together across streams.
    std::unique_ptr<TqzPDContentStream> GetCSForRendering();
    // Draws the content: StartPage, a clip to a valid crop box, SaveState,
    // the content, RestoreState, EndPage (also when a step raises; the
    // exception then passes on). Annotations are not drawn yet.
    void Display(TqzPDExportDevice& ExportDev, double hDPI, double vDPI, int32_t PageNum, int32_t Rotate,
                 core::TqzPDRect* Box, core::TqzPDRect* CropBox, bool RenderAnnots);

    document::TqzPDDocument* GetDocument() const { return FDocument; }

private:
    void FillStreamList();

    document::TqzPDDocument* FDocument;
    bool FListFilled = false;
    std::vector<std::unique_ptr<TqzPDContentStream>> FContentStrmList;
    std::vector<std::unique_ptr<core::TqzPDStream>> FCSObjList;
};

// The page's contents element (made on first need by the page); none for a
// page without /Contents.
TqzPDContents* GetContents(document::TqzPDPage& page);

}  // namespace qz::content
