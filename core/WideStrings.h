#pragma once
// TqzWideStringList: an ordered list of UTF-16 strings, each with an optional
// object. The list owns an object it was handed as a unique_ptr and destroys
// it when its item is removed, replaced or cleared; an object handed as a
// plain pointer is only borrowed. Indexes count from 0; reads outside the
// list give "" or none, writes outside it do nothing.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/Object.h"
#include "platform/Streams.h"

namespace qz::core {

class TqzWideStringList;

// Negative, zero or positive as the item at index1 sorts before, equal to or
// after the item at index2.
using TqzWideStringListSortCompare =
    std::function<int(TqzWideStringList& list, int32_t index1, int32_t index2)>;

class TqzWideStringList : public TqzObject {
public:
    TqzWideStringList() = default;
    explicit TqzWideStringList(bool ownsObjects) : FOwnsObject(ownsObjects) {}
    ~TqzWideStringList() override { Clear(); }
    TqzWideStringList(const TqzWideStringList&) = delete;
    TqzWideStringList& operator=(const TqzWideStringList&) = delete;

    int32_t GetCount() const { return static_cast<int32_t>(FWideStringList.size()); }
    bool GetOwnsObjects() const { return FOwnsObject; }

    int32_t Add(const std::u16string& s) { return AddObject(s, nullptr); }
    int32_t AddObject(const std::u16string& s, TqzObject* borrowed);
    int32_t AddObject(const std::u16string& s, std::unique_ptr<TqzObject> owned);
    // Index beyond the count pads with empty items so that `s` lands at it.
    void Insert(int32_t index, const std::u16string& s);
    std::u16string Get(int32_t index) const;
    // Index equal to the count appends.
    void Put(int32_t index, const std::u16string& s);
    TqzObject* qzGetObject(int32_t index) const;
    void qzPutObject(int32_t index, TqzObject* borrowed);
    void qzPutObject(int32_t index, std::unique_ptr<TqzObject> owned);
    void Delete(int32_t index);
    // Removes every item, destroying owned objects in item order.
    void Clear();
    // No range check: callers check.
    void ExchangeItems(int32_t index1, int32_t index2);
    void Swap(int32_t index1, int32_t index2);
    int32_t IndexOf(const std::u16string& s) const;
    // Compares the letters A to Z without regard to case, nothing else.
    int32_t IndexOfIgnoreCase(const std::u16string& s) const;
    virtual void CustomSort(const TqzWideStringListSortCompare& compare);
    void QuickSort(int32_t left, int32_t right, const TqzWideStringListSortCompare& compare);

    // Each item as UTF-16LE code units followed by CR LF; no byte-order mark.
    void SaveToStream(platform::Stream& stream) const;
    // Each item in the 8-bit code page followed by the bytes 13 10.
    void SaveToStreamA(platform::Stream& stream) const;
    void SaveToFile(const std::filesystem::path& fileName) const;

private:
    struct TWString {
        std::u16string FString;
        TqzObject* FObject = nullptr;
        std::unique_ptr<TqzObject> FOwned;  // set when the list owns FObject
    };
    void PutObject(TWString& item, TqzObject* object, std::unique_ptr<TqzObject> owned);

    std::vector<TWString> FWideStringList;
    bool FOwnsObject = true;
};

}  // namespace qz::core
