#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "core/PDBoolean.h"
#include "core/PDCommand.h"
#include "core/PDEOF.h"
#include "core/PDError.h"
#include "core/PDIndirectRef.h"
#include "core/PDInteger.h"
#include "core/PDName.h"
#include "core/PDNull.h"
#include "core/PDReal.h"
#include "core/PDString.h"
#include "core/PDXRef.h"
#include "core/tests/FakeDocument.h"

using namespace qz::core;
using qz::core::testing::SaveText;
using namespace std::string_literals;

TEST(PDBaseObject, ScalarsWriteTheirTextForms) {
    const struct {
        std::unique_ptr<TqzPDBaseObject> object;
        std::string text;
    } cases[] = {
        {std::make_unique<TqzPDNull>(), "null"},
        {std::make_unique<TqzPDBoolean>(true), "true"},
        {std::make_unique<TqzPDBoolean>(false), "false"},
        {std::make_unique<TqzPDInteger>(42), "42"},
        {std::make_unique<TqzPDInteger>(0), "0"},
        {std::make_unique<TqzPDInteger>(INT32_MAX), "2147483647"},
        {std::make_unique<TqzPDInteger>(INT32_MIN), "-2147483648"},
        {std::make_unique<TqzPDReal>(1.5), "1.5"},
        {std::make_unique<TqzPDReal>(2.0), "2"},
        {std::make_unique<TqzPDReal>(1.0 / 3), "0.333333"},
        {std::make_unique<TqzPDReal>(-0.25), "-0.25"},
        {std::make_unique<TqzPDReal>(1e25), "10000000000000000000000000"},
        {std::make_unique<TqzPDReal>(-3e-9), "0"},
        {std::make_unique<TqzPDIndirectRef>(7, 3), "7 0 R"},
        {std::make_unique<TqzPDString>("a(b)c\\d\r", false), "(a\\(b\\)c\\\\d\\r)"},
        {std::make_unique<TqzPDString>("\b\t\n\f\x01(", false), "(\\b\\t\\n\\f\x01\\()"},
        {std::make_unique<TqzPDString>("ab12", true), "<ab12>"},
        {std::make_unique<TqzPDString>("ab/<c", true), "<abc>"},  // damaged input
        {std::make_unique<TqzPDString>("", false), "()"},
        {std::make_unique<TqzPDCommand>("obj"), ""},
        {std::make_unique<TqzPDEOF>(), ""},
        {std::make_unique<TqzPDError>(), ""},
    };
    for (const auto& c : cases) {
        TqzPDXRef xref;
        int64_t written = -1;
        EXPECT_EQ(SaveText(*c.object, xref, false, &written), c.text);
        EXPECT_EQ(written, static_cast<int64_t>(c.text.size()));
    }
    TqzPDInteger big(0);
    big.SetValue(int64_t{1} << 40);
    EXPECT_EQ(SaveText(big), "1099511627776");
}

TEST(PDBaseObject, NamesDecodeOnInputAndAlwaysReadBackAsThemselves) {
    const struct {
        const char* read;   // as it stands after "/" in a file
        std::string held;
        const char* written;  // after "/"
    } cases[] = {
        {"Lime#20Green", "Lime Green", "Lime#20Green"},
        {"A#2fB", "A/B", "A#2FB"},
        {"A#2341", "A#41", "A#2341"},
        {"A#00B", "A\0B"s, "A#00B"},
        {"#20", " ", "#20"},
        {"#01#1F#7F", "\x01\x1F\x7F", "#01#1F#7F"},
        {"#28#29#3C#3E#5B#5D#7B#7D#25", "()<>[]{}%", "#28#29#3C#3E#5B#5D#7B#7D#25"},
        {"caf\xE9", "caf\xE9", "caf\xE9"},
        // A "#" that starts no escape is a character of the name.
        {"ab#", "ab#", "ab#23"},
        {"Im#1", "Im#1", "Im#231"},
        {"a#zzb", "a#zzb", "a#23zzb"},
        {"a#4g", "a#4g", "a#234g"},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        TqzPDName name(c.read);
        EXPECT_EQ(name.GetValue(), c.held) << c.read;
        EXPECT_EQ(SaveText(name), "/"s + c.written) << c.read;
        EXPECT_EQ(DecodeName(c.written), c.held) << c.read;
        EXPECT_TRUE(name.IsName(c.written));
    }
    TqzPDName raw("x");
    raw.SetName("a#b");
    EXPECT_EQ(raw.GetValue(), "a#b");
    EXPECT_EQ(SaveText(raw), "/a#23b");
    // A million-byte name of blanks encodes and decodes in one linear pass.
    const std::string blanks(1000000, ' ');
    const std::string encoded = EncodeName(blanks);
    EXPECT_EQ(encoded.size(), 3000000u);
    EXPECT_EQ(DecodeName(encoded), blanks);
}

