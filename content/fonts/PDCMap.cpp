#include "content/fonts/PDCMap.h"

#include <exception>
#include <utility>
#include <vector>

#include "content/DecodedBytes.h"
#include "core/PDDictionary.h"
#include "core/PDName.h"
#include "core/PDStream.h"

#ifndef QZ_PREDEFINED_CMAP_DIR
#error "QZ_PREDEFINED_CMAP_DIR must name the folder of the predefined CMaps"
#endif

namespace qz::content {
namespace {

bool IsIdentity(const std::string& Name) { return Name == "Identity" || Name == "Identity-H" || Name == "Identity-V"; }

uint8_t WritingModeOf(const TqzPDCMapParser& Parser) { return Parser.GetWMode() == 1 ? 1 : 0; }

// The parsed CMap in `File`; none when there is no such file or it cannot be
// opened.
std::unique_ptr<TqzPDCMapParser> ParseFile(const std::filesystem::path& File, const TqzCMapSearch& Search) {
    if (File.empty()) return nullptr;
    try {
        platform::FileStream stream(File, platform::FileMode::OpenRead);
        return std::make_unique<TqzPDCMapParser>(stream, Search);
    } catch (const std::exception&) {
        return nullptr;  // an unreadable CMap is a missing one
    }
}

}  // namespace

std::filesystem::path PredefinedCMapFolder() { return std::filesystem::path(QZ_PREDEFINED_CMAP_DIR); }

TqzPDCMap::TqzPDCMap(std::string aCollection, std::string acMapName)
    : FcMapName(std::move(acMapName)), FCollection(std::move(aCollection)) {}

TqzPDCMap::TqzPDCMap(platform::Stream& AStream, std::string aCollection, std::string acMapName)
    : TqzPDCMap(std::move(aCollection), std::move(acMapName)) {
    const TqzCMapSearch search{{PredefinedCMapFolder()}, {}};
    FCMapParser = std::make_unique<TqzPDCMapParser>(AStream, search);
    FWMode = WritingModeOf(*FCMapParser);
}

std::unique_ptr<TqzPDCMap> TqzPDCMap::MakeCMapFromStream(core::TqzPDStream& AStream, const std::string& aCollection,
                                                         const std::string& acMapName) {
    // A stream that fails to decode gives what it decoded so far. A CMap that
    // /UseCMap names comes first, as a usecmap at the start of the text would.
    std::string text;
    const auto* dict = AStream.GetDict();
    const auto* name = dynamic_cast<const core::TqzPDName*>(dict ? dict->LookUp("UseCMap") : nullptr);
    if (name && IsSafeCMapName(name->GetValue())) {
        text = "/" + name->GetValue() + " usecmap\n";
    }
    (void)AppendDecoded(AStream, text, kMaxCMapStreamSize);
    platform::MemoryStream memory(std::move(text));
    return std::unique_ptr<TqzPDCMap>(new TqzPDCMap(memory, aCollection, acMapName));
}

std::unique_ptr<TqzPDCMap> TqzPDCMap::MakeCMap(const std::string& aCollection, const std::string& acMapName,
                                               const std::filesystem::path& acMapPath) {
    const std::string name = acMapName == "IdentityH" ? "Identity-H" : acMapName;
    if (!IsSafeCMapName(name)) return nullptr;
    TqzCMapSearch search{{acMapPath, PredefinedCMapFolder()}, name};
    std::unique_ptr<TqzPDCMap> cmap(new TqzPDCMap(aCollection, name));
    std::string ucsName;
    if (IsIdentity(name)) {
        cmap->FWMode = name == "Identity-V" ? 1 : 0;
        ucsName = aCollection;
    } else {
        cmap->FCMapParser = ParseFile(FindCMapFile(search.Folders, name), search);
        if (!cmap->FCMapParser) return nullptr;
        cmap->FWMode = WritingModeOf(*cmap->FCMapParser);
        const auto& parser = *cmap->FCMapParser;
        ucsName = parser.GetRegistry().empty() || parser.GetOrdering().empty()
                      ? aCollection
                      : parser.GetRegistry() + "-" + parser.GetOrdering() + "-UCS2";
    }
    if (!ucsName.empty()) {
        search.Name = ucsName;
        cmap->FUCSParser = ParseFile(FindCMapFile(search.Folders, ucsName), search);
    }
    return cmap;
}

uint16_t TqzPDCMap::GetCID(std::string_view Str, size_t Index, bool IsEmbeded, int32_t& Processed) const {
    if (Index >= Str.size()) {
        Processed = 1;  // nothing left: step on rather than stand still
        return 0xFFFF;
    }
    const size_t remaining = Str.size() - Index;
    const auto byteAt = [&](size_t i) { return static_cast<uint8_t>(Str[Index + i]); };
    int64_t value = 0;
    if (!FCMapParser) {
        Processed = remaining >= 2 ? 2 : 1;
        value = remaining >= 2 ? byteAt(0) * 256 + byteAt(1) : byteAt(0);
    } else {
        int32_t length = FCMapParser->GetCodeLength(Str.substr(Index, 4));
        if (length == 0) length = FCMapParser->IsSingleByteCodeRange(byteAt(0)) || remaining < 2 ? 1 : 2;
        int64_t code = 0;
        for (size_t i = 0; i < static_cast<size_t>(length); ++i) code = code * 256 + byteAt(i);
        Processed = length;
        // Single codes count as well as ranges: many CMaps map codes one by one.
        value = FCMapParser->GetCode(code);
    }
    if (!IsEmbeded && FUCSParser) value = FUCSParser->GetCode(value);
    return static_cast<uint16_t>(static_cast<uint64_t>(value) & 0xFFFF);
}

bool TqzPDCMap::IsSingleByteCodeRange(int64_t Code) const {
    return FCMapParser && FCMapParser->IsSingleByteCodeRange(Code);
}

}  // namespace qz::content
