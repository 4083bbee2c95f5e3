#include "component/PageRange.h"

#include <string_view>

#include "component/ComponentTypes.h"
#include "core/PDBaseExceptions.h"

namespace qz::component {

namespace {

// The pages First to Last of one entry.
struct PageSpan {
    int32_t first;
    int32_t last;
};

// Control characters count as blanks, as in the string list's comma text.
// NUL does not: it would end the text there, and a range cut short must not
// pass for the whole one.
bool IsBlank(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 1 && u <= ' ';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// Splits `text` as a string list's comma text: entries end at a comma or a
// blank; a comma at the very end adds an empty entry; an entry that starts
// with a double quote runs to the closing one (a doubled quote is one quote
// of the entry; an unclosed quote runs to the end).
std::vector<std::string> SplitCommaText(std::string_view text) {
    std::vector<std::string> entries;
    const size_t n = text.size();
    size_t i = 0;
    const auto skipBlanks = [&] {
        while (i < n && IsBlank(text[i])) ++i;
    };
    skipBlanks();
    while (i < n) {
        std::string entry;
        if (text[i] == '"') {
            for (++i; i < n; ++i) {
                if (text[i] != '"') {
                    entry += text[i];
                } else if (i + 1 < n && text[i + 1] == '"') {
                    entry += '"';
                    ++i;
                } else {
                    ++i;
                    break;
                }
            }
        } else {
            const size_t start = i;
            while (i < n && !IsBlank(text[i]) && text[i] != ',') ++i;
            entry.assign(text.substr(start, i - start));
        }
        entries.push_back(std::move(entry));
        skipBlanks();
        if (i < n && text[i] == ',') {
            if (i + 1 == n) entries.emplace_back();
            ++i;
            skipBlanks();
        }
    }
    return entries;
}

PageSpan ParseEntry(const std::string& entry, const std::string& text, int32_t pageCount) {
    const size_t dash = entry.find('-');
    if (dash == std::string::npos) {
        int32_t page = 0;
        if (!core::TryStrToInt(entry, page)) throw EInvalidPageError::Range(text);
        CheckPageNumber(page, 1, pageCount);
        return {page, page};
    }
    const std::string_view firstPart = Trim(std::string_view(entry).substr(0, dash));
    const std::string_view lastPart = Trim(std::string_view(entry).substr(dash + 1));
    int32_t first = 1;
    int32_t last = pageCount;
    if (!firstPart.empty() && !core::TryStrToInt(firstPart, first)) throw EInvalidPageError::Range(text);
    if (!lastPart.empty() && !core::TryStrToInt(lastPart, last)) throw EInvalidPageError::Range(text);
    if (first < 1 || first > last || last > pageCount) throw EInvalidPageError::Range(entry);
    return {first, last};
}

// Adds the span's pages to the running total; ExLimitExceeded past the limit,
// checked before anything is allocated for them.
void Count(const PageSpan& span, uint64_t& total) {
    total += static_cast<uint64_t>(static_cast<int64_t>(span.last) - span.first + 1);
    if (total > kMaxPageNumbers) {
        throw core::ExLimitExceeded("A page range may list at most " + std::to_string(kMaxPageNumbers) + " pages");
    }
}

}  // namespace

EInvalidPageError EInvalidPageError::Range(const std::string& text) {
    return EInvalidPageError(FormatStatus(kRangeFormat, text));
}

EInvalidPageError EInvalidPageError::Number(int32_t number) {
    return EInvalidPageError(FormatStatus(kNumberFormat, std::to_string(number)));
}

void CheckPageNumber(int32_t pageNumber, int32_t first, int32_t last) {
    if (pageNumber < first || pageNumber > last) throw EInvalidPageError::Number(pageNumber);
}

TqzPageNumbers GetPages(const std::string& pageRange, int32_t pageCount) {
    std::vector<PageSpan> spans;
    uint64_t total = 0;
    if (pageRange.empty()) {
        // "All pages" of a document without any is not a range to act on.
        if (pageCount < 1) throw EInvalidPageError::Range(pageRange);
        spans.push_back({1, pageCount});
        Count(spans.back(), total);
    } else {
        for (const std::string& entry : SplitCommaText(pageRange)) {
            spans.push_back(ParseEntry(entry, pageRange, pageCount));
            Count(spans.back(), total);
        }
        // Blanks alone list nothing; taken for "all pages" they would let a
        // stray blank delete a whole document.
        if (spans.empty()) throw EInvalidPageError::Range(pageRange);
    }
    TqzPageNumbers pages;
    pages.reserve(static_cast<size_t>(total));
    for (const PageSpan& span : spans) {
        // Counted in 64 bits: the last page may be the largest 32-bit number.
        for (int64_t page = span.first; page <= span.last; ++page) pages.push_back(static_cast<int32_t>(page));
    }
    return pages;
}

}  // namespace qz::component
