#pragma once
// TqzPDReader: the file side of a loaded document. It wraps the platform
// stream the document was loaded from, builds the cross-reference over it,
// hands out copies of the trailer and fetches objects by number on demand.
// It owns the cross-reference and the byte stream over the file, and shares
// the platform stream (which must stay open and unchanged while the reader
// lives: every fetch reads from it). A file it opened itself it owns. It
// borrows the document.

#include <cstdint>
#include <filesystem>
#include <memory>

#include "core/FileStream.h"
#include "core/Object.h"
#include "core/PDBaseObject.h"
#include "core/PDXRef.h"
#include "platform/Streams.h"

namespace qz::core {

class TqzParentDocument;

class TqzPDReader : public TqzObject {
  public:
    explicit TqzPDReader(TqzParentDocument* parentDoc);
    ~TqzPDReader() override;
    TqzPDReader(const TqzPDReader&) = delete;
    TqzPDReader& operator=(const TqzPDReader&) = delete;

    // Builds the cross-reference over `stream` (no body object is read).
    // ExInvalidPDFFile for an empty stream, ExLimitExceeded for one of 4 GiB
    // or more,
    // ExImproperCrossRefTableOrStream when no cross-reference can be read
    // or rebuilt.
    void LoadFromStream(std::shared_ptr<platform::Stream> stream);
    // ExFileNotFound for a missing file, ExFileOpenError when it cannot be
    // opened; then as LoadFromStream.
    void LoadFromFile(const std::filesystem::path& fileName);

    // The object of that number, a new object the caller owns, with its
    // written flag cleared; none for a free, missing or unreadable object
    // and before anything was loaded.
    std::unique_ptr<TqzPDBaseObject> Fetch(uint32_t objectNumber);
    // A new copy of the trailer held, or none.
    std::unique_ptr<TqzPDBaseObject> GetTrailer() const;
    // The cross-reference (borrowed), none before a load.
    TqzPDXRef* GetXRef() const { return FXRef.get(); }
    // The platform stream being read (borrowed).
    platform::Stream* GetFileStream() const { return FFile.get(); }
    // The byte stream over the whole file that objects are read through.
    const std::shared_ptr<TqzFileStream>& GetStream() const { return FStream; }
    TqzParentDocument* GetParentDoc() const { return FParentDoc; }

  private:
    std::unique_ptr<TqzPDXRef> FXRef;
    std::shared_ptr<TqzFileStream> FStream;
    std::shared_ptr<platform::Stream> FFile;
    TqzParentDocument* FParentDoc;
};

}  // namespace qz::core
