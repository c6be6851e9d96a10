// A thread-safe mirror of one native window for the render thread: whether it still exists,
// whether it is visible, and which object is its parent. The GUI thread keeps it current by
// itself (an event filter on the window and the destroyed signals of window and parent), so
// a render pass can post a move without touching the window.
#pragma once

#include "ui/elements/geometry.h"

#include <QObject>
#include <QPointer>

#include <memory>
#include <mutex>

namespace ui {

class WindowHandle : public std::enable_shared_from_this<WindowHandle> {
public:
    // GUI thread: starts mirroring window (a QWidget or any QObject with a "visible" property
    // and Show/Hide events). Null for a null window.
    static std::shared_ptr<WindowHandle> Track(QObject* window);

    ~WindowHandle();
    WindowHandle(const WindowHandle&) = delete;
    WindowHandle& operator=(const WindowHandle&) = delete;

    // Any thread: when the window exists, is visible and has a parent, posts to the parent's
    // thread the move of the window to r (in the parent's coordinates) and returns true;
    // otherwise posts nothing.
    bool PostMove(const Rect& r);

    // Snapshots, any thread.
    bool Exists() const;
    bool IsVisible() const;

private:
    friend class WindowTracker;
    WindowHandle() = default;

    void SetParent(QObject* parent);

    mutable std::mutex m_mutex;
    QObject* m_window = nullptr; // null once destroyed
    QObject* m_parent = nullptr; // null once destroyed or without parent
    bool m_visible = false;
    QMetaObject::Connection m_parentDestroyed;
};

} // namespace ui
