// The standard security handler: an encryption dictionary and a file
// identifier as PDF text, and a password. The first line of the input is the
// password; the rest holds the dictionary, then the identifier array. With
// the password accepted, strings and stream data are decrypted.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

#include "core/FileStream.h"
#include "core/MemoryStream.h"
#include "core/PDDictionary.h"
#include "core/PDLexer.h"
#include "core/PDParser.h"
#include "core/ParentDocument.h"
#include "filters/DocumentSecurity.h"
#include "filters/EncryptionSettings.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qz::fuzz::Setup();
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t newline = input.find('\n');
    const std::string password = input.substr(0, newline);
    const std::string text = newline == std::string::npos ? std::string() : input.substr(newline + 1);
    auto file = std::make_shared<qz::core::TqzFileStream>(
        std::make_shared<qz::platform::MemoryStream>(text), 0, 0, false);
    qz::core::TqzPDParser parser(static_cast<qz::core::TqzParentDocument*>(nullptr), std::make_unique<qz::core::TqzPDLexer>(file), false);
    const std::unique_ptr<qz::core::TqzPDBaseObject> dict = parser.GetObject();
    const std::unique_ptr<qz::core::TqzPDBaseObject> id = parser.GetObject();
    if (!dict->IsDict()) return 0;
    try {
        auto security = qz::filters::DocumentSecurity::FromDictionary(
            static_cast<const qz::core::TqzPDDictionary&>(*dict), id.get());
        qz::filters::TqzEncryptionSettings settings;
        if (!security->CheckPassword(settings, password)) return 0;
        security->FillFileSettings(settings);
        // What is decrypted is the input itself: any length, any bytes.
        security->DecryptString(input, 7, 0);
        auto stream = security->MakeDecryptStream(std::make_shared<qz::core::TqzMemoryStream>(input), 7, 0);
        qz::fuzz::ReadBounded(*stream);
        // And what is encrypted again for output reads back.
        const std::string encrypted = security->EncryptString(password, 3, 0);
        if (security->DecryptString(encrypted, 3, 0) != password) std::abort();
    } catch (const std::exception&) {
        // An unsupported handler or a damaged dictionary: a clean refusal.
    }
    return 0;
}
