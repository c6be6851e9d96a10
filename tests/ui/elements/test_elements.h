// Elements for the tree's tests: a picture that draws a QImage at its content corner, a
// recorder of protocol hooks and pointer calls, and a host stand-in that counts invalidations.
#pragma once

#include "ui/elements/drawing_surface.h"
#include "ui/elements/layout_element.h"
#include "ui/elements/panel.h"

#include <QColor>
#include <QImage>

#include <memory>
#include <string>
#include <vector>

namespace testing_elements {

inline QImage Solid(int w, int h, QColor color)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return image;
}

// Writes the protocol's and the pointer's calls into a shared log as "<tag>:<what>".
struct Log {
    std::vector<std::string> entries;
    void Add(const std::string& s) { entries.push_back(s); }
    void Clear() { entries.clear(); }
};

inline std::string Utf8(ui::PropertyName name)
{
    return std::string(name.begin(), name.end());
}

// A leaf element that shows an image at its content rectangle's corner (its natural size) and
// records what happens to it.
class Picture : public ui::LayoutElement {
public:
    explicit Picture(QImage image = {}, std::string tag = "p", Log* log = nullptr)
        : m_image(std::move(image)), m_tag(std::move(tag)), m_log(log)
    {
    }

    void MakeInteractive() { SetIsInteractive(true); }
    void SetMeasuredOverride(ui::Size s)
    {
        m_fixed = s;
        m_hasFixed = true;
    }
    int measures = 0;
    int renders = 0;
    ui::Size lastAvailable;
    ui::Rect lastContent;

    void OnMouseDown(ui::Point p) override { Record("down@" + Pt(p)); }
    void OnMouseMove(ui::Point p) override { Record("move@" + Pt(p)); }
    void OnMouseLeave() override { Record("leave"); }

    // Exposes the pass-only setters for tests of the protocol.
    void PokeX(std::int32_t v) { SetX(v); }
    void PokeDesiredSize(ui::Size v) { SetDesiredSize(v); }

protected:
    void OnPropertyChanging(ui::PropertyName n) override { Record("changing:" + Utf8(n)); }
    void OnPropertyChanged(ui::PropertyName n) override { Record("changed:" + Utf8(n)); }
    void MeasureOverride(ui::Size available) override
    {
        ++measures;
        lastAvailable = available;
        ui::Size s = m_hasFixed ? m_fixed : ui::Size{m_image.width(), m_image.height()};
        if (Width() != ui::Unset)
            s.width = Width();
        if (Height() != ui::Unset)
            s.height = Height();
        SetDesiredSize(s);
    }
    void RenderOverride(ui::DrawingSurface& surface, ui::Rect content) override
    {
        ++renders;
        lastContent = content;
        if (!m_image.isNull())
            surface.DrawImage(m_image, {content.x, content.y, m_image.width(), m_image.height()},
                              {0, 0, m_image.width(), m_image.height()});
    }

private:
    static std::string Pt(ui::Point p) { return std::to_string(p.x) + "," + std::to_string(p.y); }
    void Record(const std::string& what)
    {
        if (m_log)
            m_log->Add(m_tag + ":" + what);
    }

    QImage m_image;
    std::string m_tag;
    Log* m_log;
    ui::Size m_fixed;
    bool m_hasFixed = false;
};

// Counts what reaches a host through HostCallback.
struct FakeHost {
    std::vector<std::pair<std::string, int>> calls;
    Log* log = nullptr;
    static void Callback(void* context, ui::PropertyName name, int visualOnly)
    {
        auto* self = static_cast<FakeHost*>(context);
        self->calls.emplace_back(Utf8(name), visualOnly);
        if (self->log)
            self->log->Add("host:" + Utf8(name) + ":" + std::to_string(visualOnly));
    }
    void Attach(ui::LayoutElement& root)
    {
        root.SetHostCallback(&Callback);
        root.SetHostContext(this);
    }
};

// Records the observer calls of one element.
struct Observer {
    std::vector<std::string> names;
    Log* log = nullptr;
    static void Callback(void* context, ui::PropertyName name)
    {
        auto* self = static_cast<Observer*>(context);
        self->names.push_back(Utf8(name));
        if (self->log)
            self->log->Add("observer:" + Utf8(name));
    }
    void Attach(ui::LayoutElement& e)
    {
        e.SetChangeCallback(&Callback);
        e.SetChangeContext(this);
    }
};

} // namespace testing_elements
