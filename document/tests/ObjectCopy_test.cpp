// The object copy of page insertion, over two small in-memory documents:
// sharing, cycles, null rules, references to indirect scalars and streams.

#include "document/ObjectCopy.h"

#include <gtest/gtest.h>

#include <map>

#include "core/MemoryStream.h"
#include "core/PDArray.h"
#include "core/PDBoolean.h"
#include "core/PDDictionary.h"
#include "core/PDIndirectRef.h"
#include "core/PDInteger.h"
#include "core/PDName.h"
#include "core/PDNull.h"
#include "core/PDStream.h"
#include "core/PDString.h"
#include "core/ParentDocument.h"

namespace qz::document {
namespace {

using namespace qz::core;

// An object table and nothing else.
class TableDoc : public TqzParentDocument, public TqzCopyTarget {
public:
    TqzPDBaseObject* GetObject(uint32_t n) override {
        auto it = objects.find(n);
        return it == objects.end() ? nullptr : it->second.get();
    }
    bool IsObjectWritten(uint32_t) override { return false; }
    bool GetIsEncrypted() override { return false; }
    bool HasUserEncryptionSettings() override { return false; }
    bool IsUserEncryptionEnabled() override { return false; }
    TqzPDDictionary* GetDocInfo() override { return nullptr; }
    std::string EncryptForOutput(const std::string& b, uint32_t, uint32_t) override { return b; }

    TqzParentDocument* GetCopyParentDoc() override { return this; }
    uint32_t TakeObjectNumber() override { return ++last; }
    TqzPDBaseObject* AddObject(std::unique_ptr<TqzPDBaseObject> object) override {
        auto* raw = object.get();
        objects[object->GetObjNumber()] = std::move(object);
        return raw;
    }

    // A loaded-looking indirect dictionary under number n.
    TqzPDDictionary& Dict(uint32_t n) {
        auto dict = std::make_unique<TqzPDDictionary>(this, n, 0);
        auto* raw = dict.get();
        objects[n] = std::move(dict);
        if (n > last) last = n;
        return *raw;
    }
    TqzPDArray& Array(uint32_t n) {
        auto array = std::make_unique<TqzPDArray>(static_cast<TqzParentDocument*>(this), n, 0);
        auto* raw = array.get();
        objects[n] = std::move(array);
        if (n > last) last = n;
        return *raw;
    }
    void Put(uint32_t n, std::unique_ptr<TqzPDBaseObject> object) {
        object->SetObjNumber(n);
        object->SetGenNumber(0);
        objects[n] = std::move(object);
        if (n > last) last = n;
    }
    // Clears every changed flag, as a freshly read file has them.
    void Loaded() {
        for (auto& [n, o] : objects) {
            o->SetIsChanged(false);
            if (o->IsStream()) static_cast<TqzPDStream&>(*o).GetDict()->SetIsChanged(false);
        }
    }

