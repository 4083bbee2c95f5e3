#pragma once
// TqzWriterDocument: what the writer reads from the document it writes: the
// save options, the signing switches and settings, the catalog, information,
// encryption and trailer dictionaries, the reader of the loaded file and its
// password. The base document implements it; the writer only borrows it.
// TqzPDSaveOptions and TqzSignature are the plain records both sides share;
// TqzSigningService is how the writer reaches the signature services.

#include <cstdint>
#include <string>

#include "core/ParentDocument.h"
#include "platform/Streams.h"

namespace qz::core {

class TqzPDBaseObject;
class TqzPDDictionary;
class TqzPDReader;

// The options of one save. All False and the header empty until the document
// sets them.
struct TqzPDSaveOptions {
    // The header line, line break included ("%PDF-1.4" CR LF).
    std::string Header;
    bool Incremental = false;
    bool Full = false;
    bool Copy = false;
    bool Linearize = false;
    bool UniDirectional = false;
    bool KeepModDate = false;
    bool UnCompressed = false;
    bool Compressed = false;
};

enum class TqzSigCertLevel : uint8_t { clNoChange, clFillFormFields, clInsertAnnots };

// The settings of a signature applied while writing; filled by the signature
// field, read by the writer.
class TqzSignature {
public:
    std::string Author;
    std::string ContactInfo;
    std::string Location;
    std::string Reason;
    std::string Filter;
    std::string PFXFileName;
    std::string PFXPassWord;
    std::string Subfilter;
    TqzSigCertLevel CerificationLevel = TqzSigCertLevel::clNoChange;
    // Days since 1899-12-30, the time as the fraction; 0 for no date.
    double DateTime = 0;
    bool Visible = false;
};

// The signature services the writer calls while it fills a signature
// placeholder. Failures raise; nothing is reported through empty results.
class TqzSigningService {
public:
    virtual ~TqzSigningService() = default;
    // Loads the written file (with the document's password) and finds the
    // placeholder signature dictionary; its object number and generation, or
    // False when the file has none.
    virtual bool FindSignatureDictionary(platform::Stream& output, const std::string& password,
                                         uint32_t& objNumber, uint32_t& genNumber) = 0;
    // The PKCS #7 signed-data message (DER bytes) over `signedBytes`, made
    // with the certificate that `settings` name.
    virtual std::string Sign(const std::string& signedBytes, const TqzSignature& settings) = 0;
};

class TqzWriterDocument : public TqzParentDocument {
public:
    virtual TqzPDSaveOptions GetSaveOptions() = 0;
    virtual void SetSaveOptions(const TqzPDSaveOptions& options) = 0;
    // The document carries a signature placeholder to be filled when written.
    virtual bool GetSignDoc() = 0;
    // The placeholder was written by an earlier save.
    virtual bool GetIsSigned() = 0;
    virtual TqzSignature& GetSignature() = 0;
    // The signature services, or none where they are not available.
    virtual TqzSigningService* GetSigningService() = 0;

    // The catalog; raises when the document has none.
    virtual TqzPDDictionary* GetDocRoot() = 0;
    // The encryption dictionary the document was loaded with, or none.
    virtual TqzPDBaseObject* GetEncrypt() = 0;
    // The encryption dictionary to write for this save (an indirect object
    // of the document, which keeps it), or none for unencrypted output.
    virtual TqzPDDictionary* GetEncryptionDict() = 0;
    // The trailer dictionary, kept by the document.
    virtual TqzPDDictionary* GetTrailer() = 0;
    // The reader of the loaded file, or none for a document not loaded.
    virtual TqzPDReader* GetReader() = 0;
    // The password that opened the file.
    virtual std::string GetPassword() = 0;
};

}  // namespace qz::core
