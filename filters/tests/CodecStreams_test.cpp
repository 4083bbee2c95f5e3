#include <gtest/gtest.h>

#include "filters/CodecStreams.h"
#include "filters/tests/TestSupport.h"

using namespace qz::filters;
using namespace qz::filters::test;
using qz::core::TqzStreamType;

TEST(CodecStreams, TypeSizeAndPositionOfEveryStream) {
    const std::string z = Zlib(SampleText(50000, 4));
    struct Case {
        std::shared_ptr<TqzCodecStream> stream;
        TqzStreamType type;
    } cases[] = {
        {std::make_shared<TqzFlateStream>(Mem(z)), TqzStreamType::stFlate},
        {std::make_shared<TqzLZWStream>(Mem(z)), TqzStreamType::stLZW},
        {std::make_shared<TqzASCII85Stream>(Mem(z)), TqzStreamType::stASCII85},
        {std::make_shared<TqzASCIIHexStream>(Mem(z)), TqzStreamType::stASCIIHex},
        {std::make_shared<TqzRunLengthStream>(Mem(z)), TqzStreamType::stRunLength},
        {std::make_shared<TqzJPXStream>(Mem(z)), TqzStreamType::stJPX},
        {std::make_shared<TqzCCITTStream>(Mem(z)), TqzStreamType::stCCITTFax},
        {std::make_shared<TqzDCTStream>(Mem(z)), TqzStreamType::stDCT},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.type));
        EXPECT_EQ(c.stream->GetType(), c.type);
        EXPECT_EQ(c.stream->GetSize(), 0);
        EXPECT_EQ(c.stream->GetBaseStream(), c.stream->GetNextStream());
        c.stream->Reset();
        c.stream->GetChar();
        // The position is the inner stream's, not a decoded one.
        EXPECT_EQ(c.stream->GetPosition(), c.stream->GetNextStream()->GetPosition());
    }
    // SetPosition changes nothing: reading goes on where it stood.
    TqzFlateStream s(Mem(Zlib("abcdef")));
    s.GetChar();
    s.GetChar();
    s.SetPosition(0, qz::core::SeekOrigin::Beginning);
    EXPECT_EQ(s.GetChar(), 'c');
}

TEST(CodecStreams, CcittAndDctAreRecognisedButNotYetDecoded) {
    TqzCCITTStream fax(Mem("stored fax bytes"), -1, true, true, 2480, 3508, false, true);
    EXPECT_EQ(fax.K(), -1);
    EXPECT_TRUE(fax.EndOfLine());
    EXPECT_TRUE(fax.EncodedByteAlign());
    EXPECT_EQ(fax.Columns(), 2480);
    EXPECT_EQ(fax.Rows(), 3508);
    EXPECT_FALSE(fax.EndOfBlock());
    EXPECT_TRUE(fax.BlackIs1());
    // The stored bytes stay reachable for the writer.
    EXPECT_EQ(GetChars(*fax.GetNextStream()), "stored fax bytes");

    TqzDCTStream jpeg(Mem("\xFF\xD8"));
    EXPECT_EQ(jpeg.ColorTransform(), -1);
    EXPECT_EQ(jpeg.GetChar(), -1);
    TqzCCITTStream defaults(Mem(""));
    EXPECT_EQ(defaults.Columns(), 1728);
    EXPECT_TRUE(defaults.EndOfBlock());
}

TEST(CodecStreams, ChainsShareTheirInnerStreams) {
    // Hex over Flate over memory: each link keeps the one below alive.
    const std::string text = SampleText(20000, 6);
    const std::string hex = Hex(Zlib(text));
    std::weak_ptr<qz::core::TqzStream> raw;
    std::shared_ptr<TqzFlateStream> chain;
    {
        auto mem = Mem(hex + ">");
        raw = mem;
        chain = std::make_shared<TqzFlateStream>(std::make_shared<TqzASCIIHexStream>(mem));
    }
    EXPECT_FALSE(raw.expired());
    EXPECT_TRUE(Same(ReadBlocks(*chain, 4096), text));
    chain.reset();
    EXPECT_TRUE(raw.expired());  // freed once, with the chain

    // A caller that keeps its own reference keeps the inner stream usable.
    auto mine = Mem("48656C6C6F>");
    { TqzASCIIHexStream temporary(mine); }
    EXPECT_EQ(GetChars(*mine), "48656C6C6F>");
}
