#pragma once
// TqzParentDocument: what an array, a dictionary or a stream object asks of
// the document it belongs to: the object behind a reference, whether an
// object has been written in the current save, whether and how the output
// is encrypted, and, while a file is read, how its strings and streams are
// decrypted. The base document implements it; the containers and the
// parser only borrow it.

#include <cstdint>
#include <memory>
#include <string>

#include "core/MemoryStream.h"
#include "core/PDBaseExceptions.h"
#include "core/Stream.h"

namespace qz::core {

class TqzPDBaseObject;
class TqzPDDictionary;

class TqzParentDocument {
  public:
    virtual ~TqzParentDocument() = default;

    // The object of that number (as the document's table knows it), kept by
    // the document; none when there is no such object.
    virtual TqzPDBaseObject* GetObject(uint32_t objNumber) = 0;
    // The object of that number for a reader that only copies it: what
    // GetObject gives when the document holds the object already, else a
    // fresh read handed over in `owned` and not kept by the document. A merge
    // copies every object of each source; filing them all in the sources'
    // tables would hold them in memory until the merge is saved. By default
    // the object is kept as GetObject keeps it.
    virtual TqzPDBaseObject* GetObjectForCopy(uint32_t objNumber, std::unique_ptr<TqzPDBaseObject>& /*owned*/) {
        return GetObject(objNumber);
    }
    // True once the object of that number has been written in the current save.
    virtual bool IsObjectWritten(uint32_t objNumber) = 0;
    // The document was loaded from an encrypted file.
    virtual bool GetIsEncrypted() = 0;
    // Encryption settings were requested for the output (enabled or not).
    virtual bool HasUserEncryptionSettings() = 0;
    // Those settings exist and are enabled.
    virtual bool IsUserEncryptionEnabled() = 0;
    // The information dictionary, or none.
    virtual TqzPDDictionary* GetDocInfo() = 0;
    // `bytes` encrypted for the output under the object number and generation;
    // the document chooses the key (the one it was loaded with or the user's).
    virtual std::string EncryptForOutput(const std::string& bytes, uint32_t objNumber,
                                         uint32_t genNumber) = 0;

    // Raised by the decryption defaults below: a document that reports itself
    // encrypted must answer them, or reading it stops here.
    static constexpr const char* kNoDecryption = "Encrypted document: no decryption available";

    // The bytes of a string read from object `objNumber`, generation
    // `genNumber` of an encrypted file, decrypted.
    virtual std::string DecryptString(const std::string& /*bytes*/, uint32_t /*objNumber*/,
                                      uint32_t /*genNumber*/) {
        throw ExUnsupportedFeature(kNoDecryption);
    }
    // A stream that reads `raw` (a window of the file) decrypted for that
    // object; it shares ownership of `raw`.
    virtual TqzStreamPtr MakeDecryptStream(TqzStreamPtr /*raw*/, uint32_t /*objNumber*/,
                                           uint32_t /*genNumber*/) {
        throw ExUnsupportedFeature(kNoDecryption);
    }

    // Whether the data of a stream with this dictionary is encrypted in the
    // file (cross-reference streams never are; metadata may be left plain).
    virtual bool IsStreamEncrypted(const TqzPDDictionary& /*streamDict*/) { return true; }
    // Stream data encrypted for the output; streams and strings may use
    // different methods, and some streams stay plain.
    virtual std::string EncryptStreamForOutput(const std::string& bytes, const TqzPDDictionary* /*streamDict*/,
                                               uint32_t objNumber, uint32_t genNumber) {
        return EncryptForOutput(bytes, objNumber, genNumber);
    }
    // A stream that yields what `plain` yields, encrypted for the output as
    // EncryptStreamForOutput would encrypt it, or `plain` itself when the
    // data stays plain. Documents that can encrypt in blocks answer with a
    // stream that does; this default reads the data whole.
    virtual TqzStreamPtr EncryptingStreamForOutput(TqzStreamPtr plain, const TqzPDDictionary* streamDict,
                                                   uint32_t objNumber, uint32_t genNumber) {
        TqzMemoryStream whole;
        whole.CopyAll(*plain);
        return std::make_shared<TqzMemoryStream>(
            EncryptStreamForOutput(whole.Bytes(), streamDict, objNumber, genNumber));
    }

    // The output is encrypted: loaded encrypted, or enabled user settings.
    bool EncryptsOutput() {
        return GetIsEncrypted() || (HasUserEncryptionSettings() && IsUserEncryptionEnabled());
    }
};

}  // namespace qz::core
