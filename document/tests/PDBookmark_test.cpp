#include "document/PDBookmark.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/PDArray.h"
#include "core/PDBaseExceptions.h"
#include "core/PDDictionary.h"
#include "core/PDInteger.h"
#include "core/PDName.h"
#include "core/PDReal.h"
#include "core/PDRect.h"
#include "core/PDString.h"
#include "document/PDAction.h"
#include "document/PDBaseDoc.h"
#include "document/PDCatalog.h"
#include "document/PDDestination.h"
#include "document/PDDocument.h"
#include "document/PDModelException.h"
#include "document/PDPage.h"
#include "document/tests/OutlineTestSupport.h"
#include "testing/GTestSupport.h"
#include "testing/TempDir.h"

namespace qz::document {
namespace {

using qz::testing::PdfBuilder;
using Titles = std::vector<std::string>;

const std::vector<OutlineItem> kThree = {{1, "A", ""}, {1, "B", ""}, {1, "C", ""}};

// Documents of the tests: loaded from memory, saved in full to a file that
// qpdf must pass, and loaded again from it.
class OutlineTest : public ::testing::Test {
  protected:
    TqzPDDocument& Load(const std::string& bytes) {
        doc_ = std::make_unique<TqzPDDocument>();
        doc_->LoadDocument(MemoryFile(bytes));
        return *doc_;
    }
    TqzPDBookmark& Root() { return *doc_->GetBookmarkRoot(); }
    core::TqzPDDictionary& RootDict() { return *Root().GetDict(); }

    // Saves in full, checks the file with qpdf when it is installed, and
    // loads the saved file in place of the document.
    TqzPDDocument& SaveAndReload() {
        const auto path = dir_.File("saved-" + std::to_string(++saves_) + ".pdf");
        TqzPDSaveFlags flags;
        flags.Full = true;
        doc_->SaveDocument(path, flags);
        // Without qpdf the check is left to CI, where it must be installed.
        if (qz::testing::HaveTool("qpdf")) {
            EXPECT_TRUE(qz::testing::QpdfCheckPasses(path));
        } else {
            EXPECT_FALSE(qz::testing::MissingToolsMustFail()) << "qpdf is not installed";
        }
        doc_ = std::make_unique<TqzPDDocument>();
        doc_->LoadDocument(path);
        return *doc_;
    }

    // The titles of the loaded children of `item`, in list order, each at
    // the index it claims.
    static Titles Loaded(TqzPDBookmark& item) {
        Titles titles;
        for (TqzPDBookmark* child = item.GetFirstChild(); child != nullptr;
             child = child->GetNext()) {
            EXPECT_EQ(child->GetIndex(), static_cast<int32_t>(titles.size())) << child->GetTitle();
            titles.push_back(child->GetTitle());
        }
        return titles;
    }

