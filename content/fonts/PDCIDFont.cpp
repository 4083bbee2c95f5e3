#include "content/fonts/PDCIDFont.h"


#include <algorithm>
#include <cstdio>

#include "content/DecodedBytes.h"
#include "content/device/ContentOperands.h"
#include "content/fonts/FontProcessor.h"
#include "content/fonts/PDCMap.h"
#include "content/fonts/PDCMapParser.h"
#include "content/fonts/qzFont.h"
#include "core/Conversions.h"
#include "core/MemoryStream.h"
#include "core/PDArray.h"
#include "core/PDDictionary.h"
#include "core/PDIndirectRef.h"
#include "core/PDInteger.h"
#include "core/PDName.h"
#include "core/PDStream.h"
#include "core/PDString.h"
#include "document/PDBaseDoc.h"
#include "document/PDDocument.h"

namespace qz::content {

namespace {

// A CID-to-glyph map holds one glyph per 16-bit CID; bytes beyond can never
// be looked up.
constexpr int64_t kMaxCIDToGIDBytes = int64_t{2} * 65536;
// Entries per bfchar or bfrange section of a written ToUnicode map; CMap
// readers may refuse larger sections.
constexpr size_t kMaxCMapSectionEntries = 100;

// The default advance of a written font, until its glyphs' widths are known.
constexpr int32_t kWrittenDefaultWidth = 3240;

const char* const kToUnicodeHead =
    "/CIDInit /ProcSet findresource begin\r\n"
    "12 dict begin\r\n"
    "begincmap\r\n"
    "/CIDSystemInfo <</Registry (Adobe)/Ordering (UCS)/Supplement 0>> def\r\n"
    "/CMapName /Adobe-Identity-UCS def\r\n"
    "/CMapType 2 def\r\n"
    "1 begincodespacerange\r\n"
    "<0000><FFFF>\r\n"
    "endcodespacerange\r\n";
const char* const kToUnicodeTail =
    "endcmap\r\n"
    "CMapName currentdict /CMap defineresource pop\r\n"
    "end end\r\n";

std::string Hex4(uint32_t value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%04X", value & 0xFFFFu);
    return buffer;
}

std::string StringValue(const core::TqzPDBaseObject* object) {
    const auto& string = static_cast<const core::TqzPDString&>(*object);
    return string.IsHexString() ? core::HexToByteArray(string.GetString()) : string.GetString();
}

core::TqzPDDictionary* AsDict(core::TqzPDBaseObject* object) {
    return object != nullptr && object->IsDict() ? static_cast<core::TqzPDDictionary*>(object) : nullptr;
}

// The descendant font dictionary of a Type 0 dictionary, or none.
core::TqzPDDictionary* Descendant(const core::TqzPDDictionary& dict) {
    core::TqzPDBaseObject* descendants = dict.LookUp("DescendantFonts");
    if (descendants == nullptr || !descendants->IsArray()) return nullptr;
    const auto& array = static_cast<const core::TqzPDArray&>(*descendants);
    return array.GetLength() > 0 ? AsDict(array.Get(0)) : nullptr;
}

// Replaces the data of a stream object in place.
void SetStreamData(core::TqzPDStream& stream, const std::string& data) {
    auto dict = std::make_unique<core::TqzPDDictionary>(stream.GetParentDoc());
    if (stream.GetDict() != nullptr) dict->Assign(*stream.GetDict());
    dict->Remove("Filter");
    dict->Remove("DecodeParms");
    dict->SetKeyValue("Length", std::make_unique<core::TqzPDInteger>(static_cast<int32_t>(data.size())));
    core::TqzPDStream fresh(std::make_shared<core::TqzMemoryStream>(data), std::move(dict), stream.GetObjNumber(),
                            stream.GetGenNumber());
    stream.Assign(fresh);
    stream.SetIsChanged(true);
}

enum class ProgramKind : uint8_t { None, TrueType, OpenTypeCFF };

ProgramKind KindOfProgram(const std::string& bytes) {
    if (bytes.size() < 12) return ProgramKind::None;
    const std::string_view tag(bytes.data(), 4);
    if (tag == std::string_view("\0\1\0\0", 4) || tag == "true") return ProgramKind::TrueType;
    if (tag == "OTTO") return ProgramKind::OpenTypeCFF;
    // Collections are not written: a reader expects one font.
    return ProgramKind::None;
}

}  // namespace

int32_t ConvertPixelToPoints(double Value) { return RoundHalfEven(Value / platform::kScreenDpi * 72.0); }

TqzPDCIDFont::TqzPDCIDFont(document::TqzPDDocument* AParentDoc, core::TqzPDElement* AParentElement,
                           core::TqzPDBaseObject* ABaseObject, std::string ATag, std::string AName)
    : TqzPDFont(AParentDoc, AParentElement, ABaseObject, std::move(ATag), std::move(AName)) {
    FAscent = 0.95;
    FDescent = -0.35;
    FFontBox = std::make_unique<core::TqzPDRect>(0, 0, 0, 0);
    const core::TqzPDDictionary* dict = GetFontDict();
    if (dict == nullptr) return;
    core::TqzPDDictionary* descendant = Descendant(*dict);
    if (descendant == nullptr) return;
    const std::string subtype = OperandName(descendant->LookUp("Subtype"));
    if (subtype == "CIDFontType0") {
        FFontType = TqzPDFontType::CIDType0;
    } else if (subtype == "CIDFontType2") {
        FFontType = TqzPDFontType::CIDType2;
    } else {
        return;
    }
    ReadFontDescriptor(descendant);

    const core::TqzPDDictionary* info = AsDict(descendant->LookUp("CIDSystemInfo"));
    if (info == nullptr) return;
    const core::TqzPDBaseObject* registry = info->LookUp("Registry");
    const core::TqzPDBaseObject* ordering = info->LookUp("Ordering");
    const core::TqzPDBaseObject* supplement = info->LookUp("Supplement");
    if (registry == nullptr || !registry->IsString() || ordering == nullptr || !ordering->IsString() ||
        supplement == nullptr || !supplement->IsInteger()) {
        return;
    }
    const std::string collection = StringValue(registry) + "-" + StringValue(ordering) + "-UCS2";

    core::TqzPDBaseObject* encoding = dict->LookUp("Encoding");
    if (encoding != nullptr && encoding->IsStream()) {
        FEncodingName = "Custom";
        FCMap = TqzPDCMap::MakeCMapFromStream(*static_cast<core::TqzPDStream*>(encoding), collection, "Custom");
    } else if (encoding != nullptr && encoding->IsName()) {
        FEncodingName = OperandName(encoding);
        const std::string folder = FDocument != nullptr ? FDocument->GetCMapPath() : std::string("./CMAPS/");
        FCMap = TqzPDCMap::MakeCMap(collection, FEncodingName, folder);
    }
    if (FCMap == nullptr) return;

    if (const core::TqzPDBaseObject* dw = descendant->LookUp("DW"); dw != nullptr && dw->IsInteger()) {
        FWidths.DefWidth = ClampGlyphUnits(OperandNumber(dw)) * 0.001;
        FWidths.DefHeight = FWidths.DefWidth;
    }
    ReadWidths(descendant->LookUp("W"));

    if (core::TqzPDBaseObject* map = descendant->LookUp("CIDToGIDMap"); map != nullptr && map->IsStream()) {
        std::string bytes;
        // What lies beyond the last 16-bit CID is of no use; what was read
        // before a decoding error still maps.
        AppendDecoded(*static_cast<core::TqzPDStream*>(map), bytes, kMaxCIDToGIDBytes);
        FCIDToGID.reserve(bytes.size() / 2);
        for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
            FCIDToGID.push_back(static_cast<uint16_t>((static_cast<uint8_t>(bytes[i]) << 8) |
                                                      static_cast<uint8_t>(bytes[i + 1])));
        }
    }
    ReadToUnicode(*dict);
}

