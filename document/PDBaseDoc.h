#pragma once
// TqzPDBaseDoc: the file-level half of a loaded document. It owns the reader
// of the loaded file (cross-reference and trailer), the object table of every
// indirect object fetched or made, the writer during a save, the save
// options, and the encryption state: the settings read from /Encrypt, the
// security handler that checked the password and decrypts, and the user
// settings a save encrypts with. It keeps the catalog and the encryption
// dictionary out of the table (owned here) and borrows the information
// dictionary. The document model owns one base document per load; every
// container of the object core resolves references through GetObject.
//
// The object table lives until the base document is destroyed: model
// elements borrow objects in it, and objects the model made exist only
// there, so a save never frees it.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/Object.h"
#include "core/Stream.h"
#include "core/WriterDocument.h"
#include "filters/EncryptionSettings.h"
#include "platform/Streams.h"

namespace qz::core {
class TqzPDBaseObject;
class TqzPDCollection;
class TqzPDDictionary;
class TqzPDReader;
class TqzPDWriter;
}  // namespace qz::core

namespace qz::filters {
class DocumentSecurity;
}

namespace qz::document {

using core::TqzPDSaveOptions;
using core::TqzSigCertLevel;
using core::TqzSignature;

// The producer text a base document gives the information dictionary it
// makes for a file without one.
inline constexpr const char* kBaseDocProducer = "Veltrano Brevanto v 4.0";

class TqzPDBaseDoc : public core::TqzObject, public core::TqzWriterDocument {
public:
    static constexpr const char* kIncrementalReencryption =
        "An incremental update cannot change the encryption of an encrypted file";
    TqzPDBaseDoc();
    ~TqzPDBaseDoc() override;
    TqzPDBaseDoc(const TqzPDBaseDoc&) = delete;
    TqzPDBaseDoc& operator=(const TqzPDBaseDoc&) = delete;

    // ---- loading ----
    // Reads the cross-reference and trailer of `stream` (no body object is
    // fetched) and, for an encrypted file, checks `password` as owner, then
    // as user password: ExInvalidPassword when neither opens it. The stream
    // is shared with the reader for as long as objects are fetched. A second
    // load frees everything the first one read.
    void LoadDocument(std::shared_ptr<platform::Stream> stream, const std::string& password);
    // ExFileNotFound for a missing file, ExFileOpenError when it cannot be
    // opened; then loads from the opened file.
    void LoadDocument(const std::filesystem::path& fileName, const std::string& password);

    // ---- objects ----
    // The indirect object of that number: the catalog, encryption or
    // information dictionary, else the table, else the file (fetched once and
    // filed). None for a number the file does not hold or cannot read.
    core::TqzPDBaseObject* GetObject(uint32_t objNumber) override;
    // As GetObject, but an object not yet in the table is read for the
    // caller alone (`owned`) and not filed.
    core::TqzPDBaseObject* GetObjectForCopy(uint32_t objNumber,
                                            std::unique_ptr<core::TqzPDBaseObject>& owned) override;
    // Enters an indirect object in the table under its object number; the
    // table owns it from now on. Returns it, borrowed.
    core::TqzPDBaseObject* AddToCollection(std::unique_ptr<core::TqzPDBaseObject> object);
    // Gives `object` the next object number (the last plus one) and
    // generation 0 and enters it in the table. Returns it, borrowed.
    core::TqzPDBaseObject* AddNewObject(std::unique_ptr<core::TqzPDBaseObject> object);
    // The object table; none before the first object was added.
    core::TqzPDCollection* GetCollection() const { return FCollection.get(); }
    bool IsObjectWritten(uint32_t objNumber) override;
    // The highest object number in use: the cross-reference's, raised by
    // every object the model makes. New objects take this plus one.
    uint32_t GetLastObjectNumber() const;
    // ExLimitExceeded above core::kMaxObjectNumber.
    void SetLastObjectNumber(uint32_t value);

