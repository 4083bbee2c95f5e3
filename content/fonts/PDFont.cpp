#include "content/fonts/PDFont.h"

#include <algorithm>

#include "content/DecodedBytes.h"
#include "content/device/ContentOperands.h"
#include "content/fonts/PD8bitFont.h"
#include "content/fonts/PDCIDFont.h"
#include "content/fonts/PDCMap.h"
#include "content/fonts/FontProcessor.h"
#include "content/fonts/PDBuiltInFontMap.h"
#include "content/fonts/PDCMapParser.h"
#include "content/fonts/qzFont.h"
#include "core/MemoryStream.h"
#include "core/PDInteger.h"
#include "core/PDReal.h"
#include "platform/CodePage.h"
#include "core/PDArray.h"
#include "core/PDIndirectRef.h"
#include "core/PDDictionary.h"
#include "core/PDName.h"
#include "core/PDStream.h"
#include "document/PDBaseDoc.h"
#include "document/PDDocument.h"
#include "document/PDResource.h"
#include "platform/Streams.h"

namespace qz::content {

namespace {

// A subset font's name starts with a six-letter tag and a plus sign.
constexpr size_t kSubsetTagLength = 6;

TqzPDFontType TypeOfFontFile3(std::string_view subtype, TqzPDFontType current, bool& taken) {
    taken = true;
    if (subtype == "Type1") return TqzPDFontType::Type1;
    if (subtype == "Type1C") return TqzPDFontType::Type1C;
    if (subtype == "TrueType") return TqzPDFontType::TrueType;
    if (subtype == "CIDFontType0C") return TqzPDFontType::CIDType0C;
    if (subtype == "OpenType") {
        switch (current) {
            case TqzPDFontType::TrueType: return TqzPDFontType::TrueTypeOT;
            case TqzPDFontType::Type1: return TqzPDFontType::Type1COT;
            case TqzPDFontType::CIDType0: return TqzPDFontType::CIDType0COT;
            case TqzPDFontType::CIDType2: return TqzPDFontType::CIDType2OT;
            default: return current;
        }
    }
    taken = false;
    return current;
}

}  // namespace

int32_t SaturateInt32(int64_t value) { return SaturatedInt32(value); }

double ClampGlyphUnits(double value) {
    if (std::isnan(value)) return 0;
    return std::clamp(value, -kMaxGlyphUnits, kMaxGlyphUnits);
}

TqzPDFont::TqzPDFont(document::TqzPDDocument* AParentDoc, core::TqzPDElement* AParentElement,
                     core::TqzPDBaseObject* ABaseObject, std::string ATag, std::string AName)
    : document::TqzPDFont(AParentDoc, AParentElement, ABaseObject, std::move(ATag)) {
    FName = AName;
    FOrginalName = std::move(AName);
}

TqzPDFont::~TqzPDFont() = default;

core::TqzPDDictionary* TqzPDFont::GetFontDict() const {
    return FBaseObject != nullptr && FBaseObject->IsDict() ? static_cast<core::TqzPDDictionary*>(FBaseObject)
                                                           : nullptr;
}

core::TqzPDBaseObject* TqzPDFont::DocumentObject(uint32_t objNumber) const {
    document::TqzPDBaseDoc* baseDoc = FDocument != nullptr ? FDocument->GetBaseDoc() : nullptr;
    return baseDoc != nullptr ? baseDoc->GetObject(objNumber) : nullptr;
}

void TqzPDFont::ReadFontDescriptor(core::TqzPDDictionary* FontDict) {
    FFlags = 2;
    FMissingWidth = 0;
    if (FontDict == nullptr) return;
    const std::string baseFont = OperandName(FontDict->LookUp("BaseFont"));
    const bool isSubset = baseFont.find('+') == kSubsetTagLength;
    const core::TqzPDBaseObject* found = FontDict->LookUp("FontDescriptor");
    if (found == nullptr || !found->IsDict()) return;
    const auto& descriptor = static_cast<const core::TqzPDDictionary&>(*found);

    if (const core::TqzPDBaseObject* flags = descriptor.LookUp("Flags"); flags != nullptr && flags->IsInteger()) {
        FFlags = static_cast<uint32_t>(static_cast<const core::TqzPDInteger*>(flags)->GetValue());
    }
    if (const core::TqzPDBaseObject* name = descriptor.LookUp("FontName"); name != nullptr && name->IsName()) {
        FEmbeddedFontName = OperandName(name);
    }

    // Only an indirect reference counts as a font program.
    const auto reference = [&descriptor](std::string_view key) -> uint32_t {
        const core::TqzPDBaseObject* stored = descriptor.LookupRefObj(key);
        return stored != nullptr && stored->IsIndirectRef() ? stored->GetObjNumber() : 0;
    };
    const uint32_t file = reference("FontFile");
    const uint32_t file2 = reference("FontFile2");
    const uint32_t file3 = reference("FontFile3");
    const bool present = file != 0 || file2 != 0 || file3 != 0;
    if (file != 0) {
        FEmbeddedFontObjNumber = file;
        FFontType = TqzPDFontType::Type1;
    }
    if (file2 != 0 && FEmbeddedFontObjNumber == 0) {
        FEmbeddedFontObjNumber = file2;
        if (FFontType == TqzPDFontType::CIDType0) {
            FFontType = TqzPDFontType::CIDType2;
        } else if (FFontType != TqzPDFontType::CIDType2) {
            FFontType = TqzPDFontType::TrueType;
        }
    }
    if (file3 != 0 && FEmbeddedFontObjNumber == 0) {
        const core::TqzPDBaseObject* program = descriptor.LookUp("FontFile3");
        if (program != nullptr && program->IsStream()) {
            const core::TqzPDDictionary* dict = static_cast<const core::TqzPDStream*>(program)->GetDict();
            bool taken = false;
            const TqzPDFontType type =
                TypeOfFontFile3(dict != nullptr ? OperandName(dict->LookUp("Subtype")) : "", FFontType, taken);
            if (taken) {
                FFontType = type;
                FEmbeddedFontObjNumber = file3;
            }
        }
    }
    if (present) {
        FEmbeddingType = isSubset ? TqzPDFFontEmbeddingType::etSubset : TqzPDFFontEmbeddingType::etFull;
    } else {
        FEmbeddingType = TqzPDFFontEmbeddingType::etNone;
    }

    if (const core::TqzPDBaseObject* missing = descriptor.LookUp("MissingWidth");
        missing != nullptr && missing->IsNumber()) {
        FMissingWidth = RoundHalfEven(ClampGlyphUnits(OperandNumber(missing)));
    }
    if (const core::TqzPDBaseObject* ascent = descriptor.LookUp("Ascent"); ascent != nullptr && ascent->IsNumber()) {
        const double value = ClampGlyphUnits(OperandNumber(ascent)) * 0.001;
        if (value != 0) FAscent = value;
    }
    if (const core::TqzPDBaseObject* descent = descriptor.LookUp("Descent"); descent != nullptr && descent->IsNumber()) {
        const double value = ClampGlyphUnits(OperandNumber(descent)) * 0.001;
        if (value != 0) FDescent = value > 0 ? -value : value;
    }
    if (const core::TqzPDBaseObject* box = descriptor.LookUp("FontBBox"); box != nullptr && box->IsArray()) {
        double values[4] = {0, 0, 0, 0};
        const auto& array = static_cast<const core::TqzPDArray&>(*box);
        for (int32_t i = 0; i < 4 && i < array.GetLength(); ++i) {
            values[i] = ClampGlyphUnits(OperandNumber(array.Get(i)));
        }
        FFontBox = std::make_unique<core::TqzPDRect>(values[0], values[1], values[2], values[3]);
    }
}

platform::MemoryStream* TqzPDFont::GetEmbeddedFontStream() {
    if (FEmbeddedFontStream != nullptr || FEmbeddedFontRead || FEmbeddedFontObjNumber == 0) {
        return FEmbeddedFontStream.get();
    }
    FEmbeddedFontRead = true;
    core::TqzPDBaseObject* program = DocumentObject(FEmbeddedFontObjNumber);
    if (program == nullptr || !program->IsStream()) return nullptr;
    std::string bytes;
    // A program cut short at the cap is no usable font.
    if (!AppendDecoded(*static_cast<core::TqzPDStream*>(program), bytes, kMaxFontProgramSize)) return nullptr;
    FEmbeddedFontStream = std::make_unique<platform::MemoryStream>(std::move(bytes));
    return FEmbeddedFontStream.get();
}

void TqzPDFont::SetEmbeddedFontStream(platform::Stream& AValue) {
    if (FEmbeddedFontStream == nullptr) FEmbeddedFontStream = std::make_unique<platform::MemoryStream>();
    std::string& bytes = FEmbeddedFontStream->Bytes();
    bytes.clear();
    AValue.Seek(0, platform::SeekOrigin::Beginning);
    const int64_t size = std::min(AValue.Size(), kMaxFontProgramSize);
    if (size > 0) {
        bytes.resize(static_cast<size_t>(size));
        const int64_t read = AValue.Read(bytes.data(), size);
        bytes.resize(static_cast<size_t>(std::max<int64_t>(read, 0)));
    }
    FEmbeddedFontStream->Seek(0, platform::SeekOrigin::Beginning);
    FEmbeddedFontRead = true;
}

document::TqzPDResource* TqzPDFont::GetResources() {
    if (FResources != nullptr) return FResources;
    const core::TqzPDDictionary* dict = GetFontDict();
    core::TqzPDBaseObject* resources = dict != nullptr ? dict->LookUp("Resources") : nullptr;
    if (resources == nullptr || !resources->IsDict()) return nullptr;
    FOwnedResources = std::make_unique<document::TqzPDResource>(FDocument, this, resources);
    FResources = FOwnedResources.get();
    FResourcesInherited = false;
    return FResources;
}

void TqzPDFont::SetResources(document::TqzPDResource* Value) {
    FOwnedResources.reset();
    FResources = Value;
    FResourcesInherited = true;
}

void TqzPDFont::ReadToUnicode(const core::TqzPDDictionary& dict) {
    core::TqzPDBaseObject* toUnicode = dict.LookUp("ToUnicode");
    if (toUnicode == nullptr || !toUnicode->IsStream()) return;
    std::string bytes;
    AppendDecoded(*static_cast<core::TqzPDStream*>(toUnicode), bytes, kMaxCMapStreamSize);
    if (bytes.empty()) return;
    platform::MemoryStream text(std::move(bytes));
    FToUnicode = std::make_unique<TqzPDCMapParser>(text);
}

platform::TextExtent TqzPDFont::TextSize(std::string_view Text, const platform::PlatformFont& AFont) {
    return platform::MeasureText(AFont, Text);
}

// ---- writers ----

namespace {

// Screen pixels to points.
constexpr double kPointsPerPixel = 72.0 / platform::kScreenDpi;

std::string_view EncodingNameOf(TqzFontEncoding encoding) {
    switch (encoding) {
        case TqzFontEncoding::feWinAnsiEncoding: return "WinAnsiEncoding";
        case TqzFontEncoding::feMacRomanEncoding: return "MacRomanEncoding";
        case TqzFontEncoding::feMacExpertEncoding: return "MacExpertEncoding";
        case TqzFontEncoding::feStandardEncoding: return "StandardEncoding";
        case TqzFontEncoding::fePDFDocEncoding: return "PDFDocEncoding";
    }
    return "WinAnsiEncoding";
}

std::string WithoutBlanks(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c != ' ') out += c;
    }
    return out;
}