TqzPDCIDFont::TqzPDCIDFont(document::TqzPDDocument* AParentDoc, core::TqzPDElement* AParentElement,
                           const TqzFont& AObject)
    : TqzPDFont(AParentDoc, AParentElement, nullptr, {}, {}) {
    SetUpWriter(AObject, false);
    // Other readers show the right glyphs only from the program whose glyph
    // indices were recorded: the system font stands in when none was given.
    if (FEmbeddedFontStream == nullptr && FErrorCode == ErrorCodes::Success) {
        if (const auto file = platform::FindSystemFont(FPlatformFont); file.has_value()) {
            try {
                platform::FileStream stream(file->File, platform::FileMode::OpenRead);
                if (stream.Size() > 0 && stream.Size() <= kMaxFontProgramSize) SetEmbeddedFontStream(stream);
            } catch (const std::exception&) {
                // Unreadable: the font is written without a program.
            }
        }
    }
}

TqzPDCIDFont::~TqzPDCIDFont() = default;

void TqzPDCIDFont::ReadWidths(const core::TqzPDBaseObject* w) {
    if (w == nullptr || !w->IsArray()) return;
    const auto& array = static_cast<const core::TqzPDArray&>(*w);
    const int32_t length = array.GetLength();
    std::vector<TCIDWidthExcep>& exceps = FWidths.Exceps;
    const auto append = [&exceps](int64_t first, int64_t last, double width) {
        // Negative CIDs name no glyph.
        if (first < 0 || last < 0 || first > UINT32_MAX) return;
        exceps.push_back({static_cast<uint32_t>(first), static_cast<uint32_t>(std::min<int64_t>(last, UINT32_MAX)),
                          ClampGlyphUnits(width) * 0.001});
    };
    int32_t i = 0;
    while (i + 1 < length && exceps.size() < kMaxCIDWidthExceptions) {
        const core::TqzPDBaseObject* first = array.Get(i);
        const core::TqzPDBaseObject* second = array.Get(i + 1);
        const bool firstIsInteger = first != nullptr && first->IsInteger();
        if (firstIsInteger && second != nullptr && second->IsInteger() && i + 2 < length) {
            const core::TqzPDBaseObject* width = array.Get(i + 2);
            if (width != nullptr && width->IsNumber()) {
                append(static_cast<const core::TqzPDInteger*>(first)->GetValue(),
                       static_cast<const core::TqzPDInteger*>(second)->GetValue(), OperandNumber(width));
            }
            i += 3;
        } else if (firstIsInteger && second != nullptr && second->IsArray()) {
            const auto& inner = static_cast<const core::TqzPDArray&>(*second);
            int64_t cid = static_cast<const core::TqzPDInteger*>(first)->GetValue();
            for (int32_t k = 0; k < inner.GetLength() && exceps.size() < kMaxCIDWidthExceptions; ++k) {
                const core::TqzPDBaseObject* width = inner.Get(k);
                if (width == nullptr || !width->IsNumber()) continue;
                append(cid, cid, OperandNumber(width));
                if (cid < INT64_MAX) ++cid;
            }
            i += 2;
        } else {
            i += 1;
        }
    }
}

