#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/FileStream.h"
#include "core/FilterHooks.h"
#include "core/FilterStream.h"
#include "core/MemoryStream.h"
#include "core/PDArray.h"
#include "core/PDBaseExceptions.h"
#include "core/PDIndirectRef.h"
#include "core/PDInteger.h"
#include "core/PDName.h"
#include "core/PDStream.h"
#include "core/PDXRef.h"
#include "core/tests/FakeDocument.h"
#include "filters/Registration.h"
#include "platform/Streams.h"
#include "testing/PdfBuilder.h"
#include "testing/TempDir.h"

using namespace qz::core;
using qz::core::testing::FakeDocument;
using qz::core::testing::SaveText;

namespace {

// A decoder that reads its whole input on first use and serves `transform` of it.
class FakeDecoder : public TqzDecode {
public:
    FakeDecoder(TqzStream& inner, std::function<std::string(const std::string&)> transform)
        : inner_(inner), transform_(std::move(transform)) {}
    int LookChar() override { return Load(), pos_ < data_.size() ? static_cast<uint8_t>(data_[pos_]) : -1; }
    int GetChar() override { return Load(), pos_ < data_.size() ? static_cast<uint8_t>(data_[pos_++]) : -1; }
    void Reset() override {
        inner_.Reset();
        loaded_ = false;
        pos_ = 0;
    }

private:
    void Load() {
        if (loaded_) return;
        std::string raw;
        for (int c; (c = inner_.GetChar()) >= 0;) raw.push_back(static_cast<char>(c));
        data_ = transform_(raw);
        loaded_ = true;
    }
    TqzStream& inner_;
    std::function<std::string(const std::string&)> transform_;
    std::string data_;
    size_t pos_ = 0;
    bool loaded_ = false;
};

// A filter stream of a chosen kind; with no transform it has no decoder, as a
// codec that cannot decode.
class FakeFilter : public TqzFilterStream {
public:
    FakeFilter(TqzStreamPtr inner, TqzStreamType type,
               std::function<std::string(const std::string&)> transform = nullptr)
        : TqzFilterStream(std::move(inner)), type_(type) {
        if (transform) FDecoder = std::make_unique<FakeDecoder>(*FStream, std::move(transform));
    }
    TqzStreamType GetType() override { return type_; }

private:
    TqzStreamType type_;
};

std::string Upper(const std::string& s) {
    std::string out = s;
    for (auto& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// Stands in for the Flate encoder the filters library registers.
class FakeFlate {
public:
    FakeFlate() : saved_(FilterHooks().FlateEncoder) {
        FilterHooks().FlateEncoder = [](TqzStreamPtr source) -> TqzStreamPtr {
            std::string data;
            for (int c; (c = source->GetChar()) >= 0;) data.push_back(static_cast<char>(c));
            return std::make_shared<TqzMemoryStream>("Z(" + data + ")");
        };
    }
    ~FakeFlate() { FilterHooks().FlateEncoder = saved_; }

private:
    std::function<TqzStreamPtr(TqzStreamPtr)> saved_;
};

TqzStreamPtr Memory(const std::string& bytes) { return std::make_shared<TqzMemoryStream>(bytes); }

// A decoder that hands out `decoded` in blocks and then, instead of ending,
// runs `failure` (throws), as a decoder that meets damage or its size limit
// part way does.
class FailingDecoder : public TqzDecode {
public:
    FailingDecoder(TqzStream& inner, std::string decoded, std::function<void()> failure)
        : inner_(inner), decoded_(std::move(decoded)), failure_(std::move(failure)) {}
    int GetChar() override {
        uint8_t c = 0;
        return Read(&c, 1) == 1 ? c : -1;
    }
    int32_t Read(uint8_t* buffer, uint32_t count) override {
        if (pos_ == decoded_.size()) failure_();
        const size_t n = std::min<size_t>(count, decoded_.size() - pos_);
        std::copy_n(decoded_.data() + pos_, n, reinterpret_cast<char*>(buffer));
        pos_ += n;
        return static_cast<int32_t>(n);
    }
    void Reset() override {
        inner_.Reset();
        pos_ = 0;
    }

private:
    TqzStream& inner_;
    std::string decoded_;
    std::function<void()> failure_;
    size_t pos_ = 0;
};

class FailingFilter : public TqzFilterStream {
public:
    FailingFilter(TqzStreamPtr inner, std::string decoded, std::function<void()> failure)
        : TqzFilterStream(std::move(inner)) {
        FDecoder = std::make_unique<FailingDecoder>(*FStream, std::move(decoded), std::move(failure));
    }
    TqzStreamType GetType() override { return TqzStreamType::stLZW; }
};

// Compares long outputs without printing them whole.
::testing::AssertionResult SameBytes(const std::string& got, const std::string& want) {
    if (got == want) return ::testing::AssertionSuccess();
    size_t i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
    return ::testing::AssertionFailure() << "got " << got.size() << " bytes, want " << want.size()
                                         << ", first difference at " << i << ": ..."
                                         << got.substr(i > 20 ? i - 20 : 0, 60);
}

// A stream object as the reader leaves one: dictionary and stream unchanged.
std::unique_ptr<TqzPDStream> ReadStream(FakeDocument& doc, TqzStreamPtr data, uint32_t number,
                                        const std::function<void(TqzPDDictionary&)>& fill) {
    auto dict = std::make_unique<TqzPDDictionary>(&doc);
    fill(*dict);
    dict->SetIsChanged(false);
    return std::make_unique<TqzPDStream>(std::move(data), std::move(dict), number, 0);
}

std::unique_ptr<TqzPDInteger> Int(int32_t v) { return std::make_unique<TqzPDInteger>(v); }
std::unique_ptr<TqzPDName> Name(const char* v) { return std::make_unique<TqzPDName>(v); }

}  // namespace

TEST(PDStream, UnchangedFilteredStreamIsCopiedByteForByte) {
    FakeDocument doc;
    FakeFlate flate;
    // A window over a larger buffer, as streams read from a file are.
    auto file = std::make_shared<qz::platform::MemoryStream>("....JPEGDATA....");
    auto window = std::make_shared<TqzMemoryStream>(file, 4, 8, true);
    auto image = ReadStream(doc, std::make_shared<FakeFilter>(window, TqzStreamType::stDCT), 12, [](auto& d) {
        d.Add("Length", Int(8));
        d.Add("Filter", Name("DCTDecode"));
    });
    TqzPDXRef xref;
    EXPECT_EQ(SaveText(*image, xref),
              "1 0 obj\r\n<</Length 8 /Filter /DCTDecode >>\r\nstream\r\nJPEGDATA\r\nendstream\r\nendobj\r\n");
    EXPECT_EQ(xref.GetEntry(1).GetOffset(), 0u);
}

TEST(PDStream, UnfilteredStreamIsCompressedWithNewFilterAndLength) {
    FakeDocument doc;
    FakeFlate flate;
    auto content = ReadStream(doc, Memory("BT /F1 12 Tf ET"), 4, [](auto& d) {
        d.Add("Length", Int(15));
        d.Add("DecodeParms", std::make_unique<TqzPDDictionary>());
    });
    EXPECT_EQ(SaveText(*content),
              "1 0 obj\r\n<</Filter /FlateDecode /Length 18 >>\r\nstream\r\nZ(BT /F1 12 Tf ET)\r\nendstream\r\nendobj\r\n");
    EXPECT_TRUE(content->GetIsChanged());
}

TEST(PDStream, ClonesShareDataAndOutliveEachOther) {
    FakeDocument doc;
    FakeFlate flate;
    auto original = ReadStream(doc, Memory("abc"), kDirectObject, [](auto& d) { d.Add("Length", Int(3)); });
    auto clone = original->Clone();
    EXPECT_EQ(static_cast<TqzPDStream&>(*clone).GetStream(), original->GetStream());
    original.reset();
    EXPECT_EQ(SaveText(*clone), "<</Filter /FlateDecode /Length 6 >>\r\nstream\r\nZ(abc)\r\nendstream");

    auto source = ReadStream(doc, Memory("xyz"), kDirectObject, [](auto& d) { d.Add("Length", Int(3)); });
    auto survivor = source->Clone();
    survivor.reset();
    EXPECT_EQ(source->GetChar(), 'x');
    EXPECT_EQ(source->ReadLine(4), std::string("yz\0\0", 4));
}

TEST(PDStream, DataThatCannotBeDecodedKeepsItsStoredEncoding) {
    FakeDocument doc;
    FakeFlate flate;
    const struct {
        const char* name;
        std::function<TqzStreamPtr(TqzStreamPtr)> chain;
        std::function<void(TqzPDDictionary&)> filter;
    } cases[] = {
        {"changed DCT image",
         [](TqzStreamPtr raw) { return std::make_shared<FakeFilter>(raw, TqzStreamType::stDCT); },
         [](TqzPDDictionary& d) { d.Add("Filter", Name("DCTDecode")); }},
        {"unknown filter read through the end-of-data stream",
         [](TqzStreamPtr raw) { return std::make_shared<TqzEOFStream>(raw); },
         [](TqzPDDictionary& d) { d.Add("Filter", Name("Foo")); }},
        {"JPX after another filter",
         [](TqzStreamPtr raw) {
             auto inner = std::make_shared<FakeFilter>(raw, TqzStreamType::stFlate, Upper);
             return std::make_shared<FakeFilter>(inner, TqzStreamType::stJPX, [](auto& s) { return s; });
         },
         [](TqzPDDictionary& d) {
             auto filters = std::make_unique<TqzPDArray>();
             filters->Add(Name("FlateDecode"));
             filters->Add(Name("JPXDecode"));
             d.Add("Filter", std::move(filters));
         }},
        {"Flate data", [](TqzStreamPtr raw) { return std::make_shared<FakeFilter>(raw, TqzStreamType::stFlate, Upper); },
         [](TqzPDDictionary& d) { d.Add("Filter", Name("FlateDecode")); }},
        {"program-made image whose memory holds the encoded bytes", [](TqzStreamPtr raw) { return raw; },
         [](TqzPDDictionary& d) { d.Add("Filter", Name("DCTDecode")); }},
    };
    for (const auto& c : cases) {
        auto stream = ReadStream(doc, c.chain(Memory("stored")), kDirectObject, [&](auto& d) {
            c.filter(d);
            d.Add("Length", Int(0));  // a wrong /Length never drops data
        });
        stream->GetDict()->SetIsChanged(true);
        const std::string out = SaveText(*stream);
        EXPECT_NE(out.find("/Length 6 >>\r\nstream\r\nstored\r\nendstream"), std::string::npos) << c.name << ": " << out;
        EXPECT_EQ(out.find("Z("), std::string::npos) << c.name;
    }
}

TEST(PDStream, DecodableChainIsDecodedAndRecompressed) {
    FakeDocument doc;
    FakeFlate flate;
    auto hex = std::make_shared<FakeFilter>(Memory("abc"), TqzStreamType::stASCIIHex, Upper);
    auto lzw = std::make_shared<FakeFilter>(hex, TqzStreamType::stLZW, [](auto& s) { return s + "!"; });
    auto stream = ReadStream(doc, lzw, kDirectObject, [](auto& d) {
        auto filters = std::make_unique<TqzPDArray>();
        filters->Add(Name("ASCIIHexDecode"));
        filters->Add(Name("LZWDecode"));
        d.Add("Filter", std::move(filters));
        d.Add("DecodeParms", std::make_unique<TqzPDDictionary>());
        // No /Length at all: the data is still written.
    });
    stream->GetDict()->SetIsChanged(true);
    EXPECT_EQ(SaveText(*stream), "<</Filter /FlateDecode /Length 7 >>\r\nstream\r\nZ(ABC!)\r\nendstream");
}

TEST(PDStream, DataTooLargeToDecodeKeepsItsStoredEncoding) {
    FakeDocument doc;
    FakeFlate flate;
    auto bomb = std::make_shared<FakeFilter>(Memory("tiny"), TqzStreamType::stLZW,
                                             [](auto&) -> std::string { throw ExLimitExceeded("too large"); });
    auto stream = ReadStream(doc, bomb, kDirectObject, [](auto& d) { d.Add("Filter", Name("LZWDecode")); });
    stream->GetDict()->SetIsChanged(true);
    EXPECT_EQ(SaveText(*stream), "<</Filter /LZWDecode /Length 4 >>\r\nstream\r\ntiny\r\nendstream");
}

TEST(PDStream, MetadataIsWrittenDecodedWithoutItsFilter) {
    FakeDocument doc;
    FakeFlate flate;
    auto data = std::make_shared<FakeFilter>(Memory("<x/>"), TqzStreamType::stASCIIHex, Upper);
    auto stream = ReadStream(doc, data, kDirectObject, [](auto& d) {
        d.Add("Type", Name("Metadata"));
        d.Add("Filter", Name("ASCIIHexDecode"));
        d.Add("Length", Int(99));
    });
    stream->GetDict()->SetIsChanged(true);
    EXPECT_EQ(SaveText(*stream), "<</Type /Metadata /Length 4 >>\r\nstream\r\n<X/>\r\nendstream");
}

TEST(PDStream, EncryptedOutputAndUserSettings) {
    FakeFlate flate;
    FakeDocument encrypted;
    encrypted.Encrypted = true;
    // A DCT image over a decryption stream: the decrypted stored bytes are
    // taken, however deep the decryption sits under the chain, then encrypted
    // again for the output.
    auto window = Memory("secret");
    auto crypt = std::make_shared<FakeFilter>(window, TqzStreamType::stCrypt, Upper);
    auto flateLink = std::make_shared<FakeFilter>(crypt, TqzStreamType::stFlate, [](auto& s) { return s; });
    auto dct = std::make_shared<FakeFilter>(flateLink, TqzStreamType::stDCT);
    auto image = ReadStream(encrypted, dct, 3, [](auto& d) { d.Add("Length", Int(6)); d.Add("Filter", Name("DCTDecode")); });
    TqzPDXRef xref;
    EXPECT_EQ(SaveText(*image, xref),
              "1 0 obj\r\n<</Filter /DCTDecode /Length 12 >>\r\nstream\r\n{1,0:SECRET}\r\nendstream\r\nendobj\r\n");

    // Disabled settings: nothing is encrypted, but no stream is raw-copied.
    FakeDocument disabled;
    disabled.HasSettings = true;
    auto dctImage = ReadStream(disabled, std::make_shared<FakeFilter>(Memory("jpg"), TqzStreamType::stDCT), kDirectObject,
                               [](auto& d) { d.Add("Length", Int(3)); d.Add("Filter", Name("DCTDecode")); });
    EXPECT_EQ(SaveText(*dctImage), "<</Length 3 /Filter /DCTDecode >>\r\nstream\r\njpg\r\nendstream");
    auto plain = ReadStream(disabled, Memory("q"), kDirectObject, [](auto& d) { d.Add("Length", Int(1)); });
    EXPECT_EQ(SaveText(*plain), "<</Filter /FlateDecode /Length 4 >>\r\nstream\r\nZ(q)\r\nendstream");
}

TEST(PDStream, HostileLengthsAndMissingEncoder) {
    FakeDocument doc;
    FakeFlate flate;
    // /Length claims two gigabytes of a four-byte window: nothing is sized by it.
    auto file = std::make_shared<qz::platform::MemoryStream>("ABCD");
    auto window = std::make_shared<TqzMemoryStream>(file, 0, 2000000000, true);
    auto image = ReadStream(doc, std::make_shared<FakeFilter>(window, TqzStreamType::stDCT), kDirectObject, [](auto& d) {
        d.Add("Length", Int(2000000000));
        d.Add("Filter", Name("DCTDecode"));
    });
    EXPECT_EQ(SaveText(*image), "<</Filter /DCTDecode /Length 4 >>\r\nstream\r\nABCD\r\nendstream");
    // The same through a buffered file window, as the reader makes them.
    auto fileWindow = std::make_shared<TqzFileStream>(file, 1, 2000000000, true);
    auto fromFile = ReadStream(doc, std::make_shared<FakeFilter>(fileWindow, TqzStreamType::stDCT), kDirectObject,
                               [](auto& d) { d.Add("Filter", Name("DCTDecode")); });
    EXPECT_EQ(SaveText(*fromFile), "<</Filter /DCTDecode /Length 3 >>\r\nstream\r\nBCD\r\nendstream");

    // An indirect /Length is saved first and kept when it is right.
    doc.Put(std::make_unique<TqzPDInteger>(4, 50, 0));
    auto withRef = ReadStream(doc, std::make_shared<FakeFilter>(Memory("ABCD"), TqzStreamType::stDCT), 60, [](auto& d) {
        d.Add("Length", std::make_unique<TqzPDIndirectRef>(50, 0));
        d.Add("Filter", Name("DCTDecode"));
    });
    TqzPDXRef xref;
    EXPECT_EQ(SaveText(*withRef, xref),
              "2 0 obj\r\n4\r\nendobj\r\n1 0 obj\r\n<</Length 2 0 R /Filter /DCTDecode >>\r\nstream\r\nABCD\r\nendstream\r\nendobj\r\n");

    FilterHooks().FlateEncoder = nullptr;
    auto content = ReadStream(doc, Memory("x"), kDirectObject, [](auto&) {});
    EXPECT_THROW(SaveText(*content), ExInvalidStream);
}

TEST(PDStream, IncrementalSaveOfUnchangedStreamGivesItsNumberBack) {
    FakeDocument doc;
    auto stream = ReadStream(doc, Memory("abc"), 9, [](auto& d) { d.Add("Length", Int(3)); });
    TqzPDXRef xref;
    xref.SetLastObjectNumber(20);
    EXPECT_EQ(SaveText(*stream, xref, true), "");
    EXPECT_EQ(xref.GetLastObjectNumber(), 20u);
    EXPECT_EQ(stream->GetObjNumber(), 9u);
}

TEST(PDStream, AssignTakesStoredBytesAndWindowsWork) {
    FakeDocument doc;
    auto crypt = std::make_shared<FakeFilter>(Memory("abc"), TqzStreamType::stCrypt, Upper);
    auto flateLink = std::make_shared<FakeFilter>(crypt, TqzStreamType::stFlate, [](auto& s) { return s + "?"; });
    auto source = ReadStream(doc, flateLink, 4, [](auto& d) { d.Add("Filter", Name("FlateDecode")); });
    TqzPDStream copy(&doc);
    copy.Assign(*source);
    EXPECT_EQ(copy.GetStream(), crypt.get());
    EXPECT_TRUE(copy.GetDict()->LookUp("Filter")->IsName("FlateDecode"));
    EXPECT_EQ(copy.GetObjNumber(), 4u);

    auto file = Memory("0123456789");
    TqzPDStream whole(file, std::make_unique<TqzPDDictionary>());
    auto part = whole.MakeSubStream(3, 4, true, std::make_unique<TqzPDDictionary>());
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(part->GetStart(), 3);
    std::string bytes(4, '\0');
    EXPECT_EQ(part->Read(bytes, 4), 4);
    EXPECT_EQ(bytes, "3456");
    EXPECT_EQ(copy.MakeSubStream(0, 1, true, nullptr), nullptr);  // not a base stream
    EXPECT_TRUE(whole.Isof("") == false);
}

TEST(PDStream, ShortStreamsAreWrittenAsTheyAlwaysWere) {
    // The real encoder: level 1 as zlib writes it, the length direct.
    qz::filters::RegisterFilters();
    FakeDocument doc;
    for (const std::string& data : {qz::testing::MarkerPageContent("SHORT", 1), std::string(5000, 'q'),
                                    std::string("\x01\x9f\x33\xe0\x7a\xc4\x05\xbb", 8)}) {
        auto stream = ReadStream(doc, Memory(data), 9, [](auto&) {});
        const std::string compressed = qz::testing::FlateCompress(data, 1);
        EXPECT_TRUE(SameBytes(SaveText(*stream), "1 0 obj\r\n<</Filter /FlateDecode /Length " +
                                                     std::to_string(compressed.size()) + " >>\r\nstream\r\n" +
                                                     compressed + "\r\nendstream\r\nendobj\r\n"));
    }
}

TEST(PDStream, LongDataGetsItsLengthAsAnObjectWrittenRightAfterIt) {
    FakeDocument doc;
    FakeFlate flate;
    const struct {
        const char* name;
        size_t written;  // the bytes the encoder makes
        bool lengthAfter;
    } cases[] = {
        {"short", 1000, false},
        {"just within the block held back", (size_t{1} << 20) - 100, false},
        {"just past it", (size_t{1} << 20) + 100, true},
        {"several MiB", size_t{3} << 20, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string data(c.written - 3, 'a');  // the fake encoder adds "Z(" and ")"
        const std::string body = "Z(" + data + ")";
        auto stream = ReadStream(doc, Memory(data), 7, [](auto&) {});
        TqzPDXRef xref;
        const std::string out = SaveText(*stream, xref);
        const std::string end = "\r\nendstream\r\nendobj\r\n";
        const std::string length = std::to_string(c.written);
        if (!c.lengthAfter) {
            EXPECT_TRUE(SameBytes(out, "1 0 obj\r\n<</Filter /FlateDecode /Length " + length + " >>\r\nstream\r\n" +
                                           body + end));
            EXPECT_EQ(xref.GetLastObjectNumber(), 1u);
            continue;
        }
        const std::string head = "1 0 obj\r\n<</Filter /FlateDecode /Length 2 0 R >>\r\nstream\r\n";
        EXPECT_TRUE(SameBytes(out, head + body + end + "2 0 obj\r\n" + length + "\r\nendobj\r\n"));
        EXPECT_EQ(xref.GetLastObjectNumber(), 2u);
        EXPECT_EQ(xref.GetEntry(2).GetOffset(), head.size() + body.size() + end.size());
    }
    // A direct stream stands inside another object: held whole, its /Length direct.
    auto direct = ReadStream(doc, Memory(std::string((size_t{3} << 20) - 3, 'b')), kDirectObject, [](auto&) {});
    const std::string out = SaveText(*direct);
    EXPECT_EQ(out.rfind("<</Filter /FlateDecode /Length 3145728 >>\r\nstream\r\nZ(bbb", 0), 0u) << out.substr(0, 60);
}

TEST(PDStream, DataFoundTooLargeToDecodeIsReplacedByItsStoredBytes) {
    FakeDocument doc;
    FakeFlate flate;
    // Found within the block held back, and after the dictionary and a part
    // of the data were written: either way only the stored bytes remain.
    for (size_t decoded : {size_t{1000}, size_t{3} << 20}) {
        SCOPED_TRACE(decoded);
        auto data = std::make_shared<FailingFilter>(Memory("tiny"), std::string(decoded, 'x'),
                                                    [] { throw ExLimitExceeded("too large"); });
        auto stream = ReadStream(doc, data, 5, [](auto& d) {
            d.Add("Type", Name("Metadata"));  // written decoded, as it comes
            d.Add("Filter", Name("LZWDecode"));
        });
        stream->GetDict()->SetIsChanged(true);
        TqzPDXRef xref;
        EXPECT_TRUE(SameBytes(SaveText(*stream, xref),
                              "1 0 obj\r\n<</Type /Metadata /Filter /LZWDecode /Length 4 >>\r\nstream\r\ntiny\r\n"
                              "endstream\r\nendobj\r\n"));
        EXPECT_EQ(xref.GetLastObjectNumber(), 1u);
    }
}

TEST(PDStream, AFailureReadingTheDataNamesTheFileItComesFrom) {
    FakeDocument doc;
    FakeFlate flate;
    qz::testing::TempDir dir;
    const auto path = dir.Write("source.pdf", "....stored bytes....");
    auto file = std::make_shared<qz::platform::FileStream>(path, qz::platform::FileMode::OpenRead);
    // Fails at once, and after more than the block held back was written.
    for (size_t decoded : {size_t{0}, size_t{3} << 20}) {
        SCOPED_TRACE(decoded);
        auto window = std::make_shared<TqzFileStream>(file, 4, 12, true);
        auto data = std::make_shared<FailingFilter>(window, std::string(decoded, 'x'),
                                                    [] { throw ExInvalidStream("Invalid Stream: damaged"); });
        auto stream = ReadStream(doc, data, 3, [](auto& d) { d.Add("Type", Name("Metadata")); });
        stream->GetDict()->SetIsChanged(true);
        try {
            SaveText(*stream);
            FAIL() << "no exception";
        } catch (const ExSourceDataError& e) {
            EXPECT_EQ(std::string(e.what()), "Could not merge " + path.string() + ": Invalid Stream: damaged");
            EXPECT_EQ(e.Source(), path.string());
            EXPECT_THROW(std::rethrow_if_nested(e), ExInvalidStream);
        }
    }
    // Data in memory has no file to name: the failure passes as it is.
    auto inMemory = std::make_shared<FailingFilter>(Memory("abc"), "", [] { throw ExInvalidStream(); });
    auto stream = ReadStream(doc, inMemory, 3, [](auto&) {});
    stream->GetDict()->SetIsChanged(true);
    try {
        SaveText(*stream);
        FAIL() << "no exception";
    } catch (const ExSourceDataError& e) {
        FAIL() << e.what();
    } catch (const ExInvalidStream&) {
    }
}
