// The component's destination, action and outline wrappers over outlines
// built for the case, read back through the model and, after a save, by
// pikepdf.

#include <gtest/gtest.h>

#include "component/PDFDocument.h"
#include "component/tests/ComponentTestSupport.h"
#include "component/tests/OutlineFixtures.h"
#include "core/PDDictionary.h"
#include "document/PDAction.h"
#include "document/PDPage.h"
#include "document/tests/OutlineTestSupport.h"

namespace qz::component {
namespace {

using document::OutlineDocument;
using document::OutlineItem;
using document::PageRef;

// ---- destinations and actions ----

TEST(DestinationWrapper, ConstructorsSetTypeAndNumbers) {
    struct Case {
        const char* what;
        std::function<std::unique_ptr<TqzPDFDestination>()> make;
        int32_t page;
        TqzPDFDestinationType type;
        double left, top, right, bottom;
    };
    using T = TqzPDFDestinationType;
    const std::vector<Case> cases = {
        {"empty", [] { return std::make_unique<TqzPDFDestination>(); }, 1, T::dtFit, 0, 0, 0, 0},
        {"fit width", [] { return std::make_unique<TqzPDFDestination>(2, T::dtFitH, 500); }, 2, T::dtFitH, 0, 500, 0,
         0},
        {"fit height", [] { return std::make_unique<TqzPDFDestination>(2, T::dtFitV, 30); }, 2, T::dtFitV, 30, 0, 0,
         0},
        {"other types ignore top or left", [] { return std::make_unique<TqzPDFDestination>(2, T::dtFitB, 30); }, 2,
         T::dtFitB, 0, 0, 0, 0},
        {"zoom", [] { return std::make_unique<TqzPDFDestination>(3, T::dtXYZ, 10, 20, 1.5); }, 3, T::dtXYZ, 10, 20,
         1.5, -1},
        {"rectangle: bottom before right and top",
         [] { return std::make_unique<TqzPDFDestination>(4, T::dtFitR, 1, 2, 3, 4); }, 4, T::dtFitR, 1, 4, 3, 2},
    };
    for (const Case& c : cases) {
        const auto destination = c.make();
        EXPECT_TRUE(destination->GetToFree()) << c.what;
        EXPECT_EQ(destination->GetPageNo(), c.page) << c.what;
        EXPECT_EQ(destination->GetDestinationType(), c.type) << c.what;
        EXPECT_EQ(destination->GetLeft(), c.left) << c.what;
        EXPECT_EQ(destination->GetTop(), c.top) << c.what;
        EXPECT_EQ(destination->GetRight(), c.right) << c.what;
        EXPECT_EQ(destination->GetBottom(), c.bottom) << c.what;
    }
    TqzPDFDestination zoomed(1, T::dtXYZ, 0, 0, 1.5);
    EXPECT_EQ(zoomed.GetZoom(), 1.5);
    // Borrowing frees what it owned and leaves the borrowed one alone.
    document::TqzPDDestination model;
    zoomed.SetDestination(&model);
    EXPECT_FALSE(zoomed.GetToFree());
    EXPECT_EQ(zoomed.GetDestination(), &model);
}

TEST(ActionWrappers, KindsCarryTheirValues) {
    TqzPDFGoToAction empty;
    EXPECT_EQ(empty.GetPageNo(), 0);
    EXPECT_EQ(empty.GetDestinationType(), TqzPDFDestinationType::dtXYZ);
    TqzPDFGoToAction zoomed(2, TqzPDFDestinationType::dtXYZ, 10, 20, 1.5);
    EXPECT_EQ(zoomed.GetZoom(), 1.5);
    EXPECT_EQ(zoomed.GetTop(), 20);

    // The remote page is 1-based here and 0-based in the file.
    TqzPDFGoToRAction remote(3, TqzPDFDestinationType::dtFit);
    EXPECT_EQ(static_cast<document::TqzPDGoToRemoteAction*>(remote.GetAction())->GetPageNum(), 2);
    EXPECT_EQ(remote.GetPageNo(), 3);
    remote.SetFileName("café.pdf");
    EXPECT_EQ(remote.GetFileName(), "café.pdf");
    EXPECT_EQ(static_cast<document::TqzPDGoToRemoteAction*>(remote.GetAction())->GetFileName(), "caf\xE9.pdf");

    TqzPDFLaunchAction launch;
    launch.SetApplicationToLaunch("viewer");
    launch.SetParameterToApplication("-p");
    launch.SetLaunchActionType(TqzLaunchActionType::atPrint);
    launch.SetLaunchActionType(static_cast<TqzLaunchActionType>(7));
    EXPECT_EQ(launch.GetApplicationToLaunch(), "viewer");
    EXPECT_EQ(launch.GetParameterToApplication(), "-p");
    EXPECT_EQ(launch.GetLaunchActionType(), TqzLaunchActionType::atPrint);

    TqzPDFURIAction uri;
    uri.SetURI("http://example.com");
    EXPECT_EQ(uri.GetURI(), "http://example.com");
    TqzPDFJavaScriptAction script;
    script.SetJavaScript("app.alert(1)");
    EXPECT_EQ(script.GetJavaScript(), "app.alert(1)");
    for (TqzPDFAction* action : std::initializer_list<TqzPDFAction*>{&empty, &remote, &launch, &uri, &script})
        EXPECT_TRUE(action->GetToFree());
}

// ---- outline wrappers over a loaded document ----

class OutlineWrappers : public ::testing::Test {
protected:
    // Loads MinimalDocument(pages) with this outline into component_.
    void Load(int32_t pages, const std::vector<OutlineItem>& items, const std::string& catalogExtra = "") {
        const fs::path file = dir_.Write("in.pdf", OutlineDocument(pages, items, catalogExtra).Write());
        ASSERT_TRUE(component_.LoadFromFile(file, ""));
    }
    TqzPDFOutline& Root() { return *component_.GetBookmarkRoot(); }
    // The titles of `parent`'s children, forward through the wrappers.
    static std::vector<std::string> Children(TqzPDFOutline& parent) {
        std::vector<std::string> titles;
        for (TqzPDFOutline* item = parent.GetFirstChild(); item != nullptr; item = item->GetNext())
            titles.push_back(item->GetTitle());
        return titles;
    }
    OutlineFacts Saved() {
        const fs::path out = dir_.File("out.pdf");
        component_.SaveToFile(out, false, false);
        return ReadOutline(out);
    }