double TqzPDCIDFont::WidthOf(uint32_t cid, double fallback) const {
    for (const TCIDWidthExcep& excep : FWidths.Exceps) {
        if (cid >= excep.First && cid <= excep.Last) return excep.Width;
    }
    return fallback;
}

TqzWritingMode TqzPDCIDFont::WritingMode() const {
    // A vertical CMap of any name writes vertically, not Identity-V alone.
    if (FEncodingName == "Identity-V" || (FCMap != nullptr && FCMap->GetWMode() == 1)) {
        return TqzWritingMode::wmVertical;
    }
    return TqzWritingMode::wmHorizontal;
}

int32_t TqzPDCIDFont::GetNextChar(const std::string& aStr, size_t Index, int32_t& Processed, uint32_t& Code,
                                  std::string& CharName, double& Dx, double& Dy, double& Ox, double& Oy) {
    CharName.clear();
    Dx = Dy = Ox = Oy = 0;
    Code = 0;
    Processed = 1;
    if (FCMap == nullptr || Index >= aStr.size()) return 0;
    int32_t used = 0;
    const uint16_t cid = FCMap->GetCID(aStr, Index, HasEmbeddedProgram(), used);
    // The walk must move on whatever the CMap made of the bytes.
    Processed = std::clamp<int32_t>(used, 1, static_cast<int32_t>(std::min<size_t>(aStr.size() - Index, 4)));
    if (WritingMode() == TqzWritingMode::wmVertical) {
        Dy = WidthOf(cid, FWidths.DefHeight);
    } else {
        Dx = WidthOf(cid, FWidths.DefWidth);
    }
    Code = cid;
    if ((FFontType == TqzPDFontType::CIDType2 || FFontType == TqzPDFontType::CIDType0COT) && !FCIDToGID.empty()) {
        // A CID beyond the map is its own glyph index.
        if (cid < FCIDToGID.size()) Code = FCIDToGID[cid];
    } else if (!HasEmbeddedProgram() && FToUnicode != nullptr) {
        const int64_t unicode = FToUnicode->GetCode(cid);
        if (unicode >= 0 && unicode <= UINT32_MAX) Code = static_cast<uint32_t>(unicode);
    }
    return 1;
}