    qz::testing::TempDir dir_{"qz-outline"};
    std::unique_ptr<TqzPDDocument> doc_;
    int saves_ = 0;
};

// ---- navigation ----

TEST_F(OutlineTest, ChildrenLoadLazilyInChainOrder) {
    Load(
        OutlineDocument(
            1,
            {{1, "A", ""}, {1, "B", ""}, {2, "B1", ""}, {3, "B1a", ""}, {1, "C", ""}, {1, "D", ""}})
            .Write());
    TqzPDBookmark& root = Root();
    EXPECT_EQ(root.GetLevel(), 0);
    ASSERT_NE(root.GetFirstChild(), nullptr);
    ASSERT_EQ(root.GetBookmarkList()->Count(), 1);
    // GetChild(3) loads the second, third and fourth children.
    TqzPDBookmark* fourth = root.GetChild(3);
    ASSERT_NE(fourth, nullptr);
    EXPECT_EQ(fourth->GetTitle(), "D");
    EXPECT_EQ(root.GetBookmarkList()->Count(), 4);
    EXPECT_EQ(root.GetChild(4), nullptr);
    EXPECT_EQ(root.GetChild(-1), nullptr);
    EXPECT_EQ(fourth->GetPrev()->GetTitle(), "C");
    EXPECT_EQ(root.GetChild(0)->GetPrev(), nullptr);
    EXPECT_EQ(root.GetLastChild(), fourth);

    TqzPDBookmark* b = root.GetChild(1);
    EXPECT_TRUE(b->HasChildren());
    EXPECT_FALSE(root.GetChild(0)->HasChildren());
    TqzPDBookmark* deep = b->GetFirstChild()->GetFirstChild();
    ASSERT_NE(deep, nullptr);
    EXPECT_EQ(deep->GetTitle(), "B1a");
    EXPECT_EQ(deep->GetIndent(), 3);
    EXPECT_EQ(deep->GetParent()->GetParent(), b);
    EXPECT_EQ(root.GetParent(), nullptr);
    EXPECT_EQ(root.GetNext(), nullptr);
    EXPECT_TRUE(b->IsSame(root.GetChild(1)));
    EXPECT_FALSE(b->IsSame(fourth));
}

TEST_F(OutlineTest, TitleSearchIgnoresCaseWithinItsDepth) {
    Load(OutlineDocument(1, {{1, "Intro", ""},
                             {1, "Part I", ""},
                             {2, "Chapter One", ""},
                             {3, "Deep Section", ""},
                             {1, "Part II", ""}})
             .Write());
    const auto intro = [&]() -> TqzPDBookmark& { return *Root().GetFirstChild(); };
    struct Case {
        std::function<TqzPDBookmark&()> start;
        const char* startName;
        std::string name;
        TqzOutlineTraversalDepth depth;
        std::string found;  // "" for none
    };
    const auto full = TqzOutlineTraversalDepth::otdFullSubtree;
    const auto children = TqzOutlineTraversalDepth::otdChildrenOnly;
    const auto siblings = TqzOutlineTraversalDepth::otdSiblingsOnly;
    const std::vector<Case> cases = {
        {[&]() -> TqzPDBookmark& { return Root(); }, "root", "deep SECTION", full, "Deep Section"},
        {[&]() -> TqzPDBookmark& { return Root(); }, "root", "deep section", children, ""},
        {[&]() -> TqzPDBookmark& { return Root(); }, "root", "PART i", children, "Part I"},
        {intro, "Intro", "part ii", siblings, "Part II"},
        {intro, "Intro", "chapter one", siblings, ""},
        {intro, "Intro", "CHAPTER ONE", children, "Chapter One"},
        {intro, "Intro", "deep section", children, ""},
        {intro, "Intro", "missing", full, ""},
    };
    for (const Case& c : cases) {
        TqzPDBookmark& start = c.start();
        TqzPDBookmark* found =
            start.GetByTitle(c.name, TqzOutlineTaversalType::ottDepthFirst, c.depth);
        EXPECT_EQ(found != nullptr ? found->GetTitle() : "", c.found)
            << c.startName << " / " << c.name;
        EXPECT_EQ(start.GetTitleFound(), found != nullptr) << c.startName << " / " << c.name;
    }
}

// ---- entries ----

TEST_F(OutlineTest, EntriesReadAsStored) {
    struct Case {
        std::string entries;
        std::string title;
        bool italic, bold;
        int32_t count;
        bool hasColor;
        double red, green, blue;
    };
    const std::vector<Case> cases = {
        {"/F 3 /Count -4 /C [1 0 0.5]", "Plain", true, true, -4, true, 1, 0, 0.5},
        {"/F 1 /C [0 1]", "Plain", true, false, 0, true, 0, 1, 0},
        {"/F 2.5 /Count (x) /C 7", "Plain", false, false, 0, false, 0, 0, 0},
        {"/Title <FEFF00C9007400E9> /F 2", "\xC3\x89t\xC3\xA9", false, true, 0, false, 0, 0, 0},
        {"/Title (Caf\\351)", "Caf\xC3\xA9", false, false, 0, false, 0, 0, 0},
        {"/Title 12", "", false, false, 0, false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        Load(OutlineDocument(1, {{1, "Plain", c.entries}}).Write());
        TqzPDBookmark& item = *Root().GetFirstChild();
        EXPECT_EQ(item.GetTitle(), c.title) << c.entries;
        EXPECT_EQ(item.GetFlags().Italic, c.italic) << c.entries;
        EXPECT_EQ(item.GetFlags().Bold, c.bold) << c.entries;
        EXPECT_EQ(item.GetCount(), c.count) << c.entries;
        TqzPDColorValue color;
        EXPECT_EQ(item.GetColor(color), c.hasColor) << c.entries;
        EXPECT_EQ(color.Value[0], c.red) << c.entries;
        EXPECT_EQ(color.Value[1], c.green) << c.entries;
        EXPECT_EQ(color.Value[2], c.blue) << c.entries;
    }
}

TEST_F(OutlineTest, SettersWriteWhatReadersReadBack) {
    struct Case {
        std::string entries;
        std::function<void(TqzPDBookmark&)> set;
        std::string key;
        std::string written;  // the entry as written, read raw
    };
    const auto flag = [](bool italic, bool bold, bool underline) {
        TqzPDOutlineFlag f;
        f.Italic = italic;
        f.Bold = bold;
        f.Underline = underline;
        return f;
    };
    const auto colour = [](TqzPDColorSpaceType space, double a, double b, double c, double d) {
        TqzPDColorValue value;
        value.ColorSpace = space;
        value.Value[0] = a;
        value.Value[1] = b;
        value.Value[2] = c;
        value.Value[3] = d;
        return value;
    };
    const auto text = [](core::TqzPDBaseObject* value) {
        if (value == nullptr) return std::string("<none>");
        if (value->IsInteger())
            return std::to_string(static_cast<core::TqzPDInteger*>(value)->GetValue());
        if (value->IsString()) {
            auto* s = static_cast<core::TqzPDString*>(value);
            return std::string(s->IsHexString() ? "<" : "(") + s->GetString() +
                   (s->IsHexString() ? ">" : ")");
        }
        if (value->IsArray()) {
            std::string out = "[";
            auto* array = static_cast<core::TqzPDArray*>(value);
            for (int32_t i = 0; i < array->GetLength(); ++i) {
                const core::TqzPDBaseObject* n = array->Get(i);
                const double number =
                    n->IsReal() ? static_cast<const core::TqzPDReal*>(n)->GetValue()
                                : static_cast<double>(
                                      static_cast<const core::TqzPDInteger*>(n)->GetValue());
                out += (i > 0 ? " " : "") + std::to_string(static_cast<int>(number * 100));
            }
            return out + "]";
        }
        return std::string("<other>");
    };
    const std::vector<Case> cases = {
        // Underline and strike-out do not reach the file.
        {"", [&](TqzPDBookmark& i) { i.SetFlags(flag(false, false, true)); }, "F", "0"},
        {"/F 2", [&](TqzPDBookmark& i) { i.SetFlags(flag(true, true, false)); }, "F", "3"},
        {"/F /Bold", [&](TqzPDBookmark& i) { i.SetFlags(flag(true, false, false)); }, "F", "1"},
        {"",
         [&](TqzPDBookmark& i) {
             i.SetColor(colour(TqzPDColorSpaceType::DeviceRGB, 1, 0.5, 0, 0));
         },
         "C", "[100 50 0]"},
        {"/C [0 0 0]",
         [&](TqzPDBookmark& i) {
             i.SetColor(colour(TqzPDColorSpaceType::DeviceGray, 0.25, 0, 0, 0));
         },
         "C", "[25 25 25]"},
        {"",
         [&](TqzPDBookmark& i) { i.SetColor(colour(TqzPDColorSpaceType::DeviceCMYK, 0, 1, 1, 0)); },
         "C", "[100 0 0]"},
        // A literal title takes 8-bit text that every reader reads alike...
        {"", [](TqzPDBookmark& i) { i.SetTitle("R\xC3\xA9sum\xC3\xA9"); }, "Title",
         "(R\xE9sum\xE9)"},
        // ...and becomes UTF-16 where the 8-bit form would lose or change a
        // character.
        {"", [](TqzPDBookmark& i) { i.SetTitle("5 \xE2\x82\xAC"); }, "Title", "<FEFF0035002020AC>"},
        {"", [](TqzPDBookmark& i) { i.SetTitle("\xE2\x9C\x93"); }, "Title", "<FEFF2713>"},
        {"/Title <FEFF0041>", [](TqzPDBookmark& i) { i.SetTitle("Hi"); }, "Title",
         "<FEFF00480069>"},
    };
    for (const Case& c : cases) {
        Load(OutlineDocument(1, {{1, "Plain", c.entries}}).Write());
        TqzPDBookmark& item = *Root().GetFirstChild();
        c.set(item);
        EXPECT_EQ(text(item.GetDict()->LookUp(c.key)), c.written) << c.entries << " " << c.key;
        TqzPDDocument& again = SaveAndReload();
        TqzPDBookmark& read = *again.GetBookmarkRoot()->GetFirstChild();
        EXPECT_EQ(text(read.GetDict()->LookUp(c.key)), c.written)
            << "saved: " << c.entries << " " << c.key;
    }
}

TEST_F(OutlineTest, SetTitleKeepsTheTextReadBack) {
    const std::vector<std::string> titles = {"Plain", "R\xC3\xA9sum\xC3\xA9", "5 \xE2\x82\xAC",
                                             "\xE2\x9C\x93 done",
                                             "Gr\xC3\xBC\xC3\x9F"
                                             "e \xE2\x80\x94 Ende"};
    for (const std::string& title : titles) {
        Load(OutlineDocument(1, {{1, "Old", ""}}).Write());
        Root().GetFirstChild()->SetTitle(title);
        EXPECT_EQ(Root().GetFirstChild()->GetTitle(), title);
        EXPECT_EQ(SaveAndReload().GetBookmarkRoot()->GetFirstChild()->GetTitle(), title);
    }
}

// ---- targets ----

TEST_F(OutlineTest, TargetsResolveThroughNamedDestinations) {
    struct Case {
        std::string entries;
        int32_t page;  // 0: none
    };
    const std::vector<Case> cases = {
        {"/Dest [" + PageRef(1) + " /Fit]", 1},
        {"/Dest [2 /Fit]", 3},  // a 0-based page index
        {"/Dest /chap", 2},
        {"/Dest (sec)", 3},
        {"/Dest (chap)", 2},  // a string falls back on /Dests
        {"/A << /S /GoTo /D (sec) >>", 3},
        {"/A << /S /GoTo /D /boxed >>", 2},
        {"/A << /S /URI /URI (http://example.com) >>", 0},
        {"/Dest /undefined", 0},
        {"/Dest [99 0 R /Fit]", 0},
        {"/Dest [7 /Fit]", 0},
        {"/Dest [" + PageRef(2) + " /Fit] /A << /S /GoTo /D (sec) >>", 2},
        {"", 0},
    };
    const std::string catalog = "/Dests << /chap [" + PageRef(2) + " /XYZ 0 0 0] /boxed << /D [" +
                                PageRef(2) + " /Fit] >> >> /Names << /Dests << /Names [(sec) [" +
                                PageRef(3) + " /Fit]] >> >>";
    for (const Case& c : cases) {
        Load(OutlineDocument(3, {{1, "Item", c.entries}}, catalog).Write());
        TqzNamedDestinations names(*doc_);
        TqzPDPage* page = Root().GetFirstChild()->GetTargetPage(names);
        EXPECT_EQ(page != nullptr ? page->GetPageNum() : 0, c.page) << c.entries;
    }
}

// The written array as text: "ref" for a page reference, numbers as
// integers, names with "/".
std::string ArrayText(core::TqzPDBaseObject* value) {
    if (value == nullptr || !value->IsArray()) return "<not an array>";
    auto& array = static_cast<core::TqzPDArray&>(*value);
    std::string out;
    for (int32_t i = 0; i < array.GetLength(); ++i) {
        core::TqzPDBaseObject* element = array.GetRefObj(i);
        out += i > 0 ? " " : "";
        if (element->IsIndirectRef()) {
            out += std::to_string(element->GetObjNumber()) + "R";
        } else if (element->IsName()) {
            out += "/" + static_cast<core::TqzPDName*>(element)->GetValue();
        } else if (element->IsReal()) {
            out += std::to_string(
                static_cast<int>(static_cast<core::TqzPDReal*>(element)->GetValue()));
        } else if (element->IsInteger()) {
            out += std::to_string(static_cast<core::TqzPDInteger*>(element)->GetValue());
        } else {
            out += "?";
        }
    }
    return out;
}

TEST_F(OutlineTest, DestinationsAndActionsOfItems) {
    struct Case {
        std::string entries;
        int32_t page;  // of GetDestination; 0: none, -1: no destination at all
        TqzPageDisplayOptions option;
        double top;
        TqzPDActionType action;
    };
    const auto none = TqzPDActionType::actionNone;
    const std::vector<Case> cases = {
        {"/Dest [" + PageRef(2) + " /XYZ 100 700 0]", 2, TqzPageDisplayOptions::FitZoom, 700, none},
        // A name that is no named destination reads as the option it names.
        {"/Dest /Fit", 0, TqzPageDisplayOptions::FitAll, 0, none},
        {"/Dest /Unknown", 0, TqzPageDisplayOptions::None, 0, none},
        // A named destination leads where it is defined.
        {"/Dest /chap", 2, TqzPageDisplayOptions::FitHeight, 500, none},
        {"/Dest (sec)", 1, TqzPageDisplayOptions::FitAll, 0, none},
        {"/Dest 5", -1, TqzPageDisplayOptions::None, 0, none},
        {"/A << /S /GoTo /D [" + PageRef(1) + " /Fit] >>", -1, TqzPageDisplayOptions::None, 0,
         TqzPDActionType::actionGoTo},
        {"/A << /S /URI /URI (http://example.com) >>", -1, TqzPageDisplayOptions::None, 0,
         TqzPDActionType::actionURI},
        {"/A << /S /ImportData >>", -1, TqzPageDisplayOptions::None, 0, none},
    };
    const std::string catalog = "/Dests << /chap [" + PageRef(2) +
                                " /FitH 500] >> /Names << /Dests << /Names [(sec) [" + PageRef(1) +
                                " /Fit]] >> >>";
    for (const Case& c : cases) {
        Load(OutlineDocument(2, {{1, "Item", c.entries}}, catalog).Write());
        TqzPDBookmark& item = *Root().GetFirstChild();
        TqzPDDestination* destination = item.GetDestination();
        ASSERT_EQ(destination != nullptr, c.page >= 0) << c.entries;
        if (destination != nullptr) {
            EXPECT_EQ(destination->GetPage() != nullptr ? destination->GetPage()->GetPageNum() : 0,
                      c.page)
                << c.entries;
            EXPECT_EQ(destination->GetDisplayOption(), c.option) << c.entries;
            EXPECT_EQ(destination->GetRect()->GetTop(), c.top) << c.entries;
            EXPECT_EQ(destination->GetRect()->GetLeft(), c.page == 2 && c.top == 700 ? 100 : 0)
                << c.entries;
        }
        TqzPDAction* action = item.GetAction();
        EXPECT_EQ(action != nullptr ? action->GetType() : none, c.action) << c.entries;
        EXPECT_EQ(item.GetAction(), action) << c.entries;
    }
}

TEST_F(OutlineTest, SettingATargetReplacesTheOther) {
    Load(OutlineDocument(2, {{1, "Item", "/A << /S /URI /URI (http://example.com) >>"}}).Write());
    TqzPDBookmark& item = *Root().GetFirstChild();
    ASSERT_NE(item.GetAction(), nullptr);
    // Written as it stands: no conversion of Top.
    core::TqzPDRect rect(0, 300, 0, 0);
    item.SetDestination(std::make_unique<TqzPDDestination>(
        doc_.get(), doc_->GetPage(2), TqzPageDisplayOptions::FitHeight, &rect));
    core::TqzPDDictionary& dict = *item.GetDict();
    EXPECT_EQ(ArrayText(dict.LookUp("Dest")), PageRef(2).substr(0, 1) + "R /FitH 300");
    EXPECT_EQ(dict.LookupRefObj("A"), nullptr);
    EXPECT_EQ(item.GetDestination()->GetPage(), doc_->GetPage(2));

    item.SetAction(std::make_unique<TqzPDURIAction>("http://example.org"));
    EXPECT_EQ(dict.LookupRefObj("Dest"), nullptr);
    ASSERT_NE(dict.LookupRefObj("A"), nullptr);
    EXPECT_TRUE(dict.LookupRefObj("A")->IsIndirectRef());
    auto* written = static_cast<core::TqzPDDictionary*>(dict.LookUp("A"));
    EXPECT_TRUE(written->LookUp("S")->IsName("URI"));
    EXPECT_EQ(TextOf(written->LookUp("URI")), "http://example.org");
    EXPECT_EQ(item.GetAction()->GetType(), TqzPDActionType::actionURI);
    TqzPDDocument& again = SaveAndReload();
    TqzPDAction* read = again.GetBookmarkRoot()->GetFirstChild()->GetAction();
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(static_cast<TqzPDURIAction*>(read)->GetURI(), "http://example.org");

    Load(OutlineDocument(1, {{1, "Item", "/A 5"}}).Write());
    EXPECT_THROW(Root().GetFirstChild()->RemoveAction(), ExBadAction);
    EXPECT_EQ(Root().GetFirstChild()->GetDict()->LookupRefObj("A"), nullptr);
    EXPECT_NO_THROW(Root().GetFirstChild()->RemoveAction());
}

TEST_F(OutlineTest, InsertedTargetsAreWrittenFromThePageTop) {
    Load(OutlineDocument(2, kThree).Write());
    const double height = doc_->GetPage(1)->GetPageHeight();
    core::TqzPDRect rect(10, 20, 110, 120);
    TqzPDDestination destination(doc_.get(), doc_->GetPage(1), TqzPageDisplayOptions::FitRect,
                                 &rect);
    const std::string expected = "4R /FitR 10 " + std::to_string(static_cast<int>(height - 120)) +
                                 " 110 " + std::to_string(static_cast<int>(height - 20));
    TqzPDBookmark& root = Root();
    TqzPDBookmark* first = root.AddNewChild("D1", &destination, {});
    TqzPDBookmark* second = root.GetChild(0)->AddNewNext("D2", &destination, {});
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    // Written twice, the destination lands on the same spot twice.
    EXPECT_EQ(ArrayText(first->GetDict()->LookUp("Dest")), expected);
    EXPECT_EQ(ArrayText(second->GetDict()->LookUp("Dest")), expected);
    EXPECT_EQ(destination.GetRect()->GetTop(), 20);
    // A destination without display option writes no target.
    TqzPDDestination bare;
    TqzPDBookmark* third = root.AddNewChild("D3", &bare, {});
    EXPECT_EQ(third->GetDict()->LookupRefObj("Dest"), nullptr);
    EXPECT_EQ(third->GetDict()->LookupRefObj("A"), nullptr);
    TqzPDURIAction uri("http://example.com");
    TqzPDBookmark* fourth = root.GetChild(0)->AddNewPrev("U", &uri, {});
    ASSERT_NE(fourth, nullptr);
    EXPECT_TRUE(fourth->GetDict()->LookupRefObj("A")->IsIndirectRef());
    EXPECT_EQ(fourth->GetAction()->GetType(), TqzPDActionType::actionURI);
    TqzPDGoToAction go(std::make_unique<TqzPDDestination>(doc_.get(), doc_->GetPage(2),
                                                          TqzPageDisplayOptions::FitAll, nullptr));
    ASSERT_NE(root.AddNewChild("G", &go, {}), nullptr);
    TqzPDDocument& again = SaveAndReload();
    TqzNamedDestinations names(again);
    EXPECT_EQ(Loaded(*again.GetBookmarkRoot()),
              (Titles{"U", "A", "D2", "B", "C", "D1", "D3", "G"}));
    EXPECT_EQ(again.GetBookmarkRoot()->GetChild(7)->GetTargetPage(names), again.GetPage(2));
    TqzPDBookmark& d2 = *again.GetBookmarkRoot()->GetChild(2);
    EXPECT_EQ(d2.GetTargetPage(names)->GetPageNum(), 1);
}

TEST_F(OutlineTest, CatalogWritesTheFirstItemsTargetAsItStands) {
    Load(qz::testing::MinimalDocument(2).Write());
    core::TqzPDRect rect(0, 300, 0, 0);
    TqzPDDestination destination(doc_.get(), doc_->GetPage(2), TqzPageDisplayOptions::FitHeight,
                                 &rect);
    TqzPDBookmark* item = doc_->CreateBookmarkRoot("To two", &destination, {});
    EXPECT_EQ(ArrayText(item->GetDict()->LookUp("Dest")), "6R /FitH 300");
    TqzPDDocument& saved = SaveAndReload();
    EXPECT_EQ(saved.GetBookmarkRoot()->GetFirstChild()->GetTargetPage(TqzNamedDestinations(saved)),
              saved.GetPage(2));

    Load(qz::testing::MinimalDocument(1).Write());
    TqzPDURIAction uri("http://example.com");
    item = doc_->CreateBookmarkRoot("Link", &uri, {});
    core::TqzPDBaseObject* action = item->GetDict()->LookupRefObj("A");
    ASSERT_NE(action, nullptr);
    EXPECT_TRUE(action->IsDict());
    EXPECT_TRUE(static_cast<core::TqzPDDictionary*>(action)->LookUp("S")->IsName("URI"));
    SaveAndReload();
}

// ---- insertions ----

TEST_F(OutlineTest, InsertionsLinkBothWaysAndLeaveCountAlone) {
    struct Case {
        const char* name;
        std::function<TqzPDBookmark*(TqzPDBookmark& root)> insert;
        Titles order;
        int32_t index;  // of the new item
    };
    const TqzPDOutlineFlag bold{false, true, false, false};
    const auto child = [](int32_t i) {
        return [i](TqzPDBookmark& root) { return root.GetChild(i); };
    };
    const std::vector<Case> cases = {
        {"child of root",
         [&](TqzPDBookmark& r) { return r.InsertNewChild("N", nullptr, bold, nullptr); },
         {"A", "B", "C", "N"},
         3},
        {"before the last",
         [&](TqzPDBookmark& r) { return child(2)(r)->InsertNewPrev("N", nullptr, bold, nullptr); },
         {"A", "B", "N", "C"},
         2},
        {"before the first",
         [&](TqzPDBookmark& r) {
             return child(0)(r)->AddNewPrev("N", (TqzPDAction*)nullptr, bold);
         },
         {"N", "A", "B", "C"},
         0},
        {"after the last",
         [&](TqzPDBookmark& r) { return child(2)(r)->InsertNewNext("N", nullptr, bold, nullptr); },
         {"A", "B", "C", "N"},
         3},
        {"after the first",
         [&](TqzPDBookmark& r) {
             return child(0)(r)->AddNewNext("N", (TqzPDDestination*)nullptr, bold);
         },
         {"A", "N", "B", "C"},
         1},
    };
    for (const Case& c : cases) {
        Load(OutlineDocument(1, kThree).Write());
        TqzPDBookmark& root = Root();
        TqzPDBookmark* made = c.insert(root);
        ASSERT_NE(made, nullptr) << c.name;
        EXPECT_EQ(made->GetIndex(), c.index) << c.name;
        EXPECT_EQ(made->GetLevel(), 1) << c.name;
        EXPECT_EQ(made->GetParent(), &root) << c.name;
        EXPECT_EQ(made->GetNext() != nullptr ? made->GetNext()->GetTitle() : "",
                  c.index + 1 < 4 ? c.order[static_cast<size_t>(c.index) + 1] : "")
            << c.name;
        EXPECT_EQ(Loaded(root), c.order) << c.name;
        EXPECT_EQ(Forward(RootDict()), c.order) << c.name;
        EXPECT_EQ(Backward(RootDict()), c.order) << c.name;
        core::TqzPDDictionary& dict = *made->GetDict();
        EXPECT_EQ(dict.LookUp("Parent"), root.GetBaseObject()) << c.name;
        EXPECT_EQ(static_cast<core::TqzPDInteger*>(dict.LookUp("F"))->GetValue(), 2) << c.name;
        EXPECT_EQ(dict.LookupRefObj("Count"), nullptr) << c.name;
        EXPECT_EQ(root.GetCount(), 3) << c.name;
        TqzPDDocument& again = SaveAndReload();
        EXPECT_EQ(Loaded(*again.GetBookmarkRoot()), c.order) << "saved: " << c.name;
    }
}

TEST_F(OutlineTest, InsertionsUnderALeafAndNextToTheRoot) {
    Load(OutlineDocument(1, kThree).Write());
    TqzPDBookmark& b = *Root().GetChild(1);
    TqzPDBookmark* first = b.InsertNewChild("B1", nullptr, {}, nullptr);
    TqzPDBookmark* second = b.InsertNewChild("B2", nullptr, {}, nullptr);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->GetLevel(), 2);
    EXPECT_EQ(second->GetIndex(), 1);
    EXPECT_EQ(Forward(*b.GetDict()), (Titles{"B1", "B2"}));
    EXPECT_EQ(Backward(*b.GetDict()), (Titles{"B1", "B2"}));
    // The root has no parent item: nothing is inserted beside it.
    EXPECT_EQ(Root().InsertNewNext("X", nullptr, {}, nullptr), nullptr);
    EXPECT_EQ(Root().InsertNewPrev("X", nullptr, {}, nullptr), nullptr);
    TqzPDDocument& again = SaveAndReload();
    EXPECT_EQ(Loaded(*again.GetBookmarkRoot()->GetChild(1)), (Titles{"B1", "B2"}));
}

TEST_F(OutlineTest, AnOutlineStartsInADocumentWithoutOne) {
    Load(qz::testing::MinimalDocument(2).Write());
    TqzPDBookmark& root = Root();
    EXPECT_EQ(root.GetFirstChild(), nullptr);
    ASSERT_NE(root.InsertNewChild("First", nullptr, {}, nullptr), nullptr);
    ASSERT_NE(root.GetChild(0)->InsertNewNext("Second", nullptr, {}, nullptr), nullptr);
    TqzPDDocument& again = SaveAndReload();
    EXPECT_EQ(Loaded(*again.GetBookmarkRoot()), (Titles{"First", "Second"}));
}

TEST_F(OutlineTest, CatalogMakesTheFirstItemOnlyWithoutOutlines) {
    Load(qz::testing::MinimalDocument(1).Write());
    TqzPDCatalog& catalog = *doc_->GetCatalog();
    TqzPDOutlineFlag flag;
    flag.Italic = true;
    flag.Underline = true;
    TqzPDBookmark* item =
        doc_->CreateBookmarkRoot("Only", static_cast<TqzPDDestination*>(nullptr), flag);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->GetTitle(), "Only");
    core::TqzPDDictionary* outlines =
        static_cast<core::TqzPDDictionary*>(catalog.GetDict()->LookUp("Outlines"));
    ASSERT_NE(outlines, nullptr);
    EXPECT_EQ(Forward(*outlines), (Titles{"Only"}));
    EXPECT_EQ(static_cast<core::TqzPDInteger*>(outlines->LookUp("Count"))->GetValue(), 1);
    EXPECT_EQ(static_cast<core::TqzPDInteger*>(item->GetDict()->LookUp("F"))->GetValue(), 1);
    EXPECT_EQ(item->GetDict()->LookUp("Parent"), outlines);
    EXPECT_EQ(item->GetDict()->LookupRefObj("Dest"), nullptr);
    EXPECT_EQ(item->GetDict()->LookupRefObj("A"), nullptr);
    // The item is the root handed out from now on.
    EXPECT_EQ(doc_->GetBookmarkRoot(), item);

