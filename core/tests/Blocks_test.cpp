// Reading and writing in blocks: the file blocks the lexers of one
// cross-reference table share, and the save's gathered output. What is read
// and written must be exactly what byte-by-byte reading and writing gave,
// wherever objects, keywords and stream data fall against block edges.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/FileStream.h"
#include "core/PDArray.h"
#include "core/PDDictionary.h"
#include "core/PDInteger.h"
#include "core/PDLexer.h"
#include "core/PDWriter.h"
#include "core/tests/LoadedDocument.h"
#include "core/tests/RawPdf.h"
#include "core/tests/ReadingSupport.h"
#include "core/tests/WrittenFileCheck.h"
#include "filters/Registration.h"
#include "platform/Streams.h"
#include "testing/PdfBuilder.h"

using namespace qz;
using namespace qz::core;
using qz::core::testing::RawPdf;
using qz::core::testing::ReaderDocument;
using qz::core::testing::StreamData;

namespace {

constexpr int64_t kBlock = TqzFileBlockCache::kBlockSize;

std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
    return bytes;
}

}  // namespace

// Blocks are aligned, hold what the file holds, stay valid for whoever holds
// one after it left the cache, and are read again once the file's end moved.
TEST(FileBlockCache, AlignedBlocksThatOutliveTheCache) {
    platform::MemoryStream file(Pattern(3 * kBlock + 100));
    const int64_t limit = file.Size();
    TqzFileBlockCache cache;

    EXPECT_EQ(cache.BlockAt(file, limit, limit), nullptr);
    EXPECT_EQ(cache.BlockAt(file, -1, limit), nullptr);
    const auto last = cache.BlockAt(file, limit - 1, limit);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->start, 3 * kBlock);
    EXPECT_EQ(last->size, 100u);

    const auto first = cache.BlockAt(file, 5, limit);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->start, 0);
    EXPECT_EQ(cache.BlockAt(file, kBlock - 1, limit), first);  // a hit, not a new read
    // Two more blocks push the first one out; its holder still reads it.
    cache.BlockAt(file, kBlock, limit);
    cache.BlockAt(file, 2 * kBlock, limit);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(first->bytes.get()), first->size), file.Bytes().substr(0, kBlock));
    EXPECT_NE(cache.BlockAt(file, 0, limit), first);

    // An appended file is read anew.
    const auto before = cache.BlockAt(file, limit - 1, limit);
    file.Bytes()[static_cast<size_t>(limit - 1)] = '#';
    file.Bytes() += "tail";
    const auto after = cache.BlockAt(file, limit - 1, file.Size());
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(after->bytes[static_cast<size_t>(limit - 1 - after->start)], '#');
    EXPECT_EQ(after->size, 104u);
    EXPECT_NE(before->bytes[static_cast<size_t>(limit - 1 - before->start)], '#');
}

// Objects fetched in an order that jumps between blocks, streams whose
// /Length objects lie blocks away (fetched while the stream's own header is
// being parsed, and pushing its block out of the cache), all come out whole.
TEST(FileBlockCache, FetchesThatJumpBetweenBlocks) {
    constexpr int kStreams = 40;
    RawPdf raw;
    raw.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
    raw.Obj(2, "<< /Type /Pages /Kids [] /Count 0 >>");
    for (int k = 0; k < kStreams; ++k) {
        const std::string data = "stream " + std::to_string(k) + " " + Pattern(static_cast<size_t>(97 * k));
        raw.Obj(10 + k, "<< /Length " + std::to_string(100 + k) + " 0 R >>\nstream\n" + data + "\nendstream");
        if (k % 8 == 0) raw.Raw("%" + std::string(static_cast<size_t>(kBlock) / 3, 'x') + "\n");
    }
    raw.Raw("%" + std::string(static_cast<size_t>(2 * kBlock), 'y') + "\n");
    for (int k = 0; k < kStreams; ++k) {
        const std::string data = "stream " + std::to_string(k) + " " + Pattern(static_cast<size_t>(97 * k));
        // Some /Length objects span two blocks: their fetch replaces both
        // cached blocks while the stream's own fetch still reads its block.
        const std::string blanks(k % 5 == 0 ? static_cast<size_t>(kBlock) : 0, ' ');
        raw.Obj(100 + k, blanks + std::to_string(data.size()));
        raw.Obj(200 + k, "<< /Value " + std::to_string(k) + " /Name /N" + std::to_string(k) + " >>");
    }
    const int64_t table = raw.Table("/Root 1 0 R");
    ReaderDocument doc;
    doc.Load(raw.Finish(table));

    for (int k = 0; k < kStreams; ++k) {
        SCOPED_TRACE(k);
        const std::string data = "stream " + std::to_string(k) + " " + Pattern(static_cast<size_t>(97 * k));
        EXPECT_EQ(StreamData(doc.GetObject(static_cast<uint32_t>(10 + k))), data);
        const auto* dict = dynamic_cast<TqzPDDictionary*>(doc.GetObject(static_cast<uint32_t>(200 + kStreams - 1 - k)));
        ASSERT_NE(dict, nullptr);
        const auto* value = dynamic_cast<const TqzPDInteger*>(dict->LookUp("Value"));
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(value->GetValue(), kStreams - 1 - k);
    }
}

