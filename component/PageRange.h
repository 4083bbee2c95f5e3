#pragma once
// The page-range text that the component's page operations take, and the
// error they raise for a bad range or page number.
//
// A range text lists entries separated by commas, or by blanks outside
// double quotes (a quoted entry keeps its blanks; a doubled quote inside it
// stands for one). Each entry is a page number, or First-Last split at its
// first "-", with First 1 and Last the page count when left out. Entries add
// their pages in the order given, duplicates kept. The empty text means
// every page.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/PDFUtils.h"

namespace qz::component {

// 1-based page numbers, in the order a range lists them.
using TqzPageNumbers = std::vector<int32_t>;

// The most page numbers one range may list (64 MiB of them): many times the
// pages of any real document, while "1-" repeated over a huge document can
// never exhaust the memory. More raises core::ExLimitExceeded.
inline constexpr size_t kMaxPageNumbers = size_t{1} << 24;

// A bad range text or page number; nothing was changed when it is raised.
class EInvalidPageError : public core::EPDFException {
public:
    static constexpr const char* kRangeFormat = "Invalid page range (%s)";
    static constexpr const char* kNumberFormat = "Invalid page number (%d)";

    // "Invalid page range (<text>)".
    static EInvalidPageError Range(const std::string& text);
    // "Invalid page number (<number>)".
    static EInvalidPageError Number(int32_t number);

private:
    explicit EInvalidPageError(const std::string& message) : core::EPDFException(message) {}
};

// The pages `pageRange` lists in a document of `pageCount` pages.
// EInvalidPageError "Invalid page range (%s)" for an entry that is not a
// number or range (with the whole text), for bounds out of order or past the
// document (with the entry), and for a text that lists nothing (blanks only,
// or the empty text of a document without pages); "Invalid page number (%d)"
// for a single page outside 1 to `pageCount`.
TqzPageNumbers GetPages(const std::string& pageRange, int32_t pageCount);

// EInvalidPageError "Invalid page number (%d)" unless `pageNumber` is
// between `first` and `last`.
void CheckPageNumber(int32_t pageNumber, int32_t first, int32_t last);

}  // namespace qz::component