double TqzPDCIDFont::GetCharWidth(uint32_t ACharCode) {
    if (FCMap == nullptr || WritingMode() == TqzWritingMode::wmVertical) return 0;
    return WidthOf(ACharCode, FWidths.DefWidth);
}

// ---- writing ----

void TqzPDCIDFont::CreateFontDict() {
    if (FBaseObject != nullptr || FDocument == nullptr || FDocument->GetBaseDoc() == nullptr) return;
    document::TqzPDBaseDoc* baseDoc = FDocument->GetBaseDoc();
    const std::string program = FEmbeddedFontStream != nullptr ? FEmbeddedFontStream->Bytes() : std::string();
    const ProgramKind kind = KindOfProgram(program);

    // Numbered in this order: Type 0 dictionary, descendant, descriptor,
    // ToUnicode stream (then the program).
    auto* type0 = static_cast<core::TqzPDDictionary*>(AddNewObject(std::make_unique<core::TqzPDDictionary>(baseDoc)));
    auto* descendant =
        static_cast<core::TqzPDDictionary*>(AddNewObject(std::make_unique<core::TqzPDDictionary>(baseDoc)));
    auto* descriptor = static_cast<core::TqzPDDictionary*>(AddNewObject(MakeDescriptor()));
    auto toUnicodeDict = std::make_unique<core::TqzPDDictionary>(baseDoc);
    toUnicodeDict->Add("Length", std::make_unique<core::TqzPDInteger>(0));
    core::TqzPDBaseObject* toUnicode = AddNewObject(
        std::make_unique<core::TqzPDStream>(std::make_shared<core::TqzMemoryStream>(), std::move(toUnicodeDict)));
    const auto ref = [](const core::TqzPDBaseObject* object) {
        return std::make_unique<core::TqzPDIndirectRef>(object->GetObjNumber(), 0);
    };

    type0->Add("Type", std::make_unique<core::TqzPDName>("Font"));
    type0->Add("Subtype", std::make_unique<core::TqzPDName>("Type0"));
    type0->Add("Name", std::make_unique<core::TqzPDName>(FTag));
    type0->Add("BaseFont", std::make_unique<core::TqzPDName>(FName));
    type0->Add("Encoding", std::make_unique<core::TqzPDName>("Identity-H"));
    auto descendants = std::make_unique<core::TqzPDArray>(baseDoc);
    descendants->Add(ref(descendant));
    type0->Add("DescendantFonts", std::move(descendants));
    type0->Add("ToUnicode", ref(toUnicode));

    descendant->Add("Type", std::make_unique<core::TqzPDName>("Font"));
    // A CFF program makes a CIDFontType0 whose CIDs are its glyph indices.
    descendant->Add("Subtype", std::make_unique<core::TqzPDName>(kind == ProgramKind::OpenTypeCFF ? "CIDFontType0"
                                                                                               : "CIDFontType2"));
    descendant->Add("BaseFont", std::make_unique<core::TqzPDName>(FName));
    descendant->Add("W", std::make_unique<core::TqzPDArray>(baseDoc));
    descendant->Add("DW", std::make_unique<core::TqzPDInteger>(kWrittenDefaultWidth));
    if (kind != ProgramKind::OpenTypeCFF) descendant->Add("CIDToGIDMap", std::make_unique<core::TqzPDName>("Identity"));
    auto info = std::make_unique<core::TqzPDDictionary>(baseDoc);
    info->Add("Registry", std::make_unique<core::TqzPDString>("Adobe", false));
    info->Add("Ordering", std::make_unique<core::TqzPDString>("Identity", false));
    info->Add("Supplement", std::make_unique<core::TqzPDInteger>(0));
    descendant->Add("CIDSystemInfo", std::move(info));
    descendant->Add("FontDescriptor", ref(descriptor));

    if (kind == ProgramKind::TrueType) {
        WriteFontProgram(*descriptor, "FontFile2", program);
    } else if (kind == ProgramKind::OpenTypeCFF) {
        WriteFontProgram(*descriptor, "FontFile3", program, "OpenType");
    }
    FBaseObject = type0;
    // Glyphs recorded before the font had a dictionary join the document's.
    if (!FOwnRecord.empty()) {
        Record().merge(FOwnRecord);
        FOwnRecord.clear();
    }
}

