// Pictures and the render pass shared by the tests of the element tree, the controls and the host.
#pragma once

#include "ui/elements/drawing_surface.h"
#include "ui/elements/layout_element.h"

#include <QColor>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <memory>

namespace uitest {

inline QImage Solid(int w, int h, QColor c, QImage::Format f = QImage::Format_ARGB32_Premultiplied)
{
    QImage image(w, h, f);
    image.fill(c);
    return image;
}

// A disc with a soft, anti-aliased edge on a transparent ground: the shape of the skin.
inline QImage Disc(int w, int h, QColor c, QImage::Format f = QImage::Format_ARGB32_Premultiplied)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(QRectF(0, 0, w, h));
    p.end();
    return image.convertToFormat(f);
}

inline std::shared_ptr<const QImage> Filled(int w, int h, QRgb c)
{
    return std::make_shared<const QImage>(Solid(w, h, QColor::fromRgba(c), QImage::Format_ARGB32));
}

// Opaque; each pixel carries its own column in red and its row in green, so a pixel read from a
// frame tells which part of the picture landed there.
inline std::shared_ptr<const QImage> Coded(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgba(x, y, 200, 255));
    return std::make_shared<const QImage>(std::move(image));
}

// One measure and render pass, as the host's render thread makes a frame: root in r (its
// desired size when r is empty) of a fresh frame of the given size (else just large enough).
inline QImage RenderFrame(ui::LayoutElement& root, ui::Rect r = {}, ui::Size frame = {})
{
    root.Measure({ui::Unset, ui::Unset});
    if (r.width == 0 && r.height == 0)
        r = {0, 0, root.DesiredSize().width, root.DesiredSize().height};
    if (frame.width == 0)
        frame = {std::max(r.x + r.width, 1), std::max(r.y + r.height, 1)};
    QImage image = ui::CreateFrameBitmap(frame.width, frame.height);
    {
        ui::DrawingSurface surface(image);
        root.Render(surface, r);
    }
    return image;
}

} // namespace uitest
