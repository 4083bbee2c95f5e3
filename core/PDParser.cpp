#include "core/PDParser.h"

#include <algorithm>

#include "core/Conversions.h"
#include "core/FilterHooks.h"
#include "core/Limits.h"
#include "core/PDArray.h"
#include "core/PDBaseExceptions.h"
#include "core/PDCommand.h"
#include "core/PDDictionary.h"
#include "core/PDError.h"
#include "core/PDIndirectRef.h"
#include "core/PDInteger.h"
#include "core/PDName.h"
#include "core/PDNull.h"
#include "core/PDStream.h"
#include "core/PDString.h"
#include "core/PDXRef.h"
#include "core/ParentDocument.h"

namespace qz::core {

namespace {

// A stream whose /Length is wrong is read this much further than /Length (or
// the search) said, and its filters decode what they can.
constexpr int64_t kLengthSlack = 5000;

}  // namespace

TqzPDParser::TqzPDParser(TqzPDXRef* xref, std::unique_ptr<TqzPDLexer> lexer, bool allowStreams,
                         int64_t start)
    : FXRef(xref),
      FParentDoc(xref ? xref->GetParentDoc() : nullptr),
      FLexer(std::move(lexer)),
      FAllowStreams(allowStreams) {
    Init(start);
}

TqzPDParser::TqzPDParser(TqzParentDocument* parentDoc, std::unique_ptr<TqzPDLexer> lexer,
                         bool allowStreams, int64_t start)
    : FXRef(nullptr), FParentDoc(parentDoc), FLexer(std::move(lexer)), FAllowStreams(allowStreams) {
    Init(start);
}

TqzPDParser::~TqzPDParser() = default;

void TqzPDParser::Init(int64_t start) {
    if (start == kRewind) {
        FLexer->Reset();
    } else {
        FLexer->SetPosition(start);
    }
    FOffset1 = 0;
    FBufObject1 = FLexer->GetObject();
    FOffset2 = FLexer->GetCurrentObjOffset();
    FBufObject2 = FLexer->GetObject();
    FOffset3 = FLexer->GetCurrentObjOffset();
}

void TqzPDParser::Shift() {
    // Once ID moves into the current token the bytes after it are image
    // data: placeholders stand in for tokens until the caller has read them.
    if (FInlineImage <= 0 && FBufObject2->IsCommand("ID")) {
        FLexer->SkipChar();
        FInlineImage = 1;
    } else if (FInlineImage > 0) {
        FInlineImage = FInlineImage == 1 ? 2 : 0;
    }
    FOffset1 = FOffset2;
    FOffset2 = FOffset3;
    FBufObject1 = std::move(FBufObject2);
    if (FInlineImage <= 0) {
        FBufObject2 = FLexer->GetObject();
    } else {
        FBufObject2 = std::make_unique<TqzPDNull>();
    }
    FOffset3 = FLexer->GetCurrentObjOffset();
}

std::unique_ptr<TqzPDBaseObject> TqzPDParser::GetObject(std::string_view fileKey, uint32_t objNum,
                                                        uint32_t genNum) {
    if (FInlineImage == 2) {
        FBufObject1 = FLexer->GetObject();
        FOffset2 = FLexer->GetCurrentObjOffset();
        FBufObject2 = FLexer->GetObject();
        FOffset3 = FLexer->GetCurrentObjOffset();
        FInlineImage = 0;
    }
    return ParseObject(fileKey, objNum, genNum, 0);
}

std::unique_ptr<TqzPDBaseObject> TqzPDParser::ParseObject(std::string_view fileKey, uint32_t objNum,
                                                          uint32_t genNum, int32_t depth) {
    TqzPDBaseObject& token = *FBufObject1;
    if (token.IsCommand()) {
        if (token.IsCommand("[")) return ParseArray(fileKey, objNum, genNum, depth);
        if (token.IsCommand("<<")) return ParseDictionary(fileKey, objNum, genNum, depth);
    } else if (token.IsInteger()) {
        const auto value = static_cast<uint32_t>(static_cast<TqzPDInteger&>(token).GetValue());
        // The token is the integer handed out, unless a reference follows:
        // one object per number instead of a token and a copy.
        auto number = std::move(FBufObject1);
        Shift();
        if (FBufObject1->IsInteger() && FBufObject2->IsCommand("R")) {
            const auto generation =
                static_cast<uint32_t>(static_cast<TqzPDInteger&>(*FBufObject1).GetValue());
            Shift();
            Shift();
            return std::make_unique<TqzPDIndirectRef>(value, generation);
        }
        return number;
    } else if (token.IsString() && !fileKey.empty()) {
        return DecryptString(objNum, genNum);
    }
    // Every other token is handed out as it stands; the end token stays in
    // place behind it, so every later call gives an end token too.
    auto result = std::move(FBufObject1);
    Shift();
    return result;
}

std::unique_ptr<TqzPDBaseObject> TqzPDParser::ParseArray(std::string_view fileKey, uint32_t objNum,
                                                         uint32_t genNum, int32_t depth) {
    if (depth >= kMaxNestingDepth) return SkipTooDeep();
    Shift();
    auto array = std::make_unique<TqzPDArray>(FParentDoc);
    while (!FBufObject1->IsCommand("]") && !IsEnd(*FBufObject1)) {
        if (AtObjectBoundary()) return array;
        array->Add(ParseObject(fileKey, objNum, genNum, depth + 1));
    }
    Shift();
    return array;
}

std::unique_ptr<TqzPDBaseObject> TqzPDParser::ParseDictionary(std::string_view fileKey,
                                                              uint32_t objNum, uint32_t genNum,
                                                              int32_t depth) {
    if (depth >= kMaxNestingDepth) return SkipTooDeep();
    Shift();
    auto dict = std::make_unique<TqzPDDictionary>(FParentDoc);
    // A string /Contents is kept as stored until the whole dictionary shows
    // whether it is a signature's, which is never encrypted.
    bool heldContents = false;
    auto settleContents = [&] {
        if (heldContents && !IsSignatureDictionary(*dict))
            DecryptHeldContents(*dict, objNum, genNum);
    };
    while (!FBufObject1->IsCommand(">>") && !IsEnd(*FBufObject1)) {
        if (AtObjectBoundary()) {
            settleContents();
            return dict;
        }
        if (!FBufObject1->IsName()) {
            Shift();
            continue;
        }
        const std::string key = static_cast<TqzPDName&>(*FBufObject1).GetValue();
        Shift();
        if (IsEnd(*FBufObject1) || FBufObject1->IsError()) break;
        if (AtObjectBoundary()) {
            settleContents();
            return dict;
        }
        // A last key without a value holds null: the ">>" ends the
        // dictionary, or it would read on into whatever follows.
        if (FBufObject1->IsCommand(">>")) {
            dict->Add(key, std::make_unique<TqzPDNull>());
            break;
        }
        const bool hold = !fileKey.empty() && key == "Contents" && FBufObject1->IsString();
        heldContents = heldContents || hold;
        dict->Add(key, ParseObject(hold ? std::string_view() : fileKey, objNum, genNum, depth + 1));
    }
    settleContents();
    if (FAllowStreams && FBufObject2->IsCommand("stream")) {
        auto stream = MakeSubStream(std::move(dict), objNum, genNum);
        if (!stream) return std::make_unique<TqzPDError>();
        return stream;
    }
    Shift();
    return dict;
}

std::unique_ptr<TqzPDBaseObject> TqzPDParser::SkipTooDeep() {
    // Counted, not recursed into: the value is passed over to its matching
    // close, so the rest of the object around it still reads.
    int64_t open = 0;
    do {
        if (IsEnd(*FBufObject1) || AtObjectBoundary()) break;
        if (FBufObject1->IsCommand("[") || FBufObject1->IsCommand("<<")) {
            ++open;
        } else if (FBufObject1->IsCommand("]") || FBufObject1->IsCommand(">>")) {
            --open;
        }
        Shift();
    } while (open > 0);
    return std::make_unique<TqzPDNull>();
}

bool TqzPDParser::AtObjectBoundary() {
    if (!FStopAtObjects) return false;
    const TqzPDBaseObject& token = *FBufObject1;
    if (token.IsCommand()) {
        for (const char* keyword : {"obj", "endobj", "endstream", "trailer", "xref", "startxref"}) {
            if (token.IsCommand(keyword)) return true;
        }
        return false;
    }
    if (!token.IsInteger() || !FBufObject2->IsInteger() || FInlineImage > 0) return false;
    // Two integers: a header when "obj" follows.
    return FLexer->NextIsKeyword("obj");
}

std::unique_ptr<TqzPDBaseObject> TqzPDParser::DecryptString(uint32_t objNum, uint32_t genNum) {
    std::unique_ptr<TqzPDBaseObject> result = std::move(FBufObject1);
    if (FParentDoc && FParentDoc->GetIsEncrypted()) {
        result = Decrypted(static_cast<const TqzPDString&>(*result), objNum, genNum);
    }
    Shift();
    return result;
}

std::unique_ptr<TqzPDString> TqzPDParser::Decrypted(const TqzPDString& stored, uint32_t objNum,
                                                    uint32_t genNum) {
    // Ciphertext is bytes: hexadecimal digits are converted without any
    // text interpretation.
    const std::string cipher =
        stored.IsHexString() ? HexToByteArray(stored.GetString()) : stored.GetString();
    return std::make_unique<TqzPDString>(FParentDoc->DecryptString(cipher, objNum, genNum),
                                         stored.GetObjNumber(), stored.GetGenNumber(), false);
}

void TqzPDParser::DecryptHeldContents(TqzPDDictionary& dict, uint32_t objNum, uint32_t genNum) {
    if (!FParentDoc || !FParentDoc->GetIsEncrypted()) return;
    for (int32_t i = 0; i < dict.GetLength(); ++i) {
        const TqzPDBaseObject* value = dict.GetValueRefObj(i);
        if (dict.GetKey(i) != "Contents" || value == nullptr || !value->IsString()) continue;
        dict.SetValue(i, Decrypted(static_cast<const TqzPDString&>(*value), objNum, genNum));
    }
}

int64_t TqzPDParser::SkipStreamLine(int64_t& alternative) {
    alternative = -1;
    for (;;) {
        const int c = FLexer->GetChar();
        if (c < 0 || c == '\n') break;
        if (c != '\r') continue;
        // A lone CR ends the line too, and the data begins right after it.
        // After CR LF, and after CR CR LF (a producer fault), the data may
        // still begin right after the first CR.
        const int64_t afterCR = FLexer->GetPosition();
        const int next = FLexer->GetChar();
        const bool crLF = next == '\n';
        const bool crCRLF = next == '\r' && FLexer->GetChar() == '\n';
        if (crLF || crCRLF) {
            alternative = afterCR;
        } else {
            FLexer->SetPosition(afterCR);
        }
        break;
    }
    return FLexer->GetPosition();
}

bool TqzPDParser::EndstreamAt(int64_t position) {
    FLexer->SetPosition(position);
    return FLexer->NextIsKeyword("endstream");
}

std::unique_ptr<TqzPDBaseObject> TqzPDParser::MakeSubStream(std::unique_ptr<TqzPDDictionary> dict,
                                                            uint32_t objNum, uint32_t genNum) {
    TqzStream* raw = FLexer->GetRawStream();
    if (!raw) return nullptr;
    int64_t alternative = -1;
    int64_t start = SkipStreamLine(alternative);

    int64_t length = -1;
    const TqzPDBaseObject* lengthObject =
        FResolveLength ? dict->LookUp("Length") : dict->LookupRefObj("Length");
    if (lengthObject && lengthObject->IsInteger()) {
        length = static_cast<const TqzPDInteger*>(lengthObject)->GetValue();
    }
    if (length < 0) {
        // No usable /Length: the data runs to the line end before "endstream".
        platform::Stream* platformStream = raw->GetTStream();
        length = platformStream ? FindInStream(*platformStream, "endstream", start) - 1 : -1;
    } else if (alternative >= 0 && !EndstreamAt(start + length) &&
               EndstreamAt(alternative + length)) {
        // The usual reading of the line end holds unless only the other one
        // makes the data end at "endstream".
        start = alternative;
    }
    // Lengths are clamped to the stored bytes: a hostile /Length can neither
    // overflow the arithmetic nor reach past the end of the file.
    const int64_t room = std::max<int64_t>(0, raw->GetBaseStream()->GetSize() - start);
    length = std::clamp<int64_t>(length, 0, room);

    FLexer->SetPosition(start + length);
    Shift();
    Shift();
    if (FBufObject1->IsCommand("endstream")) {
        Shift();
    } else {
        length = std::min(length + kLengthSlack, room);
    }

    // Windows are made of the stored bytes the lexer reads; a decoded stream
    // has none, and its positions are not theirs.
    auto* base = raw->GetBaseStream() == raw ? dynamic_cast<TqzBaseStream*>(raw) : nullptr;
    TqzStreamPtr window = base ? base->MakeSubStream(start, length, true) : nullptr;
    if (window && FDecryptStreams && FParentDoc && FParentDoc->GetIsEncrypted() &&
        (!dict || FParentDoc->IsStreamEncrypted(*dict))) {
        window = FParentDoc->MakeDecryptStream(std::move(window), objNum, genNum);
    }
    const auto& getFilter = FilterHooks().GetFilter;
    if (!getFilter) throw ExUnsupportedFeature("Stream filters are not registered");
    return getFilter(std::move(dict), std::move(window));
}

}  // namespace qz::core