// The whole of a file, none when it cannot be read or is larger than a
// font program may be.
bool ReadWholeFile(const std::filesystem::path& path, std::string& bytes) {
    try {
        platform::FileStream file(path, platform::FileMode::OpenRead);
        const int64_t size = file.Size();
        if (size <= 0 || size > kMaxFontProgramSize) return false;
        bytes.resize(static_cast<size_t>(size));
        return file.Read(bytes.data(), size) == size;
    } catch (const std::exception&) {
        return false;
    }
}

std::unique_ptr<core::TqzPDArray> NumberArray(std::initializer_list<double> values) {
    auto array = std::make_unique<core::TqzPDArray>();
    for (const double value : values) array->Add(std::make_unique<core::TqzPDReal>(value));
    return array;
}

}  // namespace

uint32_t TqzPDFont::GetFontFlag(const platform::PlatformFont& AFont) {
    const platform::FontTraits traits = platform::GetFontTraits(AFont);
    uint32_t flags = 0;
    if (traits.FixedPitch) flags += 1;
    if (traits.Serif) flags += 2;
    flags += traits.SymbolCharset ? 4 : 32;
    if (traits.Script) flags += 8;
    if (traits.Italic) flags += 64;
    return flags;
}

double TqzPDFont::GetWidth(std::string_view AText, const platform::PlatformFont& AFont) {
    if (FFontProcObj != nullptr && FErrorCode == ErrorCodes::Success) {
        return FFontProcObj->GetTextWidth(platform::CodePageToUtf16(AText));
    }
    return TextSize(AText, AFont).Width * kPointsPerPixel;
}

