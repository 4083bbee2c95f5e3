#pragma once
// Fixtures and observers shared by the component tests: PDF files whose
// pages carry markers that pdftotext reads back, encrypted variants made by
// qpdf, and recorders for the component's events and messages.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "component/CustomPDFDocument.h"
#include "testing/GTestSupport.h"
#include "testing/PdfBuilder.h"
#include "testing/TempDir.h"
#include "testing/Tools.h"

namespace qz::component {

namespace fs = std::filesystem;

// A document of `pages` pages marked "<marker>-1" ... written to `name` in `dir`.
inline fs::path WriteMarkedPdf(const testing::TempDir& dir, const std::string& name, int32_t pages,
                               const std::string& marker) {
    return dir.Write(name, testing::MinimalDocument(pages, marker).Write());
}

// The markers of every page of `pdf`, read back by pdftotext page by page.
inline std::vector<std::string> PageMarkers(const fs::path& pdf) {
    std::vector<std::string> markers;
    const int32_t pages = testing::PdfInfoPages(pdf);
    for (int32_t page = 1; page <= pages; ++page) {
        std::string text = testing::PdfToText(pdf, page);
        const auto first = text.find_first_not_of(" \t\r\n\f");
        const auto last = text.find_last_not_of(" \t\r\n\f");
        markers.push_back(first == std::string::npos ? "" : text.substr(first, last - first + 1));
    }
    return markers;
}

// "<marker>-1" .. "<marker>-<pages>".
inline std::vector<std::string> Markers(const std::string& marker, int32_t pages) {
    std::vector<std::string> result;
    for (int32_t page = 1; page <= pages; ++page) result.push_back(marker + "-" + std::to_string(page));
    return result;
}

inline std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> result;
    for (const auto& part : parts) result.insert(result.end(), part.begin(), part.end());
    return result;
}

// `plain` encrypted by qpdf with these passwords, written beside it as `name`.
inline fs::path Encrypted(const testing::TempDir& dir, const fs::path& plain, const std::string& name,
                          testing::QpdfEncryption level, const std::string& userPassword = "",
                          const std::string& ownerPassword = "owner") {
    const fs::path out = dir.File(name);
    testing::QpdfTransform(plain, out, testing::QpdfEncryptArgs(userPassword, ownerPassword, level));
    return out;
}

// Everything the component reported, in order, as text.
struct EventLog {
    std::vector<std::string> events;

    void Attach(TqzCustomPDFDocument& component) {
        component.OnStatusMessage = [this](TqzCustomPDFDocument*, const std::string& text) {
            events.push_back("status: " + text);
        };
        component.OnOperationProgress = [this](TqzCustomPDFDocument*, TqzOperation operation, int32_t current,
                                               int32_t total) {
            events.push_back("progress " + std::to_string(static_cast<int>(operation)) + ": " +
                             std::to_string(current) + "/" + std::to_string(total));
        };
    }
    std::vector<std::string> Only(const std::string& prefix) const {
        std::vector<std::string> result;
        for (const auto& e : events)
            if (e.rfind(prefix, 0) == 0) result.push_back(e);
        return result;
    }
};

// A linked control that records the messages it receives.
class RecordingControl final : public TqzLinkedControl {
public:
    void Perform(uint32_t message, TqzCustomPDFDocument& /*component*/) override { messages.push_back(message); }
    std::vector<uint32_t> messages;
};

// The entries of a folder, names only, sorted.
inline std::vector<std::string> FolderEntries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

inline std::vector<std::string> Paths(std::initializer_list<fs::path> paths) {
    std::vector<std::string> result;
    for (const auto& p : paths) result.push_back(p.string());
    return result;
}

// Three marked files of one, two and three pages (markers A, B and C) in a
// folder of their own.
class ThreeMarkedFiles : public ::testing::Test {
protected:
    void SetUp() override {
        a_ = WriteMarkedPdf(dir_, "a.pdf", 1, "A");
        b_ = WriteMarkedPdf(dir_, "b.pdf", 2, "B");
        c_ = WriteMarkedPdf(dir_, "c.pdf", 3, "C");
    }
    testing::TempDir dir_{"qz-component"};
    fs::path a_, b_, c_;
};

}  // namespace qz::component
