// Elements for the tree's tests: a picture that draws a QImage at its content corner and records
// protocol hooks and pointer calls, and a recorder in the place of a host and an observer.
#pragma once

#include "../test_frames.h"
#include "ui/elements/panel.h"
#include "ui/elements/tree_lock.h"

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace testing_elements {

using uitest::RenderFrame;
using uitest::Solid;
// The protocol's and the pointer's calls as "<tag>:<what>".
using Log = std::vector<std::string>;

inline std::string Utf8(ui::PropertyName name)
{
    return std::string(name.begin(), name.end());
}

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

class Picture : public ui::LayoutElement {
public:
    explicit Picture(QImage image = {}, std::string tag = "p", Log* log = nullptr)
        : m_image(std::move(image)), m_tag(std::move(tag)), m_log(log)
    {
    }

    void MakeInteractive() { SetIsInteractive(true); }
    void SetMeasuredOverride(ui::Size s) { m_fixed = s; }
    int measures = 0;
    int renders = 0;
    ui::Size lastAvailable;
    ui::Rect lastContent;

    void OnMouseDown(ui::Point p) override { Record("down@" + Pt(p)); }
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
            m_log->push_back(m_tag + ":" + what);
    }

    QImage m_image;
    std::string m_tag;
    Log* m_log;
    std::optional<ui::Size> m_fixed;
};

// Stands in for a host (HostCallback on a root) and an observer (ChangeCallback on an element).
struct Recorder {
    std::vector<std::pair<std::string, int>> calls; // as the host
    std::vector<std::string> names;                 // as the observer
    Log* log = nullptr;
    static void Host(void* context, ui::PropertyName name, int visualOnly)
    {
        auto* self = static_cast<Recorder*>(context);
        self->calls.emplace_back(Utf8(name), visualOnly);
        if (self->log)
            self->log->push_back("host:" + Utf8(name) + ":" + std::to_string(visualOnly));
    }
    static void Changed(void* context, ui::PropertyName name)
    {
        auto* self = static_cast<Recorder*>(context);
        self->names.push_back(Utf8(name));
        if (self->log)
            self->log->push_back("observer:" + Utf8(name));
    }
    void AttachHost(ui::LayoutElement& root)
    {
        root.SetHostCallback(&Host);
        root.SetHostContext(this);
    }
    void AttachObserver(ui::LayoutElement& e)
    {
        e.SetChangeCallback(&Changed);
        e.SetChangeContext(this);
    }
};

} // namespace testing_elements
