#pragma once
// The sources of pages whose whole content an interpreter must read: one
// text each for Ghostscript, LaTeX and the SVG renderer, so the fixture
// makers in Fixtures.cpp can hash what decides their bytes. Every page mixes
// the kinds of content other producers write: filled, stroked and clipped
// paths, text, images drawn through XObjects and inline, and (LaTeX, SVG)
// forms and shadings.

#include <string>

namespace qz::integration {

// Two pages of PostScript: paths painted every way (fill, stroke, even-odd,
// dashed, rectangles), a clip, text in a standard font, an 8x8 grey image
// and a 16x16 stencil mask small enough to be written inline, and a 64x48
// colour image drawn twice from one XObject.
std::string ContentPostScript();

// A two-page LaTeX document: text with rules and a box, a TikZ picture
// (curves, circles, fill and stroke, a clip, a shading, an even-odd fill,
// dashes, transparency), picture-mode lines, a PNG image drawn twice and a
// PDF page included as a form. `imageFile` and `pdfFile` are the paths the
// document includes.
std::string ContentLatex(const std::string& imageFile, const std::string& pdfFile);

// An SVG picture with linear and radial gradients, a stroked circle, a
// Bezier path, an even-odd polygon, a translucent group and text.
std::string ContentSvg();

}  // namespace qz::integration
