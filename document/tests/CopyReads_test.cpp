// What page insertion reads from a source: objects read only to be copied
// are not filed in the source's table (a merge keeps every source until it
// saves), while what the table already holds, edits included, is what gets
// copied.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/PDBoolean.h"
#include "core/PDCollection.h"
#include "core/PDDictionary.h"
#include "core/PDStream.h"
#include "document/PDBaseDoc.h"
#include "document/PDDocument.h"
#include "document/PDPage.h"
#include "platform/Streams.h"
#include "testing/PdfBuilder.h"

namespace qz::document {
namespace {

using qz::testing::MinimalDocument;

std::shared_ptr<platform::Stream> Memory(const std::string& bytes) {
    return std::make_shared<platform::MemoryStream>(bytes);
}

uint32_t ContentsNumber(TqzPDDocument& doc, int32_t page) {
    const core::TqzPDBaseObject* contents = doc.GetPage(page)->GetDict()->LookupRefObj("Contents");
    return contents != nullptr && contents->IsIndirectRef() ? contents->GetObjNumber() : 0;
}

core::TqzPDStream* CopiedContents(TqzPDDocument& doc, int32_t page) {
    return dynamic_cast<core::TqzPDStream*>(doc.GetPage(page)->GetDict()->LookUp("Contents"));
}

TEST(CopyReads, CopiedObjectsStayOutOfTheSourceTable) {
    TqzPDDocument target;
    target.LoadDocument(Memory(MinimalDocument(1, "T").Write()), false);
    TqzPDDocument source;
    source.LoadDocument(Memory(MinimalDocument(3, "S").Write()), false);
    std::vector<uint32_t> contents;
    for (int32_t n = 1; n <= 3; ++n) contents.push_back(ContentsNumber(source, n));

    target.InsertPages(1, source, 1, 3, TqzPageInsertFlages::InsertAll);
    ASSERT_EQ(target.GetPageCount(), 4);
    const core::TqzPDCollection* table = source.GetBaseDoc()->GetCollection();
    for (int32_t n = 1; n <= 3; ++n) {
        SCOPED_TRACE(n);
        ASSERT_NE(contents[static_cast<size_t>(n - 1)], 0u);
        EXPECT_EQ(table->GetObject(contents[static_cast<size_t>(n - 1)]), nullptr);
        core::TqzPDStream* copy = CopiedContents(target, n + 1);
        ASSERT_NE(copy, nullptr);
        copy->Reset();
        std::string data;
        for (int c; (c = copy->GetChar()) >= 0;) data.push_back(static_cast<char>(c));
        EXPECT_NE(data.find("S-" + std::to_string(n)), std::string::npos) << data;
    }
    // The source still answers for the objects it let go.
    EXPECT_NE(source.GetBaseDoc()->GetObject(contents[0]), nullptr);
}

TEST(CopyReads, WhatTheSourceTableHoldsIsCopied) {
    TqzPDDocument target;
    target.LoadDocument(Memory(MinimalDocument(1, "T").Write()), false);
    TqzPDDocument source;
    source.LoadDocument(Memory(MinimalDocument(1, "S").Write()), false);
    auto* held = dynamic_cast<core::TqzPDStream*>(source.GetBaseDoc()->GetObject(ContentsNumber(source, 1)));
    ASSERT_NE(held, nullptr);
    held->GetDict()->SetKeyValue("Edited", std::make_unique<core::TqzPDBoolean>(true));

    target.InsertPages(1, source, 1, 1, TqzPageInsertFlages::InsertAll);
    core::TqzPDStream* copy = CopiedContents(target, 2);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy->GetDict()->LookUp("Edited"), nullptr);
}

}  // namespace
}  // namespace qz::document
