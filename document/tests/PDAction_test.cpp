#include "document/PDAction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <typeindex>
#include <vector>

#include "core/MemoryStream.h"
#include "core/PDArray.h"
#include "core/PDBoolean.h"
#include "core/PDDictionary.h"
#include "core/PDInteger.h"
#include "core/PDName.h"
#include "core/PDReal.h"
#include "core/PDString.h"
#include "document/PDBaseDoc.h"
#include "document/PDCatalog.h"
#include "document/PDDestination.h"
#include "document/PDDocument.h"
#include "document/PDFileSpec.h"
#include "document/PDModelException.h"
#include "document/PDPage.h"
#include "document/tests/DocumentTestSupport.h"
#include "platform/Exception.h"
#include "testing/GTestSupport.h"
#include "testing/PdfBuilder.h"
#include "testing/TempDir.h"
#include "testing/Tools.h"

namespace qz::document {
namespace {

using Type = TqzPDActionType;

// Two pages (objects 4 and 6; page 1 is 800 points high) and the objects
// given, numbered from 8 on; "P" stands for a reference to page 1.
class ActionTest : public ::testing::Test {
protected:
    void Load(const std::vector<std::string>& objects, const std::string& page1Extra = "") {
        qz::testing::PdfBuilder b = qz::testing::MinimalDocument(2);
        b.Set(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 600 800] /Contents 5 0 R " + page1Extra + " >>");
        for (std::string text : objects) {
            for (size_t at = text.find(" P "); at != std::string::npos; at = text.find(" P ", at)) {
                text.replace(at, 3, " 4 0 R ");
            }
            if (text.rfind("stream:", 0) == 0) {
                b.AddStream("<< >>", text.substr(7), true);
            } else {
                b.Add(text);
            }
        }
        doc_.LoadDocument(MemoryFile(b.Write()));
    }
    core::TqzPDBaseObject* Object(uint32_t number) { return doc_.GetBaseDoc()->GetObject(number); }
    core::TqzPDDictionary* Dict(uint32_t number) { return static_cast<core::TqzPDDictionary*>(Object(number)); }
    std::unique_ptr<TqzPDAction> Make(uint32_t number) {
        return TqzPDAction::MakeAction(&doc_, nullptr, Object(number));
    }
    template <class Kind>
    std::unique_ptr<Kind> MakeAs(uint32_t number) {
        std::unique_ptr<TqzPDAction> action = Make(number);
        auto* kind = dynamic_cast<Kind*>(action.get());
        if (kind == nullptr) return nullptr;
        action.release();
        return std::unique_ptr<Kind>(kind);
    }
    TqzPDPage* Page(int32_t number) { return doc_.GetPage(number); }

