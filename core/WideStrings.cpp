#include "core/WideStrings.h"

#include <utility>

#include "platform/CodePage.h"

namespace qz::core {

int32_t TqzWideStringList::AddObject(const std::u16string& s, TqzObject* borrowed) {
    FWideStringList.push_back(TWString{s, borrowed, nullptr});
    return GetCount() - 1;
}

int32_t TqzWideStringList::AddObject(const std::u16string& s, std::unique_ptr<TqzObject> owned) {
    TqzObject* raw = owned.get();
    FWideStringList.push_back(TWString{s, raw, std::move(owned)});
    return GetCount() - 1;
}

void TqzWideStringList::Insert(int32_t index, const std::u16string& s) {
    if (index < 0) return;
    const auto at = static_cast<size_t>(index);
    if (at < FWideStringList.size()) {
        FWideStringList.insert(FWideStringList.begin() + index, TWString{s, nullptr, nullptr});
        return;
    }
    while (FWideStringList.size() < at) Add(u"");
    Add(s);
}

std::u16string TqzWideStringList::Get(int32_t index) const {
    if (index < 0 || index >= GetCount()) return {};
    return FWideStringList[static_cast<size_t>(index)].FString;
}

void TqzWideStringList::Put(int32_t index, const std::u16string& s) {
    if (index < 0 || index > GetCount()) return;
    if (index == GetCount()) {
        Add(s);
        return;
    }
    FWideStringList[static_cast<size_t>(index)].FString = s;
}

TqzObject* TqzWideStringList::qzGetObject(int32_t index) const {
    if (index < 0 || index >= GetCount()) return nullptr;
    return FWideStringList[static_cast<size_t>(index)].FObject;
}

void TqzWideStringList::PutObject(TWString& item, TqzObject* object, std::unique_ptr<TqzObject> owned) {
    if (item.FObject == object) return;
    item.FObject = object;
    item.FOwned = std::move(owned);  // destroys the previous owned object
}

void TqzWideStringList::qzPutObject(int32_t index, TqzObject* borrowed) {
    if (index < 0 || index > GetCount()) return;
    if (index == GetCount()) {
        AddObject(u"", borrowed);
        return;
    }
    PutObject(FWideStringList[static_cast<size_t>(index)], borrowed, nullptr);
}

void TqzWideStringList::qzPutObject(int32_t index, std::unique_ptr<TqzObject> owned) {
    if (index < 0 || index > GetCount()) return;
    if (index == GetCount()) {
        AddObject(u"", std::move(owned));
        return;
    }
    TqzObject* raw = owned.get();
    PutObject(FWideStringList[static_cast<size_t>(index)], raw, std::move(owned));
}

void TqzWideStringList::Delete(int32_t index) {
    if (index < 0 || index >= GetCount()) return;
    auto owned = std::move(FWideStringList[static_cast<size_t>(index)].FOwned);
    FWideStringList.erase(FWideStringList.begin() + index);
    owned.reset();
}

void TqzWideStringList::Clear() {
    std::vector<TWString> items;
    items.swap(FWideStringList);
    for (auto& item : items) item.FOwned.reset();
}

void TqzWideStringList::ExchangeItems(int32_t index1, int32_t index2) {
    std::swap(FWideStringList[static_cast<size_t>(index1)], FWideStringList[static_cast<size_t>(index2)]);
}

void TqzWideStringList::Swap(int32_t index1, int32_t index2) {
    if (index1 < 0 || index2 < 0 || index1 >= GetCount() || index2 >= GetCount()) return;
    ExchangeItems(index1, index2);
}

int32_t TqzWideStringList::IndexOf(const std::u16string& s) const {
    for (size_t i = 0; i < FWideStringList.size(); ++i) {
        if (FWideStringList[i].FString == s) return static_cast<int32_t>(i);
    }
    return -1;
}

int32_t TqzWideStringList::IndexOfIgnoreCase(const std::u16string& s) const {
    const auto fold = [](char16_t c) -> char16_t {
        return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 0x20) : c;
    };
    for (size_t i = 0; i < FWideStringList.size(); ++i) {
        const auto& item = FWideStringList[i].FString;
        if (item.size() != s.size()) continue;
        bool equal = true;
        for (size_t k = 0; k < s.size() && equal; ++k) equal = fold(item[k]) == fold(s[k]);
        if (equal) return static_cast<int32_t>(i);
    }
    return -1;
}

void TqzWideStringList::CustomSort(const TqzWideStringListSortCompare& compare) {
    if (GetCount() > 1) QuickSort(0, GetCount() - 1, compare);
}

void TqzWideStringList::QuickSort(int32_t left, int32_t right,
                                  const TqzWideStringListSortCompare& compare) {
    // Partitioning as usual; the smaller part is sorted recursively and the
    // larger one by the loop, so the depth stays logarithmic.
    while (left < right) {
        int32_t i = left;
        int32_t j = right;
        int32_t p = left + (right - left) / 2;
        do {
            while (compare(*this, i, p) < 0) ++i;
            while (compare(*this, j, p) > 0) --j;
            if (i <= j) {
                if (i != j) ExchangeItems(i, j);
                if (p == i) {
                    p = j;
                } else if (p == j) {
                    p = i;
                }
                ++i;
                --j;
            }
        } while (i <= j);
        if (j - left < right - i) {
            if (left < j) QuickSort(left, j, compare);
            left = i;
        } else {
            if (i < right) QuickSort(i, right, compare);
            right = j;
        }
    }
}

void TqzWideStringList::SaveToStream(platform::Stream& stream) const {
    std::string bytes;
    for (const auto& item : FWideStringList) {
        for (char16_t c : item.FString) {
            bytes.push_back(static_cast<char>(c & 0xFF));
            bytes.push_back(static_cast<char>(c >> 8));
        }
        bytes.append("\r\0\n\0", 4);
    }
    if (!bytes.empty()) stream.WriteString(bytes);
}

void TqzWideStringList::SaveToStreamA(platform::Stream& stream) const {
    std::string bytes;
    for (const auto& item : FWideStringList) {
        bytes += platform::Utf16ToCodePage(item.FString);
        bytes += "\r\n";
    }
    if (!bytes.empty()) stream.WriteString(bytes);
}

void TqzWideStringList::SaveToFile(const std::filesystem::path& fileName) const {
    platform::FileStream file(fileName, platform::FileMode::Create);
    SaveToStream(file);
    file.Flush();
}

}  // namespace qz::core
