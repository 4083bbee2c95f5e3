#pragma once
// The exception family of the PDF layer: EBrevanto and the classes of the
// base exception module, each with its fixed message. The stream module's
// classes live in qz::core::streams (two of them share names with classes
// here and must stay distinct types).

#include <string>

#include "platform/Exception.h"

namespace qz::core {

class EBrevanto : public platform::Exception {
public:
    using platform::Exception::Exception;
};

#define QZ_FIXED_MESSAGE_EXCEPTION(Name, Base, Text)              \
    class Name : public Base {                                    \
    public:                                                       \
        static constexpr const char* kMessage = Text;             \
        Name() : Base(kMessage) {}                                \
        explicit Name(const std::string& message) : Base(message) {} \
    }

QZ_FIXED_MESSAGE_EXCEPTION(ExFileOpenError, EBrevanto, "File Open error");
QZ_FIXED_MESSAGE_EXCEPTION(ExFileNotFound, EBrevanto, "File Not Found");
QZ_FIXED_MESSAGE_EXCEPTION(ExInvalidObject, EBrevanto, "Invalid Object");
QZ_FIXED_MESSAGE_EXCEPTION(ExOutOfMemory, EBrevanto, "Out of memory");
QZ_FIXED_MESSAGE_EXCEPTION(ExInvalidPassword, EBrevanto, "Invalid password");
QZ_FIXED_MESSAGE_EXCEPTION(ExBadRootObj, EBrevanto, "Catalog not found");
QZ_FIXED_MESSAGE_EXCEPTION(ExNoPageTreeObj, EBrevanto, "No Page Entry in Catalog");
QZ_FIXED_MESSAGE_EXCEPTION(ExInvalidPDFFile, EBrevanto, "Invalid PDF Document");
QZ_FIXED_MESSAGE_EXCEPTION(ExImproperCrossRefTableOrStream, EBrevanto,
                           "Improper Cross reference Table or Stream");
QZ_FIXED_MESSAGE_EXCEPTION(ExInvalidFileName, EBrevanto, "Invalid file name");
QZ_FIXED_MESSAGE_EXCEPTION(ExInvalidStream, EBrevanto, "Invalid Stream");

// "File create error: " followed by the platform's message.
class ExFileCreateError : public EBrevanto {
public:
    static constexpr const char* kMessage = "File create error: ";
    explicit ExFileCreateError(const std::string& platformMessage)
        : EBrevanto(std::string(kMessage) + platformMessage) {}
};

// A file uses a feature this system does not read (for example a security
// handler or revision it does not support); raised instead of reading garbage.
class ExUnsupportedFeature : public EBrevanto {
public:
    using EBrevanto::EBrevanto;
};

// A file or a caller asks for more than a named limit allows (see
// core/Limits.h); raised instead of exhausting memory or the stack.
class ExLimitExceeded : public EBrevanto {
public:
    using EBrevanto::EBrevanto;
};

// A file's object streams decompress to more than its size can account for:
// parsed into objects, a few KiB could otherwise fill the memory. Not an
// ExLimitExceeded, which readers of single objects catch and pass over: the
// whole file is refused.
class ExTooManyObjects : public EBrevanto {
public:
    static constexpr const char* kMessage =
        "The file's object streams decompress to more than its size can account for";
    ExTooManyObjects() : EBrevanto(kMessage) {}
};

// The stored data of a stream could not be read while the stream was being
// written (a read error, a decoder or decryption failure). Merge sources are
// read only when the merged document is saved, so the message names the
// file the data comes from, worded as a file that could not be merged; the
// cause is nested (std::rethrow_if_nested gives it back).
class ExSourceDataError : public EBrevanto {
public:
    ExSourceDataError(const std::string& source, const std::string& cause)
        : EBrevanto("Could not merge " + source + ": " + cause), FSource(source) {}
    const std::string& Source() const { return FSource; }

private:
    std::string FSource;
};

namespace streams {

QZ_FIXED_MESSAGE_EXCEPTION(ExInvalidStream, EBrevanto, "Invalid Stream");
QZ_FIXED_MESSAGE_EXCEPTION(ExInvalidBuffer, EBrevanto, "Invalid Buffer");
QZ_FIXED_MESSAGE_EXCEPTION(ExOutofMemory, EBrevanto, "Out of Memory");
QZ_FIXED_MESSAGE_EXCEPTION(ExInvalidKeyLen, EBrevanto, "RC4: Invalid key length");

// "Compression error " followed by the compression library's message.
class ExCompressionError : public EBrevanto {
public:
    static constexpr const char* kMessage = "Compression error ";
    explicit ExCompressionError(const std::string& libraryMessage)
        : EBrevanto(std::string(kMessage) + libraryMessage) {}
};

}  // namespace streams

}  // namespace qz::core