double TqzPDFont::GetHeight(std::string_view AText, const platform::PlatformFont& AFont) {
    if (FFontProcObj != nullptr && FErrorCode == ErrorCodes::Success) return FFontProcObj->GetTextHeight(AText);
    return TextSize(AText, AFont).Height * kPointsPerPixel;
}

double TqzPDFont::GetCharWidthInGlyphUnits(int32_t Code) const {
    if (Code < 0 || Code > 255) return 0;
    return FCharWidths[static_cast<size_t>(Code)];
}

void TqzPDFont::SetUpWriter(const TqzFont& AObject, bool glyphWidths) {
    FPlatformFont = AObject.GetPlatformFont();
    FFontType = TqzPDFontType::TrueType;
    if (!AObject.GetFileName().empty()) {
        std::string bytes;
        if (ReadWholeFile(AObject.GetFileName(), bytes)) {
            platform::MemoryStream program(std::move(bytes));
            SetEmbeddedFontStream(program);
        }
    } else if (platform::MemoryStream* stream = AObject.GetStream(); stream != nullptr) {
        SetEmbeddedFontStream(*stream);
    }
    FFontEncoding = EncodingNameOf(AObject.GetEncoding());

    if (std::find(BuiltInFonts.begin(), BuiltInFonts.end(), FPlatformFont.Name) != BuiltInFonts.end()) {
        const auto standard = TqzBuiltInFont::MakeBuiltInFont(FPlatformFont.Name);
        if (standard != nullptr) {
            FName = FPlatformFont.Name;
            FFlags = GetFontFlag(FPlatformFont);
            const TqzEncodingArray& encoding = standard->GetDefaultBaseEnc();
            for (size_t code = 0; code < 256; ++code) FEncoding[code] = std::string(encoding[code]);
            const std::array<double, 4> box = standard->GetBBox();
            FFontBox = std::make_unique<core::TqzPDRect>(box[0], box[1], box[2], box[3]);
            FAscent = standard->GetAscent();
            FDescent = standard->GetDescent();
            FFirstCharCode = 32;
            FLastCharCode = 255;
            for (size_t code = 0; code < 256; ++code) {
                // A code without a glyph is written with no width rather
                // than a negative one.
                const double width = standard->GetWidth(FEncoding[code]);
                FCharWidths[code] = width < 0 ? 0 : width;
            }
            return;
        }
    }

    // A given font file is measured itself: its widths must be the ones
    // written. Otherwise fontconfig's match for the name stands for it.
    if (!AObject.GetFileName().empty()) {
        FFontProcObj = std::make_unique<TqzFontProcessor>(std::filesystem::path(AObject.GetFileName()),
                                                          FPlatformFont.Size, platform::kScreenDpi,
                                                          platform::kScreenDpi, FErrorCode);
    } else {
        FFontProcObj = std::make_unique<TqzFontProcessor>(&FPlatformFont, FErrorCode);
    }
    if (FErrorCode != ErrorCodes::Success) {
        // Never a nameless font: the name asked for stands.
        FName = WithoutBlanks(FPlatformFont.Name);
        return;
    }
    const TqzFontProcessor& processor = *FFontProcObj;
    FName = processor.get_PostscriptName();
    if (FName.empty()) FName = WithoutBlanks(processor.get_FamilyName());
    if (FName.empty()) FName = WithoutBlanks(FPlatformFont.Name);
    FFlags = processor.get_Flags();
    const TqzRect& box = processor.get_GlobalBBox();
    FFontBox = std::make_unique<core::TqzPDRect>(box.Left, box.Top, box.Right, box.Bottom);
    FItalicAngle = processor.get_ItalicAngle();
    FAscent = processor.get_Ascent();
    FDescent = processor.get_Descent();
    FStemV = processor.get_StemV();
    FUnderscorePosition = processor.get_UnderscorePosition();
    FUnderscoreSize = processor.get_UnderscoreSize();
    FFirstCharCode = std::clamp(processor.get_FirstCharCode(), 0, 255);
    FLastCharCode = std::clamp(processor.get_LastCharCode(), FFirstCharCode, 255);
    FMissingWidth = processor.get_MaxWidth();
    if (glyphWidths) {
        for (size_t code = 0; code < 256; ++code) {
            FCharWidths[code] = processor.GetGlyphWidth(static_cast<int32_t>(code));
        }
    }
}

