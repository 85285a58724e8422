#pragma once
// Pictures the program draws itself: the glyphs of the flat buttons (each in
// a normal and a disabled look), the mode glyph of the info panel, the title
// picture and the about picture.
#include "Controls.h"

#include <QImage>
#include <cstdint>

enum class Glyph { Synchro, Eject, Play, Rewind, Pause, Stop, Record, Clock, Sound, Minimize, Close, Menu };

// Draws the glyph centred in rect. Disabled: grey with a white relief.
void PaintGlyph(QPainter& p, const QRect& rect, Glyph glyph, bool enabled);
FlatGlyphButton::Painter GlyphPainter(Glyph glyph);

// The mode glyph on black: green strokes, red for recording. Modes outside
// the known set leave the picture black and return false.
bool DrawActionGlyph(QImage& bitmap, uint32_t mode);

constexpr int kTitlePictureSize = 32;
QImage TitlePicture();
QImage AboutPicture(int width, int height);
