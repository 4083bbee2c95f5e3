// Encoding CMaps: decoding shown strings into CIDs (Identity, single-byte
// ranges, code spaces of one to four bytes), finding named CMaps in the
// document's folder and among the predefined ones, the CID-to-Unicode
// companion, embedded CMaps, and names that would reach outside the folders.
// The predefined CMaps are checked against their own text.

#include "content/fonts/PDCMap.h"

#include <gtest/gtest.h>

#include <charconv>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/MemoryStream.h"
#include "core/PDDictionary.h"
#include "core/PDName.h"
#include "core/PDStream.h"
#include "filters/Registration.h"
#include "platform/Streams.h"
#include "testing/TempDir.h"

namespace qz::content {
namespace {

struct Decoded {
    uint16_t Cid;
    int32_t Processed;
};

Decoded Decode(const TqzPDCMap& cmap, const std::string& bytes, size_t index = 0, bool embedded = true) {
    int32_t processed = 0;
    const uint16_t cid = cmap.GetCID(bytes, index, embedded, processed);
    return {cid, processed};
}

// What a CMap's own text says a code maps to, read line by line: single codes
// first, else the last range holding the code; the CMap it uses comes first.
// Only destinations of up to four hex digits.
struct FileEntry {
    int64_t Low, High, Value;
    bool Single;
};

int64_t Number(std::string_view field) {
    const bool hex = field.front() == '<';
    if (hex) field = field.substr(1, field.size() - 2);
    int64_t value = -1;
    std::from_chars(field.data(), field.data() + field.size(), value, hex ? 16 : 10);
    return value;
}

std::vector<FileEntry> FileEntries(const std::filesystem::path& file) {
    std::vector<FileEntry> out;
    const std::string text = platform::ReadFileBytes(file);
    const std::string_view all(text);
    bool inBlock = false, single = false;
    for (size_t at = 0; at < all.size();) {
        size_t end = all.find('\n', at);
        if (end == std::string_view::npos) end = all.size();
        const std::string_view line = all.substr(at, end - at);
        at = end + 1;
        if (line.empty()) continue;
        if (line[0] == '/' && line.ends_with(" usecmap")) {
            auto used = FileEntries(file.parent_path() / std::string(line.substr(1, line.find(' ') - 1)));
            out.insert(out.end(), used.begin(), used.end());
        }
        if (line.find("begincidrange") != line.npos || line.find("beginbfrange") != line.npos) {
            inBlock = true;
            single = false;
        } else if (line.find("begincidchar") != line.npos || line.find("beginbfchar") != line.npos) {
            inBlock = true;
            single = true;
        } else if (line.starts_with("end")) {
            inBlock = false;
        }
        if (!inBlock || line[0] != '<') continue;
        // Fields: <hex> or a decimal number; destinations of more than four
        // hex digits and arrays are left out.
        std::vector<std::string_view> fields;
        for (size_t i = 0; i < line.size();) {
            if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
                ++i;
                continue;
            }
            size_t j = line.find_first_of(" \t\r", i);
            if (j == line.npos) j = line.size();
            fields.push_back(line.substr(i, j - i));
            i = j;
        }
        if (fields.size() != (single ? 2u : 3u) || fields.back().size() > 6 || fields.back()[0] == '[') continue;
        out.push_back({Number(fields[0]), Number(fields[single ? 0 : 1]), Number(fields.back()), single});
    }
    return out;
}

int64_t ExpectedValue(const std::vector<FileEntry>& entries, int64_t code) {
    for (auto it = entries.rbegin(); it != entries.rend(); ++it)
        if (it->Single && it->Low == code) return it->Value;
    for (auto it = entries.rbegin(); it != entries.rend(); ++it)
        if (!it->Single && it->Low <= code && code <= it->High) return it->Value + code - it->Low;
    return -1;
}

std::filesystem::path Predefined(const std::string& name) { return PredefinedCMapFolder() / name; }

const std::string kRanges =
    "begincidrange\n<20> <7e> 1\n<8140> <817e> 633\nendcidrange\n"
    "begincidchar\n<8150> 5\nendcidchar\n";

TEST(PDCMap, DecodesShownStrings) {
    platform::MemoryStream text(kRanges);
    const TqzPDCMap ranges(text, "", "Custom");
    const auto identity = TqzPDCMap::MakeCMap("", "IdentityH", {});
    ASSERT_NE(identity, nullptr);
    struct Case {
        const TqzPDCMap* cmap;
        std::string bytes;
        size_t index;
        uint16_t cid;
        int32_t processed;
    };
    const Case cases[] = {
        {&ranges, "\x81\x40", 0, 633, 2},    {&ranges, "\x81\x7e", 0, 695, 2},  {&ranges, "\x81\x7f", 0, 65535, 2},
        {&ranges, "\x81\x50", 0, 5, 2},      {&ranges, "AB", 0, 34, 1},         {&ranges, "AB", 1, 35, 1},
        {&ranges, "\x81", 0, 65535, 1},      {&ranges, "A", 1, 65535, 1},       {identity.get(), "\x01\x02", 0, 0x0102, 2},
        {identity.get(), "\x01\x02\x03", 2, 3, 1},
    };
    for (const Case& c : cases) {
        const auto got = Decode(*c.cmap, c.bytes, c.index);
        EXPECT_EQ(got.Cid, c.cid) << c.bytes.size() << " at " << c.index;
        EXPECT_EQ(got.Processed, c.processed) << c.bytes.size() << " at " << c.index;
    }
    EXPECT_TRUE(ranges.IsSingleByteCodeRange(0x41));
    EXPECT_FALSE(identity->IsSingleByteCodeRange(0x41));
}

TEST(PDCMap, NamedCMapsAreFoundOnlyInsideTheFolders) {
    qz::testing::TempDir dir;
    const auto folder = dir.Path() / "cmaps";
    std::filesystem::create_directories(folder);
    dir.Write("Outside", kRanges);
    dir.Write("cmaps/90ms-RKSJ-H", "/WMode 1 def\n" + kRanges);  // the document's own wins
    dir.Write("cmaps/Mine", kRanges);
    struct Case {
        std::string name;
        bool found;
        uint8_t wMode;
        bool parser;
    };
    const Case cases[] = {
        {"IdentityH", true, 0, false}, {"Identity-H", true, 0, false}, {"Identity", true, 0, false},
        {"Identity-V", true, 1, false}, {"Mine", true, 0, true},       {"90ms-RKSJ-H", true, 1, true},
        {"90ms-RKSJ-V", true, 1, true}, {"NoSuchCMap", false, 0, false}, {"../Outside", false, 0, false},
        {"..", false, 0, false},        {"", false, 0, false},           {"cmaps/Mine", false, 0, false},
        {folder.string() + "/Mine", false, 0, false}, {"Mine\\x", false, 0, false},
    };
    for (const Case& c : cases) {
        const auto cmap = TqzPDCMap::MakeCMap("", c.name, folder);
        ASSERT_EQ(cmap != nullptr, c.found) << c.name;
        if (!cmap) continue;
        EXPECT_EQ(cmap->GetWMode(), c.wMode) << c.name;
        EXPECT_EQ(cmap->GetCMapParser() != nullptr, c.parser) << c.name;
    }
    EXPECT_EQ(TqzPDCMap::MakeCMap("", "IdentityH", folder)->GetCMapName(), "Identity-H");
    EXPECT_EQ(Decode(*TqzPDCMap::MakeCMap("", "90ms-RKSJ-H", folder), "\x81\x50").Cid, 5);
    // Without the document's folder, the predefined one.
    EXPECT_EQ(Decode(*TqzPDCMap::MakeCMap("", "90ms-RKSJ-H", {}), "\x81\x50").Cid,
              ExpectedValue(FileEntries(Predefined("90ms-RKSJ-H")), 0x8150));
}

TEST(PDCMap, PredefinedCMapsDecodeAsTheirTextSays) {
    const auto entriesH = FileEntries(Predefined("UniJIS-UCS2-H"));
    const auto entriesV = FileEntries(Predefined("UniJIS-UCS2-V"));
    const auto rksj = FileEntries(Predefined("90ms-RKSJ-H"));
    const auto utf16 = FileEntries(Predefined("UniJIS-UTF16-H"));
    const auto uniH = TqzPDCMap::MakeCMap("Adobe-Japan1-UCS2", "UniJIS-UCS2-H", {});
    const auto uniV = TqzPDCMap::MakeCMap("Adobe-Japan1-UCS2", "UniJIS-UCS2-V", {});
    const auto ms = TqzPDCMap::MakeCMap("Adobe-Japan1-UCS2", "90ms-RKSJ-H", {});
    const auto u16 = TqzPDCMap::MakeCMap("Adobe-Japan1-UCS2", "UniJIS-UTF16-H", {});
    ASSERT_TRUE(uniH && uniV && ms && u16);
    EXPECT_EQ(uniV->GetWMode(), 1);
    EXPECT_FALSE(uniV->GetCMapParser()->HasUnresolvedUseCMap());
    // U+3001 has its own vertical form; U+3042 comes from the horizontal map
    // that the vertical one uses.
    EXPECT_NE(ExpectedValue(entriesV, 0x3001), ExpectedValue(entriesH, 0x3001));
    struct Case {
        const TqzPDCMap* cmap;
        std::string bytes;
        size_t index;
        int64_t cid;
        int32_t processed;
    };
    const Case cases[] = {
        {uniH.get(), "\x30\x42", 0, ExpectedValue(entriesH, 0x3042), 2},
        {uniV.get(), "\x30\x42", 0, ExpectedValue(entriesH, 0x3042), 2},
        {uniV.get(), "\x30\x01", 0, ExpectedValue(entriesV, 0x3001), 2},
        {ms.get(), "A\x82\xa0", 0, ExpectedValue(rksj, 0x41), 1},
        {ms.get(), "A\x82\xa0", 1, ExpectedValue(rksj, 0x82A0), 2},
        {u16.get(), "\xd8\x40\xdc\x0b", 0, ExpectedValue(utf16, 0xD840DC0B), 4},
        {u16.get(), std::string("\0\x5c", 2), 0, ExpectedValue(utf16, 0x5C), 2},
    };
    for (const Case& c : cases) {
        ASSERT_GT(c.cid, 0);
        const auto got = Decode(*c.cmap, c.bytes, c.index);
        EXPECT_EQ(got.Cid, c.cid) << c.cmap->GetCMapName() << " at " << c.index;
        EXPECT_EQ(got.Processed, c.processed) << c.cmap->GetCMapName() << " at " << c.index;
    }
    // A font without its program reads Unicode back through the companion.
    ASSERT_NE(uniH->GetUCSParser(), nullptr);
    for (const uint16_t unicode : {uint16_t{0x3042}, uint16_t{0x4E00}, uint16_t{0x0041}})
        EXPECT_EQ(Decode(*uniH, {static_cast<char>(unicode >> 8), static_cast<char>(unicode & 0xFF)}, 0, false).Cid,
                  unicode);
    const auto identity = TqzPDCMap::MakeCMap("Adobe-Japan1-UCS2", "Identity-H", {});
    ASSERT_NE(identity->GetUCSParser(), nullptr);
    EXPECT_EQ(Decode(*identity, {0, 0x22}, 0, false).Cid, 'A');  // CID 34 is "A" in Adobe-Japan1
    EXPECT_EQ(TqzPDCMap::MakeCMap("../Adobe-Japan1-UCS2", "Identity-H", {})->GetUCSParser(), nullptr);
}

TEST(PDCMap, EveryPredefinedCMapParses) {
    int32_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(PredefinedCMapFolder())) {
        const std::string name = entry.path().filename().string();
        ++files;
        platform::FileStream stream(entry.path(), platform::FileMode::OpenRead);
        const TqzCMapSearch search{{PredefinedCMapFolder()}, name};
        std::unique_ptr<TqzPDCMapParser> parser;
        ASSERT_NO_THROW(parser = std::make_unique<TqzPDCMapParser>(stream, search)) << name;
        EXPECT_GT(parser->getCIDCount() + parser->getCodeCount(), 0) << name;
        EXPECT_FALSE(parser->HasUnresolvedUseCMap()) << name;
        const auto entries = FileEntries(entry.path());
        ASSERT_FALSE(entries.empty()) << name;
        for (const size_t i : {size_t{0}, entries.size() / 2, entries.size() - 1})
            for (const int64_t code : {entries[i].Low, entries[i].High})
                EXPECT_EQ(parser->GetCode(code), ExpectedValue(entries, code)) << name << " code " << code;
    }
    EXPECT_GT(files, 200);
}

