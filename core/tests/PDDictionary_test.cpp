#include <gtest/gtest.h>

#include <string>

#include "core/Conversions.h"
#include "core/PDArray.h"
#include "core/PDBaseExceptions.h"
#include "core/PDCommand.h"
#include "core/PDDictionary.h"
#include "core/PDError.h"
#include "core/PDIndirectRef.h"
#include "core/PDInteger.h"
#include "core/PDName.h"
#include "core/PDNull.h"
#include "core/PDString.h"
#include "core/PDXRef.h"
#include "core/tests/FakeDocument.h"

using namespace qz::core;
using qz::core::testing::FakeDocument;
using qz::core::testing::SaveText;

namespace {

std::unique_ptr<TqzPDInteger> Int(int32_t v) { return std::make_unique<TqzPDInteger>(v); }
std::unique_ptr<TqzPDName> Name(const char* v) { return std::make_unique<TqzPDName>(v); }
std::unique_ptr<TqzPDIndirectRef> Ref(uint32_t n) { return std::make_unique<TqzPDIndirectRef>(n, 0); }

std::vector<std::string> Keys(const TqzPDDictionary& d) {
    std::vector<std::string> keys;
    for (int32_t i = 0; i < d.GetLength(); ++i) keys.push_back(d.GetKey(i));
    return keys;
}

}  // namespace

TEST(PDArray, WritesBlankAfterBracketAndEveryElement) {
    TqzPDArray array;
    EXPECT_EQ(SaveText(array), "[ ]");
    array.Add(Int(1));
    array.Add(Int(2));
    array.Add(Name("A"));
    array.Add(Ref(5));  // no document: the reference stays as it is
    EXPECT_EQ(SaveText(array), "[ 1 2 /A 5 0 R ]");
    auto inner = std::make_unique<TqzPDArray>();
    inner->Add(std::make_unique<TqzPDString>("x y", false));
    array.Add(std::move(inner));
    array.Insert(std::make_unique<TqzPDNull>(), 0);
    array.Insert(Int(9), 1000);  // clamped: appended
    EXPECT_EQ(SaveText(array), "[ null 1 2 /A 5 0 R [ (x y) ] 9 ]");
}

TEST(PDArray, ClonesShareTheBodyAndOutliveEachOther) {
    auto original = std::make_unique<TqzPDArray>();
    original->Add(Int(1));
    auto clone = original->Clone();
    auto& shared = static_cast<TqzPDArray&>(*clone);
    shared.Add(Int(2));
    EXPECT_EQ(original->GetLength(), 2);
    original.reset();
    EXPECT_EQ(SaveText(shared), "[ 1 2 ]");
    EXPECT_EQ(static_cast<TqzPDInteger&>(*shared.GetRefObjClone(1)).GetValue(), 2);
    EXPECT_TRUE(shared.GetClone(7)->IsNull());
    shared.Remove(0);
    shared.Remove(42);  // nothing to remove, still marked changed
    EXPECT_TRUE(shared.GetIsChanged());
    EXPECT_EQ(SaveText(shared), "[ 2 ]");
}

TEST(PDDictionary, WritesKeysEncodedAndValues) {
    TqzPDDictionary dict;
    EXPECT_EQ(SaveText(dict), "<<>>");
    dict.Add("Type", Name("Page"));
    dict.Add("Parent", Ref(3));
    dict.Add("A B#(", Int(1));
    dict.Add("", Int(2));
    EXPECT_EQ(SaveText(dict), "<</Type /Page /Parent 3 0 R /A#20B#23#28 1 / 2 >>");
}

TEST(PDDictionary, LookupRulesAndKeyOrder) {
    TqzPDDictionary dict;
    dict.Add("Type", Name("A"));
    dict.Add("Type", Name("B"));
    EXPECT_TRUE(dict.LookUp("Type")->IsName("B"));
    TqzPDDictionary lower;
    lower.Add("type", Name("X"));
    EXPECT_TRUE(lower.LookUp("Type")->IsName("X"));
    EXPECT_TRUE(lower.IsDict("X"));
    TqzPDDictionary types;
    types.Add("Types", Name("Y"));
    EXPECT_TRUE(types.IsDict("Y"));
    EXPECT_EQ(lower.LookUp("Missing"), nullptr);
    EXPECT_TRUE(lower.LookUpClone("Missing")->IsNull());

    TqzPDDictionary order;
    order.Add("B", Int(1));
    order.Add("A", Int(2));
    order.SetKeyValue("B", Int(3));
    EXPECT_EQ(Keys(order), (std::vector<std::string>{"A", "B"}));
    TqzPDDictionary removal;
    removal.Add("C", Int(1));
    removal.Add("A", Int(2));
    removal.Add("B", Int(3));
    removal.Remove("A");
    EXPECT_EQ(Keys(removal), (std::vector<std::string>{"B", "C"}));
    removal.Remove(TqzPDName("C"));
    EXPECT_EQ(Keys(removal), (std::vector<std::string>{"B"}));
    auto previous = removal.SetValue(0, Int(8));
    EXPECT_EQ(static_cast<TqzPDInteger&>(*previous).GetValue(), 3);
}

