#pragma once
// The Multi-GNSS sky plot: every constellation's satellites of the last
// epoch, each system in its own colour, used ones filled and the others
// outlined, with a legend of the systems in view in the top-left corner.
#include <QImage>

struct GnssPicture;

void DrawGnssSky(QImage& sky, const GnssPicture& picture);
