#include "content/fonts/PD8bitFont.h"

#include <algorithm>
#include <cmath>

#include "content/device/ContentOperands.h"
#include "content/fonts/FontProcessor.h"
#include "content/fonts/PDAdobeGlyphList.h"
#include "content/fonts/PDBuiltInFontMap.h"
#include "content/fonts/PDEncoding.h"
#include "content/fonts/qzFont.h"
#include "core/PDArray.h"
#include "core/PDDictionary.h"
#include "core/PDIndirectRef.h"
#include "core/PDInteger.h"
#include "core/PDName.h"
#include "core/PDReal.h"
#include "core/PDStream.h"
#include "document/PDBaseDoc.h"
#include "document/PDDocument.h"

namespace qz::content {

namespace {

// Standard fonts that stand in for a font without widths, by the index
// fixed pitch 0 / sans serif 4 / serif 8, + 2 bold, + 1 italic.
constexpr std::array<std::string_view, 12> kWidthFonts = {
    "Courier",   "Courier-Oblique",   "Courier-Bold",   "Courier-BoldOblique",
    "Helvetica", "Helvetica-Oblique", "Helvetica-Bold", "Helvetica-BoldOblique",
    "Times-Roman", "Times-Italic",    "Times-Bold",     "Times-BoldItalic"};

// Space trimmed from both ends.
std::string_view Trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

void EraseFirst(std::string& text, std::string_view part) {
    const size_t at = text.find(part);
    if (at != std::string::npos) text.erase(at, part.size());
}

void Take(std::array<std::string, 256>& target, const TqzEncodingArray& table) {
    for (size_t code = 0; code < 256; ++code) target[code] = std::string(table[code]);
}

bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

}  // namespace

TqzPD8bitFont::TqzPD8bitFont(document::TqzPDDocument* AParentDoc, core::TqzPDElement* AParentElement,
                             core::TqzPDBaseObject* ABaseObject, std::string ATag, std::string AName,
                             TqzPDFontType AFontType)
    : TqzPDFont(AParentDoc, AParentElement, ABaseObject, std::move(ATag), AName) {
    FBaseFont = "Arial Unicode MS";
    FFontType = AFontType;
    std::string lookup(Trimmed(AName));
    for (const TqzStdFontMapEntry& entry : TqzStdFontMapTable) {
        if (entry.Alias == lookup || entry.StandardName == lookup) {
            lookup = std::string(entry.StandardName);
            FName = std::string(entry.Alias);
            FBaseFont = FName;
            break;
        }
    }

    std::unique_ptr<TqzBuiltInFont> standard;
    if (std::find(BuiltInFonts.begin(), BuiltInFonts.end(), lookup) != BuiltInFonts.end()) {
        standard = TqzBuiltInFont::MakeBuiltInFont(lookup);
    }
    const auto takeStandardMetrics = [this, &standard] {
        FAscent = standard->GetAscent() * 0.001;
        FDescent = standard->GetDescent() * 0.001;
        const std::array<double, 4> box = standard->GetBBox();
        FFontBox = std::make_unique<core::TqzPDRect>(box[0] * 0.001, box[1] * 0.001, box[2] * 0.001, box[3] * 0.001);
    };
    if (standard != nullptr) {
        takeStandardMetrics();
    } else {
        FAscent = 0.95;
        FDescent = -0.35;
        if (FFontBox == nullptr) FFontBox = std::make_unique<core::TqzPDRect>(0, 0, 0, 0);
    }

    core::TqzPDDictionary* dict = GetFontDict();
    ReadFontDescriptor(dict);

    if (!FEmbeddedFontName.empty() && FEmbeddedFontObjNumber == 0 &&
        (FFontType == TqzPDFontType::TrueType || FEmbeddingType == TqzPDFFontEmbeddingType::etNone)) {
        std::string systemName;
        for (const char c : FEmbeddedFontName) {
            if (c != ',' && c != '+' && c != '-') systemName += c;
        }
        EraseFirst(systemName, "PS");
        EraseFirst(systemName, "MT");
        if (Contains(systemName, "Bold")) FIsBold = true;
        if (Contains(systemName, "Italic")) FIsItalic = true;
        for (size_t i = 0; i < ActualFontNames.size(); ++i) {
            if (ActualFontNames[i] == systemName) {
                FEmbeddedFontName = std::string(SubstituteFontNames[i]);
                break;
            }
        }
    }
    if (standard != nullptr && FEmbeddedFontObjNumber != 0) takeStandardMetrics();

    if (standard == nullptr || FFontType == TqzPDFontType::Type3) {
        const core::TqzPDBaseObject* matrix = dict != nullptr ? dict->LookUp("FontMatrix") : nullptr;
        FFontMatrix = matrix != nullptr && matrix->IsArray() ? std::make_unique<core::TqzPDMatrix>(matrix)
                                                             : std::make_unique<core::TqzPDMatrix>();
    }
    if (dict == nullptr) return;
    ReadEncoding(*dict, standard.get());
    ReadWidths(*dict, standard.get());
    ReadToUnicode(*dict);
}

TqzPD8bitFont::TqzPD8bitFont(document::TqzPDDocument* AParentDoc, core::TqzPDElement* AParentElement,
                             const TqzFont& AObject)
    : TqzPDFont(AParentDoc, AParentElement, nullptr, {}, {}) {
    SetUpWriter(AObject, true);
}

TqzPD8bitFont::~TqzPD8bitFont() = default;

std::unique_ptr<TqzPD8bitFont> TqzPD8bitFont::Clone() const {
    return std::make_unique<TqzPD8bitFont>(FDocument, FParentElement, FBaseObject, FTag, FOrginalName, FFontType);
}

void TqzPD8bitFont::ReadEncoding(const core::TqzPDDictionary& dict, const TqzBuiltInFont* standard) {
    if (standard != nullptr) {
        Take(FEncoding, standard->GetDefaultBaseEnc());
        FEncodingName = standard->GetEncodingName();
    }
    FHasEncoding = false;
    FHasDifferences = false;
    FUsesMacRomanEnc = false;

    const TqzEncodingArray* working = nullptr;
    bool found = false;
    const bool zapf = Contains(FName, "ZapfDingbats");
    if (zapf) {
        working = &ZapfDingbatsEncoding;
        FEncodingName = "WinAnsiEncoding";
        found = true;
    }
    const core::TqzPDBaseObject* encoding = dict.LookUp("Encoding");
    std::string encodingName;
    if (encoding != nullptr && encoding->IsName()) {
        encodingName = OperandName(encoding);
    } else if (encoding != nullptr && encoding->IsDict()) {
        encodingName = OperandName(static_cast<const core::TqzPDDictionary*>(encoding)->LookUp("BaseEncoding"));
    }
    if (encodingName == "MacRomanEncoding") {
        working = &MacRomanEncoding;
        FUsesMacRomanEnc = true;
    } else if (encodingName == "MacExpertEncoding") {
        working = &MacExpertEncoding;
    } else if (encodingName == "WinAnsiEncoding") {
        working = &WinAnsiEncoding;
    } else {
        encodingName.clear();
    }
    if (!encodingName.empty()) {
        FEncodingName = encodingName;
        found = true;
    }
    static const TqzEncodingArray kEmpty{};
    if (!found) {
        if (standard != nullptr && FEmbeddedFontObjNumber == 0) {
            working = &standard->GetDefaultBaseEnc();
            FEncodingName = standard->GetEncodingName();
            FHasEncoding = true;
        } else if (FFontType == TqzPDFontType::TrueType) {
            working = &WinAnsiEncoding;
            FEncodingName = "WinAnsiEncoding";
        } else if (!IsSymbolic()) {
            working = &StandardEncoding;
            FEncodingName = "StandardEncoding";
        } else {
            working = &kEmpty;
        }
    }
    if (found) FHasEncoding = true;
    Take(FEncoding, working != nullptr ? *working : kEmpty);

    if (encoding == nullptr || !encoding->IsDict()) return;
    const core::TqzPDBaseObject* differences = static_cast<const core::TqzPDDictionary*>(encoding)->LookUp("Differences");
    if (differences == nullptr || !differences->IsArray()) return;
    FHasEncoding = true;
    FHasDifferences = true;
    if (zapf) Take(FEncoding, ZapfDingbatsEncoding);
    FBaseEncoding = FEncodingName;
    FEncodingName = "CustomEncoding";
    const auto& array = static_cast<const core::TqzPDArray&>(*differences);
    int64_t code = 0;
    for (int32_t i = 0; i < array.GetLength(); ++i) {
        const core::TqzPDBaseObject* element = array.Get(i);
        if (element == nullptr) continue;
        if (element->IsInteger()) {
            code = static_cast<const core::TqzPDInteger*>(element)->GetValue();
        } else if (element->IsName()) {
            if (code >= 0 && code <= 255) FEncoding[static_cast<size_t>(code)] = OperandName(element);
            // Counting on past the table is harmless; wrapping round is not.
            if (code < std::numeric_limits<int64_t>::max()) ++code;
        }
    }
}

void TqzPD8bitFont::ReadWidths(const core::TqzPDDictionary& dict, const TqzBuiltInFont* standard) {
    FWidths.fill(FMissingWidth * 0.001);
    const auto integer = [&dict](std::string_view key, int64_t& value) {
        const core::TqzPDBaseObject* entry = dict.LookUp(key);
        if (entry == nullptr || !entry->IsInteger()) return false;
        value = static_cast<const core::TqzPDInteger*>(entry)->GetValue();
        return true;
    };
    int64_t firstChar = 0;
    if (!integer("FirstChar", firstChar) || firstChar < 0 || firstChar > 255) firstChar = 0;
    int64_t lastChar = 0;
    if (integer("LastChar", lastChar) && (lastChar < 0 || lastChar > 255)) lastChar = 255;
    const double scale = FFontType == TqzPDFontType::Type3 ? 1 : 0.001;

    const core::TqzPDBaseObject* widths = dict.LookUp("Widths");
    if (widths != nullptr && widths->IsArray()) {
        const auto& array = static_cast<const core::TqzPDArray&>(*widths);
        FFlags |= 1u;
        const int64_t count = array.GetLength();
        if (lastChar - firstChar + 1 > count) lastChar = firstChar + count - 1;
        lastChar = std::min<int64_t>(lastChar, 255);
        for (int64_t code = firstChar; code <= lastChar; ++code) {
            const core::TqzPDBaseObject* element = array.Get(static_cast<int32_t>(code - firstChar));
            if (element == nullptr || !element->IsNumber()) continue;
            FWidths[static_cast<size_t>(code)] = ClampGlyphUnits(OperandNumber(element)) * scale;
            if (FWidths[static_cast<size_t>(code)] != FWidths[static_cast<size_t>(firstChar)]) FFlags &= ~1u;
        }
        return;
    }
    std::unique_ptr<TqzBuiltInFont> chosen;
    if (standard == nullptr) {
        size_t index = IsFixedWidth() ? 0 : IsSerif() ? 8 : 4;
        if (IsBold()) index += 2;
        if (IsItalic()) index += 1;
        chosen = TqzBuiltInFont::MakeBuiltInFont(kWidthFonts[index]);
        standard = chosen.get();
    }
    if (standard == nullptr) return;
    for (size_t code = 0; code < 256; ++code) {
        // A code without a known glyph keeps the missing width: a negative
        // advance would move text backwards.
        const double width = standard->GetWidth(FEncoding[code]);
        if (width >= 0) FWidths[code] = width * 0.001;
    }
}

const std::string& TqzPD8bitFont::GetEncoding(int32_t Index) const {
    static const std::string kNone;
    if (Index < 0 || Index > 255) return kNone;
    return FEncoding[static_cast<size_t>(Index)];
}

double TqzPD8bitFont::GetWidth(int32_t Code) const {
    if (Code < 0 || Code > 255) return 0;
    return FWidths[static_cast<size_t>(Code)];
}

int32_t TqzPD8bitFont::GetNextChar(const std::string& aStr, size_t Index, int32_t& Processed, uint32_t& Code,
                                   std::string& CharName, double& Dx, double& Dy, double& Ox, double& Oy) {
    Processed = 1;
    Dy = Ox = Oy = 0;
    CharName.clear();
    if (Index >= aStr.size()) {
        Code = 0;
        Dx = 0;
        return 0;
    }
    const auto b = static_cast<uint8_t>(aStr[Index]);
    Dx = FWidths[b];
    const std::string& glyph = FEncoding[b];
    const bool zapf = Contains(FName, "ZapfDingbats");
    const bool symbolName = Contains(FName, "Symbol");
    switch (FFontType) {
        case TqzPDFontType::Type1:
        case TqzPDFontType::Type1C:
        case TqzPDFontType::Type1COT:
        case TqzPDFontType::Type3:
            if (IsSymbolic() && glyph.empty() && b != 0) {
                Code = b;
                return 1;
            }
            CharName = glyph;
            Code = symbolName && !FHasDifferences ? b : GetScalarCode(glyph, zapf);
            if (symbolName && !HasEmbeddedProgram()) {
                Code = GetSymbolCode(Code);
                if (Code == 0) Code = b;
            }
            return 1;
        default:
            if ((FFontType == TqzPDFontType::TrueType && FHasEncoding && FHasDifferences && !IsSymbolic()) ||
                (FHasEncoding && !IsSymbolic() && !symbolName && FEmbeddingType == TqzPDFFontEmbeddingType::etNone)) {
                Code = GetScalarCode(glyph, zapf);
            } else {
                Code = b;
            }
            return 1;
    }
}

void TqzPD8bitFont::EmbedFontFile(core::TqzPDDictionary& AFDDict, platform::Stream& AStream) {
    if (&AStream != FEmbeddedFontStream.get()) SetEmbeddedFontStream(AStream);
    if (FEmbeddedFontStream == nullptr) return;
    WriteFontProgram(AFDDict, "FontFile2", FEmbeddedFontStream->Bytes());
    FEmbeddedFontStream->Seek(0, platform::SeekOrigin::Beginning);
}

void TqzPD8bitFont::CreateFontDict() {
    if (FBaseObject != nullptr || FDocument == nullptr) return;
    auto descriptor = MakeDescriptor();
    if (FEmbeddedFontStream != nullptr && !FEmbeddedFontStream->Bytes().empty()) {
        EmbedFontFile(*descriptor, *FEmbeddedFontStream);
    }
    core::TqzPDBaseObject* descriptorObject = AddNewObject(std::move(descriptor));
    if (descriptorObject == nullptr) return;

    auto dict = std::make_unique<core::TqzPDDictionary>(FDocument->GetBaseDoc());
    dict->Add("Type", std::make_unique<core::TqzPDName>("Font"));
    dict->Add("Subtype", std::make_unique<core::TqzPDName>("TrueType"));
    dict->Add("Name", std::make_unique<core::TqzPDName>(FTag));
    dict->Add("BaseFont", std::make_unique<core::TqzPDName>(FName));
    dict->Add("Encoding", std::make_unique<core::TqzPDName>(FFontEncoding));
    dict->Add("FirstChar", std::make_unique<core::TqzPDInteger>(FFirstCharCode));
    dict->Add("LastChar", std::make_unique<core::TqzPDInteger>(FLastCharCode));
    auto widths = std::make_unique<core::TqzPDArray>();
    for (int32_t code = FFirstCharCode; code <= FLastCharCode; ++code) {
        widths->Add(std::make_unique<core::TqzPDReal>(FCharWidths[static_cast<size_t>(code)]));
    }
    dict->Add("Widths", std::move(widths));
    dict->Add("FontDescriptor", std::make_unique<core::TqzPDIndirectRef>(descriptorObject->GetObjNumber(), 0));
    FBaseObject = AddNewObject(std::move(dict));
}

double TqzPD8bitFont::GetPDFCharSpacing(std::string_view AText, const platform::PlatformFont& AFont) {
    if (AText.empty()) return 0;
    double tableWidth = 0;
    for (const char c : AText) tableWidth += FCharWidths[static_cast<uint8_t>(c)];
    const double d = GetWidth(AText, AFont) - tableWidth * AFont.Size / 1000.0;
    if (std::fabs(d) < 0.0001) return 0;
    return d / static_cast<double>(AText.size());
}

}  // namespace qz::content
