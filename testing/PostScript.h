#pragma once
// Small PostScript programs that Ghostscript turns into realistic PDF
// fixtures (MakeWithGhostscript). Every page draws "<marker>-k" (k = page
// number) so pdftotext can tell the pages apart after a merge.

#include <cstdint>
#include <string>

namespace qz::testing {

// `pages` US-Letter pages of text in `font` (a Ghostscript font name; the
// default is not one of the standard 14, so pdfwrite embeds a subset of it).
std::string PsTextPages(int32_t pages, const std::string& marker = "PAGE",
                        const std::string& font = "NimbusSans-Regular");
// Pages of strokes, curves and filled shapes in colour, with the marker.
std::string PsVectorPages(int32_t pages, const std::string& marker = "PAGE");
// One page holding a generated image of width x height samples, grey or RGB;
// `noise` makes the samples pseudo-random (hard to compress) instead of a
// smooth pattern.
std::string PsImagePage(int32_t width, int32_t height, bool color = false, bool noise = false,
                        const std::string& marker = "PAGE");
// One page of the given size in points and /Rotate (0, 90, 180, 270).
std::string PsSizedPage(double widthPoints, double heightPoints, int32_t rotate,
                        const std::string& marker = "PAGE");

// `text` as a PostScript string literal, parentheses and backslashes escaped.
std::string PsString(const std::string& text);

}  // namespace qz::testing
