// Elements for the tree's tests: a picture that draws a QImage at its content corner and records
// protocol hooks and pointer calls, and stand-ins for a host and an observer.
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

// What reaches a host through HostCallback.
struct FakeHost {
    std::vector<std::pair<std::string, int>> calls;
    Log* log = nullptr;
    static void Callback(void* context, ui::PropertyName name, int visualOnly)
    {
        auto* self = static_cast<FakeHost*>(context);
        self->calls.emplace_back(Utf8(name), visualOnly);
        if (self->log)
            self->log->push_back("host:" + Utf8(name) + ":" + std::to_string(visualOnly));
    }
    void Attach(ui::LayoutElement& root)
    {
        root.SetHostCallback(&Callback);
        root.SetHostContext(this);
    }
};

// The observer calls of one element.
struct Observer {
    std::vector<std::string> names;
    Log* log = nullptr;
    static void Callback(void* context, ui::PropertyName name)
    {
        auto* self = static_cast<Observer*>(context);
        self->names.push_back(Utf8(name));
        if (self->log)
            self->log->push_back("observer:" + Utf8(name));
    }
    void Attach(ui::LayoutElement& e)
    {
        e.SetChangeCallback(&Callback);
        e.SetChangeContext(this);
    }
};

} // namespace testing_elements
