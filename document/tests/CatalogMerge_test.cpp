// The document-level data that comes with inserted pages: named
// destinations, form fields, optional content and page labels, merged into
// the target's catalog beside its own, over small documents of the builder.

#include "document/CatalogMerge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/PDArray.h"
#include "core/PDBaseExceptions.h"
#include "core/PDDictionary.h"
#include "core/PDInteger.h"
#include "core/PDName.h"
#include "core/PDString.h"
#include "document/NameNumberTree.h"
#include "document/PDBaseDoc.h"
#include "document/PDCatalog.h"
#include "document/PDDocument.h"
#include "document/PDPage.h"
#include "document/PDPageTree.h"
#include "document/tests/DocumentTestSupport.h"
#include "platform/Streams.h"
#include "testing/PdfBuilder.h"
#include "testing/TempDir.h"
#include "testing/Tools.h"

namespace qz::document {
namespace {

using core::TqzPDArray;
using core::TqzPDBaseObject;
using core::TqzPDDictionary;
using qz::testing::MinimalDocument;
using qz::testing::PdfBuilder;

std::string Ref(int32_t n) {
    return std::to_string(n) + " 0 R";
}

// Object number of page k (1-based) of MinimalDocument.
int32_t PageObject(int32_t k) {
    return 2 * k + 2;
}

// A MinimalDocument whose catalog holds `catalogExtra` as well.
PdfBuilder Document(int32_t pages, const std::string& catalogExtra,
                    const std::string& marker = "P") {
    PdfBuilder b = MinimalDocument(pages, marker);
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R " + catalogExtra + " >>");
    return b;
}

// Page k of `b` with these annotations.
void SetAnnots(PdfBuilder& b, int32_t k, const std::string& annots) {
    b.Set(PageObject(k),
          "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R "
          ">> >> /Contents " +
              std::to_string(PageObject(k) + 1) + " 0 R /Annots [" + annots + "] >>");
}

std::unique_ptr<TqzPDDocument> Load(const PdfBuilder& b) {
    auto doc = std::make_unique<TqzPDDocument>();
    doc->LoadDocument(MemoryFile(b.Write()));
    return doc;
}

TqzPDDictionary* DictAt(TqzPDBaseObject* object) {
    return object && object->IsDict() ? static_cast<TqzPDDictionary*>(object) : nullptr;
}

TqzPDDictionary& Catalog(TqzPDDocument& doc) {
    return *doc.GetBaseDoc()->GetDocRoot();
}

std::string Text(const TqzPDBaseObject* object) {
    return NameText(object).value_or("<not a string or name>");
}

// The annotations of page `n` of `doc`, resolved.
std::vector<TqzPDDictionary*> Annots(TqzPDDocument& doc, int32_t n) {
    std::vector<TqzPDDictionary*> result;
    auto* annots = static_cast<TqzPDArray*>(doc.GetPage(n)->GetDict()->LookUp("Annots"));
    for (int32_t i = 0; annots && i < annots->GetLength(); ++i)
        result.push_back(DictAt(annots->Get(i)));
    return result;
}

// The page number (1-based) an explicit destination of `doc` leads to; 0
// for none.
int32_t PageOf(TqzPDDocument& doc, const TqzPDBaseObject* destination) {
    if (auto* dict = DictAt(const_cast<TqzPDBaseObject*>(destination)))
        destination = dict->LookUp("D");
    if (!destination || !destination->IsArray()) return 0;
    const TqzPDBaseObject* page = static_cast<const TqzPDArray*>(destination)->GetRefObj(0);
    for (int32_t n = 1; n <= doc.GetPageCount(); ++n) {
        if (doc.GetCatalog()->GetPageTree()->GetPageObjectNumber(n) == page->GetObjNumber())
            return n;
    }
    return 0;
}

// The page a named destination of `doc` leads to, through its name tree.
int32_t NamedPage(TqzPDDocument& doc, const std::string& name) {
    auto* names = DictAt(Catalog(doc).LookUp("Names"));
    for (const TqzNameTreeEntry& entry : ReadNameTree(names ? names->LookUp("Dests") : nullptr)) {
        if (entry.Key != name) continue;
        const TqzPDBaseObject* value = entry.Value;
        if (value->IsIndirectRef()) value = doc.GetBaseDoc()->GetObject(value->GetObjNumber());
        return PageOf(doc, value);
    }
    return 0;
}

TEST(CatalogMergeTest, NamedDestinationsJoinRenamedWhereTheTargetHasTheName) {
    // Target: "intro" and "shared" on its pages 1 and 2; old-style /old.
    PdfBuilder t =
        Document(2,
                 "/Names << /Dests << /Names [(intro) [4 0 R /Fit] (shared) [6 0 R /Fit]] >> >> "
                 "/Dests << /old [4 0 R /Fit] >>",
                 "T");
    // Source: a three-level tree, one of whose leaves lists the root again,
    // naming "shared" (page 2), "zeta" (page 1) and "gone" (page 3, not
    // inserted); old-style /old (page 2). Page 1 links to each by name.
    PdfBuilder s = Document(3, "/Names << /Dests 100 0 R >> /Dests << /old [6 0 R /Fit] >>", "S");
    s.Set(100, "<< /Kids [101 0 R] >>");
    s.Set(101, "<< /Limits [(gone) (zeta)] /Kids [102 0 R 103 0 R 100 0 R] >>");
    s.Set(102, "<< /Limits [(gone) (shared)] /Names [(gone) [8 0 R /Fit] (shared) 104 0 R] >>");
    s.Set(103, "<< /Limits [(zeta) (zeta)] /Names [(zeta) [4 0 R /XYZ 0 0 0]] >>");
    s.Set(104, "<< /D [6 0 R /Fit] >>");
    SetAnnots(s, 1,
              "<< /Subtype /Link /Rect [0 0 1 1] /Dest (shared) >> "
              "<< /Subtype /Link /Rect [0 0 1 1] /A << /S /GoTo /D (zeta) >> >> "
              "<< /Subtype /Link /Rect [0 0 1 1] /Dest (gone) >> "
              "<< /Subtype /Link /Rect [0 0 1 1] /Dest /old >>");
    auto target = Load(t);
    auto source = Load(s);
    target->InsertPages(2, *source, 1, 2, TqzPageInsertFlages::InsertAll);
    ASSERT_EQ(target->GetPageCount(), 4);

    // The target's names are as they were; the source's take free names.
    EXPECT_EQ(NamedPage(*target, "intro"), 1);
    EXPECT_EQ(NamedPage(*target, "shared"), 2);
    EXPECT_EQ(NamedPage(*target, "shared_1"), 4);
    EXPECT_EQ(NamedPage(*target, "zeta"), 3);
    EXPECT_EQ(NamedPage(*target, "gone"), 0);  // its page was not inserted
    auto* oldNames = DictAt(Catalog(*target).LookUp("Dests"));
    ASSERT_TRUE(oldNames);
    EXPECT_EQ(PageOf(*target, oldNames->LookUp("old")), 1);
    EXPECT_EQ(PageOf(*target, oldNames->LookUp("old_1")), 4);
    // The tree lists its keys in order, as readers search it.
    auto* names = DictAt(Catalog(*target).LookUp("Names"));
    std::vector<std::string> keys;
    for (const auto& entry : ReadNameTree(names->LookUp("Dests"))) keys.push_back(entry.Key);
    EXPECT_EQ(keys, (std::vector<std::string>{"intro", "shared", "shared_1", "zeta"}));

    // The links use the new names; the one whose page stayed behind lost its
    // destination, nothing else.
    const std::vector<TqzPDDictionary*> links = Annots(*target, 3);
    ASSERT_EQ(links.size(), 4u);
    EXPECT_EQ(Text(links[0]->LookUp("Dest")), "shared_1");
    EXPECT_EQ(Text(DictAt(links[1]->LookUp("A"))->LookUp("D")), "zeta");
    EXPECT_EQ(links[2]->LookupRefObj("Dest"), nullptr);
    EXPECT_TRUE(links[2]->LookUp("Rect"));
    EXPECT_EQ(Text(links[3]->LookUp("Dest")), "old_1");
    EXPECT_TRUE(links[3]->LookUp("Dest")->IsName());
}

TEST(CatalogMergeTest, DamagedNameTreesAreBounded) {
    // A chain of nodes deeper than any sound tree: refused with a clear
    // error, not walked for ever.
    PdfBuilder s = Document(1, "/Names << /Dests 100 0 R >>");
    for (int32_t depth = 0; depth <= kMaxTreeDepth + 1; ++depth) {
        s.Set(100 + depth, "<< /Kids [" + Ref(101 + depth) + "] >>");
    }
    s.Set(102 + kMaxTreeDepth, "<< /Names [(deep) [4 0 R /Fit]] >>");
    auto target = Load(MinimalDocument(1));
    auto source = Load(s);
    EXPECT_THROW(target->InsertPages(1, *source, 1, 1, TqzPageInsertFlages::InsertAll),
                 core::ExLimitExceeded);
}

TEST(CatalogMergeTest, FieldsKeepTheirChainsValuesAndNames) {
    // Target: field "person" with value "T". Source: "person" > "name"
    // (value on the parent) > widgets on pages 1 and 2, a field "solo" that
    // is its own widget, and a form whose /DA differs and whose /DR has a
    // font the target lacks.
    PdfBuilder t = Document(
        1,
        "/AcroForm << /Fields [100 0 R] /DA (/Helv 0 Tf 0 g) /DR << /Font << /Helv 101 0 R "
        ">> >> >>",
        "T");
    t.Set(100, "<< /FT /Tx /T (person) /V (T) /Rect [0 0 1 1] /Subtype /Widget /P 4 0 R >>");
    t.Set(101, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    SetAnnots(t, 1, "100 0 R");
    PdfBuilder s = Document(
        2,
        "/AcroForm << /Fields [100 0 R 105 0 R] /DA (/Cour 9 Tf 0 g) /DR << /Font << /Helv "
        "106 0 R /Cour 107 0 R >> >> /CO [105 0 R] >>",
        "S");
    s.Set(100, "<< /T (person) /Kids [101 0 R] >>");
    s.Set(101, "<< /T (name) /Parent 100 0 R /FT /Tx /V (S) /Kids [102 0 R 103 0 R] >>");
    s.Set(102, "<< /Subtype /Widget /Parent 101 0 R /P 4 0 R /Rect [0 0 1 1] >>");
    s.Set(103, "<< /Subtype /Widget /Parent 101 0 R /P 6 0 R /Rect [0 0 1 1] >>");
    s.Set(105, "<< /Subtype /Widget /FT /Tx /T (solo) /V (alone) /P 6 0 R /Rect [0 0 1 1] >>");
    s.Set(106, "<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman >>");
    s.Set(107, "<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>");
    SetAnnots(s, 1, "102 0 R");
    SetAnnots(s, 2, "103 0 R 105 0 R << /Subtype /Link /Rect [0 0 1 1] >>");
    auto target = Load(t);
    auto source = Load(s);
    target->MergeDocs(*source, TqzPageInsertFlages::InsertAll);

    auto* form = DictAt(Catalog(*target).LookUp("AcroForm"));
    auto* fields = static_cast<TqzPDArray*>(form->LookUp("Fields"));
    ASSERT_EQ(fields->GetLength(), 3);  // person, person_1 (once for two widgets), solo
    EXPECT_EQ(Text(DictAt(fields->Get(0))->LookUp("T")), "person");
    EXPECT_EQ(Text(DictAt(fields->Get(0))->LookUp("V")), "T");
    TqzPDDictionary* person = DictAt(fields->Get(1));
    EXPECT_EQ(Text(person->LookUp("T")), "person_1");
    auto* name = DictAt(static_cast<TqzPDArray*>(person->LookUp("Kids"))->Get(0));
    EXPECT_EQ(Text(name->LookUp("V")), "S");
    // Both widgets hang under the one copy of their field.
    for (int32_t page : {2, 3}) {
        EXPECT_EQ(DictAt(Annots(*target, page)[0]->LookUp("Parent")), name) << page;
    }
    EXPECT_EQ(Text(DictAt(fields->Get(2))->LookUp("T")), "solo");
    // The source's appearance defaults go with its fields; the target's stay.
    EXPECT_EQ(Text(form->LookUp("DA")), "/Helv 0 Tf 0 g");
    EXPECT_EQ(Text(person->LookUp("DA")), "/Cour 9 Tf 0 g");
    auto* fonts = DictAt(DictAt(form->LookUp("DR"))->LookUp("Font"));
    EXPECT_EQ(Text(DictAt(fonts->LookUp("Helv"))->LookUp("BaseFont")), "Helvetica");
    EXPECT_EQ(Text(DictAt(fonts->LookUp("Cour"))->LookUp("BaseFont")), "Courier");
    auto* order = static_cast<TqzPDArray*>(form->LookUp("CO"));
    ASSERT_TRUE(order && order->IsArray());
    ASSERT_EQ(order->GetLength(), 1);
    EXPECT_EQ(order->GetRefObj(0)->GetObjNumber(), fields->GetRefObj(2)->GetObjNumber());
}

TEST(CatalogMergeTest, FieldChainsThatLoopEnd) {
    PdfBuilder s = Document(1, "/AcroForm << /Fields [100 0 R] >>");
    s.Set(100, "<< /T (a) /Parent 101 0 R /Kids [102 0 R] >>");
    s.Set(101, "<< /T (b) /Parent 100 0 R /Kids [100 0 R] >>");
    s.Set(102, "<< /Subtype /Widget /Parent 100 0 R /Rect [0 0 1 1] /V (x) >>");
    SetAnnots(s, 1, "102 0 R");
    auto target = Load(MinimalDocument(1));
    auto source = Load(s);
    target->MergeDocs(*source, TqzPageInsertFlages::InsertAll);
    auto* form = DictAt(Catalog(*target).LookUp("AcroForm"));
    ASSERT_TRUE(form);
    auto* fields = static_cast<TqzPDArray*>(form->LookUp("Fields"));
    ASSERT_EQ(fields->GetLength(), 1);
    EXPECT_EQ(Text(DictAt(fields->Get(0))->LookUp("T")), "b");
}

TEST(CatalogMergeTest, UniqueNamesKeepTheirEncoding) {
    EXPECT_EQ(UniqueName("a", {"a"}), "a_1");
    EXPECT_EQ(UniqueName("a", {"a", "a_1", "a_2"}), "a_3");
    EXPECT_EQ(UniqueName(std::string("\xFE\xFF\0a", 4), {}), std::string("\xFE\xFF\0a\0_\0"
                                                                         "1",
                                                                         8));
    // A set hands out each clash's next free suffix, skipping names taken
    // since.
    TqzNameSet names;
    EXPECT_EQ(names.Take("a"), "a");
    EXPECT_EQ(names.Take("a"), "a_1");
    names.Add("a_2");
    EXPECT_EQ(names.Take("a"), "a_3");
    EXPECT_EQ(names.Take("a_1"), "a_1_1");
    EXPECT_EQ(names.Take("b"), "b");
}

TEST(CatalogMergeTest, ABatchWritesTheNamesOnceWhenItCloses) {
    auto target = Load(Document(1, "/Names << /Dests << /Names [(top) [4 0 R /Fit]] >> >>", "T"));
    std::vector<std::unique_ptr<TqzPDDocument>> sources;
    target->OpenMergeBatch();
    for (int k = 0; k < 3; ++k) {
        sources.push_back(Load(Document(1, "/Names << /Dests << /Names [(top) [4 0 R /Fit]] >> >>", "S")));
        target->MergeDocs(*sources.back(), TqzPageInsertFlages::InsertAll);
    }
    // Waiting: the tree still holds the target's own name alone.
    auto* names = DictAt(Catalog(*target).LookUp("Names"));
    EXPECT_EQ(ReadNameTree(names->LookUp("Dests")).size(), 1U);
    target->CloseMergeBatch(true);
    EXPECT_FALSE(target->HasMergedNames());
    for (const auto& [name, page] : {std::pair{"top", 1}, {"top_1", 2}, {"top_2", 3}, {"top_3", 4}})
        EXPECT_EQ(NamedPage(*target, name), page) << name;
}

// The state and order of the groups in the target's default configuration.
struct LayerState {
    std::vector<std::string> on, off, order;
};

LayerState LayersOf(TqzPDDocument& doc) {
    LayerState state;
    auto* properties = DictAt(Catalog(doc).LookUp("OCProperties"));
    auto* config = properties ? DictAt(properties->LookUp("D")) : nullptr;
    const auto names = [&](const char* key, std::vector<std::string>& into) {
        auto* array = config ? static_cast<TqzPDArray*>(config->LookUp(key)) : nullptr;
        for (int32_t i = 0; array && i < array->GetLength(); ++i) {
            if (TqzPDDictionary* group = DictAt(array->Get(i)))
                into.push_back(Text(group->LookUp("Name")));
        }
    };
    names("ON", state.on);
    names("OFF", state.off);
    names("Order", state.order);
    return state;
}

TEST(CatalogMergeTest, LayersShowByDefaultAsInTheirSources) {
    const std::string groups = "100 0 R 101 0 R";
    struct Case {
        const char* what;
        std::string targetProperties;  // "" for none
        std::string sourceConfig;
        LayerState expected;
    };
    const Case cases[] = {
        {"target without layers, source hides one",
         "",
         "<< /OFF [100 0 R] /Order [101 0 R 100 0 R] >>",
         {{"S1"}, {"S0"}, {"S1", "S0"}}},
        {"source's base state off",
         "",
         "<< /BaseState /OFF /ON [101 0 R] >>",
         {{"S1"}, {"S0"}, {}}},
        {"target base state off, its order kept first",
         "/OCProperties << /OCGs [102 0 R] /D << /BaseState /OFF /ON [102 0 R] /Order [102 0 R] >> "
         ">>",
         "<< /Order [100 0 R 101 0 R] >>",
         {{"T", "S0", "S1"}, {}, {"T", "S0", "S1"}}},
        {"target with layers but no order",
         "/OCProperties << /OCGs [102 0 R] /D << >> >>",
         "<< /OFF [101 0 R] /Order [100 0 R [101 0 R]] >>",
         {{"S0"}, {"S1"}, {"T", "S0"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PdfBuilder t = Document(1, c.targetProperties, "T");
        t.Set(102, "<< /Type /OCG /Name (T) >>");
        PdfBuilder s = Document(
            1, "/OCProperties << /OCGs [" + groups + "] /D " + c.sourceConfig + " >>", "S");
        s.Set(100, "<< /Type /OCG /Name (S0) >>");
        s.Set(101, "<< /Type /OCG /Name (S1) >>");
        // The page draws in both groups: its references reach the same copies.
        s.Set(PageObject(1),
              "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Properties << "
              "/a 100 0 R /b 101 0 R >> >> /Contents 5 0 R >>");
        auto target = Load(t);
        auto source = Load(s);
        target->MergeDocs(*source, TqzPageInsertFlages::InsertAll);
        const LayerState state = LayersOf(*target);
        EXPECT_EQ(state.on, c.expected.on);
        EXPECT_EQ(state.off, c.expected.off);
        if (c.what == cases[3].what) {
            // The nested part of the order stays nested.
            auto* order = static_cast<TqzPDArray*>(
                DictAt(DictAt(Catalog(*target).LookUp("OCProperties"))->LookUp("D"))
                    ->LookUp("Order"));
            ASSERT_EQ(order->GetLength(), 3);
            EXPECT_TRUE(order->Get(2)->IsArray());
        } else {
            EXPECT_EQ(state.order, c.expected.order);
        }
        auto* properties = DictAt(
            DictAt(target->GetPage(2)->GetDict()->LookUp("Resources"))->LookUp("Properties"));
        auto* groupsArray = static_cast<TqzPDArray*>(
            DictAt(Catalog(*target).LookUp("OCProperties"))->LookUp("OCGs"));
        std::vector<uint32_t> listed;
        for (int32_t i = 0; i < groupsArray->GetLength(); ++i)
            listed.push_back(groupsArray->GetRefObj(i)->GetObjNumber());
        for (const char* key : {"a", "b"}) {
            const uint32_t used = properties->LookupRefObj(key)->GetObjNumber();
            EXPECT_NE(std::find(listed.begin(), listed.end(), used), listed.end()) << key;
        }
    }
}

TEST(CatalogMergeTest, ArraysOfTheSourceJoinWhereverTheyAreStored) {
    // Layer order, radio groups and calculation order stored as objects of
    // their own; and, in a document merged into itself, scalars where those
    // arrays belong, which the merge replaces in the catalog it reads.
    struct Case {
        const char* what;
        std::string config;  // the source's /D
        std::string order;   // the source's /CO
        bool intoItself;
        int32_t orderLength, radioGroups, calculated;  // in the target afterwards
    };
    const Case cases[] = {
        {"arrays by reference", "<< /Order 102 0 R /RBGroups 103 0 R >>", "105 0 R", false, 1, 1, 1},
        {"scalars, into itself", "<< /ON 7 /OFF (x) /Order 5 /RBGroups 9 /Locked (y) /AS 3 >>", "7", true, 0, 0, 0},
        {"arrays, into itself", "<< /Order [100 0 R] /RBGroups [[100 0 R]] >>", "[104 0 R]", true, 2, 2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PdfBuilder s = Document(1, "/OCProperties << /OCGs [100 0 R] /D " + c.config +
                                       " >> /AcroForm << /Fields [104 0 R] /CO " + c.order + " >>",
                                "S");
        s.Set(100, "<< /Type /OCG /Name (S0) >>");
        s.Set(102, "[100 0 R]");
        s.Set(103, "[[100 0 R]]");
        s.Set(104, "<< /Subtype /Widget /FT /Tx /T (f) /P 4 0 R /Rect [0 0 1 1] >>");
        s.Set(105, "[104 0 R]");
        SetAnnots(s, 1, "104 0 R");
        auto source = Load(s);
        auto target = c.intoItself ? nullptr : Load(MinimalDocument(1, "T"));
        TqzPDDocument& into = c.intoItself ? *source : *target;
        into.InsertPages(1, *source, 1, 1, TqzPageInsertFlages::InsertAll);
        ASSERT_EQ(into.GetPageCount(), 2);
        const auto length = [](TqzPDBaseObject* array) {
            return array && array->IsArray() ? static_cast<TqzPDArray*>(array)->GetLength() : 0;
        };
        auto* config = DictAt(DictAt(Catalog(into).LookUp("OCProperties"))->LookUp("D"));
        EXPECT_EQ(length(config->LookUp("Order")), c.orderLength);
        EXPECT_EQ(length(config->LookUp("RBGroups")), c.radioGroups);
        EXPECT_EQ(length(DictAt(Catalog(into).LookUp("AcroForm"))->LookUp("CO")), c.calculated);
    }
}

// A document's /PageLabels as "index style[ prefix][ start]" entries.
std::string LabelsOf(TqzPDDocument& doc) {
    std::string text;
    for (const TqzNumberTreeEntry& entry : ReadNumberTree(Catalog(doc).LookUp("PageLabels"))) {
        const TqzPDBaseObject* value = entry.Value;
        if (value->IsIndirectRef()) value = doc.GetBaseDoc()->GetObject(value->GetObjNumber());
        const auto* label = static_cast<const TqzPDDictionary*>(value);
        text += (text.empty() ? "" : " | ") + std::to_string(entry.Key);
        if (label->LookUp("S")) text += " " + Text(label->LookUp("S"));
        if (label->LookUp("P")) text += " P" + Text(label->LookUp("P"));
        if (const TqzPDBaseObject* start = label->LookUp("St")) {
            text +=
                " St" + std::to_string(static_cast<const core::TqzPDInteger*>(start)->GetValue());
        }
    }
    return text;
}

TEST(CatalogMergeTest, PageLabelsNumberEachPartAsItsDocument) {
    struct Insert {
        int32_t pages;
        std::string labels;  // the source's /Nums, "" for none
        int32_t after, start, count;
    };
    struct Case {
        const char* what;
        int32_t targetPages;
        std::string targetLabels;
        std::vector<Insert> inserts;
        std::string expected;
    };
    const Case cases[] = {
        {"source without labels after labelled pages",
         3,
         "0 << /S /r >>",
         {{2, "", 3, 1, 2}},
         "0 r | 3 D"},
        {"labelled source after pages without",
         3,
         "",
         {{2, "0 << /S /A /P (X-) >>", 3, 1, 2}},
         "0 D | 3 A PX-"},
        {"in the middle: the target's pages after go on",
         4,
         "0 << /S /D >>",
         {{2, "0 << /S /r >>", 2, 1, 2}},
         "0 D | 2 r | 4 D St3"},
        {"partial source from a later page",
         2,
         "0 << /S /D >>",
         {{5, "0 << /S /r >> 2 << /S /D /St 10 >>", 1, 4, 2}},
         "0 D | 1 D St11 | 3 D St2"},
        {"a target range starting where the block goes",
         4,
         "0 << /S /r >> 2 << /S /D >>",
         {{1, "0 << /S /A >>", 2, 1, 1}},
         "0 r | 2 A | 3 D"},
        {"unlabelled source from a later page",
         2,
         "0 << /S /r >>",
         {{5, "", 2, 3, 2}},
         "0 r | 2 D St3"},
        {"labels arriving after documents without",
         2,
         "",
         {{2, "", 2, 1, 2}, {1, "0 << /S /r >>", 4, 1, 1}},
         "0 D | 2 D | 4 r"},
        {"no labels anywhere", 2, "", {{2, "", 2, 1, 2}}, ""},
        {"a range past the last page, a number at the end of the range",
         2,
         "0 << /S /D /St 2147483647 >> 2147483646 << /S /r >>",
         {{1, "", 1, 1, 1}},
         "0 D St2147483647 | 1 D | 2 D St2147483648"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto target = Load(Document(
            c.targetPages,
            c.targetLabels.empty() ? "" : "/PageLabels << /Nums [" + c.targetLabels + "] >>"));
        std::vector<std::unique_ptr<TqzPDDocument>> sources;
        for (const Insert& insert : c.inserts) {
            sources.push_back(Load(Document(
                insert.pages,
                insert.labels.empty() ? "" : "/PageLabels << /Nums [" + insert.labels + "] >>")));
            target->InsertPages(insert.after, *sources.back(), insert.start, insert.count,
                                TqzPageInsertFlages::InsertAll);
        }
        EXPECT_EQ(LabelsOf(*target), c.expected);
    }
}

TEST(CatalogMergeTest, DocumentIntoItselfGetsASecondSetOfEverything) {
    // Source and target are one catalog: what is read is added to as it is
    // merged, and must be taken once.
    PdfBuilder b = Document(
        2,
        "/Names << /Dests << /Names [(top) [4 0 R /Fit]] >> >> /OCProperties << /OCGs [100 0 R] /D "
        "<< /OFF [100 0 R] /Order [100 0 R] /RBGroups [[100 0 R]] >> >> /AcroForm << /Fields [101 "
        "0 R] "
        "/DR << /Font << /F1 3 0 R >> >> /CO [101 0 R] >> /PageLabels << /Nums [0 << /S /r >>] >>");
    b.Set(100, "<< /Type /OCG /Name (L) >>");
    b.Set(101, "<< /Subtype /Widget /FT /Tx /T (f) /V (v) /Rect [0 0 1 1] /P 4 0 R >>");
    SetAnnots(b, 1, "101 0 R << /Subtype /Link /Rect [0 0 1 1] /Dest (top) >>");
    auto doc = Load(b);
    doc->InsertPages(2, *doc, 1, 2, TqzPageInsertFlages::InsertAll);
    ASSERT_EQ(doc->GetPageCount(), 4);
    EXPECT_EQ(NamedPage(*doc, "top"), 1);
    EXPECT_EQ(NamedPage(*doc, "top_1"), 3);
    EXPECT_EQ(Text(Annots(*doc, 1)[1]->LookUp("Dest")), "top");
    EXPECT_EQ(Text(Annots(*doc, 3)[1]->LookUp("Dest")), "top_1");
    const LayerState layers = LayersOf(*doc);
    EXPECT_EQ(layers.off, (std::vector<std::string>{"L", "L"}));
    EXPECT_EQ(layers.order, (std::vector<std::string>{"L", "L"}));
    auto* fields =
        static_cast<TqzPDArray*>(DictAt(Catalog(*doc).LookUp("AcroForm"))->LookUp("Fields"));
    ASSERT_EQ(fields->GetLength(), 2);
    EXPECT_EQ(Text(DictAt(fields->Get(1))->LookUp("T")), "f_1");
    EXPECT_EQ(Text(DictAt(fields->Get(1))->LookUp("V")), "v");
    EXPECT_EQ(LabelsOf(*doc), "0 r | 2 r");
}

TEST(CatalogMergeTest, AttachedFilesJoinUnderTheirNamesRenamedWhereTaken) {
    const auto fileSpec = [](const std::string& name, int32_t stream) {
        return "<< /Type /Filespec /F (" + name + ") /UF (" + name + ") /EF << /F " + Ref(stream) + " >> >>";
    };
    PdfBuilder a = Document(1, "/Names << /EmbeddedFiles << /Names [(notes.txt) 100 0 R] >> >>", "A");
    a.Set(100, fileSpec("notes.txt", 101));
    a.SetStream(101, "<< /Type /EmbeddedFile >>", "first notes");
    PdfBuilder b = Document(1, "/Names << /EmbeddedFiles 102 0 R >>", "B");
    b.Set(102, "<< /Kids [103 0 R] >>");
    b.Set(103, "<< /Names [(data.csv) 100 0 R (notes.txt) 104 0 R] /Limits [(data.csv) (notes.txt)] >>");
    b.Set(100, fileSpec("data.csv", 101));
    b.SetStream(101, "<< /Type /EmbeddedFile >>", "1,2,3");
    b.Set(104, fileSpec("notes.txt", 105));
    b.SetStream(105, "<< /Type /EmbeddedFile >>", "second notes");
    auto target = Load(a);
    auto source = Load(b);
    target->MergeDocs(*source, TqzPageInsertFlages::InsertAll);
    auto* names = DictAt(Catalog(*target).LookUp("Names"));
    ASSERT_NE(names, nullptr);
    std::vector<std::string> files;
    for (const TqzNameTreeEntry& entry : ReadNameTree(names->LookUp("EmbeddedFiles"))) {
        auto* spec = DictAt(target->GetBaseDoc()->GetObject(entry.Value->GetObjNumber()));
        ASSERT_NE(spec, nullptr) << entry.Key;
        files.push_back(entry.Key + "=" + Text(spec->LookUp("F")));
    }
    EXPECT_EQ(files, (std::vector<std::string>{"data.csv=data.csv", "notes.txt=notes.txt",
                                               "notes.txt_1=notes.txt"}));
    if (qz::testing::HaveTool("pdfdetach")) {
        qz::testing::TempDir dir("qz-attached");
        const auto out = dir.File("merged.pdf");
        TqzPDSaveFlags flags;
        flags.Full = true;
        target->SaveDocument(out, flags);
        const auto saved = qz::testing::RunProgram({"pdfdetach", "-save", "3", "-o", dir.File("third").string(),
                                                   out.string()});
        EXPECT_TRUE(saved.Succeeded()) << saved.Describe();
        EXPECT_EQ(platform::ReadFileBytes(dir.File("third")), "second notes");
    }
}

}  // namespace
}  // namespace qz::document
