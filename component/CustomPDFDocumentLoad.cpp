// Loading and passwords of the document component.

#include <limits>
#include <system_error>

#include "component/ComponentExceptions.h"
#include "component/CustomPDFDocument.h"
#include "document/PDModelException.h"
#include "platform/CodePage.h"
#include "platform/ReopeningFileStream.h"

namespace qz::component {

namespace {

using filters::TqzUserPermissionsType;
using PublishedLevel = filters::published::TqzPDFEncryptionLevel;

// The component's user permissions and the rights of the model's record
// that each stands for, in both directions.
struct PermissionLink {
    TqzUserPermissionsType permission;
    bool document::TqzPDPermissions::*right;
};
constexpr PermissionLink kPermissionLinks[] = {
    {TqzUserPermissionsType::AllowCopy, &document::TqzPDPermissions::CopyText},
    {TqzUserPermissionsType::AllowModify, &document::TqzPDPermissions::ModifyContents},
    {TqzUserPermissionsType::AllowPrint, &document::TqzPDPermissions::Print},
    {TqzUserPermissionsType::AllowAnnotation, &document::TqzPDPermissions::ModifyTextAnnots},
    {TqzUserPermissionsType::AllowFormFill, &document::TqzPDPermissions::FillForms},
    {TqzUserPermissionsType::AllowAccessibility, &document::TqzPDPermissions::PrintToDigitalCopy},
    {TqzUserPermissionsType::AllowDocAssembly, &document::TqzPDPermissions::AssmbleDoc},
    {TqzUserPermissionsType::AllowHighResPrint, &document::TqzPDPermissions::PrintHighQuality},
};

}  // namespace

bool TqzCustomPDFDocument::LoadFromFile(const std::filesystem::path& fileName, const std::string& password) {
    std::error_code error;
    if (fileName.empty() || !std::filesystem::exists(fileName, error)) throw EFileNotFound();
    // Whatever the state, nothing of the earlier document survives a load.
    Reset();
    // A merge may hold thousands of sources open: their descriptors are
    // pooled and handed back while idle when the process runs short.
    FStream = std::make_shared<platform::ReopeningFileStream>(fileName);
    FLoadedFromFile = true;
    const bool result = LoadLoadedStream(password);
    FWorkFilename = FFilename = fileName.string();
    FFileSize = FStream != nullptr ? FStream->Size() : 0;
    return result;
}

bool TqzCustomPDFDocument::LoadFromStream(platform::Stream& stream, const std::string& password) {
    Reset();
    // The caller's stream is copied whole and not used again.
    auto copy = std::make_shared<platform::MemoryStream>();
    copy->CopyFrom(stream, 0);
    copy->SetPosition(0);
    FStream = std::move(copy);
    FLoadedFromFile = false;
    return LoadLoadedStream(password);
}

bool TqzCustomPDFDocument::LoadLoadedStream(const std::string& password) {
    document::TqzPDDocument& model = Model();
    try {
        model.SetPassword(platform::Utf8ToCodePage(password));
        // Each refused password is answered by the handler and tried again
        // on the same data; the loop ends with an accepted password, a
        // handler that gives up, or any other error.
        for (;;) {
            if (OnBeginRead) OnBeginRead(this);
            try {
                FStream->SetPosition(0);
                model.LoadDocument(FStream, false, false);
                break;
            } catch (const document::ExPasswordRequired&) {
                // Without a handler the refusal reaches the caller: there is
                // no document to go on with.
                if (!OnPassword) throw;
                Authorize(true);
                model.Authorize(FPermissions, platform::Utf8ToCodePage(FPassword));
                if (!FContinue) {
                    FIsLoaded = false;
                    FContinue = true;
                    return false;
                }
                model.SetPassword(platform::Utf8ToCodePage(FPassword));
            }
        }
    } catch (...) {
        FIsLoaded = false;
        FStream.reset();
        FLoadedFromFile = false;
        throw;
    }

    FIsEncrypted = model.GetIsEncrypted();
    FEncryption.SetEnabled(FIsEncrypted);
    // Rights are only added: those already in the settings stay.
    const document::TqzPDPermissions rights = model.GetPermission();
    filters::TqzUserPermissions permissions = FEncryption.UserPermissions();
    for (const PermissionLink& link : kPermissionLinks) {
        if (rights.*link.right) permissions.Include(link.permission);
    }
    FEncryption.SetUserPermissions(permissions);
    if (FIsEncrypted) Authorize(false);
    FIsLoaded = true;
    FContinue = true;
    FFileSize = FStream->Size();
    if (OnEndRead) OnEndRead(this);
    DoDocumentChanged(kDocumentLoadedMessage);
    return true;
}

void TqzCustomPDFDocument::Authorize(bool forDocOpen) {
    if (!OnPassword && !FEncryption.Enabled()) return;
    if (forDocOpen && OnPassword) OnPassword(this, FPassword, FContinue, FTries);
    // A handler that never gives up cannot overflow the count.
    if (FTries < std::numeric_limits<int32_t>::max()) ++FTries;
    if (!FContinue && !FEncryption.Enabled()) return;
    FPermissions.OwnerPassword = platform::Utf8ToCodePage(FEncryption.OwnerPassword());
    FPermissions.UserPassword = platform::Utf8ToCodePage(FEncryption.UserPassword());
    FPermissions.Level = FEncryption.Level() == PublishedLevel::el40bit ? filters::TqzPDFEncryptionLevel::elRC4_40Bit
                                                                         : filters::TqzPDFEncryptionLevel::elRC4_128Bit;
    const filters::TqzUserPermissions permissions = FEncryption.UserPermissions();
    for (const PermissionLink& link : kPermissionLinks) {
        if (permissions.Contains(link.permission)) FPermissions.*link.right = true;
    }
    FPermissions.Enable = FEncryption.Enabled();
}

}  // namespace qz::component
