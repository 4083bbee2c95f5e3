#pragma once
// The base class of every exception the system raises. The PDF layer's
// families (EBrevanto and below, the component's errors) derive from it.

#include <stdexcept>
#include <string>

namespace qz::platform {

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    const std::string Message() const { return what(); }
};

// Raised by the platform streams when the operating system refuses an
// operation; the message carries the system's own explanation.
class EStreamError : public Exception {
public:
    using Exception::Exception;
};

// Raised when text that should hold a number does not.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

}  // namespace qz::platform