    TqzPDDocument doc_;
};

std::string StringOf(const core::TqzPDBaseObject* object) {
    if (object == nullptr || !object->IsString()) return "<not a string>";
    return static_cast<const core::TqzPDString*>(object)->GetString();
}

bool BoolOf(const core::TqzPDBaseObject* object) {
    return object != nullptr && object->IsBoolean() && static_cast<const core::TqzPDBoolean*>(object)->GetValue();
}

double NumberOf(const core::TqzPDBaseObject* object) {
    if (object != nullptr && object->IsReal()) return static_cast<const core::TqzPDReal*>(object)->GetValue();
    if (object != nullptr && object->IsInteger()) {
        return static_cast<double>(static_cast<const core::TqzPDInteger*>(object)->GetValue());
    }
    return -12345;
}

std::string ReadAll(const core::TqzStreamPtr& stream) {
    if (stream == nullptr) return "<no stream>";
    stream->Reset();
    core::TqzMemoryStream out;
    out.CopyAll(*stream);
    return out.Bytes();
}

struct MakeCase {
    std::string dict;
    std::type_index kind;  // typeid(void): no object
    Type type;
};

TEST_F(ActionTest, MakeActionChoosesTheClassThatSNames) {
    const std::vector<MakeCase> cases = {
        {"<< /S /GoTo /D [ P /Fit] >>", typeid(TqzPDGoToAction), Type::actionGoTo},
        {"<< /S /GoToR /F (a.pdf) >>", typeid(TqzPDGoToRemoteAction), Type::actionGoToR},
        {"<< /S /GoToE >>", typeid(TqzPDGoToEmbeddedAction), Type::actionGoToE},
        {"<< /S /Launch >>", typeid(TqzPDLaunchAction), Type::actionLaunch},
        {"<< /S /Thread >>", typeid(TqzPDThreadAction), Type::actionThread},
        {"<< /S /URI >>", typeid(TqzPDURIAction), Type::actionURI},
        {"<< /S /Sound >>", typeid(TqzPDSoundAction), Type::actionSound},
        {"<< /S /Movie >>", typeid(TqzPDMovieAction), Type::actionMovie},
        {"<< /S /Hide >>", typeid(TqzPDHideAction), Type::actionHide},
        {"<< /S /Named /N /NextPage >>", typeid(TqzPDNamedAction), Type::actionNamed},
        {"<< /S /SubmitForm >>", typeid(TqzPDSubmitFormAction), Type::actionSubmitForm},
        {"<< /S /ResetForm >>", typeid(TqzPDResetFormAction), Type::actionResetForm},
        {"<< /S /JavaScript >>", typeid(TqzPDJavaScriptAction), Type::actionJavaScript},
        {"<< /S /Rendition >>", typeid(TqzPDRenditionAction), Type::actionRendition},
        {"<< /S /Trans >>", typeid(TqzPDTransitionAction), Type::actionTrans},
        {"<< /S /GoTo3DView >>", typeid(TqzPDGoTo3DViewAction), Type::actionGoTo3DView},
        {"<< /S /ImportData >>", typeid(void), Type::actionNone},
        {"<< /S /SetOCGState >>", typeid(void), Type::actionNone},
        {"<< /Type /Action >>", typeid(void), Type::actionNone},
        {"<< /S /goto >>", typeid(void), Type::actionNone},
        {"<< /S (GoTo) >>", typeid(void), Type::actionNone},
        {"[ /S /GoTo ]", typeid(void), Type::actionNone},
        {"42", typeid(void), Type::actionNone},
    };
    std::vector<std::string> objects;
    for (const MakeCase& c : cases) objects.push_back(c.dict);
    Load(objects);
    for (size_t i = 0; i < cases.size(); ++i) {
        std::unique_ptr<TqzPDAction> action = Make(static_cast<uint32_t>(8 + i));
        if (cases[i].kind == typeid(void)) {
            EXPECT_EQ(action, nullptr) << cases[i].dict;
            continue;
        }
        ASSERT_NE(action, nullptr) << cases[i].dict;
        EXPECT_EQ(std::type_index(typeid(*action)), cases[i].kind) << cases[i].dict;
        EXPECT_EQ(action->GetType(), cases[i].type) << cases[i].dict;
        EXPECT_EQ(action->GetDict(), Object(static_cast<uint32_t>(8 + i))) << cases[i].dict;
    }
    EXPECT_EQ(TqzPDAction::MakeAction(&doc_, nullptr, static_cast<core::TqzPDBaseObject*>(nullptr)), nullptr);
}

TEST_F(ActionTest, TypeFromSOtherThanANameIsABadAction) {
    Load({"<< /S (GoTo) >>", "<< /S 5 >>", "<< /S /Bogus >>", "<< >>", "<< /S /URI >>"});
    for (uint32_t number : {8U, 9U}) {
        TqzPDAction action(&doc_, nullptr, Object(number));
        try {
            action.GetType();
            ADD_FAILURE() << "object " << number << " read as an action";
        } catch (const ExBadAction& e) {
            EXPECT_STREQ(e.what(), "Bad Action object");
        }
    }
    for (uint32_t number : {10U, 11U}) EXPECT_EQ(TqzPDAction(&doc_, nullptr, Object(number)).GetType(), Type::actionNone);
    EXPECT_EQ(TqzPDAction(&doc_, nullptr, Object(12)).GetType(), Type::actionURI);
}

TEST_F(ActionTest, KindsReadTheirEntries) {
    Load({
        "<< /S /URI /URI <687474703A2F2F782E6F72672F> /IsMap true >>",                       // 8
        "<< /S /JavaScript /JS 10 0 R >>",                                                    // 9
        "stream:app.alert(\"hi\");",                                                          // 10
        "<< /S /GoToR /F (other.pdf) /D [3 /FitH 500] /NewWindow true >>",                    // 11
        "<< /S /GoToE /F 13 0 R /T << /R /C /N (x) >> /NewWindow false >>",                  // 12
        "<< /Type /Filespec /F (att.txt) /Desc (The data) /V true /EF << /F 14 0 R >> >>",   // 13
        "stream:attached bytes",                                                              // 14
        "<< /S /Launch /Win << /F (app.exe) /P (-x) /D (C:\\\\tmp) /O (print) >> /NewWindow true >>",  // 15
        "<< /S /SubmitForm /F << /FS /URL /F (http://s.example/) >> >>",                     // 16
        "<< /S /GoTo /D [ P /FitR 10 20 30 40] >>",                                          // 17
        "<< /S /GoTo /D /Fit >>",                                                             // 18
        "<< /S /GoTo /D (chapter) >>",                                                        // 19
    });
    auto uri = MakeAs<TqzPDURIAction>(8);
    EXPECT_EQ(uri->GetURI(), "http://x.org/");
    EXPECT_TRUE(uri->GetTrackMousePointer());
    EXPECT_EQ(MakeAs<TqzPDJavaScriptAction>(9)->GetJavaScript(), "app.alert(\"hi\");");

    auto remote = MakeAs<TqzPDGoToRemoteAction>(11);
    EXPECT_EQ(remote->GetFileName(), "other.pdf");
    EXPECT_EQ(remote->GetPageNum(), 3);
    EXPECT_TRUE(remote->GetOpenInNewWindow());
    ASSERT_NE(remote->GetDest(), nullptr);
    EXPECT_EQ(remote->GetDest()->GetDisplayOption(), TqzPageDisplayOptions::FitHeight);
    EXPECT_EQ(remote->GetDest()->GetPage(), nullptr);
    EXPECT_DOUBLE_EQ(remote->GetDest()->GetRect()->GetTop(), 500);

    auto embedded = MakeAs<TqzPDGoToEmbeddedAction>(12);
    EXPECT_EQ(embedded->GetFileName(), "att.txt");
    EXPECT_EQ(embedded->GetTargetType(), TqzTargetType::ttChild);
    EXPECT_FALSE(embedded->GetOpenInNewWindow());
    TqzPDFileSpec& spec = *embedded->GetFileSpec();
    EXPECT_TRUE(spec.GetIsEmbedded());
    EXPECT_EQ(spec.GetDescription(), "The data");
    EXPECT_TRUE(spec.GetIsVolatile());
    EXPECT_EQ(ReadAll(spec.GetEmbeddedFileStream()), "attached bytes");

    auto launch = MakeAs<TqzPDLaunchAction>(15);
    EXPECT_EQ(launch->GetApplicationToLaunch(), "app.exe");
    EXPECT_EQ(launch->GetApplicationParameter(), "-x");
    EXPECT_EQ(launch->GetDefaultDirectory(), "C:\\tmp");
    EXPECT_EQ(launch->GetLaunchActionType(), TqzLaunchActionType::ltPrint);
    EXPECT_TRUE(launch->GetOpenInNewWindow());

    auto submit = MakeAs<TqzPDSubmitFormAction>(16);
    EXPECT_EQ(submit->GetURL(), "http://s.example/");

    auto fitRect = Make(17);
    TqzPDDestination* destination = fitRect->GetDest();
    ASSERT_NE(destination, nullptr);
    EXPECT_EQ(destination->GetPage(), Page(1));
    EXPECT_EQ(destination->GetDisplayOption(), TqzPageDisplayOptions::FitRect);
    const core::TqzPDRect& rect = *destination->GetRect();
    EXPECT_DOUBLE_EQ(rect.GetLeft(), 10);
    EXPECT_DOUBLE_EQ(rect.GetBottom(), 20);
    EXPECT_DOUBLE_EQ(rect.GetRight(), 30);
    EXPECT_DOUBLE_EQ(rect.GetTop(), 40);

    auto byNameAction = Make(18);
    TqzPDDestination* byName = byNameAction->GetDest();
    ASSERT_NE(byName, nullptr);
    EXPECT_EQ(byName->GetDisplayOption(), TqzPageDisplayOptions::FitAll);
    EXPECT_EQ(byName->GetPage(), nullptr);
    EXPECT_DOUBLE_EQ(byName->GetRect()->GetTop(), 0);
    EXPECT_EQ(Make(19)->GetDest(), nullptr);
}

TEST_F(ActionTest, SettersWriteTheirEntries) {
    Load({
        "<< /S /URI /URI <687474703A2F2F782E6F72672F> >>",  // 8
        "<< /S /URI >>",                                     // 9
        "<< /S /GoToE >>",                                   // 10
        "<< /S /Launch >>",                                  // 11
        "<< /S /GoToR >>",                                   // 12
        "<< /Type /Filespec /F (a.txt) /FS /URL >>",        // 13
        "<< /S /JavaScript /JS (old) >>",                    // 14
    });
    // A hexadecimal string stays digits, and reads back as the new text.
    auto hex = MakeAs<TqzPDURIAction>(8);
    hex->SetURI("http://y.org/");
    EXPECT_TRUE(static_cast<core::TqzPDString*>(Dict(8)->LookUp("URI"))->IsHexString());
    EXPECT_EQ(MakeAs<TqzPDURIAction>(8)->GetURI(), "http://y.org/");

    // A missing address is added as the bytes themselves.
    auto uri = MakeAs<TqzPDURIAction>(9);
    uri->SetURI("http://z.org/");
    uri->SetTrackMousePointer(true);
    EXPECT_EQ(StringOf(Dict(9)->LookUp("URI")), "http://z.org/");
    EXPECT_TRUE(BoolOf(Dict(9)->LookUp("IsMap")));

    auto embedded = MakeAs<TqzPDGoToEmbeddedAction>(10);
    embedded->SetTargetType(TqzTargetType::ttChild);
    const auto* target = static_cast<core::TqzPDDictionary*>(Dict(10)->LookUp("T"));
    ASSERT_NE(target, nullptr);
    EXPECT_TRUE(target->LookUp("R")->IsName("C"));
    embedded->SetTargetType(TqzTargetType::ttParent);
    EXPECT_TRUE(target->LookUp("R")->IsName("P"));
    embedded->SetFileName("child.pdf");
    EXPECT_EQ(Dict(10)->LookUp("F"), nullptr);  // an embedded go-to adds no /F

    auto launch = MakeAs<TqzPDLaunchAction>(11);
    launch->SetLaunchActionType(TqzLaunchActionType::ltPrint);
    launch->SetApplicationParameter("/p");
    launch->SetDefaultDirectory("/tmp");
    const auto* win = static_cast<core::TqzPDDictionary*>(Dict(11)->LookUp("Win"));
    ASSERT_NE(win, nullptr);
    EXPECT_EQ(StringOf(win->LookUp("O")), "print");
    EXPECT_EQ(StringOf(win->LookUp("P")), "/p");
    EXPECT_EQ(MakeAs<TqzPDLaunchAction>(11)->GetDefaultDirectory(), "/tmp");

    auto remote = MakeAs<TqzPDGoToRemoteAction>(12);
    remote->SetFileName("far.pdf");
    remote->SetOpenInNewWindow(true);
    EXPECT_EQ(StringOf(Dict(12)->LookUp("F")), "far.pdf");
    EXPECT_EQ(MakeAs<TqzPDGoToRemoteAction>(12)->GetFileName(), "far.pdf");
    EXPECT_TRUE(BoolOf(Dict(12)->LookUp("NewWindow")));

    // No file system is no /FS, not a URL.
    TqzPDFileSpec spec(Object(13));
    EXPECT_EQ(spec.GetFileSystem(), TqzPDFileSystem::fsURL);
    spec.SetFileSystem(TqzPDFileSystem::fsNone);
    EXPECT_EQ(Dict(13)->LookupRefObj("FS"), nullptr);
    spec.SetFileSystem(TqzPDFileSystem::fsURL);
    EXPECT_TRUE(Dict(13)->LookUp("FS")->IsName("URL"));
    spec.SetFileName("b.txt");
    spec.SetIsVolatile(true);
    EXPECT_EQ(TqzPDFileSpec(Object(13)).GetFileName(), "b.txt");
    EXPECT_TRUE(TqzPDFileSpec(Object(13)).GetIsVolatile());

    auto script = MakeAs<TqzPDJavaScriptAction>(14);
    script->SetJavaScript("app.beep(0);");
    EXPECT_EQ(MakeAs<TqzPDJavaScriptAction>(14)->GetJavaScript(), "app.beep(0);");
}

// A chain read through GetNextActions, every action once.
int32_t CountChain(TqzPDAction& action) {
    int32_t count = 1;
    for (const auto& next : action.GetNextActions()) count += CountChain(*next);
    return count;
}

TEST_F(ActionTest, NextChainsEndAtLoopsDepthAndWidth) {
    std::vector<std::string> objects = {
        "<< /S /URI /URI (a) /Next 9 0 R >>",                          // 8: 8 -> 9 -> 8
        "<< /S /URI /URI (b) /Next [8 0 R 9 0 R 10 0 R 10 0 R] >>",   // 9
        "<< /S /JavaScript /JS (c) /Next 10 0 R >>",                  // 10: loops on itself
        "<< /S /URI /Next 12 0 R >>",                                  // 11 -> 12
        "<< /S /Named /N /NextPage /Next << /S /ImportData /Next 11 0 R >> >>",  // 12
    };
    std::string wide = "<< /S /URI /Next [";
    for (int i = 0; i < 5000; ++i) wide += " << /S /URI /URI (w) >>";
    objects.push_back(wide + " ] >>");  // 13
    // 14 onwards: a chain of 200 actions, each the next of the one before.
    for (int i = 0; i < 200; ++i) objects.push_back("<< /S /URI /Next " + std::to_string(15 + i) + " 0 R >>");
    Load(objects);

    EXPECT_EQ(CountChain(*Make(8)), 3);  // 8, 9, 10
    EXPECT_EQ(CountChain(*Make(10)), 1);
    EXPECT_EQ(CountChain(*Make(11)), 2);  // ImportData has no class
    EXPECT_EQ(CountChain(*Make(13)), 1 + static_cast<int32_t>(kMaxActionChainActions));
    EXPECT_EQ(CountChain(*Make(14)), 1 + kMaxActionChainDepth);
}

TEST_F(ActionTest, WriterGivesEachKindItsEntries) {
    Load({"<< /S /Named /N /NextPage /Next 9 0 R >>", "<< /S /URI /URI (n) >>"});
    const core::TqzPDRect fitRect(10, 20, 110, 120);

    // Go-to, measured from the top of page 1 (800 high); written twice alike.
    TqzPDGoToAction goTo(std::make_unique<TqzPDDestination>(&doc_, Page(1), TqzPageDisplayOptions::FitRect, &fitRect));
    for (int pass = 0; pass < 2; ++pass) {
        auto dict = CreateActionDict(goTo, doc_);
        EXPECT_TRUE(dict->LookUp("Type")->IsName("Action"));
        EXPECT_TRUE(dict->LookUp("S")->IsName("GoTo"));
        const auto* d = static_cast<core::TqzPDArray*>(dict->LookUp("D"));
        ASSERT_TRUE(d != nullptr && d->GetLength() == 6);
        EXPECT_EQ(d->GetRefObj(0)->GetObjNumber(), 4U);
        EXPECT_TRUE(d->Get(1)->IsName("FitR"));
        EXPECT_DOUBLE_EQ(NumberOf(d->Get(2)), 10);
        EXPECT_DOUBLE_EQ(NumberOf(d->Get(3)), 680);
        EXPECT_DOUBLE_EQ(NumberOf(d->Get(4)), 110);
        EXPECT_DOUBLE_EQ(NumberOf(d->Get(5)), 780);
    }

    // Remote: the page by number; converted only by the direct writer.
    const core::TqzPDRect top(0, 100, 0, 0);
    TqzPDGoToRemoteAction remote(
        std::make_unique<TqzPDDestination>(&doc_, Page(1), TqzPageDisplayOptions::FitHeight, &top));
    remote.SetPageNum(2);
    remote.SetFileName("r.pdf");
    remote.SetOpenInNewWindow(true);
    for (auto [variant, want] : {std::pair{TqzActionDictVariant::Direct, 700.0},
                                 std::pair{TqzActionDictVariant::OutlineItem, 100.0}}) {
        auto dict = CreateActionDict(remote, doc_, variant);
        const auto* d = static_cast<core::TqzPDArray*>(dict->LookUp("D"));
        ASSERT_TRUE(d != nullptr && d->GetLength() == 3);
        EXPECT_DOUBLE_EQ(NumberOf(d->Get(0)), 2);
        EXPECT_TRUE(d->Get(1)->IsName("FitH"));
        EXPECT_DOUBLE_EQ(NumberOf(d->Get(2)), want);
        EXPECT_EQ(StringOf(dict->LookUp("F")), "r.pdf");
        EXPECT_TRUE(BoolOf(dict->LookUp("NewWindow")));
    }

    TqzPDLaunchAction launch;
    launch.SetApplicationToLaunch("notepad.exe");
    auto launched = CreateActionDict(launch, doc_);
    const auto* win = static_cast<core::TqzPDDictionary*>(launched->LookUp("Win"));
    ASSERT_NE(win, nullptr);
    EXPECT_EQ(StringOf(win->LookUp("F")), "notepad.exe");
    EXPECT_EQ(StringOf(win->LookUp("O")), "open");
    EXPECT_FALSE(BoolOf(launched->LookUp("NewWindow")));

    TqzPDURIAction uri("http://u.example/");
    auto linked = CreateActionDict(uri, doc_);
    EXPECT_EQ(StringOf(linked->LookUp("URI")), "http://u.example/");
    EXPECT_NE(linked->LookUp("IsMap"), nullptr);

    // A named action read from the file keeps its /N and /Next.
    auto named = CreateActionDict(*Make(8), doc_);
    EXPECT_TRUE(named->LookUp("S")->IsName("Named"));
    EXPECT_TRUE(named->LookUp("N")->IsName("NextPage"));
    EXPECT_EQ(named->LookupRefObj("Next")->GetObjNumber(), 9U);
    // Made new, it is named all the same; so is a reset action.
    auto made = CreateActionDict(*TqzPDAction::MakeAction(&doc_, nullptr, Type::actionNamed), doc_);
    EXPECT_EQ(made->GetLength(), 2);
    EXPECT_TRUE(made->LookUp("S")->IsName("Named"));
    TqzPDResetFormAction reset;
    EXPECT_TRUE(CreateActionDict(reset, doc_)->LookUp("S")->IsName("ResetForm"));

    // Another document's entries would name its objects: not copied.
    TqzPDDocument other;
    other.LoadDocument(MemoryFile(qz::testing::MinimalDocument(1).Write()));
    auto elsewhere = CreateActionDict(*Make(8), other);
    EXPECT_EQ(elsewhere->LookupRefObj("Next"), nullptr);
    EXPECT_EQ(elsewhere->LookupRefObj("N"), nullptr);
}

TEST_F(ActionTest, CatalogDocumentActions) {
    Load({});
    TqzPDCatalog& catalog = *doc_.GetCatalog();
    core::TqzPDDictionary& root = *catalog.GetDict();
    TqzPDURIAction uri("http://open.example/");
    try {
        catalog.AddAction(uri, TqzDocActionTrigger::atBeforeDocSave);
        ADD_FAILURE() << "a link became a save action";
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "Java Script Action required");
    }
    EXPECT_EQ(root.LookupRefObj("AA"), nullptr);

