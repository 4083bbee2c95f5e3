#pragma once
// Small helpers shared by the document tests.

#include <memory>
#include <string>

#include "core/PDBaseObject.h"
#include "core/PDString.h"
#include "platform/Streams.h"

namespace qz::document {

// A platform stream over a copy of `bytes`.
inline std::shared_ptr<platform::Stream> MemoryFile(const std::string& bytes) {
    return std::make_shared<platform::MemoryStream>(bytes);
}

// The bytes a string object stands for; "<not a string>" otherwise.
inline std::string TextOf(const core::TqzPDBaseObject* object) {
    if (object == nullptr || !object->IsString()) return "<not a string>";
    return static_cast<const core::TqzPDString*>(object)->GetBytes();
}

}  // namespace qz::document