    // ---- the trailer's dictionaries ----
    // The trailer's /Root: ExBadRootObj "Catalog not found" when missing or
    // not a dictionary, ExNoPageTreeObj "No Page Entry in Catalog" when
    // /Pages is missing or leads to no dictionary.
    core::TqzPDDictionary* GetDocRoot() override;
    // The trailer's /Encrypt (as loaded), or none.
    core::TqzPDBaseObject* GetEncrypt() override;
    // The trailer's /Info; made (with /Producer kBaseDocProducer), numbered
    // and referenced from the trailer when the file has none.
    core::TqzPDDictionary* GetDocInfo() override;
    // The trailer, kept here; a full save drops /Prev from it.
    core::TqzPDDictionary* GetTrailer() override;
    // The first object of the file when it is a linearization dictionary.
    core::TqzPDDictionary* GetLinearized();
    // The two strings of the trailer's /ID; left as passed when absent.
    void GetDocID(std::string& instanceId, std::string& permanentId);
    // Sets the trailer's /ID to two hexadecimal strings.
    void SetDocID(const std::string& instanceId, const std::string& permanentId);
    // The catalog's /AcroForm /NeedAppearances, False when missing.
    bool GetNeedAppearance();

    core::TqzPDReader* GetReader() override { return FReader.get(); }
    core::TqzPDWriter* GetWriter() const { return FWriter.get(); }

    // ---- saving ----
    core::TqzPDSaveOptions GetSaveOptions() override { return FSaveOptions; }
    void SetSaveOptions(const core::TqzPDSaveOptions& options) override { FSaveOptions = options; }
    void SetSaveOptions(const std::string& header, bool incremental, bool full, bool copy,
                        bool linearize, bool uniDirectional, bool unCompressed, bool compressed,
                        bool keepModDate);
    // Writes the document to `stream` (positioned at its start and empty for
    // a full save). The object table is kept.
    void SaveDocument(platform::Stream& stream);
    // ExInvalidFileName for an empty name; the file is created (core's
    // ExFileCreateError when it cannot be) and closed after the save.
    void SaveDocument(const std::filesystem::path& fileName);

    // ---- encryption ----
    bool GetIsEncrypted() override { return FIsEncrypted; }
    bool GetIsOwner() const { return FIsOwner; }
    std::string GetPassword() override { return FPassword; }
    // The settings read from /Encrypt; none for an unencrypted file.
    filters::TqzEncryptionSettings* GetEncryptSettings() const { return FEncryptSettings.get(); }
    // The settings after the password check, or those a save encrypts with.
    filters::TqzEncryptionSettings* GetUserEncryptionSettings() const { return FUserEncryptionSettings.get(); }
    // Takes the settings for the next save; none changes nothing.
    void SetUserEncryptionSettings(std::unique_ptr<filters::TqzEncryptionSettings> settings);
    // The rights of `userPermissions` plus those /P grants (the four
    // extended ones only for 16-byte keys).
    filters::TqzUserPermissions GetPermissions(filters::TqzUserPermissions userPermissions);
    bool HasUserEncryptionSettings() override;
    bool IsUserEncryptionEnabled() override;
    std::string EncryptForOutput(const std::string& bytes, uint32_t objNumber, uint32_t genNumber) override;
    // Reading an encrypted file: strings and stream data of its objects
    // decrypted with the key the password gave.
    std::string DecryptString(const std::string& bytes, uint32_t objNumber, uint32_t genNumber) override;
    core::TqzStreamPtr MakeDecryptStream(core::TqzStreamPtr raw, uint32_t objNumber, uint32_t genNumber) override;
    bool IsStreamEncrypted(const core::TqzPDDictionary& streamDict) override;
    std::string EncryptStreamForOutput(const std::string& bytes, const core::TqzPDDictionary* streamDict,
                                       uint32_t objNumber, uint32_t genNumber) override;
    // Encrypts in blocks as it is read: no stream is held whole.
    core::TqzStreamPtr EncryptingStreamForOutput(core::TqzStreamPtr plain, const core::TqzPDDictionary* streamDict,
                                                 uint32_t objNumber, uint32_t genNumber) override;
    core::TqzPDDictionary* GetEncryptionDict() override;