    Load(OutlineDocument(1, kThree).Write());
    const size_t before = doc_->GetBaseDoc()->GetLastObjectNumber();
    TqzPDBookmark* existing =
        doc_->CreateBookmarkRoot("New", static_cast<TqzPDAction*>(nullptr), flag);
    EXPECT_EQ(existing, doc_->GetBookmarkRoot());
    EXPECT_EQ(Loaded(*existing), (Titles{"A", "B", "C"}));
    EXPECT_EQ(doc_->GetBaseDoc()->GetLastObjectNumber(), before);
}

// ---- deletions ----

TEST_F(OutlineTest, DeletionsAtEachEndRelinkTheNeighbours) {
    struct Case {
        const char* name;
        std::vector<OutlineItem> items;
        std::function<bool(TqzPDBookmark& root)> remove;
        bool removed;
        Titles left;
    };
    const std::vector<OutlineItem> two = {{1, "A", ""}, {1, "B", ""}};
    const std::vector<OutlineItem> one = {{1, "A", ""}};
    const std::vector<Case> cases = {
        {"first of three",
         kThree,
         [](TqzPDBookmark& r) { return r.DeleteChild(0); },
         true,
         {"B", "C"}},
        {"middle of three",
         kThree,
         [](TqzPDBookmark& r) { return r.DeleteChild(1); },
         true,
         {"A", "C"}},
        {"last of three",
         kThree,
         [](TqzPDBookmark& r) { return r.DeleteChild(2); },
         true,
         {"A", "B"}},
        {"past the end",
         kThree,
         [](TqzPDBookmark& r) { return r.DeleteChild(3); },
         false,
         {"A", "B", "C"}},
        {"first of two", two, [](TqzPDBookmark& r) { return r.DeleteChild(0); }, true, {"B"}},
        {"only child", one, [](TqzPDBookmark& r) { return r.DeleteChild(0); }, true, {}},
        {"next of first",
         kThree,
         [](TqzPDBookmark& r) { return r.GetChild(0)->DeleteNext(); },
         true,
         {"A", "C"}},
        {"next of middle",
         kThree,
         [](TqzPDBookmark& r) { return r.GetChild(1)->DeleteNext(); },
         true,
         {"A", "B"}},
        {"next of last",
         kThree,
         [](TqzPDBookmark& r) { return r.GetChild(2)->DeleteNext(); },
         false,
         {"A", "B", "C"}},
        {"prev of first",
         kThree,
         [](TqzPDBookmark& r) { return r.GetChild(0)->DeletePrev(); },
         false,
         {"A", "B", "C"}},
        {"prev of middle",
         kThree,
         [](TqzPDBookmark& r) { return r.GetChild(1)->DeletePrev(); },
         true,
         {"B", "C"}},
        {"prev of last",
         kThree,
         [](TqzPDBookmark& r) { return r.GetChild(2)->DeletePrev(); },
         true,
         {"A", "C"}},
    };
    for (const Case& c : cases) {
        Load(OutlineDocument(1, c.items).Write());
        TqzPDBookmark& root = Root();
        EXPECT_EQ(c.remove(root), c.removed) << c.name;
        EXPECT_EQ(Loaded(root), c.left) << c.name;
        EXPECT_EQ(Forward(RootDict()), c.left) << c.name;
        EXPECT_EQ(Backward(RootDict()), c.left) << c.name;
        if (!c.left.empty()) {
            // The ends of the chain have nothing beyond them.
            auto* first = static_cast<core::TqzPDDictionary*>(RootDict().LookUp("First"));
            auto* last = static_cast<core::TqzPDDictionary*>(RootDict().LookUp("Last"));
            EXPECT_EQ(first->LookupRefObj("Prev"), nullptr) << c.name;
            EXPECT_EQ(last->LookupRefObj("Next"), nullptr) << c.name;
        }
        TqzPDDocument& again = SaveAndReload();
        EXPECT_EQ(Loaded(*again.GetBookmarkRoot()), c.left) << "saved: " << c.name;
    }
}

TEST_F(OutlineTest, DeletedItemsTakeTheirLoadedChildren) {
    Load(OutlineDocument(1, {{1, "A", ""}, {2, "A1", ""}, {2, "A2", ""}, {1, "B", ""}}).Write());
    TqzPDBookmark& root = Root();
    EXPECT_EQ(Loaded(*root.GetFirstChild()), (Titles{"A1", "A2"}));
    EXPECT_TRUE(root.DeleteChild(0));
    EXPECT_EQ(Loaded(root), (Titles{"B"}));
    EXPECT_EQ(SaveAndReload().GetBookmarkRoot()->GetChild(0)->GetTitle(), "B");
}

// ---- link operations ----

TEST_F(OutlineTest, LinkOperationsRelinkDictionaries) {
    Load(OutlineDocument(1, kThree).Write());
    TqzPDBookmark& root = Root();
    TqzPDBookmark& a = *root.GetChild(0);
    TqzPDBookmark& b = *root.GetChild(1);
    TqzPDBookmark& c = *root.GetChild(2);
    // Items over new dictionaries, outside the tree until linked.
    TqzPDBaseDoc& baseDoc = *doc_->GetBaseDoc();
    const auto detached = [&](const std::string& title) {
        auto* dict = static_cast<core::TqzPDDictionary*>(
            baseDoc.AddNewObject(std::make_unique<core::TqzPDDictionary>(&baseDoc)));
        dict->Add("Title", std::make_unique<core::TqzPDString>(title, false));
        return std::make_unique<TqzPDBookmark>(doc_.get(), nullptr, dict);
    };
    auto d = detached("D");
    auto e = detached("E");
    auto f = detached("F");
    a.AddNext(*d);
    c.AddPrev(*e);
    b.AddChild(*f);
    EXPECT_EQ(Forward(RootDict()), (Titles{"A", "D", "B", "E", "C"}));
    EXPECT_EQ(ChainTitles(c.GetDict(), "Prev"), (Titles{"C", "E", "B", "D", "A"}));
    EXPECT_EQ(Forward(*b.GetDict()), (Titles{"F"}));
    EXPECT_EQ(f->GetDict()->LookUp("Parent"), b.GetDict());
    // The model's lists follow the dictionaries only when read again.
    EXPECT_EQ(Loaded(root), (Titles{"A", "B", "C"}));
    e->UnLink();
    EXPECT_EQ(Forward(RootDict()), (Titles{"A", "D", "B", "E"}));
    TqzPDDocument& again = SaveAndReload();
    EXPECT_EQ(Loaded(*again.GetBookmarkRoot()), (Titles{"A", "D", "B", "E"}));
    EXPECT_EQ(Loaded(*again.GetBookmarkRoot()->GetChild(2)), (Titles{"F"}));
}

TEST_F(OutlineTest, LinksThatWouldCloseALoopAreRefused) {
    Load(OutlineDocument(1, {{1, "A", ""}, {2, "A1", ""}, {1, "B", ""}, {1, "C", ""}}).Write());
    TqzPDBookmark& root = Root();
    TqzPDBookmark& a = *root.GetChild(0);
    TqzPDBookmark& a1 = *a.GetFirstChild();
    TqzPDBookmark& b = *root.GetChild(1);
    TqzPDBookmark& c = *root.GetChild(2);
    const std::vector<std::pair<const char*, std::function<void()>>> loops = {
        {"next to itself", [&] { a.AddNext(a); }},
        {"next to a later sibling", [&] { a.AddNext(c); }},
        {"prev to a later sibling", [&] { a.AddPrev(b); }},
        {"child that is its parent", [&] { a1.AddChild(a); }},
        {"child that is the root", [&] { a1.AddChild(root); }},
        {"child already a child", [&] { a.AddChild(a1); }},
        {"prev that is its own child", [&] { a.AddPrev(a1); }},
    };
    for (const auto& [name, link] : loops) {
        EXPECT_THROW(link(), core::EBrevanto) << name;
        EXPECT_EQ(Forward(RootDict()), (Titles{"A", "B", "C"})) << name;
        EXPECT_EQ(Forward(*a.GetDict()), (Titles{"A1"})) << name;
    }
}

// ---- damaged and hostile outlines ----

// An outline whose items are given whole as object text, item i under
// number first + i; the outline dictionary's /First is the first item.
PdfBuilder RawOutline(const std::vector<std::string>& items, int32_t& first) {
    PdfBuilder b = qz::testing::MinimalDocument(1);
    const int32_t root = b.Reserve();
    first = b.NextNumber();
    for (const std::string& item : items) b.Add(item);
    b.Set(root, "<< /First " + std::to_string(first) + " 0 R /Count 1 >>");
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R /Outlines " + std::to_string(root) + " 0 R >>");
    return b;
}

TEST_F(OutlineTest, LoopsInTheChainsEndTheWalk) {
    // Objects: 6 outline, 7.. items (MinimalDocument(1) uses 1 to 5).
    struct Case {
        const char* name;
        std::vector<std::string> items;
        Titles top;
        Titles underFirst;
    };
    const std::vector<Case> cases = {
        {"next cycle",
         {"<< /Title (A) /Next 8 0 R >>", "<< /Title (B) /Next 9 0 R >>",
          "<< /Title (C) /Next 7 0 R >>"},
         {"A", "B", "C"},
         {}},
        {"next to itself", {"<< /Title (A) /Next 7 0 R >>"}, {"A"}, {}},
        {"next to the outline", {"<< /Title (A) /Next 6 0 R >>"}, {"A"}, {}},
        {"first to itself",
         {"<< /Title (A) /First 7 0 R /Next 8 0 R >>", "<< /Title (B) >>"},
         {"A", "B"},
         {}},
        {"first to an ancestor",
         {"<< /Title (A) /First 8 0 R >>", "<< /Title (A1) /First 7 0 R /Next 6 0 R >>"},
         {"A"},
         {"A1"}},
        {"first to a sibling loaded",
         {"<< /Title (A) /Next 8 0 R >>", "<< /Title (B) /First 7 0 R >>"},
         {"A", "B"},
         {}},
        {"lying count and parent",
         {"<< /Title (A) /Count 1000000 /Parent 8 0 R /Next 8 0 R >>",
          "<< /Title (B) /Count -7 /Parent 7 0 R >>"},
         {"A", "B"},
         {}},
    };
    for (const Case& c : cases) {
        int32_t first = 0;
        Load(RawOutline(c.items, first).Write());
        ASSERT_EQ(first, 7) << c.name;
        TqzPDBookmark& root = Root();
        EXPECT_EQ(Loaded(root), c.top) << c.name;
        EXPECT_EQ(Loaded(*root.GetFirstChild()), c.underFirst) << c.name;
        // Navigation follows the chain actually loaded, not /Parent.
        EXPECT_EQ(root.GetLastChild()->GetParent(), &root) << c.name;
        EXPECT_EQ(root.GetByTitle("missing", TqzOutlineTaversalType::ottDepthFirst,
                                  TqzOutlineTraversalDepth::otdFullSubtree),
                  nullptr)
            << c.name;
        // An insertion at the end writes a sound chain.
        ASSERT_NE(root.InsertNewChild("End", nullptr, {}, nullptr), nullptr) << c.name;
        Titles expected = c.top;
        expected.push_back("End");
        TqzPDDocument& again = SaveAndReload();
        EXPECT_EQ(Loaded(*again.GetBookmarkRoot()), expected) << "saved: " << c.name;
    }
}

TEST_F(OutlineTest, DirectItemsAreMadeIndirectBeforeTheyAreLinked) {
    int32_t first = 0;
    Load(RawOutline({"<< /Title (A) /Next << /Title (B) /Next << /Title (C) >> >> /First << /Title "
                     "(A1) >> >>"},
                    first)
             .Write());
    TqzPDBookmark& root = Root();
    EXPECT_EQ(Loaded(root), (Titles{"A", "B", "C"}));
    TqzPDBookmark& b = *root.GetChild(1);
    EXPECT_FALSE(b.GetDict()->IsDirect());
    ASSERT_NE(b.InsertNewPrev("AB", nullptr, {}, nullptr), nullptr);
    ASSERT_NE(root.GetChild(3)->InsertNewPrev("BC", nullptr, {}, nullptr), nullptr);
    EXPECT_EQ(Loaded(*root.GetFirstChild()), (Titles{"A1"}));
    EXPECT_EQ(Forward(RootDict()), (Titles{"A", "AB", "B", "BC", "C"}));
    TqzPDDocument& again = SaveAndReload();
    EXPECT_EQ(Loaded(*again.GetBookmarkRoot()), (Titles{"A", "AB", "B", "BC", "C"}));
}

// An outline of `items` items titled T0, T1, ..., each linked to the next by
// `key`: a chain of siblings (/Next) or of children (/First). The outline
// dictionary claims a /Count of 3.
std::string ChainOutline(int32_t items, const std::string& key) {
    PdfBuilder b = qz::testing::MinimalDocument(1);
    const int32_t root = b.Reserve();
    const int32_t first = b.NextNumber();
    for (int32_t i = 0; i < items; ++i) {
        const std::string link =
            i + 1 < items ? " /" + key + " " + std::to_string(first + i + 1) + " 0 R" : "";
        b.Add("<< /Title (T" + std::to_string(i) + ")" + link + " >>");
    }
    b.Set(root, "<< /First " + std::to_string(first) + " 0 R /Count 3 >>");
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R /Outlines " + std::to_string(root) + " 0 R >>");
    return b.Write();
}

TEST_F(OutlineTest, LongSiblingChainsWalkInLinearTime) {
    constexpr int32_t kItems = 100'000;
    Load(ChainOutline(kItems, "Next"));
    TqzPDBookmark& outline = Root();
    TqzPDBookmark* last = outline.GetLastChild();
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->GetIndex(), kItems - 1);
    EXPECT_EQ(outline.GetChild(kItems / 2)->GetTitle(), "T" + std::to_string(kItems / 2));
    TqzPDBookmark* found = outline.GetByTitle("t99999", TqzOutlineTaversalType::ottDepthFirst,
                                              TqzOutlineTraversalDepth::otdFullSubtree);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found, last);
    EXPECT_TRUE(outline.DeleteChild(kItems - 1));
    EXPECT_TRUE(outline.DeleteChild(0));
    EXPECT_EQ(outline.GetLastChild()->GetIndex(), kItems - 3);
}

