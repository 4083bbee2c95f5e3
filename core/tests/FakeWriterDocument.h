#pragma once
// A document stand-in for the writer tests: an object table keyed by number,
// a trailer whose /Root, /Info and /Encrypt lead into it, settable save
// options, signing switches and services, and an "encryption" that shows the
// key numbers and the plain bytes. It owns every object put into it.
// FakeSigningService stands in for the signature services.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "core/PDDictionary.h"
#include "core/PDIndirectRef.h"
#include "core/WriterDocument.h"
#include "platform/Streams.h"

namespace qz::core::testing {

class FakeWriterDocument : public TqzWriterDocument {
public:
    FakeWriterDocument() : FTrailer(std::make_unique<TqzPDDictionary>(this)) {
        FOptions.Header = "%PDF-1.4\r\n";
        FOptions.Full = true;
    }
    ~FakeWriterDocument() override = default;

    // Puts `object` in the table under its own number and returns it.
    template <typename T>
    T* Put(std::unique_ptr<T> object) {
        T* raw = object.get();
        FObjects[object->GetObjNumber()] = std::move(object);
        return raw;
    }
    // A new indirect dictionary of this document, in the table.
    TqzPDDictionary* NewDict(uint32_t number) { return Put(std::make_unique<TqzPDDictionary>(this, number, 0)); }
    // Sets trailer /key to a reference to object `number`.
    void SetTrailerRef(const std::string& key, uint32_t number) {
        FTrailer->SetKeyValue(key, std::make_unique<TqzPDIndirectRef>(number, 0));
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
    bool HasUserEncryptionSettings() override { return false; }
    bool IsUserEncryptionEnabled() override { return false; }
    TqzPDDictionary* GetDocInfo() override { return AsDict(FTrailer->LookUp("Info")); }
    std::string EncryptForOutput(const std::string& bytes, uint32_t objNumber, uint32_t genNumber) override {
        return "{" + std::to_string(objNumber) + "," + std::to_string(genNumber) + ":" + bytes + "}";
    }

    TqzPDSaveOptions GetSaveOptions() override { return FOptions; }
    void SetSaveOptions(const TqzPDSaveOptions& options) override { FOptions = options; }
    bool GetSignDoc() override { return SignDoc; }
    bool GetIsSigned() override { return Signed; }
    TqzSignature& GetSignature() override { return FSignature; }
    TqzSigningService* GetSigningService() override { return Service; }
    TqzPDDictionary* GetDocRoot() override { return AsDict(FTrailer->LookUp("Root")); }
    TqzPDBaseObject* GetEncrypt() override { return FTrailer->LookUp("Encrypt"); }
    TqzPDDictionary* GetEncryptionDict() override { return EncryptionDict; }
    TqzPDDictionary* GetTrailer() override { return FTrailer.get(); }
    TqzPDReader* GetReader() override { return Reader; }
    std::string GetPassword() override { return "secret"; }

    TqzPDSaveOptions& Options() { return FOptions; }

    bool Encrypted = false;
    bool SignDoc = false;
    bool Signed = false;
    TqzSigningService* Service = nullptr;
    TqzPDDictionary* EncryptionDict = nullptr;
    TqzPDReader* Reader = nullptr;

private:
    static TqzPDDictionary* AsDict(TqzPDBaseObject* object) {
        return object && object->IsDict() ? static_cast<TqzPDDictionary*>(object) : nullptr;
    }

    std::map<uint32_t, std::unique_ptr<TqzPDBaseObject>> FObjects;
    std::unique_ptr<TqzPDDictionary> FTrailer;
    TqzPDSaveOptions FOptions;
    TqzSignature FSignature;
};

// Signs by handing back fixed bytes and keeps what it was asked to sign.
class FakeSigningService : public TqzSigningService {
public:
    bool FindSignatureDictionary(platform::Stream& output, const std::string& password, uint32_t& objNumber,
                                 uint32_t& genNumber) override {
        EXPECT_GT(output.Size(), 0);
        Password = password;
        if (!Placeholder) return false;
        objNumber = Placeholder->GetObjNumber();
        genNumber = 0;
        return true;
    }
    std::string Sign(const std::string& signedBytes, const TqzSignature& /*settings*/) override {
        SignedBytes = signedBytes;
        return Result;
    }

    TqzPDDictionary* Placeholder = nullptr;
    std::string Result = std::string("\x30\x82\x01\x00\xAB\xCD", 6);
    std::string SignedBytes;
    std::string Password;
};

}  // namespace qz::core::testing
