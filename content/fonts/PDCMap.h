#pragma once
// The encoding CMap of a composite font: a predefined CMap found by name, a
// CMap embedded in the file as a stream, or one of the Identity CMaps, which
// need no file; with a CID-to-Unicode companion where one is found. It
// decodes the bytes of a shown string into CIDs. Each CMap owns its parsers.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "content/fonts/PDCMapParser.h"

namespace qz::core {
class TqzPDStream;
}

namespace qz::content {

// Decoded bytes of an embedded CMap read at most; the largest predefined CMap
// is under 1 MiB.
inline constexpr int64_t kMaxCMapStreamSize = int64_t{32} << 20;

// The folder of the predefined CMaps, built from poppler-data with the
// library.
std::filesystem::path PredefinedCMapFolder();

class TqzPDCMap {
public:
    static std::unique_ptr<TqzPDCMap> MakeCMapFromStream(core::TqzPDStream& AStream, const std::string& aCollection,
                                                         const std::string& acMapName);
    // Looks in acMapPath first, then in the predefined CMaps built from
    // poppler-data; none when not found or when the name could reach outside
    // the folders.
    static std::unique_ptr<TqzPDCMap> MakeCMap(const std::string& aCollection, const std::string& acMapName,
                                               const std::filesystem::path& acMapPath);
    // A CMap over CMap text in memory; `usecmap` is looked up among the
    // predefined CMaps.
    TqzPDCMap(platform::Stream& AStream, std::string aCollection, std::string acMapName);

    // The CID of the code at byte Index (0-based) of Str, or, for a font
    // without an embedded program and with a CID-to-Unicode companion, its
    // Unicode value; 65535 when nothing maps the code. Processed receives the
    // number of bytes the code took.
    uint16_t GetCID(std::string_view Str, size_t Index, bool IsEmbeded, int32_t& Processed) const;
    bool IsSingleByteCodeRange(int64_t Code) const;
    uint8_t GetWMode() const { return FWMode; }
    const std::string& GetCMapName() const { return FcMapName; }
    const std::string& GetCollection() const { return FCollection; }
    const TqzPDCMapParser* GetCMapParser() const { return FCMapParser.get(); }
    const TqzPDCMapParser* GetUCSParser() const { return FUCSParser.get(); }

private:
    TqzPDCMap(std::string aCollection, std::string acMapName);

    std::string FcMapName;
    std::string FCollection;
    uint8_t FWMode = 0;
    std::unique_ptr<TqzPDCMapParser> FCMapParser;  // none for the Identity CMaps
    std::unique_ptr<TqzPDCMapParser> FUCSParser;
};

}  // namespace qz::content