TEST_F(OutlineTest, DeepChainsStopAtTheDepthLimit) {
    constexpr int32_t kItems = 100'000;
    Load(ChainOutline(kItems, "First"));
    TqzPDBookmark* item = &Root();
    int32_t levels = 0;
    while (TqzPDBookmark* child = item->GetFirstChild()) {
        item = child;
        ++levels;
    }
    EXPECT_EQ(levels, kMaxOutlineDepth);
    EXPECT_EQ(item->GetLevel(), kMaxOutlineDepth);
    // Nothing is put below the limit, where it could not be read again.
    EXPECT_EQ(item->InsertNewChild("Deeper", nullptr, {}, nullptr), nullptr);
    EXPECT_EQ(Root().GetByTitle("T99999", TqzOutlineTaversalType::ottDepthFirst,
                                TqzOutlineTraversalDepth::otdFullSubtree),
              nullptr);
    TqzPDBookmark* deepest = Root().GetByTitle("t255", TqzOutlineTaversalType::ottDepthFirst,
                                               TqzOutlineTraversalDepth::otdFullSubtree);
    ASSERT_NE(deepest, nullptr);
    EXPECT_EQ(deepest, item);
}

TEST_F(OutlineTest, EntriesOfOtherKindsAreIgnored) {
    int32_t first = 0;
    Load(
        RawOutline({"<< /Title [(A)] /F (x) /C /Red /Count 2.5 /First 5 /Next (B) /Dest 3 /A 4 >>"},
                   first)
            .Write());
    TqzPDBookmark& item = *Root().GetFirstChild();
    EXPECT_EQ(item.GetTitle(), "");
    EXPECT_FALSE(item.GetFlags().Bold);
    TqzPDColorValue color;
    EXPECT_FALSE(item.GetColor(color));
    EXPECT_EQ(item.GetCount(), 0);
    EXPECT_EQ(item.GetFirstChild(), nullptr);
    EXPECT_EQ(item.GetNext(), nullptr);
    TqzNamedDestinations names(*doc_);
    EXPECT_EQ(item.GetTargetPage(names), nullptr);
    item.SetFlags({true, true, false, false});
    item.SetTitle("Fixed");
    TqzPDDocument& again = SaveAndReload();
    TqzPDBookmark& read = *again.GetBookmarkRoot()->GetFirstChild();
    EXPECT_EQ(read.GetTitle(), "Fixed");
    EXPECT_TRUE(read.GetFlags().Bold);
}

}  // namespace
}  // namespace qz::document