    testing::TempDir dir_{"qz-outline-wrappers"};
    TqzPDFDocument component_;
};

const std::vector<OutlineItem> kBook = {
    {1, "Chapter 1", "/Dest [" + PageRef(1) + " /FitH 700]"},
    {2, "Chapter 1.1", "/A << /S /GoTo /D [" + PageRef(2) + " /Fit] >>"},
    {1, "Chapter 2", "/Dest [" + PageRef(3) + " /XYZ 10 20 1.5]"},
    {2, "Chapter 2.1", ""},
    {3, "Chapter 2.1.1", ""},
    {1, "Appendix", ""},
};

TEST_F(OutlineWrappers, TitlesAndNodesDepthFirstAndOneBlankForNone) {
    Load(3, {});
    EXPECT_EQ(component_.GetBookMarkAsString(), std::vector<std::string>{" "});
    const std::vector<TqzBookmarkNode> none = component_.GetBookMarks();
    ASSERT_EQ(none.size(), 1u);
    EXPECT_EQ(none[0].Title, " ");

    Load(3, kBook);
    EXPECT_EQ(component_.GetBookMarkAsString(),
              (std::vector<std::string>{"Chapter 1", "Chapter 1.1", "Chapter 2", "Chapter 2.1", "Chapter 2.1.1",
                                        "Appendix"}));
    const std::vector<TqzBookmarkNode> nodes = component_.GetBookMarks();
    ASSERT_EQ(nodes.size(), 3u);
    EXPECT_EQ(nodes[0].PageNumber, 1);
    ASSERT_EQ(nodes[0].Children.size(), 1u);
    EXPECT_EQ(nodes[0].Children[0].PageNumber, 2);
    EXPECT_EQ(nodes[1].Title, "Chapter 2");
    ASSERT_EQ(nodes[1].Children.size(), 1u);
    ASSERT_EQ(nodes[1].Children[0].Children.size(), 1u);
    EXPECT_EQ(nodes[1].Children[0].Children[0].Title, "Chapter 2.1.1");
    EXPECT_EQ(nodes[2].PageNumber, 0);
}

TEST_F(OutlineWrappers, TheTitleSearchIgnoresCaseAndStartsAfresh) {
    Load(3, kBook);
    struct Case {
        const char* title;
        TqzBookmarkTraversalDepth depth;
        const char* found;  // none: nullptr
    };
    const Case cases[] = {
        {"chapter 2.1.1", TqzBookmarkTraversalDepth::btdFullSubTree, "Chapter 2.1.1"},
        {"APPENDIX", TqzBookmarkTraversalDepth::btdChildrenOnly, "Appendix"},
        {"chapter 2.1", TqzBookmarkTraversalDepth::btdChildrenOnly, nullptr},
        {"nothing", TqzBookmarkTraversalDepth::btdFullSubTree, nullptr},
    };
    for (const Case& c : cases) {
        TqzPDFOutline* found = component_.GetBookmark(c.title, c.depth);
        if (c.found == nullptr) {
            EXPECT_EQ(found, nullptr) << c.title;
        } else {
            ASSERT_NE(found, nullptr) << c.title;
            EXPECT_EQ(found->GetTitle(), c.found);
        }
        EXPECT_EQ(Root().GetTitleFound(), c.found != nullptr) << c.title;
    }
    // What a search finds is the wrapper navigation reaches.
    EXPECT_EQ(component_.GetBookmark("chapter 2.1", TqzBookmarkTraversalDepth::btdFullSubTree),
              Root().GetFirstChild()->GetNext()->GetFirstChild());
}

TEST_F(OutlineWrappers, NavigationAnswersFromTheModelInEveryDirection) {
    Load(3, kBook);
    // Backwards first, then an insertion before the last: the road that
    // made cached positions differ from the model's.
    TqzPDFOutline* last = Root().GetLastChild();
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->GetTitle(), "Appendix");
    TqzPDFOutline* middle = last->GetPrev();
    ASSERT_NE(middle, nullptr);
    EXPECT_EQ(middle->GetTitle(), "Chapter 2");
    const TqzPDFDestination destination(1, TqzPDFDestinationType::dtFit);
    TqzPDFOutline* inserted = last->AddPrev("Before appendix", destination, TqzBookmarkAttribute());
    ASSERT_NE(inserted, nullptr);
    TqzPDFOutline* first = middle->AddPrev("Preface", destination, TqzBookmarkAttribute());
    ASSERT_NE(first, nullptr);

