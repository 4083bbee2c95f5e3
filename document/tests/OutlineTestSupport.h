#pragma once
// Outline fixtures for the outline tests: documents whose outline is given
// as a list of items, and readers of an outline's links that look at the
// dictionaries alone (not through the model under test).

#include <algorithm>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/PDDictionary.h"
#include "document/tests/DocumentTestSupport.h"
#include "testing/PdfBuilder.h"

namespace qz::document {

// One outline item, depth first: level 1 for top items. `extra` is PDF text
// added to its dictionary ("/Dest [4 0 R /Fit]").
struct OutlineItem {
    int32_t level;
    std::string title;
    std::string extra;
};

// The object of page k of MinimalDocument, as a reference.
inline std::string PageRef(int32_t page) {
    return std::to_string(2 * page + 2) + " 0 R";
}

// MinimalDocument(pages) with an outline of `items`: every item indirect,
// linked both ways, with /Parent and its number of children as /Count; the
// catalog gets `catalogExtra` too. Returns the builder, the outline
// dictionary's number in `outlineNumber`.
inline qz::testing::PdfBuilder OutlineDocument(int32_t pages, const std::vector<OutlineItem>& items,
                                               const std::string& catalogExtra = "",
                                               int32_t* outlineNumber = nullptr) {
    qz::testing::PdfBuilder b = qz::testing::MinimalDocument(pages);
    const int32_t root = b.Reserve();
    std::vector<int32_t> numbers;
    for (size_t i = 0; i < items.size(); ++i) numbers.push_back(b.Reserve());
    // Parents by level; children in order.
    std::vector<int32_t> parent(items.size(), -1);
    std::vector<std::vector<size_t>> children(items.size() + 1);  // last: the root's
    std::vector<size_t> open;
    for (size_t i = 0; i < items.size(); ++i) {
        while (!open.empty() && items[open.back()].level >= items[i].level) open.pop_back();
        parent[i] = open.empty() ? -1 : static_cast<int32_t>(open.back());
        children[open.empty() ? items.size() : open.back()].push_back(i);
        open.push_back(i);
    }
    const auto ref = [&](size_t i) { return std::to_string(numbers[i]) + " 0 R"; };
    const auto links = [&](const std::vector<size_t>& kids) {
        if (kids.empty()) return std::string();
        return " /First " + ref(kids.front()) + " /Last " + ref(kids.back()) + " /Count " +
               std::to_string(kids.size());
    };
    for (size_t i = 0; i < items.size(); ++i) {
        const int32_t up = parent[i];
        const auto& siblings = children[up < 0 ? items.size() : static_cast<size_t>(up)];
        const size_t at =
            static_cast<size_t>(std::find(siblings.begin(), siblings.end(), i) - siblings.begin());
        // An item's own /Title in `extra` stands alone.
        const bool titled = items[i].extra.find("/Title") != std::string::npos;
        std::string text = "<<" + (titled ? "" : " /Title (" + items[i].title + ")") + " /Parent " +
                           (up < 0 ? std::to_string(root) + " 0 R" : ref(static_cast<size_t>(up)));
        if (at > 0) text += " /Prev " + ref(siblings[at - 1]);
        if (at + 1 < siblings.size()) text += " /Next " + ref(siblings[at + 1]);
        text += links(children[i]) + " " + items[i].extra + " >>";
        b.Set(numbers[i], text);
    }
    b.Set(root, "<< /Type /Outlines" + links(children[items.size()]) + " >>");
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R /Outlines " + std::to_string(root) + " 0 R " +
                 catalogExtra + " >>");
    if (outlineNumber != nullptr) *outlineNumber = root;
    return b;
}

// The titles of the chain of `key` links from the item `first` (say /First
// then /Next), read from the dictionaries; a loop or a chain longer than
// `limit` ends with "...".
inline std::vector<std::string> ChainTitles(core::TqzPDBaseObject* first, const char* key,
                                            size_t limit = 64) {
    std::vector<std::string> titles;
    std::unordered_set<const core::TqzPDBaseObject*> seen;
    for (core::TqzPDBaseObject* item = first; item != nullptr && item->IsDict();
         item = static_cast<core::TqzPDDictionary*>(item)->LookUp(key)) {
        if (!seen.insert(item).second || titles.size() == limit) {
            titles.push_back("...");
            break;
        }
        titles.push_back(TextOf(static_cast<core::TqzPDDictionary*>(item)->LookUp("Title")));
    }
    return titles;
}

// The children of `parent` as its dictionaries link them: forward from
// /First along /Next, and backward from /Last along /Prev, reversed.
inline std::vector<std::string> Forward(core::TqzPDDictionary& parent) {
    return ChainTitles(parent.LookUp("First"), "Next");
}
inline std::vector<std::string> Backward(core::TqzPDDictionary& parent) {
    std::vector<std::string> titles = ChainTitles(parent.LookUp("Last"), "Prev");
    return {titles.rbegin(), titles.rend()};
}

}  // namespace qz::document
