#include "document/PDDocInfo.h"

#include <charconv>

#include "core/Conversions.h"
#include "core/PDDictionary.h"
#include "core/PDString.h"
#include "document/DictEntries.h"
#include "document/PDBaseDoc.h"
#include "document/PDDocument.h"

namespace qz::document {

namespace {

std::string Decimal(uint32_t value) {
    char buffer[16];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string TwoDigits(uint32_t value) {
    std::string text = Decimal(value);
    return value < 10 ? "0" + text : text;
}

}  // namespace

TqzPDDocInfo::TqzPDDocInfo(TqzPDDocument* parentDoc, TqzPDCatalog* catalog)
    : FParentDoc(parentDoc), FCatalog(catalog), FPDFInfoObj(nullptr) {
    if (FParentDoc != nullptr && FParentDoc->GetBaseDoc() != nullptr) {
        FPDFInfoObj = FParentDoc->GetBaseDoc()->GetDocInfo();
    }
    GetProducer();
    SetProducer(kProducer);
}

const std::string& TqzPDDocInfo::CachedText(std::string& cache, std::string_view key) {
    if (cache.empty() && FPDFInfoObj != nullptr) {
        // An entry that is not a string reads as absent.
        const core::TqzPDBaseObject* value = FPDFInfoObj->LookUp(key);
        if (value != nullptr && value->IsString()) {
            cache = static_cast<const core::TqzPDString*>(value)->GetBytes();
        }
    }
    return cache;
}

const std::string& TqzPDDocInfo::CachedDate(std::string& cache, std::string_view key) {
    if (cache.empty()) {
        std::string bytes;
        CachedText(bytes, key);
        if (!bytes.empty()) {
            const core::TqzDate date = core::PDFStringToDate(bytes);
            cache = Decimal(date.Day) + "/" + Decimal(date.Month) + "/" + Decimal(date.Year) +
                    Decimal(date.Hour) + ":" + Decimal(date.Minute) + ":" + Decimal(date.Second);
        }
    }
    return cache;
}

const std::string& TqzPDDocInfo::GetAuthor() { return CachedText(FAuthor, "Author"); }
const std::string& TqzPDDocInfo::GetCreator() { return CachedText(FCreator, "Creator"); }
const std::string& TqzPDDocInfo::GetKeyword() { return CachedText(FKeyword, "Keywords"); }
const std::string& TqzPDDocInfo::GetProducer() { return CachedText(FProducer, "Producer"); }
const std::string& TqzPDDocInfo::GetSubject() { return CachedText(FSubject, "Subject"); }
const std::string& TqzPDDocInfo::GetTitle() { return CachedText(FTitle, "Title"); }
const std::string& TqzPDDocInfo::GetCreateDate() { return CachedDate(FCreateDate, "CreationDate"); }
const std::string& TqzPDDocInfo::GetModDate() { return CachedDate(FModDate, "ModDate"); }

void TqzPDDocInfo::PutHex(std::string_view key, const std::string& digits) {
    if (FPDFInfoObj == nullptr) return;
    PutEntry(*FPDFInfoObj, key, std::make_unique<core::TqzPDString>(digits, true));
}

void TqzPDDocInfo::SetAuthor(const std::string& value) { PutHex("Author", value); }
void TqzPDDocInfo::SetCreateDate(const std::string& value) { PutHex("CreationDate", value); }
void TqzPDDocInfo::SetCreator(const std::string& value) { PutHex("Creator", value); }
void TqzPDDocInfo::SetKeyword(const std::string& value) { PutHex("Keywords", value); }
void TqzPDDocInfo::SetModDate(const std::string& value) { PutHex("ModDate", value); }
void TqzPDDocInfo::SetSubject(const std::string& value) { PutHex("Subject", value); }
void TqzPDDocInfo::SetTitle(const std::string& value) { PutHex("Title", value); }

void TqzPDDocInfo::SetProducer(const std::string& value) {
    if (FPDFInfoObj == nullptr) return;
    PutEntry(*FPDFInfoObj, "Producer", std::make_unique<core::TqzPDString>(value, false));
}

void TqzPDDocInfo::GetInfo(std::string_view infoKey, std::string& value) {
    value.clear();
    if (infoKey == "Author") value = GetAuthor();
    else if (infoKey == "Subject") value = GetSubject();
    else if (infoKey == "Producer") value = GetProducer();
    else if (infoKey == "Title") value = GetTitle();
    else if (infoKey == "Creator") value = GetCreator();
    else if (infoKey == "Keywords") value = GetKeyword();
    else if (infoKey == "ModDate") value = GetModDate();
    else if (infoKey == "CreationDate") value = GetCreateDate();
}

void TqzPDDocInfo::SetDocInfo(std::string_view infoKey, const std::string& value) {
    if (infoKey == "Author") SetAuthor(value);
    else if (infoKey == "Producer") SetProducer(value);
    else if (infoKey == "Subject") SetSubject(value);
    else if (infoKey == "Keywords") SetKeyword(value);
    else if (infoKey == "Title") SetTitle(value);
    else if (infoKey == "Creator") SetCreator(value);
    else if (infoKey == "CreationDate") SetCreateDate(value);
    else if (infoKey == "ModDate") SetModDate(value);
}

std::string TqzPDDocInfo::GetXMLMetaData() { return FParentDoc->GetXMPMetadata(); }

TqzPDDate::TqzPDDate(std::string_view text) { FillValues(text); }

void TqzPDDate::FillValues(std::string_view text) {
    const size_t marker = text.find("D:");
    if (marker == std::string_view::npos) return;
    std::string s(text.substr(0, marker));
    s.append(text.substr(marker + 2));
    const size_t length = s.size();
    // Characters `from` .. `from` + count - 1, counted from 1, as a number;
    // text that is not a number gives 0.
    const auto number = [&s](size_t from, size_t count) {
        return core::StringToInteger(std::string_view(s).substr(from - 1, count));
    };
    const auto position = [&s](char c) -> uint32_t {
        const size_t p = s.find(c);
        return p == std::string::npos ? 0u : static_cast<uint32_t>(p + 1);
    };

    int32_t year = length >= 4 ? number(1, 4) : 0;
    int32_t month = length >= 6 ? number(5, 2) : 0;
    int32_t day = length >= 8 ? number(7, 2) : 0;
    int32_t hour = length >= 10 ? number(9, 2) : 0;
    if (year < 0) year = 0;
    if (month < 1 || month > 12) month = 1;
    if (day < 1 || day > 31) day = 1;
    // Hour 00 is midnight; an hour out of range reads as midnight too.
    if (hour < 0 || hour > 23) hour = 0;

    const uint32_t zone = position('+') | position('-') | position('Z');
    int32_t minutes = 0;
    if (length >= 12 && zone != 11) minutes = number(11, 2);
    if (minutes < 0 || minutes > 59) minutes = 0;
    int32_t seconds = 0;
    if ((zone == 0 && length == 14) || (zone == 15 && length >= 14)) seconds = number(13, 2);
    if (seconds < 0 || seconds > 59) seconds = 0;

    FYear = static_cast<uint16_t>(year > 0xFFFF ? 0xFFFF : year);
    FMonth = static_cast<uint16_t>(month);
    FDay = static_cast<uint16_t>(day);
    FHour = static_cast<uint16_t>(hour);
    FMinutes = static_cast<uint16_t>(minutes);
    FSeconds = static_cast<uint16_t>(seconds);
}

std::string TqzPDDate::ToString() const {
    return "D:" + Decimal(FYear) + TwoDigits(FMonth) + TwoDigits(FDay) + TwoDigits(FHour) +
           TwoDigits(FMinutes) + TwoDigits(FSeconds);
}

}  // namespace qz::document