TEST(PDBaseObject, IndirectScalarsTakeTheNextNumber) {
    TqzPDXRef xref;
    xref.SetLastObjectNumber(9);
    qz::core::TqzMemoryStream out("prefix");
    out.SetPosition(6, SeekOrigin::Beginning);
    TqzPDInteger value(42, 3, 2);
    value.SetIsChanged(true);
    EXPECT_EQ(value.SaveToStream(out, false, xref), 22);
    EXPECT_EQ(out.Bytes(), "prefix10 0 obj\r\n42\r\nendobj\r\n");
    EXPECT_EQ(xref.GetLastObjectNumber(), 10u);
    const TqzPDXRefEntry entry = xref.GetEntry(10);
    EXPECT_EQ(entry.GetOffset(), 6u);
    EXPECT_EQ(entry.GetGenNum(), 0u);
    EXPECT_EQ(entry.GetEntryType(), TqzPDXRefEntrytype::xeUnCompressed);
    EXPECT_EQ(value.GetObjNumber(), 10u);
    EXPECT_TRUE(value.GetIsWritten());

    TqzPDInteger unchanged(42, 3, 0);
    int64_t written = -1;
    EXPECT_EQ(SaveText(unchanged, xref, true, &written), "");
    EXPECT_EQ(written, 0);
    EXPECT_EQ(xref.GetLastObjectNumber(), 10u);
    EXPECT_EQ(unchanged.GetObjNumber(), 3u);
}

TEST(PDBaseObject, ClonesAndAssignKeepWhatEachKindKeeps) {
    TqzPDInteger wide(0, 4, 0);
    wide.SetValue((int64_t{1} << 32) + 5);
    auto clone = wide.Clone();
    EXPECT_EQ(static_cast<TqzPDInteger&>(*clone).GetValue(), 5);
    EXPECT_EQ(clone->GetObjNumber(), 4u);
    TqzPDInteger negative(0);
    negative.SetValue(0xFFFFFFFFll);
    EXPECT_EQ(static_cast<TqzPDInteger&>(*negative.Clone()).GetValue(), -1);

    TqzPDString s("x", true);
    s.SetIsChanged(true);
    s.SetIsWritten(true);
    auto sc = s.Clone();
    EXPECT_TRUE(sc->GetIsChanged());
    EXPECT_TRUE(sc->GetIsWritten());
    EXPECT_TRUE(static_cast<TqzPDString&>(*sc).IsHexString());

    TqzPDName n("N");
    n.SetIsChanged(true);
    EXPECT_TRUE(n.Clone()->GetIsChanged());
    TqzPDReal r(1.5);
    r.SetIsChanged(true);
    EXPECT_FALSE(r.Clone()->GetIsChanged());

    TqzPDBoolean target(false, 8, 0);
    target.Assign(TqzPDBoolean(true, 1, 1));
    EXPECT_TRUE(target.GetValue());
    EXPECT_EQ(target.GetObjNumber(), 8u);  // the numbers stay
    TqzPDString literal("old", false);
    literal.Assign(TqzPDString("new", 2, 0, true));
    EXPECT_EQ(literal.GetString(), "new");
    EXPECT_FALSE(literal.IsHexString());
    EXPECT_EQ(literal.GetObjNumber(), 2u);
}

TEST(PDBaseObject, KindsCommandsAndHexStrings) {
    TqzPDCommand command("obj");
    EXPECT_FALSE(command.IsCommand("Obj"));
    EXPECT_TRUE(command.IsCommand("obj"));
    EXPECT_EQ(command.GetObjNumber(), 0u);
    EXPECT_EQ(command.GetType(), TqzPDObjTypes::otCommand);
    EXPECT_EQ(TqzPDNull().GetType(), TqzPDObjTypes::otNull);
    EXPECT_EQ(TqzPDIndirectRef(1, 0).GetType(), TqzPDObjTypes::otIndirectRef);
    EXPECT_TRUE(TqzPDReal(1).IsNumber());
    EXPECT_TRUE(TqzPDEOF().IsToken());

    auto hex = TqzPDString::CreateForHex("AB");
    EXPECT_EQ(hex->GetString(), "FEFF00410042");
    EXPECT_EQ(hex->GetHexToString(), "AB");
    EXPECT_EQ(hex->GetBytes(), "\xFE\xFF\x00\x41\x00\x42"s);
    hex->SetHexToString("\xE9");
    EXPECT_EQ(hex->GetString(), "FEFF00E9");
    TqzPDString plain("ab 12", true);  // not all digits: the text itself
    EXPECT_EQ(plain.GetHexToString(), "ab 12");
}

TEST(PDXRef, SparseStorageNeverSizedByHostileNumbers) {
    TqzPDXRef xref;
    EXPECT_EQ(xref.GetSize(), 0u);
    EXPECT_TRUE(xref.SetEntry(5, TqzPDXRefEntry(100, 0, TqzPDXRefEntrytype::xeUnCompressed)));
    EXPECT_EQ(xref.GetSize(), 5u + TqzPDXRef::kGrowth);
    EXPECT_TRUE(xref.GetChanged());
    EXPECT_TRUE(xref.SetEntry(16000000, TqzPDXRefEntry(7, 1, TqzPDXRefEntrytype::xeCompressed)));
    EXPECT_FALSE(xref.SetEntry(0xFFFFFFF0u, TqzPDXRefEntry(7, 1, TqzPDXRefEntrytype::xeCompressed)));
    EXPECT_EQ(xref.GetEntries().size(), 2u);
    xref.AddDefaultEntries(0xFFFFFFFFu);  // a hostile /Size costs nothing
    EXPECT_EQ(xref.GetEntries().size(), 2u);
    EXPECT_FALSE(xref.AddEntry(TqzPDXRefEntry()));
    EXPECT_TRUE(xref.IsEntryFree(6));
    EXPECT_FALSE(xref.IsEntryFree(5));
    EXPECT_FALSE(xref.GetEntry(6).IsSet());
    EXPECT_EQ(xref.GetEntry(16000000).GetOffset(), 7u);
    TqzPDXRefEntry generation(0, 70000, TqzPDXRefEntrytype::xeFree);
    EXPECT_EQ(generation.GetGenNum(), 65535u);
}
