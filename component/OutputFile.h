#pragma once
// TqzOutputFile: the file a save writes, made beside its destination under a
// hidden temporary name and put in the destination's place only once it is
// complete and on disk. Until then the destination, which may be the very
// file the document is still being read from, is untouched; a save that
// fails or is cancelled leaves no trace. Owns the temporary file and its
// stream, and removes the file unless it was committed.

#include <filesystem>
#include <memory>
#include <string>

#include "platform/Streams.h"

namespace qz::component {

class TqzOutputFile {
public:
    // Creates the temporary file in the destination's folder (the folder of
    // the file a symbolic link points to, for a link). EFileOpenError when
    // it cannot be created or the destination is a folder.
    explicit TqzOutputFile(const std::filesystem::path& destination);
    ~TqzOutputFile();
    TqzOutputFile(const TqzOutputFile&) = delete;
    TqzOutputFile& operator=(const TqzOutputFile&) = delete;

    platform::Stream& Stream() { return *FStream; }
    const std::filesystem::path& TemporaryPath() const { return FTemporary; }
    // Puts the data on disk, gives the file an existing destination's
    // permissions and renames it over the destination. The platform's
    // EStreamError when the data cannot be written; EFileOpenError when the
    // file cannot be put in place.
    void Commit();

    // Replaces (or creates) `destination` with `bytes` the same way.
    static void WriteReplacing(const std::filesystem::path& destination, const std::string& bytes);

private:
    std::filesystem::path FDestination;
    std::filesystem::path FTemporary;
    std::unique_ptr<platform::FileStream> FStream;
    bool FCommitted = false;
};

}  // namespace qz::component
