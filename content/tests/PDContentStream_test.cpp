// The content-stream interpreter: operator look-up, operand counts and
// kinds, the q/Q chain, hostile content (bad tokens, inline image data,
// throwing devices), and the operators' device calls.

#include "content/device/PDContentStream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <stdexcept>

#include "content/device/ContentOperands.h"
#include "content/tests/ContentTestSupport.h"
#include "document/ContentFactories.h"

namespace qz::content {
namespace {

using testing::Interpret;
using testing::OnePageFile;
using testing::RecordingDevice;
using Lines = std::vector<std::string>;

TEST(PDContentStream, EveryOperatorIsFoundUnderItsExactName) {
    TqzPDContentStream stream(nullptr, nullptr, nullptr);
    const auto& table = TqzPDContentStream::OperatorTable();
    std::set<std::string_view> names;
    for (const TqzOperator& entry : table) {
        TqzOperator found;
        ASSERT_TRUE(stream.FindOperator(entry.Op, found)) << entry.Op;
        EXPECT_EQ(found.Op, entry.Op);
        EXPECT_EQ(found.Operation, entry.Operation);
        names.insert(entry.Op);
    }
    EXPECT_EQ(names.size(), static_cast<size_t>(NUMOPS));
    TqzOperator found;
    for (const char* missing : {"bt", "Bt", "tj", "Q*", "", "BTX", "rG", "Sc", "\"\"", "b**", "d2"}) {
        EXPECT_FALSE(stream.FindOperator(missing, found)) << missing;
    }
}

// What reaches the handler after the count and kind checks.
TEST(PDContentStream, OperandCountsAndKinds) {
    struct Case {
        const char* content;
        Lines expected;
    };
    const Lines colours = {"UpdateStrokeColor", "UpdateFillColor", "UpdateLineWidth", "UpdateLineCap", "UpdateCTM"};
    const Case cases[] = {
        {"1 0 RG", {}},                                       // too few
        {"1 0 0 1 RG", {"UpdateStrokeColor 1 0 0"}},          // too many: the first ones
        {"/N g", {}},                                         // wrong kind
        {"sc", {"UpdateFillColor 0"}},                        // at most 4: none is fine
        {"1 2 3 4 5 sc", {}},                                 // more than 4
        {"1 2 foo 0.5 g", {"UpdateFillColor 0.5"}},           // unknown operator drops its operands
        {"1 foo g", {}},                                      // so g has none left
        {"5 (x) w", {"UpdateLineWidth 5"}},                   // the extra operand is not checked
        {"(x) 5 w", {}},                                      // the first one is: skipped
        {"1.5 J 2 J", {"UpdateLineCap 2"}},                   // J wants an integer
        {"0.5 } g", {"UpdateFillColor 0.5"}},                 // an error token as a dropped extra
        {"} g", {}},                                          // an error token fails every kind
        {"0.5 ] g", {}},                                      // a stray delimiter is an unknown operator
        {"[1 2 3] 0 0 rg", {}},                               // an array is not a number
    };
    for (const Case& c : cases) EXPECT_EQ(Interpret(c.content, colours), c.expected) << c.content;
}

TEST(PDContentStream, HandlerGetsTheFirstOfTheKeptOperands) {
    std::string content = "q";
    for (int i = 1; i <= 40; ++i) content += " " + std::to_string(i);
    content += " cm";
    EXPECT_EQ(Interpret(content, {"UpdateCTM"}), Lines{"UpdateCTM 1 2 3 4 5 6"});
}

TEST(PDContentStream, UnbalancedRestoreNeverPopsThePageState) {
    RecordingDevice device;
    core::TqzPDStream stream(std::make_shared<core::TqzMemoryStream>("Q Q q 3 w Q Q 2 w"),
                             std::make_unique<core::TqzPDDictionary>());
    TqzPDContentStream interpreter(nullptr, nullptr, &stream);
    interpreter.Display(device, 72, 72, 1, 0, nullptr, nullptr);
    EXPECT_EQ(device.Lines({"SaveState", "RestoreState", "EndExGState", "UpdateLineWidth"}),
              (Lines{"SaveState", "UpdateLineWidth 3", "EndExGState", "RestoreState", "UpdateLineWidth 2"}));
    EXPECT_DOUBLE_EQ(interpreter.GetCurrentState()->GetLineWidth(), 2);
}

// States left pushed at the end are popped, and the device hears of each.
TEST(PDContentStream, UnclosedSaveIsUnwoundAtTheEnd) {
    EXPECT_EQ(Interpret("q q 2 w", {"SaveState", "RestoreState"}),
              (Lines{"SaveState", "SaveState", "RestoreState", "RestoreState"}));
}

TEST(PDContentStream, CompatibilitySectionsAndMarkedContentChangeNothing) {
    EXPECT_EQ(Interpret("EX BX 1 2 foo /Tag BMC /P <</MCID 0>> BDC EMC EMC EX EX 0.5 g /T MP /T /P DP",
                        {"UpdateFillColor"}),
              Lines{"UpdateFillColor 0.5"});
}

class ThrowingDevice : public RecordingDevice {
public:
    void Stroke(TqzPDState&) override { throw std::runtime_error("device failure"); }
};

TEST(PDContentStream, ExceptionEndsTheStreamQuietlyKeepingEarlierChanges) {
    ThrowingDevice device;
    core::TqzPDStream stream(std::make_shared<core::TqzMemoryStream>("4 w q 2 w 0 0 m 5 5 l S 3 w"),
                             std::make_unique<core::TqzPDDictionary>());
    TqzPDContentStream interpreter(nullptr, nullptr, &stream);
    EXPECT_NO_THROW(interpreter.Display(device, 72, 72, 1, 0, nullptr, nullptr));
    EXPECT_EQ(device.Lines({"UpdateLineWidth", "RestoreState"}),
              (Lines{"UpdateLineWidth 4", "UpdateLineWidth 2", "RestoreState"}));
    // The open q was unwound; the change made before it stays.
    EXPECT_DOUBLE_EQ(interpreter.GetCurrentState()->GetLineWidth(), 4);
}

TEST(PDContentStream, ExceptionInsideDispalyObjectPassesToTheCaller) {
    ThrowingDevice device;
    core::TqzPDStream stream(std::make_shared<core::TqzMemoryStream>("q 0 0 m 5 5 l S"),
                             std::make_unique<core::TqzPDDictionary>());
    TqzPDState state(72, 72, 0, nullptr);
    TqzPDContentStream interpreter(nullptr, nullptr, &stream);
    EXPECT_THROW(interpreter.DispalyObject(device, state, nullptr), std::runtime_error);
    // The pushed state was dropped again: the caller's state is intact.
    EXPECT_FALSE(state.HasSaves());
}

// Inline images: the data is handed to the device and skipped, also when
// it holds "EI" itself; interpretation resumes after the real EI.
TEST(PDContentStream, InlineImagesAreSkippedToTheirEnd) {
    struct Case {
        std::string content;
        Lines expected;
    };
    const Case cases[] = {
        {std::string("BI /W 2 /H 1 /BPC 8 /CS /G ID EI EI 0.5 g"),
         {"DrawImage inline 2x1 data EI", "UpdateFillColor 0.5"}},
        {std::string("BI /W 4 /H 1 /BPC 8 /CS /RGB ID ") + std::string("\0EI Q q EI\n 0.25 g", 12) +
             " EI 0.5 g",
         {"DrawImage inline 4x1 data " + std::string("\0EI Q q EI\n 0.25 g", 12), "UpdateFillColor 0.5"}},
        // Unknown size (a named colour space): EI only between white space
        // and a delimiter.
        {"BI /W 1 /H 1 /BPC 8 /CS /CS0 ID xEIx EIy\nEI 0.5 g",
         {"DrawImage inline 1x1 data xEIx EIy", "UpdateFillColor 0.5"}},
        {"BI /W 1 /H 1 /IM true ID \x80 EI/N gs 0.5 g", {"DrawImage inline 1x1 data \x80", "UpdateFillColor 0.5"}},
        {"BI /W 2 /H 1 /BPC 8 /CS /G ID xyEI 0.5 g", {"DrawImage inline 2x1 data xy", "UpdateFillColor 0.5"}},
        {"BI /W 1 /H 1 /F /AHx ID 41> EI 0.5 g", {"DrawImage inline 1x1 data A", "UpdateFillColor 0.5"}},
        {"BI /W 1 /H", {"DrawImage inline 1x? data "}},       // the data ends in the dictionary
        {"BI /W 1 /H 1", {}},                                  // ... where a key is expected: no image
        {"BI /W 1 /H 1 ID never ends 0.5 g", {"DrawImage inline 1x1 data never ends 0.5 g"}},
        {"BI 5 /W 1 (x) /H 1 ID x EI 1 g", {"DrawImage inline 1x1 data x", "UpdateFillColor 1"}},
        {"ID EI 0.5 g", {"UpdateFillColor 0.5"}},             // stray ID and EI do nothing
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Interpret(c.content, {"DrawImage", "UpdateFillColor"}), c.expected) << c.content;
    }
}

TEST(PDContentStream, PaintingWithoutCurrentPointLeavesTheClipPending) {
    EXPECT_EQ(Interpret("W n 0 0 m 1 1 l S 2 2 m 3 3 l S", {"Stroke", "Clip"}),
              (Lines{"Stroke M 0 0 L 1 1", "Clip M 0 0 L 1 1", "Stroke M 2 2 L 3 3"}));
}

TEST(PDContentStream, DashArrays) {
    EXPECT_EQ(Interpret("[] 0 d [3] 2 d [1 2.5 (x)] 0.5 d", {"UpdateLineDash"}),
              (Lines{"UpdateLineDash [] 0", "UpdateLineDash [3] 2", "UpdateLineDash [1 2.5 0] 0.5"}));
}

TEST(PDContentStream, ColourOperators) {
    struct Case {
        const char* content;
        Lines expected;
    };
    const Lines names = {"UpdateFillColor", "UpdateStrokeColor", "UpdateFillColorSpace", "UpdateStrokeColorSpace"};
    const Case cases[] = {
        {"/Pattern cs", {"UpdateFillColorSpace Pattern"}},
        {"/Pattern CS", {"UpdateStrokeColorSpace Pattern", "UpdateStrokeColor 0"}},
        {"/DeviceCMYK cs 1 0 0 sc",
         {"UpdateFillColorSpace DeviceCMYK", "UpdateFillColor 0 0 0 1", "UpdateFillColor 1 0 0 0"}},
        {"/DeviceCMYK CS 1 0 0 SC", {"UpdateStrokeColorSpace DeviceCMYK", "UpdateStrokeColor 0 0 0 1"}},
        {"/DeviceRGB CS 1 0 0.5 SC", {"UpdateStrokeColorSpace DeviceRGB", "UpdateStrokeColor 0 0 0",
                                      "UpdateStrokeColor 1 0 0.5"}},
        {"/Unknown cs /Unknown CS", {}},
        {"0.25 0.5 0.75 1 k 1 G",
         {"UpdateFillColorSpace DeviceCMYK", "UpdateFillColor 0.25 0.5 0.75 1", "UpdateStrokeColorSpace DeviceGray",
          "UpdateStrokeColor 1"}},
        {"/DeviceRGB cs 1 scn 1 0 0 scn", {"UpdateFillColorSpace DeviceRGB", "UpdateFillColor 0 0 0",
                                           "UpdateFillColor 1 0 0"}},
    };
    for (const Case& c : cases) EXPECT_EQ(Interpret(c.content, names), c.expected) << c.content;
}

// Colour operands become fixed point (65536 = 1.0), rounded half to even;
// values no colour can have saturate instead of overflowing.
TEST(PDContentStream, ColourComponentsInFixedPoint) {
    const core::TqzPDReal half(0.5);
    const core::TqzPDReal tie(1.5 / 65536);
    const core::TqzPDReal tieDown(2.5 / 65536);
    const core::TqzPDReal huge(1e300);
    const core::TqzPDReal tiny(-1e300);
    const core::TqzPDReal nan(std::nan(""));
    const core::TqzPDInteger big(std::numeric_limits<int32_t>::max());
    const core::TqzPDInteger two(2);
    EXPECT_EQ(OperandComponent(&half), 32768);
    EXPECT_EQ(OperandComponent(&tie), 2);
    EXPECT_EQ(OperandComponent(&tieDown), 2);
    EXPECT_GT(OperandComponent(&huge), int64_t{1} << 61);
    EXPECT_LT(OperandComponent(&tiny), -(int64_t{1} << 61));
    EXPECT_EQ(OperandComponent(&nan), 0);
    EXPECT_EQ(OperandComponent(&big), int64_t{2147483647} * 65536);
    EXPECT_EQ(OperandComponent(&two), 131072);
}

// Text state and positioning; showing needs a font (fonts come later, so
// the test resources' fonts are the document layer's base elements).
class TextTest : public ::testing::Test {
protected:
    TextTest() {
        document::ContentFactories().Font = [](document::TqzPDDocument& doc, document::TqzPDResource* res,
                                               core::TqzPDBaseObject* object, const std::string& tag) {
            return std::make_unique<document::TqzPDFont>(&doc, res, object, tag);
        };
    }
    ~TextTest() override { document::ContentFactories().Font = nullptr; }

