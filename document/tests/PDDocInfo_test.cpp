#include "document/PDDocInfo.h"

#include <gtest/gtest.h>

#include "core/PDDictionary.h"
#include "core/PDString.h"
#include "document/PDBaseDoc.h"
#include "document/PDDocument.h"
#include "document/tests/DocumentTestSupport.h"
#include "testing/PdfBuilder.h"

namespace qz::document {
namespace {

TEST(PDDateTest, PartsOfDateTexts) {
    struct Case {
        const char* text;
        uint16_t year, month, day, hour, minutes, seconds;
    };
    const Case cases[] = {
        // No time: midnight.
        {"D:20210304", 2021, 3, 4, 0, 0, 0},
        {"D:20210304101112+01'00'", 2021, 3, 4, 10, 11, 12},
        {"D:202103041011+01'00'", 2021, 3, 4, 10, 11, 0},
        {"D:2021030410Z", 2021, 3, 4, 10, 0, 0},
        {"D:20210304101112", 2021, 3, 4, 10, 11, 12},
        {"D:20210304101112Z", 2021, 3, 4, 10, 11, 12},
        {"D:2021", 2021, 1, 1, 0, 0, 0},
        // Hour 00 is midnight, not noon.
        {"D:20210304000507", 2021, 3, 4, 0, 5, 7},
        // Out of range parts take their defaults.
        {"D:20211332256161", 2021, 1, 1, 0, 0, 0},
        // Not a date at all.
        {"20210304", 0, 0, 0, 0, 0, 0},
        {"D:xxxx", 0, 1, 1, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const TqzPDDate date(c.text);
        EXPECT_EQ(date.GetYear(), c.year);
        EXPECT_EQ(date.GetMonth(), c.month);
        EXPECT_EQ(date.GetDay(), c.day);
        EXPECT_EQ(date.GetHOur(), c.hour);
        EXPECT_EQ(date.GetMinutes(), c.minutes);
        EXPECT_EQ(date.GetSeconds(), c.seconds);
    }
}

TEST(PDDateTest, ToStringPadsEveryPartButTheYear) {
    EXPECT_EQ(TqzPDDate("D:20210304050607").ToString(), "D:20210304050607");
    EXPECT_EQ(TqzPDDate("D:0099").ToString(), "D:99010100" "0000");
    TqzPDDate date("D:20210304050607");
    date.SetYear(1999);  // the parts cannot be changed
    EXPECT_EQ(date.GetYear(), 2021);
}

class DocInfoTest : public ::testing::Test {
protected:
    void Load(const std::string& infoText) {
        qz::testing::PdfBuilder b = qz::testing::MinimalDocument(1);
        b.SetInfo(b.Add(infoText));
        doc_.LoadDocument(MemoryFile(b.Write()));
    }
    core::TqzPDDictionary& Dict() { return *doc_.GetBaseDoc()->GetDocInfo(); }

    TqzPDDocument doc_;
};

TEST_F(DocInfoTest, GettersReadBytesAndCacheThem) {
    Load("<< /Title <414243> /Author (Ann \\(A\\)) /Keywords (k) /Subject 12 /Producer (Old) "
         "/CreationDate (D:20210304090507+01'00') /ModDate (D:20221231000000Z) >>");
    TqzPDDocInfo& info = *doc_.GetDocInfo();
    EXPECT_EQ(info.GetTitle(), "ABC");
    EXPECT_EQ(info.GetAuthor(), "Ann (A)");
    EXPECT_EQ(info.GetKeyword(), "k");
    EXPECT_EQ(info.GetSubject(), "");  // not a string
    EXPECT_EQ(info.GetProducer(), "Old");
    EXPECT_EQ(info.GetCreateDate(), "4/3/20219:5:7");
    EXPECT_EQ(info.GetModDate(), "31/12/20220:0:0");
    // Setters write hexadecimal strings and leave the caches.
    info.SetTitle("58595A");
    EXPECT_EQ(info.GetTitle(), "ABC");
    const auto* title = static_cast<const core::TqzPDString*>(Dict().LookUp("Title"));
    EXPECT_TRUE(title->IsHexString());
    EXPECT_EQ(title->GetString(), "58595A");
    std::string value = "x";
    info.GetInfo("Keyword", value);
    EXPECT_EQ(value, "");
    info.GetInfo("Keywords", value);
    EXPECT_EQ(value, "k");
}

TEST_F(DocInfoTest, ProducerIsStampedAsLiteral) {
    Load("<< /Producer <4F6C64> >>");
    const auto* producer = static_cast<const core::TqzPDString*>(Dict().LookUp("Producer"));
    EXPECT_FALSE(producer->IsHexString());
    EXPECT_EQ(producer->GetString(), kProducer);
    EXPECT_EQ(doc_.GetDocInfo()->GetProducer(), "Old");
}

TEST_F(DocInfoTest, SetDocInfoByKeyAddsMissingEntries) {
    Load("<< >>");
    TqzPDDocInfo& info = *doc_.GetDocInfo();
    info.SetDocInfo("Creator", "41");
    info.SetDocInfo("Unknown", "42");
    info.SetDocInfo("Producer", "Mine");
    EXPECT_EQ(TextOf(Dict().LookUp("Creator")), "A");
    EXPECT_EQ(Dict().LookUp("Unknown"), nullptr);
    EXPECT_EQ(TextOf(Dict().LookUp("Producer")), "Mine");
}

}  // namespace
}  // namespace qz::document