    std::map<uint32_t, std::unique_ptr<TqzPDBaseObject>> objects;
    uint32_t last = 0;
};

std::unique_ptr<TqzPDIndirectRef> Ref(uint32_t n) { return std::make_unique<TqzPDIndirectRef>(n, 0); }

class ObjectCopyTest : public ::testing::Test {
protected:
    ObjectCopyTest() { target.last = 100; }
    TableDoc source;
    TableDoc target;
};

TEST_F(ObjectCopyTest, SharedObjectIsCopiedOnceAndKeepsItsStreamData) {
    // Two "pages" (plain dictionaries here) share one font, whose file is a stream.
    auto data = std::make_shared<TqzMemoryStream>(std::string("font program"));
    auto streamDict = std::make_unique<TqzPDDictionary>(&source);
    streamDict->Add("Filter", std::make_unique<TqzPDName>("FlateDecode"));
    source.Put(9, std::make_unique<TqzPDStream>(data, std::move(streamDict)));
    source.Dict(5).Add("FontFile2", Ref(9));
    source.Dict(3).Add("F1", Ref(5));
    source.Dict(4).Add("F1", Ref(5));
    source.Loaded();

    TqzObjectCopier copier(source, target);
    auto a = copier.Copy(*Ref(3));
    auto b = copier.Copy(*Ref(4));
    ASSERT_TRUE(a && b);
    const uint32_t fontA = static_cast<TqzPDDictionary*>(target.GetObject(a->GetObjNumber()))
                               ->LookupRefObj("F1")->GetObjNumber();
    const uint32_t fontB = static_cast<TqzPDDictionary*>(target.GetObject(b->GetObjNumber()))
                               ->LookupRefObj("F1")->GetObjNumber();
    EXPECT_EQ(fontA, fontB);
    EXPECT_EQ(copier.GetCopiedCount(), 4u);  // two dictionaries, the font, its file
    auto* font = static_cast<TqzPDDictionary*>(target.GetObject(fontA));
    auto* stream = static_cast<TqzPDStream*>(font->LookUp("FontFile2"));
    ASSERT_TRUE(stream && stream->IsStream());
    EXPECT_EQ(stream->GetStreamPtr(), data);         // shared, not copied
    EXPECT_FALSE(stream->GetDict()->GetIsChanged());  // so the save copies it byte for byte
    EXPECT_TRUE(stream->GetDict()->LookupRefObj("Filter")->IsName("FlateDecode"));
    for (auto& [n, o] : target.objects) {
        EXPECT_GT(n, 100u);
        EXPECT_EQ(o->GetGenNumber(), 0u);
    }
}

TEST_F(ObjectCopyTest, CyclesEndAndPagesCopyToTheirPlaceOrNull) {
    // Page 2 -> annotation 6 -> /AA action 7 -> /D [page 2 ...] and /Next 8 -> /Next 7;
    // /D of action 8 names page 3, which is not being copied. /P and /A are dropped.
    auto& page = source.Dict(2);
    page.Add("Type", std::make_unique<TqzPDName>("Page"));
    auto annots = std::make_unique<TqzPDArray>(static_cast<TqzParentDocument*>(&source));
    annots->Add(Ref(6));
    page.Add("Annots", std::move(annots));
    source.Dict(3).Add("Type", std::make_unique<TqzPDName>("Page"));
    auto& annot = source.Dict(6);
    annot.Add("P", Ref(2));
    annot.Add("A", Ref(7));
    auto aa = std::make_unique<TqzPDDictionary>(&source);
    aa->Add("U", Ref(7));
    annot.Add("AA", std::move(aa));
    auto& action = source.Dict(7);
    auto dest = std::make_unique<TqzPDArray>(static_cast<TqzParentDocument*>(&source));
    dest->Add(Ref(2));
    dest->Add(std::make_unique<TqzPDName>("Fit"));
    action.Add("D", std::move(dest));
    action.Add("Next", Ref(8));
    auto& next = source.Dict(8);
    auto dest3 = std::make_unique<TqzPDArray>(static_cast<TqzParentDocument*>(&source));
    dest3->Add(Ref(3));
    next.Add("D", std::move(dest3));
    next.Add("Next", Ref(7));
    source.Loaded();

    TqzObjectCopier copier(source, target);
    auto& newPage = static_cast<TqzPDDictionary&>(*target.AddObject(std::make_unique<TqzPDDictionary>(&target, 500, 0)));
    copier.MapObject(2, 500);
    copier.MapObject(3, 0);
    copier.CopyEntries(page, newPage, true);

    auto* newAnnot = static_cast<TqzPDDictionary*>(
        static_cast<TqzPDArray*>(newPage.LookUp("Annots"))->Get(0));
    ASSERT_TRUE(newAnnot);
    EXPECT_EQ(newAnnot->LookupRefObj("P"), nullptr);
    EXPECT_EQ(newAnnot->LookupRefObj("A"), nullptr);
    auto* newAction = static_cast<TqzPDDictionary*>(static_cast<TqzPDDictionary*>(newAnnot->LookUp("AA"))->LookUp("U"));
    ASSERT_TRUE(newAction);
    auto* d = static_cast<TqzPDArray*>(newAction->LookUp("D"));
    EXPECT_EQ(d->GetRefObj(0)->GetObjNumber(), 500u);  // the page's own copy
    auto* newNext = static_cast<TqzPDDictionary*>(newAction->LookUp("Next"));
    ASSERT_TRUE(newNext);
    EXPECT_TRUE(static_cast<TqzPDArray*>(newNext->LookUp("D"))->GetRefObj(0)->IsNull());  // page 3 not copied
    EXPECT_EQ(newNext->LookupRefObj("Next")->GetObjNumber(), newAction->GetObjNumber());  // the cycle closes
    EXPECT_EQ(copier.GetCopiedCount(), 3u);  // annotation and two actions; no stray page
    for (auto& [n, o] : target.objects) {
        if (o->IsDict() && n != 500) {
            EXPECT_FALSE(static_cast<TqzPDDictionary&>(*o).IsDict("Page"));
        }
    }
}

TEST_F(ObjectCopyTest, IndirectScalarsInArraysBecomeReferences) {
    // [/Indexed /DeviceRGB 1 7 0 R] with 7 an indirect string.
    auto& cs = source.Array(4);
    cs.Add(std::make_unique<TqzPDName>("Indexed"));
    cs.Add(std::make_unique<TqzPDName>("DeviceRGB"));
    cs.Add(std::make_unique<TqzPDInteger>(1));
    cs.Add(Ref(7));
    cs.Add(Ref(99));  // missing: stays in place as null
    source.Put(7, std::make_unique<TqzPDString>("\x01\x02\x03\x04\x05\x06", true));
    source.Loaded();

    TqzObjectCopier copier(source, target);
    auto copy = copier.Copy(*Ref(4));
    auto* array = static_cast<TqzPDArray*>(target.GetObject(copy->GetObjNumber()));
    ASSERT_EQ(array->GetLength(), 5);
    ASSERT_TRUE(array->GetRefObj(3)->IsIndirectRef());
    const auto* lookup = target.GetObject(array->GetRefObj(3)->GetObjNumber());
    ASSERT_TRUE(lookup && lookup->IsString());
    EXPECT_TRUE(static_cast<const TqzPDString*>(lookup)->IsHexString());
    EXPECT_FALSE(lookup->IsDirect());
    EXPECT_TRUE(array->GetRefObj(4)->IsNull());
}

TEST_F(ObjectCopyTest, NodesEmptyDictionariesAndDroppedKeysDoNotCarry) {
    auto& dict = source.Dict(3);
    dict.Add("Kids", Ref(4));                            // a page-tree node
    dict.Add("Empty", std::make_unique<TqzPDDictionary>(&source));
    dict.Add("Dest", std::make_unique<TqzPDName>("x"));
    dict.Add("Parent", Ref(4));
    dict.Add("B", std::make_unique<TqzPDInteger>(1));    // kept: only pages lose /B
    dict.Add("Keep", std::make_unique<TqzPDBoolean>(true));
    source.Dict(4).Add("Type", std::make_unique<TqzPDName>("Pages"));
    source.Loaded();

    TqzObjectCopier copier(source, target);
    auto copy = copier.Copy(*Ref(3));
    auto* result = static_cast<TqzPDDictionary*>(target.GetObject(copy->GetObjNumber()));
    ASSERT_EQ(result->GetLength(), 2);
    EXPECT_EQ(result->GetKey(0), "B");
    EXPECT_EQ(result->GetKey(1), "Keep");
}

TEST_F(ObjectCopyTest, LongReferenceChainsDoNotRecurse) {
    // 50,000 dictionaries, each naming the next: a recursive copy would
    // exhaust the stack long before the end.
    constexpr uint32_t kChain = 50000;
    for (uint32_t n = 1; n <= kChain; ++n) {
        auto& d = source.Dict(n);
        if (n < kChain) d.Add("Next", Ref(n + 1));
        d.Add("V", std::make_unique<TqzPDInteger>(static_cast<int32_t>(n)));
    }
    TqzObjectCopier copier(source, target);
    auto copy = copier.Copy(*Ref(1));
    ASSERT_TRUE(copy);
    EXPECT_EQ(copier.GetCopiedCount(), kChain);
}

TEST_F(ObjectCopyTest, SharedDirectObjectsBecomeOneIndirectCopy) {
    auto& node = source.Dict(2);
    auto resources = std::make_unique<TqzPDDictionary>(&source);
    resources->Add("ProcSet", std::make_unique<TqzPDName>("PDF"));
    node.Add("Resources", std::move(resources));
    source.Loaded();
    const TqzPDBaseObject* direct = node.LookUp("Resources");

    TqzObjectCopier copier(source, target);
    auto first = copier.DuplicateShared(*direct);
    auto second = copier.DuplicateShared(*direct);
    ASSERT_TRUE(first && second && first->IsIndirectRef());
    EXPECT_EQ(first->GetObjNumber(), second->GetObjNumber());
    EXPECT_EQ(copier.GetCopiedCount(), 1u);
}

}  // namespace
}  // namespace qz::document