    catalog.AddAction(uri, TqzDocActionTrigger::atBeforeDocOpen);
    const auto* open = static_cast<core::TqzPDDictionary*>(root.LookUp("OpenAction"));
    ASSERT_NE(open, nullptr);
    EXPECT_TRUE(open->LookUp("Type")->IsName("Action"));
    EXPECT_TRUE(open->LookUp("S")->IsName("URI"));
    EXPECT_EQ(StringOf(open->LookUp("URI")), "http://open.example/");
    EXPECT_FALSE(BoolOf(open->LookUp("IsMap")));

    TqzPDJavaScriptAction script;
    script.SetJavaScript("this.print();");
    catalog.AddAction(script, TqzDocActionTrigger::atBeforeDocPrint);
    doc_.AddAction(script, TqzDocActionTrigger::atAfterDocPrint);
    const auto* aa = static_cast<core::TqzPDDictionary*>(root.LookUp("AA"));
    ASSERT_NE(aa, nullptr);
    for (const char* key : {"WP", "DP"}) {
        const auto* entry = static_cast<core::TqzPDDictionary*>(aa->LookUp(key));
        ASSERT_NE(entry, nullptr) << key;
        EXPECT_TRUE(entry->LookUp("S")->IsName("JavaScript"));
        EXPECT_EQ(StringOf(entry->LookUp("JS")), "this.print();");
        EXPECT_EQ(entry->LookupRefObj("Type"), nullptr);
    }