TEST(PDCMap, EmbeddedCMapUsesAPredefinedOne) {
    filters::RegisterFilters();
    const int64_t predefined = ExpectedValue(FileEntries(Predefined("UniJIS-UCS2-H")), 0x3044);
    struct Case {
        std::string useCMap;  // the stream's /UseCMap name, "" for none
        std::string text;
        uint16_t at3042, at3044;
    };
    const std::string own = "begincidrange <3042> <3042> 5 endcidrange";
    const Case cases[] = {
        {"", "/UniJIS-UCS2-H usecmap\n" + own, 5, static_cast<uint16_t>(predefined)},
        {"UniJIS-UCS2-H", own, 5, static_cast<uint16_t>(predefined)},
        {"..#2FUniJIS-UCS2-H", own, 5, 65535},
        {"", own, 5, 65535},
    };
    for (const Case& c : cases) {
        auto dict = std::make_unique<core::TqzPDDictionary>();
        if (!c.useCMap.empty()) dict->Add("UseCMap", std::make_unique<core::TqzPDName>(c.useCMap));
        core::TqzPDStream stream(std::make_shared<core::TqzMemoryStream>(c.text), std::move(dict));
        const auto cmap = TqzPDCMap::MakeCMapFromStream(stream, "Adobe-Japan1-UCS2", "Custom");
        ASSERT_NE(cmap, nullptr);
        EXPECT_EQ(cmap->GetCMapName(), "Custom");
        EXPECT_EQ(cmap->GetUCSParser(), nullptr);  // embedded CMaps have no companion
        EXPECT_EQ(Decode(*cmap, "\x30\x42").Cid, c.at3042) << c.useCMap << c.text;
        EXPECT_EQ(Decode(*cmap, "\x30\x44").Cid, c.at3044) << c.useCMap << c.text;
    }
}

}  // namespace
}  // namespace qz::content
