// For the tests of the element tree, the controls and the host: pictures, a picture element, a
// recorder in the place of a host, the render pass, and a probe of the tree lock.
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

// The protocol's and the pointer's calls, in the order they came.
using Log = std::vector<std::string>;

inline std::string Utf8(ui::PropertyName name)
{
    return std::string(name.begin(), name.end());
}

// A leaf element that shows an image at its content rectangle's corner, at its natural size
// (or Width x Height, or the size it is told to measure as). It counts its passes and presses,
// can be made to take its time rendering, and writes its protocol hooks and pointer calls into
// a log as "<tag>:<what>".
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
    // The pass-only setters.
    void PokeX(std::int32_t v) { SetX(v); }
    void PokeDesiredSize(ui::Size v) { SetDesiredSize(v); }

protected:
    void OnPropertyChanging(ui::PropertyName n) override { Record("changing:" + Utf8(n)); }
    void OnPropertyChanged(ui::PropertyName n) override { Record("changed:" + Utf8(n)); }
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

// Stands in for a host: the HostCallback on a root.
struct Recorder {
    std::vector<std::pair<std::string, int>> calls;
    Log* log = nullptr;
    static void Host(void* context, ui::PropertyName name, int visualOnly)
    {
        auto* self = static_cast<Recorder*>(context);
        self->calls.emplace_back(Utf8(name), visualOnly);
        if (self->log)
            self->log->push_back("host:" + Utf8(name) + ":" + std::to_string(visualOnly));
    }
    void AttachHost(ui::LayoutElement& root)
    {
        root.SetHostCallback(&Host);
        root.SetHostContext(this);
    }
};

} // namespace uitest
