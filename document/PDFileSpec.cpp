#include "document/PDFileSpec.h"

#include "core/PDBoolean.h"
#include "core/PDDictionary.h"
#include "core/PDName.h"
#include "core/PDStream.h"
#include "core/PDString.h"
#include "document/DictEntries.h"

namespace qz::document {

using core::TqzPDBaseObject;
using core::TqzPDDictionary;

TqzPDFileSpec::TqzPDFileSpec(TqzPDBaseObject* fileSpecObj) : core::TqzPDElement(nullptr, nullptr, fileSpecObj) {
    if (TqzPDDictionary* dict = GetDict()) {
        FEFObj = AsDictionary(dict->LookUp("EF"));
        FIsEmbedded = dict->LookupRefObj("EF") != nullptr;
    }
}

TqzPDFileSpec::TqzPDFileSpec() : core::TqzPDElement(nullptr, nullptr, nullptr) {}

TqzPDDictionary* TqzPDFileSpec::GetDict() const { return AsDictionary(FBaseObject); }

const std::string& TqzPDFileSpec::GetFileName() {
    if (FBaseObject != nullptr && FBaseObject->IsString()) {
        FFileName = StringText(*FBaseObject);
    } else if (const TqzPDDictionary* dict = GetDict()) {
        ReadStringEntry(*dict, "F", FFileName);
    }
    return FFileName;
}

void TqzPDFileSpec::SetFileName(const std::string& value) {
    if (FBaseObject != nullptr && FBaseObject->IsString()) {
        static_cast<core::TqzPDString*>(FBaseObject)->SetHexToString(value);
    } else if (TqzPDDictionary* dict = GetDict()) {
        WriteStringEntry(*dict, "F", value, TqzEntryText::Bytes);
    }
    FFileName = value;
}

const std::string& TqzPDFileSpec::GetDescription() {
    if (FDescription.empty()) {
        if (const TqzPDDictionary* dict = GetDict()) ReadStringEntry(*dict, "Desc", FDescription);
    }
    return FDescription;
}

void TqzPDFileSpec::SetDescription(const std::string& value) {
    if (TqzPDDictionary* dict = GetDict()) WriteStringEntry(*dict, "Desc", value, TqzEntryText::Text);
    FDescription = value;
}

bool TqzPDFileSpec::GetIsVolatile() {
    if (const TqzPDDictionary* dict = GetDict()) ReadBoolEntry(*dict, "V", FIsVolatile);
    return FIsVolatile;
}

void TqzPDFileSpec::SetIsVolatile(bool value) {
    if (TqzPDDictionary* dict = GetDict()) WriteBoolEntry(*dict, "V", value);
    FIsVolatile = value;
}

TqzPDFileSystem TqzPDFileSpec::GetFileSystem() {
    if (const TqzPDDictionary* dict = GetDict()) {
        const TqzPDBaseObject* system = dict->LookUp("FS");
        if (system != nullptr && system->IsName("URL")) FFileSystem = TqzPDFileSystem::fsURL;
    }
    return FFileSystem;
}

void TqzPDFileSpec::SetFileSystem(TqzPDFileSystem value) {
    if (TqzPDDictionary* dict = GetDict()) {
        // No file system is the absence of /FS: writing URL for it would turn
        // the file name into an address.
        if (value == TqzPDFileSystem::fsURL) {
            PutEntry(*dict, "FS", std::make_unique<core::TqzPDName>("URL"));
        } else if (dict->LookupRefObj("FS") != nullptr) {
            dict->Remove("FS");
        }
    }
    FFileSystem = value;
}

core::TqzStreamPtr TqzPDFileSpec::GetEmbeddedFileStream() {
    if (FEmbeddedStream == nullptr && FEFObj != nullptr) {
        const TqzPDBaseObject* file = FEFObj->LookUp("F");
        if (file != nullptr && file->IsStream()) {
            FEmbeddedStream = static_cast<const core::TqzPDStream*>(file)->GetStreamPtr();
        }
    }
    return FEmbeddedStream;
}

}  // namespace qz::document