core::TqzPDBaseObject* TqzPDFont::AddNewObject(std::unique_ptr<core::TqzPDBaseObject> object) const {
    document::TqzPDBaseDoc* baseDoc = FDocument != nullptr ? FDocument->GetBaseDoc() : nullptr;
    if (baseDoc == nullptr) return nullptr;
    core::TqzPDBaseObject* entered = baseDoc->AddNewObject(std::move(object));
    entered->SetIsChanged(true);
    return entered;
}

void TqzPDFont::WriteFontProgram(core::TqzPDDictionary& descriptor, std::string_view key, const std::string& program,
                                 std::string_view subtype) const {
    document::TqzPDBaseDoc* baseDoc = FDocument != nullptr ? FDocument->GetBaseDoc() : nullptr;
    auto dict = std::make_unique<core::TqzPDDictionary>(baseDoc);
    const auto size = static_cast<int32_t>(program.size());  // at most kMaxFontProgramSize
    dict->Add("Length1", std::make_unique<core::TqzPDInteger>(size));
    dict->Add("Length", std::make_unique<core::TqzPDInteger>(size));
    if (!subtype.empty()) dict->Add("Subtype", std::make_unique<core::TqzPDName>(std::string(subtype)));
    auto data = std::make_shared<core::TqzMemoryStream>(program);
    core::TqzPDBaseObject* stream = AddNewObject(std::make_unique<core::TqzPDStream>(std::move(data), std::move(dict)));
    if (stream == nullptr) return;
    descriptor.SetKeyValue(key, std::make_unique<core::TqzPDIndirectRef>(stream->GetObjNumber(), 0));
}

