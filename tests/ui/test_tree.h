// For the tests of the element tree, the controls and the host: pictures, a picture element, a
// render pass, and a probe of the tree lock.
#pragma once

#include "ui/elements/drawing_surface.h"
#include "ui/elements/layout_element.h"
#include "ui/elements/panel.h"
#include "ui/elements/tree_lock.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace uitest {

// In the frames' format.
inline QImage Solid(int w, int h, QColor c)
{
    QImage image(w, h, ui::kFramePixelFormat);
    image.fill(c);
    return image;
}

// A disc with a soft, anti-aliased edge on a transparent ground: the shape of the skin.
inline QImage Disc(int w, int h, QColor c)
{
    QImage image = Solid(w, h, Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(QRectF(0, 0, w, h));
    return image;
}

inline std::shared_ptr<const QImage> Filled(int w, int h, QRgb c)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(QColor::fromRgba(c));
    return std::make_shared<const QImage>(std::move(image));
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

// The pointer calls, in the order they came.
using Log = std::vector<std::string>;

// A leaf element that shows an image at its content rectangle's corner, at its natural size
// (or Width x Height, or the size it is told to measure as). It counts its passes and presses,
// can be made to take its time rendering, and writes its pointer calls into a log as
// "<tag>:<what>".
class Picture : public ui::LayoutElement {
public:
    explicit Picture(QImage image = {}, std::string tag = "p", Log* log = nullptr)
        : m_image(std::move(image)), m_tag(std::move(tag)), m_log(log)
    {
    }

    void MakeInteractive() { SetIsInteractive(true); }
    void SetMeasuredOverride(ui::Size s) { m_fixed = s; }
    std::atomic<int> measures{0};
    std::atomic<int> renders{0}; // finished
    std::atomic<int> presses{0};
    std::atomic<int> renderDelayMs{0};
    std::atomic<bool> rendering{false};
    ui::Size lastAvailable;
    ui::Rect lastContent;

    void OnMouseDown(ui::Point p) override
    {
        ++presses;
        Record("down@" + Pt(p));
    }
    void OnMouseMove(ui::Point p) override { Record("move@" + Pt(p)); }
    void OnMouseLeave() override { Record("leave"); }

protected:
    void MeasureOverride(ui::Size available) override
    {
        ++measures;
        lastAvailable = available;
        ui::Size s = m_fixed ? *m_fixed : ui::Size{m_image.width(), m_image.height()};
        if (Width() != ui::Unset)
            s.width = Width();
        if (Height() != ui::Unset)
            s.height = Height();
        SetDesiredSize(s);
    }
    void RenderOverride(ui::DrawingSurface& surface, ui::Rect content) override
    {
        rendering = true;
        QThread::msleep(static_cast<unsigned long>(renderDelayMs.load()));
        lastContent = content;
        if (!m_image.isNull())
            surface.DrawImage(m_image, {content.x, content.y, m_image.width(), m_image.height()},
                              {0, 0, m_image.width(), m_image.height()});
        rendering = false;
        ++renders;
    }

private:
    static std::string Pt(ui::Point p) { return std::to_string(p.x) + "," + std::to_string(p.y); }
    void Record(const std::string& what)
    {
        if (m_log)
            m_log->push_back(m_tag + ":" + what);
    }

    QImage m_image;
    std::string m_tag;
    Log* m_log;
    std::optional<ui::Size> m_fixed;
};

inline bool OtherThreadCanLock()
{
    bool locked = false;
    std::thread t([&] {
        if ((locked = ui::TreeLock().try_lock()))
            ui::TreeLock().unlock();
    });
    t.join();
    return locked;
}

} // namespace uitest
