#include "core/PDWriter.h"

#include <chrono>
#include <cmath>
#include <limits>
#include <new>
#include <vector>

#include "core/Conversions.h"
#include "core/Limits.h"
#include "core/PDBaseExceptions.h"
#include "core/PDDictionary.h"
#include "core/PDIndirectRef.h"
#include "core/PDInteger.h"
#include "core/PDName.h"
#include "core/PDReader.h"
#include "core/PDString.h"

namespace qz::core {

namespace {

// Written when the document gives no header; every feature the writer
// produces is within this version.
constexpr const char* kDefaultHeader = "%PDF-1.7\r\n";
// The binary comment line after the header: "%" and four bytes above 127,
// so that transfer programs treat the file as binary.
constexpr const char* kBinaryComment = "%\xE2\xE3\xCF\xD3\r\n";
// The end-of-file marker is looked for in this many last bytes of the
// loaded file.
constexpr int64_t kEOFSearchBytes = 24;
// How far after a placeholder's "<<" its dictionary may end: the signature
// text, the reserved digits and the byte range, with ample room.
constexpr int64_t kMaxPlaceholderBytes = 1 << 20;

// A non-owning handle on a stream the caller keeps.
std::shared_ptr<platform::Stream> Borrow(platform::Stream* stream) {
    return std::shared_ptr<platform::Stream>(stream, [](platform::Stream*) {});
}

bool HasCRLF(const std::string& text) { return text.find("\r\n") != std::string::npos; }

// Days since 1899-12-30 (the time as the fraction) as calendar fields.
TqzDate DateTimeToDate(double value) {
    using namespace std::chrono;
    // Four-digit years only: the PDF date form has no room for more.
    constexpr double kFirstDay = -693593;  // 0001-01-01
    constexpr double kLastDay = 2958465;   // 9999-12-31
    if (!std::isfinite(value) || value < kFirstDay || value >= kLastDay + 1) {
        throw EBrevanto("Signing date out of range");
    }
    // Whole days count from 1899-12-30; the time of day is the fraction's
    // magnitude, also for days before that.
    const double whole = std::trunc(value);
    const double fraction = std::fabs(value - whole);
    const year_month_day ymd{sys_days{1899y / December / 30} + days{static_cast<int64_t>(whole)}};
    auto seconds = static_cast<int64_t>(std::llround(fraction * 86400.0));
    if (seconds >= 86400) seconds = 86399;
    TqzDate date;
    date.Year = static_cast<uint16_t>(static_cast<int>(ymd.year()));
    date.Month = static_cast<uint16_t>(static_cast<unsigned>(ymd.month()));
    date.Day = static_cast<uint16_t>(static_cast<unsigned>(ymd.day()));
    date.Hour = static_cast<uint16_t>(seconds / 3600);
    date.Minute = static_cast<uint16_t>(seconds / 60 % 60);
    date.Second = static_cast<uint16_t>(seconds % 60);
    return date;
}

}  // namespace

TqzPDWriter::TqzPDWriter(TqzWriterDocument& parentDoc) : FEOFBytes("%%EOF"), FParentDoc(parentDoc) {}

TqzPDWriter::~TqzPDWriter() = default;

TqzPDDictionary* TqzPDWriter::GetEncryptionDict() { return FParentDoc.GetEncryptionDict(); }

void TqzPDWriter::WriteBytes(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const auto chunk = static_cast<uint32_t>(std::min<size_t>(bytes.size() - done, size_t{1} << 30));
        FStream->Write(reinterpret_cast<const uint8_t*>(bytes.data() + done), chunk);
        done += chunk;
    }
}

std::string TqzPDWriter::ReadOutput(int64_t offset, int64_t count) {
    std::string bytes;
    if (count <= 0) return bytes;
    bytes.resize(static_cast<size_t>(count));
    FFile->SetPosition(offset);
    const int64_t got = FFile->Read(bytes.data(), count);
    bytes.resize(static_cast<size_t>(std::max<int64_t>(got, 0)));
    return bytes;
}