std::unique_ptr<core::TqzPDDictionary> TqzPDFont::MakeDescriptor() const {
    document::TqzPDBaseDoc* baseDoc = FDocument != nullptr ? FDocument->GetBaseDoc() : nullptr;
    auto descriptor = std::make_unique<core::TqzPDDictionary>(baseDoc);
    descriptor->Add("Type", std::make_unique<core::TqzPDName>("FontDescriptor"));
    descriptor->Add("FontName", std::make_unique<core::TqzPDName>(FName));
    descriptor->Add("Flags", std::make_unique<core::TqzPDInteger>(static_cast<int32_t>(FFlags)));
    const core::TqzPDRect box = FFontBox != nullptr ? *FFontBox : core::TqzPDRect(0, 0, 0, 0);
    descriptor->Add("FontBBox", NumberArray({box.GetLeft(), box.GetTop(), box.GetRight(), box.GetBottom()}));
    descriptor->Add("ItalicAngle", std::make_unique<core::TqzPDInteger>(FItalicAngle));
    descriptor->Add("Ascent", std::make_unique<core::TqzPDReal>(FAscent));
    descriptor->Add("Descent", std::make_unique<core::TqzPDReal>(FDescent));
    descriptor->Add("StemV", std::make_unique<core::TqzPDReal>(FStemV));
    descriptor->Add("MissingWidth", std::make_unique<core::TqzPDInteger>(FMissingWidth));
    return descriptor;
}

std::unique_ptr<TqzPDFont> MakeFont(document::TqzPDDocument* AParentDoc, document::TqzPDResource* AResource,
                                    const std::string& ATag, core::TqzPDBaseObject* AFontDict) {
    if (AFontDict == nullptr || !AFontDict->IsDict()) return nullptr;
    const auto* dict = static_cast<const core::TqzPDDictionary*>(AFontDict);
    const core::TqzPDBaseObject* subtype = dict->LookUp("Subtype");
    if (subtype == nullptr || !subtype->IsName()) return nullptr;
    const std::string kind = OperandName(subtype);
    const std::string name = OperandName(dict->LookUp("BaseFont"));
    if (kind == "Type0") return std::make_unique<TqzPDCIDFont>(AParentDoc, AResource, AFontDict, ATag, name);
    TqzPDFontType type = TqzPDFontType::UnknowType;
    if (kind == "Type1" || kind == "MMType1") {
        type = TqzPDFontType::Type1;
    } else if (kind == "Type1C") {
        type = TqzPDFontType::Type1C;
    } else if (kind == "Type3") {
        type = TqzPDFontType::Type3;
    } else if (kind == "TrueType") {
        type = TqzPDFontType::TrueType;
    }
    return std::make_unique<TqzPD8bitFont>(AParentDoc, AResource, AFontDict, ATag, name, type);
}

}  // namespace qz::content
