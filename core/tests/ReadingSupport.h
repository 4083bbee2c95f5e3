#pragma once
// Support for the reading tests: a document stand-in that loads a file
// through the reader and keeps every object it fetched (as the base document
// does), token descriptions for lexer and parser tables, a page-tree walk
// and stream data readers.

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/MemoryStream.h"
#include "core/PDArray.h"
#include "core/PDBoolean.h"
#include "core/PDCollection.h"
#include "core/PDCommand.h"
#include "core/PDDictionary.h"
#include "core/PDIndirectRef.h"
#include "core/PDInteger.h"
#include "core/PDName.h"
#include "core/PDReader.h"
#include "core/PDReal.h"
#include "core/PDStream.h"
#include "core/PDString.h"
#include "core/ParentDocument.h"
#include "filters/Registration.h"
#include "platform/Streams.h"

namespace qz::core::testing {

// The filter chains of stream objects come from the filters library.
inline void EnsureFilters() {
    static const bool registered = (qz::filters::RegisterFilters(), true);
    (void)registered;
}

// Loads a file through a reader and answers references from an object
// table filled on demand. "Decryption" of an encrypted document upper-cases
// strings and reverses stream bytes, so tests can see what was decrypted.
class ReaderDocument : public TqzParentDocument {
  public:
    ReaderDocument() : FReader(this), FCollection(this) { EnsureFilters(); }

    void Load(const std::string& bytes) {
        FReader.LoadFromStream(std::make_shared<platform::MemoryStream>(bytes));
    }

    TqzPDBaseObject* GetObject(uint32_t objNumber) override {
        ++Requests;
        if (TqzPDBaseObject* object = FCollection.GetObject(objNumber)) return object;
        auto fetched = FReader.Fetch(objNumber);
        if (!fetched) return nullptr;
        return FCollection.Add(std::move(fetched));
    }
    bool IsObjectWritten(uint32_t) override { return false; }
    bool GetIsEncrypted() override { return Encrypted; }
    bool HasUserEncryptionSettings() override { return false; }
    bool IsUserEncryptionEnabled() override { return false; }
    TqzPDDictionary* GetDocInfo() override { return nullptr; }
    std::string EncryptForOutput(const std::string& bytes, uint32_t, uint32_t) override {
        return bytes;
    }
    std::string DecryptString(const std::string& bytes, uint32_t objNumber,
                              uint32_t genNumber) override {
        std::string out = "[" + std::to_string(objNumber) + "," + std::to_string(genNumber) + "]";
        for (char c : bytes)
            out.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
        return out;
    }
    TqzStreamPtr MakeDecryptStream(TqzStreamPtr raw, uint32_t, uint32_t) override {
        std::string bytes;
        raw->Reset();
        for (int c; (c = raw->GetChar()) >= 0;) bytes.insert(bytes.begin(), static_cast<char>(c));
        return std::make_shared<TqzMemoryStream>(bytes);
    }

    TqzPDReader& Reader() { return FReader; }
    TqzPDXRef& XRef() { return *FReader.GetXRef(); }
    TqzPDDictionary* Trailer() {
        return FReader.GetXRef() ? FReader.GetXRef()->GetTrailorDict() : nullptr;
    }
    TqzPDDictionary* Root() {
        TqzPDBaseObject* root = Trailer() ? Trailer()->LookUp("Root") : nullptr;
        return root && root->IsDict() ? static_cast<TqzPDDictionary*>(root) : nullptr;
    }

    // The page dictionaries reached from /Root /Pages through /Kids, in
    // order; a node met twice is not entered again.
    std::vector<TqzPDDictionary*> Pages() {
        std::vector<TqzPDDictionary*> pages;
        TqzPDDictionary* root = Root();
        if (!root) return pages;
        std::vector<TqzPDBaseObject*> stack{root->LookUp("Pages")};
        std::set<TqzPDBaseObject*> seen;
        while (!stack.empty()) {
            TqzPDBaseObject* node = stack.back();
            stack.pop_back();
            if (!node || !node->IsDict() || !seen.insert(node).second) continue;
            auto* dict = static_cast<TqzPDDictionary*>(node);
            if (dict->IsDict("Page")) {
                pages.push_back(dict);
                continue;
            }
            TqzPDBaseObject* kids = dict->LookUp("Kids");
            if (!kids || !kids->IsArray()) continue;
            auto* array = static_cast<TqzPDArray*>(kids);
            for (int32_t i = array->GetLength() - 1; i >= 0; --i) stack.push_back(array->Get(i));
        }
        return pages;
    }

    bool Encrypted = false;
    int32_t Requests = 0;

  private:
    TqzPDReader FReader;
    TqzPDCollection FCollection;
};

// Everything a stream yields from its start.
inline std::string ReadAll(TqzStream& stream) {
    stream.Reset();
    std::string out;
    uint8_t block[4096];
    for (int32_t got; (got = stream.Read(block, sizeof block)) > 0;)
        out.append(reinterpret_cast<char*>(block), static_cast<size_t>(got));
    return out;
}

// A stream object's decoded data; "<no stream>" for anything else.
inline std::string StreamData(TqzPDBaseObject* object) {
    if (!object || !object->IsStream() || !static_cast<TqzPDStream*>(object)->GetStream())
        return "<no stream>";
    return ReadAll(*static_cast<TqzPDStream*>(object)->GetStream());
}

// A short text for a value or token: "int 12", "real -0.5", "name A",
// "str a(b)c", "hex 41", "cmd obj", "ref 12 0", "bool true", "null",
// "array 3", "dict 2", "stream", "error", "eof".
inline std::string Describe(const TqzPDBaseObject* o) {
    if (!o) return "none";
    if (o->IsInteger())
        return "int " + std::to_string(static_cast<const TqzPDInteger*>(o)->GetValue());
    if (o->IsReal()) {
        char text[64];
        std::snprintf(text, sizeof text, "%g", static_cast<const TqzPDReal*>(o)->GetValue());
        return std::string("real ") + text;
    }
    if (o->IsName()) return "name " + static_cast<const TqzPDName*>(o)->GetValue();
    if (o->IsString()) {
        const auto* s = static_cast<const TqzPDString*>(o);
        return (s->IsHexString() ? "hex " : "str ") + s->GetString();
    }
    if (o->IsCommand()) return "cmd " + static_cast<const TqzPDCommand*>(o)->Value();
    if (o->IsIndirectRef())
        return "ref " + std::to_string(o->GetObjNumber()) + " " + std::to_string(o->GetGenNumber());
    if (o->IsBoolean())
        return static_cast<const TqzPDBoolean*>(o)->GetValue() ? "bool true" : "bool false";
    if (o->IsNull()) return "null";
    if (o->IsArray())
        return "array " + std::to_string(static_cast<const TqzPDArray*>(o)->GetLength());
    if (o->IsStream()) return "stream";
    if (o->IsDict())
        return "dict " + std::to_string(static_cast<const TqzPDDictionary*>(o)->GetLength());
    if (o->IsError()) return "error";
    if (o->IsEOF()) return "eof";
    return "?";
}

}  // namespace qz::core::testing
