#pragma once
// TqzDict: the body of a PDF dictionary: its entries in order (keys held
// decoded, without "/"; duplicates possible), the values, which it owns, and
// the document through which references are resolved (borrowed).
// TqzPDDictionary: the dictionary object over a body. A clone is deep.
// Lookups search from the last entry to the first, byte for byte, then again
// ignoring ASCII case; a removal sorts the entries (ignoring ASCII case,
// stable), and entries added later follow in the order of addition.

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/PDBaseObject.h"

namespace qz::core {

class TqzParentDocument;
class TqzPDIndirectRef;

class TqzDict : public TqzObject {
public:
    using Entry = std::pair<std::string, std::unique_ptr<TqzPDBaseObject>>;

    explicit TqzDict(TqzParentDocument* parentDoc = nullptr) : FParentDoc(parentDoc) {}
    ~TqzDict() override;
    TqzDict(const TqzDict&) = delete;
    TqzDict& operator=(const TqzDict&) = delete;

    TqzParentDocument* GetParentDoc() const { return FParentDoc; }
    void SetParentDoc(TqzParentDocument* doc) { FParentDoc = doc; }
    std::vector<Entry>& Entries() { return FEntries; }
    const std::vector<Entry>& Entries() const { return FEntries; }
    // The index the lookup rule finds for `key`, or -1.
    int32_t Find(std::string_view key) const;
    // Sorts the entries ignoring ASCII case (stable) and removes the one for
    // `key` (an exact match preferred among keys equal but for case).
    // Returns the removed value, or none.
    std::unique_ptr<TqzPDBaseObject> Remove(std::string_view key);
    void Sort();

private:
    TqzParentDocument* FParentDoc;
    std::vector<Entry> FEntries;
};

class TqzPDDictionary : public TqzPDBaseObject {
public:
    // A new empty body of `parentDoc`. Dictionaries start changed.
    explicit TqzPDDictionary(TqzParentDocument* parentDoc = nullptr, uint32_t objNumber = kDirectObject,
                             uint32_t genNumber = kDirectObject);
    // A dictionary object over an existing body.
    explicit TqzPDDictionary(std::shared_ptr<TqzDict> dict, uint32_t objNumber = kDirectObject,
                             uint32_t genNumber = kDirectObject);

    int32_t GetLength() const { return static_cast<int32_t>(FDict->Entries().size()); }
    // The key and the stored value at a position ("" and none out of range).
    std::string GetKey(int32_t index) const;
    TqzPDBaseObject* GetValueRefObj(int32_t index) const;
    // The value at a position, a reference resolved through the document.
    TqzPDBaseObject* GetValue(int32_t index) const;
    // The value for `key`, borrowed, a reference resolved (none when absent or
    // unresolvable).
    TqzPDBaseObject* LookUp(std::string_view key) const;
    // The stored value for `key`, unresolved.
    TqzPDBaseObject* LookupRefObj(std::string_view key) const;
    // Caller-owned copies of the above, or a new null when absent.
    std::unique_ptr<TqzPDBaseObject> LookUpClone(std::string_view key) const;
    std::unique_ptr<TqzPDBaseObject> LookupRefObjClone(std::string_view key) const;
    // Appends the entry (no check for an existing key) and marks changed.
    void Add(std::string_view key, std::unique_ptr<TqzPDBaseObject> value);
    // Appends under a name key's text; marks changed in any case.
    void Add(const TqzPDBaseObject& key, std::unique_ptr<TqzPDBaseObject> value);
    // Remove, then Add: the new entry goes to the end.
    void SetKeyValue(std::string_view key, std::unique_ptr<TqzPDBaseObject> value);
    // Removes and frees the entry the lookup rule finds for `key`.
    void Remove(std::string_view key);
    // Removes under a name key's text; marks changed in any case.
    void Remove(const TqzPDBaseObject& key);
    // Replace the key text / the value at a position; neither marks changed.
    // SetValue hands the previous value back to the caller.
    void SetKey(int32_t index, std::string_view key);
    std::unique_ptr<TqzPDBaseObject> SetValue(int32_t index, std::unique_ptr<TqzPDBaseObject> value);
    TqzParentDocument* GetParentDoc() const { return FDict->GetParentDoc(); }
    void SetParentDoc(TqzParentDocument* doc) { FDict->SetParentDoc(doc); }
    const std::shared_ptr<TqzDict>& GetDict() const { return FDict; }
    void SetRetainObjNumber(bool value) { FRetainObjNumber = value; }
    // Appends the references held by the values, depth first in entry order.
    void GetIndirectRefs(std::vector<TqzPDIndirectRef*>& list) const;

    bool IsDict() const override { return true; }
    // /Type (unresolved) is a name equal to `dictType`; without /Type, /Types.
    bool IsDict(std::string_view dictType) const override;
    // A new body with clones of the values, sorted; same numbers; changed.
    std::unique_ptr<TqzPDBaseObject> Clone() const override;
    // Takes the source's numbers and appends copies of its entries.
    void Assign(const TqzPDBaseObject& source) override;
    void MoveChildrenTo(std::vector<std::unique_ptr<TqzPDBaseObject>>& out) override;

protected:
    TqzSaveStep SaveStep(TqzSaveContext& context, TqzSaveFrame& frame) override;

private:
    uint32_t ChildValidNumber() const { return IsDirect() ? FValidObjectNumber : FObjNumber; }
    TqzPDBaseObject* Resolve(TqzPDBaseObject* value) const;

    std::shared_ptr<TqzDict> FDict;
    bool FRetainObjNumber = false;
};

// A signature dictionary: /Type /Sig or /DocTimeStamp, or one with a
// /ByteRange, which only signatures have (a signature field's value may lack
// /Type). Its /Contents is stored unencrypted in an encrypted file. Only the
// stored values are looked at: nothing is fetched.
bool IsSignatureDictionary(const TqzPDDictionary& dict);

}  // namespace qz::core
