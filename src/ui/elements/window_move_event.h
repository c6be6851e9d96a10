// "UM_MOVE_WindowElement": posted by a window element during a render pass (render thread) to
// the parent of the native window it places; the receiver, on the GUI thread, moves the
// window to Geometry() in its own client coordinates. The event owns its payload, so nothing
// leaks when nobody handles it.
//
// Thread-safety: the render thread never reads a QWidget member. The sender posts only through
// a WindowHandle (window_handle.h), a mirror of the window's existence, visibility and parent
// that the GUI thread keeps current under a mutex, so the receiver is alive when the event is
// posted (Qt drops posted events of a receiver that is destroyed later). The receiver should
// still check Window() before acting: the window may have gone, or been hidden, between the
// post and the delivery.
#pragma once

#include "ui/elements/geometry.h"

#include <QEvent>
#include <QObject>
#include <QPointer>

namespace ui {

class WindowMoveEvent : public QEvent {
public:
    // The event type, registered with QEvent::registerEventType() on first use (thread-safe).
    static QEvent::Type EventType();

    WindowMoveEvent(QPointer<QObject> window, Rect geometry);

    // The window to move; null when it has been destroyed since the post.
    QObject* Window() const { return m_window.data(); }
    // The window's new rectangle, in client coordinates of the receiving parent.
    const Rect& Geometry() const { return m_geometry; }

private:
    QPointer<QObject> m_window;
    Rect m_geometry;
};

} // namespace ui