    // ---- signing ----
    bool GetSignDoc() override { return FSignDoc; }
    void SetSignDoc(bool value) { FSignDoc = value; }
    bool GetIsSigned() override { return FSigned; }
    void SetIsSigned(bool value) { FSigned = value; }
    core::TqzSignature& GetSignature() override;
    core::TqzSigningService* GetSigningService() override { return nullptr; }

    bool GetDocSaved() const { return FDocSaved; }

    // ---- fixed answers ----
    void CloseDocument() {}
    void ForceIntermediateSave() {}
    void SetMaxDocStorage(int32_t /*value*/) {}
    core::TqzPDBaseObject* GetHintTable() { return nullptr; }
    int32_t GetMajorVersion() const { return 0; }
    int32_t GetMinorVersion() const { return 0; }
    bool IsFullCompressed() const { return false; }
    bool IsLinearized() const { return false; }
    bool IsPartialCompressed() const { return false; }

private:
    bool ReadEncryptionDictionary();
    // Drops the trailer's /Encrypt: the file is read unencrypted.
    void IgnoreEncrypt();
    // The object of that number when the document holds it already: the
    // catalog, encryption or information dictionary, or the table's.
    core::TqzPDBaseObject* HeldObject(uint32_t objNumber) const;
    // Clears the written flags of an earlier save and prepares the
    // encryption of this one.
    void PrepareSave();
    // The handler that encrypts the data of a stream with that dictionary for
    // the output; none when it is written plain.
    filters::DocumentSecurity* StreamOutputSecurity(const core::TqzPDDictionary* streamDict) const;
    // The trailer's reference number for `key`, 0 when the entry is not a reference.
    uint32_t TrailerRefNumber(const char* key) const;

    std::unique_ptr<core::TqzPDReader> FReader;
    std::unique_ptr<core::TqzPDWriter> FWriter;
    std::unique_ptr<core::TqzPDCollection> FCollection;
    core::TqzPDSaveOptions FSaveOptions;
    // The handler that checked the password and decrypts the file.
    std::unique_ptr<filters::DocumentSecurity> FSecurity;
    // The handler of new user settings for the current save.
    std::unique_ptr<filters::DocumentSecurity> FOutputSecurity;
    std::string FPassword;
    std::unique_ptr<filters::TqzEncryptionSettings> FEncryptSettings;
    std::unique_ptr<filters::TqzEncryptionSettings> FUserEncryptionSettings;
    // FUserEncryptionSettings were handed in for saving (not made by the
    // password check).
    bool FNewUserSettings = false;
    bool FIsOwner = false;
    std::unique_ptr<core::TqzPDDictionary> FTrailer;
    // The trailer was found by the repair of a damaged cross-reference.
    bool FTrailerRepaired = false;
    std::unique_ptr<core::TqzPDBaseObject> FLinearizedObject;
    bool FLinearizedSearched = false;
    // The trailer's /Root object when fetched from the file (owned), and the
    // catalog once found and checked (that object, or a dictionary standing
    // in the trailer itself).
    std::unique_ptr<core::TqzPDBaseObject> FCatalog;
    core::TqzPDDictionary* FRoot = nullptr;
    // Likewise for /Encrypt.
    std::unique_ptr<core::TqzPDBaseObject> FEncrypt;
    core::TqzPDBaseObject* FEncryptObj = nullptr;
    bool FEncryptSearched = false;
    core::TqzPDDictionary* FDocInfo = nullptr;
    uint32_t FDocInfoNum = 0;
    uint32_t FCatalogNum = 0;
    uint32_t FEncryptNum = 0;
    // The encryption dictionary written by the current save, in the table.
    core::TqzPDDictionary* FOutputEncrypt = nullptr;
    bool FIsEncrypted = false;
    // Objects read before the cross-reference is complete are kept here,
    // unfiled: a later fetch reads them from the finished table.
    bool FReaderReady = false;
    std::vector<std::unique_ptr<core::TqzPDBaseObject>> FUnfiled;
    // The highest number in use when there is no reader.
    uint32_t FOwnLastObjectNumber = 0;
    std::unique_ptr<core::TqzSignature> FSignature;
    bool FSignDoc = false;
    bool FDocSaved = false;
    bool FSigned = false;
};

}  // namespace qz::document
