#pragma once
// The 16 by 16 glyphs of the window's buttons, drawn by our own code so that
// they look the same on machines without an icon theme.

#include <QPixmap>

namespace qz::app {

inline constexpr int kGlyphSize = 16;

enum class ArrowDirection { Up, Down };

// A white arrow in a dark circle.
QPixmap arrowGlyph(ArrowDirection direction);
// A floppy disk.
QPixmap floppyGlyph();
// A white cross on a red square.
QPixmap exitGlyph();

}  // namespace qz::app