void TqzPDWriter::WriteOutputAt(int64_t offset, const std::string& bytes) {
    FFile->SetPosition(offset);
    FFile->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

void TqzPDWriter::SaveDocument(const std::filesystem::path& fileName) {
    if (fileName.empty()) throw ExInvalidFileName();
    std::unique_ptr<platform::FileStream> file;
    try {
        file = std::make_unique<platform::FileStream>(fileName, platform::FileMode::Create);
    } catch (const platform::EStreamError& e) {
        throw ExFileCreateError(e.what());
    }
    SaveDocument(file.get());
    file->Flush();
}

void TqzPDWriter::SaveDocument(platform::Stream* stream) {
    if (!stream) throw ExInvalidStream();
    const bool signing = FParentDoc.GetSignDoc();
    if (signing && !FParentDoc.GetSigningService()) throw ExUnsupportedFeature(kSigningUnavailable);

    FFile = stream;
    FStream = std::make_unique<TqzFileStream>(Borrow(stream), 0, 0, false);
    FXRef = std::make_unique<TqzPDXRef>();
    FEOFBytes = "%%EOF";
    TqzPDReader* reader = FParentDoc.GetReader();
    TqzPDXRef* readerXRef = reader ? reader->GetXRef() : nullptr;
    if (readerXRef) FXRef->AddDefaultEntries(readerXRef->GetSize());

    if (signing) {
        TqzPDSaveOptions options;
        options.Header = "%PDF-1.5\r\n";
        // The first save writes the placeholder in full; later ones append.
        options.Incremental = FParentDoc.GetIsSigned();
        options.Full = !options.Incremental;
        options.UniDirectional = true;
        options.Compressed = true;
        options.KeepModDate = true;
        FParentDoc.SetSaveOptions(options);
    }
    const TqzPDSaveOptions options = FParentDoc.GetSaveOptions();
    const bool incremental = options.Incremental;
    if (incremental) {
        InitIncremental();
    } else {
        // A save that asks for neither form is written in full: only that
        // makes a complete file.
        InitFull();
    }

    TqzPDDictionary* root = FParentDoc.GetDocRoot();
    if (!root) throw ExBadRootObj();
    TqzPDDictionary* info = FParentDoc.GetDocInfo();
    // The catalog and the information dictionary are referenced from the
    // trailer, so they must be indirect objects; a direct one (possible in a
    // malformed file) is written under a new number.
    for (TqzPDDictionary* dict : {root, info}) {
        if (dict && dict->IsDirect()) {
            dict->SetObjNumber(0);
            dict->SetGenNumber(0);
            dict->SetIsChanged(true);
        }
    }
    root->SaveToStream(*FStream, incremental, *FXRef);
    if (info) info->SaveToStream(*FStream, incremental, *FXRef);

    TqzPDDictionary* trailer = FParentDoc.GetTrailer();
    TqzPDBaseObject* encrypt = FParentDoc.GetEncrypt();
    if (TqzPDDictionary* encryptionDict = GetEncryptionDict()) {
        if (trailer && !encryptionDict->IsDirect()) {
            trailer->SetKeyValue("Encrypt", std::make_unique<TqzPDIndirectRef>(encryptionDict->GetObjNumber(),
                                                                               encryptionDict->GetGenNumber()));
        }
        // A direct dictionary goes into the trailer itself.
        if (!encryptionDict->IsDirect()) encryptionDict->SaveToStream(*FStream, incremental, *FXRef);
        if (encrypt && encrypt != encryptionDict) encrypt->SetIsWritten(true);
    } else if (encrypt && !encrypt->IsDirect()) {
        encrypt->SaveToStream(*FStream, incremental, *FXRef);
    }

    // A signed update of a file whose sections are streams goes on in that
    // form; the stream's dictionary then serves as the trailer.
    if (readerXRef && readerXRef->GetWriteAsStream()) FXRef->SetWriteAsStream(true);
    if (FXRef->GetWriteAsStream() && signing && incremental) {
        auto entries = MakeTrailerEntries(incremental, trailer, root);
        auto prev = std::make_unique<TqzPDInteger>(0);
        prev->SetValue(readerXRef->GetStartXref());
        entries->Add("Prev", std::move(prev));
        FXRef->SaveToStream(*FStream, entries.get());
    } else {
        FXRef->SaveToStream(*FStream);
        WriteTrailer(incremental, trailer, root);
    }
    WriteBytes("startxref\r\n" + IntegerToString(FXRef->GetStartXrefValue()) + "\r\n" + FEOFBytes);
    if (signing) WriteSignature();
    if (auto* file = dynamic_cast<platform::FileStream*>(FFile)) file->Flush();
}

void TqzPDWriter::InitFull() {
    TqzPDReader* reader = FParentDoc.GetReader();
    // Objects not yet read would be overwritten before they are copied.
    if (reader && reader->GetFileStream() == FFile) throw EBrevanto(kOverwritesLoadedFile);
    if (FFile && FFile->Size() > 0) FFile->SetSize(0);
    FStream->SetPosition(0, SeekOrigin::Beginning);
    std::string header = FParentDoc.GetSaveOptions().Header;
    if (header.empty()) header = kDefaultHeader;
    // The binary comment must start a line of its own.
    if (header.back() != '\n' && header.back() != '\r') header += "\r\n";
    WriteBytes(header);
    WriteBytes(kBinaryComment);
    FXRef->SetStartObjectNumber(0);
    FXRef->SetLastObjectNumber(0);
    if (!HasCRLF(FEOFBytes)) {
        WriteBytes("\r\n");
        FEOFBytes = "%%EOF\r\n";
    }
}

void TqzPDWriter::InitIncremental() {
    TqzPDReader* reader = FParentDoc.GetReader();
    TqzPDXRef* readerXRef = reader ? reader->GetXRef() : nullptr;
    platform::Stream* loaded = reader ? reader->GetFileStream() : nullptr;
    if (!readerXRef || !loaded) throw EBrevanto(kNoLoadedFile);
    if (loaded == FFile) {
        // Updating the loaded file in place: its bytes are already there.
        FStream->SetPosition(0, SeekOrigin::End);
    } else {
        if (FFile->Size() > 0) FFile->SetSize(0);
        FStream->SetPosition(0, SeekOrigin::Beginning);
        TqzFileStream source(Borrow(loaded), 0, 0, false);
        FStream->CopyAll(source);
    }
    const int64_t size = FStream->GetPosition();
    const int64_t tailStart = std::max<int64_t>(0, size - kEOFSearchBytes);
    const std::string tail = ReadOutput(tailStart, size - tailStart);
    FStream->SetPosition(size, SeekOrigin::Beginning);
    const size_t marker = tail.find("%%EOF");
    FEOFBytes = marker == std::string::npos || marker == 0 ? "%%EOF" : tail.substr(marker);
    if (!HasCRLF(FEOFBytes)) {
        WriteBytes("\r\n");
        FEOFBytes = "%%EOF\r\n";
    }
    FXRef->SetStartObjectNumber(static_cast<int32_t>(readerXRef->GetLastObjectNumber() + 1));
    FXRef->SetLastObjectNumber(readerXRef->GetLastObjectNumber());
}

std::unique_ptr<TqzPDDictionary> TqzPDWriter::MakeTrailerEntries(bool incremental, TqzPDDictionary* trailer,
                                                                 TqzPDDictionary* root) {
    auto out = std::make_unique<TqzPDDictionary>();
    for (const char* key : {"Root", "Info", "Encrypt"}) {
        // The catalog is the one just written, whatever the trailer holds.
        TqzPDBaseObject* stored = trailer ? trailer->LookupRefObj(key) : nullptr;
        TqzPDBaseObject* target = std::string_view(key) == "Root" ? root : stored;
        if (stored && stored->IsIndirectRef() && target == stored) target = FParentDoc.GetObject(stored->GetObjNumber());
        if (!target || target->IsNull() || target->IsToken()) continue;
        if (target->IsDirect()) {
            // Only the encryption dictionary may stand in the trailer itself.
            if (std::string_view(key) == "Encrypt") out->Add(key, target->Clone());
            continue;
        }
        // In a full save every number is new: an object not written in it
        // has no number in the new file.
        if (!incremental && !target->GetIsWritten()) continue;
        out->Add(key, std::make_unique<TqzPDIndirectRef>(target->GetObjNumber(), target->GetGenNumber()));
    }
    const TqzPDBaseObject* id = trailer ? trailer->LookUp("ID") : nullptr;
    if (id && !id->IsNull() && !id->IsToken()) {
        out->Add("ID", id->Clone());
    }
    return out;
}

void TqzPDWriter::WriteTrailer(bool incremental, TqzPDDictionary* trailer, TqzPDDictionary* root) {
    WriteBytes("trailer\r\n");
    TqzPDDictionary dict;
    auto size = std::make_unique<TqzPDInteger>(0);
    size->SetValue(int64_t{FXRef->GetLastObjectNumber()} + 1);
    dict.Add("Size", std::move(size));
    TqzPDReader* reader = FParentDoc.GetReader();
    if (incremental && reader && reader->GetXRef()) {
        auto prev = std::make_unique<TqzPDInteger>(0);
        prev->SetValue(reader->GetXRef()->GetStartXref());
        dict.Add("Prev", std::move(prev));
    }
    const auto entries = MakeTrailerEntries(incremental, trailer, root);
    for (int32_t i = 0; i < entries->GetLength(); ++i) {
        dict.Add(entries->GetKey(i), entries->GetValueRefObj(i)->Clone());
    }
    dict.SaveToStream(*FStream, incremental, *FXRef);
    WriteBytes("\r\n");
}

// ---- signature fill ----

uint32_t TqzPDWriter::GetSigDictOffset() {
    TqzSigningService* service = FParentDoc.GetSigningService();
    if (!service) return 0;
    uint32_t number = 0;
    uint32_t generation = 0;
    if (!service->FindSignatureDictionary(*FFile, FParentDoc.GetPassword(), number, generation)) return 0;
    // Only a dictionary written in this save has a known place.
    const TqzPDXRefEntry* entry = FXRef->FindEntry(number);
    if (!entry || entry->GetEntryType() != TqzPDXRefEntrytype::xeUnCompressed) return 0;
    const std::string head = IntegerToString(number) + " " + IntegerToString(generation) + " obj\r\n<<";
    if (ReadOutput(entry->GetOffset(), static_cast<int64_t>(head.size())) != head) return 0;
    const int64_t offset = int64_t{entry->GetOffset()} + static_cast<int64_t>(head.size());
    // The dictionary ends with the ">>" before its "endobj".
    const std::string body = ReadOutput(offset, kMaxPlaceholderBytes);
    const size_t end = body.find(">>\r\nendobj");
    if (end == std::string::npos) return 0;
    FSigObjNumber = number;
    FSigGenNumber = generation;
    FSigDictEnd = offset + static_cast<int64_t>(end);
    return static_cast<uint32_t>(offset);
}

std::string TqzPDWriter::SignatureText(uint32_t objNumber, uint32_t genNumber) {
    const TqzSignature& signature = FParentDoc.GetSignature();
    const bool encrypts = FParentDoc.EncryptsOutput();
    // Settings are text of the caller's: written as strings that read back as
    // exactly that text, encrypted like every string of an encrypted file.
    auto string = [&](const std::string& text) {
        std::string out(1, encrypts ? '<' : '(');
        out += encrypts ? StringToHex2(FParentDoc.EncryptForOutput(text, objNumber, genNumber)) : EscapeLiteral(text);
        out += encrypts ? '>' : ')';
        return out;
    };
    std::string text = "/Type /Sig /Filter /" + EncodeName(signature.Filter) + " /SubFilter /" +
                       EncodeName(signature.Subfilter);
    if (!signature.Author.empty()) text += " /Name " + string(signature.Author);
    if (!signature.Reason.empty()) text += " /Reason " + string(signature.Reason);
    if (!signature.Location.empty()) text += " /Location " + string(signature.Location);
    if (!signature.ContactInfo.empty()) text += " /ContactInfo " + string(signature.ContactInfo);
    if (signature.DateTime != 0) text += "/M " + string(DateToPDFString(DateTimeToDate(signature.DateTime)));
    text += " /Contents<";
    return text;
}

void TqzPDWriter::WriteSignature() {
    const uint32_t offset = GetSigDictOffset();
    // Saving a document marked for signing without signing it would report
    // success for a file whose signature is an empty placeholder.
    if (offset == 0) throw EBrevanto("Signing failed: the written file holds no signature placeholder");
    const std::string text = SignatureText(FSigObjNumber, FSigGenNumber);
    const int64_t b = int64_t{offset} + static_cast<int64_t>(text.size()) - 1;
    const int64_t c = b + kSignatureHexDigits + 2;
    const int64_t size = FFile->Size();
    const int64_t d = size - c;
    const std::string byteRange = "/ByteRange [0 " + IntegerToString(b) + " " + IntegerToString(c) + " " +
                                  IntegerToString(d) + "]";
    // Everything written must fit in the placeholder, before its ">>".
    if (c + static_cast<int64_t>(byteRange.size()) > FSigDictEnd || d < 0 ||
        c > int64_t{std::numeric_limits<uint32_t>::max()}) {
        throw EBrevanto("Signing failed: the signature settings do not fit in the signature placeholder");
    }
    WriteOutputAt(offset, text);
    WriteOutputAt(c, byteRange);
    WriteSignatureContents(0, static_cast<uint32_t>(b), static_cast<uint32_t>(d), static_cast<uint32_t>(c));
}

void TqzPDWriter::WriteSignatureContents(uint32_t start, uint32_t length1, uint32_t length2, uint32_t offset2) {
    TqzSigningService* service = FParentDoc.GetSigningService();
    if (!service) throw ExUnsupportedFeature(kSigningUnavailable);
    std::string signedBytes;
    try {
        signedBytes.reserve(size_t{length1} + length2);
    } catch (const std::bad_alloc&) {
        throw ExOutOfMemory();
    }
    signedBytes += ReadOutput(start, length1);
    signedBytes += ReadOutput(offset2, length2);
    if (signedBytes.size() != size_t{length1} + length2) throw EBrevanto("Signing failed: the written file is short");
    const std::string message = service->Sign(signedBytes, FParentDoc.GetSignature());
    if (message.empty()) throw EBrevanto("Signing failed: the signature services made no signature");
    std::string hex = GetHexOfStr(message, message.size());
    if (hex.size() > kSignatureHexDigits) {
        throw EBrevanto("Signing failed: the signature is longer than the " + IntegerToString(kSignatureHexDigits) +
                        " hexadecimal digits reserved for it");
    }
    hex.append(kSignatureHexDigits - hex.size(), '0');
    hex += ">";
    WriteOutputAt(int64_t{start} + length1 + 1, hex);
    if (auto* file = dynamic_cast<platform::FileStream*>(FFile)) file->Flush();
}

}  // namespace qz::core