TEST(PDDictionary, ClonesAreDeepSortedAndIndependent) {
    auto original = std::make_unique<TqzPDDictionary>();
    original->Add("Type", Name("Page"));
    original->Add("Contents", Ref(4));
    auto copy = original->Clone();
    auto& clone = static_cast<TqzPDDictionary&>(*copy);
    clone.SetKeyValue("Type", Name("Other"));
    EXPECT_TRUE(original->LookUp("Type")->IsName("Page"));
    EXPECT_EQ(Keys(clone), (std::vector<std::string>{"Contents", "Type"}));
    original.reset();
    EXPECT_EQ(SaveText(clone), "<</Contents 4 0 R /Type /Other >>");
    // One comparison for lookup and removal: a differently cased key goes.
    clone.Remove("type");
    EXPECT_EQ(clone.LookupRefObj("Type"), nullptr);
}

TEST(PDDictionary, TokensFromBadInputDropTheirKey) {
    TqzPDDictionary dict;
    dict.Add("A", Int(1));
    dict.Add("B", std::make_unique<TqzPDCommand>(">>"));
    dict.Add("C", Int(3));
    EXPECT_EQ(SaveText(dict), "<</A 1 /C 3 >>");
    TqzPDArray array;
    array.Add(Int(1));
    array.Add(std::make_unique<TqzPDError>());
    array.Add(Int(2));
    EXPECT_EQ(SaveText(array), "[ 1 2 ]");
    TqzPDArray copy;
    copy.Assign(array);
    EXPECT_EQ(SaveText(copy), "[ 1 null 2 ]");
}

TEST(PDDictionary, FullSaveWritesTargetsFirstOnceAndRenumbers) {
    FakeDocument doc;
    auto* catalog = doc.Put(std::make_unique<TqzPDDictionary>(&doc, 30, 0));
    catalog->Add("Type", Name("Catalog"));
    catalog->Add("Pages", Ref(20));
    catalog->Add("Extra", Ref(10));
    catalog->Add("Gone", Ref(99));  // no such object
    auto* pages = doc.Put(std::make_unique<TqzPDDictionary>(&doc, 20, 0));
    pages->Add("Kids", std::make_unique<TqzPDArray>(&doc));
    static_cast<TqzPDArray*>(pages->LookUp("Kids"))->Add(Ref(10));
    pages->Add("Count", Int(1));
    doc.Put(std::make_unique<TqzPDInteger>(7, 10, 0));

    TqzPDXRef xref;
    const std::string out = SaveText(*catalog, xref);
    EXPECT_EQ(out,
              "3 0 obj\r\n7\r\nendobj\r\n"
              "2 0 obj\r\n<</Kids [ 3 0 R ] /Count 1 >>\r\nendobj\r\n"
              "1 0 obj\r\n<</Type /Catalog /Pages 2 0 R /Extra 3 0 R /Gone null >>\r\nendobj\r\n");
    EXPECT_EQ(xref.GetLastObjectNumber(), 3u);
    EXPECT_EQ(xref.GetEntry(3).GetOffset(), 0u);
    EXPECT_EQ(xref.GetEntry(2).GetOffset(), out.find("2 0 obj"));
    EXPECT_EQ(xref.GetEntry(1).GetOffset(), out.find("1 0 obj"));
    // References keep naming the objects by their table numbers.
    EXPECT_EQ(catalog->LookupRefObj("Pages")->GetObjNumber(), 20u);
    EXPECT_EQ(catalog->LookUp("Pages"), pages);
}

TEST(PDDictionary, IncrementalSaveGivesNumbersBackAndKeepsPages) {
    FakeDocument doc;
    auto* info = doc.Put(std::make_unique<TqzPDDictionary>(&doc, 5, 0));
    info->Add("Title", std::make_unique<TqzPDString>("t", false));
    info->SetIsChanged(false);
    TqzPDXRef xref;
    xref.SetLastObjectNumber(40);
    EXPECT_EQ(SaveText(*info, xref, true), "");
    EXPECT_EQ(xref.GetLastObjectNumber(), 40u);
    EXPECT_EQ(info->GetObjNumber(), 5u);

    auto* page = doc.Put(std::make_unique<TqzPDDictionary>(&doc, 6, 2));
    page->Add("Type", Name("Page"));
    page->SetIsChanged(false);
    EXPECT_EQ(SaveText(*page, xref, true), "");
    EXPECT_EQ(xref.GetLastObjectNumber(), 40u);
    EXPECT_EQ(page->GetObjNumber(), 6u);
    EXPECT_EQ(xref.GetEntry(6).GetEntryType(), TqzPDXRefEntrytype::xeCompressed);
    EXPECT_EQ(xref.GetEntry(6).GetGenNum(), 2u);

    auto* changed = doc.Put(std::make_unique<TqzPDDictionary>(&doc, 7, 0));
    changed->Add("Type", Name("Page"));
    EXPECT_EQ(SaveText(*changed, xref, true), "7 0 obj\r\n<</Type /Page >>\r\nendobj\r\n");
    EXPECT_EQ(xref.GetEntry(7).GetEntryType(), TqzPDXRefEntrytype::xeUnCompressed);
}