const TqzCIDGlyphRecord* TqzPDCIDFont::GetRecord() const {
    const core::TqzPDDictionary* dict = GetFontDict();
    if (FDocument != nullptr && dict != nullptr && !dict->IsDirect()) {
        const auto* recordings = dynamic_cast<const TqzFontRecordings*>(FDocument->GetContentState());
        if (recordings != nullptr) {
            const auto found = recordings->Fonts.find(dict->GetObjNumber());
            return found != recordings->Fonts.end() ? &found->second : nullptr;
        }
    }
    return FOwnRecord.empty() ? nullptr : &FOwnRecord;
}

TqzCIDGlyphRecord& TqzPDCIDFont::Record() {
    const core::TqzPDDictionary* dict = GetFontDict();
    if (FDocument == nullptr || dict == nullptr || dict->IsDirect()) return FOwnRecord;
    auto* recordings = dynamic_cast<TqzFontRecordings*>(FDocument->GetContentState());
    if (recordings == nullptr) {
        // Never replace state of another kind.
        if (FDocument->GetContentState() != nullptr) return FOwnRecord;
        auto made = std::make_unique<TqzFontRecordings>();
        recordings = made.get();
        FDocument->SetContentState(std::move(made));
    }
    return recordings->Fonts[dict->GetObjNumber()];
}

void TqzPDCIDFont::ProcessUniscribe(std::u16string_view AText, const platform::PlatformFont& /*AFont*/,
                                    std::span<const TqzCIDGlyph> ACIDGlyphList) {
    if (ACIDGlyphList.empty()) return;
    const auto length = static_cast<int64_t>(AText.size());
    // Cluster starts in text order: a cluster's text runs to the next start.
    std::vector<int64_t> starts;
    starts.reserve(ACIDGlyphList.size());
    for (const TqzCIDGlyph& glyph : ACIDGlyphList) {
        if (glyph.Cluster >= 0 && glyph.Cluster < length) starts.push_back(glyph.Cluster);
    }
    std::sort(starts.begin(), starts.end());
    TqzCIDGlyphRecord& record = Record();
    for (const TqzCIDGlyph& glyph : ACIDGlyphList) {
        if (record.count(glyph.GlyphIndex) != 0) continue;
        TqzCIDGlyphUse use;
        use.Width = glyph.Advance;
        if (glyph.Cluster >= 0 && glyph.Cluster < length) {
            const auto next = std::upper_bound(starts.begin(), starts.end(), int64_t{glyph.Cluster});
            const int64_t end = next != starts.end() ? *next : length;
            use.Text = std::u16string(AText.substr(static_cast<size_t>(glyph.Cluster),
                                                   static_cast<size_t>(end - glyph.Cluster)));
        }
        record.emplace(glyph.GlyphIndex, std::move(use));
    }
}

