// Content-stream interpretation: the input is a page's content stream, read
// with resources that reach every kind of handler (a form that draws itself
// and an image, a graphics state with a soft mask, colour spaces, a font),
// on a device that records nothing but draws forms inside one another, as
// a rendering device does.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "content/ContentSetup.h"
#include "content/device/PDContentStream.h"
#include "content/device/PDContents.h"
#include "content/device/PDExportDevice.h"
#include "content/device/PDImage.h"
#include "content/device/PDXObject.h"
#include "content/state/PDState.h"
#include "core/PDBaseObject.h"
#include "core/PDDictionary.h"
#include "core/PDMatrix.h"
#include "core/PDRect.h"
#include "core/PDStream.h"
#include "document/PDDocument.h"
#include "document/PDPage.h"
#include "fuzz/FuzzSupport.h"
#include "testing/PdfBuilder.h"

namespace {

using namespace qz;

// The page's file around the fuzz data, built once: objects 1 to 3 are the
// catalog, the page tree and the page; the content stream is written last.
testing::PdfBuilder PageAround() {
    testing::PdfBuilder b;
    b.Add("<< /Type /Catalog /Pages 2 0 R >>");
    b.Add("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Add("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Resources 4 0 R /Contents 12 0 R >>");
    b.Add("<< /XObject << /Fm 5 0 R /Im 6 0 R >> /ExtGState << /GS 7 0 R /GA 9 0 R >>"
          " /ColorSpace << /CS0 10 0 R /CS1 11 0 R /CS2 /DeviceCMYK >>"
          " /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >>");
    // A form that draws itself and the image: a device that follows forms
    // must stop somewhere.
    b.AddStream("<< /Type /XObject /Subtype /Form /BBox [0 0 10 10] /Matrix [0.5 0 0 0.5 1 1]"
                " /Resources << /XObject << /Fm 5 0 R /Im 6 0 R >> >> >>",
                "q 0 0 m 10 10 l S 1 0 0 rg 0 0 5 5 re f /Im Do /Fm Do Q");
    b.AddStream("<< /Type /XObject /Subtype /Image /Width 2 /Height 2 /BitsPerComponent 8"
                " /ColorSpace /DeviceRGB >>",
                std::string("\xff\x00\x00\x00\xff\x00\x00\x00\xff\xff\xff\xff", 12));
    b.Add("<< /Type /ExtGState /CA 0.5 /ca 0.25 /SMask << /S /Luminosity /G 8 0 R >> >>");
    b.AddStream("<< /Type /XObject /Subtype /Form /BBox [0 0 200 200]"
                " /Group << /S /Transparency /CS /DeviceGray >>"
                " /Resources << /XObject << /Fm 5 0 R >> /ExtGState << /GS 7 0 R >> >> >>",
                "0.5 g 0 0 200 200 re f /GS gs /Fm Do");
    b.Add("<< /Type /ExtGState /CA 1 /ca 1 /SMask /None >>");
    b.Add("[/Indexed /DeviceRGB 1 <ff000000ff00>]");
    b.Add("[/Separation /Spot /DeviceRGB << /FunctionType 2 /Domain [0 1] /C0 [1 1 1] /C1 [0 0 1] /N 1 >>]");
    return b;
}

// Records nothing; reads each image's data through its filters, and draws
// each form's content where the form is drawn, in a copy of the state moved
// by the form's matrix, as a renderer does.
class FormFollowingDevice : public content::TqzPDExportDevice {
public:
    void DrawImage(content::TqzPDState&, content::TqzPDImage& Image) override {
        core::TqzPDStream* stream = Image.GetStream();
        if (stream == nullptr || stream->GetStream() == nullptr) return;
        qz::fuzz::ReadBounded(*stream->GetStream());
    }

    void DrawFormXObject(content::TqzPDState& State, content::TqzPDForm& Form) override {
        std::unique_ptr<content::TqzPDState> copy = State.Copy();
        if (const core::TqzPDMatrix* matrix = Form.GetMatrix()) copy->ConcatCTM(*matrix);
        if (const core::TqzPDRect* box = Form.GetBBox()) {
            copy->MoveTo(box->GetLeft(), box->GetTop());
            copy->LineTo(box->GetRight(), box->GetBottom());
            copy->ClearPath();
        }
        content::TqzPDContentStream stream(Form.GetDocument(), &Form, Form.GetBaseObject());
        stream.DispalyObject(*this, *copy, Form.GetResources());
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const testing::PdfBuilder around = [] {
        qz::fuzz::Setup();
        content::RegisterContentFactories();
        return PageAround();
    }();
    testing::PdfBuilder builder = around;
    builder.AddStream("<< >>", std::string(reinterpret_cast<const char*>(data), size));

    document::TqzPDDocument doc;
    try {
        doc.LoadDocument(std::make_shared<platform::MemoryStream>(builder.Write()));
    } catch (const std::exception&) {
        return 0;  // the page around the data is sound; nothing to see here
    }
    document::TqzPDPage* page = doc.GetPage(1);
    content::TqzPDContents* contents = page != nullptr ? content::GetContents(*page) : nullptr;
    if (contents == nullptr) return 0;
    // As a page is drawn (errors end the content quietly) and as a form is
    // (errors pass to the caller, with the states unwound).
    FormFollowingDevice device;
    try {
        contents->Display(device, 72, 72, 1, 0, page->GetMediaBox(), page->GetCropBox(), false);
    } catch (const std::exception&) {
    }
    try {
        content::TqzPDState state(72, 72, 0, page->GetCropBox());
        contents->GetCSForRendering()->DispalyObject(device, state, page->GetResource());
    } catch (const std::exception&) {
    }
    return 0;
}
