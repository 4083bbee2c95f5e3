// Text shown through fonts: each character reaches DrawChar at the current
// point, which then moves by the character's advance with spacing, scaling
// and text-array adjustments applied.

#include <gtest/gtest.h>

#include "content/tests/FontTestSupport.h"

namespace qz::content {
namespace {

using testing::FontFile;
using testing::RecordingDevice;

// A symbolic simple font: codes are the bytes; A is 500 wide, B 600, space 250.
const char* const kSimpleFont =
    "<< /Type /Font /Subtype /TrueType /BaseFont /Foo /FirstChar 32 /LastChar 66 "
    "/Widths [250 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 500 600] "
    "/FontDescriptor << /Flags 4 >> >>";

std::vector<std::string> Shown(const std::string& font, const std::string& content,
                               const std::string& descendant = {}, bool cidToGid = true) {
    FontFile file(font, content);
    if (!descendant.empty()) file.With(5, descendant);
    RecordingDevice device;
    device.FUseDrawChar = true;
    device.FCIDToGIDNeeded = cidToGid;
    file.Load().Display(device);
    return device.Lines({"DrawChar"});
}

TEST(PDTextOperators, CharactersAdvanceByWidthAndSpacing) {
    struct Case {
        const char* content;
        std::vector<std::string> drawn;
    };
    const Case cases[] = {
        {"BT /F1 10 Tf (AB) Tj ET", {"DrawChar 0 0 5 0 65 ", "DrawChar 5 0 6 0 66 "}},
        {"BT /F1 10 Tf 1 Tc 2 Tw (A B) Tj ET",
         {"DrawChar 0 0 6 0 65 ", "DrawChar 6 0 5.5 0 32 ", "DrawChar 11.5 0 7 0 66 "}},
        {"BT /F1 10 Tf 50 Tz (AB) Tj ET", {"DrawChar 0 0 2.5 0 65 ", "DrawChar 2.5 0 3 0 66 "}},
        // Adjustments are thousandths of the font size, whatever its sign,
        // and are not scaled.
        {"BT /F1 -10 Tf 50 Tz [(A) -1000 (B)] TJ ET", {"DrawChar 0 0 -2.5 0 65 ", "DrawChar 7.5 0 -3 0 66 "}},
        {"BT /F1 10 Tf 20 30 Td (A) ' ET", {"DrawChar 20 30 5 0 65 "}},
        // A zero byte draws nothing and does not move.
        {"BT /F1 10 Tf <00410042> Tj ET", {"DrawChar 0 0 5 0 65 ", "DrawChar 5 0 6 0 66 "}},
        {"BT (A) Tj ET", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(Shown(kSimpleFont, c.content), c.drawn) << c.content;
}

TEST(PDTextOperators, CompositeAndType3Advances) {
    const std::string composite = "<< /Type /Font /Subtype /Type0 /BaseFont /Foo /Encoding /ENC /DescendantFonts [5 0 R] >>";
    const std::string descendant =
        "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /Foo /CIDSystemInfo << /Registry (Adobe) /Ordering "
        "(Identity) /Supplement 0 >> /DW 1000 /W [32 [500]] /FontDescriptor << /Flags 4 >> >>";
    const auto with = [&](const char* encoding) {
        std::string font = composite;
        font.replace(font.find("ENC"), 3, encoding);
        return font;
    };
    // Word spacing applies to the two-byte code 32 too.
    EXPECT_EQ(Shown(with("Identity-H"), "BT /F1 10 Tf 3 Tw <00200041> Tj ET", descendant),
              (std::vector<std::string>{"DrawChar 0 0 8 0 32 ", "DrawChar 8 0 10 0 65 "}));
    // Vertical text moves down by the widths; Td's y goes the other way.
    EXPECT_EQ(Shown(with("Identity-V"), "BT /F1 10 Tf 0 -14 Td <00200041> Tj ET", descendant),
              (std::vector<std::string>{"DrawChar 0 14 0 -5 32 ", "DrawChar 0 9 0 -10 65 "}));
    // A device that takes bytes gets each byte, the advance with the last.
    EXPECT_EQ(Shown(with("Identity-H"), "BT /F1 10 Tf <01410020> Tj ET", descendant, false),
              (std::vector<std::string>{"DrawChar 0 0 0 0 1 ", "DrawChar 0 0 10 0 65 ", "DrawChar 10 0 5 0 32 "}));
    // Type 3 widths are glyph units, taken to text space by the font matrix.
    const std::string type3 =
        "<< /Type /Font /Subtype /Type3 /FontMatrix [0.002 0 0 0.002 0 0] /FontBBox [0 0 500 500] /CharProcs << >> "
        "/Encoding << /Differences [65 /a] >> /FirstChar 65 /LastChar 65 /Widths [500] >>";
    EXPECT_EQ(Shown(type3, "BT /F1 10 Tf (AA) Tj ET"),
              (std::vector<std::string>{"DrawChar 0 0 10 0 97 a", "DrawChar 10 0 10 0 97 a"}));
}

}  // namespace
}  // namespace qz::content
