#pragma once
// GoogleTest glue for tests that use the outside tools: skip (or, in CI,
// fail) when a tool is missing, and compare renders page by page with a
// readable failure message. Header-only, so qz_testing itself does not link
// GoogleTest.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "testing/Tools.h"

namespace qz::testing {

// scripts/deps installs every tool, so on CI a missing one is a broken set-up
// that must show, not a silent skip.
inline bool MissingToolsMustFail() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && *ci != '\0' && std::string(ci) != "0" && std::string(ci) != "false";
}

// The first of `names` that is not installed, or "".
inline std::string FirstMissingTool(std::initializer_list<const char*> names) {
    for (const char* n : names) {
        if (!HaveTool(n)) return n;
    }
    return {};
}

// Pages first..last of `a` against the same count of pages of `b` starting at
// `firstB`, rendered at `dpi`: success when the counts match and every mean
// grey difference is within `tolerance`.
inline ::testing::AssertionResult SameRenders(const std::filesystem::path& a,
                                              const std::filesystem::path& b,
                                              int32_t firstA = 1, int32_t lastA = 0,
                                              int32_t firstB = 1,
                                              int32_t dpi = kDefaultRenderDpi,
                                              double tolerance = kRenderTolerance) {
    try {
        const auto ra = RenderPagesGray(a, dpi, firstA, lastA);
        const int32_t lastB = lastA > 0 ? firstB + (lastA - firstA) : 0;
        const auto rb = RenderPagesGray(b, dpi, firstB, lastB);
        if (ra.size() != rb.size()) {
            return ::testing::AssertionFailure()
                   << a << " gave " << ra.size() << " pages, " << b << " gave " << rb.size();
        }
        for (size_t i = 0; i < ra.size(); ++i) {
            const double d = MeanGreyDifference(ra[i], rb[i]);
            if (d > tolerance) {
                return ::testing::AssertionFailure()
                       << "page " << firstA + static_cast<int32_t>(i) << " of " << a
                       << " differs from page " << firstB + static_cast<int32_t>(i) << " of " << b
                       << ": mean grey difference " << d << " > " << tolerance;
            }
        }
        return ::testing::AssertionSuccess();
    } catch (const std::exception& e) {
        return ::testing::AssertionFailure() << e.what();
    }
}

// qpdf --check passes with no warning.
inline ::testing::AssertionResult QpdfCheckPasses(const std::filesystem::path& path) {
    const QpdfCheckResult r = QpdfCheck(path);
    if (r.ok) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "qpdf --check " << path << " exit " << r.exitCode << ":\n" << r.output;
}

// Whether python3 can import pikepdf, the outside reader of several tests.
inline bool HavePikepdf() {
    static const bool have = RunProgram({"/usr/bin/python3", "-c", "import pikepdf"}).Succeeded();
    return have;
}

}  // namespace qz::testing

// At the top of a test: QZ_REQUIRE_TOOLS("qpdf", "pdftoppm");
#define QZ_REQUIRE_TOOLS(...)                                                            \
    do {                                                                                 \
        const std::string qzMissingTool_ = ::qz::testing::FirstMissingTool({__VA_ARGS__}); \
        if (!qzMissingTool_.empty()) {                                                   \
            if (::qz::testing::MissingToolsMustFail()) {                                 \
                FAIL() << qzMissingTool_ << " is not installed (scripts/deps installs it)"; \
            }                                                                            \
            GTEST_SKIP() << qzMissingTool_ << " is not installed";                       \
        }                                                                                \
    } while (false)

// At the top of a test that reads its output with pikepdf.
#define QZ_REQUIRE_PIKEPDF()                                                                   \
    do {                                                                                       \
        if (!::qz::testing::HavePikepdf()) {                                                   \
            if (::qz::testing::MissingToolsMustFail()) FAIL() << "python3-pikepdf is missing"; \
            GTEST_SKIP() << "python3-pikepdf is not installed";                                \
        }                                                                                      \
    } while (false)
