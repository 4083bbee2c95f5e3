// The object copy of page insertion, over two small in-memory documents:
// sharing, cycles, null rules, references to indirect scalars and streams.

#include "document/ObjectCopy.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <unordered_map>

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

TEST_F(ObjectCopyTest, CyclesEndAndDestinationsReachThePagesCopies) {
    // Page 2 -> annotation 6 (/P page 2, /A and /AA /U action 7) -> /D [page 2]
    // and /Next 8 -> /Next [7 9]: a cycle. Action 9's page (3) is not
    // copied, so 9 is dead and leaves the chain.
    auto& page = source.Dict(2);
    page.Add("Type", std::make_unique<TqzPDName>("Page"));
    auto annots = std::make_unique<TqzPDArray>(static_cast<TqzParentDocument*>(&source));
    annots->Add(Ref(6));
    page.Add("Annots", std::move(annots));
    source.Dict(3).Add("Type", std::make_unique<TqzPDName>("Page"));
    auto& annot = source.Dict(6);
    annot.Add("Subtype", std::make_unique<TqzPDName>("Link"));
    annot.Add("P", Ref(2));
    annot.Add("A", Ref(7));
    auto aa = std::make_unique<TqzPDDictionary>(&source);
    aa->Add("U", Ref(7));
    annot.Add("AA", std::move(aa));
    const auto goTo = [&](uint32_t n, uint32_t pageNumber) -> TqzPDDictionary& {
        auto& action = source.Dict(n);
        action.Add("S", std::make_unique<TqzPDName>("GoTo"));
        auto dest = std::make_unique<TqzPDArray>(static_cast<TqzParentDocument*>(&source));
        dest->Add(Ref(pageNumber));
        dest->Add(std::make_unique<TqzPDName>("Fit"));
        action.Add("D", std::move(dest));
        return action;
    };
    goTo(7, 2).Add("Next", Ref(8));
    auto next = std::make_unique<TqzPDArray>(static_cast<TqzParentDocument*>(&source));
    next->Add(Ref(7));
    next->Add(Ref(9));
    goTo(8, 2).Add("Next", std::move(next));
    goTo(9, 3);
    // The page's own actions: on opening a jump to a page not copied, on
    // closing one back to itself.
    auto pageActions = std::make_unique<TqzPDDictionary>(&source);
    pageActions->Add("O", Ref(9));
    pageActions->Add("C", Ref(8));
    page.Add("AA", std::move(pageActions));
    source.Loaded();

    TqzObjectCopier copier(source, target);
    auto& newPage = static_cast<TqzPDDictionary&>(*target.AddObject(std::make_unique<TqzPDDictionary>(&target, 500, 0)));
    copier.MapObject(2, 500);
    copier.MapObject(3, 0);
    copier.CopyEntries(page, newPage, true);

    auto* newAnnot = static_cast<TqzPDDictionary*>(
        static_cast<TqzPDArray*>(newPage.LookUp("Annots"))->Get(0));
    ASSERT_TRUE(newAnnot);
    EXPECT_EQ(newAnnot->LookupRefObj("P")->GetObjNumber(), 500u);  // its page's copy
    auto* newAction = static_cast<TqzPDDictionary*>(newAnnot->LookUp("A"));
    ASSERT_TRUE(newAction);
    EXPECT_EQ(static_cast<TqzPDDictionary*>(newAnnot->LookUp("AA"))->LookupRefObj("U")->GetObjNumber(),
              newAction->GetObjNumber());  // one copy for both
    EXPECT_EQ(static_cast<TqzPDArray*>(newAction->LookUp("D"))->GetRefObj(0)->GetObjNumber(), 500u);
    auto* newNext = static_cast<TqzPDDictionary*>(newAction->LookUp("Next"));
    ASSERT_TRUE(newNext);
    auto* chain = static_cast<TqzPDArray*>(newNext->LookUp("Next"));
    ASSERT_EQ(chain->GetLength(), 1);  // the dead action left the chain
    EXPECT_EQ(chain->GetRefObj(0)->GetObjNumber(), newAction->GetObjNumber());  // the cycle closes
    auto* copiedPageActions = static_cast<TqzPDDictionary*>(newPage.LookUp("AA"));
    ASSERT_TRUE(copiedPageActions);
    EXPECT_EQ(copiedPageActions->LookupRefObj("O"), nullptr);
    EXPECT_EQ(copiedPageActions->LookupRefObj("C")->GetObjNumber(), newNext->GetObjNumber());
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

TEST_F(ObjectCopyTest, OnlyWhatTiesAPageToTheSourceIsLeftOut) {
    // The same entries in a resource dictionary (3) and in a page (2): keys
    // that name actions, parents or destinations elsewhere are plain names
    // in a resource dictionary, and only a page's place in the source's
    // structure is left out.
    source.Dict(4).Add("Type", std::make_unique<TqzPDName>("Pages"));
    source.Dict(5).Add("ca", std::make_unique<TqzPDInteger>(0));
    source.Dict(6);  // an empty dictionary
    source.Dict(7).Add("Type", std::make_unique<TqzPDName>("Catalog"));
    struct Case {
        const char* key;
        std::function<std::unique_ptr<TqzPDBaseObject>()> value;
        bool keptInResources;
        bool keptInPage;
    };
    const Case cases[] = {
        {"A", [] { return Ref(5); }, true, true},
        {"P", [] { return Ref(5); }, true, true},
        {"Dest", [] { return std::make_unique<TqzPDName>("x"); }, true, true},
        {"Empty", [] { return Ref(6); }, true, true},
        {"Direct", [&] { return std::make_unique<TqzPDDictionary>(&source); }, true, true},
        {"Parent", [] { return Ref(5); }, true, false},
        {"B", [] { return std::make_unique<TqzPDInteger>(1); }, true, false},
        {"DPart", [] { return Ref(5); }, true, false},
        {"Kids", [] { return Ref(4); }, false, false},  // a page-tree node
        {"Root", [] { return Ref(7); }, false, false},  // the catalog
    };
    auto& resources = source.Dict(3);
    auto& page = source.Dict(2);
    page.Add("Type", std::make_unique<TqzPDName>("Page"));
    for (const Case& c : cases) {
        resources.Add(c.key, c.value());
        page.Add(c.key, c.value());
    }
    source.Loaded();

    TqzObjectCopier copier(source, target);
    auto copy = copier.Copy(*Ref(3));
    auto* copiedResources = static_cast<TqzPDDictionary*>(target.GetObject(copy->GetObjNumber()));
    auto& copiedPage = static_cast<TqzPDDictionary&>(*target.AddObject(std::make_unique<TqzPDDictionary>(&target, 500, 0)));
    copier.MapObject(2, 500);
    copier.CopyEntries(page, copiedPage, true);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(copiedResources->LookupRefObj(c.key) != nullptr, c.keptInResources);
        EXPECT_EQ(copiedPage.LookupRefObj(c.key) != nullptr, c.keptInPage);
    }
    // An empty dictionary is still a dictionary, shared as one object.
    const TqzPDBaseObject* empty = copiedResources->LookUp("Empty");
    ASSERT_TRUE(empty && empty->IsDict());
    EXPECT_EQ(static_cast<const TqzPDDictionary*>(empty)->GetLength(), 0);
    EXPECT_EQ(copiedResources->LookupRefObj("Empty")->GetObjNumber(),
              copiedPage.LookupRefObj("Empty")->GetObjNumber());
    EXPECT_TRUE(copiedResources->LookUp("Direct")->IsDict());
}

