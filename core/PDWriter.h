#pragma once
// TqzPDWriter: writes a document to a platform stream, in full (header, every
// object reachable from the catalog renumbered from 1, the information and
// encryption dictionaries, one cross-reference table, the trailer) or as an
// incremental update (the loaded file's bytes, then the changed objects, a
// section for them and a trailer with /Prev), and fills a signature
// placeholder of the written file in place when the document is signed.
// One writer serves one save. It owns its cross-reference table and the byte
// stream over the output; it borrows the document and the platform stream.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "core/FileStream.h"
#include "core/Object.h"
#include "core/PDXRef.h"
#include "core/WriterDocument.h"
#include "platform/Streams.h"

namespace qz::core {

class TqzPDDictionary;

class TqzPDWriter : public TqzObject {
public:
    // The hexadecimal digits the placeholder reserves for the signature.
    static constexpr uint32_t kSignatureHexDigits = 15000;
    // Raised when a document marked for signing is saved without signature
    // services; nothing is written.
    static constexpr const char* kSigningUnavailable =
        "The document is marked for signing, but signing is not available: nothing was written";

    // Raised by an incremental save of a document that was not loaded.
    static constexpr const char* kNoLoadedFile = "An incremental save needs a document loaded from a file";

    // Raised by a full save into the stream the document is read from.
    static constexpr const char* kOverwritesLoadedFile =
        "A full save cannot be written over the file the document is read from";

    explicit TqzPDWriter(TqzWriterDocument& parentDoc);
    ~TqzPDWriter() override;

    // Writes the document to `stream` (ExInvalidStream when there is none).
    // A full save replaces what the stream held; an incremental one first
    // copies the loaded file into it.
    void SaveDocument(platform::Stream* stream);
    // Creates (or replaces) the file and writes the document to it.
    void SaveDocument(const std::filesystem::path& fileName);

    platform::Stream* GetFileStream() const { return FFile; }
    TqzPDXRef* GetXRef() const { return FXRef.get(); }
    // The encryption dictionary to write, or none (the document decides).
    TqzPDDictionary* GetEncryptionDict();

    void InitFull();
    void InitIncremental();

    // The offset just after the "<<" of the written placeholder signature
    // dictionary; 0 when the written file has none.
    uint32_t GetSigDictOffset();
    // Fills the placeholder of the written file with the signature.
    void WriteSignature();
    // Signs the bytes start .. start + length1 - 1 and offset2 .. offset2 +
    // length2 - 1 and writes the hexadecimal signature after the "<" at
    // start + length1.
    void WriteSignatureContents(uint32_t start, uint32_t length1, uint32_t length2, uint32_t offset2);

private:
    void WriteBytes(const std::string& bytes);
    // Reads `count` bytes of the output at `offset`.
    std::string ReadOutput(int64_t offset, int64_t count);
    void WriteOutputAt(int64_t offset, const std::string& bytes);
    void WriteTrailer(bool incremental, TqzPDDictionary* trailer, TqzPDDictionary* root);
    // The trailer entries /Root, /Info, /Encrypt and /ID as written, in a new
    // direct dictionary without document (references carry final numbers).
    std::unique_ptr<TqzPDDictionary> MakeTrailerEntries(bool incremental, TqzPDDictionary* trailer,
                                                        TqzPDDictionary* root);
    // The signature dictionary's opening text, ending in "/Contents<".
    std::string SignatureText(uint32_t objNumber, uint32_t genNumber);

    std::string FEOFBytes;
    std::unique_ptr<TqzFileStream> FStream;
    platform::Stream* FFile = nullptr;
    std::unique_ptr<TqzPDXRef> FXRef;
    TqzWriterDocument& FParentDoc;
    // The placeholder found by GetSigDictOffset.
    uint32_t FSigObjNumber = 0;
    uint32_t FSigGenNumber = 0;
    // Where the placeholder dictionary's closing ">>" stands.
    int64_t FSigDictEnd = 0;
};

}  // namespace qz::core
