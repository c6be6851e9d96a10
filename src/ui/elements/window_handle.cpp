// Keeps a WindowHandle current from the GUI thread.
#include "ui/elements/window_handle.h"

#include "platform/post_to.h"

#include <QEvent>
#include <QPointer>
#include <QRect>
#include <QVariant>

namespace ui {

// Lives on the GUI thread as a child of the window, so it dies with it.
class WindowTracker : public QObject {
public:
    WindowTracker(QObject* window, std::shared_ptr<WindowHandle> handle)
        : QObject(window), m_handle(std::move(handle))
    {
        window->installEventFilter(this);
        // Direct: runs in the destroying thread before the object is gone, and waits for a
        // render pass that is posting at that moment.
        connect(
            window, &QObject::destroyed, this,
            [h = m_handle] {
                std::lock_guard lock(h->m_mutex);
                h->m_window = nullptr;
                h->m_visible = false;
            },
            Qt::DirectConnection);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::Hide:
            // Spontaneous ones come from the window system (minimising) and do not change
            // whether the window counts as shown.
            if (!event->spontaneous()) {
                std::lock_guard lock(m_handle->m_mutex);
                m_handle->m_visible = event->type() == QEvent::Show;
            }
            break;
        case QEvent::ParentChange:
            m_handle->SetParent(watched->parent());
            break;
        default:
            break;
        }
        return false;
    }

private:
    std::shared_ptr<WindowHandle> m_handle;
};

std::shared_ptr<WindowHandle> WindowHandle::Track(QObject* window)
{
    if (!window)
        return nullptr;
    std::shared_ptr<WindowHandle> handle(new WindowHandle);
    handle->m_window = window;
    handle->m_visible = window->property("visible").toBool();
    handle->SetParent(window->parent());
    new WindowTracker(window, handle); // owned by window
    return handle;
}

void WindowHandle::SetParent(QObject* parent)
{
    std::lock_guard lock(m_mutex);
    QObject::disconnect(m_parentDestroyed);
    m_parent = parent;
    if (parent) {
        m_parentDestroyed = QObject::connect(
            parent, &QObject::destroyed, parent,
            [weak = weak_from_this(), parent] {
                if (auto h = weak.lock()) {
                    std::lock_guard inner(h->m_mutex);
                    if (h->m_parent == parent)
                        h->m_parent = nullptr;
                }
            },
            Qt::DirectConnection);
    }
}

WindowHandle::~WindowHandle()
{
    QObject::disconnect(m_parentDestroyed);
}

bool WindowHandle::PostMove(const Rect& r)
{
    std::lock_guard lock(m_mutex);
    if (!m_window || !m_visible || !m_parent)
        return false;
    // Under the mutex: the parent cannot finish dying meanwhile, and calls posted to an object
    // are dropped when it is destroyed. The move goes through the "geometry" property, so the
    // tree needs no widget type; a window that has gone or changed its parent since is left
    // alone.
    platform::PostTo(m_parent, [window = QPointer<QObject>(m_window), parent = m_parent, r] {
        if (window && window->parent() == parent)
            window->setProperty("geometry", QRect(r.x, r.y, r.width, r.height));
    });
    return true;
}

bool WindowHandle::Exists() const
{
    std::lock_guard lock(m_mutex);
    return m_window != nullptr;
}

bool WindowHandle::IsVisible() const
{
    std::lock_guard lock(m_mutex);
    return m_window && m_visible;
}

} // namespace ui
