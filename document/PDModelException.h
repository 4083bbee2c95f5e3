#pragma once
// The exceptions of the document model: a password the file refuses, a page,
// action or annotation object that cannot be read, and an output file that
// cannot be created. Each carries its fixed message. The file-creation error
// shares its name with the base family's and stays a distinct type here.

#include <string>

#include "core/PDBaseExceptions.h"

namespace qz::document {

QZ_FIXED_MESSAGE_EXCEPTION(ExPasswordRequired, core::EBrevanto,
                           "Encrypted PDF: Password required for loading");
QZ_FIXED_MESSAGE_EXCEPTION(ExBadPage, core::EBrevanto, "Bad Page object");
QZ_FIXED_MESSAGE_EXCEPTION(ExBadAction, core::EBrevanto, "Bad Action object");
QZ_FIXED_MESSAGE_EXCEPTION(ExBadAnnotation, core::EBrevanto, "Bad Annotation object");

// "Error occured when creating the File" followed directly by the platform's
// message.
class ExFileCreateError : public core::EBrevanto {
public:
    static constexpr const char* kMessage = "Error occured when creating the File";
    explicit ExFileCreateError(const std::string& platformMessage)
        : core::EBrevanto(std::string(kMessage) + platformMessage) {}
};

// An operation of the model whose subsystem is not part of this build yet.
// Raised instead of returning a made-up value.
class ExNotSupportedYet : public core::ExUnsupportedFeature {
public:
    explicit ExNotSupportedYet(const std::string& operation)
        : core::ExUnsupportedFeature(operation + ": not supported yet") {}
};

}  // namespace qz::document