TEST(PDDictionary, EncryptedOutputSparesTheHandlersUOAndID) {
    FakeDocument doc;
    doc.HasSettings = true;
    doc.SettingsEnabled = true;
    TqzPDDictionary trailer(&doc);
    trailer.Add("Filter", std::make_unique<TqzPDName>("Standard"));
    trailer.Add("U", std::make_unique<TqzPDString>("u", false));
    trailer.Add("Title", std::make_unique<TqzPDString>("T", false));
    trailer.Add("Hex", std::make_unique<TqzPDString>("FEFF00E9", true));
    trailer.Add("Empty", std::make_unique<TqzPDString>("", false));
    auto id = std::make_unique<TqzPDArray>(&doc);
    id->Add(std::make_unique<TqzPDString>("ab", true));
    trailer.Add("ID", std::move(id));
    trailer.SetValidObjectNumber(12);
    // The fake encryption writes "{number,generation:bytes}".
    EXPECT_EQ(SaveText(trailer),
              "<</Filter /Standard /U (u) /Title <" + StringToHex2("{12,0:T}") + "> /Hex <" +
                  StringToHex2(std::string("{12,0:\xFE\xFF\x00\xE9}", 11)) + "> /Empty <" +
                  StringToHex2("{12,0: }") + "> /ID [ <ab> ] >>");

    // Elsewhere /U and /O are strings like any other; a signature keeps its
    // /Contents, and only that.
    const struct {
        const char* what;
        std::vector<std::pair<const char*, const char*>> names;
        std::string expected;
    } cases[] = {
        {"no handler",
         {},
         "<</O <" + StringToHex2("{12,0:o}") + "> /Contents <" + StringToHex2("{12,0:c}") + "> >>"},
        {"a signature",
         {{"Type", "Sig"}},
         "<</Type /Sig /O <" + StringToHex2("{12,0:o}") + "> /Contents (c) >>"},
        {"a timestamp",
         {{"Type", "DocTimeStamp"}},
         "<</Type /DocTimeStamp /O <" + StringToHex2("{12,0:o}") + "> /Contents (c) >>"},
        {"a field value without /Type",
         {{"ByteRange", "X"}},
         "<</ByteRange /X /O <" + StringToHex2("{12,0:o}") + "> /Contents (c) >>"},
    };
    for (const auto& c : cases) {
        TqzPDDictionary dict(&doc);
        for (const auto& [key, name] : c.names) dict.Add(key, std::make_unique<TqzPDName>(name));
        dict.Add("O", std::make_unique<TqzPDString>("o", false));
        dict.Add("Contents", std::make_unique<TqzPDString>("c", false));
        dict.SetValidObjectNumber(12);
        EXPECT_EQ(SaveText(dict), c.expected) << c.what;
    }
}

TEST(PDDictionary, LongReferenceChainsAndDeepNestingStayOffTheStack) {
    // 100,000 objects each naming the next: saved targets first, iteratively.
    FakeDocument doc;
    constexpr uint32_t kChain = 100000;
    for (uint32_t n = 1; n <= kChain; ++n) {
        auto* item = doc.Put(std::make_unique<TqzPDDictionary>(&doc, n, 0));
        if (n < kChain) item->Add("Next", Ref(n + 1));
    }
    TqzPDXRef xref;
    const std::string out = SaveText(*doc.GetObject(1), xref);
    EXPECT_EQ(xref.GetLastObjectNumber(), kChain);
    EXPECT_EQ(out.substr(0, 17), "100000 0 obj\r\n<<>");
    EXPECT_NE(out.find("1 0 obj\r\n<</Next 2 0 R >>"), std::string::npos);

    // A cycle ends because the written flags are the visited set.
    FakeDocument cyclic;
    auto* a = cyclic.Put(std::make_unique<TqzPDArray>(&cyclic, 1, 0));
    auto* b = cyclic.Put(std::make_unique<TqzPDArray>(&cyclic, 2, 0));
    a->Add(Ref(2));
    b->Add(Ref(1));
    TqzPDXRef cycleXref;
    EXPECT_EQ(SaveText(*a, cycleXref), "2 0 obj\r\n[ 1 0 R ]\r\nendobj\r\n1 0 obj\r\n[ 2 0 R ]\r\nendobj\r\n");

    // 10,000 arrays nested directly in one another: saved and freed.
    auto root = std::make_unique<TqzPDArray>();
    TqzPDArray* innermost = root.get();
    for (int i = 0; i < 10000; ++i) {
        auto next = std::make_unique<TqzPDArray>();
        TqzPDArray* raw = next.get();
        innermost->Add(std::move(next));
        innermost = raw;
    }
    const std::string nested = SaveText(*root);
    EXPECT_EQ(nested.size(), 10001u * 4 - 1);
    EXPECT_EQ(nested.substr(0, 6), "[ [ [ ");
    // Copies of such a graph are refused with a clear error instead.
    TqzPDArray copy;
    EXPECT_THROW(copy.Assign(*root), ExLimitExceeded);
    root.reset();
}