    Lines Show(const std::string& content, const Lines& names, bool useDrawChar = false) {
        OnePageFile file("/Resources << /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >> "
                         "/Contents 4 0 R");
        file.Builder.SetStream(4, "<< >>", content);
        file.Load();
        RecordingDevice device;
        device.FUseDrawChar = useDrawChar;
        file.Display(device);
        return device.Lines(names);
    }
};

// A device that wants characters gets each string framed by BeginString
// and EndString, with the font's characters in between.
TEST_F(TextTest, CharacterDevicesGetStringFrames) {
    EXPECT_EQ(Show("BT /F1 10 Tf (Hi) Tj ET", {"BeginStringOp", "BeginString", "EndString", "EndStringOp",
                                               "RawTextOut", "DrawChar"},
                   true),
              (Lines{"BeginStringOp", "BeginString Hi", "DrawChar 0 0 7.22 0 72 H", "DrawChar 7.22 0 2.22 0 105 i",
                     "EndString", "EndStringOp"}));
}

TEST_F(TextTest, ShowingWithoutAFontSendsNothing) {
    EXPECT_EQ(Show("BT (Hi) Tj (x) ' 1 2 (y) \" [(a) 5] TJ /Missing 9 Tf (z) Tj ET",
                   {"BeginStringOp", "RawTextOut", "UpdateFont", "UpdateTextPos", "UpdateWordSpace"}),
              Lines{"UpdateTextPos 0 0"});
}

TEST_F(TextTest, FontReachesTheDeviceAtTheFirstShowing) {
    EXPECT_EQ(Show("BT /F1 12 Tf (Hi) Tj (Ho) Tj 1 0 0 1 0 0 cm (A) Tj 50 Tz (B) Tj ET",
                   {"UpdateFont", "RawTextOut"}),
              (Lines{"UpdateFont 12", "RawTextOut 0 0 Hi", "RawTextOut 0 0 Ho", "UpdateFont 12", "RawTextOut 0 0 A",
                     "UpdateFont 12", "RawTextOut 0 0 B"}));
}

// Hexadecimal strings are read as digit pairs; an odd last digit takes a 0.
TEST_F(TextTest, HexadecimalStrings) {
    EXPECT_EQ(Show("BT /F1 1 Tf <41> Tj <0041> Tj <4 14> Tj <> Tj ET", {"RawTextOut"}),
              (Lines{"RawTextOut 0 0 A", std::string("RawTextOut 0 0 \0A", 17), "RawTextOut 0 0 A@",
                     "RawTextOut 0 0 "}));
}

TEST_F(TextTest, Positioning) {
    EXPECT_EQ(Show("BT 10 20 Td 0 -14 TD T* 5 TL T* 2 0 0 2 7 7 Tm /F1 1 Tf (x) ' 3 4 (y) \" ET",
                   {"UpdateTextPos", "UpdateTextMatrix", "UpdateWordSpace", "UpdateCharSpace"}),
              (Lines{"UpdateTextMatrix 1 0 0 1 0 0", "UpdateTextPos 0 0", "UpdateTextPos 10 20",
                     "UpdateTextPos 10 6", "UpdateTextPos 10 -8", "UpdateTextPos 10 -13",
                     "UpdateTextMatrix 2 0 0 2 7 7", "UpdateTextPos 0 0", "UpdateTextPos 0 -5",
                     "UpdateWordSpace 3", "UpdateCharSpace 4", "UpdateTextPos 0 -10"}));
}

// Array adjustments move by a thousandth of the font size, whatever its sign;
// the current point comes back after the array.
TEST_F(TextTest, TextArrays) {
    EXPECT_EQ(Show("BT /F1 -12 Tf [(a) 1000 (b) -500 /x] TJ (c) Tj ET",
                   {"UpdateTextShift", "RawTextOut", "SaveState", "RestoreState"}),
              (Lines{"SaveState", "SaveState", "RawTextOut 0 0 a", "UpdateTextShift 1000 at -12 0",
                     "RawTextOut -12 0 b", "UpdateTextShift -500 at -6 0", "RestoreState", "RawTextOut -6 0 c",
                     "RestoreState"}));
}

TEST_F(TextTest, TextStateOperators) {
    EXPECT_EQ(Show("2 Tc 3 Tw 150 Tz 4 TL 5 Ts 7 Tr 1.5 Tr",
                   {"UpdateCharSpace", "UpdateWordSpace", "UpdateHorizScaling", "UpdateRise", "UpdateRender"}),
              (Lines{"UpdateCharSpace 2", "UpdateWordSpace 3", "UpdateHorizScaling 1.5", "UpdateRise 5",
                     "UpdateRender 7"}));
}

// Forms are drawn by the device; the recording device interprets them with
// their matrix and bounding box.
class FormTest : public ::testing::Test {
protected:
    Lines Draw(const std::string& pageContent, const std::vector<std::pair<std::string, std::string>>& forms,
               const Lines& names, bool logCTM = false) {
        // Form i is object 10 + i, named Fm<i+1> in every resource dictionary.
        std::string xobjects = "/XObject <<";
        for (size_t i = 0; i < forms.size(); ++i) {
            xobjects += " /Fm" + std::to_string(i + 1) + " " + std::to_string(10 + i) + " 0 R";
        }
        xobjects += " >>";
        OnePageFile file("/Resources << " + xobjects + " >> /Contents 4 0 R");
        file.Builder.SetStream(4, "<< >>", pageContent);
        for (size_t i = 0; i < forms.size(); ++i) {
            file.Builder.SetStream(static_cast<int32_t>(10 + i),
                                   "<< /Type /XObject /Subtype /Form " + forms[i].first + " /Resources << " +
                                       xobjects + " >> >>",
                                   forms[i].second);
        }
        file.Load();
        RecordingDevice device;
        device.InterpretForms = true;
        device.LogCTM = logCTM;
        file.Display(device);
        return device.Lines(names);
    }
};

TEST_F(FormTest, NestedFormsWithMatricesAndBoxes) {
    EXPECT_EQ(Draw("q /Fm1 Do Q 9 w 0 0 m 1 0 l S",
                   {{"/Matrix [2 0 0 2 10 10] /BBox [0 0 50 50]", "1 w /Fm2 Do 3 w"},
                    {"/BBox [0 0 5 5] /Matrix [1 0 0 1 -1 -1]", "4 w 0 0 m 1 1 l S"}},
                   {"DrawFormXObject", "EndForm", "UpdateCTM", "UpdateLineWidth", "Clip", "Stroke"}, true),
              (Lines{"DrawFormXObject Fm1", "UpdateCTM 2 0 0 2 10 10",
                     "Clip M 0 0 L 50 0 L 50 50 L 0 50 L 0 0 Z ctm 2 0 0 2 10 10", "UpdateLineWidth 1",
                     "DrawFormXObject Fm2", "UpdateCTM 1 0 0 1 -1 -1",
                     "Clip M 0 0 L 5 0 L 5 5 L 0 5 L 0 0 Z ctm 2 0 0 2 8 8", "UpdateLineWidth 4",
                     "Stroke M 0 0 L 1 1 ctm 2 0 0 2 8 8", "EndForm Fm2", "UpdateLineWidth 3", "EndForm Fm1",
                     "UpdateLineWidth 9", "Stroke M 0 0 L 1 0 ctm 1 0 0 1 0 0"}));
}

// A form's extra Q never pops the states of the content that drew it.
TEST_F(FormTest, UnbalancedRestoreInAFormStaysInside) {
    EXPECT_EQ(Draw("q q /Fm1 Do Q Q 9 w", {{"/BBox [0 0 1 1]", "Q Q Q 7 w q"}},
                   {"SaveState", "RestoreState", "UpdateLineWidth", "EndForm"}),
              (Lines{"SaveState", "SaveState", "SaveState", "UpdateLineWidth 7", "SaveState", "RestoreState",
                     "EndForm Fm1", "RestoreState", "RestoreState", "UpdateLineWidth 9", "RestoreState"}));
}

TEST_F(FormTest, SelfReferenceIsDrawnOnce) {
    const Lines lines = Draw("/Fm1 Do 9 w", {{"/BBox [0 0 1 1]", "/Fm1 Do 2 w"}},
                             {"DrawFormXObject", "EndForm", "UpdateLineWidth"});
    EXPECT_EQ(lines, (Lines{"DrawFormXObject Fm1", "DrawFormXObject Fm1", "EndForm Fm1", "UpdateLineWidth 2",
                            "EndForm Fm1", "UpdateLineWidth 9"}));
}

TEST_F(FormTest, CyclesAndDeepChainsEnd) {
    // Fm1 -> Fm2 -> Fm1.
    EXPECT_EQ(Draw("/Fm1 Do", {{"", "/Fm2 Do"}, {"", "/Fm1 Do 5 w"}}, {"UpdateLineWidth"}),
              Lines{"UpdateLineWidth 5"});
    // A chain of distinct forms deeper than the nesting limit.
    std::vector<std::pair<std::string, std::string>> chain;
    for (int i = 1; i <= 2 * kMaxContentNesting; ++i) chain.push_back({"", "/Fm" + std::to_string(i + 1) + " Do 1 w"});
    const Lines widths = Draw("/Fm1 Do", chain, {"UpdateLineWidth"});
    EXPECT_EQ(widths.size(), static_cast<size_t>(kMaxContentNesting - 1));
}

TEST_F(FormTest, ImagesAndUnknownNames) {
    OnePageFile file("/Resources << /XObject << /Im1 5 0 R /PS1 6 0 R >> >> /Contents 4 0 R");
    file.Builder.SetStream(4, "<< >>", "/Im1 Do /PS1 Do /Nothing Do /Nothing gs /Nothing sh /Nothing Tf 0.5 g");
    file.Builder.SetStream(5, "<< /Subtype /Image /Width 1 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceGray >>",
                           "z");
    file.Builder.SetStream(6, "<< /Subtype /PS >>", "");
    file.Load();
    RecordingDevice device;
    file.Display(device);
    EXPECT_EQ(device.Lines({"DrawImage", "DrawFormXObject", "UpdateFillColor", "ProcessShadingPattern"}),
              (Lines{"DrawImage Im1 1x1 data z", "UpdateFillColor 0.5"}));
}

}  // namespace
}  // namespace qz::content

