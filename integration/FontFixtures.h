#pragma once
// The sources of the font fixtures: documents whose fonts are of every kind
// the font models read, as the producers most files come from write them.
// Fixtures.cpp turns each into a recipe; the texts here are what decides
// their bytes. Every page shows plain text an outside extractor reads back:
// no accents built from two glyphs, no words split across lines.

#include <string>

namespace qz::integration {

// pdfLaTeX with times and helvet over T1 encoding (URW Type 1 fonts with
// /Differences, ToUnicode maps) and Computer Modern math (Type 1 fonts with
// their built-in encodings).
std::string FontsLatexTimes();

// pdfLaTeX with Latin Modern in T1 encoding: Type 1 fonts with /Differences.
std::string FontsLatexModern();

// pdfLaTeX with T1-encoded EC fonts and no Type 1 version of them
// installed: TeX makes bitmap fonts, written as Type 3 fonts whose glyph
// names carry no Unicode.
std::string FontsLatexBitmap();

// LuaLaTeX with fontspec: a TrueType font (DejaVu Serif), an OpenType CFF
// font (Latin Modern Sans) and a CJK OpenType collection (Noto Sans CJK),
// all written as Identity-H composite fonts.
std::string FontsLuatex();

// PostScript for Ghostscript: the standard fonts not embedded (Helvetica,
// Times-Bold, Courier, Symbol, ZapfDingbats), a re-encoded standard font,
// and URW fonts that are embedded as CFF subsets.
std::string FontsPostScript();

// An SVG page of Chinese and Japanese text in the Noto CJK fonts, for
// rsvg-convert (cairo): composite CFF subsets.
std::string FontsCjkSvg();

// A hand-made file whose Type 0 fonts use predefined CMaps and name a
// Japanese font that is not embedded: one with /90ms-RKSJ-H (Shift-JIS
// codes), one with /UniJIS-UCS2-H (UCS-2 codes), both showing the same
// three characters.
std::string FontsPredefinedCMaps();

}  // namespace qz::integration
