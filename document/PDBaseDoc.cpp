#include "document/PDBaseDoc.h"

#include <filesystem>

#include "core/Conversions.h"
#include "core/Limits.h"
#include "core/PDArray.h"
#include "core/PDBaseExceptions.h"
#include "core/PDBoolean.h"
#include "core/PDCollection.h"
#include "core/PDDictionary.h"
#include "core/PDIndirectRef.h"
#include "core/PDLexer.h"
#include "core/PDParser.h"
#include "core/PDReader.h"
#include "core/PDStream.h"
#include "core/PDString.h"
#include "core/PDWriter.h"
#include "core/PDXRef.h"
#include "filters/CryptStream.h"
#include "filters/DocumentSecurity.h"

namespace qz::document {

namespace {

core::TqzPDDictionary* AsDict(core::TqzPDBaseObject* object) {
    return object != nullptr && object->IsDict() ? static_cast<core::TqzPDDictionary*>(object) : nullptr;
}

// Clears the written flag of `object` and of the direct values inside it, so
// that a later save writes it again.
void ClearWritten(core::TqzPDBaseObject* object) {
    if (object == nullptr) return;
    std::vector<core::TqzPDBaseObject*> pending{object};
    while (!pending.empty()) {
        core::TqzPDBaseObject* current = pending.back();
        pending.pop_back();
        current->SetIsWritten(false);
        if (current->IsArray()) {
            for (const auto& element : static_cast<core::TqzPDArray*>(current)->GetArray()->Elements()) {
                if (element && element->IsDirect()) pending.push_back(element.get());
            }
        } else if (current->IsDict()) {
            for (const auto& entry : static_cast<core::TqzPDDictionary*>(current)->GetDict()->Entries()) {
                if (entry.second && entry.second->IsDirect()) pending.push_back(entry.second.get());
            }
        } else if (current->IsStream()) {
            if (auto* dict = static_cast<core::TqzPDStream*>(current)->GetDict()) pending.push_back(dict);
        }
    }
}

}  // namespace

TqzPDBaseDoc::TqzPDBaseDoc() = default;

TqzPDBaseDoc::~TqzPDBaseDoc() {
    // The table first: its objects may share data with the reader's file.
    FLinearizedObject.reset();
    FCollection.reset();
    FUnfiled.clear();
    FWriter.reset();
    FReader.reset();
    FEncrypt.reset();
    FTrailer.reset();
    FCatalog.reset();
}

// ---- loading ----

void TqzPDBaseDoc::LoadDocument(std::shared_ptr<platform::Stream> stream, const std::string& password) {
    if (stream == nullptr) throw core::ExInvalidStream();
    // Nothing read from an earlier load survives a new one.
    FLinearizedObject.reset();
    FLinearizedSearched = false;
    FCollection.reset();
    FUnfiled.clear();
    FCatalog.reset();
    FRoot = nullptr;
    FCatalogNum = 0;
    FEncrypt.reset();
    FEncryptObj = nullptr;
    FEncryptSearched = false;
    FEncryptNum = 0;
    FDocInfo = nullptr;
    FDocInfoNum = 0;
    FTrailer.reset();
    FSecurity.reset();
    FEncryptSettings.reset();
    FIsEncrypted = false;
    FIsOwner = false;
    FUserEncryptionSettings.reset();
    FNewUserSettings = false;
    FReader.reset();
    FReaderReady = false;
    FReader = std::make_unique<core::TqzPDReader>(this);
    FReader->LoadFromStream(std::move(stream));
    FReaderReady = true;

    std::unique_ptr<core::TqzPDBaseObject> trailer = FReader->GetTrailer();
    if (trailer != nullptr && trailer->IsDict()) {
        FTrailer.reset(static_cast<core::TqzPDDictionary*>(trailer.release()));
    } else {
        // No trailer: the catalog cannot be found, which GetDocRoot reports.
        FTrailer = std::make_unique<core::TqzPDDictionary>(this);
    }
    FTrailer->SetParentDoc(this);
    FTrailerRepaired = FReader->GetXRef() != nullptr && FReader->GetXRef()->IsTrailerRepaired();

    if (!FEncryptSearched) GetEncrypt();
    FIsEncrypted = ReadEncryptionDictionary();
    if (!FIsEncrypted) return;

    FUserEncryptionSettings = std::make_unique<filters::TqzEncryptionSettings>();
    FUserEncryptionSettings->SetAlgorithm(FEncryptSettings->Algorithm());
    FUserEncryptionSettings->SetLevel(FEncryptSettings->Level());
    if (!FSecurity->CheckPassword(*FUserEncryptionSettings, password)) {
        FUserEncryptionSettings.reset();
        throw core::ExInvalidPassword();
    }
    // The check settles a key length the file left out.
    FSecurity->FillFileSettings(*FEncryptSettings);
    FIsOwner = FUserEncryptionSettings->IsOwner();
    FPassword = password;
}

void TqzPDBaseDoc::LoadDocument(const std::filesystem::path& fileName, const std::string& password) {
    std::error_code error;
    if (fileName.empty() || !std::filesystem::is_regular_file(fileName, error)) throw core::ExFileNotFound();
    std::shared_ptr<platform::Stream> file;
    try {
        file = std::make_shared<platform::FileStream>(fileName, platform::FileMode::OpenRead);
    } catch (const platform::EStreamError&) {
        throw core::ExFileOpenError();
    }
    LoadDocument(std::move(file), password);
}

bool TqzPDBaseDoc::ReadEncryptionDictionary() {
    core::TqzPDDictionary* dict = AsDict(FEncryptObj);
    if (FTrailerRepaired &&
        (dict == nullptr || !filters::DocumentSecurity::IsKnownHandlerDictionary(*dict))) {
        // The repair may have found an older revision's trailer, or one of a
        // file embedded in this one: an /Encrypt that leads to no security
        // handler's dictionary does not encrypt this file.
        IgnoreEncrypt();
        return false;
    }
    if (FEncryptObj == nullptr) return false;
    if (dict == nullptr) throw core::ExUnsupportedFeature("Unsupported encryption: /Encrypt is not a dictionary");
    FSecurity = filters::DocumentSecurity::FromDictionary(*dict, FTrailer->LookUp("ID"));
    FEncryptSettings = std::make_unique<filters::TqzEncryptionSettings>();
    FSecurity->FillFileSettings(*FEncryptSettings);
    return true;
}

void TqzPDBaseDoc::IgnoreEncrypt() {
    FTrailer->Remove("Encrypt");
    // What the trailer named is an ordinary object of the file, filed under
    // the number it was read for.
    if (FEncrypt != nullptr) {
        if (FEncrypt->IsDirect()) {
            FEncrypt->SetObjNumber(FEncryptNum);
            FEncrypt->SetGenNumber(0);
        }
        AddToCollection(std::move(FEncrypt));
    }
    FEncryptObj = nullptr;
    FEncryptNum = 0;
}

// ---- objects ----

uint32_t TqzPDBaseDoc::TrailerRefNumber(const char* key) const {
    if (FTrailer == nullptr) return 0;
    const core::TqzPDBaseObject* stored = FTrailer->LookupRefObj(key);
    return stored != nullptr && stored->IsIndirectRef() ? stored->GetObjNumber() : 0;
}

core::TqzPDBaseObject* TqzPDBaseDoc::HeldObject(uint32_t objNumber) const {
    if (FCatalog != nullptr && objNumber == FCatalogNum) return FCatalog.get();
    if (FEncrypt != nullptr && objNumber == FEncryptNum) return FEncrypt.get();
    if (FDocInfo != nullptr && objNumber == FDocInfoNum) return FDocInfo;
    if (FCollection != nullptr) {
        core::TqzPDBaseObject* stored = FCollection->GetObject(objNumber);
        if (stored != nullptr && !stored->IsError()) return stored;
    }
    return nullptr;
}

core::TqzPDBaseObject* TqzPDBaseDoc::GetObject(uint32_t objNumber) {
    // Object 0 is always the head of the free list.
    if (objNumber == 0) return nullptr;
    if (core::TqzPDBaseObject* held = HeldObject(objNumber)) return held;
    if (FReader == nullptr) return nullptr;

    std::unique_ptr<core::TqzPDBaseObject> fetched = FReader->Fetch(objNumber);
    if (fetched == nullptr || fetched->IsError()) return nullptr;
    core::TqzPDBaseObject* result = fetched.get();
    if (!FReaderReady) {
        // Read while the cross-reference is still being built: kept alive but
        // not filed, so a later fetch reads it from the finished table.
        FUnfiled.push_back(std::move(fetched));
        return result;
    }
    // Only the trailer's own /Root and /Encrypt objects are kept apart.
    if (objNumber == TrailerRefNumber("Root")) {
        FCatalog = std::move(fetched);
        FCatalogNum = objNumber;
        return result;
    }
    if (objNumber == TrailerRefNumber("Encrypt")) {
        FEncrypt = std::move(fetched);
        FEncryptNum = objNumber;
        return result;
    }
    if (result->IsDirect()) {
        // Filed under the number it was asked for, which the table needs.
        result->SetObjNumber(objNumber);
        result->SetGenNumber(0);
    }
    return AddToCollection(std::move(fetched));
}

core::TqzPDBaseObject* TqzPDBaseDoc::GetObjectForCopy(uint32_t objNumber,
                                                      std::unique_ptr<core::TqzPDBaseObject>& owned) {
    if (objNumber == 0) return nullptr;
    if (core::TqzPDBaseObject* held = HeldObject(objNumber)) return held;
    // Objects the document keeps apart, and reads before the table is
    // complete, go the usual way.
    if (FReader == nullptr || !FReaderReady || objNumber == TrailerRefNumber("Root") ||
        objNumber == TrailerRefNumber("Encrypt")) {
        return GetObject(objNumber);
    }
    std::unique_ptr<core::TqzPDBaseObject> fetched = FReader->Fetch(objNumber);
    if (fetched == nullptr || fetched->IsError()) return nullptr;
    if (fetched->IsDirect()) {
        // Numbered as GetObject would file it.
        fetched->SetObjNumber(objNumber);
        fetched->SetGenNumber(0);
    }
    owned = std::move(fetched);
    return owned.get();
}

core::TqzPDBaseObject* TqzPDBaseDoc::AddToCollection(std::unique_ptr<core::TqzPDBaseObject> object) {
    if (object == nullptr) throw core::ExInvalidObject();
    if (FCollection == nullptr) {
        FCollection = std::make_unique<core::TqzPDCollection>(this);
    }
    core::TqzPDBaseObject* result = object.get();
    FCollection->Add(std::move(object));
    return result;
}

core::TqzPDBaseObject* TqzPDBaseDoc::AddNewObject(std::unique_ptr<core::TqzPDBaseObject> object) {
    if (object == nullptr) throw core::ExInvalidObject();
    const uint32_t number = GetLastObjectNumber() + 1;
    SetLastObjectNumber(number);
    object->SetObjNumber(number);
    object->SetGenNumber(0);
    return AddToCollection(std::move(object));
}

bool TqzPDBaseDoc::IsObjectWritten(uint32_t objNumber) {
    if (objNumber == 0) return false;
    if (FCatalog != nullptr && objNumber == FCatalogNum) return FCatalog->GetIsWritten();
    if (FEncrypt != nullptr && objNumber == FEncryptNum) return FEncrypt->GetIsWritten();
    if (FDocInfo != nullptr && objNumber == FDocInfoNum) return FDocInfo->GetIsWritten();
    if (FCollection == nullptr) return false;
    const core::TqzPDBaseObject* stored = FCollection->GetObject(objNumber);
    return stored != nullptr && stored->GetIsWritten();
}

uint32_t TqzPDBaseDoc::GetLastObjectNumber() const {
    if (FReader != nullptr && FReader->GetXRef() != nullptr) return FReader->GetXRef()->GetLastObjectNumber();
    return FOwnLastObjectNumber;
}

void TqzPDBaseDoc::SetLastObjectNumber(uint32_t value) {
    if (value > core::kMaxObjectNumber) {
        throw core::ExLimitExceeded("Too many objects: the highest object number allowed is " +
                                    core::IntegerToString(core::kMaxObjectNumber));
    }
    if (FReader != nullptr && FReader->GetXRef() != nullptr) {
        FReader->GetXRef()->SetLastObjectNumber(value);
    } else {
        FOwnLastObjectNumber = value;
    }
}

// ---- the trailer's dictionaries ----

core::TqzPDDictionary* TqzPDBaseDoc::GetDocRoot() {
    if (FRoot != nullptr) return FRoot;
    if (FTrailer == nullptr) throw core::ExBadRootObj();
    core::TqzPDDictionary* root = AsDict(FTrailer->LookUp("Root"));
    if (root == nullptr) throw core::ExBadRootObj();
    // A /Pages that leads to no dictionary gives no page tree either.
    if (AsDict(root->LookUp("Pages")) == nullptr) throw core::ExNoPageTreeObj();
    FRoot = root;
    return FRoot;
}

core::TqzPDBaseObject* TqzPDBaseDoc::GetEncrypt() {
    if (FEncryptSearched) return FEncryptObj;
    if (FTrailer == nullptr) return nullptr;
    FEncryptSearched = true;
    core::TqzPDBaseObject* encrypt = FTrailer->LookUp("Encrypt");
    if (encrypt == nullptr || encrypt->IsNull()) return nullptr;
    FEncryptObj = encrypt;
    return FEncryptObj;
}

core::TqzPDDictionary* TqzPDBaseDoc::GetDocInfo() {
    if (FDocInfo != nullptr) return FDocInfo;
    if (FTrailer == nullptr) return nullptr;
    if (core::TqzPDDictionary* info = AsDict(FTrailer->LookUp("Info"))) {
        FDocInfo = info;
        FDocInfoNum = TrailerRefNumber("Info");
        // A creation date written in hexadecimal form is kept as the literal
        // string of its bytes.
        const int32_t index = info->GetDict()->Find("CreationDate");
        if (index >= 0) {
            const core::TqzPDBaseObject* date = info->GetValue(index);
            if (date != nullptr && date->IsString() && static_cast<const core::TqzPDString*>(date)->IsHexString()) {
                const std::string bytes = static_cast<const core::TqzPDString*>(date)->GetBytes();
                info->SetValue(index, std::make_unique<core::TqzPDString>(bytes, false));
                info->SetIsChanged(true);
            }
        }
        return FDocInfo;
    }
    auto info = std::make_unique<core::TqzPDDictionary>(this);
    info->Add("Producer", std::make_unique<core::TqzPDString>(kBaseDocProducer, false));
    core::TqzPDBaseObject* added = AddNewObject(std::move(info));
    FDocInfo = static_cast<core::TqzPDDictionary*>(added);
    FDocInfoNum = added->GetObjNumber();
    FTrailer->SetKeyValue("Info", std::make_unique<core::TqzPDIndirectRef>(FDocInfoNum, 0));
    return FDocInfo;
}

core::TqzPDDictionary* TqzPDBaseDoc::GetTrailer() {
    if (FTrailer != nullptr && FSaveOptions.Full) FTrailer->Remove("Prev");
    return FTrailer.get();
}

core::TqzPDDictionary* TqzPDBaseDoc::GetLinearized() {
    if (FLinearizedSearched || FReader == nullptr) return AsDict(FLinearizedObject.get());
    FLinearizedSearched = true;
    if (FReader->GetStream() == nullptr) return nullptr;
    // A window of its own over the file, so the reader's position is kept.
    core::TqzStreamPtr stream = FReader->GetStream()->MakeSubStream(0, 0, false);
    core::TqzPDParser parser(static_cast<core::TqzParentDocument*>(nullptr),
                             std::make_unique<core::TqzPDLexer>(stream), false);
    // The first "N G obj" followed by a dictionary; only that one is looked at.
    std::unique_ptr<core::TqzPDBaseObject> previous2;
    std::unique_ptr<core::TqzPDBaseObject> previous1;
    for (;;) {
        std::unique_ptr<core::TqzPDBaseObject> token = parser.GetObject();
        if (token->IsEOF()) return nullptr;
        if (token->IsCommand("obj") && previous1 && previous2 && previous1->IsInteger() && previous2->IsInteger()) {
            std::unique_ptr<core::TqzPDBaseObject> object = parser.GetObject();
            if (!object->IsDict()) return nullptr;
            if (static_cast<core::TqzPDDictionary*>(object.get())->LookupRefObj("Linearized") == nullptr) return nullptr;
            FLinearizedObject = std::move(object);
            return AsDict(FLinearizedObject.get());
        }
        previous2 = std::move(previous1);
        previous1 = std::move(token);
    }
}

void TqzPDBaseDoc::GetDocID(std::string& instanceId, std::string& permanentId) {
    if (FTrailer == nullptr) return;
    const core::TqzPDBaseObject* id = FTrailer->LookUp("ID");
    if (id == nullptr || !id->IsArray()) return;
    const auto* array = static_cast<const core::TqzPDArray*>(id);
    if (const core::TqzPDBaseObject* first = array->Get(0); first != nullptr && first->IsString()) {
        instanceId = static_cast<const core::TqzPDString*>(first)->GetString();
    }
    if (const core::TqzPDBaseObject* second = array->Get(1); second != nullptr && second->IsString()) {
        permanentId = static_cast<const core::TqzPDString*>(second)->GetString();
    }
}

void TqzPDBaseDoc::SetDocID(const std::string& instanceId, const std::string& permanentId) {
    if (FTrailer == nullptr) return;
    core::TqzPDBaseObject* id = FTrailer->LookUp("ID");
    if (id == nullptr) {
        auto array = std::make_unique<core::TqzPDArray>(this);
        array->Add(std::make_unique<core::TqzPDString>(instanceId, true));
        array->Add(std::make_unique<core::TqzPDString>(permanentId, true));
        FTrailer->Add("ID", std::move(array));
        return;
    }
    if (!id->IsArray()) return;
    auto* array = static_cast<core::TqzPDArray*>(id);
    const std::string* texts[2] = {&instanceId, &permanentId};
    for (int32_t i = 0; i < 2; ++i) {
        core::TqzPDBaseObject* element = array->GetRefObj(i);
        if (element == nullptr || !element->IsString()) continue;
        auto* string = static_cast<core::TqzPDString*>(element);
        string->SetString(*texts[i]);
        string->SetIsHex(true);
        string->SetObjNumber(core::kDirectObject);
        string->SetGenNumber(core::kDirectObject);
        string->SetIsChanged(false);
    }
}

bool TqzPDBaseDoc::GetNeedAppearance() {
    core::TqzPDDictionary* acroForm = AsDict(GetDocRoot()->LookUp("AcroForm"));
    if (acroForm == nullptr) return false;
    const core::TqzPDBaseObject* need = acroForm->LookUp("NeedAppearances");
    return need != nullptr && need->IsBoolean() && static_cast<const core::TqzPDBoolean*>(need)->GetValue();
}

// ---- saving ----

void TqzPDBaseDoc::SetSaveOptions(const std::string& header, bool incremental, bool full, bool copy,
                                  bool linearize, bool uniDirectional, bool unCompressed, bool compressed,
                                  bool keepModDate) {
    FSaveOptions.Header = header;
    FSaveOptions.Incremental = incremental;
    FSaveOptions.Full = full;
    FSaveOptions.Copy = copy;
    FSaveOptions.Linearize = linearize;
    FSaveOptions.UniDirectional = uniDirectional;
    FSaveOptions.UnCompressed = unCompressed;
    FSaveOptions.Compressed = compressed;
    FSaveOptions.KeepModDate = keepModDate;
}

void TqzPDBaseDoc::PrepareSave() {
    // Every object is written again by this save: the flags of an earlier
    // save would make the writer skip them.
    ClearWritten(FCatalog.get());
    ClearWritten(FRoot);
    ClearWritten(FEncrypt.get());
    ClearWritten(FEncryptObj);
    ClearWritten(FDocInfo);
    if (FCollection != nullptr) {
        for (const uint32_t number : FCollection->GetObjectNumbers()) ClearWritten(FCollection->GetObject(number));
    }

    FOutputSecurity.reset();
    FOutputEncrypt = nullptr;
    if (!FNewUserSettings || FUserEncryptionSettings == nullptr || !FUserEncryptionSettings->Enabled()) return;
    // The objects an update leaves alone keep the file's key: new settings
    // would make them unreadable under the update's dictionary.
    if (FSaveOptions.Incremental && FIsEncrypted) throw core::ExUnsupportedFeature(kIncrementalReencryption);
    std::string creationDate;
    if (core::TqzPDDictionary* info = GetDocInfo()) {
        const core::TqzPDBaseObject* date = info->LookUp("CreationDate");
        if (date != nullptr && date->IsString()) creationDate = static_cast<const core::TqzPDString*>(date)->GetBytes();
    }
    FOutputSecurity = filters::DocumentSecurity::ForOutput(*FUserEncryptionSettings, creationDate);
    auto dict = FOutputSecurity->MakeEncryptDictionary(this);
    FOutputEncrypt = static_cast<core::TqzPDDictionary*>(AddNewObject(std::move(dict)));
    const std::string id = core::StringToHex2(FOutputSecurity->GetFileID());
    SetDocID(id, id);
}

void TqzPDBaseDoc::SaveDocument(platform::Stream& stream) {
    PrepareSave();
    FWriter = std::make_unique<core::TqzPDWriter>(*this);
    try {
        FWriter->SaveDocument(&stream);
    } catch (...) {
        FWriter.reset();
        throw;
    }
    FWriter.reset();
    FDocSaved = true;
}

void TqzPDBaseDoc::SaveDocument(const std::filesystem::path& fileName) {
    if (fileName.empty()) throw core::ExInvalidFileName();
    std::unique_ptr<platform::FileStream> file;
    try {
        file = std::make_unique<platform::FileStream>(fileName, platform::FileMode::Create);
    } catch (const platform::EStreamError& e) {
        throw core::ExFileCreateError(e.what());
    }
    SaveDocument(*file);
    file->Flush();
}

// ---- encryption ----

void TqzPDBaseDoc::SetUserEncryptionSettings(std::unique_ptr<filters::TqzEncryptionSettings> settings) {
    if (settings == nullptr) return;
    FUserEncryptionSettings = std::move(settings);
    FNewUserSettings = true;
}

filters::TqzUserPermissions TqzPDBaseDoc::GetPermissions(filters::TqzUserPermissions userPermissions) {
    using filters::TqzUserPermissionsType;
    if (FEncryptSettings == nullptr) return userPermissions;
    filters::TqzUserPermissions result = FEncryptSettings->UserPermissions();
    const auto raw = static_cast<uint32_t>(FEncryptSettings->Permission());
    const auto grant = [&](uint32_t bit, TqzUserPermissionsType right) {
        if ((raw & (1u << (bit - 1))) != 0 || userPermissions.Contains(right)) result.Include(right);
    };
    grant(3, TqzUserPermissionsType::AllowPrint);
    grant(4, TqzUserPermissionsType::AllowModify);
    grant(5, TqzUserPermissionsType::AllowCopy);
    grant(6, TqzUserPermissionsType::AllowAnnotation);
    if (filters::KeyLength(FEncryptSettings->Level()) == 16) {
        grant(9, TqzUserPermissionsType::AllowFormFill);
        grant(10, TqzUserPermissionsType::AllowAccessibility);
        grant(11, TqzUserPermissionsType::AllowDocAssembly);
        grant(12, TqzUserPermissionsType::AllowHighResPrint);
    }
    FEncryptSettings->SetUserPermissions(result);
    return result;
}

bool TqzPDBaseDoc::HasUserEncryptionSettings() { return FNewUserSettings && FUserEncryptionSettings != nullptr; }

bool TqzPDBaseDoc::IsUserEncryptionEnabled() {
    return HasUserEncryptionSettings() && FUserEncryptionSettings->Enabled();
}

std::string TqzPDBaseDoc::EncryptForOutput(const std::string& bytes, uint32_t objNumber, uint32_t genNumber) {
    if (FOutputSecurity != nullptr) return FOutputSecurity->EncryptString(bytes, objNumber, genNumber);
    if (FIsEncrypted && FSecurity != nullptr) return FSecurity->EncryptString(bytes, objNumber, genNumber);
    return bytes;
}

bool TqzPDBaseDoc::IsStreamEncrypted(const core::TqzPDDictionary& streamDict) {
    return FSecurity == nullptr || FSecurity->IsStreamEncrypted(streamDict);
}

filters::DocumentSecurity* TqzPDBaseDoc::StreamOutputSecurity(const core::TqzPDDictionary* streamDict) const {
    filters::DocumentSecurity* security = FOutputSecurity != nullptr ? FOutputSecurity.get()
                                          : (FIsEncrypted ? FSecurity.get() : nullptr);
    if (security == nullptr) return nullptr;
    if (streamDict != nullptr && !security->IsStreamEncrypted(*streamDict)) return nullptr;
    return security;
}

std::string TqzPDBaseDoc::EncryptStreamForOutput(const std::string& bytes, const core::TqzPDDictionary* streamDict,
                                                 uint32_t objNumber, uint32_t genNumber) {
    filters::DocumentSecurity* security = StreamOutputSecurity(streamDict);
    return security == nullptr ? bytes : security->EncryptStreamData(bytes, objNumber, genNumber);
}

core::TqzStreamPtr TqzPDBaseDoc::EncryptingStreamForOutput(core::TqzStreamPtr plain,
                                                           const core::TqzPDDictionary* streamDict,
                                                           uint32_t objNumber, uint32_t genNumber) {
    filters::DocumentSecurity* security = StreamOutputSecurity(streamDict);
    if (security == nullptr || security->StreamMethod() == filters::CryptMethod::Identity) return plain;
    const filters::CryptMethod method = security->StreamMethod();
    return std::make_shared<filters::TqzEncryptingStream>(
        std::move(plain), method, filters::ObjectKey(security->GetFileKey(), method, objNumber, genNumber));
}

std::string TqzPDBaseDoc::DecryptString(const std::string& bytes, uint32_t objNumber, uint32_t genNumber) {
    // The encryption dictionary itself is never encrypted.
    if (FSecurity == nullptr || (FEncryptNum != 0 && objNumber == FEncryptNum)) return bytes;
    return FSecurity->DecryptString(bytes, objNumber, genNumber);
}

core::TqzStreamPtr TqzPDBaseDoc::MakeDecryptStream(core::TqzStreamPtr raw, uint32_t objNumber, uint32_t genNumber) {
    if (FSecurity == nullptr) return raw;
    return FSecurity->MakeDecryptStream(std::move(raw), objNumber, genNumber);
}

core::TqzPDDictionary* TqzPDBaseDoc::GetEncryptionDict() {
    if (FOutputEncrypt != nullptr) return FOutputEncrypt;
    if (!FIsEncrypted) return nullptr;
    core::TqzPDDictionary* loaded = AsDict(FEncryptObj);
    if (loaded == nullptr) return nullptr;
    if (loaded->IsDirect()) {
        // The writer needs an indirect object; the trailer's own direct
        // dictionary is written as one.
        auto copy = loaded->Clone();
        FOutputEncrypt = static_cast<core::TqzPDDictionary*>(AddNewObject(std::move(copy)));
        return FOutputEncrypt;
    }
    return loaded;
}

// ---- signing ----

core::TqzSignature& TqzPDBaseDoc::GetSignature() {
    if (FSignature == nullptr) FSignature = std::make_unique<core::TqzSignature>();
    return *FSignature;
}

}  // namespace qz::document
