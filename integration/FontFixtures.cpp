#include "integration/FontFixtures.h"

#include "testing/PdfBuilder.h"

namespace qz::integration {

std::string FontsLatexTimes() {
    return R"tex(\documentclass{article}
\usepackage[T1]{fontenc}
\usepackage{times}
\usepackage{helvet}
\pagestyle{empty}
\begin{document}
Times text with ligatures: office affine, and na\"ive caf\'e.

\textsf{Helvetica text in sans serif words.} \texttt{Courier mono text.}

\textbf{Bold Times} and \textit{italic Times}.

Math in Computer Modern: $\alpha + \beta = \gamma x_i$.
\end{document}
)tex";
}

std::string FontsLatexModern() {
    return R"tex(\documentclass{article}
\usepackage[T1]{fontenc}
\usepackage{lmodern}
\pagestyle{empty}
\begin{document}
Latin Modern Roman text: office, fluffy and \"uber na\"ive.

\textbf{Latin Modern bold} and \textsf{Latin Modern Sans} and \texttt{typewriter}.
\end{document}
)tex";
}

std::string FontsLatexBitmap() {
    return R"tex(\documentclass{article}
\usepackage[T1]{fontenc}
\pagestyle{empty}
\begin{document}
Bitmap text from the EC fonts.
\end{document}
)tex";
}

std::string FontsLuatex() {
    return R"tex(\documentclass{article}
\usepackage{fontspec}
\setmainfont{DejaVu Serif}
\newfontfamily\cffsans{Latin Modern Sans}
\newfontfamily\cjk{Noto Sans CJK SC}
\pagestyle{empty}
\begin{document}
TrueType text through LuaTeX: the quick brown fox.

{\cffsans OpenType CFF text jumps over the lazy dog.}

{\cjk 中文字体测试：汉字}
\end{document}
)tex";
}

std::string FontsPostScript() {
    return R"ps(%!PS
<< /PageSize [612 792] >> setpagedevice
/Helvetica findfont 20 scalefont setfont 72 720 moveto (Helvetica standard text) show
/Times-Bold findfont 18 scalefont setfont 72 690 moveto (Times bold words) show
/Courier findfont 14 scalefont setfont 72 660 moveto (Courier fixed pitch) show
/Symbol findfont 16 scalefont setfont 72 630 moveto (abgd) show
/ZapfDingbats findfont 16 scalefont setfont 72 600 moveto (34) show
/Helvetica-Oblique findfont dup length dict begin
  { 1 index /FID ne { def } { pop pop } ifelse } forall
  /Encoding ISOLatin1Encoding def currentdict end /HelvLatin1 exch definefont pop
/HelvLatin1 findfont 16 scalefont setfont 72 570 moveto (Re-encoded caf\351 na\357ve) show
/NimbusSans-Bold findfont 16 scalefont setfont 72 540 moveto (Embedded URW font) show
/C059-Roman findfont 16 scalefont setfont 72 510 moveto (Century Schoolbook) show
showpage
/Times-Roman findfont 18 scalefont setfont 72 720 moveto (Second page in Times) show
/Helvetica findfont 12 scalefont setfont 72 690 moveto (Helvetica again) show
showpage
)ps";
}

std::string FontsCjkSvg() {
    return R"svg(<svg xmlns="http://www.w3.org/2000/svg" width="320" height="100">
  <text x="10" y="40" font-family="Noto Sans CJK SC" font-size="24">中文字体测试和汉字</text>
  <text x="10" y="80" font-family="Noto Serif CJK JP" font-size="24">日本語の文字</text>
</svg>
)svg";
}

std::string FontsPredefinedCMaps() {
    testing::PdfBuilder b;
    b.Add("<< /Type /Catalog /Pages 2 0 R >>");
    b.Add("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Add("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 400 200] /Contents 4 0 R"
          " /Resources << /Font << /F1 5 0 R /F2 6 0 R >> >> >>");
    // The same characters (three ideographs, then ABC) in each encoding.
    b.AddStream("<< >>",
                "BT /F1 24 Tf 20 140 Td <93FA967B8CEA414243> Tj ET\n"
                "BT /F2 24 Tf 20 80 Td <65E5672C8A9E004100420043> Tj ET\n");
    b.Add("<< /Type /Font /Subtype /Type0 /BaseFont /Ryumin-Light /Encoding /90ms-RKSJ-H"
          " /DescendantFonts [7 0 R] >>");
    b.Add("<< /Type /Font /Subtype /Type0 /BaseFont /Ryumin-Light /Encoding /UniJIS-UCS2-H"
          " /DescendantFonts [7 0 R] >>");
    b.Add("<< /Type /Font /Subtype /CIDFontType0 /BaseFont /Ryumin-Light"
          " /CIDSystemInfo << /Registry (Adobe) /Ordering (Japan1) /Supplement 2 >>"
          " /FontDescriptor 8 0 R /DW 1000 /W [231 [500 500 500]] >>");
    b.Add("<< /Type /FontDescriptor /FontName /Ryumin-Light /Flags 6 /FontBBox [-170 -331 1024 903]"
          " /ItalicAngle 0 /Ascent 723 /Descent -241 /CapHeight 709 /StemV 69 >>");
    return b.Write();
}

}  // namespace qz::integration
