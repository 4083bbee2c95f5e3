#include "core/PDReader.h"

#include "core/Limits.h"
#include "core/PDBaseExceptions.h"
#include "core/PDDictionary.h"

namespace qz::core {

TqzPDReader::TqzPDReader(TqzParentDocument* parentDoc) : FParentDoc(parentDoc) {}

TqzPDReader::~TqzPDReader() = default;

void TqzPDReader::LoadFromStream(std::shared_ptr<platform::Stream> stream) {
    if (!stream) throw ExInvalidStream();
    // Offsets in the format are 32-bit: a larger file cannot be addressed.
    if (stream->Size() > kMaxFileSize)
        throw ExLimitExceeded("PDF files of 4 GiB and more cannot be read");
    FXRef.reset();
    FFile = std::move(stream);
    FStream = std::make_shared<TqzFileStream>(FFile, 0, 0, false);
    // The table is in place before it is read: reading it may fetch objects
    // (an indirect /Length) through the document and this reader.
    FXRef = std::make_unique<TqzPDXRef>(FParentDoc, FStream);
    FXRef->GenerateTable();
}

void TqzPDReader::LoadFromFile(const std::filesystem::path& fileName) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(fileName, error)) throw ExFileNotFound();
    std::shared_ptr<platform::Stream> file;
    try {
        file = std::make_shared<platform::FileStream>(fileName, platform::FileMode::OpenRead);
    } catch (const std::exception&) {
        throw ExFileOpenError();
    }
    LoadFromStream(std::move(file));
}

std::unique_ptr<TqzPDBaseObject> TqzPDReader::Fetch(uint32_t objectNumber) {
    if (!FXRef) return nullptr;
    auto object = FXRef->Fetch(objectNumber);
    if (!object || object->IsError()) return nullptr;
    object->SetIsWritten(false);
    return object;
}

std::unique_ptr<TqzPDBaseObject> TqzPDReader::GetTrailer() const {
    if (!FXRef || !FXRef->GetTrailorDict()) return nullptr;
    return FXRef->GetTrailorDict()->Clone();
}

}  // namespace qz::core