    EXPECT_EQ(Children(Root()),
              (std::vector<std::string>{"Chapter 1", "Preface", "Chapter 2", "Before appendix", "Appendix"}));
    // One wrapper per item, whichever way it is reached.
    std::vector<TqzPDFOutline*> forward;
    for (TqzPDFOutline* item = Root().GetFirstChild(); item != nullptr; item = item->GetNext()) forward.push_back(item);
    std::vector<TqzPDFOutline*> backward;
    for (TqzPDFOutline* item = Root().GetLastChild(); item != nullptr; item = item->GetPrev()) backward.push_back(item);
    std::reverse(backward.begin(), backward.end());
    EXPECT_EQ(forward, backward);
    EXPECT_EQ(forward[3], inserted);
    EXPECT_EQ(forward[1], first);
    for (size_t i = 0; i < forward.size(); ++i) {
        EXPECT_EQ(forward[i]->GetBookmarkIndex(), static_cast<int32_t>(i));
        EXPECT_EQ(forward[i]->GetParent(), &Root());
    }

    // Deletions free the wrappers they remove; navigation goes on.
    ASSERT_TRUE(forward[2]->DeleteNext());  // "Before appendix"
    ASSERT_TRUE(forward[2]->DeletePrev());  // "Preface"
    ASSERT_TRUE(Root().DeleteChild());      // "Chapter 1"
    EXPECT_EQ(Children(Root()), (std::vector<std::string>{"Chapter 2", "Appendix"}));
    EXPECT_FALSE(Root().GetFirstChild()->DeletePrev());
    EXPECT_EQ(Root().GetLastChild()->GetPrev()->GetTitle(), "Chapter 2");
}

TEST_F(OutlineWrappers, ItemsHandOutTheirTargetsAsWrappersOfTheirKind) {
    Load(3, {{1, "dest", "/Dest [" + PageRef(3) + " /XYZ 10 20 1.5]"},
             {1, "goto", "/A << /S /GoTo /D [" + PageRef(2) + " /FitH 300] >>"},
             {1, "remote", "/A << /S /GoToR /F (other.pdf) /D [4 /Fit] /NewWindow true >>"},
             {1, "launch", "/A << /S /Launch /F (tool) /Win << /F (tool) /P (-x) /O (print) >> >>"},
             {1, "uri", "/A << /S /URI /URI (http://example.com) >>"},
             {1, "script", "/A << /S /JavaScript /JS (app.alert\\(1\\)) >>"},
             {1, "named", "/A << /S /Named /N /NextPage >>"},
             {1, "none", ""}});
    std::vector<TqzPDFOutline*> items;
    for (TqzPDFOutline* item = Root().GetFirstChild(); item != nullptr; item = item->GetNext()) items.push_back(item);
    ASSERT_EQ(items.size(), 8u);

    TqzPDFDestination* destination = items[0]->GetDestination();
    ASSERT_NE(destination, nullptr);
    EXPECT_FALSE(destination->GetToFree());
    EXPECT_EQ(destination->GetPageNo(), 3);
    EXPECT_EQ(destination->GetDestinationType(), TqzPDFDestinationType::dtXYZ);
    EXPECT_EQ(destination->GetZoom(), 1.5);
    EXPECT_EQ(items[0]->GetAction(), nullptr);
    // A go-to action's destination, as it is.
    TqzPDFDestination* viaAction = items[1]->GetDestination();
    ASSERT_NE(viaAction, nullptr);
    EXPECT_EQ(viaAction->GetPageNo(), 2);
    EXPECT_EQ(viaAction->GetDestinationType(), TqzPDFDestinationType::dtFitH);
    EXPECT_EQ(viaAction->GetTop(), 300);

    auto* goTo = dynamic_cast<TqzPDFGoToAction*>(items[1]->GetAction());
    ASSERT_NE(goTo, nullptr);
    EXPECT_EQ(goTo->GetPageNo(), 2);
    EXPECT_FALSE(goTo->GetToFree());
    auto* remote = dynamic_cast<TqzPDFGoToRAction*>(items[2]->GetAction());
    ASSERT_NE(remote, nullptr);
    EXPECT_EQ(remote->GetPageNo(), 5);
    EXPECT_EQ(remote->GetFileName(), "other.pdf");
    EXPECT_TRUE(remote->GetOpenInNewWindow());
    auto* launch = dynamic_cast<TqzPDFLaunchAction*>(items[3]->GetAction());
    ASSERT_NE(launch, nullptr);
    EXPECT_EQ(launch->GetParameterToApplication(), "-x");
    EXPECT_EQ(launch->GetLaunchActionType(), TqzLaunchActionType::atPrint);
    auto* uri = dynamic_cast<TqzPDFURIAction*>(items[4]->GetAction());
    ASSERT_NE(uri, nullptr);
    EXPECT_EQ(uri->GetURI(), "http://example.com");
    auto* script = dynamic_cast<TqzPDFJavaScriptAction*>(items[5]->GetAction());
    ASSERT_NE(script, nullptr);
    EXPECT_EQ(script->GetJavaScript(), "app.alert(1)");
    EXPECT_EQ(items[6]->GetAction(), nullptr);
    EXPECT_EQ(items[7]->GetAction(), nullptr);
    EXPECT_EQ(items[7]->GetDestination(), nullptr);
}

TEST_F(OutlineWrappers, ChangesLeaveTheCallersWrappersTheirsAndTheOutlineWhole) {
    QZ_REQUIRE_TOOLS("qpdf");
    QZ_REQUIRE_PIKEPDF();
    Load(3, kBook);
    TqzPDFOutline* first = Root().GetFirstChild();
    const TqzBookmarkAttribute red({TqzFontStyle::fsItalic}, RGBColor(255, 0, 0));
    {
        // The caller's wrappers go at once: the items keep copies.
        TqzPDFDestination destination(3, TqzPDFDestinationType::dtFitH, 92);
        first->ModifyNext("Second", destination, red);
        TqzPDFURIAction uri;
        uri.SetURI("http://example.com/changed");
        first->Modify("First", uri, TqzBookmarkAttribute());
    }
    // The next sibling took the destination, not this item.
    EXPECT_EQ(first->GetDestination(), nullptr);
    ASSERT_NE(first->GetNext()->GetDestination(), nullptr);
    EXPECT_EQ(first->GetNext()->GetDestination()->GetPageNo(), 3);
    // An item given its own wrappers again: they are read before they go.
    first->Modify("First", *first->GetAction(), TqzBookmarkAttribute());
    TqzPDFOutline* second = first->GetNext();
    TqzPDFDestination* own = second->GetDestination();
    // Read as the file holds it, given measured from the page's top.
    EXPECT_EQ(own->GetTop(), 700);
    own->SetTop(92);
    second->Modify("Second", *own, red);
    {
        // Adding one go-to action twice writes the same converted target.
        TqzPDFGoToAction goTo(2, TqzPDFDestinationType::dtXYZ, 96, 96, 2);
        Root().AddChild("Twice A", goTo, TqzBookmarkAttribute());
        Root().AddChild("Twice B", goTo, TqzBookmarkAttribute());
        EXPECT_EQ(goTo.GetLeft(), 96);
        EXPECT_EQ(goTo.GetTop(), 96);
        // A page the document does not have gives an item without target.
        TqzPDFDestination nowhere(9, TqzPDFDestinationType::dtFit);
        Root().AddChild("Nowhere", nowhere, TqzBookmarkAttribute());
    }
    const OutlineFacts facts = Saved();
    std::vector<std::string> items;
    for (const OutlineItemFact& item : facts.items) {
        items.push_back(std::to_string(item.level) + " " + item.target + " " + item.view + " " + item.flags + " " +
                        item.colour + " " + item.action + " " + item.title);
    }
    EXPECT_EQ(items, (std::vector<std::string>{
                         "1 - - 0 0 0 0 URI http://example.com/changed First",
                         "2 1 Fit - - - Chapter 1.1",
                         "1 2 FitH 700 1 1 0 0 - Second",
                         "2 - - - - - Chapter 2.1",
                         "3 - - - - - Chapter 2.1.1",
                         "1 - - - - - Appendix",
                         "1 1 XYZ 72 720 2 0 0 0 0 - Twice A",
                         "1 1 XYZ 72 720 2 0 0 0 0 - Twice B",
                         "1 - - 0 0 0 0 - Nowhere",
                     }));
}

TEST_F(OutlineWrappers, WrappersFollowTheDocumentTheyWereMadeOver) {
    Load(3, kBook);
    // Wrappers over the first document's items, then another document.
    ASSERT_NE(component_.GetBookmarkRoot()->GetFirstChild()->GetDestination(), nullptr);
    Load(2, {{1, "Other", ""}});
    EXPECT_EQ(component_.GetBookMarkAsString(), std::vector<std::string>{"Other"});
    component_.Reset();
    EXPECT_EQ(component_.GetBookmarkRoot(), nullptr);
    EXPECT_EQ(component_.GetBookMarkAsString(), std::vector<std::string>{" "});
}

}  // namespace
}  // namespace qz::component
