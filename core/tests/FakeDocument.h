#pragma once
// A document stand-in for the object-model tests: an object table keyed by
// number, switchable encryption, and an "encryption" whose output shows the
// key numbers and the plain bytes, so tests can read what was encrypted how.

#include <map>
#include <memory>
#include <string>

#include "core/PDBaseObject.h"
#include "core/PDXRef.h"
#include "core/MemoryStream.h"
#include "core/ParentDocument.h"

namespace qz::core::testing {

class FakeDocument : public TqzParentDocument {
public:
    // Puts `object` in the table under its own number and returns it.
    template <typename T>
    T* Put(std::unique_ptr<T> object) {
        T* raw = object.get();
        FObjects[object->GetObjNumber()] = std::move(object);
        return raw;
    }
    TqzPDBaseObject* GetObject(uint32_t objNumber) override {
        const auto it = FObjects.find(objNumber);
        return it == FObjects.end() ? nullptr : it->second.get();
    }
    bool IsObjectWritten(uint32_t objNumber) override {
        const TqzPDBaseObject* object = GetObject(objNumber);
        return object && object->GetIsWritten();
    }
    bool GetIsEncrypted() override { return Encrypted; }
    bool HasUserEncryptionSettings() override { return HasSettings; }
    bool IsUserEncryptionEnabled() override { return SettingsEnabled; }
    TqzPDDictionary* GetDocInfo() override { return nullptr; }
    std::string EncryptForOutput(const std::string& bytes, uint32_t objNumber, uint32_t genNumber) override {
        return "{" + std::to_string(objNumber) + "," + std::to_string(genNumber) + ":" + bytes + "}";
    }

    bool Encrypted = false;
    bool HasSettings = false;
    bool SettingsEnabled = false;

private:
    std::map<uint32_t, std::unique_ptr<TqzPDBaseObject>> FObjects;
};

// Saves `object` into a new memory stream and returns the bytes written.
inline std::string SaveText(TqzPDBaseObject& object, TqzPDXRef& xref, bool onlyChanged = false,
                            int64_t* written = nullptr) {
    TqzMemoryStream out;
    const int64_t n = object.SaveToStream(out, onlyChanged, xref);
    if (written) *written = n;
    return out.Bytes();
}

inline std::string SaveText(TqzPDBaseObject& object, bool onlyChanged = false) {
    TqzPDXRef xref;
    return SaveText(object, xref, onlyChanged);
}

}  // namespace qz::core::testing
