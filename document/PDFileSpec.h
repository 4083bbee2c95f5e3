#pragma once
// TqzPDFileSpec: a file specification: the file a remote, embedded or launch
// action, a submit action or an attachment names, with its description, its
// volatile flag, its file system and, for an embedded file, the /EF stream.
// Its base object is a file specification dictionary, a string (the file
// name alone) or nothing; it borrows that object, the /EF dictionary and the
// embedded data stream (shared with the stream object). Without an object the
// operations work on the fields alone.

#include <cstdint>
#include <string>

#include "core/PDElement.h"
#include "core/Stream.h"

namespace qz::core {
class TqzPDBaseObject;
class TqzPDDictionary;
}  // namespace qz::core

namespace qz::document {

enum class TqzPDFileSystem : uint8_t { fsNone, fsURL };

class TqzPDFileSpec : public core::TqzPDElement {
public:
    // Over a dictionary, a string or nothing; no parent.
    explicit TqzPDFileSpec(core::TqzPDBaseObject* fileSpecObj);
    TqzPDFileSpec();

    void Update() override {}

    // The dictionary, when the object is one.
    core::TqzPDDictionary* GetDict() const;

    // A dictionary's /F string or the string object itself, read anew on
    // every call (a hexadecimal string as the text it stands for).
    const std::string& GetFileName();
    // Writes /F into a dictionary (in place when it is a string, else added
    // as a literal string); a string object takes the text.
    void SetFileName(const std::string& value);
    // /Desc, read while the field is empty and kept.
    const std::string& GetDescription();
    void SetDescription(const std::string& value);
    // /V, read anew on every call when it is a Boolean.
    bool GetIsVolatile();
    void SetIsVolatile(bool value);
    // /FS: the name URL gives fsURL; anything else leaves the field.
    TqzPDFileSystem GetFileSystem();
    // Writes /FS /URL for fsURL and removes /FS for fsNone.
    void SetFileSystem(TqzPDFileSystem value);
    // True when the dictionary had /EF when this object was made over it.
    bool GetIsEmbedded() const { return FIsEmbedded; }
    void SetIsEmbedded(bool value) { FIsEmbedded = value; }
    // /EF /F when it is a stream: its data stream (read decoded), found once
    // and kept; none otherwise.
    core::TqzStreamPtr GetEmbeddedFileStream();
    void SetEmbeddedFileStream(core::TqzStreamPtr value) { FEmbeddedStream = std::move(value); }
    // The /EF dictionary, none when there is none.
    core::TqzPDDictionary* GetEFObj() const { return FEFObj; }

private:
    std::string FFileName;
    bool FIsVolatile = false;
    std::string FDescription;
    bool FIsEmbedded = false;
    core::TqzStreamPtr FEmbeddedStream;
    core::TqzPDDictionary* FEFObj = nullptr;
    TqzPDFileSystem FFileSystem = TqzPDFileSystem::fsNone;
};

}  // namespace qz::document
