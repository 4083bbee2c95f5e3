#include "testing/PostScript.h"

#include <cstdio>
#include <stdexcept>

namespace qz::testing {

namespace {

std::string Number(double v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f", v);
    return buffer;
}

std::string Marker(const std::string& marker, int32_t page) {
    return PsString(marker + "-" + std::to_string(page));
}

}  // namespace

std::string PsString(const std::string& text) {
    std::string s = "(";
    for (char c : text) {
        if (c == '(' || c == ')' || c == '\\') s += '\\';
        s += c;
    }
    return s + ")";
}

std::string PsTextPages(int32_t pages, const std::string& marker, const std::string& font) {
    std::string ps = "%!PS-Adobe-3.0\n<< /PageSize [612 792] >> setpagedevice\n";
    ps += "/body /" + font + " findfont 11 scalefont def\n";
    ps += "/head /" + font + " findfont 24 scalefont def\n";
    for (int32_t k = 1; k <= pages; ++k) {
        ps += "head setfont 72 700 moveto " + Marker(marker, k) + " show\n";
        ps += "body setfont\n";
        for (int32_t line = 0; line < 6; ++line) {
            ps += "72 " + std::to_string(660 - 16 * line) + " moveto (Line " +
                  std::to_string(line + 1) + " of page " + std::to_string(k) +
                  ": the quick brown fox jumps over the lazy dog.) show\n";
        }
        // A bar placed by the page number makes renders of neighbouring pages differ.
        ps += "0.6 setgray " + std::to_string(72 + (k % 10) * 45) +
              " 100 40 200 rectfill 0 setgray\nshowpage\n";
    }
    return ps;
}

std::string PsVectorPages(int32_t pages, const std::string& marker) {
    std::string ps = "%!PS-Adobe-3.0\n<< /PageSize [612 792] >> setpagedevice\n";
    for (int32_t k = 1; k <= pages; ++k) {
        ps += "/Helvetica findfont 24 scalefont setfont 72 700 moveto " + Marker(marker, k) +
              " show\n";
        ps += "4 setlinewidth 0.8 0.1 0.1 setrgbcolor newpath 100 150 moveto 300 " +
              std::to_string(300 + 10 * (k % 20)) + " lineto 500 150 lineto stroke\n";
        ps += "0.1 0.3 0.8 setrgbcolor newpath 306 450 " + std::to_string(60 + 5 * (k % 10)) +
              " 0 360 arc fill\n";
        ps += "0.1 0.6 0.2 setrgbcolor newpath 100 550 moveto 200 650 400 450 500 600 curveto "
              "stroke\n";
        ps += "0 setgray 2 setlinewidth [6 3] 0 setdash 80 80 452 560 rectstroke [] 0 setdash\n";
        ps += "showpage\n";
    }
    return ps;
}

std::string PsImagePage(int32_t width, int32_t height, bool color, bool noise,
                        const std::string& marker) {
    if (width <= 0 || height <= 0) throw std::invalid_argument("image size must be positive");
    const int32_t channels = color ? 3 : 1;
    std::string ps = "%!PS-Adobe-3.0\n<< /PageSize [612 792] >> setpagedevice\n";
    ps += "/Helvetica findfont 24 scalefont setfont 72 700 moveto " + Marker(marker, 1) +
          " show\n";
    ps += "/w " + std::to_string(width) + " def /h " + std::to_string(height) + " def /ch " +
          std::to_string(channels) + " def\n";
    ps += "/row w ch mul string def /y 0 def 12345 srand\n";
    if (noise) {
        ps += "/fill { 0 1 w ch mul 1 sub { row exch rand -8 bitshift 255 and put } for } def\n";
    } else {
        // A diagonal gradient with a channel offset: smooth and clearly visible.
        ps += "/fill { 0 1 w ch mul 1 sub { /i exch def i ch idiv y add 255 mul w h add idiv "
              "i ch mod 85 mul add 255 and /v exch def row i v put } for } def\n";
    }
    ps += "/nextrow { fill /y y 1 add def row } def\n";
    ps += "gsave 72 150 translate 468 468 scale\n";
    ps += "w h 8 [w 0 0 h neg 0 h] /nextrow load ";
    ps += color ? "false 3 colorimage\n" : "image\n";
    ps += "grestore showpage\n";
    return ps;
}

std::string PsSizedPage(double widthPoints, double heightPoints, int32_t rotate,
                        const std::string& marker) {
    if (rotate % 90 != 0) throw std::invalid_argument("/Rotate must be a multiple of 90");
    std::string ps = "%!PS-Adobe-3.0\n<< /PageSize [" + Number(widthPoints) + " " +
                     Number(heightPoints) + "] >> setpagedevice\n";
    ps += "[ {ThisPage} << /Rotate " + std::to_string(rotate) + " >> /PUT pdfmark\n";
    ps += "/Helvetica findfont 18 scalefont setfont 20 " + Number(heightPoints - 40) +
          " moveto " + Marker(marker, 1) + " show\n";
    ps += "0.5 setgray 20 20 " + Number(widthPoints / 3) + " " + Number(heightPoints / 4) +
          " rectfill\nshowpage\n";
    return ps;
}

}  // namespace qz::testing
