#pragma once
// The exceptions the document component raises itself. Exceptions of the
// document model pass through it unchanged, except inside a merge, where
// each is carried, nested, by the EMergeError that names the source.

#include <string>

#include "platform/Exception.h"

namespace qz::component {

// A file to load does not exist.
class EFileNotFound : public platform::Exception {
public:
    static constexpr const char* kMessage = "File Not Found";
    EFileNotFound() : platform::Exception(kMessage) {}
};

// The output of a save cannot be created (or put in place); the platform's
// own message is dropped.
class EFileOpenError : public platform::Exception {
public:
    static constexpr const char* kMessage = "Could not create file";
    EFileOpenError() : platform::Exception(kMessage) {}
};

// An operation that needs a document was called while the component holds
// none: never loaded, reset, or left without a catalog by a failed load.
class ENoDocumentError : public platform::Exception {
public:
    explicit ENoDocumentError(const std::string& operation)
        : platform::Exception(operation + ": no document is loaded") {}
};

// One source of a merge could not be loaded or inserted. The message names
// the source and carries the cause's message; the cause itself is nested
// (std::rethrow_if_nested gives it back).
class EMergeError : public platform::Exception {
public:
    EMergeError(const std::string& source, const std::string& cause)
        : platform::Exception("Could not merge " + source + ": " + cause), FSource(source) {}
    const std::string& Source() const { return FSource; }

private:
    std::string FSource;
};

// A damaged file whose repair found no page: nothing of the document was
// found, so it is refused rather than merged as nothing.
class ENoPageFound : public platform::Exception {
public:
    static constexpr const char* kMessage = "The file is damaged and no page of it could be found";
    ENoPageFound() : platform::Exception(kMessage) {}
};

// A list index that is not in the list (unregistering a control that was
// never registered).
class EListError : public platform::Exception {
public:
    EListError() : platform::Exception("List index out of bounds (-1)") {}
};

}  // namespace qz::component
