#include "core/PDReader.h"

#include <gtest/gtest.h>

#include <string>

#include "core/Limits.h"
#include "core/PDBaseExceptions.h"
#include "core/PDCollection.h"
#include "core/PDElement.h"
#include "core/PDNull.h"
#include "core/tests/ReadingSupport.h"
#include "testing/PdfBuilder.h"
#include "testing/TempDir.h"

using namespace qz::core;
using qz::core::testing::Describe;
using qz::core::testing::EnsureFilters;
using qz::core::testing::ReaderDocument;
using qz::testing::MinimalDocument;
using qz::testing::PdfBuilder;

TEST(PDReader, FetchGivesNoneForWhatIsNotThereAndStaysUsable) {
    PdfBuilder b = MinimalDocument(1);
    const int32_t gone = b.Add("(gone)");
    b.NewRevision();
    b.Free(gone);
    ReaderDocument doc;
    doc.Load(b.Write());
    TqzPDReader& reader = doc.Reader();
    for (const uint32_t number : {0u, static_cast<uint32_t>(gone), 5000u, 0xFFFFFFFFu}) {
        EXPECT_EQ(reader.Fetch(number), nullptr) << number;
    }
    auto catalog = reader.Fetch(1);
    ASSERT_NE(catalog, nullptr);
    EXPECT_TRUE(catalog->IsDict("Catalog"));
    EXPECT_EQ(catalog->GetObjNumber(), 1u);
    EXPECT_EQ(catalog->GetGenNumber(), 0u);
    // Fetched objects are to be written, and read as unchanged.
    EXPECT_FALSE(catalog->GetIsWritten());
    EXPECT_FALSE(catalog->GetIsChanged());
    auto content = reader.Fetch(5);
    ASSERT_TRUE(content && content->IsStream());
    EXPECT_FALSE(static_cast<TqzPDStream&>(*content).GetDict()->GetIsChanged());
}

TEST(PDReader, TrailerCopiesAreIndependent) {
    ReaderDocument doc;
    doc.Load(MinimalDocument(1).Write());
    auto first = doc.Reader().GetTrailer();
    auto second = doc.Reader().GetTrailer();
    ASSERT_TRUE(first && second && first->IsDict());
    EXPECT_NE(first.get(), second.get());
    static_cast<TqzPDDictionary&>(*first).SetKeyValue("Root", std::make_unique<TqzPDNull>());
    EXPECT_EQ(Describe(static_cast<TqzPDDictionary&>(*second).LookupRefObj("Root")), "ref 1 0");
    EXPECT_EQ(Describe(doc.Trailer()->LookupRefObj("Root")), "ref 1 0");
}

TEST(PDReader, NothingLoadedAndLoadingFromFiles) {
    TqzPDReader empty(nullptr);
    EXPECT_EQ(empty.Fetch(1), nullptr);
    EXPECT_EQ(empty.GetTrailer(), nullptr);

    qz::testing::TempDir dir;
    ReaderDocument doc;
    EXPECT_THROW(doc.Reader().LoadFromFile(dir.File("missing.pdf")), ExFileNotFound);
    doc.Reader().LoadFromFile(dir.Write("one.pdf", MinimalDocument(2).Write()));
    EXPECT_EQ(doc.Pages().size(), 2u);
}

// Each object is read once and every reference resolves to one instance.
TEST(PDCollection, OwnsItsObjectsAndKeepsReplacedOnesAlive) {
    TqzPDCollection table(nullptr);
    EXPECT_THROW(table.Add(nullptr), ExInvalidObject);
    EXPECT_THROW(table.Add(std::make_unique<TqzPDNull>()), ExInvalidObject);
    EXPECT_THROW(table.Add(std::make_unique<TqzPDInteger>(1, 0x7FFFFFFF, 0)), ExInvalidObject);

    // Storage follows the objects, not their numbers.
    table.Add(std::make_unique<TqzPDInteger>(1, kMaxObjectNumber, 0));
    EXPECT_NE(table.GetObject(kMaxObjectNumber), nullptr);
    TqzPDBaseObject* first = table.Add(std::make_unique<TqzPDInteger>(1, 5, 0));
    EXPECT_EQ(table.GetObject(5), first);
    EXPECT_EQ(table.GetObject(6), nullptr);
    TqzPDBaseObject* second = table.Add(std::make_unique<TqzPDInteger>(2, 5, 0));
    EXPECT_EQ(table.GetObject(5), second);
    // The replaced object is still alive for whoever holds it.
    EXPECT_EQ(Describe(first), "int 1");
    EXPECT_EQ(table.GetCount(), 2u);

    // An object handed to a container is released first: one owner.
    auto released = table.Release(5);
    EXPECT_EQ(released.get(), second);
    EXPECT_EQ(table.GetObject(5), nullptr);
    EXPECT_EQ(table.Release(5), nullptr);

    // Deep objects are freed without recursion.
    auto deep = std::make_unique<TqzPDArray>(nullptr, 9, 0);
    TqzPDArray* inner = deep.get();
    for (int i = 0; i < 100000; ++i) {
        auto next = std::make_unique<TqzPDArray>();
        TqzPDArray* raw = next.get();
        inner->Add(std::move(next));
        inner = raw;
    }
    table.Add(std::move(deep));
}

TEST(PDElement, UpdateOfTheBaseChangesNothing) {
    TqzPDDictionary dict;
    dict.Add("A", std::make_unique<TqzPDInteger>(1));
    TqzPDElement element(nullptr, nullptr, &dict);
    element.Update();
    EXPECT_EQ(dict.GetLength(), 1);
    EXPECT_EQ(element.GetBaseObject(), &dict);
    EXPECT_FALSE(element.GetIsChanged());
}