TEST_F(ObjectCopyTest, DestinationsFollowTheirPagesOrAreLeftOut) {
    // Page 2 is copied (as 500), page 3 is not. Named destinations: "alive"
    // on page 2, "dead" on page 3, "taken" on page 2 but renamed.
    for (uint32_t n : {2u, 3u}) source.Dict(n).Add("Type", std::make_unique<TqzPDName>("Page"));
    const auto explicitDest = [&](std::unique_ptr<TqzPDBaseObject> page) {
        auto array = std::make_unique<TqzPDArray>(static_cast<TqzParentDocument*>(&source));
        array->Add(std::move(page));
        array->Add(std::make_unique<TqzPDName>("Fit"));
        return array;
    };
    source.Put(20, explicitDest(Ref(2)));
    source.Dict(21).Add("D", explicitDest(Ref(3)));
    source.Put(22, explicitDest(Ref(2)));
    const auto name = [](const char* text) { return std::make_unique<TqzPDName>(text); };
    const auto string = [](const char* text) { return std::make_unique<TqzPDString>(text, false); };
    struct Case {
        const char* what;
        std::function<std::unique_ptr<TqzPDBaseObject>()> destination;
        std::function<bool(const TqzPDBaseObject*)> expected;  // the copy's destination, none when left out
    };
    const auto toPage = [](const TqzPDBaseObject* d) {
        return d && d->IsArray() && static_cast<const TqzPDArray*>(d)->GetRefObj(0)->IsIndirectRef() &&
               static_cast<const TqzPDArray*>(d)->GetRefObj(0)->GetObjNumber() == 500;
    };
    const auto none = [](const TqzPDBaseObject* d) { return d == nullptr; };
    const auto text = [](const char* expected) {
        return [expected](const TqzPDBaseObject* d) {
            return d && ((d->IsString() && static_cast<const TqzPDString*>(d)->GetBytes() == expected) ||
                         (d->IsName() && static_cast<const TqzPDName*>(d)->GetValue() == expected));
        };
    };
    const Case cases[] = {
        {"copied page", [&] { return explicitDest(Ref(2)); }, toPage},
        {"page not copied", [&] { return explicitDest(Ref(3)); }, none},
        {"page missing", [&] { return explicitDest(Ref(99)); }, none},
        {"page by index", [&] { return explicitDest(std::make_unique<TqzPDInteger>(0)); }, toPage},
        {"index of a page not copied", [&] { return explicitDest(std::make_unique<TqzPDInteger>(1)); }, none},
        {"named", [&] { return string("alive"); }, text("alive")},
        {"named, renamed", [&] { return string("taken"); }, text("taken_1")},
        {"old-style name, renamed", [&] { return name("taken"); }, text("taken_1")},
        {"named, page not copied", [&] { return string("dead"); }, none},
        {"name the source lacks", [&] { return string("unknown"); }, text("unknown")},
    };
    std::unordered_map<std::string, TqzObjectCopier::DestinationName> names;
    names["alive"] = {"alive", source.GetObject(20)};
    names["dead"] = {"dead", source.GetObject(21)};
    names["taken"] = {"taken_1", source.GetObject(22)};
    TqzObjectCopier copier(source, target);
    copier.MapObject(2, 500);
    copier.MapObject(3, 0);
    copier.SetSourcePages({2, 3});
    copier.SetDestinationNames(std::move(names));
    uint32_t next = 30;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // As a link's /Dest and as a go-to action's /D.
        auto& link = source.Dict(next++);
        link.Add("Subtype", std::make_unique<TqzPDName>("Link"));
        link.Add("Dest", c.destination());
        auto action = std::make_unique<TqzPDDictionary>(&source);
        action->Add("S", std::make_unique<TqzPDName>("GoTo"));
        action->Add("D", c.destination());
        auto& linkWithAction = source.Dict(next++);
        linkWithAction.Add("Subtype", std::make_unique<TqzPDName>("Link"));
        linkWithAction.Add("A", std::move(action));
        source.Loaded();

        auto* copy = static_cast<TqzPDDictionary*>(target.GetObject(copier.Copy(*Ref(next - 2))->GetObjNumber()));
        EXPECT_TRUE(c.expected(copy->LookUp("Dest")));
        auto* copyWithAction =
            static_cast<TqzPDDictionary*>(target.GetObject(copier.Copy(*Ref(next - 1))->GetObjNumber()));
        const auto* copiedAction = static_cast<TqzPDDictionary*>(copyWithAction->LookUp("A"));
        if (c.expected(nullptr)) {
            EXPECT_EQ(copiedAction, nullptr);  // the action would go nowhere
        } else {
            ASSERT_NE(copiedAction, nullptr);
            EXPECT_TRUE(c.expected(copiedAction->LookUp("D")));
        }
        EXPECT_TRUE(copy->LookUp("Subtype"));  // the link itself stays
    }
    // A remote go-to names a page of another file: carried as it is.
    auto& remote = source.Dict(next++);
    remote.Add("Subtype", std::make_unique<TqzPDName>("Link"));
    auto remoteAction = std::make_unique<TqzPDDictionary>(&source);
    remoteAction->Add("S", std::make_unique<TqzPDName>("GoToR"));
    remoteAction->Add("F", string("other.pdf"));
    remoteAction->Add("D", explicitDest(std::make_unique<TqzPDInteger>(7)));
    remote.Add("A", std::move(remoteAction));
    auto* remoteCopy = static_cast<TqzPDDictionary*>(target.GetObject(copier.Copy(*Ref(next - 1))->GetObjNumber()));
    auto* remoteDest = static_cast<TqzPDArray*>(static_cast<TqzPDDictionary*>(remoteCopy->LookUp("A"))->LookUp("D"));
    ASSERT_TRUE(remoteDest);
    EXPECT_EQ(static_cast<TqzPDInteger*>(remoteDest->GetRefObj(0))->GetValue(), 7);
    // Outside links and go-to actions a /Dest is no destination.
    auto& other = source.Dict(next);
    other.Add("Dest", string("taken"));
    auto otherCopy = copier.Copy(*Ref(next));
    EXPECT_TRUE(text("taken")(static_cast<TqzPDDictionary*>(target.GetObject(otherCopy->GetObjNumber()))->LookUp("Dest")));
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
