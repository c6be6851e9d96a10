// For the tree's tests: a recorder in the place of a host and an observer, and a probe of the
// tree lock from another thread.
#pragma once

#include "../test_frames.h"
#include "ui/elements/panel.h"
#include "ui/elements/tree_lock.h"

#include <thread>

namespace testing_elements {

using uitest::Log;
using uitest::Picture;
using uitest::RenderFrame;
using uitest::Solid;
using uitest::Utf8;

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