std::string TqzPDCIDFont::RecordText(std::u16string_view AText) {
    platform::MemoryStream* program = GetEmbeddedFontStream();
    if (program == nullptr || program->Bytes().empty()) return {};
    ErrorCodes error = ErrorCodes::Success;
    TqzFontProcessor processor(*program, FPlatformFont.Size, platform::kScreenDpi, platform::kScreenDpi, error);
    if (error != ErrorCodes::Success) return {};
    std::vector<TqzCIDGlyph> glyphs;
    std::string shown;
    for (size_t i = 0; i < AText.size(); ++i) {
        char32_t codePoint = AText[i];
        const size_t start = i;
        if (codePoint >= 0xD800 && codePoint < 0xDC00 && i + 1 < AText.size() && AText[i + 1] >= 0xDC00 &&
            AText[i + 1] < 0xE000) {
            codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (AText[i + 1] - 0xDC00);
            ++i;
        }
        uint32_t index = 0;
        double advance = 0;
        processor.GetUnicodeGlyph(codePoint, index, advance);
        const auto glyphIndex = static_cast<uint16_t>(std::min<uint32_t>(index, 0xFFFF));
        glyphs.push_back({glyphIndex, RoundHalfEven(advance), static_cast<int32_t>(start)});
        shown += static_cast<char>(glyphIndex >> 8);
        shown += static_cast<char>(glyphIndex & 0xFF);
    }
    ProcessUniscribe(AText, FPlatformFont, glyphs);
    return shown;
}

void TqzPDCIDFont::Update() {
    TqzPDFont::Update();
    const TqzCIDGlyphRecord* record = GetRecord();
    core::TqzPDDictionary* dict = GetFontDict();
    if (record == nullptr || record->empty() || dict == nullptr) return;

    std::string text = kToUnicodeHead;
    std::vector<std::string> ranges;
    std::vector<std::string> chars;
    for (const auto& [glyph, use] : *record) {
        if (use.Text.empty()) continue;
        if (use.Text.size() == 1) {
            ranges.push_back("<" + Hex4(glyph) + "><" + Hex4(glyph) + "><" + Hex4(use.Text[0]) + ">\r\n");
        } else {
            std::string line = "<" + Hex4(glyph) + "> <";
            for (const char16_t unit : use.Text) line += Hex4(unit);
            chars.push_back(line + ">\r\n");
        }
    }
    const auto sections = [&text](const std::vector<std::string>& lines, const char* begin, const char* end) {
        for (size_t at = 0; at < lines.size(); at += kMaxCMapSectionEntries) {
            const size_t count = std::min(kMaxCMapSectionEntries, lines.size() - at);
            text += std::to_string(count) + " " + begin + "\r\n";
            for (size_t k = at; k < at + count; ++k) text += lines[k];
            text += std::string(end) + "\r\n";
        }
    };
    sections(ranges, "beginbfrange", "endbfrange");
    sections(chars, "beginbfchar", "endbfchar");
    text += kToUnicodeTail;
    if (core::TqzPDBaseObject* toUnicode = dict->LookUp("ToUnicode"); toUnicode != nullptr && toUnicode->IsStream()) {
        SetStreamData(*static_cast<core::TqzPDStream*>(toUnicode), text);
    }

    core::TqzPDDictionary* descendant = Descendant(*dict);
    if (descendant == nullptr) return;
    auto w = std::make_unique<core::TqzPDArray>(descendant->GetParentDoc());
    core::TqzPDArray* run = nullptr;
    int64_t previous = -2;
    for (const auto& [glyph, use] : *record) {
        if (run == nullptr || glyph != previous + 1) {
            w->Add(std::make_unique<core::TqzPDInteger>(int32_t{glyph}));
            w->Add(std::make_unique<core::TqzPDArray>(descendant->GetParentDoc()));
            run = static_cast<core::TqzPDArray*>(w->GetRefObj(w->GetLength() - 1));
        }
        run->Add(std::make_unique<core::TqzPDInteger>(use.Width));
        previous = glyph;
    }
    descendant->SetKeyValue("W", std::move(w));
    descendant->SetIsChanged(true);
    dict->SetIsChanged(true);
}

}  // namespace qz::content
