#include "integration/ContentFixtures.h"

namespace qz::integration {

std::string ContentPostScript() {
    return R"ps(%!PS
<< /PageSize [612 792] >> setpagedevice
/img 64 48 mul 3 mul string def
0 1 img length 1 sub { img exch dup 7 mul 256 mod put } for
/drawimg { gsave translate 128 96 scale 64 48 8 [64 0 0 -48 0 48] img false 3 colorimage grestore } def
/Helvetica findfont 24 scalefont setfont
72 720 moveto (Paths, text and images) show
newpath 72 600 moveto 172 680 lineto 272 600 lineto closepath
gsave 0.9 0.2 0.1 setrgbcolor fill grestore 3 setlinewidth stroke
newpath 320 600 moveto 360 700 400 560 460 650 curveto 0 0 1 setrgbcolor 2 setlinewidth stroke
newpath 100 450 moveto 160 550 lineto 220 450 lineto 80 510 lineto 240 510 lineto closepath
0 0.6 0 setrgbcolor eofill
gsave newpath 300 420 moveto 420 420 lineto 360 540 lineto closepath clip
  newpath 0.5 setgray 280 400 moveto 440 560 lineto 10 setlinewidth stroke
grestore
[6 3] 0 setdash 72 380 moveto 540 380 lineto 1 setlinewidth 0 setgray stroke [] 0 setdash
0.2 0.2 0.7 setrgbcolor 72 200 100 60 rectfill 200 200 100 60 rectstroke
gsave 340 200 translate 8 8 scale
  8 8 8 [8 0 0 8 0 0] <00204060809fbfdf20406080a0c0e0ff406080a0c0e0ff00> image
grestore
gsave 460 200 translate 32 32 scale 0 0.5 0.5 setrgbcolor
  16 16 true [16 0 0 16 0 0]
  <f00ff00ff00ff00f0ff00ff00ff00ff0f00ff00ff00ff00f0ff00ff00ff00ff0f00ff00ff00ff00f0ff00ff00ff00ff0f00ff00ff00ff00f0ff00ff00ff00ff0>
  imagemask
grestore
showpage
/Times-Roman findfont 18 scalefont setfont
72 720 moveto (Second page) show
72 500 drawimg 300 500 drawimg
newpath 72 300 moveto 200 420 300 180 500 300 curveto 400 250 lineto closepath
gsave 1 1 0 setrgbcolor fill grestore stroke
showpage
)ps";
}

std::string ContentLatex(const std::string& imageFile, const std::string& pdfFile) {
    return R"tex(\documentclass{article}
\usepackage{tikz}
\usepackage{graphicx}
\pagestyle{empty}
\begin{document}
Text with a rule \rule{3cm}{0.4pt} and a box \fbox{boxed}.

\begin{tikzpicture}
\draw[thick,red] (0,0) -- (2,1) .. controls (3,2) .. (4,0);
\fill[blue!30] (1,1) circle (0.5);
\filldraw[fill=green,draw=black] (5,0) rectangle (6,1);
\begin{scope}
\clip (0,0) rectangle (2,2);
\draw (0,0) grid (3,3);
\end{scope}
\shade[left color=red,right color=blue] (7,0) rectangle (8,1);
\end{tikzpicture}

\setlength{\unitlength}{1pt}
\begin{picture}(100,50)\put(0,0){\line(1,0){40}}\put(0,10){\line(1,1){30}}\end{picture}

\includegraphics[width=3cm]{)tex" + imageFile + R"tex(}
\includegraphics[width=3cm]{)tex" + pdfFile + R"tex(}
\newpage
\begin{tikzpicture}
\fill[even odd rule,orange] (0,0) circle (1) (0,0) circle (0.5);
\draw[dashed,thick] (2,0) -- (5,1);
\fill[blue,opacity=0.5] (1,-1) rectangle (3,0.5);
\draw[->,very thick] (0,-2) to[bend left] (4,-2);
\end{tikzpicture}

\includegraphics[width=2cm]{)tex" + imageFile + R"tex(}
\end{document}
)tex";
}

std::string ContentSvg() {
    return R"svg(<svg xmlns="http://www.w3.org/2000/svg" width="200" height="150" viewBox="0 0 200 150">
  <defs>
    <linearGradient id="g1" x1="0" y1="0" x2="1" y2="0">
      <stop offset="0" stop-color="#f00"/><stop offset="1" stop-color="#00f"/>
    </linearGradient>
    <radialGradient id="g2"><stop offset="0" stop-color="#ff0"/><stop offset="1" stop-color="#080"/></radialGradient>
  </defs>
  <rect x="10" y="10" width="80" height="40" fill="url(#g1)"/>
  <circle cx="140" cy="40" r="30" fill="url(#g2)" stroke="black" stroke-width="2"/>
  <path d="M10 80 C 40 60, 70 120, 100 80 S 160 40, 190 80" fill="none" stroke="#036" stroke-width="3"/>
  <polygon points="20,140 60,100 100,140" fill="#c60" fill-rule="evenodd"/>
  <g opacity="0.5"><rect x="120" y="90" width="30" height="20" fill="#909"/><circle cx="150" cy="110" r="10" fill="#099"/></g>
  <text x="110" y="140" font-family="DejaVu Sans" font-size="16">SVG text</text>
</svg>
)svg";
}

}  // namespace qz::integration