// The last "startxref", its number and the table found wherever they fall
// against a block edge.
TEST(FileBlockCache, StartXrefAcrossABlockEdge) {
    for (int64_t shift = -14; shift <= 4; ++shift) {
        SCOPED_TRACE(shift);
        RawPdf raw;
        raw.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
        raw.Obj(2, "<< /Type /Pages /Kids [] /Count 0 /Mark (edge) >>");
        const int64_t table = raw.Table("/Root 1 0 R");
        // Padding puts "startxref" at the block edge plus `shift`.
        const int64_t pad = kBlock + shift - raw.Size() - 2;
        ASSERT_GT(pad, 0);
        raw.Raw("%" + std::string(static_cast<size_t>(pad), 'p') + "\n");
        ASSERT_EQ(raw.Size(), kBlock + shift);
        ReaderDocument doc;
        doc.Load(raw.Finish(table));
        auto* pages = dynamic_cast<TqzPDDictionary*>(doc.GetObject(2));
        ASSERT_NE(pages, nullptr);
        EXPECT_NE(pages->LookUp("Mark"), nullptr);
    }
}

// A file stream's buffer starts as small as its first read and grows: reads
// on from a small start still see every byte.
TEST(FileStreamBuffer, GrowsFromASmallFirstRead) {
    const std::string bytes = Pattern(3 * TqzFileStream::kBufferSize + 17);
    auto file = std::make_shared<platform::MemoryStream>(bytes);
    TqzFileStream stream(file, 0, 0, false);
    stream.SetPosition(static_cast<int64_t>(bytes.size()) - 10, SeekOrigin::Beginning);
    std::string tail(10, '\0');
    EXPECT_EQ(stream.Read(tail, 10), 10);
    EXPECT_EQ(tail, bytes.substr(bytes.size() - 10));
    stream.SetPosition(0, SeekOrigin::Beginning);
    std::string again;
    for (int c; (c = stream.GetChar()) >= 0;) again.push_back(static_cast<char>(c));
    EXPECT_EQ(again, bytes);

    // A window near the end of the file reads only what it holds.
    auto window = stream.MakeSubStream(static_cast<int64_t>(bytes.size()) - 5, 100, true);
    std::string rest;
    for (int c; (c = window->GetChar()) >= 0;) rest.push_back(static_cast<char>(c));
    EXPECT_EQ(rest, bytes.substr(bytes.size() - 5));
}

// A save gathers small writes into blocks: offsets in the table still point
// at their objects when large stream data (copied raw, and compressed anew)
// sits between small objects.
TEST(SaveGathering, OffsetsAroundLargeStreams) {
    filters::RegisterFilters();
    std::mt19937 rng(3);
    std::string noise(200 * 1024, '\0');
    for (char& c : noise) c = static_cast<char>(rng());
    RawPdf raw;
    raw.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
    raw.Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    raw.Obj(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents [4 0 R 5 0 R 6 0 R] >>");
    // Copied as stored (Flate already), written anew (no filter), and small.
    raw.Stream(4, "/Filter /FlateDecode", qz::testing::FlateCompress(noise));
    raw.Stream(5, "", noise.substr(0, 150 * 1024));
    raw.Stream(6, "", "0 g");
    const int64_t table = raw.Table("/Root 1 0 R");
    auto input = std::make_shared<platform::MemoryStream>(raw.Finish(table));
    qz::core::testing::LoadedDocument doc(input);
    platform::MemoryStream out;
    TqzPDWriter writer(doc);
    writer.SaveDocument(&out);
    EXPECT_TRUE(qz::core::testing::XRefOffsetsPointAtObjects(out.Bytes()));

    ReaderDocument reread;
    reread.Load(out.Bytes());
    auto* pages = dynamic_cast<TqzPDDictionary*>(reread.GetObject(2));
    ASSERT_NE(pages, nullptr);
    auto* kids = dynamic_cast<TqzPDArray*>(pages->LookUp("Kids"));
    ASSERT_NE(kids, nullptr);
    auto* page = dynamic_cast<TqzPDDictionary*>(kids->Get(0));
    ASSERT_NE(page, nullptr);
    auto* contents = dynamic_cast<TqzPDArray*>(page->LookUp("Contents"));
    ASSERT_NE(contents, nullptr);
    ASSERT_EQ(contents->GetLength(), 3);
    EXPECT_EQ(StreamData(contents->Get(0)), noise);
    EXPECT_EQ(StreamData(contents->Get(1)), noise.substr(0, 150 * 1024));
    EXPECT_EQ(StreamData(contents->Get(2)), "0 g");
}
