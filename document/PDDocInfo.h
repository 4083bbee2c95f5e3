#pragma once
// TqzPDDocInfo: the entries of the document information dictionary (the
// trailer's /Info), with cached getters, and the producer stamp every
// document it is made for receives. The document model makes it over its
// base document and owns it; the dictionary belongs to the base document, so
// the model drops this element whenever it replaces the base document.
// TqzPDDate: the parts of a PDF date text ("D:" form).

#include <cstdint>
#include <string>
#include <string_view>

#include "core/Object.h"

namespace qz::core {
class TqzPDDictionary;
}

namespace qz::document {

class TqzPDCatalog;
class TqzPDDocument;

// The producer every document made or loaded by the model carries.
inline constexpr const char* kProducer = "Veltrano Folhex 5.0.0.625";

enum class TqzPDCustomInfoSchema : uint8_t {
    scAdobePDF,
    scBasic,
    scDublinCore,
    scJobTicket,
    scRightsManagement,
    scPagedText,
};

class TqzPDDocInfo : public core::TqzObject {
public:
    // Takes the information dictionary from the document's base document,
    // caches the producer it holds, then writes kProducer as /Producer.
    TqzPDDocInfo(TqzPDDocument* parentDoc, TqzPDCatalog* catalog);

    // The cached texts: the entry's bytes (a hexadecimal string decoded, no
    // text conversion); empty, and looked up again next time, when absent.
    const std::string& GetAuthor();
    const std::string& GetCreator();
    const std::string& GetKeyword();
    const std::string& GetProducer();
    const std::string& GetSubject();
    const std::string& GetTitle();
    // The date as day/month/year followed directly by hour:minute:second,
    // no padding ("4/3/20219:5:7").
    const std::string& GetCreateDate();
    const std::string& GetModDate();

    // Each takes hexadecimal digits and writes them as a hexadecimal string;
    // the cached value is not touched.
    void SetAuthor(const std::string& value);
    void SetCreateDate(const std::string& value);
    void SetCreator(const std::string& value);
    void SetKeyword(const std::string& value);
    void SetModDate(const std::string& value);
    void SetSubject(const std::string& value);
    void SetTitle(const std::string& value);
    // Writes /Producer as a literal string.
    void SetProducer(const std::string& value);

    // By key: Author, Subject, Producer, Title, Creator, Keywords, ModDate,
    // CreationDate; any other key gives an empty text / does nothing.
    void GetInfo(std::string_view infoKey, std::string& value);
    void SetDocInfo(std::string_view infoKey, const std::string& value);

    // The document's XMP metadata text.
    std::string GetXMLMetaData();
    void AddCustomPDMetadata(const std::string& /*name*/, const std::string& /*value*/,
                             TqzPDCustomInfoSchema /*schema*/) {}
    void SetXMPMetadataArrayItem(const std::string& /*nameSpace*/, const std::string& /*namespacePrefix*/,
                                 const std::string& /*path*/, int32_t /*index*/,
                                 const std::string& /*value*/) {}
    std::string GetXMPMetadataArrayItem(const std::string& /*nameSpaceName*/,
                                        const std::string& /*path*/, int32_t /*index*/) {
        return {};
    }
    int32_t CountXMPMetadataArrayItems(const std::string& /*nameSpace*/, const std::string& /*path*/) {
        return 0;
    }

    core::TqzPDDictionary* GetInfoDict() const { return FPDFInfoObj; }

private:
    const std::string& CachedText(std::string& cache, std::string_view key);
    const std::string& CachedDate(std::string& cache, std::string_view key);
    void PutHex(std::string_view key, const std::string& digits);

    TqzPDDocument* FParentDoc;
    TqzPDCatalog* FCatalog;
    core::TqzPDDictionary* FPDFInfoObj;
    std::string FAuthor;
    std::string FCreateDate;
    std::string FCreator;
    std::string FModDate;
    std::string FProducer;
    std::string FSubject;
    std::string FTitle;
    std::string FKeyword;
};

// The parts of a PDF date. Made once from a text; it cannot be changed
// afterwards. Midnight is hour 0.
class TqzPDDate : public core::TqzObject {
public:
    explicit TqzPDDate(std::string_view text);

    uint16_t GetYear() const { return FYear; }
    uint16_t GetMonth() const { return FMonth; }
    uint16_t GetDay() const { return FDay; }
    uint16_t GetHOur() const { return FHour; }
    uint16_t GetMinutes() const { return FMinutes; }
    uint16_t GetSeconds() const { return FSeconds; }
    void SetYear(uint16_t /*value*/) {}
    void SetMonth(uint16_t /*value*/) {}
    void SetDay(uint16_t /*value*/) {}
    void SetHour(uint16_t /*value*/) {}
    void SetMinutes(uint16_t /*value*/) {}
    void SetSeconds(uint16_t /*value*/) {}
    // "D:", the year, then month, day, hour, minutes, seconds in two digits.
    std::string ToString() const;

private:
    void FillValues(std::string_view text);

    uint16_t FYear = 0;
    uint16_t FMonth = 0;
    uint16_t FDay = 0;
    uint16_t FHour = 0;
    uint16_t FMinutes = 0;
    uint16_t FSeconds = 0;
};

}  // namespace qz::document
