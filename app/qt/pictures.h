// The program's pictures, drawn as SVG in resources/icons and compiled in.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>

// A picture by resource number at its natural size: the 64 x 16 animation frames, the two
// bitmaps, or the application icon at 32 x 32 (or 16 x 16 when asked for that size).
QPixmap LoadPicture(int id, QSize size = QSize());
QSize PictureSize(int id);
// The application icon with both of its sizes.
QIcon ApplicationIcon();
// A string resource; empty when there is none with that number.
QString LoadResourceString(int id);
