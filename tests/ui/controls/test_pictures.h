// Small pictures for the control tests, made in code so each test states what it draws.
#pragma once

#include "ui/controls/png_resource.h"

#include <QImage>

namespace ui::testpics {

// Opaque; each pixel carries its own column in red and its row in green, so a pixel read
// from a frame tells which part of the picture landed there.
inline SharedImage Coded(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgba(x, y, 200, 255));
    return std::make_shared<const QImage>(std::move(image));
}

inline SharedImage Filled(int width, int height, QRgb colour)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(colour);
    return std::make_shared<const QImage>(std::move(image));
}

} // namespace ui::testpics