namespace qz::content {
namespace {

TEST(PDContentStream, PathConstruction) {
    struct Case {
        const char* content;
        Lines expected;
    };
    const Lines names = {"Fill", "Stroke", "EvenOddFill", "Clip", "EvenOddClip"};
    const Case cases[] = {
        // Rectangles narrower than a unit are widened to one; negative sizes stay.
        {"0 0 0.4 10 re f", {"Fill M 0 0 L 1 0 L 1 10 L 0 10 L 0 0 Z"}},
        {"0 0 -0.4 0 re f", {"Fill M 0 0 L -0.4 0 L -0.4 1 L 0 1 L 0 0 Z"}},
        // b* closes before painting, B* does not.
        {"0 0 m 4 0 l 4 4 l b*", {"EvenOddFill M 0 0 L 4 0 L 4 4 L 0 0 Z", "Stroke M 0 0 L 4 0 L 4 4 L 0 0 Z"}},
        {"0 0 m 4 0 l 4 4 l B*", {"EvenOddFill M 0 0 L 4 0 L 4 4", "Stroke M 0 0 L 4 0 L 4 4"}},
        {"0 0 m 4 0 l s", {"Stroke M 0 0 L 4 0 L 0 0 Z"}},
        // v takes the current point as first control point, y the end as second.
        {"1 1 m 2 2 3 3 v 4 4 5 5 y S", {"Stroke M 1 1 C 1 1 2 2 3 3 C 4 4 5 5 5 5"}},
        // Without a current point nothing but m and re builds a path.
        {"1 1 l 1 2 3 4 5 6 c 1 1 1 1 v 1 1 1 1 y h S f", {}},
        // A lone move paints nothing, yet ends the path and applies the clip.
        {"0 0 m W* f 1 1 m 2 2 l S", {"EvenOddClip", "Stroke M 1 1 L 2 2"}},
        // The clip follows the painting.
        {"0 0 5 5 re W B", {"Fill M 0 0 L 5 0 L 5 5 L 0 5 L 0 0 Z", "Stroke M 0 0 L 5 0 L 5 5 L 0 5 L 0 0 Z",
                            "Clip M 0 0 L 5 0 L 5 5 L 0 5 L 0 0 Z"}},
        {"0 0 m 1 1 l n S", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(Interpret(c.content, names), c.expected) << c.content;
}

TEST(PDContentStream, GraphicsStateOperators) {
    EXPECT_EQ(Interpret("2 w 1 J 2 j 4 M 3 i 0 0 1 1 0 0 cm 1.5 j /RelativeColorimetric ri",
                        {"UpdateLineWidth", "UpdateLineCap", "UpdateLineJoin", "UpdateMiterLimit", "UpdateFlatness",
                         "UpdateCTM"}),
              (Lines{"UpdateLineWidth 2", "UpdateLineCap 1", "UpdateLineJoin 2", "UpdateMiterLimit 4",
                     "UpdateFlatness 3", "UpdateCTM 0 0 1 1 0 0"}));
}

// Resources of a page: graphics states, patterns and colour spaces.
class ResourceTest : public ::testing::Test {
protected:
    ResourceTest() {
        document::ContentFactories().Pattern = [](document::TqzPDDocument& doc, document::TqzPDResource* res,
                                                  core::TqzPDBaseObject* object, const std::string& tag) {
            return std::make_unique<document::TqzPDPattern>(&doc, res, object, tag);
        };
    }
    ~ResourceTest() override { document::ContentFactories().Pattern = nullptr; }

    // Runs `content` as the page's only stream; the stream stays for its state.
    Lines Run(const std::string& content, const Lines& names) {
        file = std::make_unique<OnePageFile>(
            "/Resources << /ExtGState << /Half << /CA 0.5 >> /None << /LW 3 >> "
            "/Mask << /SMask << /G 5 0 R >> /ca 0.25 >> /NoGroup << /SMask << /S /Alpha >> >> >> "
            "/Pattern << /P1 << /PatternType 1 >> >> /ColorSpace << /CS0 /DeviceCMYK /CS1 [/Pattern] >> >> "
            "/Contents 4 0 R");
        file->Builder.SetStream(4, "<< >>", content);
        file->Builder.SetStream(5, "<< /Subtype /Form /BBox [0 0 1 1] /Group << /S /Transparency >> >>", "");
        file->Load();
        stream = file->Contents()->GetStream(0);
        device = std::make_unique<RecordingDevice>();
        stream->Display(*device, 72, 72, 1, 0, nullptr, nullptr);
        return device->Lines(names);
    }
    TqzPDState& State() { return *stream->GetCurrentState(); }

    std::unique_ptr<OnePageFile> file;
    TqzPDContentStream* stream = nullptr;
    std::unique_ptr<RecordingDevice> device;
};

TEST_F(ResourceTest, ExtGStateSetsOnlyTheAlphasAndTheSoftMask) {
    const Lines names = {"EndExGState", "UpdateStrokeOpacity", "UpdateFillOpacity", "DrawFormXObject",
                         "UpdateExGStateforGroup", "UpdateLineWidth"};
    EXPECT_EQ(Run("/Half gs /None gs /Missing gs", names),
              (Lines{"EndExGState", "UpdateStrokeOpacity 0.5", "UpdateFillOpacity 1", "EndExGState",
                     "UpdateStrokeOpacity 0.5", "UpdateFillOpacity 1", "EndExGState"}));
    EXPECT_EQ(Run("/Mask gs /NoGroup gs 0 0 m 1 1 l S", names),
              (Lines{"EndExGState", "UpdateStrokeOpacity 1", "UpdateFillOpacity 0.25", "DrawFormXObject Tag smask",
                     "UpdateExGStateforGroup", "EndExGState", "UpdateStrokeOpacity 1", "UpdateFillOpacity 0.25"}));
    // The soft-mask mark is the soft mask's alone.
    EXPECT_FALSE(device->FCurrentDrawingIsSMask);
}

TEST_F(ResourceTest, PatternsAndColourSpacesFromResources) {
    const Lines names = {"UpdateFillColorSpace", "UpdateFillColor", "UpdateStrokeColorSpace", "UpdateStrokeColor"};
    EXPECT_EQ(Run("/CS0 cs /Pattern cs /P1 scn", names),
              (Lines{"UpdateFillColorSpace DeviceCMYK", "UpdateFillColor 0 0 0 1", "UpdateFillColorSpace Pattern"}));
    ASSERT_NE(State().GetFillPattern(), nullptr);
    EXPECT_TRUE(State().GetFillPattern()->IsName("P1"));
    EXPECT_FALSE(State().GetFillColorSpace() == nullptr);

    // k clears the fill pattern; K leaves the stroke pattern.
    Run("/Pattern cs /P1 scn /Pattern CS /P1 SCN 0 0 0 1 k 0 0 0 1 K", {});
    EXPECT_EQ(State().GetFillPattern(), nullptr);
    ASSERT_NE(State().GetStrokePattern(), nullptr);
    // A name that is no pattern clears the fill pattern.
    Run("/Pattern cs /P1 scn /Nothing scn", {});
    EXPECT_EQ(State().GetFillPattern(), nullptr);
    // SCN with components needs the pattern space's underlying space.
    EXPECT_EQ(Run("/Pattern CS 1 /P1 SCN", {"UpdateStrokeColor"}), Lines{"UpdateStrokeColor 0"});
    EXPECT_EQ(State().GetStrokePattern(), nullptr);
}

}  // namespace
}  // namespace qz::content

namespace qz::content {
namespace {

class ImageParent : public RecordingDevice {
public:
    void DrawImage(TqzPDState&, TqzPDImage& Image) override { parents.push_back(Image.GetParentElement()); }
    std::vector<core::TqzPDElement*> parents;
};

// An inline image of a page's content hangs from the page.
TEST(PDContentStream, InlineImagesBelongToThePage) {
    OnePageFile file("/Contents 4 0 R");
    file.Builder.SetStream(4, "<< >>", "BI /W 1 /H 1 /BPC 8 /CS /G ID x EI");
    file.Load();
    ImageParent device;
    file.Contents()->GetStream(0)->Display(device, 72, 72, 1, 0, nullptr, nullptr);
    file.Contents()->Display(device, 72, 72, 1, 0, nullptr, nullptr, false);
    EXPECT_EQ(device.parents, (std::vector<core::TqzPDElement*>{&file.Page(), &file.Page()}));
}

}  // namespace
}  // namespace qz::content

namespace qz::content {
namespace {

// A flood of q stops copying the state at the save limit; the Q beyond it
// undo the refused saves first, so the balance still holds.
TEST(PDContentStream, SaveFloodIsBounded) {
    const int32_t extra = 100;
    std::string content;
    for (int32_t i = 0; i < kMaxSaveDepth + extra; ++i) content += "q ";
    content += "5 w ";
    for (int32_t i = 0; i < kMaxSaveDepth + extra + 3; ++i) content += "Q ";
    RecordingDevice device;
    core::TqzPDStream stream(std::make_shared<core::TqzMemoryStream>(content + "7 w"),
                             std::make_unique<core::TqzPDDictionary>());
    TqzPDContentStream interpreter(nullptr, nullptr, &stream);
    interpreter.Display(device, 72, 72, 1, 0, nullptr, nullptr);
    EXPECT_EQ(device.Lines({"SaveState"}).size(), static_cast<size_t>(kMaxSaveDepth));
    EXPECT_EQ(device.Lines({"RestoreState"}).size(), static_cast<size_t>(kMaxSaveDepth));
    EXPECT_DOUBLE_EQ(interpreter.GetCurrentState()->GetLineWidth(), 7);
}

}  // namespace
}  // namespace qz::content
