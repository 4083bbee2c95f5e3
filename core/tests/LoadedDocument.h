#pragma once
// A small document over the reader, for the writer tests and benchmark: it
// loads a file, keeps every object it fetches in an object table (so each is
// read once and references resolve to one instance), and answers the writer
// from the trailer. It does not decrypt: encrypted files are the base
// document's. It owns the reader, the table and the trailer copy.

#include <memory>
#include <string>

#include "core/PDCollection.h"
#include "core/PDDictionary.h"
#include "core/PDReader.h"
#include "core/WriterDocument.h"
#include "platform/Streams.h"

namespace qz::core::testing {

class LoadedDocument : public TqzWriterDocument {
public:
    explicit LoadedDocument(std::shared_ptr<platform::Stream> file) : FReader(this), FCollection(this) {
        FReader.LoadFromStream(std::move(file));
        std::unique_ptr<TqzPDBaseObject> trailer = FReader.GetTrailer();
        if (!trailer || !trailer->IsDict()) throw ExInvalidPDFFile();
        FTrailer.reset(static_cast<TqzPDDictionary*>(trailer.release()));
        FTrailer->SetParentDoc(this);
        FOptions.Header = "%PDF-1.4\r\n";
        FOptions.Full = true;
    }

    TqzPDBaseObject* GetObject(uint32_t objNumber) override {
        if (TqzPDBaseObject* held = FCollection.GetObject(objNumber)) return held;
        std::unique_ptr<TqzPDBaseObject> fetched = FReader.Fetch(objNumber);
        if (!fetched || fetched->IsDirect()) return nullptr;
        return FCollection.Add(std::move(fetched));
    }
    bool IsObjectWritten(uint32_t objNumber) override {
        const TqzPDBaseObject* object = FCollection.GetObject(objNumber);
        return object && object->GetIsWritten();
    }
    bool GetIsEncrypted() override { return false; }
    bool HasUserEncryptionSettings() override { return false; }
    bool IsUserEncryptionEnabled() override { return false; }
    TqzPDDictionary* GetDocInfo() override { return AsDict(FTrailer->LookUp("Info")); }
    std::string EncryptForOutput(const std::string& bytes, uint32_t, uint32_t) override { return bytes; }

    TqzPDSaveOptions GetSaveOptions() override { return FOptions; }
    void SetSaveOptions(const TqzPDSaveOptions& options) override { FOptions = options; }
    bool GetSignDoc() override { return SignDoc; }
    bool GetIsSigned() override { return Signed; }
    TqzSignature& GetSignature() override { return FSignature; }
    TqzSigningService* GetSigningService() override { return Service; }
    TqzPDDictionary* GetDocRoot() override {
        TqzPDDictionary* root = AsDict(FTrailer->LookUp("Root"));
        if (!root) throw ExBadRootObj();
        return root;
    }
    TqzPDBaseObject* GetEncrypt() override { return FTrailer->LookUp("Encrypt"); }
    TqzPDDictionary* GetEncryptionDict() override { return nullptr; }
    TqzPDDictionary* GetTrailer() override { return FTrailer.get(); }
    TqzPDReader* GetReader() override { return &FReader; }
    std::string GetPassword() override { return {}; }

    TqzPDSaveOptions& Options() { return FOptions; }
    void SetIncremental() {
        FOptions.Incremental = true;
        FOptions.Full = false;
    }

    bool SignDoc = false;
    bool Signed = false;
    TqzSigningService* Service = nullptr;

private:
    static TqzPDDictionary* AsDict(TqzPDBaseObject* object) {
        return object && object->IsDict() ? static_cast<TqzPDDictionary*>(object) : nullptr;
    }

    TqzPDReader FReader;
    TqzPDCollection FCollection;
    std::unique_ptr<TqzPDDictionary> FTrailer;
    TqzPDSaveOptions FOptions;
    TqzSignature FSignature;
};

}  // namespace qz::core::testing