    catalog.RemoveAction(TqzDocActionTrigger::atBeforeDocOpen);
    EXPECT_NE(root.LookupRefObj("OpenAction"), nullptr);
    catalog.RemoveAction(TqzDocActionTrigger::atBeforeDocPrint);
    EXPECT_EQ(aa->LookupRefObj("WP"), nullptr);
    EXPECT_NE(aa->LookupRefObj("DP"), nullptr);

    // The catalog's own destination writer converts nothing.
    const core::TqzPDRect fitRect(10, 20, 110, 120);
    TqzPDDestination destination(&doc_, Page(1), TqzPageDisplayOptions::FitRect, &fitRect);
    auto array = catalog.CreateDestArray(destination);
    ASSERT_EQ(array->GetLength(), 6);
    EXPECT_DOUBLE_EQ(NumberOf(array->Get(3)), 120);  // Bottom
    EXPECT_DOUBLE_EQ(NumberOf(array->Get(5)), 20);   // Top
}

TEST_F(ActionTest, PageAdditionalActions) {
    Load({"<< /S /URI /URI (opened) >>"}, "/AA << /O 8 0 R /C << /S /Bogus >> >>");
    TqzPDPage& page = *Page(1);
    ASSERT_EQ(page.GetActions().size(), 1U);
    auto* opened = dynamic_cast<TqzPDURIAction*>(page.GetAction(TqzPageActionTrigger::atBeforePageOpen));
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(opened->GetURI(), "opened");

    // Replacing an entry read before drops the action over it.
    TqzPDJavaScriptAction script;
    script.SetJavaScript("app.beep(0);");
    page.AddAction(script, TqzPageActionTrigger::atAfterPageClose);
    page.AddAction(script, TqzPageActionTrigger::atBeforePageOpen);
    auto* closing = dynamic_cast<TqzPDJavaScriptAction*>(page.GetAction(TqzPageActionTrigger::atAfterPageClose));
    ASSERT_NE(closing, nullptr);
    EXPECT_EQ(closing->GetJavaScript(), "app.beep(0);");
    EXPECT_EQ(page.GetAction(TqzPageActionTrigger::atBeforePageOpen)->GetType(), Type::actionJavaScript);
    page.RemoveAction(TqzPageActionTrigger::atBeforePageOpen);
    EXPECT_EQ(page.GetAction(TqzPageActionTrigger::atBeforePageOpen), nullptr);

    // A page without /AA gets one.
    TqzPDPage& second = *Page(2);
    EXPECT_TRUE(second.GetActions().empty());
    second.AddAction(script, TqzPageActionTrigger::atBeforePageOpen);
    EXPECT_EQ(second.GetActions().size(), 1U);
    const auto* aa = static_cast<core::TqzPDDictionary*>(second.GetDict()->LookUp("AA"));
    ASSERT_NE(aa, nullptr);
    EXPECT_TRUE(static_cast<core::TqzPDDictionary*>(aa->LookUp("O"))->LookUp("Type")->IsName("Action"));
}

// What action_facts.py (pikepdf) reads from a file, one "WHERE KEY VALUE" a line.
std::vector<std::string> OutsideFacts(const std::filesystem::path& file) {
    const qz::testing::RunResult run = qz::testing::RunProgram(
        {"/usr/bin/python3", std::string(QZ_TEST_DATA_DIR) + "/action_facts.py", file.string()});
    if (!run.Succeeded()) throw qz::testing::ToolError("action_facts.py: " + run.Describe());
    std::vector<std::string> lines;
    for (size_t start = 0, end; start < run.out.size(); start = end + 1) {
        end = run.out.find('\n', start);
        if (end == std::string::npos) end = run.out.size();
        lines.push_back(run.out.substr(start, end - start));
    }
    return lines;
}

// One action of every kind, made new and written by the one writer as the
// /A of a link on page 1, plus the document's and page 2's actions: saved,
// they pass qpdf, pikepdf reads their entries, and the model reads them back.
TEST_F(ActionTest, SavedActionsReadTheSameHereAndInOtherReaders) {
    QZ_REQUIRE_TOOLS("qpdf");
    Load({"stream:attached bytes", "<< /Type /Filespec /F (att.txt) /EF << /F 8 0 R >> >>"});
    std::vector<std::unique_ptr<TqzPDAction>> actions;
    const core::TqzPDRect zoom(50, 100, 1.5, 0);
    actions.push_back(std::make_unique<TqzPDGoToAction>(
        std::make_unique<TqzPDDestination>(&doc_, Page(2), TqzPageDisplayOptions::FitZoom, &zoom)));
    const core::TqzPDRect top(0, 100, 0, 0);
    auto remote = std::make_unique<TqzPDGoToRemoteAction>(
        std::make_unique<TqzPDDestination>(nullptr, nullptr, TqzPageDisplayOptions::FitHeight, &top));
    remote->SetFileName("remote.pdf");
    remote->SetPageNum(3);
    remote->SetOpenInNewWindow(true);
    actions.push_back(std::move(remote));
    auto embedded = std::make_unique<TqzPDGoToEmbeddedAction>();
    embedded->SetFileSpec(std::make_unique<TqzPDFileSpec>(Object(9)));
    embedded->SetOpenInNewWindow(true);
    actions.push_back(std::move(embedded));
    auto launch = std::make_unique<TqzPDLaunchAction>();
    launch->SetApplicationToLaunch("app.exe");
    launch->SetLaunchActionType(TqzLaunchActionType::ltPrint);
    launch->SetOpenInNewWindow(true);
    actions.push_back(std::move(launch));
    actions.push_back(std::make_unique<TqzPDURIAction>("http://example.org/a?b=(1)"));
    auto submit = std::make_unique<TqzPDSubmitFormAction>();
    submit->SetURL("http://submit.example/");
    actions.push_back(std::move(submit));
    actions.push_back(std::make_unique<TqzPDResetFormAction>());
    auto script = std::make_unique<TqzPDJavaScriptAction>();
    script->SetJavaScript("app.alert(\"hi\");");
    actions.push_back(std::move(script));
    for (Type type : {Type::actionThread, Type::actionSound, Type::actionMovie, Type::actionHide, Type::actionNamed,
                      Type::actionRendition, Type::actionTrans, Type::actionGoTo3DView}) {
        actions.push_back(TqzPDAction::MakeAction(&doc_, nullptr, type));
    }

    auto annots = std::make_unique<core::TqzPDArray>(doc_.GetBaseDoc());
    for (const auto& action : actions) {
        auto link = std::make_unique<core::TqzPDDictionary>(doc_.GetBaseDoc());
        link->Add("Type", std::make_unique<core::TqzPDName>("Annot"));
        link->Add("Subtype", std::make_unique<core::TqzPDName>("Link"));
        link->Add("Rect", std::make_unique<core::TqzPDArray>(doc_.GetBaseDoc()));
        link->Add("A", Page(1)->CreateActionDict(*action));
        annots->Add(std::move(link));
    }
    Page(1)->GetDict()->Add("Annots", std::move(annots));
    TqzPDURIAction open("http://open.example/");
    doc_.AddAction(open, TqzDocActionTrigger::atBeforeDocOpen);
    doc_.AddAction(*actions[7], TqzDocActionTrigger::atBeforeDocClose);
    Page(2)->AddAction(*actions[0], TqzPageActionTrigger::atBeforePageOpen);

    qz::testing::TempDir dir("qz-actions");
    const auto file = dir.File("actions.pdf");
    TqzPDSaveFlags flags;
    flags.Full = true;
    doc_.SaveDocument(file, flags);
    EXPECT_TRUE(qz::testing::QpdfCheckPasses(file));

    TqzPDDocument saved;
    saved.LoadDocument(file);
    const auto* written = static_cast<core::TqzPDArray*>(saved.GetPage(1)->GetDict()->LookUp("Annots"));
    ASSERT_TRUE(written != nullptr && written->GetLength() == static_cast<int32_t>(actions.size()));
    for (int32_t i = 0; i < written->GetLength(); ++i) {
        auto* link = static_cast<core::TqzPDDictionary*>(written->Get(i));
        auto read = TqzPDAction::MakeAction(&saved, nullptr, link->LookUp("A"));
        ASSERT_NE(read, nullptr) << i;
        EXPECT_EQ(read->GetType(), actions[static_cast<size_t>(i)]->GetType()) << i;
    }
    auto action = [&](int32_t i) { return TqzPDAction::MakeAction(&saved, nullptr, static_cast<core::TqzPDDictionary*>(written->Get(i))->LookUp("A")); };
    auto readGoTo = action(0);
    TqzPDDestination* goTo = readGoTo->GetDest();
    ASSERT_NE(goTo, nullptr);
    EXPECT_EQ(goTo->GetPage(), saved.GetPage(2));
    EXPECT_DOUBLE_EQ(goTo->GetRect()->GetTop(), 692);
    auto readRemote = action(1);
    EXPECT_EQ(static_cast<TqzPDGoToRemoteAction&>(*readRemote).GetFileName(), "remote.pdf");
    EXPECT_EQ(static_cast<TqzPDGoToRemoteAction&>(*readRemote).GetPageNum(), 3);
    auto readEmbedded = action(2);
    auto& embeddedRead = static_cast<TqzPDGoToEmbeddedAction&>(*readEmbedded);
    EXPECT_EQ(embeddedRead.GetFileName(), "att.txt");
    EXPECT_TRUE(embeddedRead.GetOpenInNewWindow());
    EXPECT_EQ(ReadAll(embeddedRead.GetFileSpec()->GetEmbeddedFileStream()), "attached bytes");
    auto readLaunch = action(3);
    auto& launchRead = static_cast<TqzPDLaunchAction&>(*readLaunch);
    EXPECT_EQ(launchRead.GetApplicationToLaunch(), "app.exe");
    EXPECT_EQ(launchRead.GetLaunchActionType(), TqzLaunchActionType::ltPrint);
    EXPECT_EQ(static_cast<TqzPDURIAction&>(*action(4)).GetURI(), "http://example.org/a?b=(1)");
    EXPECT_EQ(static_cast<TqzPDSubmitFormAction&>(*action(5)).GetURL(), "http://submit.example/");
    EXPECT_EQ(static_cast<TqzPDJavaScriptAction&>(*action(7)).GetJavaScript(), "app.alert(\"hi\");");
    ASSERT_NE(saved.GetPage(2)->GetAction(TqzPageActionTrigger::atBeforePageOpen), nullptr);

    if (!qz::testing::RunProgram({"/usr/bin/python3", "-c", "import pikepdf"}).Succeeded()) {
        if (qz::testing::MissingToolsMustFail()) FAIL() << "python3-pikepdf is missing";
        GTEST_SKIP() << "python3-pikepdf is not installed";
    }
    const std::vector<std::string> facts = OutsideFacts(file);
    std::string all;
    for (const std::string& fact : facts) all += fact + "\n";
    for (const char* want : {
             "annot.0.0 /S /GoTo", "annot.0.0 /D [page 1 /XYZ 50 692 1.5]",
             "annot.0.1 /S /GoToR", "annot.0.1 /F (remote.pdf)", "annot.0.1 /D [3 /FitH 100]",
             "annot.0.1 /NewWindow true",
             "annot.0.2 /S /GoToE", "annot.0.2 /F <</EF stream(attached bytes) /F (att.txt) /Type /Filespec>>",
             "annot.0.2 /NewWindow true",
             "annot.0.3 /S /Launch", "annot.0.3 /Win <</F (app.exe) /O (print)>>", "annot.0.3 /NewWindow true",
             "annot.0.4 /URI (http://example.org/a?b=(1))", "annot.0.4 /IsMap false",
             "annot.0.5 /S /SubmitForm", "annot.0.5 /F (http://submit.example/)",
             "annot.0.6 /S /ResetForm", "annot.0.7 /JS (app.alert(\"hi\");)", "annot.0.12 /S /Named",
             "annot.0.15 /S /GoTo3DView",
             "open /S /URI", "open /URI (http://open.example/)", "doc.WC /JS (app.alert(\"hi\");)",
             "page.1.O /D [page 1 /XYZ 50 692 1.5]"}) {
        EXPECT_NE(std::find(facts.begin(), facts.end(), std::string(want)), facts.end()) << want << " not among:\n" << all;
    }
}

}  // namespace
}  // namespace qz::document
