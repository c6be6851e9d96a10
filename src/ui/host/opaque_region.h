// The part of a frame that belongs to the window on screen: every pixel whose alpha is above 0.
// It becomes the window's input mask, so clicks on fully transparent pixels reach the window below.
#pragma once

#include <QImage>
#include <QRegion>

namespace ui {

// The region of the pixels of image whose alpha is above 0, in the image's coordinates. Rows
// with the same runs are merged into one band, so a round skin gives a few hundred rectangles
// rather than one per row and run. An image without an alpha channel is opaque everywhere; a null
// image gives an empty region.
QRegion OpaqueRegion(const QImage& image);

} // namespace ui
