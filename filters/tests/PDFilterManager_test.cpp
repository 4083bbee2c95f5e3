#include "filters/PDFilterManager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/FilterStream.h"
#include "core/MemoryStream.h"
#include "core/PDBaseExceptions.h"
#include "core/PDLexer.h"
#include "core/PDParser.h"
#include "core/PDStream.h"
#include "filters/CodecStreams.h"
#include "filters/tests/TestSupport.h"

using namespace qz;
using filters::TqzPDFilterManager;
using filters::test::Hex;
using filters::test::Mem;
using filters::test::Zlib;

namespace {

std::unique_ptr<core::TqzPDDictionary> Dict(const std::string& text) {
    core::TqzPDParser parser(static_cast<core::TqzParentDocument*>(nullptr),
                             std::make_unique<core::TqzPDLexer>(Mem(text)), false);
    auto object = parser.GetObject();
    if (!object->IsDict()) throw std::runtime_error("not a dictionary: " + text);
    return std::unique_ptr<core::TqzPDDictionary>(
        static_cast<core::TqzPDDictionary*>(object.release()));
}

// What the stream's data reads as, in blocks, as every bulk reader reads it.
std::string Decoded(core::TqzPDStream& stream) {
    return filters::test::ReadBlocks(*stream.GetStream(), 4096);
}

// Rows 1 2 3 4 and 5 6 7 8, PNG "Up" coded with their tag bytes.
const std::string kPngUp("\x02\x01\x02\x03\x04\x02\x04\x04\x04\x04", 10);
const std::string kRows("\x01\x02\x03\x04\x05\x06\x07\x08", 8);

}  // namespace

TEST(PDFilterManager, ChainsFromTheFilterAndParameterEntries) {
    struct Case {
        const char* dict;
        std::string raw;
        std::string decoded;
    };
    const std::string hexOfFlate = Hex(Zlib(kPngUp)) + ">";
    const std::vector<Case> cases = {
        {"<< >>", "raw", "raw"},
        {"<< /Filter /FlateDecode /DecodeParms << /Predictor 12 /Columns 4 >> >>", Zlib(kPngUp),
         kRows},
        // A parameter array with a single name: the defaults, tag bytes stay.
        {"<< /Filter /FlateDecode /DecodeParms [<< /Predictor 12 /Columns 4 >>] >>", Zlib(kPngUp),
         kPngUp},
        // A single parameter dictionary is not used with an array of filters.
        {"<< /Filter [/FlateDecode] /DecodeParms << /Predictor 12 /Columns 4 >> >>", Zlib(kPngUp),
         kPngUp},
        {"<< /Filter [/ASCIIHexDecode /FlateDecode] /DecodeParms [null << /Predictor 12 /Columns 4 "
         ">>] >>",
         hexOfFlate, kRows},
        {"<< /DecodeParms [] >>", "raw", "raw"},
        {"<< /DecodeParms [<< >> << /K 1 >>] >>", "raw", "raw"},
        {"<< /F /AHx /DP << >> >>", "414243>", "ABC"},
        {"<< /Filter null /F /A85 >>", "87cURD]i,\"Ebo80~>", "Hello World!"},
        {"<< /Filter /Fl /DP << /Predictor 2 /Colors 3 /Columns 2 >> >>",
         Zlib(std::string("\x0a\x14\x1e\x01\x01\x01", 6)),
         std::string("\x0a\x14\x1e\x0b\x15\x1f", 6)},
        // A real where an integer is expected keeps the default.
        {"<< /Filter /FlateDecode /DecodeParms << /Predictor 2 /Columns 4.0 >> >>",
         Zlib(std::string(4, '\x01')), std::string(4, '\x01')},
        {"<< /Filter /RL >>", std::string("\x02xyz\xfe!\x80", 7), "xyz!!!"},
        // Unknown names, wrong case and Crypt read as end of data.
        {"<< /Filter /flatedecode >>", Zlib("abc"), ""},
        {"<< /Filter /Crypt >>", "abc", ""},
        {"<< /Filter [/FlateDecode 5 /ASCIIHexDecode] >>", Zlib("abc"), ""},
        {"<< /Filter [] >>", "raw", "raw"},
    };
    for (const auto& c : cases) {
        auto stream = TqzPDFilterManager::GetFilter(Dict(c.dict), Mem(c.raw));
        ASSERT_NE(stream, nullptr) << c.dict;
        EXPECT_EQ(Decoded(*stream), c.decoded) << c.dict;
        EXPECT_NE(stream->GetDict(), nullptr);
    }
}

TEST(PDFilterManager, MalformedEntriesAndMissingArguments) {
    for (const char* dict : {"<< /DecodeParms << /Columns 4 >> >>", "<< /Filter 5 >>",
                             "<< /Filter (FlateDecode) >>"}) {
        EXPECT_EQ(TqzPDFilterManager::GetFilter(Dict(dict), Mem("x")), nullptr) << dict;
    }
    EXPECT_THROW(TqzPDFilterManager::GetFilter(nullptr, Mem("x")), core::ExInvalidObject);
    EXPECT_THROW(TqzPDFilterManager::GetFilter(Dict("<< >>"), nullptr), core::ExInvalidStream);
}

// Filters without decoders yet are still what they are, with their
// parameters, so the save rule copies their stored bytes.
TEST(PDFilterManager, UndecodedFiltersKeepTheirKind) {
    auto ccitt = TqzPDFilterManager::GetFilter(
        Dict("<< /Filter /CCF /DecodeParms << /K -1 /Columns 16 /BlackIs1 true /Rows 4.5 >> >>"),
        Mem("fax"));
    auto* fax = dynamic_cast<filters::TqzCCITTStream*>(ccitt->GetStream());
    ASSERT_NE(fax, nullptr);
    EXPECT_EQ(fax->K(), -1);
    EXPECT_EQ(fax->Columns(), 16);
    EXPECT_EQ(fax->Rows(), 0);
    EXPECT_TRUE(fax->BlackIs1());
    EXPECT_TRUE(fax->EndOfBlock());

    auto dct = TqzPDFilterManager::GetFilter(Dict("<< /Filter /DCTDecode >>"), Mem("jpeg"));
    auto* jpeg = dynamic_cast<filters::TqzDCTStream*>(dct->GetStream());
    ASSERT_NE(jpeg, nullptr);
    EXPECT_EQ(jpeg->ColorTransform(), -1);

    for (const auto& [dict, type] : std::vector<std::pair<const char*, core::TqzStreamType>>{
             {"<< /Filter /JBIG2Decode /DecodeParms << /JBIG2Globals 12 0 R >> >>",
              core::TqzStreamType::stJBIG2},
             {"<< /Filter /JPXDecode >>", core::TqzStreamType::stJPX},
             {"<< /Filter /Unknown >>", core::TqzStreamType::stWeird}}) {
        auto raw = Mem("stored");
        auto stream = TqzPDFilterManager::GetFilter(Dict(dict), raw);
        EXPECT_EQ(stream->GetStream()->GetType(), type) << dict;
        EXPECT_EQ(core::StoredEncodingStream(stream->GetStreamPtr()), raw) << dict;
    }
}
