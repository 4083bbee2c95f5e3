#pragma once
// Running content through the interpreter in tests: bare content streams
// over memory (no document, no resources), and pages of small PDF files
// built with PdfBuilder.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "content/ContentSetup.h"
#include "content/device/PDContentStream.h"
#include "content/device/PDContents.h"
#include "content/tests/RecordingDevice.h"
#include "core/MemoryStream.h"
#include "core/PDDictionary.h"
#include "core/PDStream.h"
#include "document/PDDocument.h"
#include "filters/Registration.h"
#include "document/PDPage.h"
#include "platform/Streams.h"
#include "testing/PdfBuilder.h"

namespace qz::content::testing {

// The device's log after `content` ran as page content without a document.
inline std::vector<std::string> Interpret(const std::string& content, RecordingDevice& device) {
    filters::RegisterFilters();
    core::TqzPDStream stream(std::make_shared<core::TqzMemoryStream>(content),
                             std::make_unique<core::TqzPDDictionary>());
    TqzPDContentStream interpreter(nullptr, nullptr, &stream);
    interpreter.Display(device, 72, 72, 1, 0, nullptr, nullptr);
    return device.Log;
}

// The log lines of the given operations only.
inline std::vector<std::string> Interpret(const std::string& content, const std::vector<std::string>& names) {
    RecordingDevice device;
    Interpret(content, device);
    return device.Lines(names);
}

// A loaded document of one page: object 1 catalog, 2 pages, 3 the page
// with `pageExtra` in its dictionary (resources, contents ...). Further
// objects are set on the builder before Load.
class OnePageFile {
public:
    explicit OnePageFile(const std::string& pageExtra) {
        RegisterContentFactories();
        Builder.Set(1, "<< /Type /Catalog /Pages 2 0 R >>");
        Builder.Set(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
        Builder.Set(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] " + pageExtra + " >>");
    }
    OnePageFile& Load() {
        Document.LoadDocument(std::make_shared<platform::MemoryStream>(Builder.Write()));
        return *this;
    }
    document::TqzPDPage& Page() { return *Document.GetPage(1); }
    TqzPDContents* Contents() { return GetContents(Page()); }
    // Displays the page's content on `device` at 72 dpi.
    void Display(RecordingDevice& device) {
        TqzPDContents* contents = Contents();
        ASSERT_NE(contents, nullptr);
        contents->Display(device, 72, 72, 1, 0, nullptr, Page().GetCropBox(), false);
    }

    qz::testing::PdfBuilder Builder;
    document::TqzPDDocument Document;
};

}  // namespace qz::content::testing
